// FCS files dropped on the report view from the desktop, sent as real drop
// events under the offscreen platform: plots in reading order, files that
// are not FCS reported and skipped, the in-place reload of one file dropped
// on a plot's area, and the template copies of the File List.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QSettings>

#include <memory>
#include <string>
#include <vector>

#include "base/Codepage.h"
#include "base/Paths.h"
#include "core/DataSet.h"
#include "core/DataShell.h"
#include "core/EventMatrix.h"
#include "core/GateNode.h"
#include "report/app/LumitraApp.h"
#include "report/page/LumitraDoc.h"
#include "report/page/LumitraView.h"
#include "report/app/MainFrame.h"
#include "report/plot/HistLayer.h"
#include "report/plot/Plot.h"
#include "report/plot/PlotDefaults.h"
#include "report/plot/RgnLayer.h"
#include "tests/report/ViewEvents.h"
#include "tests/report/ViewTestUtil.h"
#include "tests/support/Corpus.h"
#include "tests/support/FcsWriter.h"

namespace {

using Kind = lm::ScriptedUiServices::Kind;
using vin::Driver;

const QString kOpenFailed = QStringLiteral("FCS文件打开失败!");
// The message for a file that cannot be opened: its name and what is wrong
// with it follow the fixed text.
QString OpenFailed(const QString& name, const QString& why) { return kOpenFailed + "\n" + name + ": " + why; }
const QString kSwitchFailed = QStringLiteral("数据切换失败!新建图形打开数据？");

// Events off the grid of the other file: multiples of 37.
std::vector<std::pair<double, double>> OtherEvents() {
    std::vector<std::pair<double, double>> e;
    for (int x = 0; x < 1000; x += 37)
        for (int y = 0; y < 1000; y += 37) e.emplace_back(x, y);
    return e;
}

int CountInBox(const std::vector<std::pair<double, double>>& events, double x0, double y0, double x1, double y1) {
    int n = 0;
    for (const auto& [x, y] : events) {
        const double fx = x / 1000.0, fy = y / 1000.0;
        if (fx > x0 && fx < x1 && fy > y0 && fy < y1) ++n;
    }
    return n;
}

std::vector<CPLOT*> Plots(const CLumitraDoc& doc) {
    std::vector<CPLOT*> out;
    for (const auto& o : doc.GetObjects())
        if (auto* p = dynamic_cast<CPLOT*>(o.get())) out.push_back(p);
    return out;
}

CPLOT* PlotOfShell(const CLumitraDoc& doc, const VexaDataShell* shell) {
    for (CPLOT* p : Plots(doc))
        if (p->GetShell() == shell) return p;
    return nullptr;
}

class ViewDropTest : public vin::ViewFixture {
protected:
    void SetUp() override {
        OpenView(900, 700);
        gridFile = dir.Write("grid.fcs", vin::FcsBytes(vin::GridEvents()));
        otherFile = dir.Write("other.fcs", vin::FcsBytes(OtherEvents()));
        wideFile = dir.Write("wide.fcs", vin::FcsBytes(vin::GridEvents(), "2000"));
        textFile = dir.Write("notes.txt", std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o'});
    }
    // The plot's area frame is painted where the view shows it.
    void ExpectDrawn(const QImage& img, const CPLOT& plot) const {
        const CRect a = plot.GetPlotArea();
        const QPoint frame = view->LogicalToClient(CPoint(a.left - 1, (a.top + a.bottom) / 2));
        ASSERT_TRUE(img.rect().contains(frame));
        EXPECT_EQ(vtest::At(img, frame.x(), frame.y()), qRgb(0, 0, 0));
    }
    std::vector<QString> Messages() const {
        std::vector<QString> out;
        for (const auto& c : ui.CallsOf(Kind::MessageBox)) out.push_back(c.text);
        return out;
    }

    lmtest::TempDir dir;
    std::string gridFile, otherFile, wideFile, textFile;
};

// ============================================================ new plots

TEST_F(ViewDropTest, TwoFilesBecomeTwoPlotsInReadingOrderFromTheDropPoint) {
    d->Drop({gridFile, otherFile}, CPoint(100, 120));
    EXPECT_TRUE(d->lastDropAccepted);
    EXPECT_TRUE(Messages().empty());
    ASSERT_EQ(doc->GetDataShellCount(), 2);
    const std::vector<CPLOT*> plots = Plots(*doc);
    ASSERT_EQ(plots.size(), 2u);
    CPLOT* first = PlotOfShell(*doc, doc->GetDataShellAt(0));
    CPLOT* second = PlotOfShell(*doc, doc->GetDataShellAt(1));
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->GetRect(), CRect(100, 120, 350, 370));
    EXPECT_EQ(second->GetRect(), CRect(353, 120, 603, 370));
    EXPECT_EQ(doc->GetDataShellAt(0)->GetPathName(), lm::CanonicalFilePath(gridFile));
    EXPECT_EQ(doc->GetDataShellAt(1)->GetPathName(), lm::CanonicalFilePath(otherFile));
    EXPECT_EQ(first->GetGate(), doc->GetDataShellAt(0)->GetRoot());
    EXPECT_EQ(doc->GetActiveObject(), second);
    EXPECT_EQ(doc->GetPilot(), CPoint(606, 120));
    const QImage img = PaintAll();
    ExpectDrawn(img, *first);
    ExpectDrawn(img, *second);
}

TEST_F(ViewDropTest, AFileThatIsNotFcsIsReportedAndTheOthersStillComeIn) {
    d->Drop({gridFile, textFile, dir.File("missing.fcs"), otherFile}, CPoint(100, 120));
    EXPECT_EQ(Messages(),
              (std::vector<QString>{OpenFailed("notes.txt", "only 5 bytes, too short for an FCS HEADER"),
                                    OpenFailed("missing.fcs", "cannot open: No such file or directory")}));
    const auto box = ui.CallsOf(Kind::MessageBox).front();
    EXPECT_EQ(box.caption, QStringLiteral("错误信息"));
    EXPECT_EQ(box.icon, lm::MsgIcon::Error);
    ASSERT_EQ(doc->GetDataShellCount(), 2);
    CPLOT* first = PlotOfShell(*doc, doc->GetDataShellAt(0));
    CPLOT* second = PlotOfShell(*doc, doc->GetDataShellAt(1));
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->GetRect(), CRect(100, 120, 350, 370));
    EXPECT_EQ(second->GetRect(), CRect(353, 120, 603, 370));
    const QImage img = PaintAll();
    ExpectDrawn(img, *first);
    ExpectDrawn(img, *second);
}

