// The report document as a ".fld" file: layout, round trips with real and
// synthetic FCS files, templates, missing and moved data, and hostile files.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QSettings>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "base/Codepage.h"
#include "core/DataSet.h"
#include "core/DataShell.h"
#include "core/EventMatrix.h"
#include "core/GateNode.h"
#include "core/Region.h"
#include "core/Trans.h"
#include "tests/support/ui/ScriptedUiServices.h"
#include "report/app/CommandIds.h"
#include "report/plot/DotLayer.h"
#include "report/plot/HistLayer.h"
#include "report/app/LumitraApp.h"
#include "report/page/LumitraDoc.h"
#include "report/app/MainFrame.h"
#include "report/plot/Plot.h"
#include "report/plot/RgnLayer.h"
#include "report/page/ResultTable.h"
#include "report/page/TrkText.h"
#include "tests/report/FldTestUtil.h"
#include "tests/report/PlotTestUtil.h"
#include "tests/report/ReportTestUtil.h"
#include "tests/support/Corpus.h"

using fldtest::Bytes;
using Kind = lm::ScriptedUiServices::Kind;
namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> Save(CLumitraDoc& doc) {
    CArchive ar;
    doc.Serialize(ar);
    return ar.Bytes();
}

void Load(CLumitraDoc& doc, const std::vector<uint8_t>& bytes) {
    CArchive in(bytes);
    doc.Serialize(in);
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

CPLOT* PlotAt(const CLumitraDoc& doc, int32_t i) { return dynamic_cast<CPLOT*>(doc.GetObjectAt(i)); }

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(bytes.data()),
                                                                  std::streamsize(bytes.size()));
}

bool HasEvents(const VexaDataShell* s) { return s && s->GetDataSet() && s->GetDataSet()->GetEventMatrix(); }

// The head of an empty document as the layout gives it, up to the shell count.
Bytes EmptyHead() {
    Bytes b;
    b.S("FLD").S("0").I(5).I(5).I(0);
    b.I(1).I(1).I(2).I(1024).I(1414).I(200).I(200).I(0).I(0).I(0);
    b.I(1);
    return b;
}

// Files written by the tests seed the fuzzer when asked for.
void MaybeWriteSeed(const std::string& name, const std::vector<uint8_t>& bytes) {
    const char* dir = std::getenv("LUMITRA_WRITE_FLD_SEEDS");
    if (!dir || !*dir) return;
    std::ofstream out(std::string(dir) + "/" + name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

class DocFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        rtest::EnsureApp();
        plottest::ResetPlotDefaults();
    }

    // A synthetic five-parameter file in the test's folder.
    std::string WriteFive(const std::string& name, int events = 400) {
        return dir.Write(name, fldtest::FiveParamFcs(events));
    }

    // A document on one synthetic file with gates of every kind and plots
    // that show them: dot plots with regions, a histogram with a range.
    VexaDataShell* BuildAnalysis(CLumitraDoc& doc, const std::string& fcs) {
        VexaDataShell* s = doc.OpenDataFile(fcs, 0);
        if (!s) return nullptr;
        s->SetTrans(std::make_unique<CLogical>(1000.0f, -10.0f, 4.5f), 3);
        s->SetTrans(std::make_unique<CLogTRANS>(0.0f, 3.0f), 2);
        CSpillMatrix m(3);
        m.indices = {3, 2, 4};
        m.values = {1.0f, 0.15f, 0.0f, 0.05f, 1.0f, 0.01f, 0.0f, 0.0f, 1.0f};
        s->SetCompMatrix(&m, true);
        CGateNode* r = plottest::AddRectGate(*s, 0.1f, 0.1f, 0.8f, 0.8f, 0, "R");
        s->AddRegionGate(std::make_unique<CrCross>(0, 1, 0.3f, 0.7f), 0, "X");
        CGateNode* e =
            s->AddRegionGate(std::make_unique<CrEllipse>(0, 1, RgnPoint{0.2f, 0.2f}, RgnPoint{0.7f, 0.9f}), 1, "E");
        s->AddRegionGate(std::make_unique<CrQuadrant>(0, 1, 0.5f, 0.5f, 0.4f, 0.6f, 0.45f, 0.55f), 0, "Q");
        s->AddRegionGate(
            std::make_unique<CrPolygon>(0, 1, std::vector<RgnPoint>{{0.1f, 0.1f}, {0.9f, 0.3f}, {0.4f, 0.95f}}), 0,
            "P");
        s->AddRegionGate(std::make_unique<CrRange>(0, 0, 0.25f, 0.5f), 0, "H");
        CGateNode* n = s->AddNotGate(r, "");
        s->AddLogicGate('|', {e, n}, "");
        s->AddLogicGate('&', {r, e}, "门控");

        auto dots = std::make_unique<CPLOT>(CRect(5, 5, 255, 255), r, &doc, 0, 1);
        for (int32_t i = 0; i < s->GetRegionCount(); ++i) dots->ShowRegion(s->GetRegion(i));
        doc.AddObject(std::move(dots));
        auto hist = std::make_unique<CPLOT>(CRect(260, 5, 510, 255), s->GetGate(0), &doc, 0, 1);
        hist->SetPlotType(kPlotFlagHistogram);
        hist->ShowRegion(s->GetRegion(s->GetRegionCount() - 1));
        doc.AddObject(std::move(hist));
        return s;
    }

    lmtest::TempDir dir;
    lm::ScriptedUiServices ui;
    lm::ScopedUiServices install{&ui};
    fldtest::ScopedPalette palette;
    plottest::ScopedRegionMaker regions;
};

}  // namespace

// ================================================================= layout

TEST_F(DocFileTest, AnEmptyDocumentIs86BytesAndComesBack) {
    CLumitraDoc doc;
    const std::vector<uint8_t> bytes = Save(doc);
    Bytes expected = EmptyHead();
    expected.I(0).I(0).I(1).I(0).I(-1).I(0);
    ASSERT_EQ(bytes.size(), 86u);
    EXPECT_EQ(bytes, expected.b);
    MaybeWriteSeed("empty.fld", bytes);

    // Pilot point and pages travel with the file.
    CLumitraDoc changed;
    changed.SetPilot(CPoint(300, 40));
    changed.SetPageCount(3, 4);
    const std::vector<uint8_t> b2 = Save(changed);
    CLumitraDoc back;
    Load(back, b2);
    EXPECT_EQ(back.GetPilot(), CPoint(300, 40));
    EXPECT_EQ(back.GetPagesAcross(), 3);
    EXPECT_EQ(back.GetPagesDown(), 4);
    EXPECT_EQ(Save(back), b2);
}

TEST_F(DocFileTest, APlotWithoutDataIsItsKindAnd171Bytes) {
    CLumitraDoc doc;
    doc.AddObject(std::make_unique<CPLOT>(20, 30, &doc));
    const std::vector<uint8_t> bytes = Save(doc);
    ASSERT_EQ(bytes.size(), 86u + 4 + 171);
    Bytes head = EmptyHead();
    const CPoint pilot = doc.GetPilot();  // the plot moved it
    std::memcpy(head.b.data() + 6, &pilot.x, 4);
    std::memcpy(head.b.data() + 10, &pilot.y, 4);
    head.I(0).I(0).I(1).I(1).I(kObjPlot);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 82), head.b);
    EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 8, bytes.end()), Bytes().I(-1).I(0).b);

    CLumitraDoc back;
    Load(back, bytes);
    ASSERT_EQ(back.GetObjectCount(), 1);
    ASSERT_NE(PlotAt(back, 0), nullptr);
    EXPECT_EQ(PlotAt(back, 0)->GetRect(), doc.GetObjectAt(0)->GetRect());
    EXPECT_EQ(PlotAt(back, 0)->GetShell(), nullptr);
    EXPECT_EQ(Save(back), bytes);
    MaybeWriteSeed("bare-plot.fld", bytes);
}

