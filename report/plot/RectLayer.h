#pragma once
// Editors of the two box regions: the rectangle (CrRect) and, in
// EllipseLayer.h, the ellipse inscribed in its box (CrEllipse). Both keep the
// box in layer pixels with a handle on each corner.
#include <array>
#include <cstdint>
#include <memory>

#include "core/Region.h"
#include "report/plot/RgnLayer.h"

// What the rectangle and the ellipse share: the box, its corner handles, the
// outline band along the box, and the label at the box's centre.
class CBoxRgnLayer : public CRgnLayer {
public:
    // Handles: 0 (x0, y0), 1 (x0, y1), 2 (x1, y1), 3 (x1, y0), each within
    // 4 pixels on both axes; the first that holds wins.
    int32_t HitHandle(CPoint p) const override;
    // In the box grown by 5 on every side and not in the box shrunk by 5
    // (left and bottom inclusive, as the layer's y grows upward).
    bool HitOutline(CPoint p) const override;
    std::unique_ptr<CDataRgn> MakeRegion() override;
    // The box's centre.
    void PlaceLabel() override;

    // The box in layer coordinates: left = x0, top = y0, right = x1,
    // bottom = y1 (y0 <= y1 after every release: the "top" is the lower
    // edge on screen).
    CRect GetBox() const { return CRect(m_x0, m_y0, m_x1, m_y1); }
    // Sets the pixels directly (no push).
    void SetBox(int32_t x0, int32_t y0, int32_t x1, int32_t y1);
    // The bounding rectangle the shape is drawn in (drawing coordinates).
    CRect DrawingBox() const;

protected:
    CBoxRgnLayer(CPLOT* plot, int32_t xPar, int32_t yPar) : CRgnLayer(plot, xPar, yPar) {}

    // The shape's own region made from two corners, and its geometry calls.
    virtual std::unique_ptr<CDataRgn> NewRegion(RgnPoint a, RgnPoint b) const = 0;
    virtual void SetRegionBox(const std::array<float, 4>& box) = 0;
    virtual std::array<float, 4> GetRegionBox() const = 0;

    void BeginShape(CPoint p) override;
    void OrderShape() override;
    void DragRubberBand(CPoint p) override;
    void DragHandle(CPoint p) override;
    void DragMove(CPoint p) override;
    int32_t HandleCount() const override { return 4; }
    void ReadRegionGeometry() override;
    void WriteRegionGeometry() override;
    void DrawHandles(RgnCanvas& canvas) override;

    int32_t m_x0 = 0, m_y0 = 0, m_x1 = 0, m_y1 = 0;
};

class CRectLayer : public CBoxRgnLayer {
public:
    // A rectangle about to be drawn with the rectangle tool.
    CRectLayer(int32_t xPar, int32_t yPar, CPLOT* plot);
    // The layer of an existing rectangle region.
    CRectLayer(CrRect* region, CPLOT* plot);

    int32_t GetRegionType() const override { return kRgnRect; }

protected:
    // The rectangle alone lets a selected layer's label be dragged.
    bool LabelDragWhenSelected() const override { return true; }
    std::unique_ptr<CDataRgn> NewRegion(RgnPoint a, RgnPoint b) const override;
    void SetRegionBox(const std::array<float, 4>& box) override;
    std::array<float, 4> GetRegionBox() const override;
    void DrawShape(RgnCanvas& canvas) override;
};
