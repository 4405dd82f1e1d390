#include "ClimateFile.h"

#include "ClimateFormat.h"
#include "FileErrors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <memory>

#ifndef Q_OS_WIN
#include <cerrno>
#include <unistd.h>
#endif

namespace climate {

namespace {

QString joinPath(const QString &dir, const QString &name)
{
    if (dir.isEmpty())
        return name;
    return dir.endsWith(u'/') ? dir + name : dir + u'/' + name;
}

// Whether the working folder's whole name survives text. Where it does not (bytes that are no
// text in the locale), a path made from it names another folder, or none.
bool workingFolderIsText()
{
#ifdef Q_OS_WIN
    return true;
#else
    QByteArray name(4096, Qt::Uninitialized);
    while (!::getcwd(name.data(), std::size_t(name.size()))) {
        if (errno != ERANGE || name.size() > (1 << 20))
            return false;
        name.resize(name.size() * 2);
    }
    name.truncate(qsizetype(std::strlen(name.constData())));
    return QFile::encodeName(QFile::decodeName(name)) == name;
#endif
}

} // namespace

storage::SaveReport ReplaceFileContents(const QString &path, QByteArrayView bytes, const storage::FileId &expected,
                                        const storage::Waiter &wait)
{
    return Worded([&] { return storage::SaveBytes(*storage::FileSystemFor(path, wait), bytes, expected); });
}

std::optional<QString> GameFolderPath(const QString &folder)
{
    const QFileInfo given(folder);
    if (!given.isDir())
        return std::nullopt;
    if (given.isRelative() && !workingFolderIsText())
        return folder; // a whole path in text would be another folder's, even one that exists
    const QString whole = given.absoluteFilePath();
    return QFileInfo(whole).isDir() ? whole : folder;
}

void BindClimateFile(TClimateFile &file, const QString &gameFolder)
{
    file.FileName = QDir::toNativeSeparators(joinPath(gameFolder, QStringLiteral("data/weather.cfg")));
}

QString DisplayName(const TClimateFile &file, const QString &gameFolder)
{
    const QString resolved = QDir::fromNativeSeparators(ResolveFileName(file.FileName));
    const QString folder = QDir::fromNativeSeparators(gameFolder);
    return QDir::toNativeSeparators(gameFolder.isEmpty() ? resolved : QDir(folder).relativeFilePath(resolved));
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

QString LoadClimateFile(TClimateFile &file, TRegionTable &table, QByteArray &headerCountLine, QByteArray *bytesRead)
{
    const storage::Contents contents =
        Worded([&] { return storage::ReadWhole(*storage::FileSystemFor(ResolveFileName(file.FileName), file.Waiting)); });
    auto raw = std::make_unique<RawClimate>();
    ReadClimateBytes(contents.bytes, *raw);
    StoreRawClimate(*raw, table, headerCountLine);
    file.Opened = contents.id;
    if (bytesRead)
        *bytesRead = contents.bytes;
    return Told(contents.notices);
}

storage::SaveReport SaveClimateFile(TClimateFile &file, const TRegionTable &table, QByteArrayView headerCountLine)
{
    const storage::SaveReport report =
        ReplaceFileContents(ResolveFileName(file.FileName), FormatClimateFile(table, headerCountLine), file.Opened,
                            file.Waiting);
    if (report.outcome == storage::SaveOutcome::Saved)
        file.Opened = report.written;
    return report;
}

} // namespace climate
