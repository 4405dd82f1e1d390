#include "ClimateDocument.h"
#include "ClimateExchange.h"
#include "ClimateTestData.h"
#include "SeasonDecoding.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace testdata;

namespace {

SeasonNumbers numbers(int fill)
{
    SeasonNumbers values{};
    values.fill(fill);
    values[0] = fill * 3; // a start day
    return values;
}

QByteArray values(const ClimateDocument &document, SeasonKey key)
{
    QByteArrayList texts;
    for (const TValueText &value : document.region(key.slot).Season[std::size_t(key.season)].Values)
        texts << value.toByteArray();
    return texts.join(',');
}

QByteArray valuesOf(const SeasonNumbers &numbers)
{
    QByteArrayList texts;
    for (const int number : numbers)
        texts << QByteArray::number(number);
    return texts.join(',');
}

// The file as another program leaves it: its table with one season changed, renamed into place.
void changeOnDisk(const QString &path, SeasonKey key, int fill)
{
    auto table = std::make_unique<TRegionTable>();
    auto raw = std::make_unique<climate::RawClimate>();
    climate::ReadClimateBytes(readFile(path), *raw);
    QByteArray header;
    climate::StoreRawClimate(*raw, *table, header);
    climate::DecodeTable(*table);
    for (int v = 0; v < kValueCount; ++v)
        (*table)[std::size_t(key.slot)].Season[std::size_t(key.season)].Values[std::size_t(v)] =
            QByteArray::number(numbers(fill)[std::size_t(v)]);
    writeFile(path + QStringLiteral(".new"), climate::FormatClimateFile(*table, header));
    QFile::remove(path);
    QFile::rename(path + QStringLiteral(".new"), path);
}

// A process number no running program has: a child's that has ended.
qint64 deadProcess()
{
#ifdef Q_OS_WIN
    return 1;
#else
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    waitpid(child, nullptr, 0);
    return child;
#endif
}

} // namespace

class TestClimateDocument : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_game;
    QString m_file;

    QString recordPath(const ClimateDocument &document, qint64 process = QCoreApplication::applicationPid())
    {
        return storage::RecordPath(*storage::FileSystemFor(document.filePath()), RecoveryName(document.filePath(), process));
    }

