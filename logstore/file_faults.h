#pragma once
// Where the program's file writes can be made to fail on purpose.
//
// A full disk, a quota or a failing device may end any write, flush or
// rename; every writer of the program asks here just before each such step,
// so a test can make exactly that step fail and check that nothing was lost.
// Without a hook nothing ever fails here.

#include <filesystem>
#include <functional>

namespace cvlog
{

enum class FileStep {
    Create, // a new or temporary file is made
    Write, // bytes go into a file
    Flush, // a file's bytes are forced to disk
    Rename, // a finished file takes its name
};

// Returns the error number the step fails with, or 0 to let it happen.
using FileFaultHook = std::function<int(FileStep step, const std::filesystem::path& file)>;

// Tests only; an empty hook ends the failures.
void setFileFaultHook(FileFaultHook hook);

// The error number the hook chooses for this step, 0 normally.
int injectedFileFault(FileStep step, const std::filesystem::path& file);

} // namespace cvlog
