// The operating-system services of the vorlan host: loading a module, the standard streams,
// running a program. The host links nothing of the library, so it has its own small layer.
#pragma once

#include <string>
#include <vector>

namespace vorlan::host {

// Module: a shared library loaded for the life of the object (dlopen / LoadLibraryA).
class Module {
public:
    // Module: loads the file at path; Loaded() tells whether that worked, Error() why not.
    explicit Module(const std::string& path);
    ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    bool Loaded() const { return handle_ != nullptr; }
    const std::string& Error() const { return error_; }
    // Symbol: the address of an exported name, null when the module has none.
    void* Symbol(const char* name) const;

private:
    void* handle_ = nullptr;
    std::string error_;
};

// LoadedModule: a module the process has loaded already, found by its file name
// ("mplugf.so"): its full path ("" when none is loaded) and the address of a symbol in it.
struct LoadedModule {
    std::string path;
    void* symbol = nullptr;
};
LoadedModule FindLoadedModule(const std::string& fileName, const char* symbol);

// MakePrivateDirectory: one directory level, new, for the owner alone (0700 whatever the
// umask); "" when made or already a directory, else why it could not be made.
std::string MakePrivateDirectory(const std::string& path);

// ExecutablePath: the full path of the running program.
std::string ExecutablePath();
// ExecutableSuffix: ".exe" on Windows, "" elsewhere.
const char* ExecutableSuffix();
// StderrIsTerminal / StdoutIsTerminal: whether the stream goes to a terminal (not a pipe or file).
bool StderrIsTerminal();
bool StdoutIsTerminal();
// UseBinaryStdio: standard input and output carry bytes unchanged (no CR LF translation).
void UseBinaryStdio();

// ProgramRun: what a finished program left: its exit code (-1 when it could not be started)
// and its standard output; its standard error goes to ours.
struct ProgramRun {
    int exitCode = -1;
    std::string output;
};
// RunProgram: runs program (a path, or a name looked up along PATH) with the arguments and
// waits for it; nothing goes through a shell.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments);

}  // namespace vorlan::host
