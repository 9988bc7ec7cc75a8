#include "xlsxdocument.h"
#include "xlsxtestpackage.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace Velmora;
using namespace Velmora::Test;

Q_DECLARE_METATYPE(Velmora::Test::Parts)

namespace {

QStringList cellRefsInOrder(const QByteArray &sheet)
{
    QStringList refs;
    static const QRegularExpression cell(u"<(?:\\w+:)?c r=\"([A-Z]+[0-9]+)\""_s);
    for (const auto &match : cell.globalMatch(QString::fromUtf8(sheet)))
        refs << match.captured(1);
    return refs;
}

int countAttribute(const QByteArray &styles, const char *list)
{
    static const QString pattern = u"<(?:\\w+:)?%1 count=\"(\\d+)\""_s;
    const auto match = QRegularExpression(pattern.arg(QLatin1String(list))).match(QString::fromUtf8(styles));
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

QByteArray saved(XlsxDocument &document)
{
    QByteArray out;
    if (!document.saveToData(&out))
        qWarning() << document.errorString();
    return out;
}

} // namespace

class XlsxDocumentTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsCellValues_data();
    void readsCellValues();
    void computesUsedRange_data();
    void computesUsedRange();
    void insertsAbsentCellsInOrder_data();
    void insertsAbsentCellsInOrder();
    void writtenTextReadsBack_data();
    void writtenTextReadsBack();
    void replacingFormulaDropsCalcChain_data();
    void replacingFormulaDropsCalcChain();
    void replacingSharedFormulaMasterKeepsDependentsValid();
    void clonesOneStylePerCombination();
    void formatKeepsWhatItDoesNotSet();
    void findsFirstWorksheet_data();
    void findsFirstWorksheet();
    void keepsRootNamespaceDeclarations();
    void keepsPartEncoding_data();
    void keepsPartEncoding();
    void writtenNamesFollowTheLabel_data();
    void writtenNamesFollowTheLabel();
    void saveAs_failures_data();
    void saveAs_failures();
};

void XlsxDocumentTest::readsCellValues_data()
{
    QTest::addColumn<Parts>("parts");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("expected");

    const QString rich = u"<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>"_s;
    Parts richParts = workbookParts(rich);
    setPart(richParts, u"xl/sharedStrings.xml"_s,
            "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><si><r><rPr><b/></rPr>"
            "<t>张</t></r><r><t xml:space=\"preserve\"> 三</t></r><rPh sb=\"0\" eb=\"1\"><t>ZHANG</t></rPh>"
            "<phoneticPr fontId=\"0\"/></si></sst>");
    QTest::newRow("sharedRichRuns_joinedWithoutPhonetic") << richParts << 1 << 1 << u"张 三"_s;

    QTest::newRow("sharedPlain_text")
        << workbookParts(u"<row r=\"2\"><c r=\"B2\" t=\"s\"><v>1</v></c></row>"_s, {u"a"_s, u"1-2"_s}) << 2
        << 2 << u"1-2"_s;
    QTest::newRow("inlineRich_joined")
        << workbookParts(
               u"<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><r><t>日期：</t></r><r><t>XXXX.XX.XX</t>"
               u"</r><rPh><t>x</t></rPh></is></c></row>"_s)
        << 1 << 1 << u"日期：XXXX.XX.XX"_s;
    QTest::newRow("formulaString_cachedResult")
        << workbookParts(u"<row r=\"1\"><c r=\"A1\" t=\"str\"><f>\"3-\"&amp;\"4\"</f><v>3-4</v></c></row>"_s)
        << 1 << 1 << u"3-4"_s;
    QTest::newRow("number_asWritten")
        << workbookParts(u"<row r=\"1\"><c r=\"A1\"><v>2.5</v></c></row>"_s) << 1 << 1 << u"2.5"_s;
    QTest::newRow("booleanTrue_TRUE")
        << workbookParts(u"<row r=\"1\"><c r=\"A1\" t=\"b\"><v>1</v></c></row>"_s) << 1 << 1 << u"TRUE"_s;
    QTest::newRow("booleanFalse_FALSE")
        << workbookParts(u"<row r=\"1\"><c r=\"A1\" t=\"b\"><v>0</v></c></row>"_s) << 1 << 1 << u"FALSE"_s;
    QTest::newRow("cellsWithoutRef_countOn")
        << workbookParts(u"<row r=\"3\"><c r=\"C3\"><v>1</v></c><c><v>2</v></c><c><v>3</v></c></row>"_s) << 3
        << 5 << u"3"_s;
    QTest::newRow("rowsWithoutRef_countOn")
        << workbookParts(
               u"<row r=\"4\"><c><v>1</v></c></row><row><c><v>2</v></c></row><row><c/><c><v>3</v></c></row>"_s)
        << 6 << 2 << u"3"_s;
    QTest::newRow("escapedControl_decoded")
        << workbookParts(
               u"<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>a_x000D__x0007_b_x005F_x0041_</t></is></c></row>"_s)
        << 1 << 1 << u"a\r\u0007b_x0041_"_s;
    QTest::newRow("absentCellInsideRange_empty")
        << workbookParts(u"<row r=\"1\"><c r=\"A1\"><v>1</v></c><c r=\"C1\"><v>1</v></c></row>"_s) << 1 << 2
        << QString();
    QTest::newRow("outsideGrid_empty")
        << workbookParts(u"<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"_s) << 0 << -3 << QString();

    Parts prefixed = workbookParts({});
    setPart(prefixed, u"xl/worksheets/sheet1.xml"_s,
            worksheetXml(
                u"<x:row r=\"1\"><x:c r=\"A1\" t=\"inlineStr\"><x:is><x:t>1-1</x:t></x:is></x:c></x:row>"_s,
                u"x"_s)
                .toUtf8());
    QTest::newRow("prefixedSheet_read") << prefixed << 1 << 1 << u"1-1"_s;
    QTest::newRow("strictNamespaces_read")
        << strictWorkbookParts(u"<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>"_s) << 1 << 1
        << u"strict"_s;
}

