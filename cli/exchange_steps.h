// The exchange shown by the demonstration: encryption for two correspondents, detached and
// attached signatures, refusal of tampered messages, and the cache cleared.
#pragma once

#include "demo_installation.h"

namespace vorlan::cli {

// RunExchange: the steps between USER01 (its engine given), USER02 and USER03 (engines
// opened here), each one line in log; false when one did not give the expected result.
bool RunExchange(const ExportApi& api, const DemoInstallation& installation, const Engine& user01, StepLog& log);

}  // namespace vorlan::cli
