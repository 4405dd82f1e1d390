#include "ClimateFile.h"
#include "CommandLine.h"
#include "EditorFont.h"
#include "SavePolicy.h"
#include "TableActions.h"
#include "Views.h"
#include "GameFolder.h"
#include "Failure.h"
#include "Weather_Main.h"
#include "about_box_form.h"

#include <QApplication>
#include <QDir>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/signalfd.h>
#include <unistd.h>
#endif

#ifdef Q_OS_WIN
#include <windows.h>

// A Windows program has no console of its own: help and messages go to the console it was
// started from, when there is one, or to where its output was sent (a file, a pipe, or the
// console handles nimbrel.com passes on, which are good once the console is joined).
static void useParentConsole()
{
    const bool noOutput = !::GetStdHandle(STD_OUTPUT_HANDLE);
    const bool noError = !::GetStdHandle(STD_ERROR_HANDLE);
    if (!::AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    if (noOutput)
        std::freopen("CONOUT$", "w", stdout);
    if (noError)
        std::freopen("CONOUT$", "w", stderr);
}
#endif

namespace {

constexpr QLatin1StringView kNoDisplay("nimbrel: no display to show the window on (set DISPLAY or WAYLAND_DISPLAY, "
                                       "or choose a platform with -platform)\n");

// Qt ends the program with abort() when no window system can be reached, after several lines
// of advice. Where it is plain beforehand that none can be (no display named, no platform
// chosen), that is said in one line and the program ends; should Qt fail all the same while
// the application object is made, its last word is that line too.
bool noDisplayNamed(int argc, char *argv[])
{
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    return false;
#else
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0
            || std::strncmp(argv[i], "-platform=", 10) == 0 || std::strncmp(argv[i], "--platform=", 11) == 0)
            return false;
    }
    return qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")
           && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#endif
}

template <int Status>
void endWithoutDisplay(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtFatalMsg) {
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
        return;
    }
    if (Status == 1) // with status 2 a wrong command line was said already, which is enough
        std::fputs(kNoDisplay.data(), stderr);
    std::_Exit(Status);
}

// SIGTERM, SIGINT and SIGHUP (a kill, Ctrl+C, a logout) end the program as a session's end
// does: the work not saved stays in the recovery record, and no question waits for an answer
// nobody gives. They are held from before the first thread starts, so that none of Qt's threads
// takes one, and read as events of the loop. The descriptor they are read from, or -1.
int holdTerminationSignals()
{
#ifdef Q_OS_LINUX
    sigset_t held;
    sigemptyset(&held);
    sigaddset(&held, SIGTERM);
    sigaddset(&held, SIGINT);
    sigaddset(&held, SIGHUP);
    const int fd = ::signalfd(-1, &held, SFD_CLOEXEC | SFD_NONBLOCK);
    if (fd >= 0 && ::sigprocmask(SIG_BLOCK, &held, nullptr) == 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
#endif
    return -1;
}

// What such a signal does while context lives; the returned notifier goes with it.
template <typename Leave>
void onTerminationSignals([[maybe_unused]] QObject *context, [[maybe_unused]] int fd, [[maybe_unused]] Leave leave)
{
#ifdef Q_OS_LINUX
    if (fd < 0)
        return;
    auto *notifier = new QSocketNotifier(fd, QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [fd, leave] {
        signalfd_siginfo info{};
        if (::read(fd, &info, sizeof info) == ssize_t(sizeof info))
            leave();
    });
#endif
}

} // namespace

// The window is laid out for an 11-pixel font. Where the desktop's font is larger, the whole
// window is scaled by as much (in quarter steps, never below its own size), as the screen's
// density already scales it: the desktop's font is what the platform tells a first, short-lived
// application, and the scale is Qt's own, set before the real one starts. A scale the user set
// (QT_SCALE_FACTOR) stands, and a platform without a desktop (offscreen) has no font to follow.
static void followDesktopFontSize(int &argc, char **argv)
{
    if (qEnvironmentVariableIsSet("QT_SCALE_FACTOR"))
        return;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "-platform", 9) == 0 || std::strncmp(argv[i], "--platform", 10) == 0)
            return;
    }
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.startsWith("offscreen") || platform.startsWith("minimal"))
        return;
