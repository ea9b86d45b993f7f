#pragma once
// The USB serial bridge, reached through the vendor library libsiusbxp.so,
// bound by name when the program starts: first from the folders given (the
// program's own, then an installed program's library folder), then through
// the system's library search. The first library found decides;
// if any of the seven calls is missing from it, the bridge is simply not in
// use. The library stays loaded for the whole run, since an opened device's
// handle belongs to it.

#include "link/link_ports.h"
#include "link/link_state.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

namespace cvlog
{

inline constexpr const char* kUsbLibraryName = "libsiusbxp.so";
inline constexpr std::uint32_t kUsbBaudRate = 19200;
// What the calls return while no library is bound (the library's own
// statuses are 0 for success and small positive numbers).
inline constexpr int kUsbNotLoaded = -1;

// Serves the link as its USB transport.
class UsbBridge : public UsbPort
{
public:
    UsbBridge();
    UsbBridge(const UsbBridge&) = delete;
    UsbBridge& operator=(const UsbBridge&) = delete;
    ~UsbBridge() override;

    bool load(const std::vector<std::filesystem::path>& folders);
    bool isLoaded() const;
    // The file that was bound, for diagnostics; empty while not loaded.
    std::filesystem::path libraryPath() const;

    int getNumDevices(std::uint32_t* count);
    int open(std::uint32_t device, void** handle);
    int setBaudRate(void* handle, std::uint32_t baud);
    int flushBuffers(void* handle, std::uint8_t tx, std::uint8_t rx);
    int write(void* handle, const std::uint8_t* bytes, std::uint32_t count, std::uint32_t* written) override;
    int read(void* handle, std::uint8_t* buffer, std::uint32_t count, std::uint32_t* returned) override;
    int checkRxQueue(void* handle, std::uint32_t* bytesInQueue, std::uint32_t* queueStatus) override;

private:
    struct Functions;
    struct LibraryCloser {
        void operator()(void* handle) const;
    };

    std::unique_ptr<void, LibraryCloser> m_library;
    std::unique_ptr<Functions> m_functions;
};

// The start-up probe: clears usbActive, counts the devices into
// usbDeviceCount and, when there is one, opens device 0; a successful open
// sets usbActive and keeps the handle, then sets 19200 baud and flushes both
// buffers. A failed open keeps no handle and makes no further call, so the
// library is never handed a handle it did not give out. Every status goes to
// lastUsbStatus.
void probeUsb(LinkState& link, UsbBridge& bridge);

} // namespace cvlog
