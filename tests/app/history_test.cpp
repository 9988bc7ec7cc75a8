#include "desktop.h"
#include "generatewait.h"
#include "historystore.h"
#include "historytab.h"
#include "mainwindow.h"
#include "scripteddialogs.h"
#include "settingsdialog.h"
#include "testenvironment.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace Velmora;

class HistoryTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup() { setFileOpener({}); }
    void saveAndGenerate_roundsRecordedAndAvoided();
    void historyTab_actsAtOnceAndSurvivesRestart();
    void settingsDialog_endsWithHistoryTab();
    void historyTab_data();
    void historyTab();

private:
    int storedRounds() const
    {
        HistoryStore store;
        store.load();
        return int(store.history().rounds.size());
    }
    QString appDir;
};

void HistoryTest::init()
{
    appDir = Test::freshApplicationDirectory();
    for (const QString &name : {u"座位样式1.xlsx"_s, u"座位样式2.xlsx"_s})
        QVERIFY(QFile::copy(Test::sourceDirectory() + u"/templates/"_s + name, appDir + u"/"_s + name));
    QVERIFY(QFile::copy(Test::sourceDirectory() + u"/examples/sample-class/config.ini"_s,
                        appDir + u"/config.ini"_s));
    setFileOpener([](const QString &) {});
}

void HistoryTest::saveAndGenerate_roundsRecordedAndAvoided()
{
    Test::ScriptedDialogs dialogs;
    MainWindow window;
    window.seedSource = seedSequence(5);

    QVERIFY(Test::generateAndWait(window));
    QVERIFY(!window.logView->toPlainText().contains(u"已参考"_s));
    window.saveFile();
    window.saveFile();
    QCOMPARE(storedRounds(), 1);

    QVERIFY(Test::generateAndWait(window));
    QVERIFY(window.logView->toPlainText().contains(
        u"已参考 1 次历史分组：与上次同组 0 对，近 1 次中重复 0 对"_s));
    dialogs.queueFileName(appDir + u"/另存"_s);
    window.saveAs();
    QCOMPARE(storedRounds(), 2);

    // A cancelled save-as writes no chart, so it records nothing either.
    QVERIFY(Test::generateAndWait(window));
    window.saveAs();
    QCOMPARE(storedRounds(), 2);
    QCOMPARE(dialogs.transcript().filter(u"warning"_s), QStringList());
}

void HistoryTest::historyTab_actsAtOnceAndSurvivesRestart()
{
    Test::ScriptedDialogs dialogs;
    {
        MainWindow window;
        window.seedSource = seedSequence(9);
        for (int round = 0; round < 3; ++round) {
            QVERIFY(Test::generateAndWait(window));
            window.saveFile();
        }
        HistoryTab tab(*window.history, window.state.roster, {});
        QCOMPARE(tab.roundsTable->rowCount(), 3);
        QVERIFY(tab.avoidRepeatsBox->isChecked());
        tab.avoidRepeatsBox->setChecked(false);
        window.logView->clear();
        QVERIFY(Test::generateAndWait(window));
        QVERIFY(!window.logView->toPlainText().contains(u"已参考"_s));

        tab.roundsTable->selectRow(0);
        dialogs.queueAnswer(true);
        tab.removeButton->click();
        QCOMPARE(tab.roundsTable->rowCount(), 2);
        dialogs.queueAnswer(false);
        tab.clearButton->click();
        QCOMPARE(tab.roundsTable->rowCount(), 2);
        QCOMPARE(dialogs.calls.constLast().title, u"确认"_s);
    }
    HistoryStore store;
    QCOMPARE(store.load(), QString());
    QCOMPARE(store.history().rounds.size(), 2);
    QCOMPARE(store.history().settings.avoidRepeats, false);

    Roster renamed;
    renamed.maleNames = {u"新同学"_s};
    renamed.rebuildNameMaps();
    HistoryTab tab(store, renamed, {});
    QVERIFY(tab.missingNamesLabel->text().contains(u"48 个名字"_s));
    dialogs.queueAnswer(true);
    tab.clearButton->click();
    QCOMPARE(tab.roundsTable->rowCount(), 0);
    QCOMPARE(storedRounds(), 0);
}

