#include "mainwindow.h"
#include "scripteddialogs.h"
#include "testenvironment.h"
#include "widgetdialogs.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMetaMethod>
#include <QSettings>
#include <QTableWidget>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;
using namespace Velmora;

namespace {

QStringList logLines(const MainWindow &window)
{
    return window.logView->toPlainText().split(u'\n');
}

const QRegularExpression stampedLine(u"^\\d\\d:\\d\\d:\\d\\d - (.*)$"_s);

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        appDir = Test::freshApplicationDirectory();
        dialogs.clear();
    }

    void startup_withoutConfig_showsEmptyDefaults();
    void startup_withSampleClass_loadsEverything();
    void startup_hugeSeatCount_clampedWithWarning();
    void slotTable_keepsItsOrder();
    void menuBar_hasItsEntries();
    void logMessage_stampsStatusAndLog();
    void resetAll_leavesOneLineAndKeepsRoster();
    void clearFixedPositions_data();
    void clearFixedPositions();
    void addFixedPosition_onlyPointsToSettings();
    void destructor_savesGroupsFixedAndRequirements();
    void destructor_reportsWriteFailure();
    void quitAction_closesTheWindow();
    void aboutBox_opensAndLeavesLogAlone();
    void widgetChoice_returnsTheButtonIndex_data();
    void widgetChoice_returnsTheButtonIndex();

private:
    QString appDir;
    Test::ScriptedDialogs dialogs;
};

void MainWindowTest::startup_withoutConfig_showsEmptyDefaults()
{
    MainWindow window;
    QCOMPARE(window.windowTitle(), u"Velmora"_s);
    // Low enough for a 1366x768 screen with a taskbar.
    QCOMPARE(window.minimumSize(), QSize(1004, 560));
    QCOMPARE(logLines(window),
             QStringList({u"加载了 0 名男生和 0 名女生"_s, u"加载了 0 名组长和 0 名外宿生"_s,
                          u"当前样式: 样式1"_s, u"系统初始化完成"_s}));
    QCOMPARE(window.statusLabel->text(), u"就绪"_s);
    QVERIFY(window.state.roster.maleNames.isEmpty());
    QCOMPARE(window.state.groupConfigs.size(), 10);
    QCOMPARE(window.state.enabledGroupCount, 9);
    QVERIFY(!window.state.groupConfigs.at(9).enabled);
    QCOMPARE(window.state.groupConfigs.at(9).total, 0);
    QCOMPARE(window.constraintTable->rowCount(), 0);
    QCOMPARE(window.resultsTable->columnCount(), 7);
    QCOMPARE(window.resultsTable->horizontalHeaderItem(6)->text(), u"成员6"_s);
    QCOMPARE(window.constraintTable->horizontalHeaderItem(1)->text(), u"人员列表"_s);
    QVERIFY(dialogs.calls.isEmpty());
}

void MainWindowTest::startup_withSampleClass_loadsEverything()
{
    const QString sample = Test::sourceDirectory() + u"/examples/sample-class/config.ini"_s;
    QVERIFY(QFile::copy(sample, appDir + u"/config.ini"_s));

    MainWindow window;
    QCOMPARE(logLines(window),
             QStringList({u"加载了 24 名男生和 24 名女生"_s, u"加载了 9 名组长和 8 名外宿生"_s,
                          u"当前样式: 样式1"_s, u"系统初始化完成"_s}));
    QCOMPARE(window.state.roster.nameToId.size(), 48);
    QCOMPARE(window.state.fixedPositions.size(), 1);
    QCOMPARE(window.state.fixedPositions.first(), qMakePair(3, 1));
    QCOMPARE(window.state.roster.nameOf(window.state.fixedPositions.firstKey()), u"李娜"_s);

    // Must-together rows come first, then must-separate, names joined by ", ".
    QCOMPARE(window.constraintTable->rowCount(), 2);
    QCOMPARE(window.constraintTable->item(0, 0)->text(), u"必须同组"_s);
    QCOMPARE(window.constraintTable->item(0, 1)->text(), u"刘洋, 陈敏"_s);
    QCOMPARE(window.constraintTable->item(0, 2)->text(), u"待验证"_s);
    QCOMPARE(window.constraintTable->item(1, 0)->text(), u"不能同组"_s);
    QCOMPARE(window.constraintTable->item(1, 1)->text(), u"周鹏, 吴昊, 徐浩"_s);
}

