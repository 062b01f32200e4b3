#include "report/page/FileRecords.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <new>
#include <stdexcept>
#include <system_error>

#include "base/Paths.h"
#include "core/DataSet.h"
#include "core/EventMatrix.h"
#include "core/FcsText.h"
#include "core/GateNode.h"
#include "core/Region.h"
#include "core/Trans.h"

namespace {

// One parameter entry: float $PnR, double decades, double offset.
constexpr size_t kParamEntryBytes = 4 + 8 + 8;
// Smallest transform record with its kind (the biexponential one).
constexpr size_t kMinTransRecordBytes = 4 + 4 * 4 + 4;
// A polygon drawn by hand has tens of vertices; every event is tested against
// every edge, so a record with more than this is not taken as a region.
constexpr int64_t kMaxPolygonVertices = 10000;

bool g_fileLookup = true;

[[noreturn]] void Bad(const std::string& what) { throw CFldFormatError(what); }

std::string Num(int64_t v) { return std::to_string(v); }

float ReadFiniteFloat(CArchive& ar, const char* what) {
    const float v = ar.ReadFloat();
    if (!std::isfinite(v)) Bad(std::string(what) + " is not a finite number");
    return v;
}

double ReadFiniteDouble(CArchive& ar, const char* what) {
    const double v = ar.ReadDouble();
    if (!std::isfinite(v)) Bad(std::string(what) + " is not a finite number");
    return v;
}

std::string Slashed(std::string s) {
    std::replace(s.begin(), s.end(), '\\', '/');
    return s;
}

std::string JoinFolder(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    const char last = folder.back();
    return (last == '/' || last == '\\') ? folder + name : folder + "/" + name;
}

bool IsRegularFile(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(path, ec) && !ec;
}

bool IsStoredOperator(int32_t op) {
    return op == kGateRegion || op == kGateNot || op == kGateAnd || op == kGateOr || op == kGateAll;
}

}  // namespace

// ===================================================================== head

void StoreFldHead(CArchive& ar, const FldDocumentHead& head) {
    ar.WriteString(kFldMagic);
    ar.WriteString(kFldVersion);
    ar.WriteInt32(head.pilot.x);
    ar.WriteInt32(head.pilot.y);
    ar.WriteInt32(head.headerOnly);
    if (head.headerOnly != 0) return;
    ar.WriteInt32(kFldMarker);
    ar.WriteInt32(head.pagesAcross);
    ar.WriteInt32(head.pagesDown);
    ar.WriteInt32(head.pageWidth);
    ar.WriteInt32(head.pageHeight);
    ar.WriteInt32(head.pageSetting1);
    ar.WriteInt32(head.pageSetting2);
    for (int32_t r : head.reserved) ar.WriteInt32(r);
    ar.WriteInt32(kFldMarker);
    ar.WriteInt32(head.shellCount);
    ar.WriteInt32(head.templateFlag);
}

void LoadFldHead(CArchive& ar, FldDocumentHead* head) {
    std::string magic;
    try {
        magic = ar.ReadString();
    } catch (const CArchiveException&) {
        throw CFldFormatError(kInvalidFldMessage);
    }
    if (magic != kFldMagic) throw CFldFormatError(kInvalidFldMessage);
    (void)ar.ReadString();  // version: every version so far has this layout
    head->pilot.x = ar.ReadInt32();
    head->pilot.y = ar.ReadInt32();
    head->headerOnly = ar.ReadInt32();
    if (ar.ReadInt32() == kFldEndMarker) return;
    head->hasPageSetup = true;
    head->pagesAcross = ar.ReadInt32();
    head->pagesDown = ar.ReadInt32();
    head->pageWidth = ar.ReadInt32();
    head->pageHeight = ar.ReadInt32();
    head->pageSetting1 = ar.ReadInt32();
    head->pageSetting2 = ar.ReadInt32();
    for (int32_t& r : head->reserved) r = ar.ReadInt32();
    if (ar.ReadInt32() == kFldEndMarker) return;
    head->hasShells = true;
    head->shellCount = int32_t(ar.CheckCount(ar.ReadInt32(), kMinShellRecordBytes));
    head->templateFlag = ar.ReadInt32();
}

