#pragma once
// A view on one dBase III table file (no memo, no index).
//
// Rows are addressed by their record number (1-based, file order). A view
// holds a current row, an editing state and a filter switch; every other
// part of the program reaches the file only through these operations.
// Nothing beyond the current row is cached: a row is read from or written
// to the file by its number alone.

#include "logstore/scope_exit.h"

#include <QDate>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace cvlog
{

// A table error; its text is shown to the user as it stands.
class DbfError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

enum class FieldType { Date, Text, Integer };

struct FieldDef {
    QString name; // as stored; a view sees it in capitals
    FieldType type = FieldType::Text;
    int width = 0; // text width; dates are 8 and integers 9 whatever is given
};

// One row's bytes with its fields readable; what the filter predicate and
// the grid's other panels see.
class DbfRecord
{
public:
    DbfRecord() = default;
    DbfRecord(const std::vector<FieldDef>* fields, const std::vector<int>* offsets, const char* bytes,
        std::uint32_t recordNumber);

    std::uint32_t recordNumber() const { return recordNumber_; }
    bool isDeleted() const;
    // The flag byte: a space for a live row, "*" for a deleted one.
    char flag() const { return bytes_ == nullptr ? '\0' : bytes_[0]; }
    bool isNull(int field) const;
    QDate date(int field) const; // invalid QDate when there is none
    QString text(int field) const; // trimmed, converted from CP850
    std::int32_t integer(int field) const; // 0 when null or not a whole number
    // Day count of the date field (days since 30 December 1899), 0 when none.
    std::int32_t dayNumber(int field) const;
    // The field's bytes as stored (untrimmed, CP850); empty for a bad index.
    // Inline: the exports read every field of every row through it.
    std::string_view raw(int field) const
    {
        if (bytes_ == nullptr || field < 0 || static_cast<std::size_t>(field) >= fields_->size())
            return {};
        const auto at = static_cast<std::size_t>(field);
        return { bytes_ + (*offsets_)[at], static_cast<std::size_t>((*fields_)[at].width) };
    }

private:
    const std::vector<FieldDef>* fields_ = nullptr;
    const std::vector<int>* offsets_ = nullptr;
    const char* bytes_ = nullptr;
    std::uint32_t recordNumber_ = 0;
};

// One row written by a post or a delete: its bytes before (empty for a row
// appended) and after.
struct RowWrite {
    std::uint32_t recordNumber = 0;
    std::string before;
    std::string after;
};

// A row's bytes to be written back where it stands (flag byte included).
struct RowBytes {
    std::uint32_t recordNumber = 0;
    std::string bytes;
};

class DbfTable
{
public:
    enum class State { Inactive, Browse, Edit, Insert };
    enum class Access { ReadWrite, ReadOnly };

    // What changed, for the one listener (the grid). Not called while the
    // display is suspended; resuming calls it once with Reloaded if anything
    // changed meanwhile.
    enum class Change { Reloaded, Moved, Values, State };
    using Listener = std::function<void(Change)>;
    using Predicate = std::function<bool(const DbfRecord&)>;

    DbfTable();
    virtual ~DbfTable();
    DbfTable(const DbfTable&) = delete;
    DbfTable& operator=(const DbfTable&) = delete;

    // The file. Matched without regard to case in its directory when opened.
    void setPath(const std::filesystem::path& path);
    std::filesystem::path path() const;

    // Writes a complete table with no rows (the view must be closed).
    void create(const std::vector<FieldDef>& fields);
    // A damaged file (see damage()), or one the user may not write, opens
    // read-only whatever is asked, so that what it holds can still be shown.
    void open(Access access = Access::ReadWrite);
    void close(); // writes the header unless the view is read-only
    bool isOpen() const;
    // Why the open file must never be written ("its rows are 200 bytes long,
    // but its fields take 127"), empty for a sound file.
    const std::string& damage() const;
    // What every change to a view opened for writing is refused with, when
    // it could only be opened for reading (a damaged file, or one the user
    // may not write); empty otherwise.
    const std::string& writeRefusal() const;
    State state() const;

    // Fields.
    int fieldCount() const;
    const FieldDef& field(int index) const; // name in capitals
    // The fields of the file, as read at the last opening or creation; kept
    // after Close so that the table can be created anew with them.
    const std::vector<FieldDef>& fields() const;
    int fieldIndex(const QString& name) const; // -1 when missing
    int fieldIndexOrThrow(const QString& name) const; // "Field '%s' not found"

    // Walking the visible rows.
    void first();
    void last();
    void next();
    void prior();
    bool bof() const;
    bool eof() const;
    bool isEmpty() const; // no visible row
    std::uint32_t recordNumber() const; // of the current row, 0 when none or while adding
    std::uint32_t recordCount() const; // rows in the file, deleted ones included
    // Puts the view on the given row, or the nearest visible one after it,
    // or before it when there is none after.
    void moveToRecord(std::uint32_t recordNumber);

    // Looking at other rows without moving (what the grid shows). 0 = none.
    std::uint32_t nextVisible(std::uint32_t after) const;
    std::uint32_t priorVisible(std::uint32_t before) const;
    // The row's bytes; the returned record is valid until the next call.
    DbfRecord peek(std::uint32_t recordNumber) const;
    // The row's bytes as stored, flag byte first; empty when there is no such row.
    std::string rowBytes(std::uint32_t recordNumber) const;
    // The bytes of count rows from first on, flag bytes included, as the file
    // holds them now: read past every cache, for another program may have
    // written the file since. Fewer rows where the file ends sooner.
    std::string rowsOnDisk(std::uint32_t first, std::uint32_t count) const;
    // The first row in file order whose flag is a space (the filter switch
    // plays no part) that the predicate accepts; 0 when none. The record
    // handed to the predicate is valid only during the call.
    std::uint32_t findLive(const Predicate& predicate) const;
    // The same over every row of the file, deleted ones and rows with any
    // other flag byte included.
    std::uint32_t findAny(const Predicate& predicate) const;
    // While a new row is being added: the row it is shown in front of
    // (0: at the end, as after Append). 0 in the other states.
    std::uint32_t insertPosition() const;

    // The current row (the edit buffer while editing or adding).
    DbfRecord current() const;
    bool isNull(int field) const;
    QDate date(int field) const;
    QString text(int field) const;
    std::int32_t integer(int field) const;

    // Setting values of the current row (Edit or Insert state). A value of
    // another type is converted: a date into an integer field as its day
    // number, text into an integer or date field parsed ("yyyymmdd" or
    // ISO dates), numbers and dates into a text field as their text.
    void setDate(int field, const QDate& value); // invalid date: no date
    void setText(int field, const QString& value);
    void setInteger(int field, std::int64_t value);
    void clear(int field);
    bool isModified() const;

    void append();
    void insert();
    void edit();
    void post();
    void cancel();
    void remove(); // the navigator's Delete: flag "*", row stays in the file

    // Filter.
    void setFilterPredicate(Predicate predicate);
    void setFiltered(bool on);
    bool isFiltered() const;

    // Rows appended from beginAppends() to commitAppends() stand in the file
    // all together or not at all, even when the program is killed between:
    // the file's length before them is kept in a note beside the table until
    // they are on disk, and an opening that finds the note cuts the file back.
    void beginAppends();
    void commitAppends();
    // Takes back the rows appended since beginAppends(); closing the view
    // does the same.
    void discardAppends();

    // Writes rows back where they stand, in place (the file keeps its
    // length): all of them or, when the program is killed meanwhile, none.
    // The rows' bytes before the write are kept in a note beside the table
    // until the new ones are on disk, and an opening that finds the note
    // writes them back. An edit in progress is ended first.
    void rewriteRows(const std::vector<RowBytes>& rows);

    // Called after each row a post or a delete writes, except the rows
    // appended between beginAppends() and commitAppends(): whoever appends
    // them together knows them together.
    void setRowWriteObserver(std::function<void(const RowWrite&)> observer);

    // The file stays locked against copies from its first write until this
    // (see table_lock.h); call it when no change is half-done, often enough
    // that a copy need not wait long.
    void releaseWriteLock();

    // Posts a changed row (drops an unchanged edit), then re-reads the view.
    void refresh();
    // Rewrites the file with only the live rows, in order.
    void compact();

    // Suspending the display while many rows are walked or added.
    void disableControls();
    void enableControls();
    bool controlsDisabled() const;
    void setListener(Listener listener);

    // Reached before a change is handed on: lets the grid hand a changed
    // edit to its field before the view moves, posts or refreshes.
    void setBeforeChange(std::function<void()> hook);

    // The clock that dates the header (tests fix it); the local date by default.
    void setDateSource(std::function<QDate()> today);

protected:
    // Called at every opening with the fields of the file, before a row is
    // read; an exception refuses the file, which then is not opened.
    virtual void bindFields(const std::vector<FieldDef>& fields);
    // The fields a missing or empty file is given when it is opened for
    // writing and the view has read no file before; none by default.
    virtual std::vector<FieldDef> newFileFields() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Appends that stand together: whatever the scope appends is taken back
// unless commit() was reached.
class AppendBatch
{
public:
    explicit AppendBatch(DbfTable& table)
        : table_(table)
    {
        table_.beginAppends();
    }
    ~AppendBatch()
    {
        if (!committed_) {
            try {
                table_.discardAppends();
            } catch (...) {
                // The note beside the table takes the rows back at the next opening.
            }
        }
    }
    AppendBatch(const AppendBatch&) = delete;
    AppendBatch& operator=(const AppendBatch&) = delete;
    void commit()
    {
        table_.commitAppends();
        committed_ = true;
    }

private:
    DbfTable& table_;
    bool committed_ = false;
};

// Suspends a view's display for a scope that walks or adds many rows; the
// display is resumed however the scope ends.
[[nodiscard]] inline auto displaySuspended(DbfTable& table)
{
    table.disableControls();
    return ScopeExit([&table] { table.enableControls(); });
}

// The note of appends in progress beside a table file.
std::filesystem::path appendNoteFor(const std::filesystem::path& table);
// The note of rows being written back beside a table file.
std::filesystem::path rewriteNoteFor(const std::filesystem::path& table);

// What the user is told of a damaged file (DbfTable::damage()), and what
// every change to it is refused with.
std::string damagedFileText(const std::filesystem::path& path, const std::string& damage);

// Where the named field stands among the fields, found without regard to
// case; throws DbfError "Field '%s' not found" when it is missing.
int requiredFieldIndex(const std::vector<FieldDef>& fields, const QString& name);

} // namespace cvlog
