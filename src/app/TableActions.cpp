#include "TableActions.h"

#include "ClimateCheck.h"
#include "ClimateErrors.h"
#include "ClimateExchange.h"
#include "ClimateDocument.h"
#include "ClimateFile.h"
#include "CommandLine.h"
#include "SeasonDecoding.h"
#include "TextConversion.h"
#include "ValueRules.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#endif

namespace {

// The platform's own line ends in what is written for a spreadsheet or a script.
#ifdef Q_OS_WIN
constexpr QByteArrayView kLineEnd = "\r\n";
#else
constexpr QByteArrayView kLineEnd = "\n";
#endif

void printError(const QString &message)
{
    PrintText(stderr, QStringLiteral("nimbrel: %1\n").arg(message));
}

// Bytes as they are, the whole of standard output: no line ends translated on the way out.
// False, with why, when they did not all get there (a full disk, a closed pipe, a file system
// that says so only on closing).
bool writeOut(const QByteArray &bytes, QString &why)
{
#ifdef Q_OS_WIN
    ::_setmode(::_fileno(stdout), _O_BINARY);
#endif
    errno = 0;
    const bool written = std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout) == std::size_t(bytes.size());
    if (std::fflush(stdout) == 0 && written && !std::ferror(stdout) && std::fclose(stdout) == 0)
        return true;
    why = QString::fromLocal8Bit(std::strerror(errno ? errno : EIO));
    return false;
}

// At most limit + 1 bytes of the file, however it comes: a pipe says nothing of its size.
QByteArray readAtMost(QFile &file, qint64 limit, QString &why)
{
    QByteArray bytes;
    while (bytes.size() <= limit) {
        const QByteArray piece = file.read(limit + 1 - bytes.size());
        if (piece.isEmpty()) {
            if (file.error() != QFileDevice::NoError)
                why = file.errorString();
            break;
        }
        bytes += piece;
    }
    return bytes;
}

// What Open would meet, each as "PATH:LINE:COLUMN: error: MESSAGE" (or warning, for what Open
// mends without a word) as compilers write them, the first kMaxProblems and how many more; or
// all of it as one JSON document. Problems are errors; warnings alone pass unless strict.
int checkTable(const climate::CheckResult &result, const QString &path, climate::ExchangeFormat format, bool strict)
{
    int errors = 0;
    for (const climate::CheckFinding &finding : result.findings)
        errors += finding.error;
    const bool failed = errors > 0 || (strict && !result.findings.isEmpty());
    if (format == climate::ExchangeFormat::Json) {
        QJsonArray problems;
        for (const climate::CheckFinding &finding : result.findings)
            problems.append(QJsonObject{{QStringLiteral("file"), path}, {QStringLiteral("line"), finding.line},
                                        {QStringLiteral("column"), finding.column},
                                        {QStringLiteral("severity"), finding.error ? QStringLiteral("error") : QStringLiteral("warning")},
                                        {QStringLiteral("message"), finding.message}});
        const QJsonObject report{{QStringLiteral("file"), path}, {QStringLiteral("regions"), result.regions},
                                 {QStringLiteral("opensCleanly"), errors == 0}, {QStringLiteral("problems"), problems}};
        QString why;
        if (!writeOut(QJsonDocument(report).toJson(QJsonDocument::Indented), why)) {
            printError(QStringLiteral("cannot write the report: %1").arg(why));
            return 1;
        }
        return failed ? 1 : 0;
    }
    // Errors first, so that the first lines a CI shows are what fails.
    auto findings = result.findings;
    std::stable_partition(findings.begin(), findings.end(), [](const climate::CheckFinding &finding) { return finding.error; });
    qsizetype shown = 0;
    for (const climate::CheckFinding &finding : findings) {
        if (shown++ == climate::kMaxProblems) {
            PrintText(stderr, QStringLiteral("%1: … and %2 more\n").arg(path).arg(result.findings.size() - climate::kMaxProblems));
            break;
        }
        PrintText(stderr, QStringLiteral("%1:%2:%3: %4: %5\n").arg(path).arg(finding.line).arg(finding.column)
                              .arg(finding.error ? QStringLiteral("error") : QStringLiteral("warning"), finding.message));
    }
    if (errors == 0
        && !(PrintText(stdout, QStringLiteral("%1: %2 region%3, opens cleanly\n").arg(path).arg(result.regions).arg(result.regions == 1 ? "" : "s"))
             && std::fclose(stdout) == 0)) {
        printError(QStringLiteral("cannot write the report: %1").arg(QString::fromLocal8Bit(std::strerror(errno ? errno : EIO))));
        return 1;
    }
    return failed ? 1 : 0;
}

