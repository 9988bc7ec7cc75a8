#include "appdirectory.h"
#include "configstore.h"
#include "desktop.h"
#include "hostcheck.h"
#include "scripteddialogs.h"
#include "seatingexporter.h"
#include "testenvironment.h"
#include "xlsxbackend.h"
#include "xlsxlimits.h"
#include "xlsxtestpackage.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace Qt::StringLiterals;
using namespace Velmora;

namespace {

// The built-in engine driven the way an automation server is: every cell of the area.
class AreaScanBackend final : public SpreadsheetBackend
{
public:
    void openWorkbook(const QString &path) override { engine.openWorkbook(path); }
    SheetArea usedArea() override { return engine.usedArea(); }
    std::unique_ptr<SpreadsheetCell> cell(int row, int column) override { return engine.cell(row, column); }
    void saveWorkbook(const QString &path) override { engine.saveWorkbook(path); }
    void close() noexcept override { engine.close(); }

private:
    XlsxBackend engine;
};

class AreaScanLauncher final : public BackendLauncher
{
public:
    bool initialise(QString *) override { return true; }
    void release() override {}
    std::unique_ptr<SpreadsheetBackend> launch(const LogLine &) override
    {
        return std::make_unique<AreaScanBackend>();
    }
};

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeTemplate(const QString &path, const QString &sheetData)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(Test::zipParts(Test::workbookParts(sheetData)));
}

QByteArray partOf(const Test::Parts &parts, const QString &name)
{
    for (const auto &part : parts) {
        if (part.first == name)
            return part.second;
    }
    return {};
}

// A small template saved as a macro-enabled template, or as a template with an Excel table
// whose header row holds markers, and given the .xlsx name.
Test::Parts foreignTemplate(const QString &kind)
{
    const QString cell = u"<c r=\"%1\" t=\"inlineStr\"><is><t>%2</t></is></c>"_s;
    Test::Parts parts = Test::workbookParts(
        u"<row r=\"1\">"_s + cell.arg(u"A1"_s, u"1-1"_s) + cell.arg(u"B1"_s, u"1-2"_s) +
        cell.arg(u"C1"_s, u"9-9"_s) + cell.arg(u"D1"_s, u"姓名"_s) + u"</row><row r=\"2\">"_s +
        cell.arg(u"A2"_s, u"1-3"_s) + cell.arg(u"B2"_s, u"XXXX.XX.XX"_s) + u"</row>"_s);
    QByteArray types = partOf(parts, u"[Content_Types].xml"_s);
    const QByteArray plainMain = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml";
    if (kind == u"macros") {
        types.replace(plainMain, "application/vnd.ms-excel.template.macroEnabled.main+xml");
        types.replace(
            "<Default Extension=\"xml\"",
            "<Default Extension=\"bin\" ContentType=\"application/vnd.ms-office.vbaProject\"/>"
            "<Override PartName=\"/xl/vbaProjectSignature.bin\" "
            "ContentType=\"application/vnd.ms-office.vbaProjectSignature\"/><Default Extension=\"xml\"");
        Test::setPart(
            parts, u"xl/_rels/workbook.xml.rels"_s,
            partOf(parts, u"xl/_rels/workbook.xml.rels"_s)
                .replace("</Relationships>",
                         "<Relationship Id=\"rId9\" Type=\"http://schemas.microsoft.com/office/2006/"
                         "relationships/vbaProject\" Target=\"vbaProject.bin\"/></Relationships>"));
        Test::setPart(parts, u"xl/vbaProject.bin"_s, QByteArray("\xD0\xCF\x11\xE0 macros", 10));
        Test::setPart(
            parts, u"xl/_rels/vbaProject.bin.rels"_s,
            "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
            "<Relationship Id=\"rId1\" Type=\"http://schemas.microsoft.com/office/2006/relationships/"
            "vbaProjectSignature\" Target=\"vbaProjectSignature.bin\"/></Relationships>");
        Test::setPart(parts, u"xl/vbaProjectSignature.bin"_s, "signature");
    } else {
        types.replace(plainMain,
                      "application/vnd.openxmlformats-officedocument.spreadsheetml.template.main+xml");
        types.replace("</Types>", "<Override PartName=\"/xl/tables/table1.xml\" ContentType=\"application/"
                                  "vnd.openxmlformats-officedocument.spreadsheetml.table+xml\"/></Types>");
        Test::setPart(parts, u"xl/worksheets/sheet1.xml"_s,
                      partOf(parts, u"xl/worksheets/sheet1.xml"_s)
                          .replace("</sheetData>",
                                   "</sheetData><tableParts count=\"1\"><tablePart xmlns:r=\"http://schemas."
                                   "openxmlformats.org/officeDocument/2006/relationships\" r:id=\"rId1\"/>"
                                   "</tableParts>"));
        Test::setPart(
            parts, u"xl/worksheets/_rels/sheet1.xml.rels"_s,
            "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
            "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
            "relationships/table\" Target=\"../tables/table1.xml\"/></Relationships>");
        Test::setPart(parts, u"xl/tables/table1.xml"_s,
                      u"<table xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" id=\"1\" "
                      u"name=\"Seats\" displayName=\"Seats\" ref=\"A1:D2\"><autoFilter ref=\"A1:D2\"/>"
                      u"<tableColumns count=\"4\"><tableColumn id=\"1\" name=\"1-1\"/><tableColumn id=\"2\" "
                      u"name=\"1-2\"/><tableColumn id=\"3\" name=\"9-9\"/><tableColumn id=\"4\" "
                      u"name=\"姓名\"/></tableColumns><tableStyleInfo name=\"TableStyleMedium2\" "
                      u"showRowStripes=\"1\"/></table>"_s.toUtf8());
    }
    Test::setPart(parts, u"[Content_Types].xml"_s, types);
    return parts;
}

