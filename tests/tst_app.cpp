#include "ClimateTestData.h"
#include "TableActions.h"
#ifndef Q_OS_WIN
#include "FaultInjection.h"
#endif
#include "CommandLine.h"
#include "ClimateFile.h"
#include "DialogAnswerer.h"
#include "GameFolder.h"
#include "TListBox.h"
#include "Weather_Main.h"

#include <QFileDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>

#ifndef Q_OS_WIN
#include <csignal>
#include <cstdio>
#include <sys/stat.h>

#include <sys/resource.h>
#endif

using namespace testdata;

class TestApp : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QTemporaryDir m_runtime;
    QString m_game;

    struct Run
    {
        int status = -1;
        QString out;
        QString err;
    };

    // The built program itself, as a user starts it.
    static Run runProgram(const QStringList &arguments, const QProcessEnvironment &environment, const QString &output = {},
                          const QByteArray &input = {}, const QString &folder = {})
    {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(folder);
        if (!output.isEmpty())
            process.setStandardOutputFile(output);
        process.start(QStringLiteral(NIMBREL_PROGRAM), arguments);
        if (!input.isEmpty()) {
            process.write(input);
            process.closeWriteChannel();
        }
        if (!process.waitForFinished(20000) || process.exitStatus() != QProcess::NormalExit)
            return {};
        // Windows writes its line ends as CR LF.
        const auto text = [](const QByteArray &bytes) { return QString::fromLocal8Bit(bytes).replace("\r\n", "\n"); };
        return {process.exitCode(), text(process.readAllStandardOutput()), text(process.readAllStandardError())};
    }

private slots:
    void initTestCase()
    {
        m_game = m_dir.filePath(QStringLiteral("my game"));
        QVERIFY(QDir().mkpath(m_game + QStringLiteral("/Data")));
        writeFile(m_game + QStringLiteral("/Data/Weather.CFG"), fileOf(7));
        QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("elsewhere/data"))));
        writeFile(m_dir.filePath(QStringLiteral("elsewhere/data/notes.txt")), "x");
        writeFile(m_dir.filePath(QStringLiteral("elsewhere/weather.cfg")), fileOf(1));
    }

    void readsTheArguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("textOrFolder");

        const auto start = int(CommandLine::Action::Start);
        const auto usage = int(CommandLine::Action::UsageError);
        const QString elsewhere = m_dir.filePath(QStringLiteral("elsewhere"));
        QTest::newRow("nothing") << QStringList{} << start << QString();
        QTest::newRow("game folder") << QStringList{m_game} << start << m_game;
        QTest::newRow("data folder") << QStringList{m_game + "/Data/"} << start << m_game;
        QTest::newRow("its weather.cfg") << QStringList{m_game + "/Data/Weather.CFG"} << start << m_game;
        QTest::newRow("a folder without a game") << QStringList{elsewhere} << start << elsewhere;
        QTest::newRow("weather.cfg not in data") << QStringList{elsewhere + "/weather.cfg"} << usage
                                                 << QStringLiteral("cannot start in '%1/weather.cfg': neither a game "
                                                                   "folder nor its data/weather.cfg").arg(elsewhere);
        QTest::newRow("missing") << QStringList{m_dir.filePath("nowhere")} << usage
                                 << QStringLiteral("cannot start in '%1': no such file or folder").arg(m_dir.filePath("nowhere"));
        QTest::newRow("two folders") << QStringList{m_game, m_game} << usage << QStringLiteral("one game folder at most");
        QTest::newRow("unknown option") << QStringList{"-style", "x"} << usage << QStringLiteral("Unknown option 'style'.");
        QTest::newRow("help beside Qt's options") << QStringList{"-platform", "x", "-h"} << int(CommandLine::Action::Help)
                                                  << QStringLiteral("Usage: ");
        QTest::newRow("version") << QStringList{"--version"} << int(CommandLine::Action::Version)
                                 << QStringLiteral("nimbrel 1.03");
        QTest::newRow("export") << QStringList{"--export", m_game + "/Data"} << int(CommandLine::Action::Export) << m_game;
        QTest::newRow("import") << QStringList{"--import", "t.csv", m_game} << int(CommandLine::Action::Import) << m_game;
        QTest::newRow("check, no game") << QStringList{"--check", elsewhere} << usage
                                        << QStringLiteral("no game in '%1'").arg(elsewhere);
        QTest::newRow("two actions") << QStringList{"--export", "--check"} << usage
                                     << QStringLiteral("one of --export, --import, --check and --diff at a time");
        QTest::newRow("format without export") << QStringList{"--format", "json", m_game} << usage
                                               << QStringLiteral("--format goes with --export, --check or --diff");
        QTest::newRow("strict without check") << QStringList{"--export", "--strict", m_game} << usage
                                              << QStringLiteral("--strict goes with --check");
        QTest::newRow("unknown format") << QStringList{"--export", "--format", "xml", m_game} << usage
                                        << QStringLiteral("--format takes csv or json, not 'xml'");
