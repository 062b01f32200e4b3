#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "core/Slices.h"

namespace {

// Starters standing in for a system that gives no thread, or only the first.
std::thread NoThread(std::function<void()>) {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
}

std::atomic<int> g_started{0};
std::thread OneThreadOnly(std::function<void()> work) {
    if (g_started++ >= 1) return NoThread(std::move(work));
    return std::thread(std::move(work));
}

std::thread CountingStarter(std::function<void()> work) {
    ++g_started;
    return std::thread(std::move(work));
}

struct Record {
    std::mutex lock;
    std::vector<int> hits;
    std::set<std::thread::id> threads;
    explicit Record(size_t n) : hits(n, 0) {}
    void Hit(size_t k) {
        const std::lock_guard<std::mutex> g(lock);
        ++hits[k];
        threads.insert(std::this_thread::get_id());
    }
};

}  // namespace

TEST(Slices, EveryTaskRunsExactlyOnceWhateverTheThreadsGiven) {
    struct Case {
        const char* name;
        lm::ThreadStarter starter;
        bool parallel;
    } cases[] = {
        {"threads", &lm::StartStdThread, true},
        {"no thread can be had", &NoThread, true},
        {"only one thread can be had", &OneThreadOnly, true},
        {"asked to stay on this thread", &lm::StartStdThread, false},
    };
    for (const Case& c : cases) {
        g_started = 0;
        const lm::ScopedThreadStarter use(c.starter);
        Record rec(1000);
        lm::ForTasks(rec.hits.size(), [&](size_t k) { rec.Hit(k); }, c.parallel);
        for (size_t k = 0; k < rec.hits.size(); ++k) ASSERT_EQ(rec.hits[k], 1) << c.name << " task " << k;
        if (c.starter == &NoThread || !c.parallel) {
            // All of it on the caller's thread.
            EXPECT_EQ(rec.threads, std::set<std::thread::id>{std::this_thread::get_id()}) << c.name;
        }
    }
}

TEST(Slices, TasksInOrderOnOneThreadWhenNotParallel) {
    std::vector<size_t> order;
    lm::ForTasks(5, [&](size_t k) { order.push_back(k); }, false);
    EXPECT_EQ(order, (std::vector<size_t>{0, 1, 2, 3, 4}));
    lm::ForTasks(0, [&](size_t k) { order.push_back(k + 100); });
    EXPECT_EQ(order.size(), 5u);  // no task, no call
}

TEST(Slices, TasksGoThroughTheStarterWhenTheMachineHasCores) {
    if (lm::UsableCores() < 2) GTEST_SKIP() << "one core: nothing is started";
    g_started = 0;
    const lm::ScopedThreadStarter use(&CountingStarter);
    lm::ForTasks(64, [](size_t) {});
    EXPECT_EQ(g_started.load(), int(lm::UsableCores()) - 1);
}

TEST(Slices, SlicesCoverTheRangeOnceWithoutThreads) {
    const size_t n = 100003;  // not a multiple of any slice count
    for (lm::ThreadStarter starter : {&lm::StartStdThread, &NoThread}) {
        const lm::ScopedThreadStarter use(starter);
        Record rec(n);
        lm::ForSlices(n, 1000, [&](size_t b, size_t e) {
            for (size_t k = b; k < e; ++k) rec.Hit(k);
        });
        size_t wrong = 0;
        for (int h : rec.hits) wrong += h != 1;
        EXPECT_EQ(wrong, 0u);
        if (starter == &NoThread) {
            EXPECT_EQ(rec.threads.size(), 1u);
        }
    }
}

TEST(Slices, StarterIsRestoredWhenTheScopeEnds) {
    {
        const lm::ScopedThreadStarter use(&NoThread);
        EXPECT_EQ(lm::CurrentThreadStarter(), &NoThread);
    }
    EXPECT_EQ(lm::CurrentThreadStarter(), &lm::StartStdThread);
}

#if defined(__linux__)
// A process limited to one core (taskset, a container) must not split its
// work over threads that would only queue behind each other.
TEST(Slices, CoresFollowTheAffinityOfTheCallingThread) {
    cpu_set_t saved;
    ASSERT_EQ(sched_getaffinity(0, sizeof saved, &saved), 0);
    const int allowed = CPU_COUNT(&saved);
    EXPECT_EQ(lm::AffinityCores(), size_t(allowed));
    int first = 0;
    while (!CPU_ISSET(first, &saved)) ++first;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(first, &one);
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    const size_t limited = lm::AffinityCores();
    ASSERT_EQ(sched_setaffinity(0, sizeof saved, &saved), 0);
    EXPECT_EQ(limited, 1u);
    EXPECT_GE(lm::UsableCores(), 1u);
    EXPECT_LE(lm::UsableCores(), lm::kMaxSlices);
}
#endif
