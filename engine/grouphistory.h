#pragma once

#include "model.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace Velmora {

// One group of a saved grouping: the group number the teacher set up (1..10) and the names in
// seat order. Rounds keep names, not PersonIds, because every roster edit renumbers the class.
struct HistoryGroup
{
    int number = 0;
    QStringList names;

    bool operator==(const HistoryGroup &other) const
    {
        return number == other.number && names == other.names;
    }
};

// One grouping the teacher saved as a chart.
struct HistoryRound
{
    int id = 0; // unique within the history, so that saving the same grouping again finds it
    QDateTime savedAt;
    QList<HistoryGroup> groups;

    int pupilCount() const;
    bool operator==(const HistoryRound &other) const
    {
        return id == other.id && savedAt == other.savedAt && groups == other.groups;
    }
};

struct HistorySettings
{
    bool avoidRepeats = true;
    int recentRounds = 8;

    static constexpr int MinRecentRounds = 1;
    static constexpr int MaxRecentRounds = 50;
    bool operator==(const HistorySettings &other) const
    {
        return avoidRepeats == other.avoidRepeats && recentRounds == other.recentRounds;
    }
};

// Every saved round, oldest first, and what the teacher chose about using them.
struct GroupHistory
{
    QList<HistoryRound> rounds;
    HistorySettings settings;

    // A teacher saves a few charts a week; 200 rounds are years of lessons, and more only slow
    // every start and generate down.
    static constexpr int MaxRounds = 200;

    // The round with this id, or nullptr.
    HistoryRound *round(int id);
    // Replaces the round `id` when it is still there, else appends `round` under a fresh id.
    // Returns the id the round now has.
    int record(HistoryRound round, int id = 0);
    bool remove(int id);
    // Gives the rounds the ids 1, 2, ... in their order; the ids of a file are never trusted.
    void renumber();
    // Drops the oldest rounds beyond MaxRounds and returns how many went.
    qsizetype dropOldest();

    // Distinct names of the rounds that the roster no longer has; they take no part in grouping.
    QStringList namesNotOnRoster(const Roster &roster) const;

    bool operator==(const GroupHistory &other) const
    {
        return rounds == other.rounds && settings == other.settings;
    }
};

// The plan as a round: one entry per group of the plan under its group number, the seated names
// in seat order.
HistoryRound roundFromPlan(const ClassState &state, const SeatingPlan &plan, const QDateTime &savedAt);

} // namespace Velmora
