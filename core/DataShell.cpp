#include "core/DataShell.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <initializer_list>

#include "base/Paths.h"
#include "core/DataSet.h"
#include "core/ErrorCodes.h"
#include "core/EventMatrix.h"
#include "base/Codepage.h"
#include "core/FcsText.h"
#include "core/GateNode.h"
#include "core/Observers.h"
#include "core/Region.h"
#include "core/StatItem.h"
#include "core/Trans.h"

namespace {
// An identity over its indices changes nothing: the events are the raw ones.
bool IsIdentity(const CSpillMatrix& m) {
    for (int32_t i = 0; i < m.n; ++i)
        for (int32_t j = 0; j < m.n; ++j)
            if (m.values[size_t(i) * size_t(m.n) + size_t(j)] != (i == j ? 1.0f : 0.0f)) return false;
    return true;
}

int32_t PositionOf(const CSpillMatrix& m, int32_t param) {
    for (int32_t i = 0; i < m.n && size_t(i) < m.indices.size(); ++i)
        if (m.indices[size_t(i)] == param) return i;
    return -1;
}

// m over its own parameters and those of params it lacks, each added one with
// the identity's row and column: it compensates exactly as m does.
CSpillMatrix Widened(const CSpillMatrix& m, std::initializer_list<int32_t> params) {
    const size_t named = std::min<size_t>(size_t(m.n), m.indices.size());
    std::vector<int32_t> indices(m.indices.begin(), m.indices.begin() + ptrdiff_t(named));
    for (int32_t p : params)
        if (std::find(indices.begin(), indices.end(), p) == indices.end()) indices.push_back(p);
    CSpillMatrix out(int32_t(indices.size()));
    out.indices = indices;
    out.SetIdentity();
    for (int32_t i = 0; i < m.n; ++i)
        for (int32_t j = 0; j < m.n; ++j) *out.Element(i, j) = *m.Element(i, j);
    return out;
}

// A data set a shell can analyse: parameters and at least one event.
bool IsLoaded(const CDataSet* ds) {
    return ds && ds->GetParamSet() && ds->GetParamCount() > 0 && ds->GetEventCount() > 0;
}

}  // namespace

// ---- construction ----

VexaDataShell::VexaDataShell(CDataSet* dataSet, const std::string& name)
    : VexaDataSetUser(dataSet), m_name(name) {
    ComputeLogScales();
    SetUpCompensation(false);
    InitEmpty();
}

VexaDataShell::VexaDataShell(const std::string& path, int32_t index, const std::string& name,
                             bool setUpCompensation)
    : VexaDataSetUser(path, index), m_name(name) {
    ComputeLogScales();
    if (setUpCompensation) SetUpCompensation(true);
    InitEmpty();
}

VexaDataShell::VexaDataShell(const VexaDataShell& other, const std::string& path, int32_t index,
                             const std::string& name)
    : VexaDataSetUser(path, index), m_name(name) {
    ComputeLogScales();
    SetUpCompensation(false);
    for (const auto& t : other.m_transforms) m_transforms.push_back(t->Clone());
    InitEmpty();
    CopyGates(other);
    // The copies keep the ids of their sources, so the copied pools describe
    // them.
    if (m_gates.size() == other.m_gates.size())
        for (size_t i = 1; i < m_gates.size(); ++i) m_gates[i]->m_id = other.m_gates[i]->m_id;
    m_gateIds = other.m_gateIds;
    m_quadIds = other.m_quadIds;
}

VexaDataShell::VexaDataShell() { InitEmpty(); }

void VexaDataShell::InitEmpty() {
    auto root = std::make_unique<CGateNode>(this);
    root->SetId(0);
    m_root = root.release();
    m_gates.insert(m_gates.begin(), m_root);
    m_gateIds.push_back(1);
    m_quadIds.push_back(1);
    CreateDefaultTransforms();
}

VexaDataShell::~VexaDataShell() {
    // Users are page objects and dialogs owned elsewhere: detach them, last
    // first, before anything they might look at goes away.
    NotifyListed(m_users, true, [](CDataShellUser* u) { u->DetachShell(false, false); });
    m_users.clear();
    m_pending.clear();
    m_regions.clear();
    // Dependants come after their inputs: deleting from the back never
    // leaves a gate with a dead input.
    while (!m_gates.empty()) {
        CGateNode* g = m_gates.back();
        m_gates.pop_back();
        delete g;
    }
    m_root = nullptr;
    m_transforms.clear();
    m_fileMatrix.reset();
    m_editMatrix.reset();
}

// ---- data access ----

int32_t VexaDataShell::GetParamCount() const { return m_dataSet ? m_dataSet->GetParamCount() : 0; }

