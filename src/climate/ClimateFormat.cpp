#include "ClimateFormat.h"

namespace climate {
namespace {

constexpr QByteArrayView kLineEnd = "\r\n";

constexpr QByteArrayView kBlockComments =
    "\r\n"
    "# Start Day,\r\n"
    "# Wind (Calm, Breezy, Gusty, Strong, Gale)\r\n"
    "# Precipitation (Dry, Wet, Drizzle, Shower, Down Pour)\r\n"
    "# Warmth (Freezing, Cold, Mild, Fine, Warm, Hot, Very Hot)\r\n";

QByteArrayView bytes(std::string_view text)
{
    return QByteArrayView(text.data(), qsizetype(text.size()));
}

} // namespace

void AppendSeasonLine(QByteArray &out, int season, const TSeasonRecord &record)
{
    out.append(bytes(kSeasonLabels[std::size_t(season)]));
    for (const ClimateValue &value : kClimateValues) {
        out.append(bytes(value.separator));
        out.append(record.Values[std::size_t(value.index)].view());
    }
}

QByteArray FormatClimateFile(const TRegionTable &table, QByteArrayView headerCountLine)
{
    QByteArray out;
    out.reserve(kFirstLine.size() + headerCountLine.size() + 4 + kRegionSlots * 800);
    out.append(kFirstLine).append(kLineEnd);
    out.append(headerCountLine).append(kLineEnd);

    for (int slot = 0; slot < kRegionSlots; ++slot) {
        const TRegionRecord &region = table[std::size_t(slot)];
        if (!region.isUsed())
            continue;
        out.append(kBlockComments);
        // The name line carries the slot, not a running count: a gap stays a gap.
        out.append(QByteArray::number(slot)).append(' ').append(region.Name.view()).append(kLineEnd);
        for (int s = 0; s < kSeasonCount; ++s) {
            AppendSeasonLine(out, s, region.Season[std::size_t(s)]);
            out.append(kLineEnd);
        }
    }
    return out;
}

} // namespace climate
