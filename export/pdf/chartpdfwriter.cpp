#include "chartpdfwriter.h"

#include "fontchooser.h"
#include "xlsxsheetview.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHash>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace Velmora {

namespace {

constexpr int resolution = 1200;
constexpr double marginMm = 10;
constexpr double cellPadding = 1.5; // points, as a spreadsheet leaves beside cell text

// A column width in characters of the default font's digit, in points as Excel prints it.
double columnPoints(double characters)
{
    return characters <= 0 ? 0 : std::floor(characters * 7 + 0.5) * 0.75;
}

QColor colour(QRgb argb)
{
    return QColor::fromRgb(argb | 0xFF000000u);
}

double penWidth(XlsxBorderEdge::Weight weight)
{
    switch (weight) {
    case XlsxBorderEdge::Thin:
        return 0.75;
    case XlsxBorderEdge::Medium:
        return 1.5;
    case XlsxBorderEdge::Thick:
        return 2.25;
    case XlsxBorderEdge::None:
        break;
    }
    return 0;
}

// Sheet positions in points from the printed area's top-left corner.
struct Grid
{
    XlsxArea area;
    QList<double> x; // x[i] is the left edge of column area.firstColumn + i; one more for the end
    QList<double> y;

    // Rows keep the height the sheet stores, as spreadsheets print a file they did not edit.
    Grid(const XlsxSheetView &view, const XlsxArea &printed) : area(printed)
    {
        x.append(0);
        for (int c = area.firstColumn; c <= area.lastColumn; ++c)
            x.append(x.last() + columnPoints(view.columnWidth(c)));
        y.append(0);
        for (int r = area.firstRow; r <= area.lastRow; ++r)
            y.append(y.last() + view.rowHeight(r));
    }
    double width() const { return x.last(); }
    double height() const { return y.last(); }
    // The rectangle of a cell range clipped to the printed area.
    QRectF rect(XlsxArea range) const
    {
        range.firstRow = std::max(range.firstRow, area.firstRow);
        range.firstColumn = std::max(range.firstColumn, area.firstColumn);
        range.lastRow = std::min(range.lastRow, area.lastRow);
        range.lastColumn = std::min(range.lastColumn, area.lastColumn);
        if (range.isEmpty())
            return {};
        const double left = x.at(range.firstColumn - area.firstColumn);
        const double top = y.at(range.firstRow - area.firstRow);
        return {left, top, x.at(range.lastColumn - area.firstColumn + 1) - left,
                y.at(range.lastRow - area.firstRow + 1) - top};
    }
};

class PageDrawer
{
public:
    PageDrawer(QPainter &painter, const Grid &grid, QPointF origin, double unit, FontChooser &fonts)
        : painter(painter), grid(grid), origin(origin), unit(unit), fonts(fonts)
    {}

    QRectF toDevice(const QRectF &points) const
    {
        return {origin.x() + points.x() * unit, origin.y() + points.y() * unit, points.width() * unit,
                points.height() * unit};
    }

    void fill(const QRectF &rect, QRgb colour) { painter.fillRect(toDevice(rect), Velmora::colour(colour)); }

    void edge(QPointF from, QPointF to, const XlsxBorderEdge &edge)
    {
        if (edge.weight == XlsxBorderEdge::None)
            return;
        QPen pen(colour(edge.color));
        pen.setWidthF(std::max(penWidth(edge.weight) * unit, 0.3 * resolution / 72.0));
        pen.setCapStyle(Qt::SquareCap);
        painter.setPen(pen);
        const QRectF line = toDevice(QRectF(from, to));
        painter.drawLine(line.topLeft(), line.bottomRight());
    }

