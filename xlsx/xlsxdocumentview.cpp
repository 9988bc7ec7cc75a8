#include "xlsxdocument.h"
#include "xlsxnumberformat.h"
#include "xlsxpackage.h"
#include "xlsxsheet.h"
#include "xlsxsheetview.h"

#include <QSet>

using namespace Qt::StringLiterals;

namespace Velmora {

XlsxError XlsxDocument::readSheetLayout(XlsxSheetView *out)
{
    if (!sheet)
        return XlsxError::NotOpen;
    QByteArray bytes;
    XlsxXml::Text xml;
    XlsxError error = package->read(sheetPath, &bytes);
    if (error == XlsxError::None)
        error = XlsxXml::decode(bytes, &xml);
    return error == XlsxError::None ? out->parseLayout(xml) : error;
}

XlsxError XlsxDocument::readSheetView(XlsxSheetView *out)
{
    if (!sheet)
        return XlsxError::NotOpen;
    auto readXml = [this](const QString &name, XlsxXml::Text *xml) {
        QByteArray bytes;
        XlsxError error = package->read(name, &bytes);
        if (error == XlsxError::None)
            error = XlsxXml::decode(bytes, xml);
        return error;
    };
    XlsxXml::Text xml;
    XlsxError error = readXml(sheetPath, &xml);
    if (error == XlsxError::None)
        error = out->parseLayout(xml);
    if (error == XlsxError::None)
        error = readXml(workbookPath, &xml);
    if (error == XlsxError::None)
        error = out->parseWorkbook(xml);
    XlsxStyleTable table;
    // A workbook without a style sheet prints in Excel's default style.
    if (error == XlsxError::None && !package->find(stylesPath).isEmpty()) {
        error = readXml(stylesPath, &xml);
        if (error == XlsxError::None)
            error = table.parse(xml);
    }
    if (error != XlsxError::None)
        return error;

    const XlsxRange used = usedRange();
    out->usedArea = {used.firstRow, used.firstColumn, used.firstRow + used.rowCount - 1,
                     used.firstColumn + used.columnCount - 1};
    QList<quint64> keys = sheet->storedCells();
    const QSet<quint64> stored(keys.cbegin(), keys.cend());
    for (auto it = pending.constBegin(); it != pending.constEnd(); ++it) {
        if (!stored.contains(it.key()))
            keys.append(it.key());
    }
    std::sort(keys.begin(), keys.end());
    out->cells.clear();
    out->cells.reserve(keys.size());
    QHash<QString, XlsxNumberFormat> formats;
    for (const quint64 key : std::as_const(keys)) {
        XlsxSheetView::Cell cell;
        cell.row = int(key >> 32);
        cell.column = int(key & 0xFFFFFFFFu);
        cell.text = cellText(cell.row, cell.column);
        cell.style = table.style(sheet->styleIndex(cell.row, cell.column));
        const auto edit = pending.constFind(key);
        if (edit != pending.constEnd() && edit->hasFormat)
            cell.style = XlsxStyleTable::withFormat(cell.style, edit->format);
        // The template's own values print as the spreadsheet shows them; what the chart wrote
        // in is text already.
        if (edit == pending.constEnd() || !edit->hasText) {
            const QString &code = cell.style.numberFormat;
            auto format = formats.find(code);
            if (format == formats.end())
                format = formats.insert(code, XlsxNumberFormat(code));
            bool ok = false;
            const double value = cell.text.toDouble(&ok);
            cell.text = sheet->isNumber(cell.row, cell.column) && ok ? format->format(value, out->date1904())
                                                                     : format->formatText(cell.text);
        }
        out->cells.append(cell);
    }
    return XlsxError::None;
}

} // namespace Velmora
