// Public key transfers through the fake toolkit, whose verification accepts every signature:
// building and reading back, both body layouts, hostile transfers, and the filing of the
// certificates and CA certificates they carry.
#include <algorithm>
#include <cstring>

#include "binding/base64.h"
#include "engine/transfer_record.h"
#include "engine_fixture.h"
#include "support/file_utils.h"

namespace vorlan::test {
namespace {

std::string Text(const std::string& body) { return Base64Encode(body.data(), static_cast<std::int32_t>(body.size())); }
std::string Transfer(const std::string& owner, const std::string& block) { return Text(PackTransferRecord(owner, block)); }
// Body: a record with the block length at offset (256 short, 512 long) overwritten.
std::string Body(std::size_t size, std::size_t lengthAt, std::uint32_t length, const std::string& block = "") {
    std::string body = PackTransferRecord("USER07", "");
    body.resize(size, '\0');
    for (std::size_t i = 0; i < 4; ++i) body[lengthAt + i] = static_cast<char>(length >> (8 * i));
    std::memcpy(body.data() + lengthAt + 4, block.data(), block.size());
    return body;
}

class TransferTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        Fake().SetText("GetCurrentUID", "/C=RU/CN=USER01");
        WriteFile("certs\\USER01.pem", "own certificate");
    }
    std::string Block(const std::string& transfer, std::int32_t expected = 0) {
        TransferBlock out;
        EXPECT_EQ(engine_->GetPublicKeyBlockByTransfer(transfer.c_str(), out), expected);
        return out.owner + "|" + out.block;
    }
    char buffer_[kMaxPublicKeyTransferSize + 1] = {};
};

TEST_F(TransferTest, BuiltBySizeAndReadInBothLayouts) {
    struct Case {
        const char* uid;
        std::size_t certificateSize;
        std::int32_t code;
    } cases[] = {{"USER01", 8192, 0}, {"USER01", 8193, -101}, {"USER02", 10, -113}};
    for (const auto& c : cases) {
        Fake().SetText("GetCertificateByUID", std::string(c.certificateSize, 'c').c_str());
        std::memset(buffer_, 0, sizeof buffer_);
        EXPECT_EQ(engine_->GetPublicKeyTransfer(c.uid, buffer_), c.code) << c.certificateSize;
        EXPECT_EQ(buffer_[0] != '\0', c.code == 0);
    }
    const auto signs = Fake().Calls("SignData");
    ASSERT_EQ(signs.size(), 1u);
    EXPECT_EQ(Field(signs[0], 2) + Field(signs[0], 4), "8452/C=RU/CN=USER01") << "the record, by the current user";
    Fake().SetText("GetCertificateByUID", "CERT");
    ASSERT_EQ(engine_->ExcludeSelfPublicKeyTransfer(buffer_), 0);
    EXPECT_EQ(Block(buffer_), "USER01|CERT");
    EXPECT_EQ(Block(Text(Body(kLongTransferBodySize, 512, 4, "CERT"))), "USER07|CERT") << "long layout";
    EXPECT_EQ(Block(Text(Body(kTransferRecordSize + 9, 256, 4, "CERT"))), "USER07|CERT") << "short with a tail";

    // A file's owner is its UID, which must fit the record.
    WriteFile("file.pem", "certificate");
    Fake().SetResult("GetMaxUIDLength", 1024);
    Fake().SetText("GetCurrentUID", ("/CN=" + std::string(256, 'N')).c_str());
    EXPECT_EQ(engine_->GetPublicKeyTransferByFile(buffer_, Path("file.pem").c_str()), -110);
    WriteFile("file.pem", std::string(8193, 'b'));
    EXPECT_EQ(engine_->GetPublicKeyTransferByFile(buffer_, Path("file.pem").c_str()), -107);
}

// Every hostile transfer gives its code everywhere a transfer is read, and writes nothing.
TEST_F(TransferTest, HostileTransfersAreRefusedWithoutWriting) {
    std::string noTerminator = PackTransferRecord("", "x");
    std::memset(noTerminator.data(), 'U', 256);
    struct Case {
        const char* what;
        std::string transfer;
        std::int32_t code;
    } cases[] = {
        {"empty", "", -101},
        {"not base64", "%%%%", -101},
        {"length not a multiple of 4", "QUJD=", -101},
        {"longer than any transfer", std::string(24348, 'A'), -101},
        {"valid base64 of garbage", "Z2FyYmFnZQ==", -112},
        {"body one byte short", Text(std::string(kTransferRecordSize - 1, '\0')), -112},
        {"block length 8193", Text(Body(kTransferRecordSize, 256, 8193)), -112},
        {"block length -1", Text(Body(kTransferRecordSize, 256, 0xFFFFFFFFu)), -112},
        {"long layout, block length 8193", Text(Body(kLongTransferBodySize, 512, 8193)), -112},
        {"owner without terminator", Text(noTerminator), -112},
        {"signer unknown or revoked", Transfer("USER01", "x"), -1060},
    };
    const auto before = Listing();
    char output[300];
    std::int32_t match = 7;
    for (const auto& c : cases) {
        if (c.code == -1060) Fake().SetResult("VerifyData", -1060);
        const std::int32_t verified = Fake().CallCount("VerifyData");
        const char* t = c.transfer.c_str();
        EXPECT_EQ(engine_->IncludePublicKeyTransfer(t), c.code) << c.what;
        EXPECT_EQ(engine_->SavePublicKeyFromTransfer(root_.c_str(), t), c.code) << c.what;
        EXPECT_EQ(engine_->IncludeCACertificateFromTransfer(t), c.code) << c.what;
        EXPECT_EQ(engine_->GetUIDByPublicKeyTransfer(t, output), c.code) << c.what;
        EXPECT_EQ(engine_->GetPublicKeyPropertiesByTransfer(t, output), c.code) << c.what;
        EXPECT_EQ(engine_->CertAndRequestTransferMatch(t, t, &match), c.code) << c.what;
        EXPECT_EQ(Listing(), before) << c.what;
        EXPECT_TRUE(c.code != -101 || Fake().CallCount("VerifyData") == verified) << c.what << " reached the toolkit";
    }
    EXPECT_EQ(match, 7);
}

