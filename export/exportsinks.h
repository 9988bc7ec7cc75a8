#pragma once

#include <QString>

#include <functional>

namespace Velmora {

// Where the export layer reports: plain log lines, and the time-stamped line that ends a command.
struct ExportSinks
{
    std::function<void(const QString &)> appendLog;
    std::function<void(const QString &)> logMessage;
};

} // namespace Velmora
