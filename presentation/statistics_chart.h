#pragma once
// The bar chart of flight time that the statistics window draws: its bars,
// and the labels of both axes, chosen so that they read at a glance at the
// size the chart is drawn.

#include "logstore/flight_statistics.h"

#include <QLocale>
#include <QStringList>

#include <functional>
#include <vector>

namespace cvlog
{

// One bar per month of the period, or one per year when the months would be
// more than this many; over centuries one bar stands for several years, so
// that there are never more bars than this.
inline constexpr int kMostMonthlyBars = 60;
inline constexpr int kMostBars = 60;

struct ChartSeries {
    // 0: a bar per month; else each bar holds this many years, the first of
    // them a multiple of it.
    int yearsPerBar = 0;
    int firstYear = 0; // of the first bar
    int firstMonth = 1; // 1..12, of the first bar when a bar is a month
    QStringList labels; // each bar's name: "Mar 2026", "2026", "1800-1999"
    std::vector<double> hours;
    QString title; // "Flight time per month"
};

// Month names in the locale's short form.
ChartSeries flightTimeChart(const FlightStatistics& statistics, const QLocale& locale = QLocale::c());

// A label under the bars: the index of its bar and its text.
struct AxisLabel {
    int bar = 0;
    QString text;
    bool operator==(const AxisLabel&) const = default;
};

// The horizontal space a label's text takes as the chart draws it.
using TextWidth = std::function<double(const QString&)>;

// Room kept clear between two labels, in the units of TextWidth: the
// chart's padding on either side of a label.
inline constexpr double kLabelGap = 8;

// The labels of the time axis, thinned so that none is cut: every label is
// centred under its bar, lies inside the plot (`barWidth` times the bars),
// stands clear of the next and is no wider than an equal share of the plot
// for each label and one more (the chart cuts a label wider than that). They fall on calendar boundaries
// (every month, 2, 3 or 6 months, every year, 2, 5, 10 ... years) and the first one, and each January, also
// names the year. Empty when not even one label fits.
std::vector<AxisLabel> timeAxisLabels(const ChartSeries& series, double barWidth, const TextWidth& textWidth,
    const QLocale& locale = QLocale::c());

// The hours axis: from 0 to `top` in `intervals` equal steps of 1, 2 or 5
// times a power of ten (0.1 hours at least), each label the true value of
// its tick with as many decimals as the step needs, so no two read alike.
struct ValueAxis {
    double top = 1;
    int intervals = 1;
    int decimals = 0;
    QStringList labels; // from 0 up to top
};

// `mostIntervals`: as many as the chart's height leaves room for (1 at least).
ValueAxis hoursAxis(double highestHours, int mostIntervals);

} // namespace cvlog
