// The editor window's costs beside an empty QMainWindow started the same way.
// Run on the offscreen platform: QT_QPA_PLATFORM=offscreen build/bench/bench_window

#include "EditorFont.h"
#include "Weather_Main.h"
#include "about_box_form.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QMainWindow>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>

#include <sys/resource.h>

namespace {

template <typename Window>
void showAndWait(Window &window)
{
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        qFatal("the window was not shown");
}

// From starting the program until its window is shown, in a fresh process each time.
void startUntilShown(benchmark::State &state, const char *which)
{
    for (auto _ : state) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(which)});
        if (!child.waitForFinished(30000) || child.exitCode() != 0)
            state.SkipWithError("the child did not show its window");
    }
}

void BM_StartEditorProcess(benchmark::State &state)
{
    startUntilShown(state, "--shown-editor");
}
BENCHMARK(BM_StartEditorProcess)->Unit(benchmark::kMillisecond)->MinTime(2);

void BM_StartEmptyMainWindowProcess(benchmark::State &state)
{
    startUntilShown(state, "--shown-empty");
}
BENCHMARK(BM_StartEmptyMainWindowProcess)->Unit(benchmark::kMillisecond)->MinTime(2);

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

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

long childResidentKiB(const char *which)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(which)});
    if (!child.waitForFinished(30000))
        return -1;
    return child.readAllStandardOutput().trimmed().toLong();
}

// Each in a fresh process of its own, so that neither pays for the other.
void BM_ResidentMemory(benchmark::State &state)
{
    long editor = 0;
    long empty = 0;
    for (auto _ : state) {
        editor = childResidentKiB("--resident-editor");
        empty = childResidentKiB("--resident-empty");
    }
    state.counters["editor_KiB"] = double(editor);
    state.counters["empty_KiB"] = double(empty);
    state.counters["ratio"] = empty > 0 ? double(editor) / double(empty) : 0;
}
BENCHMARK(BM_ResidentMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

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

template <typename Window>
int showWindow(bool printResident)
{
    Window window;
    window.resize(606, 348);
    showAndWait(window);
    if (printResident) {
        QTest::qWait(200);
        std::printf("%ld\n", residentKiB());
    }
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
    if (mode.startsWith("--shown-") || mode.startsWith("--resident-")) {
        const bool resident = mode.startsWith("--resident-");
        if (mode.endsWith("-editor")) {
            QApplication::setFont(EditorFont());
            return showWindow<TWeather_Editor_>(resident);
        }
        return showWindow<QMainWindow>(resident);
    }

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
