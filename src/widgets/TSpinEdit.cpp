#include "TSpinEdit.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QToolButton>

#include <algorithm>
#include <limits>

namespace {

constexpr int kArrowWidth = 15;
constexpr int kFirstRepeatMs = 400;
constexpr int kRepeatMs = 100;

QToolButton *makeArrow(QWidget *parent, Qt::ArrowType arrow, const char *name)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setArrowType(arrow);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRepeat(true);
    button->setAutoRepeatDelay(kFirstRepeatMs);
    button->setAutoRepeatInterval(kRepeatMs);
    return button;
}

// What typing accepts besides control keys: digits, the signs and the decimal separator.
bool isNumberCharacter(QChar c)
{
    return (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || QString(c) == QLocale().decimalPoint();
}

// The text box of the editor. Text that arrives other than by typing (pasted by key, from the
// context menu or the selection, or dropped) passes the same rules as typing: characters
// typing would drop are dropped, and no more are taken than typing would take.
class NumberLine : public QLineEdit
{
public:
    NumberLine(const QString &text, QWidget *parent)
        : QLineEdit(text, parent)
    {
    }

    // What typing would take of text: its number characters, as many as there is room for.
    QString asTyped(const QString &text, qsizetype replaced) const
    {
        QString kept;
        for (const QChar c : text) {
            if (isNumberCharacter(c))
                kept += c;
        }
        const qsizetype room = maxLength() - (this->text().size() - replaced);
        return kept.left(std::max<qsizetype>(room, 0));
    }

    void insertAsTyped(const QString &text)
    {
        insert(asTyped(text, selectedText().size()));
    }

protected:
    // Dead keys, the Compose key and input methods deliver their characters here rather than
    // as key presses; they pass the same rules, and nothing half-composed is shown.
    void inputMethodEvent(QInputMethodEvent *event) override
    {
        if (isReadOnly() || (event->commitString().isEmpty() && event->preeditString().isEmpty())) {
            QLineEdit::inputMethodEvent(event);
            return;
        }
        const qsizetype replaced = event->replacementLength() ? event->replacementLength() : selectedText().size();
        const QString kept = asTyped(event->commitString(), replaced);
        if (kept != event->commitString())
            QApplication::beep();
        QInputMethodEvent filtered;
        filtered.setCommitString(kept, event->replacementStart(), event->replacementLength());
        QLineEdit::inputMethodEvent(&filtered);
    }

    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->matches(QKeySequence::Paste) && !isReadOnly())
            insertAsTyped(QGuiApplication::clipboard()->text());
        else
            QLineEdit::keyPressEvent(event);
    }

    void contextMenuEvent(QContextMenuEvent *event) override
    {
        QMenu *menu = createStandardContextMenu();
        for (QAction *action : menu->actions()) {
            if (!action->text().startsWith(QLineEdit::tr("&Paste")))
                continue;
            disconnect(action, &QAction::triggered, nullptr, nullptr);
            connect(action, &QAction::triggered, this, [this] { insertAsTyped(QGuiApplication::clipboard()->text()); });
        }
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(event->globalPos());
    }

    void mouseReleaseEvent(QMouseEvent *event) override
    {
        const QClipboard *clipboard = QGuiApplication::clipboard();
        if (event->button() == Qt::MiddleButton && clipboard->supportsSelection() && !isReadOnly()) {
            setCursorPosition(cursorPositionAt(event->position().toPoint()));
            insertAsTyped(clipboard->text(QClipboard::Selection));
            event->accept();
            return;
        }
        QLineEdit::mouseReleaseEvent(event);
    }

    void dropEvent(QDropEvent *event) override
    {
        if (!event->mimeData()->hasText() || isReadOnly()) {
            QLineEdit::dropEvent(event);
            return;
        }
        setCursorPosition(cursorPositionAt(event->position().toPoint()));
        insertAsTyped(event->mimeData()->text());
        event->acceptProposedAction();
        setFocus(Qt::MouseFocusReason);
    }
};

// A screen reader's view of the editor: a spin button with its value, bounds and step, named
// as the editor is (by its label).
class AccessibleSpinEdit : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    explicit AccessibleSpinEdit(TSpinEdit *spin)
        : QAccessibleWidget(spin, QAccessible::SpinBox)
    {
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text which) const override
    {
        return which == QAccessible::Value ? spin()->text() : QAccessibleWidget::text(which);
    }

    QVariant currentValue() const override { return spin()->Value(); }
    void setCurrentValue(const QVariant &value) override { spin()->setValue(value.toInt()); }
    QVariant maximumValue() const override { return spin()->MaxValue(); }
    QVariant minimumValue() const override { return spin()->MinValue(); }
    QVariant minimumStepSize() const override { return 1; }

