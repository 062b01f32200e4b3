#pragma once
// Helpers of the report view's input tests: a view on a document, shown under
// the offscreen platform, and real mouse, key and drop events sent to it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDropEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QUrl>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/ui/ScriptedUiServices.h"
#include "report/page/LumitraDoc.h"
#include "report/page/LumitraView.h"
#include "report/plot/Plot.h"
#include "report/plot/RgnLayer.h"
#include "tests/report/PlotTestUtil.h"
#include "tests/report/ReportTestUtil.h"

namespace vin {

// Sends the events of a user to one view: points are page units, turned into
// the viewport's pixels at the view's zoom and scroll position of the moment.
class Driver {
public:
    explicit Driver(CLumitraView* v) : view(v) {}

    QPoint Client(CPoint page) const { return view->LogicalToClient(page); }

    void Mouse(QEvent::Type type, QPoint client, Qt::MouseButton button, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers mods = Qt::NoModifier) const {
        QWidget* vp = view->viewport();
        QMouseEvent e(type, QPointF(client), vp->mapToGlobal(QPointF(client)), button, buttons, mods);
        QCoreApplication::sendEvent(vp, &e);
    }
    void Press(CPoint page, Qt::KeyboardModifiers mods = Qt::NoModifier,
               Qt::MouseButton button = Qt::LeftButton) const {
        Mouse(QEvent::MouseButtonPress, Client(page), button, button, mods);
    }
    void Move(CPoint page, Qt::MouseButtons buttons = Qt::LeftButton,
              Qt::KeyboardModifiers mods = Qt::NoModifier) const {
        Mouse(QEvent::MouseMove, Client(page), Qt::NoButton, buttons, mods);
    }
    void Release(CPoint page, Qt::KeyboardModifiers mods = Qt::NoModifier,
                 Qt::MouseButton button = Qt::LeftButton) const {
        Mouse(QEvent::MouseButtonRelease, Client(page), button, Qt::NoButton, mods);
    }
    void Click(CPoint page, Qt::KeyboardModifiers mods = Qt::NoModifier) const {
        Press(page, mods);
        Release(page, mods);
    }
    void DoubleClick(CPoint page) const {
        Press(page);
        Release(page);
        Mouse(QEvent::MouseButtonDblClick, Client(page), Qt::LeftButton, Qt::LeftButton);
        Release(page);
    }
    // Press, a move on the way, a move to the end, release there.
    void Drag(CPoint from, CPoint to, Qt::KeyboardModifiers mods = Qt::NoModifier,
              Qt::MouseButton button = Qt::LeftButton) const {
        Press(from, mods, button);
        Move(CPoint((from.x + to.x) / 2, (from.y + to.y) / 2), button, mods);
        Move(to, button, mods);
        Release(to, mods, button);
    }
    void RightClick(CPoint page) const {
        Mouse(QEvent::MouseButtonPress, Client(page), Qt::RightButton, Qt::RightButton);
        Mouse(QEvent::MouseButtonRelease, Client(page), Qt::RightButton, Qt::NoButton);
    }
    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier, bool autoRepeat = false,
             QEvent::Type type = QEvent::KeyPress) const {
        QKeyEvent e(type, key, mods, QString(), autoRepeat);
        QCoreApplication::sendEvent(view, &e);
    }
    // Files dropped from the desktop at a page point.
    void Drop(const std::vector<std::string>& files, CPoint page) const {
        QMimeData mime;
        QList<QUrl> urls;
        for (const std::string& f : files) urls << QUrl::fromLocalFile(QString::fromStdString(f));
        mime.setUrls(urls);
        const QPointF at(Client(page));
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view->viewport(), &enter);
        QDropEvent drop(at, Qt::CopyAction, &mime, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view->viewport(), &drop);
        lastDropAccepted = enter.isAccepted() && drop.isAccepted();
    }
    void ScrollTo(int x, int y) const {
        view->horizontalScrollBar()->setValue(x);
        view->verticalScrollBar()->setValue(y);
    }

    CLumitraView* view;
    mutable bool lastDropAccepted = false;
};

// A view on a fresh document, shown and driven by real events, with the
// scripted UI services answering and the region layers of plots installed.
// A test's SetUp calls OpenView; the plot layer makers in use before are
// put back at the end.
class ViewFixture : public ::testing::Test {
protected:
    void OpenView(int width, int height) {
        rtest::EnsureApp();
        plottest::ResetPlotDefaults();
        doc = std::make_unique<CLumitraDoc>();
        view = std::make_unique<CLumitraView>(doc.get());
        view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        view->resize(width, height);
        view->show();
        QCoreApplication::processEvents();
        d = std::make_unique<Driver>(view.get());
    }
    void TearDown() override {
        d.reset();
        view.reset();
        doc.reset();
    }

    // A page point of a plot's area given in layer pixels (y upward).
    static CPoint AreaPoint(const CPLOT& plot, int32_t lx, int32_t ly) {
        const CRect a = plot.GetPlotArea();
        return CPoint(a.left + lx, a.bottom - ly);
    }
    // The whole viewport painted on magenta.
    QImage PaintAll() {
        QImage img(view->viewport()->size(), QImage::Format_RGB32);
        img.fill(Qt::magenta);
        QPainter p(&img);
        view->PaintClient(p, QRegion(view->viewport()->rect()));
        return img;
    }

    lm::ScriptedUiServices ui;
    lm::ScopedUiServices scoped{&ui};
    std::unique_ptr<CLumitraDoc> doc;
    std::unique_ptr<CLumitraView> view;
    std::unique_ptr<Driver> d;
};

// A page object counting its copies to the clipboard.
class CopyObj : public rtest::TestObj {
public:
    CopyObj(const CRect& r, CLumitraDoc* doc, int32_t type = kObjGrid) : TestObj(r, doc, type) {}
    void CopyToClipboard() override { ++copies; }
    int copies = 0;
};

// Events on a grid: every multiple of 50 from 0 to 1000 on both axes.
inline std::vector<std::pair<double, double>> GridEvents() {
    std::vector<std::pair<double, double>> e;
    for (int x = 0; x <= 1000; x += 50)
        for (int y = 0; y <= 1000; y += 50) e.emplace_back(x, y);
    return e;
}

// The bytes of an FCS file with linear parameters "FS" and "SS" (range
// `range`) and the events given.
inline std::vector<uint8_t> FcsBytes(const std::vector<std::pair<double, double>>& events,
                                     const std::string& range = "1000") {
    lmtest::FcsWriter w;
    w.Param("FS", 32, range).Param("SS", 32, range);
    for (const auto& [x, y] : events) w.Event({x, y});
    return w.Build();
}

}  // namespace vin
