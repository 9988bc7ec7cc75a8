#include "fixedpositions.h"
#include "groupfit.h"
#include "namelists.h"
#include "pupilscores.h"
#include "requirements.h"
#include "scorepaste.h"
#include "settingssave.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <numeric>
#include <random>

using namespace Qt::StringLiterals;
using namespace Velmora;

namespace {

Roster rosterOf(const QStringList &boys, const QStringList &girls)
{
    Roster roster;
    roster.maleNames = boys;
    roster.femaleNames = girls;
    roster.rebuildNameMaps();
    return roster;
}

const Roster classRoster = rosterOf({u"张伟"_s, u"王强"_s}, {u"李娜"_s, u"赵敏"_s});

// Ten records: the first `enabled` with the given numbers, the others disabled with 6 seats.
QList<GroupConfig> groupsOf(int enabled, int total, int males, int females)
{
    QList<GroupConfig> configs(GroupCount, GroupConfig{false, 6, 2, 4});
    for (int index = 0; index < enabled; ++index)
        configs[index] = {true, total, males, females};
    return configs;
}

int spreadOf(const QList<int> &values)
{
    const auto [low, high] = std::minmax_element(values.cbegin(), values.cend());
    return *high - *low;
}

} // namespace

class SettingsModelTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data();
    void parse();
    void removeRows_data();
    void removeRows();
    void splitNameLines_data();
    void splitNameLines();
    void followRoster_data();
    void followRoster();
    void followRoster_sameNameKeepsOwnSeat();
    void occupantOf_skipsThePersonBeingMoved();
    void saveSettings_writesFollowedSeatsThenRenumbers();
    void groupFit_data();
    void groupFit();
    void spread_seededClasses_evenAndFixedSeatsKept();
    void scoreValue_data();
    void scoreValue();
    void scorePaste_data();
    void scorePaste();
};

void SettingsModelTest::parse_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("error");
    QTest::addColumn<Constraint>("entry");
    QTest::addColumn<bool>("together");

    QTest::newRow("extraSpaces_twoPersons")
        << u"  张伟   李娜  "_s << u"必须同组"_s << QString() << Constraint{1, 3} << true;
    QTest::newRow("separateKind_mustSeparate")
        << u"王强 赵敏"_s << u"不能同组"_s << QString() << Constraint{2, 4} << false;
    QTest::newRow("asciiComma_refusedFirst")
        << u"张伟,无名"_s << u"必须同组"_s << u"姓名不能包含逗号或分号"_s << Constraint{} << true;
    QTest::newRow("semicolon_refused")
        << u"张伟;李娜"_s << u"必须同组"_s << u"姓名不能包含逗号或分号"_s << Constraint{} << true;
    QTest::newRow("fullWidthComma_unknownName")
        << u"张伟，李娜"_s << u"必须同组"_s << u"以下姓名无效: 张伟，李娜"_s << Constraint{} << true;
    QTest::newRow("blank_asksForNames")
        << u"   "_s << u"必须同组"_s << u"请输入至少一个姓名"_s << Constraint{} << true;
    QTest::newRow("singleName_needsTwo")
        << u"张伟"_s << u"必须同组"_s << u"要求需要至少两个有效姓名"_s << Constraint{} << true;
    QTest::newRow("sameNameTwice_twoEntries")
        << u"张伟 张伟"_s << u"必须同组"_s << QString() << Constraint{1, 1} << true;
    QTest::newRow("unknownAmongKnown_refusesAll") << u"张伟 路人 李娜 过客"_s << u"不能同组"_s
                                                  << u"以下姓名无效: 路人, 过客"_s << Constraint{} << false;
    QTest::newRow("tab_notASeparator")
        << u"张伟\t李娜"_s << u"必须同组"_s << u"以下姓名无效: 张伟\t李娜"_s << Constraint{} << true;
    QTest::newRow("caseSensitive_unknown")
        << u"Tom 张伟"_s << u"必须同组"_s << u"以下姓名无效: Tom"_s << Constraint{} << true;
}

