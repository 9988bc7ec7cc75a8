#pragma once

#include <QString>

namespace Velmora {

// A pupil's exam score as the teacher writes it and as config.ini keeps it. Scores are held in
// hundredths of a point as integers, so that sums and comparisons of group means stay exact.
namespace PupilScores {

// Enough for a total over many subjects; a larger value is a typing slip, not a score.
constexpr int MaxPoints = 10000;
constexpr int MaxHundredths = MaxPoints * 100;

enum class Status
{
    Empty,      // nothing written: no score
    Valid,      // hundredths holds the score
    NotANumber, // text, a sign other than + or -, an exponent, NaN, ...
    OutOfRange  // a number, but negative or above MaxPoints
};

struct Parsed
{
    Status status = Status::Empty;
    int hundredths = 0;
};

// Digits with an optional point and decimals, full-width forms included (what a Chinese input
// method types), spaces and invisible characters around them ignored. Decimals past the second are
// rounded half up, as a spreadsheet shows an average computed by a formula.
Parsed parse(const QString &text);

// Headers under which a class list or a pasted table holds the scores: 成绩, 总分, 分数, 考试成绩,
// 平均分 and 得分, spaces inside them ignored.
bool isScoreHeader(const QString &header);

// The shortest form that reads back to the same value: 92, 92.5, 92.25.
QString format(int hundredths);

// The line a refused value gets in a list of rows; empty for Empty and Valid.
QString problemText(int rowNumber, const Parsed &parsed, const QString &written);

// One config.ini item, "name:score"; the score never holds a colon, so a name may.
QString encodeItem(const QString &name, int hundredths);
// False when the item has no colon or its score is not Valid.
bool decodeItem(const QString &item, QString *name, int *hundredths);

} // namespace PupilScores
} // namespace Velmora
