#include "logstore/dbf_row_cache.h"

#include "logstore/dbf_file.h"
#include "logstore/dbf_layout.h"

#include <algorithm>
#include <cstring>

namespace cvlog
{

const char* DbfRowCache::row(const DbfFile& file, const DbfLayout& layout, std::uint32_t recordNumber,
    std::uint32_t rowCount, Direction direction)
{
    if (recordNumber == 0 || recordNumber > rowCount || layout.rowLength == 0)
        return nullptr;
    if (recordNumber >= first_ && recordNumber - first_ < count_)
        return buffer_.data() + std::size_t { recordNumber - first_ } * layout.rowLength;

    const auto capacity
        = static_cast<std::uint32_t>(std::max<std::size_t>(1, capacityBytes_ / layout.rowLength));
    std::uint32_t start = recordNumber;
    if (direction == Direction::Backward)
        start = recordNumber > capacity ? recordNumber - capacity + 1 : 1;
    const std::uint32_t wanted = std::min(capacity, rowCount - start + 1);
    buffer_.resize(std::size_t { wanted } * layout.rowLength);
    count_ = 0;
    const std::size_t got = file.readAt(layout.rowOffset(start), buffer_.data(), buffer_.size());
    first_ = start;
    // A short last row is no row.
    count_ = static_cast<std::uint32_t>(got / layout.rowLength);
    if (recordNumber - first_ >= count_)
        return nullptr;
    return buffer_.data() + std::size_t { recordNumber - first_ } * layout.rowLength;
}

void DbfRowCache::update(const DbfLayout& layout, std::uint32_t recordNumber, const char* bytes)
{
    if (recordNumber >= first_ && recordNumber - first_ < count_)
        std::memcpy(buffer_.data() + std::size_t { recordNumber - first_ } * layout.rowLength, bytes,
            layout.rowLength);
}

void DbfRowCache::clear()
{
    first_ = 0;
    count_ = 0;
}

} // namespace cvlog
