#include "step_log.h"

namespace vorlan::cli {

std::string StepLine(const std::string& what, std::int32_t code, const std::string& errorText, bool passed) {
    std::string line = passed ? "  ok    " : "  FAIL  ";
    line += what + ": " + std::to_string(code);
    if (code != 0 && !errorText.empty()) line += " (" + errorText + ")";
    // Error texts may carry line breaks; a step stays on one line.
    for (char& c : line)
        if (c == '\r' || c == '\n') c = ' ';
    return line;
}

void StepLog::Section(const std::string& title) { std::fprintf(out_, "\n== %s\n", title.c_str()); }

bool StepLog::Step(const std::string& what, std::int32_t code, const std::string& errorText, bool passed) {
    ++steps_;
    if (!passed) ++failures_;
    std::fprintf(out_, "%s\n", StepLine(what, code, errorText, passed).c_str());
    std::fflush(out_);
    return passed;
}

void StepLog::Note(const std::string& text) { std::fprintf(out_, "        %s\n", text.c_str()); }

}  // namespace vorlan::cli
