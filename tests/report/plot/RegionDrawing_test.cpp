// How region layers look: shapes seen while they are drawn, labels that stay
// sharp and legible over the dots at any zoom, and pictures of the page that
// show no selection handles.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <memory>
#include <vector>

#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/Region.h"
#include "platform/PaintHelpers.h"
#include "report/app/CommandIds.h"
#include "report/page/LumitraDoc.h"
#include "report/page/LumitraView.h"
#include "report/page/PagePainter.h"
#include "report/page/TrackStates.h"
#include "report/plot/CrossLayer.h"
#include "report/plot/PolygonLayer.h"
#include "report/plot/Plot.h"
#include "report/plot/RgnLayer.h"
#include "tests/report/PlotTestUtil.h"
#include "tests/report/ViewEvents.h"

using namespace plottest;

namespace {

constexpr COLORREF kShapeColour = RGB(250, 0, 0);

std::vector<uint8_t> FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Events every 5 units on both 0..1000 axes: the area is black with dots.
std::vector<std::pair<double, double>> DenseEvents() {
    std::vector<std::pair<double, double>> e;
    for (int x = 0; x <= 1000; x += 5)
        for (int y = 0; y <= 1000; y += 5) e.emplace_back(x, y);
    return e;
}

class RegionDrawingTest : public ::testing::Test {
protected:
    void SetUp() override {
        rtest::EnsureApp();
        ResetPlotDefaults();
    }
    // A page point of the plot's area given in layer pixels (y upward).
    static CPoint Pg(const CPLOT& plot, int32_t x, int32_t y) {
        const CRect a = plot.GetPlotArea();
        return CPoint(a.left + x, a.bottom - y);
    }
};

// ============================================================ while drawn

TEST_F(RegionDrawingTest, EveryShapeShowsItsOutlineAtEveryMoveWhileItIsDrawn) {
    auto shell = MakeShell(vin::GridEvents());
    struct Case {
        int32_t tool;  // 0: a cross, which no tool draws
        CPoint press, release, move;  // layer pixels; release only for the polygon
    };
    const Case cases[] = {
        {kTrackRangeTool, {40, 50}, {}, {120, 50}},
        {kTrackRectTool, {40, 30}, {}, {120, 100}},
        {kTrackEllipseTool, {40, 30}, {}, {120, 100}},
        {kTrackPolygonTool, {40, 30}, {120, 30}, {80, 120}},  // an edge, then the rubber line
        {kTrackQuadrantTool, {90, 80}, {}, {100, 90}},
        {0, {90, 80}, {}, {60, 40}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tool);
        CPLOT plot(CRect(0, 0, 250, 250), shell->GetRoot(), nullptr, 0, 1);
        std::unique_ptr<CRgnLayer> made = c.tool != 0 ? CreateRegionLayerForTool(c.tool, 0, 1, &plot)
                                                      : std::make_unique<CCrossLayer>(0, 1, &plot);
        ASSERT_NE(made, nullptr);
        CRgnLayer* l = made.get();
        l->SetColor(kShapeColour);
        int32_t state = kTrackRegionCreate;
        ASSERT_TRUE(l->OnButtonDown(Pg(plot, c.press.x, c.press.y), &state));
        if (c.tool == kTrackPolygonTool) ASSERT_TRUE(l->OnButtonUp(Pg(plot, c.release.x, c.release.y), &state));
        ASSERT_TRUE(l->OnDrag(Pg(plot, c.move.x, c.move.y), &state));
        ASSERT_EQ(l->GetRegion(), nullptr);  // not a gate yet
        plot.AddRegionLayer(std::move(made));
        const QImage page = DrawOnPage(plot);
        // At least the outline's shorter side: tens of pixels, not a stray one.
        EXPECT_GT(CountColour(page, plot.GetPlotArea(), Rgb(kShapeColour)), 30);
    }

    // A layer whose region went with its gate is no shape being drawn: it is
    // shown nowhere.
    CGateNode* g = shell->AddRegionGate(std::make_unique<CrRect>(0, 1, RgnPoint{0.2f, 0.2f}, RgnPoint{0.6f, 0.6f}),
                                        0, "R");
    CPLOT plot(CRect(0, 0, 250, 250), shell->GetRoot(), nullptr, 0, 1);
    std::unique_ptr<CRgnLayer> orphan = CreateRegionLayerFor(g->GetRegion(), &plot);
    ASSERT_TRUE(orphan->DrawnOn(0, 1));
    shell->RemoveGate(g, false);
    EXPECT_EQ(orphan->GetRegion(), nullptr);
    EXPECT_FALSE(orphan->DrawnOn(0, 1));
}

class RegionDrawingViewTest : public vin::ViewFixture {
protected:
    void SetUp() override { OpenView(900, 700); }
    // The plot area repainted the way a move repaints it.
    QImage PaintArea(const CPLOT& plot) {
        QImage img(view->viewport()->size(), QImage::Format_RGB32);
        img.fill(Qt::magenta);
        QPainter p(&img);
        view->PaintClient(p, QRegion(lm::ToQRect(view->LogicalRectToClient(plot.GetPlotArea()))));
        return img;
    }
    lmtest::TempDir dir;
};

TEST_F(RegionDrawingViewTest, RubberBandsAndPolygonEdgesArePaintedAtEveryMove) {
    VexaDataShell* shell = doc->OpenDataFile(dir.Write("grid.fcs", vin::FcsBytes(vin::GridEvents())), 0);
    ASSERT_NE(shell, nullptr);
    auto* plot = static_cast<CPLOT*>(
        doc->AddObject(std::make_unique<CPLOT>(CRect(20, 20, 270, 270), shell->GetRoot(), doc.get(), 0, 1)));
    d->Click(AreaPoint(*plot, 90, 90));
    const CRect a = plot->GetPlotArea();
    const auto shapePixel = [&](const QImage& img, int32_t lx, int32_t ly) {
        const QPoint c = view->LogicalToClient(CPoint(a.left + lx, a.bottom - ly));
        return PixelAt(img, c.x(), c.y());
    };

    ui.QueueMenuChoice(kPlotCmdRectTool);
    d->RightClick(AreaPoint(*plot, 90, 90));
    d->Press(AreaPoint(*plot, 40, 30));
    d->Move(AreaPoint(*plot, 80, 66));
    ASSERT_EQ(view->GetTrackState(), kTrackRubberBandRegion);
    // The left edge (column x0 - 1) between the corners, black on the grid's
    // white.
    EXPECT_EQ(shapePixel(PaintArea(*plot), 39, 52), qRgb(0, 0, 0));
    d->Move(AreaPoint(*plot, 120, 100));
    EXPECT_EQ(shapePixel(PaintArea(*plot), 100, 100), qRgb(0, 0, 0));  // the top edge, moved up
    d->Release(AreaPoint(*plot, 120, 100));

    d->Click(CPoint(600, 600));
    d->Click(AreaPoint(*plot, 150, 150));
    ui.QueueMenuChoice(kPlotCmdPolygonTool);
    d->RightClick(AreaPoint(*plot, 150, 150));
    d->Click(AreaPoint(*plot, 20, 130));
    d->Click(AreaPoint(*plot, 160, 130));
    d->Move(AreaPoint(*plot, 160, 160), Qt::NoButton);
    ASSERT_EQ(view->GetTrackState(), kTrackPolygonEntry);
    const QImage entry = PaintArea(*plot);
    EXPECT_EQ(shapePixel(entry, 90, 130), qRgb(0, 0, 0));   // the edge entered
    EXPECT_EQ(shapePixel(entry, 159, 145), qRgb(0, 0, 0));  // the rubber line to the pointer
}

TEST_F(RegionDrawingViewTest, EscapeGivesUpTheShapeBeingDrawnAndItsRubberLine) {
    VexaDataShell* shell = doc->OpenDataFile(dir.Write("grid.fcs", vin::FcsBytes(vin::GridEvents())), 0);
    ASSERT_NE(shell, nullptr);
    auto* plot = static_cast<CPLOT*>(
        doc->AddObject(std::make_unique<CPLOT>(CRect(20, 20, 270, 270), shell->GetRoot(), doc.get(), 0, 1)));
    doc->SetModifiedFlag(false);
    d->Click(AreaPoint(*plot, 90, 90));
    const CRect a = plot->GetPlotArea();
    const auto shapePixel = [&](const QImage& img, int32_t lx, int32_t ly) {
        const QPoint c = view->LogicalToClient(CPoint(a.left + lx, a.bottom - ly));
        return PixelAt(img, c.x(), c.y());
    };
    const QImage before = PaintArea(*plot);

    // A rectangle: Escape with the button still down, then the rest of the
    // drag and the release.
    ui.QueueMenuChoice(kPlotCmdRectTool);
    d->RightClick(AreaPoint(*plot, 90, 90));
    d->Press(AreaPoint(*plot, 40, 30));
    d->Move(AreaPoint(*plot, 80, 66));
    ASSERT_EQ(view->GetTrackState(), kTrackRubberBandRegion);
    ASSERT_EQ(shapePixel(PaintArea(*plot), 39, 52), qRgb(0, 0, 0));
    d->Key(Qt::Key_Escape);
    EXPECT_EQ(int(plot->GetRegionLayers().size()), 0);
    EXPECT_EQ(PaintArea(*plot), before);  // the band is gone at once
    d->Move(AreaPoint(*plot, 120, 100));
    d->Release(AreaPoint(*plot, 120, 100));
    EXPECT_EQ(shell->GetGateCount(), 1);  // "All" alone: no gate was made
    EXPECT_EQ(int(plot->GetRegionLayers().size()), 0);
    EXPECT_EQ(PaintArea(*plot), before);
    EXPECT_FALSE(doc->IsModified());

    // A polygon: two vertices entered, the rubber line follows the pointer.
    ui.QueueMenuChoice(kPlotCmdPolygonTool);
    d->RightClick(AreaPoint(*plot, 150, 150));
    d->Click(AreaPoint(*plot, 20, 130));
    d->Click(AreaPoint(*plot, 160, 130));
    d->Move(AreaPoint(*plot, 160, 160), Qt::NoButton);
    ASSERT_EQ(view->GetTrackState(), kTrackPolygonEntry);
    ASSERT_EQ(shapePixel(PaintArea(*plot), 90, 130), qRgb(0, 0, 0));
    d->Key(Qt::Key_Escape);
    EXPECT_NE(view->GetTrackState(), kTrackPolygonEntry);
    d->Move(AreaPoint(*plot, 100, 60), Qt::NoButton);
    EXPECT_EQ(PaintArea(*plot), before);  // neither the edge nor a line to the pointer
    // Further clicks enter no vertex and close nothing.
    d->Click(AreaPoint(*plot, 100, 60));
    d->DoubleClick(AreaPoint(*plot, 20, 130));
    EXPECT_EQ(shell->GetGateCount(), 1);
    EXPECT_EQ(int(plot->GetRegionLayers().size()), 0);
    EXPECT_FALSE(doc->IsModified());

    // Escape with nothing being drawn is not the view's: an existing
    // region stays as it is.
    ui.QueueMenuChoice(kPlotCmdRectTool);
    d->RightClick(AreaPoint(*plot, 90, 90));
    d->Drag(AreaPoint(*plot, 40, 30), AreaPoint(*plot, 120, 100));
    ASSERT_EQ(view->GetTrackState(), kTrackRegionSelected);
    d->Key(Qt::Key_Escape);
    EXPECT_EQ(int(plot->GetRegionLayers().size()), 1);
    EXPECT_EQ(shell->GetGateCount(), 2);
}

TEST_F(RegionDrawingViewTest, ARegionColourChosenFromItsLabelIsSavedAndReopened) {
    const std::string fcs = dir.Write("grid.fcs", vin::FcsBytes(vin::GridEvents()));
    VexaDataShell* shell = doc->OpenDataFile(fcs, 0);
    ASSERT_NE(shell, nullptr);
    auto* plot = static_cast<CPLOT*>(
        doc->AddObject(std::make_unique<CPLOT>(CRect(20, 20, 270, 270), shell->GetRoot(), doc.get(), 0, 1)));
    d->Click(AreaPoint(*plot, 90, 90));
    // Two shapes; the second one's colour is chosen.
    for (const auto& [from, to] : {std::pair{CPoint(10, 10), CPoint(50, 50)}, std::pair{CPoint(80, 30), CPoint(150, 100)}}) {
        ui.QueueMenuChoice(kPlotCmdRectTool);
        d->RightClick(AreaPoint(*plot, 160, 150));
        d->Drag(AreaPoint(*plot, from.x, from.y), AreaPoint(*plot, to.x, to.y));
        ASSERT_EQ(view->GetTrackState(), kTrackRegionSelected);
    }
    ASSERT_EQ(plot->GetRegionLayers().size(), 2u);
    PaintArea(*plot);  // the labels are measured as they are drawn
    const std::string path = dir.File("colour.fld");
    QString error;
    ASSERT_TRUE(doc->OnSaveDocument(QString::fromStdString(path), &error)) << error.toStdString();
    const std::vector<uint8_t> plain = FileBytes(path);
    ASSERT_FALSE(doc->IsModified());

    CRgnLayer* second = plot->GetRgnLayer(1);
    const CRect a = plot->GetPlotArea();
    const CRect label = second->GetLabelRect();
    ASSERT_FALSE(label.IsRectEmpty());
    const CPoint onLabel(a.left + label.left + 2, a.top + label.top + 2);
    constexpr COLORREF kChosen = RGB(0, 160, 40);
    ui.QueueMenuChoice(kPlotCmdRegionColor);
    ui.QueueColor(kChosen);
    d->RightClick(onLabel);
    ASSERT_EQ(second->GetColor(), kChosen);
    EXPECT_TRUE(doc->IsModified());  // a close asks before it goes
    // Cancelled, nothing changes.
    ui.QueueMenuChoice(kPlotCmdRegionColor);
    ui.QueueColor(std::nullopt);
    d->RightClick(onLabel);
    EXPECT_EQ(second->GetColor(), kChosen);

    ASSERT_TRUE(doc->OnSaveDocument(QString::fromStdString(path), &error)) << error.toStdString();
    const std::vector<uint8_t> coloured = FileBytes(path);
    CLumitraDoc back;
    ASSERT_TRUE(back.OnOpenDocument(QString::fromStdString(path), &error)) << error.toStdString();
    ASSERT_EQ(back.GetObjectCount(), 1);
    auto* reopened = dynamic_cast<CPLOT*>(back.GetObjects().front().get());
    ASSERT_NE(reopened, nullptr);
    ASSERT_EQ(reopened->GetRegionLayers().size(), 2u);
    EXPECT_EQ(reopened->GetRgnLayer(0)->GetColor(), RGB(0, 0, 0));
    EXPECT_EQ(reopened->GetRgnLayer(1)->GetColor(), kChosen);
    EXPECT_TRUE(reopened->reservedG.empty());
    // Painted in it: the outline's left edge.
    EXPECT_GT(CountColour(DrawOnPage(*reopened), reopened->GetPlotArea(), Rgb(kChosen)), 30);
    // Written again, the same bytes.
    const std::string again = dir.File("again.fld");
    ASSERT_TRUE(back.OnSaveDocument(QString::fromStdString(again), &error));
    EXPECT_EQ(FileBytes(again), coloured);

    // Back to black: the record is what it was before any colour.
    ui.QueueMenuChoice(kPlotCmdRegionColor);
    ui.QueueColor(RGB(0, 0, 0));
    d->RightClick(onLabel);
    ASSERT_TRUE(doc->OnSaveDocument(QString::fromStdString(path), &error));
    EXPECT_EQ(FileBytes(path), plain);
}

// ================================================================ labels

// A label at the given page zoom over a plot black with dots.
struct LabelPicture {
    QImage image;
    QRect label;  // the name and percentage lines, in the picture's pixels
};

LabelPicture DrawLabelled(CPLOT& plot, CRgnLayer& layer, double zoom) {
    const CRect r = plot.GetRect();
    QImage img(int(r.right * zoom), int(r.bottom * zoom), QImage::Format_RGB32);
    img.fill(qRgb(255, 255, 255));
    QPainter p(&img);
    p.scale(zoom, zoom);
    plot.Draw(&p);
    p.end();
    const CRect a = plot.GetPlotArea();
    const CRect l = layer.GetLabelRect();
    const QRect page(a.left + l.left, a.top + l.top, l.Width(), 2 * l.Height());
    return {img, QRect(int(page.left() * zoom), int(page.top() * zoom), int(page.width() * zoom),
                       int(page.height() * zoom))};
}

TEST_F(RegionDrawingTest, LabelsAreSharpAtTwiceTheSizeAndKeepTheDotsOffTheirStrokes) {
    auto shell = MakeShell(DenseEvents());
    CPLOT plot(CRect(0, 0, 250, 250), shell->GetRoot(), nullptr, 0, 1);
    plot.SetMaxDotEvents(int32_t(DenseEvents().size()));
    CGateNode* g = shell->AddRegionGate(std::make_unique<CrRect>(0, 1, RgnPoint{0.2f, 0.2f}, RgnPoint{0.8f, 0.8f}),
                                        0, "G1");
    plot.ShowRegion(g->GetRegion());
    auto* layer = plot.GetRgnLayer(0);
    ASSERT_NE(layer, nullptr);
    layer->SetColor(RGB(0, 0, 255));

    const LabelPicture once = DrawLabelled(plot, *layer, 1.0);
    ASSERT_FALSE(once.label.isEmpty());
    const auto blue = [](QRgb c) { return qBlue(c) > 180 && qRed(c) < 90 && qGreen(c) < 90; };
    // Dots: the plot gate's near black, the region gate's red under the label.
    const auto dot = [](QRgb c) { return qGreen(c) < 40 && qBlue(c) < 40 && (qRed(c) < 40 || qRed(c) > 200); };
    int strokes = 0, touching = 0;
    const QRect inner = once.label.adjusted(1, 1, -1, -1);
    for (int y = inner.top(); y <= inner.bottom(); ++y) {
        for (int x = inner.left(); x <= inner.right(); ++x) {
            if (!blue(once.image.pixel(x, y))) continue;
            ++strokes;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) touching += dot(once.image.pixel(x + dx, y + dy));
        }
    }
    EXPECT_GT(strokes, 10);
    EXPECT_GT(CountColour(once.image, plot.GetPlotArea(), Rgb(g->GetColor())), 5000);  // the dots are there
    EXPECT_EQ(touching, 0);

