#include "desktop.h"
#include "fakespreadsheet.h"
#include "scripteddialogs.h"
#include "seatingexporter.h"
#include "testenvironment.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace Velmora;

namespace {

// Nine groups of six: group g holds persons 6(g-1)+1 .. 6g, named P1..P54.
ClassState nineGroupsOfSix()
{
    ClassState state;
    for (int i = 1; i <= 27; ++i)
        state.roster.maleNames << u"P%1"_s.arg(i);
    for (int i = 28; i <= 54; ++i)
        state.roster.femaleNames << u"P%1"_s.arg(i);
    state.roster.rebuildNameMaps();
    Grouping members;
    for (int g = 0; g < 9; ++g) {
        QList<int> group;
        for (int s = 1; s <= 6; ++s)
            group << g * 6 + s;
        members << group;
    }
    state.currentGrouping = SeatingPlan::fromMembers(members);
    state.currentStyle = u"样式1"_s;
    return state;
}

// "B12" for row 12, column 2, and back; the sheets here stay within column Z.
QString cellName(int row, int column)
{
    return QChar(u'A' + column - 1) + QString::number(row);
}

QPair<int, int> cellAt(const QString &name)
{
    return {name.mid(1).toInt(), name.at(0).unicode() - u'A' + 1};
}

void touch(const QString &path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("template");
}

} // namespace

class SeatingExporterTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        appDir = Test::freshApplicationDirectory();
        opened.clear();
        setFileOpener([this](const QString &path) { opened << path; });
    }
    void cleanup() { setFileOpener({}); }

    void failures_data();
    void failures();
    void templateChoice_data();
    void templateChoice();
    void suffix_data();
    void suffix();
    void protocol_data();
    void protocol();
    void usedAreaAwayFromA1_scannedFromA1();
    void formatting_data();
    void formatting();
    void success_opensAndLogs();
    void unusedGroupBox_takenOff_data();
    void unusedGroupBox_takenOff();

private:
    struct Run
    {
        Test::FakeSheet sheet;
        QStringList plain;
        QStringList stamped;
        QStringList boxes;
    };
    void runExport(Run &run, ClassState &state, const QString &output, const QString &initError = {})
    {
        Test::ScriptedDialogs dialogs;
        auto launcher = std::make_unique<Test::FakeLauncher>(run.sheet);
        launcher->initError = initError;
        SeatingExporter exporter(
            state, Dialogs::instance(),
            {[&run](const QString &l) { run.plain << l; }, [&run](const QString &l) { run.stamped << l; }},
            std::move(launcher));
        exporter.exportToFile(output);
        run.boxes = dialogs.transcript();
    }

    QString appDir;
    QStringList opened;
};

