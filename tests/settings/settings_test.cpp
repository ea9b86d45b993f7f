#include "logstore/conversions.h"
#include "settings/ini_file.h"
#include "settings/settings.h"

#include <QByteArray>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using cvlog::IniFile;
using cvlog::IniWriteError;
using cvlog::Settings;

namespace
{

constexpr std::int32_t kToday = 46086; // 5 March 2026

class SettingsFile : public ::testing::Test
{
protected:
    fs::path dir() const { return fs::path(m_dir.path().toStdString()); }
    fs::path ini() const { return dir() / "CVLog.ini"; }

    void put(const QByteArray& bytes) const { put(ini(), bytes); }
    static void put(const fs::path& path, const QByteArray& bytes)
    {
        QFile f(QString::fromStdString(path.string()));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray contents() const { return contents(ini()); }
    static QByteArray contents(const fs::path& path)
    {
        QFile f(QString::fromStdString(path.string()));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    std::vector<std::string> entries() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    QTemporaryDir m_dir;
};

bool runningAsRoot()
{
    return ::geteuid() == 0;
}

} // namespace

TEST_F(SettingsFile, MissingFileGivesDefaultsAndFirstSaveCreatesGeneral)
{
    ASSERT_EQ(cvlog::dayNumberOf(QDate(2026, 3, 5)), kToday);
    const Settings s = cvlog::readSettings(ini(), kToday);
    EXPECT_EQ(s.fromDate, kToday);
    EXPECT_EQ(s.toDate, kToday);
    EXPECT_EQ(s.port, 1);
    EXPECT_EQ(s.marks, (std::array<bool, 5> { false, true, false, true, false }));
    EXPECT_FALSE(fs::exists(ini())) << "reading must not create the file";

    cvlog::writeSettings(ini(), s);
    EXPECT_EQ(contents(), "[General]\nFromDate=46086\nToDate=46086\nPORT=1\nx1=0\nx2=1\nx3=0\nx4=1\nx5=0\n");
    EXPECT_EQ(entries(), std::vector<std::string> { "CVLog.ini" }) << "no temporary file may be left";
}

TEST_F(SettingsFile, ValuesAreReadAndWrittenBack)
{
    struct Case {
        const char* file;
        const char* what;
        std::int32_t expected;
        const char* writtenBack; // line expected after a save, or nullptr
    };
    const Case cases[] = {
        { "[General]\nPORT=0\n", "port", 1, "PORT=1" },
        { "[General]\nPORT=9\n", "port", 1, "PORT=1" },
        { "[General]\nPORT=abc\n", "port", 1, "PORT=1" },
        { "[General]\nPORT=-3\n", "port", 1, nullptr },
        { "[General]\nPORT=3x\n", "port", 1, nullptr },
        { "[General]\nPORT=\n", "port", 1, nullptr },
        { "[General]\nPORT=0x3\n", "port", 3, "PORT=3" },
        { "[General]\nPORT=0X8\n", "port", 8, nullptr },
        { "[General]\nPORT=$5\n", "port", 5, nullptr },
        { "[General]\nPORT= 7 \n", "port", 7, nullptr },
        { "[general]\nport=3\n", "port", 3, "port=3" },
        { "[ GENERAL ]\n Port = 4\n", "port", 4, " Port =4" },
        { "[Other]\nPORT=5\n", "port", 1, nullptr },
        { "[General]\nx1=2\n", "x1", 1, "x1=1" },
        { "[General]\nx2=0\n", "x2", 0, "x2=0" },
        { "[General]\nx2=abc\n", "x2", 1, "x2=1" },
        { "[General]\nx4=0x0\n", "x4", 0, nullptr },
        { "[General]\nx5=-1\n", "x5", 1, "x5=1" },
        { "[General]\nFromDate=36526\n", "from", 36526, "FromDate=36526" },
        { "[General]\nFromDate=-5\n", "from", -5, "FromDate=-5" },
        { "[General]\nFromDate=99999999999\n", "from", kToday, nullptr },
        { "[General]\nToDate=46086.5\n", "to", kToday, nullptr },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        put(c.file);
        const Settings s = cvlog::readSettings(ini(), kToday);
        const std::string what = c.what;
        const std::int32_t actual = what == "port" ? s.port
            : what == "from"                       ? s.fromDate
            : what == "to"                         ? s.toDate
                                                   : s.marks[static_cast<std::size_t>(what[1] - '1')];
        EXPECT_EQ(actual, c.expected);
        if (c.writtenBack) {
            cvlog::writeSettings(ini(), s);
            EXPECT_TRUE(contents().split('\n').contains(c.writtenBack)) << contents().toStdString();
        }
    }
}

TEST_F(SettingsFile, DatesOutOfOrderAreKeptAsStored)
{
    put("[General]\nFromDate=46100\nToDate=46000\n");
    const Settings s = cvlog::readSettings(ini(), kToday);
    EXPECT_EQ(s.fromDate, 46100);
    EXPECT_EQ(s.toDate, 46000);
    cvlog::writeSettings(ini(), s);
    EXPECT_TRUE(contents().startsWith("[General]\nFromDate=46100\nToDate=46000\n"));
}

TEST_F(SettingsFile, ForeignLinesSurviveByteForByte)
{
    const QByteArray before = "; CVLog settings\r\n"
                              "\r\n"
                              "[Ports]\r\n"
                              "COM2=/dev/ttyUSB0\r\n"
                              "\r\n"
                              "[general]\r\n"
                              "# kept by hand\r\n"
                              "fromdate = 40000\r\n"
                              "Colour=blue\r\n"
                              "TODATE=40001\r\n"
                              "Port=2\r\n"
                              "x1=1\r\n"
                              "X2=0\r\n"
                              "x3=0\r\n"
                              "x4=0\r\n"
                              "\r\n"
                              "[Window]\r\n"
                              "Left=193";
    put(before);
    Settings s = cvlog::readSettings(ini(), kToday);
    EXPECT_EQ(s.fromDate, 40000);
    EXPECT_EQ(s.toDate, 40001);
    EXPECT_EQ(s.port, 2);
    EXPECT_EQ(s.marks, (std::array<bool, 5> { true, false, false, false, false }));
    EXPECT_EQ(cvlog::portDevicePath(ini(), 2), "/dev/ttyUSB0");

    s.fromDate = 46000;
    s.toDate = 46086;
    s.port = 5;
    s.marks = { false, false, true, false, true };
    cvlog::writeSettings(ini(), s);
    // x5 was missing: it joins its section after the last filled line, in the file's line ends.
    EXPECT_EQ(contents(),
        "; CVLog settings\r\n"
        "\r\n"
        "[Ports]\r\n"
        "COM2=/dev/ttyUSB0\r\n"
        "\r\n"
        "[general]\r\n"
        "# kept by hand\r\n"
        "fromdate =46000\r\n"
        "Colour=blue\r\n"
        "TODATE=46086\r\n"
        "Port=5\r\n"
        "x1=0\r\n"
        "X2=0\r\n"
        "x3=1\r\n"
        "x4=0\r\n"
        "x5=1\r\n"
        "\r\n"
        "[Window]\r\n"
        "Left=193");
}

TEST_F(SettingsFile, PortDevicesComeFromThePortsSection)
{
    EXPECT_EQ(cvlog::portDevicePath(ini(), 1), "/dev/ttyS0");
    EXPECT_EQ(cvlog::portDevicePath(ini(), 8), "/dev/ttyS7");
    put("[ports]\ncom3 = /dev/ttyACM1\nCOM4=\n[General]\nCOM5=/dev/null\n");
    EXPECT_EQ(cvlog::portDevicePath(ini(), 3), "/dev/ttyACM1");
    EXPECT_EQ(cvlog::portDevicePath(ini(), 4), "/dev/ttyS3");
    EXPECT_EQ(cvlog::portDevicePath(ini(), 5), "/dev/ttyS4") << "only the Ports section names devices";
    EXPECT_THROW(cvlog::portDevicePath(ini(), 0), std::out_of_range);
    EXPECT_THROW(cvlog::portDevicePath(ini(), 9), std::out_of_range);
}

TEST_F(SettingsFile, FailedWriteNamesTheFileAndLeavesNothingBehind)
{
    struct Case {
        const char* name;
        bool needsPermissions; // root writes regardless of permission bits
        std::function<fs::path(const fs::path&)> prepare;
    };
    const Case cases[] = {
        { "ini is a directory", false,
            [](const fs::path& d) {
                fs::create_directory(d / "CVLog.ini");
                return d / "CVLog.ini";
            } },
        { "directory missing", false, [](const fs::path& d) { return d / "gone" / "CVLog.ini"; } },
        { "read-only file", true,
            [](const fs::path& d) {
                put(d / "CVLog.ini", "[General]\nPORT=2\n");
                fs::permissions(d / "CVLog.ini", fs::perms::owner_read);
                return d / "CVLog.ini";
            } },
        { "read-only directory", true,
            [](const fs::path& d) {
                fs::create_directory(d / "ro");
                fs::permissions(d / "ro", fs::perms::owner_read | fs::perms::owner_exec);
                return d / "ro" / "CVLog.ini";
            } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.needsPermissions && runningAsRoot())
            continue;
        const fs::path caseDir = dir() / c.name;
        fs::create_directory(caseDir);
        const fs::path path = c.prepare(caseDir);
        const QByteArray before = contents(path);
        try {
            cvlog::writeSettings(path, Settings {});
            ADD_FAILURE() << "no error";
        } catch (const IniWriteError& e) {
            EXPECT_EQ(std::string(e.what()), "Unable to write to " + path.string());
        }
        EXPECT_EQ(contents(path), before);
        for (const auto& e : fs::recursive_directory_iterator(caseDir))
            EXPECT_EQ(e.path().filename().string().find(".CVLog.ini."), std::string::npos) << e.path();
        std::error_code ignored;
        fs::permissions(path.parent_path(), fs::perms::owner_all, ignored);
    }
}

// A file size limit makes the write fail on any account, root included:
// all keys are written in one go, so none of them is, and nothing is left.
TEST_F(SettingsFile, AFailedWriteLeavesTheFileAsItWas)
{
    rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 40; // "[General]\nFromDate=46086\nToDate=46086\n" is 38 bytes
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);

