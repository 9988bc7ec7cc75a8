#include "classfixture.h"
#include "personnelreport.h"

#include <QtTest>

using namespace Qt::StringLiterals;
using namespace Velmora;
using Velmora::Test::classState;

// "persons/boys/girls/leaders/boarders" per group, then the totals, joined by blanks.
static QString countsText(const PersonnelReport &report)
{
    QStringList parts;
    QList<PersonnelCounts> all = report.groups();
    all.append(report.totals());
    for (const PersonnelCounts &c : all)
        parts.append(
            u"%1/%2/%3/%4/%5"_s.arg(c.persons).arg(c.boys).arg(c.girls).arg(c.leaders).arg(c.boarders));
    return parts.join(u' ');
}

class PersonnelReportTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void counts_data();
    void counts();
    void html_rowsByPositionWithTotalsAndSummary();
};

void PersonnelReportTest::counts_data()
{
    QTest::addColumn<QString>("grouping");
    QTest::addColumn<QStringList>("leaders");
    QTest::addColumn<QStringList>("boarders");
    QTest::addColumn<int>("boysInRoster"); // -1: all eight
    QTest::addColumn<QString>("expected");

    QTest::newRow("mixedGroups_countsPerGroupAndSummed")
        << "B1 B2 G1|G2 G3" << QStringList{u"B1"_s, u"G3"_s} << QStringList{u"G2"_s} << -1
        << "3/2/1/1/0 2/0/2/1/1 5/2/3/2/1";
    QTest::newRow("leaderWhoBoards_countsInBothColumnsOncePerson")
        << "B1 G1" << QStringList{u"B1"_s} << QStringList{u"B1"_s} << -1 << "2/1/1/1/1 2/1/1/1/1";
    QTest::newRow("emptyGroups_rowsOfZeros")
        << "||B1" << QStringList() << QStringList() << -1 << "0/0/0/0/0 0/0/0/0/0 1/1/0/0/0 1/1/0/0/0";
    QTest::newRow("leaderOutsideRoster_neverCounts")
        << "B1" << QStringList{u"某人"_s} << QStringList{u"某人"_s} << -1 << "1/1/0/0/0 1/1/0/0/0";
    // Counts follow the current roster, even when it changed after the grouping.
    QTest::newRow("rosterShrankSinceGrouping_splitFollowsCurrentBoys")
        << "B1 B2 B3|B4" << QStringList() << QStringList() << 2 << "3/2/1/0/0 1/0/1/0/0 4/2/2/0/0";
}

void PersonnelReportTest::counts()
{
    QFETCH(QString, grouping);
    QFETCH(QStringList, leaders);
    QFETCH(QStringList, boarders);
    QFETCH(int, boysInRoster);
    QFETCH(QString, expected);

    ClassState state = classState(grouping);
    state.roster.leaderNames = QSet<QString>(leaders.begin(), leaders.end());
    state.roster.boarderNames = QSet<QString>(boarders.begin(), boarders.end());
    if (boysInRoster >= 0)
        state.roster.maleNames = state.roster.maleNames.mid(0, boysInRoster);
    QCOMPARE(countsText(PersonnelReport(state.currentGrouping.members(), state.roster)), expected);
}

void PersonnelReportTest::html_rowsByPositionWithTotalsAndSummary()
{
    ClassState state = classState(u"B1 G1 G2|B2"_s);
    state.roster.leaderNames = {u"G1"_s};
    state.roster.boarderNames = {u"G1"_s, u"B2"_s};

    const QString expected =
        u"<h2>人员检查报告</h2><table border='1' cellpadding='4'>"
        u"<tr><th>组号</th><th>人数</th><th>男生</th><th>女生</th><th>组长</th><th>外宿生</th></tr>"
        u"<tr><td>1</td><td>3</td><td>1</td><td>2</td><td>1</td><td>1</td></tr>"
        u"<tr><td>2</td><td>1</td><td>1</td><td>0</td><td>0</td><td>1</td></tr>"
        u"<tr style='background-color:#E6E6E6; font-weight:bold;'><td>总计</td><td>4</td><td>2</td><td>2</td>"
        u"<td>1</td><td>2</td></tr></table>"
        u"<p>总人数: 4 (男生: 2, 女生: 2)</p><p>组长: 1, 外宿生: 2</p>"_s;
    QCOMPARE(PersonnelReport(state.currentGrouping.members(), state.roster).html(), expected);
}

QTEST_GUILESS_MAIN(PersonnelReportTest)
#include "personnelreport_test.moc"
