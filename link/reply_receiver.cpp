#include "link/reply_receiver.h"

#include "link/command_packet.h"

namespace cvlog
{

void ReplyReceiver::feed(const std::uint8_t* bytes, std::size_t count, bool usbPath,
    const std::uint8_t& deviceAddress, ReplySink& sink)
{
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t b = bytes[i];
        switch (rxState) {
        case kWaitStart:
            if (b == kStartByte)
                rxState = kAddress;
            break;
        case kAddress:
            takeAddress(b, usbPath, deviceAddress);
            break;
        case kLength:
            takeLength(b);
            break;
        case kType:
            takeType(b);
            break;
        case kPayload:
            takePayload(b, usbPath);
            break;
        case kChecksum:
            rxChecksum = b;
            rxState = kEnd;
            break;
        case kEnd:
            takeEnd(b, sink);
            break;
        default:
            rxState = kWaitStart;
            break;
        }
    }
}

void ReplyReceiver::takeAddress(std::uint8_t b, bool usbPath, std::uint8_t deviceAddress)
{
    rxAddress = b;
    // A rejected address byte is not looked at again as a start byte.
    rxState = b >= kLowestLinkAddress ? kLength : kWaitStart;
    // The bridge hands back the program's own frames: their payload must
    // not overwrite the latest reply's.
    if (usbPath)
        echoSuppress = (b == deviceAddress);
}

void ReplyReceiver::takeLength(std::uint8_t b)
{
    rxLength = b;
    rxRemaining = b;
    rxIndex = 0;
    rxState = b > 0 ? kType : kWaitStart;
}

void ReplyReceiver::takeType(std::uint8_t b)
{
    rxType = b;
    --rxRemaining;
    rxState = rxRemaining == 0 ? kChecksum : kPayload;
}

void ReplyReceiver::takePayload(std::uint8_t b, bool usbPath)
{
    if (!usbPath || !echoSuppress)
        rxPayload[rxIndex] = b;
    ++rxIndex;
    --rxRemaining;
    if (rxRemaining == 0)
        rxState = kChecksum;
}

void ReplyReceiver::takeEnd(std::uint8_t b, ReplySink& sink)
{
    // Without its end byte a frame waits here, dropping everything up to
    // the next one, and is then dispatched as it stands.
    if (b != kEndByte)
        return;
    rxState = kWaitStart;
    if (rxAddress == kDeviceAddressA || rxAddress == kDeviceAddressB)
        sink.dispatchReply();
}

} // namespace cvlog
