// The parameter list of an engine as the host sees it: names and current values.
#pragma once

#include "export_api.h"
#include "step_log.h"

namespace vorlan::cli {

// ShowParameters: the engine's parameters with a value (name from GetCryptoParamName,
// value), and the numbers of the empty ones on one line; a failing count is a failed step.
bool ShowParameters(const ExportApi& api, VORLAN_HANDLE engine, StepLog& log);

}  // namespace vorlan::cli
