#include "appdirectory.h"
#include "generatelog.h"
#include "generatewait.h"
#include "mainwindow.h"
#include "personneldialog.h"
#include "runselection.h"
#include "scripteddialogs.h"
#include "seedsource.h"
#include "testenvironment.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>

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

// What the table must show for a plan: group number, then seat s in column s, empty seats and
// fillers as empty cells.
QStringList expectedTable(const ClassState &state, int columns)
{
    QStringList rows;
    const QList<int> enabled = state.enabledGroups();
    const SeatingPlan &plan = state.currentGrouping;
    for (int row = 0; row < enabled.size(); ++row) {
        QStringList cells{u"组 %1"_s.arg(enabled.at(row) + 1)};
        for (int column = 1; column < columns; ++column)
            cells.append(state.roster.nameOf(plan.occupant(plan.refAt(row, column - 1))));
        rows.append(cells.join(u'|'));
    }
    return rows;
}

// A seed source that holds the worker at its `holdAt`-th seed until the test opens it.
struct Gate
{
    std::atomic_int calls{0};
    std::atomic_bool open{false};
};

SeedSource gatedSeeds(const std::shared_ptr<Gate> &gate, int holdAt, std::uint32_t seed)
{
    const SeedSource seeds = seedSequence(seed);
    return [gate, holdAt, seeds] {
        if (++gate->calls == holdAt) {
            while (!gate->open)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return seeds();
    };
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
    void generate_whileRunning_data();
    void generate_whileRunning();
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
    // The worker gives what the engine gives on the window's thread, seed for seed.
    const GenerateReport expected = generatePlan(window->state, seedSequence(2024));
    const QStringList expectedLog = generateLogLines(expected, window->state);
    QVERIFY(!expected.plan.isEmpty());

    window->seedSource = seedSequence(2024);
    QStringList before = logLines(*window);
    QSignalSpy shown(window->generation, &GenerateCommand::finished);
    window->generateGroups();
    QVERIFY(window->generation->isRunning());
    QCOMPARE(window->generateButton->text(), u"停止"_s);
    QVERIFY(shown.wait(120000));
    QCOMPARE(window->generateButton->text(), u"生成分组"_s);
    // The sample's groups have 18 boys' seats for 24 boys: the hint comes first, and the question,
    // unanswered, keeps the groups.
    before.append(u"提示: 男生 24 人，各组男生座位共 18 个；女生 24 人，各组女生座位共 36 个"_s);

    QCOMPARE(window->state.currentGrouping, expected.plan);
    QCOMPARE(tableTexts(window->resultsTable), expectedTable(window->state, 11));
    QCOMPARE(dialogs.transcript(), QStringList{sampleFitQuestion});

    // One run's narration, then the comparison line; the sample class's requirements can all be
    // kept, so nothing follows it but the time-stamped end.
    const QStringList lines = logLines(*window);
    QCOMPARE(lines.mid(before.size()).count(u"分组完成"_s), 1);
    QCOMPARE(lines.mid(before.size(), expectedLog.size()), expectedLog);
    QCOMPARE(lines.size(), before.size() + expectedLog.size() + 1);
    QCOMPARE(lines.at(lines.size() - 2),
             u"已比较 %1 次随机分组，选用要求满足最多的一次"_s.arg(expected.runs));
    const QRegularExpressionMatch last = stamped.match(lines.last());
    QVERIFY(last.hasMatch());
    QCOMPARE(last.captured(1), u"分组生成完成"_s);
    QCOMPARE(window->statusLabel->text(), lines.last());
}

void GenerateTest::generate_whileRunning_data()
{
    QTest::addColumn<QString>("action");
    QTest::newRow("stopButton_keepsValidPlan") << u"stop"_s;
    QTest::newRow("requirementAdded_resultDropped") << u"change"_s;
    QTest::newRow("reset_resultDroppedSilently") << u"reset"_s;
}

// While the worker runs the window answers: the button reads "停止", the status line says it is
// working, and what the teacher does meanwhile decides what becomes of the result.
void GenerateTest::generate_whileRunning()
{
    QFETCH(QString, action);
    auto gate = std::make_shared<Gate>();
    window->seedSource = gatedSeeds(gate, 3, 31);
    const SeatingPlan before = window->state.currentGrouping;
    QSignalSpy shown(window->generation, &GenerateCommand::finished);
    window->generateGroups();
    QTRY_VERIFY(gate->calls >= 3);
    QTest::qWait(GenerateCommand::StatusDelayMs + 100);
    QCOMPARE(window->statusLabel->text(), u"正在生成分组…"_s);
    QCOMPARE(window->generateButton->text(), u"停止"_s);
    // A second click while it runs stops it rather than starting another.
    if (action == u"stop"_s)
        window->generateGroups();
    else if (action == u"change"_s)
        window->state.mustTogether.append({1, 2});
    else
        window->resetAll();
    const int logged = int(logLines(*window).size());
    gate->open = true;
    QVERIFY(shown.wait(120000));
    QCOMPARE(window->generateButton->text(), u"生成分组"_s);
    QVERIFY(!window->generation->isRunning());
    const QStringList added = logLines(*window).mid(logged);

    if (action == u"reset"_s) {
        QCOMPARE(added, QStringList());
        QVERIFY(window->state.currentGrouping.isEmpty());
        // The working note goes; the reset's own line stays.
        QCOMPARE(stamped.match(window->statusLabel->text()).captured(1), u"系统已重置"_s);
        return;
    }
    if (action == u"change"_s) {
        QCOMPARE(added.size(), 1);
        QCOMPARE(stamped.match(added.first()).captured(1),
                 u"生成期间名单或设置已改变，本次分组结果未采用，请重新生成分组"_s);
        QCOMPARE(window->state.currentGrouping, before);
        return;
    }
    QVERIFY(added.contains(u"已停止：采用目前找到的最好分组"_s));
    QCOMPARE(stamped.match(added.last()).captured(1), u"分组生成完成"_s);
    // The plan kept is whole: everyone seated once, fixed persons on their own seats.
    const SeatingPlan &plan = window->state.currentGrouping;
    QList<int> seated;
    for (const QList<int> &group : plan.members())
        seated += group;
    std::sort(seated.begin(), seated.end());
    QVERIFY(std::adjacent_find(seated.begin(), seated.end()) == seated.end());
    QCOMPARE(seated.size(), window->state.roster.maleCount() + window->state.roster.femaleCount());
    const QMap<PersonId, SeatRef> fixed = acceptedFixedSeats(window->state);
    for (auto it = fixed.cbegin(); it != fixed.cend(); ++it)
        QCOMPARE(plan.occupant(it.value()), it.key());
    QCOMPARE(tableTexts(window->resultsTable), expectedTable(window->state, 11));
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
        QVERIFY(Test::generateAndWait(*window));
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
    QVERIFY(Test::generateAndWait(*window));
    const SeatingPlan grouping = window->state.currentGrouping;
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
    // Thrown on the worker's thread, shown on the window's.
    QVERIFY(Test::generateAndWait(*window));

    QCOMPARE(dialogs.transcript(), QStringList{u"critical: 错误 / "_s + message});
    QCOMPARE(dialogs.calls.first().parent, window.get());
    QCOMPARE(window->state.currentGrouping, grouping);
    QCOMPARE(tableTexts(window->resultsTable), table);
    QCOMPARE(window->statusLabel->text(), status);
    // Only the sample's fit hint, which every generate of these groups starts with.
    QCOMPARE(window->logView->toPlainText(),
             log + u"\n提示: 男生 24 人，各组男生座位共 18 个；女生 24 人，各组女生座位共 36 个"_s);
    QCOMPARE(window->generateButton->text(), u"生成分组"_s);
}

void GenerateTest::generate_noEnabledGroup_warnsAndStillFinishes()
{
    window->seedSource = seedSequence(7);
    QVERIFY(Test::generateAndWait(*window));
    QVERIFY(window->resultsTable->rowCount() > 0);
    for (GroupConfig &config : window->state.groupConfigs)
        config.enabled = false;
    dialogs.clear();

    QVERIFY(Test::generateAndWait(*window));
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
    QVERIFY(Test::generateAndWait(*window));
    QCOMPARE(window->resultsTable->item(row, 0)->text(), label);

    QString names;
    for (int person : window->state.currentGrouping.membersAt(row))
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
    QVERIFY(Test::generateAndWait(*window));
    const QList<int> first = window->state.currentGrouping.membersAt(0);
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
    QVERIFY(Test::generateAndWait(*window));
    const int seated = [this] {
        int n = 0;
        for (const QList<int> &group : window->state.currentGrouping.members())
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
