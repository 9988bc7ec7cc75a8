#include "configstore.h"
#include "fixedpositiontab.h"
#include "generatewait.h"
#include "mainwindow.h"
#include "rosterimportdialog.h"
#include "scripteddialogs.h"
#include "settingsdialog.h"
#include "testenvironment.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <functional>

using namespace Qt::StringLiterals;
using namespace Velmora;

namespace {

const QRegularExpression resetLine(u"^\\d\\d:\\d\\d:\\d\\d - 系统已重置$"_s);

void writeClass(const QString &path)
{
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue(u"Male/Names"_s, QStringList{u"张伟"_s, u"王强"_s, u"刘洋"_s});
    settings.setValue(u"Female/Names"_s, QStringList{u"李娜"_s, u"赵敏"_s});
    settings.setValue(u"Leaders/Names"_s, QStringList{u"张伟"_s});
    settings.setValue(u"Boarders/Names"_s, QStringList{u"赵敏"_s});
    settings.setValue(u"Style/Current"_s, u"样式2"_s);
    settings.setValue(u"GroupConfig_0/total"_s, 5);
    settings.setValue(u"GroupConfig_0/males"_s, 3);
    settings.setValue(u"GroupConfig_0/females"_s, 2);
    // 王强 at group 1 seat 2, 李娜 at group 2 seat 3, 赵敏 at group 3 seat 1.
    settings.setValue(u"FixedPositions/List"_s, QStringList{u"2,1,2"_s, u"4,2,3"_s, u"5,3,1"_s});
    settings.setValue(u"Constraints/MustTogether"_s, QStringList{u"1,4"_s});
    settings.setValue(u"Constraints/MustSeparate"_s, QStringList{u"2,3"_s});
}

QMap<QString, QVariant> fileValues(const QString &path, bool withConstraints)
{
    QSettings settings(path, QSettings::IniFormat);
    QMap<QString, QVariant> values;
    const QStringList keys = settings.allKeys();
    for (const QString &key : keys) {
        if (!withConstraints && key.startsWith(u"Constraints/"_s))
            continue;
        QVariant value = settings.value(key);
        // Sets are written in no particular order.
        if (key == u"Leaders/Names"_s || key == u"Boarders/Names"_s) {
            QStringList list = value.toStringList();
            list.sort();
            value = list;
        }
        values.insert(key, value.toString().isEmpty() ? QVariant(value.toStringList()) : value);
    }
    return values;
}

// Runs showSettingsDialog for real and drives the dialog once it is open.
void runDialog(MainWindow &window, const std::function<void(SettingsDialog *)> &drive)
{
    bool driven = false;
    std::function<void()> poll;
    poll = [&] {
        auto *dialog = qobject_cast<SettingsDialog *>(QApplication::activeModalWidget());
        if (!dialog) {
            QTimer::singleShot(10, &window, poll);
            return;
        }
        driven = true;
        drive(dialog);
    };
    QTimer::singleShot(0, &window, poll);
    window.showSettingsDialog();
    QVERIFY(driven);
    QVERIFY(!QApplication::activeModalWidget());
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// "从表格导入…", the file dialog answered beforehand, and the preview answered with "替换名单".
void importReplacing(SettingsDialog *dialog)
{
    QTimer::singleShot(0, dialog, [] {
        if (auto *preview = qobject_cast<RosterImportDialog *>(QApplication::activeModalWidget()))
            preview->replaceButton->click();
    });
    dialog->importButton->click();
}

} // namespace

class SettingsWindowTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        appDir = Test::freshApplicationDirectory();
        configPath = appDir + u"/config.ini"_s;
        dialogs.clear();
    }

    void save_withoutChangesRewritesAndResets();
    void save_customStyleWithoutPathStoresEmpty();
    void save_rosterEditMovesFixedPositions();
    void save_rosterWriteFailureWarns();
    void cancel_keepsOnlyFixedPositionEdits_data();
    void cancel_keepsOnlyFixedPositionEdits();
    void updateFixedPositionTable_fillsOrIgnoresNull();
    void generate_usesTheSavedRosterAndGroups();
    void foreignEncoding_data();
    void foreignEncoding();
    void import_gbkClassListInThreeClicksThenSaved();
    void import_scoredClassList_balancedGenerateShowsMeans();

