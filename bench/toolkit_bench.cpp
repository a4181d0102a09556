// The toolkit plug-in against the same OpenSSL CMS calls made directly: encrypt,
// decrypt, sign and verify at 1 KiB and 1 MiB in GOST and RSA, and the cost of
// opening a context per call (context lifetime 0) against reusing one.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/obj_mac.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "binding/toolkit_api.h"

namespace {

struct Plugin {
#define BENCH_MEMBER(name, type) mpro::type name = nullptr;
    MPRO_REQUIRED_FUNCTIONS(BENCH_MEMBER)
    MPRO_OPTIONAL_FUNCTIONS(BENCH_MEMBER)
#undef BENCH_MEMBER
};

Plugin& Tk() {
    static Plugin p = [] {
        const char* bin = std::getenv("VORLAN_BIN_DIR");
        std::string file = std::string(bin != nullptr ? bin : ".") + "/mplugf.so";
        void* m = dlopen(file.c_str(), RTLD_NOW);
        if (m == nullptr) throw std::runtime_error("cannot load " + file + " (set VORLAN_BIN_DIR)");
        Plugin q;
#define BENCH_RESOLVE(name, type) q.name = reinterpret_cast<mpro::type>(dlsym(m, #name));
        MPRO_REQUIRED_FUNCTIONS(BENCH_RESOLVE)
        MPRO_OPTIONAL_FUNCTIONS(BENCH_RESOLVE)
#undef BENCH_RESOLVE
        q.DoneCrypto(q.InitCrypto());  // starts the GOST engine for the whole process
        return q;
    }();
    return p;
}

// Fixture: one self-signed identity per algorithm, as files and as OpenSSL objects.
struct Identity {
    std::string dir, cert, key, subject;
    X509* x509 = nullptr;
    EVP_PKEY* pkey = nullptr;
    X509_STORE* store = nullptr;
    const EVP_MD* md = nullptr;
    const EVP_CIPHER* cipher = nullptr;
    bool gost = false;
};

void Write(const std::string& path, BIO* bio) {
    char* p = nullptr;
    long n = BIO_get_mem_data(bio, &p);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary).write(p, n);
    // Files written just now are re-read on every open (racy timestamps): age them.
    std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
}

