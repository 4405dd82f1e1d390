#include "FileErrors.h" // the words the editor shows, for the messages asserted here
#include "SavePolicy.h"

#include <QTest>

#include <cerrno>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>

using namespace storage;

namespace {

constexpr SystemError posix(int number)
{
    return SystemError::posix(number);
}

// A file on the fake disk, shared by every name it has and every open handle.
struct Inode
{
    QByteArray bytes;
    quint64 number = 0;
    bool mine = true;
    bool othersMayWrite = false;
    bool regular = true; // false: a folder
    bool heldByWriter = false;
    const void *lockedBy = nullptr;
};
using InodePtr = std::shared_ptr<Inode>;

const QByteArray kName = "weather.cfg";
const QByteArray kBackup = ".weather.cfg.nimbrel-backup";

// What stands on the disk, and so outlives a crash: every name in the file's folder and in
// the cache folder.
struct Disk
{
    std::map<std::pair<Place, QByteArray>, InodePtr> names;
    quint64 nextNumber = 1;

    InodePtr add(Place place, const QByteArray &name, const QByteArray &bytes)
    {
        auto inode = std::make_shared<Inode>(Inode{bytes, nextNumber++});
        names[{place, name}] = inode;
        return inode;
    }
    InodePtr at(Place place, const QByteArray &name) const
    {
        const auto found = names.find({place, name});
        return found == names.end() ? nullptr : found->second;
    }
    std::optional<QByteArray> target() const
    {
        const InodePtr inode = at(Place::Folder, kName);
        return inode ? std::optional(inode->bytes) : std::nullopt;
    }
    FileId targetId() const
    {
        const InodePtr inode = at(Place::Folder, kName);
        return inode ? FileId{0, inode->number, true, DigestOf(inode->bytes), {}} : FileId::absent();
    }
    int count(QByteArrayView mark) const
    {
        int n = 0;
        for (const auto &[key, inode] : names)
            n += key.second.contains(mark);
        return n;
    }
};

struct Crash
{
};

// The primitives over a fake disk. Call number failAt fails without doing anything (and so do
// all later ones when the disk dies); call number crashAt does its work and then the program
// is gone. A write cut short, by a failure or a crash, leaves the new bytes' first half over
// the rest of what the file held. onCall runs before each call: another program at work.
class FakeFileSystem : public FileSystem
{
public:
    explicit FakeFileSystem(std::shared_ptr<Disk> disk)
        : disk(std::move(disk))
    {
    }
    ~FakeFileSystem() override
    {
        for (auto &[file, inode] : m_files)
            unlock(inode);
    }

    std::shared_ptr<Disk> disk;
    int calls = 0;
    int failAt = 0;
    Result failWith{Result::Failed, posix(5)};
    bool diskDies = false;
    int crashAt = 0;
    QByteArray failCall; // every call of this name fails with failWith
    IdentityKept identityKept; // what a new file takes of the old one's identity
    bool cacheForeign = false;  // the cache folder is not the user's alone
    std::function<void(int)> onCall;
    QByteArrayList log; // each call, with the name it was about
    QByteArray failed;  // the call that failed

