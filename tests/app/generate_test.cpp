#include "appdirectory.h"
#include "mainwindow.h"
#include "personneldialog.h"
#include "runselection.h"
#include "scripteddialogs.h"
#include "seedsource.h"
#include "testenvironment.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableWidget>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>

#include <memory>
#include <stdexcept>

using namespace Qt::StringLiterals;
using namespace Velmora;

namespace {

const QRegularExpression stamped(u"^\\d\\d:\\d\\d:\\d\\d - (.*)$"_s);
const QString sampleFitQuestion = u"choice: 确认 / 分组设置与名单不符，是否按名单自动设置各组人数？"_s;

QStringList logLines(const MainWindow &window)
{
    return window.logView->toPlainText().split(u'\n');
}

QStringList tableTexts(const QTableWidget *table)
{
    QStringList rows;
    for (int row = 0; row < table->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < table->columnCount(); ++column)
            cells.append(table->item(row, column) ? table->item(row, column)->text() : u"<null>"_s);
        rows.append(cells.join(u'|'));
    }
    return rows;
}

// What the table must show for a grouping: group number, then the names, then empty fillers.
QStringList expectedTable(const ClassState &state, int columns)
{
    QStringList rows;
    const QList<int> enabled = state.enabledGroups();
    for (int row = 0; row < enabled.size(); ++row) {
        QStringList cells{u"组 %1"_s.arg(enabled.at(row) + 1)};
        for (int person : state.currentGrouping.at(row))
            cells.append(state.roster.nameOf(person));
        while (cells.size() < columns)
            cells.append(QString());
        rows.append(cells.join(u'|'));
    }
    return rows;
}

} // namespace

class GenerateTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        const QString dir = Test::freshApplicationDirectory();
        QVERIFY(QFile::copy(Test::sourceDirectory() + u"/examples/sample-class/config.ini"_s,
                            dir + u"/config.ini"_s));
        window = std::make_unique<MainWindow>();
        dialogs.clear();
    }
    void cleanup() { window.reset(); }

    void generate_seeded_tableAndLogAgreeWithEngine();
    void generate_sampleWithRequirements_checkFindsAllKept();
    void generate_failure_data();
    void generate_failure();
    void generate_noEnabledGroup_warnsAndStillFinishes();
    void details_data();
    void details();
    void checks_withoutGrouping_refuseAndLogNothing();
    void checkConstraints_reportsBrokenRequirement();
    void checkPersonnel_showsReportOfGrouping();
    void generate_scoresWithoutBalance_unchanged();

private:
    Test::ScriptedDialogs dialogs;
    std::unique_ptr<MainWindow> window;
};

void GenerateTest::generate_seeded_tableAndLogAgreeWithEngine()
{
    const SelectedGrouping expected = generateBestGrouping(window->state, seedSequence(2024), {});
    QVERIFY(!expected.grouping.isEmpty());

    // The busy dialog is looked at while the runs draw their seeds, i.e. in the middle of the work.
    bool busySeen = false;
    const SeedSource seeds = seedSequence(2024);
    window->seedSource = [&] {
        if (const auto *busy = window->findChild<QProgressDialog *>()) {
            busySeen = busy->isVisible() && busy->windowModality() == Qt::WindowModal &&
                       busy->labelText() == u"正在生成分组..."_s && busy->minimum() == 0 &&
                       busy->maximum() == 0 && busy->findChildren<QPushButton *>().isEmpty();
        }
        return seeds();
    };
    QStringList before = logLines(*window);
    window->generateGroups();
    // The sample's groups have 18 boys' seats for 24 boys: the hint comes first, and the question,
    // unanswered, keeps the groups.
    before.append(u"提示: 男生 24 人，各组男生座位共 18 个；女生 24 人，各组女生座位共 36 个"_s);

    QVERIFY(busySeen);
    QVERIFY(!window->findChild<QProgressDialog *>());
    QCOMPARE(window->state.currentGrouping, expected.grouping);
    QCOMPARE(tableTexts(window->resultsTable), expectedTable(window->state, 11));
    QCOMPARE(dialogs.transcript(), QStringList{sampleFitQuestion});

    // One run's narration, then the comparison line; the sample class's requirements can all be
    // kept, so nothing follows it but the time-stamped end.
    const QStringList lines = logLines(*window);
    QCOMPARE(lines.mid(before.size()).count(u"分组完成"_s), 1);
    QCOMPARE(lines.mid(before.size(), expected.log.size()), expected.log);
    QCOMPARE(lines.size(), before.size() + expected.log.size() + 1);
    QCOMPARE(lines.at(lines.size() - 2),
             u"已比较 %1 次随机分组，选用要求满足最多的一次"_s.arg(expected.runs));
    const QRegularExpressionMatch last = stamped.match(lines.last());
    QVERIFY(last.hasMatch());
    QCOMPARE(last.captured(1), u"分组生成完成"_s);
    QCOMPARE(window->statusLabel->text(), lines.last());
}

