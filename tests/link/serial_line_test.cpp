#include "link/serial_line.h"
#include "pty_pair.h"

#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>

namespace cvlog
{
namespace
{

TEST(SerialLine, SettingsRoundTripThroughTheDevice)
{
    test::PtyPair pty;
    UniqueFd slave(::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    ASSERT_TRUE(slave);

    const SerialLineSettings good[] = {
        {},
        { 9600, 8, SerialParity::None, SerialStopBits::Two },
        { 115200, 8, SerialParity::None, SerialStopBits::One },
        { 300, 8, SerialParity::None, SerialStopBits::Two },
    };
    for (const auto& settings : good) {
        EXPECT_EQ(applyLineSettings(slave.get(), settings), 0) << settings.baudRate;
        EXPECT_EQ(readLineSettings(slave.get()), settings) << settings.baudRate;
    }

    const SerialLineSettings bad[] = {
        { 12345, 8, SerialParity::None, SerialStopBits::One },
        { 19200, 9, SerialParity::None, SerialStopBits::One },
        { 0, 8, SerialParity::None, SerialStopBits::One },
    };
    const SerialLineSettings before = *readLineSettings(slave.get());
    for (const auto& settings : bad) {
        EXPECT_EQ(applyLineSettings(slave.get(), settings), EINVAL) << settings.baudRate;
        EXPECT_EQ(readLineSettings(slave.get()), before);
    }

    // A pseudo-terminal keeps 8 bits without parity whatever it is told;
    // a line that silently differs from the one asked for is refused.
    EXPECT_EQ(applyLineSettings(slave.get(), { 300, 7, SerialParity::Even, SerialStopBits::Two }), EINVAL);
}

TEST(SerialLine, NonTerminalsAreRefused)
{
    UniqueFd null(::open("/dev/null", O_RDWR | O_CLOEXEC));
    ASSERT_TRUE(null);
    EXPECT_EQ(applyLineSettings(null.get(), {}), ENOTTY);
    EXPECT_FALSE(readLineSettings(null.get()));
}

} // namespace
} // namespace cvlog
