// Installation: a root directory with its settings file; every command's engine is opened
// from it: the root set, the parameters of the settings applied, the remote generation
// directory given. Relative paths of file and directory parameters are taken from the root.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "engine.h"
#include "library.h"
#include "settings.h"

namespace vorlan::cli {

// kRootVariable: the environment variable that names the root when --root is not given.
inline constexpr const char* kRootVariable = "VORLAN_ROOT";

// ParamKind: GetParamInfo's kind and hint of a parameter.
struct ParamKind {
    std::int32_t kind = 0;
    std::string hint;
    // PathLike: a parameter that names a file (10) or a directory (11).
    bool PathLike() const { return kind == 10 || kind == 11; }
};
// KindOf: the kind and hint of parameter index; throws Failure with the library's code.
ParamKind KindOf(const Engine& engine, int index);
// ParamIndex: the number of a parameter given by number or by name (any case); 0 when the
// engine has no such parameter.
int ParamIndex(const Engine& engine, const std::string& key);
// IsHostKey: true for the host's own settings (not engine parameters).
bool IsHostKey(const std::string& key);
// CheckParamValue: throws UsageError for a value the parameter's kind and hint do not allow
// (a number outside its range, a text too long, a choice not offered); "" is the default.
void CheckParamValue(const Engine& engine, int index, const std::string& value);
// SetParam: sets parameter index in the settings, once CheckParamValue allows the value: the
// entry that names it (by number or by name) changes, or an entry under the parameter's name
// is added.
void SetParam(Settings& settings, const Engine& engine, int index, const std::string& value);

class Installation {
public:
    // RootFrom: the root of --root, else of $VORLAN_ROOT; throws UsageError when neither is given.
    static std::filesystem::path RootFrom(const std::string& option);

    // Installation: the root and its settings; throws Failure when the settings file is missing
    // or damaged (the message says to run "vorlan init").
    Installation(const Library& library, std::filesystem::path root);
    // Installation: the root with the settings given (init, before the file exists).
    Installation(const Library& library, std::filesystem::path root, Settings settings);

    const std::filesystem::path& Root() const { return root_; }
    Settings& Config() { return settings_; }
    const Settings& Config() const { return settings_; }
    // Open: an engine set up from the settings; throws Failure for a setting the library refuses.
    std::unique_ptr<Engine> Open() const;
    // Resolved: a path setting as the library gets it (relative paths taken from the root).
    std::string Resolved(const std::string& value) const;
    // Save: writes the settings file (replaced in one rename).
    void Save() const;

private:
    const Library& library_;
    std::filesystem::path root_;
    Settings settings_;
};

}  // namespace vorlan::cli
