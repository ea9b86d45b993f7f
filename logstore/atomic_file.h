#pragma once
// A file that appears under its name only when it is complete.
//
// The bytes go to a temporary file beside the target; commit flushes it to
// disk and renames it over the target. Until then an earlier file of that
// name stays as it was, and a failure or an abandoned write leaves nothing
// behind. Every failure is a FileError in the run-time library's words.

#include <cstddef>
#include <filesystem>
#include <string_view>

namespace cvlog
{

class AtomicFile
{
public:
    explicit AtomicFile(std::filesystem::path target);
    ~AtomicFile(); // removes the temporary file unless committed
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    void write(std::string_view bytes);
    // Flushes, gives the file the target's permissions (or the usual ones
    // for a new file) and renames it over the target.
    void commit();

    // For writers that open the file by name themselves (a table being made).
    const std::filesystem::path& temporaryPath() const { return temporary_; }
    // For copies the kernel makes straight into the file.
    int descriptor() const { return fd_; }
    const std::filesystem::path& target() const { return target_; }

private:
    std::filesystem::path target_;
    std::filesystem::path temporary_;
    int fd_ = -1;
    bool committed_ = false;
};

// Flushes a directory's entries, so that a rename in it survives a crash.
void SyncDirectoryOf(const std::filesystem::path& path);

} // namespace cvlog