    Result findTarget(TargetFacts &target) override
    {
        return call("findTarget", [&] {
            target = {};
            const InodePtr inode = disk->at(Place::Folder, kName);
            target.folderFound = true;
            target.exists = bool(inode);
            target.name = kName;
            target.where = QStringLiteral("data/weather.cfg");
            if (inode) {
                static_cast<FileFacts &>(target) = factsOf(inode);
                target.owner = inode->mine ? QStringLiteral("me") : QStringLiteral("nobody");
                target.links = std::count_if(disk->names.begin(), disk->names.end(),
                                             [&](const auto &entry) { return entry.second == inode; });
            }
            return Result();
        });
    }
    Result openTarget(Access, FileFacts &facts) override
    {
        return call("openTarget", [&] {
            const InodePtr inode = disk->at(Place::Folder, kName);
            if (!inode)
                return Result(Result::Missing, posix(2));
            m_files[kTarget] = inode;
            facts = factsOf(inode);
            return Result();
        });
    }
    Result replaceTarget(const QByteArray &name, const QByteArray &) override { return rename(Place::Folder, name, kName); }
    Result copyIdentity(File, bool, IdentityKept &kept) override
    {
        return call("copyIdentity", [&] {
            kept = identityKept;
            return Result();
        });
    }
    Result create(Place place, const QByteArray &name, File &file) override
    {
        return call("create " + name, [&] {
            if (place == Place::Cache && cacheForeign)
                return Result(Result::Foreign, posix(1));
            if (disk->at(place, name))
                return Result(Result::Exists, posix(17));
            file = adopt(disk->add(place, name, {}));
            m_files[file]->lockedBy = this;
            return Result();
        });
    }
    Result createUnnamed(File &file) override
    {
        return call("createUnnamed", [&] {
            file = adopt(std::make_shared<Inode>(Inode{{}, disk->nextNumber++}));
            return Result();
        });
    }
    Result name(File file, const QByteArray &name) override
    {
        return call("name " + name, [&] {
            if (disk->at(Place::Folder, name))
                return Result(Result::Exists, posix(17));
            disk->names[{Place::Folder, name}] = m_files[file];
            return Result();
        });
    }
    Result open(Place place, const QByteArray &name, File &file, FileFacts &facts, Access) override
    {
        return call("open " + name, [&] {
            const InodePtr inode = disk->at(place, name);
            if (!inode)
                return Result(Result::Missing, posix(2));
            file = adopt(inode);
            facts = factsOf(inode);
            return Result();
        });
    }
    Result facts(File file, FileFacts &facts) override
    {
        return call("facts", [&] {
            facts = factsOf(m_files[file]);
            return Result();
        });
    }
    Result lock(File file) override
    {
        return call("lock", [&] {
            Inode &inode = *m_files[file];
            if (inode.lockedBy && inode.lockedBy != this)
                return Result(Result::Busy, posix(11));
            inode.lockedBy = this;
            return Result();
        });
    }
    Result read(File file, qint64 limit, QByteArray &bytes) override
    {
        return call("read", [&] {
            bytes = m_files[file]->bytes.left(limit + 1);
            return Result();
        });
    }
    Result write(File file, QByteArrayView bytes) override
    {
        Inode &inode = *m_files[file];
        const qsizetype half = bytes.size() / 2;
        m_mixed = {&inode, bytes.first(half).toByteArray() + inode.bytes.mid(half)};
        return call("write", [&] {
            inode.bytes = bytes.toByteArray() + inode.bytes.mid(bytes.size());
            return Result();
        });
    }
    Result reserve(File file, qint64 size) override
    {
        return call("reserve", [&] {
            QByteArray &bytes = m_files[file]->bytes;
            if (bytes.size() < size)
                bytes.append(size - bytes.size(), '\0');
            return Result();
        });
    }
    Result resize(File file, qint64 size) override
    {
        return call("resize", [&] {
            QByteArray &bytes = m_files[file]->bytes;
            bytes = bytes.left(size) + QByteArray(std::max<qint64>(0, size - bytes.size()), '\0');
            return Result();
        });
    }
    Result sync(File) override { return call("sync", [] { return Result(); }); }
    Result close(File) override { return call("close", [] { return Result(); }); }
    void release(File file) override
    {
        if (const auto found = m_files.find(file); found != m_files.end()) {
            unlock(found->second);
            m_files.erase(found);
        }
    }
    Result rename(Place place, const QByteArray &from, const QByteArray &to) override
    {
        return call("rename " + from + " to " + to, [&] {
            const InodePtr inode = disk->at(place, from);
            if (!inode)
                return Result(Result::Missing, posix(2));
            disk->names.erase({place, from});
            disk->names[{place, to}] = inode;
            return Result();
        });
    }
    Result remove(Place place, const QByteArray &name) override
    {
        return call("remove " + name, [&] {
            return disk->names.erase({place, name}) ? Result() : Result(Result::Missing, posix(2));
        });
    }
    Result syncFolder(Place) override { return call("syncFolder", [] { return Result(); }); }
    Result list(Place place, const QByteArray &prefix, QByteArrayList &names) override
    {
        return call("list", [&] {
            for (const auto &[key, inode] : disk->names) {
                if (key.first == place && key.second.startsWith(prefix))
                    names << key.second;
            }
            return Result();
        });
    }
    QString pathOf(Place place, const QByteArray &name) override
    {
        return QString::fromLatin1((place == Place::Cache ? "cache/" : "data/") + name);
    }
    void pause(int) override { call("pause", [] { return Result(); }); }

private:
    static FileFacts factsOf(const InodePtr &inode)
    {
        FileFacts facts;
        facts.id = {0, inode->number, true, {}, {}};
        facts.size = inode->bytes.size();
        facts.regular = inode->regular;
        facts.heldByWriter = inode->heldByWriter;
        facts.writable = true;
        facts.mine = inode->mine;
        facts.othersMayWrite = inode->othersMayWrite;
        return facts;
    }
    File adopt(InodePtr inode)
    {
        m_files[m_next] = std::move(inode);
        return m_next++;
    }
    void unlock(const InodePtr &inode)
    {
        if (inode->lockedBy == this)
            inode->lockedBy = nullptr;
    }

