#include "report/plot/ContourLayer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "base/Archive.h"

namespace {

// CONREC's cases by the signs (-1, 0, 1, each + 1) of a triangle's three
// vertices: 0 no line; 1-3 along an edge between two vertices; 4-6 from a
// vertex to the opposite edge; 7-9 between two edges.
constexpr int kCases[3][3][3] = {
    {{0, 0, 8}, {0, 2, 5}, {7, 6, 9}},
    {{0, 3, 4}, {1, 3, 1}, {4, 3, 0}},
    {{9, 6, 7}, {5, 2, 0}, {8, 0, 0}},
};

// Traces the levels over the n x n values d (cell (i, j) at i * n + j), the
// node indices as coordinates.
void Conrec(const std::vector<float>& d, int32_t n, const std::vector<float>& z,
            std::vector<CContourLayer::Segment>* out) {
    if (z.empty() || n < 2) return;
    constexpr int im[4] = {0, 1, 1, 0};
    constexpr int jm[4] = {0, 0, 1, 1};
    auto at = [&](int32_t i, int32_t j) { return double(d[size_t(i) * size_t(n) + size_t(j)]); };
    for (int32_t j = 0; j + 1 < n; ++j) {
        for (int32_t i = 0; i + 1 < n; ++i) {
            const double c[4] = {at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)};
            const double dmin = std::min({c[0], c[1], c[2], c[3]});
            const double dmax = std::max({c[0], c[1], c[2], c[3]});
            if (dmax < z.front() || dmin > z.back()) continue;
            for (float level : z) {
                if (level < dmin || level > dmax) continue;
                double h[5], xh[5], yh[5];
                int sh[5];
                for (int m = 4; m >= 0; --m) {
                    if (m > 0) {
                        h[m] = c[m - 1] - level;
                        xh[m] = double(i + im[m - 1]);
                        yh[m] = double(j + jm[m - 1]);
                    } else {
                        h[0] = 0.25 * (h[1] + h[2] + h[3] + h[4]);
                        xh[0] = double(i) + 0.5;
                        yh[0] = double(j) + 0.5;
                    }
                    sh[m] = h[m] > 0.0 ? 1 : (h[m] < 0.0 ? -1 : 0);
                }
                auto sectX = [&](int p1, int p2) { return (h[p2] * xh[p1] - h[p1] * xh[p2]) / (h[p2] - h[p1]); };
                auto sectY = [&](int p1, int p2) { return (h[p2] * yh[p1] - h[p1] * yh[p2]) / (h[p2] - h[p1]); };
                for (int m = 1; m <= 4; ++m) {
                    const int m1 = m, m2 = 0, m3 = m != 4 ? m + 1 : 1;
                    double x1, y1, x2, y2;
                    switch (kCases[sh[m1] + 1][sh[m2] + 1][sh[m3] + 1]) {
                        case 1: x1 = xh[m1]; y1 = yh[m1]; x2 = xh[m2]; y2 = yh[m2]; break;
                        case 2: x1 = xh[m2]; y1 = yh[m2]; x2 = xh[m3]; y2 = yh[m3]; break;
                        case 3: x1 = xh[m3]; y1 = yh[m3]; x2 = xh[m1]; y2 = yh[m1]; break;
                        case 4: x1 = xh[m1]; y1 = yh[m1]; x2 = sectX(m2, m3); y2 = sectY(m2, m3); break;
                        case 5: x1 = xh[m2]; y1 = yh[m2]; x2 = sectX(m3, m1); y2 = sectY(m3, m1); break;
                        case 6: x1 = xh[m3]; y1 = yh[m3]; x2 = sectX(m1, m2); y2 = sectY(m1, m2); break;
                        case 7: x1 = sectX(m1, m2); y1 = sectY(m1, m2); x2 = sectX(m2, m3); y2 = sectY(m2, m3); break;
                        case 8: x1 = sectX(m2, m3); y1 = sectY(m2, m3); x2 = sectX(m3, m1); y2 = sectY(m3, m1); break;
                        case 9: x1 = sectX(m3, m1); y1 = sectY(m3, m1); x2 = sectX(m1, m2); y2 = sectY(m1, m2); break;
                        default: continue;
                    }
                    out->push_back({float(x1), float(y1), float(x2), float(y2)});
                }
            }
        }
    }
}

