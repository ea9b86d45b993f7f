#include "tools/cvlog_sim/sim_options.h"

#include <gtest/gtest.h>

namespace cvlog::sim
{
namespace
{

TEST(SimOptionsTest, ReadsTheDeviceFromTheCommandLine)
{
    const auto parsed = ParseOptions(
        { "--type", "K", "--long", "--serial=K999", "--identity", "EA15", "--address", "ff", "--redirect",
            "--echo", "--generate", "40", "--today", "2026-03-15", "--silent-after", "10", "--resume-after=5",
            "--key-log", "/tmp/k", "--log", "/tmp/f", "--exit-on-eof", "--first-slot", "230" });
    ASSERT_EQ(parsed.error, "");
    const auto& o = parsed.options;
    EXPECT_EQ(o.device.typeLetter, 'K');
    EXPECT_TRUE(o.device.longForm && o.device.redirect && o.device.echo && o.exitOnEof);
    EXPECT_EQ(o.device.serial, "K999");
    EXPECT_EQ(o.device.identity, "EA15");
    EXPECT_EQ(o.device.replyAddress, 0xFF);
    EXPECT_EQ(o.generate, 40);
    EXPECT_EQ(o.today,
        std::chrono::year_month_day(std::chrono::year(2026), std::chrono::March, std::chrono::day(15)));
    EXPECT_EQ(o.device.silentAfter, 10);
    EXPECT_EQ(o.device.resumeAfter, 5);
    EXPECT_EQ(o.keyLogPath, "/tmp/k");
    EXPECT_EQ(o.frameLogPath, "/tmp/f");
    EXPECT_EQ(o.device.firstSlot, 230u);

    const auto quote = ParseOptions({ "--type", "\"" });
    EXPECT_EQ(quote.options.device.typeLetter, '"');
}

TEST(SimOptionsTest, RefusesBadCommandLines)
{
    const std::vector<std::vector<std::string>> cases = {
        { "--bogus" },
        { "--type", "FF" },
        { "--type" },
        { "--address", "1FF" },
        { "--address", "zz" },
        { "--generate", "5001" },
        { "--generate", "-1" },
        { "--today", "2026-02-30" },
        { "--today", "15.03.2026" },
        { "--silent-after", "x" },
        { "--long=yes" },
        { "--flights", "a.txt", "--generate", "3" },
    };
    for (const auto& args : cases)
        EXPECT_NE(ParseOptions(args).error, "") << args.front();
}

} // namespace
} // namespace cvlog::sim
