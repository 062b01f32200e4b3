// Observer bases: attach and detach rules, notification order, and users
// that leave or die while they are told.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/core/ShellTestUtil.h"

using namespace shelltest;

namespace {
bool Listed(const VexaDataShell& s, const CDataShellUser* u) {
    const auto& v = s.GetUsers();
    return std::find(v.begin(), v.end(), u) != v.end();
}
bool Listed(const CGateNode* g, const CGateUser* u) {
    const auto& v = g->GetUsers();
    return std::find(v.begin(), v.end(), u) != v.end();
}
}  // namespace

TEST(ShellUser, AttachDetachAndKinds) {
    VexaDataShell a(MakeColumn({1, 2}), "a");
    VexaDataShell b(MakeColumn({1, 2}), "b");
    std::vector<std::string> log;
    LogUser u(&log, "u");
    EXPECT_EQ(u.GetUserKind(), kUserShellBase);
    u.SetShell(&a, true);
    EXPECT_EQ(u.GetShell(), &a);
    EXPECT_TRUE(Listed(a, &u));
    EXPECT_EQ(log, std::vector<std::string>{"u:data"});

    LogUser v(&log, "v", &a);
    // Setting the same shell again moves the user to the end of the list.
    u.SetShell(&a, false);
    ASSERT_EQ(a.GetUsers().size(), 2u);
    EXPECT_EQ(a.GetUsers()[1], &u);

    u.SetShell(&b, false);
    EXPECT_FALSE(Listed(a, &u));
    EXPECT_TRUE(Listed(b, &u));
    u.DetachShell(true, false);
    EXPECT_EQ(u.GetShell(), nullptr);
    EXPECT_FALSE(Listed(b, &u));

    {
        LogUser temp(&log, "t", &b);
        EXPECT_TRUE(Listed(b, &temp));
    }
    EXPECT_TRUE(b.GetUsers().empty());

    CShellMsg msg(&a);
    EXPECT_EQ(msg.GetUserKind(), kUserShellMsg);
    CountingGateUser gu;
    EXPECT_EQ(gu.GetUserKind(), kUserGate);
}

TEST(ShellUser, RemoveUserWithNotificationDetachesIt) {
    VexaDataShell a(MakeColumn({1}), "a");
    std::vector<std::string> log;
    LogUser u(&log, "u", &a);
    a.RemoveUser(&u, true);
    EXPECT_EQ(u.GetShell(), nullptr);
    EXPECT_FALSE(Listed(a, &u));
    EXPECT_EQ(log, std::vector<std::string>{"u:data"});
    a.RemoveUser(&u, true);  // absent: nothing
    EXPECT_EQ(log.size(), 1u);
}

TEST(GateUser, SetGateKeepsOrMovesTheShell) {
    VexaDataShell a(MakeColumn({1, 2, 3}), "a");
    VexaDataShell b(MakeColumn({1, 2, 3}), "b");
    CGateNode* a1 = a.AddRegionGate(Range(0.0f, 1.0f), 0, "");
    CGateNode* a0 = a.GetGate(0);
    CGateNode* b0 = b.GetGate(0);

    CountingGateUser u;
    u.SetGate(a0, true);
    EXPECT_EQ(u.GetShell(), &a);
    EXPECT_EQ(u.data, 1);  // first gate: attached to the shell with a notice
    EXPECT_EQ(u.changed, 1);
    EXPECT_TRUE(Listed(a0, &u));

    u.SetGate(a1, true);  // same shell: no data notice
    EXPECT_EQ(u.data, 1);
    EXPECT_EQ(u.changed, 2);
    EXPECT_FALSE(Listed(a0, &u));
    EXPECT_TRUE(Listed(a1, &u));
    EXPECT_TRUE(Listed(a, &u));

    u.SetGate(b0, true);  // another shell: moves, one data notice
    EXPECT_EQ(u.data, 2);
    EXPECT_EQ(u.GetShell(), &b);
    EXPECT_FALSE(Listed(a, &u));
    EXPECT_FALSE(Listed(a1, &u));
    EXPECT_TRUE(Listed(b, &u));

    u.SetGate(nullptr, true);
    EXPECT_EQ(u.GetGate(), nullptr);
    EXPECT_EQ(u.GetShell(), nullptr);
    EXPECT_FALSE(Listed(b0, &u));
    EXPECT_FALSE(Listed(b, &u));
    EXPECT_EQ(u.changed, 4);
}

