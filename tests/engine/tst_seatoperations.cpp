#include "classbuilder.h"
#include "groupingengine.h"

#include <QStringList>
#include <QTest>

#include <algorithm>
#include <random>

using namespace Qt::StringLiterals;
using namespace Velmora;
using Velmora::Test::formatGrouping;
using Velmora::Test::parseGrouping;

namespace {

// Boys 1..4 (男1..男4), girls 5..10 (女1..女6).
constexpr int Boys = 4;
constexpr int Girls = 6;

// "person:group:seat person:group:seat", numbers as stored in fixedPositions.
FixedPositionMap parseFixed(const QString &text)
{
    FixedPositionMap fixed;
    for (const QString &entry : text.split(u' ', Qt::SkipEmptyParts)) {
        const QStringList parts = entry.split(u':');
        fixed.insert(parts.at(0).toInt(), {parts.at(1).toInt(), parts.at(2).toInt()});
    }
    return fixed;
}

// Groups numbered in `groups` are enabled, in that order of positions.
ClassState classWith(const QString &groups, const QString &fixed)
{
    ClassState state = Test::makeClass(Boys, Girls);
    for (const QString &number : groups.split(u' ', Qt::SkipEmptyParts))
        Test::enableGroup(state, number.toInt(), 6);
    state.fixedPositions = parseFixed(fixed);
    return state;
}

QString formatPath(const QList<SwapStep> &path)
{
    QStringList steps;
    for (const SwapStep &s : path)
        steps.append(u"%1,%2>%3,%4"_s.arg(s.fromGroup).arg(s.fromSeat).arg(s.toGroup).arg(s.toSeat));
    return steps.join(u"; "_s);
}

struct Harness
{
    QStringList lines;
    GroupingEngine engine;
    Harness(const ClassState &state, const QString &grouping)
        : engine(
              state, [this](const QString &line) { lines.append(line); }, {}, seedSequence(1))
    {
        engine.workingGrouping() = parseGrouping(grouping);
    }
};

QList<int> genderCounts(const Grouping &grouping)
{
    QList<int> counts;
    for (const QList<int> &seats : grouping)
        counts.append(
            int(std::count_if(seats.cbegin(), seats.cend(), [](int p) { return p >= 1 && p <= Boys; })));
    return counts;
}

} // namespace

class TestSeatOperations : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void swapWithinGroup_data();
    void swapWithinGroup();
    void swapAcrossGroups_data();
    void swapAcrossGroups();
    void findSwapPath_data();
    void findSwapPath();
    void seatKey_data();
    void seatKey();
    void movePerson_data();
    void movePerson();
    void movePersonRandom_reportsOnlyRealMoves();
    void optimizeFixedPositions_data();
    void optimizeFixedPositions();
};

void TestSeatOperations::swapWithinGroup_data()
{
    QTest::addColumn<QString>("grouping");
    QTest::addColumn<int>("group");
    QTest::addColumn<int>("seatA");
    QTest::addColumn<int>("seatB");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QStringList>("log");

    QTest::newRow("firstGroup_exchangedWithSeatNumbers")
        << "1 5 6 | 2 7" << 0 << 0 << 2 << true << "6 5 1 | 2 7" << QStringList{u"组内交换: 位置1 ↔ 位置3"_s};
    QTest::newRow("boyAndGirl_exchangedInsideGroup")
        << "1 5 6 | 2 7" << 1 << 1 << 0 << true << "1 5 6 | 7 2" << QStringList{u"组内交换: 位置2 ↔ 位置1"_s};
    QTest::newRow("sameSeat_trueAndUnchanged")
        << "1 5 6 | 2 7" << 0 << 1 << 1 << true << "1 5 6 | 2 7" << QStringList{u"组内交换: 位置2 ↔ 位置2"_s};
    QTest::newRow("negativeGroup_refusedSilently")
        << "1 5" << -1 << 0 << 1 << false << "1 5" << QStringList{};
    QTest::newRow("groupPastEnd_refusedSilently")
        << "1 5 | 2" << 2 << 0 << 0 << false << "1 5 | 2" << QStringList{};
    QTest::newRow("seatPastEnd_refusedSilently")
        << "1 5 | 2" << 1 << 0 << 1 << false << "1 5 | 2" << QStringList{};
    QTest::newRow("negativeSeat_refusedSilently") << "1 5" << 0 << -1 << 0 << false << "1 5" << QStringList{};
}

