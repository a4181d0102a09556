// The certificate and CRL directories under injected faults: whichever changing call fails,
// the directory holds its old state or its new one, a reader finds the current file at
// every call, and the next include succeeds.
#include <algorithm>
#include <chrono>
#include <future>
#include <map>

#include "engine_fixture.h"
#include "platform/fault_injection.h"
#include "support/file_utils.h"

namespace vorlan::test {
namespace {

using platform::DiskCall;
using platform::DiskChange;
using platform::ScopedFaultPlan;

struct Scenario {
    const char* name;
    bool crl;  // IncludeCRL, else IncludePublicKey
    std::map<std::string, std::string> before;
};

class StoreFaults : public EngineTest, public ::testing::WithParamInterface<Scenario> {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        Fake().SetText("GetCurrentUID", "/C=RU/CN=USER01");
        Fake().SetText("GetCRLIssuerName", "/CN=Test CA");
        ASSERT_EQ(engine_->SetCryptoParamValue(3, root_.c_str()), 0);
    }
    std::string StoreDir() const { return Path(GetParam().crl ? "CRL\\" : "certs\\"); }
    std::string Source() const { return Path(GetParam().crl ? "new.crl" : "new.pem"); }
    // Restore: the store as the scenario begins, and a source to include.
    void Restore(const std::string& content) {
        DeleteDirectory(Path("CRL"), true);
        DeleteDirectory(Path("certs"), false);
        for (const auto& [file, text] : GetParam().before) {
            ASSERT_TRUE(CreateDirectoryPath(Path(file.substr(0, file.find('\\')))));
            WriteFile(file, text);
        }
        ASSERT_TRUE(platform::WriteWholeFile(Source(), content.data(), content.size()));
    }
    std::int32_t Include() {
        return GetParam().crl ? engine_->IncludeCRL(Source().c_str()) : engine_->IncludePublicKey(Source().c_str());
    }
    // Files: the store's own files (what a toolkit reads) with their content.
    std::map<std::string, std::string> Files() const {
        std::map<std::string, std::string> files;
        for (const auto& entry : platform::Enumerate(StoreDir() + "*.*"))
            if ((entry.attributes & platform::kAttrDirectory) == 0)
                files[entry.name] = platform::ReadWholeFile(StoreDir() + entry.name).value_or("?");
        return files;
    }
    // CurrentPresent: a reader finds a current certificate, or a list of the issuer.
    bool CurrentPresent() const {
        if (!GetParam().crl)
            return platform::FileExists(StoreDir() + "USER01.pem") || platform::FileExists(StoreDir() + "USER01.cer");
        for (const auto& [name, content] : Files()) {
            const std::string ext = name.size() < 4 ? name : name.substr(name.size() - 4);
            if (ext == ".pem" || ext == ".crl") return true;
        }
        return false;
    }
    struct Outcome {
        std::int32_t code = 0;
        std::uint32_t calls = 0;
        DiskChange failedChange = DiskChange::Write;
        std::string failedPath;
    };
    // Run: one include under a plan failing call k (0: none); a reader's view is checked
    // before every changing call and after the last one.
    Outcome Run(std::uint32_t k) {
        Outcome outcome;
        bool seen = CurrentPresent(), lost = false;
        {
            ScopedFaultPlan plan({.failCall = k, .observe = [&](const DiskCall& call) {
                                      const bool now = CurrentPresent();
                                      lost = lost || (seen && !now);
                                      seen = seen || now;
                                      if (call.fails) {
                                          outcome.failedChange = call.change;
                                          outcome.failedPath = call.path;
                                      }
                                  }});
            outcome.code = Include();
            outcome.calls = plan.Calls();
        }
        EXPECT_FALSE(lost || (seen && !CurrentPresent())) << "a reader found no current file, failing call " << k;
        return outcome;
    }
};

TEST_P(StoreFaults, EveryFailureLeavesTheOldStateOrTheNew) {
    Restore("new");
    const auto oldState = Files();
    const Outcome normal = Run(0);
    ASSERT_EQ(normal.code, 0);
    const auto newState = Files();
    ASSERT_NE(newState, oldState);
    for (std::uint32_t k = 1; k <= normal.calls; ++k) {
        Restore("new");
        const Outcome faulted = Run(k);
        const auto state = Files();
        SCOPED_TRACE("failing call " + std::to_string(k) + " on " + faulted.failedPath);
        EXPECT_TRUE(state == oldState || state == newState);
        EXPECT_EQ(faulted.code == 0, state == newState) << faulted.code;
        // The source goes with the change, unless its own deletion was the call that failed.
        const bool sourceKept = faulted.code != 0 ||
                                (faulted.failedChange == DiskChange::Delete && faulted.failedPath == Source());
        EXPECT_EQ(platform::FileExists(Source()), sourceKept);

        // The next include succeeds and its file is the current one.
        ASSERT_TRUE(platform::WriteWholeFile(Source(), "next", 4));
        ASSERT_EQ(Include(), 0);
        const auto after = Files();
        if (GetParam().crl) {
            EXPECT_EQ(after.size(), std::max<std::size_t>(oldState.size(), 1));
            EXPECT_TRUE(std::any_of(after.begin(), after.end(), [](const auto& f) { return f.second == "next"; }));
        } else {
            EXPECT_EQ(after.at("USER01.pem"), "next");
        }
    }
}

// A second include of the same UID, started by another engine while the first is between
// its changes, waits for it: both succeed, each with a backup number of its own.
TEST_F(EngineTest, IncludesOfOneUIDAreSerialised) {
    Fake().SetText("GetCurrentUID", "/C=RU/CN=USER01");
    WriteFile("certs\\USER01.pem", "old");
    WriteFile("a.pem", "first");
    WriteFile("b.pem", "second");
    TMProWinCryptoEngine other;
    other.SetRootPath(root_);
    ASSERT_EQ(other.SetCryptoParamValue(2, Path("certs").c_str()), 0);
    std::future<std::int32_t> second;
    std::int32_t first = 0;
    {
        ScopedFaultPlan plan({.observe = [&](const DiskCall& call) {
            if (call.number != 1) return;
            second = std::async(std::launch::async, [&] { return other.IncludePublicKey(Path("b.pem").c_str()); });
            // Long enough for an unserialised include to finish; a serialised one waits anyway.
            second.wait_for(std::chrono::milliseconds(500));
        }});
        first = engine_->IncludePublicKey(Path("a.pem").c_str());
    }
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second.get(), 0);
    EXPECT_EQ(ReadFile("certs\\USER01.001"), "old");
    EXPECT_EQ(ReadFile("certs\\USER01.002"), "first");
    EXPECT_EQ(ReadFile("certs\\USER01.pem"), "second");
}

INSTANTIATE_TEST_SUITE_P(
    Stores, StoreFaults,
    ::testing::Values(Scenario{"CertificateReplaced", false, {{"certs\\USER01.pem", "old"}, {"certs\\USER01.001", "older"}}},
                      Scenario{"CertificateBesideCer", false, {{"certs\\USER01.pem", "old"}, {"certs\\USER01.cer", "cer"}}},
                      Scenario{"CerOnly", false, {{"certs\\USER01.cer", "cer"}}},
                      Scenario{"FirstCertificate", false, {}},
                      Scenario{"ListRenumbered", true, {{"CRL\\crl4.pem", "old list"}, {"CRL\\crl7.pem", "other"}}},
                      Scenario{"ListUnderItsOwnName", true, {{"CRL\\crl1.pem", "old list"}}},
                      Scenario{"FirstList", true, {}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vorlan::test
