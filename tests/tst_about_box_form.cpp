#include "TToolbarButton97.h"
#include "LicencesBox.h"
#include "Weather_Main.h"
#include "about_box_form.h"
#include "scroll_text.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTimer>
#include <QMenu>
#include <QScreen>
#include <QTest>
#include <QToolButton>

class TestAboutBox : public QObject
{
    Q_OBJECT

private:
    // Shows the box modally, lets act run while it is up, and returns the modal result.
    template <typename Act>
    int showModal(TAboutBox &box, Act act)
    {
        int result = -1;
        QTimer::singleShot(0, &box, [&] {
            QTRY_VERIFY(box.isVisible());
            act();
            QTRY_VERIFY(!box.isVisible());
        });
        result = box.exec();
        return result;
    }

private slots:
    void isAFixedDialog()
    {
        TAboutBox box;
        QCOMPARE(box.windowTitle(), QStringLiteral("About"));
        QCOMPARE(box.size(), QSize(296, 205));
        QCOMPARE(box.minimumSize(), box.maximumSize());
        QVERIFY(!(box.windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(box.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(box.windowFlags() & Qt::WindowCloseButtonHint);
    }

    void controlsStandAtTheirPlaces_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("bounds");
        QTest::newRow("OK") << "ToolbarButton971" << QRect(111, 176, 75, 25);
        QTest::newRow("Panel10") << "Panel10" << QRect(8, 8, 281, 161);
        QTest::newRow("ProgramIcon") << "ProgramIcon" << QRect(16, 16, 49, 49);
        QTest::newRow("ProductName") << "ProductName" << QRect(72, 16, 177, 26);
        QTest::newRow("Comments") << "Comments" << QRect(32, 88, 241, 30);
        QTest::newRow("Image1") << "Image1" << QRect(8, 94, 20, 19);
        QTest::newRow("Image2") << "Image2" << QRect(8, 114, 20, 17);
        QTest::newRow("Image3") << "Image3" << QRect(8, 69, 19, 19);
        QTest::newRow("ScrollText1") << "ScrollText1" << QRect(10, 134, 262, 18);
    }

    void controlsStandAtTheirPlaces()
    {
        QFETCH(QString, name);
        QFETCH(QRect, bounds);
        TAboutBox box;
        QWidget *control = box.findChild<QWidget *>(name);
        QVERIFY(control);
        QCOMPARE(control->geometry(), bounds);
    }

    void textsAreInPlaceAndUnclipped()
    {
        TAboutBox box;
        QCOMPARE(box.Version->text(), QStringLiteral("Version 1.03"));
        QCOMPARE(box.Version->pos(), QPoint(72, 48));
        QCOMPARE(box.Copyright->pos(), QPoint(32, 72));
        QCOMPARE(box.Label120->pos(), QPoint(32, 116));
        QVERIFY(box.ProductName->text().contains(QStringLiteral("[Kest]")));
        QVERIFY(box.Label120->text().endsWith(QStringLiteral("@example.org")));
        QCOMPARE(box.ToolbarButton971->focusPolicy(), Qt::StrongFocus); // its one control to take the focus
        for (QLabel *label : {box.ProductName, box.Comments}) {
            const QRect needed = label->fontMetrics().boundingRect(label->rect(), Qt::TextWordWrap, label->text());
            QVERIFY2(needed.height() <= label->height() && needed.width() <= label->width(),
                     qPrintable(label->objectName()));
        }
        for (QLabel *label : {box.Version, box.Copyright, box.Label120})
            QVERIFY(label->width() >= label->fontMetrics().horizontalAdvance(label->text()));
        for (QLabel *picture : {box.Image1, box.Image2, box.Image3, box.ProgramIcon})
            QVERIFY2(!picture->pixmap().isNull(), qPrintable(picture->objectName()));
    }

    void creditLineScrollsEvenWhileHidden()
    {
        TAboutBox box;
        TScrollText *strip = box.ScrollText1;
        QCOMPARE(strip->Distance(), std::uint8_t(1));
        QCOMPARE(strip->Time(), std::uint16_t(50));
        QCOMPARE(strip->BevelOuter(), TPanel::bvLowered);
        QCOMPARE(strip->Panel1->size(), QSize(260, 16));
        QCOMPARE(strip->Hint(), QStringLiteral("[Kest] : ") + strip->ScrollingText());
        QVERIFY(strip->ScrollingText().contains(box.Label120->text()));
        QVERIFY(!box.isVisible());
        const int start = strip->Label1->x();
        QVERIFY(start >= 250 && start <= 258); // entering at the right edge
        QTRY_VERIFY(strip->Label1->x() <= start - 3);
    }

    void firstShowingIsCentredLaterOnesStayWhereLeft()
    {
        TAboutBox box;
        const QRect screen = box.screen()->availableGeometry();
        QRect frame;
        QCOMPARE(showModal(box, [&] {
                     frame = box.frameGeometry();
                     box.ToolbarButton971->click();
                 }),
                 int(QDialog::Rejected));
        // The whole window, frame and all, is centred (the offscreen platform draws a frame).
        QVERIFY(frame.size() != box.size());
        QVERIFY2((frame.center() - screen.center()).manhattanLength() <= 2, qPrintable(QString::number(frame.x())));

        showModal(box, [&] {
            box.move(12, 34);
            box.ToolbarButton971->click();
        });
        showModal(box, [&] { box.close(); });
        QCOMPARE(box.pos(), QPoint(12, 34));
    }

    // OK, the close box, Alt+F4, Esc, Enter and the keypad's Enter all close it, cancelled; OK
    // takes the focus, so a screen reader lands on the dialog.
    void everyWayOfClosingCancels_data()
    {
        QTest::addColumn<int>("key"); // 0: the mouse on OK, -1: the window's close
        QTest::newRow("OK") << 0;
        QTest::newRow("close box, Alt+F4") << -1;
        QTest::newRow("Esc") << int(Qt::Key_Escape);
        QTest::newRow("Return") << int(Qt::Key_Return);
        QTest::newRow("Enter") << int(Qt::Key_Enter);
    }

    void everyWayOfClosingCancels()
    {
        QFETCH(int, key);
        TAboutBox box;
        bool focused = false;
        QCOMPARE(showModal(box, [&] {
                     focused = box.focusWidget() == box.ToolbarButton971;
                     if (key > 0)
                         QTest::keyClick(&box, Qt::Key(key));
                     else if (key < 0)
                         box.close();
                     else
                         QTest::mouseClick(box.ToolbarButton971, Qt::LeftButton);
                 }),
                 int(QDialog::Rejected));
        QVERIFY(!box.isVisible());
        QVERIFY(focused);
    }

    void theMainWindowShowsIt()
    {
        TWeather_Editor_ window;
        TAboutBox box(&window);
        window.setAboutBox(&box);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QTimer::singleShot(0, &box, [&] {
            QTRY_VERIFY(box.isVisible());
            QVERIFY(box.isModal());
            box.ToolbarButton971->click();
        });
        QTest::mouseClick(window.findChild<QToolButton *>(QStringLiteral("ToolbarButton971")), Qt::LeftButton);
        QVERIFY(!box.isVisible());

        QTimer::singleShot(0, &box, [&] {
            QTRY_VERIFY(box.isVisible());
            box.close();
        });
        window.findChild<QMenu *>(QStringLiteral("help_popup"))->actions().at(0)->trigger();
        QVERIFY(!box.isVisible());
    }

    // Help > Licences...: each text read back from the program itself, one tab each; Esc closes.
    void theLicencesAreInTheProgram_data()
    {
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QString>("holds");
        QTest::newRow("Nimbrel's") << "Nimbrel" << "Permission is hereby granted, free of charge";
        QTest::newRow("Qt's notice") << "Qt" << QStringLiteral("Qt %1, a toolkit").arg(QLatin1String(qVersion()));
        QTest::newRow("LGPL") << "LGPL-3.0" << "GNU LESSER GENERAL PUBLIC LICENSE";
        QTest::newRow("GPL") << "GPL-3.0" << "GNU GENERAL PUBLIC LICENSE";
#ifdef Q_OS_WIN
        QTest::newRow("notices") << "Third-party notices" << "MinGW-w64 runtime";
#else
        QTest::newRow("notices") << "Third-party notices" << "/usr/share/doc/libqt6core6/copyright";
#endif
    }

    void theLicencesAreInTheProgram()
    {
        QFETCH(QString, tab);
        QFETCH(QString, holds);
        TWeather_Editor_ window;
        QString shown;
        QTimer::singleShot(0, &window, [&] {
            QTRY_VERIFY(window.findChild<TLicencesBox *>());
            auto *box = window.findChild<TLicencesBox *>();
            QTRY_VERIFY(box->isVisible());
            for (int i = 0; i < box->Documents_Tabs->count(); ++i) {
                if (box->Documents_Tabs->tabText(i) == tab)
                    shown = static_cast<QPlainTextEdit *>(box->Documents_Tabs->widget(i))->toPlainText();
            }
            QTest::keyClick(box, Qt::Key_Escape);
        });
        window.findChild<QAction *>(QStringLiteral("Licences1"))->trigger();
        QVERIFY(!window.findChild<TLicencesBox *>()->isVisible());
        QVERIFY2(shown.contains(holds), qPrintable(shown.left(200)));
        QVERIFY(!shown.contains(QChar(0xfeff)) && !shown.contains(QLatin1Char('\r')));
    }
};

QTEST_MAIN(TestAboutBox)
#include "tst_about_box_form.moc"
