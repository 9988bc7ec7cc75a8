#include "xlsxsheetview.h"

#include "xlsxnumberformat.h"
#include "xlsxxmlscanner.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace Velmora {

namespace {

// Excel's legacy palette for indexed colours; 64 and 65 are the system's text and background.
constexpr QRgb palette[] = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF, 0x000000, 0xFFFFFF,
    0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF, 0x800000, 0x008000, 0x000080, 0x808000,
    0x800080, 0x008080, 0xC0C0C0, 0x808080, 0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF, 0x660066, 0xFF8080,
    0x0066CC, 0xCCCCFF, 0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000, 0x008080, 0x0000FF,
    0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99, 0x3366FF, 0x33CCCC,
    0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696, 0x003366, 0x339966, 0x003300, 0x333300,
    0x993300, 0x993366, 0x333399, 0x333333, 0x000000, 0xFFFFFF};

// The Office theme's colours in the order theme indices count them (light 1 and dark 1 first).
// A template's own theme part is not read: school templates rarely change it.
constexpr QRgb themeColours[] = {0xFFFFFF, 0x000000, 0xEEECE1, 0x1F497D, 0x4F81BD,
                                 0xC0504D, 0x9BBB59, 0x8064A2, 0x4BACC6, 0xF79646};

int channelWithTint(int channel, double tint)
{
    const double value = tint < 0 ? channel * (1 + tint) : channel + (255 - channel) * tint;
    return std::clamp(int(std::lround(value)), 0, 255);
}

std::optional<QRgb> readColour(const XlsxXmlScanner &scanner)
{
    QRgb rgb = 0;
    const QStringView argb = scanner.attribute(u"rgb");
    const QStringView indexed = scanner.attribute(u"indexed");
    const QStringView theme = scanner.attribute(u"theme");
    bool ok = false;
    if (!argb.isNull()) {
        rgb = QRgb(argb.right(6).toUInt(&ok, 16));
    } else if (!indexed.isNull()) {
        const int index = indexed.toInt(&ok);
        ok = ok && index >= 0 && index < int(std::size(palette));
        if (ok)
            rgb = palette[index];
    } else if (!theme.isNull()) {
        const int index = theme.toInt(&ok);
        ok = ok && index >= 0 && index < int(std::size(themeColours));
        if (ok)
            rgb = themeColours[index];
    } else if (scanner.attribute(u"auto") == u"1" || scanner.attribute(u"auto") == u"true") {
        return 0xFF000000;
    }
    if (!ok)
        return std::nullopt;
    const double tint = scanner.attribute(u"tint").toDouble();
    if (tint != 0) {
        rgb = QRgb(channelWithTint(int(rgb >> 16) & 0xFF, tint) << 16 |
                   channelWithTint(int(rgb >> 8) & 0xFF, tint) << 8 | channelWithTint(int(rgb) & 0xFF, tint));
    }
    return 0xFF000000u | rgb;
}

// <b/> and <b val="1"/> switch a font property on, <b val="0"/> off.
bool flagOn(const XlsxXmlScanner &scanner)
{
    const QStringView value = scanner.attribute(u"val");
    return value.isNull() || value == u"1" || value == u"true";
}

bool boolAttribute(const XlsxXmlScanner &scanner, QStringView name)
{
    const QStringView value = scanner.attribute(name);
    return value == u"1" || value == u"true";
}

XlsxBorderEdge::Weight borderWeight(QStringView style)
{
    if (style.isEmpty() || style == u"none")
        return XlsxBorderEdge::None;
    if (style == u"thick" || style == u"double")
        return XlsxBorderEdge::Thick;
    if (style.startsWith(u"medium") || style == u"slantDashDot")
        return XlsxBorderEdge::Medium;
    return XlsxBorderEdge::Thin;
}

struct Font
{
    QString name;
    double size = 11;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    QRgb color = 0xFF000000;
};

struct Fill
{
    bool solid = false;
    QRgb color = 0xFFFFFFFF;
};

struct Border
{
    XlsxBorderEdge left;
    XlsxBorderEdge right;
    XlsxBorderEdge top;
    XlsxBorderEdge bottom;
};

struct Xf
{
    int numberFormat = 0;
    int font = 0;
    int fill = 0;
    int border = 0;
    XlsxCellStyle::Horizontal horizontal = XlsxCellStyle::Horizontal::General;
    XlsxCellStyle::Vertical vertical = XlsxCellStyle::Vertical::Bottom;
    bool wrap = false;
    bool shrink = false;
    int indent = 0;
};