CParam* VexaDataShell::GetParam(int32_t i) const {
    if (!m_dataSet || i < 0 || i >= m_dataSet->GetParamCount()) return nullptr;
    return m_dataSet->GetParam(i);
}

float VexaDataShell::GetParamRange(int32_t i) const {
    const CParam* p = GetParam(i);
    return p && p->hasRange ? p->range : 0.0f;
}

int32_t VexaDataShell::GetTotalEvents() const { return m_dataSet ? m_dataSet->GetEventCount() : 0; }

std::string VexaDataShell::GetKeywordValue(const std::string& key) const {
    return m_dataSet ? m_dataSet->GetKeywordValue(key) : std::string();
}

// A shell rebuilt from a report without its file holds a data set made
// without one: the path it was stored with still names the file.
std::string VexaDataShell::GetPathName() const {
    return m_dataSet && !m_dataSet->GetPathName().empty() ? m_dataSet->GetPathName() : m_path;
}
std::string VexaDataShell::GetFileDir() const { return lm::FolderOf(GetPathName()); }
std::string VexaDataShell::GetFileName() const { return lm::FileNameOf(GetPathName()); }

bool VexaDataShell::IsFcsFile(const std::string& path) { return ::IsFcsFile(path, 0); }

std::string VexaDataShell::GetParamLabel(int32_t i, int32_t mode) const {
    if (i == -1) return "Count";
    const CParam* p = GetParam(i);
    if (!p) return {};
    // Shown text: keyword bytes as UTF-8, else as code page 936.
    const std::string n = p->hasName ? CDataSet::ShownText(p->name) : std::string();
    const std::string s = p->hasShortName ? CDataSet::ShownText(p->shortName) : std::string();
    if (mode == 1) return n;
    if (mode == 2) return s.empty() ? n : s;
    return n + s;
}

// ---- transforms ----

void VexaDataShell::CreateDefaultTransforms() {
    const int32_t n = GetParamCount();
    for (int32_t i = int32_t(m_transforms.size()); i < n; ++i) m_transforms.push_back(MakeDefaultTransform(i));
}

std::unique_ptr<CTRANS> VexaDataShell::MakeDefaultTransform(int32_t i) {
    const CParam* p = GetParam(i);
    const std::string name = p && p->hasName ? p->name : std::string();
    auto startsWith = [&name](const char* t) { return name.rfind(t, 0) == 0; };
    const float range = GetParamRange(i);
    // A parameter that was not decoded reads 0 in every event: scanning its
    // column for each of them would cost $PAR x events.
    const CEventMatrix* em = m_dataSet ? m_dataSet->GetEventMatrix() : nullptr;
    auto dataMax = [&]() {
        return m_root && em && em->HasValues(i) ? float(m_root->GetStatItem()->GetMax(i)) * 1.05f : 0.0f;
    };
    // The data's top costs a pass over the column: it is looked at only
    // when the top before it in line is not usable.
    auto linearTop = [](float top) {
        return CTRANS::IsValidRange(0.0f, top) ? std::make_unique<CTRANS>(0.0f, top) : nullptr;
    };
    auto logTop = [](float top) -> std::unique_ptr<CTRANS> {
        if (!(top > 1.0f && std::isfinite(top))) return nullptr;
        const float decades = float(std::log10(double(top)));
        return CLogTRANS::IsValidRange(0.0f, decades) ? std::make_unique<CLogTRANS>(0.0f, decades) : nullptr;
    };

    // A linear axis from 0 to the first usable top; never an empty range.
    if (startsWith("TIME") || startsWith("Time")) {
        if (auto t = linearTop(dataMax())) return t;
        if (auto t = linearTop(range)) return t;
        return std::make_unique<CTRANS>(0.0f, 1.0f);
    }
    if (startsWith("FS") || startsWith("SS") || startsWith("time") || (p && p->IsLogScale())) {
        if (auto t = linearTop(range)) return t;
        if (auto t = linearTop(dataMax())) return t;
        return std::make_unique<CTRANS>(0.0f, 1.0f);
    }
    if (auto t = logTop(range)) return t;
    if (auto t = logTop(dataMax())) return t;
    return std::make_unique<CLogTRANS>(0.0f, 1.0f);
}

CTRANS* VexaDataShell::GetTrans(int32_t i) {
    if (i < 0 || i >= GetParamCount()) return nullptr;
    if (m_transforms.size() < size_t(i) + 1) CreateDefaultTransforms();
    return m_transforms[size_t(i)].get();
}

