// A message signed and encrypted by one build opens in the other (Linux and Windows under
// Wine), with one test PKI. cross_platform.sh runs these with VORLAN_E2E_ROOT set (and
// VORLAN_E2E_PEER for the reading side); without them they are skipped. The table of names
// runs on its own too, where the openssl command line makes its certificates.
#include <gtest/gtest.h>

#include "binding/base64.h"
#include "installation.h"
#include "platform/ansi_text.h"
#include "platform/platform.h"
#include "platform/text_chars.h"
#include "support/file_utils.h"
#ifndef _WIN32
#include "pki/openssl_ca.h"
#endif

namespace vorlan::test {
namespace {

const std::string kMessage = "Cross-platform order 7: 250.00 RUB from USER01 to USER02";
const char* const kMessageFile = "message.bin";

unsigned char* Bytes(std::string& s) { return reinterpret_cast<unsigned char*>(s.data()); }

// Seal: the message signed (attached) as signer and encrypted for `to`; a refusal gives its code.
std::string Seal(VORLAN_HANDLE from, const std::string& signer, const std::string& to) {
    std::string buffer = kMessage;
    buffer.resize(kMessage.size() + static_cast<std::size_t>(GetMaxSignAddition(from) + GetMaxAdditionEx(from, to.c_str())));
    auto size = static_cast<std::int32_t>(kMessage.size());
    std::int32_t code = AddSign(from, Bytes(buffer), &size, signer.c_str());
    if (code == 0) code = EncodeData(from, Bytes(buffer), &size, to.c_str());
    return code != 0 ? std::to_string(code) : buffer.substr(0, static_cast<std::size_t>(size));
}

// Open: "signer: text" of a sealed message, decrypted and its signature checked; or the code.
std::string Open(VORLAN_HANDLE by, std::string buffer) {
    auto size = static_cast<std::int32_t>(buffer.size());
    char scratch[161] = {}, signer[161] = {};
    std::int32_t code = DecodeData(by, Bytes(buffer), &size, scratch);
    if (code == 0) code = RemoveSign(by, Bytes(buffer), &size, signer);
    return code != 0 ? std::to_string(code) : signer + (": " + buffer.substr(0, static_cast<std::size_t>(size)));
}

class CrossPlatformTest : public ::testing::TestWithParam<Algorithm> {
protected:
    void SetUp() override {
        if (platform::GetEnv("VORLAN_E2E_ROOT").value_or("").empty()) GTEST_SKIP() << "run by cross_platform.sh";
        install_ = Installation::Get(GetParam());
        if (install_ == nullptr) GTEST_SKIP() << "the GOST engine is not installed";
    }
    Installation* install_ = nullptr;
};

// USER01 signs (attached) and encrypts for USER02; the result goes to this side's root.
TEST_P(CrossPlatformTest, WritesSignedAndEncrypted) {
    const std::string sealed = Seal(install_->Open("USER01").get(), "USER01", "USER02");
    ASSERT_TRUE(platform::WriteWholeFile(install_->Path(kMessageFile), sealed.data(), sealed.size()));
}

// USER02 decrypts the peer's message and finds USER01's valid signature on the text.
TEST_P(CrossPlatformTest, ReadsThePeersMessage) {
    const std::string file = install_->PeerPath(kMessageFile);
    if (file.empty()) GTEST_SKIP() << "no peer";
    auto message = platform::ReadWholeFile(file);
    ASSERT_TRUE(message) << file;
    EXPECT_EQ(Open(install_->Open("USER02").get(), *message), "USER01: " + kMessage);
}

INSTANTIATE_TEST_SUITE_P(Algorithms, CrossPlatformTest, ::testing::Values(Algorithm::Gost, Algorithm::Rsa),
                         [](const auto& info) { return info.param == Algorithm::Gost ? "GOST" : "RSA"; });

// The table of names in UTF-8 (this file's encoding), each with a spelling in another case:
// Latin, short Cyrillic, a full name of 40 characters, mixed case, Ё and ё.
const struct {
    const char* name;
    const char* otherCase;
} kNames[] = {{"SIDOROV", "Sidorov"},
              {"ИВАНОВ", "иванов"},
              {"ЗАДУНАЙСКИЙ-РЫМНИКСКИЙ АФАНАСИЙ ПЕТРОВИЧ", "задунайский-рымникский афанасий петрович"},
              {"Смирнова Анна Ивановна", "СМИРНОВА аННА иВАНОВНА"},
              {"Ёлкин Семён", "ёЛКИН сЕМЁН"}};

// Host: a UTF-8 text as this platform's 8-bit text (Windows: the ANSI code page).
std::string Host(const char* utf8) {
    bool lossy = false;
    std::string text = platform::CharsToAnsi(chars::DecodeUtf8(utf8), &lossy);
    EXPECT_FALSE(lossy) << "the ANSI code page cannot write " << utf8;
    return text;
}

// NameCertificate: the key and certificate of a name in the directory of its UID: the peer's,
// or new ones from `openssl ca -utf8` with the installation's CA.
void NameCertificate(const Installation& install, [[maybe_unused]] const std::string& subject, const std::string& uid) {
    ASSERT_TRUE(CreateDirectoryPath(install.Path(uid)));
    if (!install.PeerPath("").empty()) {
        for (const char* file : {"\\own.pem", "\\key.pem"})
            ASSERT_TRUE(CopyFileWhole(install.PeerPath(uid + file), install.Path(uid + file))) << file;
        return;
    }
#ifndef _WIN32
    OpensslCA ca(install.Native("openssl-ca"), install.algorithm());
    ca.UseRoot(install.Native("CA\\ca.pem"), install.Native("ca.key"));
    ASSERT_TRUE(ca.Issue(subject, install.Native(uid + "\\own.pem"), install.Native(uid + "\\key.pem")));
#endif
}

class NameTableTest : public InstallationTest {};

// Every name through include, transfer, encryption, signature and report; what this side
// makes for a name goes to its root, and what the peer made for it is read here too.
TEST_P(NameTableTest, NamesTravelEndToEnd) {
    const bool peer = !install_->PeerPath("").empty();
#ifdef _WIN32
    if (!peer) GTEST_SKIP() << "the certificates come from the Linux run (cross_platform.sh)";
    ASSERT_EQ(Host("И"), "\xC8") << "run in code page 1251";
#endif
    EnginePtr user01 = install_->Open("USER01"), user02 = install_->Open("USER02");
    ASSERT_TRUE(CreateDirectoryPath(install_->Path("names")));
    for (std::size_t i = 0; i < std::size(kNames); ++i) {
        const std::string uid = Host(kNames[i].name), stem = "names\\" + std::to_string(i);
        SCOPED_TRACE(kNames[i].name);
        NameCertificate(*install_, std::string("/C=RU/O=Тестовый банк/CN=") + kNames[i].name, uid);
        EnginePtr own = install_->Open(uid);
        ASSERT_TRUE(CopyFileWhole(install_->Path(uid + "\\own.pem"), install_->Path(stem + ".pem")));
        EXPECT_EQ(IncludePublicKey(user01.get(), install_->Path(stem + ".pem").c_str()), 0);
        EXPECT_TRUE(platform::FileExists(install_->Path("certs\\" + uid + ".pem")));
        char found[161] = {};
        EXPECT_EQ(GetCurrentUserUID(own.get(), found), 0);
        EXPECT_EQ(found, uid);
        std::string transfer(static_cast<std::size_t>(GetMaxPublicKeyTransferSize(own.get())) + 1, '\0');
        ASSERT_EQ(ExcludeSelfPublicKeyTransfer(own.get(), transfer.data()), 0);
        transfer.resize(transfer.find('\0'));
        if (i == 1) {  // ИВАНОВ
            EXPECT_EQ(Base64Decode(transfer.c_str(), 8), "\xC8\xC2\xC0\xCD\xCE\xC2") << "the owner in Windows-1251";
        }
        const std::string sealed = Seal(own.get(), uid, uid);
        std::vector<std::pair<std::string, std::string>> made{{transfer, sealed}};
        ASSERT_TRUE(platform::WriteWholeFile(install_->Path(stem + ".trf"), transfer.data(), transfer.size()));
        ASSERT_TRUE(platform::WriteWholeFile(install_->Path(stem + ".msg"), sealed.data(), sealed.size()));
        if (peer)
            made.emplace_back(platform::ReadWholeFile(install_->PeerPath(stem + ".trf")).value_or(""),
                              platform::ReadWholeFile(install_->PeerPath(stem + ".msg")).value_or(""));
        for (const auto& [text, message] : made) {
            char owner[257] = {};
            EXPECT_EQ(GetUIDByPublicKeyTransfer(user02.get(), text.c_str(), owner), 0);
            EXPECT_EQ(owner, uid);
            EXPECT_EQ(IncludePublicKeyTransfer(user02.get(), text.c_str()), 0);
            EXPECT_EQ(Open(own.get(), message), uid + ": " + kMessage);
        }
        std::string report(static_cast<std::size_t>(GetMaxReportSize(user02.get())) + 1, '\0');
        EXPECT_EQ(GetReport(user02.get(), uid.c_str(), report.data()), 0);
        EXPECT_NE(report.find("\nCN=" + uid + "\r\n"), std::string::npos) << report.c_str();
        EXPECT_EQ(RemoveCertificate(own.get(), Host(kNames[i].otherCase).c_str()), -120) << "the own UID in another case";
    }
}

INSTANTIATE_TEST_SUITE_P(Algorithms, NameTableTest, ::testing::Values(Algorithm::Gost, Algorithm::Rsa),
                         [](const auto& info) { return info.param == Algorithm::Gost ? "GOST" : "RSA"; });

}  // namespace
}  // namespace vorlan::test
