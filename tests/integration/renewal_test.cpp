// Key renewal of a PSE through the exports, as a host runs it, with the real toolkit, the key
// generation utility and a CA on the openssl command line, in GOST and RSA and in both step
// families; its failures, the PSELock held between the start steps, and the finish under
// injected faults, after which the old keys still work.
#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <atomic>
#include <ctime>
#include <chrono>
#include <filesystem>
#include <cstdio>
#include <future>
#include <sstream>
#include <thread>
#include <tuple>

#include <sys/wait.h>
#include <unistd.h>

#include "platform/fault_injection.h"
#include "binding/mpro_dll.h"
#include "platform/platform.h"
#include "pse/mpro_win_engine.h"
#include "engine/subject_utils.h"
#include "pse/pse_lock.h"
#include "support/file_utils.h"
#include "support/zel_root.h"
#include "renewal_world.h"
#include "support/thread_gate.h"

namespace vorlan::test {
namespace {

namespace fs = std::filesystem;

const std::string kData = "Payment order 7: 500.00 RUB";

class RenewalTest : public ::testing::TestWithParam<Algorithm> {
protected:
    void SetUp() override {
        install_ = Installation::Get(GetParam());
        if (install_ == nullptr) GTEST_SKIP() << "the GOST engine is not installed";
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        world_ = std::make_unique<RenewalWorld>(*install_, std::string(test->name()).substr(0, 12) +
                                                               (GetParam() == Algorithm::Gost ? "_g" : "_r"));
        world_->Enroll("USER01", 11);
        world_->Enroll("USER02", 12);
    }
    // SubjectField: one field of the subject of a certificate file.
    std::string SubjectField(const std::string& certificate, int nid) const {
        std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(platform::NativePath(certificate).c_str(), "r"), std::fclose);
        if (!file) return "<no file>";
        std::unique_ptr<X509, void (*)(X509*)> cert(PEM_read_X509(file.get(), nullptr, nullptr, nullptr), X509_free);
        char text[256] = {};
        if (cert) X509_NAME_get_text_by_NID(X509_get_subject_name(cert.get()), nid, text, sizeof text);
        return text;
    }
    // Finish: FinishEx 0 -> 2, then 2 -> 1; the second call's result.
    std::int32_t Finish(VORLAN_HANDLE h, const std::string& transfer) {
        std::int32_t step = 0;
        EXPECT_EQ(RemoteGenerateFinishEx(h, transfer.c_str(), &step), 0);
        EXPECT_EQ(step, 2);
        const std::int32_t code = RemoteGenerateFinishEx(h, transfer.c_str(), &step);
        EXPECT_EQ(step, 1);
        return code;
    }
    // OnThread: call() on a thread of its own, its result; a call that does not end within a
    // minute (a lock never released) ends the test process.
    template <class Call>
    static auto OnThread(Call call) {
        auto done = std::async(std::launch::async, call);
        if (done.wait_for(std::chrono::minutes(1)) != std::future_status::ready) {
            ADD_FAILURE() << "a call waited for a lock that was never released";
            std::_Exit(1);  // the waiting thread cannot be joined
        }
        return done.get();
    }
    // Sealed: kData encrypted by USER02 for a UID of the user (as USER02 has its certificate).
    std::string Sealed(const std::string& uid = "USER01") const {
        EnginePtr other = world_->Open("USER02");
        std::string buffer = kData + std::string(static_cast<std::size_t>(GetMaxEncodeAddition(other.get())), '\0');
        auto size = static_cast<std::int32_t>(kData.size());
        const std::int32_t code = EncodeData(other.get(), reinterpret_cast<unsigned char*>(buffer.data()), &size, uid.c_str());
        return code == 0 ? buffer.substr(0, static_cast<std::size_t>(size)) : std::string();
    }
    // OtherEngineEncrypts: USER02 encrypts for USER01 on another thread (false when it did not).
    bool OtherEngineEncrypts() {
        return !OnThread([this] { return Sealed(); }).empty();
    }
    // Opened: a letter decrypted by h ("code N" when it fails).
    static std::string Opened(VORLAN_HANDLE h, std::string letter) {
        auto size = static_cast<std::int32_t>(letter.size());
        char scratch[64];
        const std::int32_t code = DecodeData(h, reinterpret_cast<unsigned char*>(letter.data()), &size, scratch);
        return code == 0 ? letter.substr(0, static_cast<std::size_t>(size)) : "code " + std::to_string(code);
    }
    Installation* install_ = nullptr;
    std::unique_ptr<RenewalWorld> world_;
};

// A PSE without a key container gets keys of the installation's algorithm and key size
// (the users of the fixture were enrolled that way too).
TEST_P(RenewalTest, NewPSEKeysFollowTheInstallation) {
    auto params = world_->Params("NEWKEYS");
    params.emplace_back(6, "3072");
    ASSERT_TRUE(CreateDirectoryPath(world_->Path("NEWKEYS")));
    EnginePtr engine = install_->OpenWith(params);
    const std::int32_t code = GenerateNewSEK(engine.get());
    ASSERT_EQ(code, 0) << RenewalWorld::ErrorText(engine.get(), code);
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(world_->Native("NEWKEYS\\req.pem").c_str(), "r"), std::fclose);
    ASSERT_TRUE(file);
    std::unique_ptr<X509_REQ, void (*)(X509_REQ*)> request(PEM_read_X509_REQ(file.get(), nullptr, nullptr, nullptr),
                                                           X509_REQ_free);
    ASSERT_TRUE(request);
    EVP_PKEY* key = X509_REQ_get0_pubkey(request.get());
    ASSERT_NE(key, nullptr);
    if (GetParam() == Algorithm::Rsa) {
        EXPECT_EQ(EVP_PKEY_get_base_id(key), EVP_PKEY_RSA);
        EXPECT_EQ(EVP_PKEY_get_bits(key), 3072);
    } else {
        EXPECT_EQ(EVP_PKEY_get_base_id(key), NID_id_GostR3410_2012_256);
    }
}

