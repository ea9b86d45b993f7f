// The table's operations as the grid, the import, the date filter and the
// maintenance commands use them.
#include "table_test_support.h"

#include "logstore/conversions.h"
#include "logstore/table_lock.h"

#include <QDate>

#include <chrono>
#include <optional>

namespace cvlog::testing
{
namespace
{

std::string errorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const DbfError& e) {
        return e.what();
    }
    return "(no error)";
}

class OpsTest : public TableTest
{
protected:
    void SetUp() override
    {
        TableTest::SetUp();
        createLog(file());
        setUpMainView(t, file());
        t.open();
    }

    void addFlights(std::initializer_list<int> minutes)
    {
        int day = 1;
        for (int m : minutes)
            appendFlight(t, QDate(2026, 4, day++), QStringLiteral("12:00"), m);
    }

    FlightLog t;
};

TEST_F(OpsTest, FieldsAreFoundByPositionAndByNameInCapitals)
{
    const std::vector<FieldDef> created = logTableFields();
    const DbfTable& table = t;
    ASSERT_EQ(table.fieldCount(), kLogFieldCount);
    for (int i = 0; i < kLogFieldCount; ++i) {
        const QString name = created[static_cast<std::size_t>(i)].name;
        EXPECT_EQ(table.field(i).name, name.toUpper());
        EXPECT_EQ(table.fieldIndex(name.toLower()), i);
    }
    EXPECT_EQ(t.field(kComment).width, 64);
    EXPECT_EQ(t.field(kTakeoffDate).type, FieldType::Date);
    EXPECT_EQ(table.fieldIndex(QStringLiteral("NOPE")), -1);
    EXPECT_EQ(errorOf([&] { table.fieldIndexOrThrow(QStringLiteral("Nope")); }), "Field 'Nope' not found");
}

TEST_F(OpsTest, IntegerLimitsOfTheNineCharacterField)
{
    struct Case {
        std::int64_t value;
        const char* stored; // nullptr: refused
    };
    const Case cases[] = {
        { 90, "       90" },
        { -5, "       -5" },
        { 0, "        0" },
        { 999999999, "999999999" },
        { -99999999, "-99999999" },
        { 1000000000, nullptr },
        { -100000000, nullptr },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        t.append();
        t.setInteger(kHobbs, 7);
        const std::string error = errorOf([&] { t.setInteger(kHobbs, c.value); });
        if (c.stored == nullptr) {
            EXPECT_EQ(error,
                "Value is too long : " + std::to_string(std::to_string(c.value).size())
                    + " characters (it can't be more than 9).");
            EXPECT_EQ(t.state(), DbfTable::State::Insert);
            EXPECT_EQ(t.integer(kHobbs), 7);
        } else {
            EXPECT_EQ(error, "(no error)");
            EXPECT_EQ(std::string(t.currentFlight().raw(kHobbs)), c.stored);
            EXPECT_EQ(t.integer(kHobbs), c.value);
        }
        t.cancel();
    }
    t.append();
    EXPECT_EQ(errorOf([&] { t.setInteger(kHobbs, 1000000000); }),
        "Value is too long : 10 characters (it can't be more than 9).");
}

TEST_F(OpsTest, TextIsCutToItsWidthAndEmptyIsNull)
{
    t.append();
    t.setText(kInstrument, QStringLiteral("ABCDE"));
    t.setText(kTakeoffTime, QStringLiteral("12:345"));
    t.setText(kComment, QString(70, QLatin1Char('x')));
    EXPECT_EQ(t.text(kInstrument), QStringLiteral("ABCD"));
    EXPECT_EQ(t.text(kTakeoffTime), QStringLiteral("12:34"));
    EXPECT_EQ(t.text(kComment).size(), 64);
    t.setText(kComment, QString());
    EXPECT_TRUE(t.isNull(kComment));
    t.setInteger(kFlightTime, 5);
    t.clear(kFlightTime);
    EXPECT_TRUE(t.isNull(kFlightTime));
    t.setDate(kTakeoffDate, QDate());
    EXPECT_TRUE(t.isNull(kTakeoffDate));
    EXPECT_EQ(std::string(t.currentFlight().raw(kTakeoffDate)), "        ");
    t.setText(kFlightTime, QStringLiteral(" 42"));
    EXPECT_EQ(t.integer(kFlightTime), 42);
    EXPECT_THROW(t.setText(kFlightTime, QStringLiteral("4x2")), DbfError);
    EXPECT_EQ(t.integer(kFlightTime), 42);
}

