#include "presentation/grid_rows.h"

#include <algorithm>

namespace cvlog
{

namespace
{

std::vector<std::uint32_t> rowsFrom(const VisibleRowWalk& walk, std::uint32_t top, int panels)
{
    std::vector<std::uint32_t> rows;
    for (std::uint32_t r = top; r != kNoGridRow && std::ssize(rows) < panels; r = walk.next(r))
        rows.push_back(r);
    return rows;
}

} // namespace

GridRows chooseGridRows(const VisibleRowWalk& walk, const GridRowsWanted& wanted)
{
    GridRows chosen;
    chosen.top = wanted.top;
    std::vector<std::uint32_t>& rows = chosen.rows;
    const std::uint32_t current = wanted.current;
    if (current != kNoGridRow) {
        // Keep the panels where they are while the current row is among them.
        std::uint32_t top = wanted.top == kNoGridRow ? kNoGridRow : walk.next(wanted.top - 1);
        if (top == kNoGridRow || top > current)
            top = current;
        rows = rowsFrom(walk, top, wanted.panels);
        if (std::find(rows.begin(), rows.end(), current) == rows.end()) {
            top = current;
            for (int k = 1; k < wanted.panels; ++k) {
                const std::uint32_t before = walk.prior(top);
                if (before == kNoGridRow)
                    break;
                top = before;
            }
            rows = rowsFrom(walk, top, wanted.panels);
        }
        // Near the end of the table the rows fill the grid from the bottom up.
        while (std::ssize(rows) < wanted.panels) {
            const std::uint32_t before = walk.prior(rows.front());
            if (before == kNoGridRow)
                break;
            rows.insert(rows.begin(), before);
        }
        chosen.top = rows.front();
    }

    if (wanted.adding) {
        auto at = std::find(rows.begin(), rows.end(), current);
        if (wanted.appending && at != rows.end())
            ++at; // after the last row
        chosen.currentPanel = static_cast<int>(at - rows.begin());
        rows.insert(at, kAddedGridRow);
        if (std::ssize(rows) > wanted.panels) {
            if (chosen.currentPanel == wanted.panels) {
                rows.erase(rows.begin());
                --chosen.currentPanel;
            } else {
                rows.pop_back();
            }
        }
    } else if (current != kNoGridRow) {
        // A current row the view hides (one just appended outside the date
        // filter) stands in no panel.
        const auto at = std::find(rows.begin(), rows.end(), current);
        chosen.currentPanel = at == rows.end() ? -1 : static_cast<int>(at - rows.begin());
    }
    return chosen;
}

} // namespace cvlog
