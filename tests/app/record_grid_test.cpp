// The record panel grid over a real table file: which rows the panels show,
// how the current row moves, and how typed texts reach the fields.

#include "app_test_support.h"

#include "app/record_panel_grid.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>

#include <vector>

namespace cvlog::test
{
namespace
{

using Grid = RecordPanelGrid;

class GridTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        table.setPath((dir.path() + QStringLiteral("/CVLog.dbf")).toStdString());
        table.create(logTableFields());
        table.open();
    }

    // Rows whose comment is "row <n>" and whose student value is n mod 3.
    void addRows(int count)
    {
        for (int n = 1; n <= count; ++n) {
            table.append();
            table.setDate(kTakeoffDate, QDate(2026, 3, n));
            table.setText(kTakeoffTime, QStringLiteral("9:05"));
            table.setInteger(kFlightTime, 90);
            table.setInteger(kStudent, n % 3);
            table.setText(kComment, QStringLiteral("row %1").arg(n));
            table.post();
        }
        table.first();
    }

    void attach()
    {
        table.setListener([this](DbfTable::Change c) { grid.tableChanged(c); });
        grid.setTable(&table);
    }

    std::vector<std::uint32_t> shownRows() const
    {
        std::vector<std::uint32_t> rows;
        for (int i = 0; i < Grid::kPanelCount; ++i)
            rows.push_back(grid.panelRecord(i));
        return rows;
    }

    void TearDown() override
    {
        table.setListener({});
        grid.setTable(nullptr);
    }

    QTemporaryDir dir;
    FlightLog table;
    Grid grid;
    MessageRecorder messages;
};

TEST_F(GridTest, PanelsFollowTheCurrentRowThroughTheTable)
{
    addRows(12);
    attach();
    using Rows = std::vector<std::uint32_t>;
    EXPECT_EQ(shownRows(), (Rows { 1, 2, 3, 4, 5 }));
    EXPECT_EQ(grid.currentPanel(), 0);

    struct Step {
        int by;
        Rows rows;
        int panel;
    };
    const Step steps[] = {
        { 4, { 1, 2, 3, 4, 5 }, 4 }, // within the panels nothing scrolls
        { 1, { 2, 3, 4, 5, 6 }, 4 }, // one below the last panel
        { -2, { 2, 3, 4, 5, 6 }, 2 },
        { 5, { 5, 6, 7, 8, 9 }, 4 }, // a page down
        { 20, { 8, 9, 10, 11, 12 }, 4 }, // stops at the last row
        { -30, { 1, 2, 3, 4, 5 }, 0 },
    };
    for (const Step& s : steps) {
        grid.step(s.by);
        EXPECT_EQ(shownRows(), s.rows) << "step " << s.by;
        EXPECT_EQ(grid.currentPanel(), s.panel) << "step " << s.by;
        EXPECT_EQ(table.recordNumber(), s.rows[s.panel]);
        EXPECT_EQ(grid.scrollBar()->value(), static_cast<int>(table.recordNumber()));
    }
    EXPECT_EQ(grid.scrollBar()->minimum(), 1);
    EXPECT_EQ(grid.scrollBar()->maximum(), 12);
}

TEST_F(GridTest, ScrollBarMovesTheCurrentRowByRecordNumber)
{
    addRows(12);
    attach();
    QScrollBar* bar = grid.scrollBar();
    bar->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(table.recordNumber(), 12u);
    EXPECT_EQ(grid.panelRecord(4), 12u);
    bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(table.recordNumber(), 11u);
    bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(table.recordNumber(), 6u);

    // Dragging upwards over deleted rows lands on the nearest row above.
    table.moveToRecord(3);
    table.remove();
    table.moveToRecord(4);
    table.remove();
    table.moveToRecord(9);
    bar->setSliderPosition(4);
    EXPECT_EQ(table.recordNumber(), 2u);
    bar->setSliderPosition(7);
    EXPECT_EQ(table.recordNumber(), 7u);
    const std::vector<std::uint32_t> rows = shownRows();
    EXPECT_EQ(std::count(rows.begin(), rows.end(), 3u), 0);
}

TEST_F(GridTest, DeletedRowsAreShownNowhere)
{
    addRows(8);
    table.moveToRecord(2);
    table.remove();
    table.first();
    attach();
    EXPECT_EQ(shownRows(), (std::vector<std::uint32_t> { 1, 3, 4, 5, 6 }));
}

