#include "appdirectory.h"
#include "configstore.h"
#include "fixedpositiontab.h"
#include "importfolder.h"
#include "namelists.h"
#include "pupilscores.h"
#include "rosterimportdialog.h"
#include "scorestab.h"
#include "scripteddialogs.h"
#include "settingsdialog.h"
#include "testenvironment.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace Velmora;

using Kind = Test::ScriptedDialogs::Kind;

namespace {

ClassState classState()
{
    ClassState state;
    state.roster.maleNames = {u"张伟"_s, u"王强"_s};
    state.roster.femaleNames = {u"李娜"_s, u"赵敏"_s};
    state.roster.rebuildNameMaps();
    state.groupConfigs = defaultGroupConfigs();
    for (GroupConfig &config : state.groupConfigs) {
        config.males = 2;
        config.females = 4;
    }
    state.currentStyle = u"样式1"_s;
    state.configPath = ConfigStore::configFilePath();
    return state;
}

QStringList tableRows(const QTableWidget *table)
{
    QStringList rows;
    for (int row = 0; row < table->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < table->columnCount(); ++column)
            cells.append(table->item(row, column) ? table->item(row, column)->text() : u"-"_s);
        rows.append(cells.join(u'/'));
    }
    return rows;
}

void selectRows(QTableWidget *table, const QList<int> &rows)
{
    for (int row : rows)
        table->selectRow(row);
}

} // namespace

class SettingsDialogTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        Test::freshApplicationDirectory();
        dialogs.clear();
    }

    void build_hasTabsInOrder();
    void groupRow_seatsAndBoysDriveGirls();
    void groupRow_disableKeepsValues();
    void groupRow_outOfRangeValuesClamped();
    void styleRow_visibleOnlyForCustom();
    void browse_usesMainWindowAndFilter();
    void saveToState_takesEveryTabOver();
    void names_data();
    void names();
    void add_data();
    void add();
    void add_percentInNameKeptInQuestion();
    void remove_selectedRows();
    void remove_duplicateNamesByNumber();
    void remove_nothingSelectedInforms();
    void clear_data();
    void clear();
    void import_data();
    void import();
    void preview_hiddenColumnLeftOutSheetNamed();
    void nameLists_openAtFirstName();
    void scoresTab_data();
    void scoresTab();

private:
    Test::ScriptedDialogs dialogs;
};

void SettingsDialogTest::build_hasTabsInOrder()
{
    ClassState state = classState();
    SettingsDialog dialog(state);
    QCOMPARE(dialog.windowTitle(), u"设置"_s);
    QCOMPARE(dialog.size(), QSize(600, 500));
    QStringList titles;
    for (int i = 0; i < dialog.tabs->count(); ++i)
        titles.append(dialog.tabs->tabText(i));
    QCOMPARE(titles, QStringList({u"人员名单"_s, u"人员设置"_s, u"分组设置"_s, u"样式设置"_s, u"固定位置"_s,
                                  u"成绩"_s}));
    QCOMPARE(dialog.boysEdit->toPlainText(), u"张伟\n王强"_s);
    QCOMPARE(dialog.groupRows.size(), 10);
    QVERIFY(!dialog.groupRows.at(9).seatsBox->isEnabled());
    QCOMPARE(dialog.fixedPositionTab->table->selectionMode(), QAbstractItemView::MultiSelection);
}