void XlsxDocumentTest::readsCellValues()
{
    QFETCH(Parts, parts);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QString, expected);
    XlsxDocument document;
    QVERIFY2(document.openData(zipParts(parts)), qPrintable(document.errorString()));
    QCOMPARE(document.cellText(row, column), expected);
}

void XlsxDocumentTest::computesUsedRange_data()
{
    QTest::addColumn<QString>("sheetData");
    QTest::addColumn<QList<int>>("expected"); // first row, first column, row count, column count

    QTest::newRow("emptySheet_zeroCounts") << QString() << QList<int>{1, 1, 0, 0};
    QTest::newRow("offsetCells_startWhereDataStarts")
        << u"<row r=\"3\"><c r=\"C3\"><v>1</v></c></row><row r=\"7\"><c r=\"E7\"><v>1</v></c></row>"_s
        << QList<int>{3, 3, 5, 3};
    QTest::newRow("styledEmptyCell_counts")
        << u"<row r=\"2\"><c r=\"B2\"><v>1</v></c><c r=\"F2\" s=\"1\"/></row>"_s << QList<int>{2, 2, 1, 5};
    QTest::newRow("emptyRows_ignored")
        << u"<row r=\"1\"/><row r=\"5\"><c r=\"A5\"><v>1</v></c></row><row r=\"9\"/>"_s
        << QList<int>{5, 1, 1, 1};
}

void XlsxDocumentTest::computesUsedRange()
{
    QFETCH(QString, sheetData);
    QFETCH(QList<int>, expected);
    // The dimension element claims A1 whatever the data says.
    Parts parts = workbookParts({});
    setPart(parts, u"xl/worksheets/sheet1.xml"_s, worksheetXml(sheetData).toUtf8());
    XlsxDocument document;
    QVERIFY2(document.openData(zipParts(parts)), qPrintable(document.errorString()));
    const XlsxRange range = document.usedRange();
    QCOMPARE((QList<int>{range.firstRow, range.firstColumn, range.rowCount, range.columnCount}), expected);
}

