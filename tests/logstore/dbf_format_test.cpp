// The bytes of the log table file as other programs and older copies of this
// one read them.
#include "table_test_support.h"

#include "logstore/cp850.h"

#include <QDate>

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

namespace cvlog::testing
{
namespace
{

std::string descriptor(const char* name, char type, int width)
{
    std::string d(32, '\0');
    std::copy(name, name + std::strlen(name), d.begin());
    d[11] = type;
    d[16] = static_cast<char>(width);
    return d;
}

// The empty log table, spelled out byte by byte.
std::string expectedEmptyLog(const QDate& date, bool capitals)
{
    std::string h(32, '\0');
    h[0] = 0x03;
    h[1] = static_cast<char>(date.year() - 1900);
    h[2] = static_cast<char>(date.month());
    h[3] = static_cast<char>(date.day());
    h[8] = 0x41; // 321
    h[9] = 0x01;
    h[10] = 0x7F; // 127
    h += descriptor(capitals ? "TAKEOFFD" : "TakeoffD", 'D', 8);
    h += descriptor(capitals ? "TAKEOFFT" : "TakeoffT", 'C', 5);
    h += descriptor(capitals ? "FLIGHTTIME" : "FlightTime", 'N', 9);
    h += descriptor(capitals ? "MAXALT" : "MaxAlt", 'N', 9);
    h += descriptor(capitals ? "MAXSPD" : "MaxSPD", 'N', 9);
    h += descriptor(capitals ? "STUDENT" : "Student", 'N', 9);
    h += descriptor(capitals ? "HOBBS" : "Hobbs", 'N', 9);
    h += descriptor(capitals ? "INSTRUMENT" : "Instrument", 'C', 4);
    h += descriptor(capitals ? "COMMENT" : "Comment", 'C', 64);
    h += '\x0D';
    h += '\x1A';
    return h;
}

using FormatTest = TableTest;

TEST_F(FormatTest, NewTableIsTheExactEmptyLog)
{
    createLog(file());
    const std::string bytes = readBytes(file());
    ASSERT_EQ(bytes.size(), 322u);
    EXPECT_EQ(bytes, expectedEmptyLog(kStampDate, false));
}

TEST_F(FormatTest, HeaderDateComesFromTheLocalClock)
{
    const QDate before = QDate::currentDate();
    DbfTable t;
    t.setPath(file());
    t.create(logTableFields());
    const QDate after = QDate::currentDate();
    const std::string bytes = readBytes(file());
    const std::string stamp = bytes.substr(1, 3);
    EXPECT_TRUE(stamp == expectedEmptyLog(before, false).substr(1, 3)
        || stamp == expectedEmptyLog(after, false).substr(1, 3));
}

TEST_F(FormatTest, PostedRowIsOnDiskBeforeTheHeaderIsWritten)
{
    createLog(file());
    FlightLog t;
    setUpMainView(t, file());
    t.open();
    t.append();
    t.setDate(kTakeoffDate, QDate(2026, 3, 5));
    t.setText(kTakeoffTime, QStringLiteral("9:05"));
    t.setInteger(kFlightTime, 90);
    t.setInteger(kMaxAltitude, -5);
    t.setInteger(kMaxSpeed, -99999999);
    t.setInteger(kStudent, 255);
    t.setText(kInstrument, QStringLiteral("ABCDE"));
    t.post();

    std::string bytes = readBytes(file());
    ASSERT_EQ(bytes.size(), 448u);
    EXPECT_EQ(le32(bytes, 4), 0u);
    const std::string row = std::string(" 20260305") + "9:05 " + "       90" + "       -5" + "-99999999"
        + "      255" + "         " + "ABCD" + std::string(64, ' ');
    ASSERT_EQ(row.size(), 127u);
    EXPECT_EQ(bytes.substr(321), row);

    t.close();
    bytes = readBytes(file());
    ASSERT_EQ(bytes.size(), 449u);
    EXPECT_EQ(le32(bytes, 4), 1u);
    EXPECT_EQ(bytes.substr(321, 127), row);
    EXPECT_EQ(bytes.back(), '\x1A');
    // Closing writes only the count and date: the mixed-case names stay.
    EXPECT_EQ(bytes.substr(32, 8), "TakeoffD");
}

TEST_F(FormatTest, MissingFileOpenedByTheMainViewGetsTheLogHeaderInCapitals)
{
    FlightLog t;
    setUpMainView(t, file());
    t.open();
    EXPECT_TRUE(t.isEmpty());
    EXPECT_EQ(t.fieldCount(), kLogFieldCount);
    t.close();
    EXPECT_EQ(readBytes(file()), expectedEmptyLog(kStampDate, true));
}

TEST_F(FormatTest, EmptyFileOpenedByTheMainViewIsFilled)
{
    writeBytes(file(), {});
    FlightLog t;
    setUpMainView(t, file());
    t.open();
    t.close();
    EXPECT_EQ(readBytes(file()), expectedEmptyLog(kStampDate, true));
}

TEST_F(FormatTest, OtherViewsOnAMissingFile)
{
    // Never open: a header without fields, which then cannot be opened.
    DbfTable never;
    never.setPath(file("never.dbf"));
    EXPECT_THROW(
        {
            try {
                never.open();
            } catch (const DbfError& e) {
                EXPECT_STREQ(e.what(), "Invalid field count : 0 (must be between 1 and 4095)");
                throw;
            }
        },
        DbfError);
    EXPECT_EQ(readBytes(file("never.dbf")).size(), 34u);

    // Open before: the fields it had, in capitals.
    createLog(file("other.dbf"));
    DbfTable other;
    other.setPath(file("other.dbf"));
    other.setDateSource([] { return kStampDate; });
    other.open();
    other.close();
    std::filesystem::remove(file("other.dbf"));
    other.open();
    EXPECT_EQ(other.fieldCount(), kLogFieldCount);
    other.close();
    EXPECT_EQ(readBytes(file("other.dbf")), expectedEmptyLog(kStampDate, true));

    // A read-only view never writes, not even a header.
    DbfTable reader;
    reader.setPath(file("absent.dbf"));
    EXPECT_THROW(reader.open(DbfTable::Access::ReadOnly), DbfError);
    EXPECT_FALSE(std::filesystem::exists(file("absent.dbf")));
}

TEST_F(FormatTest, FileNameIsMatchedWithoutRegardToCase)
{
    createLog(file("cvlog.DBF"));
    FlightLog t;
    setUpMainView(t, file("CVLog.dbf"));
    t.open();
    appendFlight(t, QDate(2026, 1, 2), QStringLiteral("10:00"), 30);
    t.close();
    EXPECT_FALSE(std::filesystem::exists(file("CVLog.dbf")));
    EXPECT_EQ(readBytes(file("cvlog.DBF")).size(), 449u);

    // Create rewrites the file under the name it has on disk.
    t.create(logTableFields());
    EXPECT_FALSE(std::filesystem::exists(file("CVLog.dbf")));
    EXPECT_EQ(readBytes(file("cvlog.DBF")).size(), 322u);
}

TEST_F(FormatTest, DeletedRowKeepsItsBytesUntilCompact)
{
    createLog(file());
    FlightLog t;
    setUpMainView(t, file());
    t.open();
    appendFlight(t, QDate(2026, 1, 1), QStringLiteral("8:00"), 10);
    appendFlight(t, QDate(2026, 1, 2), QStringLiteral("9:00"), 20);
    appendFlight(t, QDate(2026, 1, 3), QStringLiteral("10:00"), 30);
    t.moveToRecord(2);
    t.remove();
    EXPECT_EQ(t.recordNumber(), 3u);
    EXPECT_EQ(visibleMinutes(t), (std::vector<int> { 10, 30 }));
    t.close();

    std::string bytes = readBytes(file());
    ASSERT_EQ(bytes.size(), 321u + 3 * 127 + 1);
    EXPECT_EQ(le32(bytes, 4), 3u);
    EXPECT_EQ(bytes[321 + 127], '*');
    EXPECT_EQ(bytes.substr(321 + 127 + 1, 8), "20260102");

    t.compact();
    EXPECT_TRUE(t.isOpen());
    EXPECT_EQ(t.recordNumber(), 1u);
    EXPECT_EQ(visibleMinutes(t), (std::vector<int> { 10, 30 }));
    t.close();
    const std::string compacted = readBytes(file());
    EXPECT_EQ(compacted.size(), bytes.size() - 127);
    EXPECT_EQ(le32(compacted, 4), 2u);
    std::string header = expectedEmptyLog(kStampDate, true).substr(0, 321);
    header[4] = 2;
    EXPECT_EQ(compacted.substr(0, 321), header);
    EXPECT_EQ(compacted.substr(321, 127), bytes.substr(321, 127));
    EXPECT_EQ(compacted.substr(448, 127), bytes.substr(321 + 254, 127));
    // Only the table is left in its directory.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(file().parent_path()),
                  std::filesystem::directory_iterator()),
        1);
}