TEST_F(ViewDropTest, AFileThatDoesNotFitInMemoryOrLacksTheDataSetSaysSo) {
    {
        struct Limit {
            Limit() { CEventMatrix::SetBlockLimit(64); }
            ~Limit() { CEventMatrix::SetBlockLimit(0); }
        } limit;
        d->Drop({gridFile}, CPoint(100, 120));
    }
    EXPECT_EQ(Messages(),
              std::vector<QString>{OpenFailed("grid.fcs", "there is not enough memory to load its events")});
    EXPECT_EQ(doc->GetDataShellCount(), 0);
    // The same file opens once the memory is there; a second data set it
    // does not have is named.
    EXPECT_NE(doc->OpenDataFile(gridFile, 0), nullptr);
    EXPECT_EQ(doc->GetOpenProblem(), "");
    EXPECT_EQ(doc->OpenDataFile(otherFile, 1), nullptr);
    EXPECT_EQ(doc->GetOpenProblem(), "it holds no data set 2");
    EXPECT_EQ(doc->OpenDataFile(dir.File("gone.fcs"), 0), nullptr);
    EXPECT_EQ(doc->GetOpenProblem(), "cannot open: No such file or directory");
}

TEST_F(ViewDropTest, OnlyFilesThatAreNotFcsLeaveTheDocumentAsItWas) {
    d->Drop({textFile}, CPoint(100, 120));
    EXPECT_EQ(Messages(), std::vector<QString>{OpenFailed("notes.txt", "only 5 bytes, too short for an FCS HEADER")});
    EXPECT_EQ(doc->GetObjectCount(), 0);
    EXPECT_EQ(doc->GetDataShellCount(), 0);
    EXPECT_FALSE(doc->IsModified());
    // The hint stays.
    const QImage img = PaintAll();
    EXPECT_LT(vtest::Count(img, CRect(300, 300, 600, 400), vtest::kWhitePx), 300 * 100);
}

TEST_F(ViewDropTest, PlotsWrapAtThePagesRightEdgeAndAddAPageRowAtTheBottom) {
    std::vector<std::string> files;
    for (int i = 0; i < 4; ++i) files.push_back(dir.Write("f" + std::to_string(i) + ".fcs", vin::FcsBytes({{1, 2}})));
    d->Drop(files, CPoint(600, 2500));
    ASSERT_EQ(doc->GetDataShellCount(), 4);
    std::vector<CRect> rects;
    for (int i = 0; i < 4; ++i) rects.push_back(PlotOfShell(*doc, doc->GetDataShellAt(i))->GetRect());
    EXPECT_EQ(rects[0], CRect(600, 2500, 850, 2750));
    EXPECT_EQ(rects[1], CRect(5, 2753, 255, 3003));
    EXPECT_EQ(rects[2], CRect(258, 2753, 508, 3003));
    EXPECT_EQ(rects[3], CRect(511, 2753, 761, 3003));
    EXPECT_EQ(doc->GetPagesDown(), 3);
    EXPECT_EQ(view->verticalScrollBar()->maximum(), 3 * 1414 - view->viewport()->height());
}

TEST_F(ViewDropTest, RealFilesFromTheCorpusBecomePlotsWithTheirEvents) {
    std::string why;
    const std::string corpus = lmtest::CorpusDir(&why);
    if (corpus.empty()) GTEST_SKIP() << why;
    d->Drop({corpus + "/Sample_Well_A02.fcs", corpus + "/corrupted.fcs", corpus + "/FCS3.0_Custom_Compatible.fcs"},
            CPoint(20, 20));
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_TRUE(Messages()[0].startsWith(kOpenFailed + "\ncorrupted.fcs: ")) << Messages()[0].toStdString();
    ASSERT_EQ(doc->GetDataShellCount(), 2);
    EXPECT_EQ(doc->GetDataShellAt(0)->GetTotalEvents(), 37395);
    EXPECT_EQ(doc->GetDataShellAt(1)->GetTotalEvents(), 10000);
    for (CPLOT* p : Plots(*doc)) {
        p->RecalcLayers(true, false);
        EXPECT_EQ(p->GetState(), kPlotReady);
    }
    ExpectDrawn(PaintAll(), *PlotOfShell(*doc, doc->GetDataShellAt(1)));
}

