#pragma once

#include "RegionTable.h"
#include "ValueRules.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <optional>
#include <vector>

// The climate table as a spreadsheet or a script sees it: one row per used region and season,
// with the region's slot, its name, the season's name and the eighteen values under names that
// say what they are. CSV (RFC 4180, a header row) or JSON (an array of objects with the same
// names); the season row on the clipboard is the eighteen values alone, tab-separated.
namespace climate {

enum class ExchangeFormat { Csv, Json };

// Which seasons an export takes: every used one when none is given.
using SeasonFilter = std::function<bool(int slot, int season)>;

// The whole table; region names are converted from the file's bytes as the window shows them.
QByteArray ExportTable(const TRegionTable &table, ExchangeFormat format, QByteArrayView lineEnd = "\n",
                       const SeasonFilter &only = {});

// Whether a slot's season differs between two tables: the region's name (or whether the slot is
// used at all), or any of its eighteen values, where a value that reads as the same number is
// the same ("025" and "25").
bool SeasonDiffers(const TRegionTable &mine, const TRegionTable &theirs, int slot, int season);

// One row to import: the slot and season it names and its values, as the editors set them.
struct SeasonValues
{
    int slot = 0;
    int season = 0;
    std::array<QByteArray, kValueCount> values;
};

// Reads a whole exported table, checking all of it against the table before anything changes:
// every row names a used region (by name, in any letter case; by slot too where the row has
// one) and a season, every value that changes is a whole number within its editor's bounds,
// no region and season comes twice. A value as the table holds it, or one the editors read as
// the same number, is no change and keeps its text, so a table exported and imported unchanged
// changes nothing. Names are only matched, never imported.
// The text may be CSV or JSON (when it starts with '['); UTF-8 with or without a mark, UTF-16
// with a mark, or Windows-1252 where it is no UTF-8; its fields separated by commas,
// semicolons or tabs, as its header line shows. The problems, each as "name:line: column:
// what is wrong", at most kMaxProblems and then how many more; none means rows holds every
// row. notes, when given, gets what was assumed and what was matched loosely (a name a
// spreadsheet changed, matched by its slot).
inline constexpr int kMaxProblems = 20;
QStringList ReadExchange(QByteArrayView bytes, const QString &name, const TRegionTable &table,
                         std::vector<SeasonValues> &rows, QStringList *notes = nullptr);

// Puts the rows into the table; how many seasons changed.
int ApplyExchange(TRegionTable &table, const std::vector<SeasonValues> &rows);

// The clipboard's season row: the eighteen values, tab-separated, in the export's order.
QString SeasonRow(const SeasonNumbers &values);
// The eighteen values of one such row, separated by tabs or commas, alone, after the region and
// the season (as a spreadsheet's selection holds them) or after the slot too (a whole exported
// row); a separator or a line end after the last is allowed. Why not, when it is none.
std::optional<SeasonNumbers> ParseSeasonRow(QStringView text, QString &why);

} // namespace climate
