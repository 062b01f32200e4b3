#pragma once
// The plain, one-value-at-a-time statistics every faster path of CStatItem
// must match to the last bit: one walk over the set bits of the mask in
// event order per figure, on one thread. Kept here as the yardstick.
#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "base/Numbers.h"
#include "core/DataSet.h"
#include "core/DataShell.h"
#include "core/EventMatrix.h"
#include "core/GateNode.h"
#include "core/StatItem.h"

namespace statref {

constexpr double kLn10 = 2.302585092994045684;
constexpr double kLog10Of2 = 0.301029995663981195;

inline uint32_t OrderKey(float v) {
    uint32_t u;
    std::memcpy(&u, &v, sizeof u);
    return (u & 0x80000000u) ? ~u : (u | 0x80000000u);
}

inline float FromOrderKey(uint32_t k) {
    const uint32_t u = (k & 0x80000000u) ? (k & 0x7FFFFFFFu) : ~k;
    float v;
    std::memcpy(&v, &u, sizeof v);
    return v;
}

struct Log2Sum {
    int64_t exponents = 0;
    int64_t count = 0;
    double even = 1.0, odd = 1.0;
    double rest = 0.0;
    uint32_t seen = 0;

    void Add(float v) {
        uint32_t u;
        std::memcpy(&u, &v, sizeof u);
        const uint32_t e = (u >> 23) & 0xFFu;
        const bool pos = v > 0.0f;
        if ((e == 0 || e == 0xFFu) && pos) {
            rest += std::log2(double(v));
            ++count;
            return;
        }
        const uint32_t mb = ((u & 0x7FFFFFu) | 0x3F800000u) & (pos ? 0xFFFFFFFFu : 0x3F800000u);
        float m;
        std::memcpy(&m, &mb, sizeof m);
        exponents += int64_t(pos ? e : 127u) - 127;
        count += pos;
        even *= double(m);
        std::swap(even, odd);
        if ((++seen & 511u) == 0) {
            int pe = 0;
            even = std::frexp(even, &pe);
            exponents += pe;
            odd = std::frexp(odd, &pe);
            exponents += pe;
        }
    }
    double Total() const { return double(exponents) + std::log2(even) + std::log2(odd) + rest; }
};

// The gated values of one parameter of a gate, as the item reads them.
struct Column {
    const float* values = nullptr;
    const uint32_t* words = nullptr;
    uint32_t count = 0;
    bool log = false;
    double scale = 0.0;
    bool ok = false;

    Column(const CGateNode* gate, int32_t par) {
        VexaDataShell* shell = gate->GetShell();
        CDataSet* ds = shell ? shell->GetDataSet() : nullptr;
        CEventMatrix* matrix = ds ? ds->GetEventMatrix() : nullptr;
        if (!matrix || matrix->GetEventCount() <= 0 || par < 0 || par >= matrix->GetParamCount()) return;
        values = matrix->GetColumn(par);
        if (!values) return;
        words = gate->GetMask().Words();
        count = std::min<uint32_t>(uint32_t(matrix->GetEventCount()), gate->GetMask().GetBitCount());
        const CParam* p = ds->GetParam(par);
        log = p && p->IsLogScale();
        if (log) {
            // $PnE decades over $PnR, a range of 1 when it is missing.
            const double decades = p->hasDecades ? p->decades : 0.0;
            const double range = p->hasRange && p->range > 0.0f ? double(p->range) : 1.0;
            scale = double(float(decades / range));
        }
        ok = true;
    }
    double Linear(double v) const { return log ? std::exp(v * scale * kLn10) : v; }

