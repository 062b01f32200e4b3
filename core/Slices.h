#pragma once
// Splitting batch work over events across the cores: short-lived threads,
// all joined before the call returns. Callers hand over a pure computation on
// its own slice, so the result is the same whatever the split.
#include <cstddef>
#include <system_error>
#include <thread>
#include <vector>

namespace lm {

// Runs fn(begin, end) over [0, n) in a few pieces of at least minSlice items
// on short-lived threads when n is large, else at once on this thread.
template <class Fn>
void ForSlices(size_t n, size_t minSlice, Fn&& fn) {
    constexpr size_t kMaxSlices = 8;
    size_t slices = std::thread::hardware_concurrency();
    if (slices > kMaxSlices) slices = kMaxSlices;
    if (minSlice == 0) minSlice = 1;
    if (slices > n / minSlice) slices = n / minSlice;
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
            workers.emplace_back([&fn, b, e] { fn(b, e); });
        } catch (const std::system_error&) {
            fn(b, e);  // no thread to be had: do it here
        }
    }
    fn(size_t(0), chunk);
    for (std::thread& w : workers) w.join();
}

}  // namespace lm
