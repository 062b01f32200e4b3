#include "core/Observers.h"

#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/StatItem.h"

// ---- CDataShellUser ----

CDataShellUser::CDataShellUser(VexaDataShell* shell) { CDataShellUser::SetShell(shell, true); }

CDataShellUser::~CDataShellUser() { CDataShellUser::DetachShell(true, false); }

void CDataShellUser::SetShell(VexaDataShell* shell, bool notify) {
    if (m_shell) DetachShell(true, false);
    m_shell = shell;
    if (shell) shell->AddUser(this);
    if (notify) OnDataChanged();
}

void CDataShellUser::DetachShell(bool remove, bool notify) {
    VexaDataShell* shell = m_shell;
    m_shell = nullptr;
    if (remove && shell) shell->RemoveUser(this, false);
    if (notify) OnDataChanged();
}

// ---- CGateUser ----

CGateUser::CGateUser() { m_userKind = kUserGate; }

CGateUser::CGateUser(CGateNode* gate) : CDataShellUser(gate ? gate->GetShell() : nullptr) {
    m_userKind = kUserGate;
    if (gate) {
        m_gate = gate;
        gate->AddUser(this);
    }
}

CGateUser::CGateUser(VexaDataShell* shell, int32_t index) : CDataShellUser(shell) {
    m_userKind = kUserGate;
    if (shell) {
        if (CGateNode* gate = shell->GetGate(index)) CGateUser::SetGate(gate, false);
    }
}

CGateUser::~CGateUser() { CGateUser::DetachGate(true, false); }

void CGateUser::SetGate(CGateNode* gate, bool notify) {
    if (gate) {
        CGateNode* old = m_gate;
        if (old) old->RemoveUser(this, false);
        if (!old || old->GetShell() != gate->GetShell() || m_shell != gate->GetShell())
            SetShell(gate->GetShell(), true);
        gate->AddUser(this);
        m_gate = gate;
    } else {
        DetachGate(true, false);
    }
    if (notify) OnGateChanged();
}

void CGateUser::DetachGate(bool remove, bool notify) {
    CGateNode* gate = m_gate;
    m_gate = nullptr;
    if (remove && gate) gate->RemoveUser(this, false);
    DetachShell(true, false);
    if (notify) OnGateChanged();
}

// ---- CStatUser ----

CStatUser::CStatUser(CStatItem* item) { CStatUser::SetStatItem(item, false); }

CStatUser::~CStatUser() {
    if (m_mode != 0) CStatUser::DetachStatItem(true, false);
}

void CStatUser::SetStatItem(CStatItem* item, bool notify) {
    if (m_item) DetachStatItem(true, false);
    m_item = item;
    if (item) item->AddUser(this);
    if (notify) OnStatChanged();
}

void CStatUser::DetachStatItem(bool remove, bool notify) {
    CStatItem* item = m_item;
    m_item = nullptr;
    if (remove && item) item->RemoveUser(this, false, false);
    if (notify) OnStatChanged();
}

// ---- CShellMsg ----

CShellMsg::CShellMsg(VexaDataShell* shell, Hook hook) : CDataShellUser(shell), m_hook(std::move(hook)) {
    m_userKind = kUserShellMsg;
}

void CShellMsg::OnGatesChanged() {
    if (m_hook) m_hook(m_shell);
}

void CShellMsg::OnGateRemoving(CGateNode* /*gate*/) {
    if (m_hook) m_hook(m_shell);
}
