// Public key transfers through the fake toolkit, whose verification accepts every signature:
// building and reading back, both body layouts, hostile transfers, and the filing of the
// certificates and CA certificates they carry.
#include <cstring>

#include "binding/base64.h"
#include "engine/transfer_record.h"
#include "engine_fixture.h"
#include "support/file_utils.h"

namespace vorlan::test {
namespace {

void Put32(std::string& body, std::size_t offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) body[offset + i] = static_cast<char>(value >> (8 * i));
}

// LongBody: the 13828-byte layout (length at 512, block at 516).
std::string LongBody(const std::string& owner, const std::string& block) {
    std::string body(kLongTransferBodySize, '\0');
    std::memcpy(body.data(), owner.data(), owner.size());
    Put32(body, 512, static_cast<std::uint32_t>(block.size()));
    std::memcpy(body.data() + 516, block.data(), block.size());
    return body;
}

std::string Text(const std::string& body) { return Base64Encode(body.data(), static_cast<std::int32_t>(body.size())); }

class TransferTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        Fake().SetText("GetCurrentUID", "/C=RU/CN=USER01");
        WriteFile("certs\\USER01.pem", "own certificate");
    }
    std::string Transfer(const std::string& owner, const std::string& block) {
        return Text(PackTransferRecord(owner, block));
    }
    TransferBlock Read(const std::string& transfer, std::int32_t expected = 0) {
        TransferBlock block;
        EXPECT_EQ(engine_->GetPublicKeyBlockByTransfer(transfer.c_str(), block), expected);
        return block;
    }
    char buffer_[kMaxPublicKeyTransferSize + 1] = {};
};

TEST_F(TransferTest, BuiltTransferReadsBackSignedByTheCurrentUser) {
    Fake().SetText("GetCertificateByUID", "-----BEGIN CERTIFICATE-----\nUSER01\n");
    ASSERT_EQ(engine_->GetPublicKeyTransfer("USER01", buffer_), 0);
    EXPECT_LE(std::strlen(buffer_), static_cast<std::size_t>(engine_->GetMaxPublicKeyTransferSize()));
    const auto signs = Fake().Calls("SignData");
    ASSERT_EQ(signs.size(), 1u);
    EXPECT_EQ(Field(signs[0], 2), "8452") << "the record is signed whole";
    EXPECT_EQ(Field(signs[0], 4), "/C=RU/CN=USER01") << "by the current user's certificate";
    const TransferBlock block = Read(buffer_);
    EXPECT_EQ(block.owner, "USER01");
    EXPECT_EQ(block.block, "-----BEGIN CERTIFICATE-----\nUSER01\n");
    char uid[257] = {};
    EXPECT_EQ(engine_->GetUIDByPublicKeyTransfer(buffer_, uid), 0);
    EXPECT_STREQ(uid, "USER01");

    std::memset(buffer_, 0, sizeof buffer_);
    ASSERT_EQ(engine_->ExcludeSelfPublicKeyTransfer(buffer_), 0);
    EXPECT_EQ(Read(buffer_).owner, "USER01");
    EXPECT_EQ(engine_->GetMaxPublicKeyTransferSize(), 16904);
}

TEST_F(TransferTest, BuildingRefusesWhatTheRecordCannotHold) {
    struct Case {
        const char* what;
        const char* uid;
        std::size_t certificateSize;
        std::int32_t code;
    } cases[] = {{"certificate larger than the block", "USER01", 8193, -101},
                 {"certificate that fills the block", "USER01", 8192, 0},
                 {"no certificate file", "USER02", 10, -113}};
    for (const auto& c : cases) {
        const std::string certificate(c.certificateSize, 'c');
        Fake().SetText("GetCertificateByUID", certificate.c_str());
        std::memset(buffer_, 0, sizeof buffer_);
        EXPECT_EQ(engine_->GetPublicKeyTransfer(c.uid, buffer_), c.code) << c.what;
        if (c.code != 0) {
            EXPECT_EQ(buffer_[0], '\0') << c.what << ": nothing written";
        }
    }
    EXPECT_EQ(engine_->GetPublicKeyTransfer("USER01", nullptr), -101);
    Fake().SetResult("GetCertificateByUID", -1050);
    EXPECT_EQ(engine_->GetPublicKeyTransfer("USER01", buffer_), -1050);

    // A file's owner comes from its subject; a request has none.
    WriteFile("file.pem", "certificate or request");
    Fake().SetResult("GetMaxUIDLength", 1024);
    Fake().SetText("GetCurrentUID", ("/CN=" + std::string(256, 'N')).c_str());
    EXPECT_EQ(engine_->GetPublicKeyTransferByFile(buffer_, Path("file.pem").c_str()), -110) << "owner of 256 characters";
    Fake().SetText("GetCurrentUID", "/C=RU/CN=USER01");
    WriteFile("big.pem", std::string(8193, 'b'));
    EXPECT_EQ(engine_->GetPublicKeyTransferByFile(buffer_, Path("big.pem").c_str()), -107);
    EXPECT_EQ(engine_->GetPublicKeyTransferByFile(buffer_, Path("missing.pem").c_str()), -107);
    Fake().SetResult("GetCurrentUID", -1040);
    EXPECT_EQ(engine_->GetPublicKeyTransferByFile(buffer_, Path("file.pem").c_str()), -1040)
        << "the signer is the current user, whom the toolkit cannot name";
}

