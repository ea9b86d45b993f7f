#include "presentation/field_text.h"

#include "presentation/key_filter.h"

#include <stdexcept>
#include <string>

namespace cvlog
{

namespace
{

DbfError durationError(QStringView text, const QString& field)
{
    return DbfError(
        QStringLiteral("'%1' is not a valid duration for field '%2'").arg(text, field).toStdString());
}

DbfError integerError(QStringView text, const QString& field)
{
    return DbfError(
        QStringLiteral("'%1' is not a valid integer value for field '%2'").arg(text, field).toStdString());
}

// A whole number for an integer field, refused in the field's name.
std::int32_t typedInteger(const FlightLog& log, LogField field, QStringView text)
{
    const std::optional<std::int32_t> value = wholeNumber(text);
    if (!value)
        throw integerError(text, log.field(field).name);
    return *value;
}

} // namespace

FieldTextBinding storedFieldTextBinding(FieldType type)
{
    switch (type) {
    case FieldType::Date:
        return {
            [](const LoggedFlight& row, LogField field) { return shortDateText(row.date(field)); },
            [](FlightLog& log, LogField field, const QString& text) {
                if (text.trimmed().isEmpty()) {
                    log.clear(field);
                    return;
                }
                const QDate date = parseShortDate(text, QDate::currentDate().year());
                if (!date.isValid())
                    throw DbfError(QStringLiteral("'%1' is not a valid date").arg(text).toStdString());
                log.setDate(field, date);
            },
            {},
            {},
        };
    case FieldType::Integer:
        return {
            [](const LoggedFlight& row, LogField field) {
                return row.isNull(field) ? QString() : QString::number(row.integer(field));
            },
            [](FlightLog& log, LogField field, const QString& text) {
                if (text.trimmed().isEmpty()) {
                    log.clear(field);
                    return;
                }
                log.setInteger(field, typedInteger(log, field, text));
            },
            [](QStringView keyText) { return acceptsNumberKeys(keyText, QChar()); },
            {},
        };
    case FieldType::Text:
        break;
    }
    return {
        [](const LoggedFlight& row, LogField field) { return row.text(field); },
        [](FlightLog& log, LogField field, const QString& text) {
            log.setText(field, storableText(text).text);
        },
        acceptsStorableKeys,
        storableText,
    };
}

QString fieldText(const LoggedFlight& row, LogField field, const DisplayMarks& marks)
{
    switch (field) {
    case kFlightTime:
        return flightTimeText(row.integer(field), fractionMode(marks));
    case kHobbs:
        return hobbsText(row.integer(field), fractionMode(marks));
    case kMaxAltitude:
        return altitudeText(row.integer(field), unitMode(marks));
    case kMaxSpeed:
        return speedText(row.integer(field), unitMode(marks));
    case kTakeoffDate:
        return shortDateText(row.date(field));
    case kStudent:
        return row.isNull(field) ? QString() : QString::number(row.integer(field));
    default:
        return row.text(field);
    }
}

void setFieldText(FlightLog& log, LogField field, QStringView text, const DisplayMarks& marks)
{
    switch (field) {
    case kFlightTime:
    case kHobbs: {
        const auto minutes = parseDuration(text, fractionMode(marks));
        if (!minutes)
            throw durationError(text, log.field(field).name);
        log.setInteger(field, *minutes);
        return;
    }
    case kMaxAltitude:
    case kMaxSpeed: {
        const auto value = field == kMaxAltitude ? altitudeFromText(text, unitMode(marks))
                                                 : speedFromText(text, unitMode(marks));
        // A number wider than the field is no value of it either.
        if (!value || std::to_string(*value).size() > static_cast<std::size_t>(log.field(field).width))
            throw integerError(text, log.field(field).name);
        log.setInteger(field, *value);
        return;
    }
    case kStudent:
        setStudentText(log, text);
        return;
    case kTakeoffDate:
        throw std::invalid_argument("typed dates are read by the window");
    default:
        log.setText(field, storableText(text).text);
        return;
    }
}

FieldTextBinding fieldTextBinding(LogField field, std::function<DisplayMarks()> marks)
{
    if (field == kTakeoffDate)
        return storedFieldTextBinding(FieldType::Date);
    FieldTextBinding binding {
        [marks](const LoggedFlight& row, LogField f) { return fieldText(row, f, marks()); },
        [marks](FlightLog& log, LogField f, const QString& text) { setFieldText(log, f, text, marks()); },
        [marks, field](QStringView keyText) { return isAcceptedEditKey(field, keyText, marks()); },
        {},
    };
    if (field == kTakeoffTime || field == kInstrument || field == kComment)
        binding.storable = storableText;
    return binding;
}

void setStudentText(FlightLog& log, QStringView text)
{
    if (text.isEmpty()) {
        log.clear(kStudent);
        return;
    }
    log.setInteger(kStudent, typedInteger(log, kStudent, text));
}

bool studentEditVisible(QStringView studentText)
{
    return studentText != u"0";
}

bool studentEditVisible(const LoggedFlight& row)
{
    return row.isNull(kStudent) || row.integer(kStudent) != 0;
}

} // namespace cvlog
