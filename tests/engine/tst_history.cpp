#include "classbuilder.h"
#include "generatelog.h"
#include "groupingscore.h"
#include "historyscoreterms.h"
#include "runselection.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <QTest>

#include <random>

using namespace Qt::StringLiterals;
using namespace Velmora;

namespace {

// Boys 男1..男4 are 1..4, girls 女1..女4 are 5..8; groups 1 and 2 of four seats.
ClassState smallClass(const QByteArray &extra)
{
    QByteArray json = R"({"boys": 4, "girls": 4, "groups": [[1, 4], [2, 4]])";
    if (!extra.isEmpty())
        json += ", " + extra;
    return Test::classFromJson(QJsonDocument::fromJson(json + '}').object());
}

// Rounds oldest first, separated by ";"; groups by "|", numbered 1, 2, ... in order.
GroupHistory historyOf(const QString &text, int recentRounds = 8, bool on = true)
{
    GroupHistory history;
    history.settings = {on, recentRounds};
    for (const QString &roundText : text.split(u';', Qt::SkipEmptyParts)) {
        HistoryRound round;
        int number = 0;
        for (const QString &groupText : roundText.split(u'|'))
            round.groups.append({++number, groupText.split(u' ', Qt::SkipEmptyParts)});
        history.record(round);
    }
    return history;
}

// The history's tiers as the ordered score holds them, after the built-in ones.
QString figures(const ClassState &state, const std::shared_ptr<const HistoryTerms> &terms,
                const Grouping &grouping)
{
    ScoreTerms all = builtInTerms(state);
    const ScoreTerms history = historyScoreTerms(terms);
    all.insert(all.end(), history.begin(), history.end());
    const OrderedScore score = scoreOf(all, GroupingView(grouping, personTraits(state)));
    return u"%1 %2 %3 %4"_s.arg(score.tier(OrderedScore::LastRoundPairs))
        .arg(score.tier(OrderedScore::EarlierPairs))
        .arg(score.tier(OrderedScore::SameGroupNumber))
        .arg(terms->recentRepeats(grouping));
}

struct Generated
{
    SeatingPlan plan;
    QStringList log;
};

Generated generatePlanAndLog(const ClassState &state, std::uint32_t seed, const GroupHistory *history)
{
    GenerateOptions options;
    options.history = history;
    const GenerateReport report = generatePlan(state, seedSequence(seed), options);
    return {report.plan, generateLogLines(report, state)};
}

} // namespace

class TestHistory : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cost_data();
    void cost();
    void scoreTermDeltas_matchCosts();
    void generate_data();
    void generate();
};

void TestHistory::cost_data()
{
    QTest::addColumn<QByteArray>("extra");
    QTest::addColumn<QString>("rounds");
    QTest::addColumn<int>("recent");
    QTest::addColumn<bool>("on");
    QTest::addColumn<QString>("expected"); // last-round pairs, earlier weight, same number, recent repeats

    // The grouping judged in every row: 男1 男2 女1 女2 | 男3 男4 女3 女4.
    const QString same = u"男1 男2 女1 女2 | 男3 男4 女3 女4"_s;
    QTest::newRow("noRounds_zero") << QByteArray() << QString() << 8 << true << u"0 0 0 0"_s;
    QTest::newRow("lastRoundSame_everyPairAndNumber") << QByteArray() << same << 8 << true << u"12 0 8 12"_s;
    QTest::newRow("lastRoundNumbersSwapped_pairsOnly")
        << QByteArray() << u"男3 男4 女3 女4 | 男1 男2 女1 女2"_s << 8 << true << u"12 0 0 12"_s;
    QTest::newRow("mustTogetherPair_free")
        << QByteArray(R"("together": [["男1", "男2"]])") << same << 8 << true << u"11 0 8 11"_s;
    // 男1 and 女1 are fixed to group 1, so both keep their number and sit together for free.
    QTest::newRow("fixedToOneGroup_pairAndNumbersFree")
        << QByteArray(R"("fixed": [["男1", 1, 1], ["女1", 1, 2]])") << same << 8 << true << u"11 0 6 11"_s;
    // Age 2 weighs 15 with eight recent rounds; each pair met once.
    QTest::newRow("earlierRound_weightedByRecency")
        << QByteArray() << u"男1 男2 | 男3 男4; 男1 男3 | 男2 男4"_s << 8 << true << u"0 30 2 2"_s;
    // Ages 2 and 3 weigh 15 and 14, and two meetings make it four times that.
    QTest::newRow("metTwiceBefore_weightedByFrequency")
        << QByteArray() << u"男1 男2; 男1 男2; 男3 男4"_s << 8 << true << u"1 116 0 2"_s;
    // With two recent rounds age 2 weighs 3; the older meeting only makes it count twice over.
    QTest::newRow("metBeforeRecentRounds_raisesWeight")
        << QByteArray() << u"男1 男2; 男1 男2; 男3 男4"_s << 2 << true << u"1 12 0 2"_s;
    QTest::newRow("olderThanRecentRounds_ignored")
        << QByteArray() << u"男1 男2; 男3 男4"_s << 1 << true << u"1 0 0 1"_s;
    QTest::newRow("turnedOff_zero") << QByteArray() << same << 8 << false << u"0 0 0 0"_s;
    QTest::newRow("nameNoLongerOnRoster_ignored")
        << QByteArray() << u"男1 转学生 男2"_s << 8 << true << u"1 0 2 1"_s;
}

