#pragma once

#include "model.h"
#include "seedsource.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <functional>
#include <random>
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

    // The whole pipeline. Returns one list per enabled group with the seated persons in seat
    // order; the working grouping holds the same afterwards.
    Grouping run();

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
    // A list consumed from the front.
    struct PersonQueue
    {
        QList<int> items;
        qsizetype head = 0;
        bool isEmpty() const { return head >= items.size(); }
        int take() { return items.at(head++); }
        qsizetype remaining() const { return items.size() - head; }
    };

    void log(const QString &line) const;
    std::uint32_t nextSeed();

    QString nameOf(PersonId p) const { return input.roster.idToName.value(p); }
    bool isBoy(PersonId p) const { return p >= 1 && p <= maleCount; }
    bool sameGender(PersonId a, PersonId b) const { return isBoy(a) == isBoy(b); }
    bool isLeader(PersonId p) const;
    bool isBoarder(PersonId p) const;
    bool isFixed(PersonId p) const { return fixedSet.contains(p); }
    bool isImmovable(PersonId p) const { return immovable.contains(p); }

    int positionOfIndex(int index) const;   // -1 when group index+1 is not enabled
    int positionOfNumber(int number) const; // the same for a group number 1..10
    int firstEmptySeat(int position) const;
    int positionOfPerson(PersonId p) const; // first occurrence, -1 when nowhere
    bool isSeated(PersonId p) const { return positionOfPerson(p) >= 0; }
    void markAssigned(PersonId p);

    void placeFixedPositions();
    void seatRequirementGroups();
    void buildGenderLists();
    void fillTargeted(PersonQueue &queue, bool boys);
    void fillRemaining(PersonQueue &queue, bool boys);
    void seatLeaders();
    void resolveLeaderConflicts();
    template <typename Attempt>
    bool forEachMovableOverfullLeader(const QList<QList<int>> &leaderSeats, const QList<int> &overfull,
                                      Attempt &&attempt);
    bool moveOverfullLeader(const QList<QList<int>> &leaderSeats, const QList<int> &overfull,
                            const QList<int> &leaderless);
    bool swapOverfullLeader(const QList<QList<int>> &leaderSeats, const QList<int> &overfull,
                            const QList<int> &leaderless);
    void arrangeGenderOrder();
    void buildImmovableSet();
    void separateRequirements();
    bool separateMember(const Constraint &requirement, PersonId member, QHash<int, int> &where);
    void balanceBoarders();
    void validate();
    void handBack();

    const ClassState input;
    const LogSink logSink;
    const WarningSink warningSink;
    SeedSource seeds;
    const int maleCount;
    const int personCount;
    const QList<int> enabled;
    std::vector<bool> leaderFlags; // by PersonId, 1..personCount
    std::vector<bool> boarderFlags;

    Grouping working;
    std::vector<bool> unassigned;
    QSet<int> fixedSet;
    QSet<int> requirementGroups; // group indices 0..9
    QSet<int> immovable;
    PersonQueue boysQueue;
    PersonQueue girlsQueue;
    std::mt19937 random;
};

} // namespace Velmora
