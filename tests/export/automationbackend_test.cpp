#include "axobjectstandin.h"
#include "comlauncher.h"
#include "desktop.h"
#include "scripteddialogs.h"
#include "seatingexporter.h"
#include "testenvironment.h"
#include "windows.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace Velmora;

class AutomationBackendTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup() { setFileOpener({}); }

    void excel_recordsTheWholeSequence();
    void excelSaveRaises_reported_data();
    void excelSaveRaises_reported();
    void wps_triesServersInOrderAndSavesByName_data();
    void wps_triesServersInOrderAndSavesByName();
    void wpsSaveFallbacks_data();
    void wpsSaveFallbacks();
    void missingObjects_data();
    void missingObjects();
    void usedArea_data();
    void usedArea();
    void comInitialisation_data();
    void comInitialisation();
    void unusedGroupBox_edgesClearedOneByOne();

private:
    void runExport();
    // Every object is released, and COM only after the last of them.
    void verifyReleased(bool comReleased);

    QString appDir;
    QString templateFile;
    QString output;
    ClassState state;
    QStringList plain;
    QStringList stamped;
    QStringList boxes;
    QStringList opened;
};

void AutomationBackendTest::init()
{
    AxStandIn::reset();
    appDir = Test::freshApplicationDirectory();
    templateFile = appDir + u"/座位样式1.xlsx"_s;
    QFile file(templateFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("template");
    output = appDir + u"/chart.xlsx"_s;
    state = ClassState();
    state.roster.maleNames = QStringList{u"张伟"_s};
    state.roster.femaleNames = QStringList{u"王芳"_s};
    state.roster.rebuildNameMaps();
    state.roster.leaderNames = {u"张伟"_s};
    state.roster.boarderNames = {u"张伟"_s};
    state.currentGrouping = SeatingPlan::fromMembers({{1, 2}});
    state.currentStyle = u"样式1"_s;
    plain.clear();
    stamped.clear();
    opened.clear();
    setFileOpener([this](const QString &path) { opened << path; });
}

void AutomationBackendTest::runExport()
{
    Test::ScriptedDialogs dialogs;
    SeatingExporter exporter(
        state, Dialogs::instance(),
        {[this](const QString &l) { plain << l; }, [this](const QString &l) { stamped << l; }},
        std::make_unique<ComLauncher>());
    exporter.exportToFile(output);
    boxes = dialogs.transcript();
}

void AutomationBackendTest::verifyReleased(bool comReleased)
{
    QCOMPARE(AxStandIn::liveObjects(), 0);
    const QStringList &journal = AxStandIn::journal();
    QCOMPARE(journal.count(u"CoUninitialize"_s), comReleased ? 1 : 0);
    if (comReleased)
        QCOMPARE(journal.last(), u"CoUninitialize"_s);
}

void AutomationBackendTest::excel_recordsTheWholeSequence()
{
    auto &script = AxStandIn::script();
    script.liveProgIds = {u"Excel.Application"_s};
    // A used area of one row and two columns starting at B2: the scan still begins at A1.
    script.usedRow = 2;
    script.usedColumn = 2;
    script.rowCount = 1;
    script.columnCount = 2;
    script.cells[{1, 1}] = u"日期：XXXX.XX.XX"_s;
    script.cells[{2, 2}] = u"1-1"_s;
    script.cells[{2, 3}] = u"1-3"_s;
    runExport();

    const QString nativeTemplate = QDir::toNativeSeparators(templateFile);
    const QString nativeOutput = QDir::toNativeSeparators(output);
    const QString today = QDate::currentDate().toString(u"yyyy.MM.dd"_s);
    const QStringList expected{
        u"CoInitializeEx 2"_s,
        u"create Excel.Application"_s,
        u"Excel.Application.set Visible=false"_s,
        u"Excel.Application.set DisplayAlerts=false"_s,
        u"Excel.Application.set ScreenUpdating=false"_s,
        u"Excel.Application.query Workbooks"_s,
        u"Workbooks.query Open(const QString&) "_s + nativeTemplate,
        u"Workbook.query Sheets"_s,
        u"Sheets.query Item(int) 1"_s,
        u"Sheet.query UsedRange"_s,
        u"UsedRange.get Row"_s,
        u"UsedRange.get Column"_s,
        u"UsedRange.query Rows"_s,
        u"UsedRange.query Columns"_s,
        u"Rows.get Count"_s,
        u"Columns.get Count"_s,
        u"release Columns"_s,
        u"release Rows"_s,
        u"release UsedRange"_s,
        u"Sheet.query Cells(int,int) 1,1"_s,
        u"Cell[1,1].get Value"_s,
        u"Cell[1,1].set Value="_s + today,
        u"release Cell[1,1]"_s,
        u"Sheet.query Cells(int,int) 1,2"_s,
        u"Cell[1,2].get Value"_s,
        u"release Cell[1,2]"_s,
        u"Sheet.query Cells(int,int) 1,3"_s,
        u"Cell[1,3].get Value"_s,
        u"release Cell[1,3]"_s,
        u"Sheet.query Cells(int,int) 2,1"_s,
        u"Cell[2,1].get Value"_s,
        u"release Cell[2,1]"_s,
        u"Sheet.query Cells(int,int) 2,2"_s,
        u"Cell[2,2].get Value"_s,
        u"Cell[2,2].set Value=张伟"_s,
        u"Cell[2,2].set HorizontalAlignment=-4108"_s,
        u"Cell[2,2].set VerticalAlignment=-4108"_s,
        u"Cell[2,2].set WrapText=true"_s,
        u"Cell[2,2].query Font"_s,
        u"Cell[2,2].query Interior"_s,
        u"Cell[2,2].Font.set Size=16"_s,
        u"Cell[2,2].Font.set Bold=true"_s,
        u"Cell[2,2].Interior.set Color=4294967040"_s,
        u"release Cell[2,2].Interior"_s,
        u"release Cell[2,2].Font"_s,
        u"release Cell[2,2]"_s,
        u"Sheet.query Cells(int,int) 2,3"_s,
        u"Cell[2,3].get Value"_s,
        u"Cell[2,3].set Value="_s,
        u"release Cell[2,3]"_s,
        u"Workbook.call SaveAs(const QString&, int) "_s + nativeOutput + u",51"_s,
        u"Excel.Application.set ScreenUpdating=true"_s,
        u"Excel.Application.set DisplayAlerts=true"_s,
        u"Workbook.call Close(Boolean) false"_s,
        u"Excel.Application.call Quit()"_s,
        u"release Sheet"_s,
        u"release Sheets"_s,
        u"release Workbook"_s,
        u"release Workbooks"_s,
        u"release Excel.Application"_s,
        u"CoUninitialize"_s,
    };
    QCOMPARE(AxStandIn::journal(), expected);
    QCOMPARE(boxes, QStringList());
    QCOMPARE(plain, QStringList{u"检测到Microsoft Excel"_s});
    QCOMPARE(stamped, QStringList{u"座位表已导出到: "_s + nativeOutput});
    QCOMPARE(opened, QStringList{output});
    verifyReleased(true);
}

void AutomationBackendTest::excelSaveRaises_reported_data()
{
    QTest::addColumn<bool>("earlierChart");
    QTest::newRow("noFileLeft") << false;
    // Saving twice within a second, or over a chart still open elsewhere, leaves the old file.
    QTest::newRow("earlierChartOfSameName_notTakenForSuccess") << true;
}

void AutomationBackendTest::excelSaveRaises_reported()
{
    QFETCH(bool, earlierChart);
    if (earlierChart) {
        QFile earlier(output);
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("PK\x03\x04");
    }
    AxStandIn::script().liveProgIds = {u"Excel.Application"_s};
    AxStandIn::script().raisingCalls = {u"Workbook:SaveAs(const QString&, int)"_s};
    runExport();
    QCOMPARE(boxes, QStringList{u"critical: 错误 / 导出失败: 文件保存失败，请检查路径和权限"_s});
    QVERIFY(stamped.isEmpty());
    verifyReleased(true);
}

void AutomationBackendTest::wps_triesServersInOrderAndSavesByName_data()
{
    QTest::addColumn<QString>("progId");
    QTest::addColumn<QStringList>("discarded");
    QTest::addColumn<QString>("detected");

    QTest::newRow("kingsoft_afterExcel")
        << u"KWPS.Application"_s << QStringList{u"Excel.Application"_s} << u"检测到WPS Office (Kingsoft)"_s;
    QTest::newRow("ket_afterKingsoft")
        << u"KET.Application"_s << QStringList{u"Excel.Application"_s, u"KWPS.Application"_s}
        << u"检测到WPS表格 (KET)"_s;
    QTest::newRow("et_last") << u"ET.Application"_s
                             << QStringList{u"Excel.Application"_s, u"KWPS.Application"_s,
                                            u"KET.Application"_s}
                             << u"检测到WPS表格 (ET)"_s;
}

void AutomationBackendTest::wps_triesServersInOrderAndSavesByName()
{
    QFETCH(QString, progId);
    QFETCH(QStringList, discarded);
    QFETCH(QString, detected);

    AxStandIn::script().liveProgIds = {progId};
    runExport();

    QStringList start;
    for (const QString &id : std::as_const(discarded))
        start << u"create "_s + id + u" (null)"_s << u"release "_s + id;
    start << u"create "_s + progId;
    QCOMPARE(AxStandIn::journal().mid(1, start.size()), start);
    QVERIFY(AxStandIn::journal().contains(u"Workbook.call SaveAs(const QString&) "_s +
                                          QDir::toNativeSeparators(output)));
    QCOMPARE(plain, (QStringList{detected, u"使用WPS特有保存方式"_s}));
    QCOMPARE(boxes, QStringList());
    QCOMPARE(stamped.size(), 1);
    verifyReleased(true);
}

void AutomationBackendTest::wpsSaveFallbacks_data()
{
    QTest::addColumn<QStringList>("raising");
    QTest::addColumn<bool>("activeWorkbook");
    QTest::addColumn<QString>("saveLine");
    QTest::addColumn<QStringList>("box");

    const QString first = u"Workbook:SaveAs(const QString&)"_s;
    const QString backup = u"ActiveWorkbook:SaveAs(QVariant)"_s;
    const QString last = u"Workbook:SaveAs(QString)"_s;
    QTest::newRow("firstRaises_activeWorkbookSaves")
        << QStringList{first} << true << u"使用WPS备用保存方式"_s << QStringList();
    QTest::newRow("firstRaisesNoActiveWorkbook_fileMissing")
        << QStringList{first} << false << QString()
        << QStringList{u"critical: 错误 / 导出失败: 文件保存失败，请检查路径和权限"_s};
    QTest::newRow("firstAndBackupRaise_lastSaves")
        << QStringList{first, backup} << true << u"使用WPS最后尝试保存方式"_s << QStringList();
    QTest::newRow("allRaise_serverTextShown") << QStringList{first, backup, last} << true << QString()
                                              << QStringList{u"critical: 错误 / 导出失败: 服务器出错"_s};
}

void AutomationBackendTest::wpsSaveFallbacks()
{
    QFETCH(QStringList, raising);
    QFETCH(bool, activeWorkbook);
    QFETCH(QString, saveLine);
    QFETCH(QStringList, box);

    auto &script = AxStandIn::script();
    script.liveProgIds = {u"KWPS.Application"_s};
    script.raisingCalls = QSet<QString>(raising.begin(), raising.end());
    if (!activeWorkbook)
        script.nullQueries << u"ActiveWorkbook"_s;
    runExport();

    QStringList expectedLog{u"检测到WPS Office (Kingsoft)"_s};
    if (!saveLine.isEmpty())
        expectedLog << saveLine;
    QCOMPARE(plain, expectedLog);
    QCOMPARE(boxes, box);
    QCOMPARE(stamped.size(), box.isEmpty() ? 1 : 0);
    QCOMPARE(QFile::exists(output), box.isEmpty());
    const QStringList &journal = AxStandIn::journal();
    QVERIFY(journal.contains(u"Workbook.call Close(Boolean) false"_s));
    QVERIFY(journal.contains(u"KWPS.Application.call Quit()"_s));
    // The display comes back only after a save that worked.
    QCOMPARE(journal.contains(u"KWPS.Application.set ScreenUpdating=true"_s), box.isEmpty());
    verifyReleased(true);
}

void AutomationBackendTest::missingObjects_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("workbookOpened");

    QTest::newRow("noWorkbooks_reported") << u"Workbooks"_s << u"无法获取Workbooks对象"_s << false;
    QTest::newRow("openFails_reported") << u"Open(const QString&)"_s << u"无法打开模板文件"_s << false;
    QTest::newRow("noSheets_reportedAndClosed") << u"Sheets"_s << u"无法获取Sheets集合"_s << true;
    QTest::newRow("noFirstSheet_reportedAndClosed") << u"Item(int)"_s << u"无法获取工作表"_s << true;
}

