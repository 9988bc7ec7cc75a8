#include "classbuilder.h"
#include "groupingedits.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace Velmora;
using namespace Velmora::GroupingEdits;
using Velmora::Test::formatGrouping;
using Velmora::Test::parseGrouping;

class TestGroupingEdits : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void edit_data();
    void edit();
};

// Each row edits "grouping": a swap of the seats (g1,i1) and (g2,i2), or a move of seat (g1,i1)
// into group g2 whose capacity is `capacity`. A refused edit must hand back the grouping unchanged.
void TestGroupingEdits::edit_data()
{
    QTest::addColumn<QString>("grouping");
    QTest::addColumn<bool>("swap");
    QTest::addColumn<QList<int>>("args"); // g1, i1, g2, and i2 or capacity
    QTest::addColumn<int>("outcome");     // MoveOutcome; for swaps Moved or Invalid
    QTest::addColumn<QString>("expected");

    const int moved = int(MoveOutcome::Moved);
    const int full = int(MoveOutcome::TargetFull);
    const int invalid = int(MoveOutcome::Invalid);
    const QString start = u"1 2 3 | 4 5 | 6"_s;

    QTest::newRow("swap_withinGroup")
        << start << true << QList<int>{0, 0, 0, 2} << moved << u"3 2 1 | 4 5 | 6"_s;
    QTest::newRow("swap_acrossGroups")
        << start << true << QList<int>{0, 1, 2, 0} << moved << u"1 6 3 | 4 5 | 2"_s;
    QTest::newRow("swap_sameSeat_refused") << start << true << QList<int>{1, 1, 1, 1} << invalid << start;
    QTest::newRow("swap_emptySeat_refused") << start << true << QList<int>{0, 0, 2, 1} << invalid << start;
    QTest::newRow("move_intoGroupWithRoom")
        << start << false << QList<int>{0, 0, 1, 3} << moved << u"2 3 | 4 5 1 | 6"_s;
    QTest::newRow("move_intoFullGroup_refused") << start << false << QList<int>{0, 0, 1, 2} << full << start;
    QTest::newRow("move_fromLastSeat_leavesGroupEmpty")
        << start << false << QList<int>{2, 0, 0, 6} << moved << u"1 2 3 6 | 4 5 | "_s;
    QTest::newRow("move_ownGroup_refused") << start << false << QList<int>{0, 0, 0, 6} << invalid << start;
    QTest::newRow("move_outsideGrouping_refused")
        << start << false << QList<int>{0, 0, 3, 6} << invalid << start;
}

void TestGroupingEdits::edit()
{
    QFETCH(QString, grouping);
    QFETCH(bool, swap);
    QFETCH(QList<int>, args);
    QFETCH(int, outcome);
    QFETCH(QString, expected);

    const Grouping before = parseGrouping(grouping);
    if (swap) {
        const std::optional<Grouping> after = swapPersons(before, {args[0], args[1]}, {args[2], args[3]});
        QCOMPARE(after.has_value(), outcome == int(MoveOutcome::Moved));
        QCOMPARE(formatGrouping(after.value_or(before)), expected);
    } else {
        const MoveResult result = movePerson(before, {args[0], args[1]}, args[2], args[3]);
        QCOMPARE(int(result.outcome), outcome);
        QCOMPARE(formatGrouping(result.grouping), expected);
    }
    QCOMPARE(formatGrouping(before), grouping);
}

QTEST_APPLESS_MAIN(TestGroupingEdits)
#include "tst_groupingedits.moc"
