#include "fixedpositions.h"

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

Remapped followRoster(const FixedPositionMap &positions, const Roster &before, const Roster &after)
{
    const QStringList oldNames = numberedNames(before);
    const QStringList newNames = numberedNames(after);

    Remapped result;
    for (auto it = positions.cbegin(); it != positions.cend(); ++it) {
        const PersonId oldId = it.key();
        const QString name = before.nameOf(oldId);
        PersonId newId = 0;
        if (oldId >= 1 && oldId <= oldNames.size()) {
            // Which of the equally named persons this is, counted in numbering order.
            const qsizetype occurrence = oldNames.mid(0, oldId - 1).count(name);
            qsizetype from = -1;
            for (qsizetype k = 0; k <= occurrence; ++k) {
                from = newNames.indexOf(name, from + 1);
                if (from < 0)
                    break;
            }
            if (from >= 0)
                newId = PersonId(from + 1);
        }
        if (newId == 0)
            result.droppedNames.append(name);
        else
            result.positions.insert(newId, it.value());
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
