#pragma once

#include "model.h"
#include "requirementrules.h"

#include <QSet>

#include <atomic>
#include <vector>

namespace Velmora {

// An exact check of the teacher's requirements alone: can the requirement members be spread
// over the groups so that every finding of the requirement check, except those allowed, is
// avoided? Only the seats and the persons who never move (fixed persons, where the grouping it
// starts from holds them) limit the answer; everyone else fills whatever seats are left, so the
// search runs over the few persons requirements name.
class RequirementSolver
{
public:
    enum class Answer
    {
        Possible,
        Impossible,
        Unknown, // the work bound ran out first; nothing is claimed
    };

    // The findings a layout may keep. Everything else must be avoided.
    struct Allowance
    {
        std::vector<char> split;        // by must-together requirement
        std::vector<char> joined;       // by must-separate requirement
        std::vector<char> sharesFreely; // by must-together requirement: may share with any other
        // By a * (must-together count) + b for a pair a < b of must-together requirements allowed to
        // share a group; empty while no pair is. A flat table: hundreds of requirements give
        // thousands of pairs, and every proof copies the allowance.
        std::vector<char> shared;
    };

    // `start` is a result grouping; `immovable` is indexed by PersonId.
    RequirementSolver(const ClassState &state, const Grouping &start, const std::vector<char> &immovable);

    // Nothing allowed, the whole check must come out clean.
    Allowance none() const;
    // What the findings of a grouping allow.
    Allowance allowing(const QList<RequirementRules::Breach> &findings) const;
    // Also allows everything about requirement `index` of one kind.
    static void release(Allowance &allowance, bool separate, int index);
    // No longer allows this one finding: allowing(all) then forbid(one) is allowing(all but one).
    static void forbid(Allowance &allowance, const RequirementRules::Breach &finding);

    // On Possible, `layout` (by PersonId, -1 for a person it does not place) holds a grouping
    // of the members that avoids what it must.
    Answer check(const Allowance &allowance, std::vector<int> *layout = nullptr) const;
    // Once `stop` is raised every check answers Unknown.
    void setStop(const std::atomic_bool *flag) { stop = flag; }

    static constexpr long MaxNodes = 40000;
    // For all checks of one solver together, so that hundreds of requirements stay quick.
    static constexpr long MaxTotalNodes = 300000;

private:
    static std::size_t sharedIndex(const Allowance &allowance, const RequirementRules::Breach &breach);

    const ClassState &state;
    std::vector<int> pinned;        // by PersonId: position of a person who never moves, -2 none, -1 unseated
    std::vector<int> capacity;      // by position, seats left for persons who can move
    std::vector<char> occupiesSeat; // by PersonId: pinned and seated
    int unseated = 0;               // persons who cannot have a seat
    mutable long nodesLeft = MaxTotalNodes;
    const std::atomic_bool *stop = nullptr;
};

} // namespace Velmora
