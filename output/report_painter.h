#pragma once
// Draws laid-out report pages on any paged device: the preview, a printer,
// a PDF file. Positions are millimetres on A4 paper; the device is set to
// A4 portrait and drawn on from the paper's corner.

#include "output/report_layout.h"

#include <filesystem>
#include <functional>

class QPagedPaintDevice;
class QPrinter;

namespace cvlog
{

// Told after each page with the number of pages done and of all pages;
// answering false stops the drawing.
using ReportProgress = std::function<bool(int done, int total)>;

// The paper the report is laid out for, and a painter origin at its corner.
void setUpReportPrinter(QPrinter& printer);

// Draws every page; false when the progress stopped it.
bool paintReport(QPagedPaintDevice& device, const ReportLayout& layout, ReportRows& rows,
    const ReportProgress& progress = {});

// Writes the report as an A4 PDF titled like the report: the draw function
// generates it on the PDF device. The file appears only when complete; false,
// with nothing written, when the drawing was stopped. FileError on failure.
bool writeReportPdf(const std::filesystem::path& target, const std::function<bool(QPagedPaintDevice&)>& draw);

} // namespace cvlog
