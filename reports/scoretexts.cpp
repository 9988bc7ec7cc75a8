#include "scoretexts.h"

using namespace Qt::StringLiterals;

namespace Velmora {

QString pointsText(qint64 hundredths)
{
    const qint64 magnitude = hundredths < 0 ? -hundredths : hundredths;
    return u"%1%2.%3"_s.arg(hundredths < 0 ? u"-"_s : QString())
        .arg(magnitude / 100)
        .arg(magnitude % 100, 2, 10, QLatin1Char('0'));
}

QString bandName(int band)
{
    switch (band) {
    case ClassScores::High:
        return u"高分段"_s;
    case ClassScores::Middle:
        return u"中分段"_s;
    default:
        return u"低分段"_s;
    }
}

QString meanText(const GroupScores &group)
{
    return group.hasMean() ? pointsText(roundedMean(group.sum, group.scored)) : QString();
}

} // namespace Velmora
