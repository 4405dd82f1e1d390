#pragma once

#include <QFrame>
#include <QLabel>

// The window's status bar: a frame along its bottom edge, a status bar to a screen reader.
class TStatusBar : public QFrame
{
    Q_OBJECT

public:
    using QFrame::QFrame;
};

// What a screen reader is to hear when the focus stays where it is (the season switched from a
// field, say): a notification nobody sees, in the status bar.
class TNotice : public QWidget
{
    Q_OBJECT

public:
    explicit TNotice(QWidget *parent = nullptr);

    void say(const QString &text);
};

// A status line: a message shown whole where it fits and ending in "…" where it does not, with
// the whole of it in the tooltip. A screen reader hears each new message once, as a
// notification, and finds it on the status bar later; the idle text is not announced.
class TStatusLine : public QLabel
{
    Q_OBJECT

public:
    explicit TStatusLine(const QString &idle, QWidget *parent = nullptr);

    void setMessage(const QString &text);
    QString message() const { return m_message; }
    // The last message that was not the idle text, or the idle text when there was none.
    QString lastMessage() const { return m_last; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void fit();

    QString m_idle;
    QString m_message;
    QString m_last;
    TNotice *m_notice;
};