// The warning is a plain line of the log panel, between the loader's lines and the start-up line.
void MainWindowTest::startup_hugeSeatCount_clampedWithWarning()
{
    QFile config(appDir + u"/config.ini"_s);
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write("[GroupConfig_0]\ntotal=9999999999\n");
    config.close();

    MainWindow window;
    QCOMPARE(
        logLines(window),
        QStringList({u"加载了 0 名男生和 0 名女生"_s, u"加载了 0 名组长和 0 名外宿生"_s, u"当前样式: 样式1"_s,
                     u"警告: 组1 座位数 9999999999 超出范围，已按 100 处理"_s, u"系统初始化完成"_s}));
    QCOMPARE(window.state.groupConfigs.at(0).total, 100);
}

void MainWindowTest::slotTable_keepsItsOrder()
{
    const QMetaObject &meta = MainWindow::staticMetaObject;
    const QList<QByteArray> expected = {"addConstraint()",
                                        "removeConstraint()",
                                        "generateGroups()",
                                        "exportSeatingPlan()",
                                        "checkPersonnel()",
                                        "checkConstraints()",
                                        "resetAll()",
                                        "showGroupDetails(int,int)",
                                        "showSettingsDialog()",
                                        "showAboutDialog()",
                                        "newFile()",
                                        "saveFile()",
                                        "saveAs()",
                                        "addFixedPosition()",
                                        "clearFixedPositions()",
                                        "updateFixedPositionTable(QTableWidget*)",
                                        "updateFixedPositionTable()"};
    QList<QByteArray> slots;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        if (meta.method(i).methodType() == QMetaMethod::Slot)
            slots.append(meta.method(i).methodSignature());
    }
    QCOMPARE(slots, expected);
    // The window declares no signals of its own: slot index and method index agree.
    QCOMPARE(meta.methodCount() - meta.methodOffset(), int(expected.size()));
}

void MainWindowTest::menuBar_hasItsEntries()
{
    MainWindow window;
    QStringList bar;
    for (QAction *action : window.menuBar()->actions())
        bar.append(action->text());
    QCOMPARE(bar, QStringList({u"文件"_s, u"设置"_s, u"关于"_s}));
    QStringList file;
    for (QAction *action : window.fileMenu->actions())
        file.append(action->isSeparator() ? u"-"_s : action->text());
    QCOMPARE(file, QStringList({u"新建座位表"_s, u"保存"_s, u"另存为"_s, u"导出 PDF…"_s, u"-"_s, u"退出"_s}));
    QStringList shortcuts;
    for (QAction *action : window.fileMenu->actions())
        shortcuts.append(action->shortcut().toString(QKeySequence::PortableText));
    QCOMPARE(shortcuts,
             QStringList({QString(), u"Ctrl+S"_s, u"Ctrl+Shift+S"_s, QString(), QString(), QString()}));
}

void MainWindowTest::logMessage_stampsStatusAndLog()
{
    MainWindow window;
    const QTime before = QTime::currentTime();
    window.logMessage(u"要求检查完成"_s);
    const QString status = window.statusLabel->text();
    const QRegularExpressionMatch match = stampedLine.match(status);
    QVERIFY2(match.hasMatch(), qPrintable(status));
    QCOMPARE(match.captured(1), u"要求检查完成"_s);
    const QTime stamp = QTime::fromString(status.left(8), u"hh:mm:ss"_s);
    QVERIFY(qAbs(stamp.secsTo(before)) <= 2 || qAbs(stamp.secsTo(before)) >= 86398);
    QCOMPARE(logLines(window).last(), status);

    // Plain lines leave the status bar alone.
    window.appendLog(u"普通一行"_s);
    QCOMPARE(window.statusLabel->text(), status);
    QCOMPARE(logLines(window).last(), u"普通一行"_s);
}

