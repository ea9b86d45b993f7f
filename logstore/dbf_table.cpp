#include "logstore/dbf_table.h"

#include "logstore/atomic_file.h"
#include "logstore/conversions.h"
#include "logstore/cp850.h"
#include "logstore/dbf_file.h"
#include "logstore/dbf_layout.h"
#include "logstore/dbf_row_cache.h"
#include "logstore/file_error.h"
#include "logstore/file_names.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>
#include <unistd.h>

namespace cvlog
{

namespace fs = std::filesystem;

namespace
{

// A walk reads this much per system call; a look-up for the grid less.
constexpr std::size_t kWalkChunkBytes = 512 * 1024;
constexpr std::size_t kLookChunkBytes = 16 * 1024;
constexpr std::size_t kScanChunkBytes = 256 * 1024;

const char* const kNotEditing = "Dataset not in edit or insert mode";
const char* const kClosed = "Cannot perform this operation on a closed dataset";
const char* const kOpen = "Cannot perform this operation on an open dataset";
const char* const kReadOnly = "Cannot modify a read-only dataset";
const char* const kEmpty = "Cannot perform this operation on an empty dataset";

// The note of appends in progress: where the rows ended, and the bytes
// there in hexadecimal (what the first new row covers).
void writeAppendNote(const fs::path& note, std::uint64_t from, const std::string& covered)
{
    std::string text = std::to_string(from) + ' ';
    static const char kHex[] = "0123456789abcdef";
    for (const char c : covered) {
        text += kHex[static_cast<unsigned char>(c) >> 4];
        text += kHex[static_cast<unsigned char>(c) & 0xF];
    }
    text += '\n';
    DbfFile out(note, DbfFile::Mode::CreateTruncate);
    out.writeAt(0, text.data(), text.size());
    out.sync();
    out.close();
    syncDirectoryOf(note);
}

// What a note says; nothing when there is no note or it cannot be read.
std::optional<std::pair<std::uint64_t, std::string>> readAppendNote(const fs::path& note)
{
    std::ifstream in(note, std::ios::binary);
    std::uint64_t from = 0;
    std::string hex;
    if (!(in >> from))
        return std::nullopt;
    in >> hex;
    std::string covered;
    auto nibble = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        covered += static_cast<char>(nibble(hex[i]) << 4 | nibble(hex[i + 1]));
    return std::pair(from, covered);
}

// Takes back rows appended after `from`: the file is cut there and the
// bytes the first of them covered (the end-of-file byte) are put back.
void cutBackTo(DbfFile& file, std::uint64_t from, const std::string& covered)
{
    file.truncate(from);
    if (!covered.empty())
        file.writeAt(from, covered.data(), covered.size());
    file.sync();
}

bool mayWriteFolderOf(const fs::path& note)
{
    const fs::path folder = note.has_parent_path() ? note.parent_path() : fs::path(".");
    return ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

void removeNote(const fs::path& note)
{
    std::error_code ec;
    if (fs::remove(note, ec))
        syncDirectoryOf(note);
}

// Writes the rows in runs of neighbours, one write for each run.
void writeRowRuns(DbfFile& file, const DbfLayout& layout, const std::vector<RowBytes>& rows)
{
    std::string run;
    std::uint32_t first = 0;
    std::uint32_t next = 0;
    auto flush = [&] {
        if (!run.empty())
            file.writeAt(layout.rowOffset(first), run.data(), run.size());
        run.clear();
    };
    for (const RowBytes& row : rows) {
        if (run.empty() || row.recordNumber != next) {
            flush();
            first = row.recordNumber;
        }
        run += row.bytes;
        next = row.recordNumber + 1;
    }
    flush();
}

// The note of rows being written back: each row's record number, its bytes
// before the write and after it, between a magic word and an end mark. A
// note cut short was never acted on: the rows are written only once it is
// complete on disk.
constexpr std::string_view kRewriteMagic = "CVLOGRW2";
constexpr std::string_view kRewriteEnd = "END.";

void putNumber(std::string& out, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>(value >> (8 * i) & 0xFF);
}

std::uint32_t getNumber(const char* at)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(at[i]);
    return value;
}

// `before` and `after` hold the same rows in the same order.
void writeRewriteNote(const fs::path& note, std::uint32_t rowLength, const std::vector<RowBytes>& before,
    const std::vector<RowBytes>& after)
{
    std::string text(kRewriteMagic);
    text.reserve(text.size() + 8 + before.size() * (4 + 2 * std::size_t { rowLength }) + kRewriteEnd.size());
    putNumber(text, rowLength);
    putNumber(text, static_cast<std::uint32_t>(before.size()));
    for (std::size_t i = 0; i < before.size(); ++i) {
        putNumber(text, before[i].recordNumber);
        text += before[i].bytes;
        text += after[i].bytes;
    }
    text += kRewriteEnd;
    DbfFile out(note, DbfFile::Mode::CreateTruncate);
    out.writeAt(0, text.data(), text.size());
    out.sync();
    out.close();
    syncDirectoryOf(note);
}

// Puts back the rows of a write-back that a killed program left unfinished.
// Only a file whose noted rows each hold their bytes before or after the
// write is the one the note was made for; any other (a note cut short, a
// file replaced since) is left alone, and the note goes either way.
void finishRewriteNote(const fs::path& note, DbfFile& file, const DbfLayout& layout)
{
    std::ifstream in(note, std::ios::binary);
    if (!in)
        return;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    const std::size_t head = kRewriteMagic.size() + 8;
    const std::size_t width = layout.rowLength;
    const std::uint32_t count = text.size() < head ? 0 : getNumber(text.data() + kRewriteMagic.size() + 4);
    const bool whole = text.size() == head + count * (4 + 2 * width) + kRewriteEnd.size()
        && text.starts_with(kRewriteMagic) && text.ends_with(kRewriteEnd)
        && getNumber(text.data() + kRewriteMagic.size()) == layout.rowLength;
    std::vector<RowBytes> before;
    const std::uint32_t rows = layout.rowCountFor(file.size());
    std::string now(width, '\0');
    for (std::uint32_t i = 0; whole && i < count; ++i) {
        const char* at = text.data() + head + i * (4 + 2 * width);
        const std::uint32_t n = getNumber(at);
        const std::string_view old(at + 4, width);
        const std::string_view written(at + 4 + width, width);
        if (n < 1 || n > rows || file.readAt(layout.rowOffset(n), now.data(), width) != width
            || (now != old && now != written)) {
            before.clear();
            break;
        }
        before.push_back({ n, std::string(old) });
    }
    if (!before.empty()) {
        writeRowRuns(file, layout, before);
        file.sync();
    }
    removeNote(note);
}

std::string tooLong(std::size_t length, int width)
{
    char message[128];
    std::snprintf(message, sizeof message, "Value is too long : %zu characters (it can't be more than %d).",
        length, width);
    return message;
}

int findField(const std::vector<FieldDef>& fields, const QString& name)
{
    const auto found = std::find_if(fields.begin(), fields.end(),
        [&](const FieldDef& f) { return f.name.compare(name, Qt::CaseInsensitive) == 0; });
    return found == fields.end() ? -1 : static_cast<int>(found - fields.begin());
}

[[noreturn]] void throwFileError(const char* what, const fs::path& path, int error)
{
    throw DbfError(std::string(what) + " \"" + path.string() + "\". " + std::strerror(error));
}

} // namespace

struct DbfTable::Impl {
    fs::path path;
    fs::path openPath; // the spelling found on disk
    DbfLayout layout;
    std::string damage; // why the open file must not be written
    std::string refusal; // what a change is refused with
    bool hasLayout = false; // a layout was read or created at least once
    DbfFile file;
    Access access = Access::ReadWrite;
    std::uint32_t rowCount = 0;
    mutable DbfRowCache walk { kWalkChunkBytes };
    mutable DbfRowCache look { kLookChunkBytes };
    mutable std::vector<char> scan;