TEST_F(DocFileTest, ATextBoxKeepsItsBreaksAndChineseByteForByteAndCutRecordsAreRefused) {
    CLumitraDoc doc;
    auto* text = static_cast<CTrkText*>(doc.AddObject(std::make_unique<CTrkText>(CRect(10, 20, 110, 50), &doc)));
    text->SetText("第一行\r\nline 2");
    const std::vector<uint8_t> bytes = Save(doc);
    Bytes record;
    record.I(kObjText).I(10).I(20).I(110).I(50);
    record.I(-16).I(0).I(0).I(0).I(400).Raw({0, 0, 0, 0, 0, 0, 2, 0x12}).S("\xCB\xCE\xCC\xE5");  // 宋体
    record.U(0).U(0xFFFFFF).I(0);
    record.S("\xB5\xDA\xD2\xBB\xD0\xD0\r\nline 2");  // 第一行, cp936
    record.I(-1).I(0);
    ASSERT_GE(bytes.size(), record.b.size());
    EXPECT_EQ(std::vector<uint8_t>(bytes.end() - ptrdiff_t(record.b.size()), bytes.end()), record.b);

    CLumitraDoc back;
    Load(back, bytes);
    ASSERT_EQ(back.GetObjectCount(), 1);
    auto* read = dynamic_cast<CTrkText*>(back.GetObjectAt(0));
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->GetText(), "第一行\r\nline 2");
    EXPECT_EQ(Save(back), bytes);
    MaybeWriteSeed("text.fld", bytes);

    // Cut anywhere inside the record (or its string claiming more bytes than
    // there are), the file is refused and nothing is left behind.
    const size_t recordStart = bytes.size() - record.b.size() + 4;
    for (size_t n = recordStart; n < bytes.size() - 8; ++n) {
        CLumitraDoc cut;
        std::vector<uint8_t> part(bytes.begin(), bytes.begin() + ptrdiff_t(n));
        EXPECT_THROW(Load(cut, part), CArchiveException) << n;
        EXPECT_EQ(cut.GetObjectCount(), 0) << n;
    }
}

TEST_F(DocFileTest, ASaveThatWouldLoseCharactersSaysWhereAndWhichAndMayBeCancelled) {
    const std::string fcs = WriteFive("s.fcs", 20);
    CLumitraDoc doc;
    VexaDataShell* s = doc.OpenDataFile(fcs, 0);
    ASSERT_NE(s, nullptr);
    s->SetName("Probe \xC3\xA5");  // å
    auto* text = static_cast<CTrkText*>(doc.AddObject(std::make_unique<CTrkText>(CRect(10, 20, 110, 50), &doc)));
    text->SetText("\xC3\xA4\xC3\xBC 😀 第一");  // äü 😀 第一
    const std::string path = dir.Write("report.fld", std::vector<uint8_t>{'o', 'l', 'd'});
    ui.Clear();

    ui.QueueMessageBoxAnswer(lm::kIdCancel);
    QString error = QStringLiteral("untouched");
    EXPECT_FALSE(doc.OnSaveDocument(Q(path), &error));
    EXPECT_TRUE(error.isEmpty());  // cancelled: nothing to report
    EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_TRUE(doc.GetPathName().isEmpty());
    ASSERT_EQ(ui.Count(Kind::MessageBox), 1);
    const lm::ScriptedUiServices::Call box = ui.CallsOf(Kind::MessageBox)[0];
    EXPECT_EQ(box.caption, QStringLiteral("警告"));
    EXPECT_EQ(box.buttons, lm::MsgButtons::OkCancel);
    EXPECT_TRUE(box.text.contains(QStringLiteral("\n  data set Probe \u00E5: \u00E5"))) << box.text.toStdString();
    EXPECT_TRUE(box.text.contains(QStringLiteral("\n  the text box at (10, 20): \u00E4 ") + QString::fromUtf8("😀")))
        << box.text.toStdString();
    EXPECT_FALSE(box.text.contains(QStringLiteral("\u00FC")));  // ü has a form

    ui.QueueMessageBoxAnswer(lm::kIdOk);
    ASSERT_TRUE(doc.OnSaveDocument(Q(path), &error)) << error.toStdString();
    CLumitraDoc back;
    ASSERT_TRUE(back.OnOpenDocument(Q(path), &error)) << error.toStdString();
    auto* read = dynamic_cast<CTrkText*>(back.GetObjectAt(0));
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->GetText(), "?\xC3\xBC ? 第一");
    EXPECT_EQ(back.GetDataShellAt(0)->GetName(), "Probe ?");

    // Text the file can hold asks nothing.
    ui.Clear();
    text->SetText("第一行 ü");
    s->SetName("Probe");
    ASSERT_TRUE(doc.OnSaveDocument(Q(path), &error));
    EXPECT_EQ(ui.Count(Kind::MessageBox), 0);
}

TEST_F(DocFileTest, ObjectsComeBackWhereTheyWereNotWhereANewOneWouldGo) {
    CLumitraDoc doc;
    // Past the right edge of a one-page canvas: a new object would move.
    auto wide = std::make_unique<CPLOT>(20, 30, &doc);
    doc.AddObject(std::move(wide));
    doc.GetObjectAt(0)->SetRect(CRect(900, 100, 1100, 300), true);
    const std::vector<uint8_t> bytes = Save(doc);
    CLumitraDoc back;
    Load(back, bytes);
    EXPECT_EQ(back.GetObjectAt(0)->GetRect(), CRect(900, 100, 1100, 300));
    EXPECT_EQ(back.GetPilot(), doc.GetPilot());
}

// ============================================================ round trips

TEST_F(DocFileTest, EveryRegionKindLogicGatesAndPlotsRoundTripByteForByte) {
    const std::string fcs = WriteFive("five.fcs");
    CLumitraDoc doc;
    VexaDataShell* s = BuildAnalysis(doc, fcs);
    ASSERT_NE(s, nullptr);
    const std::string path = dir.File("analysis.fld");
    QString error;
    ASSERT_TRUE(doc.OnSaveDocument(Q(path), &error)) << error.toStdString();
    EXPECT_EQ(doc.GetPathName(), Q(path));
    EXPECT_FALSE(doc.IsModified());
    const std::vector<uint8_t> first = ReadBytes(path);
    MaybeWriteSeed("analysis.fld", first);

    CLumitraDoc back;
    ASSERT_TRUE(back.OnOpenDocument(Q(path), &error)) << error.toStdString();
    EXPECT_FALSE(back.IsModified());
    ASSERT_EQ(back.GetDataShellCount(), 1);
    VexaDataShell* t = back.GetDataShellAt(0);
    ASSERT_TRUE(HasEvents(t));
    ASSERT_EQ(t->GetGateCount(), s->GetGateCount());
    ASSERT_EQ(t->GetRegionCount(), s->GetRegionCount());
    for (int32_t i = 0; i < s->GetGateCount(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(t->GetGates()[size_t(i)]->GetDisplayName(true), s->GetGates()[size_t(i)]->GetDisplayName(true));
        EXPECT_EQ(t->GetGates()[size_t(i)]->GetRegionType(), s->GetGates()[size_t(i)]->GetRegionType());
        if (s->GetGates()[size_t(i)]->GetRegionType() != kRgnCross) {
            EXPECT_EQ(t->GetGates()[size_t(i)]->GetMask().CountSetBits(),
                      s->GetGates()[size_t(i)]->GetMask().CountSetBits());
        }
    }
    // The cross keeps its place among the regions and comes back centred.
    RgnPoint centre;
    static_cast<CrCross*>(t->GetRegion(1))->GetGeometry(&centre);
    EXPECT_EQ(centre, (RgnPoint{0.5f, 0.5f}));

    ASSERT_EQ(back.GetObjectCount(), 2);
    CPLOT* dots = PlotAt(back, 0);
    CPLOT* hist = PlotAt(back, 1);
    ASSERT_TRUE(dots && hist);
    EXPECT_EQ(dots->GetShell(), t);
    EXPECT_EQ(dots->GetGateIndex(), 1);
    EXPECT_EQ(dots->GetState(), kPlotReady);
    EXPECT_EQ(dots->GetDotLayers().size(), PlotAt(doc, 0)->GetDotLayers().size());
    // Each shown region is the one of the same index: the cross kept the
    // indices after it in step.
    ASSERT_EQ(dots->GetShownRegions().size(), size_t(s->GetRegionCount()));
    for (int32_t i = 0; i < s->GetRegionCount(); ++i)
        EXPECT_EQ(dots->GetShownRegions()[size_t(i)], t->GetRegion(i)) << i;
    EXPECT_EQ(dots->GetRegionLayers().size(), size_t(s->GetRegionCount()));
    EXPECT_TRUE(hist->IsHistogram());
    ASSERT_NE(hist->GetHistLayer(), nullptr);
    EXPECT_EQ(hist->GetShownRegions().front()->GetType(), kRgnRange);

    // Written again, nothing differs.
    const std::string again = dir.File("again.fld");
    ASSERT_TRUE(back.OnSaveDocument(Q(again), &error));
    EXPECT_EQ(ReadBytes(again), first);
}

TEST_F(DocFileTest, DensityAndContourPlotsRoundTripByteForByte) {
    const std::string fcs = WriteFive("five.fcs");
    const std::pair<int32_t, const char*> kinds[] = {{kPlotFlagDots | kPlotFlagDensity, "density.fld"},
                                                     {kPlotFlagContour, "contour.fld"}};
    for (const auto& [style, name] : kinds) {
        SCOPED_TRACE(name);
        CLumitraDoc doc;
        VexaDataShell* s = doc.OpenDataFile(fcs, 0);
        ASSERT_NE(s, nullptr);
        auto plot = std::make_unique<CPLOT>(CRect(5, 5, 255, 255), s->GetRoot(), &doc, 0, 1);
        plot->SetPlotType(style);
        doc.AddObject(std::move(plot));
        const std::string path = dir.File(name);
        QString error;
        ASSERT_TRUE(doc.OnSaveDocument(Q(path), &error)) << error.toStdString();
        const std::vector<uint8_t> first = ReadBytes(path);
        MaybeWriteSeed(name, first);

        CLumitraDoc back;
        ASSERT_TRUE(back.OnOpenDocument(Q(path), &error)) << error.toStdString();
        CPLOT* p = PlotAt(back, 0);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->GetStyleFlags(), style);
        EXPECT_EQ(p->GetDensityLayer() != nullptr, (style & kPlotFlagDensity) != 0);
        EXPECT_EQ(p->GetContourLayer() != nullptr, (style & kPlotFlagContour) != 0);
        QImage page(300, 300, QImage::Format_RGB32);
        QPainter painter(&page);
        p->Draw(&painter);
        const std::string again = dir.File(std::string("again-") + name);
        ASSERT_TRUE(back.OnSaveDocument(Q(again), &error));
        EXPECT_EQ(ReadBytes(again), first);
    }
}

