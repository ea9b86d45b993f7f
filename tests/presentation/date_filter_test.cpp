#include "presentation/date_filter.h"
#include "presentation/field_text.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>
#include <vector>

using namespace cvlog;

namespace
{

struct Flight {
    QDate date; // invalid: no date
    std::int32_t minutes;
};

// A log table in a temporary directory, opened as the main view with the
// filter's predicate installed.
class LogTable : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        table.setPath(std::filesystem::path(dir.path().toStdString()) / "CVLog.dbf");
        table.create(logTableFields());
        table.open();
        table.setFilterPredicate(filter.predicate(table));
    }

    void add(const std::vector<Flight>& flights)
    {
        for (const Flight& f : flights) {
            table.append(); // starts blank: no date
            if (f.date.isValid())
                table.setDate(kTakeoffDate, f.date);
            table.setInteger(kFlightTime, f.minutes);
            table.post();
        }
    }

    // The flight times of the visible rows, in order.
    std::vector<std::int32_t> shown()
    {
        std::vector<std::int32_t> minutes;
        for (table.first(); !table.eof(); table.next())
            minutes.push_back(table.integer(kFlightTime));
        return minutes;
    }

    DateFilterView check(const QDate& from, const QDate& to) { return filter.setOn(table, true, from, to); }

    QTemporaryDir dir;
    FlightLog table;
    DateFilter filter;
};

const QDate kMarch4(2026, 3, 4);
const QDate kMarch5(2026, 3, 5);
const QDate kMarch6(2026, 3, 6);

using Minutes = std::vector<std::int32_t>;

} // namespace

TEST_F(LogTable, RangesPassRowsByCalendarDateBothEndsIncluded)
{
    add({ { QDate(2025, 12, 31), 10 }, { kMarch4, 20 }, { kMarch5, 30 }, { kMarch5, 40 }, { kMarch6, 50 },
        { QDate(), 60 }, { QDate(2027, 1, 1), 70 } });
    struct Case {
        QDate from, to;
        Minutes rows;
        const char16_t* total;
    };
    const Case cases[] = {
        { kMarch5, kMarch5, { 30, 40 }, u"1:10" }, // one day
        { kMarch4, kMarch6, { 20, 30, 40, 50 }, u"2:20" },
        { QDate(2025, 12, 31), QDate(2026, 1, 1), { 10 }, u"0:10" }, // across the year's end
        { QDate(2026, 4, 1), QDate(2026, 12, 31), {}, u"0:00" }, // no flight in range
        { QDate(1899, 12, 30), QDate(1899, 12, 30), { 60 }, u"1:00" }, // no date is day 0
        { QDate(1800, 1, 1), QDate(2026, 3, 4), { 10, 20, 60 }, u"1:30" },
        { QDate(1899, 12, 31), QDate(2100, 1, 1), { 10, 20, 30, 40, 50, 70 }, u"3:40" },
    };
    for (const Case& c : cases) {
        const DateFilterView view = check(c.from, c.to);
        EXPECT_TRUE(view.changed);
        EXPECT_EQ(view.to, c.to);
        EXPECT_EQ(view.totalText, QStringView(c.total)) << c.from.toString().toStdString();
        EXPECT_EQ(shown(), c.rows) << c.from.toString().toStdString();
    }
}

TEST_F(LogTable, TotalAddsTheFlightTimesOfThePassingRows)
{
    add({ { kMarch5, 90 }, { kMarch4, 1000 }, { kMarch5, 65 }, { kMarch5, 500 } });
    table.last();
    table.remove(); // a deleted row counts nowhere
    table.append();
    table.setDate(kTakeoffDate, kMarch5); // no flight time: counts as 0
    table.post();

    const DateFilterView view = check(kMarch5, kMarch5);
    EXPECT_EQ(view.totalText, u"2:35");
    EXPECT_EQ(filter.totalMinutes(), 155);

    table.first();
    table.edit();
    table.setInteger(kFlightTime, 110);
    table.post();
    // Edits after the recomputation do not change the total until the next one.
    EXPECT_EQ(filter.totalText(), u"2:35");
    EXPECT_EQ(filter.periodChanged(table, true, kMarch5, kMarch5).totalText, u"2:55");
}

TEST_F(LogTable, NinetySixtyFiveAndFiveMakeTwoFourty)
{
    add({ { kMarch4, 90 }, { kMarch5, 65 }, { kMarch6, 5 } });
    EXPECT_EQ(check(kMarch4, kMarch6).totalText, u"2:40");
}

