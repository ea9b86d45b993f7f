// Undo and redo of a download of 10,000 flights at the end of a log of a
// million rows: the step's rows are checked against the file and written back
// in one go, beside the note that makes the step whole after a kill.

#include "generated_log.h"
#include "logstore/log_history.h"

#include <benchmark/benchmark.h>

#include <numeric>
#include <vector>

namespace
{

using namespace cvlog;

constexpr int kLoggedRows = 990'000;
constexpr std::uint32_t kDownloaded = 10'000;

struct Log {
    Log()
    {
        table.setPath(bench::generatedLog(kLoggedRows));
        table.open();
        std::vector<std::uint32_t> added(kDownloaded);
        std::iota(added.begin(), added.end(), table.recordCount() + 1);
        {
            const auto suspended = displaySuspended(table);
            AppendBatch batch(table);
            for (std::uint32_t i = 0; i < kDownloaded; ++i) {
                table.append();
                table.setDate(kTakeoffDate, QDate(2026, 6, 1).addDays(i / 10));
                table.setText(kTakeoffTime, QStringLiteral("9:05"));
                table.setInteger(kFlightTime, 30 + i % 90);
                table.post();
            }
            batch.commit();
        }
        history.recordAppends(QStringLiteral("download"), std::move(added));
    }

    FlightLog table;
    LogHistory history { table, [](const DbfRecord&) { return QStringLiteral("flight"); } };
};

Log& SharedLog()
{
    static Log log;
    return log;
}

// Each iteration times one step; the step that puts the log back is not timed.
void BM_UndoDownloadOf10000Flights(benchmark::State& state)
{
    Log& log = SharedLog();
    for (auto _ : state) {
        if (!log.history.undo().isEmpty())
            state.SkipWithError("the undo was refused");
        state.PauseTiming();
        log.history.redo();
        log.table.releaseWriteLock();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_UndoDownloadOf10000Flights)->Unit(benchmark::kMillisecond);

void BM_RedoDownloadOf10000Flights(benchmark::State& state)
{
    Log& log = SharedLog();
    for (auto _ : state) {
        state.PauseTiming();
        log.history.undo();
        log.table.releaseWriteLock();
        state.ResumeTiming();
        if (!log.history.redo().isEmpty())
            state.SkipWithError("the redo was refused");
    }
}
BENCHMARK(BM_RedoDownloadOf10000Flights)->Unit(benchmark::kMillisecond);

} // namespace
