#pragma once
// The texts of the flight statistics: the window's tables, and the same
// tables tab-separated for the clipboard and the command line. They read as
// the grid and the printed report read: times, altitudes and speeds in the
// modes of the Setup menu, dates in the locale's short format.

#include "logstore/flight_statistics.h"
#include "presentation/display_units.h"

#include <QLocale>
#include <QString>
#include <QStringList>

#include <vector>

namespace cvlog
{

// "All flights", or "Flights from 01/01/2026 to 31/03/2026".
QString statisticsCaption(const FlightStatistics& statistics, const QLocale& locale);

// One table of the window: summary, recent flying, per year, per
// instrument, per student and currency, in that order. The last two are
// shown only where they say something: a student value other than 0, and
// currency rules.
struct StatisticsTable {
    QString title;
    QStringList headings;
    std::vector<QStringList> rows;
    bool shown = true;
};

std::vector<StatisticsTable> statisticsTables(
    const FlightStatistics& statistics, const DisplayMarks& marks, const QLocale& locale);

// The caption and the tables for a spreadsheet: cells separated by tabs,
// each line ended by LF, an empty line before each table. A tab or line
// break inside a cell becomes a space.
QString statisticsTabText(
    const FlightStatistics& statistics, const DisplayMarks& marks, const QLocale& locale);

} // namespace cvlog
