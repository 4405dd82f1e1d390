#include "scroll_text.h"

#include <QLabel>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTimer>

Q_DECLARE_METATYPE(TDirect)

namespace {

// A strip whose inner panel is PW x PH, with a label of W x H at L, T.
struct Strip
{
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    TScrollText *control = new TScrollText(window.get());
    int events = 0;

    Strip(QSize panel, QRect label, int distance = 2)
    {
        control->resize(panel + QSize(2, 2)); // a raised bevel of one pixel all round
        control->Timer1->stop();               // ticks come from the test
        control->setDistance(std::uint8_t(distance));
        control->Label1->setGeometry(label);
        control->setOnMessageEnd([this](TScrollText *) { ++events; });
    }

    QPoint at() const { return control->Label1->pos(); }
};

// The tooltip as the user reads it, each line it is broken into on a line of its own.
QString shownTooltip(const QWidget *widget)
{
    QTextDocument document;
    document.setHtml(widget->toolTip());
    document.setTextWidth(120); // a tooltip narrower than its text
    document.size();             // lays the lines out
    QStringList lines;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (int i = 0; i < block.layout()->lineCount(); ++i) {
            const QTextLine line = block.layout()->lineAt(i);
            lines << block.text().mid(line.textStart(), line.textLength());
        }
    }
    return lines.join(u'\n').replace(QChar::Nbsp, u' ');
}

} // namespace

class TestScrollText : public QObject
{
    Q_OBJECT

private slots:
    void startsAsItsLayoutSays()
    {
        QWidget window;
        auto *control = new TScrollText(&window);
        QVERIFY(control->objectName().isEmpty());
        QCOMPARE(control->geometry(), QRect(264, 144, 152, 17));
        QCOMPARE(control->Panel1->geometry(), QRect(1, 1, 150, 15));
        QCOMPARE(control->Label1->pos(), QPoint(3, 0));
        QCOMPARE(control->ScrollingText(), QStringLiteral("ScrollingText"));
        QCOMPARE(control->Label1->size(), control->Label1->sizeHint());
        QCOMPARE(control->Distance(), std::uint8_t(2));
        QCOMPARE(control->Time(), std::uint16_t(50));
        QCOMPARE(control->Direction(), sdLeft);
        QVERIFY(control->Timer1->isActive());
        QCOMPARE(control->Timer1->interval(), 50);
        QVERIFY(control->Hint().isEmpty());
        QVERIFY(control->Panel1->toolTip().isEmpty());
    }

    void movesOnItsOwnTimer()
    {
        QWidget window;
        auto *control = new TScrollText(&window);
        const int start = control->Label1->x();
        QTRY_VERIFY(control->Label1->x() <= start - 4);
    }

    void writingTheText()
    {
        QWidget window;
        auto *control = new TScrollText(&window);
        const QString text(250, u'x');
        control->setScrollingText(text);
        QCOMPARE(control->ScrollingText(), text.left(240));
        QCOMPARE(control->Hint(), QStringLiteral("[Kest] : ") + text.left(240));
        QCOMPARE(control->Hint().size(), 249);
        QCOMPARE(shownTooltip(control->Panel1), control->Hint());
        QVERIFY(control->Label1->toolTip().isEmpty());
        QVERIFY(control->Label1->testAttribute(Qt::WA_TransparentForMouseEvents));

        control->setScrollingText(QString());
        QCOMPARE(control->Hint(), QStringLiteral("[Kest] : "));
        const QFontMetrics metrics(control->Label1->font());
        QCOMPARE(control->Label1->size(), QSize(metrics.horizontalAdvance(u' '), metrics.height()));

        control->Label1->move(7, 0);
        control->setScrollingText(QStringLiteral("A longer text than before"));
        QCOMPARE(control->Label1->x(), 7); // the left edge stays put
        QCOMPARE(control->Label1->width(), control->Label1->sizeHint().width());
    }

