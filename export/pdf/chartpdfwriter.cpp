#include "chartpdfwriter.h"

#include "fontchooser.h"
#include "pdftextlayer.h"
#include "xlsxsheetview.h"

#include <QBuffer>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <map>

using namespace Qt::StringLiterals;

namespace Velmora {

namespace {

constexpr int resolution = 1200;
constexpr double marginMm = 10;
constexpr double cellPadding = 1.5; // points, as a spreadsheet leaves beside cell text
// The sizes text is drawn at: the sheet's are bounded already, the scaled ones are kept to at
// least one device pixel.
constexpr double minimumPoints = 72.0 / resolution;
constexpr double maximumPoints = 409;
constexpr double referencePoints = 12;
// The least letter spacing Qt knows (1/64 pixel) turns ligatures off, as spreadsheets draw cells
// without them; each glyph then stands for one character of the text.
constexpr double ligatureBreak = 1.0 / 64;

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

    void text(const QRectF &cellRect, QString text, const XlsxCellStyle &style)
    {
        // Every size is drawn from one size of the font, scaled: Qt keeps a font engine for each
        // size, and a sheet in hundreds of sizes would otherwise take seconds to build them.
        QFont font(fonts.familyFor(style.fontName));
        font.setPointSizeF(referencePoints);
        font.setBold(style.bold);
        font.setItalic(style.italic);
        font.setUnderline(style.underline);
        font.setLetterSpacing(QFont::AbsoluteSpacing, ligatureBreak);
        double factor = std::clamp(style.fontSize * unit * 72.0 / resolution, minimumPoints, maximumPoints) /
                        referencePoints;
        fonts.checkCoverage(font, text);

        const double indent = style.indent * 9;
        const QRectF box = toDevice(cellRect.adjusted(
            cellPadding + (style.horizontal == XlsxCellStyle::Horizontal::Left ? indent : 0), 0, -cellPadding,
            0));
        // Wrapped text stays inside its cell, and a cell of no size shows none of it.
        if (style.wrap && (box.width() <= 0 || box.height() <= 0))
            return;
        Qt::Alignment horizontal = Qt::AlignLeft;
        switch (style.horizontal) {
        case XlsxCellStyle::Horizontal::General:
        case XlsxCellStyle::Horizontal::Left:
            break;
        case XlsxCellStyle::Horizontal::Centre:
            horizontal = Qt::AlignHCenter;
            break;
        case XlsxCellStyle::Horizontal::Right:
            horizontal = Qt::AlignRight;
            break;
        case XlsxCellStyle::Horizontal::Justify:
            horizontal = Qt::AlignJustify;
            break;
        }
        // Line breaks typed into a cell (Alt+Enter) break the line, as QPainter::drawText does.
        text.replace(u'\n', QChar::LineSeparator).replace(u'\r', u' ');
        QTextLayout layout(text, font, painter.device());
        QTextOption option(horizontal);
        option.setWrapMode(style.wrap ? QTextOption::WordWrap : QTextOption::NoWrap);
        double height = lay(layout, option, box.width() / factor);
        if (style.wrap && widest(layout) * factor > box.width() + 0.5) {
            // Names carry no spaces: a line that cannot break at a word breaks anywhere.
            option.setWrapMode(QTextOption::WrapAnywhere);
            height = lay(layout, option, box.width() / factor);
        } else if (!style.wrap && style.shrink && widest(layout) * factor > box.width() && box.width() > 0) {
            factor = std::max(box.width() / widest(layout), minimumPoints / referencePoints);
            height = lay(layout, option, box.width() / factor);
        }
        height *= factor;
        double top = box.top();
        if (style.vertical == XlsxCellStyle::Vertical::Centre)
            top += (box.height() - height) / 2;
        else if (style.vertical == XlsxCellStyle::Vertical::Bottom)
            top += box.height() - height;

        // A spreadsheet lets unwrapped text run into the empty cells beside it.
        painter.save();
        if (style.wrap)
            painter.setClipRect(box);
        painter.setPen(colour(style.fontColor));
        painter.translate(box.left(), top);
        painter.scale(factor, factor);
        const QList<QGlyphRun> runs = layout.glyphRuns();
        for (const QGlyphRun &run : runs)
            painter.drawGlyphRun(QPointF(), run);
        painter.restore();
        textLayer.addRuns(runs, text);
    }