    void text(const QRectF &cellRect, const QString &text, const XlsxCellStyle &style)
    {
        QFont font(fonts.familyFor(style.fontName));
        font.setPointSizeF(style.fontSize * unit * 72.0 / resolution);
        font.setBold(style.bold);
        font.setItalic(style.italic);
        font.setUnderline(style.underline);
        fonts.checkCoverage(font, text);

        const double indent = style.indent * 9;
        QRectF box = toDevice(cellRect.adjusted(
            cellPadding + (style.horizontal == XlsxCellStyle::Horizontal::Left ? indent : 0), 0, -cellPadding,
            0));
        int flags = 0;
        switch (style.horizontal) {
        case XlsxCellStyle::Horizontal::General:
        case XlsxCellStyle::Horizontal::Left:
            flags |= Qt::AlignLeft;
            break;
        case XlsxCellStyle::Horizontal::Centre:
            flags |= Qt::AlignHCenter;
            break;
        case XlsxCellStyle::Horizontal::Right:
            flags |= Qt::AlignRight;
            break;
        case XlsxCellStyle::Horizontal::Justify:
            flags |= Qt::AlignJustify;
            break;
        }
        switch (style.vertical) {
        case XlsxCellStyle::Vertical::Top:
            flags |= Qt::AlignTop;
            break;
        case XlsxCellStyle::Vertical::Centre:
            flags |= Qt::AlignVCenter;
            break;
        case XlsxCellStyle::Vertical::Bottom:
            flags |= Qt::AlignBottom;
            break;
        }

        if (style.wrap) {
            flags |= Qt::TextWordWrap;
            // Names carry no spaces: a line that cannot break at a word breaks anywhere.
            const QRectF needed = QFontMetricsF(font).boundingRect(box, flags, text);
            if (needed.width() > box.width() + 0.5)
                flags = (flags & ~Qt::TextWordWrap) | Qt::TextWrapAnywhere;
        } else if (style.shrink) {
            const double width = QFontMetricsF(font).horizontalAdvance(text);
            if (width > box.width() && width > 0)
                font.setPointSizeF(std::max(font.pointSizeF() * box.width() / width, 0.5));
        }
        // A spreadsheet lets unwrapped text run into the empty cells beside it.
        if (!style.wrap)
            flags |= Qt::TextDontClip;
        painter.setFont(font);
        painter.setPen(colour(style.fontColor));
        painter.drawText(box, flags, text);
    }

private:
    QPainter &painter;
    const Grid &grid;
    QPointF origin;
    double unit;
    FontChooser &fonts;
};

} // namespace

ChartPdfWriter::ChartPdfWriter(const XlsxSheetView &view) : view(view) {}