void TestSeatOperations::swapWithinGroup()
{
    QFETCH(QString, grouping);
    QFETCH(int, group);
    QFETCH(int, seatA);
    QFETCH(int, seatB);
    QFETCH(bool, result);
    QFETCH(QString, after);
    QFETCH(QStringList, log);
    Harness h(classWith(u"1 2"_s, {}), grouping);
    QCOMPARE(h.engine.swapWithinGroup(group, seatA, seatB), result);
    QCOMPARE(formatGrouping(h.engine.workingGrouping()), after);
    QCOMPARE(h.lines, log);
}

void TestSeatOperations::swapAcrossGroups_data()
{
    QTest::addColumn<QString>("grouping");
    QTest::addColumn<int>("groupA");
    QTest::addColumn<int>("seatA");
    QTest::addColumn<int>("groupB");
    QTest::addColumn<int>("seatB");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QStringList>("log");

    QTest::newRow("twoBoys_exchanged") << "1 5 | 2 6" << 0 << 0 << 1 << 0 << true << "2 5 | 1 6"
                                       << QStringList{u"跨组交换: 组1位置1 ↔ 组2位置1"_s};
    QTest::newRow("girlAndEmptySeat_exchanged") << "1 5 | 2 0" << 0 << 1 << 1 << 1 << true << "1 0 | 2 5"
                                                << QStringList{u"跨组交换: 组1位置2 ↔ 组2位置2"_s};
    QTest::newRow("boyAndGirl_refusedWithError") << "1 5 | 2 6" << 0 << 0 << 1 << 1 << false << "1 5 | 2 6"
                                                 << QStringList{u"错误: 跨组交换需要同性别人员"_s};
    QTest::newRow("boyAndEmptySeat_refusedWithError")
        << "1 5 | 2 0" << 0 << 0 << 1 << 1 << false << "1 5 | 2 0"
        << QStringList{u"错误: 跨组交换需要同性别人员"_s};
    QTest::newRow("seatPastEnd_refusedSilently")
        << "1 5 | 2" << 0 << 0 << 1 << 1 << false << "1 5 | 2" << QStringList{};
    QTest::newRow("groupPastEnd_refusedSilently")
        << "1 5 | 2" << 0 << 0 << 2 << 0 << false << "1 5 | 2" << QStringList{};
}

void TestSeatOperations::swapAcrossGroups()
{
    QFETCH(QString, grouping);
    QFETCH(int, groupA);
    QFETCH(int, seatA);
    QFETCH(int, groupB);
    QFETCH(int, seatB);
    QFETCH(bool, result);
    QFETCH(QString, after);
    QFETCH(QStringList, log);
    Harness h(classWith(u"1 2"_s, {}), grouping);
    QCOMPARE(h.engine.swapAcrossGroups(groupA, seatA, groupB, seatB), result);
    QCOMPARE(formatGrouping(h.engine.workingGrouping()), after);
    QCOMPARE(h.lines, log);
}

