#pragma once
// The flights a simulated instrument holds, as a pilot would list them, and
// the two ways of getting them: a small text file or a generated season.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cvlog::sim
{

// One logged flight. The instrument keeps no year, so `year` only serves to
// order and generate flights; it never reaches the log memory.
struct SimFlight {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int flightMinutes = 0;
    int maxAltitudeFeet = 0;
    int maxSpeedMph = 0;
    int student = 0;
    int hobbsMinutes = 0;

    bool operator==(const SimFlight&) const = default;
};

struct FlightListResult {
    std::vector<SimFlight> flights; // in recording order: oldest first, the last one is the newest
    std::string error; // empty when every line was understood
};

// One flight per line, oldest first:
//   YYYY-MM-DD H:MM flight-minutes max-altitude-ft max-speed-mph student hobbs-minutes
// '#' starts a comment; blank lines are skipped. Values go to the instrument
// as given (no calendar check), so odd dates and times can be played back;
// only what cannot fit its byte in the record slot is refused.
FlightListResult ReadFlightList(std::string_view text);

// `count` flights with distinct take-off dates and times, oldest first, the
// newest on `today`. All of them fall after the end of today's month one year
// back, so that inferring the year from the month gives each flight's true year.
std::vector<SimFlight> GenerateFlights(int count, std::chrono::year_month_day today, std::uint32_t seed);

} // namespace cvlog::sim
