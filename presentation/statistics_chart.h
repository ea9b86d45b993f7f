#pragma once
// The bar chart of flight time that the statistics window draws.

#include "logstore/flight_statistics.h"

#include <QStringList>

#include <vector>

namespace cvlog
{

// One bar per month of the period, or one per year when the months would be
// more than this many.
inline constexpr int kMostMonthlyBars = 60;

struct ChartSeries {
    bool perYear = false;
    QStringList labels; // "2026-03", or "2026" per year
    std::vector<double> hours;
};

ChartSeries flightTimeChart(const FlightStatistics& statistics);

} // namespace cvlog
