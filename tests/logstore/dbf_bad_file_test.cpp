// Files damaged or written by other programs: each is read safely or
// refused with a message, and a refused file is left exactly as it was.
#include "table_test_support.h"

#include <functional>
#include <initializer_list>

namespace cvlog::testing
{
namespace
{

void putLe16(std::string& b, std::size_t at, unsigned v)
{
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>(v >> 8);
}

void putLe32(std::string& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

constexpr std::size_t descriptorAt(int field)
{
    return 32 + 32 * static_cast<std::size_t>(field);
}

struct BadFile {
    const char* name;
    std::function<void(std::string&)> damage;
    // What a plain view makes of it: rows and fields, or the start of its error.
    int plainRows;
    int plainFields;
    const char* plainError;
    // The main view: nullptr when it opens with plainRows rows.
    const char* mainError;
    // Why an open file is shown but never written; nullptr for a sound one.
    const char* refusal = nullptr;
};

const BadFile kBadFiles[] = {
    { "count larger than the rows", [](std::string& b) { putLe32(b, 4, 99); }, 2, 9, nullptr, nullptr,
        "its header counts 99 rows, but the file holds only 2" },
    { "count smaller than the rows", [](std::string& b) { putLe32(b, 4, 0); }, 2, 9, nullptr, nullptr },
    { "short last row", [](std::string& b) { b.resize(b.size() - 1 - 77); }, 1, 9, nullptr, nullptr,
        "its header counts 2 rows, but the file holds only 1" },
    { "no end-of-file byte", [](std::string& b) { b.pop_back(); }, 2, 9, nullptr, nullptr },
    // The rows then start one byte early: the terminator is taken for a flag.
    { "header length without room for the terminator", [](std::string& b) { putLe16(b, 8, 320); }, 1, 9,
        nullptr, nullptr, "its header is 320 bytes long, but its fields need 321" },
    // Rows are taken from where the header says they start; only one flag there is a space.
    { "header length for two fields", [](std::string& b) { putLe16(b, 8, 100); }, 1, 2, nullptr,
        "Field 'FLIGHTTIME' not found", "its rows are 127 bytes long, but its fields take 14" },
    { "header length for no field", [](std::string& b) { putLe16(b, 8, 40); }, 0, 0,
        "Invalid field count : 0 (must be between 1 and 4095)", "Invalid field count : 0" },
    { "header length zero", [](std::string& b) { putLe16(b, 8, 0); }, 0, 0,
        "Invalid field count : -1 (must be between 1 and 4095)", "Invalid field count : -1" },
    { "header length beyond the file", [](std::string& b) { putLe16(b, 8, 60000); }, 0, 0,
        "Invalid header length : 60000", "Invalid header length" },
    { "terminator after two descriptors", [](std::string& b) { b[descriptorAt(2)] = 0x0D; }, 2, 2, nullptr,
        "Field 'FLIGHTTIME' not found", "its rows are 127 bytes long, but its fields take 14" },
    { "row length zero", [](std::string& b) { putLe16(b, 10, 0); }, 0, 0, "Invalid row length : 0",
        "Invalid row length : 0" },
    { "row length shorter than the fields", [](std::string& b) { putLe16(b, 10, 100); }, 0, 0,
        "Invalid row length : 100 (the fields need 127)", "Invalid row length : 100" },
    { "field wider than the row", [](std::string& b) { b[descriptorAt(8) + 16] = static_cast<char>(200); }, 0,
        0, "Invalid row length : 127 (the fields need 263)", "Invalid row length" },
    { "field of width zero", [](std::string& b) { b[descriptorAt(8) + 16] = 0; }, 2, 9, nullptr, nullptr,
        "its rows are 127 bytes long, but its fields take 63" },
    { "name without its zero byte", [](std::string& b) { b.replace(descriptorAt(0), 11, "ABCDEFGHIJK"); }, 2,
        9, nullptr, "Field 'TAKEOFFD' not found" },
    { "unknown type letters",
        [](std::string& b) {
            b[descriptorAt(2) + 11] = 'F';
            b[descriptorAt(7) + 11] = '?';
        },
        2, 9, nullptr, nullptr },
    { "a few bytes", [](std::string& b) { b.resize(5); }, 0, 0, "Not a table file", "Not a table file" },
    { "header only, cut before the descriptors", [](std::string& b) { b.resize(40); }, 0, 0,
        "Invalid header length : 321", "Invalid header length" },
};

void PrintTo(const BadFile& b, std::ostream* os)
{
    *os << b.name;
}

class BadFileTest : public TableTest, public ::testing::WithParamInterface<BadFile>
{
protected:
    std::string validTable()
    {
        createLog(file("valid.dbf"));
        FlightLog t;
        setUpMainView(t, file("valid.dbf"));
        t.open();
        appendFlight(t, QDate(2026, 5, 1), QStringLiteral("9:00"), 61, QStringLiteral("first"));
        appendFlight(t, QDate(2026, 5, 2), QStringLiteral("10:00"), 62, QStringLiteral("second"));
        t.close();
        return readBytes(file("valid.dbf"));
    }
};

TEST_P(BadFileTest, IsReadSafelyOrRefusedUntouched)
{
    const BadFile& c = GetParam();
    std::string bytes = validTable();
    c.damage(bytes);

    for (const bool mainView : { false, true }) {
        SCOPED_TRACE(mainView ? "main view" : "plain view");
        writeBytes(file(), bytes);
        const char* expectedError = mainView ? (c.mainError ? c.mainError : c.plainError) : c.plainError;
        DbfTable plain;
        FlightLog log;
        DbfTable& t = mainView ? log : plain;
        t.setPath(file());
        std::string error;
        try {
            t.open();
        } catch (const DbfError& e) {
            error = e.what();
        }
        if (expectedError != nullptr) {
            EXPECT_EQ(error.rfind(expectedError, 0), 0u) << error;
            EXPECT_FALSE(t.isOpen());
            t.close();
            EXPECT_EQ(readBytes(file()), bytes);
            continue;
        }
        ASSERT_EQ(error, "");
        EXPECT_EQ(t.fieldCount(), c.plainFields);
        int rows = 0;
        for (t.first(); !t.eof(); t.next()) {
            for (int f = 0; f < t.fieldCount(); ++f) {
                (void)t.text(f);
                (void)t.integer(f);
                (void)t.date(f);
            }
            ++rows;
        }
        EXPECT_EQ(rows, c.plainRows);
        if (c.refusal != nullptr) {
            // Shown, but not a byte changes: not by a post, not by the close.
            EXPECT_EQ(t.damage(), c.refusal);
            for (const auto& change : std::initializer_list<std::function<void()>> {
                     [&] { t.append(); }, [&] { t.edit(); }, [&] { t.remove(); }, [&] { t.compact(); } }) {
                try {
                    change();
                    ADD_FAILURE() << "a change was taken";
                } catch (const DbfError& e) {
                    EXPECT_NE(std::string(e.what()).find(c.refusal), std::string::npos) << e.what();
                }
            }
            t.close();
            EXPECT_EQ(readBytes(file()), bytes);
            continue;
        }
        EXPECT_EQ(t.damage(), "");
        // The file takes a new row and keeps the old ones.
        const std::uint32_t count = t.recordCount();
        t.append();
        t.post();
        t.close();
        t.open(DbfTable::Access::ReadOnly);
        EXPECT_EQ(t.recordCount(), count + 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Damaged, BadFileTest, ::testing::ValuesIn(kBadFiles), [](const ::testing::TestParamInfo<BadFile>& info) {
        std::string name;
        for (const char* p = info.param.name; *p; ++p)
            name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
        return name;
    });

TEST_F(TableTest, CountFromTheLengthIsWrittenAtClose)
{
    createLog(file());
    {
        FlightLog t;
        setUpMainView(t, file());
        t.open();
        appendFlight(t, QDate(2026, 5, 1), QStringLiteral("9:00"), 61);
    }
    std::string bytes = readBytes(file());
    putLe32(bytes, 4, 0); // as a program killed after an append leaves it
    writeBytes(file(), bytes);
    FlightLog t;
    setUpMainView(t, file());
    t.open();
    EXPECT_EQ(t.recordCount(), 1u);
    t.close();
    EXPECT_EQ(le32(readBytes(file()), 4), 1u);
}

} // namespace
} // namespace cvlog::testing
