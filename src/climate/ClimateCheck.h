#pragma once

#include "RegionTable.h"

#include <QByteArrayView>
#include <QList>
#include <QString>

// What Open would meet in a file, and where: for the command line's check, which a CI reads.
namespace climate {

struct CheckFinding
{
    int line = 1;   // from 1
    int column = 1; // from 1, in bytes
    bool error = true; // an error stops Open or loses a region; a warning is mended silently
    QString message;
};

struct CheckResult
{
    int regions = 0;
    QList<CheckFinding> findings; // in the order of their lines
};

// bytes is the file; table and headerCountLine what loading and decoding made of it. Reports a
// count line that disagrees with the regions, the first line where the blocks are out of step
// (once: every line after it would be wrong too, and no value after it is looked at), every
// value the editors could not show and every value they show at a bound.
CheckResult CheckClimate(QByteArrayView bytes, const TRegionTable &table, QByteArrayView headerCountLine);

} // namespace climate
