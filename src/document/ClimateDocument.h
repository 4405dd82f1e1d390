#pragma once

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

// Work kept but never saved when an editor on this file last closed, as the last Open found it.
struct RecoveryOffer
{
    QList<SeasonKey> seasons;
    QList<SeasonNumbers> values;
    QByteArray record; // its name in the cache folder
    bool isEmpty() const { return seasons.isEmpty(); }
};

// The result of a merge with the file as it is on disk now.
struct MergeResult
{
    bool cancelled = false;
    QString refusal; // why nothing could be merged (nothing was written)
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
    explicit ClimateDocument(QObject *parent = nullptr);
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

    // Keeps numbers as the season's values, each clamped into its bounds: one step to undo,
    // named by what (such as "Keep"). False when the season held them already.
    bool keepSeason(SeasonKey key, const SeasonNumbers &numbers, const QString &what);
    // Puts a kept season back to its values as saved; false when it held them.
    bool resetSeason(SeasonKey key);
    // Whether the season differs from the file as read or last saved.
    bool isUnsaved(SeasonKey key) const;
    QList<SeasonKey> unsavedSeasons() const;
    // Changes not saved: the undo history is away from where the file was read or saved.
    bool isModified() const { return !m_undo.isClean(); }
    QUndoStack &undoStack() { return m_undo; }

    // Writes the table over the file (storage::SaveBytes): Changed, with nothing written, when
    // the file is not the one read or last saved (another file, none, other bytes). A failure
    // is thrown.
    storage::SaveReport save();
    // The same over the file a Changed report found, as the user was asked about it: Changed
    // again if the name has led elsewhere since.
    storage::SaveReport save(const storage::FileId &expected);

    // Reads the file as it is now, lays the kept seasons over it and saves that. A season the
    // file changed too is asked of keepMine (true: these values, false: the file's, nothing:
    // cancel the merge). Saved, the table is the merged one and the history starts afresh.
    using ConflictResolver = std::function<std::optional<bool>(SeasonKey key)>;
    MergeResult merge(const ConflictResolver &keepMine);

    // The unsaved work the last Open found, once; and what it found and could not offer
    // (a record not the user's alone, or made on the file before it changed), once.
    RecoveryOffer takeRecoveryOffer() { return std::exchange(m_offer, {}); }
    QStringList takeRecoveryRefusals() { return std::exchange(m_refusals, {}); }
    // Applies what was offered as kept seasons, one step to undo, once the record is this
    // editor's own; false, with nothing changed, when it is gone meanwhile (another editor on
    // the file took it). Or drops it for good.
    bool restore(const RecoveryOffer &offer);
    void discard(const RecoveryOffer &offer);
    // Removes this editor's own record (the work is saved, or the user dropped it).
    void dropRecovery();
    // Writes the record of the unsaved seasons now (it is written at every change already).
    void keepRecovery();

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
    void acceptSaved(const storage::SaveReport &report, const QByteArray &bytes);
    QByteArray recordName() const;
    void findRecovery();

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
};
