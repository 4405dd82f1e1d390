#pragma once

#include "ClimateExchange.h"
#include "ClimateFile.h"
#include "RecoveryRecord.h"
#include "RegionTable.h"
#include "SavePolicy.h"
#include "ValueRules.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUndoStack>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

// Work an editor on this file left unsaved when it ended, as the last Open found it: its seasons
// at the slots that hold their regions now, and the numbers it had typed and not kept.
struct RecoveryOffer
{
    QList<RecordedSeason> seasons;
    std::optional<RecordedSeason> typed;
    QByteArray record;        // its name in the cache folder
    bool fileChanged = false; // made on the file before another program changed it: merged onto it
    bool isEmpty() const { return seasons.isEmpty() && !typed; }
};

// A season kept here and changed in the file too: the kept one (where it was kept) and the
// season of the file it would be written over. keepMine says: true these values, false the
// file's, nothing to end the merge with nothing written.
using ConflictResolver = std::function<std::optional<bool>(const RecordedSeason &mine, SeasonKey there)>;

// The result of a merge with the file as it is on disk now, or of a restore onto it.
struct MergeResult
{
    bool cancelled = false;
    QString refusal; // why nothing could be merged (nothing was written or applied)
    storage::SaveReport report;
    QString notice; // what reading the file and saving it did to it on the user's behalf, in words
};

// One open climate file: the table, the count line, the game folder (a whole path), the file
// as it was read, the seasons kept and not yet saved, their undo history and their recovery
// record. The window shows it and asks it to change; it says what changed through signals.
class ClimateDocument : public QObject
{
    Q_OBJECT

public:
    // Recovery::None: no record of unsaved work is looked for or kept (a command line, which
    // saves at once and asks nobody).
    enum class Recovery { Kept, None };
    explicit ClimateDocument(QObject *parent = nullptr, Recovery recovery = Recovery::Kept);
    ~ClimateDocument() override;

    // The game whose data/weather.cfg this is. False, with nothing changed, when it is no folder.
    bool setGameFolder(const QString &folder);
    QString gameFolder() const { return m_gameFolder; }
    // The file to read and write, whole path, in the letter case found on disk.
    QString filePath() const;
    // data/weather.cfg as messages name it.
    QString displayName() const;
    // How a read or save waits for another program's save to end (the thread sleeps without one).
    void setWaiter(storage::Waiter wait) { m_file.Waiting = std::move(wait); }

    // Reads the file, all or nothing: a failure is thrown and leaves everything as it was. The
    // undo history starts afresh. Returns what was done to the file on the user's behalf.
    QString open();
    bool isLoaded() const { return m_loaded; }
    const TRegionTable &table() const { return *m_table; }
    const TRegionRecord &region(int slot) const { return (*m_table)[std::size_t(slot)]; }
    QString regionName(int slot) const;
    QByteArray headerCountLine() const { return m_header; }
    QByteArray bytesRead() const { return m_savedBytes; } // the file's bytes as read or last saved

    // Keeps numbers as the season's values, each clamped into its bounds: one step to undo,
    // named by what (such as "Keep"). False when the season held them already.
    bool keepSeason(SeasonKey key, const SeasonNumbers &numbers, const QString &what);
    // The rows of a table that climate::ReadExchange checked, their values as they stand, as one
    // step; how many seasons they changed.
    int importRows(const std::vector<climate::SeasonValues> &rows, const QString &what = QStringLiteral("Import"));
    // Whether the season differs from the file as read or last saved.
    bool isUnsaved(SeasonKey key) const;
    QList<SeasonKey> unsavedSeasons() const;
    // Changes not saved: the undo history is away from where the file was read or saved.
    bool isModified() const { return !m_undo.isClean(); }
    QUndoStack &undoStack() { return m_undo; }