TEST_F(DocFileTest, RealFilesWithEditedCompensationRoundTrip) {
    std::string why;
    const std::string corpus = lmtest::CorpusDir(&why);
    if (corpus.empty()) GTEST_SKIP() << why;
    CLumitraDoc doc;
    std::vector<VexaDataShell*> shells;
    for (const char* name : {"FCS_3.0_Fortessa_PBS_Specimen_001_A1_A01.fcs", "EY_2013-07-19_PBS_FCS_3.1_Well_A1.001.fcs"}) {
        std::error_code ec;
        const std::string copy = dir.File(name);
        fs::copy_file(corpus + "/" + name, copy, ec);
        ASSERT_FALSE(ec) << name;
        VexaDataShell* s = doc.OpenDataFile(copy, 0);
        ASSERT_NE(s, nullptr) << name;
        shells.push_back(s);
    }
    // Compensation edited as the dialog does it.
    VexaDataShell* s = shells[0];
    const CSpillMatrix* fm = s->GetFileMatrix();
    ASSERT_TRUE(fm && fm->n >= 2);
    const int32_t row = fm->indices[0], col = fm->indices[1];  // fm goes with the edit
    s->EditCompensation(kCompBeginEdit);
    s->SetCompValue(row, col, 0.125f);
    s->EditCompensation(kCompApply);
    CGateNode* g = plottest::AddRectGate(*s, 0.05f, 0.05f, 0.9f, 0.9f, 0, "cells");
    s->AddRegionGate(std::make_unique<CrQuadrant>(2, 3, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f), 1, "Q");
    doc.AddObject(std::make_unique<CPLOT>(CRect(5, 5, 255, 255), g, &doc, 2, 3));
    doc.CreatePlot(300, 5, shells[1]);
    PlotAt(doc, 1)->SetPlotType(kPlotFlagHistogram);

    const std::vector<uint8_t> first = Save(doc);
    CLumitraDoc back;
    Load(back, first);
    ASSERT_EQ(back.GetDataShellCount(), 2);
    for (int32_t i = 0; i < 2; ++i) {
        EXPECT_TRUE(HasEvents(back.GetDataShellAt(i)));
        EXPECT_EQ(back.GetDataShellAt(i)->GetTotalEvents(), shells[size_t(i)]->GetTotalEvents());
    }
    VexaDataShell* t = back.GetDataShellAt(0);
    EXPECT_FLOAT_EQ(t->GetCompValue(row, col), 0.125f);
    EXPECT_EQ(t->GetFileMatrix()->indices, s->GetFileMatrix()->indices);
    for (int32_t i = 1; i < s->GetGateCount(); ++i)
        EXPECT_EQ(t->GetGates()[size_t(i)]->GetMask().CountSetBits(), s->GetGates()[size_t(i)]->GetMask().CountSetBits());
    EXPECT_EQ(PlotAt(back, 0)->GetState(), kPlotReady);
    EXPECT_TRUE(PlotAt(back, 1)->IsHistogram());
    EXPECT_EQ(Save(back), first);
}

// Whatever FCS file a report is made on, the report opens again: every value
// the writer puts in a data-set record (a $PnR of 2147483647 is stored as
// the float 2^31) must be one its reader takes.
TEST_F(DocFileTest, AReportOnEveryFcsFileThatOpensSavesAndReopens) {
    std::string why;
    const std::string corpus = lmtest::CorpusDir(&why);
    if (corpus.empty()) GTEST_SKIP() << why;
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(corpus)) {
        const std::string ext = e.path().extension().string();
        if (ext == ".fcs" || ext == ".lmd") files.push_back(e.path().string());
    }
    std::sort(files.begin(), files.end());
    // Ranges some instruments write, past what 32 bits hold.
    for (const char* range : {"2147483647", "4294967296", "1e12"}) {
        lmtest::FcsWriter w;
        w.DataType('I').ByteOrder("1,2,3,4").Param("FS", 32, range).Param("SS", 32, "1024");
        w.Event({4000000000.0, 5}).Event({7, 1023});
        files.push_back(dir.Write(std::string("range-") + range + ".fcs", w.Build()));
    }
    int opened = 0;
    for (const std::string& file : files) {
        const std::string name = fs::path(file).filename().string();
        SCOPED_TRACE(name);
        const std::string fcs = dir.File("data-" + name);
        if (!fs::exists(fcs)) fs::copy_file(file, fcs);
        const std::string report = dir.File("report-" + name + ".fld");
        std::vector<float> ranges;
        int32_t events = 0;
        {
            CLumitraDoc doc;
            VexaDataShell* s = doc.OpenDataFile(fcs, 0);
            if (!s) continue;  // refused with its reason; nothing to save
            ++opened;
            for (int32_t i = 0; i < s->GetParamCount(); ++i) ranges.push_back(s->GetParam(i)->range);
            events = s->GetTotalEvents();
            doc.CreatePlot(5, 5, s);
            QString error;
            ASSERT_TRUE(doc.OnSaveDocument(Q(report), &error)) << error.toStdString();
        }
        const std::vector<uint8_t> first = ReadBytes(report);
        CLumitraDoc back;
        QString error;
        ASSERT_TRUE(back.OnOpenDocument(Q(report), &error)) << error.toStdString();
        ASSERT_EQ(back.GetDataShellCount(), 1);
        VexaDataShell* t = back.GetDataShellAt(0);
        // A file without events (HEADER and TEXT only) comes back as the
        // stored record alone.
        EXPECT_EQ(HasEvents(t), events > 0);
        EXPECT_EQ(t->GetTotalEvents(), events);
        ASSERT_EQ(size_t(t->GetParamCount()), ranges.size());
        for (size_t i = 0; i < ranges.size(); ++i) EXPECT_EQ(t->GetParam(int32_t(i))->range, ranges[i]) << i;
        EXPECT_EQ(PlotAt(back, 0)->GetState(), events > 0 ? kPlotReady : kPlotNoData);
        // Saved again, byte for byte; and once more without its FCS file,
        // from the stored record alone.
        ASSERT_TRUE(back.OnSaveDocument(Q(report), &error));
        EXPECT_EQ(ReadBytes(report), first);
        fs::remove(fcs);
        CLumitraDoc alone;
        ASSERT_TRUE(alone.OnOpenDocument(Q(report), &error)) << error.toStdString();
        ASSERT_EQ(alone.GetDataShellCount(), 1);
        for (size_t i = 0; i < ranges.size(); ++i)
            EXPECT_EQ(alone.GetDataShellAt(0)->GetParam(int32_t(i))->range, std::trunc(ranges[i])) << i;
        ASSERT_TRUE(alone.OnSaveDocument(Q(report), &error));
        CLumitraDoc again;
        ASSERT_TRUE(again.OnOpenDocument(Q(report), &error)) << error.toStdString();
    }
    // All but the one that is no FCS file and the one without DATA.
    EXPECT_GE(opened, int(files.size()) - 2);
}