TEST_P(RenewalTest, WholeRenewalInBothFamilies) {
    struct Case {
        int family;
        const char* name;
        const char* organisation;  // of the new certificate
    };
    // Family 0 keeps the subject of the certificate and stamps the name; family 10 takes the
    // parameters' subject under the given name, which is the old UID: its certificate is replaced.
    const Case cases[] = {{0, nullptr, "Test Bank"}, {10, "USER01", "Renewed Bank"}};
    long serial = 100;
    // Before each renewal a letter leaves for the current certificate; all open after both.
    std::vector<std::string> letters;
    std::string current = "USER01";
    for (const auto& c : cases) {
        SCOPED_TRACE("family " + std::to_string(c.family));
        letters.push_back(Sealed(current));
        EnginePtr user = world_->Open("USER01");
        ASSERT_EQ(SetCryptoParamValue(user.get(), 14, "Renewed Bank"), 0);
        const auto pseBefore = world_->Tree("USER01\\DB");
        const std::string oldSignature = world_->Sign(user.get(), kData);

        const std::string request = world_->StartRenewal(user.get(), "USER01", c.family, c.name);
        ASSERT_FALSE(request.empty());
        EXPECT_EQ(world_->Tree("USER01\\DB"), pseBefore) << "the PSE is untouched until the finish";
        const auto pending = world_->Tree("R_USER01");
        for (const char* file : {"self.pem", "backup.key", "Tmp_cert.pem", "uz.dat", "num.dat", "DB/SIGN/sec_sgn.dat"})
            EXPECT_EQ(pending.count(file), 1u) << file;
        for (const char* plain : {"uz.db3", "num", "DB/SIGN/sec_sgn.key", "DB/CRYPT/ckd.key"})
            EXPECT_EQ(pending.count(plain), 0u) << plain << " left plain in R";

        const std::string answer = world_->Answer(request, "USER02", ++serial);
        const std::int32_t code = Finish(user.get(), answer);
        ASSERT_EQ(code, 0) << RenewalWorld::ErrorText(user.get(), code);

        EXPECT_TRUE(world_->Tree("R_USER01").empty()) << "R is empty";
        const auto pse = world_->Tree("USER01");
        for (const char* old : {"gk.old", "uz.old", "num.old", "DB/CRYPT/ckd.old", "sc_pub.old", "own.old"})
            EXPECT_EQ(pse.count(old), 1u) << old;
        EXPECT_EQ(pse.at("sc_pub.key"), pse.at("DB/SIGN/pub_sgn.key")) << "the public key is exchanged with the rest";
        const std::string archive = c.family == 0 ? "DB/SIGN/sec_sgn.001" : "DB/SIGN/sec_sgn.002";
        ASSERT_EQ(pse.count(archive), 1u);
        EXPECT_TRUE(pse.at(archive).ends_with(pseBefore.at("SIGN/sec_sgn.key"))) << "the old signature key is archived";
        EXPECT_NE(pse.at("DB/SIGN/sec_sgn.key"), pseBefore.at("SIGN/sec_sgn.key"));

        const std::string uid = SubjectField(world_->Path("USER01\\own.pem"), NID_commonName);
        if (c.name != nullptr) EXPECT_EQ(uid, c.name);
        else EXPECT_EQ(uid.substr(0, 8), "USER01 (") << uid;
        EXPECT_EQ(SubjectField(world_->Path("USER01\\own.pem"), NID_organizationName), c.organisation);
        EXPECT_EQ(world_->Tree("USER01\\certs").count(uid + ".pem"), 1u) << "filed under the new UID";

        // USER02 learns the new certificate from its transfer, then checks the new key's work.
        {
            EnginePtr other = world_->Open("USER02");
            // Under a changed subject it replaces the filed one only once USER02 removed that.
            if (c.family == 10) {
                EXPECT_EQ(IncludePublicKeyTransfer(other.get(), answer.c_str()), -136);
                ASSERT_EQ(RemoveCertificate(other.get(), uid.c_str()), 0);
            }
            ASSERT_EQ(IncludePublicKeyTransfer(other.get(), answer.c_str()), 0);
        }
        EXPECT_EQ(world_->SignerFor("USER02", kData, world_->Sign(user.get(), kData)), uid);
        EXPECT_NE(world_->SignerFor("USER02", kData, oldSignature), uid);
        EXPECT_EQ(Opened(user.get(), Sealed(uid)), kData);
        current = uid;
    }
    EnginePtr user = world_->Open("USER01");
    for (const auto& letter : letters) EXPECT_EQ(Opened(user.get(), letter), kData) << "mail sent before a renewal";
}

