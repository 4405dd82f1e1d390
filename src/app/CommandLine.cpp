#include "CommandLine.h"

#include "Failure.h"
#include "GameFolder.h"
#include "Layout.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

CommandLine answer(CommandLine::Action action, const QString &text = {}, const QString &folder = {})
{
    CommandLine asked;
    asked.action = action;
    asked.text = text;
    asked.folder = folder;
    return asked;
}

CommandLine usageError(const QString &text)
{
    return answer(CommandLine::Action::UsageError, text);
}

// cmd.exe hands `"C:\Games\The Game\"` over as `C:\Games\The Game"`, and /? asks for help.
void undoWindowsQuoting([[maybe_unused]] QStringList &arguments)
{
#ifdef Q_OS_WIN
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        QString &argument = arguments[i];
        if (argument == QLatin1String("/?"))
            argument = QStringLiteral("--help");
        else if (argument.size() > 1 && argument.endsWith(u'"'))
            argument.back() = u'\\';
    }
#endif
}

} // namespace

CommandLine ParseCommandLine(QStringList arguments)
{
    undoWindowsQuoting(arguments);

    QCommandLineParser parser;
    // -platform, -style and -reverse are Qt's, each one option, never a row of letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    // Within 80 columns, with the platform's own separators, as a console shows it.
    parser.setApplicationDescription(QDir::toNativeSeparators(QStringLiteral(
        "Edits the climate of a game: the seasons of every region in data/weather.cfg\n"
        "under the game folder. Give the game folder or its weather.cfg; without either,\n"
        "the editor starts in the working folder and asks for the game folder when it\n"
        "holds no game.\n"
        "\n"
        "The table in a spreadsheet (no display needed; status 1 for a problem in it):\n"
        "  nimbrel --export GAME > table.csv     change a column, then\n"
        "  nimbrel --import table.csv GAME       which checks all of it first\n"
        "  nimbrel --check GAME                  what Open would meet\n"
        "  nimbrel --diff OTHER GAME > d.csv     the seasons GAME has otherwise than\n"
        "                                        OTHER (status 1 when any differ)")));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help"), QStringLiteral("?")},
                                  QStringLiteral("Displays help on commandline options."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Displays version information."));
    const QCommandLineOption exportTable(QStringLiteral("export"),
                                         QStringLiteral("Writes the climate table to standard output, one row per region and season."));
    const QCommandLineOption format(QStringLiteral("format"),
                                    QStringLiteral("With --export: csv (the default) or json. With --check: json "
                                                   "gives the report as one JSON document."),
                                    QStringLiteral("csv|json"));
    const QCommandLineOption strict(QStringLiteral("strict"), QStringLiteral("With --check: warnings fail it too."));
    const QCommandLineOption importTable(QStringLiteral("import"),
                                         QStringLiteral("Checks FILE (CSV or JSON, as --export writes it), then saves its values "
                                                        "into the game's weather.cfg."),
                                         QStringLiteral("FILE"));
    const QCommandLineOption check(QStringLiteral("check"),
                                   QStringLiteral("Loads weather.cfg as Open does and reports every problem the editor would "
                                                  "meet, as PATH:LINE:COLUMN: error: MESSAGE."));
    const QCommandLineOption diff(QStringLiteral("diff"),
                                  QStringLiteral("Writes, as --export does, the seasons the game has otherwise than "
                                                 "OTHER (a game folder or its weather.cfg); the regions only OTHER has "
                                                 "are named on standard error."),
                                  QStringLiteral("OTHER"));
    parser.addOptions({help, version, exportTable, format, importTable, check, strict, diff});
    parser.addPositionalArgument(QStringLiteral("GAME_FOLDER"),
                                 QDir::toNativeSeparators(QStringLiteral("The game's folder (the one that holds "
                                                                         "data/weather.cfg), or that file.")),
                                 QStringLiteral("[GAME_FOLDER]"));

    const bool understood = parser.parse(arguments);
    if (parser.isSet(help))
        return answer(CommandLine::Action::Help, parser.helpText());
    if (parser.isSet(version))
        return answer(CommandLine::Action::Version, QStringLiteral("nimbrel " NIMBREL_VERSION));
    if (!understood)
        return usageError(parser.errorText());

    const QStringList paths = parser.positionalArguments();
    if (paths.size() > 1)
        return usageError(QStringLiteral("one game folder at most"));

    const int actions = int(parser.isSet(exportTable)) + int(parser.isSet(importTable)) + int(parser.isSet(check))
                        + int(parser.isSet(diff));
    if (actions > 1)
        return usageError(QStringLiteral("one of --export, --import, --check and --diff at a time"));
    if (parser.isSet(format) && !parser.isSet(exportTable) && !parser.isSet(check) && !parser.isSet(diff))
        return usageError(QStringLiteral("--format goes with --export, --check or --diff"));
    if (parser.isSet(strict) && !parser.isSet(check))
        return usageError(QStringLiteral("--strict goes with --check"));
    const QString formatName = parser.value(format).toLower();
    if (parser.isSet(format) && formatName != QLatin1String("csv") && formatName != QLatin1String("json"))
        return usageError(QStringLiteral("--format takes csv or json, not '%1'").arg(parser.value(format)));
    if (actions == 1) {
        const QString path = paths.value(0, QStringLiteral("."));
        const std::optional<QString> game = GameFolderOf(path);
        if (!game)
            return usageError(QStringLiteral("no game in '%1': neither a game folder nor its data/weather.cfg").arg(ShownArgument(path)));
        std::optional<QString> other;
        if (parser.isSet(diff) && !(other = GameFolderOf(parser.value(diff))))
            return usageError(QStringLiteral("no game in '%1': neither a game folder nor its data/weather.cfg")
                                  .arg(ShownArgument(parser.value(diff))));
        CommandLine asked = answer(parser.isSet(exportTable) ? CommandLine::Action::Export
                                   : parser.isSet(check)     ? CommandLine::Action::Check
                                   : parser.isSet(diff)      ? CommandLine::Action::Diff
                                                             : CommandLine::Action::Import,
                                   {}, *game);
        asked.otherFolder = other.value_or(QString());
        asked.otherShown = ShownArgument(parser.value(diff));
        asked.format = formatName == QLatin1String("json") ? climate::ExchangeFormat::Json : climate::ExchangeFormat::Csv;
        asked.importFile = parser.value(importTable);
        asked.strict = parser.isSet(strict);
        return asked;
    }
    if (paths.isEmpty())
        return {};

    const QString &path = paths.constFirst();
    const QFileInfo info(path);
    const std::optional<QString> game = GameFolderOf(path);
    if (info.isDir())
        return answer(CommandLine::Action::Start, {}, game.value_or(path));
    if (game)
        return answer(CommandLine::Action::Start, {}, *game);
    return usageError(QStringLiteral("cannot start in '%1': %2")
                          .arg(ShownArgument(path), !info.exists() ? QStringLiteral("no such file or folder")
                                                    : QStringLiteral("neither a game folder nor its data/weather.cfg")));
}

bool PrintText(std::FILE *stream, const QString &text)
{
    std::fflush(stream);
#ifdef Q_OS_WIN
    const auto handle = HANDLE(::_get_osfhandle(::_fileno(stream)));
    DWORD mode = 0;
    DWORD shown = 0;
    if (handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode))
        return ::WriteConsoleW(handle, reinterpret_cast<const wchar_t *>(text.utf16()), DWORD(text.size()), &shown, nullptr);
    const UINT codePage = ::GetConsoleOutputCP() ? ::GetConsoleOutputCP() : ::GetACP();
    const auto wide = reinterpret_cast<const wchar_t *>(text.utf16());
    const int size = ::WideCharToMultiByte(codePage, 0, wide, int(text.size()), nullptr, 0, nullptr, nullptr);
    QByteArray bytes(size, Qt::Uninitialized);
    ::WideCharToMultiByte(codePage, 0, wide, int(text.size()), bytes.data(), size, nullptr, nullptr);
#else
    const QByteArray bytes = text.toLocal8Bit();
#endif
    const bool written = std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream) == std::size_t(bytes.size());
    return std::fflush(stream) == 0 && written && !std::ferror(stream);
}

