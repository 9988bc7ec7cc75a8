#include "benchclasses.h"

#include <QSet>

#include <time.h>

using namespace Qt::StringLiterals;

namespace Velmora::Bench {

int between(std::mt19937 &random, int low, int high)
{
    return low + int(random() % std::uint32_t(high - low + 1));
}

ClassState randomClass(std::mt19937 &random)
{
    ClassState state;
    const int pupils = between(random, 30, 60);
    const int boys = qBound(1, pupils / 2 + between(random, -5, 5), pupils - 1);
    for (int i = 1; i <= boys; ++i)
        state.roster.maleNames.append(u"男%1"_s.arg(i));
    for (int i = 1; i <= pupils - boys; ++i)
        state.roster.femaleNames.append(u"女%1"_s.arg(i));
    state.roster.rebuildNameMaps();

    const int groups = between(random, 6, 10);
    const int seats = pupils + between(random, 0, 3);
    std::vector<int> sizes(std::size_t(groups), seats / groups);
    for (int i = 0; i < seats % groups; ++i)
        ++sizes[std::size_t(i)];
    for (int i = 0; i < groups; ++i) {
        const int from = between(random, 0, groups - 1);
        const int to = between(random, 0, groups - 1);
        if (sizes[std::size_t(from)] > 3) {
            --sizes[std::size_t(from)];
            ++sizes[std::size_t(to)];
        }
    }
    const bool targets = random() % 5 < 3;
    state.groupConfigs = defaultGroupConfigs();
    for (int g = 0; g < 10; ++g) {
        GroupConfig &config = state.groupConfigs[g];
        config.enabled = g < groups;
        config.total = g < groups ? sizes[std::size_t(g)] : 0;
        config.males = -1;
        config.females = -1;
        if (targets && g < groups) {
            config.males = qMax(0, (config.total * boys + pupils / 2) / pupils + between(random, -1, 1));
            config.females = qMax(0, config.total - config.males - between(random, 0, 1));
        }
    }
    state.enabledGroupCount = groups;

    const auto anyone = [&] { return between(random, 1, pupils); };
    const int leaders = qMax(1, groups + between(random, -2, 2));
    while (state.roster.leaderNames.size() < leaders)
        state.roster.leaderNames.insert(state.roster.nameOf(anyone()));
    const int boarders = between(random, 0, pupils * 15 / 100);
    while (state.roster.boarderNames.size() < boarders)
        state.roster.boarderNames.insert(state.roster.nameOf(anyone()));
    const int fixed = between(random, 0, 3);
    QSet<QPair<int, int>> taken;
    while (state.fixedPositions.size() < fixed) {
        const int g = between(random, 1, groups);
        const QPair<int, int> seat(g, between(random, 1, sizes[std::size_t(g - 1)]));
        if (taken.contains(seat))
            continue;
        taken.insert(seat);
        state.fixedPositions.insert(anyone(), seat);
    }

    QList<int> leaderIds;
    for (int p = 1; p <= pupils; ++p) {
        if (state.roster.isLeader(p))
            leaderIds.append(p);
    }
    QList<int> used;
    const int requirements = between(random, 2, 8);
    for (int r = 0; r < requirements; ++r) {
        Constraint members;
        const int size = random() % 10 < 7 ? 2 : 3;
        while (members.size() < size) {
            const int roll = int(random() % 10);
            int p = anyone();
            if (roll < 2 && !used.isEmpty())
                p = used.at(int(random() % std::uint32_t(used.size())));
            else if (roll < 4)
                p = leaderIds.at(int(random() % std::uint32_t(leaderIds.size())));
            if (!members.contains(p))
                members.append(p);
        }
        used += members;
        (random() % 2 ? state.mustTogether : state.mustSeparate).append(members);
    }
    return state;
}

void drawScores(ClassState &state, std::mt19937 &random)
{
    const bool halves = random() % 2 == 0;
    const bool someMissing = random() % 4 == 0;
    const int people = state.roster.maleCount() + state.roster.femaleCount();
    for (int p = 1; p <= people; ++p) {
        if (someMissing && random() % 10 == 0)
            continue;
        int hundredths = (between(random, 3000, 10000) + between(random, 3000, 10000)) / 2;
        if (halves)
            hundredths = hundredths / 50 * 50;
        state.roster.scores.insert(state.roster.nameOf(p), hundredths);
    }
    state.balanceByScores = true;
}

ClassState largeClass(int people, int requirements, std::mt19937 &random)
{
    ClassState state;
    for (int i = 1; i <= people / 2; ++i)
        state.roster.maleNames.append(u"男%1"_s.arg(i));
    for (int i = 1; i <= people - people / 2; ++i)
        state.roster.femaleNames.append(u"女%1"_s.arg(i));
    state.roster.rebuildNameMaps();
    state.groupConfigs = defaultGroupConfigs();
    for (int g = 0; g < 10; ++g) {
        state.groupConfigs[g] = {true, (people + 9) / 10, (people + 39) / 40, (people + 39) / 40};
    }
    state.enabledGroupCount = 10;
    for (int i = 0; i < 12; ++i)
        state.roster.leaderNames.insert(state.roster.nameOf(between(random, 1, people)));
    for (int i = 0; i < people / 10; ++i)
        state.roster.boarderNames.insert(state.roster.nameOf(between(random, 1, people)));
    for (int r = 0; r < requirements; ++r) {
        Constraint members;
        const int size = r % 3 == 0 ? 3 : 2;
        while (members.size() < size) {
            const int p = between(random, 1, people);
            if (!members.contains(p))
                members.append(p);
        }
        (r % 2 ? state.mustTogether : state.mustSeparate).append(members);
    }
    return state;
}

double threadMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

} // namespace Velmora::Bench
