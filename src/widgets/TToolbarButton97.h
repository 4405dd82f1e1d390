#pragma once

#include <QCursor>
#include <QStyleOptionToolButton>
#include <QToolButton>

// A flat button that fires on release and never takes the keyboard focus, so that clicking
// it leaves the focus, and any half-typed text, where it was.
class TToolbarButton97 : public QToolButton
{
    Q_OBJECT

public:
    explicit TToolbarButton97(QWidget *parent = nullptr)
        : QToolButton(parent)
    {
        setFocusPolicy(Qt::NoFocus);
        setAutoRaise(true);
        setToolButtonStyle(Qt::ToolButtonTextOnly);
    }

protected:
    // Raised only while the mouse is really over it. A popup menu or a modal dialog can take
    // the mouse away without the button being told, and it would stay raised until the
    // mouse passed over it again.
    void initStyleOption(QStyleOptionToolButton *option) const override
    {
        QToolButton::initStyleOption(option);
        if (!isDown() && !rect().contains(mapFromGlobal(QCursor::pos())))
            option->state &= ~(QStyle::State_MouseOver | QStyle::State_Raised);
    }
};
