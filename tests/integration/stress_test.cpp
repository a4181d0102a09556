// Stress: worker threads run thousands of mixed operations on several engines (some shared
// between them): encryption and decryption, detached and attached signatures and their
// verification, reports, certificate includes and CRL installs; meanwhile another thread runs
// complete key renewals of a PSE (the step protocol, the key generation utility, the CA on the
// openssl command line, the finish, the new certificate's transfer included by the others).
// Every result is checked; a watchdog ends the process when no operation ends for a long time.
// For long runs by hand: VORLAN_STRESS_SCALE multiplies the counts, VORLAN_STRESS_THREADS
// sets the workers (2..8), VORLAN_STRESS_STALL the watchdog's seconds.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "renewal_world.h"
#include "support/file_utils.h"

namespace vorlan::test {
namespace {

using Clock = std::chrono::steady_clock;

const std::string kData = "Payment order 9: 250.00 RUB to account 40702810000000000009";
constexpr int kPeers = 8;

int EnvNumber(const char* name, int fallback, int low, int high) {
    const std::string text = platform::GetEnv(name).value_or("");
    return std::clamp(text.empty() ? fallback : std::atoi(text.c_str()), low, high);
}

unsigned char* Bytes(std::string& s) { return reinterpret_cast<unsigned char*>(s.data()); }
const unsigned char* Bytes(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }
std::int32_t Size(const std::string& s) { return static_cast<std::int32_t>(s.size()); }

// Watchdog: aborts the process, naming what each thread was doing, when no operation ended
// for `stall` (a hung thread cannot be joined, so the test could not fail otherwise).
class Watchdog {
public:
    Watchdog(std::size_t threads, std::chrono::seconds stall) : doing_(threads, "starting"), stall_(stall) {
        thread_ = std::thread([this] { Watch(); });
    }
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> hold(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;
    // Doing: thread `index` starts `what`; Ended: an operation ended.
    void Doing(std::size_t index, const char* what) {
        std::lock_guard<std::mutex> hold(mutex_);
        doing_[index] = what;
    }
    void Ended() { ++ended_; }

private:
    void Watch() {
        std::unique_lock<std::mutex> hold(mutex_);
        long seen = ended_;
        auto last = Clock::now();
        while (!done_) {
            wake_.wait_for(hold, std::chrono::seconds(1));
            if (ended_ != seen) {
                seen = ended_;
                last = Clock::now();
            } else if (Clock::now() - last > stall_) {
                std::fprintf(stderr, "stress: no operation ended for %lld s; the threads are at:\n",
                             static_cast<long long>(stall_.count()));
                for (std::size_t i = 0; i < doing_.size(); ++i) std::fprintf(stderr, "  thread %zu: %s\n", i, doing_[i]);
                std::fflush(stderr);
                std::abort();
            }
        }
    }
    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<const char*> doing_;
    std::atomic<long> ended_{0};
    std::chrono::seconds stall_;
    bool done_ = false;
    std::thread thread_;
};

// Failures: what went wrong on one thread (the first few lines, and how many in all).
struct Failures {
    std::vector<std::string> lines;
    long count = 0;
    void Add(const std::string& what) {
        if (++count <= 10) lines.push_back(what);
    }
};

// The kinds of operation a worker runs, in turn.
enum Kind { kSealed, kToRenewed, kDetached, kAttached, kReport, kInclude, kTransfer, kCRL, kKinds };
constexpr std::array<const char*, kKinds> kKindNames = {
    "encrypt and decrypt", "encrypt for the renewed user", "sign and verify", "attached signature", "report",
    "certificate include", "transfer include", "CRL install"};

class StressTest : public ::testing::TestWithParam<Algorithm> {
protected:
    void SetUp() override {
        install_ = Installation::Get(GetParam());
        if (install_ == nullptr) GTEST_SKIP() << "the GOST engine is not installed";
        world_ = std::make_unique<RenewalWorld>(*install_, GetParam() == Algorithm::Gost ? "stress_g" : "stress_r");
        long serial = 11;
        for (const char* user : {"USER01", "USER02", "USER03"}) world_->Enroll(user, serial++);
        // Correspondents filed over and over in a directory of their own, and a list of the CA.
        for (const char* dir : {"pool", "stage"}) ASSERT_TRUE(CreateDirectoryPath(world_->Path(dir)));
        ASSERT_TRUE(CopyFileWhole(world_->Path("USER03\\own.pem"), world_->Path("pool\\USER03.pem")));  // the signer
        for (int i = 0; i < kPeers; ++i) {
            const std::string peer = Peer(i), stage = world_->Native("stage") + "/" + peer;
            ASSERT_TRUE(world_->CA().NewUser("/C=RU/O=Test Bank/CN=" + peer, 300 + i, stage + ".key", stage + ".pem"));
        }
        ASSERT_TRUE(world_->CA().WriteCRL(world_->Native("stage") + "/fresh.crl"));
    }

