// Getting the log out: the comma-delimited export of a million flights (and
// its parts: without the flush to disk, the lines alone, the walk alone),
// the report's layout of a hundred thousand, and the PDF of ten thousand
// (about 477 pages). Peak memory is the process's high-water mark after the
// run.

#include "bench/generated_log.h"
#include "bench/offscreen_main.h"
#include "output/report_painter.h"
#include "output/text_export.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>

#include <benchmark/benchmark.h>

#include <fstream>

#include <sys/resource.h>

using namespace cvlog;

namespace
{

double peakMegabytes()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

FlightLog& openLog(FlightLog& table, int rows)
{
    table.setPath(bench::generatedLog(rows));
    table.open();
    return table;
}

ReportSettings reportSettings()
{
    return { bench::kFirstDay, bench::kFirstDay.addDays(bench::kDaysSpanned), FractionMode::Minutes,
        QDateTime(QDate(2026, 3, 5), QTime(14, 30)), QLocale(QLocale::English, QLocale::UnitedKingdom) };
}

void BM_ExportCsv(benchmark::State& state)
{
    FlightLog table;
    openLog(table, static_cast<int>(state.range(0)));
    const std::filesystem::path out
        = bench::generatedLog(static_cast<int>(state.range(0))).parent_path() / "out.csv";
    std::uint32_t lines = 0;
    for (auto _ : state)
        lines = exportVisibleRows(
            table, out, kCommaSeparator, QLocale(QLocale::English, QLocale::UnitedKingdom));
    state.counters["lines"] = lines;
    state.counters["MB_written"] = static_cast<double>(std::filesystem::file_size(out)) / 1e6;
}

// What the export's time is made of: the same lines written to a file
// without the flush to disk and the rename, the lines built and not
// written, and the walk over the same rows alone.
enum class ExportPart { Unflushed, LinesOnly, WalkOnly };

void exportPart(benchmark::State& state, ExportPart part)
{
    FlightLog table;
    openLog(table, static_cast<int>(state.range(0)));
    const std::filesystem::path out
        = bench::generatedLog(static_cast<int>(state.range(0))).parent_path() / "unflushed.csv";
    const QLocale british(QLocale::English, QLocale::UnitedKingdom);
    std::size_t bytes = 0;
    for (auto _ : state) {
        ExportLineWriter lines(table, kCommaSeparator, british);
        std::ofstream file;
        if (part == ExportPart::Unflushed)
            file.open(out, std::ios::binary | std::ios::trunc);
        bytes = 0;
        auto flush = [&] {
            if (part == ExportPart::Unflushed)
                file.write(lines.text().data(), static_cast<std::streamsize>(lines.text().size()));
            bytes += lines.text().size();
            lines.clear();
        };
        for (table.first(); !table.eof(); table.next()) {
            if (part == ExportPart::WalkOnly) {
                benchmark::DoNotOptimize(table.current());
                continue;
            }
            lines.append(table.current());
            if (lines.text().size() >= (1 << 20))
                flush();
        }
        flush();
    }
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
}

void BM_ExportCsvUnflushed(benchmark::State& state)
{
    exportPart(state, ExportPart::Unflushed);
}

void BM_ExportLinesOnly(benchmark::State& state)
{
    exportPart(state, ExportPart::LinesOnly);
}

void BM_ExportWalkOnly(benchmark::State& state)
{
    exportPart(state, ExportPart::WalkOnly);
}

const QDate kLatestDay(9999, 12, 31);

void reportLayout(benchmark::State& state, bool pageTotals)
{
    FlightLog table;
    openLog(table, static_cast<int>(state.range(0)));
    ReportSettings settings = reportSettings();
    settings.pageTotals = pageTotals;
    std::size_t pages = 0;
    for (auto _ : state) {
        if (pageTotals) {
            // A period after every flight: the pass that brings the flights
            // before it forward counts each one.
            settings.broughtForward = reportBroughtForward(
                table, OpeningTotals { 1, 60, 60, QDate(2000, 1, 1) }, DatePeriod(kLatestDay, kLatestDay));
        }
        TableReportRows rows(table);
        const ReportLayout layout = layOutReport(rows, settings);
        pages = layout.pages.size();
        benchmark::DoNotOptimize(layout.totalMinutes);
    }
    state.counters["pages"] = static_cast<double>(pages);
    // What the layout keeps: one small record per page, nothing per flight.
    state.counters["layout_bytes"] = static_cast<double>(pages * sizeof(ReportPagePlan));
}

void BM_ReportLayout(benchmark::State& state)
{
    reportLayout(state, false);
}

// Each flight's Hobbs time read as well, for the footers' totals, and the
// flights before the period brought forward.
void BM_ReportLayoutPageTotals(benchmark::State& state)
{
    reportLayout(state, true);
}

void BM_ReportPdf(benchmark::State& state)
{
    FlightLog table;
    openLog(table, static_cast<int>(state.range(0)));
    qint64 bytes = 0;
    for (auto _ : state) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        {
            QPdfWriter pdf(&buffer);
            pdf.setPageSize(QPageSize(QPageSize::A4));
            pdf.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
            TableReportRows rows(table);
            const ReportLayout layout = layOutReport(rows, reportSettings());
            paintReport(pdf, layout, rows);
        }
        bytes = buffer.size();
    }
    state.counters["MB_pdf"] = static_cast<double>(bytes) / 1e6;
    state.counters["peak_MB"] = peakMegabytes();
}

} // namespace

BENCHMARK(BM_ExportCsv)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExportCsvUnflushed)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExportLinesOnly)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExportWalkOnly)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReportLayout)->Arg(100'000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReportLayoutPageTotals)->Arg(100'000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReportPdf)->Arg(10'000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

int main(int argc, char** argv)
{
    return cvlog::bench::RunOffscreenBenchmarks<QGuiApplication>(argc, argv);
}
