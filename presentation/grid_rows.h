#pragma once
// Which rows the record panel grid shows. The current row is always among
// them; the panels stay where they are while it is; near the end of the
// log the rows fill the grid from the bottom up; a row being added takes
// its place among them.

#include <cstdint>
#include <functional>
#include <vector>

namespace cvlog
{

inline constexpr std::uint32_t kNoGridRow = 0;
// Stands in the choice for the row being added, which has no number yet.
inline constexpr std::uint32_t kAddedGridRow = UINT32_MAX;

// The view's visible rows as the grid walks them: the first visible row
// after a record number, and the last before one (kNoGridRow when none).
struct VisibleRowWalk {
    std::function<std::uint32_t(std::uint32_t after)> next;
    std::function<std::uint32_t(std::uint32_t before)> prior;
};

struct GridRowsWanted {
    int panels = 0;
    std::uint32_t current = kNoGridRow; // the current row, or the one a new row stands before
    std::uint32_t top = kNoGridRow; // the top panel's row until now
    bool adding = false; // a new row is being added
    bool appending = false; // ... after the last row rather than before `current`
};

struct GridRows {
    std::vector<std::uint32_t> rows; // top down, at most `panels`
    int currentPanel = -1; // -1 when no row is current
    std::uint32_t top = kNoGridRow; // the top panel's row from now on
};

GridRows chooseGridRows(const VisibleRowWalk& walk, const GridRowsWanted& wanted);

} // namespace cvlog
