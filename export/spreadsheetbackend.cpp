#include "spreadsheetbackend.h"

namespace Velmora {

SpreadsheetBackend::~SpreadsheetBackend() = default;

} // namespace Velmora