// Excel's own bounds: a larger size in a file is something no spreadsheet would show.
constexpr double maxFontSize = 409;
constexpr double maxRowHeight = 409;
constexpr double maxColumnWidth = 255;
constexpr int maxIndent = 250;

// A size attribute within [0, most]; nothing for a missing, negative or non-finite one.
std::optional<double> sizeAttribute(const XlsxXmlScanner &scanner, QStringView name, double most)
{
    bool ok = false;
    const double value = scanner.attribute(name).toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < 0)
        return std::nullopt;
    return std::min(value, most);
}

// The first range of a print area formula: "'座位表,一班'!$A$1:$H$20,'座位表,一班'!$J$1:$K$3"
// gives "$A$1:$H$20". Commas and exclamation marks inside a quoted sheet name are the name's.
QString firstPrintRange(const QString &formula)
{
    bool quoted = false;
    qsizetype bang = -1;
    for (qsizetype i = 0; i < formula.size(); ++i) {
        const QChar c = formula.at(i);
        if (c == u'\'')
            quoted = !quoted; // a doubled quote inside the name toggles twice
        else if (!quoted && c == u'!')
            bang = i;
        else if (!quoted && c == u',')
            return formula.mid(bang + 1, i - bang - 1);
    }
    return formula.mid(bang + 1);
}

XlsxCellStyle::Horizontal horizontalOf(QStringView value)
{
    if (value == u"left" || value == u"fill")
        return XlsxCellStyle::Horizontal::Left;
    if (value == u"center" || value == u"centerContinuous" || value == u"distributed")
        return XlsxCellStyle::Horizontal::Centre;
    if (value == u"right")
        return XlsxCellStyle::Horizontal::Right;
    if (value == u"justify")
        return XlsxCellStyle::Horizontal::Justify;
    return XlsxCellStyle::Horizontal::General;
}

XlsxCellStyle::Vertical verticalOf(QStringView value)
{
    if (value == u"top")
        return XlsxCellStyle::Vertical::Top;
    if (value == u"center" || value == u"justify" || value == u"distributed")
        return XlsxCellStyle::Vertical::Centre;
    return XlsxCellStyle::Vertical::Bottom;
}

enum class Next
{
    Descend,
    Skip,    // the visitor wants none of the element's content
    Consumed // the visitor read the element up to its end tag
};

// Walks a part element by element, handing each start tag to visit with the local names of
// the spreadsheet elements it sits in (the element itself last).
template <typename Visit> XlsxError walk(const XlsxXml::Text &xml, Visit &&visit)
{
    XlsxXmlScanner scanner(xml);
    QList<QString> path;
    for (;;) {
        switch (scanner.next()) {
        case QXmlStreamReader::EndDocument:
            return XlsxError::None;
        case QXmlStreamReader::Invalid:
            return scanner.failureReason();
        case QXmlStreamReader::StartElement:
            path.append(XlsxXml::isSpreadsheetNamespace(scanner.xml().namespaceUri())
                            ? scanner.xml().name().toString()
                            : QString());
            switch (visit(scanner, std::as_const(path))) {
            case Next::Descend:
                break;
            case Next::Skip:
                if (!scanner.skipElement())
                    return scanner.failureReason();
                path.removeLast();
                break;
            case Next::Consumed:
                if (scanner.error() != XlsxError::None)
                    return scanner.error();
                path.removeLast();
                break;
            }
            break;
        case QXmlStreamReader::EndElement:
            if (!path.isEmpty())
                path.removeLast();
            break;
        default:
            break;
        }
    }
}

bool endsWith(const QList<QString> &path, std::initializer_list<QStringView> tail)
{
    if (path.size() < qsizetype(tail.size()))
        return false;
    qsizetype i = path.size() - qsizetype(tail.size());
    for (QStringView name : tail) {
        if (path.at(i++) != name)
            return false;
    }
    return true;
}

} // namespace

