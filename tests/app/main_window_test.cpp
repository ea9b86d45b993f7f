// The main window from start-up to shutdown, driven through its real widgets.

#include "app_test_support.h"

#include "app/db_navigator.h"
#include "app/record_panel_grid.h"
#include "logstore/conversions.h"
#include "pty_pair.h"

#include <QAction>
#include <QCheckBox>
#include <QDateEdit>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>
#include <functional>

#include <array>

namespace cvlog::test
{
namespace
{

using Nav = DBNavigator;

TEST_F(WindowTest, FirstStartInAnEmptyDirectoryCreatesTheTableAndUsesTheDefaults)
{
    // Only the device behind COM1 is given, so that the port opens anywhere.
    PtyPair pty;
    MapPortsTo(file("CVLog.ini"), QString::fromStdString(pty.slavePath()));
    auto form = makeWindow();

    EXPECT_EQ(ReadAll(file("CVLog.dbf")).size(), 322);
    EXPECT_TRUE(form->Dbf1.isOpen());
    EXPECT_EQ(form->DateFrom->date(), Today());
    EXPECT_EQ(form->DateTo->date(), Today());
    EXPECT_EQ(form->link.portNumber, 1);
    EXPECT_EQ(form->Comm1DeviceName(), QStringLiteral("COM1"));
    EXPECT_EQ(form->link.deviceAddress, 0xE1);
    EXPECT_TRUE(form->link.freshLink);
    std::array<bool, 5> marks {};
    for (std::size_t i = 0; i < marks.size(); ++i)
        marks[i] = form->markActions()[i]->isChecked();
    EXPECT_EQ(marks, (std::array<bool, 5> { false, true, false, true, false }));
    EXPECT_EQ(form->StatusPanel0->text(), QStringLiteral("Connect status:"));
    EXPECT_EQ(form->StatusPanel1->text(), QStringLiteral("Not Connected, current port not available"));
    EXPECT_FALSE(form->link.portReady);
    EXPECT_FALSE(form->CheckBox1->isChecked());
    EXPECT_TRUE(messages.shown.empty());

    form->show();
    EXPECT_TRUE(form->link.portReady);
    EXPECT_FALSE(form->link.linkUp);
    EXPECT_EQ(form->StatusPanel1->text(), QStringLiteral("Not Connected, attempting COM1"));
}

TEST_F(WindowTest, WindowHasItsDesignedCaptionPlaceAndControls)
{
    auto form = makeWindow();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Varnok Zozivura Corvane Flight Log version 1.5"));
    EXPECT_EQ(form->pos(), QPoint(193, 160));
    EXPECT_GE(form->width(), 697);
    EXPECT_GE(form->height(), 494);
    EXPECT_EQ(form->DBNavigator1->geometry(), QRect(8, 0, 234, 41));
    EXPECT_EQ(form->DBCtrlGrid1->pos(), QPoint(8, 40));
    EXPECT_EQ(form->CheckBox1->text(), QStringLiteral("Filter dates"));
    EXPECT_EQ(form->LabelDateFrom->text(), QStringLiteral("Filter date from"));
    EXPECT_EQ(form->LabelDateTo->text(), QStringLiteral("Filter date to"));
    EXPECT_EQ(form->LabelTimeTotal->text(), QStringLiteral("Time total"));
    EXPECT_TRUE(form->DateFrom->calendarPopup());
    EXPECT_EQ(form->DateFrom->displayFormat(), QLocale::system().dateFormat(QLocale::ShortFormat));
    EXPECT_TRUE(form->Edit1->isReadOnly());
    EXPECT_GE(form->StatusPanel0->minimumWidth(), 90);
    EXPECT_GE(form->Edit1->width(), 57);
    EXPECT_GE(form->Edit1->width(), form->Edit1->fontMetrics().horizontalAdvance(QStringLiteral("1000:00")));

    // Nothing in the top strip covers its neighbour, and every text fits.
    const std::array<QWidget*, 8> strip { form->DBNavigator1, form->CheckBox1, form->LabelDateFrom,
        form->DateFrom, form->LabelDateTo, form->DateTo, form->LabelTimeTotal, form->Edit1 };
    for (QWidget* a : strip) {
        // A line edit's size hint says nothing about its text; the navigator has its own size.
        if (a != form->DBNavigator1 && a != form->Edit1) {
            EXPECT_GE(a->width(), a->sizeHint().width()) << a->objectName().toStdString();
        }
        for (QWidget* b : strip) {
            if (a != b) {
                EXPECT_FALSE(a->geometry().intersects(b->geometry()))
                    << a->objectName().toStdString() << " " << b->objectName().toStdString();
            }
        }
    }
}

TEST_F(WindowTest, MenusCarryTheirCaptionsInOrder)
{
    auto form = makeWindow();
    struct MenuDesign {
        const char* title;
        std::vector<const char*> items; // "-" for a separator
    };
    const std::vector<MenuDesign> design {
        { "&File",
            { "&Import flights...", "&Save as Textfile", "Save as &comma delimited textfile",
                "&Print / print preview", "-", "&Exit" } },
        { "&Edit", { "&Undo", "&Redo" } },
        { "&Database", { "&Wipe database", "&Compact database", "&Backup database", "&Restore database" } },
        { "&Setup",
            { "&Communications port", "(&1) Units Meters,kmh", "(&2) Units feet,mph", "(&3) Units feet,knots",
                "(&a) Hour fractions are minutes", "(&b) Hour fractions are decimals", "-",
                "&Page totals in report", "&Opening totals...", "-", "&Initialize download key",
                "&Download all flights" } },
        { "&View", { "&Statistics" } },
    };
    const QList<QAction*> menus = form->menuBar()->actions();
    ASSERT_EQ(menus.size(), static_cast<qsizetype>(design.size()));
    for (std::size_t m = 0; m < design.size(); ++m) {
        EXPECT_EQ(menus[m]->text(), QString::fromLatin1(design[m].title));
        const QList<QAction*> items = menus[m]->menu()->actions();
        ASSERT_EQ(items.size(), static_cast<qsizetype>(design[m].items.size())) << design[m].title;
        for (std::size_t i = 0; i < design[m].items.size(); ++i) {
            if (QLatin1String(design[m].items[i]) == QLatin1String("-"))
                EXPECT_TRUE(items[i]->isSeparator());
            else
                EXPECT_EQ(items[i]->text(), QString::fromLatin1(design[m].items[i]));
        }
    }
    for (QAction* mark : form->markActions())
        EXPECT_TRUE(mark->isCheckable()) << mark->text().toStdString();
    EXPECT_FALSE(form->Communicationsport1->isCheckable());
    EXPECT_TRUE(form->Pagetotals1->isCheckable());
    EXPECT_EQ(form->Statistics1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_T));
    EXPECT_EQ(form->ImportFlights1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_I));
}