void GenerateTest::generate_sampleWithRequirements_checkFindsAllKept()
{
    const auto ids = [this](std::initializer_list<const char *> names) {
        Constraint members;
        for (const char *name : names)
            members.append(window->state.roster.nameToId.value(QString::fromUtf8(name)));
        return members;
    };
    // Three pairs together and three triples apart, none of them asking two leaders to share a group.
    window->state.mustTogether = {ids({"赵磊", "吴倩"}), ids({"黄涛", "周琳"}), ids({"孙博", "高雅"})};
    window->state.mustSeparate = {ids({"杨帆", "徐浩", "胡月"}), ids({"朱凯", "赵婷", "宋洁"}),
                                  ids({"何亮", "郭宇", "罗菲"})};
    for (std::uint32_t seed = 1; seed <= 5; ++seed) {
        window->seedSource = seedSequence(seed);
        window->generateGroups();
        window->checkConstraints();
        const QStringList lines = logLines(*window);
        QCOMPARE(lines.at(lines.size() - 2), u"所有要求已满足"_s);
    }
}

void GenerateTest::generate_failure_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("message");

    QTest::newRow("standardException_textOfWhat") << 0 << u"生成分组时发生错误: 随机源不可用"_s;
    QTest::newRow("emptyWhat_endsInBlank") << 1 << u"生成分组时发生错误: "_s;
    QTest::newRow("otherException_unknownError") << 2 << u"生成分组时发生未知错误"_s;
}

void GenerateTest::generate_failure()
{
    QFETCH(int, kind);
    QFETCH(QString, message);

    window->seedSource = seedSequence(7);
    window->generateGroups();
    const Grouping grouping = window->state.currentGrouping;
    const QStringList table = tableTexts(window->resultsTable);
    const QString log = window->logView->toPlainText();
    const QString status = window->statusLabel->text();
    dialogs.clear();

    window->seedSource = [kind]() -> std::uint32_t {
        if (kind == 0)
            throw std::runtime_error("随机源不可用");
        if (kind == 1)
            throw std::runtime_error("");
        throw 42;
    };
    window->generateGroups();

    QCOMPARE(dialogs.transcript(), QStringList{u"critical: 错误 / "_s + message});
    QCOMPARE(dialogs.calls.first().parent, window.get());
    QVERIFY(!window->findChild<QProgressDialog *>());
    QCOMPARE(window->state.currentGrouping, grouping);
    QCOMPARE(tableTexts(window->resultsTable), table);
    QCOMPARE(window->statusLabel->text(), status);
    // The engine may have narrated its first steps; it never gets to the closing line.
    QVERIFY(window->logView->toPlainText().startsWith(log));
    QVERIFY(!window->logView->toPlainText().mid(log.size()).contains(u"分组生成完成"_s));
}

void GenerateTest::generate_noEnabledGroup_warnsAndStillFinishes()
{
    window->seedSource = seedSequence(7);
    window->generateGroups();
    QVERIFY(window->resultsTable->rowCount() > 0);
    for (GroupConfig &config : window->state.groupConfigs)
        config.enabled = false;
    dialogs.clear();

    window->generateGroups();
    QCOMPARE(dialogs.transcript(), QStringList{u"warning: 错误 / 没有启用的分组"_s});
    QCOMPARE(window->resultsTable->rowCount(), 0);
    QVERIFY(window->state.currentGrouping.isEmpty());
    QCOMPARE(stamped.match(logLines(*window).last()).captured(1), u"分组生成完成"_s);
}

void GenerateTest::details_data()
{
    QTest::addColumn<QList<int>>("enabledIndices");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("label"); // column 0 of the clicked row
    QTest::addColumn<QString>("heading");

    QTest::newRow("groups2And5_headingUsesPositionNumber")
        << QList<int>{1, 4} << 1 << u"组 5"_s << u"组 2 详情:"_s;
    QTest::newRow("tenGroups_tenthRowGivesDetails")
        << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9} << 9 << u"组 10"_s << u"组 10 详情:"_s;
}

