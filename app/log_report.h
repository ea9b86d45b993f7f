#pragma once
// The printed log report as the user meets it: a print preview titled
// "Corvane Log", opened maximized, with zoom, page navigation, printer set-up
// and printing, and a "Save as PDF" button. The preview is not modal: the
// rest of the program goes on while it is open.
//
// The report is generated anew for the preview, for each print and for each
// PDF, through the generator its owner hands in; a generation that takes a
// while shows its progress and can be cancelled.

#include "output/report_painter.h"

#include <QObject>
#include <QPrinter>

#include <functional>
#include <memory>

class QAction;
class QPrintPreviewDialog;
class QWidget;

namespace cvlog
{

class LogReport : public QObject
{
    Q_OBJECT
public:
    static constexpr const char* kSavePdfTitle = "Save report as PDF";
    static constexpr int kProgressDelayMs = 500;

    // Draws the report on a device; false when the progress stopped it.
    using Generator = std::function<bool(QPagedPaintDevice& device, const ReportProgress& progress)>;

    explicit LogReport(QObject* parent = nullptr);
    ~LogReport() override;

    // Shows the preview and returns when it has been closed.
    void preview(Generator generator, QWidget* parent = nullptr);
    bool isPreviewing() const { return preview_ != nullptr; }
    // Brings an open preview to the front.
    void raisePreview();
    // Closes an open preview, as its close box would.
    void closePreview();
    QPrintPreviewDialog* previewDialog() const { return preview_; }
    QAction* savePdfAction() const { return savePdf_; }

    // The preview's "Save as PDF": asks for a file and writes the report into
    // it; the file appears only when complete.
    void SavePdf1Click();
    // Writes the report as a PDF into the file; false when cancelled.
    bool writePdf(const QString& path);

private:
    void paintRequested(QPrinter* printer);
    bool generate(QPagedPaintDevice& device, const QString& what);

    Generator generator_;
    QPrinter printer_;
    QPrintPreviewDialog* preview_ = nullptr; // while preview() runs; it owns the dialog
    QAction* savePdf_ = nullptr;
};

} // namespace cvlog
