#include "export_api.h"

#include <algorithm>

namespace vorlan::cli {

bool ExportApi::Resolve(const Library& library, std::vector<std::string>& missing) {
    missing.clear();
#define VORLAN_CLI_RESOLVE(name)                                     \
    name = library.Get<decltype(&::name)>(#name);                    \
    if (name == nullptr) missing.emplace_back(#name);
    VORLAN_CLI_EXPORTS(VORLAN_CLI_RESOLVE)
#undef VORLAN_CLI_RESOLVE
    return missing.empty();
}

std::string ExportApi::ErrorText(VORLAN_HANDLE engine, std::int32_t code) const {
    // The size query may fail for a broken engine: a generous floor keeps the copy in bounds.
    const std::int32_t length = std::max(GetMaxErrorStringLength(engine), 0);
    std::vector<char> text(static_cast<std::size_t>(length) + 1024, '\0');
    GetCryptoErrorString(engine, code, text.data());
    text.back() = '\0';
    return text.data();
}

}  // namespace vorlan::cli
