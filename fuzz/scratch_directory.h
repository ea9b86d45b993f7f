#pragma once
// A directory of the fuzz target's own for the files it writes, in memory
// where the machine has /dev/shm (a compact or an export syncs its file to
// disk), removed when the run ends.

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace cvlog::fuzz
{

class ScratchDirectory
{
public:
    explicit ScratchDirectory(const std::string& prefix)
    {
        std::error_code ec;
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
            ? std::filesystem::path("/dev/shm")
            : std::filesystem::temp_directory_path();
        std::string pattern = (base / (prefix + ".XXXXXX")).string();
        if (::mkdtemp(pattern.data()) == nullptr)
            std::abort();
        path_ = pattern;
    }
    ~ScratchDirectory()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

} // namespace cvlog::fuzz
