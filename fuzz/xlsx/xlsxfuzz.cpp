// Feeds arbitrary bytes to the engine, either as a whole archive or, when the first byte selects
// one, as a single part of an otherwise valid workbook, so that mutations reach the XML readers
// instead of dying in the zip layer. Whatever opens must survive an edit-save-reopen cycle.
#include "xlsxdocument.h"
#include "xlsxtestpackage.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace Qt::StringLiterals;
using namespace Velmora;

namespace {

const char *const partForMode[] = {
    nullptr,           "xl/worksheets/sheet1.xml",   "xl/sharedStrings.xml", "xl/styles.xml",
    "xl/workbook.xml", "xl/_rels/workbook.xml.rels", "_rels/.rels",          "[Content_Types].xml",
};
constexpr int modes = int(sizeof partForMode / sizeof *partForMode);

XlsxLimits fuzzLimits()
{
    XlsxLimits limits;
    limits.entryBytes = 4 << 20;
    limits.totalBytes = 16 << 20;
    return limits;
}

void check(bool condition, const char *what, const XlsxDocument *document = nullptr)
{
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        if (document)
            std::fprintf(stderr, "error %d: %s\n", int(document->error()),
                         qUtf8Printable(document->errorString()));
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The zip library warns about every bad seek in a broken archive; that is all noise here.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    if (!input.isEmpty() && uint8_t(input.at(0)) > 0 && uint8_t(input.at(0)) < modes) {
        const int mode = uint8_t(input.at(0));
        Test::Parts parts = Test::workbookParts(
            u"<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" s=\"1\"><f>1+1</f><v>2</v></c></row>"_s,
            {u"1-1"_s});
        Test::setPart(parts, QString::fromLatin1(partForMode[mode]), input.mid(1));
        input = Test::zipParts(parts);
    }

    XlsxDocument document;
    document.setLimits(fuzzLimits());
    if (!document.openData(input)) {
        check(document.error() != XlsxError::None && !document.errorString().isEmpty(),
              "failure without reason");
        return 0;
    }
    const XlsxRange range = document.usedRange();
    check(range.rowCount >= 0 && range.columnCount >= 0, "negative range");
    qint64 budget = 20000;
    for (int row = range.firstRow; row < range.firstRow + range.rowCount && budget > 0; ++row) {
        for (int column = range.firstColumn; column < range.firstColumn + range.columnCount && budget > 0;
             ++column) {
            document.cellText(row, column);
            --budget;
        }
    }

    XlsxCellFormat format;
    format.centre = format.wrap = format.bold = format.fill = true;
    format.fontSize = 16;
    const int lastRow = range.rowCount ? range.firstRow + range.rowCount - 1 : 1;
    const int lastColumn = range.columnCount ? range.firstColumn + range.columnCount - 1 : 1;
    const struct
    {
        int row;
        int column;
    } targets[] = {
        {range.firstRow, range.firstColumn}, {lastRow, lastColumn}, {lastRow + 1, 1}, {1, lastColumn + 2}};
    const QString text = u"张三 & <李四>\u0001_x0041_"_s;
    for (const auto &target : targets) {
        document.setCellText(target.row, target.column, text);
        document.setCellFormat(target.row, target.column, format);
    }
    QByteArray saved;
    if (!document.saveToData(&saved)) {
        // Saving reads what opening did not: the raw bytes of the other parts, and the content
        // types when a formula goes or a style sheet is added. Those may still refuse; nothing
        // else may, a workbook without a usable style sheet included.
        const XlsxError error = document.error();
        check(error == XlsxError::Corrupt || error == XlsxError::UnsupportedEncoding ||
                  error == XlsxError::WriteFailed || error == XlsxError::MalformedXml ||
                  error == XlsxError::DtdForbidden || error == XlsxError::TooLarge,
              "accepted workbook failed to save", &document);
        return 0;
    }
    XlsxDocument reread;
    reread.setLimits(fuzzLimits());
    check(reread.openData(saved), "saved workbook does not reopen");
    for (const auto &target : targets)
        check(reread.cellText(target.row, target.column) == text, "written text does not read back");
    return 0;
}
