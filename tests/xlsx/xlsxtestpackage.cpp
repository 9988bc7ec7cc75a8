#include "xlsxtestpackage.h"

#include <QBuffer>
#include <QFile>
#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

using namespace Qt::StringLiterals;

namespace Velmora::Test {

namespace {

const QString main = u"http://schemas.openxmlformats.org/spreadsheetml/2006/main"_s;
const QString rel = u"http://schemas.openxmlformats.org/officeDocument/2006/relationships"_s;
const QString pkg = u"http://schemas.openxmlformats.org/package/2006/relationships"_s;

QByteArray contentTypes()
{
    return QByteArrayLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
        "<Default Extension=\"rels\" "
        "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
        "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
        "<Override PartName=\"/xl/workbook.xml\" "
        "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
        "<Override PartName=\"/xl/worksheets/sheet1.xml\" "
        "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
        "<Override PartName=\"/xl/calcChain.xml\" "
        "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.calcChain+xml\"/>"
        "</Types>");
}

Parts partsWith(const QString &mainNs, const QString &relNs, const QString &sheetData,
                const QStringList &strings)
{
    QString sst = u"<?xml version=\"1.0\"?><sst xmlns=\""_s + mainNs + u"\">"_s;
    for (const QString &s : strings)
        sst += u"<si><t>"_s + s + u"</t></si>"_s;
    sst += u"</sst>"_s;
    const QString styles =
        u"<?xml version=\"1.0\"?><styleSheet xmlns=\""_s + mainNs +
        u"\"><fonts count=\"2\"><font><sz val=\"11\"/><name val=\"Arial\"/></font>"
        u"<font><b/><i/><sz val=\"12\"/><color rgb=\"FFFF0000\"/><name val=\"Arial\"/></font></fonts>"
        u"<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill><fill><patternFill "
        u"patternType=\"gray125\"/></fill></fills>"
        u"<borders count=\"1\"><border/></borders><cellStyleXfs count=\"1\"><xf/></cellStyleXfs>"
        u"<cellXfs count=\"2\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>"
        u"<xf numFmtId=\"0\" fontId=\"1\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyFont=\"1\">"
        u"<alignment horizontal=\"left\" indent=\"2\"/><protection locked=\"0\"/></xf></cellXfs></styleSheet>"_s;
    return {
        {u"[Content_Types].xml"_s, contentTypes()},
        {u"_rels/.rels"_s, (u"<?xml version=\"1.0\"?><Relationships xmlns=\""_s + pkg +
                            u"\"><Relationship Id=\"rId1\" Type=\""_s + relNs +
                            u"/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"_s)
                               .toUtf8()},
        {u"xl/workbook.xml"_s,
         (u"<?xml version=\"1.0\"?><workbook xmlns=\""_s + mainNs + u"\" xmlns:r=\""_s + relNs +
          u"\"><sheets><sheet name=\"S\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"_s)
             .toUtf8()},
        {u"xl/_rels/workbook.xml.rels"_s,
         (u"<?xml version=\"1.0\"?><Relationships xmlns=\""_s + pkg +
          u"\"><Relationship Id=\"rId1\" Type=\""_s + relNs +
          u"/worksheet\" Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" Type=\""_s + relNs +
          u"/sharedStrings\" Target=\"sharedStrings.xml\"/><Relationship Id=\"rId3\" Type=\""_s + relNs +
          u"/styles\" Target=\"styles.xml\"/><Relationship Id=\"rId4\" Type=\""_s + relNs +
          u"/calcChain\" Target=\"calcChain.xml\"/></Relationships>"_s)
             .toUtf8()},
        {u"xl/worksheets/sheet1.xml"_s, (u"<?xml version=\"1.0\"?><worksheet xmlns=\""_s + mainNs +
                                         u"\"><sheetData>"_s + sheetData + u"</sheetData></worksheet>"_s)
                                            .toUtf8()},
        {u"xl/sharedStrings.xml"_s, sst.toUtf8()},
        {u"xl/styles.xml"_s, styles.toUtf8()},
        {u"xl/calcChain.xml"_s,
         (u"<calcChain xmlns=\""_s + mainNs + u"\"><c r=\"A1\" i=\"1\"/></calcChain>"_s).toUtf8()},
    };
}

} // namespace

Parts workbookParts(const QString &sheetData, const QStringList &sharedStrings)
{
    return partsWith(main, rel, sheetData, sharedStrings);
}

Parts strictWorkbookParts(const QString &sheetData)
{
    return partsWith(u"http://purl.oclc.org/ooxml/spreadsheetml/main"_s,
                     u"http://purl.oclc.org/ooxml/officeDocument/relationships"_s, sheetData, {u"strict"_s});
}

QString worksheetXml(const QString &sheetData, const QString &prefix)
{
    const QString p = prefix.isEmpty() ? QString() : prefix + u':';
    const QString ns = prefix.isEmpty() ? u"xmlns"_s : u"xmlns:"_s + prefix;
    return u"<?xml version=\"1.0\"?><"_s + p + u"worksheet "_s + ns + u"=\""_s + main + u"\"><"_s + p +
           u"dimension ref=\"A1\"/><"_s + p + u"sheetData>"_s + sheetData + u"</"_s + p + u"sheetData></"_s +
           p + u"worksheet>"_s;
}

void setPart(Parts &parts, const QString &name, const QByteArray &data)
{
    for (auto &part : parts) {
        if (part.first == name) {
            part.second = data;
            return;
        }
    }
    parts.append({name, data});
}

QByteArray zipParts(const Parts &parts)
{
    QByteArray archive;
    QBuffer buffer(&archive);
    QuaZip zip(&buffer);
    if (!zip.open(QuaZip::mdCreate))
        qFatal("cannot create a test archive");
    for (const auto &part : parts) {
        QuaZipFile file(&zip);
        if (!file.open(QIODevice::WriteOnly, QuaZipNewInfo(part.first)))
            qFatal("cannot add a test part");
        file.write(part.second);
        file.close();
    }
    zip.close();
    return archive;
}

QMap<QString, QByteArray> unzipParts(const QByteArray &archive)
{
    QMap<QString, QByteArray> parts;
    QByteArray copy = archive;
    QBuffer buffer(&copy);
    QuaZip zip(&buffer);
    if (!zip.open(QuaZip::mdUnzip))
        return parts;
    for (bool more = zip.goToFirstFile(); more; more = zip.goToNextFile()) {
        QuaZipFile file(&zip);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        parts.insert(zip.getCurrentFileName(), file.readAll());
        file.close();
    }
    return parts;
}

QMap<QString, QByteArray> unzipFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return unzipParts(file.readAll());
}

} // namespace Velmora::Test
