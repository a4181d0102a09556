// StepLog: prints each step of the demonstration as one line with its result and keeps
// count of the steps that did not give the expected result.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace vorlan::cli {

class StepLog {
public:
    // StepLog: writes its lines to out.
    explicit StepLog(std::FILE* out) : out_(out) {}

    // Section: a heading line for the steps that follow.
    void Section(const std::string& title);
    // Step: one line "what: code" (plus the error text when code is not 0); passed says
    // whether that was the expected result. Returns passed.
    bool Step(const std::string& what, std::int32_t code, const std::string& errorText, bool passed);
    // Note: an indented line of information that is no step.
    void Note(const std::string& text);
    // Failures: the number of steps that did not pass so far.
    int Failures() const { return failures_; }
    // Steps: the number of steps so far.
    int Steps() const { return steps_; }
    // ExitCode: 0 when at least one step ran and every step passed, 1 otherwise.
    int ExitCode() const { return steps_ > 0 && failures_ == 0 ? 0 : 1; }

private:
    std::FILE* out_;
    int steps_ = 0;
    int failures_ = 0;
};

// StepLine: the text of a step line without its end of line (kept apart for its tests).
std::string StepLine(const std::string& what, std::int32_t code, const std::string& errorText, bool passed);

}  // namespace vorlan::cli
