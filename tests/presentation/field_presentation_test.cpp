#include "logstore/field_presentation.h"

#include <gtest/gtest.h>

using namespace cvlog;

namespace
{

constexpr auto Minutes = FractionMode::Minutes;
constexpr auto Decimals = FractionMode::Decimals;
constexpr auto Metric = UnitMode::Metric;
constexpr auto Knots = UnitMode::FeetKnots;
constexpr auto Mph = UnitMode::FeetMph;

DisplayMarks marks(bool x1, bool x2, bool x3, bool x4, bool x5)
{
    return { x1, x2, x3, x4, x5 };
}

std::string describe(QStringView text)
{
    return "'" + text.toString().toStdString() + "'";
}

TEST(ShortDate, TwoDigitYearsStayNearTheReferenceYear)
{
    const QLocale us(QLocale::English, QLocale::UnitedStates); // M/d/yy
    struct Case {
        const char* text;
        QDate date;
    };
    const Case cases[] = {
        { "3/5/26", QDate(2026, 3, 5) },
        { "12/31/99", QDate(1999, 12, 31) },
        { "1/1/75", QDate(2075, 1, 1) },
        { "1/1/76", QDate(1976, 1, 1) },
        { "2/29/24", QDate(2024, 2, 29) },
        { "2/30/26", QDate() },
        { "", QDate() },
        { "yesterday", QDate() },
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseShortDate(QString::fromLatin1(c.text), 2026, us), c.date) << c.text;
    EXPECT_EQ(ParseShortDate(ShortDateText(QDate(2026, 3, 5), us), 2026, us), QDate(2026, 3, 5));
    const QLocale german(QLocale::German, QLocale::Germany);
    EXPECT_EQ(ParseShortDate(ShortDateText(QDate(2031, 7, 14), german), 2026, german), QDate(2031, 7, 14));
}

} // namespace

TEST(DisplayMarks, ModesFollowThePrecedenceOfTheMarks)
{
    struct Case {
        DisplayMarks marks;
        UnitMode unit;
        FractionMode fraction;
    };
    const Case cases[] = {
        { DisplayMarks {}, Mph, Minutes }, // the defaults: (2) and (a)
        { marks(true, false, false, true, false), Metric, Minutes },
        { marks(true, false, true, false, true), Metric, Decimals }, // (1) wins over (3)
        { marks(true, true, true, true, true), Metric, Decimals },
        { marks(false, true, true, false, false), Knots, Minutes }, // (3) wins over (2)
        { marks(false, false, false, false, false), Mph, Minutes }, // nothing on: feet/mph, minutes
        { marks(false, false, false, true, true), Mph, Decimals }, // (b) wins over (a)
        { marks(false, false, false, false, true), Mph, Decimals },
    };
    for (const Case& c : cases) {
        EXPECT_EQ(unitMode(c.marks), c.unit);
        EXPECT_EQ(fractionMode(c.marks), c.fraction);
    }
    const DisplayMarks odd = marks(true, false, true, false, true);
    EXPECT_EQ(DisplayMarks::fromArray(odd.toArray()), odd);
}

TEST(DisplayMarks, MenuCommandsSetTheirGroupAndLeaveTheOther)
{
    const DisplayMarks all = marks(true, true, true, true, true);
    const DisplayMarks none = marks(false, false, false, false, false);
    struct Case {
        DisplayMarks (*command)(DisplayMarks);
        DisplayMarks from;
        DisplayMarks expected;
    };
    const Case cases[] = {
        { SelectMetricUnits, all, marks(true, false, false, true, true) },
        { SelectMetricUnits, none, marks(true, false, false, false, false) },
        { SelectFeetMph, all, marks(false, true, false, true, true) },
        { SelectFeetKnots, none, marks(false, false, true, false, false) },
        { SelectMinuteFractions, all, marks(true, true, true, true, false) },
        { SelectDecimalFractions, none, marks(false, false, false, false, true) },
        { SelectDecimalFractions, marks(false, false, false, false, true),
            marks(false, false, false, false, true) },
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.command(c.from), c.expected);
}

TEST(FieldTexts, DurationsInBothFractionModes)
{
    struct Case {
        std::int32_t minutes;
        const char16_t* flightMinutes;
        const char16_t* flightDecimals;
        const char16_t* hobbsDecimals;
    };
    const Case cases[] = {
        { 90, u"1:30", u"1.50", u"1.5" },
        { 61, u"1:01", u"1.01", u"1.0" },
        { 65, u"1:05", u"1.08", u"1.0" },
        { 119, u"1:59", u"1.98", u"1.9" },
        { 6, u"0:06", u"0.10", u"0.1" },
        { 0, u"0:00", u"0.00", u"0.0" },
        { 65535, u"1092:15", u"1092.25", u"1092.2" },
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FlightTimeText(c.minutes, Minutes), QStringView(c.flightMinutes)) << c.minutes;
        EXPECT_EQ(HobbsText(c.minutes, Minutes), QStringView(c.flightMinutes)) << c.minutes;
        EXPECT_EQ(FlightTimeText(c.minutes, Decimals), QStringView(c.flightDecimals)) << c.minutes;
        EXPECT_EQ(HobbsText(c.minutes, Decimals), QStringView(c.hobbsDecimals)) << c.minutes;
    }
}

