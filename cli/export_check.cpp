#include "export_check.h"

#include "exports/export_probe.h"

namespace vorlan::cli {

namespace {

constexpr int kGetCryptObj = 1;
constexpr int kGetMaxFilePathLength = 47;

}  // namespace

bool CheckExports(const Library& library, StepLog& log) {
    int resolved = 0, answered = 0;
    std::string odd;
    for (const probe::ExportRow& row : probe::kExports) {
        void* address = library.Address(row.ordinal);
        if (!address) {
            odd += std::string(odd.empty() ? "" : ", ") + row.name + " missing";
            continue;
        }
        ++resolved;
        if (row.ordinal == kGetCryptObj) {
            ++answered;  // creating engines is what the rest of the demonstration does
            continue;
        }
        const probe::ProbeResult r = row.call(address, nullptr);
        const std::int64_t expected = row.ordinal == kGetMaxFilePathLength ? 255 : row.on_error;
        if (r.returned_value == row.has_result && (!r.returned_value || r.value == expected))
            ++answered;
        else
            odd += std::string(odd.empty() ? "" : ", ") + row.name + " answered " + std::to_string(r.value);
    }
    const bool passed = resolved == probe::kExportCount && answered == probe::kExportCount;
    return log.Step("exports: " + std::to_string(resolved) + " of " + std::to_string(probe::kExportCount) +
                        " resolved, " + std::to_string(answered) + " answered a null handle as documented",
                    passed ? 0 : -1, odd, passed);
}

}  // namespace vorlan::cli
