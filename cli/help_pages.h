// Manual pages and bash completion made from a program's CLI11 command tree, so that they
// say what --help says; vorlan and vorlan-keygen print them when built (hidden flags).
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <utility>
#include <vector>

namespace vorlan::cli {

// ManSection: a section of a manual page after the options and commands: heading, text
// (paragraphs separated by an empty line).
using ManSection = std::pair<std::string, std::string>;

// ManPage: the roff text of the section-1 page of app: name, synopsis, description, options,
// every command with its own, then the sections given.
std::string ManPage(const CLI::App& app, const std::string& version, const std::vector<ManSection>& sections);
// BashCompletion: a bash completion script offering the commands and options of app (and
// file names elsewhere).
std::string BashCompletion(const CLI::App& app);
// AddHelpExports: the hidden flags --man-page and --bash-completion, which print them and
// end the parse with success (CLI::Success).
void AddHelpExports(CLI::App& app, const std::string& version, const std::vector<ManSection>& sections);

}  // namespace vorlan::cli
