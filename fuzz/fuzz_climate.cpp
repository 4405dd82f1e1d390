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

// The same bytes as a table to import: a problem leaves no row to apply; every value applied
// is the value as the table held it or a number the editors could have set; and the table so
// changed, exported as CSV and as JSON, imports back with nothing changed.
void importHoldsItsWord(QByteArrayView bytes)
{
    static const std::unique_ptr<TRegionTable> target = [] {
        auto table = std::make_unique<TRegionTable>();
        (*table)[0].Name = QByteArrayView("England");
        (*table)[1].Name = QByteArrayView("Qu\xE9" "bec");
        (*table)[2].Name = QByteArrayView("Scotland, \"North\"");
        (*table)[3].Name = QByteArrayView("=1+1");
        return table;
    }();
    std::vector<climate::SeasonValues> rows;
    const QStringList problems = climate::ReadExchange(bytes, QStringLiteral("fuzz.csv"), *target, rows);
    if (!problems.isEmpty() && !rows.empty())
        std::abort();
    for (const climate::SeasonValues &row : rows) {
        const TRegionRecord &region = (*target)[std::size_t(row.slot)];
        if (!region.isUsed())
            std::abort();
        for (const ClimateValue &value : kClimateValues) {
            const QByteArray &text = row.values[std::size_t(value.index)];
            const std::optional<int> number = climate::ReadValueText(text);
            const bool held = region.Season[std::size_t(row.season)].Values[std::size_t(value.index)].view() == text;
            if (!held && (!number || !climate::InRange(value, *number)))
                std::abort();
        }
    }
    if (rows.empty())
        return;
    auto applied = std::make_unique<TRegionTable>(*target);
    climate::ApplyExchange(*applied, rows);
    for (const auto format : {climate::ExchangeFormat::Csv, climate::ExchangeFormat::Json}) {
        std::vector<climate::SeasonValues> again;
        if (!climate::ReadExchange(climate::ExportTable(*applied, format), QStringLiteral("again"), *applied, again).isEmpty()
            || climate::ApplyExchange(*applied, again) != 0)
            std::abort();
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