    template <class Fn>
    void ForEach(Fn&& fn) const {
        for (uint32_t e = 0; e < count; ++e) {
            if (!(words[e >> 5] & (1u << (e & 31)))) continue;
            const float v = values[e];
            if (!std::isnan(v)) fn(v);
        }
    }
};

inline double Mean(const Column& c) {
    double sum = 0.0;
    int64_t n = 0;
    c.ForEach([&](float v) {
        sum += c.Linear(v);
        ++n;
    });
    return n ? sum / double(n) : 0.0;
}

inline double SDAround(const Column& c, double mean) {
    double sum = 0.0;
    int64_t n = 0;
    c.ForEach([&](float v) {
        const double d = c.Linear(v) - mean;
        sum += d * d;
        ++n;
    });
    return n ? std::sqrt(sum / double(n)) : 0.0;
}

inline double GeoMean(const Column& c) {
    if (c.log) {
        double channels = 0.0;
        int64_t n = 0;
        c.ForEach([&](float v) {
            channels += double(v);
            ++n;
        });
        return n ? std::exp(channels / double(n) * c.scale * kLn10) : 0.0;
    }
    Log2Sum logs;
    c.ForEach([&](float v) { logs.Add(v); });
    return logs.count ? std::pow(10.0, logs.Total() * kLog10Of2 / double(logs.count)) : 0.0;
}

// max: the largest value, else the smallest; the first of equal ones.
inline double Extreme(const Column& c, bool max) {
    float best = 0.0f;
    bool any = false;
    c.ForEach([&](float v) {
        if (!any || (max ? v > best : v < best)) best = v;
        any = true;
    });
    return any ? double(best) : 0.0;
}

inline float ValueAtRank(const Column& c, const std::vector<uint32_t>& top, uint64_t rank) {
    uint32_t hi = 0;
    for (; hi < 0xFFFFu; ++hi) {
        if (rank < top[hi]) break;
        rank -= top[hi];
    }
    std::vector<uint32_t> low(0x10000u, 0);
    c.ForEach([&](float v) {
        const uint32_t k = OrderKey(v);
        if ((k >> 16) == hi) ++low[k & 0xFFFFu];
    });
    uint32_t lo = 0;
    for (; lo < 0xFFFFu; ++lo) {
        if (rank < low[lo]) break;
        rank -= low[lo];
    }
    return FromOrderKey((hi << 16) | lo);
}

inline uint64_t TopHistogram(const Column& c, std::vector<uint32_t>* top) {
    top->assign(0x10000u, 0);
    uint64_t k = 0;
    c.ForEach([&](float v) {
        ++(*top)[OrderKey(v) >> 16];
        ++k;
    });
    return k;
}

inline double Median(const Column& c) {
    std::vector<uint32_t> top;
    const uint64_t k = TopHistogram(c, &top);
    if (k == 0) return 0.0;
    double m = double(ValueAtRank(c, top, k / 2));
    if (k % 2 == 0) m = (double(ValueAtRank(c, top, k / 2 - 1)) + m) * 0.5;
    return c.Linear(m);
}

// The stored value at the rank of fraction; false without values. top and
// k are TopHistogram's.
inline bool StoredPercentile(const Column& c, const std::vector<uint32_t>& top, uint64_t k, double fraction,
                             double* out) {
    if (k == 0) return false;
    uint64_t rank = 0;
    if (k >= 2) {
        const double r = std::floor(double(k) * fraction);
        if (r >= double(k)) rank = k - 1;
        else if (r > 0.0) rank = uint64_t(r);
    }
    *out = double(ValueAtRank(c, top, rank));
    return true;
}

inline double CountOf(const CGateNode* g) {
    const EventBitMask& m = g->GetMask();
    uint64_t n = 0;
    for (uint32_t e = 0; e < m.GetBitCount(); ++e) n += m.Test(e);
    return double(n);
}

// The value of every statistic code of one parameter, as
// CStatItem::GetStatValue gives it.
inline std::vector<double> StatValues(const CGateNode* gate, int32_t par) {
    std::vector<double> out(kStatCodeCount, 0.0);
    const double events = CountOf(gate);
    out[kStatEvents] = events;
    const int64_t total = gate->GetTotalEvents();
    out[kStatPercent] = (total > 0 ? events / double(total) : 0.0) * double(100.0f);
    if (gate->GetOperator() == kGateAll) {
        out[kStatParentPercent] = 1.0 * double(100.0f);
    } else if (gate->GetInputs().size() == 1) {
        const double parent = CountOf(gate->GetInputs()[0]);
        out[kStatParentPercent] = (parent > 0 ? events / parent : 0.0) * double(100.0f);
    }
    const Column c(gate, par);
    if (!c.ok) return out;
    const double mean = Mean(c), sd = SDAround(c, mean);
    out[kStatMean] = mean;
    out[kStatMedian] = Median(c);
    out[kStatGeoMean] = GeoMean(c);
    out[kStatSD] = sd;
    out[kStatMax] = Extreme(c, true);
    out[kStatMin] = Extreme(c, false);
    out[kStatCV] = CStatItem::CalcCV(sd, mean);
    return out;
}

inline std::string StatText(const std::vector<double>& values, int32_t code) {
    if (code == kStatEvents) return lm::FormatInt(int64_t(values[kStatEvents]));
    if (code < 0 || code >= kStatCodeCount) return {};
    return lm::FormatFixed(values[size_t(code)], 2);
}

}  // namespace statref
