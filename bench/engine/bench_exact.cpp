// The result of a generate against the optimum of the same ordered score, found by an exact
// solver (CBC), on seeded random classes: once as the class is, once with scores and
// "按成绩均衡分组" ticked, where the optimum is found tier by tier and a snake draft is the
// baseline. Plus the time per generate and three large classes.
// Usage: rules_exact_bench [classes [scored]]   (or VELMORA_EXACT_CLASSES, VELMORA_EXACT_SCORED;
// default 2000, of which the first 100 also with scores)

#include "benchclasses.h"
#include "classscores.h"
#include "drafts.h"
#include "groupingscore.h"
#include "runselection.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <optional>
#include <random>
#include <vector>

#include <coin/Cbc_C_Interface.h>

using namespace Qt::StringLiterals;
using namespace Velmora;
using namespace Velmora::Bench;

namespace {

// A solve's time. The gap's solves get longer (VELMORA_EXACT_SECONDS to change it): with a cutoff
// half a point below a narrow gap, some that run out at 20 s settle within a minute (three of the
// first hundred classes), and one within two (class 26, in 125 s).
constexpr double SecondsPerSolve = 20.0;
constexpr double GapSecondsPerSolve = 150.0;

double gapSeconds()
{
    const char *env = std::getenv("VELMORA_EXACT_SECONDS");
    const double seconds = env ? std::atof(env) : GapSecondsPerSolve;
    return seconds > 0 ? seconds : GapSecondsPerSolve;
}

using Tiers = std::array<long long, 4>; // requirements, leaders, boarder spread, gender shortfall

struct Optimum
{
    Tiers tiers{};
    long long bands = 0;
    double gap = 0;      // points; the best plan the solver found
    double gapBound = 0; // points; no plan has a smaller gap
    bool proven = false;
};

// What is solved: the tiers above the bands (as one weighted sum: each tier weighs more than the
// largest possible total of the tiers below it), then the bands with those tiers held at their
// optimum, then the gap with the bands held too.
enum class Stage
{
    Rules,
    Bands,
    Gap,
};

// Requirement members, fixed persons and, for the gap, every scored pupil are variables of their
// own; everybody else counts by kind (boy, leader, boarder, band), which is all the score sees of
// them.
// `cutoff`, for the gap: only plans with a smaller gap are looked for, and a search that finds
// none proves that no plan has one.
Optimum solve(const ClassState &state, Stage stage, const Optimum &above = {}, double cutoff = -1)
{
    const ClassScores scores(state);
    const bool banded = stage != Stage::Rules && scores.balancing();
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
    for (int p = 1; p <= people; ++p) {
        named[std::size_t(p)] = named[std::size_t(p)] || fixedAt[std::size_t(p)] >= 0 ||
                                (stage == Stage::Gap && banded && scores.scoreOf(p) >= 0);
    }
    constexpr int Kinds = 32;
    const auto bandOf = [&](int p) { return banded ? scores.bandOf(p) : -1; };
    const auto kindOf = [&](int p) {
        return (state.roster.isBoy(p) ? 1 : 0) | (state.roster.isLeader(p) ? 2 : 0) |
               (state.roster.isBoarder(p) ? 4 : 0) | (bandOf(p) + 1) * 8;
    };
    std::array<int, Kinds> kindCount{};
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
    const bool rules = stage == Stage::Rules;

    // Groups alike in seats and gender targets with no fixed person, by the first of their kind;
    // -1 for the others.
    std::vector<int> symmetric(std::size_t(groups), -1);
    for (int g = 0; g < groups; ++g) {
        const GroupConfig &a = state.groupConfigs.at(enabled.at(g));
        for (int h = 0; h <= g; ++h) {
            const GroupConfig &b = state.groupConfigs.at(enabled.at(h));
            if (a.total == b.total && a.males == b.males && a.females == b.females) {
                symmetric[std::size_t(g)] = h;
                break;
            }
        }
    }
    for (int p = 1; p <= people; ++p) {
        if (fixedAt[std::size_t(p)] >= 0)
            symmetric[std::size_t(fixedAt[std::size_t(p)])] = -1;
    }

    Cbc_Model *model = Cbc_newModel();
    Cbc_setLogLevel(model, 0);
    Cbc_setMaximumSeconds(model, stage == Stage::Gap ? gapSeconds() : SecondsPerSolve);
    int columns = 0;
    const auto column = [&](double lb, double ub, double objective, bool integer = true) {
        Cbc_addCol(model, "", lb, ub, objective, integer ? 1 : 0, 0, nullptr, nullptr);
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
    std::array<std::vector<int>, Kinds> n;
    for (int k = 0; k < Kinds; ++k)
        for (int g = 0; g < groups && kindCount[std::size_t(k)] > 0; ++g)
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
    for (int k = 0; k < Kinds; ++k) {
        std::vector<std::pair<int, double>> terms;
        for (int g = 0; g < groups && kindCount[std::size_t(k)] > 0; ++g)
            terms.push_back({n[std::size_t(k)][std::size_t(g)], 1});
        if (!terms.empty())
            row(terms, 'E', kindCount[std::size_t(k)]);
    }
    // Sums over a group of everyone with a trait, each named person with `weight(p)`.
    const auto weighted = [&](int g, auto &&has, auto &&weight) {
        std::vector<std::pair<int, double>> terms;
        for (int p = 1; p <= people; ++p) {
            if (named[std::size_t(p)] && has(p))
                terms.push_back({x[std::size_t(p)][std::size_t(g)], weight(p)});
        }
        for (int k = 0; k < Kinds; ++k) {
            if (kindCount[std::size_t(k)] > 0 && has(-k - 1))
                terms.push_back({n[std::size_t(k)][std::size_t(g)], 1});
        }
        return terms;
    };
    const auto groupSum = [&](int g, auto &&has) { return weighted(g, has, [](int) { return 1.0; }); };
    // A negative number stands for kind -p-1 of the anonymous persons.
    const auto trait = [&](int bit) {
        return [&kindOf, bit](int p) { return p < 0 ? ((-p - 1) & bit) != 0 : (kindOf(p) & bit) != 0; };
    };
    const auto inBand = [&](int band) {
        return [&kindOf, band](int p) { return (p < 0 ? (-p - 1) : kindOf(p)) / 8 == band + 1; };
    };
    std::vector<int> findings;
    std::vector<int> leaderProblems;
    for (int g = 0; g < groups; ++g)
        row(groupSum(g, [](int) { return true; }), 'L', state.groupConfigs.at(enabled.at(g)).total);

    for (const Constraint &c : state.mustTogether) {
        const int s = column(0, 1, rules ? wRequirement : 0);
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
            const int s = column(0, 1, rules ? wRequirement : 0);
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
        const int s = column(0, 1, rules ? wRequirement : 0);
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
        const int none = column(0, 1, rules ? wLeader : 0);
        const int many = column(0, 1, rules ? wLeader : 0);
        leaderProblems.push_back(none);
        leaderProblems.push_back(many);
        auto sum = groupSum(g, trait(2));
        auto atLeast = sum;
        atLeast.push_back({none, 1});
        row(atLeast, 'G', 1);
        sum.push_back({many, -double(leaders)});
        row(sum, 'L', 1);
    }
    const int most = column(0, double(boarders), rules ? wBoarder : 0);
    const int fewest = column(0, double(boarders), rules ? -wBoarder : 0);
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
            const int s = column(0, config.males, rules ? 1 : 0);
            shortfalls.push_back(s);
            auto boys = groupSum(g, trait(1));
            boys.push_back({s, 1});
            row(boys, 'G', config.males);
        }
        if (config.females >= 0) {
            const int s = column(0, config.females, rules ? 1 : 0);
            shortfalls.push_back(s);
            auto girls = groupSum(g, [&](int p) { return !trait(1)(p); });
            girls.push_back({s, 1});
            row(girls, 'G', config.females);
        }
    }
    const auto sumOf = [](const std::vector<int> &cols) {
        std::vector<std::pair<int, double>> terms;
        for (int c : cols)
            terms.push_back({c, 1});
        return terms;
    };
    if (!rules) {
        // The tiers above stay at their optimum: no plan is better on any of them, so at most is
        // exactly.
        row(sumOf(findings), 'L', double(above.tiers[0]));
        row(sumOf(leaderProblems), 'L', double(above.tiers[1]));
        row({{most, 1}, {fewest, -1}}, 'L', double(above.tiers[2]));
        row(sumOf(shortfalls), 'L', double(above.tiers[3]));
    }
    std::vector<int> missing;
    if (banded) {
        for (int g = 0; g < groups; ++g) {
            if (state.groupConfigs.at(enabled.at(g)).total < ClassScores::SeatsForBands)
                continue;
            for (int band = 0; band < ClassScores::BandCount; ++band) {
                const int m = column(0, 1, stage == Stage::Bands ? 1 : 0, false);
                missing.push_back(m);
                auto present = groupSum(g, inBand(band));
                present.push_back({m, 1});
                row(present, 'G', 1);
            }
        }
        if (stage == Stage::Gap)
            row(sumOf(missing), 'L', double(above.bands));
    }
    // The gap. A group's mean is linear once its count k of scored pupils is known, so its sum
    // is split into one part per possible k, each part zero unless its indicator is set and then
    // between the sums of the k lowest and the k highest scores: the mean is the sum of
    // part/k. The counts a group can have are those the other groups' seats leave it.
    int high = -1;
    int low = -1;
    if (stage == Stage::Gap && banded) {
        // Half a hundredth: gaps are told apart to the hundredth the log shows.
        Cbc_setAllowableGap(model, 0.005);
        if (cutoff >= 0)
            Cbc_setCutoff(model, cutoff);
        const auto isScored = [&](int p) { return p > 0 && scores.scoreOf(p) >= 0; };
        std::vector<double> ranked; // points, lowest first
        for (int p = 1; p <= people; ++p) {
            if (isScored(p))
                ranked.push_back(scores.scoreOf(p) / 100.0);
        }
        std::sort(ranked.begin(), ranked.end());
        const int scored = int(ranked.size());
        std::vector<double> lowest(std::size_t(scored) + 1, 0.0);
        std::vector<double> highest(std::size_t(scored) + 1, 0.0);
        for (int k = 1; k <= scored; ++k) {
            lowest[std::size_t(k)] = lowest[std::size_t(k) - 1] + ranked[std::size_t(k) - 1];
            highest[std::size_t(k)] = highest[std::size_t(k) - 1] + ranked[std::size_t(scored - k)];
        }
        // The highest mean is never below the class's mean, the lowest never above it.
        const double classMean = highest[std::size_t(scored)] / scored;
        int seatTotal = 0;
        for (int g = 0; g < groups; ++g)
            seatTotal += state.groupConfigs.at(enabled.at(g)).total;
        // The class mean is a weighted mean of the group means, so it lies between the lowest and
        // the highest: below a cutoff, every group mean is within the cutoff of it. That window
        // holds each group's sum near its share from the first pupils placed, where the sums of
        // the k lowest and highest scores hold it hardly at all.
        const double window = cutoff >= 0 ? cutoff + 1e-6 : highest[1];
        const auto floorFor = [&](int k) {
            return std::max(lowest[std::size_t(k)], k * (classMean - window));
        };
        const auto ceilingFor = [&](int k) {
            return std::min(highest[std::size_t(k)], k * (classMean + window));
        };
        high = column(classMean, ceilingFor(1), 1, false);
        low = column(floorFor(1), classMean, -1, false);
        std::vector<int> mean;
        for (int g = 0; g < groups; ++g) {
            const int seats = state.groupConfigs.at(enabled.at(g)).total;
            const int fewest = std::max(0, scored - (seatTotal - seats));
            const int most = std::min(seats, scored);
            mean.push_back(column(0, highest[1], 0, false));
            std::vector<std::pair<int, double>> parts{{mean.back(), -1}};
            std::vector<std::pair<int, double>> sum =
                weighted(g, isScored, [&](int p) { return -scores.scoreOf(p) / 100.0; });
            std::vector<std::pair<int, double>> count = groupSum(g, isScored);
            std::vector<std::pair<int, double>> one;
            for (int k = std::max(1, fewest); k <= most; ++k) {
                const int y = column(0, 1, 0);
                const int part = column(0, highest[std::size_t(k)], 0, false);
                row({{part, 1}, {y, -floorFor(k)}}, 'G', 0);
                row({{part, 1}, {y, -ceilingFor(k)}}, 'L', 0);
                parts.push_back({part, 1.0 / k});
                sum.push_back({part, 1});
                count.push_back({y, -double(k)});
                one.push_back({y, 1});
            }
            row(parts, 'E', 0);
            row(sum, 'E', 0);
            row(count, 'E', 0);
            row({{high, 1}, {mean.back(), -1}}, 'G', 0);
            if (fewest >= 1) {
                row(one, 'E', 1);
                row({{low, 1}, {mean.back(), -1}}, 'L', 0);
            } else {
                if (!one.empty())
                    row(one, 'L', 1);
                // A group without a scored pupil has no mean to hold the lowest down.
                auto floor = one;
                for (auto &term : floor)
                    term.second = classMean;
                floor.push_back({low, 1});
                floor.push_back({mean.back(), -1});
                row(floor, 'L', classMean);
            }
        }
        // Alike groups can be swapped whole: only plans with their means in falling order count.
        for (int g = 0; g < groups; ++g) {
            for (int h = g + 1; h < groups; ++h) {
                if (symmetric[std::size_t(g)] >= 0 &&
                    symmetric[std::size_t(g)] == symmetric[std::size_t(h)]) {
                    row({{mean[std::size_t(g)], 1}, {mean[std::size_t(h)], -1}}, 'G', 0);
                    break;
                }
            }
        }
    }

