#pragma once

#include <QStringList>
#include <QTextStream>

#include <optional>

// The program's command line: `nimbrel [GAME_FOLDER]`, with --help and --version.
//
// Returns the exit status when the program should end without a window (help, version, or
// a folder it cannot start in, reported on err), and nothing when the window should open;
// a game folder given has then become the working folder, where data/weather.cfg is found.
// Needs an application object for the parser's help text.
std::optional<int> HandleCommandLine(const QStringList &arguments, QTextStream &out, QTextStream &err);