void TestHistory::cost()
{
    QFETCH(QByteArray, extra);
    QFETCH(QString, rounds);
    QFETCH(int, recent);
    QFETCH(bool, on);
    QFETCH(QString, expected);

    const ClassState state = smallClass(extra);
    const auto terms = std::make_shared<const HistoryTerms>(state, historyOf(rounds, recent, on));
    QCOMPARE(figures(state, terms, Test::parseGrouping(u"1 2 5 6 | 3 4 7 8"_s)), expected);
}

// A search trusts each term's delta instead of recounting; a wrong delta steers it astray silently.
void TestHistory::scoreTermDeltas_matchCosts()
{
    ClassState state = Test::makeClass(9, 9);
    for (int number = 1; number <= 3; ++number)
        Test::enableGroup(state, number, 7);
    state.mustTogether = {{1, 10}};
    std::mt19937 random(7);
    QStringList rounds;
    for (int r = 0; r < 3; ++r) {
        QStringList names = state.roster.maleNames + state.roster.femaleNames;
        std::shuffle(names.begin(), names.end(), random);
        rounds.append(names.mid(0, 6).join(u' ') + u'|' + names.mid(6, 6).join(u' ') + u'|' +
                      names.mid(12).join(u' '));
    }
    const auto terms = std::make_shared<const HistoryTerms>(state, historyOf(rounds.join(u';')));
    const ScoreTerms tiers = historyScoreTerms(terms);
    QCOMPARE(tiers.size(), std::size_t(3));

    GroupingView view(Test::parseGrouping(u"1 2 3 4 5 6 | 7 8 9 10 11 12 | 13 14 15 16 17 18"_s),
                      personTraits(state));
    for (int trial = 0; trial < 300; ++trial) {
        // An exchange, a move, or a person moved on twice.
        const PersonId a = PersonId(random() % 18) + 1;
        const PersonId b = PersonId(random() % 18) + 1;
        std::vector<PersonMove> moves;
        const int to = int(random() % 3);
        if (trial % 3 == 0 && view.positionOf(a) != view.positionOf(b))
            moves = {{a, view.positionOf(a), view.positionOf(b)},
                     {b, view.positionOf(b), view.positionOf(a)}};
        else if (trial % 3 == 1)
            moves = {{a, view.positionOf(a), to}};
        else
            moves = {{a, view.positionOf(a), to},
                     {b, view.positionOf(b), view.positionOf(a)},
                     {a, to, (to + 1) % 3}};
        for (const ScoreTermPointer &tier : tiers) {
            const qint64 before = tier->cost(view);
            const std::optional<qint64> delta = tier->delta(view, moves);
            view.apply(moves);
            const qint64 after = tier->cost(view);
            view.revert(moves);
            QVERIFY(delta);
            QCOMPARE(*delta, after - before);
        }
        view.apply(moves);
    }
}

void TestHistory::generate_data()
{
    QTest::addColumn<bool>("on");
    QTest::newRow("historyOn_reproducibleAndNoRuleWorse") << true;
    QTest::newRow("historyOff_exactlyAsWithout") << false;
}

void TestHistory::generate()
{
    QFETCH(bool, on);

    ClassState state = Test::makeClass(12, 12);
    for (int number = 1; number <= 6; ++number)
        Test::enableGroup(state, number, 4, 2, 2);
    for (const char *name : {"男1", "男2", "女1", "女2"})
        state.roster.leaderNames.insert(QString::fromUtf8(name));
    state.mustTogether = {{3, 15}};
    state.mustSeparate = {{4, 5, 6}};
    const Grouping last =
        Test::parseGrouping(u"1 3 13 15 | 2 4 14 16 | 5 7 17 19 | 6 8 18 20 | 9 11 21 23 | 10 12 22 24"_s);
    GroupHistory history;
    history.settings.avoidRepeats = on;
    history.record(roundFromPlan(state, SeatingPlan::fromMembers(last), QDateTime()));

    for (std::uint32_t seed : {1u, 2u, 3u}) {
        const Generated first = generatePlanAndLog(state, seed, &history);
        const Generated second = generatePlanAndLog(state, seed, &history);
        const Generated without = generatePlanAndLog(state, seed, nullptr);
        QCOMPARE(first.plan, second.plan);
        QCOMPARE(first.log, second.log);
        // The history's line follows the comparison line at once.
        const qsizetype comparison = first.log.indexOf(QRegularExpression(u"^已比较 \\d+ 次随机分组.*"_s));
        QVERIFY(comparison > 0);
        QCOMPARE(first.log.value(comparison + 1).startsWith(u"已参考 1 次历史分组"_s), on);
        QCOMPARE(first.log.filter(u"已参考"_s).size(), on ? 1 : 0);
        if (!on) {
            QCOMPARE(first.plan, without.plan);
            QCOMPARE(first.log, without.log);
            continue;
        }
        QVERIFY(!(scoreGrouping(state, without.plan) < scoreGrouping(state, first.plan)));
        // The 3-15 pair must sit together, so only it may come back from the last round.
        const auto terms = std::make_shared<const HistoryTerms>(state, history);
        QVERIFY(figures(state, terms, first.plan.members()).startsWith(u"0 "_s));
    }
}

QTEST_GUILESS_MAIN(TestHistory)
#include "tst_history.moc"
