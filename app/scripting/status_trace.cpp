#include "app/scripting/status_trace.h"

#include <QtGlobal>

#include <cstdio>

namespace cvlog
{

namespace
{

void traceLine(const char* tag, const QString& text)
{
    if (!StatusTraceEnabled())
        return;
    std::fprintf(stderr, "CVLOG %s %s\n", tag, text.toUtf8().constData());
    // A script reads the lines while the program runs.
    std::fflush(stderr);
}

} // namespace

bool StatusTraceEnabled()
{
    static const bool enabled = qEnvironmentVariableIntValue("CVLOG_TRACE_STATUS") == 1;
    return enabled;
}

void TraceLinkText(const QString& text)
{
    traceLine("STATUS", text);
}

void TracePopupText(const QString& text)
{
    traceLine("POPUP", text);
}

void TraceReport(const QString& text)
{
    traceLine("REPORT", text);
}

void TraceStatistics(const QString& text)
{
    traceLine("STATISTICS", text);
}

void TraceOpened(const QString& text)
{
    traceLine("OPEN", text);
}

} // namespace cvlog
