#include "xlsxsheet.h"

#include "xlsxxmlscanner.h"

#include <QSet>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Velmora {

struct XlsxSheet::Splice
{
    qsizetype at = 0;
    qsizetype length = 0;
    QString text;
};

QString XlsxSheet::applySplices(const QString &source, QList<Splice> splices)
{
    // Insertions go before a replacement that starts at the same place.
    std::stable_sort(splices.begin(), splices.end(), [](const Splice &a, const Splice &b) {
        return a.at != b.at ? a.at < b.at : (a.length == 0 && b.length > 0);
    });
    QString out;
    out.reserve(source.size() + 256 * splices.size());
    qsizetype pos = 0;
    for (const Splice &splice : std::as_const(splices)) {
        out += QStringView(source).mid(pos, splice.at - pos);
        out += splice.text;
        pos = splice.at + splice.length;
    }
    out += QStringView(source).mid(pos);
    return out;
}

XlsxError XlsxSheet::parse(const QByteArray &bytes, const QStringList &sharedStrings,
                           const XlsxLimits &newLimits)
{
    limits = newLimits;
    if (const XlsxError error = XlsxXml::decode(bytes, &xml); error != XlsxError::None)
        return error;
    XlsxXmlScanner scanner(xml);
    int depth = 0;
    bool seenSheetData = false;
    for (;;) {
        const QXmlStreamReader::TokenType token = scanner.next();
        if (token == QXmlStreamReader::EndDocument)
            break;
        if (token == QXmlStreamReader::Invalid)
            return scanner.failureReason();
        if (token == QXmlStreamReader::EndElement) {
            --depth;
        } else if (token == QXmlStreamReader::StartElement) {
            ++depth;
            if (depth == 1 && !scanner.isSpreadsheet(u"worksheet"))
                return XlsxError::MalformedXml;
            if (depth == 2 && scanner.isSpreadsheet(u"dimension")) {
                dimensionBegin = scanner.tagBegin();
                dimensionEnd = scanner.tagEnd();
            } else if (depth == 2 && scanner.isSpreadsheet(u"mergeCells")) {
                const XlsxError error = scanner.readChildren(u"mergeCell", [&] {
                    const QStringView ref = scanner.attribute(u"ref");
                    const qsizetype colon = ref.indexOf(u':');
                    Bounds merge;
                    if (colon > 0 &&
                        XlsxXml::parseCellReference(ref.left(colon).trimmed(), &merge.firstRow,
                                                    &merge.firstColumn) &&
                        XlsxXml::parseCellReference(ref.mid(colon + 1).trimmed(), &merge.lastRow,
                                                    &merge.lastColumn) &&
                        merge.firstRow <= merge.lastRow && merge.firstColumn <= merge.lastColumn) {
                        mergeAt.insert(key(merge.firstRow, merge.firstColumn), int(merges.size()));
                        merges.append(merge);
                    }
                    return scanner.skipElement() ? XlsxError::None : scanner.failureReason();
                });
                if (error != XlsxError::None)
                    return error;
                --depth;
            } else if (depth == 2 && scanner.isSpreadsheet(u"sheetData") && !seenSheetData) {
                seenSheetData = true;
                const XlsxError error = parseSheetData(scanner, sharedStrings);
                if (error != XlsxError::None)
                    return error;
                --depth;
            }
        }
    }
    if (!seenSheetData)
        return XlsxError::MalformedXml;
    for (const Cell &cell : std::as_const(cells)) {
        if (used.isEmpty()) {
            used = {cell.row, cell.column, cell.row, cell.column};
            continue;
        }
        used.firstRow = std::min(used.firstRow, cell.row);
        used.firstColumn = std::min(used.firstColumn, cell.column);
        used.lastRow = std::max(used.lastRow, cell.row);
        used.lastColumn = std::max(used.lastColumn, cell.column);
    }
    return XlsxError::None;
}

XlsxError XlsxSheet::parseSheetData(XlsxXmlScanner &scanner, const QStringList &sharedStrings)
{
    sheetDataBegin = scanner.tagBegin();
    sheetDataStartEnd = scanner.tagEnd();
    sheetDataName = scanner.xml().qualifiedName().toString();
    sheetDataSelfClosing = scanner.isSelfClosing();
    int lastRow = 0;
    const XlsxError error =
        scanner.readChildren(u"row", [&] { return parseRow(scanner, sharedStrings, &lastRow); });
    if (error != XlsxError::None)
        return error;
    sheetDataEndBegin = scanner.tagBegin();
    sheetDataEnd = scanner.tagEnd();
    return XlsxError::None;
}

