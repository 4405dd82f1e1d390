#include "FileConversation.h"

#include "FileErrors.h"
#include "TextConversion.h"

#include <QDir>

using Question = FileQuestions::Question;
using Answer = FileQuestions::Answer;

namespace {

QString seasonText(QByteArrayView region, int season)
{
    return QStringLiteral("%1, %2").arg(climate::FromWindows1252(region), climate::SeasonName(season));
}

} // namespace

bool FileConversation::leaveSeason()
{
    if (!m_editors.typed())
        return true;
    switch (m_questions->ask(Question::KeepChanges, QStringLiteral("Keep the changes to %1?").arg(m_editors.typedSeason()))) {
    case Answer::Yes: m_editors.keepTyped(); return true;
    case Answer::No: m_editors.dropTyped(); return true;
    case Answer::Cancel:
    case Answer::None: break;
    }
    return false;
}

bool FileConversation::leaveFile()
{
    if (!m_document.isLoaded() || !m_document.isModified())
        return true;
    // A word joiner after the separator: a narrow box breaks the line before the name, not in it.
    const QString name = QDir::toNativeSeparators(QStringLiteral("data/weather.cfg"))
                             .replace(u'/', QStringLiteral("/\u2060"))
                             .replace(u'\\', QStringLiteral("\\\u2060"));
    switch (m_questions->ask(Question::SaveFirst,
                             QStringLiteral("The kept changes are not saved to %1 yet.\n\nSave them first?").arg(name))) {
    case Answer::Yes: saveDocument(); return !m_document.isModified();
    case Answer::No: m_document.dropRecovery(); return true;
    case Answer::Cancel:
    case Answer::None: break;
    }
    return false;
}

void FileConversation::save()
{
    if (m_questions->ask(Question::ConfirmSave, QStringLiteral("Save over the existing data?")) == Answer::Yes)
        saveDocument();
}

// The save, and what its outcome asks of the user: a file changed since it was read is merged
// with, overwritten or left alone, as the user says. Overwrite writes the file the question
// named; where the name has led elsewhere since, the question comes again, naming that one.
void FileConversation::saveDocument()
{
    storage::SaveReport report = m_document.save();
    QString notice;
    while (report.outcome == storage::SaveOutcome::Changed) {
        switch (m_questions->ask(Question::ChangedFile, changedFileText(report))) {
        case Answer::Yes: {
            const MergeResult merged = m_document.merge([this](const RecordedSeason &mine, SeasonKey there) {
                return conflict(mine, there);
            });
            if (!merged.refusal.isEmpty())
                m_questions->tell(merged.refusal + QStringLiteral(". Nothing was saved"));
            if (merged.cancelled || !merged.refusal.isEmpty())
                return;
            if (merged.report.outcome == storage::SaveOutcome::Changed) {
                m_questions->tell(QStringLiteral("%1 changed again while it was merged with. Nothing was saved")
                                      .arg(m_document.displayName()));
                return;
            }
            report = merged.report;
            notice = merged.notice;
            break;
        }
        case Answer::No: report = m_document.save(report.found); break;
        case Answer::Cancel:
        case Answer::None: return;
        }
    }
    tellSaved(report, notice.isEmpty() ? climate::Told(report.notices) : notice);
}

// What the user is told once a save is over: read-only, or what was done and is true beside it.
void FileConversation::tellSaved(const storage::SaveReport &report, const QString &notice)
{
    if (report.outcome == storage::SaveOutcome::ReadOnly) {
        m_questions->tell(QStringLiteral("The file is read-only"));
        return;
    }
    QStringList lines;
    if (!notice.isEmpty())
        lines << notice;
    if (!report.warnings.isEmpty())
        lines << climate::Told(report.warnings);
    if (!lines.isEmpty())
        m_questions->tell(lines.join(u'\n'));
}

// The name leads to another file than Open read (another program saved over it, replaced or
// moved it, or put a link in its place). The question names the file that would be written,
// and its owner when that is someone else.
QString FileConversation::changedFileText(const storage::SaveReport &report) const
{
    const QString path = QDir::toNativeSeparators(m_document.filePath());
    QString text = QStringLiteral("%1 is no longer the file that was opened: another program saved over it or "
                                  "changed it, replaced, moved or removed it, or made it a link since.").arg(path);
    const QString target = QDir::toNativeSeparators(report.target);
    if (!target.isEmpty() && target != path)
        text += QStringLiteral("\n\nSaving now writes %1%2").arg(target, report.owner.isEmpty() ? QStringLiteral(".") : QStringLiteral(", "));
    else if (!report.owner.isEmpty())
        text += QStringLiteral("\n\nIt is now ");
    if (!report.owner.isEmpty())
        text += QStringLiteral("%1's file.").arg(report.owner);
    return text + QStringLiteral("\n\nMerge your kept changes into it, or overwrite it?");
}

// A season changed here and in the file too, named as the file holds it now.
std::optional<bool> FileConversation::conflict(const RecordedSeason &mine, SeasonKey there)
{
    const QString text = QStringLiteral("%1 was changed here and in %2 too.\n\nKeep your values, or take the file's?")
                             .arg(seasonText(mine.region, there.season), m_document.displayName());
    switch (m_questions->ask(Question::Conflict, there.slot == mine.key.slot
                                                     ? text
                                                     : text + QStringLiteral("\n\n(It stands in slot %1 of the file now.)")
                                                                  .arg(there.slot))) {
    case Answer::Yes: return true;
    case Answer::No: return false;
    case Answer::Cancel:
    case Answer::None: break;
    }
    return std::nullopt;
}

// Restored only on Yes, dropped only on No: Cancel, or no answer at all, leaves the record for
// the next Open.
void FileConversation::offerRecovery()
{
    for (const QString &refusal : m_document.takeRecoveryRefusals())
        m_questions->tell(refusal);
    const RecoveryOffer offer = m_document.takeRecoveryOffer();
    if (offer.isEmpty())
        return;
    QStringList seasons;
    for (const RecordedSeason &season : offer.seasons)
        seasons << seasonText(season.region, season.key.season);
    if (offer.typed)
        seasons << seasonText(offer.typed->region, offer.typed->key.season) + QStringLiteral(" (typed, not kept)");
    QString text = QStringLiteral("Restore the changes to %1 not saved when Nimbrel last closed?").arg(seasons.join(QStringLiteral("; ")));
    if (offer.fileChanged)
        text += QStringLiteral("\n\n%1 has changed since: they are laid over it as it is now, and a season changed there "
                               "too is asked about.")
                    .arg(m_document.displayName());
    switch (m_questions->ask(Question::Restore, text)) {
    case Answer::Yes: {
        const MergeResult restored = m_document.restore(offer, [this](const RecordedSeason &mine, SeasonKey there) {
            return conflict(mine, there);
        });
        if (!restored.refusal.isEmpty())
            m_questions->tell(restored.refusal);
        else if (!restored.cancelled && offer.typed)
            m_editors.showTyped(*offer.typed);
        break;
    }
    case Answer::No: m_document.discard(offer); break;
    case Answer::Cancel:
    case Answer::None: break;
    }
}