TEST_F(LogTable, ToEarlierThanFromIsRaisedToFrom)
{
    add({ { kMarch4, 10 }, { kMarch5, 20 }, { kMarch6, 30 } });
    const DateFilterView view = check(kMarch5, kMarch4);
    EXPECT_TRUE(view.changed);
    EXPECT_EQ(view.to, kMarch5);
    EXPECT_EQ(view.totalText, u"0:20");
    EXPECT_EQ(shown(), Minutes({ 20 }));
}

TEST_F(LogTable, RowBeingEditedIsPostedBeforeTheSum)
{
    add({ { kMarch4, 10 }, { kMarch5, 20 } });
    for (const bool alreadyFiltered : { false, true }) {
        table.first();
        table.edit();
        table.setInteger(kFlightTime, alreadyFiltered ? 40 : 30);
        const DateFilterView view = filter.periodChanged(table, true, kMarch4, kMarch5);
        EXPECT_EQ(view.totalText, alreadyFiltered ? u"1:00" : u"0:50");
        EXPECT_EQ(table.state(), DbfTable::State::Browse);
    }
    filter.setOn(table, false, kMarch4, kMarch5);
    EXPECT_EQ(shown(), Minutes({ 40, 20 }));
}

TEST_F(LogTable, LastPassingRowIsCurrentAfterTheRecomputation)
{
    add({ { kMarch4, 10 }, { kMarch5, 20 }, { kMarch5, 30 }, { kMarch6, 40 } });
    check(kMarch4, kMarch5);
    EXPECT_EQ(table.recordNumber(), 3u);
    EXPECT_EQ(table.integer(kFlightTime), 30);
}

TEST_F(LogTable, UncheckingShowsEveryRowAndEmptiesTheTotal)
{
    add({ { kMarch4, 10 }, { kMarch5, 20 }, { QDate(), 30 } });
    check(kMarch5, kMarch5);
    ASSERT_EQ(shown(), Minutes({ 20 }));

    const DateFilterView view = filter.setOn(table, false, kMarch5, kMarch5);
    EXPECT_TRUE(view.changed);
    EXPECT_TRUE(view.totalText.isEmpty());
    EXPECT_FALSE(table.isFiltered());
    EXPECT_EQ(shown(), Minutes({ 10, 20, 30 }));

    // A picker changed while unchecked leaves the view unfiltered.
    const DateFilterView changed = filter.periodChanged(table, false, kMarch4, kMarch4);
    EXPECT_TRUE(changed.changed);
    EXPECT_TRUE(changed.totalText.isEmpty());
    EXPECT_EQ(shown(), Minutes({ 10, 20, 30 }));
}

TEST_F(LogTable, ModeChangeWhileFilteredKeepsRowsAndTotal)
{
    add({ { kMarch4, 10 }, { kMarch5, 20 } });
    check(kMarch5, kMarch5);
    DisplayMarks marks = selectDecimalFractions(selectMetricUnits({}));
    table.refresh(); // what the menu command does after setting the marks
    EXPECT_EQ(shown(), Minutes({ 20 }));
    EXPECT_EQ(filter.totalText(), u"0:20");
    table.first();
    EXPECT_EQ(fieldText(table.currentFlight(), kFlightTime, marks), u"0.33");
}

TEST_F(LogTable, ClosedTableChangesNothing)
{
    add({ { kMarch4, 10 }, { kMarch5, 20 } });
    check(kMarch4, kMarch5);
    table.close();

    const DateFilterView view = filter.periodChanged(table, true, kMarch6, kMarch4);
    EXPECT_FALSE(view.changed);
    EXPECT_EQ(view.to, kMarch4); // not raised
    EXPECT_EQ(view.totalText, u"0:30");

    // Unchecking fails with the table's error and keeps the total text; once
    // the table is open again the unchecked box lets every row through.
    bool emptied = false;
    filter.setTotalEmptied([&] { emptied = true; });
    EXPECT_THROW(filter.setOn(table, false, kMarch4, kMarch5), DbfError);
    EXPECT_EQ(filter.totalText(), u"0:30");
    table.open();
    EXPECT_EQ(shown(), Minutes({ 10, 20 }));
    EXPECT_TRUE(emptied);
    EXPECT_TRUE(filter.totalText().isEmpty());
}