bool VexaDataShell::SetTrans(std::unique_ptr<CTRANS> trans, int32_t i) {
    if (!trans || i < 0 || i >= GetParamCount()) return false;
    if (m_transforms.size() < size_t(i) + 1) CreateDefaultTransforms();
    m_transforms[size_t(i)] = std::move(trans);
    m_fractions.Invalidate(i);
    // Regions sit in display fractions: on a new axis they select other
    // events.
    bool queued = false;
    for (size_t k = 1; k < m_gates.size(); ++k) {
        const CDataRgn* r = m_gates[k]->GetRegion();
        if (!r) continue;
        if (r->GetXParam() == i || (r->UsesYParam() && r->GetYParam() == i)) {
            m_gates[k]->MarkChanged(false);
            queued = true;
        }
    }
    if (queued) FlushReevaluation();
    NotifyListed(m_users, false, [i](CDataShellUser* u) { u->OnParamChanged(i); });
    return true;
}

void VexaDataShell::AddShellError(int32_t code) {
    if (std::find(errors.begin(), errors.end(), code) == errors.end()) errors.push_back(code);
}

float VexaDataShell::LogScaleOf(int32_t i) const {
    const CParam* p = GetParam(i);
    if (!p) return 0.0f;
    const double decades = p->hasDecades ? p->decades : 0.0;
    const double range = p->hasRange && p->range > 0.0f ? double(p->range) : 1.0;
    return float(decades / range);
}

float VexaDataShell::ComputeLogScale(int32_t i) {
    const CParam* p = GetParam(i);
    if (!p) return 0.0f;
    if (!p->hasDecades) AddShellError(kErrNoDecades);
    if (!(p->hasRange && p->range > 0.0f)) AddShellError(kErrNoRange);
    m_logScale = LogScaleOf(i);
    return m_logScale;
}

void VexaDataShell::ComputeLogScales() {
    // Statistics of these parameters read the scale from worker threads,
    // which must not write the error list: what they would have recorded is
    // recorded here, before any of them runs.
    for (int32_t i = 0; i < GetParamCount(); ++i) {
        const CParam* p = GetParam(i);
        if (p && p->IsLogScale()) ComputeLogScale(i);
    }
}

// ---- gates ----

bool VexaDataShell::HasEvents() const { return m_dataSet && m_dataSet->GetEventCount() > 0; }

CGateNode* VexaDataShell::GetGate(int32_t i) const {
    if (!m_dataSet || i < 0 || size_t(i) >= m_gates.size()) return nullptr;
    return m_gates[size_t(i)];
}

int32_t VexaDataShell::GetGateIndex(const CGateNode* node) const {
    if (!node) return -1;
    auto it = std::find(m_gates.begin(), m_gates.end(), node);
    return it == m_gates.end() ? -1 : int32_t(it - m_gates.begin());
}

COLORREF VexaDataShell::GetGateColor(int32_t i) const {
    const CGateNode* g = GetGate(i);
    return g ? g->GetColor() : 0;
}

CDataRgn* VexaDataShell::GetRegion(int32_t i) const {
    if (i < 0 || size_t(i) >= m_regions.size()) return nullptr;
    return m_regions[size_t(i)];
}

int32_t VexaDataShell::GetRegionIndex(const CDataRgn* region) const {
    if (!region) return -1;
    auto it = std::find(m_regions.begin(), m_regions.end(), region);
    return it == m_regions.end() ? -1 : int32_t(it - m_regions.begin());
}

GateEventIterator VexaDataShell::GetGateEventIterator(int32_t i) const {
    const CGateNode* g = GetGate(i);
    return g ? g->GetEventIterator() : GateEventIterator();
}

CGateNode* VexaDataShell::AppendGate(std::unique_ptr<CGateNode> node) {
    CGateNode* n = node.release();
    m_gates.push_back(n);
    return n;
}

CGateNode* VexaDataShell::AddLogicGate(char op, const std::vector<CGateNode*>& inputs, const std::string& name) {
    if (op != kGateAnd && op != kGateOr && op != kGateNot && op != kGateAll) return nullptr;
    for (size_t i = 0; i < inputs.size(); ++i) {
        if (GetGateIndex(inputs[i]) < 0) return nullptr;  // null or another shell's gate
        if (std::find(inputs.begin(), inputs.begin() + ptrdiff_t(i), inputs[i]) != inputs.begin() + ptrdiff_t(i))
            return nullptr;  // the same input twice
    }
    CGateNode* n = AppendGate(std::make_unique<CGateNode>(this, op, inputs, name));
    NotifyListed(m_users, false, [](CDataShellUser* u) { u->OnGatesChanged(); });
    return n;
}

CGateNode* VexaDataShell::AddNotGate(CGateNode* node, const std::string& name) {
    if (GetGateIndex(node) < 0) return nullptr;
    CGateNode* n = AppendGate(std::make_unique<CGateNode>(this, node, name));
    NotifyListed(m_users, false, [](CDataShellUser* u) { u->OnGatesChanged(); });
    return n;
}

