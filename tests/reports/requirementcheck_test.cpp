#include "classfixture.h"
#include "groupdetails.h"
#include "persongroupmap.h"
#include "requirementcheck.h"

#include <QtTest>

Q_DECLARE_METATYPE(Velmora::ClassState)

using namespace Qt::StringLiterals;
using namespace Velmora;
using Velmora::Test::classState;

class RequirementCheckTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void personGroupMap_laterPositionWinsAndUnseatedAbsent();
    void checkLines_data();
    void checkLines();
    void detailsText_data();
    void detailsText();
};

void RequirementCheckTest::personGroupMap_laterPositionWinsAndUnseatedAbsent()
{
    const PersonGroupMap map = buildPersonGroupMap({{1, 2}, {}, {3, 1}});
    QCOMPARE(map, (PersonGroupMap{{1, 2}, {2, 0}, {3, 2}}));
    QCOMPARE(groupPositionOf(map, 4), -1);
    QVERIFY(!map.contains(4));
}

void RequirementCheckTest::checkLines_data()
{
    QTest::addColumn<QString>("grouping");
    QTest::addColumn<QString>("together");
    QTest::addColumn<QString>("separate");
    QTest::addColumn<QStringList>("expected"); // between the opening line and the verdict

    QTest::newRow("noRequirements_allSatisfied") << "B1 G1|B2 G2"
                                                 << ""
                                                 << "" << QStringList();
    QTest::newRow("togetherInOneGroup_satisfied") << "B1 G1|B2 G2"
                                                  << "B2 G2"
                                                  << "" << QStringList();
    QTest::newRow("togetherSplit_oneLineListingAllMembers")
        << "B1 G1|B2 G2"
        << "B1 G2 G1"
        << "" << QStringList{u"必须同组要求未满足: B1 G2 G1 "_s};
    QTest::newRow("threeTogetherAtSamePosition_threePairLines")
        << "|||B4|B1 B2 B3 G1 G2 G3"
        << "B1 G1;B2 G2;B3 G3"
        << ""
        << QStringList{u"不同要求组在同一组: 要求组1 和 要求组2 都在组 5"_s,
                       u"不同要求组在同一组: 要求组1 和 要求组3 都在组 5"_s,
                       u"不同要求组在同一组: 要求组2 和 要求组3 都在组 5"_s};
    QTest::newRow("splitTogetherBesideAnother_ownLineThenPairLine")
        << "B1 B2|G1"
        << "B1 G1;B2"
        << ""
        << QStringList{u"必须同组要求未满足: B1 G1 "_s, u"不同要求组在同一组: 要求组1 和 要求组2 都在组 1"_s};
    QTest::newRow("singleMemberTogether_satisfiedButPaired")
        << "B1 B2|G1"
        << "B1;B2;G1"
        << "" << QStringList{u"不同要求组在同一组: 要求组1 和 要求组2 都在组 1"_s};
    QTest::newRow("separateThreeInOneGroup_oneLine")
        << "B1 B2 B3|G1"
        << ""
        << "B1 B2 B3" << QStringList{u"不能同组要求未满足: B1 B2 B3 "_s};
    QTest::newRow("separateApart_satisfied") << "B1 B2|B3"
                                             << ""
                                             << "B1 B3" << QStringList();
    QTest::newRow("linesInRuleOrder_togetherPairsSeparate")
        << "B1 B2 B3|G1"
        << "B1 G1;B2"
        << "B2 B3"
        << QStringList{u"必须同组要求未满足: B1 G1 "_s, u"不同要求组在同一组: 要求组1 和 要求组2 都在组 1"_s,
                       u"不能同组要求未满足: B2 B3 "_s};
    QTest::newRow("unknownPerson_emptyName") << "B1|G1"
                                             << "B1 X"
                                             << "" << QStringList{u"必须同组要求未满足: B1  "_s};

    // Unseated persons sit in no group: they never look like members of the first one.
    QTest::newRow("togetherWithUnseatedMember_notMet") << "B1|B2|B3|B4"
                                                       << "B4 G8"
                                                       << "" << QStringList{u"必须同组要求未满足: B4 G8 "_s};
    QTest::newRow("togetherAllUnseated_notMet") << "B1|B2"
                                                << "G7 G8"
                                                << "" << QStringList{u"必须同组要求未满足: G7 G8 "_s};
    QTest::newRow("separateBothUnseated_satisfied") << "B1|B2"
                                                    << ""
                                                    << "G7 G8" << QStringList();
    QTest::newRow("separateUnseatedBesideFirstGroup_satisfied") << "B1|B2"
                                                                << ""
                                                                << "B1 G8" << QStringList();
    QTest::newRow("togetherFirstMemberUnseated_noPairLine")
        << "B1 G1|B2"
        << "G8 B1;B1 G1"
        << "" << QStringList{u"必须同组要求未满足: G8 B1 "_s};
    QTest::newRow("emptyGrouping_onlyUnseatedFindings")
        << "||"
        << "B1 B2;G1 G2"
        << "B3 B4" << QStringList{u"必须同组要求未满足: B1 B2 "_s, u"必须同组要求未满足: G1 G2 "_s};
}