private:
    TSpinEdit *spin() const { return static_cast<TSpinEdit *>(widget()); }
};

QAccessibleInterface *accessibleSpinEdit(const QString &className, QObject *object)
{
    if (className == QLatin1String("TSpinEdit") && object && object->isWidgetType())
        return new AccessibleSpinEdit(static_cast<TSpinEdit *>(object));
    return nullptr;
}

} // namespace

TSpinEdit::TSpinEdit(NumberReader read, QWidget *parent)
    : QWidget(parent)
    , m_read(read)
    , m_edit(new NumberLine(QStringLiteral("0"), this))
    , m_up(makeArrow(this, Qt::UpArrow, "up"))
    , m_down(makeArrow(this, Qt::DownArrow, "down"))
{
    [[maybe_unused]] static const bool accessible = (QAccessible::installFactory(accessibleSpinEdit), true);
    setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(m_edit);
    m_up->setAccessibleName(QStringLiteral("Increase"));
    m_down->setAccessibleName(QStringLiteral("Decrease"));
    m_edit->setInputMethodHints(Qt::ImhFormattedNumbersOnly);
    m_edit->installEventFilter(this);
    connect(m_up, &QToolButton::clicked, this, &TSpinEdit::stepUp);
    connect(m_down, &QToolButton::clicked, this, &TSpinEdit::stepDown);
}

void TSpinEdit::setBounds(int minValue, int maxValue)
{
    m_minValue = minValue;
    m_maxValue = maxValue;
}

void TSpinEdit::setMaxLength(int length)
{
    m_edit->setMaxLength(length);
}

int TSpinEdit::Value() const
{
    return m_read(m_edit->text()).value_or(m_minValue);
}

int TSpinEdit::clamped(int value) const
{
    return m_minValue == m_maxValue ? value : std::clamp(value, m_minValue, m_maxValue);
}

void TSpinEdit::setValue(int value)
{
    m_edit->setText(QString::number(clamped(value)));
    QAccessibleValueChangeEvent changed(this, Value());
    QAccessible::updateAccessibility(&changed);
}

int TSpinEdit::clampedValue() const
{
    return clamped(Value());
}

bool TSpinEdit::isOutOfRange() const
{
    return clampedValue() != Value();
}

QString TSpinEdit::text() const
{
    return m_edit->text();
}

void TSpinEdit::setText(const QString &text)
{
    m_edit->setText(text);
}

void TSpinEdit::stepBy(int steps)
{
    const qint64 stepped = qint64(Value()) + steps;
    setValue(int(std::clamp<qint64>(stepped, std::numeric_limits<int>::min(), std::numeric_limits<int>::max())));
}

bool TSpinEdit::acceptsKey(const QKeyEvent &event) const
{
    if (event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter)
        return false;
    const QString typed = event.text();
    if (typed.isEmpty() || event.modifiers().testFlag(Qt::ControlModifier))
        return true; // navigation and shortcuts: not characters at all
    const QChar c = typed.front();
    if (c.unicode() < 0x20 || c.unicode() == 0x7f)
        return true; // control keys such as Backspace and Tab
    return typed.size() == 1 && isNumberCharacter(c);
}

bool TSpinEdit::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_edit && event->type() == QEvent::ShortcutOverride) {
        // Undo and Redo with no typing of the field's own to take back are the window's.
        auto *key = static_cast<QKeyEvent *>(event);
        if ((key->matches(QKeySequence::Undo) && !m_edit->isUndoAvailable())
            || (key->matches(QKeySequence::Redo) && !m_edit->isRedoAvailable())) {
            event->ignore();
            return true;
        }
    } else if (watched == m_edit && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
            stepBy(key->key() == Qt::Key_Up ? 1 : -1);
            return true;
        }
        if (!acceptsKey(*key)) {
            QApplication::beep();
            return true;
        }
    } else if (watched == m_edit && event->type() == QEvent::FocusOut) {
        // Leaving the editor for another control clamps a value out of range; anything else
        // stays as typed. A popup menu or a dialog takes the focus only for a while, and the
        // window losing activation is no move either: the focus comes back here.
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        const bool moved = reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason;
        if (moved && isOutOfRange())
            setValue(Value());
    } else if (watched == m_edit && event->type() == QEvent::FocusIn) {
        QAccessibleEvent focused(this, QAccessible::Focus); // the spin button, not only its text
        QAccessible::updateAccessibility(&focused);
    }
    return QWidget::eventFilter(watched, event);
}

void TSpinEdit::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const int arrows = kArrowWidth;
    m_edit->setGeometry(0, 0, width() - arrows, height());
    m_up->setGeometry(width() - arrows, 0, arrows, height() / 2);
    m_down->setGeometry(width() - arrows, height() / 2, arrows, height() - height() / 2);
}
