#include "GameFolder.h"

#include "ClimateDocument.h"
#include "ClimateFile.h"
#include "Failure.h"

#include <QDir>
#include <QApplication>
#include <QFileDialog>
#include <QTimer>
#include <QScopeGuard>
#include <QFileInfo>
#include <QMessageBox>
#include <QSettings>
#include <QVariantMap>

namespace {

// The file that Open would read in a game folder, when it is a file.
QFileInfo climateFileIn(const QString &gameFolder)
{
    return QFileInfo(climate::ResolveFileName(gameFolder + QStringLiteral("/data/weather.cfg")));
}

// Qt's folder chooser records the folders it visited in the user's settings, which every Qt
// program of the user shares; the editor keeps none. Where the settings are a file, they are
// sent where none can be made; in the Windows registry, what the chooser wrote is put back
// as it was once the chooser is gone.
class NoChooserHistory
{
public:
    NoChooserHistory()
    {
#ifdef Q_OS_WIN
        QSettings settings(QSettings::UserScope, QStringLiteral("QtProject"));
        settings.beginGroup(QStringLiteral("FileDialog"));
        for (const QString &key : settings.childKeys())
            m_before.insert(key, settings.value(key));
#else
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/dev/null"));
#endif
    }
    NoChooserHistory(const NoChooserHistory &) = delete;
    NoChooserHistory &operator=(const NoChooserHistory &) = delete;
#ifdef Q_OS_WIN
    ~NoChooserHistory()
    {
        QSettings settings(QSettings::UserScope, QStringLiteral("QtProject"));
        settings.beginGroup(QStringLiteral("FileDialog"));
        for (const QString &key : settings.childKeys()) {
            if (!m_before.contains(key))
                settings.remove(key);
        }
        for (auto it = m_before.cbegin(); it != m_before.cend(); ++it)
            settings.setValue(it.key(), it.value());
    }

private:
    QVariantMap m_before;
#endif
};

} // namespace

std::optional<QString> GameFolderOf(const QString &path)
{
    // Relative stays relative: a folder is entered by the bytes of its name, never by a
    // spelling that went through text (a name from a Windows zip need not be UTF-8).
    const QString given = QDir::cleanPath(path);
    const QFileInfo info(given);
    if (info.isDir() && climateFileIn(given).isFile())
        return given;

    // A data folder or the file itself counts when Open, started in the game folder above,
    // would read exactly that file (QFileInfo compares canonical paths, in the file system's case).
    QFileInfo file = info;
    QString game = QDir::cleanPath(given + QStringLiteral("/../.."));
    if (info.isDir()) {
        file.setFile(climate::ResolveFileName(given + QStringLiteral("/weather.cfg")));
        game = QDir::cleanPath(given + QStringLiteral("/.."));
    } else {
        const qsizetype slash = given.lastIndexOf(u'/');
        game = QDir::cleanPath((slash < 0 ? QStringLiteral(".") : given.left(std::max<qsizetype>(slash, 1)))
                               + QStringLiteral("/.."));
    }
    if (file.isFile() && climateFileIn(game) == file)
        return game;
    return std::nullopt;
}

bool EnsureGameFolder(QWidget *parent, ClimateDocument &document)
{
    if (GameFolderOf(document.gameFolder()))
        return true;
    QString start = document.gameFolder();
    const NoChooserHistory noHistory;
    // However the chooser ends, the window it was asked for takes the focus back: the window
    // manager may hand it back to the window while Qt still holds it inactive, with no focus
    // anywhere and Tab doing nothing.
    const auto giveBackFocus = qScopeGuard([parent] {
        if (!parent)
            return;
        parent->activateWindow();
        QTimer::singleShot(500, parent, [parent] {
            if (parent->isVisible() && !QApplication::activeWindow() && !QApplication::activeModalWidget()
                && !QApplication::activePopupWidget())
                QApplication::setActiveWindow(parent->window());
        });
    });
    for (;;) {
        QFileDialog chooser(parent, QStringLiteral("Choose the game folder"), start);
        chooser.setObjectName(QStringLiteral("gameFolderChooser"));
        chooser.setFileMode(QFileDialog::Directory);
        chooser.setOption(QFileDialog::ShowDirsOnly);
        if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty())
            return false;
        const QString chosen = chooser.selectedFiles().constFirst();
        if (const std::optional<QString> game = GameFolderOf(chosen); game && document.setGameFolder(*game))
            return true;

        QMessageBox box(QMessageBox::Warning, kApplicationTitle,
                        QStringLiteral("'%1' holds no %2.\n\nChoose the game's own folder, the one with the data "
                                       "folder in it.")
                            .arg(QDir::toNativeSeparators(chosen),
                                 QDir::toNativeSeparators(QStringLiteral("data/weather.cfg"))),
                        QMessageBox::Ok, parent);
        box.setObjectName(QStringLiteral("notAGameFolder"));
        box.exec();
        start = chosen;
    }
}
