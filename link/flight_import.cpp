#include "link/flight_import.h"

#include "logstore/scope_exit.h"

namespace cvlog
{

namespace
{

constexpr int kMinutesPerHour = 60;
constexpr int kMinutesPerHundredHours = 100 * kMinutesPerHour;
constexpr std::size_t kTimeTextWidth = 5;

// Keeps the grid still while the import walks or adds rows, also when the
// table throws.
[[nodiscard]] auto SuspendDisplay(FlightStore& store)
{
    store.suspendDisplay();
    return ScopeExit([&store] { store.resumeDisplay(); });
}

} // namespace

FlightRecord FlightRecord::fromBytes(const std::uint8_t* b)
{
    FlightRecord r;
    r.day = b[0];
    r.month = b[1];
    r.hour = b[2];
    r.minute = b[3];
    r.flightMinutes = b[4];
    r.flightHours = b[5];
    r.maxSpeed = static_cast<std::uint16_t>(b[6] | b[7] << 8);
    r.maxAltitude = static_cast<std::uint16_t>(b[8] | b[9] << 8);
    r.hobbsMinutes = b[10];
    r.hobbsHours = b[11];
    r.hobbsHundreds = b[12];
    r.student = b[13];
    return r;
}

QDate TakeoffDate(const FlightRecord& record, const QDate& today)
{
    const int year = record.month > today.month() ? today.year() - 1 : today.year();
    const QDate date(year, record.month, record.day);
    return date.isValid() ? date : today;
}

std::string FormatTakeoffTime(unsigned hour, unsigned minute)
{
    std::string text = std::to_string(hour) + ':';
    if (minute < 10)
        text += '0';
    text += std::to_string(minute);
    if (text.size() > kTimeTextWidth)
        text.resize(kTimeTextWidth);
    return text;
}

FlightRow FlightRowFor(const FlightRecord& r, const QDate& today, const QString& instrument)
{
    FlightRow row;
    row.takeoffDate = TakeoffDate(r, today);
    row.takeoffTime = FormatTakeoffTime(r.hour, r.minute);
    row.flightTime = r.flightHours * kMinutesPerHour + r.flightMinutes;
    row.maxAltitude = r.maxAltitude;
    row.maxSpeed = r.maxSpeed;
    row.student = r.student;
    row.hobbs = r.hobbsHundreds * kMinutesPerHundredHours + r.hobbsHours * kMinutesPerHour + r.hobbsMinutes;
    row.instrument = instrument;
    return row;
}

FlightImport::FlightImport(LinkState& link, FlightStore& store, const LinkHost& host)
    : link(link)
    , store(store)
    , host(host)
{
}

QDate FlightImport::TakeoffDate() const
{
    return cvlog::TakeoffDate(currentRecord, host.today());
}

bool FlightImport::IsDuplicateFlight()
{
    const QDate date = TakeoffDate();
    const std::string time = FormatTakeoffTime(currentRecord.hour, currentRecord.minute);
    const auto suspended = SuspendDisplay(store);
    return store.findFlight(date, time);
}

void FlightImport::InsertFlightRecord()
{
    const std::string_view serial = link.instrumentSerial.view();
    const QString instrument = QString::fromLatin1(serial.data(), static_cast<qsizetype>(serial.size()));
    store.appendFlight(FlightRowFor(currentRecord, host.today(), instrument));
}

void FlightImport::FlushPendingRecords()
{
    const auto suspended = SuspendDisplay(store);
    if (link.pendingCount > kPendingCapacity)
        link.pendingCount = 0; // nothing this import stored
    while (link.pendingCount > 0) {
        --link.pendingCount;
        currentRecord = pending[link.pendingCount];
        InsertFlightRecord();
    }
}

bool FlightImport::StorePending()
{
    if (link.pendingCount >= kPendingCapacity)
        return false;
    pending[link.pendingCount] = currentRecord;
    ++link.pendingCount;
    return true;
}

} // namespace cvlog