namespace {

// What each /proc/self/fd/N argument stands for, as typed; set once at start-up.
std::vector<std::pair<QString, QString>> &shownArguments()
{
    static std::vector<std::pair<QString, QString>> shown;
    return shown;
}

} // namespace

void EnterUndecodableArguments([[maybe_unused]] int argc, [[maybe_unused]] char *argv[])
{
#ifdef Q_OS_LINUX
    const auto undecodable = [](const QByteArray &raw) { return QFile::encodeName(QFile::decodeName(raw)) != raw; };
    static std::vector<QByteArray> replaced; // argv points into it for the rest of the run
    replaced.reserve(std::size_t(argc));
    for (int i = 1; i < argc; ++i) {
        const QByteArray raw(argv[i]);
        if (raw.startsWith('-') || !undecodable(raw))
            continue;
        // The deepest part of the path that is no text is opened; what follows it stays text.
        qsizetype end = raw.size();
        while (end > 0 && !undecodable(raw.left(end).mid(raw.left(end).lastIndexOf('/') + 1)))
            end = raw.lastIndexOf('/', end - 1);
        const int fd = end > 0 ? ::open(raw.left(end).constData(), O_PATH) : -1; // held for the whole run
        if (fd < 0)
            continue;
        replaced.push_back("/proc/self/fd/" + QByteArray::number(fd) + raw.mid(end));
        shownArguments().emplace_back(QFile::decodeName(replaced.back()), QFile::decodeName(raw));
        argv[i] = replaced.back().data();
    }
#endif
}