TEST_F(FormatTest, CompactDropsRowsWithAnyFlagButASpaceAndKeepsTheReservedBytes)
{
    createLog(file());
    {
        FlightLog t;
        setUpMainView(t, file());
        t.open();
        for (int i = 1; i <= 4; ++i)
            appendFlight(t, QDate(2026, 2, i), QStringLiteral("7:00"), i);
    }
    std::string bytes = readBytes(file());
    bytes[321 + 127] = 'X';
    bytes[29] = 0x57; // a language driver set by another program
    writeBytes(file(), bytes);

    FlightLog t;
    setUpMainView(t, file());
    t.compact();
    EXPECT_EQ(visibleMinutes(t), (std::vector<int> { 1, 3, 4 }));
    t.close();
    const std::string compacted = readBytes(file());
    EXPECT_EQ(compacted.size(), 321u + 3 * 127 + 1);
    EXPECT_EQ(compacted[29], 0x57);
}

TEST_F(FormatTest, TextIsStoredInCodePage850)
{
    createLog(file());
    FlightLog t;
    setUpMainView(t, file());
    t.open();
    appendFlight(t, QDate(2026, 1, 1), QStringLiteral("8:00"), 10, QStringLiteral("Zürich é ß € 😀"));
    const std::string bytes = readBytes(file());
    // ü 0x81, é 0x82, ß 0xE1; the euro sign and the emoji are not in the page.
    EXPECT_EQ(bytes.substr(321 + 63, 15), "Z\x81rich \x82 \xE1 ? ? ");
    t.first();
    EXPECT_EQ(t.text(kComment), QStringLiteral("Zürich é ß ? ?"));
}

