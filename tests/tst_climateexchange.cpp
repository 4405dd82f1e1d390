#include "ClimateExchange.h"
#include "ClimateTestData.h"
#include "SeasonDecoding.h"
#include "TextConversion.h"

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
        QTest::newRow("a name that starts with '") << QByteArray("'Quoted") << QByteArray("7");
        QTest::newRow("a name a spreadsheet takes for a number") << QByteArray("1e5") << QByteArray("7");
        QTest::newRow("a name a spreadsheet takes for a date") << QByteArray("Mar 1") << QByteArray("7");
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

    // A table as spreadsheets save it by default: in the game file's own encoding or UTF-16,
    // separated by semicolons or tabs. It imports unchanged, and says what it assumed.
    void whatSpreadsheetsWriteImportsUnchanged_data()
    {
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<QString>("assumed");
        QTest::newRow("UTF-8") << "UTF-8" << "," << "";
        QTest::newRow("UTF-8 with a mark") << "UTF-8 mark" << "," << "";
        QTest::newRow("Windows-1252, semicolons") << "Windows-1252" << ";" << "t.csv: read as Windows-1252, separated by ';'";
        QTest::newRow("UTF-16, tabs") << "UTF-16" << "\t" << "t.csv: read as UTF-16, separated by tabs";
        QTest::newRow("UTF-16 without a mark") << "UTF-16 no mark" << "\t" << "t.csv: read as UTF-16, separated by tabs";
    }

    void whatSpreadsheetsWriteImportsUnchanged()
    {
        QFETCH(QString, encoding);
        QFETCH(QString, separator);
        QFETCH(QString, assumed);
        // The sample game, Qu\u00e9bec and all.
        auto table = std::make_unique<TRegionTable>();
        auto raw = std::make_unique<RawClimate>();
        QByteArray header;
        ReadClimateBytes(readFile(QStringLiteral(NIMBREL_SAMPLE_GAME "/data/weather.cfg")), *raw);
        StoreRawClimate(*raw, *table, header);
        DecodeTable(*table);
        QCOMPARE(FromWindows1252((*table)[31].Name), QStringLiteral("Qu\u00e9bec"));
        const QString text = QString::fromUtf8(ExportTable(*table, ExchangeFormat::Csv, "\r\n")).replace(u',', separator);
        QByteArray bytes = text.toUtf8();
        if (encoding == QLatin1String("UTF-8 mark"))
            bytes.prepend("\xEF\xBB\xBF");
        else if (encoding == QLatin1String("Windows-1252"))
            bytes = text.toLatin1();
        else if (encoding.startsWith(QLatin1String("UTF-16")))
            bytes = QByteArray(encoding.endsWith(QLatin1String("mark")) ? "" : "\xFF\xFE")
                    + QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
        std::vector<SeasonValues> rows;
        QStringList notes;
        QCOMPARE(ReadExchange(bytes, QStringLiteral("t.csv"), *table, rows, &notes), QStringList());
        QCOMPARE(notes.join(u'|'), assumed);
        QCOMPARE(ApplyExchange(*table, rows), 0);
    }

    // Names a spreadsheet would change are exported so that it does not, and come back; where it
    // changed them all the same, the slot decides, and that is said; without a slot, regions of
    // one name take their rows in turn.
    void namesASpreadsheetChanges_data()
    {
        QTest::addColumn<QByteArray>("name");    // of the region in slot 1
        QTest::addColumn<QString>("shownAs");    // what a spreadsheet made of it; empty: left as exported
        QTest::addColumn<bool>("withSlot");
        QTest::addColumn<QString>("outcome");    // the note or the problem; empty: neither
        QTest::newRow("formula, exported") << QByteArray("=1+1") << "" << true << "";
        QTest::newRow("zeros, exported") << QByteArray("0042") << "" << true << "";
        QTest::newRow("formula, worked out") << QByteArray("=1+1") << "2" << true
                                             << "t.csv:6: Region: '2' is taken for '=1+1', the region in slot 1, as a spreadsheet shows its name";
        QTest::newRow("zeros, dropped") << QByteArray("0042") << "42" << true
                                        << "t.csv:6: Region: '42' is taken for '0042', the region in slot 1, as a spreadsheet shows its name";
        QTest::newRow("zeros, no slot") << QByteArray("0042") << "42" << false << "t.csv:6: Region: the file has no region '42'";
        QTest::newRow("exponent, worked out") << QByteArray("1e5") << "100000" << true
                                              << "t.csv:6: Region: '100000' is taken for '1e5', the region in slot 1, as a spreadsheet shows its name";
        QTest::newRow("the same name twice, no slot") << QByteArray("Region 0") << "" << false << "";
        QTest::newRow("UTF-8 read as Windows-1252") << QByteArray("Qu\xE9" "bec") << "Qu\u00C3\u00A9bec" << false
                                                    << "t.csv:6: Region: 'Qu\u00C3\u00A9bec' is taken as 'Qu\u00E9bec': UTF-8 that a "
                                                       "spreadsheet read as Windows-1252";
    }

    void namesASpreadsheetChanges()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, shownAs);
        QFETCH(bool, withSlot);
        QFETCH(QString, outcome);
        auto table = tableOf(3);
        (*table)[1].Name = name;
        QStringList lines = exportedLines(*table);
        for (QString &line : lines) {
            if (!shownAs.isEmpty())
                line.replace(u'\'' + QString::fromLatin1(name), shownAs).replace(QString::fromLatin1(name), shownAs);
            if (!withSlot)
                line = line.section(u',', 1);
        }
        std::vector<SeasonValues> rows;
        QStringList notes;
        const QStringList problems = ReadExchange(lines.join(u'\n').toUtf8(), QStringLiteral("t.csv"), *table, rows, &notes);
        QCOMPARE((problems + notes).value(0), outcome);
        QCOMPARE(int(rows.size()), problems.isEmpty() ? 12 : 0);
        QCOMPARE(ApplyExchange(*table, rows), 0);
    }

    // Messages stay few: the first 20 problems and how many more; a JSON value that is no
    // number says what it is.
    void messagesAreBoundedAndSayWhatTheyMet()
    {
        const auto table = tableOf(2);
        QStringList lines = exportedLines(*table);
        for (int i = 0; i < 30; ++i)
            lines << lines[1];
        std::vector<SeasonValues> rows;
        QCOMPARE(problemsOf(lines.join(u'\n'), *table, rows),
                 QStringList{QStringLiteral("t.csv:10: Region 0, Spring comes 31 times (first at t.csv:2)")});
        for (QString &line : lines)
            line.replace(QStringLiteral("Region 0,Spring,0,"), QStringLiteral("Region 0,Spring,x,"));
        const QStringList many = problemsOf(lines.join(u'\n'), *table, rows);
        QCOMPARE(many.size(), kMaxProblems + 1);
        QCOMPARE(many.back(), QStringLiteral("… and 11 more"));

        const QByteArray json = ExportTable(*table, ExchangeFormat::Json).replace("\"Wind Calm\": 28", "\"Wind Calm\": null")
                                    .replace("\"Wind Gale\": ", "\"Wind Gale\": true, \"x\": ").replace("\"Warmth Hot\"", "\"Warmth Hat\"");
        QCOMPARE(ReadExchange(json, QStringLiteral("t.json"), *table, rows).mid(0, 3),
                 (QStringList{"t.json: row 1: Wind Calm: is null, not a whole number", "t.json: row 1: Wind Gale: is true, not a whole number",
                              "t.json: row 1: Warmth Hot: the row has no 'Warmth Hot'"}));
        // Keys in the CSV's order, for the scripts that make columns of them.
        const QByteArray exported = ExportTable(*table, ExchangeFormat::Json);
        QVERIFY(exported.indexOf("\"Slot\"") < exported.indexOf("\"Region\""));
        QVERIFY(exported.indexOf("\"Start day\"") < exported.indexOf("\"Wind Calm\""));
        QVERIFY(exported.indexOf("\"Warmth Hot\"") < exported.indexOf("\"Warmth Very Hot\""));
        QVERIFY(exported.indexOf("\"Warmth Very Hot\"") < exported.indexOf("\"Precipitation Down Pour\"", exported.indexOf("}")));
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
        QTest::newRow("no such name in the file's encoding") << 1 << "0,Region 0," << ",\u0141\u00f3d\u017a,"
                                                             << "t.csv:2: Region: '\u0141\u00f3d\u017a' cannot be written in the game file's "
                                                                "encoding (Windows-1252), so the file has no region of that name";
        QTest::newRow("slot of another region") << 1 << "0,Region 0," << "0,Region 1," << "t.csv:2: Region: 'Region 1' is not the region in slot 0 (Region 0)";
        QTest::newRow("no season") << 1 << ",Spring," << ",Sommer," << "t.csv:2: Season: 'Sommer' is not a season (Spring, Summer, Autumn or Winter)";
        QTest::newRow("twice") << 2 << "Summer" << "Spring" << "t.csv:3: Region 0, Spring comes twice (first at t.csv:2)";
        QTest::newRow("column missing") << 0 << ",Warmth Hot," << ",Warmth Hat," << "t.csv:1: the header has no column 'Warmth Hot'";
        QTest::newRow("field missing") << 1 << ",Spring,0," << ",Spring," << "t.csv:2: 20 fields where the header has 21";
        QTest::newRow("quote never closed") << 1 << ",Region 0," << ",\"Region 0," << "t.csv:2: a quoted field is never closed";
        QTest::newRow("beyond an integer") << 1 << "Region 0,Spring,0,28," << "Region 0,Spring,0,2147483648," << "t.csv:2: Wind Calm: '2147483648' is above 100";
        QTest::newRow("a page for a value") << 1 << "Region 0,Spring,0,28," << "Region 0,Spring,0," + QString(500, u'x') + u','
                                            << "t.csv:2: Wind Calm: '" + QString(32, u'x') + "…' is not a whole number";
        QTest::newRow("NUL") << 1 << "Region 0,Spring,0,28," << QStringLiteral("Region 0,Spring,0,2") + QChar(0) + "8,"
                             << "t.csv:2:22: holds a NUL byte, which no table holds";
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

    // A table's cell is a decimal whole number, however a spreadsheet or a script wrote it; the
    // editor's own "$" for hexadecimal is no table's.
    void aTableCellIsADecimalWholeNumber_data()
    {
        QTest::addColumn<QString>("cell");
        QTest::addColumn<int>("read"); // -99: none
        QTest::newRow("blanks") << " 7\t" << 7;
        QTest::newRow("a no-break space after") << "25\u00a0" << 25;
        QTest::newRow("a decimal point and zeros") << "25.0" << 25;
        QTest::newRow("negative, so written") << "-1.00" << -1;
        QTest::newRow("a fraction") << "25.5" << -99;
        QTest::newRow("hexadecimal") << "$19" << -99;
        QTest::newRow("a point alone") << "25." << -99;
    }

    void aTableCellIsADecimalWholeNumber()
    {
        QFETCH(QString, cell);
        QFETCH(int, read);
        QCOMPARE(ReadTableNumber(cell).value_or(-99), read);
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

    // The clipboard's row: the eighteen values, after the region and season, or after the slot
    // too; by tabs or commas, a separator and a line end after it allowed; one row only.
    void aSeasonRowGoesBothWays_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<QString>("after");
        QTest::addColumn<bool>("read");
        QTest::newRow("18, line end") << "" << "\t" << "\r\n" << true;
        QTest::newRow("18, tab after") << "" << "\t" << "\t\n" << true;
        QTest::newRow("20, a spreadsheet's selection") << "England\tSpring\t" << "\t" << "" << true;
        QTest::newRow("21, a whole exported row") << "0\tEngland\tSpring\t" << "\t" << "" << true;
        QTest::newRow("21, the exported CSV") << "0,\"England, North\",Spring," << "," << "\n" << true;
        QTest::newRow("18 by commas, comma after") << "" << "," << "," << true;
        QTest::newRow("19") << "Spring\t" << "\t" << "" << false;
        QTest::newRow("two rows") << "" << "\t" << "\n1\t2" << false;
    }

    void aSeasonRowGoesBothWays()
    {
        QFETCH(QString, before);
        QFETCH(QString, separator);
        QFETCH(QString, after);
        QFETCH(bool, read);
        SeasonNumbers values{};
        for (int v = 0; v < kValueCount; ++v)
            values[std::size_t(v)] = v * 3 - 1;
        QString why;
        const std::optional<SeasonNumbers> parsed = ParseSeasonRow(before + SeasonRow(values).replace(u'\t', separator) + after, why);
        QCOMPARE(parsed.has_value(), read);
        if (read)
            QCOMPARE(*parsed, values);
        QVERIFY(!ParseSeasonRow(QStringLiteral("1\t2"), why));
        QVERIFY(!ParseSeasonRow(SeasonRow(values).replace(QStringLiteral("\t2\t"), QStringLiteral("\tx\t")), why));
        QCOMPARE(why, QStringLiteral("the clipboard's Wind Calm is 'x', not a whole number"));
    }
};

QTEST_GUILESS_MAIN(TestClimateExchange)
#include "tst_climateexchange.moc"
