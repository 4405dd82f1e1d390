#include "TGroupBox.h"

#include <QPainter>
#include <qdrawutil.h>

TGroupBox::TGroupBox(const QString &title, QWidget *parent)
    : QWidget(parent)
    , m_title(title)
{
    setAccessibleName(title);
}

void TGroupBox::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QFontMetrics metrics = fontMetrics();
    const int top = metrics.height() / 2;
    qDrawShadeRect(&painter, QRect(0, top, width(), height() - top), palette(), true, 1, 0);

    const QRect caption(8, 0, metrics.horizontalAdvance(m_title) + 4, metrics.height());
    painter.fillRect(caption, palette().color(backgroundRole()));
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(caption, Qt::AlignCenter, m_title);
}
