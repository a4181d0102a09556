#include "renewal_world.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/platform.h"
#include "support/file_utils.h"

namespace vorlan::test {

namespace fs = std::filesystem;

RenewalWorld::RenewalWorld(const Installation& install, const std::string& name)
    : install_(install), base_(install.Path("renewal\\" + name + "\\")), gost_(install.algorithm() == Algorithm::Gost) {
    DeleteDirectory(base_, true);
    for (const char* sub : {"ca", "CA", "CRL", "inbox"}) EXPECT_TRUE(CreateDirectoryPath(Path(sub)));
    ca_ = std::make_unique<OpensslCA>(Native("ca"), install.algorithm());
    EXPECT_TRUE(ca_->MakeRoot("/C=RU/O=Outside CA/CN=Outside CA", 30, Native("CA") + "/ca.pem"));
    EXPECT_TRUE(ca_->WriteCRL(Native("CRL") + "/crl.pem"));
}

RenewalWorld::~RenewalWorld() { DeleteDirectory(base_, true); }

std::string RenewalWorld::Native(const std::string& relative) const { return platform::NativePath(Path(relative)); }

std::string RenewalWorld::ErrorText(VORLAN_HANDLE h, std::int32_t code) {
    char text[1024] = {};
    GetCryptoErrorString(h, code, text);
    return std::to_string(code) + " " + text;
}

std::vector<std::pair<int, std::string>> RenewalWorld::Params(const std::string& user) const {
    return {{1, Path(user + "\\own.pem")}, {2, Path(user + "\\certs")}, {3, Path(user)},
            {4, gost_ ? "RUS-GAMMAR" : "DES-EDE3-CBC"}, {5, gost_ ? "R3410-R3411" : "SHA1"}, {6, "2048"},
            {9, Path(user + "\\req.pem")}, {11, "RU"}, {14, "Test Bank"}, {16, user}, {23, Path("B_" + user)},
            {25, Path("CA")}, {26, Path("CRL")}};
}

EnginePtr RenewalWorld::Open(const std::string& user) const {
    EnginePtr engine = install_.OpenWith(Params(user));
    SetRemoteGeneratePath(engine.get(), Path("R_" + user).c_str());
    return engine;
}

std::string RenewalWorld::Issue(const std::string& request, long serial) const {
    const std::string certificate = Path("inbox\\issued_" + std::to_string(serial) + ".pem");
    EXPECT_TRUE(ca_->IssueRequest(platform::NativePath(request), serial, platform::NativePath(certificate), 30))
        << "the CA refused " << request;
    return certificate;
}

bool RenewalWorld::Keygen(const std::string& dir) const {
    const std::string bin = platform::GetEnv("VORLAN_BIN_DIR").value_or(".");
    const std::string line = "'" + bin + "/vorlan-keygen' --force '" + Native(dir) + "' " + (gost_ ? "gost" : "rsa") + " > /dev/null";
    return std::system(line.c_str()) == 0;
}

void RenewalWorld::Enroll(const std::string& user, long serial) {
    for (const std::string& sub : {user + "\\certs", "R_" + user, "B_" + user}) ASSERT_TRUE(CreateDirectoryPath(Path(sub)));
    {
        EnginePtr engine = Open(user);
        const std::int32_t code = GenerateNewSEK(engine.get());
        ASSERT_EQ(code, 0) << ErrorText(engine.get(), code);
    }
    ASSERT_TRUE(CopyFileWhole(Issue(Path(user + "\\req.pem"), serial), Path(user + "\\own.pem")));
    // Every user files every certificate, this one's included.
    for (const auto& entry : fs::directory_iterator(platform::NativePath(base_))) {
        const std::string other = entry.path().filename().string();
        if (!fs::exists(entry.path() / "certs")) continue;
        const std::string staged = Path("inbox\\" + user + "_for_" + other + ".pem");
        ASSERT_TRUE(CopyFileWhole(Path(user + "\\own.pem"), staged));
        EXPECT_EQ(IncludePublicKey(Open(other).get(), staged.c_str()), 0) << user << " for " << other;
        if (other == user) continue;
        const std::string back = Path("inbox\\" + other + "_for_" + user + ".pem");
        ASSERT_TRUE(CopyFileWhole(Path(other + "\\own.pem"), back));
        EXPECT_EQ(IncludePublicKey(Open(user).get(), back.c_str()), 0) << other << " for " << user;
    }
}

std::string RenewalWorld::StartRenewal(VORLAN_HANDLE h, const std::string& user, int family, const char* name) const {
    std::string marker(static_cast<std::size_t>(GetMaxPublicKeyTransferSize(h)) + 1, '\0');
    std::int32_t step = family;
    const auto start = [&](std::int32_t expectedStep) {
        const std::int32_t code = RemoteGenerateStartEx(h, name, marker.data(), &step);
        EXPECT_EQ(code, 0) << ErrorText(h, code);
        EXPECT_EQ(step, expectedStep);
        return code == 0 && step == expectedStep;
    };
    if (!start(family + 2) || !start(family + 3) || !start(family + 5)) return {};
    EXPECT_TRUE(Keygen("B_" + user));
    if (!start(family + 2)) return {};
    EXPECT_STREQ(marker.c_str(), "LAST STEP");
    if (!start(1)) return {};
    return marker.c_str();
}

std::string RenewalWorld::TransferOf(const std::string& certificate, const std::string& clerk) const {
    EnginePtr engine = Open(clerk);
    std::string transfer(static_cast<std::size_t>(GetMaxPublicKeyTransferSize(engine.get())) + 1, '\0');
    const std::int32_t code = GetPublicKeyTransferByFile(engine.get(), transfer.data(), certificate.c_str());
    EXPECT_EQ(code, 0) << ErrorText(engine.get(), code);
    return transfer.c_str();
}

std::string RenewalWorld::Answer(const std::string& requestTransfer, const std::string& clerk, long serial) const {
    EnginePtr engine = Open(clerk);
    // The request arrives signed with the key it replaces.
    const std::int32_t code = SavePublicKeyFromTransfer(engine.get(), Path("inbox").c_str(), requestTransfer.c_str());
    EXPECT_EQ(code, 0) << ErrorText(engine.get(), code);
    const std::string request = Path("inbox\\request_" + std::to_string(serial) + ".pem");
    EXPECT_TRUE(platform::MoveFile(Path("inbox\\Tmp_cert.pem"), request));
    return TransferOf(Issue(request, serial), clerk);
}

std::string RenewalWorld::Sign(VORLAN_HANDLE h, const std::string& data) const {
    std::string signature(static_cast<std::size_t>(GetMaxSignatureLength(h)), '\0');
    auto length = static_cast<std::int32_t>(signature.size());
    const std::int32_t code = SignData(h, reinterpret_cast<const unsigned char*>(data.data()),
                                       static_cast<std::int32_t>(data.size()),
                                       reinterpret_cast<unsigned char*>(signature.data()), &length, nullptr);
    if (code != 0) return {};
    signature.resize(static_cast<std::size_t>(length));
    return signature;
}

std::string RenewalWorld::SignerFor(const std::string& checker, const std::string& data, const std::string& signature) const {
    if (signature.empty()) return "no signature";
    EnginePtr engine = Open(checker);
    char uid[64] = {};
    const std::int32_t code = VerifyData(engine.get(), reinterpret_cast<const unsigned char*>(data.data()),
                                         static_cast<std::int32_t>(data.size()),
                                         reinterpret_cast<const unsigned char*>(signature.data()),
                                         static_cast<std::int32_t>(signature.size()), uid);
    return code == 0 ? std::string(uid) : "code " + std::to_string(code);
}

std::map<std::string, std::string> RenewalWorld::Tree(const std::string& relative) const {
    std::map<std::string, std::string> files;
    const fs::path root = Native(relative);
    if (!fs::exists(root)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file() || entry.path().extension() == ".lock") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        files[fs::relative(entry.path(), root).generic_string()] = std::string(std::istreambuf_iterator<char>(in), {});
    }
    return files;
}

}  // namespace vorlan::test