    State state = State::Inactive;
    std::uint32_t current = 0;
    bool bof = true;
    bool eof = true;
    std::string row; // the current row, or the buffer being edited or filled
    std::string original; // the row as it was when the edit began
    std::uint32_t insertBefore = 0;
    std::uint32_t returnTo = 0;
    // While appends stand together: where the rows ended before them, and
    // the bytes the first new row covers there.
    std::optional<std::uint64_t> appendsFrom;
    std::string appendsCovered;
    std::string tailBytes;
    bool tailKnown = false;

    Predicate predicate;
    bool filtered = false;

    int disabled = 0;
    bool changedWhileDisabled = false;
    Listener listener;
    std::function<void(const RowWrite&)> rowWritten;
    std::function<void()> beforeChange;
    bool inBeforeChange = false;
    std::function<QDate()> today = [] { return QDate::currentDate(); };

    bool isOpen() const { return state != State::Inactive; }
    bool editing() const { return state == State::Edit || state == State::Insert; }

    DbfRecord record(const char* bytes, std::uint32_t number) const
    {
        return DbfRecord(&layout.fields, &layout.offsets, bytes, number);
    }

    bool visible(const char* bytes, std::uint32_t number) const
    {
        if (bytes[0] != kDbfLiveFlag)
            return false;
        return !filtered || !predicate || predicate(record(bytes, number));
    }

    std::uint32_t findForward(DbfRowCache& cache, std::uint32_t from) const
    {
        for (std::uint32_t n = std::max<std::uint32_t>(from, 1); n <= rowCount; ++n) {
            const char* bytes = cache.row(file, layout, n, rowCount);
            if (bytes == nullptr)
                return 0;
            if (visible(bytes, n))
                return n;
        }
        return 0;
    }

    std::uint32_t findBackward(DbfRowCache& cache, std::uint32_t from) const
    {
        for (std::uint32_t n = std::min(from, rowCount); n >= 1; --n) {
            const char* bytes = cache.row(file, layout, n, rowCount, DbfRowCache::Direction::Backward);
            if (bytes != nullptr && visible(bytes, n))
                return n;
        }
        return 0;
    }

