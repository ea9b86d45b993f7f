// Runs the start-up USB probe in a process of its own, so that a test can
// choose the system's library search path (LD_LIBRARY_PATH is read only when
// a process starts). The arguments are the folders looked in first. Prints
// what the probe found, one "name=value" a line.
#include "link/usb_bridge.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    cvlog::UsbBridge bridge;
    cvlog::LinkState link;
    const bool loaded = bridge.load(std::vector<std::filesystem::path>(argv + 1, argv + argc));
    cvlog::probeUsb(link, bridge);
    std::printf("loaded=%d\nlibrary=%s\nactive=%d\ndevices=%u\n", loaded ? 1 : 0,
        bridge.libraryPath().c_str(), link.usbActive ? 1 : 0, link.usbDeviceCount);
    return 0;
}
