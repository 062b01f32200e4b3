#include "core/StatItem.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/Numbers.h"
#include "core/DataSet.h"
#include "core/DataShell.h"
#include "core/FloatOrder.h"
#include "core/GateNode.h"
#include "core/Observers.h"
#include "core/Slices.h"

namespace {
constexpr double kLn10 = 2.302585092994045684;
constexpr double kLog10Of2 = 0.301029995663981195;

// Gates of fewer events are summed on the calling thread alone: starting
// threads would cost more than they save.
constexpr uint32_t kMinSplitEvents = 1u << 16;
// Least number of mask words (32 events each) a thread takes in a pass that
// is split over slices.
constexpr size_t kMinSliceWords = 2048;

using lm::FromOrderKey;
using lm::OrderKey;

// Linear value a stored channel of a log-amplified parameter stands for.
inline double LinearOf(double v, double scale) { return std::exp(v * scale * kLn10); }

// The gated events of one column: the values, the gate's mask words and
// the number of events both cover.
struct Gated {
    const float* values = nullptr;
    const uint32_t* words = nullptr;
    uint32_t count = 0;

    size_t WordCount() const { return (size_t(count) + 31) / 32; }
    // Mask word w without the bits past the last event.
    uint32_t Bits(size_t w) const {
        const uint32_t b = words[w];
        return (w + 1) * 32 <= count ? b : b & ((1u << (count & 31)) - 1);
    }
};

// Calls fn(value, event) for every gated event of words [wb, we) in event
// order. NaN values stand for no measurement and are left out. A full word
// is walked straight through, without looking for its bits one by one.
// Always inlined, so that the caller's sums stay in registers across values
// (a sum kept in memory doubles the time of each addition of the chain).
template <class Fn>
__attribute__((always_inline)) inline void ForGated(const Gated& g, size_t wb, size_t we, Fn&& fn) {
    for (size_t w = wb; w < we; ++w) {
        uint32_t bits = g.Bits(w);
        const float* base = g.values + w * 32;
        if (bits == 0xFFFFFFFFu) {
            for (size_t i = 0; i < 32; ++i) {
                const float v = base[i];
                if (!std::isnan(v)) fn(v, w * 32 + i);
            }
            continue;
        }
        while (bits) {
            const uint32_t i = uint32_t(std::countr_zero(bits));
            bits &= bits - 1;
            const float v = base[i];
            if (!std::isnan(v)) fn(v, w * 32 + i);
        }
    }
}

// Word ranges of about equal size covering [0, words), one per thread of a
// pass split over slices; a single one when the pass is small.
std::vector<std::pair<size_t, size_t>> SplitWords(size_t words, bool split) {
    const size_t pieces = split ? std::clamp<size_t>(words / kMinSliceWords, 1, lm::UsableCores()) : 1;
    const size_t chunk = std::max<size_t>(1, (words + pieces - 1) / pieces);
    std::vector<std::pair<size_t, size_t>> out;
    for (size_t b = 0; b < words; b += chunk) out.push_back({b, std::min(words, b + chunk)});
    if (out.empty()) out.push_back({0, 0});
    return out;
}

// The histograms of the slices of one pass, side by side in one block
// (allocated here, on the calling thread, so that the memory is reused from
// one pass to the next), then added up into the first: counts are integers,
// so any split gives the same sums.
struct SliceHistograms {
    size_t bins;
    std::vector<uint32_t> counts;
    SliceHistograms(size_t slices, size_t binCount) : bins(binCount), counts(slices * binCount, 0) {}
    uint32_t* Of(size_t slice) { return counts.data() + slice * bins; }
    void Sum(std::vector<uint32_t>* out) {
        const size_t slices = counts.size() / bins;
        out->assign(counts.begin(), counts.begin() + ptrdiff_t(bins));
        for (size_t k = 1; k < slices; ++k) {
            const uint32_t* part = Of(k);
            for (size_t b = 0; b < bins; ++b) (*out)[b] += part[b];
        }
    }
};

// The plain sum of the stored values in event order, with their count and
// extremes. Of equal values (0 and -0) the first one is kept.
struct StoredSums {
    double sum = 0.0;
    int64_t n = 0;
    float lo = INFINITY, hi = -INFINITY;
};

__attribute__((noinline)) StoredSums SumStored(const Gated& g) {
    double sum = 0.0;
    int64_t n = 0;
    float lo = INFINITY, hi = -INFINITY;
    ForGated(g, 0, g.WordCount(), [&](float v, size_t) {
        sum += double(v);
        ++n;
        // Rarely taken: no chain through the extremes.
        if (v > hi) [[unlikely]] hi = v;
        if (v < lo) [[unlikely]] lo = v;
    });
    return {sum, n, lo, hi};
}

// Sum of the squared distances of the stored values from mean, in event
// order; n is their number. The chains are functions of their own (never
// inlined): in a larger function the compiler may keep a sum in memory,
// which makes each addition of the chain take twice as long.
__attribute__((noinline)) double SumSquares(const Gated& g, double mean, int64_t* n) {
    double sum = 0.0;
    int64_t count = 0;
    ForGated(g, 0, g.WordCount(), [&](float v, size_t) {
        const double d = double(v) - mean;
        sum += d * d;
        ++count;
    });
    *n = count;
    return sum;
}

// Sum of term(v) over the gated values in event order; n is their number.
// For a log-amplified parameter the exponential of each value, not the
// chain of additions, sets the pace. Working the exponentials out on other
// threads first was tried: a buffer of terms handed from thread to thread
// block by block, where every block waits for its slowest thread, came out
// slower than this on a busy machine.
template <class Term>
__attribute__((noinline)) double SumTermsInOrder(const Gated& g, Term term, int64_t* n) {
    double sum = 0.0;
    int64_t count = 0;
    ForGated(g, 0, g.WordCount(), [&](float v, size_t) {
        sum += term(v);
        ++count;
    });
    *n = count;
    return sum;
}

// Sum of log2 over the positive values among floats, without a logarithm
// per value: the exponents are added as integers and the mantissas
// (1 <= m < 2) multiplied in double (two products, to halve the chain of
// dependent multiplications), renormalised every 512 values. Values at or
// below 0 are skipped without a branch (their factor is 1).
struct Log2Sum {
    int64_t exponents = 0;
    int64_t count = 0;
    double even = 1.0, odd = 1.0;
    double rest = 0.0;  // subnormal and infinite values, through log2
    uint32_t seen = 0;

