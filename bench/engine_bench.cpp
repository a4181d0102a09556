// The library's cost over the toolkit: EncodeData, DecodeData, SignData and VerifyData
// through the exports of libvorlan13 (context lifetime 0 and 60) side by side with the
// same toolkit functions called directly on one open context. GOST installation made at
// start; libvorlan13 and mplugf are taken from the directory of this program.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "binding/toolkit_api.h"
#include "pki/test_pki.h"
#include "platform/platform.h"
#include "support/file_utils.h"
#include "vorlan13.h"

namespace {

using vorlan::test::Algorithm;
using vorlan::test::TestPKI;
namespace platform = vorlan::platform;

template <class Fn>
Fn Resolve(platform::ModuleHandle module, const char* name) {
    auto fn = reinterpret_cast<Fn>(platform::ModuleSymbol(module, name));
    if (fn == nullptr) throw std::runtime_error(std::string("missing symbol ") + name);
    return fn;
}

// The exports used here, resolved from the shared library as a host would.
struct Library {
    decltype(&::GetCryptObj) GetCryptObj;
    decltype(&::SetRootPath) SetRootPath;
    decltype(&::SetCryptoParamValue) SetCryptoParamValue;
    decltype(&::EncodeData) EncodeData;
    decltype(&::DecodeData) DecodeData;
    decltype(&::SignData) SignData;
    decltype(&::VerifyData) VerifyData;
    decltype(&::IncludePublicKey) IncludePublicKey;
    decltype(&::IncludeCRL) IncludeCRL;
};

// The toolkit functions used here, resolved from the plug-in.
struct Toolkit {
    mpro::FnInitCrypto InitCrypto;
    mpro::FnSetCryptoParamValue SetCryptoParamValue;
    mpro::FnCtx KeysRenewal;
    mpro::FnCtxBuffer GetCurrentUID;
    mpro::FnEncodeData EncodeData;
    mpro::FnDecodeData DecodeData;
    mpro::FnSignData SignData;
    mpro::FnVerifyData VerifyData;
};

struct Setup {
    Library lib{};
    Toolkit tk{};
    std::string root;
    VORLAN_HANDLE engine[2] = {};  // lifetime 0, lifetime 60
    mpro::Context context = 0;     // the toolkit's own context, opened once
    std::string subjects1, subjects3;
    std::vector<std::string> params;

    Setup() {
        const std::string bin = vorlan::platform::HostExecutablePath();
        const std::string dir = bin.substr(0, bin.find_last_of("\\/") + 1);
        auto library = platform::LoadModule(dir + "libvorlan13.so");
        auto plugin = platform::LoadModule(dir + "mplugf.so");
        if (library == nullptr || plugin == nullptr) throw std::runtime_error("build vorlan13 and mplugf first");
#define LIB(name) lib.name = Resolve<decltype(lib.name)>(library, #name)
        LIB(GetCryptObj), LIB(SetRootPath), LIB(SetCryptoParamValue), LIB(EncodeData), LIB(DecodeData),
            LIB(SignData), LIB(VerifyData), LIB(IncludePublicKey), LIB(IncludeCRL);
#undef LIB
#define TK(name) tk.name = Resolve<decltype(tk.name)>(plugin, #name)
        TK(InitCrypto), TK(SetCryptoParamValue), TK(KeysRenewal), TK(GetCurrentUID), TK(EncodeData), TK(DecodeData),
            TK(SignData), TK(VerifyData);
#undef TK
        root = platform::TempDirectory() + "vorlan_bench_" + std::to_string(std::random_device{}()) + "\\";
        MakeInstallation();
        params = {root + "USER01\\own.pem", root + "certs", root + "USER01", "RUS-GAMMAR", "R3410-R3411", "1024",
                  root + "USER01\\key.pem"};
        params.resize(26);
        params[24] = root + "CA";
        params[25] = root + "CRL";
        for (int i = 0; i < 2; ++i) engine[i] = OpenEngine(i == 0 ? "" : "60");
        context = OpenContext(params);
        subjects1 = SubjectOf("USER01");
        subjects3 = subjects1 + ";" + SubjectOf("USER02") + ";" + SubjectOf("USER03");
    }
    ~Setup() { vorlan::DeleteDirectory(root, true); }

    void MakeInstallation() {
        TestPKI pki(Algorithm::Gost);
        for (const char* sub : {"certs", "CA", "staging", "USER01", "USER02", "USER03"})
            vorlan::CreateDirectoryPath(root + sub);
        pki.WriteCA(platform::NativePath(root + "CA\\ca.pem"));
        VORLAN_HANDLE setup = nullptr;
        for (const char* user : {"USER01", "USER02", "USER03"}) {
            const std::string dir = root + user + "\\";
            pki.IssueUser(user, 100 + user[5], platform::NativePath(dir + "key.pem"),
                          platform::NativePath(dir + "own.pem"));
            if (setup == nullptr) setup = OpenEngine("");
            const std::string staged = root + "staging\\" + user + ".pem";
            vorlan::CopyFileWhole(dir + "own.pem", staged);
            if (lib.IncludePublicKey(setup, staged.c_str()) != 0) throw std::runtime_error("IncludePublicKey");
        }
        pki.WriteCRL(platform::NativePath(root + "staging\\new.crl"), {});
        if (lib.IncludeCRL(setup, (root + "staging\\new.crl").c_str()) != 0) throw std::runtime_error("IncludeCRL");
    }

    VORLAN_HANDLE OpenEngine(const char* lifetime) {
        VORLAN_HANDLE h = lib.GetCryptObj(0);
        lib.SetRootPath(h, root.c_str());
        const std::pair<int, std::string> values[] = {{1, root + "USER01\\own.pem"}, {2, root + "certs"},
                                                      {3, root + "USER01"},          {7, root + "USER01\\key.pem"},
                                                      {22, lifetime},                {25, root + "CA"},
                                                      {26, root + "CRL"}};
        for (const auto& [index, value] : values) lib.SetCryptoParamValue(h, index, value.c_str());
        return h;
    }

