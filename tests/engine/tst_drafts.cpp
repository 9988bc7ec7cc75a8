#include "classbuilder.h"
#include "classscores.h"
#include "drafts.h"
#include "groupingscore.h"
#include "runselection.h"
#include "seedsource.h"

#include <QJsonDocument>
#include <QTest>

#include <random>

using namespace Qt::StringLiterals;
using namespace Velmora;
using Velmora::Test::formatGrouping;

// The snake drafts the balanced generate is judged against: a baseline that breaks a tier the
// generate keeps judges nothing, and one that loses or doubles a pupil judges a plan that cannot
// be.
class DraftsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void snakeDraft_deals_data();
    void snakeDraft_deals();
    void keptTalliesDraft_keepsTiersAboveGap_data();
    void keptTalliesDraft_keepsTiersAboveGap();
};

void DraftsTest::snakeDraft_deals_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("seats");

    const QByteArray six = R"({"boys": 3, "girls": 3, "groups": [[1, 2], [2, 2], [3, 2]], "balance": true, )";
    QTest::newRow("1..n, then n..1")
        << six +
               R"("scores": {"男1": 6000, "男2": 5000, "男3": 4000, "女1": 3000, "女2": 2000, "女3": 1000}})"
        << u"1 6 | 2 5 | 3 4"_s;
    QTest::newRow("a fixed pupil keeps the seat and the others go round it")
        << six +
               R"("fixed": [["女3", 3, 1]], )"
               R"("scores": {"男1": 6000, "男2": 5000, "男3": 4000, "女1": 3000, "女2": 2000, "女3": 1000}})"
        << u"1 5 | 2 4 | 6 3"_s;
}

void DraftsTest::snakeDraft_deals()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, seats);
    const ClassState state = Test::classFromJson(QJsonDocument::fromJson(json).object());
    QCOMPARE(formatGrouping(Bench::snakeDraft(state).members()), seats);
}

void DraftsTest::keptTalliesDraft_keepsTiersAboveGap_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<bool>("balanced");

    // The classes of the engine's other tests: clashing and invalid fixed seats, disabled groups,
    // shared requirement members, empty rosters and groups.
    for (quint32 seed : {11u, 12u, 13u}) {
        QTest::addRow("plain, seed %u", seed) << seed << false;
        QTest::addRow("balanced, seed %u", seed) << seed << true;
    }
}

void DraftsTest::keptTalliesDraft_keepsTiersAboveGap()
{
    QFETCH(quint32, seed);
    QFETCH(bool, balanced);
    std::mt19937 random(seed);
    for (int round = 0; round < 4; ++round) {
        ClassState state = Test::randomClass(random);
        state.balanceByScores = balanced;
        if (balanced)
            Test::drawScores(state, random, 7);
        const SeatingPlan plan = generatePlan(state, seedSequence(seed + round)).plan;
        const SeatingPlan draft = Bench::keptTalliesDraft(state, plan);

        const OrderedScore before = scoreGrouping(state, plan);
        const OrderedScore after = scoreGrouping(state, draft);
        for (int t = 0; t < OrderedScore::ScoreGap; ++t)
            QCOMPARE(after[std::size_t(t)], before[std::size_t(t)]);
        // The same persons on the same seats, and the ones a requirement names or a seat fixes
        // where they were.
        const auto seated = [](const SeatingPlan &p) {
            QList<PersonId> all;
            for (const QList<PersonId> &members : p.members())
                all += members;
            std::sort(all.begin(), all.end());
            return all;
        };
        QCOMPARE(seated(draft), seated(plan));
        QList<PersonId> stays = acceptedFixedSeats(state).keys();
        for (const auto *list : {&state.mustTogether, &state.mustSeparate}) {
            for (const Constraint &c : *list)
                stays += c;
        }
        for (PersonId p : stays)
            QCOMPARE(draft.seatOf(p), plan.seatOf(p));
        for (int g = 0; g < plan.groupCount(); ++g)
            QCOMPARE(draft.seatedCount(g), plan.seatedCount(g));
    }
}

QTEST_GUILESS_MAIN(DraftsTest)
#include "tst_drafts.moc"
