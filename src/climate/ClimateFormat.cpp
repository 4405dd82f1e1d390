#include "ClimateFormat.h"

#include "ClimateErrors.h"
#include "SeasonDecoding.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace climate {

namespace {


constexpr char kCarriageReturn = '\r';
constexpr char kLineFeed = '\n';
constexpr char kEndOfFileMark = 26; // Ctrl-Z ends a text file wherever it stands

// Reads lines the way the game's text files are read: a line ends at its line-end byte (CR,
// or LF in a file without CR), an LF right after a CR belongs to the line end, any other LF
// is an ordinary character, Ctrl-Z is the end. Lines reach the caller in pieces, so no line
// needs to be held whole unless the caller keeps it.
class LineReader
{
public:
    LineReader(ByteSource &source, char lineEnd)
        : m_source(source)
        , m_lineEnd(lineEnd)
    {
    }

    bool atEnd() { return !ensureData(); }

    // Calls sink(piece) for each piece of the next line; past the end the line is empty.
    template <typename Sink>
    void readLine(Sink &&sink)
    {
        while (ensureData()) {
            const char *begin = m_buffer.data() + m_pos;
            const qsizetype available = m_length - m_pos;
            qsizetype n = 0;
            while (n < available && begin[n] != m_lineEnd && begin[n] != kEndOfFileMark)
                ++n;
            if (n)
                sink(QByteArrayView(begin, n));
            m_pos += n;
            if (n == available || begin[n] == kEndOfFileMark)
                continue; // more of the line, or the end that ensureData() will see
            ++m_pos; // the line end
            if (m_lineEnd == kCarriageReturn && ensureData() && m_buffer[std::size_t(m_pos)] == kLineFeed)
                ++m_pos;
            return;
        }
    }

    void skipLine()
    {
        readLine([](QByteArrayView) {});
    }

    void readInto(TRawLine &line)
    {
        line.clear();
        readLine([&line](QByteArrayView piece) { line.append(piece); });
    }

private:
    bool ensureData()
    {
        if (m_ended)
            return false;
        if (m_pos >= m_length) {
            m_pos = 0;
            m_length = m_source.read(m_buffer.data(), qint64(m_buffer.size()));
        }
        m_ended = m_length <= 0 || m_buffer[std::size_t(m_pos)] == kEndOfFileMark;
        return !m_ended;
    }

    ByteSource &m_source;
    const char m_lineEnd;
    std::array<char, 64 * 1024> m_buffer;
    qsizetype m_pos = 0;
    qsizetype m_length = 0;
    bool m_ended = false;
};

class MemorySource : public ByteSource
{
public:
    explicit MemorySource(QByteArrayView bytes)
        : m_bytes(bytes)
    {
    }

    qint64 read(char *buffer, qint64 maxSize) override
    {
        const qint64 n = std::min<qint64>(maxSize, m_bytes.size() - m_pos);
        if (n > 0)
            std::memcpy(buffer, m_bytes.data() + m_pos, std::size_t(n));
        m_pos += n;
        return n;
    }

    void rewind() override { m_pos = 0; }

private:
    QByteArrayView m_bytes;
    qint64 m_pos = 0;
};

// CR when the text up to its end (or Ctrl-Z) holds one, which it mostly does in its first
// line; LF otherwise. Leaves the source at its start.
char lineEndOf(ByteSource &source)
{
    std::array<char, 4096> buffer;
    char lineEnd = kLineFeed;
    for (qint64 n = 0; (n = source.read(buffer.data(), qint64(buffer.size()))) > 0;) {
        const auto end = buffer.begin() + n;
        const auto found = std::find_if(buffer.begin(), end, [](char c) { return c == kCarriageReturn || c == kEndOfFileMark; });
        if (found != end) {
            lineEnd = *found;
            break;
        }
    }
    lineEnd = lineEnd == kCarriageReturn ? kCarriageReturn : kLineFeed;
    source.rewind();
    return lineEnd;
}

bool isBlankBlockName(const TRawLine &nameLine)
{
    return StripLabel(nameLine.view()).isEmpty();
}

} // namespace

void ReadClimate(ByteSource &source, RawClimate &raw)
{
    LineReader reader(source, lineEndOf(source));
    reader.skipLine();
    raw.HeaderCountLine.clear();
    reader.readLine([&raw](QByteArrayView piece) { raw.HeaderCountLine.append(piece); });

    raw.BlockCount = 0;
    RawClimate::Block extra; // blocks past the last slot are read here, then dropped
    while (!reader.atEnd()) {
        const bool inTable = raw.BlockCount < kRegionSlots;
        RawClimate::Block &block = inTable ? raw.Blocks[std::size_t(raw.BlockCount)] : extra;
        for (int i = 0; i < 5; ++i)
            reader.skipLine();
        reader.readInto(block.NameLine);
        for (TRawLine &line : block.SeasonLines)
            reader.readInto(line);
        if (inTable)
            ++raw.BlockCount;
        else if (!isBlankBlockName(extra.NameLine))
            throw EClimateError(QStringLiteral("The file holds more than %1 regions").arg(kRegionSlots));
    }
}

void ReadClimateBytes(QByteArrayView bytes, RawClimate &raw)
{
    MemorySource source(bytes);
    ReadClimate(source, raw);
}

QByteArrayList ClimateLines(QByteArrayView bytes)
{
    MemorySource source(bytes);
    LineReader reader(source, lineEndOf(source));
    QByteArrayList lines;
    while (!reader.atEnd()) {
        QByteArray line;
        reader.readLine([&line](QByteArrayView piece) { line += piece; });
        lines << line;
    }
    return lines;
}

void StoreRawClimate(const RawClimate &raw, TRegionTable &table, QByteArray &headerCountLine)
{
    headerCountLine = raw.HeaderCountLine;
    for (int b = 0; b < raw.BlockCount; ++b) {
        const RawClimate::Block &block = raw.Blocks[std::size_t(b)];
        TRegionRecord &region = table[std::size_t(b)];
        region.NameLine = block.NameLine;
        for (int s = 0; s < kSeasonCount; ++s)
            region.Season[std::size_t(s)].Line = block.SeasonLines[std::size_t(s)];
    }
}

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
