#include "Failure.h"

#include "ClimateErrors.h"
#include "Layout.h"
#include "Pictures.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMessageBox>
#include <QThread>

#include <new>

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

// The busy cursor a wait put up goes when the command that waited is over. The cursor stack
// itself says whether a wait put one up: nothing else of the program shows a busy cursor.
bool busyShown()
{
    const QCursor *shown = QGuiApplication::overrideCursor();
    return shown && shown->shape() == Qt::BusyCursor;
}

void endWait()
{
    if (busyShown())
        QGuiApplication::restoreOverrideCursor();
}

} // namespace

void WaitVisibly(int milliseconds)
{
    if (!busyShown())
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
