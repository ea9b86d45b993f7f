#include "logstore/conversions.h"
#include "logstore/currency.h"

#include <gtest/gtest.h>

#include <QDate>

#include <optional>

namespace cvlog::testing
{
namespace
{

const QDate kToday(2026, 12, 8);

struct Flight {
    QDate day;
    std::int32_t minutes = 60;
    std::int32_t instrument = 0; // 0 "EA15", 1 "EB02"
};

struct Case {
    const char* name;
    std::vector<Flight> flights;
    CurrencyRule rule;
    QDate today;
    CurrencyStanding expected;
};

CurrencyRule rule(int flights, std::int64_t minutes, int length, const char* instrument = "",
    CurrencyRule::Span span = CurrencyRule::Span::Days)
{
    return { flights, minutes, length, span, QString::fromLatin1(instrument) };
}

CurrencyStanding standing(std::int64_t flights, std::int64_t minutes, std::optional<QDate> currentUntil,
    QDate heldUntil = {}, std::int64_t flightsNeeded = 0, std::int64_t minutesNeeded = 0)
{
    return { flights, minutes, currentUntil.has_value(), currentUntil.value_or(heldUntil), flightsNeeded,
        minutesNeeded };
}

QDate daysAgo(int n)
{
    return kToday.addDays(-n);
}

TEST(CurrencyTest, EachRuleIsJudgedOnTheFlightsUpToToday)
{
    const auto months = CurrencyRule::Span::Months;
    const std::vector<Case> cases = {
        { "an empty log", {}, CurrencyRule {}, kToday, standing(0, 0, std::nullopt, {}, 3, 0) },
        { "three flights, the oldest on the span's first day, lapse tomorrow",
            { { daysAgo(89) }, { daysAgo(30) }, { daysAgo(0) } }, CurrencyRule {}, kToday,
            standing(3, 180, kToday) },
        { "three flights on the span's first day", { { daysAgo(89) }, { daysAgo(89) }, { daysAgo(89) } },
            CurrencyRule {}, kToday, standing(3, 180, kToday) },
        { "the oldest a day before the span: lapsed today",
            { { daysAgo(90) }, { daysAgo(30) }, { daysAgo(2) } }, CurrencyRule {}, kToday,
            standing(2, 120, std::nullopt, daysAgo(1), 1, 0) },
        { "the third flight holds the rule until it leaves the span",
            { { daysAgo(200) }, { daysAgo(60) }, { daysAgo(40) }, { daysAgo(10) } }, CurrencyRule {}, kToday,
            standing(3, 180, daysAgo(60).addDays(89)) },
        { "hours met but not flights", { { daysAgo(10), 90 }, { daysAgo(5), 90 } }, rule(3, 60, 90), kToday,
            standing(2, 180, std::nullopt, {}, 1, 0) },
        { "flights met but not hours", { { daysAgo(10), 10 }, { daysAgo(5), 10 }, { daysAgo(1), 10 } },
            rule(3, 60, 90), kToday, standing(3, 30, std::nullopt, {}, 0, 30) },
        { "hours reached by the newest flights alone",
            { { daysAgo(80), 20 }, { daysAgo(50), 20 }, { daysAgo(20), 30 }, { daysAgo(1), 30 } },
            rule(2, 60, 90), kToday, standing(4, 100, daysAgo(20).addDays(89)) },
        { "a rule per instrument counts only its flights",
            { { daysAgo(70), 60, 1 }, { daysAgo(50), 60, 0 }, { daysAgo(40), 60, 1 }, { daysAgo(3), 60, 1 } },
            rule(3, 0, 90, "EB02"), kToday, standing(3, 180, daysAgo(70).addDays(89)) },
        { "the other instrument is not current",
            { { daysAgo(70), 60, 1 }, { daysAgo(50), 60, 0 }, { daysAgo(40), 60, 1 }, { daysAgo(3), 60, 1 } },
            rule(3, 0, 90, "EA15"), kToday, standing(1, 60, std::nullopt, {}, 2, 0) },
        { "an instrument that never flew", { { daysAgo(1) } }, rule(1, 0, 90, "ZZ99"), kToday,
            standing(0, 0, std::nullopt, {}, 1, 0) },
        { "held long ago, lapsed, then one flight: the old lapse is told",
            { { daysAgo(250) }, { daysAgo(249) }, { daysAgo(248) }, { daysAgo(50) } }, CurrencyRule {},
            kToday, standing(1, 60, std::nullopt, daysAgo(250).addDays(89), 2, 0) },
        { "flights after today are not flown yet",
            { { daysAgo(1) }, { kToday.addDays(1) }, { kToday.addDays(2) } }, CurrencyRule {}, kToday,
            standing(1, 60, std::nullopt, {}, 2, 0) },
        { "out of date order", { { daysAgo(3) }, { daysAgo(80) }, { daysAgo(40) }, { daysAgo(100) } },
            CurrencyRule {}, kToday, standing(3, 180, daysAgo(80).addDays(89)) },
        { "a month's span after the 31st ends on the month's last day", { { QDate(2026, 1, 31) } },
            rule(1, 0, 1, "", months), QDate(2026, 2, 10), standing(1, 60, QDate(2026, 2, 28)) },
        { "a month's span after the 15th ends on the 14th", { { QDate(2026, 1, 15) } },
            rule(1, 0, 1, "", months), QDate(2026, 2, 1), standing(1, 60, QDate(2026, 2, 14)) },
        { "twelve months across a leap day", { { QDate(2024, 2, 29) } }, rule(1, 0, 12, "", months),
            QDate(2025, 3, 1), standing(0, 0, std::nullopt, QDate(2025, 2, 28), 1, 0) },
        { "a rule that asks nothing never lapses", {}, rule(0, 0, 90), kToday, standing(0, 0, QDate()) },
        { "a span of no days is read as today alone", { { kToday } }, rule(1, 0, 0), kToday,
            standing(1, 60, kToday) },
    };
    const QString names[] = { QStringLiteral("EA15"), QStringLiteral("EB02") };
    for (const Case& c : cases) {
        CurrencyFlights flights({ c.rule });
        for (const Flight& f : c.flights)
            flights.add(dayNumberOf(f.day), f.minutes, flights.groupOf(names[f.instrument]));
        const std::vector<CurrencyStanding> got = flights.judge(c.today);
        ASSERT_EQ(got.size(), 1U) << c.name;
        EXPECT_EQ(got[0].flights, c.expected.flights) << c.name;
        EXPECT_EQ(got[0].minutes, c.expected.minutes) << c.name;
        EXPECT_EQ(got[0].current, c.expected.current) << c.name;
        EXPECT_EQ(got[0].lastDay, c.expected.lastDay)
            << c.name << ": " << got[0].lastDay.toString().toStdString();
        EXPECT_EQ(got[0].flightsNeeded, c.expected.flightsNeeded) << c.name;
        EXPECT_EQ(got[0].minutesNeeded, c.expected.minutesNeeded) << c.name;
    }
}

} // namespace
} // namespace cvlog::testing