    Cbc_solve(model);
    Optimum result;
    result.proven = Cbc_isProvenOptimal(model);
    const double *solution = Cbc_getColSolution(model);
    const auto total = [&](const std::vector<int> &cols) {
        double sum = 0;
        for (int c : cols)
            sum += solution[c];
        return (long long)(sum + 0.5);
    };
    if (solution && Cbc_getObjValue(model) < 1e30) {
        result.tiers = {total(findings), total(leaderProblems),
                        (long long)(solution[most] - solution[fewest] + 0.5), total(shortfalls)};
        result.bands = total(missing);
        if (high >= 0) {
            result.gap = solution[high] - solution[low];
            result.gapBound = Cbc_getBestPossibleObjValue(model);
        }
    } else if (high >= 0 && cutoff >= 0 && Cbc_isProvenInfeasible(model)) {
        // No plan below the cutoff, so the plan it was drawn from stands as the best known.
        result.proven = true;
        result.tiers = above.tiers;
        result.bands = above.bands;
        result.gap = above.gap;
        result.gapBound = cutoff;
    } else {
        result.proven = false;
        if (high >= 0) {
            result.gap = above.gap;
            const double bound = Cbc_getBestPossibleObjValue(model);
            result.gapBound = cutoff >= 0 ? std::min(cutoff, bound) : bound;
        }
    }
    Cbc_deleteModel(model);
    return result;
}

