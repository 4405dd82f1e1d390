// The climate layer's costs, each beside a baseline that does the least the same job needs.
// Run: build/bench/bench_climate  (a Release or RelWithDebInfo build)

#include "ClimateExchange.h"
#include "ClimateFile.h"
#include "ClimateFormat.h"
#include "SeasonDecoding.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>

#include <cstring>
#include <memory>

#include <sys/resource.h>

namespace {

QByteArray sampleBytes()
{
    QFile file(QStringLiteral(NIMBREL_SAMPLE_GAME "/data/weather.cfg"));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("the sample weather.cfg is missing");
    return file.readAll();
}

// A game folder in a temporary directory holding the sample file.
struct SampleGame
{
    QTemporaryDir dir;
    climate::TClimateFile file;
    QByteArray bytes = sampleBytes();

    SampleGame()
    {
        QDir(dir.path()).mkpath(QStringLiteral("data"));
        file.FileName = dir.filePath(QStringLiteral("data/weather.cfg"));
        QFile out(file.FileName);
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
            qFatal("cannot write the sample game");
    }
};

// (a) Splitting lines, decoding and formatting a full file, all in memory.
void BM_InMemoryReadDecodeFormat(benchmark::State &state)
{
    const QByteArray bytes = sampleBytes();
    auto raw = std::make_unique<climate::RawClimate>();
    auto table = std::make_unique<TRegionTable>();
    QByteArray header;
    for (auto _ : state) {
        climate::ReadClimateBytes(bytes, *raw);
        climate::StoreRawClimate(*raw, *table, header);
        climate::DecodeTable(*table);
        QByteArray out = climate::FormatClimateFile(*table, header);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_InMemoryReadDecodeFormat);

// The table of the 41-region sample as CSV, and read back with every check, beside the plain
// read of the same file above; and 1 MB and 15 MB CSVs (rows repeated, each row said once with
// how often it came), which must read in linear time.
std::unique_ptr<TRegionTable> sampleTable()
{
    auto raw = std::make_unique<climate::RawClimate>();
    auto table = std::make_unique<TRegionTable>();
    QByteArray header;
    climate::ReadClimateBytes(sampleBytes(), *raw);
    climate::StoreRawClimate(*raw, *table, header);
    climate::DecodeTable(*table);
    return table;
}

void BM_ExportCsv(benchmark::State &state)
{
    const auto table = sampleTable();
    for (auto _ : state) {
        QByteArray out = climate::ExportTable(*table, climate::ExchangeFormat::Csv);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_ExportCsv);

void BM_ImportCsv(benchmark::State &state)
{
    const auto table = sampleTable();
    QByteArray csv = climate::ExportTable(*table, climate::ExchangeFormat::Csv);
    const qsizetype header = csv.indexOf('\n') + 1;
    while (csv.size() < state.range(0))
        csv += csv.mid(header, csv.size() - header); // repeated rows: every one read and checked
    std::vector<climate::SeasonValues> rows;
    for (auto _ : state) {
        const QStringList problems = climate::ReadExchange(csv, QStringLiteral("t.csv"), *table, rows);
        benchmark::DoNotOptimize(problems.size());
    }
    state.SetBytesProcessed(state.iterations() * csv.size());
}
BENCHMARK(BM_ImportCsv)->Arg(0)->Arg(1 << 20)->Arg(15 << 20)->Unit(benchmark::kMillisecond);

void BM_InMemoryPlainCopy(benchmark::State &state)
{
    const QByteArray bytes = sampleBytes();
    QByteArray copy(bytes.size(), Qt::Uninitialized);
    for (auto _ : state) {
        std::memcpy(copy.data(), bytes.constData(), std::size_t(bytes.size()));
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_InMemoryPlainCopy);

// (b) Open to table, and table to file, on disk.
void BM_DiskOpenToTable(benchmark::State &state)
{
    SampleGame game;
    auto table = std::make_unique<TRegionTable>();
    QByteArray header;
    for (auto _ : state) {
        climate::LoadClimateFile(game.file, *table, header);
        climate::DecodeTable(*table);
    }
}
BENCHMARK(BM_DiskOpenToTable);

void BM_DiskPlainRead(benchmark::State &state)
{
    SampleGame game;
    for (auto _ : state) {
        QFile file(game.file.FileName);
        if (!file.open(QIODevice::ReadOnly))
            state.SkipWithError("cannot read");
        QByteArray bytes = file.readAll();
        benchmark::DoNotOptimize(bytes.data());
    }
}
BENCHMARK(BM_DiskPlainRead);

void BM_DiskTableToFile(benchmark::State &state)
{
    SampleGame game;
    auto table = std::make_unique<TRegionTable>();
    QByteArray header;
    climate::LoadClimateFile(game.file, *table, header);
    climate::DecodeTable(*table);
    for (auto _ : state) {
        if (climate::SaveClimateFile(game.file, *table, header).outcome != storage::SaveOutcome::Saved)
            state.SkipWithError("read-only");
    }
}
BENCHMARK(BM_DiskTableToFile);

void BM_DiskPlainSafeWrite(benchmark::State &state)
{
    SampleGame game;
    for (auto _ : state) {
        QSaveFile file(game.file.FileName);
        if (!file.open(QIODevice::WriteOnly) || file.write(game.bytes) != game.bytes.size() || !file.commit())
            state.SkipWithError("cannot write");
    }
}
BENCHMARK(BM_DiskPlainSafeWrite);

long peakResidentKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// (c) A file of very long lines: the time grows with its size and the memory does not.
void BM_LongLinesFile(benchmark::State &state)
{
    const qint64 size = state.range(0) * 1024 * 1024;
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("data"));
    climate::TClimateFile target{dir.filePath(QStringLiteral("data/weather.cfg")), {}, {}};
    {
        // Written a piece at a time, so that making it costs no memory either.
        QFile out(target.FileName);
        if (!out.open(QIODevice::WriteOnly))
            qFatal("cannot write the long file");
        out.write("# header\r\n41\r\n");
        const QByteArray piece(1024 * 1024, 'x');
        for (qint64 written = 0; written < size; written += piece.size()) {
            out.write(piece);
            out.write("\r\n");
        }
    }

    auto table = std::make_unique<TRegionTable>();
    QByteArray header;
    const long before = peakResidentKiB();
    for (auto _ : state) {
        climate::LoadClimateFile(target, *table, header);
        climate::DecodeTable(*table);
    }
    state.SetBytesProcessed(state.iterations() * size);
    state.counters["peak_rss_growth_KiB"] = double(peakResidentKiB() - before);
}
BENCHMARK(BM_LongLinesFile)->Arg(12)->Arg(25)->Arg(50)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