    void setCurrent(std::uint32_t n)
    {
        current = n;
        if (n == 0) {
            row.assign(layout.rowLength, ' ');
            return;
        }
        const char* bytes = walk.row(file, layout, n, rowCount);
        if (bytes == nullptr)
            bytes = look.row(file, layout, n, rowCount);
        if (bytes == nullptr) {
            current = 0;
            row.assign(layout.rowLength, ' ');
            return;
        }
        row.assign(bytes, layout.rowLength);
    }

    // Puts the view on the row, or the nearest visible one after it, or
    // before it when there is none after.
    void goNear(std::uint32_t at, Change change)
    {
        std::uint32_t n = findForward(walk, at);
        if (n == 0)
            n = findBackward(walk, at);
        setCurrent(n);
        bof = n == 0;
        eof = n == 0;
        notify(change);
    }

    void notify(Change change)
    {
        if (disabled > 0) {
            changedWhileDisabled = true;
            return;
        }
        if (listener)
            listener(change);
    }

    void runBeforeChange()
    {
        if (!beforeChange || inBeforeChange)
            return;
        inBeforeChange = true;
        try {
            beforeChange();
        } catch (...) {
            inBeforeChange = false;
            throw;
        }
        inBeforeChange = false;
    }

    void requireOpen() const
    {
        if (!isOpen())
            throw DbfError(kClosed);
    }

    void requireWritable() const
    {
        requireOpen();
        if (!refusal.empty())
            throw DbfError(refusal);
        if (access == Access::ReadOnly)
            throw DbfError(kReadOnly);
    }

    void requireEditing() const
    {
        if (!editing())
            throw DbfError(kNotEditing);
    }

    const FieldDef& fieldForWrite(int field) const
    {
        requireEditing();
        if (field < 0 || static_cast<std::size_t>(field) >= layout.fields.size())
            throw DbfError("Field index out of range : " + std::to_string(field));
        return layout.fields[static_cast<std::size_t>(field)];
    }

    void store(int field, std::string_view bytes, bool rightAligned)
    {
        const auto width = static_cast<std::size_t>(layout.fields[static_cast<std::size_t>(field)].width);
        char* at = row.data() + layout.offsets[static_cast<std::size_t>(field)];
        std::fill(at, at + width, ' ');
        const std::size_t n = std::min(bytes.size(), width);
        if (n > 0)
            std::memcpy(rightAligned ? at + width - n : at, bytes.data(), n);
        notify(Change::Values);
    }

    void writeRow(std::uint32_t n)
    {
        file.writeAt(layout.rowOffset(n), row.data(), row.size());
        walk.update(layout, n, row.data());
        look.update(layout, n, row.data());
    }

    void recount()
    {
        rowCount = layout.rowCountFor(file.size());
        tailKnown = false;
    }

    // The bytes after the last row (the end-of-file byte, or what a write
    // cut short left), which the next appended row covers.
    const std::string& tail()
    {
        if (!tailKnown) {
            tailBytes.assign(layout.rowLength, '\0');
            tailBytes.resize(file.readAt(layout.rowOffset(rowCount + 1), tailBytes.data(), tailBytes.size()));
            tailKnown = true;
        }
        return tailBytes;
    }

    void clearCaches()
    {
        walk.clear();
        look.clear();
    }

    // Leaving an edit before the view moves: a changed row is kept, an
    // unchanged one dropped.
    void endEditing(DbfTable& table)
    {
        runBeforeChange();
        if (!editing())
            return;
        // The hook has run; post must not run it a second time.
        const bool saved = inBeforeChange;
        inBeforeChange = true;
        try {
            if (row != original)
                table.post();
            else
                table.cancel();
        } catch (...) {
            inBeforeChange = saved;
            throw;
        }
        inBeforeChange = saved;
    }

    void beginNewRow(DbfTable& table, bool shownHere)
    {
        requireWritable();
        endEditing(table);
        returnTo = current;
        insertBefore = shownHere ? current : 0;
        row.assign(layout.rowLength, ' ');
        original = row;
        state = State::Insert;
        notify(Change::Reloaded);
    }

    void writeHeader()
    {
        const auto stamp = headerStamp(today(), rowCount);
        file.writeAt(0, stamp.data(), stamp.size());
        const char eofByte = kDbfEndOfFile;
        file.writeAt(layout.rowOffset(rowCount + 1), &eofByte, 1);
    }

    // The header a view writes into a missing or empty file: that of the
    // file it read last, or one of the fields a new file of its kind has.
    DbfLayout layoutForMissingFile(std::vector<FieldDef> newFileFields) const
    {
        if (hasLayout) {
            DbfLayout l = layout;
            l.descriptors = capitalisedDescriptors(layout);
            l.headerLength = kDbfHeaderSize + static_cast<std::uint32_t>(l.descriptors.size()) + 1;
            return l;
        }
        for (FieldDef& f : newFileFields)
            f.name = f.name.toUpper();
        return layoutForFields(newFileFields);
    }

