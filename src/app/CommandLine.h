#pragma once

#include "ClimateExchange.h"

#include <QString>
#include <QStringList>

#include <cstdio>

// What the command line `nimbrel [GAME_FOLDER | GAME_FOLDER/data/weather.cfg]` asks for, or
// one of the table's actions on the game: --export, --import FILE, --check, --diff OTHER.
struct CommandLine
{
    enum class Action { Start, Help, Version, UsageError, Export, Import, Check, Diff };

    Action action = Action::Start;
    // Help: the help text; Version: the version line; UsageError: what was wrong, one line.
    QString text;
    // Start: the folder to start in, empty for the working folder. When the argument named
    // a game's data folder or its weather.cfg, this is the game folder above it. The table's
    // actions: the game folder.
    QString folder;
    climate::ExchangeFormat format = climate::ExchangeFormat::Csv; // Export, Check (its report), Diff
    QString importFile;                                            // Import
    QString otherFolder;                                           // Diff: the other game's folder
    QString otherShown;                                            // Diff: the other game as typed
    bool strict = false;                                           // Check: warnings fail too
};

// A folder or file named on the command line in bytes that are no text in the locale (a name
// from a Windows zip on a UTF-8 system) would be misspelt once it went through a QString:
// such an argument is opened here by its bytes and becomes /proc/self/fd/N (with the rest of
// its path, where that is text), which the system leads to exactly what was named. The working
// folder is never changed. Called before anything reads the arguments; Linux only.
void EnterUndecodableArguments(int argc, char *argv[]);
// A path as the user typed it, for messages: one that stands for an argument opened above is
// given back its spelling (as near as text can show it).
QString ShownArgument(const QString &path);

// Reads the program's arguments (the program name first). Help and the version are answered
// even when other options are not understood, so that they need no window system: Qt's own
// options are taken off only once the application object exists.
CommandLine ParseCommandLine(QStringList arguments);

// The arguments without Qt's own options (-platform, -style and the like), as the
// application object will take them off: so the command line can be judged before there is one.
QStringList WithoutQtOptions(QStringList arguments);

// A usage error on standard error; in a message box, one sentence under the application
// title (needs a QApplication); or both where nobody would read standard error (started from
// a file manager, a desktop menu or Explorer).
void PrintUsageError(const QString &message);
void ShowUsageError(QString message);
void ReportUsageError(const QString &message);

// Writes text to standard output or error as the reader will see it: into a Windows console
// in its own characters, redirected in the console's (or the system's) code page, and in the
// locale's encoding elsewhere. False when it did not all get there.
bool PrintText(std::FILE *stream, const QString &text);

// Whether someone may read standard error: a terminal or console, a pipe, a file (a script, a
// CI), or a platform nobody sees (offscreen); QT_ASSUME_STDERR_HAS_CONSOLE says yes as it does
// for Qt's own messages. Only a program started from a desktop (standard error closed, or
// /dev/null, or a log) tells a usage error in a box.
bool StandardErrorIsRead();
