#include "logstore/flight_statistics.h"

#include "logstore/conversions.h"
#include "logstore/stored_values.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace cvlog
{

namespace
{

constexpr int kRecentDays = 90;

// A stored date has four digits of year, so every month it can name has a
// slot of its own; a flat table is cheaper than any map at a million rows.
constexpr int kLastYear = 9999;
constexpr std::size_t kMonthSlots = std::size_t { kLastYear } * 12;

constexpr std::int32_t kNoDay = std::numeric_limits<std::int32_t>::max();

std::size_t monthSlot(int year, int month)
{
    return static_cast<std::size_t>((year - 1) * 12 + month - 1);
}

// Integer fields hold right-aligned digits; anything else (a sign, stars,
// digits padded on the right, a null) is left to the record to read.
std::int32_t integerOf(const LoggedFlight& row, LogField field)
{
    if (const auto plain = plainStoredInteger(trimStored(row.raw(field))))
        return *plain;
    return row.integer(field);
}

struct TakeoffDay {
    std::int32_t number = 0; // 0 also when there is no date
    bool dated = false;
    std::size_t monthSlot = 0;
};

// Flights come mostly in date order, so a row mostly falls in the month of
// the row before it: its day is then that month's first day plus the day's
// digits, and only a new month is read by the record.
class TakeoffDays
{
public:
    TakeoffDay read(const LoggedFlight& row)
    {
        const std::string_view s = row.raw(kTakeoffDate);
        if (s.size() == kDigits && s.substr(0, kMonthDigits) == month_) {
            const int tens = s[kMonthDigits] - '0';
            const int ones = s[kMonthDigits + 1] - '0';
            const int day = tens * 10 + ones;
            if (tens >= 0 && tens <= 9 && ones >= 0 && ones <= 9 && day >= 1 && day <= daysInMonth_)
                return { firstDay_ + day - 1, true, slot_ };
        }
        const std::int32_t number = row.dayNumber(kTakeoffDate);
        // Day 0 is also what a row without a date reads as.
        if (number == 0 && !row.date(kTakeoffDate).isValid())
            return {};
        const QDate date = dateFromDayNumber(number);
        const std::size_t slot = monthSlot(date.year(), date.month());
        if (s.size() == kDigits) {
            month_.assign(s.substr(0, kMonthDigits));
            firstDay_ = number - date.day() + 1;
            daysInMonth_ = date.daysInMonth();
            slot_ = slot;
        }
        return { number, true, slot };
    }

private:
    static constexpr std::size_t kDigits = 8; // "yyyymmdd"
    static constexpr std::size_t kMonthDigits = 6;

    std::string month_; // "yyyymm" of the last month read
    std::int32_t firstDay_ = 0;
    int daysInMonth_ = 0;
    std::size_t slot_ = 0;
};

void count(FlightTally& tally, std::int32_t minutes)
{
    ++tally.flights;
    tally.minutes += minutes;
}

void merge(FlightTally& tally, const FlightTally& more)
{
    tally.flights += more.flights;
    tally.minutes += more.minutes;
}

// Half a minute and more rounds away from zero.
std::int64_t roundedQuotient(std::int64_t total, std::int64_t count)
{
    if (count == 0)
        return 0;
    const std::int64_t quotient = total / count;
    const std::int64_t rest = total % count;
    if (2 * (rest < 0 ? -rest : rest) >= count)
        return quotient + (total < 0 ? -1 : 1);
    return quotient;
}

struct KeyHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view key) const { return std::hash<std::string_view> {}(key); }
};

struct Instrument {
    QString name;
    FlightTally tally;
};

// What one pass over the rows gathers; add() sees every live row.
class Gathering
{
public:
    explicit Gathering(const StatisticsParameters& parameters)
        : months_(kMonthSlots)
    {
        result_.today = parameters.today;
        result_.period = parameters.period;
        result_.currencyRules = parameters.currencyRules;
        result_.openingTotals = parameters.openingTotals;
        if (!parameters.currencyRules.empty() && parameters.today.isValid()) {
            currency_.emplace(parameters.currencyRules);
            namesInstruments_ = std::any_of(parameters.currencyRules.begin(), parameters.currencyRules.end(),
                [](const CurrencyRule& rule) { return !rule.instrument.isEmpty(); });
        }
        if (parameters.today.isValid()) {
            todayDay_ = dayNumberOf(parameters.today);
            recentDaysFrom_ = todayDay_ - (kRecentDays - 1);
            twelveMonthsBefore_ = dayNumberOf(parameters.today.addMonths(-12));
            twentyFourMonthsBefore_ = dayNumberOf(parameters.today.addMonths(-24));
        }
    }

