// vorlan-keygen DIRECTORY [gost|rsa]: makes a new key container in a directory and prints its
// identity. A container already there is kept unless --force moves it aside first: it holds
// the only keys that sign and decrypt for its user. Run by hosts during key renewal.
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include <CLI/CLI.hpp>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <string>

#include "algorithms.h"
#include "errors.h"
#include "file_io.h"
#include "file_system.h"
#include "help_pages.h"
#include "pse_container.h"

namespace {

namespace fs = std::filesystem;

const char* const kDescription =
    "vorlan-keygen: makes a new key container (PSE) in DIRECTORY: a private key, the storage key that protects it, "
    "the public key and a record. Prints the container's identity (alone on standard output): the SHA-256 of its "
    "public key in hexadecimal, which changes with every new container. A container already in DIRECTORY is kept (exit code 1) unless --force "
    "is given, which first moves it to DIRECTORY/previous-DATE. Exit codes: 0 made, 1 failed, 2 usage.";

// Native: a UTF-8 path as the file system takes it (on Windows not the narrow code page).
fs::path Native(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

// Aside: a new name beside the old container's files, from the current time (UTC).
std::string Aside(const std::string& dir) {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
#if defined(_WIN32)
    gmtime_s(&tm, &now);
#else
    gmtime_r(&now, &tm);
#endif
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "previous-%Y%m%d-%H%M%S", &tm);
    std::string aside = vtk::JoinPath(dir, stamp);
    for (int n = 2; fs::exists(Native(aside)); ++n) aside = vtk::JoinPath(dir, std::string(stamp) + "-" + std::to_string(n));
    return aside;
}

bool StderrIsTerminal() {
#if defined(_WIN32)
    return _isatty(_fileno(stderr)) != 0;
#else
    return ::isatty(STDERR_FILENO) == 1;
#endif
}

// MakeOwnDirectory: a missing directory made for the owner alone, whatever the umask.
void MakeOwnDirectory(const std::string& dir) {
    std::error_code error;
    if (fs::is_directory(Native(dir), error)) return;
    if (!fs::create_directories(Native(dir), error) && !fs::is_directory(Native(dir)))
        throw vtk::Failure(vtk::kErrFile, "Cannot create " + dir + ": " + error.message());
    fs::permissions(Native(dir), fs::perms::owner_all, error);
}

int Make(const std::string& directory, const std::string& kind, bool force) {
    const std::string dir = vtk::ResolvePath(directory);
    if (vtk::HasContainerFiles(dir)) {
        std::string identity = "a key container";
        try {
            identity = "the key container " + vtk::ContainerIdentity(dir);
        } catch (const vtk::Failure&) {
        }
        if (!force) {
            std::cerr << "vorlan-keygen: " << vtk::os::HostText(directory) << " holds " << identity
                      << ": its keys sign and decrypt for their user, and what was encrypted for them cannot be "
                         "read without them. Nothing was changed; --force moves it aside and makes a new one.\n";
            return 1;
        }
        const std::string aside = Aside(dir);
        MakeOwnDirectory(aside);
        vtk::SetContainerAside(dir, aside);
        if (StderrIsTerminal()) std::cerr << "vorlan-keygen: moved " << identity << " to " << vtk::os::HostText(aside) << "\n";
    }
    vtk::EnsureCryptoReady();
    MakeOwnDirectory(dir);
    const bool gost = kind == "gost";
    const std::string id = vtk::CreateContainer(dir, gost ? vtk::KeyKind::Gost2012_256 : vtk::KeyKind::Rsa, vtk::kMinRsaBits);
    std::cout << id << "\n";
    // What the number is, for a person at a terminal; a program reads the identity alone.
    if (StderrIsTerminal())
        std::cerr << "vorlan-keygen: a new " << (gost ? "GOST R 34.10-2012" : "RSA " + std::to_string(vtk::kMinRsaBits) + "-bit")
                  << " key container in " << vtk::os::HostText(directory) << "; its identity, the SHA-256 of its public key, is " << id << "\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app(kDescription, "vorlan-keygen");
    std::string directory, kind = "gost";
    bool force = false;
    app.allow_windows_style_options(false);  // "/path" is a directory, also on Windows (and under Wine)
    app.add_option("directory", directory, "where the key container is made (created when missing)")->required();
    app.add_option("kind", kind, "gost (GOST R 34.10-2012, the default) or rsa (RSA, 2048 bits)")
        ->check(CLI::IsMember({"gost", "rsa"}));
    app.add_flag("--force", force, "move a container that is there aside to DIRECTORY/previous-DATE first");
    app.set_version_flag("--version", "vorlan-keygen " VORLAN_VERSION);
    vorlan::cli::AddHelpExports(app, VORLAN_VERSION,
                                {{"EXAMPLES", "vorlan-keygen ~/alice/keys gost\n\nvorlan-keygen --force ~/alice/backup rsa"},
                                 {"SEE ALSO", "vorlan(1)"}});
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }
    try {
        return Make(vtk::os::Utf8Text(directory), kind, force);  // the host's text, as the plug-in takes it
    } catch (const vtk::Failure& f) {
        const char* text = vtk::ErrorText(f.code());
        std::cerr << "vorlan-keygen: " << (text != nullptr ? text : "failed") << ": " << vtk::os::HostText(f.what())
                  << " (code " << f.code() << ")\n";
    } catch (const std::exception& e) {
        std::cerr << "vorlan-keygen: " << vtk::os::HostText(e.what()) << "\n";
    }
    return 1;
}
