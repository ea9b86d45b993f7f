#pragma once
// The shape of a table file: its header, field descriptors and row layout.

#include "logstore/dbf_table.h"

#include <QDate>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace cvlog
{

class DbfFile;

inline constexpr std::uint32_t kDbfHeaderSize = 32;
inline constexpr std::uint32_t kDbfDescriptorSize = 32;
inline constexpr int kDbfNameSize = 11;
inline constexpr int kDbfMaxNameLength = 10;
inline constexpr char kDbfVersion = 0x03;
inline constexpr char kDbfHeaderTerminator = 0x0D;
inline constexpr char kDbfEndOfFile = 0x1A;
inline constexpr char kDbfLiveFlag = ' ';
inline constexpr char kDbfDeletedFlag = '*';
inline constexpr int kDbfDateWidth = 8;
inline constexpr int kDbfIntegerWidth = 9;
// Bytes 12..31 of the header: reserved, the language driver among them.
inline constexpr int kDbfReservedOffset = 12;
inline constexpr int kDbfReservedSize = 20;

struct DbfLayout {
    std::vector<FieldDef> fields; // names in capitals
    std::vector<int> offsets; // of each field within a row
    std::uint32_t headerLength = 0;
    std::uint32_t rowLength = 0;
    std::uint32_t declaredRows = 0; // the count in the header, as last written
    std::array<char, kDbfReservedSize> reserved {};
    std::string descriptors; // as found in the file, kDbfDescriptorSize bytes each

    std::uint32_t rowCountFor(std::uint64_t fileSize) const;
    std::uint64_t rowOffset(std::uint32_t recordNumber) const
    {
        return headerLength + std::uint64_t { rowLength } * (recordNumber - 1);
    }
};

// Widths normalised (dates 8, integers 9); names as given. Throws DbfError
// for a list no header can hold.
DbfLayout layoutForFields(const std::vector<FieldDef>& fields);

// Reads and checks the header of an open file; throws DbfError for a file
// that cannot be read safely.
DbfLayout readLayout(const DbfFile& file, std::uint64_t fileSize);

// Why the rows of a file of this layout and size cannot be written without
// harm, or empty when they can: rows of another length than their fields
// (every write would land beside its row), rows that start inside the
// header's descriptors (a write would overlap the rows), or a header that counts rows
// past the end of the file (a file cut short, whose rows are not all there).
std::string writeProblem(const DbfLayout& layout, std::uint64_t fileSize);

// Bytes 0..7: version, the date of the write and the row count.
std::array<char, 8> headerStamp(const QDate& date, std::uint32_t rowCount);

// A complete header with descriptors and terminator for a new file: the
// descriptors as given in the layout, the reserved bytes from the layout.
std::string headerBytes(const DbfLayout& layout, const QDate& date, std::uint32_t rowCount);

// The layout's descriptors with names in capitals (what a rewrite stores).
std::string capitalisedDescriptors(const DbfLayout& layout);

} // namespace cvlog
