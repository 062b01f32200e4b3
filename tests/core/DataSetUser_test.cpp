// Sharing data sets between users. A data set deletes itself when its last
// user leaves; the sanitizer build proves there is neither a leak nor a use
// after that.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "core/DataSet.h"
#include "core/DataSetUser.h"
#include "core/ErrorCodes.h"
#include "tests/support/FcsWriter.h"

namespace {

using lmtest::FcsWriter;
using Errors = std::vector<int32_t>;

class CountingUser : public VexaDataSetUser {
public:
    using VexaDataSetUser::VexaDataSetUser;
    void OnDataSetChanged() override { ++changes; }
    int changes = 0;
};

// A new data set with no users; its first user takes it over.
CDataSet* NewDataSet(int events = 3, bool truncated = false) {
    FcsWriter w;
    w.Param("FSC", 32, "1024").Param("SSC", 32, "1024");
    for (int i = 0; i < events; ++i) w.Event({double(i), double(2 * i)});
    std::vector<uint8_t> b = w.Build();
    if (truncated) b.resize(b.size() - 3);
    return lmtest::LoadFcsBytes(b).release();
}

TEST(DataSetUser, TwoUsersShareOneDataSetAndTheLastDeletesIt) {
    CDataSet* ds = NewDataSet();
    auto u1 = std::make_unique<CountingUser>(ds);
    auto u2 = std::make_unique<CountingUser>(ds);
    EXPECT_EQ(u1->GetDataSet(), ds);
    EXPECT_EQ(u2->GetDataSet(), ds);
    EXPECT_EQ(ds->GetUsers(), (std::vector<VexaDataSetUser*>{u1.get(), u2.get()}));
    EXPECT_EQ(u1->GetPath(), "memory.fcs");

    u1.reset();
    ASSERT_EQ(ds->GetUsers().size(), 1u);  // still alive for the second user
    EXPECT_EQ(ds->GetUsers()[0], u2.get());
    EXPECT_EQ(u2->GetDataSet()->GetEventCount(), 3);
    u2.reset();  // deletes ds
}

TEST(DataSetUser, UsersCopyTheErrorsOfTheirDataSet) {
    CDataSet* broken = NewDataSet(4, true);
    ASSERT_EQ(broken->errors, (Errors{kErrDataPastEnd, kErrDataSize}));
    CDataSet* fine = NewDataSet();
    CountingUser u(broken);
    EXPECT_EQ(u.GetErrors(), broken->errors);
    EXPECT_TRUE(u.SetDataSet(fine, true));  // broken is deleted: u was its only user
    EXPECT_EQ(u.GetErrors(), Errors{});
    EXPECT_EQ(u.changes, 1);
}

TEST(DataSetUser, SetDataSetSameNullAndSwitch) {
    CDataSet* a = NewDataSet();
    CDataSet* b = NewDataSet(5);
    CountingUser u1(a), u2(a);

    EXPECT_FALSE(u1.SetDataSet(a, true));  // already held: nothing happens
    EXPECT_EQ(u1.changes, 0);
    EXPECT_EQ(a->GetUsers().size(), 2u);

    EXPECT_TRUE(u1.SetDataSet(b, false));
    EXPECT_EQ(u1.changes, 0);
    EXPECT_EQ(a->GetUsers(), std::vector<VexaDataSetUser*>{&u2});
    EXPECT_EQ(b->GetUsers(), std::vector<VexaDataSetUser*>{&u1});

    EXPECT_TRUE(u2.SetDataSet(b, true));  // a loses its last user
    EXPECT_EQ(u2.changes, 1);
    EXPECT_EQ(b->GetUsers(), (std::vector<VexaDataSetUser*>{&u1, &u2}));

    EXPECT_FALSE(u1.SetDataSet(nullptr, true));
    EXPECT_EQ(u1.GetDataSet(), nullptr);
    EXPECT_TRUE(u1.GetErrors().empty());
    EXPECT_EQ(b->GetUsers(), std::vector<VexaDataSetUser*>{&u2});
    EXPECT_FALSE(u1.SetDataSet(nullptr, false));  // detached already: still fine

    u2.DetachDataSet(true, true);  // b is deleted
    EXPECT_EQ(u2.GetDataSet(), nullptr);
    EXPECT_EQ(u2.changes, 2);
}

TEST(DataSetUser, RemoveUserFromTheDataSetSide) {
    CDataSet* ds = NewDataSet();
    CountingUser u1(ds), u2(ds), stranger;

    ds->RemoveUser(&stranger, true);  // not listed: nothing
    EXPECT_EQ(stranger.changes, 0);
    EXPECT_EQ(ds->GetUsers().size(), 2u);

    ds->AddUser(&u1);  // listed once only
    EXPECT_EQ(ds->GetUsers().size(), 2u);

    ds->RemoveUser(&u1, true);
    EXPECT_EQ(u1.GetDataSet(), nullptr);
    EXPECT_GE(u1.changes, 1);
    EXPECT_EQ(ds->GetUsers(), std::vector<VexaDataSetUser*>{&u2});

    ds->RemoveUser(&u2, false);  // last one: ds deletes itself
    // u2 was not told; it still holds the pointer and must not use it. Let it
    // forget without removing (remove false touches nothing).
    u2.DetachDataSet(false, false);
    EXPECT_EQ(u2.GetDataSet(), nullptr);
}

TEST(DataSetUser, UserMadeFromAPath) {
    lmtest::TempDir dir;
    FcsWriter w;
    w.Param("FSC", 32, "1024").Event({1}).Event({2});
    w.NextDataSet();
    w.Param("X", 32, "1024").Param("Y", 32, "1024").Event({1, 2});
    const std::string path = dir.File("two.fcs");
    ASSERT_TRUE(w.WriteTo(path));

    VexaDataSetUser u(path, 1);
    ASSERT_NE(u.GetDataSet(), nullptr);
    EXPECT_EQ(u.GetPath(), path);
    EXPECT_EQ(u.GetDataSetIndex(), 1);
    EXPECT_EQ(u.GetDataSet()->GetParamCount(), 2);
    EXPECT_EQ(u.GetDataSet()->GetIndex(), 1);
    EXPECT_EQ(u.GetDataSet()->GetUsers(), std::vector<VexaDataSetUser*>{&u});

    // A second user shares it; the first one leaving does not free it.
    auto other = std::make_unique<VexaDataSetUser>(u.GetDataSet());
    EXPECT_EQ(other->GetPath(), path);
    EXPECT_EQ(other->GetDataSetIndex(), 1);

    VexaDataSetUser none(dir.File("missing.fcs"), 0);
    EXPECT_EQ(none.GetDataSet(), nullptr);
    EXPECT_EQ(none.GetPath(), dir.File("missing.fcs"));

    VexaDataSetUser notFcs(dir.Write("x.txt", {'h', 'e', 'l', 'l', 'o'}), 0);
    EXPECT_EQ(notFcs.GetDataSet(), nullptr);

    VexaDataSetUser detached(nullptr);
    EXPECT_EQ(detached.GetDataSet(), nullptr);
    EXPECT_EQ(detached.GetPath(), "");
}

TEST(DataSetUser, FilelessDataSetIsSharedTheSameWay) {
    auto* ds = new CDataSet();
    ds->AddParam(1024, 4.0, 0.0);
    auto u = std::make_unique<CountingUser>(ds);
    EXPECT_EQ(u->GetDataSet()->GetParamCount(), 1);
    EXPECT_EQ(u->GetPath(), "");
    u.reset();  // deletes ds
}

}  // namespace
