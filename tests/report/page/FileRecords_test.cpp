// The data-shell, gate and region records of the ".fld" document.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <filesystem>
#include <limits>

#include "core/DataSet.h"
#include "core/DataShell.h"
#include "core/EventMatrix.h"
#include "core/GateNode.h"
#include "core/Region.h"
#include "core/Trans.h"
#include "tests/report/FldTestUtil.h"

using fldtest::Bytes;
using fldtest::ShellFields;

namespace {

std::vector<uint8_t> StoreRegion(const CDataRgn& r) {
    CArchive ar;
    CFileRgn(&r).Store(ar);
    return ar.Bytes();
}

std::unique_ptr<CDataRgn> LoadRegion(const std::vector<uint8_t>& bytes, int32_t paramCount) {
    CArchive in(bytes);
    CFileRgn rec;
    rec.Load(in, paramCount);
    EXPECT_EQ(in.Remaining(), 0u);
    return rec.TakeRegion();
}

std::vector<uint8_t> StoreShell(VexaDataShell* s, bool tmpl = false, const std::string& folder = "") {
    CArchive ar;
    CFileFCSShell(s, folder).Store(ar, tmpl);
    return ar.Bytes();
}

// Reads a whole record; *foundAt tells where the FCS file was found.
std::unique_ptr<VexaDataShell> LoadShell(const std::vector<uint8_t>& bytes, bool tmpl = false,
                                         int32_t* foundAt = nullptr, const std::string& docFolder = "") {
    CArchive in(bytes);
    CFileFCSShell rec;
    rec.SetDocumentFolder(docFolder);
    rec.Load(in, tmpl);
    EXPECT_EQ(in.Remaining(), 0u);
    if (foundAt) *foundAt = rec.GetFoundAt();
    return rec.TakeShell();
}

// A shell on the five-parameter synthetic data, in memory.
std::unique_ptr<VexaDataShell> MemoryShell(const std::string& name = "S") {
    return std::make_unique<VexaDataShell>(lmtest::LoadFcsBytes(fldtest::FiveParamFcs()).release(), name);
}

CGateNode* Rect(VexaDataShell& s, float x0, float y0, float x1, float y1, int32_t parent = 0,
                const std::string& name = "") {
    return s.AddRegionGate(std::make_unique<CrRect>(0, 1, RgnPoint{x0, y0}, RgnPoint{x1, y1}), parent, name);
}

bool HasEvents(const VexaDataShell& s) { return s.GetDataSet() && s.GetDataSet()->GetEventMatrix(); }

class FileRecordsTest : public ::testing::Test {
protected:
    fldtest::ScopedPalette palette;
};

}  // namespace

// ================================================================ regions

TEST_F(FileRecordsTest, EveryRegionShapeHasItsLayoutAndComesBack) {
    struct Case {
        std::unique_ptr<CDataRgn> region;
        Bytes expected;
    };
    std::vector<Case> cases;
    cases.push_back({std::make_unique<CrRange>(2, 3, 0.75f, 0.25f), Bytes().I(0).I(2).I(3).F(0.25f).F(0.75f)});
    cases.push_back({std::make_unique<CrRect>(0, 1, RgnPoint{0.6f, 0.1f}, RgnPoint{0.2f, 0.9f}),
                     Bytes().I(1).I(0).I(1).F(0.2f).F(0.1f).F(0.6f).F(0.9f)});
    cases.push_back({std::make_unique<CrEllipse>(1, 0, RgnPoint{0.5f, 0.8f}, RgnPoint{0.1f, 0.2f}),
                     Bytes().I(2).I(1).I(0).F(0.1f).F(0.2f).F(0.5f).F(0.8f)});
    cases.push_back(
        {std::make_unique<CrPolygon>(0, 1, std::vector<RgnPoint>{{0.1f, 0.1f}, {0.9f, 0.2f}, {0.5f, 0.9f}}),
         Bytes().I(3).I(0).I(1).I(3).F(0.1f).F(0.1f).F(0.9f).F(0.2f).F(0.5f).F(0.9f)});
    cases.push_back({std::make_unique<CrQuadrant>(0, 1, 0.4f, 0.6f, 0.55f, 0.45f, 0.65f, 0.35f),
                     Bytes().I(6).I(0).I(1).F(0.4f).F(0.6f).F(0.55f).F(0.45f).F(0.65f).F(0.35f)});
    // A cross keeps its header only.
    cases.push_back({std::make_unique<CrCross>(3, 2, 0.3f, 0.7f), Bytes().I(5).I(3).I(2)});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.region->GetType());
        EXPECT_EQ(StoreRegion(*c.region), c.expected.b);
        std::unique_ptr<CDataRgn> back = LoadRegion(c.expected.b, 4);
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(back->GetType(), c.region->GetType());
        EXPECT_EQ(back->GetXParam(), c.region->GetXParam());
        EXPECT_EQ(back->GetYParam(), c.region->GetYParam());
        EXPECT_EQ(StoreRegion(*back), c.expected.b);
        if (back->GetType() != kRgnCross) {
            EXPECT_EQ(back->GetBox(), c.region->GetBox());
        }
    }
    // The cross comes back centred; the unused code 4 stands for a cross too.
    RgnPoint centre;
    static_cast<CrCross&>(*LoadRegion(Bytes().I(5).I(0).I(1).b, 2)).GetGeometry(&centre);
    EXPECT_EQ(centre, (RgnPoint{0.5f, 0.5f}));
    EXPECT_EQ(LoadRegion(Bytes().I(4).I(0).I(1).b, 2)->GetType(), kRgnCross);
    RgnPoint qc;
    float a[4];
    static_cast<CrQuadrant&>(*LoadRegion(cases[4].expected.b, 2)).GetGeometry(&qc, &a[0], &a[1], &a[2], &a[3]);
    EXPECT_EQ(qc, (RgnPoint{0.4f, 0.6f}));
    EXPECT_EQ(a[3], 0.35f);
}

