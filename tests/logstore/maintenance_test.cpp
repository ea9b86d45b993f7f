// Wipe, backup and restore never lose the log: each keeps the old log whole
// until the new one is complete, refuses what it cannot read before it
// touches anything, and leaves the main view open.

#include "logstore/atomic_file.h"
#include "logstore/file_error.h"
#include "logstore/log_maintenance.h"
#include "table_test_support.h"

#include <QProcess>

#include <csignal>
#include <sys/wait.h>

namespace cvlog::testing
{
namespace
{

namespace fs = std::filesystem;

class MaintenanceTest : public TableTest
{
protected:
    void SetUp() override
    {
        TableTest::SetUp();
        createLog(file());
        setUpMainView(log, file());
        log.open();
        for (int i = 0; i < 4; ++i)
            appendFlight(
                log, QDate(2026, 3, 5 + i), QStringLiteral("9:05"), 60 + i, QStringLiteral("Genève"));
        log.first();
        log.next();
        log.remove(); // the second flight is deleted
    }

    // A table of the given fields, each row a list of texts set in order.
    fs::path writeSource(
        const char* name, const std::vector<FieldDef>& fields, const std::vector<std::vector<QString>>& rows)
    {
        DbfTable t;
        t.setPath(file(name));
        t.create(fields);
        t.open();
        for (const auto& row : rows) {
            t.append();
            for (std::size_t i = 0; i < row.size(); ++i)
                t.setText(static_cast<int>(i), row[i]);
            t.post();
        }
        t.close();
        return file(name);
    }

    // What the log shows, one "date|time|minutes|comment" a row.
    std::vector<std::string> rows()
    {
        std::vector<std::string> out;
        for (log.first(); !log.eof(); log.next())
            out.push_back(QStringLiteral("%1|%2|%3|%4")
                              .arg(log.date(kTakeoffDate).toString(Qt::ISODate), log.text(kTakeoffTime))
                              .arg(log.isNull(kFlightTime) ? QStringLiteral("-")
                                                           : QString::number(log.integer(kFlightTime)))
                              .arg(log.text(kComment))
                              .toStdString());
        return out;
    }

