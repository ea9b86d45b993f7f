#include "link/dbf_flight_store.h"

#include "logstore/conversions.h"
#include "logstore/stored_values.h"

#include <array>
#include <exception>

namespace cvlog
{

namespace
{

// An integer field's value as the row reads it; plain digits are read here.
std::int32_t integerOf(const LoggedFlight& row, LogField field)
{
    if (const auto plain = plainStoredInteger(trimStored(row.raw(field))))
        return *plain;
    return row.integer(field);
}

} // namespace

DbfFlightStore::DbfFlightStore(FlightLog& log)
    : log(log)
{
}

bool DbfFlightStore::findFlight(const FlightRow& flight)
{
    if (!log.isOpen())
        throw DbfError("Cannot perform this operation on a closed dataset");
    const std::array<char, 8> date = storedDateBytes(flight.takeoffDate);
    const std::string_view dateBytes(date.data(), date.size());
    // The instrument as the row would store it: cut to the column.
    const std::string instrument
        = flight.instrument.toLatin1().left(log.field(kInstrument).width).toStdString();
    // Every live row counts, whatever the date filter shows: a flight
    // outside the filter's range is no less in the log.
    const std::uint32_t match = log.findLive([&](const DbfRecord& record) {
        const LoggedFlight row = log.flight(record);
        if (row.raw(kTakeoffDate) != dateBytes || trimStored(row.raw(kTakeoffTime)) != flight.takeoffTime)
            return false;
        if (integerOf(row, kFlightTime) != flight.flightTime || integerOf(row, kHobbs) != flight.hobbs)
            return false;
        const std::string_view stored = trimStored(row.raw(kInstrument));
        return stored.empty() || stored == instrument;
    });
    return match != 0;
}

void DbfFlightStore::appendFlights(const std::vector<FlightRow>& rows)
{
    if (rows.empty())
        return;
    AppendBatch batch(log);
    for (const FlightRow& row : rows)
        appendFlight(row);
    batch.commit();
}

void DbfFlightStore::appendFlight(const FlightRow& row)
{
    log.append();
    try {
        log.setDate(kTakeoffDate, row.takeoffDate);
        log.setText(kTakeoffTime, QString::fromStdString(row.takeoffTime));
        log.setInteger(kFlightTime, row.flightTime);
        log.setInteger(kMaxAltitude, row.maxAltitude);
        log.setInteger(kMaxSpeed, row.maxSpeed);
        log.setInteger(kStudent, row.student);
        log.setInteger(kHobbs, row.hobbs);
        log.setText(kInstrument, row.instrument);
        log.setText(kComment, QString());
        log.post();
    } catch (...) {
        // A row that could not be written is not left half-made in the view.
        log.cancel();
        throw;
    }
}

void DbfFlightStore::suspendDisplay()
{
    log.disableControls();
}

void DbfFlightStore::resumeDisplay()
{
    log.enableControls();
}

} // namespace cvlog
