#include "mainwindow.h"
#include "qttranslation.h"
#include "scripteddialogs.h"
#include "testenvironment.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

#include <algorithm>
#include <numeric>

using namespace Qt::StringLiterals;
using namespace Velmora;

namespace {

// The screen of a school PC. The offscreen screen has no taskbar; the rules for one are tested on
// the geometry alone (windowlayout_test).
const QRect schoolScreen(0, 0, 1366, 768);

QString shownText(QString text)
{
    // "是(&Y)" is drawn as 是(Y): the accelerator mark is not part of what the teacher reads.
    return text.remove(u'&');
}

void writeSampleClass(const QString &appDir)
{
    QFile::remove(appDir + u"/config.ini"_s);
    QVERIFY(QFile::copy(Test::sourceDirectory() + u"/examples/sample-class/config.ini"_s,
                        appDir + u"/config.ini"_s));
    QFile::setPermissions(appDir + u"/config.ini"_s, QFile::ReadOwner | QFile::WriteOwner);
}

int spreadOf(const QList<int> &values)
{
    const auto [low, high] = std::minmax_element(values.cbegin(), values.cend());
    return *high - *low;
}

} // namespace

class WindowTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(installQtTranslation()); }
    void init()
    {
        appDir = Test::freshApplicationDirectory();
        dialogs.clear();
    }

    void opensWithinTheScreen_data();
    void opensWithinTheScreen();
    void qtDialogsSpeakChinese_data();
    void qtDialogsSpeakChinese();
    void generate_groupsThatDoNotFit_data();
    void generate_groupsThatDoNotFit();
    void keyboard_data();
    void keyboard();

private:
    QString appDir;
    Test::ScriptedDialogs dialogs;
};

void WindowTest::opensWithinTheScreen_data()
{
    QTest::addColumn<QByteArray>("windowIni"); // "dir": a folder in its place
    QTest::addColumn<QRect>("expected");       // null: anywhere on the screen

    QTest::newRow("noFile_fitsTheScreen") << QByteArray() << QRect();
    QTest::newRow("saved_restored") << QByteArray("[Window]\ngeometry=60,50,1100,600\npanes=300,200\n")
                                    << QRect(60, 50, 1100, 600);
    QTest::newRow("binaryGarbage_fitsTheScreen")
        << QByteArray("\0\xff\xfe", 3) + "[Window]\ngeometry=\x01\x02" << QRect();
    QTest::newRow("folderInItsPlace_fitsTheScreen") << QByteArray("dir") << QRect();
    QTest::newRow("largerThanTheScreen_shrunk")
        << QByteArray("[Window]\ngeometry=0,0,5000,4000\n") << QRect(8, 32, 1350, 728);
    QTest::newRow("offScreen_centred")
        << QByteArray("[Window]\ngeometry=-9000,-9000,1100,600\n") << QRect(133, 96, 1100, 600);
}

void WindowTest::opensWithinTheScreen()
{
    QFETCH(QByteArray, windowIni);
    QFETCH(QRect, expected);
    const QString path = appDir + u"/window.ini"_s;
    if (windowIni == "dir") {
        QVERIFY(QDir(appDir).mkdir(u"window.ini"_s));
    } else if (!windowIni.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(windowIni);
    }

    QRect shown;
    QList<int> panes;
    {
        MainWindow window;
        QVERIFY(window.minimumHeight() <= 600);
        QVERIFY(window.minimumSizeHint().height() <= 600);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        shown = window.geometry();
        QVERIFY2(schoolScreen.contains(window.frameGeometry()),
                 qPrintable(
                     u"%1,%2 %3x%4"_s.arg(shown.x()).arg(shown.y()).arg(shown.width()).arg(shown.height())));
        if (!expected.isNull())
            QCOMPARE(shown, expected);

        // At its smallest the status bar is still inside the window and the tables keep some rows.
        window.resize(window.minimumSize());
        QTRY_COMPARE(window.size(), window.minimumSize());
        QVERIFY(window.rect().contains(window.statusBar()->geometry()));
        QVERIFY(window.constraintTable->height() >= 60);
        QVERIFY(window.resultsTable->height() >= 60);
        window.resize(shown.size());
        QTRY_COMPARE(window.size(), shown.size());
        panes = window.paneSplitter->sizes();
    }
    // What was shown comes back at the next start; a folder in the way is left alone.
    if (windowIni == "dir") {
        QVERIFY(QFileInfo(path).isDir());
        return;
    }
    MainWindow again;
    QCOMPARE(again.geometry(), shown);
    QCOMPARE(again.paneSplitter->sizes().size(), 2);
    QSettings saved(path, QSettings::IniFormat);
    QCOMPARE(saved.value(u"Window/panes"_s).toStringList().size(), panes.size());
    // Nothing of the window goes into the teacher's class file.
    QVERIFY(!QSettings(appDir + u"/config.ini"_s, QSettings::IniFormat).childGroups().contains(u"Window"_s));
}

