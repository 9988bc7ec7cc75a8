#pragma once

#include "classscores.h"
#include "requirementrules.h"
#include "scoreterm.h"
#include "seatingplan.h"

#include <QList>
#include <QStringList>

#include <optional>

namespace Velmora {

// A requirement by kind and index in its list.
struct RequirementRef
{
    bool separate = false;
    int index = 0;
    friend bool operator==(const RequirementRef &a, const RequirementRef &b)
    {
        return a.separate == b.separate && a.index == b.index;
    }
};

// What one generate did, as data: the plan and everything the log says about it. The engine's
// own narration travels as the lines it wrote; everything else is written at the edge from the
// fields below, so that no line is ever found by its text.
struct GenerateReport
{
    // The tier a change of the search improved: the first that gets worse when the change alone is
    // undone.
    enum class Reason
    {
        Requirement,
        Leader,
        Boarder,
        Gender,
        ScoreBands,
        ScoreGap,
        History,
    };
    // A net change from the chosen run to the plan: two persons who traded groups (and seats), or
    // one person who moved into group `toGroup` (a group number).
    struct Change
    {
        PersonId person = 0;
        PersonId partner = 0; // 0 for a move
        int toGroup = 0;
        Reason reason = Reason::Requirement;
    };
    // A person the engine moved off their accepted fixed seat (two persons fixed to one seat),
    // put back on it before the search; whoever sat there takes the person's seat.
    struct Restored
    {
        PersonId person = 0;
        SeatRef seat;
    };
    struct LeaderCount
    {
        int group = 0; // group number
        int leaders = 0;
    };
    // A group that misses a leader, a boarder's balance or a gender target because the requirements
    // `because` are kept: a short search without any one of them does better on that tier.
    struct Cost
    {
        enum class Tier
        {
            Leader,
            Boarder,
            Gender,
        };
        Tier tier = Tier::Leader;
        int group = 0; // group number
        // Leaders or boarders in the group; for a gender target, the boys or girls missing.
        int count = 0;
        bool boysMissing = false;
        QList<RequirementRef> because;
    };
    // Why a finding of the requirement check stays.
    enum class Proof
    {
        NotProven,         // the search did not avoid it, but no check showed it cannot be avoided
        OtherRequirements, // it cannot be kept together with `others`
        ManyRequirements,  // it conflicts with more requirements than can be named
        FixedSeat,         // a member's fixed seat keeps it from being met
        TooFewSeats,       // the groups have too few seats for it
        Unknown,           // it cannot be avoided, but the check ran out of work naming the reason
    };
    struct Unmet
    {
        RequirementRules::Breach breach;
        Proof proof = Proof::NotProven;
        QList<RequirementRef> others;
    };
    struct HistoryNote
    {
        int rounds = 0;
        qint64 lastRoundPairs = 0;
        int recentRepeats = 0;
    };

    // With "按成绩均衡分组": the plan's groups by score, and the pupils of the class without one.
    struct ScoreNote
    {
        QList<GroupScores> groups;
        int unscored = 0;
    };

    SeatingPlan plan;
    // Texts of the engine's modal boxes ("没有启用的分组"), for the window to show.
    QStringList warnings;
    // The runs compared; 0 when the engine stopped before any comparison.
    int runs = 0;
    // The chosen run's lines, exactly as the engine wrote them.
    QStringList narration;
    std::optional<HistoryNote> history;
    std::optional<ScoreNote> scores;
    QList<Restored> restored;
    QList<Change> changes;
    // The leader count of every group of the plan.
    QList<LeaderCount> leaders;
    QList<Cost> costs;
    QList<Unmet> unmet;
    // Findings beyond those listed in `unmet`.
    int unmetNotListed = 0;
    OrderedScore score;
    // "停止" ended the search; the plan is the best one found by then.
    bool stopped = false;
};

} // namespace Velmora
