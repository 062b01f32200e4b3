#include "report/plot/DensityLayer.h"

#include <algorithm>
#include <string>

#include "base/Archive.h"

CDensityLayer::CDensityLayer(CGateNode* gate, int32_t xPar, int32_t yPar, CPLOT* plot, bool ownsTransforms)
    : CGridLayer(gate, xPar, yPar, plot, ownsTransforms) {
    m_levelCount = kDefaultLevelCount;
    m_levelMode = kLevelsEqualShares;
    SetGridSize(kGridSize);
}

void CDensityLayer::AfterBinning() {
    // The record holds the cell size: it is that of the area the counts are
    // for, whether or not the plot has been drawn since.
    const CRect a = GetPlotArea();
    if (m_gridSize > 0) SetCellSize(a.Width() / m_gridSize + 1, a.Height() / m_gridSize + 1);
    if (GetGate()) {
        ComputeLevels(m_levelCount);
    } else {
        m_levels.clear();
    }
}

void CDensityLayer::SetCellSize(int32_t width, int32_t height) {
    m_cellWidth = width;
    m_cellHeight = height;
}

void CDensityLayer::PaintCells(QImage& target, COLORREF only) {
    const int32_t w = target.width(), h = target.height();
    const int32_t n = m_gridSize;
    SetCellSize(n > 0 ? w / n + 1 : 0, n > 0 ? h / n + 1 : 0);
    if (!IsUsableArea(w, h) || n <= 0 || m_levels.empty() || m_grid.empty()) return;
    if (target.format() != QImage::Format_RGB32 && target.format() != QImage::Format_ARGB32) return;
    // Cells overlap their neighbours by a pixel; painting level by level
    // leaves each shared pixel in the colour of the higher level, as if every
    // level were painted over the whole area in turn.
    const size_t nLevels = m_levels.size();
    std::vector<std::vector<uint32_t>> byLevel(nLevels);
    for (size_t k = 0; k < m_grid.size(); ++k) {
        const float c = float(m_grid[k]);
        const size_t reached = size_t(std::upper_bound(m_levels.begin(), m_levels.end(), c) - m_levels.begin());
        if (reached > 0) byLevel[reached - 1].push_back(uint32_t(k));
    }
    for (size_t l = 0; l < nLevels; ++l) {
        const COLORREF colour = only != kColorNone ? only : kLevelColours[std::min(l, kLevelColours.size() - 1)];
        const QRgb rgb = ColorRefToRgb(colour) | 0xFF000000u;
        for (uint32_t k : byLevel[l]) {
            const int64_t i = k / uint32_t(n), j = k % uint32_t(n);
            const int32_t left = int32_t(i * w / n);
            const int32_t top = int32_t((n - 1 - j) * h / n);
            const int32_t right = std::min(w, left + m_cellWidth);
            const int32_t bottom = std::min(h, top + m_cellHeight);
            for (int32_t y = top; y < bottom; ++y) {
                QRgb* row = reinterpret_cast<QRgb*>(target.scanLine(y));
                std::fill(row + left, row + right, rgb);
            }
        }
    }
}

void CDensityLayer::Draw(QImage& area) {
    if (area.isNull()) return;
    RecalculateIfStale();
    PaintCells(area, kColorNone);
}

void CDensityLayer::DrawMask(QImage& mask) {
    if (mask.isNull()) return;
    RecalculateIfStale();
    PaintCells(mask, 0);
}

void CDensityLayer::Load(CArchive& ar) {
    const int32_t stored = ar.ReadInt32();
    const int32_t levels = ar.ReadInt32();
    const int32_t cellWidth = ar.ReadInt32();
    const int32_t cellHeight = ar.ReadInt32();
    if (levels < 1 || levels > kMaxLevelCount)
        throw CArchiveException("density record: level count " + std::to_string(levels) + " is outside 1.." +
                                std::to_string(kMaxLevelCount));
    m_storedField = stored;
    m_levelCount = levels;
    // Drawing sets the cell size again; kept as read until then.
    SetCellSize(cellWidth, cellHeight);
    m_stale = true;
}

void CDensityLayer::Store(CArchive& ar) const {
    ar.WriteInt32(m_storedField);
    ar.WriteInt32(m_levelCount);
    ar.WriteInt32(m_cellWidth);
    ar.WriteInt32(m_cellHeight);
}

std::unique_ptr<CLayer> CDensityLayer::Clone(CPLOT* plot) {
    auto c = std::make_unique<CDensityLayer>(GetGate(), m_xPar, m_yPar, plot, true);
    CopyInto(*c);
    c->m_cellWidth = m_cellWidth;
    c->m_cellHeight = m_cellHeight;
    return c;
}

std::unique_ptr<CLayer> MakeDensityLayer(CGateNode* gate, int32_t xPar, int32_t yPar, CPLOT* plot) {
    return std::make_unique<CDensityLayer>(gate, xPar, yPar, plot, false);
}