// ====================================================== reload in place

TEST_F(ViewDropTest, OneFileOnAPlotsAreaReplacesItsDataAndKeepsItsGates) {
    d->Drop({gridFile}, CPoint(20, 20));
    ASSERT_EQ(doc->GetObjectCount(), 1);
    CPLOT* plot = Plots(*doc).front();
    VexaDataShell* shell = plot->GetShell();
    CGateNode* gate = plottest::AddRectGate(*shell, 0.12f, 0.12f, 0.62f, 0.62f, 0, "R1");
    plot->ShowRegion(gate->GetRegion());
    ASSERT_EQ(int(gate->GetMask().CountSetBits()), CountInBox(vin::GridEvents(), 0.12, 0.12, 0.62, 0.62));
    doc->SetModifiedFlag(false);

    d->Drop({otherFile}, AreaPoint(*plot, 60, 60));
    EXPECT_TRUE(Messages().empty());
    ASSERT_EQ(doc->GetObjectCount(), 1);
    ASSERT_EQ(doc->GetDataShellCount(), 1);
    EXPECT_EQ(plot->GetShell(), shell);
    EXPECT_EQ(shell->GetPathName(), lm::CanonicalFilePath(otherFile));
    ASSERT_EQ(shell->GetGateCount(), 2);
    EXPECT_EQ(shell->GetGate(1), gate);
    EXPECT_EQ(shell->GetTotalEvents(), int32_t(OtherEvents().size()));
    EXPECT_EQ(int(gate->GetMask().CountSetBits()), CountInBox(OtherEvents(), 0.12, 0.12, 0.62, 0.62));
    EXPECT_EQ(plot->GetRegionLayers().size(), 1u);
    EXPECT_EQ(doc->GetActiveObject(), plot);
    EXPECT_TRUE(doc->IsModified());
    ExpectDrawn(PaintAll(), *plot);
    // The data set, its title and the saved report name the new file.
    EXPECT_EQ(shell->GetName(), "other.fcs");
    EXPECT_EQ(plot->GetDataName(1), "other.fcs");
    const std::string report = dir.File("r.fld");
    QString error;
    ASSERT_TRUE(doc->OnSaveDocument(QString::fromStdString(report), &error)) << error.toStdString();
    CLumitraDoc reopened;
    ASSERT_TRUE(reopened.OnOpenDocument(QString::fromStdString(report), &error)) << error.toStdString();
    EXPECT_EQ(reopened.GetDataShellAt(0)->GetName(), "other.fcs");
}

// A file the document holds already keeps its one data set: the plot goes
// over to it when it has the plot's gate, else the switch fails. Either way
// the saved report opens again.
TEST_F(ViewDropTest, AFileOpenAlreadyIsNotLoadedASecondTime) {
    d->Drop({gridFile}, CPoint(20, 20));
    d->Drop({otherFile}, CPoint(20, 400));
    ASSERT_EQ(doc->GetDataShellCount(), 2);
    VexaDataShell* grid = doc->GetDataShellAt(0);
    VexaDataShell* other = doc->GetDataShellAt(1);
    CPLOT* onRoot = PlotOfShell(*doc, grid);
    const CRect rootRect = onRoot->GetRect();
    CGateNode* gate = plottest::AddRectGate(*grid, 0.12f, 0.12f, 0.62f, 0.62f, 0, "R1");
    CPLOT* onGate = view->NewPlotInRect(CRect(300, 20, 550, 270), 1, 0, gate);
    ASSERT_NE(onGate, nullptr);

    d->Drop({otherFile}, AreaPoint(*onRoot, 60, 60));
    EXPECT_EQ(Messages(), std::vector<QString>{QStringLiteral("FCS Data already open!")});
    ASSERT_EQ(doc->GetDataShellCount(), 2);
    EXPECT_EQ(grid->GetPathName(), lm::CanonicalFilePath(gridFile));
    auto* moved = dynamic_cast<CPLOT*>(doc->GetActiveObject());
    ASSERT_NE(moved, nullptr);
    EXPECT_EQ(moved->GetGate(), other->GetRoot());
    EXPECT_EQ(moved->GetRect(), rootRect);
    EXPECT_EQ(Plots(*doc).size(), 3u);

    // Gate R1 has no counterpart in the other data set: the switch fails.
    d->Drop({otherFile}, AreaPoint(*onGate, 60, 60));
    ASSERT_EQ(Messages().size(), 2u);
    EXPECT_EQ(Messages()[1], kSwitchFailed);
    EXPECT_EQ(onGate->GetGate(), gate);
    EXPECT_EQ(grid->GetPathName(), lm::CanonicalFilePath(gridFile));

    const std::string report = dir.File("r.fld");
    QString error;
    ASSERT_TRUE(doc->OnSaveDocument(QString::fromStdString(report), &error)) << error.toStdString();
    CLumitraDoc reopened;
    ASSERT_TRUE(reopened.OnOpenDocument(QString::fromStdString(report), &error)) << error.toStdString();
    EXPECT_EQ(reopened.GetDataShellCount(), 2);
    EXPECT_EQ(reopened.GetObjectCount(), 3);
}

