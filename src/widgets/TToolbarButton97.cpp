#include "TToolbarButton97.h"

#include <QCursor>
#include <QStyleOptionToolButton>

namespace {

constexpr int kHoverCheckMs = 100;

} // namespace

TToolbarButton97::TToolbarButton97(QWidget *parent)
    : QToolButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAutoRaise(true);
    setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_hoverCheck.setInterval(kHoverCheckMs);
    connect(&m_hoverCheck, &QTimer::timeout, this, [this] {
        if (!isUnderMouse()) {
            m_hoverCheck.stop();
            update();
        }
    });
}

bool TToolbarButton97::isUnderMouse() const
{
    return isVisible() && rect().contains(mapFromGlobal(QCursor::pos()));
}

// Raised only while the mouse is really over it.
void TToolbarButton97::initStyleOption(QStyleOptionToolButton *option) const
{
    QToolButton::initStyleOption(option);
    if (!isDown() && !isUnderMouse())
        option->state &= ~(QStyle::State_MouseOver | QStyle::State_Raised);
}

void TToolbarButton97::paintEvent(QPaintEvent *event)
{
    QToolButton::paintEvent(event);
    if (isUnderMouse() && isEnabled())
        m_hoverCheck.start();
}
