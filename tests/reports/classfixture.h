#pragma once

#include "model.h"

#include <QStringList>

namespace Velmora::Test {

// A class of eight boys B1..B8 and eight girls G1..G8 (ids 1..8 and 9..16), written compactly so
// that test tables stay readable:
//   grouping  "B1 G1|B2 G2|"  groups split by '|', names by blanks; an empty piece is an empty group
//   requirements "B1 B2;G1 G3"  requirements split by ';'
// The first as many groups as the grouping has are enabled. A name outside the class stands for
// a PersonId the roster does not know (99).
inline int personOf(const Roster &roster, const QString &name)
{
    return roster.nameToId.value(name, 99);
}

inline QList<Constraint> requirementsOf(const Roster &roster, const QString &text)
{
    QList<Constraint> list;
    for (const QString &piece : text.split(u';', Qt::SkipEmptyParts)) {
        Constraint constraint;
        for (const QString &name : piece.split(u' ', Qt::SkipEmptyParts))
            constraint.append(personOf(roster, name));
        list.append(constraint);
    }
    return list;
}

inline ClassState classState(const QString &grouping, const QString &together = {},
                             const QString &separate = {})
{
    ClassState state;
    for (int i = 1; i <= 8; ++i) {
        state.roster.maleNames.append(QStringLiteral("B%1").arg(i));
        state.roster.femaleNames.append(QStringLiteral("G%1").arg(i));
    }
    state.roster.rebuildNameMaps();
    // A name "-" is an empty seat.
    Grouping seats;
    if (!grouping.isEmpty()) {
        for (const QString &piece : grouping.split(u'|')) {
            QList<int> group;
            for (const QString &name : piece.split(u' ', Qt::SkipEmptyParts))
                group.append(name == u"-" ? 0 : personOf(state.roster, name));
            seats.append(group);
        }
    }
    state.currentGrouping = SeatingPlan::fromMembers(seats);
    state.groupConfigs = defaultGroupConfigs();
    for (int i = 0; i < GroupCount; ++i) {
        state.groupConfigs[i].enabled = i < seats.size();
        state.groupConfigs[i].total = 6;
    }
    state.mustTogether = requirementsOf(state.roster, together);
    state.mustSeparate = requirementsOf(state.roster, separate);
    return state;
}

} // namespace Velmora::Test
