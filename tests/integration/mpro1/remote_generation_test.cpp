// Key generation and remote key generation of the Message-PRO engine with the real toolkit:
// the whole renewal through a command-line CA, the parameters a start borrows, the step
// indicator, and finishes that must leave the installation as it was.
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <regex>
#include <vector>

#include "mpro1_fixture.h"
#include "platform/fault_injection.h"
#include "platform/platform.h"
#include "support/file_utils.h"
#include "support/text_utils.h"

namespace vorlan::test {

namespace {

constexpr std::size_t kTransferBuffer = 16905;

using Engine = std::unique_ptr<TMPro1CryptoEngine>;

std::vector<std::string> Params(TMPro1CryptoEngine& engine) {
    std::vector<std::string> values;
    std::vector<char> buffer(1025);
    for (int i = 1; i <= 25; ++i) {
        engine.GetCryptoParamValue(i, buffer.data());
        values.emplace_back(buffer.data());
    }
    return values;
}

// RequestField: a subject field (CN by default) of a PEM request.
std::string RequestField(const std::string& pem, int nid = NID_commonName) {
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), BIO_free);
    std::unique_ptr<X509_REQ, decltype(&X509_REQ_free)> req(PEM_read_bio_X509_REQ(bio.get(), nullptr, nullptr, nullptr),
                                                           X509_REQ_free);
    if (!req) return "<no request>";
    char text[256] = {};
    X509_NAME_get_text_by_NID(X509_REQ_get_subject_name(req.get()), nid, text, sizeof text);
    return text;
}

// OutsideRG: the files of a user's directory without those of the remote generate directory.
std::map<std::string, std::string> OutsideRG(std::map<std::string, std::string> files) {
    std::erase_if(files, [](const auto& file) { return file.first.rfind("RG\\", 0) == 0; });
    return files;
}

}  // namespace

class RemoteGenerationTest : public Mpro1Test {
protected:
    // Start: USER01's start; the request transfer.
    std::string Start(TMPro1CryptoEngine& user) {
        std::string transfer(kTransferBuffer, '\0');
        EXPECT_EQ(user.RemoteGenerateStart(transfer.data()), 0);
        return transfer.c_str();
    }
    // Issue: the CA's office (USER02) takes the request out of the transfer, the CA issues a
    // certificate for it with `openssl x509 -req`, and the office sends it back to owner.
    std::string Issue(const std::string& requestTransfer, const std::string& owner = "USER01") {
        Engine office = Open("USER02");
        EXPECT_TRUE(CreateDirectoryPath(Path("office")));
        EXPECT_EQ(office->SavePublicKeyFromTransfer(Path("office").c_str(), requestTransfer.c_str()), 0);
        EXPECT_TRUE(CA()->IssueRequest(Native("office\\Tmp_cert.pem"), NextSerial(), Native("office\\issued.pem")));
        return TransferOf(*office, owner, Read("office\\issued.pem"));
    }
    std::string TransferOf(TMPro1CryptoEngine& sender, const std::string& owner, const std::string& certificate) {
        std::string transfer(kTransferBuffer, '\0');
        EXPECT_EQ(sender.BuildPublicKeyTransfer(owner, certificate, transfer.data()), 0);
        return transfer.c_str();
    }
};

