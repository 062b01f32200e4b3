#pragma once
// One FCS data set as the user analyses it: the shared data set plus what the
// analysis adds to it (one axis transform per parameter, the compensation
// matrices, the gate tree with its regions, the id pools of the gates) and the
// observers that follow it. Single-threaded: every call comes from the
// user-interface thread.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/Geometry.h"
#include "core/DataSetUser.h"
#include "core/EventBitMask.h"
#include "core/FractionCache.h"

class CDataRgn;
class CDataShellUser;
class CGateNode;
class CParam;
class CSpillMatrix;
class CTRANS;

// Steps of the compensation dialog.
enum CompensationStep : int32_t {
    kCompBeginEdit = 0,  // working matrix := copy of the stored one
    kCompApply = 1,      // store and apply the working matrix
    kCompRestore = 2,    // re-apply the stored matrix, drop the working one
};

// Id pools of VexaDataShell::NewId.
enum GateIdPool : int32_t { kQuadrantIdPool = 0, kGateIdPool = 1 };

class VexaDataShell : public VexaDataSetUser {
public:
    // On an existing data set (shared). The file's SPILL matrix compensates
    // the events; without one no matrix is kept (the identity).
    VexaDataShell(CDataSet* dataSet, const std::string& name);
    // Opens data set `index` of the FCS file at path; compensation as above
    // when setUpCompensation, else none (no stored matrix).
    VexaDataShell(const std::string& path, int32_t index, const std::string& name,
                  bool setUpCompensation);
    // The analysis of other (transforms, gates, id pools) on a new file.
    VexaDataShell(const VexaDataShell& other, const std::string& path, int32_t index,
                  const std::string& name);
    // Without a data set: root and pools only.
    VexaDataShell();
    ~VexaDataShell() override;
    VexaDataShell(const VexaDataShell&) = delete;
    VexaDataShell& operator=(const VexaDataShell&) = delete;

    // ---- data access ----
    const std::string& GetName() const { return m_name; }
    void SetName(const std::string& name) { m_name = name; }
    int32_t GetParamCount() const;
    CParam* GetParam(int32_t i) const;
    // $PnR (0.0 when absent or i out of range).
    float GetParamRange(int32_t i) const;
    // Events of the data set ($TOT); 0 without data.
    int32_t GetTotalEvents() const;
    std::string GetKeywordValue(const std::string& key) const;
    std::string GetPathName() const;
    std::string GetFileDir() const;
    std::string GetFileName() const;
    static bool IsFcsFile(const std::string& path);
    // -1: "Count"; mode 1: $PnN; mode 2: $PnS, or $PnN when empty; else both.
    std::string GetParamLabel(int32_t i, int32_t mode) const;

    // Transform of parameter i, made from the defaults on first need; null for
    // i out of range. The shell keeps ownership.
    CTRANS* GetTrans(int32_t i);
    // Replaces the transform of parameter i and re-evaluates the gates whose
    // regions use it. False (trans dropped) for i out of range or null trans.
    bool SetTrans(std::unique_ptr<CTRANS> trans, int32_t i);
    // Decades per channel of parameter i ($PnE decades / $PnR): 0.0 out of
    // range; without $PnE, 0 decades; without a positive $PnR, a range of 1.
    // Changes nothing, so statistics may read it on any thread.
    float LogScaleOf(int32_t i) const;
    // The same, and records what the parameter lacks (kErrNoDecades,
    // kErrNoRange) in the shell's errors. Done for every log-amplified
    // parameter when a data set comes in.
    float ComputeLogScale(int32_t i);
    // The scale last computed by ComputeLogScale.
    float GetLogScale() const { return m_logScale; }

    // ---- gates ----
    // Gate i; null for i out of range or without a data set.
    CGateNode* GetGate(int32_t i) const;
    int32_t GetGateIndex(const CGateNode* node) const;
    int32_t GetGateCount() const { return int32_t(m_gates.size()); }
    COLORREF GetGateColor(int32_t i) const;
    CGateNode* GetRoot() const { return m_root; }
    const std::vector<CGateNode*>& GetGates() const { return m_gates; }
    // Region i of the region list (a quadrant once), null out of range.
    CDataRgn* GetRegion(int32_t i) const;
    int32_t GetRegionIndex(const CDataRgn* region) const;
    int32_t GetRegionCount() const { return int32_t(m_regions.size()); }
    GateEventIterator GetGateEventIterator(int32_t i) const;