void SettingsModelTest::parse()
{
    QFETCH(QString, input);
    QFETCH(QString, kind);
    QFETCH(QString, error);
    QFETCH(Constraint, entry);
    QFETCH(bool, together);

    Roster roster = classRoster;
    roster.femaleNames.append(u"tom"_s);
    roster.rebuildNameMaps();
    const Requirements::ParsedInput parsed = Requirements::parse(input, kind, roster.nameToId);
    QCOMPARE(parsed.error, error);
    QCOMPARE(parsed.accepted(), error.isEmpty());
    if (parsed.accepted()) {
        QCOMPARE(parsed.entry, entry);
        QCOMPARE(parsed.kind == Requirements::Kind::MustTogether, together);
    }
}

void SettingsModelTest::removeRows_data()
{
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<QList<int>>("removedRows");
    QTest::addColumn<QList<Constraint>>("together");
    QTest::addColumn<QList<Constraint>>("separate");

    // The table reads together, together, separate, together.
    QTest::newRow("lastRow_thirdTogether")
        << QList<int>{3} << QList<int>{3} << QList<Constraint>{{1, 2}, {2, 3}} << QList<Constraint>{{3, 4}};
    QTest::newRow("thirdRow_firstSeparate")
        << QList<int>{2} << QList<int>{2} << QList<Constraint>{{1, 2}, {2, 3}, {1, 4}} << QList<Constraint>{};
    QTest::newRow("rowsZeroAndTwo_bottomFirst")
        << QList<int>{0, 2} << QList<int>{2, 0} << QList<Constraint>{{2, 3}, {1, 4}} << QList<Constraint>{};
    QTest::newRow("allRows_emptyLists")
        << QList<int>{1, 3, 0, 2} << QList<int>{3, 2, 1, 0} << QList<Constraint>{} << QList<Constraint>{};
    QTest::newRow("secondAndLast_firstTogetherLeft")
        << QList<int>{1, 3} << QList<int>{3, 1} << QList<Constraint>{{1, 2}} << QList<Constraint>{{3, 4}};
}

void SettingsModelTest::removeRows()
{
    QFETCH(QList<int>, selected);
    QFETCH(QList<int>, removedRows);
    QFETCH(QList<Constraint>, together);
    QFETCH(QList<Constraint>, separate);

    ClassState state;
    state.mustTogether = {{1, 2}, {2, 3}, {1, 4}};
    state.mustSeparate = {{3, 4}};
    const QStringList kinds = {u"必须同组"_s, u"必须同组"_s, u"不能同组"_s, u"必须同组"_s};
    QCOMPARE(Requirements::removeRows(state, kinds, selected), removedRows);
    QCOMPARE(state.mustTogether, together);
    QCOMPARE(state.mustSeparate, separate);
}

void SettingsModelTest::splitNameLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("names");

    QTest::newRow("plain_oneNamePerLine") << u"张伟\n王强"_s << QStringList{u"张伟"_s, u"王强"_s};
    QTest::newRow("spacesLine_isAName")
        << u"张伟\n   \n王强"_s << QStringList{u"张伟"_s, u"   "_s, u"王强"_s};
    QTest::newRow("emptyLines_dropped") << u"\n张伟\n\n\n王强\n"_s << QStringList{u"张伟"_s, u"王强"_s};
    QTest::newRow("surroundingSpaces_kept") << u" 张伟 "_s << QStringList{u" 张伟 "_s};
    QTest::newRow("empty_noNames") << QString() << QStringList{};
}

void SettingsModelTest::splitNameLines()
{
    QFETCH(QString, text);
    QFETCH(QStringList, names);
    QCOMPARE(Velmora::splitNameLines(text), names);
    // What the dialog shows must come back unchanged.
    QCOMPARE(Velmora::splitNameLines(joinNameLines(names)), names);
}