    void Add(float v) {
        uint32_t u;
        std::memcpy(&u, &v, sizeof u);
        const uint32_t e = (u >> 23) & 0xFFu;
        const bool pos = v > 0.0f;
        if ((e == 0 || e == 0xFFu) && pos) [[unlikely]] {
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
        if ((++seen & 511u) == 0) [[unlikely]] Renormalise();
    }
    // Adds 32 values in a row exactly as Add would one by one, and says
    // true, when none is NaN, infinite, or subnormal and positive, and no
    // renormalisation falls among them; else adds nothing and says false.
    // The factors and exponents are worked out four at a time; only the two
    // products remain a chain, one lane each of a pair of doubles (value i
    // goes into even, i + 1 into odd, as Add swaps them after each value).
    bool AddPlain32(const float* values) {
#if defined(__SSE2__)
        if ((seen & 511u) > 512u - 32u) return false;
        const __m128i expMask = _mm_set1_epi32(0xFF), mantMask = _mm_set1_epi32(0x7FFFFF);
        const __m128i one = _mm_set1_epi32(0x3F800000), bias = _mm_set1_epi32(127), zero = _mm_setzero_si128();
        __m128i special = zero, exps = zero, positives = zero;
        __m128d products = _mm_set_pd(odd, even);
        for (size_t i = 0; i < 32; i += 4) {
            const __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i*>(values + i));
            const __m128i e = _mm_and_si128(_mm_srli_epi32(u, 23), expMask);
            const __m128i pos = _mm_cmpgt_epi32(u, zero);  // v > 0 for a value that is not NaN
            special = _mm_or_si128(special, _mm_cmpeq_epi32(e, expMask));
            special = _mm_or_si128(special, _mm_and_si128(_mm_cmpeq_epi32(e, zero), pos));
            exps = _mm_add_epi32(exps, _mm_and_si128(_mm_sub_epi32(e, bias), pos));
            positives = _mm_sub_epi32(positives, pos);
            const __m128 m = _mm_castsi128_ps(_mm_or_si128(_mm_and_si128(_mm_and_si128(u, mantMask), pos), one));
            products = _mm_mul_pd(products, _mm_cvtps_pd(m));
            products = _mm_mul_pd(products, _mm_cvtps_pd(_mm_movehl_ps(m, m)));
        }
        if (_mm_movemask_epi8(special)) return false;
        alignas(16) int32_t e4[4], p4[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(e4), exps);
        _mm_store_si128(reinterpret_cast<__m128i*>(p4), positives);
        _mm_storel_pd(&even, products);
        _mm_storeh_pd(&odd, products);
        exponents += int64_t(e4[0]) + e4[1] + e4[2] + e4[3];
        count += int64_t(p4[0]) + p4[1] + p4[2] + p4[3];
        seen += 32;
        if ((seen & 511u) == 0) Renormalise();
        return true;
#else
        (void)values;
        return false;  // one at a time
#endif
    }
    void Renormalise() {
        int pe = 0;
        even = std::frexp(even, &pe);
        exponents += pe;
        odd = std::frexp(odd, &pe);
        exponents += pe;
    }
    double Total() const { return double(exponents) + std::log2(even) + std::log2(odd) + rest; }
};

__attribute__((noinline)) Log2Sum SumLog2(const Gated& g) {
    Log2Sum logs;
    const size_t words = g.WordCount();
    for (size_t w = 0; w < words; ++w) {
        if (g.Bits(w) == 0xFFFFFFFFu && logs.AddPlain32(g.values + w * 32)) continue;
        ForGated(g, w, w + 1, [&logs](float v, size_t) { logs.Add(v); });
    }
    return logs;
}
}  // namespace