// The gap of a plan in points, worked out exactly and shown as a double.
double gapOf(const ClassState &state, const SeatingPlan &plan)
{
    const QList<GroupScores> groups = groupScores(ClassScores(state), plan);
    const auto [highest, lowest] = extremeMeans(groups);
    if (highest < 0)
        return 0;
    const GroupScores &h = groups.at(highest);
    const GroupScores &l = groups.at(lowest);
    return (double(h.sum) / h.scored - double(l.sum) / l.scored) / 100.0;
}

Tiers tiersOf(const OrderedScore &score)
{
    return {score.tier(OrderedScore::BrokenRequirements), score.tier(OrderedScore::LeaderProblems),
            score.tier(OrderedScore::BoarderSpread), score.tier(OrderedScore::GenderShortfall)};
}

// The processor time of a generate, the least of three runs: one run can take a third longer than
// the next for another tenant's work on a shared machine, and a seed gives the same plan each time.
double generateMilliseconds(const ClassState &state, std::uint32_t seed, GenerateReport *report = nullptr)
{
    constexpr int Runs = 3;
    double least = 0;
    for (int run = 0; run < Runs; ++run) {
        const double started = threadMilliseconds();
        GenerateReport generated = generatePlan(state, seedSequence(seed));
        const double ms = threadMilliseconds() - started;
        least = run == 0 ? ms : std::min(least, ms);
        if (report)
            *report = std::move(generated);
    }
    return least;
}

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

