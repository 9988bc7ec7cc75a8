#include "historyscoreterms.h"

namespace Velmora {

namespace {

// A tier that sums a weight over the pairs sharing a group, or over the persons at a position.
class HistoryTier : public ScoreTerm
{
public:
    enum class Kind
    {
        LastRound,
        Earlier,
        SameGroup
    };
    HistoryTier(std::shared_ptr<const HistoryTerms> terms, Kind kind) : terms(std::move(terms)), kind(kind) {}

    qint64 cost(const GroupingView &view) const override
    {
        qint64 sum = 0;
        for (int g = 0; g < view.groupCount(); ++g) {
            const std::vector<PersonId> &members = view.membersOf(g);
            for (std::size_t i = 0; i < members.size(); ++i) {
                if (kind == Kind::SameGroup) {
                    sum += terms->seatWeight(members[i], g);
                    continue;
                }
                for (std::size_t j = i + 1; j < members.size(); ++j)
                    sum += pair(members[i], members[j]);
            }
        }
        return sum;
    }

    std::optional<qint64> delta(const GroupingView &view, const std::vector<PersonMove> &moves) const override
    {
        qint64 sum = 0;
        for (std::size_t k = 0; k < moves.size(); ++k) {
            const PersonMove &m = moves[k];
            if (kind == Kind::SameGroup) {
                sum += terms->seatWeight(m.person, m.to) - terms->seatWeight(m.person, m.from);
                continue;
            }
            sum += weightIn(view, moves, k, m.to) - weightIn(view, moves, k, m.from);
        }
        return sum;
    }

private:
    qint64 pair(PersonId a, PersonId b) const
    {
        return kind == Kind::LastRound ? terms->lastRoundPair(a, b) : terms->earlierPair(a, b);
    }

    // Where p sits once the first k moves are made.
    static int positionAfter(const GroupingView &view, const std::vector<PersonMove> &moves, std::size_t k,
                             PersonId p)
    {
        int at = view.positionOf(p);
        for (std::size_t i = 0; i < k; ++i) {
            if (moves[i].person == p)
                at = moves[i].to;
        }
        return at;
    }

    // The weight of moves[k]'s person with everyone at `position` once the first k moves are made.
    qint64 weightIn(const GroupingView &view, const std::vector<PersonMove> &moves, std::size_t k,
                    int position) const
    {
        if (position < 0)
            return 0;
        const PersonId p = moves[k].person;
        qint64 sum = 0;
        for (PersonId q : view.membersOf(position)) {
            if (q != p && positionAfter(view, moves, k, q) == position)
                sum += pair(p, q);
        }
        for (std::size_t i = 0; i < k; ++i) {
            const PersonId q = moves[i].person;
            if (q != p && view.positionOf(q) != position && positionAfter(view, moves, k, q) == position) {
                // Counted once even when q moved twice.
                bool first = true;
                for (std::size_t e = 0; e < i; ++e)
                    first = first && moves[e].person != q;
                if (first)
                    sum += pair(p, q);
            }
        }
        return sum;
    }

    std::shared_ptr<const HistoryTerms> terms;
    Kind kind;
};

} // namespace

ScoreTerms historyScoreTerms(const std::shared_ptr<const HistoryTerms> &terms)
{
    if (!terms || !terms->isActive())
        return {};
    return {std::make_shared<HistoryTier>(terms, HistoryTier::Kind::LastRound),
            std::make_shared<HistoryTier>(terms, HistoryTier::Kind::Earlier),
            std::make_shared<HistoryTier>(terms, HistoryTier::Kind::SameGroup)};
}

} // namespace Velmora
