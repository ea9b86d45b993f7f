#include "import/import_mapping.h"

#include "presentation/typed_text.h"

#include <QRegularExpression>

#include <algorithm>
#include <initializer_list>
#include <utility>

namespace cvlog
{

namespace
{

constexpr int kMonthsPerYear = 12;
// A two-digit year is read as the year within this many years of the
// reference year, as typed short dates are.
constexpr int kTwoDigitYearWindow = 50;

// A header name in lower-case letters and digits only: "Take-off time" and
// "TAKEOFF_TIME" read alike.
QString headerKey(const QString& name)
{
    QString key;
    for (const QChar c : name.toLower()) {
        if (c.isLetterOrNumber())
            key += c;
    }
    return key;
}

bool containsAny(const QString& key, std::initializer_list<const char*> words)
{
    return std::any_of(
        words.begin(), words.end(), [&](const char* w) { return key.contains(QLatin1String(w)); });
}

// The field a header names, if any. The durations are asked first: "Flight
// time" is no take-off time.
std::optional<LogField> fieldNamed(const QString& name)
{
    const QString key = headerKey(name);
    if (key.isEmpty())
        return std::nullopt;
    if (containsAny(key, { "hobbs", "engine", "tacho" }))
        return kHobbs;
    if (containsAny(key, { "flighttime", "duration", "airtime", "blocktime", "totaltime", "flttime" })
        || key == QLatin1String("flight") || key == QLatin1String("minutes") || key == QLatin1String("hours"))
        return kFlightTime;
    if (containsAny(key, { "date", "datum" }) || key == QLatin1String("day")
        || key == QLatin1String("takeoffd"))
        return kTakeoffDate;
    if (containsAny(key, { "takeoff", "departure", "deptime", "start", "time" }))
        return kTakeoffTime;
    if (containsAny(key, { "alt", "height", "ceiling" }))
        return kMaxAltitude;
    if (containsAny(key, { "speed", "spd", "vmax" }))
        return kMaxSpeed;
    if (containsAny(key, { "student", "pupil", "trainee" }))
        return kStudent;
    if (containsAny(key, { "instrument", "serial", "device", "logger" }))
        return kInstrument;
    if (containsAny(key, { "comment", "remark", "note" }))
        return kComment;
    return std::nullopt;
}

QString valueAt(const CsvRecord& record, int column)
{
    if (column < 0 || column >= record.fields.size())
        return {};
    return record.fields[column].trimmed();
}

std::vector<QString> columnValues(const std::vector<CsvRecord>& rows, int column)
{
    std::vector<QString> values;
    for (const CsvRecord& row : rows) {
        const QString v = valueAt(row, column);
        if (!v.isEmpty())
            values.push_back(v);
    }
    return values;
}

// The three numbers of a date, parted by "-", "/", "." or a space.
std::optional<std::array<QStringView, 3>> dateParts(QStringView text)
{
    std::array<QStringView, 3> parts;
    qsizetype from = 0;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        qsizetype end = from;
        while (end < text.size() && text[end].isDigit() && text[end].unicode() < 0x80)
            ++end;
        const qsizetype digits = end - from;
        if (digits < 1 || digits > (i == 1 ? 2 : 4))
            return std::nullopt;
        parts[i] = text.sliced(from, digits);
        if (i + 1 < parts.size()) {
            if (end >= text.size() || !QStringView(u"-/. ").contains(text[end]))
                return std::nullopt;
            from = end + 1;
        } else if (end != text.size()) {
            return std::nullopt;
        }
    }
    return parts;
}

int yearOf(QStringView digits, int referenceYear)
{
    const int value = digits.toInt();
    if (digits.size() > 2)
        return value;
    int year = (referenceYear / 100) * 100 + value;
    if (year > referenceYear + kTwoDigitYearWindow - 1)
        year -= 100;
    else if (year < referenceYear - kTwoDigitYearWindow)
        year += 100;
    return year;
}

QString tooLongMessage(qsizetype length, int width)
{
    return QStringLiteral("Value is too long : %1 characters (it can't be more than %2).")
        .arg(length)
        .arg(width);
}

QString fieldName(const ImportTarget& target, LogField field)
{
    return target.fields[static_cast<std::size_t>(field)].name.toUpper();
}

int widthOf(const ImportTarget& target, LogField field)
{
    return target.fields[static_cast<std::size_t>(field)].width;
}

// A text as a typed edit stores it: control characters as spaces, what
// the code page lacks as "?", no longer than the field.
std::variant<QString, QString> storedText(const QString& text, const ImportTarget& target, LogField field)
{
    // What storableText leaves is one byte of the code page a character.
    QString stored = storableText(text).text.trimmed();
    if (field == kTakeoffTime && stored.size() > widthOf(target, field)) {
        // Spreadsheets write take-off times with seconds; the log keeps minutes.
        static const QRegularExpression seconds(QStringLiteral("^(\\d{1,2}:\\d\\d):00$"));
        const QRegularExpressionMatch m = seconds.match(stored);
        if (m.hasMatch())
            stored = m.captured(1);
    }
    if (stored.size() > widthOf(target, field))
        return std::variant<QString, QString>(
            std::in_place_index<1>, tooLongMessage(stored.size(), widthOf(target, field)));
    return std::variant<QString, QString>(std::in_place_index<0>, stored);
}

// A number the integer field can hold, refused as a typed number is.
std::variant<std::int32_t, QString> storedNumber(
    const QString& text, std::optional<std::int64_t> value, const ImportTarget& target, LogField field)
{
    if (!value)
        return QStringLiteral("'%1' is not a valid integer value for field '%2'")
            .arg(text, fieldName(target, field));
    const auto digits = static_cast<qsizetype>(std::to_string(*value).size());
    if (digits > widthOf(target, field))
        return tooLongMessage(digits, widthOf(target, field));
    return static_cast<std::int32_t>(*value);
}

} // namespace

