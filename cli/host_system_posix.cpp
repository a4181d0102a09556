#include <dlfcn.h>
#include <link.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "host_system.h"

extern char** environ;

namespace vorlan::host {

namespace {

// Fd: a file descriptor closed with the object.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { Close(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

// SpawnActions: posix_spawn file actions, destroyed with the object.
struct SpawnActions {
    posix_spawn_file_actions_t actions;
    SpawnActions() { posix_spawn_file_actions_init(&actions); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
};

}  // namespace

Module::Module(const std::string& path) {
    handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (handle_ == nullptr) {
        const char* why = ::dlerror();
        error_ = why != nullptr ? why : "cannot be loaded";
    }
}

Module::~Module() {
    if (handle_ != nullptr) ::dlclose(handle_);
}

void* Module::Symbol(const char* name) const { return handle_ != nullptr ? ::dlsym(handle_, name) : nullptr; }

LoadedModule FindLoadedModule(const std::string& fileName, const char* symbol) {
    struct Search {
        const std::string& name;
        std::string path;
    } search{fileName, {}};
    ::dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* data) {
            auto* s = static_cast<Search*>(data);
            const std::string path = info->dlpi_name != nullptr ? info->dlpi_name : "";
            if (path.size() <= s->name.size() || path.compare(path.size() - s->name.size(), s->name.size(), s->name) != 0 ||
                path[path.size() - s->name.size() - 1] != '/')
                return 0;
            s->path = path;
            return 1;
        },
        &search);
    LoadedModule module{search.path, nullptr};
    if (module.path.empty()) return module;
    // A reference of our own for the look-up only: the module stays loaded by its owner.
    if (void* handle = ::dlopen(module.path.c_str(), RTLD_NOW | RTLD_NOLOAD)) {
        module.symbol = ::dlsym(handle, symbol);
        ::dlclose(handle);
    }
    return module;
}

std::string MakePrivateDirectory(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0) {
        const int why = errno;
        struct stat st;
        if (why == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return {};
        return std::strerror(why);
    }
    return ::chmod(path.c_str(), 0700) == 0 ? std::string() : std::strerror(errno);
}

std::string ExecutablePath() {
    char buffer[PATH_MAX + 1] = {};
    const ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

const char* ExecutableSuffix() { return ""; }
bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }
bool StdoutIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }
void UseBinaryStdio() {}

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments) {
    ProgramRun run;
    int ends[2];
    if (::pipe(ends) != 0) return run;
    Fd readEnd(ends[0]), writeEnd(ends[1]);
    SpawnActions spawn;
    posix_spawn_file_actions_adddup2(&spawn.actions, writeEnd.get(), STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&spawn.actions, readEnd.get());
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    const int started = program.find('/') != std::string::npos
                            ? ::posix_spawn(&child, program.c_str(), &spawn.actions, nullptr, argv.data(), environ)
                            : ::posix_spawnp(&child, program.c_str(), &spawn.actions, nullptr, argv.data(), environ);
    writeEnd.Close();
    if (started != 0) return run;
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(readEnd.get(), chunk, sizeof chunk);
        if (n > 0) {
            run.output.append(chunk, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0)
        if (errno != EINTR) return run;
    // A program that cannot be executed at all exits with 127 from the spawned child.
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    return run;
}

}  // namespace vorlan::host
