#pragma once

#include <QLabel>

// A status line of fixed width: a message that does not fit ends in "…", with the whole of it
// in the tooltip and for a screen reader, which is told of every new one.
class TStatusLine : public QLabel
{
    Q_OBJECT

public:
    explicit TStatusLine(const QString &text, QWidget *parent = nullptr);

    void setMessage(const QString &text);
};