    // At 200 % the glyphs are drawn at that size, not as doubled pixels:
    // some 2 x 2 block of the label is not one colour.
    const LabelPicture twice = DrawLabelled(plot, *layer, 2.0);
    int mixed = 0;
    for (int y = twice.label.top() & ~1; y + 1 < twice.label.bottom(); y += 2)
        for (int x = twice.label.left() & ~1; x + 1 < twice.label.right(); x += 2) {
            const QRgb c = twice.image.pixel(x, y);
            mixed += twice.image.pixel(x + 1, y) != c || twice.image.pixel(x, y + 1) != c ||
                     twice.image.pixel(x + 1, y + 1) != c;
        }
    EXPECT_GT(mixed, 10);
}

TEST_F(RegionDrawingViewTest, AShapeFinishedByTheLowerRightCornerKeepsItsLabelInTheArea) {
    VexaDataShell* shell = doc->OpenDataFile(dir.Write("grid.fcs", vin::FcsBytes(vin::GridEvents())), 0);
    ASSERT_NE(shell, nullptr);
    auto* plot = static_cast<CPLOT*>(
        doc->AddObject(std::make_unique<CPLOT>(CRect(20, 20, 270, 270), shell->GetRoot(), doc.get(), 0, 1)));
    d->Click(AreaPoint(*plot, 90, 90));
    ui.QueueMenuChoice(kPlotCmdPolygonTool);
    d->RightClick(AreaPoint(*plot, 90, 90));
    for (CPoint p : {CPoint(180, 4), CPoint(100, 4), CPoint(140, 60), CPoint(181, 5)})
        d->Click(AreaPoint(*plot, p.x, p.y));
    ASSERT_EQ(view->GetTrackState(), kTrackPolygonVertex);
    auto* l = plot->GetRgnLayer(0);
    ASSERT_NE(l, nullptr);
    ASSERT_FALSE(l->GetRegionName().empty());
    DrawOnPage(*plot);  // the name is measured as it is drawn
    const CRect a = plot->GetPlotArea();
    const CRect label = l->GetLabelRect();
    const int32_t line = QFontMetrics(plot->CreatePlotFont()).height();
    EXPECT_GT(label.Width(), 0);
    EXPECT_LE(label.right, a.Width() - 10);
    EXPECT_LE(label.bottom + line, a.Height());  // the percentage line too
    // Grabbed where it is seen.
    d->Click(CPoint(600, 600));
    d->Click(AreaPoint(*plot, 20, 150));
    const CPoint grab(a.left + label.left + 2, a.top + label.top + 2);
    d->Drag(grab, CPoint(grab.x - 60, grab.y - 60));
    EXPECT_EQ(l->GetLabelRect().TopLeft(), CPoint(label.left - 60, label.top - 60));
}