void SeatingExporterTest::failures_data()
{
    QTest::addColumn<QString>("style");
    QTest::addColumn<QString>("customPath");
    QTest::addColumn<bool>("templatesPresent");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("initError");
    QTest::addColumn<QString>("failAt");
    QTest::addColumn<QString>("failText");
    QTest::addColumn<bool>("saveWrites");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QStringList>("journal");

    const QStringList failedSession{u"init"_s, u"open"_s, u"close"_s, u"release"_s};
    QTest::newRow("emptyPath_warnsBeforeCom")
        << u"样式1"_s << QString() << true << QString() << QString() << QString() << QString() << true
        << u"warning: 错误 / 文件名不能为空"_s << QStringList();
    QTest::newRow("comInitFails_warnsWithPlatformText")
        << u"样式1"_s << QString() << true << u"out"_s << u"没有足够的内存。"_s << QString() << QString()
        << true << u"warning: 错误 / COM初始化失败: 没有足够的内存。"_s << QStringList{u"init"_s};
    QTest::newRow("customNotSet_warnsAndReleases")
        << u"自定义"_s << QString() << true << u"out"_s << QString() << QString() << QString() << true
        << u"warning: 错误 / 自定义样式文件不存在，请重新选择"_s << QStringList{u"init"_s, u"release"_s};
    QTest::newRow("customMissing_warnsAndReleases")
        << u"自定义"_s << u"/nonexistent/自定义.xlsx"_s << true << u"out"_s << QString() << QString()
        << QString() << true << u"warning: 错误 / 自定义样式文件不存在，请重新选择"_s
        << QStringList{u"init"_s, u"release"_s};
    QTest::newRow("noTemplate_warnsAndReleases")
        << u"样式1"_s << QString() << false << u"out"_s << QString() << QString() << QString() << true
        << u"warning: 错误 / 未找到座位模板文件，请确保同目录下有'座位样式1.xlsx'或'座位样式2.xlsx'"_s
        << QStringList{u"init"_s, u"release"_s};
    QTest::newRow("openFails_criticalWithText")
        << u"样式1"_s << QString() << true << u"out"_s << QString() << u"open"_s << u"无法打开模板文件"_s
        << true << u"critical: 错误 / 导出失败: 无法打开模板文件"_s << failedSession;
    QTest::newRow("sheetMissing_criticalWithText")
        << u"样式1"_s << QString() << true << u"out"_s << QString() << u"open"_s << u"无法获取工作表"_s
        << true << u"critical: 错误 / 导出失败: 无法获取工作表"_s << failedSession;
    QTest::newRow("savedNothing_sizeCheckFails")
        << u"样式1"_s << QString() << true << u"out"_s << QString() << QString() << QString() << false
        << u"critical: 错误 / 导出失败: 文件保存失败，请检查路径和权限"_s
        << QStringList{u"init"_s, u"open"_s, u"save"_s, u"close"_s, u"release"_s};
    QTest::newRow("standardError_showsItsText")
        << u"样式1"_s << QString() << true << u"out"_s << QString() << u"save"_s << u"std"_s << true
        << u"critical: 错误 / 导出失败: disk on fire"_s
        << QStringList{u"init"_s, u"open"_s, u"save"_s, u"close"_s, u"release"_s};
    QTest::newRow("errorWithoutText_unknown")
        << u"样式1"_s << QString() << true << u"out"_s << QString() << u"save"_s << QString() << true
        << u"critical: 错误 / 导出失败: 未知错误"_s
        << QStringList{u"init"_s, u"open"_s, u"save"_s, u"close"_s, u"release"_s};
    QTest::newRow("outputIsTemplate_refusedBeforeOpening")
        << u"样式1"_s << QString() << true << u"@template"_s << QString() << QString() << QString() << true
        << u"critical: 错误 / 导出失败: 不能覆盖模板文件"_s << QStringList{u"init"_s, u"release"_s};
}

void SeatingExporterTest::failures()
{
    QFETCH(QString, style);
    QFETCH(QString, customPath);
    QFETCH(bool, templatesPresent);
    QFETCH(QString, output);
    QFETCH(QString, initError);
    QFETCH(QString, failAt);
    QFETCH(QString, failText);
    QFETCH(bool, saveWrites);
    QFETCH(QString, box);
    QFETCH(QStringList, journal);

    const QString style1 = appDir + u"/座位样式1.xlsx"_s;
    if (templatesPresent)
        touch(style1);
    ClassState state = nineGroupsOfSix();
    state.currentStyle = style;
    state.configPath = appDir + u"/config.ini"_s;
    if (!customPath.isEmpty()) {
        QSettings settings(state.configPath, QSettings::IniFormat);
        settings.setValue(u"Style/CustomPath"_s, customPath);
    }
    if (output == u"@template"_s)
        output = appDir + u"/./座位样式1.xlsx"_s;
    else if (!output.isEmpty())
        output = appDir + u"/"_s + output;

    Run run;
    run.sheet.failAt = failAt;
    run.sheet.failText = failText;
    run.sheet.saveWrites = saveWrites;
    runExport(run, state, output, initError);

    QCOMPARE(run.boxes, QStringList{box});
    QStringList steps;
    for (const QString &line : std::as_const(run.sheet.journal))
        steps << line.section(u' ', 0, 0);
    QCOMPARE(steps, journal);
    QVERIFY(run.stamped.isEmpty());
    QVERIFY(opened.isEmpty());
    QFile templateFile(style1);
    if (templatesPresent) {
        QVERIFY(templateFile.open(QIODevice::ReadOnly));
        QCOMPARE(templateFile.readAll(), QByteArray("template"));
    }
}