XlsxError XlsxSheet::parseRow(XlsxXmlScanner &scanner, const QStringList &sharedStrings, int *lastRow)
{
    Row row;
    row.begin = scanner.tagBegin();
    row.startTagEnd = scanner.tagEnd();
    row.selfClosing = scanner.isSelfClosing();
    row.qualifiedName = scanner.xml().qualifiedName().toString();
    row.firstCell = int(cells.size());
    const QStringView number = scanner.attribute(u"r");
    if (number.isNull()) {
        row.number = *lastRow + 1;
    } else {
        bool ok = false;
        row.number = number.trimmed().toInt(&ok);
        if (!ok)
            return XlsxError::MalformedXml;
    }
    if (row.number < 1 || row.number > XlsxXml::maxRows)
        return XlsxError::MalformedXml;
    if (rows.size() >= limits.rows)
        return XlsxError::TooManyCells;
    *lastRow = row.number;
    int lastColumn = 0;
    const XlsxError error =
        scanner.readChildren(u"c", [&] { return parseCell(scanner, sharedStrings, row, &lastColumn); });
    if (error != XlsxError::None)
        return error;
    row.endTagBegin = scanner.tagBegin();
    row.end = scanner.tagEnd();
    row.cellCount = int(cells.size()) - row.firstCell;
    rows.append(row);
    return XlsxError::None;
}

// What a c element holds besides its position and style.
struct XlsxSheet::CellContent
{
    QString type;
    QString value;
    bool hasValue = false;
    QString inlineText;
    bool hasInline = false;
};

XlsxError XlsxSheet::parseCell(XlsxXmlScanner &scanner, const QStringList &sharedStrings, Row &row,
                               int *lastColumn)
{
    Cell cell;
    CellContent content;
    XlsxError error = readCellStart(scanner, row, lastColumn, &cell, &content);
    if (error == XlsxError::None)
        error = readCellContent(scanner, &cell, &content);
    if (error != XlsxError::None)
        return error;
    cell.end = scanner.tagEnd();
    row.cellsEnd = cell.end;
    if (!content.hasValue && !content.hasInline && cell.formulaBegin < 0 && cell.style < 0) {
        ++row.bareCells;
        return XlsxError::None;
    }
    if (cells.size() >= limits.cells)
        return XlsxError::TooManyCells;
    error = displayedText(content, sharedStrings, &cell.text);
    if (error != XlsxError::None)
        return error;
    cell.number = content.hasValue && (content.type.isEmpty() || content.type == u"n");
    const quint64 k = key(cell.row, cell.column);
    if (!cellIndex.contains(k))
        cellIndex.insert(k, int(cells.size()));
    cells.append(cell);
    return XlsxError::None;
}

// The start tag: where the cell sits, its style and its type.
XlsxError XlsxSheet::readCellStart(XlsxXmlScanner &scanner, const Row &row, int *lastColumn, Cell *cell,
                                   CellContent *content) const
{
    cell->row = row.number;
    cell->rowIndex = int(rows.size());
    cell->begin = scanner.tagBegin();
    cell->startTagEnd = scanner.tagEnd();
    cell->prefix = XlsxXml::prefixOf(scanner.xml().qualifiedName());
    const QStringView ref = scanner.attribute(u"r");
    cell->hasReference = !ref.isNull();
    if (ref.isNull()) {
        cell->column = *lastColumn + 1;
    } else {
        int refRow = 0;
        if (!XlsxXml::parseCellReference(ref.trimmed(), &refRow, &cell->column))
            return XlsxError::MalformedXml;
    }
    if (cell->column > XlsxXml::maxColumns)
        return XlsxError::MalformedXml;
    *lastColumn = cell->column;
    const QStringView style = scanner.attribute(u"s");
    if (!style.isNull())
        cell->style = std::max(0, style.trimmed().toInt());
    content->type = scanner.attribute(u"t").toString();
    return XlsxError::None;
}