void TestSeatOperations::findSwapPath_data()
{
    QTest::addColumn<QString>("grouping");
    QTest::addColumn<QString>("fixed");
    QTest::addColumn<int>("fromGroup");
    QTest::addColumn<int>("fromSeat");
    QTest::addColumn<int>("toGroup");
    QTest::addColumn<int>("toSeat");
    QTest::addColumn<QString>("path");

    QTest::newRow("startIsTarget_emptyPath") << "1 5 | 2 6"
                                             << "" << 0 << 0 << 0 << 0 << "";
    QTest::newRow("sameGroup_oneStep") << "1 5 6 | 2 7"
                                       << "" << 0 << 0 << 0 << 2 << "0,0>0,2";
    QTest::newRow("boyToBoyElsewhere_oneCrossStep") << "1 5 | 6 2"
                                                    << "" << 0 << 0 << 1 << 1 << "0,0>1,1";
    // The cross-group step must compare the mover, not the girl who sat on the first seat.
    QTest::newRow("boyToGirlElsewhere_viaFirstBoyThere") << "1 5 0 | 6 2 3 7"
                                                         << "" << 0 << 0 << 1 << 3 << "0,0>1,1; 1,1>1,3";
    QTest::newRow("boyToGirlInGroupWithoutBoys_noPath") << "1 5 | 6 7"
                                                        << "" << 0 << 0 << 1 << 0 << "";
    QTest::newRow("girlToBoyViaEmptySeat_emptySeatCountsAsGirl")
        << "5 1 | 2 0 3"
        << "" << 0 << 0 << 1 << 2 << "0,0>1,1; 1,1>1,2";
    QTest::newRow("girlToBoyInGroupWithoutGirls_noPath") << "5 1 | 2 3"
                                                         << "" << 0 << 0 << 1 << 1 << "";
    QTest::newRow("singleGroupTargetPastEnd_noPath") << "1 5 6"
                                                     << "" << 0 << 0 << 0 << 3 << "";
    QTest::newRow("targetGroupPastEnd_noPath") << "1 5 | 2"
                                               << "" << 0 << 0 << 2 << 0 << "";
    QTest::newRow("startOutsideGrouping_noPath") << "1 5 | 2"
                                                 << "" << 3 << 0 << 0 << 0 << "";
    // 男2 sits on his own fixed seat (group 2, seat 2); the path goes round him through 男3.
    QTest::newRow("fixedPersonOnOwnSeat_notPassedThrough")
        << "1 5 0 | 6 2 3 7"
        << "2:2:2" << 0 << 0 << 1 << 3 << "0,0>1,2; 1,2>1,3";
    // 男2 starts on his own fixed seat; the seats counted as open must not lose his.
    QTest::newRow("startOnOwnFixedSeat_reachesLastSeat") << "0 2 0 0 0 0"
                                                         << "2:1:2" << 0 << 1 << 0 << 5 << "0,1>0,5";
    QTest::newRow("fixedPersonElsewhere_passedThrough") << "1 5 0 | 6 2 3 7"
                                                        << "2:1:2" << 0 << 0 << 1 << 3 << "0,0>1,1; 1,1>1,3";
    QTest::newRow("fixedPersonOnTarget_reached") << "1 5 | 6 2"
                                                 << "2:2:2" << 0 << 0 << 1 << 1 << "0,0>1,1";
}

void TestSeatOperations::findSwapPath()
{
    QFETCH(QString, grouping);
    QFETCH(QString, fixed);
    QFETCH(int, fromGroup);
    QFETCH(int, fromSeat);
    QFETCH(int, toGroup);
    QFETCH(int, toSeat);
    QFETCH(QString, path);
    Harness h(classWith(u"1 2"_s, fixed), grouping);
    QCOMPARE(formatPath(h.engine.findSwapPath(fromGroup, fromSeat, toGroup, toSeat)), path);
    QCOMPARE(formatGrouping(h.engine.workingGrouping()), formatGrouping(parseGrouping(grouping)));
    QVERIFY(h.lines.isEmpty());
}

void TestSeatOperations::seatKey_data()
{
    QTest::addColumn<int>("group");
    QTest::addColumn<int>("seat");
    QTest::addColumn<QString>("key");
    QTest::newRow("firstGroupSeat3_zeroBased") << 0 << 3 << "0-3";
    QTest::newRow("group1Seat23_differsFromGroup12Seat3") << 1 << 23 << "1-23";
    QTest::newRow("group12Seat3_differsFromGroup1Seat23") << 12 << 3 << "12-3";
}

void TestSeatOperations::seatKey()
{
    QFETCH(int, group);
    QFETCH(int, seat);
    QFETCH(QString, key);
    QCOMPARE(GroupingEngine::seatKey(group, seat), key);
}