void SeatingExporterTest::templateChoice_data()
{
    QTest::addColumn<QString>("style");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QString>("expected");

    const QStringList both{u"座位样式1.xlsx"_s, u"座位样式2.xlsx"_s};
    QTest::newRow("style1_usesStyle1") << u"样式1"_s << both << u"座位样式1.xlsx"_s;
    QTest::newRow("style2_usesStyle2") << u"样式2"_s << both << u"座位样式2.xlsx"_s;
    QTest::newRow("unknownStyle_usesStyle1") << u"样式3"_s << both << u"座位样式1.xlsx"_s;
    QTest::newRow("styleCaseDiffers_usesStyle1") << u" 样式2"_s << both << u"座位样式1.xlsx"_s;
    QTest::newRow("style1MissingOnlyStyle2_usesStyle2")
        << u"样式1"_s << QStringList{u"座位样式2.xlsx"_s} << u"座位样式2.xlsx"_s;
    QTest::newRow("style2MissingOnlyStyle1_usesStyle1")
        << u"样式2"_s << QStringList{u"座位样式1.xlsx"_s} << u"座位样式1.xlsx"_s;
    QTest::newRow("style1IsFolder_usesStyle2")
        << u"样式1"_s << QStringList{u"座位样式1.xlsx/"_s, u"座位样式2.xlsx"_s} << u"座位样式2.xlsx"_s;
    QTest::newRow("custom_usesCustomEvenWithStandardOnes") << u"自定义"_s << both << u"mine/自定义.xlsx"_s;
}

void SeatingExporterTest::templateChoice()
{
    QFETCH(QString, style);
    QFETCH(QStringList, present);
    QFETCH(QString, expected);

    // A name ending in "/" is made a folder of that name.
    for (const QString &name : std::as_const(present)) {
        if (name.endsWith(u'/'))
            QVERIFY(QDir(appDir).mkdir(name.chopped(1)));
        else
            touch(appDir + u"/"_s + name);
    }
    QDir(appDir).mkpath(u"mine"_s);
    touch(appDir + u"/mine/自定义.xlsx"_s);
    ClassState state = nineGroupsOfSix();
    state.currentStyle = style;
    state.configPath = appDir + u"/config.ini"_s;
    {
        QSettings settings(state.configPath, QSettings::IniFormat);
        settings.setValue(u"Style/CustomPath"_s, QString(appDir + u"/mine/自定义.xlsx"_s));
    }

    Run run;
    runExport(run, state, appDir + u"/out.xlsx"_s);
    QCOMPARE(run.boxes, QStringList());
    QCOMPARE(state.templatePath, appDir + u"/"_s + expected);
    QCOMPARE(run.sheet.journal.value(1), u"open "_s + QDir::toNativeSeparators(appDir + u"/"_s + expected));
}

void SeatingExporterTest::suffix_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("saved");

    QTest::newRow("noSuffix_appended") << u"chart"_s << u"chart.xlsx"_s;
    QTest::newRow("lowerSuffix_kept") << u"chart.xlsx"_s << u"chart.xlsx"_s;
    QTest::newRow("upperSuffix_kept") << u"chart.XLSX"_s << u"chart.XLSX"_s;
    QTest::newRow("otherSuffix_appended") << u"chart.xls"_s << u"chart.xls.xlsx"_s;
    QTest::newRow("suffixInMiddle_appended") << u"chart.xlsx.bak"_s << u"chart.xlsx.bak.xlsx"_s;
}

