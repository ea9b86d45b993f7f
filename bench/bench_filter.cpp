// The date filter's recomputation on a log of a million flights: re-reading
// the view with the filter, then summing the flight times of the rows that
// pass. There is no index, so every row is read at least once.

#include "bench/generated_log.h"
#include "presentation/date_filter.h"

#include <QDate>

#include <benchmark/benchmark.h>

using namespace cvlog;

namespace
{

constexpr int kRows = 1'000'000;
using bench::kDaysSpanned;
using bench::kFirstDay;

const std::filesystem::path& tablePath()
{
    return bench::generatedLog(kRows);
}

// range(0): days from the first take-off to the end of the range; the range
// starts on the first day, so that many twentieths of the rows pass.
void BM_FilterPeriodChanged(benchmark::State& state)
{
    FlightLog table;
    table.setPath(tablePath());
    table.open();
    DateFilter filter;
    table.setFilterPredicate(filter.predicate(table));

    const QDate from = state.range(0) < 0 ? kFirstDay.addDays(-10) : kFirstDay;
    const QDate to = state.range(0) < 0 ? kFirstDay.addDays(-1) : kFirstDay.addDays(state.range(0));
    for (auto _ : state) {
        // Each run starts unfiltered, as checking the box does: the worst
        // case, since the filter is switched on before the refresh.
        state.PauseTiming();
        filter.setOn(table, false, from, to);
        state.ResumeTiming();
        const DateFilterView view = filter.periodChanged(table, true, from, to);
        benchmark::DoNotOptimize(view.totalText);
    }
    state.counters["rows"] = kRows;
    state.counters["total_minutes"] = static_cast<double>(filter.totalMinutes());
}

// A picker changed while the box is checked: the view is filtered already
// and is refreshed; the From date moves by one day each run.
void BM_PickerChangeWhileFiltered(benchmark::State& state)
{
    FlightLog table;
    table.setPath(tablePath());
    table.open();
    DateFilter filter;
    table.setFilterPredicate(filter.predicate(table));
    const QDate to = kFirstDay.addDays(state.range(0));
    filter.setOn(table, true, kFirstDay, to);
    int shift = 0;
    for (auto _ : state) {
        const DateFilterView view = filter.periodChanged(table, true, kFirstDay.addDays(shift++ % 2), to);
        benchmark::DoNotOptimize(view.totalText);
    }
}

} // namespace

BENCHMARK(BM_PickerChangeWhileFiltered)
    ->Arg(365)
    ->Arg(kDaysSpanned)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_FilterPeriodChanged)
    ->Arg(-1) // no row passes
    ->Arg(30) // about one row in 240
    ->Arg(365) // a year
    ->Arg(kDaysSpanned) // every row
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