std::optional<XlsxArea> XlsxArea::fromReference(QStringView reference)
{
    static const QRegularExpression pattern(
        u"^\\$?([A-Za-z]{0,3})\\$?(\\d*)(?::\\$?([A-Za-z]{0,3})\\$?(\\d*))?$"_s);
    const QRegularExpressionMatch match = pattern.match(reference.trimmed().toString());
    if (!match.hasMatch())
        return std::nullopt;
    auto column = [](QStringView letters) {
        int value = 0;
        for (QChar letter : letters)
            value = value * 26 + (letter.toUpper().unicode() - u'A' + 1);
        return value;
    };
    const bool ranged = match.capturedLength(0) > 0 && match.hasCaptured(3);
    QStringView firstLetters = match.capturedView(1);
    QStringView firstDigits = match.capturedView(2);
    QStringView lastLetters = ranged ? match.capturedView(3) : firstLetters;
    QStringView lastDigits = ranged ? match.capturedView(4) : firstDigits;
    // Whole rows ("$1:$9") or whole columns ("$A:$H") leave the other dimension open.
    if (firstLetters.isEmpty() != lastLetters.isEmpty() || firstDigits.isEmpty() != lastDigits.isEmpty() ||
        (firstLetters.isEmpty() && firstDigits.isEmpty()))
        return std::nullopt;
    XlsxArea area;
    area.firstColumn = firstLetters.isEmpty() ? 1 : column(firstLetters);
    area.lastColumn = lastLetters.isEmpty() ? XlsxXml::maxColumns : column(lastLetters);
    area.firstRow = firstDigits.isEmpty() ? 1 : firstDigits.toInt();
    area.lastRow = lastDigits.isEmpty() ? XlsxXml::maxRows : lastDigits.toInt();
    if (area.firstRow > area.lastRow)
        std::swap(area.firstRow, area.lastRow);
    if (area.firstColumn > area.lastColumn)
        std::swap(area.firstColumn, area.lastColumn);
    if (area.firstRow < 1 || area.lastRow > XlsxXml::maxRows || area.firstColumn < 1 ||
        area.lastColumn > XlsxXml::maxColumns)
        return std::nullopt;
    return area;
}

XlsxError XlsxStyleTable::parse(const XlsxXml::Text &xml)
{
    QList<Font> fonts;
    QList<Fill> fills;
    QList<Border> borders;
    QList<Xf> cellXfs;
    QHash<int, QString> formatCodes;
    XlsxBorderEdge *edge = nullptr;
    const XlsxError error = walk(xml, [&](const XlsxXmlScanner &scanner, const QList<QString> &path) {
        const QString &name = path.constLast();
        if (endsWith(path, {u"numFmts", u"numFmt"})) {
            formatCodes.insert(scanner.attribute(u"numFmtId").toInt(),
                               scanner.attribute(u"formatCode").toString());
        } else if (endsWith(path, {u"fonts", u"font"})) {
            fonts.append(Font());
        } else if (path.size() >= 3 && path.at(path.size() - 3) == u"fonts" && !fonts.isEmpty()) {
            Font &font = fonts.last();
            if (name == u"b")
                font.bold = flagOn(scanner);
            else if (name == u"i")
                font.italic = flagOn(scanner);
            else if (name == u"u")
                font.underline = scanner.attribute(u"val") != u"none";
            else if (name == u"sz")
                font.size = sizeAttribute(scanner, u"val", maxFontSize).value_or(0);
            else if (name == u"name")
                font.name = scanner.attribute(u"val").toString();
            else if (name == u"color")
                font.color = readColour(scanner).value_or(font.color);
        } else if (endsWith(path, {u"fills", u"fill"})) {
            fills.append(Fill());
        } else if (endsWith(path, {u"fill", u"patternFill"}) && !fills.isEmpty()) {
            fills.last().solid = scanner.attribute(u"patternType") == u"solid";
        } else if (endsWith(path, {u"patternFill", u"fgColor"}) && !fills.isEmpty()) {
            fills.last().color = readColour(scanner).value_or(fills.last().color);
        } else if (endsWith(path, {u"borders", u"border"})) {
            borders.append(Border());
            edge = nullptr;
        } else if (path.size() >= 3 && path.at(path.size() - 3) == u"borders" && !borders.isEmpty()) {
            Border &border = borders.last();
            edge = name == u"left" || name == u"start"  ? &border.left
                   : name == u"right" || name == u"end" ? &border.right
                   : name == u"top"                     ? &border.top
                   : name == u"bottom"                  ? &border.bottom
                                                        : nullptr;
            if (edge)
                edge->weight = borderWeight(scanner.attribute(u"style"));
        } else if (path.size() >= 4 && path.at(path.size() - 4) == u"borders" && name == u"color" && edge) {
            edge->color = readColour(scanner).value_or(edge->color);
        } else if (endsWith(path, {u"cellXfs", u"xf"})) {
            Xf xf;
            xf.numberFormat = scanner.attribute(u"numFmtId").toInt();
            xf.font = scanner.attribute(u"fontId").toInt();
            xf.fill = scanner.attribute(u"fillId").toInt();
            xf.border = scanner.attribute(u"borderId").toInt();
            cellXfs.append(xf);
        } else if (endsWith(path, {u"cellXfs", u"xf", u"alignment"}) && !cellXfs.isEmpty()) {
            Xf &xf = cellXfs.last();
            xf.horizontal = horizontalOf(scanner.attribute(u"horizontal"));
            xf.vertical = verticalOf(scanner.attribute(u"vertical"));
            xf.wrap = boolAttribute(scanner, u"wrapText");
            xf.shrink = boolAttribute(scanner, u"shrinkToFit");
            xf.indent = std::clamp(scanner.attribute(u"indent").toInt(), 0, maxIndent);
        } else if (path.size() >= 2 && (name == u"dxfs" || name == u"cellStyleXfs" || name == u"extLst")) {
            return Next::Skip; // differential and named styles do not decide how a cell prints
        }
        return Next::Descend;
    });
    if (error != XlsxError::None)
        return error;

    xfs.clear();
    for (const Xf &xf : std::as_const(cellXfs)) {
        XlsxCellStyle style;
        const Font font = fonts.value(xf.font, fonts.value(0));
        style.fontName = font.name;
        // Excel's smallest size is 1; 0 is what a missing or unreadable size came out as.
        style.fontSize = font.size > 0 ? std::max(font.size, 1.0) : 11;
        style.bold = font.bold;
        style.italic = font.italic;
        style.underline = font.underline;
        style.fontColor = font.color;
        const Fill fill = fills.value(xf.fill);
        style.filled = fill.solid;
        style.fillColor = fill.color;
        const Border border = borders.value(xf.border);
        style.left = border.left;
        style.right = border.right;
        style.top = border.top;
        style.bottom = border.bottom;
        style.horizontal = xf.horizontal;
        style.vertical = xf.vertical;
        style.wrap = xf.wrap;
        style.shrink = xf.shrink;
        style.indent = xf.indent;
        style.numberFormat = formatCodes.contains(xf.numberFormat)
                                 ? formatCodes.value(xf.numberFormat)
                                 : XlsxNumberFormat::builtinCode(xf.numberFormat);
        xfs.append(style);
    }
    fallback = XlsxCellStyle();
    fallback.fontName = fonts.isEmpty() ? u"Calibri"_s : fonts.first().name;
    return XlsxError::None;
}

