#include "logstore/log_maintenance.h"

#include "logstore/atomic_file.h"
#include "logstore/cp850.h"
#include "logstore/file_error.h"
#include "logstore/file_faults.h"
#include "logstore/file_names.h"
#include "logstore/flight_log.h"
#include "logstore/scope_exit.h"
#include "logstore/unique_fd.h"

#include <QRegularExpression>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace cvlog
{

namespace fs = std::filesystem;

namespace
{

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

fs::path folderOf(const fs::path& path)
{
    return path.has_parent_path() ? path.parent_path() : fs::path(".");
}

QString lowerCase(const fs::path& path)
{
    return QString::fromStdString(path.string()).toLower();
}

} // namespace

bool namesTheSameFile(const fs::path& chosen, const fs::path& file)
{
    if (lowerCase(chosen) == lowerCase(file))
        return true;
    std::error_code ec;
    if (fs::equivalent(chosen, file, ec))
        return true;
    const fs::path a = fs::weakly_canonical(chosen, ec);
    if (ec)
        return false;
    const fs::path b = fs::weakly_canonical(file, ec);
    return !ec && lowerCase(a) == lowerCase(b);
}

namespace
{

// "CVLog-20261208-101500.bak", and "-2", "-3" ... before ".bak" for a second
// copy within the same second.
const QRegularExpression& safetyCopyName()
{
    static const QRegularExpression pattern(QStringLiteral("^CVLog-(\\d{8})-(\\d{6})(?:-(\\d{1,6}))?\\.bak$"),
        QRegularExpression::CaseInsensitiveOption);
    return pattern;
}

using CopyOrder = std::tuple<QString, QString, int>;

CopyOrder safetyCopyOrder(const QRegularExpressionMatch& match)
{
    return { match.captured(1), match.captured(2),
        match.captured(3).isEmpty() ? 1 : match.captured(3).toInt() };
}

fs::path safetyCopyPath(const fs::path& folder, const QDateTime& now, int sequence)
{
    QString name = QStringLiteral("CVLog-") + now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    if (sequence > 1)
        name += QStringLiteral("-%1").arg(sequence);
    return folder / (name + QStringLiteral(".bak")).toStdString();
}

bool isSparedError(int error)
{
    // A file system that has no hard links, or none across these folders.
    return error == EXDEV || error == EPERM || error == EMLINK || error == EOPNOTSUPP;
}

// Keeps the log that is about to be replaced under a new name beside the
// table; never replaces a file. A hard link costs no copy and no space.
fs::path keepSafetyCopy(const fs::path& table)
{
    const fs::path folder = folderOf(table);
    const fs::path old = followLinks(table);
    const QDateTime now = QDateTime::currentDateTime();
    // After the copies of this second, even where older ones were pruned,
    // so that the order of the names stays the order of the copies.
    int sequence = 1;
    const QString stamp = now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    for (const fs::path& copy : safetyCopies(table)) {
        const auto match = safetyCopyName().match(QString::fromStdString(copy.filename().string()));
        const auto [date, time, number] = safetyCopyOrder(match);
        if (date + u'-' + time == stamp)
            sequence = std::max(sequence, number + 1);
    }
    for (;; ++sequence) {
        const fs::path copy = safetyCopyPath(folder, now, sequence);
        std::error_code ec;
        if (fs::exists(findIgnoringCase(copy), ec) || fs::is_symlink(copy, ec))
            continue;
        if (const int error = injectedFileFault(FileStep::Create, copy))
            throw FileError(error);
        if (::link(old.c_str(), copy.c_str()) == 0)
            return copy;
        if (errno == EEXIST)
            continue;
        if (!isSparedError(errno))
            throw FileError(errno);
        try {
            const UniqueFd in = openPlainFileForReading(old);
            AtomicFile out(copy, { .named = false, .replace = false });
            out.writeFrom(in.get());
            out.commit();
            return copy;
        } catch (const FileError& error) {
            if (error.error() != EEXIST)
                throw;
        }
    }
}

// Keeps the newest copies. The one just made always stays, whatever its
// name says of its age: a clock set back makes older copies look newer.
void pruneSafetyCopies(const fs::path& table, const fs::path& made)
{
    std::vector<fs::path> copies = safetyCopies(table);
    std::erase(copies, made);
    const auto others = static_cast<std::size_t>(kSafetyCopiesKept - 1);
    const std::size_t surplus = copies.size() > others ? copies.size() - others : 0;
    for (std::size_t i = 0; i < surplus; ++i) {
        std::error_code ec;
        fs::remove(copies[i], ec);
    }
}

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
    return findIgnoringCase(mainView.path());
}

// Swaps the new log in: the main view is closed, the old log kept as a
// safety copy, and the new one renamed over the table (over the file it
// names, when the table is a symbolic link).
void replaceLog(DbfTable& mainView, AtomicFile& newLog, const MaintenanceHook& hook)
{
    const ReopenAfterwards reopen(mainView);
    mainView.close();
    const fs::path table = tableFile(mainView);
    fs::path copy;
    std::error_code ec;
    if (fs::exists(table, ec)) {
        copy = keepSafetyCopy(table);
        tell(hook, MaintenanceStep::OldLogKept);
    }
    try {
        newLog.commit();
    } catch (...) {
        // The log was not replaced: a copy of it would only be in the way.
        if (!copy.empty())
            fs::remove(copy, ec);
        throw;
    }
    tell(hook, MaintenanceStep::LogReplaced);
    if (!copy.empty())
        pruneSafetyCopies(table, copy);
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
    if (f.type == FieldType::Text && static_cast<int>(stringToCp850(text).size()) > f.width)
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

// Opens the source and refuses it, before the log is touched, when it is
// not a plain file or not whole.
void openSource(DbfTable& source, const fs::path& from)
{
    struct stat st {
    };
    if (::stat(from.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        throw DbfError(restoreError(from, "it is not a regular file"));
    source.close();
    source.setPath(from);
    try {
        source.open(DbfTable::Access::ReadOnly);
    } catch (const std::exception& error) {
        throw DbfError(restoreError(from, error.what()));
    }
    if (!source.damage().empty()) {
        const std::string damage = source.damage();
        source.close();
        throw DbfError(restoreError(from, damage));
    }
    const std::uint32_t odd
        = source.findAny([](const DbfRecord& row) { return row.flag() != ' ' && row.flag() != '*'; });
    if (odd != 0) {
        char flag[8];
        std::snprintf(flag, sizeof flag, "0x%02X", static_cast<unsigned char>(source.peek(odd).flag()));
        source.close();
        throw DbfError(restoreError(from,
            "row " + std::to_string(odd) + " is marked neither live nor deleted (flag byte " + flag + ")"));
    }
}

} // namespace

bool isTheTableFile(const fs::path& chosen, const fs::path& table)
{
    return namesTheSameFile(chosen, table) || namesTheSameFile(chosen, findIgnoringCase(table));
}

bool isTheLogsOwnFile(const fs::path& chosen, const fs::path& table)
{
    const fs::path folder = folderOf(table);
    for (const char* name : { kLockFileName, kSettingsFileName }) {
        if (isTheTableFile(chosen, folder / name))
            return true;
    }
    if (isTheTableFile(chosen, table))
        return true;
    for (const fs::path& copy : safetyCopies(table)) {
        if (namesTheSameFile(chosen, copy))
            return true;
    }
    // A safety copy that a later command would make under that name, named
    // directly or by a link that points there.
    for (const fs::path& named : { chosen, followLinks(chosen) }) {
        if (safetyCopyName().match(QString::fromStdString(named.filename().string())).hasMatch()
            && namesTheSameFile(folderOf(named), folder))
            return true;
    }
    return false;
}

std::vector<fs::path> safetyCopies(const fs::path& table)
{
    std::vector<std::pair<CopyOrder, fs::path>> found;
    std::error_code ec;
    for (fs::directory_iterator it(folderOf(table), ec), end; !ec && it != end; it.increment(ec)) {
        const auto match = safetyCopyName().match(QString::fromStdString(it->path().filename().string()));
        std::error_code typeError;
        if (match.hasMatch() && it->is_regular_file(typeError))
            found.emplace_back(safetyCopyOrder(match), it->path());
    }
    std::sort(found.begin(), found.end());
    std::vector<fs::path> copies;
    for (auto& [order, path] : found)
        copies.push_back(std::move(path));
    return copies;
}

void copyWholeFile(const fs::path& from, const fs::path& to)
{
    const UniqueFd in = openPlainFileForReading(from);
    AtomicFile out(to);
    out.writeFrom(in.get());
    out.commit();
}

void wipeLog(DbfTable& mainView, const MaintenanceHook& hook)
{
    AtomicFile newLog(tableFile(mainView), { .named = true });
    {
        DbfTable fresh;
        fresh.setPath(newLog.temporaryPath());
        fresh.create(fieldsForNewLog(mainView));
    }
    tell(hook, MaintenanceStep::NewLogWritten);
    replaceLog(mainView, newLog, hook);
}

void backupLog(DbfTable& mainView, const fs::path& target, const MaintenanceHook& hook)
{
    const ReopenAfterwards reopen(mainView);
    mainView.close();
    copyWholeFile(tableFile(mainView), target);
    tell(hook, MaintenanceStep::CopyWritten);
}

void restoreLog(DbfTable& mainView, DbfTable& source, const fs::path& from, const MaintenanceHook& hook)
{
    openSource(source, from);
    const ScopeExit closeSource([&source] { source.close(); });

    AtomicFile newLog(tableFile(mainView), { .named = true });
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
