#include "desktop.h"
#include "generatewait.h"
#include "hostcheck.h"
#include "mainwindow.h"
#include "scripteddialogs.h"
#include "testenvironment.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace Velmora;

class FileCommandsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup() { setFileOpener({}); }

    void withoutGrouping_refused_data();
    void withoutGrouping_refused();
    void newFile_nineEmptyGroups_data();
    void newFile_nineEmptyGroups();
    void newFileThenSave_writesTimestampedChart();
    void saveAs_addsSuffix_data();
    void saveAs_addsSuffix();
    void exportSeatingPlan_logsNameAsReturned();
    void exportPdfMenu_writesOpensAndLogs();
    void sampleClass_generateThenSave_libreOfficeReadsChart();

private:
    QStringList logLines(const MainWindow &window) const
    {
        QStringList lines = window.logView->toPlainText().split(u'\n');
        for (QString &line : lines)
            line.remove(QRegularExpression(u"^\\d\\d:\\d\\d:\\d\\d - "_s));
        return lines;
    }

    QString appDir;
    QStringList opened;
};

void FileCommandsTest::init()
{
    appDir = Test::freshApplicationDirectory();
    for (const QString &name : {u"座位样式1.xlsx"_s, u"座位样式2.xlsx"_s})
        QVERIFY(QFile::copy(Test::sourceDirectory() + u"/templates/"_s + name, appDir + u"/"_s + name));
    opened.clear();
    setFileOpener([this](const QString &path) { opened << path; });
}

void FileCommandsTest::withoutGrouping_refused_data()
{
    QTest::addColumn<QByteArray>("slot");
    QTest::addColumn<QString>("text");

    QTest::newRow("save_noData") << QByteArray("saveFile") << u"没有分组数据可保存"_s;
    QTest::newRow("saveAs_noData") << QByteArray("saveAs") << u"没有分组数据可保存"_s;
    QTest::newRow("export_generateFirst") << QByteArray("exportSeatingPlan") << u"请先生成分组结果"_s;
}

void FileCommandsTest::withoutGrouping_refused()
{
    QFETCH(QByteArray, slot);
    QFETCH(QString, text);

    Test::ScriptedDialogs dialogs;
    MainWindow window;
    const QString before = window.logView->toPlainText();
    QVERIFY(QMetaObject::invokeMethod(&window, slot.constData()));
    QCOMPARE(dialogs.transcript(), QStringList{u"warning: 错误 / "_s + text});
    // The file commands know no window; a null parent is the main window (WidgetDialogs::parentFor).
    QCOMPARE(dialogs.calls.first().parent, nullptr);
    QCOMPARE(window.logView->toPlainText(), before);
    QCOMPARE(QDir(appDir).entryList({u"*_座位表.xlsx"_s}), QStringList());
}

void FileCommandsTest::newFile_nineEmptyGroups_data()
{
    QTest::addColumn<bool>("tenGroups");
    QTest::newRow("nineEnabled_nineRows") << false;
    QTest::newRow("tenEnabled_stillNineRows") << true;
}

void FileCommandsTest::newFile_nineEmptyGroups()
{
    QFETCH(bool, tenGroups);

    Test::ScriptedDialogs dialogs;
    MainWindow window;
    window.state.currentGrouping = SeatingPlan::fromMembers({{1, 2, 3}});
    if (tenGroups) {
        window.state.groupConfigs[9].enabled = true;
        window.state.groupConfigs[9].total = 6;
    }
    window.newFile();

    QCOMPARE(window.state.currentGrouping, SeatingPlan::blank(9, 6));
    QCOMPARE(window.resultsTable->rowCount(), 9);
    for (int row = 0; row < 9; ++row) {
        QCOMPARE(window.resultsTable->item(row, 0)->text(), u"组 %1"_s.arg(row + 1));
        for (int column = 1; column <= 6; ++column)
            QCOMPARE(window.resultsTable->item(row, column)->text(), QString());
    }
    QCOMPARE(dialogs.calls.size(), 1);
    const auto &call = dialogs.calls.first();
    QCOMPARE(call.kind, Test::ScriptedDialogs::Kind::SaveFile);
    QCOMPARE(call.title, u"保存空座位表"_s);
    QCOMPARE(call.filter, u"Excel文件 (*.xlsx)"_s);
    QVERIFY2(QRegularExpression(u"^\\d{8}_\\d{6}_空座位表\\.xlsx$"_s).match(call.text).hasMatch(),
             qPrintable(call.text));
    QCOMPARE(logLines(window).last(), u"已创建新的空白座位表（未保存）"_s);
    QVERIFY(window.statusLabel->text().endsWith(u"已创建新的空白座位表（未保存）"_s));
}