const XlsxCellStyle &XlsxStyleTable::style(int xf) const
{
    if (xf >= 0 && xf < xfs.size())
        return xfs.at(xf);
    return xfs.isEmpty() ? fallback : xfs.first();
}

XlsxCellStyle XlsxStyleTable::withFormat(XlsxCellStyle style, const XlsxCellFormat &format)
{
    if (format.centre) {
        style.horizontal = XlsxCellStyle::Horizontal::Centre;
        style.vertical = XlsxCellStyle::Vertical::Centre;
    }
    if (format.wrap)
        style.wrap = true;
    if (format.fontSize > 0)
        style.fontSize = format.fontSize;
    if (format.bold)
        style.bold = true;
    if (format.fill) {
        style.filled = true;
        style.fillColor = format.fillColor;
    }
    if (format.noFill)
        style.filled = false;
    for (const auto &[flag, edge] : {std::pair{XlsxCellFormat::LeftEdge, &style.left},
                                     {XlsxCellFormat::RightEdge, &style.right},
                                     {XlsxCellFormat::TopEdge, &style.top},
                                     {XlsxCellFormat::BottomEdge, &style.bottom}}) {
        if (format.noBorder & flag)
            edge->weight = XlsxBorderEdge::None;
    }
    return style;
}

XlsxError XlsxSheetView::parseLayout(const XlsxXml::Text &sheetXml)
{
    columns.clear();
    rows.clear();
    mergedAreas.clear();
    double baseWidth = -1;
    bool explicitDefault = false;
    int lastRow = 0;
    const XlsxError error = walk(sheetXml, [&](const XlsxXmlScanner &scanner, const QList<QString> &path) {
        const QString &name = path.constLast();
        if (path.size() == 2 && name == u"sheetFormatPr") {
            if (const auto width = sizeAttribute(scanner, u"defaultColWidth", maxColumnWidth)) {
                defaultColumnWidth = *width;
                explicitDefault = true;
            }
            baseWidth = sizeAttribute(scanner, u"baseColWidth", maxColumnWidth).value_or(baseWidth);
            defaultRowHeight =
                sizeAttribute(scanner, u"defaultRowHeight", maxRowHeight).value_or(defaultRowHeight);
        } else if (endsWith(path, {u"cols", u"col"})) {
            Span span;
            span.first = scanner.attribute(u"min").toInt();
            span.last = scanner.attribute(u"max").toInt();
            span.width = sizeAttribute(scanner, u"width", maxColumnWidth).value_or(-1);
            span.hidden = boolAttribute(scanner, u"hidden");
            if (span.first >= 1 && span.last >= span.first)
                columns.append(span);
        } else if (endsWith(path, {u"sheetData", u"row"})) {
            bool ok = false;
            const int number = scanner.attribute(u"r").toInt(&ok);
            lastRow = ok ? number : lastRow + 1;
            Row row;
            row.height = sizeAttribute(scanner, u"ht", maxRowHeight).value_or(-1);
            row.hidden = boolAttribute(scanner, u"hidden");
            if (row.height >= 0 || row.hidden)
                rows.insert(lastRow, row);
            return Next::Skip;
        } else if (endsWith(path, {u"mergeCells", u"mergeCell"})) {
            const std::optional<XlsxArea> area = XlsxArea::fromReference(scanner.attribute(u"ref"));
            if (area && !area->isEmpty())
                mergedAreas.append(*area);
        } else if (path.size() == 2 && name != u"sheetFormatPr" && name != u"cols" && name != u"sheetData" &&
                   name != u"mergeCells") {
            return Next::Skip;
        }
        return Next::Descend;
    });
    // Without a default width Excel derives one from the base width and the cell padding.
    if (!explicitDefault && baseWidth >= 0)
        defaultColumnWidth = std::min(baseWidth + 5.0 / 7.0, maxColumnWidth);
    return error;
}

