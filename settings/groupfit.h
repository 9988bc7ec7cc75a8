#pragma once

#include "model.h"

#include <QList>
#include <QString>

namespace Velmora {

// Whether the enabled groups can seat the class as their numbers ask, and the even spread of the
// class over them that the teacher may take instead.
namespace GroupFit {

struct Fit
{
    int boys = 0;
    int girls = 0;
    int seats = 0;     // all seats of the enabled groups
    int boySeats = 0;  // their boys' numbers added up; a group without a number counts all its seats
    int girlSeats = 0; // the same for the girls
    bool anyGroupEnabled = false;

    // More seats than pupils is normal; fewer, in all or for one gender, is not. Without an enabled
    // group there is nothing to compare: the grouping itself says so.
    bool fits() const;
    // The plain log line that names the four numbers.
    QString hint() const;
};

Fit measure(const QList<GroupConfig> &configs, int boys, int girls);

// Changes whenever the class size or an enabled group's numbers do, so that a question answered
// for one class and one set of groups is not asked again for them.
QString key(const QList<GroupConfig> &configs, int boys, int girls);

// The class spread over the enabled groups: seats, boys and girls of any two groups differ by at
// most one, and a group's seats equal its boys and girls. A fixed seat stays inside its group: the
// groups holding the highest fixed seat numbers get the larger share first, and a group whose fixed
// seat lies beyond its share keeps that many seats. Fixed boys and girls (their gender by `roster`)
// draw the extra boy or girl to their group. A group gets at most as many seats as the settings
// dialog can show (MaxSeats); where the enabled groups cannot hold the class that way, disabled groups
// are enabled in ascending order until they can. Other disabled groups keep their records.
constexpr int MaxSeats = 10;

QList<GroupConfig> spread(const QList<GroupConfig> &configs, int boys, int girls,
                          const FixedPositionMap &fixed, const Roster &roster);

} // namespace GroupFit
} // namespace Velmora