#ifndef Q_OS_WIN
    // Without a desktop (or a platform theme named), Qt's font is its own fixed default: no
    // need to start a first application (some 25 ms) to learn it.
    if (qEnvironmentVariableIsEmpty("XDG_CURRENT_DESKTOP") && qEnvironmentVariableIsEmpty("DESKTOP_SESSION")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORMTHEME"))
        return;
#endif
    qreal pixels = 0;
    {
        QGuiApplication desktop(argc, argv);
        const QFont font = QGuiApplication::font();
        pixels = font.pixelSize() > 0 ? font.pixelSize() : font.pointSizeF() * 96 / 72;
    }
    const qreal scale = std::clamp(std::round(pixels / EditorFont().pixelSize() * 4) / 4, 1.0, 4.0);
    if (scale > 1)
        qputenv("QT_SCALE_FACTOR", QByteArray::number(scale));
}

int main(int argc, char *argv[])
{
    storage::PrepareFileAccess();
#ifdef Q_OS_WIN
    useParentConsole();
#endif
    EnterUndecodableArguments(argc, argv);

    QString usageError; // said on standard error already, still to be shown in a box
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
            || asked.action == CommandLine::Action::Check || asked.action == CommandLine::Action::Diff)
            return RunTableAction(asked);
        if (asked.action == CommandLine::Action::UsageError) {
            PrintUsageError(asked.text);
            if (StandardErrorIsRead())
                return 2;
            usageError = asked.text;
        }
    }

    if (noDisplayNamed(argc, argv)) {
        if (!usageError.isEmpty())
            return 2;
        std::fputs(kNoDisplay.data(), stderr);
        return 1;
    }
    const int terminationSignals = holdTerminationSignals();
    qInstallMessageHandler(usageError.isEmpty() ? endWithoutDisplay<1> : endWithoutDisplay<2>);
    followDesktopFontSize(argc, argv);
    QApplication application(argc, argv); // takes Qt's own options off the command line
    qInstallMessageHandler(nullptr);
    QApplication::setApplicationName(QStringLiteral("nimbrel"));
    QApplication::setFont(EditorFont());
    UseProgramIcon();

    if (!usageError.isEmpty()) {
        QObject quit;
        onTerminationSignals(&quit, terminationSignals, [] { QCoreApplication::exit(2); });
        ShowUsageError(usageError);
        return 2;
    }
    const CommandLine asked = ParseCommandLine(QApplication::arguments());
    if (!asked.folder.isEmpty() && !climate::GameFolderPath(asked.folder)) {
        QObject quit;
        onTerminationSignals(&quit, terminationSignals, [] { QCoreApplication::exit(2); });
        ReportUsageError(QStringLiteral("cannot start in '%1': cannot enter it").arg(ShownArgument(asked.folder)));
        return 2;
    }
#ifdef Q_OS_WIN
    // Closing the console it was started from must not end the editor and its edits.
    ::FreeConsole();
#endif

    // The first window made is the main one: closing it ends the program.
    TWeather_Editor_ Weather_Editor_;
    if (!asked.folder.isEmpty())
        Weather_Editor_.document().setGameFolder(asked.folder);
    TAboutBox AboutBox(&Weather_Editor_);
    Weather_Editor_.setAboutBox(&AboutBox);
    ConnectViews(Weather_Editor_);
    QObject::connect(&application, &QGuiApplication::commitDataRequest, &Weather_Editor_, &TWeather_Editor_::commitData);
    onTerminationSignals(&Weather_Editor_, terminationSignals, [&Weather_Editor_] { Weather_Editor_.keepWorkAndLeave(); });

    Weather_Editor_.show();
    QTimer::singleShot(0, &Weather_Editor_,
                       [&Weather_Editor_] { EnsureGameFolder(&Weather_Editor_, Weather_Editor_.document()); });
    return QApplication::exec();
}
