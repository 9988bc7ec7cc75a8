#include "classbuilder.h"
#include "groupingengine.h"
#include "groupingscore.h"
#include "persongroupmap.h"
#include "requirementfeasibility.h"
#include "requirementrules.h"
#include "rulerepair.h"
#include "runselection.h"

#include <QJsonDocument>
#include <QTest>

#include <random>

using namespace Qt::StringLiterals;
using namespace Velmora;
using Velmora::Test::formatGrouping;
using Velmora::Test::parseGrouping;

namespace {

// Boys 男1..男4 are 1..4, girls 女1..女5 are 5..9; two groups of four seats; 男1 and 男2 lead.
ClassState smallClass(const QByteArray &extra)
{
    QByteArray json = R"({"boys": 4, "girls": 5, "groups": [[1, 4], [2, 4]], "leaders": ["男1", "男2"])";
    if (!extra.isEmpty())
        json += ", " + extra;
    return Test::classFromJson(QJsonDocument::fromJson(json + '}').object());
}

QString formatScore(const GroupingScore &s)
{
    return u"%1 %2 %3 %4 %5"_s.arg(s.brokenRequirements)
        .arg(s.fixedAway)
        .arg(s.leaderProblems)
        .arg(s.boarderSpread)
        .arg(s.genderShortfall);
}

int brokenRequirements(const ClassState &state, const Grouping &grouping)
{
    return int(
        RequirementRules::findBreaches(state.mustTogether, state.mustSeparate, buildPersonGroupMap(grouping))
            .size());
}

} // namespace

class TestGroupRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void score_data();
    void score();
    void infeasible_data();
    void infeasible();
    void repair_data();
    void repair();
    void repair_randomClassesKeepInvariants();
    void generate_sameSeedSameChoiceAndLog();
};

void TestGroupRules::score_data()
{
    QTest::addColumn<QByteArray>("extra");
    QTest::addColumn<QString>("grouping");
    QTest::addColumn<QString>("expected"); // broken, fixed away, leaders, boarder spread, shortfall

    const QString base = u"1 3 5 7 | 2 4 6 8"_s;
    QTest::newRow("allKept_zero") << QByteArray(R"("together": [["男1", "女1"]])") << base << u"0 0 0 0 0"_s;
    QTest::newRow("togetherSplit_one")
        << QByteArray(R"("together": [["男1", "女2"]])") << base << u"1 0 0 0 0"_s;
    QTest::newRow("twoTogetherInOneGroup_one")
        << QByteArray(R"("together": [["男1", "女1"], ["男3", "女3"]])") << base << u"1 0 0 0 0"_s;
    QTest::newRow("splitAndSharing_both")
        << QByteArray(R"("together": [["男1", "女1"], ["男3", "女2"]])") << base << u"2 0 0 0 0"_s;
    QTest::newRow("separateThreeTogether_onePerRequirement")
        << QByteArray(R"("separate": [["男1", "男3", "女1"], ["男2", "女4"]])") << base << u"2 0 0 0 0"_s;
    QTest::newRow("unseatedTogetherMember_broken")
        << QByteArray(R"("together": [["男1", "女5"]])") << base << u"1 0 0 0 0"_s;
    QTest::newRow("unseatedSeparateMember_kept")
        << QByteArray(R"("separate": [["男1", "女5"]])") << base << u"0 0 0 0 0"_s;
    QTest::newRow("fixedInOtherGroup_away")
        << QByteArray(R"("fixed": [["男1", 2, 1]])") << base << u"0 1 0 0 0"_s;
    QTest::newRow("fixedInOwnGroupOtherSeat_kept")
        << QByteArray(R"("fixed": [["男1", 1, 4]])") << base << u"0 0 0 0 0"_s;
    QTest::newRow("fixedToDisabledGroup_ignored")
        << QByteArray(R"("fixed": [["男1", 5, 1]])") << base << u"0 0 0 0 0"_s;
    QTest::newRow("twoLeadersAndNone_bothGroups") << QByteArray() << u"1 2 5 7 | 3 4 6 8"_s << u"0 0 2 0 0"_s;
    QTest::newRow("boardersTwoAndNone_spreadTwo")
        << QByteArray(R"("boarders": ["男3", "女1"])") << base << u"0 0 0 2 0"_s;
    QTest::newRow("boardersOneEach_spreadZero")
        << QByteArray(R"("boarders": ["男3", "女2"])") << base << u"0 0 0 0 0"_s;
    QTest::newRow("belowTargets_shortfallCounted")
        << QByteArray(R"("groups": [[1, 4, 3, 2], [2, 4, 1, 3]])") << base << u"0 0 0 0 2"_s;
}

void TestGroupRules::score()
{
    QFETCH(QByteArray, extra);
    QFETCH(QString, grouping);
    QFETCH(QString, expected);
    const ClassState state = smallClass(extra);
    const GroupingScore score = scoreGrouping(state, parseGrouping(grouping));
    QCOMPARE(formatScore(score), expected);
    // The live note after a hand adjustment counts what the score counts.
    QCOMPARE(RequirementRules::brokenCount(state.mustTogether, state.mustSeparate,
                                           buildPersonGroupMap(parseGrouping(grouping))),
             score.brokenRequirements);
}

