// Peak memory and time of the largest templates the engine accepts, each opened, filled and saved
// in a child process of its own so that one case's peak does not hide another's.
#include "childcase.h"
#include "xlsxdocument.h"
#include "xlsxlimits.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipnewinfo.h>

#include <cstdio>

using namespace Qt::StringLiterals;
using namespace Velmora;

namespace {

constexpr double goalMegabytes = 200;

const QByteArray mainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const QByteArray relNs = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

QByteArray workbook(const QByteArray &sheetData, const QByteArray &sharedStrings,
                    const QByteArray &media = {})
{
    const QByteArray pkg = "http://schemas.openxmlformats.org/package/2006/relationships";
    QList<QPair<QString, QByteArray>> parts = {
        {u"[Content_Types].xml"_s,
         "<?xml version=\"1.0\"?><Types "
         "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
         "<Default Extension=\"rels\" "
         "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
         "<Default Extension=\"xml\" ContentType=\"application/xml\"/></Types>"},
        {u"_rels/.rels"_s, "<?xml version=\"1.0\"?><Relationships xmlns=\"" + pkg +
                               "\"><Relationship Id=\"rId1\" Type=\"" + relNs +
                               "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
        {u"xl/workbook.xml"_s,
         "<?xml version=\"1.0\"?><workbook xmlns=\"" + mainNs + "\" xmlns:r=\"" + relNs +
             "\"><sheets><sheet name=\"S\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
        {u"xl/_rels/workbook.xml.rels"_s,
         "<?xml version=\"1.0\"?><Relationships xmlns=\"" + pkg + "\"><Relationship Id=\"rId1\" Type=\"" +
             relNs + "/worksheet\" Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" Type=\"" +
             relNs + "/sharedStrings\" Target=\"sharedStrings.xml\"/></Relationships>"},
        {u"xl/worksheets/sheet1.xml"_s, "<?xml version=\"1.0\"?><worksheet xmlns=\"" + mainNs +
                                            "\"><sheetData>" + sheetData + "</sheetData></worksheet>"},
        {u"xl/sharedStrings.xml"_s,
         "<?xml version=\"1.0\"?><sst xmlns=\"" + mainNs + "\">" + sharedStrings + "</sst>"},
    };
    // Not referenced by anything: the engine copies such parts through untouched.
    if (!media.isEmpty())
        parts.append({u"xl/media/image1.png"_s, media});
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

// Every case sits at one of the engine's bounds, with every cell it can a seat marker.
QByteArray makeCase(const QString &name)
{
    const XlsxLimits limits;
    QByteArray rows;
    QByteArray strings;
    if (name == u"cells") {
        // Both the row and the cell bound, every cell an inline seat marker.
        const int perRow = limits.cells / limits.rows;
        for (int row = 1; row <= limits.rows; ++row) {
            rows += "<row r=\"" + QByteArray::number(row) + "\">";
            for (int column = 1; column <= perRow; ++column)
                rows += "<c t=\"inlineStr\"><is><t>1-" + QByteArray::number(column) + "</t></is></c>";
            rows += "</row>";
        }
    } else if (name == u"strings") {
        // The cell bound with the shared strings and the sheet both near the part size limit.
        const QByteArray padding(limits.entryBytes / limits.cells - 40, 'x');
        for (int i = 0; i < limits.cells; ++i)
            strings += "<si><t>" + padding + QByteArray::number(i) + "</t></si>";
        for (int row = 1; row <= limits.cells / 1000; ++row) {
            rows += "<row r=\"" + QByteArray::number(row) + "\">";
            for (int column = 0; column < 1000; ++column)
                rows += "<c t=\"s\"><v>" + QByteArray::number((row - 1) * 1000 + column) + "</v></c>";
            rows += "</row>";
        }
    } else if (name == u"archive") {
        // Incompressible bytes just below the archive limit, as a large picture would be.
        QByteArray media(limits.archiveBytes - (1 << 20), Qt::Uninitialized);
        quint32 state = 2463534242u;
        for (char &byte : media) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            byte = char(state);
        }
        rows = "<row r=\"1\"><c t=\"inlineStr\"><is><t>1-1</t></is></c></row>";
        return workbook(rows, strings, media);
    } else {
        // Empty cells up to the part size limit; they are read but not kept.
        const int perRow = 16000;
        const qint64 rowBytes = 16 + perRow * 4;
        rows = "<row r=\"1\"><c t=\"inlineStr\"><is><t>1-1</t></is></c></row>";
        for (qint64 row = 2; rows.size() + rowBytes < limits.entryBytes - 1024; ++row)
            rows += "<row>" + QByteArray("<c/>").repeated(perRow) + "</row>";
    }
    return workbook(rows, strings);
}

// Open, the protocol over the stored cells, format every filled seat, save.
int runCase(const QString &templatePath, const QString &output)
{
    static const QRegularExpression seat(u"^\\d+-\\d+$"_s);
    QElapsedTimer timer;
    timer.start();
    XlsxDocument document;
    if (!document.open(templatePath)) {
        std::fprintf(stderr, "refused: %s\n", qPrintable(document.errorString()));
        return 1;
    }
    qint64 filled = 0;
    XlsxCellFormat format;
    format.centre = format.wrap = true;
    format.fontSize = 16;
    format.bold = true;
    format.fill = true;
    for (const auto &[row, column] : document.storedCells()) {
        if (!seat.match(document.cellText(row, column)).hasMatch())
            continue;
        document.setCellText(row, column, u"学生"_s + QString::number(column));
        document.setCellFormat(row, column, format);
        ++filled;
    }
    if (!document.saveAs(output)) {
        std::fprintf(stderr, "save failed: %s\n", qPrintable(document.errorString()));
        return 1;
    }
    Bench::printPeakAnd({timer.elapsed(), static_cast<long long>(filled)});
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() == 4 && arguments.at(1) == u"--run")
        return runCase(arguments.at(2), arguments.at(3));

    QTemporaryDir dir;
    double worst = 0;
    std::printf(
        "xlsx engine, largest accepted templates (open, fill every seat marker, format, save)\n"
        "  cells: the cell and row bounds, every cell a seat; strings: shared strings and sheet at the\n"
        "  part size limit; empty: empty cells up to the part size limit; archive: a picture up to the\n"
        "  archive limit\n");
    for (const QString &name : {u"cells"_s, u"strings"_s, u"empty"_s, u"archive"_s}) {
        const QString path = dir.filePath(name + u".xlsx"_s);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(makeCase(name)) < 0)
            return 1;
        file.close();
        const auto fields =
            Bench::runChildCase(name, {u"--run"_s, path, dir.filePath(name + u"-out.xlsx"_s)});
        if (!fields)
            return 1;
        const double megabytes = Bench::peakMegabytes(*fields);
        worst = std::max(worst, megabytes);
        std::printf("  %-8s template %6.2f MB: peak %7.1f MB, %7lld ms, %7lld seats filled\n",
                    qPrintable(name), double(QFileInfo(path).size()) / (1 << 20), megabytes,
                    fields->value(1).toLongLong(), fields->value(2).toLongLong());
    }
    std::printf("  worst peak %.1f MB (goal < %.0f MB: %s)\n", worst, goalMegabytes,
                worst < goalMegabytes ? "met" : "MISSED");
    return 0;
}
