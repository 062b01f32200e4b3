// Loading speed and peak memory of the FCS reader on large synthetic files,
// and the cost of one compensation. Prints its figures; run by hand:
//   bench_fcs_load [work-folder]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/BenchCommon.h"
#include "core/DataSet.h"

namespace {

using lmbench::Clock;
using lmbench::PeakRssKiB;
using lmbench::Seconds;

// Writes an FCS 3.0 float file with events x params values; bigEndian picks
// $BYTEORD 4,3,2,1 instead of 1,2,3,4.
bool WriteFloatFile(const std::string& path, int64_t events, int params, bool bigEndian) {
    std::vector<std::string> names;
    for (int p = 1; p <= params; ++p) {
        char name[16];
        std::snprintf(name, sizeof name, "P%d", p);
        names.emplace_back(name);
    }
    const std::string head = lmbench::FloatFileHead(events, names, bigEndian);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    std::fwrite(head.data(), 1, head.size(), f);
    std::vector<uint8_t> buf;
    const int64_t chunkEvents = 65536;
    uint32_t seed = 12345;
    for (int64_t e0 = 0; e0 < events; e0 += chunkEvents) {
        int64_t cnt = std::min(chunkEvents, events - e0);
        buf.resize(size_t(cnt * params * 4));
        uint8_t* w = buf.data();
        for (int64_t e = 0; e < cnt; ++e)
            for (int p = 0; p < params; ++p) {
                seed = seed * 1664525u + 1013904223u;
                float v = float(seed >> 8) / 64.0f;
                uint32_t u;
                std::memcpy(&u, &v, 4);
                if (bigEndian) u = __builtin_bswap32(u);
                std::memcpy(w, &u, 4);
                w += 4;
            }
        std::fwrite(buf.data(), 1, buf.size(), f);
    }
    return std::fclose(f) == 0;
}

// Child mode: load once, print the time spent inside and the peak memory.
int LoadOnce(const char* path) {
    auto t0 = Clock::now();
    CDataSet* ds = new CDataSet(path, 0);
    auto t1 = Clock::now();
    volatile float sink = ds->GetEventCount() ? ds->GetEventMatrix()->GetColumn(0)[0] : 0.0f;
    (void)sink;
    std::printf("%.6f %ld %d %zu\n", Seconds(t0, t1), PeakRssKiB(), ds->GetEventCount(), ds->errors.size());
    delete ds;
    return 0;
}

struct LoadFigures {
    double mbPerS = 0;       // DATA megabytes per second inside the process
    double peakOverData = 0; // peak resident memory / DATA size
};

LoadFigures Measure(const std::string& self, const std::string& path, int64_t events, int params) {
    const double dataMB = double(events) * params * 4 / 1e6;
    double best = 1e9, bestWhole = 1e9;
    long peak = 0;
    int count = 0;
    size_t errs = 0;
    for (int rep = 0; rep < 5; ++rep) {
        int fds[2];
        if (pipe(fds) != 0) return {};
        auto t0 = Clock::now();
        pid_t pid = fork();
        if (pid == 0) {
            dup2(fds[1], 1);
            close(fds[0]);
            execl(self.c_str(), self.c_str(), "--load", path.c_str(), (char*)nullptr);
            _exit(127);
        }
        close(fds[1]);
        char out[256] = {};
        ssize_t got = read(fds[0], out, sizeof out - 1);
        close(fds[0]);
        int status = 0;
        rusage ru{};
        wait4(pid, &status, 0, &ru);
        auto t1 = Clock::now();
        if (got <= 0) continue;
        double inside;
        long rss;
        std::sscanf(out, "%lf %ld %d %zu", &inside, &rss, &count, &errs);
        best = std::min(best, inside);
        bestWhole = std::min(bestWhole, Seconds(t0, t1));
        peak = std::max(peak, rss);
    }
    std::printf("%-28s DATA %7.1f MB  events %d  errors %zu\n", path.substr(path.rfind('/') + 1).c_str(), dataMB,
                count, errs);
    if (best >= 1e9) {
        std::printf("  no load run finished\n");
        return {};
    }
    const LoadFigures f{dataMB / best, peak * 1024.0 / 1e6 / dataMB};
    std::printf("  inside the process : %.3f s  %.0f MB/s\n", best, f.mbPerS);
    std::printf("  whole process      : %.3f s\n", bestWhole);
    std::printf("  peak memory        : %.1f MB  (%.2f x DATA)\n", peak / 1024.0, f.peakOverData);
    return f;
}

void MeasureCompensation() {
    // 1,000,000 events x 8 parameters through an 8x8 matrix.
    const int n = 8;
    const int64_t events = 1000000;
    char tmpl[] = "/tmp/lumitra-comp-XXXXXX";
    int fd = mkstemp(tmpl);
    if (fd < 0) return;
    close(fd);
    WriteFloatFile(tmpl, events, n, false);
    CDataSet* ds = new CDataSet(tmpl, 0);
    CSpillMatrix m(n);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) *m.Element(i, j) = i == j ? 1.0f : 0.01f * float((i + 2 * j) % 7);
    double best = 1e9;
    for (int rep = 0; rep < 5; ++rep) {
        auto t0 = Clock::now();
        bool ok = ds->Compensate(&m);
        auto t1 = Clock::now();
        if (!ok) std::printf("compensation refused\n");
        best = std::min(best, Seconds(t0, t1));
    }
    std::printf("compensation 1,000,000 events, 8x8 matrix: %.1f ms\n", best * 1e3);
    delete ds;
    unlink(tmpl);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--load") == 0) return LoadOnce(argv[2]);
    std::string dir = argc > 1 ? argv[1] : "/tmp";
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return 1;

    // `targeted`: the file whose figures are printed as BENCH lines.
    struct Case { const char* name; int64_t events; int params; bool big; bool targeted; };
    const Case cases[] = {{"bench-1M-x20.fcs", 1000000, 20, false, true},
                          {"bench-10M-x8.fcs", 10000000, 8, true, false}};
    for (const Case& c : cases) {
        std::string path = dir + "/" + c.name;
        if (!WriteFloatFile(path, c.events, c.params, c.big)) {
            std::printf("cannot write %s\n", path.c_str());
            return 1;
        }
        // Load once untimed so that every measured run finds the file cached.
        delete new CDataSet(path.c_str(), 0);
        const LoadFigures f = Measure(self, path, c.events, c.params);
        unlink(path.c_str());
        if (!c.targeted || f.mbPerS <= 0) continue;
        const std::string size = lmbench::SizeKey(c.events) + "_x" + std::to_string(c.params);
        lmbench::Bench("load_" + size + "_mb_per_s", f.mbPerS, "MB/s");
        lmbench::Bench("load_peak_over_data", f.peakOverData, "x");
    }
    MeasureCompensation();
    return 0;
}
