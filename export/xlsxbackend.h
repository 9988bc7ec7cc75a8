#pragma once

#include "spreadsheetbackend.h"

#include <QString>

#include <functional>
#include <memory>

namespace Velmora {

class XlsxDocument;

// The built-in engine: fills the template without any outside program.
class XlsxBackend final : public SpreadsheetBackend
{
public:
    // Plain log lines go to appendLog.
    explicit XlsxBackend(std::function<void(const QString &)> appendLog = {});
    ~XlsxBackend() override;

    // Only the cells the template stores: the used area may span a whole sheet for one far cell.
    void visitCells(const std::function<void(SpreadsheetCell &)> &visit) override;

    void openWorkbook(const QString &nativePath) override;
    SheetArea usedArea() override;
    std::unique_ptr<SpreadsheetCell> cell(int row, int column) override;
    SheetArea mergeArea(int row, int column) override;
    void saveWorkbook(const QString &nativePath) override;
    void close() noexcept override {}

    // The filled workbook, for drawing it elsewhere.
    XlsxDocument &workbook() { return *document; }

private:
    std::unique_ptr<XlsxDocument> document;
    std::function<void(const QString &)> appendLog;
};

} // namespace Velmora