TEST_F(WindowTest, UnitMenuCommandsSetTheirMarks)
{
    auto form = makeWindow();
    struct Case {
        QAction* TForm1::*item;
        std::array<bool, 5> marks;
    };
    const std::vector<Case> cases {
        { &TForm1::Metricunits1, { true, false, false, true, false } },
        { &TForm1::Metricunits1,
            { true, false, false, true, false } }, // clicking an item already on keeps it on
        { &TForm1::N3Unitsfeetnm1, { false, false, true, true, false } },
        { &TForm1::bHourfractionsaredecimals1, { false, false, true, false, true } },
        { &TForm1::N2Unitsfeetmph1, { false, true, false, false, true } },
        { &TForm1::a1, { false, true, false, true, false } },
    };
    for (const Case& c : cases) {
        (form.get()->*c.item)->trigger();
        std::array<bool, 5> marks {};
        for (std::size_t i = 0; i < marks.size(); ++i)
            marks[i] = form->markActions()[i]->isChecked();
        EXPECT_EQ(marks, c.marks) << (form.get()->*c.item)->text().toStdString();
    }
}

TEST_F(WindowTest, StoredPortChoosesTheDeviceName)
{
    struct Case {
        const char* value;
        int port;
    };
    PtyPair pty;
    for (const Case& c :
        { Case { "3", 3 }, Case { "0", 1 }, Case { "9", 1 }, Case { "abc", 1 }, Case { "0x3", 3 } }) {
        WriteAll(file("CVLog.ini"), QByteArray("[General]\nPORT=") + c.value + "\n");
        MapPortsTo(file("CVLog.ini"), QString::fromStdString(pty.slavePath()));
        auto form = makeWindow();
        EXPECT_EQ(form->Comm1DeviceName(), QStringLiteral("COM%1").arg(c.port)) << c.value;
        form->show();
        EXPECT_EQ(form->StatusPanel1->text(), QStringLiteral("Not Connected, attempting COM%1").arg(c.port));
        ASSERT_TRUE(form->close());
        EXPECT_TRUE(
            ReadAll(file("CVLog.ini")).contains(QByteArray("PORT=") + QByteArray::number(c.port) + "\n"));
    }
}

