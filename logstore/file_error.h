#pragma once
// Failures of the files a command writes or copies (exports, reports,
// backups), told to the user in the run-time library's words.

#include <QString>

#include <stdexcept>
#include <string>

namespace cvlog
{

// "File not found", "File access denied", "Disk full", "Too many open
// files", "Invalid filename", or "I/O error %d" with the system's number.
std::string runTimeErrorText(int error);

// The error text as shown, in the error box or on a command's stderr: a "."
// is added when the text ends in a character above "." in code order.
QString errorText(const QString& message);

class FileError : public std::runtime_error
{
public:
    explicit FileError(int error)
        : std::runtime_error(runTimeErrorText(error))
        , error_(error)
    {
    }
    int error() const { return error_; }

private:
    int error_;
};

} // namespace cvlog