    std::vector<std::string> directory() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(file().parent_path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    DbfTable log;
    DbfTable source;
};

const std::vector<std::string> kFlights
    = { "2026-03-05|9:05|60|Genève", "2026-03-07|9:05|62|Genève", "2026-03-08|9:05|63|Genève" };

TEST_F(MaintenanceTest, ABackupIsTheTableAfterTheCloseAndRestoresToTheSameRows)
{
    writeBytes(file("old.dbf"), "an older backup");
    BackupLog(log, file("old.dbf"));
    ASSERT_TRUE(log.isOpen());
    const std::string closed = readBytes(file());
    EXPECT_EQ(readBytes(file("old.dbf")), closed);
    EXPECT_EQ(le32(closed, 4), 4u); // the header counts the deleted row too

    appendFlight(log, QDate(2026, 4, 1), QStringLiteral("10:00"), 5);
    for (int twice = 0; twice < 2; ++twice) {
        RestoreLog(log, source, file("old.dbf"));
        EXPECT_TRUE(log.isOpen());
        EXPECT_FALSE(source.isOpen());
        EXPECT_EQ(rows(), kFlights) << "restore " << twice;
    }
    // Each restore kept the log it replaced; the newest is the one the second replaced.
    const std::vector<fs::path> copies = SafetyCopies(file());
    ASSERT_EQ(copies.size(), 2u);
    EXPECT_EQ(readBytes(copies.back()).size(), 321u + 3 * 127 + 1);
    EXPECT_EQ(directory().size(), 4u);
}

TEST_F(MaintenanceTest, ColumnsAreMatchedByPositionAndWhatDoesNotFitRefusesTheWholeRestore)
{
    const std::vector<FieldDef> three = { { QStringLiteral("WHEN"), FieldType::Date, 8 },
        { QStringLiteral("AT"), FieldType::Text, 5 }, { QStringLiteral("MINUTES"), FieldType::Integer, 9 } };
    std::vector<FieldDef> eleven = logTableFields();
    eleven.push_back({ QStringLiteral("EXTRA1"), FieldType::Text, 10 });
    eleven.push_back({ QStringLiteral("EXTRA2"), FieldType::Integer, 9 });
    std::vector<FieldDef> textual = three;
    textual[0].type = FieldType::Text;
    textual[0].width = 10;
    textual[1].width = 10;
    writeBytes(file("notes.txt"), "flights\r\n");

    struct Case {
        const char* name;
        fs::path from;
        std::vector<std::string> rows; // empty: refused
        std::string message; // the start of the refusal after the path
    };
    const Case cases[] = {
        { "three columns", writeSource("three.dbf", three, { { "20260310", "7:30", "45" }, { "", "", "" } }),
            { "2026-03-10|7:30|45|", "||-|" }, {} },
        { "eleven columns",
            writeSource("eleven.dbf", eleven,
                { { "20260311", "8:00", "50", "", "", "", "", "AB12", "note", "ignored", "7" } }),
            { "2026-03-11|8:00|50|note" }, {} },
        { "no visible row", writeSource("empty.dbf", three, {}), {}, {} },
        { "a date written as text", writeSource("textual.dbf", textual, { { "2026-03-12", "9:00", "1" } }),
            { "2026-03-12|9:00|1|" }, {} },
        { "a text too long",
            writeSource("long.dbf", textual, { { "20260312", "9:00", "1" }, { "", "10:45:00", "" } }), {},
            "row 2, field TAKEOFFT: '10:45:00' does not fit" },
        { "text where a date stands", writeSource("nodate.dbf", textual, { { "yesterday", "9:00", "1" } }),
            {}, "row 1, field TAKEOFFD: 'yesterday' is not a valid date" },
        { "a missing file", file("missing.dbf"), {}, "Cannot open file" },
        { "a text file", file("notes.txt"), {}, "Not a table file" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string before = readBytes(file());
        const std::vector<std::string> rowsBefore = rows();
        for (const fs::path& copy : SafetyCopies(file()))
            fs::remove(copy);
        try {
            RestoreLog(log, source, c.from);
            EXPECT_TRUE(c.message.empty());
            EXPECT_EQ(rows(), c.rows);
            ASSERT_EQ(SafetyCopies(file()).size(), 1u);
            DbfTable kept;
            kept.setPath(SafetyCopies(file()).front());
            kept.open(DbfTable::Access::ReadOnly);
            EXPECT_EQ(visibleMinutes(kept).size(), rowsBefore.size());
        } catch (const DbfError& error) {
            const std::string prefix = "Cannot restore from " + c.from.string() + ": ";
            EXPECT_EQ(std::string(error.what()).rfind(prefix + c.message, 0), 0u) << error.what();
            EXPECT_FALSE(c.message.empty());
            EXPECT_EQ(readBytes(file()), before);
            EXPECT_TRUE(SafetyCopies(file()).empty());
        }
        EXPECT_TRUE(log.isOpen());
        // Nothing half-written stays behind.
        for (const std::string& name : directory())
            EXPECT_NE(name.front(), '.') << name;
        // The next case starts from the flights again.
        RestoreLog(log, source, writeSource("again.dbf", logTableFields(), { { "20260305", "9:05", "60" } }));
    }
}

TEST_F(MaintenanceTest, WipeLeavesAnEmptyLogAndKeepsTheOldOne)
{
    log.close();
    const std::string before = readBytes(file());
    log.open();
    WipeLog(log);
    EXPECT_TRUE(log.isOpen());
    EXPECT_TRUE(log.isEmpty());
    const std::string wiped = readBytes(file());
    ASSERT_EQ(wiped.size(), 322u);
    EXPECT_EQ(wiped.substr(32, 8), std::string("TAKEOFFD"));
    ASSERT_EQ(SafetyCopies(file()).size(), 1u);
    EXPECT_EQ(readBytes(SafetyCopies(file()).back()), before);
}

TEST_F(MaintenanceTest, AFailedBackupSaysWhyAndReopensTheLog)
{
    try {
        BackupLog(log, file("missing") / "backup.dbf");
        ADD_FAILURE() << "no error";
    } catch (const FileError& error) {
        EXPECT_STREQ(error.what(), "File not found");
    }
    EXPECT_TRUE(log.isOpen());
    EXPECT_EQ(rows(), kFlights);
}

TEST_F(MaintenanceTest, TheTableIsRecognisedHoweverItIsNamed)
{
    const fs::path dir = file().parent_path();
    fs::create_directory(dir / "sub");
    fs::create_symlink(file(), dir / "link.dbf");
    const std::pair<fs::path, bool> cases[] = {
        { file(), true },
        { dir / "cvlog.DBF", true },
        { dir / "." / "CVLog.dbf", true },
        { dir / "sub" / ".." / "CVLog.dbf", true },
        { dir / "link.dbf", true },
        { dir / "CVLog.bak", false },
        { dir / "sub" / "CVLog.dbf", false },
    };
    for (const auto& [chosen, same] : cases)
        EXPECT_EQ(IsTheTableFile(chosen, file()), same) << chosen;
}

// The header's date changes with every closing; the rest is the log.
std::string withoutDate(std::string bytes)
{
    if (bytes.size() >= 4)
        bytes.replace(1, 3, "   ");
    return bytes;
}

// The probe runs a command and is killed at one of its steps; whatever the
// step, the table is the old log or the complete new one.
TEST_F(MaintenanceTest, AKillAtAnyStepLeavesTheOldLogOrTheWholeNewOne)
{
    for (int i = 0; i < 40; ++i)
        appendFlight(log, QDate(2026, 5, 1), QStringLiteral("9:05"), i);
    log.close();
    const std::string old = readBytes(file());
    writeSource(
        "source.dbf", logTableFields(), { { "20260310", "7:30", "45" }, { "20260311", "8:30", "50" } });
    const std::string backupBefore = "an older backup";

    struct Case {
        const char* command;
        MaintenanceStep step;
        int count;
    };
    const Case cases[] = {
        { "restore", MaintenanceStep::RowCopied, 1 },
        { "restore", MaintenanceStep::NewLogWritten, 1 },
        { "restore", MaintenanceStep::OldLogKept, 1 },
        { "restore", MaintenanceStep::LogReplaced, 1 },
        { "wipe", MaintenanceStep::NewLogWritten, 1 },
        { "wipe", MaintenanceStep::OldLogKept, 1 },
        { "wipe", MaintenanceStep::LogReplaced, 1 },
        { "backup", MaintenanceStep::CopyWritten, 1 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.command) + " " + std::to_string(static_cast<int>(c.step)));
        writeBytes(file(), old);
        writeBytes(file("backup.dbf"), backupBefore);
        const fs::path other = std::string(c.command) == "backup" ? file("backup.dbf") : file("source.dbf");
        QProcess probe;
        probe.start(QStringLiteral(MAINTENANCE_PROBE),
            { QString::fromLatin1(c.command), QString::fromStdString(file().string()),
                QString::fromStdString(other.string()), QString::number(static_cast<int>(c.step)),
                QString::number(c.count) });
        ASSERT_TRUE(probe.waitForFinished(30000));
        EXPECT_EQ(probe.exitStatus(), QProcess::CrashExit) << probe.readAllStandardError().toStdString();

        const std::string now = readBytes(file());
        const bool replaced = c.step == MaintenanceStep::LogReplaced;
        if (std::string(c.command) == "backup") {
            EXPECT_EQ(readBytes(file("backup.dbf")).size(), old.size());
        } else if (!replaced) {
            EXPECT_EQ(withoutDate(now), withoutDate(old));
        } else {
            DbfTable after;
            setUpMainView(after, file());
            after.open(DbfTable::Access::ReadOnly);
            const std::vector<int> expected
                = std::string(c.command) == "wipe" ? std::vector<int> {} : std::vector<int> { 45, 50 };
            EXPECT_EQ(visibleMinutes(after), expected);
            ASSERT_FALSE(SafetyCopies(file()).empty());
            EXPECT_EQ(readBytes(SafetyCopies(file()).back()).size(), old.size());
        }
        // A temporary file a crash left behind never stands for the table,
        // and the next start clears it away.
        for (const std::string& name : directory())
            EXPECT_TRUE(name.front() == '.' || name.find(".dbf") != std::string::npos
                || name.rfind("CVLog-", 0) == 0)
                << name;
        RemoveLeftoverTemporaries(file().parent_path());
        for (const std::string& name : directory())
            EXPECT_NE(name.front(), '.') << name;
    }
}

} // namespace
} // namespace cvlog::testing
