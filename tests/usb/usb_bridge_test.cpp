#include "link/usb_bridge.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using cvlog::LinkState;
using cvlog::UsbBridge;

namespace
{

const char* const kSteering[]
    = { "FAKE_SIUSBXP_DEVICES", "FAKE_SIUSBXP_OPEN_STATUS", "FAKE_SIUSBXP_LOG", "FAKE_SIUSBXP_PORT" };

class UsbBridgeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* name : kSteering)
            ::unsetenv(name);
        ::setenv("FAKE_SIUSBXP_LOG", logPath().c_str(), 1);
    }
    void TearDown() override
    {
        for (const char* name : kSteering)
            ::unsetenv(name);
    }

    fs::path programDir() const { return fs::path(m_dir.path().toStdString()) / "program"; }
    std::string logPath() const { return m_dir.path().toStdString() + "/calls.log"; }

    // A program directory holding the given library (or none).
    fs::path install(const char* library) const
    {
        fs::create_directories(programDir());
        // A fresh file each time: a library still mapped must never be rewritten in place.
        fs::remove(programDir() / cvlog::kUsbLibraryName);
        if (library)
            fs::copy_file(library, programDir() / cvlog::kUsbLibraryName);
        return programDir();
    }

    std::vector<std::string> calls() const
    {
        std::vector<std::string> lines;
        QFile f(QString::fromStdString(logPath()));
        if (!f.open(QIODevice::ReadOnly))
            return lines;
        for (const QByteArray& line : f.readAll().split('\n'))
            if (!line.isEmpty())
                lines.push_back(line.toStdString());
        return lines;
    }

    QTemporaryDir m_dir;
};

using Calls = std::vector<std::string>;

} // namespace

TEST_F(UsbBridgeTest, NoLibraryMeansNoBridge)
{
    UsbBridge bridge;
    EXPECT_FALSE(bridge.load({ install(nullptr) }));
    EXPECT_FALSE(bridge.isLoaded());
    EXPECT_TRUE(bridge.libraryPath().empty());

    LinkState link;
    link.usbActive = true;
    cvlog::probeUsb(link, bridge);
    EXPECT_FALSE(link.usbActive);
    EXPECT_EQ(link.usbDeviceCount, 0u);
    std::uint32_t count = 7;
    EXPECT_EQ(bridge.getNumDevices(&count), cvlog::kUsbNotLoaded);
    EXPECT_EQ(count, 7u);
}

TEST_F(UsbBridgeTest, IncompleteLibraryIsNotUsed)
{
    UsbBridge bridge;
    EXPECT_FALSE(bridge.load({ install(FAKE_SIUSBXP_WITHOUT_READ) }));
    EXPECT_FALSE(bridge.isLoaded());
    LinkState link;
    cvlog::probeUsb(link, bridge);
    EXPECT_FALSE(link.usbActive);
    EXPECT_EQ(calls(), Calls {});
}

