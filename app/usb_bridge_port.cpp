#include "app/usb_bridge_port.h"

#include "link/usb_bridge.h"

namespace cvlog
{

UsbBridgePort::UsbBridgePort(UsbBridge& bridge)
    : bridge(bridge)
{
}

int UsbBridgePort::write(void* handle, const std::uint8_t* bytes, std::uint32_t count, std::uint32_t* written)
{
    return bridge.write(handle, bytes, count, written);
}

int UsbBridgePort::checkRxQueue(void* handle, std::uint32_t* bytesInQueue, std::uint32_t* queueStatus)
{
    return bridge.checkRxQueue(handle, bytesInQueue, queueStatus);
}

int UsbBridgePort::read(void* handle, std::uint8_t* buffer, std::uint32_t count, std::uint32_t* returned)
{
    return bridge.read(handle, buffer, count, returned);
}

} // namespace cvlog
