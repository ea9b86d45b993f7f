#include "link/comm.h"

#include "link/serial_rts_toggle.h"

#include <QMetaObject>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace cvlog
{

namespace
{

constexpr int kNoSystemError = -1;
constexpr int kReopenIntervalMs = 1000;
// The kernel's "no such ioctl" code, which some serial drivers let
// through to user space.
constexpr int kNoIoctlCommand = 515;

// Pseudo-terminals and some adapters have no modem lines; the link
// works without them.
bool isUnsupportedIoctl(int error)
{
    return error == ENOTTY || error == EINVAL || error == kNoIoctlCommand;
}

int channelCount(std::size_t count)
{
    return static_cast<int>(std::min<std::size_t>(count, std::numeric_limits<int>::max()));
}

// The device is gone for good (unplugged), as opposed to busy for now.
bool isDeviceGone(int error)
{
    return error == EIO || error == ENXIO || error == ENODEV;
}

std::string withCode(const std::string& text, int code)
{
    return text + " (Error: " + std::to_string(code) + ") ";
}

} // namespace

SerialChannelError::SerialChannelError(const std::string& text, int code)
    : std::runtime_error(withCode(text, code))
    , code_(code)
{
}

SerialChannel::SerialChannel(QObject* parent)
    : QObject(parent)
    , reopenTimer_(new QTimer(this))
{
    reopenTimer_->setInterval(kReopenIntervalMs);
    connect(reopenTimer_, &QTimer::timeout, this, &SerialChannel::tryReopen);
}

SerialChannel::~SerialChannel()
{
    close();
}

std::filesystem::path SerialChannel::defaultDevicePath(const QString& deviceName)
{
    static const QRegularExpression comName(
        QStringLiteral("^COM([1-9][0-9]?)$"), QRegularExpression::CaseInsensitiveOption);
    const auto match = comName.match(deviceName.trimmed());
    if (!match.hasMatch())
        return std::filesystem::path(deviceName.toStdString());
    const int number = match.captured(1).toInt();
    return std::filesystem::path("/dev/ttyS" + std::to_string(number - 1));
}

void SerialChannel::setDeviceName(const QString& name)
{
    if (isOpen())
        throw SerialChannelError(kAlreadyOpen, kNoSystemError);
    deviceName_ = name;
}

void SerialChannel::setDeviceResolver(DeviceResolver resolver)
{
    resolver_ = resolver ? std::move(resolver) : DeviceResolver(&SerialChannel::defaultDevicePath);
}

std::filesystem::path SerialChannel::devicePath() const
{
    return resolver_(deviceName_);
}

void SerialChannel::setBaudRate(int baudRate)
{
    auto wanted = line_;
    wanted.baudRate = baudRate;
    changeLine(wanted);
}

void SerialChannel::setDatabits(int dataBits)
{
    auto wanted = line_;
    wanted.dataBits = dataBits;
    changeLine(wanted);
}

void SerialChannel::setParity(SerialParity parity)
{
    auto wanted = line_;
    wanted.parity = parity;
    changeLine(wanted);
}

void SerialChannel::setStopbits(SerialStopBits stopBits)
{
    auto wanted = line_;
    wanted.stopBits = stopBits;
    changeLine(wanted);
}

void SerialChannel::changeLine(const SerialLineSettings& wanted)
{
    if (isOpen()) {
        if (const int error = applyLineSettings(fd_.get(), wanted)) {
            applyLineSettings(fd_.get(), line_);
            throw SerialChannelError(kDcbError, error);
        }
        rts_->setBaudRate(wanted.baudRate);
    }
    line_ = wanted;
}

void SerialChannel::open()
{
    close();
    openDevice();
}

void SerialChannel::close()
{
    reopenTimer_->stop();
    waitingForDevice_ = false;
    shutDown();
}

void SerialChannel::openDevice()
{
    const auto path = devicePath();
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd)
        throw SerialChannelError(kAccessError, errno);

    struct stat info {
    };
    if (::fstat(fd.get(), &info) != 0 || !S_ISCHR(info.st_mode))
        throw SerialChannelError(kInvalidHandle, kNoSystemError);

    // The advisory lock stops a second channel of ours, or any program that
    // locks too, even as root; TIOCEXCL below keeps the others out.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
        throw SerialChannelError(kAccessError, errno);

    if (const int error = applyLineSettings(fd.get(), line_))
        throw SerialChannelError(kDcbError, error);

    bool hasModemLines = true;
    int dtr = TIOCM_DTR;
    if (::ioctl(fd.get(), TIOCMBIS, &dtr) != 0) {
        if (!isUnsupportedIoctl(errno))
            throw SerialChannelError(kDcbError, errno);
        hasModemLines = false;
    }

    // Set last, so no failed Open leaves the device marked exclusive.
    if (::ioctl(fd.get(), TIOCEXCL) != 0 && !isUnsupportedIoctl(errno))
        throw SerialChannelError(kAccessError, errno);

    // Bytes that reached the line before the port was ours answer nothing we asked.
    ::tcflush(fd.get(), TCIFLUSH);

    auto rts = std::make_unique<SerialRtsToggle>(fd.get(), hasModemLines, line_.baudRate);
    const std::uint64_t generation = ++generation_;
    std::unique_ptr<SerialWorker> worker;
    try {
        watchWorkerEvents();
        worker = std::make_unique<SerialWorker>(fd.get(), *rts,
            [this, generation](SerialWorker::Event event) { postWorkerEvent(generation, event); });
    } catch (const std::system_error& error) {
        ::ioctl(fd.get(), TIOCNXCL);
        throw SerialChannelError(kAccessError, error.code().value());
    }

    fd_ = std::move(fd);
    rts_ = std::move(rts);
    worker_ = std::move(worker);
    waitingForDevice_ = false;
}