    void writeNewFile(const fs::path& target, const DbfLayout& l)
    {
        DbfFile out(target, DbfFile::Mode::CreateTruncate);
        std::string bytes = headerBytes(l, today(), 0);
        bytes.push_back(kDbfEndOfFile);
        out.writeAt(0, bytes.data(), bytes.size());
        out.close();
    }

    fs::path appendNote() const { return appendNoteFor(openPath); }

    void reportRowWrite(std::uint32_t n, std::string before)
    {
        if (rowWritten && !appendsFrom)
            rowWritten(RowWrite { n, std::move(before), row });
    }

    void closeFile()
    {
        file.close();
        damage.clear();
        refusal.clear();
        state = State::Inactive;
        current = 0;
        bof = eof = true;
        rowCount = 0;
        clearCaches();
    }
};

DbfTable::DbfTable()
    : d(std::make_unique<Impl>())
{
}

DbfTable::~DbfTable()
{
    // Whoever listens may already be gone.
    d->listener = nullptr;
    d->beforeChange = nullptr;
    try {
        close();
    } catch (...) {
        // A failed header write at destruction leaves the rows intact; the
        // next opening counts them from the length.
    }
}

void DbfTable::setPath(const fs::path& path)
{
    d->path = path;
}
fs::path DbfTable::path() const
{
    return d->path;
}
bool DbfTable::isOpen() const
{
    return d->isOpen();
}
const std::string& DbfTable::damage() const
{
    return d->damage;
}
const std::string& DbfTable::writeRefusal() const
{
    return d->refusal;
}
DbfTable::State DbfTable::state() const
{
    return d->state;
}

void DbfTable::create(const std::vector<FieldDef>& fields)
{
    if (d->isOpen())
        throw DbfError(kOpen);
    DbfLayout layout = layoutForFields(fields);
    d->writeNewFile(findIgnoringCase(d->path), layout);
    d->layout = std::move(layout);
    d->hasLayout = true;
}

void DbfTable::open(Access access)
{
    if (d->isOpen())
        return;
    const fs::path target = findIgnoringCase(d->path);
    std::error_code ec;
    const bool exists = fs::exists(target, ec);
    const auto existingSize = exists ? fs::file_size(target, ec) : 0;
    if (!exists || (!ec && existingSize == 0)) {
        if (access == Access::ReadOnly) {
            if (!exists)
                throwFileError("Cannot open file", target, ENOENT);
            throw DbfError("Not a table file: \"" + target.string() + "\" is empty");
        }
        d->writeNewFile(target, d->layoutForMissingFile(newFileFields()));
    }

    std::string refusal;
    DbfFile file = [&] {
        if (access == Access::ReadOnly || ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) == 0
            || errno == ENOENT)
            return DbfFile(
                target, access == Access::ReadOnly ? DbfFile::Mode::ReadOnly : DbfFile::Mode::ReadWrite);
        // A log the user may not write is still shown.
        refusal = "\"" + target.string() + "\" may not be written (" + runTimeErrorText(errno)
            + "). It can be read but not changed";
        access = Access::ReadOnly;
        return DbfFile(target, DbfFile::Mode::ReadOnly);
    }();
    if (access == Access::ReadWrite) {
        // Appends that a killed program left unfinished are taken back.
        const fs::path note = appendNoteFor(target);
        if (const auto unfinished = readAppendNote(note)) {
            const auto& [from, covered] = *unfinished;
            if (from >= kDbfHeaderSize && file.size() >= from)
                cutBackTo(file, from, covered);
        }
        removeNote(note);
    }
    DbfLayout layout = readLayout(file, file.size());
    std::string damage = writeProblem(layout, file.size());
    if (!damage.empty()) {
        refusal = damagedFileText(target, damage);
        if (access == Access::ReadWrite) {
            // Not a byte of it may change, not even the header at closing.
            file = DbfFile(target, DbfFile::Mode::ReadOnly);
            access = Access::ReadOnly;
        }
    }
    bindFields(layout.fields);
    if (access == Access::ReadWrite) {
        // Rows a killed program was writing back get their old bytes again.
        finishRewriteNote(rewriteNoteFor(target), file, layout);
    }

    d->file = std::move(file);
    d->layout = std::move(layout);
    d->damage = std::move(damage);
    d->refusal = std::move(refusal);
    d->hasLayout = true;
    d->openPath = target;
    d->access = access;
    d->clearCaches();
    d->recount();
    d->state = State::Browse;
    const std::uint32_t n = d->findForward(d->walk, 1);
    d->setCurrent(n);
    d->bof = true;
    d->eof = n == 0;
    d->notify(Change::Reloaded);
}

void DbfTable::close()
{
    if (!d->isOpen())
        return;
    if (d->appendsFrom) {
        try {
            discardAppends();
        } catch (...) {
            // The note takes them back at the next opening.
        }
    }
    d->state = State::Browse; // an edit or a new row in progress is dropped
    std::exception_ptr failure;
    if (d->access == Access::ReadWrite) {
        try {
            d->recount();
            d->writeHeader();
        } catch (...) {
            failure = std::current_exception();
        }
    }
    d->closeFile();
    d->notify(Change::Reloaded);
    if (failure)
        std::rethrow_exception(failure);
}