void AutomationBackendTest::missingObjects()
{
    QFETCH(QString, query);
    QFETCH(QString, text);
    QFETCH(bool, workbookOpened);

    AxStandIn::script().liveProgIds = {u"Excel.Application"_s};
    AxStandIn::script().nullQueries = {query};
    runExport();

    QCOMPARE(boxes, QStringList{u"critical: 错误 / 导出失败: "_s + text});
    // A refused template also says why in the log.
    QCOMPARE(plain.size(), query.startsWith(u"Open"_s) ? 2 : 1);
    QVERIFY(stamped.isEmpty());
    QVERIFY(opened.isEmpty());
    const QStringList &journal = AxStandIn::journal();
    QCOMPARE(journal.contains(u"Workbook.call Close(Boolean) false"_s), workbookOpened);
    QVERIFY(journal.contains(u"Excel.Application.call Quit()"_s));
    QVERIFY(!journal.contains(u"Excel.Application.set ScreenUpdating=true"_s));
    verifyReleased(true);
}

// The scan costs cross-process calls per cell of the area; one far cell made that hours.
void AutomationBackendTest::usedArea_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("columns");
    QTest::addColumn<bool>("refused");
    QTest::newRow("wholeSheet_refused") << 1048576 << 16384 << true;
    QTest::newRow("oneFarRow_refused") << 1048576 << 26 << true;
    QTest::newRow("atBound_scanned") << 1000 << 100 << false;
}

