#include "app/log_report.h"

#include "app/cvlog_application.h"

#include <QAction>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeySequence>
#include <QPaintEngine>
#include <QPrintPreviewDialog>
#include <QProgressDialog>
#include <QScreen>
#include <QToolBar>

namespace cvlog
{

namespace
{

// Shows itself when a generation takes longer than about half a second, and
// tells the generation to stop when its Cancel button is pressed.
class GenerationProgress
{
public:
    GenerationProgress(const QString& what, QWidget* parent)
        : dialog_(what, QStringLiteral("Cancel"), 0, 1, parent)
    {
        dialog_.setWindowTitle(QString::fromLatin1(kReportTitle));
        dialog_.setWindowModality(Qt::WindowModal);
        dialog_.setMinimumDuration(LogReport::kProgressDelayMs);
        dialog_.setAutoReset(false);
        dialog_.setValue(0);
    }

    bool operator()(int done, int total)
    {
        dialog_.setMaximum(total);
        dialog_.setValue(done);
        return !dialog_.wasCanceled();
    }

private:
    QProgressDialog dialog_;
};

} // namespace

LogReport::LogReport(QObject* parent)
    : QObject(parent)
    , printer_(QPrinter::HighResolution)
{
    setUpReportPrinter(printer_);
}

LogReport::~LogReport() = default;

void LogReport::preview(Generator generator, QWidget* parent)
{
    if (preview_) {
        raisePreview();
        return;
    }
    generator_ = std::move(generator);
    QPrintPreviewDialog dialog(&printer_, parent, Qt::Window);
    preview_ = &dialog;
    dialog.setObjectName(QStringLiteral("LogPrintPreview"));
    dialog.setWindowTitle(QString::fromLatin1(kReportTitle));
    dialog.setWindowModality(Qt::NonModal);
    dialog.setAttribute(Qt::WA_QuitOnClose, false);

    savePdf_ = new QAction(QStringLiteral("Save as PDF"), &dialog);
    savePdf_->setObjectName(QStringLiteral("SavePdf1"));
    savePdf_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    savePdf_->setToolTip(QStringLiteral("Save as PDF (Ctrl+S)"));
    if (auto* toolbar = dialog.findChild<QToolBar*>())
        toolbar->addAction(savePdf_);
    else
        dialog.addAction(savePdf_);
    connect(savePdf_, &QAction::triggered, this, Guarded(this, &LogReport::SavePdf1Click));
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, Guarded(this, &LogReport::paintRequested));

    QEventLoop loop;
    connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
    // Where no window manager maximizes it, the screen's size still holds.
    if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        dialog.setGeometry(screen->availableGeometry());
    dialog.showMaximized();
    if (dialog.isVisible())
        loop.exec();
    preview_ = nullptr;
    savePdf_ = nullptr;
    generator_ = nullptr;
}

void LogReport::raisePreview()
{
    if (!preview_)
        return;
    preview_->raise();
    preview_->activateWindow();
}

void LogReport::closePreview()
{
    if (preview_)
        preview_->reject();
}

void LogReport::paintRequested(QPrinter* printer)
{
    // The preview records the pages through a picture engine of its own.
    const bool previewing = printer->paintEngine() && printer->paintEngine()->type() == QPaintEngine::Picture;
    if (generate(*printer, QStringLiteral("Preparing the report...")))
        return;
    // Cancelled: a print sends nothing; a preview that was stopped has
    // nothing whole to show and closes.
    if (previewing)
        QMetaObject::invokeMethod(this, &LogReport::closePreview, Qt::QueuedConnection);
    else
        printer->abort();
}

void LogReport::SavePdf1Click()
{
    const QString path = AskSaveFileName({ FileDialogRequest::Mode::Save, QString::fromLatin1(kSavePdfTitle),
                                             QStringLiteral("PDF files (*.pdf)"), QStringLiteral("pdf") },
        preview_);
    if (!path.isEmpty())
        writePdf(path);
}

bool LogReport::writePdf(const QString& path)
{
    return writeReportPdf(path.toStdString(),
        [this](QPagedPaintDevice& pdf) { return generate(pdf, QStringLiteral("Writing the report...")); });
}

bool LogReport::generate(QPagedPaintDevice& device, const QString& what)
{
    if (!generator_)
        return false;
    GenerationProgress progress(what, preview_);
    return generator_(device, std::ref(progress));
}

} // namespace cvlog
