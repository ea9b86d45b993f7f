// The Flight statistics window's figures on a log of a million flights:
// one pass over every live row, with or without a period, and the texts
// and chart series made from the result.

#include "bench/generated_log.h"
#include "presentation/statistics_chart.h"
#include "presentation/statistics_texts.h"

#include <QDate>
#include <QLocale>

#include <benchmark/benchmark.h>

using namespace cvlog;

namespace
{

constexpr int kRows = 1'000'000;
using bench::kDaysSpanned;
using bench::kFirstDay;

// range(0): days in the period from the first take-off; 0 for the whole log.
// range(1): currency rules judged beside the figures.
void BM_ComputeFlightStatistics(benchmark::State& state)
{
    FlightLog table;
    table.setPath(bench::generatedLog(kRows));
    table.open(DbfTable::Access::ReadOnly);

    StatisticsParameters parameters;
    parameters.today = kFirstDay.addDays(kDaysSpanned);
    if (state.range(0) > 0)
        parameters.period = DatePeriod(kFirstDay, kFirstDay.addDays(state.range(0) - 1));
    using Span = CurrencyRule::Span;
    const std::vector<CurrencyRule> rules { CurrencyRule {}, { 3, 0, 90, Span::Days, QStringLiteral("EA15") },
        { 1, 60, 12, Span::Months, {} }, { 10, 600, 24, Span::Months, {} },
        { 1000000, 0, 30, Span::Days, {} } }; // never met: searched to the first flight
    parameters.currencyRules.assign(rules.begin(), rules.begin() + state.range(1));
    FlightStatistics statistics;
    for (auto _ : state) {
        statistics = computeFlightStatistics(table, parameters);
        benchmark::DoNotOptimize(statistics.summary.totalMinutes);
    }
    state.counters["rows"] = kRows;
    state.counters["flights"] = static_cast<double>(statistics.summary.flights);
    state.counters["months"] = static_cast<double>(statistics.months.size());
}

// Everything the window shows after the pass: the tables, the copy and the chart.
void BM_StatisticsTextsAndChart(benchmark::State& state)
{
    FlightLog table;
    table.setPath(bench::generatedLog(kRows));
    table.open(DbfTable::Access::ReadOnly);
    const FlightStatistics statistics
        = computeFlightStatistics(table, { {}, kFirstDay.addDays(kDaysSpanned) });
    const QLocale locale(QLocale::English, QLocale::UnitedKingdom);
    for (auto _ : state) {
        benchmark::DoNotOptimize(statisticsTabText(statistics, DisplayMarks {}, locale));
        benchmark::DoNotOptimize(flightTimeChart(statistics));
    }
}

} // namespace

BENCHMARK(BM_ComputeFlightStatistics)
    ->Args({ 0, 0 }) // the whole log
    ->Args({ 365, 0 }) // one year of twenty
    ->Args({ 0, 1 })
    ->Args({ 0, 2 })
    ->Args({ 0, 5 }) // the whole log and five currency rules
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_StatisticsTextsAndChart)->Unit(benchmark::kMicrosecond);