TEST_P(RenewalTest, FailuresLeaveTheOldKeysWorking) {
    EnginePtr user = world_->Open("USER01");
    std::string marker(static_cast<std::size_t>(GetMaxPublicKeyTransferSize(user.get())) + 1, '\0');
    std::int32_t step = 0, code = 0;
    for (std::int32_t expected : {2, 3, 5}) ASSERT_EQ(RemoteGenerateStartEx(user.get(), nullptr, marker.data(), &step), 0) << expected;
    // Without the utility the backup directory holds the same container.
    EXPECT_EQ(RemoteGenerateStartEx(user.get(), nullptr, marker.data(), &step), -118);
    EXPECT_EQ(step, 2);
    EXPECT_TRUE(OtherEngineEncrypts()) << "the lock is released with the failure";
    step = 5;
    EXPECT_EQ(RemoteGenerateStartEx(user.get(), nullptr, nullptr, &step), -101) << "no marker";
    EXPECT_EQ(RemoteGenerateFinishEx(user.get(), nullptr, &step), -101) << "no transfer";

    // A certificate for other keys than the new ones: -119, and only the plain key set goes.
    const std::string request = world_->StartRenewal(user.get(), "USER01", 0, nullptr);
    ASSERT_FALSE(request.empty());
    const auto pseBefore = world_->Tree("USER01");
    const std::string foreign = world_->TransferOf(world_->Issue(world_->Path("USER01\\req.pem"), 77), "USER02");
    code = Finish(user.get(), foreign);
    EXPECT_EQ(code, -119) << RenewalWorld::ErrorText(user.get(), code);
    const auto pending = world_->Tree("R_USER01");
    EXPECT_EQ(pending.count("DB/SIGN/sec_sgn.key") + pending.count("uz.db3") + pending.count("num"), 0u);
    EXPECT_EQ(pending.count("DB/SIGN/sec_sgn.dat") + pending.count("uz.dat") + pending.count("num.dat"), 3u);
    EXPECT_EQ(world_->Tree("USER01"), pseBefore);
    EXPECT_EQ(world_->SignerFor("USER02", kData, world_->Sign(user.get(), kData)), "USER01");

    // A certified name that would leave the certificate directory: -110, and the keys matched
    // by then go back.
    const std::string evil = world_->StartRenewal(user.get(), "USER01", 0, "..\\evil");
    ASSERT_FALSE(evil.empty());
    code = Finish(user.get(), world_->Answer(evil, "USER02", 78));
    EXPECT_EQ(code, -110) << RenewalWorld::ErrorText(user.get(), code);
    EXPECT_EQ(world_->Tree("USER01"), pseBefore);
    EXPECT_FALSE(platform::FileExists(world_->Path("evil.pem")));
    EXPECT_EQ(world_->SignerFor("USER02", kData, world_->Sign(user.get(), kData)), "USER01");

    // A host that gives up halfway frees the lock when it releases the engine.
    step = 0;
    for (std::int32_t expected : {2, 3}) ASSERT_EQ(RemoteGenerateStartEx(user.get(), nullptr, marker.data(), &step), 0) << expected;
    user.reset();
    EXPECT_TRUE(OtherEngineEncrypts());
}

