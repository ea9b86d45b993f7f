#include "tools/cvlog_sim/sim_device.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace cvlog::sim
{
namespace
{

using Bytes = std::vector<std::uint8_t>;

// Commands as the program puts them on the line.
const Bytes kIdentityAtE1 { 0x82, 0xE1, 0x02, 0x08, 0x04, 0x4A, 0x83 };
const Bytes kIdentityAtFE { 0x82, 0xFE, 0x02, 0x08, 0x04, 0x55, 0x83 };
const Bytes kPositionAtE1 { 0x82, 0xE1, 0x02, 0x00, 0x07, 0x41, 0x83 };
const Bytes kPositionAtFE { 0x82, 0xFE, 0x02, 0x00, 0x07, 0x5E, 0x83 };
const Bytes kKeyInitEA15AtFE { 0x82, 0xFE, 0x06, 0x14, 0x00, 0x45, 0x41, 0x31, 0x35, 0x49, 0x83 };

Bytes RecordRead(std::uint16_t address, std::uint8_t to = 0xE1)
{
    const auto lo = static_cast<std::uint8_t>(address);
    const auto hi = static_cast<std::uint8_t>(address >> 8);
    return { 0x82, to, 0x03, 0x07, lo, hi, static_cast<std::uint8_t>(0xA5 ^ to ^ 0x03 ^ 0x07 ^ lo ^ hi),
        0x83 };
}

Bytes Reply(std::uint8_t from, const Bytes& typeAndPayload)
{
    Bytes frame { 0x82, from, static_cast<std::uint8_t>(typeAndPayload.size()) };
    std::uint8_t sum = 0xA5 ^ from ^ frame[2];
    for (auto b : typeAndPayload) {
        frame.push_back(b);
        sum ^= b;
    }
    frame.push_back(sum);
    frame.push_back(0x83);
    return frame;
}

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

SimFlight Flight(int month, int day, int hour, int minute)
{
    SimFlight f;
    f.year = 2026;
    f.month = month;
    f.day = day;
    f.hour = hour;
    f.minute = minute;
    return f;
}

std::vector<SimFlight> Flights(int count)
{
    std::vector<SimFlight> flights;
    for (int i = 0; i < count; ++i)
        flights.push_back(Flight(1 + i / 28 % 12, 1 + i % 28, 10, i % 60));
    return flights;
}

DeviceConfig Config(char type, int flights = 0, std::size_t firstSlot = 0)
{
    DeviceConfig config;
    config.typeLetter = type;
    config.flights = Flights(flights);
    config.firstSlot = firstSlot;
    return config;
}

struct ExchangeCase {
    const char* name;
    DeviceConfig config;
    Bytes received;
    Bytes expected;
};

TEST(SimDeviceTest, AnswersCommandsWithTheRightFrames)
{
    DeviceConfig longX = Config('X');
    longX.longForm = true;
    longX.identity = "LONG-ID-001";
    DeviceConfig atFF = Config('F', 11);
    atFF.replyAddress = 0xFF;
    DeviceConfig redirect = Config('F');
    redirect.redirect = true;
    DeviceConfig echo = Config('F');
    echo.echo = true;

    const Bytes shortIdentityF = Reply(0xFD,
        { 0x09, 0x04, 0x04, 'S', 'I', 'M', '1', 0x05, 'V', '2', '.', '1', '0', 0, 0, 0, 0, 0, 0x04, 'F', '1',
            '2', '3' });
    const ExchangeCase cases[] = {
        { "short identity", Config('F'), kIdentityAtE1, shortIdentityF },
        { "long identity", longX, kIdentityAtE1,
            Reply(0xFD,
                { 0x09, 0x04, 0x0B, 'L', 'O', 'N', 'G', '-', 'I', 'D', '-', '0', '0', '1', 0x05, 'V', '2',
                    '.', '1', '0', 0, 0, 0x04, 'X', '1', '2', '3' }) },
        // 11 flights from slot 0: the newest sits at 0xF1A0.
        { "log position F", atFF, kPositionAtE1, { 0x82, 0xFF, 0x03, 0x0D, 0xA0, 0xF1, 0x05, 0x83 } },
        // Newest at slot 22 = 0xF260; the Kite 2 reports 192 lower.
        { "log position B", Config('B', 23), kPositionAtE1, Reply(0xFD, { 0x0D, 0xA0, 0xF1 }) },
        { "no flights", Config('F'), kPositionAtE1, Reply(0xFD, { 0x0D, 0x00, 0x00 }) },
        { "redirect at E1", redirect, kIdentityAtE1, Reply(0xFD, { 0x08, 0x04 }) },
        { "redirected device answers at FE", redirect, Concat({ kPositionAtE1, kIdentityAtFE }),
            shortIdentityF },
        { "redirected device ignores E1", redirect, kPositionAtE1, {} },
        { "plain device ignores FE", Config('F'), Concat({ kIdentityAtFE, kPositionAtFE }), {} },
        { "echo before reply", echo, kIdentityAtE1, Concat({ kIdentityAtE1, shortIdentityF }) },
        { "bad checksum ignored", Config('F'), { 0x82, 0xE1, 0x02, 0x08, 0x04, 0x4B, 0x83 }, {} },
        { "garbage around frames", Config('F'),
            Concat({ { 0x00, 0x82, 0x82, 0x83 }, kIdentityAtE1, { 0x82, 0xE1, 0xF0, 0x82 }, kIdentityAtE1,
                { 0x55 } }),
            Concat({ shortIdentityF, shortIdentityF }) },
        { "half frame then a good one", Config('F'), Concat({ { 0x82, 0xE1, 0x02, 0x08 }, kIdentityAtE1 }),
            shortIdentityF },
        { "unknown command", Config('F'),
            { 0x82, 0xE1, 0x02, 0x33, 0x44, 0xA5 ^ 0xE1 ^ 0x02 ^ 0x33 ^ 0x44, 0x83 }, {} },
        { "key init gets no reply", Config('K'), kKeyInitEA15AtFE, {} },
    };
    for (const auto& c : cases) {
        SimDevice whole(c.config);
        EXPECT_EQ(whole.Receive(c.received), c.expected) << c.name;

        // Byte by byte, as a slow line delivers it (the echo comes byte by byte too).
        SimDevice single(c.config);
        Bytes out;
        for (auto b : c.received) {
            const auto part = single.Receive(Bytes { b });
            out.insert(out.end(), part.begin(), part.end());
        }
        EXPECT_EQ(out, c.expected) << c.name << " (byte by byte)";
    }
}

TEST(SimDeviceTest, RecordSlotCarriesTheFlight)
{
    SimFlight f = Flight(3, 5, 9, 5);
    f.flightMinutes = 90;
    f.maxAltitudeFeet = 3500;
    f.maxSpeedMph = 110;
    f.student = 7;
    f.hobbsMinutes = 18725;
    DeviceConfig config = Config('F');
    config.flights = { f };
    SimDevice device(config);
    EXPECT_EQ(device.Receive(RecordRead(0xF100)),
        Reply(0xFD, { 0x08, 0x01, 0x00, 5, 3, 9, 5, 30, 1, 0x6E, 0x00, 0xAC, 0x0D, 5, 12, 3, 7 }));
    // The next slot is erased memory: day byte 0xFF.
    EXPECT_EQ(device.Receive(RecordRead(0xF110)), Reply(0xFD, Concat({ { 0x08 }, Bytes(16, 0xFF) })));
}

// What the program does with the log memory: start at the reported position
// (plus 192 on a Kite 2), read backwards, wrap from the window's start to its
// end less 16, stop at an empty slot or when back at the first slot.
std::vector<int> WalkLikeTheProgram(SimDevice& device, std::uint16_t start, std::uint32_t end, bool typeB)
{
    std::vector<int> minutes;
    auto reply = device.Receive(kPositionAtE1);
    std::uint16_t address = static_cast<std::uint16_t>(reply[4] | (reply[5] << 8));
    if (address == 0)
        return minutes;
    if (typeB)
        address = static_cast<std::uint16_t>(address + 192);
    for (std::size_t n = 0; n <= (end - start) / 16; ++n) {
        reply = device.Receive(RecordRead(address));
        EXPECT_EQ(reply.size(), 22u);
        if (reply.size() != 22 || reply[6] == 0xFF)
            break;
        minutes.push_back(reply[9]);
        address = static_cast<std::uint16_t>(address - 16);
        if (address < start)
            address = static_cast<std::uint16_t>(end - 16);
    }
    return minutes;
}

TEST(SimDeviceTest, ReadWalkFindsFlightsNewestFirst)
{
    struct Case {
        char type;
        bool longForm;
        std::string identity;
        int flights;
        std::size_t firstSlot;
        std::uint16_t start;
        std::uint32_t end;
    };
    const Case cases[] = {
        { 'F', false, "", 0, 0, 0xF100, 0x10000 },
        { 'F', false, "", 5, 0, 0xF100, 0x10000 },
        { 'F', false, "", 5, 238, 0xF100, 0x10000 }, // wraps from 0xF100 to 0xFFF0
        { 'F', false, "", 240, 17, 0xF100, 0x10000 }, // full ring
        { 'E', false, "", 250, 0, 0xF100, 0x10000 }, // overflow: the oldest ten are gone
        { 'B', false, "", 5, 58, 0xF100, 0xF4C0 }, // wraps to 0xF4B0
        { 'B', false, "", 60, 0, 0xF100, 0xF4C0 },
        { 'L', false, "", 7, 222, 0xF200, 0x10000 },
        { '"', false, "", 3, 0, 0xF200, 0x10000 },
        { 'K', false, "LB13", 4, 223, 0xF200, 0x10000 },
        { 'K', false, "EA15", 4, 239, 0xF100, 0x10000 },
        { 'F', true, "", 6, 206, 0xF300, 0x10000 },
        { 'f', false, "", 3, 239, 0xF100, 0x10000 },
    };
    for (const auto& c : cases) {
        DeviceConfig config = Config(c.type, c.flights, c.firstSlot);
        config.longForm = c.longForm;
        config.identity = c.identity;
        SimDevice device(config);
        const auto slots = static_cast<int>((c.end - c.start) / 16);
        std::vector<int> expected;
        for (int i = c.flights - 1; i >= 0 && i >= c.flights - slots; --i)
            expected.push_back(i % 60);
        if (c.flights >= slots)
            expected.push_back(expected.front()); // the walk comes round to the newest again
        EXPECT_EQ(WalkLikeTheProgram(device, c.start, c.end, c.type == 'B' && !c.longForm), expected)
            << c.type << " " << c.flights << " flights from slot " << c.firstSlot;
    }
}

TEST(SimDeviceTest, KeyInitializationIsLoggedAndChangesTheTarget)
{
    std::vector<std::string> keyLog;
    DeviceConfig config = Config('K', 2, 0);
    config.redirect = true;
    config.identity = "EA15";
    SimDevice device(config, { {}, [&](std::string_view line) { keyLog.emplace_back(line); }, {} });
    ASSERT_EQ(device.Memory().Window().start, 0xF100);

    const Bytes lb13 { 0x82, 0xFE, 0x06, 0x14, 0x00, 'L', 'B', '1', '3',
        static_cast<std::uint8_t>(0xA5 ^ 0xFE ^ 0x06 ^ 0x14 ^ 'L' ^ 'B' ^ '1' ^ '3'), 0x83 };
    EXPECT_TRUE(device.Receive(Concat({ kKeyInitEA15AtFE, lb13 })).empty());
    EXPECT_EQ(keyLog, (std::vector<std::string> { "KEYINIT EA15 addr=FE", "KEYINIT LB13 addr=FE" }));
    EXPECT_EQ(device.IdentityText(), "LB13");
    EXPECT_EQ(device.Memory().Window().start, 0xF200);
    const auto reply = device.Receive(kIdentityAtFE);
    ASSERT_GE(reply.size(), 10u);
    EXPECT_EQ(std::string(reply.begin() + 6, reply.begin() + 10), "LB13");

    // An instrument that is not a key logs the command but keeps its identity.
    SimDevice instrument(Config('F'), { {}, [&](std::string_view line) { keyLog.emplace_back(line); }, {} });
    instrument.Receive(Concat({ kKeyInitEA15AtFE }));
    EXPECT_EQ(keyLog.back(), "KEYINIT EA15 addr=FE");
    EXPECT_EQ(instrument.IdentityText(), "SIM1");
}

TEST(SimDeviceTest, GoesSilentAfterNCommandsAndResumes)
{
    struct Case {
        long silentAfter;
        long resumeAfter;
        std::vector<bool> answered;
    };
    const Case cases[] = {
        { -1, -1, { true, true, true, true, true } },
        { 0, -1, { false, false, false, false, false } },
        { 2, -1, { true, true, false, false, false } },
        { 2, 2, { true, true, false, false, true } },
    };
    for (const auto& c : cases) {
        DeviceConfig config = Config('F');
        config.silentAfter = c.silentAfter;
        config.resumeAfter = c.resumeAfter;
        std::vector<std::string> frames;
        SimDevice device(config, { [&](std::string_view line) { frames.emplace_back(line); }, {}, {} });
        std::vector<bool> answered;
        for (std::size_t i = 0; i < c.answered.size(); ++i)
            answered.push_back(!device.Receive(kIdentityAtE1).empty());
        EXPECT_EQ(answered, c.answered) << c.silentAfter << "/" << c.resumeAfter;
        // A silent device is still on the wire: every frame is logged.
        EXPECT_EQ(frames, std::vector<std::string>(c.answered.size(), "82 E1 02 08 04 4A 83"));
    }
}

} // namespace
} // namespace cvlog::sim