void SettingsModelTest::followRoster_data()
{
    QTest::addColumn<QStringList>("boysAfter");
    QTest::addColumn<QStringList>("girlsAfter");
    QTest::addColumn<FixedPositionMap>("after");
    QTest::addColumn<QStringList>("dropped");
    QTest::addColumn<QList<Constraint>>("requirements");

    // Before: 张伟 1, 王强 2, 李娜 3, 赵敏 4; 王强, 李娜 and 赵敏 are fixed; requirements {1 2} {3 4} {2 3}.
    QTest::newRow("unchanged_sameNumbers")
        << QStringList{u"张伟"_s, u"王强"_s} << QStringList{u"李娜"_s, u"赵敏"_s}
        << FixedPositionMap{{2, {1, 1}}, {3, {2, 2}}, {4, {3, 3}}} << QStringList{}
        << QList<Constraint>{{1, 2}, {3, 4}, {2, 3}};
    QTest::newRow("boyInsertedAtTopGirlRemoved_followsNames")
        << QStringList{u"陈新"_s, u"张伟"_s, u"王强"_s} << QStringList{u"赵敏"_s}
        << FixedPositionMap{{3, {1, 1}}, {4, {3, 3}}} << QStringList{u"李娜"_s} << QList<Constraint>{{2, 3}};
    QTest::newRow("everyoneGone_allDropped")
        << QStringList{u"陈新"_s} << QStringList{} << FixedPositionMap{}
        << QStringList{u"王强"_s, u"李娜"_s, u"赵敏"_s} << QList<Constraint>{};
    QTest::newRow("boyMovedToGirls_keepsSeat")
        << QStringList{u"张伟"_s} << QStringList{u"李娜"_s, u"赵敏"_s, u"王强"_s}
        << FixedPositionMap{{2, {2, 2}}, {3, {3, 3}}, {4, {1, 1}}} << QStringList{}
        << QList<Constraint>{{1, 4}, {2, 3}, {4, 2}};
}

void SettingsModelTest::followRoster()
{
    QFETCH(QStringList, boysAfter);
    QFETCH(QStringList, girlsAfter);
    QFETCH(FixedPositionMap, after);
    QFETCH(QStringList, dropped);
    QFETCH(QList<Constraint>, requirements);

    ClassState state;
    state.roster = classRoster;
    state.fixedPositions = {{2, {1, 1}}, {3, {2, 2}}, {4, {3, 3}}};
    const Roster before = state.roster;
    state.roster.maleNames = boysAfter;
    state.roster.femaleNames = girlsAfter;
    state.roster.rebuildNameMaps();

    QStringList lines;
    for (const QString &name : dropped)
        lines.append(u"已移除固定位置: %1 (不在名单中)"_s.arg(name));
    QCOMPARE(FixedPositions::followRoster(state, before), lines);
    QCOMPARE(state.fixedPositions, after);
    QCOMPARE(FixedPositions::followRoster(QList<Constraint>{{1, 2}, {3, 4}, {2, 3}}, before, state.roster),
             requirements);
}

void SettingsModelTest::followRoster_sameNameKeepsOwnSeat()
{
    // Two boys called 张伟 (1 and 3), both fixed; a girl inserted at the front of the list does not
    // touch the boys, a boy inserted at the top shifts both.
    const Roster before = rosterOf({u"张伟"_s, u"王强"_s, u"张伟"_s}, {u"李娜"_s});
    const FixedPositionMap positions = {{1, {1, 1}}, {3, {2, 2}}, {4, {3, 3}}};
    const FixedPositions::Remapped moved = FixedPositions::followRoster(
        positions, before, rosterOf({u"陈新"_s, u"张伟"_s, u"王强"_s, u"张伟"_s}, {u"赵敏"_s, u"李娜"_s}));
    QCOMPARE(moved.positions, FixedPositionMap({{2, {1, 1}}, {4, {2, 2}}, {6, {3, 3}}}));
    QVERIFY(moved.droppedNames.isEmpty());

    // With one 张伟 gone, the second one's entry has nobody left to follow.
    const FixedPositions::Remapped fewer =
        FixedPositions::followRoster(positions, before, rosterOf({u"张伟"_s, u"王强"_s}, {u"李娜"_s}));
    QCOMPARE(fewer.positions, FixedPositionMap({{1, {1, 1}}, {3, {3, 3}}}));
    QCOMPARE(fewer.droppedNames, QStringList({u"张伟"_s}));

    // A number that named nobody is dropped rather than left to pin a newcomer.
    const FixedPositions::Remapped stale = FixedPositions::followRoster(
        FixedPositionMap{{9, {1, 1}}}, before, rosterOf({u"张伟"_s, u"王强"_s, u"张伟"_s}, {u"李娜"_s}));
    QVERIFY(stale.positions.isEmpty());
    QCOMPARE(stale.droppedNames, QStringList({QString()}));
}

void SettingsModelTest::occupantOf_skipsThePersonBeingMoved()
{
    const FixedPositionMap positions = {{2, {1, 1}}, {5, {1, 1}}, {7, {2, 3}}};
    QCOMPARE(FixedPositions::occupantOf(positions, 1, 1, 9), 2);
    QCOMPARE(FixedPositions::occupantOf(positions, 1, 1, 2), 5);
    QCOMPARE(FixedPositions::occupantOf(positions, 2, 3, 7), 0);
    QCOMPARE(FixedPositions::occupantOf(positions, 4, 4, 0), 0);
}