void SeatingExporterTest::suffix()
{
    QFETCH(QString, output);
    QFETCH(QString, saved);

    touch(appDir + u"/座位样式1.xlsx"_s);
    ClassState state = nineGroupsOfSix();
    Run run;
    runExport(run, state, appDir + u"/"_s + output);
    const QString native = QDir::toNativeSeparators(appDir + u"/"_s + saved);
    QCOMPARE(run.sheet.savedTo, native);
    QCOMPARE(run.stamped, QStringList{u"座位表已导出到: "_s + native});
}

void SeatingExporterTest::protocol_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    const QString today = QDate::currentDate().toString(u"yyyy.MM.dd"_s);
    QTest::newRow("labelAndDate_becomesDateOnly") << u"日期：XXXX.XX.XX"_s << today;
    QTest::newRow("bareDate_becomesDate") << u"XXXX.XX.XX"_s << today;
    QTest::newRow("dateLookingLikeSeat_dateWins") << u"XXXX.XX.XX1-1"_s << today;
    QTest::newRow("lowerCaseDate_unchanged") << u"xxxx.xx.xx"_s << u"xxxx.xx.xx"_s;
    QTest::newRow("firstSeat_named") << u"1-1"_s << u"P1"_s;
    QTest::newRow("lastSeat_named") << u"9-6"_s << u"P54"_s;
    QTest::newRow("leadingZeros_named") << u"03-02"_s << u"P14"_s;
    // Seat 2-3 is empty: its cell is cleared, and 2-4 names the person on seat 4, not the third seated.
    QTest::newRow("emptySeat_cleared") << u"2-3"_s << QString();
    QTest::newRow("seatBehindEmptySeat_itsOwnOccupant") << u"2-4"_s << u"P10"_s;
    QTest::newRow("tenthGroupOfNine_cleared") << u"10-1"_s << QString();
    QTest::newRow("seatPastGroup_cleared") << u"3-7"_s << QString();
    QTest::newRow("groupZero_cleared") << u"0-1"_s << QString();
    QTest::newRow("seatZero_cleared") << u"1-0"_s << QString();
    QTest::newRow("hugeNumber_cleared") << u"99999999999-1"_s << QString();
    QTest::newRow("trailingBlank_unchanged") << u"1-2 "_s << u"1-2 "_s;
    // Alt+Enter leaves a line break behind the marker; the teacher still sees "1-2".
    QTest::newRow("trailingLineBreak_named") << u"1-2\n"_s << u"P2"_s;
    QTest::newRow("cellReference_unchanged") << u"A1-2"_s << u"A1-2"_s;
    QTest::newRow("threeParts_unchanged") << u"1-2-3"_s << u"1-2-3"_s;
    QTest::newRow("fullWidthDigits_unchanged") << u"１-２"_s << u"１-２"_s;
    QTest::newRow("title_unchanged") << u"讲台"_s << u"讲台"_s;
}

void SeatingExporterTest::protocol()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);

    touch(appDir + u"/座位样式1.xlsx"_s);
    ClassState state = nineGroupsOfSix();
    state.currentGrouping.setOccupant({2, 3}, 0);
    Run run;
    run.sheet.area = {1, 1, 2, 2};
    run.sheet.cells[{2, 2}] = text;
    runExport(run, state, appDir + u"/out.xlsx"_s);
    QCOMPARE(run.boxes, QStringList());
    QCOMPARE(run.sheet.cells.value({2, 2}), expected);
    QCOMPARE(run.sheet.cells.size(), 1);
    // Only filled seats are formatted; a cleared place keeps the template's look.
    QCOMPARE(run.sheet.formats.contains({2, 2}), expected.startsWith(u'P'));
}

void SeatingExporterTest::usedAreaAwayFromA1_scannedFromA1()
{
    touch(appDir + u"/座位样式1.xlsx"_s);
    ClassState state = nineGroupsOfSix();
    Run run;
    // A used area of 3 x 3 starting at C4 ends at E6.
    run.sheet.area = {4, 3, 6, 5};
    run.sheet.cells[{1, 1}] = u"1-1"_s;
    run.sheet.cells[{6, 5}] = u"1-2"_s;
    run.sheet.cells[{7, 5}] = u"1-3"_s;
    run.sheet.cells[{6, 6}] = u"1-4"_s;
    runExport(run, state, appDir + u"/out.xlsx"_s);
    QCOMPARE(run.sheet.cells.value({1, 1}), u"P1"_s);
    QCOMPARE(run.sheet.cells.value({6, 5}), u"P2"_s);
    QCOMPARE(run.sheet.cells.value({7, 5}), u"1-3"_s);
    QCOMPARE(run.sheet.cells.value({6, 6}), u"1-4"_s);
}

