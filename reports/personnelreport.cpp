#include "personnelreport.h"

using namespace Qt::StringLiterals;

namespace Velmora {

PersonnelCounts &PersonnelCounts::operator+=(const PersonnelCounts &other)
{
    persons += other.persons;
    boys += other.boys;
    girls += other.girls;
    leaders += other.leaders;
    boarders += other.boarders;
    return *this;
}

PersonnelReport::PersonnelReport(const Grouping &grouping, const Roster &roster)
{
    perGroup.reserve(grouping.size());
    for (const QList<int> &group : grouping) {
        PersonnelCounts counts;
        for (int person : group) {
            ++counts.persons;
            if (roster.isBoy(person))
                ++counts.boys;
            else
                ++counts.girls;
            if (roster.isLeader(person))
                ++counts.leaders;
            if (roster.isBoarder(person))
                ++counts.boarders;
        }
        perGroup.append(counts);
        sum += counts;
    }
}

QString PersonnelReport::html() const
{
    QString text =
        u"<h2>人员检查报告</h2>"_s + u"<table border='1' cellpadding='4'>"_s +
        u"<tr><th>组号</th><th>人数</th><th>男生</th><th>女生</th><th>组长</th><th>外宿生</th></tr>"_s;
    for (int r = 0; r < perGroup.size(); ++r) {
        const PersonnelCounts &c = perGroup.at(r);
        text += u"<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td><td>%5</td><td>%6</td></tr>"_s.arg(
            QString::number(r + 1), QString::number(c.persons), QString::number(c.boys),
            QString::number(c.girls), QString::number(c.leaders), QString::number(c.boarders));
    }
    const QString totalsRow =
        u"<tr style='background-color:#E6E6E6; font-weight:bold;'><td>总计</td><td>%1</td><td>%2</td><td>%3</td><td>%4</td><td>%5</td></tr>"_s;
    text += totalsRow.arg(QString::number(sum.persons), QString::number(sum.boys), QString::number(sum.girls),
                          QString::number(sum.leaders), QString::number(sum.boarders));
    text += u"</table>"_s;
    text += u"<p>总人数: %1 (男生: %2, 女生: %3)</p>"_s.arg(
        QString::number(sum.persons), QString::number(sum.boys), QString::number(sum.girls));
    text += u"<p>组长: %1, 外宿生: %2</p>"_s.arg(QString::number(sum.leaders), QString::number(sum.boarders));
    return text;
}

} // namespace Velmora
