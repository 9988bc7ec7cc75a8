#include "xlsxsheetview.h"

#include <QtTest>

using namespace Qt::StringLiterals;
using namespace Velmora;

namespace {

XlsxXml::Text part(const QString &body)
{
    XlsxXml::Text xml;
    XlsxXml::decode(body.toUtf8(), &xml);
    return xml;
}

const QString spreadsheet = u"xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\""_s;

} // namespace

// The read side of the engine that the PDF page is drawn from.
class XlsxSheetViewTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void style_resolved_data();
    void style_resolved();
    void layout_read_data();
    void layout_read();
};

void XlsxSheetViewTest::style_resolved_data()
{
    QTest::addColumn<QString>("fonts");
    QTest::addColumn<QString>("fills");
    QTest::addColumn<QString>("borders");
    QTest::addColumn<QString>("xf");
    // font name, bold, fill colour (0 for none), left border weight, horizontal
    QTest::addColumn<QString>("expected");

    const QString plainFont = u"<font><sz val=\"11\"/><name val=\"宋体\"/></font>"_s;
    QTest::newRow("boldValZero_notBold") << u"<font><b val=\"0\"/><name val=\"黑体\"/></font>"_s << QString()
                                         << QString() << u"<xf fontId=\"0\"/>"_s << u"黑体 0 0 0 0"_s;
    QTest::newRow("indexedFill_paletteColour")
        << plainFont
        << u"<fill><patternFill patternType=\"solid\"><fgColor indexed=\"13\"/></patternFill></fill>"_s
        << QString() << u"<xf fontId=\"0\" fillId=\"0\"/>"_s << u"宋体 0 ffffff00 0 0"_s;
    QTest::newRow("grayPattern_noFill")
        << plainFont
        << u"<fill><patternFill patternType=\"gray125\"><fgColor rgb=\"FF000000\"/></patternFill></fill>"_s
        << QString() << u"<xf fillId=\"0\"/>"_s << u"宋体 0 0 0 0"_s;
    QTest::newRow("mediumDashed_medium")
        << plainFont << QString()
        << u"<border><left style=\"mediumDashed\"><color rgb=\"FF0000FF\"/></left></border>"_s
        << u"<xf borderId=\"0\"/>"_s << u"宋体 0 0 2 0"_s;
    QTest::newRow("centreContinuous_centred")
        << plainFont << QString() << QString()
        << u"<xf><alignment horizontal=\"centerContinuous\" vertical=\"center\"/></xf>"_s
        << u"宋体 0 0 0 2"_s;
}

void XlsxSheetViewTest::style_resolved()
{
    QFETCH(QString, fonts);
    QFETCH(QString, fills);
    QFETCH(QString, borders);
    QFETCH(QString, xf);
    QFETCH(QString, expected);

    XlsxStyleTable table;
    QCOMPARE(
        table.parse(part(u"<styleSheet %1><fonts>%2</fonts><fills>%3</fills><borders>%4</borders>"
                         "<cellXfs>%5</cellXfs></styleSheet>"_s.arg(spreadsheet, fonts, fills, borders, xf))),
        XlsxError::None);
    // An index past the list falls back to the first style instead of reading past it.
    for (int index : {0, 7}) {
        const XlsxCellStyle &style = table.style(index);
        const QString seen = u"%1 %2 %3 %4 %5"_s.arg(style.fontName)
                                 .arg(int(style.bold))
                                 .arg(style.filled ? QString::number(style.fillColor, 16) : u"0"_s)
                                 .arg(int(style.left.weight))
                                 .arg(int(style.horizontal));
        QCOMPARE(seen, expected);
    }
}

void XlsxSheetViewTest::layout_read_data()
{
    QTest::addColumn<QString>("sheet");
    QTest::addColumn<QString>("definedNames");
    // width of B, C hidden, height of row 4, row 5 hidden, merges, printed area
    QTest::addColumn<QString>("expected");

    const QString cells = u"<sheetData><row r=\"4\" ht=\"40\"/><row r=\"5\" hidden=\"1\"/></sheetData>"_s;
    QTest::newRow("spans_widthsAndHidden")
        << u"<cols><col min=\"2\" max=\"2\" width=\"14\"/><col min=\"3\" max=\"4\" width=\"9\" hidden=\"1\"/></cols>"_s +
               cells
        << QString() << u"14 1 40 1 0 B2:E5"_s;
    QTest::newRow("baseWidthOnly_paddingAdded")
        << u"<sheetFormatPr baseColWidth=\"10\" defaultRowHeight=\"20\"/>"_s << QString()
        << u"10.7143 0 20 0 0 B2:E5"_s;
    QTest::newRow("mergeBeyondUsedArea_printed")
        << u"<mergeCells><mergeCell ref=\"A1:C2\"/></mergeCells>"_s << QString() << u"8.43 0 15 0 1 A1:E5"_s;
    QTest::newRow("quotedPrintArea_wins")
        << QString()
        << u"<definedName name=\"_xlnm.Print_Area\" localSheetId=\"0\">'座位 表'!$C$3:$D$9</definedName>"_s
        << u"8.43 0 15 0 0 C3:D9"_s;
    QTest::newRow("otherSheetsPrintArea_ignored")
        << QString()
        << u"<definedName name=\"_xlnm.Print_Area\" localSheetId=\"1\">S!$C$3:$D$9</definedName>"_s
        << u"8.43 0 15 0 0 B2:E5"_s;
    QTest::newRow("wholeColumns_cutAtLastUsedRow")
        << QString() << u"<definedName name=\"_xlnm.Print_Area\" localSheetId=\"0\">S!$A:$C</definedName>"_s
        << u"8.43 0 15 0 0 A1:C5"_s;
}

void XlsxSheetViewTest::layout_read()
{
    QFETCH(QString, sheet);
    QFETCH(QString, definedNames);
    QFETCH(QString, expected);

    XlsxSheetView view;
    QCOMPARE(view.parseLayout(part(u"<worksheet %1>%2</worksheet>"_s.arg(spreadsheet, sheet))),
             XlsxError::None);
    QCOMPARE(
        view.parsePrintArea(part(u"<workbook %1><sheets/><definedNames>%2</definedNames></workbook>"_s.arg(
            spreadsheet, definedNames))),
        XlsxError::None);
    view.usedArea = {2, 2, 5, 5};
    const XlsxArea area = view.printedArea();
    const QString seen = u"%1 %2 %3 %4 %5 %6%7:%8%9"_s.arg(view.columnWidth(2))
                             .arg(int(view.isColumnHidden(3)))
                             .arg(view.rowHeight(4))
                             .arg(int(view.isRowHidden(5)))
                             .arg(view.merges().size())
                             .arg(XlsxXml::columnName(area.firstColumn))
                             .arg(area.firstRow)
                             .arg(XlsxXml::columnName(area.lastColumn))
                             .arg(area.lastRow);
    QCOMPARE(seen, expected);
}

QTEST_GUILESS_MAIN(XlsxSheetViewTest)
#include "xlsxsheetview_test.moc"
