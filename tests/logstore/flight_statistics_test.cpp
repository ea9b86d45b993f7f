#include "logstore/flight_statistics.h"
#include "statistics_test_log.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <utility>
#include <vector>

namespace cvlog
{

// Readable failures for the figures compared below.
std::ostream& operator<<(std::ostream& os, const FlightTally& t)
{
    return os << t.flights << " flights " << t.minutes << " min";
}
std::ostream& operator<<(std::ostream& os, const YearTally& y)
{
    return os << y.year << ": " << y.tally;
}
std::ostream& operator<<(std::ostream& os, const MonthTally& m)
{
    return os << m.year << '-' << m.month << ": " << m.tally;
}
std::ostream& operator<<(std::ostream& os, const InstrumentTally& i)
{
    return os << '"' << i.name.toStdString() << "\": " << i.tally;
}
std::ostream& operator<<(std::ostream& os, const RecentFlying& r)
{
    return os << r.last90Days << " / " << r.last12Months << " / " << r.last24Months;
}
std::ostream& operator<<(std::ostream& os, const StatisticsSummary& s)
{
    return os << s.flights << " flights, " << s.totalMinutes << " total, " << s.averageMinutes << " average, "
              << s.longestMinutes << " longest, " << s.highestFeet << " ft, " << s.highestMph << " mph, "
              << s.firstDate.toString(Qt::ISODate).toStdString() << " to "
              << s.lastDate.toString(Qt::ISODate).toStdString() << ", " << s.undatedFlights << " undated";
}

} // namespace cvlog

using namespace cvlog;
using cvlog::testing::Flight;
using cvlog::testing::foreignLayout;
using cvlog::testing::kToday;
using cvlog::testing::programLayout;
using Statistics = cvlog::testing::Statistics;

namespace
{

using Period = std::optional<std::pair<QDate, QDate>>;

std::optional<DatePeriod> periodOf(const Period& period)
{
    if (!period)
        return std::nullopt;
    return DatePeriod(period->first, period->second);
}

Period datesOf(const std::optional<DatePeriod>& period)
{
    if (!period)
        return std::nullopt;
    return std::pair(period->from(), period->to());
}

class StatisticsInEachLayout : public Statistics, public ::testing::WithParamInterface<bool>
{
};

INSTANTIATE_TEST_SUITE_P(Layouts, StatisticsInEachLayout, ::testing::Bool(),
    [](const auto& info) { return info.param ? "Foreign" : "Program"; });

} // namespace

TEST_P(StatisticsInEachLayout, FiguresOfThePeriodOrOfTheWholeLog)
{
    const QDate nov3(2024, 11, 3), jan20(2025, 1, 20), apr2(2025, 4, 2), apr30(2025, 4, 30);
    FlightLog& table = log(GetParam() ? foreignLayout() : programLayout(),
        {
            { nov3, 90, 5000, 120, QStringLiteral("A123") },
            { QDate(2025, 1, 10), 45, 3000, 100, QStringLiteral("B7") },
            { jan20, 30, 8000, 90, QStringLiteral(" B7") }, // the same instrument, padded otherwise
            { apr2, 61, 2000, 150, QStringLiteral("A123") }, { apr30, 20, 1000, 60, QStringLiteral("C") },
            { QDate(), 20, 9000, 80, QStringLiteral("Z9") }, // no take-off date
            { apr30, std::nullopt, std::nullopt, std::nullopt, QString() }, // null numbers count as 0
        },
        { { QDate(2025, 2, 1), 500, 20000, 300, QStringLiteral("Z") } });

    struct Case {
        const char* name;
        Period period;
        Period applied;
        StatisticsSummary summary; // flights, total, average, longest, feet, mph, first, last, undated
        std::vector<YearTally> years;
        std::vector<MonthTally> months;
        std::vector<InstrumentTally> instruments;
    };
    const Case cases[] = {
        { "whole log", std::nullopt, std::nullopt, { 7, 266, 38, 90, 9000, 150, nov3, apr30, 1 },
            { { 2025, { 5, 156 } }, { 2024, { 1, 90 } } },
            { { 2024, 11, { 1, 90 } }, { 2024, 12, {} }, { 2025, 1, { 2, 75 } }, { 2025, 2, {} },
                { 2025, 3, {} }, { 2025, 4, { 3, 81 } } },
            { { "A123", { 2, 151 } }, { "B7", { 2, 75 } }, { "C", { 1, 20 } }, { "Z9", { 1, 20 } },
                { "", { 1, 0 } } } },
        { "both ends included; 45.5 minutes round up", std::pair(jan20, apr2), std::pair(jan20, apr2),
            { 2, 91, 46, 61, 8000, 150, jan20, apr2, 0 }, { { 2025, { 2, 91 } } },
            { { 2025, 1, { 1, 30 } }, { 2025, 2, {} }, { 2025, 3, {} }, { 2025, 4, { 1, 61 } } },
            { { "A123", { 1, 61 } }, { "B7", { 1, 30 } } } },
        { "a row without a date is day 0", std::pair(QDate(1899, 12, 30), QDate(1899, 12, 30)),
            std::pair(QDate(1899, 12, 30), QDate(1899, 12, 30)), { 1, 20, 20, 20, 9000, 80, {}, {}, 1 }, {},
            {}, { { "Z9", { 1, 20 } } } },
        { "To before From is raised to it", std::pair(apr30, QDate(2025, 1, 1)), std::pair(apr30, apr30),
            { 2, 20, 10, 20, 1000, 60, apr30, apr30, 0 }, { { 2025, { 2, 20 } } }, { { 2025, 4, { 2, 20 } } },
            { { "C", { 1, 20 } }, { "", { 1, 0 } } } },
        { "no flight", std::pair(QDate(2030, 1, 1), QDate(2030, 12, 31)),
            std::pair(QDate(2030, 1, 1), QDate(2030, 12, 31)), {}, {}, {}, {} },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const FlightStatistics s = computeFlightStatistics(table, { periodOf(c.period), kToday });
        EXPECT_EQ(datesOf(s.period), c.applied);
        EXPECT_EQ(s.summary, c.summary);
        EXPECT_EQ(s.years, c.years);
        EXPECT_EQ(s.months, c.months);
        EXPECT_EQ(s.instruments, c.instruments);
    }
}

