#include "import/log_import.h"

#include "logstore/cp850.h"
#include "logstore/stored_values.h"

#include <cstdio>

namespace cvlog
{

namespace
{

constexpr char kKeyGap = '\x1f';

std::string storedDate(const QDate& date)
{
    if (!date.isValid())
        return {};
    char text[16];
    std::snprintf(text, sizeof text, "%04d%02d%02d", date.year(), date.month(), date.day());
    return text;
}

std::string storedText(const QString& text)
{
    const std::string bytes = stringToCp850(text);
    return std::string(trimStored(bytes));
}

void setNumber(FlightLog& log, LogField field, const std::optional<std::int32_t>& value)
{
    if (value)
        log.setInteger(field, *value);
    else
        log.clear(field);
}

void appendFlight(FlightLog& log, const ImportedFlight& flight)
{
    log.append();
    try {
        log.setDate(kTakeoffDate, flight.date);
        log.setText(kTakeoffTime, flight.takeoffTime);
        setNumber(log, kFlightTime, flight.flightTime);
        setNumber(log, kMaxAltitude, flight.maxAltitude);
        setNumber(log, kMaxSpeed, flight.maxSpeed);
        setNumber(log, kStudent, flight.student);
        setNumber(log, kHobbs, flight.hobbs);
        log.setText(kInstrument, flight.instrument);
        log.setText(kComment, flight.comment);
        log.post();
    } catch (...) {
        // A row that could not be written is not left half-made in the view.
        log.cancel();
        throw;
    }
}

} // namespace

std::string FlightKeys::keyOf(std::string_view date, std::string_view time, std::string_view instrument)
{
    std::string key;
    key.reserve(date.size() + time.size() + instrument.size() + 2);
    key.append(date).append(1, kKeyGap).append(time).append(1, kKeyGap).append(instrument);
    return key;
}

std::string FlightKeys::keyOf(const ImportedFlight& flight)
{
    return keyOf(storedDate(flight.date), storedText(flight.takeoffTime), storedText(flight.instrument));
}

FlightKeys FlightKeys::ofLog(const FlightLog& log)
{
    FlightKeys keys;
    keys.keys_.reserve(log.recordCount());
    log.findLive([&](const DbfRecord& record) {
        const LoggedFlight row = log.flight(record);
        keys.keys_.insert(keyOf(trimStored(row.raw(kTakeoffDate)), trimStored(row.raw(kTakeoffTime)),
            trimStored(row.raw(kInstrument))));
        return false;
    });
    return keys;
}

bool FlightKeys::insert(const ImportedFlight& flight)
{
    return keys_.insert(keyOf(flight)).second;
}

bool FlightKeys::contains(const ImportedFlight& flight) const
{
    return keys_.contains(keyOf(flight));
}

ImportPlanner::ImportPlanner(ImportMapping mapping, ImportTarget target, const FlightKeys& logKeys)
    : mapping_(mapping)
    , target_(std::move(target))
    , logKeys_(logKeys)
{
}

void ImportPlanner::add(const CsvRecord& record)
{
    auto converted = convertRecord(record, mapping_, target_);
    if (const QString* reason = std::get_if<QString>(&converted)) {
        plan_.badRows.push_back({ record.line, *reason });
        return;
    }
    ImportedFlight& flight = std::get<ImportedFlight>(converted);
    if (logKeys_.contains(flight)) {
        ++plan_.alreadyInLog;
        return;
    }
    if (!fileKeys_.insert(flight)) {
        ++plan_.twiceInFile;
        return;
    }
    plan_.flights.push_back(std::move(flight));
    plan_.lines.push_back(record.line);
}

ImportPlan planImport(
    const std::vector<CsvRecord>& rows, const ImportMapping& mapping, const FlightLog& log, int referenceYear)
{
    const FlightKeys keys = FlightKeys::ofLog(log);
    ImportPlanner planner(mapping, importTargetFor(log, referenceYear), keys);
    for (const CsvRecord& row : rows)
        planner.add(row);
    return planner.takePlan();
}

std::vector<std::uint32_t> appendFlights(FlightLog& log, const std::vector<ImportedFlight>& flights)
{
    std::vector<std::uint32_t> appended;
    if (flights.empty())
        return appended;
    appended.reserve(flights.size());
    const auto suspended = displaySuspended(log);
    AppendBatch batch(log);
    for (const ImportedFlight& flight : flights) {
        appendFlight(log, flight);
        appended.push_back(log.recordCount());
    }
    batch.commit();
    return appended;
}

QString importSummary(int imported, int alreadyThere, int unreadable)
{
    return QStringLiteral("Imported %1 flights; %2 already in the log; %3 rows could not be read.")
        .arg(imported)
        .arg(alreadyThere)
        .arg(unreadable);
}

} // namespace cvlog