// Gated values of one parameter: the current column, the gate's mask words
// and, for a log-amplified parameter, the decades per channel.
struct CStatItem::Column : Gated {
    bool log = false;
    double scale = 0.0;

    // Linear value a stored channel stands for.
    double Linear(double v) const { return log ? LinearOf(v, scale) : v; }
    // Whether the gate covers enough events to share its passes among
    // threads.
    bool Split() const { return count >= kMinSplitEvents; }
};

// What the sums over the gated values of a parameter give, and what they were
// taken from. The sums run in event order, as separate passes would.
struct CStatItem::Moments {
    uint64_t maskSerial = 0;
    uint64_t generation = 0;
    const float* values = nullptr;
    uint32_t count = 0;
    bool log = false;
    double scale = 0.0;

    bool haveSums = false;  // the fields down to any
    int64_t n = 0;          // values that are not NaN
    double sum = 0.0;     // of the linear values
    double geoMean = 0.0;
    float min = 0.0f, max = 0.0f;
    bool any = false;
    bool haveMedian = false;
    double median = 0.0;
    bool haveSd = false;
    double sdMean = 0.0;  // the mean the SD was taken around
    double sd = 0.0;
};

CStatItem::CStatItem(CGateNode* gate) : m_gate(gate) {}

CStatItem::~CStatItem() {
    // Statistics cells that no result table owns go with their gate; every
    // other user is only detached.
    NotifyListed(m_users, false, [this](CStatUser* user) {
        if (user->GetMode() == kStatUserLooseCell) user->OnStatItemDeleting();
        RemoveUser(user, true, true);
    });
    m_users.clear();
}

void CStatItem::NotifyUsers() {
    NotifyListed(m_users, false, [](CStatUser* user) { user->OnStatChanged(); });
}

bool CStatItem::ReadColumn(int32_t par, Column* out) const {
    if (!m_gate) return false;
    VexaDataShell* shell = m_gate->GetShell();
    CDataSet* ds = shell ? shell->GetDataSet() : nullptr;
    CEventMatrix* matrix = ds ? ds->GetEventMatrix() : nullptr;
    if (!matrix || matrix->GetEventCount() <= 0) return false;
    if (par < 0 || par >= matrix->GetParamCount()) return false;
    const float* column = matrix->GetColumn(par);
    if (!column) return false;
    const EventBitMask& mask = m_gate->GetMask();
    out->values = column;
    out->words = mask.Words();
    out->count = std::min<uint32_t>(uint32_t(matrix->GetEventCount()), mask.GetBitCount());
    const CParam* p = ds->GetParam(par);
    out->log = p && p->IsLogScale();
    out->scale = out->log ? double(shell->LogScaleOf(par)) : 0.0;
    return true;
}