void TestGroupRules::infeasible_data()
{
    QTest::addColumn<QByteArray>("extra");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("moreTogetherThanGroups")
        << QByteArray(R"("together": [["男1", "男3"], ["男2", "男4"], ["女1", "女2"]])")
        << QStringList{u"必须同组要求无法全部满足（3 个要求，只有 2 个启用的分组）"_s};
    QTest::newRow("moreMembersThanSeats")
        << QByteArray(R"("together": [["男3", "男4", "女1", "女2", "女3"]])")
        << QStringList{u"必须同组要求无法满足（5 人，分组最多 4 个座位）: 男3 男4 女1 女2 女3 "_s};
    QTest::newRow("togetherFixedToTwoGroups")
        << QByteArray(R"("together": [["男3", "女1"]], "fixed": [["男3", 1, 1], ["女1", 2, 1]])")
        << QStringList{u"必须同组要求无法满足（男3 与 女1 固定在不同的组）: 男3 女1 "_s};
    QTest::newRow("separateFixedToOneGroup")
        << QByteArray(R"("separate": [["男3", "女1"]], "fixed": [["男3", 1, 1], ["女1", 1, 2]])")
        << QStringList{u"不能同组要求无法满足（男3 与 女1 固定在同一组）: 男3 女1 "_s};
    QTest::newRow("personInTwoTogether")
        << QByteArray(R"("together": [["男3", "女1"], ["女1", "女2"]])")
        << QStringList{u"必须同组要求无法满足（女1 也在另一个必须同组要求中）: 女1 女2 "_s};
    // Several shared persons: the first in entry order is named, in every process alike.
    QTest::newRow("manyInTwoTogether_firstInEntryOrder")
        << QByteArray(R"("groups": [[1, 9], [2, 9]], "together": [["男3", "男4", "女1", "女2", "女3", "女4"],
                      ["女4", "女3", "女2", "女1", "男4", "男3"]])")
        << QStringList{u"必须同组要求无法满足（女4 也在另一个必须同组要求中）: 女4 女3 女2 女1 男4 男3 "_s};
    QTest::newRow("togetherOfTheOnlyLeaders")
        << QByteArray(R"("together": [["男1", "男2"]])")
        << QStringList{u"必须同组要求无法满足（2 个组长同组会使其他组缺少组长）: 男1 男2 "_s};
    QTest::newRow("separateContradictsTogether")
        << QByteArray(R"("together": [["男3", "女1"]], "separate": [["男3", "女1", "女2"]])")
        << QStringList{u"不能同组要求无法满足（与必须同组要求 男3 女1 矛盾）: 男3 女1 女2 "_s};
    // A fixed seat the pipeline refuses holds nobody anywhere.
    QTest::newRow("fixedToDisabledGroup_feasible")
        << QByteArray(R"("together": [["男3", "女1"]], "fixed": [["男3", 5, 1], ["女1", 2, 1]])")
        << QStringList{};
    QTest::newRow("feasible_nothing")
        << QByteArray(R"("together": [["男3", "女1"]], "separate": [["男1", "男2", "女2"]])")
        << QStringList{};
}

void TestGroupRules::infeasible()
{
    QFETCH(QByteArray, extra);
    QFETCH(QStringList, expected);
    QCOMPARE(findInfeasibleRequirements(smallClass(extra)), expected);
}

void TestGroupRules::repair_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("grouping");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("lines");

    const QByteArray small =
        R"({"boys": 4, "girls": 5, "groups": [[1, 4], [2, 4]], "leaders": ["男1", "男2"], )";
    // 男2 is the only leader of the second group, so 男4 is the boy 男3 can trade places with.
    QTest::newRow("splitPair_oneExchange")
        << small + R"("together": [["男3", "女1"]]})" << u"1 3 6 7 | 2 4 5 8"_s << u"1 4 6 7 | 2 3 5 8"_s
        << QStringList{u"调整: 男3 与 男4 交换，以满足要求"_s};
    QTest::newRow("fixedMember_theOtherMoves")
        << small + R"("together": [["男3", "女1"]], "fixed": [["男3", 1, 2]]})" << u"1 3 6 7 | 2 4 5 8"_s
        << u"1 3 5 7 | 2 4 6 8"_s << QStringList{u"调整: 女1 与 女2 交换，以满足要求"_s};
    QTest::newRow("soleLeaders_stayApart")
        << small + R"("together": [["男1", "男2"]]})" << u"1 3 5 6 | 2 4 7 8"_s << u"1 3 5 6 | 2 4 7 8"_s
        << QStringList{u"无法满足的要求: 男1 男2 "_s};
    // 男4 is fixed and the only girls beside him are a pair of their own: 女1 can join him only if
    // that pair moves on as well.
    QTest::newRow("partnersPaired_twoExchanges")
        << QByteArray(R"({"boys": 6, "girls": 6, "groups": [[1, 4], [2, 4], [3, 4]],
                          "leaders": ["男1", "男2", "男3"], "fixed": [["男4", 1, 2]],
                          "together": [["女1", "男4"], ["女2", "女3"]]})")
        << u"1 4 8 9 | 2 5 7 10 | 3 6 11 12"_s << u"1 4 7 10 | 2 5 8 9 | 3 6 11 12"_s
        << QStringList{u"调整: 女1 与 女2 交换，以满足要求"_s, u"调整: 女3 与 女4 交换，以满足要求"_s};
}