CGateNode* VexaDataShell::AddNotGateAt(int32_t index, const std::string& name) {
    if (index < 0 || size_t(index) >= m_gates.size()) return nullptr;
    return AddNotGate(m_gates[size_t(index)], name);
}

CGateNode* VexaDataShell::AddRegionGate(std::unique_ptr<CDataRgn> region, int32_t parentIndex,
                                       const std::string& name) {
    if (!region || parentIndex < 0 || size_t(parentIndex) >= m_gates.size()) return nullptr;
    // A region over parameters this data set does not have selects nothing
    // and would block every later reload.
    if (m_dataSet && !region->FitsParamCount(GetParamCount())) return nullptr;
    CGateNode* first = CreateRegionGates(std::move(region), m_gates[size_t(parentIndex)], name, true);
    RebuildRegionList();
    return first;
}

CGateNode* VexaDataShell::CreateRegionGates(std::unique_ptr<CDataRgn> region, CGateNode* parent,
                                           const std::string& name, bool notify) {
    if (!region) return nullptr;
    int32_t part = -1;
    if (region->GetType() == kRgnQuadrant) part = static_cast<CrQuadrant*>(region.get())->GetPart();
    CGateNode* first = AppendGate(std::make_unique<CGateNode>(this, std::move(region), parent, name));
    if (part == 0) AddQuadrantParts(first, parent, nullptr);
    if (notify && part <= 0) NotifyListed(m_users, false, [](CDataShellUser* u) { u->OnGatesChanged(); });
    return first;
}

void VexaDataShell::AddQuadrantParts(CGateNode* part0, CGateNode* parent, const CGateNode* colorsFrom) {
    auto* q = static_cast<CrQuadrant*>(part0->GetRegion());
    const VexaDataShell* other = colorsFrom ? colorsFrom->GetShell() : nullptr;
    const int32_t from = other ? other->GetGateIndex(colorsFrom) : -1;
    for (int32_t i = 1; i < 4; ++i) {
        std::unique_ptr<CrQuadrant> r = q->TakePart(i);
        if (!r) continue;
        CGateNode* n = AppendGate(std::make_unique<CGateNode>(this, std::move(r), parent, part0->GetName()));
        if (from >= 0 && size_t(from + i) < other->m_gates.size()) n->m_color = other->m_gates[size_t(from + i)]->m_color;
    }
}

CGateNode* VexaDataShell::AddGate(std::unique_ptr<CGateNode> node) {
    if (!node || node->GetShell() != this || GetGateIndex(node.get()) >= 0) return nullptr;
    CGateNode* n = AppendGate(std::move(node));
    if (n->GetQuadrantPart() == 0)
        AddQuadrantParts(n, n->GetInputs().empty() ? nullptr : n->GetInputs()[0], nullptr);
    NotifyListed(m_users, false, [](CDataShellUser* u) { u->OnGatesChanged(); });
    RebuildRegionList();
    return n;
}

CGateNode* VexaDataShell::CopyGateFrom(const CGateNode& node, const VexaDataShell& other) {
    std::vector<CGateNode*> mapped;
    for (CGateNode* in : node.GetInputs()) {
        const int32_t k = other.GetGateIndex(in);
        if (k < 0 || size_t(k) >= m_gates.size()) {
            AddShellError(kErrCopyInputMissing);
            continue;
        }
        mapped.push_back(m_gates[size_t(k)]);
    }
    return AppendGate(std::make_unique<CGateNode>(this, node, mapped));
}

void VexaDataShell::CopyGates(const VexaDataShell& other) {
    if (&other == this) return;
    bool added = false;
    for (size_t i = 1; i < other.m_gates.size(); ++i) {
        const CGateNode* src = other.m_gates[i];
        const int32_t part = src->GetQuadrantPart();
        if (part > 0) continue;  // made with its part 0
        CGateNode* copy = CopyGateFrom(*src, other);
        if (part == 0)
            AddQuadrantParts(copy, copy->GetInputs().empty() ? nullptr : copy->GetInputs()[0], src);
        added = true;
    }
    RebuildRegionList();
    if (added) NotifyListed(m_users, false, [](CDataShellUser* u) { u->OnGatesChanged(); });
}

void VexaDataShell::RebuildRegionList() {
    m_regions.clear();
    for (CGateNode* g : m_gates) {
        CDataRgn* r = g->GetRegion();
        if (!r) continue;
        if (r->GetType() == kRgnQuadrant && g->GetQuadrantPart() != 0) continue;
        m_regions.push_back(r);
    }
}

