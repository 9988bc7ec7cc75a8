#pragma once

#include "model.h"

namespace Velmora {

// The sample class shipped in examples/, found through VELMORA_SOURCE_DIR; an empty roster when
// that does not lead to it.
ClassState loadSampleClass();

} // namespace Velmora