// What openpyxl and the package itself say about a chart: the workbook's content type, any trace
// of macros, content types naming parts that are not there, and each table's header cells and
// column names.
const QString readPackage =
    u"import json, sys, zipfile, openpyxl\n"
    u"from xml.etree import ElementTree\n"
    u"z = zipfile.ZipFile(sys.argv[1])\n"
    u"types = list(ElementTree.fromstring(z.read('[Content_Types].xml')))\n"
    u"names = z.namelist()\n"
    u"main = [t.get('ContentType') for t in types if t.get('PartName') == '/xl/workbook.xml']\n"
    u"kinds = [t.get('ContentType').lower() for t in types] + [n.lower() for n in names]\n"
    u"ws = openpyxl.load_workbook(sys.argv[1]).worksheets[0]\n"
    u"headers, columns = [], []\n"
    u"for table in ws.tables.values():\n"
    u"    left, top, right, _ = openpyxl.utils.cell.range_boundaries(table.ref)\n"
    u"    headers += [ws.cell(top, c).value for c in range(left, right + 1)]\n"
    u"    columns += [c.name for c in table.tableColumns]\n"
    u"print(json.dumps([{'file': 'chart', 'main': main, 'headers': headers, 'columns': columns,\n"
    u"    'macros': any('vba' in k or 'macro' in k for k in kinds),\n"
    u"    'missing': [t.get('PartName') for t in types if t.get('PartName') and\n"
    u"                t.get('PartName')[1:] not in names]}], ensure_ascii=False))\n"_s;

} // namespace

