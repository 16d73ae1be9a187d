// engine/tests/small_list_test.cpp: SmallList's copies and moves, held inside the list and on the heap.
#include <utility>

#include <gtest/gtest.h>

#include "quorvel/small_list.hpp"

namespace quorvel {
namespace {

using List = SmallList<int, 3>;

List counting(std::size_t size) {
    List out(size);
    for (std::size_t i = 0; i < size; ++i) out[i] = int(i) + 1;
    return out;
}

void expect_counting(const List& list, std::size_t size) {
    ASSERT_EQ(list.size(), size);
    for (std::size_t i = 0; i < size; ++i) EXPECT_EQ(list[i], int(i) + 1) << i;
}

class SmallListSizes : public testing::TestWithParam<std::size_t> {};

// Inside the list (0, 3) and on the heap (4, 9): a copy is deep, a move leaves
// the source empty, and assignment replaces a list of the other kind.
TEST_P(SmallListSizes, CopiesAreDeepAndMovesEmptyTheSource) {
    const std::size_t n = GetParam();
    List original = counting(n);
    List copy = original;
    if (n > 0) copy[0] = 100;
    expect_counting(original, n);
    EXPECT_EQ(copy.size(), n);

    List moved = std::move(original);
    expect_counting(moved, n);
    EXPECT_TRUE(original.empty());  // NOLINT(bugprone-use-after-move): moved-from is specified
    EXPECT_EQ(original.begin(), original.end());

    for (const std::size_t other : {std::size_t(2), std::size_t(7)}) {
        List target = counting(other);
        target = moved;
        expect_counting(target, n);
        List taken = counting(other);
        taken = std::move(target);
        expect_counting(taken, n);
        EXPECT_TRUE(target.empty());  // NOLINT(bugprone-use-after-move)
    }
    moved = static_cast<const List&>(moved);  // self-assignment keeps the list
    expect_counting(moved, n);
}

INSTANTIATE_TEST_SUITE_P(InlineAndHeap, SmallListSizes, testing::Values(0u, 3u, 4u, 9u));

TEST(SmallList, NewRecordsAreValueInitialised) {
    for (const std::size_t n : {std::size_t(3), std::size_t(5)}) {
        const List list(n);
        for (const int v : list) EXPECT_EQ(v, 0);
    }
}

}  // namespace
}  // namespace quorvel
