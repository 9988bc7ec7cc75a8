#include "chartfilecommands.h"
#include "configstore.h"
#include "desktop.h"
#include "hostcheck.h"
#include "scripteddialogs.h"
#include "testenvironment.h"
#include "xlsxtestpackage.h"
#include "xlsxxml.h"

#include <QCryptographicHash>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace Velmora;

namespace {

const QString spreadsheetNs = u"http://schemas.openxmlformats.org/spreadsheetml/2006/main"_s;

// A template made here. Style 1 is a boxed cell in the given font, style 2 a date.
struct Sheet
{
    // Seats wide enough for a name of four characters on one line.
    QString columns = u"<cols><col min=\"2\" max=\"7\" width=\"14\"/></cols>"_s;
    QString rows;
    QString after; // what follows sheetData: merged ranges
    QString font = u"宋体"_s;
    QString size = u"14"_s;
    QString sheetName = u"S"_s;
    QString printArea; // without the sheet name
    QStringList shared;
};

QByteArray workbookOf(const Sheet &sheet)
{
    Test::Parts parts = Test::workbookParts(QString(), sheet.shared);
    Test::setPart(parts, u"xl/worksheets/sheet1.xml"_s,
                  (u"<?xml version=\"1.0\"?><worksheet xmlns=\""_s + spreadsheetNs + u"\">"_s +
                   sheet.columns + u"<sheetData>"_s + sheet.rows + u"</sheetData>"_s + sheet.after +
                   u"</worksheet>"_s)
                      .toUtf8());
    Test::setPart(
        parts, u"xl/styles.xml"_s,
        (u"<styleSheet xmlns=\""_s + spreadsheetNs +
         u"\"><fonts><font><sz val=\"11\"/><name val=\"宋体\"/></font><font><sz val=\"%1\"/><name "
         u"val=\"%2\"/>"
         u"</font></fonts><fills><fill/><fill/></fills><borders><border/><border><left style=\"thin\"/>"
         u"<right style=\"thin\"/><top style=\"thin\"/><bottom "
         u"style=\"thin\"/></border></borders><cellXfs><xf/>"
         u"<xf fontId=\"1\" borderId=\"1\"/><xf numFmtId=\"14\"/></cellXfs></styleSheet>"_s.arg(sheet.size,
                                                                                                sheet.font))
            .toUtf8());
    const QString quoted = u"'"_s + QString(sheet.sheetName).replace(u"'"_s, u"''"_s) + u"'"_s;
    const QString names =
        sheet.printArea.isEmpty()
            ? QString()
            : u"<definedNames><definedName name=\"_xlnm.Print_Area\" localSheetId=\"0\">%1!%2"
              u"</definedName></definedNames>"_s.arg(quoted.toHtmlEscaped(), sheet.printArea);
    Test::setPart(
        parts, u"xl/workbook.xml"_s,
        (u"<workbook xmlns=\""_s + spreadsheetNs +
         u"\" xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets>"
         u"<sheet name=\"%1\" sheetId=\"1\" r:id=\"rId1\"/></sheets>%2</workbook>"_s.arg(
             sheet.sheetName.toHtmlEscaped(), names))
            .toUtf8());
    return Test::zipParts(parts);
}

QString text(const QString &reference, const QString &value, int style = 1)
{
    return u"<c r=\"%1\" s=\"%2\" t=\"inlineStr\"><is><t>%3</t></is></c>"_s.arg(reference).arg(style).arg(
        value);
}

QString rowOf(int row, const QString &cells, const QString &attributes = {})
{
    return u"<row r=\"%1\"%2>%3</row>"_s.arg(row).arg(attributes, cells);
}

// Group g on row g + 1 (label in A, seats g-1 .. g-6 in B..G), for as many groups as asked.
QString seatRows(int groups)
{
    QString rows;
    for (int g = 1; g <= groups; ++g) {
        QString cells = text(u"A%1"_s.arg(g + 1), u"第%1组"_s.arg(g));
        for (int s = 1; s <= 6; ++s)
            cells += text(XlsxXml::columnName(s + 1) + QString::number(g + 1), u"%1-%2"_s.arg(g).arg(s));
        rows += rowOf(g + 1, cells);
    }
    return rows;
}

QStringList classNames()
{
    return {u"马超"_s,   u"高"_s,       u"黄"_s,     u"一"_s,     u"子"_s,     u"文"_s,     u"日"_s,
            u"生"_s,     u"色"_s,       u"雨"_s,     u"长"_s,     u"高翔"_s,   u"黄蓉"_s,   u"王一鸣"_s,
            u"孙子涵"_s, u"文静"_s,     u"刘日新"_s, u"张生"_s,   u"李雨桐"_s, u"赵长青"_s, u"马莉"_s,
            u"陈色"_s,   u"张伟"_s,     u"王芳"_s,   u"李娜"_s,   u"刘洋"_s,   u"陈杰"_s,   u"杨帆"_s,
            u"赵磊"_s,   u"周鹏"_s,     u"吴昊"_s,   u"徐浩"_s,   u"孙博"_s,   u"胡斌"_s,   u"朱凯"_s,
            u"林峰"_s,   u"何亮"_s,     u"郭宇"_s,   u"罗军"_s,   u"梁晨"_s,   u"宋健"_s,   u"郑毅"_s,
            u"谢宁"_s,   u"欧阳娜娜"_s, u"Anna"_s,   u"司马光"_s, u"Ōsaka"_s,  u"龙"_s};
}

QByteArray digest(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
               ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
               : QByteArray();
}

} // namespace