TEST_F(TransferTest, LongLayoutReadsLikeItsShortTwin) {
    const std::string block = "-----BEGIN CERTIFICATE-----\nLONG\n";
    const TransferBlock fromShort = Read(Transfer("USER07", block));
    const TransferBlock fromLong = Read(Text(LongBody("USER07", block)));
    EXPECT_EQ(fromLong.owner, fromShort.owner);
    EXPECT_EQ(fromLong.block, fromShort.block);
    EXPECT_EQ(fromLong.block, block);
    // A body longer than 8452 bytes but not 13828 is the short layout with a tail.
    EXPECT_EQ(Read(Text(PackTransferRecord("USER07", block) + "tail")).block, block);
}

// Every hostile transfer gives its code everywhere a transfer is read, and writes nothing.
TEST_F(TransferTest, HostileTransfersAreRefusedWithoutWriting) {
    auto withLength = [](std::uint32_t length) {
        std::string body = PackTransferRecord("USER01", "x");
        Put32(body, 256, length);
        return Text(body);
    };
    std::string noTerminator = PackTransferRecord("", "x");
    std::memset(noTerminator.data(), 'U', 256);
    std::string longTooBig = LongBody("USER01", "x");
    Put32(longTooBig, 512, 8193);
    struct Case {
        const char* what;
        std::string transfer;
        std::int32_t code;
        const char* verifyResult;  // a scripted toolkit answer, or null
    } cases[] = {
        {"empty", "", -101, nullptr},
        {"not base64", "%%%%", -101, nullptr},
        {"length not a multiple of 4", "QUJD=", -101, nullptr},
        {"longer than any transfer", std::string(24348, 'A'), -101, nullptr},
        {"valid base64 of garbage", "Z2FyYmFnZQ==", -112, nullptr},
        {"body one byte short", Text(std::string(kTransferRecordSize - 1, '\0')), -112, nullptr},
        {"block length 8193", withLength(8193), -112, nullptr},
        {"block length -1", withLength(0xFFFFFFFFu), -112, nullptr},
        {"long layout, block length 8193", Text(longTooBig), -112, nullptr},
        {"owner without terminator", Text(noTerminator), -112, nullptr},
        {"signer unknown or revoked", Transfer("USER01", "x"), -1060, "VerifyData"},
    };
    const auto before = Listing();
    char output[300];
    std::int32_t match = 7;
    for (const auto& c : cases) {
        if (c.verifyResult != nullptr) Fake().SetResult(c.verifyResult, c.code);
        const char* t = c.transfer.c_str();
        EXPECT_EQ(engine_->IncludePublicKeyTransfer(t), c.code) << c.what;
        EXPECT_EQ(engine_->SavePublicKeyFromTransfer(root_.c_str(), t), c.code) << c.what;
        EXPECT_EQ(engine_->IncludeCACertificateFromTransfer(t), c.code) << c.what;
        EXPECT_EQ(engine_->GetUIDByPublicKeyTransfer(t, output), c.code) << c.what;
        EXPECT_EQ(engine_->GetPublicKeyPropertiesByTransfer(t, output), c.code) << c.what;
        EXPECT_EQ(engine_->CertAndRequestTransferMatch(t, t, &match), c.code) << c.what;
        EXPECT_EQ(Listing(), before) << c.what;
        Fake().Reset();
        Fake().SetText("GetCurrentUID", "/C=RU/CN=USER01");
    }
    EXPECT_EQ(match, 7);
    EXPECT_EQ(engine_->GetUIDByPublicKeyTransfer(nullptr, output), -101);
    EXPECT_EQ(engine_->GetUIDByPublicKeyTransfer("", output), -101);
    EXPECT_EQ(Fake().CallCount("VerifyData"), 0) << "an empty text never reaches the toolkit";
}