TEST_F(DocFileTest, TwoDataSetsOfOneFileStayTwoShells) {
    lmtest::FcsWriter w;
    w.Param("FS", 32, "1024").Param("SS", 32, "1024").Event({1, 2}).Event({3, 4});
    w.NextDataSet();
    w.Param("FS", 32, "1024").Param("SS", 32, "1024").Event({5, 6});
    const std::string fcs = dir.Write("two.fcs", w.Build());
    CLumitraDoc doc;
    VexaDataShell* a = doc.OpenDataFile(fcs, 0);
    VexaDataShell* b = doc.OpenDataFile(fcs, 1);
    ASSERT_TRUE(a && b);
    doc.CreatePlot(5, 5, b);
    const std::vector<uint8_t> bytes = Save(doc);
    CLumitraDoc back;
    Load(back, bytes);
    ASSERT_EQ(back.GetDataShellCount(), 2);
    EXPECT_EQ(back.GetDataShellAt(0)->GetDataSetIndex(), 0);
    EXPECT_EQ(back.GetDataShellAt(1)->GetDataSetIndex(), 1);
    EXPECT_EQ(back.GetDataShellAt(1)->GetTotalEvents(), 1);
    EXPECT_EQ(PlotAt(back, 0)->GetShell(), back.GetDataShellAt(1));
    EXPECT_EQ(ui.Count(Kind::MessageBox), 0);
}

TEST_F(DocFileTest, ARecordOfADataSetAlreadyOpenNamesTheOpenShell) {
    const std::string a = WriteFive("a.fcs", 50);
    const std::string b = WriteFive("b.fcs", 50);
    CLumitraDoc doc;
    VexaDataShell* sa = doc.OpenDataFile(a, 0);
    VexaDataShell* sb = doc.OpenDataFile(b, 0);
    ASSERT_TRUE(sa && sb);
    doc.CreatePlot(5, 5, sb);
    std::vector<uint8_t> bytes = Save(doc);
    // The second record names the first record's file.
    const std::string from = fs::weakly_canonical(b).string();
    const std::string to = fs::weakly_canonical(a).string();
    ASSERT_EQ(from.size(), to.size());
    auto it = std::search(bytes.begin(), bytes.end(), from.begin(), from.end());
    ASSERT_NE(it, bytes.end());
    std::copy(to.begin(), to.end(), it);

    CLumitraDoc back;
    Load(back, bytes);
    ASSERT_EQ(back.GetDataShellCount(), 1);
    ASSERT_EQ(ui.Count(Kind::MessageBox), 1);
    EXPECT_EQ(ui.Calls().back().text, "FCS Data already open?");
    EXPECT_EQ(ui.Calls().back().caption, "Notic");
    // The plot of the second record shows the open shell.
    ASSERT_EQ(back.GetObjectCount(), 1);
    EXPECT_EQ(PlotAt(back, 0)->GetShell(), back.GetDataShellAt(0));
}

TEST_F(DocFileTest, ARegionLayerStillBeingDrawnIsNotWritten) {
    const std::string fcs = WriteFive("five.fcs", 50);
    CLumitraDoc doc;
    VexaDataShell* s = doc.OpenDataFile(fcs, 0);
    CTrkObj* obj = doc.CreatePlot(5, 5, s);
    const std::vector<uint8_t> before = Save(doc);
    // A region being drawn has no region of the data set yet.
    PlotAt(doc, 0)->AddRegionLayer(
        std::make_unique<plottest::FakeRegionLayer>(nullptr, PlotAt(doc, 0), CRect(0, 0, 5, 5)));
    ASSERT_EQ(PlotAt(doc, 0)->GetRegionLayers().size(), 1u);
    EXPECT_EQ(Save(doc), before);
    (void)obj;
}

TEST_F(DocFileTest, PaletteTakesTheFirstNineEntriesOnlyAfterAWholeRead) {
    const std::string fcs = WriteFive("five.fcs", 50);
    CLumitraDoc doc;
    VexaDataShell* s = doc.OpenDataFile(fcs, 0);
    for (int i = 0; i < 11; ++i) s->AddNotGateAt(0, "")->SetColor(0xC00000 + uint32_t(i));
    for (int j = 0; j < kGatePaletteSize; ++j) GateColorPalette()[j] = 0x000100 * uint32_t(j + 1);
    const std::vector<uint8_t> bytes = Save(doc);
    ResetGateColorPalette();
    const COLORREF before = GateColorPalette()[1];

    // A bad file changes nothing.
    std::vector<uint8_t> cut(bytes.begin(), bytes.end() - 1);
    CLumitraDoc bad;
    EXPECT_THROW(Load(bad, cut), CArchiveException);
    EXPECT_EQ(GateColorPalette()[1], before);

    CLumitraDoc back;
    Load(back, bytes);
    for (int j = 0; j < kGatePaletteSize; ++j) EXPECT_EQ(GateColorPalette()[j], 0x000100u * uint32_t(j + 1)) << j;
    // Gates past the palette keep their own colours.
    EXPECT_EQ(back.GetDataShellAt(0)->GetGates()[11]->GetColor(), 0xC0000Au);
}

// =============================================================== templates

TEST_F(DocFileTest, ATemplateStoresNamesOnlyAndOpensWaitingForData) {
    const std::string fcs = WriteFive("five.fcs");
    fs::create_directories(dir.File("prog/Database/Template"));
    CLumitraApp::SetProgramFolderOverride(dir.File("prog"));
    CLumitraDoc doc;
    VexaDataShell* s = BuildAnalysis(doc, fcs);
    ASSERT_NE(s, nullptr);
    doc.SetModifiedFlag(true);

    // Cancelled: nothing written.
    ui.QueueFileNames({});
    EXPECT_FALSE(doc.OnSaveAsTemplate());
    EXPECT_EQ(doc.GetTemplateFlag(), 0);

    const std::string tpl = dir.File("prog/Database/Template/basic.fld");
    ui.QueueFileNames({Q(tpl)});
    ASSERT_TRUE(doc.OnSaveAsTemplate());
    CLumitraApp::SetProgramFolderOverride("");
    ASSERT_EQ(ui.Count(Kind::SaveFile), 2);
    const auto req = ui.CallsOf(Kind::SaveFile)[1].file;
    EXPECT_EQ(req.filter, "Vexa Document (*.fld)");
    EXPECT_EQ(req.defaultSuffix, "fld");
    EXPECT_EQ(req.folder, Q(dir.File("prog/Database/Template")));
    // The document itself is as it was.
    EXPECT_EQ(doc.GetTemplateFlag(), 0);
    EXPECT_TRUE(doc.GetPathName().isEmpty());
    EXPECT_TRUE(doc.IsModified());
    const std::vector<uint8_t> bytes = ReadBytes(tpl);
    MaybeWriteSeed("template.fld", bytes);
    // No FCS path in it.
    EXPECT_EQ(std::search(bytes.begin(), bytes.end(), fcs.begin(), fcs.end()), bytes.end());

    CLumitraDoc opened;
    QString error;
    ASSERT_TRUE(opened.OnOpenDocument(Q(tpl), &error)) << error.toStdString();
    ASSERT_EQ(opened.GetDataShellCount(), 1);
    VexaDataShell* t = opened.GetDataShellAt(0);
    EXPECT_FALSE(HasEvents(t));
    EXPECT_EQ(t->GetName(), s->GetName());
    EXPECT_EQ(t->GetParamCount(), 5);
    EXPECT_EQ(t->GetGateCount(), s->GetGateCount());
    EXPECT_EQ(t->GetTrans(3)->GetType(), kTransLogical);
    ASSERT_EQ(opened.GetObjectCount(), 2);
    EXPECT_EQ(PlotAt(opened, 0)->GetState(), kPlotNoData);
    EXPECT_EQ(PlotAt(opened, 1)->GetState(), kPlotNoData);
    // Saved again as a template, the same bytes.
    const std::string tpl2 = dir.File("again.fld");
    ASSERT_TRUE(opened.SaveTemplateTo(Q(tpl2), &error));
    EXPECT_EQ(ReadBytes(tpl2), bytes);

    // Data dropped on it: the plots come to life with the template's gates.
    ASSERT_TRUE(t->OpenDataSet(fcs, 0));
    CPLOT* dots = PlotAt(opened, 0);
    dots->RebuildLayers(false);
    EXPECT_EQ(dots->GetState(), kPlotReady);
    EXPECT_EQ(t->GetGates()[1]->GetMask().CountSetBits(), s->GetGates()[1]->GetMask().CountSetBits());
    EXPECT_GT(dots->FindDotLayer(t->GetGates()[1])->CountDots(), 0);
}

