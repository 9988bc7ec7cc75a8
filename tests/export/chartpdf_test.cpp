#include "chartfilecommands.h"
#include "configstore.h"
#include "desktop.h"
#include "hostcheck.h"
#include "scripteddialogs.h"
#include "testenvironment.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace Velmora;

// The chart as a PDF page: shipped and awkward templates drawn where LibreOffice prints them, and
// the command's dialog, log and failure paths.
class ChartPdfTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void template_namesWhereLibreOfficePrintsThem_data();
    void template_namesWhereLibreOfficePrintsThem();
    void command_outcomes_data();
    void command_outcomes();

private:
    ClassState sampleClass(const QString &appDir, const QString &templateFile) const;
};

ClassState ChartPdfTest::sampleClass(const QString &appDir, const QString &templateFile) const
{
    const QString source = Test::sourceDirectory();
    QFile::copy(source + u"/"_s + templateFile, appDir + u"/座位样式1.xlsx"_s);
    QFile::copy(source + u"/examples/sample-class/config.ini"_s, appDir + u"/config.ini"_s);
    ClassState state;
    ConfigStore::loadConfiguration(state);
    state.currentStyle = u"样式1"_s;
    Grouping members(9);
    const int persons = state.roster.maleCount() + state.roster.femaleCount();
    for (int p = 1; p <= persons; ++p)
        members[(p - 1) % 9].append(p);
    state.currentGrouping = SeatingPlan::fromMembers(members, defaultGroupConfigs());
    return state;
}

void ChartPdfTest::template_namesWhereLibreOfficePrintsThem_data()
{
    QTest::addColumn<QString>("templateFile");
    QTest::addColumn<QStringList>("absent"); // texts the printed chart must not show
    QTest::newRow("style1_matchesLibreOffice") << u"templates/座位样式1.xlsx"_s << QStringList{u"XXXX"_s};
    QTest::newRow("style2_matchesLibreOffice") << u"templates/座位样式2.xlsx"_s << QStringList{u"XXXX"_s};
    QTest::newRow("mergedHiddenColumns_hiddenTextLeftOut")
        << u"tests/fixtures/pdf/merged-hidden.xlsx"_s << QStringList{u"隐藏列"_s, u"隐藏行"_s};
    QTest::newRow("printArea_outsideLeftOut")
        << u"tests/fixtures/pdf/print-area.xlsx"_s << QStringList{u"区域外"_s};
    QTest::newRow("wideColumns_shrunkOntoThePage")
        << u"tests/fixtures/pdf/wide-columns.xlsx"_s << QStringList();
}

void ChartPdfTest::template_namesWhereLibreOfficePrintsThem()
{
    QFETCH(QString, templateFile);
    QFETCH(QStringList, absent);
    if (Test::hostProgramsRunHere() && !QFile::exists(u"/usr/bin/soffice"_s))
        QSKIP("LibreOffice is not installed");

    const QString appDir = Test::freshApplicationDirectory();
    ClassState state = sampleClass(appDir, templateFile);
    Test::ScriptedDialogs dialogs;
    QStringList opened;
    QStringList logged;
    setFileOpener([&opened](const QString &path) { opened << path; });
    SeatingExporter exporter(state, Dialogs::instance(),
                             {[](const QString &) {}, [&](const QString &l) { logged << l; }}, nullptr);
    exporter.exportPdf(appDir + u"/chart"_s);
    exporter.exportToFile(appDir + u"/chart.xlsx"_s);
    setFileOpener({});
    const QString pdf = appDir + u"/chart.pdf"_s;
    QVERIFY2(dialogs.calls.isEmpty(), qPrintable(dialogs.transcript().join(u'\n')));
    QCOMPARE(opened.value(0), pdf);
    QCOMPARE(logged.value(0), u"座位表已导出为 PDF: "_s + QDir::toNativeSeparators(pdf));

    // Every name and the date where LibreOffice puts them, one page, every font inside the file.
    QStringList arguments{Test::sourceDirectory() + u"/tests/export/comparepdf.py"_s, pdf,
                          appDir + u"/chart.xlsx"_s};
    QJsonArray items;
    auto expect = [&](const QString &word, bool present) {
        arguments << word;
        items.append(present ? QJsonObject{{u"word"_s, word}, {u"ours"_s, true}, {u"near"_s, true}}
                             : QJsonObject{{u"word"_s, word}, {u"ours"_s, false}});
    };
    for (const QList<int> &group : state.currentGrouping.members())
        for (int person : group)
            expect(state.roster.nameOf(person), true);
    expect(QDate::currentDate().toString(u"yyyy.MM.dd"_s), true);
    for (const QString &word : std::as_const(absent))
        expect(word, false);
    items.append(QJsonObject{{u"word"_s, u"@pages"_s}, {u"value"_s, 1}});
    items.append(QJsonObject{{u"word"_s, u"@embedded"_s}, {u"value"_s, true}});

    if (!Test::hostProgramsRunHere()) {
        for (int i = 1; i <= 2; ++i)
            arguments[i] = Test::keepForHost(arguments[i]);
        QJsonArray run{u"python3"_s};
        for (const QString &argument : std::as_const(arguments))
            run.append(argument);
        Test::deferToHost({QJsonObject{
            {u"run"_s, run}, {u"expect"_s, QJsonObject{{u"key"_s, u"word"_s}, {u"items"_s, items}}}}});
        return;
    }
    QProcess compare;
    compare.start(u"/usr/bin/python3"_s, arguments);
    QVERIFY(compare.waitForFinished(300000));
    QVERIFY2(compare.exitCode() == 0, compare.readAllStandardError().constData());
    QHash<QString, QJsonObject> found;
    for (const QJsonValue &entry : QJsonDocument::fromJson(compare.readAllStandardOutput()).array())
        found.insert(entry[u"word"_s].toString(), entry.toObject());
    for (const QJsonValue &item : std::as_const(items)) {
        const QJsonObject expected = item.toObject();
        const QJsonObject seen = found.value(expected[u"word"_s].toString());
        for (auto it = expected.begin(); it != expected.end(); ++it)
            QVERIFY2(seen.value(it.key()) == it.value(),
                     qPrintable(QString::fromUtf8(QJsonDocument(seen).toJson(QJsonDocument::Compact))));
    }
}