void SeatingExporterTest::formatting_data()
{
    QTest::addColumn<bool>("leader");
    QTest::addColumn<bool>("boarder");

    QTest::newRow("neither_sizeOnly") << false << false;
    QTest::newRow("leader_bold") << true << false;
    QTest::newRow("boarder_filled") << false << true;
    QTest::newRow("leaderAndBoarder_boldAndFilled") << true << true;
}

void SeatingExporterTest::formatting()
{
    QFETCH(bool, leader);
    QFETCH(bool, boarder);

    touch(appDir + u"/座位样式1.xlsx"_s);
    ClassState state = nineGroupsOfSix();
    if (leader)
        state.roster.leaderNames << u"P8"_s;
    if (boarder)
        state.roster.boarderNames << u"P8"_s;
    // Status belongs to the name: another person of the same group stays plain.
    Run run;
    run.sheet.area = {1, 1, 1, 2};
    run.sheet.cells[{1, 1}] = u"2-2"_s;
    run.sheet.cells[{1, 2}] = u"2-3"_s;
    runExport(run, state, appDir + u"/out.xlsx"_s);

    QCOMPARE(run.sheet.cells.value({1, 1}), u"P8"_s);
    const SeatFormat format = run.sheet.formats.value({1, 1});
    QCOMPARE(format.fontSize, 16);
    QCOMPARE(format.bold, leader);
    QCOMPARE(format.fill, boarder);
    QCOMPARE(format.fillColor, 4294967040u);
    const SeatFormat plain = run.sheet.formats.value({1, 2});
    QVERIFY(!plain.bold);
    QVERIFY(!plain.fill);
}

void SeatingExporterTest::success_opensAndLogs()
{
    touch(appDir + u"/座位样式1.xlsx"_s);
    ClassState state = nineGroupsOfSix();
    Run run;
    runExport(run, state, appDir + u"/out"_s);
    const QString saved = appDir + u"/out.xlsx"_s;
    QCOMPARE(run.plain, QStringList{u"fake server"_s});
    QCOMPARE(run.stamped, QStringList{u"座位表已导出到: "_s + QDir::toNativeSeparators(saved)});
    QCOMPARE(opened, QStringList{saved});
    QStringList steps;
    for (const QString &line : std::as_const(run.sheet.journal))
        steps << line.section(u' ', 0, 0);
    QCOMPARE(steps, (QStringList{u"init"_s, u"open"_s, u"save"_s, u"restore"_s, u"close"_s, u"release"_s}));
}