// The shipped templates filled by the built-in engine with the sample class, read back by
// openpyxl and opened by LibreOffice.
class BuiltinExportTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sampleClass_everyNameAtItsSeat_data();
    void sampleClass_everyNameAtItsSeat();
    void libreOffice_opensTheChart();
    void awkwardPaths_savedOpenedAndLogged_data();
    void awkwardPaths_savedOpenedAndLogged();
    void storedCells_sameResultAsAreaScan_data();
    void storedCells_sameResultAsAreaScan();
    void refusedTemplates_data();
    void refusedTemplates();
    void foreignTemplates_plainWorkbook_data();
    void foreignTemplates_plainWorkbook();
    void unusedGroupBox_takenOffTheChart_data();
    void unusedGroupBox_takenOffTheChart();

private:
    ClassState sampleClass(const QString &appDir) const;
    QString exportChart(ClassState &state, const QString &appDir, QStringList *plain);
    void deferChartCheck(const ClassState &state, const QString &output);
};

ClassState BuiltinExportTest::sampleClass(const QString &appDir) const
{
    const QString source = Test::sourceDirectory();
    for (const QString &name : {u"座位样式1.xlsx"_s, u"座位样式2.xlsx"_s})
        QFile::copy(source + u"/templates/"_s + name, appDir + u"/"_s + name);
    QFile::copy(source + u"/examples/sample-class/config.ini"_s, appDir + u"/config.ini"_s);
    ClassState state;
    ConfigStore::loadConfiguration(state);
    // Round robin over nine groups: 48 persons give three groups of six and six of five, so the
    // sixth seat of the later groups has to come out empty. The person on 1-2 then moves to 9-6:
    // "1-3" must still name the person on seat 3, not the second person seated.
    Grouping members(9);
    const int persons = state.roster.maleCount() + state.roster.femaleCount();
    for (int p = 1; p <= persons; ++p)
        members[(p - 1) % 9].append(p);
    state.currentGrouping = SeatingPlan::fromMembers(members, defaultGroupConfigs());
    const PersonId moved = state.currentGrouping.occupant({1, 2});
    state.currentGrouping.setOccupant({1, 2}, 0);
    state.currentGrouping.setOccupant({9, 6}, moved);
    return state;
}

QString BuiltinExportTest::exportChart(ClassState &state, const QString &appDir, QStringList *plain)
{
    Test::ScriptedDialogs dialogs;
    setFileOpener([](const QString &) {});
    const QString output = appDir + u"/chart.xlsx"_s;
    SeatingExporter exporter(state, Dialogs::instance(),
                             {[plain](const QString &l) { *plain << l; }, [](const QString &) {}}, nullptr);
    exporter.exportToFile(output);
    setFileOpener({});
    if (!dialogs.calls.isEmpty())
        qWarning() << dialogs.transcript();
    return dialogs.calls.isEmpty() ? output : QString();
}

void BuiltinExportTest::sampleClass_everyNameAtItsSeat_data()
{
    QTest::addColumn<QString>("style");
    QTest::addColumn<QString>("templateName");
    QTest::newRow("style1_filled") << u"样式1"_s << u"座位样式1.xlsx"_s;
    QTest::newRow("style2_filled") << u"样式2"_s << u"座位样式2.xlsx"_s;
}