void MainWindowTest::resetAll_leavesOneLineAndKeepsRoster()
{
    const QString sample = Test::sourceDirectory() + u"/examples/sample-class/config.ini"_s;
    QVERIFY(QFile::copy(sample, appDir + u"/config.ini"_s));
    MainWindow window;
    window.state.currentGrouping = SeatingPlan::fromMembers({{1, 2}, {3}});
    window.resultsTable->setRowCount(2);
    const FixedPositionMap fixed = window.state.fixedPositions;

    window.resetAll();

    const QStringList lines = logLines(window);
    QCOMPARE(lines.size(), 1);
    QCOMPARE(stampedLine.match(lines.first()).captured(1), u"系统已重置"_s);
    QCOMPARE(window.constraintTable->rowCount(), 0);
    QCOMPARE(window.resultsTable->rowCount(), 0);
    QVERIFY(window.state.currentGrouping.isEmpty());
    QVERIFY(window.state.mustTogether.isEmpty());
    QVERIFY(window.state.mustSeparate.isEmpty());
    QCOMPARE(window.state.fixedPositions, fixed);
    QCOMPARE(window.state.roster.maleNames.size(), 24);

    // Nothing reaches the file until shutdown.
    QSettings raw(appDir + u"/config.ini"_s, QSettings::IniFormat);
    QCOMPARE(raw.value(u"Constraints/MustTogether"_s).toStringList().size(), 1);
}

void MainWindowTest::clearFixedPositions_data()
{
    QTest::addColumn<bool>("answerYes");
    QTest::newRow("yes_clearsAndLogs") << true;
    QTest::newRow("no_keepsAndLogsNothing") << false;
}

void MainWindowTest::clearFixedPositions()
{
    QFETCH(bool, answerYes);
    MainWindow window;
    window.state.fixedPositions.insert(3, qMakePair(1, 2));
    const QString logBefore = window.logView->toPlainText();
    dialogs.clear();
    dialogs.queueAnswer(answerYes);

    QVERIFY(QMetaObject::invokeMethod(&window, "clearFixedPositions"));

    QCOMPARE(dialogs.transcript(), QStringList({u"question: 确认 / 确定要清空所有固定位置吗?"_s}));
    QCOMPARE(window.state.fixedPositions.isEmpty(), answerYes);
    if (answerYes) {
        QCOMPARE(stampedLine.match(logLines(window).last()).captured(1), u"已清空所有固定位置"_s);
    } else {
        QCOMPARE(window.logView->toPlainText(), logBefore);
    }
}

void MainWindowTest::addFixedPosition_onlyPointsToSettings()
{
    MainWindow window;
    const QString logBefore = window.logView->toPlainText();
    dialogs.clear();
    QVERIFY(QMetaObject::invokeMethod(&window, "addFixedPosition"));
    QCOMPARE(dialogs.transcript(), QStringList({u"information: 提示 / 固定位置功能已整合到设置对话框中"_s}));
    QCOMPARE(window.logView->toPlainText(), logBefore);
    QVERIFY(window.state.fixedPositions.isEmpty());
}

