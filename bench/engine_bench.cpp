// The library next to its reference, the same operation with the same keys: OpenSSL CMS called
// directly in-process (the reference), the toolkit plug-in on one open context, the library
// through its exports at context lifetime 60 and 0, the library at lifetime 0 with the cache
// clock advanced between calls (every call opens a context), and the `openssl cms` command as
// a process per message. Encrypt, decrypt, sign, verify; 1 KiB and 1 MiB; GOST and RSA; and
// throughput of 1, 2 and 4 threads with engines of their own. Each result's label names the
// row it is compared with (bench/results_table.cpp turns them into one table).
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "installation.h"

namespace {

using bench::Algorithm;
using bench::Installation;
using bench::Lib;
using bench::Of;
using bench::Tk;
namespace fs = std::filesystem;

// ---- the cache clock --------------------------------------------------------------------
// While a benchmark asks for it, every reading of the wall clock in the process is a
// millisecond later than the one before, so no call finds the context of another (the cache
// reuses a lifetime-0 context only at the same clock reading). The clock never goes back.
std::atomic<int> g_advancing{0};
std::atomic<std::int64_t> g_skewNs{0};

}  // namespace

extern "C" int clock_gettime(clockid_t id, timespec* ts) {
    using Fn = int (*)(clockid_t, timespec*);
    static const Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "clock_gettime"));
    const int result = real(id, ts);
    if (result != 0 || id != CLOCK_REALTIME) return result;
    const std::int64_t skew = g_advancing.load(std::memory_order_relaxed) > 0
                                  ? g_skewNs.fetch_add(1'000'000, std::memory_order_relaxed) + 1'000'000
                                  : g_skewNs.load(std::memory_order_relaxed);
    const std::int64_t ns = ts->tv_nsec + skew % 1'000'000'000;
    ts->tv_sec += static_cast<time_t>(skew / 1'000'000'000 + ns / 1'000'000'000);
    ts->tv_nsec = static_cast<long>(ns % 1'000'000'000);
    return result;
}