void FileCommandsTest::newFileThenSave_writesTimestampedChart()
{
    Test::ScriptedDialogs dialogs;
    MainWindow window;
    window.newFile();
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    window.saveFile();
    const QDateTime after = QDateTime::currentDateTime();

    const QStringList charts = QDir(appDir).entryList({u"*_座位表.xlsx"_s});
    QCOMPARE(charts.size(), 1);
    const QString name = charts.first();
    const QDateTime stamp = QDateTime::fromString(name.left(15), u"yyyyMMdd_hhmmss"_s);
    QVERIFY2(stamp >= before && stamp <= after, qPrintable(name));
    const QString path = appDir + u"/"_s + name;
    const QStringList lines = logLines(window);
    QCOMPARE(lines.mid(lines.size() - 2),
             (QStringList{u"座位表已导出到: "_s + QDir::toNativeSeparators(path),
                          u"座位表已保存到: "_s + QDir::toNativeSeparators(path)}));
    QCOMPARE(opened, QStringList{path});
    QCOMPARE(dialogs.calls.size(), 1); // only the cancelled "保存空座位表"
}

void FileCommandsTest::saveAs_addsSuffix_data()
{
    QTest::addColumn<QString>("picked");
    QTest::addColumn<QString>("written");
    QTest::newRow("noSuffix_added") << u"chart"_s << u"chart.xlsx"_s;
    QTest::newRow("upperSuffix_kept") << u"chart.XLSX"_s << u"chart.XLSX"_s;
    // The dialog answers with "/" on every platform; the log shows the native form.
    QTest::newRow("subfolder_loggedNative") << u"三年级/chart"_s << u"三年级/chart.xlsx"_s;
}

void FileCommandsTest::saveAs_addsSuffix()
{
    QFETCH(QString, picked);
    QFETCH(QString, written);

    Test::ScriptedDialogs dialogs;
    MainWindow window;
    window.state.currentGrouping = SeatingPlan::fromMembers({{1}});
    QVERIFY(QDir(appDir).mkpath(QFileInfo(picked).path()));
    dialogs.queueFileName(appDir + u"/"_s + picked);
    window.saveAs();

    QCOMPARE(dialogs.calls.size(), 1);
    QCOMPARE(dialogs.calls.first().title, u"另存为"_s);
    QCOMPARE(dialogs.calls.first().filter, u"Excel文件 (*.xlsx)"_s);
    QVERIFY(
        QRegularExpression(u"^\\d{8}_\\d{6}_座位表\\.xlsx$"_s).match(dialogs.calls.first().text).hasMatch());
    QVERIFY(QFile::exists(appDir + u"/"_s + written));
    QCOMPARE(logLines(window).last(),
             u"座位表已另存为: "_s + QDir::toNativeSeparators(appDir + u"/"_s + written));
}

void FileCommandsTest::exportPdfMenu_writesOpensAndLogs()
{
    Test::ScriptedDialogs dialogs;
    MainWindow window;
    window.state.currentGrouping = SeatingPlan::fromMembers({{1}});
    dialogs.queueFileName(appDir + u"/chart"_s);
    const QList<QAction *> actions = window.fileMenu->actions();
    const auto action =
        std::find_if(actions.begin(), actions.end(), [](QAction *a) { return a->text() == u"导出 PDF…"_s; });
    QVERIFY(action != actions.end());
    (*action)->trigger();

    QCOMPARE(dialogs.calls.size(), 1);
    QCOMPARE(dialogs.calls.first().title, u"导出 PDF"_s);
    QCOMPARE(dialogs.calls.first().filter, u"PDF文件 (*.pdf)"_s);
    QVERIFY(
        QRegularExpression(u"^\\d{8}_\\d{6}_座位表\\.pdf$"_s).match(dialogs.calls.first().text).hasMatch());
    const QString path = appDir + u"/chart.pdf"_s;
    QCOMPARE(opened, QStringList{path});
    QCOMPARE(logLines(window).last(), u"座位表已导出为 PDF: "_s + QDir::toNativeSeparators(path));
}

