// Cost of path resolution in the platform layer: an exactly spelled path against case
// variants and missing files, and a masked directory scan.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "platform/platform.h"
#include "unit/platform/test_dirs.h"

namespace {

using vorlan::testing::NativeFile;
using vorlan::testing::ScratchDir;

// Fixture: a small key-directory tree with 50 files.
struct Tree {
    Tree() {
        for (int i = 0; i < 50; ++i) NativeFile(dir.path(), "Keys/DB/crl" + std::to_string(i) + ".pem", "x");
    }
    ScratchDir dir;
};

Tree& SharedTree() {
    static Tree tree;
    return tree;
}

void BM_FileExistsExactSpelling(benchmark::State& state) {
    const std::string path = SharedTree().dir / "Keys\\DB\\crl7.pem";
    for (auto _ : state) benchmark::DoNotOptimize(vorlan::platform::FileExists(path));
}
BENCHMARK(BM_FileExistsExactSpelling);

void BM_FileExistsCaseVariant(benchmark::State& state) {
    const std::string path = SharedTree().dir / "KEYS\\db\\CRL7.PEM";
    for (auto _ : state) benchmark::DoNotOptimize(vorlan::platform::FileExists(path));
}
BENCHMARK(BM_FileExistsCaseVariant);

void BM_FileExistsMissing(benchmark::State& state) {
    const std::string path = SharedTree().dir / "Keys\\DB\\missing.pem";
    for (auto _ : state) benchmark::DoNotOptimize(vorlan::platform::FileExists(path));
}
BENCHMARK(BM_FileExistsMissing);

void BM_EnumerateMask(benchmark::State& state) {
    const std::string pattern = SharedTree().dir / "Keys\\DB\\crl*.pem";
    for (auto _ : state) benchmark::DoNotOptimize(vorlan::platform::Enumerate(pattern));
}
BENCHMARK(BM_EnumerateMask);

}  // namespace

BENCHMARK_MAIN();
