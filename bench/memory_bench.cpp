// Peak memory of encryption and decryption at 1 MiB and 16 MiB, as a multiple of the data:
// the library through its exports (lifetime 60, its context open) next to OpenSSL CMS called
// directly. Every allocation of the process is counted here (malloc and its kin are
// replaced); the caller's buffers are allocated before counting starts.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "installation.h"

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* block);
}

namespace {

std::atomic<std::int64_t> g_live{0}, g_peak{0};

void Raise(std::int64_t live) {
    std::int64_t peak = g_peak.load(std::memory_order_relaxed);
    while (live > peak && !g_peak.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
    }
}

void* Counted(void* block) {
    if (block != nullptr) Raise(g_live.fetch_add(static_cast<std::int64_t>(malloc_usable_size(block))) +
                                static_cast<std::int64_t>(malloc_usable_size(block)));
    return block;
}

}  // namespace

extern "C" void* malloc(std::size_t size) noexcept { return Counted(__libc_malloc(size)); }
extern "C" void* calloc(std::size_t count, std::size_t size) noexcept { return Counted(__libc_calloc(count, size)); }
extern "C" void* memalign(std::size_t alignment, std::size_t size) noexcept { return Counted(__libc_memalign(alignment, size)); }
extern "C" void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept { return memalign(alignment, size); }
extern "C" int posix_memalign(void** out, std::size_t alignment, std::size_t size) noexcept {
    *out = memalign(alignment, size);
    return *out != nullptr || size == 0 ? 0 : ENOMEM;
}
extern "C" void free(void* block) noexcept {
    if (block != nullptr) g_live.fetch_sub(static_cast<std::int64_t>(malloc_usable_size(block)));
    __libc_free(block);
}
// realloc: a block that moves exists twice for a moment, and is counted so.
extern "C" void* realloc(void* block, std::size_t size) noexcept {
    const auto before = static_cast<std::int64_t>(block != nullptr ? malloc_usable_size(block) : 0);
    void* moved = __libc_realloc(block, size);
    if (moved == nullptr) {
        if (size == 0) g_live.fetch_sub(before);
        return moved;
    }
    const auto after = static_cast<std::int64_t>(malloc_usable_size(moved));
    if (moved != block) Raise(g_live.load() + after);
    Raise(g_live.fetch_add(after - before) + after - before);
    return moved;
}

namespace {

using bench::Algorithm;

void Peak(benchmark::State& state, Algorithm algorithm, bool decrypt, bool library, std::size_t size, std::string label) {
    bench::Installation& inst = bench::Of(algorithm);
    const std::vector<unsigned char> data = bench::Data(size);
    const std::vector<unsigned char> envelope = bench::Encrypt(inst.cipher, inst.user02.cert.get(), data.data(), size);
    std::vector<unsigned char> buffer(size + 16384);
    const VORLAN_HANDLE engine = library ? inst.Engine(decrypt ? "USER02" : "USER01", "60") : nullptr;
    // run: the operation on input already in the buffer; plain is the size of the plain text.
    const auto run = [&](const std::vector<unsigned char>& input, std::size_t plain) {
        auto length = static_cast<std::int32_t>(input.size());
        char who[1024];
        if (!library)
            return decrypt ? bench::Decrypt(inst.user02, input) == plain
                           : !bench::Encrypt(inst.cipher, inst.user02.cert.get(), input.data(), input.size()).empty();
        return (decrypt ? bench::Lib().DecodeData(engine, buffer.data(), &length, who)
                        : bench::Lib().EncodeData(engine, buffer.data(), &length, "USER02")) == 0;
    };
    // The context, the parse cache and the trust store are made before counting starts.
    const std::vector<unsigned char> warm = decrypt ? bench::Encrypt(inst.cipher, inst.user02.cert.get(), data.data(), 1024)
                                                    : std::vector<unsigned char>(data.begin(), data.begin() + 1024);
    std::memcpy(buffer.data(), warm.data(), warm.size());
    if (!run(warm, 1024)) state.SkipWithError("the operation failed");
    const std::vector<unsigned char>& input = decrypt ? envelope : data;
    double multiple = 0;
    for (auto _ : state) {
        std::memcpy(buffer.data(), input.data(), input.size());
        const std::int64_t base = g_live.load();
        g_peak.store(base);
        if (!run(input, size)) state.SkipWithError("the operation failed");
        multiple = static_cast<double>(g_peak.load() - base) / static_cast<double>(size);
    }
    if (engine != nullptr) bench::Lib().DoneEngine(engine);
    state.counters["peak_x"] = multiple;
    state.SetLabel(label);
}

void RegisterAll() {
    for (Algorithm a : bench::Algorithms())
        for (bool decrypt : {false, true})
            for (std::size_t size : {std::size_t{1} << 20, std::size_t{16} << 20}) {
                const std::string base = std::string("peak memory ") + (decrypt ? "decrypt " : "encrypt ") +
                                         (a == Algorithm::Gost ? "GOST " : "RSA ") + std::to_string(size >> 20) + "MiB ";
                for (bool library : {false, true})
                    benchmark::RegisterBenchmark((base + (library ? "library" : "openssl")).c_str(), Peak, a, decrypt,
                                                 library, size, library ? "~" + base + "openssl/iterations:1" : "=")
                        ->Iterations(1)
                        ->Unit(benchmark::kMillisecond);
            }
}

}  // namespace

int main(int argc, char** argv) { return bench::Main(argc, argv, RegisterAll); }
