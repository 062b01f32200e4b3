#include "core/StatItem.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <utility>

#include "base/Numbers.h"
#include "core/DataSet.h"
#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/Observers.h"

namespace {
constexpr double kLn10 = 2.302585092994045684;
constexpr double kLog10Of2 = 0.301029995663981195;

// Key whose unsigned order is the order of the float values (NaN excluded):
// negative values have all bits flipped, the others only the sign bit.
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
    void Renormalise() {
        int pe = 0;
        even = std::frexp(even, &pe);
        exponents += pe;
        odd = std::frexp(odd, &pe);
        exponents += pe;
    }
    double Total() const { return double(exponents) + std::log2(even) + std::log2(odd) + rest; }
};
}  // namespace

// Gated values of one parameter: the current column, the gate's mask words
// and, for a log-amplified parameter, the decades per channel.
struct CStatItem::Column {
    const float* values = nullptr;
    const uint32_t* words = nullptr;
    uint32_t count = 0;
    bool log = false;
    double scale = 0.0;

    // Linear value a stored channel stands for.
    double Linear(double v) const { return log ? std::exp(v * scale * kLn10) : v; }
};

// What one pass over the gated values of a parameter gives, and what it was
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
    out->scale = out->log ? double(shell->ComputeLogScale(par)) : 0.0;
    return true;
}

// Calls fn(value) for every gated event in event order, a mask word at a time.
// NaN values stand for no measurement and are left out.
template <class Fn>
void CStatItem::ForEachGated(Column& c, Fn&& fn) const {
    const uint32_t fullWords = c.count >> 5;
    const uint32_t rest = c.count & 31;
    // Inlined, so that the caller's sums stay in registers across values.
    auto visit = [&](uint32_t w, uint32_t bits) __attribute__((always_inline)) {
        const float* base = c.values + size_t(w) * 32;
        while (bits) {
            const float v = base[std::countr_zero(bits)];
            bits &= bits - 1;
            if (!std::isnan(v)) fn(v);
        }
    };
    for (uint32_t w = 0; w < fullWords; ++w) {
        if (c.words[w]) visit(w, c.words[w]);
    }
    if (rest) visit(fullWords, c.words[fullWords] & ((1u << rest) - 1));
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
    const int64_t parent = int64_t(inputs[0]->GetMask().CountSetBits());
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
    double sum = 0.0, channels = 0.0;
    int64_t n = 0;
    float lo = FLT_MAX, hi = -FLT_MAX;
    bool any = false;
    auto extremes = [&](float v) {
        if (v > hi || !any) hi = v;
        if (v < lo || !any) lo = v;
        any = true;
    };
    if (c->log) {
        ForEachGated(*c, [&](float v) {
            sum += c->Linear(v);
            channels += double(v);
            ++n;
            extremes(v);
        });
        // Channels are logarithms already: the mean channel taken back.
        m->geoMean = n ? std::exp(channels / double(n) * c->scale * kLn10) : 0.0;
    } else {
        Log2Sum logs;
        ForEachGated(*c, [&](float v) {
            sum += double(v);
            ++n;
            extremes(v);
            logs.Add(v);
        });
        m->geoMean = logs.count ? std::pow(10.0, logs.Total() * kLog10Of2 / double(logs.count)) : 0.0;
    }
    m->n = n;
    m->sum = sum;
    m->min = lo;
    m->max = hi;
    m->any = any;
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
    double sum = 0.0;
    int64_t n = 0;
    if (c.log) {
        ForEachGated(c, [&](float v) { const double d = c.Linear(v) - mean; sum += d * d; ++n; });
    } else {
        ForEachGated(c, [&](float v) { const double d = double(v) - mean; sum += d * d; ++n; });
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

// The value of a rank among the gated values in ascending order, in two
// counting passes over the order keys (top 16 bits, then the low 16 bits
// within the top bucket): O(n) whatever the order of the data, and no copy of
// the values. top is the histogram of the first pass, shared by several ranks.
float CStatItem::ValueAtRank(Column& c, const std::vector<uint32_t>& top, uint64_t rank) const {
    uint32_t hi = 0;
    for (; hi < 0xFFFFu; ++hi) {
        if (rank < top[hi]) break;
        rank -= top[hi];
    }
    std::vector<uint32_t> low(0x10000u, 0);
    ForEachGated(c, [&](float v) {
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

uint64_t CStatItem::TopHistogram(Column& c, std::vector<uint32_t>* top) const {
    top->assign(0x10000u, 0);
    uint64_t k = 0;
    ForEachGated(c, [&](float v) {
        ++(*top)[OrderKey(v) >> 16];
        ++k;
    });
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
        m = double(ValueAtRank(c, top, k / 2));
        if (k % 2 == 0) m = (double(ValueAtRank(c, top, k / 2 - 1)) + m) * 0.5;
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

bool CStatItem::StoredPercentile(Column& c, double fraction, double* out) const {
    std::vector<uint32_t> top;
    const uint64_t k = TopHistogram(c, &top);
    if (k == 0) return false;
    uint64_t rank = 0;
    if (k >= 2) {
        const double r = std::floor(double(k) * fraction);
        if (r >= double(k)) rank = k - 1;
        else if (r > 0.0) rank = uint64_t(r);  // NaN and negative fractions give rank 0
    }
    *out = double(ValueAtRank(c, top, rank));
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
