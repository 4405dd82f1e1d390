#include "ClimateDocument.h"

#include "ClimateErrors.h"
#include "ClimateFormat.h"
#include "SeasonDecoding.h"
#include "TextConversion.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QUndoCommand>

#ifndef Q_OS_WIN
#include <cerrno>
#include <csignal>
#include <utility>
#endif

namespace {

using Values = std::array<TValueText, kValueCount>;

// Whether the editor that wrote a record still runs, and so still keeps it up to date.
bool isRunning(qint64 process)
{
    if (process == QCoreApplication::applicationPid())
        return false; // a record of an earlier run that had this number
#ifndef Q_OS_WIN
    return process > 0 && (::kill(pid_t(process), 0) == 0 || errno == EPERM);
#else
    return false;
#endif
}

QString seasonName(const ClimateDocument &document, SeasonKey key)
{
    return QStringLiteral("%1, %2").arg(document.regionName(key.slot), climate::SeasonName(key.season));
}

} // namespace

// One change of one season's values, undone and redone by the document's history.
class SeasonCommand : public QUndoCommand
{
public:
    SeasonCommand(ClimateDocument &document, SeasonKey key, const Values &after, const QString &text,
                  QUndoCommand *parent = nullptr)
        : QUndoCommand(text, parent)
        , m_document(document)
        , m_key(key)
        , m_before(document.region(key.slot).Season[std::size_t(key.season)].Values)
        , m_after(after)
    {
    }

    void redo() override { m_document.setValues(m_key, m_after); }
    void undo() override { m_document.setValues(m_key, m_before); }

private:
    ClimateDocument &m_document;
    SeasonKey m_key;
    Values m_before;
    Values m_after;
};

ClimateDocument::ClimateDocument(QObject *parent)
    : QObject(parent)
    , m_table(std::make_unique<TRegionTable>())
    , m_saved(std::make_unique<TRegionTable>())
{
    setGameFolder(QStringLiteral("."));
    // The record follows every change, so that a kill or a crash loses nothing that was kept.
    connect(&m_undo, &QUndoStack::indexChanged, this, &ClimateDocument::keepRecovery);
}

ClimateDocument::~ClimateDocument()
{
    // The history tells of its clearing as it goes; nobody is to hear that from a document that
    // is going, and the window that listens may be half gone already.
    QObject::disconnect(&m_undo, nullptr, nullptr, nullptr);
}

bool ClimateDocument::setGameFolder(const QString &folder)
{
    const std::optional<QString> whole = climate::GameFolderPath(folder);
    if (!whole)
        return false;
    m_gameFolder = *whole;
    climate::BindClimateFile(m_file, m_gameFolder);
    return true;
}

QString ClimateDocument::filePath() const
{
    return climate::ResolveFileName(m_file.FileName);
}

QString ClimateDocument::displayName() const
{
    return climate::DisplayName(m_file, m_gameFolder);
}

QString ClimateDocument::regionName(int slot) const
{
    return climate::FromWindows1252(region(slot).Name);
}

// The file as it is now, through the file layer's load (which puts right a save cut short and
// says so), decoded; file.Opened and bytes tell which file and which bytes it was.
QString ClimateDocument::readFile(climate::TClimateFile &file, TRegionTable &table, QByteArray &header,
                                  QByteArray &bytes) const
{
    const QString notice = climate::LoadClimateFile(file, table, header, &bytes);
    climate::DecodeTable(table);
    return notice;
}

QString ClimateDocument::open()
{
    climate::TClimateFile file = m_file;
    auto table = std::make_unique<TRegionTable>(*m_table); // a load fills the slots it reaches
    QByteArray header;
    QByteArray bytes;
    const QString notice = readFile(file, *table, header, bytes);

    m_table = std::move(table);
    *m_saved = *m_table;
    m_header = header;
    m_savedBytes = bytes;
    m_file = file;
    m_loaded = true;
    findRecovery(); // before the history starts afresh and records that nothing is unsaved
    m_undo.clear();
    m_undo.setClean();
    emit tableReset();
    return notice;
}

void ClimateDocument::setValues(SeasonKey key, const Values &values)
{
    (*m_table)[std::size_t(key.slot)].Season[std::size_t(key.season)].Values = values;
    emit seasonChanged(key);
}