    // Writes the table over the file (storage::SaveBytes): Changed, with nothing written, when
    // the file is not the one read or last saved (another file, none, other bytes). A failure
    // is thrown; a save that stands reports what is true beside it in its warnings, a tidy-up
    // that could not look once for this document.
    storage::SaveReport save();
    // The same over the file a Changed report found, as the user was asked about it: Changed
    // again if the name has led elsewhere since.
    storage::SaveReport save(const storage::FileId &expected);

    // Reads the file as it is now, lays the kept seasons over it (each into the slot that holds
    // its region) and saves that; a season the file changed too is asked of keepMine. Saved,
    // the table is the merged one and the history starts afresh.
    MergeResult merge(const ConflictResolver &keepMine);

    // The unsaved work the last Open found, once; and what it found and could not offer, once.
    RecoveryOffer takeRecoveryOffer() { return std::exchange(m_offer, {}); }
    QStringList takeRecoveryRefusals() { return std::exchange(m_refusals, {}); }
    // Applies what was offered as kept seasons, one step to undo, once the record is this
    // editor's own; a season the file changed too since the record was made is asked of
    // keepMine, and an answer of none applies nothing and leaves the record where it was.
    // Refused, with nothing changed, when the record is gone (another editor took it).
    MergeResult restore(const RecoveryOffer &offer, const ConflictResolver &keepMine);
    // Drops an offered record for good, if it is still there and nobody took it meanwhile.
    void discard(const RecoveryOffer &offer);
    // Where this editor keeps its record.
    QString recordPath() const;
    // Removes this editor's own record (the work is saved, or the user dropped it).
    void dropRecovery();
    // Writes the record of the unsaved seasons now (it is written at every change already).
    void keepRecovery();
    // The numbers typed into a season and not kept (nothing: none), kept in the record too.
    void setTyping(SeasonKey key, const std::optional<SeasonNumbers> &numbers);

signals:
    // The whole table changed (an Open or a merge).
    void tableReset();
    // One season's values changed (kept, reset, pasted, restored, undone or redone).
    void seasonChanged(SeasonKey key);
    // A change could not be kept in the recovery record; what the user is told.
    void recoveryFailed(const QString &message);

private:
    friend class SeasonCommand;
    void setValues(SeasonKey key, const std::array<TValueText, kValueCount> &values);
    QString readFile(climate::TClimateFile &file, TRegionTable &table, QByteArray &header, QByteArray &bytes) const;
    void acceptSaved(storage::SaveReport &report, const QByteArray &bytes);
    QByteArray recordName() const;
    void findRecovery();
    void holdRecordLock();
    void releaseRecordLock();
    QString refusalFor(const RecoveryRecord &record, bool fileChanged) const;
    QList<RecordedSeason> unsavedWork() const;
    std::optional<RecordedSeason> placed(const RecordedSeason &season) const;
    MergeResult layOver(TRegionTable &target, const QList<RecordedSeason> &mine, const ConflictResolver &keepMine,
                        QList<RecordedSeason> *applied = nullptr) const;

    QString m_gameFolder;
    climate::TClimateFile m_file;
    std::unique_ptr<TRegionTable> m_table;
    std::unique_ptr<TRegionTable> m_saved; // the table as the file holds it: read or last saved
    QByteArray m_header;
    QByteArray m_savedBytes; // the file's bytes as read or last written
    bool m_loaded = false;
    QUndoStack m_undo;
    RecoveryOffer m_offer;
    QStringList m_refusals;
    bool m_cacheRefusalTold = false; // a cache folder not the user's alone is said once
    bool m_listingWarned = false;    // a tidy-up that could not look is said once
    Recovery m_recovery;
    QString m_recordKey;             // the file's resolved path, which names its records
    QByteArray m_editorMark;         // this editor's part of its record's name
    std::optional<RecordedSeason> m_typed;
    std::unique_ptr<storage::FileSystem> m_lockFs; // holds the lock on this editor's record
    QByteArray m_lockName;
};