// A transfer's certificate replaces the current one, which becomes a backup; whatever fails
// after the temporary "crt" file was written, it goes and the current certificate stays.
TEST_F(TransferTest, InclusionKeepsBackupsAndLeavesNothingOnFailure) {
    EXPECT_EQ(engine_->IncludePublicKeyTransfer(Transfer("USER01", "first").c_str()), 0);
    EXPECT_EQ(engine_->IncludePublicKeyTransfer(Transfer("USER01", "second").c_str()), 0);
    EXPECT_EQ(Listing(), (std::vector<std::string>{"certs", "certs\\USER01.001", "certs\\USER01.002", "certs\\USER01.pem"}));
    EXPECT_EQ(ReadFile("certs\\USER01.pem") + ReadFile("certs\\USER01.002"), "secondfirst");
    const auto reads = Fake().Calls("GetCurrentUID");
    EXPECT_TRUE(std::any_of(reads.begin(), reads.end(), [&](const std::string& read) {
        return Fake().ParamsOf(Field(read, 1))[0] == root_ + "certs\\crt00001.pem";
    })) << "read under its temporary name";

    WriteFile("certs\\USER03.cer", "old cer");
    struct Case {
        const char* what;
        const char* subject;
        std::int32_t uidResult;
        const char* blocker;  // a directory in the way
        std::int32_t code;
    } cases[] = {{"toolkit cannot read the file", "/CN=USER01", -1040, nullptr, -1040},
                 {"UID that leaves the directory", "/CN=..\\evil", 0, nullptr, -110},
                 {"backup name taken", "/CN=USER01", 0, "certs\\USER01.003", -107},
                 {"current name taken", "/CN=USER03", 0, "certs\\USER03.pem", -107}};
    for (const auto& c : cases) {
        if (c.blocker != nullptr) CreateDirectoryPath(Path(c.blocker));
        const auto before = Listing();
        Fake().SetText("GetCurrentUID", c.subject);
        Fake().SetResult("GetCurrentUID", c.uidResult);
        EXPECT_EQ(engine_->IncludePublicKeyTransfer(Transfer(c.subject + 4, "new").c_str()), c.code) << c.what;
        EXPECT_EQ(Listing(), before) << c.what;
    }
    EXPECT_EQ(ReadFile("certs\\USER01.pem") + ReadFile("certs\\USER03.cer"), "secondold cer");
}

// A CA certificate of a transfer is staged beside its name and filed (in one rename that never
// replaces) only when the toolkit accepts it; a refusal gives the toolkit's code and leaves
// nothing. Without a CA directory nothing is written.
TEST_F(TransferTest, CACertificatesAreFiledOnlyWithTheToolkitsWord) {
    const std::string ca = Transfer("Test CA", "CA");
    EXPECT_EQ(engine_->IncludeCACertificateFromTransfer(ca.c_str()), -107) << "no CA directory";
    EXPECT_EQ(Fake().CallCount("IncludePublicKey"), 0);
    ASSERT_EQ(engine_->SetCryptoParamValue(3, root_.c_str()), 0);
    Fake().SetResult("IncludePublicKey", -1051);
    EXPECT_EQ(engine_->IncludeCACertificateFromTransfer(ca.c_str()), -1051);
    EXPECT_EQ(Listing(), (std::vector<std::string>{"CA", "certs", "certs\\USER01.pem"}));
    const auto asked = Fake().Calls("IncludePublicKey");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(Field(asked[0], 2), root_ + "CA\\ca.pem.new") << "the staged copy is what the toolkit judges";
    Fake().SetResult("IncludePublicKey", 0);
    EXPECT_EQ(engine_->IncludeCACertificateFromTransfer(ca.c_str()), 0);
    EXPECT_EQ(Listing(), (std::vector<std::string>{"CA", "CA\\ca.pem", "certs", "certs\\USER01.pem"}));
}

TEST_F(TransferTest, CACertificatesAreNumberedFromCaPem) {
    ASSERT_EQ(engine_->SetCryptoParamValue(3, root_.c_str()), 0);
    const std::string ca = Transfer("Test CA", "CA");
    auto include = [&] { return engine_->IncludeCACertificateFromTransfer(ca.c_str()); };
    EXPECT_EQ(include() + include(), 0);
    WriteFile("CA\\ca00007.pem", "seventh");
    const std::int32_t closed = Fake().CallCount("DoneCrypto");
    EXPECT_EQ(include(), 0);
    EXPECT_GT(Fake().CallCount("DoneCrypto"), closed) << "cached contexts are dropped";
    EXPECT_EQ(Listing(), (std::vector<std::string>{"CA", "CA\\ca.pem", "CA\\ca00001.pem", "CA\\ca00007.pem",
                                                   "CA\\ca00008.pem", "certs", "certs\\USER01.pem"}));
    EXPECT_EQ(ReadFile("CA\\ca.pem") + ReadFile("CA\\ca00007.pem"), "CAseventh");
    EXPECT_TRUE(CreateDirectoryPath(Path("CA\\ca00009.pem")));
    EXPECT_EQ(include(), -107);
}

}  // namespace
}  // namespace vorlan::test