TEST_F(TransferTest, IncludedCertificatesKeepTheirPredecessorsAndNoTemporaryFile) {
    EXPECT_EQ(engine_->IncludePublicKeyTransfer(Transfer("USER01", "first").c_str()), 0);
    EXPECT_EQ(ReadFile("certs\\USER01.pem"), "first");
    EXPECT_EQ(ReadFile("certs\\USER01.001"), "own certificate");
    EXPECT_EQ(engine_->IncludePublicKeyTransfer(Transfer("USER01", "second").c_str()), 0);
    EXPECT_EQ(ReadFile("certs\\USER01.pem"), "second");
    EXPECT_EQ(ReadFile("certs\\USER01.002"), "first");
    // The file was read under its temporary name, then filed under the UID it names.
    const auto reads = Fake().Calls("GetCurrentUID");
    ASSERT_FALSE(reads.empty());
    EXPECT_EQ(Fake().ParamsOf(Field(reads.back(), 1))[0], root_ + "certs\\crt00001.pem");
    EXPECT_EQ(Listing(), (std::vector<std::string>{"certs", "certs\\USER01.001", "certs\\USER01.002", "certs\\USER01.pem"}));

    ASSERT_TRUE(CreateDirectoryPath(Path("saved")));
    WriteFile("saved\\Tmp_cert.pem", "older");
    EXPECT_EQ(engine_->SavePublicKeyFromTransfer((root_ + "saved").c_str(), Transfer("USER01", "saved").c_str()), 0);
    EXPECT_EQ(ReadFile("saved\\Tmp_cert.pem"), "saved");
    EXPECT_EQ(engine_->SavePublicKeyFromTransfer("", Transfer("USER01", "x").c_str()), -101);
}

// Whatever fails after the temporary "crt" file was written, it goes, and the current
// certificate stays the current one.
TEST_F(TransferTest, FailedInclusionLeavesTheDirectoryAsItWas) {
    struct Case {
        const char* what;
        const char* subject;
        std::int32_t uidResult;
        const char* blocker;  // a directory in the way
        std::int32_t code;
    } cases[] = {{"toolkit cannot read the file", "/CN=USER01", -1040, nullptr, -1040},
                 {"UID that leaves the directory", "/CN=..\\evil", 0, nullptr, -110},
                 {"backup name taken", "/CN=USER01", 0, "certs\\USER01.001", -107},
                 {"current name taken", "/CN=USER03", 0, "certs\\USER03.pem", -107}};
    WriteFile("certs\\USER03.cer", "old cer");
    for (const auto& c : cases) {
        if (c.blocker != nullptr) {
            ASSERT_TRUE(CreateDirectoryPath(Path(c.blocker)));
        }
        const auto before = Listing();
        Fake().SetText("GetCurrentUID", c.subject);
        Fake().SetResult("GetCurrentUID", c.uidResult);
        EXPECT_EQ(engine_->IncludePublicKeyTransfer(Transfer("USER01", "new").c_str()), c.code) << c.what;
        EXPECT_EQ(Listing(), before) << c.what;
        if (c.blocker != nullptr) DeleteDirectory(Path(c.blocker), true);
    }
    EXPECT_EQ(ReadFile("certs\\USER01.pem"), "own certificate");
    EXPECT_EQ(ReadFile("certs\\USER03.cer"), "old cer") << "put back after the failed move";
}

TEST_F(TransferTest, CACertificatesAreNumberedFromCaPem) {
    ASSERT_EQ(engine_->SetCryptoParamValue(3, root_.c_str()), 0);
    const std::string ca = Transfer("Test CA", "-----BEGIN CERTIFICATE-----\nCA\n");
    EXPECT_EQ(engine_->IncludeCACertificateFromTransfer(ca.c_str()), 0);
    EXPECT_EQ(ReadFile("CA\\ca.pem"), "-----BEGIN CERTIFICATE-----\nCA\n") << "the CA directory is created";
    EXPECT_EQ(engine_->IncludeCACertificateFromTransfer(ca.c_str()), 0);
    EXPECT_TRUE(Exists("CA\\ca00001.pem"));
    WriteFile("CA\\ca00007.pem", "seventh");
    const std::int32_t clears = Fake().CallCount("DoneCrypto");
    EXPECT_EQ(engine_->IncludeCACertificateFromTransfer(ca.c_str()), 0);
    EXPECT_TRUE(Exists("CA\\ca00008.pem"));
    EXPECT_EQ(ReadFile("CA\\ca00007.pem"), "seventh");
    EXPECT_GT(Fake().CallCount("DoneCrypto"), clears) << "cached contexts are dropped";
    ASSERT_TRUE(CreateDirectoryPath(Path("CA\\ca00009.pem")));
    EXPECT_EQ(engine_->IncludeCACertificateFromTransfer(ca.c_str()), -107);
}

}  // namespace
}  // namespace vorlan::test
