#include "host_checks.h"

#include <cstdio>

namespace host {
namespace {
int failures = 0;
int checks = 0;
std::string section;
}  // namespace

bool Check(bool condition, const std::string& message) {
    ++checks;
    if (!condition) {
        ++failures;
        std::printf("FAILED [%s] %s\n", section.c_str(), message.c_str());
    }
    return condition;
}

void Section(const std::string& name) {
    section = name;
    std::printf("-- %s\n", name.c_str());
}

int Failures() { return failures; }

}  // namespace host
