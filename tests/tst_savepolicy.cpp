#include "ClimateErrors.h"
#include "SavePolicy.h"

#include <QTest>

#include <cerrno>
#include <optional>

using namespace climate;

namespace {

// What stands on the disk, and so outlives a crash.
struct Disk
{
    std::optional<QByteArray> target;
    quint64 targetFile = 1;
    quint64 links = 1;
    std::optional<QByteArray> temporary;
    std::optional<Backup> backup;
};

struct Crash
{
};

// The primitives over a disk in memory. Call number failAt returns failWith without doing
// anything (and so do all later ones when the disk is dead); call number crashAt does its work
// and then the program is gone. A write cut short, by a failure or a crash, leaves a mix of
// old and new bytes.
class FakeFileSystem : public SaveFileSystem
{
public:
    explicit FakeFileSystem(Disk disk)
        : disk(std::move(disk))
    {
    }

    Disk disk;
    int calls = 0;
    int failAt = 0;
    int failWith = EIO;
    bool diskDies = false;
    int crashAt = 0;

    int findTarget(SaveTarget &target) override
    {
        return call([&] {
            target = {true, bool(disk.target), true, true, disk.links, {0, disk.targetFile, bool(disk.target)}};
        });
    }
    int openTarget(bool &readable, FileId &id) override
    {
        return call([&] {
            readable = true;
            id = {0, disk.targetFile, true};
        });
    }
    void removeLeftovers() override { call([&] { disk.temporary.reset(); }); }
    int createTemporary() override { return call([&] { disk.temporary = QByteArray(); }); }
    int copyIdentity(bool) override { return call([] {}); }
    int writeTemporary(QByteArrayView bytes) override { return call([&] { disk.temporary = bytes.toByteArray(); }); }
    int syncTemporary() override { return call([] {}); }
    int closeTemporary() override { return call([] {}); }
    int replaceTarget() override
    {
        return call([&] {
            disk.target = *std::exchange(disk.temporary, std::nullopt);
            ++disk.targetFile;
        });
    }
    void syncFolder() override { call([] {}); }
    void discardTemporary() override { call([&] { disk.temporary.reset(); }); }
    int readTarget(QByteArray &bytes) override { return call([&] { bytes = *disk.target; }); }
    int writeBackup(const Backup &backup, QString &where) override
    {
        return call([&] {
            disk.backup = backup;
            where = QStringLiteral("the backup");
        });
    }
    int findBackup(Backup &backup) override
    {
        if (!disk.backup)
            return ENOENT;
        return call([&] { backup = *disk.backup; });
    }
    int removeBackup() override { return call([&] { disk.backup.reset(); }); }
    int reserve(qint64) override { return call([] {}); }
    int overwriteTarget(QByteArrayView bytes) override
    {
        m_mixed = bytes.first(bytes.size() / 2).toByteArray() + disk.target->mid(bytes.size() / 2);
        return call([&] { disk.target = bytes.toByteArray(); });
    }
    int syncTarget() override { return call([] {}); }
    int closeTarget() override { return call([] {}); }

private:
    template <typename Work>
    int call(Work work)
    {
        if (m_crashed)
            return 0;
        ++calls;
        if (failAt && (calls == failAt || (diskDies && calls > failAt))) {
            if (!m_mixed.isEmpty())
                disk.target = std::exchange(m_mixed, {}); // the write got halfway
            return failWith;
        }
        work();
        if (calls == crashAt) {
            m_crashed = true;
            if (!m_mixed.isEmpty())
                disk.target = m_mixed; // the power went halfway through the write
            throw Crash();
        }
        m_mixed.clear();
        return 0;
    }

    QByteArray m_mixed;
    bool m_crashed = false;
};

const QByteArray kOld = QByteArray("old bytes of the file, long enough to be cut in two");
const QByteArray kNew = QByteArray("the new bytes, as the editor writes them, whole");

Disk diskFor(const QString &path)
{
    Disk disk;
    if (path != QStringLiteral("new file"))
        disk.target = kOld;
    disk.links = path == QStringLiteral("in place (hard link)") ? 2 : 1;
    return disk;
}

const FileId kOpened{0, 1, true};

} // namespace