TEST_F(FileRecordsTest, RegionRecordsThatCannotBeRightAreRefused) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<Bytes> bad = {
        Bytes().I(7).I(0).I(1),                                   // no such shape
        Bytes().I(-1).I(0).I(1),                                  //
        Bytes().I(1).I(2).I(1).F(0).F(0).F(1).F(1),               // x parameter past $PAR
        Bytes().I(1).I(0).I(2).F(0).F(0).F(1).F(1),               // y parameter past $PAR
        Bytes().I(2).I(-1).I(0).F(0).F(0).F(1).F(1),              // negative parameter
        Bytes().I(0).I(5).I(0).F(0).F(1),                         // range on a missing parameter
        Bytes().I(1).I(0).I(1).F(nan).F(0).F(1).F(1),             // not a number
        Bytes().I(6).I(0).I(1).F(0.5f).F(0.5f).F(inf).F(0).F(0).F(0),
        Bytes().I(3).I(0).I(1).I(-1),                             // negative vertex count
        Bytes().I(3).I(0).I(1).I(10001),                          // more vertices than a hand draws
        Bytes().I(3).I(0).I(1).I(1000).F(0.1f).F(0.1f).F(0.2f).F(0.2f),  // fewer than it says
    };
    for (size_t i = 0; i < bad.size(); ++i) {
        CArchive in(bad[i].b);
        CFileRgn rec;
        EXPECT_THROW(rec.Load(in, 2), CArchiveException) << i;
        EXPECT_EQ(rec.TakeRegion(), nullptr) << i;
    }
    // A range does not read its y parameter: whatever is stored there is kept.
    EXPECT_EQ(LoadRegion(Bytes().I(0).I(1).I(99).F(0.1f).F(0.2f).b, 2)->GetYParam(), 99);
    // Every prefix of a good record is refused.
    const Bytes quad = Bytes().I(6).I(0).I(1).F(0.4f).F(0.6f).F(0.55f).F(0.45f).F(0.65f).F(0.35f);
    for (size_t n = 0; n < quad.b.size(); ++n) {
        CArchive in(std::vector<uint8_t>(quad.b.begin(), quad.b.begin() + ptrdiff_t(n)));
        CFileRgn rec;
        EXPECT_THROW(rec.Load(in, 2), CArchiveException) << n;
    }
}

// ================================================================== gates

