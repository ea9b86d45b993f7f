#include "settings/ini_file.h"

#include "logstore/atomic_file.h"
#include "logstore/file_error.h"
#include "logstore/unique_fd.h"

#include <QByteArray>

#include <cerrno>
#include <string>
#include <unistd.h>
#include <vector>

namespace cvlog
{

namespace
{

enum class ReadResult { Ok, Missing, Failed };

ReadResult readWholeFile(const std::filesystem::path& path, QByteArray& content)
{
    content.clear();
    UniqueFd fd;
    try {
        fd = openPlainFileForReading(path);
    } catch (const FileError& error) {
        return error.error() == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    }
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

// The new content appears under the file's name only when it is whole and
// on disk, so a crash leaves the old file or the new one, never a mixture.
bool replaceFileAtomically(const std::filesystem::path& path, const QByteArray& content)
{
    try {
        AtomicFile file(path);
        file.write(std::string_view(content.constData(), static_cast<std::size_t>(content.size())));
        file.commit();
        return true;
    } catch (const FileError&) {
        return false;
    }
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

// The content with the key's value set: an existing key keeps its line,
// a new one goes at the end of its section, a new section at the end.
QByteArray withEntry(
    const QByteArray& content, const QString& section, const QString& key, const QString& value)
{
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
    return updated;
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
    writeStrings(section, { { key, value } });
}

void IniFile::writeStrings(const QString& section, const std::vector<std::pair<QString, QString>>& entries)
{
    for (const auto& [key, value] : entries) {
        if (breaksLines(section) || breaksLines(key) || breaksLines(value) || section.contains(u']')
            || key.contains(u'=') || key.trimmed().isEmpty())
            throw std::invalid_argument(
                "Invalid settings entry " + section.toStdString() + "/" + key.toStdString());
    }

    const IniWriteError failure("Unable to write to " + std::filesystem::absolute(m_path).string());
    QByteArray content;
    if (readWholeFile(m_path, content) == ReadResult::Failed)
        throw failure;
    for (const auto& [key, value] : entries)
        content = withEntry(content, section, key, value);
    if (!replaceFileAtomically(m_path, content))
        throw failure;
}

} // namespace cvlog
