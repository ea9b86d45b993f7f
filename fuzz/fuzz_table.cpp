// Any bytes as a table file: opened as a plain view and as the log's main
// view, every row walked and every field read, the main view exported, laid
// out as the report and summed up as statistics; a file that opens takes a new row and is
// compacted (on a copy, so each view sees the input as given).
#include "logstore/file_error.h"
#include "logstore/flight_log.h"
#include "output/report_layout.h"
#include "output/text_export.h"
#include "presentation/statistics_chart.h"
#include "presentation/statistics_texts.h"

#include "file_bytes.h"
#include "scratch_directory.h"

#include <QDate>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace
{

namespace fs = std::filesystem;

const fs::path& scratchDirectory()
{
    static const cvlog::fuzz::ScratchDirectory dir("fuzz_table");
    return dir.path();
}

void readEverything(cvlog::DbfTable& t)
{
    for (t.first(); !t.eof(); t.next()) {
        for (int f = 0; f < t.fieldCount(); ++f) {
            (void)t.isNull(f);
            (void)t.text(f);
            (void)t.integer(f);
            (void)t.date(f);
            (void)t.current().dayNumber(f);
        }
    }
    for (t.last(); !t.bof(); t.prior()) { }
    (void)t.findLive([](const cvlog::DbfRecord& r) { return r.integer(0) == 1; });
}

void exportAndLayOut(cvlog::FlightLog& t)
{
    try {
        cvlog::exportVisibleRows(t, scratchDirectory() / "out.txt", cvlog::kCommaSeparator, QLocale::c());
    } catch (const cvlog::FileError&) {
    }
    cvlog::TableReportRows rows(t);
    const cvlog::ReportLayout layout = cvlog::layOutReport(rows, cvlog::ReportSettings {});
    for (int page = 0; page < static_cast<int>(layout.pages.size()); ++page)
        (void)cvlog::placeReportPage(layout, page, rows);
    cvlog::StatisticsParameters parameters;
    parameters.today = QDate(2026, 3, 5);
    for (const bool period : { false, true }) {
        if (period)
            parameters.period = cvlog::DatePeriod(QDate(2026, 1, 1), QDate(2026, 12, 31));
        const cvlog::FlightStatistics statistics = cvlog::computeFlightStatistics(t, parameters);
        (void)cvlog::statisticsTabText(statistics, cvlog::DisplayMarks {}, QLocale::c());
        (void)cvlog::flightTimeChart(statistics);
    }
}

void exercise(const fs::path& path, bool mainView)
{
    cvlog::DbfTable plain;
    cvlog::FlightLog log;
    cvlog::DbfTable& t = mainView ? log : plain;
    t.setPath(path);
    try {
        t.open();
    } catch (const cvlog::DbfError&) {
        return;
    }
    try {
        readEverything(t);
        if (mainView)
            exportAndLayOut(log);
        t.append();
        for (int f = 0; f < t.fieldCount(); ++f) {
            try {
                t.setInteger(f, 12345);
                t.setText(f, QStringLiteral("Zürich"));
            } catch (const cvlog::DbfError&) {
                // Values that do not fit are refused; the row keeps the others.
            }
        }
        t.post();
        t.setFilterPredicate([](const cvlog::DbfRecord& r) { return r.recordNumber() % 2 == 1; });
        t.setFiltered(true);
        readEverything(t);
        t.compact();
        readEverything(t);
        t.close();
    } catch (const cvlog::DbfError&) {
        // A failing file operation is reported, never a crash.
    }
}

// A log table with a few rows, one of them deleted, made by the table itself.
void writeSeed(const fs::path& target)
{
    const fs::path made = scratchDirectory() / "seed.dbf";
    {
        cvlog::FlightLog t;
        t.setPath(made);
        t.create(cvlog::logTableFields());
        t.open();
        for (int i = 0; i < 3; ++i) {
            t.append();
            t.setDate(cvlog::kTakeoffDate, QDate(2026, 3, 5 + i));
            t.setText(cvlog::kTakeoffTime, QStringLiteral("9:05"));
            t.setInteger(cvlog::kFlightTime, 90 + i);
            t.setText(cvlog::kInstrument, QStringLiteral("AB12"));
            t.setText(cvlog::kComment, QStringLiteral("Genève"));
            t.post();
        }
        t.first();
        t.remove();
    }
    std::error_code ec;
    fs::copy_file(made, target, fs::copy_options::overwrite_existing, ec);
    fs::remove(made, ec);
}

} // namespace

// Seeds an empty corpus directory (the last argument that is not an option).
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    for (int i = *argc - 1; i > 0; --i) {
        const std::string arg = (*argv)[i];
        if (arg.empty() || arg[0] == '-')
            continue;
        std::error_code ec;
        if (fs::is_directory(arg, ec) && fs::is_empty(arg, ec))
            writeSeed(fs::path(arg) / "log_table_seed");
        break;
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const fs::path path = scratchDirectory() / "CVLog.dbf";
    for (const bool mainView : { false, true }) {
        cvlog::testing::writeBytes(path, std::string(reinterpret_cast<const char*>(data), size));
        exercise(path, mainView);
    }
    std::error_code ec;
    fs::remove(path, ec);
    return 0;
}
