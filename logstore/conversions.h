#pragma once
// Small conversions shared by the settings, the typed field values and the
// date filter.

#include <QDate>
#include <QStringView>

#include <array>
#include <cstdint>

namespace cvlog
{

// The one text-to-integer conversion wherever a number is read from text:
// leading blanks skipped, an optional sign, decimal digits or a hexadecimal
// number after "$", "x", "X", "0x" or "0X"; a signed 32-bit result. Empty
// text, trailing characters or an out-of-range number give the default.
std::int32_t integerOrDefault(QStringView text, std::int32_t fallback);

// Day numbers count whole days from 30 December 1899 (day 0).
std::int32_t dayNumberOf(const QDate& date);
QDate dateFromDayNumber(std::int64_t dayNumber);

// A date of the years 1 to 9999 as a table row stores it, "yyyymmdd", for
// searches that compare the rows' bytes without decoding them.
std::array<char, 8> storedDateBytes(const QDate& date);

// value when low <= value <= high, else the fallback.
constexpr std::int32_t rangeOrDefault(
    std::int32_t value, std::int32_t low, std::int32_t high, std::int32_t fallback)
{
    return (value >= low && value <= high) ? value : fallback;
}

} // namespace cvlog
