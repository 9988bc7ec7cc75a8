#include "exporterror.h"

namespace Velmora {

ExportError::ExportError(const QString &text) : std::runtime_error(text.toStdString()), message(text) {}

} // namespace Velmora
