#pragma once

#include <QString>

#include <functional>

// The program's title: its task-bar entry and the caption of every failure message.
inline const QString kApplicationTitle = QStringLiteral("Nimbrel - Climate Editor by [Kest]");

// The program's icon on every window of it (dialogs and message boxes too), drawn once.
void UseProgramIcon();

// The application's one failure handler: a modal message box with the title as caption, the
// stop icon, one OK button and the message followed by a period.
void ShowFailure(const QString &message);

// A wait of the file layer (another program's save holds the file) seen from the window: the
// busy cursor until the command that waits is over, the window painted meanwhile.
void WaitVisibly(int milliseconds);

// Runs a handler; a failure that escapes it is shown and goes no further, and the program
// goes on. An exception must never unwind through Qt's own frames, so every handler is
// connected through guarded().
void RunGuarded(const std::function<void()> &handler);

template <typename Object>
auto guarded(Object *object, void (Object::*handler)())
{
    return [object, handler] { RunGuarded([object, handler] { (object->*handler)(); }); };
}
