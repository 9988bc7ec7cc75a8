#pragma once

#include "xlsxerror.h"
#include "xlsxlimits.h"
#include "xlsxxml.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace Velmora {

class XlsxXmlScanner;

// One worksheet part: the cells it holds, where each sits in the XML, and the splice that writes
// new values into it while every byte outside the touched rows stays as it was.
class XlsxSheet
{
public:
    struct Edit
    {
        bool setText = false;
        QString text;
        int style = -1; // -1 keeps the cell's own style
    };
    struct Bounds
    {
        int firstRow = 0;
        int firstColumn = 0;
        int lastRow = 0;
        int lastColumn = 0;
        bool isEmpty() const { return lastRow == 0; }
    };

    static quint64 key(int row, int column) { return (quint64(row) << 32) | quint32(column); }

    // Cells without a value or a style are not kept: they change nothing, and a sheet packed with
    // them would otherwise cost memory by the element. TooManyCells when the sheet holds more
    // cells or rows than the limits allow.
    XlsxError parse(const QByteArray &bytes, const QStringList &sharedStrings, const XlsxLimits &limits = {});
    Bounds bounds() const { return used; }
    // The positions of the kept cells in row, then column order, each once.
    QList<quint64> storedCells() const;
    bool hasCell(int row, int column) const { return cellIndex.contains(key(row, column)); }
    QString cellText(int row, int column) const;
    // The cell holds a number (a date is one too), which its number format decides how to show.
    bool isNumber(int row, int column) const;
    // The merged range the cell lies in; empty when it lies in none. A cell inside a range is
    // looked for among the first maxSearchedMerges ranges only; a range's top-left cell always.
    Bounds mergedRange(int row, int column) const;
    static constexpr int maxSearchedMerges = 10000;
    // The cell's xf index, 0 for absent cells and cells without one.
    int styleIndex(int row, int column) const;

    // The part with the edits applied; formulaDropped tells whether any formula was removed.
    QByteArray patch(const QMap<quint64, Edit> &edits, bool *formulaDropped) const;

private:
    struct Cell
    {
        int row = 0;
        int column = 0;
        int rowIndex = 0;
        qsizetype begin = 0;
        qsizetype startTagEnd = 0;
        qsizetype end = 0;
        QString prefix;
        QString text;
        int style = -1;
        bool number = false;
        bool hasReference = false;
        qsizetype formulaBegin = -1;
        qsizetype formulaEnd = -1;
        QString sharedMaster; // si of a shared formula this cell defines
        QString sharedChild;  // si of a shared formula this cell only refers to
    };
    struct Row
    {
        int number = 0;
        qsizetype begin = 0;
        qsizetype startTagEnd = 0;
        qsizetype endTagBegin = 0;
        qsizetype end = 0;
        bool selfClosing = false;
        QString qualifiedName;
        int firstCell = 0;
        int cellCount = 0;
        int bareCells = 0;       // cells left out for holding nothing
        qsizetype cellsEnd = -1; // past the last c element, bare ones included
    };

    struct CellContent;
    struct PatchPlan;
    struct Splice;

    XlsxError parseSheetData(XlsxXmlScanner &scanner, const QStringList &sharedStrings);
    XlsxError parseRow(XlsxXmlScanner &scanner, const QStringList &sharedStrings, int *lastRow);
    XlsxError parseCell(XlsxXmlScanner &scanner, const QStringList &sharedStrings, Row &row, int *lastColumn);
    XlsxError readCellStart(XlsxXmlScanner &scanner, const Row &row, int *lastColumn, Cell *cell,
                            CellContent *content) const;
    XlsxError readCellContent(XlsxXmlScanner &scanner, Cell *cell, CellContent *content) const;
    static XlsxError displayedText(const CellContent &content, const QStringList &sharedStrings,
                                   QString *text);
    PatchPlan planPatch(const QMap<quint64, Edit> &edits) const;
    void spliceNewRows(const QMap<int, QList<quint64>> &newRows, const QMap<quint64, Edit> &edits,
                       QList<Splice> *splices) const;
    static QString applySplices(const QString &source, QList<Splice> splices);
    QString renderRow(const Row &row, const QMap<quint64, Edit> &edits, const QSet<QString> &removedMasters,
                      bool insertsCells) const;
    QString renderCell(const Cell &cell, const Edit *edit, bool stripFormula, bool giveReference) const;
    static QString newCell(const QString &prefix, int row, int column, int style, const QString &text);

    XlsxXml::Text xml;
    QList<Row> rows;
    QList<Cell> cells;
    QHash<quint64, int> cellIndex;
    QList<Bounds> merges;
    QHash<quint64, int> mergeAt; // by top-left cell
    Bounds used;
    XlsxLimits limits;
    qsizetype dimensionBegin = -1;
    qsizetype dimensionEnd = -1;
    qsizetype sheetDataBegin = -1;
    qsizetype sheetDataStartEnd = -1;
    qsizetype sheetDataEndBegin = -1;
    qsizetype sheetDataEnd = -1;
    bool sheetDataSelfClosing = false;
    QString sheetDataName;
};

} // namespace Velmora
