#include "logstore/file_faults.h"

namespace cvlog
{

namespace
{

FileFaultHook& hook()
{
    static FileFaultHook instance;
    return instance;
}

} // namespace

void setFileFaultHook(FileFaultHook newHook)
{
    hook() = std::move(newHook);
}

int injectedFileFault(FileStep step, const std::filesystem::path& file)
{
    return hook() ? hook()(step, file) : 0;
}

} // namespace cvlog