// Names loaded from the file come back exactly; a break counts only where the teacher typed one.
void SettingsDialogTest::names_data()
{
    QTest::addColumn<QStringList>("loaded");
    QTest::addColumn<QString>("typed"); // at the end of the boys' box
    QTest::addColumn<QStringList>("saved");

    const QString ps = QChar(QChar::ParagraphSeparator), ls = QChar(QChar::LineSeparator);
    const QString nbsp = QChar(QChar::Nbsp);
    QTest::newRow("noBreakSpace_kept") << QStringList{u"王"_s + nbsp + u"五"_s, u"李四"_s} << QString()
                                       << QStringList{u"王"_s + nbsp + u"五"_s, u"李四"_s};
    QTest::newRow("paragraphSeparator_oneName")
        << QStringList{u"李"_s + ps + u"四"_s} << QString() << QStringList{u"李"_s + ps + u"四"_s};
    QTest::newRow("lineSeparator_oneName")
        << QStringList{u"李"_s + ls + u"四"_s} << QString() << QStringList{u"李"_s + ls + u"四"_s};
    QTest::newRow("cr_oneName") << QStringList{u"李\r四"_s, u"张伟"_s} << QString()
                                << QStringList{u"李\r四"_s, u"张伟"_s};
    QTest::newRow("crLf_oneName") << QStringList{u"李\r\n四"_s} << QString() << QStringList{u"李\r\n四"_s};
    QTest::newRow("lf_oneName") << QStringList{u"李\n四"_s} << QString() << QStringList{u"李\n四"_s};
    QTest::newRow("spaces_keptAsTyped")
        << QStringList{u" 王强 "_s, u"   "_s} << QString() << QStringList{u" 王强 "_s, u"   "_s};
    QTest::newRow("otherNameAdded_separatorStillOneName")
        << QStringList{u"李"_s + ps + u"四"_s, u"张伟"_s} << u"\n陈新"_s
        << QStringList{u"李"_s + ps + u"四"_s, u"张伟"_s, u"陈新"_s};
    QTest::newRow("typedLineBreak_splits")
        << QStringList{u"张伟"_s} << ls + u"王强"_s << QStringList{u"张伟"_s, u"王强"_s};
    QTest::newRow("spanningNameEdited_teacherLinesWin")
        << QStringList{u"李"_s + ps + u"四"_s} << u"五"_s << QStringList{u"李"_s, u"四五"_s};
    QTest::newRow("invisibleCharacters_removedSpacesKept")
        << QStringList{u"张\u200B伟"_s, u"\u202E李 四\u200F"_s, u"\uFEFF"_s, u"王\t强\u001B"_s}
        << u"\n\u200B\n陈\u0000新"_s << QStringList{u"张伟"_s, u"李 四"_s, u"王强"_s, u"陈新"_s};
    QTest::newRow("trailingCr_ownBlockKept")
        << QStringList{u"李\r"_s, u"张伟"_s} << QString() << QStringList{u"李\r"_s, u"张伟"_s};
    QTest::newRow("emptyLines_dropped")
        << QStringList{u"张伟"_s} << u"\n\n王强\n"_s << QStringList{u"张伟"_s, u"王强"_s};
}

