#include "demo.h"

#include <cstdio>
#include <string>
#include <vector>

#include "exports/export_probe.h"

namespace vorlan::cli {
namespace {

constexpr int kGetCryptObj = 1;
constexpr int kGetMaxFilePathLength = 47;

// ExportsAnswering: calls every export with a null handle; counts those that gave their
// documented result.
int ExportsAnswering(const Library& library, int& resolved) {
    int answered = 0;
    resolved = 0;
    for (const probe::ExportRow& row : probe::kExports) {
        void* address = library.Address(row.ordinal);
        if (!address) {
            std::printf("  missing export: %s\n", row.name);
            continue;
        }
        ++resolved;
        if (row.ordinal == kGetCryptObj) {
            ++answered;  // creating an engine is shown below
            continue;
        }
        const probe::ProbeResult r = row.call(address, nullptr);
        const std::int64_t expected = row.ordinal == kGetMaxFilePathLength ? 255 : row.on_error;
        if (r.returned_value == row.has_result && (!r.returned_value || r.value == expected))
            ++answered;
        else
            std::printf("  %s answered %lld\n", row.name, static_cast<long long>(r.value));
    }
    return answered;
}

std::string Text(std::vector<char>& buffer) { return std::string(buffer.data()); }

void ShowEngine(const Library& library, VORLAN_HANDLE engine) {
    auto number = library.Get<decltype(&GetCryptoParamNumber)>("GetCryptoParamNumber");
    auto nameLength = library.Get<decltype(&GetMaxCryptoParamNameLength)>("GetMaxCryptoParamNameLength");
    auto valueLength = library.Get<decltype(&GetMaxCryptoParamValueLength)>("GetMaxCryptoParamValueLength");
    auto name = library.Get<decltype(&GetCryptoParamName)>("GetCryptoParamName");
    auto value = library.Get<decltype(&GetCryptoParamValue)>("GetCryptoParamValue");
    auto errorLength = library.Get<decltype(&GetMaxErrorStringLength)>("GetMaxErrorStringLength");
    auto errorText = library.Get<decltype(&GetCryptoErrorString)>("GetCryptoErrorString");

    const std::int32_t count = number(engine);
    if (count < 0) {
        std::vector<char> text(static_cast<std::size_t>(std::max(errorLength(engine), 0)) + 256, '\0');
        errorText(engine, count, text.data());
        std::printf("parameters: none (%d: %s)\n", count, Text(text).c_str());
        return;
    }
    std::printf("parameters: %d\n", count);
    std::vector<char> nameBuffer(static_cast<std::size_t>(std::max(nameLength(engine), 0)) + 1, '\0');
    std::vector<char> valueBuffer(static_cast<std::size_t>(std::max(valueLength(engine), 0)) + 1, '\0');
    for (std::int32_t i = 1; i <= count; ++i) {
        nameBuffer.assign(nameBuffer.size(), '\0');
        valueBuffer.assign(valueBuffer.size(), '\0');
        name(engine, i, nameBuffer.data());
        value(engine, i, valueBuffer.data());
        std::printf("  %2d %-32s %s\n", i, Text(nameBuffer).c_str(), Text(valueBuffer).c_str());
    }
}

void ShowSizes(const Library& library, VORLAN_HANDLE engine) {
    static const char* const kQueries[] = {"GetMaxEncodeAddition", "GetMaxSignatureLength", "GetMaxUIDLength",
                                           "GetMaxErrorStringLength", "GetMaxPasswordLength", "GetMaxSignAddition",
                                           "GetMaxPublicKeyTransferSize", "GetMaxReportSize", "GetRemoteGenType",
                                           "GetMaxFilePathLength"};
    std::printf("size queries:\n");
    for (const char* query : kQueries) {
        auto fn = library.Get<decltype(&GetMaxUIDLength)>(query);
        std::printf("  %-30s %d\n", query, fn ? fn(engine) : -1);
    }
}

}  // namespace

int RunDemo(const Library& library, const std::string& root) {
    int resolved = 0;
    const int answered = ExportsAnswering(library, resolved);
    std::printf("exports: %d of %d resolved, %d answered a null handle as documented\n", resolved,
                probe::kExportCount, answered);
    if (resolved != probe::kExportCount) return 1;

    auto getCryptObj = library.Get<decltype(&GetCryptObj)>("GetCryptObj");
    auto doneEngine = library.Get<decltype(&DoneEngine)>("DoneEngine");
    auto setRootPath = library.Get<decltype(&SetRootPath)>("SetRootPath");
    auto isDifferentKeys = library.Get<decltype(&IsDifferentKeys)>("IsDifferentKeys");

    VORLAN_HANDLE engine = getCryptObj(0);
    if (!engine) {
        std::printf("engine: GetCryptObj gave no engine\n");
        return 1;
    }
    std::printf("engine: created\n");
    if (!root.empty()) {
        setRootPath(engine, root.c_str());
        std::printf("installation root: %s\n", root.c_str());
    }
    ShowEngine(library, engine);
    ShowSizes(library, engine);
    std::printf("IsDifferentKeys: %d\n", isDifferentKeys(engine));
    doneEngine(engine);
    return answered == probe::kExportCount ? 0 : 1;
}

}  // namespace vorlan::cli