void BuiltinExportTest::sampleClass_everyNameAtItsSeat()
{
    QFETCH(QString, style);
    QFETCH(QString, templateName);

    const QString appDir = Test::freshApplicationDirectory();
    ClassState state = sampleClass(appDir);
    state.currentStyle = style;
    QStringList plain;
    const QString output = exportChart(state, appDir, &plain);
    QVERIFY(!output.isEmpty());
    QCOMPARE(plain, QStringList{u"使用内置表格引擎"_s});
    QCOMPARE(state.templatePath, appDir + u"/"_s + templateName);
    if (!Test::hostProgramsRunHere()) {
        deferChartCheck(state, output);
        return;
    }

    QProcess reader;
    reader.start(u"/usr/bin/python3"_s,
                 {Test::sourceDirectory() + u"/tests/export/readchart.py"_s, state.templatePath, output});
    QVERIFY(reader.waitForFinished(60000));
    QVERIFY2(reader.exitCode() == 0, reader.readAllStandardError().constData());
    const QJsonArray cells = QJsonDocument::fromJson(reader.readAllStandardOutput()).array();
    QCOMPARE(cells.size(), 55);

    const QString today = QDate::currentDate().toString(u"yyyy.MM.dd"_s);
    int named = 0;
    for (const QJsonValue &entry : cells) {
        const QJsonObject cell = entry.toObject();
        const QString marker = cell[u"marker"_s].toString();
        const QString value = cell[u"value"_s].toString();
        if (marker.contains(u"XXXX.XX.XX"_s)) {
            QCOMPARE(value, today);
            continue;
        }
        const int group = marker.section(u'-', 0, 0).toInt();
        const int seat = marker.section(u'-', 1, 1).toInt();
        const PersonId person = state.currentGrouping.occupant({group, seat});
        if (person == 0) {
            QVERIFY2(value.isEmpty(), qPrintable(marker));
            continue;
        }
        const QString name = state.roster.nameOf(person);
        QCOMPARE(value, name);
        QCOMPARE(cell[u"size"_s].toDouble(), 16.0);
        QVERIFY(cell[u"centre"_s].toBool());
        QVERIFY(cell[u"wrap"_s].toBool());
        QCOMPARE(cell[u"bold"_s].toBool(), state.roster.leaderNames.contains(name));
        QCOMPARE(cell[u"fill"_s].toString() == u"FFFFFF00"_s, state.roster.boarderNames.contains(name));
        ++named;
    }
    QCOMPARE(named, 48);
}

void BuiltinExportTest::libreOffice_opensTheChart()
{
    if (Test::hostProgramsRunHere() && !QFile::exists(u"/usr/bin/soffice"_s))
        QSKIP("LibreOffice is not installed");
    const QString appDir = Test::freshApplicationDirectory();
    ClassState state = sampleClass(appDir);
    QStringList plain;
    const QString output = exportChart(state, appDir, &plain);
    QVERIFY(!output.isEmpty());
    if (!Test::hostProgramsRunHere()) {
        QJsonArray names;
        for (const QList<int> &group : state.currentGrouping.members())
            for (int person : group)
                names.append(state.roster.nameOf(person));
        names.append(QDate::currentDate().toString(u"yyyy.MM.dd"_s));
        const QString kept = Test::keepForHost(output);
        const QString outDir = QFileInfo(kept).absolutePath();
        Test::deferToHost({QJsonObject{{u"soffice"_s, QJsonArray{kept}}, {u"outdir"_s, outDir}},
                           QJsonObject{{u"csv"_s, Test::csvBeside(kept)},
                                       {u"contains"_s, names},
                                       {u"absent"_s, QJsonArray{u"XXXX.XX.XX"_s}}}});
        return;
    }

    QTemporaryDir profile;
    QTemporaryDir outDir;
    QProcess office;
    office.start(u"/usr/bin/soffice"_s,
                 {u"-env:UserInstallation=file://"_s + profile.path(), u"--headless"_s, u"--convert-to"_s,
                  u"csv:Text - txt - csv (StarCalc):44,34,76"_s, u"--outdir"_s, outDir.path(), output});
    QVERIFY(office.waitForFinished(180000));
    QFile csv(outDir.path() + u"/chart.csv"_s);
    QVERIFY2(csv.open(QIODevice::ReadOnly), office.readAllStandardError().constData());
    const QString text = QString::fromUtf8(csv.readAll());
    QVERIFY(text.contains(QDate::currentDate().toString(u"yyyy.MM.dd"_s)));
    for (const QList<int> &group : state.currentGrouping.members())
        for (int person : group)
            QVERIFY2(text.contains(state.roster.nameOf(person)), qPrintable(state.roster.nameOf(person)));
    QVERIFY(!text.contains(u"XXXX.XX.XX"_s));
}