void XlsxDocumentTest::insertsAbsentCellsInOrder_data()
{
    QTest::addColumn<QString>("sheetData");
    QTest::addColumn<QList<int>>("writes"); // row, column pairs
    QTest::addColumn<QStringList>("expectedOrder");

    QTest::newRow("gapInRow_insertedBetween")
        << u"<row r=\"1\" spans=\"1:3\"><c r=\"A1\"><v>1</v></c><c r=\"C1\"><v>3</v></c></row>"_s
        << QList<int>{1, 2} << QStringList{u"A1"_s, u"B1"_s, u"C1"_s};
    QTest::newRow("beforeFirstCell_insertedFirst") << u"<row r=\"2\"><c r=\"C2\"><v>1</v></c></row>"_s
                                                   << QList<int>{2, 1} << QStringList{u"A2"_s, u"C2"_s};
    QTest::newRow("missingRow_insertedBetweenRows")
        << u"<row r=\"1\"><c r=\"A1\"><v>1</v></c></row><row r=\"4\"><c r=\"A4\"><v>1</v></c></row>"_s
        << QList<int>{3, 2, 2, 5} << QStringList{u"A1"_s, u"E2"_s, u"B3"_s, u"A4"_s};
    QTest::newRow("afterLastRow_appended")
        << u"<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"_s << QList<int>{9, 1, 8, 2}
        << QStringList{u"A1"_s, u"B8"_s, u"A9"_s};
    QTest::newRow("selfClosingRow_opened")
        << u"<row r=\"2\" ht=\"30\" customHeight=\"1\"/>"_s << QList<int>{2, 3} << QStringList{u"C2"_s};
    QTest::newRow("emptySheetData_filled") << QString() << QList<int>{1, 1} << QStringList{u"A1"_s};
    QTest::newRow("cellsWithoutRef_keptInPlace")
        << u"<row r=\"1\"><c><v>1</v></c><c><v>2</v></c><c r=\"E1\"><v>5</v></c></row>"_s
        << QList<int>{1, 4, 1, 2} << QStringList{u"B1"_s, u"D1"_s, u"E1"_s};
    QTest::newRow("bareCellDroppedBeforeCellWithoutRef_cellKeepsColumn")
        << u"<row r=\"1\"><c r=\"A1\"><v>1</v></c><c/><c><v>3</v></c></row>"_s << QList<int>{1, 5}
        << QStringList{u"A1"_s, u"C1"_s, u"E1"_s};
}

void XlsxDocumentTest::insertsAbsentCellsInOrder()
{
    QFETCH(QString, sheetData);
    QFETCH(QList<int>, writes);
    QFETCH(QStringList, expectedOrder);
    Parts parts = workbookParts({});
    setPart(parts, u"xl/worksheets/sheet1.xml"_s,
            (sheetData.isEmpty() ? worksheetXml({}).replace(u"<sheetData></sheetData>"_s, u"<sheetData/>"_s)
                                 : worksheetXml(sheetData))
                .toUtf8());
    XlsxDocument document;
    QVERIFY(document.openData(zipParts(parts)));
    for (int i = 0; i + 1 < writes.size(); i += 2)
        document.setCellText(writes[i], writes[i + 1], u"新"_s + QString::number(i));
    const QByteArray out = saved(document);
    const QByteArray sheet = unzipParts(out).value(u"xl/worksheets/sheet1.xml"_s);
    QStringList refs = cellRefsInOrder(sheet);
    QCOMPARE(refs, expectedOrder);
    QVERIFY2(!sheet.contains("spans="), sheet.constData());

    XlsxDocument reread;
    QVERIFY2(reread.openData(out), qPrintable(reread.errorString()));
    for (int i = 0; i + 1 < writes.size(); i += 2)
        QCOMPARE(reread.cellText(writes[i], writes[i + 1]), u"新"_s + QString::number(i));
    if (sheetData.contains(u"<v>5</v>"))
        QCOMPARE(reread.cellText(1, 5), u"5"_s);
}

void XlsxDocumentTest::writtenTextReadsBack_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("markup_escaped") << u"<b>&amp; \"张三\" 'x'"_s;
    QTest::newRow("controlCharacters_escaped") << u"a\u0001b\u0008c\u001Fd\re"_s;
    QTest::newRow("literalEscapeLookalike_kept") << u"_x0041_ and _x005F_"_s;
    QTest::newRow("lineBreakAndTab_kept") << u"第一行\n第二行\t末"_s;
    QTest::newRow("surrogatePair_kept") << u"😀同学"_s;
    QTest::newRow("edgeSpaces_kept") << u"  李四  "_s;
    QTest::newRow("nonCharacters_escaped") << u"x\uFFFEy\uFFFF"_s;
}

void XlsxDocumentTest::writtenTextReadsBack()
{
    QFETCH(QString, text);
    XlsxDocument document;
    QVERIFY(document.openData(
        zipParts(workbookParts(u"<row r=\"1\"><c r=\"A1\"><f>1+1</f><v>2</v></c></row>"_s))));
    document.setCellText(1, 1, text);
    QCOMPARE(document.cellText(1, 1), text);
    const QByteArray out = saved(document);
    const QByteArray sheet = unzipParts(out).value(u"xl/worksheets/sheet1.xml"_s);
    QVERIFY(sheet.contains("t=\"inlineStr\""));
    QVERIFY(sheet.contains("xml:space=\"preserve\""));
    QVERIFY(!sheet.contains("<f>"));
    QVERIFY(!sheet.contains("<v>"));
    QXmlStreamReader xml(sheet);
    while (!xml.atEnd())
        xml.readNext();
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    XlsxDocument reread;
    QVERIFY(reread.openData(out));
    QCOMPARE(reread.cellText(1, 1), text);
}

