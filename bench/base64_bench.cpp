// Base64 throughput against OpenSSL's EVP_EncodeBlock / EVP_DecodeBlock on 8 KiB and 1 MiB.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <random>
#include <string>
#include <vector>

#include "binding/base64.h"

namespace {

std::string RandomBytes(std::size_t size) {
    std::mt19937 random(11);
    std::string data(size, '\0');
    for (auto& c : data) c = static_cast<char>(random());
    return data;
}

void BM_Base64Encode(benchmark::State& state) {
    const std::string data = RandomBytes(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(vorlan::Base64Encode(data.data(), static_cast<std::int32_t>(data.size())));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Base64Encode)->Arg(8 << 10)->Arg(1 << 20);

void BM_OpenSSLEncodeBlock(benchmark::State& state) {
    const std::string data = RandomBytes(static_cast<std::size_t>(state.range(0)));
    std::vector<unsigned char> out(data.size() / 3 * 4 + 8);
    for (auto _ : state)
        benchmark::DoNotOptimize(EVP_EncodeBlock(out.data(), reinterpret_cast<const unsigned char*>(data.data()),
                                                 static_cast<int>(data.size())));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_OpenSSLEncodeBlock)->Arg(8 << 10)->Arg(1 << 20);

void BM_Base64Decode(benchmark::State& state) {
    const std::string data = RandomBytes(static_cast<std::size_t>(state.range(0)));
    const std::string text = vorlan::Base64Encode(data.data(), static_cast<std::int32_t>(data.size()));
    for (auto _ : state) benchmark::DoNotOptimize(vorlan::Base64Decode(text.data(), static_cast<std::int32_t>(text.size())));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Base64Decode)->Arg(8 << 10)->Arg(1 << 20);

void BM_OpenSSLDecodeBlock(benchmark::State& state) {
    const std::string data = RandomBytes(static_cast<std::size_t>(state.range(0)));
    const std::string text = vorlan::Base64Encode(data.data(), static_cast<std::int32_t>(data.size()));
    std::vector<unsigned char> out(text.size() / 4 * 3 + 8);
    for (auto _ : state)
        benchmark::DoNotOptimize(EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(text.data()),
                                                 static_cast<int>(text.size())));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_OpenSSLDecodeBlock)->Arg(8 << 10)->Arg(1 << 20);

}  // namespace

BENCHMARK_MAIN();
