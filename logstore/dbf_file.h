#pragma once
// The table file's descriptor: whole-buffer positioned reads and writes.
// Failures are DbfErrors: opening and reading with the system's text, writing
// and flushing in the run-time library's words ("Disk full"), as the user
// meets them at a post.

#include "logstore/unique_fd.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace cvlog
{

class DbfFile
{
public:
    enum class Mode { ReadOnly, ReadWrite, CreateTruncate, CreateExclusive };

    DbfFile() = default;
    DbfFile(const std::filesystem::path& path, Mode mode);

    bool isOpen() const { return fd_.valid(); }
    std::uint64_t size() const;
    // Reads up to length bytes; fewer only at the end of the file.
    std::size_t readAt(std::uint64_t offset, void* buffer, std::size_t length) const;
    void writeAt(std::uint64_t offset, const void* buffer, std::size_t length);
    // Cuts the file back to a length, after a write that failed half-way.
    void truncate(std::uint64_t length);
    void sync();
    // A write locks the file until this (see table_lock.h).
    void releaseWriteLock();
    void close();

private:
    [[noreturn]] void fail(const char* what) const;
    [[noreturn]] void failWrite(int error) const;
    void holdWriteLock();
    UniqueFd fd_;
    bool writeLocked_ = false;
    std::string path_;
};

} // namespace cvlog