void XlsxDocumentTest::replacingFormulaDropsCalcChain_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("dropped");
    QTest::newRow("formulaCellReplaced_chainDropped") << 1 << true;
    QTest::newRow("plainCellReplaced_chainKept") << 2 << false;
}

void XlsxDocumentTest::replacingFormulaDropsCalcChain()
{
    QFETCH(int, column);
    QFETCH(bool, dropped);
    const Parts parts =
        workbookParts(u"<row r=\"1\"><c r=\"A1\"><f>B1*2</f><v>4</v></c><c r=\"B1\"><v>2</v></c></row>"_s);
    const QByteArray template_ = zipParts(parts);
    XlsxDocument document;
    QVERIFY(document.openData(template_));
    document.setCellText(1, column, u"王五"_s);
    const QMap<QString, QByteArray> before = unzipParts(template_);
    const QMap<QString, QByteArray> after = unzipParts(saved(document));
    QCOMPARE(after.contains(u"xl/calcChain.xml"_s), !dropped);
    QCOMPARE(after.value(u"[Content_Types].xml"_s).contains("calcChain"), !dropped);
    QCOMPARE(after.value(u"xl/_rels/workbook.xml.rels"_s).contains("calcChain"), !dropped);
    if (dropped) {
        // Only the one entry goes; the rest of each part is as it was.
        QByteArray rels = before.value(u"xl/_rels/workbook.xml.rels"_s);
        const qsizetype at = rels.indexOf("<Relationship Id=\"rId4\"");
        rels.remove(at, rels.indexOf("/>", at) + 2 - at);
        QCOMPARE(after.value(u"xl/_rels/workbook.xml.rels"_s), rels);
    } else {
        QCOMPARE(after.value(u"[Content_Types].xml"_s), before.value(u"[Content_Types].xml"_s));
        QCOMPARE(after.value(u"xl/calcChain.xml"_s), before.value(u"xl/calcChain.xml"_s));
    }
}

void XlsxDocumentTest::replacingSharedFormulaMasterKeepsDependentsValid()
{
    XlsxDocument document;
    QVERIFY(document.openData(zipParts(workbookParts(
        u"<row r=\"1\"><c r=\"A1\"><f t=\"shared\" ref=\"A1:A3\" si=\"0\">B1+1</f><v>1</v></c></row>"
        u"<row r=\"2\"><c r=\"A2\"><f t=\"shared\" si=\"0\"/><v>2</v></c></row>"
        u"<row r=\"3\"><c r=\"A3\"><f t=\"shared\" si=\"1\"/><v>3</v></c></row>"_s))));
    document.setCellText(1, 1, u"1-1"_s);
    const QByteArray out = saved(document);
    const QString sheet = QString::fromUtf8(unzipParts(out).value(u"xl/worksheets/sheet1.xml"_s));
    QVERIFY2(!sheet.contains(u"si=\"0\""), qPrintable(sheet));
    QVERIFY2(sheet.contains(u"<c r=\"A2\"><v>2</v></c>"), qPrintable(sheet));
    QVERIFY(sheet.contains(u"si=\"1\""));
    XlsxDocument reread;
    QVERIFY(reread.openData(out));
    QCOMPARE(reread.cellText(2, 1), u"2"_s);
}

