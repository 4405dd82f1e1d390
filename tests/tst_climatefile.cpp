#include "ClimateErrors.h"
#include "ClimateFile.h"
#include "ClimateFormat.h"
#include "ClimateTestData.h"
#include "SeasonDecoding.h"

#include <QTemporaryDir>
#include <QTest>

#ifndef Q_OS_WIN
#include <sys/resource.h>
#endif

using namespace climate;
using namespace testdata;
using storage::SaveOutcome;

namespace {

SaveOutcome saveTo(TClimateFile file, const TRegionTable &table, QByteArrayView header)
{
    return SaveClimateFile(file, table, header).outcome;
}

struct Loaded
{
    std::unique_ptr<TRegionTable> table = std::make_unique<TRegionTable>();
    QByteArray header;
};

// Reads bytes as Open does, without the disk: raw lines into the table, then decoding.
Loaded readAndDecode(const QByteArray &bytes, Loaded loaded = {})
{
    auto raw = std::make_unique<RawClimate>();
    ReadClimateBytes(bytes, *raw);
    StoreRawClimate(*raw, *loaded.table, loaded.header);
    DecodeTable(*loaded.table);
    return loaded;
}

std::unique_ptr<RawClimate> readRaw(const QByteArray &bytes)
{
    auto raw = std::make_unique<RawClimate>();
    ReadClimateBytes(bytes, *raw);
    return raw;
}

QByteArrayList blockLines(const QByteArray &name, const QByteArray &season = "SPRING: 1")
{
    return {"", "# Start Day,", "# Wind", "# Precipitation", "# Warmth", name, season, season, season, season};
}

int usedSlots(const TRegionTable &table)
{
    return int(std::count_if(table.begin(), table.end(), [](const TRegionRecord &r) { return r.isUsed(); }));
}

} // namespace