TEST_F(RegionDrawingViewTest, APolygonMovesWithItsLabelFromTheFirstDrag) {
    VexaDataShell* shell = doc->OpenDataFile(dir.Write("grid.fcs", vin::FcsBytes(vin::GridEvents())), 0);
    ASSERT_NE(shell, nullptr);
    auto* plot = static_cast<CPLOT*>(
        doc->AddObject(std::make_unique<CPLOT>(CRect(20, 20, 270, 270), shell->GetRoot(), doc.get(), 0, 1)));
    d->Click(AreaPoint(*plot, 90, 90));
    ui.QueueMenuChoice(kPlotCmdPolygonTool);
    d->RightClick(AreaPoint(*plot, 90, 90));
    d->Click(AreaPoint(*plot, 20, 20));
    d->Click(AreaPoint(*plot, 120, 20));
    d->DoubleClick(AreaPoint(*plot, 70, 140));  // finished by the double click: idle, handles shown
    ASSERT_EQ(shell->GetGateCount(), 2);
    auto* l = dynamic_cast<CPolygonLayer*>(plot->GetRgnLayer(0));
    ASSERT_NE(l, nullptr);
    // From idle with the polygon still selected, then selected (state 3),
    // then among the vertex handles (state 9, after a double click on it).
    CPoint edge(70, 20);
    for (int32_t step = 0; step < 3; ++step) {
        SCOPED_TRACE(step);
        if (step == 2) {
            d->DoubleClick(AreaPoint(*plot, edge.x, edge.y));
            ASSERT_EQ(view->GetTrackState(), kTrackPolygonVertex);
        }
        const CPoint first = l->GetVertices()[0];
        const CPoint label = l->GetLabelRect().TopLeft();
        d->Drag(AreaPoint(*plot, edge.x, edge.y), AreaPoint(*plot, edge.x + 10, edge.y + 6));
        EXPECT_EQ(l->GetVertices()[0], CPoint(first.x + 10, first.y + 6));
        EXPECT_EQ(l->GetLabelRect().TopLeft(), CPoint(label.x + 10, label.y - 6));  // y down for the label
        edge = CPoint(edge.x + 10, edge.y + 6);
    }
}