    template <typename Work>
    Result call(const QByteArray &what, Work work)
    {
        if (m_crashed)
            return {};
        ++calls;
        log << what;
        if (onCall)
            onCall(calls);
        const auto tear = [&] {
            if (m_mixed.first)
                m_mixed.first->bytes = m_mixed.second;
        };
        if ((failAt && (calls == failAt || (diskDies && calls > failAt))) || what == failCall) {
            tear(); // the write got halfway
            failed = what;
            m_mixed = {};
            return failWith;
        }
        const Result result = work();
        if (calls == crashAt) {
            m_crashed = true;
            tear(); // the power went halfway through the write
            for (auto &[file, inode] : m_files)
                unlock(inode); // the system lets go of a dead program's locks
            throw Crash();
        }
        m_mixed = {};
        return result;
    }

    std::map<File, InodePtr> m_files;
    File m_next = kTarget + 1;
    std::pair<Inode *, QByteArray> m_mixed;
    bool m_crashed = false;
};

const QByteArray kOld = "old bytes of the file, long enough to be cut in two";
const QByteArray kNew = "the new bytes, as the editor writes them, whole, and longer than the old";

// What an overwrite cut short leaves: the new bytes' first written over the old ones, which
// read as zeros past their end where the file was grown first.
QByteArray torn(qsizetype written, qsizetype length)
{
    const QByteArray grown = kOld + QByteArray(kNew.size() - kOld.size(), '\0');
    return kNew.left(written) + grown.mid(written, length - written);
}

enum class Path { Rename, InPlace, NewFile };

std::shared_ptr<Disk> diskFor(Path path)
{
    auto disk = std::make_shared<Disk>();
    if (path != Path::NewFile)
        disk->add(Place::Folder, kName, kOld);
    if (path == Path::InPlace) // a second name: only an overwrite in place keeps it
        disk->names[{Place::Folder, "other-name.cfg"}] = disk->at(Place::Folder, kName);
    return disk;
}

// What a save cut short leaves: the new bytes' start over the old bytes' rest, and its backup.
std::shared_ptr<Disk> tornDisk(const QByteArray &now, Place place = Place::Folder)
{
    auto disk = std::make_shared<Disk>();
    const FileId id{0, disk->add(Place::Folder, kName, now)->number, true, {}, {}};
    const QByteArray name = place == Place::Folder ? kBackup : "0-1.nimbrel-backup";
    disk->add(place, name, EncodeBackup({id, kOld, kNew}));
    return disk;
}

const QByteArray kTorn = torn(10, kOld.size());

struct Outcome
{
    std::optional<SaveOutcome> outcome;
    QString message;
    SaveReport report;
};

Outcome save(FakeFileSystem &fs, const FileId &opened)
{
    Outcome result;
    try {
        result.report = climate::Worded([&] { return SaveBytes(fs, kNew, opened); });
        result.outcome = result.report.outcome;
    } catch (const EInOutError &error) {
        result.message = error.message();
    }
    return result;
}

QString readError(const std::shared_ptr<Disk> &disk)
{
    try {
        FakeFileSystem fs(disk);
        climate::Worded([&] { return ReadWhole(fs); });
    } catch (const EInOutError &error) {
        return error.message();
    }
    return {};
}

} // namespace

Q_DECLARE_METATYPE(Path)

