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
constexpr int kPageStep = 10;

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
// The spin button takes the focus itself, so its text is read and edited through it too (the
// line inside does the work).
class AccessibleSpinEdit : public QAccessibleWidget,
                           public QAccessibleValueInterface,
                           public QAccessibleTextInterface,
                           public QAccessibleEditableTextInterface
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
        if (type == QAccessible::TextInterface && line())
            return static_cast<QAccessibleTextInterface *>(this);
        if (type == QAccessible::EditableTextInterface && editable())
            return static_cast<QAccessibleEditableTextInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    void selection(int i, int *start, int *end) const override { line()->selection(i, start, end); }
    int selectionCount() const override { return line()->selectionCount(); }
    void addSelection(int start, int end) override { line()->addSelection(start, end); }
    void removeSelection(int i) override { line()->removeSelection(i); }
    void setSelection(int i, int start, int end) override { line()->setSelection(i, start, end); }
    int cursorPosition() const override { return line()->cursorPosition(); }
    void setCursorPosition(int position) override { line()->setCursorPosition(position); }
    QString text(int start, int end) const override { return line()->text(start, end); }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int *start, int *end) const override
    {
        return line()->textBeforeOffset(offset, type, start, end);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int *start, int *end) const override
    {
        return line()->textAfterOffset(offset, type, start, end);
    }
    QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int *start, int *end) const override
    {
        return line()->textAtOffset(offset, type, start, end);
    }
    int characterCount() const override { return line()->characterCount(); }
    QRect characterRect(int offset) const override { return line()->characterRect(offset); }
    int offsetAtPoint(const QPoint &point) const override { return line()->offsetAtPoint(point); }
    void scrollToSubstring(int start, int end) override { line()->scrollToSubstring(start, end); }
    QString attributes(int offset, int *start, int *end) const override { return line()->attributes(offset, start, end); }
    void deleteText(int start, int end) override { editable()->deleteText(start, end); }
    void insertText(int offset, const QString &text) override { editable()->insertText(offset, text); }
    void replaceText(int start, int end, const QString &text) override { editable()->replaceText(start, end, text); }

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
    QAccessibleInterface *lineInterface() const { return QAccessible::queryAccessibleInterface(spin()->lineEdit()); }
    QAccessibleTextInterface *line() const { return lineInterface() ? lineInterface()->textInterface() : nullptr; }
    QAccessibleEditableTextInterface *editable() const
    {
        return lineInterface() ? lineInterface()->editableTextInterface() : nullptr;
    }
};

// The line inside reports its text changes, caret and selection as the spin button's own: the
// spin button has the focus, and a screen reader that saw the line change would take the line
// for the focus and miss the spin button's value changes. Its other events say nothing the spin
// button does not, and a field without the focus says only its value: a season shown changes
// eighteen fields at once, and a screen reader skips what follows a flood of events.
QAccessible::UpdateHandler previousUpdateHandler = nullptr;

void notifyOnward(QAccessibleEvent *event);

void relayLineEvents(QAccessibleEvent *event)
{
    QObject *object = event->object();
    auto *spin = object ? qobject_cast<TSpinEdit *>(object->parent()) : nullptr;
    if (!spin) {
        notifyOnward(event);
        return;
    }
    // The arrows do what the spin button's own increase and decrease actions do.
    if (object != spin->lineEdit() || !spin->hasFocus())
        return;
    switch (event->type()) {
    case QAccessible::TextInserted: {
        const auto *inserted = static_cast<QAccessibleTextInsertEvent *>(event);
        QAccessibleTextInsertEvent relayed(spin, inserted->changePosition(), inserted->textInserted());
        notifyOnward(&relayed);
        break;
    }
    case QAccessible::TextRemoved: {
        const auto *removed = static_cast<QAccessibleTextRemoveEvent *>(event);
        QAccessibleTextRemoveEvent relayed(spin, removed->changePosition(), removed->textRemoved());
        notifyOnward(&relayed);
        break;
    }
    case QAccessible::TextUpdated: {
        const auto *updated = static_cast<QAccessibleTextUpdateEvent *>(event);
        QAccessibleTextUpdateEvent relayed(spin, updated->changePosition(), updated->textRemoved(), updated->textInserted());
        notifyOnward(&relayed);
        break;
    }
    case QAccessible::TextCaretMoved: {
        QAccessibleTextCursorEvent relayed(spin, static_cast<QAccessibleTextCursorEvent *>(event)->cursorPosition());
        notifyOnward(&relayed);
        break;
    }
    case QAccessible::TextSelectionChanged: {
        const auto *selected = static_cast<QAccessibleTextSelectionEvent *>(event);
        QAccessibleTextSelectionEvent relayed(spin, selected->selectionStart(), selected->selectionEnd());
        relayed.setCursorPosition(selected->cursorPosition());
        notifyOnward(&relayed);
        break;
    }
    default:
        break;
    }
}

