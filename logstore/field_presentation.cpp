#include "logstore/field_presentation.h"

#include "logstore/conversions.h"
#include "logstore/cp850.h"

#include <QLocale>

#include <QStringList>

#include <algorithm>
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
constexpr std::int64_t kMinutesPerTenth = 6;
// A two-digit year is read as the year within this many years of today's.
constexpr int kTwoDigitYearWindow = 50;
// Digits of a decimal hour fraction beyond these are far below a second;
// they are checked but not counted.
constexpr qsizetype kFractionDigits = 15;

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
    return integerOrDefault(text, 0);
}

bool isWholeNumber(QStringView text)
{
    // The conversion has no failure value of its own: a text that is no
    // number gives whichever default it is handed.
    return integerOrDefault(text, 0) == integerOrDefault(text, 1);
}

// A typed number of a converted edit; an emptied edit stores 0.
std::optional<std::int32_t> typedNumber(QStringView text)
{
    if (text.trimmed().isEmpty())
        return 0;
    if (!isWholeNumber(text))
        return std::nullopt;
    return integerOf(text);
}

// The hours of a typed duration, read as any typed number; no duration is
// negative, not even "-0".
std::optional<std::int64_t> durationHours(QStringView part)
{
    if (part.trimmed().startsWith(u'-'))
        return std::nullopt;
    const std::optional<std::int32_t> hours = typedNumber(part);
    if (!hours || *hours < 0) // a hexadecimal number past 31 bits reads negative
        return std::nullopt;
    return *hours;
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Plain digits, empty counting as 0; more than any duration holds is none.
std::optional<std::int64_t> plainDigits(QStringView digits)
{
    std::int64_t value = 0;
    for (QChar c : digits) {
        if (!isDigit(c))
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
        if (value > kLongestDuration)
            return std::nullopt;
    }
    return value;
}

// Digits after "." of a decimal flight time, as minutes of an hour rounded to
// the nearest minute: the shown hundredths are truncated, so reading them
// back to the nearest minute gives the stored value again (1.01 is 61, 1.98
// is 119).
std::optional<std::int64_t> decimalFractionMinutes(QStringView digits)
{
    if (!std::all_of(digits.begin(), digits.end(), isDigit))
        return std::nullopt;
    std::int64_t value = 0;
    std::int64_t scale = 1;
    for (QChar c : digits.left(kFractionDigits)) {
        value = value * 10 + (c.unicode() - u'0');
        scale *= 10;
    }
    return (value * kMinutesPerHour * 2 + scale) / (scale * 2);
}

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

// The next character of a text, a pair of surrogates taken as one.
char32_t nextCharacter(QStringView text, qsizetype& i)
{
    const QChar c = text[i++];
    if (c.isHighSurrogate() && i < text.size() && text[i].isLowSurrogate())
        return QChar::surrogateToUcs4(c, text[i++]);
    return c.unicode();
}

bool isControl(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x2028 || c == 0x2029;
}

// Each typed character is a sign, a digit or the separator.
bool numberKeys(QStringView keyText, QChar separator)
{
    return std::all_of(keyText.begin(), keyText.end(), [separator](QChar c) {
        return isControl(c.unicode()) || c == u'+' || c == u'-' || isDigit(c) || c == separator;
    });
}

bool storableKeys(QStringView keyText)
{
    for (qsizetype i = 0; i < keyText.size();) {
        const char32_t c = nextCharacter(keyText, i);
        if (!isControl(c) && !cp850Holds(c))
            return false;
    }
    return true;
}

QChar separatorOf(FractionMode mode)
{
    return mode == FractionMode::Decimals ? u'.' : u':';
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

DisplayMarks selectMetricUnits(DisplayMarks marks)
{
    marks.x1 = true;
    marks.x2 = false;
    marks.x3 = false;
    return marks;
}

DisplayMarks selectFeetMph(DisplayMarks marks)
{
    marks.x1 = false;
    marks.x2 = true;
    marks.x3 = false;
    return marks;
}

DisplayMarks selectFeetKnots(DisplayMarks marks)
{
    marks.x1 = false;
    marks.x2 = false;
    marks.x3 = true;
    return marks;
}

DisplayMarks selectMinuteFractions(DisplayMarks marks)
{
    marks.x4 = true;
    marks.x5 = false;
    return marks;
}

DisplayMarks selectDecimalFractions(DisplayMarks marks)
{
    marks.x4 = false;
    marks.x5 = true;
    return marks;
}

QString formatHoursMinutes(std::int64_t minutes)
{
    return QString::number(minutes / kMinutesPerHour) + u':' + twoDigits(minutes % kMinutesPerHour);
}

QString flightTimeText(std::int64_t minutes, FractionMode mode)
{
    const std::int64_t hours = minutes / kMinutesPerHour;
    const std::int64_t rest = minutes % kMinutesPerHour;
    if (mode == FractionMode::Minutes)
        return QString::number(hours) + u':' + twoDigits(rest);
    // Hundredths of an hour, truncated.
    return QString::number(hours) + u'.' + twoDigits(rest * 10 / 6);
}

QString hobbsText(std::int32_t minutes, FractionMode mode)
{
    const std::int64_t hours = minutes / kMinutesPerHour;
    const std::int64_t rest = minutes % kMinutesPerHour;
    if (mode == FractionMode::Minutes)
        return QString::number(hours) + u':' + twoDigits(rest);
    // Tenths of an hour, as the instrument's Hobbs meter shows them.
    return QString::number(hours) + u'.' + QString::number(rest / kMinutesPerTenth);
}

QString altitudeText(std::int32_t feet, UnitMode mode)
{
    if (mode == UnitMode::Metric)
        return truncatedText(feet * kMetresPerFoot);
    return QString::number(feet);
}

QString speedText(std::int32_t milesPerHour, UnitMode mode)
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

std::optional<std::int32_t> parseDuration(QStringView text, FractionMode mode)
{
    const qsizetype at = text.indexOf(separatorOf(mode));
    const std::optional<std::int64_t> hours = durationHours(at < 0 ? text : text.first(at));
    if (!hours)
        return std::nullopt;
    // Further separators stay in the fraction, which then is no number.
    const QStringView fraction = at < 0 ? QStringView() : text.sliced(at + 1);
    std::optional<std::int64_t> minutes;
    // In Decimals both durations read their digits after "." as a decimal
    // fraction of an hour: the Hobbs time shows tenths, and "1.5" is 90
    // minutes either way, but a typed "1.50" is 90 minutes too, not 360.
    if (mode == FractionMode::Minutes)
        minutes = plainDigits(fraction);
    else
        minutes = decimalFractionMinutes(fraction);
    if (!minutes)
        return std::nullopt;
    const std::int64_t value = kMinutesPerHour * *hours + *minutes;
    if (value > kLongestDuration)
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::optional<std::int64_t> altitudeFromText(QStringView text, UnitMode mode)
{
    const std::optional<std::int32_t> n = typedNumber(text);
    if (!n || mode != UnitMode::Metric)
        return n;
    return static_cast<std::int64_t>(std::trunc(*n / kMetresPerFoot));
}

std::optional<std::int64_t> speedFromText(QStringView text, UnitMode mode)
{
    const std::optional<std::int32_t> n = typedNumber(text);
    if (!n)
        return std::nullopt;
    switch (mode) {
    case UnitMode::Metric:
        return static_cast<std::int64_t>(std::trunc(*n / kKilometresPerMile));
    case UnitMode::FeetKnots:
        return static_cast<std::int64_t>(std::trunc(*n / kKnotsPerMile));
    case UnitMode::FeetMph:
        break;
    }
    return n;
}

StorableText storableText(QStringView typed)
{
    StorableText out;
    out.text.reserve(typed.size());
    for (qsizetype i = 0; i < typed.size();) {
        const char32_t c = nextCharacter(typed, i);
        if (isControl(c)) {
            out.text += u' ';
        } else if (!cp850Holds(c)) {
            out.text += QLatin1Char(kCp850Unmapped);
            const QString character = QString::fromUcs4(&c, 1);
            if (!out.replaced.contains(character))
                out.replaced += character;
        } else {
            out.text += QChar(static_cast<char16_t>(c));
        }
    }
    return out;
}

QString replacedCharactersMessage(QStringView replaced)
{
    QStringList characters;
    for (qsizetype i = 0; i < replaced.size();) {
        const qsizetype from = i;
        nextCharacter(replaced, i);
        characters += replaced.sliced(from, i - from).toString();
    }
    return QStringLiteral("These characters cannot be stored in the log and were replaced by \"?\": %1")
        .arg(characters.join(u' '));
}

QString shortDateText(const QDate& date, const QLocale& locale)
{
    if (!date.isValid())
        return {};
    return locale.toString(date, QLocale::ShortFormat);
}

QDate parseShortDate(const QString& text, int referenceYear, const QLocale& locale)
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
                if (!isWholeNumber(text))
                    throw integerError(text, log.field(field).name);
                log.setInteger(field, integerOf(text));
            },
            [](QStringView keyText) { return numberKeys(keyText, QChar()); },
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
        storableKeys,
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
    if (!isWholeNumber(text))
        throw integerError(text, log.field(kStudent).name);
    log.setInteger(kStudent, integerOf(text));
}

bool studentEditVisible(QStringView studentText)
{
    return studentText != u"0";
}

bool studentEditVisible(const LoggedFlight& row)
{
    return row.isNull(kStudent) || row.integer(kStudent) != 0;
}

bool isAcceptedEditKey(LogField field, QStringView keyText, const DisplayMarks& marks)
{
    switch (field) {
    case kTakeoffDate:
        return true;
    case kFlightTime:
    case kHobbs:
        return numberKeys(keyText, separatorOf(fractionMode(marks)));
    case kMaxAltitude:
    case kMaxSpeed:
    case kStudent:
        return numberKeys(keyText, QChar());
    default:
        return storableKeys(keyText);
    }
}

} // namespace cvlog