TEST_P(RemoteGenerationTest, RenewalRoundTrip) {
    Engine user01 = Open("USER01");
    const std::string oldOwn = Read("USER01\\own.pem");
    const std::string data = "payment order 42";
    std::vector<unsigned char> inTransit(data.begin(), data.end());  // sealed for the old certificate
    inTransit.resize(data.size() + static_cast<std::size_t>(user01->GetMaxEncodeAddition()));
    std::int32_t inTransitSize = static_cast<std::int32_t>(data.size());
    ASSERT_EQ(Open("USER02")->EncodeData(inTransit.data(), &inTransitSize, "USER01"), 0);
    const std::string certificateTransfer = Issue(Start(*user01));
    EXPECT_EQ(Files("USER01\\RG").size(), 2u) << "Tmp_cert.pem and key.dat wait for the certificate";

    ASSERT_EQ(user01->RemoteGenerateFinish(certificateTransfer.c_str()), 0);
    EXPECT_EQ(Read("USER01\\own.pem"), Read("office\\issued.pem"));
    EXPECT_EQ(Read("USER01\\certs\\USER01.pem"), Read("office\\issued.pem"));
    EXPECT_EQ(Read("USER01\\certs\\USER01.001"), oldOwn);
    EXPECT_TRUE(Files("USER01\\RG").empty());
    struct stat key {};
    ASSERT_EQ(stat(Native("USER01\\KEYS\\key00002.pem").c_str(), &key), 0);
    EXPECT_EQ(key.st_mode & 0777, 0600u);

    // USER02 learns the new certificate from USER01's transfer, then verifies and encrypts.
    Engine user02 = Open("USER02");
    std::string own(kTransferBuffer, '\0');
    ASSERT_EQ(user01->ExcludeSelfPublicKeyTransfer(own.data()), 0);
    ASSERT_EQ(user02->IncludePublicKeyTransfer(own.c_str()), 0);
    std::vector<unsigned char> signature(static_cast<std::size_t>(user01->GetMaxSignatureLength()));
    std::int32_t signatureLength = static_cast<std::int32_t>(signature.size());
    ASSERT_EQ(user01->SignData(reinterpret_cast<const unsigned char*>(data.data()), static_cast<std::int32_t>(data.size()),
                               signature.data(), &signatureLength, ""),
              0);
    char signer[41] = {};
    EXPECT_EQ(user02->VerifyData(reinterpret_cast<const unsigned char*>(data.data()),
                                 static_cast<std::int32_t>(data.size()), signature.data(), signatureLength, signer),
              0);
    EXPECT_STREQ(signer, "USER01");
    std::vector<unsigned char> envelope(data.begin(), data.end());
    envelope.resize(data.size() + static_cast<std::size_t>(user02->GetMaxEncodeAddition()));
    std::int32_t size = static_cast<std::int32_t>(data.size());
    ASSERT_EQ(user02->EncodeData(envelope.data(), &size, "USER01"), 0);
    char scratch[260] = {};
    ASSERT_EQ(user01->DecodeData(envelope.data(), &size, scratch), 0);
    EXPECT_EQ(std::string(envelope.begin(), envelope.begin() + size), data);
    ASSERT_EQ(user01->DecodeData(inTransit.data(), &inTransitSize, scratch), 0) << "mail sealed before the renewal";
    EXPECT_EQ(std::string(inTransit.begin(), inTransit.begin() + inTransitSize), data);
}

TEST_P(RemoteGenerationTest, StartPutsTheParametersBack) {
    struct Case {
        const char* name;
        std::function<void(TMPro1CryptoEngine&)> arrange;
        std::int32_t step;  // -1: RemoteGenerateStart
        bool succeeds;
        std::vector<std::string> leftInRG;
        const char* organization;  // of the request; the own certificate's unless the subject is kept
    };
    const Case cases[] = {
        {"generated", nullptr, -1, true, {"Tmp_cert.pem", "key.dat"}, "Test Bank"},
        {"subject kept", nullptr, 10, true, {"Tmp_cert.pem", "key.dat"}, "caller value 14"},
        {"no directory", [](TMPro1CryptoEngine& e) { e.RemoteGeneratePath.clear(); }, -1, false,
         {}, nullptr},
        {"key generation fails", [](TMPro1CryptoEngine& e) { e.SetCryptoParamValue(5, "NOSUCH"); },
         -1, false, {}, nullptr},
        // The new key cannot be packed for the user: the plain key is the only copy and stays.
        {"own certificate not filed",
         [&](TMPro1CryptoEngine&) { ASSERT_TRUE(platform::DeleteFile(Path("USER01\\certs\\USER01.pem"))); },
         -1, false, {"Tmp_cert.pem", "Tmp_key.pem"}, "Test Bank"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Engine user01 = Open("USER01");
        for (int i = 12; i <= 17; ++i) user01->SetCryptoParamValue(i, ("caller value " + std::to_string(i)).c_str());
        if (c.arrange) c.arrange(*user01);
        const auto before = Params(*user01);
        std::string transfer(kTransferBuffer, '\0');
        std::int32_t step = c.step;
        const std::int32_t code = c.step < 0 ? user01->RemoteGenerateStart(transfer.data())
                                             : user01->RemoteGenerateStartEx("", transfer.data(), &step);
        EXPECT_EQ(code == 0, c.succeeds) << code;
        EXPECT_EQ(Params(*user01), before);
        if (c.leftInRG.empty()) continue;
        std::vector<std::string> left;
        for (const auto& [name, content] : Files("USER01\\RG"))
            if (name.find('\\') == std::string::npos && name != "own.pem") left.push_back(name);
        EXPECT_EQ(left, c.leftInRG);
        EXPECT_EQ(RequestField(Read("USER01\\RG\\Tmp_cert.pem"), NID_organizationName), c.organization);
    }
}

TEST_P(RemoteGenerationTest, StartExByStepIndicator) {
    AddUser("USER03", "USER03 (01-01-2020 00-00-00)");
    const char* const kRestamped = R"(USER03 \(\d\d-\d\d-\d{4} \d\d-\d\d-\d\d\))";  // the old stamp replaced
    struct Case {
        const char* user;
        bool certified;
        const char* name;
        std::int32_t in, out;
        bool succeeds;
        const char* cn;  // of the request (a pattern); null: nothing generated
    } const cases[] = {
        {"USER03", true, "", 0, 1, true, kRestamped},   {"USER03", true, "", 5, 1, true, kRestamped},
        {"USER03", true, "CHOSEN NAME", 0, 1, true, "CHOSEN NAME"},
        {"USER01", false, "", 0, 2, true, nullptr},     {"USER01", false, "", 10, 12, true, nullptr},
        {"USER01", false, "", 1, 1, false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.user) + " step " + std::to_string(c.in));
        Engine user = Open(c.user);
        if (!c.certified) user->SetCryptoParamValue(1, Path("USER01\\missing.pem").c_str());
        std::string transfer(kTransferBuffer, '\0');
        std::int32_t step = c.in;
        const std::int32_t code = user->RemoteGenerateStartEx(c.name, transfer.data(), &step);
        EXPECT_EQ(code == 0, c.succeeds) << code;
        EXPECT_EQ(step, c.out);
        const std::string request = Read(std::string(c.user) + "\\RG\\Tmp_cert.pem");
        if (c.cn == nullptr) {
            EXPECT_TRUE(Files(std::string(c.user) + "\\RG").empty()) << "nothing generated";
        } else {
            EXPECT_TRUE(std::regex_match(RequestField(request), std::regex(c.cn))) << RequestField(request);
        }
    }
}