bool ClimateDocument::keepSeason(SeasonKey key, const SeasonNumbers &numbers, const QString &what)
{
    Values values;
    for (const ClimateValue &value : kClimateValues) {
        const QByteArrayView now = region(key.slot).Season[std::size_t(key.season)].Values[std::size_t(value.index)];
        const int number = climate::Clamped(value, numbers[std::size_t(value.index)]);
        values[std::size_t(value.index)] = climate::SameValue(now, number) ? TValueText(now) : TValueText(climate::ValueText(number));
    }
    if (values == region(key.slot).Season[std::size_t(key.season)].Values)
        return false;
    m_undo.push(new SeasonCommand(*this, key, values, QStringLiteral("%1 %2").arg(what, seasonName(*this, key))));
    return true;
}

bool ClimateDocument::resetSeason(SeasonKey key)
{
    if (!isUnsaved(key))
        return false;
    m_undo.push(new SeasonCommand(*this, key, (*m_saved)[std::size_t(key.slot)].Season[std::size_t(key.season)].Values,
                                  QStringLiteral("Reset %1").arg(seasonName(*this, key))));
    return true;
}

bool ClimateDocument::isUnsaved(SeasonKey key) const
{
    return m_loaded
           && region(key.slot).Season[std::size_t(key.season)].Values
                  != (*m_saved)[std::size_t(key.slot)].Season[std::size_t(key.season)].Values;
}

QList<SeasonKey> ClimateDocument::unsavedSeasons() const
{
    QList<SeasonKey> keys;
    for (int slot = 0; slot < kRegionSlots; ++slot) {
        for (int season = 0; region(slot).isUsed() && season < kSeasonCount; ++season) {
            if (isUnsaved({slot, season}))
                keys << SeasonKey{slot, season};
        }
    }
    return keys;
}

void ClimateDocument::acceptSaved(const storage::SaveReport &report, const QByteArray &bytes)
{
    m_file.Opened = report.written;
    m_savedBytes = bytes;
    *m_saved = *m_table;
    m_undo.setClean();
    dropRecovery();
}

storage::SaveReport ClimateDocument::save()
{
    return save(m_file.Opened);
}

storage::SaveReport ClimateDocument::save(const storage::FileId &expected)
{
    const QByteArray bytes = climate::FormatClimateFile(*m_table, m_header);
    const storage::SaveReport report = climate::ReplaceFileContents(filePath(), bytes, expected, m_file.Waiting);
    if (report.outcome == storage::SaveOutcome::Saved) {
        acceptSaved(report, bytes);
        climate::ThrowIfWarned(report);
    }
    return report;
}

MergeResult ClimateDocument::merge(const ConflictResolver &keepMine)
{
    MergeResult result;
    climate::TClimateFile now = m_file;
    auto merged = std::make_unique<TRegionTable>();
    QByteArray header;
    QByteArray read;
    const QString notice = readFile(now, *merged, header, read);

    for (const SeasonKey key : unsavedSeasons()) {
        // The region where it was, or where the file has moved it to.
        const TRegionRecord &mine = region(key.slot);
        int slot = key.slot;
        for (int other = 0; (*merged)[std::size_t(slot)].Name != mine.Name && other < kRegionSlots; ++other)
            slot = other;
        if ((*merged)[std::size_t(slot)].Name != mine.Name) {
            result.refusal = QStringLiteral("%1 no longer holds the region %2, so its kept changes cannot be merged into "
                                            "it. Nothing was saved")
                                 .arg(displayName(), regionName(key.slot));
            return result;
        }
        const Values &kept = mine.Season[std::size_t(key.season)].Values;
        const Values &base = (*m_saved)[std::size_t(key.slot)].Season[std::size_t(key.season)].Values;
        Values &theirs = (*merged)[std::size_t(slot)].Season[std::size_t(key.season)].Values;
        if (theirs != base && theirs != kept) {
            const std::optional<bool> answer = keepMine(key);
            if (!answer) {
                result.cancelled = true;
                return result;
            }
            if (!*answer)
                continue;
        }
        theirs = kept;
    }

    const QByteArray bytes = climate::FormatClimateFile(*merged, header);
    result.report = climate::ReplaceFileContents(filePath(), bytes, now.Opened, m_file.Waiting);
    // What reading it did to the file is told as well.
    const QString saved = climate::Told(result.report.notices);
    result.notice = notice.isEmpty() ? saved : saved.isEmpty() ? notice : notice + u'\n' + saved;
    if (result.report.outcome != storage::SaveOutcome::Saved)
        return result;
    m_table = std::move(merged);
    m_header = header;
    m_undo.clear();
    acceptSaved(result.report, bytes);
    emit tableReset();
    climate::ThrowIfWarned(result.report);
    return result;
}

QByteArray ClimateDocument::recordName() const
{
    return RecoveryName(filePath(), QCoreApplication::applicationPid());
}