// On to whoever handled events before (the platform's bridge when nobody did).
void notifyOnward(QAccessibleEvent *event)
{
    QAccessible::installUpdateHandler(previousUpdateHandler);
    QAccessible::updateAccessibility(event);
    QAccessible::installUpdateHandler(relayLineEvents);
}

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
    [[maybe_unused]] static const bool accessible = (QAccessible::installFactory(accessibleSpinEdit),
                                                     previousUpdateHandler = QAccessible::installUpdateHandler(relayLineEvents),
                                                     true);
    // The editor itself takes the focus, as a spin box does, and hands its keys and input to
    // the line inside; the line has the focus whenever the editor has.
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    m_edit->setFocusProxy(this);
    m_up->setAccessibleName(QStringLiteral("Increase"));
    m_down->setAccessibleName(QStringLiteral("Decrease"));
    m_edit->setInputMethodHints(Qt::ImhFormattedNumbersOnly);
    m_edit->installEventFilter(this);
    connect(m_up, &QToolButton::clicked, this, &TSpinEdit::stepUp);
    connect(m_down, &QToolButton::clicked, this, &TSpinEdit::stepDown);
    connect(m_edit, &QLineEdit::textChanged, this, [this] {
        QAccessibleValueChangeEvent changed(this, Value());
        QAccessible::updateAccessibility(&changed);
    });
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

bool TSpinEdit::takesOwnKey(const QKeyEvent &key)
{
    switch (key.key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
        stepBy(key.key() == Qt::Key_Up ? 1 : -1);
        return true;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        stepBy(key.key() == Qt::Key_PageUp ? kPageStep : -kPageStep);
        return true;
    default:
        if (acceptsKey(key))
            return false;
        QApplication::beep();
        return true;
    }
}

// Undo and Redo with no typing of the field's own to take back are the window's.
bool TSpinEdit::leavesToWindow(const QKeyEvent &key) const
{
    return (key.matches(QKeySequence::Undo) && !m_edit->isUndoAvailable())
        || (key.matches(QKeySequence::Redo) && !m_edit->isRedoAvailable());
}

bool TSpinEdit::event(QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        if (leavesToWindow(*static_cast<QKeyEvent *>(event))) {
            event->ignore();
            return true;
        }
        if (static_cast<QObject *>(m_edit)->event(event))
            return true;
    }
    return QWidget::event(event);
}

void TSpinEdit::keyPressEvent(QKeyEvent *event)
{
    if (!takesOwnKey(*event))
        static_cast<QObject *>(m_edit)->event(event);
}

void TSpinEdit::keyReleaseEvent(QKeyEvent *event)
{
    static_cast<QObject *>(m_edit)->event(event);
}

void TSpinEdit::inputMethodEvent(QInputMethodEvent *event)
{
    static_cast<QObject *>(m_edit)->event(event);
}

QVariant TSpinEdit::inputMethodQuery(Qt::InputMethodQuery query) const
{
    return m_edit->inputMethodQuery(query);
}

void TSpinEdit::focusInEvent(QFocusEvent *event)
{
    static_cast<QObject *>(m_edit)->event(event);
    QWidget::focusInEvent(event);
}

// Leaving the editor for another control clamps a value out of range; anything else stays as
// typed. A popup menu or a dialog takes the focus only for a while, and the window losing
// activation is no move either: the focus comes back here.
void TSpinEdit::focusOutEvent(QFocusEvent *event)
{
    const bool moved = event->reason() != Qt::PopupFocusReason && event->reason() != Qt::ActiveWindowFocusReason;
    if (moved && isOutOfRange())
        setValue(Value());
    static_cast<QObject *>(m_edit)->event(event);
    QWidget::focusOutEvent(event);
}

// Keys sent to the line itself keep the same rules.
bool TSpinEdit::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_edit && event->type() == QEvent::ShortcutOverride
        && leavesToWindow(*static_cast<QKeyEvent *>(event))) {
        event->ignore();
        return true;
    }
    if (watched == m_edit && event->type() == QEvent::KeyPress)
        return takesOwnKey(*static_cast<QKeyEvent *>(event));
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
