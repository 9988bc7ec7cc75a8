#include "comlauncher.h"
#include "desktop.h"
#include "hostcheck.h"
#include "scripteddialogs.h"
#include "seatingexporter.h"
#include "testenvironment.h"
#include "xlsxdocument.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSettings>
#include <QtTest>

#include <windows.h>

using namespace Qt::StringLiterals;
using namespace Velmora;

namespace {

const QString serverClsid = u"{4A3B7D0E-2C51-4F6A-9B8E-5D1C0E7F6A21}"_s;
const QStringList progIds{u"Excel.Application"_s, u"KWPS.Application"_s, u"KET.Application"_s,
                          u"ET.Application"_s};

// Only the ProgID a case names leads to the server, as on a machine with just that application.
void registerServer(const QString &progId)
{
    QSettings classes(u"HKEY_LOCAL_MACHINE\\Software\\Classes"_s, QSettings::NativeFormat);
    for (const QString &id : progIds)
        classes.remove(id);
    const QString server = u"CLSID/"_s + serverClsid + u"/InprocServer32/"_s;
    classes.setValue(server + u"Default"_s, QDir::toNativeSeparators(QCoreApplication::applicationDirPath() +
                                                                     u"/spreadsheetserver.dll"_s));
    classes.setValue(server + u"ThreadingModel"_s, u"Apartment"_s);
    if (!progId.isEmpty())
        classes.setValue(progId + u"/CLSID/Default"_s, serverClsid);
    classes.sync();
}

struct Person
{
    QString name;
    bool leader;
    bool boarder;
};

const QList<Person> people{
    {u"张伟"_s, true, true}, {u"李强"_s, true, false}, {u"王芳"_s, false, true}, {u"刘洋"_s, false, false}};

} // namespace

class AutomationComTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup() { setFileOpener({}); }
    // The other tests of the suite share the Wine prefix and must find no spreadsheet application.
    void cleanupTestCase() { registerServer(QString()); }

    void callSequence_data();
    void callSequence();
    void wpsSaveFallbacks_data();
    void wpsSaveFallbacks();
    void failures_data();
    void failures();
    void noServer_builtInEngineWrites();

private:
    void runExport(const QString &progId, const QString &failing = {});
    // No call was refused, every object the server handed out is gone, and COM went from this
    // thread after it.
    void verifyReleased();
    void deferChartCheck(const QString &templateFile);

    QString appDir;
    QString output;
    QString nativeOutput;
    QString logPath;
    ClassState state;
    QStringList plain;
    QStringList stamped;
    QStringList boxes;
    QStringList calls;
    bool comReleased = false;
};

void AutomationComTest::init()
{
    appDir = Test::freshApplicationDirectory();
    for (const QString &name : {u"座位样式1.xlsx"_s, u"座位样式2.xlsx"_s})
        QVERIFY(QFile::copy(Test::stageDirectory() + u'/' + name, appDir + u'/' + name));
    output = appDir + u"/座位表 1.xlsx"_s;
    nativeOutput = QDir::toNativeSeparators(output);
    logPath = appDir + u"/server.log"_s;
    state = ClassState();
    state.roster.maleNames = QStringList{people[0].name, people[1].name};
    state.roster.femaleNames = QStringList{people[2].name, people[3].name};
    state.roster.rebuildNameMaps();
    for (const Person &person : people) {
        if (person.leader)
            state.roster.leaderNames.insert(person.name);
        if (person.boarder)
            state.roster.boarderNames.insert(person.name);
    }
    state.currentGrouping = SeatingPlan::fromMembers({{1, 3}, {2, 4}});
    state.currentStyle = u"样式1"_s;
    plain.clear();
    stamped.clear();
    setFileOpener([](const QString &) {});
}

