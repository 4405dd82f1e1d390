#include "TSpinEdit.h"
#include "ValueRules.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QAccessible>
#include <QTest>
#include <QToolButton>

#include <limits>

class TestTSpinEdit : public QObject
{
    Q_OBJECT

private:
    // Puts text into the editor the way a user pastes or drops it.
    void paste(const QString &how, const QString &text)
    {
        QLineEdit *edit = m_spin->lineEdit();
        if (how == QStringLiteral("input method")) { // also dead keys and the Compose key
            QInputMethodEvent event;
            event.setCommitString(text);
            QApplication::sendEvent(edit, &event);
            return;
        }
        if (how == QStringLiteral("drop")) {
            QMimeData data;
            data.setText(text);
            const QPoint at(edit->width() - 2, edit->height() / 2);
            QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(edit, &enter);
            QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(edit, &drop);
            return;
        }
        QGuiApplication::clipboard()->setText(text);
        if (how == QStringLiteral("Ctrl+V")) {
            QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        } else if (how == QStringLiteral("Shift+Insert")) {
            QTest::keyClick(edit, Qt::Key_Insert, Qt::ShiftModifier);
        } else {
            QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(2, 2), edit->mapToGlobal(QPoint(2, 2)));
            QApplication::sendEvent(edit, &menuEvent);
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            QVERIFY(menu);
            const QList<QAction *> actions = menu->actions();
            const auto action = std::find_if(actions.begin(), actions.end(), [](const QAction *a) {
                return a->text().startsWith(QStringLiteral("&Paste"));
            });
            QVERIFY(action != actions.end());
            (*action)->trigger();
            menu->close();
        }
    }

    std::unique_ptr<QWidget> m_window;
    TSpinEdit *m_spin = nullptr;
    QLineEdit *m_other = nullptr;