    // Everything read here is inlined: a look at a row stays in registers.
    [[gnu::flatten]] void add(const LoggedFlight& row)
    {
        const auto [day, dated, slot] = days_.read(row);
        const std::int32_t minutes = integerOf(row, kFlightTime);

        if (dated && day <= todayDay_) {
            if (currency_)
                currency_->add(day, minutes, currencyGroup(row));
            if (day >= recentDaysFrom_)
                count(result_.recent.last90Days, minutes);
            if (day > twelveMonthsBefore_)
                count(result_.recent.last12Months, minutes);
            if (day > twentyFourMonthsBefore_)
                count(result_.recent.last24Months, minutes);
        }

        if (result_.period && !result_.period->contains(day))
            return;
        StatisticsSummary& s = result_.summary;
        ++s.flights;
        s.totalMinutes += minutes;
        longest_ = std::max(longest_, minutes);
        highestFeet_ = std::max(highestFeet_, integerOf(row, kMaxAltitude));
        highestMph_ = std::max(highestMph_, integerOf(row, kMaxSpeed));
        if (dated) {
            firstDay_ = std::min(firstDay_, day);
            lastDay_ = std::max(lastDay_, day);
            count(months_[slot], minutes);
        } else {
            ++s.undatedFlights;
        }
        count(instrument(row).tally, minutes);
        if (const std::int32_t student = integerOf(row, kStudent); student >= 0 && student < kStudentSlots)
            count(studentSlots_[static_cast<std::size_t>(student)], minutes);
        else
            count(otherStudents_[student], minutes);
    }

    FlightStatistics finish()
    {
        StatisticsSummary& s = result_.summary;
        if (s.flights > 0) {
            s.averageMinutes = roundedQuotient(s.totalMinutes, s.flights);
            s.longestMinutes = longest_;
            s.highestFeet = highestFeet_;
            s.highestMph = highestMph_;
        }
        if (firstDay_ <= lastDay_) {
            s.firstDate = dateFromDayNumber(firstDay_);
            s.lastDate = dateFromDayNumber(lastDay_);
            finishMonthsAndYears();
        }
        finishInstruments();
        finishStudents();
        if (currency_)
            result_.currency = currency_->judge(result_.today);
        return std::move(result_);
    }

private:
    // The currency rules name instruments as the grid shows them; field
    // values that differ only in their padding are one instrument.
    int currencyGroup(const LoggedFlight& row)
    {
        if (!namesInstruments_)
            return -1;
        const std::string_view key = row.raw(kInstrument);
        if (!lastCurrencyKey_.empty() && key == lastCurrencyKey_)
            return lastCurrencyGroup_;
        auto it = currencyGroups_.find(key);
        if (it == currencyGroups_.end())
            it = currencyGroups_.emplace(std::string(key), currency_->groupOf(row.text(kInstrument))).first;
        lastCurrencyKey_ = it->first;
        lastCurrencyGroup_ = it->second;
        return lastCurrencyGroup_;
    }

    // Rows of one instrument mostly come in runs, and the few distinct
    // field values are each turned into text once.
    Instrument& instrument(const LoggedFlight& row)
    {
        const std::string_view key = row.raw(kInstrument);
        if (lastInstrument_ != nullptr && key == lastKey_)
            return *lastInstrument_;
        auto it = instruments_.find(key);
        if (it == instruments_.end())
            it = instruments_.emplace(std::string(key), Instrument { row.text(kInstrument), {} }).first;
        lastKey_ = it->first;
        lastInstrument_ = &it->second;
        return *lastInstrument_;
    }