// ========================================================== stored shells

CStoredDataShell::CStoredDataShell(CDataSet* dataSet, const std::string& name, const std::string& storedPath,
                                   int32_t storedIndex, int32_t storedDataType)
    : VexaDataShell(dataSet, name), m_storedDataType(storedDataType) {
    m_path = storedPath;
    m_index = storedIndex;
}

// ============================================================= shell record

CFileFCSShell::CFileFCSShell(VexaDataShell* shell, std::string folder) : m_shell(shell), m_folder(std::move(folder)) {}

CFileFCSShell::CFileFCSShell() = default;

CFileFCSShell::~CFileFCSShell() = default;

void CFileFCSShell::SetFileLookup(bool on) { g_fileLookup = on; }
bool CFileFCSShell::GetFileLookup() { return g_fileLookup; }

std::unique_ptr<VexaDataShell> CFileFCSShell::TakeShell() {
    m_shell = nullptr;
    return std::move(m_owned);
}

void CFileFCSShell::Store(CArchive& ar, bool templateFlag) const {
    VexaDataShell* s = m_shell;
    if (!s) throw CArchiveException("data set record: no data set to write");
    ar.WriteString(m_folder);

    const CDataSet* ds = s->GetDataSet();
    const bool hasEvents = ds && ds->GetEventMatrix();
    int32_t dataType = ds ? ds->GetDataType() : 0;
    if (!hasEvents)
        if (const auto* stored = dynamic_cast<const CStoredDataShell*>(s)) dataType = stored->GetStoredDataType();
    ar.WriteInt32(dataType);

    const int32_t p = s->GetParamCount();
    ar.WriteInt32(p);
    for (int32_t i = 0; i < p; ++i) {
        const CParam* prm = s->GetParam(i);
        ar.WriteFloat(prm ? prm->range : 0.0f);
        ar.WriteDouble(prm ? prm->decades : 0.0);
        ar.WriteDouble(prm ? prm->offset : 0.0);
    }

    if (!templateFlag) {
        // A shell rebuilt without its file keeps the path it was stored with.
        std::string path = s->GetPathName();
        if (path.empty()) path = s->GetPath();
        ar.WriteString(path);
        ar.WriteInt32(s->GetDataSetIndex());
    }
    ar.WriteString(s->GetName());

    const CSpillMatrix* m = s->GetFileMatrix();
    const int32_t k = m ? m->n : 0;
    ar.WriteInt32(k);
    for (size_t i = 0; i < size_t(k) * size_t(k); ++i) ar.WriteFloat(i < m->values.size() ? m->values[i] : 0.0f);
    for (int32_t i = 0; i < k; ++i) ar.WriteInt32(size_t(i) < m->indices.size() ? m->indices[size_t(i)] : i);

    ar.WriteInt32(p);
    for (int32_t i = 0; i < p; ++i) {
        const CTRANS* t = s->GetTrans(i);
        if (!t) throw CArchiveException("data set record: parameter " + Num(i) + " has no transform");
        t->Store(ar);
    }

    const int32_t g = s->GetGateCount();
    ar.WriteInt32(g);
    const CFileGateNode gates(s);
    for (int32_t i = 1; i < g;) {
        gates.Store(ar, i);
        i += s->GetGates()[size_t(i)]->GetQuadrantPart() == 0 ? 4 : 1;
    }

    // The palette has nine entries; gates past them keep their own colour.
    ar.WriteInt32(kPaletteCountWord);
    const COLORREF* palette = GateColorPalette();
    for (int32_t j = 0; j < g; ++j)
        ar.WriteUInt32(j < kGatePaletteSize ? palette[j] : s->GetGates()[size_t(j)]->GetColor());

    for (const std::vector<uint8_t>* pool : {&s->GetGateIdPool(), &s->GetQuadrantIdPool()}) {
        ar.WriteInt32(int32_t(pool->size()));
        for (uint8_t used : *pool) ar.WriteInt32(used ? 1 : 0);
    }
}