void WindowTest::qtDialogsSpeakChinese_data()
{
    QTest::addColumn<int>("button"); // 0: Qt's own file dialog
    QTest::addColumn<QString>("text");
    QTest::newRow("yes_是") << int(QMessageBox::Yes) << u"是"_s;
    QTest::newRow("no_否") << int(QMessageBox::No) << u"否"_s;
    QTest::newRow("ok_确定") << int(QMessageBox::Ok) << u"确定"_s;
    QTest::newRow("cancel_取消") << int(QMessageBox::Cancel) << u"取消"_s;
    QTest::newRow("fileDialog_noEnglishWord") << 0 << u"保存"_s;
}

void WindowTest::qtDialogsSpeakChinese()
{
    QFETCH(int, button);
    QFETCH(QString, text);
    if (button) {
        QMessageBox box(QMessageBox::Question, u"确认"_s, u"继续吗？"_s, QMessageBox::StandardButton(button));
        const QString shown = box.button(QMessageBox::StandardButton(button))->text();
        QVERIFY2(shownText(shown).startsWith(text), qPrintable(shown));
        return;
    }
    // Qt's own file dialog, as the teacher meets it where the desktop has none of its own.
    QFileDialog files(nullptr, u"另存为"_s);
    files.setOption(QFileDialog::DontUseNativeDialog);
    files.setAcceptMode(QFileDialog::AcceptSave);
    QStringList texts;
    for (const QLabel *label : files.findChildren<QLabel *>())
        texts.append(shownText(label->text()));
    for (const QAbstractButton *child : files.findChild<QDialogButtonBox *>()->buttons())
        texts.append(shownText(child->text()));
    for (const QString &shown : std::as_const(texts)) {
        static const QRegularExpression latin(u"[A-Za-z]{2,}"_s);
        QVERIFY2(!latin.match(shown).hasMatch(), qPrintable(shown));
    }
    QVERIFY2(std::any_of(texts.cbegin(), texts.cend(),
                         [&](const QString &shown) { return shown.startsWith(text); }),
             qPrintable(texts.join(u'|')));
}

void WindowTest::generate_groupsThatDoNotFit_data()
{
    QTest::addColumn<QString>("boys"); // names, one per line; empty keeps the sample class
    QTest::addColumn<QString>("girls");
    QTest::addColumn<int>("choice"); // -1: no question expected
    QTest::addColumn<QString>("hint");

    QTest::newRow("sampleClass_autoSet")
        << QString() << QString() << 0
        << u"提示: 男生 24 人，各组男生座位共 18 个；女生 24 人，各组女生座位共 36 个"_s;
    QTest::newRow("sampleClass_kept_askedOnce")
        << QString() << QString() << 1
        << u"提示: 男生 24 人，各组男生座位共 18 个；女生 24 人，各组女生座位共 36 个"_s;
    QTest::newRow("manyGirls_autoSet")
        << u"甲\n乙"_s << QString(u"女\n"_s).repeated(40).chopped(1) << 0
        << u"提示: 男生 2 人，各组男生座位共 18 个；女生 40 人，各组女生座位共 36 个"_s;
    QTest::newRow("moreSeatsThanPupils_noQuestion") << u"甲\n乙\n丙"_s << u"丁\n戊"_s << -1 << QString();
    QTest::newRow("emptyRoster_refused") << u" "_s << QString() << -1 << QString();
}

