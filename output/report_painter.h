#pragma once
// Draws laid-out report pages on any paged device: the preview, a printer,
// a PDF file. Positions are millimetres on A4 paper; the device is set to
// A4 portrait and drawn on from the paper's corner.

#include "output/report_layout.h"

#include <functional>

class QPagedPaintDevice;
class QPrinter;

namespace cvlog
{

// Told after each page with the number of pages done and of all pages;
// answering false stops the drawing.
using ReportProgress = std::function<bool(int done, int total)>;

// The paper the report is laid out for, and a painter origin at its corner.
void SetUpReportPrinter(QPrinter& printer);

// Draws every page; false when the progress stopped it.
bool PaintReport(QPagedPaintDevice& device, const ReportLayout& layout, ReportRows& rows,
    const ReportProgress& progress = {});

} // namespace cvlog
