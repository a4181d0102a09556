#include "parameters_view.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace vorlan::cli {

bool ShowParameters(const ExportApi& api, VORLAN_HANDLE engine, StepLog& log) {
    const std::int32_t count = api.GetCryptoParamNumber(engine);
    if (count < 0) return log.Step("GetCryptoParamNumber", count, api.ErrorText(engine, count), false);
    log.Step("GetCryptoParamNumber: " + std::to_string(count) + " parameters", 0, "", true);
    // One spare byte beyond the library's own sizes, so that a cut text still ends.
    std::vector<char> name(static_cast<std::size_t>(std::max(api.GetMaxCryptoParamNameLength(engine), 0)) + 1);
    std::vector<char> value(static_cast<std::size_t>(std::max(api.GetMaxCryptoParamValueLength(engine), 0)) + 1);
    std::string empty;
    for (std::int32_t i = 1; i <= count; ++i) {
        std::fill(name.begin(), name.end(), '\0');
        std::fill(value.begin(), value.end(), '\0');
        api.GetCryptoParamName(engine, i, name.data());
        api.GetCryptoParamValue(engine, i, value.data());
        name.back() = value.back() = '\0';
        if (value[0] == '\0')
            empty += (empty.empty() ? "" : " ") + std::to_string(i);
        else
        {
            char label[64];
            std::snprintf(label, sizeof label, "%2d %-22.40s", i, name.data());
            log.Note(label + std::string(" ") + value.data());
        }
    }
    if (!empty.empty()) log.Note("empty: " + empty);
    return true;
}

}  // namespace vorlan::cli