    // New gates. Each returns the (first) new node, or null when refused:
    // inputs must be gates of this shell, none twice; AND/OR need two or more.
    CGateNode* AddLogicGate(char op, const std::vector<CGateNode*>& inputs, const std::string& name);
    CGateNode* AddNotGate(CGateNode* node, const std::string& name);
    CGateNode* AddNotGateAt(int32_t index, const std::string& name);
    // A quadrant part 0 brings its three other parts as three more gates.
    CGateNode* AddRegionGate(std::unique_ptr<CDataRgn> region, int32_t parentIndex,
                             const std::string& name);
    // Appends a node made by a reader of stored gates (ownership passes).
    CGateNode* AddGate(std::unique_ptr<CGateNode> node);
    void CopyGates(const VexaDataShell& other);
    // The name a new gate takes when none is given: prefix and id ("G7"),
    // or, when a gate of this shell has that name already (one the user
    // gave), prefix and the next number no gate is named by. Two gates of
    // one name could not be told apart in panels and exports.
    std::string FreeGateName(const std::string& prefix, int32_t id) const;
    // Removes node and every gate that depends on it (all four parts of a
    // quadrant); nothing for the root or a node of another shell.
    void RemoveGate(CGateNode* node, bool notify);
    // The gates RemoveGate(node) would delete: node first, then the other
    // parts of its quadrant and every gate depending on any of them, each
    // once (dependants in other shells included). Empty for the root or a
    // node of another shell.
    std::vector<CGateNode*> GatesRemovedWith(CGateNode* node) const;

    // ---- observers ----
    void AddUser(CDataShellUser* user);
    void RemoveUser(CDataShellUser* user, bool notify);
    const std::vector<CDataShellUser*>& GetUsers() const { return m_users; }

    // ---- region changes ----
    void QueueReevaluation(CGateNode* node);
    void FlushReevaluation();

    // ---- compensation ----
    // Null: undo compensation (the events become the raw values). Otherwise
    // the events are compensated with matrix, which is also kept as the
    // stored matrix when store is set. False, with events and stored matrix
    // unchanged, when the events cannot be compensated with it (singular).
    bool SetCompMatrix(const CSpillMatrix* matrix, bool store);
    // Coefficient between two parameters in the working (else stored) matrix;
    // -1.0 without a matrix or when either is not in it. A matrix begun
    // without a stored one (or stored for a file without SPILL) stands for
    // the identity over every parameter: one it does not name reads as the
    // identity's value, and SetCompValue takes it in.
    float GetCompValue(int32_t rowParam, int32_t colParam) const;
    // False, with nothing changed, when the value is refused (the matrix
    // would become singular) or the parameters are not in the matrix.
    bool SetCompValue(int32_t rowParam, int32_t colParam, float value);
    // Whether param has a row and a column that GetCompValue reads and
    // SetCompValue writes: named by the working (else stored) matrix, or any
    // parameter of the data set where that matrix stands for the identity
    // over every parameter (no stored matrix at all counts as such).
    bool IsInCompMatrix(int32_t param) const;
    // False when applying the working matrix was refused; it is kept.
    bool EditCompensation(int32_t step);
    void SetCompMode(int32_t mode);
    const CSpillMatrix* GetFileMatrix() const { return m_fileMatrix.get(); }
    const CSpillMatrix* GetEditMatrix() const { return m_editMatrix.get(); }
    int32_t GetCompMode() const { return m_compMode; }

