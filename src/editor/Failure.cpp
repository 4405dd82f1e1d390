#include "Failure.h"

#include "ClimateErrors.h"
#include "Layout.h"

#include <QMessageBox>

#include <new>

void ShowFailure(const QString &message)
{
    QMessageBox box(QMessageBox::Critical, kApplicationTitle, message + u'.', QMessageBox::Ok);
    box.setObjectName(QStringLiteral("failure"));
    centreOnScreenWhenShown(&box);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

void RunGuarded(const std::function<void()> &handler)
{
    try {
        handler();
    } catch (const EUserError &error) {
        ShowFailure(error.message());
    } catch (const std::bad_alloc &) {
        ShowFailure(QStringLiteral("Out of memory"));
    } catch (const std::exception &error) {
        ShowFailure(QString::fromLocal8Bit(error.what()));
    }
}