struct Figures
{
    long long judged = 0;
    long long worseRequirements = 0;
    long long worseLeaders = 0;
    long long worseAny = 0;
    long long beatSolver = 0;
    std::vector<double> times;
    std::vector<std::pair<ClassState, std::uint32_t>> timed; // the class and seed of each time

    GenerateReport generate(const ClassState &state, std::uint32_t seed)
    {
        GenerateReport report;
        times.push_back(generateMilliseconds(state, seed, &report));
        timed.emplace_back(state, seed);
        return report;
    }

    // The slowest classes timed again once the rest have run: another tenant's work comes in
    // bursts of seconds, which three runs in a row do not escape.
    void retimeSlowest()
    {
        constexpr std::size_t Slowest = 5;
        std::vector<std::size_t> order(times.size());
        std::iota(order.begin(), order.end(), 0);
        const std::size_t count = std::min(Slowest, order.size());
        std::partial_sort(order.begin(), order.begin() + std::ptrdiff_t(count), order.end(),
                          [this](std::size_t a, std::size_t b) { return times[a] > times[b]; });
        for (std::size_t k = 0; k < count; ++k) {
            const auto &[state, seed] = timed[order[k]];
            times[order[k]] = std::min(times[order[k]], generateMilliseconds(state, seed));
        }
    }