void SettingsDialogTest::names()
{
    QFETCH(QStringList, loaded);
    QFETCH(QString, typed);
    QFETCH(QStringList, saved);
    ClassState state = classState();
    state.roster.maleNames = loaded;
    state.roster.leaderNames = {loaded.first()};
    SettingsDialog dialog(state);
    QTextCursor cursor(dialog.boysEdit->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(typed);
    dialog.saveToState();
    QCOMPARE(state.roster.maleNames, saved);
    // The leaders' box cleans its names as the boys' box does.
    QCOMPARE(state.roster.leaderNames, QSet<QString>{withoutInvisibles(loaded.first())});
}

void SettingsDialogTest::groupRow_seatsAndBoysDriveGirls()
{
    ClassState state = classState();
    SettingsDialog dialog(state);
    const SettingsDialog::GroupRow row = dialog.groupRows.at(0);
    QCOMPARE(row.seatsBox->value(), 6);
    QCOMPARE(row.boysBox->value(), 2);
    QCOMPARE(row.boysBox->maximum(), 10);
    QVERIFY(!row.girlsBox->isEnabled());

    row.seatsBox->setValue(4);
    QCOMPARE(row.girlsBox->value(), 2);
    row.boysBox->setValue(4);
    QCOMPARE(row.girlsBox->value(), 0);
    row.boysBox->setValue(5);
    QCOMPARE(row.boysBox->value(), 4);

    // Lowering the seats below the boys lowers the boys too, and the girls never go negative.
    row.seatsBox->setValue(3);
    QCOMPARE(row.boysBox->value(), 3);
    QCOMPARE(row.girlsBox->value(), 0);
}

void SettingsDialogTest::groupRow_disableKeepsValues()
{
    ClassState state = classState();
    SettingsDialog dialog(state);
    const SettingsDialog::GroupRow row = dialog.groupRows.at(2);
    row.enabledBox->setCurrentIndex(1);
    QVERIFY(!row.seatsBox->isEnabled());
    QVERIFY(!row.boysBox->isEnabled());
    QVERIFY(!row.girlsBox->isEnabled());
    QCOMPARE(row.seatsBox->value(), 6);

    dialog.saveToState();
    QVERIFY(!state.groupConfigs.at(2).enabled);
    QCOMPARE(state.groupConfigs.at(2).total, 6);
    QCOMPARE(state.groupConfigs.at(2).males, 2);
    QCOMPARE(state.enabledGroupCount, 8);

    row.enabledBox->setCurrentIndex(0);
    QVERIFY(row.seatsBox->isEnabled());
    QVERIFY(!row.girlsBox->isEnabled());
}

void SettingsDialogTest::groupRow_outOfRangeValuesClamped()
{
    ClassState state = classState();
    state.groupConfigs[4] = {true, 14, -1, -3};
    SettingsDialog dialog(state);
    QCOMPARE(dialog.groupRows.at(4).seatsBox->value(), 10);
    QCOMPARE(dialog.groupRows.at(4).boysBox->value(), 0);
    QCOMPARE(dialog.groupRows.at(4).girlsBox->value(), 0);
    dialog.saveToState();
    QCOMPARE(state.groupConfigs.at(4).total, 10);
    QCOMPARE(state.groupConfigs.at(4).males, 0);
    QCOMPARE(state.groupConfigs.at(4).females, 0);
}

void SettingsDialogTest::styleRow_visibleOnlyForCustom()
{
    {
        QSettings settings(ConfigStore::configFilePath(), QSettings::IniFormat);
        settings.setValue(u"Style/CustomPath"_s, u"/tmp/stored.xlsx"_s);
    }
    ClassState state = classState();
    SettingsDialog dialog(state);
    QVERIFY(dialog.customPathEdit->isHidden());
    QVERIFY(dialog.browseButton->isHidden());
    QVERIFY(dialog.customPathLabel->isHidden());
    QVERIFY(dialog.customPathEdit->text().isEmpty());

    dialog.styleBox->setCurrentIndex(2);
    QVERIFY(!dialog.customPathEdit->isHidden());
    QVERIFY(!dialog.browseButton->isHidden());
    QVERIFY(!dialog.customPathLabel->isHidden());
    dialog.styleBox->setCurrentIndex(1);
    QVERIFY(dialog.customPathEdit->isHidden());

    state.currentStyle = u"自定义"_s;
    SettingsDialog custom(state);
    QCOMPARE(custom.styleBox->currentText(), u"自定义"_s);
    QVERIFY(!custom.customPathEdit->isHidden());
    QCOMPARE(custom.customStylePath(), u"/tmp/stored.xlsx"_s);

    // An unknown style leaves the first item current.
    state.currentStyle = u"样式9"_s;
    SettingsDialog unknown(state);
    QCOMPARE(unknown.styleBox->currentIndex(), 0);
}

void SettingsDialogTest::browse_usesMainWindowAndFilter()
{
    QWidget mainWindow;
    ClassState state = classState();
    state.currentStyle = u"自定义"_s;
    SettingsDialog dialog(state, &mainWindow);
    dialog.customPathEdit->setText(u"typed.xlsx"_s);

    dialog.browseButton->click(); // cancelled: nothing changes
    QCOMPARE(dialog.customPathEdit->text(), u"typed.xlsx"_s);
    dialogs.queueFileName(u"/data/mine.xlsx"_s);
    dialog.browseButton->click();
    QCOMPARE(dialog.customPathEdit->text(), QDir::toNativeSeparators(u"/data/mine.xlsx"_s));
    QCOMPARE(dialog.customStylePath(), u"/data/mine.xlsx"_s);

    QCOMPARE(dialogs.calls.size(), 2);
    const Test::ScriptedDialogs::Call call = dialogs.calls.at(1);
    QCOMPARE(call.kind, Kind::OpenFile);
    QCOMPARE(call.parent, &mainWindow);
    QCOMPARE(call.title, u"选择自定义样式文件"_s);
    QCOMPARE(call.text, applicationDirectory());
    QCOMPARE(call.filter, u"Excel文件 (*.xlsx)"_s);
}

void SettingsDialogTest::saveToState_takesEveryTabOver()
{
    ClassState state = classState();
    SettingsDialog dialog(state);
    QSignalSpy saved(&dialog, &SettingsDialog::saveRequested);
    dialog.boysEdit->setPlainText(u"陈新\n\n  \n张伟"_s);
    dialog.girlsEdit->setPlainText(u"赵敏\n"_s);
    dialog.leadersEdit->setPlainText(u"陈新\n陈新\n不在名单"_s);
    dialog.boardersEdit->setPlainText(QString());
    dialog.groupRows.at(9).enabledBox->setCurrentIndex(0);
    dialog.groupRows.at(9).seatsBox->setValue(5);
    dialog.styleBox->setCurrentIndex(1);
    QVERIFY(!dialog.balanceBox->isChecked());
    dialog.balanceBox->setChecked(true);

    // Nothing is taken over before the save.
    QCOMPARE(state.roster.maleNames, QStringList({u"张伟"_s, u"王强"_s}));
    dialog.saveButton->click();
    QCOMPARE(saved.count(), 1);
    dialog.saveToState();
    QCOMPARE(state.roster.maleNames, QStringList({u"陈新"_s, u"  "_s, u"张伟"_s}));
    QCOMPARE(state.roster.femaleNames, QStringList({u"赵敏"_s}));
    QCOMPARE(state.roster.leaderNames, QSet<QString>({u"陈新"_s, u"不在名单"_s}));
    QVERIFY(state.roster.boarderNames.isEmpty());
    QVERIFY(state.groupConfigs.at(9).enabled);
    QCOMPARE(state.groupConfigs.at(9).total, 5);
    QCOMPARE(state.groupConfigs.at(9).females, 3);
    QCOMPARE(state.enabledGroupCount, 10);
    QCOMPARE(state.currentStyle, u"样式2"_s);
    QVERIFY(state.balanceByScores);
}

void SettingsDialogTest::add_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("group");
    QTest::addColumn<int>("seat");
    QTest::addColumn<QList<bool>>("answers");
    QTest::addColumn<QStringList>("transcript");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<bool>("inputsCleared");

    // 王强 (2) sits fixed at group 2, seat 3 before every row.
    const QStringList before = {u"王强/2/3"_s};
    QTest::newRow("newPerson_added") << u" 李娜 "_s << 1 << 4 << QList<bool>{} << QStringList{}
                                     << QStringList{u"王强/2/3"_s, u"李娜/1/4"_s} << true;
    QTest::newRow("girlAddedFirst_boyStillFirst") << u"张伟"_s << 5 << 1 << QList<bool>{} << QStringList{}
                                                  << QStringList{u"张伟/5/1"_s, u"王强/2/3"_s} << true;
    QTest::newRow("spacesOnly_asksForName")
        << u"   "_s << 1 << 1 << QList<bool>{} << QStringList{u"warning: 错误 / 请输入姓名"_s} << before
        << false;
    QTest::newRow("unknown_notOnRoster")
        << u"路人"_s << 1 << 1 << QList<bool>{} << QStringList{u"warning: 错误 / 姓名 '路人' 不在名单中"_s}
        << before << false;
    QTest::newRow("sameSeatAgain_yesStoresAgain")
        << u"王强"_s << 2 << 3 << QList<bool>{true}
        << QStringList{u"question: 确认 / 王强 已被固定到组2座位3，是否替换为组2座位3?"_s} << before << true;
    QTest::newRow("move_yesReplaces")
        << u"王强"_s << 4 << 5 << QList<bool>{true}
        << QStringList{u"question: 确认 / 王强 已被固定到组2座位3，是否替换为组4座位5?"_s}
        << QStringList{u"王强/4/5"_s} << true;
    QTest::newRow("move_noKeeps")
        << u"王强"_s << 4 << 5 << QList<bool>{false}
        << QStringList{u"question: 确认 / 王强 已被固定到组2座位3，是否替换为组4座位5?"_s} << before << false;
    QTest::newRow("occupiedSeat_warns")
        << u"赵敏"_s << 2 << 3 << QList<bool>{} << QStringList{u"warning: 错误 / 组2座位3已被 王强 占用"_s}
        << before << false;
}

