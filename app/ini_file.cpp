#include "app/ini_file.h"

#include <QByteArray>

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace cvlog
{

namespace
{

constexpr mode_t kNewFileMode = 0644;

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd)
        : m_fd(fd)
    {
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { reset(); }

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Closing is checked by the writer: a failed close can mean lost data.
    bool reset()
    {
        if (m_fd < 0)
            return true;
        const bool ok = ::close(m_fd) == 0;
        m_fd = -1;
        return ok;
    }

private:
    int m_fd;
};

enum class ReadResult { Ok, Missing, Failed };

ReadResult readWholeFile(const std::filesystem::path& path, QByteArray& content)
{
    content.clear();
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid())
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    struct stat info = {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return ReadResult::Failed;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return ReadResult::Failed;
        if (n == 0)
            return ReadResult::Ok;
        content.append(buffer, n);
    }
}

bool writeAll(int fd, const QByteArray& bytes)
{
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

// The new content goes to a temporary file in the same directory and is
// renamed over the old one only after it is on disk, so that a crash leaves
// either the old file or the new one, never a mixture.
bool replaceFileAtomically(const std::filesystem::path& path, const QByteArray& content)
{
    std::error_code ec;
    std::filesystem::path target = path;
    // A settings file reached through a symbolic link stays a link.
    if (std::filesystem::is_symlink(path, ec)) {
        const auto resolved = std::filesystem::canonical(path, ec);
        if (!ec)
            target = resolved;
    }

    mode_t mode = kNewFileMode;
    struct stat info = {};
    if (::stat(target.c_str(), &info) == 0) {
        // rename() would happily replace a read-only file; it must stay unwritten.
        if (!S_ISREG(info.st_mode) || ::access(target.c_str(), W_OK) != 0)
            return false;
        mode = info.st_mode & 07777;
    }

    std::string pattern = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    FileDescriptor fd(::mkostemp(pattern.data(), O_CLOEXEC));
    if (!fd.valid())
        return false;
    const std::filesystem::path temporary = pattern;
    const bool written
        = ::fchmod(fd.get(), mode) == 0 && writeAll(fd.get(), content) && ::fsync(fd.get()) == 0;
    const bool closed = fd.reset();
    if (!written || !closed || ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    // Make the rename itself durable; failing here loses nothing already written.
    FileDescriptor directory(::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.valid())
        ::fsync(directory.get());
    return true;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

QByteArray trimmed(QByteArrayView bytes)
{
    qsizetype begin = 0;
    qsizetype end = bytes.size();
    while (begin < end && isBlank(bytes[begin]))
        ++begin;
    while (end > begin && isBlank(bytes[end - 1]))
        --end;
    return bytes.sliced(begin, end - begin).toByteArray();
}

bool sameName(const QByteArray& bytes, const QString& name)
{
    return QString::fromUtf8(bytes).compare(name, Qt::CaseInsensitive) == 0;
}

// One line of the file: [begin, end) is its text without the line end,
// next is where the following line begins.
struct Line {
    qsizetype begin = 0;
    qsizetype end = 0;
    qsizetype next = 0;
};

class IniText
{
public:
    explicit IniText(const QByteArray& content)
        : m_content(content)
    {
        qsizetype pos = 0;
        while (pos < content.size()) {
            const qsizetype newline = content.indexOf('\n', pos);
            Line line;
            line.begin = pos;
            line.next = newline < 0 ? content.size() : newline + 1;
            line.end = newline < 0 ? content.size() : newline;
            if (line.end > line.begin && content[line.end - 1] == '\r')
                --line.end;
            m_lines.push_back(line);
            pos = line.next;
        }
    }

    const std::vector<Line>& lines() const { return m_lines; }

    QByteArrayView text(const Line& line) const
    {
        return QByteArrayView(m_content).sliced(line.begin, line.end - line.begin);
    }

    // The name of a section header line ("[name]"), or nothing.
    std::optional<QByteArray> sectionName(const Line& line) const
    {
        const QByteArray t = trimmed(text(line));
        if (!t.startsWith('['))
            return std::nullopt;
        const qsizetype close = t.indexOf(']');
        return trimmed(QByteArrayView(t).sliced(1, (close < 0 ? t.size() : close) - 1));
    }

    // Offset of the "=" of a key line, or -1 for comments and other lines.
    qsizetype equalsSign(const Line& line) const
    {
        const QByteArray t = trimmed(text(line));
        if (t.isEmpty() || t.startsWith(';') || t.startsWith('#') || t.startsWith('['))
            return -1;
        const qsizetype at = text(line).indexOf('=');
        return at < 0 ? -1 : line.begin + at;
    }

    QByteArray keyName(const Line& line, qsizetype equals) const
    {
        return trimmed(QByteArrayView(m_content).sliced(line.begin, equals - line.begin));
    }

    // Index of the header line of the first matching section, or -1.
    qsizetype findSection(const QString& section) const
    {
        for (std::size_t i = 0; i < m_lines.size(); ++i) {
            const auto name = sectionName(m_lines[i]);
            if (name && sameName(*name, section))
                return static_cast<qsizetype>(i);
        }
        return -1;
    }

    // Index one past the last line of the section whose header is at index header.
    std::size_t sectionEnd(qsizetype header) const
    {
        std::size_t i = static_cast<std::size_t>(header) + 1;
        while (i < m_lines.size() && !sectionName(m_lines[i]))
            ++i;
        return i;
    }

    QByteArray lineEnding() const
    {
        const qsizetype newline = m_content.indexOf('\n');
        return newline > 0 && m_content[newline - 1] == '\r' ? QByteArray("\r\n") : QByteArray("\n");
    }

private:
    const QByteArray& m_content;
    std::vector<Line> m_lines;
};

bool breaksLines(const QString& text)
{
    return text.contains(u'\n') || text.contains(u'\r');
}

} // namespace

IniFile::IniFile(std::filesystem::path path)
    : m_path(std::move(path))
{
}

const std::filesystem::path& IniFile::path() const
{
    return m_path;
}

std::optional<QString> IniFile::readString(const QString& section, const QString& key) const
{
    QByteArray content;
    if (readWholeFile(m_path, content) != ReadResult::Ok)
        return std::nullopt;
    const IniText ini(content);
    const qsizetype header = ini.findSection(section);
    if (header < 0)
        return std::nullopt;
    const std::size_t end = ini.sectionEnd(header);
    for (std::size_t i = static_cast<std::size_t>(header) + 1; i < end; ++i) {
        const Line& line = ini.lines()[i];
        const qsizetype equals = ini.equalsSign(line);
        if (equals < 0 || !sameName(ini.keyName(line, equals), key))
            continue;
        QByteArray value = trimmed(QByteArrayView(content).sliced(equals + 1, line.end - equals - 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'')
            && value.back() == value.front())
            value = value.sliced(1, value.size() - 2);
        return QString::fromUtf8(value).left(kMaxValueLength);
    }
    return std::nullopt;
}

void IniFile::writeString(const QString& section, const QString& key, const QString& value)
{
    if (breaksLines(section) || breaksLines(key) || breaksLines(value) || section.contains(u']')
        || key.contains(u'=') || key.trimmed().isEmpty())
        throw std::invalid_argument(
            "Invalid settings entry " + section.toStdString() + "/" + key.toStdString());

    const IniWriteError failure("Unable to write to " + std::filesystem::absolute(m_path).string());
    QByteArray content;
    if (readWholeFile(m_path, content) == ReadResult::Failed)
        throw failure;

    const IniText ini(content);
    const QByteArray eol = ini.lineEnding();
    const QByteArray entry = key.toUtf8() + '=' + value.toUtf8();
    QByteArray updated;

    const qsizetype header = ini.findSection(section);
    if (header < 0) {
        updated = content;
        if (!updated.isEmpty() && !updated.endsWith('\n'))
            updated += eol;
        updated += '[' + section.toUtf8() + ']' + eol + entry + eol;
    } else {
        const std::size_t end = ini.sectionEnd(header);
        std::size_t lastFilled = static_cast<std::size_t>(header);
        bool replaced = false;
        for (std::size_t i = static_cast<std::size_t>(header) + 1; i < end && !replaced; ++i) {
            const Line& line = ini.lines()[i];
            if (!trimmed(ini.text(line)).isEmpty())
                lastFilled = i;
            const qsizetype equals = ini.equalsSign(line);
            if (equals < 0 || !sameName(ini.keyName(line, equals), key))
                continue;
            updated = content.first(equals + 1) + value.toUtf8() + content.sliced(line.end);
            replaced = true;
        }
        if (!replaced) {
            // A new key goes after the last filled line of its section, so the
            // blank lines that separate sections stay where they are.
            const Line& after = ini.lines()[lastFilled];
            const bool hasEnd = after.next > after.end;
            updated = content.first(after.next) + (hasEnd ? QByteArray() : eol) + entry + eol
                + content.sliced(after.next);
        }
    }
    if (!replaceFileAtomically(m_path, updated))
        throw failure;
}

} // namespace cvlog
