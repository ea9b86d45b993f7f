#pragma once
// Turns each flight of a download into one row of the log table, unless the
// table already holds a flight with its take-off date and time: the first
// known flight ends the download, which reads the device's log backwards.

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

// The device keeps no year: a month after today's is last year's. A day and
// month that form no date in that year (29 February, a garbled slot) give
// today's date, so the flight is still imported.
QDate TakeoffDate(const FlightRecord& record, const QDate& today);
// Hour without leading zeros, ":", minutes in two digits; at most 5 characters.
std::string FormatTakeoffTime(unsigned hour, unsigned minute);
FlightRow FlightRowFor(const FlightRecord& record, const QDate& today, const QString& instrument);

class FlightImport
{
public:
    static constexpr std::size_t kPendingCapacity = 240;

    FlightImport(LinkState& link, FlightStore& store, const LinkHost& host);

    QDate TakeoffDate() const;
    bool IsDuplicateFlight();
    void InsertFlightRecord();
    // Inserts the pending records, the last stored first. A failing row is
    // thrown on with the records not yet written dropped.
    void FlushPendingRecords();
    // Puts currentRecord at the end of the pending records; false when full.
    bool StorePending();

    FlightRecord currentRecord;
    std::array<FlightRecord, kPendingCapacity> pending {};

private:
    LinkState& link;
    FlightStore& store;
    const LinkHost& host;
};

} // namespace cvlog