void XlsxDocumentTest::clonesOneStylePerCombination()
{
    XlsxDocument document;
    QVERIFY(
        document.openData(zipParts(workbookParts(u"<row r=\"1\"><c r=\"A1\" s=\"1\"><v>1</v></c><c r=\"B1\" "
                                                 u"s=\"1\"><v>1</v></c><c r=\"C1\" s=\"1\"><v>1</v></c>"
                                                 u"<c r=\"D1\"><v>1</v></c></row>"_s))));
    XlsxCellFormat plain;
    plain.centre = plain.wrap = true;
    plain.fontSize = 16;
    XlsxCellFormat leader = plain;
    leader.bold = true;
    XlsxCellFormat boarder = leader;
    boarder.fill = true;
    document.setCellFormat(1, 1, plain);
    document.setCellFormat(1, 2, plain);
    document.setCellFormat(1, 3, boarder);
    document.setCellFormat(1, 4, plain);  // different base xf, so a clone of its own
    document.setCellFormat(1, 5, leader); // absent cell, based on xf 0
    const QByteArray out = saved(document);
    const QMap<QString, QByteArray> parts = unzipParts(out);
    const QByteArray styles = parts.value(u"xl/styles.xml"_s);
    QCOMPARE(countAttribute(styles, "cellXfs"), 2 + 4);
    QCOMPARE(countAttribute(styles, "fonts"), 2 + 4);
    QCOMPARE(countAttribute(styles, "fills"), 2 + 1);
    QCOMPARE(styles.count("<xf "), 2 + 4);
    const QString sheet = QString::fromUtf8(parts.value(u"xl/worksheets/sheet1.xml"_s));
    QVERIFY2(sheet.contains(u"r=\"A1\" s=\"2\"") && sheet.contains(u"r=\"B1\" s=\"2\""), qPrintable(sheet));
    QVERIFY2(sheet.contains(u"r=\"C1\" s=\"3\"") && sheet.contains(u"r=\"D1\" s=\"4\""), qPrintable(sheet));
    QVERIFY2(sheet.contains(u"<c r=\"E1\" s=\"5\"/>"), qPrintable(sheet));
    // The template's own xf and font are untouched.
    QVERIFY(styles.contains(
        "<xf numFmtId=\"0\" fontId=\"1\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyFont=\"1\">"
        "<alignment horizontal=\"left\" indent=\"2\"/><protection locked=\"0\"/></xf>"));
    QVERIFY(styles.contains("<fill><patternFill patternType=\"solid\"><fgColor rgb=\"FFFFFF00\"/>"));
    QVERIFY2(
        styles.contains("<alignment horizontal=\"center\" indent=\"2\" vertical=\"center\" wrapText=\"1\"/>"
                        "<protection locked=\"0\"/>"),
        styles.constData());
    // Saving twice must not pile up clones.
    QCOMPARE(unzipParts(saved(document)).value(u"xl/styles.xml"_s), styles);
}

void XlsxDocumentTest::formatKeepsWhatItDoesNotSet()
{
    XlsxDocument document;
    QVERIFY(
        document.openData(zipParts(workbookParts(u"<row r=\"1\"><c r=\"A1\" s=\"1\"><v>1</v></c></row>"_s))));
    XlsxCellFormat format;
    format.fontSize = 16;
    document.setCellFormat(1, 1, format);
    document.setCellText(1, 1, u"赵六"_s);
    const QByteArray styles = unzipParts(saved(document)).value(u"xl/styles.xml"_s);
    // Bold and italic stay from font 1; only the size changes.
    QVERIFY2(
        styles.contains(
            "<font><b/><i/><sz val=\"16\"/><color rgb=\"FFFF0000\"/><name val=\"Arial\"/></font></fonts>"),
        styles.constData());
    QCOMPARE(countAttribute(styles, "fills"), 2);

    XlsxDocument untouched;
    QVERIFY(untouched.openData(
        zipParts(workbookParts(u"<row r=\"1\"><c r=\"A1\" s=\"1\"><v>1</v></c></row>"_s))));
    untouched.setCellFormat(1, 1, XlsxCellFormat());
    QCOMPARE(unzipParts(saved(untouched)).value(u"xl/styles.xml"_s),
             unzipParts(zipParts(workbookParts({}))).value(u"xl/styles.xml"_s));
}

