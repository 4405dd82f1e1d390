#pragma once

#include "RegionTable.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>

// Turning the raw name and season lines of the table into names and value texts. These
// rules decide what a hand-edited file shows, odd lines included, so they are exact.
namespace climate {

// The text after its first space; the text itself when it has no space.
QByteArray StripLabel(QByteArrayView text);

// The text with its first two double spaces made single (two passes, always both).
QByteArray CollapseDoubleSpaces(QByteArrayView text);

// Field n (1-based) of a normalized season line, from its second character up to the
// character before its first comma; the whole field when it has no comma.
QByteArray ExtractField(QByteArrayView text, std::uint8_t n);

// The text less one leading character for each of H, P and W (in that order) it contains.
QByteArray StripPrefixLetter(QByteArrayView text);

// Decodes every slot: names from the name lines, value texts from the season lines.
void DecodeTable(TRegionTable &table);

} // namespace climate
