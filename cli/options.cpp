#include "options.h"

#include <algorithm>

namespace vorlan::cli {

namespace {

void Add(std::vector<DemoAlgorithm>& list, DemoAlgorithm algorithm) {
    if (std::find(list.begin(), list.end(), algorithm) == list.end()) list.push_back(algorithm);
}

}  // namespace

std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error) {
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--gost") {
            Add(options.algorithms, DemoAlgorithm::Gost);
        } else if (arg == "--rsa") {
            Add(options.algorithms, DemoAlgorithm::Rsa);
        } else if (arg == "--both") {
            Add(options.algorithms, DemoAlgorithm::Gost);
            Add(options.algorithms, DemoAlgorithm::Rsa);
        } else if (arg == "--keep") {
            options.keep = true;
        } else if (arg == "--lib" || (!arg.empty() && arg[0] != '-')) {
            if (!options.libraryDirectory.empty()) {
                error = "more than one library directory";
                return std::nullopt;
            }
            if (arg == "--lib" && ++i == args.size()) {
                error = "--lib needs a directory";
                return std::nullopt;
            }
            options.libraryDirectory = args[i];
            if (options.libraryDirectory.empty()) {
                error = "empty library directory";
                return std::nullopt;
            }
        } else {
            error = "unknown option: " + arg;
            return std::nullopt;
        }
    }
    if (options.algorithms.empty()) options.algorithms.push_back(DemoAlgorithm::Gost);
    return options;
}

const char* AlgorithmName(DemoAlgorithm algorithm) { return algorithm == DemoAlgorithm::Gost ? "GOST" : "RSA"; }

}  // namespace vorlan::cli
