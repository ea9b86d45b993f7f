#pragma once
// How the record edits, the statistics and the exports show the stored
// numbers (minutes, feet, miles per hour) in the chosen units.
//
// Everything is stored in one fixed unit and converted only for display, so
// the check marks of the Setup menu are the only place the display modes
// live; they are read afresh each time a text is made or read.

#include <QChar>
#include <QString>

#include <array>
#include <cstdint>

namespace cvlog
{

// The factors between the stored units and the shown ones, for the texts
// made here and the typed texts read back.
namespace units
{
inline constexpr double kMetresPerFoot = 0.3048;
inline constexpr double kKilometresPerMile = 1.609344;
inline constexpr double kKnotsPerMile = 0.8689762;
inline constexpr std::int64_t kMinutesPerHour = 60;
} // namespace units

enum class UnitMode { Metric, FeetKnots, FeetMph };
enum class FractionMode { Minutes, Decimals };

// The five check marks of the Setup menu, as loaded from and saved to the
// settings keys x1..x5.
struct DisplayMarks {
    bool x1 = false; // "(&1) Units Meters,kmh"
    bool x2 = true; // "(&2) Units feet,mph" (never consulted: feet and mph are what remains)
    bool x3 = false; // "(&3) Units feet,knots"
    bool x4 = true; // "(&a) Hour fractions are minutes" (never consulted)
    bool x5 = false; // "(&b) Hour fractions are decimals"

    static DisplayMarks fromArray(const std::array<bool, 5>& marks);
    std::array<bool, 5> toArray() const;
    bool operator==(const DisplayMarks&) const = default;
};

// Metric wins over knots, knots over the remaining feet/mph.
UnitMode unitMode(const DisplayMarks& marks);
// Decimals when (b) is on, whatever (a) says.
FractionMode fractionMode(const DisplayMarks& marks);

// The marks after each of the Setup menu's unit and hour-fraction commands.
// The window re-reads the log afterwards so that the grid shows the new
// modes.
DisplayMarks selectMetricUnits(DisplayMarks marks);
DisplayMarks selectFeetMph(DisplayMarks marks);
DisplayMarks selectFeetKnots(DisplayMarks marks);
DisplayMarks selectMinuteFractions(DisplayMarks marks);
DisplayMarks selectDecimalFractions(DisplayMarks marks);

// What parts hours and their fraction in a duration's text: ":" for
// minutes, "." for decimals.
QChar fractionSeparator(FractionMode mode);

// Whole hours, ":", two-digit minutes (65 gives 1:05); independent of the
// modes. Used by the filter's time total and the text exports.
QString formatHoursMinutes(std::int64_t minutes);

// Field texts, from the stored value (a null field reads 0).
QString flightTimeText(std::int64_t minutes, FractionMode mode); // 1:30 or 1.50
QString hobbsText(std::int64_t minutes, FractionMode mode); // 1:30 or 1.5
QString altitudeText(std::int32_t feet, UnitMode mode);
QString speedText(std::int32_t milesPerHour, UnitMode mode);

} // namespace cvlog
