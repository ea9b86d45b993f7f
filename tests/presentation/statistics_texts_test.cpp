#include "logstore/flight_statistics.h"
#include "presentation/statistics_chart.h"
#include "presentation/statistics_texts.h"
#include "statistics_test_log.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace cvlog;
using cvlog::testing::kToday;
using cvlog::testing::programLayout;
using Statistics = cvlog::testing::Statistics;

namespace
{

const QLocale kBritish(QLocale::English, QLocale::UnitedKingdom);

} // namespace

TEST_F(Statistics, TextsChartAndCopyShowTheDisplayModes)
{
    FlightLog& table = log(programLayout(),
        {
            { QDate(2020, 1, 5), 90, 10000, 100, QStringLiteral("A1") },
            { QDate(2024, 12, 20), 75, 500, 50, QStringLiteral("A1") },
            { QDate(2025, 1, 2), 30, 800, 60, QStringLiteral("B\t2") },
        });
    const FlightStatistics all = computeFlightStatistics(table, { {}, kToday });

    struct Case {
        DisplayMarks marks;
        QString total, average, altitudeLabel, altitude, speedLabel, speed, instrumentTime;
    };
    const DisplayMarks feetMph;
    const Case cases[] = {
        { selectMetricUnits(feetMph), "3:15", "1:05", "Highest altitude (m)", "3048", "Highest speed (km/h)",
            "160", "2:45" },
        { selectDecimalFractions(selectFeetKnots(feetMph)), "3.25", "1.08", "Highest altitude (ft)", "10000",
            "Highest speed (kt)", "86", "2.75" },
        { feetMph, "3:15", "1:05", "Highest altitude (ft)", "10000", "Highest speed (mph)", "100", "2:45" },
    };
    for (const Case& c : cases) {
        const std::vector<StatisticsTable> tables = statisticsTables(all, c.marks, kBritish);
        ASSERT_EQ(tables.size(), 6U);
        EXPECT_FALSE(tables[4].shown) << "no student value but 0";
        EXPECT_FALSE(tables[5].shown) << "no currency rule";
        const std::vector<QStringList>& summary = tables[0].rows;
        EXPECT_EQ(summary[1][1], c.total);
        EXPECT_EQ(summary[2][1], c.average);
        EXPECT_EQ(summary[4], QStringList({ c.altitudeLabel, c.altitude }));
        EXPECT_EQ(summary[5], QStringList({ c.speedLabel, c.speed }));
        EXPECT_EQ(tables[3].rows[0], QStringList({ "A1", "2", c.instrumentTime }));
    }

    EXPECT_EQ(statisticsTabText(all, feetMph, kBritish).toStdString(),
        "All flights\n"
        "\n"
        "Summary\n"
        "Figure\tValue\n"
        "Flights\t3\n"
        "Total flight time\t3:15\n"
        "Average flight time\t1:05\n"
        "Longest flight time\t1:30\n"
        "Highest altitude (ft)\t10000\n"
        "Highest speed (mph)\t100\n"
        "First take-off\t05/01/2020\n"
        "Last take-off\t02/01/2025\n"
        "Flights without a take-off date\t0\n"
        "\n"
        "Recent flying, all flights up to 15/03/2026\n"
        "Period\tFlights\tFlight time\n"
        "Last 90 days\t0\t0:00\n"
        "Last 12 months\t0\t0:00\n"
        "Last 24 months\t2\t1:45\n"
        "\n"
        "Flights per year\n"
        "Year\tFlights\tFlight time\n"
        "2025\t1\t0:30\n"
        "2024\t1\t1:15\n"
        "2020\t1\t1:30\n"
        "\n"
        "Flights per instrument\n"
        "Instrument\tFlights\tFlight time\n"
        "A1\t2\t2:45\n"
        "B 2\t1\t0:30\n");

    // January 2020 to January 2025 is 61 months: one bar per year, empty years included.
    const ChartSeries years = flightTimeChart(all);
    EXPECT_EQ(years.yearsPerBar, 1);
    EXPECT_EQ(years.labels, QStringList({ "2020", "2021", "2022", "2023", "2024", "2025" }));
    EXPECT_EQ(years.hours, std::vector<double>({ 1.5, 0, 0, 0, 1.25, 0.5 }));

    const FlightStatistics sixty
        = computeFlightStatistics(table, { DatePeriod(QDate(2020, 1, 1), QDate(2024, 12, 31)), kToday });
    EXPECT_EQ(statisticsCaption(sixty, kBritish), "Flights from 01/01/2020 to 31/12/2024");
    const ChartSeries months = flightTimeChart(sixty);
    EXPECT_EQ(months.yearsPerBar, 0);
    ASSERT_EQ(months.labels.size(), 60);
    EXPECT_EQ(months.labels.front(), "Jan 2020");
    EXPECT_EQ(months.labels.back(), "Dec 2024");
    EXPECT_EQ(months.hours.front(), 1.5);
    EXPECT_EQ(months.hours.back(), 1.25);
    EXPECT_EQ(std::count(months.hours.begin(), months.hours.end(), 0.0), 58);
}

// The student and currency tables, as they read for each kind of standing;
// shown, and copied, only where they say something.
TEST(StatisticsTexts, StudentsAndCurrencyReadAsThePilotAsksThem)
{
    using Span = CurrencyRule::Span;
    FlightStatistics statistics;
    statistics.today = QDate(2026, 12, 8);
    const auto tableOf = [&](std::size_t index) { return statisticsTables(statistics, {}, kBritish)[index]; };
    EXPECT_FALSE(tableOf(4).shown);
    EXPECT_FALSE(tableOf(5).shown);
    EXPECT_FALSE(statisticsTabText(statistics, {}, kBritish).contains(QStringLiteral("Currency")));

    statistics.students = { { 0, { 2, 90 } }, { 3, { 1, 45 } } };
    statistics.currencyRules = { CurrencyRule {}, { 1, 60, 1, Span::Months, QStringLiteral("EA15") },
        { 0, 90, 30, Span::Days, {} }, { 2, 0, 1, Span::Days, {} } };
    statistics.currency = {
        { 3, 180, true, QDate(2027, 1, 2), 0, 0 },
        { 0, 0, false, QDate(2026, 10, 31), 1, 60 },
        { 1, 30, false, {}, 0, 60 },
        { 5, 300, true, {}, 0, 0 },
    };
    EXPECT_EQ(tableOf(4).rows, (std::vector<QStringList> { { "0", "2", "1:30" }, { "3", "1", "0:45" } }));
    const StatisticsTable currency = tableOf(5);
    EXPECT_TRUE(currency.shown);
    EXPECT_EQ(currency.title, "Currency on 08/12/2026");
    EXPECT_EQ(currency.rows,
        (std::vector<QStringList> {
            { "3 flights in the last 90 days", "3", "3:00", "Current until 02/01/2027", "" },
            { "1 flight and 1:00 in the last month, EA15", "0", "0:00",
                "Not current: needs 1 more flight / 1:00 more", "01/11/2026" },
            { "1:30 in the last 30 days", "1", "0:30", "Not current: needs 1:00 more", "" },
            { "2 flights in the last day", "5", "5:00", "Current", "" },
        }));
    EXPECT_TRUE(statisticsTabText(statistics, {}, kBritish).contains(QStringLiteral("Flights per student")));
}