void FileCommandsTest::exportSeatingPlan_logsNameAsReturned()
{
    Test::ScriptedDialogs dialogs;
    MainWindow window;
    window.state.currentGrouping = SeatingPlan::fromMembers({{1}});
    const QString picked = appDir + u"/plan"_s;
    dialogs.queueFileName(picked);
    window.exportSeatingPlan();

    QCOMPARE(dialogs.calls.first().title, u"导出座位表"_s);
    QCOMPARE(dialogs.calls.first().text, QString());
    QVERIFY(QFile::exists(picked + u".xlsx"_s));
    const QStringList lines = logLines(window);
    QCOMPARE(lines.mid(lines.size() - 2),
             (QStringList{u"座位表已导出到: "_s + QDir::toNativeSeparators(picked + u".xlsx"_s),
                          u"座位表已导出到: "_s + QDir::toNativeSeparators(picked)}));
}

void FileCommandsTest::sampleClass_generateThenSave_libreOfficeReadsChart()
{
    if (Test::hostProgramsRunHere() && !QFile::exists(u"/usr/bin/soffice"_s))
        QSKIP("LibreOffice is not installed");
    QVERIFY(QFile::copy(Test::sourceDirectory() + u"/examples/sample-class/config.ini"_s,
                        appDir + u"/config.ini"_s));
    Test::ScriptedDialogs dialogs;
    MainWindow window;
    QVERIFY(Test::generateAndWait(window, true));
    QCOMPARE(window.state.currentGrouping.groupCount(), 9);
    window.saveFile();
    // The sample's groups seat fewer boys than it has; the question's safe answer keeps them.
    QCOMPARE(dialogs.transcript(),
             QStringList{u"choice: 确认 / 分组设置与名单不符，是否按名单自动设置各组人数？"_s});
    const QStringList charts = QDir(appDir).entryList({u"*_座位表.xlsx"_s});
    QCOMPARE(charts.size(), 1);
    if (!Test::hostProgramsRunHere()) {
        QJsonArray texts{QDate::currentDate().toString(u"yyyy.MM.dd"_s)};
        for (const QList<int> &group : window.state.currentGrouping.members())
            for (int person : group)
                texts.append(window.state.roster.nameOf(person));
        QCOMPARE(texts.size(), 49);
        const QString kept = Test::keepForHost(appDir + u"/"_s + charts.first());
        const QFileInfo chart(kept);
        Test::deferToHost({QJsonObject{{u"soffice"_s, QJsonArray{kept}}, {u"outdir"_s, chart.absolutePath()}},
                           QJsonObject{{u"csv"_s, Test::csvBeside(kept)}, {u"contains"_s, texts}}});
        return;
    }

    QTemporaryDir profile;
    QTemporaryDir outDir;
    QProcess office;
    office.start(u"/usr/bin/soffice"_s, {u"-env:UserInstallation=file://"_s + profile.path(), u"--headless"_s,
                                         u"--convert-to"_s, u"csv:Text - txt - csv (StarCalc):44,34,76"_s,
                                         u"--outdir"_s, outDir.path(), appDir + u"/"_s + charts.first()});
    QVERIFY(office.waitForFinished(180000));
    QFile csv(outDir.path() + u"/"_s + QFileInfo(charts.first()).completeBaseName() + u".csv"_s);
    QVERIFY2(csv.open(QIODevice::ReadOnly), office.readAllStandardError().constData());
    const QString text = QString::fromUtf8(csv.readAll());
    QVERIFY(text.contains(QDate::currentDate().toString(u"yyyy.MM.dd"_s)));
    int seated = 0;
    for (const QList<int> &group : window.state.currentGrouping.members()) {
        for (int person : group) {
            QVERIFY2(text.contains(window.state.roster.nameOf(person)),
                     qPrintable(window.state.roster.nameOf(person)));
            ++seated;
        }
    }
    QCOMPARE(seated, 48);
}

QTEST_MAIN(FileCommandsTest)
#include "filecommands_test.moc"
