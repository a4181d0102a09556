// The first look at the library: every export is present and answers a null handle with
// its documented result.
#pragma once

#include "step_log.h"
#include "library.h"

namespace vorlan::cli {

// CheckExports: resolves the exports by ordinal and calls each with a null handle, as one step.
bool CheckExports(const Library& library, StepLog& log);

}  // namespace vorlan::cli
