#pragma once

#include "model.h"

#include <QString>
#include <QStringList>

namespace Velmora {

// config.ini beside the executable holds the whole persistent state. Every operation goes through
// ConfigFile, which decides the encoding, keeps what the program does not know and writes the file
// atomically.
// Loaders fill the given state; the plain log lines they produce are returned to the caller, who
// owns the log panel.
namespace ConfigStore {

// The application directory + "/config.ini".
QString configFilePath();

// Sets configPath, reads the roster with its scores and the style, rebuilds the name maps. Returns
// the three start-up log lines, and a warning for scores that could not be read.
QStringList loadConfiguration(ClassState &state);

// Reads the ten group records, the fixed positions, both requirement lists and whether to balance
// by scores from configPath.
// A seat count outside 0..maxSeats and a gender target outside 0..seats are clamped, a fixed
// position outside groups 1..10 or seats 1..maxSeats is dropped (one beyond its group's count is
// kept, for the engine to refuse), and requirements past maxRequirements are left out; returns one
// warning line for each. Leaving requirements out first keeps a copy of the file, and `notice`
// receives the text of the box that tells the teacher so.
QStringList loadGroupConfiguration(ClassState &state, QString *notice = nullptr);

// No classroom group comes near it, and the engine and the results table size by it.
constexpr int maxSeats = 100;
// Beyond it every generate crawls; the requirement panel refuses more, and loading keeps the first
// in the file's order.
constexpr int maxRequirements = 500;
// Far more than any roster; loading keeps the first.
constexpr int maxScores = 10000;

// Write the group records, fixed positions and requirements / the roster and style. Both sync and
// return false when the file could not be written, so that the caller can tell the user.
bool saveGroupConfiguration(const ClassState &state);
bool saveRosterAndStyle(const ClassState &state, const QString &customPath);
// Both in one write: the file holds either everything before or everything after.
bool saveSettings(const ClassState &state, const QString &customPath);

// Rebuilds the name maps and returns the log line that reports it.
QString rebuildNameMaps(ClassState &state);

// The custom template has no member in memory: it lives only in the file and is read each time.
QString readCustomPath(const QString &configPath);

// Encodings of the list items, shared with whoever needs to interpret stored values.
QString encodeFixedPosition(int person, int group, int seat);
QString encodeConstraint(const Constraint &constraint);
Constraint decodeConstraint(const QString &item);

} // namespace ConfigStore
} // namespace Velmora
