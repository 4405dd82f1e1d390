#include "ClimateFile.h"

#include "ClimateErrors.h"
#include "ClimateFormat.h"
#include "SeasonDecoding.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <memory>

namespace climate {

TClimateFile ClimateFile;

namespace {

constexpr char kCarriageReturn = '\r';
constexpr char kLineFeed = '\n';
constexpr char kEndOfFileMark = 26; // Ctrl-Z ends a text file wherever it stands

// Reads lines the way the game's text files are read: a line ends at CR, an LF right after
// that CR belongs to the line end, a lone LF is an ordinary character, Ctrl-Z is the end.
// Lines reach the caller in pieces, so no line needs to be held whole unless the caller
// keeps it.
class LineReader
{
public:
    explicit LineReader(ByteSource &source)
        : m_source(source)
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
            while (n < available && begin[n] != kCarriageReturn && begin[n] != kEndOfFileMark)
                ++n;
            if (n)
                sink(QByteArrayView(begin, n));
            m_pos += n;
            if (n == available || begin[n] == kEndOfFileMark)
                continue; // more of the line, or the end that ensureData() will see
            ++m_pos; // the CR
            if (ensureData() && m_buffer[std::size_t(m_pos)] == kLineFeed)
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

private:
    QByteArrayView m_bytes;
    qint64 m_pos = 0;
};

bool isBlankBlockName(const TRawLine &nameLine)
{
    return StripLabel(nameLine.view()).isEmpty();
}

QString joinPath(const QString &dir, const QString &name)
{
    if (dir.isEmpty())
        return name;
    return dir.endsWith(u'/') ? dir + name : dir + u'/' + name;
}

} // namespace

void ReadClimate(ByteSource &source, RawClimate &raw)
{
    LineReader reader(source);
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

void BindClimateFile(TClimateFile &file)
{
    file.FileName = QDir::toNativeSeparators(QStringLiteral("data/weather.cfg"));
}

QString ResolveFileName(const QString &fileName)
{
    const QString name = QDir::fromNativeSeparators(fileName);
    if (name.isEmpty() || QFileInfo::exists(name))
        return fileName;

    const bool absolute = name.startsWith(u'/');
    const QStringList parts = name.split(u'/', Qt::SkipEmptyParts);
    QString resolved = absolute ? QStringLiteral("/") : QString();
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const bool last = i + 1 == parts.size();
        QString next = joinPath(resolved, parts[i]);
        if (!QFileInfo::exists(next)) {
            const QDir dir(resolved.isEmpty() ? QStringLiteral(".") : resolved);
            const QStringList entries =
                dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
            for (const QString &entry : entries) {
                if (entry.compare(parts[i], Qt::CaseInsensitive) == 0 && (last || QFileInfo(dir, entry).isDir())) {
                    next = joinPath(resolved, entry);
                    break;
                }
            }
        }
        resolved = next;
    }
    return QDir::toNativeSeparators(resolved);
}

void LoadClimateFile(const TClimateFile &file, TRegionTable &table, QByteArray &headerCountLine)
{
    const std::unique_ptr<ReadableFile> source = OpenForReading(ResolveFileName(file.FileName));
    auto raw = std::make_unique<RawClimate>();
    ReadClimate(*source, *raw);
    source->close();
    StoreRawClimate(*raw, table, headerCountLine);
}

SaveOutcome SaveClimateFile(const TClimateFile &file, const TRegionTable &table, QByteArrayView headerCountLine)
{
    return ReplaceFileContents(ResolveFileName(file.FileName), FormatClimateFile(table, headerCountLine));
}

} // namespace climate
