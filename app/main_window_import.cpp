// The File menu's import of flights from the files of other logbooks and
// from the program's own exports.

#include "app/cvlog_application.h"
#include "app/import_dialog.h"
#include "app/main_window.h"
#include "app/record_panel_grid.h"
#include "app/wait_cursor.h"
#include "import/log_import.h"
#include "logstore/log_history.h"

#include <utility>

namespace cvlog
{

namespace
{

const FileDialogRequest kImportDialog { FileDialogRequest::Mode::Open,
    QStringLiteral("Select flights to import"), QStringLiteral("CSV and text files (*.csv *.txt)"),
    QString() };

const QString kImportWhileDownloading
    = QStringLiteral("Flights are being downloaded. Import the file when the download has ended.");

} // namespace

void TForm1::ImportFlights1Click()
{
    DBCtrlGrid1->finishEdit();
    const QString source = AskFileName(kImportDialog, this);
    if (source.isEmpty())
        return;
    // Open beside the window rather than run in a loop of its own: a script
    // works its controls the way a person does, and the link's timer goes on.
    auto* dialog = new ImportDialog(source, Dbf1, displayMarks(), options_.clock().year(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, Guarded([this, dialog] { importFlights(*dialog); }));
    dialog->open();
}

void TForm1::importFlights(ImportDialog& dialog)
{
    // A download appends the flights it holds only when it ends, without
    // looking for them among the imported ones, and it stops at the first
    // flight it finds in the log: an import now would store those flights
    // twice and keep the older ones from coming.
    if (link.pendingCount > 0) {
        ShowPlainMessage(kImportWhileDownloading, this);
        return;
    }
    const ImportPlan& plan = dialog.plan();
    // A download may have brought some of the flights while the dialog was open.
    const FlightKeys inLog = FlightKeys::ofLog(Dbf1);
    std::vector<ImportedFlight> flights;
    flights.reserve(plan.flights.size());
    for (const ImportedFlight& flight : plan.flights) {
        if (!inLog.contains(flight))
            flights.push_back(flight);
    }
    const int alreadyThere
        = plan.alreadyInLog + plan.twiceInFile + static_cast<int>(plan.flights.size() - flights.size());
    std::vector<std::uint32_t> appended;
    {
        const auto wait = ShowWaitCursor();
        appended = appendFlights(Dbf1, flights);
    }
    const int imported = static_cast<int>(appended.size());
    if (!appended.empty()) {
        Dbf1.moveToRecord(appended.back());
        history().recordAppends(QStringLiteral("import"), std::move(appended));
    }
    ShowPlainMessage(importSummary(imported, alreadyThere, static_cast<int>(plan.badRows.size())), this);
}

} // namespace cvlog
