#pragma once
// Regions: the geometric part of region gates. A region lives in display
// fractions (0..1, y upward) of its plot's two axes; each event value is first
// passed through the clamped ToFraction of the shell's transform of its
// parameter, and the shape is tested in that 0..1 space. Borders:
//   range, rectangle, polygon box: strict (an event on the border is outside)
//   ellipse: inclusive (an event on the ellipse is inside)
//   polygon: box test, then an odd number of edges crossed by a ray to the left
//   quadrant part: the rays from the event cross the part's arms
//   cross: four result blocks around a centre; events on a centre line are in none
//
// A region is owned by its gate node (CGateNode), which calls HitTest at every
// evaluation. Region layers of plots listen through CDataRgnGPUser.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/EventBitMask.h"

class CDataSet;
class CGateNode;
class CTRANS;
class FractionCache;
class CDataRgn;

// Shape codes, as stored in document records (4 is not used).
enum RegionType : int32_t {
    kRgnRange = 0,
    kRgnRect = 1,
    kRgnEllipse = 2,
    kRgnPolygon = 3,
    kRgnCross = 5,
    kRgnQuadrant = 6,
};

// Listener of a region: the region layers that show it.
class CDataRgnGPUser {
public:
    // The region's geometry changed; recompute the drawing from it.
    virtual void RegionChanged() = 0;
    // The region is being destroyed: forget it (it is no longer listed).
    virtual void RegionDeleted(CDataRgn* /*region*/) {}
    // The region (its gate) took another name: a label shows it anew.
    virtual void RegionRenamed() {}

protected:
    virtual ~CDataRgnGPUser() = default;
};

// What a hit test reads: the data set (current, compensated columns), the
// transforms of the region's x and y parameters (y is not read by a range),
// and optionally the shell's fraction cache.
struct RegionInput {
    const CDataSet* dataSet = nullptr;
    const CTRANS* xTrans = nullptr;
    const CTRANS* yTrans = nullptr;
    FractionCache* cache = nullptr;
};

struct RgnPoint {
    float x = 0.0f;
    float y = 0.0f;
    bool operator==(const RgnPoint&) const = default;
};

class CDataRgn {
public:
    virtual ~CDataRgn();
    CDataRgn(const CDataRgn&) = delete;
    CDataRgn& operator=(const CDataRgn&) = delete;

    // A new region of the same shape, parameters and geometry, without owner
    // or listeners (a quadrant part's clone is a complete new quadrant whose
    // part 0 is returned).
    virtual std::unique_ptr<CDataRgn> Clone() const = 0;

    // Clears mask, then sets the bit of every event inside the shape; with
    // parentMask only events set in it are tested. Covers the first
    // min(event count, mask bits[, parent bits]) events. Returns false, with
    // the mask left clear, when the input cannot be read: no data set or event
    // matrix, a parameter index outside the data set, or a missing transform.
    virtual bool HitTest(const RegionInput& in, EventBitMask& mask, const EventBitMask* parentMask);

    // Test of one point given in fractions.
    virtual bool Contains(float fx, float fy) const = 0;

    // Orders the box so that x0 <= x1 and y0 <= y1.
    virtual void Normalise();
    // Tells every listener (source included; a quadrant leaves source out),
    // then the owner gate, which re-evaluates itself and its dependents.
    virtual void Changed(CDataRgnGPUser* source);

    int32_t GetType() const { return m_type; }
    const std::string& GetName() const { return m_name; }
    // A new name is told to the listeners.
    void SetName(const std::string& name);
    CGateNode* GetOwner() const { return m_owner; }
    void SetOwner(CGateNode* owner) { m_owner = owner; }

    void GetParams(int32_t* x, int32_t* y) const {
        *x = m_xParam;
        *y = m_yParam;
    }
    int32_t GetXParam() const { return m_xParam; }
    int32_t GetYParam() const { return m_yParam; }
    void SetParams(int32_t x, int32_t y) {
        m_xParam = x;
        m_yParam = y;
    }
    // The owner shell's current transform of the x or y parameter; null
    // without an owner gate, shell or such parameter.
    CTRANS* GetXTrans() const;
    CTRANS* GetYTrans() const;
    // Whether the hit test reads the y parameter (false for a range).
    virtual bool UsesYParam() const { return true; }
    // True when the parameters this region reads exist among n parameters.
    bool FitsParamCount(int32_t n) const;