void MainWindowTest::destructor_savesGroupsFixedAndRequirements()
{
    {
        MainWindow window;
        window.state.roster.maleNames = {u"不会保存"_s};
        window.state.groupConfigs[2].total = 4;
        window.state.fixedPositions.insert(2, qMakePair(3, 4));
        window.state.mustTogether = {{1, 2}};
        window.state.mustSeparate = {{2, 3, 4}};
    }
    QSettings raw(appDir + u"/config.ini"_s, QSettings::IniFormat);
    QCOMPARE(raw.value(u"GroupConfig_2/total"_s).toInt(), 4);
    QCOMPARE(raw.value(u"GroupConfig_9/enabled"_s).toBool(), false);
    QCOMPARE(raw.value(u"FixedPositions/List"_s).toStringList(), QStringList({u"2,3,4"_s}));
    QCOMPARE(raw.value(u"Constraints/MustTogether"_s).toStringList(), QStringList({u"1,2"_s}));
    QCOMPARE(raw.value(u"Constraints/MustSeparate"_s).toStringList(), QStringList({u"2,3,4"_s}));
    // The roster is written only by the settings dialog.
    QVERIFY(!raw.contains(u"Male/Names"_s));
    QVERIFY(dialogs.calls.isEmpty());
}

void MainWindowTest::destructor_reportsWriteFailure()
{
    QVERIFY(QDir(appDir).mkdir(u"config.ini"_s));
    dialogs.clear();
    {
        MainWindow window;
    }
    QCOMPARE(dialogs.transcript(), QStringList({u"warning: 错误 / 配置文件保存失败: "_s +
                                                QDir::toNativeSeparators(appDir + u"/config.ini"_s)}));
}

void MainWindowTest::quitAction_closesTheWindow()
{
    auto window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QAction *quit = window->fileMenu->actions().last();
    QCOMPARE(quit->text(), u"退出"_s);
    quit->trigger();
    QVERIFY(!window->isVisible());
    window->state.mustTogether = {{5, 6}};
    window.reset();
    QSettings raw(appDir + u"/config.ini"_s, QSettings::IniFormat);
    QCOMPARE(raw.value(u"Constraints/MustTogether"_s).toStringList(), QStringList({u"5,6"_s}));
}

void MainWindowTest::aboutBox_opensAndLeavesLogAlone()
{
    MainWindow window;
    window.show();
    const QString logBefore = window.logView->toPlainText();
    const QString statusBefore = window.statusLabel->text();

    QString title;
    QString text;
    bool hasIcon = false;
    QTimer::singleShot(0, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        title = box->windowTitle();
        text = box->text();
        hasIcon = !box->iconPixmap().isNull();
        box->accept();
    });
    QVERIFY(QMetaObject::invokeMethod(&window, "showAboutDialog"));
    QTRY_COMPARE(title, u"关于"_s);
    QVERIFY(text.contains(u"<h2>Velmora</h2>"_s));
    QVERIFY(text.contains(u"版本 251007.1800"_s));
    QVERIFY(text.contains(u"前往更新"_s));
    QCOMPARE(text.count(u"<a href="_s), 9);
    QVERIFY(hasIcon);
    QCOMPARE(window.logView->toPlainText(), logBefore);
    QCOMPARE(window.statusLabel->text(), statusBefore);
}

void MainWindowTest::widgetChoice_returnsTheButtonIndex_data()
{
    QTest::addColumn<int>("click"); // -1: Escape
    QTest::addColumn<int>("expected");
    QTest::newRow("firstButton_zero") << 0 << 0;
    QTest::newRow("secondButton_one") << 1 << 1;
    QTest::newRow("escape_theSafeLastOne") << -1 << 1;
}

// The real box, run modally and answered from the event loop it spins.
void MainWindowTest::widgetChoice_returnsTheButtonIndex()
{
    QFETCH(int, click);
    QFETCH(int, expected);
    QWidget parent;
    WidgetDialogs real;
    QStringList shown;
    QTimer::singleShot(0, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        for (QAbstractButton *button : box->buttons())
            shown.append(button->text());
        if (click < 0)
            QTest::keyClick(box, Qt::Key_Escape);
        else
            box->buttons().at(click)->click();
    });
    const int chosen = real.choose(&parent, u"确认"_s, u"继续吗？"_s, {u"继续打开"_s, u"退出"_s});
    QCOMPARE(chosen, expected);
    QCOMPARE(shown, (QStringList{u"继续打开"_s, u"退出"_s}));
}

QTEST_MAIN(MainWindowTest)
#include "mainwindow_test.moc"
