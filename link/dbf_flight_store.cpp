#include "link/dbf_flight_store.h"

#include "logstore/stored_values.h"

#include <array>
#include <exception>

namespace cvlog
{

namespace
{

// A date as the table stores it, "yyyymmdd": the search compares the bytes
// of every row without decoding them.
std::array<char, 8> StoredDateBytes(const QDate& date)
{
    std::array<char, 8> stored {};
    auto put = [&](std::size_t end, int value, int digits) {
        for (int i = 0; i < digits; ++i, value /= 10)
            stored[end - static_cast<std::size_t>(i)] = static_cast<char>('0' + value % 10);
    };
    put(3, date.year(), 4);
    put(5, date.month(), 2);
    put(7, date.day(), 2);
    return stored;
}

// An integer field's value as the row reads it; plain digits are read here.
std::int32_t IntegerOf(const DbfRecord& row, int field)
{
    if (const auto plain = PlainStoredInteger(TrimStored(row.raw(field))))
        return *plain;
    return row.integer(field);
}

int LogFieldIndex(const DbfTable& table, LogField field)
{
    static const std::vector<QString> names = logTableFieldNames();
    return table.fieldIndexOrThrow(names[static_cast<std::size_t>(field)]);
}

} // namespace

DbfFlightStore::DbfFlightStore(DbfTable& table)
    : table(table)
{
}

bool DbfFlightStore::findFlight(const FlightRow& flight)
{
    if (!table.isOpen())
        throw DbfError("Cannot perform this operation on a closed dataset");
    const int dateField = LogFieldIndex(table, kTakeoffDate);
    const int timeField = LogFieldIndex(table, kTakeoffTime);
    const int flightTimeField = LogFieldIndex(table, kFlightTime);
    const int hobbsField = LogFieldIndex(table, kHobbs);
    const int instrumentField = LogFieldIndex(table, kInstrument);
    const std::array<char, 8> date = StoredDateBytes(flight.takeoffDate);
    const std::string_view dateBytes(date.data(), date.size());
    // The instrument as the row would store it: cut to the column.
    const std::string instrument
        = flight.instrument.toLatin1().left(table.field(instrumentField).width).toStdString();
    // Every live row counts, whatever the date filter shows: a flight
    // outside the filter's range is no less in the log.
    const std::uint32_t match = table.findLive([&](const DbfRecord& row) {
        if (row.raw(dateField) != dateBytes || TrimStored(row.raw(timeField)) != flight.takeoffTime)
            return false;
        if (IntegerOf(row, flightTimeField) != flight.flightTime
            || IntegerOf(row, hobbsField) != flight.hobbs)
            return false;
        const std::string_view stored = TrimStored(row.raw(instrumentField));
        return stored.empty() || stored == instrument;
    });
    return match != 0;
}

void DbfFlightStore::appendFlights(const std::vector<FlightRow>& rows)
{
    if (rows.empty())
        return;
    AppendBatch batch(table);
    for (const FlightRow& row : rows)
        appendFlight(row);
    batch.commit();
}

void DbfFlightStore::appendFlight(const FlightRow& row)
{
    table.append();
    try {
        table.setDate(LogFieldIndex(table, kTakeoffDate), row.takeoffDate);
        table.setText(LogFieldIndex(table, kTakeoffTime), QString::fromStdString(row.takeoffTime));
        table.setInteger(LogFieldIndex(table, kFlightTime), row.flightTime);
        table.setInteger(LogFieldIndex(table, kMaxAltitude), row.maxAltitude);
        table.setInteger(LogFieldIndex(table, kMaxSpeed), row.maxSpeed);
        table.setInteger(LogFieldIndex(table, kStudent), row.student);
        table.setInteger(LogFieldIndex(table, kHobbs), row.hobbs);
        table.setText(LogFieldIndex(table, kInstrument), row.instrument);
        table.setText(LogFieldIndex(table, kComment), QString());
        table.post();
    } catch (...) {
        // A row that could not be written is not left half-made in the view.
        table.cancel();
        throw;
    }
}

void DbfFlightStore::suspendDisplay()
{
    table.disableControls();
}

void DbfFlightStore::resumeDisplay()
{
    table.enableControls();
}

} // namespace cvlog
