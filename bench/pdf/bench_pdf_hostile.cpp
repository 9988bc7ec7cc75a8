// Peak memory and time of the PDF export on the heaviest templates the .xlsx export accepts, each
// opened, read for drawing and written as a page (or refused) in a child process of its own.
#include "chartpdfwriter.h"
#include "childcase.h"
#include "xlsxdocument.h"
#include "xlsxsheetview.h"
#include "xlsxxml.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipnewinfo.h>

#include <cmath>
#include <cstdio>

using namespace Qt::StringLiterals;
using namespace Velmora;

namespace {

constexpr double goalMegabytes = 300;
constexpr double goalSeconds = 5;

const QByteArray mainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const QByteArray relNs = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

QByteArray workbook(const QByteArray &sheet, const QByteArray &styles, const QByteArray &strings,
                    const QByteArray &definedNames = {})
{
    const QByteArray pkg = "http://schemas.openxmlformats.org/package/2006/relationships";
    const QList<QPair<QString, QByteArray>> parts = {
        {u"[Content_Types].xml"_s,
         "<?xml version=\"1.0\"?><Types "
         "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
         "<Default Extension=\"rels\" "
         "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
         "<Default Extension=\"xml\" ContentType=\"application/xml\"/></Types>"},
        {u"_rels/.rels"_s, "<?xml version=\"1.0\"?><Relationships xmlns=\"" + pkg +
                               "\"><Relationship Id=\"rId1\" Type=\"" + relNs +
                               "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
        {u"xl/workbook.xml"_s, "<?xml version=\"1.0\"?><workbook xmlns=\"" + mainNs + "\" xmlns:r=\"" +
                                   relNs +
                                   "\"><sheets><sheet name=\"S\" sheetId=\"1\" r:id=\"rId1\"/></sheets>" +
                                   definedNames + "</workbook>"},
        {u"xl/_rels/workbook.xml.rels"_s,
         "<?xml version=\"1.0\"?><Relationships xmlns=\"" + pkg + "\"><Relationship Id=\"rId1\" Type=\"" +
             relNs + "/worksheet\" Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" Type=\"" +
             relNs + "/sharedStrings\" Target=\"sharedStrings.xml\"/><Relationship Id=\"rId3\" Type=\"" +
             relNs + "/styles\" Target=\"styles.xml\"/></Relationships>"},
        {u"xl/worksheets/sheet1.xml"_s,
         "<?xml version=\"1.0\"?><worksheet xmlns=\"" + mainNs + "\">" + sheet + "</worksheet>"},
        {u"xl/sharedStrings.xml"_s,
         "<?xml version=\"1.0\"?><sst xmlns=\"" + mainNs + "\">" + strings + "</sst>"},
        {u"xl/styles.xml"_s,
         "<?xml version=\"1.0\"?><styleSheet xmlns=\"" + mainNs + "\">" + styles + "</styleSheet>"},
    };
    QByteArray archive;
    QBuffer buffer(&archive);
    QuaZip zip(&buffer);
    zip.open(QuaZip::mdCreate);
    for (const auto &[name, data] : parts) {
        QuaZipFile file(&zip);
        file.open(QIODevice::WriteOnly, QuaZipNewInfo(name));
        file.write(data);
        file.close();
    }
    zip.close();
    return archive;
}

QByteArray reference(int row, int column)
{
    return XlsxXml::columnName(column).toLatin1() + QByteArray::number(row);
}

// Style 1: a boxed cell in a font without Chinese, so that every name also takes Qt's fallback.
QByteArray boxedStyles(const QByteArray &alignment = {})
{
    return "<fonts><font><sz val=\"11\"/><name val=\"宋体\"/></font><font><sz val=\"11\"/><name val=\"DejaVu "
           "Sans\"/></font></fonts><fills><fill/><fill/></fills><borders><border/><border><left "
           "style=\"thin\"/><right style=\"thin\"/><top style=\"thin\"/><bottom style=\"thin\"/></border>"
           "</borders><cellXfs><xf/><xf fontId=\"1\" borderId=\"1\">" +
           alignment + "</xf></cellXfs>";
}

QByteArray makeCase(const QString &name)
{
    QByteArray rows;
    if (name == u"cells") {
        // 48,000 boxed names, as many as a page holds at the least scale it draws.
        for (int row = 1; row <= 300; ++row) {
            rows += "<row r=\"" + QByteArray::number(row) + "\">";
            for (int column = 1; column <= 160; ++column)
                rows += "<c r=\"" + reference(row, column) + "\" s=\"1\" t=\"inlineStr\"><is><t>张" +
                        QByteArray::number((row * 7 + column) % 100) + "</t></is></c>";
            rows += "</row>";
        }
        return workbook("<sheetData>" + rows + "</sheetData>", boxedStyles(), {});
    }
    if (name == u"sizes") {
        // The same, each cell in one of the 817 sizes a font may have.
        QByteArray fonts;
        QByteArray xfs = "<xf/>";
        for (int size = 2; size <= 818; ++size) {
            fonts += "<font><sz val=\"" + QByteArray::number(size / 2.0) + "\"/><name val=\"宋体\"/></font>";
            xfs += "<xf fontId=\"" + QByteArray::number(size - 1) + "\" borderId=\"1\"/>";
        }
        for (int row = 1; row <= 300; ++row) {
            rows += "<row r=\"" + QByteArray::number(row) + "\">";
            for (int column = 1; column <= 160; ++column)
                rows += "<c r=\"" + reference(row, column) + "\" s=\"" +
                        QByteArray::number((row * 160 + column) % 817 + 1) + "\" t=\"inlineStr\"><is><t>李" +
                        QByteArray::number(column) + "</t></is></c>";
            rows += "</row>";
        }
        return workbook("<sheetData>" + rows + "</sheetData>",
                        "<fonts><font><sz val=\"11\"/></font>" + fonts +
                            "</fonts><fills><fill/><fill/></fills><borders><border/><border><left "
                            "style=\"thin\"/></border></borders><cellXfs>" +
                            xfs + "</cellXfs>",
                        {});
    }
    if (name == u"text") {
        // Wrapped text up to the page's bound: 195 cells of 1024 characters.
        const QByteArray note = QByteArray("很长的说明文字").repeated(200);
        for (int row = 1; row <= 15; ++row) {
            rows += "<row r=\"" + QByteArray::number(row) + "\">";
            for (int column = 1; column <= 13; ++column)
                rows += "<c r=\"" + reference(row, column) + "\" s=\"1\" t=\"s\"><v>0</v></c>";
            rows += "</row>";
        }
        return workbook("<cols><col min=\"1\" max=\"13\" width=\"40\"/></cols><sheetData>" + rows +
                            "</sheetData>",
                        boxedStyles("<alignment wrapText=\"1\"/>"), "<si><t>" + note + "</t></si>");
    }
    if (name == u"merges") {
        // 20,000 merged ranges of 64 x 64 cells beside a small print area.
        QByteArray merges;
        for (int i = 0; i < 20000; ++i) {
            const int row = i / 200 * 64 + 30;
            const int column = i % 200 * 64 + 1;
            merges += "<mergeCell ref=\"" + reference(row, column) + ":" + reference(row + 63, column + 63) +
                      "\"/>";
        }
        for (int row = 1; row <= 20; ++row)
            rows += "<row r=\"" + QByteArray::number(row) + "\"><c r=\"A" + QByteArray::number(row) +
                    "\" s=\"1\" t=\"inlineStr\"><is><t>1-1</t></is></c></row>";
        return workbook("<sheetData>" + rows + "</sheetData><mergeCells>" + merges + "</mergeCells>",
                        boxedStyles(), {},
                        "<definedNames><definedName name=\"_xlnm.Print_Area\" "
                        "localSheetId=\"0\">S!$A$1:$H$20</definedName></definedNames>");
    }
    // rows: 50,000 rows of one value each, far beyond one page: refused.
    for (int row = 1; row <= 50000; ++row)
        rows += "<row r=\"" + QByteArray::number(row) + "\"><c r=\"A" + QByteArray::number(row) + "\"><v>" +
                QByteArray::number(row) + "</v></c></row>";
    return workbook("<sheetData>" + rows + "</sheetData>", boxedStyles(), {});
}

int runCase(const QString &templatePath, const QString &output)
{
    QElapsedTimer timer;
    timer.start();
    XlsxDocument document;
    XlsxSheetView view;
    if (!document.open(templatePath) || document.readSheetView(&view) != XlsxError::None) {
        std::fprintf(stderr, "refused: %s\n", qPrintable(document.errorString()));
        return 1;
    }
    ChartPdfWriter writer(view);
    QString error;
    const bool written = writer.writeFile(output, &error);
    if (!written && writer.refusal().isEmpty()) {
        std::fprintf(stderr, "write failed: %s\n", qPrintable(error));
        return 1;
    }
    Bench::printPeakAnd({std::llround(Bench::processorMilliseconds()), timer.elapsed(), written ? 1 : 0});
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() == 4 && arguments.at(1) == u"--run")
        return runCase(arguments.at(2), arguments.at(3));

    QTemporaryDir dir;
    double worstMegabytes = 0;
    double worstSeconds = 0;
    std::printf("PDF export, heaviest accepted templates (open, read for drawing, draw or refuse, save)\n"
                "  cells: 48,000 boxed names at the least scale; sizes: the same in 817 font sizes;\n"
                "  text: 200,000 wrapped characters; merges: 20,000 ranges of 64 x 64 cells;\n"
                "  rows: 50,000 rows, refused\n");
    for (const QString &name : {u"cells"_s, u"sizes"_s, u"text"_s, u"merges"_s, u"rows"_s}) {
        const QString path = dir.filePath(name + u".xlsx"_s);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(makeCase(name)) < 0)
            return 1;
        file.close();
        const auto fields = Bench::runChildCase(name, {u"--run"_s, path, dir.filePath(name + u".pdf"_s)});
        if (!fields)
            return 1;
        const double megabytes = Bench::peakMegabytes(*fields);
        const double seconds = fields->value(1).toDouble() / 1000;
        worstMegabytes = std::max(worstMegabytes, megabytes);
        worstSeconds = std::max(worstSeconds, seconds);
        std::printf("  %-7s peak %6.1f MB, %6.2f s of processor time (%6.2f s on the clock), %s\n",
                    qPrintable(name), megabytes, seconds, fields->value(2).toDouble() / 1000,
                    fields->value(3) == "1" ? "drawn" : "refused");
    }
    std::printf("  worst peak %.1f MB (goal < %.0f MB: %s), worst time %.2f s (goal < %.0f s: %s)\n",
                worstMegabytes, goalMegabytes, worstMegabytes < goalMegabytes ? "met" : "MISSED",
                worstSeconds, goalSeconds, worstSeconds < goalSeconds ? "met" : "MISSED");
    return 0;
}
