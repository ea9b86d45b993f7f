#include "logstore/date_filter.h"
#include "logstore/field_presentation.h"

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
        table.setRequiredFields(logTableFieldNames());
        table.create(logTableFields());
        table.open();
        table.setFilterPredicate(filter.predicate());
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

    DateFilterView check(const QDate& from, const QDate& to)
    {
        return filter.CheckBox1Click(table, true, from, to);
    }

    QTemporaryDir dir;
    DbfTable table;
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
    EXPECT_EQ(filter.DateFromToChangeFrom(table, true, kMarch5, kMarch5).totalText, u"2:55");
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
        const DateFilterView view = filter.DateFromToChangeFrom(table, true, kMarch4, kMarch5);
        EXPECT_EQ(view.totalText, alreadyFiltered ? u"1:00" : u"0:50");
        EXPECT_EQ(table.state(), DbfTable::State::Browse);
    }
    filter.CheckBox1Click(table, false, kMarch4, kMarch5);
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

    const DateFilterView view = filter.CheckBox1Click(table, false, kMarch5, kMarch5);
    EXPECT_TRUE(view.changed);
    EXPECT_TRUE(view.totalText.isEmpty());
    EXPECT_FALSE(table.isFiltered());
    EXPECT_EQ(shown(), Minutes({ 10, 20, 30 }));

    // A picker changed while unchecked leaves the view unfiltered.
    const DateFilterView changed = filter.DateFromToChangeFrom(table, false, kMarch4, kMarch4);
    EXPECT_TRUE(changed.changed);
    EXPECT_TRUE(changed.totalText.isEmpty());
    EXPECT_EQ(shown(), Minutes({ 10, 20, 30 }));
}

TEST_F(LogTable, ModeChangeWhileFilteredKeepsRowsAndTotal)
{
    add({ { kMarch4, 10 }, { kMarch5, 20 } });
    check(kMarch5, kMarch5);
    DisplayMarks marks = SelectDecimalFractions(SelectMetricUnits({}));
    table.refresh(); // what the menu command does after setting the marks
    EXPECT_EQ(shown(), Minutes({ 20 }));
    EXPECT_EQ(filter.totalText(), u"0:20");
    table.first();
    EXPECT_EQ(Dbf1FieldGetText(table.current(), kFlightTime, marks), u"0.33");
}

TEST_F(LogTable, ClosedTableChangesNothing)
{
    add({ { kMarch4, 10 }, { kMarch5, 20 } });
    check(kMarch4, kMarch5);
    table.close();

    const DateFilterView view = filter.DateFromToChangeFrom(table, true, kMarch6, kMarch4);
    EXPECT_FALSE(view.changed);
    EXPECT_EQ(view.to, kMarch4); // not raised
    EXPECT_EQ(view.totalText, u"0:30");

    // Unchecking fails with the table's error and keeps the total text; once
    // the table is open again the unchecked box lets every row through.
    bool emptied = false;
    filter.setTotalEmptied([&] { emptied = true; });
    EXPECT_THROW(filter.CheckBox1Click(table, false, kMarch4, kMarch5), DbfError);
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

TEST_F(LogTable, RecordEditsConvertAndRefuseLikeTheTable)
{
    table.insert(); // a blank row
    const DisplayMarks feet {};
    const DisplayMarks metricDecimals = SelectDecimalFractions(SelectMetricUnits({}));
    struct Shown {
        int field;
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
        EXPECT_EQ(Dbf1FieldGetText(table.current(), s.field, feet), QStringView(s.feetMinutes)) << s.field;
        EXPECT_EQ(Dbf1FieldGetText(table.current(), s.field, metricDecimals), QStringView(s.metricDecimals));
    }
    EXPECT_TRUE(StudentEditVisible(table.current()));

    struct Typed {
        int field;
        const char16_t* text;
        DisplayMarks marks;
        std::int32_t stored;
    };
    const Typed typed[] = {
        { kFlightTime, u"1:30", feet, 90 },
        { kHobbs, u"2.5", metricDecimals, 150 },
        { kFlightTime, u"1.25", metricDecimals, 75 },
        { kMaxAltitude, u"1000", metricDecimals, 3280 },
        { kMaxSpeed, u"100", SelectFeetKnots({}), 115 },
        { kMaxSpeed, u"", feet, 0 }, // an emptied edit stores 0
        { kStudent, u"7", feet, 7 },
    };
    for (const Typed& t : typed) {
        Dbf1FieldSetText(table, t.field, QStringView(t.text), t.marks);
        EXPECT_EQ(table.integer(t.field), t.stored) << t.field;
        EXPECT_FALSE(table.isNull(t.field)) << t.field;
    }

    struct Refused {
        int field;
        const char16_t* text;
        DisplayMarks marks;
        const char* message;
    };
    const Refused refused[] = {
        { kFlightTime, u"-1:30", feet, "'-1:30' is not a valid duration" },
        { kHobbs, u"1093:00", feet, "'1093:00' is not a valid duration" },
        { kMaxAltitude, u"1000000000", metricDecimals,
            "Value is too long : 10 characters (it can't be more than 9)." },
        { kStudent, u"-", feet, "'-' is not a valid integer value for field 'STUDENT'" },
        { kStudent, u"1x", feet, "'1x' is not a valid integer value for field 'STUDENT'" },
    };
    for (const Refused& r : refused) {
        const std::int32_t before = table.integer(r.field);
        try {
            Dbf1FieldSetText(table, r.field, QStringView(r.text), r.marks);
            ADD_FAILURE() << "accepted " << r.message;
        } catch (const DbfError& e) {
            EXPECT_STREQ(e.what(), r.message);
        }
        EXPECT_EQ(table.integer(r.field), before) << r.message;
    }

    Dbf1FieldSetText(table, kStudent, u"", feet);
    EXPECT_TRUE(table.isNull(kStudent)); // emptied Student stores no value
    Dbf1FieldSetText(table, kStudent, u"0", feet);
    table.post();
    EXPECT_FALSE(StudentEditVisible(table.current()));
    EXPECT_EQ(table.integer(kFlightTime), 75);
    EXPECT_EQ(table.integer(kHobbs), 150);
}
