#include "job/ListTools.h"

#include <algorithm>

namespace velmora::listtools {

IntervalPlan planInterval(int first, int step, int last, int rowCount)
{
    IntervalPlan plan;
    if (last > rowCount) {
        last = rowCount;
        plan.lastClamped = true;
    }
    plan.last = last;
    first = std::max(first, 1);
    // A step below 1 would never get past `last`.
    if (step < 1 || static_cast<long long>(first) + step > last) {
        plan.tooLarge = true;
        return plan;
    }
    for (long long number = first; number <= last; number += step) {
        plan.rows.push_back(static_cast<int>(number - 1));
    }
    return plan;
}

MovePlan planMove(const std::vector<int>& highlighted, int rowCount, int distance, Direction direction)
{
    MovePlan plan;
    if (highlighted.empty() || distance < 1) {
        plan.refused = true;
        return plan;
    }
    if (direction == Direction::up) {
        plan.shift = std::min(distance, highlighted.front());
        if (plan.shift == 0) {
            plan.refused = true;
            return plan;
        }
        for (const int row : highlighted) {
            plan.steps.emplace_back(row, row - plan.shift);
        }
        return plan;
    }
    plan.shift = std::max(0, std::min(distance, rowCount - 1 - highlighted.back()));
    for (auto row = highlighted.rbegin(); plan.shift > 0 && row != highlighted.rend(); ++row) {
        plan.steps.emplace_back(*row, *row + plan.shift);
    }
    return plan;
}

DeletePlan planDelete(const std::vector<int>& highlighted)
{
    DeletePlan plan;
    plan.rows.assign(highlighted.rbegin(), highlighted.rend());
    if (!highlighted.empty()) {
        plan.renumberFrom = highlighted.front();
    }
    return plan;
}

}  // namespace velmora::listtools