TEST_P(RemoteGenerationTest, GenerateNewKeyWhereTheParametersPoint) {
    const std::pair<std::int32_t, int> fields[] = {
        {11, NID_countryName},  {12, NID_stateOrProvinceName},       {13, NID_localityName},
        {14, NID_organizationName}, {15, NID_organizationalUnitName}, {16, NID_commonName},
        {17, NID_pkcs9_emailAddress}};
    const std::string values[] = {"RU", "Region", "City", "Org", "", "NEW KEY", "new@bank.ru"};
    for (const auto generate : {&TMPro1CryptoEngine::GenerateNewSSK, &TMPro1CryptoEngine::GenerateNewSEK}) {
        Engine engine = Open("USER01");
        ASSERT_EQ(engine->SetCryptoParamValue(7, Path("USER01\\new.key").c_str()), 0);
        ASSERT_EQ(engine->SetCryptoParamValue(9, Path("USER01\\new.req").c_str()), 0);
        for (std::size_t i = 0; i < std::size(fields); ++i) engine->SetCryptoParamValue(fields[i].first, values[i].c_str());
        EXPECT_EQ(((*engine).*generate)(), -100) << "the binding reports the toolkit's success as -100";
        struct stat key {};
        ASSERT_EQ(stat(Native("USER01\\new.key").c_str(), &key), 0);
        EXPECT_EQ(key.st_mode & 0777, 0600u);
        for (std::size_t i = 0; i < std::size(fields); ++i)
            EXPECT_EQ(RequestField(Read("USER01\\new.req"), fields[i].second), values[i]) << fields[i].first;
    }
}

TEST_P(RemoteGenerationTest, FinishLeavesEverythingForARepeatWhenRefused) {
    Engine user01 = Open("USER01");
    const std::string requestTransfer = Start(*user01);
    const auto installed = Files("USER01");
    Engine office = Open("USER02");
    // Certificates for the pending request that the installation must not take: from a CA it
    // does not have, and from its CA under another user's name.
    OpensslCA outsider(Native("outsider"), GetParam());
    const std::string pending = Native("USER01\\RG\\Tmp_cert.pem"), issued = Native("office\\refused.pem");
    const std::string config = CA()->CertFile().substr(0, CA()->CertFile().rfind('/')) + "/ca.cnf";
    const auto refused = [&](bool ok) { return ok ? TransferOf(*office, "USER01", Read("office\\refused.pem")) : std::string(); };
    ASSERT_TRUE(CreateDirectoryPath(Path("office")) && outsider.MakeRoot("/C=RU/O=Outsider/CN=Outsider CA", 30));
    struct Case {
        const char* name;
        std::function<std::int32_t()> finish;
        std::int32_t code;
    } const cases[] = {
        {"no transfer", [&] { return user01->RemoteGenerateFinish(nullptr); }, -101},
        {"foreign certificate", [&] { return user01->RemoteGenerateFinish(TransferOf(*office, "USER02", Read("USER02\\own.pem")).c_str()); }, -119},
        {"certificate for another request", [&] {
             Engine other = Open("USER02");
             return user01->RemoteGenerateFinish(Issue(Start(*other), "USER02").c_str());
         }, -119},
        {"owner not the certificate's", [&] { return user01->RemoteGenerateFinish(TransferOf(*office, "USER01", Read("USER02\\own.pem")).c_str()); }, -119},
        {"an outside CA", [&] {
             return user01->RemoteGenerateFinish(refused(outsider.IssueRequest(pending, NextSerial(), issued)).c_str());
         }, -1033},
        {"another user's name", [&] {
             const bool ok = CA()->Run("ca", "-batch -notext -config " + OpensslCA::Quote(config) + " -cert " +
                                                 OpensslCA::Quote(CA()->CertFile()) + " -keyfile " + OpensslCA::Quote(CA()->KeyFile()) +
                                                 " -in " + OpensslCA::Quote(pending) + " -out " + OpensslCA::Quote(issued) +
                                                 " -days 30 -subj '/C=RU/O=Test Bank/CN=USER02'");
             return user01->RemoteGenerateFinish(refused(ok).c_str());
         }, -129},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.finish(), c.code);
        EXPECT_TRUE(OutsideRG(Files("USER01")) == OutsideRG(installed));
        EXPECT_EQ(Files("USER01\\RG").size(), 2u);
        EXPECT_TRUE(Exists("USER01\\RG\\key.dat"));
    }
    user01->RemoteGeneratePath.clear();
    EXPECT_EQ(user01->RemoteGenerateFinish("x"), -109);
    user01->SetRemoteGeneratePath(Path("USER01\\RG").c_str());
    std::int32_t step = 7;
    EXPECT_EQ(user01->RemoteGenerateFinishEx(Issue(requestTransfer).c_str(), &step), 0) << "the repeat completes it";
    EXPECT_EQ(step, 1);
}

