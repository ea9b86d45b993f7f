#pragma once
// Whether the pilot is current to fly: rules such as "at least 3 flights and
// 1:00 of flight time in the last 90 days", judged on the flights logged up
// to today, with the last day each rule still holds if no more are logged.

#include <QDate>
#include <QString>

#include <cstdint>
#include <memory>
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

class DayTallies;

// The flights the rules count, told a row at a time: per take-off day (a
// day number as dayNumberOf gives it), for every instrument together and
// for each instrument a rule names. A log of twenty years takes some
// hundred kilobytes however many flights it holds.
class CurrencyFlights
{
public:
    explicit CurrencyFlights(std::vector<CurrencyRule> rules);
    ~CurrencyFlights();
    CurrencyFlights(CurrencyFlights&&) noexcept;
    CurrencyFlights& operator=(CurrencyFlights&&) noexcept;

    // The group to count an instrument's flights in (an instrument as the
    // grid shows it), or -1 when no rule names it.
    int groupOf(const QString& instrument) const;
    // A flight of `day`; flights dated after the day judged on are left out.
    void add(std::int32_t day, std::int64_t minutes, int group);

    // One standing per rule, in the order of the rules.
    std::vector<CurrencyStanding> judge(const QDate& today) const;

private:
    std::vector<CurrencyRule> rules_;
    std::vector<QString> named_; // the instruments the rules name, each once
    std::vector<std::unique_ptr<DayTallies>> tallies_; // every instrument, then each of named_
};

} // namespace cvlog
