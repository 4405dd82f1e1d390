#pragma once

#include "ClimateValues.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <array>
#include <optional>

// The eighteen values of a season as numbers, in file order.
using SeasonNumbers = std::array<int, kValueCount>;

// What a value of a season is and how it is read, written once: the window's editors, the
// file's check, the exchange formats and the clipboard's row all go by these rules, so that
// what one accepts the others accept too.
namespace climate {

// The editors' reading rule: optional leading blanks, an optional sign, then decimal digits to
// the end of the text, or "$" and hexadecimal digits. Anything else, and a number beyond 32
// bits, is no integer.
std::optional<int> ReadEditorNumber(QStringView text);

// What a table from a spreadsheet or a script may hold: a decimal whole number, with any blanks
// around it and a decimal point followed only by zeros allowed ("25.0"); never hexadecimal.
std::optional<int> ReadTableNumber(QStringView text);

// A value text of the table as the editors read it (bytes in the game's code page).
std::optional<int> ReadValueText(QByteArrayView text);

// Into the value's bounds.
int Clamped(const ClimateValue &value, int number);
bool InRange(const ClimateValue &value, int number);

// The value text a number is stored as: decimal, a "-" before a negative one, at most three
// characters (a longer text keeps its first three, as every store into the table does).
QByteArray ValueText(int number);

// Whether storing number over the value text stored would change what the value means. A text
// the editors read as that number ("025" for 25) stays as it is.
bool SameValue(QByteArrayView stored, int number);
// Whether two value texts mean the same: equal, or read as the same number ("025" and "25").
bool SameValueText(QByteArrayView one, QByteArrayView other);

// "Start day", "Wind Calm", ..., "Warmth Very Hot".
QString ColumnName(int valueIndex);
// "Calm", ..., "Very Hot": the level alone, as the window's labels name it.
QString LevelName(int valueIndex);
QString SeasonName(int season);

// The line of the file (from 1) that holds a season of the region in slot, as the file is
// read and written: two header lines, then ten lines a slot, the seasons on its last four.
int SeasonLineNumber(int slot, int season);

} // namespace climate