int DbfTable::fieldCount() const
{
    return static_cast<int>(d->layout.fields.size());
}

const FieldDef& DbfTable::field(int index) const
{
    if (index < 0 || index >= fieldCount())
        throw DbfError("Field index out of range : " + std::to_string(index));
    return d->layout.fields[static_cast<std::size_t>(index)];
}

const std::vector<FieldDef>& DbfTable::fields() const
{
    return d->layout.fields;
}

int DbfTable::fieldIndex(const QString& name) const
{
    return findField(d->layout.fields, name);
}

int DbfTable::fieldIndexOrThrow(const QString& name) const
{
    return requiredFieldIndex(d->layout.fields, name);
}

void DbfTable::first()
{
    d->requireOpen();
    d->endEditing(*this);
    d->recount();
    d->walk.clear();
    const std::uint32_t n = d->findForward(d->walk, 1);
    d->setCurrent(n);
    d->bof = true;
    d->eof = n == 0;
    d->notify(Change::Moved);
}

void DbfTable::last()
{
    d->requireOpen();
    d->endEditing(*this);
    d->recount();
    d->walk.clear();
    const std::uint32_t n = d->findBackward(d->walk, d->rowCount);
    d->setCurrent(n);
    d->eof = true;
    d->bof = n == 0;
    d->notify(Change::Moved);
}

void DbfTable::next()
{
    d->requireOpen();
    d->endEditing(*this);
    const std::uint32_t n = d->current == 0 ? 0 : d->findForward(d->walk, d->current + 1);
    if (n == 0) {
        d->eof = true;
        return;
    }
    d->setCurrent(n);
    d->bof = false;
    d->eof = false;
    d->notify(Change::Moved);
}

void DbfTable::prior()
{
    d->requireOpen();
    d->endEditing(*this);
    const std::uint32_t n = d->current <= 1 ? 0 : d->findBackward(d->walk, d->current - 1);
    if (n == 0) {
        d->bof = true;
        return;
    }
    d->setCurrent(n);
    d->bof = false;
    d->eof = false;
    d->notify(Change::Moved);
}

bool DbfTable::bof() const
{
    return d->bof;
}
bool DbfTable::eof() const
{
    return d->eof;
}
bool DbfTable::isEmpty() const
{
    return d->current == 0 && d->state != State::Insert;
}
std::uint32_t DbfTable::recordNumber() const
{
    return d->state == State::Insert ? 0 : d->current;
}
std::uint32_t DbfTable::recordCount() const
{
    return d->rowCount;
}

void DbfTable::moveToRecord(std::uint32_t recordNumber)
{
    d->requireOpen();
    d->endEditing(*this);
    d->goNear(recordNumber, Change::Moved);
}

std::uint32_t DbfTable::nextVisible(std::uint32_t after) const
{
    if (!d->isOpen() || after >= d->rowCount)
        return 0;
    return d->findForward(d->look, after + 1);
}

std::uint32_t DbfTable::priorVisible(std::uint32_t before) const
{
    if (!d->isOpen() || before <= 1)
        return 0;
    return d->findBackward(d->look, before - 1);
}

DbfRecord DbfTable::peek(std::uint32_t recordNumber) const
{
    if (!d->isOpen())
        return {};
    const char* bytes = d->look.row(d->file, d->layout, recordNumber, d->rowCount);
    return bytes == nullptr ? DbfRecord() : d->record(bytes, recordNumber);
}

std::string DbfTable::rowBytes(std::uint32_t recordNumber) const
{
    if (!d->isOpen())
        return {};
    const char* bytes = d->look.row(d->file, d->layout, recordNumber, d->rowCount);
    return bytes == nullptr ? std::string() : std::string(bytes, d->layout.rowLength);
}

std::string DbfTable::rowsOnDisk(std::uint32_t first, std::uint32_t count) const
{
    if (!d->isOpen() || first == 0 || count == 0)
        return {};
    std::string bytes(static_cast<std::size_t>(count) * d->layout.rowLength, '\0');
    const std::size_t read = d->file.readAt(d->layout.rowOffset(first), bytes.data(), bytes.size());
    bytes.resize(read - read % d->layout.rowLength);
    return bytes;
}

std::uint32_t DbfTable::findLive(const Predicate& predicate) const
{
    return findAny(
        [&predicate](const DbfRecord& row) { return row.flag() == kDbfLiveFlag && predicate(row); });
}