Identity& Id(bool gost) {
    static Identity ids[2];
    Identity& id = ids[gost ? 0 : 1];
    if (id.x509 != nullptr) return id;
    Tk();
    id.gost = gost;
    id.dir = (std::filesystem::temp_directory_path() / ("vorlan_bench_" + std::string(gost ? "gost" : "rsa"))).string();
    std::filesystem::remove_all(id.dir);
    EVP_PKEY_CTX* kctx = EVP_PKEY_CTX_new_id(gost ? NID_id_GostR3410_2012_256 : EVP_PKEY_RSA, nullptr);
    EVP_PKEY_keygen_init(kctx);
    if (gost) EVP_PKEY_CTX_ctrl_str(kctx, "paramset", "A");
    else EVP_PKEY_CTX_set_rsa_keygen_bits(kctx, 2048);
    EVP_PKEY_keygen(kctx, &id.pkey);
    EVP_PKEY_CTX_free(kctx);
    if (id.pkey == nullptr) throw std::runtime_error("key generation failed");
    id.md = gost ? EVP_get_digestbyname("md_gost12_256") : EVP_sha1();
    id.cipher = gost ? EVP_get_cipherbyname("gost89") : EVP_des_ede3_cbc();

    X509* x = X509_new();
    X509_set_version(x, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x), 7);
    X509_NAME* n = X509_get_subject_name(x);
    X509_NAME_add_entry_by_txt(n, "C", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("RU"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(n, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("BENCH"), -1, -1, 0);
    X509_set_issuer_name(x, n);
    X509_gmtime_adj(X509_getm_notBefore(x), -3600);
    X509_gmtime_adj(X509_getm_notAfter(x), 86400L * 30);
    X509_set_pubkey(x, id.pkey);
    X509_sign(x, id.pkey, gost ? id.md : EVP_sha256());
    id.x509 = x;
    id.subject = "/C=RU/CN=BENCH";

    BIO* b = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(b, x);
    id.cert = id.dir + "/certs/BENCH.pem";
    Write(id.cert, b);
    Write(id.dir + "/ca/ca1.pem", b);
    BIO_free(b);
    b = BIO_new(BIO_s_mem());
    PEM_write_bio_PrivateKey(b, id.pkey, nullptr, nullptr, 0, nullptr, nullptr);
    id.key = id.dir + "/keys/bench.key";
    Write(id.key, b);
    BIO_free(b);
    std::filesystem::create_directories(id.dir + "/crl");

    id.store = X509_STORE_new();
    X509_STORE_add_cert(id.store, x);
    X509_STORE_set_purpose(id.store, X509_PURPOSE_ANY);
    return id;
}

mpro::Context OpenContext(const Identity& id) {
    mpro::Context c = Tk().InitCrypto();
    std::string params[26];
    params[0] = id.cert;
    params[1] = id.dir + "/certs";
    params[3] = id.gost ? "RUS-GAMMAR" : "DES-EDE3-CBC";
    params[4] = id.gost ? "R3410-R3411" : "SHA1";
    params[6] = id.key;
    params[24] = id.dir + "/ca";
    params[25] = id.dir + "/crl";
    for (int i = 0; i < 26; ++i) Tk().SetCryptoParamValue(c, i, params[i].c_str());
    Tk().KeysRenewal(c);
    return c;
}

std::vector<unsigned char> Data(std::size_t n) {
    std::vector<unsigned char> d(n);
    for (std::size_t i = 0; i < n; ++i) d[i] = static_cast<unsigned char>(i * 31);
    return d;
}

std::vector<unsigned char> Der(CMS_ContentInfo* cms) {
    std::vector<unsigned char> out(static_cast<std::size_t>(i2d_CMS_ContentInfo(cms, nullptr)));
    unsigned char* p = out.data();
    i2d_CMS_ContentInfo(cms, &p);
    return out;
}

std::vector<unsigned char> DirectEncrypt(const Identity& id, const std::vector<unsigned char>& data) {
    CMS_ContentInfo* cms = CMS_encrypt(nullptr, nullptr, id.cipher, CMS_BINARY | CMS_PARTIAL);
    CMS_add1_recipient_cert(cms, id.x509, CMS_BINARY | CMS_KEY_PARAM);
    BIO* in = BIO_new_mem_buf(data.data(), static_cast<int>(data.size()));
    CMS_final(cms, in, nullptr, CMS_BINARY);
    auto out = Der(cms);
    BIO_free(in);
    CMS_ContentInfo_free(cms);
    return out;
}

std::vector<unsigned char> DirectSign(const Identity& id, const std::vector<unsigned char>& data) {
    CMS_ContentInfo* cms = CMS_sign(nullptr, nullptr, nullptr, nullptr, CMS_BINARY | CMS_DETACHED | CMS_PARTIAL);
    CMS_add1_signer(cms, id.x509, id.pkey, id.md, CMS_BINARY);
    BIO* in = BIO_new_mem_buf(data.data(), static_cast<int>(data.size()));
    CMS_final(cms, in, nullptr, CMS_BINARY | CMS_DETACHED);
    auto out = Der(cms);
    BIO_free(in);
    CMS_ContentInfo_free(cms);
    return out;
}

void Label(benchmark::State& state) {
    state.SetLabel(std::string(state.range(1) ? "GOST " : "RSA ") + (state.range(0) >= (1 << 20) ? "1MiB" : "1KiB"));
}

void BM_ToolkitEncrypt(benchmark::State& state) {
    const Identity& id = Id(state.range(1) != 0);
    mpro::Context c = OpenContext(id);
    auto data = Data(static_cast<std::size_t>(state.range(0)));
    std::vector<unsigned char> buf(data.size() + 4096);
    for (auto _ : state) {
        std::memcpy(buf.data(), data.data(), data.size());
        std::int32_t len = static_cast<std::int32_t>(data.size());
        if (Tk().EncodeData(c, buf.data(), &len, id.subject.c_str()) != 0) state.SkipWithError("EncodeData failed");
    }
    Tk().DoneCrypto(c);
    Label(state);
}

void BM_DirectEncrypt(benchmark::State& state) {
    const Identity& id = Id(state.range(1) != 0);
    auto data = Data(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(DirectEncrypt(id, data));
    Label(state);
}

void BM_ToolkitDecrypt(benchmark::State& state) {
    const Identity& id = Id(state.range(1) != 0);
    mpro::Context c = OpenContext(id);
    auto env = DirectEncrypt(id, Data(static_cast<std::size_t>(state.range(0))));
    std::vector<unsigned char> buf(env.size());
    std::string who(4096, '\0');
    for (auto _ : state) {
        std::memcpy(buf.data(), env.data(), env.size());
        std::int32_t len = static_cast<std::int32_t>(env.size());
        if (Tk().DecodeData(c, buf.data(), &len, who.data()) != 0) state.SkipWithError("DecodeData failed");
    }
    Tk().DoneCrypto(c);
    Label(state);
}

void BM_DirectDecrypt(benchmark::State& state) {
    const Identity& id = Id(state.range(1) != 0);
    auto env = DirectEncrypt(id, Data(static_cast<std::size_t>(state.range(0))));
    for (auto _ : state) {
        const unsigned char* p = env.data();
        CMS_ContentInfo* cms = d2i_CMS_ContentInfo(nullptr, &p, static_cast<long>(env.size()));
        BIO* out = BIO_new(BIO_s_mem());
        if (CMS_decrypt(cms, id.pkey, id.x509, nullptr, out, CMS_BINARY | CMS_DEBUG_DECRYPT) != 1) state.SkipWithError("decrypt");
        BIO_free(out);
        CMS_ContentInfo_free(cms);
    }
    Label(state);
}

void BM_ToolkitSign(benchmark::State& state) {
    const Identity& id = Id(state.range(1) != 0);
    mpro::Context c = OpenContext(id);
    auto data = Data(static_cast<std::size_t>(state.range(0)));
    std::vector<unsigned char> sig(4224);
    for (auto _ : state) {
        std::int32_t len = 4224;
        if (Tk().SignData(c, data.data(), static_cast<std::int32_t>(data.size()), sig.data(), &len, "") != 0)
            state.SkipWithError("SignData failed");
    }
    Tk().DoneCrypto(c);
    Label(state);
}

void BM_DirectSign(benchmark::State& state) {
    const Identity& id = Id(state.range(1) != 0);
    auto data = Data(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(DirectSign(id, data));
    Label(state);
}

void BM_ToolkitVerify(benchmark::State& state) {
    const Identity& id = Id(state.range(1) != 0);
    mpro::Context c = OpenContext(id);
    auto data = Data(static_cast<std::size_t>(state.range(0)));
    auto sig = DirectSign(id, data);
    std::string who(4096, '\0');
    for (auto _ : state) {
        std::int32_t len = static_cast<std::int32_t>(data.size());
        if (Tk().VerifyData(c, data.data(), &len, sig.data(), static_cast<std::int32_t>(sig.size()), who.data()) != 0)
            state.SkipWithError("VerifyData failed");
    }
    Tk().DoneCrypto(c);
    Label(state);
}

void BM_DirectVerify(benchmark::State& state) {
    const Identity& id = Id(state.range(1) != 0);
    auto data = Data(static_cast<std::size_t>(state.range(0)));
    auto sig = DirectSign(id, data);
    for (auto _ : state) {
        const unsigned char* p = sig.data();
        CMS_ContentInfo* cms = d2i_CMS_ContentInfo(nullptr, &p, static_cast<long>(sig.size()));
        BIO* in = BIO_new_mem_buf(data.data(), static_cast<int>(data.size()));
        if (CMS_verify(cms, nullptr, id.store, in, nullptr, CMS_BINARY) != 1) state.SkipWithError("verify");
        BIO_free(in);
        CMS_ContentInfo_free(cms);
    }
    Label(state);
}

// A 1 KiB signature on a context opened for the call (lifetime 0) against a reused one.
void BM_ToolkitSignFreshContext(benchmark::State& state) {
    const Identity& id = Id(state.range(1) != 0);
    auto data = Data(static_cast<std::size_t>(state.range(0)));
    std::vector<unsigned char> sig(4224);
    for (auto _ : state) {
        mpro::Context c = OpenContext(id);
        std::int32_t len = 4224;
        if (Tk().SignData(c, data.data(), static_cast<std::int32_t>(data.size()), sig.data(), &len, "") != 0)
            state.SkipWithError("SignData failed");
        Tk().DoneCrypto(c);
    }
    Label(state);
}

void BM_OpenContextOnly(benchmark::State& state) {
    const Identity& id = Id(state.range(1) != 0);
    for (auto _ : state) Tk().DoneCrypto(OpenContext(id));
    Label(state);
}

void Sizes(benchmark::internal::Benchmark* b) {
    for (int gost : {1, 0})
        for (int size : {1024, 1 << 20}) b->Args({size, gost});
    b->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_ToolkitEncrypt)->Apply(Sizes);
BENCHMARK(BM_DirectEncrypt)->Apply(Sizes);
BENCHMARK(BM_ToolkitDecrypt)->Apply(Sizes);
BENCHMARK(BM_DirectDecrypt)->Apply(Sizes);
BENCHMARK(BM_ToolkitSign)->Apply(Sizes);
BENCHMARK(BM_DirectSign)->Apply(Sizes);
BENCHMARK(BM_ToolkitVerify)->Apply(Sizes);
BENCHMARK(BM_DirectVerify)->Apply(Sizes);
BENCHMARK(BM_ToolkitSignFreshContext)->Args({1024, 1})->Args({1024, 0})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OpenContextOnly)->Args({1024, 1})->Args({1024, 0})->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
