#include "rosterimportdialog.h"

#include "dialogs.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace Velmora {

using namespace RosterImport;

namespace {

constexpr int PreviewRows = 10;

} // namespace

RosterImportDialog::RosterImportDialog(const SheetTable &table, const QString &fileName,
                                       const QStringList &keptNames, QWidget *parent)
    : QDialog(parent), table(table), guessed(guessMapping(table)), keptNames(keptNames)
{
    setObjectName(u"rosterImportDialog"_s);
    setWindowTitle(u"从表格导入"_s);
    resize(640, 480);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(u"文件：%1"_s.arg(fileName), this));
    if (!table.sheetName.isEmpty()) {
        sheetLabel = new QLabel(u"工作表：%1"_s.arg(table.sheetName), this);
        sheetLabel->setObjectName(u"importSheet"_s);
        layout->addWidget(sheetLabel);
    }
    if (guessed.headerRow < 0)
        layout->addWidget(new QLabel(u"前 10 行中没有找到“姓名”列，请在下面选择各列。"_s, this));

    preview = new QTableWidget(this);
    preview->setObjectName(u"importPreview"_s);
    preview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    layout->addWidget(preview, 1);
    fillPreview();

    const int columns = table.columnCount();
    auto *roles = new QGroupBox(u"各列的用途"_s, this);
    auto *form = new QFormLayout(roles);
    const QStringList roleTitles = {u"姓名："_s, u"性别："_s, u"组长："_s, u"外宿生："_s, u"成绩："_s};
    const QStringList roleNames = {u"nameColumn"_s, u"genderColumn"_s, u"leaderColumn"_s, u"boarderColumn"_s,
                                   u"scoreColumn"_s};
    for (int role = 0; role < RoleCount; ++role) {
        auto *box = new QComboBox(roles);
        box->setObjectName(roleNames.at(role));
        box->addItem(u"（不导入）"_s, -1);
        for (int column = 0; column < columns; ++column)
            box->addItem(columnLabel(table, guessed, column), column);
        box->setCurrentIndex(box->findData(guessed.column(Role(role))));
        connect(box, &QComboBox::currentIndexChanged, this, &RosterImportDialog::updateSummary);
        form->addRow(roleTitles.at(role), box);
        roleBoxes[role] = box;
    }
    layout->addWidget(roles);

    summary = new QLabel(this);
    summary->setObjectName(u"importSummary"_s);
    summary->setWordWrap(true);
    layout->addWidget(summary);

    auto *buttons = new QHBoxLayout;
    replaceButton = new QPushButton(u"替换名单"_s, this);
    replaceButton->setObjectName(u"replaceButton"_s);
    addButton = new QPushButton(u"添加到名单"_s, this);
    addButton->setObjectName(u"addButton"_s);
    cancelButton = new QPushButton(u"取消"_s, this);
    cancelButton->setObjectName(u"cancelImportButton"_s);
    buttons->addWidget(replaceButton);
    buttons->addWidget(addButton);
    buttons->addStretch();
    buttons->addWidget(cancelButton);
    layout->addLayout(buttons);

    connect(replaceButton, &QPushButton::clicked, this, [this] { finish(Mode::Replace); });
    connect(addButton, &QPushButton::clicked, this, [this] { finish(Mode::Add); });
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    updateSummary();
}

Mapping RosterImportDialog::mapping() const
{
    Mapping chosen = guessed;
    for (int role = 0; role < RoleCount; ++role)
        chosen.columns[role] = roleBoxes.at(role)->currentData().toInt();
    findBlocks(table, chosen);
    return chosen;
}