// =================================================== moved and missing data

TEST_F(DocFileTest, AnFcsFileMovedNextToTheReportIsFoundAndAMissingOneLeavesNoDataPlots) {
    fs::create_directories(dir.File("old"));
    fs::create_directories(dir.File("new"));
    const std::string fcs = dir.Write("old/run.fcs", fldtest::FiveParamFcs(80));
    const std::string report = dir.File("new/report.fld");
    {
        CLumitraDoc doc;
        ASSERT_NE(BuildAnalysis(doc, fcs), nullptr);
        QString error;
        ASSERT_TRUE(doc.OnSaveDocument(Q(report), &error));
    }
    const std::vector<uint8_t> original = ReadBytes(report);
    fs::rename(fcs, dir.File("new/run.fcs"));
    {
        CLumitraDoc moved;
        QString error;
        ASSERT_TRUE(moved.OnOpenDocument(Q(report), &error)) << error.toStdString();
        ASSERT_TRUE(HasEvents(moved.GetDataShellAt(0)));
        EXPECT_EQ(moved.GetDataShellAt(0)->GetTotalEvents(), 80);
        EXPECT_EQ(PlotAt(moved, 0)->GetState(), kPlotReady);
    }
    fs::remove(dir.File("new/run.fcs"));
    CLumitraDoc missing;
    QString error;
    ASSERT_TRUE(missing.OnOpenDocument(Q(report), &error)) << error.toStdString();
    // The missing file is named, once.
    ASSERT_EQ(ui.Count(Kind::MessageBox), 1);
    EXPECT_TRUE(ui.CallsOf(Kind::MessageBox)[0].text.contains(Q(dir.File("old/run.fcs"))));
    VexaDataShell* t = missing.GetDataShellAt(0);
    EXPECT_FALSE(HasEvents(t));
    EXPECT_EQ(t->GetParamCount(), 5);
    EXPECT_EQ(PlotAt(missing, 0)->GetState(), kPlotNoData);
    EXPECT_EQ(PlotAt(missing, 1)->GetState(), kPlotNoData);
    // Saved again, the report still names where its data was.
    ASSERT_TRUE(missing.OnSaveDocument(Q(report), &error));
    EXPECT_EQ(ReadBytes(report), original);
}

TEST_F(DocFileTest, AReportWhoseFcsFileIsGoneOrUnusableNamesItOnceAndKeepsItsRecord) {
    lmtest::FcsWriter three;
    three.Param("FS", 32, "1024").Param("SS", 32, "1024").Param("FL1", 32, "1024").Event({1, 2, 3});
    // what becomes of the file, what the message says
    const struct {
        const char* name;
        std::function<void(const std::string&)> change;
        const char* cause;
    } cases[] = {
        {"deleted", [](const std::string& f) { fs::remove(f); }, "no such file"},
        {"garbage", [](const std::string& f) { std::ofstream(f, std::ios::binary | std::ios::trunc) << "garbage"; },
         "too short for an FCS HEADER"},
        {"no events", [](const std::string& f) { WriteFile(f, fldtest::FiveParamFcs(0)); }, "it holds no events"},
        {"fewer parameters", [&](const std::string& f) { WriteFile(f, three.Build()); },
         "it has 3 parameters where the report was made on 5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string fcs = dir.Write("run.fcs", fldtest::FiveParamFcs(80));
        const std::string report = dir.File("report.fld");
        {
            CLumitraDoc doc;
            ASSERT_NE(BuildAnalysis(doc, fcs), nullptr);
            QString error;
            ASSERT_TRUE(doc.OnSaveDocument(Q(report), &error));
        }
        const std::vector<uint8_t> original = ReadBytes(report);
        c.change(fcs);
        ui.Clear();
        CLumitraDoc doc;
        QString error;
        ASSERT_TRUE(doc.OnOpenDocument(Q(report), &error)) << error.toStdString();
        const auto boxes = ui.CallsOf(Kind::MessageBox);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_TRUE(boxes[0].text.contains(Q(fcs))) << boxes[0].text.toStdString();
        EXPECT_TRUE(boxes[0].text.contains(QString::fromUtf8(c.cause))) << boxes[0].text.toStdString();
        VexaDataShell* t = doc.GetDataShellAt(0);
        EXPECT_FALSE(HasEvents(t));
        EXPECT_EQ(PlotAt(doc, 0)->GetState(), kPlotNoData);
        // The File List and the CSV export name the stored file.
        EXPECT_EQ(t->GetFileName(), "run.fcs");
        EXPECT_EQ(CTrkResult::KeywordValue(t, "FileName"), "run.fcs");
        // Saved again: the same record, stored path, gates and regions.
        ASSERT_TRUE(doc.OnSaveDocument(Q(report), &error));
        EXPECT_EQ(ReadBytes(report), original);
        fs::remove(fcs);
    }
}

TEST_F(DocFileTest, AnFcsFileTooLargeForTheMemoryOpensLikeAMissingOneAndSaysSo) {
    const std::string fcs = WriteFive("big.fcs", 400);
    const std::string report = dir.File("report.fld");
    {
        CLumitraDoc doc;
        ASSERT_NE(BuildAnalysis(doc, fcs), nullptr);
        QString error;
        ASSERT_TRUE(doc.OnSaveDocument(Q(report), &error));
    }
    const std::vector<uint8_t> original = ReadBytes(report);
    ui.Clear();
    struct Limit {
        // 400 events x 5 parameters x 4 bytes do not fit.
        Limit() { CEventMatrix::SetBlockLimit(4000); }
        ~Limit() { CEventMatrix::SetBlockLimit(0); }
    } limit;
    CLumitraDoc doc;
    QString error;
    ASSERT_TRUE(doc.OnOpenDocument(Q(report), &error)) << error.toStdString();
    VexaDataShell* t = doc.GetDataShellAt(0);
    ASSERT_NE(t, nullptr);
    EXPECT_FALSE(HasEvents(t));
    EXPECT_EQ(t->GetParamCount(), 5);
    EXPECT_EQ(t->GetGateCount(), 13);
    EXPECT_EQ(PlotAt(doc, 0)->GetState(), kPlotNoData);
    ASSERT_EQ(ui.Count(Kind::MessageBox), 1);
    const lm::ScriptedUiServices::Call box = ui.CallsOf(Kind::MessageBox)[0];
    EXPECT_EQ(box.caption, QStringLiteral("警告"));
    EXPECT_TRUE(box.text.contains(Q(fcs))) << box.text.toStdString();
    EXPECT_TRUE(box.text.contains(QStringLiteral("not enough memory"))) << box.text.toStdString();
    // Saved again, it still names its data.
    ASSERT_TRUE(doc.OnSaveDocument(Q(report), &error));
    EXPECT_EQ(ReadBytes(report), original);
}

// ============================================================== bad files

TEST_F(DocFileTest, AFileThatIsNotAReportIsRefusedAndTheDocumentIsNotBoundToIt) {
    const std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {
        {"magic.fld", Bytes().S("FLX").S("0").I(5).I(5).I(0).b},
        {"empty.fld", {}},
        {"text.fld", {'h', 'e', 'l', 'l', 'o', '\n'}},
        {"long.fld", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}},
    };
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        const std::string path = dir.Write(name, bytes);
        CLumitraDoc doc;
        QString error;
        EXPECT_FALSE(doc.OnOpenDocument(Q(path), &error));
        EXPECT_EQ(error, "Invalid FLD file");
        EXPECT_TRUE(doc.GetPathName().isEmpty());
        EXPECT_EQ(doc.GetObjectCount(), 0);
        EXPECT_EQ(ReadBytes(path), bytes);
    }
    // A report cut short says what is wrong after the same words.
    std::vector<uint8_t> cut = EmptyHead().b;
    const std::string path = dir.Write("cut.fld", cut);
    CLumitraDoc doc;
    QString error;
    EXPECT_FALSE(doc.OnOpenDocument(Q(path), &error));
    EXPECT_TRUE(error.startsWith("Invalid FLD file\n")) << error.toStdString();
}