class TestSavePolicy : public QObject
{
    Q_OBJECT

private slots:
    // Every call of every path fails in turn (alone, with everything after it, busy or refused)
    // or crashes after doing its work. The file then holds the old bytes or the new ones, never
    // a mix, unless even writing the old bytes back failed and the message says where they
    // are; no failure reads as success; a crash leaves nothing that the next Open does not
    // put right, and after a save it is the file that was opened.
    void everyFaultLeavesTheOldOrTheNewBytes_data()
    {
        QTest::addColumn<Path>("path");
        QTest::newRow("rename") << Path::Rename;
        QTest::newRow("in place (hard link)") << Path::InPlace;
        QTest::newRow("new file") << Path::NewFile;
    }

    void everyFaultLeavesTheOldOrTheNewBytes()
    {
        QFETCH(Path, path);
        const std::optional<QByteArray> before = path == Path::NewFile ? std::nullopt : std::optional(kOld);
        FakeFileSystem clean(diskFor(path));
        const FileId opened = clean.disk->targetId();
        const Outcome first = save(clean, opened);
        QCOMPARE(first.outcome, SaveOutcome::Saved);
        QCOMPARE(clean.disk->target(), kNew);
        QCOMPARE(first.report.written, clean.disk->targetId());
        QCOMPARE(clean.disk->count("nimbrel"), 0);

        // Failed, refused, busy, full once; then the disk dies, or stays busy; then a crash.
        const Result faults[] = {{Result::Failed, posix(5)}, {Result::Refused, posix(13)}, {Result::Busy, posix(11)}, {Result::Full, posix(28)},
                                 {Result::Failed, posix(5)}, {Result::Busy, posix(11)},    {}};
        for (int k = 1; k <= clean.calls; ++k) {
            for (int f = 0; f < 7; ++f) {
                FakeFileSystem fs(diskFor(path));
                const QString row = QStringLiteral("call %1 of %2 (%3), fault %4").arg(k).arg(clean.calls)
                                        .arg(QString::fromLatin1(clean.log[k - 1])).arg(f);
                if (f == 6) {
                    fs.crashAt = k;
                } else {
                    fs.failAt = k;
                    fs.failWith = faults[f];
                    fs.diskDies = f >= 4;
                }
                Outcome result;
                try {
                    result = save(fs, opened);
                } catch (const Crash &) {
                    // Started again: Open puts right what the crash left, a save tidies up.
                    FakeFileSystem after(fs.disk);
                    if (const std::optional<QByteArray> left = fs.disk->target()) {
                        const Contents contents = ReadWhole(after);
                        QVERIFY2(contents.bytes == kOld || contents.bytes == kNew, qPrintable(row));
                        // Told exactly when the file was put right.
                        QVERIFY2(climate::Told(contents.notices).isEmpty() == (left == kOld || left == kNew), qPrintable(row));
                    }
                    QVERIFY2(!after.disk->at(Place::Folder, kBackup), qPrintable(row));
                    FakeFileSystem again(after.disk);
                    const Outcome next = save(again, after.disk->targetId());
                    QVERIFY2(next.outcome == SaveOutcome::Saved && after.disk->target() == kNew, qPrintable(row));
                    QVERIFY2(after.disk->count("nimbrel") == 0, qPrintable(row));
                    continue;
                }
                if (result.outcome == SaveOutcome::Saved) {
                    QVERIFY2(fs.disk->target() == kNew && result.report.written == fs.disk->targetId(), qPrintable(row));
                    // What may leave the new bytes unsafe, or the backup behind, is said, and so is
                    // what failed once they were on disk (the last call closes the file itself).
                    const QByteArray before = fs.log.value(k - 2);
                    const bool unsafe = (fs.failed == "syncFolder" && (before.endsWith(" to " + kName) || before == "remove " + kBackup))
                                        || fs.failed == "remove " + kBackup || fs.failed == "list"
                                        || (fs.failed == "close" && k == clean.calls && path == Path::InPlace);
                    QVERIFY2(!unsafe || !result.report.warnings.isEmpty(), qPrintable(row));
                } else if (fs.disk->target() != before && fs.disk->target() != kNew) { // the way back failed too
                    QVERIFY2(result.message.endsWith(QStringLiteral("kept in data/") + QString::fromLatin1(kBackup)),
                             qPrintable(row + QStringLiteral(": ") + result.message));
                    // The next Open puts them back, or (torn twice over) sets them aside and says where.
                    fs.release(kTarget); // the save is over
                    FakeFileSystem open(fs.disk);
                    const Contents contents = ReadWhole(open);
                    QVERIFY2(contents.bytes == kOld || climate::Told(contents.notices).contains(QStringLiteral("kept in data/.weather.cfg.nimbrel-kept-")),
                             qPrintable(row + QStringLiteral(": ") + climate::Told(contents.notices)));
                    QVERIFY2(contents.bytes == kOld || fs.disk->count("nimbrel-kept-") == 1, qPrintable(row));
                }
                QVERIFY2(result.outcome != SaveOutcome::Saved || result.message.isEmpty(), qPrintable(row));
                QVERIFY2(fs.disk->count("nimbrel-tmp") == 0 || fs.diskDies, qPrintable(row));
            }
        }
    }

