#include "presentation/statistics_chart.h"

namespace cvlog
{

namespace
{

constexpr double kMinutesPerHour = 60.0;

} // namespace

ChartSeries flightTimeChart(const FlightStatistics& statistics)
{
    ChartSeries chart;
    chart.perYear = statistics.months.size() > static_cast<std::size_t>(kMostMonthlyBars);
    for (const MonthTally& m : statistics.months) {
        const double hours = static_cast<double>(m.tally.minutes) / kMinutesPerHour;
        if (!chart.perYear) {
            chart.labels.push_back(
                QStringLiteral("%1-%2").arg(m.year, 4, 10, QChar(u'0')).arg(m.month, 2, 10, QChar(u'0')));
            chart.hours.push_back(hours);
            continue;
        }
        const QString year = QStringLiteral("%1").arg(m.year, 4, 10, QChar(u'0'));
        if (chart.labels.isEmpty() || chart.labels.back() != year) {
            chart.labels.push_back(year);
            chart.hours.push_back(0);
        }
        chart.hours.back() += hours;
    }
    return chart;
}

} // namespace cvlog