void XlsxDocumentTest::findsFirstWorksheet_data()
{
    QTest::addColumn<QByteArray>("workbook");
    QTest::addColumn<QByteArray>("relationships");
    QTest::addColumn<QString>("expected");

    const QByteArray head =
        "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets>";
    const QByteArray rels =
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"c1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
        "relationships/chartsheet\" Target=\"chartsheets/sheet1.xml\"/>"
        "<Relationship Id=\"w2\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
        "relationships/worksheet\" Target=\"%1\"/>"
        "<Relationship Id=\"w1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
        "relationships/worksheet\" Target=\"worksheets/other.xml\"/></Relationships>";
    auto withTarget = [&](const char *target) { return QByteArray(rels).replace("%1", target); };
    QTest::newRow("chartsheetFirst_skipped")
        << head + "<sheet name=\"c\" sheetId=\"3\" r:id=\"c1\"/><sheet name=\"a\" sheetId=\"1\" r:id=\"w2\"/>"
                  "<sheet name=\"b\" sheetId=\"2\" r:id=\"w1\"/></sheets></workbook>"
        << withTarget("worksheets/sheet1.xml") << u"first"_s;
    QTest::newRow("tabOrderNotRelationshipOrder_followed")
        << head + "<sheet name=\"b\" sheetId=\"2\" r:id=\"w1\"/><sheet name=\"a\" sheetId=\"1\" r:id=\"w2\"/>"
                  "</sheets></workbook>"
        << withTarget("worksheets/sheet1.xml") << u"other"_s;
    QTest::newRow("absoluteTarget_resolved")
        << head + "<sheet name=\"a\" sheetId=\"1\" r:id=\"w2\"/></sheets></workbook>"
        << withTarget("/xl/worksheets/sheet1.xml") << u"first"_s;
    QTest::newRow("dotDotTargetAndOtherCase_resolved")
        << head + "<sheet name=\"a\" sheetId=\"1\" r:id=\"w2\"/></sheets></workbook>"
        << withTarget("../XL/./Worksheets/Sheet1.XML") << u"first"_s;
    QTest::newRow("percentEncodedTarget_resolved")
        << head + "<sheet name=\"a\" sheetId=\"1\" r:id=\"w2\"/></sheets></workbook>"
        << withTarget("worksheets/sheet%31.xml") << u"first"_s;
    // A teacher's hidden sheet is still the template's first; only a class list skips it.
    QTest::newRow("hiddenFirst_filledAnyway")
        << head + "<sheet name=\"a\" sheetId=\"1\" state=\"hidden\" r:id=\"w2\"/><sheet name=\"b\" "
                  "sheetId=\"2\" r:id=\"w1\"/></sheets></workbook>"
        << withTarget("worksheets/sheet1.xml") << u"first"_s;
}

void XlsxDocumentTest::findsFirstWorksheet()
{
    QFETCH(QByteArray, workbook);
    QFETCH(QByteArray, relationships);
    QFETCH(QString, expected);
    Parts parts =
        workbookParts(u"<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>first</t></is></c></row>"_s);
    setPart(parts, u"xl/workbook.xml"_s, workbook);
    setPart(parts, u"xl/_rels/workbook.xml.rels"_s, relationships);
    setPart(
        parts, u"xl/worksheets/other.xml"_s,
        worksheetXml(u"<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>other</t></is></c></row>"_s).toUtf8());
    setPart(parts, u"xl/chartsheets/sheet1.xml"_s, "<chartsheet/>");
    XlsxDocument document;
    QVERIFY2(document.openData(zipParts(parts)), qPrintable(document.errorString()));
    QCOMPARE(document.cellText(1, 1), expected);
    document.setCellText(1, 1, u"改"_s);
    const QMap<QString, QByteArray> out = unzipParts(saved(document));
    const QString changed =
        expected == u"first" ? u"xl/worksheets/sheet1.xml"_s : u"xl/worksheets/other.xml"_s;
    QVERIFY(QString::fromUtf8(out.value(changed)).contains(u"改"));
}

void XlsxDocumentTest::keepsRootNamespaceDeclarations()
{
    const QByteArray root =
        "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
        "xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\" mc:Ignorable=\"x14ac xr "
        "xr2\" "
        "xmlns:x14ac=\"http://schemas.microsoft.com/office/spreadsheetml/2009/9/ac\" "
        "xmlns:xr=\"http://schemas.microsoft.com/office/spreadsheetml/2014/revision\" "
        "xmlns:xr2=\"http://schemas.microsoft.com/office/spreadsheetml/2015/revision2\" xr:uid=\"{1}\">";
    Parts parts = workbookParts({});
    setPart(parts, u"xl/worksheets/sheet1.xml"_s,
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n" + root +
                "<sheetFormatPr defaultRowHeight=\"15\" x14ac:dyDescent=\"0.25\"/><sheetData><row r=\"1\" "
                "x14ac:dyDescent=\"0.25\"><c r=\"A1\"><v>1</v></c></row></sheetData></worksheet>");
    XlsxDocument document;
    QVERIFY(document.openData(zipParts(parts)));
    document.setCellText(1, 1, u"1-1"_s);
    const QByteArray sheet = unzipParts(saved(document)).value(u"xl/worksheets/sheet1.xml"_s);
    const QByteArray head =
        QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n") + root;
    QVERIFY2(sheet.startsWith(head), sheet.constData());
    QVERIFY(sheet.contains("<row r=\"1\" x14ac:dyDescent=\"0.25\"><c r=\"A1\" t=\"inlineStr\">"));
}

