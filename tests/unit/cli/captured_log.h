// A temporary file that a step log writes into, and what was written to it.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace vorlan::cli {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using CapturedFile = std::unique_ptr<std::FILE, FileCloser>;

// Written: what a log wrote into its file.
inline std::string Written(std::FILE* file) {
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
    return text;
}

}  // namespace vorlan::cli
