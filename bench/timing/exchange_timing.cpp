// exchange_timing [rounds]: the time of one GOST EncodeData (one recipient) and one
// detached SignData of 1 KiB through the library's exports, with context lifetime 0 and 60,
// as the median over rounds of 20 calls each. The library and the toolkit are taken
// from the program's own directory; the installation is the demonstration's.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "demo_installation.h"
#include "export_api.h"
#include "library.h"
#include "platform/platform.h"
#include "step_log.h"

namespace {

using vorlan::cli::Engine;

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
    const std::string library = self.substr(0, self.find_last_of("/\\") + 1) + vorlan::cli::LibraryFileName();
    vorlan::cli::Library lib(library);
    vorlan::cli::ExportApi api;
    std::vector<std::string> missing;
    if (!lib.Loaded() || !api.Resolve(lib, missing)) {
        std::fprintf(stderr, "exchange_timing: cannot use %s\n", library.c_str());
        return 1;
    }
    vorlan::cli::StepLog log(stderr);
    vorlan::cli::TempRoot root(false);
    vorlan::cli::DemoInstallation installation(api, root.Path(), vorlan::cli::DemoAlgorithm::Gost);
    if (!installation.WritePKI(log)) return 1;
    Engine filer = installation.Open("USER01", log);
    if (filer.get() == nullptr || !installation.FileCertificates(filer, log)) return 1;

    const std::string plain(1024, 'p');
    std::printf("GOST, 1 KiB, median of %d rounds of %d calls (%s)\n", rounds, kCallsPerRound, self.c_str());
    for (const char* lifetime : {"0", "60"}) {
        Engine engine = installation.Open("USER01", log);
        if (engine.get() == nullptr || api.SetCryptoParamValue(engine.get(), 22, lifetime) != 0) return 1;
        std::vector<unsigned char> buffer(plain.size() + 4096);
        const double encode = MedianMicroseconds(rounds, [&] {
            std::copy(plain.begin(), plain.end(), buffer.begin());
            auto size = static_cast<std::int32_t>(plain.size());
            return api.EncodeData(engine.get(), buffer.data(), &size, "USER02") == 0;
        });
        std::vector<unsigned char> signature(static_cast<std::size_t>(api.GetMaxSignatureLength(engine.get())));
        const double sign = MedianMicroseconds(rounds, [&] {
            auto length = static_cast<std::int32_t>(signature.size());
            return api.SignData(engine.get(), reinterpret_cast<const unsigned char*>(plain.data()),
                                static_cast<std::int32_t>(plain.size()), signature.data(), &length, nullptr) == 0;
        });
        std::printf("  context lifetime %-2s  EncodeData %9.1f us   SignData %9.1f us\n", lifetime, encode, sign);
        if (encode < 0 || sign < 0) return 1;
    }
    return 0;
}
