#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

namespace Velmora {

// How a filled seat cell looks: centred both ways and wrapped, always; bold and fill only when
// set, so that everyone else keeps the template's own setting.
struct SeatFormat
{
    int fontSize = 16;
    bool bold = false;
    bool fill = false;
    quint32 fillColor = 0xFFFFFF00u; // opaque yellow, QColor(Qt::yellow).rgb()
};

// One cell of the first worksheet, obtained for reading and possibly writing; released when the
// object goes.
class SpreadsheetCell
{
public:
    // The edges of a cell, as flags.
    enum Edge
    {
        LeftEdge = 1,
        RightEdge = 2,
        TopEdge = 4,
        BottomEdge = 8
    };

    SpreadsheetCell(int row, int column) : cellRow(row), cellColumn(column) {}
    virtual ~SpreadsheetCell();

    int row() const { return cellRow; }
    int column() const { return cellColumn; }
    // The cell's value as text; nothing when the cell holds no value.
    virtual std::optional<QString> text() = 0;
    virtual void setText(const QString &text) = 0;
    virtual void formatSeat(const SeatFormat &format) = 0;
    // Takes the cell's fill away, and its border on the given edges.
    virtual void clearBox(int edges) = 0;

private:
    int cellRow;
    int cellColumn;
};

} // namespace Velmora
