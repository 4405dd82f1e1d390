#include "ClimateFile.h"
#include "ClimateTestData.h"
#include "FileErrors.h"
#include "SavePolicy.h"
#include "SystemCalls.h"

#include <QTemporaryDir>
#include <QTest>

#include <windows.h>

using namespace climate;
using namespace storage;
using namespace testdata;

namespace {

std::wstring native(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

DWORD attributesOf(const QString &path)
{
    return ::GetFileAttributesW(native(path).c_str());
}

// What one save did, in the words the editor would show.
QString saveOutcome(const QString &path, const QByteArray &bytes)
{
    try {
        return ReplaceFileContents(path, bytes).outcome == SaveOutcome::Saved ? QStringLiteral("saved")
                                                                              : QStringLiteral("The file is read-only");
    } catch (const EInOutError &error) {
        return error.message();
    }
}

int loadCode(const QString &path)
{
    try {
        Worded([&] { return ReadWhole(*FileSystemFor(path)); });
    } catch (const EInOutError &error) {
        return error.ErrorCode;
    }
    return 0;
}

enum class Case { PlainFile, HiddenFile, SecondHardLink, ReadOnlyAttribute, HeldWithoutSharing, HeldSharingWrites };

} // namespace

Q_DECLARE_METATYPE(Case)

class TestFileAccessWindows : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_folder;
    QString m_file;

