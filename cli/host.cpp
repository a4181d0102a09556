#include "host.h"

#include <cstdio>
#include <cstdlib>

#include "host_system.h"

namespace vorlan::cli {

Console::Console(bool verbose) : progress_(verbose || host::StderrIsTerminal()) {}

void Console::Progress(const std::string& text) const {
    if (progress_) std::fprintf(stderr, "vorlan: %s\n", text.c_str());
}

void Console::Value(const std::string& text) const {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
}

Host::Host(GlobalOptions options) : options_(std::move(options)), console_(options_.verbose) {}

const Library& Host::Lib() {
    if (!library_) library_ = std::make_unique<Library>(DefaultLibraryPath());
    return *library_;
}

bool Host::HasRoot() const {
    const char* variable = std::getenv(kRootVariable);
    return !options_.root.empty() || (variable != nullptr && *variable != '\0');
}

}  // namespace vorlan::cli
