#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

namespace climate {

// Text to integer as the editors read it: optional leading blanks, an optional sign, then
// decimal digits to the end of the text, or "$" and hexadecimal digits. Anything else, and a
// number beyond 32 bits, is no integer.
std::optional<int> ParseInteger(QByteArrayView text);

// The same, failing with "'<text>' is not a valid integer value".
int StrToInt(QByteArrayView text);

// Names and values are bytes in the game's Windows code page; this is how they look.
QString FromWindows1252(QByteArrayView bytes);

} // namespace climate
