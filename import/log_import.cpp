#include "import/log_import.h"

#include "logstore/conversions.h"
#include "logstore/cp850.h"
#include "logstore/stored_values.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace cvlog
{

namespace
{

constexpr char kKeyGap = '\x1f';
constexpr std::size_t kDateDigits = 8;

// The table's "yyyymmdd"; empty for no date.
std::string storedDate(const QDate& date)
{
    if (!date.isValid())
        return {};
    const std::array<char, 8> stored = storedDateBytes(date);
    return { stored.data(), stored.size() };
}

std::string storedText(const QString& text)
{
    const std::string bytes = stringToCp850(text);
    return std::string(trimStored(bytes));
}

// Up to eight bytes in a word, the rest zero.
std::uint64_t wordOf(std::string_view bytes)
{
    std::uint64_t word = 0;
    std::memcpy(&word, bytes.data(), bytes.size());
    return word;
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

std::optional<FlightKeys::Packed> FlightKeys::packed(
    std::string_view date, std::string_view time, std::string_view instrument)
{
    constexpr std::size_t kInstrumentBytes = 4;
    if ((!date.empty() && date.size() != kDateDigits) || time.size() > kWordBytes
        || instrument.size() > kInstrumentBytes)
        return std::nullopt;
    std::uint32_t digits = kNoDate;
    if (!date.empty()) {
        if (nonDigitBytes(loadWord(date.data())) != 0)
            return std::nullopt;
        digits = eightDigitsValue(loadWord(date.data()) & everyByte(0x0F));
        if (digits <= kNoDate) // "00000000" and "00000001" are no days, and taken
            return std::nullopt;
    }
    return Packed { wordOf(time), digits, static_cast<std::uint32_t>(wordOf(instrument)) };
}

std::string FlightKeys::joined(std::string_view date, std::string_view time, std::string_view instrument)
{
    std::string key;
    key.reserve(date.size() + time.size() + instrument.size() + 2);
    key.append(date).append(1, kKeyGap).append(time).append(1, kKeyGap).append(instrument);
    return key;
}

std::size_t FlightKeys::slotOf(const Packed& key) const
{
    const auto mix = [](std::uint64_t x) {
        x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
        x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
        return x ^ (x >> 31);
    };
    return static_cast<std::size_t>(mix(key.date ^ mix(key.time ^ mix(key.instrument))))
        & (slots_.size() - 1);
}

void FlightKeys::grow()
{
    std::vector<Packed> old(std::max<std::size_t>(64, slots_.size() * 2));
    old.swap(slots_);
    for (const Packed& key : old) {
        if (key.date == 0)
            continue;
        std::size_t at = slotOf(key);
        while (slots_[at].date != 0)
            at = (at + 1) & (slots_.size() - 1);
        slots_[at] = key;
    }
}

bool FlightKeys::insert(std::string_view date, std::string_view time, std::string_view instrument)
{
    const auto key = packed(date, time, instrument);
    if (!key)
        return others_.insert(joined(date, time, instrument)).second;
    // Half full at most, so that a search ends soon.
    if (2 * (count_ + 1) > slots_.size())
        grow();
    std::size_t at = slotOf(*key);
    for (; slots_[at].date != 0; at = (at + 1) & (slots_.size() - 1)) {
        if (slots_[at] == *key)
            return false;
    }
    slots_[at] = *key;
    ++count_;
    return true;
}

bool FlightKeys::contains(std::string_view date, std::string_view time, std::string_view instrument) const
{
    const auto key = packed(date, time, instrument);
    if (!key)
        return others_.contains(joined(date, time, instrument));
    if (std::binary_search(sorted_.begin(), sorted_.end(), *key))
        return true;
    if (slots_.empty())
        return false;
    for (std::size_t at = slotOf(*key); slots_[at].date != 0; at = (at + 1) & (slots_.size() - 1)) {
        if (slots_[at] == *key)
            return true;
    }
    return false;
}

FlightKeys FlightKeys::ofLog(const FlightLog& log)
{
    FlightKeys keys;
    keys.sorted_.reserve(log.recordCount());
    log.findLive([&](const DbfRecord& record) {
        const LoggedFlight row = log.flight(record);
        const std::string_view date = trimStored(row.raw(kTakeoffDate));
        const std::string_view time = trimStored(row.raw(kTakeoffTime));
        const std::string_view instrument = trimStored(row.raw(kInstrument));
        if (const auto key = packed(date, time, instrument))
            keys.sorted_.push_back(*key);
        else
            keys.others_.insert(joined(date, time, instrument));
        return false;
    });
    std::sort(keys.sorted_.begin(), keys.sorted_.end());
    return keys;
}

bool FlightKeys::insert(const ImportedFlight& flight)
{
    return insert(storedDate(flight.date), storedText(flight.takeoffTime), storedText(flight.instrument));
}

bool FlightKeys::contains(const ImportedFlight& flight) const
{
    return contains(storedDate(flight.date), storedText(flight.takeoffTime), storedText(flight.instrument));
}

ImportPlanner::ImportPlanner(ImportMapping mapping, ImportTarget target, const FlightKeys& logKeys)
    : mapping_(mapping)
    , target_(std::move(target))
    , logKeys_(logKeys)
{
}

void ImportPlanner::add(const CsvRecord& record)
{
    // A spreadsheet writes its empty rows as separators alone: no flight,
    // as an empty line is none.
    if (std::ranges::all_of(record.fields, [](const QString& value) { return value.trimmed().isEmpty(); }))
        return;
    auto converted = convertRecord(record, mapping_, target_);
    if (const QString* reason = std::get_if<QString>(&converted)) {
        plan_.badRows.push_back({ record.line, *reason });
        return;
    }
    ImportedFlight& flight = std::get<ImportedFlight>(converted);
    // Values only in columns that go nowhere: an empty row in the log.
    if (flight == ImportedFlight {}) {
        plan_.badRows.push_back({ record.line, QStringLiteral("The row holds none of the log's fields.") });
        return;
    }
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
