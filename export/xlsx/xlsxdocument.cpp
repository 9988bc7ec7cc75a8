#include "xlsxdocument.h"

#include "xlsxpackage.h"
#include "xlsxsheet.h"
#include "xlsxstyles.h"
#include "xlsxxml.h"
#include "xlsxxmlscanner.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace Velmora {

namespace {

struct Relationship
{
    QString id;
    QString type;
    QString target; // resolved to a package path; empty for external or unresolvable targets
    qsizetype begin = 0;
    qsizetype end = 0;
};

QString directoryOf(const QString &part)
{
    const qsizetype slash = part.lastIndexOf(u'/');
    return slash < 0 ? QString() : part.left(slash);
}

QString relationshipsPartOf(const QString &part)
{
    const QString dir = directoryOf(part);
    const QString file = part.mid(part.lastIndexOf(u'/') + 1);
    return (dir.isEmpty() ? QString() : dir + u'/') + u"_rels/" + file + u".rels";
}

// Targets are URIs relative to the source part's folder, or absolute from the package root.
QString resolveTarget(const QString &baseDirectory, const QString &target)
{
    QString path = QUrl::fromPercentEncoding(target.toUtf8());
    path.replace(u'\\', u'/');
    QStringList segments;
    if (!path.startsWith(u'/'))
        segments = baseDirectory.split(u'/', Qt::SkipEmptyParts);
    for (const QString &segment : path.split(u'/', Qt::SkipEmptyParts)) {
        if (segment == u".")
            continue;
        if (segment == u"..") {
            if (segments.isEmpty())
                return {};
            segments.removeLast();
            continue;
        }
        segments.append(segment);
    }
    return segments.join(u'/');
}

XlsxError parseRelationships(const XlsxXml::Text &xml, const QString &baseDirectory, QList<Relationship> *out)
{
    XlsxXmlScanner scanner(xml);
    int depth = 0;
    Relationship current;
    for (;;) {
        switch (scanner.next()) {
        case QXmlStreamReader::EndDocument:
            return XlsxError::None;
        case QXmlStreamReader::Invalid:
            return scanner.failureReason();
        case QXmlStreamReader::StartElement:
            ++depth;
            if (depth == 2 && scanner.xml().name() == u"Relationship" &&
                XlsxXml::isPackageRelationshipsNamespace(scanner.xml().namespaceUri())) {
                current = {};
                current.id = scanner.attribute(u"Id").toString();
                current.type = scanner.attribute(u"Type").toString();
                if (scanner.attribute(u"TargetMode") != u"External")
                    current.target = resolveTarget(baseDirectory, scanner.attribute(u"Target").toString());
                current.begin = scanner.tagBegin();
                current.end = -1;
            }
            break;
        case QXmlStreamReader::EndElement:
            if (depth == 2 && current.end < 0 && !current.id.isNull()) {
                current.end = scanner.tagEnd();
                out->append(current);
                current = {};
            }
            --depth;
            break;
        default:
            break;
        }
    }
}

XlsxError parseSharedStrings(const XlsxXml::Text &xml, QStringList *out)
{
    XlsxXmlScanner scanner(xml);
    int depth = 0;
    for (;;) {
        switch (scanner.next()) {
        case QXmlStreamReader::EndDocument:
            return XlsxError::None;
        case QXmlStreamReader::Invalid:
            return scanner.failureReason();
        case QXmlStreamReader::StartElement:
            if (depth == 1 && scanner.isSpreadsheet(u"si")) {
                out->append(scanner.readStringItem());
                if (scanner.error() != XlsxError::None)
                    return scanner.error();
            } else {
                ++depth;
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

// The relationship ids of the workbook's sheets, in tab order.
XlsxError parseSheetIds(const XlsxXml::Text &xml, QStringList *out)
{
    XlsxXmlScanner scanner(xml);
    for (;;) {
        switch (scanner.next()) {
        case QXmlStreamReader::EndDocument:
            return XlsxError::None;
        case QXmlStreamReader::Invalid:
            return scanner.failureReason();
        case QXmlStreamReader::StartElement:
            if (scanner.isSpreadsheet(u"sheet")) {
                for (const QXmlStreamAttribute &attribute : scanner.xml().attributes()) {
                    if (attribute.name() == u"id" &&
                        XlsxXml::isRelationshipNamespace(attribute.namespaceUri()))
                        out->append(attribute.value().toString());
                }
            }
            break;
        default:
            break;
        }
    }
}

// Removes every element [begin, end) that matches from a part, leaving the rest untouched.
QString removeSpans(const QString &text, const QList<QPair<qsizetype, qsizetype>> &spans)
{
    QString out;
    qsizetype pos = 0;
    for (const auto &span : spans) {
        out += QStringView(text).mid(pos, span.first - pos);
        pos = span.second;
    }
    return out + QStringView(text).mid(pos);
}

// The element, written with the prefix of the part's root, as the root's last child.
XlsxError appendToRoot(XlsxXml::Text &xml, const QString &element)
{
    XlsxXmlScanner scanner(xml);
    int depth = 0;
    QString rootName;
    qsizetype rootStartBegin = -1;
    qsizetype rootStartEnd = -1;
    bool selfClosing = false;
    for (;;) {
        switch (scanner.next()) {
        case QXmlStreamReader::StartElement:
            if (++depth == 1) {
                rootName = scanner.xml().qualifiedName().toString();
                rootStartBegin = scanner.tagBegin();
                rootStartEnd = scanner.tagEnd();
                selfClosing = scanner.isSelfClosing();
            }
            break;
        case QXmlStreamReader::EndElement:
            if (--depth == 0) {
                const QString child = element.arg(XlsxXml::prefixOf(rootName));
                if (selfClosing)
                    xml.text = xml.text.left(rootStartBegin) +
                               XlsxXml::openTag(xml.text.mid(rootStartBegin, rootStartEnd - rootStartBegin)) +
                               child + u"</" + rootName + u'>' + xml.text.mid(rootStartEnd);
                else
                    xml.text.insert(scanner.tagBegin(), child);
                return XlsxError::None;
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

} // namespace

// A part name in folder that the package does not use yet: stem.xml, stem1.xml, ...
QString XlsxDocument::freePartName(const QString &folder, const QString &stem) const
{
    const QString base = (folder.isEmpty() ? QString() : folder + u'/') + stem;
    QString name = base + u".xml";
    for (int n = 1; !package->find(name).isEmpty(); ++n)
        name = base + QString::number(n) + u".xml";
    return name;
}

// Makes the new style sheet known to the workbook and to the content types, on top of whatever
// the save has already changed in those parts.
XlsxError XlsxDocument::registerStylesPart(QHash<QString, QByteArray> *replaced)
{
    auto edit = [&](const QString &part, const QString &element) {
        QByteArray bytes = replaced->value(part);
        if (bytes.isNull()) {
            const XlsxError error = readPart(part, &bytes);
            if (error != XlsxError::None)
                return error;
        }
        XlsxXml::Text xml;
        XlsxError error = XlsxXml::decode(bytes, &xml);
        if (error == XlsxError::None)
            error = appendToRoot(xml, element);
        if (error != XlsxError::None) {
            failureDetail = part;
            return error;
        }
        replaced->insert(part, XlsxXml::encode(xml.text, xml.encoding));
        return XlsxError::None;
    };
    if (newStyles.relationshipNeeded) {
        QByteArray bytes = replaced->value(workbookRelsPath);
        if (bytes.isNull() && readPart(workbookRelsPath, &bytes) != XlsxError::None)
            return XlsxError::Corrupt;
        XlsxXml::Text xml;
        QList<Relationship> relationships;
        XlsxError error = XlsxXml::decode(bytes, &xml);
        if (error == XlsxError::None)
            error = parseRelationships(xml, directoryOf(workbookPath), &relationships);
        if (error != XlsxError::None)
            return error;
        QSet<QString> ids;
        for (const Relationship &relationship : std::as_const(relationships))
            ids.insert(relationship.id);
        int n = int(relationships.size()) + 1;
        while (ids.contains(u"rId"_s + QString::number(n)))
            ++n;
        const QString type = newStyles.strict
                                 ? u"http://purl.oclc.org/ooxml/officeDocument/relationships/styles"_s
                                 : u"http://schemas.openxmlformats.org/officeDocument/2006/"
                                   u"relationships/styles"_s;
        const QString target =
            stylesPath.mid(directoryOf(workbookPath).size() + (directoryOf(workbookPath).isEmpty() ? 0 : 1));
        error =
            edit(workbookRelsPath, u"<%1Relationship Id=\"rId"_s + QString::number(n) + u"\" Type=\""_s +
                                       type + u"\" Target=\""_s + XlsxXml::escapeMarkup(target) + u"\"/>"_s);
        if (error != XlsxError::None)
            return error;
    }
    const QString contentTypesPath = package->find(u"[Content_Types].xml"_s);
    if (contentTypesPath.isEmpty())
        return XlsxError::None;
    QByteArray bytes = replaced->value(contentTypesPath);
    if (bytes.isNull() && readPart(contentTypesPath, &bytes) != XlsxError::None)
        return XlsxError::Corrupt;
    const QString partName = u'/' + stylesPath;
    XlsxXml::Text xml;
    if (XlsxXml::decode(bytes, &xml) == XlsxError::None) {
        XlsxXmlScanner scanner(xml);
        for (auto token = scanner.next();
             token != QXmlStreamReader::Invalid && token != QXmlStreamReader::EndDocument;
             token = scanner.next()) {
            if (token == QXmlStreamReader::StartElement && scanner.xml().name() == u"Override" &&
                scanner.attribute(u"PartName").compare(partName, Qt::CaseInsensitive) == 0)
                return XlsxError::None;
        }
    }
    return edit(contentTypesPath, u"<%1Override PartName=\""_s + XlsxXml::escapeMarkup(partName) +
                                      u"\" ContentType=\"application/vnd.openxmlformats-officedocument."
                                      u"spreadsheetml.styles+xml\"/>"_s);
}

XlsxDocument::XlsxDocument() = default;
XlsxDocument::~XlsxDocument() = default;

bool XlsxDocument::fail(XlsxError error, const QString &detail)
{
    failure = error;
    failureDetail = detail;
    return false;
}

QString XlsxDocument::errorString() const
{
    if (failure == XlsxError::None)
        return {};
    if (failureDetail.isEmpty())
        return xlsxErrorText(failure);
    return xlsxErrorText(failure) + u"（" + failureDetail + u"）";
}

void XlsxDocument::reset()
{
    package.reset();
    sheet.reset();
    styles.reset();
    templatePath.clear();
    workbookPath.clear();
    workbookRelsPath.clear();
    sheetPath.clear();
    stylesPath.clear();
    calcChainPath.clear();
    pending.clear();
    newStyles = {};
}

bool XlsxDocument::open(const QString &path)
{
    reset();
    // A FIFO would block in open() and a device would read without end; links are followed first.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return fail(XlsxError::NotRegularFile);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(XlsxError::ReadFailed, file.errorString());
    // The size is only a claim, so the read itself is bounded; read(limit) would allocate the
    // whole limit up front.
    if (file.size() > limits.archiveBytes)
        return fail(XlsxError::TooLarge);
    QByteArray bytes;
    bytes.reserve(file.size());
    char chunk[65536];
    qint64 got = 0;
    while ((got = file.read(chunk, sizeof chunk)) > 0) {
        if (bytes.size() + got > limits.archiveBytes)
            return fail(XlsxError::TooLarge);
        bytes.append(chunk, got);
    }
    if (got < 0)
        return fail(XlsxError::ReadFailed, file.errorString());
    if (!openData(bytes))
        return false;
    templatePath = info.canonicalFilePath();
    return true;
}

bool XlsxDocument::openData(const QByteArray &bytes)
{
    reset();
    // Encrypted OOXML and the old binary format both come in a compound file container.
    if (bytes.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"))
        return fail(XlsxError::Encrypted);
    package = std::make_unique<XlsxPackage>();
    const XlsxError error = package->open(bytes, limits);
    if (error != XlsxError::None) {
        const QString detail = package->errorDetail();
        reset();
        return fail(error, detail);
    }
    if (!load()) {
        const XlsxError kept = failure;
        const QString detail = failureDetail;
        reset();
        return fail(kept, detail);
    }
    failure = XlsxError::None;
    failureDetail.clear();
    return true;
}

XlsxError XlsxDocument::readPart(const QString &name, QByteArray *out)
{
    const XlsxError error = package->read(name, out);
    if (error != XlsxError::None)
        failureDetail = name;
    return error;
}

bool XlsxDocument::load()
{
    auto readXml = [this](const QString &name, XlsxXml::Text *xml) {
        QByteArray bytes;
        XlsxError error = readPart(name, &bytes);
        if (error == XlsxError::None)
            error = XlsxXml::decode(bytes, xml);
        return error;
    };
    XlsxXml::Text xml;
    if (package->find(u"_rels/.rels"_s).isEmpty())
        return fail(XlsxError::NoWorkbook);
    XlsxError error = readXml(u"_rels/.rels"_s, &xml);
    QList<Relationship> rootRelationships;
    if (error == XlsxError::None)
        error = parseRelationships(xml, QString(), &rootRelationships);
    if (error != XlsxError::None)
        return fail(error, u"_rels/.rels"_s);
    for (const Relationship &relationship : std::as_const(rootRelationships)) {
        if (XlsxXml::isRelationshipType(relationship.type, u"officeDocument") &&
            !relationship.target.isEmpty()) {
            workbookPath = package->find(relationship.target);
            if (!workbookPath.isEmpty())
                break;
        }
    }
    if (workbookPath.isEmpty())
        return fail(XlsxError::NoWorkbook);

    QList<Relationship> workbookRelationships;
    workbookRelsPath = package->find(relationshipsPartOf(workbookPath));
    if (workbookRelsPath.isEmpty())
        return fail(XlsxError::NoWorksheet);
    error = readXml(workbookRelsPath, &xml);
    if (error == XlsxError::None)
        error = parseRelationships(xml, directoryOf(workbookPath), &workbookRelationships);
    if (error != XlsxError::None)
        return fail(error, workbookRelsPath);

    QStringList sheetIds;
    error = readXml(workbookPath, &xml);
    if (error == XlsxError::None)
        error = parseSheetIds(xml, &sheetIds);
    if (error != XlsxError::None)
        return fail(error, workbookPath);
    for (const QString &id : std::as_const(sheetIds)) {
        for (const Relationship &relationship : std::as_const(workbookRelationships)) {
            if (relationship.id == id && XlsxXml::isRelationshipType(relationship.type, u"worksheet"))
                sheetPath = package->find(relationship.target);
        }
        if (!sheetPath.isEmpty())
            break;
    }
    if (sheetPath.isEmpty())
        return fail(XlsxError::NoWorksheet);

    QString sharedStringsPath;
    QString danglingStyles;
    bool strict = false;
    for (const Relationship &relationship : std::as_const(workbookRelationships)) {
        const QString found = relationship.target.isEmpty() ? QString() : package->find(relationship.target);
        if (XlsxXml::isRelationshipType(relationship.type, u"worksheet"))
            strict = relationship.type.startsWith(u"http://purl.oclc.org/");
        if (found.isEmpty()) {
            if (XlsxXml::isRelationshipType(relationship.type, u"styles") && danglingStyles.isEmpty())
                danglingStyles = relationship.target;
            continue;
        }
        if (XlsxXml::isRelationshipType(relationship.type, u"sharedStrings") && sharedStringsPath.isEmpty())
            sharedStringsPath = found;
        else if (XlsxXml::isRelationshipType(relationship.type, u"styles") && stylesPath.isEmpty())
            stylesPath = found;
        else if (XlsxXml::isRelationshipType(relationship.type, u"calcChain") && calcChainPath.isEmpty())
            calcChainPath = found;
    }

    QStringList sharedStrings;
    if (!sharedStringsPath.isEmpty()) {
        error = readXml(sharedStringsPath, &xml);
        if (error == XlsxError::None)
            error = parseSharedStrings(xml, &sharedStrings);
        if (error != XlsxError::None)
            return fail(error, sharedStringsPath);
    }
    styles = std::make_unique<XlsxStyles>();
    if (!stylesPath.isEmpty()) {
        QByteArray bytes;
        error = readPart(stylesPath, &bytes);
        if (error == XlsxError::None)
            error = styles->parse(bytes);
        if (error != XlsxError::None)
            return fail(error, stylesPath);
    } else {
        // Such workbooks are valid; the seat formats need a style sheet, so one is added when saving.
        styles->parse(XlsxStyles::emptyPart(strict));
        newStyles.strict = strict;
        newStyles.relationshipNeeded = danglingStyles.isEmpty();
        stylesPath =
            danglingStyles.isEmpty() ? freePartName(directoryOf(workbookPath), u"styles"_s) : danglingStyles;
    }
    QByteArray bytes;
    error = readPart(sheetPath, &bytes);
    sheet = std::make_unique<XlsxSheet>();
    if (error == XlsxError::None)
        error = sheet->parse(bytes, sharedStrings, limits);
    if (error != XlsxError::None)
        return fail(error, sheetPath);
    return true;
}

XlsxRange XlsxDocument::usedRange() const
{
    if (!sheet)
        return {};
    XlsxSheet::Bounds bounds = sheet->bounds();
    for (auto it = pending.constBegin(); it != pending.constEnd(); ++it) {
        const int row = int(it.key() >> 32);
        const int column = int(it.key() & 0xFFFFFFFFu);
        if (bounds.isEmpty()) {
            bounds = {row, column, row, column};
            continue;
        }
        bounds.firstRow = std::min(bounds.firstRow, row);
        bounds.firstColumn = std::min(bounds.firstColumn, column);
        bounds.lastRow = std::max(bounds.lastRow, row);
        bounds.lastColumn = std::max(bounds.lastColumn, column);
    }
    if (bounds.isEmpty())
        return {};
    return {bounds.firstRow, bounds.firstColumn, bounds.lastRow - bounds.firstRow + 1,
            bounds.lastColumn - bounds.firstColumn + 1};
}

QList<QPair<int, int>> XlsxDocument::storedCells() const
{
    QList<QPair<int, int>> positions;
    if (!sheet)
        return positions;
    const QList<quint64> keys = sheet->storedCells();
    positions.reserve(keys.size());
    for (const quint64 k : keys)
        positions.append({int(k >> 32), int(k & 0xFFFFFFFFu)});
    return positions;
}

QString XlsxDocument::cellText(int row, int column) const
{
    if (!sheet)
        return {};
    const auto it = pending.constFind(XlsxSheet::key(row, column));
    if (it != pending.constEnd() && it->hasText)
        return it->text;
    return sheet->cellText(row, column);
}

void XlsxDocument::setCellText(int row, int column, const QString &text)
{
    if (!sheet || row < 1 || row > XlsxXml::maxRows || column < 1 || column > XlsxXml::maxColumns)
        return;
    Pending &edit = pending[XlsxSheet::key(row, column)];
    edit.hasText = true;
    edit.text = text;
}

void XlsxDocument::setCellFormat(int row, int column, const XlsxCellFormat &format)
{
    if (!sheet || row < 1 || row > XlsxXml::maxRows || column < 1 || column > XlsxXml::maxColumns)
        return;
    Pending &edit = pending[XlsxSheet::key(row, column)];
    edit.hasFormat = true;
    edit.format = format;
}

XlsxError XlsxDocument::dropCalcChain(QHash<QString, QByteArray> *replaced, QSet<QString> *dropped)
{
    dropped->insert(calcChainPath);
    const QString partName = u'/' + calcChainPath;

    XlsxXml::Text xml;
    QByteArray bytes;
    XlsxError error = readPart(workbookRelsPath, &bytes);
    if (error != XlsxError::None)
        return error;
    error = XlsxXml::decode(bytes, &xml);
    if (error != XlsxError::None)
        return error;
    QList<Relationship> relationships;
    error = parseRelationships(xml, directoryOf(workbookPath), &relationships);
    if (error != XlsxError::None)
        return error;
    QList<QPair<qsizetype, qsizetype>> spans;
    for (const Relationship &relationship : std::as_const(relationships)) {
        if (relationship.target.compare(calcChainPath, Qt::CaseInsensitive) == 0)
            spans.append({relationship.begin, relationship.end});
    }
    replaced->insert(workbookRelsPath, XlsxXml::encode(removeSpans(xml.text, spans), xml.encoding));

    const QString contentTypesPath = package->find(u"[Content_Types].xml"_s);
    if (contentTypesPath.isEmpty())
        return XlsxError::None;
    error = readPart(contentTypesPath, &bytes);
    if (error != XlsxError::None)
        return error;
    error = XlsxXml::decode(bytes, &xml);
    if (error != XlsxError::None)
        return error;
    XlsxXmlScanner scanner(xml);
    spans.clear();
    qsizetype begin = -1;
    int depth = 0;
    for (bool done = false; !done;) {
        switch (scanner.next()) {
        case QXmlStreamReader::EndDocument:
            done = true;
            break;
        case QXmlStreamReader::Invalid:
            failureDetail = contentTypesPath;
            return scanner.failureReason();
        case QXmlStreamReader::StartElement:
            ++depth;
            if (depth == 2 && scanner.xml().name() == u"Override" &&
                XlsxXml::isContentTypesNamespace(scanner.xml().namespaceUri()) &&
                scanner.attribute(u"PartName").compare(partName, Qt::CaseInsensitive) == 0)
                begin = scanner.tagBegin();
            break;
        case QXmlStreamReader::EndElement:
            if (depth == 2 && begin >= 0) {
                spans.append({begin, scanner.tagEnd()});
                begin = -1;
            }
            --depth;
            break;
        default:
            break;
        }
    }
    if (!spans.isEmpty())
        replaced->insert(contentTypesPath, XlsxXml::encode(removeSpans(xml.text, spans), xml.encoding));
    return XlsxError::None;
}

bool XlsxDocument::saveToData(QByteArray *out)
{
    out->clear();
    if (!sheet)
        return fail(XlsxError::NotOpen);
    if (styles)
        styles->reset();
    QMap<quint64, XlsxSheet::Edit> edits;
    for (auto it = pending.constBegin(); it != pending.constEnd(); ++it) {
        XlsxSheet::Edit edit;
        edit.setText = it->hasText;
        edit.text = it->text;
        if (it->hasFormat) {
            const int row = int(it.key() >> 32);
            const int column = int(it.key() & 0xFFFFFFFFu);
            const int base = sheet->styleIndex(row, column);
            const int style = styles->styleFor(base, it->format);
            if (style < 0)
                return fail(XlsxError::MissingStyles);
            if (style != base)
                edit.style = style;
        }
        if (edit.setText || edit.style >= 0)
            edits.insert(it.key(), edit);
    }

    QHash<QString, QByteArray> replaced;
    QSet<QString> dropped;
    if (!edits.isEmpty()) {
        bool formulaDropped = false;
        replaced.insert(sheetPath, sheet->patch(edits, &formulaDropped));
        if (formulaDropped && !calcChainPath.isEmpty()) {
            // A chain that names a cell which no longer has a formula makes Excel repair the file.
            const XlsxError error = dropCalcChain(&replaced, &dropped);
            if (error != XlsxError::None)
                return fail(error, failureDetail);
        }
    }
    QList<QPair<QString, QByteArray>> added;
    if (styles->isChanged()) {
        if (package->find(stylesPath).isEmpty()) {
            const XlsxError error = registerStylesPart(&replaced);
            if (error != XlsxError::None)
                return fail(error, failureDetail);
            added.append({stylesPath, styles->serialize()});
        } else {
            replaced.insert(stylesPath, styles->serialize());
        }
    }
    const XlsxError error = package->write(out, replaced, dropped, added);
    if (error != XlsxError::None) {
        out->clear();
        return fail(error, package->errorDetail());
    }
    return true;
}

bool XlsxDocument::saveAs(const QString &path)
{
    if (!sheet)
        return fail(XlsxError::NotOpen);
    const QFileInfo target(path);
    if (!templatePath.isEmpty() && target.exists() && target.canonicalFilePath() == templatePath)
        return fail(XlsxError::SameAsTemplate);
    QByteArray bytes;
    if (!saveToData(&bytes))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(XlsxError::WriteFailed, file.errorString());
    if (file.write(bytes) != bytes.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return fail(XlsxError::WriteFailed, why);
    }
    if (!file.commit())
        return fail(XlsxError::WriteFailed, file.errorString());
    failure = XlsxError::None;
    failureDetail.clear();
    return true;
}

} // namespace Velmora
