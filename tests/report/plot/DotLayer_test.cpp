#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "base/Archive.h"
#include "report/plot/DotLayer.h"
#include "report/plot/HistLayer.h"
#include "tests/report/PlotTestUtil.h"

using namespace plottest;

namespace {

// A plot of 250 x 250 page units has an area of 188 x 170.
const CRect kPlotRect(0, 0, 250, 250);
constexpr int kW = 188;
constexpr int kH = 170;

class DotLayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureGuiApp();
        ResetPlotDefaults();
    }
};

}  // namespace

TEST_F(DotLayerTest, RowsAreWholeBytesRoundedUpToAnEvenCount) {
    EXPECT_EQ(CDotLayer::BytesPerRowFor(101), 14);  // 13 bytes, rounded up to even
    EXPECT_EQ(CDotLayer::BytesPerRowFor(1), 2);
    EXPECT_EQ(CDotLayer::BytesPerRowFor(16), 2);
    EXPECT_EQ(CDotLayer::BytesPerRowFor(17), 4);
    EXPECT_EQ(CDotLayer::BytesPerRowFor(188), 24);
    EXPECT_EQ(CDotLayer::BytesPerRowFor(0), 0);

    auto shell = MakeShell({{500, 500}});
    // Area width = rect width - 2 x 8 - 38 - 8.
    CPLOT plot(CRect(0, 0, 101 + 62, 250), shell->GetRoot(), nullptr, 0, 1);
    ASSERT_EQ(plot.GetPlotAreaWidth(), 101);
    const CDotLayer* l = plot.GetDotLayers().at(0).get();
    EXPECT_EQ(l->GetBytesPerRow(), 14);
    EXPECT_EQ(l->GetBits().size(), size_t(14) * size_t(plot.GetPlotAreaHeight()));
}

TEST_F(DotLayerTest, DotLimitCountsExaminedEventsNotDrawnDots) {
    // 10,000 events: among the first 3000, 100 lie in the gate, each on its
    // own pixel; every later event lies in the gate too, on one pixel.
    std::vector<std::pair<double, double>> ev;
    for (int i = 0; i < 10000; ++i) {
        if (i < 3000 && i % 30 == 0) {
            const int k = i / 30;
            ev.emplace_back(505 + (k % 10) * 30, 505 + (k / 10) * 30);
        } else if (i < 3000) {
            ev.emplace_back(100, 100);
        } else {
            ev.emplace_back(880, 880);
        }
    }
    auto shell = MakeShell(ev);
    CGateNode* g = AddRectGate(*shell, 0.5f, 0.5f, 0.9f, 0.9f);
    ASSERT_NE(g, nullptr);
    CPLOT plot(kPlotRect, g, nullptr, 0, 1);
    CDotLayer* own = plot.FindDotLayer(g);
    ASSERT_NE(own, nullptr);
    own->SetMaxEvents(3000);
    EXPECT_EQ(own->CountDots(), 100);

    // More than $TOT: all 10,000 events, the later ones on one more pixel.
    own->SetMaxEvents(50000);
    EXPECT_EQ(own->CountDots(), 101);
    own->SetMaxEvents(2971);
    EXPECT_EQ(own->CountDots(), 100);  // events 0 .. 2970
    own->SetMaxEvents(2970);
    EXPECT_EQ(own->CountDots(), 99);  // event 2970 is no longer examined
    own->SetMaxEvents(0);
    EXPECT_EQ(own->CountDots(), 0);
}