TEST_F(ViewDropTest, AFailedReloadAsksAndOnlyYesMakesANewPlot) {
    d->Drop({gridFile}, CPoint(20, 20));
    CPLOT* plot = Plots(*doc).front();
    // A file whose ranges differ does not fit the plot's data set. No:
    // nothing more happens.
    d->Drop({wideFile}, AreaPoint(*plot, 60, 60));
    ASSERT_EQ(ui.Count(Kind::MessageBox), 1);
    const auto ask = ui.CallsOf(Kind::MessageBox)[0];
    EXPECT_EQ(ask.text, kSwitchFailed);
    EXPECT_EQ(ask.caption, QStringLiteral("错误信息"));
    EXPECT_EQ(ask.buttons, lm::MsgButtons::YesNo);
    EXPECT_EQ(ask.icon, lm::MsgIcon::Question);
    EXPECT_EQ(doc->GetObjectCount(), 1);
    EXPECT_EQ(doc->GetDataShellCount(), 1);
    EXPECT_EQ(plot->GetShell()->GetPathName(), lm::CanonicalFilePath(gridFile));

    // Yes: the file opens in a new plot as near the drop point as it can
    // be without covering the plot: just below it.
    ui.QueueMessageBoxAnswer(lm::kIdYes);
    const CPoint at = AreaPoint(*plot, 60, 60);
    d->Drop({wideFile}, at);
    ASSERT_EQ(doc->GetDataShellCount(), 2);
    EXPECT_EQ(plot->GetShell()->GetPathName(), lm::CanonicalFilePath(gridFile));
    CPLOT* made = PlotOfShell(*doc, doc->GetDataShellAt(1));
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->GetRect().TopLeft(), CPoint(at.x, plot->GetRect().bottom + kPilotGap));
}

TEST_F(ViewDropTest, AFileWithOtherParameterNamesIsNotLoadedIntoAPlotAndTheQuestionNamesThem) {
    d->Drop({gridFile}, CPoint(20, 20));
    CPLOT* plot = Plots(*doc).front();
    lmtest::FcsWriter w;
    // The same ranges, the names swapped, and one parameter more.
    w.Param("SS", 32, "1000").Param("FS", 32, "1000").Param("FL1", 32, "1000");
    for (const auto& [x, y] : OtherEvents()) w.Event({x, y, 1.0});
    const std::string swapped = dir.Write("swapped.fcs", w.Build());
    d->Drop({swapped}, AreaPoint(*plot, 60, 60));
    ASSERT_EQ(ui.Count(Kind::MessageBox), 1);
    EXPECT_EQ(ui.CallsOf(Kind::MessageBox)[0].text,
              kSwitchFailed + "\n\nThese parameters have other names (grid.fcs / swapped.fcs):\nP1: FS / SS\nP2: SS / FS"
                              "\ngrid.fcs has 2 parameters, swapped.fcs has 3.");
    EXPECT_EQ(plot->GetShell()->GetPathName(), lm::CanonicalFilePath(gridFile));
    EXPECT_EQ(int(plot->GetShell()->GetTotalEvents()), int(vin::GridEvents().size()));
    EXPECT_EQ(doc->GetDataShellCount(), 1);
}

// Names and keywords written by a Chinese Windows system (code page 936)
// read as their characters wherever the data set hands them out: the
// question a refused file asks, the damaged-file warning, the result head.
TEST_F(ViewDropTest, ParameterNamesInCodePage936ShowAsTheirCharactersInMessages) {
    d->Drop({gridFile}, CPoint(20, 20));
    CPLOT* plot = Plots(*doc).front();
    const std::string front = lm::Utf8ToCp936("前向"), side = lm::Utf8ToCp936("侧向");
    ASSERT_FALSE(lm::IsValidUtf8(front));
    lmtest::FcsWriter w;
    w.Param(front, 32, "1000").Param(side, 32, "1000").Set("$FIL", lm::Utf8ToCp936("样本一.fcs"));
    for (const auto& [x, y] : OtherEvents()) w.Event({x, y});
    const std::string cn = dir.Write("cn.fcs", w.Build());
    d->Drop({cn}, AreaPoint(*plot, 60, 60));
    ASSERT_EQ(ui.Count(Kind::MessageBox), 1);
    EXPECT_EQ(ui.CallsOf(Kind::MessageBox)[0].text,
              kSwitchFailed + "\n\nThese parameters have other names (grid.fcs / cn.fcs):\nP1: FS / 前向\nP2: SS / 侧向");
    EXPECT_EQ(doc->GetDataShellCount(), 1);

    // Opened on its own: the data set hands out its names and keywords as
    // characters, its parsing bytes unchanged.
    VexaDataShell* shell = doc->OpenDataFile(cn, 0);
    ASSERT_NE(shell, nullptr);
    const CDataSet* ds = shell->GetDataSet();
    EXPECT_EQ(ds->GetParamNameText(0), "前向");
    EXPECT_EQ(ds->GetParamNameText(2), "");
    EXPECT_EQ(ds->GetKeywordText("$FIL"), "样本一.fcs");
    EXPECT_EQ(ds->GetKeywordValue("$FIL"), lm::Utf8ToCp936("样本一.fcs"));
    EXPECT_EQ(ds->GetKeywordText("$P1R"), "1000");

    // A parameter that cannot be decoded is named in the warning as shown.
    lmtest::FcsWriter bad;
    bad.DataType('F').ByteOrder("1,2,3,4").Param("A", 32, "1024").Param(side, 10, "1024").Event({1.5, 2});
    const std::string damaged = dir.Write("bad.fcs", bad.Build());
    VexaDataShell* hurt = doc->OpenDataFile(damaged, 0);
    ASSERT_NE(hurt, nullptr);
    EXPECT_EQ(DataSetReadWarning(*hurt->GetDataSet()),
              "The FCS file bad.fcs is damaged: a parameter could not be decoded and read as 0 (parameter 2 "
              "(侧向): $P2B 10: a float ($DATATYPE F) takes 32 bits).");
}

