#include "requirementtable.h"

#include <QTableWidget>

namespace Velmora::RequirementTable {

void fill(QTableWidget *table, const ClassState &state)
{
    table->setRowCount(0);
    for (const Constraint &entry : state.mustTogether)
        appendRow(table, Requirements::Kind::MustTogether, entry, state.roster);
    for (const Constraint &entry : state.mustSeparate)
        appendRow(table, Requirements::Kind::MustSeparate, entry, state.roster);
}

void appendRow(QTableWidget *table, Requirements::Kind kind, const Constraint &entry, const Roster &roster)
{
    const QStringList texts = Requirements::rowTexts(kind, entry, roster);
    const int row = table->rowCount();
    table->insertRow(row);
    for (int column = 0; column < texts.size(); ++column)
        table->setItem(row, column, new QTableWidgetItem(texts.at(column)));
}

bool removeSelected(QTableWidget *table, ClassState &state)
{
    const QModelIndexList selected = table->selectionModel()->selectedRows();
    if (selected.isEmpty())
        return false;
    QList<int> rows;
    for (const QModelIndex &index : selected)
        rows.append(index.row());
    QStringList kinds;
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem *item = table->item(row, 0);
        kinds.append(item ? item->text() : QString());
    }
    for (int row : Requirements::removeRows(state, kinds, rows))
        table->removeRow(row);
    return true;
}

} // namespace Velmora::RequirementTable