namespace {

// Why the data set read from a record's FCS file cannot stand in for the
// stored one; empty when it can.
std::string StoredFileProblem(const CDataSet& ds, const std::string& path, int32_t index, size_t paramCount) {
    if (!ds.GetKeywordTable()) {
        const std::string why = FcsFileProblem(path);
        if (!why.empty()) return why;
        return index == 0 ? "it holds no data set" : "it holds no data set " + std::to_string(index + 1);
    }
    if (std::string why = UnreadableDataSetProblem(ds); !why.empty()) return why;
    if (!ds.GetEventMatrix() || ds.GetEventCount() < 1) return "it holds no events";
    // A file that now has other parameters than the analysis was made on
    // does not fit its gates and transforms.
    if (size_t(ds.GetParamCount()) != paramCount)
        return "it has " + std::to_string(ds.GetParamCount()) + " parameters where the report was made on " +
               std::to_string(paramCount);
    return {};
}

// The FCS file of a record, at the first of the places that has it with the
// stored parameter count. Null when none does; *problem then says why: what
// is wrong with the first file that was there, or that none was.
std::unique_ptr<VexaDataShell> OpenStoredFile(const std::vector<std::string>& places, int32_t index,
                                              const std::string& name, size_t paramCount, int32_t* foundAt,
                                              std::string* problem, std::string* warning) {
    bool anyThere = false;
    for (size_t k = 0; k < places.size(); ++k) {
        const std::string& place = places[k];
        if (!IsRegularFile(place)) continue;
        anyThere = true;
        const std::string path = lm::CanonicalFilePath(place);
        // A genuine file can need more memory than there is: it is then
        // left out like a missing one, and the reason kept for the user.
        try {
            std::unique_ptr<CDataSet> ds(new CDataSet(path, index));
            if (std::string why = StoredFileProblem(*ds, path, index, paramCount); !why.empty()) {
                if (problem->empty()) *problem = why;
                continue;
            }
            // Holds the data set while the shell is built: a shell that fails
            // half-built lets go of it, and the holder frees it.
            const VexaDataSetUser holder(ds.release());
            auto shell = std::make_unique<VexaDataShell>(holder.GetDataSet(), name);
            *foundAt = int32_t(k);
            problem->clear();
            // A file cut short since the report was saved opens with what is
            // left, and says so as it does when opened by itself.
            *warning = DataSetReadWarning(*holder.GetDataSet());
            return shell;
        } catch (const std::bad_alloc&) {
            if (problem->empty()) *problem = kFcsNoMemoryProblem;
        } catch (const std::length_error&) {
            if (problem->empty()) *problem = kFcsNoMemoryProblem;
        }
    }
    if (!anyThere && problem->empty() && !places.empty() && !places.front().empty()) *problem = "no such file";
    return nullptr;
}

}  // namespace

