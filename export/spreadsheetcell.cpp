#include "spreadsheetcell.h"

namespace Velmora {

SpreadsheetCell::~SpreadsheetCell() = default;

} // namespace Velmora
