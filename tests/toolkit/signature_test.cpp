// Detached and attached signatures: round trips, tampering, time and revocation checks.
#include <openssl/pem.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "harness.h"

namespace tkt {
namespace {

class SignatureTest : public ToolkitTest {
protected:
    std::vector<unsigned char> SignDetached(mpro::Context ctx, const std::string& data, std::int32_t* code = nullptr) {
        std::vector<unsigned char> sig(static_cast<std::size_t>(Tk().GetMaxSignatureLength()));
        std::int32_t len = static_cast<std::int32_t>(sig.size());
        std::int32_t rc = Tk().SignData(ctx, reinterpret_cast<const unsigned char*>(data.data()),
                                        static_cast<std::int32_t>(data.size()), sig.data(), &len, "");
        if (code != nullptr) *code = rc;
        else EXPECT_EQ(rc, 0) << LastError();
        sig.resize(rc == 0 ? static_cast<std::size_t>(len) : 0);
        return sig;
    }
    // SignAttached: data followed by its attached signature.
    std::vector<unsigned char> SignAttached(mpro::Context ctx, const std::string& data) {
        std::vector<unsigned char> buf(data.size() + static_cast<std::size_t>(Tk().GetMaxSignatureLength()));
        std::memcpy(buf.data(), data.data(), data.size());
        std::int32_t cap = static_cast<std::int32_t>(buf.size());
        EXPECT_EQ(Tk().SignData(ctx, buf.data(), static_cast<std::int32_t>(data.size()), nullptr, &cap, ""), 0) << LastError();
        buf.resize(static_cast<std::size_t>(cap));
        return buf;
    }
    std::int32_t Verify(mpro::Context ctx, const std::string& data, const std::vector<unsigned char>& sig,
                        std::string* signer = nullptr, bool checkTime = true) {
        std::string who(static_cast<std::size_t>(Tk().GetMaxUIDLength()), '\0');
        std::int32_t len = static_cast<std::int32_t>(data.size());
        auto fn = checkTime ? Tk().VerifyData : Tk().VerifyDataIgnoreTime;
        std::int32_t rc = fn(ctx, reinterpret_cast<const unsigned char*>(data.data()), &len, sig.data(),
                             static_cast<std::int32_t>(sig.size()), who.data());
        if (signer != nullptr) *signer = who.c_str();
        return rc;
    }
    std::int32_t VerifyAttached(mpro::Context ctx, std::vector<unsigned char> buf, std::int32_t* dataLength,
                                std::string* signer = nullptr) {
        std::string who(static_cast<std::size_t>(Tk().GetMaxUIDLength()), '\0');
        *dataLength = 0;
        std::int32_t rc = Tk().VerifyData(ctx, buf.data(), dataLength, nullptr, static_cast<std::int32_t>(buf.size()), who.data());
        if (signer != nullptr) *signer = who.c_str();
        return rc;
    }
};

TEST_P(SignatureTest, DetachedRoundTripNamesSigner) {
    std::string data = "contract text";
    auto sig = SignDetached(Open("USER01"), data);
    ASSERT_FALSE(sig.empty());
    EXPECT_LE(sig.size(), static_cast<std::size_t>(Tk().GetMaxSignatureLength()));
    std::string signer;
    EXPECT_EQ(Verify(Open("USER02"), data, sig, &signer), 0) << LastError();
    EXPECT_EQ(signer, Pki().SubjectLine("USER01"));
    EXPECT_EQ(Verify(Open("USER02", {{19, "SN"}}), data, sig, &signer), 0);
    EXPECT_EQ(signer, Pki().Serial("USER01"));
}

// Own certificate and key rewritten under the same names: the next signature is made
// with the new key and names the new signer, without a key renewal in between.
TEST_P(SignatureTest, RewrittenOwnKeySignsAtOnce) {
    std::string dir = TempDir("staged");
    auto put = [&](const std::string& user) {
        std::ofstream(dir + "/own.pem", std::ios::binary | std::ios::trunc) << ReadAll(Pki().CertFile(user));
        std::ofstream(dir + "/own.key", std::ios::binary | std::ios::trunc) << ReadAll(Pki().KeyFile(user));
    };
    put("USER01");
    mpro::Context ctx = Open("USER01", {{0, dir + "/own.pem"}, {6, dir + "/own.key"}});
    std::string data = "order";
    std::string signer;
    ASSERT_EQ(Verify(Open("USER02"), data, SignDetached(ctx, data), &signer), 0) << LastError();
    ASSERT_EQ(signer, Pki().SubjectLine("USER01"));
    put("USER03");
    auto sig = SignDetached(ctx, data);
    EXPECT_EQ(Verify(Open("USER02"), data, sig, &signer), 0) << LastError();
    EXPECT_EQ(signer, Pki().SubjectLine("USER03"));
}

TEST_P(SignatureTest, AttachedRoundTripGivesDataLength) {
    std::string data = "attached payload";
    auto buf = SignAttached(Open("USER02"), data);
    ASSERT_GT(buf.size(), data.size());
    EXPECT_EQ(std::memcmp(buf.data(), data.data(), data.size()), 0) << "data must stay in front";
    EXPECT_EQ(std::memcmp(buf.data() + buf.size() - 8, "VSG1", 4), 0);
    std::int32_t length = 0;
    std::string signer;
    EXPECT_EQ(VerifyAttached(Open("USER01"), buf, &length, &signer), 0) << LastError();
    EXPECT_EQ(length, static_cast<std::int32_t>(data.size()));
    EXPECT_EQ(signer, Pki().SubjectLine("USER02"));
}

// A signature fills its span exactly: bytes before the attached trailer, or behind a detached
// signature (the toolkit's own or one that `openssl cms` made), are refused.
TEST_P(SignatureTest, NothingMayHideBehindASignature) {
    const std::string data = "attached payload";
    const auto buf = SignAttached(Open("USER02"), data);
    const std::string dir = TempDir("cmssig");
    std::ofstream(dir + "/in.txt", std::ios::binary) << data;
    const std::string cmd = std::string("openssl cms -sign -binary -outform DER") +
                            (GetParam() == Algo::Gost ? " -engine gost" : "") + " -in '" + dir + "/in.txt' -signer '" +
                            Pki().CertFile("USER02") + "' -inkey '" + Pki().KeyFile("USER02") + "' -out '" + dir +
                            "/sig.der' >/dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    const std::string cms = ReadAll(dir + "/sig.der");
    const std::vector<unsigned char> detached[] = {SignDetached(Open("USER02"), data), {cms.begin(), cms.end()}};
    for (const auto& sig : detached) EXPECT_EQ(Verify(Open("USER01"), data, sig), 0) << LastError();
    std::int32_t length = 0;
    for (std::size_t extra : {1u, 40u}) {
        auto padded = buf;
        padded.insert(padded.end() - 8, extra, 0);
        EXPECT_EQ(VerifyAttached(Open("USER01"), padded, &length), -1012) << extra << " bytes before the trailer";
        for (auto sig : detached) {
            sig.insert(sig.end(), extra, 0);
            EXPECT_EQ(Verify(Open("USER01"), data, sig), -1012) << extra << " bytes behind a detached signature";
        }
    }
}

TEST_P(SignatureTest, SignatureRemovedFromSignedFile) {
    std::string data = "file body";
    auto buf = SignAttached(Open("USER01"), data);
    std::string file = TempDir("rmsig") + "/signed.bin";
    {
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(buf.data()), static_cast<std::streamsize>(buf.size()));
    }
    mpro::Context ctx = Open("USER01");
    EXPECT_EQ(Tk().RemoveSignaturesFromFile(ctx, file.c_str()), 0) << LastError();
    EXPECT_EQ(ReadAll(file), data);
    EXPECT_EQ(Tk().RemoveSignaturesFromFile(ctx, file.c_str()), 0);
    EXPECT_EQ(ReadAll(file), data) << "a file without signature stays as it is";
}

TEST_P(SignatureTest, TamperingIsRejected) {
    std::string data = "amount: 100";
    mpro::Context verifier = Open("USER02");
    auto sig = SignDetached(Open("USER01"), data);
    EXPECT_EQ(Verify(verifier, "amount: 900", sig), -1013);
    auto bad = sig;
    bad[bad.size() - 10] ^= 0x01;  // inside the signature value
    EXPECT_LE(Verify(verifier, data, bad), -1000);
    std::vector<unsigned char> junk(sig.size(), 0x30);
    EXPECT_EQ(Verify(verifier, data, junk), -1012);

    auto attached = SignAttached(Open("USER01"), data);
    attached[3] ^= 0x20;
    std::int32_t length = 0;
    EXPECT_EQ(VerifyAttached(verifier, attached, &length), -1013);
    attached[3] ^= 0x20;
    attached[attached.size() - 1] = 0x7F;  // data length beyond the buffer
    EXPECT_EQ(VerifyAttached(verifier, attached, &length), -1012);
}

TEST_P(SignatureTest, ExpiredSignerPassesOnlyWithoutTimeCheck) {
    std::string data = "old document";
    auto sig = SignDetached(Open("EXPIRED"), data);
    ASSERT_FALSE(sig.empty());
    mpro::Context verifier = Open("USER01");
    EXPECT_EQ(Verify(verifier, data, sig), -1016);
    std::string signer;
    EXPECT_EQ(Verify(verifier, data, sig, &signer, false), 0) << LastError();
    EXPECT_EQ(signer, Pki().SubjectLine("EXPIRED"));
}

TEST_P(SignatureTest, RevokedSignerFailsEitherWay) {
    std::string data = "revoked";
    auto sig = SignDetached(Open("REVOKED"), data);
    mpro::Context verifier = Open("USER01");
    EXPECT_EQ(Verify(verifier, data, sig), -1015);
    EXPECT_EQ(Verify(verifier, data, sig, nullptr, false), -1015);
    EXPECT_NE(LastError().find("REVOKED"), std::string::npos);
}

TEST_P(SignatureTest, UnknownCaIsNotTrusted) {
    auto sig = SignDetached(Open("USER01"), "x");
    std::string empty = TempDir("noca");
    EXPECT_EQ(Verify(Open("USER02", {{24, empty}}), "x", sig), -1014);
}

TEST_P(SignatureTest, SignerMustBeOwnKey) {
    std::string data = "x";
    std::vector<unsigned char> sig(4096);
    std::int32_t len = 4096;
    mpro::Context ctx = Open("USER01");
    std::string other = Pki().SubjectLine("USER02");
    EXPECT_EQ(Tk().SignData(ctx, reinterpret_cast<const unsigned char*>(data.data()), 1, sig.data(), &len, other.c_str()), -1023);
    std::string own = Pki().SubjectLine("USER01");
    EXPECT_EQ(Tk().SignData(ctx, reinterpret_cast<const unsigned char*>(data.data()), 1, sig.data(), &len, own.c_str()), 0);
}

TEST_P(SignatureTest, TooSmallSignatureBufferIsAnError) {
    std::string data = "x";
    // A buffer of exactly the capacity given (one byte for none): a write past it is seen.
    for (std::int32_t capacity : {64, 1, 0, -1}) {
        std::vector<unsigned char> sig(static_cast<std::size_t>(std::max(capacity, 1)), 0xEE);
        std::int32_t len = capacity;
        EXPECT_EQ(Tk().SignData(Open("USER01"), reinterpret_cast<const unsigned char*>(data.data()), 1, sig.data(), &len, ""), -1010)
            << capacity;
        EXPECT_EQ(sig, std::vector<unsigned char>(sig.size(), 0xEE)) << "nothing written for capacity " << capacity;
        EXPECT_EQ(len, capacity);
        // Attached: the data's buffer has no room behind it.
        std::vector<unsigned char> attached(1, 'x');
        len = capacity;
        EXPECT_EQ(Tk().SignData(Open("USER01"), attached.data(), 1, nullptr, &len, ""), -1010) << capacity;
    }
}

// The largest subjects allowed: C of 2 characters, the other fields of 255.
TEST_P(SignatureTest, PromisesHoldForLargestSubjects) {
    Subject s;
    s.C = "RU";
    s.ST = std::string(255, 'S');
    s.L = std::string(255, 'L');
    s.O = std::string(255, 'O');
    s.OU = std::string(255, 'U');
    s.CN = std::string(255, 'N');
    s.E = std::string(240, 'e') + "@example.org";
    s.T = std::string(255, 'T');
    Key key = Pki().NewKey();
    std::string dir = TempDir("big");
    std::string cert = Pki().Issue("BIG", key.get(), s, 365, dir + "/big.pem");
    std::string keyFile = dir + "/big.key";
    {
        BIO* b = BIO_new_file(keyFile.c_str(), "w");
        PEM_write_bio_PrivateKey(b, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
        BIO_free(b);
    }
    mpro::Context ctx = Open("USER01", {{0, cert}, {6, keyFile}});

    std::string uid(static_cast<std::size_t>(Tk().GetMaxUIDLength()), '\0');
    ASSERT_EQ(Tk().GetCurrentUID(ctx, uid.data()), 0) << LastError();
    EXPECT_EQ(std::string(uid.c_str()), Pki().SubjectLine("BIG"));

    // A transfer record of 8452 bytes with an attached signature fits 16904 base64 characters.
    std::string record(8452, '\0');
    auto signedRecord = SignAttached(ctx, record);
    ASSERT_GT(signedRecord.size(), record.size());
    EXPECT_LE(signedRecord.size() - record.size(), static_cast<std::size_t>(Tk().GetMaxSignatureLength()));
    EXPECT_LE(Base64Length(signedRecord.size()), 16904u);
    RecordProperty("attached_addition_bytes", static_cast<int>(signedRecord.size() - record.size()));
    std::int32_t length = 0;
    EXPECT_EQ(VerifyAttached(ctx, signedRecord, &length), 0) << LastError();

    // Encryption for the big certificate keeps within its addition.
    std::vector<unsigned char> buf(10 + static_cast<std::size_t>(Tk().GetMaxEncodeAddition()));
    std::int32_t len = 10;
    EXPECT_EQ(Tk().EncodeData(ctx, buf.data(), &len, ""), 0) << LastError();

    // The certificate fits GetMaxCertificateLength and its print GetMaxCertInfoLength.
    std::vector<unsigned char> pem(static_cast<std::size_t>(Tk().GetMaxCertificateLength()));
    std::int32_t pemLen = static_cast<std::int32_t>(pem.size());
    ASSERT_EQ(Tk().GetCertificateByUID(ctx, uid.c_str(), pem.data(), &pemLen), 0) << LastError();
    std::string info(static_cast<std::size_t>(Tk().GetMaxCertInfoLength()), '\0');
    EXPECT_EQ(Tk().GetCertInfo(ctx, pem.data(), pemLen, info.data()), 0) << LastError();
}

INSTANTIATE_TEST_SUITE_P(Algorithms, SignatureTest, ::testing::Values(Algo::Gost, Algo::Rsa), AlgoName);

}  // namespace
}  // namespace tkt