void GenerateTest::details()
{
    QFETCH(QList<int>, enabledIndices);
    QFETCH(int, row);
    QFETCH(QString, label);
    QFETCH(QString, heading);

    for (int i = 0; i < GroupCount; ++i) {
        window->state.groupConfigs[i].enabled = enabledIndices.contains(i);
        window->state.groupConfigs[i].total = 6;
    }
    window->seedSource = seedSequence(11);
    window->generateGroups();
    QCOMPARE(window->resultsTable->item(row, 0)->text(), label);

    QString names;
    for (int person : window->state.currentGrouping.at(row))
        names += window->state.roster.nameOf(person) + u' ';
    const int blocks = window->logView->document()->blockCount();
    Q_EMIT window->resultsTable->cellClicked(row, 3);

    QCOMPARE(window->logView->document()->blockCount(), blocks + 1);
    const QString entry = window->logView->document()->lastBlock().text();
    QCOMPARE(entry, heading + QChar::LineSeparator + names);
}

void GenerateTest::checks_withoutGrouping_refuseAndLogNothing()
{
    const QString log = window->logView->toPlainText();
    window->checkConstraints();
    window->checkPersonnel();
    QCOMPARE(dialogs.transcript(),
             (QStringList{u"warning: 错误 / 请先生成分组结果"_s, u"warning: 错误 / 请先生成分组结果"_s}));
    QCOMPARE(window->logView->toPlainText(), log);
    QVERIFY(!window->findChild<PersonnelDialog *>());
}

void GenerateTest::checkConstraints_reportsBrokenRequirement()
{
    window->seedSource = seedSequence(5);
    window->generateGroups();
    const QList<int> first = window->state.currentGrouping.first();
    QVERIFY(first.size() >= 2);
    window->state.mustTogether.clear();
    window->state.mustSeparate = {{first.at(0), first.at(1)}};
    const int before = int(logLines(*window).size());

    window->checkConstraints();
    const QStringList lines = logLines(*window).mid(before);
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines.mid(0, 3),
             (QStringList{u"开始检查要求..."_s,
                          u"不能同组要求未满足: %1 %2 "_s.arg(window->state.roster.nameOf(first.at(0)),
                                                              window->state.roster.nameOf(first.at(1))),
                          u"部分要求未满足"_s}));
    QCOMPARE(stamped.match(lines.at(3)).captured(1), u"要求检查完成"_s);
    QCOMPARE(window->statusLabel->text(), lines.at(3));
}

void GenerateTest::checkPersonnel_showsReportOfGrouping()
{
    window->seedSource = seedSequence(3);
    window->generateGroups();
    const int seated = [this] {
        int n = 0;
        for (const QList<int> &group : std::as_const(window->state.currentGrouping))
            n += int(group.size());
        return n;
    }();

    QString report;
    QPointer<PersonnelDialog> shown;
    QTimer::singleShot(0, window.get(), [&] {
        shown = window->findChild<PersonnelDialog *>();
        if (!shown)
            return;
        report = shown->reportView->toPlainText();
        shown->closeButton->click();
    });
    window->checkPersonnel();

    QVERIFY(!report.isEmpty());
    QVERIFY(!shown); // a local of the slot, gone when it returns
    QVERIFY(report.contains(u"总人数: %1 (男生: "_s.arg(seated)));
    QCOMPARE(dialogs.transcript(), QStringList{sampleFitQuestion});
}

// Scores, extreme ones and a stranger's among them, and an unticked "按成绩均衡分组" leave generate
// exactly as it was: same seed, same groups, same log.
void GenerateTest::generate_scoresWithoutBalance_unchanged()
{
    const auto run = [this] {
        window->logView->clear();
        window->seedSource = seedSequence(2024);
        window->generateGroups();
        QStringList lines = logLines(*window);
        lines.removeLast(); // the time-stamped end
        return qMakePair(window->state.currentGrouping, lines);
    };
    const auto without = run();
    window.reset();
    QFile config(applicationDirectory() + u"/config.ini"_s);
    QVERIFY(config.open(QIODevice::Append));
    config.write(
        "\n[Scores]\nBalance=false\nList=张伟:100, 王强:0, 李明:59.5, 王芳:10000, 李娜:73.25, 外人:5\n");
    config.close();
    window = std::make_unique<MainWindow>();
    QCOMPARE(window->state.roster.scores.size(), 6);
    QCOMPARE(run(), without);
}

QTEST_MAIN(GenerateTest)
#include "generate_test.moc"
