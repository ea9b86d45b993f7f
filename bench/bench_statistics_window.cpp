// Opening the Flight statistics window on a log of a hundred thousand
// flights: the window made and shown, every figure computed, the tables
// filled and the chart drawn once.

#include "app/statistics_window.h"
#include "bench/generated_log.h"
#include "bench/offscreen_main.h"

#include <QApplication>
#include <QChartView>

#include <benchmark/benchmark.h>

using namespace cvlog;

namespace
{

void BM_OpenStatisticsWindow(benchmark::State& state)
{
    FlightLog table;
    table.setPath(bench::generatedLog(static_cast<int>(state.range(0))));
    table.open(DbfTable::Access::ReadOnly);
    const StatisticsWindow::Source source {
        [&table](const std::vector<CurrencyRule>&) {
            StatisticsParameters parameters;
            parameters.today = bench::kFirstDay.addDays(bench::kDaysSpanned);
            return computeFlightStatistics(table, parameters);
        },
        [] { return DisplayMarks {}; },
    };
    for (auto _ : state) {
        StatisticsWindow window(source);
        window.show();
        window.refresh();
        window.ChartView->grab(); // drawn once, as the screen would
        benchmark::DoNotOptimize(window.shown().summary.flights);
        window.close();
        QCoreApplication::processEvents();
    }
}

} // namespace

BENCHMARK(BM_OpenStatisticsWindow)->Arg(100'000)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    return cvlog::bench::RunOffscreenBenchmarks<QApplication>(argc, argv);
}
