#include "FileSystem.h"

#include <QDir>

#include <chrono>
#include <thread>

namespace storage {

QString CacheFolderPath()
{
#ifdef Q_OS_WIN
    return QDir::fromNativeSeparators(qEnvironmentVariable("LOCALAPPDATA")) + QStringLiteral("/nimbrel");
#else
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (base.isEmpty())
        base = qEnvironmentVariable("HOME") + QStringLiteral("/.cache");
    return base + QStringLiteral("/nimbrel");
#endif
}

void Wait(const Waiter &wait, int milliseconds)
{
    if (wait)
        wait(milliseconds);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

} // namespace storage
