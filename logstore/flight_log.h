#pragma once
// The flight log: the table file "CVLog.dbf" read and written by the meaning
// of its nine fields.
//
// The file names its fields; one that another program rewrote may hold them
// in another order, wider, or beside columns of its own. A FlightLog finds
// the nine by name each time it opens a file, before it reads a row, and
// refuses a file that lacks one ("Field 'HOBBS' not found"); from then on
// every read and write names a field by its meaning. Nothing else knows
// where a field stands in the file.

#include "logstore/dbf_table.h"

#include <QDate>
#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace cvlog
{

// The nine fields of the log, in the order the program creates them.
enum class LogField {
    kTakeoffDate,
    kTakeoffTime,
    kFlightTime,
    kMaxAltitude,
    kMaxSpeed,
    kStudent,
    kHobbs,
    kInstrument,
    kComment,
};
using enum LogField;

inline constexpr int kLogFieldCount = 9;
inline constexpr std::array<LogField, kLogFieldCount> kLogFields { kTakeoffDate, kTakeoffTime, kFlightTime,
    kMaxAltitude, kMaxSpeed, kStudent, kHobbs, kInstrument, kComment };

// The field list the log table is created with at first start.
std::vector<FieldDef> logTableFields();
// One field of that list.
FieldDef logTableField(LogField field);

// One row of the log, its fields named by meaning. Valid as long as the row
// it was read from (see DbfTable::peek and current).
class LoggedFlight
{
public:
    LoggedFlight() = default;

    // The row as the table holds it: its number and flag.
    const DbfRecord& record() const { return row_; }
    std::uint32_t recordNumber() const { return row_.recordNumber(); }

    bool isNull(LogField field) const { return row_.isNull(at(field)); }
    QDate date(LogField field) const { return row_.date(at(field)); }
    QString text(LogField field) const { return row_.text(at(field)); }
    std::int32_t integer(LogField field) const { return row_.integer(at(field)); }
    // Day count of a date field (see DayNumber); 0 for a row without a date.
    std::int32_t dayNumber(LogField field) const { return row_.dayNumber(at(field)); }
    // The field's bytes as stored (untrimmed, CP850).
    std::string_view raw(LogField field) const { return row_.raw(at(field)); }

private:
    friend class FlightLog;
    using Places = std::array<int, kLogFieldCount>;

    LoggedFlight(const DbfRecord& row, const Places& places)
        : row_(row)
        , places_(places)
    {
    }
    int at(LogField field) const { return places_[static_cast<std::size_t>(field)]; }

    DbfRecord row_;
    Places places_ {};
};

// The view of the log table: the generic view's rows, states and commands,
// with the fields of its rows named by meaning. Until a file is opened the
// fields are taken to stand where the program creates them.
class FlightLog : public DbfTable
{
public:
    FlightLog();

    // A row the view handed out (to a predicate, a search), read by meaning.
    LoggedFlight flight(const DbfRecord& row) const { return { row, places_ }; }
    // A row looked at without moving (peek); valid until the next look.
    LoggedFlight flight(std::uint32_t recordNumber) const { return flight(peek(recordNumber)); }
    // The current row, the edit buffer while editing or adding.
    LoggedFlight currentFlight() const { return flight(current()); }

    // The field as the open file defines it (its name in capitals, its width).
    const FieldDef& field(LogField field) const;

    // The current row's fields, read and set as DbfTable reads and sets them.
    bool isNull(LogField field) const { return currentFlight().isNull(field); }
    QDate date(LogField field) const { return currentFlight().date(field); }
    QString text(LogField field) const { return currentFlight().text(field); }
    std::int32_t integer(LogField field) const { return currentFlight().integer(field); }
    void setDate(LogField field, const QDate& value);
    void setText(LogField field, const QString& value);
    void setInteger(LogField field, std::int64_t value);
    void clear(LogField field);

protected:
    void bindFields(const std::vector<FieldDef>& fields) override;
    std::vector<FieldDef> newFileFields() const override;

private:
    int at(LogField field) const { return places_[static_cast<std::size_t>(field)]; }

    LoggedFlight::Places places_;
};

} // namespace cvlog
