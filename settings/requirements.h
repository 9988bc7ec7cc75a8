#pragma once

#include "model.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace Velmora {

// Turning the requirement panel's input into a Constraint, and taking rows of the requirement table
// back out of the two lists. Core only, so that every check runs without widgets.
namespace Requirements {

enum class Kind
{
    MustTogether,
    MustSeparate
};

struct ParsedInput
{
    Kind kind = Kind::MustTogether;
    Constraint entry; // the persons in input order; valid only when error is empty
    QString error;    // the text of the "输入错误" warning, empty when the input was accepted

    bool accepted() const { return error.isEmpty(); }
};

// Runs the checks in the order the user meets them: separators, empty input, unknown names (all of
// them, in input order), then fewer than two names.
ParsedInput parse(const QString &input, const QString &kindText, const QMap<QString, int> &nameToId);

// "必须同组" / "不能同组", the first column of a requirement row.
QString kindText(Kind kind);
// The three texts of a requirement row: kind, the names joined by ", ", and the status.
QStringList rowTexts(Kind kind, const Constraint &entry, const Roster &roster);

// Removes the entries behind the given table rows from the state's lists. rowKinds holds the first
// column of every row of the table, top to bottom. Returns the rows to delete from the table, bottom
// first, so that deleting one never shifts another still to be deleted.
QList<int> removeRows(ClassState &state, const QStringList &rowKinds, QList<int> selectedRows);

} // namespace Requirements
} // namespace Velmora