TEST_F(UsbBridgeTest, StartUpProbe)
{
    struct Case {
        const char* name;
        const char* devices;
        const char* openStatus;
        bool active;
        std::uint32_t count;
        std::int32_t lastStatus;
        Calls calls;
    };
    const Case cases[] = {
        { "one device opens", "1", "0", true, 1, 0,
            { "SI_GetNumDevices", "SI_Open 0", "SI_SetBaudRate 19200", "SI_FlushBuffers 1 1" } },
        { "only the first of three", "3", "0", true, 3, 0,
            { "SI_GetNumDevices", "SI_Open 0", "SI_SetBaudRate 19200", "SI_FlushBuffers 1 1" } },
        { "no device", "0", "0", false, 0, 0, { "SI_GetNumDevices" } },
        // The failed open leaves a bogus handle behind; it must go no further.
        { "open fails", "1", "4", false, 1, 4, { "SI_GetNumDevices", "SI_Open 0" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ::unlink(logPath().c_str());
        ::setenv("FAKE_SIUSBXP_DEVICES", c.devices, 1);
        ::setenv("FAKE_SIUSBXP_OPEN_STATUS", c.openStatus, 1);
        UsbBridge bridge;
        ASSERT_TRUE(bridge.load({ install(FAKE_SIUSBXP) }));
        EXPECT_EQ(bridge.libraryPath(), programDir() / cvlog::kUsbLibraryName);

        LinkState link;
        link.usbActive = true;
        link.lastUsbStatus = 99;
        cvlog::probeUsb(link, bridge);
        EXPECT_EQ(link.usbActive, c.active);
        EXPECT_EQ(link.usbDeviceCount, c.count);
        EXPECT_EQ(link.lastUsbStatus, c.lastStatus);
        EXPECT_EQ(link.usbHandle != nullptr, c.active);
        EXPECT_EQ(calls(), c.calls);
    }
}

// The opened bridge carries bytes both ways through the fake's pseudo-terminal,
// the way the link driver will use it.
TEST_F(UsbBridgeTest, OpenedBridgeCarriesBytes)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    ::setenv("FAKE_SIUSBXP_PORT", ::ptsname(master), 1);

    UsbBridge bridge;
    ASSERT_TRUE(bridge.load({ install(FAKE_SIUSBXP) }));
    LinkState link;
    cvlog::probeUsb(link, bridge);
    ASSERT_TRUE(link.usbActive);

    const unsigned char packet[] = { 0x82, 0xE1, 0x02, 0x08, 0x04, 0x4A, 0x83 };
    std::uint32_t written = 0;
    EXPECT_EQ(bridge.write(link.usbHandle, packet, sizeof packet, &written), 0);
    EXPECT_EQ(written, sizeof packet);
    unsigned char sent[sizeof packet] {};
    pollfd readable { master, POLLIN, 0 };
    ASSERT_EQ(::poll(&readable, 1, 5000), 1);
    ASSERT_EQ(::read(master, sent, sizeof sent), static_cast<ssize_t>(sizeof sent));
    EXPECT_EQ(std::vector<unsigned char>(sent, sent + sizeof sent),
        std::vector<unsigned char>(packet, packet + sizeof packet));

    std::uint32_t queued = 0;
    std::uint32_t status = 0;
    EXPECT_EQ(bridge.checkRxQueue(link.usbHandle, &queued, &status), 0);
    EXPECT_EQ(queued, 0u);

    const unsigned char reply[] = { 0x82, 0xFD, 0x0A, 0x00, 0x83 };
    ASSERT_EQ(::write(master, reply, sizeof reply), static_cast<ssize_t>(sizeof reply));
    for (int i = 0; i < 500 && queued < sizeof reply; ++i) {
        ASSERT_EQ(bridge.checkRxQueue(link.usbHandle, &queued, &status), 0);
        if (queued < sizeof reply)
            ::usleep(2000);
    }
    ASSERT_EQ(queued, sizeof reply);
    unsigned char received[16] {};
    std::uint32_t returned = 0;
    EXPECT_EQ(bridge.read(link.usbHandle, received, queued, &returned), 0);
    EXPECT_EQ(std::vector<unsigned char>(received, received + returned),
        std::vector<unsigned char>(reply, reply + sizeof reply));

    const Calls log = calls();
    EXPECT_NE(std::find(log.begin(), log.end(), "SI_Write 82 E1 02 08 04 4A 83"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "SI_Read 5 82 FD 0A 00 83"), log.end());
    ::close(master);
}

// Which library is bound, with a second copy in an installed program's
// library folder and a third on the system's search path (LD_LIBRARY_PATH,
// which only a new process reads).
TEST_F(UsbBridgeTest, ProgramDirectoryThenLibraryFolderThenTheSystemSearch)
{
    const fs::path complete = fs::path(FAKE_SIUSBXP).parent_path();
    const fs::path incomplete = fs::path(FAKE_SIUSBXP_WITHOUT_READ).parent_path();
    const fs::path libraryDir = fs::path(m_dir.path().toStdString()) / "lib";
    struct Case {
        const char* name;
        const char* inProgramDir;
        const char* inLibraryDir;
        fs::path systemDir;
        std::string expected;
    };
    const std::string local = (programDir() / cvlog::kUsbLibraryName).string();
    const std::string installed = (libraryDir / cvlog::kUsbLibraryName).string();
    const Case cases[] = {
        { "program directory wins", FAKE_SIUSBXP, FAKE_SIUSBXP_WITHOUT_READ, incomplete,
            "loaded=1\nlibrary=" + local + "\nactive=1\n" },
        { "then the library folder", nullptr, FAKE_SIUSBXP, incomplete,
            "loaded=1\nlibrary=" + installed + "\nactive=1\n" },
        { "system search when none in the folders", nullptr, nullptr, complete,
            "loaded=1\nlibrary=" + (complete / cvlog::kUsbLibraryName).string() + "\nactive=1\n" },
        { "the first library found decides", FAKE_SIUSBXP_WITHOUT_READ, FAKE_SIUSBXP, complete,
            "loaded=0\nlibrary=\nactive=0\n" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(programDir());
        fs::remove_all(libraryDir);
        install(c.inProgramDir);
        fs::create_directories(libraryDir);
        if (c.inLibraryDir)
            fs::copy_file(c.inLibraryDir, libraryDir / cvlog::kUsbLibraryName);
        QProcess probe;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LD_LIBRARY_PATH", QString::fromStdString(c.systemDir.string()));
        probe.setProcessEnvironment(env);
        probe.start(USB_PROBE,
            { QString::fromStdString(programDir().string()), QString::fromStdString(libraryDir.string()) });
        ASSERT_TRUE(probe.waitForFinished(30000));
        EXPECT_EQ(probe.exitCode(), 0) << probe.readAllStandardError().toStdString();
        const std::string out = probe.readAllStandardOutput().toStdString();
        EXPECT_EQ(out.substr(0, out.find("devices=")), c.expected);
    }
}