    // Save, save, save: each save's file is the one the next expects, so none asks.
    void eachSaveExpectsTheFileTheLastOneWrote()
    {
        for (const Path path : {Path::Rename, Path::InPlace}) {
            const auto disk = diskFor(path);
            FileId opened = disk->targetId();
            for (int n = 0; n < 3; ++n) {
                FakeFileSystem fs(disk);
                const SaveReport report = SaveBytes(fs, kNew + QByteArray::number(n), opened);
                QCOMPARE(report.outcome, SaveOutcome::Saved);
                opened = report.written;
            }
            QCOMPARE(disk->target(), kNew + "2");
        }
    }

    // Another program's change since Open is asked about (another file, none, other bytes
    // written in place), naming what was found; saving anyway then writes that file and no
    // other: where the name has moved on between question and answer, it asks again.
    void anAnswerHoldsForTheFileItNamed_data()
    {
        QTest::addColumn<int>("change"); // 0 replaced by another user's file, 1 removed, 2 written in place
        QTest::addColumn<QString>("owner");
        QTest::newRow("replaced by another user's file") << 0 << "nobody";
        QTest::newRow("removed, then made anew") << 1 << "";
        QTest::newRow("written in place, twice") << 2 << "";
    }

    void anAnswerHoldsForTheFileItNamed()
    {
        QFETCH(int, change);
        QFETCH(QString, owner);
        const auto disk = diskFor(Path::Rename);
        const auto makeChange = [&](const QByteArray &bytes, bool again) {
            if (change == 0 || (change == 1 && again))
                disk->add(Place::Folder, kName, bytes)->mine = change != 0;
            else if (change == 1)
                disk->names.erase({Place::Folder, kName});
            else
                disk->at(Place::Folder, kName)->bytes = bytes;
        };
        const FileId opened = disk->targetId();
        makeChange("changed once", false);
        FakeFileSystem fs(disk);
        const SaveReport asked = SaveBytes(fs, kNew, opened);
        QCOMPARE(asked.outcome, SaveOutcome::Changed);
        QCOMPARE(asked.owner, owner);
        QVERIFY(asked.found.sameFile(disk->targetId()));
        makeChange("changed twice", true);
        const SaveReport askedAgain = SaveBytes(fs, kNew, asked.found);
        QCOMPARE(askedAgain.outcome, SaveOutcome::Changed);
        QCOMPARE(disk->target(), QByteArray("changed twice"));
        QCOMPARE(SaveBytes(fs, kNew, askedAgain.found).outcome, SaveOutcome::Saved);
        QCOMPARE(disk->target(), kNew);
    }

