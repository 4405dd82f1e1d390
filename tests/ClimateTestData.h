#pragma once

#include "ClimateFormat.h"
#include "RegionTable.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QDir>
#include <QFile>
#include <QString>

#ifndef Q_OS_WIN
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <memory>

// Helpers shared by the tests that read and write weather.cfg.
namespace testdata {

// Every line followed by CR LF, as the game writes them.
inline QByteArray crlf(const QByteArrayList &lines)
{
    QByteArray out;
    for (const QByteArray &line : lines)
        out += line + "\r\n";
    return out;
}

// A region with believable, distinct values: seed picks them.
inline void fillRegion(TRegionRecord &region, const QByteArray &name, int seed)
{
    region.Name = name;
    for (int s = 0; s < kSeasonCount; ++s) {
        TSeasonRecord &season = region.Season[std::size_t(s)];
        season.Values[0] = QByteArray::number((seed * 7 + s * 91) % 366);
        for (int k = 1; k < kValueCount; ++k)
            season.Values[std::size_t(k)] = QByteArray::number((seed * 13 + s * 17 + k * 29) % 102 - 1);
    }
}

inline std::unique_ptr<TRegionTable> tableOf(int regions)
{
    auto table = std::make_unique<TRegionTable>();
    for (int slot = 0; slot < regions; ++slot)
        fillRegion((*table)[std::size_t(slot)], "Region " + QByteArray::number(slot), slot);
    return table;
}

inline QByteArray fileOf(int regions, const QByteArray &header = "41")
{
    return climate::FormatClimateFile(*tableOf(regions), header);
}

inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// The data folder of a new game under dir: game1/data, game2/data and so on.
inline QString newDataFolder(const QString &dir)
{
    static int game = 0;
    const QString folder = dir + QStringLiteral("/game%1/data").arg(++game);
    return QDir().mkpath(folder) ? folder : QString();
}

// What stands in a data folder besides weather.cfg and its second name: what a save left.
inline QStringList strayFiles(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    names.removeAll(QStringLiteral("weather.cfg"));
    names.removeAll(QStringLiteral("other-name.cfg"));
    return names;
}

#ifndef Q_OS_WIN
// Runs body in a forked child and returns its exit status (or 128 + the signal). Used for
// what must not touch the test process itself: resource limits and dropped privileges.
template <typename Body>
int runInChild(Body &&body)
{
    const pid_t pid = fork();
    if (pid == 0)
        _exit(body());
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A file named in bytes (a name that is no text: paths as text cannot spell it), its folders
// made first; and its bytes read back.
inline bool putBytes(const QByteArray &path, const QByteArray &bytes)
{
    const qsizetype slash = path.lastIndexOf('/');
    QByteArray folder;
    for (const QByteArray &part : path.left(slash).split('/')) {
        folder += part + '/';
        ::mkdir(folder.constData(), 0755);
    }
    std::FILE *file = std::fopen(path.constData(), "wb");
    return file && std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), file) == std::size_t(bytes.size())
           && std::fclose(file) == 0;
}

inline QByteArray getBytes(const QByteArray &path)
{
    QByteArray bytes(1 << 20, '\0');
    std::FILE *file = std::fopen(path.constData(), "rb");
    bytes.truncate(file ? qsizetype(std::fread(bytes.data(), 1, std::size_t(bytes.size()), file)) : 0);
    if (file)
        std::fclose(file);
    return bytes;
}

// Root ignores file modes, so a child that must be refused becomes the user nobody first.
inline bool becomeUnprivileged()
{
    if (geteuid() != 0)
        return true;
    // A cache folder of its own, as each user has: the editor uses none that is another's.
    if (const QByteArray cache = qgetenv("XDG_CACHE_HOME"); !cache.isEmpty())
        qputenv("XDG_CACHE_HOME", cache + "/nobody");
    return setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0;
}

#endif

// Lets the unprivileged child reach a folder that root created.
inline void openToEveryone(const QString &path)
{
    QFile::setPermissions(path, QFileDevice::Permissions(0x7777));
}

} // namespace testdata
