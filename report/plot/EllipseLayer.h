#pragma once
// The editor of an ellipse region: the ellipse inscribed in a box that is
// edited like a rectangle's (corner handles, outline band along the box).
#include <array>
#include <cstdint>
#include <memory>

#include "core/Region.h"
#include "report/plot/RectLayer.h"

class CEllipseLayer : public CBoxRgnLayer {
public:
    // An ellipse about to be drawn with the ellipse tool.
    CEllipseLayer(int32_t xPar, int32_t yPar, CPLOT* plot);
    // The layer of an existing ellipse region.
    CEllipseLayer(CrEllipse* region, CPLOT* plot);

    int32_t GetRegionType() const override { return kRgnEllipse; }

protected:
    std::unique_ptr<CDataRgn> NewRegion(RgnPoint a, RgnPoint b) const override;
    void SetRegionBox(const std::array<float, 4>& box) override;
    std::array<float, 4> GetRegionBox() const override;
    void DrawShape(RgnCanvas& canvas) override;
};
