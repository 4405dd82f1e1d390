#include "ClimateFile.h"
#include "ClimateTestData.h"
#include "FaultInjection.h"
#include "FileErrors.h"
#include "SavePolicy.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QScopeGuard>
#include <QTest>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <thread>

#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>

using namespace climate;
using namespace storage;
using namespace testdata;

namespace {

constexpr uid_t kNobody = 65534;
const char kAttribute[] = "user.nimbrel.origin";

// What makes a file this file besides its bytes.
struct Identity
{
    uid_t owner = 0;
    gid_t group = 0;
    mode_t mode = 0;
    nlink_t links = 0;
    QByteArray attribute;

    bool operator==(const Identity &) const = default;
};

Identity identityOf(const QString &path)
{
    struct stat info{};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    char value[64] = {};
    const ssize_t length = ::getxattr(QFile::encodeName(path).constData(), kAttribute, value, sizeof value);
    return {info.st_uid, info.st_gid, info.st_mode, info.st_nlink, QByteArray(value, std::max<ssize_t>(length, 0))};
}

char *toString(const Identity &id)
{
    return QTest::toString(QStringLiteral("owner %1 group %2 mode %3 links %4 attribute '%5'")
                               .arg(id.owner).arg(id.group).arg(id.mode, 0, 8).arg(id.links)
                               .arg(QString::fromLatin1(id.attribute)));
}

bool run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished() && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// The outcome of one save as the exit status of the child that ran it.
enum ChildResult { kSaved = 0, kReadOnly = 1, kUnexpected = 250 };

int saveAndReport(const QString &path, const QByteArray &bytes)
{
    try {
        return ReplaceFileContents(path, bytes).outcome == SaveOutcome::Saved ? kSaved : kReadOnly;
    } catch (const EInOutError &error) {
        return error.ErrorCode;
    }
}

QString describe(int result)
{
    switch (result) {
    case kSaved: return QStringLiteral("saved");
    case kReadOnly: return QStringLiteral("The file is read-only");
    default: return result > 128 ? QStringLiteral("child ended by signal %1").arg(result - 128) : ioErrorMessage(result);
    }
}

enum class Case {
    PlainFile,
    OtherUsersFileSavedByRoot,
    GroupOnlyMode,
    SecondHardLink,
    ExtendedAttribute,
    SymbolicLink,
    WritableFileInReadOnlyFolder,
    OtherUsersFileInStickyFolder,
    NoWriteBitAtAll,
    ImmutableFile,
    AppendOnlyFile,
    ReadOnlyMount,
    FullDisk,
    NoFreeInodes,
    FileSizeLimit,
    FileSizeLimitInPlace,
    SyncFails,
    CloseFails,
    SyncFailsInPlace,
};

} // namespace

Q_DECLARE_METATYPE(Case)

class TestFileAccessPosix : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_folder; // the game's data folder
    QString m_file;
    QStringList m_mounts;
    QStringList m_attributesToClear;

    bool isRoot() const { return geteuid() == 0; }

    // What a save left beside the file, and in the cache folder where backups go when the
    // file's folder takes none.
    QStringList strayFiles() const
    {
        return testdata::strayFiles(m_folder) + QDir(m_cache + QStringLiteral("/nimbrel")).entryList(QDir::Files | QDir::Hidden);
    }
    QString m_cache;

    // These return why they could not do it; the test function skips with that reason.
    QString mountTmpfs(const QString &options)
    {
        if (!isRoot())
            return QStringLiteral("mounting a small file system needs root");
        if (::mount("tmpfs", QFile::encodeName(m_folder).constData(), "tmpfs", 0, options.toLatin1().constData()) != 0)
            return QStringLiteral("tmpfs cannot be mounted here: %1").arg(strerror(errno));
        m_mounts << m_folder;
        openToEveryone(m_folder);
        return {};
    }

    QString setFlag(const char *flag)
    {
        if (!isRoot() || !run(QStringLiteral("chattr"), {QLatin1String(flag), m_file}))
            return QStringLiteral("chattr does not work here (needs root and a file system with the flag)");
        m_attributesToClear << m_file;
        return {};
    }

