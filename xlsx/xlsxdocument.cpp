#include "xlsxdocument.h"

#include "xlsxpackage.h"
#include "xlsxpackageedit.h"
#include "xlsxsheet.h"
#include "xlsxstyles.h"
#include "xlsxtables.h"
#include "xlsxxml.h"
#include "xlsxxmlscanner.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace Velmora {

namespace {

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

struct SheetEntry
{
    QString id; // the relationship id
    QString name;
    bool hidden = false; // state="hidden" or "veryHidden"
};

// The workbook's sheets, in tab order.
XlsxError parseSheets(const XlsxXml::Text &xml, QList<SheetEntry> *out)
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
                SheetEntry entry;
                entry.name = scanner.attribute(u"name").toString();
                const QStringView state = scanner.attribute(u"state");
                entry.hidden = state == u"hidden" || state == u"veryHidden";
                for (const QXmlStreamAttribute &attribute : scanner.xml().attributes()) {
                    if (attribute.name() == u"id" &&
                        XlsxXml::isRelationshipNamespace(attribute.namespaceUri()))
                        entry.id = attribute.value().toString();
                }
                if (!entry.id.isEmpty())
                    out->append(entry);
            }
            break;
        default:
            break;
        }
    }
}

bool isVbaProject(const XlsxRelationship &relationship)
{
    return relationship.type.endsWith(u"/vbaProject");
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
    sheetTitle.clear();
    stylesPath.clear();
    calcChainPath.clear();
    vbaProjectPath.clear();
    macros = false;
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
    // Resolved only when saving over an existing file, the one case that needs it.
    templatePath = info.absoluteFilePath();
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

XlsxError XlsxDocument::readXml(const QString &name, XlsxXml::Text *xml)
{
    QByteArray bytes;
    XlsxError error = package->read(name, &bytes);
    if (error == XlsxError::None)
        error = XlsxXml::decode(bytes, xml);
    if (error != XlsxError::None)
        failureDetail = name;
    return error;
}

bool XlsxDocument::load()
{
    QList<XlsxRelationship> relationships;
    XlsxError error = findWorkbook();
    if (error == XlsxError::None)
        error = readWorkbookRelationships(&relationships);
    if (error == XlsxError::None)
        error = findFirstWorksheet(relationships);
    if (error != XlsxError::None)
        return fail(error, failureDetail);
    const WorkbookParts parts = findWorkbookParts(relationships);
    QStringList sharedStrings;
    error = loadSharedStrings(parts.sharedStrings, &sharedStrings);
    if (error == XlsxError::None)
        error = loadStyles(parts);
    if (error == XlsxError::None)
        error = loadSheet(sharedStrings);
    return error == XlsxError::None || fail(error, failureDetail);
}

XlsxError XlsxDocument::findWorkbook()
{
    const QString rootRelationships = u"_rels/.rels"_s;
    if (package->find(rootRelationships).isEmpty())
        return XlsxError::NoWorkbook;
    XlsxXml::Text xml;
    QList<XlsxRelationship> relationships;
    XlsxError error = readXml(rootRelationships, &xml);
    if (error == XlsxError::None)
        error = parseRelationships(xml, QString(), &relationships);
    if (error != XlsxError::None) {
        failureDetail = rootRelationships;
        return error;
    }
    for (const XlsxRelationship &relationship : std::as_const(relationships)) {
        if (XlsxXml::isRelationshipType(relationship.type, u"officeDocument") &&
            !relationship.target.isEmpty()) {
            workbookPath = package->find(relationship.target);
            if (!workbookPath.isEmpty())
                return XlsxError::None;
        }
    }
    return XlsxError::NoWorkbook;
}

XlsxError XlsxDocument::readWorkbookRelationships(QList<XlsxRelationship> *out)
{
    workbookRelsPath = package->find(XlsxPartNames::relationshipsPartOf(workbookPath));
    if (workbookRelsPath.isEmpty())
        return XlsxError::NoWorksheet;
    XlsxXml::Text xml;
    XlsxError error = readXml(workbookRelsPath, &xml);
    if (error == XlsxError::None)
        error = parseRelationships(xml, XlsxPartNames::directoryOf(workbookPath), out);
    if (error != XlsxError::None)
        failureDetail = workbookRelsPath;
    return error;
}

XlsxError XlsxDocument::findFirstWorksheet(const QList<XlsxRelationship> &relationships)
{
    XlsxXml::Text xml;
    QList<SheetEntry> sheets;
    XlsxError error = readXml(workbookPath, &xml);
    if (error == XlsxError::None)
        error = parseSheets(xml, &sheets);
    if (error != XlsxError::None) {
        failureDetail = workbookPath;
        return error;
    }
    const auto pathOf = [&](const SheetEntry &entry) {
        for (const XlsxRelationship &relationship : relationships) {
            if (relationship.id == entry.id && XlsxXml::isRelationshipType(relationship.type, u"worksheet"))
                return package->find(relationship.target);
        }
        return QString();
    };
    // A workbook whose every sheet is hidden is malformed; its first worksheet is still what it holds.
    for (const bool skipHidden : {sheetChoice == SheetChoice::FirstVisible, false}) {
        for (const SheetEntry &entry : std::as_const(sheets)) {
            if (skipHidden && entry.hidden)
                continue;
            sheetPath = pathOf(entry);
            if (!sheetPath.isEmpty()) {
                sheetTitle = entry.name;
                return XlsxError::None;
            }
        }
    }
    return XlsxError::NoWorksheet;
}

XlsxDocument::WorkbookParts XlsxDocument::findWorkbookParts(const QList<XlsxRelationship> &relationships)
{
    WorkbookParts parts;
    for (const XlsxRelationship &relationship : relationships) {
        const QString found = relationship.target.isEmpty() ? QString() : package->find(relationship.target);
        if (XlsxXml::isRelationshipType(relationship.type, u"worksheet"))
            parts.strict = relationship.type.startsWith(u"http://purl.oclc.org/");
        if (isVbaProject(relationship)) {
            macros = true;
            if (vbaProjectPath.isEmpty())
                vbaProjectPath = found;
        }
        if (found.isEmpty()) {
            if (XlsxXml::isRelationshipType(relationship.type, u"styles") && parts.danglingStyles.isEmpty())
                parts.danglingStyles = relationship.target;
            continue;
        }
        if (XlsxXml::isRelationshipType(relationship.type, u"sharedStrings") && parts.sharedStrings.isEmpty())
            parts.sharedStrings = found;
        else if (XlsxXml::isRelationshipType(relationship.type, u"styles") && stylesPath.isEmpty())
            stylesPath = found;
        else if (XlsxXml::isRelationshipType(relationship.type, u"calcChain") && calcChainPath.isEmpty())
            calcChainPath = found;
    }
    return parts;
}

XlsxError XlsxDocument::loadSharedStrings(const QString &path, QStringList *out)
{
    if (path.isEmpty())
        return XlsxError::None;
    XlsxXml::Text xml;
    XlsxError error = readXml(path, &xml);
    if (error == XlsxError::None)
        error = parseSharedStrings(xml, out);
    if (error != XlsxError::None)
        failureDetail = path;
    return error;
}

XlsxError XlsxDocument::loadStyles(const WorkbookParts &parts)
{
    styles = std::make_unique<XlsxStyles>();
    if (stylesPath.isEmpty()) {
        // Such workbooks are valid; the seat formats need a style sheet, so one is added when saving.
        styles->parse(XlsxStyles::emptyPart(parts.strict));
        newStyles.strict = parts.strict;
        newStyles.relationshipNeeded = parts.danglingStyles.isEmpty();
        stylesPath = parts.danglingStyles.isEmpty()
                         ? freePartName(XlsxPartNames::directoryOf(workbookPath), u"styles"_s)
                         : parts.danglingStyles;
        return XlsxError::None;
    }
    QByteArray bytes;
    XlsxError error = package->read(stylesPath, &bytes);
    if (error == XlsxError::None)
        error = styles->parse(bytes);
    if (error != XlsxError::None)
        failureDetail = stylesPath;
    return error;
}

XlsxError XlsxDocument::loadSheet(const QStringList &sharedStrings)
{
    QByteArray bytes;
    XlsxError error = package->read(sheetPath, &bytes);
    sheet = std::make_unique<XlsxSheet>();
    if (error == XlsxError::None)
        error = sheet->parse(bytes, sharedStrings, limits);
    if (error != XlsxError::None)
        failureDetail = sheetPath;
    return error;
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

XlsxRange XlsxDocument::mergedRange(int row, int column) const
{
    const XlsxSheet::Bounds merge = sheet ? sheet->mergedRange(row, column) : XlsxSheet::Bounds();
    if (merge.isEmpty())
        return {row, column, 1, 1};
    return {merge.firstRow, merge.firstColumn, merge.lastRow - merge.firstRow + 1,
            merge.lastColumn - merge.firstColumn + 1};
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

bool XlsxDocument::collectEdits(QMap<quint64, XlsxSheet::Edit> *edits)
{
    styles->reset();
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
            edits->insert(it.key(), edit);
    }
    return true;
}

XlsxError XlsxDocument::patchSheet(XlsxPackageEdit &parts, const QMap<quint64, XlsxSheet::Edit> &edits) const
{
    if (edits.isEmpty())
        return XlsxError::None;
    bool formulaDropped = false;
    parts.replace(sheetPath, sheet->patch(edits, &formulaDropped));
    if (!formulaDropped || calcChainPath.isEmpty())
        return XlsxError::None;
    // A chain that names a cell which no longer has a formula makes Excel repair the file.
    const XlsxError error =
        parts.removeRelationships(workbookPath, [this](const XlsxRelationship &relationship) {
            return relationship.target.compare(calcChainPath, Qt::CaseInsensitive) == 0;
        });
    return error == XlsxError::None ? parts.dropWithDependents(calcChainPath) : error;
}

XlsxError XlsxDocument::writeStyles(XlsxPackageEdit &parts) const
{
    if (!styles->isChanged())
        return XlsxError::None;
    if (!package->find(stylesPath).isEmpty()) {
        parts.replace(stylesPath, styles->serialize());
        return XlsxError::None;
    }
    // The new style sheet is made known to the workbook and to the content types.
    XlsxError error = XlsxError::None;
    if (newStyles.relationshipNeeded)
        error = parts.addRelationship(
            workbookPath,
            newStyles.strict
                ? u"http://purl.oclc.org/ooxml/officeDocument/relationships/styles"_s
                : u"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles"_s,
            stylesPath);
    if (error == XlsxError::None)
        error = parts.setContentType(
            stylesPath, u"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml"_s, true);
    if (error == XlsxError::None)
        parts.add(stylesPath, styles->serialize());
    return error;
}

// The chart goes out as .xlsx, and Excel refuses a file so named whose main part says template
// or macro-enabled workbook.
XlsxError XlsxDocument::makePlainWorkbook(XlsxPackageEdit &parts) const
{
    if (macros) {
        XlsxError error = parts.removeRelationships(workbookPath, isVbaProject);
        if (error == XlsxError::None && !vbaProjectPath.isEmpty())
            error = parts.dropWithDependents(vbaProjectPath);
        if (error != XlsxError::None)
            return error;
    }
    // Every main content type ends so, and the plain one is the only one that names a sheet:
    // a part naming just that needs no parsing.
    const QString contentTypes = package->find(u"[Content_Types].xml"_s);
    QByteArray bytes;
    if (contentTypes.isEmpty() || parts.read(contentTypes, &bytes) != XlsxError::None)
        return XlsxError::None;
    if (bytes.count("main+xml") == 1 && bytes.contains("spreadsheetml.sheet.main+xml"))
        return XlsxError::None;
    return parts.setContentType(
        workbookPath, u"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"_s);
}

bool XlsxDocument::saveToData(QByteArray *out)
{
    out->clear();
    if (!sheet)
        return fail(XlsxError::NotOpen);
    QMap<quint64, XlsxSheet::Edit> edits;
    if (!collectEdits(&edits))
        return false;
    XlsxPackageEdit parts(*package);
    XlsxTables::followHeaderCells(parts, sheetPath, &edits);
    XlsxError error = patchSheet(parts, edits);
    if (error == XlsxError::None)
        error = writeStyles(parts);
    if (error == XlsxError::None)
        error = makePlainWorkbook(parts);
    if (error != XlsxError::None)
        return fail(error, parts.failedPart());
    error = package->write(out, parts.replacedParts(), parts.droppedParts(), parts.addedParts());
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
    if (!templatePath.isEmpty() && target.exists() &&
        target.canonicalFilePath() == QFileInfo(templatePath).canonicalFilePath())
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
