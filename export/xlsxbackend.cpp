#include "xlsxbackend.h"

#include "exporterror.h"
#include "xlsxdocument.h"

using namespace Qt::StringLiterals;

namespace Velmora {

namespace {

class XlsxCell final : public SpreadsheetCell
{
public:
    XlsxCell(XlsxDocument &document, int row, int column) : SpreadsheetCell(row, column), document(document)
    {}

    std::optional<QString> text() override
    {
        QString value = document.cellText(row(), column());
        if (value.isEmpty())
            return std::nullopt;
        return value;
    }
    void setText(const QString &text) override { document.setCellText(row(), column(), text); }
    void formatSeat(const SeatFormat &format) override
    {
        XlsxCellFormat cellFormat;
        cellFormat.centre = true;
        cellFormat.wrap = true;
        cellFormat.fontSize = format.fontSize;
        cellFormat.bold = format.bold;
        cellFormat.fill = format.fill;
        cellFormat.fillColor = format.fillColor;
        document.setCellFormat(row(), column(), cellFormat);
    }
    void clearBox(int edges) override
    {
        XlsxCellFormat cellFormat;
        cellFormat.noFill = true;
        for (const auto &[edge, flag] : {std::pair{LeftEdge, XlsxCellFormat::LeftEdge},
                                         {RightEdge, XlsxCellFormat::RightEdge},
                                         {TopEdge, XlsxCellFormat::TopEdge},
                                         {BottomEdge, XlsxCellFormat::BottomEdge}}) {
            if (edges & edge)
                cellFormat.noBorder |= flag;
        }
        document.setCellFormat(row(), column(), cellFormat);
    }

private:
    XlsxDocument &document;
};

} // namespace

XlsxBackend::XlsxBackend(std::function<void(const QString &)> appendLog)
    : document(std::make_unique<XlsxDocument>()), appendLog(std::move(appendLog))
{}

XlsxBackend::~XlsxBackend() = default;

void XlsxBackend::openWorkbook(const QString &nativePath)
{
    if (document->open(nativePath))
        return;
    // Beyond the bounds the teacher needs to hear that the file is too big, not that it is broken.
    const bool tooBig =
        document->error() == XlsxError::TooLarge || document->error() == XlsxError::TooManyCells;
    throw ExportError(tooBig ? u"模板文件过大"_s : u"无法打开模板文件"_s,
                      u"模板文件无法打开: "_s + document->errorString());
}

void XlsxBackend::visitCells(const std::function<void(SpreadsheetCell &)> &visit)
{
    for (const auto &[row, column] : document->storedCells()) {
        XlsxCell found(*document, row, column);
        visit(found);
    }
}

SheetArea XlsxBackend::usedArea()
{
    const XlsxRange range = document->usedRange();
    SheetArea area;
    area.firstRow = range.firstRow;
    area.firstColumn = range.firstColumn;
    area.lastRow = range.rowCount > 0 ? range.firstRow + range.rowCount - 1 : 0;
    area.lastColumn = range.columnCount > 0 ? range.firstColumn + range.columnCount - 1 : 0;
    return area;
}

std::unique_ptr<SpreadsheetCell> XlsxBackend::cell(int row, int column)
{
    return std::make_unique<XlsxCell>(*document, row, column);
}

SheetArea XlsxBackend::mergeArea(int row, int column)
{
    const XlsxRange range = document->mergedRange(row, column);
    return {range.firstRow, range.firstColumn, range.firstRow + range.rowCount - 1,
            range.firstColumn + range.columnCount - 1};
}

void XlsxBackend::saveWorkbook(const QString &nativePath)
{
    // Checking only the size afterwards would take an earlier chart of the same name for success.
    if (!document->saveAs(nativePath))
        throw ExportError(u"文件保存失败，请检查路径和权限"_s,
                          u"座位表无法保存: "_s + document->errorString());
    if (document->hasMacros() && appendLog)
        appendLog(u"模板中的宏已去除"_s);
}

} // namespace Velmora