#ifdef Q_OS_WIN
        QTest::newRow("/?") << QStringList{"/?"} << int(CommandLine::Action::Help) << QStringLiteral("Usage: ");
        QTest::newRow("quoted folder ending in a backslash")
            << QStringList{QDir::toNativeSeparators(m_game) + u'"'} << start << QDir::toNativeSeparators(m_game) + u'\\';
#endif
    }

    void readsTheArguments()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, action);
        QFETCH(QString, textOrFolder);

        const CommandLine asked = ParseCommandLine(QStringList{"nimbrel"} + arguments);
        QCOMPARE(int(asked.action), action);
        // Help fits a console of 80 columns (but for the program's own path in its first line)
        // and spells paths as the platform does.
        for (const QString &line : asked.text.split(u'\n').mid(1))
            QVERIFY2(asked.action != CommandLine::Action::Help || line.size() < 80, qPrintable(line));
        if (asked.action == CommandLine::Action::Help)
            QVERIFY(asked.text.contains(QDir::toNativeSeparators(QStringLiteral("data/weather.cfg"))));
        if (!asked.folder.isEmpty())
            QCOMPARE(QDir::cleanPath(QDir::fromNativeSeparators(asked.folder)), QDir::cleanPath(QDir::fromNativeSeparators(textOrFolder)));
        else
            QVERIFY2(asked.text.startsWith(textOrFolder), qPrintable(asked.text));
    }

    // The program answers on the console without opening a window, and takes Qt's options.
    void answersWithoutAWindow_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("display");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");

        const QString nowhere = m_dir.filePath(QStringLiteral("nowhere"));
        const QString refused = QStringLiteral("nimbrel: cannot start in '%1': no such file or folder\n"
                                               "Try 'nimbrel --help'.\n").arg(nowhere);
        QTest::newRow("version") << QStringList{"--version"} << true << 0 << QStringLiteral("nimbrel 1.03\n") << QString();
        QTest::newRow("help, no display") << QStringList{"--help"} << false << 0 << QStringLiteral("Usage: ") << QString();
        QTest::newRow("missing folder") << QStringList{nowhere} << true << 2 << QString() << refused;
        QTest::newRow("Qt's options taken") << QStringList{"-platform", "offscreen", "-reverse", "-style", "fusion", nowhere}
                                            << true << 2 << QString() << refused;
        // A wrong command line is said, with its status, before a display is needed.
        QTest::newRow("wrong option, no display") << QStringList{"--bogus"} << false << 2 << QString()
                                                  << QStringLiteral("nimbrel: Unknown option 'bogus'.\nTry 'nimbrel --help'.\n");
        QTest::newRow("Qt's options, missing folder, no display")
            << QStringList{"-style=fusion", "-reverse", nowhere} << false << 2 << QString() << refused;