    // The box x0, y0, x1, y1.
    std::array<float, 4> GetBox() const { return {m_x0, m_y0, m_x1, m_y1}; }

    void AddUser(CDataRgnGPUser* listener);
    void RemoveUser(CDataRgnGPUser* listener);
    const std::vector<CDataRgnGPUser*>& GetUsers() const { return m_listeners; }

protected:
    CDataRgn(int32_t type, int32_t xParam, int32_t yParam);
    // Tells the listeners except skip (null: all), in list order, surviving
    // listeners that leave while being told.
    void NotifyListeners(CDataRgnGPUser* skip);
    void CopyBaseTo(CDataRgn& c) const;
    // x0, y0, x1, y1 as given (not ordered).
    void SetBox(const std::array<float, 4>& box);

    // Fraction columns for the hit test: ok false when the input is unusable.
    struct Columns {
        bool ok = false;
        uint32_t count = 0;
        const float* fx = nullptr;
        const float* fy = nullptr;
        // With a filter on fx: the parent's events that pass it, the only
        // ones whose fy was read (and the only ones to be tested).
        bool filtered = false;
        EventBitMask passed;
        std::vector<float> ownX, ownY;  // when there is no cache
    };
    Columns PrepareColumns(const RegionInput& in, const EventBitMask& mask,
                           const EventBitMask* parentMask) const;
    // The same, fy read only for the events whose fx meets xPass.
    template <class XPass>
    Columns PrepareColumnsFiltered(const RegionInput& in, const EventBitMask& mask,
                                   const EventBitMask* parentMask, XPass&& xPass) const;
    // The hit test of every region kind: clears the masks, prepares the
    // columns (for as many events as masks[0] holds) and sets, for each event
    // tested, bit k of masks[k] when bit k of classify(fx, fy) is set (fy 0
    // for a region on one parameter), over the first events that every mask
    // holds. False, masks clear, when the input is unusable.
    template <size_t N, class Classify>
    bool FillHits(const RegionInput& in, const std::array<EventBitMask*, N>& masks,
                  const EventBitMask* parentMask, Classify&& classify) const;
    // The same, with block(fx, fy, bits) writing into bits[k] bit k of
    // classify for the 32 events from fx, fy on (a region on two parameters
    // whose words of enough events are classified whole).
    template <size_t N, class Classify, class Block>
    bool FillHitsBlocks(const RegionInput& in, const std::array<EventBitMask*, N>& masks,
                        const EventBitMask* parentMask, Classify&& classify, Block&& block) const;
    // Both of the above, with xPass as in FillHitsXFirst.
    template <size_t N, class Classify, class Block, class XPass>
    bool FillHitsWith(const RegionInput& in, const std::array<EventBitMask*, N>& masks,
                      const EventBitMask* parentMask, Classify&& classify, Block&& block, XPass&& xPass) const;
    // The same with one mask and inside(fx, fy) deciding.
    template <class Inside>
    bool FillHits(const RegionInput& in, EventBitMask& mask, const EventBitMask* parentMask,
                  Inside&& inside) const;
    // The same, with xPass(fx) a condition that every event inside meets:
    // fy is computed only for the events that meet it (a box narrow in x
    // leaves most of the y column alone).
    template <class XPass, class Inside>
    bool FillHitsXFirst(const RegionInput& in, EventBitMask& mask, const EventBitMask* parentMask,
                        XPass&& xPass, Inside&& inside) const;

    std::string m_name;
    CGateNode* m_owner = nullptr;
    int32_t m_xParam = 0;
    int32_t m_yParam = 0;
    float m_x0 = 0.0f, m_y0 = 0.0f, m_x1 = 0.0f, m_y1 = 0.0f;
    std::vector<CDataRgnGPUser*> m_listeners;
    int32_t m_type = 0;
};