void SettingsDialogTest::add()
{
    QFETCH(QString, name);
    QFETCH(int, group);
    QFETCH(int, seat);
    QFETCH(QList<bool>, answers);
    QFETCH(QStringList, transcript);
    QFETCH(QStringList, rows);
    QFETCH(bool, inputsCleared);

    ClassState state = classState();
    state.fixedPositions.insert(2, {2, 3});
    SettingsDialog dialog(state);
    FixedPositionTab *tab = dialog.fixedPositionTab;
    for (bool answer : answers)
        dialogs.queueAnswer(answer);
    tab->nameEdit->setText(name);
    tab->groupBox->setValue(group);
    tab->seatBox->setValue(seat);
    tab->addButton->click();

    QCOMPARE(dialogs.transcript(), transcript);
    for (const Test::ScriptedDialogs::Call &call : std::as_const(dialogs.calls))
        QCOMPARE(call.parent, &dialog);
    QCOMPARE(tableRows(tab->table), rows);
    QCOMPARE(state.fixedPositions.size(), rows.size());
    QCOMPARE(tab->nameEdit->text().isEmpty(), inputsCleared);
    if (inputsCleared) {
        QCOMPARE(tab->groupBox->value(), 1);
        QCOMPARE(tab->seatBox->value(), 1);
    } else {
        QCOMPARE(tab->groupBox->value(), group);
    }
}

