#include "requirementfeasibility.h"

#include <algorithm>
#include <numeric>

namespace Velmora {

namespace {

constexpr int NoPin = -2;

// Persons that must share a group, as one unit; units joined by an edge must not.
struct Problem
{
    std::vector<int> unitOf;   // by person index
    std::vector<int> weight;   // seats a unit needs (its persons who can move)
    std::vector<int> pin;      // position, or NoPin; -1 for a unit held nowhere
    std::vector<char> mustSit; // a whole must-together requirement lies in it
    std::vector<std::vector<int>> neighbours;
};

class Layout
{
public:
    // With `unseated` > 0 a last position stands for "no seat": that many persons go without one,
    // and a person there shares a group with nobody.
    Layout(const Problem &problem, std::vector<int> capacity, int unseated, long maxNodes)
        : problem(problem), capacity(std::move(capacity)), maxNodes(maxNodes)
    {
        const std::size_t units = problem.weight.size();
        at.assign(units, NoPin);
        nowhere = unseated > 0 ? int(this->capacity.size()) : -1;
        if (unseated > 0)
            this->capacity.push_back(unseated);
        groups = int(this->capacity.size());
        blocked.assign(units, std::vector<int>(std::size_t(groups), 0));
        used.assign(std::size_t(groups), 0);
    }

    // 1 possible, 0 impossible, -1 out of work.
    int solve()
    {
        for (std::size_t u = 0; u < at.size(); ++u) {
            if (problem.pin[u] == NoPin)
                continue;
            if (problem.pin[u] >= 0 && !canPlace(int(u), problem.pin[u]))
                return 0;
            place(int(u), problem.pin[u]);
        }
        return search(int(at.size()) - countPlaced());
    }

    long nodesUsed() const { return nodes; }
    int positionOf(int u) const { return at[std::size_t(u)] == nowhere ? -1 : at[std::size_t(u)]; }

private:
    int countPlaced() const
    {
        return int(std::count_if(at.begin(), at.end(), [](int p) { return p != NoPin; }));
    }

    bool canPlace(int u, int g) const
    {
        if (g == nowhere)
            return !problem.mustSit[std::size_t(u)] &&
                   capacity[std::size_t(g)] >= problem.weight[std::size_t(u)];
        return blocked[std::size_t(u)][std::size_t(g)] == 0 &&
               capacity[std::size_t(g)] >= problem.weight[std::size_t(u)];
    }

    void place(int u, int g)
    {
        at[std::size_t(u)] = g;
        if (g < 0)
            return;
        capacity[std::size_t(g)] -= problem.weight[std::size_t(u)];
        ++used[std::size_t(g)];
        if (g == nowhere)
            return;
        for (int v : problem.neighbours[std::size_t(u)])
            ++blocked[std::size_t(v)][std::size_t(g)];
    }

    void unplace(int u)
    {
        const int g = at[std::size_t(u)];
        at[std::size_t(u)] = NoPin;
        if (g < 0)
            return;
        capacity[std::size_t(g)] += problem.weight[std::size_t(u)];
        --used[std::size_t(g)];
        if (g == nowhere)
            return;
        for (int v : problem.neighbours[std::size_t(u)])
            --blocked[std::size_t(v)][std::size_t(g)];
    }

    int search(int left)
    {
        if (left == 0)
            return 1;
        if (++nodes > maxNodes)
            return -1;
        // The unit with the fewest groups open, the most neighbours on a tie.
        int chosen = -1;
        int fewest = groups + 1;
        for (std::size_t u = 0; u < at.size(); ++u) {
            if (at[u] != NoPin)
                continue;
            int open = 0;
            for (int g = 0; g < groups; ++g)
                open += canPlace(int(u), g);
            if (open < fewest || (open == fewest && problem.neighbours[u].size() >
                                                        problem.neighbours[std::size_t(chosen)].size())) {
                fewest = open;
                chosen = int(u);
            }
        }
        if (fewest == 0)
            return 0;
        bool outOfWork = false;
        std::vector<int> emptyTried; // capacities of empty groups already tried
        for (int g = 0; g < groups; ++g) {
            if (!canPlace(chosen, g))
                continue;
            // Empty groups with as many free seats are alike.
            if (used[std::size_t(g)] == 0 && g != nowhere) {
                if (std::find(emptyTried.begin(), emptyTried.end(), capacity[std::size_t(g)]) !=
                    emptyTried.end())
                    continue;
                emptyTried.push_back(capacity[std::size_t(g)]);
            }
            place(chosen, g);
            const int answer = search(left - 1);
            if (answer == 1)
                return 1;
            unplace(chosen);
            outOfWork = outOfWork || answer < 0;
            if (nodes > maxNodes)
                return -1;
        }
        return outOfWork ? -1 : 0;
    }

