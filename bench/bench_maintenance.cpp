// The Database menu on large logs: a restore of a hundred thousand flights
// (written beside the table, flushed, then swapped in) and a backup of a
// million (127 MB), against cp of the same file for scale.

#include "bench/generated_log.h"
#include "logstore/log_maintenance.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

using namespace cvlog;

namespace
{

namespace fs = std::filesystem;

// A log of its own beside the generated one, so the commands may replace it.
fs::path workingLog(int rows, const char* name)
{
    const fs::path source = bench::generatedLog(rows);
    const fs::path log = source.parent_path() / name / "CVLog.dbf";
    fs::create_directories(log.parent_path());
    fs::copy_file(source, log, fs::copy_options::overwrite_existing);
    return log;
}

void BM_RestoreLog(benchmark::State& state)
{
    const int rows = static_cast<int>(state.range(0));
    const fs::path backup = bench::generatedLog(rows);
    FlightLog log;
    log.setPath(workingLog(rows, "restore"));
    log.open();
    DbfTable source;
    for (auto _ : state)
        restoreLog(log, source, backup);
    state.counters["rows"] = static_cast<double>(log.recordCount());
}

void BM_BackupLog(benchmark::State& state)
{
    const int rows = static_cast<int>(state.range(0));
    FlightLog log;
    log.setPath(workingLog(rows, "backup"));
    log.open();
    const fs::path target = log.path().parent_path() / "backup.dbf";
    for (auto _ : state)
        backupLog(log, target);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fs::file_size(target)));
}

// cp of the same file, for scale: it neither flushes nor renames.
void BM_CpOfTheSameFile(benchmark::State& state)
{
    const fs::path table = bench::generatedLog(static_cast<int>(state.range(0)));
    const fs::path target = table.parent_path() / "cp.dbf";
    const std::string command = "cp '" + table.string() + "' '" + target.string() + "'";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("cp failed");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fs::file_size(table)));
}

} // namespace

BENCHMARK(BM_RestoreLog)->Arg(100'000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BackupLog)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CpOfTheSameFile)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->UseRealTime();