DateOrder guessDateOrder(const std::vector<QString>& dates, const QLocale& locale)
{
    bool firstBeyondMonths = false;
    bool secondBeyondMonths = false;
    for (const QString& d : dates) {
        const auto parts = dateParts(d);
        if (!parts)
            continue;
        if ((*parts)[0].size() > 2)
            return DateOrder::YearMonthDay;
        firstBeyondMonths = firstBeyondMonths || (*parts)[0].toInt() > kMonthsPerYear;
        secondBeyondMonths = secondBeyondMonths || (*parts)[1].toInt() > kMonthsPerYear;
    }
    if (firstBeyondMonths != secondBeyondMonths)
        return firstBeyondMonths ? DateOrder::DayMonthYear : DateOrder::MonthDayYear;
    const QString format = locale.dateFormat(QLocale::ShortFormat);
    const qsizetype day = format.indexOf(u'd');
    const qsizetype month = format.indexOf(u'M');
    const qsizetype year = format.indexOf(u'y');
    if (year >= 0 && year < month && year < day)
        return DateOrder::YearMonthDay;
    return month >= 0 && day >= 0 && month < day ? DateOrder::MonthDayYear : DateOrder::DayMonthYear;
}

DurationKind guessDurationKind(const std::vector<QString>& durations)
{
    const auto any = [&](auto test) { return std::any_of(durations.begin(), durations.end(), test); };
    if (any([](const QString& d) { return d.contains(u':'); }))
        return DurationKind::HoursMinutes;
    if (any([](const QString& d) { return d.contains(u'.') || d.contains(u','); }))
        return DurationKind::DecimalHours;
    if (durations.empty())
        return DurationKind::HoursMinutes;
    return DurationKind::Minutes;
}

ImportMapping guessMapping(
    FileLayout layout, const QStringList& header, const std::vector<CsvRecord>& rows, const QLocale& locale)
{
    ImportMapping mapping;
    if (layout == FileLayout::OwnExport) {
        for (std::size_t i = 0; i < mapping.columns.size(); ++i)
            mapping.columns[i] = static_cast<int>(i);
    } else {
        for (int column = 0; column < header.size(); ++column) {
            const auto field = fieldNamed(header[column]);
            if (field && mapping.column(*field) == kNoColumn)
                mapping.column(*field) = column;
        }
    }
    mapping.dateOrder = guessDateOrder(columnValues(rows, mapping.column(kTakeoffDate)), locale);
    if (layout == FileLayout::HeaderRow) {
        mapping.flightTimeKind = guessDurationKind(columnValues(rows, mapping.column(kFlightTime)));
        mapping.hobbsKind = guessDurationKind(columnValues(rows, mapping.column(kHobbs)));
    }
    return mapping;
}