#ifndef Q_OS_WIN
        QTest::newRow("no display") << QStringList{m_game} << false << 1 << QString()
                                    << QStringLiteral("nimbrel: no display to show the window on (set DISPLAY or "
                                                      "WAYLAND_DISPLAY, or choose a platform with -platform)\n");
#endif
    }

    void answersWithoutAWindow()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, display);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path()); // else Qt warns of it
        if (!display) {
            for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
                environment.remove(QLatin1String(name));
        }
        const Run run = runProgram(arguments, environment);
        QCOMPARE(run.status, status);
        QVERIFY2(run.out.startsWith(out) && (out.isEmpty() == run.out.isEmpty()), qPrintable(run.out));
        QCOMPARE(run.err, err);
    }

    // The table's actions need no display: export, the same table imported (nothing saved, the
    // file byte for byte as it was), a changed one (saved), a bad one (nothing saved, its line
    // named), and the check.
    void theTableActionsNeedNoDisplay()
    {
        QTemporaryDir dir;
        const QString game = dir.filePath(QStringLiteral("game"));
        QVERIFY(QDir().mkpath(game + QStringLiteral("/data")));
        const QString file = game + QStringLiteral("/data/weather.cfg");
        writeFile(file, fileOf(3));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QLatin1String(name));

        const Run exported = runProgram({"--export", game}, environment);
        QCOMPARE(exported.status, 0);
        QCOMPARE(exported.out.count(u'\n'), 1 + 3 * 4);
        const QString table = dir.filePath(QStringLiteral("t.csv"));
        writeFile(table, exported.out.toUtf8());
        const Run same = runProgram({"--import", table, game}, environment);
        QCOMPARE(same.out, QStringLiteral("0 seasons changed; nothing saved\n"));
        QCOMPARE(readFile(file), fileOf(3));

        writeFile(table, QString(exported.out).replace(QRegularExpression(QStringLiteral("\n1,Region 1,Winter,\\d+,")),
                                                       QStringLiteral("\n1,Region 1,Winter,7,")).toUtf8());
        const Run changed = runProgram({"--import", table, game}, environment);
        QCOMPARE(changed.out + changed.err, QStringLiteral("1 season changed\n"));
        QVERIFY(readFile(file).contains("\r\n1 Region 1\r\n"));
        QVERIFY(readFile(file) != fileOf(3));

        const QByteArray saved = readFile(file);
        writeFile(table, QString(exported.out).replace(QStringLiteral("Region 2"), QStringLiteral("Atlantis")).toUtf8());
        const Run bad = runProgram({"--import", table, game}, environment);
        QCOMPARE(bad.status, 1);
        QVERIFY2(bad.err.startsWith(table + QStringLiteral(":10: Region: 'Atlantis' is not the region in slot 2 (Region 2)\n")), qPrintable(bad.err));
        QCOMPARE(readFile(file), saved);

        const Run check = runProgram({"--check", game}, environment);
        QCOMPARE(check.status, 1);
        QCOMPARE(check.err, QDir::toNativeSeparators(file) + QStringLiteral(":2:1: error: the count line says 41 regions, the file holds 3\n"));
        writeFile(file, crlf({"# x", "0"})); // what Open shows first, slot 0, has a blank start day
        const Run headerOnly = runProgram({"--check", game}, environment);
        QCOMPARE(headerOnly.status, 1);
        QVERIFY2(headerOnly.err.startsWith(QDir::toNativeSeparators(file)
                                           + QStringLiteral(":9:1: error: slot 0, Spring: Start day: ' ' is not a valid integer value\n")),
                 qPrintable(headerOnly.err));
#ifndef Q_OS_WIN
        writeFile(file, fileOf(3, "3"));
        const Run full = runProgram({"--export", game}, environment, QStringLiteral("/dev/full"));
        QCOMPARE(full.status, 1);
        QCOMPARE(full.err, QStringLiteral("nimbrel: cannot write the table: No space left on device\n"));
        // A pipe says nothing of its size: what comes through it counts.
        const Run piped = runProgram({"--import", "/dev/stdin", game}, environment, {}, QByteArray(17 << 20, ' '));
        QCOMPARE(piped.status, 1);
        QCOMPARE(piped.err, QStringLiteral("nimbrel: '/dev/stdin' is larger than a table can be (16 MB at the most); nothing saved\n"));
        QCOMPARE(readFile(file), fileOf(3, "3"));