QString ShownArgument(const QString &path)
{
    for (const auto &[opened, typed] : shownArguments()) {
        const QString fd = opened.section(u'/', 0, 4); // /proc/self/fd/N
        if (path == fd || path.startsWith(fd + u'/'))
            return QDir::cleanPath(typed.left(typed.size() - (opened.size() - fd.size())) + path.mid(fd.size()));
    }
    return path;
}

bool StandardErrorIsRead()
{
    if (qEnvironmentVariableIntValue("QT_ASSUME_STDERR_HAS_CONSOLE")
        || qEnvironmentVariable("QT_QPA_PLATFORM").contains(QLatin1String("offscreen"))
        || qEnvironmentVariable("QT_QPA_PLATFORM").contains(QLatin1String("minimal")))
        return true;
#ifdef Q_OS_WIN
    const HANDLE handle = ::GetStdHandle(STD_ERROR_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return false;
    const DWORD type = ::GetFileType(handle);
    return type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE || type == FILE_TYPE_DISK;
#else
    struct stat info{};
    if (::fstat(STDERR_FILENO, &info) != 0)
        return false;
    return ::isatty(STDERR_FILENO) || S_ISFIFO(info.st_mode) || S_ISREG(info.st_mode);
#endif
}

QStringList WithoutQtOptions(QStringList arguments)
{
    // Qt's own options (QGuiApplication's, QApplication's and X11's), with one dash or two.
    static const QStringList withValue{"platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
                                       "qwindowicon", "qwindowtitle", "session", "style", "stylesheet", "display",
                                       "geometry", "title", "name", "visual", "ncols", "cmap"};
    static const QStringList alone{"reverse", "widgetcount", "nograb", "dograb", "sync", "testability"};
    for (qsizetype i = 1; i < arguments.size();) {
        QString option = arguments[i];
        if (!option.startsWith(u'-') || option == QLatin1String("--"))
            break;
        option = option.mid(option.startsWith(QLatin1String("--")) ? 2 : 1);
        const QString name = option.section(u'=', 0, 0);
        const qsizetype taken = withValue.contains(name) ? (option.contains(u'=') ? 1 : 2) : alone.contains(name) ? 1 : 0;
        if (!taken) {
            ++i;
            continue;
        }
        arguments.remove(i, std::min(taken, arguments.size() - i));
    }
    return arguments;
}

void PrintUsageError(const QString &message)
{
    PrintText(stderr, QStringLiteral("nimbrel: %1\nTry 'nimbrel --help'.\n").arg(message));
}

// One sentence under the title: "Nimbrel cannot start: unknown option 'x'."
void ShowUsageError(QString message)
{
    if (message.endsWith(u'.'))
        message.chop(1);
    if (!message.startsWith(QLatin1String("cannot start")) && !message.isEmpty()) {
        message[0] = message[0].toLower();
        message.prepend(QStringLiteral("cannot start: "));
    }
    QMessageBox box(QMessageBox::Critical, kApplicationTitle, QStringLiteral("Nimbrel %1.").arg(message), QMessageBox::Ok);
    box.setObjectName(QStringLiteral("usageError"));
    centreOnScreenWhenShown(&box);
    box.exec();
}

void ReportUsageError(const QString &message)
{
    PrintUsageError(message);
    if (!StandardErrorIsRead())
        ShowUsageError(message);
}
