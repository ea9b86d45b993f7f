// The main window's link over real transports: a pseudo-terminal mapped as
// COM1 in the settings, or the fake USB bridge library writing to one, with
// the test playing the instrument on the master side.

#include "app_test_support.h"

#include "app/db_navigator.h"
#include "app/key_init_form.h"
#include "app/record_panel_grid.h"
#include "app/statistics_window.h"
#include "app/status_form.h"
#include "link_fakes.h"
#include "pty_pair.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <poll.h>
#include <set>
#include <unistd.h>

namespace cvlog::test
{
namespace
{

using namespace std::chrono_literals;

constexpr auto kLinkTimeout = 15s; // ticks are 200 ms; sanitizer builds are slow

// An instrument behind the master side of a pseudo-terminal: it answers
// identity, log position and record read requests from its memory.
class ScriptedInstrument
{
public:
    explicit ScriptedInstrument(int master)
        : master(master)
    {
    }

    Bytes identity = ShortIdentity("F123", "V2.1", "F123");
    std::uint16_t position = 0xF1A0;
    std::map<std::uint16_t, Bytes> memory; // record replies by slot address
    bool answering = true;

    std::vector<Bytes> requests; // bodies of the frames received
    std::vector<std::uint8_t> addresses; // and where each was sent

    bool wasAskedFor(std::uint16_t slot) const
    {
        const Bytes read { 0x07, static_cast<std::uint8_t>(slot & 0xFF),
            static_cast<std::uint8_t>(slot >> 8) };
        return std::find(requests.begin(), requests.end(), read) != requests.end();
    }

    void pump()
    {
        std::uint8_t buffer[512];
        for (;;) {
            pollfd pfd { master, POLLIN, 0 };
            if (::poll(&pfd, 1, 0) <= 0 || !(pfd.revents & POLLIN))
                break;
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0)
                break;
            inbox.insert(inbox.end(), buffer, buffer + n);
        }
        takeFrames();
    }

