#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "host_system.h"
#include "platform/wide_text.h"

namespace vorlan::host {

namespace {

// Handle: a kernel handle closed with the object.
class Handle {
public:
    Handle() = default;
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE* out() { return &h_; }
    HANDLE get() const { return h_; }
    void Close() {
        if (h_ != nullptr && h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
        h_ = nullptr;
    }

private:
    HANDLE h_ = nullptr;
};

// Names in the ANSI code page (the host's texts) reach the wide API: the files Windows shows.
using wide::Narrow;
using wide::Wide;

// Quoted: one argument of a command line, quoted so that the C runtime reads it back unchanged.
std::string Quoted(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, '\\');
    return out + "\"";
}

}  // namespace

Module::Module(const std::string& path) {
    handle_ = reinterpret_cast<void*>(LoadLibraryW(Wide(path).c_str()));
    if (handle_ == nullptr) error_ = "LoadLibraryW failed with error " + std::to_string(GetLastError());
}

Module::~Module() {
    if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
}

void* Module::Symbol(const char* name) const {
    return handle_ != nullptr ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name)) : nullptr;
}

LoadedModule FindLoadedModule(const std::string& fileName, const char* symbol) {
    LoadedModule module;
    HMODULE handle = GetModuleHandleA(fileName.c_str());
    if (handle == nullptr) return module;
    char buffer[MAX_PATH + 1] = {};
    module.path.assign(buffer, GetModuleFileNameA(handle, buffer, MAX_PATH));
    module.symbol = reinterpret_cast<void*>(GetProcAddress(handle, symbol));
    return module;
}

std::string MakePrivateDirectory(const std::string& path) {
    if (CreateDirectoryA(path.c_str(), nullptr)) return {};
    const DWORD why = GetLastError();
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (why == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return {};
    return "error " + std::to_string(why);
}

std::string ExecutablePath() {
    wchar_t buffer[MAX_PATH + 1] = {};
    const DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    return Narrow(std::wstring(buffer, n));
}

const char* ExecutableSuffix() { return ".exe"; }
bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }
bool StdoutIsTerminal() { return _isatty(_fileno(stdout)) != 0; }

void UseBinaryStdio() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
}

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments) {
    ProgramRun run;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    Handle readEnd, writeEnd;
    if (!CreatePipe(readEnd.out(), writeEnd.out(), &inherit, 0)) return run;
    SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::string line = Quoted(program);
    for (const std::string& argument : arguments) line += " " + Quoted(argument);
    std::wstring wideLine = Wide(line);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, wideLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        return run;
    Handle processHandle, threadHandle;
    *processHandle.out() = process.hProcess;
    *threadHandle.out() = process.hThread;
    writeEnd.Close();
    char chunk[4096];
    DWORD n = 0;
    while (ReadFile(readEnd.get(), chunk, sizeof chunk, &n, nullptr) && n > 0) run.output.append(chunk, n);
    WaitForSingleObject(processHandle.get(), INFINITE);
    DWORD code = 0;
    if (GetExitCodeProcess(processHandle.get(), &code)) run.exitCode = static_cast<int>(code);
    return run;
}

}  // namespace vorlan::host
