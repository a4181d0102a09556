// The two ways a vorlan command ends without success: Failure (exit code 1: the operation
// failed, with the library's code and text when it was the library's answer) and UsageError
// (exit code 2: the command line asks for something that cannot be meant).
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace vorlan::cli {

class Failure : public std::runtime_error {
public:
    // Failure: what failed, in words.
    explicit Failure(const std::string& what) : std::runtime_error(what) {}
    // Failure: what failed, the library's result code and its text.
    Failure(const std::string& what, std::int32_t code, std::string text)
        : std::runtime_error(what), code_(code), text_(std::move(text)) {}

    const std::optional<std::int32_t>& Code() const { return code_; }
    const std::string& Text() const { return text_; }

private:
    std::optional<std::int32_t> code_;
    std::string text_;
};

class UsageError : public std::runtime_error {
public:
    explicit UsageError(const std::string& what) : std::runtime_error(what) {}
};

}  // namespace vorlan::cli
