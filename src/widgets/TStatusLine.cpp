#include "TStatusLine.h"

#include <QAccessible>

TStatusLine::TStatusLine(const QString &text, QWidget *parent)
    : QLabel(text, parent)
{
    setAccessibleName(text);
}

void TStatusLine::setMessage(const QString &text)
{
    const QString shown = fontMetrics().elidedText(text, Qt::ElideRight, width());
    setText(shown);
    setToolTip(shown == text ? QString() : text);
    setAccessibleName(text);
    setAccessibleDescription(shown == text ? QString() : text);
    QAccessibleEvent changed(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
}