TEST_F(DocFileTest, KindsThatCannotBeReadAreRefusedClearly) {
    for (int32_t kind : {int32_t(kObjComText), 99, -1}) {
        SCOPED_TRACE(kind);
        Bytes b = EmptyHead();
        b.I(0).I(0).I(1).I(1).I(kind);
        for (int i = 0; i < 20; ++i) b.I(0);
        b.I(-1).I(0);
        CLumitraDoc doc;
        try {
            Load(doc, b.b);
            ADD_FAILURE() << "read";
        } catch (const CArchiveException& e) {
            EXPECT_EQ(std::string(e.what()).rfind("Invalid FLD file\n", 0), 0u) << e.what();
        }
        EXPECT_EQ(doc.GetObjectCount(), 0);
    }
    // A document holding a kind that cannot be written is not saved, and the
    // file already there stays as it was.
    const std::string path = dir.Write("keep.fld", {1, 2, 3});
    CLumitraDoc doc;
    doc.AddObject(std::make_unique<rtest::TestObj>(CRect(5, 5, 50, 50), &doc, kObjComText));
    QString error;
    EXPECT_FALSE(doc.OnSaveDocument(Q(path), &error));
    EXPECT_TRUE(error.contains("cannot save label-and-value texts")) << error.toStdString();
    EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_TRUE(doc.GetPathName().isEmpty());
}

TEST_F(DocFileTest, LinkGridIndexPagesAndMarkersAreChecked) {
    auto withPlot = [](int32_t link) {
        CLumitraDoc doc;
        doc.AddObject(std::make_unique<CPLOT>(20, 30, &doc));
        std::vector<uint8_t> b = Save(doc);
        std::memcpy(b.data() + b.size() - 8, &link, 4);
        return b;
    };
    for (int32_t link : {1, 2, -2, 0x7FFFFFFF}) {
        CLumitraDoc doc;
        EXPECT_THROW(Load(doc, withPlot(link)), CArchiveException) << link;
        EXPECT_EQ(doc.GetObjectCount(), 0);
    }
    // A plot placed where no page can be (its sizes would overflow).
    for (int32_t coordinate : {INT32_MIN + 1, (1 << 24) + 1}) {
        std::vector<uint8_t> b = withPlot(-1);
        std::memcpy(b.data() + 82, &coordinate, 4);  // the rectangle's left
        CLumitraDoc doc;
        EXPECT_THROW(Load(doc, b), CArchiveException) << coordinate;
        EXPECT_EQ(doc.GetObjectCount(), 0);
    }
    // In range but not a grid: read, and no grid is linked.
    CLumitraDoc linked;
    Load(linked, withPlot(0));
    EXPECT_EQ(linked.GetObjectCount(), 1);
    EXPECT_EQ(linked.GetDbLinkGrid(), nullptr);

    // Pages the program never makes.
    for (auto spoil : {std::pair<size_t, int32_t>{22, 0}, {22, 21}, {26, 201}, {30, 0}, {34, -5}}) {
        std::vector<uint8_t> b = Save(linked);
        std::memcpy(b.data() + spoil.first, &spoil.second, 4);
        CLumitraDoc doc;
        EXPECT_THROW(Load(doc, b), CArchiveException) << spoil.first;
        EXPECT_EQ(doc.GetPagesDown(), 2);
    }
    // A file that has only its head (the header-only flag) ends where the
    // page set-up should begin.
    Bytes headOnly;
    headOnly.S("FLD").S("0").I(5).I(5).I(1);
    CLumitraDoc headerOnly;
    EXPECT_THROW(Load(headerOnly, headOnly.b), CArchiveException);
    EXPECT_EQ(headerOnly.GetHeaderOnlyFlag(), 0);
    // The flag in front of a whole body: what opens in full is saved in full.
    std::vector<uint8_t> flagged = Save(linked);
    flagged[14] = 1;  // the header-only word
    CLumitraDoc whole;
    Load(whole, flagged);
    ASSERT_EQ(whole.GetObjectCount(), 1);
    CLumitraDoc again;
    Load(again, Save(whole));
    EXPECT_EQ(again.GetObjectCount(), 1);
    // A marker read as 0 ends the document there; what came before stays.
    Bytes early = EmptyHead();
    early.b.resize(early.b.size() - 4);
    early.I(0);
    early.b[22] = 3;  // pages across
    CLumitraDoc stopped;
    Load(stopped, early.b);
    EXPECT_EQ(stopped.GetPagesAcross(), 3);
    EXPECT_EQ(stopped.GetDataShellCount(), 0);
}

TEST_F(DocFileTest, EveryTruncationAndFlippedByteLeavesNothingBehind) {
    const std::string fcs = WriteFive("five.fcs", 60);
    CLumitraDoc doc;
    VexaDataShell* s = doc.OpenDataFile(fcs, 0);
    ASSERT_NE(s, nullptr);
    CGateNode* r = plottest::AddRectGate(*s, 0.1f, 0.1f, 0.7f, 0.7f, 0, "R");
    s->AddRegionGate(std::make_unique<CrQuadrant>(0, 1, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f), 1, "Q");
    auto plot = std::make_unique<CPLOT>(CRect(5, 5, 205, 205), r, &doc, 0, 1);
    plot->ShowRegion(s->GetRegion(1));
    doc.AddObject(std::move(plot));
    doc.CreatePlot(210, 5, s);
    PlotAt(doc, 1)->SetPlotType(kPlotFlagHistogram);
    for (int j = 0; j < kGatePaletteSize; ++j) GateColorPalette()[j] = 0x010203 * uint32_t(j + 1);
    const std::vector<uint8_t> bytes = Save(doc);
    MaybeWriteSeed("small.fld", bytes);
    ResetGateColorPalette();
    const std::vector<COLORREF> palette0(GateColorPalette(), GateColorPalette() + kGatePaletteSize);
    auto paletteNow = [] { return std::vector<COLORREF>(GateColorPalette(), GateColorPalette() + kGatePaletteSize); };

    for (size_t n = 0; n < bytes.size(); ++n) {
        CLumitraDoc cut;
        EXPECT_THROW(Load(cut, std::vector<uint8_t>(bytes.begin(), bytes.begin() + ptrdiff_t(n))), CArchiveException)
            << n;
        EXPECT_EQ(cut.GetDataShellCount(), 0) << n;
        EXPECT_EQ(cut.GetObjectCount(), 0) << n;
        EXPECT_EQ(cut.GetPilot(), CPoint(5, 5)) << n;
        EXPECT_EQ(cut.GetPagesDown(), 2) << n;
        ASSERT_EQ(paletteNow(), palette0) << n;
    }

    fldtest::ScopedNoFileLookup noLookup;
    int refused = 0, read = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        for (uint8_t value : {uint8_t(bytes[i] ^ 0xFF), uint8_t(0x80), uint8_t(0x01)}) {
            if (value == bytes[i]) continue;
            std::vector<uint8_t> spoilt = bytes;
            spoilt[i] = value;
            CLumitraDoc doc2;
            try {
                Load(doc2, spoilt);
                ++read;
                // Whatever was read can be written and drawn.
                (void)Save(doc2);
                for (int32_t k = 0; k < doc2.GetObjectCount(); ++k)
                    if (CPLOT* p = PlotAt(doc2, k)) plottest::DrawOnPage(*p, 64, 64);
                ResetGateColorPalette();
            } catch (const CArchiveException&) {
                ++refused;
                EXPECT_EQ(doc2.GetDataShellCount(), 0) << i;
                EXPECT_EQ(doc2.GetObjectCount(), 0) << i;
                ASSERT_EQ(paletteNow(), palette0) << i;
            }
        }
    }
    EXPECT_GT(refused, 0);
    EXPECT_GT(read, 0);
}

