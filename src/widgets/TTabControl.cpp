#include "TTabControl.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>
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

// A screen reader's view of the strip: a page tab list of the four tabs and nothing else (the
// strip's scroll buttons are hidden while the tabs fit); the current tab is the selected one,
// and the focused one only while the strip has the focus.
class AccessibleTab : public QAccessibleInterface, public QAccessibleActionInterface
{
public:
    AccessibleTab(QTabBar *bar, int index)
        : m_bar(bar)
        , m_index(index)
    {
    }

    bool isValid() const override { return m_bar && m_index < m_bar->count(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_bar ? m_bar->window()->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(m_bar); }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text which) const override
    {
        return which == QAccessible::Name && isValid() ? m_bar->tabText(m_index).remove(u'&') : QString();
    }
    void setText(QAccessible::Text, const QString &) override {}
    QAccessible::Role role() const override { return QAccessible::PageTab; }
    QAccessible::State state() const override
    {
        QAccessible::State state;
        const bool current = isValid() && m_bar->currentIndex() == m_index;
        state.focusable = state.selectable = true;
        state.selected = current;
        state.focused = current && m_bar->hasFocus();
        state.invisible = !m_bar || !m_bar->isVisible();
        return state;
    }
    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect tab = m_bar->tabRect(m_index);
        return {m_bar->mapToGlobal(tab.topLeft()), tab.size()};
    }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface *>(this) : nullptr;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString &action) override
    {
        if (action == pressAction() && isValid())
            m_bar->setCurrentIndex(m_index);
    }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

private:
    QPointer<QTabBar> m_bar;
    int m_index;
};

class AccessibleTabBar : public QAccessibleWidget
{
public:
    explicit AccessibleTabBar(QTabBar *bar)
        : QAccessibleWidget(bar, QAccessible::PageTabList)
    {
    }
    ~AccessibleTabBar() override
    {
        for (const QAccessible::Id id : std::as_const(m_tabs))
            QAccessible::deleteAccessibleInterface(id);
    }

    // Named after the tab shown: "Seasons: Summer".
    QString text(QAccessible::Text which) const override
    {
        if (which != QAccessible::Name)
            return QAccessibleWidget::text(which);
        const QString shown = bar()->tabText(bar()->currentIndex()).remove(u'&');
        const QString strip = bar()->parentWidget()->accessibleName();
        return strip.isEmpty() ? shown : QStringLiteral("%1: %2").arg(strip, shown);
    }

    int childCount() const override { return bar()->count(); }
    QAccessibleInterface *child(int index) const override
    {
        if (index < 0 || index >= bar()->count())
            return nullptr;
        if (!m_tabs.contains(index))
            m_tabs.insert(index, QAccessible::registerAccessibleInterface(new AccessibleTab(bar(), index)));
        return QAccessible::accessibleInterface(m_tabs.value(index));
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        for (auto it = m_tabs.cbegin(); it != m_tabs.cend(); ++it) {
            if (QAccessible::accessibleInterface(it.value()) == child)
                return it.key();
        }
        return -1;
    }
    QAccessibleInterface *focusChild() const override
    {
        return bar()->hasFocus() ? child(bar()->currentIndex()) : nullptr;
    }

private:
    QTabBar *bar() const { return static_cast<QTabBar *>(widget()); }
    mutable QHash<int, QAccessible::Id> m_tabs;
};

QAccessibleInterface *accessibleTabs(const QString &className, QObject *object)
{
    if (className == QLatin1String("QTabBar") && object && object->objectName() == QLatin1String("tabs")
        && qobject_cast<TTabControl *>(object->parent()))
        return new AccessibleTabBar(static_cast<QTabBar *>(object));
    return nullptr;
}

} // namespace

TTabControl::TTabControl(const QStringList &tabs, int tabWidth, QWidget *parent)
    : QWidget(parent)
    , m_tabs(new FixedWidthTabBar(tabWidth, this))
{
    [[maybe_unused]] static const bool accessible = (QAccessible::installFactory(accessibleTabs), true);
    m_tabs->setObjectName(QStringLiteral("tabs"));
    m_tabs->setDrawBase(false);
    m_tabs->setExpanding(false);
    for (const QString &tab : tabs)
        m_tabs->addTab(tab);
    m_tabs->setCurrentIndex(0);
    connect(m_tabs, &QTabBar::currentChanged, this, [this] {
        QAccessibleEvent renamed(m_tabs, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&renamed);
        emit changed();
    });
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