#endif
    }

    // --check as a CI reads it: each problem once, where it stands, from the folder the command
    // was given in; warnings fail only with --strict; the same as one JSON document.
    void theCheckSpeaksToACi_data()
    {
        QTest::addColumn<QByteArrayList>("lines"); // the file, a CR LF after each line
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("err");
        const QByteArrayList three = fileOf(3, "3").split('\n');
        QByteArrayList file;
        for (const QByteArray &line : three)
            file << line.chopped(line.endsWith('\r') ? 1 : 0);
        file.removeLast();
        QTest::newRow("clean") << file << QStringList() << 0 << QString();
        QByteArrayList noSeason = file;
        noSeason.removeAt(19); // Region 1's Summer
        QTest::newRow("a season line gone") << noSeason << QStringList() << 1
                                            << "game/data/weather.cfg:20:1: error: the Summer line of Region 1 ('SUMMER:') should stand here; "
                                               "the lines from here on are out of step\n";
        QByteArrayList noRegion = file;
        noRegion.erase(noRegion.begin() + 12, noRegion.begin() + 22);
        QTest::newRow("a region gone") << noRegion << QStringList() << 1
                                       << "game/data/weather.cfg:2:1: error: the count line says 3 regions, the file holds 2\n";
        QByteArrayList high = file;
        high[8].replace("SPRING: ", "SPRING: 400");
        QTest::newRow("a value mended") << high << QStringList() << 0
                                        << "game/data/weather.cfg:9:9: warning: Region 0, Spring: Start day: 400 is shown, and kept, as 365\n";
        QTest::newRow("a value mended, strict") << high << QStringList{"--strict"} << 1
                                                << "game/data/weather.cfg:9:9: warning: Region 0, Spring: Start day: 400 is shown, and kept, as 365\n";
        QTest::newRow("as JSON") << high << QStringList{"--format", "json"} << 0 << QString();
        QByteArrayList both = high;
        both.removeAt(19);
        QTest::newRow("errors before warnings") << both << QStringList() << 1
                                                << "game/data/weather.cfg:20:1: error: the Summer line of Region 1 ('SUMMER:') should stand here; "
                                                   "the lines from here on are out of step\n"
                                                   "game/data/weather.cfg:9:9: warning: Region 0, Spring: Start day: 400 is shown, and kept, as 365\n";
#ifndef Q_OS_WIN
        QTest::newRow("a report that cannot be written") << file << QStringList{"/dev/full"} << 1
                                                         << "nimbrel: cannot write the report: No space left on device\n";
#endif
    }

    void theCheckSpeaksToACi()
    {
        QFETCH(QByteArrayList, lines);
        QFETCH(QStringList, options);
        QFETCH(int, status);
        QFETCH(QString, err);
        QTemporaryDir dir;
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("game/data"))));
        writeFile(dir.filePath(QStringLiteral("game/data/weather.cfg")), crlf(lines));
        const QString output = options.contains(QStringLiteral("/dev/full")) ? QStringLiteral("/dev/full") : QString();
        options.removeAll(QStringLiteral("/dev/full"));
        const Run run = runProgram(QStringList{"--check", "game"} + options, QProcessEnvironment::systemEnvironment(), output, {}, dir.path());
        QCOMPARE(run.status, status);
        QCOMPARE(run.err, QDir::toNativeSeparators(err));
        if (options.contains(QStringLiteral("json"))) {
            const QJsonObject report = QJsonDocument::fromJson(run.out.toUtf8()).object();
            QCOMPARE(report[QStringLiteral("regions")].toInt(), 3);
            const QJsonObject problem = report[QStringLiteral("problems")].toArray().at(0).toObject();
            QCOMPARE(problem[QStringLiteral("severity")].toString(), QStringLiteral("warning"));
            QCOMPARE(problem[QStringLiteral("line")].toInt() * 100 + problem[QStringLiteral("column")].toInt(), 909);
        } else {
            QCOMPARE(run.out.isEmpty(), err.contains(QStringLiteral(": error: ")) || !output.isEmpty()); // "opens cleanly" otherwise
        }
    }