    // ---- data switch ----
    // Loads another file into this shell's gates; false (nothing changed)
    // when it cannot be read, has no events, or does not fit the regions and
    // ranges.
    // A file whose data set cannot be shown (UnreadableDataSetProblem) is
    // refused like one that does not fit, *problem (when given) saying why.
    bool OpenDataSet(const std::string& path, int32_t index, std::string* problem = nullptr);
    bool SetDataSet(CDataSet* dataSet, bool notify) override;
    // Whether other's parameters stand where this shell's are: its regions'
    // parameters exist there, and the parameters both have carry the same
    // $PnR and $PnN. A refusal leaves error 20 (ranges) or 25 (names), and
    // the names that differ in GetRenamedParams.
    bool IsLayoutCompatible(const CDataSet* other);
    // A parameter place where the last layout test met another name.
    struct RenamedParam {
        int32_t index = 0;
        std::string own;    // this shell's $PnN, as shown
        std::string other;  // the offered data set's $PnN, as shown
    };
    const std::vector<RenamedParam>& GetRenamedParams() const { return m_renamed; }
    // The parameter count of the data set the last layout test met (-1: none).
    int32_t GetOfferedParamCount() const { return m_offeredParams; }
    void OnDataSetChanged() override;

    // ---- id pools ----
    int32_t NewId(int32_t kind);
    const std::vector<uint8_t>& GetGateIdPool() const { return m_gateIds; }
    const std::vector<uint8_t>& GetQuadrantIdPool() const { return m_quadIds; }
    // Replaces a pool by stored bytes (document reader).
    void SetIdPools(std::vector<uint8_t> gateIds, std::vector<uint8_t> quadIds);

    // Display fractions of parameter columns shared by the region hit tests.
    FractionCache& GetFractionCache() { return m_fractions; }

private:
    friend class CGateNode;

    void InitEmpty();
    void SetUpCompensation(bool keepIdentity);
    // Current column generations, to tell afterwards which columns moved.
    std::vector<uint64_t> ColumnGenerations() const;
    // After a compensation: re-evaluates only the gates whose region reads a
    // column that moved since `before`, and those that depend on them.
    void OnColumnsChanged(const std::vector<uint64_t>& before);
    void CreateDefaultTransforms();
    std::unique_ptr<CTRANS> MakeDefaultTransform(int32_t i);
    void FreeId(std::vector<uint8_t>& pool, int32_t id);
    CGateNode* AppendGate(std::unique_ptr<CGateNode> node);
    CGateNode* CreateRegionGates(std::unique_ptr<CDataRgn> region, CGateNode* parent,
                                 const std::string& name, bool notify);
    void AddQuadrantParts(CGateNode* part0, CGateNode* parent, const CGateNode* colorsFrom);
    CGateNode* CopyGateFrom(const CGateNode& node, const VexaDataShell& other);
    // Takes gate index out of the list (after the removal notices); true
    // when this call took it out. The node is not deleted.
    bool RemoveGateAt(int32_t index);
    void DeleteGateAt(int32_t index, bool notify);
    void RebuildRegionList();
    void EvaluateAll();
    bool HasEvents() const;
    void AddShellError(int32_t code);
    // The log scales of the log-amplified parameters, with the errors of
    // those that lack $PnR, worked out once for a new data set.
    void ComputeLogScales();
    bool HasFileSpill() const;

    float m_logScale = 1.0f;
    std::string m_name;
    std::vector<CDataShellUser*> m_users;
    CGateNode* m_root = nullptr;
    std::vector<CGateNode*> m_gates;  // owned; index 0 is the root
    std::vector<CDataRgn*> m_regions;
    std::vector<CGateNode*> m_pending;
    std::vector<uint8_t> m_gateIds;
    std::vector<uint8_t> m_quadIds;
    std::vector<RenamedParam> m_renamed;  // of the last layout test
    int32_t m_offeredParams = -1;         // of the last layout test
    std::unique_ptr<CSpillMatrix> m_fileMatrix;
    std::unique_ptr<CSpillMatrix> m_editMatrix;
    // The stored (working) matrix stands for the identity over every
    // parameter beyond those it names.
    bool m_fileCoversAll = false;
    bool m_editCoversAll = false;
    std::vector<std::unique_ptr<CTRANS>> m_transforms;
    int32_t m_compMode = 1;
    FractionCache m_fractions;
};
