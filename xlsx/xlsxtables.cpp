#include "xlsxtables.h"

#include "xlsxpackageedit.h"
#include "xlsxxmlscanner.h"

#include <QSet>

using namespace Qt::StringLiterals;

namespace Velmora::XlsxTables {

namespace {

struct Column
{
    QString name;
    qsizetype begin = 0;
    qsizetype startTagEnd = 0;
};

struct Table
{
    int headerRow = 0;
    int firstColumn = 0;
    QList<Column> columns;
};

// False for a part that is no table, or a table without a header row.
bool parseTable(const XlsxXml::Text &xml, Table *out)
{
    XlsxXmlScanner scanner(xml);
    int depth = 0;
    bool inColumns = false;
    for (;;) {
        switch (scanner.next()) {
        case QXmlStreamReader::EndDocument:
            return out->headerRow > 0;
        case QXmlStreamReader::Invalid:
            return false;
        case QXmlStreamReader::StartElement:
            ++depth;
            if (depth == 1) {
                if (!scanner.isSpreadsheet(u"table"))
                    return false;
                const QStringView headerRows = scanner.attribute(u"headerRowCount");
                if (!headerRows.isNull() && headerRows.trimmed().toInt() == 0)
                    return false;
                const QStringView ref = scanner.attribute(u"ref").trimmed();
                const qsizetype colon = ref.indexOf(u':');
                if (!XlsxXml::parseCellReference(colon < 0 ? ref : ref.left(colon), &out->headerRow,
                                                 &out->firstColumn))
                    return false;
            } else if (depth == 2) {
                inColumns = scanner.isSpreadsheet(u"tableColumns");
            } else if (depth == 3 && inColumns && scanner.isSpreadsheet(u"tableColumn")) {
                out->columns.append({XlsxXml::unescapeOoxml(scanner.attribute(u"name").toString()),
                                     scanner.tagBegin(), scanner.tagEnd()});
            }
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        default:
            break;
        }
    }
}

// Line breaks and tabs would be normalised to spaces inside an attribute value.
QString escapedName(const QString &name)
{
    QString out = XlsxXml::escapeOoxml(name);
    out.replace(u'\n', u"_x000A_"_s);
    out.replace(u'\t', u"_x0009_"_s);
    return out;
}

QString freeName(const QString &wanted, const QSet<QString> &taken)
{
    if (!wanted.isEmpty() && !taken.contains(wanted.toCaseFolded()))
        return wanted;
    const QString stem = wanted.isEmpty() ? u"列"_s : wanted;
    for (int n = wanted.isEmpty() ? 1 : 2;; ++n) {
        QString name = stem + QString::number(n);
        if (!taken.contains(name.toCaseFolded()))
            return name;
    }
}

} // namespace

void followHeaderCells(XlsxPackageEdit &parts, const QString &sheetPath,
                       QMap<quint64, XlsxSheet::Edit> *edits)
{
    QList<XlsxRelationship> relationships;
    if (parts.relationshipsOf(sheetPath, &relationships) != XlsxError::None)
        return;
    for (const XlsxRelationship &relationship : std::as_const(relationships)) {
        if (!XlsxXml::isRelationshipType(relationship.type, u"table") || !parts.holds(relationship.target))
            continue;
        XlsxXml::Text xml;
        Table table;
        if (parts.readXml(relationship.target, &xml) != XlsxError::None || !parseTable(xml, &table))
            continue;
        QList<int> changed;
        QSet<QString> taken;
        for (int i = 0; i < table.columns.size(); ++i) {
            const auto edit = edits->constFind(XlsxSheet::key(table.headerRow, table.firstColumn + i));
            if (edit != edits->constEnd() && edit->setText)
                changed.append(i);
            else
                taken.insert(table.columns.at(i).name.toCaseFolded());
        }
        if (changed.isEmpty())
            continue;
        QString text;
        qsizetype pos = 0;
        for (int i : std::as_const(changed)) {
            XlsxSheet::Edit &edit = (*edits)[XlsxSheet::key(table.headerRow, table.firstColumn + i)];
            const QString name = freeName(edit.text, taken);
            taken.insert(name.toCaseFolded());
            if (edit.text.isEmpty())
                edit.text = name;
            const Column &column = table.columns.at(i);
            text += QStringView(xml.text).mid(pos, column.begin - pos);
            text += XlsxXml::setTagAttribute(xml.text.mid(column.begin, column.startTagEnd - column.begin),
                                             u"name", escapedName(name));
            pos = column.startTagEnd;
        }
        text += QStringView(xml.text).mid(pos);
        parts.replace(relationship.target, XlsxXml::encode(text, xml.encoding));
    }
}

} // namespace Velmora::XlsxTables