TEST(GateUser, ConstructorsAttachWithoutCallingHandlersOfTheSubclass) {
    VexaDataShell a(MakeColumn({1, 2, 3}), "a");
    CGateNode* g = a.AddRegionGate(Range(0.0f, 1.0f), 0, "");
    // Handlers of a class not yet built must not run (OnGateChanged is pure
    // in the base).
    CountingGateUser byIndex(&a, 1);
    EXPECT_EQ(byIndex.GetGate(), g);
    EXPECT_EQ(byIndex.GetShell(), &a);
    EXPECT_EQ(byIndex.changed, 0);
    EXPECT_TRUE(Listed(g, &byIndex));
    EXPECT_EQ(std::count(a.GetUsers().begin(), a.GetUsers().end(), &byIndex), 1);

    CountingGateUser bad(&a, 99);
    EXPECT_EQ(bad.GetGate(), nullptr);

    CountingGateUser byGate(g);
    EXPECT_EQ(byGate.GetShell(), &a);
    EXPECT_EQ(byGate.changed, 0);
    {
        CountingGateUser shortLived(g);
        EXPECT_EQ(g->GetUsers().size(), 3u);
    }
    EXPECT_EQ(g->GetUsers().size(), 2u);
}

TEST(ShellUser, ObserversThatDetachDuringARemovalNotice) {
    VexaDataShell a(MakeColumn({1, 2, 3}), "a");
    CGateNode* g = a.AddRegionGate(Range(0.0f, 1.0f), 0, "G");
    std::vector<std::string> log;
    LogUser first(&log, "1", &a), second(&log, "2", &a), third(&log, "3", &a);
    // The last user is told first: it detaches itself and the first user.
    third.onRemoving = [&](CGateNode*) {
        third.DetachShell(true, false);
        first.DetachShell(true, false);
    };
    a.RemoveGate(g, true);
    EXPECT_EQ(log, (std::vector<std::string>{"3:removing G", "2:removing G", "2:data"}));
    EXPECT_EQ(a.GetUsers().size(), 1u);
}

TEST(ShellUser, ObserverDeletedWhileOthersAreTold) {
    VexaDataShell a(MakeColumn({1, 2, 3}), "a");
    std::vector<std::string> log;
    auto* victim = new LogUser(&log, "victim", &a);
    LogUser killer(&log, "killer", &a);
    LogUser after(&log, "after", &a);
    CGateNode* g = a.AddRegionGate(Range(0.0f, 1.0f), 0, "G");
    log.clear();
    // Removal notices run last to first: "after", then "killer" deletes the
    // victim, which must not be told any more.
    killer.onRemoving = [&](CGateNode*) { delete victim; };
    a.RemoveGate(g, false);
    EXPECT_EQ(log, (std::vector<std::string>{"after:removing G", "killer:removing G"}));
    EXPECT_EQ(a.GetUsers().size(), 2u);
}

TEST(ShellUser, ShellDestructionDetachesButDoesNotDeleteUsers) {
    std::vector<std::string> log;
    LogUser plot(&log, "plot");
    LogUser dialog(&log, "dialog");
    dialog.SetKind(kUserGateRltDlg);
    CountingGateUser gateUser;
    {
        VexaDataShell a(MakeColumn({1, 2, 3}), "a");
        plot.SetShell(&a, false);
        dialog.SetShell(&a, false);
        CGateNode* g = a.AddRegionGate(Range(0.0f, 1.0f), 0, "");
        gateUser.SetGate(g, false);
        log.clear();
    }
    EXPECT_EQ(plot.GetShell(), nullptr);
    EXPECT_EQ(dialog.GetShell(), nullptr);
    EXPECT_EQ(gateUser.GetShell(), nullptr);
    EXPECT_EQ(gateUser.GetGate(), nullptr);
    EXPECT_TRUE(log.empty());
}

TEST(ShellMsg, ForwardsGateListChangesToItsHook) {
    VexaDataShell a(MakeColumn({1, 2, 3}), "a");
    std::vector<VexaDataShell*> seen;
    CShellMsg msg(&a, [&](VexaDataShell* s) { seen.push_back(s); });
    CGateNode* g = a.AddRegionGate(Range(0.0f, 1.0f), 0, "");
    a.RemoveGate(g, true);
    a.EditCompensation(3);
    EXPECT_EQ(seen, (std::vector<VexaDataShell*>{&a, &a}));
    CShellMsg silent(&a);
    a.AddNotGateAt(0, "");  // no hook: nothing happens
}

TEST(StatUser, AttachDetach) {
    VexaDataShell a(MakeColumn({1, 2, 3}), "a");
    CStatItem* i0 = a.GetGate(0)->GetStatItem();
    CGateNode* g = a.AddRegionGate(Range(0.0f, 1.0f), 0, "");
    CStatItem* i1 = g->GetStatItem();
    CountingStatUser u(i0);
    EXPECT_EQ(u.changed, 0);
    EXPECT_EQ(u.GetMode(), kStatUserAutoDetach);
    u.SetStatItem(i1, true);
    EXPECT_EQ(u.changed, 1);
    EXPECT_TRUE(i0->GetUsers().empty());
    EXPECT_EQ(i1->GetUsers().size(), 1u);
    u.SetStatItem(i1, false);  // again: still listed once
    EXPECT_EQ(i1->GetUsers().size(), 1u);
    u.DetachStatItem(true, true);
    EXPECT_EQ(u.changed, 2);
    EXPECT_TRUE(i1->GetUsers().empty());
    {
        CountingStatUser temp(i1);
    }
    EXPECT_TRUE(i1->GetUsers().empty());
}
