#include "data_files.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <system_error>

#include "failure.h"

namespace vorlan::cli {

namespace {

namespace fs = std::filesystem;

std::string TooLong(const std::string& name, std::size_t limit) {
    return name + ": longer than " + std::to_string(limit) + " bytes, more than the library takes in one call";
}

// ReadStream: up to limit bytes and one more, so that a longer input is told apart.
std::string ReadStream(std::FILE* in, const std::string& name, std::size_t limit) {
    std::string data;
    char chunk[64 * 1024];
    for (;;) {
        const std::size_t n = std::fread(chunk, 1, sizeof chunk, in);
        data.append(chunk, n);
        if (data.size() > limit) throw Failure(TooLong(name, limit));
        if (n < sizeof chunk) break;
    }
    if (std::ferror(in)) throw Failure("cannot read " + name);
    return data;
}

}  // namespace

std::string ReadInput(const std::string& name, std::size_t limit) {
    if (name == "-") return ReadStream(stdin, "standard input", limit);
    std::error_code error;
    if (fs::is_directory(name, error)) throw Failure("cannot read " + name + ": it is a directory");
    // Read as a stream: a pipe or a device has no size to ask for beforehand.
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(name.c_str(), "rb"), &std::fclose);
    if (!in) throw Failure("cannot read " + name + ": " + std::generic_category().message(errno));
    return ReadStream(in.get(), name, limit);
}

void WriteOutput(const std::string& name, std::string_view data) {
    if (name == "-") {
        if (std::fwrite(data.data(), 1, data.size(), stdout) != data.size() || std::fflush(stdout) != 0)
            throw Failure("cannot write to standard output");
        return;
    }
    const fs::path target(name);
    // The new content goes beside the target first, and takes its name in one rename.
    const fs::path staged = target.parent_path() / (target.filename().string() + ".part" + std::to_string(std::random_device{}() % 100000));
    {
        std::ofstream out(staged, std::ios::binary | std::ios::trunc);
        if (!out || !out.write(data.data(), static_cast<std::streamsize>(data.size())) || !out.flush()) {
            out.close();
            std::error_code ignored;
            fs::remove(staged, ignored);
            throw Failure("cannot write " + name);
        }
    }
    std::error_code error;
    fs::rename(staged, target, error);
    if (error) {
        std::error_code ignored;
        fs::remove(staged, ignored);
        throw Failure("cannot write " + name + ": " + error.message());
    }
}

std::string ExistingFile(const std::string& name) {
    std::error_code error;
    if (!fs::is_regular_file(name, error)) throw Failure("cannot read " + name + ": no such file");
    return fs::absolute(name).string();
}

std::string ReadTransfer(const std::string& name, std::size_t maxLength) {
    // Line ends and blanks around the text are allowed, nothing more.
    std::string text = ReadInput(name, maxLength + 64);
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) throw Failure(name + ": empty, not a transfer");
    text = text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
    if (text.size() > maxLength) throw Failure(name + ": longer than a transfer can be (" + std::to_string(maxLength) + ")");
    if (text.find('\0') != std::string::npos) throw Failure(name + ": holds a zero byte, not a transfer");
    return text;
}

std::string ReportLines(const std::string& report) {
    std::string lines;
    for (char c : report)
        if (c != '\r') lines += c;
    if (!lines.empty() && lines.back() == '\n') lines.pop_back();
    return lines;
}

}  // namespace vorlan::cli
