#include "ClimateTestData.h"
#include "CommandLine.h"
#include "Weather_Main.h"

#include <QListWidget>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace testdata;

class TestApp : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    struct Run
    {
        int status = -1;
        QString out;
        QString err;
    };

    // The built program itself, as a user starts it.
    static Run runProgram(const QStringList &arguments)
    {
        QProcess process;
        process.start(QStringLiteral(NIMBREL_PROGRAM), arguments);
        if (!process.waitForFinished(20000) || process.exitStatus() != QProcess::NormalExit)
            return {};
        // Windows writes its line ends as CR LF.
        const auto text = [](const QByteArray &bytes) { return QString::fromLocal8Bit(bytes).replace("\r\n", "\n"); };
        return {process.exitCode(), text(process.readAllStandardOutput()), text(process.readAllStandardError())};
    }

private slots:
    void answersWithoutAWindow_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");

        const QString file = m_dir.filePath(QStringLiteral("a-file"));
        writeFile(file, "x");
        QTest::newRow("version") << QStringList{"--version"} << 0 << QStringLiteral("nimbrel 1.03\n") << QString();
        QTest::newRow("help") << QStringList{"--help"} << 0 << QStringLiteral("Usage: ") << QString();
        QTest::newRow("missing folder") << QStringList{m_dir.filePath("nowhere")} << 2 << QString()
                                        << QStringLiteral("nimbrel: cannot start in '%1': no such folder\n")
                                               .arg(m_dir.filePath("nowhere"));
        QTest::newRow("a file, not a folder") << QStringList{file} << 2 << QString()
                                              << QStringLiteral("nimbrel: cannot start in '%1': not a folder\n").arg(file);
        QTest::newRow("two folders") << QStringList{m_dir.path(), m_dir.path()} << 2 << QString()
                                     << QStringLiteral("nimbrel: one game folder at most\nTry 'nimbrel --help'.\n");
    }

    void answersWithoutAWindow()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);

        const Run run = runProgram(arguments);
        QCOMPARE(run.status, status);
        QVERIFY2(run.out.startsWith(out) && (out.isEmpty() == run.out.isEmpty()), qPrintable(run.out));
        QCOMPARE(run.err, err);
        if (arguments == QStringList{"--help"})
            QVERIFY2(run.out.contains(QStringLiteral("GAME_FOLDER")), qPrintable(run.out));
    }

    // Started with a game folder, the window opens that folder's file.
    void startsInTheGivenGameFolder()
    {
        const QString game = m_dir.filePath(QStringLiteral("my game"));
        QVERIFY(QDir().mkpath(game + QStringLiteral("/data")));
        writeFile(game + QStringLiteral("/data/weather.cfg"), fileOf(7));

        const QString before = QDir::currentPath();
        QString out;
        QString err;
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        QCOMPARE(HandleCommandLine({QStringLiteral("nimbrel"), game}, outStream, errStream), std::nullopt);
        QCOMPARE(QDir::current().canonicalPath(), QDir(game).canonicalPath());
        QVERIFY(out.isEmpty() && err.isEmpty());

        TWeather_Editor_ window;
        window.show();
        window.Menu_OpenClick();
        QCOMPARE(window.findChild<QListWidget *>(QStringLiteral("Regions_List"))->count(), 7);
        QDir::setCurrent(before);
    }
};

QTEST_MAIN(TestApp)
#include "tst_app.moc"
