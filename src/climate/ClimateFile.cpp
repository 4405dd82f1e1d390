#include "ClimateFile.h"

#include "ClimateFormat.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <memory>

namespace climate {

TClimateFile ClimateFile;

namespace {

QString joinPath(const QString &dir, const QString &name)
{
    if (dir.isEmpty())
        return name;
    return dir.endsWith(u'/') ? dir + name : dir + u'/' + name;
}

} // namespace

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
