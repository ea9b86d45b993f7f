#pragma once
// The serial channel of the instrument link: one COM port opened for
// exclusive use at 19200 baud, 8N1, no handshake, DTR on and RTS following
// the transmitter. Received characters are reported on the user-interface
// thread through onDataArrived; a port that vanishes (a USB adapter pulled out)
// is reopened about once a second and reported through onReopened.

#include "link/link_ports.h"
#include "link/serial_line.h"
#include "link/serial_worker.h"
#include "logstore/unique_fd.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

class QSocketNotifier;
class QTimer;

namespace cvlog
{

class SerialRtsToggle;

class SerialChannelError : public std::runtime_error
{
public:
    // The message is the text followed by " (Error: <code>) "; code is the
    // system error, or -1 where there is none.
    SerialChannelError(const std::string& text, int code);
    int errorCode() const { return code_; }

private:
    int code_;
};

// Serves the link as its serial transport.
class SerialChannel : public QObject, public SerialPort
{
    Q_OBJECT
public:
    // Maps a device name such as "COM3" to the device file behind it.
    using DeviceResolver = std::function<std::filesystem::path(const QString& deviceName)>;
    using DataArrivedHandler = std::function<void(SerialChannel* sender, int count)>;
    using ReopenedHandler = std::function<void(SerialChannel* sender)>;

    static constexpr const char* kAccessError = "Error accessing specified device";
    static constexpr const char* kInvalidHandle = "Invalid device handle, access denied";
    static constexpr const char* kDcbError = "Error updating DataControlBlock";
    static constexpr const char* kAlreadyOpen = "Device already assigned (open)";

    explicit SerialChannel(QObject* parent = nullptr);
    ~SerialChannel() override;

    // "COM1".."COM8" (any case) are /dev/ttyS0../dev/ttyS7; any other name
    // is taken as a path.
    static std::filesystem::path defaultDevicePath(const QString& deviceName);

    QString deviceName() const { return deviceName_; }
    // Refused with SerialChannelError "Device already assigned (open)" while open.
    void setDeviceName(const QString& name);
    void setDeviceResolver(DeviceResolver resolver);
    // The device file the current name resolves to.
    std::filesystem::path devicePath() const;

    // Line settings: applied at once to an open port (SerialChannelError
    // "Error updating DataControlBlock" and the old value kept if the device
    // refuses), otherwise kept for the next Open.
    int baudRate() const { return line_.baudRate; }
    void setBaudRate(int baudRate);
    int databits() const { return line_.dataBits; }
    void setDatabits(int dataBits);
    SerialParity parity() const { return line_.parity; }
    void setParity(SerialParity parity);
    SerialStopBits stopbits() const { return line_.stopBits; }
    void setStopbits(SerialStopBits stopBits);

    // Closes first if open; ends open, configured and watched, or throws
    // SerialChannelError and leaves the channel closed.
    void open();
    // Stops the worker, discards queued input, closes the device and gives
    // up reopening a vanished one. Closing a closed port does nothing.
    void close();
    // Whether a device is held. False while a vanished device is awaited.
    bool isOpen() const { return fd_.valid(); }
    // The device vanished while open and is being reopened once a second.
    bool isWaitingForDevice() const { return waitingForDevice_; }

    // Non-blocking; the number of bytes written or read, or -1.
    int writeBytes(const void* buffer, int n);
    int readBytes(void* buffer, int n);
    // The same for the link, a count beyond an int being cut to one.
    void write(const std::uint8_t* bytes, std::size_t count) override;
    int read(std::uint8_t* buffer, std::size_t maxCount) override;

    // Called on the user-interface thread with the bytes waiting at that
    // moment (possibly 0). The worker waits until it returns.
    DataArrivedHandler onDataArrived;
    // Called when a vanished device has been opened again.
    ReopenedHandler onReopened;

signals:
    void rxChar(int count);
    void deviceLost();
    void reopened();

private:
    struct WorkerEvent {
        std::uint64_t generation;
        SerialWorker::Event event;
    };

    void openDevice();
    void watchWorkerEvents();
    void postWorkerEvent(std::uint64_t generation, SerialWorker::Event event);
    void takeWorkerEvents();
    void shutDown();
    void dispatch(std::uint64_t generation, SerialWorker::Event event);
    void deliverRxChar(std::uint64_t generation);
    void noteLoss();
    void scheduleLossCheck();
    void tryReopen();
    void changeLine(const SerialLineSettings& wanted);
    int queueCount() const;

    QString deviceName_ = QStringLiteral("Com1");
    DeviceResolver resolver_ = &SerialChannel::defaultDevicePath;
    SerialLineSettings line_;

    UniqueFd fd_;
    std::unique_ptr<SerialRtsToggle> rts_;
    std::unique_ptr<SerialWorker> worker_;
    // Bumped whenever the device is let go, so events queued by an earlier
    // worker are recognised and dropped.
    std::uint64_t generation_ = 0;
    bool waitingForDevice_ = false;
    QTimer* reopenTimer_;

    // The worker's events travel in a queue under our own lock and wake this
    // thread through an eventfd, rather than as calls posted through Qt,
    // whose internal locking a race checker cannot see: every hand-over is
    // then a lock and a descriptor it follows. Made at the first Open and
    // kept for the channel's lifetime.
    std::mutex workerEventsMutex_;
    std::vector<WorkerEvent> workerEvents_;
    UniqueFd workerEventSignal_;
    QSocketNotifier* workerEventNotifier_ = nullptr;
};

} // namespace cvlog