// The finish installs only a certificate that an installed CA issued, valid now, for a UID
// that fits and that its request asked for: a refusal says why and writes nothing, and the
// right certificate still installs.
TEST_P(RenewalTest, FinishRefusesCertificatesItCannotTrust) {
    EnginePtr user = world_->Open("USER01");
    const std::string request = world_->StartRenewal(user.get(), "USER01", 0, nullptr);
    ASSERT_FALSE(request.empty());
    OpensslCA outsider(world_->Native("outsider"), GetParam());
    ASSERT_TRUE(outsider.MakeRoot("/C=RU/O=Correspondent/CN=Correspondent CA", 30));
    std::string longName = "/C=RU/O=Test Bank/CN=";
    while (UIDFits(longName.substr(21))) longName += 'L';
    struct Case {
        const char* what;
        const OpensslCA& ca;
        std::string subject;  // empty: the request's
        int from, to;         // days from now
        std::int32_t code;
    } const cases[] = {
        {"an outside CA", outsider, "", 0, 30, -1033},
        {"expired", world_->CA(), "", -30, -1, -1030},
        {"not yet valid", world_->CA(), "", 2, 30, -1031},
        {"another user's name", world_->CA(), "/C=RU/O=Test Bank/CN=USER02", 0, 30, -129},
        {"a UID too long", world_->CA(), longName, 0, 30, -140},
    };
    const auto pse = world_->Tree("USER01"), pending = world_->Tree("R_USER01");
    const auto date = [](int days) {
        const std::time_t t = std::time(nullptr) + days * 86400L;
        char text[32];
        std::strftime(text, sizeof text, "%Y%m%d%H%M%SZ", std::gmtime(&t));
        return std::string(text);
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string issued = world_->Native("inbox") + "/refused.pem";
        std::filesystem::remove(issued);
        ASSERT_TRUE(c.ca.Run("ca", "-batch -notext -config " + OpensslCA::Quote(world_->Native(&c.ca == &outsider ? "outsider" : "ca") + "/ca.cnf") +
                                       " -cert " + OpensslCA::Quote(c.ca.CertFile()) + " -keyfile " + OpensslCA::Quote(c.ca.KeyFile()) +
                                       " -in " + OpensslCA::Quote(world_->Native("R_USER01") + "/Tmp_cert.pem") + " -out " +
                                       OpensslCA::Quote(issued) + " -startdate " + date(c.from) + " -enddate " + date(c.to) +
                                       (c.subject.empty() ? "" : " -subj " + OpensslCA::Quote(c.subject))));
        EXPECT_EQ(Finish(user.get(), world_->TransferOf(world_->Path("inbox\\refused.pem"), "USER02")), c.code);
        char why[1024] = {};
        GetLastErrorMessage(user.get(), why);
        EXPECT_STRNE(why, "") << "the reason is told";
        EXPECT_EQ(world_->Tree("USER01"), pse);
        EXPECT_EQ(world_->Tree("R_USER01"), pending) << "the pending renewal waits as it was";
    }
    EXPECT_EQ(Finish(user.get(), world_->Answer(request, "USER02", 300)), 0);
}