bool VexaDataShell::RemoveGateAt(int32_t index) {
    if (index <= 0 || size_t(index) >= m_gates.size()) return false;
    CGateNode* gate = m_gates[size_t(index)];
    NotifyListed(m_users, true, [gate](CDataShellUser* u) { u->OnGateRemoving(gate); });
    // The users may have changed the gate list while they were told.
    const int32_t k = GetGateIndex(gate);
    if (k <= 0) return false;
    if (gate->GetQuadrantPart() < 0) FreeId(m_gateIds, gate->GetId());
    m_gates.erase(m_gates.begin() + k);
    m_pending.erase(std::remove(m_pending.begin(), m_pending.end(), gate), m_pending.end());
    gate->m_queued = false;
    RebuildRegionList();
    return true;
}

void VexaDataShell::RemoveGate(CGateNode* node, bool notify) {
    const int32_t k = GetGateIndex(node);
    if (k <= 0) return;
    DeleteGateAt(k, notify);
}

std::vector<CGateNode*> VexaDataShell::GatesRemovedWith(CGateNode* node) const {
    std::vector<CGateNode*> doomed;
    if (GetGateIndex(node) <= 0) return doomed;
    // Every gate that depends on node, directly or through others, listed
    // once whatever the shape of the graph (a quadrant goes with all its
    // parts).
    std::vector<CGateNode*> stack;
    auto push = [&](CGateNode* g) {
        if (!g || !g->GetShell() || g->GetShell()->GetGateIndex(g) <= 0) return;
        if (std::find(doomed.begin(), doomed.end(), g) != doomed.end()) return;
        doomed.push_back(g);
        stack.push_back(g);
    };
    auto pushParts = [&](CGateNode* g) {
        if (g->GetQuadrantPart() < 0) return;
        auto* q = static_cast<CrQuadrant*>(g->GetRegion());
        for (int32_t i = 0; i < 4; ++i) push(q->GetPartGate(i));
    };
    push(node);
    while (!stack.empty()) {
        CGateNode* g = stack.back();
        stack.pop_back();
        pushParts(g);
        for (CGateNode* c : g->GetChildren()) push(c);
    }
    return doomed;
}

void VexaDataShell::DeleteGateAt(int32_t index, bool notify) {
    // Each entry keeps its shell so that it can be checked without touching
    // the node.
    struct Doomed {
        CGateNode* gate;
        VexaDataShell* shell;
    };
    std::vector<Doomed> doomed;
    for (CGateNode* g : GatesRemovedWith(m_gates[size_t(index)])) doomed.push_back({g, g->GetShell()});
    auto listed = [&doomed](const CGateNode* g) {
        return std::any_of(doomed.begin(), doomed.end(), [g](const Doomed& d) { return d.gate == g; });
    };
    // Delete dependants before their inputs: each time the gate latest in
    // its shell's order among those no listed gate depends on.
    while (!doomed.empty()) {
        // Users told of a removal may have removed listed gates themselves.
        doomed.erase(std::remove_if(doomed.begin(), doomed.end(),
                                    [](const Doomed& d) { return d.shell->GetGateIndex(d.gate) <= 0; }),
                     doomed.end());
        if (doomed.empty()) break;
        size_t best = 0;
        int32_t bestIndex = -1;
        for (size_t i = 0; i < doomed.size(); ++i) {
            const CGateNode* g = doomed[i].gate;
            const auto& ch = g->GetChildren();
            if (std::any_of(ch.begin(), ch.end(), listed)) continue;
            const int32_t k = doomed[i].shell->GetGateIndex(g);
            if (k > bestIndex) {
                bestIndex = k;
                best = i;
            }
        }
        const Doomed d = doomed[best];
        doomed.erase(doomed.begin() + ptrdiff_t(best));
        if (d.shell->RemoveGateAt(d.shell->GetGateIndex(d.gate))) delete d.gate;
    }
    if (notify) NotifyListed(m_users, false, [](CDataShellUser* u) { u->OnDataChanged(); });
}

void VexaDataShell::QueueReevaluation(CGateNode* node) {
    if (!node || node->m_queued) return;
    node->m_queued = true;
    m_pending.push_back(node);
}

void VexaDataShell::FlushReevaluation() {
    std::vector<CGateNode*> order;
    for (size_t i = 1; i < m_gates.size(); ++i)
        if (m_gates[i]->m_queued) order.push_back(m_gates[i]);
    for (CGateNode* g : m_pending) g->m_queued = false;
    m_pending.clear();
    for (CGateNode* g : order) {
        // Users told about an earlier gate may have removed this one.
        if (GetGateIndex(g) < 0) continue;
        g->Evaluate(true);
    }
    NotifyListed(m_users, false, [](CDataShellUser* u) { u->OnDataChanged(); });
}

void VexaDataShell::EvaluateAll() {
    for (size_t i = 0; i < m_gates.size(); ++i) m_gates[i]->Evaluate(false);
}

