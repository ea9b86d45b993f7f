#include "logstore/log_maintenance.h"

#include "logstore/atomic_file.h"
#include "logstore/cp850.h"
#include "logstore/file_error.h"
#include "logstore/file_names.h"
#include "logstore/scope_exit.h"

#include <QString>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace cvlog
{

namespace fs = std::filesystem;

namespace
{

constexpr std::size_t kCopyChunk = 1 << 20;

void tell(const MaintenanceHook& hook, MaintenanceStep step)
{
    if (hook)
        hook(step);
}

// Opens the main view again however the command ends. When the command
// failed, its error is the one to report, not a second one from reopening.
class ReopenAfterwards
{
public:
    explicit ReopenAfterwards(DbfTable& view)
        : view_(view)
        , failures_(std::uncaught_exceptions())
    {
    }
    ~ReopenAfterwards() noexcept(false)
    {
        if (view_.isOpen())
            return;
        if (std::uncaught_exceptions() > failures_) {
            try {
                view_.open();
            } catch (const std::exception&) {
            }
            return;
        }
        view_.open();
    }
    ReopenAfterwards(const ReopenAfterwards&) = delete;
    ReopenAfterwards& operator=(const ReopenAfterwards&) = delete;

private:
    DbfTable& view_;
    int failures_;
};

class FileDescriptor
{
public:
    FileDescriptor(const fs::path& path, int flags)
    {
        do
            fd_ = ::open(path.c_str(), flags | O_CLOEXEC);
        while (fd_ < 0 && errno == EINTR);
        if (fd_ < 0)
            throw FileError(errno);
    }
    ~FileDescriptor() { ::close(fd_); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_ = -1;
};

// The fields a new log is made with: those the main view read at its last
// opening, names in capitals; the log's own nine if it never opened.
std::vector<FieldDef> fieldsForNewLog(const DbfTable& mainView)
{
    std::vector<FieldDef> fields = mainView.fields().empty() ? logTableFields() : mainView.fields();
    for (FieldDef& f : fields)
        f.name = f.name.toUpper();
    return fields;
}

fs::path tableFile(const DbfTable& mainView)
{
    return FindIgnoringCase(mainView.path());
}

fs::path replacedLogFile(const fs::path& table)
{
    return FindIgnoringCase(table.parent_path() / kReplacedLogFileName);
}

// Swaps the new log in: the main view is closed, the old log kept as
// CVLog.bak, and the new one renamed over the table.
void replaceLog(DbfTable& mainView, AtomicFile& newLog, const MaintenanceHook& hook)
{
    const ReopenAfterwards reopen(mainView);
    mainView.close();
    const fs::path table = tableFile(mainView);
    std::error_code ec;
    if (fs::exists(table, ec)) {
        CopyWholeFile(table, replacedLogFile(table));
        tell(hook, MaintenanceStep::OldLogKept);
    }
    newLog.commit();
    tell(hook, MaintenanceStep::LogReplaced);
}

std::string restoreError(const fs::path& from, const std::string& reason)
{
    return "Cannot restore from " + from.string() + ": " + reason;
}

[[noreturn]] void tooLong(const QString& text, int width)
{
    throw DbfError(QStringLiteral("'%1' does not fit the field (at most %2 characters)")
                       .arg(text)
                       .arg(width)
                       .toStdString());
}

void setRestoredText(DbfTable& log, int field, const QString& text)
{
    const FieldDef& f = log.field(field);
    if (f.type == FieldType::Text && static_cast<int>(StringToCp850(text).size()) > f.width)
        tooLong(text, f.width);
    log.setText(field, text);
}

// One column's value, as its type reads it; a null value stays null.
void copyValue(const DbfRecord& row, int from, const FieldDef& type, DbfTable& log, int to)
{
    if (row.isNull(from)) {
        log.clear(to);
        return;
    }
    switch (type.type) {
    case FieldType::Date: {
        const QDate date = row.date(from);
        if (log.field(to).type == FieldType::Text)
            setRestoredText(log, to, date.isValid() ? date.toString(u"yyyyMMdd") : QString());
        else
            log.setDate(to, date);
        return;
    }
    case FieldType::Integer:
        if (log.field(to).type == FieldType::Text)
            setRestoredText(log, to, QString::number(row.integer(from)));
        else
            log.setInteger(to, row.integer(from));
        return;
    case FieldType::Text:
        setRestoredText(log, to, row.text(from));
        return;
    }
}

} // namespace

bool IsTheTableFile(const fs::path& chosen, const fs::path& table)
{
    if (QString::fromStdString(chosen.string()).toLower() == QString::fromStdString(table.string()).toLower())
        return true;
    std::error_code ec;
    if (fs::equivalent(chosen, FindIgnoringCase(table), ec))
        return true;
    // A file that is not there yet may still name the table's place.
    const fs::path a = fs::weakly_canonical(chosen, ec);
    const fs::path b = fs::weakly_canonical(table, ec);
    return !a.empty()
        && QString::fromStdString(a.string()).toLower() == QString::fromStdString(b.string()).toLower();
}

void CopyWholeFile(const fs::path& from, const fs::path& to)
{
    const FileDescriptor in(from, O_RDONLY);
    AtomicFile out(to);
    // The kernel copies without the bytes passing through here; where it
    // cannot, a plain read and write loop does.
    bool inKernel = true;
    std::vector<char> buffer;
    for (;;) {
        if (inKernel) {
            const ssize_t n = ::copy_file_range(in.get(), nullptr, out.descriptor(), nullptr, kCopyChunk, 0);
            if (n > 0)
                continue;
            if (n == 0)
                break;
            if (errno == EINTR)
                continue;
            if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP)
                throw FileError(errno);
            inKernel = false;
            buffer.resize(kCopyChunk);
        }
        const ssize_t n = ::read(in.get(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw FileError(errno);
        if (n == 0)
            break;
        out.write(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
    }
    out.commit();
}

void WipeLog(DbfTable& mainView, const MaintenanceHook& hook)
{
    AtomicFile newLog(tableFile(mainView));
    {
        DbfTable fresh;
        fresh.setPath(newLog.temporaryPath());
        fresh.create(fieldsForNewLog(mainView));
    }
    tell(hook, MaintenanceStep::NewLogWritten);
    replaceLog(mainView, newLog, hook);
}

void BackupLog(DbfTable& mainView, const fs::path& target, const MaintenanceHook& hook)
{
    const ReopenAfterwards reopen(mainView);
    mainView.close();
    CopyWholeFile(tableFile(mainView), target);
    tell(hook, MaintenanceStep::CopyWritten);
}

void RestoreLog(DbfTable& mainView, DbfTable& source, const fs::path& from, const MaintenanceHook& hook)
{
    source.close();
    source.setPath(from);
    source.setRequiredFields({});
    try {
        source.open(DbfTable::Access::ReadOnly);
    } catch (const std::exception& error) {
        throw DbfError(restoreError(from, error.what()));
    }
    const ScopeExit closeSource([&source] { source.close(); });

    AtomicFile newLog(tableFile(mainView));
    {
        DbfTable log;
        log.setPath(newLog.temporaryPath());
        log.create(fieldsForNewLog(mainView));
        log.open();
        const int columns = std::min(source.fieldCount(), log.fieldCount());
        for (source.first(); !source.eof(); source.next()) {
            const DbfRecord row = source.current();
            log.append();
            for (int i = 0; i < columns; ++i) {
                try {
                    copyValue(row, i, source.field(i), log, i);
                } catch (const DbfError& error) {
                    throw DbfError(restoreError(from,
                        "row " + std::to_string(row.recordNumber()) + ", field "
                            + log.field(i).name.toStdString() + ": " + error.what()));
                }
            }
            log.post();
            tell(hook, MaintenanceStep::RowCopied);
        }
        log.close();
    }
    tell(hook, MaintenanceStep::NewLogWritten);
    replaceLog(mainView, newLog, hook);
}

} // namespace cvlog