void RosterImportDialog::fillPreview()
{
    const int first = guessed.headerRow + 1;
    const int rows = std::min(PreviewRows, int(table.rows.size()) - first);
    const int columns = table.columnCount();
    preview->setColumnCount(columns);
    preview->setRowCount(std::max(rows, 0));
    QStringList headers;
    for (int column = 0; column < columns; ++column)
        headers.append(columnLabel(table, guessed, column));
    preview->setHorizontalHeaderLabels(headers);
    QStringList numbers;
    for (int row = 0; row < rows; ++row) {
        numbers.append(QString::number(table.rowNumbers.at(first + row)));
        for (int column = 0; column < columns; ++column) {
            // A hidden column's cells are not even put in: hidden is what the teacher asked for.
            if (!table.isColumnHidden(column))
                preview->setItem(row, column, new QTableWidgetItem(table.cell(first + row, column)));
        }
    }
    preview->setVerticalHeaderLabels(numbers);
    for (int column = 0; column < columns; ++column)
        preview->setColumnHidden(column, table.isColumnHidden(column));
    preview->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
}

void RosterImportDialog::updateSummary()
{
    const Mapping chosen = mapping();
    if (!chosen.isMapped(NameRole) || !chosen.isMapped(GenderRole)) {
        summary->setText(u"请选择姓名和性别所在的列。"_s);
        return;
    }
    const Reading reading = readPupils(table, chosen);
    int boys = 0, leaders = 0, boarders = 0, scored = 0;
    for (const Pupil &pupil : reading.pupils) {
        boys += pupil.male;
        leaders += pupil.leader;
        boarders += pupil.boarder;
        scored += pupil.score >= 0;
    }
    QString text =
        u"将导入 %1 人：男生 %2 人，女生 %3 人，组长 %4 人，外宿生 %5 人。"_s.arg(reading.pupils.size())
            .arg(boys)
            .arg(reading.pupils.size() - boys)
            .arg(leaders)
            .arg(boarders);
    if (chosen.isMapped(ScoreRole))
        text += u"其中 %1 人有成绩。"_s.arg(scored);
    if (!reading.problems.isEmpty())
        text += u"另有 %1 行无法导入。"_s.arg(reading.problems.size());
    summary->setText(text);
}

void RosterImportDialog::finish(Mode mode)
{
    const Mapping chosen = mapping();
    if (!chosen.isMapped(NameRole)) {
        Dialogs::instance().warning(this, u"错误"_s, u"请选择姓名所在的列"_s);
        return;
    }
    if (!chosen.isMapped(GenderRole)) {
        Dialogs::instance().warning(this, u"错误"_s, u"请选择性别所在的列"_s);
        return;
    }
    const Reading reading = readPupils(table, chosen, mode == Mode::Add ? keptNames : QStringList());
    if (reading.pupils.isEmpty() && mode == Mode::Add && !readPupils(table, chosen).pupils.isEmpty()) {
        // Adding a list that is already there is most likely a corrected copy of it.
        const int choice = Dialogs::instance().choose(
            this, u"确认"_s, u"表格中的人员都已在名单中，无法再添加。是否改为用表格替换名单？"_s,
            {u"替换名单"_s, u"取消"_s});
        if (choice == 0)
            finish(Mode::Replace);
        return;
    }
    if (reading.pupils.isEmpty()) {
        const QString text = reading.problems.isEmpty()
                                 ? u"表格中没有可以导入的人员"_s
                                 : problemsText(reading.problems) + u"\n\n请修改表格后重新导入。"_s;
        Dialogs::instance().warning(this, u"错误"_s, text);
        return;
    }
    if (!reading.problems.isEmpty()) {
        const QString text =
            problemsText(reading.problems) +
            u"\n\n是否跳过这些行，只导入其余 %1 人？选择“否”可以先修改表格。"_s.arg(reading.pupils.size());
        if (!Dialogs::instance().question(this, u"确认"_s, text))
            return;
    }
    // Only the score is left out of these rows, so telling is enough.
    if (!reading.notes.isEmpty())
        Dialogs::instance().information(this, u"提示"_s, notesText(reading.notes));
    chosenMode = mode;
    accepted = reading.pupils;
    accept();
}

} // namespace Velmora
