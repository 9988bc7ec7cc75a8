#include "xlsxdocument.h"
#include "xlsxsheetview.h"
#include "xlsxtestpackage.h"

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
    void numberFormat_shownAsSpreadsheetShows_data();
    void numberFormat_shownAsSpreadsheetShows();
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
    // A comma or a doubled quote inside a quoted sheet name belongs to the name; the chart test prints
    // the area of '座位表,一班'.
    QTest::newRow("quoteAndCommaInName_firstRangeHonoured")
        << QString()
        << u"<definedName name=\"_xlnm.Print_Area\" localSheetId=\"0\">'O''Neil, 1!'!$B$2:$C$3,'O''Neil, 1!'!$E$5</definedName>"_s
        << u"8.43 0 15 0 0 B2:C3"_s;
    // Sizes no spreadsheet allows are cut to its bounds instead of pushing the chart off the page.
    QTest::newRow("hugeSizes_cutToSpreadsheetBounds")
        << u"<cols><col min=\"2\" max=\"2\" width=\"1e300\"/></cols><sheetData><row r=\"4\" ht=\"1e300\"/></sheetData>"_s
        << QString() << u"255 0 409 0 0 B2:E5"_s;
    QTest::newRow("nonFiniteSizes_defaults")
        << u"<sheetFormatPr defaultColWidth=\"nan\" defaultRowHeight=\"-inf\"/><sheetData><row r=\"4\" ht=\"inf\"/></sheetData>"_s
        << QString() << u"8.43 0 15 0 0 B2:E5"_s;
}

void XlsxSheetViewTest::numberFormat_shownAsSpreadsheetShows_data()
{
    QTest::addColumn<int>("id"); // 164 takes the custom code
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("value"); // a number, or text after an apostrophe as typed in a spreadsheet
    QTest::addColumn<bool>("date1904");
    QTest::addColumn<QString>("expected");

    const QString serial = u"45901"_s; // 1 September 2025, a Monday
    // dates and times
    QTest::newRow("builtinDate_chineseOrder") << 14 << QString() << serial << false << u"2025/9/1"_s;
    QTest::newRow("builtinChineseDate_yearMonthDay")
        << 31 << QString() << serial << false << u"2025年9月1日"_s;
    QTest::newRow("customQuotedDate_literalsKept")
        << 164 << u"yyyy\"年\"mm\"月\"dd\"日\" aaaa"_s << serial << false << u"2025年09月01日 星期一"_s;
    QTest::newRow("dateAndTime_minutesNotMonths")
        << 164 << u"yyyy-mm-dd hh:mm:ss"_s << u"45901.5005787037"_s << false << u"2025-09-01 12:00:50"_s;
    QTest::newRow("twelveHours_afternoon") << 18 << QString() << u"0.75"_s << false << u"6:00 PM"_s;
    QTest::newRow("elapsedHours_pastOneDay") << 46 << QString() << u"1.5"_s << false << u"36:00:00"_s;
    QTest::newRow("date1904_countsFrom1904") << 14 << QString() << u"0"_s << true << u"1904/1/1"_s;
    QTest::newRow("negativeDate_generalForm") << 14 << QString() << u"-3"_s << false << u"-3"_s;
    // numbers
    QTest::newRow("percentOneDecimal_rounded") << 164 << u"0.0%"_s << u"0.955"_s << false << u"95.5%"_s;
    QTest::newRow("fixedDecimals_rounded") << 2 << QString() << u"3.14159"_s << false << u"3.14"_s;
    QTest::newRow("thousands_grouped") << 4 << QString() << u"1234567.891"_s << false << u"1,234,567.89"_s;
    QTest::newRow("negativeOwnSection_noMinus")
        << 164 << u"0.00;(0.00)"_s << u"-2.5"_s << false << u"(2.50)"_s;
    QTest::newRow("oneSectionNegative_minusInFront")
        << 164 << u"[$¥-804]#,##0"_s << u"-1234"_s << false << u"-¥1,234"_s;
    QTest::newRow("zeroSection_dash") << 164 << u"0;-0;\"-\""_s << u"0"_s << false << u"-"_s;
    QTest::newRow("condition_secondSection")
        << 164 << u"[>=60]\"及格\";\"不及格\""_s << u"59"_s << false << u"不及格"_s;
    QTest::newRow("scientific_twoDecimals") << 11 << QString() << u"12345"_s << false << u"1.23E+04"_s;
    QTest::newRow("scalingComma_thousands") << 164 << u"0.0,\"千\""_s << u"12345"_s << false << u"12.3千"_s;
    QTest::newRow("optionalDigits_trailingZerosDropped") << 164 << u"#.##"_s << u"0.5"_s << false << u".5"_s;
    QTest::newRow("leadingZeros_padded") << 164 << u"000000"_s << u"4207"_s << false << u"004207"_s;
    // the general form and what falls back to it
    QTest::newRow("general_floatNoiseHidden")
        << 0 << QString() << u"0.30000000000000004"_s << false << u"0.3"_s;
    QTest::newRow("general_elevenCharacters")
        << 0 << QString() << u"0.333333333333333"_s << false << u"0.333333333"_s;
    QTest::newRow("general_bigNumberScientific")
        << 0 << QString() << u"123456789012"_s << false << u"1.23457E+11"_s;
    QTest::newRow("unknownBuiltin_general") << 163 << QString() << u"2.5"_s << false << u"2.5"_s;
    QTest::newRow("chineseNumerals_general") << 164 << u"[DBNum1]0"_s << u"12"_s << false << u"12"_s;
    QTest::newRow("fraction_general") << 12 << QString() << u"1.5"_s << false << u"1.5"_s;
    // text
    QTest::newRow("textFormatNumber_asTyped") << 49 << QString() << u"42"_s << false << u"42"_s;
    QTest::newRow("textSection_wrapsText")
        << 164 << u"0;-0;0;\"班级：\"@"_s << u"'三年二班"_s << false << u"班级：三年二班"_s;
    QTest::newRow("textWithDateFormat_unchanged") << 14 << QString() << u"'45901"_s << false << u"45901"_s;
}