    std::string message;
    try {
        cvlog::writeSettings(ini(), Settings { kToday, kToday });
    } catch (const IniWriteError& e) {
        message = e.what();
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(message, "Unable to write to " + ini().string());
    EXPECT_FALSE(std::filesystem::exists(ini()));
    EXPECT_TRUE(entries().empty());
}

// A pipe named as the settings file is no file: nothing waits for a writer
// that never comes, the values are the defaults and a save is refused.
TEST_F(SettingsFile, APipeInItsPlaceIsNotWaitedFor)
{
    ASSERT_EQ(::mkfifo(ini().c_str(), 0600), 0);
    const Settings s = cvlog::readSettings(ini(), kToday);
    EXPECT_EQ(s.fromDate, kToday);
    EXPECT_EQ(s.port, 1);
    EXPECT_THROW(cvlog::writeSettings(ini(), s), IniWriteError);
    EXPECT_TRUE(fs::is_fifo(ini()));
}

TEST_F(SettingsFile, ReadStringRules)
{
    put("[A]\n"
        "k1 =  spaced value \t\n"
        "k2=\"quoted \"\n"
        "k3='half\n"
        ";k4=commented\n"
        "k4\n"
        "k5=first\n"
        "K5=second\n"
        "k6=a=b\n"
        "[B]\n"
        "k7=in B\n"
        "[a]\n"
        "k8=second A section\n");
    const IniFile file(ini());
    struct Case {
        const char* section;
        const char* key;
        std::optional<QString> expected;
    };
    const Case cases[] = {
        { "A", "k1", "spaced value" },
        { "A", "k2", "quoted " },
        { "A", "k3", "'half" },
        { "A", "k4", std::nullopt },
        { "A", "k5", "first" },
        { "A", "k6", "a=b" },
        { "A", "k7", std::nullopt },
        { "B", "k7", "in B" },
        { "A", "k8", std::nullopt },
        { "C", "k1", std::nullopt },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.key);
        EXPECT_EQ(file.readString(c.section, c.key), c.expected);
    }