// A name that cannot be a UID, given or made with the time stamp, is refused at the first
// step, before a key is made, whatever the UID limit.
TEST_P(RenewalTest, StartRefusesNamesThatCannotBeAUID) {
    std::string stamped = "USER";
    while (UIDFits(stamped + std::string(22, 'S'))) stamped += 'X';  // fits alone, not with the stamp
    world_->Enroll(stamped, 13);
    const std::pair<std::string, std::string> cases[] = {{"USER01", "N" + stamped + std::string(22, 'N')}, {stamped, ""}};
    for (const auto& [user, name] : cases) {
        SCOPED_TRACE(user);
        EnginePtr engine = world_->Open(user);
        std::string marker(static_cast<std::size_t>(GetMaxPublicKeyTransferSize(engine.get())) + 1, '\0');
        std::int32_t step = 0;
        for (std::int32_t expected : {0, -110})
            EXPECT_EQ(RemoteGenerateStartEx(engine.get(), name.empty() ? nullptr : name.c_str(), marker.data(), &step), expected);
        EXPECT_EQ(step, 1);
        EXPECT_TRUE(world_->Tree("R_" + user).empty());
        EXPECT_TRUE(OtherEngineEncrypts()) << "nothing is held";
    }
}

// The renewal belongs to its engine, not to a thread: steps from any thread go on with it,
// another engine's start is refused at once, transfers and includes never wait for it, and
// releasing the engine on yet another thread ends it.
TEST_P(RenewalTest, TheRenewalBelongsToTheEngine) {
    EnginePtr user = world_->Open("USER01");
    std::string marker(static_cast<std::size_t>(GetMaxPublicKeyTransferSize(user.get())) + 1, '\0');
    std::int32_t step = 0;
    for (std::int32_t expected : {2, 3}) {
        EXPECT_EQ(OnThread([&] { return RemoteGenerateStartEx(user.get(), nullptr, marker.data(), &step); }), 0);
        EXPECT_EQ(step, expected);
    }
    EnginePtr second = world_->Open("USER01"), other = world_->Open("USER02");
    std::int32_t secondStep = 2;
    EXPECT_EQ(OnThread([&] { return RemoteGenerateStartEx(second.get(), nullptr, marker.data(), &secondStep); }), -132);
    std::string transfer(marker.size(), '\0');
    EXPECT_EQ(OnThread([&] { return ExcludeSelfPublicKeyTransfer(other.get(), transfer.data()); }), 0);
    EXPECT_EQ(OnThread([&] { return IncludePublicKeyTransfer(other.get(), transfer.c_str()); }), 0);
    EXPECT_EQ(OnThread([&] { return RemoteGenerateStartEx(user.get(), nullptr, marker.data(), &step); }), 0);
    EXPECT_EQ(step, 5);
    OnThread([&] { return user.reset(), 0; });
    EXPECT_TRUE(OtherEngineEncrypts());
}

