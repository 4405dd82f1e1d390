#include "ClimateDocument.h"
#include "ClimateExchange.h"
#include "ClimateTestData.h"
#include "WorldTableModel.h"

#include <QAbstractItemModelTester>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

using namespace testdata;

class TestWorldTableModel : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<ClimateDocument> m_document;
    std::unique_ptr<WorldTableModel> m_model;

    QString cell(int row, int column, int role = Qt::DisplayRole) const
    {
        return m_model->data(m_model->index(row, column), role).toString();
    }
    int column(int value) const { return WorldTableModel::FirstValueColumn + value; }

private slots:
    void init()
    {
        const QString data = newDataFolder(m_dir.path());
        writeFile(data + QStringLiteral("/weather.cfg"), climate::FormatClimateFile(*tableOf(2), "2"));
        m_document = std::make_unique<ClimateDocument>(nullptr, ClimateDocument::Recovery::None);
        QVERIFY(m_document->setGameFolder(QFileInfo(data).path()));
        m_model = std::make_unique<WorldTableModel>(*m_document);
        new QAbstractItemModelTester(m_model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest, m_model.get());
        m_document->open();
    }

    // A row per used region and season, the seasons of a region together; each cell named for a
    // screen reader by region, season and level, -1 shown as "none".
    void showsEveryUsedSeason()
    {
        QCOMPARE(m_model->rowCount(), 8);
        QCOMPARE(m_model->columnCount(), WorldTableModel::ShapeColumn + 1);
        QCOMPARE(cell(4, WorldTableModel::SlotColumn) + cell(4, WorldTableModel::RegionColumn) + cell(4, WorldTableModel::SeasonColumn),
                 QStringLiteral("1Region 1Spring"));
        m_model->setData(m_model->index(0, column(1)), -1);
        QCOMPARE(cell(0, column(1)), QStringLiteral("none"));
        QCOMPARE(cell(0, column(1), Qt::AccessibleTextRole), QStringLiteral("Region 0, Spring, Wind Calm: none"));
    }

    // An edit, a pasted block and a take-theirs are each one step of the document's stack,
    // clamped by the value rules; undo and redo walk them, and the model follows.
    void editsAreStepsOfTheDocument()
    {
        QUndoStack &undo = m_document->undoStack();
        const QString before = cell(2, column(3));
        QVERIFY(m_model->setData(m_model->index(2, column(3)), QStringLiteral("250")));
        QCOMPARE(cell(2, column(3)), QStringLiteral("100"));
        QVERIFY(!m_model->setData(m_model->index(2, column(3)), QStringLiteral("x1")));
        QCOMPARE(m_model->setNumbers({{0, column(0), 400}, {0, column(1), 7}, {5, column(2), 8}}, QStringLiteral("Paste")), 2);
        QCOMPARE(undo.count(), 2);
        QCOMPARE(cell(0, column(0)) + u',' + cell(5, column(2)), QStringLiteral("365,8"));
        QCOMPARE(m_model->setNumbers({{0, column(1), 7}}, QStringLiteral("Paste")), 0); // no change, no step
        QCOMPARE(undo.count(), 2);

        auto theirs = tableOf(2);
        (*theirs)[0].Season[0].Values[1] = "12";
        m_model->compareWith(std::move(theirs));
        QCOMPARE(m_model->differingRows(), 3); // rows 0 (three cells), 2 and 5
        QCOMPARE(cell(0, column(1)), QStringLiteral("7 ≠ 12"));
        QCOMPARE(cell(0, column(1), Qt::AccessibleTextRole), QStringLiteral("Region 0, Spring, Wind Calm: 7, theirs 12"));
        // A level's cell takes that value, a season's cell its season, a region's name its region.
        QCOMPARE(m_model->takeTheirs({m_model->index(0, column(1)), m_model->index(2, WorldTableModel::SeasonColumn)}), 2);
        QCOMPARE(cell(0, column(1)) + u',' + cell(0, column(0)) + u',' + cell(2, column(3)), QStringLiteral("12,365 ≠ 0,") + before);
        QCOMPARE(m_model->takeTheirs({m_model->index(4, WorldTableModel::RegionColumn)}), 1);
        QCOMPARE(m_model->differingRows(), 1);
        QCOMPARE(undo.count(), 4);
        const QByteArray taken = climate::ExportTable(m_document->table(), climate::ExchangeFormat::Csv);
        for (int step = 0; step < 4; ++step)
            undo.undo();
        QCOMPARE(cell(2, column(3)), before);
        QVERIFY(!m_document->isModified());
        for (int step = 0; step < 4; ++step)
            undo.redo();
        QCOMPARE(climate::ExportTable(m_document->table(), climate::ExchangeFormat::Csv), taken);
    }
};

QTEST_GUILESS_MAIN(TestWorldTableModel)
#include "tst_worldtablemodel.moc"
