// Transfers, CA certificates, directory structures and removals under injected faults:
// whichever changing call fails, the store holds its old state or its new one, a reader
// finds the current file at every call, nothing staged stays behind, and the next call
// succeeds.
#include <algorithm>
#include <cstdio>
#include <map>

#include "binding/base64.h"
#include "engine/transfer_record.h"
#include "engine_fixture.h"
#include "platform/fault_injection.h"
#include "support/fault_walk.h"
#include "support/file_utils.h"

namespace vorlan::test {
namespace {

using platform::DiskCall;

std::string Transfer(const std::string& block) {
    const std::string record = PackTransferRecord("USER01", block);
    return Base64Encode(record.data(), static_cast<std::int32_t>(record.size()));
}

// Operation: one changing operation; `text` is what it puts into the store.
using Operation = std::int32_t (*)(TMProWinCryptoEngine& engine, const std::string& root, const std::string& text);

struct Walk {
    const char* name;
    Operation run;
    std::map<std::string, std::string> before;  // files below the root
    const char* store;                          // the directory whose files are compared
    std::vector<const char*> current;           // files of which a reader must always find one
};
void PrintTo(const Walk& walk, std::ostream* out) { *out << walk.name; }

std::int32_t IncludeTransfer(TMProWinCryptoEngine& engine, const std::string&, const std::string& text) {
    return engine.IncludePublicKeyTransfer(Transfer(text).c_str());
}

std::int32_t IncludeCA(TMProWinCryptoEngine& engine, const std::string&, const std::string& text) {
    return engine.IncludeCACertificateFromTransfer(Transfer(text).c_str());
}

std::int32_t SaveTransfer(TMProWinCryptoEngine& engine, const std::string& root, const std::string& text) {
    return engine.SavePublicKeyFromTransfer((root + "inbox").c_str(), Transfer(text).c_str());
}

std::int32_t LayOut(TMProWinCryptoEngine& engine, const std::string& root, const std::string& text) {
    // The first call's sources are in place before the walk; the next one gets new ones.
    for (const char* name : {"in\\own.pem", "in\\ca1.pem", "in\\ca2.pem"})
        if (text == "next" && !platform::WriteWholeFile(root + name, text.data(), text.size())) return -1;
    return engine.CreateDirStructure((root + "in\\own.pem").c_str(), "%ZELRoot%in\\ca1.pem;%ZELRoot%in\\ca2.pem");
}

std::int32_t Remove(TMProWinCryptoEngine& engine, const std::string& root, const std::string& text) {
    // The next call has a certificate to remove again.
    if (text == "next" && !platform::WriteWholeFile(root + "user\\certs\\USER02.pem", "again", 5)) return -1;
    return engine.RemoveCertificate("USER02");
}

class TransferFaults : public EngineTest, public ::testing::WithParamInterface<Walk> {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        Fake().SetText("GetCurrentUID", "/C=RU/CN=USER01");
        ASSERT_EQ(engine_->SetCryptoParamValue(1, Path("user\\own.pem").c_str()), 0);
        ASSERT_EQ(engine_->SetCryptoParamValue(2, Path("user\\certs").c_str()), 0);
        ASSERT_EQ(engine_->SetCryptoParamValue(3, Path("user").c_str()), 0);
    }
    void Restore() {
        for (const char* dir : {"user", "inbox", "in"}) DeleteDirectory(Path(dir), true);
        for (const char* dir : {"user\\certs", "inbox", "in"}) ASSERT_TRUE(CreateDirectoryPath(Path(dir)));
        for (const auto& [file, text] : GetParam().before) {
            ASSERT_TRUE(CreateDirectoryPath(Path(file.substr(0, file.rfind('\\')))));
            WriteFile(file, text);
        }
    }
    // Files: every file below the store with its content; `temporaries` too or not.
    std::map<std::string, std::string> Files(const std::string& relative, bool temporaries = true) const {
        std::map<std::string, std::string> files;
        for (const auto& entry : platform::Enumerate(Path(relative) + "*.*")) {
            if (entry.name == "." || entry.name == "..") continue;
            const std::string name = relative + entry.name;
            if ((entry.attributes & platform::kAttrDirectory) != 0) files.merge(Files(name + "\\", temporaries));
            else if (temporaries || !IsTemporary(name)) files[name] = ReadFile(name);
        }
        return files;
    }
    // IsTemporary: a transfer's certificate before it is filed under its UID ("crt" + number).
    static bool IsTemporary(const std::string& name) { return ExtractFileName(name).starts_with("crt"); }
    bool CurrentPresent() const {
        const auto& current = GetParam().current;
        return current.empty() || std::any_of(current.begin(), current.end(), [&](const char* f) { return Exists(f); });
    }
    std::int32_t Run(const std::string& text) { return GetParam().run(*engine_, root_, text); }
};

TEST_P(TransferFaults, EveryFailureLeavesTheOldStateOrTheNew) {
    bool seen = false, lost = false;
    auto restore = [&] {
        Restore();
        seen = CurrentPresent();
        lost = false;
    };
    std::string failed;  // the call that failed in this run
    std::map<std::uint32_t, std::string> calls;
    auto observe = [&](const DiskCall& call) {
        static const char* kinds[] = {"write", "rename", "copy", "delete", "mkdir"};
        if (call.fails) failed = std::string(kinds[static_cast<int>(call.change)]) + " " + call.path.substr(root_.size());
        lost = lost || (seen && !CurrentPresent());
    };
    const std::string store = GetParam().store;
    auto after = [&](std::uint32_t k, bool succeeded) {
        calls[k] = failed + (succeeded ? ": succeeded" : ": failed");
        EXPECT_FALSE(lost || (seen && !CurrentPresent())) << "a reader found no current file";
        // Nothing staged stays; a temporary only when its own deletion was the call that failed.
        for (const auto& [name, text] : Files(store))
            EXPECT_TRUE(!name.ends_with(".new") && (!IsTemporary(name) || failed == "delete " + name)) << name << " stayed behind";
        ASSERT_EQ(Run("next"), 0) << "the next call";
    };
    WalkFaults(restore, [&] { return Run("new") == 0; }, [&] { return Files(store, false); }, after, observe);
    if (HasFailure())
        for (const auto& [k, call] : calls) std::printf("  call %u: %s\n", k, call.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Operations, TransferFaults,
    ::testing::Values(
        Walk{"TransferReplacesPem", IncludeTransfer, {{"user\\certs\\USER01.pem", "old"}, {"user\\certs\\USER01.001", "older"}}, "user\\certs\\",
             {"user\\certs\\USER01.pem", "user\\certs\\USER01.cer"}},
        Walk{"TransferBesideCer", IncludeTransfer, {{"user\\certs\\USER01.pem", "old"}, {"user\\certs\\USER01.cer", "cer"}}, "user\\certs\\",
             {"user\\certs\\USER01.pem", "user\\certs\\USER01.cer"}},
        Walk{"TransferOverCerOnly", IncludeTransfer, {{"user\\certs\\USER01.cer", "cer"}}, "user\\certs\\",
             {"user\\certs\\USER01.pem", "user\\certs\\USER01.cer"}},
        Walk{"FirstTransfer", IncludeTransfer, {}, "user\\certs\\", {}},
        Walk{"CACertificateBesideOthers", IncludeCA, {{"user\\CA\\ca.pem", "first CA"}}, "user\\", {"user\\CA\\ca.pem"}},
        Walk{"FirstCACertificate", IncludeCA, {}, "user\\", {}},
        Walk{"TransferSavedOverPending", SaveTransfer, {{"inbox\\Tmp_cert.pem", "pending"}}, "inbox\\",
             {"inbox\\Tmp_cert.pem"}},
        Walk{"NewDirectoryStructure", LayOut, {{"in\\own.pem", "own"}, {"in\\ca1.pem", "CA 1"}, {"in\\ca2.pem", "CA 2"}},
             "user\\", {}},
        Walk{"DirectoryStructureOverOld", LayOut,
             {{"in\\own.pem", "own"}, {"in\\ca1.pem", "CA 1"}, {"in\\ca2.pem", "CA 2"}, {"user\\own.pem", "old own"},
              {"user\\certs\\USER01.pem", "old"}, {"user\\CA\\ca1.pem", "old CA"}},
             "user\\",
             {"user\\own.pem"}},
        Walk{"CertificateRemoved", Remove, {{"user\\certs\\USER02.pem", "pem"}, {"user\\certs\\USER02.cer", "cer"}}, "user\\certs\\", {}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vorlan::test
