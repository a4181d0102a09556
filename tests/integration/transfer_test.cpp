// Public key transfers end to end with the real toolkit, in GOST and in RSA: certificates,
// requests and CA certificates travel, are reported, matched and filed; hostile transfers
// change nothing; two installations laid out by CreateDirStructure exchange keys by
// transfers alone, then mail.
#include <openssl/evp.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "installation.h"
#include "platform/platform.h"
#include "support/file_utils.h"

namespace vorlan::test {
namespace {

class TransferTest : public InstallationTest {
protected:
    // Made: the transfer text an operation writes (empty when it fails).
    template <class Make>
    std::string Made(VORLAN_HANDLE h, Make make) {
        std::string buffer(static_cast<std::size_t>(GetMaxPublicKeyTransferSize(h)) + 1, '\0');
        const std::int32_t code = make(buffer.data());
        EXPECT_EQ(code, 0) << ErrorText(h, code);
        return code == 0 ? std::string(buffer.c_str()) : std::string();
    }
    std::string ByFile(VORLAN_HANDLE h, const std::string& file) {
        return Made(h, [&](char* out) { return GetPublicKeyTransferByFile(h, out, file.c_str()); });
    }
    // Owner: the owner of a transfer, in a buffer of the size the library gives for a UID.
    static std::string Owner(VORLAN_HANDLE h, const std::string& transfer) {
        std::string uid(static_cast<std::size_t>(GetMaxUIDLength(h)), '\0');
        const std::int32_t code = GetUIDByPublicKeyTransfer(h, transfer.c_str(), uid.data());
        return code == 0 ? uid.c_str() : "code " + std::to_string(code);
    }
    // Report: the report of a transfer (or, byFile, of a file).
    static std::string Report(VORLAN_HANDLE h, const std::string& transfer, bool byFile = false) {
        std::string report(static_cast<std::size_t>(GetMaxReportSize(h)), '\0');
        const std::int32_t code = byFile ? GetPublicKeyPropertiesByFile(h, transfer.c_str(), report.data())
                                         : GetPublicKeyPropertiesByTransfer(h, transfer.c_str(), report.data());
        return code == 0 ? report.c_str() : "code " + std::to_string(code);
    }
    // Signed: a transfer that h signs, of the owner and block given, in the short or long layout.
    static std::string Signed(VORLAN_HANDLE h, const std::string& owner, const std::string& block, bool longLayout = false) {
        const std::size_t size = longLayout ? 13828 : 8452, at = longLayout ? 512 : 256;
        std::string record(size + static_cast<std::size_t>(GetMaxSignAddition(h)), '\0');
        std::memcpy(record.data(), owner.data(), std::min<std::size_t>(owner.size(), 255));
        for (std::size_t i = 0; i < 4; ++i) record[at + i] = static_cast<char>(block.size() >> (8 * i));
        std::memcpy(record.data() + at + 4, block.data(), block.size());
        auto length = static_cast<std::int32_t>(size);
        EXPECT_EQ(AddSign(h, Bytes(record), &length, nullptr), 0);
        std::string text(4 * ((static_cast<std::size_t>(length) + 2) / 3) + 1, '\0');
        EVP_EncodeBlock(Bytes(text), Bytes(record), length);
        return text.c_str();
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(platform::NativePath(path), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static std::vector<std::string> Names(const std::string& dir) {
        std::vector<std::string> names;
        for (const auto& e : platform::Enumerate(dir + "\\*.*"))
            if (e.name[0] != '.') names.push_back(e.name);
        std::sort(names.begin(), names.end());
        return names;
    }
    static unsigned char* Bytes(std::string& s) { return reinterpret_cast<unsigned char*>(s.data()); }
    // Mail: from encrypts the message for to, to decrypts it; then to signs it attached and
    // from takes the signature off: the message and the signer's UID, or the failing code.
    std::string Mail(VORLAN_HANDLE from, VORLAN_HANDLE to, const char* toUid) {
        std::string buffer = message_;
        buffer.resize(message_.size() + static_cast<std::size_t>(GetMaxEncodeAddition(from) + GetMaxSignAddition(to)));
        auto size = static_cast<std::int32_t>(message_.size());
        char signer[64] = {};
        for (std::int32_t code : {EncodeData(from, Bytes(buffer), &size, toUid), DecodeData(to, Bytes(buffer), &size, signer),
                                  AddSign(to, Bytes(buffer), &size, toUid), RemoveSign(from, Bytes(buffer), &size, signer)})
            if (code != 0) return "code " + std::to_string(code);
        return buffer.substr(0, static_cast<std::size_t>(size)) + " from " + signer;
    }
    const std::string message_ = "Statement for March: 17 payments, balance 1000.00";
};

TEST_P(TransferTest, CertificateTravelsInBothLayoutsAndMailFollows) {
    EnginePtr alice = install_->Open("USER01"), bob = install_->Open("USER02");
    const std::string transfer = Made(alice.get(), [&](char* out) { return GetPublicKeyTransfer(alice.get(), "USER01", out); });
    EXPECT_EQ(Owner(bob.get(), transfer), "USER01");
    const std::string report = Report(bob.get(), transfer);
    for (const char* line : {"CN=USER01\r\n", "SN=65\r\n", "PKey=\r\n"}) EXPECT_NE(report.find(line), std::string::npos) << report;

    // The long layout of older senders (block length at 512, block at 516) reads the same, and
    // so does a text that a mail client wrapped at 76 columns.
    const std::string longTransfer = Signed(alice.get(), "USER01", Read(install_->Path("USER01\\own.pem")), true);
    std::string wrapped;
    for (std::size_t i = 0; i < longTransfer.size(); i += 76) wrapped += longTransfer.substr(i, 76) + "\r\n";
    EXPECT_EQ(Owner(bob.get(), wrapped), "USER01");
    EXPECT_EQ(Report(bob.get(), wrapped), report);

    const std::string before = Read(install_->Path("certs\\USER01.pem"));
    ASSERT_EQ(IncludePublicKeyTransfer(bob.get(), wrapped.c_str()), 0);
    EXPECT_EQ(Read(install_->Path("certs\\USER01.pem")), before) << "the same certificate came back";
    for (const auto& name : Names(install_->Path("certs"))) EXPECT_NE(name.rfind("crt", 0), 0u) << name;
    EXPECT_EQ(Mail(bob.get(), alice.get(), "USER01"), message_ + " from USER01");
}

TEST_P(TransferTest, RequestsMatchTheirCertificateAndCACertificatesAreNumbered) {
    EnginePtr engine = install_->Open("USER01");
    const std::string certificate = ByFile(engine.get(), install_->StageCertificate("REQ01", 601));
    const std::string request = ByFile(engine.get(), install_->StageRequest("REQ01", 601));
    const std::string other = ByFile(engine.get(), install_->StageCertificate("REQ02", 602));
    EXPECT_EQ(Owner(engine.get(), certificate), "REQ01");
    EXPECT_EQ(Owner(engine.get(), request), "Certificate Request");
    const std::string report = Report(engine.get(), request);
    EXPECT_NE(report.find("CN=REQ01\r\n"), std::string::npos) << report;
    EXPECT_EQ(report.find("SN="), std::string::npos) << "a request has no serial: " << report;
    // A text between request markers that the toolkit cannot read is nobody's request.
    const std::string text = "-----BEGIN CERTIFICATE REQUEST-----\nSerial Number:\n 01\nSubject: CN=OFFICE\n"
                             "        Subject Public Key Info:\n-----END CERTIFICATE REQUEST-----\n";
    const std::string posing = install_->Path("staging\\posing.req");
    ASSERT_TRUE(platform::WriteWholeFile(posing, text.data(), text.size()));
    EXPECT_EQ(Report(engine.get(), posing, true) + Report(engine.get(), ByFile(engine.get(), posing)), "code -1018code -1018");
#if !defined(_WIN32)
    // A link planted where a predictable temporary name would be is neither followed nor in the way.
    const std::string tmp = install_->Native("staging/tmp");
    ASSERT_TRUE(CreateDirectoryPath(tmp) && symlink((tmp + "/elsewhere").c_str(), (tmp + "/0").c_str()) == 0);
    const auto savedTmp = platform::GetEnv("TMPDIR");
    platform::SetEnv("TMPDIR", tmp);
#endif
    std::int32_t match[2] = {7, 7};
    EXPECT_EQ(CertAndRequestTransferMatch(engine.get(), certificate.c_str(), request.c_str(), &match[0]), 0);
    EXPECT_EQ(CertAndRequestTransferMatch(engine.get(), other.c_str(), request.c_str(), &match[1]), 0);
    EXPECT_EQ(match[0] * 10 + match[1], -10) << "the request's certificate only";
#if !defined(_WIN32)
    platform::SetEnv("TMPDIR", savedTmp.value_or(""));
    EXPECT_EQ(Names(tmp), std::vector<std::string>{"0"});
#endif

    // A CA directory that trusts the CA under another name receives it as ca.pem, then ca00001.pem.
    const std::string dir = install_->Path("USER03\\CAin");
    ASSERT_TRUE(platform::CreateDir(dir));
    const std::string ca = Read(install_->Path("CA\\ca.pem"));
    ASSERT_TRUE(platform::WriteWholeFile(dir + "\\root.pem", ca.data(), ca.size()));
    EXPECT_EQ(SetCryptoParamValue(engine.get(), 25, dir.c_str()), 0);
    const std::string caTransfer = ByFile(engine.get(), install_->Path("CA\\ca.pem"));
    EXPECT_EQ(Owner(engine.get(), caTransfer), GetParam() == Algorithm::Gost ? "Test CA GOST" : "Test CA RSA");
    for (int i = 0; i < 2; ++i) ASSERT_EQ(IncludeCACertificateFromTransfer(engine.get(), caTransfer.c_str()), 0);
    EXPECT_EQ(Names(dir), (std::vector<std::string>{"ca.pem", "ca00001.pem", "root.pem"}));
    EXPECT_EQ(Read(dir + "\\ca00001.pem"), ca);
}

TEST_P(TransferTest, HostileTransfersChangeNothing) {
    EnginePtr bob = install_->Open("USER02"), revoked = install_->Open("REVOKED");
    // A party of another CA, with an installation of its own.
    TestPKI outside(GetParam());
    const std::string dir = install_->Path("stranger\\");
    ASSERT_TRUE(platform::CreateDir(dir));
    outside.IssueUser("STRANGER", 900, platform::NativePath(dir + "key.pem"), platform::NativePath(dir + "own.pem"));
    EnginePtr stranger = install_->OpenWith({{1, dir + "own.pem"}, {2, dir + "certs"}, {3, dir}, {7, dir + "key.pem"}});
    ASSERT_EQ(CreateDirStructure(stranger.get(), (dir + "own.pem").c_str(), ""), 0);
    std::string tampered = Made(bob.get(), [&](char* out) { return GetPublicKeyTransfer(bob.get(), "USER02", out); });
    tampered[tampered.size() / 3] = tampered[tampered.size() / 3] == 'A' ? 'B' : 'A';
    // The project's toolkit codes: signature format, signature invalid, untrusted, revoked.
    const std::pair<std::string, std::int32_t> cases[] = {
        {"Z2FyYmFnZQ==", -1012},  // valid base64 of garbage
        {tampered, -1013},
        {Made(stranger.get(), [&](char* out) { return ExcludeSelfPublicKeyTransfer(stranger.get(), out); }), -1014},
        {Made(revoked.get(), [&](char* out) { return ExcludeSelfPublicKeyTransfer(revoked.get(), out); }), -1015},
        {"****", -101},
    };
    const auto before = Names(install_->Path("certs"));
    const std::string revokedBefore = Read(install_->Path("certs\\REVOKED.pem"));
    for (const auto& [transfer, code] : cases) {
        EXPECT_EQ(IncludePublicKeyTransfer(bob.get(), transfer.c_str()), code);
        EXPECT_EQ(IncludeCACertificateFromTransfer(bob.get(), transfer.c_str()), code);
        EXPECT_EQ(Owner(bob.get(), transfer), "code " + std::to_string(code));
    }
    EXPECT_EQ(Names(install_->Path("certs")), before);
    EXPECT_EQ(Read(install_->Path("certs\\REVOKED.pem")), revokedBefore);
    EXPECT_EQ(Names(install_->Path("CA")), std::vector<std::string>{"ca.pem"});
}

// A transfer's owner is the UID of the certificate it carries, and a UID at all: any other is
// refused where a transfer is read for its owner or filed, and nothing is written.
TEST_P(TransferTest, OwnersOtherThanTheCertificatesUIDAreRefused) {
    EnginePtr office = install_->Open("USER02"), user = install_->Open("USER01");
    const std::string certificate = Read(install_->Path("USER02\\own.pem"));
    const std::pair<std::string, std::int32_t> cases[] = {{"USER02", 0},       {"OFFICE", -137},   {"..\\x", -110},
                                                          {"C:\\x", -110},    {"USER02\r\n", -110}, {std::string(200, 'U'), -110}};
    for (const auto& [owner, code] : cases) {
        const std::string transfer = Signed(office.get(), owner, certificate);
        EXPECT_EQ(Owner(user.get(), transfer), code == 0 ? owner : "code " + std::to_string(code));
        const auto before = Names(install_->Path("certs"));
        EXPECT_EQ(IncludePublicKeyTransfer(user.get(), transfer.c_str()), code);
        EXPECT_TRUE(code == 0 || Names(install_->Path("certs")) == before) << owner;
    }
}

TEST_P(TransferTest, TwoInstallationsExchangeKeysByTransfersAlone) {
    struct Side {
        const char* name;
        long serial;
        const char* caDir;  // parameter 25, where the toolkit looks for CA certificates
        EnginePtr engine;
        std::string certificate, transfer;
    } sides[] = {{"ALICE", 701, "trust", nullptr, "", ""}, {"BOB", 702, "keys\\CA", nullptr, "", ""}};
    for (auto& side : sides) {
        side.certificate = install_->StageCertificate(side.name, side.serial);
        const std::string dir = install_->Path(std::string("two\\") + side.name + "\\");
        side.engine = install_->OpenWith({{1, dir + "own.pem"}, {2, dir + "certs"}, {3, dir + "keys"},
                                          {7, install_->StageKey(side.name, side.serial)},
                                          {25, dir + side.caDir}});
        const std::int32_t code = CreateDirStructure(side.engine.get(), side.certificate.c_str(), install_->Path("CA\\ca.pem").c_str());
        ASSERT_EQ(code, 0) << ErrorText(side.engine.get(), code);
        EXPECT_EQ(Names(dir + side.caDir), std::vector<std::string>{"ca1.pem"});
        side.transfer = Made(side.engine.get(), [&](char* out) { return ExcludeSelfPublicKeyTransfer(side.engine.get(), out); });
    }
    VORLAN_HANDLE alice = sides[0].engine.get(), bob = sides[1].engine.get();
    // BOB's certificate is not of ALICE's key: it is refused before anything changes.
    const auto before = Names(install_->Path("two\\ALICE"));
    EXPECT_EQ(CreateDirStructure(alice, sides[1].certificate.c_str(), ""), -138);
    EXPECT_EQ(Names(install_->Path("two\\ALICE")), before);
    EXPECT_EQ(Read(install_->Path("two\\ALICE\\own.pem")), Read(sides[0].certificate));
#if !defined(_WIN32)
    // Neither a device nor a FIFO is read: one has no end, the other waits for a writer.
    const std::string fifo = install_->Native("staging/fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string buffer(static_cast<std::size_t>(GetMaxPublicKeyTransferSize(alice) + GetMaxReportSize(alice)), '\0');
    for (const std::string& file : {std::string("/dev/zero"), fifo}) {
        EXPECT_EQ(GetPublicKeyTransferByFile(alice, buffer.data(), file.c_str()), -107) << file;
        EXPECT_EQ(GetPublicKeyPropertiesByFile(alice, file.c_str(), buffer.data()), -107) << file;
        EXPECT_EQ(CreateDirStructure(alice, file.c_str(), ""), -107) << file;
        EXPECT_EQ(CreateDirStructure(alice, sides[0].certificate.c_str(), file.c_str()), -107) << file;
    }
#endif
    EXPECT_EQ(Mail(alice, bob, "BOB"), "code -113") << "no key of BOB yet";
    ASSERT_EQ(IncludePublicKeyTransfer(bob, sides[0].transfer.c_str()), 0);
    ASSERT_EQ(IncludePublicKeyTransfer(alice, sides[1].transfer.c_str()), 0);
    EXPECT_EQ(Mail(alice, bob, "BOB"), message_ + " from BOB");
}

INSTANTIATE_TEST_SUITE_P(Algorithms, TransferTest, ::testing::Values(Algorithm::Gost, Algorithm::Rsa),
                         [](const auto& info) { return info.param == Algorithm::Gost ? "GOST" : "RSA"; });

}  // namespace
}  // namespace vorlan::test
