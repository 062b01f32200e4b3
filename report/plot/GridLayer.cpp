#include "report/plot/GridLayer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <mutex>
#include <vector>

#include "core/DataSet.h"
#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/Slices.h"
#include "core/Trans.h"
#include "report/plot/BinLocator.h"
#include "report/plot/Plot.h"

namespace {

// Events per thread below which splitting the count costs more than it saves.
constexpr size_t kMinWordsPerSlice = size_t(1) << 12;

struct BinInput {
    const float* xs;
    const float* ys;
    const uint32_t* words;
    size_t nWords;
    uint32_t lastMask;  // the bits of the last word that are events
    const CBinLocator* locX;
    const CBinLocator* locY;
    int32_t n;
};

// Counts the events of words [w0, w1) into grid (n x n, zeroed); returns the
// number of events looked at.
int64_t BinWords(const BinInput& in, size_t w0, size_t w1, uint32_t* grid) {
    int64_t seen = 0;
    const size_t n = size_t(in.n);
    auto one = [&](size_t e) {
        // NaN has no bin and is counted nowhere.
        const int32_t i = in.locX->Find(in.xs[e]);
        const int32_t j = in.locY->Find(in.ys[e]);
        if (i >= 0 && j >= 0) ++grid[size_t(i) * n + size_t(j)];
    };
    for (size_t wi = w0; wi < w1; ++wi) {
        uint32_t word = in.words[wi];
        if (wi + 1 == in.nWords) word &= in.lastMask;
        if (word == 0) continue;
        seen += std::popcount(word);
        if (word == 0xFFFFFFFFu) {
            for (size_t k = 0; k < 32; ++k) one(wi * 32 + k);
            continue;
        }
        while (word) {
            one(wi * 32 + size_t(std::countr_zero(word)));
            word &= word - 1;
        }
    }
    return seen;
}

// A locator over n bin edges of the transform; false without a transform.
bool MakeLocator(const CTRANS* t, int32_t n, CBinLocator* out) {
    if (!t || n <= 0) return false;
    std::vector<float> edges(size_t(n), 0.0f);
    if (!t->FillTable(edges.data(), n)) return false;
    out->Build(edges.data(), n);
    return out->Size() == n;
}

}  // namespace

CGridLayer::CGridLayer(CGateNode* gate, int32_t xPar, int32_t yPar, CPLOT* plot, bool ownsTransforms)
    : CLayer(plot, ownsTransforms), CGateUser(gate) {
    m_xPar = xPar;
    m_yPar = yPar;
    m_active = true;
}

CGridLayer::~CGridLayer() = default;

bool CGridLayer::SetLevelCount(int32_t n) {
    if (n < 1 || n > kMaxLevelCount) return false;
    m_levelCount = n;
    return true;
}

void CGridLayer::SetGridSize(int32_t n) {
    m_gridSize = std::clamp<int32_t>(n, 1, kMaxGridSize);
    m_grid.assign(size_t(m_gridSize) * size_t(m_gridSize), 0);
    if (!m_ownsTransforms) Recalculate();
}

uint32_t CGridLayer::GetCount(int32_t i, int32_t j) const {
    if (m_grid.empty() || i < 0 || j < 0 || i >= m_gridSize || j >= m_gridSize) return 0;
    return m_grid[size_t(i) * size_t(m_gridSize) + size_t(j)];
}

void CGridLayer::Recalculate() {
    Bin();
    AfterBinning();
    m_stale = false;
}

void CGridLayer::RecalculateIfStale() {
    if (m_stale || m_grid.empty()) Recalculate();
}

