#include "ClimateFile.h"
#include "CommandLine.h"
#include "EditorFont.h"
#include "SavePolicy.h"
#include "TableActions.h"
#include "GameFolder.h"
#include "Pictures.h"
#include "Weather_Main.h"
#include "about_box_form.h"

#include <QApplication>
#include <QDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <utility>

#ifdef Q_OS_WIN
#include <windows.h>

// A Windows program has no console of its own: help and messages go to the console it was
// started from, when there is one and the output was not redirected.
static void useParentConsole()
{
    if (::GetStdHandle(STD_OUTPUT_HANDLE) || !::AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    std::freopen("CONOUT$", "w", stdout);
    std::freopen("CONOUT$", "w", stderr);
}
#endif

namespace {

// Qt ends the program with abort() when no window system can be reached, after several lines
// of advice. While the application object is made, say it in one line and exit instead; any
// other message is held and shown once the application exists.
QList<std::pair<QtMsgType, QString>> g_heldMessages;
// A usage error already told on standard error, still to be shown in a box.
QString g_usageError;

void holdStartupMessage(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg) {
        if (!g_usageError.isEmpty())
            std::_Exit(2); // the command line was wrong, and that is said already
        std::fputs("nimbrel: no display to show the window on (set DISPLAY or WAYLAND_DISPLAY, "
                   "or choose a platform with -platform)\n",
                   stderr);
        std::_Exit(1);
    }
    g_heldMessages.append({type, message});
}

void showHeldMessages()
{
    qInstallMessageHandler(nullptr);
    for (const auto &[type, message] : std::as_const(g_heldMessages))
        qt_message_output(type, QMessageLogContext(), message);
    g_heldMessages.clear();
}

} // namespace

int main(int argc, char *argv[])
{
    storage::PrepareFileAccess();
#ifdef Q_OS_WIN
    useParentConsole();
#endif
    EnterUndecodableArguments(argc, argv);

    // The command line is judged before any window system is needed: help, the version and
    // a usage error need none, unless nobody reads standard error and a box must say it.
    {
        QCoreApplication commandLine(argc, argv);
        const CommandLine asked = ParseCommandLine(WithoutQtOptions(QCoreApplication::arguments()));
        if (asked.action == CommandLine::Action::Help || asked.action == CommandLine::Action::Version) {
            PrintText(stdout, asked.text.endsWith(u'\n') ? asked.text : asked.text + u'\n');
            return 0;
        }
        if (asked.action == CommandLine::Action::Export || asked.action == CommandLine::Action::Import
            || asked.action == CommandLine::Action::Check)
            return RunTableAction(asked);
        if (asked.action == CommandLine::Action::UsageError) {
            PrintUsageError(asked.text);
            if (StandardErrorIsConsole())
                return 2;
            g_usageError = asked.text;
        }
    }

    qInstallMessageHandler(holdStartupMessage);
    QApplication application(argc, argv); // takes Qt's own options off the command line
    showHeldMessages();
    QApplication::setApplicationName(QStringLiteral("nimbrel"));
    QApplication::setWindowIcon(SvgIcon(QStringLiteral(":/icons/program.svg"), {32, 32}));
    QApplication::setFont(EditorFont());

    if (!g_usageError.isEmpty()) {
        ShowUsageError(g_usageError);
        return 2;
    }
    const CommandLine asked = ParseCommandLine(QApplication::arguments());
    if (!asked.folder.isEmpty() && !climate::EnterGameFolder(asked.folder)) {
        ReportUsageError(QStringLiteral("cannot start in '%1': cannot enter it").arg(asked.folder));
        return 2;
    }
#ifdef Q_OS_WIN
    // Closing the console it was started from must not end the editor and its edits.
    ::FreeConsole();
#endif

    // The first window made is the main one: closing it ends the program.
    TWeather_Editor_ Weather_Editor_;
    TAboutBox AboutBox(&Weather_Editor_);
    Weather_Editor_.setAboutBox(&AboutBox);

    Weather_Editor_.show();
    QTimer::singleShot(0, &Weather_Editor_, [&Weather_Editor_] { EnsureGameFolder(&Weather_Editor_); });
    return QApplication::exec();
}