// Two renewals of one PSE: while the first is between its steps another engine's start is
// refused, in this process and in another one (the core linked into this test has locks of
// its own); a later start sets the pending renewal aside, a certificate under a
// correspondent's name is refused, and the first renewal's certificate still installs.
TEST_P(RenewalTest, TwoRenewalsNeverDestroyEachOther) {
    EnginePtr first = world_->Open("USER01"), second = world_->Open("USER01");
    std::string marker(static_cast<std::size_t>(GetMaxPublicKeyTransferSize(first.get())) + 1, '\0');
    std::int32_t step = 0, other = 2;
    for (int i = 0; i < 2; ++i) ASSERT_EQ(RemoteGenerateStartEx(first.get(), nullptr, marker.data(), &step), 0);
    EXPECT_EQ(RemoteGenerateStartEx(second.get(), nullptr, marker.data(), &other), -132);
    TMProWinCryptoEngine elsewhere;
    for (const auto& [index, value] : world_->Params("USER01")) ASSERT_EQ(elsewhere.SetCryptoParamValue(index, value.c_str()), 0);
    elsewhere.SetRemoteGeneratePath(world_->Path("R_USER01").c_str());
    other = 2;
    EXPECT_EQ(elsewhere.RemoteGenerateStartEx(nullptr, marker.data(), &other), -132);
    const std::string firstRequest = world_->StartRenewal(first.get(), "USER01", 0, nullptr);

    step = 0;
    for (int i = 0; i < 2; ++i) ASSERT_EQ(RemoteGenerateStartEx(second.get(), nullptr, marker.data(), &step), 0);
    char why[1024] = {};
    GetLastErrorMessage(second.get(), why);
    EXPECT_NE(std::string(why).find("pending.001"), std::string::npos) << why;
    EXPECT_EQ(world_->Tree("R_USER01\\pending.001").count("DB/SIGN/sec_sgn.dat"), 1u);
    const std::string secondRequest = world_->StartRenewal(second.get(), "USER01", 0, "USER02");
    EXPECT_EQ(Finish(second.get(), world_->Answer(secondRequest, "USER02", 301)), -130);
    EXPECT_EQ(Finish(second.get(), world_->Answer(firstRequest, "USER02", 302)), 0);
    EXPECT_EQ(SubjectField(world_->Path("USER01\\own.pem"), NID_commonName).substr(0, 8), "USER01 (");
}

// While one engine holds the PSELock between StartEx calls, other engines' work on other
// threads waits and then succeeds: an operation begun under the lock never ends before the
// release, and none fails.
TEST_P(RenewalTest, OtherEnginesWaitWhileTheRenewalHoldsTheLock) {
    EnginePtr user = world_->Open("USER01");
    std::string marker(static_cast<std::size_t>(GetMaxPublicKeyTransferSize(user.get())) + 1, '\0');
    std::int32_t step = 0;
    ASSERT_EQ(RemoteGenerateStartEx(user.get(), nullptr, marker.data(), &step), 0);
    ASSERT_EQ(RemoteGenerateStartEx(user.get(), nullptr, marker.data(), &step), 0);  // the lock is taken

    const std::string signature = world_->Sign(world_->Open("USER02").get(), kData);
    std::atomic<bool> held{true}, stop{false};
    std::atomic<int> endedUnderLock{0}, failures{0}, operations{0};
    ThreadGate started(3);
    auto worker = [&](int kind) {
        EnginePtr engine = world_->Open("USER02");
        started.CountDown();  // the first operation begins under the lock
        while (!stop) {
            std::string buffer = kData + std::string(static_cast<std::size_t>(GetMaxSignatureLength(engine.get())) + 4096, '\0');
            auto size = static_cast<std::int32_t>(kData.size());
            auto* bytes = reinterpret_cast<unsigned char*>(buffer.data());
            std::int32_t length = static_cast<std::int32_t>(buffer.size()) - size, code = 0;
            char uid[64] = {};
            if (kind == 0) code = EncodeData(engine.get(), bytes, &size, "USER01");
            if (kind == 1) code = SignData(engine.get(), bytes, size, bytes + size, &length, nullptr);
            if (kind == 2)
                code = VerifyData(engine.get(), bytes, size, reinterpret_cast<const unsigned char*>(signature.data()),
                                  static_cast<std::int32_t>(signature.size()), uid);
            if (held) ++endedUnderLock;
            if (code != 0) ++failures;
            ++operations;
        }
    };
    std::vector<std::thread> workers;
    for (int kind = 0; kind < 3; ++kind) workers.emplace_back(worker, kind);
    started.Wait();
    EXPECT_EQ(RemoteGenerateStartEx(user.get(), nullptr, marker.data(), &step), 0);
    EXPECT_TRUE(world_->Keygen("B_USER01"));
    EXPECT_EQ(RemoteGenerateStartEx(user.get(), nullptr, marker.data(), &step), 0);
    held = false;
    EXPECT_EQ(RemoteGenerateStartEx(user.get(), nullptr, marker.data(), &step), 0);  // "LAST STEP": released
    EXPECT_EQ(step, 1);
    while (operations < 9) std::this_thread::yield();
    stop = true;
    for (auto& thread : workers) thread.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(endedUnderLock, 0);
}

