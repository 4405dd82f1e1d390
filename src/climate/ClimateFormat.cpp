#include "ClimateFormat.h"

#include <cstring>

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

// Appending piece by piece costs more than the decoding does, so lines are copied into
// room made beforehand.
class Writer
{
public:
    explicit Writer(char *at)
        : m_at(at)
    {
    }

    void put(QByteArrayView text)
    {
        if (text.isEmpty())
            return; // an empty view may have no data pointer at all, which memcpy must not get
        std::memcpy(m_at, text.data(), std::size_t(text.size()));
        m_at += text.size();
    }

    void put(std::string_view text) { put(bytes(text)); }
    char *at() const { return m_at; }

private:
    char *m_at;
};

constexpr qsizetype kLongestSeasonLine = 115;
constexpr qsizetype kLongestBlock = kBlockComments.size() + 3 + TRegionName::capacity + 2
                                    + kSeasonCount * (kLongestSeasonLine + 2);

void putSeasonLine(Writer &out, int season, const TSeasonRecord &record)
{
    out.put(kSeasonLabels[std::size_t(season)]);
    for (const ClimateValue &value : kClimateValues) {
        out.put(value.separator);
        out.put(record.Values[std::size_t(value.index)].view());
    }
}

} // namespace

void AppendSeasonLine(QByteArray &out, int season, const TSeasonRecord &record)
{
    const qsizetype start = out.size();
    out.resize(start + kLongestSeasonLine);
    Writer writer(out.data() + start);
    putSeasonLine(writer, season, record);
    out.truncate(writer.at() - out.constData());
}

QByteArray FormatClimateFile(const TRegionTable &table, QByteArrayView headerCountLine)
{
    QByteArray out(kFirstLine.size() + headerCountLine.size() + 2 * kLineEnd.size() + kRegionSlots * kLongestBlock,
                   Qt::Uninitialized);
    Writer writer(out.data());
    writer.put(kFirstLine);
    writer.put(kLineEnd);
    writer.put(headerCountLine);
    writer.put(kLineEnd);

    for (int slot = 0; slot < kRegionSlots; ++slot) {
        const TRegionRecord &region = table[std::size_t(slot)];
        if (!region.isUsed())
            continue;
        writer.put(kBlockComments);
        // The name line carries the slot, not a running count: a gap stays a gap.
        char number[3];
        const int digits = slot < 10 ? 1 : 2;
        number[0] = char(slot < 10 ? '0' + slot : '0' + slot / 10);
        number[1] = char('0' + slot % 10);
        writer.put(QByteArrayView(number, digits));
        writer.put(QByteArrayView(" "));
        writer.put(region.Name.view());
        writer.put(kLineEnd);
        for (int s = 0; s < kSeasonCount; ++s) {
            putSeasonLine(writer, s, region.Season[std::size_t(s)]);
            writer.put(kLineEnd);
        }
    }
    out.truncate(writer.at() - out.constData());
    return out;
}

} // namespace climate