// The same expectations as above, handed to the host as readchart.py entries.
void BuiltinExportTest::deferChartCheck(const ClassState &state, const QString &output)
{
    QJsonArray items{QJsonObject{{u"marker"_s, u"XXXX.XX.XX"_s},
                                 {u"value"_s, QDate::currentDate().toString(u"yyyy.MM.dd"_s)}}};
    for (int group = 1; group <= 9; ++group) {
        for (int seat = 1; seat <= 6; ++seat) {
            QJsonObject item{{u"marker"_s, u"%1-%2"_s.arg(group).arg(seat)}, {u"value"_s, QString()}};
            if (const PersonId person = state.currentGrouping.occupant({group, seat})) {
                const QString name = state.roster.nameOf(person);
                item = QJsonObject{
                    {u"marker"_s, item[u"marker"_s]},
                    {u"value"_s, name},
                    {u"size"_s, 16.0},
                    {u"centre"_s, true},
                    {u"wrap"_s, true},
                    {u"bold"_s, state.roster.leaderNames.contains(name)},
                    {u"fill"_s, state.roster.boarderNames.contains(name) ? u"FFFFFF00"_s : QString()}};
            }
            items.append(item);
        }
    }
    const QString script = Test::sourceDirectory() + u"/tests/export/readchart.py"_s;
    Test::deferToHost(
        {QJsonObject{{u"run"_s, QJsonArray{u"python3"_s, script, Test::keepForHost(state.templatePath),
                                           Test::keepForHost(output)}},
                     {u"expect"_s, QJsonObject{{u"key"_s, u"marker"_s}, {u"items"_s, items}}}}});
}

// Where teachers keep their files: folders with Chinese names and spaces, and on Windows paths
// written with backslashes. The template is found, the chart is saved, the desktop gets a path it
// can turn into a URL, and the log shows the name with native separators.
void BuiltinExportTest::awkwardPaths_savedOpenedAndLogged_data()
{
    QTest::addColumn<QString>("programFolder");
    QTest::addColumn<QString>("output");
    QTest::addColumn<bool>("backslashes");
    QTest::newRow("plainFolders_saved") << QString() << u"out/chart.xlsx"_s << false;
    QTest::newRow("chineseFolders_saved")
        << u"老师 的文件夹"_s << u"座位表 2025/三年级（2）班.xlsx"_s << false;
    QTest::newRow("backslashes_saved") << u"座位"_s << u"导出/chart.xlsx"_s << true;
}

void BuiltinExportTest::awkwardPaths_savedOpenedAndLogged()
{
    QFETCH(QString, programFolder);
    QFETCH(QString, output);
    QFETCH(bool, backslashes);
    if (backslashes && QDir::separator() != u'\\')
        QSKIP("a backslash separates folders on Windows only");

    const QString appDir = QDir(Test::freshApplicationDirectory()).filePath(programFolder);
    QVERIFY(QDir().mkpath(appDir));
    setApplicationDirectoryOverride(appDir);
    ClassState state = sampleClass(appDir);
    const QString target = QDir(appDir).filePath(output);
    QVERIFY(QDir().mkpath(QFileInfo(target).absolutePath()));
    const QString given = backslashes ? QDir::toNativeSeparators(target) : target;

    Test::ScriptedDialogs dialogs;
    QStringList opened;
    setFileOpener([&opened](const QString &path) { opened << path; });
    QStringList stamped;
    SeatingExporter exporter(state, Dialogs::instance(),
                             {[](const QString &) {}, [&stamped](const QString &l) { stamped << l; }},
                             nullptr);
    exporter.exportToFile(given);
    setFileOpener({});

    QCOMPARE(dialogs.transcript(), QStringList());
    QVERIFY(QFileInfo(target).size() > 0);
    QCOMPARE(opened, QStringList{QFileInfo(target).absoluteFilePath()});
    QCOMPARE(QUrl::fromLocalFile(opened.first()).toLocalFile(), opened.first());
    QCOMPARE(stamped, QStringList{u"座位表已导出到: "_s + QDir::toNativeSeparators(target)});
}

