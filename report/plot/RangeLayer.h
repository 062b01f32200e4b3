#pragma once
// The editor of a range region (one parameter): two vertical bars at the
// bounds over the whole height of the plot area, joined by a horizontal bar
// at a height of the layer's own choosing (the region keeps no y), with a
// handle at each end of that bar.
#include <cstdint>
#include <memory>

#include "core/Region.h"
#include "report/plot/RgnLayer.h"

class CRangeLayer : public CRgnLayer {
public:
    // A range about to be drawn with the range tool on the plot's axes.
    CRangeLayer(int32_t xPar, int32_t yPar, CPLOT* plot);
    // The layer of an existing range; its bar at half the area's height.
    CRangeLayer(CrRange* region, CPLOT* plot);

    // The bar keeps its relative height when the area changes size.
    void Reset() override;
    // Base record, then the bar's height (int32).
    void Load(CArchive& ar) override;
    void Store(CArchive& ar) const override;
    int32_t GetRegionType() const override { return kRgnRange; }

    // Handles: 0 the left end, 1 the right end of the bar (within 2 pixels).
    int32_t HitHandle(CPoint p) const override;
    // Within 4 pixels of the bar, from 4 left of x0 to 4 right of x1.
    bool HitOutline(CPoint p) const override;
    std::unique_ptr<CDataRgn> MakeRegion() override;
    // Centred under the bar, 15 pixels below it.
    void PlaceLabel() override;

    int32_t GetX0() const { return m_x0; }
    int32_t GetX1() const { return m_x1; }
    int32_t GetLevel() const { return m_level; }
    // Sets the pixels directly (no push).
    void SetPixels(int32_t x0, int32_t x1, int32_t level);

protected:
    void BeginShape(CPoint p) override;
    void OrderShape() override;
    void DragRubberBand(CPoint p) override;
    void DragHandle(CPoint p) override;
    void DragMove(CPoint p) override;
    int32_t HandleCount() const override { return 2; }
    void ReadRegionGeometry() override;
    void WriteRegionGeometry() override;
    void DrawShape(RgnCanvas& canvas) override;
    void DrawHandles(RgnCanvas& canvas) override;

private:
    CrRange* Range() const { return static_cast<CrRange*>(m_region); }

    // The bar's height, and the same as a fraction of the area's height
    // (kept so that resizing back and forth brings it back to its pixel).
    void SetLevel(int64_t level);

    int32_t m_x0 = 0;
    int32_t m_x1 = 0;
    int32_t m_level = 0;
    float m_levelFraction = 0.0f;
};