Q_DECLARE_METATYPE(Sheet)

// The chart as a PDF page: shipped and awkward templates drawn where LibreOffice prints them,
// hostile templates drawn or refused, a text layer that reads back every name, and the command's
// dialog, log and failure paths.
class ChartPdfTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void template_namesWhereLibreOfficePrintsThem_data();
    void template_namesWhereLibreOfficePrintsThem();
    void templateMadeHere_pageOrMessage_data();
    void templateMadeHere_pageOrMessage();
    void command_outcomes_data();
    void command_outcomes();

private:
    ClassState sampleClass(const QString &appDir, const QString &templateFile) const;
};

ClassState ChartPdfTest::sampleClass(const QString &appDir, const QString &templateFile) const
{
    const QString source = Test::sourceDirectory();
    QFile::copy(source + u"/"_s + templateFile, appDir + u"/座位样式1.xlsx"_s);
    QFile::copy(source + u"/examples/sample-class/config.ini"_s, appDir + u"/config.ini"_s);
    ClassState state;
    ConfigStore::loadConfiguration(state);
    state.currentStyle = u"样式1"_s;
    Grouping members(9);
    const int persons = state.roster.maleCount() + state.roster.femaleCount();
    for (int p = 1; p <= persons; ++p)
        members[(p - 1) % 9].append(p);
    state.currentGrouping = SeatingPlan::fromMembers(members, defaultGroupConfigs());
    return state;
}

void ChartPdfTest::template_namesWhereLibreOfficePrintsThem_data()
{
    QTest::addColumn<QString>("templateFile");
    QTest::addColumn<QStringList>("absent"); // texts the printed chart must not show
    QTest::newRow("style1_matchesLibreOffice") << u"templates/座位样式1.xlsx"_s << QStringList{u"XXXX"_s};
    QTest::newRow("style2_matchesLibreOffice") << u"templates/座位样式2.xlsx"_s << QStringList{u"XXXX"_s};
    QTest::newRow("mergedHiddenColumns_hiddenTextLeftOut")
        << u"tests/fixtures/pdf/merged-hidden.xlsx"_s << QStringList{u"隐藏列"_s, u"隐藏行"_s};
    QTest::newRow("printArea_outsideLeftOut")
        << u"tests/fixtures/pdf/print-area.xlsx"_s << QStringList{u"区域外"_s};
    QTest::newRow("wideColumns_shrunkOntoThePage")
        << u"tests/fixtures/pdf/wide-columns.xlsx"_s << QStringList();
}

