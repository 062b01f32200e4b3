#pragma once
// The editor of a quadrant region (CrQuadrant): a centre and four arms, each
// ending on one edge of the plot area (right, top, left, bottom), so the four
// parts may be skewed. The layer stands for part 0, whose gate is the upper
// right part; it shows the share of each part in the area's corners.
//
// The centre and the arm ends stay within the editable band: more than 5
// pixels inside the area. A translation that would take a coordinate out of
// the band, or further out when a file or a resize left it there, is
// refused for that step; one that brings it back is taken.
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "core/Region.h"
#include "report/plot/RgnLayer.h"

class CQuadLayer : public CRgnLayer {
public:
    // A quadrant about to be drawn with the quadrant tool.
    CQuadLayer(int32_t xPar, int32_t yPar, CPLOT* plot);
    // The layer of an existing quadrant. Given part 1-3 it binds to part 0,
    // which alone takes geometry; a part whose part 0 is gone is shown, not
    // edited, and has no percentages.
    CQuadLayer(CrQuadrant* region, CPLOT* plot);

    int32_t GetRegionType() const override { return kRgnQuadrant; }
    // Both band limits need room between them: 12 pixels on each axis.
    bool AreaFitsTool() const override;

    bool OnButtonDown(CPoint page, int32_t* state) override;
    bool OnDrag(CPoint page, int32_t* state) override;
    // Nothing to do on a double click.
    bool OnDoubleClick(CPoint, int32_t*) override { return false; }

    // 0 centre, 1 right end, 2 top end, 3 left end, 4 bottom end, -1 none.
    int32_t HitHandle(CPoint p) const override;
    // Near one of the four arms or their centre.
    bool HitOutline(CPoint p) const override;

    std::unique_ptr<CDataRgn> MakeRegion() override;
    // 10 pixels right of and below the centre, kept in the area.
    void PlaceLabel() override;
    // Text i: part i's gate share of the plot gate's events ("0.00" when
    // the plot gate has none; a part whose gate is gone counts 0).
    void UpdatePercentText() override;

    CPoint GetCentre() const { return m_centre; }
    // Arm ends: right (W, y), top (x, H), left (0, y), bottom (x, 0).
    std::array<int32_t, 4> GetArmEnds() const { return {m_rightY, m_topX, m_leftY, m_bottomX}; }
    // Part texts 0 UR, 1 UL, 2 LL, 3 LR.
    const std::string& GetPartText(int32_t i) const { return m_texts[size_t(i & 3)]; }

protected:
    void ReadRegionGeometry() override;
    void WriteRegionGeometry() override;
    void DrawShape(RgnCanvas& canvas) override;
    void DrawHandles(RgnCanvas& canvas) override;
    // Each part's text in its corner of the area, placed by its own size.
    void DrawPercent(RgnCanvas& canvas) override;
    bool PercentUnderName() const override { return false; }

private:
    // The layer edits part 0 of a quadrant.
    bool Editable() const;
    // Moves centre and arms by (dx, dy) unless a coordinate would leave the
    // band (or go further out); true when moved.
    bool Translate(int64_t dx, int64_t dy);

    std::array<std::string, 4> m_texts;
    CPoint m_centre;
    int32_t m_rightY = 0, m_topX = 0, m_leftY = 0, m_bottomX = 0;
};
