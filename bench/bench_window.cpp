// The editor window's costs beside an empty QMainWindow started the same way.
// Run on the offscreen platform: QT_QPA_PLATFORM=offscreen build/bench/bench_window

#include "EditorFont.h"
#include "Failure.h"
#include "Weather_Main.h"
#include "WorldTable.h"
#include "WorldTableModel.h"
#include "about_box_form.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QMainWindow>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include <sys/resource.h>

namespace {

template <typename Window>
void showAndWait(Window &window)
{
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        qFatal("the window was not shown");
}

// What a fresh process of one kind reports once its window is shown: the CPU time from exec to
// the first frame, and its resident and peak memory a moment later.
struct StartFigures {
    double cpuMs = 0;
    double residentKiB = 0;
    double peakKiB = 0;
};

bool startOnce(const char *which, StartFigures &figures)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(which)});
    if (!child.waitForFinished(30000) || child.exitCode() != 0)
        return false;
    const QList<QByteArray> fields = child.readAllStandardOutput().simplified().split(' ');
    if (fields.size() != 3)
        return false;
    figures = {fields[0].toDouble(), fields[1].toDouble(), fields[2].toDouble()};
    return true;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The editor and a baseline window (an empty QMainWindow, or one that shows a line of text in
// the editor's font), each started the way the program starts, in pairs one after the other so
// that both meet the same machine; medians of the pairs and their ratio.
void BM_StartEditorBeside(benchmark::State &state, const char *baseline)
{
    const int pairs = int(state.range(0));
    std::vector<double> editorCpu, emptyCpu, editorResident, emptyResident, editorPeak, emptyPeak;
    for (auto _ : state) {
        for (int pair = 0; pair < pairs; ++pair) {
            StartFigures editor, empty;
            if (!startOnce("--shown-editor", editor) || !startOnce(baseline, empty)) {
                state.SkipWithError("a child did not show its window");
                return;
            }
            editorCpu.push_back(editor.cpuMs);
            emptyCpu.push_back(empty.cpuMs);
            editorResident.push_back(editor.residentKiB);
            emptyResident.push_back(empty.residentKiB);
            editorPeak.push_back(editor.peakKiB);
            emptyPeak.push_back(empty.peakKiB);
        }
    }
    const auto put = [&state](const char *name, const std::vector<double> &editor, const std::vector<double> &empty) {
        state.counters[std::string(name) + "_editor"] = median(editor);
        state.counters[std::string(name) + "_beside"] = median(empty);
        state.counters[std::string(name) + "_ratio"] = median(editor) / median(empty);
    };
    put("cpu_ms", editorCpu, emptyCpu);
    put("resident_KiB", editorResident, emptyResident);
    put("peak_KiB", editorPeak, emptyPeak);
}
BENCHMARK_CAPTURE(BM_StartEditorBeside, EmptyWindow, "--shown-empty")->Arg(15)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_StartEditorBeside, TextWindow, "--shown-text")->Arg(15)->Iterations(1)->Unit(benchmark::kSecond);

// From the click on Open until the first region's season is in the editors.
void BM_OpenSampleFile(benchmark::State &state)
{
    const QString start = QDir::currentPath();
    QDir::setCurrent(QStringLiteral(NIMBREL_SAMPLE_GAME));
    TWeather_Editor_ window;
    showAndWait(window);
    auto *open = window.findChild<QToolButton *>(QStringLiteral("Menu_Open"));
    for (auto _ : state)
        open->click();
    QDir::setCurrent(start);
}
BENCHMARK(BM_OpenSampleFile)->Unit(benchmark::kMicrosecond);