TEST_F(RegionDrawingTest, LabelsKeepFullStrengthAtHalfSize) {
    auto shell = MakeShell(DenseEvents());
    CPLOT plot(CRect(0, 0, 250, 250), shell->GetRoot(), nullptr, 0, 1);
    CGateNode* g = shell->AddRegionGate(std::make_unique<CrRect>(0, 1, RgnPoint{0.2f, 0.2f}, RgnPoint{0.8f, 0.8f}),
                                        0, "G1");
    plot.ShowRegion(g->GetRegion());
    auto* layer = plot.GetRgnLayer(0);
    ASSERT_NE(layer, nullptr);
    layer->SetColor(RGB(0, 0, 255));
    // The label's ink in its own colour: how far each pixel leans to blue
    // (smoothed edge pixels count in part; the red and black dots not at all).
    const auto inked = [](const LabelPicture& pic) {
        int n = 0;
        for (int y = pic.label.top(); y <= pic.label.bottom(); ++y)
            for (int x = pic.label.left(); x <= pic.label.right(); ++x) {
                const QRgb c = pic.image.pixel(x, y);
                n += std::max(0, qBlue(c) - std::max(qRed(c), qGreen(c)));
            }
        return n;
    };
    const int once = inked(DrawLabelled(plot, *layer, 1.0));
    const int half = inked(DrawLabelled(plot, *layer, 0.5));
    ASSERT_GT(once, 10 * 255);
    // A quarter of the pixels, but strokes of a pixel are not lost to a
    // faint grey: at least half the ink a quarter of the full picture has.
    EXPECT_GE(half * 8, once) << once << " at 100 %, " << half << " at 50 %";
}

