// Any bytes as a file to import: decoded, split, their columns guessed, each
// row turned into stored values under a mapping the input chooses, weighed
// against a log that holds some of them, and the good rows appended. Every
// flight that is taken must fit the log's fields, and must read back from
// the table as it was converted; no row is taken twice.
#include "import/import_mapping.h"
#include "import/import_text.h"
#include "import/log_import.h"
#include "logstore/flight_log.h"

#include "scratch_directory.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QByteArray>
#include <QLocale>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <variant>
#include <vector>

namespace
{

using namespace cvlog;

constexpr std::size_t kMostAppended = 30;

const std::filesystem::path& scratchDirectory()
{
    static const fuzz::ScratchDirectory dir("fuzz_import");
    return dir.path();
}

void check(bool holds)
{
    if (!holds)
        std::abort();
}

// What the table gives back for a converted flight must be that flight.
void checkStored(const FlightLog& log, std::uint32_t recordNumber, const ImportedFlight& flight)
{
    const LoggedFlight row = log.flight(recordNumber);
    check(row.date(kTakeoffDate) == flight.date || (!flight.date.isValid() && row.isNull(kTakeoffDate)));
    check(row.text(kTakeoffTime) == flight.takeoffTime.trimmed());
    check(row.text(kInstrument) == flight.instrument.trimmed());
    check(row.text(kComment) == flight.comment.trimmed());
    const auto number = [&](LogField field, const std::optional<std::int32_t>& value) {
        check(value ? !row.isNull(field) && row.integer(field) == *value : row.isNull(field));
    };
    number(kFlightTime, flight.flightTime);
    number(kMaxAltitude, flight.maxAltitude);
    number(kMaxSpeed, flight.maxSpeed);
    number(kStudent, flight.student);
    number(kHobbs, flight.hobbs);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const auto order = in.ConsumeIntegralInRange<int>(0, 3);
    const auto flightKind = in.ConsumeIntegralInRange<int>(0, 3);
    const auto hobbsKind = in.ConsumeIntegralInRange<int>(0, 3);
    const auto units = in.ConsumeIntegralInRange<int>(0, 3);
    const bool head = in.ConsumeBool();
    const std::string rest = in.ConsumeRemainingBytesAsString();
    const QByteArray bytes(rest.data(), static_cast<qsizetype>(rest.size()));

    const DecodedText decoded = decodeImportText(bytes, head);
    const CsvFormat format = guessFormat(decoded.text);
    std::vector<CsvRecord> records = splitRecords(decoded.text, format);
    int line = 0;
    for (const CsvRecord& record : records) {
        check(record.line > line);
        line = record.line;
    }
    QStringList header;
    if (format.layout == FileLayout::HeaderRow && !records.empty()) {
        header = records.front().fields;
        records.erase(records.begin());
    }
    ImportMapping mapping = guessMapping(format.layout, header, records, QLocale::c());
    for (int column : mapping.columns)
        check(column == kNoColumn || column >= 0);
    // The guesses, then the choice the user may make instead.
    if (order < 3)
        mapping.dateOrder = static_cast<DateOrder>(order);
    if (flightKind < 3)
        mapping.flightTimeKind = static_cast<DurationKind>(flightKind);
    if (hobbsKind < 3)
        mapping.hobbsKind = static_cast<DurationKind>(hobbsKind);
    if (units < 3)
        mapping.units = static_cast<UnitMode>(units);

    const auto path = scratchDirectory() / "CVLog.dbf";
    std::error_code ec;
    std::filesystem::remove(path, ec);
    FlightLog log;
    log.setPath(path);
    log.create(logTableFields());
    log.open();
    // The log holds the first readable row already: it must be skipped.
    const ImportTarget target = importTargetFor(log, 2026);
    if (!records.empty()) {
        const auto first = convertRecord(records.front(), mapping, target);
        if (const auto* flight = std::get_if<ImportedFlight>(&first))
            appendFlights(log, { *flight });
    }
    const ImportPlan plan = planImport(records, mapping, log, 2026);
    check(plan.flights.size() == plan.lines.size());
    // A row of separators alone is no flight, as an empty line is none.
    const auto blank = std::ranges::count_if(records, [](const CsvRecord& record) {
        return std::ranges::all_of(
            record.fields, [](const QString& value) { return value.trimmed().isEmpty(); });
    });
    check(plan.flights.size() + static_cast<std::size_t>(plan.alreadyInLog + plan.twiceInFile)
            + plan.badRows.size() + static_cast<std::size_t>(blank)
        == records.size());
    for (const BadRow& bad : plan.badRows)
        check(bad.line >= 1 && !bad.reason.isEmpty());

    std::vector<ImportedFlight> some(plan.flights.begin(),
        plan.flights.begin() + static_cast<std::ptrdiff_t>(std::min(plan.flights.size(), kMostAppended)));
    const std::vector<std::uint32_t> appended = appendFlights(log, some);
    check(appended.size() == some.size());
    for (std::size_t i = 0; i < some.size(); ++i)
        checkStored(log, appended[i], some[i]);
    log.close();
    return 0;
}
