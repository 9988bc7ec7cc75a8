#pragma once

#include <QString>

#include <stdexcept>

namespace Velmora {

// A failed step of an export. It carries the Chinese text shown after "导出失败: "; an error
// without text is reported as an unknown one. It may add a plain log line that says why.
class ExportError : public std::runtime_error
{
public:
    explicit ExportError(const QString &text = {}, const QString &logLine = {});

    QString text() const { return message; }
    QString logLine() const { return line; }

private:
    QString message;
    QString line;
};

} // namespace Velmora