void CFileFCSShell::Load(CArchive& ar, bool templateFlag) {
    m_owned.reset();
    m_shell = nullptr;
    m_palette.clear();
    m_foundAt = kFcsNotFound;
    m_problem.clear();
    m_warning.clear();

    m_folder = ar.ReadString();
    const int32_t dataType = ar.ReadInt32();
    const size_t p = ar.CheckCount(ar.ReadInt32(), kParamEntryBytes);

    // The stored parameters, for a shell whose file is not found. A data set
    // frees itself when its last user leaves, so it is made with new.
    std::unique_ptr<CDataSet> stored(new CDataSet());
    for (size_t i = 0; i < p; ++i) {
        // Any finite range is one an FCS file may give ($PnR 2147483647 is
        // written as 2^31, and some instruments write 1e12): what was
        // written must open again.
        const float range = ReadFiniteFloat(ar, "a parameter range");
        const double decades = ReadFiniteDouble(ar, "a parameter's decades");
        const double offset = ReadFiniteDouble(ar, "a parameter's offset");
        stored->AddParam(std::trunc(range), decades, offset);
    }

    std::string path;
    int32_t index = 0;
    if (!templateFlag) {
        path = ar.ReadString();
        index = ar.ReadInt32();
        if (index < 0) Bad("data-set index " + Num(index));
    }
    const std::string name = ar.ReadString();

    std::unique_ptr<VexaDataShell> shell;
    if (!templateFlag && g_fileLookup) {
        const std::string file = lm::FileNameOf(path);
        std::vector<std::string> places(3);
        places[kFcsAtStoredPath] = path;
        if (!file.empty()) {
            places[kFcsInSampleFolder] = JoinFolder(Slashed(m_folder), file);
            if (!m_documentFolder.empty()) places[kFcsNextToDocument] = JoinFolder(m_documentFolder, file);
        }
        shell = OpenStoredFile(places, index, name, p, &m_foundAt, &m_problem, &m_warning);
        // A path written on Windows names its folders with '\'.
        if (!shell && path.find('\\') != std::string::npos)
            if ((shell = OpenStoredFile({Slashed(path)}, index, name, p, &m_foundAt, &m_problem, &m_warning)))
                m_foundAt = kFcsAtStoredPath;
    }
    if (!shell) {
        shell = std::make_unique<CStoredDataShell>(stored.get(), name, path, index, dataType);
        stored.release();  // held by the shell
    }

    // Compensation: identity first, then every coefficient and index stored.
    const int32_t k = ar.ReadInt32();
    if (k < 0 || size_t(k) > p) Bad("compensation matrix of size " + Num(k) + " over " + Num(int64_t(p)) + " parameters");
    ar.Require(size_t(k) * size_t(k) * 4 + size_t(k) * 4);
    CSpillMatrix matrix(k);
    matrix.SetIdentity();
    for (float& v : matrix.values) v = ReadFiniteFloat(ar, "a compensation coefficient");
    std::vector<bool> seen(p, false);
    for (int32_t& idx : matrix.indices) {
        idx = ar.ReadInt32();
        if (idx < 0 || size_t(idx) >= p) Bad("compensation parameter " + Num(idx) + " of " + Num(int64_t(p)));
        if (seen[size_t(idx)]) Bad("compensation parameter " + Num(idx) + " listed twice");
        seen[size_t(idx)] = true;
    }
    shell->SetCompMatrix(&matrix, true);

    const int32_t t = ar.ReadInt32();
    if (t < 0 || size_t(t) > p) Bad(Num(t) + " transforms for " + Num(int64_t(p)) + " parameters");
    ar.CheckCount(t, kMinTransRecordBytes);
    for (int32_t i = 0; i < t; ++i)
        if (!shell->SetTrans(LoadTrans(ar), i)) Bad("transform of parameter " + Num(i));

    const int32_t g = ar.ReadInt32();
    if (g < 1) Bad("gate count " + Num(g) + " (the root is always there)");
    ar.CheckCount(int64_t(g) - 1, kMinGateRecordBytes);
    for (int32_t i = 1; i < g;) {
        CFileGateNode rec(shell.get());
        rec.Load(ar, i, g);
        std::unique_ptr<CGateNode> node = rec.TakeNode();
        const bool quadrant = node->GetQuadrantPart() == 0;
        if (!shell->AddGate(std::move(node))) Bad("gate " + Num(i) + " cannot be added");
        if (quadrant) {
            if (shell->GetGateCount() != i + 4) Bad("quadrant gate " + Num(i) + " did not make its four parts");
            for (int32_t j = 0; j < 3; ++j) shell->GetGates()[size_t(i + 1 + j)]->SetColor(rec.GetPartColors()[size_t(j)]);
            i += 4;
        } else {
            i += 1;
        }
        if (shell->GetGateCount() != i) Bad("gate " + Num(i) + " out of step");
    }

    (void)ar.ReadInt32();  // the palette's count word
    ar.CheckCount(g, 4);
    m_palette.resize(size_t(g));
    for (COLORREF& c : m_palette) c = ar.ReadUInt32();

    std::vector<uint8_t> pools[2];
    for (auto& pool : pools) {
        pool.resize(ar.CheckCount(ar.ReadInt32(), 4));
        for (uint8_t& slot : pool) slot = ar.ReadInt32() != 0 ? 1 : 0;
    }
    shell->SetIdPools(std::move(pools[0]), std::move(pools[1]));

    m_shell = shell.get();
    m_owned = std::move(shell);
}