#ifndef Q_OS_WIN
    // A game folder whose name is no text in the locale (from a Windows zip) is entered and
    // saved by its bytes; the folder its name would read as, if there is one, is not touched.
    void aFolderNamedInOtherBytesIsTheOneSaved()
    {
        const QByteArray base = QFile::encodeName(m_dir.path());
        const QByteArray odd = base + "/g\xff" "me";
        const QByteArray misread = base + "/g\xef\xbf\xbd" "me"; // how the odd name reads as text
        const auto put = [](const QByteArray &game, const QByteArray &bytes) { return putBytes(game + "/data/weather.cfg", bytes); };
        const auto get = [](const QByteArray &game) { return getBytes(game + "/data/weather.cfg"); };
        // QTemporaryDir removes by names as text, which miss the odd one: removed by its bytes.
        const auto removeOdd = qScopeGuard([&odd] { std::filesystem::remove_all(odd.toStdString()); });
        QVERIFY(put(odd, fileOf(2)) && put(misread, fileOf(2)));

        const QString before = QDir::currentPath();
        QByteArray argument = odd + "/data/weather.cfg";
        char program[] = "nimbrel";
        char *argv[] = {program, argument.data(), nullptr};
        EnterUndecodableArguments(2, argv);
        const CommandLine asked = ParseCommandLine({QStringLiteral("nimbrel"), QFile::decodeName(argv[1])});
        QCOMPARE(QDir::currentPath(), before); // the working folder stays where it was
        QCOMPARE(ShownArgument(asked.folder), QFile::decodeName(odd)); // messages name it as typed
        QCOMPARE(climate::ReplaceFileContents(asked.folder + QStringLiteral("/data/weather.cfg"), fileOf(5)).outcome,
                 storage::SaveOutcome::Saved);
        QCOMPARE(get(odd), fileOf(5));
        QCOMPARE(get(misread), fileOf(2));
    }

    // Names that are no text: an argument so named does not move the other, and a game folder
    // so named (the working folder) is the one read and saved, not the one its name reads as.
    void namesInBytesNameWhatTheyNamed_data()
    {
        QTest::addColumn<QByteArray>("folder"); // where the command is typed, under the test's folder
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QByteArray>("game");   // the argument; empty: none, the working folder
        QTest::newRow("the table's folder") << QByteArray() << QByteArray("caf\xe9/t.csv") << QByteArray("game");
        QTest::newRow("the game folder") << QByteArray() << QByteArray("t.csv") << QByteArray("g\xe9me");
        QTest::newRow("in the game folder, its misread twin beside it") << QByteArray("g\xe9me") << QByteArray("../t.csv") << QByteArray();
    }

    void namesInBytesNameWhatTheyNamed()
    {
        QFETCH(QByteArray, folder);
        QFETCH(QByteArray, table);
        QFETCH(QByteArray, game);
        QTemporaryDir dir;
        const QByteArray base = QFile::encodeName(dir.path()) + '/';
        const auto removeOdd = qScopeGuard([&] {
            for (const char *odd : {"caf\xe9", "g\xe9me"})
                std::filesystem::remove_all((base + odd).toStdString());
        });
        const QByteArray gameFolder = base + (game.isEmpty() ? folder : game);
        auto regions = tableOf(2);
        const QByteArray before = climate::FormatClimateFile(*regions, "2");
        QVERIFY(putBytes(gameFolder + "/data/weather.cfg", before));
        QVERIFY(putBytes(base + "g\xef\xbf\xbdme/data/weather.cfg", before)); // how g\xe9me reads as text
        (*regions)[1].Season[2].Values[1] = "9";
        QVERIFY(putBytes(base + (folder.isEmpty() ? table : folder + '/' + table), climate::ExportTable(*regions, climate::ExchangeFormat::Csv, "\n")));
        // The bytes go through the shell: arguments and folders as text cannot spell them.
        const auto shell = [](const QByteArray &bytes) { return QString::fromLatin1(bytes).replace(u'\xe9', QStringLiteral("\\351")); };
        QProcess program;
        program.setWorkingDirectory(dir.path());
        program.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("cd \"$(printf '%1')\" && exec \"$0\" --import \"$(printf '%2')\" %3")
                                                                           .arg(shell(folder.isEmpty() ? "." : folder), shell(table),
                                                                                game.isEmpty() ? QString() : QStringLiteral("\"$(printf '%1')\"").arg(shell(game))),
                                                 QStringLiteral(NIMBREL_PROGRAM)});
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.readAllStandardError(), QByteArray());
        QCOMPARE(program.readAllStandardOutput(), QByteArray("1 season changed\n"));
        QCOMPARE(getBytes(gameFolder + "/data/weather.cfg"), climate::FormatClimateFile(*regions, "2"));
        QCOMPARE(getBytes(base + "g\xef\xbf\xbdme/data/weather.cfg"), before);
        if (!game.contains('\xe9'))
            return;
        // --check names the file under the folder as typed (as near as text shows it).
        program.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("exec \"$0\" --check \"$(printf '%1')\"").arg(shell(game)),
                                                 QStringLiteral(NIMBREL_PROGRAM)});
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.readAllStandardOutput(), QByteArray("g\xef\xbf\xbdme/data/weather.cfg: 2 regions, opens cleanly\n"));
    }

    // --diff OTHER GAME: the game's rows of the seasons it has otherwise (a value that reads
    // as the same number is no difference), the regions only OTHER has on standard error, and
    // status 1 when anything differs; the rows imported into OTHER make it the same.
    void theDiffListsWhatDiffers_data()
    {
        QTest::addColumn<int>("slot");
        QTest::addColumn<QByteArray>("name");   // slot's name in GAME ("" for none)
        QTest::addColumn<QByteArray>("calm");   // GAME's Spring Calm in that slot (OTHER's: 41)
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("err");
        QTest::newRow("the same") << 1 << QByteArray("Region 1") << QByteArray("41") << 0 << 0 << QString();
        QTest::newRow("the same number") << 1 << QByteArray("Region 1") << QByteArray("041") << 0 << 0 << QString();
        QTest::newRow("a value") << 1 << QByteArray("Region 1") << QByteArray("7") << 1 << 1 << QString();
        QTest::newRow("a name") << 1 << QByteArray("Renamed") << QByteArray("41") << 1 << 4 << QString();
        QTest::newRow("only in OTHER") << 1 << QByteArray() << QByteArray("41") << 1 << 0
                                       << "nimbrel: slot 1: 'Region 1' is only in 'other'\n";
    }

    void theDiffListsWhatDiffers()
    {
        QFETCH(int, slot);
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, calm);
        QFETCH(int, status);
        QFETCH(int, rows);
        QFETCH(QString, err);
        QTemporaryDir dir;
        const auto theirs = tableOf(2);
        auto mine = tableOf(2);
        (*mine)[std::size_t(slot)].Name = name;
        (*mine)[std::size_t(slot)].Season[0].Values[1] = calm;
        for (const auto &[folder, table] : {std::pair{"other", theirs.get()}, std::pair{"game", mine.get()}}) {
            QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("%1/data").arg(folder))));
            writeFile(dir.filePath(QStringLiteral("%1/data/weather.cfg").arg(folder)), climate::FormatClimateFile(*table, "2"));
        }
        const QString output = dir.filePath(QStringLiteral("d.csv"));
        const Run run = runProgram({"--diff", "other", "game"}, QProcessEnvironment::systemEnvironment(), output, {}, dir.path());
        QCOMPARE(run.status, status);
        QCOMPARE(run.err, err);
        QCOMPARE(readFile(output).count('\n') - 1, rows);
        if (rows > 0 && name == "Region 1") {
            QCOMPARE(runProgram({"--import", output, "other"}, QProcessEnvironment::systemEnvironment(), {}, {}, dir.path()).status, 0);
            QCOMPARE(runProgram({"--diff", "other", "game"}, QProcessEnvironment::systemEnvironment(), output, {}, dir.path()).status, 0);
        }
    }

    // An import whose new bytes are in place exits 0, what is true beside the save said as a
    // warning (here: leftovers of earlier saves could not be looked for); 1 is for nothing saved.
    void anImportThatSavedExitsZero()
    {
        QTemporaryDir dir;
        const QString game = QFileInfo(newDataFolder(dir.path())).path();
        auto regions = tableOf(2);
        writeFile(game + QStringLiteral("/data/weather.cfg"), climate::FormatClimateFile(*regions, "2"));
        (*regions)[1].Season[2].Values[1] = "9";
        writeFile(dir.filePath(QStringLiteral("t.csv")), climate::ExportTable(*regions, climate::ExchangeFormat::Csv, "\n"));
        faults::failListings();
        const auto disarm = qScopeGuard([] { faults::disarm(); });
        QCOMPARE(RunTableAction(ParseCommandLine({QStringLiteral("nimbrel"), QStringLiteral("--import"), dir.filePath(QStringLiteral("t.csv")), game})), 0);
        QCOMPARE(readFile(game + QStringLiteral("/data/weather.cfg")), climate::FormatClimateFile(*regions, "2"));
    }

    // Past a file-size limit the system sends SIGXFSZ, which would end the editor with its
    // edits: the program, started as users start it, ignores it and reports "Disk full".
    void theProgramSurvivesAFileSizeLimit()
    {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        program.setProcessEnvironment(environment);
        program.setChildProcessModifier([] {
            const rlimit limit{4096, 4096};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
        program.start(QStringLiteral(NIMBREL_PROGRAM), {m_game});
        QVERIFY(program.waitForStarted());
        const auto ignoresXfsz = [&] {
            QFile status(QStringLiteral("/proc/%1/status").arg(program.processId()));
            if (!status.open(QIODevice::ReadOnly))
                return false;
            const QByteArray text = status.readAll();
            const qsizetype at = text.indexOf("SigIgn:");
            const QByteArray mask = text.mid(at + 7, text.indexOf('\n', at) - at - 7).trimmed();
            return at >= 0 && ((mask.toULongLong(nullptr, 16) >> (SIGXFSZ - 1)) & 1) == 1;
        };
        QTRY_VERIFY_WITH_TIMEOUT(ignoresXfsz(), 10000);
        ::kill(pid_t(program.processId()), SIGXFSZ);
        QVERIFY(!program.waitForFinished(300));
        program.kill();
        program.waitForFinished();
    }
#endif

    // A usage error where someone reads standard error (a pipe here, on a platform with windows)
    // never waits for a person: said, and the program ends at once.
    void aUsageErrorNeverWaits_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("--import without a file") << QStringList{"--import"};
        QTest::newRow("--check of nothing") << QStringList{"--check", "/nonexistent"};
        QTest::newRow("two folders") << QStringList{".", "."};
    }

    void aUsageErrorNeverWaits()
    {
        QFETCH(QStringList, arguments);
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("QT_ASSUME_STDERR_HAS_CONSOLE"));
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(NIMBREL_PROGRAM), QStringList{"-platform", "offscreen"} + arguments);
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitCode(), 2);
        QVERIFY(program.readAllStandardError().startsWith("nimbrel: "));
    }

    // Where nobody reads standard error, a usage error is shown in a message box, in one sentence.
    void showsUsageErrorsInOneSentence()
    {
        const QStringList errors{ParseCommandLine({"nimbrel", "--bogus"}).text, QStringLiteral("one game folder at most"),
                                 QStringLiteral("cannot start in 'x': no such file or folder")};
        QStringList shown;
        for (const QString &error : errors) {
            DialogAnswerer answer;
            ShowUsageError(error);
            QVERIFY(answer.answered);
            QCOMPARE(answer.title, QStringLiteral("Nimbrel - Climate Editor by [Kest]"));
            QCOMPARE(answer.icon, QMessageBox::Critical);
            shown << answer.text;
        }
        QCOMPARE(shown, (QStringList{"Nimbrel cannot start: unknown option 'bogus'.",
                                     "Nimbrel cannot start: one game folder at most.",
                                     "Nimbrel cannot start in 'x': no such file or folder."}));
    }

    // Started outside a game, the editor asks for the game folder until it gets one or is
    // cancelled; the chosen folder becomes the document's, where Open finds the file, and the
    // working folder stays where it was.
    void asksForTheGameFolder()
    {
        const QString before = QDir::currentPath();
        const auto chooserSettings = [] {
            QSettings settings(QSettings::UserScope, QStringLiteral("QtProject"));
            settings.beginGroup(QStringLiteral("FileDialog"));
            QStringList values;
            for (const QString &key : settings.childKeys())
                values << key + u'=' + settings.value(key).toString() + settings.value(key).toStringList().join(u',');
            return values;
        };
        const QStringList settingsBefore = chooserSettings();
        TWeather_Editor_ window;
        window.show();
        for (const QString &folder : {m_game, m_dir.path()}) {
            QVERIFY(window.document().setGameFolder(folder));
            DialogAnswerer cancel{QString()};
            QCOMPARE(EnsureGameFolder(&window, window.document()), folder == m_game);
            QCOMPARE(cancel.answered, folder != m_game);
            QCOMPARE(window.document().gameFolder(), folder);
        }

        QStringList shown;
        const QStringList choices{m_dir.filePath(QStringLiteral("elsewhere")), m_game + QStringLiteral("/Data")};
        int chosen = 0;
        QTimer answer;
        connect(&answer, &QTimer::timeout, &window, [&] {
            QWidget *modal = QApplication::activeModalWidget();
            if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
                shown << dialog->windowTitle() + u'@' + QDir(dialog->directory()).canonicalPath();
                if (chosen == choices.size())
                    return dialog->reject();
                dialog->setDirectory(choices[chosen++]);
                static_cast<QDialog *>(dialog)->accept(); // QFileDialog hides it
            } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
                shown << box->text().section(u'\n', 0, 0);
                box->accept();
            }
        });
        answer.start(10);
        QVERIFY2(EnsureGameFolder(&window, window.document()), qPrintable(shown.join(" | ")));
        QCOMPARE(shown, (QStringList{QStringLiteral("Choose the game folder@") + QDir(m_dir.path()).canonicalPath(),
                                     QStringLiteral("'%1' holds no %2.").arg(QDir::toNativeSeparators(choices[0]),
                                                                             QDir::toNativeSeparators("data/weather.cfg")),
                                     QStringLiteral("Choose the game folder@") + QDir(choices[0]).canonicalPath()}));
        QCOMPARE(QDir(window.document().gameFolder()).canonicalPath(), QDir(m_game).canonicalPath());
        QCOMPARE(QDir::currentPath(), before);

        window.Menu_OpenClick();
        QCOMPARE(window.findChild<TListBox *>(QStringLiteral("Regions_List"))->count(), 7);
        // The chooser kept no history in the settings.
        QCOMPARE(chooserSettings(), settingsBefore);
#ifndef Q_OS_WIN
        const QString config = qEnvironmentVariable("XDG_CONFIG_HOME", QDir::homePath() + QStringLiteral("/.config"));
        QVERIFY(!QFileInfo::exists(config + QStringLiteral("/QtProject.conf")));
#endif
    }
};

QTEST_MAIN(TestApp)
#include "tst_app.moc"