void CGridLayer::Bin() {
    const int32_t n = std::max<int32_t>(m_gridSize, 1);
    m_gridSize = n;
    // Every count starts from zero: a grid kept from the last count would
    // add this one to it.
    m_grid.assign(size_t(n) * size_t(n), 0);
    m_gateEvents = 0;
    m_maxCount = 1;
    m_minCount = 0x7FFFFFFF;

    CGateNode* gate = GetGate();
    VexaDataShell* shell = gate ? gate->GetShell() : nullptr;
    CDataSet* ds = shell ? shell->GetDataSet() : nullptr;
    CEventMatrix* matrix = ds ? ds->GetEventMatrix() : nullptr;
    const float* xs = matrix ? matrix->GetColumn(m_xPar) : nullptr;
    const float* ys = matrix ? matrix->GetColumn(m_yPar) : nullptr;
    CBinLocator locX, locY;
    if (xs && ys && MakeLocator(GetXTrans(), n, &locX) && MakeLocator(GetYTrans(), n, &locY)) {
        const EventBitMask& mask = gate->GetMask();
        const int64_t events = std::min<int64_t>(matrix->GetEventCount(), mask.GetBitCount());
        if (events > 0) {
            BinInput in{};
            in.xs = xs;
            in.ys = ys;
            in.words = mask.Words();
            in.nWords = size_t((events + 31) / 32);
            const uint32_t lastBits = uint32_t(events - int64_t(in.nWords - 1) * 32);
            in.lastMask = lastBits >= 32 ? 0xFFFFFFFFu : ((1u << lastBits) - 1u);
            in.locX = &locX;
            in.locY = &locY;
            in.n = n;

            // A slice of the whole counts straight into the grid; each other
            // slice counts into a grid of its own, added in under a lock: the
            // sums are integers, the same whatever the split and its order.
            std::mutex sum;
            lm::ForSlices(in.nWords, kMinWordsPerSlice, [&](size_t w0, size_t w1) {
                if (w0 == 0 && w1 == in.nWords) {
                    m_gateEvents = BinWords(in, w0, w1, m_grid.data());
                    return;
                }
                std::vector<uint32_t> part(m_grid.size(), 0);
                const int64_t seen = BinWords(in, w0, w1, part.data());
                const std::lock_guard<std::mutex> lock(sum);
                for (size_t k = 0; k < part.size(); ++k) m_grid[k] += part[k];
                m_gateEvents += seen;
            });
        }
    }
    for (uint32_t c : m_grid) {
        if (c > m_maxCount) m_maxCount = c;
        if (c != 0 && c < m_minCount) m_minCount = c;
    }
}

std::vector<float> CGridLayer::LevelsOf(std::vector<uint32_t> counts, int64_t T, int32_t L, int32_t mode,
                                        int32_t maxLevels) {
    std::vector<float> levels;
    if (T <= 0 || L < 1 || maxLevels < 1) return levels;
    // Empty cells are no level: with a threshold of 0 every one of them
    // would be, and the whole area would paint.
    counts.erase(std::remove(counts.begin(), counts.end(), 0u), counts.end());
    std::sort(counts.begin(), counts.end());
    int64_t step, threshold;
    if (mode == kLevelsDoubling) {
        threshold = int64_t(std::ldexp(double(T), -std::min(L, 62)));
        step = 0;
    } else {
        step = T / L;
        threshold = step;
    }
    // Fewer events than levels: each threshold still needs one event.
    if (step < 1 && mode != kLevelsDoubling) step = 1;
    threshold = std::max<int64_t>(threshold, 1);
    int64_t acc = 0;
    for (uint32_t c : counts) {
        if (acc < threshold) {
            acc += c;
            continue;
        }
        if (levels.empty() || float(c) > levels.back()) {
            levels.push_back(float(c));
            if (int32_t(levels.size()) >= maxLevels) break;
        }
        threshold = mode == kLevelsDoubling ? threshold * 2 : threshold + step;
    }
    return levels;
}

void CGridLayer::ComputeLevels(int32_t L) {
    m_levels = LevelsOf(m_grid, m_gateEvents, L, m_levelMode, std::min(MaxLevels(), std::max(L, 1)));
}

void CGridLayer::ReleaseData() {
    std::vector<uint32_t>().swap(m_grid);
    m_stale = true;
}

void CGridLayer::CopyInto(CGridLayer& c) const {
    const CTRANS* x = GetXTrans();
    const CTRANS* y = GetYTrans();
    c.SetOwnTransforms(x ? x->Clone() : nullptr, y ? y->Clone() : nullptr);
    c.m_colorA = m_colorA;
    c.m_color = m_color;
    c.m_storedField = m_storedField;
    c.m_maxCount = m_maxCount;
    c.m_minCount = m_minCount;
    c.m_levelMode = m_levelMode;
    c.m_levelCount = m_levelCount;
    c.m_levels = m_levels;
}

// ---- gate notices ----

void CGridLayer::DetachShell(bool remove, bool notify) {
    // Only the shell itself lets go of a user without being asked to remove
    // it: it is being destroyed.
    const bool shellGoing = !remove && GetShell() != nullptr;
    CGateUser::DetachShell(remove, notify);
    if (!shellGoing) return;
    ReleaseData();
    m_levels.clear();
    if (OwnsTransforms() && m_plot) m_plot->DestroyLayer(this);  // this layer is gone now
}

void CGridLayer::OnGateChanged() {
    m_stale = true;
    if (m_plot) m_plot->MarkDirty();
}

void CGridLayer::OnGateRemoving(CGateNode* gate) {
    if (gate == nullptr || gate != GetGate()) return;
    if (m_plot && m_plot->DestroyLayer(this)) return;  // deleted by its plot
    DetachGate(true, false);
    ReleaseData();
    m_levels.clear();
}