    // What Open does with a backup: it is used only when provably this user's record of a
    // save of this very file that left it torn, and the user hears of whatever was done.
    void openUsesABackupOnlyWhenProvable_data()
    {
        QTest::addColumn<QByteArray>("now");
        QTest::addColumn<int>("plant"); // 0 mine, 1 another user's, 2 others may write, 3 another file's, 4 in the cache,
                                        // 5 no file: the old one a replacement moved aside (Windows)
        QTest::addColumn<QByteArray>("read");
        QTest::addColumn<QString>("notice");
        QTest::addColumn<bool>("backupStays");

        const QString putBack = QStringLiteral("put back from the backup data/.weather.cfg.nimbrel-backup");
        const QString keptAside = QStringLiteral("left as it is. Its contents from before that save are kept in "
                                                 "data/.weather.cfg.nimbrel-kept-");
        QTest::newRow("torn, old length") << kTorn << 0 << kOld << putBack << false;
        QTest::newRow("grown, nothing written yet") << torn(0, kNew.size()) << 0 << kOld << putBack << false;
        QTest::newRow("grown, then torn") << torn(60, kNew.size()) << 0 << kOld << putBack << false;
        QTest::newRow("torn, in the cache") << kTorn << 4 << kOld
                                            << QStringLiteral("put back from the backup cache/0-1.nimbrel-backup") << false;
        QTest::newRow("old bytes: backup removed") << kOld << 0 << kOld << QString() << false;
        QTest::newRow("new bytes: the save was done") << kNew << 0 << kNew << QString() << false;
        QTest::newRow("edited by hand since") << QByteArray("edited") + kTorn << 0 << QByteArray("edited") + kTorn
                                               << keptAside << false;
        QTest::newRow("another user's backup") << kTorn << 1 << kTorn << QString() << true;
        QTest::newRow("a backup others may write") << kTorn << 2 << kTorn << QString() << true;
        QTest::newRow("the backup of another file") << kTorn << 3 << kTorn << keptAside << false;
        QTest::newRow("a replacement cut short") << kOld << 5 << kOld
                                                 << QStringLiteral("was missing after a save that was cut short") << false;
    }

    void openUsesABackupOnlyWhenProvable()
    {
        QFETCH(QByteArray, now);
        QFETCH(int, plant);
        QFETCH(QByteArray, read);
        QFETCH(QString, notice);
        QFETCH(bool, backupStays);

        const auto disk = tornDisk(now, plant == 4 ? Place::Cache : Place::Folder);
        const QByteArray backupName = plant == 4 ? "0-1.nimbrel-backup" : kBackup;
        const InodePtr backup = disk->at(plant == 4 ? Place::Cache : Place::Folder, backupName);
        backup->mine = plant != 1;
        backup->othersMayWrite = plant == 2;
        if (plant == 3)
            backup->bytes = EncodeBackup({{0, 99, true, {}, {}}, kOld, kNew});
        if (plant == 5) {
            disk->names[{Place::Folder, ".weather.cfg.nimbrel-replaced"}] = disk->at(Place::Folder, kName);
            disk->names.erase({Place::Folder, kName});
            disk->names.erase({Place::Folder, kBackup});
        }

        FakeFileSystem fs(disk);
        const Contents contents = ReadWhole(fs);
        QCOMPARE(contents.bytes, read);
        QCOMPARE(disk->target(), read);
        QVERIFY2(notice.isEmpty() ? climate::Told(contents.notices).isEmpty() : climate::Told(contents.notices).contains(notice), qPrintable(climate::Told(contents.notices)));
        QCOMPARE(bool(disk->at(plant == 4 ? Place::Cache : Place::Folder, backupName)), backupStays);
        // Told once: a second Open finds nothing to do.
        FakeFileSystem again(disk);
        QCOMPARE(climate::Told(ReadWhole(again).notices), QString());
        QCOMPARE(disk->count("nimbrel-kept"), climate::Told(contents.notices).contains(QStringLiteral("kept in")) ? 1 : 0);
        for (const auto &[key, inode] : disk->names) {
            if (key.second.contains("nimbrel-kept-"))
                QCOMPARE(inode->bytes, kOld);
        }
    }

    // Another Nimbrel's Open or Save while a save in place is under way waits, then says the
    // file is busy; it never reads or restores the half-written file.
    void aSecondProgramWaitsForARunningSave()
    {
        const auto disk = diskFor(Path::InPlace);
        FakeFileSystem first(disk);
        QString busy;
        QString secondSave;
        first.onCall = [&](int) {
            // The file's own overwrite: the write that follows reserving its space.
            if (first.log.last() != "write" || first.log.value(first.log.size() - 2) != "reserve" || !busy.isEmpty())
                return;
            disk->at(Place::Folder, kName)->bytes = kTorn; // the overwrite is halfway
            busy = readError(disk);
            FakeFileSystem second(disk);
            try {
                climate::Worded([&] { return SaveBytes(second, "other", {}); });
            } catch (const EInOutError &error) {
                secondSave = error.message();
            }
            QCOMPARE(disk->target(), kTorn);
        };
        QCOMPARE(SaveBytes(first, kNew, disk->targetId()).outcome, SaveOutcome::Saved);
        QCOMPARE(busy, QStringLiteral("The file is busy: another program is saving it. Try again in a moment"));
        QCOMPARE(secondSave, busy);
        QCOMPARE(disk->target(), kNew);
    }