TEST_F(WindowTest, InsertWritesTheRowAtOnceAndTheHeaderAtClose)
{
    auto form = makeWindow();
    form->show();
    form->DBNavigator1->button(Nav::Insert)->click();
    QLineEdit* comment = form->DBCtrlGrid1->edit(form->DBCtrlGrid1->currentPanel(), kComment);
    QTest::keyClicks(comment, QStringLiteral("First flight"));
    form->DBNavigator1->button(Nav::Post)->click();

    QByteArray bytes = ReadAll(file("CVLog.dbf"));
    EXPECT_EQ(bytes.size(), 448);
    EXPECT_EQ(HeaderCount(bytes), 0u);
    EXPECT_EQ(bytes.at(321), ' ');
    EXPECT_EQ(bytes.mid(321 + 63, 12), QByteArray("First flight"));

    form->DateFrom->setDate(QDate(2026, 1, 1));
    ASSERT_TRUE(form->close());
    bytes = ReadAll(file("CVLog.dbf"));
    EXPECT_EQ(bytes.size(), 449);
    EXPECT_EQ(HeaderCount(bytes), 1u);
    EXPECT_EQ(bytes.back(), '\x1a');
    const QByteArray ini = ReadAll(file("CVLog.ini"));
    EXPECT_EQ(ini,
        QByteArray("[General]\nFromDate=") + QByteArray::number(dayNumberOf(QDate(2026, 1, 1)))
            + "\nToDate=46086\nPORT=1\nx1=0\nx2=1\nx3=0\nx4=1\nx5=0\n");
}

// A log that can only be read (rows of another length than its fields) is
// shown with one word of why; nothing in the window offers to change it.
TEST_F(WindowTest, ADamagedLogIsShownButTakesNoChange)
{
    {
        auto first = makeWindow();
        first->Dbf1.append();
        first->Dbf1.setText(kComment, QStringLiteral("kept"));
        first->Dbf1.post();
        ASSERT_TRUE(first->close());
    }
    QByteArray bytes = ReadAll(file("CVLog.dbf"));
    bytes[10] = static_cast<char>(128); // rows one byte longer than the fields
    WriteAll(file("CVLog.dbf"), bytes);
    messages.shown.clear();

    auto form = makeWindow();
    form->show();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].text.contains(
        QStringLiteral("its rows are 128 bytes long, but its fields take 127")))
        << messages.shown[0].text.toStdString();
    for (const Nav::Button button : { Nav::Insert, Nav::Delete, Nav::Edit })
        EXPECT_FALSE(form->DBNavigator1->button(button)->isEnabled()) << button;
    QLineEdit* comment = form->DBCtrlGrid1->edit(form->DBCtrlGrid1->currentPanel(), kComment);
    EXPECT_TRUE(comment->isReadOnly());
    QTest::keyClicks(comment, QStringLiteral("typed"));
    form->Compactdatabse1->trigger();
    EXPECT_EQ(messages.shown.size(), 2u) << "only the compact says why it cannot";
    ASSERT_TRUE(form->close());
    EXPECT_EQ(ReadAll(file("CVLog.dbf")), bytes);
}

TEST_F(WindowTest, NavigatorEnablesOnlyWhatApplies)
{
    auto form = makeWindow();
    DBNavigator& nav = *form->DBNavigator1;
    auto enabled = [&nav] {
        std::array<bool, Nav::ButtonCount> on {};
        for (int i = 0; i < Nav::ButtonCount; ++i)
            on[i] = nav.button(static_cast<Nav::Button>(i))->isEnabled();
        return on;
    };
    using E = std::array<bool, Nav::ButtonCount>;
    //                 first  prior  next   last   insert delete edit   post   cancel
    EXPECT_EQ(enabled(), (E { false, false, false, false, true, false, true, false, false })) << "empty";
    nav.button(Nav::Insert)->click();
    EXPECT_EQ(enabled(), (E { false, false, false, false, true, true, false, true, true })) << "inserting";
    nav.button(Nav::Post)->click();
    nav.button(Nav::Insert)->click();
    nav.button(Nav::Post)->click();
    nav.button(Nav::First)->click();
    const E atFirst = enabled();
    EXPECT_FALSE(atFirst[Nav::First]);
    EXPECT_TRUE(atFirst[Nav::Next] && atFirst[Nav::Last] && atFirst[Nav::Delete] && atFirst[Nav::Edit]);
    nav.button(Nav::Edit)->click();
    EXPECT_FALSE(nav.button(Nav::Edit)->isEnabled());
    EXPECT_TRUE(nav.button(Nav::Post)->isEnabled() && nav.button(Nav::Cancel)->isEnabled());
    nav.button(Nav::Cancel)->click();
    form->Dbf1.close();
    nav.updateButtons();
    EXPECT_EQ(enabled(), E {}) << "closed";
}