void SettingsDialogTest::add_percentInNameKeptInQuestion()
{
    ClassState state = classState();
    state.roster.femaleNames.append(u"小%2"_s);
    state.roster.rebuildNameMaps();
    state.fixedPositions.insert(5, {2, 3});
    SettingsDialog dialog(state);
    FixedPositionTab *tab = dialog.fixedPositionTab;
    dialogs.queueAnswer(false);
    tab->nameEdit->setText(u"小%2"_s);
    tab->groupBox->setValue(4);
    tab->seatBox->setValue(5);
    tab->addButton->click();
    QCOMPARE(dialogs.transcript(),
             QStringList{u"question: 确认 / 小%2 已被固定到组2座位3，是否替换为组4座位5?"_s});
}

void SettingsDialogTest::remove_selectedRows()
{
    ClassState state = classState();
    state.fixedPositions = {{1, {1, 1}}, {2, {2, 2}}, {3, {3, 3}}, {4, {4, 4}}};
    SettingsDialog dialog(state);
    QTableWidget *table = dialog.fixedPositionTab->table;
    selectRows(table, {0, 2});
    dialog.fixedPositionTab->removeButton->click();
    QVERIFY(dialogs.calls.isEmpty());
    QCOMPARE(state.fixedPositions, FixedPositionMap({{2, {2, 2}}, {4, {4, 4}}}));
    QCOMPARE(tableRows(table), QStringList({u"王强/2/2"_s, u"赵敏/4/4"_s}));
    QVERIFY(table->selectionModel()->selectedRows().isEmpty());
}

void SettingsDialogTest::remove_duplicateNamesByNumber()
{
    // Two students share a name and a third number holds nobody: each row still removes its own.
    ClassState state = classState();
    state.roster.maleNames = {u"张伟"_s, u"张伟"_s};
    state.roster.rebuildNameMaps();
    state.fixedPositions = {{1, {1, 1}}, {2, {2, 2}}, {9, {3, 3}}};
    SettingsDialog dialog(state);
    QTableWidget *table = dialog.fixedPositionTab->table;
    QCOMPARE(tableRows(table), QStringList({u"张伟/1/1"_s, u"张伟/2/2"_s, u"/3/3"_s}));
    selectRows(table, {0, 2});
    dialog.fixedPositionTab->removeButton->click();
    QCOMPARE(state.fixedPositions, FixedPositionMap({{2, {2, 2}}}));
}

void SettingsDialogTest::remove_nothingSelectedInforms()
{
    ClassState state = classState();
    state.fixedPositions = {{1, {1, 1}}};
    SettingsDialog dialog(state);
    dialog.fixedPositionTab->removeButton->click();
    QCOMPARE(dialogs.transcript(), QStringList({u"information: 提示 / 请先选择要删除的固定位置"_s}));
    QCOMPARE(dialogs.calls.at(0).parent, &dialog);
    QCOMPARE(state.fixedPositions.size(), 1);
}

void SettingsDialogTest::clear_data()
{
    QTest::addColumn<bool>("answer");
    QTest::addColumn<int>("left");
    QTest::newRow("yes_emptiesAll") << true << 0;
    QTest::newRow("no_keepsAll") << false << 2;
}