TEST_F(FileRecordsTest, GateRecordsHaveTheirLayout) {
    auto shell = MemoryShell();
    CGateNode* r1 = Rect(*shell, 0.1f, 0.2f, 0.7f, 0.8f, 0, "R1");
    r1->SetColor(0x123456);
    CGateNode* n = shell->AddNotGate(r1, "N");
    CGateNode* both = shell->AddLogicGate('&', {r1, n}, "A");
    CGateNode* q = shell->AddRegionGate(std::make_unique<CrQuadrant>(2, 3, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f), 1,
                                        "Q");
    ASSERT_NE(q, nullptr);
    const int32_t qi = shell->GetGateIndex(q);
    ASSERT_EQ(qi, 4);
    ASSERT_EQ(shell->GetGateCount(), 8);
    for (int32_t j = 1; j < 4; ++j) shell->GetGates()[size_t(qi + j)]->SetColor(0x0A0B00 + uint32_t(j));

    auto gateBytes = [&](int32_t index) {
        CArchive ar;
        CFileGateNode(shell.get()).Store(ar, index);
        return ar.Bytes();
    };
    const Bytes rect = fldtest::RectRegion(0, 1, 0.1f, 0.2f, 0.7f, 0.8f);
    EXPECT_EQ(gateBytes(1), fldtest::Gate("R1", '%', &rect, {0}, 0x123456, r1->GetId()).b);
    EXPECT_EQ(gateBytes(2), fldtest::Gate("N", '!', nullptr, {1}, n->GetColor(), n->GetId()).b);
    EXPECT_EQ(gateBytes(3), fldtest::Gate("A", '&', nullptr, {1, 2}, both->GetColor(), both->GetId()).b);
    // A quadrant is stored once, by its own name, with the colours of its
    // other three parts behind it.
    Bytes quad;
    quad.I(6).I(2).I(3);
    for (int k = 0; k < 6; ++k) quad.F(0.5f);
    Bytes expected = fldtest::Gate("Q", '%', &quad, {1}, q->GetColor(), q->GetId());
    expected.U(0x0A0B01).U(0x0A0B02).U(0x0A0B03);
    EXPECT_EQ(gateBytes(qi), expected.b);
    EXPECT_EQ(q->GetDisplayName(true), "Q-UR");
    // Parts 1-3 have no record of their own.
    EXPECT_THROW(gateBytes(qi + 1), CArchiveException);
}