TEST_F(ViewDropTest, TwoFilesOnAPlotMakeTwoNewPlots) {
    d->Drop({gridFile}, CPoint(20, 20));
    CPLOT* plot = Plots(*doc).front();
    const std::string third = dir.Write("third.fcs", vin::FcsBytes(OtherEvents()));
    d->Drop({otherFile, third}, AreaPoint(*plot, 60, 60));
    EXPECT_EQ(plot->GetShell()->GetPathName(), lm::CanonicalFilePath(gridFile));
    EXPECT_EQ(doc->GetDataShellCount(), 3);
    EXPECT_EQ(Plots(*doc).size(), 3u);
}

TEST_F(ViewDropTest, ADropOnAPlotWithoutDataOrOffItsAreaIsAPageDrop) {
    auto* empty = static_cast<CPLOT*>(doc->AddObject(std::make_unique<CPLOT>(CRect(20, 20, 270, 270), doc.get(), 0, 1)));
    d->Drop({gridFile}, AreaPoint(*empty, 60, 60));
    EXPECT_TRUE(Messages().empty());
    ASSERT_EQ(doc->GetDataShellCount(), 1);
    EXPECT_EQ(empty->GetShell(), nullptr);
    CPLOT* made = PlotOfShell(*doc, doc->GetDataShellAt(0));
    ASSERT_NE(made, nullptr);
    // At the drop point's x, below the plot it would have covered.
    EXPECT_EQ(made->GetRect().TopLeft(), CPoint(AreaPoint(*empty, 60, 60).x, empty->GetRect().bottom + kPilotGap));

    // On the title band of a plot with data: a new plot too.
    const CRect title = made->GetTitleRect();
    d->Drop({otherFile}, CPoint(title.left + 10, title.top + 5));
    EXPECT_EQ(doc->GetDataShellCount(), 2);
    EXPECT_EQ(made->GetShell()->GetPathName(), lm::CanonicalFilePath(gridFile));
}

// ============================================================ templates

// The template switches live in the main frame: these tests run the program.
class TemplateDropTest : public rtest::ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        ASSERT_TRUE(app->InitInstance({}));
        plottest::ResetPlotDefaults();
        doc = app->GetDocuments().front().get();
        view = app->GetMainFrame()->GetActiveReportView();
        ASSERT_NE(view, nullptr);
        d = std::make_unique<Driver>(view);
        templFile = dir.Write("templ.fcs", vin::FcsBytes(vin::GridEvents()));
        for (int i = 0; i < 2; ++i)
            files.push_back(dir.Write("new" + std::to_string(i) + ".fcs", vin::FcsBytes(OtherEvents())));

        // The template: a plot of the file and a second plot on a gate.
        d->Drop({templFile}, CPoint(20, 20));
        ASSERT_EQ(doc->GetDataShellCount(), 1);
        templ = doc->GetDataShellAt(0);
        gate = plottest::AddRectGate(*templ, 0.12f, 0.12f, 0.62f, 0.62f, 0, "R1");
        CPLOT* first = Plots(*doc).front();
        first->ShowRegion(gate->GetRegion());
        second = view->NewPlotInRect(CRect(300, 20, 500, 220), 1, 0, gate);
        ASSERT_NE(second, nullptr);
        doc->SetTemplateShell(templ);
    }
    void TearDown() override {
        d.reset();
        ProgramTest::TearDown();
    }

    CLumitraDoc* doc = nullptr;
    CLumitraView* view = nullptr;
    std::unique_ptr<Driver> d;
    std::string templFile;
    std::vector<std::string> files;
    VexaDataShell* templ = nullptr;
    CGateNode* gate = nullptr;
    CPLOT* second = nullptr;
};

