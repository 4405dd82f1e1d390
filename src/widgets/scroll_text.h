#pragma once

#include "TPanel.h"

#include <QString>

#include <cstdint>
#include <functional>

class QLabel;
class QTimer;

enum TDirect : std::uint8_t { sdLeft = 0, sdRight = 1, sdUp = 2, sdDown = 3, sdNone = 4 };

// The most characters the control holds (its TText); a longer text is cut.
constexpr qsizetype kTextCapacity = 240;

// A strip through which one line of text moves a few pixels every tick, to the left, the
// right, up or down; once the text has left the strip it comes back at the far side and
// OnMessageEnd is raised. In sdNone it stops and stands centred.
class TScrollText : public TPanel
{
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(TScrollText *sender)>;

    explicit TScrollText(QWidget *owner = nullptr);

    QString ScrollingText() const;
    void setScrollingText(const QString &text);

    QColor Color() const;
    void setColor(const QColor &color);

    std::uint16_t Time() const { return m_time; }
    void setTime(std::uint16_t milliseconds);

    std::uint8_t Distance() const { return m_distance; }
    void setDistance(std::uint8_t pixels) { m_distance = pixels; }

    // Reading the direction switches the timer back on, as it always has.
    TDirect Direction();
    void setDirection(TDirect direction) { m_direction = direction; }

    const TNotifyEvent &OnMessageEnd() const { return m_onMessageEnd; }
    void setOnMessageEnd(TNotifyEvent handler) { m_onMessageEnd = std::move(handler); }

    // The tooltip text: "[Kest] : " and the text, once a text was written.
    const QString &Hint() const { return m_hint; }
    bool isTimerOn() const { return m_timerOn; }

    // One tick; the timer calls it every Time milliseconds.
    void Timer1Timer();

    QTimer *Timer1;
    TPanel *Panel1;
    QLabel *Label1;

protected:
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void bevelsChanged() override;

private:
    void fitInnerPanel();
    void setTimerOn(bool on);
    void applyTimer();
    void fitLabelToText();
    void messageEnd();
    void centreHorizontally();
    void centreVertically();

    std::uint8_t m_distance = 2;
    TDirect m_direction = sdLeft;
    TNotifyEvent m_onMessageEnd;
    std::uint16_t m_time = 50;
    bool m_timerOn = true;
    QString m_hint;
};
