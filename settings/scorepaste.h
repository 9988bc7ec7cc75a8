#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace Velmora {

// Scores pasted from a spreadsheet: rows of a name and a score, separated by tabs as Excel and WPS
// copy them, with or without their header row. Core only, so that the rules run without widgets.
namespace ScorePaste {

// A class list is a thousand rows at most; a clipboard far beyond that is something else.
constexpr int MaxRows = 10000;
constexpr int MaxChars = 1'000'000;

struct Result
{
    QList<QPair<QString, int>> filled; // name and hundredths, -1 for an empty cell; in pasted order
    QStringList unknownNames;          // names not on the roster, once each, in pasted order
    QStringList problems;              // one line per score that could not be read
    QString refused;                   // set when nothing of the paste is taken
};

// `rosterNames` are the names the scores may be given to. The name column is the one headed 姓名
// and the score column the one headed like a score; without a header the first two columns are
// taken, and a row without a tab is split at its last space.
Result read(const QString &text, const QStringList &rosterNames);

// The one message about names not on the roster and unreadable scores; empty when there are none.
QString message(const Result &result);

} // namespace ScorePaste
} // namespace Velmora