void SettingsModelTest::saveSettings_writesFollowedSeatsThenRenumbers()
{
    QTemporaryDir dir;
    ClassState state;
    state.configPath = dir.filePath(u"config.ini"_s);
    state.roster = classRoster;
    state.groupConfigs = defaultGroupConfigs();
    state.fixedPositions = {{2, {1, 1}}, {3, {2, 2}}};
    state.mustTogether = {{1, 4}};
    state.mustSeparate = {{1, 2, 3}};
    const Roster previous = state.roster;
    state.roster.maleNames = {u"陈新"_s, u"张伟"_s, u"王强"_s};
    state.roster.femaleNames = {u"赵敏"_s};

    const SavedSettings saved = saveSettings(state, previous, QString());
    QVERIFY(saved.written);
    QCOMPARE(saved.mappingLine, u"更新了姓名映射: 3 名男生, 1 名女生"_s);
    QCOMPARE(saved.droppedFixedPositions, QStringList{u"已移除固定位置: 李娜 (不在名单中)"_s});
    QCOMPARE(state.roster.nameToId.value(u"王强"_s), 3);
    QSettings file(state.configPath, QSettings::IniFormat);
    QCOMPARE(file.value(u"Male/Names"_s).toStringList(), state.roster.maleNames);
    QCOMPARE(file.value(u"FixedPositions/List"_s).toStringList(), QStringList{u"3,1,1"_s});
    // The file and the window keep naming the same persons as before: 张伟 and 赵敏, now 2 and 4;
    // the three of whom 李娜 left are gone as a whole.
    QCOMPARE(file.value(u"Constraints/MustTogether"_s).toStringList(), QStringList{u"2,4"_s});
    QCOMPARE(state.mustTogether, (QList<Constraint>{{2, 4}}));
    QVERIFY(state.mustSeparate.isEmpty());
    QCOMPARE(saved.droppedRequirements, u"已删除 1 条要求：其中有人已不在名单中"_s);

    // A directory in the file's place: nothing can be written.
    QVERIFY(QDir(dir.path()).mkdir(u"blocked"_s));
    state.configPath = dir.filePath(u"blocked"_s);
    QVERIFY(!saveSettings(state, state.roster, QString()).written);
}

void SettingsModelTest::groupFit_data()
{
    QTest::addColumn<int>("groups");         // groups 1..n enabled, each with these numbers
    QTest::addColumn<QList<int>>("numbers"); // seats, boys' and girls' numbers (-1: none)
    QTest::addColumn<QList<int>>("counts");  // boys, girls, then boys' and girls' seats of the hint
    QTest::addColumn<bool>("fits");
    QTest::newRow("sampleGroups_boysShort")
        << 9 << QList<int>{6, 2, 4} << QList<int>{24, 24, 18, 36} << false;
    QTest::newRow("girlsShort") << 9 << QList<int>{6, 4, 2} << QList<int>{10, 20, 36, 18} << false;
    QTest::newRow("evenNumbers_fit") << 9 << QList<int>{6, 3, 3} << QList<int>{24, 24, 27, 27} << true;
    QTest::newRow("noNumbers_seatsForBoth")
        << 9 << QList<int>{6, -1, -1} << QList<int>{25, 23, 54, 54} << true;
    QTest::newRow("seatsShort") << 4 << QList<int>{6, -1, -1} << QList<int>{20, 10, 24, 24} << false;
    QTest::newRow("moreSeats_fit") << 9 << QList<int>{6, 2, 4} << QList<int>{3, 2, 18, 36} << true;
    QTest::newRow("numberAboveSeats_capped") << 2 << QList<int>{3, 5, 5} << QList<int>{6, 0, 6, 6} << true;
    QTest::newRow("noGroup_nothingToAsk") << 0 << QList<int>{6, 2, 4} << QList<int>{9, 9, 0, 0} << true;
}