TEST(FieldTexts, FormatHoursMinutes)
{
    const std::pair<std::int64_t, const char16_t*> cases[] = {
        { 0, u"0:00" },
        { 65, u"1:05" },
        { 90, u"1:30" },
        { 600, u"10:00" },
        { 6000, u"100:00" },
        { 160, u"2:40" },
        // A total of many long flights goes past 32 bits without wrapping.
        { 3'000'000'000LL, u"50000000:00" },
    };
    for (const auto& [minutes, text] : cases)
        EXPECT_EQ(FormatHoursMinutes(minutes), QStringView(text)) << minutes;
}

TEST(ParseDuration, ReadsTypedDurations)
{
    using enum DurationField;
    struct Case {
        const char16_t* text;
        FractionMode mode;
        DurationField field;
        std::int32_t expected;
    };
    const Case cases[] = {
        { u"1:30", Minutes, FlightTime, 90 }, { u"1:75", Minutes, FlightTime, 135 },
        { u"2", Minutes, FlightTime, 120 }, // no separator: whole hours
        { u":45", Minutes, Hobbs, 45 }, { u"1:30:00", Minutes, FlightTime, 60 }, // "30:00" is no number
        { u"", Minutes, FlightTime, 0 }, { u"", Decimals, FlightTime, 0 },
        { u"1.5", Minutes, FlightTime, 0 }, // "1.5" is no number
        { u"1:", Minutes, Hobbs, 60 }, { u"abc", Minutes, FlightTime, 0 },
        { u"1:-30", Minutes, FlightTime, 30 }, { u"1092:15", Minutes, FlightTime, 65535 },
        // The Hobbs time counts tenths of an hour.
        { u"1.5", Decimals, Hobbs, 90 }, { u"2.5", Decimals, Hobbs, 150 }, { u"2", Decimals, Hobbs, 120 },
        { u"0.9", Decimals, Hobbs, 54 }, { u"1.50", Decimals, Hobbs, 360 },
        // The flight time's digits are a decimal fraction of an hour.
        { u"1.5", Decimals, FlightTime, 90 }, { u"1.50", Decimals, FlightTime, 90 },
        { u"1.25", Decimals, FlightTime, 75 }, { u"0.10", Decimals, FlightTime, 6 },
        { u"2", Decimals, FlightTime, 120 }, { u"1.01", Decimals, FlightTime, 61 },
        { u"1.98", Decimals, FlightTime, 119 }, { u"1.99", Decimals, FlightTime, 119 }, // 59.4 minutes
        { u"1.999", Decimals, FlightTime, 120 }, // 59.94 minutes
        { u"0.125", Decimals, FlightTime, 8 }, // 7.5 minutes, half up
        { u"1.", Decimals, FlightTime, 60 }, { u"1.5.0", Decimals, FlightTime, 60 }, // "5.0" is no fraction
        { u"1.-5", Decimals, FlightTime, 60 }, { u"1.x5", Decimals, FlightTime, 60 },
        { u"1:30", Decimals, FlightTime, 0 }, // "1:30" is no number
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseDuration(QStringView(c.text), c.mode, c.field), c.expected) << describe(c.text);
}

TEST(ParseDuration, EveryShownTextReadsBackAsItsValue)
{
    for (std::int32_t m = 0; m <= 65535; ++m) {
        ASSERT_EQ(ParseDuration(FlightTimeText(m, Decimals), Decimals, DurationField::FlightTime), m);
        ASSERT_EQ(ParseDuration(FlightTimeText(m, Minutes), Minutes, DurationField::FlightTime), m);
        ASSERT_EQ(ParseDuration(HobbsText(m, Minutes), Minutes, DurationField::Hobbs), m);
    }
}

TEST(ParseDuration, RefusesDurationsOutsideSixteenBits)
{
    struct Case {
        const char16_t* text;
        FractionMode mode;
    };
    const Case cases[] = {
        { u"-1:30", Minutes },
        { u"0:-1", Minutes },
        { u"1093:00", Minutes },
        { u"1092:16", Minutes }, // 65536
        { u"$FFFF", Minutes },
        { u"2147483647", Minutes },
        { u"-1.5", Decimals },
        { u"1092.26", Decimals },
    };
    for (const Case& c : cases) {
        const QString text = QString::fromUtf16(c.text);
        try {
            ParseDuration(text, c.mode, DurationField::FlightTime);
            ADD_FAILURE() << describe(text) << " was accepted";
        } catch (const DbfError& e) {
            EXPECT_EQ(
                QString::fromStdString(e.what()), QStringLiteral("'%1' is not a valid duration").arg(text));
        }
    }
}

TEST(ParseDuration, LongPastedTextReadsOnlyTenCharactersOfEachPart)
{
    const QString filler(300, u'9');
    struct Case {
        QString text;
        FractionMode mode;
        std::int32_t expected; // -1: refused
    };
    const Case cases[] = {
        { QStringLiteral("0000000001") + filler, Minutes, 60 },
        { QStringLiteral("1:0000000005") + filler, Minutes, 65 },
        { QStringLiteral("1.5000000000") + filler, Decimals, 90 },
        { QStringLiteral("0:45xxxxxxxx") + filler, Minutes, 0 },
        { QString(400, u':'), Minutes, 0 },
        { QString(400, u'x'), Decimals, 0 },
        { filler, Minutes, 0 }, // 9999999999 hours is no 32-bit number
        { QStringLiteral("1000000000") + filler, Minutes, -1 },
    };
    for (const Case& c : cases) {
        if (c.expected < 0) {
            EXPECT_THROW(ParseDuration(c.text, c.mode, DurationField::FlightTime), DbfError);
            continue;
        }
        EXPECT_EQ(ParseDuration(c.text, c.mode, DurationField::FlightTime), c.expected) << describe(c.text);
    }
}

TEST(FieldTexts, AltitudeAndSpeedTruncateInBothDirections)
{
    struct Shown {
        std::int32_t stored;
        UnitMode mode;
        const char16_t* altitude;
        const char16_t* speed;
    };
    const Shown shown[] = {
        { 1000, Metric, u"304", u"1609" },
        { 1000, Knots, u"1000", u"868" },
        { 100, Metric, u"30", u"160" },
        { 100, Knots, u"100", u"86" },
        { 100, Mph, u"100", u"100" },
        { 3280, Metric, u"999", u"5278" },
        { -1000, Metric, u"-304", u"-1609" }, // toward zero, not down
        { 0, Metric, u"0", u"0" },
    };
    for (const Shown& s : shown) {
        EXPECT_EQ(AltitudeText(s.stored, s.mode), QStringView(s.altitude)) << s.stored;
        EXPECT_EQ(SpeedText(s.stored, s.mode), QStringView(s.speed)) << s.stored;
    }

    struct Typed {
        const char16_t* text;
        UnitMode mode;
        std::int64_t altitude;
        std::int64_t speed;
    };
    const Typed typed[] = {
        { u"1000", Metric, 3280, 621 },
        { u"100", Metric, 328, 62 },
        { u"100", Knots, 100, 115 },
        { u"100", Mph, 100, 100 },
        { u"-100", Metric, -328, -62 },
        { u"", Metric, 0, 0 },
        { u"abc", Knots, 0, 0 },
        { u"$10", Mph, 16, 16 },
        // Too wide for the table's field; the table refuses it, not the conversion.
        { u"1000000000", Metric, 3280839895LL, 621371192 },
    };
    for (const Typed& t : typed) {
        EXPECT_EQ(AltitudeFromText(QStringView(t.text), t.mode), t.altitude) << describe(t.text);
        EXPECT_EQ(SpeedFromText(QStringView(t.text), t.mode), t.speed) << describe(t.text);
    }
    // Typed metric and knot values may read back one lower.
    EXPECT_EQ(AltitudeText(3280, Metric), u"999");
    EXPECT_EQ(SpeedText(62, Metric), u"99");
    EXPECT_EQ(SpeedText(115, Knots), u"99");
}

TEST(FieldTexts, EditsTakeOnlySignsAndDigitsFromTheKeyboard)
{
    const char16_t* accepted[] = { u"+", u"-", u"0", u"5", u"9", u"", u"\b", u"\r", u"\x1b", u"\x7f" };
    const char16_t* refused[] = { u".", u":", u"a", u" ", u"\u00e9", u"1a", u"/" };
    for (const char16_t* key : accepted)
        EXPECT_TRUE(IsAcceptedEditKey(QStringView(key))) << describe(key);
    for (const char16_t* key : refused)
        EXPECT_FALSE(IsAcceptedEditKey(QStringView(key))) << describe(key);
}

TEST(FieldTexts, StudentEditHiddenOnlyForZero)
{
    EXPECT_FALSE(StudentEditVisible(u"0"));
    for (const char16_t* text : { u"", u"3", u"00", u"-", u"10" })
        EXPECT_TRUE(StudentEditVisible(QStringView(text))) << describe(text);
}
