// The certificate and CRL directories under injected faults and a second writer: whichever
// changing call fails, the directory holds its old state or its new one, a reader finds the
// current file at every call, and the next include succeeds.
#include <algorithm>
#include <chrono>
#include <future>
#include <map>

#include "engine_fixture.h"
#include "platform/fault_injection.h"
#include "support/fault_walk.h"
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
    std::string Dir() const { return Path(GetParam().crl ? "CRL\\" : "certs\\"); }
    std::string Source() const { return Path(GetParam().crl ? "new.crl" : "new.pem"); }
    void Restore() {
        DeleteDirectory(Path("CRL"), true);
        DeleteDirectory(Path("certs"), false);
        for (const auto& [file, text] : GetParam().before) {
            ASSERT_TRUE(CreateDirectoryPath(Path(file.substr(0, file.find('\\')))));
            WriteFile(file, text);
        }
        WriteFile(Source().substr(root_.size()), "new");
    }
    std::int32_t Include() {
        return GetParam().crl ? engine_->IncludeCRL(Source().c_str()) : engine_->IncludePublicKey(Source().c_str());
    }
    // Files: what a toolkit reads in the directory, with the content.
    std::map<std::string, std::string> Files() const {
        std::map<std::string, std::string> files;
        for (const auto& entry : platform::Enumerate(Dir() + "*.*"))
            if ((entry.attributes & platform::kAttrDirectory) == 0) files[entry.name] = ReadFile(Dir().substr(root_.size()) + entry.name);
        return files;
    }
    bool CurrentPresent() const {
        const auto files = Files();
        return std::any_of(files.begin(), files.end(), [&](const auto& f) {
            return GetParam().crl ? f.first.ends_with(".pem") : f.first == "USER01.pem" || f.first == "USER01.cer";
        });
    }
};

TEST_P(StoreFaults, EveryFailureLeavesTheOldStateOrTheNew) {
    Fake().SetText("GetCurrentUID", "/C=RU/CN=USER01");
    Fake().SetText("GetCRLIssuerName", "/CN=Test CA");
    ASSERT_EQ(engine_->SetCryptoParamValue(3, root_.c_str()), 0);
    bool seen = false, lost = false, sourceDeleteFailed = false;
    auto restore = [&] {
        Restore();
        seen = CurrentPresent();
        sourceDeleteFailed = false;
    };
    auto observe = [&](const DiskCall& call) {
        lost = lost || (seen && !CurrentPresent());
        sourceDeleteFailed |= call.fails && call.change == DiskChange::Delete && call.path == Source();
    };
    auto after = [&](std::uint32_t, bool succeeded) {
        EXPECT_FALSE(lost || (seen && !CurrentPresent())) << "a reader found no current file";
        // The source goes with the change, unless its own deletion was the call that failed.
        EXPECT_EQ(platform::FileExists(Source()), !succeeded || sourceDeleteFailed);
        WriteFile(Source().substr(root_.size()), "next");
        ASSERT_EQ(Include(), 0) << "the next include";
        const auto files = Files();
        EXPECT_TRUE(std::any_of(files.begin(), files.end(), [](const auto& f) { return f.second == "next"; }));
    };
    WalkFaults(restore, [&] { return Include() == 0; }, [&] { return Files(); }, after, observe);
}

INSTANTIATE_TEST_SUITE_P(
    Stores, StoreFaults,
    ::testing::Values(Scenario{"CertificateReplaced", false, {{"certs\\USER01.pem", "old"}, {"certs\\USER01.001", "older"}}},
                      Scenario{"CertificateBesideCer", false, {{"certs\\USER01.pem", "old"}, {"certs\\USER01.cer", "cer"}}},
                      Scenario{"CerOnly", false, {{"certs\\USER01.cer", "cer"}}},
                      Scenario{"ListRenumbered", true, {{"CRL\\crl4.pem", "old list"}, {"CRL\\crl7.pem", "other"}}},
                      Scenario{"ListUnderItsOwnName", true, {{"CRL\\crl1.pem", "old list"}}},
                      Scenario{"FirstList", true, {}}),
    [](const auto& info) { return std::string(info.param.name); });

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

}  // namespace
}  // namespace vorlan::test