void AutomationBackendTest::usedArea()
{
    QFETCH(int, rows);
    QFETCH(int, columns);
    QFETCH(bool, refused);
    auto &script = AxStandIn::script();
    script.liveProgIds = {u"Excel.Application"_s};
    script.rowCount = rows;
    script.columnCount = columns;
    runExport();

    const QStringList &journal = AxStandIn::journal();
    QCOMPARE(journal.count(u"Sheet.query Cells(int,int) 1,1"_s), refused ? 0 : 1);
    QCOMPARE(boxes, refused ? QStringList{u"critical: 错误 / 导出失败: 模板文件过大"_s} : QStringList());
    QCOMPARE(plain.size(), refused ? 2 : 1);
    QVERIFY(journal.contains(u"Workbook.call Close(Boolean) false"_s));
    QCOMPARE(journal.filter(u"SaveAs"_s).isEmpty(), refused);
    verifyReleased(true);
}

void AutomationBackendTest::comInitialisation_data()
{
    QTest::addColumn<int>("result");
    QTest::addColumn<QStringList>("box");
    QTest::addColumn<bool>("uninitialised");

    QTest::newRow("fresh_pairedWithUninitialise") << 0 << QStringList() << true;
    QTest::newRow("alreadyInitialised_pairedWithUninitialise") << 1 << QStringList() << true;
    QTest::newRow("otherMode_usedButNotUninitialised") << int(RPC_E_CHANGED_MODE) << QStringList() << false;
    QTest::newRow("failure_platformTextWithoutLineBreak")
        << int(E_ACCESSDENIED) << QStringList{u"warning: 错误 / COM初始化失败: 拒绝访问。"_s} << false;
}

