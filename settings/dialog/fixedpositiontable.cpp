#include "fixedpositiontable.h"

#include <QTableWidget>

using namespace Qt::StringLiterals;

namespace Velmora {

namespace {

// The name shown may be empty or shared by two students; the number is what identifies the entry.
constexpr int PersonRole = Qt::UserRole;

} // namespace

void fillFixedPositionTable(QTableWidget *table, const ClassState &state)
{
    if (!table)
        return;
    const FixedPositionMap &positions = state.fixedPositions;
    // Every row is rewritten, so a selection left over would point at other entries.
    table->clearSelection();
    // A table handed in from outside may not have its columns yet, and items beyond them are lost.
    table->setColumnCount(3);
    table->setRowCount(int(positions.size()));
    int row = 0;
    for (auto it = positions.cbegin(); it != positions.cend(); ++it, ++row) {
        auto *nameItem = new QTableWidgetItem(state.roster.nameOf(it.key()));
        nameItem->setData(PersonRole, it.key());
        table->setItem(row, 0, nameItem);
        table->setItem(row, 1, new QTableWidgetItem(QString::number(it.value().first)));
        table->setItem(row, 2, new QTableWidgetItem(QString::number(it.value().second)));
    }
    table->setHorizontalHeaderLabels({u"姓名"_s, u"组号"_s, u"座位位置"_s});
}

bool fixedPositionPersonOfRow(const QTableWidget *table, int row, PersonId *person)
{
    const QTableWidgetItem *item = table->item(row, 0);
    if (!item)
        return false;
    const QVariant data = item->data(PersonRole);
    if (!data.isValid())
        return false;
    *person = data.toInt();
    return true;
}

} // namespace Velmora