int64_t CStatItem::GetEventCount() const {
    if (!m_gate) return 0;
    return int64_t(m_gate->GetMask().CountSetBits());
}

double CStatItem::GetPercent() const {
    if (!m_gate) return 0.0;
    const int64_t total = m_gate->GetTotalEvents();
    if (total <= 0) return 0.0;
    return double(GetEventCount()) / double(total);
}

double CStatItem::GetParentPercent() const {
    if (!m_gate) return 0.0;
    if (m_gate->GetOperator() == kGateAll) return 1.0;
    const auto& inputs = m_gate->GetInputs();
    if (inputs.size() != 1) return 0.0;
    // A complement is measured where its gate was drawn: NOT G against G's
    // own parent, as G itself is, not against G, whose events it leaves out.
    // The complement of All is measured against All; a G of several inputs
    // (AND, OR) has no parent, so neither has its complement.
    const CGateNode* parentGate = inputs[0];
    if (m_gate->GetOperator() == kGateNot && parentGate->GetOperator() != kGateAll) {
        if (parentGate->GetInputs().size() != 1) return 0.0;
        parentGate = parentGate->GetInputs()[0];
    }
    const int64_t parent = int64_t(parentGate->GetMask().CountSetBits());
    if (parent <= 0) return 0.0;
    return double(GetEventCount()) / double(parent);
}

CStatItem::Moments* CStatItem::GetMoments(int32_t par, Column* c, bool withSums) const {
    if (!ReadColumn(par, c)) return nullptr;
    const CEventMatrix* matrix = m_gate->GetShell()->GetDataSet()->GetEventMatrix();
    const uint64_t generation = matrix->GetColumnGeneration(par);
    if (m_moments.size() <= size_t(par)) m_moments.resize(size_t(par) + 1);
    std::unique_ptr<Moments>& slot = m_moments[size_t(par)];
    if (slot && slot->maskSerial == m_gate->GetMaskSerial() && slot->generation == generation &&
        slot->values == c->values && slot->count == c->count && slot->log == c->log && slot->scale == c->scale) {
        if (slot->haveSums || !withSums) return slot.get();
    } else {
        slot = std::make_unique<Moments>();
        slot->maskSerial = m_gate->GetMaskSerial();
        slot->generation = generation;
        slot->values = c->values;
        slot->count = c->count;
        slot->log = c->log;
        slot->scale = c->scale;
        if (!withSums) return slot.get();
    }
    Moments* m = slot.get();
    // Three chains of dependent additions and products, each in event order
    // as one walk would take them: the stored values' sum (with count and
    // extremes) on one thread, the linear values' sum or the logarithms on
    // another.
    StoredSums stored;
    double linear = 0.0;
    int64_t linearCount = 0;  // the same as stored.n
    Log2Sum logs;
    const auto linearOf = [s = c->scale](float v) { return LinearOf(v, s); };
    lm::ForTasks(
        2,
        [&](size_t k) {
            if (k == 0) stored = SumStored(*c);
            else if (c->log) linear = SumTermsInOrder(*c, linearOf, &linearCount);
            else logs = SumLog2(*c);
        },
        c->Split());
    const int64_t n = stored.n;
    if (c->log) {
        m->sum = linear;
        // Channels are logarithms already: the mean channel taken back.
        m->geoMean = n ? std::exp(stored.sum / double(n) * c->scale * kLn10) : 0.0;
    } else {
        m->sum = stored.sum;
        m->geoMean = logs.count ? std::pow(10.0, logs.Total() * kLog10Of2 / double(logs.count)) : 0.0;
    }
    m->n = n;
    m->any = n > 0;
    m->min = m->any ? stored.lo : FLT_MAX;
    m->max = m->any ? stored.hi : -FLT_MAX;
    m->haveSums = true;
    return m;
}

double CStatItem::GetMean(int32_t par) const {
    Column c;
    const Moments* m = GetMoments(par, &c);
    return m && m->n ? m->sum / double(m->n) : 0.0;
}

