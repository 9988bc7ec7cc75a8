#include "requirementrules.h"

#include <QSet>

#include <algorithm>

namespace Velmora::RequirementRules {

bool mustTogetherBroken(const Constraint &constraint, const PersonGroupMap &map)
{
    return mustTogetherBroken(constraint, MapLookup{map});
}

bool mustSeparateBroken(const Constraint &constraint, const PersonGroupMap &map)
{
    return mustSeparateBroken(constraint, MapLookup{map});
}

int mustTogetherPosition(const Constraint &constraint, const PersonGroupMap &map)
{
    return mustTogetherPosition(constraint, MapLookup{map});
}

QList<Breach> findBreaches(const QList<Constraint> &mustTogether, const QList<Constraint> &mustSeparate,
                           const PersonGroupMap &map)
{
    return findBreaches(mustTogether, mustSeparate, MapLookup{map});
}

int brokenCount(const QList<Constraint> &mustTogether, const QList<Constraint> &mustSeparate,
                const PersonGroupMap &map)
{
    // Every finding counts, two must-together requirements sharing a group included, so that the
    // count is zero exactly when the requirement check finds everything met.
    return int(findBreaches(mustTogether, mustSeparate, map).size());
}

QString breachNames(const Breach &breach, const ClassState &state)
{
    const auto namesOf = [&state](const Constraint &constraint) {
        QString names;
        for (int person : constraint)
            names += state.roster.nameOf(person) + u' ';
        return names;
    };
    switch (breach.kind) {
    case Breach::Kind::MustTogetherSplit:
        return namesOf(state.mustTogether.at(breach.first));
    case Breach::Kind::MustTogetherShared:
        return namesOf(state.mustTogether.at(breach.first)) + namesOf(state.mustTogether.at(breach.second));
    case Breach::Kind::MustSeparateJoined:
        return namesOf(state.mustSeparate.at(breach.first));
    }
    return QString();
}

QList<QList<PersonId>> togetherBlocks(const QList<Constraint> &mustTogether, int people)
{
    QList<QSet<PersonId>> blocks;
    for (const Constraint &requirement : mustTogether) {
        QSet<PersonId> block;
        for (PersonId p : requirement) {
            if (p >= 1 && p <= people)
                block.insert(p);
        }
        for (qsizetype i = blocks.size() - 1; i >= 0; --i) {
            if (blocks.at(i).intersects(block))
                block.unite(blocks.takeAt(i));
        }
        if (block.size() > 1)
            blocks.append(block);
    }
    QList<QList<PersonId>> sorted;
    for (const QSet<PersonId> &block : std::as_const(blocks)) {
        QList<PersonId> members = block.values();
        std::sort(members.begin(), members.end());
        sorted.append(members);
    }
    return sorted;
}

} // namespace Velmora::RequirementRules