TEST_F(GridTest, OnlyTheCurrentPanelIsEditableAndDrawnInTheShadowColour)
{
    addRows(3);
    attach();
    grid.step(1);
    const QColor shadow = grid.palette().color(QPalette::Dark);
    for (int i = 0; i < 3; ++i) {
        const bool current = i == 1;
        EXPECT_EQ(grid.panel(i)->palette().color(QPalette::Window) == shadow, current) << i;
        EXPECT_EQ(grid.edit(i, kComment)->isReadOnly(), !current) << i;
    }
    EXPECT_FALSE(grid.panel(3)->isVisibleTo(&grid)); // no row behind it

    // Clicking another panel makes its row current.
    QTest::mouseClick(grid.panel(2), Qt::LeftButton, {}, QPoint(300, 5));
    EXPECT_EQ(table.recordNumber(), 3u);
    EXPECT_EQ(grid.currentPanel(), 2);
    EXPECT_FALSE(grid.edit(2, kComment)->isReadOnly());
}

TEST_F(GridTest, EditsSitAtTheirDesignedPlacesWithTheFieldWidths)
{
    attach();
    struct Design {
        LogField field;
        const char* name;
        QPoint at;
        int width;
        int maxLength;
    };
    const Design design[] = {
        { kTakeoffDate, "DBEdit1", { 8, 24 }, 81, 32767 },
        { kTakeoffTime, "DBEdit9", { 88, 24 }, 41, 5 },
        { kFlightTime, "DBEdit2", { 144, 24 }, 49, 32767 },
        { kMaxAltitude, "DBEdit3", { 360, 24 }, 49, 32767 },
        { kMaxSpeed, "DBEdit4", { 416, 24 }, 41, 32767 },
        { kHobbs, "DBEdit7", { 464, 24 }, 65, 32767 },
        { kInstrument, "DBEdit6", { 536, 24 }, 49, 4 },
        { kComment, "DBEdit5", { 144, 48 }, 441, 64 },
        { kStudent, "DBEdit8", { 600, 48 }, 41, 32767 },
    };
    for (const Design& d : design) {
        QLineEdit* e = grid.edit(0, d.field);
        EXPECT_EQ(e->objectName(), QString::fromLatin1(d.name));
        // Designed places, moved right only where a wider font needs the room.
        EXPECT_EQ(e->y(), d.at.y()) << d.name;
        EXPECT_GE(e->x(), d.at.x()) << d.name;
        EXPECT_LE(e->x(), d.at.x() + 40) << d.name;
        EXPECT_EQ(e->width(), d.width) << d.name;
        EXPECT_EQ(e->maxLength(), d.maxLength) << d.name;
    }
    EXPECT_GE(grid.panel(0)->width(), 657);
    EXPECT_EQ(grid.panel(0)->height(), 75);
    EXPECT_EQ(grid.panel(1)->pos(), QPoint(0, 75));

    // No caption is cut or covered.
    const QList<QWidget*> parts
        = grid.panel(0)->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget* a : parts) {
        if (auto* label = qobject_cast<QLabel*>(a)) {
            EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
        }
        EXPECT_LE(a->geometry().right(), grid.panel(0)->width()) << a->objectName().toStdString();
        for (QWidget* b : parts) {
            // The date and time edits touch by design.
            const bool designedTouch = a->objectName().startsWith(QLatin1String("DBEdit"))
                && b->objectName().startsWith(QLatin1String("DBEdit"));
            if (a != b && !designedTouch) {
                EXPECT_FALSE(a->geometry().intersects(b->geometry()))
                    << a->objectName().toStdString() << " " << b->objectName().toStdString();
            }
        }
    }

    // The tab key walks the panel in its designed order.
    const LogField order[] = { kFlightTime, kMaxAltitude, kMaxSpeed, kComment, kInstrument, kHobbs, kStudent,
        kTakeoffDate, kTakeoffTime };
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        QWidget* next = grid.edit(0, order[i])->nextInFocusChain();
        EXPECT_EQ(next, grid.edit(0, order[i + 1])) << grid.edit(0, order[i])->objectName().toStdString()
                                                    << " -> " << next->objectName().toStdString();
    }
}

TEST_F(GridTest, PanelsShowTheStoredValues)
{
    addRows(3);
    attach();
    EXPECT_EQ(grid.edit(0, kTakeoffDate)->text(),
        QLocale::system().toString(QDate(2026, 3, 1), QLocale::ShortFormat));
    EXPECT_EQ(grid.edit(0, kTakeoffTime)->text(), QStringLiteral("9:05"));
    EXPECT_EQ(grid.edit(1, kFlightTime)->text(), QStringLiteral("90"));
    EXPECT_EQ(grid.edit(2, kComment)->text(), QStringLiteral("row 3"));
    EXPECT_EQ(grid.edit(0, kHobbs)->text(), QString()); // never set

    // Student 0 (row 3) hides that panel's Student edit and label only.
    EXPECT_TRUE(grid.edit(2, kStudent)->isHidden());
    EXPECT_TRUE(grid.studentLabel(2)->isHidden());
    EXPECT_FALSE(grid.edit(0, kStudent)->isHidden());
    EXPECT_FALSE(grid.studentLabel(1)->isHidden());
}

