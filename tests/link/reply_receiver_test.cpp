#include "link/reply_receiver.h"

#include "link_fakes.h"

#include <gtest/gtest.h>

namespace cvlog::test
{
namespace
{

struct Dispatched {
    std::uint8_t address;
    std::uint8_t type;
    std::uint8_t length;
    Bytes payload; // the first length - 1 bytes
    bool operator==(const Dispatched&) const = default;
};

class RecordingSink : public ReplySink
{
public:
    explicit RecordingSink(const ReplyReceiver& receiver)
        : receiver(receiver)
    {
    }
    void dispatchReply() override
    {
        const auto n = static_cast<std::size_t>(receiver.rxLength > 0 ? receiver.rxLength - 1 : 0);
        frames.push_back({ receiver.rxAddress, receiver.rxType, receiver.rxLength,
            Bytes(receiver.rxPayload.begin(), receiver.rxPayload.begin() + static_cast<long>(n)) });
    }
    const ReplyReceiver& receiver;
    std::vector<Dispatched> frames;
};

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

struct StreamCase {
    const char* name;
    Bytes stream;
    std::vector<Dispatched> expected;
};

const Bytes kPosition = { 0x82, 0xFF, 0x03, 0x0D, 0xA0, 0xF1, 0x00, 0x83 };

std::vector<StreamCase> StreamCases()
{
    const Bytes identity = IdentityReply(ShortIdentity("F123", "V1.0", "F123"), 0xFD);
    const Dispatched positionF1A0 { 0xFF, 0x0D, 3, { 0xA0, 0xF1 } };
    const Dispatched identityFrame { 0xFD, 9, static_cast<std::uint8_t>(identity[2]),
        Bytes(identity.begin() + 4, identity.end() - 2) };
    return {
        { "PositionReplyAnyChecksum", kPosition, { positionF1A0 } },
        { "FromFdToo", Frame(0xFD, 0x0D, { 0xA0, 0xF1 }), { { 0xFD, 0x0D, 3, { 0xA0, 0xF1 } } } },
        { "OwnAddressesNeverDispatched",
            Join({ Frame(0xFE, 0x0D, { 1, 2 }), Frame(0xE1, 0x0D, { 1, 2 }), Frame(0xE0, 9, { 4 }) }), {} },
        { "GarbageBetweenFrames",
            Join({ { 0x00, 0x83, 0x13 }, kPosition, { 0x82, 0x10, 0x55, 0x83 }, identity, { 0xFF } }),
            { positionF1A0, identityFrame } },
        // The second start byte is taken as a low address; E1 is then no start.
        { "DoubleStartLosesTheFrame", Join({ { 0x82 }, kPosition }), {} },
        { "LengthOneHasNoPayload", { 0x82, 0xFF, 0x01, 0x0D, 0x77, 0x83 }, { { 0xFF, 0x0D, 1, {} } } },
        { "LengthZeroIsDropped", Join({ { 0x82, 0xFF, 0x00 }, kPosition }), { positionF1A0 } },
        // Without its end byte a frame swallows everything up to the next one.
        { "MissingEndByte", Join({ Bytes(kPosition.begin(), kPosition.end() - 1), identity, kPosition }),
            { positionF1A0, positionF1A0 } },
        { "EndBytesInsidePayloadAreData", Frame(0xFF, 8, { 0x83, 0x82, 0x83 }),
            { { 0xFF, 8, 4, { 0x83, 0x82, 0x83 } } } },
    };
}

class ReceiverStreams : public ::testing::TestWithParam<StreamCase>
{
};

TEST_P(ReceiverStreams, GiveTheSameFramesHoweverTheBytesAreSplit)
{
    const StreamCase& c = GetParam();
    for (std::size_t split = 0; split <= c.stream.size(); ++split) {
        ReplyReceiver receiver;
        RecordingSink sink(receiver);
        const std::uint8_t ownAddress = 0xE1;
        receiver.feed(c.stream.data(), split, false, ownAddress, sink);
        receiver.feed(c.stream.data() + split, c.stream.size() - split, false, ownAddress, sink);
        EXPECT_EQ(sink.frames, c.expected) << "split at " << split;
    }
    ReplyReceiver receiver;
    RecordingSink sink(receiver);
    const std::uint8_t ownAddress = 0xE1;
    for (const std::uint8_t b : c.stream)
        receiver.feed(&b, 1, true, ownAddress, sink);
    EXPECT_EQ(sink.frames, c.expected) << "byte by byte over USB";
}

INSTANTIATE_TEST_SUITE_P(Link, ReceiverStreams, ::testing::ValuesIn(StreamCases()),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReplyReceiver, OwnFramesEchoedByTheBridgeLeaveThePayloadAlone)
{
    const Bytes echo = recordRead(0xE1, 0xF190);
    for (const bool usb : { false, true }) {
        ReplyReceiver receiver;
        RecordingSink sink(receiver);
        const std::uint8_t ownAddress = 0xE1;
        receiver.feed(kPosition.data(), kPosition.size(), usb, ownAddress, sink);
        receiver.feed(echo.data(), echo.size(), usb, ownAddress, sink);
        EXPECT_EQ(sink.frames.size(), 1u);
        EXPECT_EQ(receiver.rxIndex, 2) << "the index advances over a suppressed payload";
        // Serial: the echo's address bytes overwrote the reply's payload.
        const Bytes kept(receiver.rxPayload.begin(), receiver.rxPayload.begin() + 2);
        EXPECT_EQ(kept, usb ? Bytes({ 0xA0, 0xF1 }) : Bytes({ 0x90, 0xF1 })) << "usb " << usb;
        EXPECT_EQ(receiver.rxAddress, 0xE1);
    }
}

TEST(ReplyReceiver, EchoSuppressionFollowsTheOwnAddress)
{
    // After a redirect the program speaks as 0xFE: frames from 0xE1 are no
    // longer its own and are stored again, frames from 0xFE are not.
    const Bytes fromE1 = Frame(0xE1, 7, { 0x11, 0x22 });
    const Bytes fromFE = Frame(0xFE, 7, { 0x33, 0x44 });
    ReplyReceiver receiver;
    RecordingSink sink(receiver);
    std::uint8_t ownAddress = 0xFE;
    receiver.feed(fromE1.data(), fromE1.size(), true, ownAddress, sink);
    EXPECT_EQ(receiver.rxPayload[0], 0x11);
    receiver.feed(fromFE.data(), fromFE.size(), true, ownAddress, sink);
    EXPECT_EQ(receiver.rxPayload[0], 0x11);
    receiver.feed(fromFE.data(), fromFE.size(), false, ownAddress, sink);
    EXPECT_EQ(receiver.rxPayload[0], 0x33) << "the serial path stores every payload";
}

TEST(ReplyReceiver, LongestFrameStaysInsideThePayload)
{
    Bytes payload(254);
    for (std::size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<std::uint8_t>(i);
    const Bytes frame = Frame(0xFF, 8, payload);
    ReplyReceiver receiver;
    RecordingSink sink(receiver);
    const std::uint8_t ownAddress = 0xE1;
    receiver.feed(frame.data(), frame.size(), false, ownAddress, sink);
    ASSERT_EQ(sink.frames.size(), 1u);
    EXPECT_EQ(sink.frames[0].payload, payload);
}

} // namespace
} // namespace cvlog::test
