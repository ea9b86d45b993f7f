#include "tools/cvlog_sim/flight_list.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>

namespace cvlog::sim
{
namespace
{

using namespace std::chrono;

TEST(FlightListTest, ReadsFlightsInFileOrder)
{
    const auto result = ReadFlightList("# my season\n"
                                       "2026-03-05 09:05 90 3500 110 0 18725\n"
                                       "\n"
                                       "  2025-12-20 14:30  45 1200 80 2 18800   # with a student\n"
                                       "2026-02-30 123:45 0 0 0 0 0");
    ASSERT_EQ(result.error, "");
    ASSERT_EQ(result.flights.size(), 3u);
    EXPECT_EQ(result.flights[0], (SimFlight { 2026, 3, 5, 9, 5, 90, 3500, 110, 0, 18725 }));
    EXPECT_EQ(result.flights[1], (SimFlight { 2025, 12, 20, 14, 30, 45, 1200, 80, 2, 18800 }));
    // Impossible dates and times are played back as given.
    EXPECT_EQ(result.flights[2], (SimFlight { 2026, 2, 30, 123, 45, 0, 0, 0, 0, 0 }));
}

TEST(FlightListTest, RefusesWhatASlotCannotHold)
{
    const std::pair<const char*, const char*> cases[] = {
        { "2026-03-05 09:05 90 3500 110 0", "line 1: expected" },
        { "\n2026/03/05 09:05 90 3500 110 0 1", "line 2: expected" },
        { "2026-03-05 0905 90 3500 110 0 1", "line 1: expected" },
        { "2026-03-255 09:05 90 3500 110 0 1", "line 1: date" }, // 0xFF marks an empty slot
        { "2026-03-05 09:05 90 65536 110 0 1", "line 1: altitude" },
        { "2026-03-05 09:05 15360 3500 110 0 1", "line 1: flight minutes" },
        { "2026-03-05 09:05 90 3500 110 256 1", "line 1: student" },
        { "2026-03-05 09:05 90 3500 110 0 1536000", "line 1: hobbs" },
        { "2026-03-05 09:05 -1 3500 110 0 1", "line 1: flight minutes" },
        { "2026-03-05 09:05 9x 3500 110 0 1", "line 1: expected" },
    };
    for (const auto& [text, error] : cases) {
        const auto result = ReadFlightList(text);
        EXPECT_TRUE(result.error.starts_with(error)) << text << " -> " << result.error;
        EXPECT_TRUE(result.flights.empty()) << text;
    }
}

// The program's year inference: a month after today's month is last year's.
int InferredYear(const SimFlight& f, year_month_day today)
{
    const int year = static_cast<int>(today.year());
    return f.month > static_cast<int>(static_cast<unsigned>(today.month())) ? year - 1 : year;
}

TEST(FlightListTest, GeneratedFlightsAreDistinctOrderedAndYearSafe)
{
    const year_month_day todays[]
        = { 2026y / March / 15, 2026y / January / 1, 2024y / February / 29, 2025y / December / 31 };
    const int counts[] = { 1, 2, 40, 400, 5000 };
    for (const auto today : todays) {
        for (const int count : counts) {
            const auto flights = GenerateFlights(count, today, 7);
            ASSERT_EQ(flights.size(), static_cast<std::size_t>(count));
            const auto& newest = flights.back();
            EXPECT_EQ(year_month_day(year(newest.year), month(newest.month), day(newest.day)), today);

            std::set<std::tuple<int, int, int, int>> seen;
            std::tuple<int, int, int, int, int> previous {};
            for (const auto& f : flights) {
                EXPECT_TRUE(seen.emplace(f.month, f.day, f.hour, f.minute).second) << "repeated take-off";
                const auto when = std::make_tuple(f.year, f.month, f.day, f.hour, f.minute);
                EXPECT_LT(previous, when) << "not oldest first";
                previous = when;
                EXPECT_TRUE(year_month_day(year(f.year), month(f.month), day(f.day)).ok());
                EXPECT_EQ(InferredYear(f, today), f.year) << f.year << "-" << f.month << "-" << f.day;
                EXPECT_LT(f.hour, 24);
                EXPECT_GT(f.flightMinutes, 0);
            }
            for (std::size_t i = 1; i < flights.size(); ++i)
                EXPECT_GT(flights[i].hobbsMinutes, flights[i - 1].hobbsMinutes);
        }
    }
    EXPECT_TRUE(GenerateFlights(0, 2026y / March / 15, 1).empty());
}

} // namespace
} // namespace cvlog::sim
