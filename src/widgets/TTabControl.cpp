#include "TTabControl.h"

#include <QStyleOptionTabWidgetFrame>
#include <QStylePainter>
#include <QTabBar>
#include <QWheelEvent>

namespace {

class FixedWidthTabBar : public QTabBar
{
public:
    FixedWidthTabBar(int tabWidth, QWidget *parent)
        : QTabBar(parent)
        , m_tabWidth(tabWidth)
    {
    }

protected:
    QSize tabSizeHint(int index) const override
    {
        return {m_tabWidth, QTabBar::tabSizeHint(index).height()};
    }

    // The tab changes by a click or the keyboard only: a turn of the wheel passing over the
    // strip must not switch the season (and drop its unsaved edits).
    void wheelEvent(QWheelEvent *event) override
    {
        event->ignore();
    }

private:
    int m_tabWidth;
};

} // namespace

TTabControl::TTabControl(const QStringList &tabs, int tabWidth, QWidget *parent)
    : QWidget(parent)
    , m_tabs(new FixedWidthTabBar(tabWidth, this))
{
    m_tabs->setObjectName(QStringLiteral("tabs"));
    m_tabs->setDrawBase(false);
    m_tabs->setExpanding(false);
    for (const QString &tab : tabs)
        m_tabs->addTab(tab);
    m_tabs->setCurrentIndex(0);
    connect(m_tabs, &QTabBar::currentChanged, this, &TTabControl::changed);
}

int TTabControl::currentIndex() const
{
    return m_tabs->currentIndex();
}

void TTabControl::setCurrentIndex(int index)
{
    m_tabs->setCurrentIndex(index);
}

void TTabControl::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_tabs->setGeometry(2, 0, width() - 4, m_tabs->sizeHint().height());
}

void TTabControl::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionTabWidgetFrame frame;
    frame.initFrom(this);
    const int top = m_tabs->sizeHint().height() - 1;
    frame.rect = QRect(0, top, width(), height() - top);
    frame.tabBarSize = m_tabs->sizeHint();
    frame.tabBarRect = m_tabs->geometry();
    frame.selectedTabRect = m_tabs->tabRect(m_tabs->currentIndex()).translated(m_tabs->pos());
    painter.drawPrimitive(QStyle::PE_FrameTabWidget, frame);
}
