#include "logstore/currency.h"

#include "logstore/conversions.h"

#include <algorithm>
#include <iterator>

namespace cvlog
{

namespace
{

// Longer spans than a century are read as one.
constexpr int kMostDays = 36525;
constexpr int kMostMonths = 1200;

// The days a rule looks back over, for the day it is judged on.
class RuleSpan
{
public:
    explicit RuleSpan(const CurrencyRule& rule)
        : length_(
            std::clamp(rule.length, 1, rule.span == CurrencyRule::Span::Months ? kMostMonths : kMostDays))
        , months_(rule.span == CurrencyRule::Span::Months)
    {
    }

    // The first day of the span that ends on `day`.
    std::int32_t firstDay(std::int32_t day) const
    {
        if (!months_)
            return day - length_ + 1;
        return dayNumberOf(dateFromDayNumber(day).addMonths(-length_)) + 1;
    }

    // The last day whose span still holds a flight of `day`. Months are
    // uneven: a flight of 31 January stays in a month's span until the
    // last day of February, one of 15 January until 14 February.
    std::int32_t lastDayCounting(std::int32_t day) const
    {
        if (!months_)
            return day + length_ - 1;
        std::int32_t last = dayNumberOf(dateFromDayNumber(day).addMonths(length_));
        while (firstDay(last) > day)
            --last;
        while (firstDay(last + 1) <= day)
            ++last;
        return last;
    }

private:
    int length_;
    bool months_;
};

struct Tally {
    std::int64_t flights = 0;
    std::int64_t minutes = 0;
};

// The rule's flights in date order, with running sums so that any span's
// tally is two searches.
class RuleFlights
{
public:
    RuleFlights(const std::vector<CountedFlight>& sorted, std::int32_t instrument)
    {
        days_.reserve(sorted.size());
        runningMinutes_.reserve(sorted.size() + 1);
        runningMinutes_.push_back(0);
        for (const CountedFlight& flight : sorted) {
            if (instrument >= 0 && flight.instrument != instrument)
                continue;
            days_.push_back(flight.day);
            runningMinutes_.push_back(runningMinutes_.back() + flight.minutes);
        }
    }

    const std::vector<std::int32_t>& days() const { return days_; }

    Tally between(std::int32_t first, std::int32_t last) const
    {
        const auto from = std::lower_bound(days_.begin(), days_.end(), first);
        const auto to = std::upper_bound(from, days_.end(), last);
        const auto a = static_cast<std::size_t>(from - days_.begin());
        const auto b = static_cast<std::size_t>(to - days_.begin());
        return { static_cast<std::int64_t>(b - a), runningMinutes_[b] - runningMinutes_[a] };
    }

private:
    std::vector<std::int32_t> days_;
    std::vector<std::int64_t> runningMinutes_;
};

bool meets(const Tally& tally, const CurrencyRule& rule)
{
    return tally.flights >= rule.flights && tally.minutes >= rule.minutes;
}

CurrencyStanding judge(const RuleFlights& flights, const CurrencyRule& rule, std::int32_t today)
{
    const RuleSpan span(rule);
    const Tally now = flights.between(span.firstDay(today), today);
    CurrencyStanding standing;
    standing.flights = now.flights;
    standing.minutes = now.minutes;
    standing.current = meets(now, rule);
    standing.flightsNeeded = std::max<std::int64_t>(rule.flights - now.flights, 0);
    standing.minutesNeeded = std::max<std::int64_t>(rule.minutes - now.minutes, 0);
    if (standing.current) {
        standing.flightsNeeded = 0;
        standing.minutesNeeded = 0;
        if (rule.flights <= 0 && rule.minutes <= 0)
            return standing; // asks for nothing: never lapses
    }
    // A rule stops holding only on a day a flight leaves its span, so the
    // last day it holds is the last day some flight counts on which the
    // span still meets it; later flights end later, so the latest is found
    // first from the newest.
    const std::vector<std::int32_t>& days = flights.days();
    const auto later = [](std::int32_t a, std::int32_t b) { return a > b; };
    for (auto it = days.rbegin(); it != days.rend(); it = std::upper_bound(it, days.rend(), *it, later)) {
        const std::int32_t last = span.lastDayCounting(*it);
        if (meets(flights.between(span.firstDay(last), std::min(last, today)), rule)) {
            standing.lastDay = dateFromDayNumber(last);
            break;
        }
    }
    return standing;
}

} // namespace

std::vector<CurrencyStanding> judgeCurrency(std::vector<CountedFlight> flights,
    const std::vector<QString>& instrumentNames, const std::vector<CurrencyRule>& rules, const QDate& today)
{
    const std::int32_t todayNumber = dayNumberOf(today);
    std::erase_if(flights, [todayNumber](const CountedFlight& f) { return f.day > todayNumber; });
    // Logs are kept in date order, which the sort finds at once.
    if (!std::is_sorted(flights.begin(), flights.end(),
            [](const CountedFlight& a, const CountedFlight& b) { return a.day < b.day; }))
        std::stable_sort(flights.begin(), flights.end(),
            [](const CountedFlight& a, const CountedFlight& b) { return a.day < b.day; });

    std::vector<CurrencyStanding> standings;
    standings.reserve(rules.size());
    for (const CurrencyRule& rule : rules) {
        std::int32_t instrument = -1;
        if (!rule.instrument.isEmpty()) {
            const auto found = std::find(instrumentNames.begin(), instrumentNames.end(), rule.instrument);
            // An instrument that flew nothing in the log counts no flight.
            instrument = found == instrumentNames.end()
                ? static_cast<std::int32_t>(instrumentNames.size())
                : static_cast<std::int32_t>(found - instrumentNames.begin());
        }
        standings.push_back(judge(RuleFlights(flights, instrument), rule, todayNumber));
    }
    return standings;
}

} // namespace cvlog