XlsxError XlsxSheetView::parseWorkbook(const XlsxXml::Text &workbookXml)
{
    definedPrintArea.reset();
    dates1904 = false;
    return walk(workbookXml, [&](XlsxXmlScanner &scanner, const QList<QString> &path) {
        if (path.size() == 2 && path.constLast() == u"workbookPr") {
            dates1904 = boolAttribute(scanner, u"date1904");
            return Next::Skip;
        }
        if (!endsWith(path, {u"definedNames", u"definedName"}))
            return path.size() < 2 || path.constLast() == u"definedNames" ? Next::Descend : Next::Skip;
        const bool forFirstSheet = scanner.attribute(u"localSheetId") == u"0";
        const bool printArea =
            scanner.attribute(u"name").compare(u"_xlnm.Print_Area"_s, Qt::CaseInsensitive) == 0;
        if (!forFirstSheet || !printArea || definedPrintArea)
            return Next::Skip;
        // Of several ranges the first prints on the first page.
        definedPrintArea = XlsxArea::fromReference(firstPrintRange(scanner.readAllText()));
        return Next::Consumed;
    });
}

const XlsxSheetView::Span *XlsxSheetView::columnSpan(int column) const
{
    for (const Span &span : columns) {
        if (column >= span.first && column <= span.last)
            return &span;
    }
    return nullptr;
}

double XlsxSheetView::columnWidth(int column) const
{
    const Span *span = columnSpan(column);
    if (!span)
        return defaultColumnWidth;
    if (span->hidden)
        return 0;
    return span->width >= 0 ? span->width : defaultColumnWidth;
}

bool XlsxSheetView::isColumnHidden(int column) const
{
    const Span *span = columnSpan(column);
    return (span && span->hidden) || columnWidth(column) <= 0;
}

double XlsxSheetView::rowHeight(int row) const
{
    const auto it = rows.constFind(row);
    if (it == rows.constEnd())
        return defaultRowHeight;
    if (it->hidden)
        return 0;
    return it->height >= 0 ? it->height : defaultRowHeight;
}

bool XlsxSheetView::isRowHidden(int row) const
{
    return rowHeight(row) <= 0;
}

XlsxArea XlsxSheetView::printedArea() const
{
    XlsxArea area = usedArea;
    if (definedPrintArea) {
        // Whole rows or columns print as far as the sheet is used, as spreadsheets do.
        XlsxArea printed = *definedPrintArea;
        if (printed.lastRow == XlsxXml::maxRows)
            printed.lastRow = std::max(printed.firstRow, area.lastRow);
        if (printed.lastColumn == XlsxXml::maxColumns)
            printed.lastColumn = std::max(printed.firstColumn, area.lastColumn);
        return printed;
    }
    if (area.isEmpty())
        return area;
    for (const XlsxArea &merge : mergedAreas) {
        if (merge.lastRow < area.firstRow || merge.firstRow > area.lastRow ||
            merge.lastColumn < area.firstColumn || merge.firstColumn > area.lastColumn)
            continue;
        area.firstRow = std::min(area.firstRow, merge.firstRow);
        area.firstColumn = std::min(area.firstColumn, merge.firstColumn);
        area.lastRow = std::max(area.lastRow, merge.lastRow);
        area.lastColumn = std::max(area.lastColumn, merge.lastColumn);
    }
    return area;
}

} // namespace Velmora