TEST_F(WindowTest, EditPostAndCancelThroughTheNavigator)
{
    auto form = makeWindow();
    form->show();
    DBNavigator& nav = *form->DBNavigator1;
    RecordPanelGrid& grid = *form->DBCtrlGrid1;
    nav.button(Nav::Insert)->click();
    QTest::keyClicks(grid.edit(grid.currentPanel(), kInstrument), QStringLiteral("AB12"));
    nav.button(Nav::Post)->click();
    EXPECT_EQ(form->Dbf1.text(kInstrument), QStringLiteral("AB12"));

    // Typing starts an edit by itself; Post writes it in place.
    QLineEdit* instrument = grid.edit(grid.currentPanel(), kInstrument);
    instrument->selectAll();
    QTest::keyClicks(instrument, QStringLiteral("CD34"));
    EXPECT_EQ(form->Dbf1.state(), DbfTable::State::Edit);
    nav.button(Nav::Post)->click();
    EXPECT_EQ(form->Dbf1.state(), DbfTable::State::Browse);
    EXPECT_EQ(ReadAll(file("CVLog.dbf")).mid(321 + 59, 4), QByteArray("CD34"));

    // Cancel drops the typed text from the edit and the file.
    nav.button(Nav::Edit)->click();
    instrument->selectAll();
    QTest::keyClicks(instrument, QStringLiteral("ZZ"));
    nav.button(Nav::Cancel)->click();
    EXPECT_EQ(instrument->text(), QStringLiteral("CD34"));
    EXPECT_EQ(ReadAll(file("CVLog.dbf")).mid(321 + 59, 4), QByteArray("CD34"));
    EXPECT_EQ(ReadAll(file("CVLog.dbf")).size(), 448);
}

TEST_F(WindowTest, DeleteAsksFirstAndKeepsTheRowWhenRefused)
{
    auto form = makeWindow();
    DBNavigator& nav = *form->DBNavigator1;
    nav.button(Nav::Insert)->click();
    QTest::keyClicks(
        form->DBCtrlGrid1->edit(form->DBCtrlGrid1->currentPanel(), kComment), QStringLiteral("x"));
    nav.button(Nav::Post)->click();

    struct Case {
        bool confirm;
        char flag;
    };
    for (const Case& c : { Case { false, ' ' }, Case { true, '*' } }) {
        messages.shown.clear();
        messages.answers = { c.confirm };
        nav.button(Nav::Delete)->click();
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].kind, MessageKind::OkCancel);
        EXPECT_EQ(messages.shown[0].text, QStringLiteral("Delete record?"));
        EXPECT_EQ(ReadAll(file("CVLog.dbf")).at(321), c.flag);
        EXPECT_EQ(form->Dbf1.isEmpty(), c.confirm);
    }
    EXPECT_FALSE(form->DBCtrlGrid1->panel(0)->isVisible() && form->DBCtrlGrid1->panelRecord(0) != 0);
}

TEST_F(WindowTest, SettingsThatCannotBeWrittenAreSaidOnceAndTheWindowCloses)
{
    auto form = makeWindow();
    form->show();
    // A directory where the settings file should be cannot be written.
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("CVLog.ini")));
    EXPECT_TRUE(form->close());
    EXPECT_FALSE(form->isVisible());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].kind, MessageKind::Error);
    EXPECT_EQ(messages.shown[0].caption, QStringLiteral("Varnok Zozivura Flight Log"));
    EXPECT_TRUE(messages.shown[0].text.startsWith(QStringLiteral("Unable to write to ")));
    EXPECT_TRUE(messages.shown[0].text.contains(QStringLiteral("CVLog.ini")));
    // The table was closed before, and its header written.
    EXPECT_FALSE(form->Dbf1.isOpen());
    EXPECT_EQ(ReadAll(file("CVLog.dbf")).size(), 322);
}

