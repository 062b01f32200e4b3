#include "report/plot/EllipseLayer.h"

CEllipseLayer::CEllipseLayer(int32_t xPar, int32_t yPar, CPLOT* plot) : CBoxRgnLayer(plot, xPar, yPar) {}

CEllipseLayer::CEllipseLayer(CrEllipse* region, CPLOT* plot) : CBoxRgnLayer(plot, 0, 0) { AttachExisting(region); }

std::unique_ptr<CDataRgn> CEllipseLayer::NewRegion(RgnPoint a, RgnPoint b) const {
    return std::make_unique<CrEllipse>(m_xPar, m_yPar, a, b);
}

void CEllipseLayer::SetRegionBox(const std::array<float, 4>& box) {
    static_cast<CrEllipse*>(m_region)->SetGeometry(box, this);
}

std::array<float, 4> CEllipseLayer::GetRegionBox() const {
    std::array<float, 4> b{};
    static_cast<const CrEllipse*>(m_region)->GetGeometry(&b);
    return b;
}

void CEllipseLayer::DrawShape(RgnCanvas& canvas) { canvas.Ellipse(DrawingBox()); }
