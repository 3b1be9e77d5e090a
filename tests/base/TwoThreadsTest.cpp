#include <gtest/gtest.h>

#include <atomic>
#include <cfenv>
#include <chrono>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/TwoThreads.h"

namespace orvane {
namespace {

TEST(RunOnTwoThreads, RunsEveryTaskOnce)
{
    for (const bool share : {false, true}) {
        for (const std::size_t count : {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{5000}}) {
            std::vector<std::atomic<int>> runs(count);
            RunOnTwoThreads(count, [&](std::size_t i) { ++runs[i]; }, share);
            for (std::size_t i = 0; i < count; ++i)
                ASSERT_EQ(runs[i], 1) << "task " << i << " of " << count << (share ? ", shared" : "");
        }
    }
}

TEST(RunOnTwoThreads, EndsWithTheErrorOfTheLowestFailingTaskAsOneThreadWould)
{
    // Whatever the helper took, the error is that of the first failing task in order, and
    // every task before it has run: also when that task fails after the next failing one
    // (it takes longer), or before a next one already running fails.
    struct Case {
        std::set<std::size_t> bad;
        std::map<std::size_t, int> milliseconds;  // tasks that take that long
    };
    const std::vector<Case> cases = {{{0}, {}},          {{5}, {}},          {{5, 6, 700}, {}},
                                     {{1999}, {}},       {{300, 1200}, {}},  {{0, 1}, {{0, 30}}},
                                     {{40, 41, 42}, {{40, 30}}}, {{40, 41}, {{40, 5}, {41, 30}}}};
    for (const bool share : {false, true}) {
        for (const auto& [bad, milliseconds] : cases) {
            std::vector<std::atomic<int>> runs(2000);
            try {
                RunOnTwoThreads(
                    2000,
                    [&, &bad = bad, &milliseconds = milliseconds](std::size_t i) {
                        ++runs[i];
                        if (const auto slow = milliseconds.find(i); slow != milliseconds.end())
                            std::this_thread::sleep_for(std::chrono::milliseconds(slow->second));
                        if (bad.count(i))
                            throw std::runtime_error("task " + std::to_string(i));
                    },
                    share);
                ADD_FAILURE() << "no error";
            } catch (const std::runtime_error& e) {
                EXPECT_EQ("task " + std::to_string(*bad.begin()), e.what());
            }
            for (std::size_t i = 0; i <= *bad.begin(); ++i)
                ASSERT_EQ(runs[i], 1) << "task " << i << " before the first failing " << *bad.begin();
            if (!share) {
                for (std::size_t i = *bad.begin() + 1; i < 2000; ++i)
                    ASSERT_EQ(runs[i], 0) << "task " << i << " after the failing " << *bad.begin();
            }
        }
    }
}

TEST(RunOnTwoThreads, FaultFlagsRaisedOnTheHelperReachTheCaller)
{
    const std::thread::id caller = std::this_thread::get_id();
    std::atomic<bool> helped{false};
    std::feclearexcept(FE_ALL_EXCEPT);
    RunOnTwoThreads(100, [&](std::size_t) {
        if (std::this_thread::get_id() != caller) {
            helped = true;
            std::feraiseexcept(FE_DIVBYZERO);
            return;
        }
        // This thread waits (a second at most) until the helper has taken a task.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        while (!helped && std::chrono::steady_clock::now() < until)
            std::this_thread::yield();
    });
    if (!helped)
        GTEST_SKIP() << "the helper took no task";
    EXPECT_TRUE(std::fetestexcept(FE_DIVBYZERO));
    std::feclearexcept(FE_ALL_EXCEPT);
}

} // namespace
} // namespace orvane