void ChartPdfTest::command_outcomes_data()
{
    QTest::addColumn<bool>("grouped");
    QTest::addColumn<QString>("firstName"); // replaces the first person's name when set
    QTest::addColumn<QString>("answer");    // the save dialog's answer below the application directory
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("lastDialog");
    QTest::addColumn<QString>("plainLog"); // a plain log line must contain this

    QTest::newRow("typedName_pdfAddedOpenedLogged")
        << true << QString() << u"chart"_s << u"chart.pdf"_s << u"saveFile: 导出 PDF"_s << QString();
    QTest::newRow("upperCaseSuffix_kept")
        << true << QString() << u"chart.PDF"_s << u"chart.PDF"_s << u"saveFile: 导出 PDF"_s << QString();
    QTest::newRow("missingFolder_failsWithoutFile")
        << true << QString() << u"missing/chart.pdf"_s << QString()
        << u"critical: 错误 / 导出失败: 文件保存失败，请检查路径和权限"_s << u"PDF 无法保存"_s;
    QTest::newRow("cancelled_nothingWritten")
        << true << QString() << QString() << QString() << u"saveFile: 导出 PDF"_s << QString();
    QTest::newRow("noGrouping_refused") << false << QString() << u"chart"_s << QString()
                                        << u"warning: 错误 / 没有分组数据可保存"_s << QString();
    // A name no font can draw is still in the file, and the log says what drew it.
    QTest::newRow("undrawableName_writtenAndLogged")
        << true << u"张\U000F0001"_s << u"chart"_s << u"chart.pdf"_s << u"saveFile: 导出 PDF"_s << u"张"_s;
}

void ChartPdfTest::command_outcomes()
{
    QFETCH(bool, grouped);
    QFETCH(QString, firstName);
    QFETCH(QString, answer);
    QFETCH(QString, written);
    QFETCH(QString, lastDialog);
    QFETCH(QString, plainLog);

    const QString appDir = Test::freshApplicationDirectory();
    ClassState state = sampleClass(appDir, u"templates/座位样式1.xlsx"_s);
    if (!grouped)
        state.currentGrouping.clear();
    if (!firstName.isEmpty())
        state.roster.idToName[state.currentGrouping.occupant({1, 1})] = firstName;
    Test::ScriptedDialogs dialogs;
    dialogs.queueFileName(answer.isEmpty() ? QString() : appDir + u"/"_s + answer);
    QStringList opened;
    QStringList plain;
    QStringList logged;
    setFileOpener([&opened](const QString &path) { opened << path; });
    ChartFileCommands commands(
        state, Dialogs::instance(),
        {[&](const QString &l) { plain << l; }, [&](const QString &l) { logged << l; }}, nullptr);
    commands.exportPdf();
    setFileOpener({});

    QVERIFY2(dialogs.transcript().value(dialogs.calls.size() - 1).startsWith(lastDialog),
             qPrintable(dialogs.transcript().join(u'\n')));
    if (grouped)
        QVERIFY(dialogs.calls.first().text.endsWith(u"_座位表.pdf"_s));
    const QStringList files = QDir(appDir).entryList({u"chart*"_s}, QDir::Files);
    QCOMPARE(files, written.isEmpty() ? QStringList() : QStringList{written});
    if (written.isEmpty()) {
        QVERIFY(opened.isEmpty() && logged.isEmpty());
    } else {
        const QString path = appDir + u"/"_s + written;
        QCOMPARE(opened, QStringList{path});
        QCOMPARE(logged, QStringList{u"座位表已导出为 PDF: "_s + QDir::toNativeSeparators(path)});
    }
    if (!plainLog.isEmpty()) {
        const QStringList matching = plain.filter(plainLog);
        QVERIFY2(!matching.isEmpty(), qPrintable(plain.join(u'\n')));
        if (!firstName.isEmpty())
            QVERIFY(matching.first().contains(firstName));
    }
}

QTEST_MAIN(ChartPdfTest)
#include "chartpdf_test.moc"