// The children up to the cell's end tag: value, inline string and where a formula sits.
XlsxError XlsxSheet::readCellContent(XlsxXmlScanner &scanner, Cell *cell, CellContent *content) const
{
    if (scanner.isSelfClosing()) {
        scanner.next();
        return scanner.error();
    }
    for (;;) {
        switch (scanner.next()) {
        case QXmlStreamReader::EndElement:
            return scanner.error();
        case QXmlStreamReader::StartElement:
            if (scanner.isSpreadsheet(u"v")) {
                content->value = scanner.readAllText();
                content->hasValue = true;
            } else if (scanner.isSpreadsheet(u"is")) {
                content->inlineText = scanner.readStringItem();
                content->hasInline = true;
            } else if (scanner.isSpreadsheet(u"f")) {
                cell->formulaBegin = scanner.tagBegin();
                if (scanner.attribute(u"t") == u"shared") {
                    const QString si = scanner.attribute(u"si").toString();
                    if (scanner.attribute(u"ref").isNull())
                        cell->sharedChild = si;
                    else
                        cell->sharedMaster = si;
                }
                if (!scanner.skipElement())
                    return scanner.failureReason();
                cell->formulaEnd = scanner.tagEnd();
            } else if (!scanner.skipElement()) {
                return scanner.failureReason();
            }
            break;
        case QXmlStreamReader::Invalid:
        case QXmlStreamReader::EndDocument:
            return scanner.failureReason();
        default:
            break;
        }
    }
}

// The text a spreadsheet program shows for the cell's value.
XlsxError XlsxSheet::displayedText(const CellContent &content, const QStringList &sharedStrings,
                                   QString *text)
{
    const QString &type = content.type;
    const QString &value = content.value;
    if (type == u"s") {
        if (content.hasValue) {
            bool ok = false;
            const int index = value.trimmed().toInt(&ok);
            if (!ok || index < 0 || index >= sharedStrings.size())
                return XlsxError::SharedStringOutOfRange;
            *text = sharedStrings.at(index);
        }
    } else if (type == u"inlineStr") {
        *text = content.inlineText;
    } else if (type == u"b") {
        *text = value.trimmed() == u"1" ? u"TRUE"_s : value.trimmed() == u"0" ? u"FALSE"_s : value;
    } else if (type == u"str") {
        *text = XlsxXml::unescapeOoxml(value);
    } else {
        *text = value;
    }
    return XlsxError::None;
}

QString XlsxSheet::cellText(int row, int column) const
{
    const auto it = cellIndex.constFind(key(row, column));
    return it == cellIndex.constEnd() ? QString() : cells.at(*it).text;
}

bool XlsxSheet::isNumber(int row, int column) const
{
    const auto it = cellIndex.constFind(key(row, column));
    return it != cellIndex.constEnd() && cells.at(*it).number;
}

XlsxSheet::Bounds XlsxSheet::mergedRange(int row, int column) const
{
    if (const auto it = mergeAt.constFind(key(row, column)); it != mergeAt.constEnd())
        return merges.at(*it);
    for (qsizetype i = 0; i < std::min<qsizetype>(merges.size(), maxSearchedMerges); ++i) {
        const Bounds &merge = merges.at(i);
        if (row >= merge.firstRow && row <= merge.lastRow && column >= merge.firstColumn &&
            column <= merge.lastColumn)
            return merge;
    }
    return {};
}

QList<quint64> XlsxSheet::storedCells() const
{
    QList<quint64> keys = cellIndex.keys();
    std::sort(keys.begin(), keys.end());
    return keys;
}

int XlsxSheet::styleIndex(int row, int column) const
{
    const auto it = cellIndex.constFind(key(row, column));
    return it == cellIndex.constEnd() ? 0 : std::max(0, cells.at(*it).style);
}

QString XlsxSheet::newCell(const QString &prefix, int row, int column, int style, const QString &text)
{
    // Written by hand: a QXmlStreamWriter per cell cost more than the rest of the save.
    QString out;
    out.reserve(64 + 3 * prefix.size() + text.size() * 2);
    out += u'<' + prefix + u"c r=\"" + XlsxXml::cellReference(row, column) + u'"';
    if (style >= 0)
        out += u" s=\"" + QString::number(style) + u'"';
    // An empty text clears the cell rather than leaving an empty string behind.
    if (text.isEmpty())
        return out + u"/>";
    out += u" t=\"inlineStr\"><" + prefix + u"is><" + prefix + u"t xml:space=\"preserve\">";
    out += XlsxXml::escapeMarkup(XlsxXml::escapeOoxml(text));
    return out + u"</" + prefix + u"t></" + prefix + u"is></" + prefix + u"c>";
}

