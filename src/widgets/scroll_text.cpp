#include "scroll_text.h"

#include <QEvent>
#include <QLabel>
#include <QTimer>

namespace {

const QString kHintPrefix = QStringLiteral("[Kest] : ");

QFont scrollTextFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(12);
    return font;
}

// The first characters of a text, as many as fit, never half of a surrogate pair.
QString cutToCapacity(const QString &text)
{
    qsizetype n = std::min<qsizetype>(text.size(), kTextCapacity);
    if (n < text.size() && n > 0 && text[n - 1].isHighSurrogate())
        --n;
    return text.left(n);
}

// Halving toward zero: -3 halves to -1.
int halved(int value)
{
    return value / 2;
}

} // namespace

TScrollText::TScrollText(QWidget *owner)
    : TPanel(owner)
    , Timer1(new QTimer(this))
    , Panel1(new TPanel(this))
    , Label1(new QLabel(Panel1))
{
    setGeometry(264, 144, 152, 17);
    setFont(scrollTextFont());

    Panel1->setBevelOuter(bvNone);
    fitInnerPanel();

    // The label moves under the mouse; the tooltip belongs to the panel behind it and stays put.
    Label1->setAttribute(Qt::WA_TransparentForMouseEvents);
    // The text is shown as it is, never as markup; "&" marks an accelerator and "&&" shows one.
    Label1->setTextFormat(Qt::PlainText);
    Label1->setBuddy(Panel1);
    Label1->move(3, 0);
    Label1->setText(QStringLiteral("ScrollingText"));
    fitLabelToText();

    connect(Timer1, &QTimer::timeout, this, &TScrollText::Timer1Timer);
    applyTimer();
}

QString TScrollText::ScrollingText() const
{
    return cutToCapacity(Label1->text());
}

void TScrollText::setScrollingText(const QString &text)
{
    const QString kept = cutToCapacity(text);
    Label1->setText(kept);
    fitLabelToText();
    m_hint = kHintPrefix + kept;
    // The tooltip shows the text as written, on one line: escaped (a text that looked like
    // markup would be taken for it) and preformatted (so runs of blanks stay and nothing wraps).
    Panel1->setToolTip(QStringLiteral("<p style=\"white-space:pre\">%1</p>").arg(m_hint.toHtmlEscaped()));
    Panel1->setAccessibleDescription(m_hint); // a screen reader reads the words, not the markup
}

// The label follows a change of the font at once, as it follows a change of its text. The
// children have taken the new font before the control hears of it.
void TScrollText::changeEvent(QEvent *event)
{
    TPanel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        fitLabelToText();
}

QColor TScrollText::Color() const
{
    return Panel1->palette().color(QPalette::Button);
}

void TScrollText::setColor(const QColor &color)
{
    QPalette palette = Panel1->palette();
    palette.setColor(QPalette::Button, color);
    Panel1->setPalette(palette);
}

void TScrollText::setTime(std::uint16_t milliseconds)
{
    if (milliseconds == m_time)
        return;
    m_time = milliseconds;
    applyTimer();
}

TDirect TScrollText::Direction()
{
    setTimerOn(true);
    return m_direction;
}

void TScrollText::setTimerOn(bool on)
{
    if (on == m_timerOn)
        return;
    m_timerOn = on;
    applyTimer();
}

// A period of 0 keeps the timer on without ticks.
void TScrollText::applyTimer()
{
    if (m_timerOn && m_time > 0)
        Timer1->start(m_time);
    else
        Timer1->stop();
}

// The label sizes itself to its text at once, its left edge staying put; an empty text
// measures as one space.
void TScrollText::fitLabelToText()
{
    const QString text = Label1->text();
    if (text.isEmpty() || text == QStringLiteral("&")) {
        const QFontMetrics metrics(Label1->font());
        Label1->resize(metrics.horizontalAdvance(u' '), metrics.height());
    } else {
        Label1->resize(Label1->sizeHint());
    }
}

void TScrollText::messageEnd()
{
    if (m_onMessageEnd)
        m_onMessageEnd(this);
}

void TScrollText::centreHorizontally()
{
    Label1->move(halved(Panel1->width() - Label1->width()), Label1->y());
}

void TScrollText::centreVertically()
{
    Label1->move(Label1->x(), halved(Panel1->height() - Label1->height()));
}

// Each direction is tested in turn and its block run when it matches at that moment, so an
// OnMessageEnd handler that turns to a direction tested later moves the label again at once.
void TScrollText::Timer1Timer()
{
    fitInnerPanel();
    setTimerOn(true);
    const int distance = m_distance;

    if (m_direction == sdLeft) {
        centreVertically();
        if (Label1->x() > -Label1->width() - 2)
            Label1->move(Label1->x() - distance, Label1->y());
        if (Label1->x() <= -Label1->width() - 2) {
            Label1->move(Panel1->width() - 2, Label1->y());
            messageEnd();
        }
    }
    if (m_direction == sdRight) {
        centreVertically();
        if (Label1->x() < Panel1->width() - 2)
            Label1->move(Label1->x() + distance, Label1->y());
        if (Label1->x() >= Panel1->width() - 2) {
            Label1->move(-Label1->width() - 2, Label1->y());
            messageEnd();
        }
    }
    if (m_direction == sdNone) {
        setTimerOn(false);
        centreVertically();
        centreHorizontally();
    }
    if (m_direction == sdUp) {
        centreHorizontally();
        if (Label1->y() > -Label1->height() - 2)
            Label1->move(Label1->x(), Label1->y() - distance);
        if (Label1->y() <= -Label1->height() - 2) {
            Label1->move(Label1->x(), Panel1->height() - 2);
            messageEnd();
        }
    }
    if (m_direction == sdDown) {
        centreHorizontally();
        if (Label1->y() < Panel1->height() - 2)
            Label1->move(Label1->x(), Label1->y() + distance);
        if (Label1->y() >= Panel1->height() - 2) {
            Label1->move(Label1->x(), -Label1->height() - 2);
            messageEnd();
        }
    }
}

// The inner panel fills the client area. A hidden widget gets no resize events, yet the
// text moves while the dialog is hidden, so each tick fits the panel first.
void TScrollText::fitInnerPanel()
{
    if (Panel1->geometry() != clientRect())
        Panel1->setGeometry(clientRect());
}

void TScrollText::resizeEvent(QResizeEvent *event)
{
    TPanel::resizeEvent(event);
    fitInnerPanel();
}

void TScrollText::bevelsChanged()
{
    fitInnerPanel();
}