void SettingsModelTest::groupFit()
{
    QFETCH(int, groups);
    QFETCH(QList<int>, numbers);
    QFETCH(QList<int>, counts);
    QFETCH(bool, fits);
    const GroupFit::Fit fit = GroupFit::measure(groupsOf(groups, numbers.at(0), numbers.at(1), numbers.at(2)),
                                                counts.at(0), counts.at(1));
    QCOMPARE(fit.fits(), fits);
    QCOMPARE(fit.hint(),
             u"提示: 男生 %1 人，各组男生座位共 %2 个；女生 %3 人，各组女生座位共 %4 个"_s.arg(counts.at(0))
                 .arg(counts.at(2))
                 .arg(counts.at(1))
                 .arg(counts.at(3)));
}

// Any class over any groups: the numbers add up to the class, differ by at most one unless a fixed
// seat forces more seats, every fixed seat stays inside its group, and the groups then fit.
void SettingsModelTest::spread_seededClasses_evenAndFixedSeatsKept()
{
    for (std::uint32_t seed = 1; seed <= 300; ++seed) {
        std::mt19937 random(seed);
        const auto draw = [&](int low, int high) {
            return std::uniform_int_distribution<int>(low, high)(random);
        };
        const int groups = draw(1, GroupCount);
        const int boys = draw(0, 40);
        const int girls = draw(boys == 0 ? 1 : 0, 40);
        FixedPositionMap fixed;
        for (int k = draw(0, 4); k > 0; --k)
            fixed.insert(draw(1, boys + girls), {draw(1, GroupCount), draw(1, 8)});
        const Roster roster = rosterOf(QStringList(boys, u"男"_s), QStringList(girls, u"女"_s));
        const QList<GroupConfig> result =
            GroupFit::spread(groupsOf(groups, draw(0, 10), 2, 4), boys, girls, fixed, roster);

        const QString at = QString::number(seed);
        QVERIFY2(GroupFit::measure(result, boys, girls).fits(), qPrintable(at));
        // Never more seats than the settings dialog shows: groups are enabled instead, lowest first.
        const int used = int(enabledGroupIndices(result).size());
        QCOMPARE(enabledGroupIndices(result), enabledGroupIndices(groupsOf(used, 0, 2, 4)));
        QVERIFY2(used == qMax(groups,
                              qMin(GroupCount, (boys + girls + GroupFit::MaxSeats - 1) / GroupFit::MaxSeats)),
                 qPrintable(at));
        QList<int> totals, males, females;
        for (int i = 0; i < used; ++i) {
            totals.append(result.at(i).total);
            males.append(result.at(i).males);
            females.append(result.at(i).females);
        }
        for (auto it = fixed.cbegin(); it != fixed.cend(); ++it)
            QVERIFY2(it.value().first > used || it.value().second <= totals.at(it.value().first - 1),
                     qPrintable(at));
        QVERIFY2(*std::max_element(totals.cbegin(), totals.cend()) <= GroupFit::MaxSeats, qPrintable(at));
        QCOMPARE(std::accumulate(males.cbegin(), males.cend(), 0), boys);
        const bool seatsAdded = std::accumulate(totals.cbegin(), totals.cend(), 0) > boys + girls;
        QVERIFY2(spreadOf(males) <= 1 && (seatsAdded || (spreadOf(totals) <= 1 && spreadOf(females) <= 1)),
                 qPrintable(at));
        QVERIFY(!seatsAdded || !fixed.isEmpty());
    }
}

// What a teacher or a spreadsheet writes into a score cell, and what is kept of it.
void SettingsModelTest::scoreValue_data()
{
    QTest::addColumn<QString>("written");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("kept"); // the stored form; empty unless valid

    // Rounding, bounds and stray characters; the import and the paste tests cover the plain cases.
    using PupilScores::Status;
    QTest::newRow("threeDecimalsBelowHalf_roundedDown") << u"85.1249"_s << int(Status::Valid) << u"85.12"_s;
    QTest::newRow("formulaAverage_carriedIntoWhole") << u"89.995"_s << int(Status::Valid) << u"90"_s;
    QTest::newRow("spacesAndInvisibles_ignored") << u" \u200B７0\u202C　"_s << int(Status::Valid) << u"70"_s;
    QTest::newRow("atBound_kept") << u"10000"_s << int(Status::Valid) << u"10000"_s;
    QTest::newRow("justAboveBound_refused") << u"10000.01"_s << int(Status::OutOfRange) << QString();
    QTest::newRow("beyondAnyInteger_refused") << QString(400, u'9') << int(Status::OutOfRange) << QString();
    QTest::newRow("spaceInside_notANumber") << u"8 5"_s << int(Status::NotANumber) << QString();
    QTest::newRow("lonePoint_notANumber") << u"."_s << int(Status::NotANumber) << QString();
}