TEST_F(RegionDrawingTest, LabelsAtHalfSizeAreDrawnAsTheAxesDrawTheirTexts) {
    auto shell = MakeShell(DenseEvents());
    CPLOT plot(CRect(0, 0, 250, 250), shell->GetRoot(), nullptr, 0, 1);
    CGateNode* g = shell->AddRegionGate(std::make_unique<CrRect>(0, 1, RgnPoint{0.2f, 0.2f}, RgnPoint{0.8f, 0.8f}),
                                        0, "G1");
    plot.ShowRegion(g->GetRegion());
    auto* layer = plot.GetRgnLayer(0);
    ASSERT_NE(layer, nullptr);
    layer->SetColor(RGB(0, 0, 255));
    for (const double zoom : {0.5, 0.75}) {
        SCOPED_TRACE(zoom);
        const LabelPicture pic = DrawLabelled(plot, *layer, zoom);
        // The region's name, drawn where the label draws it, the way the
        // axes draw their texts at this zoom: plot font, painter defaults.
        const CRect a = plot.GetPlotArea();
        const CRect l = layer->GetLabelRect();
        QImage ref(pic.image.size(), QImage::Format_RGB32);
        ref.fill(qRgb(255, 255, 255));
        QPainter p(&ref);
        p.scale(zoom, zoom);
        const QFont font = plot.CreatePlotFont();
        p.setFont(font);
        p.setPen(QColor(0, 0, 255));
        p.drawText(QPointF(a.left + l.left, a.top + l.top + QFontMetricsF(font).ascent()),
                   QString::fromStdString(layer->GetRegionName()));
        p.end();
        // Where the reference has ink, the label has the same shade of it.
        int inked = 0, unlike = 0;
        for (int y = pic.label.top(); y <= pic.label.bottom(); ++y)
            for (int x = pic.label.left(); x <= pic.label.right(); ++x) {
                const QRgb want = ref.pixel(x, y);
                if (qRed(want) > 200) continue;
                ++inked;
                unlike += std::abs(qRed(pic.image.pixel(x, y)) - qRed(want)) > 40;
            }
        ASSERT_GT(inked, 5);
        EXPECT_LE(unlike * 10, inked) << unlike << " of " << inked << " pixels unlike the axes' text";
    }
}

