#include "presentation/statistics_chart.h"

#include <QFontMetricsF>
#include <QGuiApplication>

#include <gtest/gtest.h>

#include <cmath>
#include <set>

using namespace cvlog;

namespace
{

// The plot's width in the window at its default size, and a narrow one.
constexpr double kDefaultPlotWidth = 740;
constexpr double kNarrowPlotWidth = 260;

FlightStatistics monthsFrom(int firstYear, int firstMonth, int lastYear, int lastMonth)
{
    FlightStatistics statistics;
    for (int year = firstYear, month = firstMonth;
         year < lastYear || (year == lastYear && month <= lastMonth);) {
        statistics.months.push_back({ year, month, { 1, 30 } });
        if (++month > 12) {
            month = 1;
            ++year;
        }
    }
    return statistics;
}

// A label reads its own bar: "Mar 2026" or "Mar" under March 2026, "2026"
// under its January, "1800" under the bar of 1800-1999.
bool labelReadsItsBar(const ChartSeries& series, const AxisLabel& label)
{
    const QString& bar = series.labels[label.bar];
    if (bar.startsWith(label.text))
        return true;
    return series.yearsPerBar == 0 && bar.startsWith(QStringLiteral("Jan "))
        && bar.endsWith(u' ' + label.text);
}

} // namespace

// The time axis over spans from a month to the whole calendar, at the
// default size and a narrow one, measured with the application's font: each
// label names its own bar, none overlaps the next or leaves the plot, and
// the default size labels enough bars to read the span.
TEST(StatisticsChart, TimeAxisLabelsAreTrueAndNoneIsCut)
{
    const QFontMetricsF metrics(QGuiApplication::font());
    const TextWidth width = [&](const QString& text) { return metrics.horizontalAdvance(text); };
    struct Case {
        const char* name;
        FlightStatistics statistics;
        int yearsPerBar;
        int bars;
        std::size_t leastLabels; // at the default size
        QString firstLabel; // at the default size
    };
    const Case cases[] = {
        { "one month", monthsFrom(2026, 3, 2026, 3), 0, 1, 1, "Mar 2026" },
        { "three months", monthsFrom(2025, 12, 2026, 2), 0, 3, 3, "Dec 2025" },
        { "three years", monthsFrom(2023, 4, 2026, 3), 0, 36, 6, "Jul 2023" },
        { "five years", monthsFrom(2021, 1, 2025, 12), 0, 60, 8, "Jul 2021" },
        { "thirty years", monthsFrom(1996, 6, 2026, 3), 1, 31, 10, "1998" },
        { "centuries", monthsFrom(1752, 9, 9999, 12), 200, 42, 7, "2000" },
        { "empty", FlightStatistics {}, 0, 0, 0, "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ChartSeries series = flightTimeChart(c.statistics);
        EXPECT_EQ(series.yearsPerBar, c.yearsPerBar);
        ASSERT_EQ(series.hours.size(), static_cast<std::size_t>(c.bars));
        ASSERT_EQ(series.labels.size(), c.bars);
        double total = 0;
        for (double h : series.hours)
            total += h;
        EXPECT_DOUBLE_EQ(total, c.statistics.months.size() * 0.5) << "every month in a bar";

        for (const double plotWidth : { kDefaultPlotWidth, kNarrowPlotWidth }) {
            SCOPED_TRACE(plotWidth);
            const double barWidth = c.bars > 0 ? plotWidth / c.bars : plotWidth;
            const std::vector<AxisLabel> labels = timeAxisLabels(series, barWidth, width);
            double previousRight = -1e9;
            std::set<int> bars;
            for (const AxisLabel& label : labels) {
                ASSERT_TRUE(label.bar >= 0 && label.bar < c.bars) << label.bar;
                EXPECT_TRUE(labelReadsItsBar(series, label)) << label.text.toStdString();
                EXPECT_TRUE(bars.insert(label.bar).second);
                const double centre = (label.bar + 0.5) * barWidth;
                const double half = width(label.text) / 2;
                EXPECT_GE(centre - half, std::max(0.0, previousRight + kLabelGap))
                    << label.text.toStdString();
                EXPECT_LE(centre + half, plotWidth) << label.text.toStdString();
                previousRight = centre + half;
                EXPECT_LE(width(label.text) + kLabelGap, plotWidth / static_cast<double>(labels.size() + 1))
                    << "the chart's share for " << label.text.toStdString();
            }
            if (plotWidth == kDefaultPlotWidth) {
                EXPECT_GE(labels.size(), c.leastLabels);
                EXPECT_EQ(labels.empty() ? QString() : labels.front().text, c.firstLabel);
            } else if (c.bars > 0) {
                EXPECT_FALSE(labels.empty()) << "a narrow chart still names a bar";
            }
        }
    }
}

// The hours axis for the highest bar of an empty chart, of 40 and 70
// minutes, of nearly ten hours and of a sum no log reaches, at every height
// from one interval to ten: distinct labels, each the true value of its
// tick, the highest bar under the top.
TEST(StatisticsChart, HoursAxisLabelsAreDistinctAndTrue)
{
    struct Case {
        double highestMinutes;
        QStringList atFive; // the labels when five intervals fit
    };
    const Case cases[] = {
        { 0, { "0.0", "0.2", "0.4", "0.6", "0.8", "1.0" } },
        { 40, { "0.0", "0.2", "0.4", "0.6", "0.8" } },
        { 70, { "0.0", "0.5", "1.0", "1.5" } },
        { 599, { "0", "2", "4", "6", "8", "10" } },
        { 9.0e18, { "0", "50000000000000000", "100000000000000000", "150000000000000000" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.highestMinutes);
        const double highest = c.highestMinutes / 60;
        EXPECT_EQ(hoursAxis(highest, 5).labels, c.atFive);
        for (int most = 0; most <= 10; ++most) {
            SCOPED_TRACE(most);
            const ValueAxis axis = hoursAxis(highest, most);
            ASSERT_GE(axis.intervals, 1);
            EXPECT_LE(axis.intervals, std::max(1, most));
            EXPECT_GE(axis.top * (1 + 1e-9), highest);
            ASSERT_EQ(axis.labels.size(), axis.intervals + 1);
            EXPECT_EQ(QSet<QString>(axis.labels.begin(), axis.labels.end()).size(), axis.labels.size());
            for (int i = 0; i <= axis.intervals; ++i) {
                const double tick = axis.top * i / axis.intervals;
                EXPECT_EQ(axis.labels[i], QString::number(tick, 'f', axis.decimals));
                EXPECT_NEAR(
                    axis.labels[i].toDouble(), tick, std::pow(10.0, -axis.decimals) / 2 + tick * 1e-12);
            }
        }
    }
}
