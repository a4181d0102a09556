// The Windows test host: loads vorlan13.dll with LoadLibraryA from its own directory,
// resolves every export by ordinal and by name, and calls each through a pointer of its
// declared __stdcall type, checking the stack and the documented results.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "exports/export_probe.h"
#include "host_checks.h"
#include "plugin_order.h"

using host::Check;
using vorlan::probe::ExportRow;
using vorlan::probe::kExportCount;
using vorlan::probe::kExports;

namespace {

constexpr int kGetCryptObj = 1;
constexpr int kGetMaxFilePathLength = 47;
constexpr std::int64_t kMaxFilePathLength = 255;

std::string HostDirectory() {
    char buffer[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    std::string path(buffer, length);
    return path.substr(0, path.find_last_of("\\/") + 1);
}

std::string EnvPath() {
    const DWORD needed = GetEnvironmentVariableA("Path", nullptr, 0);
    if (needed == 0) return {};
    std::string value(needed, '\0');
    value.resize(GetEnvironmentVariableA("Path", value.data(), needed));
    return value;
}

template <typename Fn>
Fn Resolve(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

std::string Row(const ExportRow& row) { return std::to_string(row.ordinal) + " " + row.name; }

void CheckOrdinalsAndNames(HMODULE module, std::vector<void*>& addresses) {
    host::Section("each name at its ordinal");
    Check(kExportCount == 75, "the table has 75 rows");
    for (const ExportRow& row : kExports) {
        void* byOrdinal = reinterpret_cast<void*>(GetProcAddress(module, MAKEINTRESOURCEA(row.ordinal)));
        void* byName = reinterpret_cast<void*>(GetProcAddress(module, row.name));
        Check(byOrdinal != nullptr, Row(row) + ": resolved by ordinal");
        Check(byName != nullptr, Row(row) + ": resolved by name");
        Check(byOrdinal == byName, Row(row) + ": the name sits at its ordinal");
        addresses.push_back(byName);
    }
    Check(GetProcAddress(module, MAKEINTRESOURCEA(kExportCount + 1)) == nullptr, "no export past ordinal 75");
    Check(GetProcAddress(module, "GetCryptObj@4") == nullptr, "no decorated names exported");
}

// Every export but GetCryptObj with a null or dead handle gives its error result.
void CheckErrorResults(const std::vector<void*>& addresses, VORLAN_HANDLE handle, const char* what, int rounds) {
    host::Section(std::string("error results with ") + what);
    for (int round = 0; round < rounds; ++round) {
        for (const ExportRow& row : kExports) {
            void* address = addresses[row.ordinal - 1];
            if (row.ordinal == kGetCryptObj || !address) continue;
            const vorlan::probe::ProbeResult r = row.call(address, handle);
            if (!Check(r.stack_balanced, Row(row) + ": the stack pointer is unchanged after the call")) return;
            Check(r.returned_value == row.has_result, Row(row) + ": result presence matches its declaration");
            const std::int64_t expected = row.ordinal == kGetMaxFilePathLength ? kMaxFilePathLength : row.on_error;
            if (r.returned_value && !Check(r.value == expected, Row(row) + ": returns " + std::to_string(expected) +
                                                                   ", got " + std::to_string(r.value)))
                return;
        }
    }
}

void CheckEngines(HMODULE module, const std::vector<void*>& addresses) {
    host::Section("engines");
    auto getCryptObj = Resolve<decltype(&GetCryptObj)>(module, "GetCryptObj");
    auto doneEngine = Resolve<decltype(&DoneEngine)>(module, "DoneEngine");
    auto isDifferentKeys = Resolve<decltype(&IsDifferentKeys)>(module, "IsDifferentKeys");
    auto hashData = Resolve<decltype(&HashData)>(module, "HashData");
    auto signFile = Resolve<decltype(&SignFile)>(module, "SignFile");
    auto maxPath = Resolve<decltype(&GetMaxFilePathLength)>(module, "GetMaxFilePathLength");

    VORLAN_HANDLE first = getCryptObj(0);
    VORLAN_HANDLE second = getCryptObj(12345);
    Check(first != nullptr && second != nullptr, "GetCryptObj gives handles");
    Check(first != second, "two calls give two engines");
    Check(isDifferentKeys(first) == 0, "IsDifferentKeys is 0 on a new engine");
    Check(hashData(first, 1, 2, 3, 4, 5) == -1, "HashData answers -1 whatever its arguments");
    Check(signFile(second, 7) == -1, "SignFile answers -1");
    Check(maxPath(first) == 255, "GetMaxFilePathLength on a live engine");
    doneEngine(first);
    doneEngine(second);
    doneEngine(nullptr);
    Check(isDifferentKeys(first) == -1, "a destroyed handle gives the error result");
    CheckErrorResults(addresses, first, "a destroyed handle", 1);
}

void CheckRootPath(HMODULE module) {
    host::Section("SetRootPath and Path");
    auto getCryptObj = Resolve<decltype(&GetCryptObj)>(module, "GetCryptObj");
    auto doneEngine = Resolve<decltype(&DoneEngine)>(module, "DoneEngine");
    auto setRootPath = Resolve<decltype(&SetRootPath)>(module, "SetRootPath");

    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string root = std::string(temp) + "vorlan_host_root_" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(root.c_str(), nullptr);
    const std::string before = EnvPath();

    VORLAN_HANDLE engine = getCryptObj(0);
    setRootPath(engine, root.c_str());
    const std::string extended = root + "\\USER\\;" + root + "\\SYSTEM\\;" + root + "\\EXE\\";
    const std::string expected = before.empty() ? extended : extended + ";" + before;
    Check(EnvPath() == expected, "Path starts with USER, SYSTEM, EXE under the root: " + EnvPath());
    setRootPath(engine, (root + "\\").c_str());
    Check(EnvPath() == expected, "the same root again leaves Path as it was");
    setRootPath(engine, (root + "_other").c_str());
    Check(EnvPath() == expected, "a different root is refused and Path stays");
    setRootPath(nullptr, nullptr);
    doneEngine(engine);
    RemoveDirectoryA(root.c_str());
}

}  // namespace

// windows_host [test plug-in, relative to the host's directory]
// windows_host --plugin-order <root> <expected directory> <library directory>   (the child of the order check)
int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "--plugin-order")
        return host::RunPluginOrderChild(argv[4], argv[2], argv[3]);

    const std::string path = HostDirectory() + "vorlan13.dll";
    host::Section("load " + path);
    HMODULE module = LoadLibraryA(path.c_str());
    if (!Check(module != nullptr, "LoadLibraryA(vorlan13.dll)")) return 1;

    std::vector<void*> addresses;
    CheckOrdinalsAndNames(module, addresses);
    CheckErrorResults(addresses, nullptr, "a null handle", 100);
    CheckEngines(module, addresses);
    CheckRootPath(module);
    if (argc == 2) host::CheckPluginSearchOrder(HostDirectory(), HostDirectory() + argv[1]);

    FreeLibrary(module);
    std::printf("%s: %d failed check(s)\n", host::Failures() == 0 ? "PASSED" : "FAILED", host::Failures());
    return host::Failures() == 0 ? 0 : 1;
}
