// Fault plans: every kind of changing call is counted and the planned one fails without
// touching the disk; the observer sees each call first, and its own changes run free.
#include <gtest/gtest.h>

#include <functional>

#include "platform/fault_injection.h"
#include "platform/platform.h"
#include "unit/platform/test_dirs.h"

namespace vorlan::platform {
namespace {

TEST(FaultPlan, ThePlannedCallFailsAndChangesNothing) {
    using vorlan::testing::ScratchDir;
    const std::pair<DiskChange, std::function<bool(const ScratchDir&)>> calls[] = {
        {DiskChange::Write, [](const ScratchDir& d) { return WriteWholeFile(d / "a.txt", "w", 1); }},
        {DiskChange::Rename, [](const ScratchDir& d) { return MoveFile(d / "a.txt", d / "moved.txt"); }},
        {DiskChange::Rename, [](const ScratchDir& d) { return RenameReplacing(d / "a.txt", d / "b.txt"); }},
        {DiskChange::Copy, [](const ScratchDir& d) { return CopyWholeFile(d / "b.txt", d / "a.txt"); }},
        {DiskChange::Delete, [](const ScratchDir& d) { return DeleteFile(d / "a.txt"); }},
        {DiskChange::CreateDir, [](const ScratchDir& d) { return CreateDir(d / "new"); }},
    };
    for (const auto& [change, call] : calls) {
        ScratchDir dir;
        vorlan::testing::NativeFile(dir.path(), "a.txt", "a");
        vorlan::testing::NativeFile(dir.path(), "b.txt", "b");
        int failed = 0;
        {
            ScopedFaultPlan plan({.failCall = 1, .kinds = ChangeBit(change), .observe = [&](const DiskCall& c) {
                                      failed += c.change == change && c.fails;
                                      EXPECT_TRUE(WriteWholeFile(dir / "b.txt", "b", 1));
                                  }});
            EXPECT_FALSE(call(dir));
            EXPECT_EQ(plan.Calls(), 1u);
        }
        EXPECT_EQ(failed, 1);
        EXPECT_EQ(vorlan::testing::NamesOnDisk(dir.path()), (std::set<std::string>{"a.txt", "b.txt"}));
        EXPECT_EQ(ReadWholeFile(dir / "a.txt"), "a");
        EXPECT_TRUE(call(dir)) << "without a plan the call runs";
    }
}

}  // namespace
}  // namespace vorlan::platform