    QStringList strayFiles() const { return testdata::strayFiles(m_folder); }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_folder = newDataFolder(m_dir.path());
        QVERIFY(!m_folder.isEmpty());
        m_file = m_folder + QStringLiteral("/weather.cfg");
    }

    // Each case saves 41 regions over a file of 3 and checks the outcome, the bytes, the
    // file's attributes, and that nothing is left beside it.
    void saveKeepsTheFileWholeAndItself_data()
    {
        QTest::addColumn<Case>("situation");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("plain file") << Case::PlainFile << "saved";
        QTest::newRow("hidden file stays hidden") << Case::HiddenFile << "saved";
        QTest::newRow("second hard link") << Case::SecondHardLink << "saved";
        QTest::newRow("read-only attribute") << Case::ReadOnlyAttribute << "The file is read-only";
        QTest::newRow("held open, no sharing") << Case::HeldWithoutSharing << "The file is in use by another program (I/O error 32)";
        // The game reading the file (as C's fopen opens it) lets it be written but not replaced.
        QTest::newRow("held open, sharing writes") << Case::HeldSharingWrites << "saved";
    }

    void saveKeepsTheFileWholeAndItself()
    {
        QFETCH(Case, situation);
        QFETCH(QString, outcome);
        const QByteArray oldBytes = fileOf(3);
        const QByteArray newBytes = fileOf(kRegionSlots);
        writeFile(m_file, oldBytes);
        const QString secondName = m_folder + QStringLiteral("/other-name.cfg");
        HANDLE holder = INVALID_HANDLE_VALUE;

        switch (situation) {
        case Case::PlainFile: break;
        case Case::HiddenFile:
            QVERIFY(::SetFileAttributesW(native(m_file).c_str(), FILE_ATTRIBUTE_HIDDEN));
            break;
        case Case::SecondHardLink:
            QVERIFY(::CreateHardLinkW(native(secondName).c_str(), native(m_file).c_str(), nullptr));
            break;
        case Case::ReadOnlyAttribute:
            QVERIFY(::SetFileAttributesW(native(m_file).c_str(), FILE_ATTRIBUTE_READONLY));
            break;
        case Case::HeldWithoutSharing:
        case Case::HeldSharingWrites:
            holder = ::CreateFileW(native(m_file).c_str(), GENERIC_READ,
                                   situation == Case::HeldWithoutSharing ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            QVERIFY(holder != INVALID_HANDLE_VALUE);
            break;
        }
        const DWORD attributesBefore = attributesOf(m_file);

        const QString result = saveOutcome(m_file, newBytes);
        if (holder != INVALID_HANDLE_VALUE)
            ::CloseHandle(holder);

        QCOMPARE(result, outcome);
        QCOMPARE(readFile(m_file), result == QStringLiteral("saved") ? newBytes : oldBytes);
        QCOMPARE(attributesOf(m_file) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY),
                 attributesBefore & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
        if (situation == Case::SecondHardLink)
            QCOMPARE(readFile(secondName), newBytes);
        QCOMPARE(strayFiles().join(u','), QString());
        ::SetFileAttributesW(native(m_file).c_str(), FILE_ATTRIBUTE_NORMAL);
    }

    // What ReplaceFileW may answer: weather.cfg always stands afterwards, with the old bytes
    // or the new ones, and nothing is left beside it.
    void everyAnswerOfTheReplacementKeepsTheFile_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("times"); // then the real call
        QTest::addColumn<QString>("outcome");
        QTest::newRow("1177: the old file under the replaced name") << int(ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) << 1 << "saved";
        QTest::newRow("1176: nothing moved") << int(ERROR_UNABLE_TO_MOVE_REPLACEMENT) << 99 << "I/O error 29: the disk did not take what was written";
        QTest::newRow("a scanner holds the new file a moment") << int(ERROR_SHARING_VIOLATION) << 3 << "saved";
        QTest::newRow("the new file held for good") << int(ERROR_SHARING_VIOLATION) << 99 << "The file is in use by another program (I/O error 32)";
        QTest::newRow("replacing denied: in place") << int(ERROR_ACCESS_DENIED) << 99 << "saved";
    }

    void everyAnswerOfTheReplacementKeepsTheFile()
    {
        QFETCH(int, answer);
        QFETCH(int, times);
        QFETCH(QString, outcome);
        writeFile(m_file, fileOf(3));
        static DWORD s_answer;
        static int s_left;
        s_answer = DWORD(answer);
        s_left = times;
        const SystemCalls real = systemCalls;
        systemCalls.replaceFile = [](LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup, DWORD flags, LPVOID,
                                     LPVOID) -> BOOL {
            if (s_left-- <= 0)
                return ::ReplaceFileW(replaced, replacement, backup, flags, nullptr, nullptr);
            if (s_answer == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2)
                ::MoveFileW(replaced, backup);
            ::SetLastError(s_answer);
            return FALSE;
        };
        const QString result = saveOutcome(m_file, fileOf(kRegionSlots));
        systemCalls = real;
        QCOMPARE(result, outcome);
        QCOMPARE(readFile(m_file), result == QStringLiteral("saved") ? fileOf(kRegionSlots) : fileOf(3));
        QCOMPARE(strayFiles(), QStringList());
    }

    // A new file, then saved again and again: each save's file is the one the next expects.
    // Another program's write into the same file is seen, and saving anyway writes that file.
    void newFileIsCreatedAndSavedAgain()
    {
        FileId opened;
        for (int regions = 2; regions <= 4; ++regions) {
            const SaveReport report = ReplaceFileContents(m_file, fileOf(regions), opened);
            QCOMPARE(report.outcome, SaveOutcome::Saved);
            QCOMPARE(report.written, ReadWhole(*FileSystemFor(m_file)).id);
            opened = report.written;
        }
        QCOMPARE(readFile(m_file), fileOf(4));
        QCOMPARE(strayFiles(), QStringList());
        QFile inPlace(m_file);
        QVERIFY(inPlace.open(QIODevice::ReadWrite) && inPlace.write("X") == 1);
        inPlace.close();
        const SaveReport asked = ReplaceFileContents(m_file, fileOf(5), opened);
        QCOMPARE(asked.outcome, SaveOutcome::Changed);
        QCOMPARE(ReplaceFileContents(m_file, fileOf(5), asked.found).outcome, SaveOutcome::Saved);
        QCOMPARE(readFile(m_file), fileOf(5));
    }

    // A save in place cut short: the next Open puts the old bytes back from the user's own
    // backup and says so; a file changed by hand since is left as it is.
    void openPutsBackOnlyWhatACutShortSaveTore()
    {
        const QByteArray oldBytes = fileOf(3);
        const QByteArray newBytes = fileOf(4);
        const QByteArray torn = newBytes.left(100) + oldBytes.mid(100) + QByteArray(newBytes.size() - oldBytes.size(), '\0');
        for (const QByteArray &now : {torn, QByteArray("edited by hand")}) {
            writeFile(m_file, now);
            const FileId id = ReadWhole(*FileSystemFor(m_file)).id;
            writeFile(m_folder + QStringLiteral("/.weather.cfg.nimbrel-backup"), EncodeBackup({id, oldBytes, newBytes}));
            const Contents contents = ReadWhole(*FileSystemFor(m_file));
            QCOMPARE(contents.bytes, now == torn ? oldBytes : now);
            QVERIFY2(Told(contents.notices).contains(now == torn ? QStringLiteral("put back") : QStringLiteral("left as it is")),
                     qPrintable(Told(contents.notices)));
            for (const QString &name : strayFiles())
                QVERIFY(name.startsWith(QStringLiteral(".weather.cfg.nimbrel-kept-")) && QFile::remove(m_folder + u'/' + name));
        }
    }

    // ReplaceFileW cut short after it moved the old file aside: Open puts it back, and a save
    // removes one that a finished replacement left.
    void whatAReplacementMovedAsideIsPutBack()
    {
        const QString replaced = m_folder + QStringLiteral("/.weather.cfg.nimbrel-replaced");
        writeFile(replaced, fileOf(3));
        const Contents contents = ReadWhole(*FileSystemFor(m_file));
        QCOMPARE(contents.bytes, fileOf(3));
        QVERIFY2(Told(contents.notices).contains(QStringLiteral("put back")), qPrintable(Told(contents.notices)));
        QVERIFY(!QFileInfo::exists(replaced));
        writeFile(replaced, "left by a replacement that finished");
        QCOMPARE(ReplaceFileContents(m_file, fileOf(4), contents.id).outcome, SaveOutcome::Saved);
        QCOMPARE(readFile(m_file), fileOf(4));
        QCOMPARE(strayFiles(), QStringList());
    }

    // The cache folder is used only when it is the user's alone: a link (or junction) in its
    // place is not followed, and nothing is written where it leads.
    void theCacheFolderIsUsedOnlyWhenTheUsersAlone_data()
    {
        QTest::addColumn<bool>("link");
        QTest::newRow("the user's own folder") << false;
        QTest::newRow("a link to a folder of the user's") << true;
    }

    void theCacheFolderIsUsedOnlyWhenTheUsersAlone()
    {
        QFETCH(bool, link);
        const QString base = m_dir.filePath(link ? QStringLiteral("local-link") : QStringLiteral("local"));
        const QString elsewhere = m_dir.filePath(QStringLiteral("elsewhere"));
        QVERIFY(QDir().mkpath(base) && QDir().mkpath(elsewhere));
        const std::wstring cache = QDir::toNativeSeparators(base + QStringLiteral("/nimbrel")).toStdWString();
        if (link
            && (!::CreateSymbolicLinkW(cache.c_str(), QDir::toNativeSeparators(elsewhere).toStdWString().c_str(),
                                       SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE)
                || ::GetFileAttributesW(cache.c_str()) == INVALID_FILE_ATTRIBUTES))
            QSKIP("no symbolic link that leads anywhere can be made here (Wine 8 makes none)");
        const QByteArray before = qgetenv("LOCALAPPDATA");
        qputenv("LOCALAPPDATA", QDir::toNativeSeparators(base).toLocal8Bit());
        const Result kept = KeepRecord(*FileSystemFor(m_file), "record", "unsaved work");
        qputenv("LOCALAPPDATA", before);
        QCOMPARE(int(kept.kind()), int(link ? Result::Foreign : Result::Ok));
        QVERIFY(QDir(elsewhere).isEmpty());
    }

    // A game deep in a user's folders, past Windows' classic path limit, is saved, saved again
    // and read by its whole path, and entered as the game folder.
    void aPathPastTheClassicLimitWorks()
    {
        QString folder = m_dir.path();
        while (folder.size() < 300)
            folder += QStringLiteral("/a-rather-long-folder-name");
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/data")));
        const QString file = folder + QStringLiteral("/data/weather.cfg");
        QCOMPARE(ReplaceFileContents(file, fileOf(2)).outcome, SaveOutcome::Saved);
        const Contents read = ReadWhole(*FileSystemFor(file));
        QCOMPARE(read.bytes, fileOf(2));
        QCOMPARE(ReplaceFileContents(file, fileOf(3), read.id).outcome, SaveOutcome::Saved);

        const std::optional<QString> whole = GameFolderPath(folder);
        QVERIFY(whole);
        TClimateFile game;
        BindClimateFile(game, *whole);
        auto table = std::make_unique<TRegionTable>();
        QByteArray header;
        LoadClimateFile(game, *table, header);
        QCOMPARE(header, QByteArray("41"));
    }

    void missingFolderOrFolderInPlace()
    {
        const QString nowhere = m_dir.filePath(QStringLiteral("nowhere/data/weather.cfg"));
        QCOMPARE(loadCode(nowhere), 3);
        QCOMPARE(saveOutcome(nowhere, "x"), QStringLiteral("The file's folder is no longer there"));
        QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("nowhere"))));

        QCOMPARE(loadCode(m_file), 2);
        QVERIFY(QDir().mkpath(m_file));
        QCOMPARE(loadCode(m_file), 5);
        QCOMPARE(saveOutcome(m_file, "x"), QStringLiteral("The file is read-only"));
        QVERIFY(QFileInfo(m_file).isDir());
    }

    void devicesAreNotTheFile()
    {
        QCOMPARE(loadCode(QStringLiteral("NUL")), 5);
    }

    void systemErrorsAreTheEditorsCodes_data()
    {
        QTest::addColumn<int>("systemError");
        QTest::addColumn<bool>("reading");
        QTest::addColumn<QString>("message");
        QTest::newRow("file not found") << int(ERROR_FILE_NOT_FOUND) << true << "File not found";
        QTest::newRow("path not found") << int(ERROR_PATH_NOT_FOUND) << true << "Invalid filename";
        QTest::newRow("access denied") << int(ERROR_ACCESS_DENIED) << false << "File access denied";
        QTest::newRow("sharing violation") << int(ERROR_SHARING_VIOLATION) << false << "The file is in use by another program (I/O error 32)";
        QTest::newRow("disk full") << int(ERROR_DISK_FULL) << false << "Disk full";
        QTest::newRow("handle disk full") << int(ERROR_HANDLE_DISK_FULL) << false << "Disk full";
        QTest::newRow("large number writing") << int(ERROR_UNABLE_TO_MOVE_REPLACEMENT) << false << "I/O error 29: the disk did not take what was written";
        QTest::newRow("large number reading") << 106 << true << "I/O error 30: the disk could not be read";
    }

    void systemErrorsAreTheEditorsCodes()
    {
        QFETCH(int, systemError);
        QFETCH(bool, reading);
        QFETCH(QString, message);
        QCOMPARE(describeError(SystemError::windows(DWORD(systemError)), reading ? FileOperation::Read : FileOperation::Write),
                 message);
    }
};

QTEST_GUILESS_MAIN(TestFileAccessWindows)
#include "tst_fileaccesswindows.moc"
