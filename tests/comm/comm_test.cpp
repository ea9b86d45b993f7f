#include "link/comm.h"
#include "pty_pair.h"

#include <QEventLoop>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <time.h>

namespace cvlog
{
namespace
{

using namespace std::chrono_literals;
using test::PtyPair;
using test::waitFor;
using Bytes = std::vector<unsigned char>;

const std::filesystem::path kVanishedDevice = "/nonexistent/ttyUSB0";

// A channel on a pseudo-terminal, collecting what onDataArrived delivers.
struct Rig {
    PtyPair pty;
    std::filesystem::path target = pty.slavePath();
    SerialChannel comm;
    Bytes received;
    int events = 0;
    bool onOtherThread = false;

    Rig()
    {
        comm.setDeviceName("COM3");
        comm.setDeviceResolver([this](const QString&) { return target; });
        comm.onDataArrived = [this](SerialChannel* sender, int count) {
            ++events;
            if (QThread::currentThread() != qApp->thread())
                onOtherThread = true;
            unsigned char buffer[4096];
            const int got = sender->readBytes(buffer, std::min<int>(count, sizeof buffer));
            if (got > 0)
                received.insert(received.end(), buffer, buffer + got);
        };
    }
};

std::string openError(SerialChannel& comm)
{
    try {
        comm.open();
    } catch (const SerialChannelError& error) {
        return error.what();
    }
    return "opened";
}

double processCpuSeconds()
{
    timespec ts {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

void runEventLoopFor(std::chrono::milliseconds span)
{
    QEventLoop loop;
    QTimer::singleShot(span, &loop, &QEventLoop::quit);
    loop.exec();
}

TEST(CommDeviceNames, DefaultPathsAndErrorTexts)
{
    const struct {
        QString name;
        std::filesystem::path path;
    } names[] = {
        { "Com1", "/dev/ttyS0" },
        { "COM1", "/dev/ttyS0" },
        { "com8", "/dev/ttyS7" },
        { "/dev/ttyUSB0", "/dev/ttyUSB0" },
        { "COM0", "COM0" },
    };
    for (const auto& entry : names)
        EXPECT_EQ(SerialChannel::defaultDevicePath(entry.name), entry.path) << entry.name.toStdString();

    SerialChannel comm;
    EXPECT_EQ(comm.deviceName(), "Com1");
    EXPECT_EQ(comm.devicePath(), "/dev/ttyS0");

    const SerialChannelError error(SerialChannel::kAccessError, 2);
    EXPECT_STREQ(error.what(), "Error accessing specified device (Error: 2) ");
    EXPECT_EQ(error.errorCode(), 2);
}

TEST(CommOpen, FailuresLeaveTheChannelClosed)
{
    QTemporaryDir dir;
    const std::filesystem::path regular = dir.filePath("plain.bin").toStdString();
    std::ofstream(regular) << "not a port";

    const struct {
        std::filesystem::path path;
        std::string message;
    } cases[] = {
        { dir.filePath("missing").toStdString(), "Error accessing specified device (Error: 2) " },
        { dir.path().toStdString(), "Error accessing specified device (Error: 21) " },
        { regular, "Invalid device handle, access denied (Error: -1) " },
        // A character device that is no terminal cannot take line settings.
        { "/dev/null", "Error updating DataControlBlock (Error: 25) " },
    };
    for (const auto& entry : cases) {
        SerialChannel comm;
        comm.setDeviceResolver([&](const QString&) { return entry.path; });
        EXPECT_EQ(openError(comm), entry.message) << entry.path;
        EXPECT_FALSE(comm.isOpen());
        EXPECT_EQ(comm.writeBytes("x", 1), -1);
    }
}

TEST(CommOpen, SetsRawLineAt19200EightNOne)
{
    Rig rig;
    rig.comm.open();
    ASSERT_TRUE(rig.comm.isOpen());

    // The master's terminal ioctls act on the slave the channel holds.
    termios tio {};
    ASSERT_EQ(tcgetattr(rig.pty.master(), &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), B19200);
    EXPECT_EQ(cfgetispeed(&tio), B19200);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);

    // Settings changed while open reach the device at once; a refused
    // one keeps the old line.
    rig.comm.setBaudRate(9600);
    ASSERT_EQ(tcgetattr(rig.pty.master(), &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), B9600);
    try {
        rig.comm.setBaudRate(12345);
        ADD_FAILURE() << "odd baud rate accepted";
    } catch (const SerialChannelError& error) {
        EXPECT_STREQ(error.what(), "Error updating DataControlBlock (Error: 22) ");
    }
    EXPECT_EQ(rig.comm.baudRate(), 9600);
    ASSERT_EQ(tcgetattr(rig.pty.master(), &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), B9600);
}

TEST(CommTransfer, BytesFlowBothWaysOnTheUserInterfaceThread)
{
    Rig rig;
    rig.comm.open();

    const Bytes packet { 0x82, 0xE1, 0x02, 0x09, 0x00, 0x6C, 0x00, 0xFF, 0x0D };
    EXPECT_EQ(rig.comm.writeBytes(packet.data(), static_cast<int>(packet.size())), 9);
    EXPECT_EQ(rig.pty.receive(packet.size(), 2000ms), packet);

    const Bytes reply { 0x82, 0xFD, 0x03, 0x00, 0x11, 0x13, 0x0A, 0x0D };
    rig.pty.send(reply);
    ASSERT_TRUE(waitFor([&] { return rig.received.size() >= reply.size(); }));
    EXPECT_EQ(rig.received, reply);
    EXPECT_FALSE(rig.onOtherThread);
    EXPECT_GE(rig.events, 1);
}

TEST(CommTransfer, EmptyAndZeroReadsChangeNothing)
{
    Rig rig;
    rig.comm.open();
    unsigned char buffer[16];
    EXPECT_EQ(rig.comm.readBytes(buffer, 0), 0);
    EXPECT_EQ(rig.comm.readBytes(buffer, sizeof buffer), -1);
    EXPECT_EQ(rig.comm.writeBytes(buffer, 0), 0);
    runEventLoopFor(100ms);
    EXPECT_TRUE(rig.comm.isOpen());
    EXPECT_FALSE(rig.comm.isWaitingForDevice());

    // A handler that takes nothing leaves the bytes for the next one.
    rig.comm.onDataArrived = [](SerialChannel*, int) {};
    rig.pty.send({ 1, 2, 3 });
    runEventLoopFor(100ms);
    rig.comm.onDataArrived = [&](SerialChannel* sender, int count) {
        const int got = sender->readBytes(buffer, count);
        if (got > 0)
            rig.received.insert(rig.received.end(), buffer, buffer + got);
    };
    rig.pty.send({ 4 });
    ASSERT_TRUE(waitFor([&] { return rig.received.size() >= 4; }));
    EXPECT_EQ(rig.received, (Bytes { 1, 2, 3, 4 }));
}

TEST(CommTransfer, WorkerWaitsUntilEachEventIsHandled)
{
    Rig rig;
    int depth = 0;
    int deepest = 0;
    rig.comm.onDataArrived = [&](SerialChannel* sender, int count) {
        deepest = std::max(deepest, ++depth);
        ++rig.events;
        if (rig.events == 1) {
            // More input while a handler runs a nested event loop, as a
            // message box would: no second event may start meanwhile.
            rig.pty.send({ 0xAA, 0xBB });
            runEventLoopFor(150ms);
        }
        unsigned char buffer[64];
        const int got = sender->readBytes(buffer, std::max(count, 1));
        if (got > 0)
            rig.received.insert(rig.received.end(), buffer, buffer + got);
        --depth;
    };
    rig.comm.open();
    rig.pty.send({ 0x01 });
    ASSERT_TRUE(waitFor([&] { return rig.received.size() >= 3; }));
    EXPECT_EQ(deepest, 1) << rig.events;
    EXPECT_EQ(rig.received, (Bytes { 0x01, 0xAA, 0xBB }));
}

TEST(CommLifecycle, NameIsKeptWhileOpen)
{
    Rig rig;
    rig.comm.open();
    try {
        rig.comm.setDeviceName("COM5");
        ADD_FAILURE() << "name changed while open";
    } catch (const SerialChannelError& error) {
        EXPECT_STREQ(error.what(), "Device already assigned (open) (Error: -1) ");
        EXPECT_EQ(error.errorCode(), -1);
    }
    EXPECT_EQ(rig.comm.deviceName(), "COM3");
    rig.comm.close();
    rig.comm.close();
    rig.comm.setDeviceName("COM5");
    EXPECT_EQ(rig.comm.deviceName(), "COM5");
}

TEST(CommLifecycle, PortIsHeldExclusively)
{
    Rig rig;
    rig.comm.open();

    SerialChannel second;
    second.setDeviceResolver([&](const QString&) { return rig.target; });
    const std::string message = openError(second);
    EXPECT_TRUE(message == "Error accessing specified device (Error: 11) "
        || message == "Error accessing specified device (Error: 16) ")
        << message;
    EXPECT_FALSE(second.isOpen());

    // Another program: a child process trying the same port.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SerialChannel other;
        other.setDeviceResolver([&](const QString&) { return rig.target; });
        _exit(openError(other) == "opened" ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child opened the held port";

    // Reopening closes first, so the same channel may Open again; once
    // it lets go, the other channel gets the port.
    rig.comm.open();
    EXPECT_TRUE(rig.comm.isOpen());
    rig.comm.close();
    EXPECT_EQ(openError(second), "opened");
}

TEST(CommLifecycle, NothingIsDeliveredAfterClose)
{
    Rig rig;
    rig.comm.open();
    // The worker sees the bytes and waits for a hand-over that the
    // closed channel must neither serve nor deadlock on.
    rig.pty.send({ 1, 2, 3, 4 });
    QThread::msleep(50);
    rig.comm.close();
    runEventLoopFor(100ms);
    EXPECT_EQ(rig.events, 0);

    // Nor after an immediate reopen: the old worker's event is stale and
    // the discarded input is gone.
    rig.comm.open();
    rig.pty.send({ 5, 6 });
    QThread::msleep(50);
    rig.comm.close();
    rig.comm.open();
    runEventLoopFor(100ms);
    EXPECT_EQ(rig.events, 0);
    EXPECT_TRUE(rig.received.empty());
    rig.comm.close();

    // The same while input streams in.
    rig.comm.open();
    std::atomic<bool> streaming { true };
    std::thread sender([&] {
        while (streaming) {
            const unsigned char byte = 0x55;
            [[maybe_unused]] auto n = ::write(rig.pty.master(), &byte, 1);
            std::this_thread::sleep_for(1ms);
        }
    });
    ASSERT_TRUE(waitFor([&] { return rig.events >= 3; }));
    rig.comm.close();
    const int eventsAtClose = rig.events;
    runEventLoopFor(150ms);
    streaming = false;
    sender.join();
    EXPECT_EQ(rig.events, eventsAtClose);
}

TEST(CommLifecycle, HandlerMayReopenThePortWhileInputStreams)
{
    Rig rig;
    int depth = 0;
    int deepest = 0;
    int reopens = 0;
    rig.comm.onDataArrived = [&](SerialChannel* sender, int count) {
        deepest = std::max(deepest, ++depth);
        ++rig.events;
        unsigned char buffer[64];
        [[maybe_unused]] const int got = sender->readBytes(buffer, std::min<int>(count, sizeof buffer));
        EXPECT_EQ(sender->writeBytes("\x06", 1), 1);
        // Reopening from inside the hand-over stops the very worker that
        // waits for it; the new worker must neither be released by the old
        // hand-over nor see its events.
        if (rig.events % 3 == 0) {
            sender->open();
            ++reopens;
        }
        --depth;
    };
    rig.comm.open();
    std::atomic<bool> streaming { true };
    std::thread instrument([&] {
        unsigned char drained[256];
        while (streaming) {
            const unsigned char byte = 0x55;
            [[maybe_unused]] auto n = ::write(rig.pty.master(), &byte, 1);
            while (::read(rig.pty.master(), drained, sizeof drained) > 0) { }
            std::this_thread::sleep_for(1ms);
        }
    });
    const bool cycled = waitFor([&] { return reopens >= 10; }, 10000ms);
    rig.comm.close();
    const int eventsAtClose = rig.events;
    runEventLoopFor(100ms);
    streaming = false;
    instrument.join();
    ASSERT_TRUE(cycled) << reopens;
    EXPECT_EQ(deepest, 1);
    EXPECT_EQ(rig.events, eventsAtClose);
}

TEST(CommVanish, LostDeviceIsReopenedWithoutSpinning)
{
    Rig rig;
    int lost = 0;
    QObject::connect(&rig.comm, &SerialChannel::deviceLost, [&] { ++lost; });
    int reopened = 0;
    rig.comm.onReopened = [&](SerialChannel*) { ++reopened; };
    rig.comm.open();

    // A pulled adapter takes its device file with it. The freed terminal
    // number may go to another test's pseudo-terminal, which must not be
    // taken for the device coming back.
    rig.pty.closeMaster();
    rig.target = kVanishedDevice;
    ASSERT_TRUE(waitFor([&] { return lost == 1; }));
    EXPECT_FALSE(rig.comm.isOpen());
    EXPECT_TRUE(rig.comm.isWaitingForDevice());
    EXPECT_EQ(rig.comm.writeBytes("\x82", 1), -1);

    const double cpuBefore = processCpuSeconds();
    runEventLoopFor(1500ms);
    EXPECT_LT(processCpuSeconds() - cpuBefore, 0.5); // a spinning worker would burn the whole 1.5 s
    EXPECT_EQ(reopened, 0);

    PtyPair replacement;
    rig.target = replacement.slavePath();
    ASSERT_TRUE(waitFor([&] { return reopened == 1; }, 5000ms));
    EXPECT_TRUE(rig.comm.isOpen());
    EXPECT_FALSE(rig.comm.isWaitingForDevice());

    EXPECT_EQ(rig.comm.writeBytes("\x82\xE1", 2), 2);
    EXPECT_EQ(replacement.receive(2, 2000ms), (Bytes { 0x82, 0xE1 }));
    replacement.send({ 0x82, 0xFD });
    ASSERT_TRUE(waitFor([&] { return rig.received.size() >= 2; }));
    EXPECT_EQ(rig.received, (Bytes { 0x82, 0xFD }));
}

TEST(CommVanish, CloseGivesUpReopening)
{
    Rig rig;
    int reopened = 0;
    QObject::connect(&rig.comm, &SerialChannel::reopened, [&] { ++reopened; });
    rig.comm.open();
    rig.pty.closeMaster();
    rig.target = kVanishedDevice;
    ASSERT_TRUE(waitFor([&] { return rig.comm.isWaitingForDevice(); }));
    rig.comm.close();
    EXPECT_FALSE(rig.comm.isWaitingForDevice());

    PtyPair replacement;
    rig.target = replacement.slavePath();
    runEventLoopFor(1300ms);
    EXPECT_EQ(reopened, 0);
    EXPECT_FALSE(rig.comm.isOpen());
}

} // namespace
} // namespace cvlog
