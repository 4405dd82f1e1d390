#pragma once

#include <QByteArrayView>
#include <QString>


namespace climate {

// Names and values are bytes in the game's Windows code page; this is how they look.
QString FromWindows1252(QByteArrayView bytes);

} // namespace climate