    // A save that had to wait for another one sees whether that one put a new file in place:
    // then it asks, as for any change since Open, instead of writing over that save.
    void aSaveThatWaitedSeesWhatTheOtherSaveWrote()
    {
        const auto disk = diskFor(Path::Rename);
        FakeFileSystem other(disk);
        FileFacts facts;
        QVERIFY(other.openTarget(Access::ReadWrite, facts).isOk() && other.lock(kTarget).isOk());
        FakeFileSystem waiting(disk);
        waiting.onCall = [&](int) {
            if (waiting.log.last() == "pause" && other.disk->at(Place::Folder, kName)->lockedBy) {
                disk->add(Place::Folder, kName, "the other save"); // renamed into place
                other.release(kTarget);
            }
        };
        QCOMPARE(SaveBytes(waiting, kNew, disk->targetId()).outcome, SaveOutcome::Changed);
        QCOMPARE(disk->target(), QByteArray("the other save"));
    }

    // A save stands and says what it met: what failed around it (the fault loop sees that a
    // listing or a close that fails is told too), a backup that could not be removed (emptied,
    // so it never claims a save was cut short), a folder at the backup's name (the backup goes
    // to the cache). Where the primitives say a new file could not keep the old one's identity,
    // or another program writes the file, the policy writes in place instead.
    void aSaveStandsAndSaysWhatItMet_data()
    {
        QTest::addColumn<Path>("path");
        QTest::addColumn<QByteArray>("fails"); // a call that fails, or "plant": a folder at the backup's name
        QTest::addColumn<int>("lost");         // -1 nothing, 0 owner, 1 attributes, 2 mode, 3 held by a writer
        QTest::addColumn<QString>("told");
        QTest::newRow("no lock (ENOLCK)") << Path::Rename << QByteArray("lock") << -1 << "saved, but without a lock (the file system keeps no locks)";
        QTest::newRow("removing the backup") << Path::InPlace << "remove " + kBackup << -1 << "emptied instead";
        QTest::newRow("a folder at the backup's name") << Path::InPlace << QByteArray("plant") << -1 << "went to the editor's cache";
        QTest::newRow("an owner that cannot be given") << Path::Rename << QByteArray() << 0 << "";
        QTest::newRow("attributes that cannot be copied") << Path::Rename << QByteArray() << 1 << "";
        QTest::newRow("a mode that cannot be set") << Path::Rename << QByteArray() << 2 << "";
        QTest::newRow("held open by a program writing it") << Path::Rename << QByteArray() << 3 << "";
    }

    // In place with a folder that takes no backup and a cache folder that is not the user's
    // alone: nothing is written, and the message says why.
    void noBackupNoOverwrite()
    {
        const auto disk = diskFor(Path::InPlace);
        FakeFileSystem fs(disk);
        fs.cacheForeign = true;
        fs.failWith = {Result::Refused, posix(13)}; // the folder refuses every new file of the editor's
        fs.onCall = [&](int) {
            fs.failCall = fs.log.last().startsWith("create .weather.cfg.nimbrel-tmp") ? fs.log.last() : QByteArray();
        };
        const Outcome result = save(fs, disk->targetId());
        QVERIFY2(result.message.contains(QStringLiteral("is not yours alone")), qPrintable(result.message));
        QCOMPARE(disk->target(), kOld);
    }