void RequirementCheckTest::checkLines()
{
    QFETCH(QString, grouping);
    QFETCH(QString, together);
    QFETCH(QString, separate);
    QFETCH(QStringList, expected);

    const RequirementCheckResult result = checkRequirements(classState(grouping, together, separate));
    QStringList lines = expected;
    lines.prepend(u"开始检查要求..."_s);
    lines.append(expected.isEmpty() ? u"所有要求已满足"_s : u"部分要求未满足"_s);
    QCOMPARE(result.lines, lines);
    QCOMPARE(result.allSatisfied, expected.isEmpty());
}

void RequirementCheckTest::detailsText_data()
{
    QTest::addColumn<ClassState>("state");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("expected"); // "-" for nothing

    const QString together = u"<br><font color='red'>警告: 必须同组要求未满足</font>"_s;
    const QString separate = u"<br><font color='red'>警告: 不能同组要求未满足</font>"_s;

    QTest::newRow("nothingBroken_headingAndNamesEachFollowedByBlank")
        << classState(u"B1 G1|B2 G2"_s, u"B2 G2"_s, u"B1 B2"_s) << 1 << u"<b>组 2 详情:</b><br>B2 G2 "_s;
    QTest::newRow("emptyGroup_headingOnly") << classState(u"B1||B2"_s) << 1 << u"<b>组 2 详情:</b><br>"_s;

    ClassState gapped = classState(u"B1 B2|G1 G2 G3"_s);
    for (int i = 0; i < GroupCount; ++i)
        gapped.groupConfigs[i].enabled = i == 1 || i == 4;
    QTest::newRow("groups2And5_headingUsesPositionNumber")
        << gapped << 1 << u"<b>组 2 详情:</b><br>G1 G2 G3 "_s;

    QTest::newRow("togetherBrokenElsewhere_warningInEveryRow")
        << classState(u"B1|B2|B3"_s, u"B1 B3"_s) << 1 << u"<b>组 2 详情:</b><br>B2 "_s + together;
    QTest::newRow("separateThreeTogether_oneWarning") << classState(u"B1 B2 B3|G1"_s, {}, u"B1 B2 B3"_s) << 0
                                                      << u"<b>组 1 详情:</b><br>B1 B2 B3 "_s + separate;
    QTest::newRow("twoBrokenOfEachKind_oneWarningEachInListOrder")
        << classState(u"B1 B2|G1 G2"_s, u"B1 G1;B2 G2"_s, u"B1 B2;G1 G2"_s) << 0
        << u"<b>组 1 详情:</b><br>B1 B2 "_s + together + together + separate + separate;
    QTest::newRow("togetherWithUnseatedMember_warning")
        << classState(u"B1|B2|B3|B4"_s, u"B4 G8"_s) << 0 << u"<b>组 1 详情:</b><br>B1 "_s + together;
    QTest::newRow("separateUnseatedMembers_noWarning")
        << classState(u"B1|B2"_s, {}, u"G7 G8;B1 G8"_s) << 0 << u"<b>组 1 详情:</b><br>B1 "_s;

    ClassState ten = classState(u"B1|B2|B3|B4|B5|B6|B7|B8|G1|G2 G3"_s);
    QTest::newRow("tenthRow_detailsLikeAnyOther") << ten << 9 << u"<b>组 10 详情:</b><br>G2 G3 "_s;

    ClassState marked = classState(u"B1"_s);
    marked.roster.idToName[1] = u"<i>A&B</i>"_s;
    QTest::newRow("nameWithMarkup_shownAsText")
        << marked << 0 << u"<b>组 1 详情:</b><br>&lt;i&gt;A&amp;B&lt;/i&gt; "_s;

    QTest::newRow("negativeRow_nothing") << classState(u"B1|B2"_s) << -1 << u"-"_s;
    QTest::newRow("rowPastGrouping_nothing") << classState(u"B1|B2"_s) << 2 << u"-"_s;
    ClassState fewerEnabled = classState(u"B1|B2|B3"_s);
    fewerEnabled.groupConfigs[2].enabled = false;
    QTest::newRow("rowPastEnabledGroups_nothing") << fewerEnabled << 2 << u"-"_s;
}

void RequirementCheckTest::detailsText()
{
    QFETCH(ClassState, state);
    QFETCH(int, row);
    QFETCH(QString, expected);

    const std::optional<QString> text = groupDetailsText(state, row);
    QCOMPARE(text.value_or(u"-"_s), expected);
}

QTEST_GUILESS_MAIN(RequirementCheckTest)
#include "requirementcheck_test.moc"
