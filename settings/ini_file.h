#pragma once
// Our own INI reader and writer, keeping the rules of the profile functions
// that CVLog.ini was designed around: sections and keys matched without
// regard to case, a value is the text after "=", and every line the program
// does not use (comments, blank lines, foreign sections and keys, CRLF or LF
// line ends) is left as it was, byte for byte.
//
// Nothing is cached: every read opens the file afresh, and every write
// rewrites the whole file through a temporary file beside it, fsync and
// rename(), so a crash never leaves a half-written settings file.

#include <QString>

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

namespace cvlog
{

class IniWriteError : public std::runtime_error
{
public:
    using runtime_error::runtime_error;
};

class IniFile
{
public:
    // The longest value text that a read returns, as with the profile functions.
    static constexpr qsizetype kMaxValueLength = 2047;

    explicit IniFile(std::filesystem::path path);

    // The value of the first matching key in the first matching section, or
    // nothing when the file, the section or the key is missing. Blanks around
    // the value and one pair of enclosing quotes are dropped.
    std::optional<QString> readString(const QString& section, const QString& key) const;

    // Creates the file and the section when missing; an existing key keeps
    // its line and only the text after "=" changes. Throws IniWriteError
    // ("Unable to write to " + full path) when the file cannot be written,
    // and std::invalid_argument for names or values that would break the
    // line structure (line breaks, "=" in a key, "]" in a section).
    void writeString(const QString& section, const QString& key, const QString& value);
    // Several keys of one section in one rewrite: all of them or none.
    void writeStrings(const QString& section, const std::vector<std::pair<QString, QString>>& entries);

    const std::filesystem::path& path() const;

private:
    std::filesystem::path m_path;
};

} // namespace cvlog
