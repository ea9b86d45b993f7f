// Flights imported from a CSV file: a file of 100,000 rows read, weighed
// against a log of 1,000,000 flights and appended; and the import dialog's
// preview of a file of any size.

#include "app/import_dialog.h"
#include "bench/generated_log.h"
#include "bench/offscreen_main.h"
#include "import/log_import.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <stdexcept>
#include <string>

namespace
{

using namespace cvlog;

constexpr int kLogRows = 1'000'000;
constexpr int kImportRows = 100'000;

// A spreadsheet's file: a header row, semicolons, quoted comments, decimal
// hours; none of its flights is in the generated log (another instrument).
QString csvFile(const QTemporaryDir& dir, int rows)
{
    const QString path = dir.filePath(QStringLiteral("flights%1.csv").arg(rows));
    if (QFile::exists(path))
        return path;
    std::string text = "\xEF\xBB\xBF"
                       "Date;Take-off;Flight time;Altitude;Speed;Student;Hobbs;Serial;Remarks\r\n";
    for (int i = 0; i < rows; ++i) {
        const QDate day = bench::kFirstDay.addDays(i / 8);
        text += day.toString(u"dd.MM.yyyy").toStdString() + ';' + std::to_string(8 + i % 8) + ":"
            + std::to_string(10 + i % 50) + ';' + std::to_string(i % 5) + ',' + std::to_string(i % 100) + ';'
            + std::to_string(1000 + i % 9000) + ';' + std::to_string(60 + i % 100) + ";0;"
            + std::to_string(i / 10) + ',' + std::to_string(i % 10) + ";B777;\"flight " + std::to_string(i)
            + ", \"\"cross country\"\"\"\r\n";
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.data(), static_cast<qint64>(text.size())) < 0)
        throw std::runtime_error("cannot write the benchmark's file");
    return path;
}

QTemporaryDir& scratch()
{
    static QTemporaryDir dir;
    return dir;
}

// The generated log with a take-off time of its own for each of a day's
// flights, so that its million flights are a million keys, as a real
// log's are.
const std::filesystem::path& distinctLog()
{
    static const std::filesystem::path path = [] {
        constexpr std::size_t kHeaderLength = 321;
        constexpr std::size_t kRowLength = 127;
        constexpr std::size_t kTimeAt = 1 + 8;
        const std::filesystem::path p
            = std::filesystem::path(scratch().path().toStdString()) / "distinct.dbf";
        QFile in(QString::fromStdString(bench::generatedLog(kLogRows).string()));
        if (!in.open(QIODevice::ReadOnly))
            throw std::runtime_error("cannot read the generated log");
        QByteArray bytes = in.readAll();
        for (int i = 0; i < kLogRows; ++i) {
            const int minutes = i / bench::kDaysSpanned;
            char time[8];
            std::snprintf(time, sizeof time, "%d:%02d ", minutes / 60, minutes % 60);
            bytes.replace(
                static_cast<qsizetype>(kHeaderLength + static_cast<std::size_t>(i) * kRowLength + kTimeAt), 5,
                time, 5);
        }
        QFile out(QString::fromStdString(p.string()));
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
            throw std::runtime_error("cannot write the log");
        return p;
    }();
    return path;
}

// The whole import, as the dialog and the File menu's handler run it.
void BM_ImportIntoLargeLog(benchmark::State& state)
{
    const std::filesystem::path& pristine = distinctLog();
    const std::filesystem::path table = std::filesystem::path(scratch().path().toStdString()) / "CVLog.dbf";
    const QString csv = csvFile(scratch(), kImportRows);
    std::size_t imported = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::copy_file(pristine, table, std::filesystem::copy_options::overwrite_existing);
        FlightLog log;
        log.setPath(table);
        log.open();
        state.ResumeTiming();

        QFile file(csv);
        if (!file.open(QIODevice::ReadOnly))
            state.SkipWithError("cannot read the file");
        const DecodedText text = decodeImportText(file.readAll());
        const CsvFormat format = guessFormat(text.text);
        CsvSplitter splitter(text.text, format);
        CsvRecord header;
        splitter.next(header);
        std::vector<CsvRecord> head;
        for (CsvRecord r; head.size() < 200 && splitter.next(r);)
            head.push_back(r);
        const ImportMapping mapping = guessMapping(format.layout, header.fields, head);
        const FlightKeys keys = FlightKeys::ofLog(log);
        ImportPlanner planner(mapping, importTargetFor(log, 2026), keys);
        for (const CsvRecord& r : head)
            planner.add(r);
        for (CsvRecord r; splitter.next(r);)
            planner.add(r);
        const ImportPlan plan = planner.takePlan();
        imported = appendFlights(log, plan.flights).size();

        state.PauseTiming();
        log.close();
        state.ResumeTiming();
    }
    if (imported != kImportRows)
        state.SkipWithError("not every row was imported");
    state.counters["imported"] = static_cast<double>(imported);
}
BENCHMARK(BM_ImportIntoLargeLog)->Unit(benchmark::kMillisecond)->Iterations(3);

// The dialog up to its preview: the head of the file read, the guesses
// made and the first rows shown, whatever the file's size.
void BM_ImportPreview(benchmark::State& state)
{
    const auto rows = static_cast<int>(state.range(0));
    const QString csv = csvFile(scratch(), rows);
    FlightLog log;
    log.setPath(bench::generatedLog(kLogRows));
    log.open(DbfTable::Access::ReadOnly);
    for (auto _ : state) {
        ImportDialog dialog(csv, log, DisplayMarks {}, 2026);
        benchmark::DoNotOptimize(dialog.Preview);
    }
}
BENCHMARK(BM_ImportPreview)->Arg(1'000)->Arg(kImportRows)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

// The two steps of the reading behind the preview that are not cut into
// slices of rows: the whole file read and decoded, and the keys of the
// log's flights found; each holds the window once.
void BM_ReadWholeFile(benchmark::State& state)
{
    const QString csv = csvFile(scratch(), kImportRows);
    for (auto _ : state) {
        QFile file(csv);
        if (!file.open(QIODevice::ReadOnly))
            state.SkipWithError("cannot read the file");
        benchmark::DoNotOptimize(decodeImportText(file.readAll()).text.size());
    }
}
BENCHMARK(BM_ReadWholeFile)->Unit(benchmark::kMillisecond);

void BM_KeysOfLargeLog(benchmark::State& state)
{
    FlightLog log;
    log.setPath(distinctLog());
    log.open(DbfTable::Access::ReadOnly);
    std::size_t keys = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(keys = FlightKeys::ofLog(log).size());
    state.counters["keys"] = static_cast<double>(keys);
}
BENCHMARK(BM_KeysOfLargeLog)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return cvlog::bench::RunOffscreenBenchmarks<QApplication>(argc, argv);
}