void BuiltinExportTest::storedCells_sameResultAsAreaScan_data()
{
    QTest::addColumn<QString>("templateFile");
    const QString source = Test::sourceDirectory();
    QTest::newRow("style1") << source + u"/templates/座位样式1.xlsx"_s;
    QTest::newRow("style2") << source + u"/templates/座位样式2.xlsx"_s;
    for (const QString &name : {u"seating-handmade"_s, u"seating-libreoffice"_s, u"seating-openpyxl"_s})
        QTest::newRow(qPrintable(name)) << source + u"/tests/fixtures/xlsx/templates/"_s + name + u".xlsx"_s;
}

void BuiltinExportTest::storedCells_sameResultAsAreaScan()
{
    QFETCH(QString, templateFile);
    const QString appDir = Test::freshApplicationDirectory();
    ClassState state = sampleClass(appDir);
    QFile::remove(appDir + u"/座位样式1.xlsx"_s);
    QVERIFY(QFile::copy(templateFile, appDir + u"/座位样式1.xlsx"_s));
    state.currentStyle = u"样式1"_s;
    QStringList plain;
    const QString stored = exportChart(state, appDir, &plain);
    QVERIFY(!stored.isEmpty());
    QVERIFY(QFile::rename(stored, appDir + u"/stored.xlsx"_s));

    Test::ScriptedDialogs dialogs;
    setFileOpener([](const QString &) {});
    SeatingExporter scanner(state, Dialogs::instance(), {[](const QString &) {}, [](const QString &) {}},
                            std::make_unique<AreaScanLauncher>());
    scanner.exportToFile(appDir + u"/scanned.xlsx"_s);
    setFileOpener({});
    QCOMPARE(dialogs.calls.size(), 0);
    const auto storedParts = Test::unzipFile(appDir + u"/stored.xlsx"_s);
    const auto scannedParts = Test::unzipFile(appDir + u"/scanned.xlsx"_s);
    QVERIFY(!storedParts.isEmpty());
    QCOMPARE(storedParts, scannedParts);
}

// Each refusal: the message, a log line with the reason (none where the template counts as
// missing), the template untouched, no output.
void BuiltinExportTest::refusedTemplates_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("logged");

    const QString noTemplate =
        u"warning: 错误 / 未找到座位模板文件，请确保同目录下有'座位样式1.xlsx'或'座位样式2.xlsx'"_s;
    const QString customMissing = u"warning: 错误 / 自定义样式文件不存在，请重新选择"_s;
#ifdef Q_OS_UNIX
    QTest::newRow("fifoAndFolderTemplates_noneFound") << u"fifo"_s << noTemplate << QString();
    QTest::newRow("customDevZero_customMissing") << u"devzero"_s << customMissing << QString();
#endif
    QTest::newRow("customFolder_customMissing") << u"folder"_s << customMissing << QString();
    QTest::newRow("tooManyCells_tooLarge") << u"cells"_s << u"critical: 错误 / 导出失败: 模板文件过大"_s
                                           << u"模板文件无法打开: 工作表数据过大"_s;
}