void TestGroupRules::repair()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, grouping);
    QFETCH(QString, expected);
    QFETCH(QStringList, lines);
    const ClassState state = Test::classFromJson(QJsonDocument::fromJson(json).object());
    Grouping repaired = parseGrouping(grouping);
    QCOMPARE(repairGrouping(state, repaired), lines);
    QCOMPARE(formatGrouping(repaired), expected);
}

void TestGroupRules::repair_randomClassesKeepInvariants()
{
    std::mt19937 random(777);
    int exchanges = 0;
    for (int caseNumber = 0; caseNumber < 200; ++caseNumber) {
        const ClassState state = Test::randomClass(random);
        const QByteArray context = "case " + QByteArray::number(caseNumber);
        GroupingEngine engine(
            state, [](const QString &) {}, [](const QString &) {}, seedSequence(std::uint32_t(random())));
        const Grouping before = engine.run();
        Grouping after = before;
        const QStringList lines = repairGrouping(state, after);

        QCOMPARE(after.size(), before.size());
        for (int g = 0; g < before.size(); ++g) {
            const auto boys = [&](const QList<int> &group) {
                return std::count_if(group.cbegin(), group.cend(),
                                     [&](int p) { return state.roster.isBoy(p); });
            };
            const auto leaders = [&](const QList<int> &group) {
                return std::count_if(group.cbegin(), group.cend(),
                                     [&](int p) { return state.roster.isLeader(p); });
            };
            QVERIFY2(after.at(g).size() == before.at(g).size(), context.constData());
            QVERIFY2(boys(after.at(g)) == boys(before.at(g)), context.constData());
            QVERIFY2(leaders(before.at(g)) == 0 || leaders(after.at(g)) > 0, context.constData());
            for (int i = 0; i < before.at(g).size(); ++i) {
                if (state.fixedPositions.contains(before.at(g).at(i)))
                    QVERIFY2(after.at(g).at(i) == before.at(g).at(i), context.constData());
            }
        }
        QList<int> seatedBefore;
        for (const QList<int> &group : before)
            seatedBefore += group;
        QList<int> seatedAfter;
        for (const QList<int> &group : after)
            seatedAfter += group;
        std::sort(seatedBefore.begin(), seatedBefore.end());
        std::sort(seatedAfter.begin(), seatedAfter.end());
        QVERIFY2(seatedAfter == seatedBefore, context.constData());

        const int brokenAfter = brokenRequirements(state, after);
        QVERIFY2(brokenAfter <= brokenRequirements(state, before), context.constData());
        const auto unmet = std::count_if(lines.cbegin(), lines.cend(), [](const QString &line) {
            return line.startsWith(u"无法满足的要求: "_s);
        });
        QVERIFY2(unmet == brokenAfter, context.constData());
        exchanges += int(lines.size() - unmet);
    }
    // The random classes must actually exercise the exchanges.
    QVERIFY(exchanges > 50);
}

void TestGroupRules::generate_sameSeedSameChoiceAndLog()
{
    ClassState state = Test::makeClass(12, 12);
    for (int number = 1; number <= 4; ++number)
        Test::enableGroup(state, number, 6, 3, 3);
    for (const char *name : {"男1", "男2", "女1", "女2"})
        state.roster.leaderNames.insert(QString::fromUtf8(name));
    state.mustTogether = {{3, 15}, {4, 16}, {5, 6}};
    state.mustSeparate = {{7, 8, 17}, {9, 18, 19}};

    const SelectedGrouping first = generateBestGrouping(state, seedSequence(99), {});
    const SelectedGrouping second = generateBestGrouping(state, seedSequence(99), {});
    QCOMPARE(formatGrouping(first.grouping), formatGrouping(second.grouping));
    QCOMPARE(first.log, second.log);
    QCOMPARE(first.runs, second.runs);

    // The narration is exactly that of one run: the run made with the chosen run's seed.
    const QString comparison = u"已比较 %1 次随机分组，选用要求满足最多的一次"_s.arg(first.runs);
    const qsizetype end = first.log.indexOf(comparison);
    QVERIFY(end > 0);
    QCOMPARE(first.log.count(u"分组完成"_s), 1);
    const SeedSource seeds = seedSequence(99);
    bool found = false;
    for (int run = 0; run < first.runs && !found; ++run) {
        QStringList narration;
        GroupingEngine engine(
            state, [&](const QString &line) { narration.append(line); }, {}, seedSequence(seeds()));
        engine.run();
        found = narration == first.log.mid(0, end);
    }
    QVERIFY(found);
}

QTEST_GUILESS_MAIN(TestGroupRules)
#include "tst_grouprules.moc"
