#pragma once
// Helpers of the plot and layer tests: a GUI application for fonts, shells
// over synthetic FCS data, a region layer double, and picture probes.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/Archive.h"
#include "core/DataSet.h"
#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/Region.h"
#include "core/Trans.h"
#include "report/plot/Layer.h"
#include "report/plot/Plot.h"
#include "report/plot/PlotDefaults.h"
#include "tests/support/FcsWriter.h"

namespace plottest {

// Text drawing needs a GUI application; one for the whole test process.
inline void EnsureGuiApp() {
    if (QGuiApplication::instance()) return;
    static int argc = 1;
    static char name[] = "test_report";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = new QGuiApplication(argc, argv);
    (void)app;
}

// The plot defaults as a fresh program has them.
inline void ResetPlotDefaults() {
    PlotDefaults& d = GetPlotDefaults();
    d = PlotDefaults{};
    d.evts = 2000;
    d.parax = 0;
    d.paray = 1;
    d.width = 250;
    d.height = 250;
    d.style = kPlotFlagDots;
    d.label = 3;
}

// Data set with linear parameters "FS" and "SS" ($PnR 1000: linear 0..1000
// axes) and the given events.
inline CDataSet* MakeXY(const std::vector<std::pair<double, double>>& events,
                        const std::string& path = "memory.fcs") {
    lmtest::FcsWriter w;
    w.Param("FS", 32, "1000").Param("SS", 32, "1000");
    for (const auto& e : events) w.Event({e.first, e.second});
    return lmtest::LoadFcsBytes(w.Build(), 0, path).release();
}

inline std::unique_ptr<VexaDataShell> MakeShell(const std::vector<std::pair<double, double>>& events,
                                                const std::string& name = "S",
                                                const std::string& path = "memory.fcs") {
    return std::make_unique<VexaDataShell>(MakeXY(events, path), name);
}

// Rectangle gate over FS/SS in fractions of the axes.
inline CGateNode* AddRectGate(VexaDataShell& shell, float x0, float y0, float x1, float y1,
                              int32_t parent = 0, const std::string& name = "") {
    return shell.AddRegionGate(std::make_unique<CrRect>(0, 1, RgnPoint{x0, y0}, RgnPoint{x1, y1}), parent,
                               name);
}

// Pixel column of value v on a linear 0..1000 axis of n pixels: the bin of
// the table i * 1000 / n.
inline int32_t BinOf(float v, int32_t n) {
    std::vector<float> t(static_cast<size_t>(n));
    CTRANS(0.0f, 1000.0f).FillTable(t.data(), n);
    return FindBinIndex(t.data(), n, v);
}

// A region layer double: draws a filled rectangle of the area (layer
// coordinates, y upward) into masks, lies on parameters (x, y).
class FakeRegionLayer : public CLayer {
public:
    FakeRegionLayer(CDataRgn* region, CPLOT* plot, CRect box) : CLayer(plot, false), m_region(region), m_box(box) {
        SetColor(RGB(0, 0, 255));
    }
    std::unique_ptr<CLayer> Clone(CPLOT*) override { return nullptr; }
    void Draw(QImage&) override {}
    void DrawMask(QImage& mask) override {
        const int32_t h = mask.height();
        for (int32_t y = m_box.top; y < m_box.bottom; ++y)
            for (int32_t x = m_box.left; x < m_box.right; ++x)
                if (x >= 0 && x < mask.width() && h - 1 - y >= 0 && h - 1 - y < h)
                    mask.setPixel(x, h - 1 - y, qRgb(0, 0, 0));
    }
    CDataRgn* GetRegion() const override { return m_region; }
    int32_t GetRegionType() const override { return m_region ? m_region->GetType() : -1; }
    bool ParamsMatch(int32_t x, int32_t y) const override {
        return m_region && m_region->GetXParam() == x && m_region->GetYParam() == y;
    }
    void UpdatePercentText() override { ++percentUpdates; }
    // The program's region-layer record (label rectangle, label anchor, and
    // a range's bar level), so that reports written under the double open in
    // the program.
    void Store(CArchive& ar) const override {
        ar.WriteRect(m_box);
        ar.WriteFloat(0.0f);
        ar.WriteFloat(0.0f);
        if (IsRange()) ar.WriteInt32(0);
    }
    void Load(CArchive& ar) override {
        (void)ar.ReadRect();
        (void)ar.ReadFloat();
        (void)ar.ReadFloat();
        if (IsRange()) (void)ar.ReadInt32();
    }
    bool IsRange() const { return m_region && m_region->GetType() == kRgnRange; }
    void SetSelected(bool s) override { selected = s; }

    int percentUpdates = 0;
    bool selected = false;

private:
    CDataRgn* m_region;
    CRect m_box;
};

// Region layer maker used by the tests: a 10 x 10 box at (5, 5).
inline std::unique_ptr<CLayer> MakeFakeRegionLayer(CDataRgn* region, CPLOT* plot) {
    return std::make_unique<FakeRegionLayer>(region, plot, CRect(5, 5, 15, 15));
}

// Installs the fake region maker for the life of the object.
class ScopedRegionMaker {
public:
    ScopedRegionMaker() : m_saved(CPLOT::GetLayerMakers()) {
        PlotLayerMakers m = m_saved;
        m.region = &MakeFakeRegionLayer;
        CPLOT::SetLayerMakers(m);
    }
    ~ScopedRegionMaker() { CPLOT::SetLayerMakers(m_saved); }

private:
    PlotLayerMakers m_saved;
};

// The whole plot drawn on a white page picture of w x h page units.
inline QImage DrawOnPage(CPLOT& plot, int w = 400, int h = 400) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(qRgb(255, 255, 255));
    QPainter p(&img);
    plot.Draw(&p);
    p.end();
    return img;
}

inline QRgb Rgb(COLORREF c) { return qRgb(GetRValue(c), GetGValue(c), GetBValue(c)); }

inline QRgb PixelAt(const QImage& img, int x, int y) { return img.pixel(x, y) | 0xFF000000u; }

// Pixels of the rectangle (page, right and bottom exclusive) that have colour.
inline int CountColour(const QImage& img, const CRect& r, QRgb colour) {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            if (PixelAt(img, x, y) == (colour | 0xFF000000u)) ++n;
    return n;
}

}  // namespace plottest
