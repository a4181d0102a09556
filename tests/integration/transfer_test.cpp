// Public key transfers end to end with the real toolkit, in GOST and in RSA: certificates and
// requests travel, are reported, matched and filed; hostile transfers change nothing; two
// installations laid out by CreateDirStructure exchange keys by transfers alone, then mail.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "installation.h"
#include "platform/platform.h"

namespace vorlan::test {
namespace {

// Codes of the project's toolkit for a transfer whose signature fails.
constexpr std::int32_t kSignatureFormat = -1012, kSignatureInvalid = -1013, kUntrusted = -1014, kRevoked = -1015;

class TransferTest : public ::testing::TestWithParam<Algorithm> {
protected:
    void SetUp() override {
        install_ = Installation::Get(GetParam());
        if (install_ == nullptr) GTEST_SKIP() << "the GOST engine is not installed";
    }
    std::string Error(VORLAN_HANDLE h, std::int32_t code) {
        char text[1024] = {};
        GetCryptoErrorString(h, code, text);
        return std::to_string(code) + " " + text;
    }
    // Transfer: the transfer text an operation writes (empty when it fails).
    template <class Make>
    std::string Transfer(VORLAN_HANDLE h, Make make) {
        std::string buffer(static_cast<std::size_t>(GetMaxPublicKeyTransferSize(h)) + 1, '\0');
        const std::int32_t code = make(buffer.data());
        EXPECT_EQ(code, 0) << Error(h, code);
        return code == 0 ? std::string(buffer.c_str()) : std::string();
    }
    std::string Owner(VORLAN_HANDLE h, const std::string& transfer) {
        char uid[257] = {};
        const std::int32_t code = GetUIDByPublicKeyTransfer(h, transfer.c_str(), uid);
        return code == 0 ? uid : "code " + std::to_string(code);
    }
    std::string Report(VORLAN_HANDLE h, const std::string& transfer) {
        std::string report(static_cast<std::size_t>(GetMaxReportSize(h)), '\0');
        const std::int32_t code = GetPublicKeyPropertiesByTransfer(h, transfer.c_str(), report.data());
        return code == 0 ? report.c_str() : "code " + std::to_string(code);
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(platform::NativePath(path), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // Names: the files of a directory (no "." entries), sorted.
    static std::vector<std::string> Names(const std::string& dir) {
        std::vector<std::string> names;
        for (const auto& e : platform::Enumerate(dir + "\\*.*"))
            if (e.name[0] != '.') names.push_back(e.name);
        std::sort(names.begin(), names.end());
        return names;
    }
    static unsigned char* Bytes(std::string& s) { return reinterpret_cast<unsigned char*>(s.data()); }

    Installation* install_ = nullptr;
    const std::string message_ = "Statement for March: 17 payments, balance 1000.00";
};

TEST_P(TransferTest, CertificateTravelsAndMailFollows) {
    EnginePtr alice = install_->Open("USER01"), bob = install_->Open("USER02");
    const std::string transfer =
        Transfer(alice.get(), [&](char* out) { return GetPublicKeyTransfer(alice.get(), "USER01", out); });
    ASSERT_FALSE(transfer.empty());
    EXPECT_EQ(Owner(bob.get(), transfer), "USER01");
    const std::string report = Report(bob.get(), transfer);
    EXPECT_NE(report.find("CN=USER01\r\n"), std::string::npos) << report;
    EXPECT_NE(report.find("SN=65\r\n"), std::string::npos) << report;
    EXPECT_NE(report.find("PKey=\r\n"), std::string::npos) << report;

    const std::string before = Read(install_->Path("certs\\USER01.pem"));
    ASSERT_EQ(IncludePublicKeyTransfer(bob.get(), transfer.c_str()), 0);
    EXPECT_EQ(Read(install_->Path("certs\\USER01.pem")), before) << "the same certificate came back";
    for (const auto& name : Names(install_->Path("certs"))) EXPECT_NE(name.rfind("crt", 0), 0u) << name;

    std::string buffer = message_;
    buffer.resize(message_.size() + static_cast<std::size_t>(GetMaxEncodeAddition(bob.get())));
    auto size = static_cast<std::int32_t>(message_.size());
    ASSERT_EQ(EncodeData(bob.get(), Bytes(buffer), &size, "USER01"), 0);
    char scratch[64];
    const std::int32_t code = DecodeData(alice.get(), Bytes(buffer), &size, scratch);
    ASSERT_EQ(code, 0) << Error(alice.get(), code);
    EXPECT_EQ(buffer.substr(0, static_cast<std::size_t>(size)), message_);
}

TEST_P(TransferTest, RequestIsReportedAsRequestAndMatchesOnlyItsCertificate) {
    EnginePtr engine = install_->Open("USER01");
    const std::string certificate = install_->StageCertificate("REQ01", 601);
    const std::string request = install_->StageRequest("REQ01", 601);
    const std::string other = install_->StageCertificate("REQ02", 602);
    auto byFile = [&](const std::string& file) {
        return Transfer(engine.get(), [&](char* out) { return GetPublicKeyTransferByFile(engine.get(), out, file.c_str()); });
    };
    const std::string certificateTransfer = byFile(certificate), requestTransfer = byFile(request),
                      otherTransfer = byFile(other);
    EXPECT_EQ(Owner(engine.get(), certificateTransfer), "REQ01");
    EXPECT_EQ(Owner(engine.get(), requestTransfer), "Certificate Request");
    const std::string report = Report(engine.get(), requestTransfer);
    EXPECT_NE(report.find("CN=REQ01\r\n"), std::string::npos) << report;
    EXPECT_EQ(report.find("SN="), std::string::npos) << "a request has no serial: " << report;

    struct Case {
        const std::string& certificate;
        std::int32_t match;
    } cases[] = {{certificateTransfer, -1}, {otherTransfer, 0}};
    for (const auto& c : cases) {
        std::int32_t match = 7;
        EXPECT_EQ(CertAndRequestTransferMatch(engine.get(), c.certificate.c_str(), requestTransfer.c_str(), &match), 0);
        EXPECT_EQ(match, c.match);
    }
}

TEST_P(TransferTest, LongLayoutReadsLikeItsShortTwin) {
    EnginePtr engine = install_->Open("USER01");
    const std::string file = install_->StageCertificate("LONG01", 611);
    const std::string shortTransfer =
        Transfer(engine.get(), [&](char* out) { return GetPublicKeyTransferByFile(engine.get(), out, file.c_str()); });
    // The long layout of older senders: 13828 bytes, block length at 512, block at 516.
    const std::string certificate = Read(file);
    std::string signed_(13828 + static_cast<std::size_t>(GetMaxSignAddition(engine.get())), '\0');
    std::memcpy(signed_.data(), "LONG01", 6);
    for (int i = 0; i < 4; ++i) signed_[512 + i] = static_cast<char>(certificate.size() >> (8 * i));
    std::memcpy(signed_.data() + 516, certificate.data(), certificate.size());
    std::int32_t size = 13828;
    ASSERT_EQ(AddSign(engine.get(), Bytes(signed_), &size, "USER01"), 0);
    std::string longTransfer(4 * ((static_cast<std::size_t>(size) + 2) / 3) + 1, '\0');
    EVP_EncodeBlock(Bytes(longTransfer), Bytes(signed_), size);

    EXPECT_EQ(Owner(engine.get(), longTransfer.c_str()), Owner(engine.get(), shortTransfer));
    EXPECT_EQ(Report(engine.get(), longTransfer.c_str()), Report(engine.get(), shortTransfer));
    ASSERT_TRUE(platform::CreateDir(install_->Path("USER01\\long")));
    ASSERT_EQ(SavePublicKeyFromTransfer(engine.get(), install_->Path("USER01\\long").c_str(), longTransfer.c_str()), 0);
    EXPECT_EQ(Read(install_->Path("USER01\\long\\Tmp_cert.pem")), certificate);
}

TEST_P(TransferTest, HostileTransfersChangeNothing) {
    EnginePtr bob = install_->Open("USER02");
    EnginePtr revoked = install_->Open("REVOKED");
    const std::string byRevoked =
        Transfer(revoked.get(), [&](char* out) { return ExcludeSelfPublicKeyTransfer(revoked.get(), out); });
    // A party of another CA, with an installation of its own.
    TestPKI outside(GetParam());
    const std::string dir = install_->Path("stranger\\");
    ASSERT_TRUE(platform::CreateDir(dir) && platform::CreateDir(dir + "certs"));
    outside.IssueUser("STRANGER", 900, platform::NativePath(dir + "key.pem"), platform::NativePath(dir + "own.pem"));
    EnginePtr stranger =
        install_->OpenWith({{1, dir + "own.pem"}, {2, dir + "certs"}, {3, dir}, {7, dir + "key.pem"}, {25, dir + "CA"}});
    ASSERT_EQ(CreateDirStructure(stranger.get(), (dir + "own.pem").c_str(), ""), 0);
    const std::string byStranger =
        Transfer(stranger.get(), [&](char* out) { return ExcludeSelfPublicKeyTransfer(stranger.get(), out); });
    std::string tampered =
        Transfer(bob.get(), [&](char* out) { return GetPublicKeyTransfer(bob.get(), "USER02", out); });
    tampered[tampered.size() / 3] = tampered[tampered.size() / 3] == 'A' ? 'B' : 'A';

    struct Case {
        const char* what;
        std::string transfer;
        std::int32_t code;
    } cases[] = {{"valid base64 of garbage", "Z2FyYmFnZQ==", kSignatureFormat},
                 {"record changed after signing", tampered, kSignatureInvalid},
                 {"signed by a revoked party", byRevoked, kRevoked},
                 {"signed by a party of another CA", byStranger, kUntrusted},
                 {"not base64", "****", -101}};
    const auto before = Names(install_->Path("certs"));
    const std::string ownBefore = Read(install_->Path("certs\\REVOKED.pem"));
    for (const auto& c : cases) {
        EXPECT_EQ(IncludePublicKeyTransfer(bob.get(), c.transfer.c_str()), c.code) << c.what;
        EXPECT_EQ(IncludeCACertificateFromTransfer(bob.get(), c.transfer.c_str()), c.code) << c.what;
        EXPECT_EQ(Owner(bob.get(), c.transfer), "code " + std::to_string(c.code)) << c.what;
    }
    EXPECT_EQ(Names(install_->Path("certs")), before);
    EXPECT_EQ(Read(install_->Path("certs\\REVOKED.pem")), ownBefore);
    EXPECT_EQ(Names(install_->Path("CA")), std::vector<std::string>{"ca.pem"});
}

TEST_P(TransferTest, CACertificateFromATransferIsFiledUnderTheNextName) {
    const std::string dir = install_->Path("USER03\\CAin");
    ASSERT_TRUE(platform::CreateDir(dir));
    const std::string ca = Read(install_->Path("CA\\ca.pem"));
    ASSERT_TRUE(platform::WriteWholeFile(dir + "\\root.pem", ca.data(), ca.size()));
    EnginePtr engine = install_->OpenWith({{1, install_->Path("USER03\\own.pem")}, {2, install_->Path("certs")},
                                           {3, install_->Path("USER03")}, {7, install_->Path("USER03\\key.pem")},
                                           {25, dir}, {26, install_->Path("CRL")}});
    const std::string caFile = install_->Path("CA\\ca.pem");
    const std::string transfer = Transfer(
        engine.get(), [&](char* out) { return GetPublicKeyTransferByFile(engine.get(), out, caFile.c_str()); });
    EXPECT_EQ(Owner(engine.get(), transfer), GetParam() == Algorithm::Gost ? "Test CA GOST" : "Test CA RSA");
    for (int i = 0; i < 2; ++i) ASSERT_EQ(IncludeCACertificateFromTransfer(engine.get(), transfer.c_str()), 0);
    EXPECT_EQ(Names(dir), (std::vector<std::string>{"ca.pem", "ca00001.pem", "root.pem"}));
    EXPECT_EQ(Read(dir + "\\ca00001.pem"), ca);
}

TEST_P(TransferTest, TwoInstallationsExchangeKeysByTransfersAlone) {
    struct Side {
        const char* name;
        long serial;
        EnginePtr engine;
        std::string transfer;
    } sides[] = {{"ALICE", 701, nullptr, ""}, {"BOB", 702, nullptr, ""}};
    for (auto& side : sides) {
        const std::string certificate = install_->StageCertificate(side.name, side.serial);
        const std::string dir = install_->Path(std::string("two\\") + side.name + "\\");
        side.engine = install_->OpenWith({{1, dir + "own.pem"}, {2, dir + "certs"}, {3, dir + "keys"},
                                          {7, install_->StageKey(side.name, side.serial)}});
        const std::int32_t code =
            CreateDirStructure(side.engine.get(), certificate.c_str(), install_->Path("CA\\ca.pem").c_str());
        ASSERT_EQ(code, 0) << Error(side.engine.get(), code);
        EXPECT_EQ(Names(dir + "keys\\CA"), std::vector<std::string>{"ca1.pem"});
        EXPECT_EQ(Names(dir + "certs"), std::vector<std::string>{std::string(side.name) + ".pem"});
        side.transfer = Transfer(side.engine.get(),
                                 [&](char* out) { return ExcludeSelfPublicKeyTransfer(side.engine.get(), out); });
    }
    VORLAN_HANDLE alice = sides[0].engine.get(), bob = sides[1].engine.get();
    std::string buffer = message_;
    buffer.resize(message_.size() + static_cast<std::size_t>(GetMaxEncodeAddition(alice)) +
                  static_cast<std::size_t>(GetMaxSignAddition(alice)));
    auto size = static_cast<std::int32_t>(message_.size());
    EXPECT_EQ(EncodeData(alice, Bytes(buffer), &size, "BOB"), -113) << "no key of BOB yet";

    ASSERT_EQ(IncludePublicKeyTransfer(bob, sides[0].transfer.c_str()), 0);
    ASSERT_EQ(IncludePublicKeyTransfer(alice, sides[1].transfer.c_str()), 0);
    std::int32_t code = EncodeData(alice, Bytes(buffer), &size, "BOB");
    ASSERT_EQ(code, 0) << Error(alice, code);
    char scratch[64];
    code = DecodeData(bob, Bytes(buffer), &size, scratch);
    ASSERT_EQ(code, 0) << Error(bob, code);
    EXPECT_EQ(buffer.substr(0, static_cast<std::size_t>(size)), message_);
    code = AddSign(bob, Bytes(buffer), &size, "BOB");
    ASSERT_EQ(code, 0) << Error(bob, code);
    char signer[40] = {};
    code = RemoveSign(alice, Bytes(buffer), &size, signer);
    ASSERT_EQ(code, 0) << Error(alice, code);
    EXPECT_STREQ(signer, "BOB");
}

INSTANTIATE_TEST_SUITE_P(Algorithms, TransferTest, ::testing::Values(Algorithm::Gost, Algorithm::Rsa),
                         [](const auto& info) { return info.param == Algorithm::Gost ? "GOST" : "RSA"; });

}  // namespace
}  // namespace vorlan::test
