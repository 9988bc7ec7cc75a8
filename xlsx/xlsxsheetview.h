#pragma once

#include "xlsxdocument.h"
#include "xlsxerror.h"
#include "xlsxxml.h"

#include <QHash>
#include <QList>
#include <QString>

#include <optional>

namespace Velmora {

// A rectangle of cells, 1-based and inclusive; empty when lastRow or lastColumn is below the first.
struct XlsxArea
{
    int firstRow = 1;
    int firstColumn = 1;
    int lastRow = 0;
    int lastColumn = 0;

    bool isEmpty() const { return lastRow < firstRow || lastColumn < firstColumn; }
    bool contains(int row, int column) const
    {
        return row >= firstRow && row <= lastRow && column >= firstColumn && column <= lastColumn;
    }
    bool operator==(const XlsxArea &other) const
    {
        return firstRow == other.firstRow && firstColumn == other.firstColumn && lastRow == other.lastRow &&
               lastColumn == other.lastColumn;
    }
    // "B2:D5", "$B$2:$D$5", "B2", "$A:$H" and "$1:$9"; nullopt for anything else.
    static std::optional<XlsxArea> fromReference(QStringView reference);
};

// One edge of a cell. Hair, dotted and dashed lines count as thin, double as thick.
struct XlsxBorderEdge
{
    enum Weight
    {
        None,
        Thin,
        Medium,
        Thick
    };
    Weight weight = None;
    QRgb color = 0xFF000000;
};

// Everything that decides how one cell looks, resolved from the style sheet: indices, themes and
// palette entries are already turned into colours.
struct XlsxCellStyle
{
    enum class Horizontal
    {
        General,
        Left,
        Centre,
        Right,
        Justify
    };
    enum class Vertical
    {
        Top,
        Centre,
        Bottom
    };

    QString fontName;
    double fontSize = 11;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    QRgb fontColor = 0xFF000000;
    bool filled = false;
    QRgb fillColor = 0xFFFFFFFF;
    XlsxBorderEdge left;
    XlsxBorderEdge right;
    XlsxBorderEdge top;
    XlsxBorderEdge bottom;
    Horizontal horizontal = Horizontal::General;
    Vertical vertical = Vertical::Bottom;
    bool wrap = false;
    bool shrink = false;
    int indent = 0;
    QString numberFormat; // the format code; empty for the general form
};

// The style sheet read for display, one resolved style per cellXfs entry.
class XlsxStyleTable
{
public:
    XlsxError parse(const XlsxXml::Text &xml);
    // Index 0 and unknown indices give the first entry, or Excel's default style without one.
    const XlsxCellStyle &style(int xf) const;
    // The style with the seat formatting of the filled chart laid over it.
    static XlsxCellStyle withFormat(XlsxCellStyle style, const XlsxCellFormat &format);

private:
    QList<XlsxCellStyle> xfs;
    XlsxCellStyle fallback;
};

// The first worksheet as it prints: sizes, hidden rows and columns, merged ranges and the print
// area, and every cell that holds text or a style, with the chart's own values and seat formats.
class XlsxSheetView
{
public:
    struct Cell
    {
        int row = 0;
        int column = 0;
        QString text;
        XlsxCellStyle style;
    };

    // The sheet part's layout elements; the cells are added by the document. Sizes beyond what a
    // spreadsheet allows (a row 409 points high, a column 255 characters wide) are cut to that.
    XlsxError parseLayout(const XlsxXml::Text &sheetXml);
    // From the workbook part: a print area defined for the first sheet, if any, and the date system.
    XlsxError parseWorkbook(const XlsxXml::Text &workbookXml);

    // Widths in Excel's character units, heights in points; hidden ones are 0.
    double columnWidth(int column) const;
    double rowHeight(int row) const;
    bool isColumnHidden(int column) const;
    bool isRowHidden(int row) const;
    const QList<XlsxArea> &merges() const { return mergedAreas; }
    std::optional<XlsxArea> printArea() const { return definedPrintArea; }
    // The print area when there is one, else the used range grown by any merged range it touches.
    XlsxArea printedArea() const;

    // Dates count from 1904 instead of 1900 (old Mac workbooks).
    bool date1904() const { return dates1904; }

    XlsxArea usedArea;
    QList<Cell> cells;

private:
    struct Span
    {
        int first = 0;
        int last = 0;
        double width = 0;
        bool hidden = false;
    };
    struct Row
    {
        double height = -1; // -1: the default height
        bool hidden = false;
    };

    const Span *columnSpan(int column) const;

    double defaultColumnWidth = 8.43;
    double defaultRowHeight = 15;
    QList<Span> columns;
    QHash<int, Row> rows;
    QList<XlsxArea> mergedAreas;
    std::optional<XlsxArea> definedPrintArea;
    bool dates1904 = false;
};

} // namespace Velmora
