#include "logstore/log_history.h"

#include "logstore/dbf_layout.h"

#include <utility>

namespace cvlog
{

namespace
{

std::string withFlag(std::string bytes, char flag)
{
    if (!bytes.empty())
        bytes[0] = flag;
    return bytes;
}

QString countOfFlights(std::size_t count)
{
    return count == 1 ? QStringLiteral("1 flight") : QStringLiteral("%1 flights").arg(count);
}

} // namespace

LogHistory::LogHistory(DbfTable& table, RowNamer namer)
    : table_(table)
    , namer_(std::move(namer))
{
    table_.setRowWriteObserver([this](const RowWrite& write) { rowWritten(write); });
}

LogHistory::~LogHistory()
{
    table_.setRowWriteObserver(nullptr);
}

void LogHistory::rowWritten(const RowWrite& write)
{
    if (write.before == write.after)
        return; // a posted edit that changed nothing
    const QString name = namer_(table_.peek(write.recordNumber));
    if (write.before.empty()) {
        push({ QStringLiteral("insert of ") + name,
            { { write.recordNumber, withFlag(write.after, kDbfDeletedFlag), write.after } } });
        return;
    }
    const bool deleted = write.before[0] != kDbfDeletedFlag && write.after[0] == kDbfDeletedFlag;
    push({ (deleted ? QStringLiteral("delete of ") : QStringLiteral("edit of ")) + name,
        { { write.recordNumber, write.before, write.after } } });
}

void LogHistory::recordAppends(const QString& what, std::vector<std::uint32_t> recordNumbers)
{
    if (recordNumbers.empty())
        return;
    Step step { what + QStringLiteral(" of ") + countOfFlights(recordNumbers.size()), {} };
    step.rows.reserve(recordNumbers.size());
    for (const std::uint32_t n : recordNumbers) {
        std::string after = table_.rowBytes(n);
        if (after.empty())
            continue;
        step.rows.push_back({ n, withFlag(after, kDbfDeletedFlag), std::move(after) });
    }
    if (!step.rows.empty())
        push(std::move(step));
}

void LogHistory::push(Step step)
{
    done_.push_back(std::move(step));
    undone_.clear();
    changed();
}

void LogHistory::clear()
{
    if (done_.empty() && undone_.empty())
        return;
    done_.clear();
    undone_.clear();
    changed();
}

bool LogHistory::canUndo() const
{
    return !done_.empty();
}
bool LogHistory::canRedo() const
{
    return !undone_.empty();
}

QString LogHistory::undoText() const
{
    return done_.empty() ? QString() : QStringLiteral("Undo ") + done_.back().what;
}

QString LogHistory::redoText() const
{
    return undone_.empty() ? QString() : QStringLiteral("Redo ") + undone_.back().what;
}

QString LogHistory::undo()
{
    return apply(done_, undone_, Direction::Back);
}

QString LogHistory::redo()
{
    return apply(undone_, done_, Direction::Forward);
}

QString LogHistory::apply(std::vector<Step>& from, std::vector<Step>& to, Direction direction)
{
    // A row being edited is posted first, and is then the last step.
    if (table_.state() == DbfTable::State::Edit || table_.state() == DbfTable::State::Insert)
        table_.refresh();
    if (from.empty())
        return {};
    const Step& step = from.back();
    if (QString why = whyRefused(step, direction); !why.isEmpty())
        return why;
    std::vector<RowBytes> rows;
    rows.reserve(step.rows.size());
    for (const RowChange& row : step.rows)
        rows.push_back({ row.recordNumber, direction == Direction::Back ? row.before : row.after });
    table_.rewriteRows(rows);
    to.push_back(std::move(from.back()));
    from.pop_back();
    changed();
    return {};
}

QString LogHistory::whyRefused(const Step& step, Direction direction) const
{
    const QString verb = direction == Direction::Back ? QStringLiteral("undo") : QStringLiteral("redo");
    // The rows as the file holds them now, a run of neighbours at a time: a
    // step of a whole download is read in one go.
    std::string run;
    std::uint32_t runFirst = 0;
    std::uint32_t runCount = 0;
    for (std::size_t i = 0; i < step.rows.size(); ++i) {
        const RowChange& row = step.rows[i];
        const std::string& expected = direction == Direction::Back ? row.after : row.before;
        const std::size_t length = expected.size();
        if (row.recordNumber < runFirst || row.recordNumber >= runFirst + runCount) {
            std::size_t end = i + 1;
            while (
                end < step.rows.size() && step.rows[end].recordNumber == step.rows[end - 1].recordNumber + 1)
                ++end;
            runFirst = row.recordNumber;
            runCount = static_cast<std::uint32_t>(end - i);
            run = table_.rowsOnDisk(runFirst, runCount);
        }
        const std::size_t at = static_cast<std::size_t>(row.recordNumber - runFirst) * length;
        const std::string now = at + length <= run.size() ? run.substr(at, length) : std::string();
        if (now == expected)
            continue;
        QString reason;
        if (now.empty())
            reason = QStringLiteral("is no longer in the log");
        else if (now[0] == kDbfDeletedFlag && expected[0] != kDbfDeletedFlag)
            reason = QStringLiteral("was deleted since");
        else if (now[0] != kDbfDeletedFlag && expected[0] == kDbfDeletedFlag)
            reason = QStringLiteral("was recalled since");
        else
            reason = QStringLiteral("was changed since");
        const QString name = now.empty() ? QStringLiteral("row %1").arg(row.recordNumber)
                                         : namer_(table_.peek(row.recordNumber));
        return QStringLiteral("Cannot %1 the %2: %3 %4. Nothing was changed.")
            .arg(verb, step.what, name, reason);
    }
    return {};
}

void LogHistory::setChangeListener(std::function<void()> listener)
{
    listener_ = std::move(listener);
}

void LogHistory::changed()
{
    if (listener_)
        listener_();
}

} // namespace cvlog
