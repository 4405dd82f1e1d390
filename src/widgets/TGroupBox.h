#pragma once

#include <QWidget>

// A framed, captioned container: an etched frame with the caption set into its top edge.
// Drawn here rather than by the style, whose group box loads Qt's image plugins at the
// first paint.
class TGroupBox : public QWidget
{
    Q_OBJECT

public:
    TGroupBox(const QString &title, QWidget *parent = nullptr);

    QString title() const { return m_title; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_title;
};
