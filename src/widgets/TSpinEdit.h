#pragma once

#include <QKeyEvent>
#include <QStringView>
#include <QWidget>

#include <optional>

class QLineEdit;
class QToolButton;

// A one-line number editor with up and down arrows. It reads what was typed without clamping
// (so a typed 999 reads as 999 until the editor is left), sets values clamped into its
// bounds, and accepts only the keys a number needs. It takes the focus itself, as a spin box
// does, so that a screen reader hears one spin button and its value changes.
class TSpinEdit : public QWidget
{
    Q_OBJECT

public:
    // How a text is read as a number; the editor knows no rule of its own.
    using NumberReader = std::optional<int> (*)(QStringView text);

    explicit TSpinEdit(NumberReader read, QWidget *parent = nullptr);

    int MinValue() const { return m_minValue; }
    int MaxValue() const { return m_maxValue; }
    void setBounds(int minValue, int maxValue);
    void setMaxLength(int length);

    // The typed integer, or MinValue when the text is not one.
    int Value() const;
    // Clamped into the bounds (unless they are equal), then shown as decimal text.
    void setValue(int value);
    // The value read, clamped into the bounds.
    int clampedValue() const;
    bool isOutOfRange() const;

    QString text() const;
    void setText(const QString &text);
    QLineEdit *lineEdit() const { return m_edit; }

    // The value read plus steps, set through the bounds; never past the integer limits.
    void stepBy(int steps);

    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    bool acceptsKey(const QKeyEvent &event) const;
    // Up and Down step by one, PageUp and PageDown by ten; a key typing refuses beeps. True
    // when the key was taken here.
    bool takesOwnKey(const QKeyEvent &key);
    bool leavesToWindow(const QKeyEvent &key) const;
    int clamped(int value) const; // no clamping when the bounds are equal
    void stepUp() { stepBy(1); }
    void stepDown() { stepBy(-1); }

    NumberReader m_read;
    QLineEdit *m_edit;
    QToolButton *m_up;
    QToolButton *m_down;
    int m_minValue = 0;
    int m_maxValue = 0;
};
