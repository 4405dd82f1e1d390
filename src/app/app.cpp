#include "CommandLine.h"
#include "EditorFont.h"
#include "FileAccess.h"
#include "Pictures.h"
#include "Weather_Main.h"
#include "about_box_form.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstdio>

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

int main(int argc, char *argv[])
{
    climate::PrepareFileAccess();
#ifdef Q_OS_WIN
    useParentConsole();
#endif

    // The command line is read before any window exists, so --help needs no display.
    {
        QCoreApplication commandLine(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("nimbrel"));
        QTextStream out(stdout);
        QTextStream err(stderr);
        if (const std::optional<int> status = HandleCommandLine(QCoreApplication::arguments(), out, err))
            return *status;
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("nimbrel"));
    QApplication::setWindowIcon(SvgIcon(QStringLiteral(":/icons/program.svg"), {32, 32}));
    QApplication::setFont(EditorFont());

    // The first window made is the main one: closing it ends the program.
    TWeather_Editor_ Weather_Editor_;
    TAboutBox AboutBox(&Weather_Editor_);
    Weather_Editor_.setAboutBox(&AboutBox);

    Weather_Editor_.show();
    return QApplication::exec();
}