private slots:
    void init()
    {
        m_window = std::make_unique<QWidget>();
        m_spin = new TSpinEdit(climate::ReadEditorNumber, m_window.get());
        m_spin->setGeometry(0, 0, 48, 22);
        m_spin->setBounds(-1, 100);
        m_spin->setMaxLength(3);
        m_other = new QLineEdit(m_window.get());
        m_other->move(0, 40);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_spin->setFocus();
    }

    // A screen reader meets a spin button: its value, bounds and step, its arrows named.
    void isASpinButtonToAScreenReader()
    {
        m_spin->setValue(42);
        QAccessibleInterface *spin = QAccessible::queryAccessibleInterface(m_spin);
        QCOMPARE(spin->role(), QAccessible::SpinBox);
        QAccessibleValueInterface *value = spin->valueInterface();
        QVERIFY(value);
        QCOMPARE(value->currentValue().toInt() * 1000000 + value->minimumValue().toInt() * 1000 + value->maximumValue().toInt(),
                 42 * 1000000 - 1000 + 100);
        QCOMPARE(value->minimumStepSize().toInt(), 1);
        value->setCurrentValue(150);
        QCOMPARE(m_spin->text(), QStringLiteral("100"));
        QStringList arrows;
        for (QToolButton *arrow : m_spin->findChildren<QToolButton *>())
            arrows << arrow->accessibleName();
        arrows.sort();
        QCOMPARE(arrows, (QStringList{"Decrease", "Increase"}));
    }

    // The spin button takes the focus itself (a screen reader hears one spin button, whose
    // text it reads and edits), and hands the keys to the line inside.
    void isTheFocusAndItsOwnText()
    {
        QCOMPARE(QApplication::focusWidget(), m_spin);
        for (const Qt::Key key : {Qt::Key_Up, Qt::Key_Left, Qt::Key_5})
            QTest::keyClick(m_spin, key);
        QCOMPARE(m_spin->text(), QStringLiteral("51"));
        QAccessibleTextInterface *text = QAccessible::queryAccessibleInterface(m_spin)->textInterface();
        QVERIFY(text);
        QCOMPARE(text->text(0, text->characterCount()) + QString::number(text->cursorPosition()), QStringLiteral("511"));
    }

    void startsAtZero()
    {
        QCOMPARE(TSpinEdit(climate::ReadEditorNumber).text(), QStringLiteral("0"));
    }

    void readsWithoutClamping_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("plain") << "42" << 42;
        QTest::newRow("above the bounds") << "999" << 999;
        QTest::newRow("below the bounds") << "-99" << -99;
        QTest::newRow("plus sign") << "+7" << 7;
        QTest::newRow("leading blanks") << "  5" << 5;
        QTest::newRow("hexadecimal") << "$1F" << 31;
        QTest::newRow("hexadecimal, small letters") << "$ff" << 255;
        QTest::newRow("smallest integer") << "-2147483648" << -2147483647 - 1;
        QTest::newRow("beyond 32 bits") << "2147483648" << -1;
        QTest::newRow("dollar alone") << "$" << -1;
        QTest::newRow("letters") << "x1" << -1;
        QTest::newRow("empty is MinValue") << "" << -1;
        QTest::newRow("sign alone") << "-" << -1;
        QTest::newRow("trailing blank") << "5 " << -1;
        QTest::newRow("decimal separator") << "1.5" << -1;
    }

    void readsWithoutClamping()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        m_spin->setMaxLength(32767);
        m_spin->setText(text);
        QCOMPARE(m_spin->Value(), value);
    }

    void setsClamped_data()
    {
        QTest::addColumn<int>("minValue");
        QTest::addColumn<int>("maxValue");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("inside") << -1 << 100 << 55 << "55";
        QTest::newRow("above") << -1 << 100 << 150 << "100";
        QTest::newRow("below") << -1 << 100 << -5 << "-1";
        QTest::newRow("start day") << 0 << 365 << 400 << "365";
        QTest::newRow("equal bounds do not clamp") << 0 << 0 << 999 << "999";
    }

    void setsClamped()
    {
        QFETCH(int, minValue);
        QFETCH(int, maxValue);
        QFETCH(int, value);
        QFETCH(QString, text);
        m_spin->setBounds(minValue, maxValue);
        m_spin->setValue(value);
        QCOMPARE(m_spin->text(), text);
    }

    void filtersKeys_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("text");
        QTest::newRow("digits") << "42" << "42";
        QTest::newRow("letters dropped") << "4a2b" << "42";
        QTest::newRow("signs") << "+7" << "+7";
        QTest::newRow("minus") << "-5" << "-5";
        QTest::newRow("decimal separator") << QString(u'1' + QLocale().decimalPoint() + u'5') << QString(u'1' + QLocale().decimalPoint() + u'5');
        QTest::newRow("space dropped") << "1 2" << "12";
        QTest::newRow("three characters at most") << "12345" << "123";
    }

    void filtersKeys()
    {
        QFETCH(QString, typed);
        QFETCH(QString, text);
        m_spin->lineEdit()->clear();
        QTest::keyClicks(m_spin->lineEdit(), typed);
        QCOMPARE(m_spin->text(), text);
    }

    // Pasted or dropped text passes the rules of typing, character by character.
    void pastedTextFollowsTheTypingRules_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("after");
        for (const char *how : {"Ctrl+V", "Shift+Insert", "context menu", "drop", "input method"}) {
            QTest::addRow("%s: letters", how) << how << "" << "abc" << "";
            QTest::addRow("%s: digits among letters", how) << how << "" << "a1b2c3d4" << "123";
            QTest::addRow("%s: behind a digit", how) << how << "7" << " 12 x" << "712";
        }
        QTest::newRow("sign and digits") << "Ctrl+V" << "" << "-5" << "-5";
        QTest::newRow("full editor takes nothing") << "Ctrl+V" << "100" << "9" << "100";
        QTest::newRow("dead acute e, 5, Compose 1 2") << "input method" << "" << "\u00e95\u00bd" << "5";
        QTest::newRow("input method commit") << "input method" << "" << "x9" << "9";
    }

    void pastedTextFollowsTheTypingRules()
    {
        QFETCH(QString, how);
        QFETCH(QString, before);
        QFETCH(QString, pasted);
        QFETCH(QString, after);
        m_spin->setText(before);
        m_spin->lineEdit()->end(false);
        paste(how, pasted);
        QCOMPARE(m_spin->text(), after);
    }

    void enterIsDropped()
    {
        QSignalSpy returned(m_spin->lineEdit(), &QLineEdit::returnPressed);
        QTest::keyClick(m_spin->lineEdit(), Qt::Key_Return);
        QTest::keyClick(m_spin->lineEdit(), Qt::Key_Enter);
        QCOMPARE(returned.count(), 0);
        QTest::keyClick(m_spin->lineEdit(), Qt::Key_Backspace);
        QCOMPARE(m_spin->text(), QString());
    }

    void stepsClamped_data()
    {
        QTest::addColumn<int>("minValue");
        QTest::addColumn<int>("maxValue");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("result");
        const int lowest = std::numeric_limits<int>::min();
        const int highest = std::numeric_limits<int>::max();
        QTest::newRow("up") << -1 << 100 << "5" << int(Qt::Key_Up) << "6";
        QTest::newRow("down") << -1 << 100 << "5" << int(Qt::Key_Down) << "4";
        QTest::newRow("page up") << -1 << 100 << "5" << int(Qt::Key_PageUp) << "15";
        QTest::newRow("page down past the bottom") << -1 << 100 << "5" << int(Qt::Key_PageDown) << "-1";
        QTest::newRow("up past the top") << -1 << 100 << "100" << int(Qt::Key_Up) << "100";
        QTest::newRow("up from a typed 999") << -1 << 100 << "999" << int(Qt::Key_Up) << "100";
        QTest::newRow("down from empty") << -1 << 100 << "" << int(Qt::Key_Down) << "-1";
        QTest::newRow("up at the integer limit, no bounds") << 0 << 0 << "2147483647" << int(Qt::Key_Up) << "2147483647";
        QTest::newRow("down at the integer limit, no bounds") << 0 << 0 << "-2147483648" << int(Qt::Key_Down) << "-2147483648";
        QTest::newRow("up at the widest bounds") << lowest << highest << "2147483647" << int(Qt::Key_Up) << "2147483647";
        QTest::newRow("down at the widest bounds") << lowest << highest << "-2147483648" << int(Qt::Key_Down) << "-2147483648";
    }

    void stepsClamped()
    {
        QFETCH(int, minValue);
        QFETCH(int, maxValue);
        QFETCH(QString, text);
        QFETCH(int, key);
        QFETCH(QString, result);
        m_spin->setBounds(minValue, maxValue);
        m_spin->setMaxLength(32767);
        m_spin->setText(text);
        QTest::keyClick(m_spin, Qt::Key(key));
        QCOMPARE(m_spin->text(), result);
    }

    void arrowButtonsStepAndRepeat()
    {
        auto *up = m_spin->findChild<QToolButton *>(QStringLiteral("up"));
        auto *down = m_spin->findChild<QToolButton *>(QStringLiteral("down"));
        QVERIFY(up && down);
        m_spin->setText(QStringLiteral("10"));
        QTest::mouseClick(up, Qt::LeftButton);
        QCOMPARE(m_spin->text(), QStringLiteral("11"));
        QTest::mouseClick(down, Qt::LeftButton);
        QTest::mouseClick(down, Qt::LeftButton);
        QCOMPARE(m_spin->text(), QStringLiteral("9"));
        QVERIFY(m_spin->lineEdit()->hasFocus());
        QCOMPARE(up->focusPolicy(), Qt::NoFocus);
        QVERIFY(up->autoRepeat());
        QCOMPARE(up->autoRepeatDelay(), 400);
        QCOMPARE(up->autoRepeatInterval(), 100);
    }

    void leavingClampsOnlyWhatIsOutOfRange_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("left");
        QTest::newRow("too big") << "999" << "100";
        QTest::newRow("too small") << "-50" << "-1";
        QTest::newRow("in range stays as typed") << "+7" << "+7";
        QTest::newRow("empty stays") << "" << "";
        QTest::newRow("not a number stays") << "-" << "-";
    }

    // Only a real move of the focus to another control clamps: a popup menu or a dialog
    // takes the focus for a while and gives it back, and so does the window losing activation.
    void onlyARealMoveOfTheFocusClamps_data()
    {
        QTest::addColumn<int>("reason");
        QTest::addColumn<QString>("left");
        QTest::newRow("click") << int(Qt::MouseFocusReason) << "100";
        QTest::newRow("Tab") << int(Qt::TabFocusReason) << "100";
        QTest::newRow("Shift+Tab") << int(Qt::BacktabFocusReason) << "100";
        QTest::newRow("from code") << int(Qt::OtherFocusReason) << "100";
        QTest::newRow("popup menu") << int(Qt::PopupFocusReason) << "999";
        QTest::newRow("another window") << int(Qt::ActiveWindowFocusReason) << "999";
    }

    void onlyARealMoveOfTheFocusClamps()
    {
        QFETCH(int, reason);
        QFETCH(QString, left);
        m_spin->setText(QStringLiteral("999"));
        m_other->setFocus(Qt::FocusReason(reason));
        QTRY_VERIFY(m_other->hasFocus());
        QCOMPARE(m_spin->text(), left);
    }

    void leavingClampsOnlyWhatIsOutOfRange()
    {
        QFETCH(QString, typed);
        QFETCH(QString, left);
        m_spin->lineEdit()->clear();
        QTest::keyClicks(m_spin->lineEdit(), typed);
        m_other->setFocus();
        QTRY_VERIFY(m_other->hasFocus());
        QCOMPARE(m_spin->text(), left);
    }
};

QTEST_MAIN(TestTSpinEdit)
#include "tst_tspinedit.moc"
