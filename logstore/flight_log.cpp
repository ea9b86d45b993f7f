#include "logstore/flight_log.h"

namespace cvlog
{

std::vector<FieldDef> logTableFields()
{
    return {
        { QStringLiteral("TakeoffD"), FieldType::Date, 8 },
        { QStringLiteral("TakeoffT"), FieldType::Text, 5 },
        { QStringLiteral("FlightTime"), FieldType::Integer, 9 },
        { QStringLiteral("MaxAlt"), FieldType::Integer, 9 },
        { QStringLiteral("MaxSPD"), FieldType::Integer, 9 },
        { QStringLiteral("Student"), FieldType::Integer, 9 },
        { QStringLiteral("Hobbs"), FieldType::Integer, 9 },
        { QStringLiteral("Instrument"), FieldType::Text, 4 },
        { QStringLiteral("Comment"), FieldType::Text, 64 },
    };
}

FieldDef logTableField(LogField field)
{
    return logTableFields()[static_cast<std::size_t>(field)];
}

FlightLog::FlightLog()
{
    for (std::size_t i = 0; i < places_.size(); ++i)
        places_[i] = static_cast<int>(i);
}

const FieldDef& FlightLog::field(LogField field) const
{
    return DbfTable::field(at(field));
}

void FlightLog::setDate(LogField field, const QDate& value)
{
    DbfTable::setDate(at(field), value);
}

void FlightLog::setText(LogField field, const QString& value)
{
    DbfTable::setText(at(field), value);
}

void FlightLog::setInteger(LogField field, std::int64_t value)
{
    DbfTable::setInteger(at(field), value);
}

void FlightLog::clear(LogField field)
{
    DbfTable::clear(at(field));
}

void FlightLog::bindFields(const std::vector<FieldDef>& fields)
{
    const std::vector<FieldDef> ours = logTableFields();
    LoggedFlight::Places places;
    for (std::size_t i = 0; i < places.size(); ++i)
        places[i] = requiredFieldIndex(fields, ours[i].name.toUpper());
    places_ = places;
}

std::vector<FieldDef> FlightLog::newFileFields() const
{
    return logTableFields();
}

} // namespace cvlog
