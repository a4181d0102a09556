// What a toolkit context costs: opening and closing one (InitCrypto, every parameter,
// KeysRenewal), and a 1 KiB signature and encryption on a context opened for the call next to
// the same on a context reused, in the installation of the engine benchmark (files dated
// back, as an installation's files are).
#include <benchmark/benchmark.h>

#include <cstring>

#include "installation.h"

namespace {

using bench::Algorithm;
using bench::Tk;

enum class Use { Reused, OpenedPerCall, OpenOnly };

void Measure(benchmark::State& state, Algorithm algorithm, bool encrypt, Use use, std::string label) {
    bench::Installation& inst = bench::Of(algorithm);
    const std::vector<unsigned char> data = bench::Data(1024);
    std::vector<unsigned char> buffer(data.size() + 16384);
    mpro::Context reused = use == Use::Reused ? inst.Context("USER01") : 0;
    const auto once = [&](mpro::Context c) {
        auto length = static_cast<std::int32_t>(buffer.size());
        if (!encrypt) return Tk().SignData(c, data.data(), static_cast<std::int32_t>(data.size()), buffer.data(), &length, "") == 0;
        std::memcpy(buffer.data(), data.data(), data.size());
        length = static_cast<std::int32_t>(data.size());
        return Tk().EncodeData(c, buffer.data(), &length, inst.subject02.c_str()) == 0;
    };
    for (auto _ : state) {
        const mpro::Context c = reused != 0 ? reused : inst.Context("USER01");
        if (use != Use::OpenOnly && !once(c)) state.SkipWithError("the operation failed");
        if (c != reused) Tk().DoneCrypto(c);
    }
    if (reused != 0) Tk().DoneCrypto(reused);
    state.SetLabel(label);
}

void RegisterAll() {
    for (Algorithm a : bench::Algorithms()) {
        const std::string algo = a == Algorithm::Gost ? "GOST" : "RSA";
        for (bool encrypt : {false, true}) {
            const std::string base = std::string("toolkit ") + (encrypt ? "encrypt " : "sign ") + algo + " 1KiB, context ";
            benchmark::RegisterBenchmark((base + "reused").c_str(), Measure, a, encrypt, Use::Reused, "=")
                ->Unit(benchmark::kMicrosecond);
            benchmark::RegisterBenchmark((base + "opened per call").c_str(), Measure, a, encrypt, Use::OpenedPerCall,
                                         "~" + base + "reused")
                ->Unit(benchmark::kMicrosecond);
        }
        benchmark::RegisterBenchmark(("toolkit context opened and closed " + algo).c_str(), Measure, a, false,
                                     Use::OpenOnly, "~toolkit sign " + algo + " 1KiB, context reused")
            ->Unit(benchmark::kMicrosecond);
    }
}

}  // namespace

int main(int argc, char** argv) { return bench::Main(argc, argv, RegisterAll); }
