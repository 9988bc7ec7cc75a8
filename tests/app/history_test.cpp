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

QTEST_MAIN(HistoryTest)
#include "history_test.moc"
