// The PSE engine on the fake toolkit for fuzz targets: the fake plug-in is built as mplug2
// beside the targets (a name the project's own toolkit never uses) and accepts every
// signature, so transfers reach the code after the signature check.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>

#include "binding/mpro_dll.h"
#include "platform/platform.h"
#include "pse/mpro_win_engine.h"
#include "pse/pse_lock.h"
#include "support/zel_root.h"

namespace vorlan::fuzz {

class FakeEngine {
public:
    // Get: the process's engine, made on first use; aborts when the fake cannot be loaded.
    static TMProWinCryptoEngine& Get() {
        static FakeEngine made;
        return made.engine_;
    }
    // SetResult: a scripted result of a fake toolkit function.
    static void SetResult(const char* function, std::int32_t result) { Script<void (*)(const char*, std::int32_t)>("FakeScript_SetResult")(function, result); }

private:
    struct Modules {
        Modules() {
            ZELRootModuleLoad();
            BindingModuleLoad();
            PSEModuleLoad();
        }
    };
    FakeEngine() {
        engine_.PluginVariant = 2;
        TMProDLL* api = nullptr;
        if (engine_.GetCryptoAPI(api) != 0 || api == nullptr) std::abort();
        // The call log would grow with every input.
        Script<void (*)(std::int32_t)>("FakeScript_SetLogging")(0);
    }
    template <class Fn>
    static Fn Script(const char* name) {
        const std::string exe = platform::HostExecutablePath();
        static const platform::ModuleHandle module =
            platform::LoadModule(exe.substr(0, exe.find_last_of("\\/") + 1) + "mplug2.dll");
        auto* symbol = platform::ModuleSymbol(module, name);
        if (symbol == nullptr) std::abort();
        return reinterpret_cast<Fn>(symbol);
    }
    Modules modules_;
    TMProWinCryptoEngine engine_;
};

}  // namespace vorlan::fuzz
