#pragma once

#include "seatingplan.h"

#include <QList>
#include <QMap>
#include <QPair>
#include <QSet>
#include <QString>
#include <QStringList>

namespace Velmora {

// Persons are numbered from the roster order: boys 1..M, then girls M+1..M+F. 0 marks an empty
// seat; no person has 0 or a negative number.
using PersonId = int;

// One requirement: the persons in the order their names were typed.
using Constraint = QList<int>;

// PersonId -> (group number 1..10, seat number 1-based).
using FixedPositionMap = QMap<int, QPair<int, int>>;

// One list per enabled group, ascending group number: the engine's working seats (one entry per
// seat, 0 = empty), or the members-only view of a plan (seated persons in seat order) that scores
// and head counts read. A result is kept as a SeatingPlan.
using Grouping = QList<QList<int>>;

constexpr int GroupCount = 10;

struct GroupConfig
{
    bool enabled = false;
    int total = 0;  // seats, numbered 1..total
    int males = -1; // target of the targeted boys' fill; not above the seated boys means none
    int females = -1;
};

// The ten records before the configuration is read: groups 1..9 enabled with 6 seats, group 10
// disabled with none, and no gender targets.
QList<GroupConfig> defaultGroupConfigs();

// Ascending indices 0..9 of the enabled records; position k of a Grouping is the k-th of them.
QList<int> enabledGroupIndices(const QList<GroupConfig> &configs);

struct Roster
{
    QStringList maleNames;
    QStringList femaleNames;
    QMap<QString, int> nameToId;
    QMap<int, QString> idToName;
    QSet<QString> leaderNames;
    QSet<QString> boarderNames;
    // Exam scores in hundredths of a point, kept exactly as integers and, like the marks above,
    // by name; a pupil without an entry has no score.
    QMap<QString, int> scores;

    // Both maps are rebuilt whole from the two name lists. A name that occurs twice keeps the
    // number of its last occurrence in nameToId, while idToName keeps every number.
    void rebuildNameMaps();

    int maleCount() const { return int(maleNames.size()); }
    int femaleCount() const { return int(femaleNames.size()); }
    bool isBoy(PersonId p) const { return p >= 1 && p <= maleCount(); }
    // 'M' or 'F'; 0, negatives and numbers past the boys are girls.
    QChar gender(PersonId p) const { return isBoy(p) ? QLatin1Char('M') : QLatin1Char('F'); }
    QString nameOf(PersonId p) const { return idToName.value(p); }
    bool isLeader(PersonId p) const { return leaderNames.contains(nameOf(p)); }
    bool isBoarder(PersonId p) const { return boarderNames.contains(nameOf(p)); }
};

// Everything the main window owns apart from its widgets. The units of every layer take it as
// input (the engine a copy, which is cheap since the containers are implicitly shared).
struct ClassState
{
    Roster roster;
    QList<GroupConfig> groupConfigs;
    int enabledGroupCount = 0;
    FixedPositionMap fixedPositions;
    QList<Constraint> mustTogether;
    QList<Constraint> mustSeparate;
    // The last plan: generated, adjusted by hand or blank.
    SeatingPlan currentGrouping;
    QString configPath;
    QString currentStyle;
    QString templatePath;
    // "按成绩均衡分组" on the groups tab: whether generate balances the groups by the scores.
    bool balanceByScores = false;

    QList<int> enabledGroups() const { return enabledGroupIndices(groupConfigs); }
};

} // namespace Velmora
