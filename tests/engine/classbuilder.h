#pragma once

#include "model.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <random>

namespace Velmora::Test {

// A class of `boys` boys named 男1, 男2, ... and `girls` girls named 女1, 女2, ..., with every
// group disabled and no seats.
ClassState makeClass(int boys, int girls);

void enableGroup(ClassState &state, int number, int seats, int males = -1, int females = -1);

// "1 2 0 | 5 6" is two groups: seats hold PersonIds, 0 an empty seat.
Grouping parseGrouping(const QString &text);
QString formatGrouping(const Grouping &grouping);

// A scenario file: {"boys": 4, "girls": 5, "groups": [[number, seats, males, females], ...],
// "leaders": [names], "boarders": [names], "fixed": [[name, group, seat], ...],
// "together": [[names]], "separate": [[names]], "scores": {name: hundredths}, "balance": bool}.
// Names may also be written as PersonIds.
ClassState classFromJson(const QJsonObject &json);

// Rosters of 0..120, 0..10 enabled groups of 0..12 seats, random targets, leaders, boarders,
// fixed seats (clashing and invalid ones too) and overlapping requirements.
ClassState randomClass(std::mt19937 &random);

// Gives about `eighths` eighths of the roster a score of 0 to 99.5 points in half points, the
// others none.
void drawScores(ClassState &state, std::mt19937 &random, int eighths);

} // namespace Velmora::Test
