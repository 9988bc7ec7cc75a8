#pragma once

#include <QString>

#include <stdexcept>

namespace Velmora {

// A failed step of an export. It carries the Chinese text shown after "导出失败: "; an error
// without text is reported as an unknown one.
class ExportError : public std::runtime_error
{
public:
    explicit ExportError(const QString &text = {});

    QString text() const { return message; }

private:
    QString message;
};

} // namespace Velmora
