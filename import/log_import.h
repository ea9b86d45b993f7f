#pragma once
// The rows of an imported file weighed against the log: the ones to store,
// the ones the log or the file holds already, the ones that cannot be read;
// then the good rows appended to the log in one go that stands whole or not
// at all.

#include "import/import_mapping.h"
#include "logstore/flight_log.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace cvlog
{

// One flight, not two: the same take-off date and time and instrument, as
// the table stores them (date digits, texts trimmed in its code page).
class FlightKeys
{
public:
    // The keys of every live row of the log, whatever the view's filter.
    static FlightKeys ofLog(const FlightLog& log);

    // Adds the flight's key; false when it was there already.
    bool insert(const ImportedFlight& flight);
    bool contains(const ImportedFlight& flight) const;
    std::size_t size() const { return sorted_.size() + count_ + others_.size(); }

private:
    // The usual key in sixteen bytes: the date's digits as a number (or
    // kNoDate), a take-off time of up to eight bytes and an instrument of up
    // to four, as the program's own table holds them. Kept in one
    // open-addressed array, which a log of a million flights fills and
    // searches far faster than a set of strings.
    struct Packed {
        std::uint64_t time = 0;
        std::uint32_t date = 0; // 0: an empty slot
        std::uint32_t instrument = 0;
        auto operator<=>(const Packed&) const = default;
    };
    static constexpr std::uint32_t kNoDate = 1;

    bool insert(std::string_view date, std::string_view time, std::string_view instrument);
    bool contains(std::string_view date, std::string_view time, std::string_view instrument) const;
    static std::optional<Packed> packed(
        std::string_view date, std::string_view time, std::string_view instrument);
    static std::string joined(std::string_view date, std::string_view time, std::string_view instrument);
    std::size_t slotOf(const Packed& key) const;
    void grow();

    std::vector<Packed> slots_;
    std::size_t count_ = 0;
    // The log's keys, sorted: a log appended in date order is walked and
    // sorted in far fewer cache misses than a table of a million slots takes.
    std::vector<Packed> sorted_;
    // Keys of wider foreign fields.
    std::unordered_set<std::string> others_;
};

struct BadRow {
    int line = 0;
    QString reason;
};

struct ImportPlan {
    std::vector<ImportedFlight> flights; // to append, in the file's order
    std::vector<int> lines; // the line each of them comes from
    int alreadyInLog = 0;
    int twiceInFile = 0;
    std::vector<BadRow> badRows;
};

// Weighs rows one at a time, so that a window can take a large file in
// slices.
class ImportPlanner
{
public:
    // The log's keys are looked at, not copied: they must outlive the planner.
    ImportPlanner(ImportMapping mapping, ImportTarget target, const FlightKeys& logKeys);
    void add(const CsvRecord& record);
    const ImportPlan& plan() const { return plan_; }
    ImportPlan takePlan() { return std::move(plan_); }

private:
    ImportMapping mapping_;
    ImportTarget target_;
    const FlightKeys& logKeys_;
    FlightKeys fileKeys_;
    ImportPlan plan_;
};

// The plan for the rows of a file (its header row already taken off).
ImportPlan planImport(const std::vector<CsvRecord>& rows, const ImportMapping& mapping, const FlightLog& log,
    int referenceYear);

// Appends the flights to the log, all or none of them even over a kill;
// returns the record numbers of the appended rows. A failure (DbfError)
// leaves the log as it was.
std::vector<std::uint32_t> appendFlights(FlightLog& log, const std::vector<ImportedFlight>& flights);

// The message the import ends with.
QString importSummary(int imported, int alreadyThere, int unreadable);

} // namespace cvlog