    void finishMonthsAndYears()
    {
        const QDate first = result_.summary.firstDate;
        const QDate last = result_.summary.lastDate;
        const std::size_t from = monthSlot(first.year(), first.month());
        const std::size_t to = monthSlot(last.year(), last.month());
        for (std::size_t slot = from; slot <= to; ++slot) {
            const int year = static_cast<int>(slot / 12) + 1;
            const FlightTally& tally = months_[slot];
            result_.months.push_back({ year, static_cast<int>(slot % 12) + 1, tally });
            if (tally.flights == 0)
                continue;
            if (result_.years.empty() || result_.years.back().year != year)
                result_.years.push_back({ year, {} });
            merge(result_.years.back().tally, tally);
        }
        std::reverse(result_.years.begin(), result_.years.end());
    }

    void finishStudents()
    {
        for (std::int32_t student = 0; student < kStudentSlots; ++student) {
            if (const FlightTally& tally = studentSlots_[static_cast<std::size_t>(student)];
                tally.flights > 0)
                otherStudents_.emplace(student, tally);
        }
        if (otherStudents_.empty() || (otherStudents_.size() == 1 && otherStudents_.begin()->first == 0))
            return;
        for (const auto& [student, tally] : otherStudents_)
            result_.students.push_back({ student, tally });
    }

    void finishInstruments()
    {
        // Field values that differ only in their padding are one instrument.
        std::map<QString, FlightTally> byName;
        for (const auto& [key, instrument] : instruments_)
            merge(byName[instrument.name], instrument.tally);
        for (const auto& [name, tally] : byName)
            result_.instruments.push_back({ name, tally });
        std::stable_sort(result_.instruments.begin(), result_.instruments.end(),
            [](const InstrumentTally& a, const InstrumentTally& b) {
                return a.tally.minutes > b.tally.minutes;
            });
    }

    TakeoffDays days_;

    // Without a today nothing is recent.
    std::int32_t todayDay_ = std::numeric_limits<std::int32_t>::min();
    std::int32_t recentDaysFrom_ = kNoDay;
    std::int32_t twelveMonthsBefore_ = kNoDay;
    std::int32_t twentyFourMonthsBefore_ = kNoDay;

    std::int32_t longest_ = std::numeric_limits<std::int32_t>::min();
    std::int32_t highestFeet_ = std::numeric_limits<std::int32_t>::min();
    std::int32_t highestMph_ = std::numeric_limits<std::int32_t>::min();
    std::int32_t firstDay_ = std::numeric_limits<std::int32_t>::max();
    std::int32_t lastDay_ = std::numeric_limits<std::int32_t>::min();

    std::vector<FlightTally> months_;
    std::unordered_map<std::string, Instrument, KeyHash, std::equal_to<>> instruments_;
    std::string_view lastKey_;
    Instrument* lastInstrument_ = nullptr;

    // Student values are small numbers: a flat table for those, a map
    // for the odd one typed outside it.
    static constexpr std::int32_t kStudentSlots = 1000;
    std::vector<FlightTally> studentSlots_ = std::vector<FlightTally>(kStudentSlots);
    std::map<std::int32_t, FlightTally> otherStudents_;

    std::optional<CurrencyFlights> currency_;
    bool namesInstruments_ = false;
    std::unordered_map<std::string, int, KeyHash, std::equal_to<>> currencyGroups_;
    std::string_view lastCurrencyKey_;
    int lastCurrencyGroup_ = -1;

    FlightStatistics result_;
};

} // namespace

bool isSoundOpening(const OpeningTotals& totals)
{
    return totals.flights >= 0 && totals.flights <= kMostOpeningFlights && totals.minutes >= 0
        && totals.minutes <= kMostOpeningMinutes && totals.hobbsMinutes >= 0
        && totals.hobbsMinutes <= kMostOpeningMinutes && totals.date.isValid();
}

FlightStatistics computeFlightStatistics(const FlightLog& log, const StatisticsParameters& parameters)
{
    if (!log.isOpen())
        throw DbfError("Cannot perform this operation on a closed dataset");
    Gathering gathering(parameters);
    // findLive hands every live row to its predicate in file order, reading
    // the file in large blocks; a predicate that never accepts makes it the
    // one pass over the whole log.
    log.findLive([&gathering, &log](const DbfRecord& row) {
        gathering.add(log.flight(row));
        return false;
    });
    return gathering.finish();
}

} // namespace cvlog
