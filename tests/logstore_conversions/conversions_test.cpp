#include "logstore/conversions.h"

#include <gtest/gtest.h>

using namespace cvlog;

TEST(IntegerOrDefault, ReadsDecimalHexAndRefusesTheRest)
{
    struct Case {
        const char16_t* text;
        std::int32_t expected;
    };
    const Case cases[] = {
        { u"42", 42 },
        { u"   -17", -17 },
        { u"+8", 8 },
        { u"0x3", 3 },
        { u"0X1f", 31 },
        { u"$10", 16 },
        { u"x10", 16 },
        { u"-$10", -16 },
        { u"2147483647", 2147483647 },
        { u"-2147483648", -2147483647 - 1 },
        { u"$FFFFFFFF", -1 },
        // Everything below falls back to the default.
        { u"", 99 },
        { u"   ", 99 },
        { u"abc", 99 },
        { u"12 ", 99 },
        { u"1.5", 99 },
        { u"-", 99 },
        { u"0x", 99 },
        { u"$", 99 },
        { u"2147483648", 99 },
        { u"-2147483649", 99 },
        { u"$100000000", 99 },
        { u"99999999999999999999999", 99 },
    };
    for (const Case& c : cases)
        EXPECT_EQ(integerOrDefault(QStringView(c.text), 99), c.expected)
            << QString::fromUtf16(c.text).toStdString();
}

TEST(DayNumber, CountsFromThirtiethDecember1899)
{
    EXPECT_EQ(dayNumberOf(QDate(1899, 12, 30)), 0);
    EXPECT_EQ(dayNumberOf(QDate(2000, 1, 1)), 36526);
    EXPECT_EQ(dayNumberOf(QDate(2026, 3, 5)), 46086);
    EXPECT_EQ(dayNumberOf(QDate(1899, 12, 29)), -1);
    EXPECT_EQ(dateFromDayNumber(46086), QDate(2026, 3, 5));
    EXPECT_EQ(dateFromDayNumber(dayNumberOf(QDate(2024, 2, 29))), QDate(2024, 2, 29));
}

TEST(RangeOrDefault, KeepsOnlyValuesInsideTheBounds)
{
    EXPECT_EQ(rangeOrDefault(1, 1, 8, 1), 1);
    EXPECT_EQ(rangeOrDefault(8, 1, 8, 1), 8);
    EXPECT_EQ(rangeOrDefault(0, 1, 8, 1), 1);
    EXPECT_EQ(rangeOrDefault(9, 1, 8, 1), 1);
    EXPECT_EQ(rangeOrDefault(-5, 1, 8, 3), 3);
}
