#include "presentation/typed_text.h"

#include "logstore/conversions.h"
#include "logstore/cp850.h"
#include "presentation/short_date.h"
#include "presentation/text_characters.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace cvlog
{

using namespace units;

namespace
{

// Digits of a decimal hour fraction beyond these are far below a second;
// they are checked but not counted.
constexpr qsizetype kFractionDigits = 15;

// A typed number of a converted edit; an emptied edit stores 0.
std::optional<std::int32_t> typedNumber(QStringView text)
{
    if (text.trimmed().isEmpty())
        return 0;
    return wholeNumber(text);
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

} // namespace

std::optional<std::int32_t> wholeNumber(QStringView text)
{
    // The conversion has no failure value of its own: a text that is no
    // number gives whichever default it is handed.
    const std::int32_t value = integerOrDefault(text, 0);
    if (value != integerOrDefault(text, 1))
        return std::nullopt;
    return value;
}

std::optional<std::int32_t> parseDuration(QStringView text, FractionMode mode)
{
    const qsizetype at = text.indexOf(fractionSeparator(mode));
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

OpeningTotalsInput readTypedOpeningTotals(const TypedOpeningTotals& typed, FractionMode mode,
    const QDate& today, const QDate& firstFlight, const QLocale& locale)
{
    auto refused = [](const QString& why) { return OpeningTotalsInput { std::nullopt, why }; };
    const QStringView texts[] = { typed.flights, typed.flightTime, typed.hobbsTime, typed.date };
    if (std::all_of(std::begin(texts), std::end(texts), [](QStringView t) { return t.trimmed().isEmpty(); }))
        return {};
    // Blanks around a typed value say nothing.
    const QString flightsText = typed.flights.trimmed();
    OpeningTotals totals;
    const auto flights = typedNumber(flightsText);
    if (!flights || *flights < 0 || *flights > kMostOpeningFlights || flightsText.startsWith(u'-'))
        return refused(QStringLiteral("The flights before the log must be a whole number from 0 to %1.")
                           .arg(kMostOpeningFlights));
    totals.flights = *flights;
    const QString example = flightTimeText(90, mode);
    const auto minutes = parseDuration(typed.flightTime.trimmed(), mode);
    if (!minutes)
        return refused(QStringLiteral("The flight time before the log must be hours and a fraction, as %1.")
                           .arg(example));
    totals.minutes = *minutes;
    const auto hobbs = parseDuration(typed.hobbsTime.trimmed(), mode);
    if (!hobbs)
        return refused(QStringLiteral("The Hobbs time before the log must be hours and a fraction, as %1.")
                           .arg(example));
    totals.hobbsMinutes = *hobbs;
    totals.date = parseShortDate(typed.date.trimmed(), today.year(), locale);
    if (!totals.date.isValid())
        return refused(QStringLiteral("The opening totals need the date they stand at, as %1.")
                           .arg(shortDateText(today, locale)));
    if (totals.date > today)
        return refused(QStringLiteral("The opening totals cannot stand at a date after today."));
    if (firstFlight.isValid() && totals.date > firstFlight)
        return refused(
            QStringLiteral("The opening totals are flown before the log: their date cannot be after "
                           "its first flight, %1.")
                .arg(shortDateText(firstFlight, locale)));
    return { totals, {} };
}

} // namespace cvlog
