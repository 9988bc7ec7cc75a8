#include "generatecommand.h"
#include "mainwindow.h"
#include "qttranslation.h"
#include "scripteddialogs.h"
#include "testenvironment.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTableWidget>
#include <QTextEdit>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace Velmora;

// The window on a school PC: a 1366x768 screen (set up in main), a sample class in config.ini.
class WindowTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(installQtTranslation()); }
    void init()
    {
        appDir = Test::freshApplicationDirectory();
        QVERIFY(QFile::copy(Test::sourceDirectory() + u"/examples/sample-class/config.ini"_s,
                            appDir + u"/config.ini"_s));
        QFile::setPermissions(appDir + u"/config.ini"_s, QFile::ReadOwner | QFile::WriteOwner);
        dialogs.clear();
    }
    void opensWithinTheScreen_data();
    void opensWithinTheScreen();
    void qtDialogsSpeakChinese_data();
    void qtDialogsSpeakChinese();
    void generate_groupsThatDoNotFit_data();
    void generate_groupsThatDoNotFit();
    void commands_data();
    void commands();

private:
    QString appDir;
    Test::ScriptedDialogs dialogs;
};

void WindowTest::opensWithinTheScreen_data()
{
    QTest::addColumn<QByteArray>("stateIni"); // "dir": a folder in its place
    QTest::addColumn<QRect>("expected");
    const QRect unknown(83, 32, 1200, 728); // the default size, centred
    QTest::newRow("noFile_fits") << QByteArray() << unknown;
    // The import keeps its folder in the same file; the window must not write it away.
    QTest::newRow("saved_restoredImportSectionKept")
        << QByteArray("[Import]\nLastFolder=/mnt/u\n[Window]\ngeometry=60,50,1100,600\n")
        << QRect(60, 50, 1100, 600);
    QTest::newRow("binary_fits") << QByteArray("\0\xff[Window]\ngeometry=\x01", 21) << unknown;
    QTest::newRow("utf16_fits") << QByteArray("\xff\xfe[\0W\0i\0n\0", 10) << unknown;
    QTest::newRow("empty_fits") << QByteArray("[Window]") << unknown;
    QTest::newRow("huge_notRead") << QByteArray("[Window]\ngeometry=60,50,1100,600\n").leftJustified(1 << 20)
                                  << unknown;
    QTest::newRow("folder_fits") << QByteArray("dir") << unknown;
    QTest::newRow("tooLarge_shrunk") << QByteArray("[Window]\ngeometry=0,0,5000,4000\n")
                                     << QRect(8, 32, 1350, 728);
    QTest::newRow("offScreen_centred")
        << QByteArray("[Window]\ngeometry=-9000,-9000,1100,600\n") << QRect(133, 96, 1100, 600);
}

void WindowTest::opensWithinTheScreen()
{
    QFETCH(QByteArray, stateIni);
    QFETCH(QRect, expected);
    QFile file(appDir + u"/state.ini"_s);
    QVERIFY(stateIni == "dir" ? QDir(appDir).mkdir(u"state.ini"_s) : file.open(QIODevice::WriteOnly));
    file.write(stateIni);
    file.close();
    QRect shown;
    {
        MainWindow window;
        QVERIFY(window.minimumHeight() <= 600 && window.minimumSizeHint().height() <= 600);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        shown = window.geometry();
        QVERIFY(QRect(0, 0, 1366, 768).contains(window.frameGeometry()));
        QCOMPARE(shown, expected);
        // At its smallest the status bar is inside the window and the tables keep a few rows.
        window.resize(window.minimumSize());
        QTRY_COMPARE(window.size(), window.minimumSize());
        QVERIFY(window.rect().contains(window.statusBar()->geometry()));
        QVERIFY(window.constraintTable->height() >= 60 && window.resultsTable->height() >= 60);
        window.resize(shown.size());
        QTRY_COMPARE(window.size(), shown.size());
    }
    // What was shown comes back at the next start; a folder in the way is left alone.
    if (stateIni == "dir")
        QVERIFY(QFileInfo(file.fileName()).isDir());
    else
        QCOMPARE(MainWindow().geometry(), shown);
    if (stateIni.contains("[Import]"))
        QCOMPARE(QSettings(file.fileName(), QSettings::IniFormat).value(u"Import/LastFolder"_s).toString(),
                 u"/mnt/u"_s);
}

void WindowTest::qtDialogsSpeakChinese_data()
{
    QTest::addColumn<bool>("fileDialog");
    QTest::addColumn<QString>("texts");
    QTest::newRow("messageBox_是否确定取消") << false << u"确定|取消|是(Y)|否(N)"_s;
    QTest::newRow("fileDialog_noEnglishWord")
        << true << u"保存(S)|取消|查找范围：|文件名称(N)：|文件类型："_s;
}

void WindowTest::qtDialogsSpeakChinese()
{
    QFETCH(bool, fileDialog);
    QFETCH(QString, texts);
    QMessageBox box(QMessageBox::Question, u"确认"_s, u"继续吗？"_s,
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Ok | QMessageBox::Cancel);
    QFileDialog files(nullptr, u"另存为"_s);
    files.setOptions(QFileDialog::DontUseNativeDialog);
    files.setAcceptMode(QFileDialog::AcceptSave);
    QStringList shown; // as drawn: "是(&Y)" reads 是(Y)
    for (const QAbstractButton *button :
         fileDialog ? files.findChild<QDialogButtonBox *>()->buttons() : box.buttons())
        shown.append(button->text().remove(u'&'));
    for (const QLabel *label : fileDialog ? files.findChildren<QLabel *>() : QList<QLabel *>())
        shown.append(label->text().remove(u'&'));
    QCOMPARE(shown.join(u'|'), texts);
}

