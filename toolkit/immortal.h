// Immortal<T>: a process-wide object that is never destroyed (the library's own, shared).
#pragma once

#include "support/immortal.h"

namespace vtk {

using vorlan::Immortal;

}  // namespace vtk
