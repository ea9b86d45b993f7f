// The date filter's recomputation on a log of a million flights: re-reading
// the view with the filter, then summing the flight times of the rows that
// pass. There is no index, so every row is read at least once.

#include "logstore/date_filter.h"

#include <QDate>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <string>

using namespace cvlog;

namespace
{

constexpr int kRows = 1'000'000;
constexpr int kRowLength = 127;
constexpr int kHeaderLength = 321;
constexpr int kDaysSpanned = 20 * 365; // take-off dates over twenty years
const QDate kFirstDay(2006, 1, 1);

void put(std::string& row, int offset, int width, const std::string& value, bool rightAligned)
{
    const std::string padded = rightAligned ? std::string(width - value.size(), ' ') + value
                                            : value + std::string(width - value.size(), ' ');
    row.replace(offset, width, padded);
}

// Writes the rows straight after the header of a freshly created table: the
// table counts its rows from the file's length.
void fillTable(const std::filesystem::path& path)
{
    DbfTable table;
    table.setPath(path);
    table.create(logTableFields());

    std::filesystem::resize_file(path, kHeaderLength); // drop the end-of-file byte
    std::ofstream out(path, std::ios::binary | std::ios::app);
    std::string chunk;
    std::string row(kRowLength, ' ');
    for (int i = 0; i < kRows; ++i) {
        const QDate day = kFirstDay.addDays(i % kDaysSpanned);
        put(row, 1, 8, day.toString(u"yyyyMMdd").toStdString(), false);
        put(row, 9, 5, "9:05", false);
        put(row, 14, 9, std::to_string(30 + i % 90), true);
        put(row, 23, 9, std::to_string(1000 + i % 9000), true);
        put(row, 32, 9, std::to_string(60 + i % 100), true);
        put(row, 41, 9, "0", true);
        put(row, 50, 9, std::to_string(i % 60000), true);
        put(row, 59, 4, "A123", false);
        chunk += row;
        if (chunk.size() > (1 << 20)) {
            out << chunk;
            chunk.clear();
        }
    }
    out << chunk << '\x1a';
}

const std::filesystem::path& tablePath()
{
    static QTemporaryDir dir;
    static const std::filesystem::path path = [] {
        const std::filesystem::path p = std::filesystem::path(dir.path().toStdString()) / "CVLog.dbf";
        fillTable(p);
        return p;
    }();
    return path;
}

// range(0): days from the first take-off to the end of the range; the range
// starts on the first day, so that many twentieths of the rows pass.
void BM_DateFromToChangeFrom(benchmark::State& state)
{
    DbfTable table;
    table.setPath(tablePath());
    table.setRequiredFields(logTableFieldNames());
    table.open();
    DateFilter filter;
    table.setFilterPredicate(filter.predicate());

    const QDate from = state.range(0) < 0 ? kFirstDay.addDays(-10) : kFirstDay;
    const QDate to = state.range(0) < 0 ? kFirstDay.addDays(-1) : kFirstDay.addDays(state.range(0));
    for (auto _ : state) {
        // Each run starts unfiltered, as checking the box does: the worst
        // case, since the filter is switched on before the refresh.
        state.PauseTiming();
        filter.CheckBox1Click(table, false, from, to);
        state.ResumeTiming();
        const DateFilterView view = filter.DateFromToChangeFrom(table, true, from, to);
        benchmark::DoNotOptimize(view.totalText);
    }
    state.counters["rows"] = kRows;
    state.counters["total_minutes"] = static_cast<double>(filter.totalMinutes());
}

// A picker changed while the box is checked: the view is filtered already
// and is refreshed; the From date moves by one day each run.
void BM_PickerChangeWhileFiltered(benchmark::State& state)
{
    DbfTable table;
    table.setPath(tablePath());
    table.setRequiredFields(logTableFieldNames());
    table.open();
    DateFilter filter;
    table.setFilterPredicate(filter.predicate());
    const QDate to = kFirstDay.addDays(state.range(0));
    filter.CheckBox1Click(table, true, kFirstDay, to);
    int shift = 0;
    for (auto _ : state) {
        const DateFilterView view
            = filter.DateFromToChangeFrom(table, true, kFirstDay.addDays(shift++ % 2), to);
        benchmark::DoNotOptimize(view.totalText);
    }
}

} // namespace

BENCHMARK(BM_PickerChangeWhileFiltered)
    ->Arg(365)
    ->Arg(kDaysSpanned)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_DateFromToChangeFrom)
    ->Arg(-1) // no row passes
    ->Arg(30) // about one row in 240
    ->Arg(365) // a year
    ->Arg(kDaysSpanned) // every row
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