// ============================================================== gate record

CFileGateNode::CFileGateNode(VexaDataShell* shell) : m_shell(shell) {}

CFileGateNode::~CFileGateNode() = default;

std::unique_ptr<CGateNode> CFileGateNode::TakeNode() { return std::move(m_node); }

void CFileGateNode::Store(CArchive& ar, int32_t index) const {
    const auto& gates = m_shell->GetGates();
    if (index <= 0 || size_t(index) >= gates.size()) throw CArchiveException("gate record: no gate " + Num(index));
    const CGateNode* node = gates[size_t(index)];
    const int32_t part = node->GetQuadrantPart();
    if (part > 0) throw CArchiveException("gate record: quadrant part " + Num(index) + " away from its part 0");
    ar.WriteInt32(kGateRecordVersion);
    ar.WriteString(node->GetName());
    ar.WriteInt32(int32_t(uint8_t(node->GetOperator())));
    const CDataRgn* region = node->GetRegion();
    ar.WriteInt32(region ? 1 : 0);
    if (region) CFileRgn(region).Store(ar);
    const auto& inputs = node->GetInputs();
    ar.WriteInt32(int32_t(inputs.size()));
    for (const CGateNode* in : inputs) {
        const int32_t k = m_shell->GetGateIndex(in);
        // A reader builds gates in order: an input must come first.
        if (k < 0 || k >= index) throw CArchiveException("gate record: gate " + Num(index) + " has an input that is not before it");
        ar.WriteInt32(k);
    }
    ar.WriteUInt32(node->GetColor());
    ar.WriteInt32(node->GetId());
    if (part == 0) {
        const auto* q = static_cast<const CrQuadrant*>(region);
        for (int32_t j = 1; j < 4; ++j) {
            const CGateNode* pg = q->GetPartGate(j);
            if (!pg || m_shell->GetGateIndex(pg) != index + j)
                throw CArchiveException("gate record: quadrant " + Num(index) + " does not have its parts after it");
            ar.WriteUInt32(pg->GetColor());
        }
    }
}

void CFileGateNode::Load(CArchive& ar, int32_t index, int32_t gateCount) {
    m_node.reset();
    m_partColors.clear();
    const std::string at = "gate " + Num(index) + ": ";
    if (index != m_shell->GetGateCount()) Bad(at + "out of step with the data set's gates");
    (void)ar.ReadInt32();  // record version
    const std::string name = ar.ReadString();
    const int32_t op = ar.ReadInt32();
    const int32_t hasRegion = ar.ReadInt32();
    if (!IsStoredOperator(op)) Bad(at + "operator " + Num(op));
    if (hasRegion != 0 && hasRegion != 1) Bad(at + "region flag " + Num(hasRegion));
    // Only a region gate has a region, and it always has one.
    if ((op == kGateRegion) != (hasRegion == 1)) Bad(at + "region and operator do not match");

    std::unique_ptr<CDataRgn> region;
    if (hasRegion) {
        CFileRgn rec;
        rec.Load(ar, m_shell->GetParamCount());
        region = rec.TakeRegion();
    }
    const size_t q = ar.CheckCount(ar.ReadInt32(), 4);
    std::vector<CGateNode*> inputs;
    inputs.reserve(q);
    for (size_t j = 0; j < q; ++j) {
        const int32_t k = ar.ReadInt32();
        // Inputs come before the gates that use them.
        if (k < 0 || k >= index) Bad(at + "input " + Num(k));
        inputs.push_back(m_shell->GetGates()[size_t(k)]);
    }
    const COLORREF colour = ar.ReadUInt32();
    const int32_t id = ar.ReadInt32();
    const bool quadrant = region && region->GetType() == kRgnQuadrant;
    if (quadrant) {
        if (int64_t(index) + 3 >= gateCount) Bad(at + "quadrant parts past the gate count");
        for (int j = 0; j < 3; ++j) m_partColors.push_back(ar.ReadUInt32());
    }
    if (op != kGateAll && inputs.empty()) Bad(at + "no input");

    if (region)
        m_node = std::make_unique<CGateNode>(m_shell, std::move(region), inputs.back(), name);
    else
        m_node = std::make_unique<CGateNode>(m_shell, char(op), inputs, name);
    m_node->SetColor(colour);
    m_node->SetId(id);
}