void SettingsDialogTest::clear()
{
    QFETCH(bool, answer);
    QFETCH(int, left);
    ClassState state = classState();
    state.fixedPositions = {{1, {1, 1}}, {3, {2, 2}}};
    SettingsDialog dialog(state);
    dialogs.queueAnswer(answer);
    dialog.fixedPositionTab->clearButton->click();
    QCOMPARE(dialogs.transcript(), QStringList({u"question: 确认 / 确定要清空所有固定位置吗?"_s}));
    QCOMPARE(dialogs.calls.at(0).parent, &dialog);
    QCOMPARE(state.fixedPositions.size(), left);
    QCOMPARE(dialog.fixedPositionTab->table->rowCount(), left);
}

void SettingsDialogTest::import_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("skip");
    QTest::addColumn<QString>("lists");
    QTest::addColumn<QStringList>("transcript");

    const QString unchanged = u"张伟 王强 | 李娜 赵敏 |  | "_s;
    QTest::newRow("replace_listsAndMarksShown")
        << u"学号,姓名,性别,职务,住宿\n1,刘洋,男,组长,外宿\n2,孙丽,女,,住校\n"_s.toUtf8()
        << u"replaceButton"_s << false << u"刘洋 | 孙丽 | 刘洋 | 刘洋"_s << QStringList();
    QTest::newRow("add_nameOnRosterSkippedOnYes")
        << u"姓名,性别\n李娜,女\n孙丽,女\n"_s.toUtf8() << u"addButton"_s << true
        << u"张伟 王强 | 李娜 赵敏 孙丽 |  | "_s
        << QStringList{u"question: 确认 / 以下 1 行无法导入：\n第 2 行：“李娜”已在名单中\n\n"
                       "是否跳过这些行，只导入其余 1 人？选择“否”可以先修改表格。"_s};
    QTest::newRow("replace_badGenderRefusedOnNo_nothingImported")
        << u"姓名,性别\n刘洋,男\n孙丽,?\n"_s.toUtf8() << u"replaceButton"_s << false << unchanged
        << QStringList{u"question: 确认 / 以下 1 行无法导入：\n第 3 行：“孙丽”的性别“?”不是男或女\n\n"
                       "是否跳过这些行，只导入其余 1 人？选择“否”可以先修改表格。"_s};
    QTest::newRow("add_allOnRoster_replaceSuggestedAndTaken")
        << u"姓名,性别,组长\n张伟,男,是\n李娜,女,\n"_s.toUtf8() << u"addButton"_s << true
        << u"张伟 | 李娜 | 张伟 | "_s
        << QStringList{u"choice: 确认 / 表格中的人员都已在名单中，无法再添加。是否改为用表格替换名单？"_s};
    QTest::newRow("add_allOnRosterSuggestionDeclined_nothing")
        << u"姓名,性别\n张伟,男\n"_s.toUtf8() << u"addButton"_s << false << unchanged
        << QStringList{u"choice: 确认 / 表格中的人员都已在名单中，无法再添加。是否改为用表格替换名单？"_s};
    QTest::newRow("replace_noNameColumn_warns")
        << u"学号,性别\n1,男\n"_s.toUtf8() << u"replaceButton"_s << false << unchanged
        << QStringList{u"warning: 错误 / 请选择姓名所在的列"_s};
    QTest::newRow("brokenWorkbook_warnsWithoutPreview")
        << QByteArray("PK\x03\x04"
                      "broken")
        << QString() << false << unchanged
        << QStringList{u"warning: 错误 / 无法读取表格 <file>：文件已损坏或不完整"_s};
    QTest::newRow("replace_scoresShownUnreadableTold")
        << u"姓名,性别,成绩\n刘洋,男,缺考\n孙丽,女,９１.5\n"_s.toUtf8() << u"replaceButton"_s << false
        << u"刘洋 | 孙丽 |  | "_s
        << QStringList{
               u"information: 提示 / 以下 1 人已导入，但成绩没有导入：\n第 2 行：成绩不是数字，已忽略"_s,
               u"scores: 刘洋/男/ 孙丽/女/91.5"_s};
    QTest::newRow("fileDialogCancelled_nothing")
        << QByteArray() << QString() << false << unchanged << QStringList();
}

