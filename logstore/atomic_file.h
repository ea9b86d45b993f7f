#pragma once
// A file that appears under its name only when it is complete.
//
// The bytes go to a temporary file in the target's folder; commit flushes it
// to disk and renames it over the target. Until then an earlier file of that
// name stays as it was, and a failure or an abandoned write leaves nothing
// behind. Every failure is a FileError in the run-time library's words.
//
// The target is checked before anything is made: an existing file that the
// user may not write, or that is not a plain file (a folder, a device, a
// pipe), is refused as "File access denied", since a rename would replace it
// even so. A target that is a symbolic link is written through: the link
// stays and the file it names gets the new content.

#include "logstore/unique_fd.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace cvlog
{

class AtomicFile
{
public:
    struct Options {
        // The temporary file gets a name beside the target at once, for
        // writers that open it by name (a table being made). Without one it
        // has no name until commit, so a killed program leaves nothing.
        bool named = false;
        // Commit refuses, with EEXIST, to replace a file of the target's name.
        bool replace = true;
    };

    explicit AtomicFile(const std::filesystem::path& target);
    AtomicFile(const std::filesystem::path& target, Options options);
    ~AtomicFile(); // removes the temporary file unless committed
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Large writes are handed to the disk at once, so that it takes each
    // while the next is made and the flush at commit finds little left.
    void write(std::string_view bytes);
    void writeAt(std::uint64_t offset, std::string_view bytes);
    // Appends the rest of an open file, the kernel copying where it can.
    void writeFrom(int sourceDescriptor);
    // Flushes, gives the file the target's permissions (or the usual ones
    // for a new file) and renames it over the target.
    void commit();

    // Only with Options::named.
    const std::filesystem::path& temporaryPath() const { return temporary_; }
    // The file that is replaced: the target with its links followed.
    const std::filesystem::path& target() const { return target_; }

private:
    void makeTemporary();
    void linkUnnamed();
    void place();

    std::filesystem::path target_;
    std::filesystem::path temporary_;
    Options options_;
    UniqueFd fd_;
    std::uint64_t appended_ = 0; // bytes that write() put at the end
    bool committed_ = false;
};

// The file a path names once its symbolic links are followed; the last one
// may name a file that does not exist yet.
std::filesystem::path followLinks(const std::filesystem::path& path);

// Removes the temporary files that a killed writer left in the folder; only
// names of this program's own pattern are touched, and with `of` only those
// of that file's name.
void removeLeftoverTemporaries(const std::filesystem::path& folder, const std::string& of = {});

// Flushes a directory's entries, so that a rename in it survives a crash.
void syncDirectoryOf(const std::filesystem::path& path);

} // namespace cvlog
