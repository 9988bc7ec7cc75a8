#pragma once

#include "spreadsheetcell.h"

#include <QString>

#include <functional>
#include <memory>

namespace Velmora {

// The used area of the first worksheet, 1-based; lastRow and lastColumn are 0 for an empty sheet.
struct SheetArea
{
    int firstRow = 1;
    int firstColumn = 1;
    int lastRow = 0;
    int lastColumn = 0;
};

// One spreadsheet session: a template opened, filled cell by cell, saved under a new name and
// closed. Every failing step throws ExportError with the text to show.
class SpreadsheetBackend
{
public:
    // Far above any seating chart, and already minutes of cross-process calls.
    static constexpr qint64 maxScannedCells = 100000;

    virtual ~SpreadsheetBackend();

    // Opens the workbook at the native path and gets hold of its first worksheet.
    virtual void openWorkbook(const QString &nativePath) = 0;
    virtual SheetArea usedArea() = 0;
    // Null when the cell cannot be obtained.
    virtual std::unique_ptr<SpreadsheetCell> cell(int row, int column) = 0;
    // The merged range the cell lies in; the cell alone when it lies in none or the range cannot
    // be read.
    virtual SheetArea mergeArea(int row, int column);
    // Hands every cell that may hold a value to visit, row by row and left to right, each
    // released before the next. This default walks the whole area from the first cell to the
    // used area's far corner, the only way an automation server offers; it refuses an area
    // above maxScannedCells before touching any cell.
    virtual void visitCells(const std::function<void(SpreadsheetCell &)> &visit);
    virtual void saveWorkbook(const QString &nativePath) = 0;
    // Gives the application its screen updates and alerts back after a successful save.
    virtual void restoreDisplay() {}
    // Runs on every path once the session exists; never throws.
    virtual void close() noexcept = 0;
};

} // namespace Velmora
