#include "core/GateNode.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <iostream>

#include "core/DataSet.h"
#include "core/DataShell.h"
#include "core/ErrorCodes.h"
#include "core/Observers.h"
#include "core/Region.h"
#include "core/StatItem.h"

namespace {
constexpr COLORREF kDefaultPalette[kGatePaletteSize] = {
    0x101010, 0x0000FF, 0x00FF00, 0xFF0000, 0xFFFF00, 0xFF00FF, 0x00FFFF, 0, 0,
};
COLORREF g_palette[kGatePaletteSize] = {
    0x101010, 0x0000FF, 0x00FF00, 0xFF0000, 0xFFFF00, 0xFF00FF, 0x00FFFF, 0, 0,
};

// Copies the event bits of src into dst (both sized for the same events);
// words dst has beyond src stay clear.
void CopyBits(EventBitMask& dst, const EventBitMask& src) {
    dst.Clear();
    const uint32_t n = std::min(dst.GetWordCount(), src.GetWordCount());
    std::memcpy(dst.Words(), src.Words(), size_t(n) * sizeof(uint32_t));
}

// Bits past the last event belong to no event; keep them clear so that
// word-wise readers need no special case.
void ClearPadding(EventBitMask& m) {
    const uint32_t rest = m.GetBitCount() & 31;
    const uint32_t last = m.GetBitCount() >> 5;
    uint32_t* w = m.Words();
    w[last] &= rest ? ((1u << rest) - 1) : 0u;
    for (uint32_t i = last + 1; i < m.GetWordCount(); ++i) w[i] = 0;
}
}  // namespace

COLORREF* GateColorPalette() { return g_palette; }

void ResetGateColorPalette() { std::memcpy(g_palette, kDefaultPalette, sizeof g_palette); }

COLORREF GetDefaultGateColor(int32_t id) {
    int32_t k = id % 6;
    if (k < 0) k += 6;
    return g_palette[k];
}

// ---- construction ----

void CGateNode::Init(VexaDataShell* shell, char op, const std::string& name) {
    m_shell = shell;
    m_op = op;
    m_name = name;
    m_stat = std::make_unique<CStatItem>(this);
    SetMask(std::make_unique<EventBitMask>(0));
}

CGateNode::CGateNode(VexaDataShell* shell) {
    Init(shell, kGateAll, "All");
    m_id = shell ? shell->NewId(kGateIdPool) : 0;
    m_color = g_palette[0];
    Evaluate(true);
}

CGateNode::CGateNode(VexaDataShell* shell, const CGateNode& source, const std::vector<CGateNode*>& inputs) {
    Init(shell, source.m_op, source.m_name);
    if (source.m_region) {
        m_region = source.m_region->Clone();
        m_region->SetOwner(this);
        if (m_region->GetName() != m_name) m_region->SetName(m_name);
    }
    LinkInputs(inputs);
    const bool quadrant = m_region && m_region->GetType() == kRgnQuadrant;
    m_id = shell ? shell->NewId(quadrant ? kQuadrantIdPool : kGateIdPool) : 0;
    m_color = source.m_color;
    Evaluate(true);
}

CGateNode::CGateNode(VexaDataShell* shell, CGateNode* input, const std::string& name) {
    Init(shell, kGateNot, name);
    LinkInput(input);
    AssignIdAndName();
    Evaluate(true);
}

CGateNode::CGateNode(VexaDataShell* shell, char op, const std::vector<CGateNode*>& inputs,
                     const std::string& name) {
    Init(shell, op, name);
    LinkInputs(inputs);
    AssignIdAndName();
    Evaluate(true);
}

CGateNode::CGateNode(VexaDataShell* shell, std::unique_ptr<CDataRgn> region, CGateNode* parent,
                     const std::string& name) {
    Init(shell, kGateRegion, name);
    m_region = std::move(region);
    if (m_region) m_region->SetOwner(this);
    LinkInput(parent);
    AssignIdAndName();
    if (m_region) m_region->SetName(m_name);
    Evaluate(true);
}

void CGateNode::AssignIdAndName() {
    const int32_t part = GetQuadrantPart();
    if (part < 0) {
        m_id = m_shell ? m_shell->NewId(kGateIdPool) : 0;
        if (m_name.empty()) m_name = m_shell ? m_shell->FreeGateName("G", m_id) : "G" + std::to_string(m_id);
        m_color = GetDefaultGateColor(m_id);
    } else if (part == 0) {
        m_id = m_shell ? m_shell->NewId(kQuadrantIdPool) : 0;
        if (m_name.empty()) m_name = m_shell ? m_shell->FreeGateName("Q", m_id) : "Q" + std::to_string(m_id);
        m_color = m_inputs.empty() ? GetDefaultGateColor(m_id) : m_inputs[0]->m_color;
    } else {
        auto* q = static_cast<CrQuadrant*>(m_region.get());
        CGateNode* first = q->GetPartGate(0);
        m_id = first ? first->m_id : 0;
        m_color = m_inputs.empty() ? GetDefaultGateColor(m_id) : m_inputs[0]->m_color;
    }
}

