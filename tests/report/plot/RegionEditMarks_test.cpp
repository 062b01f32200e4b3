// A region edited with the mouse on the report page is an edit of the report:
// moves, handle drags, polygon vertices, the quadrant's centre, a range's end
// and a label dragged all mark the document modified; a press that moves
// nothing leaves it as it was. A shape drawn with a tool is a new gate: it
// marks the report too.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/Region.h"
#include "report/app/CommandIds.h"
#include "report/page/TrackStates.h"
#include "report/plot/Plot.h"
#include "report/plot/RgnLayer.h"
#include "tests/report/ViewEvents.h"

namespace {

// Where a drag starts on a region layer.
enum class Grip { Outline, Handle, Label };

class RegionEditMarksTest : public vin::ViewFixture {
protected:
    void SetUp() override {
        OpenView(800, 600);
        shell = doc->AttachDataShell(plottest::MakeShell(vin::GridEvents(), "S", "grid.fcs"));
        plot = static_cast<CPLOT*>(
            doc->AddObject(std::make_unique<CPLOT>(CRect(20, 20, 320, 320), shell->GetRoot(), doc.get(), 0, 1)));
    }

    // The page point of a layer point (y upward from the area's bottom).
    CPoint Page(CPoint layer) const {
        const CRect a = plot->GetPlotArea();
        return CPoint(a.left + layer.x, a.bottom - layer.y);
    }
    // The first point of the area (scanned row by row) where the grip lies.
    bool FindGrip(const CRgnLayer& l, Grip grip, int32_t handle, CPoint* page) const {
        const CRect a = plot->GetPlotArea();
        for (int32_t y = 2; y < a.Height() - 2; ++y)
            for (int32_t x = 2; x < a.Width() - 2; ++x) {
                const CPoint p(x, y);
                const bool hit = grip == Grip::Label    ? l.HitLabel(Page(p))
                                 : grip == Grip::Handle ? l.HitHandle(p) == handle
                                                        : l.HitOutline(p) && l.HitHandle(p) < 0 && !l.HitLabel(Page(p));
                if (hit) {
                    *page = Page(p);
                    return true;
                }
            }
        return false;
    }
    // Which of a 40 x 40 grid of axis fractions the region holds.
    static std::vector<bool> Cover(const CDataRgn& r) {
        std::vector<bool> in;
        for (int i = 0; i < 40; ++i)
            for (int j = 0; j < 40; ++j) in.push_back(r.Contains((i + 0.5f) / 40.0f, (j + 0.5f) / 40.0f));
        return in;
    }

