#include "link/flight_import.h"

#include "logstore/scope_exit.h"

#include <algorithm>
#include <vector>

namespace cvlog
{

namespace
{

constexpr int kMinutesPerHour = 60;
constexpr int kMinutesPerHundredHours = 100 * kMinutesPerHour;
constexpr std::size_t kTimeTextWidth = 5;
// Enough years back to meet a 29 February, 2100 and its like included.
constexpr int kYearsToALeapDay = 9;

// Keeps the grid still while the import walks or adds rows, also when the
// table throws.
[[nodiscard]] auto displaySuspended(FlightStore& store)
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

QDate takeoffDate(const FlightRecord& record, const QDate& today)
{
    // The latest such day not after today. A 29 February goes back to the
    // last leap year: dated today instead, the same flight would be a new
    // one on each later day's download.
    for (int year = today.year(); year > today.year() - kYearsToALeapDay; --year) {
        const QDate date(year, record.month, record.day);
        if (date.isValid() && date <= today)
            return date;
    }
    return today;
}

std::string formatTakeoffTime(unsigned hour, unsigned minute)
{
    std::string text = std::to_string(hour) + ':';
    if (minute < 10)
        text += '0';
    text += std::to_string(minute);
    if (text.size() > kTimeTextWidth)
        text.resize(kTimeTextWidth);
    return text;
}

bool sameFlight(const FlightRow& a, const FlightRow& b)
{
    return a.takeoffDate == b.takeoffDate && a.takeoffTime == b.takeoffTime && a.flightTime == b.flightTime
        && a.hobbs == b.hobbs && a.instrument == b.instrument;
}

FlightRow flightRowFor(const FlightRecord& r, const QDate& today, const QString& instrument)
{
    FlightRow row;
    row.takeoffDate = takeoffDate(r, today);
    row.takeoffTime = formatTakeoffTime(r.hour, r.minute);
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

QDate FlightImport::takeoffDate() const
{
    return cvlog::takeoffDate(currentRecord, host.today());
}

FlightRow FlightImport::rowFor(const FlightRecord& record) const
{
    const std::string_view serial = link.instrumentSerial.view();
    return flightRowFor(
        record, host.today(), QString::fromLatin1(serial.data(), static_cast<qsizetype>(serial.size())));
}

bool FlightImport::isHeldFlight() const
{
    const FlightRow flight = rowFor(currentRecord);
    const std::size_t held = std::min<std::size_t>(link.pendingCount, kPendingCapacity);
    for (std::size_t i = 0; i < held; ++i) {
        if (sameFlight(rowFor(pending[i]), flight))
            return true;
    }
    return false;
}

bool FlightImport::isDuplicateFlight()
{
    // Two slots of one memory holding the same flight bring it once.
    if (isHeldFlight())
        return true;
    const auto suspended = displaySuspended(store);
    return store.findFlight(rowFor(currentRecord));
}

std::size_t FlightImport::flushPendingRecords()
{
    const std::size_t held = std::min<std::size_t>(link.pendingCount, kPendingCapacity);
    // Emptied first: a failed append writes none of them, and the next link
    // reads them again.
    link.pendingCount = 0;
    if (held == 0)
        return 0;
    std::vector<FlightRow> rows;
    rows.reserve(held);
    for (std::size_t i = held; i-- > 0;)
        rows.push_back(rowFor(pending[i]));
    currentRecord = pending[0];
    const auto suspended = displaySuspended(store);
    store.appendFlights(rows);
    return held;
}

bool FlightImport::storePending()
{
    if (link.pendingCount >= kPendingCapacity)
        return false;
    pending[link.pendingCount] = currentRecord;
    ++link.pendingCount;
    return true;
}

} // namespace cvlog
