// Host: what every command of vorlan works with: the global options, the library (loaded on
// first use), the installation chosen by --root or the environment, and the console.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "installation.h"
#include "library.h"

namespace vorlan::cli {

struct GlobalOptions {
    std::string root;     // --root; empty: $VORLAN_ROOT
    bool verbose = false;  // say what is done also when standard error is no terminal
};

// Console: values go to standard output; what is being done goes to standard error, and
// only when it is a terminal (or with --verbose), so that piped output stays quiet.
class Console {
public:
    explicit Console(bool verbose);
    // Progress: one line "vorlan: text" on standard error when that is wanted.
    void Progress(const std::string& text) const;
    // Value: one line of a command's answer on standard output.
    void Value(const std::string& text) const;

private:
    bool progress_;
};

class Host {
public:
    explicit Host(GlobalOptions options);
    // Lib: the library, loaded on first use; throws Failure when it cannot be.
    const Library& Lib();
    // Root: the installation root of the options; throws UsageError when none is given.
    std::filesystem::path Root() const { return Installation::RootFrom(options_.root); }
    // HasRoot: whether --root or the environment names a root.
    bool HasRoot() const;
    // Install: the installation with its settings; throws as Installation does.
    Installation Install() { return Installation(Lib(), Root()); }
    // Open: an engine of the installation.
    std::unique_ptr<Engine> Open() { return Install().Open(); }
    const Console& Out() const { return console_; }

private:
    GlobalOptions options_;
    Console console_;
    std::unique_ptr<Library> library_;
};

}  // namespace vorlan::cli