    put("[A]\nlong=" + QByteArray(3000, '7') + "\n");
    EXPECT_EQ(file.readString("A", "long")->size(), IniFile::kMaxValueLength);
    EXPECT_EQ(IniFile(dir() / "absent.ini").readString("A", "k1"), std::nullopt);
}

TEST_F(SettingsFile, WriteStringRules)
{
    struct Case {
        const char* name;
        QByteArray before;
        const char* section;
        const char* key;
        const char* value;
        QByteArray after;
    };
    const Case cases[] = {
        { "new section after a last line without end", "[A]\nk=1", "B", "k", "2", "[A]\nk=1\n[B]\nk=2\n" },
        { "new section in a CRLF file", "[A]\r\nk=1\r\n", "B", "k", "2", "[A]\r\nk=1\r\n[B]\r\nk=2\r\n" },
        { "new key at the end of a header-only file", "[A]", "a", "k", "v", "[A]\nk=v\n" },
        { "replace keeps the key as written", "[A]\n  Key  =old \n", "a", "KEY", "new",
            "[A]\n  Key  =new\n" },
        { "replace in a CRLF file without final end", "[A]\r\nk=1", "A", "k", "22", "[A]\r\nk=22" },
        { "empty value", "[A]\nk=1\n", "A", "k", "", "[A]\nk=\n" },
        { "only the first duplicate", "[A]\nk=1\nk=2\n", "A", "k", "3", "[A]\nk=3\nk=2\n" },
        { "commented key untouched", "[A]\n;k=1\n", "A", "k", "2", "[A]\n;k=1\nk=2\n" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        put(c.before);
        IniFile(ini()).writeString(c.section, c.key, c.value);
        EXPECT_EQ(contents(), c.after);
    }

    IniFile file(ini());
    EXPECT_THROW(file.writeString("A", "k", "two\nlines"), std::invalid_argument);
    EXPECT_THROW(file.writeString("A", "k=", "v"), std::invalid_argument);
    EXPECT_THROW(file.writeString("A]", "k", "v"), std::invalid_argument);
    EXPECT_THROW(file.writeString("A", " ", "v"), std::invalid_argument);
}

TEST_F(SettingsFile, WriteKeepsModeAndSymbolicLink)
{
    const fs::path real = dir() / "real.ini";
    put(real, "[General]\nPORT=2\n");
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink(real, ini());

    IniFile(ini()).writeString("General", "PORT", "4");
    EXPECT_TRUE(fs::is_symlink(ini()));
    EXPECT_EQ(contents(real), "[General]\nPORT=4\n");
    EXPECT_EQ(
        fs::status(real).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(entries(), (std::vector<std::string> { "CVLog.ini", "real.ini" }));
}

namespace
{

// What the statistics window's rules become when read back, for files a
// user may have edited by hand; written rules read back as they were.
TEST_F(SettingsFile, CurrencyRulesAreReadAsFarAsTheyCanBeAndWrittenBack)
{
    using cvlog::CurrencyRule;
    using Span = CurrencyRule::Span;
    const std::vector<CurrencyRule> threeIn90 { CurrencyRule {} };
    struct Case {
        const char* name;
        QByteArray file;
        std::vector<CurrencyRule> expected;
    };
    const std::vector<Case> cases = {
        { "no file: the one default rule", "<none>", threeIn90 },
        { "no section: the default", "[General]\r\nPORT=2\r\n", threeIn90 },
        { "no rules, on purpose", "[Currency]\r\nCount=0\r\n", {} },
        { "rules of days, months and an instrument",
            "[Currency]\r\nCount=3\r\nRule1=3,0,90,D,\r\nRule2=1,60,12,M,\r\nRule3= 2 , 90 , 30 , D , EB,2 "
            "\r\n",
            { CurrencyRule {}, { 1, 60, 12, Span::Months, {} },
                { 2, 90, 30, Span::Days, QStringLiteral("EB,2") } } },
        { "unreadable rules are left out",
            "[Currency]\r\nCount=8\r\nRule1=3,0,90,W,\r\nRule2=x,0,90,D,\r\nRule3=0,0,90,D,\r\nRule4=3,0,0,D,"
            "\r\n"
            "Rule5=3,0,1201,M,\r\nRule6=-1,0,90,D,\r\nRule7=3,0,90\r\nRule8=1,0,1,M,EA15\r\n",
            { { 1, 0, 1, Span::Months, QStringLiteral("EA15") } } },
        { "a count past the rules there are", "[Currency]\r\nCount=999999\r\nRule1=3,0,90,D,\r\n",
            threeIn90 },
    };
    for (const Case& c : cases) {
        fs::remove(ini());
        if (c.file != "<none>")
            put(c.file);
        EXPECT_EQ(cvlog::readCurrencyRules(ini()), c.expected) << c.name;
    }

    put("[General]\r\nPORT=2\r\n");
    const std::vector<CurrencyRule> rules { { 3, 0, 90, Span::Days, {} },
        { 5, 600, 6, Span::Months, QStringLiteral("EA15") } };
    cvlog::writeCurrencyRules(ini(), rules);
    EXPECT_EQ(cvlog::readCurrencyRules(ini()), rules);
    EXPECT_EQ(contents(),
        "[General]\r\nPORT=2\r\n[Currency]\r\nCount=2\r\nRule1=3,0,90,D,\r\nRule2=5,600,6,M,EA15\r\n");
}

} // namespace
