#pragma once
// The table file is read by the commands a script runs beside the window,
// which copy it while the window may write it. A writer locks the file
// (flock, exclusive) at its first write and keeps the lock until it says
// that its changes are whole (DbfTable::releaseWriteLock, on the window's
// timer tick), so a burst of posts costs one lock; a copy holds a shared
// lock, so it never holds a row or a header written in part. Where the
// file system has no such locks, reads and writes go on without them.

#include "logstore/unique_fd.h"

#include <chrono>
#include <filesystem>

namespace cvlog
{

// The writer's lock on its open table: waits while a copy is being made.
// False where the file system has no locks.
bool lockTableForWriting(int fd);
void unlockTable(int fd);

// Held while the table is copied: waits, up to the patience given, until no
// writer holds the file. A table that cannot be opened is not locked (the
// copy then says why), nor one on a file system without locks.
class TableReadLock
{
public:
    TableReadLock(const std::filesystem::path& table, std::chrono::milliseconds patience);
    TableReadLock(const TableReadLock&) = delete;
    TableReadLock& operator=(const TableReadLock&) = delete;

    // A writer kept the file locked for the whole patience.
    bool busy() const { return busy_; }

private:
    UniqueFd fd_;
    bool busy_ = false;
};

} // namespace cvlog