    void count(const Tiers &got, const Tiers &o)
    {
        ++judged;
        worseRequirements += got[0] > o[0];
        worseLeaders += std::make_pair(got[0], got[1]) > std::make_pair(o[0], o[1]);
        worseAny += got > o;
        beatSolver += got < o;
    }
    void print(const char *anyTier, double anyGoal) const
    {
        std::printf("  worse than optimum on requirements:             %6.2f%%  (goal 0)     %s\n",
                    percent(worseRequirements, judged), worseRequirements == 0 ? "met" : "MISSED");
        std::printf("  worse on requirements and leaders:              %6.2f%%  (goal 0)     %s\n",
                    percent(worseLeaders, judged), worseLeaders == 0 ? "met" : "MISSED");
        std::printf("  worse on %-38s%6.2f%%  (%lld; goal <%.1f%%) %s\n", anyTier, percent(worseAny, judged),
                    worseAny, anyGoal, percent(worseAny, judged) < anyGoal ? "met" : "MISSED");
        if (beatSolver > 0)
            std::printf("  (%lld results better than the solver's answer: check the model)\n", beatSolver);
        const double slowest = quantile(times, 1.0);
        std::printf("  processor time per generate (least of 3 runs): median %.2f ms, p95 %.2f ms, "
                    "max %.2f ms  (goal max <50 ms) %s\n",
                    quantile(times, 0.5), quantile(times, 0.95), slowest, slowest < 50.0 ? "met" : "MISSED");
    }
};

} // namespace

