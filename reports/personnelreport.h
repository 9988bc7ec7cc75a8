#pragma once

#include "model.h"

#include <QList>
#include <QString>

namespace Velmora {

struct PersonnelCounts
{
    int persons = 0;
    int boys = 0;
    int girls = 0;
    int leaders = 0;
    int boarders = 0;

    PersonnelCounts &operator+=(const PersonnelCounts &other);
    friend bool operator==(const PersonnelCounts &a, const PersonnelCounts &b)
    {
        return a.persons == b.persons && a.boys == b.boys && a.girls == b.girls && a.leaders == b.leaders &&
               a.boarders == b.boarders;
    }
};

// Per-group and total head counts of a grouping, judged by the current roster, and the HTML
// report that shows them. Rows are numbered by position, not by group number.
class PersonnelReport
{
public:
    PersonnelReport(const Grouping &grouping, const Roster &roster);

    const QList<PersonnelCounts> &groups() const { return perGroup; }
    const PersonnelCounts &totals() const { return sum; }

    // The table with its totals row, followed by the two summary paragraphs.
    QString html() const;

private:
    QList<PersonnelCounts> perGroup;
    PersonnelCounts sum;
};

} // namespace Velmora