// The rows of the table, checked whole, saved through the document as the window saves: 0 when
// the new bytes are in place (what is true beside the save said as warnings), 1 when nothing
// was saved.
int importTable(const QByteArray &bytes, const QString &name, ClimateDocument &document)
{
    std::vector<climate::SeasonValues> rows;
    QStringList notes;
    const QStringList problems = climate::ReadExchange(bytes, name, document.table(), rows, &notes);
    for (const QString &note : notes)
        PrintText(stderr, note + u'\n');
    for (const QString &problem : problems)
        PrintText(stderr, problem + u'\n');
    if (!problems.isEmpty())
        return 1;
    const int changed = document.importRows(rows);
    if (changed == 0) {
        PrintText(stdout, QStringLiteral("0 seasons changed; nothing saved\n"));
        return 0;
    }
    // As a user at a terminal answers: no question when nothing else changed the file.
    const storage::SaveReport report = document.save();
    if (const QString notice = climate::Told(report.notices); !notice.isEmpty())
        printError(notice);
    if (report.outcome == storage::SaveOutcome::ReadOnly) {
        printError(QStringLiteral("The file is read-only; nothing saved"));
        return 1;
    }
    if (report.outcome == storage::SaveOutcome::Changed) {
        printError(QStringLiteral("%1 changed while the table was read (another program saved, replaced or moved "
                                  "it); nothing saved").arg(report.target));
        return 1;
    }
    if (const QString warned = climate::Told(report.warnings); !warned.isEmpty())
        printError(warned);
    PrintText(stdout, QStringLiteral("%1 season%2 changed\n").arg(changed).arg(changed == 1 ? "" : "s"));
    return 0;
}

} // namespace

// The game's rows of every season it has otherwise than the other game, as --export writes them
// (so that importing them into the other makes it the same), and on standard error the
// regions only the other has: 1 when anything differs, 0 when nothing does.
static int diffTables(const ClimateDocument &document, const CommandLine &asked)
{
    ClimateDocument other(nullptr, ClimateDocument::Recovery::None);
    if (!other.setGameFolder(asked.otherFolder)) {
        printError(QStringLiteral("cannot enter '%1'").arg(asked.otherShown));
        return 2;
    }
    if (const QString notice = other.open(); !notice.isEmpty())
        printError(notice);
    int differing = 0;
    for (int slot = 0; slot < kRegionSlots; ++slot) {
        for (int season = 0; season < kSeasonCount; ++season)
            differing += climate::SeasonDiffers(document.table(), other.table(), slot, season);
        if (other.region(slot).isUsed() && !document.region(slot).isUsed())
            printError(QStringLiteral("slot %1: '%2' is only in '%3'").arg(slot).arg(other.regionName(slot), asked.otherShown));
    }
    const auto differs = [&](int slot, int season) { return climate::SeasonDiffers(document.table(), other.table(), slot, season); };
    QString why;
    if (!writeOut(climate::ExportTable(document.table(), asked.format, kLineEnd, differs), why)) {
        printError(QStringLiteral("cannot write the differences: %1").arg(why));
        return 1;
    }
    return differing > 0 ? 1 : 0;
}

int RunTableAction(const CommandLine &asked)
{
    // The file to import is read before the game folder is entered: its name may be relative.
    QByteArray bytes;
    const QString importFile = ShownArgument(asked.importFile);
    if (asked.action == CommandLine::Action::Import) {
        QFile file(asked.importFile);
        if (!file.open(QIODevice::ReadOnly)) {
            printError(QStringLiteral("cannot read '%1': %2").arg(importFile, file.errorString()));
            return 1;
        }
        QString why;
        bytes = readAtMost(file, storage::kMaxFileSize, why);
        if (!why.isEmpty()) {
            printError(QStringLiteral("cannot read '%1': %2").arg(importFile, why));
            return 1;
        }
        if (bytes.size() > storage::kMaxFileSize) {
            printError(QStringLiteral("'%1' is larger than a table can be (%2 MB at the most); nothing saved")
                           .arg(importFile).arg(storage::kMaxFileSize >> 20));
            return 1;
        }
    }
    ClimateDocument document(nullptr, ClimateDocument::Recovery::None);
    if (!document.setGameFolder(asked.folder)) {
        PrintUsageError(QStringLiteral("cannot enter '%1'").arg(ShownArgument(asked.folder)));
        return 2;
    }
    // Messages name the file from where the user stands: under the folder as it was given.
    const QString path = QDir::toNativeSeparators(
        QDir::cleanPath(QDir::fromNativeSeparators(ShownArgument(asked.folder)) + u'/' + QDir::fromNativeSeparators(document.displayName())));
    try {
        if (const QString notice = document.open(); !notice.isEmpty())
            printError(notice);
        switch (asked.action) {
        case CommandLine::Action::Export: {
            QString why;
            if (writeOut(climate::ExportTable(document.table(), asked.format, kLineEnd), why))
                return 0;
            printError(QStringLiteral("cannot write the table: %1").arg(why));
            return 1;
        }
        case CommandLine::Action::Diff:
            return diffTables(document, asked);
        case CommandLine::Action::Check:
            return checkTable(climate::CheckClimate(document.bytesRead(), document.table(), document.headerCountLine()), path,
                              asked.format, asked.strict);
        default: return importTable(bytes, importFile, document);
        }
    } catch (const EUserError &error) {
        printError(error.message());
        return 1;
    }
}