// One parameter: lower < fx < upper.
class CrRange final : public CDataRgn {
public:
    // Stores lower = min(a, b), upper = max(a, b).
    CrRange(int32_t xParam, int32_t yParam, float a, float b);
    std::unique_ptr<CDataRgn> Clone() const override;
    bool HitTest(const RegionInput& in, EventBitMask& mask, const EventBitMask* parentMask) override;
    bool Contains(float fx, float fy) const override;
    bool UsesYParam() const override { return false; }
    // Stores both as given (no reordering), then Changed(source).
    void SetGeometry(float lower, float upper, CDataRgnGPUser* source);
    void GetGeometry(float* lower, float* upper) const;
};

// x0 < fx < x1 and y0 < fy < y1.
class CrRect final : public CDataRgn {
public:
    // Stores the corners, then Normalise.
    CrRect(int32_t xParam, int32_t yParam, RgnPoint corner1, RgnPoint corner2);
    std::unique_ptr<CDataRgn> Clone() const override;
    bool HitTest(const RegionInput& in, EventBitMask& mask, const EventBitMask* parentMask) override;
    bool Contains(float fx, float fy) const override;
    // Stores the box as given (x0, y0, x1, y1), then Changed(source).
    void SetGeometry(const std::array<float, 4>& box, CDataRgnGPUser* source);
    void GetGeometry(std::array<float, 4>* box) const;
};

// The ellipse inscribed in the box, border included. A degenerate ellipse
// (a zero half axis) contains the points of its segment: with a = 0 the
// points with fx = cx and |fy - cy| <= b, likewise for b = 0.
class CrEllipse final : public CDataRgn {
public:
    CrEllipse(int32_t xParam, int32_t yParam, RgnPoint corner1, RgnPoint corner2);
    std::unique_ptr<CDataRgn> Clone() const override;
    bool HitTest(const RegionInput& in, EventBitMask& mask, const EventBitMask* parentMask) override;
    bool Contains(float fx, float fy) const override;
    // Orders the box, then a, b, cx, cy from it.
    void Normalise() override;
    // Stores the box, Normalise, then Changed(source).
    void SetGeometry(const std::array<float, 4>& box, CDataRgnGPUser* source);
    void GetGeometry(std::array<float, 4>* box) const;
    float GetA() const { return m_a; }
    float GetB() const { return m_b; }
    float GetCX() const { return m_cx; }
    float GetCY() const { return m_cy; }

private:
    float m_a = 0.0f, m_b = 0.0f, m_cx = 0.0f, m_cy = 0.0f;
};

// Inside the vertices' bounding box (strict) and an odd number of edges
// crossed by the ray from the point to the far left. Fewer than 3 vertices
// contain nothing.
class CrPolygon final : public CDataRgn {
public:
    CrPolygon(int32_t xParam, int32_t yParam, std::vector<RgnPoint> vertices);
    std::unique_ptr<CDataRgn> Clone() const override;
    bool HitTest(const RegionInput& in, EventBitMask& mask, const EventBitMask* parentMask) override;
    bool Contains(float fx, float fy) const override;
    // Copies the vertices, recomputes the box, then Changed(source).
    void SetGeometry(std::vector<RgnPoint> vertices, CDataRgnGPUser* source);
    void GetGeometry(std::vector<RgnPoint>* vertices) const;
    const std::vector<RgnPoint>& GetVertices() const { return m_vertices; }
    int32_t GetVertexCount() const { return int32_t(m_vertices.size()); }

private:
    void UpdateBox();
    std::vector<RgnPoint> m_vertices;
};

// Four results around one centre: block 0 upper right (fx > cx, fy > cy),
// 1 upper left, 2 lower left, 3 lower right; an event with fx = cx or
// fy = cy is in none. The gate's own mask (what HitTest writes) is block 0,
// the events that the mask's single block has always held; all four blocks
// are kept by the region after each HitTest, each an EventBitMask of the
// event count, and can also be computed into caller masks with HitTestBlocks.
class CrCross final : public CDataRgn {
public:
    static constexpr int kBlocks = 4;