    PdfTextLayer textLayer;

private:
    // Lines one below the other, the font's leading between them; the text's height.
    double lay(QTextLayout &layout, const QTextOption &option, double width) const
    {
        layout.setTextOption(option);
        const double leading = QFontMetricsF(layout.font(), painter.device()).leading();
        double y = 0;
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(std::max(width, 0.0));
            if (line.lineNumber() > 0)
                y += std::max(leading, 0.0);
            line.setPosition(QPointF(0, y));
            y += line.height();
        }
        layout.endLayout();
        return y;
    }
    static double widest(const QTextLayout &layout)
    {
        double width = 0;
        for (int i = 0; i < layout.lineCount(); ++i)
            width = std::max(width, layout.lineAt(i).naturalTextWidth());
        return width;
    }

    QPainter &painter;
    const Grid &grid;
    QPointF origin;
    double unit;
    FontChooser &fonts;
};

// For each cell of the view (row by row, left to right), the merged range it lies in, found in
// one sweep down the rows: the work grows with the number of cells and ranges, never with the
// ranges' areas. A range overlapping one met before is left out, as spreadsheets refuse those.
QList<const XlsxArea *> mergesOfCells(const QList<XlsxSheetView::Cell> &cells, const QList<XlsxArea> &merges)
{
    QList<const XlsxArea *> byStart;
    byStart.reserve(merges.size());
    for (const XlsxArea &merge : merges)
        byStart.append(&merge);
    std::sort(byStart.begin(), byStart.end(), [](const XlsxArea *a, const XlsxArea *b) {
        return a->firstRow != b->firstRow ? a->firstRow < b->firstRow : a->firstColumn < b->firstColumn;
    });
    std::map<int, const XlsxArea *> active;      // by first column; their columns never overlap
    std::multimap<int, const XlsxArea *> ending; // by last row
    QList<const XlsxArea *> found(cells.size(), nullptr);
    qsizetype next = 0;
    for (qsizetype i = 0; i < cells.size(); ++i) {
        const int row = cells.at(i).row;
        const int column = cells.at(i).column;
        while (!ending.empty() && ending.begin()->first < row) {
            const XlsxArea *merge = ending.begin()->second;
            ending.erase(ending.begin());
            const auto at = active.find(merge->firstColumn);
            if (at != active.end() && at->second == merge)
                active.erase(at);
        }
        for (; next < byStart.size() && byStart.at(next)->firstRow <= row; ++next) {
            const XlsxArea *merge = byStart.at(next);
            if (merge->lastRow < row)
                continue;
            const auto after = active.lower_bound(merge->firstColumn);
            const bool overlaps =
                (after != active.end() && after->first <= merge->lastColumn) ||
                (after != active.begin() && std::prev(after)->second->lastColumn >= merge->firstColumn);
            if (overlaps)
                continue;
            active.emplace(merge->firstColumn, merge);
            ending.emplace(merge->lastRow, merge);
        }
        auto at = active.upper_bound(column);
        if (at != active.begin() && std::prev(at)->second->lastColumn >= column)
            found[i] = std::prev(at)->second;
    }
    return found;
}

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
        *error = refused.isEmpty() ? file.errorString() : refusedDetail;
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

bool ChartPdfWriter::refuse(const QString &text, const QString &why)
{
    refused = text;
    refusedDetail = why;
    return false;
}

