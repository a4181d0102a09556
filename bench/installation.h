// What the benchmarks of the library share: its exports and the toolkit's functions resolved
// as a host resolves them, and an installation per algorithm (a CA, USER01 and USER02, a CRL)
// filed through the library and dated back before timing.
#pragma once

#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "binding/toolkit_api.h"
#include "pki/test_pki.h"
#include "raw_cms.h"
#include "vorlan13.h"

namespace bench {

using vorlan::test::Algorithm;
namespace fs = std::filesystem;

template <class Fn>
inline Fn Resolve(void* module, const char* name) {
    auto fn = reinterpret_cast<Fn>(dlsym(module, name));
    if (fn == nullptr) throw std::runtime_error(std::string("missing symbol ") + name);
    return fn;
}

inline std::string BinDir() {
    const char* dir = std::getenv("VORLAN_BIN_DIR");
    return dir != nullptr ? dir : fs::canonical("/proc/self/exe").parent_path().string();
}

// The exports, resolved from the shared library as a host does.
struct Library {
#define BENCH_EXPORT(name) decltype(&::name) name = nullptr;
    BENCH_EXPORT(GetCryptObj) BENCH_EXPORT(DoneEngine) BENCH_EXPORT(SetRootPath) BENCH_EXPORT(SetCryptoParamValue)
    BENCH_EXPORT(EncodeData) BENCH_EXPORT(DecodeData) BENCH_EXPORT(SignData) BENCH_EXPORT(VerifyData)
    BENCH_EXPORT(IncludePublicKey) BENCH_EXPORT(IncludeCRL)
#undef BENCH_EXPORT
    Library() {
        void* m = dlopen((BinDir() + "/libvorlan13.so").c_str(), RTLD_NOW);
        if (m == nullptr) throw std::runtime_error("libvorlan13.so not found (VORLAN_BIN_DIR)");
#define BENCH_RESOLVE(name) name = Resolve<decltype(name)>(m, #name);
        BENCH_RESOLVE(GetCryptObj) BENCH_RESOLVE(DoneEngine) BENCH_RESOLVE(SetRootPath) BENCH_RESOLVE(SetCryptoParamValue)
        BENCH_RESOLVE(EncodeData) BENCH_RESOLVE(DecodeData) BENCH_RESOLVE(SignData) BENCH_RESOLVE(VerifyData)
        BENCH_RESOLVE(IncludePublicKey) BENCH_RESOLVE(IncludeCRL)
#undef BENCH_RESOLVE
    }
};

// The toolkit functions, resolved from the plug-in the library loads.
struct Toolkit {
#define BENCH_MEMBER(name, type) mpro::type name = nullptr;
    MPRO_REQUIRED_FUNCTIONS(BENCH_MEMBER)
#undef BENCH_MEMBER
    Toolkit() {
        void* m = dlopen((BinDir() + "/mplugf.so").c_str(), RTLD_NOW);
        if (m == nullptr) throw std::runtime_error("mplugf.so not found (VORLAN_BIN_DIR)");
#define BENCH_RESOLVE(name, type) name = Resolve<mpro::type>(m, #name);
        MPRO_REQUIRED_FUNCTIONS(BENCH_RESOLVE)
#undef BENCH_RESOLVE
    }
};

inline Library& Lib() {
    static Library library;
    return library;
}
inline Toolkit& Tk() {
    static Toolkit toolkit;
    return toolkit;
}

// ---- an installation per algorithm ----------------------------------------------------
// root/CA/ca.pem, root/certs/USER01.pem and USER02.pem (filed by the library), root/CRL/ with
// a CRL filed by the library, root/USERnn/own.pem and key.pem. Every file is dated an hour
// back before timing: files changed within two seconds are read again on every call.
struct Installation {
    Algorithm algorithm;
    std::string name, root;  // root ends in a separator
    Party user01, user02;
    StorePtr trust;
    const EVP_CIPHER* cipher;
    const EVP_MD* md;
    std::string cipherParam, signParam, opensslCipher, opensslDigest, subject02;

