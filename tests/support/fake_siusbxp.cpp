// A stand-in for the USB bridge library, so the bridge code and the whole
// program can be driven without the bridge hardware. Steered by environment
// variables, read afresh at every call:
//   FAKE_SIUSBXP_DEVICES      number of devices reported (default 1)
//   FAKE_SIUSBXP_OPEN_STATUS  status returned by SI_Open (default 0)
//   FAKE_SIUSBXP_LOG          file to which every call is appended as one line
//   FAKE_SIUSBXP_PORT         device (e.g. a pseudo-terminal) that stands for the
//                             instrument: SI_Write writes there, SI_Read reads from it
// Built without SI_Read when FAKE_SIUSBXP_WITHOUT_READ is defined, to stand for
// an incomplete library.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fcntl.h>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace
{

using Status = int;
using Dword = std::uint32_t;

constexpr Status kSuccess = 0;
constexpr Status kInvalidHandle = 1;
constexpr Status kWriteError = 4;
constexpr Status kInvalidParameter = 6;
constexpr Status kDeviceNotFound = 0xFF;

// A handle that a failed open leaves behind; never a device.
void* const kBogusHandle = reinterpret_cast<void*>(~std::uintptr_t { 0 });

struct Device {
    bool open = false;
    int fd = -1;
    std::deque<unsigned char> queue;

    ~Device()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

Device& device()
{
    static Device d;
    return d;
}

long envNumber(const char* name, long fallback)
{
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0')
        return fallback;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 0);
    return *end == '\0' ? value : fallback;
}

void logLine(const std::string& line)
{
    const char* path = std::getenv("FAKE_SIUSBXP_LOG");
    if (path == nullptr || *path == '\0')
        return;
    if (std::FILE* f = std::fopen(path, "a")) {
        std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
    }
}

std::string hexBytes(const unsigned char* bytes, std::size_t n)
{
    std::string text;
    char byte[4];
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(byte, sizeof byte, " %02X", bytes[i]);
        text += byte;
    }
    return text;
}

Device* deviceOf(void* handle)
{
    Device& d = device();
    return handle == &d && d.open ? &d : nullptr;
}

// Moves whatever the instrument side has sent into the queue, without waiting.
void drainPort(Device& d)
{
    if (d.fd < 0)
        return;
    unsigned char buffer[256];
    for (;;) {
        const ssize_t n = ::read(d.fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        d.queue.insert(d.queue.end(), buffer, buffer + n);
    }
}

} // namespace

extern "C" {

Status SI_GetNumDevices(Dword* numDevices)
{
    logLine("SI_GetNumDevices");
    if (numDevices == nullptr)
        return kInvalidParameter;
    *numDevices = static_cast<Dword>(envNumber("FAKE_SIUSBXP_DEVICES", 1));
    return kSuccess;
}

Status SI_Open(Dword deviceNumber, void** handle)
{
    logLine("SI_Open " + std::to_string(deviceNumber));
    if (handle == nullptr)
        return kInvalidParameter;
    const Status status = static_cast<Status>(envNumber("FAKE_SIUSBXP_OPEN_STATUS", kSuccess));
    if (status != kSuccess) {
        *handle = kBogusHandle;
        return status;
    }
    if (deviceNumber >= static_cast<Dword>(envNumber("FAKE_SIUSBXP_DEVICES", 1)))
        return kDeviceNotFound;
    Device& d = device();
    if (!d.open) {
        const char* port = std::getenv("FAKE_SIUSBXP_PORT");
        if (port != nullptr && *port != '\0') {
            d.fd = ::open(port, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
            if (d.fd < 0)
                return kDeviceNotFound;
            // A pseudo-terminal must pass every byte through untouched, as the bridge does.
            termios mode {};
            if (::tcgetattr(d.fd, &mode) == 0) {
                ::cfmakeraw(&mode);
                ::tcsetattr(d.fd, TCSANOW, &mode);
            }
        }
        d.open = true;
    }
    *handle = &d;
    return kSuccess;
}

Status SI_SetBaudRate(void* handle, Dword baudRate)
{
    logLine("SI_SetBaudRate " + std::to_string(baudRate));
    return deviceOf(handle) ? kSuccess : kInvalidHandle;
}

Status SI_FlushBuffers(void* handle, unsigned char flushTransmit, unsigned char flushReceive)
{
    logLine("SI_FlushBuffers " + std::to_string(flushTransmit) + " " + std::to_string(flushReceive));
    Device* d = deviceOf(handle);
    if (d == nullptr)
        return kInvalidHandle;
    if (flushReceive) {
        drainPort(*d);
        d->queue.clear();
    }
    return kSuccess;
}

Status SI_Write(void* handle, void* buffer, Dword bytesToWrite, Dword* bytesWritten, void* /*overlapped*/)
{
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    logLine("SI_Write" + (bytes ? hexBytes(bytes, bytesToWrite) : std::string()));
    Device* d = deviceOf(handle);
    if (d == nullptr)
        return kInvalidHandle;
    if (bytes == nullptr || bytesWritten == nullptr)
        return kInvalidParameter;
    *bytesWritten = 0;
    if (d->fd < 0) {
        *bytesWritten = bytesToWrite;
        return kSuccess;
    }
    Dword done = 0;
    while (done < bytesToWrite) {
        const ssize_t n = ::write(d->fd, bytes + done, bytesToWrite - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<Dword>(n);
    }
    *bytesWritten = done;
    return done == bytesToWrite ? kSuccess : kWriteError;
}

Status SI_CheckRXQueue(void* handle, Dword* bytesInQueue, Dword* queueStatus)
{
    Device* d = deviceOf(handle);
    if (d == nullptr || bytesInQueue == nullptr || queueStatus == nullptr) {
        logLine("SI_CheckRXQueue");
        return d == nullptr ? kInvalidHandle : kInvalidParameter;
    }
    drainPort(*d);
    *bytesInQueue = static_cast<Dword>(d->queue.size());
    *queueStatus = d->queue.empty() ? 0 : 1;
    logLine("SI_CheckRXQueue " + std::to_string(*bytesInQueue));
    return kSuccess;
}

#ifndef FAKE_SIUSBXP_WITHOUT_READ
Status SI_Read(void* handle, void* buffer, Dword bytesToRead, Dword* bytesReturned, void* /*overlapped*/)
{
    Device* d = deviceOf(handle);
    if (d == nullptr || buffer == nullptr || bytesReturned == nullptr) {
        logLine("SI_Read " + std::to_string(bytesToRead));
        return d == nullptr ? kInvalidHandle : kInvalidParameter;
    }
    drainPort(*d);
    auto* out = static_cast<unsigned char*>(buffer);
    Dword n = 0;
    while (n < bytesToRead && !d->queue.empty()) {
        out[n++] = d->queue.front();
        d->queue.pop_front();
    }
    *bytesReturned = n;
    logLine("SI_Read " + std::to_string(bytesToRead) + hexBytes(out, n));
    return kSuccess;
}
#endif
}
