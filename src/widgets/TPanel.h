#pragma once

#include <QWidget>

// A container with an outer and an inner bevel, each raised, lowered or absent. Its client
// area is what the bevels leave, which is where a child that fills the panel goes.
class TPanel : public QWidget
{
    Q_OBJECT

public:
    enum TBevelCut { bvNone, bvLowered, bvRaised };

    explicit TPanel(QWidget *parent = nullptr);

    TBevelCut BevelOuter() const { return m_outer; }
    TBevelCut BevelInner() const { return m_inner; }
    int BevelWidth() const { return m_bevelWidth; }
    void setBevelOuter(TBevelCut bevel);
    void setBevelInner(TBevelCut bevel);
    void setBevelWidth(int width);

    // The panel less a bevel's width for each bevel that is drawn, on every side.
    QRect clientRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    virtual void bevelsChanged() {}

private:
    TBevelCut m_outer = bvRaised;
    TBevelCut m_inner = bvNone;
    int m_bevelWidth = 1;
};