    static std::string Peer(int i) { return "PEER" + std::to_string(i); }
    // Open: an engine of a user; "POOL" is USER03 filing into the pool directory.
    EnginePtr Open(const std::string& user) const {
        if (user != "POOL") return world_->Open(user);
        EnginePtr engine = world_->Open("USER03");
        EXPECT_EQ(SetCryptoParamValue(engine.get(), 2, world_->Path("pool").c_str()), 0);
        return engine;
    }

    // Engines: the engines one worker uses; the shared ones are the test's.
    struct Engines {
        VORLAN_HANDLE sender, receiver, pool;
    };

    // Seal: kData encrypted by engine h for uid into buffer (size: its length); an empty text
    // when that succeeded.
    static std::string Seal(VORLAN_HANDLE h, const std::string& uid, std::string& buffer, std::int32_t& size) {
        buffer = kData + std::string(static_cast<std::size_t>(GetMaxEncodeAddition(h)), '\0');
        size = Size(kData);
        const std::int32_t code = EncodeData(h, Bytes(buffer), &size, uid.c_str());
        return code == 0 ? "" : "EncodeData for " + uid + " " + std::to_string(code);
    }

    // Work: operation n of one worker; an empty text when every result was the expected one.
    std::string Work(Kind kind, const Engines& e, int worker, long n) const {
        char uid[64] = {};
        std::string buffer;
        std::int32_t size = 0;
        switch (kind) {
        case kSealed: {
            if (std::string wrong = Seal(e.sender, "USER03", buffer, size); !wrong.empty()) return wrong;
            if (const std::int32_t code = DecodeData(e.receiver, Bytes(buffer), &size, uid))
                return "DecodeData " + std::to_string(code);
            return buffer.substr(0, static_cast<std::size_t>(size)) == kData ? "" : "decrypted text differs";
        }
        case kToRenewed:
            // The renewed user always has a current certificate, the old one or the new.
            return Seal(e.sender, "USER01", buffer, size);
        case kDetached: {
            std::string signature(static_cast<std::size_t>(GetMaxSignatureLength(e.sender)), '\0');
            std::int32_t length = Size(signature);
            if (const std::int32_t code = SignData(e.sender, Bytes(kData), Size(kData), Bytes(signature), &length, nullptr))
                return "SignData " + std::to_string(code);
            if (const std::int32_t code = VerifyData(e.receiver, Bytes(kData), Size(kData), Bytes(signature), length, uid))
                return "VerifyData " + std::to_string(code);
            if (std::string(uid) != "USER02") return std::string("signer ") + uid;
            std::string forged = kData;
            forged[n % forged.size()] ^= 0x20;
            return VerifyData(e.receiver, Bytes(forged), Size(forged), Bytes(signature), length, uid) != 0
                       ? ""
                       : "a changed text verified";
        }
        case kAttached: {
            buffer = kData + std::string(static_cast<std::size_t>(GetMaxSignAddition(e.receiver)), '\0');
            size = Size(kData);
            if (const std::int32_t code = AddSign(e.receiver, Bytes(buffer), &size, "USER03"))
                return "AddSign " + std::to_string(code);
            if (const std::int32_t code = RemoveSign(e.sender, Bytes(buffer), &size, uid))
                return "RemoveSign " + std::to_string(code);
            if (std::string(uid) != "USER03") return std::string("signer ") + uid;
            return buffer.substr(0, static_cast<std::size_t>(size)) == kData ? "" : "unsigned text differs";
        }
        case kReport: {
            std::string report(static_cast<std::size_t>(GetMaxReportSize(e.receiver)) + 1, '\0');
            if (const std::int32_t code = GetReport(e.receiver, "USER02", report.data())) return "GetReport " + std::to_string(code);
            return report.find("USER02") != std::string::npos ? "" : "report without USER02";
        }
        case kInclude: {
            // A copy of a correspondent's certificate is filed (the include moves its source),
            // and is then the one mail to that correspondent goes to.
            const std::string peer = Peer(static_cast<int>(n % kPeers));
            const std::string staged = world_->Path("stage\\" + std::to_string(worker) + "_" + std::to_string(n) + ".pem");
            if (!CopyFileWhole(world_->Path("stage\\" + peer + ".pem"), staged)) return "cannot stage " + staged;
            if (const std::int32_t code = IncludePublicKey(e.pool, staged.c_str())) return "IncludePublicKey " + std::to_string(code);
            return Seal(e.pool, peer, buffer, size);
        }
        case kTransfer: {
            // A correspondent's certificate travels as a transfer signed by the pool's user.
            const std::string peer = Peer(static_cast<int>(n % kPeers));
            std::string transfer(static_cast<std::size_t>(GetMaxPublicKeyTransferSize(e.pool)) + 1, '\0');
            const std::string file = world_->Path("stage\\" + peer + ".pem");
            if (const std::int32_t code = GetPublicKeyTransferByFile(e.pool, transfer.data(), file.c_str()))
                return "GetPublicKeyTransferByFile " + std::to_string(code);
            if (const std::int32_t code = IncludePublicKeyTransfer(e.pool, transfer.c_str()))
                return "IncludePublicKeyTransfer " + std::to_string(code);
            return Seal(e.pool, peer, buffer, size);
        }
        case kCRL: {
            const std::string staged = world_->Path("stage\\" + std::to_string(worker) + "_" + std::to_string(n) + ".crl");
            if (!CopyFileWhole(world_->Path("stage\\fresh.crl"), staged)) return "cannot stage " + staged;
            const std::int32_t code = IncludeCRL(e.receiver, staged.c_str());
            return code == 0 ? "" : "IncludeCRL " + std::to_string(code);
        }
        case kKinds: break;
        }
        return "no such operation";
    }