void XlsxSheetViewTest::numberFormat_shownAsSpreadsheetShows()
{
    QFETCH(int, id);
    QFETCH(QString, code);
    QFETCH(QString, value);
    QFETCH(bool, date1904);
    QFETCH(QString, expected);

    const QString element =
        value.startsWith(u'\'')
            ? u"<c r=\"B2\" s=\"1\" t=\"inlineStr\"><is><t>%1</t></is></c>"_s.arg(value.mid(1))
            : u"<c r=\"B2\" s=\"1\"><v>%1</v></c>"_s.arg(value);
    Test::Parts parts = Test::workbookParts(u"<row r=\"2\">"_s + element + u"</row>"_s);
    QString codeXml = code.toHtmlEscaped();
    Test::setPart(
        parts, u"xl/styles.xml"_s,
        (u"<styleSheet %1><numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"%2\"/></numFmts>"
         u"<fonts><font><sz val=\"11\"/></font></fonts><fills><fill/></fills><borders><border/></borders>"
         u"<cellXfs><xf/><xf numFmtId=\"%3\"/></cellXfs></styleSheet>"_s.arg(spreadsheet, codeXml)
             .arg(id))
            .toUtf8());
    for (auto &[name, data] : parts) {
        if (date1904 && name == u"xl/workbook.xml"_s)
            data.replace("<sheets>", "<workbookPr date1904=\"1\"/><sheets>");
    }
    XlsxDocument document;
    QVERIFY2(document.openData(Test::zipParts(parts)), qPrintable(document.errorString()));
    XlsxSheetView view;
    QCOMPARE(document.readSheetView(&view), XlsxError::None);
    QCOMPARE(view.cells.size(), 1);
    QCOMPARE(view.cells.first().text, expected);
    // What the chart writes into a cell is text, whatever the cell's format.
    document.setCellText(2, 2, u"0.5"_s);
    QCOMPARE(document.readSheetView(&view), XlsxError::None);
    QCOMPARE(view.cells.first().text, u"0.5"_s);
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
        view.parseWorkbook(part(u"<workbook %1><sheets/><definedNames>%2</definedNames></workbook>"_s.arg(
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
