#pragma once

#include "model.h"
#include "scoreterm.h"

#include <cstdint>
#include <memory>
#include <random>

namespace Velmora {

// Improves a finished grouping by an ordered score. Persons with a fixed seat never move; every
// other seated person may take a free seat or change places with anyone, singly, two exchanges
// at once, or as a whole must-together requirement, whatever lowers the score. The work is
// bounded by a count of scored changes, never by time, so a seed always gives one result.
class GroupingSearch
{
public:
    GroupingSearch(const ClassState &state, ScoreTerms terms, std::uint32_t seed,
                   long maxEvaluations = DefaultEvaluations);

    // `start` is a result grouping: seated persons only, one list per enabled group.
    Grouping improve(const Grouping &start);

    // Places persons on the given positions first, each by an exchange with a person no
    // requirement names or by a free seat, then improves; for a layout found by the exact
    // requirement check. `target` is by PersonId, -1 for no wish.
    Grouping improveTowards(const Grouping &start, const std::vector<int> &target);

    const OrderedScore &score() const { return bestScore; }
    bool isMovable(PersonId p) const;

    static constexpr long DefaultEvaluations = 90000;
    static constexpr int MaxStaleRounds = 12;

private:
    struct Candidate;

    void load(const Grouping &grouping);
    Grouping current() const;
    int compare(const std::vector<PersonMove> &moves);
    void accept(const std::vector<PersonMove> &moves);
    bool descend();
    bool tryMoves(PersonId p);
    bool tryBlocks();
    bool tryDoubleExchanges();
    void perturb();
    std::vector<PersonId> hotPersons() const;
    bool interchangeable(PersonId a, PersonId b) const;
    int freeSeats(int position) const;
    bool firstOfKind(PersonId p, unsigned &tried) const;

    const ClassState &state;
    ScoreTerms terms;
    mutable std::mt19937 random; // hotPersons shuffles too
    std::vector<unsigned char> traits;
    std::vector<char> movable;                // by PersonId
    std::vector<char> named;                  // by PersonId: a member of some requirement
    std::vector<int> capacity;                // by position
    std::vector<std::pair<int, int>> targets; // by position: boys and girls wanted
    bool identityMatters = false;             // extra terms may tell two persons of one kind apart
    std::unique_ptr<GroupingView> view;
    Grouping original; // the start, for the order of seats in the result
    OrderedScore currentScore;
    OrderedScore bestScore;
    OrderedScore bounds;
    std::vector<std::vector<PersonId>> best;
    long evaluations = 0;
    long budget;
};

} // namespace Velmora