void SettingsDialogTest::import()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, button);
    QFETCH(bool, skip);
    QFETCH(QString, lists);
    QFETCH(QStringList, transcript);
    const QString unchangedLists = u"张伟 王强 | 李娜 赵敏 |  | "_s;

    QTemporaryDir dir;
    const QString path = dir.filePath(u"名单.xlsx"_s);
    if (!file.isEmpty()) {
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(file);
        out.close();
        dialogs.queueFileName(path);
    }
    if (!transcript.filter(u"question:"_s).isEmpty())
        dialogs.queueAnswer(skip);
    if (!transcript.filter(u"choice:"_s).isEmpty())
        dialogs.queueChoice(skip ? 0 : 1);

    ClassState state = classState();
    const Roster before = state.roster;
    SettingsDialog dialog(state);
    QSignalSpy logged(&dialog, &SettingsDialog::logMessage);
    bool previewShown = false;
    std::function<void()> drive = [&] {
        auto *preview = dialog.findChild<RosterImportDialog *>();
        if (!preview || !preview->isVisible()) {
            QTimer::singleShot(10, &dialog, drive);
            return;
        }
        previewShown = true;
        if (auto *chosen = preview->findChild<QPushButton *>(button))
            chosen->click();
        // A refused import leaves the preview open for another choice.
        if (preview->isVisible())
            preview->cancelButton->click();
    };
    QTimer::singleShot(0, &dialog, drive);
    dialog.importButton->click();

    QCOMPARE(previewShown, !button.isEmpty());
    const auto lines = [](const QTextEdit *edit) { return edit->toPlainText().split(u'\n').join(u' '); };
    QCOMPARE(QStringList({lines(dialog.boysEdit), lines(dialog.girlsEdit), lines(dialog.leadersEdit),
                          lines(dialog.boardersEdit)})
                 .join(u" | "_s),
             lists);
    QStringList shown = dialogs.transcript();
    QCOMPARE(shown.takeFirst(), u"openFile: 从表格导入名单 / "_s + dialogs.calls.first().text);
    QCOMPARE(dialogs.calls.first().filter, u"表格文件 (*.xlsx *.csv)"_s);
    QCOMPARE(dialogs.calls.first().text, QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    // The next import starts where this file was chosen, readable or not.
    QCOMPARE(ImportFolder::last(state.configPath), file.isEmpty() ? dialogs.calls.first().text : dir.path());
    const QList<QVariant> imported = {u"名单已导入，按“保存”后生效"_s};
    QCOMPARE(logged, lists == unchangedLists ? QList<QList<QVariant>>() : QList<QList<QVariant>>{imported});
    // The 成绩 tab follows the import.
    dialog.tabs->setCurrentWidget(dialog.scoresTab);
    if (!dialog.scoresTab->scores().isEmpty())
        shown.append(u"scores: "_s + tableRows(dialog.scoresTab->table).join(u' '));
    QCOMPARE(shown.replaceInStrings(QDir::toNativeSeparators(path), u"<file>"_s), transcript);
    // Nothing reaches the state before "保存".
    QCOMPARE(state.roster.maleNames, before.maleNames);
    QCOMPARE(state.roster.femaleNames, before.femaleNames);
}

// A column the workbook hides, such as phone numbers, stays out of the preview, which names the sheet.
void SettingsDialogTest::preview_hiddenColumnLeftOutSheetNamed()
{
    SheetTable table;
    table.rows = {{u"姓名"_s, u"性别"_s, u"电话"_s}, {u"张伟"_s, u"男"_s, u"13800000000"_s}};
    table.rowNumbers = {1, 2};
    table.sheetName = u"名单"_s;
    table.hiddenColumns = {2};
    RosterImportDialog dialog(table, u"名单.xlsx"_s, {});
    QCOMPARE(dialog.sheetLabel->text(), u"工作表：名单"_s);
    QCOMPARE(tableRows(dialog.preview), QStringList{u"张伟/男/-"_s});
    QVERIFY(dialog.preview->isColumnHidden(2) && !dialog.preview->isColumnHidden(1));
}

void SettingsDialogTest::nameLists_openAtFirstName()
{
    ClassState state = classState();
    for (int i = 0; i < 300; ++i)
        state.roster.femaleNames.append(u"学生%1"_s.arg(i));
    SettingsDialog dialog(state);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(dialog.girlsEdit->verticalScrollBar()->maximum() > 0);
    QCOMPARE(dialog.girlsEdit->verticalScrollBar()->value(), 0);
    QCOMPARE(dialog.girlsEdit->textCursor().position(), 0);
}