    void aSaveStandsAndSaysWhatItMet()
    {
        QFETCH(Path, path);
        QFETCH(QByteArray, fails);
        QFETCH(int, lost);
        QFETCH(QString, told);
        const auto disk = diskFor(path);
        const quint64 inode = disk->targetId().file;
        if (fails == "plant")
            disk->add(Place::Folder, kBackup, {})->regular = false;
        disk->at(Place::Folder, kName)->heldByWriter = lost == 3;
        FakeFileSystem fs(disk);
        fs.failCall = fails;
        fs.failWith = {Result::Failed, posix(ENOLCK)}; // a lock the file system does not keep, an I/O error elsewhere
        fs.identityKept = {lost != 0, lost != 1, lost != 2};
        const SaveReport report = SaveBytes(fs, kNew, disk->targetId());
        QCOMPARE(report.outcome, SaveOutcome::Saved);
        QCOMPARE(disk->target(), kNew);
        const QString said = climate::Told(report.warnings + report.notices);
        QVERIFY2(said.contains(told), qPrintable(said));
        QCOMPARE(disk->targetId().file == inode, lost >= 0 || path == Path::InPlace);
        QCOMPARE(disk->count("nimbrel-tmp"), 0);
        // Changed by someone else later, the file is read without a word of a cut-short save.
        disk->at(Place::Folder, kName)->bytes = "edited later";
        FakeFileSystem later(disk);
        QCOMPARE(climate::Told(ReadWhole(later).notices), QString());
        QCOMPARE(disk->count("nimbrel-kept"), 0);
    }

    // The tidy-up removes only the editor's own leftovers of this user that nobody holds.
    void tidyUpRemovesOnlyTheEditorsOwnLeftovers()
    {
        const auto disk = diskFor(Path::Rename);
        disk->add(Place::Folder, ".weather.cfg.AbC123", "rsync's transfer");
        disk->add(Place::Folder, ".weather.cfg.orig01", "the user's copy");
        disk->add(Place::Folder, ".weather.cfg.nimbrel-tmp-abc123", "left by a killed save");
        disk->add(Place::Cache, "nimbrel-tmp-def456", "left by a killed save");
        disk->add(Place::Folder, ".weather.cfg.nimbrel-tmp-xyz789", "another user's")->mine = false;
        disk->add(Place::Folder, ".weather.cfg.nimbrel-tmp-run123", "a running save's")->lockedBy = &disk;
        disk->add(Place::Folder, ".weather.cfg.nimbrel-replaced", "the old file a finished replacement left");
        FakeFileSystem fs(disk);
        QCOMPARE(SaveBytes(fs, kNew, disk->targetId()).outcome, SaveOutcome::Saved);
        QByteArrayList left;
        for (const auto &[key, inode] : disk->names)
            left << key.second;
        QCOMPARE(left, QByteArrayList({".weather.cfg.AbC123", ".weather.cfg.nimbrel-tmp-run123",
                                       ".weather.cfg.nimbrel-tmp-xyz789", ".weather.cfg.orig01", kName}));
    }

    // A file larger than any the editor works on is refused before it is read, and so is a
    // backup past the size a backup can have.
    void oversizedFilesAreNotRead()
    {
        const auto disk = diskFor(Path::Rename);
        disk->at(Place::Folder, kName)->bytes = QByteArray(kMaxFileSize + 1, 'x');
        QCOMPARE(readError(disk), QStringLiteral("The file is too large to open: 17 MB, where no file it edits has more than 16 MB"));
        const auto huge = tornDisk(kTorn);
        huge->at(Place::Folder, kBackup)->bytes += QByteArray(2 * kMaxFileSize + 4096, 'x');
        FakeFileSystem fs(huge);
        QCOMPARE(ReadWhole(fs).bytes, kTorn);
        QCOMPARE(fs.log.count("read"), 1); // the file's own bytes, not the backup's
        // Grown past it between Open and Save: refused alike, whichever way it would be saved.
        for (const Path path : {Path::Rename, Path::InPlace}) {
            const auto grown = diskFor(path);
            const FileId opened = grown->targetId();
            grown->at(Place::Folder, kName)->bytes = QByteArray(kMaxFileSize + 1, 'x');
            FakeFileSystem saving(grown);
            QCOMPARE(save(saving, opened).message,
                     QStringLiteral("data/weather.cfg has grown to 17 MB since it was opened, larger than any file the "
                                    "editor works on, so it was left as it is"));
            QCOMPARE(grown->target()->size(), kMaxFileSize + 1);
        }
    }
};

QTEST_MAIN(TestSavePolicy)
#include "tst_savepolicy.moc"