bool ChartPdfWriter::writeFile(const QString &path, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    if (!write(&file)) {
        *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

bool ChartPdfWriter::fontsAvailable()
{
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) &&
           !QFontDatabase::families().isEmpty();
}

bool ChartPdfWriter::write(QIODevice *device)
{
    if (!fontsAvailable())
        return false;
    notes.clear();
    const XlsxArea printed = view.printedArea();
    // A merged range prints as one cell with the style and text of its top-left cell. Huge ranges
    // are looked up one by one rather than indexed cell by cell.
    QHash<quint64, const XlsxArea *> mergeAt;
    QList<const XlsxArea *> hugeMerges;
    for (const XlsxArea &merge : view.merges()) {
        if (qint64(merge.lastRow - merge.firstRow + 1) * (merge.lastColumn - merge.firstColumn + 1) > 4096) {
            hugeMerges.append(&merge);
            continue;
        }
        for (int r = merge.firstRow; r <= merge.lastRow; ++r) {
            for (int c = merge.firstColumn; c <= merge.lastColumn; ++c)
                mergeAt.insert(quint64(r) << 32 | quint32(c), &merge);
        }
    }
    auto mergeOf = [&](int row, int column) -> const XlsxArea * {
        if (const XlsxArea *merge = mergeAt.value(quint64(row) << 32 | quint32(column)))
            return merge;
        for (const XlsxArea *merge : std::as_const(hugeMerges)) {
            if (merge->contains(row, column))
                return merge;
        }
        return nullptr;
    };
    const Grid grid(view, printed.isEmpty() ? XlsxArea{1, 1, 1, 1} : printed);

    QPdfWriter writer(device);
    writer.setResolution(resolution);
    writer.setCreator(u"Velmora"_s);
    writer.setTitle(u"座位表"_s);
    const bool landscape = grid.width() > grid.height();
    writer.setPageLayout(
        QPageLayout(QPageSize(QPageSize::A4), landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                    QMarginsF(marginMm, marginMm, marginMm, marginMm), QPageLayout::Millimeter));
    const QRectF paintable = writer.pageLayout().paintRect(QPageLayout::Point);
    page = writer.pageLayout().fullRect(QPageLayout::Point).size();
    // Like a spreadsheet's fit to page: shrink a big chart, never blow up a small one.
    double scale = 1;
    if (grid.width() > 0 && grid.height() > 0)
        scale = std::min({1.0, paintable.width() / grid.width(), paintable.height() / grid.height()});
    const QSizeF drawn(grid.width() * scale, grid.height() * scale);
    const QPointF offset((paintable.width() - drawn.width()) / 2, (paintable.height() - drawn.height()) / 2);
    placed = QRectF(paintable.topLeft() + offset, drawn);

    QPainter painter;
    if (!painter.begin(&writer))
        return false;
    const double unit = scale * resolution / 72.0;
    FontChooser fonts;
    PageDrawer drawer(painter, grid, offset * (resolution / 72.0), unit, fonts);

    auto visible = [&](const XlsxSheetView::Cell &cell) {
        return printed.contains(cell.row, cell.column) && !view.isRowHidden(cell.row) &&
               !view.isColumnHidden(cell.column);
    };
    // The rectangle a cell's fill and text take; empty for the hidden parts of a merged range.
    auto ownRect = [&](const XlsxSheetView::Cell &cell) -> QRectF {
        const XlsxArea *merge = mergeOf(cell.row, cell.column);
        if (!merge)
            return visible(cell) ? grid.rect({cell.row, cell.column, cell.row, cell.column}) : QRectF();
        if (cell.row != merge->firstRow || cell.column != merge->firstColumn)
            return {};
        return grid.rect(*merge);
    };

    for (const XlsxSheetView::Cell &cell : view.cells) {
        const QRectF rect = ownRect(cell);
        if (cell.style.filled && !rect.isEmpty())
            drawer.fill(rect, cell.style.fillColor);
    }
    for (const XlsxSheetView::Cell &cell : view.cells) {
        if (!visible(cell))
            continue;
        const XlsxCellStyle &style = cell.style;
        const XlsxArea *merge = mergeOf(cell.row, cell.column);
        // The top-left cell's borders go round the whole merged range, as spreadsheets show it;
        // the other cells add only the edges on its outline.
        const bool whole = merge && cell.row == merge->firstRow && cell.column == merge->firstColumn;
        const QRectF rect =
            whole ? grid.rect(*merge) : grid.rect({cell.row, cell.column, cell.row, cell.column});
        if (whole)
            merge = nullptr;
        if (!merge || cell.column == merge->firstColumn)
            drawer.edge(rect.topLeft(), rect.bottomLeft(), style.left);
        if (!merge || cell.column == merge->lastColumn)
            drawer.edge(rect.topRight(), rect.bottomRight(), style.right);
        if (!merge || cell.row == merge->firstRow)
            drawer.edge(rect.topLeft(), rect.topRight(), style.top);
        if (!merge || cell.row == merge->lastRow)
            drawer.edge(rect.bottomLeft(), rect.bottomRight(), style.bottom);
    }
    for (const XlsxSheetView::Cell &cell : view.cells) {
        if (cell.text.isEmpty())
            continue;
        const QRectF rect = ownRect(cell);
        if (!rect.isEmpty())
            drawer.text(rect, cell.text, cell.style);
    }
    const bool finished = painter.end();
    notes = fonts.notes();
    return finished;
}

} // namespace Velmora
