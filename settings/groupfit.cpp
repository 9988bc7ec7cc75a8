#include "groupfit.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Velmora::GroupFit {

namespace {

// A number of -1 means "no number": the fill then seats either gender on every seat.
int genderSeats(int target, int seats)
{
    return target < 0 ? seats : std::min(target, seats);
}

struct GroupNeed
{
    int index = 0;
    int highestFixedSeat = 0;
    int boysOverGirls = 0; // fixed boys minus fixed girls
};

} // namespace

bool Fit::fits() const
{
    if (!anyGroupEnabled)
        return true;
    return seats >= boys + girls && boySeats >= boys && girlSeats >= girls;
}

QString Fit::hint() const
{
    return u"提示: 男生 %1 人，各组男生座位共 %2 个；女生 %3 人，各组女生座位共 %4 个"_s.arg(boys)
        .arg(boySeats)
        .arg(girls)
        .arg(girlSeats);
}

Fit measure(const QList<GroupConfig> &configs, int boys, int girls)
{
    Fit fit;
    fit.boys = boys;
    fit.girls = girls;
    for (int index : enabledGroupIndices(configs)) {
        const GroupConfig &config = configs.at(index);
        const int seats = std::max(0, config.total);
        fit.anyGroupEnabled = true;
        fit.seats += seats;
        fit.boySeats += genderSeats(config.males, seats);
        fit.girlSeats += genderSeats(config.females, seats);
    }
    return fit;
}

QString key(const QList<GroupConfig> &configs, int boys, int girls)
{
    QString text = u"%1/%2"_s.arg(boys).arg(girls);
    for (int index : enabledGroupIndices(configs)) {
        const GroupConfig &config = configs.at(index);
        text += u"|%1:%2:%3:%4"_s.arg(index).arg(config.total).arg(config.males).arg(config.females);
    }
    return text;
}

QList<GroupConfig> spread(const QList<GroupConfig> &configs, int boys, int girls,
                          const FixedPositionMap &fixed, const Roster &roster)
{
    QList<GroupConfig> result = configs;
    // Twelve seats a group would be cut to ten by the settings dialog's next "保存".
    for (int index = 0, count = int(enabledGroupIndices(result).size());
         index < GroupCount && index < result.size() && boys + girls > count * MaxSeats; ++index) {
        if (!result.at(index).enabled) {
            result[index].enabled = true;
            ++count;
        }
    }
    const QList<int> enabled = enabledGroupIndices(result);
    const int groups = int(enabled.size());
    if (groups == 0)
        return result;

    QList<GroupNeed> needs;
    for (int index : enabled)
        needs.append({index, 0, 0});
    for (auto it = fixed.cbegin(); it != fixed.cend(); ++it) {
        const auto need = std::find_if(needs.begin(), needs.end(),
                                       [&](const GroupNeed &n) { return n.index == it.value().first - 1; });
        if (need == needs.end())
            continue;
        need->highestFixedSeat = std::max(need->highestFixedSeat, it.value().second);
        need->boysOverGirls += roster.isBoy(it.key()) ? 1 : -1;
    }
    std::stable_sort(needs.begin(), needs.end(), [](const GroupNeed &a, const GroupNeed &b) {
        return a.highestFixedSeat > b.highestFixedSeat;
    });

    // The remainders of boys and girls go one per group. Only when they add up to more than the
    // groups do some groups take one of each; those are the groups with the highest fixed seats.
    const int extraBoys = boys % groups;
    const int extraGirls = girls % groups;
    const int takingBoth = std::max(0, extraBoys + extraGirls - groups);
    const int takingAny = std::min(groups, extraBoys + extraGirls);
    // Among the groups taking one, those with more fixed boys take a boy.
    std::stable_sort(
        needs.begin() + takingBoth, needs.begin() + takingAny,
        [](const GroupNeed &a, const GroupNeed &b) { return a.boysOverGirls > b.boysOverGirls; });

    for (int k = 0; k < groups; ++k) {
        const GroupNeed &need = needs.at(k);
        GroupConfig &config = result[need.index];
        config.males = boys / groups;
        config.females = girls / groups;
        if (k < takingBoth) {
            ++config.males;
            ++config.females;
        } else if (k < extraBoys) {
            ++config.males;
        } else if (k < takingAny) {
            ++config.females;
        }
        config.total = config.males + config.females;
        // The seats beyond the class stay free for whoever the fill brings, as the settings show them.
        if (config.total < need.highestFixedSeat) {
            config.females += need.highestFixedSeat - config.total;
            config.total = need.highestFixedSeat;
        }
    }
    return result;
}

} // namespace Velmora::GroupFit
