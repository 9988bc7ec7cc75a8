// The result of a generate against the optimum of the same ordered score, found by an exact
// solver (CBC), on seeded random classes; plus the time per generate and three large classes.
// Usage: rules_exact_bench [classes]   (or VELMORA_EXACT_CLASSES; default 2000)

#include "benchclasses.h"
#include "groupingscore.h"
#include "runselection.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <time.h>
#include <vector>

#include <coin/Cbc_C_Interface.h>

using namespace Qt::StringLiterals;
using namespace Velmora;
using namespace Velmora::Bench;

namespace {

constexpr double SecondsPerSolve = 20.0;

struct Tiers
{
    std::array<long long, 4> value{}; // requirements, leaders, boarder spread, gender shortfall
    bool proven = false;
};

// The optimum of the ordered score as one weighted sum: each tier weighs more than the largest
// possible total of the tiers below it. Requirement members and fixed persons are variables of
// their own; everybody else counts by kind (boy, leader, boarder), which is all the score sees.
Tiers optimum(const ClassState &state)
{
    const QList<int> enabled = state.enabledGroups();
    const int groups = int(enabled.size());
    const int people = state.roster.maleCount() + state.roster.femaleCount();
    std::vector<int> fixedAt(std::size_t(people) + 1, -1);
    for (auto it = state.fixedPositions.cbegin(); it != state.fixedPositions.cend(); ++it)
        fixedAt[std::size_t(it.key())] = int(enabled.indexOf(it->first - 1));
    std::vector<char> named(std::size_t(people) + 1, 0);
    for (const auto *list : {&state.mustTogether, &state.mustSeparate})
        for (const Constraint &c : *list)
            for (int p : c)
                named[std::size_t(p)] = 1;
    for (int p = 1; p <= people; ++p)
        named[std::size_t(p)] = named[std::size_t(p)] || fixedAt[std::size_t(p)] >= 0;
    const auto kindOf = [&](int p) {
        return (state.roster.isBoy(p) ? 1 : 0) | (state.roster.isLeader(p) ? 2 : 0) |
               (state.roster.isBoarder(p) ? 4 : 0);
    };
    std::array<int, 8> kindCount{};
    for (int p = 1; p <= people; ++p) {
        if (!named[std::size_t(p)])
            ++kindCount[std::size_t(kindOf(p))];
    }

    long long genderMax = 0;
    long long boarders = 0;
    long long leaders = 0;
    for (int index : enabled)
        genderMax +=
            qMax(0, state.groupConfigs.at(index).males) + qMax(0, state.groupConfigs.at(index).females);
    for (int p = 1; p <= people; ++p) {
        boarders += state.roster.isBoarder(p);
        leaders += state.roster.isLeader(p);
    }
    const double wBoarder = double(genderMax + 1);
    const double wLeader = wBoarder * double(boarders) + double(genderMax) + 1;
    const double wRequirement = wLeader * groups + wBoarder * double(boarders) + double(genderMax) + 1;

    Cbc_Model *model = Cbc_newModel();
    Cbc_setLogLevel(model, 0);
    Cbc_setMaximumSeconds(model, SecondsPerSolve);
    int columns = 0;
    const auto column = [&](double lb, double ub, double objective) {
        Cbc_addCol(model, "", lb, ub, objective, 1, 0, nullptr, nullptr);
        return columns++;
    };
    std::vector<std::vector<int>> x(std::size_t(people) + 1);
    for (int p = 1; p <= people; ++p) {
        if (!named[std::size_t(p)])
            continue;
        for (int g = 0; g < groups; ++g) {
            const int at = fixedAt[std::size_t(p)];
            x[std::size_t(p)].push_back(column(at == g ? 1 : 0, at >= 0 && at != g ? 0 : 1, 0));
        }
    }
    std::array<std::vector<int>, 8> n;
    for (int k = 0; k < 8; ++k)
        for (int g = 0; g < groups; ++g)
            n[std::size_t(k)].push_back(column(0, kindCount[std::size_t(k)], 0));

    const auto row = [&](const std::vector<std::pair<int, double>> &terms, char sense, double rhs) {
        std::vector<int> cols;
        std::vector<double> coefs;
        for (const auto &[c, v] : terms) {
            const auto it = std::find(cols.begin(), cols.end(), c);
            if (it != cols.end())
                coefs[std::size_t(it - cols.begin())] += v;
            else {
                cols.push_back(c);
                coefs.push_back(v);
            }
        }
        Cbc_addRow(model, "", int(cols.size()), cols.data(), coefs.data(), sense, rhs);
    };
    for (int p = 1; p <= people; ++p) {
        if (!named[std::size_t(p)])
            continue;
        std::vector<std::pair<int, double>> terms;
        for (int g = 0; g < groups; ++g)
            terms.push_back({x[std::size_t(p)][std::size_t(g)], 1});
        row(terms, 'E', 1);
    }
    for (int k = 0; k < 8; ++k) {
        std::vector<std::pair<int, double>> terms;
        for (int g = 0; g < groups; ++g)
            terms.push_back({n[std::size_t(k)][std::size_t(g)], 1});
        row(terms, 'E', kindCount[std::size_t(k)]);
    }
    // Sums over a group of everyone with a trait.
    const auto groupSum = [&](int g, auto &&has) {
        std::vector<std::pair<int, double>> terms;
        for (int p = 1; p <= people; ++p) {
            if (named[std::size_t(p)] && has(p))
                terms.push_back({x[std::size_t(p)][std::size_t(g)], 1});
        }
        for (int k = 0; k < 8; ++k) {
            if (has(-k - 1))
                terms.push_back({n[std::size_t(k)][std::size_t(g)], 1});
        }
        return terms;
    };
    // A negative number stands for kind -p-1 of the anonymous persons.
    const auto trait = [&](int bit) {
        return [&kindOf, bit](int p) { return p < 0 ? ((-p - 1) & bit) != 0 : (kindOf(p) & bit) != 0; };
    };
    std::vector<int> findings;
    std::vector<int> leaderProblems;
    for (int g = 0; g < groups; ++g)
        row(groupSum(g, [](int) { return true; }), 'L', state.groupConfigs.at(enabled.at(g)).total);

    for (const Constraint &c : state.mustTogether) {
        const int s = column(0, 1, wRequirement);
        findings.push_back(s);
        for (int m : c) {
            if (m == c.first())
                continue;
            for (int g = 0; g < groups; ++g)
                row({{x[std::size_t(c.first())][std::size_t(g)], 1},
                     {x[std::size_t(m)][std::size_t(g)], -1},
                     {s, -1}},
                    'L', 0);
        }
    }
    for (int a = 0; a < state.mustTogether.size(); ++a) {
        for (int b = a + 1; b < state.mustTogether.size(); ++b) {
            const int s = column(0, 1, wRequirement);
            findings.push_back(s);
            const int fa = state.mustTogether.at(a).first();
            const int fb = state.mustTogether.at(b).first();
            for (int g = 0; g < groups; ++g)
                row({{x[std::size_t(fa)][std::size_t(g)], 1},
                     {x[std::size_t(fb)][std::size_t(g)], 1},
                     {s, -1}},
                    'L', 1);
        }
    }
    for (const Constraint &c : state.mustSeparate) {
        const int s = column(0, 1, wRequirement);
        findings.push_back(s);
        for (int i = 0; i < c.size(); ++i)
            for (int j = i + 1; j < c.size(); ++j)
                for (int g = 0; g < groups; ++g)
                    row({{x[std::size_t(c.at(i))][std::size_t(g)], 1},
                         {x[std::size_t(c.at(j))][std::size_t(g)], 1},
                         {s, -1}},
                        'L', 1);
    }
    for (int g = 0; g < groups; ++g) {
        const int none = column(0, 1, wLeader);
        const int many = column(0, 1, wLeader);
        leaderProblems.push_back(none);
        leaderProblems.push_back(many);
        auto sum = groupSum(g, trait(2));
        auto atLeast = sum;
        atLeast.push_back({none, 1});
        row(atLeast, 'G', 1);
        sum.push_back({many, -double(leaders)});
        row(sum, 'L', 1);
    }
    const int most = column(0, double(boarders), wBoarder);
    const int fewest = column(0, double(boarders), -wBoarder);
    std::vector<int> shortfalls;
    for (int g = 0; g < groups; ++g) {
        auto sum = groupSum(g, trait(4));
        auto below = sum;
        below.push_back({most, -1});
        row(below, 'L', 0);
        sum.push_back({fewest, -1});
        row(sum, 'G', 0);
        const GroupConfig &config = state.groupConfigs.at(enabled.at(g));
        if (config.males >= 0) {
            const int s = column(0, config.males, 1);
            shortfalls.push_back(s);
            auto boys = groupSum(g, trait(1));
            boys.push_back({s, 1});
            row(boys, 'G', config.males);
        }
        if (config.females >= 0) {
            const int s = column(0, config.females, 1);
            shortfalls.push_back(s);
            auto girls = groupSum(g, [&](int p) { return !trait(1)(p); });
            girls.push_back({s, 1});
            row(girls, 'G', config.females);
        }
    }

    Cbc_solve(model);
    Tiers tiers;
    tiers.proven = Cbc_isProvenOptimal(model);
    const double *solution = Cbc_getColSolution(model);
    const auto sum = [&](const std::vector<int> &cols) {
        double total = 0;
        for (int c : cols)
            total += solution[c];
        return (long long)(total + 0.5);
    };
    if (solution) {
        tiers.value = {sum(findings), sum(leaderProblems),
                       (long long)(solution[most] - solution[fewest] + 0.5), sum(shortfalls)};
    } else {
        tiers.proven = false;
    }
    Cbc_deleteModel(model);
    return tiers;
}

// The processor time of this thread: the machine is shared, and wall time would measure the
// neighbours too.
double percent(long long count, long long of)
{
    return of == 0 ? 0.0 : 100.0 * double(count) / double(of);
}

double quantile(std::vector<double> values, double q)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, std::size_t(q * double(values.size())))];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int classes = 2000;
    if (const char *env = std::getenv("VELMORA_EXACT_CLASSES"))
        classes = std::max(1, std::atoi(env));
    if (argc > 1)
        classes = std::max(1, std::atoi(argv[1]));

    long long worseRequirements = 0;
    long long worseLeaders = 0;
    long long worseAny = 0;
    long long falseImpossible = 0;
    long long unnamedClasses = 0;
    long long unnamed = 0;
    long long impossibleTotal = 0;
    long long unproven = 0;
    long long beatSolver = 0;
    long long allMet = 0;
    long long allMetPossible = 0;
    std::vector<double> times;
    std::mt19937 random(20261209);
    // To look at one class again: the classes before it are drawn but not solved.
    const int first = std::getenv("VELMORA_EXACT_FIRST") ? std::atoi(std::getenv("VELMORA_EXACT_FIRST")) : 0;
    for (int i = 0; i < classes; ++i) {
        const ClassState state = randomClass(random);
        const std::uint32_t seed = std::uint32_t(random());
        if (i < first) {
            ++unproven;
            continue;
        }
        const double started = threadMilliseconds();
        const GenerateReport report = generatePlan(state, seedSequence(seed));
        times.push_back(threadMilliseconds() - started);
        const OrderedScore score = scoreGrouping(state, report.plan);
        const std::array<long long, 4> got = {
            score.tier(OrderedScore::BrokenRequirements), score.tier(OrderedScore::LeaderProblems),
            score.tier(OrderedScore::BoarderSpread), score.tier(OrderedScore::GenderShortfall)};
        const Tiers best = optimum(state);
        if (!best.proven) {
            ++unproven;
            continue;
        }
        const auto &o = best.value;
        worseRequirements += got[0] > o[0];
        worseLeaders += std::make_pair(got[0], got[1]) > std::make_pair(o[0], o[1]);
        worseAny += got > o;
        beatSolver += got < o;
        const long long impossible =
            std::count_if(report.unmet.cbegin(), report.unmet.cend(),
                          [](const auto &u) { return u.proof != GenerateReport::Proof::NotProven; });
        falseImpossible += impossible > o[0];
        unnamed += std::max(0LL, o[0] - impossible);
        unnamedClasses += o[0] > impossible;
        impossibleTotal += o[0];
        const bool possible = o == std::array<long long, 4>{0, 0, 0, 0};
        allMetPossible += possible;
        allMet += possible && got == o;
        if (got > o && std::getenv("VELMORA_EXACT_VERBOSE"))
            std::printf("  class %d: got %lld %lld %lld %lld, optimum %lld %lld %lld %lld\n", i, got[0],
                        got[1], got[2], got[3], o[0], o[1], o[2], o[3]);
    }
    const long long judged = classes - unproven;
    std::printf(
        "Generate against the exact optimum (CBC), %d seeded classes (%lld solved to proven optimum)\n",
        classes, judged);
    std::printf("  worse than optimum on requirements:             %6.2f%%  (goal 0)     %s\n",
                percent(worseRequirements, judged), worseRequirements == 0 ? "met" : "MISSED");
    std::printf("  worse on requirements and leaders:              %6.2f%%  (goal 0)     %s\n",
                percent(worseLeaders, judged), worseLeaders == 0 ? "met" : "MISSED");
    std::printf("  worse on any tier:                              %6.2f%%  (goal <1%%)   %s\n",
                percent(worseAny, judged), percent(worseAny, judged) < 1.0 ? "met" : "MISSED");
    std::printf("  false \"无法满足\" (more lines than unavoidable):  %6.2f%%  (goal 0)     %s\n",
                percent(falseImpossible, judged), falseImpossible == 0 ? "met" : "MISSED");
    std::printf("  classes with unavoidable findings left unnamed: %6.2f%%  (%lld of %lld findings)\n",
                percent(unnamedClasses, judged), unnamed, impossibleTotal);
    std::printf("  every rule met where every rule can be:         %6.2f%%  (%lld classes)\n",
                percent(allMet, allMetPossible), allMetPossible);
    if (beatSolver > 0)
        std::printf("  (%lld results better than the solver's answer: check the model)\n", beatSolver);
    const double slowest = quantile(times, 1.0);
    std::printf(
        "  processor time per generate: median %.2f ms, p95 %.2f ms, max %.2f ms  (goal max <50 ms) %s\n",
        quantile(times, 0.5), quantile(times, 0.95), slowest, slowest < 50.0 ? "met" : "MISSED");

    const struct
    {
        const char *title;
        int people;
        int requirements;
        double goalMs;
    } large[] = {
        {"60 pupils, 500 requirements", 60, 500, 1000},
        {"1000 persons, 20 requirements", 1000, 20, 1000},
        {"1000 persons, 500 requirements", 1000, 500, 1000},
    };
    for (const auto &c : large) {
        std::mt19937 classRandom(7);
        const ClassState state = largeClass(c.people, c.requirements, classRandom);
        const double started = threadMilliseconds();
        const GenerateReport report = generatePlan(state, seedSequence(1));
        const double ms = threadMilliseconds() - started;
        std::printf("  %-32s %8.1f ms, %lld changes  (goal <%.0f ms) %s\n", c.title, ms,
                    (long long)report.changes.size(), c.goalMs, ms < c.goalMs ? "met" : "MISSED");
    }
    return 0;
}
