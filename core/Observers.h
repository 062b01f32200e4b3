#pragma once
// Observer bases of the analysis core. Plots, layers, result tables and
// dialogs follow a data shell, one of its gates or a gate's statistics through
// these classes; none of them owns what it observes. Each observer is listed
// at most once in the observed object's user list and removes itself from it
// when it detaches or dies.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <vector>

#include "base/Geometry.h"

class VexaDataShell;
class CGateNode;
class CStatItem;

// What kind of observer a CDataShellUser is. The shell and the document use it
// to find plots and result tables among the users.
enum ShellUserKind : int32_t {
    kUserShellBase = 0,    // CDataShellUser itself
    kUserPlot = 1,         // CPLOT
    kUserDotLayer = 3,     // CDotLayer
    kUserResultTable = 4,  // CTrkResult
    kUserShellMsg = 5,     // CShellMsg
    kUserGateRltDlg = 6,   // gate statistics dialog
    kUserGate = 7,         // CGateUser and gate users that set no other kind
    kUserHistLayer = 8,    // CHistLayer
};

// Mode values of a CStatUser.
enum StatUserMode : int32_t {
    kStatUserManual = 0,    // the subclass detaches itself
    kStatUserAutoDetach = 1,
    kStatUserLooseCell = 3, // statistics cell of a grid no result table owns: deleted with its item
};

// Calls fn(user) for every user of `live`, walking a snapshot taken first and
// skipping users that left the list meanwhile (a user may detach itself, or
// another one, or be deleted while it is told). reverse walks last to first.
template <class T, class Fn>
void NotifyListed(const std::vector<T*>& live, bool reverse, Fn&& fn) {
    const std::vector<T*> snapshot = live;
    const size_t n = snapshot.size();
    for (size_t k = 0; k < n; ++k) {
        T* user = snapshot[reverse ? n - 1 - k : k];
        if (std::find(live.begin(), live.end(), user) == live.end()) continue;
        fn(user);
    }
}

class CDataShellUser {
public:
    CDataShellUser() = default;
    // Attaches to shell with notification (a subclass is not built yet, so
    // only this class's empty OnDataChanged runs).
    explicit CDataShellUser(VexaDataShell* shell);
    virtual ~CDataShellUser();
    CDataShellUser(const CDataShellUser&) = delete;
    CDataShellUser& operator=(const CDataShellUser&) = delete;

    // Detaches from the current shell (silently), attaches to shell (null
    // leaves this detached), then OnDataChanged when notify is set.
    virtual void SetShell(VexaDataShell* shell, bool notify);
    // remove: take this user out of the shell's list as well.
    virtual void DetachShell(bool remove, bool notify);
    virtual void OnGatesChanged() {}
    virtual void OnGateRemoving(CGateNode* /*gate*/) {}
    virtual void OnDataChanged() {}
    virtual void OnParamChanged(int32_t /*param*/) {}
    // A gate of the shell took another colour (after its own gate users
    // were told): for users that show the colours of many gates.
    virtual void OnGateRecoloured(CGateNode* /*gate*/) {}
    virtual int32_t GetUserKind() const { return m_userKind; }

    VexaDataShell* GetShell() const { return m_shell; }

protected:
    VexaDataShell* m_shell = nullptr;
    int32_t m_userKind = kUserShellBase;
};

class CGateUser : public CDataShellUser {
public:
    CGateUser();
    // Observes gate (and its shell); no notification.
    explicit CGateUser(CGateNode* gate);
    // Observes gate `index` of shell. Unlike the other attach operations this
    // one does not notify: the subclass's handlers do not exist yet.
    CGateUser(VexaDataShell* shell, int32_t index);
    ~CGateUser() override;

    void OnGateRemoving(CGateNode* /*gate*/) override {}
    void OnDataChanged() override {}
    void OnParamChanged(int32_t /*param*/) override {}

    // The gate's events changed (its mask was rebuilt) or this user moved to
    // another gate.
    virtual void OnGateChanged() = 0;
    virtual void OnGateRenamed() {}
    virtual void OnGateColorChanged(COLORREF /*color*/) {}
    // Second notice after a rebuilt mask, once every user had OnGateChanged.
    virtual void OnGateUpdated() = 0;
    // Moves to gate (and to its shell when that differs); null detaches.
    virtual void SetGate(CGateNode* gate, bool notify);
    virtual void DetachGate(bool remove, bool notify);

    CGateNode* GetGate() const { return m_gate; }

protected:
    CGateNode* m_gate = nullptr;
};

class CStatUser {
public:
    CStatUser() = default;
    explicit CStatUser(CStatItem* item);
    virtual ~CStatUser();
    CStatUser(const CStatUser&) = delete;
    CStatUser& operator=(const CStatUser&) = delete;

    virtual void OnStatChanged() = 0;
    virtual void SetStatItem(CStatItem* item, bool notify);
    virtual void DetachStatItem(bool remove, bool notify);
    // Told by a statistics item that is about to delete this user (mode
    // kStatUserLooseCell): a grid cell marks itself so that its grid gives its
    // place a fresh cell.
    virtual void OnStatItemDeleting() {}

    CStatItem* GetStatItem() const { return m_item; }
    int32_t GetMode() const { return m_mode; }
    void SetMode(int32_t mode) { m_mode = mode; }

protected:
    CStatItem* m_item = nullptr;
    // Non-zero: the destructor detaches from the item. 3 (kStatUserLooseCell):
    // the item deletes this user when it goes away.
    int32_t m_mode = kStatUserAutoDetach;
};

// Shell observer that forwards gate-list changes to its document. The
// document's hook is given as a callback so that the core does not depend on
// the document class.
class CShellMsg : public CDataShellUser {
public:
    using Hook = std::function<void(VexaDataShell*)>;

    explicit CShellMsg(VexaDataShell* shell, Hook hook = {});
    void OnGatesChanged() override;
    void OnGateRemoving(CGateNode* gate) override;
    void OnDataChanged() override {}

private:
    Hook m_hook;
};
