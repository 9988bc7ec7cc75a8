#include "grouphistory.h"

#include <QSet>

#include <limits>

namespace Velmora {

int HistoryRound::pupilCount() const
{
    int count = 0;
    for (const HistoryGroup &group : groups)
        count += int(group.names.size());
    return count;
}

HistoryRound *GroupHistory::round(int id)
{
    for (HistoryRound &r : rounds) {
        if (r.id == id)
            return &r;
    }
    return nullptr;
}

int GroupHistory::record(HistoryRound entry, int id)
{
    if (id > 0) {
        if (HistoryRound *existing = round(id)) {
            entry.id = id;
            *existing = std::move(entry);
            return id;
        }
    }
    int highest = 0;
    for (const HistoryRound &r : std::as_const(rounds))
        highest = qMax(highest, r.id);
    // The caller's id was not found here, so renumbering cannot lose the round it meant.
    if (highest == std::numeric_limits<int>::max()) {
        renumber();
        highest = int(rounds.size());
    }
    entry.id = highest + 1;
    rounds.append(std::move(entry));
    return rounds.constLast().id;
}

bool GroupHistory::remove(int id)
{
    for (qsizetype i = 0; i < rounds.size(); ++i) {
        if (rounds.at(i).id == id) {
            rounds.removeAt(i);
            return true;
        }
    }
    return false;
}

void GroupHistory::renumber()
{
    for (qsizetype i = 0; i < rounds.size(); ++i)
        rounds[i].id = int(i + 1);
}

qsizetype GroupHistory::dropOldest()
{
    const qsizetype excess = rounds.size() - MaxRounds;
    if (excess <= 0)
        return 0;
    rounds.remove(0, excess);
    return excess;
}

QStringList GroupHistory::namesNotOnRoster(const Roster &roster) const
{
    QStringList missing;
    QSet<QString> seen;
    for (const HistoryRound &r : rounds) {
        for (const HistoryGroup &group : r.groups) {
            for (const QString &name : group.names) {
                if (!roster.nameToId.contains(name) && !seen.contains(name)) {
                    seen.insert(name);
                    missing.append(name);
                }
            }
        }
    }
    return missing;
}

HistoryRound roundFromPlan(const ClassState &state, const SeatingPlan &plan, const QDateTime &savedAt)
{
    HistoryRound result;
    result.savedAt = savedAt;
    for (int position = 0; position < plan.groupCount(); ++position) {
        HistoryGroup group;
        group.number = plan.numberAt(position);
        for (PersonId p : plan.membersAt(position))
            group.names.append(state.roster.nameOf(p));
        result.groups.append(group);
    }
    return result;
}

} // namespace Velmora
