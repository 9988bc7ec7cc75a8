#include "fixedpositiontab.h"

#include "dialogs.h"
#include "fixedpositions.h"
#include "fixedpositiontable.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace Velmora {

FixedPositionTab::FixedPositionTab(ClassState &state, QWidget *parent) : QWidget(parent), state(state)
{
    auto *layout = new QVBoxLayout(this);

    auto *nameRow = new QHBoxLayout;
    nameEdit = new QLineEdit(this);
    nameEdit->setObjectName(u"fixedNameEdit"_s);
    nameRow->addWidget(new QLabel(u"姓名:"_s, this));
    nameRow->addWidget(nameEdit);
    layout->addLayout(nameRow);

    auto *seatRow = new QHBoxLayout;
    groupBox = new QSpinBox(this);
    groupBox->setObjectName(u"fixedGroupBox"_s);
    groupBox->setRange(1, GroupCount);
    seatBox = new QSpinBox(this);
    seatBox->setObjectName(u"fixedSeatBox"_s);
    seatBox->setRange(1, 6);
    seatRow->addWidget(new QLabel(u"组号:"_s, this));
    seatRow->addWidget(groupBox);
    seatRow->addWidget(new QLabel(u"座位位置:"_s, this));
    seatRow->addWidget(seatBox);
    layout->addLayout(seatRow);

    auto *buttonRow = new QHBoxLayout;
    addButton = new QPushButton(u"添加"_s, this);
    addButton->setObjectName(u"fixedAddButton"_s);
    removeButton = new QPushButton(u"删除选中"_s, this);
    removeButton->setObjectName(u"fixedRemoveButton"_s);
    clearButton = new QPushButton(u"清空所有"_s, this);
    clearButton->setObjectName(u"fixedClearButton"_s);
    buttonRow->addWidget(addButton);
    buttonRow->addWidget(removeButton);
    buttonRow->addWidget(clearButton);
    layout->addLayout(buttonRow);

    table = new QTableWidget(this);
    table->setObjectName(u"fixedPositionTable"_s);
    table->setColumnCount(3);
    table->setHorizontalHeaderLabels({u"姓名"_s, u"组号"_s, u"座位位置"_s});
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::MultiSelection);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    layout->addWidget(table);

    connect(addButton, &QPushButton::clicked, this, &FixedPositionTab::addPosition);
    connect(removeButton, &QPushButton::clicked, this, &FixedPositionTab::removeSelected);
    connect(clearButton, &QPushButton::clicked, this, &FixedPositionTab::clearAll);

    load();
}

void FixedPositionTab::load()
{
    fillFixedPositionTable(table, state);
}

void FixedPositionTab::addPosition()
{
    Dialogs &dialogs = Dialogs::instance();
    QWidget *owner = window();
    const QString name = nameEdit->text().trimmed();
    const int group = groupBox->value();
    const int seat = seatBox->value();

    if (name.isEmpty()) {
        dialogs.warning(owner, u"错误"_s, u"请输入姓名"_s);
        return;
    }
    const auto found = state.roster.nameToId.constFind(name);
    if (found == state.roster.nameToId.cend()) {
        dialogs.warning(owner, u"错误"_s, u"姓名 '%1' 不在名单中"_s.arg(name));
        return;
    }
    const PersonId person = found.value();
    if (seat < 1 || seat > 6) {
        dialogs.warning(owner, u"错误"_s, u"座位位置必须在1-6之间"_s);
        return;
    }
    const auto existing = state.fixedPositions.constFind(person);
    if (existing != state.fixedPositions.cend()) {
        // One arg() for all: a chained one would fill a "%2" inside the name too.
        const QString question = u"%1 已被固定到组%2座位%3，是否替换为组%4座位%5?"_s.arg(
            name, QString::number(existing.value().first), QString::number(existing.value().second),
            QString::number(group), QString::number(seat));
        if (!dialogs.question(owner, u"确认"_s, question))
            return;
    }
    const PersonId occupant = FixedPositions::occupantOf(state.fixedPositions, group, seat, person);
    if (occupant != 0) {
        dialogs.warning(owner, u"错误"_s,
                        u"组%1座位%2已被 %3 占用"_s.arg(QString::number(group), QString::number(seat),
                                                        state.roster.nameOf(occupant)));
        return;
    }

    state.fixedPositions.insert(person, qMakePair(group, seat));
    load();
    nameEdit->clear();
    groupBox->setValue(1);
    seatBox->setValue(1);
}

void FixedPositionTab::removeSelected()
{
    const QModelIndexList rows = table->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        Dialogs::instance().information(window(), u"提示"_s, u"请先选择要删除的固定位置"_s);
        return;
    }
    for (const QModelIndex &index : rows) {
        PersonId person = 0;
        if (fixedPositionPersonOfRow(table, index.row(), &person))
            state.fixedPositions.remove(person);
    }
    load();
}

void FixedPositionTab::clearAll()
{
    if (!Dialogs::instance().question(window(), u"确认"_s, u"确定要清空所有固定位置吗?"_s))
        return;
    state.fixedPositions.clear();
    load();
}

} // namespace Velmora