// The library's core linked into this test, beside the library itself: fault plans reach
// only the platform layer of the same copy, so the finish under faults runs on an engine of
// this copy; its process-wide modules are set up here as the library's load does.
class CoreModules : public ::testing::Environment {
public:
    void SetUp() override {
        ZELRootModuleLoad();
        BindingModuleLoad();
        PSEModuleLoad();
    }
    void TearDown() override {
        PSEModuleUnload();
        BindingModuleUnload();
    }
};
const auto* const kCoreModules = ::testing::AddGlobalTestEnvironment(std::make_unique<CoreModules>().release());

// The finish under a fault at every changing call along it: afterwards the PSE and the
// certificate directory hold their old state (and the old keys sign) or the new one, and a
// finish that failed can be repeated. The same with the process killed at each call (in a
// child): the next engine to use the installation completes or takes back the change. In
// GOST the new UID is stamped; in RSA it is the old one, whose filed certificate is replaced.
TEST_P(RenewalTest, FinishIsAllOrNothingUnderFaults) {
    EnginePtr user = world_->Open("USER01");
    const bool gost = GetParam() == Algorithm::Gost;
    const std::string answer =
        world_->Answer(world_->StartRenewal(user.get(), "USER01", gost ? 0 : 10, gost ? nullptr : "USER01"), "USER02", 200);
    ASSERT_FALSE(answer.empty());
    TMProWinCryptoEngine finisher;
    for (const auto& [index, value] : world_->Params("USER01")) ASSERT_EQ(finisher.SetCryptoParamValue(index, value.c_str()), 0);
    finisher.SetRemoteGeneratePath(world_->Path("R_USER01").c_str());
    const auto finish = [&] {
        std::int32_t step = 2;
        return finisher.RemoteGenerateFinishEx(answer.c_str(), &step);
    };
    // NextUse: the first use of the installation by a fresh engine.
    const auto nextUse = [&] {
        TMProWinCryptoEngine next;
        for (const auto& [index, value] : world_->Params("USER01")) next.SetCryptoParamValue(index, value.c_str());
        next.SetRemoteGeneratePath(world_->Path("R_USER01").c_str());
        char uid[kMaxUIDBytes];
        next.GetCurrentUserUID(uid);
    };

    const auto saved = [&](const std::string& dir) { return world_->Native("saved_" + dir); };
    for (const char* dir : {"USER01", "R_USER01"}) fs::copy(world_->Native(dir), saved(dir), fs::copy_options::recursive);
    const auto before = world_->Tree("USER01");
    const auto restore = [&] {
        for (const char* dir : {"USER01", "R_USER01"}) {
            fs::remove_all(world_->Native(dir));
            fs::copy(saved(dir), world_->Native(dir), fs::copy_options::recursive);
        }
    };
    std::uint32_t total = 0;
    {
        platform::ScopedFaultPlan count({});
        ASSERT_EQ(finish(), 0);
        total = count.Calls();
    }
    ASSERT_GT(total, 10u);
    const auto renewed = world_->Tree("USER01");
    const auto pendingBefore = (restore(), world_->Tree("R_USER01"));
    std::ostringstream table;
    table << (GetParam() == Algorithm::Gost ? "GOST" : "RSA") << ": k | failed call | result | PSE and certificates | old keys sign\n";
    for (std::uint32_t k = 1; k <= total; ++k) {
        SCOPED_TRACE("fault at call " + std::to_string(k));
        restore();
        if (const pid_t child = fork(); child == 0) {
            platform::ScopedFaultPlan plan({.failCall = k, .crash = true});
            std::_Exit(finish());
        } else {
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == platform::kCrashExitCode) << "killed at call k";
        }
        nextUse();
        const auto recovered = world_->Tree("USER01");
        EXPECT_TRUE(recovered == before || recovered == renewed) << "after a kill: the old state or the new one";
        if (recovered == before) {
            EXPECT_EQ(world_->Tree("R_USER01"), pendingBefore) << "the renewal waits for a repeat";
            EXPECT_EQ(world_->SignerFor("USER02", kData, world_->Sign(user.get(), kData)), "USER01");
        }
        restore();
        std::string failed;
        std::int32_t code = 0;
        {
            platform::ScopedFaultPlan plan({.failCall = k, .observe = [&](const platform::DiskCall& call) {
                                                static const char* kinds[] = {"write", "rename", "copy", "delete", "mkdir"};
                                                if (call.fails)
                                                    failed = std::string(kinds[static_cast<int>(call.change)]) + " " +
                                                             call.path.substr(world_->Path("").size());
                                            }});
            code = finish();
        }
        const auto after = world_->Tree("USER01");
        const std::string signer = world_->SignerFor("USER02", kData, world_->Sign(user.get(), kData));
        table << k << " | " << failed << " | " << code << " | " << (after == before ? "old" : "renewed") << " | "
              << (signer == "USER01" && after == before ? "yes" : "no, the new ones sign (" + signer + ")") << "\n";
        if (code == 0) {
            EXPECT_NE(after, before) << "a finish that reports success has renewed the keys";
            continue;
        }
        EXPECT_EQ(after, before) << "a failed finish leaves the PSE and the certificates as they were";
        EXPECT_EQ(signer, "USER01");
        const auto pending = world_->Tree("R_USER01");
        EXPECT_EQ(pending.count("uz.dat") + pending.count("DB/SIGN/sec_sgn.dat") + pending.count("self.pem"), 3u);
        EXPECT_EQ(pending.count("uz.db3") + pending.count("DB/SIGN/sec_sgn.key"), 0u);
        code = finish();
        EXPECT_EQ(code, 0) << "the finish is repeated";
        EXPECT_NE(world_->Tree("USER01"), before);
    }
    std::printf("%s", table.str().c_str());

    // A record of intent that names a file outside the installation is left alone, and so is
    // the file; starts report it.
    const std::string victim = world_->Path("victim.txt");
    ASSERT_TRUE(platform::WriteWholeFile(victim, "mine", 4));
    const std::string record = "VORLAN-CHANGE 1\nstate\tapply\nstep\t0\t0\t" + victim + "\t" + victim + ".x\t\n";
    ASSERT_TRUE(platform::WriteWholeFile(world_->Path("USER01\\change.intent"), record.data(), record.size()));
    std::string marker(16, '\0');
    std::int32_t step = 2;
    EXPECT_EQ(RemoteGenerateStartEx(user.get(), nullptr, marker.data(), &step), -133);
    EXPECT_EQ(platform::ReadWholeFile(victim), "mine");
}

INSTANTIATE_TEST_SUITE_P(Algorithms, RenewalTest, ::testing::Values(Algorithm::Gost, Algorithm::Rsa),
                         [](const auto& info) { return info.param == Algorithm::Gost ? "Gost" : "Rsa"; });

}  // namespace
}  // namespace vorlan::test
