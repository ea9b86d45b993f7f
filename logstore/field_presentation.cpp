#include "logstore/field_presentation.h"

#include "logstore/conversions.h"

#include <QLocale>

#include <cmath>
#include <stdexcept>

namespace cvlog
{

namespace
{

constexpr double kMetresPerFoot = 0.3048;
constexpr double kKilometresPerMile = 1.609344;
constexpr double kKnotsPerMile = 0.8689762;

constexpr std::int64_t kMinutesPerHour = 60;
// A two-digit year is read as the year within this many years of today's.
constexpr int kTwoDigitYearWindow = 50;
constexpr std::int64_t kLongestDuration = 65535; // the device keeps durations in 16 bits
// Only this much of each part of a typed duration is read: it is all a
// 32-bit number can need, and keeps a pasted page of text harmless.
constexpr qsizetype kDurationPartLength = 10;

QString twoDigits(std::int64_t value)
{
    QString text = QString::number(value);
    if (text.size() < 2)
        text.prepend(u'0');
    return text;
}

QString truncatedText(double value)
{
    return QString::number(static_cast<std::int64_t>(std::trunc(value)));
}

// The text as the shared conversion reads it, 0 when it is not a number.
std::int32_t integerOf(QStringView text)
{
    return IntegerOrDefault(text, 0);
}

bool isWholeNumber(QStringView text)
{
    // The conversion has no failure value of its own: a text that is no
    // number gives whichever default it is handed.
    return IntegerOrDefault(text, 0) == IntegerOrDefault(text, 1);
}

// Digits after "." of a decimal flight time, as minutes of an hour rounded to
// the nearest minute: the shown hundredths are truncated, so reading them
// back to the nearest minute gives the stored value again (1.01 is 61, 1.98
// is 119). Anything but plain digits is not a fraction and counts as 0.
std::int64_t decimalFractionMinutes(QStringView digits)
{
    if (digits.isEmpty())
        return 0;
    std::int64_t value = 0;
    std::int64_t scale = 1;
    for (QChar c : digits) {
        if (c < u'0' || c > u'9')
            return 0;
        value = value * 10 + (c.unicode() - u'0');
        scale *= 10;
    }
    return (value * kMinutesPerHour * 2 + scale) / (scale * 2);
}

QString durationError(QStringView text)
{
    return QStringLiteral("'%1' is not a valid duration").arg(text);
}

} // namespace

DisplayMarks DisplayMarks::fromArray(const std::array<bool, 5>& marks)
{
    return DisplayMarks { marks[0], marks[1], marks[2], marks[3], marks[4] };
}

std::array<bool, 5> DisplayMarks::toArray() const
{
    return { x1, x2, x3, x4, x5 };
}

UnitMode unitMode(const DisplayMarks& marks)
{
    if (marks.x1)
        return UnitMode::Metric;
    if (marks.x3)
        return UnitMode::FeetKnots;
    return UnitMode::FeetMph;
}

FractionMode fractionMode(const DisplayMarks& marks)
{
    return marks.x5 ? FractionMode::Decimals : FractionMode::Minutes;
}

DisplayMarks SelectMetricUnits(DisplayMarks marks)
{
    marks.x1 = true;
    marks.x2 = false;
    marks.x3 = false;
    return marks;
}

DisplayMarks SelectFeetMph(DisplayMarks marks)
{
    marks.x1 = false;
    marks.x2 = true;
    marks.x3 = false;
    return marks;
}

DisplayMarks SelectFeetKnots(DisplayMarks marks)
{
    marks.x1 = false;
    marks.x2 = false;
    marks.x3 = true;
    return marks;
}

DisplayMarks SelectMinuteFractions(DisplayMarks marks)
{
    marks.x4 = true;
    marks.x5 = false;
    return marks;
}

DisplayMarks SelectDecimalFractions(DisplayMarks marks)
{
    marks.x4 = false;
    marks.x5 = true;
    return marks;
}

QString FormatHoursMinutes(std::int64_t minutes)
{
    return QString::number(minutes / kMinutesPerHour) + u':' + twoDigits(minutes % kMinutesPerHour);
}

QString FlightTimeText(std::int64_t minutes, FractionMode mode)
{
    const std::int64_t hours = minutes / kMinutesPerHour;
    const std::int64_t rest = minutes % kMinutesPerHour;
    if (mode == FractionMode::Minutes)
        return QString::number(hours) + u':' + twoDigits(rest);
    // Hundredths of an hour, truncated.
    return QString::number(hours) + u'.' + twoDigits(rest * 10 / 6);
}

QString HobbsText(std::int32_t minutes, FractionMode mode)
{
    const std::int64_t hours = minutes / kMinutesPerHour;
    const std::int64_t rest = minutes % kMinutesPerHour;
    if (mode == FractionMode::Minutes)
        return QString::number(hours) + u':' + twoDigits(rest);
    // Tenths of an hour, as the instrument's Hobbs meter shows them.
    return QString::number(hours) + u'.' + QString::number(rest / 6);
}

QString AltitudeText(std::int32_t feet, UnitMode mode)
{
    if (mode == UnitMode::Metric)
        return truncatedText(feet * kMetresPerFoot);
    return QString::number(feet);
}

QString SpeedText(std::int32_t milesPerHour, UnitMode mode)
{
    switch (mode) {
    case UnitMode::Metric:
        return truncatedText(milesPerHour * kKilometresPerMile);
    case UnitMode::FeetKnots:
        return truncatedText(milesPerHour * kKnotsPerMile);
    case UnitMode::FeetMph:
        break;
    }
    return QString::number(milesPerHour);
}

std::int32_t ParseDuration(QStringView text, FractionMode mode, DurationField field)
{
    const QChar separator = mode == FractionMode::Decimals ? u'.' : u':';
    const qsizetype at = text.indexOf(separator);
    const QStringView hourPart = (at < 0 ? text : text.first(at)).left(kDurationPartLength);
    // Further separators stay in the fraction, which then is no number.
    const QStringView fractionPart = at < 0 ? QStringView() : text.sliced(at + 1).left(kDurationPartLength);

    std::int64_t value = kMinutesPerHour * integerOf(hourPart);
    if (mode == FractionMode::Minutes)
        value += integerOf(fractionPart);
    else if (field == DurationField::Hobbs)
        value += 6 * std::int64_t { integerOf(fractionPart) };
    else
        value += decimalFractionMinutes(fractionPart);

    if (value < 0 || value > kLongestDuration)
        throw DbfError(durationError(text).toStdString());
    return static_cast<std::int32_t>(value);
}

std::int64_t AltitudeFromText(QStringView text, UnitMode mode)
{
    const std::int32_t n = integerOf(text);
    if (mode == UnitMode::Metric)
        return static_cast<std::int64_t>(std::trunc(n / kMetresPerFoot));
    return n;
}

std::int64_t SpeedFromText(QStringView text, UnitMode mode)
{
    const std::int32_t n = integerOf(text);
    switch (mode) {
    case UnitMode::Metric:
        return static_cast<std::int64_t>(std::trunc(n / kKilometresPerMile));
    case UnitMode::FeetKnots:
        return static_cast<std::int64_t>(std::trunc(n / kKnotsPerMile));
    case UnitMode::FeetMph:
        break;
    }
    return n;
}

QString ShortDateText(const QDate& date, const QLocale& locale)
{
    if (!date.isValid())
        return {};
    return locale.toString(date, QLocale::ShortFormat);
}

QDate ParseShortDate(const QString& text, int referenceYear, const QLocale& locale)
{
    const QString format = locale.dateFormat(QLocale::ShortFormat);
    QDate date = locale.toDate(text.trimmed(), format);
    if (!date.isValid() || format.contains(QLatin1String("yyyy")) || !format.contains(QLatin1String("yy")))
        return date;
    // Qt reads a two-digit year as 19yy; put it into the century that keeps
    // it nearest the reference year.
    const int yy = date.year() % 100;
    int year = (referenceYear / 100) * 100 + yy;
    if (year > referenceYear + kTwoDigitYearWindow - 1)
        year -= 100;
    else if (year < referenceYear - kTwoDigitYearWindow)
        year += 100;
    return QDate(year, date.month(), date.day());
}

FieldTextBinding StoredFieldTextBinding(FieldType type)
{
    switch (type) {
    case FieldType::Date:
        return {
            [](const DbfRecord& row, int field) { return ShortDateText(row.date(row.boundField(field))); },
            [](DbfTable& table, int field, const QString& text) {
                field = table.boundField(field);
                if (text.trimmed().isEmpty()) {
                    table.clear(field);
                    return;
                }
                const QDate date = ParseShortDate(text, QDate::currentDate().year());
                if (!date.isValid())
                    throw DbfError(QStringLiteral("'%1' is not a valid date").arg(text).toStdString());
                table.setDate(field, date);
            },
        };
    case FieldType::Integer:
        return {
            [](const DbfRecord& row, int field) {
                field = row.boundField(field);
                return row.isNull(field) ? QString() : QString::number(row.integer(field));
            },
            [](DbfTable& table, int field, const QString& text) {
                field = table.boundField(field);
                if (text.trimmed().isEmpty()) {
                    table.clear(field);
                    return;
                }
                // Two fallbacks tell a typed 0 (or 1) from a text that is no number.
                const std::int32_t value = IntegerOrDefault(text, 0);
                if (value == 0 && IntegerOrDefault(text, 1) == 1)
                    throw DbfError(QStringLiteral("'%1' is not a valid integer value for field '%2'")
                                       .arg(text, table.field(field).name)
                                       .toStdString());
                table.setInteger(field, value);
            },
        };
    case FieldType::Text:
        break;
    }
    return {
        [](const DbfRecord& row, int field) { return row.text(row.boundField(field)); },
        [](DbfTable& table, int field, const QString& text) { table.setText(table.boundField(field), text); },
    };
}

bool IsConvertedField(int field)
{
    return field == kFlightTime || field == kHobbs || field == kMaxAltitude || field == kMaxSpeed;
}

QString Dbf1FieldGetText(const DbfRecord& row, int field, const DisplayMarks& marks)
{
    const int at = row.boundField(field);
    switch (field) {
    case kFlightTime:
        return FlightTimeText(row.integer(at), fractionMode(marks));
    case kHobbs:
        return HobbsText(row.integer(at), fractionMode(marks));
    case kMaxAltitude:
        return AltitudeText(row.integer(at), unitMode(marks));
    case kMaxSpeed:
        return SpeedText(row.integer(at), unitMode(marks));
    case kTakeoffDate:
        return ShortDateText(row.date(at));
    case kStudent:
        return row.isNull(at) ? QString() : QString::number(row.integer(at));
    default:
        return row.text(at);
    }
}

void Dbf1FieldSetText(DbfTable& table, int field, QStringView text, const DisplayMarks& marks)
{
    const int at = table.boundField(field);
    switch (field) {
    case kFlightTime:
        table.setInteger(at, ParseDuration(text, fractionMode(marks), DurationField::FlightTime));
        return;
    case kHobbs:
        table.setInteger(at, ParseDuration(text, fractionMode(marks), DurationField::Hobbs));
        return;
    case kMaxAltitude:
        table.setInteger(at, AltitudeFromText(text, unitMode(marks)));
        return;
    case kMaxSpeed:
        table.setInteger(at, SpeedFromText(text, unitMode(marks)));
        return;
    case kStudent:
        SetStudentText(table, text);
        return;
    case kTakeoffDate:
        throw std::invalid_argument("typed dates are read by the window");
    default:
        table.setText(at, text.toString());
        return;
    }
}

void SetStudentText(DbfTable& table, QStringView text)
{
    const int student = table.boundField(kStudent);
    if (text.isEmpty()) {
        table.clear(student);
        return;
    }
    if (!isWholeNumber(text))
        throw DbfError(QStringLiteral("'%1' is not a valid integer value for field '%2'")
                           .arg(text, QStringLiteral("STUDENT"))
                           .toStdString());
    table.setInteger(student, integerOf(text));
}

bool StudentEditVisible(QStringView studentText)
{
    return studentText != u"0";
}

bool StudentEditVisible(const DbfRecord& row)
{
    const int student = row.boundField(kStudent);
    return row.isNull(student) || row.integer(student) != 0;
}

bool IsAcceptedEditKey(QStringView keyText)
{
    for (QChar c : keyText) {
        if (!c.isPrint())
            continue;
        if (c != u'+' && c != u'-' && (c < u'0' || c > u'9'))
            return false;
    }
    return true;
}

} // namespace cvlog