class TestSavePolicy : public QObject
{
    Q_OBJECT

private slots:
    // Every call of every path fails in turn (alone, or with everything after it) or crashes
    // after doing its work. The file then holds the old bytes or the new ones, never a mix,
    // unless even writing the old bytes back failed and the message says where they are; no
    // failure reads as success; a crash leaves nothing that the next Open does not put right.
    void everyFaultLeavesTheOldOrTheNewBytes_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("rename") << QStringLiteral("rename");
        QTest::newRow("in place (hard link)") << QStringLiteral("in place (hard link)");
        QTest::newRow("new file") << QStringLiteral("new file");
    }

    void everyFaultLeavesTheOldOrTheNewBytes()
    {
        QFETCH(QString, path);
        const FileId opened = path == QStringLiteral("new file") ? FileId{} : kOpened;
        FakeFileSystem clean(diskFor(path));
        QCOMPARE(SaveBytes(clean, kNew, opened, false), SaveOutcome::Saved);
        QCOMPARE(*clean.disk.target, kNew);
        QVERIFY(!clean.disk.temporary && !clean.disk.backup);

        for (int k = 1; k <= clean.calls; ++k) {
            for (const int fault : {EIO, kNotKept, -2, -3}) { // -2: the disk dies; -3: a crash
                FakeFileSystem fs(diskFor(path));
                const QString row = QStringLiteral("call %1 of %2, fault %3").arg(k).arg(clean.calls).arg(fault);
                if (fault == -3) {
                    fs.crashAt = k;
                } else {
                    fs.failAt = k;
                    fs.failWith = fault == kNotKept ? kNotKept : EIO;
                    fs.diskDies = fault == -2;
                }
                QString message;
                std::optional<SaveOutcome> outcome;
                try {
                    outcome = SaveBytes(fs, kNew, opened, false);
                } catch (const EInOutError &error) {
                    message = error.message();
                } catch (const Crash &) {
                    // Started again: Open puts right what the crash left, a later save tidies.
                    FakeFileSystem after(fs.disk);
                    RecoverFile(after);
                    QVERIFY2(after.disk.target == kOld || after.disk.target == kNew
                                 || (!after.disk.target && path == QStringLiteral("new file")),
                             qPrintable(row));
                    QVERIFY2(!after.disk.backup, qPrintable(row));
                    QCOMPARE(SaveBytes(after, kNew, {}, false), SaveOutcome::Saved);
                    QVERIFY2(after.disk.target == kNew && !after.disk.temporary && !after.disk.backup, qPrintable(row));
                    continue;
                }
                const std::optional<QByteArray> before = path == QStringLiteral("new file") ? std::nullopt : std::optional(kOld);
                if (outcome == SaveOutcome::Saved)
                    QVERIFY2(fs.disk.target == kNew, qPrintable(row));
                else if (fs.disk.target != before && fs.disk.target != kNew) // only when even the way back failed
                    QVERIFY2(message.endsWith(QStringLiteral("kept in the backup")) && fs.disk.backup->oldBytes == kOld,
                             qPrintable(row + QStringLiteral(": ") + message));
                QVERIFY2(outcome != SaveOutcome::Saved || message.isEmpty(), qPrintable(row));
                QVERIFY2(!fs.disk.temporary || fault == -2, qPrintable(row));
            }
        }
    }

    // The name leads to another file than the one opened, or to none: nothing is written
    // unless the user said so.
    void anotherFileIsWrittenOnlyWhenAsked()
    {
        Disk disk = diskFor(QStringLiteral("rename"));
        disk.targetFile = 7;
        FakeFileSystem replaced(disk);
        QCOMPARE(SaveBytes(replaced, kNew, kOpened, false), SaveOutcome::Changed);
        QCOMPARE(*replaced.disk.target, kOld);
        QCOMPARE(SaveBytes(replaced, kNew, kOpened, true), SaveOutcome::Saved);
        QCOMPARE(*replaced.disk.target, kNew);

        FakeFileSystem gone(diskFor(QStringLiteral("new file")));
        QCOMPARE(SaveBytes(gone, kNew, kOpened, false), SaveOutcome::Changed);
        QVERIFY(!gone.disk.target);
    }
};

QTEST_MAIN(TestSavePolicy)
#include "tst_savepolicy.moc"
