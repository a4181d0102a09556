// vorlan: loads the vorlan13 library and demonstrates it through its exports.
//   vorlan demo [--gost] [--rsa] [--both] [--keep] [[--lib] library directory]
#include <cstdio>
#include <string>
#include <vector>

#include "demo.h"
#include "library.h"
#include "options.h"
#include "platform/platform.h"

namespace {

std::string HostDirectory() {
    const std::string self = vorlan::platform::HostExecutablePath();
    return self.substr(0, self.find_last_of("/\\") + 1);
}

int Usage(const std::string& problem) {
    if (!problem.empty()) std::fprintf(stderr, "vorlan: %s\n", problem.c_str());
    std::fprintf(stderr,
                 "usage: vorlan demo [--gost] [--rsa] [--both] [--keep] [[--lib] library directory]\n"
                 "  --gost, --rsa, --both  algorithms of the test PKI (default: GOST)\n"
                 "  --keep                 leave the temporary installation root in place\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::string(argv[1]) != "demo") return Usage("");
    std::string problem;
    const auto options = vorlan::cli::ParseOptions(std::vector<std::string>(argv + 2, argv + argc), problem);
    if (!options) return Usage(problem);

    std::string directory = options->libraryDirectory.empty() ? HostDirectory() : options->libraryDirectory;
    if (!directory.empty() && !vorlan::platform::IsPathSeparator(directory.back())) directory += '/';
    const std::string path = directory + vorlan::cli::LibraryFileName();
    vorlan::cli::Library library(path);
    if (!library.Loaded()) {
        std::fprintf(stderr, "vorlan: cannot load %s\n", path.c_str());
        return 1;
    }
    std::printf("library: %s\n", path.c_str());
    return vorlan::cli::RunDemo(library, *options);
}
