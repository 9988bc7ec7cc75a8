#include "historytab.h"

#include "dialogs.h"
#include "historystore.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace Velmora {

HistoryTab::HistoryTab(HistoryStore &store, const Roster &roster, LogSink log, QWidget *parent)
    : QWidget(parent), store(store), roster(roster), log(std::move(log))
{
    auto *layout = new QVBoxLayout(this);
    avoidRepeatsBox = new QCheckBox(u"生成分组时避免与以前同组"_s, this);
    avoidRepeatsBox->setObjectName(u"avoidRepeatsBox"_s);
    layout->addWidget(avoidRepeatsBox);

    auto *recentRow = new QHBoxLayout;
    recentRoundsBox = new QSpinBox(this);
    recentRoundsBox->setObjectName(u"recentRoundsBox"_s);
    recentRoundsBox->setRange(HistorySettings::MinRecentRounds, HistorySettings::MaxRecentRounds);
    recentRow->addWidget(new QLabel(u"参考最近的分组次数:"_s, this));
    recentRow->addWidget(recentRoundsBox);
    recentRow->addStretch();
    layout->addLayout(recentRow);

    roundsTable = new QTableWidget(0, 5, this);
    roundsTable->setObjectName(u"roundsTable"_s);
    roundsTable->setHorizontalHeaderLabels({u"日期"_s, u"时间"_s, u"组数"_s, u"人数"_s, u"提示"_s});
    roundsTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    roundsTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    roundsTable->setSelectionMode(QAbstractItemView::SingleSelection);
    roundsTable->verticalHeader()->setVisible(false);
    roundsTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    roundsTable->horizontalHeader()->setStretchLastSection(true);
    roundsTable->setToolTip(u"双击一行可查看这次的分组"_s);
    layout->addWidget(roundsTable);

    missingNamesLabel = new QLabel(this);
    missingNamesLabel->setObjectName(u"missingNamesLabel"_s);
    layout->addWidget(missingNamesLabel);

    auto *buttonRow = new QHBoxLayout;
    removeButton = new QPushButton(u"删除"_s, this);
    removeButton->setObjectName(u"removeRoundButton"_s);
    clearButton = new QPushButton(u"清空"_s, this);
    clearButton->setObjectName(u"clearRoundsButton"_s);
    buttonRow->addWidget(removeButton);
    buttonRow->addWidget(clearButton);
    buttonRow->addStretch();
    layout->addLayout(buttonRow);

    // Unlike the rest of the dialog: its "保存" also resets the grouping, which this page spares.
    actsAtOnceLabel = new QLabel(u"此页的改动立即生效，不需要按“保存”。"_s, this);
    actsAtOnceLabel->setObjectName(u"actsAtOnceLabel"_s);
    layout->addWidget(actsAtOnceLabel);

    avoidRepeatsBox->setChecked(store.history().settings.avoidRepeats);
    recentRoundsBox->setValue(store.history().settings.recentRounds);
    refresh();

    connect(avoidRepeatsBox, &QCheckBox::toggled, this, &HistoryTab::saveSettings);
    connect(recentRoundsBox, &QSpinBox::valueChanged, this, &HistoryTab::saveSettings);
    connect(removeButton, &QPushButton::clicked, this, &HistoryTab::removeSelectedRound);
    connect(clearButton, &QPushButton::clicked, this, &HistoryTab::clearRounds);
    connect(roundsTable, &QTableWidget::cellDoubleClicked, this, &HistoryTab::showRound);
}

QString HistoryTab::hint(const HistoryRound &round)
{
    // Enough names to recognise the round, few enough to fit the column.
    constexpr int shownNames = 3;
    for (const HistoryGroup &group : round.groups) {
        if (group.names.isEmpty())
            continue;
        QString names = group.names.mid(0, shownNames).join(u'、');
        if (group.names.size() > shownNames)
            names += u'…';
        return u"第%1组：%2"_s.arg(group.number).arg(names);
    }
    return {};
}

QString HistoryTab::groupsText(const HistoryRound &round)
{
    QStringList lines{u"%1 保存的分组："_s.arg(round.savedAt.toString(u"yyyy-MM-dd HH:mm:ss"_s))};
    for (const HistoryGroup &group : round.groups)
        lines.append(u"第%1组：%2"_s.arg(group.number).arg(group.names.join(u'、')));
    return lines.join(u'\n');
}

const HistoryRound *HistoryTab::roundAt(int row)
{
    const QTableWidgetItem *item = roundsTable->item(row, 0);
    if (!item)
        return nullptr;
    const int id = item->data(Qt::UserRole).toInt();
    for (const HistoryRound &round : store.history().rounds) {
        if (round.id == id)
            return &round;
    }
    return nullptr;
}

void HistoryTab::showRound(int row)
{
    if (const HistoryRound *round = roundAt(row))
        Dialogs::instance().information(window(), u"提示"_s, groupsText(*round));
}

void HistoryTab::refresh()
{
    const QList<HistoryRound> &rounds = store.history().rounds;
    roundsTable->setRowCount(int(rounds.size()));
    for (int row = 0; row < rounds.size(); ++row) {
        const HistoryRound &round = rounds.at(rounds.size() - 1 - row);
        // To the second: five rounds saved in one lesson are five different rows.
        const QStringList cells = {
            round.savedAt.toString(u"yyyy-MM-dd"_s), round.savedAt.toString(u"HH:mm:ss"_s),
            QString::number(round.groups.size()), QString::number(round.pupilCount()), hint(round)};
        for (int column = 0; column < cells.size(); ++column) {
            auto *item = new QTableWidgetItem(cells.at(column));
            item->setData(Qt::UserRole, round.id);
            roundsTable->setItem(row, column, item);
        }
    }
    const qsizetype missing = store.history().namesNotOnRoster(roster).size();
    missingNamesLabel->setText(u"历史记录中有 %1 个名字已不在名单中，生成分组时不予考虑"_s.arg(missing));
    missingNamesLabel->setVisible(missing > 0);
    removeButton->setEnabled(!rounds.isEmpty());
    clearButton->setEnabled(!rounds.isEmpty());
}

void HistoryTab::report(const QString &line)
{
    if (!line.isEmpty() && log)
        log(line);
}

void HistoryTab::removeSelectedRound()
{
    const QList<QTableWidgetItem *> selected = roundsTable->selectedItems();
    if (selected.isEmpty()) {
        Dialogs::instance().information(window(), u"提示"_s, u"请先选择要删除的历史记录"_s);
        return;
    }
    const HistoryRound *round = roundAt(selected.first()->row());
    if (!round || !Dialogs::instance().question(window(), u"确认"_s,
                                                u"确定要删除 %1 保存的这次分组吗?"_s.arg(
                                                    round->savedAt.toString(u"yyyy-MM-dd HH:mm:ss"_s))))
        return;
    report(store.removeRound(round->id));
    refresh();
}

void HistoryTab::clearRounds()
{
    if (!Dialogs::instance().question(window(), u"确认"_s, u"确定要清空所有历史记录吗?"_s))
        return;
    report(store.clear());
    refresh();
}

void HistoryTab::saveSettings()
{
    report(store.setSettings({avoidRepeatsBox->isChecked(), recentRoundsBox->value()}));
}

} // namespace Velmora
