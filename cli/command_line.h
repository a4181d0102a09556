// RunCommandLine: vorlan's command line parsed (CLI11) and the chosen command run; the exit
// code: 0 success, 1 the operation failed (the reason on standard error), 2 usage.
#pragma once

namespace vorlan::cli {

int RunCommandLine(int argc, char** argv);

}  // namespace vorlan::cli