TEST_F(DocFileTest, ASaveReplacesTheFileWholeAndLeavesNoTemporaryFile) {
    const std::string path = dir.Write("report.fld", std::vector<uint8_t>(5000, 0xAA));
    CLumitraDoc doc;
    QString error;
    ASSERT_TRUE(doc.OnSaveDocument(Q(path), &error));
    EXPECT_EQ(ReadBytes(path), Save(doc));
    int files = 0;
    for (const auto& e : fs::directory_iterator(dir.Path())) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 1);
}

TEST_F(DocFileTest, TheFuzzSeedsInTheSourceTreeAreReportsThatOpen) {
    // The source tree's folder: __FILE__ may be relative to the build folder.
    const fs::path seeds = fs::path(LUMITRA_SOURCE_DIR) / "fuzz" / "fld-seeds";
    if (!fs::is_directory(seeds)) GTEST_SKIP() << "no seed folder at " << seeds;
    // The fuzzer reads them with the program's own region layers, not the double.
    PlotLayerMakers makers = CPLOT::GetLayerMakers();
    makers.region = &MakeRegionLayer;
    CPLOT::SetLayerMakers(makers);
    int opened = 0;
    for (const auto& e : fs::directory_iterator(seeds)) {
        CLumitraDoc doc;
        QString error;
        EXPECT_TRUE(doc.OnOpenDocument(Q(e.path().string()), &error)) << e.path() << ": " << error.toStdString();
        ++opened;
    }
    EXPECT_GE(opened, 3);
}

// ====================================================== through the program

class DocFileAppTest : public ::testing::Test {
protected:
    void SetUp() override {
        rtest::EnsureApp();
        plottest::ResetPlotDefaults();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, Q(dir.Path() + "/settings"));
        CLumitraApp::SetProgramFolderOverride(dir.Path());
        // The log goes to the current folder.
        cwd = std::make_unique<fldtest::ScopedCurrentDir>(dir.Path());
        app = std::make_unique<CLumitraApp>();
    }
    void TearDown() override {
        app.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        CLumitraApp::SetProgramFolderOverride("");
        cwd.reset();
    }

    lmtest::TempDir dir;
    std::unique_ptr<fldtest::ScopedCurrentDir> cwd;
    lm::ScriptedUiServices ui;
    lm::ScopedUiServices install{&ui};
    fldtest::ScopedPalette palette;
    std::unique_ptr<CLumitraApp> app;
};

TEST_F(DocFileAppTest, SaveAsTemplateCommandAndOpeningAFileThatIsNotAReport) {
    ASSERT_TRUE(app->InitInstance({}));
    CMainFrame* frame = app->GetMainFrame();
    EXPECT_TRUE(frame->IsCommandEnabled(kCmdSaveAsTemplate));
    const std::string tpl = dir.File("t.fld");
    ui.QueueFileNames({Q(tpl)});
    frame->OnCommand(kCmdSaveAsTemplate);
    ASSERT_EQ(ui.Count(Kind::SaveFile), 1);
    EXPECT_EQ(ReadBytes(tpl).size(), 86u);
    // The dialog starts where the database panel looks for templates, made
    // when missing.
    EXPECT_EQ(ui.CallsOf(Kind::SaveFile)[0].file.folder, Q(dir.Path() + "/Database/Template"));
    EXPECT_TRUE(fs::is_directory(dir.Path() + "/Database/Template"));
    const std::vector<uint8_t> log = ReadBytes(dir.File("log.txt"));
    EXPECT_NE(std::string(log.begin(), log.end()).find("Storing Data Cnt:  0"), std::string::npos);

    // A file with another magic: a message, and no document left bound to it
    // that a later Save could write over.
    const std::string other = dir.Write("notes.fld", {3, 'X', 'Y', 'Z', 0, 0, 0, 0});
    const size_t docs = app->GetDocuments().size();
    EXPECT_EQ(app->OpenDocumentFile(Q(other)), nullptr);
    EXPECT_EQ(app->GetDocuments().size(), docs);
    ASSERT_EQ(ui.Count(Kind::MessageBox), 1);
    EXPECT_TRUE(ui.Calls().back().text.contains("Invalid FLD file"));
    EXPECT_EQ(ReadBytes(other), (std::vector<uint8_t>{3, 'X', 'Y', 'Z', 0, 0, 0, 0}));

    // A good one opens in a window and is the active document.
    const std::string good = dir.File("good.fld");
    CLumitraDoc* doc = app->GetDocuments().front().get();
    QString error;
    ASSERT_TRUE(doc->OnSaveDocument(Q(good), &error));
    app->CloseDocument(doc);
    CLumitraDoc* opened = app->OpenDocumentFile(Q(good));
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(opened->GetPathName(), Q(good));
}

TEST_F(DocFileAppTest, ASaveCancelledOverLostCharactersIsNotAnErrorAndKeepsTheDocumentModified) {
    ASSERT_TRUE(app->InitInstance({}));
    CMainFrame* frame = app->GetMainFrame();
    CLumitraDoc* doc = app->GetDocuments().front().get();
    auto* text = static_cast<CTrkText*>(doc->AddObject(std::make_unique<CTrkText>(CRect(10, 20, 110, 50), doc)));
    text->SetText("\xC3\xA4");
    const std::string path = dir.File("lost.fld");
    ui.QueueFileNames({Q(path)});
    ui.QueueMessageBoxAnswer(lm::kIdCancel);
    frame->OnCommand(kCmdFileSaveAs);
    ASSERT_EQ(ui.Count(Kind::MessageBox), 1);  // the question, no error after it
    EXPECT_EQ(ui.Calls().back().buttons, lm::MsgButtons::OkCancel);
    EXPECT_FALSE(fs::exists(path));
    EXPECT_TRUE(doc->IsModified());
    EXPECT_TRUE(app->GetRecentFiles().isEmpty());
}