void WindowTest::generate_groupsThatDoNotFit()
{
    QFETCH(QString, boys);
    QFETCH(QString, girls);
    QFETCH(int, choice);
    QFETCH(QString, hint);
    writeSampleClass(appDir);
    if (!boys.isEmpty()) {
        QSettings settings(appDir + u"/config.ini"_s, QSettings::IniFormat);
        settings.setValue(u"Male/Names"_s, boys.trimmed().isEmpty() ? QStringList() : boys.split(u'\n'));
        settings.setValue(u"Female/Names"_s, girls.isEmpty() ? QStringList() : girls.split(u'\n'));
        settings.remove(u"FixedPositions"_s);
        settings.remove(u"Constraints"_s);
    }
    MainWindow window;
    window.seedSource = seedSequence(7);
    const QList<GroupConfig> before = window.state.groupConfigs;
    if (choice >= 0)
        dialogs.queueChoice(choice);

    window.generateButton->click();

    const QString question = u"choice: 确认 / 分组设置与名单不符，是否按名单自动设置各组人数？"_s;
    if (boys == u" "_s) {
        QCOMPARE(dialogs.transcript(),
                 QStringList({u"warning: 错误 / 名单为空，请先在设置中添加人员或从表格导入"_s}));
        QVERIFY(window.state.currentGrouping.isEmpty());
        QCOMPARE(window.logView->toPlainText().split(u'\n').last(), u"系统初始化完成"_s);
        return;
    }
    QCOMPARE(dialogs.transcript(), choice < 0 ? QStringList() : QStringList{question});
    QCOMPARE(window.logView->toPlainText().contains(u"提示: "_s), !hint.isEmpty());
    if (!hint.isEmpty())
        QVERIFY(window.logView->toPlainText().contains(hint));
    QTRY_VERIFY(!window.state.currentGrouping.isEmpty());

    const ClassState &state = window.state;
    if (choice == 0) {
        QList<int> seats, boySeats, girlSeats;
        for (int index : state.enabledGroups()) {
            seats.append(state.groupConfigs.at(index).total);
            boySeats.append(state.groupConfigs.at(index).males);
            girlSeats.append(state.groupConfigs.at(index).females);
        }
        QVERIFY(spreadOf(seats) <= 1 && spreadOf(boySeats) <= 1 && spreadOf(girlSeats) <= 1);
        // And so do the groups generated with them.
        QList<int> boysSeated, girlsSeated;
        for (const QList<int> &group : state.currentGrouping) {
            const auto boysIn = std::count_if(group.cbegin(), group.cend(),
                                              [&](int person) { return state.roster.isBoy(person); });
            boysSeated.append(int(boysIn));
            girlsSeated.append(int(group.size() - boysIn));
        }
        QVERIFY2(spreadOf(boysSeated) <= 1 && spreadOf(girlsSeated) <= 1,
                 qPrintable(u"%1 / %2"_s.arg(QDebug::toString(boysSeated), QDebug::toString(girlsSeated))));
        QCOMPARE(std::accumulate(boySeats.cbegin(), boySeats.cend(), 0), state.roster.maleCount());
        QCOMPARE(std::accumulate(girlSeats.cbegin(), girlSeats.cend(), 0), state.roster.femaleCount());
        // The settings show the new numbers, and the next save writes them.
        QVERIFY(window.saveGroupConfiguration());
        QSettings file(appDir + u"/config.ini"_s, QSettings::IniFormat);
        QCOMPARE(file.value(u"GroupConfig_0/males"_s).toInt(), state.groupConfigs.at(0).males);
    } else if (choice == 1) {
        QCOMPARE(state.groupConfigs.at(0).males, before.at(0).males);
    }

    // Asked once for this class and these groups; the hint stays in the log of every generate.
    dialogs.clear();
    window.generateButton->click();
    QVERIFY(dialogs.transcript().isEmpty());
    QCOMPARE(window.logView->toPlainText().count(u"提示: "_s), hint.isEmpty() ? 0 : choice == 0 ? 1 : 2);
}

void WindowTest::keyboard_data()
{
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<bool>("grouped");
    QTest::addColumn<QString>("names");
    QTest::addColumn<QString>("call");

    QTest::newRow("ctrlS_saves") << QKeySequence(Qt::CTRL | Qt::Key_S) << false << QString()
                                 << u"warning: 错误 / 没有分组数据可保存"_s;
    QTest::newRow("ctrlShiftS_savesAs")
        << QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S) << true << QString() << u"saveFile: 另存为 / "_s;
    QTest::newRow("enterInNames_addsRequirement")
        << QKeySequence(Qt::Key_Return) << false << u"张伟 李娜"_s << QString();
    QTest::newRow("enterWithOneName_refused") << QKeySequence(Qt::Key_Enter) << false << u"张伟"_s
                                              << u"warning: 输入错误 / 要求需要至少两个有效姓名"_s;
}

void WindowTest::keyboard()
{
    QFETCH(QKeySequence, keys);
    QFETCH(bool, grouped);
    QFETCH(QString, names);
    QFETCH(QString, call);
    writeSampleClass(appDir);
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    if (grouped)
        window.state.currentGrouping = {{1, 2}};
    const qsizetype together = window.state.mustTogether.size();
    QWidget *target = &window;
    if (!names.isEmpty()) {
        window.constraintNamesEdit->setFocus();
        window.constraintNamesEdit->setText(names);
        target = window.constraintNamesEdit;
    }

    QTest::keySequence(target, keys);

    const QStringList transcript = dialogs.transcript();
    QCOMPARE(transcript.size(), call.isEmpty() ? 0 : 1);
    if (!call.isEmpty())
        QVERIFY2(transcript.first().startsWith(call), qPrintable(transcript.first()));
    QCOMPARE(window.state.mustTogether.size(), together + (call.isEmpty() ? 1 : 0));
}

// The screen of a school PC instead of the offscreen platform's default 800x800.
int main(int argc, char *argv[])
{
    // Relative: the platform's arguments are split at colons, which a drive letter has.
    QTemporaryDir dir(QDir::current().filePath(u"window_test-XXXXXX"_s));
    const QString config = QDir::current().relativeFilePath(dir.filePath(u"screen.json"_s));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    file.write(
        QStringLiteral(R"({"screens": [{"name": "school", "x": 0, "y": 0, "width": %1, "height": %2}]})")
            .arg(schoolScreen.width())
            .arg(schoolScreen.height())
            .toUtf8());
    file.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(config));
    QApplication app(argc, argv);
    WindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "window_test.moc"