private:
    QString appDir;
    QString configPath;
    Test::ScriptedDialogs dialogs;
};

void SettingsWindowTest::save_withoutChangesRewritesAndResets()
{
    writeClass(configPath);
    const QMap<QString, QVariant> before = fileValues(configPath, true);
    MainWindow window;
    window.state.currentGrouping = SeatingPlan::fromMembers({{1, 2}, {3}});
    window.resultsTable->setRowCount(2);
    QCOMPARE(window.constraintTable->rowCount(), 2);

    runDialog(window, [](SettingsDialog *dialog) { dialog->saveButton->click(); });

    QVERIFY(dialogs.calls.isEmpty());
    const QStringList log = window.logView->toPlainText().split(u'\n');
    QCOMPARE(log.size(), 1);
    QVERIFY2(resetLine.match(log.first()).hasMatch(), qPrintable(log.first()));
    // The requirements stay, as the file holds them (save_keepsRequirements has the renumbering).
    QCOMPARE(window.constraintTable->rowCount(), 2);
    QCOMPARE(window.resultsTable->rowCount(), 0);
    QCOMPARE(window.state.mustTogether, (QList<Constraint>{{1, 4}}));
    QCOMPARE(window.state.mustSeparate, (QList<Constraint>{{2, 3}}));
    QVERIFY(window.state.currentGrouping.isEmpty());

    // Same roster, groups, style and fixed positions; the requirements, read as lists, below.
    QMap<QString, QVariant> after = fileValues(configPath, false);
    QMap<QString, QVariant> expected = before;
    expected.remove(u"Constraints/MustTogether"_s);
    expected.remove(u"Constraints/MustSeparate"_s);
    for (const QString &key : after.keys()) {
        if (key.startsWith(u"GroupConfig_"_s) && !expected.contains(key))
            expected.insert(key, after.value(key)); // defaults now written out
    }
    QCOMPARE(after, expected);
    QSettings settings(configPath, QSettings::IniFormat);
    QCOMPARE(settings.value(u"GroupConfig_0/total"_s).toInt(), 5);
    QCOMPARE(settings.value(u"GroupConfig_0/females"_s).toInt(), 2);
    QCOMPARE(settings.value(u"Constraints/MustTogether"_s).toStringList(), QStringList{u"1,4"_s});
    QCOMPARE(settings.value(u"Constraints/MustSeparate"_s).toStringList(), QStringList{u"2,3"_s});
    QCOMPARE(window.state.fixedPositions.size(), 3);
    // And the next generate keeps them: 张伟 with 李娜, 王强 apart from 刘洋.
    window.generateButton->click();
    QTRY_COMPARE_WITH_TIMEOUT(window.state.currentGrouping.groupCount(), 9, 60000);
    const Grouping members = window.state.currentGrouping.members();
    const auto groupOf = [&](int person) {
        return std::find_if(members.cbegin(), members.cend(),
                            [&](const QList<int> &group) { return group.contains(person); });
    };
    QVERIFY(groupOf(1) == groupOf(4) && groupOf(2) != groupOf(3));
}

void SettingsWindowTest::save_customStyleWithoutPathStoresEmpty()
{
    {
        QSettings settings(configPath, QSettings::IniFormat);
        settings.setValue(u"Style/CustomPath"_s, u"/old/custom.xlsx"_s);
    }
    MainWindow window;
    runDialog(window, [](SettingsDialog *dialog) {
        QVERIFY(dialog->customPathEdit->isHidden());
        dialog->styleBox->setCurrentIndex(2);
        QVERIFY(!dialog->customPathEdit->isHidden());
        QVERIFY(dialog->customPathEdit->text().isEmpty());
        dialog->saveButton->click();
    });
    QCOMPARE(window.state.currentStyle, u"自定义"_s);
    QSettings settings(configPath, QSettings::IniFormat);
    QCOMPARE(settings.value(u"Style/Current"_s).toString(), u"自定义"_s);
    QVERIFY(settings.contains(u"Style/CustomPath"_s));
    QCOMPARE(settings.value(u"Style/CustomPath"_s).toString(), QString());
}

