// Fault plans: every kind of changing call is counted and the planned one fails without
// touching the disk; the observer sees each call first; replacing renames.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "platform/fault_injection.h"
#include "platform/platform.h"
#include "unit/platform/test_dirs.h"

namespace vorlan::platform {
namespace {

using vorlan::testing::NamesOnDisk;
using vorlan::testing::NativeFile;
using vorlan::testing::ScratchDir;

struct ChangingCall {
    DiskChange change;
    std::function<bool(const ScratchDir&)> call;
};

const ChangingCall kCalls[] = {
    {DiskChange::Write, [](const ScratchDir& d) { return WriteWholeFile(d / "w.txt", "w", 1); }},
    {DiskChange::Rename, [](const ScratchDir& d) { return MoveFile(d / "a.txt", d / "moved.txt"); }},
    {DiskChange::Rename, [](const ScratchDir& d) { return RenameReplacing(d / "a.txt", d / "b.txt"); }},
    {DiskChange::Copy, [](const ScratchDir& d) { return CopyWholeFile(d / "a.txt", d / "copy.txt"); }},
    {DiskChange::Delete, [](const ScratchDir& d) { return DeleteFile(d / "a.txt"); }},
    {DiskChange::Delete, [](const ScratchDir& d) { return RemoveDir(d / "empty"); }},
    {DiskChange::CreateDir, [](const ScratchDir& d) { return CreateDir(d / "new"); }},
};

void Prepare(const ScratchDir& dir) {
    NativeFile(dir.path(), "a.txt", "a");
    NativeFile(dir.path(), "b.txt", "b");
    ASSERT_TRUE(CreateDir(dir / "empty"));
}

TEST(FaultPlan, ThePlannedCallFailsAndChangesNothing) {
    for (const auto& [change, call] : kCalls) {
        ScratchDir dir;
        Prepare(dir);
        const auto before = NamesOnDisk(dir.path());
        std::vector<DiskChange> seen;
        {
            ScopedFaultPlan plan({.failCall = 1, .observe = [&](const DiskCall& c) { seen.push_back(c.change); }});
            EXPECT_FALSE(call(dir));
            EXPECT_TRUE(plan.Failed());
            EXPECT_EQ(plan.Calls(), 1u);
        }
        EXPECT_EQ(seen, std::vector<DiskChange>{change});
        EXPECT_EQ(NamesOnDisk(dir.path()), before);
        EXPECT_EQ(ReadWholeFile(dir / "a.txt"), "a");
        EXPECT_TRUE(call(dir)) << "without a plan the call runs";
    }
}

TEST(FaultPlan, CountsOnlyTheKindsAskedForAndObserverCallsRunFree) {
    ScratchDir dir;
    Prepare(dir);
    ScopedFaultPlan plan({.failCall = 2,
                          .kinds = ChangeBit(DiskChange::Write),
                          .observe = [&](const DiskCall& c) {
                              // Changes made by the observer are neither counted nor failed.
                              EXPECT_TRUE(WriteWholeFile(dir / "log.txt", c.path.data(), c.path.size()));
                          }});
    EXPECT_TRUE(DeleteFile(dir / "b.txt"));
    EXPECT_TRUE(WriteWholeFile(dir / "one.txt", "1", 1));
    EXPECT_FALSE(WriteWholeFile(dir / "two.txt", "2", 1));
    EXPECT_TRUE(WriteWholeFile(dir / "three.txt", "3", 1));
    EXPECT_EQ(plan.Calls(), 3u);
    EXPECT_FALSE(FileExists(dir / "two.txt"));
    EXPECT_EQ(ReadWholeFile(dir / "log.txt"), dir / "three.txt");
}

TEST(FaultPlan, RenameReplacingTakesTheTargetsPlace) {
    ScratchDir dir;
    Prepare(dir);
    ASSERT_TRUE(RenameReplacing(dir / "A.TXT", dir / "b.txt"));
    EXPECT_EQ(ReadWholeFile(dir / "b.txt"), "a");
    EXPECT_FALSE(FileExists(dir / "a.txt"));
    ASSERT_TRUE(RenameReplacing(dir / "b.txt", dir / "c.txt"));
    EXPECT_EQ(NamesOnDisk(dir.path()), (std::set<std::string>{"c.txt", "empty"}));
    EXPECT_FALSE(RenameReplacing(dir / "missing.txt", dir / "c.txt"));
    EXPECT_FALSE(RenameReplacing(dir / "c.txt", dir / "empty"));
    EXPECT_EQ(ReadWholeFile(dir / "c.txt"), "a");
}

}  // namespace
}  // namespace vorlan::platform
