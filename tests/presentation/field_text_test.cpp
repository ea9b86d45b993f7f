#include "presentation/field_text.h"
#include "presentation/key_filter.h"
#include "presentation/short_date.h"
#include "presentation/typed_text.h"

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
        EXPECT_EQ(parseShortDate(QString::fromLatin1(c.text), 2026, us), c.date) << c.text;
    EXPECT_EQ(parseShortDate(shortDateText(QDate(2026, 3, 5), us), 2026, us), QDate(2026, 3, 5));
    const QLocale german(QLocale::German, QLocale::Germany);
    EXPECT_EQ(parseShortDate(shortDateText(QDate(2031, 7, 14), german), 2026, german), QDate(2031, 7, 14));
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
        { selectMetricUnits, all, marks(true, false, false, true, true) },
        { selectMetricUnits, none, marks(true, false, false, false, false) },
        { selectFeetMph, all, marks(false, true, false, true, true) },
        { selectFeetKnots, none, marks(false, false, true, false, false) },
        { selectMinuteFractions, all, marks(true, true, true, true, false) },
        { selectDecimalFractions, none, marks(false, false, false, false, true) },
        { selectDecimalFractions, marks(false, false, false, false, true),
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
        EXPECT_EQ(flightTimeText(c.minutes, Minutes), QStringView(c.flightMinutes)) << c.minutes;
        EXPECT_EQ(hobbsText(c.minutes, Minutes), QStringView(c.flightMinutes)) << c.minutes;
        EXPECT_EQ(flightTimeText(c.minutes, Decimals), QStringView(c.flightDecimals)) << c.minutes;
        EXPECT_EQ(hobbsText(c.minutes, Decimals), QStringView(c.hobbsDecimals)) << c.minutes;
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
        EXPECT_EQ(formatHoursMinutes(minutes), QStringView(text)) << minutes;
}

TEST(ParseDuration, EveryShownTextReadsBackAsItsValue)
{
    std::vector<std::int32_t> values;
    for (std::int32_t m = 0; m <= 65535; ++m)
        values.push_back(m);
    for (std::int32_t m : { 1'530'000, 999'999'940, 999'999'999 })
        values.push_back(m);
    for (std::int32_t m : values) {
        ASSERT_EQ(parseDuration(flightTimeText(m, Decimals), Decimals), m);
        ASSERT_EQ(parseDuration(flightTimeText(m, Minutes), Minutes), m);
        ASSERT_EQ(parseDuration(hobbsText(m, Minutes), Minutes), m);
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
        EXPECT_EQ(altitudeText(s.stored, s.mode), QStringView(s.altitude)) << s.stored;
        EXPECT_EQ(speedText(s.stored, s.mode), QStringView(s.speed)) << s.stored;
    }

    // Typed metric and knot values may read back one lower.
    EXPECT_EQ(altitudeText(3280, Metric), u"999");
    EXPECT_EQ(speedText(62, Metric), u"99");
    EXPECT_EQ(speedText(115, Knots), u"99");
}

TEST(FieldTexts, EachEditTakesTheKeysItsFieldCanHold)
{
    const DisplayMarks minutes {};
    const DisplayMarks decimals = selectDecimalFractions({});
    struct Case {
        LogField field;
        DisplayMarks marks;
        const char16_t* keys;
        bool taken;
    };
    const Case cases[] = {
        { kFlightTime, minutes, u"+-0123456789:", true },
        { kHobbs, decimals, u"+-0123456789.", true },
        { kFlightTime, minutes, u".", false },
        { kHobbs, decimals, u":", false },
        { kMaxAltitude, minutes, u":", false },
        { kMaxSpeed, decimals, u".", false },
        { kStudent, minutes, u"a", false },
        { kFlightTime, minutes, u" ", false },
        { kMaxAltitude, minutes, u"\u00e9", false },
        // Control and navigation keys pass everywhere.
        { kMaxSpeed, minutes, u"", true },
        { kStudent, minutes, u"\b\r\x1b\x7f", true },
        { kComment, minutes, u"aZ 1.:/\u00e9\u00df\u00bd?", true },
        { kInstrument, minutes, u"\u20ac", false },
        { kComment, minutes, u"\u65e5", false },
        { kTakeoffTime, minutes, u"\u03a9", false },
        { kComment, minutes, u"\U0001F600", false },
        { kTakeoffDate, minutes, u"\u65e5.", true },
    };
    for (const Case& c : cases)
        EXPECT_EQ(isAcceptedEditKey(c.field, QStringView(c.keys), c.marks), c.taken)
            << logTableField(c.field).name.toStdString() << " " << describe(QStringView(c.keys));
}