class TestClimateFile : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_game;

    TClimateFile fileIn(const QString &game) const
    {
        return TClimateFile{game + QStringLiteral("/data/weather.cfg"), {}, {}};
    }

    int errorCodeOfLoad(TClimateFile file)
    {
        auto table = std::make_unique<TRegionTable>();
        QByteArray header;
        try {
            LoadClimateFile(file, *table, header);
        } catch (const EInOutError &error) {
            return error.ErrorCode;
        }
        return 0;
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        static int game = 0;
        m_game = m_dir.filePath(QStringLiteral("game%1").arg(++game));
        QVERIFY(QDir().mkpath(m_game + QStringLiteral("/data")));
        openToEveryone(m_dir.path());
        openToEveryone(m_game);
        openToEveryone(m_game + QStringLiteral("/data"));
    }


    void writesARegionBlockInTheGamesLayout()
    {
        auto table = std::make_unique<TRegionTable>();
        TRegionRecord &northland = (*table)[3];
        northland.Name = QByteArrayView("Northland");
        const QByteArrayList spring = QByteArray("80 40 30 20 10 -1 50 20 15 10 5 0 5 20 30 25 15 5").split(' ');
        for (int s = 0; s < kSeasonCount; ++s)
            for (int k = 0; k < kValueCount; ++k)
                northland.Season[std::size_t(s)].Values[std::size_t(k)] = spring[k];

        const QByteArray file = FormatClimateFile(*table, "1");
        const QByteArray spaced = "80, W40, W30, W20, W10, W-1, P50, P20, P15, P10, P5, H0,  H5, H20, H30,  H25, H15, H5";
        QCOMPARE(file, crlf({QByteArray(kFirstLine.data(), kFirstLine.size()), "1", "", "# Start Day,",
                             "# Wind (Calm, Breezy, Gusty, Strong, Gale)",
                             "# Precipitation (Dry, Wet, Drizzle, Shower, Down Pour)",
                             "# Warmth (Freezing, Cold, Mild, Fine, Warm, Hot, Very Hot)", "3 Northland",
                             "SPRING: " + spaced, "SUMMER: " + spaced, "AUTUMN: " + spaced, "WINTER: " + spaced}));
        QCOMPARE(("SPRING: " + spaced).size(), 93);
    }

    void writesOnlyUsedSlotsNumberedBySlot()
    {
        auto table = tableOf(3);
        (*table)[1].Name.clear();
        const QByteArray file = FormatClimateFile(*table, " 7 regions, or so ");
        QVERIFY(file.contains("\r\n 7 regions, or so \r\n"));
        QVERIFY(file.contains("\r\n0 Region 0\r\n"));
        QVERIFY(file.contains("\r\n2 Region 2\r\n"));
        QVERIFY(!file.contains("Region 1"));
        QCOMPARE(file.count("\r\n"), 2 + 2 * 10);

        QCOMPARE(FormatClimateFile(TRegionTable{}, "").count("\r\n"), 2);
    }

    void writesValuesUnpadded()
    {
        TSeasonRecord season;
        QByteArray line;
        for (TValueText &value : season.Values)
            value = QByteArrayView("-10");
        AppendSeasonLine(line, 3, season);
        QCOMPARE(line.size(), 115);
        QVERIFY(line.startsWith("WINTER: -10, W-10"));

        for (TValueText &value : season.Values)
            value = QByteArrayView("7");
        line.clear();
        AppendSeasonLine(line, 0, season);
        QCOMPARE(line, QByteArray("SPRING: 7, W7, W7, W7, W7, W7, P7, P7, P7, P7, P7, H7,  H7, H7, H7,  H7, H7, H7"));
    }


    void readsLinesPositionally_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<int>("blocks");
        QTest::addColumn<QByteArray>("nameLine");   // of the last block read
        QTest::addColumn<QByteArray>("winterLine"); // of the last block read

        QTest::newRow("empty file") << QByteArray() << QByteArray() << 0 << QByteArray() << QByteArray();
        QTest::newRow("header only") << crlf({"# x", "3"}) << QByteArray("3") << 0 << QByteArray() << QByteArray();
        QTest::newRow("LF line ends, no CR anywhere")
            << QByteArray((QByteArrayList{"# x", "1"} + blockLines("0 North", "WINTER: 9")).join('\n') + '\n')
            << QByteArray("1") << 1 << QByteArray("0 North") << QByteArray("WINTER: 9");
        QTest::newRow("one block") << crlf(QByteArrayList{"# x", "1"} + blockLines("0 North", "WINTER: 9"))
                                   << QByteArray("1") << 1 << QByteArray("0 North") << QByteArray("WINTER: 9");
        QTest::newRow("CR alone ends a line") << QByteArray("# x\r1\r\r#\r#\r#\r#\r0 North\rA\rB\rC\rD")
                                              << QByteArray("1") << 1 << QByteArray("0 North") << QByteArray("D");
        QTest::newRow("lone LF is a character") << crlf(QByteArrayList{"# x", "1"} + blockLines("0 No\nrth"))
                                                << QByteArray("1") << 1 << QByteArray("0 No\nrth")
                                                << QByteArray("SPRING: 1");
        QTest::newRow("LF after CR LF starts the next line")
            << QByteArray("# x\r\n\n1\r\n") << QByteArray("\n1") << 0 << QByteArray() << QByteArray();
        QTest::newRow("file ends after the name line")
            << crlf(QByteArrayList{"# x", "1"} + blockLines("0 North").mid(0, 6)) << QByteArray("1") << 1
            << QByteArray("0 North") << QByteArray();
        QTest::newRow("empty line after the last block")
            << QByteArray(crlf(QByteArrayList{"# x", "1"} + blockLines("0 North")) + "\r\n") << QByteArray("1") << 2
            << QByteArray() << QByteArray();
        QTest::newRow("Ctrl-Z ends the file mid-line")
            << QByteArray(crlf(QByteArrayList{"# x", "1"} + blockLines("0 North").mid(0, 7)) + "SUMM\x1a" "ER: 5\r\n"
                          + crlf(blockLines("1 South")))
            << QByteArray("1") << 1 << QByteArray("0 North") << QByteArray();
        QTest::newRow("Ctrl-Z before a block") << QByteArray(crlf({"# x", "1"}) + "\x1a" + crlf(blockLines("0 N")))
                                               << QByteArray("1") << 0 << QByteArray() << QByteArray();
        QTest::newRow("long lines are cut, the header is not")
            << crlf(QByteArrayList{"# x", QByteArray(300, 'h')} + blockLines("0 " + QByteArray(298, 'n'), QByteArray(300, 's')))
            << QByteArray(300, 'h') << 1 << QByteArray("0 " + QByteArray(248, 'n')) << QByteArray(250, 's');
    }

    void readsLinesPositionally()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, header);
        QFETCH(int, blocks);
        QFETCH(QByteArray, nameLine);
        QFETCH(QByteArray, winterLine);

        const auto raw = readRaw(bytes);
        QCOMPARE(raw->HeaderCountLine, header);
        QCOMPARE(raw->BlockCount, blocks);
        if (blocks > 0) {
            const RawClimate::Block &last = raw->Blocks[std::size_t(blocks - 1)];
            QCOMPARE(last.NameLine.toByteArray(), nameLine);
            QCOMPARE(last.SeasonLines[3].toByteArray(), winterLine);
        }
    }

    // The reader works in chunks: a line end split between two of them is still one line end.
    void readsLineEndsAcrossChunks()
    {
        for (int shift = -2; shift <= 2; ++shift) {
            const QByteArray header(64 * 1024 - 5 + shift, '4');
            const QByteArray bytes = crlf(QByteArrayList{"# x", header} + blockLines("0 North", "SPRING: 2"));
            const auto raw = readRaw(bytes);
            QCOMPARE(raw->HeaderCountLine, header);
            QCOMPARE(raw->BlockCount, 1);
            QCOMPARE(raw->Blocks[0].NameLine.toByteArray(), QByteArray("0 North"));
        }
    }

    void loadingDoesNotClearTheTable()
    {
        Loaded loaded = readAndDecode(fileOf(5));
        QCOMPARE(usedSlots(*loaded.table), 5);
        loaded = readAndDecode(fileOf(3, "3"), std::move(loaded));
        QCOMPARE(usedSlots(*loaded.table), 3);
        QCOMPARE(loaded.header, QByteArray("3"));
        QCOMPARE((*loaded.table)[2].Name.toByteArray(), QByteArray("Region 2"));
    }

    void blankBlocksPastTheLastSlotAreDropped()
    {
        const QByteArray bytes = fileOf(kRegionSlots) + crlf(blockLines("")) + crlf(blockLines("42 ")) + "\r\n";
        const Loaded loaded = readAndDecode(bytes);
        QCOMPARE(usedSlots(*loaded.table), kRegionSlots);
        QCOMPARE((*loaded.table)[40].Name.toByteArray(), QByteArray("Region 40"));
    }


    void whatTheEditorWroteComesBackByteForByte()
    {
        auto table = tableOf(kRegionSlots);
        (*table)[7].Name = QByteArrayView("Espa\xf1" "a & \xc9ire, \x80 zone");
        (*table)[9].Season[2].Values[5] = QByteArrayView("");
        const QByteArray written = FormatClimateFile(*table, "  41 configurations  ");

        const Loaded loaded = readAndDecode(written);
        QCOMPARE(FormatClimateFile(*loaded.table, loaded.header), written);
    }

    void theSampleGameRoundTrips()
    {
        const QByteArray sample = readFile(QStringLiteral(NIMBREL_SAMPLE_GAME "/data/weather.cfg"));
        const Loaded loaded = readAndDecode(sample);
        QCOMPARE(usedSlots(*loaded.table), kRegionSlots);
        QCOMPARE(FormatClimateFile(*loaded.table, loaded.header), sample);
    }

    void nameLinesAreRenumberedBySlot()
    {
        QByteArray bytes = fileOf(2);
        bytes.replace("\r\n0 Region 0\r\n", "\r\n1 Region 0\r\n").replace("\r\n1 Region 1\r\n", "\r\n2 Region 1\r\n");
        const Loaded loaded = readAndDecode(bytes);
        QCOMPARE(FormatClimateFile(*loaded.table, loaded.header), fileOf(2));
    }


    void loadsAndSavesTheFile()
    {
        TClimateFile file = fileIn(m_game);
        writeFile(file.FileName, fileOf(4));
        Loaded loaded;
        LoadClimateFile(file, *loaded.table, loaded.header);
        DecodeTable(*loaded.table);
        QCOMPARE(usedSlots(*loaded.table), 4);

        // Saved again and again, by rename: each save's file is the one the next expects.
        for (int n = 0; n < 3; ++n) {
            fillRegion((*loaded.table)[1], "Changed", 99 + n);
            QCOMPARE(SaveClimateFile(file, *loaded.table, loaded.header).outcome, SaveOutcome::Saved);
            QCOMPARE(readFile(file.FileName), FormatClimateFile(*loaded.table, "41"));
        }
        QCOMPARE(QDir(m_game + "/data").entryList(QDir::Files), QStringList{"weather.cfg"});
    }

    // The game folder is kept whole, whatever the working folder; messages name the file as
    // it stands in the game, in the letter case found.
    void bindsTheFileUnderTheWholeGamePath()
    {
        QVERIFY(QDir::setCurrent(m_game));
        const std::optional<QString> game = GameFolderPath(QStringLiteral("."));
        QVERIFY(QDir::setCurrent(QDir::tempPath()));
        QCOMPARE(game, QFileInfo(m_game).absoluteFilePath());
        QVERIFY(!GameFolderPath(m_game + QStringLiteral("/nowhere")));
        TClimateFile file;
        BindClimateFile(file, *game);
        QCOMPARE(QDir::fromNativeSeparators(file.FileName), *game + QStringLiteral("/data/weather.cfg"));
        QCOMPARE(QDir::fromNativeSeparators(DisplayName(file, *game)), QStringLiteral("data/weather.cfg"));
    }

    void findsTheFileWhateverItsLetterCase()
    {
#ifdef Q_OS_WIN
        QSKIP("Windows finds any letter case itself");
#else
        QVERIFY(QDir(m_game).rename("data", "Data"));
        const QString windowsName = m_game + "/Data/Weather.CFG";
        writeFile(windowsName, fileOf(2));

        TClimateFile file = fileIn(m_game);
        QCOMPARE(ResolveFileName(file.FileName), windowsName);
        Loaded loaded;
        LoadClimateFile(file, *loaded.table, loaded.header);
        DecodeTable(*loaded.table);
        QCOMPARE(usedSlots(*loaded.table), 2);

        QCOMPARE(saveTo(file, *tableOf(3), "3"), SaveOutcome::Saved);
        QCOMPARE(readFile(windowsName), fileOf(3, "3"));
        QCOMPARE(QDir(m_game + "/Data").entryList(QDir::Files), QStringList{"Weather.CFG"});
        QVERIFY(!QFileInfo::exists(m_game + "/data"));
#endif
    }

    void loadFailuresCarryTheirCodes()
    {
        QCOMPARE(errorCodeOfLoad(fileIn(m_game)), 2);
        QCOMPARE(errorCodeOfLoad(fileIn(m_game + "/nowhere")), 3);
        QVERIFY(QDir().mkpath(m_game + "/data/weather.cfg"));
        QCOMPARE(errorCodeOfLoad(fileIn(m_game)), 5);
        QCOMPARE(EInOutError(77).message(), QStringLiteral("I/O error 77"));
    }

    void unreadableFileIsAccessDenied()
    {
#ifdef Q_OS_WIN
        QSKIP("users and file modes are POSIX's");
#else
        TClimateFile file = fileIn(m_game);
        writeFile(file.FileName, fileOf(1));
        QFile::setPermissions(file.FileName, QFileDevice::Permissions());
        const int code = runInChild([&] { return becomeUnprivileged() ? errorCodeOfLoad(file) : 99; });
        QCOMPARE(code, 5);
#endif
    }

    void tooManyOpenFiles()
    {
#ifdef Q_OS_WIN
        QSKIP("resource limits are POSIX's");
#else
        TClimateFile file = fileIn(m_game);
        writeFile(file.FileName, fileOf(1));
        const int code = runInChild([&] {
            const int lowestFree = dup(0);
            close(lowestFree);
            const rlimit limit{rlim_t(lowestFree), rlim_t(lowestFree)};
            return setrlimit(RLIMIT_NOFILE, &limit) == 0 ? errorCodeOfLoad(file) : 99;
        });
        QCOMPARE(code, 4);
#endif
    }

    void failedLoadChangesNothing()
    {
        TClimateFile file = fileIn(m_game);
        writeFile(file.FileName, fileOf(kRegionSlots) + crlf(blockLines("41 Atlantis")));

        Loaded loaded = readAndDecode(fileOf(2, "2"));
        const auto before = std::make_unique<TRegionTable>(*loaded.table);
        try {
            LoadClimateFile(file, *loaded.table, loaded.header);
            QFAIL("a 42nd named region must not load");
        } catch (const EClimateError &error) {
            QCOMPARE(error.message(), QStringLiteral("The file holds more than 41 regions"));
        }
        QCOMPARE(loaded.header, QByteArray("2"));
        QVERIFY(std::memcmp(before.get(), loaded.table.get(), sizeof(TRegionTable)) == 0);
    }


    void readOnlyFilesAndFoldersAreNotWritten()
    {
        TClimateFile file = fileIn(m_game);
        const QByteArray original = fileOf(2);
        writeFile(file.FileName, original);
        const auto table = tableOf(5);

        // A mode that grants writing to nobody holds for root too.
        QFile::setPermissions(file.FileName, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
        QCOMPARE(saveTo(file, *table, "5"), SaveOutcome::ReadOnly);
        QCOMPARE(readFile(file.FileName), original);

        // No data folder at all: nothing is created, and that is what is said.
        try {
            saveTo(fileIn(m_game + "/elsewhere"), *table, "5");
            QFAIL("saved into a folder that is not there");
        } catch (const EInOutError &error) {
            QCOMPARE(error.message(), QStringLiteral("The file's folder is no longer there"));
        }
        QVERIFY(!QFileInfo::exists(m_game + "/elsewhere"));

        // A folder where the file should be.
        QVERIFY(QDir().mkpath(m_game + "/other/data/weather.cfg"));
        QCOMPARE(saveTo(fileIn(m_game + "/other"), *table, "5"), SaveOutcome::ReadOnly);

#ifndef Q_OS_WIN
        // Writable by its owner only, and the user is somebody else.
        if (geteuid() != 0)
            QSKIP("standing in for another user needs root");
        QFile::setPermissions(file.FileName, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
        const int outcome = runInChild([&] { return becomeUnprivileged() ? int(saveTo(file, *table, "5")) : 99; });
        QCOMPARE(outcome, int(SaveOutcome::ReadOnly));
        QCOMPARE(readFile(file.FileName), original);
#endif
    }

    void savingKeepsTheFilesPermissions()
    {
#ifdef Q_OS_WIN
        QSKIP("file modes are POSIX's");
#else
        TClimateFile file = fileIn(m_game);
        writeFile(file.FileName, fileOf(1));
        const auto mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
        QFile::setPermissions(file.FileName, mode);
        QCOMPARE(saveTo(file, *tableOf(2), "2"), SaveOutcome::Saved);
        // Owner, group and others; Qt adds the bits of the current user besides.
        QCOMPARE(QFile::permissions(file.FileName) & 0xf0ff, QFileDevice::Permissions(mode) & 0xf0ff);
#endif
    }
};

QTEST_GUILESS_MAIN(TestClimateFile)
#include "tst_climatefile.moc"