TEST_F(TemplateDropTest, EveryFileTakesTheTemplatesGatesAndCopiesOfItsPlots) {
    app->GetMainFrame()->SetApplyMask(kDropUseTemplate | kDropCopyPlots);
    d->Drop(files, CPoint(20, 400));
    ASSERT_EQ(doc->GetDataShellCount(), 3);
    for (int i = 1; i <= 2; ++i) {
        VexaDataShell* shell = doc->GetDataShellAt(i);
        ASSERT_EQ(shell->GetGateCount(), 2) << i;
        EXPECT_EQ(shell->GetGate(1)->GetName(), gate->GetName());
        EXPECT_EQ(int(shell->GetGate(1)->GetMask().CountSetBits()), CountInBox(OtherEvents(), 0.12, 0.12, 0.62, 0.62));
        const std::vector<CTrkObj*> copies = doc->ObjectsOfShell(shell, kUserPlot);
        ASSERT_EQ(copies.size(), 2u) << i;
        auto* a = dynamic_cast<CPLOT*>(copies[0]);
        auto* b = dynamic_cast<CPLOT*>(copies[1]);
        EXPECT_EQ(a->GetGate(), shell->GetRoot());
        EXPECT_EQ(a->GetRect().Size(), CSize(250, 250));
        EXPECT_EQ(a->GetShownRegions(), std::vector<CDataRgn*>{shell->GetGate(1)->GetRegion()});
        EXPECT_EQ(b->GetGate(), shell->GetGate(1));
        EXPECT_EQ(b->GetRect().Size(), CSize(200, 200));
        EXPECT_EQ(b->GetXParam(), 1);
        EXPECT_EQ(b->GetYParam(), 0);
    }
    // One row from the drop point, in the order of the files.
    auto rectOf = [&](int shell, int k) { return doc->ObjectsOfShell(doc->GetDataShellAt(shell), kUserPlot)[size_t(k)]->GetRect(); };
    EXPECT_EQ(rectOf(1, 0), CRect(20, 400, 270, 650));
    EXPECT_EQ(rectOf(1, 1), CRect(273, 400, 473, 600));
    EXPECT_EQ(rectOf(2, 0), CRect(476, 400, 726, 650));
    EXPECT_EQ(rectOf(2, 1).top, 400);
    EXPECT_TRUE(ui.CallsOf(Kind::MessageBox).empty());
}

TEST_F(TemplateDropTest, TheBreakSwitchStartsEachLaterFileOnANewRow) {
    app->GetMainFrame()->SetApplyMask(kDropUseTemplate | kDropCopyPlots | kDropBreakRows);
    d->Drop(files, CPoint(20, 400));
    ASSERT_EQ(doc->GetDataShellCount(), 3);
    const auto first = doc->ObjectsOfShell(doc->GetDataShellAt(1), kUserPlot);
    const auto later = doc->ObjectsOfShell(doc->GetDataShellAt(2), kUserPlot);
    ASSERT_EQ(first.size(), 2u);
    ASSERT_EQ(later.size(), 2u);
    EXPECT_EQ(first[0]->GetRect(), CRect(20, 400, 270, 650));
    EXPECT_EQ(later[0]->GetRect(), CRect(5, 653, 255, 903));
    EXPECT_EQ(later[1]->GetRect().TopLeft(), CPoint(258, 653));
}

TEST_F(TemplateDropTest, CopiesKeepTheTemplatesTypeAndSettings) {
    second->SetPlotType(kPlotFlagHistogram);
    ASSERT_NE(second->GetHistLayer(), nullptr);
    ASSERT_TRUE(second->GetHistLayer()->SetBinCount(64));
    second->SetBackgroundColor(RGB(1, 2, 3));
    second->reservedF = "kept";
    app->GetMainFrame()->SetApplyMask(kDropUseTemplate | kDropCopyPlots);
    d->Drop({files[0]}, CPoint(20, 400));
    const auto copies = doc->ObjectsOfShell(doc->GetDataShellAt(1), kUserPlot);
    ASSERT_EQ(copies.size(), 2u);
    auto* copy = dynamic_cast<CPLOT*>(copies[1]);
    EXPECT_EQ(copy->GetStyleFlags(), kPlotFlagHistogram);  // the "STYLE" default is dots
    ASSERT_NE(copy->GetHistLayer(), nullptr);
    EXPECT_EQ(copy->GetHistLayer()->GetBinCount(), 64);
    EXPECT_EQ(copy->GetBackgroundColor(), RGB(1, 2, 3));
    EXPECT_EQ(copy->reservedF, "kept");
    EXPECT_EQ(dynamic_cast<CPLOT*>(copies[0])->GetStyleFlags(), kPlotFlagDots);
}

TEST_F(TemplateDropTest, WithoutTheCopySwitchTheFilesOnlyTakeTheGates) {
    app->GetMainFrame()->SetApplyMask(kDropUseTemplate);
    d->Drop({files[0]}, CPoint(20, 400));
    ASSERT_EQ(doc->GetDataShellCount(), 2);
    EXPECT_EQ(doc->GetDataShellAt(1)->GetGateCount(), 2);
    EXPECT_TRUE(doc->ObjectsOfShell(doc->GetDataShellAt(1), kUserPlot).empty());
    // With the switches but no template marked, a plain plot.
    doc->SetTemplateShell(nullptr);
    app->GetMainFrame()->SetApplyMask(kDropUseTemplate | kDropCopyPlots);
    d->Drop({files[1]}, CPoint(20, 700));
    ASSERT_EQ(doc->GetDataShellCount(), 3);
    EXPECT_EQ(doc->GetDataShellAt(2)->GetGateCount(), 1);
    EXPECT_EQ(doc->ObjectsOfShell(doc->GetDataShellAt(2), kUserPlot).size(), 1u);
}

TEST_F(TemplateDropTest, DroppingTheTemplatesOwnFileCopiesEachOfItsPlotsOnce) {
    app->GetMainFrame()->SetApplyMask(kDropUseTemplate | kDropCopyPlots);
    d->Drop({templFile}, CPoint(20, 400));
    // The open data set is reused after the notice, once.
    ASSERT_EQ(ui.Count(Kind::MessageBox), 1);
    EXPECT_EQ(ui.CallsOf(Kind::MessageBox)[0].text, QStringLiteral("FCS Data already open!"));
    EXPECT_EQ(doc->GetDataShellCount(), 1);
    EXPECT_EQ(Plots(*doc).size(), 4u);
    EXPECT_EQ(doc->ObjectsOfShell(templ, kUserPlot).size(), 4u);
}