TEST_F(OpsTest, ValuesAreSetOnlyWhileEditingOrAdding)
{
    addFlights({ 10 });
    const std::string message = "Dataset not in edit or insert mode";
    EXPECT_EQ(errorOf([&] { t.setInteger(kFlightTime, 1); }), message);
    EXPECT_EQ(errorOf([&] { t.setText(kComment, QStringLiteral("x")); }), message);
    EXPECT_EQ(errorOf([&] { t.setDate(kTakeoffDate, QDate(2026, 1, 1)); }), message);
    EXPECT_EQ(errorOf([&] { t.clear(kComment); }), message);
}

TEST_F(OpsTest, EditWhileAddingChangesNothing)
{
    addFlights({ 10 });
    t.append();
    t.setInteger(kFlightTime, 55);
    t.edit();
    EXPECT_EQ(t.state(), DbfTable::State::Insert);
    EXPECT_EQ(t.integer(kFlightTime), 55);
    t.post();
    EXPECT_EQ(visibleMinutes(t), (std::vector<int> { 10, 55 }));
}

TEST_F(OpsTest, EditPostsInPlaceAndCancelRestores)
{
    addFlights({ 10, 20, 30 });
    t.moveToRecord(2);
    t.edit();
    t.setInteger(kFlightTime, 25);
    EXPECT_TRUE(t.isModified());
    t.cancel();
    EXPECT_EQ(t.integer(kFlightTime), 20);
    t.edit();
    t.setInteger(kFlightTime, 21);
    t.post();
    EXPECT_EQ(t.recordCount(), 3u);
    EXPECT_EQ(visibleMinutes(t), (std::vector<int> { 10, 21, 30 }));
}

TEST_F(OpsTest, InsertIsShownHereAndStoredAtTheEnd)
{
    addFlights({ 10, 20, 30 });
    t.moveToRecord(2);
    t.insert();
    EXPECT_EQ(t.insertPosition(), 2u);
    EXPECT_EQ(t.recordNumber(), 0u);
    t.setInteger(kFlightTime, 15);
    t.post();
    EXPECT_EQ(t.recordNumber(), 4u);
    t.refresh();
    EXPECT_EQ(visibleMinutes(t), (std::vector<int> { 10, 20, 30, 15 }));

    t.moveToRecord(2);
    t.insert();
    t.cancel();
    EXPECT_EQ(t.recordNumber(), 2u);
    EXPECT_EQ(t.recordCount(), 4u);
}

TEST_F(OpsTest, WalkingForwardAndBackward)
{
    EXPECT_TRUE(t.isEmpty());
    EXPECT_TRUE(t.bof());
    EXPECT_TRUE(t.eof());
    addFlights({ 10, 20, 30 });
    t.first();
    EXPECT_TRUE(t.bof());
    EXPECT_FALSE(t.eof());
    t.prior();
    EXPECT_EQ(t.recordNumber(), 1u);
    t.last();
    EXPECT_TRUE(t.eof());
    EXPECT_EQ(t.integer(kFlightTime), 30);
    std::vector<int> backwards;
    for (t.last(); !t.bof(); t.prior())
        backwards.push_back(t.integer(kFlightTime));
    EXPECT_EQ(backwards, (std::vector<int> { 30, 20, 10 }));
    EXPECT_EQ(t.nextVisible(1), 2u);
    EXPECT_EQ(t.priorVisible(3), 2u);
    EXPECT_EQ(t.nextVisible(3), 0u);
    EXPECT_EQ(t.flight(3).integer(kFlightTime), 30);
    EXPECT_EQ(t.peek(4).recordNumber(), 0u);
    // A copy of a look at a row outlives the look it was copied from.
    std::optional<LoggedFlight> kept;
    {
        const LoggedFlight looked = t.flight(2);
        kept.emplace(looked);
    }
    EXPECT_EQ(kept->integer(kFlightTime), 20);
}

TEST_F(OpsTest, FilterSwitchHidesRejectedRows)
{
    addFlights({ 10, 20, 30, 40 });
    t.setFilterPredicate([this](const DbfRecord& r) { return t.flight(r).integer(kFlightTime) % 20 == 0; });
    EXPECT_EQ(visibleMinutes(t), (std::vector<int> { 10, 20, 30, 40 }));
    t.setFiltered(true);
    EXPECT_EQ(t.recordNumber(), 2u);
    EXPECT_EQ(visibleMinutes(t), (std::vector<int> { 20, 40 }));
    t.moveToRecord(3);
    EXPECT_EQ(t.recordNumber(), 4u);
    EXPECT_EQ(t.nextVisible(0), 2u);
    t.setFiltered(false);
    EXPECT_EQ(visibleMinutes(t), (std::vector<int> { 10, 20, 30, 40 }));

    t.setFilterPredicate([](const DbfRecord&) { return false; });
    t.setFiltered(true);
    EXPECT_TRUE(t.isEmpty());
    EXPECT_TRUE(t.eof());
}