// The certificate is filed under its own UID, whatever the transfer's owner field says, and an
// own certificate kept in the certificate directory (its path spelled with "/") is backed up
// before it is replaced.
TEST_P(RemoteGenerationTest, FinishFilesUnderTheCertificateUID) {
    for (const int ownFiled : {0, 1}) {
        SCOPED_TRACE(ownFiled ? "own certificate in the certificate directory" : "owner field of another name");
        Engine user01 = Open("USER01");
        std::string own = Path("USER01\\certs\\USER01.pem");
        std::replace(own.begin(), own.end(), '\\', '/');
        if (ownFiled) {
            ASSERT_EQ(user01->SetCryptoParamValue(1, own.c_str()), 0);
        }
        const std::string old = Read("USER01\\certs\\USER01.pem");
        const std::string backup = "USER01\\certs\\USER01." + FormatNumber3(NextNumberedExtension(Path("USER01\\certs"), "USER01"));
        ASSERT_EQ(user01->RemoteGenerateFinish(Issue(Start(*user01), "SOMEONE").c_str()), 0);
        EXPECT_EQ(Read("USER01\\certs\\USER01.pem"), Read("office\\issued.pem"));
        EXPECT_FALSE(Exists("USER01\\certs\\SOMEONE.pem"));
        EXPECT_EQ(Read(backup), old) << "the own certificate's backup holds the old one";
    }
}

TEST_P(RemoteGenerationTest, FinishFailingAtAnyStepKeepsTheOldInstallation) {
    Engine user01 = Open("USER01");
    const std::string transfer = Issue(Start(*user01));
    const auto before = Files("USER01");
    std::uint32_t total = 0;
    {
        platform::ScopedFaultPlan count({});
        ASSERT_EQ(user01->RemoteGenerateFinish(transfer.c_str()), 0);
        total = count.Calls();
    }
    const auto after = Files("USER01");
    // Outside the remote generate directory the disk holds exactly one of the two states.
    auto expectState = [&](const std::map<std::string, std::string>& expected, const char* which) {
        EXPECT_TRUE(OutsideRG(Files("USER01")) == OutsideRG(expected)) << which;
    };
    for (std::uint32_t k = 1; k <= total; ++k) {
        SCOPED_TRACE("failing change " + std::to_string(k) + " of " + std::to_string(total));
        Restore("USER01", before);
        std::int32_t code = 0;
        {
            platform::ScopedFaultPlan plan({.failCall = k});
            code = user01->RemoteGenerateFinish(transfer.c_str());
            EXPECT_TRUE(plan.Failed());
        }
        if (code == 0) {
            expectState(after, "installed");
            continue;
        }
        expectState(before, "old");
        ASSERT_TRUE(Exists("USER01\\RG\\key.dat")) << code;
        EXPECT_EQ(user01->RemoteGenerateFinish(transfer.c_str()), 0) << "a repeat after " << code;
        expectState(after, "repeated");
    }
}

INSTANTIATE_TEST_SUITE_P(Algorithms, RemoteGenerationTest, ::testing::Values(Algorithm::Gost, Algorithm::Rsa),
                         AlgorithmName);

}  // namespace vorlan::test