private slots:
    void initTestCase()
    {
        m_cache = m_dir.filePath(QStringLiteral("cache"));
        QVERIFY(QDir().mkpath(m_cache));
        QVERIFY(::chmod(QFile::encodeName(m_cache).constData(), 01777) == 0);
        qputenv("XDG_CACHE_HOME", QFile::encodeName(m_cache));
    }

    void init()
    {
        QVERIFY(m_dir.isValid());
        m_folder = newDataFolder(m_dir.path());
        QVERIFY(!m_folder.isEmpty());
        openToEveryone(m_dir.path());
        openToEveryone(QFileInfo(m_folder).path());
        openToEveryone(m_folder);
        m_file = m_folder + QStringLiteral("/weather.cfg");
    }

    // What a save meets between Open and Save, and what it then says. An answer about no file
    // holds for no file at exactly that name; a file swapped for one that cannot be written is a
    // change, not read-only; an I/O error opening it is that error; without locks it goes on.
    void aSaveSaysWhatItMet_data()
    {
        QTest::addColumn<QString>("then"); // what stands at the name when first saved
        QTest::addColumn<QString>("now");  // what is put there before the answer, or the fault
        QTest::addColumn<int>("outcome");  // the answer's SaveOutcome; -1: thrown (its code is 29)
        QTest::newRow("no file, still none") << "gone" << "" << int(SaveOutcome::Saved);
        QTest::newRow("no file, a file since") << "gone" << "file" << int(SaveOutcome::Changed);
        QTest::newRow("no file, a link since") << "gone" << "link" << int(SaveOutcome::Changed);
        QTest::newRow("a link to nowhere, pointed elsewhere") << "link" << "link" << int(SaveOutcome::Changed);
        QTest::newRow("swapped for a pipe") << "pipe" << "" << int(SaveOutcome::Changed);
        QTest::newRow("swapped for a read-only copy") << "read-only" << "" << int(SaveOutcome::Changed);
        QTest::newRow("an I/O error opening it") << "file" << "EIO" << -1;
        QTest::newRow("no locks, by rename") << "file" << "ENOLCK" << int(SaveOutcome::Saved);
        QTest::newRow("no locks, in place") << "hard link" << "ENOLCK" << int(SaveOutcome::Saved);
    }

    void aSaveSaysWhatItMet()
    {
        QFETCH(QString, then);
        QFETCH(QString, now);
        QFETCH(int, outcome);
        writeFile(m_file, fileOf(2));
        FileId expected = ReadWhole(*FileSystemFor(m_file)).id;
        const QString planted = m_dir.filePath(QStringLiteral("planted.cfg"));
        const QByteArray name = QFile::encodeName(m_file);
        QFile::remove(planted);
        if (then == QLatin1String("hard link"))
            QVERIFY(::link(name.constData(), QFile::encodeName(m_folder + QStringLiteral("/other-name.cfg")).constData()) == 0);
        if (then == QLatin1String("gone") || then == QLatin1String("link"))
            QVERIFY(QFile::remove(m_file));
        if (then == QLatin1String("link"))
            QVERIFY(QFile::link(m_dir.filePath(QStringLiteral("first.cfg")), m_file));
        if (then == QLatin1String("pipe")) // made beside it and renamed over it, as a swap is
            QVERIFY(::mkfifo(name + ".new", 0600) == 0 && ::rename(name + ".new", name) == 0);
        if (then == QLatin1String("read-only"))
            QVERIFY((writeFile(m_file + QStringLiteral(".new"), fileOf(2)), ::chmod(name + ".new", 0444) == 0 && ::rename(name + ".new", name) == 0));
        if (then == QLatin1String("gone") || then == QLatin1String("link")) { // asked, and answered for no file
            const SaveReport asked = ReplaceFileContents(m_file, fileOf(3), expected);
            QCOMPARE(asked.outcome, SaveOutcome::Changed);
            expected = asked.found;
        }
        if (now == QLatin1String("file"))
            writeFile(m_file, "theirs");
        if (now == QLatin1String("link")) {
            QFile::remove(m_file); // the link to nowhere, where one stood
            QVERIFY(QFile::link(planted, m_file));
        }
        if (now == QLatin1String("EIO"))
            faults::failNextOpenForReadWrite();
        if (now == QLatin1String("ENOLCK"))
            faults::noLocks();
        const auto disarm = qScopeGuard([] { faults::disarm(); });
        SaveReport report;
        int code = 0;
        try {
            report = ReplaceFileContents(m_file, fileOf(3), expected);
        } catch (const EInOutError &error) {
            code = error.ErrorCode;
        }
        QCOMPARE(code, outcome < 0 ? 29 : 0);
        QCOMPARE(int(report.outcome), std::max(outcome, 0));
        QVERIFY(!QFileInfo::exists(planted));
        if (outcome == int(SaveOutcome::Saved))
            QCOMPARE(readFile(m_file), fileOf(3));
        if (now == QLatin1String("file") || now == QLatin1String("EIO"))
            QVERIFY(readFile(m_file) != fileOf(3));
        QCOMPARE(report.warnings.size(), now == QLatin1String("ENOLCK") ? 1 : 0); // said once
        QCOMPARE(strayFiles(), QStringList()); // nothing left behind
    }

    void cleanup()
    {
        faults::disarm();
        for (const QString &file : std::exchange(m_attributesToClear, {}))
            run(QStringLiteral("chattr"), {QStringLiteral("-i"), QStringLiteral("-a"), file});
        for (const QString &mount : std::exchange(m_mounts, {}))
            ::umount(QFile::encodeName(mount).constData());
        QFile::setPermissions(m_folder, QFileDevice::Permissions(0x7777));
    }

    // Each case prepares a file, saves 41 regions over it (as nobody where the case says),
    // and checks the outcome, the bytes, what makes the file itself, and that nothing is
    // left beside it.
    void saveKeepsTheFileWholeAndItself_data()
    {
        QTest::addColumn<Case>("situation");
        QTest::addColumn<bool>("asNobody");
        QTest::addColumn<QString>("outcome");

        const QString saved = QStringLiteral("saved");
        const QString readOnly = QStringLiteral("The file is read-only");
        const QString diskFull = QStringLiteral("Disk full");
        const QString writeFault = QStringLiteral("I/O error 29: the disk did not take what was written");

        QTest::newRow("plain file, mode 0640") << Case::PlainFile << false << saved;
        QTest::newRow("root saves nobody's 0600 file") << Case::OtherUsersFileSavedByRoot << false << saved;
        QTest::newRow("mode 060") << Case::GroupOnlyMode << false << saved;
        QTest::newRow("second hard link") << Case::SecondHardLink << false << saved;
        QTest::newRow("user attribute") << Case::ExtendedAttribute << false << saved;
        QTest::newRow("symbolic link") << Case::SymbolicLink << false << saved;
        QTest::newRow("writable file, 0555 folder") << Case::WritableFileInReadOnlyFolder << true << saved;
        QTest::newRow("writable file, sticky folder") << Case::OtherUsersFileInStickyFolder << true << saved;
        QTest::newRow("no write bit at all, root") << Case::NoWriteBitAtAll << false << readOnly;
        QTest::newRow("immutable file") << Case::ImmutableFile << false << readOnly;
        QTest::newRow("append-only file") << Case::AppendOnlyFile << false << readOnly;
        QTest::newRow("read-only mount") << Case::ReadOnlyMount << false << readOnly;
        QTest::newRow("full disk") << Case::FullDisk << false << diskFull;
        QTest::newRow("no free inodes") << Case::NoFreeInodes << false << saved;
        QTest::newRow("file-size limit") << Case::FileSizeLimit << false << diskFull;
        QTest::newRow("file-size limit, in place") << Case::FileSizeLimitInPlace << false << diskFull;
        QTest::newRow("sync fails") << Case::SyncFails << false << writeFault;
        QTest::newRow("close fails") << Case::CloseFails << false << writeFault;
        QTest::newRow("sync fails, in place") << Case::SyncFailsInPlace << false << writeFault;
    }

    void saveKeepsTheFileWholeAndItself()
    {
        QFETCH(Case, situation);
        QFETCH(bool, asNobody);
        QFETCH(QString, outcome);

        const QByteArray oldBytes = fileOf(3);
        const QByteArray newBytes = fileOf(kRegionSlots);
        QString saveThrough = m_file;
        QString secondName;
        rlim_t sizeLimit = RLIM_INFINITY;

        QString cannot;
        switch (situation) {
        case Case::FullDisk: cannot = mountTmpfs(QStringLiteral("size=16k")); break;
        case Case::ReadOnlyMount: cannot = mountTmpfs(QStringLiteral("size=1m")); break;
        case Case::NoFreeInodes: cannot = mountTmpfs(QStringLiteral("size=1m,nr_inodes=2")); break;
        default: break;
        }
        if (!cannot.isEmpty())
            QSKIP(qPrintable(cannot));
        writeFile(m_file, oldBytes);
        QFile::setPermissions(m_file, QFileDevice::Permissions(0x6640)); // 0640

        switch (situation) {
        case Case::PlainFile:
        case Case::FullDisk:
        case Case::NoFreeInodes:
            break;
        case Case::OtherUsersFileSavedByRoot:
        case Case::GroupOnlyMode:
            if (!isRoot())
                QSKIP("saving another user's file needs root");
            QVERIFY(::chown(QFile::encodeName(m_file).constData(), kNobody, kNobody) == 0);
            QVERIFY(::chmod(QFile::encodeName(m_file).constData(),
                            situation == Case::GroupOnlyMode ? 060 : 0600) == 0);
            break;
        case Case::SecondHardLink:
        case Case::SyncFailsInPlace:
            secondName = m_folder + QStringLiteral("/other-name.cfg");
            QVERIFY(::link(QFile::encodeName(m_file).constData(), QFile::encodeName(secondName).constData()) == 0);
            if (situation == Case::SyncFailsInPlace)
                faults::failNextSync();
            break;
        case Case::ExtendedAttribute:
            if (::setxattr(QFile::encodeName(m_file).constData(), kAttribute, "kept", 4, 0) != 0)
                QSKIP("this file system takes no user attributes");
            break;
        case Case::SymbolicLink:
            saveThrough = QFileInfo(m_folder).path() + QStringLiteral("/link.cfg");
            QVERIFY(QFile::link(m_file, saveThrough));
            break;
        case Case::WritableFileInReadOnlyFolder:
        case Case::OtherUsersFileInStickyFolder:
            QFile::setPermissions(m_file, QFileDevice::Permissions(0x6666));
            QVERIFY(::chmod(QFile::encodeName(m_folder).constData(),
                            situation == Case::WritableFileInReadOnlyFolder ? 0555 : 01777) == 0);
            if (!isRoot())
                QSKIP("needs root to stand in for two users");
            break;
        case Case::NoWriteBitAtAll:
            QVERIFY(::chmod(QFile::encodeName(m_file).constData(), 0444) == 0);
            break;
        case Case::ImmutableFile: cannot = setFlag("+i"); break;
        case Case::ReadOnlyMount:
            QVERIFY(::mount("tmpfs", QFile::encodeName(m_folder).constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0);
            break;
        case Case::AppendOnlyFile: cannot = setFlag("+a"); break;
        case Case::FileSizeLimit: sizeLimit = 4096; break;
        case Case::FileSizeLimitInPlace:
            secondName = m_folder + QStringLiteral("/other-name.cfg");
            QVERIFY(::link(QFile::encodeName(m_file).constData(), QFile::encodeName(secondName).constData()) == 0);
            sizeLimit = 4096;
            break;
        case Case::SyncFails: faults::failNextSync(); break;
        case Case::CloseFails: faults::failNextCloseOfWrittenFile(); break;
        }
        if (!cannot.isEmpty())
            QSKIP(qPrintable(cannot));

        const Identity before = identityOf(m_file);
        const int result = runInChild([&] {
            // The program's own start-up decides how a size limit ends, not this test.
            PrepareFileAccess();
            const rlimit limit{sizeLimit, sizeLimit};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0 || (asNobody && !becomeUnprivileged()))
                return int(kUnexpected);
            return saveAndReport(saveThrough, newBytes);
        });

        QCOMPARE(describe(result), outcome);
        QCOMPARE(readFile(m_file), outcome == QStringLiteral("saved") ? newBytes : oldBytes);
        if (!secondName.isEmpty())
            QCOMPARE(readFile(secondName), readFile(m_file));
        QCOMPARE(identityOf(m_file), before);
        QCOMPARE(strayFiles(), QStringList());
        if (situation == Case::SymbolicLink)
            QVERIFY(QFileInfo(saveThrough).isSymLink());
    }

    // Killed at any moment, a save leaves the old file or the new one, never a mix, once the
    // next Open has put right what a save in place left; the next save tidies up the rest.
    void killedSaveLeavesOldOrNew_data()
    {
        QTest::addColumn<bool>("inPlace");
        QTest::newRow("by rename") << false;
        QTest::newRow("in place (second hard link)") << true;
    }

    void killedSaveLeavesOldOrNew()
    {
        QFETCH(bool, inPlace);
        const QByteArray first = fileOf(3);
        const QByteArray second = fileOf(kRegionSlots);
        writeFile(m_file, first);
        if (inPlace)
            QVERIFY(::link(QFile::encodeName(m_file).constData(), QFile::encodeName(m_folder + "/other-name.cfg").constData()) == 0);

        auto *random = QRandomGenerator::global();
        bool editedByHand = false;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        int rounds = 0;
        for (; rounds < 300 && std::chrono::steady_clock::now() < deadline; ++rounds) {
            const pid_t child = fork();
            if (child == 0) {
                for (bool odd = true;; odd = !odd)
                    ReplaceFileContents(m_file, odd ? second : first);
            }
            QVERIFY(child > 0);
            std::this_thread::sleep_for(std::chrono::microseconds(random->bounded(200, 5000)));
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);

            // Once, a kill in the middle of a save in place, then an edit by hand, then Open: the
            // edit stays, and the old contents are set aside where the user is told, once.
            const QString backup = m_folder + QStringLiteral("/.weather.cfg.nimbrel-backup");
            if (!editedByHand && QFileInfo::exists(backup)) {
                editedByHand = true;
                writeFile(m_file, "edited by hand");
                const Contents contents = ReadWhole(*FileSystemFor(m_file));
                QCOMPARE(contents.bytes, QByteArray("edited by hand"));
                QVERIFY2(Told(contents.notices).contains(QStringLiteral("left as it is")), qPrintable(Told(contents.notices)));
                const QString kept = Told(contents.notices).section(QStringLiteral(" kept in "), 1).chopped(1);
                QVERIFY(readFile(kept) == first || readFile(kept) == second);
                QVERIFY(!QFileInfo::exists(backup) && QFile::remove(kept));
                QCOMPARE(Told(ReadWhole(*FileSystemFor(m_file)).notices), QString());
                writeFile(m_file, first);
                continue;
            }
            const QByteArray now = ReadWhole(*FileSystemFor(m_file)).bytes;
            QVERIFY2(now == first || now == second, qPrintable(QStringLiteral("round %1: %2 bytes").arg(rounds).arg(now.size())));
        }
        QVERIFY(rounds >= 50);
        QCOMPARE(editedByHand, inPlace);
        QCOMPARE(ReplaceFileContents(m_file, second).outcome, SaveOutcome::Saved);
        QCOMPARE(strayFiles(), QStringList());
    }

    // What stands around the file: a link, the folder's default ACL, what other saves left.
    void saveLooksAfterWhatStandsAroundTheFile_data()
    {
        QTest::addColumn<QString>("situation");
        for (const char *situation : {"link that leads nowhere", "default ACL on the folder", "leftover of a killed save",
                                      "new file of a save still running", "swapped for a link since Open",
                                      "written in place since Open"})
            QTest::newRow(situation) << QString::fromLatin1(situation);
    }

    void saveLooksAfterWhatStandsAroundTheFile()
    {
        QFETCH(QString, situation);
        const QByteArray newBytes = fileOf(kRegionSlots);
        writeFile(m_file, fileOf(3));
        const FileId opened = ReadWhole(*FileSystemFor(m_file)).id;
        const QString leftover = m_folder + QStringLiteral("/.weather.cfg.nimbrel-tmp-ab12cd");
        const QString foreign = m_folder + QStringLiteral("/.weather.cfg.AbC123"); // rsync's, say
        writeFile(foreign, "another program's");
        const QString secret = m_dir.filePath(QStringLiteral("secret"));
        QFile held(leftover);

        if (situation == QStringLiteral("link that leads nowhere")) {
            QVERIFY(QFile::remove(m_file) && QFile::link(QStringLiteral("real.cfg"), m_file));
        } else if (situation == QStringLiteral("default ACL on the folder")) {
            if (!run(QStringLiteral("setfacl"), {"-d", "-m", "u:nobody:rwx", m_folder}))
                QSKIP("setfacl does not work here");
        } else if (situation.startsWith(QStringLiteral("leftover")) || situation.startsWith(QStringLiteral("new file"))) {
            writeFile(leftover, "half a file");
            if (situation.startsWith(QStringLiteral("new file")))
                QVERIFY(held.open(QIODevice::ReadOnly) && ::flock(held.handle(), LOCK_EX) == 0);
        } else if (situation.startsWith(QStringLiteral("written in place"))) {
            // Another program writes into the same file: no new file, no new name, other bytes.
            QFile file(m_file);
            QVERIFY(file.open(QIODevice::ReadWrite) && file.write("X") == 1);
            file.close();
            const SaveReport report = ReplaceFileContents(m_file, newBytes, opened);
            QCOMPARE(report.outcome, SaveOutcome::Changed);
            QCOMPARE(readFile(m_file).left(1), QByteArray("X"));
            // Saved anyway, as the question named it.
            QCOMPARE(ReplaceFileContents(m_file, newBytes, report.found).outcome, SaveOutcome::Saved);
            QCOMPARE(readFile(m_file), newBytes);
            return;
        } else {
            // Another user swaps the file for a link to this user's file, in their own folder.
            writeFile(secret, "mine");
            if (isRoot())
                QVERIFY(::chown(QFile::encodeName(secret).constData(), kNobody, kNobody) == 0);
            const int swapped = runInChild([&] {
                return becomeUnprivileged() && QFile::remove(m_file) && QFile::link(secret, m_file) ? 0 : 1;
            });
            QCOMPARE(swapped, 0);
            const SaveReport report = ReplaceFileContents(m_file, newBytes, opened);
            QCOMPARE(report.outcome, SaveOutcome::Changed);
            // The question names where the link leads, and whose file that is.
            QCOMPARE(report.target, secret);
            QCOMPARE(report.owner, isRoot() ? QStringLiteral("nobody") : QString());
            QCOMPARE(readFile(secret), QByteArray("mine"));
            // The answer holds for the file the question named: the link flipped to another
            // file before it, that file is asked about instead of written.
            const QString precious = m_dir.filePath(QStringLiteral("precious.cfg"));
            writeFile(precious, "precious");
            QVERIFY(QFile::remove(m_file) && QFile::link(precious, m_file));
            const SaveReport again = ReplaceFileContents(m_file, newBytes, report.found);
            QCOMPARE(again.outcome, SaveOutcome::Changed);
            QCOMPARE(again.target, precious);
            QCOMPARE(readFile(precious), QByteArray("precious"));
            QCOMPARE(readFile(secret), QByteArray("mine"));
            return;
        }

        QCOMPARE(ReplaceFileContents(m_file, newBytes, situation.startsWith(QStringLiteral("link")) ? FileId{} : opened).outcome,
                 SaveOutcome::Saved);
        QCOMPARE(readFile(m_file), newBytes);
        if (situation.startsWith(QStringLiteral("link")))
            QVERIFY(QFileInfo(m_file).isSymLink() && QFileInfo::exists(m_folder + QStringLiteral("/real.cfg")));
        else if (situation.startsWith(QStringLiteral("default ACL")))
            QVERIFY(::getxattr(QFile::encodeName(m_file).constData(), "system.posix_acl_access", nullptr, 0) < 0);
        else
            QCOMPARE(QFileInfo::exists(leftover), held.isOpen());
        QVERIFY(QFileInfo::exists(foreign));
        held.close();
        QFile::remove(leftover);
        QFile::remove(foreign);
        QFile::remove(m_folder + QStringLiteral("/real.cfg"));
    }

    // Opening never waits on what is not a regular file: the user gets the folder's message.
    void openRefusesWhatIsNotAFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("pipe") << QStringLiteral("fifo");
        QTest::newRow("link to /dev/zero") << QStringLiteral("device");
        QTest::newRow("folder") << QStringLiteral("folder");
        QTest::newRow("link to /proc/kmsg, a file that blocks") << QStringLiteral("kmsg");
    }

    void openRefusesWhatIsNotAFile()
    {
        QFETCH(QString, kind);
        const QByteArray path = QFile::encodeName(m_file);
        if (kind == QStringLiteral("fifo"))
            QVERIFY(::mkfifo(path.constData(), 0666) == 0);
        else if (kind == QStringLiteral("device"))
            QVERIFY(::symlink("/dev/zero", path.constData()) == 0);
        else if (kind == QStringLiteral("kmsg"))
            QVERIFY(::symlink("/proc/kmsg", path.constData()) == 0);
        else
            QVERIFY(QDir().mkdir(m_file));

        try {
            Worded([&] { return ReadWhole(*FileSystemFor(m_file)); });
            QFAIL("read");
        } catch (const EInOutError &error) {
            QCOMPARE(error.message(), QStringLiteral("File access denied"));
        }
        if (kind != QStringLiteral("kmsg")) // not the file that was opened: the save question
            QCOMPARE(ReplaceFileContents(m_file, "x").outcome, SaveOutcome::ReadOnly);
    }

    // The editor's cache folder is used only when it is the user's alone: not a link (as under
    // sudo -E, where root would follow it into the user's folder), not open to others.
    void theCacheFolderIsUsedOnlyWhenTheUsersAlone_data()
    {
        QTest::addColumn<QString>("cache");
        QTest::addColumn<int>("kind");
        QTest::newRow("the user's alone") << "0700" << int(Result::Ok);
        QTest::newRow("open to others") << "0777" << int(Result::Foreign);
        QTest::newRow("a link to a folder of the user's") << "link" << int(Result::Foreign);
    }

    void theCacheFolderIsUsedOnlyWhenTheUsersAlone()
    {
        QFETCH(QString, cache);
        QFETCH(int, kind);
        const QByteArray base = QFile::encodeName(m_dir.filePath(QStringLiteral("cache-") + cache));
        const QByteArray elsewhere = base + "-elsewhere";
        QVERIFY(::mkdir(base.constData(), 0700) == 0 && ::mkdir(elsewhere.constData(), 0700) == 0);
        if (cache == QStringLiteral("link"))
            QVERIFY(::symlink(elsewhere.constData(), (base + "/nimbrel").constData()) == 0);
        else
            QVERIFY(::mkdir((base + "/nimbrel").constData(), 0700) == 0
                    && ::chmod((base + "/nimbrel").constData(), cache.toUInt(nullptr, 8)) == 0);
        qputenv("XDG_CACHE_HOME", base);
        const Result kept = KeepRecord(*FileSystemFor(m_file), "record", "unsaved work");
        qputenv("XDG_CACHE_HOME", QFile::encodeName(m_cache));
        QCOMPARE(int(kept.kind()), kind);
        QCOMPARE(QDir(QFile::decodeName(elsewhere)).isEmpty(), true);
        QCOMPARE(QFileInfo::exists(QFile::decodeName(base + "/nimbrel/record")), kind == int(Result::Ok) && cache != QStringLiteral("link"));
    }

    void systemErrorsBecomeTheEditorsCodes_data()
    {
        QTest::addColumn<int>("systemError");
        QTest::addColumn<bool>("reading");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("windows");

        const QString readFault = QStringLiteral("I/O error 30: the disk could not be read");
        const QString writeFault = QStringLiteral("I/O error 29: the disk did not take what was written");
        QTest::newRow("EIO reading") << EIO << true << readFault << false;
        QTest::newRow("EIO writing") << EIO << false << writeFault << false;
        QTest::newRow("no reason writing") << 0 << false << writeFault << false;
        QTest::newRow("quota") << EDQUOT << false << QStringLiteral("Disk full") << false;
        QTest::newRow("size limit") << EFBIG << false << QStringLiteral("Disk full") << false;
        // A system number is never taken for one of the editor's codes (EINTR is 4, "Too many
        // open files" to Windows; from 100 up they are the file layer's own).
        QTest::newRow("unmapped number") << EXDEV << false << writeFault << false;
        QTest::newRow("EINTR") << EINTR << false << writeFault << false;
        QTest::newRow("errno 100 reading") << 100 << true << readFault << false;
        QTest::newRow("errno 101 reading") << 101 << true << readFault << false;
        QTest::newRow("errno 106 writing") << 106 << false << writeFault << false;
        // Windows' codes are read as Windows' wherever they are read.
        QTest::newRow("Windows 4") << 4 << false << QStringLiteral("Too many open files") << true;
        QTest::newRow("Windows sharing violation") << 32 << false << QStringLiteral("The file is in use by another program (I/O error 32)") << true;
        QTest::newRow("Windows disk full") << 112 << false << QStringLiteral("Disk full") << true;
    }

    void systemErrorsBecomeTheEditorsCodes()
    {
        QFETCH(int, systemError);
        QFETCH(bool, reading);
        QFETCH(QString, message);
        QFETCH(bool, windows);
        const SystemError error = windows ? SystemError::windows(systemError) : SystemError::posix(systemError);
        QCOMPARE(describeError(error, reading ? FileOperation::Read : FileOperation::Write), message);
    }
};

QTEST_GUILESS_MAIN(TestFileAccessPosix)
#include "tst_fileaccessposix.moc"
