#include "Failure.h"

#include "ClimateErrors.h"
#include "Layout.h"
#include "Pictures.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMessageBox>
#include <QThread>

#include <new>
#include <utility>

void UseProgramIcon()
{
    if (QApplication::windowIcon().isNull())
        QApplication::setWindowIcon(SvgIcon(QStringLiteral(":/icons/program.svg"), {32, 32}));
}

void ShowFailure(const QString &message)
{
    QMessageBox box(QMessageBox::Critical, kApplicationTitle, message + u'.', QMessageBox::Ok);
    box.setObjectName(QStringLiteral("failure"));
    centreOnScreenWhenShown(&box);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

namespace {

bool g_busyShown = false;

// The busy cursor a wait put up goes when the command that waited is over.
void endWait()
{
    if (std::exchange(g_busyShown, false))
        QGuiApplication::restoreOverrideCursor();
}

} // namespace

void WaitVisibly(int milliseconds)
{
    if (!std::exchange(g_busyShown, true))
        QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    QElapsedTimer waited;
    waited.start();
    // Paint and timers go on; what the user types waits, and so do signals from outside.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers, milliseconds);
    if (const qint64 left = milliseconds - waited.elapsed(); left > 0)
        QThread::msleep(ulong(left));
}

void RunGuarded(const std::function<void()> &handler)
{
    try {
        handler();
        endWait();
    } catch (const EUserError &error) {
        endWait();
        ShowFailure(error.message());
    } catch (const std::bad_alloc &) {
        endWait();
        ShowFailure(QStringLiteral("Out of memory"));
    } catch (const std::exception &error) {
        endWait();
        ShowFailure(QString::fromLocal8Bit(error.what()));
    }
}
