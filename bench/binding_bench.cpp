// Cost of a toolkit call through the binding: the cache hit path (lookup + call) against
// the open path (InitCrypto, every parameter, KeysRenewal), on the fake toolkit with
// trivial functions. One process measures one serialisation mode:
//   VORLAN_FAKE_VARIANT=complete  plug-in version 1.0.0.0, calls serialised (default)
//   VORLAN_FAKE_VARIANT=v1001     plug-in version 1.0.0.1, reentrant
#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>

#include "binding/binding_state.h"
#include "binding/context_cache.h"
#include "binding/mpro_dll.h"
#include "fake_toolkit/fake_script.h"
#include "support/zel_root.h"

namespace {

using namespace vorlan;

constexpr std::int32_t kVariant = 2;  // "mplug2.dll": only the fake provides it

std::string Mode() {
    auto variant = platform::GetEnv("VORLAN_FAKE_VARIANT");
    return variant && !variant->empty() ? *variant : std::string("complete");
}

std::atomic<long> g_tick{0};

// The process-wide binding on the fake's root; the cache clock advances one second per
// read, so a vector with lifetime 0 never finds its context again.
TMProDLL& Binding() {
    static TMProDLL* binding = [] {
        BindingModuleLoad();
        ZELRootModuleLoad();
        std::string dir = platform::HostExecutablePath();
        dir = dir.substr(0, dir.find_last_of("\\/"));
        SetZELRoot(dir + "\\fake\\" + Mode() + "\\");
        auto created = std::make_unique<TMProDLL>(kVariant);
        if (!created->Complete) throw std::runtime_error("fake toolkit mplug2 not found");
        auto logging = reinterpret_cast<fake::FnSetLogging>(
            platform::ModuleSymbol(PluginModule(kVariant), "FakeScript_SetLogging"));
        logging(0);
        return created.release();
    }();
    return *binding;
}

ParamVector Vector(int thread, const char* lifetime) {
    ParamVector v(26, "value");
    v[0] = "C:\\KEYS\\THREAD" + std::to_string(thread) + "\\";
    v[21] = lifetime;
    return v;
}

// SetLabel: the comparison (mark, see results_table) and the serialisation mode.
void SetLabel(benchmark::State& state, const std::string& mark) {
    state.SetLabel(mark + " | " + Mode() + (PluginReentrant() ? ", reentrant" : ", serialised"));
}

void BM_CacheHit(benchmark::State& state) {
    TMProDLL& binding = Binding();
    if (state.thread_index() == 0) SetCacheClockForTests([] { return 45000.0; });
    const ParamVector v = Vector(state.thread_index(), "3600");
    std::int32_t length = 0;
    for (auto _ : state) benchmark::DoNotOptimize(binding.EncodeData(v, nullptr, &length, "A"));
    SetLabel(state, "=");
}
BENCHMARK(BM_CacheHit)->Threads(1)->Threads(2)->UseRealTime();

void BM_OpenPath(benchmark::State& state) {
    TMProDLL& binding = Binding();
    if (state.thread_index() == 0)
        SetCacheClockForTests([] { return 45000.0 + static_cast<double>(++g_tick) * kDaysPerSecond; });
    const ParamVector v = Vector(state.thread_index(), "0");
    std::int32_t length = 0;
    for (auto _ : state) benchmark::DoNotOptimize(binding.EncodeData(v, nullptr, &length, "A"));
    SetLabel(state, "~BM_CacheHit/real_time/threads:" + std::to_string(state.threads()));
}
BENCHMARK(BM_OpenPath)->Threads(1)->Threads(2)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