// ============================================================== pictures

TEST_F(RegionDrawingViewTest, PicturesAndPaperShowNoSelectionHandles) {
    VexaDataShell* shell = doc->OpenDataFile(dir.Write("grid.fcs", vin::FcsBytes(vin::GridEvents())), 0);
    ASSERT_NE(shell, nullptr);
    auto* plot = static_cast<CPLOT*>(
        doc->AddObject(std::make_unique<CPLOT>(CRect(20, 20, 270, 270), shell->GetRoot(), doc.get(), 0, 1)));
    d->Click(AreaPoint(*plot, 90, 90));
    ui.QueueMenuChoice(kPlotCmdRectTool);
    d->RightClick(AreaPoint(*plot, 90, 90));
    d->Drag(AreaPoint(*plot, 40, 30), AreaPoint(*plot, 120, 100));
    ASSERT_EQ(view->GetTrackState(), kTrackRegionSelected);
    auto* layer = plot->GetRgnLayer(0);
    ASSERT_TRUE(layer && layer->IsSelected());

    const CRect page(0, 0, 300, 300);
    const QImage pictureSelected = plot->RenderPicture();
    const QImage pageSelected = CPagePainter::RenderArea(*doc, page);
    // The screen does show them.
    const QImage screenSelected = DrawOnPage(*plot);
    layer->SetSelected(false);
    EXPECT_EQ(plot->RenderPicture(), pictureSelected);
    EXPECT_EQ(CPagePainter::RenderArea(*doc, page), pageSelected);
    EXPECT_NE(DrawOnPage(*plot), screenSelected);
}

}  // namespace
