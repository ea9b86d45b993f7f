#pragma once
// Turns the flights of a download into rows of the log table. The download
// reads the device's log backwards, newest first, and holds the new flights
// until it ends as it should (an empty slot, a flight the log already holds,
// or the whole memory read); then they are appended oldest first, in one
// go that stands whole or not at all. A download that breaks off writes
// nothing, and the next link reads its flights again.

#include "link/link_ports.h"
#include "link/link_state.h"

#include <QDate>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace cvlog
{

// One 16-byte log slot as the device stores it, from its take-off day on.
struct FlightRecord {
    static constexpr std::size_t kSize = 14;
    // Day byte of a slot that holds no flight.
    static constexpr std::uint8_t kEmptyDay = 0xFF;

    std::uint8_t day = 0;
    std::uint8_t month = 0;
    std::uint8_t hour = 0;
    std::uint8_t minute = 0;
    std::uint8_t flightMinutes = 0;
    std::uint8_t flightHours = 0;
    std::uint16_t maxSpeed = 0; // miles per hour
    std::uint16_t maxAltitude = 0; // feet
    std::uint8_t hobbsMinutes = 0;
    std::uint8_t hobbsHours = 0; // below 100
    std::uint8_t hobbsHundreds = 0;
    std::uint8_t student = 0;

    // From kSize bytes; multi-byte numbers are little-endian.
    static FlightRecord fromBytes(const std::uint8_t* bytes);
};

// The device keeps no year: a flight is dated in this year unless that
// would put it after today, and then in the year before; a 29 February in
// the last leap year. A day and month that form no date (a garbled slot)
// give today's date, so the flight is still imported.
QDate takeoffDate(const FlightRecord& record, const QDate& today);
// Hour without leading zeros, ":", minutes in two digits; at most 5 characters.
std::string formatTakeoffTime(unsigned hour, unsigned minute);
FlightRow flightRowFor(const FlightRecord& record, const QDate& today, const QString& instrument);
// One flight, not two: the same take-off, flight time, Hobbs time and instrument.
bool sameFlight(const FlightRow& a, const FlightRow& b);

class FlightImport
{
public:
    static constexpr std::size_t kPendingCapacity = 240;

    FlightImport(LinkState& link, FlightStore& store, const LinkHost& host);

    QDate takeoffDate() const;
    // Whether currentRecord is a flight the log or this download already holds.
    bool isDuplicateFlight();
    // Whether this download holds currentRecord's flight already.
    bool isHeldFlight() const;
    // Appends the pending records, the last stored (the oldest) first, all
    // together, and empties the buffer whether or not that succeeds; returns
    // how many were appended.
    std::size_t flushPendingRecords();
    // Puts currentRecord at the end of the pending records; false when full.
    bool storePending();

    FlightRecord currentRecord;
    std::array<FlightRecord, kPendingCapacity> pending {};

private:
    FlightRow rowFor(const FlightRecord& record) const;

    LinkState& link;
    FlightStore& store;
    const LinkHost& host;
};

} // namespace cvlog
