#pragma once

#include "RegionTable.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>

#include <array>

namespace climate {

// A source of the file's bytes; read() returns 0 at the end and throws EInOutError on failure.
// rewind() starts it again from the first byte.
class ByteSource
{
public:
    virtual ~ByteSource() = default;
    virtual qint64 read(char *buffer, qint64 maxSize) = 0;
    virtual void rewind() = 0;
};

// The raw lines of a file as the positional reader finds them, before they reach the table.
struct RawClimate
{
    struct Block
    {
        TRawLine NameLine;
        std::array<TRawLine, kSeasonCount> SeasonLines;
    };

    QByteArray HeaderCountLine;
    std::array<Block, kRegionSlots> Blocks;
    int BlockCount = 0;
};

// Reads a whole file: line 1 dropped, line 2 kept whole, then ten-line blocks until the end.
// Lines end at CR, as the game writes them; a file without a single CR (from a Linux editor
// or version control) would read as one line and lose every region on the next save, so
// its lines end at LF.
// A block past the 41st that carries a region name fails the read, since saving without it
// would delete that region from the game.
void ReadClimate(ByteSource &source, RawClimate &raw);
void ReadClimateBytes(QByteArrayView bytes, RawClimate &raw);

// Every line of a file as the reader splits it (line 1 first), for messages that point into it.
QByteArrayList ClimateLines(QByteArrayView bytes);

// Puts what was read into the table: the raw lines of slots 0 to BlockCount-1 and the count line.
void StoreRawClimate(const RawClimate &raw, TRegionTable &table, QByteArray &headerCountLine);


inline constexpr QByteArrayView kFirstLine =
    "# Number of weather configurations in file [ File modified by [Kest]s's Weather editor ]";

// The whole file as the game reads it: the fixed first line, the count line as it was
// loaded, and one ten-line block for each used slot, every line ending in CR LF.
QByteArray FormatClimateFile(const TRegionTable &table, QByteArrayView headerCountLine);

// Appends one season line without its line end, e.g. "SPRING: 80, W40, ...,  H5, ...".
void AppendSeasonLine(QByteArray &out, int season, const TSeasonRecord &record);

} // namespace climate