TEST_F(WindowTest, ATableThatCannotBeOpenedIsShownAndTheWindowStillOpens)
{
    // A header whose length gives no field is refused.
    QByteArray bad(40, '\0');
    bad[0] = 0x03;
    bad[8] = 32;
    bad[10] = 1;
    WriteAll(file("CVLog.dbf"), bad);
    auto form = makeWindow();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].kind, MessageKind::Error);
    EXPECT_TRUE(messages.shown[0].text.startsWith(QStringLiteral("Invalid field count : ")));
    EXPECT_TRUE(messages.shown[0].text.endsWith(QLatin1Char(')'))); // no "." after ")"
    // The remaining start-up steps were skipped.
    EXPECT_EQ(form->Comm1DeviceName(), QStringLiteral("Com1"));
    EXPECT_TRUE(form->StatusPanel1->text().isEmpty());
    EXPECT_FALSE(form->Dbf1.isOpen());
    for (int i = 0; i < Nav::ButtonCount; ++i)
        EXPECT_FALSE(form->DBNavigator1->button(static_cast<Nav::Button>(i))->isEnabled());
    form->show();
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(ReadAll(file("CVLog.dbf")), bad);
}

TEST_F(WindowTest, TableFileIsFoundWhateverTheCaseOfItsName)
{
    {
        FlightLog table;
        table.setPath((dir.path() + QStringLiteral("/cvlog.DBF")).toStdString());
        table.create(logTableFields());
        table.open();
        table.append();
        table.setText(kComment, QStringLiteral("kept"));
        table.post();
        table.close();
    }
    auto form = makeWindow();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList { QStringLiteral("cvlog.DBF") });
    EXPECT_FALSE(form->Dbf1.isEmpty());
    EXPECT_EQ(form->Dbf1.text(kComment), QStringLiteral("kept"));
}

TEST_F(WindowTest, UsbBridgeInUseLeavesTheSerialPortAlone)
{
    ASSERT_TRUE(QFile::copy(QStringLiteral(FAKE_SIUSBXP), file("libsiusbxp.so")));
    qputenv("FAKE_SIUSBXP_DEVICES", "1");
    auto form = makeWindow();
    qunsetenv("FAKE_SIUSBXP_DEVICES");
    EXPECT_TRUE(form->link.usbActive);
    EXPECT_EQ(form->StatusPanel1->text(), QStringLiteral("Not Connected, attempting USB Tavolink IF"));
    form->show();
    EXPECT_TRUE(form->link.portReady);
    EXPECT_EQ(form->StatusPanel1->text(), QStringLiteral("Not Connected, attempting USB Tavolink IF"));
}

TEST_F(WindowTest, OnlyTheFirstShowingStartsTheLink)
{
    auto form = makeWindow();
    form->show();
    EXPECT_FALSE(form->firstShowPending());
    form->link.linkUp = true;
    form->link.portReady = false;
    form->hide();
    form->show();
    EXPECT_TRUE(form->link.linkUp);
    EXPECT_FALSE(form->link.portReady);
}

TEST_F(WindowTest, ExitClosesTheWindowThroughTheShutdown)
{
    auto form = makeWindow();
    form->show();
    form->Exit1->trigger();
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(form->Dbf1.isOpen());
    EXPECT_TRUE(QFile::exists(file("CVLog.ini")));
}

} // namespace
} // namespace cvlog::test

