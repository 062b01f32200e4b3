#pragma once
// The layer of a cross region (CrCross): one centre and two full-length
// lines through it. No tool draws a cross; the layer shows one that a file
// or a paste brought, and its centre can be dragged. The centre stays inside
// the plot area, the only place where it can be grabbed.
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "core/Region.h"
#include "report/plot/RgnLayer.h"

class CCrossLayer : public CRgnLayer {
public:
    // A cross without region, centred where the first press puts it.
    CCrossLayer(int32_t xPar, int32_t yPar, CPLOT* plot);
    CCrossLayer(CrCross* region, CPLOT* plot);

    int32_t GetRegionType() const override { return kRgnCross; }

    bool OnButtonDown(CPoint page, int32_t* state) override;
    bool OnDrag(CPoint page, int32_t* state) override;

    // 1 within 4 pixels of the centre on both axes, else -1.
    int32_t HitHandle(CPoint p) const override;
    // The cross is taken at its centre only.
    bool HitOutline(CPoint p) const override { return HitHandle(p) == 1; }

    std::unique_ptr<CDataRgn> MakeRegion() override;
    // 10 pixels right of and below the centre, kept in the area.
    void PlaceLabel() override;
    // All four texts: the region gate's share of the plot gate's events.
    void UpdatePercentText() override;

    CPoint GetCentre() const { return m_centre; }
    const std::string& GetPartText(int32_t i) const { return m_texts[size_t(i & 3)]; }

protected:
    bool HandleDragMovesLabel() const override { return true; }
    void ReadRegionGeometry() override;
    void WriteRegionGeometry() override;
    void DrawShape(RgnCanvas& canvas) override;
    void DrawHandles(RgnCanvas& canvas) override;
    // The label shows the name only.
    void DrawPercent(RgnCanvas&) override {}
    bool PercentUnderName() const override { return false; }

private:
    // p brought inside the plot area.
    CPoint InArea(CPoint p) const;
    // The centre follows p (kept in the area), the label with it.
    void MoveCentre(CPoint p);

    CPoint m_centre;
    std::array<std::string, 4> m_texts;
};
