#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>


namespace climate {

// Names and values are bytes in the game's Windows code page; this is how they look.
QString FromWindows1252(QByteArrayView bytes);

// Whether every character of text has a byte in that code page, so a name in the file can hold it.
bool FitsWindows1252(QStringView text);

// The text in that code page; nothing when a character has no byte there.
std::optional<QByteArray> ToWindows1252(QStringView text);

} // namespace climate