    VexaDataShell* shell = nullptr;
    CPLOT* plot = nullptr;
};

TEST_F(RegionEditMarksTest, EveryMouseEditOfARegionMarksTheReport) {
    using Make = std::function<std::unique_ptr<CDataRgn>()>;
    const struct {
        const char* what;
        Make make;
        Grip grip;
        int32_t handle;
        bool vertexMode;  // the polygon's vertices are shown first (double click)
    } cases[] = {
        {"rectangle moved", [] { return std::make_unique<CrRect>(0, 1, RgnPoint{0.2f, 0.2f}, RgnPoint{0.6f, 0.6f}); },
         Grip::Outline, -1, false},
        {"rectangle corner", [] { return std::make_unique<CrRect>(0, 1, RgnPoint{0.2f, 0.2f}, RgnPoint{0.6f, 0.6f}); },
         Grip::Handle, 2, false},
        {"ellipse corner", [] { return std::make_unique<CrEllipse>(0, 1, RgnPoint{0.2f, 0.2f}, RgnPoint{0.6f, 0.7f}); },
         Grip::Handle, 2, false},
        {"polygon vertex",
         [] {
             return std::make_unique<CrPolygon>(
                 0, 1, std::vector<RgnPoint>{{0.2f, 0.2f}, {0.7f, 0.25f}, {0.5f, 0.7f}});
         },
         Grip::Handle, 1, true},
        {"quadrant centre", [] { return std::make_unique<CrQuadrant>(0, 1, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f); },
         Grip::Handle, 0, false},
        {"range end", [] { return std::make_unique<CrRange>(0, 1, 0.3f, 0.6f); }, Grip::Handle, 1, false},
        {"label", [] { return std::make_unique<CrRect>(0, 1, RgnPoint{0.2f, 0.2f}, RgnPoint{0.6f, 0.6f}); },
         Grip::Label, -1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CGateNode* gate = shell->AddRegionGate(c.make(), 0, "");
        ASSERT_NE(gate, nullptr);
        plot->ShowRegion(gate->GetRegion());
        auto* layer = dynamic_cast<CRgnLayer*>(plot->GetRegionLayers().back().get());
        ASSERT_NE(layer, nullptr);
        d->Click(plot->GetTitleRect().CenterPoint());
        ASSERT_EQ(doc->GetActiveObject(), plot);
        PaintAll();  // labels take their size when drawn

        // Selected first (a press on its outline); a polygon shows its vertices.
        CPoint at;
        ASSERT_TRUE(FindGrip(*layer, Grip::Outline, -1, &at));
        if (c.vertexMode) {
            d->DoubleClick(at);
            ASSERT_EQ(view->GetTrackState(), kTrackPolygonVertex);
        } else if (c.grip != Grip::Label) {
            d->Click(at);
        }
        // A press and release in place changes nothing and marks nothing.
        doc->SetModifiedFlag(false);
        const std::vector<bool> before = Cover(*gate->GetRegion());
        const CRect labelBefore = layer->GetLabelRect();
        ASSERT_TRUE(FindGrip(*layer, c.grip, c.handle, &at));
        d->Press(at);
        d->Release(at);
        EXPECT_FALSE(doc->IsModified());
        if (c.vertexMode) {
            // The click in place left the vertices shown.
            ASSERT_TRUE(FindGrip(*layer, c.grip, c.handle, &at));
        } else if (c.grip != Grip::Label) {
            ASSERT_TRUE(FindGrip(*layer, c.grip, c.handle, &at));
        }

        d->Drag(at, CPoint(at.x + 25, at.y - 20));
        if (c.grip == Grip::Label)
            EXPECT_NE(layer->GetLabelRect(), labelBefore);
        else
            EXPECT_NE(Cover(*gate->GetRegion()), before);
        EXPECT_TRUE(doc->IsModified());

        d->Click(CPoint(700, 500));  // lets the plot go
        plot->HideRegion(gate->GetRegion());
    }
}

TEST_F(RegionEditMarksTest, AShapeDrawnWithAToolMarksTheReport) {
    const struct {
        uint32_t tool;
        std::vector<CPoint> clicks;  // layer pixels; a drag from the first to the second, else clicks
        bool dragged;
    } cases[] = {
        {kPlotCmdRectTool, {{40, 40}, {120, 110}}, true},
        {kPlotCmdRangeTool, {{40, 60}, {150, 60}}, true},
        {kPlotCmdPolygonTool, {{30, 30}, {140, 30}, {90, 140}}, false},  // the last one double clicked
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tool);
        const int32_t gates = shell->GetGateCount();
        d->Click(AreaPoint(*plot, 200, 200));
        doc->SetModifiedFlag(false);
        ui.QueueMenuChoice(c.tool);
        d->RightClick(AreaPoint(*plot, 200, 200));
        if (c.dragged) {
            d->Drag(AreaPoint(*plot, c.clicks[0].x, c.clicks[0].y), AreaPoint(*plot, c.clicks[1].x, c.clicks[1].y));
        } else {
            for (size_t i = 0; i + 1 < c.clicks.size(); ++i) d->Click(AreaPoint(*plot, c.clicks[i].x, c.clicks[i].y));
            d->DoubleClick(AreaPoint(*plot, c.clicks.back().x, c.clicks.back().y));
        }
        ASSERT_EQ(shell->GetGateCount(), gates + 1);
        EXPECT_TRUE(doc->IsModified());
        d->Click(CPoint(700, 500));
    }
}

}  // namespace
