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
#include <optional>
#include <string_view>
#include <utility>
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

// One row of the log, its fields named by meaning; valid as long as the log
// and the row's bytes (see DbfTable::peek and current). A row the view
// handed out is looked at where it stands, so that the walks over every row
// of a large log copy nothing; a row read for the look is held.
class LoggedFlight
{
public:
    LoggedFlight(const LoggedFlight& other)
        : held_(other.held_)
        , row_(held_ ? &*held_ : other.row_)
        , places_(other.places_)
    {
    }
    LoggedFlight& operator=(const LoggedFlight& other)
    {
        held_ = other.held_;
        row_ = held_ ? &*held_ : other.row_;
        places_ = other.places_;
        return *this;
    }

    // The row as the table holds it: its number and flag.
    const DbfRecord& record() const { return *row_; }
    std::uint32_t recordNumber() const { return record().recordNumber(); }

    bool isNull(LogField field) const { return record().isNull(at(field)); }
    QDate date(LogField field) const { return record().date(at(field)); }
    QString text(LogField field) const { return record().text(at(field)); }
    std::int32_t integer(LogField field) const { return record().integer(at(field)); }
    // Day count of a date field (see dayNumberOf); 0 for a row without a date.
    std::int32_t dayNumber(LogField field) const { return record().dayNumber(at(field)); }
    // The field's bytes as stored (untrimmed, CP850).
    std::string_view raw(LogField field) const { return record().raw(at(field)); }

private:
    friend class FlightLog;
    using Places = std::array<int, kLogFieldCount>;

    LoggedFlight(const DbfRecord& row, const Places& places)
        : row_(&row)
        , places_(&places)
    {
    }
    LoggedFlight(DbfRecord&& row, const Places& places)
        : held_(row)
        , row_(&*held_)
        , places_(&places)
    {
    }
    int at(LogField field) const { return (*places_)[static_cast<std::size_t>(field)]; }

    std::optional<DbfRecord> held_; // a row read for this look
    const DbfRecord* row_; // the row looked at: one handed out, or held_
    const Places* places_; // the log's
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
    LoggedFlight flight(DbfRecord&& row) const { return { std::move(row), places_ }; }
    // A row looked at without moving (peek); valid until the next look.
    LoggedFlight flight(std::uint32_t recordNumber) const { return flight(peek(recordNumber)); }
    // The current row, the edit buffer while editing or adding.
    LoggedFlight currentFlight() const { return flight(current()); }

    // The field as the open file defines it (its name in capitals, its width).
    const FieldDef& field(LogField field) const;

    // The current row's fields, read and set as DbfTable reads and sets them.
    bool isNull(LogField field) const { return DbfTable::isNull(at(field)); }
    QDate date(LogField field) const { return DbfTable::date(at(field)); }
    QString text(LogField field) const { return DbfTable::text(at(field)); }
    std::int32_t integer(LogField field) const { return DbfTable::integer(at(field)); }
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
