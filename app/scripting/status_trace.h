#pragma once
// A trace of the link texts for scripts that drive the whole program: with
// CVLOG_TRACE_STATUS=1 every text written to the status bar's link panel
// and every text of the status pop-up (empty when it is hidden) goes to
// stderr as one line, "CVLOG STATUS <text>" or "CVLOG POPUP <text>", and so
// does what each generation of the printed report holds.

#include <QString>

namespace cvlog
{

// Reads CVLOG_TRACE_STATUS; the first call decides for the whole run.
bool StatusTraceEnabled();

void TraceLinkText(const QString& text);
void TracePopupText(const QString& text);
// "CVLOG REPORT <text>": what each generation of the printed report holds.
void TraceReport(const QString& text);
// "CVLOG STATISTICS <text>": what the statistics window shows after a refresh.
void TraceStatistics(const QString& text);
// "CVLOG OPEN <text>": a message box or dialog that waits for the user.
void TraceOpened(const QString& text);

} // namespace cvlog
