#pragma once
// What was done to the log during this run, step by step, to be undone and
// redone.
//
// A step is a set of rows with their bytes before and after it: a posted
// edit of a row, a delete, a row added in the grid, or many rows appended
// together (a download, an import). Undo writes the rows' bytes before the
// step back, redo their bytes after it, each in one write-back of the table
// (DbfTable::rewriteRows), so the file is a valid log after every step and a
// kill loses at most the step being written. A step whose rows no longer
// hold the bytes it left (something changed them since) is refused with the
// reason and changes nothing. The history hears of posts and deletes from
// the table itself; rows appended together are told by whoever appended
// them (recordAppends).

#include "logstore/dbf_table.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

namespace cvlog
{

class LogHistory
{
public:
    // How a row is named in the texts ("flight 05/03/2026 9:05").
    using RowNamer = std::function<QString(const DbfRecord&)>;

    LogHistory(DbfTable& table, RowNamer namer);
    ~LogHistory();
    LogHistory(const LogHistory&) = delete;
    LogHistory& operator=(const LogHistory&) = delete;

    // The rows just appended as one step, "download" or "import": "Undo
    // download of 12 flights". Undoing it marks them deleted.
    void recordAppends(const QString& what, std::vector<std::uint32_t> recordNumbers);
    // Forgets every step: the file was replaced (wiped, compacted, restored).
    void clear();

    bool canUndo() const;
    bool canRedo() const;
    // "Undo delete of flight 05/03/2026 9:05"; empty when there is nothing.
    QString undoText() const;
    QString redoText() const;

    // Undoes or redoes the last step. An edit in progress is ended first (a
    // changed row becomes the step undone). Returns why the step was
    // refused, with nothing changed, or an empty text when it was done.
    QString undo();
    QString redo();

    // Called whenever a step comes or goes (the menu follows).
    void setChangeListener(std::function<void()> listener);

private:
    struct RowChange {
        std::uint32_t recordNumber = 0;
        std::string before;
        std::string after;
    };
    struct Step {
        QString what; // "delete of flight 05/03/2026 9:05"
        std::vector<RowChange> rows;
    };
    enum class Direction { Back, Forward };

    void rowWritten(const RowWrite& write);
    void push(Step step);
    QString apply(std::vector<Step>& from, std::vector<Step>& to, Direction direction);
    QString whyRefused(const Step& step, Direction direction) const;
    void changed();

    DbfTable& table_;
    RowNamer namer_;
    std::vector<Step> undone_; // redo stack
    std::vector<Step> done_; // undo stack
    std::function<void()> listener_;
};

} // namespace cvlog