TEST_F(DotLayerTest, EventsLandOnTheirBinsWithRowZeroAtTheTop) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    auto shell = MakeShell({{505, 255}, {1500, 20}, {-50, 999}, {nan, 500}, {500, nan}});
    CPLOT plot(kPlotRect, shell->GetRoot(), nullptr, 0, 1);
    const CDotLayer* l = plot.GetDotLayers().at(0).get();
    ASSERT_TRUE(l->HasBitmap());
    ASSERT_EQ(l->GetBitmapWidth(), kW);
    ASSERT_EQ(l->GetBitmapHeight(), kH);
    const int x = BinOf(505, kW), y = BinOf(255, kH);
    EXPECT_EQ(x, 94);
    EXPECT_TRUE(l->IsDot(x, kH - 1 - y));
    // Above the axis: the last column; below it: the first.
    EXPECT_TRUE(l->IsDot(kW - 1, kH - 1 - BinOf(20, kH)));
    EXPECT_TRUE(l->IsDot(0, kH - 1 - BinOf(999, kH)));
    // The two events with a NaN value have no place and are skipped.
    EXPECT_EQ(l->CountDots(), 3);
    // Pixel x is bit 7 - (x mod 8) of byte x / 8, cleared.
    const uint8_t byte = l->GetBits()[size_t(kH - 1 - y) * size_t(l->GetBytesPerRow()) + size_t(x / 8)];
    EXPECT_EQ(byte, uint8_t(~(0x80u >> (x % 8))));
}

TEST_F(DotLayerTest, LargeDotsStayInsideTheArea) {
    auto shell = MakeShell({{0, 0}});
    CPLOT plot(kPlotRect, shell->GetRoot(), nullptr, 0, 1);
    CDotLayer* l = plot.GetDotLayers().at(0).get();
    l->SetLargeDots(true);
    // At the bottom-left corner: columns 0 and 1, the two bottom rows.
    EXPECT_EQ(l->CountDots(), 4);
    EXPECT_TRUE(l->IsDot(0, kH - 1));
    EXPECT_TRUE(l->IsDot(1, kH - 2));
    EXPECT_FALSE(l->IsDot(2, kH - 1));

    auto top = MakeShell({{999.9, 999.9}, {500, 500}});
    CPLOT plot2(kPlotRect, top->GetRoot(), nullptr, 0, 1);
    CDotLayer* l2 = plot2.GetDotLayers().at(0).get();
    l2->SetLargeDots(true);
    // 4 at the top-right corner, 9 around the centre event.
    EXPECT_EQ(l2->CountDots(), 13);
    EXPECT_TRUE(l2->IsDot(kW - 1, 0));
    EXPECT_TRUE(l2->IsDot(kW - 2, 1));
    l2->SetLargeDots(false);
    EXPECT_EQ(l2->CountDots(), 2);

    // A 192-pixel area fills its 24-byte rows to the last bit: the right
    // edge's large dot must not spill into the next row's first column.
    CPLOT wide(CRect(0, 0, 254, 250), top->GetRoot(), nullptr, 0, 1);
    CDotLayer* l3 = wide.GetDotLayers().at(0).get();
    ASSERT_EQ(l3->GetBytesPerRow(), 24);
    l3->SetLargeDots(true);
    EXPECT_EQ(l3->CountDots(), 13);
    EXPECT_FALSE(l3->IsDot(0, 1) || l3->IsDot(0, 2));
}

TEST_F(DotLayerTest, OwnGateOfAnotherShellDrawsNothing) {
    auto a = MakeShell({{500, 500}}, "A", "a.fcs");
    auto b = MakeShell({{500, 500}}, "B", "b.fcs");
    CPLOT plot(kPlotRect, a->GetRoot(), nullptr, 0, 1);
    // The plot refuses it...
    EXPECT_EQ(plot.AddDotLayer(b->GetRoot(), 0, true), nullptr);
    // ...and a layer made anyway draws nothing and stays to be recomputed.
    CDotLayer l(a->GetRoot(), b->GetRoot(), 0, 1, 1000, &plot, true, false);
    EXPECT_TRUE(l.HasBitmap());
    EXPECT_EQ(l.CountDots(), 0);
    EXPECT_TRUE(l.NeedsRecompute());
}