void VexaDataShell::OnDataSetChanged() {
    if (!m_dataSet) m_fractions.Clear();
    EvaluateAll();
    NotifyListed(m_users, false, [](CDataShellUser* u) { u->OnDataChanged(); });
}

// ---- observers ----

void VexaDataShell::AddUser(CDataShellUser* user) {
    if (!user) return;
    if (std::find(m_users.begin(), m_users.end(), user) == m_users.end()) m_users.push_back(user);
}

void VexaDataShell::RemoveUser(CDataShellUser* user, bool notify) {
    if (std::find(m_users.begin(), m_users.end(), user) == m_users.end()) return;
    if (notify) user->DetachShell(false, true);
    auto it = std::find(m_users.begin(), m_users.end(), user);
    if (it != m_users.end()) m_users.erase(it);
}

std::string VexaDataShell::FreeGateName(const std::string& prefix, int32_t id) const {
    auto taken = [this](const std::string& name) {
        for (const CGateNode* g : m_gates)
            if (g->GetName() == name || g->GetDisplayName(true) == name) return true;
        return false;
    };
    // Every gate takes at most one number, so a free one lies within the
    // gate count past id.
    for (int64_t n = std::max<int32_t>(id, 0);; ++n) {
        std::string name = prefix + std::to_string(n);
        if (!taken(name)) return name;
    }
}

// ---- id pools ----

int32_t VexaDataShell::NewId(int32_t kind) {
    std::vector<uint8_t>& pool = kind ? m_gateIds : m_quadIds;
    for (size_t i = 0; i < pool.size(); ++i) {
        if (pool[i] == 0) {
            pool[i] = 1;
            return int32_t(i);
        }
    }
    pool.push_back(1);
    return int32_t(pool.size()) - 2;
}

void VexaDataShell::FreeId(std::vector<uint8_t>& pool, int32_t id) {
    // The last slot stays used: it marks the end of the ids handed out.
    if (id > 0 && size_t(id) + 1 < pool.size()) pool[size_t(id)] = 0;
}

void VexaDataShell::SetIdPools(std::vector<uint8_t> gateIds, std::vector<uint8_t> quadIds) {
    m_gateIds = std::move(gateIds);
    m_quadIds = std::move(quadIds);
    if (m_gateIds.empty()) m_gateIds.push_back(1);
    m_gateIds[0] = 1;  // the root's
    if (m_quadIds.empty() || m_quadIds.back() == 0) m_quadIds.push_back(1);
    if (m_gateIds.back() == 0) m_gateIds.push_back(1);
}

// ---- compensation ----

std::vector<uint64_t> VexaDataShell::ColumnGenerations() const {
    const CEventMatrix* em = m_dataSet ? m_dataSet->GetEventMatrix() : nullptr;
    std::vector<uint64_t> g;
    if (!em) return g;
    for (int32_t i = 0; i < em->GetParamCount(); ++i) g.push_back(em->GetColumnGeneration(i));
    return g;
}

void VexaDataShell::OnColumnsChanged(const std::vector<uint64_t>& before) {
    const std::vector<uint64_t> now = ColumnGenerations();
    if (now.empty() || now.size() != before.size()) {
        OnDataSetChanged();
        return;
    }
    auto moved = [&](int32_t u) { return u >= 0 && size_t(u) < now.size() && now[size_t(u)] != before[size_t(u)]; };
    // A gate's mask follows from its inputs and its region's columns alone
    // (transforms and events are the same): the others would come out as
    // they are, and keeping them keeps their statistics.
    const size_t n = m_gates.size();
    std::vector<uint8_t> again(n, 0);
    for (size_t i = 0; i < n; ++i)
        if (const CDataRgn* r = m_gates[i]->GetRegion())
            again[i] = moved(r->GetXParam()) || (r->UsesYParam() && moved(r->GetYParam()));
    // Their dependants, wherever they stand in the list.
    for (bool grew = true; grew;) {
        grew = false;
        for (size_t i = 0; i < n; ++i) {
            if (again[i]) continue;
            for (const CGateNode* in : m_gates[i]->GetInputs()) {
                const int32_t at = GetGateIndex(in);
                if (at >= 0 && again[size_t(at)]) {
                    again[i] = 1;
                    grew = true;
                    break;
                }
            }
        }
    }
    // In the order every gate is evaluated in, so each sees what it would.
    for (size_t i = 0; i < n; ++i)
        if (again[i]) m_gates[i]->Evaluate(false);
    NotifyListed(m_users, false, [](CDataShellUser* u) { u->OnDataChanged(); });
}