double CStatItem::GetSDAround(int32_t par, double mean) const {
    Column c;
    Moments* m = GetMoments(par, &c, false);
    if (!m) return 0.0;
    if (m->haveSd && std::memcmp(&m->sdMean, &mean, sizeof mean) == 0) return m->sd;
    int64_t n = 0;
    double sum = 0.0;
    if (c.log) {
        sum = SumTermsInOrder(c, [&](float v) {
            const double d = LinearOf(v, c.scale) - mean;
            return d * d;
        }, &n);
    } else {
        sum = SumSquares(c, mean, &n);
    }
    m->sd = n ? std::sqrt(sum / double(n)) : 0.0;
    m->sdMean = mean;
    m->haveSd = true;
    return m->sd;
}

double CStatItem::GetSD(int32_t par) const { return GetSDAround(par, GetMean(par)); }

double CStatItem::CalcCV(double sd, double mean) { return mean == 0.0 ? 0.0 : sd * 100.0 / mean; }

double CStatItem::GetCV(int32_t par) const {
    const double mean = GetMean(par);
    if (mean == 0.0) return 0.0;
    return GetSDAround(par, mean) * 100.0 / mean;
}

double CStatItem::GetGeoMean(int32_t par) const {
    Column c;
    const Moments* m = GetMoments(par, &c);
    return m ? m->geoMean : 0.0;
}

double CStatItem::GetMax(int32_t par) const {
    Column c;
    const Moments* m = GetMoments(par, &c);
    return m && m->any ? double(m->max) : 0.0;
}

double CStatItem::GetMin(int32_t par) const {
    Column c;
    const Moments* m = GetMoments(par, &c);
    return m && m->any ? double(m->min) : 0.0;
}

// The values of ranks among the gated values in ascending order, in two
// counting passes over the order keys (top 16 bits, then the low 16 bits
// within the top bucket of each rank): O(n) whatever the order of the data,
// and no copy of the values. top is the histogram of the first pass, shared
// by several ranks. Both passes are split over slices on a large gate.
void CStatItem::ValuesAtRanks(const Column& c, const std::vector<uint32_t>& top, const uint64_t ranks[2],
                              float out[2]) const {
    uint32_t hi[2] = {0, 0};
    uint64_t rest[2] = {ranks[0], ranks[1]};
    for (int r = 0; r < 2; ++r) {
        for (; hi[r] < 0xFFFFu; ++hi[r]) {
            if (rest[r] < top[hi[r]]) break;
            rest[r] -= top[hi[r]];
        }
    }
    const int buckets = hi[1] == hi[0] ? 1 : 2;
    const auto slices = SplitWords(c.WordCount(), c.Split());
    // Low halves of bucket hi[0] in [0, 0x10000), of hi[1] after them.
    SliceHistograms parts(slices.size(), size_t(buckets) * 0x10000u);
    lm::ForTasks(
        slices.size(),
        [&](size_t k) {
            uint32_t* low = parts.Of(k);
            ForGated(c, slices[k].first, slices[k].second, [&](float v, size_t) {
                const uint32_t key = OrderKey(v);
                if ((key >> 16) == hi[0]) ++low[key & 0xFFFFu];
                else if ((key >> 16) == hi[1]) ++low[0x10000u + (key & 0xFFFFu)];
            });
        },
        slices.size() > 1);
    std::vector<uint32_t> low;
    parts.Sum(&low);
    for (int r = 0; r < 2; ++r) {
        const uint32_t* counts = low.data() + (hi[r] == hi[0] ? 0 : 0x10000u);
        uint32_t lo = 0;
        for (; lo < 0xFFFFu; ++lo) {
            if (rest[r] < counts[lo]) break;
            rest[r] -= counts[lo];
        }
        out[r] = FromOrderKey((hi[r] << 16) | lo);
    }
}

uint64_t CStatItem::TopHistogram(const Column& c, std::vector<uint32_t>* top) const {
    const auto slices = SplitWords(c.WordCount(), c.Split());
    SliceHistograms parts(slices.size(), 0x10000u);
    lm::ForTasks(
        slices.size(),
        [&](size_t k) {
            uint32_t* h = parts.Of(k);
            ForGated(c, slices[k].first, slices[k].second, [h](float v, size_t) { ++h[OrderKey(v) >> 16]; });
        },
        slices.size() > 1);
    parts.Sum(top);
    uint64_t k = 0;
    for (uint32_t n : *top) k += n;
    return k;
}