// A layer no plot holds lets go of both its gates when either is removed,
// and of neither when another gate goes.
TEST_F(DotLayerTest, LayerOutsideAPlotLetsGoOfARemovedGate) {
    for (int removed : {1, 2, 3}) {
        auto shell = MakeShell({{500, 500}, {100, 100}});
        CGateNode* g1 = AddRectGate(*shell, 0.0f, 0.0f, 1.0f, 1.0f, 0, "G1");
        CGateNode* g2 = AddRectGate(*shell, 0.4f, 0.4f, 0.6f, 0.6f, 0, "G2");
        CGateNode* g3 = AddRectGate(*shell, 0.0f, 0.0f, 0.2f, 0.2f, 0, "G3");
        CPLOT plot(kPlotRect, shell->GetRoot(), nullptr, 0, 1);
        CDotLayer l(g1, g2, 0, 1, 1000, &plot, true, false);
        ASSERT_EQ(l.GetGate(), g2);
        ASSERT_EQ(l.GetPlotGate(), g1);
        CGateNode* gone = removed == 1 ? g1 : removed == 2 ? g2 : g3;
        shell->RemoveGate(gone, true);
        const bool lets = removed != 3;
        EXPECT_EQ(l.GetGate(), lets ? nullptr : g2) << removed;
        EXPECT_EQ(l.GetPlotGate(), lets ? nullptr : g1) << removed;
    }
}

TEST_F(DotLayerTest, ParametersOutsideTheDataSetDrawNothing) {
    auto shell = MakeShell({{500, 500}});
    CPLOT plot(kPlotRect, shell->GetRoot(), nullptr, 0, 1);
    CDotLayer bad(shell->GetRoot(), 5, -1, 1000, &plot, true, false);
    EXPECT_EQ(bad.CountDots(), 0);
    CDotLayer negative(shell->GetRoot(), 0, 1, -7, &plot, true, false);
    EXPECT_EQ(negative.GetMaxEvents(), 0);
    EXPECT_EQ(negative.CountDots(), 0);
}

TEST_F(DotLayerTest, BitmapFollowsTheAreaSize) {
    auto shell = MakeShell({{500, 500}});
    CPLOT plot(kPlotRect, shell->GetRoot(), nullptr, 0, 1);
    CDotLayer* l = plot.GetDotLayers().at(0).get();
    ASSERT_EQ(l->GetBitmapWidth(), kW);
    plot.SetRect(CRect(0, 0, 350, 300), true);
    l->Recalculate();
    EXPECT_EQ(l->GetBitmapWidth(), 288);
    EXPECT_EQ(l->GetBitmapHeight(), 220);
    EXPECT_EQ(l->GetBits().size(), size_t(CDotLayer::BytesPerRowFor(288)) * 220u);
    EXPECT_TRUE(l->IsDot(BinOf(500, 288), 220 - 1 - BinOf(500, 220)));

    // A picture of another size is not drawn into.
    QImage wrong = NewAreaImage(kW, kH, 0xFFFFFF);
    l->SetColor(0);
    l->Draw(wrong);
    EXPECT_EQ(wrong, NewAreaImage(kW, kH, 0xFFFFFF));
}

TEST_F(DotLayerTest, AreaWithoutRoomAllocatesNothing) {
    auto shell = MakeShell({{500, 500}});
    // 60 x 60: the margins leave a negative area.
    CPLOT plot(CRect(0, 0, 60, 60), shell->GetRoot(), nullptr, 0, 1);
    ASSERT_LT(plot.GetPlotAreaWidth(), 0);
    CDotLayer* l = plot.GetDotLayers().at(0).get();
    EXPECT_FALSE(l->HasBitmap());
    l->Reset();
    l->SetLargeDots(true);
    EXPECT_FALSE(l->HasBitmap());
    EXPECT_EQ(l->GetBytesPerRow(), 0);
    EXPECT_TRUE(plot.RenderArea().isNull());
}