std::uint32_t DbfTable::findAny(const Predicate& predicate) const
{
    if (!d->isOpen() || d->rowCount == 0)
        return 0;
    const DbfLayout& layout = d->layout;
    const std::uint32_t perChunk = std::max<std::uint32_t>(1, kScanChunkBytes / layout.rowLength);
    d->scan.resize(std::size_t { perChunk } * layout.rowLength);
    for (std::uint32_t start = 1; start <= d->rowCount; start += perChunk) {
        const std::uint32_t wanted = std::min(perChunk, d->rowCount - start + 1);
        const std::size_t got = d->file.readAt(
            layout.rowOffset(start), d->scan.data(), std::size_t { wanted } * layout.rowLength);
        const auto rows = static_cast<std::uint32_t>(got / layout.rowLength);
        for (std::uint32_t i = 0; i < rows; ++i) {
            const char* bytes = d->scan.data() + std::size_t { i } * layout.rowLength;
            if (predicate(d->record(bytes, start + i)))
                return start + i;
        }
        if (rows < wanted)
            break;
    }
    return 0;
}

std::uint32_t DbfTable::insertPosition() const
{
    return d->state == State::Insert ? d->insertBefore : 0;
}

DbfRecord DbfTable::current() const
{
    if (d->current == 0 && d->state != State::Insert)
        return {};
    return d->record(d->row.data(), d->state == State::Insert ? 0 : d->current);
}

bool DbfTable::isNull(int field) const
{
    return current().isNull(field);
}
QDate DbfTable::date(int field) const
{
    return current().date(field);
}
QString DbfTable::text(int field) const
{
    return current().text(field);
}
std::int32_t DbfTable::integer(int field) const
{
    return current().integer(field);
}

void DbfTable::setDate(int field, const QDate& value)
{
    const FieldDef& f = d->fieldForWrite(field);
    if (!value.isValid()) {
        d->store(field, {}, false);
        return;
    }
    if (f.type == FieldType::Integer) {
        setInteger(field, dayNumberOf(value));
        return;
    }
    if (value.year() < 1 || value.year() > 9999)
        throw DbfError("'" + value.toString(Qt::ISODate).toStdString() + "' is not a valid date");
    char text[16];
    std::snprintf(text, sizeof text, "%04d%02d%02d", value.year(), value.month(), value.day());
    d->store(field, text, false);
}

void DbfTable::setText(int field, const QString& value)
{
    const FieldDef& f = d->fieldForWrite(field);
    const QString trimmed = value.trimmed();
    switch (f.type) {
    case FieldType::Integer: {
        if (trimmed.isEmpty()) {
            d->store(field, {}, false);
            return;
        }
        // Two different fallbacks tell a number from text that is none.
        const std::int32_t a = integerOrDefault(trimmed, 0);
        if (a != integerOrDefault(trimmed, 1))
            throw DbfError("'" + value.toStdString() + "' is not a valid integer value");
        setInteger(field, a);
        return;
    }
    case FieldType::Date: {
        if (trimmed.isEmpty()) {
            d->store(field, {}, false);
            return;
        }
        QDate date = QDate::fromString(trimmed, QStringLiteral("yyyyMMdd"));
        if (!date.isValid())
            date = QDate::fromString(trimmed, Qt::ISODate);
        if (!date.isValid())
            throw DbfError("'" + value.toStdString() + "' is not a valid date");
        setDate(field, date);
        return;
    }
    case FieldType::Text:
        break;
    }
    d->store(field, stringToCp850(value), false);
}

void DbfTable::setInteger(int field, std::int64_t value)
{
    const FieldDef& f = d->fieldForWrite(field);
    const std::string text = std::to_string(value);
    switch (f.type) {
    case FieldType::Integer:
        if (text.size() > static_cast<std::size_t>(f.width))
            throw DbfError(tooLong(text.size(), f.width));
        d->store(field, text, true);
        return;
    case FieldType::Date:
        setDate(field, dateFromDayNumber(value));
        return;
    case FieldType::Text:
        break;
    }
    d->store(field, text, false);
}

void DbfTable::clear(int field)
{
    d->fieldForWrite(field);
    d->store(field, {}, false);
}

bool DbfTable::isModified() const
{
    return d->editing() && d->row != d->original;
}

void DbfTable::append()
{
    d->beginNewRow(*this, false);
}
void DbfTable::insert()
{
    d->beginNewRow(*this, true);
}

void DbfTable::edit()
{
    d->requireWritable();
    if (d->editing())
        return;
    if (d->current == 0) {
        append();
        return;
    }
    d->original = d->row;
    d->state = State::Edit;
    d->notify(Change::State);
}

void DbfTable::post()
{
    d->requireOpen();
    d->runBeforeChange();
    switch (d->state) {
    case State::Inactive:
    case State::Browse:
        return;
    case State::Edit:
        d->row[0] = kDbfLiveFlag;
        d->writeRow(d->current);
        d->state = State::Browse;
        d->reportRowWrite(d->current, d->original);
        d->notify(Change::State);
        return;
    case State::Insert: {
        d->row[0] = kDbfLiveFlag;
        const std::uint32_t n = d->rowCount + 1;
        // A row written in part would be read as a row at the next opening:
        // a failed append puts back the file as it was.
        const std::string& covered = d->tail();
        try {
            d->writeRow(n);
        } catch (...) {
            try {
                cutBackTo(d->file, d->layout.rowOffset(n), covered);
            } catch (...) {
            }
            throw;
        }
        d->tailBytes
            = covered.size() > d->layout.rowLength ? covered.substr(d->layout.rowLength) : std::string();
        d->rowCount = n;
        d->current = n;
        d->bof = false;
        d->eof = false;
        d->state = State::Browse;
        d->reportRowWrite(n, {});
        d->notify(Change::Reloaded);
        return;
    }
    }
}

