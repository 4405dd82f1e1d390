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
    if (className == QLatin1String("TStatusLine"))
        return new QAccessibleWidget(widget, QAccessible::Notification);
    return nullptr;
}

} // namespace

TStatusLine::TStatusLine(const QString &idle, QWidget *parent)
    : QLabel(idle, parent)
    , m_idle(idle)
    , m_message(idle)
    , m_last(idle)
{
    [[maybe_unused]] static const bool accessible = (QAccessible::installFactory(accessibleStatus), true);
    setAccessibleName(idle);
}

void TStatusLine::setMessage(const QString &text)
{
    m_message = text;
    if (text != m_idle)
        m_last = text;
    setAccessibleName(text);
    fit();
    if (text != m_idle) {
        QAccessibleEvent shown(this, QAccessible::ObjectShow);
        QAccessible::updateAccessibility(&shown);
    }
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
