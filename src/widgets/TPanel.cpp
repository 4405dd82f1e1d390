#include "TPanel.h"

#include <QPainter>
#include <qdrawutil.h>

TPanel::TPanel(QWidget *parent)
    : QWidget(parent)
{
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);
}

void TPanel::setBevelOuter(TBevelCut bevel)
{
    m_outer = bevel;
    bevelsChanged();
    update();
}

void TPanel::setBevelInner(TBevelCut bevel)
{
    m_inner = bevel;
    bevelsChanged();
    update();
}

void TPanel::setBevelWidth(int width)
{
    m_bevelWidth = width;
    bevelsChanged();
    update();
}

QRect TPanel::clientRect() const
{
    const int inset = m_bevelWidth * ((m_outer != bvNone) + (m_inner != bvNone));
    return rect().adjusted(inset, inset, -inset, -inset);
}

void TPanel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QRect area = rect();
    for (TBevelCut bevel : {m_outer, m_inner}) {
        if (bevel == bvNone)
            continue;
        qDrawShadePanel(&painter, area, palette(), bevel == bvLowered, m_bevelWidth);
        area.adjust(m_bevelWidth, m_bevelWidth, -m_bevelWidth, -m_bevelWidth);
    }
}
