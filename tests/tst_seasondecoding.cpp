#include "ClimateErrors.h"
#include "SeasonDecoding.h"
#include "TextConversion.h"

#include <QRandomGenerator>
#include <QTest>

using namespace climate;

namespace {

const QByteArray kSpringLine =
    "SPRING: 80, W10, W30, W40, W15, W5, P40, P30, P15, P10, P5, H0,  H5, H20, H30,  H25, H15, H5";

QByteArrayList valuesOf(const TSeasonRecord &season)
{
    QByteArrayList values;
    for (const TValueText &value : season.Values)
        values << value.toByteArray();
    return values;
}

QByteArrayList list(const char *spaceSeparated)
{
    return QByteArray(spaceSeparated).split(' ');
}

// Decodes one region whose name line and Spring line are given; the other seasons are empty.
TRegionRecord decodeOne(const QByteArray &nameLine, const QByteArray &springLine)
{
    auto table = std::make_unique<TRegionTable>();
    (*table)[0].NameLine = nameLine;
    (*table)[0].Season[0].Line = springLine;
    DecodeTable(*table);
    return (*table)[0];
}

} // namespace

class TestSeasonDecoding : public QObject
{
    Q_OBJECT

private slots:
    void stripLabel_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("slot and name") << QByteArray("3 England") << QByteArray("England");
        QTest::newRow("no space") << QByteArray("England") << QByteArray("England");
        QTest::newRow("space last") << QByteArray("5 ") << QByteArray();
        QTest::newRow("two spaces") << QByteArray("12  Spain") << QByteArray(" Spain");
        QTest::newRow("empty") << QByteArray() << QByteArray();
    }

    void stripLabel()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, expected);
        QCOMPARE(StripLabel(text), expected);
    }

    void collapseDoubleSpaces_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("none") << QByteArray("a b") << QByteArray("a b");
        QTest::newRow("one") << QByteArray("a  b") << QByteArray("a b");
        QTest::newRow("only the first two") << QByteArray("a  b  c  d") << QByteArray("a b c  d");
        QTest::newRow("run of three") << QByteArray("a   b  c") << QByteArray("a b  c");
        QTest::newRow("run of four") << QByteArray("a    b") << QByteArray("a  b");
        QTest::newRow("all spaces") << QByteArray("     ") << QByteArray("   ");
    }

    void collapseDoubleSpaces()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, expected);
        QCOMPARE(CollapseDoubleSpaces(text), expected);
    }

    void extractField_data()
    {
        const QByteArray normalized = " 80, W10, W30, W40, W15, W5, P40, P30, P15, P10, P5, H0, H5, H20, H30, H25, H15, H5";
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("field");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("start day") << normalized << 1 << QByteArray("80");
        QTest::newRow("field 2 drops the first digit") << normalized << 2 << QByteArray("0");
        QTest::newRow("wind calm") << normalized << 3 << QByteArray("10");
        QTest::newRow("freezing") << normalized << 13 << QByteArray("0");
        QTest::newRow("last keeps its letter") << normalized << 19 << QByteArray("H5");
        QTest::newRow("past the last space") << QByteArray(" 80, W10, W30") << 12 << QByteArray("W30");
        QTest::newRow("no space at all") << QByteArray("W10,") << 5 << QByteArray("10");
        QTest::newRow("comma first") << QByteArray(" ,") << 2 << QByteArray();
        QTest::newRow("comma second") << QByteArray(" W,") << 2 << QByteArray();
        QTest::newRow("negative") << QByteArray(" W-1,") << 2 << QByteArray("-1");
        QTest::newRow("field 0 is field 1") << normalized << 0 << QByteArray("80");
    }

    void extractField()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, field);
        QFETCH(QByteArray, expected);
        QCOMPARE(ExtractField(text, std::uint8_t(field)), expected);
    }

    void stripPrefixLetter_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("warmth letter") << QByteArray("H5") << QByteArray("5");
        QTest::newRow("no letter") << QByteArray("15") << QByteArray("15");
        QTest::newRow("lower case stays") << QByteArray("h5") << QByteArray("h5");
        QTest::newRow("letter anywhere takes the first") << QByteArray("5H") << QByteArray("H");
        QTest::newRow("each letter once") << QByteArray("HPW12") << QByteArray("12");
        QTest::newRow("tested on what is left") << QByteArray("WH") << QByteArray("H");
        QTest::newRow("empty") << QByteArray() << QByteArray();
    }

    void stripPrefixLetter()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, expected);
        QCOMPARE(StripPrefixLetter(text), expected);
    }

    void decodesAWrittenLine()
    {
        const TRegionRecord region = decodeOne("3 Northland", kSpringLine);
        QCOMPARE(region.Name.toByteArray(), QByteArray("Northland"));
        QVERIFY(region.NameLine.isEmpty());
        QCOMPARE(region.Season[0].Line.toByteArray(),
                 QByteArray(" 80, W10, W30, W40, W15, W5, P40, P30, P15, P10, P5, H0, H5, H20, H30, H25, H15, H5"));
        QCOMPARE(valuesOf(region.Season[0]), list("80 10 30 40 15 5 40 30 15 10 5 0 5 20 30 25 15 5"));
    }

    // Lines a modder may have edited by hand decode to exactly these value texts.
    void decodesOddLines_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArrayList>("values");

        QByteArray line = kSpringLine;
        QTest::newRow("any label word") << line.replace("SPRING:", "WHATEVER")
                                        << list("80 10 30 40 15 5 40 30 15 10 5 0 5 20 30 25 15 5");
        line = kSpringLine;
        QTest::newRow("no space after label") << line.replace("SPRING: ", "SPRING:")
                                              << list("W10 30 40 15 5 40 30 15 10 5 0 5 20 30 25 15 5 5");
        line = kSpringLine;
        QTest::newRow("third double space") << line.replace(" W30", "  W30")
                                            << list("80 10 30 40 15 5 40 30 15 10 5 0 5 20 30 25 25 15");
        line = kSpringLine;
        QTest::newRow("run of three spaces") << line.replace(" W30", "   W30")
                                             << list("80 10 30 40 15 5 40 30 15 10 5 0 5 5 20 30 25 25");
        line = kSpringLine.chopped(2) + "H1000";
        QTest::newRow("too long values") << line.replace("W10", "W1000")
                                         << list("80 100 30 40 15 5 40 30 15 10 5 0 5 20 30 25 15 100");
        QTest::newRow("lower-case last letter") << QByteArray(kSpringLine.chopped(2) + "h5")
                                                << list("80 10 30 40 15 5 40 30 15 10 5 0 5 20 30 25 15 h5");
        QTest::newRow("last without letter") << QByteArray(kSpringLine.chopped(2) + "5")
                                             << list("80 10 30 40 15 5 40 30 15 10 5 0 5 20 30 25 15 5");
        QTest::newRow("fewer fields") << QByteArray("SPRING: 80, W10, W30")
                                      << list("80 10 30 30 30 30 30 30 30 30 30 30 30 30 30 30 30 30");
        QTest::newRow("label and start day only") << QByteArray("SPRING: 100")
                                                  << (QByteArrayList{" 10"} + list("100 100 100 100 100 100 100 100 100 100 100 100 100 100 100 100 100"));
        QTest::newRow("empty and negative") << QByteArray("SPRING: 80, W, W-1")
                                            << (list("80") << QByteArray() << list("-1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1"));
        QTest::newRow("trailing space") << QByteArray(kSpringLine + " ")
                                        << (list("80 10 30 40 15 5 40 30 15 10 5 0 5 20 30 25 15") << "5 ");
    }

    void decodesOddLines()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArrayList, values);
        QCOMPARE(valuesOf(decodeOne("0 Somewhere", line).Season[0]), values);
    }

    void decodesNames_data()
    {
        QTest::addColumn<QByteArray>("nameLine");
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("nothing after space") << QByteArray("5 ") << QByteArray();
        QTest::newRow("cut to 200") << QByteArray("7 " + QByteArray(240, 'n')) << QByteArray(200, 'n');
        QTest::newRow("western letters kept as bytes") << QByteArray("1 Espa\xf1" "a") << QByteArray("Espa\xf1" "a");
    }

    void decodesNames()
    {
        QFETCH(QByteArray, nameLine);
        QFETCH(QByteArray, name);
        QCOMPARE(decodeOne(nameLine, kSpringLine).Name.toByteArray(), name);
    }

    void emptyRecordIsUnusedWithBlankStartDay()
    {
        const TRegionRecord region = decodeOne(QByteArray(), QByteArray());
        QVERIFY(!region.isUsed());
        for (const TSeasonRecord &season : region.Season) {
            QCOMPARE(season.Line.toByteArray(), QByteArray(" "));
            QCOMPARE(season.Values[0].toByteArray(), QByteArray(" "));
            for (int k = 1; k < kValueCount; ++k)
                QVERIFY(season.Values[std::size_t(k)].isEmpty());
        }
    }

    void decodesEverySlotAndSeason()
    {
        auto table = std::make_unique<TRegionTable>();
        for (int slot = 0; slot < kRegionSlots; ++slot) {
            (*table)[std::size_t(slot)].NameLine = QByteArray::number(slot) + " Region " + QByteArray::number(slot);
            for (int s = 0; s < kSeasonCount; ++s)
                (*table)[std::size_t(slot)].Season[std::size_t(s)].Line = QByteArray(kSpringLine).replace("80", QByteArray::number(slot * 4 + s));
        }
        DecodeTable(*table);
        QCOMPARE((*table)[40].Name.toByteArray(), QByteArray("Region 40"));
        QCOMPARE((*table)[40].Season[3].Values[0].toByteArray(), QByteArray("163"));
        QCOMPARE((*table)[17].Season[2].Values[0].toByteArray(), QByteArray("70"));
    }

    void showsNamesInTheWindowsCodePage()
    {
        QCOMPARE(FromWindows1252("Qu\xe9" "bec \x80 \x9c"), QStringLiteral("Qu\u00e9bec \u20ac \u0153"));
    }

    // The table-wide decoding takes shortcuts of its own; on any line it must give what the
    // four text operations give one by one.
    void decodingMatchesTheTextOperations()
    {
        QRandomGenerator random(20261207);
        const QByteArray alphabet = "   ,,HPWhw0123456789-:";
        for (int round = 0; round < 3000; ++round) {
            QByteArray line;
            const int length = int(random.bounded(0, 140));
            for (int i = 0; i < length; ++i)
                line += alphabet[random.bounded(int(alphabet.size()))];

            const TRegionRecord region = decodeOne(line, line);
            const QByteArray normalized = QByteArray(" " + CollapseDoubleSpaces(StripLabel(line))).left(250);
            QCOMPARE(region.Name.toByteArray(), StripLabel(line).left(200));
            QCOMPARE(region.Season[0].Line.toByteArray(), normalized);
            QCOMPARE(region.Season[0].Values[0].toByteArray(), ExtractField(normalized, 1).left(3));
            for (int k = 1; k < kValueCount; ++k)
                QCOMPARE(region.Season[0].Values[std::size_t(k)].toByteArray(),
                         StripPrefixLetter(ExtractField(normalized, std::uint8_t(k + 2))).left(3));
        }
    }
};

QTEST_APPLESS_MAIN(TestSeasonDecoding)
#include "tst_seasondecoding.moc"
