#include "TableActions.h"

#include "ClimateErrors.h"
#include "ClimateExchange.h"
#include "ClimateFile.h"
#include "CommandLine.h"
#include "SeasonDecoding.h"
#include "TextConversion.h"
#include "ValueRules.h"

#include <QDir>
#include <QFile>

#include <cstdio>
#include <memory>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#endif

namespace {

void printError(const QString &message)
{
    PrintText(stderr, QStringLiteral("nimbrel: %1\n").arg(message));
}

// Bytes as they are: no line ends translated on the way out.
void writeOut(const QByteArray &bytes)
{
#ifdef Q_OS_WIN
    ::_setmode(::_fileno(stdout), _O_BINARY);
#endif
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

// What Open and showing each region would meet: a value the editors cannot read fails its
// region's showing; one out of range is shown, and kept, at its bound. Open shows the first
// listed region, or slot 0 when none is listed.
int checkTable(const TRegionTable &table, const QString &file)
{
    int shownFirst = 0;
    while (shownFirst < kRegionSlots - 1 && !table[std::size_t(shownFirst)].isUsed())
        ++shownFirst;
    if (!table[std::size_t(shownFirst)].isUsed())
        shownFirst = 0;
    int problems = 0;
    int regions = 0;
    for (int slot = 0; slot < kRegionSlots; ++slot) {
        const TRegionRecord &region = table[std::size_t(slot)];
        regions += region.isUsed();
        if (!region.isUsed() && slot != shownFirst)
            continue;
        const QString name = region.isUsed() ? climate::FromWindows1252(region.Name) : QStringLiteral("slot %1").arg(slot);
        for (int s = 0; s < kSeasonCount; ++s) {
            const int line = climate::SeasonLineNumber(slot, s);
            for (const ClimateValue &value : kClimateValues) {
                const QByteArrayView stored = region.Season[std::size_t(s)].Values[std::size_t(value.index)];
                const std::optional<int> number = climate::ReadValueText(stored);
                const QString where = QStringLiteral("%1:%2: %3, %4: %5: ").arg(file).arg(line).arg(
                    name, climate::SeasonName(s), climate::ColumnName(value.index));
                if (!number) {
                    PrintText(stderr, where + QStringLiteral("'%1' is not a valid integer value\n").arg(climate::FromWindows1252(stored)));
                    ++problems;
                } else if (!climate::InRange(value, *number)) {
                    PrintText(stderr, where + QStringLiteral("%1 is shown, and kept, as %2\n")
                                                  .arg(*number).arg(climate::Clamped(value, *number)));
                }
            }
        }
    }
    if (problems == 0)
        PrintText(stdout, QStringLiteral("%1: %2 region%3, opens cleanly\n").arg(file).arg(regions).arg(regions == 1 ? "" : "s"));
    return problems ? 1 : 0;
}

int importTable(const QByteArray &bytes, const QString &name, climate::TClimateFile &file, TRegionTable &table,
                const QByteArray &header)
{
    std::vector<climate::SeasonValues> rows;
    const QStringList problems = climate::ReadExchange(bytes, name, table, rows);
    for (const QString &problem : problems)
        PrintText(stderr, problem + u'\n');
    if (!problems.isEmpty())
        return 1;
    const int changed = climate::ApplyExchange(table, rows);
    if (changed == 0) {
        PrintText(stdout, QStringLiteral("0 seasons changed; nothing saved\n"));
        return 0;
    }
    // As a user at a terminal answers: no question when nothing else changed the file.
    const storage::SaveReport report = climate::SaveClimateFile(file, table, header);
    if (!report.notice.isEmpty())
        printError(report.notice);
    if (report.outcome == storage::SaveOutcome::ReadOnly) {
        printError(QStringLiteral("The file is read-only; nothing saved"));
        return 1;
    }
    if (report.outcome == storage::SaveOutcome::Changed) {
        printError(QStringLiteral("%1 was replaced while the table was read; nothing saved").arg(report.target));
        return 1;
    }
    PrintText(stdout, QStringLiteral("%1 season%2 changed\n").arg(changed).arg(changed == 1 ? "" : "s"));
    return 0;
}

} // namespace

int RunTableAction(const CommandLine &asked)
{
    // The file to import is read before the game folder is entered: its name may be relative.
    QByteArray bytes;
    if (asked.action == CommandLine::Action::Import) {
        QFile file(asked.importFile);
        if (!file.open(QIODevice::ReadOnly)) {
            printError(QStringLiteral("cannot read '%1': %2").arg(asked.importFile, file.errorString()));
            return 1;
        }
        if (file.size() > storage::kMaxFileSize) {
            printError(QStringLiteral("'%1' is larger than a table can be").arg(asked.importFile));
            return 1;
        }
        bytes = file.read(storage::kMaxFileSize + 1);
    }
    const std::optional<QString> game = climate::GameFolderPath(asked.folder);
    if (!game) {
        PrintUsageError(QStringLiteral("cannot enter '%1'").arg(asked.folder));
        return 2;
    }
    climate::TClimateFile file;
    climate::BindClimateFile(file, *game);
    auto table = std::make_unique<TRegionTable>();
    QByteArray header;
    try {
        const QString notice = climate::LoadClimateFile(file, *table, header);
        if (!notice.isEmpty())
            printError(notice);
        climate::DecodeTable(*table);
        switch (asked.action) {
        case CommandLine::Action::Export:
#ifdef Q_OS_WIN
            writeOut(climate::ExportTable(*table, asked.format, "\r\n"));
#else
            writeOut(climate::ExportTable(*table, asked.format, "\n"));
#endif
            return 0;
        case CommandLine::Action::Check: return checkTable(*table, climate::DisplayName(file, *game));
        default: return importTable(bytes, asked.importFile, file, *table, header);
        }
    } catch (const EUserError &error) {
        printError(error.message());
        return 1;
    }
}