void VexaDataShell::SetUpCompensation(bool identityIsModeZero) {
    CParamSet* ps = m_dataSet ? m_dataSet->GetParamSet() : nullptr;
    const CSpillMatrix* spill = ps ? ps->GetSpillMatrix() : nullptr;
    // A file without SPILL keeps no matrix: no matrix means the identity,
    // and one over every parameter would cost $PAR squared.
    if (spill && SetCompMatrix(spill, true)) return;
    m_fileMatrix.reset();
    if (identityIsModeZero) m_compMode = 0;
}

bool VexaDataShell::HasFileSpill() const {
    const CParamSet* ps = m_dataSet ? m_dataSet->GetParamSet() : nullptr;
    return ps && ps->GetSpillMatrix();
}

bool VexaDataShell::SetCompMatrix(const CSpillMatrix* matrix, bool store) {
    CEventMatrix* em = m_dataSet ? m_dataSet->GetEventMatrix() : nullptr;
    if (!matrix) {
        if (em) em->ResetCurrentColumns();
        return true;
    }
    // Events and stored matrix always go together: a matrix the events
    // cannot be compensated with (singular, foreign indices) is refused.
    if (em) {
        if (IsIdentity(*matrix)) em->ResetCurrentColumns();
        else if (!m_dataSet->Compensate(matrix)) return false;
    }
    if (store) {
        m_fileMatrix = matrix->n > 0 ? std::make_unique<CSpillMatrix>(*matrix) : nullptr;
        // A file without SPILL is analysed over the identity of all its
        // parameters; a matrix stored for it names only those edited.
        m_fileCoversAll = !HasFileSpill();
    }
    return true;
}

float VexaDataShell::GetCompValue(int32_t rowParam, int32_t colParam) const {
    const bool editing = m_editMatrix != nullptr;
    const CSpillMatrix* m = editing ? m_editMatrix.get() : m_fileMatrix.get();
    if (!m) return -1.0f;
    const int32_t r = PositionOf(*m, rowParam);
    const int32_t c = PositionOf(*m, colParam);
    if (r >= 0 && c >= 0) {
        const float* v = m->Element(r, c);
        return v ? *v : -1.0f;
    }
    // Over the identity of every parameter, one the matrix does not name is
    // simply not compensated.
    const bool coversAll = editing ? m_editCoversAll : m_fileCoversAll;
    if (!coversAll || !GetParam(rowParam) || !GetParam(colParam)) return -1.0f;
    return rowParam == colParam ? 1.0f : 0.0f;
}

bool VexaDataShell::IsInCompMatrix(int32_t param) const {
    if (!GetParam(param)) return false;
    const bool editing = m_editMatrix != nullptr;
    const CSpillMatrix* m = editing ? m_editMatrix.get() : m_fileMatrix.get();
    if (m && PositionOf(*m, param) >= 0) return true;
    // Without a stored matrix the events are uncompensated: the identity,
    // which an edit begun now covers every parameter with.
    if (!m) return true;
    return editing ? m_editCoversAll : m_fileCoversAll;
}

bool VexaDataShell::SetCompValue(int32_t rowParam, int32_t colParam, float value) {
    const bool editing = m_editMatrix != nullptr;
    std::unique_ptr<CSpillMatrix>& held = editing ? m_editMatrix : m_fileMatrix;
    if (!held) return false;
    CSpillMatrix* m = held.get();
    const int32_t r = PositionOf(*m, rowParam);
    const int32_t c = PositionOf(*m, colParam);
    if (r < 0 || c < 0) {
        // Over the identity of every parameter the matrix takes in the two
        // it lacks, and only those: a full $PAR x $PAR matrix could not be
        // afforded for a wide file.
        const bool coversAll = editing ? m_editCoversAll : m_fileCoversAll;
        if (!coversAll || !GetParam(rowParam) || !GetParam(colParam)) return false;
        CSpillMatrix wider = Widened(*m, {rowParam, colParam});
        *wider.Element(PositionOf(wider, rowParam), PositionOf(wider, colParam)) = value;
        const std::vector<uint64_t> before = ColumnGenerations();
        if (!SetCompMatrix(&wider, false)) return false;
        held = std::make_unique<CSpillMatrix>(std::move(wider));
        OnColumnsChanged(before);
        return true;
    }
    float* v = m->Element(r, c);
    if (!v) return false;
    const float before = *v;
    *v = value;
    const std::vector<uint64_t> generations = ColumnGenerations();
    if (!SetCompMatrix(m, false)) {
        *v = before;  // the matrix shown stays the one the events follow
        return false;
    }
    // The gates follow the events at once, so that nothing shows masks of
    // the previous values.
    OnColumnsChanged(generations);
    return true;
}

