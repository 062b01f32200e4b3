#pragma once
// The editor of a polygon region (CrPolygon): entered vertex by vertex, then
// moved, scaled by its bounding box or reshaped vertex by vertex.
//
// Its own mouse states on top of the region layers' (RgnLayer.h):
//   6 entry: each release adds a vertex, a release back on the first vertex
//     (or a double click) with three or more ends it
//   9 vertex mode: the handles are the vertices
//   34 box scaling: a corner of the bounding box is dragged
// A polygon may cross itself: events inside count by the odd-even rule, as
// the region tests them. Every routine copes with fewer than three vertices,
// which a file can hand in.
#include <cstdint>
#include <memory>
#include <vector>

#include "core/Region.h"
#include "report/plot/RgnLayer.h"

// Entry stops adding vertices here: the most a document may hold.
constexpr int32_t kPolygonMaxVertices = 10000;

// The outline test of a polygon's edges and a quadrant's arms: p lies within
// about 5 pixels of the segment a-b (layer coordinates). Near-vertical and
// near-horizontal segments get a 5-pixel band; others a bound on the
// normalised cross product, inside the segment's box only (a point on an
// edge's extension is not on it).
bool RgnNearSegment(CPoint p, CPoint a, CPoint b);

class CPolygonLayer : public CRgnLayer {
public:
    // A polygon about to be entered with the polygon tool.
    CPolygonLayer(int32_t xPar, int32_t yPar, CPLOT* plot);
    // The layer of an existing polygon region: closed, box handles.
    CPolygonLayer(CrPolygon* region, CPLOT* plot);

    int32_t GetRegionType() const override { return kRgnPolygon; }

    bool OnButtonDown(CPoint page, int32_t* state) override;
    bool OnDrag(CPoint page, int32_t* state) override;
    // Entry with three or more vertices: ends it (state 0, vertex mode),
    // true. State 0 or 3 on the outline: vertex mode (state 9), true.
    bool OnDoubleClick(CPoint page, int32_t* state) override;

    // Index of the vertex within 4 pixels of p on both axes, -1 for none.
    int32_t HitHandle(CPoint p) const override;
    // Corner 1 (left, top), 2 (right, top), 3 (left, bottom), 4 (right,
    // bottom) of the bounding box within 4 pixels of p, -1 for none.
    int32_t HitBoxCorner(CPoint p) const;
    // Any edge, the closing one included, passes near p.
    bool HitOutline(CPoint p) const override;

    std::unique_ptr<CDataRgn> MakeRegion() override;
    // 10 pixels right of and below the first vertex, kept in the area.
    void PlaceLabel() override;

    const std::vector<CPoint>& GetVertices() const { return m_vertices; }
    bool IsClosed() const { return m_closed; }
    bool InVertexMode() const { return m_vertexMode; }
    // Bounding box of the vertices (left, top = max y, right, bottom = min
    // y), as last taken.
    const CRect& GetBox() const { return m_box; }

protected:
    // Every release takes the box of the vertices as they are now.
    void OrderShape() override { m_box = BoundingBox(); }
    int32_t StateAfterHandleDrag() const override;
    int32_t StateAfterMove() const override;
    bool ReleaseOwnState(CPoint page, int32_t* state) override;
    void ReadRegionGeometry() override;
    void WriteRegionGeometry() override;
    void DrawShape(RgnCanvas& canvas) override;
    void DrawHandles(RgnCanvas& canvas) override;

private:
    CRect BoundingBox() const;
    // Saved vertices, box and press box taken at a press that starts an edit.
    void TakeSnapshot(CPoint p);
    // Every vertex from its saved place, scaled about the press box's corner
    // opposite the grabbed one so that the grabbed corner lands on p.
    void ScaleTo(CPoint p);
    bool ReleaseEntry(CPoint page, CPoint p, int32_t* state);

    bool m_vertexMode = false;
    bool m_closed = false;
    std::vector<CPoint> m_vertices;
    std::vector<CPoint> m_saved;
    CRect m_box;
    CRect m_pressBox;
    CPoint m_press;  // layer point of the press that started a move
};
