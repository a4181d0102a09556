// Cost of store changes: a replacing rename with and without a fault plan in force, and
// filing a certificate over a current one (backup copy, staged copy, one rename).
#include <benchmark/benchmark.h>

#include "engine/store_filing.h"
#include "platform/fault_injection.h"
#include "platform/platform.h"
#include "unit/platform/test_dirs.h"

namespace {

using vorlan::testing::NativeFile;
using vorlan::testing::ScratchDir;
namespace platform = vorlan::platform;

void RenameBackAndForth(benchmark::State& state, const ScratchDir& dir) {
    NativeFile(dir.path(), "a.pem", std::string(2048, 'c'));
    const std::string a = dir / "a.pem", b = dir / "b.pem";
    for (auto _ : state) {
        benchmark::DoNotOptimize(platform::RenameReplacing(a, b));
        benchmark::DoNotOptimize(platform::RenameReplacing(b, a));
    }
}

void BM_RenameReplacing(benchmark::State& state) {
    ScratchDir dir;
    RenameBackAndForth(state, dir);
}
BENCHMARK(BM_RenameReplacing);

void BM_RenameReplacingCounted(benchmark::State& state) {
    ScratchDir dir;
    platform::ScopedFaultPlan plan({});
    RenameBackAndForth(state, dir);
}
BENCHMARK(BM_RenameReplacingCounted);

void BM_FileCertificate(benchmark::State& state) {
    ScratchDir dir;
    const std::string certs = dir / "certs\\";
    NativeFile(dir.path(), "certs/USER01.pem", std::string(2048, 'o'));
    for (auto _ : state) {
        state.PauseTiming();
        NativeFile(dir.path(), "new.pem", std::string(2048, 'n'));
        platform::DeleteFile(certs + "USER01.001");
        state.ResumeTiming();
        benchmark::DoNotOptimize(vorlan::FileCertificate_locked(certs, "USER01", dir / "new.pem", true));
    }
}
BENCHMARK(BM_FileCertificate);

}  // namespace

BENCHMARK_MAIN();