void BuiltinExportTest::refusedTemplates()
{
    QFETCH(QString, kind);
    QFETCH(QString, box);
    QFETCH(QString, logged);
    const QString appDir = Test::freshApplicationDirectory();
    ClassState state = sampleClass(appDir);
    const QString style1 = appDir + u"/座位样式1.xlsx"_s;
    QFile::remove(style1);
    if (kind == u"fifo") {
#ifdef Q_OS_UNIX
        QVERIFY(mkfifo(QFile::encodeName(style1).constData(), 0600) == 0);
#endif
        QVERIFY(QFile::remove(appDir + u"/座位样式2.xlsx"_s));
        QVERIFY(QDir(appDir).mkdir(u"座位样式2.xlsx"_s));
    } else if (kind == u"devzero" || kind == u"folder") {
        QSettings settings(state.configPath, QSettings::IniFormat);
        settings.setValue(u"Style/CustomPath"_s, kind == u"folder" ? appDir : u"/dev/zero"_s);
        state.currentStyle = u"自定义"_s;
    } else {
        // One cell above the bound, 1000 to a row.
        const int cells = XlsxLimits().cells + 1;
        QString rows;
        for (int row = 1; (row - 1) * 1000 < cells; ++row) {
            rows += u"<row r=\"%1\">"_s.arg(row);
            for (int column = 1; column <= std::min(1000, cells - (row - 1) * 1000); ++column)
                rows += u"<c><v>1</v></c>"_s;
            rows += u"</row>"_s;
        }
        writeTemplate(style1, rows);
    }
    const QByteArray before = kind == u"cells" ? fileBytes(style1) : QByteArray();
    const QString oldTemplatePath = state.templatePath;

    Test::ScriptedDialogs dialogs;
    setFileOpener([](const QString &) { QFAIL("nothing may be opened"); });
    QStringList plain;
    SeatingExporter exporter(state, Dialogs::instance(),
                             {[&](const QString &l) { plain << l; }, [](const QString &) {}}, nullptr);
    exporter.exportToFile(appDir + u"/chart.xlsx"_s);
    setFileOpener({});
    QCOMPARE(dialogs.transcript(), QStringList{box});
    if (logged.isEmpty())
        QCOMPARE(plain, QStringList());
    else
        QVERIFY2(
            std::any_of(plain.cbegin(), plain.cend(), [&](const QString &l) { return l.contains(logged); }),
            qPrintable(plain.join(u'|')));
    QVERIFY(!QFile::exists(appDir + u"/chart.xlsx"_s));
    QCOMPARE(QDir(appDir).entryList({u"chart*"_s}), QStringList());
    if (kind != u"cells")
        QCOMPARE(state.templatePath, oldTemplatePath);
    if (kind == u"cells")
        QCOMPARE(fileBytes(style1), before);
}

// Excel opens no .xlsx whose main part says template or macro-enabled workbook, and repairs a
// table whose column names differ from its header cells.
void BuiltinExportTest::foreignTemplates_plainWorkbook_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("log");
    QTest::newRow("macroEnabledTemplate_plainWorkbookWithoutMacros")
        << u"macros"_s << QStringList{u"使用内置表格引擎"_s, u"模板中的宏已去除"_s};
    QTest::newRow("tableWithMarkersInHeader_columnsFollowCells")
        << u"table"_s << QStringList{u"使用内置表格引擎"_s};
}

void BuiltinExportTest::foreignTemplates_plainWorkbook()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, log);
    const QString appDir = Test::freshApplicationDirectory();
    ClassState state = sampleClass(appDir);
    // Both header markers name a person here.
    state.currentGrouping.setOccupant({1, 2}, state.currentGrouping.occupant({9, 6}));
    state.currentGrouping.setOccupant({9, 6}, 0);
    QFile::remove(appDir + u"/座位样式1.xlsx"_s);
    {
        QFile file(appDir + u"/座位样式1.xlsx"_s);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(Test::zipParts(foreignTemplate(kind)));
    }
    state.currentStyle = u"样式1"_s;
    QStringList plain;
    const QString output = exportChart(state, appDir, &plain);
    QVERIFY(!output.isEmpty());
    QCOMPARE(plain, log);

    QJsonArray names;
    if (kind == u"table") {
        for (int seat : {0, 1})
            names.append(state.roster.nameOf(state.currentGrouping.seatsAt(0).at(seat)));
        // 9-9 names no seat, and a header cell may not be empty.
        names.append(u"列1"_s);
        names.append(u"姓名"_s);
    }
    const QJsonObject expected{
        {u"file"_s, u"chart"_s},
        {u"main"_s,
         QJsonArray{u"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"_s}},
        {u"macros"_s, false},
        {u"missing"_s, QJsonArray()},
        {u"headers"_s, names},
        {u"columns"_s, names}};
    if (!Test::hostProgramsRunHere()) {
        Test::deferToHost({QJsonObject{
            {u"run"_s, QJsonArray{u"python3"_s, u"-c"_s, readPackage, Test::keepForHost(output)}},
            {u"expect"_s, QJsonObject{{u"key"_s, u"file"_s}, {u"items"_s, QJsonArray{expected}}}}}});
        return;
    }
    QProcess reader;
    reader.start(u"/usr/bin/python3"_s, {u"-c"_s, readPackage, output});
    QVERIFY(reader.waitForFinished(60000));
    QVERIFY2(reader.exitCode() == 0, reader.readAllStandardError().constData());
    const QJsonArray seen = QJsonDocument::fromJson(reader.readAllStandardOutput()).array();
    QCOMPARE(seen, QJsonArray{expected});
}