// The world table on the sample (164 rows): made and shown until its first frame, sorted by a
// column, filtered by a region's name. Each is to stay within a 60 Hz frame (16.7 ms).
void BM_WorldTable(benchmark::State &state)
{
    ClimateDocument document(nullptr, ClimateDocument::Recovery::None);
    document.setGameFolder(QStringLiteral(NIMBREL_SAMPLE_GAME));
    document.open();
    const int step = int(state.range(0));
    TWorldTable table(document);
    if (step > 0)
        showAndWait(table);
    auto *filter = table.findChild<QLineEdit *>(QStringLiteral("Filter"));
    int round = 0;
    for (auto _ : state) {
        if (step == 0) {
            TWorldTable shown(document);
            showAndWait(shown);
            QCoreApplication::processEvents();
        } else if (step == 1) {
            table.view()->sortByColumn(WorldTableModel::FirstValueColumn + 16, ++round % 2 ? Qt::DescendingOrder : Qt::AscendingOrder);
            table.view()->viewport()->repaint();
        } else {
            filter->setText(++round % 2 ? QStringLiteral("Spain") : QString());
            table.view()->viewport()->repaint();
        }
    }
    state.SetLabel(step == 0 ? "open and show" : step == 1 ? "sort by Warmth Hot" : "filter to Spain and back");
}
BENCHMARK(BM_WorldTable)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

long statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(std::strlen(field))).trimmed().split(' ').first().toLong();
    }
    return -1;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The editor as it runs, with the About dialog hidden or shown, idle for ten seconds; prints
// the CPU time it took meanwhile.
int idleWithAboutBox(bool shown)
{
    TWeather_Editor_ window;
    TAboutBox about(&window);
    window.setAboutBox(&about);
    showAndWait(window);
    if (shown)
        showAndWait(about);
    QTest::qWait(500);
    // A plain event loop: QTest::qWait() would wake up every few milliseconds itself.
    QEventLoop loop;
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    const double before = cpuSeconds();
    loop.exec();
    std::printf("%f\n", cpuSeconds() - before);
    return 0;
}

// The share of one core the scrolling credit line costs, over ten seconds.
void BM_AboutBoxCpu(benchmark::State &state)
{
    double hidden = 0;
    double shown = 0;
    for (auto _ : state) {
        for (auto [mode, share] : {std::pair{"--cpu-about-hidden", &hidden}, std::pair{"--cpu-about-shown", &shown}}) {
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(mode)});
            child.waitForFinished(60000);
            *share = child.readAllStandardOutput().trimmed().toDouble() / 10.0 * 100.0;
        }
    }
    state.counters["hidden_percent_of_a_core"] = hidden;
    state.counters["shown_percent_of_a_core"] = shown;
}
BENCHMARK(BM_AboutBoxCpu)->Iterations(1)->Unit(benchmark::kSecond);

// Shows the window, then prints the CPU time taken so far (from exec, loading included) and,
// once the first frames have settled, resident and peak memory.
template <typename Window>
int showWindowAndReport(Window &window)
{
    window.resize(606, 348);
    showAndWait(window);
    const double cpuMs = cpuSeconds() * 1000.0;
    QTest::qWait(200);
    std::printf("%.3f %ld %ld\n", cpuMs, statusKiB("VmRSS:"), statusKiB("VmHWM:"));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    const QByteArrayView mode = argc == 2 ? QByteArrayView(argv[1]) : QByteArrayView();
    if (mode.startsWith("--cpu-about-")) {
        QApplication::setFont(EditorFont());
        return idleWithAboutBox(mode.endsWith("-shown"));
    }
    if (mode == "--shown-editor") {
        // As the program starts its window.
        QApplication::setFont(EditorFont());
        UseProgramIcon();
        TWeather_Editor_ window;
        TAboutBox about(&window);
        window.setAboutBox(&about);
        return showWindowAndReport(window);
    }
    if (mode == "--shown-empty") {
        QMainWindow window;
        return showWindowAndReport(window);
    }
    if (mode == "--shown-text") {
        QApplication::setFont(EditorFont());
        QMainWindow window;
        window.setCentralWidget(new QLabel(QStringLiteral("Countrys and Regions")));
        return showWindowAndReport(window);
    }

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
