#pragma once

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
};