TEST_F(LogTable, WalkRedrawsTheGridOnce)
{
    std::vector<Flight> flights(200, Flight { kMarch5, 1 });
    add(flights);
    int moves = 0;
    int reloads = 0;
    table.setListener([&](DbfTable::Change change) {
        moves += change == DbfTable::Change::Moved;
        reloads += change == DbfTable::Change::Reloaded;
    });
    EXPECT_EQ(check(kMarch5, kMarch5).totalText, u"3:20");
    EXPECT_FALSE(table.controlsDisabled());
    EXPECT_LE(moves + reloads, 4); // not one per row
}

TEST_F(LogTable, RecordEditsShowABlankRowInEveryMode)
{
    table.insert(); // a blank row
    const DisplayMarks feet {};
    const DisplayMarks metricDecimals = selectDecimalFractions(selectMetricUnits({}));
    struct Shown {
        LogField field;
        const char16_t* feetMinutes;
        const char16_t* metricDecimals;
    };
    const Shown blank[] = {
        { kFlightTime, u"0:00", u"0.00" },
        { kHobbs, u"0:00", u"0.0" },
        { kMaxAltitude, u"0", u"0" },
        { kMaxSpeed, u"0", u"0" },
        { kStudent, u"", u"" },
    };
    for (const Shown& s : blank) {
        EXPECT_EQ(fieldText(table.currentFlight(), s.field, feet), QStringView(s.feetMinutes))
            << logTableField(s.field).name.toStdString();
        EXPECT_EQ(fieldText(table.currentFlight(), s.field, metricDecimals), QStringView(s.metricDecimals));
    }
    EXPECT_TRUE(studentEditVisible(table.currentFlight()));

    setFieldText(table, kStudent, u"", feet);
    EXPECT_TRUE(table.isNull(kStudent)); // emptied Student stores no value
    setFieldText(table, kStudent, u"0", feet);
    table.post();
    EXPECT_FALSE(studentEditVisible(table.currentFlight()));
}

