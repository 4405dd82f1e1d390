#include "LicencesBox.h"

#include "Layout.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

QString resourceText(const QString &name)
{
    QFile file(QStringLiteral(":/licences/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("(%1 is missing from this build.)").arg(name);
    QString text = QString::fromUtf8(file.readAll());
    text.remove(QChar(0xfeff));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

QString qtNotice()
{
    return QStringLiteral(
               "Nimbrel uses Qt %1, a toolkit for building programs, under the GNU Lesser General Public "
               "License version 3 (LGPL-3.0), whose text is on the tab \"LGPL-3.0\", with the GNU General Public "
               "License version 3 that it builds on (\"GPL-3.0\").\n\n"
               "Qt is Copyright (C) 2022 The Qt Company Ltd. and other contributors.\n\n"
               "You may change Qt and use Nimbrel with your changed Qt. ")
               .arg(QString::fromLatin1(qVersion()))
#ifdef Q_OS_WIN
           + QStringLiteral(
               "nimbrel.exe contains Qt: the zip it came in holds Nimbrel's source "
               "(Nimbrel-" NIMBREL_VERSION "-source.zip), and the archive beside that zip, Nimbrel-" NIMBREL_VERSION
               "-qt-source.tar, holds Qt's exact source, the changes made to it and the script that built it "
               "(qt-source\\SOURCES.txt says what is where). The source's README.md, \"The Windows program "
               "with your own Qt\", gives the steps to rebuild nimbrel.exe with your own Qt.")
#else
           + QStringLiteral(
               "Nimbrel uses the Qt libraries installed on this system, so a Qt you install in their place is "
               "the one it uses. Qt's source is where your system's packages come from (on Debian: apt-get "
               "source qt6-base).")
#endif
           + QStringLiteral("\n\nHelp > About Qt tells more about Qt and its licences.");
}

} // namespace

QList<std::pair<QString, QString>> TLicencesBox::Documents()
{
    return {
        {QStringLiteral("Nimbrel"), resourceText(QStringLiteral("LICENSE"))},
        {QStringLiteral("Qt"), qtNotice()},
        {QStringLiteral("LGPL-3.0"), resourceText(QStringLiteral("LGPL-3.0.txt"))},
        {QStringLiteral("GPL-3.0"), resourceText(QStringLiteral("GPL-3.0.txt"))},
#ifdef Q_OS_WIN
        {QStringLiteral("Third-party notices"), resourceText(QStringLiteral("THIRD-PARTY-NOTICES.txt"))},
#else
        {QStringLiteral("Third-party notices"),
         QStringLiteral("Qt and the libraries it uses (FreeType, HarfBuzz, libpng, zlib and others) are this "
                        "system's own shared libraries, installed with their own licences and notices: on Debian "
                        "and Ubuntu in /usr/share/doc/<package>/copyright, such as "
                        "/usr/share/doc/libqt6core6/copyright.")},
#endif
    };
}

TLicencesBox::TLicencesBox(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("LicencesBox"));
    setWindowTitle(QStringLiteral("Licences"));
    resize(620, 460);
    centreOnScreenWhenShown(this);

    Documents_Tabs = new QTabWidget(this);
    Documents_Tabs->setObjectName(QStringLiteral("Documents_Tabs"));
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    for (const auto &[title, text] : Documents()) {
        auto *page = new QPlainTextEdit(text);
        page->setReadOnly(true);
        // A caret to read by, as in a document: Ctrl+End, line by line, a screen reader's
        // reading follows it; nothing can be typed.
        page->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
        page->setAccessibleName(title);
        page->setFont(fixed);
        page->setLineWrapMode(title == QStringLiteral("Qt") || title.startsWith(QStringLiteral("Third"))
                                  ? QPlainTextEdit::WidgetWidth
                                  : QPlainTextEdit::NoWrap);
        // Tab moves on to the next control instead of typing into a text nobody edits.
        page->setTabChangesFocus(true);
        Documents_Tabs->addTab(page, title);
    }

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->setObjectName(QStringLiteral("Buttons"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Documents_Tabs);
    layout->addWidget(buttons);
}
