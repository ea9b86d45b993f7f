#include "app/report_form.h"

#include "app/scripting/status_trace.h"
#include "logstore/scope_exit.h"

namespace cvlog
{

TForm3::TForm3(QWidget* parent)
    : QDialog(parent)
    , LogPrint(this)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Form3"));
    Dbf1.setFilterPredicate([this](const DbfRecord& row) { return Dbf1FilterRecord(Dbf1.flight(row)); });
}

TForm3::~TForm3()
{
    LogPrint.closePreview();
}

void TForm3::Print(const ReportRequest& request, QWidget* previewParent)
{
    if (LogPrint.isPreviewing()) {
        LogPrint.raisePreview();
        return;
    }
    request_ = request;
    Dbf1.setPath(request_.table);
    openView();
    // Closed however the preview ends; a read-only view writes nothing.
    const ScopeExit closeView([this] { Dbf1.close(); });
    LogPrint.preview([this](QPagedPaintDevice& device,
                         const ReportProgress& progress) { return generate(device, progress); },
        previewParent);
}

void TForm3::openView()
{
    Dbf1.close();
    // The report only reads; the main view is the table's one writer.
    Dbf1.open(DbfTable::Access::ReadOnly);
    Dbf1.setFiltered(request_.filtered);
}

bool TForm3::generate(QPagedPaintDevice& device, const ReportProgress& progress)
{
    ReportSettings settings = request_.settings();
    checked_ = request_.filterChecked();
    period_ = DatePeriod(settings.from, settings.to);
    openView();
    if (settings.pageTotals) {
        const bool periodOnly = request_.filtered && checked_;
        settings.broughtForward
            = reportBroughtForward(Dbf1, request_.openingTotals ? request_.openingTotals() : std::nullopt,
                periodOnly ? std::optional(period_) : std::nullopt);
    }
    TableReportRows rows(Dbf1);
    const ReportLayout layout = layOutReport(rows, settings);
    TraceReport(QStringLiteral("pages=%1 flights=%2 total=%3")
                    .arg(layout.pages.size())
                    .arg(layout.flights)
                    .arg(reportTimeText(layout.totalMinutes, settings.fraction)));
    return paintReport(device, layout, rows, progress);
}

bool TForm3::Dbf1FilterRecord(const LoggedFlight& row) const
{
    return !checked_ || period_.contains(row.dayNumber(kTakeoffDate));
}

} // namespace cvlog