    mpro::Context OpenContext(const std::vector<std::string>& values) {
        const mpro::Context c = tk.InitCrypto();
        for (std::size_t i = 0; i < values.size(); ++i)
            tk.SetCryptoParamValue(c, static_cast<std::int32_t>(i), values[i].c_str());
        tk.KeysRenewal(c);
        return c;
    }

    std::string SubjectOf(const std::string& user) {
        std::vector<std::string> values(26);
        values[0] = root + user + "\\own.pem";
        values[19] = "CN";  // the toolkit answers with the whole subject line
        char subject[1024] = {};
        tk.GetCurrentUID(OpenContext(values), subject);
        return subject;
    }
};

Setup& Env() {
    static Setup setup;
    return setup;
}

constexpr std::int64_t kSizes[] = {1024, 1 << 20};

std::string Plain(std::int64_t size) { return std::string(static_cast<std::size_t>(size), 'p'); }

// Mode: 0 the toolkit directly, 1 the library with lifetime 0, 2 with lifetime 60.
void Encode(benchmark::State& state) {
    Setup& env = Env();
    const std::string plain = Plain(state.range(0));
    const bool three = state.range(1) == 3;
    const auto mode = state.range(2);
    std::vector<unsigned char> buffer(plain.size() + 3 * 4096);
    for (auto _ : state) {
        std::memcpy(buffer.data(), plain.data(), plain.size());
        auto size = static_cast<std::int32_t>(plain.size());
        const std::int32_t code =
            mode == 0 ? env.tk.EncodeData(env.context, buffer.data(), &size,
                                          (three ? env.subjects3 : env.subjects1).c_str())
                      : env.lib.EncodeData(env.engine[mode - 1], buffer.data(), &size,
                                           three ? "USER01;USER02;USER03" : "USER01");
        if (code != 0) state.SkipWithError("EncodeData failed");
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void Decode(benchmark::State& state) {
    Setup& env = Env();
    const std::string plain = Plain(state.range(0));
    const auto mode = state.range(2);
    std::vector<unsigned char> encrypted(plain.size() + 4096);
    std::memcpy(encrypted.data(), plain.data(), plain.size());
    auto encryptedSize = static_cast<std::int32_t>(plain.size());
    env.tk.EncodeData(env.context, encrypted.data(), &encryptedSize, env.subjects1.c_str());
    std::vector<unsigned char> buffer(encrypted.size());
    char scratch[256];
    for (auto _ : state) {
        std::memcpy(buffer.data(), encrypted.data(), static_cast<std::size_t>(encryptedSize));
        std::int32_t size = encryptedSize;
        const std::int32_t code = mode == 0 ? env.tk.DecodeData(env.context, buffer.data(), &size, scratch)
                                            : env.lib.DecodeData(env.engine[mode - 1], buffer.data(), &size, scratch);
        if (code != 0) state.SkipWithError("DecodeData failed");
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void Sign(benchmark::State& state) {
    Setup& env = Env();
    const std::string plain = Plain(state.range(0));
    const auto mode = state.range(2);
    const auto* data = reinterpret_cast<const unsigned char*>(plain.data());
    std::vector<unsigned char> signature(8192);
    for (auto _ : state) {
        auto length = static_cast<std::int32_t>(signature.size());
        const auto size = static_cast<std::int32_t>(plain.size());
        const std::int32_t code =
            mode == 0 ? env.tk.SignData(env.context, data, size, signature.data(), &length, "")
                      : env.lib.SignData(env.engine[mode - 1], data, size, signature.data(), &length, nullptr);
        if (code != 0) state.SkipWithError("SignData failed");
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void Verify(benchmark::State& state) {
    Setup& env = Env();
    const std::string plain = Plain(state.range(0));
    const auto mode = state.range(2);
    const auto* data = reinterpret_cast<const unsigned char*>(plain.data());
    const auto size = static_cast<std::int32_t>(plain.size());
    std::vector<unsigned char> signature(8192);
    auto length = static_cast<std::int32_t>(signature.size());
    env.tk.SignData(env.context, data, size, signature.data(), &length, "");
    char signer[256];
    for (auto _ : state) {
        std::int32_t dataLength = size;
        const std::int32_t code =
            mode == 0 ? env.tk.VerifyData(env.context, data, &dataLength, signature.data(), length, signer)
                      : env.lib.VerifyData(env.engine[mode - 1], data, size, signature.data(), length, signer);
        if (code != 0) state.SkipWithError("VerifyData failed");
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

// Arguments: size, recipients, mode (0 toolkit, 1 library lifetime 0, 2 library lifetime 60).
void Arguments(benchmark::internal::Benchmark* b, bool recipients) {
    b->ArgNames({"bytes", "recipients", "mode"});
    for (std::int64_t size : kSizes)
        for (std::int64_t count : recipients ? std::vector<std::int64_t>{1, 3} : std::vector<std::int64_t>{1})
            for (std::int64_t mode : {0, 1, 2}) b->Args({size, count, mode});
    b->Threads(1)->Threads(2)->UseRealTime()->Unit(benchmark::kMicrosecond);
}

BENCHMARK(Encode)->Apply([](auto* b) { Arguments(b, true); });
BENCHMARK(Decode)->Apply([](auto* b) { Arguments(b, false); });
BENCHMARK(Sign)->Apply([](auto* b) { Arguments(b, false); });
BENCHMARK(Verify)->Apply([](auto* b) { Arguments(b, false); });

}  // namespace

BENCHMARK_MAIN();