// ============================================================ region record

CFileRgn::CFileRgn(const CDataRgn* region) : m_region(region) {}

CFileRgn::CFileRgn() = default;

CFileRgn::~CFileRgn() = default;

std::unique_ptr<CDataRgn> CFileRgn::TakeRegion() { return std::move(m_read); }

void CFileRgn::Store(CArchive& ar) const {
    const CDataRgn* r = m_region;
    if (!r) throw CArchiveException("region record: no region to write");
    ar.WriteInt32(r->GetType());
    ar.WriteInt32(r->GetXParam());
    ar.WriteInt32(r->GetYParam());
    switch (r->GetType()) {
        case kRgnRange: {
            float lo, hi;
            static_cast<const CrRange*>(r)->GetGeometry(&lo, &hi);
            ar.WriteFloat(lo);
            ar.WriteFloat(hi);
            break;
        }
        case kRgnRect:
        case kRgnEllipse:
            for (float v : r->GetBox()) ar.WriteFloat(v);
            break;
        case kRgnPolygon: {
            const auto& v = static_cast<const CrPolygon*>(r)->GetVertices();
            ar.WriteInt32(int32_t(v.size()));
            for (const RgnPoint& pt : v) {
                ar.WriteFloat(pt.x);
                ar.WriteFloat(pt.y);
            }
            break;
        }
        case kRgnQuadrant: {
            RgnPoint c;
            float a[4];
            static_cast<const CrQuadrant*>(r)->GetGeometry(&c, &a[0], &a[1], &a[2], &a[3]);
            ar.WriteFloat(c.x);
            ar.WriteFloat(c.y);
            for (float v : a) ar.WriteFloat(v);
            break;
        }
        default:  // a cross: its header only
            break;
    }
}

void CFileRgn::Load(CArchive& ar, int32_t paramCount) {
    m_read.reset();
    const int32_t type = ar.ReadInt32();
    const int32_t x = ar.ReadInt32();
    const int32_t y = ar.ReadInt32();
    auto f = [&ar] { return ReadFiniteFloat(ar, "a region coordinate"); };
    std::unique_ptr<CDataRgn> r;
    switch (type) {
        case kRgnRange: {
            const float lo = f();
            const float hi = f();
            r = std::make_unique<CrRange>(x, y, lo, hi);
            break;
        }
        case kRgnRect:
        case kRgnEllipse: {
            RgnPoint a, b;
            a.x = f();
            a.y = f();
            b.x = f();
            b.y = f();
            if (type == kRgnRect) r = std::make_unique<CrRect>(x, y, a, b);
            else r = std::make_unique<CrEllipse>(x, y, a, b);
            break;
        }
        case kRgnPolygon: {
            const int32_t count = ar.ReadInt32();
            if (count > kMaxPolygonVertices) Bad("polygon of " + Num(count) + " vertices");
            std::vector<RgnPoint> v(ar.CheckCount(count, 8));
            for (RgnPoint& pt : v) {
                pt.x = f();
                pt.y = f();
            }
            r = std::make_unique<CrPolygon>(x, y, std::move(v));
            break;
        }
        case kRgnCrossAlias:
        case kRgnCross:
            // Stored without its centre: it comes back centred, and the
            // region list (which the plots index) keeps its place.
            r = std::make_unique<CrCross>(x, y, kCrossCentre, kCrossCentre);
            break;
        case kRgnQuadrant: {
            float g[6];
            for (float& v : g) v = f();
            r = std::make_unique<CrQuadrant>(x, y, g[0], g[1], g[2], g[3], g[4], g[5]);
            break;
        }
        default:
            Bad("region type " + Num(type));
    }
    if (!r->FitsParamCount(paramCount))
        Bad("region on parameters " + Num(x) + ", " + Num(y) + " of a data set with " + Num(paramCount));
    m_read = std::move(r);
}
