#include "classbuilder.h"
#include "generatelog.h"
#include "plancheck.h"
#include "runselection.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <QtTest>

#include <random>

using namespace Qt::StringLiterals;
using namespace Velmora;

class GenerateLogTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void plans_data();
    void plans();
    void reasons_data();
    void reasons();
    void unticked_data();
    void unticked();
};

// Each row is a class that once put the plan and the log at odds. The plan must hold seat by seat,
// and every line after the comparison line must describe it, in the teacher's group numbers.
void GenerateLogTest::plans_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QStringList>("seats");     // "name@group-seat" that must hold
    QTest::addColumn<QStringList>("lines");     // lines that must appear after the comparison line
    QTest::addColumn<QStringList>("forbidden"); // patterns no line after it may match

    // Seat 3 of group 1 stays empty ahead of the fixed girl on seat 4; two leaders in group 1 make
    // the search move people in and out of it.
    QTest::newRow("fixedBehindGap_keepsSeat")
        << QByteArray(R"({"boys": 3, "girls": 4, "groups": [[1, 4], [2, 4]], "leaders": ["男1", "男2"],
                          "fixed": [["女4", 1, 4], ["男1", 1, 1]], "together": [["男2", "男1"]]})")
        << QStringList{u"女4@1-4"_s, u"男1@1-1"_s} << QStringList() << QStringList();
    // 男2's fixed seat is taken by 男1: refused, so the search may move him to give group 2 its leader.
    QTest::newRow("refusedFixedPosition_notFrozenNotBlamed")
        << QByteArray(R"({"boys": 4, "girls": 4, "groups": [[1, 4], [2, 4]], "leaders": ["男1", "男2"],
                          "fixed": [["男1", 1, 1], ["男2", 1, 1]]})")
        << QStringList{u"男1@1-1"_s} << QStringList()
        << QStringList{u"与固定位置冲突"_s, u"组\\d 没有组长"_s};
    // Groups 1, 3 and 5: a line about the second group says 组3, never 组2.
    QTest::newRow("disabledGroupBetween_teacherNumbers")
        << QByteArray(R"({"boys": 5, "girls": 4, "groups": [[1, 3], [3, 3], [5, 3]],
                          "leaders": ["男1", "男2", "男3"], "boarders": ["女1", "女2", "女3"],
                          "fixed": [["男1", 3, 1], ["男2", 3, 2]]})")
        << QStringList{u"男1@3-1"_s, u"男2@3-2"_s} << QStringList() << QStringList{u"组2"_s, u"组4"_s};
    // Two together-requirements sharing 男2 can only be met in one group, which is itself a finding.
    QTest::newRow("twoRequirementsSharePupil_nameEachOther")
        << QByteArray(R"({"boys": 4, "girls": 4, "groups": [[1, 4], [2, 4]], "leaders": ["男1", "男4"],
                          "together": [["男1", "男2"], ["男2", "女1"]]})")
        << QStringList() << QStringList{u"无法满足的要求: 男1 男2（与要求 男2 女1 冲突）"_s}
        << QStringList{u"座位不足"_s, u"与固定位置冲突"_s};
    // Without requirements no exchange is made "to meet the requirements".
    QTest::newRow("noRequirements_noRequirementReason")
        << QByteArray(R"({"boys": 6, "girls": 6, "groups": [[1, 4, 2, 2], [2, 4, 2, 2], [3, 4, 2, 2]],
                          "leaders": ["男1", "男2", "男3"], "boarders": ["女1", "女2", "男4"]})")
        << QStringList() << QStringList() << QStringList{u"以满足要求"_s, u"满足的要求"_s};
    // Scores 60 to 10 in two groups of three: one of each band per group, and sums of 1000 and 1100
    // at best, whose rounded means the line subtracts as the teacher would.
    const QByteArray scored =
        R"({"boys": 3, "girls": 3, "groups": [[1, 3], [2, 3]], "leaders": ["男1", "女1"],
                                  "balance": true, "scores": {"男1": 6000, "男2": 5000, "男3": 4000,
                                  "女1": 3000, "女2": 2000, "女3": 1000)";
    QTest::newRow("scoresTicked_balancedLine")
        << scored + R"(}})" << QStringList()
        << QStringList{u"成绩均衡：各组平均分 33.33–36.67 分，相差 3.34 分，每组都有高、中、低分段学生"_s}
        << QStringList{u"缺少"_s, u"没有成绩"_s};
    // The three scored pupils fill one band each, so one group of the two lacks each band.
    QTest::newRow("fewScored_missingBandsAndUnscoredCount")
        << QByteArray(R"({"boys": 3, "girls": 3, "groups": [[2, 3], [4, 3]], "balance": true,
                          "scores": {"男1": 9000, "女2": 7050, "女3": 0}})")
        << QStringList() << QStringList{u"3 名学生没有成绩，不参与均衡"_s}
        << QStringList{u"每组都有"_s, u"组1"_s, u"组3"_s};
    // Scores kept but the box unticked: no word of them.
    QTest::newRow("scoresUnticked_noBalanceLine")
        << QByteArray(R"({"boys": 3, "girls": 3, "groups": [[1, 3], [2, 3]], "scores": {"男1": 6000}})")
        << QStringList() << QStringList() << QStringList{u"成绩"_s};
}

