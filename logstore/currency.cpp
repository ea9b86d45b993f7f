#include "logstore/currency.h"

#include "logstore/conversions.h"

#include <algorithm>
#include <array>
#include <limits>

namespace cvlog
{

struct DayTally {
    std::int64_t flights = 0;
    std::int64_t minutes = 0;
};

// Flights and flight time per day, in blocks of days made as flights need
// them; any span's tally comes from running sums made once per judging.
class DayTallies
{
public:
    void add(std::int32_t day, std::int64_t minutes, std::int64_t flights)
    {
        if (day < kFirstDay || day > kLastDay)
            return; // no stored date can say such a day
        const auto offset = static_cast<std::size_t>(day - kFirstDay);
        if (blocks_.empty())
            blocks_.resize(static_cast<std::size_t>(kLastDay - kFirstDay) / kBlockDays + 1);
        auto& block = blocks_[offset / kBlockDays];
        if (!block)
            block = std::make_unique<std::array<DayTally, kBlockDays>>();
        DayTally& tally = (*block)[offset % kBlockDays];
        tally.flights += flights;
        tally.minutes += minutes;
        first_ = std::min(first_, day);
    }

    std::int32_t firstDay() const { return first_; }

    DayTally on(std::int32_t day) const
    {
        if (day < kFirstDay || day > kLastDay || blocks_.empty())
            return {};
        const auto offset = static_cast<std::size_t>(day - kFirstDay);
        const auto& block = blocks_[offset / kBlockDays];
        return block ? (*block)[offset % kBlockDays] : DayTally {};
    }

private:
    static constexpr std::size_t kBlockDays = 512;
    static inline const std::int32_t kFirstDay = dayNumberOf(QDate(1, 1, 1));
    static inline const std::int32_t kLastDay = dayNumberOf(QDate(9999, 12, 31));

    std::vector<std::unique_ptr<std::array<DayTally, kBlockDays>>> blocks_;
    std::int32_t first_ = std::numeric_limits<std::int32_t>::max();
};

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

// A group's flights as running sums over every day from its first flight to
// the day judged on, so that any span's tally is two look-ups.
class RuleFlights
{
public:
    RuleFlights(const DayTallies& days, std::int32_t today)
        : today_(today)
        , first_(std::min(days.firstDay(), today))
    {
        const auto count = static_cast<std::size_t>(today - first_) + 1;
        runningFlights_.resize(count + 1);
        runningMinutes_.resize(count + 1);
        for (std::size_t i = 0; i < count; ++i) {
            const DayTally tally = days.on(first_ + static_cast<std::int32_t>(i));
            runningFlights_[i + 1] = runningFlights_[i] + tally.flights;
            runningMinutes_[i + 1] = runningMinutes_[i] + tally.minutes;
        }
    }

    std::int32_t firstDay() const { return first_; }

    bool flownOn(std::int32_t day) const { return between(day, day).flights > 0; }

    DayTally between(std::int32_t first, std::int32_t last) const
    {
        first = std::max(first, first_);
        last = std::min(last, today_);
        if (first > last)
            return {};
        const auto a = static_cast<std::size_t>(first - first_);
        const auto b = static_cast<std::size_t>(last - first_) + 1;
        return { runningFlights_[b] - runningFlights_[a], runningMinutes_[b] - runningMinutes_[a] };
    }

private:
    std::int32_t today_;
    std::int32_t first_;
    std::vector<std::int64_t> runningFlights_;
    std::vector<std::int64_t> runningMinutes_;
};

bool meets(const DayTally& tally, const CurrencyRule& rule)
{
    return tally.flights >= rule.flights && tally.minutes >= rule.minutes;
}

CurrencyStanding judgeRule(const RuleFlights& flights, const CurrencyRule& rule, std::int32_t today)
{
    const RuleSpan span(rule);
    const DayTally now = flights.between(span.firstDay(today), today);
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
    for (std::int32_t day = today; day >= flights.firstDay(); --day) {
        if (!flights.flownOn(day))
            continue;
        const std::int32_t last = span.lastDayCounting(day);
        if (meets(flights.between(span.firstDay(last), std::min(last, today)), rule)) {
            standing.lastDay = dateFromDayNumber(last);
            break;
        }
    }
    return standing;
}

} // namespace

CurrencyFlights::CurrencyFlights(std::vector<CurrencyRule> rules)
    : rules_(std::move(rules))
{
    tallies_.push_back(std::make_unique<DayTallies>());
    for (const CurrencyRule& rule : rules_) {
        if (!rule.instrument.isEmpty() && groupOf(rule.instrument) < 0) {
            named_.push_back(rule.instrument);
            tallies_.push_back(std::make_unique<DayTallies>());
        }
    }
}

CurrencyFlights::~CurrencyFlights() = default;
CurrencyFlights::CurrencyFlights(CurrencyFlights&&) noexcept = default;
CurrencyFlights& CurrencyFlights::operator=(CurrencyFlights&&) noexcept = default;

int CurrencyFlights::groupOf(const QString& instrument) const
{
    const auto found = std::find(named_.begin(), named_.end(), instrument);
    return found == named_.end() ? -1 : static_cast<int>(found - named_.begin()) + 1;
}

void CurrencyFlights::add(std::int32_t day, std::int64_t minutes, int group)
{
    tallies_[0]->add(day, minutes, 1);
    if (group > 0 && static_cast<std::size_t>(group) < tallies_.size())
        tallies_[static_cast<std::size_t>(group)]->add(day, minutes, 1);
}

std::vector<CurrencyStanding> CurrencyFlights::judge(const QDate& today) const
{
    const std::int32_t todayNumber = dayNumberOf(today);
    std::vector<RuleFlights> groups;
    groups.reserve(tallies_.size());
    for (const auto& tallies : tallies_)
        groups.emplace_back(*tallies, todayNumber);
    std::vector<CurrencyStanding> standings;
    standings.reserve(rules_.size());
    for (const CurrencyRule& rule : rules_) {
        const int group = rule.instrument.isEmpty() ? 0 : groupOf(rule.instrument);
        standings.push_back(judgeRule(groups[static_cast<std::size_t>(group)], rule, todayNumber));
    }
    return standings;
}

} // namespace cvlog
