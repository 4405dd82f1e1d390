#include "Failure.h"
#include "Weather_Main.h"

#include <QApplication>
#include <QDialog>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("nimbrel"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/program.svg")));
    QApplication::setFont(EditorFont());

    TWeather_Editor_ Weather_Editor_;
    QDialog AboutBox(&Weather_Editor_);
    AboutBox.setWindowTitle(QStringLiteral("About"));
    Weather_Editor_.setAboutBox(&AboutBox);

    Weather_Editor_.show();
    return QApplication::exec();
}