void GenerateLogTest::plans()
{
    QFETCH(QByteArray, json);
    QFETCH(QStringList, seats);
    QFETCH(QStringList, lines);
    QFETCH(QStringList, forbidden);
    const ClassState state = Test::classFromJson(QJsonDocument::fromJson(json).object());
    QVERIFY(!state.enabledGroups().isEmpty());

    for (std::uint32_t seed : {1u, 2u, 3u, 4u}) {
        const GenerateReport report = generatePlan(state, seedSequence(seed));
        const QStringList log = generateLogLines(report, state);
        const QString context = u"seed %1\n"_s.arg(seed) + log.join(u'\n');
        const QStringList wrongSeats = planProblems(state, report.plan);
        QVERIFY2(wrongSeats.isEmpty(), qPrintable(wrongSeats.join(u'\n') + u'\n' + context));
        for (const QString &seat : seats) {
            const QStringList parts = seat.split(u'@');
            const QStringList where = parts.at(1).split(u'-');
            QVERIFY2(report.plan.occupant({where.at(0).toInt(), where.at(1).toInt()}) ==
                         state.roster.nameToId.value(parts.at(0)),
                     qPrintable(seat + u'\n' + context));
        }
        const QStringList wrongLines = logProblems(state, report.plan, log, builtInTerms(state));
        QVERIFY2(wrongLines.isEmpty(), qPrintable(wrongLines.join(u'\n') + u'\n' + context));
        const QStringList after = log.mid(log.indexOf(QRegularExpression(u"^已比较 .*"_s)) + 1);
        for (const QString &line : lines)
            QVERIFY2(after.contains(line), qPrintable(line + u'\n' + context));
        for (const QString &pattern : forbidden)
            QVERIFY2(after.indexOf(QRegularExpression(u".*"_s + pattern + u".*"_s)) < 0,
                     qPrintable(pattern + u'\n' + context));
        // The same seed gives the same plan and the same lines.
        const GenerateReport again = generatePlan(state, seedSequence(seed));
        QCOMPARE(again.plan, report.plan);
        QCOMPARE(generateLogLines(again, state), log);
    }
}

