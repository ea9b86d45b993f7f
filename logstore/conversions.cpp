#include "logstore/conversions.h"

#include <limits>

namespace cvlog
{

namespace
{

constexpr std::int64_t kDayZeroJulian = 2415019; // 30 December 1899

int digitValue(QChar c, int base)
{
    const char16_t u = c.unicode();
    int v = -1;
    if (u >= '0' && u <= '9')
        v = u - '0';
    else if (u >= 'a' && u <= 'f')
        v = u - 'a' + 10;
    else if (u >= 'A' && u <= 'F')
        v = u - 'A' + 10;
    return v < base ? v : -1;
}

} // namespace

std::int32_t integerOrDefault(QStringView text, std::int32_t fallback)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    int base = 10;
    if (i < n && (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    if (i == n)
        return fallback;
    // Hexadecimal numbers may fill all 32 bits; decimal ones must fit the signed range.
    const std::int64_t limit = base == 16
        ? std::int64_t { std::numeric_limits<std::uint32_t>::max() }
        : std::int64_t { std::numeric_limits<std::int32_t>::max() } + negative;
    std::int64_t value = 0;
    for (; i < n; ++i) {
        const int d = digitValue(text[i], base);
        if (d < 0)
            return fallback;
        value = value * base + d;
        if (value > limit)
            return fallback;
    }
    if (negative)
        value = -value;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

std::int32_t dayNumberOf(const QDate& date)
{
    if (!date.isValid())
        return 0;
    return static_cast<std::int32_t>(date.toJulianDay() - kDayZeroJulian);
}

QDate dateFromDayNumber(std::int64_t dayNumber)
{
    return QDate::fromJulianDay(dayNumber + kDayZeroJulian);
}

std::array<char, 8> storedDateBytes(const QDate& date)
{
    std::array<char, 8> stored {};
    auto put = [&](std::size_t end, int value, int digits) {
        for (int i = 0; i < digits; ++i, value /= 10)
            stored[end - static_cast<std::size_t>(i)] = static_cast<char>('0' + value % 10);
    };
    put(3, date.year(), 4);
    put(5, date.month(), 2);
    put(7, date.day(), 2);
    return stored;
}

} // namespace cvlog