TEST_F(GridTest, TypingEditsTheRowAndLeavingItWritesIt)
{
    addRows(3);
    attach();
    QLineEdit* comment = grid.edit(0, kComment);
    comment->selectAll();
    QTest::keyClicks(comment, QStringLiteral("changed"));
    EXPECT_EQ(table.state(), DbfTable::State::Edit);
    grid.step(1);
    EXPECT_EQ(table.state(), DbfTable::State::Browse);
    EXPECT_EQ(table.flight(1).text(kComment), QStringLiteral("changed"));
    EXPECT_EQ(grid.edit(0, kComment)->text(), QStringLiteral("changed"));

    // Number edits take digits and signs only.
    QLineEdit* altitude = grid.edit(1, kMaxAltitude);
    QTest::keyClicks(altitude, QStringLiteral("1a2.3-"));
    EXPECT_EQ(altitude->text(), QStringLiteral("123-"));
    altitude->setText(QStringLiteral("1500"));
    altitude->setModified(true);
    table.post();
    EXPECT_EQ(table.flight(2).integer(kMaxAltitude), 1500);
}

TEST_F(GridTest, AReloadLeavesTheCursorOfAnUnchangedEdit)
{
    // A download appending rows reloads the panels while the user sits in an
    // edit; the next keystroke must land where the cursor was.
    addRows(3);
    attach();
    grid.show();
    QApplication::setActiveWindow(&grid);
    QLineEdit* comment = grid.edit(0, kComment);
    comment->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return comment->hasFocus(); }));
    comment->setCursorPosition(2);
    table.disableControls();
    table.append();
    table.setText(kComment, QStringLiteral("downloaded"));
    table.post();
    table.moveToRecord(1);
    table.enableControls();
    EXPECT_EQ(comment->text(), QStringLiteral("row 1"));
    EXPECT_EQ(comment->cursorPosition(), 2);
}

TEST_F(GridTest, ARefusedTextKeepsTheFieldAndTheRowBeingEdited)
{
    addRows(2);
    attach();
    struct Case {
        LogField field;
        const char* typed;
        const char* message;
    };
    const Case cases[] = {
        { kStudent, "-", "'-' is not a valid integer value for field 'STUDENT'" },
        { kMaxAltitude, "1000000000", "Value is too long : 10 characters (it can't be more than 9)." },
        { kTakeoffDate, "31/31/31", "'31/31/31' is not a valid date" },
    };
    for (const Case& c : cases) {
        const QString before = grid.edit(0, c.field)->text();
        table.edit();
        QLineEdit* e = grid.edit(0, c.field);
        e->setText(QString::fromLatin1(c.typed));
        e->setModified(true);
        try {
            table.post();
            ADD_FAILURE() << c.typed << " was accepted";
        } catch (const DbfError& error) {
            EXPECT_EQ(QString::fromUtf8(error.what()), QString::fromLatin1(c.message));
        }
        EXPECT_EQ(table.state(), DbfTable::State::Edit);
        EXPECT_EQ(e->selectedText(), QString::fromLatin1(c.typed));
        table.cancel();
        EXPECT_EQ(grid.edit(0, c.field)->text(), before);
    }
}

TEST_F(GridTest, InsertShowsTheNewRowAtTheCurrentPlaceAndPostPutsItLast)
{
    addRows(6);
    table.moveToRecord(3);
    attach();
    const int panel = grid.currentPanel();
    table.insert();
    EXPECT_EQ(grid.currentPanel(), panel);
    EXPECT_EQ(grid.panelRecord(panel), 0u);
    EXPECT_TRUE(grid.edit(panel, kComment)->text().isEmpty());
    EXPECT_EQ(grid.panelRecord(panel + 1), 3u);
    QTest::keyClicks(grid.edit(panel, kComment), QStringLiteral("new"));
    table.post();
    EXPECT_EQ(table.recordNumber(), 7u);
    EXPECT_EQ(grid.edit(grid.currentPanel(), kComment)->text(), QStringLiteral("new"));
    EXPECT_EQ(grid.panelRecord(grid.currentPanel()), 7u);
}

TEST_F(GridTest, AClosedTableShowsNoPanels)
{
    addRows(2);
    attach();
    table.close();
    grid.reload();
    for (int i = 0; i < Grid::kPanelCount; ++i)
        EXPECT_FALSE(grid.panel(i)->isVisibleTo(&grid));
    EXPECT_FALSE(grid.scrollBar()->isEnabled());
}

} // namespace
} // namespace cvlog::test
