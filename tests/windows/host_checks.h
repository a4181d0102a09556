// A minimal check recorder for the Windows test host (plain C++, no test framework).
#pragma once

#include <string>

namespace host {

// Check: records a failed condition with its message; returns the condition.
bool Check(bool condition, const std::string& message);
// Section: names the group of checks that follows, for the report.
void Section(const std::string& name);
// Failures: the number of failed checks so far.
int Failures();

}  // namespace host