// Scores are typed into the table or pasted by name; only "保存" takes them over, for the pupils then
// on the roster.
void SettingsDialogTest::scoresTab_data()
{
    QTest::addColumn<QString>("step");  // paste:<text>, clipboard:<text>, edit:<row>:<text>, boys:<names>
    QTest::addColumn<QString>("saved"); // name=hundredths after the save, in name order
    QTest::addColumn<QStringList>("transcript");
    QTest::addColumn<bool>("logged");

    // Before every row: 张伟 has 60, the others no score.
    QTest::newRow("paste_strangerInOneMessage")
        << u"paste:李娜\t90\n外人\t80\n赵敏\t缺考\n"_s << u"张伟=6000 李娜=9000"_s
        << QStringList{u"information: 提示 / 已填入 1 人的成绩。\n\n以下 1 人不在名单中，成绩没有填入：\n"
                       "外人\n\n第 3 行：成绩不是数字，已忽略"_s}
        << true;
    QTest::newRow("clipboardShortcut_pastes")
        << u"clipboard:姓名\t成绩\n赵敏\t77\n张伟\t\n"_s << u"赵敏=7700"_s << QStringList() << true;
    QTest::newRow("pasteNamesOnly_refusedNothingChanged")
        << u"paste:李娜\n赵敏\n"_s << u"张伟=6000"_s
        << QStringList{u"warning: 错误 / 粘贴的内容中没有姓名和成绩，请从表格中复制“姓名”和“成绩”两列"_s}
        << false;
    QTest::newRow("editFullWidth_kept")
        << u"edit:2:８５.255"_s << u"张伟=6000 李娜=8526"_s << QStringList() << false;
    QTest::newRow("editNotANumber_oldValueBack")
        << u"edit:0:abc"_s << u"张伟=6000"_s
        << QStringList{u"warning: 错误 / “张伟”的成绩“abc”无法使用：成绩应为 0 到 10000 分的数字，最多两位小数"_s}
        << false;
    QTest::newRow("editEmptied_noScore") << u"edit:0:"_s << QString() << QStringList() << false;
    QTest::newRow("renamedInNamesBox_scoreDropped")
        << u"boys:张三\n王强"_s << QString() << QStringList() << false;
}

void SettingsDialogTest::scoresTab()
{
    QFETCH(QString, step);
    QFETCH(QString, saved);
    QFETCH(QStringList, transcript);
    QFETCH(bool, logged);
    ClassState state = classState();
    state.roster.scores = {{u"张伟"_s, 6000}, {u"不在名单"_s, 100}};
    SettingsDialog dialog(state);
    QSignalSpy log(&dialog, &SettingsDialog::logMessage);
    dialog.tabs->setCurrentWidget(dialog.scoresTab);
    ScoresTab *tab = dialog.scoresTab;
    QCOMPARE(tableRows(tab->table).join(u' '), u"张伟/男/60 王强/男/ 李娜/女/ 赵敏/女/"_s);

    const QString kind = step.section(u':', 0, 0), argument = step.section(u':', 1);
    if (kind == u"paste"_s) {
        tab->pasteText(argument);
    } else if (kind == u"clipboard"_s) {
        QGuiApplication::clipboard()->setText(argument);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        tab->table->setFocus();
        QTest::keySequence(tab->table, QKeySequence::Paste);
    } else if (kind == u"edit"_s) {
        tab->table->item(argument.section(u':', 0, 0).toInt(), 2)->setText(argument.section(u':', 1));
    } else {
        dialog.boysEdit->setPlainText(argument);
    }
    QCOMPARE(dialogs.transcript(), transcript);
    QCOMPARE(log.count(), logged ? 1 : 0);
    // The table shows what is kept, a refused entry as it was before.
    const QMap<QString, int> shownScores = tab->scores();
    for (int row = 0; row < tab->table->rowCount(); ++row) {
        const QString name = tab->table->item(row, 0)->text();
        QCOMPARE(tab->table->item(row, 2)->text(),
                 shownScores.contains(name) ? PupilScores::format(shownScores.value(name)) : QString());
    }

    QVERIFY(state.roster.scores.contains(u"不在名单"_s));
    dialog.saveToState();
    QStringList kept;
    for (auto it = state.roster.scores.cbegin(); it != state.roster.scores.cend(); ++it)
        kept.append(it.key() + u'=' + QString::number(it.value()));
    QCOMPARE(kept.join(u' '), saved);
}

QTEST_MAIN(SettingsDialogTest)
#include "settingsdialog_test.moc"