    explicit Installation(Algorithm a) : algorithm(a), name(a == Algorithm::Gost ? "GOST" : "RSA") {
        const bool gost = a == Algorithm::Gost;
        root = (fs::temp_directory_path() / ("vorlan_bench_" + name + std::to_string(std::random_device{}()))).string() + "/";
        vorlan::test::TestPKI pki(a);
        for (const char* sub : {"certs", "CA", "CRL", "staging", "USER01", "USER02"}) fs::create_directories(root + sub);
        pki.WriteCA(root + "CA/ca.pem");
        pki.WriteCAKey(root + "staging/ca.key");
        cipherParam = gost ? "RUS-GAMMAR" : "DES-EDE3-CBC";
        signParam = gost ? "R3410-R3411" : "SHA1";
        opensslCipher = gost ? "-gost89" : "-des3";
        opensslDigest = gost ? "md_gost12_256" : "sha1";
        cipher = EVP_get_cipherbyname(gost ? "gost89" : "des-ede3-cbc");
        md = EVP_get_digestbyname(gost ? "md_gost12_256" : "sha1");
        for (const char* user : {"USER01", "USER02"})
            pki.IssueUser(user, 100 + user[5], root + user + "/key.pem", root + user + "/own.pem");
        const VORLAN_HANDLE setup = Engine("USER01", "");
        for (const char* user : {"USER01", "USER02"}) {
            fs::copy_file(root + user + "/own.pem", root + "staging/" + user + ".pem");
            if (Lib().IncludePublicKey(setup, (root + "staging\\" + user + ".pem").c_str()) != 0)
                throw std::runtime_error("IncludePublicKey");
        }
        pki.WriteCRL(root + "staging/new.crl", {});
        fs::copy_file(root + "staging/new.crl", root + "staging/crl.pem");
        {
            std::ofstream trustFile(root + "staging/trust.pem", std::ios::binary);
            trustFile << std::ifstream(root + "CA/ca.pem", std::ios::binary).rdbuf()
                      << std::ifstream(root + "staging/crl.pem", std::ios::binary).rdbuf();
        }
        if (Lib().IncludeCRL(setup, (root + "staging\\new.crl").c_str()) != 0) throw std::runtime_error("IncludeCRL");
        Lib().DoneEngine(setup);
        const auto past = fs::file_time_type::clock::now() - std::chrono::hours(1);
        for (const auto& entry : fs::recursive_directory_iterator(root)) fs::last_write_time(entry.path(), past);
        user01 = ReadParty(root + "USER01/own.pem", root + "USER01/key.pem");
        user02 = ReadParty(root + "USER02/own.pem", root + "USER02/key.pem");
        trust = TrustOf(root + "CA/ca.pem", root + "staging/crl.pem");
        char line[1024] = {};
        const mpro::Context c = Context("USER02");
        Tk().GetCurrentUID(c, line);
        Tk().DoneCrypto(c);
        subject02 = line;
    }
    ~Installation() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    // Params: the engine parameters of a user (by number from 1).
    std::vector<std::pair<int, std::string>> Params(const std::string& user, const char* lifetime) const {
        const std::string dir = root + user + "\\";
        return {{1, dir + "own.pem"}, {2, root + "certs"}, {3, dir},        {4, cipherParam}, {5, signParam},
                {7, dir + "key.pem"}, {22, lifetime},      {25, root + "CA"}, {26, root + "CRL"}};
    }
    VORLAN_HANDLE Engine(const std::string& user, const char* lifetime) const {
        const VORLAN_HANDLE h = Lib().GetCryptObj(0);
        Lib().SetRootPath(h, root.c_str());
        for (const auto& [index, value] : Params(user, lifetime)) Lib().SetCryptoParamValue(h, index, value.c_str());
        return h;
    }
    // Context: a toolkit context configured as the library configures one for the user.
    mpro::Context Context(const std::string& user) const {
        const mpro::Context c = Tk().InitCrypto();
        for (const auto& [index, value] : Params(user, "60")) Tk().SetCryptoParamValue(c, index - 1, value.c_str());
        Tk().KeysRenewal(c);
        return c;
    }
};

inline Installation& Of(Algorithm a) {
    if (a == Algorithm::Gost) {
        static Installation gost(Algorithm::Gost);
        return gost;
    }
    static Installation rsa(Algorithm::Rsa);
    return rsa;
}

// Algorithms: the algorithms measured: GOST when its engine loads, and RSA.
inline std::vector<Algorithm> Algorithms() {
    std::vector<Algorithm> algorithms{Algorithm::Rsa};
    if (vorlan::test::TestPKI::Available(Algorithm::Gost)) algorithms.insert(algorithms.begin(), Algorithm::Gost);
    return algorithms;
}

// Main: Google Benchmark's main, with the benchmarks that registerAll registers.
inline int Main(int argc, char** argv, void (*registerAll)()) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    registerAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

inline std::vector<unsigned char> Data(std::size_t size) {
    std::vector<unsigned char> d(size);
    for (std::size_t i = 0; i < size; ++i) d[i] = static_cast<unsigned char>(i * 31 + 7);
    return d;
}

}  // namespace bench