void ChartPdfTest::template_namesWhereLibreOfficePrintsThem()
{
    QFETCH(QString, templateFile);
    QFETCH(QStringList, absent);
    if (Test::hostProgramsRunHere() && !QFile::exists(u"/usr/bin/soffice"_s))
        QSKIP("LibreOffice is not installed");

    const QString appDir = Test::freshApplicationDirectory();
    ClassState state = sampleClass(appDir, templateFile);
    Test::ScriptedDialogs dialogs;
    QStringList opened;
    QStringList logged;
    setFileOpener([&opened](const QString &path) { opened << path; });
    SeatingExporter exporter(state, Dialogs::instance(),
                             {[](const QString &) {}, [&](const QString &l) { logged << l; }}, nullptr);
    exporter.exportPdf(appDir + u"/chart"_s);
    exporter.exportToFile(appDir + u"/chart.xlsx"_s);
    setFileOpener({});
    const QString pdf = appDir + u"/chart.pdf"_s;
    QVERIFY2(dialogs.calls.isEmpty(), qPrintable(dialogs.transcript().join(u'\n')));
    QCOMPARE(opened.value(0), pdf);
    QCOMPARE(logged.value(0), u"座位表已导出为 PDF: "_s + QDir::toNativeSeparators(pdf));

    // Every name and the date where LibreOffice puts them, one page, every font inside the file.
    QJsonArray items{QJsonObject{{u"word"_s, u"@pages"_s}, {u"value"_s, 1}},
                     QJsonObject{{u"word"_s, u"@embedded"_s}, {u"value"_s, true}}};
    QStringList words{QDate::currentDate().toString(u"yyyy.MM.dd"_s)};
    for (const QList<int> &group : state.currentGrouping.members())
        for (int person : group)
            words << state.roster.nameOf(person);
    for (const QString &word : std::as_const(words))
        items.append(QJsonObject{{u"word"_s, word}, {u"ours"_s, true}, {u"near"_s, true}});
    for (const QString &word : std::as_const(absent))
        items.append(QJsonObject{{u"word"_s, word}, {u"ours"_s, false}});
    Test::checkWithScript(u"tests/export/comparepdf.py"_s, {pdf, appDir + u"/chart.xlsx"_s}, u"word"_s,
                          items);
}