void SettingsModelTest::scoreValue()
{
    QFETCH(QString, written);
    QFETCH(int, status);
    QFETCH(QString, kept);
    const PupilScores::Parsed parsed = PupilScores::parse(written);
    QCOMPARE(int(parsed.status), status);
    QCOMPARE(parsed.status == PupilScores::Status::Valid ? PupilScores::format(parsed.hundredths) : QString(),
             kept);
    // What is stored reads back to the same hundredths.
    if (!kept.isEmpty())
        QCOMPARE(PupilScores::parse(kept).hundredths, parsed.hundredths);
}

// Two columns copied from a spreadsheet fill the scores by name.
void SettingsModelTest::scorePaste_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("filled");  // "name=score" in pasted order, "-" for a cleared score
    QTest::addColumn<QString>("message"); // or the refusal

    QStringList strangers;
    for (int i = 1; i <= 21; ++i)
        strangers.append(u"外人%1"_s.arg(i));
    QString tooMany;
    for (int i = 0; i < ScorePaste::MaxRows; ++i)
        tooMany += u"张伟\t80\n"_s;

    QTest::newRow("headerScoreFirst_columnsFromHeader")
        << u"总分\t姓 名\n90\t王强\n"_s << u"王强=90"_s << QString();
    QTest::newRow("typedWithSpaces_lastWordIsScore")
        << u"张伟   95\n李娜 60\n"_s << u"张伟=95 李娜=60"_s << QString();
    QTest::newRow("emptyCellClears_missingCellKeeps") << u"张伟\t\n李娜\n"_s << u"张伟=-"_s << QString();
    QTest::newRow("strangerListedOnce_badScoreLine")
        << u"张伟\t80\n外人\t70\n外人\t71\n李娜\t缺考\n"_s << u"张伟=80"_s
        << u"已填入 1 人的成绩。\n\n以下 1 人不在名单中，成绩没有填入：\n外人\n\n第 4 行：成绩不是数字，已忽略"_s;
    QTest::newRow("21Strangers_twentyListed")
        << u"姓名\t成绩\n"_s + strangers.join(u"\t1\n"_s) + u"\t1"_s << QString()
        << u"已填入 0 人的成绩。\n\n以下 21 人不在名单中，成绩没有填入：\n"_s +
               strangers.mid(0, 20).join(u'、') + u"……另有 1 人"_s;
    QTest::newRow("negativeAndHuge_outOfRange")
        << u"张伟\t-3\n李娜\t123456789012345678901234567890\n"_s << QString()
        << u"已填入 0 人的成绩。\n\n第 1 行：成绩“-3”超出范围（0 到 10000 分），已忽略\n"
           "第 2 行：成绩“12345678901234567890…”超出范围（0 到 10000 分），已忽略"_s;
    QTest::newRow("headerWithoutScore_refused")
        << u"姓名\t性别\t班级\n张伟\t男\t3\n"_s << QString() << u"粘贴的内容中没有“成绩”列"_s;
    QTest::newRow("tenThousandRows_refused")
        << tooMany << QString() << u"粘贴的内容过多（最多 10000 行），请只复制“姓名”和“成绩”两列"_s;
    QTest::newRow("millionSpacesOneLine_strangerShortened")
        << u"甲"_s + QString(999'990, u' ') + u"乙 5"_s << QString()
        << u"已填入 0 人的成绩。\n\n以下 1 人不在名单中，成绩没有填入：\n甲                   …"_s;
}

void SettingsModelTest::scorePaste()
{
    QFETCH(QString, text);
    QFETCH(QString, filled);
    QFETCH(QString, message);
    const ScorePaste::Result result = ScorePaste::read(text, classRoster.maleNames + classRoster.femaleNames);
    QStringList shown;
    for (const auto &[name, hundredths] : result.filled)
        shown.append(name + u'=' + (hundredths < 0 ? u"-"_s : PupilScores::format(hundredths)));
    QCOMPARE(shown.join(u' '), filled);
    QCOMPARE(result.refused.isEmpty() ? ScorePaste::message(result) : result.refused, message);
}

QTEST_GUILESS_MAIN(SettingsModelTest)
#include "settingsmodel_test.moc"