TEST_F(DotLayerTest, HidingFreesTheBitmapAndShowingRecomputes) {
    auto shell = MakeShell({{500, 500}, {200, 700}});
    CPLOT plot(kPlotRect, shell->GetRoot(), nullptr, 0, 1);
    CDotLayer* l = plot.GetDotLayers().at(0).get();
    ASSERT_EQ(l->CountDots(), 2);
    l->SetActive(false);
    EXPECT_FALSE(l->IsActive());
    EXPECT_FALSE(l->HasBitmap());
    EXPECT_TRUE(l->NeedsRecompute());
    l->SetActive(true);
    EXPECT_TRUE(l->IsActive());
    EXPECT_EQ(l->CountDots(), 2);
    EXPECT_FALSE(l->NeedsRecompute());
}

TEST_F(DotLayerTest, RecordHoldsShownAndLargeDots) {
    auto shell = MakeShell({{500, 500}});
    CPLOT plot(kPlotRect, shell->GetRoot(), nullptr, 0, 1);
    CDotLayer* l = plot.GetDotLayers().at(0).get();
    l->SetLargeDots(true);
    CArchive out;
    l->Store(out);
    EXPECT_EQ(out.Bytes(), (std::vector<uint8_t>{1, 0, 0, 0, 1, 0, 0, 0}));

    CArchive in(std::vector<uint8_t>{0, 0, 0, 0, 0xFD, 0xFF, 0xFF, 0xFF});
    l->Load(in);
    EXPECT_FALSE(l->IsActive());
    EXPECT_TRUE(l->GetLargeDots());  // any non-zero value is on
    CArchive again;
    l->Store(again);
    EXPECT_EQ(again.Bytes(), (std::vector<uint8_t>{0, 0, 0, 0, 1, 0, 0, 0}));

    CArchive shortRecord(std::vector<uint8_t>{1, 0, 0});
    EXPECT_THROW(l->Load(shortRecord), CArchiveException);
}

TEST_F(DotLayerTest, CloneOwnsCopiesOfTheTransformsAndComputesWhenAsked) {
    auto shell = MakeShell({{500, 500}, {100, 900}});
    CGateNode* g = AddRectGate(*shell, 0.0f, 0.0f, 0.6f, 0.6f);
    g->SetColor(RGB(200, 10, 10));
    CPLOT source(kPlotRect, g, nullptr, 0, 1);
    CPLOT target(CRect(300, 0, 550, 250), shell->GetRoot(), nullptr, 0, 1);
    CDotLayer* l = source.FindDotLayer(g);
    ASSERT_NE(l, nullptr);
    l->SetLargeDots(true);

    std::unique_ptr<CLayer> c = l->Clone(&target);
    auto* clone = dynamic_cast<CDotLayer*>(c.get());
    ASSERT_NE(clone, nullptr);
    EXPECT_TRUE(clone->OwnsTransforms());
    EXPECT_NE(clone->GetXTrans(), source.GetXTrans());
    EXPECT_TRUE(clone->GetXTrans()->IsEqual(*source.GetXTrans()));
    EXPECT_EQ(clone->GetColor(), RGB(200, 10, 10));
    EXPECT_TRUE(clone->GetLargeDots());
    EXPECT_FALSE(clone->HasBitmap());  // nothing computed yet
    clone->Reset();
    EXPECT_EQ(clone->CountDots(), 9);  // one large dot: only event 0 is in g

    // The source plot's axis changes; the clone keeps its own scale.
    ASSERT_TRUE(source.SetXTransKind(kTransLinear, 0.0f, 2000.0f));
    EXPECT_FLOAT_EQ(clone->GetXTrans()->GetMax(), 1000.0f);

    // An overlay leaves its plot's lists when it is deleted.
    CLayer* overlay = target.AddOverlayLayer(*l);
    ASSERT_NE(overlay, nullptr);
    EXPECT_EQ(target.GetOverlayLayers().size(), 1u);
    EXPECT_TRUE(target.GetStyleFlags() & kPlotFlagOverlay);
    target.DeleteOverlay(0);
    EXPECT_TRUE(target.GetOverlayLayers().empty());
    EXPECT_TRUE(target.GetOverlayVisibility().empty());
    EXPECT_FALSE(target.GetStyleFlags() & kPlotFlagOverlay);
}

