#pragma once
// The Database menu's work on the log table file as a whole: wipe, backup
// and restore (compact is the table's own). None of them can lose the log:
// a new log is written completely beside the table and flushed before it
// takes the table's name, the log it replaces is kept as a safety copy
// "CVLog-YYYYMMDD-HHMMSS.bak" beside the table (the one just made and the
// four newest others are kept),
// and a restore reads its whole source before it touches the log. After any
// of them, failed or not, the main view is open again.

#include "logstore/dbf_table.h"

#include <QDateTime>

#include <filesystem>
#include <functional>
#include <vector>

namespace cvlog
{

inline constexpr int kSafetyCopiesKept = 5;

// Where a command stands; tests end the process there.
enum class MaintenanceStep {
    RowCopied, // one more row of a restore is in the new log
    NewLogWritten, // the new log is complete beside the table
    OldLogKept, // a safety copy holds the log about to be replaced
    LogReplaced, // the new log has the table's name
    CopyWritten, // a backup is complete under its name
};
using MaintenanceHook = std::function<void(MaintenanceStep)>;

// Whether a chosen path names the file, or the place where it would stand:
// the same path in lower case, the same file by another route (a link, a
// hard link, "./", ".."), or the same place once links are followed.
bool namesTheSameFile(const std::filesystem::path& chosen, const std::filesystem::path& file);

// Whether a chosen file is the table file: the same path in lower case, or
// the same file reached another way (a link, "./", "..").
bool isTheTableFile(const std::filesystem::path& chosen, const std::filesystem::path& table);

// Whether writing the chosen file would replace one of the log's own files:
// the table, its lock file, its settings or a safety copy, by whatever path
// (a link, a hard link, "..", another case) it is reached.
bool isTheLogsOwnFile(const std::filesystem::path& chosen, const std::filesystem::path& table);

// The safety copies beside the table, oldest first.
std::vector<std::filesystem::path> safetyCopies(const std::filesystem::path& table);

// A byte copy that appears under its name only when complete; an earlier
// file of that name stays as it was until then. FileError on failure.
void copyWholeFile(const std::filesystem::path& from, const std::filesystem::path& to);

// Replaces the log with an empty one of the same fields (names in
// capitals), keeping the old one as a safety copy.
void wipeLog(DbfTable& mainView, const MaintenanceHook& hook = {});

// Closes the main view (which writes the header) and copies the table file.
void backupLog(DbfTable& mainView, const std::filesystem::path& target, const MaintenanceHook& hook = {});

// Replaces the log's rows with the visible rows of another table, column by
// column in the log's own field order; the source's columns past the log's
// are ignored and the log's fields past the source's stay empty. The source
// is opened read-only in the given view. A source that is not a plain file
// or is damaged (rows of the wrong length, rows missing from its end, a row
// flag other than " " and "*"), or a value that does not fit its field,
// refuses the whole restore with "Cannot restore from <path>: ..." and
// leaves the log as it was.
void restoreLog(DbfTable& mainView, DbfTable& source, const std::filesystem::path& from,
    const MaintenanceHook& hook = {});

} // namespace cvlog
