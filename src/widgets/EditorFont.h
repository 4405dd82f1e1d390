#pragma once

#include <QFont>
#include <QStringList>

// The font of every window: Verdana 11 pixels, or the closest sans-serif installed.
QFont EditorFont();