    const Problem &problem;
    std::vector<int> capacity;
    long maxNodes;
    long nodes = 0;
    int groups = 0;
    int nowhere = -1;
    std::vector<int> at;
    std::vector<std::vector<int>> blocked; // by unit and position: neighbours placed there
    std::vector<int> used;                 // units placed in a position
};

int findRoot(std::vector<int> &parent, int i)
{
    while (parent[std::size_t(i)] != i) {
        parent[std::size_t(i)] = parent[std::size_t(parent[std::size_t(i)])];
        i = parent[std::size_t(i)];
    }
    return i;
}

} // namespace

RequirementSolver::RequirementSolver(const ClassState &state, const Grouping &start,
                                     const std::vector<char> &immovable)
    : state(state)
{
    const int people = state.roster.maleCount() + state.roster.femaleCount();
    pinned.assign(std::size_t(people) + 1, NoPin);
    occupiesSeat.assign(std::size_t(people) + 1, 0);
    std::vector<int> where(std::size_t(people) + 1, -1);
    for (int position = 0; position < start.size(); ++position) {
        for (PersonId p : start.at(position)) {
            if (p >= 1 && p <= people)
                where[std::size_t(p)] = position;
        }
    }
    const QList<int> enabled = state.enabledGroups();
    long long seats = 0;
    for (int index : enabled) {
        capacity.push_back(qMax(0, state.groupConfigs.at(index).total));
        seats += capacity.back();
    }
    unseated = int(qMax<long long>(0, people - seats));
    for (int p = 1; p <= people; ++p) {
        if (std::size_t(p) >= immovable.size() || !immovable[std::size_t(p)])
            continue;
        pinned[std::size_t(p)] = where[std::size_t(p)];
        if (where[std::size_t(p)] >= 0) {
            occupiesSeat[std::size_t(p)] = 1;
            capacity[std::size_t(where[std::size_t(p)])] -= 1;
        }
    }
    for (int &free : capacity)
        free = qMax(0, free);
}

std::size_t RequirementSolver::sharedIndex(const Allowance &allowance, const RequirementRules::Breach &breach)
{
    const std::size_t a = std::size_t(qMin(breach.first, breach.second));
    const std::size_t b = std::size_t(qMax(breach.first, breach.second));
    return a * allowance.split.size() + b;
}

void RequirementSolver::forbid(Allowance &allowance, const RequirementRules::Breach &finding)
{
    using Kind = RequirementRules::Breach::Kind;
    switch (finding.kind) {
    case Kind::MustTogetherSplit:
        allowance.split[std::size_t(finding.first)] = 0;
        break;
    case Kind::MustTogetherShared:
        if (!allowance.shared.empty())
            allowance.shared[sharedIndex(allowance, finding)] = 0;
        break;
    case Kind::MustSeparateJoined:
        allowance.joined[std::size_t(finding.first)] = 0;
        break;
    }
}

RequirementSolver::Allowance RequirementSolver::none() const
{
    Allowance allowance;
    allowance.split.assign(std::size_t(state.mustTogether.size()), 0);
    allowance.sharesFreely.assign(std::size_t(state.mustTogether.size()), 0);
    allowance.joined.assign(std::size_t(state.mustSeparate.size()), 0);
    return allowance;
}

RequirementSolver::Allowance
RequirementSolver::allowing(const QList<RequirementRules::Breach> &findings) const
{
    using Kind = RequirementRules::Breach::Kind;
    Allowance allowance = none();
    for (const RequirementRules::Breach &breach : findings) {
        switch (breach.kind) {
        case Kind::MustTogetherSplit:
            allowance.split[std::size_t(breach.first)] = 1;
            break;
        case Kind::MustTogetherShared:
            if (allowance.shared.empty())
                allowance.shared.assign(allowance.split.size() * allowance.split.size(), 0);
            allowance.shared[sharedIndex(allowance, breach)] = 1;
            break;
        case Kind::MustSeparateJoined:
            allowance.joined[std::size_t(breach.first)] = 1;
            break;
        }
    }
    return allowance;
}

void RequirementSolver::release(Allowance &allowance, bool separate, int index)
{
    if (separate) {
        allowance.joined[std::size_t(index)] = 1;
        return;
    }
    allowance.split[std::size_t(index)] = 1;
    allowance.sharesFreely[std::size_t(index)] = 1;
}

RequirementSolver::Answer RequirementSolver::check(const Allowance &allowance, std::vector<int> *layout) const
{
    const int people = int(pinned.size()) - 1;
    const auto valid = [people](PersonId p) { return p >= 1 && p <= people; };
    // Persons a constraint names, numbered densely.
    std::vector<int> index(std::size_t(people) + 1, -1);
    std::vector<PersonId> persons;
    const auto take = [&](PersonId p) {
        if (!valid(p))
            return -1;
        if (index[std::size_t(p)] < 0) {
            index[std::size_t(p)] = int(persons.size());
            persons.push_back(p);
        }
        return index[std::size_t(p)];
    };
    std::vector<int> parent;
    const auto grow = [&] {
        while (parent.size() < persons.size())
            parent.push_back(int(parent.size()));
    };
    const Answer impossible = Answer::Impossible;
    std::vector<char> sits(persons.size(), 0);

    const int together = int(state.mustTogether.size());
    for (int r = 0; r < together; ++r) {
        const Constraint &members = state.mustTogether.at(r);
        if (members.isEmpty())
            continue;
        if (!allowance.split[std::size_t(r)]) {
            // A member who is not a person holds no seat, so the requirement cannot be whole.
            if (!std::all_of(members.begin(), members.end(), valid))
                return impossible;
            const int first = take(members.first());
            for (PersonId p : members) {
                const int i = take(p);
                sits.resize(persons.size(), 0);
                sits[std::size_t(i)] = 1;
                grow();
                parent[std::size_t(findRoot(parent, i))] = findRoot(parent, first);
            }
        } else if (!allowance.sharesFreely[std::size_t(r)]) {
            take(members.first());
        }
    }
    for (int s = 0; s < state.mustSeparate.size(); ++s) {
        if (allowance.joined[std::size_t(s)])
            continue;
        for (PersonId p : state.mustSeparate.at(s))
            take(p);
    }
    grow();

    // Units and their pins.
    std::vector<int> unitOfRoot(persons.size(), -1);
    Problem problem;
    problem.unitOf.assign(persons.size(), -1);
    for (std::size_t i = 0; i < persons.size(); ++i) {
        const int root = findRoot(parent, int(i));
        if (unitOfRoot[std::size_t(root)] < 0) {
            unitOfRoot[std::size_t(root)] = int(problem.weight.size());
            problem.weight.push_back(0);
            problem.pin.push_back(NoPin);
            problem.mustSit.push_back(0);
        }
        const int u = unitOfRoot[std::size_t(root)];
        problem.unitOf[i] = u;
        const PersonId p = persons[i];
        sits.resize(persons.size(), 0);
        problem.mustSit[std::size_t(u)] = problem.mustSit[std::size_t(u)] || sits[i];
        if (!occupiesSeat[std::size_t(p)])
            ++problem.weight[std::size_t(u)];
        const int pin = pinned[std::size_t(p)];
        if (pin != NoPin) {
            if (problem.pin[std::size_t(u)] != NoPin && problem.pin[std::size_t(u)] != pin)
                return impossible;
            problem.pin[std::size_t(u)] = pin;
        }
    }
    for (std::size_t u = 0; u < problem.pin.size(); ++u) {
        // A unit held by a person without a seat can only be whole if it is that person alone.
        if (problem.pin[u] == -1 && problem.weight[u] > 0)
            return impossible;
    }
    problem.neighbours.assign(problem.weight.size(), {});
    const auto apart = [&](PersonId a, PersonId b) {
        const int ua = problem.unitOf[std::size_t(index[std::size_t(a)])];
        const int ub = problem.unitOf[std::size_t(index[std::size_t(b)])];
        if (problem.pin[std::size_t(ua)] == -1 || problem.pin[std::size_t(ub)] == -1)
            return true; // someone without a seat shares no group
        if (ua == ub)
            return false;
        problem.neighbours[std::size_t(ua)].push_back(ub);
        problem.neighbours[std::size_t(ub)].push_back(ua);
        return true;
    };
    for (int s = 0; s < state.mustSeparate.size(); ++s) {
        if (allowance.joined[std::size_t(s)])
            continue;
        const Constraint &members = state.mustSeparate.at(s);
        for (qsizetype i = 0; i < members.size(); ++i) {
            for (qsizetype j = i + 1; j < members.size(); ++j) {
                if (valid(members.at(i)) && valid(members.at(j)) && !apart(members.at(i), members.at(j)))
                    return impossible;
            }
        }
    }
    for (int a = 0; a < together; ++a) {
        const Constraint &first = state.mustTogether.at(a);
        if (first.isEmpty() || allowance.sharesFreely[std::size_t(a)] || !valid(first.first()))
            continue;
        for (int b = a + 1; b < together; ++b) {
            const Constraint &second = state.mustTogether.at(b);
            if (second.isEmpty() || allowance.sharesFreely[std::size_t(b)] || !valid(second.first()) ||
                (!allowance.shared.empty() &&
                 allowance.shared[std::size_t(a) * std::size_t(together) + std::size_t(b)]))
                continue;
            if (!apart(first.first(), second.first()))
                return impossible;
        }
    }
    for (auto &list : problem.neighbours) {
        std::sort(list.begin(), list.end());
        list.erase(std::unique(list.begin(), list.end()), list.end());
    }

    if (nodesLeft <= 0 || (stop && stop->load(std::memory_order_relaxed)))
        return Answer::Unknown;
    Layout search(problem, capacity, unseated, qMin(MaxNodes, nodesLeft));
    const int answer = search.solve();
    nodesLeft -= search.nodesUsed() + 1;
    if (answer < 0)
        return Answer::Unknown;
    if (answer == 0)
        return impossible;
    if (layout) {
        layout->assign(std::size_t(people) + 1, -1);
        for (std::size_t i = 0; i < persons.size(); ++i)
            (*layout)[std::size_t(persons[i])] = search.positionOf(problem.unitOf[i]);
    }
    return Answer::Possible;
}

} // namespace Velmora