// Templates made here: in fonts with and without Chinese, and hostile ones, drawn or refused. The
// class is 48 names over 8 groups; Qt's own text map named 11 of them by a radical or a compatibility
// form (马 as ⻢, 高 as ⾼).
void ChartPdfTest::templateMadeHere_pageOrMessage_data()
{
    QTest::addColumn<Sheet>("sheet");
    QTest::addColumn<QString>("message"); // the failure box's text; empty when a page is drawn
    QTest::addColumn<QStringList>("found");
    QTest::addColumn<QStringList>("absent");
    QTest::addColumn<QString>("note"); // a plain log line must contain this

    // The template's font where installed, else the Chinese font put in its place; the Latin one
    // leaves the names to Qt's own fallback.
    Sheet sheet;
    sheet.rows = seatRows(8);
    const std::pair<const char *, QString> fonts[] = {{"songti_replaced_namesFound", u"宋体"_s},
                                                      {"notoSerif_namesFound", u"Noto Serif CJK SC"_s},
                                                      {"notoSansJapanese_namesFound", u"Noto Sans CJK JP"_s},
                                                      {"latinFont_fallbackNamesFound", u"DejaVu Sans"_s}};
    for (const auto &[tag, font] : fonts) {
        sheet.font = font;
        QTest::newRow(tag) << sheet << QString() << classNames() << QStringList() << QString();
    }
    const QString refusedArea = u"导出失败: 打印区域太大，一页 A4 纸放不下，请在模板中设置或缩小打印区域"_s;
    // Sizes from the edges of what a file can say
    sheet = Sheet();
    sheet.rows = rowOf(1, text(u"A1"_s, u"1-1"_s) + text(u"B1"_s, u"班级座位表"_s));
    sheet.font = u"DejaVu Sans"_s;
    sheet.size = u"1000000"_s;
    // The title runs off the page at 409 points; the seat has the chart's own size.
    QTest::newRow("fontSizeMillion_drawnAt409")
        << sheet << QString() << QStringList{u"马超"_s} << QStringList() << QString();
    // Chinese in a font without it, shrunk to a quarter: Qt's fallback once had no font to offer.
    sheet.size = u"0.001"_s;
    sheet.printArea = u"$A$1:$H$200"_s;
    QTest::newRow("fontSizeTinyShrunk_drawn")
        << sheet << QString() << QStringList{u"马超"_s} << QStringList() << QString();
    sheet = Sheet();
    sheet.rows = rowOf(1, text(u"A1"_s, u"1-1"_s), u" ht=\"1e300\" customHeight=\"1\""_s) +
                 rowOf(2, text(u"A2"_s, u"讲台"_s));
    QTest::newRow("rowHeight1e300_drawnAt409")
        << sheet << QString() << QStringList{u"讲台"_s} << QStringList() << QString();
    // Areas no page can show
    sheet = Sheet();
    sheet.rows = rowOf(1, text(u"A1"_s, u"张三"_s));
    sheet.font = u"DejaVu Sans"_s;
    sheet.printArea = u"$A$1:$H$2000"_s;
    QTest::newRow("printArea2000RowsChineseInLatinFont_refused")
        << sheet << refusedArea << QStringList() << QStringList() << u"A1:H2000"_s;
    sheet = Sheet();
    for (int row = 1; row <= 10000; ++row)
        sheet.rows += rowOf(row, u"<c r=\"A%1\" s=\"1\"><v>%1</v></c>"_s.arg(row));
    QTest::newRow("tenThousandRows_refused")
        << sheet << refusedArea << QStringList() << QStringList() << u"A1:A10000"_s;
    // Merged ranges: 20,000 of 64 x 64 cells, apart or all on the same cells
    sheet = Sheet();
    sheet.rows = seatRows(2);
    sheet.printArea = u"$A$1:$H$20"_s;
    QString merges;
    for (int i = 0; i < 20000; ++i) {
        const int row = i / 200 * 64 + 30;
        const int column = i % 200 * 64 + 1;
        merges += u"<mergeCell ref=\"%1%2:%3%4\"/>"_s.arg(XlsxXml::columnName(column))
                      .arg(row)
                      .arg(XlsxXml::columnName(column + 63))
                      .arg(row + 63);
    }
    sheet.after = u"<mergeCells>"_s + merges + u"</mergeCells>"_s;
    QTest::newRow("twentyThousandMerges_printAreaDrawn")
        << sheet << QString() << QStringList{u"第2组"_s} << QStringList() << QString();
    sheet.after =
        u"<mergeCells>"_s + QString(u"<mergeCell ref=\"A30:BL93\"/>"_s).repeated(20000) + u"</mergeCells>"_s;
    QTest::newRow("twentyThousandOverlappingMerges_drawn")
        << sheet << QString() << QStringList{u"第1组"_s} << QStringList() << QString();
    // Text: a cell shows at most 1024 characters, and a page holds a bounded number of them
    sheet = Sheet();
    sheet.shared = {QString(u"很长的说明"_s).repeated(6400)};
    sheet.rows = rowOf(1, u"<c r=\"A1\" t=\"s\"><v>0</v></c>"_s) + seatRows(1);
    QTest::newRow("oneLongText_cutAndNoted")
        << sheet << QString() << QStringList{u"第1组"_s} << QStringList() << u"1024"_s;
    sheet.rows.clear();
    for (int row = 1; row <= 30; ++row) {
        QString cells;
        for (int column = 1; column <= 10; ++column)
            cells += u"<c r=\"%1%2\" t=\"s\"><v>0</v></c>"_s.arg(XlsxXml::columnName(column)).arg(row);
        sheet.rows += rowOf(row, cells);
    }
    QTest::newRow("longTextEverywhere_refused") << sheet << u"导出失败: 模板中的文字太多，一页 A4 纸放不下"_s
                                                << QStringList() << QStringList() << u"307200"_s;
    // What the spreadsheet shows is what prints: the print area of a sheet whose name holds a comma,
    // a date cell inside it.
    sheet = Sheet();
    sheet.sheetName = u"座位表,一班"_s;
    sheet.printArea = u"$A$2:$G$4"_s;
    sheet.rows = rowOf(1, text(u"A1"_s, u"区域外"_s)) + seatRows(2).replace(u"第2组"_s, u"第二组"_s) +
                 rowOf(4, u"<c r=\"B4\" s=\"2\"><v>45901</v></c>"_s);
    QTest::newRow("commaInSheetNameDateCell_areaAndDateAsShown")
        << sheet << QString() << QStringList{u"第1组"_s, u"第二组"_s, u"2025/9/1"_s}
        << QStringList{u"区域外"_s, u"45901"_s} << QString();
}