// The formatter writes each reason and proof of the report in full, in the teacher's numbers.
void GenerateLogTest::reasons_data()
{
    QTest::addColumn<int>("reason");
    QTest::addColumn<QString>("expected");
    using R = GenerateReport::Reason;
    QTest::newRow("requirement") << int(R::Requirement) << u"调整: 男1 与 男2 交换，以满足要求"_s;
    QTest::newRow("leader") << int(R::Leader) << u"调整: 男1 与 男2 交换，使组长分布更合理"_s;
    QTest::newRow("boarder") << int(R::Boarder) << u"调整: 男1 与 男2 交换，使外宿生分布更均匀"_s;
    QTest::newRow("gender") << int(R::Gender) << u"调整: 男1 与 男2 交换，使男女人数更接近设置"_s;
    QTest::newRow("scoreBands") << int(R::ScoreBands)
                                << u"调整: 男1 与 男2 交换，使每组都有高、中、低分段学生"_s;
    QTest::newRow("scoreGap") << int(R::ScoreGap) << u"调整: 男1 与 男2 交换，使各组成绩更均衡"_s;
    QTest::newRow("history") << int(R::History) << u"调整: 男1 与 男2 交换，避免与以前同组"_s;
}

void GenerateLogTest::reasons()
{
    QFETCH(int, reason);
    QFETCH(QString, expected);
    const ClassState state = Test::makeClass(2, 1);
    GenerateReport report;
    report.runs = 3;
    report.restored = {{2, {2, 3}}};
    report.changes = {{1, 2, 0, GenerateReport::Reason(reason)}, {3, 0, 7, GenerateReport::Reason::Leader}};
    report.leaders = {{2, 1}, {7, 0}};
    report.history = GenerateReport::HistoryNote{4, 1, 5};
    report.unmet = {
        {{RequirementRules::Breach::Kind::MustSeparateJoined, 0}, GenerateReport::Proof::Unknown, {}}};
    ClassState withRequirement = state;
    withRequirement.mustSeparate = {{1, 3}};
    QCOMPARE(generateLogLines(report, withRequirement),
             (QStringList{u"已比较 3 次随机分组，选用要求满足最多的一次"_s,
                          u"已参考 4 次历史分组：与上次同组 1 对，近 4 次中重复 5 对"_s,
                          u"调整: 男2 回到固定位置 组2座位3"_s, expected, u"调整: 女1 移到组7"_s,
                          u"✓ 组长分配验证通过: 组2 有1个组长"_s, u"⚠ 组长分配警告: 组7 没有组长"_s,
                          u"无法满足的要求: 男1 女1"_s}));
}

// With the box unticked, scores change nothing: the same seed gives the plan and the log of a
// class without any, whatever the scores hold.
void GenerateLogTest::unticked_data()
{
    QTest::addColumn<int>("scoring"); // 0: everyone scored, 1: ties and gaps, 2: out of range

    QTest::newRow("everyoneScored_sameAsWithout") << 0;
    QTest::newRow("tiesAndUnscored_sameAsWithout") << 1;
    QTest::newRow("outOfRange_sameAsWithout") << 2;
}

void GenerateLogTest::unticked()
{
    QFETCH(int, scoring);
    std::mt19937 random(2800 + std::uint32_t(scoring));
    int compared = 0;
    while (compared < 3) {
        const ClassState plain = Test::randomClass(random);
        // Large classes only take longer to say the same.
        if (plain.enabledGroups().isEmpty() || plain.roster.idToName.size() > 50)
            continue;
        ClassState scored = plain;
        for (const QString &name : plain.roster.idToName) {
            const int value = scoring == 0 ? int(random() % 10001)
                                           : (scoring == 1 ? int(random() % 3) * 5000 - 1 : -1000000000);
            scored.roster.scores.insert(name, value);
        }
        const std::uint32_t seed = random();
        const GenerateReport without = generatePlan(plain, seedSequence(seed));
        const GenerateReport with = generatePlan(scored, seedSequence(seed));
        QCOMPARE(with.plan, without.plan);
        QCOMPARE(generateLogLines(with, scored), generateLogLines(without, plain));
        QVERIFY(!with.scores);
        ++compared;
    }
}

QTEST_GUILESS_MAIN(GenerateLogTest)
#include "generatelog_test.moc"
