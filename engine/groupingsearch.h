#pragma once

#include "model.h"
#include "scoreterm.h"

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <random>

namespace Velmora {

// Improves a finished plan by an ordered score. Persons on a fixed seat the engine accepted never
// move; every other seated person may take a free seat or change places with anyone, singly, two
// exchanges at once, or as a whole must-together requirement, whatever lowers the score. The work
// is bounded by a count of scored changes, never by time, so a seed always gives one result; a
// raised `stop` flag ends it early with the best plan found so far.
class GroupingSearch
{
public:
    GroupingSearch(const ClassState &state, ScoreTerms terms, std::uint32_t seed,
                   long maxEvaluations = DefaultEvaluations, const std::atomic_bool *stop = nullptr);

    // The result keeps everyone who stays on their seat (see reseat).
    SeatingPlan improve(const SeatingPlan &start);

    // Places persons on the given positions first, each by an exchange with a person no
    // requirement names or by a free seat, then improves; for a layout found by the exact
    // requirement check. `target` is by PersonId, -1 for no wish.
    SeatingPlan improveTowards(const SeatingPlan &start, const std::vector<int> &target);

    // Narrows the gap between the group means of a plan whose tiers above the gap are settled:
    // exchanges that leave every one of those tiers as it is, chosen by the means alone, which is
    // cheap enough to try them by the ten thousand in the time the ordered score tries a few
    // thousand. `steps` counts the changes looked at, instead of the evaluation budget, so a seed
    // always gives one result; a gap above NoticeableGap after them gets up to `rounds` times
    // as many.
    SeatingPlan narrowGap(const SeatingPlan &start, long steps = DefaultGapSteps, long rounds = GapRounds);

    const OrderedScore &score() const { return bestScore; }
    bool isMovable(PersonId p) const;

    static constexpr long DefaultEvaluations = 90000;
    static constexpr int MaxStaleRounds = 12;
    static constexpr long DefaultGapSteps = 40000;
    static constexpr long GapRounds = 12;
    static constexpr double NoticeableGap = 50; // hundredths of a point
    // Persons of an extreme group exchanged at once for as many of another (exchangeSetsForGap),
    // the most sets of one size judged for one pair of groups (groups of ten: four for four),
    // the best of those exchanges that the tiers above are asked about, and how many sets the
    // narrowing counts as one change looked at (one each left more gaps above half a point).
    static constexpr int MaxSetExchange = 4;
    static constexpr long MaxSetPairs = 50000;
    static constexpr std::size_t MaxSetOptions = 128;
    static constexpr long SetsPerStep = 2;
    // Trades of two groups' members whole with one pupil joining (relocateForGap) that the tiers
    // above are asked about, best first.
    static constexpr std::size_t MaxRelocations = 32;
    // The exchanges of one kind a kick makes: one to three, and one more (up to this many more)
    // for each kick in a row that the descent brought back to a plan it had already tried.
    static constexpr int MaxKickGrowth = 4;

private:
    struct Candidate;
    // A change of one group's score sum and count of scored pupils.
    struct GapShift
    {
        int group;
        qint64 sum;
        int count;
    };
    struct GapWork;

    void setUp(const SeatingPlan &start);
    void load(const Grouping &grouping);
    bool keepsTiersAboveGap(const std::vector<PersonMove> &moves) const;
    bool allowedForGap(const std::vector<PersonMove> &moves) const;
    std::vector<std::vector<PersonId>> membersNow() const;
    void changeForGap(GapWork &work, const std::vector<PersonMove> &moves);
    bool tryForGap(GapWork &work, const std::vector<PersonMove> &moves,
                   std::initializer_list<GapShift> shifts);
    bool keepIfBest(GapWork &work);
    void restoreForGap(GapWork &work);
    void descendForGap(GapWork &work, long steps);
    bool rotateForGap(GapWork &work, long steps);
    bool exchangeSetsForGap(GapWork &work, long steps);
    bool relocateForGap(GapWork &work, long steps);
    std::vector<PersonId> movableIn(int position) const;
    void kickForGap(GapWork &work);
    SeatingPlan current() const;
    bool stopRequested() const { return stop && stop->load(std::memory_order_relaxed); }
    bool exhausted() const { return evaluations >= budget || stopRequested(); }
    int compare(const std::vector<PersonMove> &moves);
    void accept(const std::vector<PersonMove> &moves);
    bool descend();
    bool tryMoves(PersonId p);
    bool tryBlocks();
    bool tryDoubleExchanges();
    bool tryRotations();
    bool trySmoothing();
    std::pair<int, int> extremeMeans() const;
    void perturb();
    std::vector<PersonId> hotPersons() const;
    bool interchangeable(PersonId a, PersonId b) const;
    int freeSeats(int position) const;
    bool firstOfKind(PersonId p, unsigned &tried) const;

    const ClassState &state;
    ScoreTerms terms;
    mutable std::mt19937 random; // hotPersons shuffles too
    PersonTraits persons;
    std::vector<unsigned char> traits; // persons.kinds
    std::vector<char> movable;         // by PersonId
    std::vector<char> named;           // by PersonId: a member of some requirement
    std::vector<int> capacity;         // by position: seats a person may be moved to
    QMap<PersonId, SeatRef> fixedSeats;
    std::vector<std::pair<int, int>> targets; // by position: boys and girls wanted
    std::vector<char> judgedByBands;          // by position, while balancing by scores
    bool identityMatters = false;             // extra terms or scores tell two persons of one kind apart
    std::unique_ptr<GroupingView> view;
    SeatingPlan original; // the start, whose seats the result keeps
    OrderedScore currentScore;
    OrderedScore bestScore;
    OrderedScore bounds;
    std::vector<std::vector<PersonId>> best;
    long evaluations = 0;
    long budget;
    const std::atomic_bool *stop;
};

// Who leaves a group that a must-together block of `block` moves into whole, when it has `count`
// free seats too few: the `count` of `candidates` whose leaders, boarders, boys and bands, as a
// set, come closest to the block's, persons no requirement names first. None when there are not
// that many. `traits` (GroupingView's kinds) and `named` are by PersonId.
std::optional<std::vector<PersonId>> sameTallies(const std::vector<unsigned char> &traits,
                                                 const std::vector<char> &named,
                                                 const std::vector<PersonId> &block,
                                                 const std::vector<PersonId> &candidates, std::size_t count);

} // namespace Velmora
