// exchange_timing [rounds]: the time of one GOST EncodeData (one recipient) and one
// detached SignData of 1 KiB through the library's exports, with context lifetime 0 and 60,
// as the median over rounds of 20 calls each. The library and the toolkit are taken
// from the program's own directory.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "timing_installation.h"

namespace {

using vorlan::timing::Engine;

constexpr int kCallsPerRound = 20;

// MedianMicroseconds: the median over rounds of the mean time of one call; -1 when a call failed.
double MedianMicroseconds(int rounds, const std::function<bool()>& call) {
    if (!call()) return -1;  // warm-up: caches filled, engine contexts opened
    std::vector<double> perCall;
    for (int r = 0; r < rounds; ++r) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kCallsPerRound; ++i)
            if (!call()) return -1;
        const std::chrono::duration<double, std::micro> spent = std::chrono::steady_clock::now() - start;
        perCall.push_back(spent.count() / kCallsPerRound);
    }
    std::sort(perCall.begin(), perCall.end());
    return perCall[perCall.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const std::string self = vorlan::platform::HostExecutablePath();
    vorlan::timing::TempRoot root;
    vorlan::timing::TimingInstallation installation(root.Path());
    if (!installation.Build()) return 1;

    const std::string plain(1024, 'p');
    std::printf("GOST, 1 KiB, median of %d rounds of %d calls (%s)\n", rounds, kCallsPerRound, self.c_str());
    for (const char* lifetime : {"0", "60"}) {
        Engine engine = installation.Open("USER01");
        if (!engine || SetCryptoParamValue(engine.get(), 22, lifetime) != 0) return 1;
        std::vector<unsigned char> buffer(plain.size() + 4096);
        const double encode = MedianMicroseconds(rounds, [&] {
            std::copy(plain.begin(), plain.end(), buffer.begin());
            auto size = static_cast<std::int32_t>(plain.size());
            return EncodeData(engine.get(), buffer.data(), &size, "USER02") == 0;
        });
        std::vector<unsigned char> signature(static_cast<std::size_t>(GetMaxSignatureLength(engine.get())));
        const double sign = MedianMicroseconds(rounds, [&] {
            auto length = static_cast<std::int32_t>(signature.size());
            return SignData(engine.get(), reinterpret_cast<const unsigned char*>(plain.data()),
                                static_cast<std::int32_t>(plain.size()), signature.data(), &length, nullptr) == 0;
        });
        std::printf("  context lifetime %-2s  EncodeData %9.1f us   SignData %9.1f us\n", lifetime, encode, sign);
        if (encode < 0 || sign < 0) return 1;
    }
    return 0;
}
