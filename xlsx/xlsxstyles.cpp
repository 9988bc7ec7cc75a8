#include "xlsxstyles.h"

#include "xlsxxmlscanner.h"

#include <QMap>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Velmora {

namespace {

// Excel writes the children of a font in this order and some readers expect it.
int fontChildOrder(QStringView name)
{
    static const QStringView order[] = {u"b",       u"i",      u"strike", u"condense",  u"extend",
                                        u"outline", u"shadow", u"u",      u"vertAlign", u"sz",
                                        u"color",   u"name",   u"family", u"charset",   u"scheme"};
    for (int i = 0; i < int(std::size(order)); ++i) {
        if (order[i] == name)
            return i;
    }
    return int(std::size(order));
}

QString formatNumber(double value)
{
    return QString::number(value, 'g', 15);
}

} // namespace

XlsxError XlsxStyles::parse(const QByteArray &bytes)
{
    if (const XlsxError error = XlsxXml::decode(bytes, &xml); error != XlsxError::None)
        return error;
    Layout layout;
    XlsxError error = scan(&layout);
    if (error != XlsxError::None)
        return error;
    const QString text = withMissingLists(layout);
    if (text.isEmpty())
        return XlsxError::None;
    // Scanned once more, so that the added lists are found like any others.
    completed = true;
    xml.text = text;
    xml.raw = XlsxXml::encode(text, xml.encoding);
    fonts = {};
    fills = {};
    borders = {};
    cellXfs = {};
    return scan(&layout);
}

QByteArray XlsxStyles::emptyPart(bool strict)
{
    const QByteArray ns = strict ? "http://purl.oclc.org/ooxml/spreadsheetml/main"
                                 : "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<styleSheet xmlns=\"" + ns +
           "\"><cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>"
           "</styleSheet>";
}

