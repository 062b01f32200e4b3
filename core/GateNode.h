#pragma once
// One gate of a data shell's gate tree: a named set of events kept as a bit
// mask. The gates of a shell form a directed acyclic graph: the root "All"
// selects every event, a region gate the events of its parent inside a
// region, NOT/AND/OR gates combine other gates. Inputs always come before the
// gates that use them in the shell's gate vector.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/Geometry.h"
#include "core/EventBitMask.h"

class VexaDataShell;
class CDataRgn;
class CGateUser;
class CStatItem;

enum GateOperator : char {
    kGateAll = '0',     // the root: every event
    kGateRegion = '%',  // events of input 0 inside the region
    kGateNot = '!',
    kGateAnd = '&',
    kGateOr = '|',
};

// Display suffixes of the four parts of a quadrant.
enum QuadrantPart : int32_t { kQuadUR = 0, kQuadUL = 1, kQuadLL = 2, kQuadLR = 3 };

// The gate colour palette: nine entries of shared program state (a loaded
// document copies its gate colours into it). New gates take entry id mod 6.
constexpr int kGatePaletteSize = 9;
COLORREF* GateColorPalette();
void ResetGateColorPalette();
COLORREF GetDefaultGateColor(int32_t id);

class CGateNode {
public:
    // The root "All" of shell.
    explicit CGateNode(VexaDataShell* shell);
    // A copy of source (a gate of another shell) on the given inputs of shell.
    CGateNode(VexaDataShell* shell, const CGateNode& source, const std::vector<CGateNode*>& inputs);
    // NOT of input.
    CGateNode(VexaDataShell* shell, CGateNode* input, const std::string& name);
    // AND/OR (any operator, for readers of stored gates) of inputs. Null and
    // repeated inputs are not linked.
    CGateNode(VexaDataShell* shell, char op, const std::vector<CGateNode*>& inputs,
              const std::string& name);
    // Region gate: the events of parent inside region (the node owns it).
    CGateNode(VexaDataShell* shell, std::unique_ptr<CDataRgn> region, CGateNode* parent,
              const std::string& name);
    ~CGateNode();
    CGateNode(const CGateNode&) = delete;
    CGateNode& operator=(const CGateNode&) = delete;

    int32_t GetId() const { return m_id; }
    void SetId(int32_t id) { m_id = id; }
    const std::string& GetName() const { return m_name; }
    char GetOperator() const { return m_op; }
    CDataRgn* GetRegion() const { return m_region.get(); }
    VexaDataShell* GetShell() const { return m_shell; }
    COLORREF GetColor() const { return m_color; }
    CStatItem* GetStatItem() const { return m_stat.get(); }
    // Never null; 0 bits while the shell has no events.
    const EventBitMask& GetMask() const { return *m_mask; }
    // Changes whenever the mask is replaced (masks are never edited in
    // place), unique across all gates: what a cache of figures derived from
    // the mask compares.
    uint64_t GetMaskSerial() const { return m_maskSerial; }
    const std::vector<CGateNode*>& GetInputs() const { return m_inputs; }
    const std::vector<CGateNode*>& GetChildren() const { return m_children; }
    const std::vector<CGateUser*>& GetUsers() const { return m_users; }
    const std::vector<int32_t>& GetErrors() const { return m_errors; }
    void CopyErrorsTo(std::vector<int32_t>& out) const;

    // Region type code 0-6, -1 without a region.
    int32_t GetRegionType() const;
    // 0-3 for the gate of a quadrant part, -1 otherwise.
    int32_t GetQuadrantPart() const;
    int32_t GetTotalEvents() const;
    // Walks this gate's events over the current columns; an empty iterator
    // (Valid() false) without data.
    GateEventIterator GetEventIterator() const;
    // With withPartSuffix a quadrant part's name ends in -UR, -UL, -LL, -LR.
    std::string GetDisplayName(bool withPartSuffix = true) const;

    void SetName(const std::string& name);
    void SetColor(COLORREF color);
    void AddUser(CGateUser* user);
    void RemoveUser(CGateUser* user, bool notify);

    // Rebuilds the mask from the inputs (and the region); with propagate the
    // users and the statistics' users are told.
    void Evaluate(bool propagate);
    // Queues this gate and everything that depends on it for re-evaluation;
    // with flush the shell re-evaluates the queue at once.
    void MarkChanged(bool flush);
    // True when the region's parameters exist among n parameters.
    bool FitsParamCount(int32_t n) const;
    // How many of the given events (a mask over this gate's data set) lie in
    // this gate's region, whatever its parent holds: what a plot gated
    // elsewhere shows inside the region. Events within the parent's are
    // counted from this gate's mask; others take a hit test of the region.
    // Without a region: the given events that are in this gate.
    uint32_t CountInRegion(const EventBitMask& events) const;

    // Links this node to input (appends to the input's children and to this
    // node's inputs). Refuses null, this node and inputs already linked.
    bool LinkInput(CGateNode* input);
    bool LinkInputs(const std::vector<CGateNode*>& inputs);

private:
    friend class VexaDataShell;

    void Init(VexaDataShell* shell, char op, const std::string& name);
    void AssignIdAndName();
    void AddError(int32_t code);
    void UnlinkFromInputs();
    void Propagate();

    int32_t m_id = 0;
    std::unique_ptr<CStatItem> m_stat;
    std::string m_name;
    char m_op = kGateAll;
    std::unique_ptr<CDataRgn> m_region;
    VexaDataShell* m_shell = nullptr;
    std::unique_ptr<EventBitMask> m_mask;
    uint64_t m_maskSerial = 0;
    void SetMask(std::unique_ptr<EventBitMask> mask);
    std::vector<CGateNode*> m_children;
    std::vector<CGateNode*> m_inputs;
    std::vector<CGateUser*> m_users;
    std::vector<int32_t> m_errors;
    COLORREF m_color = 0;
    bool m_queued = false;  // in the shell's re-evaluation queue
};
