// The library's load and unload sequence of the modules' process-wide objects.
#pragma once

namespace vorlan::exports {

// HoldModulesUntilUnload: makes sure the modules are released, in reverse order, when the
// library is unloaded, before any other object of the library is destroyed. Called when
// the first engine is created; later calls do nothing.
void HoldModulesUntilUnload();

}  // namespace vorlan::exports
