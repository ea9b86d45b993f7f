// Wipe, backup and restore never lose the log: each keeps the old log whole
// until the new one is complete, refuses what it cannot read before it
// touches anything, and leaves the main view open.

#include "logstore/atomic_file.h"
#include "logstore/file_error.h"
#include "logstore/file_faults.h"
#include "logstore/log_maintenance.h"
#include "table_test_support.h"

#include <QProcess>

#include <algorithm>
#include <csignal>
#include <functional>
#include <sys/stat.h>
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

    FlightLog log;
    DbfTable source;
};

const std::vector<std::string> kFlights
    = { "2026-03-05|9:05|60|Genève", "2026-03-07|9:05|62|Genève", "2026-03-08|9:05|63|Genève" };

TEST_F(MaintenanceTest, ABackupIsTheTableAfterTheCloseAndRestoresToTheSameRows)
{
    writeBytes(file("old.dbf"), "an older backup");
    backupLog(log, file("old.dbf"));
    ASSERT_TRUE(log.isOpen());
    const std::string closed = readBytes(file());
    EXPECT_EQ(readBytes(file("old.dbf")), closed);
    EXPECT_EQ(le32(closed, 4), 4u); // the header counts the deleted row too

    appendFlight(log, QDate(2026, 4, 1), QStringLiteral("10:00"), 5);
    for (int twice = 0; twice < 2; ++twice) {
        restoreLog(log, source, file("old.dbf"));
        EXPECT_TRUE(log.isOpen());
        EXPECT_FALSE(source.isOpen());
        EXPECT_EQ(rows(), kFlights) << "restore " << twice;
    }
    // Each restore kept the log it replaced; the newest is the one the second replaced.
    const std::vector<fs::path> copies = safetyCopies(file());
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
    // Damaged copies of a sound two-row source.
    const std::string sound = readBytes(writeSource(
        "sound.dbf", logTableFields(), { { "20260310", "7:30", "45" }, { "20260311", "8:00", "50" } }));
    auto damaged = [&](const char* name, const std::function<void(std::string&)>& damage) {
        std::string bytes = sound;
        damage(bytes);
        writeBytes(file(name), bytes);
        return file(name);
    };
    const fs::path longRows
        = damaged("long-rows.dbf", [](std::string& b) { b[10] = static_cast<char>(128); });
    const fs::path oddFlag = damaged("odd-flag.dbf", [](std::string& b) { b[321 + 127] = 'X'; });
    const fs::path cut = damaged("cut.dbf", [](std::string& b) { b.resize(b.size() - 100); });
    ASSERT_EQ(::mkfifo(file("pipe.dbf").c_str(), 0600), 0);

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
        { "rows longer than their fields", longRows, {},
            "its rows are 128 bytes long, but its fields take 127" },
        { "a flag neither live nor deleted", oddFlag, {},
            "row 2 is marked neither live nor deleted (flag byte 0x58)" },
        { "rows missing from its end", cut, {}, "its header counts 2 rows, but the file holds only 1" },
        { "a pipe, refused before it is opened", file("pipe.dbf"), {}, "it is not a regular file" },
        { "a folder", file("."), {}, "it is not a regular file" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string before = readBytes(file());
        const std::vector<std::string> rowsBefore = rows();
        for (const fs::path& copy : safetyCopies(file()))
            fs::remove(copy);
        try {
            restoreLog(log, source, c.from);
            EXPECT_TRUE(c.message.empty());
            EXPECT_EQ(rows(), c.rows);
            ASSERT_EQ(safetyCopies(file()).size(), 1u);
            FlightLog kept;
            kept.setPath(safetyCopies(file()).front());
            kept.open(DbfTable::Access::ReadOnly);
            EXPECT_EQ(visibleMinutes(kept).size(), rowsBefore.size());
        } catch (const DbfError& error) {
            const std::string prefix = "Cannot restore from " + c.from.string() + ": ";
            EXPECT_EQ(std::string(error.what()).rfind(prefix + c.message, 0), 0u) << error.what();
            EXPECT_FALSE(c.message.empty());
            EXPECT_EQ(readBytes(file()), before);
            EXPECT_TRUE(safetyCopies(file()).empty());
        }
        EXPECT_TRUE(log.isOpen());
        // Nothing half-written stays behind.
        for (const std::string& name : directory())
            EXPECT_NE(name.front(), '.') << name;
        // The next case starts from the flights again.
        restoreLog(log, source, writeSource("again.dbf", logTableFields(), { { "20260305", "9:05", "60" } }));
    }
}