QString XlsxSheet::renderCell(const Cell &cell, const Edit *edit, bool stripFormula, bool giveReference) const
{
    const QString &text = xml.text;
    if (edit && edit->setText)
        return newCell(cell.prefix, cell.row, cell.column, edit->style >= 0 ? edit->style : cell.style,
                       edit->text);
    QString startTag = text.mid(cell.begin, cell.startTagEnd - cell.begin);
    if (giveReference && !cell.hasReference)
        startTag = XlsxXml::setTagAttribute(startTag, u"r", XlsxXml::cellReference(cell.row, cell.column));
    if (edit && edit->style >= 0)
        startTag = XlsxXml::setTagAttribute(startTag, u"s", QString::number(edit->style));
    if (stripFormula && cell.formulaBegin >= 0)
        return startTag + QStringView(text).mid(cell.startTagEnd, cell.formulaBegin - cell.startTagEnd) +
               QStringView(text).mid(cell.formulaEnd, cell.end - cell.formulaEnd);
    return startTag + QStringView(text).mid(cell.startTagEnd, cell.end - cell.startTagEnd);
}

QString XlsxSheet::renderRow(const Row &row, const QMap<quint64, Edit> &edits,
                             const QSet<QString> &removedMasters, bool insertsCells) const
{
    const QString &text = xml.text;
    QString startTag = text.mid(row.begin, row.startTagEnd - row.begin);
    if (insertsCells) {
        // The spans hint would no longer cover the row's cells.
        startTag = XlsxXml::removeTagAttribute(startTag, u"spans");
        startTag = XlsxXml::openTag(startTag);
    }
    QString out = startTag;
    const QString prefix = XlsxXml::prefixOf(row.qualifiedName);
    auto insert = edits.lowerBound(key(row.number, 0));
    const auto insertEnd = edits.lowerBound(key(row.number + 1, 0));
    auto emitInsertsBefore = [&](int column) {
        for (; insert != insertEnd && int(insert.key() & 0xFFFFFFFFu) < column; ++insert) {
            const int c = int(insert.key() & 0xFFFFFFFFu);
            if (!hasCell(row.number, c))
                out +=
                    newCell(prefix, row.number, c, insert->style, insert->setText ? insert->text : QString());
        }
    };
    // Bare cells were never kept, so a new cell could land on one of them and make a duplicate;
    // such a row is rebuilt from its kept cells alone, which loses nothing as long as a kept cell
    // that counted its column on from a dropped one is given its reference.
    const bool dropBare = insertsCells && row.bareCells > 0;
    qsizetype pos = row.startTagEnd;
    for (int i = row.firstCell; i < row.firstCell + row.cellCount; ++i) {
        const Cell &cell = cells.at(i);
        if (!dropBare)
            out += QStringView(text).mid(pos, cell.begin - pos);
        emitInsertsBefore(cell.column);
        const auto edit = edits.constFind(key(cell.row, cell.column));
        // Only the first of duplicated cells counts as the cell; the rest are copied as they are.
        const bool isTheCell = cellIndex.value(key(cell.row, cell.column)) == i;
        const bool strip = !cell.sharedChild.isEmpty() && removedMasters.contains(cell.sharedChild);
        out += renderCell(cell, isTheCell && edit != edits.constEnd() ? &*edit : nullptr, strip, dropBare);
        pos = cell.end;
    }
    if (row.selfClosing) {
        emitInsertsBefore(XlsxXml::maxColumns + 1);
        if (insertsCells)
            out += u"</" + row.qualifiedName + u'>';
        return out;
    }
    if (dropBare)
        pos = row.cellsEnd;
    out += QStringView(text).mid(pos, row.endTagBegin - pos);
    emitInsertsBefore(XlsxXml::maxColumns + 1);
    out += QStringView(text).mid(row.endTagBegin, row.end - row.endTagBegin);
    return out;
}

// Which rows a set of edits touches, and how.
struct XlsxSheet::PatchPlan
{
    // A shared formula lives in its first cell; once that cell is overwritten the cells that
    // borrow it would point at nothing, so they keep their cached values as constants.
    QSet<QString> removedMasters;
    QSet<int> touchedRows; // indexes into rows
    QSet<int> rowsWithInserts;
    QMap<int, QList<quint64>> newRows; // row number -> its cells
    Bounds grown;
    bool formulaDropped = false;
};