TEST_F(TemplateDropTest, ADataSetOfAnotherLayoutAsksBeforeAPlainPlot) {
    app->GetMainFrame()->SetApplyMask(kDropUseTemplate | kDropCopyPlots);
    const std::string wide = dir.Write("wide.fcs", vin::FcsBytes(vin::GridEvents(), "2000"));
    ui.QueueMessageBoxAnswer(lm::kIdOk);  // asked once for the file: a plain plot
    d->Drop({wide}, CPoint(20, 400));
    const auto boxes = ui.CallsOf(Kind::MessageBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, QStringLiteral("数据不兼容！仅打开FCS文件不套用模板请按ok"));
    EXPECT_EQ(boxes[0].caption, QStringLiteral("警告"));
    EXPECT_EQ(boxes[0].buttons, lm::MsgButtons::OkCancel);
    ASSERT_EQ(doc->GetDataShellCount(), 2);
    const auto made = doc->ObjectsOfShell(doc->GetDataShellAt(1), kUserPlot);
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(dynamic_cast<CPLOT*>(made[0])->GetGate(), doc->GetDataShellAt(1)->GetRoot());
    EXPECT_EQ(made[0]->GetRect(), CRect(20, 400, 270, 650));
    EXPECT_EQ(doc->GetDataShellAt(1)->GetGateCount(), 1);  // none of the template's gates
}

// A file of 2 parameters dropped on a template made from one of 3 with the
// same ranges: the names do not stand where the template's plots look.
TEST_F(TemplateDropTest, AFileWhoseParametersHaveOtherNamesAsksOnceNamingThem) {
    auto write = [&](const std::string& name, std::vector<const char*> params) {
        lmtest::FcsWriter w;
        for (const char* p : params) w.Param(p, 32, "1000");
        for (const auto& [x, y] : vin::GridEvents()) {
            std::vector<double> e{x, y, 500.0};
            e.resize(params.size());
            w.Event(e);
        }
        return dir.Write(name, w.Build());
    };
    const std::string three = write("three.fcs", {"FSC-A", "FSC-H", "SSC-A"});
    const std::string two = write("two.fcs", {"FSC-H", "SSC-A"});
    d->Drop({three}, CPoint(600, 20));
    ASSERT_EQ(doc->GetDataShellCount(), 2);
    VexaDataShell* wide = doc->GetDataShellAt(1);
    plottest::AddRectGate(*wide, 0.1f, 0.1f, 0.6f, 0.6f, 0, "Lymph");
    doc->SetTemplateShell(wide);
    app->GetMainFrame()->SetApplyMask(kDropUseTemplate | kDropCopyPlots);
    const int32_t objects = doc->GetObjectCount();

    // Cancel: the file stays closed, nothing is made.
    ui.QueueMessageBoxAnswer(lm::kIdCancel);
    d->Drop({two}, CPoint(20, 400));
    ASSERT_EQ(ui.Count(Kind::MessageBox), 1);
    const auto ask = ui.CallsOf(Kind::MessageBox)[0];
    EXPECT_EQ(ask.caption, QStringLiteral("警告"));
    EXPECT_EQ(ask.buttons, lm::MsgButtons::OkCancel);
    const QStringList lines = ask.text.split('\n');
    ASSERT_GE(lines.size(), 6);
    EXPECT_EQ(lines[0], QStringLiteral("数据不兼容！仅打开FCS文件不套用模板请按ok"));
    EXPECT_EQ(lines[2], QStringLiteral("These parameters have other names (two.fcs / three.fcs):"));
    EXPECT_EQ(lines[3], QStringLiteral("P1: FSC-H / FSC-A"));
    EXPECT_EQ(lines[4], QStringLiteral("P2: SSC-A / FSC-H"));
    EXPECT_EQ(lines[5], QStringLiteral("two.fcs has 2 parameters, three.fcs has 3."));
    EXPECT_EQ(doc->GetDataShellCount(), 2);
    EXPECT_EQ(doc->GetObjectCount(), objects);

    // OK: the file opens as a data set of its own with a plain plot.
    ui.QueueMessageBoxAnswer(lm::kIdOk);
    d->Drop({two}, CPoint(20, 400));
    EXPECT_EQ(ui.Count(Kind::MessageBox), 2);
    ASSERT_EQ(doc->GetDataShellCount(), 3);
    VexaDataShell* opened = doc->GetDataShellAt(2);
    EXPECT_EQ(opened->GetFileName(), "two.fcs");
    EXPECT_EQ(opened->GetGateCount(), 1);
    const auto made = doc->ObjectsOfShell(opened, kUserPlot);
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(dynamic_cast<CPLOT*>(made[0])->GetGate(), opened->GetRoot());

    // A file with the template's parameters and one more takes the template.
    const std::string more = write("more.fcs", {"FSC-A", "FSC-H", "SSC-A", "FL1-A"});
    d->Drop({more}, CPoint(20, 700));
    EXPECT_EQ(ui.Count(Kind::MessageBox), 2);
    ASSERT_EQ(doc->GetDataShellCount(), 4);
    EXPECT_EQ(doc->GetDataShellAt(3)->GetGateCount(), 2);
}