ImportTarget importTargetFor(const FlightLog& log, int referenceYear)
{
    ImportTarget target;
    for (const LogField field : kLogFields)
        target.fields[static_cast<std::size_t>(field)] = log.field(field);
    target.referenceYear = referenceYear;
    return target;
}

QDate parseImportDate(QStringView text, DateOrder order, int referenceYear)
{
    const auto parts = dateParts(text);
    if (!parts)
        return {};
    const auto& p = *parts;
    // Four digits first are a year whatever the order: no day or month
    // has them, and ISO dates are written so.
    if (p[0].size() == 4)
        order = DateOrder::YearMonthDay;
    switch (order) {
    case DateOrder::YearMonthDay:
        return QDate(yearOf(p[0], referenceYear), p[1].toInt(), p[2].toInt());
    case DateOrder::MonthDayYear:
        return QDate(yearOf(p[2], referenceYear), p[0].toInt(), p[1].toInt());
    case DateOrder::DayMonthYear:
        break;
    }
    return QDate(yearOf(p[2], referenceYear), p[1].toInt(), p[0].toInt());
}

std::optional<std::int32_t> parseImportDuration(QStringView text, DurationKind kind)
{
    switch (kind) {
    case DurationKind::HoursMinutes:
        return parseDuration(text, FractionMode::Minutes);
    case DurationKind::DecimalHours:
        // Spreadsheets in many languages write a decimal comma.
        return parseDuration(text.toString().replace(u',', u'.'), FractionMode::Decimals);
    case DurationKind::Minutes:
        break;
    }
    if (text.trimmed().startsWith(u'-'))
        return std::nullopt;
    const auto minutes = wholeNumber(text);
    if (!minutes || *minutes < 0 || *minutes > kLongestDuration)
        return std::nullopt;
    return minutes;
}

std::variant<ImportedFlight, QString> convertRecord(
    const CsvRecord& record, const ImportMapping& mapping, const ImportTarget& target)
{
    if (record.unclosedQuote)
        return QStringLiteral("A quoted value is not closed.");
    ImportedFlight flight;
    const auto text = [&](LogField field) { return valueAt(record, mapping.column(field)); };

    const QString date = text(kTakeoffDate);
    if (!date.isEmpty()) {
        flight.date = parseImportDate(date, mapping.dateOrder, target.referenceYear);
        if (!flight.date.isValid() || flight.date.year() < 1 || flight.date.year() > 9999)
            return QStringLiteral("'%1' is not a valid date").arg(date);
    }
    for (const auto& [field, kind] :
        { std::pair { kFlightTime, mapping.flightTimeKind }, std::pair { kHobbs, mapping.hobbsKind } }) {
        const QString value = text(field);
        if (value.isEmpty())
            continue;
        const auto minutes = parseImportDuration(value, kind);
        if (!minutes)
            return QStringLiteral("'%1' is not a valid duration for field '%2'")
                .arg(value, fieldName(target, field));
        const auto stored = storedNumber(value, *minutes, target, field);
        if (const QString* error = std::get_if<QString>(&stored))
            return *error;
        (field == kFlightTime ? flight.flightTime : flight.hobbs) = std::get<std::int32_t>(stored);
    }
    for (const LogField field : { kMaxAltitude, kMaxSpeed, kStudent }) {
        const QString value = text(field);
        if (value.isEmpty())
            continue;
        std::optional<std::int64_t> number;
        if (field == kMaxAltitude)
            number = altitudeFromText(value, mapping.units);
        else if (field == kMaxSpeed)
            number = speedFromText(value, mapping.units);
        else if (const auto whole = wholeNumber(value))
            number = *whole;
        const auto stored = storedNumber(value, number, target, field);
        if (const QString* error = std::get_if<QString>(&stored))
            return *error;
        const std::int32_t n = std::get<std::int32_t>(stored);
        (field == kMaxAltitude       ? flight.maxAltitude
                : field == kMaxSpeed ? flight.maxSpeed
                                     : flight.student)
            = n;
    }
    for (const LogField field : { kTakeoffTime, kInstrument, kComment }) {
        const auto stored = storedText(text(field), target, field);
        if (stored.index() == 1)
            return std::get<1>(stored);
        (field == kTakeoffTime         ? flight.takeoffTime
                : field == kInstrument ? flight.instrument
                                       : flight.comment)
            = std::get<0>(stored);
    }
    return flight;
}

} // namespace cvlog
