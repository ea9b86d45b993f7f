#include "logstore/file_names.h"

#include <QString>

#include <algorithm>
#include <vector>

namespace cvlog
{

namespace fs = std::filesystem;

namespace
{

bool sameNameIgnoringCase(const fs::path& a, const fs::path& b)
{
    return QString::fromStdString(a.string()).compare(QString::fromStdString(b.string()), Qt::CaseInsensitive)
        == 0;
}

} // namespace

fs::path findIgnoringCase(const fs::path& path)
{
    std::error_code ec;
    if (path.empty() || fs::exists(path, ec))
        return path;
    const fs::path dir = path.has_parent_path() ? path.parent_path() : fs::path(".");
    std::vector<fs::path> matches;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (sameNameIgnoringCase(it->path().filename(), path.filename()))
            matches.push_back(it->path().filename());
    }
    if (matches.empty())
        return path;
    std::sort(matches.begin(), matches.end());
    return path.has_parent_path() ? path.parent_path() / matches.front() : matches.front();
}

} // namespace cvlog
