#pragma once

#include <QList>
#include <QMap>
#include <QMetaType>
#include <QPair>

namespace Velmora {

using PersonId = int;
using Grouping = QList<QList<int>>;
struct ClassState;
struct GroupConfig;

// A seat as the teacher names it: the group number (1..10, not the position among the enabled
// groups) and the seat number (1-based).
struct SeatRef
{
    int group = 0;
    int seat = 0;

    bool isValid() const { return group >= 1 && seat >= 1; }
    static SeatRef fromFixed(const QPair<int, int> &fixed) { return {fixed.first, fixed.second}; }
    QPair<int, int> toFixed() const { return {group, seat}; }
    friend bool operator==(const SeatRef &a, const SeatRef &b)
    {
        return a.group == b.group && a.seat == b.seat;
    }
    friend bool operator!=(const SeatRef &a, const SeatRef &b) { return !(a == b); }
};

// Who sits where: for each enabled group in the teacher's numbering, its seats 1..total, each a
// person or empty (0). The engine hands one back, the hand adjustments change it, and the table,
// the checks, the chart and the history read it. Positions (0-based, the order of the groups)
// only address groups inside the engine; everything shown uses the group numbers.
class SeatingPlan
{
public:
    SeatingPlan() = default;

    // Every enabled group of `configs` with all its seats empty.
    static SeatingPlan emptyFor(const QList<GroupConfig> &configs);
    // Groups 1..`groups` with `seats` empty seats each: the chart of "新建座位表".
    static SeatingPlan blank(int groups, int seats);
    // Seat lists by position (0 for empty) under the given group numbers, taken as they are.
    static SeatingPlan fromSeats(const QList<int> &numbers, const Grouping &seats);
    // The persons of each group on seats 1, 2, ... with no gap, groups numbered 1..n unless
    // `numbers` says otherwise; for charts made by hand.
    static SeatingPlan fromMembers(const Grouping &members, const QList<int> &numbers = {});
    // The same, each group padded with empty seats up to the `total` of its enabled record.
    static SeatingPlan fromMembers(const Grouping &members, const QList<GroupConfig> &configs);

    bool isEmpty() const { return numbers.isEmpty(); }
    int groupCount() const { return int(numbers.size()); }
    int numberAt(int position) const { return numbers.value(position); }
    // -1 when the plan has no group of that number.
    int positionOf(int number) const { return int(numbers.indexOf(number)); }
    const QList<int> &groupNumbers() const { return numbers; }
    int seatCount(int position) const { return int(seats.value(position).size()); }
    // Seat s of the group at `position` is entry s - 1; 0 marks an empty seat.
    const QList<PersonId> &seatsAt(int position) const { return seats.at(position); }
    QList<PersonId> &seatsAt(int position) { return seats[position]; }

    bool holds(const SeatRef &seat) const;
    // 0 for an empty seat and for a seat the plan does not have.
    PersonId occupant(const SeatRef &seat) const;
    void setOccupant(const SeatRef &seat, PersonId person);
    // Invalid when the person holds no seat; the first seat in group and seat order otherwise.
    SeatRef seatOf(PersonId person) const;
    SeatRef refAt(int position, int index) const { return {numberAt(position), index + 1}; }

    // The seated persons of each group in seat order, without the empty seats: what scores and
    // head counts read. Derived afresh, never stored.
    Grouping members() const;
    QList<PersonId> membersAt(int position) const;
    int seatedCount(int position) const;

    void clear()
    {
        numbers.clear();
        seats.clear();
    }

    friend bool operator==(const SeatingPlan &a, const SeatingPlan &b)
    {
        return a.numbers == b.numbers && a.seats == b.seats;
    }
    friend bool operator!=(const SeatingPlan &a, const SeatingPlan &b) { return !(a == b); }

private:
    QList<int> numbers; // by position: the group number
    Grouping seats;     // by position: one entry per seat
};

// The fixed seats the engine accepts, in the order it places them (group number, then person):
// the group is enabled, the seat is one of its seats, and nobody accepted before took it. The
// others are refused by the engine; nothing holds their persons in place.
QMap<PersonId, SeatRef> acceptedFixedSeats(const ClassState &state);

// The index of the empty seat a person moved into the group at `position` takes: the lowest one
// that is nobody's accepted fixed seat, since its owner may come back to it; -1 when none is left.
int seatForNewcomer(const SeatingPlan &plan, int position, const QMap<PersonId, SeatRef> &fixedSeats);

// `start` with each group holding the persons `members` gives it (by position, in any order).
// Whoever stays keeps their seat; two persons who traded groups take each other's seats; anyone
// else new to a group takes the seat seatForNewcomer gives, in ascending PersonId order.
SeatingPlan reseat(const SeatingPlan &start, const Grouping &members,
                   const QMap<PersonId, SeatRef> &fixedSeats);

} // namespace Velmora

Q_DECLARE_METATYPE(Velmora::SeatRef)
Q_DECLARE_METATYPE(Velmora::SeatingPlan)