void SettingsWindowTest::save_rosterEditMovesFixedPositions()
{
    writeClass(configPath);
    MainWindow window;
    runDialog(window, [](SettingsDialog *dialog) {
        // A boy at the top shifts everyone; 李娜 leaves the class.
        dialog->boysEdit->setPlainText(u"陈新\n张伟\n王强\n刘洋"_s);
        dialog->girlsEdit->setPlainText(u"赵敏"_s);
        dialog->groupRows.at(1).seatsBox->setValue(4);
        dialog->saveButton->click();
    });

    const ClassState &state = window.state;
    QCOMPARE(state.roster.nameToId.value(u"王强"_s), 3);
    QCOMPARE(state.roster.nameToId.value(u"赵敏"_s), 5);
    QCOMPARE(state.fixedPositions, FixedPositionMap({{3, {1, 2}}, {5, {3, 1}}}));
    QCOMPARE(state.groupConfigs.at(1).total, 4);
    QCOMPARE(state.groupConfigs.at(1).females, 2);

    QSettings settings(configPath, QSettings::IniFormat);
    QCOMPARE(settings.value(u"FixedPositions/List"_s).toStringList(), QStringList({u"3,1,2"_s, u"5,3,1"_s}));
    QCOMPARE(settings.value(u"Male/Names"_s).toStringList().first(), u"陈新"_s);
    QCOMPARE(settings.value(u"GroupConfig_1/total"_s).toInt(), 4);

    // The reset clears the mapping line; the removal notes come after it, so that they are seen.
    const QStringList log = window.logView->toPlainText().split(u'\n');
    QCOMPARE(log.size(), 3);
    QVERIFY2(resetLine.match(log.first()).hasMatch(), qPrintable(log.first()));
    QCOMPARE(log.at(1), u"已移除固定位置: 李娜 (不在名单中)"_s);
    // 张伟 with 李娜 went with her; 王强 apart from 刘洋 follows them to their new numbers.
    QCOMPARE(log.at(2), u"已删除 1 条要求：其中有人已不在名单中"_s);
    QCOMPARE(window.constraintTable->rowCount(), 1);
    QCOMPARE(settings.value(u"Constraints/MustSeparate"_s).toStringList(), QStringList{u"3,4"_s});
}

void SettingsWindowTest::save_rosterWriteFailureWarns()
{
    MainWindow window;
    // A directory where the file should be makes every write fail.
    window.state.configPath = appDir + u"/blocked"_s;
    QVERIFY(QDir(appDir).mkpath(u"blocked"_s));
    runDialog(window, [](SettingsDialog *dialog) { dialog->saveButton->click(); });
    const QString warning =
        u"warning: 错误 / 配置文件保存失败: %1"_s.arg(QDir::toNativeSeparators(window.state.configPath));
    QCOMPARE(dialogs.transcript(), QStringList({warning}));
    window.state.configPath = configPath;
}

void SettingsWindowTest::cancel_keepsOnlyFixedPositionEdits_data()
{
    QTest::addColumn<bool>("titleBarClose");
    QTest::newRow("cancelButton_keepsFixed") << false;
    QTest::newRow("titleBarClose_keepsFixed") << true;
}

