#pragma once

#include "RegionTable.h"

#include <QByteArray>
#include <QByteArrayView>

namespace climate {

inline constexpr QByteArrayView kFirstLine =
    "# Number of weather configurations in file [ File modified by [Kest]s's Weather editor ]";

// The whole file as the game reads it: the fixed first line, the count line as it was
// loaded, and one ten-line block for each used slot, every line ending in CR LF.
QByteArray FormatClimateFile(const TRegionTable &table, QByteArrayView headerCountLine);

// Appends one season line without its line end, e.g. "SPRING: 80, W40, ...,  H5, ...".
void AppendSeasonLine(QByteArray &out, int season, const TSeasonRecord &record);

} // namespace climate
