#pragma once

#include <QTimer>
#include <QToolButton>

// A flat button that fires on release and never takes the keyboard focus, so that clicking
// it leaves the focus, and any half-typed text, where it was.
class TToolbarButton97 : public QToolButton
{
    Q_OBJECT

public:
    explicit TToolbarButton97(QWidget *parent = nullptr);

protected:
    void initStyleOption(QStyleOptionToolButton *option) const override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool isUnderMouse() const;

    // While drawn raised, looks now and then whether the mouse is still there: a popup menu
    // or a modal dialog can take the mouse away, and the pointer leave in one jump, without
    // the button being told.
    QTimer m_hoverCheck;
};
