#include "ClimateExchange.h"
#include "ClimateTestData.h"

#include <QTest>

using namespace climate;
using namespace testdata;

namespace {

// The header and one Region 0 Spring row of an export, with the values of tableOf().
QStringList exportedLines(const TRegionTable &table)
{
    return QString::fromUtf8(ExportTable(table, ExchangeFormat::Csv)).split(u'\n', Qt::SkipEmptyParts);
}

QStringList problemsOf(const QString &csv, const TRegionTable &table, std::vector<SeasonValues> &rows)
{
    return ReadExchange(csv.toUtf8(), QStringLiteral("t.csv"), table, rows);
}

} // namespace

class TestClimateExchange : public QObject
{
    Q_OBJECT

private slots:
    // Any file that opens, exported and imported unchanged (CSV or JSON), changes nothing and
    // keeps its bytes: odd names, values out of range or with leading zeros, text that is no
    // number; a name with a comma, quotes and a character beyond ASCII survives the quoting.
    void anExportImportsBackUnchanged_data()
    {
        QTest::addColumn<QByteArray>("name");  // of the region in slot 1
        QTest::addColumn<QByteArray>("value"); // its Summer Warmth Freezing
        QTest::newRow("plain") << QByteArray("Wales") << QByteArray("7");
        QTest::newRow("blank at the end") << QByteArray("Portugal ") << QByteArray("7");
        QTest::newRow("blank at the start") << QByteArray(" Spain") << QByteArray("7");
        QTest::newRow("quoted") << QByteArray("Scotland, \"North\" \xC5land") << QByteArray("7");
        QTest::newRow("above its bound") << QByteArray("Wales") << QByteArray("140");
        QTest::newRow("below its bound") << QByteArray("Wales") << QByteArray("-5");
        QTest::newRow("leading zero") << QByteArray("Wales") << QByteArray("025");
        QTest::newRow("no number") << QByteArray("Wales") << QByteArray("x1");
    }