void DbfTable::cancel()
{
    switch (d->state) {
    case State::Inactive:
    case State::Browse:
        return;
    case State::Edit:
        d->row = d->original;
        d->state = State::Browse;
        d->notify(Change::State);
        return;
    case State::Insert:
        d->state = State::Browse;
        d->setCurrent(d->returnTo);
        if (d->current == 0)
            d->bof = d->eof = true;
        d->notify(Change::Reloaded);
        return;
    }
}

void DbfTable::remove()
{
    d->requireWritable();
    if (d->state == State::Insert) {
        cancel();
        return;
    }
    if (d->state == State::Edit)
        cancel();
    if (d->current == 0)
        throw DbfError(kEmpty);
    const std::uint32_t n = d->current;
    std::string before = d->row;
    d->row[0] = kDbfDeletedFlag;
    d->writeRow(n);
    d->reportRowWrite(n, std::move(before));
    std::uint32_t to = d->findForward(d->walk, n + 1);
    if (to == 0) {
        to = d->findBackward(d->walk, n - 1);
        d->eof = true;
    }
    d->setCurrent(to);
    if (to == 0)
        d->bof = d->eof = true;
    d->notify(Change::Reloaded);
}

void DbfTable::setFilterPredicate(Predicate predicate)
{
    d->predicate = std::move(predicate);
}

void DbfTable::setFiltered(bool on)
{
    d->requireOpen();
    if (d->filtered == on)
        return;
    d->endEditing(*this);
    d->filtered = on;
    d->recount();
    d->clearCaches();
    const std::uint32_t n = d->findForward(d->walk, 1);
    d->setCurrent(n);
    d->bof = true;
    d->eof = n == 0;
    d->notify(Change::Reloaded);
}

bool DbfTable::isFiltered() const
{
    return d->filtered;
}

void DbfTable::beginAppends()
{
    d->requireWritable();
    if (d->appendsFrom)
        return;
    // An edit left open is posted first, as a change of its own: posted
    // among the appends it would be heard of by no one.
    d->endEditing(*this);
    const std::uint64_t from = d->layout.rowOffset(d->rowCount + 1);
    // A folder the user may not write takes no note: the rows still go in
    // together while the program runs, only a kill may leave some of them.
    const fs::path note = d->appendNote();
    if (mayWriteFolderOf(note))
        writeAppendNote(note, from, d->tail());
    d->appendsFrom = from;
    d->appendsCovered = d->tail();
}

void DbfTable::commitAppends()
{
    if (!d->appendsFrom)
        return;
    d->file.sync();
    d->appendsFrom.reset();
    removeNote(d->appendNote());
    // The header counts the rows at once, so that other programs see them
    // before this one closes the file. The rows are on disk already: should
    // this fail, the header is written again at closing.
    try {
        d->writeHeader();
        d->tailKnown = false;
    } catch (const DbfError&) {
    }
}

void DbfTable::discardAppends()
{
    if (!d->appendsFrom)
        return;
    if (d->state == State::Insert)
        cancel();
    const std::uint64_t from = *d->appendsFrom;
    d->appendsFrom.reset();
    cutBackTo(d->file, from, d->appendsCovered);
    removeNote(d->appendNote());
    d->recount();
    d->clearCaches();
    const std::uint32_t n = d->findBackward(d->walk, d->rowCount);
    d->setCurrent(n);
    d->bof = n == 0;
    d->eof = true;
    d->notify(Change::Reloaded);
}

void DbfTable::rewriteRows(const std::vector<RowBytes>& rows)
{
    d->requireWritable();
    d->endEditing(*this);
    if (rows.empty())
        return;
    std::vector<RowBytes> sorted = rows;
    std::ranges::sort(sorted, {}, &RowBytes::recordNumber);
    std::vector<RowBytes> old;
    old.reserve(sorted.size());
    for (const RowBytes& r : sorted) {
        if (r.recordNumber < 1 || r.recordNumber > d->rowCount || r.bytes.size() != d->layout.rowLength)
            throw DbfError("Row " + std::to_string(r.recordNumber) + " cannot be written back");
        old.push_back({ r.recordNumber, rowBytes(r.recordNumber) });
    }
    // As with appends, a folder the user may not write takes no note.
    const fs::path note = rewriteNoteFor(d->openPath);
    if (mayWriteFolderOf(note))
        writeRewriteNote(note, d->layout.rowLength, old, sorted);
    try {
        writeRowRuns(d->file, d->layout, sorted);
        d->file.sync();
    } catch (...) {
        // Puts back what part of the rows was written; failing that, the
        // note does it at the next opening.
        try {
            writeRowRuns(d->file, d->layout, old);
            d->file.sync();
            removeNote(note);
        } catch (...) {
        }
        d->clearCaches();
        throw;
    }
    removeNote(note);
    for (const RowBytes& r : sorted) {
        d->walk.update(d->layout, r.recordNumber, r.bytes.data());
        d->look.update(d->layout, r.recordNumber, r.bytes.data());
    }
    // The view goes to the first row written back, or the nearest one shown.
    d->goNear(sorted.front().recordNumber, Change::Reloaded);
}

