#include "ClimateDocument.h"
#include "ClimateExchange.h"
#include "ClimateTestData.h"
#include "SeasonDecoding.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <numeric>

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

// A new file renamed into place, as another program saves.
void replaceFile(const QString &path, const QByteArray &bytes)
{
    writeFile(path + QStringLiteral(".new"), bytes);
    QFile::remove(path);
    QFile::rename(path + QStringLiteral(".new"), path);
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
    replaceFile(path, climate::FormatClimateFile(*table, header));
}

// A file of regions with these names, each with values of its name's, wherever it stands.
QByteArray fileNamed(const QByteArrayList &names)
{
    auto table = std::make_unique<TRegionTable>();
    for (qsizetype slot = 0; slot < names.size(); ++slot)
        fillRegion((*table)[std::size_t(slot)], names[slot], std::accumulate(names[slot].begin(), names[slot].end(), 0));
    return climate::FormatClimateFile(*table, "41");
}

QList<SeasonKey> keysOf(const QList<RecordedSeason> &seasons)
{
    QList<SeasonKey> keys;
    for (const RecordedSeason &season : seasons)
        keys << season.key;
    return keys;
}

const ConflictResolver kKeepMine = [](const RecordedSeason &, SeasonKey) { return std::optional(true); };

} // namespace