void AutomationBackendTest::comInitialisation()
{
    QFETCH(int, result);
    QFETCH(QStringList, box);
    QFETCH(bool, uninitialised);

    AxStandIn::script().liveProgIds = {u"Excel.Application"_s};
    AxStandIn::script().comResult = result;
    runExport();

    QCOMPARE(boxes, box);
    QCOMPARE(QFile::exists(output), box.isEmpty());
    if (!box.isEmpty())
        QCOMPARE(AxStandIn::journal(), QStringList{u"CoInitializeEx 2"_s});
    verifyReleased(uninitialised);
}

// The box of a group the grouping lacks goes through calls Excel and WPS both have, each edge on
// its own: the border shared with the next group's box stays.
void AutomationBackendTest::unusedGroupBox_edgesClearedOneByOne()
{
    auto &script = AxStandIn::script();
    script.liveProgIds = {u"Excel.Application"_s};
    script.rowCount = 2;
    script.columnCount = 2;
    script.cells[{1, 1}] = u"第1组"_s;
    script.cells[{1, 2}] = u"第2组"_s;
    script.cells[{2, 1}] = u"1-1"_s;
    script.cells[{2, 2}] = u"2-1"_s;
    runExport();

    QCOMPARE(boxes, QStringList());
    const QStringList &journal = AxStandIn::journal();
    auto edgesOf = [&](const QString &cell) {
        const qsizetype from = journal.indexOf(cell + u".query Borders"_s);
        const qsizetype to = journal.indexOf(u"release "_s + cell + u".Borders"_s);
        return from < 0 || to < from ? QStringList() : journal.mid(from, to - from + 1);
    };
    QStringList label;
    for (int edge : {8, 9, 10}) // top, bottom, right; the left one is the first group's
        label << u"Cell[1,2].Borders.query Item(int) %1"_s.arg(edge)
              << u"Cell[1,2].Borders.Item(int).set LineStyle=-4142"_s
              << u"release Cell[1,2].Borders.Item(int)"_s;
    QCOMPARE(edgesOf(u"Cell[1,2]"_s),
             QStringList{u"Cell[1,2].query Borders"_s} + label + QStringList{u"release Cell[1,2].Borders"_s});
    QVERIFY(journal.contains(u"Cell[1,2].Interior.set ColorIndex=-4142"_s));
    QVERIFY(journal.contains(u"Cell[1,2].query MergeArea"_s));
    QVERIFY(!edgesOf(u"Cell[2,2]"_s).contains(u"Cell[2,2].Borders.query Item(int) 7"_s));
    QVERIFY(edgesOf(u"Cell[2,2]"_s).contains(u"Cell[2,2].Borders.query Item(int) 8"_s));
    QCOMPARE(script.cells.value({1, 2}).toString(), QString());
    QCOMPARE(script.cells.value({1, 1}).toString(), u"第1组"_s);
    // Nothing of the first group's box is touched, and all of it happens before saving.
    QVERIFY(journal.filter(u"Cell[1,1].query Borders"_s).isEmpty());
    QVERIFY(journal.indexOf(u"release Cell[2,2].Borders"_s) <
            journal.indexOf(u"Workbook.call SaveAs(const QString&, int) "_s +
                            QDir::toNativeSeparators(output) + u",51"_s));
    verifyReleased(true);
}

QTEST_GUILESS_MAIN(AutomationBackendTest)
#include "automationbackend_test.moc"
