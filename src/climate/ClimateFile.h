#pragma once

#include "FileAccess.h"
#include "RegionTable.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>

namespace climate {

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
// A block past the 41st that carries a region name fails the read, since saving without it
// would delete that region from the game.
void ReadClimate(ByteSource &source, RawClimate &raw);
void ReadClimateBytes(QByteArrayView bytes, RawClimate &raw);

// Puts what was read into the table: the raw lines of slots 0 to BlockCount-1 and the count line.
void StoreRawClimate(const RawClimate &raw, TRegionTable &table, QByteArray &headerCountLine);

// The editor's file, "data/weather.cfg" under the working directory.
struct TClimateFile
{
    QString FileName;
};

extern TClimateFile ClimateFile;

void BindClimateFile(TClimateFile &file);

// The path to open for a relative file name. When it does not exist as spelled but its
// folder and file do with other letter cases (a game folder copied from Windows), that file.
QString ResolveFileName(const QString &fileName);

// Loads the file into the table, all or nothing: on any failure the table and the count line
// are left exactly as they were, and the failure is thrown.
void LoadClimateFile(const TClimateFile &file, TRegionTable &table, QByteArray &headerCountLine);

// Writes the whole file and keeps it the same file (see ReplaceFileContents): the old bytes
// or the new ones, never a mix. A file that may not be written gives ReadOnly and writes
// nothing; any other failure is thrown.
SaveOutcome SaveClimateFile(const TClimateFile &file, const TRegionTable &table, QByteArrayView headerCountLine);

} // namespace climate
