#pragma once
// The report's form, never shown itself: it holds the printed log report
// `LogPrint` and the report's own view `Dbf1` of the log table, open only
// while the report is prepared and previewed.

#include "app/log_report.h"
#include "logstore/date_period.h"
#include "logstore/flight_log.h"
#include "output/report_layout.h"

#include <QDialog>

#include <filesystem>
#include <functional>
#include <optional>

namespace cvlog
{

// What the report takes from the main window. The settings and the "Filter
// dates" box are read at every generation, so a print from an open preview
// uses the values of that moment.
struct ReportRequest {
    std::filesystem::path table; // the main view's file
    bool filtered = false; // the main view's filter switch
    std::function<bool()> filterChecked; // the "Filter dates" box
    std::function<ReportSettings()> settings; // the pickers, FractionMode, the time, page totals
    // The totals flown before the log, read when page totals are printed.
    std::function<std::optional<OpeningTotals>()> openingTotals = {};
};

class TForm3 : public QDialog
{
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);
    ~TForm3() override;

    // Prepares the report over its own view and shows the preview; returns
    // when the preview has been closed. The view is closed again however
    // this ends.
    void Print(const ReportRequest& request, QWidget* previewParent = nullptr);

    FlightLog Dbf1;
    LogReport LogPrint;

private:
    // Opens the view afresh, so that a generation sees the file as it is
    // now, even after a maintenance command replaced it.
    void openView();
    bool generate(QPagedPaintDevice& device, const ReportProgress& progress);
    // Dbf1FilterRecord: while the box is checked, the pickers' period.
    bool Dbf1FilterRecord(const LoggedFlight& row) const;

    ReportRequest request_;
    bool checked_ = false;
    DatePeriod period_;
};

} // namespace cvlog
