#include "ClimateFile.h"

#include "ClimateFormat.h"
#include "FileErrors.h"

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

storage::SaveReport ReplaceFileContents(const QString &path, QByteArrayView bytes, const storage::FileId &opened,
                                        bool evenIfChanged)
{
    return storage::SaveBytes(*storage::FileSystemFor(path), bytes, opened, evenIfChanged);
}

namespace {

QString g_gameFolder; // empty: the working folder

} // namespace

bool EnterGameFolder(const QString &folder)
{
    if (QDir::setCurrent(folder)) {
        g_gameFolder.clear();
        return true;
    }
#ifdef Q_OS_WIN
    if (QFileInfo(folder).isDir()) {
        g_gameFolder = QFileInfo(folder).absoluteFilePath();
        return true;
    }
#endif
    return false;
}

void BindClimateFile(TClimateFile &file)
{
    const QString relative = QStringLiteral("data/weather.cfg");
    file.FileName = QDir::toNativeSeparators(g_gameFolder.isEmpty() ? relative : g_gameFolder + u'/' + relative);
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

QString LoadClimateFile(TClimateFile &file, TRegionTable &table, QByteArray &headerCountLine)
{
    const storage::Contents contents = storage::ReadWhole(*storage::FileSystemFor(ResolveFileName(file.FileName)));
    auto raw = std::make_unique<RawClimate>();
    ReadClimateBytes(contents.bytes, *raw);
    StoreRawClimate(*raw, table, headerCountLine);
    file.Opened = contents.id;
    return contents.notice;
}

storage::SaveReport SaveClimateFile(TClimateFile &file, const TRegionTable &table, QByteArrayView headerCountLine,
                                    bool evenIfChanged)
{
    const storage::SaveReport report = ReplaceFileContents(
        ResolveFileName(file.FileName), FormatClimateFile(table, headerCountLine), file.Opened, evenIfChanged);
    if (report.outcome == storage::SaveOutcome::Saved) {
        file.Opened = report.written;
        if (!report.warning.isEmpty())
            throw EInOutError(storage::kWriteFault,
                              report.notice.isEmpty() ? report.warning : report.notice + u'\n' + report.warning);
    }
    return report;
}

} // namespace climate