bool ChartPdfWriter::write(QIODevice *device)
{
    refused.clear();
    refusedDetail.clear();
    notes.clear();
    if (!fontsAvailable())
        return refuse(u"没有可用的字体"_s, u"PDF: 系统中没有可用的字体"_s);
    const XlsxArea printed = view.printedArea();
    const Grid grid(view, printed.isEmpty() ? XlsxArea{1, 1, 1, 1} : printed);

    const bool landscape = grid.width() > grid.height();
    const QPageLayout pageLayout(QPageSize(QPageSize::A4),
                                 landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                                 QMarginsF(marginMm, marginMm, marginMm, marginMm), QPageLayout::Millimeter);
    const QRectF paintable = pageLayout.paintRect(QPageLayout::Point);
    page = pageLayout.fullRect(QPageLayout::Point).size();
    // Like a spreadsheet's fit to page: shrink a big chart, never blow up a small one.
    double scale = 1;
    if (grid.width() > 0 && grid.height() > 0)
        scale = std::min({1.0, paintable.width() / grid.width(), paintable.height() / grid.height()});
    const QString area = u"%1%2:%3%4"_s.arg(XlsxXml::columnName(grid.area.firstColumn))
                             .arg(grid.area.firstRow)
                             .arg(XlsxXml::columnName(grid.area.lastColumn))
                             .arg(grid.area.lastRow);
    if (!(scale >= minimumScale))
        return refuse(u"打印区域太大，一页 A4 纸放不下，请在模板中设置或缩小打印区域"_s,
                      u"PDF: 打印区域 %1 缩到一页上只有原大的 %2%，至少要 %3%"_s.arg(area)
                          .arg(scale * 100, 0, 'g', 2)
                          .arg(minimumScale * 100));
    const QSizeF drawn(grid.width() * scale, grid.height() * scale);
    const QPointF offset((paintable.width() - drawn.width()) / 2, (paintable.height() - drawn.height()) / 2);
    placed = QRectF(paintable.topLeft() + offset, drawn);

    auto visible = [&](const XlsxSheetView::Cell &cell) {
        return printed.contains(cell.row, cell.column) && !view.isRowHidden(cell.row) &&
               !view.isColumnHidden(cell.column);
    };
    // A merged range prints as one cell with the style and text of its top-left cell.
    const QList<const XlsxArea *> mergeOf = mergesOfCells(view.cells, view.merges());
    // The rectangle a cell's fill and text take; empty for the hidden parts of a merged range.
    auto ownRect = [&](qsizetype i) -> QRectF {
        const XlsxSheetView::Cell &cell = view.cells.at(i);
        const XlsxArea *merge = mergeOf.at(i);
        if (!merge)
            return visible(cell) ? grid.rect({cell.row, cell.column, cell.row, cell.column}) : QRectF();
        if (cell.row != merge->firstRow || cell.column != merge->firstColumn)
            return {};
        return grid.rect(*merge);
    };

    qsizetype characters = 0;
    bool cut = false;
    for (qsizetype i = 0; i < view.cells.size(); ++i) {
        const qsizetype length = view.cells.at(i).text.size();
        if (length > 0 && !ownRect(i).isEmpty()) {
            characters += std::min<qsizetype>(length, maxCellCharacters);
            cut = cut || length > maxCellCharacters;
        }
    }
    if (characters > maxPageCharacters)
        return refuse(u"模板中的文字太多，一页 A4 纸放不下"_s,
                      u"PDF: 打印区域 %1 中有 %2 个字，一页最多画 %3 个"_s.arg(area)
                          .arg(characters)
                          .arg(maxPageCharacters));
    if (cut)
        notes.append(u"PDF: 单元格中超过 %1 个字的部分没有画出，与表格软件一样"_s.arg(maxCellCharacters));

    QByteArray pdf;
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(resolution);
    writer.setCreator(u"Velmora"_s);
    writer.setTitle(u"座位表"_s);
    writer.setPageLayout(pageLayout);

    QPainter painter;
    if (!painter.begin(&writer))
        return false;
    const double unit = scale * resolution / 72.0;
    FontChooser fonts;
    PageDrawer drawer(painter, grid, offset * (resolution / 72.0), unit, fonts);

    for (qsizetype i = 0; i < view.cells.size(); ++i) {
        const QRectF rect = ownRect(i);
        if (view.cells.at(i).style.filled && !rect.isEmpty())
            drawer.fill(rect, view.cells.at(i).style.fillColor);
    }
    for (qsizetype i = 0; i < view.cells.size(); ++i) {
        const XlsxSheetView::Cell &cell = view.cells.at(i);
        if (!visible(cell))
            continue;
        const XlsxCellStyle &style = cell.style;
        const XlsxArea *merge = mergeOf.at(i);
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
    for (qsizetype i = 0; i < view.cells.size(); ++i) {
        const XlsxSheetView::Cell &cell = view.cells.at(i);
        if (cell.text.isEmpty())
            continue;
        const QRectF rect = ownRect(i);
        if (!rect.isEmpty())
            drawer.text(rect, cell.text.left(maxCellCharacters), cell.style);
    }
    if (!painter.end())
        return false;
    notes = fonts.notes() + notes;
    buffer.close();

    QString why;
    const std::optional<QByteArray> searchable = drawer.textLayer.rewrite(pdf, &why);
    if (!searchable)
        notes.append(u"PDF: 文字层未能校正（%1），个别字搜索或复制时可能与显示的不同"_s.arg(why));
    const QByteArray &out = searchable ? *searchable : pdf;
    return device->write(out) == out.size();
}

} // namespace Velmora
