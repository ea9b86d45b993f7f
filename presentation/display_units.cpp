#include "presentation/display_units.h"

#include <cmath>

namespace cvlog
{

using namespace units;

namespace
{

constexpr std::int64_t kMinutesPerTenth = 6;

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

QChar fractionSeparator(FractionMode mode)
{
    return mode == FractionMode::Decimals ? u'.' : u':';
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

QString hobbsText(std::int64_t minutes, FractionMode mode)
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

} // namespace cvlog
