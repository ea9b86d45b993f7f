#include "link_fakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <utility>

namespace cvlog::test
{
namespace
{

const std::uint8_t kE1 = 0xE1;
const std::uint8_t kFE = 0xFE;

Bytes Join(const Bytes& a, const Bytes& b)
{
    Bytes all = a;
    all.insert(all.end(), b.begin(), b.end());
    return all;
}

// Distinct flights: a new minute for each slot.
Flight NthFlight(int n)
{
    return Flight { 1 + n % 28, 1, 8 + n / 60 % 12, n % 60 };
}

// Brings the link up with the identity payload and answers the position
// request with the given position.
void Link(LinkRig& rig, const Bytes& identity, std::uint16_t position)
{
    ASSERT_EQ(rig.tick(), IdentityRequest(rig.link.deviceAddress));
    rig.answer(IdentityReply(identity));
    ASSERT_EQ(rig.tick(), PositionRequest(rig.link.deviceAddress));
    rig.answer(PositionReply(position));
}

// Answers each record read with a new flight; the addresses read.
std::vector<std::uint16_t> ReadSlots(LinkRig& rig, int count)
{
    std::vector<std::uint16_t> addresses;
    for (int i = 0; i < count; ++i) {
        const Bytes frame = rig.tick();
        if (frame.size() != 8 || frame[3] != kRecordReadCode)
            break;
        addresses.push_back(static_cast<std::uint16_t>(frame[4] | frame[5] << 8));
        rig.answer(RecordReply(NthFlight(static_cast<int>(addresses.size()))));
    }
    return addresses;
}

// The next record read finds an empty slot: the download ends as it should,
// and its flights go into the log.
void EndDownload(LinkRig& rig)
{
    const Bytes frame = rig.tick();
    ASSERT_TRUE(frame.size() == 8 && frame[3] == kRecordReadCode);
    rig.answer(EmptySlotReply());
}

std::vector<std::uint16_t> Walk(std::initializer_list<std::pair<std::uint16_t, std::uint16_t>> runs)
{
    // Each run goes down from its first address to its last, in slots.
    std::vector<std::uint16_t> out;
    for (const auto& [from, to] : runs)
        for (int a = from; a >= to; a -= 16)
            out.push_back(static_cast<std::uint16_t>(a));
    return out;
}

struct IdentificationCase {
    const char* name;
    Bytes identity;
    std::uint16_t position;
    QString linkText;
    std::uint16_t windowStart;
    std::uint32_t windowEnd;
    bool typeB;
    bool key;
    std::string instrument;
    std::vector<std::uint16_t> reads;
};

std::vector<IdentificationCase> IdentificationCases()
{
    return {
        { "KiteF", ShortIdentity("F123", "V2.1", "F123"), 0xF1A0, "Connected to Corvane Kite F123 V2.1",
            0xF100, 0x10000, false, false, "F123", Walk({ { 0xF1A0, 0xF100 }, { 0xFFF0, 0xFFE0 } }) },
        { "Kite2B", ShortIdentity("B777", "V1", "B777"), 0xF1A0, "Connected to Corvane Kite 2 B777 V1",
            0xF100, 0xF4C0, true, false, "B777", Walk({ { 0xF260, 0xF100 }, { 0xF4B0, 0xF4A0 } }) },
        { "VireoE", ShortIdentity("E001", "1.0", "E001"), 0xF1A8, "Connected to Corvane Vireo E001 1.0",
            0xF100, 0x10000, false, false, "E001", Walk({ { 0xF100, 0xF100 }, { 0xFFF0, 0xFFD0 } }) },
        { "LumenLrL", ShortIdentity("L042", "3.3", "L042"), 0x0010, "Connected to Corvane Lumen LR L042 3.3",
            0xF200, 0x10000, false, false, "L042", Walk({ { 0xF200, 0xF200 }, { 0xFFF0, 0xFFE0 } }) },
        { "LumenLrQuote", ShortIdentity("\"042", "3.3", "\"042"), 0xF220,
            "Connected to Corvane Lumen LR \"042 3.3", 0xF200, 0x10000, false, false, "\"042",
            Walk({ { 0xF220, 0xF200 }, { 0xFFF0, 0xFFF0 } }) },
        { "LumenX", ShortIdentity("X100", "4", "X100"), 0xF110, "Connected to Corvane Lumen X100 4", 0xF100,
            0x10000, false, false, "X100", Walk({ { 0xF110, 0xF100 }, { 0xFFF0, 0xFFF0 } }) },
        { "LumenHrLong", LongIdentity("HR-00012345", "5.01", "H012"), 0xF1A0,
            "Connected to Corvane Lumen HR H012 5.01", 0xF300, 0x10000, false, false, "H012",
            Walk({ { 0xF300, 0xF300 }, { 0xFFF0, 0xFFE0 } }) },
        { "KeyShortForL", ShortIdentity("LB13", "K1.2", "K900"), 0xF210,
            "Connected to download device type 2 LB13 K1.2", 0xF200, 0x10000, false, true, "LB13",
            Walk({ { 0xF210, 0xF200 }, { 0xFFF0, 0xFFF0 } }) },
        { "KeyShortForF", ShortIdentity("FA33", "K1.2", "K900"), 0xF110,
            "Connected to download device type 2 FA33 K1.2", 0xF100, 0x10000, false, true, "FA33",
            Walk({ { 0xF110, 0xF100 }, { 0xFFF0, 0xFFF0 } }) },
        // A long-form key keeps the long form's window and shows all 11
        // characters; the table keeps the first 4.
        { "KeyLong", LongIdentity("EA15-TARGET", "K2", "K901"), 0xF310,
            "Connected to download device type 2 EA15-TARGET K2", 0xF300, 0x10000, false, true, "EA15-TARGET",
            Walk({ { 0xF310, 0xF300 }, { 0xFFF0, 0xFFF0 } }) },
        { "LowerCaseF", ShortIdentity("f123", "V2", "f123"), 0xF100,
            "Connected to Unknown instrument f123 V2", 0xF100, 0x10000, false, false, "f123",
            Walk({ { 0xF100, 0xF100 }, { 0xFFF0, 0xFFF0 } }) },
        { "Unknown", ShortIdentity("Q999", "", "Q999"), 0xF100, "Connected to Unknown instrument Q999 ",
            0xF100, 0x10000, false, false, "Q999", Walk({ { 0xF100, 0xF100 }, { 0xFFF0, 0xFFF0 } }) },
    };
}

class Identification : public ::testing::TestWithParam<IdentificationCase>
{
};

TEST_P(Identification, SetsTextWindowAndReadSequence)
{
    const IdentificationCase& c = GetParam();
    LinkRig rig;
    Link(rig, c.identity, c.position);
    EXPECT_EQ(rig.host.linkText, c.linkText);
    EXPECT_EQ(rig.link.windowStart, c.windowStart);
    EXPECT_EQ(rig.link.windowEnd, c.windowEnd);
    EXPECT_EQ(rig.link.typeBMode, c.typeB);
    EXPECT_EQ(rig.link.isDownloadKey, c.key);
    EXPECT_EQ(rig.host.popups.last(), "Preparing download");

    const auto reads = ReadSlots(rig, static_cast<int>(c.reads.size()));
    EXPECT_EQ(reads, c.reads);
    EXPECT_TRUE(rig.ownStore.rows.empty()) << "held until the download ends";
    EndDownload(rig);
    ASSERT_EQ(rig.ownStore.rows.size(), c.reads.size());
    EXPECT_EQ(rig.ownStore.rows[0].instrument.toStdString(), c.instrument);
}

INSTANTIATE_TEST_SUITE_P(Link, Identification, ::testing::ValuesIn(IdentificationCases()),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LinkDriver, ShowsEachRequestedSlotAndHidesThePopupOnItsReply)
{
    LinkRig rig;
    Link(rig, ShortIdentity("F123", "V1", "F123"), 0xF1A0);
    rig.host.popups.clear();
    ReadSlots(rig, 2);
    EXPECT_EQ(rig.host.popups, QStringList({ "Requesting F1A0", "", "Requesting F190", "" }));
}

TEST(LinkDriver, NoFlightsLoggedStartsNoDownload)
{
    LinkRig rig;
    Link(rig, ShortIdentity("F123", "V1", "F123"), 0);
    EXPECT_EQ(rig.host.popups.last(), "No flights logged");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(rig.tick(), IdentityRequest(kE1));
        rig.answer(IdentityReply(ShortIdentity("F123", "V1", "F123")));
    }
    EXPECT_TRUE(rig.ownStore.rows.empty());
}

TEST(LinkDriver, DownloadEndsAtAnEmptySlotOrAKnownFlight)
{
    struct Ending {
        const char* name;
        Bytes lastReply;
        bool walkGoesOn;
    };
    // Flight 7 is in the log; flights 1 and 2 are read first.
    Flight other = NthFlight(7);
    other.maxAltitude = 9999;
    const Ending endings[] = {
        { "empty slot", EmptySlotReply(), false },
        { "short reply", Frame(0xFF, 8, { 0x00, 0x00 }), false },
        { "known flight", RecordReply(NthFlight(7)), false },
        { "known flight, other values", RecordReply(other), false },
        // Two slots alike: one flight, and the older slots are still read.
        { "flight of this download", RecordReply(NthFlight(1)), true },
    };
    for (const Ending& e : endings) {
        LinkRig rig;
        const Bytes known = SlotPayload(NthFlight(7));
        rig.ownStore.rows.push_back(
            flightRowFor(FlightRecord::fromBytes(known.data() + 2), rig.host.date, QStringLiteral("F123")));
        Link(rig, ShortIdentity("F123", "V1", "F123"), 0xF1A0);
        ReadSlots(rig, 2);
        ASSERT_EQ(rig.tick(), recordRead(kE1, 0xF180)) << e.name;
        rig.answer(e.lastReply);
        EXPECT_EQ(rig.link.requestNext, e.walkGoesOn) << e.name;
        if (e.walkGoesOn)
            EndDownload(rig);
        EXPECT_EQ(rig.ownStore.rows.size(), 3u) << e.name;
        EXPECT_EQ(rig.link.pendingCount, 0) << e.name;
        EXPECT_EQ(rig.tick(), IdentityRequest(kE1)) << e.name << ": idle again";
        EXPECT_EQ(rig.ownStore.depth, 0);
    }
}

TEST(LinkDriver, LinkIsLostOnTheFifthSilentTick)
{
    LinkRig rig;
    Link(rig, ShortIdentity("F123", "V1", "F123"), 0);
    rig.host.popups.clear();
    for (int i = 1; i <= 4; ++i)
        rig.tick();
    EXPECT_TRUE(rig.link.linkUp);
    EXPECT_TRUE(rig.host.popups.isEmpty());
    rig.tick();
    EXPECT_FALSE(rig.link.linkUp);
    EXPECT_EQ(rig.host.popups, QStringList { "Connection terminated" });
    EXPECT_EQ(rig.host.linkText, "Not Connected, attempting COM3");
}

TEST(LinkDriver, NoLossIsReportedBeforeTheFirstReply)
{
    LinkRig rig;
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(rig.tick(), IdentityRequest(kE1));
    EXPECT_TRUE(rig.host.popups.isEmpty());
}

TEST(LinkDriver, RedirectMovesToFeAndALossBackToE1)
{
    LinkRig rig;
    EXPECT_EQ(rig.tick(), IdentityRequest(kE1));
    rig.answer(RedirectReply());
    EXPECT_EQ(rig.tick(), IdentityRequest(kFE));
    rig.answer(IdentityReply(ShortIdentity("F123", "V1", "F123")));
    EXPECT_EQ(rig.tick(), PositionRequest(kFE));
    rig.answer(PositionReply(0xF120));
    EXPECT_EQ(rig.tick(), recordRead(kFE, 0xF120));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(rig.tick(), IdentityRequest(kFE));
    EXPECT_EQ(rig.host.popups.last(), "Connection terminated");
    EXPECT_EQ(rig.tick(), IdentityRequest(kE1));

    // The new link asks for the position again.
    rig.answer(IdentityReply(ShortIdentity("F123", "V1", "F123")));
    EXPECT_EQ(rig.tick(), PositionRequest(kE1));
}

TEST(LinkDriver, APortThatComesBackStartsTheLinkFromTheBeginning)
{
    LinkRig rig;
    EXPECT_EQ(rig.tick(), IdentityRequest(kE1));
    rig.answer(RedirectReply());
    Link(rig, ShortIdentity("F123", "V1", "F123"), 0xF120);
    ASSERT_EQ(rig.tick(), recordRead(kFE, 0xF120));
    // The device vanishes with half a reply on the line, and comes back
    // before five silent ticks have told the link it is lost.
    const Bytes reply = RecordReply(NthFlight(1));
    rig.answer(Bytes(reply.begin(), reply.begin() + 4));
    rig.tick();
    rig.link.portReady = false;
    rig.driver.portReopened();
    EXPECT_TRUE(rig.link.portReady);
    EXPECT_EQ(rig.host.linkText, "Not Connected, attempting COM3");

    EXPECT_EQ(rig.tick(), IdentityRequest(kE1));
    rig.answer(IdentityReply(ShortIdentity("F123", "V1", "F123")));
    EXPECT_EQ(rig.tick(), PositionRequest(kE1)) << "a new link asks for the position";
    rig.answer(PositionReply(0xF120));
    EXPECT_EQ(rig.tick(), recordRead(kE1, 0xF120));
    rig.answer(RecordReply(NthFlight(1)));
    EndDownload(rig);
    EXPECT_EQ(rig.ownStore.rows.size(), 1u);
}

TEST(LinkDriver, RepliesNotMeantForTheLinkChangeNothing)
{
    LinkRig rig;
    rig.tick();
    Bytes identity = ShortIdentity("F123", "V1", "F123");
    identity[0] = 0x05;
    rig.answer(IdentityReply(identity));
    rig.answer(Frame(0xFF, 8, { 0x05 })); // redirect without its marker
    rig.answer(Frame(0xFF, 0x22, { 1, 2, 3 }));
    EXPECT_FALSE(rig.link.linkUp);
    EXPECT_EQ(rig.link.deviceAddress, kE1);
    EXPECT_EQ(rig.link.linkCountdown, 5) << "every dispatched frame restarts the countdown";
    rig.answer(PositionReply(0x1234, 0xFE));
    EXPECT_EQ(rig.link.readAddress, 0) << "a frame from 0xFE is not a reply";
}

TEST(LinkDriver, NotConnectedTextFollowsTheTransport)
{
    LinkRig rig;
    rig.driver.showLinkStatus(0);
    EXPECT_EQ(rig.host.linkText, "Not Connected, attempting COM3");
    rig.link.portReady = false;
    rig.driver.showLinkStatus(0);
    EXPECT_EQ(rig.host.linkText, "Not Connected, current port not available");
    rig.link.usbActive = true;
    rig.driver.showLinkStatus(0);
    EXPECT_EQ(rig.host.linkText, "Not Connected, attempting USB Tavolink IF");
}

TEST(LinkDriver, KeyKeepsItsTargetsSerialAcrossKeepAliveReplies)
{
    LinkRig rig;
    const Bytes key = ShortIdentity("EA15", "K1", "K900");
    Link(rig, key, 0xF120);
    EXPECT_EQ(rig.tick(), recordRead(kE1, 0xF120));
    // The record reply is late: the next tick polls, and the key answers
    // with its own serial number.
    EXPECT_EQ(rig.tick(), IdentityRequest(kE1));
    rig.answer(IdentityReply(key));
    EXPECT_EQ(rig.link.serialText.view(), "K900");
    rig.answer(RecordReply(NthFlight(1)));
    EndDownload(rig);
    ASSERT_EQ(rig.ownStore.rows.size(), 1u);
    EXPECT_EQ(rig.ownStore.rows[0].instrument, "EA15");
}

TEST(LinkDriver, GarbledIdentityLengthsStayInsideTheirFields)
{
    LinkRig rig;
    // Earlier long identity leaves characters behind the short one's fields.
    Bytes first = LongIdentity("ABCDEFGHIJK", "1234567", "F999");
    rig.tick();
    rig.answer(IdentityReply(first));
    Bytes garbled = ShortIdentity("F123", "V1", "F123");
    garbled[6] = 0xC8; // version length 200
    garbled[17] = 0x09; // serial length 9
    rig.answer(IdentityReply(garbled));
    EXPECT_EQ(rig.link.versionText.view(), std::string_view("V1\0\0\0\0\0", 7));
    EXPECT_EQ(rig.link.serialText.view(), "F123");
    EXPECT_EQ(rig.link.identityText.view(), "F123");
}

TEST(LinkDriver, KeyInitializationGoesOutOnceAKeyIsLinked)
{
    LinkRig rig;
    rig.host.dialogShowing = true;
    rig.host.dialogText = "fa33";
    rig.tick();
    rig.answer(IdentityReply(ShortIdentity("LB13", "K1", "K900")));
    EXPECT_TRUE(rig.link.keyInitPending);
    EXPECT_EQ(rig.tick(), Frame(kE1, 0x14, { 0x00, 'F', 'A', '3', '3' }));
    EXPECT_FALSE(rig.host.dialogShowing);
    EXPECT_FALSE(rig.link.keyInitPending);
    EXPECT_EQ(rig.tick(), PositionRequest(kE1)) << "the position request follows";
    EXPECT_TRUE(rig.host.messages.isEmpty());
}

TEST(LinkDriver, KeyInitializationWaitsForARecordReplyThatIsDue)
{
    LinkRig rig;
    Link(rig, ShortIdentity("FA33", "K1", "K900"), 0xF120);
    rig.link.keyInitPending = true; // armed by the dialog while a read is due
    EXPECT_TRUE(rig.tick().empty());
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(rig.tick().empty());
    EXPECT_FALSE(rig.link.keyInitPending) << "the link ran out, which drops it";
}

TEST(LinkDriver, KeyInitializationNeedsFourCharactersWhenItIsSent)
{
    LinkRig rig;
    rig.host.dialogShowing = true;
    rig.host.dialogText = "EA15";
    rig.tick();
    rig.answer(IdentityReply(ShortIdentity("LB13", "K1", "K900")));
    rig.host.dialogText = "EA1";
    EXPECT_EQ(rig.tick(), Bytes {}) << "nothing half-typed reaches the key";
    EXPECT_FALSE(rig.link.keyInitPending);
    EXPECT_TRUE(rig.host.dialogShowing);
}

TEST(LinkDriver, NotAKeyIsSaidOncePerLinkAndShowing)
{
    LinkRig rig;
    rig.host.dialogShowing = true;
    rig.host.dialogText = "EA15";
    const Bytes kite = IdentityReply(ShortIdentity("F123", "V1", "F123"));
    rig.tick();
    for (int i = 0; i < 4; ++i) {
        rig.answer(kite);
        rig.tick();
    }
    EXPECT_EQ(
        rig.host.messages, QStringList { "Device connected is not a download key. Cannot initialize." });
    // Closing and showing the dialog again says it again.
    rig.host.dialogShowing = false;
    rig.answer(kite);
    rig.host.dialogShowing = true;
    rig.answer(kite);
    rig.answer(kite);
    EXPECT_EQ(rig.host.messages.size(), 2);
    // So does a new link.
    for (int i = 0; i < 5; ++i)
        rig.tick();
    rig.answer(kite);
    EXPECT_EQ(rig.host.messages.size(), 3);
    EXPECT_FALSE(rig.link.keyInitPending);
}

TEST(LinkDriver, TypingTheFourthCharacterArmsOrRefuses)
{
    LinkRig rig;
    rig.host.dialogShowing = true;
    rig.driver.keyTextChanged("EA15");
    EXPECT_FALSE(rig.link.keyInitPending) << "no device linked yet";

    rig.tick();
    rig.answer(IdentityReply(ShortIdentity("F123", "V1", "F123")));
    rig.driver.keyTextChanged("EA1");
    EXPECT_TRUE(rig.host.messages.isEmpty());
    rig.host.dialogText = "EA15";
    rig.driver.keyTextChanged("EA15");
    rig.tick();
    rig.answer(IdentityReply(ShortIdentity("F123", "V1", "F123")));
    EXPECT_EQ(rig.host.messages.size(), 1) << "typing says it; the next reply does not repeat it";
    EXPECT_FALSE(rig.link.keyInitPending);

    LinkRig keyRig;
    keyRig.tick();
    keyRig.answer(IdentityReply(ShortIdentity("EA15", "K1", "K900")));
    keyRig.tick();
    keyRig.answer(PositionReply(0));
    keyRig.host.dialogShowing = true;
    keyRig.host.dialogText = "ea15";
    keyRig.driver.keyTextChanged("ea15");
    EXPECT_TRUE(keyRig.link.keyInitPending);
    EXPECT_EQ(keyRig.tick(), Frame(kE1, 0x14, { 0x00, 'E', 'A', '1', '5' }));
    EXPECT_FALSE(keyRig.host.dialogShowing);
}

TEST(LinkDriver, AFailingAppendStopsTheDownloadButNotTheLink)
{
    LinkRig rig;
    Link(rig, ShortIdentity("F123", "V1", "F123"), 0xF120);
    ReadSlots(rig, 1);
    ASSERT_EQ(rig.tick(), recordRead(kE1, 0xF110));
    rig.ownStore.failing = true;
    // The identity reply after the record in the same read is still taken.
    rig.answer(Join(RecordReply(NthFlight(5)), IdentityReply(ShortIdentity("F123", "V9", "F123"))));
    EXPECT_EQ(rig.host.errors, QStringList { "table closed" });
    EXPECT_FALSE(rig.link.requestNext);
    EXPECT_EQ(rig.link.pendingCount, 0);
    EXPECT_EQ(rig.link.versionText.view(), "V9");
    EXPECT_EQ(rig.ownStore.depth, 0) << "the grid follows the table again";
    EXPECT_TRUE(rig.link.linkUp);
    EXPECT_TRUE(rig.ownStore.rows.empty()) << "none of the download's flights";

    // Fixed: the next link reads them all again.
    rig.ownStore.failing = false;
    for (int i = 0; i < 5; ++i)
        rig.tick();
    Link(rig, ShortIdentity("F123", "V1", "F123"), 0xF120);
    ReadSlots(rig, 2);
    EndDownload(rig);
    EXPECT_EQ(rig.ownStore.rows.size(), 2u);
    EXPECT_EQ(rig.host.errors.size(), 1);
}

// A link that breaks off writes nothing of its download, and the next link
// brings every flight, oldest first; "download all" fills a gap that an
// earlier break left, without a flight twice.
TEST(LinkDriver, ABrokenDownloadComesWholeWithTheNextLinkAndDownloadAllFillsAGap)
{
    LinkRig rig;
    // The device holds flights 1 (oldest) to 6 (newest) from 0xF150 down.
    auto answerSlot = [&](std::uint16_t address) {
        const int n = (address - 0xF100) / 16 + 1;
        rig.answer(n >= 1 && n <= 6 ? RecordReply(NthFlight(n)) : EmptySlotReply());
    };
    auto readUntilIdle = [&](int silentAfter) {
        for (int reads = 0;; ++reads) {
            const Bytes frame = rig.tick();
            if (frame.size() != 8 || frame[3] != kRecordReadCode)
                return;
            if (reads == silentAfter) {
                for (int i = 0; i < 5; ++i)
                    rig.tick(); // the cable is pulled
                return;
            }
            answerSlot(static_cast<std::uint16_t>(frame[4] | frame[5] << 8));
        }
    };
    auto times = [&] {
        std::vector<std::string> out;
        for (const FlightRow& r : rig.ownStore.rows)
            out.push_back(r.takeoffTime);
        return out;
    };

    Link(rig, ShortIdentity("F123", "V1", "F123"), 0xF150);
    readUntilIdle(3);
    EXPECT_FALSE(rig.link.linkUp);
    EXPECT_TRUE(rig.ownStore.rows.empty()) << "a broken download writes nothing";

    Link(rig, ShortIdentity("F123", "V1", "F123"), 0xF150);
    readUntilIdle(-1);
    const std::vector<std::string> all = { "8:01", "8:02", "8:03", "8:04", "8:05", "8:06" };
    EXPECT_EQ(times(), all);
    EXPECT_EQ(rig.ownStore.appends, 1);

    // A log with a gap: flights 3 and 4 went missing.
    rig.ownStore.rows.erase(rig.ownStore.rows.begin() + 2, rig.ownStore.rows.begin() + 4);
    rig.host.popups.clear();
    rig.driver.downloadAllFlights();
    EXPECT_EQ(rig.tick(), PositionRequest(kE1)) << "this link's download starts again at once";
    rig.answer(PositionReply(0xF150));
    readUntilIdle(-1);
    EXPECT_EQ(rig.ownStore.rows.size(), 6u);
    EXPECT_EQ(rig.host.popups.last(), "Download complete: 2 new flights");
    EXPECT_FALSE(rig.link.downloadAll);
    std::vector<std::string> after = times();
    std::sort(after.begin(), after.end());
    EXPECT_EQ(after, all) << "every flight once";

    // Pressed again while the answer to the last read of its walk is on its
    // way: that answer ends nothing, and the walk started over fills the gap.
    rig.ownStore.rows.resize(4);
    rig.driver.downloadAllFlights();
    ASSERT_EQ(rig.tick(), PositionRequest(kE1));
    rig.answer(PositionReply(0xF150));
    for (int reads = 0; reads < 6; ++reads) {
        const Bytes frame = rig.tick();
        answerSlot(static_cast<std::uint16_t>(frame[4] | frame[5] << 8));
    }
    ASSERT_EQ(rig.tick(), recordRead(kE1, 0xFFF0));
    rig.host.popups.clear();
    rig.driver.downloadAllFlights();
    answerSlot(0xFFF0);
    EXPECT_TRUE(rig.link.downloadAll);
    EXPECT_EQ(rig.tick(), PositionRequest(kE1));
    rig.answer(PositionReply(0xF150));
    readUntilIdle(-1);
    EXPECT_EQ(rig.ownStore.rows.size(), 6u);
    EXPECT_EQ(rig.host.popups.filter(QStringLiteral("Download complete")).join(u'|').toStdString(),
        "Download complete: 2 new flights");
}

TEST(LinkDriver, SerialReadsOfMoreThanOneBufferKeepEveryByteInOrder)
{
    LinkRig rig;
    rig.tick();
    Bytes stream(9995, 0x00);
    const Bytes identity = IdentityReply(ShortIdentity("F123", "V1", "F123"));
    stream.insert(stream.end(), identity.begin(), identity.end()); // across the first boundary
    stream.resize(24000, 0x11);
    const Bytes position = PositionReply(0xF1A0);
    stream.insert(stream.end(), position.begin(), position.end());
    rig.answer(stream);
    EXPECT_EQ(rig.serial.asked, (std::vector<std::size_t> { 10000, 10000, 4008 }));
    EXPECT_TRUE(rig.link.linkUp);
    EXPECT_EQ(rig.link.readAddress, 0xF1A0);
}

TEST(LinkDriver, FailedSerialReadsDropTheNotification)
{
    LinkRig rig;
    rig.serial.failReads = true;
    rig.tick();
    rig.answer(IdentityReply(ShortIdentity("F123", "V1", "F123")));
    EXPECT_FALSE(rig.link.linkUp);
    rig.driver.dataArrived(0);
    rig.driver.dataArrived(-5);
    EXPECT_EQ(rig.serial.asked.size(), 1u);
}

TEST(LinkDriver, WholeDownloadOverTheEchoingBridge)
{
    // The bridge hands back every frame the program sends. What arrived
    // since the last tick is read before the tick decides what to ask, so
    // each request goes out once and every flight is read once.
    LinkRig rig;
    rig.link.usbActive = true;
    auto tickWith = [&](const Bytes& arrived) {
        rig.usb.queue.insert(rig.usb.queue.end(), arrived.begin(), arrived.end());
        return rig.tick();
    };
    EXPECT_EQ(tickWith({}), IdentityRequest(kE1));
    const Bytes identity = IdentityReply(ShortIdentity("F123", "V1", "F123"));
    EXPECT_EQ(tickWith(Join(IdentityRequest(kE1), identity)), PositionRequest(kE1));
    EXPECT_TRUE(rig.link.linkUp);
    EXPECT_EQ(tickWith(Join(PositionRequest(kE1), PositionReply(0xF110))), recordRead(kE1, 0xF110));
    EXPECT_EQ(rig.link.readAddress, 0xF100) << "the echoed request was not taken for a reply";
    EXPECT_EQ(tickWith(Join(recordRead(kE1, 0xF110), RecordReply(NthFlight(3)))), recordRead(kE1, 0xF100));
    EXPECT_EQ(tickWith(Join(recordRead(kE1, 0xF100), EmptySlotReply())), IdentityRequest(kE1));
    ASSERT_EQ(rig.ownStore.rows.size(), 1u);
    EXPECT_EQ(rig.ownStore.rows[0].takeoffTime, "8:03");
    EXPECT_TRUE(rig.serial.written.empty());
}

TEST(LinkDriver, UsbPollsOfMoreThanOneBufferKeepEveryByteInOrder)
{
    LinkRig rig;
    rig.link.usbActive = true;
    Bytes stream(9990, 0x00);
    const Bytes identity = IdentityReply(ShortIdentity("F123", "V1", "F123"));
    stream.insert(stream.end(), identity.begin(), identity.end());
    stream.resize(20500, 0x11);
    const Bytes position = PositionReply(0xF1A0);
    stream.insert(stream.end(), position.begin(), position.end());
    rig.usb.queue.assign(stream.begin(), stream.end());
    rig.driver.tick();
    EXPECT_EQ(rig.usb.asked, (std::vector<std::uint32_t> { 10000, 10000, 508 }));
    EXPECT_TRUE(rig.link.linkUp);
    ASSERT_FALSE(rig.usb.sent.empty());
    EXPECT_EQ(rig.usb.sent.back(), recordRead(kE1, 0xF1A0));
}

TEST(LinkDriver, FailedUsbCallsReadNothing)
{
    for (const bool queueFails : { true, false }) {
        LinkRig rig;
        rig.link.usbActive = true;
        const Bytes identity = IdentityReply(ShortIdentity("F123", "V1", "F123"));
        rig.usb.queue.assign(identity.begin(), identity.end());
        (queueFails ? rig.usb.queueCheckStatus : rig.usb.readStatus) = 4;
        rig.driver.tick();
        EXPECT_FALSE(rig.link.linkUp);
        EXPECT_EQ(rig.link.lastUsbStatus, 4);
    }
}

// A host whose message box runs a nested event loop, in which the rest of
// the wire's bytes arrive: they must follow the read in progress.
class NestingHost : public FakeHost
{
public:
    void showMessage(const QString& text) override
    {
        FakeHost::showMessage(text);
        if (nested)
            nested();
    }
    std::function<void()> nested;
};

TEST(LinkDriver, BytesArrivingDuringADispatchFollowTheReadInProgress)
{
    FakeStore store;
    LinkState link;
    NestingHost host;
    FakeSerial serial;
    FakeUsb usb;
    LinkDriver driver(link, host, serial, usb, store);
    link.portReady = true;
    host.dialogShowing = true;
    host.dialogText = "EA15";

    // On the wire: identity reply, position F1A0, position F150. The first
    // read ends inside the F1A0 reply; the identity reply's message box
    // reads the rest.
    const Bytes wire = Join(Join(IdentityReply(ShortIdentity("F123", "V1", "F123")), PositionReply(0xF1A0)),
        PositionReply(0xF150));
    const std::size_t firstRead = wire.size() - 8 - 4;
    bool delivered = false;
    host.nested = [&] {
        if (std::exchange(delivered, true))
            return;
        driver.feedReceiver(wire.data() + firstRead, wire.size() - firstRead, false);
    };
    driver.feedReceiver(wire.data(), firstRead, false);
    EXPECT_EQ(host.popups, QStringList({ "Preparing download", "Preparing download" }));
    EXPECT_EQ(link.readAddress, 0xF150);
}

} // namespace
} // namespace cvlog::test