void DbfTable::setRowWriteObserver(std::function<void(const RowWrite&)> observer)
{
    d->rowWritten = std::move(observer);
}

void DbfTable::releaseWriteLock()
{
    d->file.releaseWriteLock();
}

void DbfTable::refresh()
{
    d->requireOpen();
    d->endEditing(*this);
    d->recount();
    d->clearCaches();
    d->goNear(std::max<std::uint32_t>(d->current, 1), Change::Reloaded);
}

void DbfTable::compact()
{
    if (d->isOpen())
        d->requireWritable();
    const bool wasOpen = d->isOpen();
    if (wasOpen)
        d->closeFile(); // the rewrite below carries a fresh header
    const fs::path target = wasOpen ? d->openPath : findIgnoringCase(d->path);
    try {
        DbfFile in(target, DbfFile::Mode::ReadOnly);
        const DbfLayout layout = readLayout(in, in.size());
        if (const std::string problem = writeProblem(layout, in.size()); !problem.empty())
            throw DbfError(damagedFileText(target, problem));
        const std::uint32_t rows = layout.rowCountFor(in.size());

        DbfLayout rewritten = layout;
        rewritten.descriptors = capitalisedDescriptors(layout);
        rewritten.headerLength
            = kDbfHeaderSize + static_cast<std::uint32_t>(rewritten.descriptors.size()) + 1;

        // The old file keeps the table's name until the new one is complete.
        AtomicFile out(target);
        // The count is known only at the end; the header is written last.
        const std::uint32_t perChunk = std::max<std::uint32_t>(1, kWalkChunkBytes / layout.rowLength);
        std::vector<char> chunk(std::size_t { perChunk } * layout.rowLength);
        std::uint64_t writeAt = rewritten.headerLength;
        std::uint32_t kept = 0;
        for (std::uint32_t start = 1; start <= rows; start += perChunk) {
            const std::uint32_t wanted = std::min(perChunk, rows - start + 1);
            const std::size_t got
                = in.readAt(layout.rowOffset(start), chunk.data(), std::size_t { wanted } * layout.rowLength);
            std::size_t keptBytes = 0;
            for (std::size_t i = 0; i + layout.rowLength <= got; i += layout.rowLength) {
                if (chunk[i] != kDbfLiveFlag)
                    continue;
                std::memmove(chunk.data() + keptBytes, chunk.data() + i, layout.rowLength);
                keptBytes += layout.rowLength;
                ++kept;
            }
            out.writeAt(writeAt, std::string_view(chunk.data(), keptBytes));
            writeAt += keptBytes;
        }
        out.writeAt(0, headerBytes(rewritten, d->today(), kept));
        out.writeAt(writeAt, std::string_view(&kDbfEndOfFile, 1));
        in.close();
        out.commit();
    } catch (...) {
        if (wasOpen) {
            try {
                open(d->access);
            } catch (...) {
                // The original error is the one to report.
            }
        }
        throw;
    }
    open(Access::ReadWrite);
}

void DbfTable::disableControls()
{
    ++d->disabled;
}

void DbfTable::enableControls()
{
    if (d->disabled == 0)
        return;
    if (--d->disabled == 0 && d->changedWhileDisabled) {
        d->changedWhileDisabled = false;
        d->notify(Change::Reloaded);
    }
}

bool DbfTable::controlsDisabled() const
{
    return d->disabled > 0;
}
void DbfTable::setListener(Listener listener)
{
    d->listener = std::move(listener);
}
void DbfTable::setBeforeChange(std::function<void()> hook)
{
    d->beforeChange = std::move(hook);
}
void DbfTable::setDateSource(std::function<QDate()> today)
{
    d->today = std::move(today);
}

void DbfTable::bindFields(const std::vector<FieldDef>&) { }

std::vector<FieldDef> DbfTable::newFileFields() const
{
    return {};
}

fs::path appendNoteFor(const fs::path& table)
{
    const fs::path folder = table.has_parent_path() ? table.parent_path() : fs::path(".");
    return folder / ("." + table.filename().string() + ".appending");
}

fs::path rewriteNoteFor(const fs::path& table)
{
    const fs::path folder = table.has_parent_path() ? table.parent_path() : fs::path(".");
    return folder / ("." + table.filename().string() + ".rewriting");
}

std::string damagedFileText(const fs::path& path, const std::string& damage)
{
    return "\"" + path.string() + "\" is damaged: " + damage + ". It can be read but not changed";
}

int requiredFieldIndex(const std::vector<FieldDef>& fields, const QString& name)
{
    const int at = findField(fields, name);
    if (at < 0)
        throw DbfError("Field '" + name.toStdString() + "' not found");
    return at;
}

} // namespace cvlog