void SettingsWindowTest::cancel_keepsOnlyFixedPositionEdits()
{
    QFETCH(bool, titleBarClose);
    writeClass(configPath);
    MainWindow window;
    const QString logBefore = window.logView->toPlainText();
    runDialog(window, [titleBarClose](SettingsDialog *dialog) {
        FixedPositionTab *tab = dialog->fixedPositionTab;
        tab->nameEdit->setText(u"刘洋"_s);
        tab->groupBox->setValue(4);
        tab->seatBox->setValue(6);
        tab->addButton->click();
        dialog->boysEdit->setPlainText(u"别人"_s);
        dialog->styleBox->setCurrentIndex(0);
        if (titleBarClose)
            dialog->close();
        else
            dialog->cancelButton->click();
    });
    QCOMPARE(window.state.fixedPositions.value(3), qMakePair(4, 6));
    QCOMPARE(window.state.roster.maleNames.size(), 3);
    QCOMPARE(window.state.currentStyle, u"样式2"_s);
    QCOMPARE(window.state.mustTogether.size(), 1);
    QCOMPARE(window.logView->toPlainText(), logBefore);
    // Nothing is written until the next save.
    QSettings settings(configPath, QSettings::IniFormat);
    QCOMPARE(settings.value(u"FixedPositions/List"_s).toStringList().size(), 3);
}

void SettingsWindowTest::updateFixedPositionTable_fillsOrIgnoresNull()
{
    writeClass(configPath);
    MainWindow window;
    QTableWidget table;
    window.updateFixedPositionTable(&table);
    QCOMPARE(table.rowCount(), 3);
    QCOMPARE(table.item(1, 0)->text(), u"李娜"_s);
    QCOMPARE(table.item(1, 1)->text(), u"2"_s);
    QCOMPARE(table.item(1, 2)->text(), u"3"_s);
    QCOMPARE(table.horizontalHeaderItem(2)->text(), u"座位位置"_s);
    const QString logBefore = window.logView->toPlainText();
    QVERIFY(QMetaObject::invokeMethod(&window, "updateFixedPositionTable"));
    QCOMPARE(window.logView->toPlainText(), logBefore);
}

void SettingsWindowTest::generate_usesTheSavedRosterAndGroups()
{
    writeClass(configPath);
    MainWindow window;
    runDialog(window, [](SettingsDialog *dialog) {
        dialog->boysEdit->setPlainText(u"甲\n乙\n丙\n丁"_s);
        dialog->girlsEdit->setPlainText(u"戊\n己"_s);
        for (int i = 0; i < dialog->groupRows.size(); ++i) {
            const SettingsDialog::GroupRow &row = dialog->groupRows.at(i);
            row.enabledBox->setCurrentIndex(i < 2 ? 0 : 1);
            row.seatsBox->setValue(3);
            row.boysBox->setValue(2);
        }
        dialog->saveButton->click();
    });
    QCOMPARE(window.state.enabledGroupCount, 2);
    QVERIFY(window.state.fixedPositions.isEmpty());

    QVERIFY(Test::generateAndWait(window, true));
    QCOMPARE(window.state.currentGrouping.groupCount(), 2);
    QList<int> seated;
    for (const QList<int> &group : window.state.currentGrouping.members()) {
        QVERIFY(group.size() <= 3);
        seated += group;
    }
    std::sort(seated.begin(), seated.end());
    QCOMPARE(seated, QList<int>({1, 2, 3, 4, 5, 6}));
    QCOMPARE(window.resultsTable->rowCount(), 2);
    QStringList shown;
    for (int row = 0; row < 2; ++row) {
        for (int column = 1; column < window.resultsTable->columnCount(); ++column) {
            if (const QTableWidgetItem *item = window.resultsTable->item(row, column);
                item && !item->text().isEmpty())
                shown.append(item->text());
        }
    }
    // The cells may decorate a name (leader or boarder marks), but each holds one of the new names.
    const QStringList names = window.state.roster.maleNames + window.state.roster.femaleNames;
    for (const QString &cell : std::as_const(shown)) {
        const bool known = std::any_of(names.cbegin(), names.cend(),
                                       [&cell](const QString &name) { return cell.contains(name); });
        QVERIFY2(known, qPrintable(cell));
    }
    QCOMPARE(shown.size(), 6);
}

