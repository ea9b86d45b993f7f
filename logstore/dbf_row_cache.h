#pragma once
// A window of consecutive rows read with one positioned read, so that a
// walk over the table costs one system call per chunk rather than per row.

#include <cstdint>
#include <vector>

namespace cvlog
{

class DbfFile;
struct DbfLayout;

class DbfRowCache
{
public:
    enum class Direction { Forward, Backward };

    explicit DbfRowCache(std::size_t capacityBytes)
        : capacityBytes_(capacityBytes)
    {
    }

    // The bytes of the row (1-based), reading the chunk that holds it when
    // needed; nullptr when the file holds no such complete row. A backward
    // walk reads the chunk that ends at the row.
    const char* row(const DbfFile& file, const DbfLayout& layout, std::uint32_t recordNumber,
        std::uint32_t rowCount, Direction direction = Direction::Forward);
    // Keeps a row written through the view in step with the chunk.
    void update(const DbfLayout& layout, std::uint32_t recordNumber, const char* bytes);
    void clear();

private:
    std::size_t capacityBytes_;
    std::vector<char> buffer_;
    std::uint32_t first_ = 0; // record number of the first row held
    std::uint32_t count_ = 0;
};

} // namespace cvlog
