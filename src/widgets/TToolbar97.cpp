#include "TToolbar97.h"

#include <QStyleOptionToolBar>
#include <QStylePainter>

namespace {
constexpr int kGripWidth = 9;
}

TToolbar97::TToolbar97(const QString &title, QWidget *parent)
    : QWidget(parent)
{
    setWindowTitle(title);
    setAccessibleName(title);
}

void TToolbar97::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionToolBar option;
    option.initFrom(this);
    option.state |= QStyle::State_Horizontal;
    option.toolBarArea = Qt::TopToolBarArea;
    painter.drawPrimitive(QStyle::PE_PanelToolBar, option);
    option.rect = QRect(1, 2, kGripWidth, height() - 4);
    painter.drawPrimitive(QStyle::PE_IndicatorToolBarHandle, option);
}
