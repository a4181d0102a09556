// Certificates known to a context, CRL issuers, reports, parameters and paths.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "harness.h"

namespace tkt {
namespace {

class CertificatesTest : public ToolkitTest {
protected:
    std::string Uid(mpro::Context ctx) {
        std::string buf(static_cast<std::size_t>(Tk().GetMaxUIDLength()), '\0');
        EXPECT_EQ(Tk().GetCurrentUID(ctx, buf.data()), 0) << LastError();
        return buf.c_str();
    }
    std::int32_t CertByUid(mpro::Context ctx, const std::string& uid, std::string* pem) {
        std::vector<unsigned char> buf(static_cast<std::size_t>(Tk().GetMaxCertificateLength()));
        std::int32_t len = static_cast<std::int32_t>(buf.size());
        std::int32_t rc = Tk().GetCertificateByUID(ctx, uid.c_str(), buf.data(), &len);
        if (rc == 0) pem->assign(reinterpret_cast<char*>(buf.data()), static_cast<std::size_t>(len));
        return rc;
    }
};

TEST_P(CertificatesTest, CurrentUidIsSubjectLineOrSerial) {
    EXPECT_EQ(Uid(Open("USER01")), Pki().SubjectLine("USER01"));
    EXPECT_EQ(Uid(Open("USER01", {{19, "SN"}})), Pki().Serial("USER01"));
    // Only the certificate file and the field are set when the engine reads a file's UID.
    EXPECT_EQ(Uid(OpenWith({{0, Pki().CertFile("USER02")}, {19, "CN"}})), Pki().SubjectLine("USER02"));
    std::string buf(4096, '\0');
    EXPECT_EQ(Tk().GetCurrentUID(OpenWith({}), buf.data()), -1005);
}

// Another certificate written under the same name, however soon after the first, is
// what the context answers from next, without a key renewal in between.
TEST_P(CertificatesTest, OwnCertificateRewrittenUnderTheSameNameIsSeenAtOnce) {
    std::string staging = TempDir("staging") + "/own.pem";
    auto put = [&](const std::string& user) {
        std::ofstream(staging, std::ios::binary | std::ios::trunc) << ReadAll(Pki().CertFile(user));
    };
    put("USER02");
    mpro::Context ctx = OpenWith({{0, staging}});
    ASSERT_EQ(Uid(ctx), Pki().SubjectLine("USER02"));
    put("USER03");
    EXPECT_EQ(Uid(ctx), Pki().SubjectLine("USER03"));
    put("USER02");
    EXPECT_EQ(Uid(ctx), Pki().SubjectLine("USER02"));
    std::filesystem::remove(staging);
    std::string buf(static_cast<std::size_t>(Tk().GetMaxUIDLength()), '\0');
    EXPECT_EQ(Tk().GetCurrentUID(ctx, buf.data()), -1017) << "a removed own certificate is not answered from memory";
}

// The engine reads a correspondent's certificate file as the context's certificate: a file
// that is missing or holds no certificate is reported as such, by name, not as a missing
// own certificate (which is a context without any certificate file).
TEST_P(CertificatesTest, UnusableCertificateFilesAreNamed) {
    const std::string dir = TempDir("unusable");
    std::ofstream(dir + "/garbage.pem") << "-----BEGIN CERTIFICATE-----\nnot base64\n-----END CERTIFICATE-----\n";
    std::ofstream(dir + "/empty.cer");
    struct Case {
        std::string file;
        std::int32_t code;
    };
    for (const Case& c : {Case{dir + "/missing.pem", -1017}, Case{dir + "/garbage.pem", -1018}, Case{dir + "/empty.cer", -1018}}) {
        std::string buf(static_cast<std::size_t>(Tk().GetMaxUIDLength()), '\0');
        EXPECT_EQ(Tk().GetCurrentUID(OpenWith({{0, c.file}, {19, "CN"}}), buf.data()), c.code) << c.file;
        EXPECT_NE(LastError().find(c.file), std::string::npos) << LastError();
        EXPECT_EQ(LastError().find("Own"), std::string::npos) << LastError();
    }
}

TEST_P(CertificatesTest, PathsMatchWithoutRegardToCaseAndSeparators) {
    std::string file = Pki().CertFile("USER03");
    std::string upper = file;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    std::replace(upper.begin(), upper.end(), '/', '\\');
    upper[0] = '/';  // the root stays a root
    EXPECT_EQ(Uid(OpenWith({{0, upper}})), Pki().SubjectLine("USER03"));
}

TEST_P(CertificatesTest, CertificateByUidComesFromTheDirectory) {
    mpro::Context ctx = Open("USER01");
    std::string pem;
    ASSERT_EQ(CertByUid(ctx, Pki().SubjectLine("USER02"), &pem), 0) << LastError();
    EXPECT_EQ(pem, ReadAll(Pki().CertFile("USER02")));
    EXPECT_EQ(CertByUid(ctx, "/C=RU/CN=NOBODY", &pem), -1022);
    EXPECT_EQ(CertByUid(Open("USER01", {{19, "SN"}}), Pki().Serial("USER03"), &pem), 0);
    EXPECT_EQ(pem, ReadAll(Pki().CertFile("USER03")));
    // A buffer too small for the certificate is refused.
    std::vector<unsigned char> small(100);
    std::int32_t len = 100;
    EXPECT_EQ(Tk().GetCertificateByUID(ctx, Pki().SubjectLine("USER02").c_str(), small.data(), &len), -1010);
}

TEST_P(CertificatesTest, CertificatesFiledLaterAreFound) {
    std::string dir = TempDir("later");
    mpro::Context ctx = Open("USER01", {{1, dir}});
    std::string pem;
    EXPECT_EQ(CertByUid(ctx, Pki().SubjectLine("USER02"), &pem), -1022);
    std::filesystem::copy_file(Pki().CertFile("USER02"), dir + "/USER02.pem");
    EXPECT_EQ(CertByUid(ctx, Pki().SubjectLine("USER02"), &pem), 0);
}

TEST_P(CertificatesTest, ReplacedFilesAreReadAgain) {
    std::string dir = TempDir("replace");
    std::string own = dir + "/own.pem";
    std::filesystem::copy_file(Pki().CertFile("USER01"), own);
    EXPECT_EQ(Uid(OpenWith({{0, own}})), Pki().SubjectLine("USER01"));
    std::filesystem::copy_file(Pki().CertFile("USER02"), own, std::filesystem::copy_options::overwrite_existing);
    EXPECT_EQ(Uid(OpenWith({{0, own}})), Pki().SubjectLine("USER02"));
    // KeysRenewal reloads a context in place.
    mpro::Context ctx = OpenWith({{0, own}});
    std::filesystem::copy_file(Pki().CertFile("USER03"), own, std::filesystem::copy_options::overwrite_existing);
    EXPECT_EQ(Tk().KeysRenewal(ctx), 0);
    EXPECT_EQ(Uid(ctx), Pki().SubjectLine("USER03"));
}

// IncludePublicEncodeKey makes a correspondent's file known; IncludePublicKey only answers
// whether a file may join the CA certificates: a user's may not, a copy of the installed CA's may,
// and the installed file itself does not vouch for itself.
TEST_P(CertificatesTest, IncludePublicEncodeKeyMakesAFileKnownIncludePublicKeyTakesCAs) {
    mpro::Context ctx = Open("USER01", {{1, TempDir("none")}});
    std::string pem;
    EXPECT_EQ(CertByUid(ctx, Pki().SubjectLine("USER02"), &pem), -1022);
    EXPECT_EQ(Tk().IncludePublicEncodeKey(ctx, Pki().CertFile("USER02").c_str()), 0) << LastError();
    EXPECT_EQ(CertByUid(ctx, Pki().SubjectLine("USER02"), &pem), 0);
    EXPECT_EQ(Tk().IncludePublicEncodeKey(ctx, "/no/such.pem"), -1017);

    const std::string copy = TempDir("cacopy") + "/ca.pem";
    std::filesystem::copy_file(Pki().CaCertFile(), copy);
    EXPECT_EQ(Tk().IncludePublicKey(ctx, Pki().CertFile("USER02").c_str()), -1050);
    EXPECT_EQ(Tk().IncludePublicKey(ctx, copy.c_str()), 0) << LastError();
    EXPECT_EQ(Tk().IncludePublicKey(ctx, Pki().CaCertFile().c_str()), -1051);
    EXPECT_EQ(Tk().IncludePublicKey(ctx, "/no/such.pem"), -1017);

    // Copies staged beside a store change (".new") are no installed CA certificates: two of a
    // stranger's root do not vouch for each other.
    const std::string caDir = TempDir("staged_ca"), keyDir = TempDir("stranger");
    std::filesystem::copy_file(Pki().CaCertFile(), caDir + "/root.pem");
    const std::string cmd = "openssl req -x509 -days 30 -newkey rsa:2048 -nodes -subj /CN=Stranger -keyout '" + keyDir +
                            "/key.pem' -out '" + caDir + "/a.pem.new' >/dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    std::filesystem::copy_file(caDir + "/a.pem.new", caDir + "/b.pem.new");
    EXPECT_EQ(Tk().IncludePublicKey(Open("USER01", {{24, caDir}}), (caDir + "/a.pem.new").c_str()), -1051);
}

TEST_P(CertificatesTest, LoadCertificateMakesItKnown) {
    std::string dir = TempDir("empty");
    mpro::Context ctx = Open("USER01", {{1, dir}});
    std::string pem;
    EXPECT_EQ(CertByUid(ctx, Pki().SubjectLine("USER03"), &pem), -1022);
    std::string bytes = ReadAll(Pki().CertFile("USER03"));
    EXPECT_EQ(Tk().LoadCertificate(ctx, reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<std::int32_t>(bytes.size())), 0);
    EXPECT_EQ(CertByUid(ctx, Pki().SubjectLine("USER03"), &pem), 0);
    std::string junk = "not a certificate";
    EXPECT_EQ(Tk().LoadCertificate(ctx, reinterpret_cast<const unsigned char*>(junk.data()), static_cast<std::int32_t>(junk.size())), -1018);
}

TEST_P(CertificatesTest, CrlIssuerNameOrEmpty) {
    mpro::Context ctx = Open("USER01");
    std::string out(static_cast<std::size_t>(Tk().GetMaxCryptoParamValueLength()), 'x');
    EXPECT_EQ(Tk().GetCRLIssuerName(ctx, (Pki().CrlDir() + "/crl1.pem").c_str(), out.data()), 0);
    EXPECT_EQ(std::string(out.c_str()), "/C=RU/O=TESTBANK/CN=TEST CA");
    EXPECT_EQ(Tk().GetCRLIssuerName(ctx, Pki().CertFile("USER01").c_str(), out.data()), 0);
    EXPECT_EQ(std::string(out.c_str()), "");
    EXPECT_EQ(Tk().GetCRLIssuerName(ctx, "/no/such/file", out.data()), 0);
    EXPECT_EQ(std::string(out.c_str()), "");
    // A list that no installed CA certificate verifies has no issuer for the engine.
    mpro::Context noCa = Open("USER01", {{24, TempDir("noca")}});
    EXPECT_EQ(Tk().GetCRLIssuerName(noCa, (Pki().CrlDir() + "/crl1.pem").c_str(), out.data()), -1040);
    EXPECT_EQ(std::string(out.c_str()), "");
}

TEST_P(CertificatesTest, CertInfoRecordAndPrint) {
    mpro::Context ctx = Open("USER01");
    std::string pem = ReadAll(Pki().CertFile("USER02"));
    mpro::CertInfoRecord r{};
    ASSERT_EQ(Tk().GetCertInfoEx(ctx, reinterpret_cast<const unsigned char*>(pem.data()), static_cast<std::int32_t>(pem.size()), &r), 0);
    EXPECT_STREQ(r.SerialNumber, Pki().Serial("USER02").c_str());
    EXPECT_STREQ(r.Subject.CN, "USER02");
    EXPECT_STREQ(r.Subject.OU, "IT");
    EXPECT_STREQ(r.Issuer.CN, "TEST CA");
    EXPECT_EQ(r.Subject.E, nullptr);
    ASSERT_NE(r.NotBefore, nullptr);
    std::string nb = r.NotBefore;  // dd.mm.yyyy hh:mm:ss
    ASSERT_EQ(nb.size(), 19u);
    EXPECT_EQ(nb[2], '.');
    EXPECT_EQ(nb[5], '.');
    EXPECT_EQ(nb[13], ':');
    std::string key = r.PublicKey;
    EXPECT_EQ(key.rfind("Public Key Algorithm: ", 0), 0u);
    EXPECT_NE(key.find("\n        "), std::string::npos);
    EXPECT_EQ(Tk().FreeCertInfo(ctx, &r), 0);
    EXPECT_EQ(r.SerialNumber, nullptr);

    std::string text(static_cast<std::size_t>(Tk().GetMaxCertInfoLength()), '\0');
    ASSERT_EQ(Tk().GetCertInfo(ctx, reinterpret_cast<const unsigned char*>(pem.data()), static_cast<std::int32_t>(pem.size()), text.data()), 0);
    for (const char* marker : {"Serial Number:", "Issuer: ", "Not Before: ", "Not After : ", "Subject: ", "Public Key Algorithm: "})
        EXPECT_NE(std::string(text.c_str()).find(marker), std::string::npos) << marker;
    EXPECT_NE(std::string(text.c_str()).find("CN=USER02"), std::string::npos);
    // Readers of the dump take the serial from the next line and the key after its own marker.
    const std::string dump = text.c_str();
    EXPECT_NE(dump.find("Serial Number:\n            " + Pki().Serial("USER02") + "\n"), std::string::npos) << dump;
    EXPECT_NE(dump.find(GetParam() == Algo::Gost ? "R3410 Public Key:\n" : "Modulus:\n"), std::string::npos) << dump;
}

TEST_P(CertificatesTest, ParametersByNumber) {
    mpro::Context ctx = OpenWith({});
    EXPECT_EQ(Tk().GetCryptoParamNumber(), 26);
    EXPECT_EQ(Plug0().GetCryptoParamNumber(), 25);
    std::string buf(static_cast<std::size_t>(Tk().GetMaxCryptoParamValueLength()), '\0');
    EXPECT_EQ(Tk().SetCryptoParamValue(ctx, 25, "crl"), 0);
    EXPECT_EQ(Tk().GetCryptoParamValue(ctx, 25, buf.data()), 0);
    EXPECT_STREQ(buf.c_str(), "crl");
    EXPECT_EQ(Tk().SetCryptoParamValue(ctx, 26, "x"), -1003);
    EXPECT_EQ(Tk().SetCryptoParamValue(ctx, -1, "x"), -1003);
    EXPECT_EQ(Tk().GetCryptoParamName(ctx, 23, buf.data()), 0);
    EXPECT_STREQ(buf.c_str(), "Title");
    EXPECT_EQ(Tk().SetCryptoParamValue(987654, 0, "x"), -1002);
    EXPECT_EQ(Tk().DoneCrypto(987654), -1002);
}

TEST_P(CertificatesTest, VariantZeroReadsCaAndCrlFromItsOwnNumbers) {
    std::map<int, std::string> p = {{0, Pki().CertFile("USER01")}, {6, Pki().KeyFile("USER01")}, {3, Cipher()}, {4, SigAlg()},
                                    {23, Pki().CaDir()}, {24, Pki().CrlDir()}};
    mpro::Context signer = OpenWith(p, &Plug0());
    std::vector<unsigned char> sig(4224);
    std::int32_t len = 4224;
    ASSERT_EQ(Plug0().SignData(signer, reinterpret_cast<const unsigned char*>("abc"), 3, sig.data(), &len, ""), 0);
    std::string who(4096, '\0');
    std::int32_t dlen = 3;
    EXPECT_EQ(Plug0().VerifyData(signer, reinterpret_cast<const unsigned char*>("abc"), &dlen, sig.data(), len, who.data()), 0);
    EXPECT_EQ(Plug0().Symbol("VorlanFileVersion") != nullptr, true);
    EXPECT_STREQ(*static_cast<const char* const*>(Plug0().Symbol("VorlanFileVersion")), "1.1.0.0");
}

TEST_P(CertificatesTest, ErrorTextsExistForEveryCode) {
    std::string buf(static_cast<std::size_t>(Tk().GetMaxErrorStringLength()), '\0');
    std::vector<std::int32_t> codes = {-1040, -1041};
    for (std::int32_t code = -1000; code >= -1023; --code) codes.push_back(code);
    for (const std::int32_t code : codes) {
        EXPECT_EQ(Tk().GetCryptoErrorString(code, buf.data()), 0) << code;
        EXPECT_FALSE(std::string(buf.c_str()).empty()) << code;
    }
    // The engine's codes without a text of their own come here for theirs.
    for (std::int32_t code : {-105, -106}) {
        EXPECT_EQ(Tk().GetCryptoErrorString(code, buf.data()), 0) << code;
        EXPECT_EQ(std::string(buf.c_str()).find("Unknown"), std::string::npos) << buf.c_str();
    }
    Tk().GetCryptoErrorString(-106, buf.data());
    EXPECT_NE(std::string(buf.c_str()).find("another UID"), std::string::npos) << buf.c_str();
    Tk().GetCryptoErrorString(-5555, buf.data());
    EXPECT_NE(std::string(buf.c_str()).find("-5555"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Algorithms, CertificatesTest, ::testing::Values(Algo::Gost, Algo::Rsa), AlgoName);

}  // namespace
}  // namespace tkt
