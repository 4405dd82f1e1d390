// Feeds arbitrary bytes to the reader, the decoder and the writer. Besides crashes and
// sanitizer reports it checks the round trip: a table whose used slots run from slot 0
// without a gap, and whose value texts could never be misread (no space, comma, H, P or W),
// is written, read back and written again to the very same bytes.

#include "ClimateErrors.h"
#include "ClimateExchange.h"
#include "ClimateFile.h"
#include "ClimateFormat.h"
#include "SeasonDecoding.h"

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

bool roundTripHolds(const TRegionTable &table)
{
    bool gap = false;
    for (const TRegionRecord &region : table) {
        if (!region.isUsed()) {
            gap = true;
            continue;
        }
        if (gap)
            return false;
        for (const TSeasonRecord &season : region.Season)
            for (const TValueText &value : season.Values)
                for (char c : value.view())
                    if (c == ' ' || c == ',' || c == 'H' || c == 'P' || c == 'W')
                        return false;
    }
    return true;
}

QByteArray readDecodeWrite(QByteArrayView bytes, TRegionTable &table, QByteArray &header)
{
    auto raw = std::make_unique<climate::RawClimate>();
    climate::ReadClimateBytes(bytes, *raw);
    climate::StoreRawClimate(*raw, table, header);
    climate::DecodeTable(table);
    return climate::FormatClimateFile(table, header);
}

// The same bytes as a table to import: a problem leaves no row to apply, and every row
// applied holds values the editors could have set.
void importHoldsItsWord(QByteArrayView bytes)
{
    static const std::unique_ptr<TRegionTable> target = [] {
        auto table = std::make_unique<TRegionTable>();
        (*table)[0].Name = QByteArrayView("England");
        (*table)[2].Name = QByteArrayView("Scotland, \"North\"");
        return table;
    }();
    std::vector<climate::SeasonValues> rows;
    const QStringList problems = climate::ReadExchange(bytes, QStringLiteral("fuzz.csv"), *target, rows);
    if (!problems.isEmpty() && !rows.empty())
        std::abort();
    for (const climate::SeasonValues &row : rows) {
        if (!(*target)[std::size_t(row.slot)].isUsed())
            std::abort();
        for (const ClimateValue &value : kClimateValues) {
            bool ok = false;
            const int number = row.values[std::size_t(value.index)].toInt(&ok);
            if (!ok || number < value.minValue || number > value.maxValue)
                std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    importHoldsItsWord(QByteArrayView(data, qsizetype(size)));

    auto table = std::make_unique<TRegionTable>();
    QByteArray header;
    QByteArray written;
    try {
        written = readDecodeWrite(QByteArrayView(data, qsizetype(size)), *table, header);
    } catch (const EClimateError &) {
        return 0; // refused input (a named region past the last slot) is fine
    }
    if (!roundTripHolds(*table))
        return 0;

    auto again = std::make_unique<TRegionTable>();
    QByteArray headerAgain;
    const QByteArray rewritten = readDecodeWrite(written, *again, headerAgain);
    if (rewritten != written || headerAgain != header)
        std::abort();
    return 0;
}