    // Renew: a complete renewal of USER01 under the same UID; an empty text when it succeeded
    // and the new key signs for everyone.
    std::string Renew(long serial) const {
        EnginePtr user = world_->Open("USER01");
        const std::string request = world_->StartRenewal(user.get(), "USER01", 10, "USER01");
        if (request.empty()) return "the start steps failed";
        const std::string answer = world_->Answer(request, "USER02", serial);
        if (answer.empty()) return "the CA gave no answer";
        std::int32_t step = 0;
        for (std::int32_t expected : {2, 1}) {
            const std::int32_t code = RemoteGenerateFinishEx(user.get(), answer.c_str(), &step);
            if (code != 0 || step != expected) return "finish: " + RenewalWorld::ErrorText(user.get(), code);
        }
        for (const char* other : {"USER02", "USER03"}) {
            EnginePtr engine = world_->Open(other);
            if (const std::int32_t code = IncludePublicKeyTransfer(engine.get(), answer.c_str()))
                return std::string(other) + " includes the transfer: " + RenewalWorld::ErrorText(engine.get(), code);
        }
        const std::string signer = world_->SignerFor("USER03", kData, world_->Sign(user.get(), kData));
        return signer == "USER01" ? "" : "the new key's signature names " + signer;
    }

    Installation* install_ = nullptr;
    std::unique_ptr<RenewalWorld> world_;
};

TEST_P(StressTest, MixedOperationsWhileKeysAreRenewed) {
    const int scale = EnvNumber("VORLAN_STRESS_SCALE", 1, 1, 1000);
    const int workers = EnvNumber("VORLAN_STRESS_THREADS", 4, 2, 8);
    const long operations = 488L * scale;  // per worker
    const int renewals = 3 * scale;
    Watchdog watchdog(static_cast<std::size_t>(workers) + 1,
                      std::chrono::seconds(EnvNumber("VORLAN_STRESS_STALL", 300, 10, 86400)));

    EnginePtr sharedSender = Open("USER02"), sharedReceiver = Open("USER03"), sharedPool = Open("POOL");
    std::vector<Failures> failures(static_cast<std::size_t>(workers) + 1);
    std::vector<std::array<long, kKinds>> done(static_cast<std::size_t>(workers), std::array<long, kKinds>{});
    std::atomic<bool> renewing{true};
    std::vector<std::thread> threads;
    for (int w = 0; w < workers; ++w) {
        threads.emplace_back([&, w] {
            const auto index = static_cast<std::size_t>(w);
            EnginePtr sender = Open("USER02"), receiver = Open("USER03"), pool = Open("POOL");
            const Engines own{sender.get(), receiver.get(), pool.get()};
            const Engines shared{sharedSender.get(), sharedReceiver.get(), sharedPool.get()};
            // Every worker goes on until the renewals are over, so that they always meet them.
            for (long n = 0; n < operations || renewing; ++n) {
                const auto kind = static_cast<Kind>((n + w) % kKinds);
                watchdog.Doing(index, kKindNames[kind]);
                const std::string wrong = Work(kind, (n / kKinds + w) % 2 == 0 ? own : shared, w, n);
                if (!wrong.empty()) failures[index].Add(std::string(kKindNames[kind]) + " #" + std::to_string(n) + ": " + wrong);
                ++done[index][kind];
                watchdog.Ended();
            }
            watchdog.Doing(index, "done");
        });
    }
    threads.emplace_back([&] {
        const auto index = static_cast<std::size_t>(workers);
        for (int r = 0; r < renewals; ++r) {
            watchdog.Doing(index, "renewal");
            if (const std::string wrong = Renew(500 + r); !wrong.empty()) failures[index].Add("renewal " + std::to_string(r) + ": " + wrong);
            watchdog.Ended();
        }
        watchdog.Doing(index, "done");
        renewing = false;
    });
    for (auto& thread : threads) thread.join();

    for (std::size_t t = 0; t < failures.size(); ++t) {
        EXPECT_EQ(failures[t].count, 0) << (t < static_cast<std::size_t>(workers) ? "worker " : "renewal thread ") << t
                                        << ":\n" << ::testing::PrintToString(failures[t].lines);
    }
    long total = 0;
    for (int kind = 0; kind < kKinds; ++kind) {
        long count = 0;
        for (const auto& counts : done) count += counts[static_cast<std::size_t>(kind)];
        EXPECT_GE(count, operations / kKinds * workers) << kKindNames[static_cast<std::size_t>(kind)];
        total += count;
    }
    std::printf("stress: %d workers, %ld operations, %d renewals\n", workers, total, renewals);
}

INSTANTIATE_TEST_SUITE_P(Algorithms, StressTest, ::testing::Values(Algorithm::Gost, Algorithm::Rsa),
                         [](const auto& info) { return info.param == Algorithm::Gost ? "Gost" : "Rsa"; });

}  // namespace
}  // namespace vorlan::test
