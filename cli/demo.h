// The demonstration: what the loaded library offers, through its exports only.
#pragma once

#include "library.h"

namespace vorlan::cli {

// RunDemo: prints the exports, a new engine's parameters and size queries; 0 when every
// export answered as documented.
int RunDemo(const Library& library, const std::string& root);

}  // namespace vorlan::cli
