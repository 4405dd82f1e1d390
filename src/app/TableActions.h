#pragma once

struct CommandLine;

// The table's command-line actions (--export, --import, --check) on the game the command line
// named. No display is needed: what was asked for goes to standard output, messages to
// standard error. The exit status: 0, 1 for a problem in the data or a file, 2 for the
// command line.
int RunTableAction(const CommandLine &asked);
