// vorlan: loads the vorlan13 library and calls its exports.
//   vorlan demo [library directory] [installation root]
#include <cstdio>
#include <string>

#include "demo.h"
#include "library.h"
#include "platform/platform.h"

namespace {

std::string HostDirectory() {
    const std::string self = vorlan::platform::HostExecutablePath();
    return self.substr(0, self.find_last_of("/\\") + 1);
}

int Usage() {
    std::fprintf(stderr, "usage: vorlan demo [library directory] [installation root]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::string(argv[1]) != "demo") return Usage();
    std::string directory = argc > 2 ? argv[2] : HostDirectory();
    if (!directory.empty() && directory.back() != '/') directory += '/';
    const std::string root = argc > 3 ? argv[3] : std::string();

    const std::string path = directory + "libvorlan13.so";
    vorlan::cli::Library library(path);
    if (!library.Loaded()) {
        std::fprintf(stderr, "vorlan: cannot load %s\n", path.c_str());
        return 1;
    }
    std::printf("library: %s\n", path.c_str());
    return vorlan::cli::RunDemo(library, root);
}