TEST(FieldTexts, APastedTextIsMadeStorableAndSaysWhatWasReplaced)
{
    const StorableText made = storableText(u"a\tb\u65e5\u672c\u20ac\u65e5\U0001F600\u00e9\r\n");
    EXPECT_EQ(made.text, QStringView(u"a b?????\u00e9  "));
    EXPECT_EQ(made.replaced, QStringView(u"\u65e5\u672c\u20ac\U0001F600"));
    EXPECT_EQ(replacedCharactersMessage(made.replaced),
        QStringView(u"These characters cannot be stored in the log and were replaced by \"?\": "
                    u"\u65e5 \u672c \u20ac \U0001F600"));
    EXPECT_TRUE(storableText(u"plain, 1:30").replaced.isEmpty());
}

TEST(FieldTexts, StudentEditHiddenOnlyForZero)
{
    EXPECT_FALSE(studentEditVisible(u"0"));
    for (const char16_t* text : { u"", u"3", u"00", u"-", u"10" })
        EXPECT_TRUE(studentEditVisible(QStringView(text))) << describe(text);
}

// The opening totals as typed in either hour fraction: read, taken away when
// emptied, or refused with the reason.
TEST(OpeningTotals, TypedTotalsAreReadInTheChosenFractionsOrRefused)
{
    const QLocale british(QLocale::English, QLocale::UnitedKingdom);
    const QDate today(2026, 3, 31);
    const QDate firstFlight(2024, 5, 1);
    struct Case {
        FractionMode mode;
        TypedOpeningTotals typed;
        std::optional<OpeningTotals> totals;
        const char* refusal; // its start; empty when read
    };
    const Case cases[] = {
        { Minutes, { "120", "95:30", "101:05", "31/12/2023" },
            OpeningTotals { 120, 5730, 6065, { 2023, 12, 31 } }, "" },
        { Decimals, { "120", "95.5", "101.08", "31/12/2023" },
            OpeningTotals { 120, 5730, 6065, { 2023, 12, 31 } }, "" },
        { Decimals, { " 3 ", "1.50", "", "01/05/2024" }, OpeningTotals { 3, 90, 0, { 2024, 5, 1 } }, "" },
        { Minutes, { "", ":45", "2:", "01/01/2000" }, OpeningTotals { 0, 45, 120, { 2000, 1, 1 } }, "" },
        { Minutes, { "", "  ", "", "" }, std::nullopt, "" },
        { Minutes, { "-1", "1:00", "1:00", "01/01/2020" }, std::nullopt,
            "The flights before the log must be" },
        { Minutes, { "ten", "1:00", "1:00", "01/01/2020" }, std::nullopt,
            "The flights before the log must be" },
        { Minutes, { "10000000", "1:00", "1:00", "01/01/2020" }, std::nullopt,
            "The flights before the log must be" },
        { Minutes, { "1", "1.5", "1:00", "01/01/2020" }, std::nullopt,
            "The flight time before the log must be hours and a fraction, as 1:30." },
        { Decimals, { "1", "1:30", "1", "01/01/2020" }, std::nullopt,
            "The flight time before the log must be hours and a fraction, as 1.50." },
        { Decimals, { "1", "1", "-1", "01/01/2020" }, std::nullopt, "The Hobbs time before the log must be" },
        { Minutes, { "1", "1:00", "1:00", "" }, std::nullopt,
            "The opening totals need the date they stand at, as 31/03/2026." },
        { Minutes, { "1", "1:00", "1:00", "31/02/2020" }, std::nullopt, "The opening totals need the date" },
        { Minutes, { "1", "1:00", "1:00", "01/04/2026" }, std::nullopt,
            "The opening totals cannot stand at a date after today." },
        { Minutes, { "1", "1:00", "1:00", "02/05/2024" }, std::nullopt,
            "The opening totals are flown before the log: their date cannot be after its first flight, "
            "01/05/2024." },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(describe(c.typed.flights) + describe(c.typed.flightTime) + describe(c.typed.hobbsTime)
            + describe(c.typed.date));
        const OpeningTotalsInput input = readTypedOpeningTotals(c.typed, c.mode, today, firstFlight, british);
        EXPECT_EQ(input.totals, c.totals);
        if (*c.refusal == 0)
            EXPECT_EQ(input.refusal, QString());
        else
            EXPECT_TRUE(input.refusal.startsWith(QLatin1String(c.refusal))) << input.refusal.toStdString();
    }
    // A log without dated flights leaves only today as the limit.
    EXPECT_TRUE(
        readTypedOpeningTotals({ "1", "1:00", "1:00", "31/03/2026" }, Minutes, today, {}, british).totals);
}
