#include "link/usb_bridge.h"

#include <dlfcn.h>
#include <link.h>

namespace cvlog
{

namespace
{

using GetNumDevicesFn = int (*)(std::uint32_t*);
using OpenFn = int (*)(std::uint32_t, void**);
using SetBaudRateFn = int (*)(void*, std::uint32_t);
using FlushBuffersFn = int (*)(void*, unsigned char, unsigned char);
using WriteFn = int (*)(void*, void*, std::uint32_t, std::uint32_t*, void*);
using ReadFn = int (*)(void*, void*, std::uint32_t, std::uint32_t*, void*);
using CheckRxQueueFn = int (*)(void*, std::uint32_t*, std::uint32_t*);

template <typename Fn> bool bind(void* library, const char* name, Fn& function)
{
    function = reinterpret_cast<Fn>(::dlsym(library, name));
    return function != nullptr;
}

} // namespace

struct UsbBridge::Functions {
    GetNumDevicesFn getNumDevices = nullptr;
    OpenFn open = nullptr;
    SetBaudRateFn setBaudRate = nullptr;
    FlushBuffersFn flushBuffers = nullptr;
    WriteFn write = nullptr;
    ReadFn read = nullptr;
    CheckRxQueueFn checkRxQueue = nullptr;
};

void UsbBridge::LibraryCloser::operator()(void* handle) const
{
    ::dlclose(handle);
}

UsbBridge::UsbBridge() = default;
UsbBridge::~UsbBridge() = default;

bool UsbBridge::load(const std::vector<std::filesystem::path>& folders)
{
    m_functions.reset();
    m_library.reset();

    // A bare name makes dlopen use the system's search.
    std::filesystem::path found = kUsbLibraryName;
    for (const std::filesystem::path& folder : folders) {
        std::error_code ec;
        if (std::filesystem::exists(folder / kUsbLibraryName, ec)) {
            found = folder / kUsbLibraryName;
            break;
        }
    }
    void* library = ::dlopen(found.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr)
        return false;
    std::unique_ptr<void, LibraryCloser> owner(library);

    auto functions = std::make_unique<Functions>();
    const bool complete = bind(library, "SI_GetNumDevices", functions->getNumDevices)
        && bind(library, "SI_Open", functions->open)
        && bind(library, "SI_SetBaudRate", functions->setBaudRate)
        && bind(library, "SI_FlushBuffers", functions->flushBuffers)
        && bind(library, "SI_Write", functions->write) && bind(library, "SI_Read", functions->read)
        && bind(library, "SI_CheckRXQueue", functions->checkRxQueue);
    if (!complete)
        return false;

    m_library = std::move(owner);
    m_functions = std::move(functions);
    return true;
}

bool UsbBridge::isLoaded() const
{
    return m_functions != nullptr;
}

std::filesystem::path UsbBridge::libraryPath() const
{
    link_map* map = nullptr;
    if (!m_library || ::dlinfo(m_library.get(), RTLD_DI_LINKMAP, &map) != 0 || map == nullptr)
        return {};
    return map->l_name;
}

int UsbBridge::getNumDevices(std::uint32_t* count)
{
    return m_functions ? m_functions->getNumDevices(count) : kUsbNotLoaded;
}

int UsbBridge::open(std::uint32_t device, void** handle)
{
    return m_functions ? m_functions->open(device, handle) : kUsbNotLoaded;
}

int UsbBridge::setBaudRate(void* handle, std::uint32_t baud)
{
    return m_functions ? m_functions->setBaudRate(handle, baud) : kUsbNotLoaded;
}

int UsbBridge::flushBuffers(void* handle, std::uint8_t tx, std::uint8_t rx)
{
    return m_functions ? m_functions->flushBuffers(handle, tx, rx) : kUsbNotLoaded;
}

int UsbBridge::write(void* handle, const std::uint8_t* bytes, std::uint32_t count, std::uint32_t* written)
{
    // The library's prototype takes a non-const buffer but only reads it.
    return m_functions ? m_functions->write(handle, const_cast<std::uint8_t*>(bytes), count, written, nullptr)
                       : kUsbNotLoaded;
}

int UsbBridge::read(void* handle, std::uint8_t* buffer, std::uint32_t count, std::uint32_t* returned)
{
    return m_functions ? m_functions->read(handle, buffer, count, returned, nullptr) : kUsbNotLoaded;
}

int UsbBridge::checkRxQueue(void* handle, std::uint32_t* bytesInQueue, std::uint32_t* queueStatus)
{
    return m_functions ? m_functions->checkRxQueue(handle, bytesInQueue, queueStatus) : kUsbNotLoaded;
}

void probeUsb(LinkState& link, UsbBridge& bridge)
{
    constexpr std::uint32_t kFirstDevice = 0;
    constexpr std::uint8_t kFlush = 1;

    link.usbActive = false;
    if (!bridge.isLoaded())
        return;
    std::uint32_t count = 0; // a failing library may leave it unset
    link.lastUsbStatus = bridge.getNumDevices(&count);
    link.usbDeviceCount = count;
    if (link.usbDeviceCount == 0)
        return;

    void* handle = nullptr;
    link.lastUsbStatus = bridge.open(kFirstDevice, &handle);
    if (link.lastUsbStatus != 0) {
        // What a failed open leaves in the handle is not a device; the link stays on the serial port.
        link.usbHandle = nullptr;
        return;
    }
    link.usbHandle = handle;
    link.usbActive = true;
    link.lastUsbStatus = bridge.setBaudRate(link.usbHandle, kUsbBaudRate);
    link.lastUsbStatus = bridge.flushBuffers(link.usbHandle, kFlush, kFlush);
}

} // namespace cvlog
