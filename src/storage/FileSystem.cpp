#include "FileSystem.h"

#include <QDir>

#include <chrono>
#include <thread>

namespace storage {

namespace {
std::function<void(int)> &waitHook()
{
    static std::function<void(int)> hook;
    return hook;
}
} // namespace

void SetWaitHook(std::function<void(int)> hook)
{
    waitHook() = std::move(hook);
}

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

void Wait(int milliseconds)
{
    if (waitHook())
        waitHook()(milliseconds);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

} // namespace storage