    void send(const Bytes& bytes) const
    {
        ASSERT_EQ(::write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

private:
    void takeFrames()
    {
        // Anything that is not a whole frame (a terminal's echo before the
        // port was configured) is skipped a byte at a time.
        while (inbox.size() >= 5) {
            if (inbox[0] != kStartByte) {
                inbox.erase(inbox.begin());
                continue;
            }
            const std::size_t total = std::size_t { inbox[2] } + 5;
            if (inbox.size() < total)
                return;
            if (inbox[total - 1] != kEndByte || inbox[2] == 0) {
                inbox.erase(inbox.begin());
                continue;
            }
            const Bytes body(inbox.begin() + 3, inbox.begin() + 3 + inbox[2]);
            addresses.push_back(inbox[1]);
            requests.push_back(body);
            inbox.erase(inbox.begin(), inbox.begin() + static_cast<std::ptrdiff_t>(total));
            if (answering)
                answer(body);
        }
    }

    void answer(const Bytes& body)
    {
        switch (body[0]) {
        case 0x08:
            send(IdentityReply(identity));
            break;
        case 0x00:
            send(PositionReply(position));
            break;
        case 0x07: {
            const auto address = static_cast<std::uint16_t>(body.at(1) | body.at(2) << 8);
            const auto slot = memory.find(address);
            send(slot == memory.end() ? EmptySlotReply() : slot->second);
            break;
        }
        default:
            break;
        }
    }

    int master;
    Bytes inbox;
};

Flight FlightAt(int day, int hour, int minute)
{
    Flight f;
    f.day = day;
    f.month = 1; // never after today's month, so always this year's
    f.hour = hour;
    f.minute = minute;
    return f;
}

class ScopedEnv
{
public:
    ScopedEnv(const char* name, const QByteArray& value)
        : name(name)
    {
        qputenv(name, value);
    }
    ~ScopedEnv() { qunsetenv(name); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name;
};

class LinkWiringTest : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        instrument.memory[0xF1A0] = RecordReply(FlightAt(11, 14, 5));
        instrument.memory[0xF190] = RecordReply(FlightAt(10, 9, 30));
    }

    std::unique_ptr<TForm1> makeLinkedWindow()
    {
        auto form = makeWindow();
        form->setForms(&status, nullptr, nullptr, &keyInit);
        return form;
    }

    template <typename Condition> bool runUntil(ScriptedInstrument& device, Condition condition)
    {
        return waitFor(
            [&] {
                device.pump();
                return condition();
            },
            kLinkTimeout);
    }

    // The empty slot after the two flights has been asked for and answered.
    bool downloadEnded(const TForm1& form, std::uint32_t rows) const
    {
        return instrument.wasAskedFor(0xF180) && !status.isVisible() && form.Dbf1.recordCount() == rows;
    }

    static std::set<QString> TakeoffTimes(const FlightLog& table)
    {
        std::set<QString> times;
        for (std::uint32_t n = table.nextVisible(0); n != 0; n = table.nextVisible(n))
            times.insert(table.flight(n).text(kTakeoffTime));
        return times;
    }

    PtyPair pty;
    ScriptedInstrument instrument { pty.master() };
    TStatus status;
    TForm5 keyInit;
};

TEST_F(LinkWiringTest, SerialDownloadOverAPseudoTerminalMappedAsCom1)
{
    MapPortsTo(file("CVLog.ini"), QString::fromStdString(pty.slavePath()));
    // Bytes waiting before the port is opened answer nothing we asked.
    instrument.send(IdentityReply(instrument.identity));
    auto form = makeLinkedWindow();
    form->show();
    EXPECT_TRUE(form->Comm1.isOpen());
    EXPECT_TRUE(form->link.portReady);
    EXPECT_EQ(form->StatusPanel1->text(), QStringLiteral("Not Connected, attempting COM1"));

    instrument.answering = false;
    ASSERT_TRUE(runUntil(instrument, [&] { return instrument.requests.size() >= 2; }));
    EXPECT_FALSE(form->link.linkUp);
    for (std::size_t i = 0; i < instrument.requests.size(); ++i) {
        EXPECT_EQ(instrument.addresses[i], kSearchAddress);
        EXPECT_EQ(instrument.requests[i], (Bytes { 0x08, 0x04 }));
    }

    instrument.answering = true;
    ASSERT_TRUE(runUntil(instrument, [&] { return downloadEnded(*form, 2); }));
    EXPECT_TRUE(form->link.linkUp);
    EXPECT_EQ(form->StatusPanel1->text(), QStringLiteral("Connected to Corvane Kite F123 V2.1"));
    EXPECT_EQ(
        TakeoffTimes(form->Dbf1), (std::set<QString> { QStringLiteral("14:05"), QStringLiteral("9:30") }));
    EXPECT_EQ(form->Dbf1.flight(1).text(kInstrument), QStringLiteral("F123"));
    // Read newest first, logged oldest first.
    EXPECT_EQ(form->Dbf1.flight(1).date(kTakeoffDate), QDate(QDate::currentDate().year(), 1, 10));
    EXPECT_EQ(form->Dbf1.flight(2).date(kTakeoffDate), QDate(QDate::currentDate().year(), 1, 11));
    // The grid shows the new rows without being told.
    EXPECT_EQ(form->DBCtrlGrid1->panelRecord(form->DBCtrlGrid1->currentPanel()), form->Dbf1.recordNumber());
    EXPECT_FALSE(status.isVisible()); // hidden after the last record reply
    EXPECT_TRUE(messages.shown.empty());

    // The port is let go before the table is closed.
    ASSERT_TRUE(form->close());
    EXPECT_FALSE(form->Comm1.isOpen());
    EXPECT_EQ(HeaderCount(ReadAll(file("CVLog.dbf"))), 2u);
}

TEST_F(LinkWiringTest, TheOpenStatisticsWindowShowsEachFlightOfADownloadWithinATick)
{
    MapPortsTo(file("CVLog.ini"), QString::fromStdString(pty.slavePath()));
    auto form = makeLinkedWindow();
    form->show();
    form->Statistics1->trigger();
    StatisticsWindow* statistics = form->statisticsForm();
    ASSERT_NE(statistics, nullptr);
    ASSERT_TRUE(waitFor([&] { return statistics->Caption->text() == QStringLiteral("All flights"); }));
    EXPECT_EQ(statistics->shown().summary.flights, 0);

    // A row imported is counted once the events of its import are handled,
    // well before the next tick.
    std::vector<std::int64_t> seen;
    int lagging = 0;
    ASSERT_TRUE(runUntil(instrument, [&] {
        QCoreApplication::processEvents();
        if (statistics->shown().summary.flights != static_cast<std::int64_t>(form->Dbf1.recordCount())) {
            EXPECT_LE(++lagging, 1) << "still behind after its events were handled";
            return false;
        }
        lagging = 0;
        if (seen.empty() || seen.back() != statistics->shown().summary.flights)
            seen.push_back(statistics->shown().summary.flights);
        return downloadEnded(*form, 2);
    }));
    EXPECT_EQ(seen.back(), 2);
    EXPECT_EQ(statistics->shown().summary.totalMinutes,
        form->Dbf1.flight(1).integer(kFlightTime) + form->Dbf1.flight(2).integer(kFlightTime));

    // Ctrl+W closes it, and Escape where a table has the keys.
    QTest::keyClick(statistics, Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(statistics->isVisible());
    form->Statistics1->trigger();
    ASSERT_TRUE(statistics->isVisible());
    QTest::keyClick(statistics->Tables[0], Qt::Key_Escape);
    EXPECT_FALSE(statistics->isVisible());

    // Closed, it reads nothing.
    const FlightStatistics before = statistics->shown();
    form->Dbf1.first();
    form->Dbf1.remove();
    QCoreApplication::processEvents();
    EXPECT_EQ(statistics->shown().summary.flights, before.summary.flights);
}

TEST_F(LinkWiringTest, APortWithoutAUsableDeviceLeavesTheLinkWithoutTransport)
{
    const QString regularFile = file("not-a-tty");
    WriteAll(regularFile, "x");
    for (const QString& device : { file("missing/ttyUSB0"), regularFile }) {
        QFile::remove(file("CVLog.ini"));
        MapPortsTo(file("CVLog.ini"), device);
        auto form = makeLinkedWindow();
        form->show();
        EXPECT_FALSE(form->Comm1.isOpen()) << device.toStdString();
        EXPECT_FALSE(form->link.portReady);
        EXPECT_EQ(form->StatusPanel1->text(), QStringLiteral("Not Connected, current port not available"));
        ASSERT_TRUE(form->close());
    }
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(LinkWiringTest, UsbBridgeCarriesTheDownloadAndTheSerialPortStaysClosed)
{
    ASSERT_TRUE(QFile::copy(QStringLiteral(FAKE_SIUSBXP), file("libsiusbxp.so")));
    MapPortsTo(file("CVLog.ini"), file("missing/ttyUSB0"));
    const ScopedEnv devices("FAKE_SIUSBXP_DEVICES", "1");
    const ScopedEnv port("FAKE_SIUSBXP_PORT", QByteArray::fromStdString(pty.slavePath()));
    auto form = makeLinkedWindow();
    ASSERT_TRUE(form->link.usbActive);
    form->show();
    EXPECT_FALSE(form->Comm1.isOpen());
    EXPECT_TRUE(form->link.portReady);
    EXPECT_EQ(form->StatusPanel1->text(), QStringLiteral("Not Connected, attempting USB Tavolink IF"));

    ASSERT_TRUE(runUntil(instrument, [&] { return downloadEnded(*form, 2); }));
    EXPECT_EQ(form->StatusPanel1->text(), QStringLiteral("Connected to Corvane Kite F123 V2.1"));
    EXPECT_EQ(
        TakeoffTimes(form->Dbf1), (std::set<QString> { QStringLiteral("14:05"), QStringLiteral("9:30") }));
}

TEST_F(LinkWiringTest, AVanishedDeviceIsReopenedAndTheLinkStartsOver)
{
    // The settings name a link that can be pointed at a new terminal, as a
    // udev name follows an adapter that is plugged in again.
    const std::filesystem::path link = file("ttyCVLOG").toStdString();
    std::filesystem::create_symlink(pty.slavePath(), link);
    MapPortsTo(file("CVLog.ini"), QString::fromStdString(link.string()));
    instrument.memory.clear();
    instrument.position = 0;
    auto form = makeLinkedWindow();
    form->show();
    ASSERT_TRUE(runUntil(instrument, [&] { return form->link.linkUp && !form->link.countDue; }));

    PtyPair replugged;
    ScriptedInstrument again(replugged.master());
    again.identity = ShortIdentity("B777", "V3.0", "B777");
    pty.closeMaster();
    ASSERT_TRUE(waitFor([&] { return form->Comm1.isWaitingForDevice(); }, kLinkTimeout));
    std::filesystem::remove(link);
    std::filesystem::create_symlink(replugged.slavePath(), link);

    again.answering = false;
    ASSERT_TRUE(waitFor([&] { return form->Comm1.isOpen(); }, kLinkTimeout));
    EXPECT_TRUE(form->link.portReady);
    EXPECT_FALSE(form->link.linkUp);
    EXPECT_EQ(form->StatusPanel1->text(), QStringLiteral("Not Connected, attempting COM1"));

    again.answering = true;
    ASSERT_TRUE(runUntil(again, [&] { return form->link.linkUp; }));
    EXPECT_EQ(again.addresses.front(), kSearchAddress);
    EXPECT_EQ(again.requests.front(), (Bytes { 0x08, 0x04 }));
    EXPECT_EQ(form->StatusPanel1->text(), QStringLiteral("Connected to Corvane Kite 2 B777 V3.0"));
}

TEST_F(LinkWiringTest, ADownloadDuringAnEditWritesTheUsersRowAndLeavesThemOnIt)
{
    MapPortsTo(file("CVLog.ini"), QString::fromStdString(pty.slavePath()));
    auto form = makeLinkedWindow();
    form->Dbf1.append();
    form->Dbf1.setText(kComment, QStringLiteral("mine"));
    form->Dbf1.post();
    form->show();

    RecordPanelGrid& grid = *form->DBCtrlGrid1;
    QLineEdit* comment = grid.edit(grid.currentPanel(), kComment);
    comment->setFocus();
    comment->end(false);
    QTest::keyClicks(comment, QStringLiteral(" typed"));
    ASSERT_EQ(form->Dbf1.state(), DbfTable::State::Edit);

    ASSERT_TRUE(runUntil(instrument, [&] { return downloadEnded(*form, 3); }));
    EXPECT_EQ(form->Dbf1.flight(1).text(kComment), QStringLiteral("mine typed"));
    EXPECT_EQ(form->Dbf1.recordNumber(), 1u);
    EXPECT_EQ(grid.panelRecord(grid.currentPanel()), 1u);

    // Typing on goes into the user's own row, not into a downloaded flight.
    QLineEdit* again = grid.edit(grid.currentPanel(), kComment);
    again->end(false);
    QTest::keyClicks(again, QStringLiteral("!"));
    form->Dbf1.post();
    EXPECT_EQ(form->Dbf1.flight(1).text(kComment), QStringLiteral("mine typed!"));
    EXPECT_EQ(form->Dbf1.flight(2).text(kComment), QString());
    EXPECT_EQ(form->Dbf1.flight(3).text(kComment), QString());
    EXPECT_TRUE(messages.shown.empty());
}

// A row the user has just started and not typed into yet is there again
// once a download's flights are in, and the typing goes into it; a half-typed
// value does not stop the download's reads, only its append may say no.
TEST_F(LinkWiringTest, ANewRowStartedBeforeADownloadIsThereAfterIt)
{
    MapPortsTo(file("CVLog.ini"), QString::fromStdString(pty.slavePath()));
    auto form = makeLinkedWindow();
    form->Dbf1.append();
    form->Dbf1.setText(kComment, QStringLiteral("orig"));
    form->Dbf1.post();
    form->show();
    form->DBNavigator1->button(DBNavigator::Insert)->click();
    ASSERT_EQ(form->Dbf1.state(), DbfTable::State::Insert);

    ASSERT_TRUE(runUntil(instrument, [&] { return downloadEnded(*form, 3); }));
    ASSERT_EQ(form->Dbf1.state(), DbfTable::State::Insert);
    RecordPanelGrid& grid = *form->DBCtrlGrid1;
    QTest::keyClicks(grid.edit(grid.currentPanel(), kComment), QStringLiteral("NEW"));
    form->DBNavigator1->button(DBNavigator::Post)->click();
    EXPECT_EQ(form->Dbf1.flight(1).text(kComment), QStringLiteral("orig"));
    EXPECT_EQ(form->Dbf1.flight(4).text(kComment), QStringLiteral("NEW"));
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(LinkWiringTest, ARefusedTypedTextStopsTheImportAndKeepsTheEdit)
{
    MapPortsTo(file("CVLog.ini"), QString::fromStdString(pty.slavePath()));
    auto form = makeLinkedWindow();
    form->Dbf1.append();
    form->Dbf1.post();
    form->show();

    RecordPanelGrid& grid = *form->DBCtrlGrid1;
    QLineEdit* student = grid.edit(grid.currentPanel(), kStudent);
    form->Dbf1.edit();
    student->setText(QStringLiteral("-"));
    student->setModified(true);

    ASSERT_TRUE(runUntil(instrument, [&] { return !messages.shown.empty(); }));
    EXPECT_EQ(messages.shown[0].kind, MessageKind::Error);
    // Ends in a quote, so the error box adds no ".".
    EXPECT_EQ(messages.shown[0].text.toStdString(), "'-' is not a valid integer value for field 'STUDENT'");
    EXPECT_EQ(form->Dbf1.state(), DbfTable::State::Edit);
    EXPECT_EQ(student->text(), QStringLiteral("-"));
    EXPECT_EQ(form->Dbf1.recordCount(), 1u);
}

TEST_F(LinkWiringTest, KeyDialogTextReachesTheLink)
{
    MapPortsTo(file("CVLog.ini"), QString::fromStdString(pty.slavePath()));
    instrument.position = 0;
    auto form = makeLinkedWindow();
    form->show();
    ASSERT_TRUE(runUntil(instrument, [&] { return form->link.linkUp; }));
    form->Initializedownloadkey1->trigger();
    ASSERT_TRUE(keyInit.isVisible());
    // A serial number holds letters and digits only.
    QTest::keyClicks(keyInit.Edit1, QStringLiteral("f-a.3 3x"));
    EXPECT_EQ(keyInit.Edit1->text(), QStringLiteral("FA33"));
    // Not a download key: said once, and not again by the identity replies that follow.
    ASSERT_TRUE(runUntil(instrument, [&] { return !messages.shown.empty(); }));
    EXPECT_EQ(messages.shown[0].kind, MessageKind::Plain);
    EXPECT_EQ(
        messages.shown[0].text, QStringLiteral("Device connected is not a download key. Cannot initialize."));
    const std::size_t asked = instrument.requests.size();
    ASSERT_TRUE(runUntil(instrument, [&] { return instrument.requests.size() >= asked + 5; }));
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_FALSE(form->link.keyInitPending);
    EXPECT_TRUE(keyInit.isVisible());

    // The dialog's fixed border and its designed client area.
    EXPECT_EQ(keyInit.minimumSize(), keyInit.maximumSize());
    EXPECT_GE(keyInit.width(), TForm5::kClientWidth);
    EXPECT_GE(keyInit.height(), TForm5::kClientHeight);
    EXPECT_TRUE(keyInit.Label2->wordWrap());
    EXPECT_GT(keyInit.Label2->font().pointSizeF(), keyInit.Label1->font().pointSizeF());
    keyInit.BitBtn1->click();
    EXPECT_FALSE(keyInit.isVisible());
}

} // namespace
} // namespace cvlog::test
