#pragma once

#include "classscores.h"

#include <QString>

namespace Velmora {

// Hundredths of a point as the teacher reads a mean: "82.50", "-0.25".
QString pointsText(qint64 hundredths);

// "高分段", "中分段" or "低分段".
QString bandName(int band);

// A group's mean rounded to hundredths, as pointsText writes it; empty for a group without scores.
QString meanText(const GroupScores &group);

} // namespace Velmora