bool CGateNode::LinkInput(CGateNode* input) {
    if (!input || input == this) return false;
    if (std::find(m_inputs.begin(), m_inputs.end(), input) != m_inputs.end()) return false;
    input->m_children.push_back(this);
    m_inputs.push_back(input);
    return true;
}

bool CGateNode::LinkInputs(const std::vector<CGateNode*>& inputs) {
    bool all = true;
    for (CGateNode* in : inputs) all = LinkInput(in) && all;
    return all;
}

void CGateNode::UnlinkFromInputs() {
    for (CGateNode* in : m_inputs) {
        auto& ch = in->m_children;
        ch.erase(std::remove(ch.begin(), ch.end(), this), ch.end());
    }
    m_inputs.clear();
}

CGateNode::~CGateNode() {
    UnlinkFromInputs();
    // The shell removes dependants before their inputs; what is left here
    // belongs to a gate that was linked across shells. Their own shells
    // remove them (with everything that depends on them).
    while (!m_children.empty()) {
        CGateNode* child = m_children.back();
        m_children.pop_back();
        auto& in = child->m_inputs;
        in.erase(std::remove(in.begin(), in.end(), this), in.end());
        if (child->m_shell) child->m_shell->RemoveGate(child, false);
    }
    NotifyListed(m_users, true, [this](CGateUser* user) { RemoveUser(user, true); });
    m_users.clear();
    if (m_shell) {
        auto& pending = m_shell->m_pending;
        pending.erase(std::remove(pending.begin(), pending.end(), this), pending.end());
    }
    m_stat.reset();
    m_region.reset();
}

// ---- accessors ----

void CGateNode::CopyErrorsTo(std::vector<int32_t>& out) const {
    out.insert(out.end(), m_errors.begin(), m_errors.end());
}

int32_t CGateNode::GetRegionType() const { return m_region ? m_region->GetType() : -1; }

int32_t CGateNode::GetQuadrantPart() const {
    if (!m_region || m_region->GetType() != kRgnQuadrant) return -1;
    return static_cast<const CrQuadrant*>(m_region.get())->GetPart();
}

int32_t CGateNode::GetTotalEvents() const { return m_shell ? m_shell->GetTotalEvents() : 0; }

GateEventIterator CGateNode::GetEventIterator() const {
    CDataSet* ds = m_shell ? m_shell->GetDataSet() : nullptr;
    CEventMatrix* m = ds ? ds->GetEventMatrix() : nullptr;
    if (!m || m->GetParamCount() <= 0 || m->GetEventCount() <= 0) return GateEventIterator();
    return GateEventIterator(m->CurrentColumns(), uint32_t(m->GetEventCount()), *m_mask);
}

std::string CGateNode::GetDisplayName(bool withPartSuffix) const {
    const int32_t part = GetQuadrantPart();
    if (!withPartSuffix || part < 0) return m_name;
    static const char* const kSuffix[4] = {"-UR", "-UL", "-LL", "-LR"};
    return m_name + kSuffix[part];
}

bool CGateNode::FitsParamCount(int32_t n) const { return !m_region || m_region->FitsParamCount(n); }

uint32_t CGateNode::CountInRegion(const EventBitMask& events) const {
    const CGateNode* parent = m_inputs.empty() ? nullptr : m_inputs[0];
    if (!m_region || !parent || parent->m_shell != m_shell) return events.CountSetBitsAnd(*m_mask);
    if (parent->m_op == kGateAll || events.IsSubsetOf(*parent->m_mask)) return events.CountSetBitsAnd(*m_mask);
    CDataSet* ds = m_shell ? m_shell->GetDataSet() : nullptr;
    CEventMatrix* matrix = ds ? ds->GetEventMatrix() : nullptr;
    const int32_t total = matrix ? matrix->GetEventCount() : 0;
    if (total <= 0) return 0;
    EventBitMask hits{uint32_t(total)};
    RegionInput in;
    in.dataSet = ds;
    in.xTrans = m_shell->GetTrans(m_region->GetXParam());
    in.yTrans = m_region->UsesYParam() ? m_shell->GetTrans(m_region->GetYParam()) : nullptr;
    in.cache = &m_shell->GetFractionCache();
    // Crosses and quadrants keep the results of their gates' own hit tests:
    // the point test of the base leaves them as they are.
    const int32_t type = m_region->GetType();
    const bool keepsResults = type == kRgnCross || type == kRgnQuadrant;
    const bool ok =
        keepsResults ? m_region->CDataRgn::HitTest(in, hits, &events) : m_region->HitTest(in, hits, &events);
    return ok ? hits.CountSetBits() : 0;
}

// ---- edits ----

void CGateNode::SetName(const std::string& name) {
    m_name = name;
    if (m_region) m_region->SetName(name);
    NotifyListed(m_users, false, [](CGateUser* u) { u->OnGateRenamed(); });
    if (m_stat) m_stat->NotifyUsers();
}