void TestSeatOperations::movePerson_data()
{
    QTest::addColumn<QString>("grouping");
    QTest::addColumn<int>("person");
    QTest::addColumn<int>("group");
    QTest::addColumn<int>("seat");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QStringList>("log");

    QTest::newRow("alreadyThere_trueAndSilent")
        << "1 5 | 2 6" << 1 << 0 << 0 << true << "1 5 | 2 6" << QStringList{};
    QTest::newRow("sameGroup_oneSwapThenSuccess")
        << "1 5 6 | 2 7" << 1 << 0 << 2 << true << "6 5 1 | 2 7"
        << QStringList{u"组内交换: 位置1 ↔ 位置3"_s, u"成功移动 男1 到组1位置3"_s};
    QTest::newRow("boyToBoySeat_oneCrossStep")
        << "1 5 | 6 2" << 1 << 1 << 1 << true << "2 5 | 6 1"
        << QStringList{u"跨组交换: 组1位置1 ↔ 组2位置2"_s, u"成功移动 男1 到组2位置2"_s};
    QTest::newRow("boyToGirlSeat_throughBoyOfThatGroup")
        << "1 5 0 | 6 2 3 7" << 1 << 1 << 3 << true << "2 5 0 | 6 7 3 1"
        << QStringList{u"跨组交换: 组1位置1 ↔ 组2位置2"_s, u"组内交换: 位置2 ↔ 位置4"_s,
                       u"成功移动 男1 到组2位置4"_s};
    QTest::newRow("boyToGirlSeatNoBoyThere_pathErrorUnchanged")
        << "1 5 0 | 6 7" << 1 << 1 << 0 << false << "1 5 0 | 6 7"
        << QStringList{u"错误: 无法找到从组1位置1到组2位置1的交换路径"_s};
    QTest::newRow("absentPerson_notFound")
        << "1 5 | 2 6" << 3 << 0 << 0 << false << "1 5 | 2 6" << QStringList{u"错误: 未找到人员 男3"_s};
    QTest::newRow("targetPastGroup_pathError")
        << "1 5 6" << 5 << 0 << 5 << false << "1 5 6"
        << QStringList{u"错误: 无法找到从组1位置2到组1位置6的交换路径"_s};
}

void TestSeatOperations::movePerson()
{
    QFETCH(QString, grouping);
    QFETCH(int, person);
    QFETCH(int, group);
    QFETCH(int, seat);
    QFETCH(bool, result);
    QFETCH(QString, after);
    QFETCH(QStringList, log);
    Harness h(classWith(u"1 2"_s, {}), grouping);
    QCOMPARE(h.engine.movePerson(person, group, seat), result);
    QCOMPARE(formatGrouping(h.engine.workingGrouping()), after);
    QCOMPARE(h.lines, log);
}

// Whatever the grouping, true must mean the person stands on the target, and no exchange may
// change how many boys a group holds.
void TestSeatOperations::movePersonRandom_reportsOnlyRealMoves()
{
    std::mt19937 random(20251007);
    for (int round = 0; round < 500; ++round) {
        const int groups = 1 + int(random() % 4);
        QList<int> people;
        for (int p = 1; p <= Boys + Girls; ++p)
            people.append(p);
        std::shuffle(people.begin(), people.end(), random);
        Grouping grouping(groups);
        for (int p : std::as_const(people))
            grouping[int(random() % groups)].append(random() % 4 == 0 ? 0 : p);
        const int person = 1 + int(random() % (Boys + Girls));
        const int group = int(random() % (groups + 1));
        const int seat = int(random() % 5);

        Harness h(classWith(u"1 2 3 4"_s, {}), formatGrouping(grouping));
        const bool moved = h.engine.movePerson(person, group, seat);
        const Grouping &after = h.engine.workingGrouping();
        const QByteArray context = formatGrouping(grouping).toUtf8() + " move " + QByteArray::number(person);
        QVERIFY2(!moved || (group < after.size() && seat < after.at(group).size() &&
                            after.at(group).at(seat) == person),
                 context.constData());
        if (!moved)
            QVERIFY2(after == grouping, context.constData());
        QVERIFY2(genderCounts(after) == genderCounts(grouping), context.constData());
        for (int g = 0; g < groups; ++g)
            QCOMPARE(after.at(g).size(), grouping.at(g).size());
    }
}

