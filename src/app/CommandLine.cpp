#include "CommandLine.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

namespace {

constexpr int kUsageError = 2;

} // namespace

std::optional<int> HandleCommandLine(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Edits the climate of a game: the seasons of every region in data/weather.cfg\n"
                       "under the game folder (the working folder when none is given)."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("GAME_FOLDER"),
                                 QStringLiteral("The game's folder, the one that holds data/weather.cfg."),
                                 QStringLiteral("[GAME_FOLDER]"));

    const QString program = QStringLiteral("nimbrel");
    if (!parser.parse(arguments)) {
        err << program << ": " << parser.errorText() << "\nTry 'nimbrel --help'.\n";
        return kUsageError;
    }
    if (parser.isSet(help)) {
        out << parser.helpText();
        return 0;
    }
    if (parser.isSet(version)) {
        out << program << ' ' << QStringLiteral(NIMBREL_VERSION) << '\n';
        return 0;
    }

    const QStringList folders = parser.positionalArguments();
    if (folders.size() > 1) {
        err << program << ": one game folder at most\nTry 'nimbrel --help'.\n";
        return kUsageError;
    }
    if (folders.isEmpty())
        return std::nullopt;

    const QString &folder = folders.constFirst();
    const QFileInfo info(folder);
    QString problem;
    if (!info.exists())
        problem = QStringLiteral("no such folder");
    else if (!info.isDir())
        problem = QStringLiteral("not a folder");
    else if (!QDir::setCurrent(folder))
        problem = QStringLiteral("cannot enter it");
    if (!problem.isEmpty()) {
        err << program << ": cannot start in '" << folder << "': " << problem << '\n';
        return kUsageError;
    }
    return std::nullopt;
}
