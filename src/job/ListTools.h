#pragma once

#include <utility>
#include <vector>

// Plans for the chapter-list tools, worked out on row positions alone so the
// window only carries them out. Positions are 0-based; the row numbers the
// user types are 1-based.
namespace velmora::listtools {

// Interval selection over `rowCount` rows: every `step`th row numbered from
// `first` up to `last`.
struct IntervalPlan {
    bool lastClamped = false;  // `last` was beyond the list and became rowCount
    int last = 0;              // the last row number after clamping
    bool tooLarge = false;     // the interval message instead of a selection
    std::vector<int> rows;     // positions to highlight, ascending
};

// A first row below 1 counts as 1. A step below 1, or a first row whose next
// step already passes `last`, is refused as too large (rows stays empty), so
// at least two rows always fit.
IntervalPlan planInterval(int first, int step, int last, int rowCount);

enum class Direction { up, down };

// Moving the highlighted rows by a distance the user gave.
struct MovePlan {
    bool refused = false;  // the empty-list message: nothing highlighted, a distance below 1, or up from the top
    int shift = 0;         // rows actually moved; 0 and not refused means nothing to do (down from the bottom)
    // Single moves in the order they are made: take the row at `first`, put it
    // at `second`. Up goes in ascending order, down in descending order, so
    // the rows not highlighted keep their order.
    std::vector<std::pair<int, int>> steps;
};

// `highlighted` ascending, all below `rowCount`. The distance is cut to what
// the list allows: up to the first highlighted row's position, down to the
// rows below the last one.
MovePlan planMove(const std::vector<int>& highlighted, int rowCount, int distance, Direction direction);

// Deleting the highlighted rows.
struct DeletePlan {
    std::vector<int> rows;  // positions to remove, descending, so earlier removals leave the rest in place
    int renumberFrom = -1;  // from this position on every row's number becomes position + 1; -1: nothing to do
};

DeletePlan planDelete(const std::vector<int>& highlighted);

}  // namespace velmora::listtools