void XlsxDocumentTest::keepsPartEncoding_data()
{
    QTest::addColumn<QByteArray>("bom");
    QTest::addColumn<int>("encoding"); // QStringConverter::Encoding
    QTest::addColumn<QString>("declaration");
    QTest::newRow("utf8_plain") << QByteArray() << int(QStringConverter::Utf8) << u"UTF-8"_s;
    QTest::newRow("utf8WithBom_bomKept")
        << QByteArray("\xEF\xBB\xBF") << int(QStringConverter::Utf8) << u"UTF-8"_s;
    QTest::newRow("utf16le_keptUtf16le")
        << QByteArray("\xFF\xFE") << int(QStringConverter::Utf16LE) << u"UTF-16"_s;
    QTest::newRow("utf16be_keptUtf16be")
        << QByteArray("\xFE\xFF") << int(QStringConverter::Utf16BE) << u"UTF-16"_s;
}

void XlsxDocumentTest::keepsPartEncoding()
{
    QFETCH(QByteArray, bom);
    QFETCH(int, encoding);
    QFETCH(QString, declaration);
    const QString xml =
        u"<?xml version=\"1.0\" encoding=\""_s + declaration +
        u"\"?><worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
        u"<sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>座位😀</t></is></c>"
        u"<c r=\"C1\" t=\"inlineStr\"><is><t>讲台</t></is></c></row></sheetData></worksheet>"_s;
    QStringEncoder encoder{QStringConverter::Encoding(encoding)};
    const QByteArray bytes = bom + QByteArray(encoder.encode(xml));
    Parts parts = workbookParts({});
    setPart(parts, u"xl/worksheets/sheet1.xml"_s, bytes);
    XlsxDocument document;
    QVERIFY2(document.openData(zipParts(parts)), qPrintable(document.errorString()));
    QCOMPARE(document.cellText(1, 1), u"座位😀"_s);
    document.setCellText(1, 2, u"中间"_s);
    const QByteArray out = saved(document);
    const QByteArray sheet = unzipParts(out).value(u"xl/worksheets/sheet1.xml"_s);
    QVERIFY(sheet.startsWith(bom));
    QStringDecoder decoder{QStringConverter::Encoding(encoding)};
    const QString text = decoder.decode(QByteArrayView(sheet).sliced(bom.size()));
    QVERIFY2(text.contains(
                 u"<t>座位😀</t></is></c><c r=\"B1\" t=\"inlineStr\"><is><t xml:space=\"preserve\">中间</t>"),
             qPrintable(text));
    XlsxDocument reread;
    QVERIFY(reread.openData(out));
    QCOMPARE(reread.cellText(1, 2), u"中间"_s);
    QCOMPARE(reread.cellText(1, 3), u"讲台"_s);
}

void XlsxDocumentTest::writtenNamesFollowTheLabel_data()
{
    QTest::addColumn<QByteArray>("declaration");
    QTest::addColumn<QByteArray>("label");  // B1's bytes as the part holds them
    QTest::addColumn<QString>("expected");  // B1 as a reader going by the label must see it
    QTest::addColumn<bool>("qtReadsLabel"); // whether Qt decodes the label without ICU
    QTest::newRow("latin1Ascii") << QByteArray("ISO-8859-1") << QByteArray("Seat") << u"Seat"_s << true;
    QTest::newRow("latin1Accented") << QByteArray("ISO-8859-1") << QByteArray("Fran\xE7ois") << u"François"_s
                                    << true;
    QTest::newRow("latin1LabelUtf8Bytes_followLabel")
        << QByteArray("ISO-8859-1") << QByteArray("Fran\xC3\xA7ois \xE8\xAE\xB2") << u"François 讲"_s << true;
    QTest::newRow("usAscii") << QByteArray("US-ASCII") << QByteArray("Seat") << u"Seat"_s << false;
    QTest::newRow("usAsciiLabelUtf8Bytes_followLabel")
        << QByteArray("US-ASCII") << QByteArray("\xE8\xAE\xB2") << u"讲"_s << false;
    QTest::newRow("windows1252LabelUtf8Bytes_followLabel")
        << QByteArray("windows-1252") << QByteArray("\xC3\xA9\xE8\xAE\xB2") << u"é讲"_s << false;
    QTest::newRow("gb2312Ascii") << QByteArray("GB2312") << QByteArray("Seat") << u"Seat"_s << false;
}