// A line from (x0, y0) to (x1, y1), both end pixels included, clipped to the
// picture.
void PlotLine(QImage& img, int32_t x0, int32_t y0, int32_t x1, int32_t y1, QRgb rgb) {
    const int32_t w = img.width(), h = img.height();
    const int32_t dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    const int32_t sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    int32_t err = dx + dy;
    for (;;) {
        if (x0 >= 0 && y0 >= 0 && x0 < w && y0 < h) reinterpret_cast<QRgb*>(img.scanLine(y0))[x0] = rgb;
        if (x0 == x1 && y0 == y1) return;
        const int32_t e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

}  // namespace

CContourLayer::CContourLayer(CGateNode* gate, int32_t xPar, int32_t yPar, CPLOT* plot, bool ownsTransforms)
    : CGridLayer(gate, xPar, yPar, plot, ownsTransforms) {
    m_levelCount = kDefaultLevelCount;
    m_levelMode = kLevelsDoubling;
    SetGridSize(kGridSize);
}

bool CContourLayer::SetRadius(int32_t r) {
    if (r < 0 || r > kMaxRadius) return false;
    m_radius = r;
    m_stale = true;
    return true;
}

std::vector<float> CContourLayer::Smoothed() const {
    const int32_t n = m_gridSize;
    std::vector<float> out(m_grid.size(), 0.0f);
    if (m_grid.empty() || n <= 0) return out;
    // Sums over the window from a table of prefix sums, so the cost does not
    // grow with the radius.
    const size_t s = size_t(n) + 1;
    std::vector<double> pre(s * s, 0.0);
    for (int32_t i = 0; i < n; ++i)
        for (int32_t j = 0; j < n; ++j)
            pre[size_t(i + 1) * s + size_t(j + 1)] = double(m_grid[size_t(i) * size_t(n) + size_t(j)]) +
                                                     pre[size_t(i) * s + size_t(j + 1)] +
                                                     pre[size_t(i + 1) * s + size_t(j)] - pre[size_t(i) * s + size_t(j)];
    const int32_t r = m_radius;
    const double divisor = double(2 * r + 1) * double(2 * r + 1);
    for (int32_t i = 0; i < n; ++i) {
        const size_t i0 = size_t(std::max(0, i - r)), i1 = size_t(std::min(n - 1, i + r)) + 1;
        for (int32_t j = 0; j < n; ++j) {
            const size_t j0 = size_t(std::max(0, j - r)), j1 = size_t(std::min(n - 1, j + r)) + 1;
            const double sum = pre[i1 * s + j1] - pre[i0 * s + j1] - pre[i1 * s + j0] + pre[i0 * s + j0];
            out[size_t(i) * size_t(n) + size_t(j)] = float(sum / divisor);
        }
    }
    return out;
}

void CContourLayer::AfterBinning() {
    m_segments.clear();
    if (!GetGate()) {
        m_levels.clear();
        return;
    }
    ComputeLevels(m_levelCount);
    Conrec(Smoothed(), m_gridSize, m_levels, &m_segments);
}

void CContourLayer::ReleaseData() {
    CGridLayer::ReleaseData();
    std::vector<Segment>().swap(m_segments);
}

int32_t CContourLayer::NodeToColumn(float v, int32_t w, int32_t n) {
    if (n <= 0) return 0;
    const double p = (double(v) + 0.5) * double(w) / double(n);
    return int32_t(std::clamp(std::floor(p), -1.0, double(w)));
}

int32_t CContourLayer::NodeToRow(float v, int32_t h, int32_t n) {
    if (n <= 0) return 0;
    const double p = double(h) - (double(v) + 0.5) * double(h) / double(n);
    return int32_t(std::clamp(std::floor(p), -1.0, double(h)));
}

void CContourLayer::DrawSegments(QImage& target, COLORREF colour) const {
    const int32_t w = target.width(), h = target.height();
    if (!IsUsableArea(w, h) || colour == kColorNone) return;
    if (target.format() != QImage::Format_RGB32 && target.format() != QImage::Format_ARGB32) return;
    const QRgb rgb = ColorRefToRgb(colour) | 0xFF000000u;
    const int32_t n = m_gridSize;
    for (const Segment& s : m_segments)
        PlotLine(target, NodeToColumn(s[0], w, n), NodeToRow(s[1], h, n), NodeToColumn(s[2], w, n),
                 NodeToRow(s[3], h, n), rgb);
}

void CContourLayer::Draw(QImage& area) {
    if (area.isNull()) return;
    RecalculateIfStale();
    DrawSegments(area, m_color);
}

void CContourLayer::DrawMask(QImage& mask) {
    if (mask.isNull()) return;
    RecalculateIfStale();
    DrawSegments(mask, 0);
}

void CContourLayer::Load(CArchive& ar) {
    const int32_t stored = ar.ReadInt32();
    const int32_t levels = ar.ReadInt32();
    const int32_t radius = ar.ReadInt32();
    if (levels < 1 || levels > kMaxLevelCount)
        throw CArchiveException("contour record: level count " + std::to_string(levels) + " is outside 1.." +
                                std::to_string(kMaxLevelCount));
    if (radius < 0 || radius > kMaxRadius)
        throw CArchiveException("contour record: smoothing radius " + std::to_string(radius) + " is outside 0.." +
                                std::to_string(kMaxRadius));
    m_storedField = stored;
    m_levelCount = levels;
    m_radius = radius;
    m_stale = true;
}

void CContourLayer::Store(CArchive& ar) const {
    ar.WriteInt32(m_storedField);
    ar.WriteInt32(m_levelCount);
    ar.WriteInt32(m_radius);
}

std::unique_ptr<CLayer> CContourLayer::Clone(CPLOT* plot) {
    auto c = std::make_unique<CContourLayer>(GetGate(), m_xPar, m_yPar, plot, true);
    CopyInto(*c);
    c->m_radius = m_radius;
    return c;
}

std::unique_ptr<CLayer> MakeContourLayer(CGateNode* gate, int32_t xPar, int32_t yPar, CPLOT* plot) {
    return std::make_unique<CContourLayer>(gate, xPar, yPar, plot, false);
}