void SeatingExporterTest::unusedGroupBox_takenOff_data()
{
    QTest::addColumn<QStringList>("sheet"); // "B2=text"
    QTest::addColumn<QString>("merged");    // a merged range, "C1:D1"
    QTest::addColumn<int>("groups");
    // Cells losing fill and text, with the edges losing their border; other labels and words stay.
    QTest::addColumn<QString>("cleared");

    // Group 1 in column A, group 2 in column B: label on row 1, a seat on row 2.
    const std::pair<const char *, QString> labels[] = {{"secondGroupMissing_borderWithFirstKept", u"第2组"_s},
                                                       {"spacedLabel_emptied", u"第 2 组"_s},
                                                       {"bareLabel_emptied", u"2组"_s},
                                                       {"chineseNumeralLabel_emptied", u"第二组"_s},
                                                       {"fullWidthLabel_emptied", u"第２组"_s}};
    for (const auto &[tag, label] : labels)
        QTest::newRow(tag) << QStringList{u"A1=第1组"_s, u"B1="_s + label, u"A2=1-1"_s, u"B2=2-1"_s}
                           << QString() << 1 << u"B1:RTB B2:RTB"_s;
    QTest::newRow("bothGroupsExist_nothingTakenOff")
        << QStringList{u"A1=第1组"_s, u"B1=第2组"_s, u"A2=1-1"_s, u"B2=2-1"_s} << QString() << 2 << QString();
    // Only a label whose group has seats in the template belongs to a box.
    QTest::newRow("labelOfGroupWithoutSeats_kept")
        << QStringList{u"A1=第1组"_s, u"B1=第5组"_s, u"A2=1-1"_s, u"C1=第3组"_s, u"C2=3-1"_s} << QString()
        << 1 << u"C1:RTB C2:LRTB"_s;
    QTest::newRow("mergedLabel_wholeRangeCleared")
        << QStringList{u"A1=第1组"_s, u"A2=1-1"_s, u"C1=第2组"_s, u"C2=2-1"_s, u"D2=2-2"_s} << u"C1:D1"_s << 1
        << u"C1:LRTB D1:LRTB C2:LRTB D2:LRTB"_s;
    QTest::newRow("textBeside_borderKept")
        << QStringList{u"A1=讲台"_s, u"B1=第2组"_s, u"A2=1-1"_s, u"B2=2-1"_s, u"A3=XXXX.XX.XX"_s, u"B3=2-2"_s}
        << QString() << 1 << u"B1:RTB B2:RTB B3:RTB"_s;
    QTest::newRow("groupZero_cleared") << QStringList{u"A1=0-1"_s} << QString() << 9 << u"A1:LRTB"_s;
}

void SeatingExporterTest::unusedGroupBox_takenOff()
{
    QFETCH(QStringList, sheet);
    QFETCH(QString, merged);
    QFETCH(int, groups);
    QFETCH(QString, cleared);

    touch(appDir + u"/座位样式1.xlsx"_s);
    ClassState state = nineGroupsOfSix();
    state.currentGrouping = SeatingPlan::fromMembers(state.currentGrouping.members().mid(0, groups));
    Run run;
    run.sheet.area = {1, 1, 4, 5};
    for (const QString &entry : std::as_const(sheet))
        run.sheet.cells[cellAt(entry.section(u'=', 0, 0))] = entry.section(u'=', 1);
    if (!merged.isEmpty()) {
        const auto [firstRow, firstColumn] = cellAt(merged.section(u':', 0, 0));
        const auto [lastRow, lastColumn] = cellAt(merged.section(u':', 1, 1));
        run.sheet.merges.append({firstRow, firstColumn, lastRow, lastColumn});
    }
    runExport(run, state, appDir + u"/out.xlsx"_s);
    QCOMPARE(run.boxes, QStringList());

    QStringList seen;
    for (auto it = run.sheet.clearedBoxes.constBegin(); it != run.sheet.clearedBoxes.constEnd(); ++it) {
        QString edges;
        for (const auto &[flag, letter] : {std::pair{SpreadsheetCell::LeftEdge, u'L'},
                                           {SpreadsheetCell::RightEdge, u'R'},
                                           {SpreadsheetCell::TopEdge, u'T'},
                                           {SpreadsheetCell::BottomEdge, u'B'}}) {
            if (*it & flag)
                edges += letter;
        }
        seen << cellName(it.key().first, it.key().second) + u':' + edges;
    }
    QCOMPARE(seen.join(u' '), cleared);
    for (const QString &entry : std::as_const(sheet)) {
        const QString name = entry.section(u'=', 0, 0);
        const QString was = entry.section(u'=', 1);
        const QString now = run.sheet.cells.value(cellAt(name));
        if (cleared.contains(name + u':'))
            QVERIFY2(now.isEmpty(), qPrintable(name));
        else if (!was.contains(u'-') && !was.contains(u'X'))
            QCOMPARE(now, was); // labels and words stay; kept seats got names
    }
}

QTEST_GUILESS_MAIN(SeatingExporterTest)
#include "seatingexporter_test.moc"
