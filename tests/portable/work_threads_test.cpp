// Each shape of work covers every item exactly once, whatever the count,
// and the threads are joined when the call returns.
#include "platform/work_threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

namespace movix {
namespace {

TEST(WorkThreads, EveryItemExactlyOnce) {
    for (const std::size_t count : {0, 1, 15, 16, 17, 63, 64, 65, 5000}) {
        std::unique_ptr<std::atomic<int>[]> each(new std::atomic<int>[count + 1]());
        ForEachOnThreads(count, 4, 16, [&](std::size_t i) { ++each[i]; });
        for (std::size_t i = 0; i < count; ++i)
            ASSERT_EQ(each[i].load(), 1) << "ForEachOnThreads " << count << " item " << i;

        std::unique_ptr<std::atomic<int>[]> halves(new std::atomic<int>[count + 1]());
        ForHalves(count, 16, [&](std::size_t begin, std::size_t end) {
            for (std::size_t i = begin; i < end; ++i)
                ++halves[i];
        });
        for (std::size_t i = 0; i < count; ++i)
            ASSERT_EQ(halves[i].load(), 1) << "ForHalves " << count << " item " << i;
    }
}

TEST(WorkThreads, JoinedBeforeTheScopeEnds) {
    std::atomic<bool> told{false};
    std::atomic<int> seen{0};
    {
        TWorkThreads threads([&] { told = true; });
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(threads.Start([&] {
                while (!told)
                    std::this_thread::yield();
                ++seen;
            }));
        EXPECT_EQ(threads.Count(), 3u);
    }
    EXPECT_EQ(seen.load(), 3);

    int first = 0, second = 0;
    SideBySide([&] { first = 1; }, [&] { second = 2; });
    EXPECT_EQ(first + second, 3);
}

}  // namespace
}  // namespace movix
