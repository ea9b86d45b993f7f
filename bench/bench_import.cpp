// One downloaded flight against a large log: the duplicate search walks every
// live row, then the new row is appended and written, as one whole download.

#include "link/dbf_flight_store.h"
#include "link/flight_import.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace
{

using namespace cvlog;

constexpr int kRows = 100000;

class Today : public LinkHost
{
public:
    void setLinkText(const QString&) override { }
    void showStatusPopup(const QString&) override { }
    void showMessage(const QString&) override { }
    void reportError(const QString&) override { }
    bool keyInitDialogShowing() const override { return false; }
    QString keyInitText() const override { return {}; }
    void closeKeyInitDialog() override { }
    QDate today() const override { return QDate(2026, 6, 30); }
};

// A log of kRows flights, built once for all benchmarks.
struct Log {
    Log()
    {
        table.setPath(dir.filePath("CVLOG.DBF").toStdString());
        table.create(logTableFields());
        table.open();
        std::vector<FlightRow> rows(kRows);
        for (int i = 0; i < kRows; ++i) {
            rows[i].instrument = QStringLiteral("F123");
            rows[i].takeoffDate = QDate(2000, 1, 1).addDays(i / 10);
            rows[i].takeoffTime = std::to_string(8 + i % 10) + ":00";
            rows[i].flightTime = i % 300;
        }
        table.disableControls();
        store.appendFlights(rows);
        table.enableControls();
    }

    QTemporaryDir dir;
    FlightLog table;
    DbfFlightStore store { table };
    LinkState link;
    Today host;
};

Log& SharedLog()
{
    static Log log;
    return log;
}

// A new flight each time: the search finds nothing and the flight is added.
void BM_DuplicateSearchAndInsert(benchmark::State& state)
{
    Log& log = SharedLog();
    FlightImport import(log.link, log.store, log.host);
    int minute = 0;
    for (auto _ : state) {
        import.currentRecord = FlightRecord {};
        import.currentRecord.month = 6;
        import.currentRecord.day = 1 + minute / 1440 % 28;
        import.currentRecord.hour = static_cast<std::uint8_t>(minute / 60 % 24);
        import.currentRecord.minute = static_cast<std::uint8_t>(minute % 60);
        ++minute;
        if (!import.isDuplicateFlight())
            import.storePending();
        import.flushPendingRecords();
    }
    state.counters["rows"] = static_cast<double>(log.table.recordCount());
}
BENCHMARK(BM_DuplicateSearchAndInsert)->Unit(benchmark::kMillisecond)->Iterations(200);

// The known flight is the last row of the log: the longest walk that ends
// a download.
void BM_DuplicateSearchFindsLastRow(benchmark::State& state)
{
    Log& log = SharedLog();
    log.table.last();
    FlightRow last;
    last.takeoffDate = log.table.date(kTakeoffDate);
    last.takeoffTime = log.table.text(kTakeoffTime).toStdString();
    last.flightTime = log.table.integer(kFlightTime);
    last.hobbs = log.table.integer(kHobbs);
    last.instrument = log.table.text(kInstrument);
    bool found = false;
    for (auto _ : state)
        benchmark::DoNotOptimize(found = log.store.findFlight(last));
    if (!found)
        state.SkipWithError("the last row was not found");
}
BENCHMARK(BM_DuplicateSearchFindsLastRow)->Unit(benchmark::kMillisecond);

} // namespace