TEST_F(TemplateDropTest, TheTemplateIsForgottenWhenItsDataSetCloses) {
    EXPECT_EQ(doc->GetTemplateShell(), templ);
    doc->RemoveDataShell(templ);
    EXPECT_EQ(doc->GetTemplateShell(), nullptr);
    app->GetMainFrame()->SetApplyMask(kDropUseTemplate | kDropCopyPlots);
    d->Drop({files[0]}, CPoint(20, 400));
    ASSERT_EQ(doc->GetDataShellCount(), 1);
    EXPECT_EQ(doc->GetDataShellAt(0)->GetGateCount(), 1);
    // A data set of another document is not taken as the template.
    CLumitraDoc other;
    VexaDataShell* foreign = other.AttachDataShell(plottest::MakeShell(vin::GridEvents(), "F", "foreign.fcs"));
    doc->SetTemplateShell(foreign);
    EXPECT_EQ(doc->GetTemplateShell(), nullptr);
}

}  // namespace

namespace {

// Result tables come from their own part of the program: a stand-in that
// observes its shell as a table does.
std::unique_ptr<CTrkObj> MakeTable(CLumitraDoc* owner, VexaDataShell* shell, CPoint at, const CTrkObj* templ) {
    const CSize size = templ ? templ->GetRect().Size() : CSize(100, 30);
    return std::make_unique<rtest::ShellObj>(CRect(at, size), owner, shell, kUserResultTable, kObjResult);
}

TEST_F(TemplateDropTest, ResultTablesAreCopiedOncePerDataSet) {
    const ViewObjectMakers saved = CLumitraView::GetObjectMakers();
    ViewObjectMakers makers;
    makers.resultTable = &MakeTable;
    CLumitraView::SetObjectMakers(makers);
    CTrkObj* table = view->NewResultItem(600, 20, templ);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->GetRect(), CRect(600, 20, 700, 50));
    // A second table of the same data set is refused.
    EXPECT_EQ(view->NewResultItem(600, 80, templ), nullptr);
    ASSERT_EQ(ui.Count(Kind::MessageBox), 1);
    EXPECT_EQ(ui.CallsOf(Kind::MessageBox)[0].text, QStringLiteral("Result Item can't create twice"));
    EXPECT_EQ(ui.CallsOf(Kind::MessageBox)[0].caption, QStringLiteral("警告"));
    ui.Clear();

    app->GetMainFrame()->SetApplyMask(kDropUseTemplate | kDropCopyPlots | kDropCopyResults);
    d->Drop(files, CPoint(20, 400));
    ASSERT_EQ(doc->GetDataShellCount(), 3);
    for (int i = 1; i <= 2; ++i) {
        const auto tables = doc->ObjectsOfShell(doc->GetDataShellAt(i), kUserResultTable);
        ASSERT_EQ(tables.size(), 1u) << i;
        EXPECT_EQ(tables[0]->GetRect().Size(), CSize(100, 30));
    }
    EXPECT_TRUE(ui.CallsOf(Kind::MessageBox).empty());
    // The template's own file: its table is not made twice.
    d->Drop({templFile}, CPoint(20, 1000));
    const auto boxes = ui.CallsOf(Kind::MessageBox);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, QStringLiteral("FCS Data already open!"));
    EXPECT_EQ(boxes[1].text, QStringLiteral("Result Item can't create twice"));
    EXPECT_EQ(doc->ObjectsOfShell(templ, kUserResultTable).size(), 1u);
    CLumitraView::SetObjectMakers(saved);
}

TEST_F(TemplateDropTest, ATemplateCopyNeedsADataSetOfThisDocument) {
    CPLOT* source = Plots(*doc).front();
    EXPECT_EQ(view->NewPlotFromTemplate(10, 10, source, nullptr), nullptr);
    ASSERT_EQ(ui.Count(Kind::MessageBox), 1);
    EXPECT_EQ(ui.CallsOf(Kind::MessageBox)[0].text, kOpenFailed + "\nits data set is not open in this report");
    const size_t before = Plots(*doc).size();
    // No template plot: a plot without a gate of the default size.
    CPLOT* bare = view->NewPlotFromTemplate(700, 700, nullptr, templ);
    ASSERT_NE(bare, nullptr);
    EXPECT_EQ(bare->GetGate(), nullptr);
    EXPECT_EQ(bare->GetRect(), CRect(700, 700, 950, 950));
    EXPECT_EQ(Plots(*doc).size(), before + 1);
}

}  // namespace

// Dropped in the gap between the template's plots, the copies go where they
// cover nothing (they were laid on the plots there).
TEST_F(TemplateDropTest, CopiesDroppedAmongPlotsCoverNoneOfThem) {
    app->GetMainFrame()->SetApplyMask(kDropUseTemplate | kDropCopyPlots);
    d->Drop(files, CPoint(275, 100));
    ASSERT_EQ(doc->GetDataShellCount(), 3);
    const std::vector<CPLOT*> plots = Plots(*doc);
    ASSERT_EQ(plots.size(), 6u);
    for (CPLOT* a : plots) {
        EXPECT_LE(a->GetRect().right, doc->GetCanvasSize().cx);
        for (CPLOT* b : plots) {
            CRect meet;
            if (a != b) EXPECT_FALSE(meet.IntersectRect(a->GetRect(), b->GetRect()));
        }
    }
    EXPECT_TRUE(ui.CallsOf(Kind::MessageBox).empty());
}
