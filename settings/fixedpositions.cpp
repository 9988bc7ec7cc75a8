#include "fixedpositions.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Velmora::FixedPositions {

namespace {

// Boys first, then girls: the order in which numbers are handed out.
QStringList numberedNames(const Roster &roster)
{
    return roster.maleNames + roster.femaleNames;
}

} // namespace

PersonId occupantOf(const FixedPositionMap &positions, int group, int seat, PersonId except)
{
    for (auto it = positions.cbegin(); it != positions.cend(); ++it) {
        if (it.key() != except && it.value().first == group && it.value().second == seat)
            return it.key();
    }
    return 0;
}

namespace {

// The number `oldId` gets in `newNames`, 0 when its person left.
PersonId follow(PersonId oldId, const QStringList &oldNames, const QStringList &newNames)
{
    if (oldId < 1 || oldId > oldNames.size())
        return 0;
    const QString &name = oldNames.at(oldId - 1);
    // Which of the equally named persons this is, counted in numbering order.
    const qsizetype occurrence = std::count(oldNames.cbegin(), oldNames.cbegin() + (oldId - 1), name);
    qsizetype from = -1;
    for (qsizetype k = 0; k <= occurrence; ++k) {
        from = newNames.indexOf(name, from + 1);
        if (from < 0)
            return 0;
    }
    return PersonId(from + 1);
}

} // namespace

Remapped followRoster(const FixedPositionMap &positions, const Roster &before, const Roster &after)
{
    const QStringList oldNames = numberedNames(before);
    const QStringList newNames = numberedNames(after);

    Remapped result;
    for (auto it = positions.cbegin(); it != positions.cend(); ++it) {
        const PersonId newId = follow(it.key(), oldNames, newNames);
        if (newId == 0)
            result.droppedNames.append(before.nameOf(it.key()));
        else
            result.positions.insert(newId, it.value());
    }
    return result;
}

QList<Constraint> followRoster(const QList<Constraint> &constraints, const Roster &before,
                               const Roster &after)
{
    const QStringList oldNames = numberedNames(before);
    const QStringList newNames = numberedNames(after);
    QList<Constraint> result;
    for (const Constraint &constraint : constraints) {
        Constraint followed;
        for (PersonId person : constraint) {
            if (const PersonId newId = follow(person, oldNames, newNames))
                followed.append(newId);
        }
        // Without one of its persons a requirement is no longer the one the teacher stated.
        if (followed.size() == constraint.size() && followed.size() >= 2)
            result.append(followed);
    }
    return result;
}

QStringList followRoster(ClassState &state, const Roster &before)
{
    const Remapped remapped = followRoster(state.fixedPositions, before, state.roster);
    state.fixedPositions = remapped.positions;
    QStringList lines;
    for (const QString &name : remapped.droppedNames)
        lines.append(u"已移除固定位置: %1 (不在名单中)"_s.arg(name));
    return lines;
}

} // namespace Velmora::FixedPositions