XlsxError XlsxStyles::scan(Layout *layout)
{
    *layout = {};
    XlsxXmlScanner scanner(xml);
    int depth = 0;
    for (;;) {
        const QXmlStreamReader::TokenType token = scanner.next();
        if (token == QXmlStreamReader::EndDocument)
            return XlsxError::None;
        if (token == QXmlStreamReader::Invalid)
            return scanner.failureReason();
        if (token == QXmlStreamReader::EndElement) {
            if (depth == 1)
                layout->rootEndBegin = scanner.tagBegin();
            --depth;
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        ++depth;
        if (depth == 1) {
            // Lists added under a foreign root would be as invisible as the ones it has.
            if (!scanner.isSpreadsheet(u"styleSheet"))
                return XlsxError::MalformedXml;
            layout->rootName = scanner.xml().qualifiedName().toString();
            layout->rootBegin = scanner.tagBegin();
            layout->rootStartEnd = scanner.tagEnd();
            layout->rootSelfClosing = scanner.isSelfClosing();
        }
        if (depth != 2)
            continue;
        layout->children.append({scanner.xml().name().toString(), scanner.tagBegin()});
        List *list = nullptr;
        QStringView item;
        if (scanner.isSpreadsheet(u"fonts") && !fonts.present) {
            list = &fonts;
            item = u"font";
        } else if (scanner.isSpreadsheet(u"fills") && !fills.present) {
            list = &fills;
            item = u"fill";
        } else if (scanner.isSpreadsheet(u"borders") && !borders.present) {
            list = &borders;
            item = u"border";
        } else if (scanner.isSpreadsheet(u"cellXfs") && !cellXfs.present) {
            list = &cellXfs;
            item = u"xf";
        }
        if (!list)
            continue;
        const XlsxError error = parseList(scanner, *list, item);
        if (error != XlsxError::None)
            return error;
        --depth;
    }
}

// The part with the missing lists put where the schema orders them; empty when none is missing.
QString XlsxStyles::withMissingLists(const Layout &layout) const
{
    static const QStringView order[] = {u"numFmts",      u"fonts",   u"fills",      u"borders",
                                        u"cellStyleXfs", u"cellXfs", u"cellStyles", u"dxfs",
                                        u"tableStyles",  u"colors",  u"extLst"};
    const QString p = XlsxXml::prefixOf(layout.rootName);
    const QString needed[][2] = {
        {u"fonts"_s,
         u"<%1fonts count=\"1\"><%1font><%1sz val=\"11\"/><%1name val=\"宋体\"/></%1font></%1fonts>"_s},
        {u"fills"_s, u"<%1fills count=\"2\"><%1fill><%1patternFill patternType=\"none\"/></%1fill><%1fill>"
                     u"<%1patternFill patternType=\"gray125\"/></%1fill></%1fills>"_s},
        {u"borders"_s, u"<%1borders count=\"1\"><%1border><%1left/><%1right/><%1top/><%1bottom/><%1diagonal/>"
                       u"</%1border></%1borders>"_s},
        {u"cellStyleXfs"_s,
         u"<%1cellStyleXfs count=\"1\"><%1xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></%1cellStyleXfs>"_s},
        {u"cellXfs"_s,
         u"<%1cellXfs count=\"1\"><%1xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" "
         u"xfId=\"0\"/></%1cellXfs>"_s},
    };
    auto rank = [&](QStringView name) {
        for (int i = 0; i < int(std::size(order)); ++i) {
            if (order[i] == name)
                return i;
        }
        return int(std::size(order));
    };
    if (layout.rootBegin < 0)
        return {};
    QMap<qsizetype, QString> inserts;
    for (const auto &list : needed) {
        bool present = false;
        for (const auto &child : layout.children)
            present = present || child.first == list[0];
        if (present)
            continue;
        qsizetype at = layout.rootSelfClosing ? layout.rootStartEnd : layout.rootEndBegin;
        for (const auto &child : layout.children) {
            if (rank(child.first) > rank(list[0])) {
                at = child.second;
                break;
            }
        }
        inserts[at] += list[1].arg(p);
    }
    if (inserts.isEmpty())
        return {};
    QString out;
    qsizetype pos = 0;
    for (auto it = inserts.constBegin(); it != inserts.constEnd(); ++it) {
        if (layout.rootSelfClosing && it.key() == layout.rootStartEnd) {
            out += QStringView(xml.text).mid(pos, layout.rootBegin - pos);
            out += XlsxXml::openTag(xml.text.mid(layout.rootBegin, layout.rootStartEnd - layout.rootBegin));
            out += it.value() + u"</" + layout.rootName + u'>';
        } else {
            out += QStringView(xml.text).mid(pos, it.key() - pos);
            out += it.value();
        }
        pos = it.key();
    }
    return out + QStringView(xml.text).mid(pos);
}

XlsxError XlsxStyles::parseList(XlsxXmlScanner &scanner, List &list, QStringView itemName)
{
    list.present = true;
    list.begin = scanner.tagBegin();
    list.startTagEnd = scanner.tagEnd();
    list.selfClosing = scanner.isSelfClosing();
    list.qualifiedName = scanner.xml().qualifiedName().toString();
    Item *item = nullptr;
    Child *child = nullptr;
    int depth = 1;
    for (;;) {
        switch (scanner.next()) {
        case QXmlStreamReader::StartElement:
            ++depth;
            if (depth == 2) {
                if (!scanner.isSpreadsheet(itemName)) {
                    item = nullptr;
                    break;
                }
                Item next;
                next.begin = scanner.tagBegin();
                next.startTagEnd = scanner.tagEnd();
                next.qualifiedName = scanner.xml().qualifiedName().toString();
                next.fontId = scanner.attribute(u"fontId").toInt();
                next.fillId = scanner.attribute(u"fillId").toInt();
                next.borderId = scanner.attribute(u"borderId").toInt();
                list.items.append(next);
                item = &list.items.last();
            } else if (depth == 3 && item) {
                item->children.append(
                    {scanner.xml().name().toString(), scanner.tagBegin(), scanner.tagEnd(), 0});
                child = &item->children.last();
            }
            break;
        case QXmlStreamReader::EndElement:
            if (depth == 3 && item && child) {
                child->end = scanner.tagEnd();
                child = nullptr;
            } else if (depth == 2 && item) {
                item->end = scanner.tagEnd();
                item = nullptr;
            } else if (depth == 1) {
                list.endTagBegin = scanner.tagBegin();
                return XlsxError::None;
            }
            --depth;
            break;
        case QXmlStreamReader::Invalid:
        case QXmlStreamReader::EndDocument:
            return scanner.failureReason();
        default:
            break;
        }
    }
}

void XlsxStyles::reset()
{
    requests.clear();
    for (List *list : {&fonts, &fills, &borders, &cellXfs}) {
        list->appended.clear();
        list->clones.clear();
    }
}

bool XlsxStyles::isChanged() const
{
    return completed || !fonts.appended.isEmpty() || !fills.appended.isEmpty() ||
           !borders.appended.isEmpty() || !cellXfs.appended.isEmpty();
}

QString XlsxStyles::startTag(const Item &item) const
{
    return xml.text.mid(item.begin, item.startTagEnd - item.begin);
}

QString XlsxStyles::rawText(const Child &child) const
{
    return xml.text.mid(child.begin, child.end - child.begin);
}

int XlsxStyles::append(List &list, const QString &key, const QString &text)
{
    const auto known = list.clones.constFind(key);
    if (known != list.clones.constEnd())
        return *known;
    const int index = list.count();
    list.appended.append(text);
    list.clones.insert(key, index);
    return index;
}

int XlsxStyles::cloneFont(int fontId, double size, bool bold)
{
    const QString key = QString::number(fontId) + u'|' + formatNumber(size) + u'|' + QString::number(bold);
    const auto known = fonts.clones.constFind(key);
    if (known != fonts.clones.constEnd())
        return *known;
    const bool exists = fontId >= 0 && fontId < fonts.items.size();
    const QString name =
        exists ? fonts.items.at(fontId).qualifiedName : XlsxXml::prefixOf(fonts.qualifiedName) + u"font";
    const QString prefix = XlsxXml::prefixOf(name);
    QList<QPair<int, QString>> children;
    if (exists) {
        for (const Child &child : fonts.items.at(fontId).children) {
            if ((size > 0 && child.localName == u"sz") || (bold && child.localName == u"b"))
                continue;
            children.append({fontChildOrder(child.localName), rawText(child)});
        }
    }
    if (bold)
        children.append({fontChildOrder(u"b"), u'<' + prefix + u"b/>"});
    if (size > 0)
        children.append({fontChildOrder(u"sz"), u'<' + prefix + u"sz val=\"" + formatNumber(size) + u"\"/>"});
    std::stable_sort(children.begin(), children.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    QString text = exists ? XlsxXml::openTag(startTag(fonts.items.at(fontId))) : u'<' + name + u'>';
    for (const auto &child : std::as_const(children))
        text += child.second;
    text += u"</" + name + u'>';
    return append(fonts, key, text);
}

int XlsxStyles::cloneFill(int fillId, QRgb color)
{
    const QString rgb = QString::number(color, 16).toUpper().rightJustified(8, u'0');
    const QString key = QString::number(fillId) + u'|' + rgb;
    const bool exists = fillId >= 0 && fillId < fills.items.size();
    const QString name =
        exists ? fills.items.at(fillId).qualifiedName : XlsxXml::prefixOf(fills.qualifiedName) + u"fill";
    const QString prefix = XlsxXml::prefixOf(name);
    QString text = exists ? XlsxXml::openTag(startTag(fills.items.at(fillId))) : u'<' + name + u'>';
    text += u'<' + prefix + u"patternFill patternType=\"solid\"><" + prefix + u"fgColor rgb=\"" + rgb +
            u"\"/><" + prefix + u"bgColor indexed=\"64\"/></" + prefix + u"patternFill></" + name + u'>';
    return append(fills, key, text);
}

int XlsxStyles::emptyFill()
{
    const QString name = XlsxXml::prefixOf(fills.qualifiedName) + u"fill";
    const QString prefix = XlsxXml::prefixOf(name);
    return append(fills, u"none"_s,
                  u'<' + name + u"><" + prefix + u"patternFill patternType=\"none\"/></" + name + u'>');
}

// The border with the given edges left empty; the other edges and the diagonals as they were.
int XlsxStyles::cloneBorder(int borderId, int noBorder)
{
    if (borderId < 0 || borderId >= borders.items.size())
        return borderId;
    const QString key = QString::number(borderId) + u'|' + QString::number(noBorder);
    const Item &border = borders.items.at(borderId);
    const QString prefix = XlsxXml::prefixOf(border.qualifiedName);
    QString text = XlsxXml::openTag(startTag(border));
    for (const Child &child : border.children) {
        const QString &edge = child.localName;
        const int flag = edge == u"left" || edge == u"start"  ? XlsxCellFormat::LeftEdge
                         : edge == u"right" || edge == u"end" ? XlsxCellFormat::RightEdge
                         : edge == u"top"                     ? XlsxCellFormat::TopEdge
                         : edge == u"bottom"                  ? XlsxCellFormat::BottomEdge
                                                              : 0;
        text += (noBorder & flag) ? u'<' + prefix + edge + u"/>" : rawText(child);
    }
    return append(borders, key, text + u"</" + border.qualifiedName + u'>');
}

int XlsxStyles::styleFor(int baseXf, const XlsxCellFormat &format)
{
    const bool changesFont = format.fontSize > 0 || format.bold;
    const bool changesAlignment = format.centre || format.wrap;
    const bool changesFill = format.fill || format.noFill;
    if (!changesFont && !changesAlignment && !changesFill && format.noBorder == 0)
        return baseXf;
    if (!cellXfs.present || (changesFont && !fonts.present) || (changesFill && !fills.present) ||
        (format.noBorder != 0 && !borders.present))
        return -1;
    const Request request{baseXf, format};
    const auto seen = requests.constFind(request);
    if (seen != requests.constEnd())
        return *seen;
    const int style = cloneXf(baseXf, format);
    requests.insert(request, style);
    return style;
}

int XlsxStyles::cloneXf(int baseXf, const XlsxCellFormat &format)
{
    const bool changesFont = format.fontSize > 0 || format.bold;
    const bool changesAlignment = format.centre || format.wrap;
    const bool exists = baseXf >= 0 && baseXf < cellXfs.items.size();
    const Item base = exists ? cellXfs.items.at(baseXf) : Item();
    const int fontId = changesFont ? cloneFont(base.fontId, format.fontSize, format.bold) : base.fontId;
    const int fillId = format.fill     ? cloneFill(base.fillId, format.fillColor)
                       : format.noFill ? emptyFill()
                                       : base.fillId;
    const int borderId = format.noBorder != 0 ? cloneBorder(base.borderId, format.noBorder) : base.borderId;
    const QString key = QString::number(baseXf) + u'|' + QString::number(fontId) + u'|' +
                        QString::number(fillId) + u'|' + QString::number(borderId) + u'|' +
                        QString::number(format.centre) + QString::number(format.wrap);
    const auto known = cellXfs.clones.constFind(key);
    if (known != cellXfs.clones.constEnd())
        return *known;

    const QString name = exists ? base.qualifiedName : XlsxXml::prefixOf(cellXfs.qualifiedName) + u"xf";
    const QString prefix = XlsxXml::prefixOf(name);
    QString tag = exists
                      ? XlsxXml::openTag(startTag(base))
                      : u'<' + name + u" numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\">";
    if (changesFont) {
        tag = XlsxXml::setTagAttribute(tag, u"fontId", QString::number(fontId));
        tag = XlsxXml::setTagAttribute(tag, u"applyFont", u"1"_s);
    }
    if (fillId != base.fillId) {
        tag = XlsxXml::setTagAttribute(tag, u"fillId", QString::number(fillId));
        tag = XlsxXml::setTagAttribute(tag, u"applyFill", u"1"_s);
    }
    if (borderId != base.borderId) {
        tag = XlsxXml::setTagAttribute(tag, u"borderId", QString::number(borderId));
        tag = XlsxXml::setTagAttribute(tag, u"applyBorder", u"1"_s);
    }
    QString alignment;
    QString others;
    for (const Child &child : base.children) {
        if (child.localName == u"alignment" && alignment.isEmpty() && changesAlignment)
            alignment = rawText(child);
        else
            others += rawText(child);
    }
    if (changesAlignment) {
        tag = XlsxXml::setTagAttribute(tag, u"applyAlignment", u"1"_s);
        if (alignment.isEmpty())
            alignment = u'<' + prefix + u"alignment/>";
        const qsizetype close = alignment.indexOf(u'>') + 1;
        QString alignmentTag = alignment.left(close);
        if (format.centre) {
            alignmentTag = XlsxXml::setTagAttribute(alignmentTag, u"horizontal", u"center"_s);
            alignmentTag = XlsxXml::setTagAttribute(alignmentTag, u"vertical", u"center"_s);
        }
        if (format.wrap)
            alignmentTag = XlsxXml::setTagAttribute(alignmentTag, u"wrapText", u"1"_s);
        alignment = alignmentTag + alignment.mid(close);
    }
    // The schema wants alignment before protection and extLst.
    return append(cellXfs, key, tag + alignment + others + u"</" + name + u'>');
}

QByteArray XlsxStyles::serialize() const
{
    struct Splice
    {
        qsizetype at;
        qsizetype length;
        QString text;
    };
    QList<Splice> splices;
    for (const List *list : {&fonts, &fills, &borders, &cellXfs}) {
        if (list->appended.isEmpty())
            continue;
        const QString tag =
            XlsxXml::setTagAttribute(xml.text.mid(list->begin, list->startTagEnd - list->begin), u"count",
                                     QString::number(list->count()));
        if (list->selfClosing) {
            splices.append({list->begin, list->startTagEnd - list->begin,
                            XlsxXml::openTag(tag) + list->appended.join(QString()) + u"</" +
                                list->qualifiedName + u'>'});
        } else {
            splices.append({list->begin, list->startTagEnd - list->begin, tag});
            splices.append({list->endTagBegin, 0, list->appended.join(QString())});
        }
    }
    std::sort(splices.begin(), splices.end(), [](const Splice &a, const Splice &b) { return a.at < b.at; });
    QString out;
    qsizetype pos = 0;
    for (const Splice &splice : std::as_const(splices)) {
        out += QStringView(xml.text).mid(pos, splice.at - pos);
        out += splice.text;
        pos = splice.at + splice.length;
    }
    out += QStringView(xml.text).mid(pos);
    return XlsxXml::encode(out, xml.encoding);
}

} // namespace Velmora