namespace {

// ---- the operations ---------------------------------------------------------------------
enum class Op { Encrypt, Decrypt, Sign, Verify };
enum class Path { OpenSsl, Toolkit, Library60, Library0, LibraryNewContext, Process };
const char* const kOpNames[] = {"encrypt", "decrypt", "sign", "verify"};
const char* const kPathNames[] = {"openssl", "toolkit", "library lifetime 60", "library lifetime 0",
                                  "library lifetime 0 (new context per call)", "openssl cms process"};

// Run: the command with its arguments as a process; true when it exits with 0.
bool Run(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const bool started = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    return started && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Worker: what one thread needs for one operation on one path, made before timing.
class Worker {
public:
    Worker(Installation& inst, Op op, Path path, std::size_t size)
        : inst_(inst), op_(op), path_(path), data_(bench::Data(size)), buffer_(size + 16384), user_(op == Op::Encrypt || op == Op::Sign ? "USER01" : "USER02") {
        if (op == Op::Decrypt) message_ = bench::Encrypt(inst.cipher, inst.user02.cert.get(), data_.data(), size);
        if (op == Op::Verify) message_ = bench::Sign(inst.user01, inst.md, data_.data(), size);
        if (path == Path::Toolkit) context_ = inst.Context(user_);
        if (path == Path::Library60 || path == Path::Library0 || path == Path::LibraryNewContext)
            engine_ = inst.Engine(user_, path == Path::Library60 ? "60" : "");
        if (path == Path::Process) PrepareFiles();
    }
    ~Worker() {
        if (context_ != 0) Tk().DoneCrypto(context_);
        if (engine_ != nullptr) Lib().DoneEngine(engine_);
    }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Once: the operation; false when it failed. Not inlined, so that profilers can count it.
    [[gnu::noinline]] bool Once() {
        switch (path_) {
            case Path::OpenSsl: return OpenSsl();
            case Path::Toolkit: return Toolkit();
            case Path::Process: return Run(command_);
            default: return Library();
        }
    }

private:
    bool OpenSsl() {
        switch (op_) {
            case Op::Encrypt:
                return !bench::Encrypt(inst_.cipher, inst_.user02.cert.get(), data_.data(), data_.size()).empty();
            case Op::Decrypt: return bench::Decrypt(inst_.user02, message_) == data_.size();
            case Op::Sign: return !bench::Sign(inst_.user01, inst_.md, data_.data(), data_.size()).empty();
            case Op::Verify: return bench::Verify(inst_.trust.get(), message_, data_.data(), data_.size());
        }
        return false;
    }
    // In place: the input is copied into the buffer first, as a host does.
    std::int32_t Load(const std::vector<unsigned char>& from) {
        std::memcpy(buffer_.data(), from.data(), from.size());
        return static_cast<std::int32_t>(from.size());
    }
    bool Toolkit() {
        std::int32_t length = 0;
        char who[1024];
        switch (op_) {
            case Op::Encrypt:
                length = Load(data_);
                return Tk().EncodeData(context_, buffer_.data(), &length, inst_.subject02.c_str()) == 0;
            case Op::Decrypt: length = Load(message_); return Tk().DecodeData(context_, buffer_.data(), &length, who) == 0;
            case Op::Sign:
                length = static_cast<std::int32_t>(buffer_.size());
                return Tk().SignData(context_, data_.data(), static_cast<std::int32_t>(data_.size()), buffer_.data(), &length, "") == 0;
            case Op::Verify:
                length = static_cast<std::int32_t>(data_.size());
                return Tk().VerifyData(context_, data_.data(), &length, message_.data(),
                                       static_cast<std::int32_t>(message_.size()), who) == 0;
        }
        return false;
    }
    bool Library() {
        std::int32_t length = 0;
        char who[1024];
        const auto size = static_cast<std::int32_t>(data_.size());
        switch (op_) {
            case Op::Encrypt: length = Load(data_); return Lib().EncodeData(engine_, buffer_.data(), &length, "USER02") == 0;
            case Op::Decrypt: length = Load(message_); return Lib().DecodeData(engine_, buffer_.data(), &length, who) == 0;
            case Op::Sign:
                length = static_cast<std::int32_t>(buffer_.size());
                return Lib().SignData(engine_, data_.data(), size, buffer_.data(), &length, nullptr) == 0;
            case Op::Verify:
                return Lib().VerifyData(engine_, data_.data(), size, message_.data(), static_cast<std::int32_t>(message_.size()),
                                        who) == 0;
        }
        return false;
    }
    // PrepareFiles: the input of the openssl command and the command line of the operation.
    void PrepareFiles() {
        const std::string dir = inst_.root + "process" + std::to_string(reinterpret_cast<std::uintptr_t>(this)) + "/";
        fs::create_directories(dir);
        const auto write = [&](const std::string& file, const std::vector<unsigned char>& bytes) {
            std::ofstream(dir + file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                              static_cast<std::streamsize>(bytes.size()));
            return dir + file;
        };
        const std::string in = write("data", data_), user = inst_.root + user_ + "/";
        command_ = {"openssl", "cms", "-binary", "-out", dir + "out"};
        if (inst_.algorithm == Algorithm::Gost) command_.insert(command_.end(), {"-engine", "gost"});
        switch (op_) {
            case Op::Encrypt:
                command_.insert(command_.end(), {"-encrypt", "-outform", "DER", "-in", in, inst_.opensslCipher,
                                                 inst_.root + "USER02/own.pem"});
                break;
            case Op::Decrypt:
                command_.insert(command_.end(), {"-decrypt", "-inform", "DER", "-in", write("envelope", message_), "-recip",
                                                 user + "own.pem", "-inkey", user + "key.pem"});
                break;
            case Op::Sign:
                command_.insert(command_.end(), {"-sign", "-outform", "DER", "-in", in, "-signer", user + "own.pem", "-inkey",
                                                 user + "key.pem", "-md", inst_.opensslDigest});
                break;
            case Op::Verify:
                // The command takes CRLs with the CA certificates, from one file.
                command_.insert(command_.end(), {"-verify", "-inform", "DER", "-in", write("signature", message_), "-content",
                                                 in, "-CAfile", inst_.root + "staging/trust.pem", "-crl_check",
                                                 "-purpose", "any"});
                break;
        }
    }

    Installation& inst_;
    Op op_;
    Path path_;
    std::vector<unsigned char> data_, buffer_, message_;
    std::string user_;
    mpro::Context context_ = 0;
    VORLAN_HANDLE engine_ = nullptr;
    std::vector<std::string> command_;
};

void Measure(benchmark::State& state, Algorithm algorithm, Op op, Path path, std::size_t size, std::string label) {
    Worker worker(Of(algorithm), op, path, size);
    if (!worker.Once()) {
        state.SkipWithError("the operation failed");
        return;
    }
    const bool advance = path == Path::LibraryNewContext;
    if (advance) g_advancing.fetch_add(1);
    for (auto _ : state)
        if (!worker.Once()) state.SkipWithError("the operation failed");
    if (advance) g_advancing.fetch_sub(1);
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
    state.SetLabel(label);
}

std::string SizeName(std::size_t size) { return size >= (1u << 20) ? std::to_string(size >> 20) + "MiB" : std::to_string(size >> 10) + "KiB"; }

void RegisterAll() {
    for (Algorithm a : bench::Algorithms()) {
        const std::string algo = a == Algorithm::Gost ? "GOST" : "RSA";
        // Latency of one call, each path against OpenSSL.
        for (int op = 0; op < 4; ++op)
            for (std::size_t size : {std::size_t{1} << 10, std::size_t{1} << 20})
                for (int path = 0; path < 6; ++path) {
                    const std::string base = std::string(kOpNames[op]) + " " + algo + " " + SizeName(size) + " ";
                    const std::string label = path == 0 ? "=" : "~" + base + kPathNames[0];
                    auto* b = benchmark::RegisterBenchmark((base + kPathNames[path]).c_str(), Measure, a, static_cast<Op>(op),
                                                           static_cast<Path>(path), size, label);
                    b->Unit(size > 1024 || path == 5 ? benchmark::kMillisecond : benchmark::kMicrosecond);
                    if (path == 5) b->UseRealTime();  // the time is the child's: not on this process's clock
                }
        // Throughput of threads on engines of their own, against one thread of the same path.
        for (Op op : {Op::Sign, Op::Encrypt})
            for (Path path : {Path::OpenSsl, Path::Library60, Path::LibraryNewContext}) {
                const std::string base = std::string("threads ") + kOpNames[static_cast<int>(op)] + " " + algo + " 1KiB " +
                                         kPathNames[static_cast<int>(path)];
                for (int threads : {1, 2, 4}) {
                    const std::string label = threads == 1 ? "=" : "*" + base + "/real_time/threads:1";
                    benchmark::RegisterBenchmark(base.c_str(), Measure, a, op, path, std::size_t{1024}, label)
                        ->Threads(threads)
                        ->UseRealTime()
                        ->Unit(benchmark::kMicrosecond);
                }
            }
    }
}

}  // namespace

int main(int argc, char** argv) { return bench::Main(argc, argv, RegisterAll); }