TEST_F(MaintenanceTest, WipeLeavesAnEmptyLogAndKeepsTheOldOne)
{
    log.close();
    const std::string before = readBytes(file());
    log.open();
    wipeLog(log);
    EXPECT_TRUE(log.isOpen());
    EXPECT_TRUE(log.isEmpty());
    const std::string wiped = readBytes(file());
    ASSERT_EQ(wiped.size(), 322u);
    EXPECT_EQ(wiped.substr(32, 8), std::string("TAKEOFFD"));
    ASSERT_EQ(safetyCopies(file()).size(), 1u);
    EXPECT_EQ(readBytes(safetyCopies(file()).back()), before);
}

TEST_F(MaintenanceTest, AFailedBackupSaysWhyAndReopensTheLog)
{
    try {
        backupLog(log, file("missing") / "backup.dbf");
        ADD_FAILURE() << "no error";
    } catch (const FileError& error) {
        EXPECT_STREQ(error.what(), "File not found");
    }
    EXPECT_TRUE(log.isOpen());
    EXPECT_EQ(rows(), kFlights);
}

TEST_F(MaintenanceTest, TheLogsOwnFilesAreRecognisedHoweverTheyAreNamed)
{
    const fs::path dir = file().parent_path();
    fs::create_directory(dir / "sub");
    fs::create_symlink(file(), dir / "link.dbf");
    writeBytes(dir / "CVLOG1.lock", "");
    wipeLog(log);
    const fs::path copy = safetyCopies(file()).at(0);
    fs::create_hard_link(file(), dir / "sub" / "hard.dbf");
    fs::create_symlink(copy, dir / "sub" / "copy-link.bak");
    fs::create_symlink("../CVLog-20991231-235959.bak", dir / "sub" / "later.txt");
    struct Case {
        fs::path chosen;
        bool table; // isTheTableFile
        bool own; // isTheLogsOwnFile
    };
    const Case cases[] = {
        { file(), true, true },
        { dir / "cvlog.DBF", true, true },
        { dir / "." / "CVLog.dbf", true, true },
        { dir / "sub" / ".." / "CVLog.dbf", true, true },
        { dir / "link.dbf", true, true },
        { dir / "sub" / "hard.dbf", true, true },
        { dir / "CVLOG1.lock", false, true },
        { dir / "cvlog.ini", false, true },
        { dir / "sub" / "later.txt", false, true }, // a link to a copy not made yet
        { dir / "sub" / ".." / "cvlog1.LOCK", false, true },
        { copy, false, true },
        { dir / "sub" / "copy-link.bak", false, true },
        { dir / "CVLog-20991231-235959.bak", false, true }, // a copy a later command makes
        { dir / "cvlog-20991231-235959-3.BAK", false, true },
        { dir / "CVLog.bak", false, false },
        { dir / "CVLog-2099.bak", false, false },
        { dir / "sub" / "CVLog.dbf", false, false },
        { dir / "sub" / "CVLog-20991231-235959.bak", false, false },
        { dir / "flights.txt", false, false },
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isTheTableFile(c.chosen, file()), c.table) << c.chosen;
        EXPECT_EQ(isTheLogsOwnFile(c.chosen, file()), c.own) << c.chosen;
    }
}

