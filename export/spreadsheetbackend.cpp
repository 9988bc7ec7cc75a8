#include "spreadsheetbackend.h"

#include "exporterror.h"

using namespace Qt::StringLiterals;

namespace Velmora {

SpreadsheetBackend::~SpreadsheetBackend() = default;

SheetArea SpreadsheetBackend::mergeArea(int row, int column)
{
    return {row, column, row, column};
}

void SpreadsheetBackend::visitCells(const std::function<void(SpreadsheetCell &)> &visit)
{
    const SheetArea area = usedArea();
    if (qint64(area.lastRow) * qint64(area.lastColumn) > maxScannedCells)
        throw ExportError(
            u"模板文件过大"_s,
            u"模板文件无法打开: 已用区域有 %1 行 %2 列"_s.arg(area.lastRow).arg(area.lastColumn));
    for (int row = 1; row <= area.lastRow; ++row) {
        for (int column = 1; column <= area.lastColumn; ++column) {
            const std::unique_ptr<SpreadsheetCell> found = cell(row, column);
            if (found)
                visit(*found);
        }
    }
}

} // namespace Velmora