bool VexaDataShell::EditCompensation(int32_t step) {
    switch (step) {
        case kCompBeginEdit:
            // No stored matrix is the identity over every parameter; the
            // working matrix starts empty and takes in what is edited.
            m_editMatrix = m_fileMatrix ? std::make_unique<CSpillMatrix>(*m_fileMatrix)
                                        : std::make_unique<CSpillMatrix>(0);
            m_editCoversAll = m_fileMatrix ? m_fileCoversAll : true;
            return true;
        case kCompApply: {
            // A refused matrix stays the working one, to be mended or dropped.
            const std::vector<uint64_t> before = ColumnGenerations();
            if (m_editMatrix) {
                if (!SetCompMatrix(m_editMatrix.get(), true)) return false;
                m_fileCoversAll = m_editCoversAll;
            }
            m_editMatrix.reset();
            OnColumnsChanged(before);
            return true;
        }
        case kCompRestore: {
            const std::vector<uint64_t> before = ColumnGenerations();
            SetCompMatrix(m_fileMatrix.get(), false);
            m_editMatrix.reset();
            OnColumnsChanged(before);
            return true;
        }
        default:
            OnDataSetChanged();
            return true;
    }
}

void VexaDataShell::SetCompMode(int32_t mode) {
    m_compMode = mode;
    if (mode == 0) return;
    if (mode == 1) {
        CParamSet* ps = m_dataSet ? m_dataSet->GetParamSet() : nullptr;
        SetCompMatrix(ps ? ps->GetSpillMatrix() : nullptr, false);
    } else if (mode == 2) {
        SetCompMatrix(m_fileMatrix.get(), false);
    } else {
        SetCompMatrix(m_editMatrix.get(), false);
    }
    OnDataSetChanged();
}

// ---- data switch ----

bool VexaDataShell::OpenDataSet(const std::string& path, int32_t index, std::string* problem) {
    if (!::IsFcsFile(path, index)) {
        if (problem) *problem = FcsFileProblem(path);
        return false;
    }
    CDataSet* ds = nullptr;
    try {
        ds = new CDataSet(path, index);
    } catch (const std::exception&) {
        if (problem) *problem = kFcsNoMemoryProblem;
        return false;  // no memory for it: a file that cannot be read
    }
    if (const std::string why = UnreadableDataSetProblem(*ds); !why.empty()) {
        if (problem) *problem = why;
        delete ds;
        return false;
    }
    if (!SetDataSet(ds, true)) {
        if (ds->GetUsers().empty()) delete ds;
        return false;
    }
    return true;
}

bool VexaDataShell::IsLayoutCompatible(const CDataSet* other) {
    m_renamed.clear();
    m_offeredParams = other ? other->GetParamCount() : -1;
    if (!other) return false;
    const int32_t n = other->GetParamCount();
    for (const CDataRgn* r : m_regions)
        if (!r->FitsParamCount(n)) return false;
    const int32_t common = std::min(n, GetParamCount());
    for (int32_t i = 0; i < common; ++i) {
        const CParam* a = GetParam(i);
        const CParam* b = other->GetParam(i);
        const float ra = a ? a->range : 0.0f;
        const float rb = b ? b->range : 0.0f;
        if (ra != rb) {
            AddShellError(kErrRangesDiffer);
            return false;
        }
    }
    // Equal ranges are common (many detectors share one): plots and regions
    // name parameters by place, so another name at a place means they would
    // show another parameter. Every such place is kept for the message.
    // A place without a name on either side (a template keeps ranges only)
    // takes any name.
    for (int32_t i = 0; i < common; ++i) {
        const CParam* a = GetParam(i);
        const CParam* b = other->GetParam(i);
        if (!a || !b || !a->hasName || !b->hasName) continue;
        // Compared as bytes, kept as the message shows them.
        if (a->name != b->name) m_renamed.push_back({i, CDataSet::ShownText(a->name), CDataSet::ShownText(b->name)});
    }
    if (m_renamed.empty()) return true;
    AddShellError(kErrNamesDiffer);
    return false;
}

bool VexaDataShell::SetDataSet(CDataSet* dataSet, bool notify) {
    m_renamed.clear();
    m_offeredParams = -1;
    if (!dataSet || dataSet == m_dataSet) return false;
    if (!IsLoaded(dataSet) || !IsLayoutCompatible(dataSet)) return false;
    VexaDataSetUser::SetDataSet(dataSet, false);
    ComputeLogScales();
    m_path = dataSet->GetPathName();
    m_index = dataSet->GetIndex();
    m_fractions.Clear();
    // Compensate the new events before any gate looks at them.
    m_editMatrix.reset();
    const CSpillMatrix* spill = dataSet->GetParamSet()->GetSpillMatrix();
    if (!spill || !SetCompMatrix(spill, true)) {
        dataSet->GetEventMatrix()->ResetCurrentColumns();
        m_fileMatrix.reset();
    }
    if (notify) OnDataSetChanged();
    else EvaluateAll();
    return true;
}
