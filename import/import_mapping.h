#pragma once
// Which column of an imported file holds which of the log's fields, how its
// dates and durations are written, and a row turned into the values the log
// stores, by the rules of a typed edit.

#include "import/import_text.h"
#include "logstore/flight_log.h"
#include "presentation/display_units.h"

#include <QDate>
#include <QLocale>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace cvlog
{

enum class DateOrder { DayMonthYear, MonthDayYear, YearMonthDay };
enum class DurationKind { HoursMinutes, DecimalHours, Minutes };

inline constexpr int kNoColumn = -1;

struct ImportMapping {
    // The file's column of each of the log's fields, kNoColumn where the
    // file has none (the field is then left empty).
    std::array<int, kLogFieldCount> columns { kNoColumn, kNoColumn, kNoColumn, kNoColumn, kNoColumn,
        kNoColumn, kNoColumn, kNoColumn, kNoColumn };
    DateOrder dateOrder = DateOrder::DayMonthYear;
    DurationKind flightTimeKind = DurationKind::HoursMinutes;
    DurationKind hobbsKind = DurationKind::HoursMinutes;
    // The units of the file's altitudes and speeds.
    UnitMode units = UnitMode::FeetMph;

    int& column(LogField field) { return columns[static_cast<std::size_t>(field)]; }
    int column(LogField field) const { return columns[static_cast<std::size_t>(field)]; }
};

// The mapping guessed from the header row (empty for the own exports, whose
// columns are fixed) and the values of the first rows. Dates that could be
// read either way follow the order of the locale's short dates.
ImportMapping guessMapping(FileLayout layout, const QStringList& header, const std::vector<CsvRecord>& rows,
    const QLocale& locale = QLocale::system());
DateOrder guessDateOrder(const std::vector<QString>& dates, const QLocale& locale);
DurationKind guessDurationKind(const std::vector<QString>& durations);

// What a converted row must fit: the log's fields as the open table
// defines them, and the year a two-digit year is placed near.
struct ImportTarget {
    std::array<FieldDef, kLogFieldCount> fields;
    int referenceYear = 2000;
};
ImportTarget importTargetFor(const FlightLog& log, int referenceYear);

// A row as the log will store it. Numbers are in the stored units; empty
// optionals and an invalid date are empty fields.
struct ImportedFlight {
    QDate date;
    QString takeoffTime;
    std::optional<std::int32_t> flightTime;
    std::optional<std::int32_t> maxAltitude;
    std::optional<std::int32_t> maxSpeed;
    std::optional<std::int32_t> student;
    std::optional<std::int32_t> hobbs;
    QString instrument;
    QString comment;

    bool operator==(const ImportedFlight&) const = default;
};

// The row's flight, or why it cannot be stored: the message a typed edit
// of the value gets ("'1:7x' is not a valid duration for field
// 'FLIGHTTIME'", "Value is too long : 70 characters (it can't be more than
// 64).").
std::variant<ImportedFlight, QString> convertRecord(
    const CsvRecord& record, const ImportMapping& mapping, const ImportTarget& target);

// A date of the file in the given order; invalid when it is none.
QDate parseImportDate(QStringView text, DateOrder order, int referenceYear);
// A duration of the file in minutes; empty when it is none.
std::optional<std::int32_t> parseImportDuration(QStringView text, DurationKind kind);

} // namespace cvlog