void TestSeatOperations::optimizeFixedPositions_data()
{
    QTest::addColumn<QString>("groups");
    QTest::addColumn<QString>("grouping");
    QTest::addColumn<QString>("fixed");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QStringList>("log");

    const QString opening = u"开始优化固定位置分配..."_s;
    QTest::newRow("noFixedPositions_openingAndSummaryOnly")
        << "1 2"
        << "1 5 | 2 6"
        << ""
        << "1 5 | 2 6" << QStringList{opening, u"固定位置优化完成: 成功 0, 失败 0"_s};
    QTest::newRow("allInPlace_silentSuccesses")
        << "1 2"
        << "1 5 | 2 6"
        << "1:1:1 6:2:2"
        << "1 5 | 2 6" << QStringList{opening, u"固定位置优化完成: 成功 2, 失败 0"_s};
    QTest::newRow("twoMisplaced_lowerPersonIdFirst") << "1 2"
                                                     << "1 5 2 | 6 3 7"
                                                     << "3:1:1 2:2:1"
                                                     << "3 5 1 | 2 6 7"
                                                     << QStringList{opening,
                                                                    u"跨组交换: 组1位置3 ↔ 组2位置2"_s,
                                                                    u"组内交换: 位置2 ↔ 位置1"_s,
                                                                    u"成功移动 男2 到组2位置1"_s,
                                                                    u"组内交换: 位置3 ↔ 位置1"_s,
                                                                    u"成功移动 男3 到组1位置1"_s,
                                                                    u"固定位置优化完成: 成功 2, 失败 0"_s};
    QTest::newRow("twoOnOneSeat_higherTakesItBothCounted")
        << "1 2"
        << "1 5 | 2 6"
        << "1:1:1 2:1:1"
        << "2 5 | 1 6"
        << QStringList{opening, u"跨组交换: 组2位置1 ↔ 组1位置1"_s, u"成功移动 男2 到组1位置1"_s,
                       u"固定位置优化完成: 成功 2, 失败 0"_s};
    QTest::newRow("seatBeyondGroup_pathErrorAndFailure")
        << "1 2"
        << "1 5 | 2 6"
        << "5:1:6"
        << "1 5 | 2 6"
        << QStringList{opening, u"错误: 无法找到从组1位置2到组1位置6的交换路径"_s,
                       u"固定位置分配失败: 女1 到组1位置6"_s, u"固定位置优化完成: 成功 0, 失败 1"_s};
    QTest::newRow("disabledGroup_failureWithoutMove")
        << "1 3"
        << "1 5 | 2 6"
        << "1:2:1"
        << "1 5 | 2 6"
        << QStringList{opening, u"固定位置分配失败: 男1 到组2位置1"_s, u"固定位置优化完成: 成功 0, 失败 1"_s};
    QTest::newRow("groupNumberOutOfRange_failureWithoutMove")
        << "1 2"
        << "1 5 | 2 6"
        << "1:11:1"
        << "1 5 | 2 6"
        << QStringList{opening, u"固定位置分配失败: 男1 到组11位置1"_s,
                       u"固定位置优化完成: 成功 0, 失败 1"_s};
    // Group 3 is the second enabled group, so its seat 1 is position 2, seat 1.
    QTest::newRow("groupAboveDisabledOne_targetsItsPosition")
        << "1 3"
        << "1 6 | 5 2"
        << "6:3:1"
        << "1 5 | 6 2"
        << QStringList{opening, u"跨组交换: 组1位置2 ↔ 组2位置1"_s, u"成功移动 女2 到组2位置1"_s,
                       u"固定位置优化完成: 成功 1, 失败 0"_s};
    QTest::newRow("personNotSeated_errorAndFailure")
        << "1 2"
        << "1 5 | 2 6"
        << "3:1:1"
        << "1 5 | 2 6"
        << QStringList{opening, u"错误: 人员 男3 不在当前分组中"_s, u"固定位置优化完成: 成功 0, 失败 1"_s};
    QTest::newRow("pathAroundSeatedFixedPerson_bothHold")
        << "1 2"
        << "1 5 0 | 6 2 3 7"
        << "2:2:2 1:2:4"
        << "3 5 0 | 6 2 7 1"
        << QStringList{opening, u"跨组交换: 组1位置1 ↔ 组2位置3"_s, u"组内交换: 位置3 ↔ 位置4"_s,
                       u"成功移动 男1 到组2位置4"_s, u"固定位置优化完成: 成功 2, 失败 0"_s};
}

void TestSeatOperations::optimizeFixedPositions()
{
    QFETCH(QString, groups);
    QFETCH(QString, grouping);
    QFETCH(QString, fixed);
    QFETCH(QString, after);
    QFETCH(QStringList, log);
    Harness h(classWith(groups, fixed), grouping);
    h.engine.optimizeFixedPositions();
    QCOMPARE(h.lines, log);
    QCOMPARE(formatGrouping(h.engine.workingGrouping()), after);
}

QTEST_GUILESS_MAIN(TestSeatOperations)
#include "tst_seatoperations.moc"
