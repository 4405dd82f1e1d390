#include "TStatusLine.h"

#include <QAccessible>
#include <QAccessibleWidget>

namespace {

QAccessibleInterface *accessibleStatus(const QString &className, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    auto *widget = static_cast<QWidget *>(object);
    if (className == QLatin1String("TStatusBar"))
        return new QAccessibleWidget(widget, QAccessible::StatusBar);
    // Shown afresh with each message, a notification is what a screen reader speaks unasked.
    if (className == QLatin1String("TNotice"))
        return new QAccessibleWidget(widget, QAccessible::Notification);
    return nullptr;
}

} // namespace

TNotice::TNotice(QWidget *parent)
    : QWidget(parent)
{
    [[maybe_unused]] static const bool accessible = (QAccessible::installFactory(accessibleStatus), true);
    setFixedSize(0, 0);
}

void TNotice::say(const QString &text)
{
    setAccessibleName(text);
    QAccessibleEvent shown(this, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
}

TStatusLine::TStatusLine(const QString &idle, QWidget *parent)
    : QLabel(idle, parent)
    , m_idle(idle)
    , m_message(idle)
    , m_last(idle)
    , m_notice(new TNotice(this))
{
    setAccessibleName(idle);
}

void TStatusLine::setMessage(const QString &text)
{
    m_message = text;
    if (text != m_idle)
        m_last = text;
    setAccessibleName(text);
    fit();
    // Said through a notice of its own, which keeps the words until the next message: a
    // message gone before the screen reader asks ("Saving...") is still what it hears.
    if (text != m_idle)
        m_notice->say(text);
}

void TStatusLine::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    fit();
}

void TStatusLine::fit()
{
    const QString shown = fontMetrics().elidedText(m_message, Qt::ElideRight, width());
    setText(shown);
    setToolTip(shown == m_message ? QString() : m_message);
}
