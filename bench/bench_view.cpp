// Speed of the report view's repaints: a page of 12 plots (8 dot plots with
// one dot layer per gate, 4 histograms) painted whole at zoom 1 and 2, the
// same through the widget's own repaint, the repaint of one plot that a
// neighbour half covers, a printed page, and the page saved as a JPG at
// screen and at print resolution. Prints its figures; run by hand:
//   bench_view [events]        (1,000,000 by default)
// Script-readable lines: BENCH page12_repaint_ms, page_jpg_ms, page_300dpi_ms.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRegion>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchCommon.h"
#include "core/DataSet.h"
#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/Region.h"
#include "report/plot/DotLayer.h"
#include "report/page/LumitraDoc.h"
#include "report/page/LumitraView.h"
#include "report/page/PagePainter.h"
#include "report/page/PictureFile.h"
#include "report/plot/Plot.h"
#include "report/plot/PlotDefaults.h"

namespace {

using lmbench::Clock;
using lmbench::Ms;
using lmbench::Stats;
using lmbench::Time;

}  // namespace

int main(int argc, char** argv) {
    lmbench::UseOffscreenWithoutDisplay();
    QApplication app(argc, argv);
    const int64_t events = argc > 1 ? std::max<int64_t>(std::atoll(argv[1]), 1000) : 1000000;
    std::printf("bench_view: %lld events, 12 plots on a 1024 x 1414 page\n", (long long)events);

    GetPlotDefaults() = PlotDefaults{};
    GetPlotDefaults().evts = 2000;
    CLumitraDoc doc;
    VexaDataShell* shell = doc.AttachDataShell(std::make_unique<VexaDataShell>(lmbench::MakeData(events, 11), "bench"));
    for (int i = 0; i < 4; ++i) {
        const float x = 0.1f + 0.15f * float(i);
        shell->AddRegionGate(std::make_unique<CrRect>(0, 1, RgnPoint{x, 0.2f}, RgnPoint{x + 0.2f, 0.7f}), 0,
                             std::string("G") + std::to_string(i + 1));
    }
    std::vector<CPLOT*> plots;
    for (int i = 0; i < 12; ++i) {
        const bool hist = i % 3 == 2;
        GetPlotDefaults().style = hist ? kPlotFlagHistogram : kPlotFlagDots;
        const int x = 5 + (i % 4) * 255, y = 5 + (i / 4) * 255;
        auto plot = std::make_unique<CPLOT>(CRect(x, y, x + 250, y + 250), shell->GetRoot(), &doc, hist ? 2 : 0, 1);
        for (const auto& l : plot->GetDotLayers()) l->SetActive(true);
        plots.push_back(static_cast<CPLOT*>(doc.AddObject(std::move(plot))));
    }
    // One plot half covers its neighbour, for the masked repaint.
    auto cover = std::make_unique<CPLOT>(CRect(130, 130, 380, 380), shell->GetRoot(), &doc, 0, 1);
    CPLOT* top = static_cast<CPLOT*>(doc.AddObject(std::move(cover)));
    doc.SetActiveObject(top);

    {
        QImage img(1024, 1414, QImage::Format_RGB32);
        const auto a = Clock::now();
        QPainter p(&img);
        CPagePainter::DrawCanvas(p, doc, CRect(0, 0, 1024, 1414), PageTarget::Screen);
        p.end();
        std::printf("first paint of the page after the plots were made: %.1f ms\n", Ms(a, Clock::now()));
    }

    CLumitraView view(&doc);
    view.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view.show();
    double pageRepaint = 0;  // at zoom 1, the usual working zoom
    for (float zoom : {1.0f, 2.0f}) {
        view.SetZoom(zoom);
        // The view as large as the page at that zoom: every pixel of it.
        view.resize(int(1024 * zoom), int(1414 * zoom));
        QApplication::processEvents();
        QImage img(view.viewport()->size(), QImage::Format_RGB32);
        const QRegion all(view.viewport()->rect());
        const Stats s = Time(15, [&] {
            QPainter p(&img);
            view.PaintClient(p, all);
        });
        std::printf("full repaint of the page at zoom %.0f (%d x %d pixels): min %.1f ms, median %.1f ms\n",
                    double(zoom), img.width(), img.height(), s.min, s.median);
        if (zoom == 1.0f) pageRepaint = s.median;
    }

    view.SetZoom(1.0f);
    view.resize(1024, 1414);
    QApplication::processEvents();
    const Stats widget = Time(15, [&] { view.viewport()->repaint(); });
    std::printf("full repaint of the widget at zoom 1 (%d x %d, backing store included): min %.1f ms, median %.1f ms\n",
                view.viewport()->width(), view.viewport()->height(), widget.min, widget.median);

    const QRegion masked = view.RepaintRegionOfObject(plots[0]);
    QImage img(view.viewport()->size(), QImage::Format_RGB32);
    const Stats part = Time(15, [&] {
        QPainter p(&img);
        view.PaintClient(p, masked);
    });
    std::printf("repaint of a plot half covered by the active plot (%d rectangles): min %.2f ms, median %.2f ms\n",
                int(masked.rectCount()), part.min, part.median);

    const Stats dirty = Time(7, [&] {
        for (CPLOT* plot : plots) plot->MarkDirty();
        QPainter p(&img);
        view.PaintClient(p, QRegion(view.viewport()->rect()));
    });
    std::printf("every plot told its data changed, then a full repaint: min %.1f ms, median %.1f ms\n", dirty.min,
                dirty.median);

    QImage paper(2480, 3508, QImage::Format_RGB32);  // A4 at 300 dpi
    const Stats print = Time(5, [&] {
        QPainter p(&paper);
        CPagePainter::DrawPrintPage(p, doc, 1, QRectF(0, 0, paper.width(), paper.height()));
    });
    std::printf("page 1 drawn for a 300 dpi A4 sheet: min %.1f ms, median %.1f ms\n", print.min, print.median);

    // "Save As Jpg": the page rendered and written to a file, and the same
    // page at print resolution rendered and written.
    const QString jpg = QDir::temp().filePath(QStringLiteral("bench_view_%1.jpg").arg(QCoreApplication::applicationPid()));
    const Stats pageJpg = Time(7, [&] {
        QString error;
        if (!doc.SaveAreaAsJpg(0, 0, 1024, 1414, jpg, &error)) std::fprintf(stderr, "%s\n", qPrintable(error));
    });
    std::printf("\"Save As Jpg\" of page 1 (1024 x 1414, encoding included): min %.1f ms, median %.1f ms\n",
                pageJpg.min, pageJpg.median);
    const Stats dpiJpg = Time(5, [&] {
        QPainter p(&paper);
        CPagePainter::DrawPrintPage(p, doc, 1, QRectF(0, 0, paper.width(), paper.height()));
        p.end();
        QString error;
        if (!SavePictureJpg(paper, jpg, &error)) std::fprintf(stderr, "%s\n", qPrintable(error));
    });
    std::printf("page 1 at 300 dpi (2480 x 3508) written as JPG: min %.1f ms, median %.1f ms\n", dpiJpg.min,
                dpiJpg.median);
    QFile::remove(jpg);
    lmbench::Bench("page12_repaint_ms", pageRepaint, "ms");
    lmbench::Bench("page_jpg_ms", pageJpg.median, "ms");
    lmbench::Bench("page_300dpi_ms", dpiJpg.median, "ms");
    return 0;
}
