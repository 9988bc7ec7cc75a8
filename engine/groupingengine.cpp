#include "groupingengine.h"

#include <QMap>
#include <QPair>

#include <algorithm>
#include <limits>
#include <random>

using namespace Qt::StringLiterals;

namespace Velmora {

namespace {

QString num(int value)
{
    return QString::number(value);
}

constexpr int MaxLeaderRounds = 50;
constexpr int MaxBoarderRounds = 100;

// A list consumed from the front.
struct PersonQueue
{
    QList<int> items;
    qsizetype head = 0;
    bool isEmpty() const { return head >= items.size(); }
    int take() { return items.at(head++); }
};

} // namespace

struct GroupingEngine::RunState
{
    explicit RunState(int personCount) : unassigned(std::size_t(personCount) + 1, true)
    {
        unassigned[0] = false;
    }

    void markAssigned(PersonId p)
    {
        if (p >= 1 && std::size_t(p) < unassigned.size())
            unassigned[std::size_t(p)] = false;
    }
    bool isFixed(PersonId p) const { return fixedSet.contains(p); }
    bool isImmovable(PersonId p) const { return immovable.contains(p); }

    std::vector<bool> unassigned; // by PersonId
    QSet<int> fixedSet;
    QSet<int> requirementGroups; // group indices 0..9
    QSet<int> immovable;
    PersonQueue boys;
    PersonQueue girls;
    std::mt19937 random;
};

GroupingEngine::GroupingEngine(const ClassState &input, LogSink log, WarningSink warning, SeedSource seeds)
    : input(input), logSink(std::move(log)), warningSink(std::move(warning)),
      seeds(seeds ? std::move(seeds) : randomDeviceSeeds()), maleCount(input.roster.maleCount()),
      personCount(input.roster.maleCount() + input.roster.femaleCount()),
      enabled(enabledGroupIndices(input.groupConfigs))
{
    // Leader and boarder status belong to names; looking them up once keeps the inner loops of
    // the conflict and balance stages free of map lookups.
    leaderFlags.assign(std::size_t(personCount) + 1, false);
    boarderFlags.assign(std::size_t(personCount) + 1, false);
    for (int p = 1; p <= personCount; ++p) {
        const QString name = nameOf(p);
        leaderFlags[std::size_t(p)] = input.roster.leaderNames.contains(name);
        boarderFlags[std::size_t(p)] = input.roster.boarderNames.contains(name);
    }
}

void GroupingEngine::log(const QString &line) const
{
    if (logSink)
        logSink(line);
}

std::uint32_t GroupingEngine::nextSeed()
{
    return seeds();
}

bool GroupingEngine::isLeader(PersonId p) const
{
    if (p >= 1 && p <= personCount)
        return leaderFlags[std::size_t(p)];
    return input.roster.leaderNames.contains(nameOf(p));
}

bool GroupingEngine::isBoarder(PersonId p) const
{
    if (p >= 1 && p <= personCount)
        return boarderFlags[std::size_t(p)];
    return input.roster.boarderNames.contains(nameOf(p));
}

int GroupingEngine::positionOfNumber(int number) const
{
    if (number < 1 || number > GroupCount)
        return -1;
    return int(enabled.indexOf(number - 1));
}

int GroupingEngine::firstEmptySeat(int position) const
{
    return int(working.at(position).indexOf(0));
}

bool GroupingEngine::holdsSeat(const Seat &seat) const
{
    return seat.group >= 0 && seat.group < working.size() && seat.seat >= 0 &&
           seat.seat < working.at(seat.group).size();
}

GroupingEngine::Seat GroupingEngine::seatOf(PersonId p) const
{
    for (int group = 0; group < working.size(); ++group) {
        const qsizetype seat = working.at(group).indexOf(p);
        if (seat >= 0)
            return {group, int(seat)};
    }
    return {};
}

GroupingEngine::Seat GroupingEngine::fixedTarget(const QPair<int, int> &fixed) const
{
    const int group = positionOfNumber(fixed.first);
    // The one seat number without an index below it stays as it is: it names no seat either way.
    const int seat = fixed.second > std::numeric_limits<int>::min() ? fixed.second - 1 : fixed.second;
    return group < 0 ? Seat() : Seat{group, seat};
}

QList<int> GroupingEngine::leaderSeats(int position) const
{
    QList<int> seats;
    const QList<int> &group = working.at(position);
    for (int i = 0; i < group.size(); ++i) {
        if (group.at(i) != 0 && isLeader(group.at(i)))
            seats.append(i);
    }
    return seats;
}

SeatingPlan GroupingEngine::run()
{
    working.clear();
    if (enabled.isEmpty()) {
        if (warningSink)
            warningSink(u"没有启用的分组"_s);
        return {};
    }

    for (int index : enabled)
        working.append(QList<int>(qMax(0, input.groupConfigs.at(index).total), 0));
    RunState state(personCount);
    state.random.seed(nextSeed());

    placeFixedPositions(state);
    seatRequirementGroups(state);
    buildGenderLists(state);
    fillTargeted(state, false);
    fillTargeted(state, true);
    fillRemaining(state, false);
    fillRemaining(state, true);
    seatLeaders(state);
    resolveLeaderConflicts(state);
    arrangeGenderOrder(state);
    buildImmovableSet(state);
    separateRequirements(state);
    balanceBoarders(state);
    optimizeFixedPositions();
    validate();
    return handBack();
}

void GroupingEngine::placeFixedPositions(RunState &run)
{
    const FixedPositionMap &fixed = input.fixedPositions;
    QList<int> order = fixed.keys();
    std::stable_sort(order.begin(), order.end(),
                     [&fixed](int a, int b) { return fixed.value(a).first < fixed.value(b).first; });

    for (int p : order) {
        const int g = fixed.value(p).first;
        const int s = fixed.value(p).second;
        log(u"处理固定位置: %1 到组%2座位%3"_s.arg(nameOf(p), num(g), num(s)));
        const Seat target = fixedTarget(fixed.value(p));
        if (!target.exists()) {
            log(u"错误: 组%1未启用或索引无效"_s.arg(g));
            continue;
        }
        if (!holdsSeat(target)) {
            log(u"错误: 座位位置%1超出范围(1-%2)"_s.arg(num(s), num(input.groupConfigs.at(g - 1).total)));
            continue;
        }
        const int holder = working.at(target.group).at(target.seat);
        if (holder != 0) {
            log(u"错误: 座位%1已被固定位置人员 %2 占用，无法放置 %3"_s.arg(num(s), nameOf(holder),
                                                                           nameOf(p)));
            continue;
        }
        working[target.group][target.seat] = p;
        run.fixedSet.insert(p);
        run.markAssigned(p);
        log(u"成功分配固定位置: %1 到组%2座位%3"_s.arg(nameOf(p), num(g), num(s)));
    }
}

void GroupingEngine::seatRequirementGroups(RunState &run)
{
    QList<int> freeGroups = enabled;
    std::shuffle(freeGroups.begin(), freeGroups.end(), run.random);
    qsizetype nextFree = 0;
    QSet<int> seatedByRequirements;

    for (const Constraint &requirement : input.mustTogether) {
        if (nextFree >= freeGroups.size()) {
            log(u"错误：没有足够的组来分配所有要求组"_s);
            return;
        }
        const int index = freeGroups.at(nextFree++);
        run.requirementGroups.insert(index);
        QList<int> &seats = working[enabled.indexOf(index)];
        qsizetype cursor = 0;
        QSet<int> named;
        for (int member : requirement) {
            // A name typed twice is one person, who has had their turn.
            if (named.contains(member))
                continue;
            named.insert(member);
            if (run.isFixed(member)) {
                log(u"人员 %1 已被固定位置占用，跳过要求分配"_s.arg(nameOf(member)));
                continue;
            }
            // A person named by two requirements would otherwise stand twice in the grouping.
            if (seatedByRequirements.contains(member)) {
                log(u"人员 %1 已被其他要求组分配，跳过要求分配"_s.arg(nameOf(member)));
                continue;
            }
            while (cursor < seats.size() && seats.at(cursor) != 0)
                ++cursor;
            if (cursor >= seats.size()) {
                log(u"错误: 组%1没有足够的空位分配给要求组"_s.arg(index + 1));
                break;
            }
            seats[cursor++] = member;
            seatedByRequirements.insert(member);
            run.markAssigned(member);
        }
    }
}

void GroupingEngine::buildGenderLists(RunState &run)
{
    for (int p = 1; p <= personCount; ++p) {
        if (run.unassigned[std::size_t(p)])
            (isBoy(p) ? run.boys : run.girls).items.append(p);
    }
    std::shuffle(run.boys.items.begin(), run.boys.items.end(), run.random);
    std::shuffle(run.girls.items.begin(), run.girls.items.end(), run.random);
}

void GroupingEngine::fillTargeted(RunState &run, bool boys)
{
    PersonQueue &queue = boys ? run.boys : run.girls;
    for (int pos = 0; pos < working.size() && !queue.isEmpty(); ++pos) {
        const int index = enabled.at(pos);
        if (run.requirementGroups.contains(index))
            continue;
        const GroupConfig &config = input.groupConfigs.at(index);
        const auto seatedAlready = std::count_if(working.at(pos).cbegin(), working.at(pos).cend(),
                                                 [&](int p) { return p != 0 && isBoy(p) == boys; });
        // In 64 bits: a target from the file may sit at either end of the int range.
        const qint64 need = qint64(boys ? config.males : config.females) - qint64(seatedAlready);
        for (qint64 k = 0; k < need && !queue.isEmpty(); ++k) {
            const int seat = firstEmptySeat(pos);
            if (seat < 0)
                break;
            const int p = queue.take();
            working[pos][seat] = p;
            const QString text = boys ? u"分配男生 %1 到组%2座位%3"_s : u"分配女生 %1 到组%2座位%3"_s;
            log(text.arg(nameOf(p), num(index + 1), num(seat + 1)));
        }
    }
}

void GroupingEngine::fillRemaining(RunState &run, bool boys)
{
    PersonQueue &queue = boys ? run.boys : run.girls;
    const QString text = boys ? u"分配剩余男生 %1 到组%2座位%3"_s : u"分配剩余女生 %1 到组%2座位%3"_s;
    while (!queue.isEmpty()) {
        bool seatedAny = false;
        for (int pos = 0; pos < working.size() && !queue.isEmpty(); ++pos) {
            const int seat = firstEmptySeat(pos);
            if (seat < 0)
                continue;
            const int p = queue.take();
            working[pos][seat] = p;
            seatedAny = true;
            log(text.arg(nameOf(p), num(pos + 1), num(seat + 1)));
        }
        if (!seatedAny) {
            log(boys ? u"警告: 无法分配所有男生，可能座位不足"_s : u"警告: 无法分配所有女生，可能座位不足"_s);
            return;
        }
    }
}

void GroupingEngine::seatLeaders(RunState &run)
{
    // The set's own order changes from process to process with Qt's hash seed; ascending
    // numbers keep a seeded run reproducible.
    QList<int> leaders;
    for (const QString &name : input.roster.leaderNames) {
        const auto it = input.roster.nameToId.constFind(name);
        if (it != input.roster.nameToId.cend())
            leaders.append(it.value());
    }
    std::sort(leaders.begin(), leaders.end());

    QList<int> pending;
    for (int p : std::as_const(leaders)) {
        if (seatOf(p).exists())
            log(u"组长 %1 已被分配"_s.arg(nameOf(p)));
        else
            pending.append(p);
    }
    std::shuffle(pending.begin(), pending.end(), run.random);

    QList<bool> hasLeader(working.size(), false);
    for (int pos = 0; pos < working.size(); ++pos) {
        const QList<int> seats = leaderSeats(pos);
        if (!seats.isEmpty()) {
            hasLeader[pos] = true;
            log(u"组%1 已有组长: %2"_s.arg(num(pos + 1), nameOf(working.at(pos).at(seats.first()))));
        }
    }

    qsizetype next = 0;
    for (int pos = 0; pos < working.size() && next < pending.size(); ++pos) {
        if (hasLeader.at(pos))
            continue;
        const int seat = firstEmptySeat(pos);
        if (seat < 0) {
            log(u"警告: 无法为组%1 分配组长，没有空位"_s.arg(pos + 1));
            continue;
        }
        const int p = pending.at(next++);
        working[pos][seat] = p;
        run.markAssigned(p);
        hasLeader[pos] = true;
        log(u"分配组长 %1 到组%2座位%3"_s.arg(nameOf(p), num(pos + 1), num(seat + 1)));
    }

    if (next < pending.size()) {
        log(u"警告: 有 %1 个组长未能分配"_s.arg(pending.size() - next));
        for (qsizetype i = next; i < pending.size(); ++i)
            log(u"未分配组长: %1"_s.arg(nameOf(pending.at(i))));
    }
}

QList<GroupingEngine::Seat> GroupingEngine::movableLeaders(const RunState &run,
                                                           const QList<int> &overfull) const
{
    // Over-full groups in order, their leaders in seat order; fixed leaders never move.
    QList<Seat> movable;
    for (int from : overfull) {
        for (int seat : leaderSeats(from)) {
            if (!run.isFixed(working.at(from).at(seat)))
                movable.append({from, seat});
        }
    }
    return movable;
}

bool GroupingEngine::moveOverfullLeader(const QList<Seat> &movable, const QList<int> &leaderless)
{
    for (const Seat &from : movable) {
        const int leader = working.at(from.group).at(from.seat);
        for (int to : leaderless) {
            const int target = firstEmptySeat(to);
            if (target < 0)
                continue;
            working[to][target] = leader;
            working[from.group][from.seat] = 0;
            log(u"解决组长冲突: 将组长 %1 从组%2 移动到组%3"_s.arg(nameOf(leader), num(from.group + 1),
                                                                   num(to + 1)));
            return true;
        }
    }
    return false;
}

bool GroupingEngine::swapOverfullLeader(const RunState &run, const QList<Seat> &movable,
                                        const QList<int> &leaderless)
{
    for (const Seat &from : movable) {
        const int leader = working.at(from.group).at(from.seat);
        for (int to : leaderless) {
            const QList<int> &seats = working.at(to);
            for (int i = 0; i < seats.size(); ++i) {
                const int q = seats.at(i);
                if (q == 0 || isLeader(q) || run.isFixed(q) || !sameGender(q, leader))
                    continue;
                working[to][i] = leader;
                working[from.group][from.seat] = q;
                log(u"解决组长冲突(交换): 将组长 %1 从组%2 与组%3的 %4 交换"_s.arg(
                    nameOf(leader), num(from.group + 1), num(to + 1), nameOf(q)));
                return true;
            }
        }
    }
    return false;
}

void GroupingEngine::resolveLeaderConflicts(const RunState &run)
{
    for (int round = 0; round < MaxLeaderRounds; ++round) {
        QList<int> overfull;
        QList<int> leaderless;
        for (int pos = 0; pos < working.size(); ++pos) {
            const qsizetype leaders = leaderSeats(pos).size();
            if (leaders >= 2)
                overfull.append(pos);
            else if (leaders == 0)
                leaderless.append(pos);
        }
        if (overfull.isEmpty() || leaderless.isEmpty())
            break;
        const QList<Seat> movable = movableLeaders(run, overfull);
        if (!moveOverfullLeader(movable, leaderless) && !swapOverfullLeader(run, movable, leaderless))
            break;
    }

    for (int pos = 0; pos < working.size(); ++pos) {
        const qsizetype count = leaderSeats(pos).size();
        if (count == 0)
            log(u"警告: 经过冲突解决后，组%1 没有组长"_s.arg(pos + 1));
        else if (count >= 2)
            log(u"警告: 经过冲突解决后，组%1 仍有 %2 个组长"_s.arg(num(pos + 1), num(int(count))));
    }
}

void GroupingEngine::arrangeGenderOrder(RunState &run)
{
    log(u"进行最终性别分组排列..."_s);
    for (int pos = 0; pos < working.size(); ++pos) {
        const QList<int> &seats = working.at(pos);
        QList<int> arranged(seats.size(), 0);
        QList<int> boys;
        QList<int> girls;
        for (int i = 0; i < seats.size(); ++i) {
            const int p = seats.at(i);
            if (p == 0)
                continue;
            if (run.isFixed(p))
                arranged[i] = p;
            else
                (isBoy(p) ? boys : girls).append(p);
        }
        std::shuffle(boys.begin(), boys.end(), run.random);
        std::shuffle(girls.begin(), girls.end(), run.random);
        qsizetype cursor = 0;
        const auto seatNext = [&](int p) {
            while (arranged.at(cursor) != 0)
                ++cursor;
            arranged[cursor++] = p;
        };
        for (int p : std::as_const(boys))
            seatNext(p);
        for (int p : std::as_const(girls))
            seatNext(p);
        working[pos] = arranged;

        QString distribution;
        int boyCount = 0;
        int girlCount = 0;
        for (int p : std::as_const(arranged)) {
            if (p == 0)
                continue;
            if (isBoy(p)) {
                distribution += u"M "_s;
                ++boyCount;
                if (girlCount > 0)
                    log(u"警告: 组%1 中男生出现在女生区域"_s.arg(pos + 1));
            } else {
                distribution += u"F "_s;
                ++girlCount;
            }
        }
        log(u"组%1 最终性别分布: %2 (男生:%3, 女生:%4)"_s.arg(num(pos + 1), distribution, num(boyCount),
                                                              num(girlCount)));
        bool girlSeen = false;
        for (int p : std::as_const(arranged)) {
            if (p == 0)
                continue;
            if (!isBoy(p)) {
                girlSeen = true;
            } else if (girlSeen) {
                log(u"错误: 组%1 中男生出现在女生后面"_s.arg(pos + 1));
                break;
            }
        }
    }
}

void GroupingEngine::buildImmovableSet(RunState &run)
{
    run.immovable = run.fixedSet;
    for (const QList<int> &seats : std::as_const(working)) {
        for (int p : seats) {
            if (p != 0 && isLeader(p))
                run.immovable.insert(p);
        }
    }
}

bool GroupingEngine::separateMember(RunState &run, const Constraint &requirement, PersonId member,
                                    QHash<int, int> &where)
{
    const int own = where.value(member);
    QList<int> candidates;
    for (int pos = 0; pos < working.size(); ++pos) {
        if (pos != own)
            candidates.append(pos);
    }
    std::shuffle(candidates.begin(), candidates.end(), run.random);

    for (int t : std::as_const(candidates)) {
        const bool taken = std::any_of(requirement.cbegin(), requirement.cend(), [&](int other) {
            return other != member && where.value(other, -1) == t;
        });
        if (taken)
            continue;
        QList<int> partners;
        for (int q : working.at(t)) {
            if (q != 0 && sameGender(q, member) && !run.isImmovable(q))
                partners.append(q);
        }
        if (partners.isEmpty())
            continue;
        // A fresh engine for each choice; its seed is drawn only when there is a choice to make.
        FreshMt19937 chooser(nextSeed());
        std::uniform_int_distribution<int> pick(0, int(partners.size()) - 1);
        const int partner = partners.at(pick(chooser));
        if (requirement.contains(partner))
            continue;

        const qsizetype memberSeat = working.at(own).indexOf(member);
        const qsizetype partnerSeat = working.at(t).indexOf(partner);
        working[own][memberSeat] = partner;
        working[t][partnerSeat] = member;
        where.insert(member, t);
        where.insert(partner, own);
        return true;
    }
    return false;
}

bool GroupingEngine::separateRequirement(RunState &run, const Constraint &requirement, QHash<int, int> &where)
{
    // Members who sit nowhere are with nobody, so they take no part; a name typed twice is one
    // person, who is never apart from themselves.
    QMap<int, QList<int>> byPosition;
    for (int member : requirement) {
        const auto it = where.constFind(member);
        if (it == where.cend())
            continue;
        QList<int> &members = byPosition[it.value()];
        if (!members.contains(member))
            members.append(member);
    }

    bool changed = false;
    for (const QList<int> &members : std::as_const(byPosition)) {
        for (qsizetype i = 1; i < members.size(); ++i) {
            const int member = members.at(i);
            if (run.isImmovable(member)) {
                log(u"警告: 人员 %1 在不可移动位置，无法移动以满足不能同组要求"_s.arg(nameOf(member)));
                continue;
            }
            // One member leaves a crowded position per pass. The exchange has changed which
            // positions are free of this requirement, so the rest are grouped again in the next
            // pass from where everybody sits by then.
            if (separateMember(run, requirement, member, where)) {
                changed = true;
                break;
            }
        }
    }
    return changed;
}

void GroupingEngine::separateRequirements(RunState &run)
{
    log(u"处理不能同组要求..."_s);
    QHash<int, int> where;
    for (int pos = 0; pos < working.size(); ++pos) {
        for (int p : working.at(pos)) {
            if (p != 0)
                where.insert(p, pos);
        }
    }

    for (int pass = 0; pass < MaxSeparationPasses; ++pass) {
        bool changed = false;
        for (const Constraint &requirement : input.mustSeparate)
            changed = separateRequirement(run, requirement, where) || changed;
        if (!changed)
            return;
    }
    log(u"警告: 不能同组要求调整达到上限，停止调整"_s);
}

void GroupingEngine::balanceBoarders(const RunState &run)
{
    log(u"平衡外宿生分布（不移动组长）..."_s);
    QList<int> counts(working.size(), 0);
    for (int pos = 0; pos < working.size(); ++pos) {
        for (int p : working.at(pos)) {
            if (p != 0 && isBoarder(p))
                ++counts[pos];
        }
    }

    for (int round = 0; round < MaxBoarderRounds; ++round) {
        // Strict comparisons keep the lowest position on a tie.
        int fullest = 0;
        int emptiest = 0;
        for (int pos = 1; pos < counts.size(); ++pos) {
            if (counts.at(pos) > counts.at(fullest))
                fullest = pos;
            if (counts.at(pos) < counts.at(emptiest))
                emptiest = pos;
        }
        if (counts.at(fullest) - counts.at(emptiest) < 2)
            return;

        int boarderSeat = -1;
        int partnerSeat = -1;
        const QList<int> &from = working.at(fullest);
        const QList<int> &to = working.at(emptiest);
        for (int i = 0; i < from.size() && partnerSeat < 0; ++i) {
            const int b = from.at(i);
            if (b == 0 || !isBoarder(b) || run.isImmovable(b))
                continue;
            for (int j = 0; j < to.size(); ++j) {
                const int q = to.at(j);
                if (q != 0 && !isBoarder(q) && !run.isImmovable(q) && sameGender(q, b)) {
                    boarderSeat = i;
                    partnerSeat = j;
                    break;
                }
            }
        }
        if (partnerSeat < 0)
            return;

        const int b = from.at(boarderSeat);
        const int q = to.at(partnerSeat);
        working[fullest][boarderSeat] = q;
        working[emptiest][partnerSeat] = b;
        --counts[fullest];
        ++counts[emptiest];
        log(u"平衡外宿生: 将 %1 从组%2 移动到组%3"_s.arg(nameOf(b), num(fullest + 1), num(emptiest + 1)));
    }
}

void GroupingEngine::validate()
{
    log(u"开始最终验证..."_s);
    for (auto it = input.fixedPositions.cbegin(); it != input.fixedPositions.cend(); ++it) {
        const int p = it.key();
        const int g = it.value().first;
        const int s = it.value().second;
        const Seat target = fixedTarget(it.value());
        if (!target.exists())
            continue;
        // A seat number past the group's seats can never hold anyone: it fails like any other.
        if (holdsSeat(target) && working.at(target.group).at(target.seat) == p) {
            log(u"✓ 固定位置验证通过: %1 在组%2座位%3"_s.arg(nameOf(p), num(g), num(s)));
            continue;
        }
        const Seat actual = seatOf(p);
        const QString where = actual.exists() ? num(actual.group + 1) : u"未分配"_s;
        log(u"✗ 固定位置验证失败: %1 应该在组%2座位%3，实际在组%4"_s.arg(nameOf(p), num(g), num(s), where));
    }

    for (int pos = 0; pos < working.size(); ++pos) {
        const qsizetype leaders = leaderSeats(pos).size();
        if (leaders == 1)
            log(u"✓ 组长分配验证通过: 组%1 有1个组长"_s.arg(pos + 1));
        else if (leaders == 0)
            log(u"⚠ 组长分配警告: 组%1 没有组长"_s.arg(pos + 1));
        else
            log(u"✗ 组长分配失败: 组%1 有%2个组长"_s.arg(num(pos + 1), num(int(leaders))));
    }
}

// The empty seats stay in the plan: closing them up would move whoever sits behind a gap, a fixed
// person included, off the seat the log has just confirmed.
SeatingPlan GroupingEngine::handBack()
{
    QList<int> numbers;
    for (int index : enabled)
        numbers.append(index + 1);
    log(u"分组完成"_s);
    return SeatingPlan::fromSeats(numbers, working);
}

// ---- seat operations ----

QString GroupingEngine::seatKey(int group, int seat)
{
    return u"%1-%2"_s.arg(num(group), num(seat));
}

bool GroupingEngine::swapWithinGroup(int group, int seatA, int seatB)
{
    if (!holdsSeat({group, seatA}) || !holdsSeat({group, seatB}))
        return false;
    QList<int> &seats = working[group];
    std::swap(seats[seatA], seats[seatB]);
    log(u"组内交换: 位置%1 ↔ 位置%2"_s.arg(num(seatA + 1), num(seatB + 1)));
    return true;
}

bool GroupingEngine::swapAcrossGroups(int groupA, int seatA, int groupB, int seatB)
{
    if (!holdsSeat({groupA, seatA}) || !holdsSeat({groupB, seatB}))
        return false;
    const int a = working.at(groupA).at(seatA);
    const int b = working.at(groupB).at(seatB);
    if (!sameGender(a, b)) {
        log(u"错误: 跨组交换需要同性别人员"_s);
        return false;
    }
    working[groupA][seatA] = b;
    working[groupB][seatB] = a;
    log(u"跨组交换: 组%1位置%2 ↔ 组%3位置%4"_s.arg(num(groupA + 1), num(seatA + 1), num(groupB + 1),
                                                   num(seatB + 1)));
    return true;
}

QList<SwapStep> GroupingEngine::findSwapPath(int fromGroup, int fromSeat, int toGroup, int toSeat) const
{
    const Seat from{fromGroup, fromSeat};
    if (!holdsSeat(from))
        return {};
    const Seat to{toGroup, toSeat};
    return rebuildPath(searchSeats(blockedSeats(to), from, to));
}

GroupingEngine::SeatFlags GroupingEngine::blockedSeats(const Seat &target) const
{
    // A person already on their own fixed seat is never pushed along the path; only the target
    // itself may be such a seat.
    SeatFlags blocked(std::size_t(working.size()));
    for (int g = 0; g < working.size(); ++g)
        blocked[std::size_t(g)].assign(std::size_t(working.at(g).size()), false);
    for (auto it = input.fixedPositions.cbegin(); it != input.fixedPositions.cend(); ++it) {
        const Seat seat = fixedTarget(it.value());
        if (holdsSeat(seat) && working.at(seat.group).at(seat.seat) == it.key() && !(seat == target))
            blocked[std::size_t(seat.group)][std::size_t(seat.seat)] = true;
    }
    return blocked;
}

QList<GroupingEngine::SearchNode> GroupingEngine::searchSeats(const SeatFlags &blocked, const Seat &from,
                                                              const Seat &to) const
{
    // Every step carries the same person, so a cross-group exchange is allowed exactly when the
    // seat reached holds someone of the mover's gender.
    const bool moverIsBoy = isBoy(working.at(from.group).at(from.seat));
    const auto isBlocked = [&blocked](int g, int i) { return bool(blocked[std::size_t(g)][std::size_t(i)]); };
    const auto ofMoverGender = [&](int g, int i) { return isBoy(working.at(g).at(i)) == moverIsBoy; };

    // Open seats per group and gender let a scan skip groups that have nothing left to reach;
    // without them every node would test every seat of the room.
    const int groups = int(working.size());
    std::vector<int> openSeats(std::size_t(groups), 0);
    std::vector<int> openOfMoverGender(std::size_t(groups), 0);
    for (int g = 0; g < groups; ++g) {
        for (int i = 0; i < working.at(g).size(); ++i) {
            if (isBlocked(g, i))
                continue;
            ++openSeats[std::size_t(g)];
            if (ofMoverGender(g, i))
                ++openOfMoverGender[std::size_t(g)];
        }
    }

    QList<SearchNode> nodes; // the queue; taken nodes stay for the path rebuild
    QSet<QString> visited;
    const auto enqueue = [&](int g, int i, qsizetype parent) {
        nodes.append({{g, i}, parent});
        visited.insert(seatKey(g, i));
        // The start may be the mover's own fixed seat, which the counts never held.
        if (isBlocked(g, i))
            return;
        --openSeats[std::size_t(g)];
        if (ofMoverGender(g, i))
            --openOfMoverGender[std::size_t(g)];
    };
    enqueue(from.group, from.seat, -1);

    for (qsizetype head = 0; head < nodes.size(); ++head) {
        const Seat at = nodes.at(head).at;
        if (at == to) {
            nodes.resize(head + 1);
            return nodes;
        }
        const QList<int> &own = working.at(at.group);
        for (int i = 0; i < own.size() && openSeats[std::size_t(at.group)] > 0; ++i) {
            if (i != at.seat && !isBlocked(at.group, i) && !visited.contains(seatKey(at.group, i)))
                enqueue(at.group, i, head);
        }
        for (int j = 0; j < groups; ++j) {
            if (j == at.group)
                continue;
            for (int i = 0; i < working.at(j).size() && openOfMoverGender[std::size_t(j)] > 0; ++i) {
                if (ofMoverGender(j, i) && !isBlocked(j, i) && !visited.contains(seatKey(j, i)))
                    enqueue(j, i, head);
            }
        }
    }
    return {};
}

QList<SwapStep> GroupingEngine::rebuildPath(const QList<SearchNode> &nodes)
{
    QList<SwapStep> path;
    if (nodes.isEmpty())
        return path;
    for (qsizetype n = nodes.size() - 1; nodes.at(n).parent >= 0; n = nodes.at(n).parent) {
        const Seat &from = nodes.at(nodes.at(n).parent).at;
        const Seat &to = nodes.at(n).at;
        path.prepend({from.group, from.seat, to.group, to.seat});
    }
    return path;
}

bool GroupingEngine::movePerson(int person, int targetGroup, int targetSeat)
{
    const Seat found = seatOf(person);
    if (!found.exists()) {
        log(u"错误: 未找到人员 %1"_s.arg(nameOf(person)));
        return false;
    }
    if (found == Seat{targetGroup, targetSeat})
        return true;

    const QList<SwapStep> path = findSwapPath(found.group, found.seat, targetGroup, targetSeat);
    if (path.isEmpty()) {
        log(u"错误: 无法找到从组%1位置%2到组%3位置%4的交换路径"_s.arg(
            num(found.group + 1), num(found.seat + 1), num(targetGroup + 1), num(targetSeat + 1)));
        return false;
    }
    for (const SwapStep &step : path) {
        const bool done = step.fromGroup == step.toGroup
                              ? swapWithinGroup(step.fromGroup, step.fromSeat, step.toSeat)
                              : swapAcrossGroups(step.fromGroup, step.fromSeat, step.toGroup, step.toSeat);
        // A refused exchange has written its own line; the person is not where they should be.
        if (!done)
            return false;
    }
    log(u"成功移动 %1 到组%2位置%3"_s.arg(nameOf(person), num(targetGroup + 1), num(targetSeat + 1)));
    return true;
}

void GroupingEngine::optimizeFixedPositions()
{
    log(u"开始优化固定位置分配..."_s);
    // Built once, as the stage's rules say: later moves do not update it.
    QHash<int, QPair<int, int>> location;
    for (int pos = 0; pos < working.size(); ++pos) {
        const QList<int> &seats = working.at(pos);
        for (int i = 0; i < seats.size(); ++i) {
            if (seats.at(i) != 0)
                location.insert(seats.at(i), {pos, i});
        }
    }

    int successes = 0;
    int failures = 0;
    for (auto it = input.fixedPositions.cbegin(); it != input.fixedPositions.cend(); ++it) {
        const int p = it.key();
        const int g = it.value().first;
        const int s = it.value().second;
        const auto found = location.constFind(p);
        if (found == location.cend()) {
            log(u"错误: 人员 %1 不在当前分组中"_s.arg(nameOf(p)));
            ++failures;
            continue;
        }
        // The same reading of the group number as the placement and the validation; a disabled
        // group has no seat to carry anyone to.
        const Seat target = fixedTarget(it.value());
        if (!target.exists()) {
            log(u"固定位置分配失败: %1 到组%2位置%3"_s.arg(nameOf(p), num(g), num(s)));
            ++failures;
            continue;
        }
        if (found.value() == qMakePair(target.group, target.seat)) {
            ++successes;
            continue;
        }
        if (movePerson(p, target.group, target.seat)) {
            ++successes;
        } else {
            ++failures;
            log(u"固定位置分配失败: %1 到组%2位置%3"_s.arg(nameOf(p), num(g), num(s)));
        }
    }
    log(u"固定位置优化完成: 成功 %1, 失败 %2"_s.arg(num(successes), num(failures)));
}

} // namespace Velmora