TEST_F(OpsTest, RefreshPostsAChangedRowAndDropsAnUnchangedOne)
{
    addFlights({ 10, 20 });
    t.moveToRecord(1);
    t.edit();
    t.setInteger(kFlightTime, 11);
    t.refresh();
    EXPECT_EQ(t.state(), DbfTable::State::Browse);
    EXPECT_EQ(t.recordNumber(), 1u);
    EXPECT_EQ(visibleMinutes(t), (std::vector<int> { 11, 20 }));

    t.append();
    t.refresh();
    EXPECT_EQ(t.recordCount(), 2u);
    t.append();
    t.setInteger(kFlightTime, 3);
    t.refresh();
    EXPECT_EQ(visibleMinutes(t), (std::vector<int> { 11, 20, 3 }));
}

TEST_F(OpsTest, MovingFirstHandsOverThePendingEdit)
{
    addFlights({ 10, 20 });
    int calls = 0;
    t.setBeforeChange([&] {
        ++calls;
        if (t.state() == DbfTable::State::Edit)
            t.setInteger(kFlightTime, 99);
    });
    t.first();
    t.edit();
    t.next();
    EXPECT_GE(calls, 2);
    t.setBeforeChange({});
    EXPECT_EQ(visibleMinutes(t), (std::vector<int> { 99, 20 }));
}

TEST_F(OpsTest, RemoveMovesToTheNextVisibleRow)
{
    addFlights({ 10, 20, 30 });
    t.last();
    t.remove();
    EXPECT_EQ(t.recordNumber(), 2u);
    t.first();
    t.remove();
    EXPECT_EQ(t.recordNumber(), 2u);
    t.remove();
    EXPECT_TRUE(t.isEmpty());
    EXPECT_EQ(t.recordCount(), 3u);
    EXPECT_THROW(t.remove(), DbfError);
    EXPECT_EQ(t.findLive([](const DbfRecord&) { return true; }), 0u);
}

TEST_F(OpsTest, FindLiveIgnoresTheFilterAndDeletedRows)
{
    addFlights({ 10, 20, 30, 20 });
    t.moveToRecord(2);
    t.remove();
    t.setFilterPredicate([](const DbfRecord&) { return false; });
    t.setFiltered(true);
    const auto minutes = [this](std::int32_t wanted) {
        return [this, wanted](const DbfRecord& r) { return t.flight(r).integer(kFlightTime) == wanted; };
    };
    EXPECT_EQ(t.findLive(minutes(20)), 4u);
    EXPECT_EQ(t.findLive(minutes(40)), 0u);
}

TEST_F(OpsTest, ListenerHearsOnceAfterTheDisplayIsResumed)
{
    std::vector<DbfTable::Change> heard;
    t.setListener([&](DbfTable::Change c) { heard.push_back(c); });
    t.disableControls();
    t.disableControls();
    addFlights({ 1, 2, 3 });
    t.enableControls();
    EXPECT_TRUE(heard.empty());
    EXPECT_TRUE(t.controlsDisabled());
    t.enableControls();
    EXPECT_EQ(heard, (std::vector<DbfTable::Change> { DbfTable::Change::Reloaded }));
    heard.clear();
    t.first();
    t.next();
    EXPECT_EQ(heard, (std::vector<DbfTable::Change> { DbfTable::Change::Moved, DbfTable::Change::Moved }));
}

TEST_F(OpsTest, SecondViewSeesPostedRowsAndReadOnlyViewNeverWrites)
{
    addFlights({ 10, 20 });
    FlightLog report;
    report.setPath(file());
    report.open(DbfTable::Access::ReadOnly);
    EXPECT_EQ(visibleMinutes(report), (std::vector<int> { 10, 20 }));
    EXPECT_EQ(errorOf([&] { report.append(); }), "Cannot modify a read-only dataset");
    const std::string before = readBytes(file());
    report.close();
    EXPECT_EQ(readBytes(file()), before);
}

// A command copying the log beside the window waits while a change is being
// written, and goes on once the window says its changes are whole.
TEST_F(OpsTest, ACopyWaitsForTheWritesOfTheLogUntilTheyAreReleased)
{
    const auto copyWaits = [this] { return TableReadLock(file(), std::chrono::milliseconds(0)).busy(); };
    t.releaseWriteLock();
    EXPECT_FALSE(copyWaits());
    addFlights({ 60, 90 });
    EXPECT_TRUE(copyWaits());
    t.releaseWriteLock();
    EXPECT_FALSE(copyWaits());
    t.edit();
    t.setInteger(kFlightTime, 30);
    EXPECT_FALSE(copyWaits()) << "an edit not yet posted writes nothing";
    t.post();
    EXPECT_TRUE(copyWaits());
    t.close();
    EXPECT_FALSE(copyWaits()) << "a closed view holds no lock";
    {
        const TableReadLock copying(file(), std::chrono::milliseconds(0));
        ASSERT_FALSE(copying.busy());
        t.open(DbfTable::Access::ReadOnly);
        EXPECT_EQ(t.recordCount(), 2u) << "a reading view opens while a copy is made";
    }
    EXPECT_FALSE(TableReadLock(file("missing.dbf"), std::chrono::milliseconds(0)).busy());
}

