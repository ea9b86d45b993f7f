// The log table on a large file: a generated table of a million flights
// (127 MB) in a temporary directory, made once per run.
#include "logstore/date_period.h"
#include "logstore/flight_log.h"

#include <QDate>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>

namespace
{

using cvlog::DbfRecord;
using cvlog::DbfTable;
using cvlog::FlightLog;

constexpr std::uint32_t kLargeRows = 1'000'000;
constexpr std::uint32_t kSearchRows = 100'000;

long residentKiB()
{
    long pages = 0;
    long resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// One flight a row, a few days apart, as the import writes them.
void generate(const std::string& path, std::uint32_t rows)
{
    {
        DbfTable t;
        t.setPath(path);
        t.create(cvlog::logTableFields());
    }
    std::fstream out(path, std::ios::in | std::ios::out | std::ios::binary);
    out.seekp(321);
    const QDate start(1990, 1, 1);
    std::string row;
    char buffer[160];
    for (std::uint32_t i = 0; i < rows; ++i) {
        const QDate d = start.addDays(i / 40);
        std::snprintf(buffer, sizeof buffer, " %04d%02d%02d%-5s%9u%9u%9u%9u%9u%-4s%-64s", d.year(), d.month(),
            d.day(), "9:05", 30 + i % 90, 1000 + i % 9000, 50 + i % 100, i % 256, i % 100000, "AB12", "");
        out.write(buffer, 127);
    }
    out.put('\x1A');
}

struct Files {
    QTemporaryDir dir;
    std::string large;
    std::string search;
    std::string small;
    Files()
    {
        large = dir.filePath(QStringLiteral("large.dbf")).toStdString();
        search = dir.filePath(QStringLiteral("search.dbf")).toStdString();
        small = dir.filePath(QStringLiteral("small.dbf")).toStdString();
        generate(large, kLargeRows);
        generate(search, kSearchRows);
        generate(small, 10);
    }
};

const Files& files()
{
    static const Files f;
    return f;
}

void BM_OpenOnFirstRow(benchmark::State& state)
{
    const std::string& path = files().large;
    for (auto _ : state) {
        FlightLog t;
        t.setPath(path);
        t.open(DbfTable::Access::ReadOnly);
        benchmark::DoNotOptimize(t.integer(cvlog::kFlightTime));
    }
}
BENCHMARK(BM_OpenOnFirstRow)->Unit(benchmark::kMicrosecond);

// The date filter's walk: every row offered to a date-range predicate.
void BM_FilteredWalk(benchmark::State& state)
{
    const long before = residentKiB();
    FlightLog t;
    t.setPath(files().large);
    t.open(DbfTable::Access::ReadOnly);
    const cvlog::DatePeriod period(QDate(2000, 1, 1), QDate(2020, 12, 31));
    t.setFilterPredicate(
        [&](const DbfRecord& r) { return period.contains(t.flight(r).dayNumber(cvlog::kTakeoffDate)); });
    t.setFiltered(true);
    std::int64_t total = 0;
    for (auto _ : state) {
        total = 0;
        for (t.first(); !t.eof(); t.next())
            total += t.integer(cvlog::kFlightTime);
        benchmark::DoNotOptimize(total);
    }
    state.counters["rows"] = kLargeRows;
    state.counters["minutes"] = static_cast<double>(total);
    state.counters["rss_growth_KiB"] = static_cast<double>(residentKiB() - before);
}
BENCHMARK(BM_FilteredWalk)->Unit(benchmark::kMillisecond);

// The same walk without a filter: the floor set by reading the rows.
void BM_PlainWalk(benchmark::State& state)
{
    DbfTable t;
    t.setPath(files().large);
    t.open(DbfTable::Access::ReadOnly);
    for (auto _ : state) {
        std::uint32_t rows = 0;
        for (t.first(); !t.eof(); t.next())
            ++rows;
        benchmark::DoNotOptimize(rows);
    }
}
BENCHMARK(BM_PlainWalk)->Unit(benchmark::kMillisecond);

void BM_AppendPost(benchmark::State& state)
{
    FlightLog t;
    t.setPath(files().small);
    t.open();
    const QDate date(2026, 3, 5);
    for (auto _ : state) {
        t.append();
        t.setDate(cvlog::kTakeoffDate, date);
        t.setText(cvlog::kTakeoffTime, QStringLiteral("14:30"));
        t.setInteger(cvlog::kFlightTime, 90);
        t.setInteger(cvlog::kMaxAltitude, 4500);
        t.setInteger(cvlog::kMaxSpeed, 120);
        t.setInteger(cvlog::kStudent, 0);
        t.setInteger(cvlog::kHobbs, 123456);
        t.setText(cvlog::kInstrument, QStringLiteral("AB12"));
        t.setText(cvlog::kComment, QString());
        t.post();
    }
}
BENCHMARK(BM_AppendPost)->Unit(benchmark::kMicrosecond);

// The import's duplicate search: a flight not in the table is compared with
// every live row by its stored date and time bytes.
void BM_FindLiveMiss(benchmark::State& state)
{
    FlightLog t;
    t.setPath(files().search);
    t.open(DbfTable::Access::ReadOnly);
    const std::string_view date = "20260305";
    const std::string_view time = "23:59";
    for (auto _ : state) {
        const std::uint32_t found = t.findLive([&](const DbfRecord& r) {
            const cvlog::LoggedFlight flight = t.flight(r);
            return flight.raw(cvlog::kTakeoffDate) == date && flight.raw(cvlog::kTakeoffTime) == time;
        });
        benchmark::DoNotOptimize(found);
    }
    state.counters["rows"] = kSearchRows;
}
BENCHMARK(BM_FindLiveMiss)->Unit(benchmark::kMillisecond);

// What the record panel grid reads for one scroll step: the view placed on a
// row anywhere in the file, and the five rows its panels show.
void BM_GridScrollStep(benchmark::State& state)
{
    FlightLog t;
    t.setPath(files().large);
    t.open(DbfTable::Access::ReadOnly);
    const std::uint32_t rows = t.recordCount();
    std::uint32_t target = 1;
    for (auto _ : state) {
        target = (target * 7919u + 104729u) % rows + 1; // spread over the whole file
        t.moveToRecord(target);
        std::uint32_t shown = t.recordNumber();
        for (int panel = 0; panel < 5 && shown != 0; ++panel) {
            benchmark::DoNotOptimize(t.flight(shown).integer(cvlog::kFlightTime));
            shown = t.nextVisible(shown);
        }
    }
}
BENCHMARK(BM_GridScrollStep)->Unit(benchmark::kMicrosecond);

} // namespace
