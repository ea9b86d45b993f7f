#pragma once
// The link's USB transport over the bridge library bound at start-up.

#include "link/link_ports.h"

namespace cvlog
{

class UsbBridge;

class UsbBridgePort : public UsbPort
{
public:
    explicit UsbBridgePort(UsbBridge& bridge);

    int write(void* handle, const std::uint8_t* bytes, std::uint32_t count, std::uint32_t* written) override;
    int checkRxQueue(void* handle, std::uint32_t* bytesInQueue, std::uint32_t* queueStatus) override;
    int read(void* handle, std::uint8_t* buffer, std::uint32_t count, std::uint32_t* returned) override;

private:
    UsbBridge& bridge;
};

} // namespace cvlog