void AutomationComTest::runExport(const QString &progId, const QString &failing)
{
    registerServer(progId);
    qputenv("COMSERVER_LOG", QDir::toNativeSeparators(logPath).toUtf8());
    qputenv("COMSERVER_FAIL", failing.toUtf8());
    // COM is set up on this thread by the export alone, so a fresh initialisation afterwards
    // answers S_OK only when the export released it again.
    const auto comFree = [] {
        const HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (SUCCEEDED(result))
            CoUninitialize();
        return result == S_OK;
    };
    const bool freeBefore = comFree();
    {
        Test::ScriptedDialogs dialogs;
        SeatingExporter exporter(
            state, Dialogs::instance(),
            {[this](const QString &l) { plain << l; }, [this](const QString &l) { stamped << l; }},
            std::make_unique<ComLauncher>());
        exporter.exportToFile(output);
        boxes = dialogs.transcript();
    }
    comReleased = freeBefore && comFree();
    QFile log(logPath);
    calls.clear();
    if (log.open(QIODevice::ReadOnly))
        calls = QString::fromUtf8(log.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

void AutomationComTest::verifyReleased()
{
    // A member the application does not have on that object would fail on a teacher's machine.
    QCOMPARE(calls.filter(u" refused"_s), QStringList());
    QVERIFY(comReleased);
    QCOMPARE(calls.filter(u" without COM"_s), QStringList());
    const auto liveObjects = reinterpret_cast<LONG (*)()>(reinterpret_cast<void *>(
        GetProcAddress(GetModuleHandleW(L"spreadsheetserver.dll"), "ServerLiveObjects")));
    QVERIFY(liveObjects);
    QCOMPARE(liveObjects(), 0);
}

void AutomationComTest::deferChartCheck(const QString &templateFile)
{
    XlsxDocument document;
    QVERIFY(document.open(templateFile));
    const XlsxRange used = document.usedRange();
    static const QRegularExpression seat(u"^(\\d+)-(\\d+)$"_s);
    QJsonArray items;
    for (int row = used.firstRow; row < used.firstRow + used.rowCount; ++row) {
        for (int column = used.firstColumn; column < used.firstColumn + used.columnCount; ++column) {
            const QString marker = document.cellText(row, column);
            const QRegularExpressionMatch match = seat.match(marker);
            if (marker.contains(u"XXXX.XX.XX"_s)) {
                items.append(QJsonObject{{u"marker"_s, marker},
                                         {u"value"_s, QDate::currentDate().toString(u"yyyy.MM.dd"_s)}});
            } else if (match.hasMatch()) {
                const int group = match.captured(1).toInt();
                const int place = match.captured(2).toInt();
                const PersonId occupant = state.currentGrouping.occupant({group, place});
                if (occupant == 0) {
                    items.append(QJsonObject{{u"marker"_s, marker}, {u"value"_s, QString()}});
                    continue;
                }
                const Person &person = people[occupant - 1];
                items.append(QJsonObject{{u"marker"_s, marker},
                                         {u"value"_s, person.name},
                                         {u"size"_s, 16},
                                         {u"bold"_s, person.leader},
                                         {u"fill"_s, person.boarder ? u"FFFFFF00"_s : QString()}});
            }
        }
    }
    const QJsonArray run{u"python3"_s, QString(Test::sourceDirectory() + u"/tests/export/readchart.py"_s),
                         Test::keepForHost(templateFile), Test::keepForHost(output)};
    Test::deferToHost({QJsonObject{
        {u"run"_s, run}, {u"expect"_s, QJsonObject{{u"key"_s, u"marker"_s}, {u"items"_s, items}}}}});
}

void AutomationComTest::callSequence_data()
{
    QTest::addColumn<QString>("progId");
    QTest::addColumn<QString>("style");
    QTest::addColumn<QString>("detected");
    QTest::addColumn<QString>("save");
    QTest::addColumn<QStringList>("saveLine");

    QTest::newRow("excel_formatNumberPassed") << progIds[0] << u"样式1"_s << u"检测到Microsoft Excel"_s
                                              << u"Workbook.SaveAs(BSTR:%1,I4:51)"_s << QStringList();
    const QString byName = u"Workbook.SaveAs(BSTR:%1)"_s;
    const QStringList wpsLine{u"使用WPS特有保存方式"_s};
    QTest::newRow("kwps_nameOnly") << progIds[1] << u"样式2"_s << u"检测到WPS Office (Kingsoft)"_s << byName
                                   << wpsLine;
    QTest::newRow("ket_nameOnly") << progIds[2] << u"样式1"_s << u"检测到WPS表格 (KET)"_s << byName
                                  << wpsLine;
    QTest::newRow("et_nameOnly") << progIds[3] << u"样式2"_s << u"检测到WPS表格 (ET)"_s << byName << wpsLine;
}

void AutomationComTest::callSequence()
{
    QFETCH(QString, progId);
    QFETCH(QString, style);
    QFETCH(QString, detected);
    QFETCH(QString, save);
    QFETCH(QStringList, saveLine);

    state.currentStyle = style;
    runExport(progId);

    const QString templateFile = appDir + (style == u"样式1"_s ? u"/座位样式1.xlsx"_s : u"/座位样式2.xlsx"_s);
    QCOMPARE(boxes, QStringList());
    QCOMPARE(plain, QStringList{detected} + saveLine);
    QCOMPARE(stamped, QStringList{u"座位表已导出到: "_s + nativeOutput});

    static const QRegularExpression cellCall(u"^(Sheet\\.Cells\\(|Cell\\[|release Cell\\[)"_s);
    QStringList outline = calls;
    outline.removeIf([](const QString &line) { return cellCall.match(line).hasMatch(); });
    const QStringList expected{
        u"create"_s,
        u"Application.Visible=BOOL:false"_s,
        u"Application.DisplayAlerts=BOOL:false"_s,
        u"Application.ScreenUpdating=BOOL:false"_s,
        u"Application.Workbooks"_s,
        u"Workbooks.Open(BSTR:%1)"_s.arg(QDir::toNativeSeparators(templateFile)),
        u"Workbook.Sheets"_s,
        u"Sheets.Item(I4:1)"_s,
        u"Sheet.UsedRange"_s,
        u"UsedRange.Row"_s,
        u"UsedRange.Column"_s,
        u"UsedRange.Rows"_s,
        u"UsedRange.Columns"_s,
        u"Rows.Count"_s,
        u"Columns.Count"_s,
        u"release Columns"_s,
        u"release Rows"_s,
        u"release UsedRange"_s,
        save.arg(nativeOutput),
        u"Application.ScreenUpdating=BOOL:true"_s,
        u"Application.DisplayAlerts=BOOL:true"_s,
        u"Workbook.Close(BOOL:false)"_s,
        u"Application.Quit()"_s,
        u"release Sheet"_s,
        u"release Sheets"_s,
        u"release Workbook"_s,
        u"release Workbooks"_s,
        u"release Application"_s,
    };
    QCOMPARE(outline, expected);

    // Each person's seat: the name, then the formatting in its fixed order, bold and fill only
    // where they apply, every object released before the next cell.
    for (const Person &person : people) {
        const QRegularExpression write(u"^(Cell\\[\\d+,\\d+\\])\\.Value=BSTR:"_s + person.name + u'$');
        const qsizetype at = calls.indexOf(write);
        QVERIFY2(at >= 0, qPrintable(person.name));
        const QString cell = write.match(calls[at]).captured(1);
        QStringList block{cell + u".HorizontalAlignment=I4:-4108"_s,
                          cell + u".VerticalAlignment=I4:-4108"_s,
                          cell + u".WrapText=BOOL:true"_s,
                          cell + u".Font"_s,
                          cell + u".Interior"_s,
                          cell + u".Font.Size=I4:16"_s};
        if (person.leader)
            block << cell + u".Font.Bold=BOOL:true"_s;
        if (person.boarder)
            block << cell + u".Interior.Color=UI4:4294967040"_s;
        block << u"release "_s + cell + u".Interior"_s << u"release "_s + cell + u".Font"_s
              << u"release "_s + cell;
        QCOMPARE(calls.mid(at + 1, block.size()), block);
    }
    verifyReleased();
    deferChartCheck(templateFile);
}

void AutomationComTest::wpsSaveFallbacks_data()
{
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QStringList>("saves");
    QTest::addColumn<QStringList>("saveLine");
    QTest::addColumn<QStringList>("box");

    const QString first = u"Workbook.SaveAs(BSTR:%1)"_s;
    const QString backup = u"ActiveWorkbook.SaveAs(BSTR:%1)"_s;
    QTest::newRow("firstRaises_activeWorkbookSaves")
        << u"SaveAs#1"_s << QStringList{first, backup} << QStringList{u"使用WPS备用保存方式"_s}
        << QStringList();
    QTest::newRow("firstRaisesNoActiveWorkbook_missingFileReported")
        << u"SaveAs#1,ActiveWorkbook"_s << QStringList{first} << QStringList()
        << QStringList{u"critical: 错误 / 导出失败: 文件保存失败，请检查路径和权限"_s};
    QTest::newRow("firstAndBackupRaise_lastSaves")
        << u"SaveAs#1,SaveAs#2"_s << QStringList{first, backup, first}
        << QStringList{u"使用WPS最后尝试保存方式"_s} << QStringList();
    QTest::newRow("allRaise_serverTextShown")
        << u"SaveAs"_s << QStringList{first, backup, first} << QStringList()
        << QStringList{u"critical: 错误 / 导出失败: 服务器出错"_s};
}

void AutomationComTest::wpsSaveFallbacks()
{
    QFETCH(QString, failing);
    QFETCH(QStringList, saves);
    QFETCH(QStringList, saveLine);
    QFETCH(QStringList, box);

    runExport(progIds[1], failing);

    for (QString &save : saves)
        save = save.arg(nativeOutput);
    QCOMPARE(calls.filter(u".SaveAs("_s), saves);
    QCOMPARE(plain, QStringList{u"检测到WPS Office (Kingsoft)"_s} + saveLine);
    QCOMPARE(boxes, box);
    QCOMPARE(stamped.size(), box.isEmpty() ? 1 : 0);
    QCOMPARE(QFile::exists(output), box.isEmpty());
    QVERIFY(calls.contains(u"Workbook.Close(BOOL:false)"_s));
    QVERIFY(calls.contains(u"Application.Quit()"_s));
    verifyReleased();
}

void AutomationComTest::failures_data()
{
    QTest::addColumn<QString>("progId");
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("workbookOpened");

    QTest::newRow("excel_noWorkbooks") << progIds[0] << u"Workbooks"_s << u"无法获取Workbooks对象"_s << false;
    QTest::newRow("wps_noWorkbooks") << progIds[1] << u"Workbooks"_s << u"无法获取Workbooks对象"_s << false;
    QTest::newRow("excel_openYieldsNothing") << progIds[0] << u"Open"_s << u"无法打开模板文件"_s << false;
    QTest::newRow("excel_noSheets_closed") << progIds[0] << u"Sheets"_s << u"无法获取Sheets集合"_s << true;
    QTest::newRow("excel_noFirstSheet_closed") << progIds[0] << u"Item"_s << u"无法获取工作表"_s << true;
    // Excel's own failure text is not shown; the missing file is.
    QTest::newRow("excel_saveAsRaises_missingFileReported")
        << progIds[0] << u"SaveAs"_s << u"文件保存失败，请检查路径和权限"_s << true;
}

void AutomationComTest::failures()
{
    QFETCH(QString, progId);
    QFETCH(QString, failing);
    QFETCH(QString, text);
    QFETCH(bool, workbookOpened);

    runExport(progId, failing);

    QCOMPARE(boxes, QStringList{u"critical: 错误 / 导出失败: "_s + text});
    QVERIFY(stamped.isEmpty());
    QCOMPARE(calls.contains(u"Workbook.Close(BOOL:false)"_s), workbookOpened);
    QVERIFY(calls.contains(u"Application.Quit()"_s));
    QVERIFY(!calls.contains(u"Application.ScreenUpdating=BOOL:true"_s));
    verifyReleased();
}

void AutomationComTest::noServer_builtInEngineWrites()
{
    runExport(QString());

    QVERIFY(!calls.contains(u"create"_s));
    QCOMPARE(plain, QStringList{u"使用内置表格引擎"_s});
    QCOMPARE(boxes, QStringList());
    QVERIFY(QFile::exists(output));
    QVERIFY(comReleased);
}

QTEST_MAIN(AutomationComTest)
#include "automation_com_test.moc"
