#include "exporterror.h"

namespace Velmora {

ExportError::ExportError(const QString &text, const QString &logLine)
    : std::runtime_error(text.toStdString()), message(text), line(logLine)
{}

} // namespace Velmora