void SerialChannel::watchWorkerEvents()
{
    if (workerEventNotifier_)
        return;
    UniqueFd signal(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!signal)
        throw std::system_error(errno, std::generic_category(), "eventfd");
    workerEventSignal_ = std::move(signal);
    workerEventNotifier_ = new QSocketNotifier(workerEventSignal_.get(), QSocketNotifier::Read, this);
    connect(workerEventNotifier_, &QSocketNotifier::activated, this, &SerialChannel::takeWorkerEvents);
}

// Worker thread.
void SerialChannel::postWorkerEvent(std::uint64_t generation, SerialWorker::Event event)
{
    {
        std::lock_guard lock(workerEventsMutex_);
        workerEvents_.push_back({ generation, event });
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(workerEventSignal_.get(), &one, sizeof one);
}

void SerialChannel::takeWorkerEvents()
{
    std::uint64_t signalled = 0;
    [[maybe_unused]] const auto got = ::read(workerEventSignal_.get(), &signalled, sizeof signalled);
    std::vector<WorkerEvent> events;
    {
        std::lock_guard lock(workerEventsMutex_);
        events.swap(workerEvents_);
    }
    // A handler may close or reopen the port; the generation drops what an
    // earlier worker left behind.
    for (const auto& posted : events)
        dispatch(posted.generation, posted.event);
}

void SerialChannel::shutDown()
{
    ++generation_;
    if (worker_) {
        worker_->stop();
        worker_.reset();
    }
    if (!fd_)
        return;
    ::tcflush(fd_.get(), TCIFLUSH);
    rts_.reset();
    int dtr = TIOCM_DTR;
    ::ioctl(fd_.get(), TIOCMBIC, &dtr);
    ::ioctl(fd_.get(), TIOCNXCL);
    fd_.reset();
}

void SerialChannel::dispatch(std::uint64_t generation, SerialWorker::Event event)
{
    if (generation != generation_ || !worker_)
        return;
    if (event == SerialWorker::Event::Lost)
        noteLoss();
    else
        deliverRxChar(generation);
}

void SerialChannel::deliverRxChar(std::uint64_t generation)
{
    const int count = queueCount();
    // The worker waits for this hand-over whatever the handler does: it
    // returns, throws, or closes or reopens the port itself.
    struct Release {
        SerialChannel* comm;
        std::uint64_t generation;
        int count;
        ~Release()
        {
            if (comm->generation_ == generation && comm->worker_)
                comm->worker_->handOverDone(comm->queueCount() >= count);
        }
    } release { this, generation, count };

    if (onDataArrived)
        onDataArrived(this, count);
    if (generation_ == generation)
        emit rxChar(count);
}

int SerialChannel::queueCount() const
{
    int count = 0;
    if (!fd_ || ::ioctl(fd_.get(), FIONREAD, &count) != 0)
        return 0;
    return count;
}

void SerialChannel::noteLoss()
{
    shutDown();
    waitingForDevice_ = true;
    reopenTimer_->start();
    emit deviceLost();
}

void SerialChannel::scheduleLossCheck()
{
    // Read and Write run inside handlers; the port is let go once they
    // have returned, not under their feet.
    QMetaObject::invokeMethod(
        this,
        [this, generation = generation_] {
            if (generation == generation_ && isOpen())
                noteLoss();
        },
        Qt::QueuedConnection);
}

void SerialChannel::tryReopen()
{
    if (!waitingForDevice_) {
        reopenTimer_->stop();
        return;
    }
    try {
        openDevice();
    } catch (const SerialChannelError&) {
        return; // still gone, or held by someone else; try again later
    }
    reopenTimer_->stop();
    if (onReopened)
        onReopened(this);
    emit reopened();
}

int SerialChannel::writeBytes(const void* buffer, int n)
{
    if (!fd_ || !buffer || n < 0)
        return -1;
    if (n == 0)
        return 0;
    const ssize_t written = rts_->write(buffer, static_cast<std::size_t>(n));
    if (written < 0) {
        if (isDeviceGone(errno))
            scheduleLossCheck();
        return -1;
    }
    if (rts_->mode() == SerialRtsToggle::Mode::Manual)
        worker_->wake();
    return static_cast<int>(written);
}

int SerialChannel::readBytes(void* buffer, int n)
{
    if (!fd_ || !buffer || n < 0)
        return -1;
    if (n == 0)
        return 0;
    const ssize_t got = ::read(fd_.get(), buffer, static_cast<std::size_t>(n));
    if (got > 0)
        return static_cast<int>(got);
    // With VMIN at 1 an empty queue reads as EAGAIN; 0 bytes is a hang-up.
    if (got == 0 || isDeviceGone(errno))
        scheduleLossCheck();
    return -1;
}

void SerialChannel::write(const std::uint8_t* bytes, std::size_t count)
{
    writeBytes(bytes, channelCount(count));
}

int SerialChannel::read(std::uint8_t* buffer, std::size_t maxCount)
{
    return readBytes(buffer, channelCount(maxCount));
}

} // namespace cvlog