namespace cvlog::test
{
namespace
{

TEST_F(WindowTest, RecordEditsShowAndReadTheChosenUnits)
{
    auto form = makeWindow();
    RecordPanelGrid& grid = *form->DBCtrlGrid1;
    form->DBNavigator1->button(DBNavigator::Insert)->click();
    const int panel = grid.currentPanel();
    EXPECT_EQ(grid.edit(panel, kFlightTime)->text(), QStringLiteral("0:00")); // an empty row reads 0
    auto type = [&](LogField field, const QString& text) {
        QLineEdit* e = grid.edit(grid.currentPanel(), field);
        e->selectAll();
        QTest::keyClicks(e, text);
    };
    grid.edit(grid.currentPanel(), kFlightTime)->setText(QStringLiteral("1:30"));
    grid.edit(grid.currentPanel(), kFlightTime)->setModified(true);
    type(kMaxAltitude, QStringLiteral("1000"));
    type(kMaxSpeed, QStringLiteral("100"));
    form->DBNavigator1->button(DBNavigator::Post)->click();
    EXPECT_EQ(form->Dbf1.integer(kFlightTime), 90);
    EXPECT_EQ(form->Dbf1.integer(kMaxAltitude), 1000);

    struct Case {
        QAction* TForm1::*item;
        const char* flightTime;
        const char* altitude;
        const char* speed;
    };
    const Case cases[] = {
        { &TForm1::Metricunits1, "1:30", "304", "160" },
        { &TForm1::N3Unitsfeetnm1, "1:30", "1000", "86" },
        { &TForm1::bHourfractionsaredecimals1, "1.50", "1000", "86" },
        { &TForm1::N2Unitsfeetmph1, "1.50", "1000", "100" },
        { &TForm1::a1, "1:30", "1000", "100" },
    };
    for (const Case& c : cases) {
        (form.get()->*c.item)->trigger();
        const int p = grid.currentPanel();
        EXPECT_EQ(grid.edit(p, kFlightTime)->text(), QString::fromLatin1(c.flightTime)) << c.flightTime;
        EXPECT_EQ(grid.edit(p, kMaxAltitude)->text(), QString::fromLatin1(c.altitude)) << c.altitude;
        EXPECT_EQ(grid.edit(p, kMaxSpeed)->text(), QString::fromLatin1(c.speed)) << c.speed;
    }

    // A time typed in minutes is read in minutes even when decimals are chosen before leaving the edit.
    QLineEdit* flight = grid.edit(grid.currentPanel(), kFlightTime);
    flight->setText(QStringLiteral("2:00"));
    flight->setModified(true);
    form->Dbf1.edit();
    form->bHourfractionsaredecimals1->trigger();
    EXPECT_EQ(form->Dbf1.integer(kFlightTime), 120);
    EXPECT_EQ(grid.edit(grid.currentPanel(), kFlightTime)->text(), QStringLiteral("2.00"));
}

TEST_F(WindowTest, ARefusedValueReachedByAnyMoveShowsTheBoxAndTheProgramGoesOn)
{
    {
        FlightLog seed;
        seed.setPath(file("CVLog.dbf").toStdString());
        seed.create(logTableFields());
        seed.open();
        for (int day = 1; day <= 8; ++day) {
            seed.append();
            seed.setDate(kTakeoffDate, QDate(2026, 3, day));
            seed.setInteger(kStudent, 1);
            seed.post();
        }
    }
    auto form = makeWindow();
    form->show();
    RecordPanelGrid& grid = *form->DBCtrlGrid1;
    QLineEdit* student = grid.edit(grid.currentPanel(), kStudent);
    student->setFocus();
    student->selectAll();
    QTest::keyClicks(student, QStringLiteral("-"));
    ASSERT_EQ(form->Dbf1.state(), DbfTable::State::Edit);

    const std::pair<const char*, std::function<void()>> moves[] = {
        { "scroll bar", [&] { grid.scrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd); } },
        { "mouse wheel",
            [&] {
                QWheelEvent wheel(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, -120), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
                QApplication::sendEvent(&grid, &wheel);
            } },
        { "keyboard", [&] { QTest::keyClick(student, Qt::Key_Down); } },
        { "navigator", [&] { form->DBNavigator1->button(Nav::Next)->click(); } },
        // Commands end the edit first, and a refusal stops them before they begin.
        { "filter", [&] { form->CheckBox1->click(); } },
        { "compact", [&] { form->Compactdatabse1->trigger(); } },
    };
    for (const auto& [name, move] : moves) {
        SCOPED_TRACE(name);
        const std::size_t before = messages.shown.size();
        move();
        QCoreApplication::processEvents();
        ASSERT_EQ(messages.shown.size(), before + 1);
        EXPECT_EQ(messages.shown.back().kind, MessageKind::Error);
        EXPECT_EQ(messages.shown.back().text,
            QStringLiteral("'-' is not a valid integer value for field 'STUDENT'"));
        EXPECT_EQ(form->Dbf1.state(), DbfTable::State::Edit);
        EXPECT_EQ(form->Dbf1.recordNumber(), 1u);
        EXPECT_EQ(student->text(), QStringLiteral("-"));
        EXPECT_FALSE(form->CheckBox1->isChecked());
    }
    // Put right, the row is written and the moves work again.
    student->selectAll();
    QTest::keyClicks(student, QStringLiteral("2"));
    form->DBNavigator1->button(Nav::Next)->click();
    EXPECT_EQ(form->Dbf1.recordNumber(), 2u);
    form->Dbf1.first();
    EXPECT_EQ(form->Dbf1.integer(kStudent), 2);
}

} // namespace
} // namespace cvlog::test
