#pragma once
// Whether the pilot is current to fly: rules such as "at least 3 flights and
// 1:00 of flight time in the last 90 days", judged on the flights logged up
// to today, with the last day each rule still holds if no more are logged.

#include <QDate>
#include <QString>

#include <cstdint>
#include <vector>

namespace cvlog
{

struct CurrencyRule {
    enum class Span { Days, Months };

    int flights = 3;
    std::int64_t minutes = 0;
    // The last `length` days are today and the length-1 days before it; the
    // last `length` months are the days after today.addMonths(-length).
    int length = 90;
    Span span = Span::Days;
    QString instrument; // as the grid shows it; empty: every instrument

    bool operator==(const CurrencyRule&) const = default;
};

// One dated flight as the rules count it: a take-off day (a dayNumberOf), its
// flight time, and its instrument as an index into the caller's names.
struct CountedFlight {
    std::int32_t day = 0;
    std::int32_t minutes = 0;
    std::int32_t instrument = 0;
};

struct CurrencyStanding {
    // The flights and flight time in the rule's span ending today.
    std::int64_t flights = 0;
    std::int64_t minutes = 0;
    bool current = false;
    // Current: the last day the rule holds if no more flights are logged
    // (invalid when it cannot lapse, as a rule asking for nothing). Not
    // current: the last day it held, so it lapsed the day after (invalid
    // when it never held).
    QDate lastDay;
    // What today's span lacks; both 0 when current.
    std::int64_t flightsNeeded = 0;
    std::int64_t minutesNeeded = 0;

    bool operator==(const CurrencyStanding&) const = default;
};

// One standing per rule, in the order of the rules. Flights dated after
// today are not counted (they have not been flown yet); `flights` need not
// be sorted.
std::vector<CurrencyStanding> judgeCurrency(std::vector<CountedFlight> flights,
    const std::vector<QString>& instrumentNames, const std::vector<CurrencyRule>& rules, const QDate& today);

} // namespace cvlog