void HistoryTest::settingsDialog_endsWithHistoryTab()
{
    MainWindow window;
    QString title;
    bool isHistoryTab = false;
    std::function<void()> poll = [&] {
        auto *dialog = qobject_cast<SettingsDialog *>(QApplication::activeModalWidget());
        if (!dialog) {
            QTimer::singleShot(10, &window, poll);
            return;
        }
        const int last = dialog->tabs->count() - 1;
        title = dialog->tabs->tabText(last);
        isHistoryTab = qobject_cast<HistoryTab *>(dialog->tabs->widget(last)) != nullptr;
        dialog->reject();
    };
    QTimer::singleShot(0, &window, poll);
    window.showSettingsDialog();
    QCOMPARE(title, u"历史记录"_s);
    QVERIFY(isHistoryTab);
}

// The tab on a history of three rounds, the newest first: what it shows, what it asks, what it does.
void HistoryTest::historyTab_data()
{
    QTest::addColumn<QString>("action"); // on the newest round
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QString>("asked"); // the text of the one box shown; empty: none
    QTest::addColumn<QStringList>("rows");

    const QString newest = u"2025-10-07/18:00:09/2/6/第1组：甲、乙、丙…"_s;
    const QString middle = u"2025-10-07/18:00:08/1/2/第2组：丁、戊"_s;
    const QString oldest = u"2025-10-07/18:00:00/1/1/第1组：甲"_s;
    const QStringList all{newest, middle, oldest};
    const QString removeNewest = u"确定要删除 2025-10-07 18:00:09 保存的这次分组吗?"_s;
    QTest::newRow("rows_secondsAndFirstNames") << QString() << false << QString() << all;
    QTest::newRow("removeAnsweredNo_kept") << u"remove"_s << false << removeNewest << all;
    QTest::newRow("removeAnsweredYes_removed")
        << u"remove"_s << true << removeNewest << QStringList{middle, oldest};
    // Answered yes, "清空" empties the tab and the file: historyTab_actsAtOnceAndSurvivesRestart.
    QTest::newRow("clearAnsweredNo_kept") << u"clear"_s << false << u"确定要清空所有历史记录吗?"_s << all;
    QTest::newRow("doubleClick_groupsShown")
        << u"open"_s << false << u"2025-10-07 18:00:09 保存的分组：\n第1组：甲、乙、丙、己\n第3组：庚、辛"_s
        << all;
}

void HistoryTest::historyTab()
{
    QFETCH(QString, action);
    QFETCH(bool, answer);
    QFETCH(QString, asked);
    QFETCH(QStringList, rows);

    Test::ScriptedDialogs dialogs;
    const QDateTime when(QDate(2025, 10, 7), QTime(18, 0, 0));
    GroupHistory history;
    history.record({0, when, {{1, {u"甲"_s}}}});
    history.record({0, when.addSecs(8), {{2, {u"丁"_s, u"戊"_s}}}});
    history.record(
        {0, when.addSecs(9), {{1, {u"甲"_s, u"乙"_s, u"丙"_s, u"己"_s}}, {3, {u"庚"_s, u"辛"_s}}}});
    {
        QFile file(HistoryStore::defaultPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(HistoryStore::toJson(history));
    }
    HistoryStore store;
    QCOMPARE(store.load(), QString());
    ClassState state;
    HistoryTab tab(store, state.roster, {});
    QCOMPARE(tab.actsAtOnceLabel->text(), u"此页的改动立即生效，不需要按“保存”。"_s);
    tab.roundsTable->selectRow(0);
    if (!asked.isEmpty())
        dialogs.queueAnswer(answer);
    if (action == u"remove"_s)
        tab.removeButton->click();
    else if (action == u"clear"_s)
        tab.clearButton->click();
    else if (action == u"open"_s)
        Q_EMIT tab.roundsTable->cellDoubleClicked(0, 2);

    QCOMPARE(dialogs.calls.size(), asked.isEmpty() ? 0 : 1);
    if (!asked.isEmpty())
        QCOMPARE(dialogs.calls.first().text, asked);
    QStringList shown;
    for (int row = 0; row < tab.roundsTable->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < tab.roundsTable->columnCount(); ++column)
            cells.append(tab.roundsTable->item(row, column)->text());
        shown.append(cells.join(u'/'));
    }
    QCOMPARE(shown, rows);
}

QTEST_MAIN(HistoryTest)
#include "history_test.moc"