// Every wipe keeps the log it replaces under a name of its own; a file of
// the user's is never replaced, and only the newest five copies stay.
TEST_F(MaintenanceTest, SafetyCopiesNeverReplaceAFileAndTheNewestFiveStay)
{
    writeBytes(file("CVLog.bak"), "a backup of the user's own");
    const fs::path taken = file().parent_path()
        / ("CVLog-" + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")) + ".bak")
              .toStdString();
    writeBytes(taken, "a file that has the name already");
    std::vector<std::string> wiped;
    for (int i = 0; i < 6; ++i) {
        appendFlight(log, QDate(2026, 6, 1 + i), QStringLiteral("10:00"), i);
        log.close();
        wiped.push_back(readBytes(file()));
        log.open();
        wipeLog(log);
        EXPECT_EQ(readBytes(safetyCopies(file()).back()), wiped.back()) << "wipe " << i;
        if (i == 0) {
            EXPECT_EQ(readBytes(taken), "a file that has the name already");
        }
    }
    EXPECT_EQ(readBytes(file("CVLog.bak")), "a backup of the user's own");
    const std::vector<fs::path> copies = safetyCopies(file());
    ASSERT_EQ(copies.size(), 5u);
    for (std::size_t i = 0; i < copies.size(); ++i)
        EXPECT_EQ(readBytes(copies[i]), wiped[i + 1]) << copies[i];

    // A clock set back: every copy there looks newer than the one made now,
    // which stays all the same.
    for (int i = 1; i <= 5; ++i)
        writeBytes(file(("CVLog-20991231-23595" + std::to_string(i) + ".bak").c_str()), "from the future");
    log.close();
    const std::string last = readBytes(file());
    log.open();
    wipeLog(log);
    const std::vector<fs::path> after = safetyCopies(file());
    ASSERT_EQ(after.size(), 5u);
    EXPECT_EQ(
        std::count_if(after.begin(), after.end(), [&](const fs::path& c) { return readBytes(c) == last; }),
        1);
}

// A log kept elsewhere and linked in stays linked: each command replaces the
// file the link names.
TEST_F(MaintenanceTest, ALinkedLogStaysALinkThroughCompactWipeAndRestore)
{
    log.close();
    fs::create_directory(file("synced"));
    fs::rename(file(), file("synced") / "CVLog.dbf");
    fs::create_symlink("synced/CVLog.dbf", file());
    log.open();
    writeSource("source.dbf", logTableFields(), { { "20260310", "7:30", "45" } });

    const std::pair<const char*, std::function<void()>> commands[] = {
        { "compact", [&] { log.compact(); } },
        { "restore", [&] { restoreLog(log, source, file("source.dbf")); } },
        { "wipe", [&] { wipeLog(log); } },
    };
    const std::vector<int> after[] = { { 60, 62, 63 }, { 45 }, {} };
    for (std::size_t i = 0; i < std::size(commands); ++i) {
        SCOPED_TRACE(commands[i].first);
        commands[i].second();
        EXPECT_TRUE(fs::is_symlink(file()));
        EXPECT_EQ(fs::read_symlink(file()), "synced/CVLog.dbf");
        EXPECT_EQ(visibleMinutes(log), after[i]);
        log.close();
        FlightLog linked;
        setUpMainView(linked, file("synced") / "CVLog.dbf");
        linked.open(DbfTable::Access::ReadOnly);
        EXPECT_EQ(visibleMinutes(linked), after[i]);
        log.open();
    }
    // The copies stand beside the link, where the user finds the log.
    EXPECT_EQ(safetyCopies(file()).size(), 2u);
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
            FlightLog after;
            setUpMainView(after, file());
            after.open(DbfTable::Access::ReadOnly);
            const std::vector<int> expected
                = std::string(c.command) == "wipe" ? std::vector<int> {} : std::vector<int> { 45, 50 };
            EXPECT_EQ(visibleMinutes(after), expected);
            ASSERT_FALSE(safetyCopies(file()).empty());
            EXPECT_EQ(readBytes(safetyCopies(file()).back()).size(), old.size());
        }
        // A temporary file a crash left behind never stands for the table,
        // and the next start clears it away.
        for (const std::string& name : directory())
            EXPECT_TRUE(
                name.front() == '.' || name.find(".dbf") != std::string::npos || name.rfind("CVLog-", 0) == 0)
                << name;
        removeLeftoverTemporaries(file().parent_path());
        for (const std::string& name : directory())
            EXPECT_NE(name.front(), '.') << name;
    }
}

// The rows of one download reach the log together: a kill at any write,
// flush or note of the append leaves, after the next opening, the old rows
// or all of the new ones, and no note.
TEST_F(MaintenanceTest, AKillDuringAnAppendLeavesTheOldRowsOrAllTheNewOnes)
{
    log.close();
    const std::string old = readBytes(file());
    const std::vector<int> oldRows = { 60, 62, 63 };
    const std::vector<int> allRows = { 60, 62, 63, 100, 101, 102, 103, 104 };
    int kills = 0;
    for (const FileStep step : { FileStep::Create, FileStep::Write, FileStep::Flush }) {
        for (int count = 1;; ++count) {
            SCOPED_TRACE(std::to_string(static_cast<int>(step)) + " #" + std::to_string(count));
            writeBytes(file(), old);
            QProcess probe;
            probe.start(QStringLiteral(MAINTENANCE_PROBE),
                { QStringLiteral("append"), QString::fromStdString(file().string()), QStringLiteral("5"),
                    QString::number(static_cast<int>(step)), QString::number(count) });
            ASSERT_TRUE(probe.waitForFinished(30000));
            const bool killed = probe.exitStatus() == QProcess::CrashExit;
            FlightLog after;
            setUpMainView(after, file());
            after.open();
            const std::vector<int> rows = visibleMinutes(after);
            after.close();
            EXPECT_FALSE(fs::exists(appendNoteFor(file())));
            if (!killed) {
                EXPECT_EQ(rows, allRows);
                break;
            }
            ++kills;
            EXPECT_TRUE(rows == oldRows || rows == allRows) << rows.size();
            if (rows == oldRows) {
                EXPECT_EQ(withoutDate(readBytes(file())), withoutDate(old)) << "the file as it was";
            }
        }
    }
    EXPECT_GE(kills, 8); // the note, its flush, five rows and their flush
}

} // namespace
} // namespace cvlog::testing
