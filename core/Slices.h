#pragma once
// Splitting batch work across the cores: short-lived threads, all joined
// before the call returns. Callers hand over pure computations (a slice of
// events, or one task of a list), so the result is the same whatever the
// split. When no thread can be had the work is done on the calling thread:
// a system out of threads gets slower, never a terminated program.
#if defined(__linux__)
#include <sched.h>
#endif

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <functional>
#include <system_error>
#include <thread>
#include <vector>

namespace lm {

// Starts one worker thread. It may throw std::system_error as the
// std::thread constructor does when the system has no thread to give.
using ThreadStarter = std::thread (*)(std::function<void()> work);

inline std::thread StartStdThread(std::function<void()> work) { return std::thread(std::move(work)); }

// The starter every split uses. Tests put in one that fails.
inline ThreadStarter& CurrentThreadStarter() {
    static ThreadStarter starter = &StartStdThread;
    return starter;
}

// Puts a starter in place for its lifetime (tests only; not thread-safe
// against splits running at the same time).
class ScopedThreadStarter {
public:
    explicit ScopedThreadStarter(ThreadStarter starter) : m_old(CurrentThreadStarter()) {
        CurrentThreadStarter() = starter;
    }
    ~ScopedThreadStarter() { CurrentThreadStarter() = m_old; }
    ScopedThreadStarter(const ScopedThreadStarter&) = delete;
    ScopedThreadStarter& operator=(const ScopedThreadStarter&) = delete;

private:
    ThreadStarter m_old;
};

// At most this many threads work on one split.
constexpr size_t kMaxSlices = 8;

// The cores the calling thread may run on (a taskset or a container's CPU
// limit), not every core of the machine: threads beyond them only queue.
inline size_t AffinityCores() {
#if defined(__linux__)
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        const int n = CPU_COUNT(&set);
        if (n > 0) return size_t(n);
    }
#endif
    return std::max<size_t>(std::thread::hardware_concurrency(), 1);
}

// Threads one split may use; taken once per process, as every split asks.
inline size_t UsableCores() {
    static const size_t cores = std::clamp<size_t>(AffinityCores(), 1, kMaxSlices);
    return cores;
}

// Runs fn(begin, end) over [0, n) in a few pieces of at least minSlice items
// on short-lived threads when n is large, else at once on this thread.
// Pieces do not overlap and cover [0, n) exactly once.
template <class Fn>
void ForSlices(size_t n, size_t minSlice, Fn&& fn) {
    if (minSlice == 0) minSlice = 1;
    const size_t slices = std::min(UsableCores(), n / minSlice);
    if (slices <= 1) {
        fn(size_t(0), n);
        return;
    }
    const size_t chunk = (n + slices - 1) / slices;
    std::vector<std::thread> workers;
    workers.reserve(slices - 1);
    for (size_t b = chunk; b < n; b += chunk) {
        const size_t e = b + chunk < n ? b + chunk : n;
        try {
            workers.push_back(CurrentThreadStarter()([&fn, b, e] { fn(b, e); }));
        } catch (const std::system_error&) {
            fn(b, e);  // no thread to be had: do it here
        }
    }
    fn(size_t(0), chunk);
    for (std::thread& w : workers) w.join();
}

// Runs fn(k) once for every k in [0, n), the tasks taken in turn by a few
// short-lived threads and this one; for lists of uneven tasks (one may walk
// a million events, the next count a mask). With parallel false, or when no
// thread can be had, every task runs here in order.
template <class Fn>
void ForTasks(size_t n, Fn&& fn, bool parallel = true) {
    std::atomic<size_t> next{0};
    auto work = [&next, &fn, n] {
        for (size_t k = next++; k < n; k = next++) fn(k);
    };
    const size_t threads = parallel ? std::min(UsableCores(), n) : 1;
    std::vector<std::thread> workers;
    workers.reserve(threads > 1 ? threads - 1 : 0);
    for (size_t t = 1; t < threads; ++t) {
        try {
            workers.push_back(CurrentThreadStarter()(work));
        } catch (const std::system_error&) {
            break;  // the threads started and this one share the rest
        }
    }
    work();
    for (std::thread& w : workers) w.join();
}

}  // namespace lm