double CStatItem::GetMedian(int32_t par) const {
    Column c;
    Moments* mo = GetMoments(par, &c, false);
    if (!mo) return 0.0;
    if (mo->haveMedian) return mo->median;
    std::vector<uint32_t> top;
    const uint64_t k = TopHistogram(c, &top);
    double m = 0.0;
    if (k != 0) {
        // An even count takes the mean of the middle two.
        const uint64_t ranks[2] = {k / 2, k % 2 == 0 ? k / 2 - 1 : k / 2};
        float v[2];
        ValuesAtRanks(c, top, ranks, v);
        m = double(v[0]);
        if (k % 2 == 0) m = (double(v[1]) + m) * 0.5;
        m = c.Linear(m);
    }
    mo->median = m;
    mo->haveMedian = true;
    return m;
}

double CStatItem::GetPercentile(int32_t par, double fraction) const {
    Column c;
    if (!ReadColumn(par, &c)) return 0.0;
    double v = 0.0;
    return StoredPercentile(c, fraction, &v) ? c.Linear(v) : 0.0;
}

double CStatItem::GetStoredPercentile(int32_t par, double fraction) const {
    Column c;
    if (!ReadColumn(par, &c)) return 0.0;
    double v = 0.0;
    return StoredPercentile(c, fraction, &v) ? v : 0.0;
}

bool CStatItem::StoredPercentile(const Column& c, double fraction, double* out) const {
    std::vector<uint32_t> top;
    const uint64_t k = TopHistogram(c, &top);
    if (k == 0) return false;
    uint64_t rank = 0;
    if (k >= 2) {
        const double r = std::floor(double(k) * fraction);
        if (r >= double(k)) rank = k - 1;
        else if (r > 0.0) rank = uint64_t(r);  // NaN and negative fractions give rank 0
    }
    const uint64_t ranks[2] = {rank, rank};
    float v[2];
    ValuesAtRanks(c, top, ranks, v);
    *out = double(v[0]);
    return true;
}

double CStatItem::GetStatValue(int32_t par, int32_t code) const {
    switch (code) {
        case kStatEvents: return double(GetEventCount());
        case kStatPercent: return GetPercent() * double(100.0f);
        case kStatMean: return GetMean(par);
        case kStatMedian: return GetMedian(par);
        case kStatGeoMean: return GetGeoMean(par);
        case kStatSD: return GetSD(par);
        case kStatMax: return GetMax(par);
        case kStatMin: return GetMin(par);
        case kStatParentPercent: return GetParentPercent() * double(100.0f);
        case kStatCV: return CalcCV(GetSD(par), GetMean(par));
        default: return 0.0;
    }
}

std::string CStatItem::GetStatName(int32_t code) {
    switch (code) {
        case kStatEvents: return "Events";
        case kStatPercent: return "Percent";
        case kStatMean: return "Mean";
        case kStatMedian: return "Med";
        case kStatGeoMean: return "GeoM";
        case kStatSD: return "SD";
        case kStatMax: return "Max";
        case kStatMin: return "Min";
        case kStatParentPercent: return "Parent Per";
        default: return {};
    }
}

std::string CStatItem::GetStatText(int32_t par, int32_t code) const {
    if (code == kStatEvents) return lm::FormatInt(GetEventCount());
    if (code < 0 || code >= kStatCodeCount) return {};
    return lm::FormatFixed(GetStatValue(par, code), 2);
}

std::string CStatItem::GetGateName() const { return m_gate ? m_gate->GetDisplayName(true) : std::string(); }

void CStatItem::AddUser(CStatUser* user) {
    if (!user) return;
    if (std::find(m_users.begin(), m_users.end(), user) == m_users.end()) m_users.push_back(user);
}

void CStatItem::RemoveUser(CStatUser* user, bool notify, bool deleteCells) {
    auto it = std::find(m_users.rbegin(), m_users.rend(), user);
    if (it == m_users.rend()) return;
    m_users.erase(std::next(it).base());
    if (deleteCells && user->GetMode() == kStatUserLooseCell) {
        user->DetachStatItem(false, false);
        delete user;
    } else if (notify) {
        user->DetachStatItem(false, false);
    }
}
