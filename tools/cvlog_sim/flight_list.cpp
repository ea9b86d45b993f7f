#include "tools/cvlog_sim/flight_list.h"

#include <algorithm>
#include <charconv>
#include <random>
#include <sstream>

namespace cvlog::sim
{

namespace
{

// What one 16-byte record slot can carry.
constexpr int kMaxByte = 0xFF;
constexpr int kEmptyDay = 0xFF; // the instrument's mark of an empty slot
constexpr int kMaxWord = 0xFFFF;
constexpr int kMaxFlightMinutes = kMaxByte * 60 + 59;
constexpr int kMaxHobbsMinutes = kMaxByte * 6000 + 99 * 60 + 59;

// Generated flights take off between 06:00 and 20:00.
constexpr int kFirstTakeoff = 6 * 60;
constexpr int kFlyingDayMinutes = 14 * 60;

bool ParseInt(std::string_view text, int& value)
{
    if (text.empty())
        return false;
    const auto* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

bool ParseDate(std::string_view text, SimFlight& flight)
{
    const auto first = text.find('-');
    const auto second = text.find('-', first == std::string_view::npos ? first : first + 1);
    if (first == std::string_view::npos || second == std::string_view::npos)
        return false;
    return ParseInt(text.substr(0, first), flight.year)
        && ParseInt(text.substr(first + 1, second - first - 1), flight.month)
        && ParseInt(text.substr(second + 1), flight.day);
}

bool ParseTime(std::string_view text, SimFlight& flight)
{
    const auto colon = text.find(':');
    if (colon == std::string_view::npos)
        return false;
    return ParseInt(text.substr(0, colon), flight.hour) && ParseInt(text.substr(colon + 1), flight.minute);
}

bool InRange(int value, int high)
{
    return value >= 0 && value <= high;
}

std::string CheckFits(const SimFlight& f)
{
    if (!InRange(f.month, kMaxByte) || !InRange(f.day, kMaxByte) || f.day == kEmptyDay)
        return "date does not fit the record (day 0-254, month 0-255)";
    if (!InRange(f.hour, kMaxByte) || !InRange(f.minute, kMaxByte))
        return "time does not fit the record (0-255 each)";
    if (!InRange(f.flightMinutes, kMaxFlightMinutes))
        return "flight minutes out of range";
    if (!InRange(f.maxAltitudeFeet, kMaxWord) || !InRange(f.maxSpeedMph, kMaxWord))
        return "altitude or speed out of range (0-65535)";
    if (!InRange(f.student, kMaxByte))
        return "student out of range (0-255)";
    if (!InRange(f.hobbsMinutes, kMaxHobbsMinutes))
        return "hobbs minutes out of range";
    return {};
}

std::string_view StripComment(std::string_view line)
{
    const auto hash = line.find('#');
    return hash == std::string_view::npos ? line : line.substr(0, hash);
}

} // namespace

FlightListResult ReadFlightList(std::string_view text)
{
    FlightListResult result;
    int lineNumber = 0;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        auto eol = text.find('\n', pos);
        if (eol == std::string_view::npos)
            eol = text.size();
        const auto line = StripComment(text.substr(pos, eol - pos));
        pos = eol + 1;
        ++lineNumber;

        std::istringstream in { std::string(line) };
        std::vector<std::string> words;
        for (std::string word; in >> word;)
            words.push_back(word);
        if (words.empty())
            continue;

        SimFlight f;
        const bool parsed = words.size() == 7 && ParseDate(words[0], f) && ParseTime(words[1], f)
            && ParseInt(words[2], f.flightMinutes) && ParseInt(words[3], f.maxAltitudeFeet)
            && ParseInt(words[4], f.maxSpeedMph) && ParseInt(words[5], f.student)
            && ParseInt(words[6], f.hobbsMinutes);
        std::string problem
            = parsed ? CheckFits(f) : "expected: YYYY-MM-DD H:MM minutes altitude speed student hobbs";
        if (!problem.empty()) {
            result.flights.clear();
            result.error = "line " + std::to_string(lineNumber) + ": " + problem;
            return result;
        }
        result.flights.push_back(f);
    }
    return result;
}

std::vector<SimFlight> GenerateFlights(int count, std::chrono::year_month_day today, std::uint32_t seed)
{
    using namespace std::chrono;
    std::vector<SimFlight> flights;
    if (count <= 0)
        return flights;

    // From the first day of the month after today's month, one year back: a
    // flight in today's month of last year would be taken for this year's.
    const year_month firstMonth = year_month { today.year(), today.month() } - months { 11 };
    const sys_days firstDay { firstMonth / day { 1 } };
    const sys_days lastDay { today };
    const std::int64_t days = (lastDay - firstDay).count() + 1;
    const std::int64_t perDay = (count + days - 1) / days;
    const int slotWidth = static_cast<int>(kFlyingDayMinutes / perDay);

    std::minstd_rand random(seed == 0 ? 1 : seed);
    auto pick = [&random](int span) { return span <= 0 ? 0 : static_cast<int>(random() % span); };

    // Spread the take-offs evenly back from today, newest first; flights on
    // one day get disjoint time slots, the newer one in the later slot.
    std::int64_t previousBack = -1;
    int sameDay = 0;
    for (int k = 0; k < count; ++k) {
        const std::int64_t back = static_cast<std::int64_t>(k) * days / count;
        sameDay = back == previousBack ? sameDay + 1 : 0;
        previousBack = back;

        const year_month_day date { lastDay - std::chrono::days { back } };
        const int slot = static_cast<int>(perDay) - 1 - sameDay;
        const int takeoff = kFirstTakeoff + slot * slotWidth + pick(slotWidth);
        SimFlight f;
        f.year = static_cast<int>(date.year());
        f.month = static_cast<int>(static_cast<unsigned>(date.month()));
        f.day = static_cast<int>(static_cast<unsigned>(date.day()));
        f.hour = takeoff / 60;
        f.minute = takeoff % 60;
        flights.push_back(f);
    }
    std::reverse(flights.begin(), flights.end());

    int hobbs = 12000 + pick(3000);
    for (auto& f : flights) {
        f.flightMinutes = 20 + pick(160);
        f.maxAltitudeFeet = 1500 + 100 * pick(80);
        f.maxSpeedMph = 55 + pick(90);
        f.student = pick(5) == 0 ? 1 : 0;
        hobbs += f.flightMinutes + 5 + pick(10);
        f.hobbsMinutes = hobbs;
    }
    return flights;
}

} // namespace cvlog::sim
