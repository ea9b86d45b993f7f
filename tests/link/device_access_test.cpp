// What the "not available" message says about a device: the reason, the
// owning group and the ways in for a permission, the holders of a busy
// device found through a /proc laid out in a temporary folder.

#include "link/comm.h"
#include "link/device_access.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <unistd.h>

namespace cvlog::test
{
namespace
{

namespace fs = std::filesystem;

class DeviceAccessTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        std::ofstream(device) << "x";
        std::ofstream(other) << "y";
        fs::create_symlink(device, byId);
    }

    // A process of the fake /proc holding the files given, one descriptor each.
    void process(const std::string& pid, const char* name, std::initializer_list<fs::path> open)
    {
        const fs::path folder = proc / pid;
        fs::create_directories(folder / "fd");
        if (name)
            std::ofstream(folder / "comm") << name << '\n';
        int fd = 3;
        for (const fs::path& file : open)
            fs::create_symlink(file, folder / "fd" / std::to_string(fd++));
    }

    QTemporaryDir dir;
    const fs::path root = dir.path().toStdString();
    const fs::path device = root / "ttyUSB0";
    const fs::path other = root / "ttyUSB1";
    const fs::path byId = root / "usb-Silicon_Labs_CP2102-if00-port0";
    const fs::path proc = root / "proc";
};

TEST_F(DeviceAccessTest, TheHoldersOfADeviceAreTheProcessesWithItOpenUnderAnyName)
{
    process("812", "ModemManager", { other, device });
    process("77", "brltty", { byId });
    process("90", nullptr, { device }); // its name cannot be read
    process("95", "cat", { other });
    process("self", "cvlog", { device }); // not a process number
    fs::create_directories(proc / "96"); // no descriptors to look at

    const std::vector<DeviceHolder> holders = deviceHolders(device, proc);
    ASSERT_EQ(holders.size(), 3u);
    EXPECT_EQ(holders[0].pid, 77);
    EXPECT_EQ(holders[0].name, "brltty");
    EXPECT_EQ(holders[1].pid, 90);
    EXPECT_EQ(holders[1].name, "");
    EXPECT_EQ(holders[2].pid, 812);
    EXPECT_EQ(holders[2].name, "ModemManager");

    EXPECT_TRUE(deviceHolders(root / "missing", proc).empty());
    EXPECT_TRUE(deviceHolders(device, root / "no-proc").empty());

    // The real /proc finds this very process holding the device.
    const int fd = ::open(device.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const std::vector<DeviceHolder> real = deviceHolders(byId);
    ::close(fd);
    ASSERT_EQ(real.size(), 1u);
    EXPECT_EQ(real[0].pid, ::getpid());
}

TEST_F(DeviceAccessTest, TheDetailNamesTheDeviceTheReasonAndWhatTheUserCanDo)
{
    process("812", "ModemManager", { device });
    process("900", nullptr, { device });
    // As root the device can be given to the usual serial group; otherwise it
    // belongs to our own group, whose name is looked up the same way.
    QString group;
    if (const ::group* dialout = ::getgrnam("dialout");
        dialout && ::chown(device.c_str(), -1, dialout->gr_gid) == 0)
        group = QStringLiteral("dialout");
    else if (const ::group* own = ::getgrgid(::getgid()))
        group = QString::fromLocal8Bit(own->gr_name);
    const fs::path rootOwned = root / "ttyS0";
    std::ofstream(rootOwned) << "z";
    const bool canGiveToRoot = ::chown(rootOwned.c_str(), -1, 0) == 0;

    const QString path = QString::fromStdString(device.string());
    const QString waysIn = QStringLiteral("\nThe device belongs to the group \"%1\". To be let in, either:"
                                          "\n- with CVLog's udev rule installed, log out and in again, or"
                                          " unplug the adapter and plug it in again;");
    struct Case {
        fs::path file;
        int code;
        const char* text;
        QString expected;
    };
    std::vector<Case> cases = {
        { device, ENOENT, SerialChannel::kAccessError, path + QStringLiteral(": No such file or directory") },
        { device, EACCES, SerialChannel::kAccessError,
            path + QStringLiteral(": Permission denied") + waysIn.arg(group)
                + QStringLiteral(
                    "\n- or join the group: sudo usermod -aG %1 $USER, then log out and in again.")
                      .arg(group) },
        { root / "gone", EACCES, SerialChannel::kAccessError,
            QString::fromStdString((root / "gone").string()) + QStringLiteral(": Permission denied") },
        { device, EWOULDBLOCK, SerialChannel::kAccessError,
            path
                + QStringLiteral(
                    ": Device or resource busy; it is held by ModemManager (process 812), process 900") },
        { other, EBUSY, SerialChannel::kAccessError,
            QString::fromStdString(other.string()) + QStringLiteral(": Device or resource busy") },
        { device, -1, SerialChannel::kInvalidHandle,
            path + QStringLiteral(": Invalid device handle, access denied") },
    };
    if (canGiveToRoot)
        cases.push_back({ rootOwned, EPERM, SerialChannel::kAccessError,
            QString::fromStdString(rootOwned.string()) + QStringLiteral(": Operation not permitted")
                + waysIn.arg(QStringLiteral("root")) });
    for (const Case& c : cases)
        EXPECT_EQ(portFailureDetail(c.file, SerialChannelError(c.text, c.code), proc), c.expected) << c.code;
}

} // namespace
} // namespace cvlog::test