// The gap's solves, kept between runs in the file VELMORA_EXACT_GAP_CACHE names (one line per
// class: index, best gap known, bound, settled, model), so that a change to the search is judged
// in minutes. A bound holds for the class whatever the search; a solve asked whether any plan is
// half a point below the generate's gap, so a search that makes a class's gap larger can find
// its old bound too low to settle it. The lines of a class are merged; a class whose lines are
// all open and of older models is solved again.
class GapCache
{
public:
    GapCache()
    {
        const char *env = std::getenv("VELMORA_EXACT_GAP_CACHE");
        if (!env)
            return;
        path = QString::fromLocal8Bit(env);
        QFile file(path);
        // A line per class of at most a few dozen bytes: anything far larger is not this file.
        if (file.size() > (1 << 20) || !file.open(QIODevice::ReadOnly | QIODevice::Text))
            return;
        while (!file.atEnd()) {
            const QList<QByteArray> fields = file.readLine(256).simplified().split(' ');
            bool indexed = false;
            if (fields.size() != 5 || (fields[0].toInt(&indexed), !indexed))
                continue;
            Optimum line;
            line.gap = fields[1].toDouble();
            line.gapBound = fields[2].toDouble();
            line.proven = fields[3] == "1";
            Known &known = entries[fields[0].toInt()];
            known.lines += 1;
            known.optimum = known.lines == 1 ? line : merged(known.optimum, line);
            known.current = known.current || fields[4] == QByteArray::number(Model);
        }
    }

    // `gap` is the generate's, which the solve is asked to beat by half a point.
    template <typename Solve> Optimum solve(int index, double gap, Solve &&solveNow)
    {
        const auto it = entries.constFind(index);
        // A settled solve holds under any model; an open one is worth asking a new model. One
        // settled by proving no plan below its cutoff says nothing of a gap that has since grown
        // past the cutoff by more than half a point, short of the plan it found.
        const bool outgrown = it != entries.cend() && it->optimum.proven &&
                              gap - it->optimum.gapBound > HalfPoint && gap - it->optimum.gap <= HalfPoint;
        if (it != entries.cend() && (it->current || it->optimum.proven) && !outgrown)
            return it->optimum;
        Optimum found = solveNow();
        if (it != entries.cend())
            found = merged(it->optimum, found);
        entries.insert(index, {found, 1, true});
        if (!path.isEmpty()) {
            QFile file(path);
            if (file.open(QIODevice::Append | QIODevice::Text))
                file.write(QByteArray::number(index) + ' ' + QByteArray::number(found.gap, 'g', 12) + ' ' +
                           QByteArray::number(found.gapBound, 'g', 12) + ' ' + (found.proven ? "1" : "0") +
                           ' ' + QByteArray::number(Model) + '\n');
        }
        return found;
    }

    static constexpr double HalfPoint = 0.5 + 1e-6;

private:
    // The gap's model: 1 had one big-M row per count and looked for the optimum; 2 splits the
    // sums by count and looks below a cutoff; 3 holds each group's sum within the cutoff of its
    // share, and settles solves that 2 left open.
    static constexpr int Model = 3;

    struct Known
    {
        Optimum optimum;
        int lines = 0;
        bool current = false; // solved by this model
    };

    // Two solves of one class, each a plan found and a bound proven: the better of each stands,
    // where a solve that ran out of time would otherwise forget the plan an earlier one found.
    static Optimum merged(const Optimum &a, const Optimum &b)
    {
        Optimum both = a;
        both.gap = std::min(a.gap, b.gap);
        both.gapBound = std::max(a.gapBound, b.gapBound);
        both.proven = a.proven || b.proven;
        return both;
    }

    QString path;
    QHash<int, Known> entries;
};

