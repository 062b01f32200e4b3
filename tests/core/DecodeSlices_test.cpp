// Large DATA segments are decoded in slices of events on several threads:
// every layout gives the values the one-thread decoding gives, from memory
// and from a file on disk (whose decoded windows are released as it goes).
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "core/DataSet.h"
#include "core/EventMatrix.h"
#include "core/Slices.h"
#include "tests/support/FcsWriter.h"

namespace {

std::thread NoThread(std::function<void()>) {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
}

std::vector<std::vector<float>> RawColumns(const CDataSet& ds) {
    std::vector<std::vector<float>> out;
    const CEventMatrix* em = ds.GetEventMatrix();
    for (int32_t j = 0; em && j < em->GetParamCount(); ++j) {
        const float* c = em->GetRawColumn(j);
        out.emplace_back(c, c + em->GetEventCount());
    }
    return out;
}

bool SameBits(const std::vector<std::vector<float>>& a, const std::vector<std::vector<float>>& b) {
    if (a.size() != b.size()) return false;
    for (size_t j = 0; j < a.size(); ++j)
        if (a[j].size() != b[j].size() || std::memcmp(a[j].data(), b[j].data(), a[j].size() * sizeof(float)) != 0)
            return false;
    return true;
}

}  // namespace

TEST(DecodeSlices, EveryLayoutDecodesAsOnOneThread) {
    struct Layout {
        const char* what;
        char type;
        const char* order;
        std::vector<int> bits;  // per parameter; 40 cannot be decoded
        const char* range;
    };
    const Layout layouts[] = {
        {"float little-endian", 'F', "1,2,3,4", {32, 32, 32}, "262144"},
        {"float big-endian", 'F', "4,3,2,1", {32, 32}, "262144"},
        {"float mixed order", 'F', "2,1,4,3", {32, 32}, "262144"},
        {"integers 8/16/32 little-endian, one undecodable", 'I', "1,2,3,4", {8, 16, 32, 40, 16}, "1000"},
        {"integers big-endian", 'I', "4,3,2,1", {16, 32}, "65536"},
        {"doubles", 'D', "1,2,3,4,5,6,7,8", {64, 64}, "262144"},
    };
    const int32_t events = 3 * 65536 + 4097;  // several slices, none a whole number of blocks
    lmtest::TempDir dir;
    for (const Layout& l : layouts) {
        SCOPED_TRACE(l.what);
        lmtest::FcsWriter w;
        w.DataType(l.type).ByteOrder(l.order);
        for (size_t p = 0; p < l.bits.size(); ++p) w.Param("P" + std::to_string(p), l.bits[p], l.range);
        uint32_t seed = 31;
        std::vector<double> ev(l.bits.size());
        for (int32_t e = 0; e < events; ++e) {
            for (size_t p = 0; p < ev.size(); ++p) {
                seed = seed * 1664525u + 1013904223u;
                const double u = double(seed >> 8) / double(1u << 24);
                ev[p] = l.type == 'I' ? double(uint32_t(u * 255.0 * (l.bits[p] > 8 ? 200.0 : 1.0)))
                                      : (u - 0.25) * 1e5;
            }
            w.Event(ev);
        }
        const std::vector<uint8_t> bytes = w.Build();
        const std::string path = dir.Write(std::string("layout") + l.type + std::to_string(l.bits.size()) + ".fcs", bytes);
        ASSERT_FALSE(path.empty());

        std::vector<std::vector<float>> oneThread;
        {
            lm::ScopedThreadStarter none(&NoThread);
            auto ds = lmtest::LoadFcsBytes(bytes);
            ASSERT_EQ(ds->GetEventCount(), events);
            oneThread = RawColumns(*ds);
        }
        ASSERT_EQ(oneThread.size(), l.bits.size());
        EXPECT_TRUE(SameBits(RawColumns(*lmtest::LoadFcsBytes(bytes)), oneThread)) << "from memory";
        CDataSet fromFile(path, 0);
        EXPECT_EQ(fromFile.GetEventCount(), events);
        EXPECT_TRUE(SameBits(RawColumns(fromFile), oneThread)) << "from the file";
        // The written values come back (floats exactly, as written).
        if (l.type == 'F') {
            seed = 31;
            for (int32_t e = 0; e < 3; ++e)
                for (size_t p = 0; p < ev.size(); ++p) {
                    seed = seed * 1664525u + 1013904223u;
                    const double u = double(seed >> 8) / double(1u << 24);
                    EXPECT_EQ(oneThread[p][size_t(e)], float((u - 0.25) * 1e5)) << e << " " << p;
                }
        }
    }
}