// Overlays show another plot's data set: when that data set closes they
// go, and the plot that showed them draws on (a resize recomputes overlays).
TEST_F(DotLayerTest, OverlaysGoWithTheDataSetTheyShow) {
    auto a = MakeShell({{500, 500}, {100, 100}});
    auto b = MakeShell({{300, 300}});
    CPLOT target(kPlotRect, b->GetRoot(), nullptr, 0, 1);
    {
        CPLOT dots(kPlotRect, a->GetRoot(), nullptr, 0, 1);
        CPLOT hist(kPlotRect, a->GetRoot(), nullptr, 0, 1);
        hist.SetPlotType(kPlotFlagHistogram);
        ASSERT_NE(target.AddOverlayLayer(*dots.GetDotLayers().at(0)), nullptr);
        ASSERT_NE(target.AddOverlayLayer(*hist.GetHistLayer()), nullptr);
    }
    ASSERT_EQ(target.GetOverlayLayers().size(), 2u);
    a.reset();
    EXPECT_TRUE(target.GetOverlayLayers().empty());
    EXPECT_TRUE(target.GetOverlayVisibility().empty());
    EXPECT_FALSE(target.GetStyleFlags() & kPlotFlagOverlay);
    target.SetRect(CRect(0, 0, 300, 300), true);
    QImage page(400, 400, QImage::Format_RGB32);
    QPainter p(&page);
    target.Draw(&p);
    EXPECT_EQ(target.GetDotLayers().at(0)->CountDots(), 1);
}

TEST_F(DotLayerTest, GateColourChangeShowsThatGatesLayer) {
    auto shell = MakeShell({{500, 500}, {100, 100}});
    CGateNode* g = AddRectGate(*shell, 0.4f, 0.4f, 0.6f, 0.6f);
    CPLOT plot(kPlotRect, shell->GetRoot(), nullptr, 0, 1);
    CDotLayer* l = plot.FindDotLayer(g);
    ASSERT_NE(l, nullptr);
    ASSERT_FALSE(l->IsActive());
    g->SetColor(RGB(1, 2, 3));
    EXPECT_TRUE(l->IsActive());
    EXPECT_EQ(l->GetColor(), RGB(1, 2, 3));
    EXPECT_EQ(l->CountDots(), 1);
}

TEST_F(DotLayerTest, DrawPaintsOnlyDotPixelsInTheLayerColour) {
    auto shell = MakeShell({{505, 255}, {0, 0}});
    CPLOT plot(kPlotRect, shell->GetRoot(), nullptr, 0, 1);
    CDotLayer* l = plot.GetDotLayers().at(0).get();
    l->SetColor(RGB(10, 200, 30));
    QImage img = NewAreaImage(kW, kH, RGB(240, 240, 240));
    l->Draw(img);
    const QRgb c = qRgb(10, 200, 30);
    EXPECT_EQ(PixelAt(img, BinOf(505, kW), kH - 1 - BinOf(255, kH)), c);
    EXPECT_EQ(PixelAt(img, 0, kH - 1), c);
    EXPECT_EQ(CountColour(img, CRect(0, 0, kW, kH), c), 2);
    EXPECT_EQ(CountColour(img, CRect(0, 0, kW, kH), qRgb(240, 240, 240)), kW * kH - 2);

    QImage mask = NewMaskImage(kW, kH);
    l->DrawMask(mask);
    EXPECT_EQ(CountColour(mask, CRect(0, 0, kW, kH), qRgb(0, 0, 0)), 2);

    l->SetColor(kColorNone);
    QImage none = NewAreaImage(kW, kH, 0xFFFFFF);
    l->Draw(none);
    EXPECT_EQ(CountColour(none, CRect(0, 0, kW, kH), qRgb(255, 255, 255)), kW * kH);
}
