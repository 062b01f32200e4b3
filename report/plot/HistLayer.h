#pragma once
// The one-parameter layer of a histogram plot: the events of a gate counted
// into bins along the X axis (bin edges from the X transform, so log and
// logicle axes give log and logicle bins), optionally smoothed, scaled to the
// area's height and drawn as a filled profile with an outline.
//
// One Y maximum (GetYMax) serves the drawing, the Y axis and the callers, in
// counts (mode 0) or per mille of all events (mode 1). With automatic
// scaling it is the largest bin seen during the layer's life (it only grows),
// otherwise the fixed maximum; it is never below 1.
#include <cstdint>
#include <memory>
#include <vector>

#include "core/Observers.h"
#include "report/plot/Layer.h"

enum HistMode : int32_t {
    kHistCounts = 0,
    kHistPerMille = 1,
};

class CHistLayer : public CLayer, public CGateUser {
public:
    static constexpr int32_t kDefaultBinCount = 128;
    static constexpr int32_t kDefaultSmoothing = 3;
    static constexpr float kDefaultFixedMax = 1000.0f;
    static constexpr float kInitialPerMilleMax = 100.0f;
    // Accepted from records and setters.
    static constexpr int32_t kMaxBinCount = 1 << 16;
    static constexpr int32_t kMaxSmoothing = 1 << 16;
    // A new layer's look: grey fill, black outline one pixel wide.
    static constexpr COLORREF kDefaultFill = 0x808080;
    static constexpr COLORREF kDefaultOutline = 0;
    static constexpr int32_t kDefaultOutlineWidth = 1;
    // Outline pen widths offered ("1" .. "5") and kept.
    static constexpr int32_t kMaxOutlineWidth = 5;

    // Counts at once unless the layer owns its transforms (a clone).
    CHistLayer(CGateNode* gate, int32_t xPar, CPLOT* plot, bool ownsTransforms);
    ~CHistLayer() override;

    // ---- CLayer ----
    std::unique_ptr<CLayer> Clone(CPLOT* plot) override;
    void Recalculate() override;
    void Draw(QImage& area) override;
    void DrawMask(QImage& mask) override;
    // Record: int automatic scale, float fixed maximum, int bin count, int
    // smoothing width (16 bytes). Values outside the accepted ranges throw
    // CArchiveException and leave the layer as it was.
    void Load(CArchive& ar) override;
    void Store(CArchive& ar) const override;
    void ReleaseData() override;
    CGateNode* GetLayerGate() const override { return GetGate(); }

    // ---- CGateUser ----
    // The shell going away lets go of its users: an overlay (a layer showing
    // another plot's data set) leaves its plot.
    void DetachShell(bool remove, bool notify) override;
    void OnGateChanged() override;
    void OnGateUpdated() override {}
    // Its gate is going away: the plot that owns the layer deletes it (once).
    void OnGateRemoving(CGateNode* gate) override;

    // 0 or 1 (others change nothing), then Recalculate.
    void SetMode(int32_t mode);
    int32_t GetMode() const { return m_mode; }
    // False (nothing changed) outside 1 .. kMaxBinCount.
    bool SetBinCount(int32_t n);
    int32_t GetBinCount() const { return m_binCount; }
    // False outside 0 .. kMaxSmoothing; below 2 means no smoothing.
    bool SetSmoothing(int32_t width);
    int32_t GetSmoothing() const { return m_smoothing; }
    // False for a maximum that is not finite or not above 0.
    bool SetFixedMax(float max);
    float GetFixedMax() const { return m_fixedMax; }
    void SetAutoScale(bool on) { m_autoScale = on; }
    bool GetAutoScale() const { return m_autoScale; }
    // The width is held within 1 .. kMaxOutlineWidth.
    void SetOutline(int32_t width, COLORREF colour);
    int32_t GetOutlineWidth() const { return m_outlineWidth; }
    COLORREF GetOutlineColor() const { return m_outlineColor; }
    int32_t GetXParam() const { return m_xPar; }
    void SetXParam(int32_t p) { m_xPar = p; }
    int32_t GetCountMax() const { return m_countMax; }
    float GetPerMilleMax() const { return m_perMilleMax; }

    // The Y maximum, at least 1.
    int32_t GetYMax() const;
    // The bins of the last count (empty before the first one).
    const std::vector<int32_t>& GetBins() const { return m_bins; }
    bool HasBins() const { return !m_bins.empty(); }
    // Moving average of the bins over the smoothing width; the divisor is
    // always the width, so the end bins are averaged with zeros.
    std::vector<int32_t> Smooth() const;
    // Top row of the profile in every column of an area w x h (y downward;
    // h for an empty column).
    std::vector<int32_t> ColumnTops(int32_t w, int32_t h) const;

private:
    void DrawProfile(QImage& target, COLORREF fill, COLORREF outline);

    int32_t m_xPar = 0;
    int32_t m_mode = kHistCounts;
    int32_t m_countMax = 0;
    float m_perMilleMax = kInitialPerMilleMax;
    float m_fixedMax = kDefaultFixedMax;
    int32_t m_binCount = kDefaultBinCount;
    int32_t m_smoothing = kDefaultSmoothing;
    std::vector<int32_t> m_bins;
    bool m_autoScale = true;
    int32_t m_outlineWidth = kDefaultOutlineWidth;
    COLORREF m_outlineColor = kDefaultOutline;
};