void CGateNode::SetColor(COLORREF color) {
    m_color = color;
    NotifyListed(m_users, false, [color](CGateUser* u) { u->OnGateColorChanged(color); });
    if (m_shell) NotifyListed(m_shell->m_users, false, [this](CDataShellUser* u) { u->OnGateRecoloured(this); });
}

void CGateNode::AddUser(CGateUser* user) {
    if (!user) return;
    if (std::find(m_users.begin(), m_users.end(), user) == m_users.end()) m_users.push_back(user);
}

void CGateNode::RemoveUser(CGateUser* user, bool notify) {
    auto it = std::find(m_users.begin(), m_users.end(), user);
    if (it == m_users.end()) return;
    m_users.erase(it);
    if (notify) user->DetachGate(false, false);
}

void CGateNode::AddError(int32_t code) {
    // A broken gate is evaluated again after every data change; one entry
    // per kind of fault is enough.
    if (std::find(m_errors.begin(), m_errors.end(), code) == m_errors.end()) m_errors.push_back(code);
}

// ---- evaluation ----

void CGateNode::SetMask(std::unique_ptr<EventBitMask> mask) {
    static std::atomic<uint64_t> serials{1};
    m_mask = std::move(mask);
    m_maskSerial = serials.fetch_add(1, std::memory_order_relaxed);
}

void CGateNode::Evaluate(bool propagate) {
    CDataSet* ds = m_shell ? m_shell->GetDataSet() : nullptr;
    CEventMatrix* matrix = ds ? ds->GetEventMatrix() : nullptr;
    const int32_t total = matrix ? matrix->GetEventCount() : 0;
    if (total <= 0) {
        SetMask(std::make_unique<EventBitMask>(0));
        return;
    }
    auto mask = std::make_unique<EventBitMask>(uint32_t(total));
    // An input can be used when it belongs to this shell (its mask then
    // covers the same events).
    auto usable = [this](const CGateNode* in) { return in && in->m_shell == m_shell; };

    switch (m_op) {
        case kGateAll:
            mask->SetAll();
            break;
        case kGateNot:
            if (m_inputs.size() > 1) AddError(kErrGateNotManyInputs);
            if (m_region) AddError(kErrGateNotWithRegion);
            if (m_inputs.empty()) {
                AddError(kErrGateTooFewInputs);
            } else if (!usable(m_inputs[0])) {
                AddError(kErrGateForeignInput);
            } else {
                CopyBits(*mask, *m_inputs[0]->m_mask);
                mask->Invert();
            }
            break;
        case kGateAnd:
        case kGateOr:
            if (m_inputs.size() < 2) AddError(kErrGateTooFewInputs);
            if (m_region) std::cout << "region existing" << std::endl;
            if (m_inputs.empty()) break;
            if (!usable(m_inputs[0])) {
                // Nothing to start from: the gate stays empty.
                AddError(kErrGateForeignInput);
                break;
            }
            CopyBits(*mask, *m_inputs[0]->m_mask);
            for (size_t i = 1; i < m_inputs.size(); ++i) {
                if (!usable(m_inputs[i])) {
                    AddError(kErrGateForeignInput);
                    continue;
                }
                if (m_op == kGateAnd) mask->AndWith(*m_inputs[i]->m_mask);
                else mask->OrWith(*m_inputs[i]->m_mask);
            }
            break;
        default:
            break;
    }

    if (m_region) {
        mask->Clear();
        const CGateNode* parent = m_inputs.empty() ? nullptr : m_inputs[0];
        if (!parent) {
            AddError(kErrGateTooFewInputs);
        } else if (!usable(parent)) {
            AddError(kErrGateForeignInput);
        } else {
            const EventBitMask* parentMask = parent->m_op == kGateAll ? nullptr : parent->m_mask.get();
            RegionInput in;
            in.dataSet = ds;
            in.xTrans = m_shell->GetTrans(m_region->GetXParam());
            in.yTrans = m_region->UsesYParam() ? m_shell->GetTrans(m_region->GetYParam()) : nullptr;
            in.cache = &m_shell->GetFractionCache();
            if (!m_region->HitTest(in, *mask, parentMask)) mask->Clear();
        }
    } else if (m_op == kGateRegion && m_inputs.empty()) {
        AddError(kErrGateTooFewInputs);
    }
    ClearPadding(*mask);
    SetMask(std::move(mask));
    if (propagate) Propagate();
}

void CGateNode::Propagate() {
    NotifyListed(m_users, false, [](CGateUser* u) { u->OnGateChanged(); });
    NotifyListed(m_users, false, [](CGateUser* u) { u->OnGateUpdated(); });
    if (m_stat) m_stat->NotifyUsers();
}

void CGateNode::MarkChanged(bool flush) {
    VexaDataShell* shell = m_shell;
    if (!shell) return;
    // A gate reachable along several paths is queued once; its dependants
    // are queued with it.
    if (!m_queued) {
        shell->QueueReevaluation(this);
        for (CGateNode* child : std::vector<CGateNode*>(m_children)) child->MarkChanged(false);
    }
    if (flush) shell->FlushReevaluation();
}