    // Text is shown as it stands, on one line: markup is not interpreted, in the label or
    // in the tooltip; only "&" keeps its meaning.
    void showsTextLiterally_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("drawn");
        QTest::newRow("bold tag") << QStringLiteral("<b>Bold</b>") << QStringLiteral("<b>Bold</b>");
        QTest::newRow("paragraphs") << QStringLiteral("<p>one</p><p>two</p>") << QStringLiteral("<p>one</p><p>two</p>");
        QTest::newRow("entity") << QStringLiteral("&lt;3") << QStringLiteral("lt;3");
        QTest::newRow("doubled ampersand") << QStringLiteral("R&&D") << QStringLiteral("R&D");
        QTest::newRow("runs of blanks, a long line") << QStringLiteral("Nimbrel  -  questions  and  ideas welcome")
                                                     << QStringLiteral("Nimbrel  -  questions  and  ideas welcome");
    }

    void showsTextLiterally()
    {
        QFETCH(QString, text);
        QFETCH(QString, drawn);
        QWidget window;
        auto *control = new TScrollText(&window);
        control->setScrollingText(text);
        const QFontMetrics metrics(control->Label1->font());
        QCOMPARE(control->Label1->height(), metrics.height());
        QVERIFY2(qAbs(control->Label1->width() - metrics.horizontalAdvance(drawn)) <= 2,
                 qPrintable(QString::number(control->Label1->width())));
        QCOMPARE(shownTooltip(control->Panel1), QStringLiteral("[Kest] : ") + text);
    }

    void followsAFontChangeAtOnce()
    {
        QWidget window;
        auto *control = new TScrollText(&window);
        control->Label1->move(9, 0);
        QFont font = control->font();
        font.setPixelSize(24);
        control->setFont(font);
        QCOMPARE(control->Label1->size(), control->Label1->sizeHint());
        QVERIFY(control->Label1->height() >= 24);
        QCOMPARE(control->Label1->x(), 9);
    }

    // A hidden control hears of its new size only when shown; its next tick fits the panel.
    void innerPanelFollowsAResizeWhileHidden()
    {
        QWidget window; // never shown
        auto *control = new TScrollText(&window);
        control->Timer1->stop();
        control->resize(262, 18);
        control->Timer1Timer();
        QCOMPARE(control->Panel1->geometry(), QRect(1, 1, 260, 16));
        control->setGeometry(0, 0, 100, 40);
        control->Timer1Timer();
        QCOMPARE(control->Panel1->geometry(), QRect(1, 1, 98, 38));
    }

    void theCutNeverSplitsACharacter()
    {
        QWidget window;
        auto *control = new TScrollText(&window);
        const QString face = QString::fromUtf8("\xF0\x9F\x98\x80"); // one character, two UTF-16 units
        control->setScrollingText(QString(239, u'x') + face + QStringLiteral("yy"));
        QCOMPARE(control->ScrollingText(), QString(239, u'x'));
        QCOMPARE(control->Hint().size(), 248);

        control->setScrollingText(QString(238, u'x') + face + QStringLiteral("yy"));
        QCOMPARE(control->ScrollingText(), QString(238, u'x') + face);
    }

    void ticks_data()
    {
        QTest::addColumn<TDirect>("direction");
        QTest::addColumn<int>("distance");
        QTest::addColumn<QSize>("panel");
        QTest::addColumn<QRect>("label");
        QTest::addColumn<QPoint>("after");
        QTest::addColumn<int>("events");

        const QSize strip(148, 15);
        QTest::newRow("left steps") << sdLeft << 2 << strip << QRect(10, 0, 50, 13) << QPoint(8, 1) << 0;
        QTest::newRow("left steps and wraps") << sdLeft << 2 << strip << QRect(-51, 1, 50, 13) << QPoint(146, 1) << 1;
        QTest::newRow("left already past") << sdLeft << 2 << strip << QRect(-52, 1, 50, 13) << QPoint(146, 1) << 1;
        QTest::newRow("right steps and wraps") << sdRight << 2 << strip << QRect(145, 1, 50, 13) << QPoint(-52, 1) << 1;
        QTest::newRow("right steps") << sdRight << 3 << strip << QRect(0, 5, 50, 13) << QPoint(3, 1) << 0;
        QTest::newRow("none centres") << sdNone << 2 << strip << QRect(3, 0, 50, 13) << QPoint(49, 1) << 0;
        QTest::newRow("up steps") << sdUp << 2 << strip << QRect(0, 5, 50, 13) << QPoint(49, 3) << 0;
        QTest::newRow("up wraps") << sdUp << 2 << strip << QRect(0, -14, 50, 13) << QPoint(49, 13) << 1;
        QTest::newRow("down wraps") << sdDown << 2 << strip << QRect(0, 12, 50, 13) << QPoint(49, -15) << 1;
        QTest::newRow("distance 0 stands") << sdLeft << 0 << strip << QRect(10, 7, 50, 13) << QPoint(10, 1) << 0;
        QTest::newRow("distance 0 at the bound") << sdLeft << 0 << strip << QRect(-52, 1, 50, 13) << QPoint(146, 1) << 1;
        QTest::newRow("taller than the strip") << sdLeft << 2 << QSize(148, 16) << QRect(10, 0, 50, 19) << QPoint(8, -1) << 0;
        QTest::newRow("odd difference halves toward zero") << sdNone << 2 << QSize(47, 15) << QRect(0, 0, 50, 13)
                                                           << QPoint(-1, 1) << 0;
    }

    void ticks()
    {
        QFETCH(TDirect, direction);
        QFETCH(int, distance);
        QFETCH(QSize, panel);
        QFETCH(QRect, label);
        QFETCH(QPoint, after);
        QFETCH(int, events);
        Strip strip(panel, label, distance);
        strip.control->setDirection(direction);
        strip.control->Timer1Timer();
        QCOMPARE(strip.control->Panel1->size(), panel);
        QCOMPARE(strip.at(), after);
        QCOMPARE(strip.events, events);
        QCOMPARE(strip.control->isTimerOn(), direction != sdNone);
    }

    void noneStopsUntilTheDirectionIsRead()
    {
        QWidget window;
        auto *control = new TScrollText(&window);
        control->setDirection(sdNone);
        control->Timer1Timer();
        QVERIFY(!control->Timer1->isActive());
        const QPoint centred = control->Label1->pos();
        control->setDirection(sdLeft);
        QTest::qWait(150);
        QCOMPARE(control->Label1->pos(), centred);
        QCOMPARE(control->Direction(), sdLeft);
        QVERIFY(control->Timer1->isActive());
        QTRY_VERIFY(control->Label1->x() < centred.x());
    }

    void aHandlerTurningToALaterDirectionMovesAtOnce()
    {
        Strip strip({148, 15}, {-51, 0, 50, 13});
        strip.control->setOnMessageEnd([](TScrollText *sender) { sender->setDirection(sdUp); });
        strip.control->Timer1Timer();
        QCOMPARE(strip.at(), QPoint(49, -1)); // put back at 146, then centred and moved up
    }

    void aHandlerTurningToAnEarlierDirectionWaits()
    {
        Strip strip({148, 15}, {0, -14, 50, 13});
        strip.control->setDirection(sdUp);
        strip.control->setOnMessageEnd([](TScrollText *sender) { sender->setDirection(sdLeft); });
        strip.control->Timer1Timer();
        QCOMPARE(strip.at(), QPoint(49, 13));
        strip.control->Timer1Timer();
        QCOMPARE(strip.at(), QPoint(47, 1));
    }

    void changingDirectionKeepsThePlace()
    {
        Strip strip({148, 15}, {30, 1, 50, 13});
        strip.control->setDirection(sdUp);
        strip.control->Timer1Timer();
        QCOMPARE(strip.at(), QPoint(49, -1));
    }

    void timeZeroKeepsTheTimerOnWithoutTicks()
    {
        QWidget window;
        auto *control = new TScrollText(&window);
        control->setTime(0);
        QVERIFY(!control->Timer1->isActive());
        QVERIFY(control->isTimerOn());
        const QPoint at = control->Label1->pos();
        QTest::qWait(120);
        QCOMPARE(control->Label1->pos(), at);
        control->setTime(20);
        QVERIFY(control->Timer1->isActive());
        QCOMPARE(control->Timer1->interval(), 20);
    }

    void colourIsTheInnerPanels()
    {
        QWidget window;
        auto *control = new TScrollText(&window);
        control->setColor(Qt::darkCyan);
        QCOMPARE(control->Color(), QColor(Qt::darkCyan));
        QCOMPARE(control->Panel1->palette().color(QPalette::Button), QColor(Qt::darkCyan));
        QVERIFY(control->palette().color(QPalette::Button) != QColor(Qt::darkCyan));
    }

    void lowerBevelSizesTheInnerPanel()
    {
        QWidget window;
        auto *control = new TScrollText(&window);
        control->setGeometry(10, 134, 262, 18);
        control->setBevelOuter(TPanel::bvLowered);
        QCOMPARE(control->Panel1->geometry(), QRect(1, 1, 260, 16));
        control->resize(300, 40); // hidden: no resize event, yet the next tick sees the new strip
        control->Timer1Timer();
        QCOMPARE(control->Panel1->geometry(), QRect(1, 1, 298, 38));
    }
};

QTEST_MAIN(TestScrollText)
#include "tst_scroll_text.moc"