QByteArray XlsxSheet::patch(const QMap<quint64, Edit> &edits, bool *formulaDropped) const
{
    const PatchPlan plan = planPatch(edits);
    *formulaDropped = plan.formulaDropped;
    QList<Splice> splices;
    for (int index : std::as_const(plan.touchedRows)) {
        const Row &row = rows.at(index);
        splices.append({row.begin, row.end - row.begin,
                        renderRow(row, edits, plan.removedMasters, plan.rowsWithInserts.contains(index))});
    }
    spliceNewRows(plan.newRows, edits, &splices);
    const Bounds &grown = plan.grown;
    const bool rangeGrew = grown.firstRow != used.firstRow || grown.firstColumn != used.firstColumn ||
                           grown.lastRow != used.lastRow || grown.lastColumn != used.lastColumn;
    if (dimensionBegin >= 0 && rangeGrew) {
        QString ref = XlsxXml::cellReference(grown.firstRow, grown.firstColumn);
        if (grown.lastRow != grown.firstRow || grown.lastColumn != grown.firstColumn)
            ref += u':' + XlsxXml::cellReference(grown.lastRow, grown.lastColumn);
        splices.append({dimensionBegin, dimensionEnd - dimensionBegin,
                        XlsxXml::setTagAttribute(xml.text.mid(dimensionBegin, dimensionEnd - dimensionBegin),
                                                 u"ref", ref)});
    }
    return XlsxXml::encode(applySplices(xml.text, splices), xml.encoding);
}

XlsxSheet::PatchPlan XlsxSheet::planPatch(const QMap<quint64, Edit> &edits) const
{
    PatchPlan plan;
    plan.grown = used;
    QHash<int, int> rowByNumber;
    for (int i = 0; i < rows.size(); ++i) {
        if (!rowByNumber.contains(rows.at(i).number))
            rowByNumber.insert(rows.at(i).number, i);
    }
    for (auto it = edits.constBegin(); it != edits.constEnd(); ++it) {
        const int r = int(it.key() >> 32);
        const int c = int(it.key() & 0xFFFFFFFFu);
        const auto existing = cellIndex.constFind(it.key());
        if (existing != cellIndex.constEnd()) {
            const Cell &cell = cells.at(*existing);
            if (it->setText && cell.formulaBegin >= 0) {
                plan.formulaDropped = true;
                if (!cell.sharedMaster.isEmpty())
                    plan.removedMasters.insert(cell.sharedMaster);
            }
            plan.touchedRows.insert(cell.rowIndex);
            continue;
        }
        Bounds &grown = plan.grown;
        if (grown.isEmpty()) {
            grown = {r, c, r, c};
        } else {
            grown.firstRow = std::min(grown.firstRow, r);
            grown.firstColumn = std::min(grown.firstColumn, c);
            grown.lastRow = std::max(grown.lastRow, r);
            grown.lastColumn = std::max(grown.lastColumn, c);
        }
        const auto row = rowByNumber.constFind(r);
        if (row == rowByNumber.constEnd()) {
            plan.newRows[r].append(it.key());
        } else {
            plan.touchedRows.insert(*row);
            plan.rowsWithInserts.insert(*row);
        }
    }
    if (!plan.removedMasters.isEmpty()) {
        for (const Cell &cell : cells) {
            if (!cell.sharedChild.isEmpty() && plan.removedMasters.contains(cell.sharedChild))
                plan.touchedRows.insert(cell.rowIndex);
        }
    }
    return plan;
}

// Rows the sheet does not have yet, each before the first row numbered after it so that rows
// stay in order, or else at the end of the sheet data.
void XlsxSheet::spliceNewRows(const QMap<int, QList<quint64>> &newRows, const QMap<quint64, Edit> &edits,
                              QList<Splice> *splices) const
{
    const QString prefix = XlsxXml::prefixOf(sheetDataName);
    auto renderNewRow = [&](int number, const QList<quint64> &keys) -> QString {
        QString out = u'<' + prefix + u"row r=\"" + QString::number(number) + u"\">";
        for (quint64 k : keys) {
            const Edit &edit = edits[k];
            out += newCell(prefix, number, int(k & 0xFFFFFFFFu), edit.style,
                           edit.setText ? edit.text : QString());
        }
        return out + u"</" + prefix + u"row>";
    };
    QString trailing;
    for (auto it = newRows.constBegin(); it != newRows.constEnd(); ++it) {
        const auto before =
            std::find_if(rows.cbegin(), rows.cend(), [&](const Row &row) { return row.number > it.key(); });
        if (before != rows.cend())
            splices->append({before->begin, 0, renderNewRow(it.key(), it.value())});
        else
            trailing += renderNewRow(it.key(), it.value());
    }
    if (trailing.isEmpty())
        return;
    if (sheetDataSelfClosing)
        splices->append({sheetDataBegin, sheetDataStartEnd - sheetDataBegin,
                         XlsxXml::openTag(xml.text.mid(sheetDataBegin, sheetDataStartEnd - sheetDataBegin)) +
                             trailing + u"</" + sheetDataName + u'>'});
    else
        splices->append({sheetDataEndBegin, 0, trailing});
}

} // namespace Velmora
