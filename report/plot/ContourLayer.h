#pragma once
// The events of the plot's gate as contour lines: the grid smoothed by a
// square window and traced at each count level with CONREC (Bourke, 1987),
// each grid square split into four triangles around its centre. Grid node i
// lies at the centre of bin i on the area, for the drawing and the mask
// alike; a segment's two end pixels are drawn too.
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "report/plot/GridLayer.h"

class CContourLayer : public CGridLayer {
public:
    static constexpr int32_t kGridSize = 64;
    static constexpr int32_t kDefaultLevelCount = 8;
    static constexpr int32_t kDefaultRadius = 1;
    // Radii a record may hold: 0 (no smoothing) .. a quarter of the grid.
    static constexpr int32_t kMaxRadius = kGridSize / 4;

    // x1, y1, x2, y2 in grid node units.
    using Segment = std::array<float, 4>;

    CContourLayer(CGateNode* gate, int32_t xPar, int32_t yPar, CPLOT* plot, bool ownsTransforms);

    // ---- CLayer ----
    std::unique_ptr<CLayer> Clone(CPLOT* plot) override;
    void Draw(QImage& area) override;
    void DrawMask(QImage& mask) override;
    // Record: int stored field, int level count (1 .. kMaxLevelCount), int
    // smoothing radius (0 .. kMaxRadius). Values outside them throw
    // CArchiveException and leave the layer as it was.
    void Load(CArchive& ar) override;
    void Store(CArchive& ar) const override;
    void ReleaseData() override;

    // False (nothing changed) outside 0 .. kMaxRadius.
    bool SetRadius(int32_t r);
    int32_t GetRadius() const { return m_radius; }
    const std::vector<Segment>& GetSegments() const { return m_segments; }
    // The grid averaged over a (2r + 1)^2 window; the divisor stays the
    // window's size at the borders. n x n, cell (i, j) at i * n + j.
    std::vector<float> Smoothed() const;
    // Pixel of grid node v (n nodes) on an area w wide or h high: the centre
    // of bin v, the same place the density layer paints cell v. Rows count
    // from the top, nodes from the bottom.
    static int32_t NodeToColumn(float v, int32_t w, int32_t n);
    static int32_t NodeToRow(float v, int32_t h, int32_t n);

protected:
    void AfterBinning() override;

private:
    void DrawSegments(QImage& target, COLORREF colour) const;

    int32_t m_radius = kDefaultRadius;
    std::vector<Segment> m_segments;
};

// The contour layer of a plot (the plot's layer maker).
std::unique_ptr<CLayer> MakeContourLayer(CGateNode* gate, int32_t xPar, int32_t yPar, CPLOT* plot);
