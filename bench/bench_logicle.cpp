// Logicle batch conversion: nanoseconds per value of CLogical::ToFractions
// and ToFractionsMasked over a 10M-event fluorescence column (a dim and a
// bright population, as bench_gates makes), on the vector path, on the
// portable path and value by value through ToFraction.
//   bench_logicle [events]       BENCH logicle_batch_ns (fastest path), logicle_batch_avx2_ns,
//                                logicle_batch_portable_ns,
//                                logicle_masked_ns, logicle_scalar_ns
//   bench_logicle --profile      the vector path only, 10 times over 10M values
//   bench_logicle --exhaustive   every one of the 2^32 float bit patterns through
//                                every batch path against ToFraction (default
//                                T 262144, r -10, M 4.5); prints the mismatches
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/BenchCommon.h"
#include "core/Slices.h"
#include "core/Trans.h"
#include "core/TransBatch.h"

namespace {

using lmbench::Time;

const char* PathName(lm::logicle::Path p) {
    return p == lm::logicle::Path::kAvx512 ? "AVX-512" : p == lm::logicle::Path::kAvx2 ? "AVX2" : "portable";
}

std::vector<float> Column(size_t events) {
    std::vector<float> v(events);
    lmbench::XorShift next{0x9E3779B97F4A7C15ull};
    for (size_t e = 0; e < events; ++e) v[e] = lmbench::FluorescenceValue(next);
    return v;
}

int Exhaustive() {
    using lm::logicle::Path;
    const CLogical lg(262144.0f, -10.0f, 4.5f);
    constexpr size_t kBlock = size_t(1) << 16;  // below the size that starts threads
    constexpr size_t kTotal = size_t(1) << 32;
    const Path paths[3] = {Path::kAvx512, Path::kAvx2, Path::kPortable};
    std::atomic<uint64_t> bad[3] = {0, 0, 0};
    std::atomic<uint64_t> firstBad[3] = {~0ull, ~0ull, ~0ull};
    const auto t0 = lmbench::Clock::now();
    lm::ForSlices(kTotal / kBlock, 1, [&](size_t b0, size_t b1) {
        std::vector<float> in(kBlock), want(kBlock), out(kBlock), masked(kBlock);
        std::vector<uint32_t> words(kBlock / 32);
        // Every other word of the mask, bits alternating.
        for (size_t w = 0; w < words.size(); ++w) words[w] = (w & 1) ? 0u : 0x5555aaaau;
        for (size_t b = b0; b < b1; ++b) {
            for (size_t i = 0; i < kBlock; ++i) {
                const uint32_t bits = uint32_t(b * kBlock + i);
                std::memcpy(&in[i], &bits, 4);
                want[i] = lg.ToFraction(in[i]);
            }
            for (int path = 0; path < 3; ++path) {
                if (int(paths[path]) > int(lm::logicle::BestPath())) continue;  // not on this machine
                lm::logicle::LimitPath(paths[path]);
                lg.ToFractions(in.data(), kBlock, out.data());
                std::fill(masked.begin(), masked.end(), -7.0f);
                lg.ToFractionsMasked(in.data(), kBlock, words.data(), masked.data());
                for (size_t i = 0; i < kBlock; ++i) {
                    const bool set = (words[i / 32] >> (i % 32)) & 1u;
                    const float wantMasked = set ? want[i] : -7.0f;
                    if (std::memcmp(&want[i], &out[i], 4) != 0 || std::memcmp(&wantMasked, &masked[i], 4) != 0) {
                        ++bad[path];
                        uint64_t cur = firstBad[path].load();
                        const uint64_t pat = b * kBlock + i;
                        while (pat < cur && !firstBad[path].compare_exchange_weak(cur, pat)) {
                        }
                    }
                }
            }
        }
    });
    std::printf("exhaustive: all 2^32 float patterns, T 262144 r -10 M 4.5, fastest path %s\n",
                PathName(lm::logicle::BestPath()));
    for (int path = 0; path < 3; ++path) {
        char first[64] = "";
        if (bad[path]) std::snprintf(first, sizeof first, ", first pattern 0x%08llx", (unsigned long long)firstBad[path].load());
        std::printf("  %-8s path: %llu mismatches (ToFractions and ToFractionsMasked against ToFraction)%s%s\n",
                    PathName(paths[path]), (unsigned long long)bad[path].load(), first,
                    int(paths[path]) > int(lm::logicle::BestPath()) ? " (not run: no CPU support)" : "");
    }
    std::printf("  %.1f s\n", lmbench::Seconds(t0, lmbench::Clock::now()));
    return bad[0] || bad[1] || bad[2] ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--exhaustive") == 0) return Exhaustive();
    if (argc > 1 && std::strcmp(argv[1], "--profile") == 0) {
        // The vector path alone, for a profiler.
        const std::vector<float> col = Column(10000000);
        std::vector<float> out(col.size());
        const CLogical lg(262144.0f, -10.0f, 4.5f);
        for (int i = 0; i < 10; ++i) lg.ToFractions(col.data(), col.size(), out.data());
        return 0;
    }
    const size_t events = argc > 1 ? size_t(std::atoll(argv[1])) : size_t(10000000);
    const std::vector<float> col = Column(events);
    std::vector<float> out(events);
    std::vector<uint32_t> words((events + 31) / 32);
    uint64_t s = 12345;
    for (uint32_t& w : words) {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        w = uint32_t(s >> 32);  // about half the events
    }
    const CLogical lg(262144.0f, -10.0f, 4.5f);
    std::printf("== logicle batch conversion, %zu events, fastest path: %s ==\n", events,
                PathName(lm::logicle::BestPath()));
    auto per = [&](double ms, size_t count) { return ms * 1e6 / double(count); };
    const double vec = Time(5, [&] { lg.ToFractions(col.data(), events, out.data()); }).min;
    const double masked =
        Time(5, [&] { lg.ToFractionsMasked(col.data(), events, words.data(), out.data()); }).min;
    lm::logicle::LimitPath(lm::logicle::Path::kAvx2);
    const double avx2 = Time(5, [&] { lg.ToFractions(col.data(), events, out.data()); }).min;
    lm::logicle::LimitPath(lm::logicle::Path::kPortable);
    const double port = Time(3, [&] { lg.ToFractions(col.data(), events, out.data()); }).min;
    lm::logicle::LimitPath(lm::logicle::Path::kAvx512);
    const size_t scalarN = std::min<size_t>(events, 2000000);
    const double scalar = Time(3, [&] {
        for (size_t i = 0; i < scalarN; ++i) out[i] = lg.ToFraction(col[i]);
    }).min;
    std::printf("  ToFractions %.1f ms | AVX2 %.1f ms | portable %.1f ms | masked (half the events) %.1f ms | "
                "ToFraction one by one %.2f ns\n",
                vec, avx2, port, masked, per(scalar, scalarN));
    lmbench::Bench("logicle_batch_ns", per(vec, events), "ns");
    lmbench::Bench("logicle_batch_avx2_ns", per(avx2, events), "ns");
    lmbench::Bench("logicle_batch_portable_ns", per(port, events), "ns");
    lmbench::Bench("logicle_masked_ns", per(masked, events), "ns");
    lmbench::Bench("logicle_scalar_ns", per(scalar, scalarN), "ns");
    return 0;
}
