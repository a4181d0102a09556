// Options: what "vorlan demo" was asked to do, read from its command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vorlan::cli {

enum class DemoAlgorithm { Gost, Rsa };

struct Options {
    std::string libraryDirectory;               // empty: the host's own directory
    std::vector<DemoAlgorithm> algorithms;      // in the order they run
    bool keep = false;                          // leave the installation root in place
};

// ParseOptions: the options after "demo" (--gost, --rsa, --both, --keep, [--lib] DIR);
// GOST alone when no algorithm is named; nullopt with the reason in error for bad input.
std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error);

// AlgorithmName: "GOST" or "RSA".
const char* AlgorithmName(DemoAlgorithm algorithm);

}  // namespace vorlan::cli
