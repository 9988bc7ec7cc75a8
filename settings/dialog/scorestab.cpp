#include "scorestab.h"

#include "dialogs.h"
#include "pupilscores.h"
#include "scorepaste.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace Velmora {

namespace {

constexpr int ScoreColumn = 2;

QTableWidgetItem *fixedItem(const QString &text)
{
    auto *item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

} // namespace

ScoresTab::ScoresTab(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    auto *hint =
        new QLabel(u"双击“成绩”一格可以修改，清空即没有成绩；成绩为 0 到 %1 分，最多两位小数。"
                   "也可以在表格软件中复制“姓名”和“成绩”两列，再点击“粘贴姓名和成绩”（或按 Ctrl+V），"
                   "按姓名填入。"_s.arg(PupilScores::MaxPoints),
                   this);
    hint->setWordWrap(true);
    layout->addWidget(hint);

    table = new QTableWidget(this);
    table->setObjectName(u"scoresTable"_s);
    table->setColumnCount(3);
    table->setHorizontalHeaderLabels({u"姓名"_s, u"性别"_s, u"成绩"_s});
    table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                           QAbstractItemView::AnyKeyPressed);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    layout->addWidget(table, 1);

    cutNote = new QLabel(this);
    cutNote->setObjectName(u"scoresCutNote"_s);
    cutNote->hide();
    layout->addWidget(cutNote);

    auto *buttonRow = new QHBoxLayout;
    pasteButton = new QPushButton(u"粘贴姓名和成绩"_s, this);
    pasteButton->setObjectName(u"pasteScoresButton"_s);
    buttonRow->addWidget(pasteButton);
    buttonRow->addStretch();
    layout->addLayout(buttonRow);

    // Only while the table itself has the focus: a cell being edited pastes into its own editor.
    auto *paste =
        new QShortcut(QKeySequence::Paste, table, this, &ScoresTab::pasteClipboard, Qt::WidgetShortcut);
    Q_UNUSED(paste);
    connect(pasteButton, &QPushButton::clicked, this, &ScoresTab::pasteClipboard);
    connect(table, &QTableWidget::itemChanged, this, &ScoresTab::takeEdit);
}

void ScoresTab::setRoster(const QStringList &boys, const QStringList &girls)
{
    names = boys + girls;
    const int shown = int(std::min<qsizetype>(names.size(), MaxShownRows));
    filling = true;
    table->clearContents();
    table->setRowCount(shown);
    for (int row = 0; row < shown; ++row) {
        table->setItem(row, 0, fixedItem(names.at(row)));
        table->setItem(row, 1, fixedItem(row < boys.size() ? u"男"_s : u"女"_s));
        auto *score = new QTableWidgetItem;
        score->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        table->setItem(row, ScoreColumn, score);
    }
    filling = false;
    cutNote->setVisible(names.size() > shown);
    cutNote->setText(u"名单共 %1 人，这里只列出前 %2 人。"_s.arg(names.size()).arg(shown));
    showScores();
}

void ScoresTab::setScores(const QMap<QString, int> &scores)
{
    values = scores;
    showScores();
}

QMap<QString, int> ScoresTab::scores() const
{
    QMap<QString, int> kept;
    for (const QString &name : names) {
        if (const auto it = values.constFind(name); it != values.cend())
            kept.insert(name, it.value());
    }
    return kept;
}

void ScoresTab::showScores()
{
    filling = true;
    for (int row = 0; row < table->rowCount(); ++row) {
        const auto it = values.constFind(names.at(row));
        table->item(row, ScoreColumn)
            ->setText(it == values.cend() ? QString() : PupilScores::format(it.value()));
    }
    filling = false;
}

void ScoresTab::takeEdit(QTableWidgetItem *item)
{
    if (filling || item->column() != ScoreColumn)
        return;
    const QString name = names.at(item->row());
    const PupilScores::Parsed parsed = PupilScores::parse(item->text());
    if (parsed.status == PupilScores::Status::Valid) {
        values.insert(name, parsed.hundredths);
    } else if (parsed.status == PupilScores::Status::Empty) {
        values.remove(name);
    } else {
        Dialogs::instance().warning(
            this, u"错误"_s,
            u"“%1”的成绩“%2”无法使用：成绩应为 0 到 %3 分的数字，最多两位小数"_s.arg(
                name, item->text().left(20), QString::number(PupilScores::MaxPoints)));
    }
    // Every row of the name shows the value kept, the refused text included back to the old one.
    showScores();
}

void ScoresTab::pasteClipboard()
{
    pasteText(QGuiApplication::clipboard()->text());
}

void ScoresTab::pasteText(const QString &text)
{
    const ScorePaste::Result result = ScorePaste::read(text, names);
    if (!result.refused.isEmpty()) {
        Dialogs::instance().warning(this, u"错误"_s, result.refused);
        return;
    }
    for (const auto &[name, hundredths] : result.filled) {
        if (hundredths < 0)
            values.remove(name);
        else
            values.insert(name, hundredths);
    }
    showScores();
    if (const QString message = ScorePaste::message(result); !message.isEmpty())
        Dialogs::instance().information(this, u"提示"_s, message);
    if (!result.filled.isEmpty())
        Q_EMIT logMessage(u"成绩已填入，按“保存”后生效"_s);
}

} // namespace Velmora