namespace {

// The program's own region layers (not the test stand-in): a report with
// range, rectangle and ellipse regions shown on its plots is written, read
// back into the same bytes, and its pages render.
TEST(DocFileRealLayers, RegionLayersOfTheProgramRoundTripAndRender) {
    rtest::EnsureApp();
    plottest::ResetPlotDefaults();
    lmtest::TempDir dir;
    lm::ScriptedUiServices ui;
    lm::ScopedUiServices install{&ui};
    fldtest::ScopedPalette palette;

    const std::string fcs = dir.Write("five.fcs", fldtest::FiveParamFcs(400));
    const std::string path = dir.File("real.fld");
    std::vector<uint32_t> counts;
    {
        CLumitraDoc doc;
        VexaDataShell* s = doc.OpenDataFile(fcs, 0);
        ASSERT_NE(s, nullptr);
        CGateNode* r = plottest::AddRectGate(*s, 0.1f, 0.1f, 0.8f, 0.8f, 0, "R");
        ASSERT_NE(r, nullptr);
        s->AddRegionGate(std::make_unique<CrEllipse>(0, 1, RgnPoint{0.2f, 0.2f}, RgnPoint{0.7f, 0.9f}), 1, "E");
        s->AddRegionGate(std::make_unique<CrRange>(0, 0, 0.25f, 0.5f), 0, "H");
        auto dots = std::make_unique<CPLOT>(CRect(5, 5, 255, 255), s->GetGate(0), &doc, 0, 1);
        dots->ShowRegion(s->GetRegion(0));
        dots->ShowRegion(s->GetRegion(1));
        doc.AddObject(std::move(dots));
        auto hist = std::make_unique<CPLOT>(CRect(260, 5, 510, 255), r, &doc, 0, 1);
        hist->SetPlotType(kPlotFlagHistogram);
        hist->ShowRegion(s->GetRegion(2));
        doc.AddObject(std::move(hist));
        for (int32_t i = 0; i < s->GetGateCount(); ++i) counts.push_back(s->GetGates()[size_t(i)]->GetMask().CountSetBits());
        QString error;
        ASSERT_TRUE(doc.OnSaveDocument(Q(path), &error)) << error.toStdString();
        ASSERT_EQ(PlotAt(doc, 0)->GetRegionLayers().size(), 2u);
    }
    const std::vector<uint8_t> first = ReadBytes(path);

    CLumitraDoc back;
    QString error;
    ASSERT_TRUE(back.OnOpenDocument(Q(path), &error)) << error.toStdString();
    VexaDataShell* t = back.GetDataShellAt(0);
    ASSERT_TRUE(HasEvents(t));
    ASSERT_EQ(t->GetGateCount(), int32_t(counts.size()));
    for (int32_t i = 0; i < t->GetGateCount(); ++i)
        EXPECT_EQ(t->GetGates()[size_t(i)]->GetMask().CountSetBits(), counts[size_t(i)]) << i;
    CPLOT* dots = PlotAt(back, 0);
    ASSERT_NE(dots, nullptr);
    ASSERT_EQ(dots->GetRegionLayers().size(), 2u);
    EXPECT_EQ(dots->GetShownRegions()[0], t->GetRegion(0));
    EXPECT_EQ(dots->GetShownRegions()[1], t->GetRegion(1));

    // Written again before anything is drawn: nothing differs.
    const std::string again = dir.File("again.fld");
    ASSERT_TRUE(back.OnSaveDocument(Q(again), &error)) << error.toStdString();
    EXPECT_EQ(ReadBytes(again), first);

    // And the pages render (as a print would).
    QImage page(600, 300, QImage::Format_RGB32);
    page.fill(Qt::white);
    {
        QPainter p(&page);
        for (int32_t i = 0; i < back.GetObjectCount(); ++i) back.GetObjectAt(i)->Draw(&p);
    }
    int dark = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x) dark += qGray(page.pixel(x, y)) < 128;
    EXPECT_GT(dark, 500);  // axes, dots and region outlines were drawn
}

// A report keeps the regions its plots show whether or not its FCS file is
// still there: the plot record reads the same bytes with or without events.
TEST(DocFileRealLayers, ShownRegionsComeBackWithoutTheirFcsFileAndAgainWithIt) {
    rtest::EnsureApp();
    plottest::ResetPlotDefaults();
    lmtest::TempDir dir;
    lm::ScriptedUiServices ui;
    lm::ScopedUiServices install{&ui};
    fldtest::ScopedPalette palette;

    struct Case {
        const char* name;
        std::function<std::unique_ptr<CDataRgn>()> region;
    };
    const Case cases[] = {
        {"rect", [] { return std::make_unique<CrRect>(0, 1, RgnPoint{0.1f, 0.1f}, RgnPoint{0.8f, 0.8f}); }},
        {"polygon",
         [] { return std::make_unique<CrPolygon>(0, 1, std::vector<RgnPoint>{{0.1f, 0.1f}, {0.9f, 0.3f}, {0.4f, 0.95f}}); }},
        // Four parts, one layer: the record names part 0.
        {"quadrant", [] { return std::make_unique<CrQuadrant>(0, 1, 0.5f, 0.5f, 0.4f, 0.6f, 0.45f, 0.55f); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string fcs = dir.Write(std::string(c.name) + ".fcs", fldtest::FiveParamFcs(200));
        const std::string path = dir.File(std::string(c.name) + ".fld");
        size_t layers = 0;
        {
            CLumitraDoc doc;
            VexaDataShell* s = doc.OpenDataFile(fcs, 0);
            ASSERT_NE(s, nullptr);
            ASSERT_NE(s->AddRegionGate(c.region(), 0, "G"), nullptr);
            auto plot = std::make_unique<CPLOT>(CRect(5, 5, 255, 255), s->GetGate(0), &doc, 0, 1);
            plot->ShowRegion(s->GetRegion(0));
            layers = plot->GetRegionLayers().size();
            ASSERT_GT(layers, 0u);
            doc.AddObject(std::move(plot));
            QString error;
            ASSERT_TRUE(doc.OnSaveDocument(Q(path), &error)) << error.toStdString();
        }
        const std::vector<uint8_t> first = ReadBytes(path);
        if (std::string(c.name) == "quadrant") MaybeWriteSeed("shown-regions.fld", first);

        fs::rename(fcs, fcs + ".away");
        {
            CLumitraDoc missing;
            QString error;
            ASSERT_TRUE(missing.OnOpenDocument(Q(path), &error)) << error.toStdString();
            ASSERT_FALSE(HasEvents(missing.GetDataShellAt(0)));
            CPLOT* plot = PlotAt(missing, 0);
            ASSERT_NE(plot, nullptr);
            EXPECT_EQ(plot->GetState(), kPlotNoData);
            EXPECT_EQ(plot->GetRegionLayers().size(), layers);
            ASSERT_EQ(plot->GetShownRegions().size(), 1u);
            EXPECT_EQ(plot->GetShownRegions()[0], missing.GetDataShellAt(0)->GetRegion(0));
            const std::string again = dir.File(std::string(c.name) + "-again.fld");
            ASSERT_TRUE(missing.OnSaveDocument(Q(again), &error)) << error.toStdString();
            EXPECT_EQ(ReadBytes(again), first);
        }
        fs::rename(fcs + ".away", fcs);
        CLumitraDoc back;
        QString error;
        ASSERT_TRUE(back.OnOpenDocument(Q(path), &error)) << error.toStdString();
        ASSERT_TRUE(HasEvents(back.GetDataShellAt(0)));
        EXPECT_EQ(PlotAt(back, 0)->GetState(), kPlotReady);
        EXPECT_EQ(PlotAt(back, 0)->GetRegionLayers().size(), layers);
    }
}

}  // namespace

namespace {

// The File List's keyword columns stand in the document's last word (0, no
// columns, in every older file) and the names behind it: written, read and
// written again byte for byte, at the string lengths where the archive's
// length prefix changes form, and in Chinese.
TEST_F(DocFileTest, KeywordColumnsComeBackAndAWordWithoutNamesOpensAsBefore) {
    const std::string long254(254, 'k'), long255(255, 'K');
    const std::vector<std::vector<std::string>> lists = {
        {},
        {"$PATIENT ID"},
        {"$DATE", "病人编号", long254, long255, "$SAMPLE ID"},
    };
    for (const auto& list : lists) {
        SCOPED_TRACE(list.size());
        CLumitraDoc doc;
        doc.KeywordColumns() = list;
        const std::vector<uint8_t> bytes = Save(doc);
        Bytes tail;
        tail.I(-1).I(int32_t(list.size()));
        for (const std::string& k : list) tail.S(lm::Utf8ToCp936(k));
        ASSERT_GE(bytes.size(), tail.b.size());
        EXPECT_EQ(std::vector<uint8_t>(bytes.end() - ptrdiff_t(tail.b.size()), bytes.end()), tail.b);
        CLumitraDoc back;
        Load(back, bytes);
        EXPECT_EQ(back.KeywordColumns(), list);
        EXPECT_EQ(Save(back), bytes);
    }
    // Last words an older reader skipped: a count without its names opens
    // the document whole, without columns.
    for (const int32_t word : {1, -3, 0x7FFFFFFF}) {
        Bytes b = EmptyHead();
        b.I(0).I(0).I(1).I(0).I(-1).I(word);
        CLumitraDoc doc;
        Load(doc, b.b);
        EXPECT_TRUE(doc.KeywordColumns().empty()) << word;
        EXPECT_EQ(doc.GetPagesDown(), 2);
    }
}

}  // namespace
