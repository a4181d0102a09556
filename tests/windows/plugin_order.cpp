#include "plugin_order.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "host_checks.h"
#include "vorlan13.h"

namespace host {
namespace {

const char* const kPlugin = "mplugf.dll";

template <typename Fn>
Fn Resolve(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

std::string EnvironmentPath() {
    char value[32768] = {};
    const DWORD n = GetEnvironmentVariableA("PATH", value, sizeof value);
    return n < sizeof value ? std::string(value, n) : std::string();
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return text;
}

void RemoveTree(const std::string& dir) {
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = entry.cFileName;
            if (name == "." || name == "..") continue;
            const std::string path = dir + "\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryA(dir.c_str());
}

// Where the plug-in lies in one case: beside the host, in which root directories, or only
// where it must not be taken from (the current directory, PATH); the library beside the host
// or in a directory of its own.
struct Placement {
    const char* what;
    bool besideHost;
    std::vector<const char*> rootDirs;  // of "EXE", "SYSTEM", "USER"
    const char* expected;               // "host", "library", "nowhere" or a root directory name
    const char* elsewhere = "";         // "cwd", "path" or "library": the plug-in there only
};

int RunChild(const std::string& exe, const std::string& root, const std::string& expected,
             const std::string& library, const char* directory) {
    std::string commandLine = "\"" + exe + "\" --plugin-order \"" + root + "\" \"" + expected + "\" \"" + library + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, directory, &startup,
                        &process))
        return -1;
    WaitForSingleObject(process.hProcess, 120000);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

}  // namespace

void CheckPluginSearchOrder(const std::string& hostDirectory, const std::string& plugin) {
    Section("plug-in search order");
    if (!Check(GetFileAttributesA(plugin.c_str()) != INVALID_FILE_ATTRIBUTES, "test plug-in present: " + plugin))
        return;
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string base = std::string(temp) + "vorlan_order_" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(base.c_str(), nullptr);

    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::vector<Placement> placements = {
        {"beside the host and in EXE, SYSTEM, USER", true, {"EXE", "SYSTEM", "USER"}, "host"},
        {"in EXE, SYSTEM and USER", false, {"EXE", "SYSTEM", "USER"}, "EXE"},
        {"in SYSTEM and USER", false, {"SYSTEM", "USER"}, "SYSTEM"},
        {"in USER only", false, {"USER"}, "USER"},
        {"in the current directory only: not loaded", false, {}, "nowhere", "cwd"},
        {"on PATH only: not loaded", false, {}, "nowhere", "path"},
        {"beside the library, not beside the host", false, {}, "library", "library"},
    };
    int index = 0;
    for (const Placement& p : placements) {
        const std::string dir = base + "\\case" + std::to_string(++index);
        const std::string root = dir + "\\root";
        CreateDirectoryA(dir.c_str(), nullptr);
        CreateDirectoryA(root.c_str(), nullptr);
        const std::string exe = dir + "\\windows_host.exe", other = dir + "\\other";
        const std::string elsewhere = p.elsewhere;
        const std::string library = elsewhere == "library" ? other : dir;
        CreateDirectoryA(other.c_str(), nullptr);
        bool ready = CopyFileA(self, exe.c_str(), FALSE) &&
                     CopyFileA((hostDirectory + "vorlan13.dll").c_str(), (library + "\\vorlan13.dll").c_str(), FALSE);
        if (p.besideHost) ready = ready && CopyFileA(plugin.c_str(), (dir + "\\" + kPlugin).c_str(), FALSE);
        if (!elsewhere.empty()) ready = ready && CopyFileA(plugin.c_str(), (other + "\\" + kPlugin).c_str(), FALSE);
        for (const char* sub : {"EXE", "SYSTEM", "USER"}) CreateDirectoryA((root + "\\" + sub).c_str(), nullptr);
        for (const char* sub : p.rootDirs)
            ready = ready && CopyFileA(plugin.c_str(), (root + "\\" + sub + "\\" + kPlugin).c_str(), FALSE);
        // A plug-in on PATH: the child inherits the variable.
        const std::string path = EnvironmentPath();
        if (elsewhere == "path") SetEnvironmentVariableA("PATH", (other + ";" + path).c_str());
        if (Check(ready, std::string("case set up: ") + p.what)) {
            const std::string where = p.expected;
            const std::string expected = where == "host" ? dir : where == "library" ? other : where == "nowhere" ? where : root + "\\" + where;
            Check(RunChild(exe, root, expected, library, elsewhere == "cwd" ? other.c_str() : nullptr) == 0,
                  std::string("plug-in taken from the right place: ") + p.what);
        }
        SetEnvironmentVariableA("PATH", path.c_str());
    }
    RemoveTree(base);
}

int RunPluginOrderChild(const std::string& libraryDirectory, const std::string& root,
                        const std::string& expectedDirectory) {
    HMODULE library = LoadLibraryA((libraryDirectory + "\\vorlan13.dll").c_str());
    if (!library) return 2;
    auto getCryptObj = Resolve<decltype(&GetCryptObj)>(library, "GetCryptObj");
    auto setRootPath = Resolve<decltype(&SetRootPath)>(library, "SetRootPath");
    auto getCryptoParamNumber = Resolve<decltype(&GetCryptoParamNumber)>(library, "GetCryptoParamNumber");
    auto doneEngine = Resolve<decltype(&DoneEngine)>(library, "DoneEngine");
    VORLAN_HANDLE engine = getCryptObj(0);
    setRootPath(engine, root.c_str());
    const int32_t parameters = getCryptoParamNumber(engine);  // loads the plug-in
    doneEngine(engine);

    HMODULE plugin = GetModuleHandleA(kPlugin);
    char path[MAX_PATH] = {};
    if (plugin) GetModuleFileNameA(plugin, path, MAX_PATH);
    std::string loaded = path;
    loaded = loaded.substr(0, loaded.find_last_of('\\'));
    const bool ok = expectedDirectory == "nowhere" ? !plugin && parameters <= 0 : plugin && Lower(loaded) == Lower(expectedDirectory);
    std::printf("  child: %d parameters, plug-in loaded from %s (expected %s)\n", parameters,
                plugin ? path : "nowhere", expectedDirectory.c_str());
    return ok ? 0 : 1;
}

}  // namespace host