// Every typed text of a record edit is stored as typed, in the units and
// fraction mode of the moment, or refused with its message while the field
// keeps its value.
TEST_F(LogTable, TypedTextsAreStoredAsTypedOrRefused)
{
    const DisplayMarks minutes {};
    const DisplayMarks decimals = selectDecimalFractions({});
    const DisplayMarks metric = selectMetricUnits({});
    const DisplayMarks knots = selectFeetKnots({});
    struct Case {
        LogField field;
        DisplayMarks marks;
        const char16_t* typed;
        const char16_t* stored; // as the field reads back; nullptr: refused
        const char* refusal = nullptr;
    };
    const Case cases[] = {
        // Durations in minutes: hours, or hours, ":" and minutes.
        { kFlightTime, minutes, u"1:45", u"105" },
        { kFlightTime, minutes, u"1:75", u"135" },
        { kFlightTime, minutes, u"2", u"120" },
        { kHobbs, minutes, u":45", u"45" },
        { kHobbs, minutes, u"1:", u"60" },
        { kFlightTime, minutes, u"", u"0" },
        { kFlightTime, minutes, u":", u"0" },
        { kFlightTime, minutes, u"+1:30", u"90" },
        { kFlightTime, minutes, u"1093:00", u"65580" }, // past 16 bits
        { kHobbs, minutes, u"25500:00", u"1530000" }, // the longest Hobbs time an instrument sends
        { kHobbs, minutes, u"16666666:39", u"999999999" },
        { kFlightTime, minutes, u"1:30:00", nullptr,
            "'1:30:00' is not a valid duration for field 'FLIGHTTIME'" },
        { kFlightTime, minutes, u"1.5", nullptr, "'1.5' is not a valid duration for field 'FLIGHTTIME'" },
        { kFlightTime, minutes, u"12-3", nullptr, "'12-3' is not a valid duration for field 'FLIGHTTIME'" },
        { kHobbs, minutes, u"+-", nullptr, "'+-' is not a valid duration for field 'HOBBS'" },
        { kHobbs, minutes, u"-1:30", nullptr, "'-1:30' is not a valid duration for field 'HOBBS'" },
        { kHobbs, minutes, u"-0:30", nullptr, "'-0:30' is not a valid duration for field 'HOBBS'" },
        { kHobbs, minutes, u"1:-30", nullptr, "'1:-30' is not a valid duration for field 'HOBBS'" },
        { kHobbs, minutes, u"16666666:40", nullptr,
            "'16666666:40' is not a valid duration for field 'HOBBS'" },
        { kHobbs, minutes, u"0:1000000000", nullptr,
            "'0:1000000000' is not a valid duration for field 'HOBBS'" },
        { kHobbs, minutes, u"2147483647", nullptr, "'2147483647' is not a valid duration for field 'HOBBS'" },
        { kHobbs, minutes, u"$FFFFFFFF", nullptr, "'$FFFFFFFF' is not a valid duration for field 'HOBBS'" },
        // Durations in decimals: a decimal fraction of an hour, rounded to the minute.
        { kHobbs, decimals, u"1.5", u"90" },
        { kHobbs, decimals, u"0.9", u"54" },
        { kHobbs, decimals, u"1.50", u"90" },
        { kHobbs, decimals, u"1.15", u"69" },
        { kFlightTime, decimals, u"1.50", u"90" },
        { kFlightTime, decimals, u"1.25", u"75" },
        { kFlightTime, decimals, u"1.99", u"119" },
        { kFlightTime, decimals, u"0.125", u"8" },
        { kFlightTime, decimals, u"1.50000000000000000000000000001", u"90" },
        { kFlightTime, decimals, u"1.", u"60" },
        { kFlightTime, decimals, u"1:30", nullptr, "'1:30' is not a valid duration for field 'FLIGHTTIME'" },
        { kFlightTime, decimals, u"1.-5", nullptr, "'1.-5' is not a valid duration for field 'FLIGHTTIME'" },
        { kHobbs, decimals, u"1.5.0", nullptr, "'1.5.0' is not a valid duration for field 'HOBBS'" },
        { kHobbs, decimals, u"1.x5", nullptr, "'1.x5' is not a valid duration for field 'HOBBS'" },
        // Altitude and speed: whole numbers in the units of the moment.
        { kMaxAltitude, metric, u"1000", u"3280" },
        { kMaxAltitude, minutes, u"$10", u"16" },
        { kMaxAltitude, minutes, u"", u"0" },
        { kMaxSpeed, metric, u"100", u"62" },
        { kMaxSpeed, knots, u"100", u"115" },
        { kMaxAltitude, minutes, u"12-3", nullptr, "'12-3' is not a valid integer value for field 'MAXALT'" },
        { kMaxAltitude, metric, u"1.5", nullptr, "'1.5' is not a valid integer value for field 'MAXALT'" },
        { kMaxSpeed, knots, u"+-", nullptr, "'+-' is not a valid integer value for field 'MAXSPD'" },
        { kMaxSpeed, minutes, u"99999999999", nullptr,
            "'99999999999' is not a valid integer value for field 'MAXSPD'" },
        { kMaxAltitude, metric, u"1000000000", nullptr,
            "'1000000000' is not a valid integer value for field 'MAXALT'" },
        { kMaxSpeed, minutes, u"1000000000", nullptr,
            "'1000000000' is not a valid integer value for field 'MAXSPD'" },
        { kStudent, minutes, u"7", u"7" },
        { kStudent, minutes, u"-", nullptr, "'-' is not a valid integer value for field 'STUDENT'" },
        // Texts: what the export could not keep on its line, or the code page could not hold.
        { kComment, minutes, u"a\tb\nc\r\nd\u2028e", u"a b c  d e" },
        { kComment, minutes, u"\u65e5\u672c\u8a9e ok \u20ac5 \u03a9", u"??? ok ?5 ?" },
        { kComment, minutes, u"Gr\u00fc\u00dfe, 3 \u00bd h", u"Gr\u00fc\u00dfe, 3 \u00bd h" },
        { kTakeoffTime, minutes, u"9:05\t", u"9:05" },
    };
    table.append();
    for (const Case& c : cases) {
        const std::string what = logTableField(c.field).name.toStdString() + " '"
            + QString::fromUtf16(c.typed).toStdString() + "'";
        const std::string before(table.currentFlight().raw(c.field));
        try {
            setFieldText(table, c.field, QStringView(c.typed), c.marks);
            EXPECT_EQ(c.refusal, nullptr) << what << " was stored";
        } catch (const DbfError& e) {
            EXPECT_STREQ(e.what(), c.refusal) << what;
            EXPECT_EQ(std::string(table.currentFlight().raw(c.field)), before)
                << what << " changed the field";
            continue;
        }
        const bool number = logTableField(c.field).type == FieldType::Integer;
        const QString stored = number ? QString::number(table.integer(c.field)) : table.text(c.field);
        EXPECT_EQ(stored, QString::fromUtf16(c.stored)) << what;
    }
}