void ChartPdfTest::templateMadeHere_pageOrMessage()
{
    QFETCH(Sheet, sheet);
    QFETCH(QString, message);
    QFETCH(QStringList, found);
    QFETCH(QStringList, absent);
    QFETCH(QString, note);

    const QString appDir = Test::freshApplicationDirectory();
    const QString templateFile = appDir + u"/座位样式1.xlsx"_s;
    QFile file(templateFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(workbookOf(sheet));
    file.close();
    const QByteArray before = digest(templateFile);
    ClassState state;
    state.roster.maleNames = classNames();
    state.roster.rebuildNameMaps();
    // Leaders print bold and boarders filled, so that every face of the font is used; 1-1 stays plain.
    for (int i = 2; i < state.roster.maleNames.size(); i += 5)
        state.roster.leaderNames.insert(state.roster.maleNames.at(i));
    for (int i = 3; i < state.roster.maleNames.size(); i += 7)
        state.roster.boarderNames.insert(state.roster.maleNames.at(i));
    state.currentStyle = u"样式1"_s;
    Grouping members(8);
    for (int p = 1; p <= state.roster.maleNames.size(); ++p)
        members[(p - 1) / 6].append(p);
    state.currentGrouping = SeatingPlan::fromMembers(members);

    Test::ScriptedDialogs dialogs;
    QStringList plain;
    setFileOpener([](const QString &) {});
    SeatingExporter exporter(state, Dialogs::instance(),
                             {[&](const QString &l) { plain << l; }, [](const QString &) {}}, nullptr);
    exporter.exportPdf(appDir + u"/chart.pdf"_s);
    setFileOpener({});

    QCOMPARE(digest(templateFile), before);
    const QString pdf = appDir + u"/chart.pdf"_s;
    if (!note.isEmpty())
        QVERIFY2(!plain.filter(note).isEmpty(), qPrintable(plain.join(u'\n')));
    if (!message.isEmpty()) {
        QCOMPARE(dialogs.transcript(), QStringList{u"critical: 错误 / "_s + message});
        QVERIFY(!QFile::exists(pdf));
        return;
    }
    QVERIFY2(dialogs.calls.isEmpty(), qPrintable(dialogs.transcript().join(u'\n')));
    QVERIFY2(plain.filter(u"文字层"_s).isEmpty(), qPrintable(plain.join(u'\n')));
    // pdftotext reads each word exactly or not at all, from one page with a right cross-reference table.
    QJsonArray items{QJsonObject{{u"word"_s, u"@pages"_s}, {u"value"_s, 1}},
                     QJsonObject{{u"word"_s, u"@xref"_s}, {u"value"_s, true}}};
    for (const QString &word : found + absent)
        items.append(QJsonObject{{u"word"_s, word}, {u"found"_s, found.contains(word)}});
    Test::checkWithScript(u"tests/export/pdfwords.py"_s, {pdf}, u"word"_s, items);
}

void ChartPdfTest::command_outcomes_data()
{
    QTest::addColumn<bool>("grouped");
    QTest::addColumn<QString>("firstName"); // replaces the first person's name when set
    QTest::addColumn<QString>("answer");    // the save dialog's answer below the application directory
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("lastDialog");
    QTest::addColumn<QString>("plainLog"); // a plain log line must contain this

    QTest::newRow("typedName_pdfAddedOpenedLogged")
        << true << QString() << u"chart"_s << u"chart.pdf"_s << u"saveFile: 导出 PDF"_s << QString();
    QTest::newRow("upperCaseSuffix_kept")
        << true << QString() << u"chart.PDF"_s << u"chart.PDF"_s << u"saveFile: 导出 PDF"_s << QString();
    QTest::newRow("missingFolder_failsWithoutFile")
        << true << QString() << u"missing/chart.pdf"_s << QString()
        << u"critical: 错误 / 导出失败: 文件保存失败，请检查路径和权限"_s << u"PDF 无法保存"_s;
    QTest::newRow("cancelled_nothingWritten")
        << true << QString() << QString() << QString() << u"saveFile: 导出 PDF"_s << QString();
    QTest::newRow("noGrouping_refused") << false << QString() << u"chart"_s << QString()
                                        << u"warning: 错误 / 没有分组数据可保存"_s << QString();
    // A name no font can draw is still in the file, and the log says what drew it.
    QTest::newRow("undrawableName_writtenAndLogged")
        << true << u"张\U000F0001"_s << u"chart"_s << u"chart.pdf"_s << u"saveFile: 导出 PDF"_s << u"张"_s;
}

void ChartPdfTest::command_outcomes()
{
    QFETCH(bool, grouped);
    QFETCH(QString, firstName);
    QFETCH(QString, answer);
    QFETCH(QString, written);
    QFETCH(QString, lastDialog);
    QFETCH(QString, plainLog);

    const QString appDir = Test::freshApplicationDirectory();
    ClassState state = sampleClass(appDir, u"templates/座位样式1.xlsx"_s);
    if (!grouped)
        state.currentGrouping.clear();
    if (!firstName.isEmpty())
        state.roster.idToName[state.currentGrouping.occupant({1, 1})] = firstName;
    Test::ScriptedDialogs dialogs;
    dialogs.queueFileName(answer.isEmpty() ? QString() : appDir + u"/"_s + answer);
    QStringList opened;
    QStringList plain;
    QStringList logged;
    setFileOpener([&opened](const QString &path) { opened << path; });
    ChartFileCommands commands(
        state, Dialogs::instance(),
        {[&](const QString &l) { plain << l; }, [&](const QString &l) { logged << l; }}, nullptr);
    commands.exportPdf();
    setFileOpener({});

    QVERIFY2(dialogs.transcript().value(dialogs.calls.size() - 1).startsWith(lastDialog),
             qPrintable(dialogs.transcript().join(u'\n')));
    if (grouped)
        QVERIFY(dialogs.calls.first().text.endsWith(u"_座位表.pdf"_s));
    const QStringList files = QDir(appDir).entryList({u"chart*"_s}, QDir::Files);
    QCOMPARE(files, written.isEmpty() ? QStringList() : QStringList{written});
    if (written.isEmpty()) {
        QVERIFY(opened.isEmpty() && logged.isEmpty());
    } else {
        const QString path = appDir + u"/"_s + written;
        QCOMPARE(opened, QStringList{path});
        QCOMPARE(logged, QStringList{u"座位表已导出为 PDF: "_s + QDir::toNativeSeparators(path)});
    }
    if (!plainLog.isEmpty()) {
        const QStringList matching = plain.filter(plainLog);
        QVERIFY2(!matching.isEmpty(), qPrintable(plain.join(u'\n')));
        if (!firstName.isEmpty())
            QVERIFY(matching.first().contains(firstName));
    }
}

QTEST_MAIN(ChartPdfTest)
#include "chartpdf_test.moc"
