// The demonstration: the loaded library's exports checked, then in a fresh temporary
// installation a test PKI and an exchange between three users, through the exports only.
#pragma once

#include "library.h"
#include "options.h"

namespace vorlan::cli {

// RunDemo: runs the demonstration for the algorithms of the options; 0 only when every
// step gave its expected result.
int RunDemo(const Library& library, const Options& options);

}  // namespace vorlan::cli
