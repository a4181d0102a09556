#include "export_api.h"

namespace vorlan::cli {

std::string ExportApi::Resolve(const host::Module& module) {
#define VORLAN_CLI_RESOLVE(name)                                      \
    name = reinterpret_cast<decltype(&::name)>(module.Symbol(#name)); \
    if (name == nullptr) return #name;
    VORLAN_CLI_EXPORTS(VORLAN_CLI_RESOLVE)
#undef VORLAN_CLI_RESOLVE
    return {};
}

}  // namespace vorlan::cli
