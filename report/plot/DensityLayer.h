#pragma once
// The events of the plot's gate as a density map: the grid's cells painted in
// the colour of the highest count level they reach, cell (0, 0) at the
// bottom left of the area. At most six levels, one per colour; cells below
// the first level stay unpainted.
#include <array>
#include <cstdint>
#include <memory>

#include "report/plot/GridLayer.h"

class CDensityLayer : public CGridLayer {
public:
    static constexpr int32_t kGridSize = 256;
    static constexpr int32_t kDefaultLevelCount = 6;
    // Level colours, lowest first: green, blue, light blue, yellow, orange, red.
    static constexpr std::array<COLORREF, 6> kLevelColours = {0x00FA00, 0xFA6400, 0xFAC800,
                                                              0x32FFFF, 0x0032FF, 0x0000FF};

    CDensityLayer(CGateNode* gate, int32_t xPar, int32_t yPar, CPLOT* plot, bool ownsTransforms);

    // ---- CLayer ----
    // A copy on the same gate for plot, owning clones of this layer's
    // transforms; binned by Reset.
    std::unique_ptr<CLayer> Clone(CPLOT* plot) override;
    void Draw(QImage& area) override;
    // Black wherever a cell reaches the first level; nothing without levels.
    void DrawMask(QImage& mask) override;
    // Record: int stored field, int level count (1 .. kMaxLevelCount), int
    // cell width, int cell height. A level count outside its range throws
    // CArchiveException and leaves the layer as it was.
    void Load(CArchive& ar) override;
    void Store(CArchive& ar) const override;

    void SetCellSize(int32_t width, int32_t height);
    int32_t GetCellWidth() const { return m_cellWidth; }
    int32_t GetCellHeight() const { return m_cellHeight; }

protected:
    int32_t MaxLevels() const override { return int32_t(kLevelColours.size()); }
    void AfterBinning() override;

private:
    // Paints every cell that reaches the first level, in the colour of the
    // highest level it reaches, or in `only` when that is not None.
    void PaintCells(QImage& target, COLORREF only);

    int32_t m_cellWidth = 0;
    int32_t m_cellHeight = 0;
};

// The density layer of a plot (the plot's layer maker).
std::unique_ptr<CLayer> MakeDensityLayer(CGateNode* gate, int32_t xPar, int32_t yPar, CPLOT* plot);
