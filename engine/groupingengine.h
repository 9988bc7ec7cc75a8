#pragma once

#include "model.h"
#include "seedsource.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <functional>
#include <vector>

namespace Velmora {

// One exchange of a swap path: the moving person stands on (fromGroup, fromSeat) and changes
// places with the occupant of (toGroup, toSeat). Groups are positions in the grouping, seats
// are indices, all 0-based.
struct SwapStep
{
    int fromGroup;
    int fromSeat;
    int toGroup;
    int toSeat;
};

inline bool operator==(const SwapStep &a, const SwapStep &b)
{
    return a.fromGroup == b.fromGroup && a.fromSeat == b.fromSeat && a.toGroup == b.toGroup &&
           a.toSeat == b.toSeat;
}

// Turns a snapshot of the class into a grouping, narrating every decision to the log sink.
//
//     GroupingEngine engine(state, appendToLog, showErrorBox);
//     currentGrouping = engine.run();
//
// The window shows the warning text in a modal box titled "错误". The seat operations act on the
// working grouping and are public so that they can be driven without a run.
class GroupingEngine
{
public:
    using LogSink = std::function<void(const QString &line)>;
    using WarningSink = std::function<void(const QString &text)>;
    using SeedSource = Velmora::SeedSource;

    // An empty seed source means std::random_device.
    GroupingEngine(const ClassState &input, LogSink log, WarningSink warning, SeedSource seeds = {});

    // The whole pipeline. Returns the plan of the enabled groups, seat by seat; the working
    // grouping holds the same seats afterwards.
    SeatingPlan run();

    Grouping &workingGrouping() { return working; }

    bool swapWithinGroup(int group, int seatA, int seatB);
    bool swapAcrossGroups(int groupA, int seatA, int groupB, int seatB);
    QList<SwapStep> findSwapPath(int fromGroup, int fromSeat, int toGroup, int toSeat) const;
    bool movePerson(int person, int targetGroup, int targetSeat);
    void optimizeFixedPositions();

    // The visited-set key of a seat: position and seat index, "%1-%2".
    static QString seatKey(int group, int seat);

    // Bound on the must-separate passes; a requirement set can push persons back and forth.
    static constexpr int MaxSeparationPasses = 100;

private:
    // Everything a run builds and throws away; the stages receive it instead of sharing members.
    struct RunState;

    // A seat of the working grouping: position and seat index, both 0-based; -1 for none.
    struct Seat
    {
        int group = -1;
        int seat = -1;
        bool exists() const { return group >= 0; }
        bool operator==(const Seat &other) const { return group == other.group && seat == other.seat; }
    };
    // One seat reached by the path search, with the index of the node it was reached from.
    struct SearchNode
    {
        Seat at;
        qsizetype parent;
    };
    using SeatFlags = std::vector<std::vector<bool>>;

    void log(const QString &line) const;
    std::uint32_t nextSeed();

    QString nameOf(PersonId p) const { return input.roster.idToName.value(p); }
    bool isBoy(PersonId p) const { return p >= 1 && p <= maleCount; }
    bool sameGender(PersonId a, PersonId b) const { return isBoy(a) == isBoy(b); }
    bool isLeader(PersonId p) const;
    bool isBoarder(PersonId p) const;

    int positionOfNumber(int number) const; // -1 when group `number` is not enabled
    int firstEmptySeat(int position) const;
    bool holdsSeat(const Seat &seat) const;
    Seat seatOf(PersonId p) const;                        // first occurrence
    Seat fixedTarget(const QPair<int, int> &fixed) const; // group -1 when not enabled; seat unchecked
    QList<int> leaderSeats(int position) const;

    void placeFixedPositions(RunState &run);
    void seatRequirementGroups(RunState &run);
    void buildGenderLists(RunState &run);
    void fillTargeted(RunState &run, bool boys);
    void fillRemaining(RunState &run, bool boys);
    void seatLeaders(RunState &run);
    void resolveLeaderConflicts(const RunState &run);
    QList<Seat> movableLeaders(const RunState &run, const QList<int> &overfull) const;
    bool moveOverfullLeader(const QList<Seat> &movable, const QList<int> &leaderless);
    bool swapOverfullLeader(const RunState &run, const QList<Seat> &movable, const QList<int> &leaderless);
    void arrangeGenderOrder(RunState &run);
    void buildImmovableSet(RunState &run);
    void separateRequirements(RunState &run);
    bool separateRequirement(RunState &run, const Constraint &requirement, QHash<int, int> &where);
    bool separateMember(RunState &run, const Constraint &requirement, PersonId member,
                        QHash<int, int> &where);
    void balanceBoarders(const RunState &run);
    void validate();
    SeatingPlan handBack();

    SeatFlags blockedSeats(const Seat &target) const;
    QList<SearchNode> searchSeats(const SeatFlags &blocked, const Seat &from, const Seat &to) const;
    static QList<SwapStep> rebuildPath(const QList<SearchNode> &nodes);

    const ClassState input;
    const LogSink logSink;
    const WarningSink warningSink;
    SeedSource seeds;
    const int maleCount;
    const int personCount;
    const QList<int> enabled;
    std::vector<bool> leaderFlags; // by PersonId, 1..personCount
    std::vector<bool> boarderFlags;

    // The seat operations work on it outside a run too, so it is the one piece of state kept.
    Grouping working;
};

} // namespace Velmora