class TestClimateDocument : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_game;
    QString m_file;

    // Where a record left by an editor with that mark lies.
    QString recordPath(const ClimateDocument &document, QByteArrayView mark)
    {
        return storage::RecordPath(*storage::FileSystemFor(document.filePath()),
                                   RecoveryName(QFileInfo(document.filePath()).canonicalFilePath(), mark));
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
        const QByteArray clamped = "365," + QByteArrayList(17, "100").join(',');
        QCOMPARE(values(document, {1, 2}), clamped);

        QUndoStack &history = document.undoStack();
        const struct Step { bool undo; QByteArray shown; bool modified; } steps[] = {
            {true, valuesOf(numbers(5)), true}, {true, read, false}, {false, valuesOf(numbers(5)), true}};
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
            QCOMPARE(keysOf(offer.seasons), (QList<SeasonKey>{{0, 0}, {2, 3}}));
            QVERIFY(!offer.fileChanged);
            QVERIFY(document.takeRecoveryOffer().isEmpty()); // once
            if (restore) {
                ClimateDocument rival; // offered the same record; the first to answer takes it
                rival.setGameFolder(m_game);
                rival.open();
                const RecoveryOffer same = rival.takeRecoveryOffer();
                QCOMPARE(same.seasons, offer.seasons);
                QVERIFY(document.restore(offer, kKeepMine).refusal.isEmpty());
                QVERIFY(!rival.restore(same, kKeepMine).refusal.isEmpty());
                QVERIFY(!rival.isModified());
                QCOMPARE(values(document, {2, 3}), valuesOf(numbers(9)));
                QVERIFY(document.isModified());
                QVERIFY(QFileInfo::exists(document.recordPath())); // the work is this editor's now
                QCOMPARE(document.save().outcome, storage::SaveOutcome::Saved);
                QVERIFY(!QFileInfo::exists(document.recordPath()));
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

    // A record that is not whole, not this user's alone, of another file, or too thin to merge
    // onto a file that changed is never applied: said once, set aside, the table stays as read.
    void aRecordNotToBeTrustedIsNeverApplied_data()
    {
        QTest::addColumn<QString>("plant");
        QTest::addColumn<QString>("why");
        QTest::newRow("cut short") << "cut" << "not a whole record";
        QTest::newRow("garbled") << "garbled" << "not a whole record";
        QTest::newRow("huge") << "huge" << "not a whole record";
        QTest::newRow("first form, file changed since") << "first" << "before it changed";
        QTest::newRow("another file's") << "other" << "another file";
        QTest::newRow("its region gone") << "gone" << "no longer holds the region Region 2";
#ifndef Q_OS_WIN
        QTest::newRow("a link to a good record") << "link" << "not yours alone";
        QTest::newRow("writable by others") << "shared" << "not yours alone";
        QTest::newRow("readable by others") << "readable" << "not yours alone";
#endif
    }

    void aRecordNotToBeTrustedIsNeverApplied()
    {
        QFETCH(QString, plant);
        QFETCH(QString, why);
        ClimateDocument document;
        document.setGameFolder(m_game);
        document.open();
        const QByteArray read = readFile(m_file);
        const QString key = QFileInfo(m_file).canonicalFilePath();
        RecordedSeason season{{2, 1}, "Region 2", 1, numbers(4), numbers(4)};
        RecoveryRecord record{key, {}, RecoveryChecksum(read), 1, {season}, std::nullopt};
        record.file = storage::ReadWhole(*storage::FileSystemFor(m_file)).id;
        if (plant == QLatin1String("other")) {
            record.path = m_file + QStringLiteral(".other");
            record.file.file += 1;
        }
        QByteArray bytes = EncodeRecovery(record);
        if (plant == QLatin1String("cut"))
            bytes.chop(4);
        else if (plant == QLatin1String("garbled"))
            bytes.replace("season 2 1", "season 2 9");
        else if (plant == QLatin1String("huge"))
            bytes += QByteArray(kMaxRecoverySize, '\n');
        else if (plant == QLatin1String("first")) // without names and bases: it can be laid only on the file it was made on
            bytes = "NIMBREL-RECOVERY 1\n" + bytes.split('\n').mid(1, 4).join('\n') + "\nseason 2 1 " + valuesOf(numbers(4)).replace(',', ' ')
                    + "\nend\n";
        if (plant == QLatin1String("first")) // in place: the same file, only its bytes tell
            writeFile(m_file, fileOf(4));
        if (plant == QLatin1String("gone"))
            replaceFile(m_file, fileOf(2));
        const QString where = recordPath(document, "planted");
        writeFile(plant == QLatin1String("link") ? where + QStringLiteral(".target") : where, bytes);
        QFile::setPermissions(where, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        if (plant == QLatin1String("link"))
            QVERIFY(QFile::link(where + QStringLiteral(".target"), where));
        if (plant == QLatin1String("shared") || plant == QLatin1String("readable"))
            QVERIFY(QFile::setPermissions(where, QFileDevice::Permissions(plant == QLatin1String("shared") ? 0x6666 : 0x6644)));

        document.open();
        QVERIFY(document.takeRecoveryOffer().isEmpty());
        const QStringList refusals = document.takeRecoveryRefusals();
        QCOMPARE(refusals.size(), 1);
        QVERIFY2(refusals[0].startsWith(QStringLiteral("Changes to ")) && refusals[0].contains(why), qPrintable(refusals[0]));
        QVERIFY(!document.isModified());
        QVERIFY(!QFileInfo::exists(where) && !QFileInfo(where).isSymLink()); // set aside
        document.open();
        QVERIFY(document.takeRecoveryRefusals().isEmpty()); // said once
        if (plant == QLatin1String("link"))
            QCOMPARE(readFile(where + QStringLiteral(".target")), bytes);
    }

    // Which records are offered: every one whose editor has ended (its lock free), whatever its
    // process number and whichever path to the file opened it; one made before another program
    // changed the file is laid over the file as it is now, asking where both changed a season.
    void everyLeftOverRecordIsOfferedAndMerged_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<int>("asked");  // conflicts asked about
        QTest::addColumn<bool>("offered");
        QTest::newRow("editor still running") << "live" << 0 << false;
        QTest::newRow("its process number in use") << "pid" << 0 << true;
#ifndef Q_OS_WIN
        QTest::newRow("opened through a linked folder") << "link" << 0 << true;
#endif
        QTest::newRow("file changed elsewhere") << "elsewhere" << 0 << true;
        QTest::newRow("file changed in the same season") << "same" << 1 << true;
        QTest::newRow("its region moved slot") << "moved" << 0 << true;
    }

    void everyLeftOverRecordIsOfferedAndMerged()
    {
        QFETCH(QString, way);
        QFETCH(int, asked);
        QFETCH(bool, offered);
        const QByteArrayList names{"Region 0", "Region 1", "Region 2"};
        writeFile(m_file, fileNamed(names));
        auto died = std::make_unique<ClimateDocument>();
        died->setGameFolder(m_game);
        died->open();
        died->keepSeason({2, 1}, numbers(7), QStringLiteral("Keep"));
        died->setTyping({1, 3}, numbers(8));
        const QString left = died->recordPath();
        if (way != QLatin1String("live"))
            died.reset(); // its lock goes with it; its record stays
#ifndef Q_OS_WIN
        if (way == QLatin1String("pid")) { // a record that names a running process of the user's
            std::optional<RecoveryRecord> record = DecodeRecovery(readFile(left));
            QVERIFY(record);
            record->process = qint64(::getppid());
            writeFile(left, EncodeRecovery(*record));
            QVERIFY(QFile::setPermissions(left, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        }
#endif
        if (way == QLatin1String("elsewhere"))
            changeOnDisk(m_file, {0, 0}, 6);
        else if (way == QLatin1String("same"))
            changeOnDisk(m_file, {2, 1}, 6);
        else if (way == QLatin1String("moved"))
            replaceFile(m_file, fileNamed(QByteArrayList{"New"} + names));
        QString game = m_game;
        if (way == QLatin1String("link")) {
            game = m_dir.filePath(QStringLiteral("linked"));
            QFile::remove(game);
            QVERIFY(QFile::link(m_game, game));
        }

        ClimateDocument document;
        document.setGameFolder(game);
        document.open();
        const RecoveryOffer offer = document.takeRecoveryOffer();
        QCOMPARE(!offer.isEmpty(), offered);
        if (!offered)
            return;
        const int slot = way == QLatin1String("moved") ? 3 : 2;
        QCOMPARE(keysOf(offer.seasons), (QList<SeasonKey>{{slot, 1}}));
        QCOMPARE(offer.typed.value_or(RecordedSeason{}).values, numbers(8));
        QCOMPARE(offer.fileChanged, way == QLatin1String("elsewhere") || way == QLatin1String("same") || way == QLatin1String("moved"));
        QList<SeasonKey> conflicts;
        const MergeResult restored = document.restore(offer, [&](const RecordedSeason &, SeasonKey there) {
            conflicts << there;
            return std::optional(true);
        });
        QVERIFY2(restored.refusal.isEmpty(), qPrintable(restored.refusal));
        QCOMPARE(conflicts.size(), asked);
        QCOMPARE(values(document, {slot, 1}), valuesOf(numbers(7)));
        if (way == QLatin1String("elsewhere"))
            QCOMPARE(values(document, {0, 0}), valuesOf(numbers(6))); // the file's change stands
        QCOMPARE(offer.typed.value_or(RecordedSeason{}).key, (SeasonKey{slot - 1, 3}));
        QCOMPARE(document.unsavedSeasons(), (QList<SeasonKey>{{slot, 1}})); // no other slot written
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
        const MergeResult merged = document.merge([&](const RecordedSeason &, SeasonKey there) -> std::optional<bool> {
            asked << there;
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
        const MergeResult merged = document.merge(kKeepMine);
        QVERIFY2(merged.refusal.contains(QStringLiteral("Region 2")), qPrintable(merged.refusal));
        QCOMPARE(readFile(m_file), fileOf(2));
        QVERIFY(document.isModified());
    }

    // A season belongs to its slot: a region is looked for by name only when its slot no longer
    // holds it and one slot alone holds that name, and no other slot is written.
    void mergeWritesTheSlotOfTheRegion_data()
    {
        QTest::addColumn<QByteArrayList>("before");
        QTest::addColumn<QByteArrayList>("after"); // the names another program leaves
        QTest::addColumn<int>("written");          // the slot that takes the kept season, -1: refused
        QTest::newRow("moved down a slot") << QByteArrayList{"A", "B", "C"} << QByteArrayList{"New", "A", "B", "C"} << 3;
        QTest::newRow("a copy, the other renamed") << QByteArrayList{"A", "Twin", "Twin"} << QByteArrayList{"A", "Twin", "Other"} << -1;
        QTest::newRow("a copy, left as it was") << QByteArrayList{"A", "Twin", "Twin"} << QByteArrayList{"A", "Twin", "Twin", "D"} << 2;
        QTest::newRow("no climate file now") << QByteArrayList{"A", "B", "C"} << QByteArrayList{} << -1;
    }

    void mergeWritesTheSlotOfTheRegion()
    {
        QFETCH(QByteArrayList, before);
        QFETCH(QByteArrayList, after);
        QFETCH(int, written);
        writeFile(m_file, fileNamed(before));
        ClimateDocument document;
        document.setGameFolder(m_game);
        document.open();
        document.keepSeason({2, 1}, numbers(7), QStringLiteral("Keep"));
        const QByteArray theirs = after.isEmpty() ? QByteArray("41\r\n") : fileNamed(after);
        replaceFile(m_file, theirs);
        QList<SeasonKey> asked;
        const MergeResult merged = document.merge([&](const RecordedSeason &, SeasonKey there) {
            asked << there;
            return std::optional(true);
        });
        QCOMPARE(merged.refusal.isEmpty(), written >= 0);
        if (written < 0) {
            QCOMPARE(readFile(m_file), theirs);
            QVERIFY2(merged.refusal.contains(after.isEmpty() ? QStringLiteral("holds no region") : QStringLiteral("Twin")),
                     qPrintable(merged.refusal));
            return;
        }
        QVERIFY(asked.isEmpty()); // their season was as it was: no question
        ClimateDocument reread;
        reread.setGameFolder(m_game);
        reread.open();
        for (int slot = 0; slot < int(after.size()); ++slot) {
            const bool mine = slot == written;
            QCOMPARE(values(reread, {slot, 1}) == valuesOf(numbers(7)), mine);
        }
    }
};

QTEST_GUILESS_MAIN(TestClimateDocument)
#include "tst_climatedocument.moc"