int main(int argc, char **argv)
{
    GapCache gapCache;
    QCoreApplication app(argc, argv);
    int classes = 2000;
    if (const char *env = std::getenv("VELMORA_EXACT_CLASSES"))
        classes = std::max(1, std::atoi(env));
    if (argc > 1)
        classes = std::max(1, std::atoi(argv[1]));
    // The gap's solves take up to two and a half minutes each, most of them seconds, and only the
    // first hundred classes have them: `make bench` stays within half an hour.
    int scoredClasses = std::min(classes, 100);
    if (const char *env = std::getenv("VELMORA_EXACT_SCORED"))
        scoredClasses = std::max(0, std::atoi(env));
    if (argc > 2)
        scoredClasses = std::max(0, std::atoi(argv[2]));
    const bool verbose = std::getenv("VELMORA_EXACT_VERBOSE") != nullptr;

    Figures plain;
    Figures scored;
    long long falseImpossible = 0;
    long long unnamedClasses = 0;
    long long unnamed = 0;
    long long impossibleTotal = 0;
    long long unproven = 0;
    long long allMet = 0;
    long long allMetPossible = 0;
    long long bandsJudged = 0;
    long long bandsWorse = 0;
    long long gapJudged = 0;
    long long gapWithin = 0;
    long long gapOpen = 0; // the solver could not tell
    long long gapSolved = 0;
    long long gapSettled = 0; // a plan found half a point below the generate's, or none proven
    long long snakeBetter = 0;
    long long snakeGapBetterAnyway = 0;
    std::vector<double> draftGaps; // the smaller of the two drafts' where both count
    std::vector<double> gapExcess;
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
        const GenerateReport report = plain.generate(state, seed);
        const Tiers got = tiersOf(scoreGrouping(state, report.plan));
        const Optimum best = solve(state, Stage::Rules);
        if (!best.proven) {
            ++unproven;
            continue;
        }
        const Tiers &o = best.tiers;
        plain.count(got, o);
        const long long impossible =
            std::count_if(report.unmet.cbegin(), report.unmet.cend(),
                          [](const auto &u) { return u.proof != GenerateReport::Proof::NotProven; });
        falseImpossible += impossible > o[0];
        unnamed += std::max(0LL, o[0] - impossible);
        unnamedClasses += o[0] > impossible;
        impossibleTotal += o[0];
        const bool possible = o == Tiers{0, 0, 0, 0};
        allMetPossible += possible;
        allMet += possible && got == o;
        if (got > o && verbose)
            std::printf("  class %d: got %lld %lld %lld %lld, optimum %lld %lld %lld %lld\n", i, got[0],
                        got[1], got[2], got[3], o[0], o[1], o[2], o[3]);

        // The same class with scores, balanced.
        if (i >= first + scoredClasses)
            continue;
        ClassState withScores = state;
        std::mt19937 scoreRandom(std::uint32_t(7919 * i + 1));
        drawScores(withScores, scoreRandom);
        const GenerateReport balanced = scored.generate(withScores, seed);
        const OrderedScore score = scoreGrouping(withScores, balanced.plan);
        const Tiers above = tiersOf(score);
        scored.count(above, o);
        if (above != o) {
            if (verbose)
                std::printf("  class %d with scores: got %lld %lld %lld %lld, optimum %lld %lld %lld %lld\n",
                            i, above[0], above[1], above[2], above[3], o[0], o[1], o[2], o[3]);
            continue;
        }
        const Optimum bands = solve(withScores, Stage::Bands, best);
        if (!bands.proven)
            continue;
        ++bandsJudged;
        const long long gotBands = score.tier(OrderedScore::ScoreBands);
        bandsWorse += gotBands > bands.bands;
        if (gotBands != bands.bands) {
            if (verbose)
                std::printf("  class %d: bands %lld, optimum %lld\n", i, gotBands, bands.bands);
            continue;
        }
        Optimum withBands = best;
        withBands.bands = bands.bands;
        const double gotGap = gapOf(withScores, balanced.plan);
        ++gapJudged;
        // No gap is below zero, so one within half a point needs no solve, which is the slow one.
        if (gotGap <= GapCache::HalfPoint) {
            ++gapWithin;
        } else {
            // Whether some plan is more than half a point below: a far quicker question for the
            // solver than how far below the best one is.
            withBands.gap = gotGap;
            const Optimum gap = gapCache.solve(
                i, gotGap, [&] { return solve(withScores, Stage::Gap, withBands, gotGap - 0.5); });
            if (gotGap - gap.gapBound <= GapCache::HalfPoint)
                ++gapWithin;
            else if (gotGap - gap.gap <= GapCache::HalfPoint)
                ++gapOpen;
            ++gapSolved;
            gapSettled += gap.proven;
            gapExcess.push_back(gotGap - gap.gap);
            if (verbose && gotGap - gap.gapBound > GapCache::HalfPoint)
                std::printf("  class %d: gap %.3f, optimum %.3f (bound %.3f)%s\n", i, gotGap, gap.gap,
                            gap.gapBound, gap.proven ? "" : ", not settled");
        }

        // The snake drafts: the one within the plan's tallies keeps every tier above the gap (the
        // tests hold it to that), the plain one counts only where it happens to keep them too.
        const SeatingPlan snake = snakeDraft(withScores);
        const double snakeGap = gapOf(withScores, snake);
        bool snakeSame = true;
        const OrderedScore snakeScore = scoreGrouping(withScores, snake);
        for (int t = 0; t < OrderedScore::ScoreGap; ++t)
            snakeSame = snakeSame && snakeScore[std::size_t(t)] == score[std::size_t(t)];
        snakeGapBetterAnyway += !snakeSame && snakeGap < gotGap - 1e-9;
        double draftGap = gapOf(withScores, keptTalliesDraft(withScores, balanced.plan));
        if (snakeSame)
            draftGap = std::min(draftGap, snakeGap);
        snakeBetter += draftGap < gotGap - 1e-9;
        draftGaps.push_back(draftGap);
        if (verbose && draftGap < gotGap - 1e-9)
            std::printf("  class %d: gap %.3f, snake draft %.3f\n", i, gotGap, draftGap);
    }
    const long long judged = classes - unproven;
    std::printf(
        "Generate against the exact optimum (CBC), %d seeded classes (%lld solved to proven optimum)\n",
        classes, judged);
    std::printf("Without scores:\n");
    plain.retimeSlowest();
    scored.retimeSlowest();
    plain.print("any tier:", 0.5);
    std::printf("  false \"无法满足\" (more lines than unavoidable):  %6.2f%%  (goal 0)     %s\n",
                percent(falseImpossible, judged), falseImpossible == 0 ? "met" : "MISSED");
    std::printf("  classes with unavoidable findings left unnamed: %6.2f%%  (%lld of %lld findings)\n",
                percent(unnamedClasses, judged), unnamed, impossibleTotal);
    std::printf("  every rule met where every rule can be:         %6.2f%%  (%lld classes)\n",
                percent(allMet, allMetPossible), allMetPossible);
    std::printf("With scores and \"按成绩均衡分组\", the first %lld of those classes:\n", scored.judged);
    scored.print("any tier above the bands:", 0.5);
    std::printf("  bands at the optimum:                           %6.2f%%  (%lld classes; goal 100%%) %s\n",
                percent(bandsJudged - bandsWorse, bandsJudged), bandsJudged,
                bandsWorse == 0 ? "met" : "MISSED");
    std::printf("  gap within 0.5 points of the optimum:           %6.2f%%  (%lld classes; goal >=99%%) %s\n",
                percent(gapWithin, gapJudged), gapJudged,
                percent(gapWithin, gapJudged) >= 99.0 ? "met" : "MISSED");
    std::printf(
        "    (%lld more within 0.5 of the solver's best plan but not of its bound; %lld of %lld solves "
        "settled; excess over the best plan known: median %.3f, p99 %.3f, max %.3f points)\n",
        gapOpen, gapSettled, gapSolved, quantile(gapExcess, 0.5), quantile(gapExcess, 0.99),
        quantile(gapExcess, 1.0));
    std::printf("  gap worse than the snake draft's, same tiers above: %lld of %lld classes (goal 0) %s\n",
                snakeBetter, gapJudged, snakeBetter == 0 ? "met" : "MISSED");
    std::printf(
        "    (the draft dealt by kinds and bands within the generate's tallies, or the plain one where it "
        "keeps them: gap median %.3f, p95 %.3f points; the plain draft's gap is smaller in %lld classes, "
        "as it breaks a tier above)\n",
        quantile(draftGaps, 0.5), quantile(draftGaps, 0.95), snakeGapBetterAnyway);

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
