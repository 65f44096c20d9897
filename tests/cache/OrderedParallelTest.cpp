#include "app/common/OrderedParallel.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace parvelle;

// Items finishing out of order (some far slower than those after them) are delivered in
// order, and no more results wait at once than the window of 2 x jobs.
TEST(RunInOrder, DeliversInOrderHoldingAFewResultsWhateverTheJobs)
{
    for (const int jobs : {1, 3, 8}) {
        SCOPED_TRACE(jobs);
        constexpr size_t kItems = 60;
        std::atomic<int> held{0};
        std::atomic<int> mostHeld{0};
        std::vector<size_t> delivered;
        RunInOrder<size_t>(
            kItems, jobs,
            [&](size_t i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(i % 15 == 0 ? 20 : (kItems - i) % 3));
                const int now = ++held;
                int most = mostHeld.load();
                while (now > most && !mostHeld.compare_exchange_weak(most, now)) {
                }
                return i;
            },
            [&](size_t i, size_t&& result) {
                EXPECT_EQ(result, i);
                delivered.push_back(i);
                --held;
            },
            [] {});
        ASSERT_EQ(delivered.size(), kItems);
        for (size_t i = 0; i < kItems; ++i)
            EXPECT_EQ(delivered[i], i);
        EXPECT_LE(mostHeld.load(), 2 * jobs);
    }
}

// A failing item stops the run: it is raised to the caller, and nothing from it or after
// it is delivered.
TEST(RunInOrder, AFailingItemIsRaisedAfterTheItemsBeforeIt)
{
    std::vector<size_t> delivered;
    EXPECT_THROW(RunInOrder<size_t>(
                     40, 4,
                     [](size_t i) {
                         if (i == 10)
                             throw std::runtime_error("item 10");
                         return i;
                     },
                     [&](size_t i, size_t&&) { delivered.push_back(i); }, [] {}),
                 std::runtime_error);
    for (size_t i = 0; i < delivered.size(); ++i)
        EXPECT_EQ(delivered[i], i);
    EXPECT_LE(delivered.size(), 10u);
}
