#include "balanceterms.h"

#include "classscores.h"

#include <algorithm>
#include <array>

namespace Velmora {

namespace {

constexpr std::array<GroupingView::Trait, ClassScores::BandCount> bandTraits{
    GroupingView::HighBand, GroupingView::MiddleBand, GroupingView::LowBand};

// The band counts and score totals of the positions a change touches, after it. Positions the
// change leaves keep the view's own tallies.
struct ScoreTallies
{
    std::array<std::array<int, ClassScores::BandCount>, GroupCount> bands{};
    std::array<qint64, GroupCount> sums{};
    std::array<int, GroupCount> counts{};
    std::array<bool, GroupCount> touched{};
};

// False when the view has more groups than any class can, which the full cost handles instead.
bool tallyAfter(const GroupingView &view, const std::vector<PersonMove> &moves, ScoreTallies &after)
{
    if (view.groupCount() > GroupCount)
        return false;
    for (int position = 0; position < view.groupCount(); ++position) {
        for (int b = 0; b < ClassScores::BandCount; ++b)
            after.bands[std::size_t(position)][std::size_t(b)] =
                view.count(position, bandTraits[std::size_t(b)]);
        after.sums[std::size_t(position)] = view.scoreSum(position);
        after.counts[std::size_t(position)] = view.scoredCount(position);
    }
    for (const PersonMove &m : moves) {
        const int score = view.scoreOf(m.person);
        if (m.from == m.to || score < 0)
            continue;
        const unsigned char traits = view.traitsOf(m.person);
        for (const auto &[position, sign] : {std::pair{m.from, -1}, std::pair{m.to, 1}}) {
            if (position < 0 || position >= view.groupCount())
                continue;
            const std::size_t at = std::size_t(position);
            after.touched[at] = true;
            after.sums[at] += sign * score;
            after.counts[at] += sign;
            for (int b = 0; b < ClassScores::BandCount; ++b)
                after.bands[at][std::size_t(b)] += sign * ((traits & bandTraits[std::size_t(b)]) != 0);
        }
    }
    return true;
}

class BandTerm : public ScoreTerm
{
public:
    BandTerm(std::vector<char> judged, qint64 bound) : judged(std::move(judged)), bound(bound) {}

    qint64 cost(const GroupingView &view) const override
    {
        qint64 missing = 0;
        for (int position = 0; position < view.groupCount(); ++position) {
            if (!isJudged(position))
                continue;
            for (GroupingView::Trait band : bandTraits)
                missing += view.count(position, band) == 0;
        }
        return missing;
    }

    std::optional<qint64> delta(const GroupingView &view, const std::vector<PersonMove> &moves) const override
    {
        if (judged.empty())
            return 0;
        ScoreTallies after;
        if (!tallyAfter(view, moves, after))
            return std::nullopt;
        qint64 change = 0;
        for (int position = 0; position < view.groupCount(); ++position) {
            if (!after.touched[std::size_t(position)] || !isJudged(position))
                continue;
            for (int b = 0; b < ClassScores::BandCount; ++b)
                change += qint64(after.bands[std::size_t(position)][std::size_t(b)] == 0) -
                          qint64(view.count(position, bandTraits[std::size_t(b)]) == 0);
        }
        return change;
    }

    qint64 lowerBound() const override { return bound; }

private:
    bool isJudged(int position) const
    {
        return std::size_t(position) < judged.size() && judged[std::size_t(position)];
    }

    std::vector<char> judged; // by position; empty while not balancing
    qint64 bound;
};

class GapTerm : public ScoreTerm
{
public:
    explicit GapTerm(qint64 scale) : scale(scale) {}

    qint64 cost(const GroupingView &view) const override
    {
        ScoreTallies now;
        if (scale == 0 || !tallyAfter(view, {}, now))
            return scale == 0 ? 0 : slowCost(view);
        return gapCost(now.sums.data(), now.counts.data(), view.groupCount(), scale);
    }

    std::optional<qint64> delta(const GroupingView &view, const std::vector<PersonMove> &moves) const override
    {
        if (scale == 0)
            return 0;
        ScoreTallies after;
        if (!tallyAfter(view, moves, after))
            return std::nullopt;
        bool changed = false;
        for (bool touched : after.touched)
            changed = changed || touched;
        if (!changed)
            return 0;
        return gapCost(after.sums.data(), after.counts.data(), view.groupCount(), scale) - cost(view);
    }

private:
    qint64 slowCost(const GroupingView &view) const
    {
        std::vector<qint64> sums;
        std::vector<int> counts;
        for (int position = 0; position < view.groupCount(); ++position) {
            sums.push_back(view.scoreSum(position));
            counts.push_back(view.scoredCount(position));
        }
        return gapCost(sums.data(), counts.data(), view.groupCount(), scale);
    }

    qint64 scale; // 0 while not balancing
};

} // namespace

qint64 gapCost(const qint64 *sums, const int *counts, int groups, qint64 scale)
{
    int highest = -1;
    int lowest = -1;
    for (int g = 0; g < groups; ++g) {
        if (counts[g] <= 0)
            continue;
        if (highest < 0 || meanBelow(sums[highest], counts[highest], sums[g], counts[g]))
            highest = g;
        if (lowest < 0 || meanBelow(sums[g], counts[g], sums[lowest], counts[lowest]))
            lowest = g;
    }
    if (highest < 0)
        return 0;
    const qint64 numerator = sums[highest] * counts[lowest] - sums[lowest] * counts[highest];
    const qint64 denominator = qint64(counts[highest]) * counts[lowest];
    // Split so that no product passes 10^18: the remainder is below the denominator.
    return numerator / denominator * scale + numerator % denominator * scale / denominator;
}

ScoreTerms scoreBalanceTerms(const ClassState &state)
{
    const ClassScores scores(state);
    if (!scores.balancing())
        return {std::make_shared<BandTerm>(std::vector<char>(), 0), std::make_shared<GapTerm>(0)};
    std::vector<char> judged;
    int most = 0;
    for (int index : state.enabledGroups()) {
        const int seats = state.groupConfigs.at(index).total;
        judged.push_back(seats >= ClassScores::SeatsForBands);
        most = qMax(most, seats);
    }
    qint64 judgedCount = 0;
    for (char j : judged)
        judgedCount += j;
    // A band with fewer pupils than judged groups leaves the rest without one, whatever the plan.
    qint64 bound = 0;
    for (int b = 0; b < ClassScores::BandCount; ++b)
        bound += qMax<qint64>(0, judgedCount - scores.bandSize(b));
    // Two different gaps differ by at least 1/k^4 hundredths when no group holds more than k
    // scored pupils, so scaling by k^4 keeps them apart.
    const qint64 k = std::clamp<qint64>(qMin(scores.scoredCount(), most), 1, 1000);
    return {std::make_shared<BandTerm>(std::move(judged), bound), std::make_shared<GapTerm>(k * k * k * k)};
}

} // namespace Velmora
