#include "ClimateDocument.h"

#include "ClimateErrors.h"
#include "ClimateFormat.h"
#include "SeasonDecoding.h"
#include "TextConversion.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QUndoCommand>

#include <algorithm>

#ifndef Q_OS_WIN
#include <cerrno>
#include <csignal>
#include <utility>
#endif

namespace {

using Values = std::array<TValueText, kValueCount>;

// Without locks in the cache folder, whether the editor that wrote a record still runs is all
// that can be asked; a process of another user's counts as not this user's editor.
bool mayBeRunning([[maybe_unused]] qint64 process)
{
#ifndef Q_OS_WIN
    return process > 0 && process != QCoreApplication::applicationPid() && ::kill(pid_t(process), 0) == 0;
#else
    return false;
#endif
}

QString seasonName(const ClimateDocument &document, SeasonKey key)
{
    return QStringLiteral("%1, %2").arg(document.regionName(key.slot), climate::SeasonName(key.season));
}

SeasonNumbers numbersOf(const Values &values)
{
    SeasonNumbers numbers{};
    for (int v = 0; v < kValueCount; ++v)
        numbers[std::size_t(v)] = climate::ReadValueText(values[std::size_t(v)]).value_or(0);
    return numbers;
}

// Numbers as a season's value texts, each clamped into its bounds; a text that already reads as
// its number ("025" for 25) stays as it is.
Values keptTexts(const Values &now, const SeasonNumbers &numbers)
{
    Values values;
    for (const ClimateValue &value : kClimateValues) {
        const QByteArrayView text = now[std::size_t(value.index)];
        const int number = climate::Clamped(value, numbers[std::size_t(value.index)]);
        values[std::size_t(value.index)] = climate::SameValue(text, number) ? TValueText(text) : TValueText(climate::ValueText(number));
    }
    return values;
}

int namesakes(const TRegionTable &table, QByteArrayView name)
{
    return int(std::count_if(table.begin(), table.end(), [&](const TRegionRecord &region) { return region.Name == name; }));
}

// The slot of table that holds a season's region: its own while it holds that name; otherwise
// the one slot that does, when one slot alone held the name before too. A copy of a region
// under the same name leaves nothing to go by.
std::optional<int> slotOf(const TRegionTable &table, const RecordedSeason &season)
{
    if (table[std::size_t(season.key.slot)].Name == QByteArrayView(season.region))
        return season.key.slot;
    if (season.namesakes != 1 || namesakes(table, season.region) != 1)
        return std::nullopt;
    return int(std::find_if(table.begin(), table.end(), [&](const TRegionRecord &region) { return region.Name == QByteArrayView(season.region); })
               - table.begin());
}

QByteArray randomMark()
{
    return QByteArray::number(QRandomGenerator::system()->generate64(), 16).rightJustified(16, '0');
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

ClimateDocument::ClimateDocument(QObject *parent, Recovery recovery)
    : QObject(parent)
    , m_table(std::make_unique<TRegionTable>())
    , m_saved(std::make_unique<TRegionTable>())
    , m_recovery(recovery)
    , m_editorMark(randomMark())
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
    releaseRecordLock();
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
    m_typed.reset();
    if (const QString resolved = QFileInfo(filePath()).canonicalFilePath(); resolved != m_recordKey) {
        releaseRecordLock(); // the lock goes with the record's name, which names the file
        m_recordKey = resolved.isEmpty() ? filePath() : resolved;
    }
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
    const Values values = keptTexts(region(key.slot).Season[std::size_t(key.season)].Values, numbers);
    if (values == region(key.slot).Season[std::size_t(key.season)].Values)
        return false;
    m_undo.push(new SeasonCommand(*this, key, values, QStringLiteral("%1 %2").arg(what, seasonName(*this, key))));
    return true;
}

int ClimateDocument::importRows(const std::vector<climate::SeasonValues> &rows, const QString &what)
{
    std::vector<std::pair<SeasonKey, Values>> changes;
    for (const climate::SeasonValues &row : rows) {
        Values values;
        for (int v = 0; v < kValueCount; ++v)
            values[std::size_t(v)] = row.values[std::size_t(v)];
        if (values != region(row.slot).Season[std::size_t(row.season)].Values)
            changes.emplace_back(SeasonKey{row.slot, row.season}, values);
    }
    if (changes.empty())
        return 0; // no step at all: an empty one would mark the file changed
    m_undo.beginMacro(what);
    for (const auto &[key, values] : changes)
        m_undo.push(new SeasonCommand(*this, key, values, QStringLiteral("%1 %2").arg(what, seasonName(*this, key))));
    m_undo.endMacro();
    return int(changes.size());
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

void ClimateDocument::acceptSaved(storage::SaveReport &report, const QByteArray &bytes)
{
    // A tidy-up that could not look cannot look the next time either: it is said once.
    report.warnings.removeIf([this](const storage::Event &event) {
        return event.kind == storage::Event::Kind::NoListing && std::exchange(m_listingWarned, true);
    });
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
    storage::SaveReport report = climate::ReplaceFileContents(filePath(), bytes, expected, m_file.Waiting);
    if (report.outcome == storage::SaveOutcome::Saved)
        acceptSaved(report, bytes);
    return report;
}

// The seasons kept and not saved, with what the file held for them when it was read or saved.
QList<RecordedSeason> ClimateDocument::unsavedWork() const
{
    QList<RecordedSeason> work;
    for (const SeasonKey key : unsavedSeasons()) {
        const QByteArray name = region(key.slot).Name.toByteArray();
        work << RecordedSeason{key, name, namesakes(*m_saved, name),
                               numbersOf(region(key.slot).Season[std::size_t(key.season)].Values),
                               numbersOf((*m_saved)[std::size_t(key.slot)].Season[std::size_t(key.season)].Values)};
    }
    return work;
}

// Lays seasons over target, each into the slot that holds its region there: a season target
// left as it was takes these values, one changed to other values is asked of keepMine. Refused
// or cancelled, target is left half-laid and must not be used.
MergeResult ClimateDocument::layOver(TRegionTable &target, const QList<RecordedSeason> &mine, const ConflictResolver &keepMine,
                                     QList<RecordedSeason> *applied) const
{
    MergeResult result;
    const bool anyRegion = std::any_of(target.begin(), target.end(), [](const TRegionRecord &r) { return r.isUsed(); });
    for (const RecordedSeason &season : mine) {
        const std::optional<int> slot = slotOf(target, season);
        if (!slot) {
            const QString region = climate::FromWindows1252(season.region);
            result.refusal = anyRegion ? QStringLiteral("%1 no longer holds the region %2 where it was (or holds it more "
                                                        "than once), so its kept changes cannot be merged into it")
                                             .arg(displayName(), region)
                                       : QStringLiteral("%1 holds no region now (it may no longer be a climate file), so "
                                                        "the kept changes to %2 cannot be merged into it")
                                             .arg(displayName(), region);
            return result;
        }
        Values &theirs = target[std::size_t(*slot)].Season[std::size_t(season.key.season)].Values;
        const SeasonNumbers now = numbersOf(theirs);
        if (now == season.values)
            continue;
        if (season.base && now != *season.base) {
            const std::optional<bool> answer = keepMine(season, {*slot, season.key.season});
            if (!answer) {
                result.cancelled = true;
                return result;
            }
            if (!*answer)
                continue;
        }
        theirs = keptTexts(theirs, season.values);
        if (applied)
            *applied << RecordedSeason{{*slot, season.key.season}, season.region, 1, season.values, std::nullopt};
    }
    return result;
}

MergeResult ClimateDocument::merge(const ConflictResolver &keepMine)
{
    climate::TClimateFile now = m_file;
    auto merged = std::make_unique<TRegionTable>();
    QByteArray header;
    QByteArray read;
    const QString notice = readFile(now, *merged, header, read);
    MergeResult result = layOver(*merged, unsavedWork(), keepMine);
    if (result.cancelled || !result.refusal.isEmpty())
        return result;

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
    return result;
}

QByteArray ClimateDocument::recordName() const
{
    return RecoveryName(m_recordKey, m_editorMark);
}

QString ClimateDocument::recordPath() const
{
    return storage::RecordPath(*storage::FileSystemFor(filePath()), recordName());
}

// Held from before this editor's record is first written until the document goes, so that no
// other editor takes the record for one left over meanwhile.
void ClimateDocument::holdRecordLock()
{
    if (m_lockFs)
        return;
    auto lockFs = storage::FileSystemFor(filePath(), m_file.Waiting);
    storage::File file = -1;
    const QByteArray name = RecoveryLockName(recordName());
    if (storage::HoldRecordLock(*lockFs, name, file).isOk()) {
        m_lockFs = std::move(lockFs);
        m_lockName = name;
    }
}

void ClimateDocument::releaseRecordLock()
{
    if (!m_lockFs)
        return;
    m_lockFs.reset(); // let go first: Windows removes no file that is held open
    storage::DropRecord(*storage::FileSystemFor(filePath()), std::exchange(m_lockName, {}));
}

void ClimateDocument::setTyping(SeasonKey key, const std::optional<SeasonNumbers> &numbers)
{
    std::optional<RecordedSeason> typed;
    if (numbers && m_loaded) {
        const QByteArray name = region(key.slot).Name.toByteArray();
        typed = RecordedSeason{key, name, namesakes(*m_table, name), *numbers,
                               numbersOf(region(key.slot).Season[std::size_t(key.season)].Values)};
    }
    if (typed == m_typed)
        return;
    m_typed = typed;
    keepRecovery();
}

void ClimateDocument::keepRecovery()
{
    if (!m_loaded || m_recovery == Recovery::None)
        return;
    const auto fs = storage::FileSystemFor(filePath(), m_file.Waiting);
    RecoveryRecord record{m_recordKey, m_file.Opened, RecoveryChecksum(m_savedBytes), QCoreApplication::applicationPid(),
                          unsavedWork(), m_typed};
    if (!record.isEmpty())
        holdRecordLock();
    const storage::Result result = record.isEmpty() ? storage::DropRecord(*fs, recordName())
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
    m_typed.reset();
    if (m_loaded && m_recovery == Recovery::Kept)
        storage::DropRecord(*storage::FileSystemFor(filePath(), m_file.Waiting), recordName());
}

// A season of a record at the slot that holds its region in the table as read now.
std::optional<RecordedSeason> ClimateDocument::placed(const RecordedSeason &season) const
{
    RecordedSeason here = season;
    if (here.region.isEmpty()) // a record of the first form, on the very file: its slot as it is
        here.region = region(season.key.slot).Name.toByteArray();
    const std::optional<int> slot = here.region.isEmpty() ? std::nullopt : slotOf(*m_table, here);
    if (!slot)
        return std::nullopt;
    here.key.slot = *slot;
    return here;
}

// Why a record found for this file is not offered, or nothing when it is.
QString ClimateDocument::refusalFor(const RecoveryRecord &record, bool fileChanged) const
{
    if (record.path != m_recordKey && !record.file.sameFile(m_file.Opened))
        return QStringLiteral("it was made on another file, %1").arg(QDir::toNativeSeparators(record.path));
    const bool firstForm = std::any_of(record.seasons.begin(), record.seasons.end(),
                                       [](const RecordedSeason &season) { return !season.base; });
    if (fileChanged && firstForm)
        return QStringLiteral("it was made on the file as it was before it changed, by an earlier Nimbrel that did not "
                              "record enough to merge it");
    QList<RecordedSeason> all = record.seasons;
    if (record.typed)
        all << *record.typed;
    for (const RecordedSeason &season : all) {
        if (!placed(season))
            return QStringLiteral("the file no longer holds the region %1 where it was")
                .arg(climate::FromWindows1252(season.region.isEmpty() ? region(season.key.slot).Name.toByteArray() : season.region));
    }
    return {};
}

// Records of this file left by editors that have ended (nobody holds their lock): the first
// one that is this user's alone, whole, and placeable on the file as it is now is offered, as
// a merge when the file changed since; one that cannot be offered is set aside and said once.
void ClimateDocument::findRecovery()
{
    m_offer = {};
    m_refusals.clear();
    if (m_recovery == Recovery::None)
        return;
    const auto fs = storage::FileSystemFor(filePath(), m_file.Waiting);
    const QByteArray prefix = RecoveryPrefix(m_recordKey);
    QByteArrayList names;
    storage::ListRecords(*fs, prefix, names);
    for (const QByteArray &name : names) {
        if (!IsRecoveryName(prefix, name) || name == recordName())
            continue;
        const storage::LockState lock = storage::RecordLockState(*fs, RecoveryLockName(name));
        if (lock == storage::LockState::Held)
            continue; // the live work of another window on this file
        QByteArray bytes;
        const storage::RecordState state = storage::ReadRecord(*fs, name, kMaxRecoverySize, bytes);
        if (state == storage::RecordState::Missing)
            continue;
        const std::optional<RecoveryRecord> record = state == storage::RecordState::Read ? DecodeRecovery(bytes) : std::nullopt;
        if (record && lock == storage::LockState::Unknown && mayBeRunning(record->process))
            continue;
        const bool fileChanged = record && (record->checksum != RecoveryChecksum(m_savedBytes) || !record->file.sameFile(m_file.Opened));
        QString why = state == storage::RecordState::Foreign ? QStringLiteral("it is not yours alone (a link, another "
                                                                              "user's, or open to others)")
                      : !record                              ? QStringLiteral("it is not a whole record")
                                                             : refusalFor(*record, fileChanged);
        if (why.isEmpty()) {
            if (!m_offer.isEmpty())
                continue; // offered once this one is settled
            m_offer.record = name;
            m_offer.fileChanged = fileChanged;
            for (const RecordedSeason &season : record->seasons)
                m_offer.seasons << *placed(season);
            if (record->typed)
                m_offer.typed = placed(*record->typed);
            continue;
        }
        storage::DropRecord(*fs, RecoveryLockName(name));
        const QByteArray aside = "aside-" + name;
        const QString where = storage::RenameRecord(*fs, name, aside).isOk() ? storage::RecordPath(*fs, aside)
                                                                             : storage::RecordPath(*fs, name);
        m_refusals << QStringLiteral("Changes to %1 not saved when Nimbrel last closed were not applied: %2. The record "
                                     "is kept in %3.")
                          .arg(displayName(), why, QDir::toNativeSeparators(where));
    }
}

MergeResult ClimateDocument::restore(const RecoveryOffer &offer, const ConflictResolver &keepMine)
{
    // What to apply is settled, questions and all, before the record is taken: an answer of
    // none leaves it where it was, for the next Open.
    auto table = std::make_unique<TRegionTable>(*m_table);
    QList<RecordedSeason> applied;
    MergeResult result = layOver(*table, offer.seasons, keepMine, &applied);
    if (result.cancelled || !result.refusal.isEmpty() || offer.isEmpty())
        return result;
    // Taken before anything is applied: of two editors that offered it, the one that renames it
    // first restores it. This editor's lock is held first, so the record is never unguarded.
    const auto fs = storage::FileSystemFor(filePath(), m_file.Waiting);
    holdRecordLock();
    if (offer.record != recordName() && !storage::RenameRecord(*fs, offer.record, recordName()).isOk()) {
        result.refusal = QStringLiteral("Nothing was restored: the record of those changes is gone, taken by another "
                                        "Nimbrel window on %1 meanwhile")
                             .arg(displayName());
        return result;
    }
    storage::DropRecord(*fs, RecoveryLockName(offer.record));
    m_undo.beginMacro(QStringLiteral("Restore unsaved changes"));
    for (const RecordedSeason &season : applied)
        keepSeason(season.key, season.values, QStringLiteral("Restore"));
    m_undo.endMacro();
    if (applied.isEmpty())
        keepRecovery(); // nothing kept: the record holds what is unsaved now
    return result;
}

void ClimateDocument::discard(const RecoveryOffer &offer)
{
    if (offer.record.isEmpty())
        return;
    const auto fs = storage::FileSystemFor(filePath(), m_file.Waiting);
    // Dropped only while nobody works on it: an editor that took it meanwhile holds its lock.
    if (storage::RecordLockState(*fs, RecoveryLockName(offer.record)) != storage::LockState::Held) {
        storage::DropRecord(*fs, offer.record);
        storage::DropRecord(*fs, RecoveryLockName(offer.record));
    }
}
