#include "presentation/statistics_chart.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace cvlog
{

namespace
{

constexpr double kMinutesPerHour = 60.0;
constexpr int kMonthsPerYear = 12;

// Division and remainder that round towards minus infinity, so that the
// years before year 0 fall into buckets as the others do.
int floorDiv(int a, int b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

int floorMod(int a, int b)
{
    return a - floorDiv(a, b) * b;
}

// 1, 2, 5, 10, 20, 50 ...
int roundStep(int index)
{
    constexpr int kMantissas[] = { 1, 2, 5 };
    int step = kMantissas[index % 3];
    for (int i = 0; i < index / 3; ++i)
        step *= 10;
    return step;
}

// The steps the thinned labels take through a run of bars: for months
// every 1, 2, 3 and 6 months and then whole years, for years round numbers.
// 0 when there is no further step.
int labelStep(int index, bool months)
{
    constexpr int kMonthSteps[] = { 1, 2, 3, 6 };
    constexpr int kRoundSteps = 27; // up to 500 million, within int
    if (!months)
        return index < kRoundSteps ? roundStep(index) : 0;
    if (index < 4)
        return kMonthSteps[index];
    return index - 4 < kRoundSteps - 2 ? kMonthsPerYear * roundStep(index - 4) : 0;
}

QString yearText(int year)
{
    return QStringLiteral("%1").arg(year, 4, 10, QChar(u'0'));
}

QString monthText(int year, int month, const QLocale& locale)
{
    return locale.standaloneMonthName(month, QLocale::ShortFormat) + u' ' + yearText(year);
}

// The year and month of bar `index` of a chart with a bar per month.
std::pair<int, int> monthOfBar(const ChartSeries& series, int index)
{
    const int months = series.firstMonth - 1 + index;
    return { series.firstYear + floorDiv(months, kMonthsPerYear), floorMod(months, kMonthsPerYear) + 1 };
}

// The label bar `index` carries when labels go every `step` (months, or
// bars of years), or an empty text when it carries none.
QString labelAt(const ChartSeries& series, int index, int step, bool first, const QLocale& locale)
{
    if (series.yearsPerBar > 0) {
        const int start = series.firstYear + index * series.yearsPerBar;
        return floorMod(floorDiv(start, series.yearsPerBar), step) == 0 ? yearText(start) : QString();
    }
    const auto [year, month] = monthOfBar(series, index);
    if (step >= kMonthsPerYear)
        return month == 1 && floorMod(year, step / kMonthsPerYear) == 0 ? yearText(year) : QString();
    if ((month - 1) % step != 0)
        return {};
    return first || month == 1 ? monthText(year, month, locale)
                               : locale.standaloneMonthName(month, QLocale::ShortFormat);
}

// The labels of one step, or nothing when two of them would touch. A label
// the plot's edge would cut is left out.
std::optional<std::vector<AxisLabel>> placeLabels(
    const ChartSeries& series, int step, double barWidth, const TextWidth& textWidth, const QLocale& locale)
{
    const int bars = static_cast<int>(series.hours.size());
    const double plotWidth = barWidth * bars;
    double previousRight = -std::numeric_limits<double>::infinity();
    std::vector<AxisLabel> labels;
    for (int i = 0; i < bars; ++i) {
        const QString text = labelAt(series, i, step, labels.empty(), locale);
        if (text.isEmpty())
            continue;
        const double halfWidth = textWidth(text) / 2;
        const double centre = (i + 0.5) * barWidth;
        if (centre - halfWidth < 0 || centre + halfWidth > plotWidth)
            continue;
        if (centre - halfWidth < previousRight + kLabelGap)
            return std::nullopt;
        labels.push_back({ i, text });
        previousRight = centre + halfWidth;
    }
    // The chart gives each label an equal share of the axis, one share more
    // than there are labels, and cuts a label wider than that.
    const double share = plotWidth / static_cast<double>(labels.size() + 1) - kLabelGap;
    for (const AxisLabel& label : labels) {
        if (textWidth(label.text) > share)
            return std::nullopt;
    }
    return labels;
}

} // namespace

ChartSeries flightTimeChart(const FlightStatistics& statistics, const QLocale& locale)
{
    ChartSeries chart;
    chart.title = QStringLiteral("Flight time per month");
    if (statistics.months.empty())
        return chart;
    const MonthTally& first = statistics.months.front();
    chart.firstYear = first.year;
    chart.firstMonth = first.month;
    if (statistics.months.size() <= static_cast<std::size_t>(kMostMonthlyBars)) {
        for (const MonthTally& m : statistics.months) {
            chart.labels.push_back(monthText(m.year, m.month, locale));
            chart.hours.push_back(static_cast<double>(m.tally.minutes) / kMinutesPerHour);
        }
        return chart;
    }

    // Years, in buckets of a round number of them when the log spans centuries.
    const int lastYear = statistics.months.back().year;
    int yearsPerBar = 1;
    for (int i = 1; floorDiv(lastYear, yearsPerBar) - floorDiv(first.year, yearsPerBar) + 1 > kMostBars; ++i)
        yearsPerBar = roundStep(i);
    chart.yearsPerBar = yearsPerBar;
    chart.firstYear = floorDiv(first.year, yearsPerBar) * yearsPerBar;
    const int bars = floorDiv(lastYear, yearsPerBar) - floorDiv(first.year, yearsPerBar) + 1;
    chart.hours.assign(static_cast<std::size_t>(bars), 0.0);
    for (int i = 0; i < bars; ++i) {
        const int start = chart.firstYear + i * yearsPerBar;
        chart.labels.push_back(
            yearsPerBar == 1 ? yearText(start) : yearText(start) + u'-' + yearText(start + yearsPerBar - 1));
    }
    for (const MonthTally& m : statistics.months) {
        const int bar = floorDiv(m.year, yearsPerBar) - floorDiv(chart.firstYear, yearsPerBar);
        chart.hours[static_cast<std::size_t>(bar)] += static_cast<double>(m.tally.minutes) / kMinutesPerHour;
    }
    chart.title = yearsPerBar == 1 ? QStringLiteral("Flight time per year")
                                   : QStringLiteral("Flight time per %1 years").arg(yearsPerBar);
    return chart;
}

std::vector<AxisLabel> timeAxisLabels(
    const ChartSeries& series, double barWidth, const TextWidth& textWidth, const QLocale& locale)
{
    for (int i = 0;; ++i) {
        const int step = labelStep(i, series.yearsPerBar == 0);
        if (step == 0)
            return {};
        const auto labels = placeLabels(series, step, barWidth, textWidth, locale);
        if (labels && !labels->empty())
            return *labels;
    }
}

ValueAxis hoursAxis(double highestHours, int mostIntervals)
{
    mostIntervals = std::max(1, mostIntervals);
    // An empty chart still shows an hour.
    const double highest = highestHours > 0 && std::isfinite(highestHours) ? highestHours : 1.0;
    // A rounding error must not add an interval: 1 hour is 5 steps of 0.2.
    constexpr double kTolerance = 1e-9;
    ValueAxis axis;
    for (int exponent = -1;; ++exponent) {
        for (const int mantissa : { 1, 2, 5 }) {
            const double scale = std::pow(10.0, exponent);
            const double step = mantissa * scale;
            const double intervals = std::ceil(highest / step - kTolerance);
            if (intervals > mostIntervals)
                continue;
            axis.intervals = std::max(1, static_cast<int>(intervals));
            axis.decimals = exponent < 0 ? -exponent : 0;
            axis.top = axis.intervals * step;
            for (int i = 0; i <= axis.intervals; ++i) {
                // Tenths from whole numbers, so that 3 x 0.1 reads 0.3.
                const double value = exponent < 0 ? (i * mantissa) / std::pow(10.0, -exponent) : i * step;
                axis.labels.push_back(QString::number(value, 'f', axis.decimals));
            }
            return axis;
        }
    }
}

} // namespace cvlog