TEST(Cp850Test, EveryUpperByteRoundTrips)
{
    std::string all;
    for (int b = 0x20; b < 0x100; ++b)
        all.push_back(static_cast<char>(b));
    const QString text = cp850ToString(all);
    EXPECT_EQ(text.size(), static_cast<qsizetype>(all.size()));
    EXPECT_FALSE(text.contains(QChar(0xFFFD)));
    EXPECT_EQ(stringToCp850(text), all);
    EXPECT_EQ(cp850ToString("\x9C\xD5"), QStringLiteral("£ı"));
}

TEST_F(FormatTest, KilledProcessLosesNoPostedRow)
{
    createLog(file());
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(ready[0]);
        // The view stays open, its header unwritten, until the signal.
        FlightLog t;
        try {
            setUpMainView(t, file());
            t.open();
            appendFlight(t, QDate(2026, 3, 5), QStringLiteral("14:30"), 77, QStringLiteral("posted"));
        } catch (...) {
            ::_exit(2);
        }
        const char ok = 1;
        if (::write(ready[1], &ok, 1) != 1)
            ::_exit(3);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char signal = 0;
    ASSERT_EQ(::read(ready[0], &signal, 1), 1);
    ::close(ready[0]);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));

    EXPECT_EQ(le32(readBytes(file()), 4), 0u);
    FlightLog t;
    setUpMainView(t, file());
    t.open();
    EXPECT_EQ(t.recordCount(), 1u);
    EXPECT_EQ(t.integer(kFlightTime), 77);
    EXPECT_EQ(t.text(kComment), QStringLiteral("posted"));
    EXPECT_EQ(t.date(kTakeoffDate), QDate(2026, 3, 5));
}

} // namespace
} // namespace cvlog::testing