private slots:
    void init()
    {
        m_game = QFileInfo(newDataFolder(m_dir.path())).path();
        m_file = m_game + QStringLiteral("/data/weather.cfg");
        writeFile(m_file, fileOf(3));
    }

    // The game folder is a whole path, whatever the working folder does later.
    void opensTheGameItWasGivenWherever()
    {
        ClimateDocument document;
        QVERIFY(!document.setGameFolder(m_game + QStringLiteral("/nowhere")));
        QVERIFY(QDir::setCurrent(m_game));
        QVERIFY(document.setGameFolder(QStringLiteral(".")));
        QVERIFY(QDir::setCurrent(m_dir.path()));
        QSignalSpy reset(&document, &ClimateDocument::tableReset);
        document.open();
        QCOMPARE(reset.count(), 1);
        QCOMPARE(document.regionName(2), QStringLiteral("Region 2"));
        QCOMPARE(QDir::fromNativeSeparators(document.displayName()), QStringLiteral("data/weather.cfg"));
        QVERIFY(!document.isModified());
    }

    // Keep, paste and reset are each one step; the history's saved point is what a Save wrote.
    void undoAndRedoFollowTheSavedPoint()
    {
        ClimateDocument document;
        QVERIFY(document.setGameFolder(m_game));
        document.open();
        const QByteArray read = values(document, {1, 2});
        QString why;
        const SeasonNumbers same = *climate::ParseSeasonRow(QString::fromLatin1(read).replace(u',', u'\t'), why);
        QVERIFY(!document.keepSeason({1, 2}, same, QStringLiteral("Keep")));
        QVERIFY(document.keepSeason({1, 2}, numbers(5), QStringLiteral("Keep")));
        QVERIFY(document.keepSeason({1, 2}, numbers(500), QStringLiteral("Paste into")));
        QVERIFY(document.resetSeason({1, 2}));
        QVERIFY(!document.resetSeason({1, 2}));
        const QByteArray clamped = "365," + QByteArrayList(17, "100").join(',');

        QUndoStack &history = document.undoStack();
        const struct Step { bool undo; QByteArray shown; bool modified; } steps[] = {
            {true, clamped, true}, {true, valuesOf(numbers(5)), true}, {true, read, false}, {false, valuesOf(numbers(5)), true}};
        for (const Step &step : steps) {
            step.undo ? history.undo() : history.redo();
            QCOMPARE(values(document, {1, 2}), step.shown);
            QCOMPARE(document.isModified(), step.modified);
            QCOMPARE(document.unsavedSeasons().size(), step.shown == read ? 0 : 1);
        }
        QCOMPARE(document.save().outcome, storage::SaveOutcome::Saved);
        QVERIFY(!document.isModified());
        QVERIFY(readFile(m_file).contains("AUTUMN: 15, W5, W5"));
        history.undo();
        QVERIFY(document.isModified());
        QCOMPARE(values(document, {1, 2}), read);
    }

    // What was kept when an editor was killed is offered at the next Open of the same file, and
    // applied only on the user's word; a Save or a Discard leaves no record behind.
    void keptWorkOutlivesAKill()
    {
#ifdef Q_OS_WIN
        QSKIP("needs fork()");
#else
        for (const bool restore : {true, false}) {
            ClimateDocument before;
            before.setGameFolder(m_game);
            before.open();
            const int status = runInChild([&] {
                ClimateDocument killed;
                killed.setGameFolder(m_game);
                killed.open();
                killed.keepSeason({2, 3}, numbers(restore ? 9 : 11), QStringLiteral("Keep"));
                killed.keepSeason({0, 0}, numbers(restore ? 8 : 12), QStringLiteral("Keep"));
                ::raise(SIGKILL);
                return 0;
            });
            QCOMPARE(status, 128 + SIGKILL);

            ClimateDocument document;
            document.setGameFolder(m_game);
            document.open();
            const RecoveryOffer offer = document.takeRecoveryOffer();
            QCOMPARE(offer.seasons, (QList<SeasonKey>{{0, 0}, {2, 3}}));
            QVERIFY(document.takeRecoveryOffer().isEmpty()); // once
            if (restore) {
                ClimateDocument rival; // offered the same record; the first to answer takes it
                rival.setGameFolder(m_game);
                rival.open();
                const RecoveryOffer same = rival.takeRecoveryOffer();
                QCOMPARE(same.seasons, offer.seasons);
                QVERIFY(document.restore(offer));
                QVERIFY(!rival.restore(same));
                QVERIFY(!rival.isModified());
                QCOMPARE(values(document, {2, 3}), valuesOf(numbers(9)));
                QVERIFY(document.isModified());
                QVERIFY(QFileInfo::exists(recordPath(document))); // the work is this editor's now
                QCOMPARE(document.save().outcome, storage::SaveOutcome::Saved);
                QVERIFY(!QFileInfo::exists(recordPath(document)));
            } else {
                document.discard(offer);
                QCOMPARE(values(document, {0, 0}), values(before, {0, 0}));
                QVERIFY(!document.isModified());
            }
            ClimateDocument again;
            again.setGameFolder(m_game);
            again.open();
            QVERIFY(again.takeRecoveryOffer().isEmpty());
            QVERIFY(again.takeRecoveryRefusals().isEmpty());
        }
#endif
    }

    // A record that is not whole, not this user's alone, or made on the file before it changed
    // is never applied: said once, set aside, and the file's table stays as read.
    void aRecordNotToBeTrustedIsNeverApplied_data()
    {
        QTest::addColumn<QString>("plant");
        QTest::newRow("cut short") << "cut";
        QTest::newRow("garbled") << "garbled";
        QTest::newRow("huge") << "huge";
        QTest::newRow("the file changed since") << "changed";
        QTest::newRow("another file's") << "other";
#ifndef Q_OS_WIN
        QTest::newRow("a link to a good record") << "link";
        QTest::newRow("writable by others") << "shared";
#endif
    }

    void aRecordNotToBeTrustedIsNeverApplied()
    {
        QFETCH(QString, plant);
        ClimateDocument document;
        document.setGameFolder(m_game);
        document.open();
        const QByteArray read = climate::FormatClimateFile(document.table(), "41");
        RecoveryRecord record{document.filePath(), {}, RecoveryChecksum(readFile(m_file)), deadProcess(), {{1, 1}}, {numbers(4)}};
        record.file = storage::ReadWhole(*storage::FileSystemFor(m_file)).id;
        if (plant == QLatin1String("other"))
            record.path = m_file + QStringLiteral(".other");
        QByteArray bytes = EncodeRecovery(record);
        if (plant == QLatin1String("cut"))
            bytes.chop(4);
        else if (plant == QLatin1String("garbled"))
            bytes.replace("season 1 1", "season 1 9");
        else if (plant == QLatin1String("huge"))
            bytes += QByteArray(kMaxRecoverySize, '\n');
        else if (plant == QLatin1String("changed"))
            changeOnDisk(m_file, {2, 0}, 1);
        const QString where = recordPath(document, record.process);
        writeFile(plant == QLatin1String("link") ? where + QStringLiteral(".target") : where, bytes);
        if (plant == QLatin1String("link"))
            QVERIFY(QFile::link(where + QStringLiteral(".target"), where));
        if (plant == QLatin1String("shared"))
            QVERIFY(QFile::setPermissions(where, QFileDevice::Permissions(0x6666)));

        document.open();
        QVERIFY(document.takeRecoveryOffer().isEmpty());
        const QStringList refusals = document.takeRecoveryRefusals();
        QCOMPARE(refusals.size(), 1);
        QVERIFY2(refusals[0].startsWith(QStringLiteral("Changes to ")), qPrintable(refusals[0]));
        QVERIFY(!document.isModified());
        QVERIFY(values(document, {1, 1}) != valuesOf(numbers(4)));
        QVERIFY(!QFileInfo::exists(where) && !QFileInfo(where).isSymLink()); // set aside
        document.open();
        QVERIFY(document.takeRecoveryRefusals().isEmpty()); // said once
        if (plant != QLatin1String("changed"))
            QCOMPARE(readFile(m_file), read);
        if (plant == QLatin1String("link"))
            QCOMPARE(readFile(where + QStringLiteral(".target")), bytes);
    }

    // Save finds the file changed by another program: the kept seasons are laid over it, and a
    // season both changed is asked about.
    void mergeLaysTheKeptSeasonsOverTheFile_data()
    {
        QTest::addColumn<int>("theirSlot"); // the season the other program changed: Spring of this slot
        QTest::addColumn<int>("answer");    // to the conflict: 1 keep mine, 0 take the file's, -1 cancel
        QTest::addColumn<int>("questions");
        QTest::addColumn<QByteArray>("mine");   // Spring of slot 0 in the file afterwards
        QTest::addColumn<QByteArray>("theirs"); // Spring of their slot in the file afterwards
        QTest::newRow("disjoint") << 1 << 1 << 0 << valuesOf(numbers(7)) << valuesOf(numbers(6));
        QTest::newRow("both, keep mine") << 0 << 1 << 1 << valuesOf(numbers(7)) << valuesOf(numbers(7));
        QTest::newRow("both, take the file's") << 0 << 0 << 1 << valuesOf(numbers(6)) << valuesOf(numbers(6));
        QTest::newRow("both, cancel") << 0 << -1 << 1 << valuesOf(numbers(6)) << valuesOf(numbers(6));
    }

    void mergeLaysTheKeptSeasonsOverTheFile()
    {
        QFETCH(int, theirSlot);
        QFETCH(int, answer);
        QFETCH(int, questions);
        QFETCH(QByteArray, mine);
        QFETCH(QByteArray, theirs);
        ClimateDocument document;
        document.setGameFolder(m_game);
        document.open();
        document.keepSeason({0, 0}, numbers(7), QStringLiteral("Keep"));
        changeOnDisk(m_file, {theirSlot, 0}, 6);
        QCOMPARE(document.save().outcome, storage::SaveOutcome::Changed);

        QList<SeasonKey> asked;
        const MergeResult merged = document.merge([&](SeasonKey key) -> std::optional<bool> {
            asked << key;
            return answer < 0 ? std::nullopt : std::optional(answer == 1);
        });
        QCOMPARE(asked, QList<SeasonKey>(questions, SeasonKey{0, 0}));
        QCOMPARE(merged.cancelled, answer < 0);
        ClimateDocument after;
        after.setGameFolder(m_game);
        after.open();
        QCOMPARE(values(after, {0, 0}), mine);
        QCOMPARE(values(after, {theirSlot, 0}), theirs);
        if (answer >= 0) {
            QVERIFY(!document.isModified());
            QCOMPARE(values(document, {theirSlot, 0}), theirs);
            QCOMPARE(document.save().outcome, storage::SaveOutcome::Saved); // the merged file is the one opened
        } else {
            QVERIFY(document.isModified());
            QCOMPARE(values(document, {0, 0}), valuesOf(numbers(7)));
        }
    }

    // A region the file no longer has cannot take its kept seasons: nothing is written.
    void aMergeWithoutTheRegionWritesNothing()
    {
        ClimateDocument document;
        document.setGameFolder(m_game);
        document.open();
        document.keepSeason({2, 1}, numbers(7), QStringLiteral("Keep"));
        writeFile(m_file + QStringLiteral(".new"), fileOf(2));
        QVERIFY(QFile::remove(m_file) && QFile::rename(m_file + QStringLiteral(".new"), m_file));
        const MergeResult merged = document.merge([](SeasonKey) { return std::optional(true); });
        QVERIFY2(merged.refusal.contains(QStringLiteral("Region 2")), qPrintable(merged.refusal));
        QCOMPARE(readFile(m_file), fileOf(2));
        QVERIFY(document.isModified());
    }
};

QTEST_GUILESS_MAIN(TestClimateDocument)
#include "tst_climatedocument.moc"
