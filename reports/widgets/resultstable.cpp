#include "resultstable.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QHeaderView>
#include <QTableWidget>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Velmora {

static QTableWidgetItem *memberItem(const Roster &roster, PersonId person)
{
    const QString name = roster.nameOf(person);
    auto *item = new QTableWidgetItem(name);
    item->setBackground(QBrush(roster.isBoy(person) ? QColor(200, 230, 255) : QColor(255, 230, 255)));
    if (roster.leaderNames.contains(name)) {
        QFont font = item->font();
        font.setBold(true);
        item->setFont(font);
    }
    if (roster.boarderNames.contains(name))
        item->setBackground(QBrush(Qt::yellow));
    return item;
}

void refreshResultsTable(QTableWidget *table, const ClassState &state)
{
    const QList<int> enabled = state.enabledGroups();
    if (enabled.isEmpty()) {
        table->setRowCount(0);
        return;
    }

    int columns = 11;
    for (int index : enabled)
        columns = std::max(columns, state.groupConfigs.at(index).total + 1);

    table->setRowCount(int(enabled.size()));
    table->setColumnCount(columns);
    QStringList labels{u"组号"_s};
    for (int j = 1; j < columns; ++j)
        labels.append(u"成员%1"_s.arg(j));
    table->setHorizontalHeaderLabels(labels);

    for (int row = 0; row < enabled.size(); ++row) {
        // The grouping and the enabled groups agree right after a generate; a shorter grouping
        // shows empty rows rather than reading past its end.
        const QList<int> group = state.currentGrouping.value(row);
        table->setItem(row, 0, new QTableWidgetItem(u"组 %1"_s.arg(enabled.at(row) + 1)));
        const int shown = std::min(int(group.size()), columns - 1);
        for (int k = 0; k < shown; ++k)
            table->setItem(row, k + 1, memberItem(state.roster, group.at(k)));
        for (int column = shown + 1; column < columns; ++column)
            table->setItem(row, column, new QTableWidgetItem(QString()));
    }

    table->resizeColumnsToContents();
    table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
}

void showBlankResultsTable(QTableWidget *table, int groups)
{
    table->setRowCount(0);
    table->setRowCount(groups);
    for (int row = 0; row < groups; ++row) {
        table->setItem(row, 0, new QTableWidgetItem(u"组 %1"_s.arg(row + 1)));
        for (int column = 1; column <= 6; ++column)
            table->setItem(row, column, new QTableWidgetItem(QString()));
    }
}

} // namespace Velmora