void ClimateDocument::keepRecovery()
{
    if (!m_loaded)
        return;
    const auto fs = storage::FileSystemFor(filePath(), m_file.Waiting);
    RecoveryRecord record{filePath(), m_file.Opened, RecoveryChecksum(m_savedBytes), QCoreApplication::applicationPid(), {}, {}};
    for (const SeasonKey key : unsavedSeasons()) {
        SeasonNumbers numbers{};
        for (int v = 0; v < kValueCount; ++v)
            numbers[std::size_t(v)] = climate::ReadValueText(region(key.slot).Season[std::size_t(key.season)].Values[std::size_t(v)])
                                          .value_or(0);
        record.seasons << key;
        record.values << numbers;
    }
    const storage::Result result = record.seasons.isEmpty() ? storage::DropRecord(*fs, recordName())
                                                            : storage::KeepRecord(*fs, recordName(), EncodeRecovery(record));
    if (result.kind() == storage::Result::Foreign) {
        if (!std::exchange(m_cacheRefusalTold, true))
            emit recoveryFailed(QStringLiteral("The kept changes are not recorded: the cache folder %1 is not yours alone "
                                               "(a link, another user's, or open to others), so the editor does not use "
                                               "it. Save them soon")
                                    .arg(QFileInfo(storage::RecordPath(*fs, recordName())).path()));
    } else if (!result.isOk()) {
        emit recoveryFailed(QStringLiteral("The kept changes could not be recorded in %1 (error %2): save them soon")
                                .arg(storage::RecordPath(*fs, recordName()))
                                .arg(result.error().number));
    }
}

void ClimateDocument::dropRecovery()
{
    if (m_loaded)
        storage::DropRecord(*storage::FileSystemFor(filePath(), m_file.Waiting), recordName());
}

// A record of this file left by an editor that no longer runs: offered when it is this user's
// own, whole, and made on the file exactly as it is now; otherwise set aside, and said once.
void ClimateDocument::findRecovery()
{
    m_offer = {};
    m_refusals.clear();
    const auto fs = storage::FileSystemFor(filePath(), m_file.Waiting);
    QByteArrayList names;
    storage::ListRecords(*fs, RecoveryPrefix(filePath()), names);
    for (const QByteArray &name : names) {
        const std::optional<qint64> process = RecoveryProcess(filePath(), name);
        if (!process || isRunning(*process))
            continue; // not a record, or the live work of another window on this file
        QByteArray bytes;
        const storage::RecordState state = storage::ReadRecord(*fs, name, kMaxRecoverySize, bytes);
        const std::optional<RecoveryRecord> record = state == storage::RecordState::Read ? DecodeRecovery(bytes) : std::nullopt;
        bool matches = record && record->path == filePath() && record->file.sameFile(m_file.Opened)
                       && record->checksum == RecoveryChecksum(m_savedBytes);
        for (qsizetype i = 0; matches && i < record->seasons.size(); ++i)
            matches = region(record->seasons[i].slot).isUsed();
        if (matches && m_offer.isEmpty()) {
            m_offer = {record->seasons, record->values, name};
            continue;
        }
        if (matches)
            continue; // offered after this one is settled
        const QByteArray aside = "aside-" + name;
        const QString where = storage::RenameRecord(*fs, name, aside).isOk() ? storage::RecordPath(*fs, aside)
                                                                             : storage::RecordPath(*fs, name);
        const QString why = record ? QStringLiteral("it was made on the file as it was before it changed")
                                   : QStringLiteral("it is not a whole record of yours");
        m_refusals << QStringLiteral("Changes to %1 not saved when Nimbrel last closed were not applied: %2. The record "
                                     "is kept in %3.")
                          .arg(displayName(), why, where);
    }
}

bool ClimateDocument::restore(const RecoveryOffer &offer)
{
    // The record is taken before anything of it is applied: of two editors that offered it, the
    // one that renames it first restores it.
    if (offer.isEmpty()
        || (offer.record != recordName()
            && !storage::RenameRecord(*storage::FileSystemFor(filePath(), m_file.Waiting), offer.record, recordName()).isOk()))
        return false;
    m_undo.beginMacro(QStringLiteral("Restore unsaved changes"));
    for (qsizetype i = 0; i < offer.seasons.size(); ++i)
        keepSeason(offer.seasons[i], offer.values[i], QStringLiteral("Restore"));
    m_undo.endMacro();
    return true;
}

void ClimateDocument::discard(const RecoveryOffer &offer)
{
    if (!offer.record.isEmpty())
        storage::DropRecord(*storage::FileSystemFor(filePath(), m_file.Waiting), offer.record);
}
