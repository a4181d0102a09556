// Cost of the export boundary: the live-handle lookup and catch-all around one engine
// operation, next to the same operation called on the engine directly.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "factory/engine_factory.h"
#include "platform/platform.h"
#include "vorlan13.h"

namespace {

// The built library, loaded as a host loads it (beside this program or in VORLAN_BIN_DIR).
class Library {
public:
    Library() {
        const char* dir = std::getenv("VORLAN_BIN_DIR");
        std::string path = dir ? std::string(dir) : vorlan::platform::HostExecutablePath();
        if (!dir) path = path.substr(0, path.find_last_of('/'));
        module_ = vorlan::platform::LoadModule(path + "/libvorlan13.so");
    }
    ~Library() {
        if (module_) vorlan::platform::FreeModule(module_);
    }
    template <typename Fn>
    Fn Get(const char* name) const {
        return module_ ? reinterpret_cast<Fn>(vorlan::platform::ModuleSymbol(module_, name)) : nullptr;
    }

private:
    vorlan::platform::ModuleHandle module_ = nullptr;
};

const Library& TheLibrary() {
    static const Library library;
    return library;
}

// One operation that stays inside the engine (the base's answer): the boundary's cost shows.
void BM_DirectIsDifferentKeys(benchmark::State& state) {
    std::unique_ptr<vorlan::TCryptoEngine> engine = vorlan::CreateCryptObj();
    vorlan::TCryptoEngine* volatile target = engine.get();
    for (auto _ : state) benchmark::DoNotOptimize(target->IsDifferentKeys());
    state.SetLabel("=");
}
BENCHMARK(BM_DirectIsDifferentKeys);

void BM_ExportIsDifferentKeys(benchmark::State& state) {
    auto getCryptObj = TheLibrary().Get<decltype(&GetCryptObj)>("GetCryptObj");
    auto doneEngine = TheLibrary().Get<decltype(&DoneEngine)>("DoneEngine");
    auto isDifferentKeys = TheLibrary().Get<decltype(&IsDifferentKeys)>("IsDifferentKeys");
    if (!getCryptObj) {
        state.SkipWithError("libvorlan13.so not found");
        return;
    }
    VORLAN_HANDLE engine = getCryptObj(0);
    for (auto _ : state) benchmark::DoNotOptimize(isDifferentKeys(engine));
    doneEngine(engine);
    state.SetLabel("~BM_DirectIsDifferentKeys");
}
BENCHMARK(BM_ExportIsDifferentKeys);
BENCHMARK(BM_ExportIsDifferentKeys)->Threads(2);

// A handle that is not live: the lookup alone.
void BM_ExportUnknownHandle(benchmark::State& state) {
    auto isDifferentKeys = TheLibrary().Get<decltype(&IsDifferentKeys)>("IsDifferentKeys");
    if (!isDifferentKeys) {
        state.SkipWithError("libvorlan13.so not found");
        return;
    }
    int notAnEngine = 0;
    for (auto _ : state) benchmark::DoNotOptimize(isDifferentKeys(reinterpret_cast<VORLAN_HANDLE>(&notAnEngine)));
}
BENCHMARK(BM_ExportUnknownHandle);

// Creating and destroying an engine through the exports.
void BM_ExportCreateAndDestroy(benchmark::State& state) {
    auto getCryptObj = TheLibrary().Get<decltype(&GetCryptObj)>("GetCryptObj");
    auto doneEngine = TheLibrary().Get<decltype(&DoneEngine)>("DoneEngine");
    if (!getCryptObj) {
        state.SkipWithError("libvorlan13.so not found");
        return;
    }
    for (auto _ : state) doneEngine(getCryptObj(0));
}
BENCHMARK(BM_ExportCreateAndDestroy);

}  // namespace

BENCHMARK_MAIN();