void BuiltinExportTest::unusedGroupBox_takenOffTheChart_data()
{
    QTest::addColumn<QString>("style");
    QTest::addColumn<int>("groups");
    QTest::addColumn<QJsonArray>("cells"); // the look each cell must have, as readboxes.py tells it

    auto gone = [](const QString &cell, const QString &borders = {}) {
        return QJsonObject{
            {u"cell"_s, cell}, {u"value"_s, QString()}, {u"fill"_s, u"none"_s}, {u"borders"_s, borders}};
    };
    auto boxed = [](const QString &cell, bool filled) {
        return QJsonObject{
            {u"cell"_s, cell}, {u"fill"_s, filled ? u"solid"_s : u"none"_s}, {u"borders"_s, u"LRTB"_s}};
    };
    // The label is merged across two columns; the aisle beside the box shows nothing.
    QTest::newRow("style1EightGroups_ninthBoxGone")
        << u"样式1"_s << 8 << QJsonArray{gone(u"G15"_s), gone(u"H15"_s),        gone(u"G16"_s),
                                         gone(u"H18"_s), boxed(u"D15"_s, true), boxed(u"E18"_s, false)};
    QTest::newRow("style1SevenGroups_twoBoxesGone")
        << u"样式1"_s << 7 << QJsonArray{gone(u"D15"_s), gone(u"E15"_s),        gone(u"E18"_s),
                                         gone(u"G15"_s), boxed(u"A15"_s, true), boxed(u"B18"_s, false)};
    // Group 9's column touches group 8's: the line between them stays.
    QTest::newRow("style2EightGroups_ninthColumnGone")
        << u"样式2"_s << 8
        << QJsonArray{gone(u"J5"_s, u"L"_s), gone(u"J6"_s, u"L"_s), gone(u"J11"_s, u"L"_s),
                      boxed(u"I5"_s, true), boxed(u"I11"_s, false)};
}

void BuiltinExportTest::unusedGroupBox_takenOffTheChart()
{
    QFETCH(QString, style);
    QFETCH(int, groups);
    QFETCH(QJsonArray, cells);

    const QString appDir = Test::freshApplicationDirectory();
    ClassState state = sampleClass(appDir);
    state.currentStyle = style;
    Grouping members(groups);
    const int persons = state.roster.maleCount() + state.roster.femaleCount();
    for (int p = 1; p <= persons; ++p)
        members[(p - 1) % groups].append(p);
    state.currentGrouping = SeatingPlan::fromMembers(members);
    QStringList plain;
    const QString output = exportChart(state, appDir, &plain);
    QVERIFY(!output.isEmpty());

    Test::checkWithScript(u"tests/export/readboxes.py"_s, {output}, u"cell"_s, cells);
}

QTEST_GUILESS_MAIN(BuiltinExportTest)
#include "builtinexport_test.moc"
