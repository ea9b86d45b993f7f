#include "link_fakes.h"

#include <gtest/gtest.h>

namespace cvlog::test
{
namespace
{

struct CommandCase {
    const char* name;
    Bytes body;
    std::uint8_t address;
    Bytes expected;
};

class CommandFrames : public ::testing::TestWithParam<CommandCase>
{
};

TEST_P(CommandFrames, AreSentByteForByteOverEitherTransport)
{
    const CommandCase& c = GetParam();
    for (const bool usb : { false, true }) {
        LinkRig rig;
        rig.link.usbActive = usb;
        std::copy(c.body.begin(), c.body.end(), rig.driver.txFrame.begin() + kBodyOffset);
        rig.driver.sendCommand(static_cast<std::uint8_t>(c.body.size()), c.address);
        const std::vector<Bytes>& out = usb ? rig.usb.sent : rig.serial.written;
        const std::vector<Bytes>& other = usb ? rig.serial.written : rig.usb.sent;
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0], c.expected);
        EXPECT_TRUE(other.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Link, CommandFrames,
    ::testing::Values(
        CommandCase { "IdentityE1", { 0x08, 0x04 }, 0xE1, { 0x82, 0xE1, 0x02, 0x08, 0x04, 0x4A, 0x83 } },
        CommandCase { "IdentityFE", { 0x08, 0x04 }, 0xFE, { 0x82, 0xFE, 0x02, 0x08, 0x04, 0x55, 0x83 } },
        CommandCase { "PositionE1", { 0x00, 0x07 }, 0xE1, { 0x82, 0xE1, 0x02, 0x00, 0x07, 0x41, 0x83 } },
        CommandCase { "PositionFE", { 0x00, 0x07 }, 0xFE, { 0x82, 0xFE, 0x02, 0x00, 0x07, 0x5E, 0x83 } },
        CommandCase {
            "ReadF1A0", { 0x07, 0xA0, 0xF1 }, 0xE1, { 0x82, 0xE1, 0x03, 0x07, 0xA0, 0xF1, 0x11, 0x83 } },
        // Body bytes equal to the start or end byte go out unescaped.
        CommandCase {
            "Unescaped", { 0x07, 0x82, 0x83 }, 0xE1, { 0x82, 0xE1, 0x03, 0x07, 0x82, 0x83, 0x41, 0x83 } },
        CommandCase { "KeyInitEA15", { 0x14, 0x00, 'E', 'A', '1', '5' }, 0xFE,
            { 0x82, 0xFE, 0x06, 0x14, 0x00, 0x45, 0x41, 0x31, 0x35, 0x49, 0x83 } }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CommandPacket, BodyWritersGiveTheCommandsBodies)
{
    TxFrame frame {};
    EXPECT_EQ(frameCommand(frame, writeRecordRead(frame, 0xF1A0), 0xE1), 8u);
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 8), recordRead(0xE1, 0xF1A0));
    EXPECT_EQ(frameCommand(frame, writeKeyInit(frame, { 'E', 'A', '1', '5' }), 0xFE), 11u);
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 11),
        (Bytes { 0x82, 0xFE, 0x06, 0x14, 0x00, 0x45, 0x41, 0x31, 0x35, 0x49, 0x83 }));
}

TEST(CommandPacket, NothingLeavesWithoutAReadyTransport)
{
    for (const bool usb : { false, true }) {
        LinkRig rig;
        rig.link.portReady = false;
        rig.link.usbActive = usb;
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(rig.tick().empty());
        EXPECT_TRUE(rig.serial.written.empty());
        EXPECT_TRUE(rig.usb.sent.empty());
    }
}

} // namespace
} // namespace cvlog::test
