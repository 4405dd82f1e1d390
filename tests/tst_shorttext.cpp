#include "ShortText.h"

#include <QTest>

class TestShortText : public QObject
{
    Q_OBJECT

private slots:
    void storesCutToCapacity_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QByteArray>("kept");
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("shorter") << QByteArray("-1") << QByteArray("-1");
        QTest::newRow("exact") << QByteArray("365") << QByteArray("365");
        QTest::newRow("longer") << QByteArray("1234") << QByteArray("123");
        QTest::newRow("negative") << QByteArray("-100") << QByteArray("-10");
    }

    void storesCutToCapacity()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QByteArray, kept);
        ShortText<3> text;
        text = QByteArray("xyz"); // a store replaces what was there
        text = stored;
        QCOMPARE(text.toByteArray(), kept);
        QCOMPARE(text.isEmpty(), kept.isEmpty());
    }

    void appendStopsAtCapacity()
    {
        ShortText<5> text;
        QVERIFY(text.append("ab"));
        QVERIFY(!text.append("cdef"));
        QVERIFY(!text.append("g"));
        QCOMPARE(text.toByteArray(), QByteArray("abcde"));
        QVERIFY(text.isFull());
    }

    void keepsEveryByte()
    {
        const QByteArray bytes("\0\xe9\x1a\n", 4);
        ShortText<200> text(bytes);
        QCOMPARE(text.toByteArray(), bytes);
    }
};

QTEST_APPLESS_MAIN(TestShortText)
#include "tst_shorttext.moc"
