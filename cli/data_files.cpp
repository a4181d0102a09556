#include "data_files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <system_error>

#include "failure.h"
#include "file_system.h"
#include "host_system.h"

namespace vorlan::cli {

namespace {

namespace fs = std::filesystem;

// How many unique names a new file may try before the directory is deemed unusable.
constexpr int kNameAttempts = 32;

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

// LooksBinary: bytes a terminal would not show as text (control bytes other than line ends,
// tabs and form feeds).
bool LooksBinary(std::string_view data) {
    return std::any_of(data.begin(), data.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return (b < 0x20 && b != '\t' && b != '\n' && b != '\r' && b != '\f') || b == 0x7F;
    });
}

std::uint32_t NewFileBits(Contents contents) { return contents == Contents::Private ? 0600 : 0644; }

// CreateNew: a new file with exactly these permission bits; false when the name is taken
// (by anything, a link too), Failure naming shown when it cannot be made for another reason.
bool CreateNew(const std::string& path, std::string_view data, std::uint32_t bits, const std::string& shown) {
    if (vtk::os::WriteNewFile(path, data, bits)) return true;
    const int why = errno;
    std::error_code error;
    if (fs::symlink_status(path, error).type() == fs::file_type::not_found)
        throw Failure("cannot write " + shown + ": " + std::generic_category().message(why));
    return false;
}

// IsoDate: "31-01-25 12:00:00" (the reports' short form) as "2025-01-31 12:00:00"; other
// texts unchanged.
std::string IsoDate(const std::string& value) {
    static const std::string kForm = "dd-mm-yy hh:mm:ss";
    if (value.size() != kForm.size()) return value;
    for (std::size_t i = 0; i < kForm.size(); ++i)
        if ((kForm[i] >= 'a') != (value[i] >= '0' && value[i] <= '9') || (kForm[i] < 'a' && kForm[i] != value[i])) return value;
    const std::string century = value[6] < '5' ? "20" : "19";  // as X.509's UTCTime
    return century + value.substr(6, 2) + "-" + value.substr(3, 2) + "-" + value.substr(0, 2) + value.substr(8);
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

bool WriteNew(const std::string& path, std::string_view data, Contents contents) {
    return CreateNew(path, data, NewFileBits(contents), path);
}

void WriteOutput(const std::string& name, std::string_view data, Contents contents) {
    if (name.empty() || name == "-") {
        if (name.empty() && host::StdoutIsTerminal() && LooksBinary(data))
            throw UsageError("binary output is not written to a terminal: give -o FILE, or -o - to have it all the same");
        if (std::fwrite(data.data(), 1, data.size(), stdout) != data.size() || std::fflush(stdout) != 0)
            throw Failure("cannot write to standard output");
        return;
    }
    std::error_code error;
    if (fs::is_directory(name, error)) throw Failure("cannot write " + name + ": it is a directory");
    // The new content goes to a new file of a unique name beside the target first, and takes
    // the target's name in one rename; the target's own mode is kept.
    const std::uint32_t bits = vtk::os::PermissionBits(name).value_or(NewFileBits(contents));
    std::random_device random;
    std::string staged;
    for (int attempt = 0;; ++attempt) {
        if (attempt == kNameAttempts) throw Failure("cannot write " + name + ": no free name beside it");
        staged = name + ".part" + std::to_string(10000 + random() % 90000);
        if (CreateNew(staged, data, bits, name)) break;
    }
    if (!vtk::os::RenameReplacing(staged, name)) {
        const std::string why = std::generic_category().message(errno);
        vtk::os::RemoveFile(staged);
        throw Failure("cannot write " + name + ": " + why);
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
    std::size_t at = 0;
    while (at < report.size()) {
        std::size_t end = report.find('\n', at);
        if (end == std::string::npos) end = report.size();
        std::string line = report.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        for (const char* key : {"NotBefore=", "NotAfter="})
            if (line.rfind(key, 0) == 0) line = key + IsoDate(line.substr(std::string(key).size()));
        lines += line + "\n";
        at = end + 1;
    }
    if (!lines.empty()) lines.pop_back();
    return lines;
}

std::string Printable(const std::string& text, std::size_t limit) {
    std::string out;
    for (std::size_t i = 0; i < text.size() && i < limit; ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b >= 0x20 && b != 0x7F) {
            out += text[i];
            continue;
        }
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", b);
        out += escaped;
    }
    return text.size() > limit ? out + "..." : out;
}

}  // namespace vorlan::cli
