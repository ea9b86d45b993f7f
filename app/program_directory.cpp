#include "app/program_directory.h"

#include <QFile>

#include <cerrno>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace cvlog
{

namespace
{

// The link's length is not known in advance; grow until it fits.
std::string ownExecutablePath()
{
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            return {};
        if (static_cast<std::size_t>(n) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(n));
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace

QString ProgramDirectory()
{
    std::string exe = ownExecutablePath();
    // Without /proc the files are looked for in the working directory rather than nowhere.
    if (exe.empty())
        exe = (std::filesystem::current_path() / "cvlog").string();
    std::string directory = exe.substr(0, exe.rfind('/') + 1);
    if (directory.empty())
        directory = "./";
    return QFile::decodeName(QByteArray::fromStdString(directory));
}

} // namespace cvlog
