#include "logstore/dbf_layout.h"

#include "logstore/cp850.h"
#include "logstore/dbf_file.h"

#include <algorithm>
#include <cstring>

namespace cvlog
{

namespace
{

constexpr int kTypeOffset = 11;
constexpr int kWidthOffset = 16;
constexpr int kDecimalsOffset = 17;
constexpr int kMaxFieldCount = 4095;
constexpr std::uint32_t kMaxHeaderLength = 0xFFFF;
constexpr std::uint32_t kMaxRowLength = 0xFFFF;
constexpr int kMaxTextWidth = 255;

void putLe16(char* at, std::uint32_t v)
{
    at[0] = static_cast<char>(v & 0xFF);
    at[1] = static_cast<char>((v >> 8) & 0xFF);
}

std::uint32_t le16(const unsigned char* at)
{
    return at[0] | (at[1] << 8);
}

std::uint32_t le32(const unsigned char* at)
{
    return le16(at) | (le16(at + 2) << 16);
}

[[noreturn]] void invalidFieldCount(long long count)
{
    throw DbfError("Invalid field count : " + std::to_string(count) + " (must be between 1 and "
        + std::to_string(kMaxFieldCount) + ")");
}

char typeLetter(FieldType type)
{
    switch (type) {
    case FieldType::Date:
        return 'D';
    case FieldType::Integer:
        return 'N';
    case FieldType::Text:
        break;
    }
    return 'C';
}

int normalisedWidth(const FieldDef& f)
{
    switch (f.type) {
    case FieldType::Date:
        return kDbfDateWidth;
    case FieldType::Integer:
        return kDbfIntegerWidth;
    case FieldType::Text:
        break;
    }
    return f.width;
}

void finishOffsets(DbfLayout& layout)
{
    layout.offsets.clear();
    int at = 1; // the flag byte comes first
    for (const FieldDef& f : layout.fields) {
        layout.offsets.push_back(at);
        at += f.width;
    }
}

std::uint32_t neededRowLength(const DbfLayout& layout)
{
    std::uint32_t n = 1;
    for (const FieldDef& f : layout.fields)
        n += static_cast<std::uint32_t>(f.width);
    return n;
}

} // namespace

std::uint32_t DbfLayout::rowCountFor(std::uint64_t fileSize) const
{
    if (rowLength == 0 || fileSize <= headerLength)
        return 0;
    const std::uint64_t rows = (fileSize - headerLength) / rowLength;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(rows, UINT32_MAX));
}

DbfLayout layoutForFields(const std::vector<FieldDef>& fields)
{
    const std::size_t maxFields = (kMaxHeaderLength - kDbfHeaderSize - 1) / kDbfDescriptorSize;
    if (fields.size() > maxFields)
        invalidFieldCount(static_cast<long long>(fields.size()));
    DbfLayout layout;
    for (const FieldDef& given : fields) {
        FieldDef f = given;
        f.width = normalisedWidth(given);
        if (f.width < 1 || f.width > kMaxTextWidth)
            throw DbfError("Invalid width of field '" + given.name.toStdString() + "' : "
                + std::to_string(f.width) + " (must be between 1 and " + std::to_string(kMaxTextWidth) + ")");
        std::string descriptor(kDbfDescriptorSize, '\0');
        const std::string name = stringToCp850(given.name).substr(0, kDbfMaxNameLength);
        std::memcpy(descriptor.data(), name.data(), name.size());
        descriptor[kTypeOffset] = typeLetter(f.type);
        descriptor[kWidthOffset] = static_cast<char>(f.width);
        layout.descriptors += descriptor;
        f.name = cp850ToString(name).toUpper();
        layout.fields.push_back(f);
    }
    finishOffsets(layout);
    layout.headerLength = kDbfHeaderSize + static_cast<std::uint32_t>(layout.descriptors.size()) + 1;
    layout.rowLength = neededRowLength(layout);
    if (layout.rowLength > kMaxRowLength)
        throw DbfError("Invalid row length : " + std::to_string(layout.rowLength) + " (must be at most "
            + std::to_string(kMaxRowLength) + ")");
    return layout;
}

