// The "Filter dates" box, the two pickers and the total box of the window,
// over a table seeded before start-up.

#include "display_test_support.h"

#include "app/db_navigator.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCursor>
#include <QDateEdit>
#include <QLineEdit>

namespace cvlog::test
{
namespace
{

const QDate kDayOne(2026, 3, 1);
const QDate kNoDate; // counts as 30 December 1899

class FilterWindowTest : public DisplayTest
{
protected:
    void SetUp() override
    {
        DisplayTest::SetUp();
        seed({
            { kDayOne, 90 },
            { kDayOne, 65 },
            { kNoDate, 45 },
            { kDayOne, 5 },
            { QDate(2026, 3, 2), 30 },
            { QDate(2026, 3, 4), 120 },
        });
        form = start();
    }

    // The pickers set while the box is unchecked, then the box checked.
    void filter(const QDate& from, const QDate& to)
    {
        if (form->CheckBox1->isChecked())
            form->CheckBox1->click();
        form->DateFrom->setDate(from);
        form->DateTo->setDate(to);
        form->CheckBox1->click();
    }

    std::vector<std::int64_t> allRows() const { return { 90, 65, 45, 5, 30, 120 }; }

    std::unique_ptr<TForm1> form;
};

TEST_F(FilterWindowTest, CheckingTheBoxShowsTheRowsOfTheRangeAndTheirTotal)
{
    struct Case {
        const char* name;
        QDate from;
        QDate to;
        QDate shownTo;
        std::vector<std::int64_t> rows;
        const char* total;
    };
    const Case cases[] = {
        { "same day, 90+65+5", kDayOne, kDayOne, kDayOne, { 90, 65, 5 }, "2:40" },
        { "From after To", QDate(2026, 3, 4), QDate(2026, 3, 2), QDate(2026, 3, 4), { 120 }, "2:00" },
        { "no flights", QDate(2025, 1, 1), QDate(2025, 1, 31), QDate(2025, 1, 31), {}, "0:00" },
        { "the row without a date", QDate(1899, 12, 30), QDate(1899, 12, 30), QDate(1899, 12, 30), { 45 },
            "0:45" },
        { "a range starting later leaves out the row without a date", kDayOne, QDate(2026, 3, 4),
            QDate(2026, 3, 4), { 90, 65, 5, 30, 120 }, "5:10" },
    };
    for (const Case& c : cases) {
        filter(c.from, c.to);
        EXPECT_EQ(form->DateTo->date(), c.shownTo) << c.name;
        EXPECT_EQ(form->Edit1->text(), QString::fromLatin1(c.total)) << c.name;
        int panels = 0;
        for (int i = 0; i < RecordPanelGrid::kPanelCount; ++i)
            panels += form->DBCtrlGrid1->panelRecord(i) != RecordPanelGrid::kNoRow;
        EXPECT_EQ(panels, std::min<int>(c.rows.size(), RecordPanelGrid::kPanelCount)) << c.name;
        if (!c.rows.empty()) { // the last row that passed is current
            EXPECT_EQ(form->Dbf1.integer(kFlightTime), c.rows.back()) << c.name;
        }
        EXPECT_EQ(shownFlightTimes(*form), c.rows) << c.name;
    }
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(FilterWindowTest, ChangingAPickerWhileCheckedRecomputes)
{
    filter(kDayOne, kDayOne);
    form->DateTo->setDate(QDate(2026, 3, 2));
    EXPECT_EQ(form->Edit1->text(), QStringLiteral("3:10"));
    // Moving From past To raises To with it, without a recomputation of its own.
    form->DateFrom->setDate(QDate(2026, 3, 4));
    EXPECT_EQ(form->DateTo->date(), QDate(2026, 3, 4));
    EXPECT_EQ(form->Edit1->text(), QStringLiteral("2:00"));
    EXPECT_EQ(shownFlightTimes(*form), (std::vector<std::int64_t> { 120 }));
}

TEST_F(FilterWindowTest, UncheckingShowsEveryRowAndEmptiesTheTotal)
{
    filter(kDayOne, kDayOne);
    ASSERT_EQ(form->Edit1->text(), QStringLiteral("2:40"));
    form->CheckBox1->click();
    EXPECT_FALSE(form->Dbf1.isFiltered());
    EXPECT_TRUE(form->Edit1->text().isEmpty());
    EXPECT_EQ(shownFlightTimes(*form), allRows());

    // A picker changed while unchecked filters nothing.
    form->DateFrom->setDate(QDate(2026, 3, 4));
    form->DateTo->setDate(QDate(2026, 3, 2));
    EXPECT_EQ(form->DateTo->date(), QDate(2026, 3, 2));
    EXPECT_TRUE(form->Edit1->text().isEmpty());
    EXPECT_EQ(shownFlightTimes(*form), allRows());
}

TEST_F(FilterWindowTest, SwitchingTheModesKeepsTheRowsAndTheTotal)
{
    filter(kDayOne, kDayOne);
    for (QAction* item : { form->Metricunits1, form->bHourfractionsaredecimals1, form->N3Unitsfeetnm1 }) {
        item->trigger();
        EXPECT_EQ(form->Edit1->text(), QStringLiteral("2:40")) << item->text().toStdString();
        EXPECT_EQ(shownFlightTimes(*form), (std::vector<std::int64_t> { 90, 65, 5 }));
    }
    EXPECT_EQ(currentEdit(*form, kFlightTime)->text(), QStringLiteral("0.08")); // decimals, 5 minutes
}

TEST_F(FilterWindowTest, AClosedTableLeavesThePickersAndTheTotalAsTheyAre)
{
    filter(kDayOne, kDayOne);
    form->Dbf1.close();

    form->DateFrom->setDate(QDate(2026, 3, 9)); // after To, which stays
    EXPECT_EQ(form->DateTo->date(), kDayOne);
    EXPECT_EQ(form->Edit1->text(), QStringLiteral("2:40"));
    EXPECT_TRUE(messages.shown.empty());

    // Unchecking needs the table open: the general error handling says so,
    // the total stays and the pointer is back.
    form->CheckBox1->click();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].kind, MessageKind::Error);
    EXPECT_EQ(form->Edit1->text(), QStringLiteral("2:40"));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // Opened again, the switch is still on, but the unchecked box lets every row through.
    form->Dbf1.open();
    EXPECT_TRUE(form->Dbf1.isFiltered());
    EXPECT_EQ(shownFlightTimes(*form), allRows());
    EXPECT_TRUE(form->Edit1->text().isEmpty());
}

TEST_F(FilterWindowTest, TheRecomputationShowsTheWaitCursorAndGivesThePointerBack)
{
    std::vector<Qt::CursorShape> seen;
    form->Dbf1.setListener([&](DbfTable::Change change) {
        const QCursor* cursor = QApplication::overrideCursor();
        seen.push_back(cursor ? cursor->shape() : Qt::ArrowCursor);
        form->DBCtrlGrid1->tableChanged(change);
        form->DBNavigator1->updateButtons();
    });
    filter(kDayOne, kDayOne);
    form->Dbf1.setListener([&](DbfTable::Change change) {
        form->DBCtrlGrid1->tableChanged(change);
        form->DBNavigator1->updateButtons();
    });
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), Qt::WaitCursor);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

} // namespace
} // namespace cvlog::test