    CrCross(int32_t xParam, int32_t yParam, float cx, float cy);
    std::unique_ptr<CDataRgn> Clone() const override;
    bool HitTest(const RegionInput& in, EventBitMask& mask, const EventBitMask* parentMask) override;
    // Block of a point: 0-3, or -1 on a centre line.
    int32_t BlockOf(float fx, float fy) const;
    // Contains: the point lies in block 0.
    bool Contains(float fx, float fy) const override { return BlockOf(fx, fy) == 0; }
    // The four results into four masks (each cleared and sized as mask 0 is
    // sized by the caller; blocks[k] must have at least as many bits as
    // blocks[0]).
    bool HitTestBlocks(const RegionInput& in, std::array<EventBitMask*, kBlocks> blocks,
                       const EventBitMask* parentMask) const;
    // Results of the last HitTest (empty masks before the first).
    const EventBitMask& GetBlockMask(int32_t k) const;
    uint32_t GetBlockCount(int32_t k) const;

    void SetGeometry(RgnPoint centre, CDataRgnGPUser* source);
    void GetGeometry(RgnPoint* centre) const;

private:
    float m_cx, m_cy;
    std::array<EventBitMask, kBlocks> m_blocks;
};

// One of the four parts of a quadrant: a centre and four arms from it to the
// edges of the unit square (right arm to (1.01, a0), upper to (a1, 1.01), left
// to (-0.1, a2), lower to (a3, -0.1)). Part 0 is the master: constructing it
// creates parts 1-3, which it holds until the shell takes them (TakePart) and
// gives them to their gates. Links between parts are cleared when a part is
// destroyed, so no part ever points at a dead one.
class CrQuadrant final : public CDataRgn {
public:
    // Part 0 (the master, which creates parts 1-3). Arms a0..a3 as above.
    CrQuadrant(int32_t xParam, int32_t yParam, float cx, float cy, float a0, float a1, float a2,
               float a3);
    ~CrQuadrant() override;

    // The complete new quadrant (its part 0), whatever part this is.
    std::unique_ptr<CDataRgn> Clone() const override;
    bool HitTest(const RegionInput& in, EventBitMask& mask, const EventBitMask* parentMask) override;
    bool Contains(float fx, float fy) const override;

    int32_t GetPart() const { return m_part; }
    // Part 0 of this quadrant (this for part 0; null for a part whose master
    // is gone).
    CrQuadrant* GetMaster() const { return m_master; }
    // Part i (0-3) of this quadrant, null outside 0-3 or when gone.
    CrQuadrant* GetPartRegion(int32_t i) const;
    // The gate that owns part i, null outside 0-3 or when none.
    CGateNode* GetPartGate(int32_t i) const;
    // Hands part i (1-3) still held by part 0 to the caller; null when this is
    // not part 0, i is not 1-3, or the part was taken already.
    std::unique_ptr<CrQuadrant> TakePart(int32_t i);

    // Only part 0 accepts geometry: writes centre and arms into all parts,
    // then Changed(source) of part 0. Other parts ignore it.
    void SetGeometry(float cx, float cy, float a0, float a1, float a2, float a3,
                     CDataRgnGPUser* source);
    void GetGeometry(RgnPoint* centre, float* a0, float* a1, float* a2, float* a3) const;
    // Listeners of every part except source, then the gates of parts 0-2
    // queued and the gate of part 3 flushed (one re-evaluation pass).
    void Changed(CDataRgnGPUser* source) override;

private:
    CrQuadrant(int32_t xParam, int32_t yParam, const float geo[6], int32_t part, CrQuadrant* master);
    void SetArms(const float geo[6]);

    // In part 0: the results of one walk over the events for all four parts,
    // with what they were computed from, kept until each part gate has taken
    // its own, so that one walk serves the four part gates of one evaluation
    // pass.
    struct PartHits;
    std::unique_ptr<PartHits> m_hits;

    float m_cx = 0.0f, m_cy = 0.0f;
    float m_a[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    int32_t m_part = 0;
    CrQuadrant* m_master = nullptr;
    std::array<CrQuadrant*, 4> m_parts{};           // in part 0: parts 0-3 (0 is itself)
    std::array<std::unique_ptr<CrQuadrant>, 4> m_held;  // parts not yet taken
};

// Segment A-B and segment C-D cross (a touching end may count); exposed for
// tests.
bool RgnSegmentsCross(RgnPoint a, RgnPoint b, RgnPoint c, RgnPoint d);