TEST_F(Statistics, RecentFlyingCountsBackFromTodayOverTheWholeLog)
{
    // Each flight's minutes are a bit of its own, so a total names the flights in it.
    const QDate year = kToday.addMonths(-12);
    const QDate twoYears = kToday.addMonths(-24);
    FlightLog& table = log(programLayout(),
        {
            { kToday, 1, {}, {}, {} },
            { kToday.addDays(-89), 2, {}, {}, {} },
            { kToday.addDays(-90), 4, {}, {}, {} },
            { year.addDays(1), 8, {}, {}, {} },
            { year, 16, {}, {}, {} },
            { twoYears.addDays(1), 32, {}, {}, {} },
            { twoYears, 64, {}, {}, {} },
            { kToday.addDays(1), 128, {}, {}, {} },
            { QDate(), 256, {}, {}, {} },
            { QDate(2026, 2, 14), 512, {}, {}, {} },
            { QDate(2026, 2, 28), 1024, {}, {}, {} },
        });
    storeField(10, kFlightTime, "512      "); // digits on the left
    storeField(11, kTakeoffDate, "20260229"); // no such day: no date, right after a row of that month
    const RecentFlying expected { { 3, 1 + 2 + 512 }, { 5, 1 + 2 + 4 + 8 + 512 },
        { 7, 1 + 2 + 4 + 8 + 16 + 32 + 512 } };
    for (const Period& period : { Period(), Period(std::pair(QDate(2000, 1, 1), QDate(2000, 1, 31))) }) {
        EXPECT_EQ(computeFlightStatistics(table, { periodOf(period), kToday }).recent, expected);
    }
    EXPECT_EQ(computeFlightStatistics(table, { {}, QDate() }).recent, RecentFlying {}); // no today
}

// Flights per student are of the period and shown only beside a value
// other than 0; currency is judged over the whole log, per instrument by
// the name the grid shows.
TEST_F(Statistics, StudentsOfThePeriodAndCurrencyOfTheWholeLog)
{
    FlightLog& table = log(programLayout(),
        {
            { kToday.addDays(-100), 60, {}, {}, QStringLiteral("EA15"), 2 },
            { kToday.addDays(-80), 30, {}, {}, QStringLiteral("EB02"), 0 },
            { kToday.addDays(-10), 45, {}, {}, QStringLiteral("EB02"), 2 },
            { kToday.addDays(-5), 20, {}, {}, QStringLiteral("EB02"), 7 },
            { kToday.addDays(3), 90, {}, {}, QStringLiteral("EB02"), 7 }, // not flown yet
        });
    using Span = CurrencyRule::Span;
    const std::vector<CurrencyRule> rules { CurrencyRule {},
        { 2, 60, 90, Span::Days, QStringLiteral("EB02") }, { 1, 0, 90, Span::Days, QStringLiteral("EA15") } };
    const FlightStatistics s = computeFlightStatistics(
        table, { periodOf(Period(std::pair(kToday.addDays(-90), kToday))), kToday, rules });
    EXPECT_EQ(
        s.students, (std::vector<StudentTally> { { 0, { 1, 30 } }, { 2, { 1, 45 } }, { 7, { 1, 20 } } }));
    EXPECT_EQ(s.currency,
        (std::vector<CurrencyStanding> { { 3, 95, true, kToday.addDays(9), 0, 0 },
            { 3, 95, true, kToday.addDays(79), 0, 0 }, { 0, 0, false, kToday.addDays(-11), 1, 0 } }));

    const FlightStatistics onlyZero = computeFlightStatistics(
        table, { periodOf(Period(std::pair(kToday.addDays(-85), kToday.addDays(-70)))), kToday, {} });
    EXPECT_TRUE(onlyZero.students.empty());
    EXPECT_TRUE(onlyZero.currency.empty());
}
