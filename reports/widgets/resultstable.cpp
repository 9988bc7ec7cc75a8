#include "resultstable.h"

#include "classscores.h"
#include "scoretexts.h"

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

    const SeatingPlan &plan = state.currentGrouping;
    int columns = 11;
    int seats = 0; // the most seats any row shows
    for (int row = 0; row < enabled.size(); ++row) {
        columns = std::max(columns, state.groupConfigs.at(enabled.at(row)).total + 1);
        seats = std::max(seats, row < plan.groupCount() ? plan.seatCount(row) : 0);
    }

    table->setRowCount(int(enabled.size()));
    // The mean comes after every member column, so that column s still shows seat s.
    const bool means = state.balanceByScores;
    table->setColumnCount(columns + (means ? 1 : 0));
    QStringList labels{u"组号"_s};
    for (int j = 1; j < columns; ++j)
        labels.append(u"成员%1"_s.arg(j));
    if (means)
        labels.append(u"平均分"_s);
    table->setHorizontalHeaderLabels(labels);
    const QList<GroupScores> scores = means ? groupScores(ClassScores(state), plan) : QList<GroupScores>();

    for (int row = 0; row < enabled.size(); ++row) {
        // Column s shows seat s, so an empty seat stays an empty cell where it is. The plan and the
        // enabled groups agree right after a generate; a shorter plan shows empty rows rather than
        // reading past its end.
        const QList<PersonId> group = row < plan.groupCount() ? plan.seatsAt(row) : QList<PersonId>();
        table->setItem(row, 0, new QTableWidgetItem(u"组 %1"_s.arg(enabled.at(row) + 1)));
        for (int column = 1; column < columns; ++column) {
            const PersonId person = group.value(column - 1);
            table->setItem(row, column,
                           person != 0 ? memberItem(state.roster, person) : new QTableWidgetItem(QString()));
        }
        if (means) {
            auto *item = new QTableWidgetItem(row < scores.size() ? meanText(scores.at(row)) : QString());
            // Nobody sits here: it is neither dragged nor dropped on.
            item->setFlags(item->flags() & ~(Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled));
            item->setTextAlignment(Qt::AlignCenter);
            table->setItem(row, columns, item);
        }
    }
    // A column past every group's seats is empty in every row and only takes width; an empty seat
    // that some group has stays visible, since dropping a name on it moves the person there.
    for (int column = 1; column < columns; ++column)
        table->setColumnHidden(column, column > seats);
    if (means)
        table->setColumnHidden(columns, false);

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
    for (int column = 1; column < table->columnCount(); ++column)
        table->setColumnHidden(column, column > 6);
}

} // namespace Velmora
