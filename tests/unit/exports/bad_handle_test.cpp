// Every export with a handle that is not a live engine: null, never issued, destroyed.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "exports/export_probe.h"
#include "exports/handle_set.h"
#include "vorlan13.h"

namespace {

using vorlan::probe::ExportRow;
using vorlan::probe::kExports;

constexpr int kGetCryptObj = 1;
constexpr int kGetMaxFilePathLength = 47;

#define VORLAN_EXPORT(ordinal, name, ...) reinterpret_cast<void*>(&::name),
void* const kAddresses[] = {
#include "export_table.inc"
};
#undef VORLAN_EXPORT

std::string Describe(const ExportRow& row) { return std::to_string(row.ordinal) + " " + row.name; }

// ExpectErrorResults: each export but GetCryptObj gives its table result for handle.
void ExpectErrorResults(VORLAN_HANDLE handle) {
    for (const ExportRow& row : kExports) {
        if (row.ordinal == kGetCryptObj) continue;
        const vorlan::probe::ProbeResult result = row.call(kAddresses[row.ordinal - 1], handle);
        EXPECT_EQ(result.returned_value, row.has_result) << Describe(row);
        const std::int64_t expected = row.ordinal == kGetMaxFilePathLength ? 255 : row.on_error;
        if (result.returned_value) {
            EXPECT_EQ(result.value, expected) << Describe(row);
        }
        EXPECT_TRUE(result.stack_balanced) << Describe(row);
    }
}

TEST(BadHandle, TableListsEveryExportOnce) {
    ASSERT_EQ(vorlan::probe::kExportCount, 75);
    for (int i = 0; i < vorlan::probe::kExportCount; ++i) EXPECT_EQ(kExports[i].ordinal, i + 1);
}

TEST(BadHandle, NullHandleGivesEachExportsErrorResult) { ExpectErrorResults(nullptr); }

TEST(BadHandle, NeverIssuedHandleGivesErrorResultsWithoutTouchingIt) {
    // A handle pointing at memory that is not an engine: reading it as one would crash.
    alignas(16) unsigned char notAnEngine[256] = {};
    ExpectErrorResults(reinterpret_cast<VORLAN_HANDLE>(notAnEngine));
    ExpectErrorResults(reinterpret_cast<VORLAN_HANDLE>(static_cast<std::intptr_t>(0x1234)));
}

TEST(BadHandle, DestroyedHandleGivesErrorResults) {
    VORLAN_HANDLE engine = GetCryptObj(0);
    ASSERT_NE(engine, nullptr);
    DoneEngine(engine);
    ExpectErrorResults(engine);
    DoneEngine(engine);  // a second destruction is ignored
}

// A destroyed engine's handle is never issued again, so it can never reach another engine.
TEST(BadHandle, HandlesAreNeverIssuedTwice) {
    std::set<VORLAN_HANDLE> stale;
    VORLAN_HANDLE live = GetCryptObj(0);
    for (int i = 0; i < 8; ++i) {
        stale.insert(live);
        DoneEngine(live);
        live = GetCryptObj(0);
        ASSERT_NE(live, nullptr);
        ASSERT_EQ(stale.count(live), 0u) << "a destroyed engine's handle was issued again";
    }
    for (VORLAN_HANDLE handle : stale) ExpectErrorResults(handle);
    DoneEngine(live);
}

TEST(BadHandle, DoneEngineOfUnknownHandleLeavesLiveEnginesAlone) {
    const std::size_t before = vorlan::exports::LiveEngineCount();
    VORLAN_HANDLE engine = GetCryptObj(0);
    int unrelated = 0;
    DoneEngine(reinterpret_cast<VORLAN_HANDLE>(&unrelated));
    DoneEngine(nullptr);
    EXPECT_EQ(vorlan::exports::LiveEngineCount(), before + 1);
    EXPECT_EQ(IsDifferentKeys(engine), 0);
    DoneEngine(engine);
    EXPECT_EQ(vorlan::exports::LiveEngineCount(), before);
}

}  // namespace