// A file in a teacher's editor's encoding: no false failure on either save; one that can't be read
// is announced at start, left alone, and the saves say where the settings went.
void SettingsWindowTest::foreignEncoding_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("atStart");
    QTest::addColumn<QStringList>("atSave");

    const QString path = QDir::toNativeSeparators(Test::freshApplicationDirectory() + u"/config.ini"_s);
    const QString beside = path + u".new"_s;
    QTest::newRow("utf8Bom_silent") << QByteArray("\xEF\xBB\xBF[Male]\nNames=\xE5\xBC\xA0\xE4\xBC\x9F\n")
                                    << QStringList{} << QStringList{};
    const QString notice = u"information: 提示 / 配置文件 %1 无法读取，设置已保存到 %2"_s.arg(path, beside);
    QTest::newRow("undecodable_announcedAndKept")
        << QByteArray("[Male]\nNames=\x80\xFF\n")
        << QStringList{u"warning: 错误 / 配置文件 %1 无法识别编码，其中的设置未能读取。该文件不会被改动，本次的设置将保存到 %2"_s
                           .arg(path, beside)}
        << QStringList{notice};
}

void SettingsWindowTest::foreignEncoding()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, atStart);
    QFETCH(QStringList, atSave);
    {
        QFile file(configPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    {
        MainWindow window;
        QCOMPARE(dialogs.transcript(), atStart);
        dialogs.clear();
        runDialog(window, [](SettingsDialog *dialog) { dialog->saveButton->click(); });
        QCOMPARE(dialogs.transcript(), atSave);
        dialogs.clear();
    }
    QCOMPARE(dialogs.transcript(), atSave);
    QFile file(configPath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll() == bytes, !atStart.isEmpty());
    QCOMPARE(QFile::exists(configPath + u".new"_s), !atStart.isEmpty());
}

void SettingsWindowTest::import_gbkClassListInThreeClicksThenSaved()
{
    writeClass(configPath);
    // 48 pupils as Chinese Excel saves them: GBK without a byte-order mark, CRLF.
    const QString surnames = u"张李王刘陈杨"_s;
    const QByteArrayList surnameBytes = {"\xD5\xC5", "\xC0\xEE", "\xCD\xF5",
                                         "\xC1\xF5", "\xB3\xC2", "\xD1\xEE"};
    const QString givens = u"伟娜强敏洋静磊丽"_s; // even places are boys
    const QByteArrayList givenBytes = {"\xCE\xB0", "\xC4\xC8", "\xC7\xBF", "\xC3\xF4",
                                       "\xD1\xF3", "\xBE\xB2", "\xC0\xDA", "\xC0\xF6"};
    QByteArray csv =
        "\xD1\xA7\xBA\xC5,\xD0\xD5\xC3\xFB,\xD0\xD4\xB1\xF0,\xD6\xB0\xCE\xF1,\xD7\xA1\xCB\xDE\r\n";
    QStringList boys, girls, leaders, boarders;
    for (int i = 0; i < 48; ++i) {
        const QString name = surnames.at(i / 8) + givens.at(i % 8);
        const bool male = i % 2 == 0;
        (male ? boys : girls).append(name);
        if (i % 8 == 1)
            leaders.append(name);
        if (i % 3 == 0)
            boarders.append(name);
        csv += QByteArray::number(20250101 + i) + ',' + surnameBytes.at(i / 8) + givenBytes.at(i % 8) + ',' +
               (male ? "\xC4\xD0" : "\xC5\xAE") + ',' + (i % 8 == 1 ? "\xD7\xE9\xB3\xA4" : "") + ',' +
               (i % 3 == 0   ? "\xCD\xE2\xCB\xDE"
                : i % 3 == 1 ? "\xD7\xA1\xD0\xA3"
                             : "\xD7\xDF\xB6\xC1") +
               "\r\n";
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(u"高一3班.csv"_s);
    QVERIFY(writeFile(path, csv));
    dialogs.queueFileName(path);

    MainWindow window;
    runDialog(window, [&](SettingsDialog *dialog) {
        importReplacing(dialog);
        QCOMPARE(dialog->girlsEdit->toPlainText(), girls.join(u'\n'));
        // The teacher is reminded that nothing is kept yet.
        QVERIFY(window.logView->toPlainText().endsWith(u" - 名单已导入，按“保存”后生效"_s));
        dialog->saveButton->click();
    });

    QCOMPARE(dialogs.calls.size(), 1); // the file dialog only
    QSettings settings(configPath, QSettings::IniFormat);
    QCOMPARE(settings.value(u"Male/Names"_s).toStringList(), boys);
    QCOMPARE(settings.value(u"Female/Names"_s).toStringList(), girls);
    QStringList savedLeaders = settings.value(u"Leaders/Names"_s).toStringList();
    QStringList savedBoarders = settings.value(u"Boarders/Names"_s).toStringList();
    savedLeaders.sort();
    savedBoarders.sort();
    leaders.sort();
    boarders.sort();
    QCOMPARE(savedLeaders, leaders);
    QCOMPARE(savedBoarders, boarders);
    // 王强 and 李娜 keep their seats under their new numbers; 赵敏 is not in the new list.
    const Roster &roster = window.state.roster;
    QCOMPARE(window.state.fixedPositions, FixedPositionMap({{roster.nameToId.value(u"王强"_s), {1, 2}},
                                                            {roster.nameToId.value(u"李娜"_s), {2, 3}}}));
}

// The teacher's way: a class list with a 成绩 column, "按成绩均衡分组" ticked, "生成分组".
void SettingsWindowTest::import_scoredClassList_balancedGenerateShowsMeans()
{
    writeClass(configPath);
    QByteArray csv = "姓名,性别,职务,成绩\r\n";
    for (int i = 0; i < 12; ++i) {
        // The last pupil's cell is empty: no score.
        const QByteArray points = i == 11 ? QByteArray() : QByteArray::number(95 - 5 * i) + ".5";
        csv += (u"学生%1"_s.arg(i + 1).toUtf8() + ',' + (i % 2 == 0 ? "男" : "女") + ',' +
                (i % 4 == 0 ? "组长" : "") + ',' + points + "\r\n");
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(u"高一4班.csv"_s);
    QVERIFY(writeFile(path, csv));
    dialogs.queueFileName(path);

    MainWindow window;
    runDialog(window, [&](SettingsDialog *dialog) {
        importReplacing(dialog);
        QVERIFY(!dialog->balanceBox->isChecked());
        dialog->balanceBox->setChecked(true);
        // Three groups of four, so that each can hold every band.
        for (int g = 0; g < dialog->groupRows.size(); ++g) {
            const SettingsDialog::GroupRow &row = dialog->groupRows.at(g);
            row.enabledBox->setCurrentIndex(g < 3 ? 0 : 1);
            row.seatsBox->setValue(4);
            row.boysBox->setValue(2);
            row.girlsBox->setValue(2);
        }
        dialog->saveButton->click();
    });
    QVERIFY(window.state.balanceByScores);
    QCOMPARE(window.state.roster.scores.size(), 11);

    window.generateButton->click();
    QTRY_COMPARE_WITH_TIMEOUT(window.state.currentGrouping.groupCount(), 3, 60000);
    QTRY_COMPARE(window.generateButton->text(), u"生成分组"_s);
    QTableWidget *table = window.resultsTable;
    const int meanColumn = table->columnCount() - 1;
    QCOMPARE(table->horizontalHeaderItem(meanColumn)->text(), u"平均分"_s);
    QVERIFY(!table->isColumnHidden(meanColumn));
    for (int row = 0; row < 3; ++row)
        QVERIFY(table->item(row, meanColumn)->text().contains(QRegularExpression(u"^\\d+\\.\\d\\d$"_s)));
    const QString log = window.logView->toPlainText();
    QVERIFY2(log.contains(QRegularExpression(u"成绩均衡：各组平均分 \\d+\\.\\d\\d–\\d+\\.\\d\\d 分，相差 "
                                             "\\d+\\.\\d\\d 分，每组都有高、中、低分段学生"_s)),
             qPrintable(log));
    QVERIFY(log.contains(u"1 名学生没有成绩，不参与均衡"_s));
    if (const QByteArray shot = qgetenv("VELMORA_SCREENSHOT"); !shot.isEmpty())
        window.grab().save(QString::fromLocal8Bit(shot));
}

QTEST_MAIN(SettingsWindowTest)
#include "settingswindow_test.moc"