TEST_F(OpsTest, CloseDropsAnEditInProgress)
{
    addFlights({ 10 });
    t.edit();
    t.setInteger(kFlightTime, 12);
    t.close();
    t.open();
    EXPECT_EQ(t.integer(kFlightTime), 10);
    t.append();
    t.close();
    t.open();
    EXPECT_EQ(t.recordCount(), 1u);
    EXPECT_THROW(t.create(logTableFields()), DbfError);
}

TEST_F(OpsTest, EditOnAnEmptyViewStartsANewRow)
{
    t.edit();
    EXPECT_EQ(t.state(), DbfTable::State::Insert);
}

// Values as other programs store them, read back through a view.
TEST_F(TableTest, StoredBytesReadAsTypedValues)
{
    struct Case {
        LogField field;
        std::string stored;
        bool null;
        std::int32_t integer;
        QString text;
        QDate date;
    };
    const Case cases[] = {
        { kFlightTime, "       90", false, 90, QStringLiteral("90"), {} },
        { kFlightTime, "         ", true, 0, QString(), {} },
        { kFlightTime, "*********", true, 0, QStringLiteral("*********"), {} },
        { kFlightTime, "   12.5  ", false, 0, QStringLiteral("12.5"), {} },
        { kFlightTime, "  1 2    ", false, 0, QStringLiteral("1 2"), {} },
        { kFlightTime, " -2147483", false, -2147483, QStringLiteral("-2147483"), {} },
        { kFlightTime, "+7       ", false, 7, QStringLiteral("+7"), {} },
        { kFlightTime, "-        ", false, 0, QStringLiteral("-"), {} },
        { kTakeoffDate, "20260305", false, 20260305, QStringLiteral("20260305"), QDate(2026, 3, 5) },
        { kTakeoffDate, "20260230", false, 20260230, QStringLiteral("20260230"), {} },
        { kTakeoffDate, "00000000", false, 0, QStringLiteral("00000000"), {} },
        { kTakeoffDate, "        ", true, 0, QString(), {} },
        { kComment, "  padded both  ", false, 0, QStringLiteral("padded both"), {} },
        { kTakeoffTime, std::string("9:05\0", 5), false, 0, QStringLiteral("9:05"), {} },
    };
    createLog(file());
    {
        FlightLog t;
        setUpMainView(t, file());
        t.open();
        for (std::size_t i = 0; i < std::size(cases); ++i)
            appendFlight(t, {}, {}, 0);
    }
    std::string bytes = readBytes(file());
    const int offsets[] = { 1, 9, 14, 23, 32, 41, 50, 59, 63 };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        std::string& at = bytes;
        const std::size_t row = 321 + i * 127;
        at.replace(row + static_cast<std::size_t>(offsets[static_cast<std::size_t>(cases[i].field)]),
            cases[i].stored.size(), cases[i].stored);
    }
    writeBytes(file(), bytes);

    FlightLog t;
    setUpMainView(t, file());
    t.open(DbfTable::Access::ReadOnly);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        ASSERT_FALSE(t.eof());
        EXPECT_EQ(t.isNull(c.field), c.null);
        EXPECT_EQ(t.integer(c.field), c.integer);
        EXPECT_EQ(t.text(c.field), c.text);
        EXPECT_EQ(t.date(c.field), c.date);
        EXPECT_EQ(t.currentFlight().dayNumber(c.field), c.date.isValid() ? dayNumberOf(c.date) : 0);
        t.next();
    }
}

TEST(DbfRecordTest, DayNumbersMatchTheSharedDayCount)
{
    const std::vector<FieldDef> fields { { QStringLiteral("D"), FieldType::Date, 8 } };
    const std::vector<int> offsets { 1 };
    for (const QDate& date : { QDate(1899, 12, 30), QDate(1900, 3, 1), QDate(2000, 2, 29),
             QDate(2026, 12, 31), QDate(1, 1, 1), QDate(9999, 12, 31) }) {
        const std::string row = " "
            + date.toString(QStringLiteral("yyyyMMdd")).rightJustified(8, QLatin1Char('0')).toStdString();
        const DbfRecord r(&fields, &offsets, row.data(), 1);
        EXPECT_EQ(r.dayNumber(0), dayNumberOf(date)) << row;
        EXPECT_EQ(r.date(0), date);
    }
    EXPECT_EQ(DbfRecord().integer(0), 0);
    EXPECT_TRUE(DbfRecord().isNull(3));
}

} // namespace
} // namespace cvlog::testing