void WindowTest::generate_groupsThatDoNotFit_data()
{
    QTest::addColumn<QStringList>("boys"); // empty: the sample class
    QTest::addColumn<QStringList>("girls");
    QTest::addColumn<int>("choice"); // -1: no question
    QTest::addColumn<QString>("hint");
    const QString sample = u"提示: 男生 24 人，各组男生座位共 18 个；女生 24 人，各组女生座位共 36 个"_s;
    QTest::newRow("sample_autoSet") << QStringList() << QStringList() << 0 << sample;
    QTest::newRow("sample_kept_askedOnce") << QStringList() << QStringList() << 1 << sample;
    QTest::newRow("moreSeats_noQuestion") << QStringList{u"甲"_s} << QStringList{u"乙"_s} << -1 << QString();
}

void WindowTest::generate_groupsThatDoNotFit()
{
    QFETCH(QStringList, boys);
    QFETCH(QStringList, girls);
    QFETCH(int, choice);
    QFETCH(QString, hint);
    if (!boys.isEmpty()) {
        QSettings settings(appDir + u"/config.ini"_s, QSettings::IniFormat);
        settings.setValue(u"Male/Names"_s, boys);
        settings.setValue(u"Female/Names"_s, girls);
        settings.remove(u"Constraints"_s);
    }
    MainWindow window;
    window.seedSource = seedSequence(7);
    if (choice >= 0)
        dialogs.queueChoice(choice);
    window.generateButton->click();
    QTRY_VERIFY_WITH_TIMEOUT(!window.generation->isRunning(), 60000);
    window.generateButton->click(); // asked once for the same class and groups
    QTRY_VERIFY_WITH_TIMEOUT(!window.generation->isRunning(), 60000);
    QCOMPARE(dialogs.calls.size(), choice < 0 ? 0 : 1);
    QCOMPARE(window.logView->toPlainText().count(hint.isEmpty() ? u"提示: "_s : hint), hint.isEmpty() ? 0
                                                                                       : choice == 0  ? 1
                                                                                                      : 2);
    QTRY_VERIFY(!window.state.currentGrouping.isEmpty());
    // "自动设置" leaves groups whose boys and girls differ by at most one, set and generated.
    const ClassState &state = window.state;
    QList<int> boysIn, girlsIn, boySeats;
    for (const QList<int> &group : state.currentGrouping.members()) {
        boysIn.append(
            int(std::count_if(group.cbegin(), group.cend(), [&](int p) { return state.roster.isBoy(p); })));
        girlsIn.append(int(group.size()) - boysIn.last());
    }
    for (int index : state.enabledGroups())
        boySeats.append(state.groupConfigs.at(index).males);
    const auto even = [](const QList<int> &n) {
        return *std::max_element(n.cbegin(), n.cend()) <= *std::min_element(n.cbegin(), n.cend()) + 1;
    };
    QCOMPARE(even(boySeats) && even(boysIn) && even(girlsIn), choice != 1);
}

void WindowTest::commands_data()
{
    QTest::addColumn<QKeySequence>("keys"); // none: "生成分组" with an empty roster
    QTest::addColumn<QString>("names");
    QTest::addColumn<QString>("dialog");
    // "保存" writes at once, here into a folder without templates; "另存为" asks for a name first.
    QTest::newRow("ctrlS_saves") << QKeySequence(u"Ctrl+S"_s) << QString() << u"未找到座位模板文件"_s;
    QTest::newRow("ctrlShiftS_savesAs")
        << QKeySequence(u"Ctrl+Shift+S"_s) << QString() << u"saveFile: 另存为"_s;
    QTest::newRow("enterInNames_adds") << QKeySequence(u"Return"_s) << u"张伟 李娜"_s << QString();
    QTest::newRow("emptyRoster_refused")
        << QKeySequence() << QString() << u"warning: 错误 / 名单为空，请先在设置中添加人员或从表格导入"_s;
}

void WindowTest::commands()
{
    QFETCH(QKeySequence, keys);
    QFETCH(QString, names);
    QFETCH(QString, dialog);
    if (keys.isEmpty())
        QVERIFY(QFile::remove(appDir + u"/config.ini"_s));
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    window.state.currentGrouping = SeatingPlan::fromMembers({{1, 2}});
    const qsizetype together = window.state.mustTogether.size();
    window.constraintNamesEdit->setFocus();
    window.constraintNamesEdit->setText(names);
    if (keys.isEmpty())
        window.generateButton->click();
    QTest::keySequence(window.constraintNamesEdit, keys);
    QVERIFY2(dialog.isEmpty() ? dialogs.calls.isEmpty() : dialogs.transcript().value(0).contains(dialog),
             qPrintable(dialogs.transcript().join(u'|')));
    QCOMPARE(window.state.mustTogether.size(), together + (dialog.isEmpty() ? 1 : 0));
    QCOMPARE(window.state.currentGrouping.members(), Grouping({{1, 2}}));
}

// The screen of a school PC instead of the offscreen platform's default 800x800.
int main(int argc, char *argv[])
{
    // Relative: the platform's arguments are split at colons, which a drive letter has.
    QTemporaryDir dir(QDir::current().filePath(u"window_test-XXXXXX"_s));
    QFile file(QDir::current().relativeFilePath(dir.filePath(u"screen.json"_s)));
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    file.write(R"({"screens": [{"name": "school", "x": 0, "y": 0, "width": 1366, "height": 768}]})");
    file.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(file.fileName()));
    QApplication app(argc, argv);
    WindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "window_test.moc"
