#pragma once
// The shared base of the density and contour layers: the events of a gate
// binned into an n x n grid of counts over the plot's two axes (bin edges
// from the axis transforms, so log and logicle axes give log and logicle
// cells), and count levels derived from the grid.
//
// Rules that hold after every Recalculate: the counts are those of the
// current gate and transforms alone (they restart at zero); an event whose
// value has no bin (NaN), or any event while a transform is missing, counts
// nowhere; the levels are distinct non-zero cell counts in ascending order,
// none at all for a gate without events.
#include <cstdint>
#include <memory>
#include <vector>

#include "core/Observers.h"
#include "report/plot/Layer.h"

enum GridLevelMode : int32_t {
    kLevelsEqualShares = 1,  // thresholds step, 2 step, 3 step ... (step = T / L)
    kLevelsDoubling = 2,     // thresholds T / 2^L, doubling
};

class CGridLayer : public CLayer, public CGateUser {
public:
    // The word after construction, kept in the record and read back.
    static constexpr int32_t kStoredField = 128;
    // Level counts a record or a setter may ask for.
    static constexpr int32_t kMaxLevelCount = 64;
    // Cells per side a grid may have.
    static constexpr int32_t kMaxGridSize = 1024;

    // A layer that owns its transforms (an overlay clone) computes nothing
    // until Reset: its transforms are given to it after construction.
    CGridLayer(CGateNode* gate, int32_t xPar, int32_t yPar, CPLOT* plot, bool ownsTransforms);
    ~CGridLayer() override;

    // ---- CLayer ----
    std::unique_ptr<CLayer> Clone(CPLOT*) override { return nullptr; }
    // Bins the gate's events, then what the subclass derives from the grid.
    void Recalculate() override;
    // Computes again, on the layer's own transforms when it has them.
    void Reset() override { Recalculate(); }
    void Draw(QImage&) override {}
    void ReleaseData() override;
    CGateNode* GetLayerGate() const override { return GetGate(); }

    // ---- CGateUser ----
    // The shell going away: an overlay (a layer on another plot's data set)
    // leaves its plot.
    void DetachShell(bool remove, bool notify) override;
    // Counted again when next drawn or rebuilt.
    void OnGateChanged() override;
    void OnGateUpdated() override {}
    // Its gate is going away: the plot that owns the layer deletes it.
    void OnGateRemoving(CGateNode* gate) override;

    // n cells per side (clamped to 1 .. kMaxGridSize), a zeroed grid, then
    // Recalculate unless the layer waits for its own transforms.
    void SetGridSize(int32_t n);
    int32_t GetGridSize() const { return m_gridSize; }
    // Count of cell (i, j): i the X bin, j the Y bin; 0 outside the grid or
    // without one.
    uint32_t GetCount(int32_t i, int32_t j) const;
    bool HasGrid() const { return !m_grid.empty(); }
    // Largest cell count (at least 1) and smallest non-zero one (0x7FFFFFFF
    // when every cell is 0).
    uint32_t GetMaxCount() const { return m_maxCount; }
    uint32_t GetMinCount() const { return m_minCount; }
    // Events of the gate that were looked at (T of the levels).
    int64_t GetGateEvents() const { return m_gateEvents; }

    // Levels from the grid for L wanted levels (below).
    void ComputeLevels(int32_t L);
    const std::vector<float>& GetLevels() const { return m_levels; }
    int32_t GetLevelMode() const { return m_levelMode; }
    void SetLevelMode(int32_t mode) { m_levelMode = mode == kLevelsDoubling ? kLevelsDoubling : kLevelsEqualShares; }
    int32_t GetLevelCount() const { return m_levelCount; }
    // False (nothing changed) outside 1 .. kMaxLevelCount.
    bool SetLevelCount(int32_t n);
    int32_t GetStoredField() const { return m_storedField; }
    int32_t GetXParam() const { return m_xPar; }
    int32_t GetYParam() const { return m_yPar; }

    // The levels of sorted cell counts for T events (the rule of
    // ComputeLevels, without a grid): zeros are skipped, thresholds are at
    // least 1, equal levels are kept once and at most maxLevels are kept.
    static std::vector<float> LevelsOf(std::vector<uint32_t> counts, int64_t T, int32_t L, int32_t mode,
                                       int32_t maxLevels);

protected:
    // Most levels the subclass can show.
    virtual int32_t MaxLevels() const { return kMaxLevelCount; }
    // What the subclass derives from a fresh grid.
    virtual void AfterBinning() {}
    // Copies the settings every grid layer clone keeps, and owns clones of
    // this layer's transforms.
    void CopyInto(CGridLayer& c) const;
    // Recalculates when the gate changed since the last count.
    void RecalculateIfStale();

    int32_t m_gridSize = 0;
    int32_t m_storedField = kStoredField;
    int32_t m_xPar = 0;
    int32_t m_yPar = 1;
    uint32_t m_maxCount = 1;
    uint32_t m_minCount = 0x7FFFFFFF;
    std::vector<uint32_t> m_grid;  // cell (i, j) at i * n + j
    std::vector<float> m_levels;
    int32_t m_levelMode = kLevelsEqualShares;
    int32_t m_levelCount = 6;
    int64_t m_gateEvents = 0;
    bool m_stale = true;

private:
    void Bin();
};