DbfLayout readLayout(const DbfFile& file, std::uint64_t fileSize)
{
    unsigned char header[kDbfHeaderSize] = {};
    if (fileSize < kDbfHeaderSize || file.readAt(0, header, kDbfHeaderSize) < kDbfHeaderSize)
        throw DbfError("Not a table file: the header is incomplete (" + std::to_string(fileSize) + " bytes)");
    DbfLayout layout;
    layout.headerLength = le16(header + 8);
    layout.rowLength = le16(header + 10);
    layout.declaredRows = le32(header + 4);
    std::memcpy(layout.reserved.data(), header + kDbfReservedOffset, kDbfReservedSize);

    const long long declared
        = (static_cast<long long>(layout.headerLength) - kDbfHeaderSize) / kDbfDescriptorSize;
    if (declared < 1)
        invalidFieldCount(declared);
    if (layout.headerLength > fileSize)
        throw DbfError("Invalid header length : " + std::to_string(layout.headerLength)
            + " (the file holds only " + std::to_string(fileSize) + " bytes)");

    std::string descriptors(static_cast<std::size_t>(declared) * kDbfDescriptorSize, '\0');
    file.readAt(kDbfHeaderSize, descriptors.data(), descriptors.size());
    for (long long i = 0; i < declared; ++i) {
        const char* d = descriptors.data() + i * kDbfDescriptorSize;
        // Writers that pad the header end the descriptors early with the terminator.
        if (*d == kDbfHeaderTerminator)
            break;
        const auto nameLength = static_cast<std::size_t>(std::find(d, d + kDbfNameSize, '\0') - d);
        FieldDef f;
        f.name = cp850ToString(std::string_view(d, nameLength)).toUpper();
        f.width = static_cast<unsigned char>(d[kWidthOffset]);
        const char type = d[kTypeOffset];
        if (type == 'D')
            f.type = FieldType::Date;
        else if (type == 'N' && d[kDecimalsOffset] == 0)
            f.type = FieldType::Integer;
        else
            f.type = FieldType::Text; // other letters are read as they are stored
        layout.fields.push_back(f);
        layout.descriptors.append(d, kDbfDescriptorSize);
    }
    if (layout.fields.empty())
        invalidFieldCount(0);
    finishOffsets(layout);
    const std::uint32_t needed = neededRowLength(layout);
    if (layout.rowLength < needed)
        throw DbfError("Invalid row length : " + std::to_string(layout.rowLength) + " (the fields need "
            + std::to_string(needed) + ")");
    return layout;
}

std::string writeProblem(const DbfLayout& layout, std::uint64_t fileSize)
{
    const auto headerNeeded
        = static_cast<std::uint32_t>(kDbfHeaderSize + layout.fields.size() * kDbfDescriptorSize + 1);
    if (layout.headerLength < headerNeeded)
        return "its header is " + std::to_string(layout.headerLength) + " bytes long, but its fields need "
            + std::to_string(headerNeeded);
    const std::uint32_t needed = neededRowLength(layout);
    if (layout.rowLength != needed)
        return "its rows are " + std::to_string(layout.rowLength) + " bytes long, but its fields take "
            + std::to_string(needed);
    const std::uint32_t held = layout.rowCountFor(fileSize);
    if (layout.declaredRows > held)
        return "its header counts " + std::to_string(layout.declaredRows) + " rows, but the file holds only "
            + std::to_string(held);
    return {};
}

std::array<char, 8> headerStamp(const QDate& date, std::uint32_t rowCount)
{
    std::array<char, 8> s {};
    s[0] = kDbfVersion;
    s[1] = static_cast<char>(((date.year() - 1900) % 256 + 256) % 256);
    s[2] = static_cast<char>(date.month());
    s[3] = static_cast<char>(date.day());
    for (int i = 0; i < 4; ++i)
        s[4 + i] = static_cast<char>((rowCount >> (8 * i)) & 0xFF);
    return s;
}

std::string headerBytes(const DbfLayout& layout, const QDate& date, std::uint32_t rowCount)
{
    std::string h(kDbfHeaderSize, '\0');
    const auto stamp = headerStamp(date, rowCount);
    std::copy(stamp.begin(), stamp.end(), h.begin());
    putLe16(h.data() + 8, layout.headerLength);
    putLe16(h.data() + 10, layout.rowLength);
    std::copy(layout.reserved.begin(), layout.reserved.end(), h.begin() + kDbfReservedOffset);
    h += layout.descriptors;
    h.push_back(kDbfHeaderTerminator);
    h.resize(layout.headerLength, '\0');
    return h;
}

std::string capitalisedDescriptors(const DbfLayout& layout)
{
    std::string out = layout.descriptors;
    for (std::size_t i = 0; i < layout.fields.size(); ++i) {
        char* d = out.data() + i * kDbfDescriptorSize;
        const std::string name = stringToCp850(layout.fields[i].name).substr(0, kDbfMaxNameLength);
        std::fill(d, d + kDbfNameSize, '\0');
        std::memcpy(d, name.data(), name.size());
    }
    return out;
}

} // namespace cvlog