// Spreadsheet programs decode a part by its label, so a name written as UTF-8 bytes under a
// Latin-1 or GB2312 label comes out garbled; so does the font name added to a minimal style sheet.
void XlsxDocumentTest::writtenNamesFollowTheLabel()
{
    QFETCH(QByteArray, declaration);
    QFETCH(QByteArray, label);
    QFETCH(QString, expected);
    QFETCH(bool, qtReadsLabel);
    const QByteArray head = "<?xml version=\"1.0\" encoding=\"" + declaration + "\"?>";
    const QByteArray sheet = head +
                             "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/"
                             "main\"><sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>1-1</t></is>"
                             "</c><c r=\"B1\" t=\"inlineStr\"><is><t>" +
                             label + "</t></is></c></row></sheetData></worksheet>";
    const QByteArray styles =
        head +
        "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
        "<cellStyles count=\"1\"><cellStyle name=\"" +
        label + "\" xfId=\"0\" builtinId=\"0\"/></cellStyles></styleSheet>";
    Parts parts = workbookParts({});
    setPart(parts, u"xl/worksheets/sheet1.xml"_s, sheet);
    setPart(parts, u"xl/styles.xml"_s, styles);
    XlsxDocument document;
    QVERIFY2(document.openData(zipParts(parts)), qPrintable(document.errorString()));
    QCOMPARE(document.cellText(1, 2), expected);
    document.setCellText(1, 1, u"张伟"_s);
    const QMap<QString, QByteArray> out = unzipParts(saved(document));
    const QByteArray outSheet = out.value(u"xl/worksheets/sheet1.xml"_s);
    const QByteArray outStyles = out.value(u"xl/styles.xml"_s);
    QVERIFY2(outSheet.contains("&#24352;&#20255;"), outSheet.constData());
    QVERIFY2(outStyles.contains("&#23435;&#20307;"), outStyles.constData()); // 宋体
    if (!qtReadsLabel) {
        for (const QByteArray &part : {outSheet, outStyles})
            QVERIFY2(std::all_of(part.cbegin(), part.cend(), [](char c) { return uchar(c) < 0x80; }),
                     part.constData());
        return;
    }
    QStringList texts;
    for (const QByteArray &part : {outSheet, outStyles}) {
        QXmlStreamReader reader(part);
        while (reader.readNext() != QXmlStreamReader::Invalid && !reader.atEnd()) {
            if (reader.isStartElement() && reader.name() == u"t")
                texts << reader.readElementText();
            else if (reader.isStartElement() && reader.name() == u"cellStyle")
                texts << reader.attributes().value(u"name"_s).toString();
            else if (reader.isStartElement() && reader.name() == u"name")
                texts << reader.attributes().value(u"val"_s).toString();
        }
        QVERIFY2(!reader.hasError(), qPrintable(reader.errorString()));
    }
    QCOMPARE(texts, QStringList({u"张伟"_s, expected, u"宋体"_s, expected}));
}

void XlsxDocumentTest::saveAs_failures_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<XlsxError>("expected");
    QTest::newRow("missingDirectory_writeFailed") << u"missing/dir/out.xlsx"_s << XlsxError::WriteFailed;
    QTest::newRow("templateItself_refused") << u"template.xlsx"_s << XlsxError::SameAsTemplate;
    QTest::newRow("templateThroughOtherPath_refused")
        << u"sub/../template.xlsx"_s << XlsxError::SameAsTemplate;
}

void XlsxDocumentTest::saveAs_failures()
{
    QFETCH(QString, target);
    QFETCH(XlsxError, expected);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(u"sub"_s));
    const QString templatePath = dir.filePath(u"template.xlsx"_s);
    const QByteArray bytes = zipParts(workbookParts(u"<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"_s));
    {
        QFile file(templatePath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    XlsxDocument document;
    QVERIFY(!document.saveAs(dir.filePath(u"early.xlsx"_s)));
    QCOMPARE(document.error(), XlsxError::NotOpen);
    QVERIFY(document.open(templatePath));
    document.setCellText(1, 1, u"孙七"_s);
    QVERIFY(!document.saveAs(dir.filePath(target)));
    QCOMPARE(document.error(), expected);
    QVERIFY(!document.errorString().isEmpty());
    QFile file(templatePath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), bytes);
    // Nothing half-written is left anywhere.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{u"template.xlsx"_s});
    QCOMPARE(QDir(dir.filePath(u"sub"_s)).entryList(QDir::Files), QStringList());
    QVERIFY(document.saveAs(dir.filePath(u"out.xlsx"_s)));
    QCOMPARE(document.error(), XlsxError::None);
}

QTEST_GUILESS_MAIN(XlsxDocumentTest)
#include "xlsxdocument_test.moc"
