#include "presentation/grid_rows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace cvlog::testing
{

namespace
{

constexpr std::uint32_t A = kAddedGridRow;

// A view whose visible rows are `visible`, in record order.
VisibleRowWalk walkOver(const std::vector<std::uint32_t>& visible)
{
    return { [&visible](std::uint32_t after) {
                const auto it = std::upper_bound(visible.begin(), visible.end(), after);
                return it == visible.end() ? kNoGridRow : *it;
            },
        [&visible](std::uint32_t before) {
            const auto it = std::lower_bound(visible.begin(), visible.end(), before);
            return it == visible.begin() ? kNoGridRow : *(it - 1);
        } };
}

std::vector<std::uint32_t> oneTo(std::uint32_t n)
{
    std::vector<std::uint32_t> rows(n);
    for (std::uint32_t i = 0; i < n; ++i)
        rows[i] = i + 1;
    return rows;
}

} // namespace

TEST(GridRows, TheCurrentRowIsShownAndThePanelsMoveOnlyWhenTheyMust)
{
    struct Case {
        std::string what;
        std::vector<std::uint32_t> visible;
        GridRowsWanted wanted;
        std::vector<std::uint32_t> rows;
        int currentPanel;
        std::uint32_t top;
    };
    const std::vector<Case> cases = {
        { "an empty log", {}, { 5, 0, 0, false, false }, {}, -1, 0 },
        { "the first row", oneTo(10), { 5, 1, 0, false, false }, { 1, 2, 3, 4, 5 }, 0, 1 },
        { "a row among the panels keeps them", oneTo(10), { 5, 3, 1, false, false }, { 1, 2, 3, 4, 5 }, 2,
            1 },
        { "a row below them ends at the bottom", oneTo(10), { 5, 7, 1, false, false }, { 3, 4, 5, 6, 7 }, 4,
            3 },
        { "a row above them starts at the top", oneTo(10), { 5, 2, 6, false, false }, { 2, 3, 4, 5, 6 }, 0,
            2 },
        { "near the end the rows fill from the bottom", oneTo(10), { 5, 10, 8, false, false },
            { 6, 7, 8, 9, 10 }, 4, 6 },
        { "fewer rows than panels", oneTo(2), { 5, 2, 0, false, false }, { 1, 2 }, 1, 1 },
        { "hidden rows are skipped, a hidden top too", { 2, 4, 6, 8, 10, 12, 14 }, { 5, 8, 3, false, false },
            { 4, 6, 8, 10, 12 }, 2, 4 },
        { "a row added before the current one", oneTo(10), { 5, 3, 1, true, false }, { 1, 2, A, 3, 4 }, 2,
            1 },
        { "a row added before the top one", oneTo(10), { 5, 1, 1, true, false }, { A, 1, 2, 3, 4 }, 0, 1 },
        { "a row added after the last one", oneTo(10), { 5, 10, 6, true, true }, { 7, 8, 9, 10, A }, 4, 6 },
        { "a row added after the last of a few", oneTo(2), { 5, 2, 1, true, true }, { 1, 2, A }, 2, 1 },
        { "a row added to an empty log", {}, { 5, 0, 0, true, true }, { A }, 0, 0 },
        { "a hidden current row after the shown ones", oneTo(5), { 5, 7, 1, false, false }, { 1, 2, 3, 4, 5 },
            -1, 1 },
        { "a hidden current row among the shown ones", { 2, 4, 6 }, { 5, 3, 2, false, false }, { 2, 4, 6 },
            -1, 2 },
    };
    for (const Case& c : cases) {
        const GridRows chosen = chooseGridRows(walkOver(c.visible), c.wanted);
        EXPECT_EQ(chosen.rows, c.rows) << c.what;
        EXPECT_EQ(chosen.currentPanel, c.currentPanel) << c.what;
        EXPECT_EQ(chosen.top, c.top) << c.what;
    }
}

} // namespace cvlog::testing
