#include "job/ListTools.h"

#include <gtest/gtest.h>

#include <numeric>

using namespace velmora::listtools;

struct IntervalCase {
    const char* label;
    int first, step, last, rowCount;
    bool tooLarge;
    int lastAfter;
    std::vector<int> rows;
};

void PrintTo(const IntervalCase& c, std::ostream* os)
{
    *os << c.label;
}

class IntervalTest : public testing::TestWithParam<IntervalCase> {};

TEST_P(IntervalTest, PlansTheRowsOrRefuses)
{
    const IntervalCase& c = GetParam();
    const IntervalPlan plan = planInterval(c.first, c.step, c.last, c.rowCount);
    EXPECT_EQ(plan.tooLarge, c.tooLarge);
    EXPECT_EQ(plan.last, c.lastAfter);
    EXPECT_EQ(plan.lastClamped, c.last != c.lastAfter);
    EXPECT_EQ(plan.rows, c.rows);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(ListTools, IntervalTest, testing::Values(
    IntervalCase{"last beyond the list is cut to it", 1, 4, 9999, 10, false, 10, {0, 4, 8}},
    IntervalCase{"within the list", 3, 3, 8, 10, false, 8, {2, 5}},
    IntervalCase{"last two rows", 9, 1, 10, 10, false, 10, {8, 9}},
    IntervalCase{"one row only does not fit", 10, 1, 10, 10, true, 10, {}},
    IntervalCase{"step as long as the list", 1, 10, 10, 10, true, 10, {}},
    IntervalCase{"step 0 would never end", 1, 0, 10, 10, true, 10, {}},
    IntervalCase{"negative step", 1, -3, 10, 10, true, 10, {}},
    IntervalCase{"first 0 counts as 1", 0, 4, 10, 10, false, 10, {0, 4, 8}},
    IntervalCase{"negative first counts as 1", -7, 4, 10, 10, false, 10, {0, 4, 8}},
    IntervalCase{"empty last box", 1, 1, 0, 10, true, 0, {}},
    IntervalCase{"empty list", 1, 1, 9999, 0, true, 0, {}},
    IntervalCase{"largest numbers do not overflow", 32767, 32767, 32767, 40000, true, 32767, {}}
));
// clang-format on

struct MoveCase {
    const char* label;
    int rowCount;
    std::vector<int> highlighted;
    int distance;
    Direction direction;
    bool refused;
    int shift;
    std::vector<int> order;  // original position of the row at each position afterwards; empty: unchanged
};

void PrintTo(const MoveCase& c, std::ostream* os)
{
    *os << c.label;
}

class MoveTest : public testing::TestWithParam<MoveCase> {};

// Carries out the single moves on a list of original positions.
std::vector<int> applySteps(int rowCount, const std::vector<std::pair<int, int>>& steps)
{
    std::vector<int> rows(static_cast<std::size_t>(rowCount));
    std::iota(rows.begin(), rows.end(), 0);
    for (const auto& [from, to] : steps) {
        const int row = rows[static_cast<std::size_t>(from)];
        rows.erase(rows.begin() + from);
        rows.insert(rows.begin() + to, row);
    }
    return rows;
}

TEST_P(MoveTest, PlansSingleMovesThatGiveTheOrder)
{
    const MoveCase& c = GetParam();
    const MovePlan plan = planMove(c.highlighted, c.rowCount, c.distance, c.direction);
    EXPECT_EQ(plan.refused, c.refused);
    EXPECT_EQ(plan.shift, c.shift);
    std::vector<int> expected = c.order;
    if (expected.empty()) {
        expected = applySteps(c.rowCount, {});
        EXPECT_TRUE(plan.steps.empty());
    }
    EXPECT_EQ(applySteps(c.rowCount, plan.steps), expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(ListTools, MoveTest, testing::Values(
    MoveCase{"up further than the top allows", 10, {2, 3}, 5, Direction::up, false, 2,
             {2, 3, 0, 1, 4, 5, 6, 7, 8, 9}},
    MoveCase{"up by one, a block", 7, {4, 5, 6}, 1, Direction::up, false, 1, {0, 1, 2, 4, 5, 6, 3}},
    MoveCase{"up, rows apart", 10, {3, 7}, 2, Direction::up, false, 2, {0, 3, 1, 2, 4, 7, 5, 6, 8, 9}},
    MoveCase{"up from the top", 10, {0, 3}, 1, Direction::up, true, 0, {}},
    MoveCase{"down, rows apart", 10, {1, 5}, 2, Direction::down, false, 2, {0, 2, 3, 1, 4, 6, 7, 5, 8, 9}},
    MoveCase{"down further than the bottom allows", 10, {1, 5}, 100, Direction::down, false, 4,
             {0, 2, 3, 4, 6, 1, 7, 8, 9, 5}},
    MoveCase{"down from the bottom does nothing", 10, {9}, 3, Direction::down, false, 0, {}},
    MoveCase{"distance 0", 10, {4}, 0, Direction::down, true, 0, {}},
    MoveCase{"negative distance", 10, {4}, -2, Direction::up, true, 0, {}},
    MoveCase{"nothing highlighted", 10, {}, 1, Direction::up, true, 0, {}}
));
// clang-format on

TEST(ListToolsTest, DeletionRemovesFromTheLastAndRenumbersFromTheFirst)
{
    const DeletePlan plan = planDelete({2, 4, 7});
    EXPECT_EQ(plan.rows, (std::vector<int>{7, 4, 2}));
    EXPECT_EQ(plan.renumberFrom, 2);

    const DeletePlan nothing = planDelete({});
    EXPECT_TRUE(nothing.rows.empty());
    EXPECT_EQ(nothing.renumberFrom, -1);
}