TEST_F(FileRecordsTest, GateNamesUseEveryLengthPrefixAndCodePage936) {
    struct Case {
        std::string name;
        std::vector<uint8_t> prefix;
    };
    // Every prefix form is the archive's (ArchiveTest); here the record puts
    // the longest one before its operator, and names go out in code page 936.
    const std::vector<Case> cases = {
        {std::string(0xFFFE, 'd'), {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
        {"门控", {0x04}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.size());
        auto shell = MemoryShell();
        CGateNode* g = shell->AddNotGateAt(0, c.name);
        ASSERT_NE(g, nullptr);
        CArchive ar;
        CFileGateNode(shell.get()).Store(ar, 1);
        const std::vector<uint8_t>& b = ar.Bytes();
        ASSERT_GT(b.size(), 4 + c.prefix.size());
        EXPECT_EQ(std::vector<uint8_t>(b.begin() + 4, b.begin() + 4 + ptrdiff_t(c.prefix.size())), c.prefix);
        const size_t nameBytes = c.name == "门控" ? 4 : c.name.size();
        if (c.name == "门控") {
            EXPECT_EQ(std::vector<uint8_t>(b.begin() + 5, b.begin() + 9), (std::vector<uint8_t>{0xC3, 0xC5, 0xBF, 0xD8}));
        }
        // The operator follows the name.
        const size_t op = 4 + c.prefix.size() + nameBytes;
        EXPECT_EQ(b[op], '!');

        auto other = MemoryShell();
        CArchive in(b);
        CFileGateNode rec(other.get());
        rec.Load(in, 1, 2);
        EXPECT_EQ(in.Remaining(), 0u);
        EXPECT_EQ(rec.TakeNode()->GetName(), c.name);
    }
}

// ============================================================ data shells

TEST_F(FileRecordsTest, ShellRecordLayoutIsExact) {
    fldtest::ScopedNoFileLookup noLookup;
    ShellFields fields;
    fields.params = {{1024.0f, 0.0, 0.0}, {262144.0f, 4.0, 1.0}};
    fields.transforms = {fldtest::LinearTrans(1024.0f), fldtest::LinearTrans(262144.0f)};
    fields.palette = {GateColorPalette()[0], GateColorPalette()[1]};
    fields.path = "C:\\data\\run 7.fcs";
    fields.index = 3;
    fields.name = "样本";
    fields.dataType = 'I';
    const Bytes gate = fldtest::Gate("G1", '!', nullptr, {0}, 0x0000FF, 1);
    fields.gates = {gate};
    fields.gatePool = {1, 1, 1};
    // The bytes of the record, built field by field, read and written again
    // without a change: nothing is lost for a shell whose file is missing.
    ShellFields raw = fields;
    raw.name = "\xD1\xF9\xB1\xBE";  // "样本" in code page 936
    const Bytes rec = raw.Build();
    auto shell = LoadShell(rec.b);
    ASSERT_NE(shell, nullptr);
    EXPECT_EQ(shell->GetName(), "样本");
    EXPECT_EQ(shell->GetParamCount(), 2);
    EXPECT_FALSE(HasEvents(*shell));
    EXPECT_EQ(shell->GetPath(), "C:\\data\\run 7.fcs");
    EXPECT_EQ(shell->GetDataSetIndex(), 3);
    EXPECT_EQ(StoreShell(shell.get()), rec.b);
    // The template form has the name only.
    const Bytes tmpl = raw.Build(true);
    auto fromTemplate = LoadShell(tmpl.b, true);
    EXPECT_EQ(StoreShell(fromTemplate.get(), true), tmpl.b);
    EXPECT_EQ(fromTemplate->GetGateCount(), 2);
}

TEST_F(FileRecordsTest, ShellRoundTripKeepsTheWholeAnalysisByteForByte) {
    lmtest::TempDir dir;
    const std::string fcs = dir.Write("five.fcs", fldtest::FiveParamFcs());
    auto shell = std::make_unique<VexaDataShell>(fcs, 0, "five.fcs", true);
    ASSERT_TRUE(HasEvents(*shell));

    // Transforms of all three kinds.
    ASSERT_TRUE(shell->SetTrans(std::make_unique<CTRANS>(-5.0f, 1100.0f), 0));
    ASSERT_TRUE(shell->SetTrans(std::make_unique<CLogTRANS>(0.5f, 3.5f), 2));
    ASSERT_TRUE(shell->SetTrans(std::make_unique<CLogical>(1000.0f, -10.0f, 4.5f), 3));
    // A 3 x 3 matrix over permuted parameters.
    CSpillMatrix m(3);
    m.indices = {4, 2, 3};
    m.values = {1.0f, 0.1f, 0.02f, 0.05f, 1.0f, 0.0f, 0.0f, 0.2f, 1.0f};
    shell->SetCompMatrix(&m, true);

    CGateNode* r = Rect(*shell, 0.1f, 0.1f, 0.8f, 0.8f, 0, "门控");
    shell->AddRegionGate(std::make_unique<CrEllipse>(0, 1, RgnPoint{0.2f, 0.2f}, RgnPoint{0.7f, 0.9f}), 1, "E");
    shell->AddRegionGate(
        std::make_unique<CrPolygon>(2, 3, std::vector<RgnPoint>{{0.1f, 0.1f}, {0.9f, 0.3f}, {0.4f, 0.95f}}), 0, "P");
    shell->AddRegionGate(std::make_unique<CrRange>(4, 4, 0.2f, 0.6f), 0, "H");
    CGateNode* q = shell->AddRegionGate(std::make_unique<CrQuadrant>(0, 1, 0.5f, 0.4f, 0.45f, 0.55f, 0.35f, 0.6f),
                                        1, "Quad");
    const int32_t qi = shell->GetGateIndex(q);
    for (int32_t j = 0; j < 4; ++j) shell->GetGates()[size_t(qi + j)]->SetColor(0x00A000 + uint32_t(j));
    shell->AddRegionGate(std::make_unique<CrCross>(0, 1, 0.5f, 0.5f), 0, "X");
    CGateNode* n = shell->AddNotGate(r, "");
    CGateNode* o = shell->AddLogicGate('|', {r, n}, "");
    CGateNode* a = shell->AddLogicGate('&', {o, shell->GetGates()[2]}, "");
    CGateNode* extra = Rect(*shell, 0.0f, 0.0f, 0.3f, 0.3f, shell->GetGateIndex(a), "");
    Rect(*shell, 0.3f, 0.3f, 0.5f, 0.5f, 0, "last");
    extra->SetColor(0x445566);
    // A hole in the gate ids.
    shell->RemoveGate(shell->AddNotGateAt(1, "gone"), false);
    ASSERT_GT(shell->GetGateCount(), 9);
    ASSERT_EQ(std::count(shell->GetGateIdPool().begin(), shell->GetGateIdPool().end(), 0), 1);

    const std::vector<uint8_t> first = StoreShell(shell.get());
    int32_t foundAt = -2;
    auto back = LoadShell(first, false, &foundAt);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(foundAt, kFcsAtStoredPath);
    ASSERT_TRUE(HasEvents(*back));
    EXPECT_EQ(StoreShell(back.get()), first);

    EXPECT_EQ(back->GetName(), "five.fcs");
    ASSERT_EQ(back->GetGateCount(), shell->GetGateCount());
    for (int32_t i = 0; i < shell->GetGateCount(); ++i) {
        SCOPED_TRACE(i);
        const CGateNode* x = shell->GetGates()[size_t(i)];
        const CGateNode* y = back->GetGates()[size_t(i)];
        EXPECT_EQ(y->GetName(), x->GetName());
        EXPECT_EQ(y->GetDisplayName(true), x->GetDisplayName(true));
        EXPECT_EQ(y->GetOperator(), x->GetOperator());
        EXPECT_EQ(y->GetColor(), x->GetColor());
        EXPECT_EQ(y->GetId(), x->GetId());
        EXPECT_EQ(y->GetRegionType(), x->GetRegionType());
        // Same data, same compensation, same transforms: the same events.
        EXPECT_EQ(y->GetMask().CountSetBits(), x->GetMask().CountSetBits());
        ASSERT_EQ(y->GetInputs().size(), x->GetInputs().size());
        for (size_t k = 0; k < x->GetInputs().size(); ++k)
            EXPECT_EQ(back->GetGateIndex(y->GetInputs()[k]), shell->GetGateIndex(x->GetInputs()[k]));
    }
    EXPECT_GT(back->GetGates()[1]->GetMask().CountSetBits(), 0u);
    for (int32_t i = 0; i < 5; ++i) EXPECT_TRUE(back->GetTrans(i)->IsEqual(*shell->GetTrans(i))) << i;
    EXPECT_EQ(back->GetTrans(3)->GetType(), kTransLogical);
    EXPECT_FLOAT_EQ(back->GetCompValue(4, 2), 0.1f);
    EXPECT_FLOAT_EQ(back->GetCompValue(3, 2), 0.2f);
    EXPECT_EQ(back->GetFileMatrix()->indices, (std::vector<int32_t>{4, 2, 3}));
    // The compensated events are those of the original shell.
    const CEventMatrix* em1 = shell->GetDataSet()->GetEventMatrix();
    const CEventMatrix* em2 = back->GetDataSet()->GetEventMatrix();
    for (int32_t e = 0; e < 20; ++e) EXPECT_EQ(em2->GetColumn(2)[e], em1->GetColumn(2)[e]) << e;
    // The id pools come back as stored: the next gate gets the same id.
    EXPECT_EQ(back->GetGateIdPool(), shell->GetGateIdPool());
    EXPECT_EQ(back->GetQuadrantIdPool(), shell->GetQuadrantIdPool());
    EXPECT_EQ(back->NewId(kGateIdPool), shell->NewId(kGateIdPool));
    EXPECT_EQ(back->NewId(kQuadrantIdPool), shell->NewId(kQuadrantIdPool));
}

TEST_F(FileRecordsTest, PaletteHasNineEntriesAndGatesBeyondKeepTheirColours) {
    auto shell = MemoryShell();
    for (int i = 0; i < 11; ++i) shell->AddNotGateAt(0, "")->SetColor(0xAB0000 + uint32_t(i));
    ASSERT_EQ(shell->GetGateCount(), 12);
    GateColorPalette()[4] = 0x777777;
    const std::vector<uint8_t> rec = StoreShell(shell.get());
    auto back = LoadShell(rec);
    CArchive in(rec);
    CFileFCSShell reader;
    reader.Load(in, false);
    const std::vector<COLORREF>& palette = reader.GetPalette();
    ASSERT_EQ(palette.size(), 12u);
    for (int j = 0; j < kGatePaletteSize; ++j) EXPECT_EQ(palette[size_t(j)], GateColorPalette()[j]) << j;
    EXPECT_EQ(palette[4], 0x777777u);
    EXPECT_EQ(palette[9], 0xAB0008u);
    EXPECT_EQ(palette[11], 0xAB000Au);
    // Reading a record leaves the palette alone (the document applies it).
    EXPECT_EQ(GateColorPalette()[4], 0x777777u);
    EXPECT_EQ(back->GetGates()[11]->GetColor(), 0xAB000Au);
}

TEST_F(FileRecordsTest, TheFcsFileIsLookedForAtThePathThenInTheFoldersElseTheShellHasNoEvents) {
    lmtest::TempDir dir;
    std::filesystem::create_directory(dir.File("samples"));
    std::filesystem::create_directory(dir.File("report"));
    const std::vector<uint8_t> fcs = fldtest::FiveParamFcs(50);

    // Stored with a Windows path and a Windows sample folder; neither exists.
    // Made file-less by hand: a data set that has parameters but no events.
    auto* params = new CDataSet();
    for (int i = 0; i < 5; ++i) params->AddParam(1024, 0.0, 0.0);
    auto fileless = std::make_unique<CStoredDataShell>(params, "run", "D:\\old\\data\\run1.fcs", 0, 'F');
    const std::vector<uint8_t> withBackslashes = StoreShell(fileless.get(), false, dir.File("samples") + "\\");
    auto slashed = std::make_unique<CStoredDataShell>(new CDataSet(), "run", "/old/data/run1.fcs", 0, 'F');

    // (c) Nowhere: rebuilt with the stored parameters, no events, path kept.
    {
        int32_t at = -2;
        auto s = LoadShell(withBackslashes, false, &at);
        EXPECT_EQ(at, kFcsNotFound);
        EXPECT_FALSE(HasEvents(*s));
        EXPECT_EQ(s->GetParamCount(), 5);
        EXPECT_EQ(s->GetPath(), "D:\\old\\data\\run1.fcs");
        EXPECT_EQ(StoreShell(s.get(), false, dir.File("samples") + "\\"), withBackslashes);
    }
    // (b) In the sample folder, found by the name after the last '\'.
    const std::string inSamples = dir.Write("samples/run1.fcs", fcs);
    {
        int32_t at = -2;
        auto s = LoadShell(withBackslashes, false, &at);
        EXPECT_EQ(at, kFcsInSampleFolder);
        ASSERT_TRUE(HasEvents(*s));
        EXPECT_EQ(s->GetTotalEvents(), 50);
        EXPECT_EQ(std::filesystem::path(s->GetPathName()), std::filesystem::weakly_canonical(inSamples));
    }
    std::filesystem::remove(inSamples);
    // Next to the report, by the name after the last '/' or '\'.
    dir.Write("report/run1.fcs", fcs);
    for (const std::string& path : {std::string("D:\\old\\data\\run1.fcs"), std::string("/old/data/run1.fcs")}) {
        SCOPED_TRACE(path);
        auto* ds = new CDataSet();
        for (int i = 0; i < 5; ++i) ds->AddParam(1024, 0.0, 0.0);
        CStoredDataShell s(ds, "run", path, 0, 'F');
        int32_t at = -2;
        auto back = LoadShell(StoreShell(&s), false, &at, dir.File("report"));
        EXPECT_EQ(at, kFcsNextToDocument);
        EXPECT_TRUE(HasEvents(*back));
    }
    // No sample folder: the bare name in the current folder.
    {
        fldtest::ScopedCurrentDir cwd(dir.File("report"));
        ASSERT_TRUE(cwd.Ok());
        int32_t at = -2;
        auto back = LoadShell(StoreShell(slashed.get()), false, &at);
        // The stored record has no parameters: the file (five) does not fit.
        EXPECT_EQ(at, kFcsNotFound);
        auto* ds = new CDataSet();
        for (int i = 0; i < 5; ++i) ds->AddParam(1024, 0.0, 0.0);
        CStoredDataShell five(ds, "run", "/old/data/run1.fcs", 0, 'F');
        back = LoadShell(StoreShell(&five), false, &at);
        EXPECT_EQ(at, kFcsInSampleFolder);
        ASSERT_TRUE(HasEvents(*back));
        // Kept as an absolute path, so the next save does not depend on the
        // current folder.
        EXPECT_TRUE(std::filesystem::path(back->GetPathName()).is_absolute());
    }
    // A path written with '\\' between its folders is found where it points.
    {
        dir.Write("report/run2.fcs", fcs);
        auto* ds = new CDataSet();
        for (int i = 0; i < 5; ++i) ds->AddParam(1024, 0.0, 0.0);
        CStoredDataShell s(ds, "run", dir.Path() + "\\report\\run2.fcs", 0, 'F');
        int32_t at = -2;
        auto back = LoadShell(StoreShell(&s), false, &at);
        EXPECT_EQ(at, kFcsAtStoredPath);
        EXPECT_TRUE(HasEvents(*back));
    }
    // (a) The stored path itself, found first.
    const std::string direct = dir.Write("direct.fcs", fcs);
    {
        auto s = std::make_unique<VexaDataShell>(direct, 0, "direct", true);
        int32_t at = -2;
        auto back = LoadShell(StoreShell(s.get()), false, &at, dir.File("report"));
        EXPECT_EQ(at, kFcsAtStoredPath);
        EXPECT_EQ(back->GetPathName(), s->GetPathName());
    }
    // A file that now has another parameter count is not taken.
    {
        lmtest::FcsWriter three;
        three.Param("FS", 32, "1024").Param("SS", 32, "1024").Param("FL1", 32, "1024");
        three.Event({1, 2, 3});
        auto s = std::make_unique<VexaDataShell>(direct, 0, "direct", true);
        const std::vector<uint8_t> rec = StoreShell(s.get());
        three.WriteTo(direct);
        int32_t at = -2;
        auto back = LoadShell(rec, false, &at);
        EXPECT_EQ(at, kFcsNotFound);
        EXPECT_FALSE(HasEvents(*back));
        EXPECT_EQ(back->GetParamCount(), 5);
        EXPECT_EQ(back->GetPath(), s->GetPathName());
        // Nor is something that is not an FCS file at all.
        std::filesystem::remove(direct);
        std::filesystem::create_directory(direct);  // a folder of that name
        back = LoadShell(rec, false, &at);
        EXPECT_EQ(at, kFcsNotFound);
    }
}

// ================================================================ hostile

TEST_F(FileRecordsTest, CountsAndIndicesAreCheckedAgainstTheBytesAndWhatExists) {
    fldtest::ScopedNoFileLookup noLookup;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Bytes rect = fldtest::RectRegion(0, 1, 0.1f, 0.1f, 0.5f, 0.5f);
    const Bytes badRect = fldtest::RectRegion(0, 2, 0.1f, 0.1f, 0.5f, 0.5f);
    Bytes quad;
    quad.I(6).I(0).I(1);
    for (int k = 0; k < 6; ++k) quad.F(0.5f);

    struct Case {
        const char* what;
        std::function<void(ShellFields&)> spoil;
    };
    const std::vector<Case> cases = {
        {"huge parameter count", [](ShellFields& s) { s.paramCount = 0x7FFFFFFF; }},
        {"negative parameter count", [](ShellFields& s) { s.paramCount = -1; }},
        {"range not a number", [nan](ShellFields& s) { s.params[0].range = nan; }},
        {"decades not a number", [](ShellFields& s) { s.params[1].decades = std::nan(""); }},
        {"negative data-set index", [](ShellFields& s) { s.index = -1; }},
        {"matrix larger than the parameters", [](ShellFields& s) {
             s.k = 3;
             s.values.assign(9, 0.0f);
             s.indices = {0, 1, 1};
         }},
        {"negative matrix size", [](ShellFields& s) { s.k = -1; }},
        {"matrix index past $PAR", [](ShellFields& s) {
             s.k = 2;
             s.values = {1, 0, 0, 1};
             s.indices = {0, 2};
         }},
        {"matrix index negative", [](ShellFields& s) {
             s.k = 1;
             s.values = {1};
             s.indices = {-1};
         }},
        {"matrix index twice", [](ShellFields& s) {
             s.k = 2;
             s.values = {1, 0, 0, 1};
             s.indices = {1, 1};
         }},
        {"matrix value not a number", [nan](ShellFields& s) {
             s.k = 1;
             s.values = {nan};
             s.indices = {0};
         }},
        {"more transforms than parameters", [](ShellFields& s) { s.transforms.push_back(fldtest::LinearTrans(1.0f)); }},
        {"negative transform count", [](ShellFields& s) { s.transformCount = -1; }},
        {"unknown transform kind", [](ShellFields& s) { s.transforms[1].b[0] = 9; }},
        {"transform with an empty range", [](ShellFields& s) { s.transforms[0] = fldtest::LinearTrans(0.0f); }},
        {"no root", [](ShellFields& s) { s.gateCount = 0; }},
        {"more gates than bytes", [](ShellFields& s) { s.gateCount = 100000; }},
        {"operator", [](ShellFields& s) { s.gates = {fldtest::Gate("g", 'X', nullptr, {0}, 0, 1)}; }},
        {"region gate without region", [](ShellFields& s) { s.gates = {fldtest::Gate("g", '%', nullptr, {0}, 0, 1)}; }},
        {"AND gate with a region", [&rect](ShellFields& s) { s.gates = {fldtest::Gate("g", '&', &rect, {0}, 0, 1)}; }},
        {"input is the gate itself", [](ShellFields& s) { s.gates = {fldtest::Gate("g", '!', nullptr, {1}, 0, 1)}; }},
        {"input after the gate", [](ShellFields& s) {
             s.gates = {fldtest::Gate("g", '|', nullptr, {0, 2}, 0, 1), fldtest::Gate("h", '!', nullptr, {0}, 0, 2)};
         }},
        {"negative input", [](ShellFields& s) { s.gates = {fldtest::Gate("g", '!', nullptr, {-1}, 0, 1)}; }},
        {"NOT without input", [](ShellFields& s) { s.gates = {fldtest::Gate("g", '!', nullptr, {}, 0, 1)}; }},
        {"region gate without parent", [&rect](ShellFields& s) { s.gates = {fldtest::Gate("g", '%', &rect, {}, 0, 1)}; }},
        {"region past $PAR", [&badRect](ShellFields& s) { s.gates = {fldtest::Gate("g", '%', &badRect, {0}, 0, 1)}; }},
        {"huge input count", [](ShellFields& s) {
             Bytes g;
             g.I(2).S("g").I('&').I(0).I(0x10000000);
             s.gates = {g};
         }},
        {"quadrant parts past the gate count", [&quad](ShellFields& s) {
             Bytes g = fldtest::Gate("q", '%', &quad, {0}, 0, 0);
             g.U(1).U(2).U(3);
             s.gates = {g};
             s.quadParts = 0;  // the count says 2: room for part 0 only
         }},
        {"fewer gate records than the count", [](ShellFields& s) { s.gateCount = 3; }},
        {"palette shorter than the gates", [](ShellFields& s) {
             s.gates = {fldtest::Gate("g", '!', nullptr, {0}, 0, 1)};
             s.paletteCount = 1;
             s.gatePool.clear();
             s.quadPool.clear();
         }},
        {"negative pool count", [](ShellFields& s) { s.gatePool.clear(); s.quadPool = {-1}; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ShellFields fields;
        c.spoil(fields);
        Bytes rec = fields.Build();
        if (std::string(c.what) == "negative pool count") {
            // The quad pool's count word is the fifth byte from the end.
            rec.b.resize(rec.b.size() - 8);
            rec.I(-1);
        }
        CArchive in(rec.b);
        CFileFCSShell reader;
        EXPECT_THROW(reader.Load(in, false), CArchiveException);
        EXPECT_EQ(reader.TakeShell(), nullptr);
    }

    // What the checks must let through.
    const std::vector<Case> good = {
        {"no compensation", [](ShellFields& s) {
             s.k = 0;
         }},
        {"fewer transforms than parameters (the rest default)", [](ShellFields& s) { s.transforms.pop_back(); }},
        {"a gate of all events", [](ShellFields& s) { s.gates = {fldtest::Gate("all", '0', nullptr, {}, 0, 1)}; }},
        {"a quadrant with its parts", [&quad](ShellFields& s) {
             Bytes g = fldtest::Gate("q", '%', &quad, {0}, 0, 0);
             g.U(1).U(2).U(3);
             s.gates = {g};
             s.quadParts = 3;
         }},
        {"an OR listing an input twice", [](ShellFields& s) { s.gates = {fldtest::Gate("g", '|', nullptr, {0, 0}, 0, 1)}; }},
        {"data type 0", [](ShellFields& s) { s.dataType = 0; }},
        // Ranges past 32 bits are what instruments write ($PnR 2147483647
        // is stored as 2^31): a record the program writes must open.
        {"range past 32 bits", [](ShellFields& s) { s.params[0].range = 1e12f; s.params[1].range = 2147483648.0f; }},
    };
    for (const Case& c : good) {
        SCOPED_TRACE(c.what);
        ShellFields fields;
        c.spoil(fields);
        CArchive in(fields.Build().b);
        CFileFCSShell reader;
        EXPECT_NO_THROW(reader.Load(in, false));
        EXPECT_EQ(in.Remaining(), 0u);
        ASSERT_NE(reader.GetShell(), nullptr);
        // The ranges come back as written.
        for (int32_t i = 0; i < 2; ++i) {
            ASSERT_NE(reader.GetShell()->GetParam(i), nullptr);
            EXPECT_EQ(reader.GetShell()->GetParam(i)->range, fields.params[size_t(i)].range);
        }
    }
}

TEST_F(FileRecordsTest, EveryTruncationAndEveryFlippedByteOfAShellRecordIsSafe) {
    fldtest::ScopedNoFileLookup noLookup;
    auto shell = MemoryShell("flip");
    Rect(*shell, 0.1f, 0.1f, 0.6f, 0.6f, 0, "R");
    shell->AddRegionGate(std::make_unique<CrQuadrant>(0, 1, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f), 1, "Q");
    shell->AddRegionGate(
        std::make_unique<CrPolygon>(2, 3, std::vector<RgnPoint>{{0.1f, 0.1f}, {0.9f, 0.3f}, {0.4f, 0.95f}}), 0, "P");
    shell->AddLogicGate('&', {shell->GetGates()[1], shell->GetGates()[2]}, "A");
    ASSERT_TRUE(shell->SetTrans(std::make_unique<CLogical>(1000.0f, -10.0f, 4.5f), 4));
    const std::vector<uint8_t> rec = StoreShell(shell.get());
    ASSERT_NO_THROW(LoadShell(rec));

    for (size_t n = 0; n < rec.size(); ++n) {
        CArchive in(std::vector<uint8_t>(rec.begin(), rec.begin() + ptrdiff_t(n)));
        CFileFCSShell reader;
        EXPECT_THROW(reader.Load(in, false), CArchiveException) << n;
    }
    int refused = 0;
    for (size_t i = 0; i < rec.size(); ++i) {
        for (uint8_t value : {uint8_t(rec[i] ^ 0xFF), uint8_t(0x7F), uint8_t(0x00)}) {
            std::vector<uint8_t> spoilt = rec;
            spoilt[i] = value;
            CArchive in(spoilt);
            CFileFCSShell reader;
            try {
                reader.Load(in, false);
                ASSERT_NE(reader.GetShell(), nullptr);
                // Whatever was taken must write itself out again.
                CArchive out;
                CFileFCSShell(reader.GetShell(), "").Store(out, false);
            } catch (const CArchiveException&) {
                ++refused;
            }
        }
    }
    EXPECT_GT(refused, 0);
}