    void anExportImportsBackUnchanged()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, value);
        auto table = tableOf(3);
        (*table)[1].Name = name;
        (*table)[1].Season[1].Values[11] = value;
        const QByteArray file = FormatClimateFile(*table, "41");
        for (const ExchangeFormat format : {ExchangeFormat::Csv, ExchangeFormat::Json}) {
            std::vector<SeasonValues> rows;
            const QStringList problems = ReadExchange(ExportTable(*table, format, "\r\n"), QStringLiteral("t"), *table, rows);
            QCOMPARE(problems, QStringList());
            QCOMPARE(int(rows.size()), 3 * kSeasonCount);
            QCOMPARE(ApplyExchange(*table, rows), 0);
            QCOMPARE(FormatClimateFile(*table, "41"), file);
        }
        if (name.contains('"'))
            QCOMPARE(exportedLines(*table).value(5).section(u',', 0, 2), QStringLiteral("1,\"Scotland, \"\"North\"\" \u00C5land\""));
    }

    // Everything is checked before anything changes: each problem with its line and column.
    void aBadTableSaysWhereAndChangesNothing_data()
    {
        QTest::addColumn<int>("line"); // of the Region 0 Spring row to change, 0 for the header
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("problem");

        QTest::newRow("value above its bound") << 1 << "Region 0,Spring,0," << "Region 0,Spring,366," << "t.csv:2: Start day: '366' is above 365";
        QTest::newRow("below") << 1 << "Region 0,Spring,0,28," << "Region 0,Spring,0,-2," << "t.csv:2: Wind Calm: '-2' is below -1";
        QTest::newRow("no number") << 1 << "Region 0,Spring,0,28," << "Region 0,Spring,0,x," << "t.csv:2: Wind Calm: 'x' is not a whole number";
        QTest::newRow("no such region") << 1 << "0,Region 0," << ",Atlantis," << "t.csv:2: Region: the file has no region 'Atlantis'";
        QTest::newRow("slot of another region") << 1 << "0,Region 0," << "0,Region 1," << "t.csv:2: Region: 'Region 1' is not the region in slot 0 (Region 0)";
        QTest::newRow("no season") << 1 << ",Spring," << ",Sommer," << "t.csv:2: Season: 'Sommer' is not a season (Spring, Summer, Autumn or Winter)";
        QTest::newRow("twice") << 2 << "Summer" << "Spring" << "t.csv:3: Region 0, Spring comes twice (first at t.csv:2)";
        QTest::newRow("column missing") << 0 << ",Warmth Hot," << ",Warmth Hat," << "t.csv:1: the header has no column 'Warmth Hot'";
        QTest::newRow("field missing") << 1 << ",Spring,0," << ",Spring," << "t.csv:2: 20 fields where the header has 21";
        QTest::newRow("quote never closed") << 1 << ",Region 0," << ",\"Region 0," << "t.csv:2: a quoted field is never closed";
    }

    void aBadTableSaysWhereAndChangesNothing()
    {
        QFETCH(int, line);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, problem);
        const auto table = tableOf(2);
        QStringList lines = exportedLines(*table);
        QVERIFY2(lines[line].contains(from), qPrintable(lines[line]));
        lines[line].replace(from, to);
        std::vector<SeasonValues> rows;
        QCOMPARE(problemsOf(lines.join(u'\n'), *table, rows), QStringList{problem});
        QVERIFY(rows.empty());
    }

    // Columns are found by their header in any order and letter case, a region and a season in
    // any letter case, without the slot; values are written as the editors write them.
    void columnsAndNamesAreMatchedLoosely()
    {
        auto table = tableOf(2);
        QStringList header = exportedLines(*table)[0].split(u',').mid(1);
        std::reverse(header.begin(), header.end());
        QStringList row{QStringLiteral("007")};
        for (int v = 1; v < kValueCount; ++v)
            row.prepend(QStringLiteral("+5"));
        const QString csv = header.join(u',').toUpper() + QStringLiteral("\r\n\r\n") + row.join(u',')
                            + QStringLiteral(",winter,\"REGION 1\"\r\n");
        std::vector<SeasonValues> rows;
        QCOMPARE(problemsOf(csv, *table, rows), QStringList());
        QCOMPARE(ApplyExchange(*table, rows), 1);
        QCOMPARE((*table)[1].Season[3].Values[0].toByteArray(), QByteArray("7"));
        QCOMPARE((*table)[1].Season[3].Values[17].toByteArray(), QByteArray("5"));

        const QByteArray json = R"([{"region": "Region 0", "SEASON": "Summer", "Start day": 12, "Wind Calm": "3", )"
                                R"("Wind Breezy": 1, "Wind Gusty": 1, "Wind Strong": 1, "Wind Gale": 1, "Precipitation Dry": 1,)"
                                R"("Precipitation Wet": 1, "Precipitation Drizzle": 1, "Precipitation Shower": 1,)"
                                R"("Precipitation Down Pour": 1, "Warmth Freezing": 1, "Warmth Cold": 1, "Warmth Mild": 1,)"
                                R"("Warmth Fine": 1, "Warmth Warm": 1, "Warmth Hot": 1, "Warmth Very Hot": 1.5}])";
        QCOMPARE(ReadExchange(json, QStringLiteral("t.json"), *table, rows),
                 QStringList{"t.json: row 1: Warmth Very Hot: '1.5' is not a whole number"});
        QCOMPARE(ReadExchange(QByteArray(json).replace("1.5", "2"), QStringLiteral("t.json"), *table, rows), QStringList());
        QCOMPARE(ApplyExchange(*table, rows), 1);
        QCOMPARE((*table)[0].Season[1].Values[1].toByteArray(), QByteArray("3"));
    }

    // The clipboard's row: the eighteen values, or a whole exported row; anything else is none.
    void aSeasonRowGoesBothWays()
    {
        std::array<int, kValueCount> values{};
        for (int v = 0; v < kValueCount; ++v)
            values[std::size_t(v)] = v * 3 - 1;
        QString why;
        QCOMPARE(ParseSeasonRow(SeasonRow(values) + QStringLiteral("\r\n"), why), values);
        QCOMPARE(ParseSeasonRow(QStringLiteral("0\tEngland\tSpring\t") + SeasonRow(values), why), values);
        QVERIFY(!ParseSeasonRow(QStringLiteral("1\t2"), why));
        QVERIFY(!ParseSeasonRow(SeasonRow(values).replace(QStringLiteral("\t2\t"), QStringLiteral("\tx\t")), why));
        QCOMPARE(why, QStringLiteral("the clipboard's Wind Calm is 'x', not a whole number"));
    }
};

QTEST_GUILESS_MAIN(TestClimateExchange)
#include "tst_climateexchange.moc"
