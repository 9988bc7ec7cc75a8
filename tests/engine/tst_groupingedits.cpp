#include "classbuilder.h"
#include "groupingedits.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace Velmora;
using namespace Velmora::GroupingEdits;
using Velmora::Test::formatGrouping;
using Velmora::Test::parseGrouping;

using FixedSeats = QMap<PersonId, SeatRef>;

class TestGroupingEdits : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void edit_data();
    void edit();
};

// Each row edits a plan of groups 2, 4 and 7 (the teacher's numbers; 0 is an empty seat): a swap
// of the seats (g1,s1) and (g2,s2), or a move of seat (g1,s1) into group g2. A refused edit must
// hand back the plan unchanged, and nobody but the persons named may change seat.
void TestGroupingEdits::edit_data()
{
    QTest::addColumn<QString>("plan");
    QTest::addColumn<bool>("swap");
    QTest::addColumn<QList<int>>("args"); // g1, s1, g2, and s2 for a swap
    QTest::addColumn<FixedSeats>("fixed");
    QTest::addColumn<int>("outcome"); // MoveOutcome; for swaps Moved or Invalid
    QTest::addColumn<QString>("expected");

    const int moved = int(MoveOutcome::Moved);
    const int full = int(MoveOutcome::TargetFull);
    const int invalid = int(MoveOutcome::Invalid);
    const QString start = u"1 2 3 | 4 5 0 | 6 0"_s;

    QTest::newRow("swap_withinGroup_keepsOthers")
        << start << true << QList<int>{2, 1, 2, 3} << FixedSeats{} << moved << u"3 2 1 | 4 5 0 | 6 0"_s;
    QTest::newRow("swap_acrossGroups_eachTakesTheOthersSeat")
        << start << true << QList<int>{2, 2, 7, 1} << FixedSeats{} << moved << u"1 6 3 | 4 5 0 | 2 0"_s;
    QTest::newRow("swap_sameSeat_refused")
        << start << true << QList<int>{4, 2, 4, 2} << FixedSeats{} << invalid << start;
    QTest::newRow("swap_emptySeat_refused")
        << start << true << QList<int>{2, 1, 4, 3} << FixedSeats{} << invalid << start;
    QTest::newRow("swap_positionNumberInsteadOfGroup_refused")
        << start << true << QList<int>{1, 1, 2, 1} << FixedSeats{} << invalid << start;
    QTest::newRow("move_takesFreeSeat_leavesGap")
        << start << false << QList<int>{2, 1, 4} << FixedSeats{} << moved << u"0 2 3 | 4 5 1 | 6 0"_s;
    QTest::newRow("move_fixedPersonBehindGap_staysOnSeat")
        << u"1 2 3 | 4 5 0 | 6 0"_s << false << QList<int>{2, 2, 7} << FixedSeats{{3, {2, 3}}} << moved
        << u"1 0 3 | 4 5 0 | 6 2"_s;
    QTest::newRow("move_skipsSomeonesFixedSeat")
        << u"1 2 3 | 4 0 0 | 6 0"_s << false << QList<int>{2, 1, 4} << FixedSeats{{9, {4, 2}}} << moved
        << u"0 2 3 | 4 0 1 | 6 0"_s;
    QTest::newRow("move_onlyFixedSeatFree_full")
        << start << false << QList<int>{2, 1, 7} << FixedSeats{{9, {7, 2}}} << full << start;
    QTest::newRow("move_intoFullGroup_refused")
        << start << false << QList<int>{4, 1, 2} << FixedSeats{} << full << start;
    QTest::newRow("move_ownGroup_refused")
        << start << false << QList<int>{2, 1, 2} << FixedSeats{} << invalid << start;
    QTest::newRow("move_emptySeat_refused")
        << start << false << QList<int>{4, 3, 7} << FixedSeats{} << invalid << start;
    QTest::newRow("move_outsidePlan_refused")
        << start << false << QList<int>{2, 1, 3} << FixedSeats{} << invalid << start;
}

void TestGroupingEdits::edit()
{
    QFETCH(QString, plan);
    QFETCH(bool, swap);
    QFETCH(QList<int>, args);
    QFETCH(FixedSeats, fixed);
    QFETCH(int, outcome);
    QFETCH(QString, expected);

    const auto seatsOf = [](const SeatingPlan &p) {
        Grouping seats;
        for (int position = 0; position < p.groupCount(); ++position)
            seats.append(p.seatsAt(position));
        return formatGrouping(seats);
    };
    const SeatingPlan before = SeatingPlan::fromSeats({2, 4, 7}, parseGrouping(plan));
    if (swap) {
        const std::optional<SeatingPlan> after = swapPersons(before, {args[0], args[1]}, {args[2], args[3]});
        QCOMPARE(after.has_value(), outcome == int(MoveOutcome::Moved));
        QCOMPARE(seatsOf(after.value_or(before)), expected);
    } else {
        const MoveResult result = movePerson(before, {args[0], args[1]}, args[2], fixed);
        QCOMPARE(int(result.outcome), outcome);
        QCOMPARE(seatsOf(result.plan), expected);
        if (result.outcome == MoveOutcome::Moved)
            QCOMPARE(result.plan.occupant(result.seat), before.occupant({args[0], args[1]}));
    }
    QCOMPARE(seatsOf(before), plan);
}

QTEST_APPLESS_MAIN(TestGroupingEdits)
#include "tst_groupingedits.moc"
