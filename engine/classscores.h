#pragma once

#include "model.h"

#include <QList>
#include <QtGlobal>

#include <array>
#include <vector>

namespace Velmora {

// The pupils' scores by PersonId and each scored pupil's band: ranked from the highest score down,
// the scored pupils are cut into three bands of equal size (the first bands take one more where
// the count does not divide), and pupils tied across a cut all go to the higher band. A pupil
// without a score belongs to no band and counts in no mean.
class ClassScores
{
public:
    enum Band : int
    {
        High,
        Middle,
        Low,
    };
    static constexpr int BandCount = 3;
    // Only a group with room for one pupil of each band is judged by the bands.
    static constexpr int SeatsForBands = 3;
    // 10,000 points; a larger value never reaches here from the settings and is taken as no score.
    static constexpr int MaxHundredths = 1000000;

    explicit ClassScores(const ClassState &state);

    // The box "按成绩均衡分组" is ticked and somebody has a score.
    bool balancing() const { return balance && scored > 0; }
    int personCount() const { return int(scores.size()) - 1; }
    // Hundredths of a point; -1 without a score.
    int scoreOf(PersonId p) const { return inRange(p) ? scores[std::size_t(p)] : -1; }
    // -1 without a score.
    int bandOf(PersonId p) const { return inRange(p) ? bands[std::size_t(p)] : -1; }
    int scoredCount() const { return scored; }
    int unscoredCount() const { return personCount() - scored; }
    int bandSize(int band) const { return sizes[std::size_t(band)]; }

private:
    bool inRange(PersonId p) const { return p >= 1 && std::size_t(p) < scores.size(); }

    std::vector<int> scores; // by PersonId
    std::vector<int> bands;  // by PersonId
    std::array<int, BandCount> sizes{};
    int scored = 0;
    bool balance = false;
};

// The scores of one group of a plan.
struct GroupScores
{
    int group = 0; // group number
    int seats = 0;
    qint64 sum = 0; // hundredths
    int scored = 0;
    std::array<int, ClassScores::BandCount> bands{};

    bool judgedByBands() const { return seats >= ClassScores::SeatsForBands; }
    bool hasMean() const { return scored > 0; }
};

QList<GroupScores> groupScores(const ClassScores &scores, const SeatingPlan &plan);

// Exactly, by cross-multiplication: whether the mean of sum a over m pupils lies below the mean
// of sum b over n pupils (m, n > 0).
inline bool meanBelow(qint64 a, qint64 m, qint64 b, qint64 n)
{
    return a * n < b * m;
}

// A mean in hundredths, rounded half up; 0 for no pupil.
qint64 roundedMean(qint64 sum, int count);

// The groups with the highest and the lowest mean (positions in `groups`); -1 when no group has
// a mean.
std::pair<int, int> extremeMeans(const QList<GroupScores> &groups);

} // namespace Velmora
