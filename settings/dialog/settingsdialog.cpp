#include "settingsdialog.h"

#include "appdirectory.h"
#include "configstore.h"
#include "dialogs.h"
#include "fixedpositiontab.h"
#include "groupfit.h"
#include "importfolder.h"
#include "namelistedit.h"
#include "rosterimportdialog.h"
#include "scorestab.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace Velmora {

namespace {

const QString CustomStyle = u"自定义"_s;

QGroupBox *nameListBox(const QString &title, NameListEdit *edit, QWidget *parent, const QString &label = {})
{
    auto *box = new QGroupBox(title, parent);
    auto *layout = new QVBoxLayout(box);
    if (!label.isEmpty())
        layout->addWidget(new QLabel(label, box));
    edit->setParent(box);
    layout->addWidget(edit);
    return box;
}

QSpinBox *countBox(QWidget *parent, const QString &name)
{
    auto *box = new QSpinBox(parent);
    box->setObjectName(name);
    box->setRange(0, 10);
    return box;
}

} // namespace

SettingsDialog::SettingsDialog(ClassState &state, QWidget *parent) : QDialog(parent), state(state)
{
    setObjectName(u"settingsDialog"_s);
    setWindowTitle(u"设置"_s);
    resize(600, 500);

    auto *layout = new QVBoxLayout(this);
    tabs = new QTabWidget(this);
    tabs->setObjectName(u"settingsTabs"_s);
    tabs->addTab(buildNamesTab(), u"人员名单"_s);
    tabs->addTab(buildPeopleTab(), u"人员设置"_s);
    tabs->addTab(buildGroupsTab(), u"分组设置"_s);
    tabs->addTab(buildStyleTab(), u"样式设置"_s);
    fixedPositionTab = new FixedPositionTab(state, tabs);
    fixedPositionTab->setObjectName(u"fixedPositionTab"_s);
    tabs->addTab(fixedPositionTab, u"固定位置"_s);
    scoresTab = new ScoresTab(tabs);
    scoresTab->setObjectName(u"scoresTab"_s);
    tabs->addTab(scoresTab, u"成绩"_s);
    layout->addWidget(tabs);

    auto *buttonRow = new QHBoxLayout;
    saveButton = new QPushButton(u"保存"_s, this);
    saveButton->setObjectName(u"saveButton"_s);
    cancelButton = new QPushButton(u"取消"_s, this);
    cancelButton->setObjectName(u"cancelButton"_s);
    buttonRow->addWidget(saveButton);
    buttonRow->addWidget(cancelButton);
    layout->addLayout(buttonRow);

    loadNamesTab();
    loadPeopleTab();
    loadGroupsTab();
    loadStyleTab();
    // Its rows are filled when it is shown, from the name boxes as they are then.
    scoresTab->setScores(state.roster.scores);

    // Wired only after loading, so that the stored girls' counts show as stored and the boys'
    // maximum stays 10 until the seats are changed.
    for (const GroupRow &row : std::as_const(groupRows))
        connectGroupRow(row);
    connect(styleBox, &QComboBox::currentIndexChanged, this, &SettingsDialog::updateCustomPathRow);
    connect(browseButton, &QPushButton::clicked, this, &SettingsDialog::browseCustomStyle);
    connect(importButton, &QPushButton::clicked, this, &SettingsDialog::importRoster);
    // The scores follow the name boxes as they are now, unsaved edits included.
    connect(tabs, &QTabWidget::currentChanged, this, [this] {
        if (tabs->currentWidget() == scoresTab)
            showRosterInScores();
    });
    connect(scoresTab, &ScoresTab::logMessage, this, &SettingsDialog::logMessage);
    connect(spreadButton, &QPushButton::clicked, this, &SettingsDialog::spreadGroupsOverRoster);
    connect(saveButton, &QPushButton::clicked, this, &SettingsDialog::saveRequested);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

QWidget *SettingsDialog::buildNamesTab()
{
    auto *tab = new QWidget(this);
    auto *layout = new QVBoxLayout(tab);
    boysEdit = new NameListEdit;
    boysEdit->setObjectName(u"boysEdit"_s);
    girlsEdit = new NameListEdit;
    girlsEdit->setObjectName(u"girlsEdit"_s);
    layout->addWidget(nameListBox(u"男生名单 (每行一个名字)"_s, boysEdit, tab));
    layout->addWidget(nameListBox(u"女生名单 (每行一个名字)"_s, girlsEdit, tab));
    importButton = new QPushButton(u"从表格导入…"_s, tab);
    importButton->setObjectName(u"importButton"_s);
    auto *importRow = new QHBoxLayout;
    importRow->addWidget(importButton);
    importRow->addStretch();
    layout->addLayout(importRow);
    layout->addStretch();
    return tab;
}

QWidget *SettingsDialog::buildPeopleTab()
{
    auto *tab = new QWidget(this);
    auto *layout = new QVBoxLayout(tab);
    leadersEdit = new NameListEdit;
    leadersEdit->setObjectName(u"leadersEdit"_s);
    boardersEdit = new NameListEdit;
    boardersEdit->setObjectName(u"boardersEdit"_s);
    layout->addWidget(nameListBox(u"组长设置"_s, leadersEdit, tab, u"选择组长(每行一个名字):"_s));
    layout->addWidget(nameListBox(u"外宿生设置"_s, boardersEdit, tab, u"选择外宿生(每行一个名字):"_s));
    layout->addStretch();
    return tab;
}

QWidget *SettingsDialog::buildGroupsTab()
{
    auto *tab = new QWidget(this);
    auto *grid = new QGridLayout(tab);
    const QStringList headers = {u"组号"_s, u"启用"_s, u"总人数"_s, u"男生"_s, u"女生"_s};
    for (int column = 0; column < headers.size(); ++column)
        grid->addWidget(new QLabel(headers.at(column), tab), 0, column);

    for (int n = 1; n <= GroupCount; ++n) {
        GroupRow row;
        row.enabledBox = new QComboBox(tab);
        row.enabledBox->setObjectName(u"groupEnabled%1"_s.arg(n));
        row.enabledBox->addItem(u"启用"_s, true);
        row.enabledBox->addItem(u"禁用"_s, false);
        row.seatsBox = countBox(tab, u"groupSeats%1"_s.arg(n));
        row.boysBox = countBox(tab, u"groupBoys%1"_s.arg(n));
        row.girlsBox = countBox(tab, u"groupGirls%1"_s.arg(n));
        grid->addWidget(new QLabel(u"组 %1"_s.arg(n), tab), n, 0);
        grid->addWidget(row.enabledBox, n, 1);
        grid->addWidget(row.seatsBox, n, 2);
        grid->addWidget(row.boysBox, n, 3);
        grid->addWidget(row.girlsBox, n, 4);
        groupRows.append(row);
    }
    spreadButton = new QPushButton(u"按名单自动设置"_s, tab);
    spreadButton->setObjectName(u"spreadButton"_s);
    grid->addWidget(spreadButton, GroupCount + 1, 0, 1, 2);
    balanceBox = new QCheckBox(u"按成绩均衡分组"_s, tab);
    balanceBox->setObjectName(u"balanceByScoresBox"_s);
    grid->addWidget(balanceBox, GroupCount + 2, 0, 1, headers.size());
    // Spare height goes below the rows instead of pulling the header away from them.
    grid->setRowStretch(GroupCount + 3, 1);
    return tab;
}

QWidget *SettingsDialog::buildStyleTab()
{
    auto *tab = new QWidget(this);
    auto *layout = new QVBoxLayout(tab);
    auto *box = new QGroupBox(u"座位表样式设置"_s, tab);
    auto *boxLayout = new QVBoxLayout(box);
    boxLayout->addWidget(new QLabel(u"选择座位表样式:"_s, box));
    styleBox = new QComboBox(box);
    styleBox->setObjectName(u"styleBox"_s);
    for (const QString &style : {u"样式1"_s, u"样式2"_s, CustomStyle})
        styleBox->addItem(style, style);
    boxLayout->addWidget(styleBox);

    auto *pathRow = new QHBoxLayout;
    customPathLabel = new QLabel(u"自定义样式文件:"_s, box);
    customPathEdit = new QLineEdit(box);
    customPathEdit->setObjectName(u"customPathEdit"_s);
    browseButton = new QPushButton(u"浏览..."_s, box);
    browseButton->setObjectName(u"browseButton"_s);
    pathRow->addWidget(customPathLabel);
    pathRow->addWidget(customPathEdit);
    pathRow->addWidget(browseButton);
    boxLayout->addLayout(pathRow);
    layout->addWidget(box);
    return tab;
}

void SettingsDialog::connectGroupRow(const GroupRow &row)
{
    connect(row.enabledBox, &QComboBox::currentIndexChanged, this, [row] {
        const bool enabled = row.enabledBox->currentData().toBool();
        row.seatsBox->setEnabled(enabled);
        row.boysBox->setEnabled(enabled);
        row.girlsBox->setEnabled(false);
    });
    // Lowering the maximum may lower the boys' value, which updates the girls by itself first.
    connect(row.seatsBox, &QSpinBox::valueChanged, this, [row](int seats) {
        row.boysBox->setMaximum(seats);
        row.girlsBox->setValue(seats - row.boysBox->value());
    });
    connect(row.boysBox, &QSpinBox::valueChanged, this,
            [row](int boys) { row.girlsBox->setValue(row.seatsBox->value() - boys); });
}

void SettingsDialog::setRosterNames(const QStringList &boys, const QStringList &girls)
{
    boysEdit->setNames(boys);
    girlsEdit->setNames(girls);
}

QStringList SettingsDialog::boyNames() const
{
    return boysEdit->names();
}

QStringList SettingsDialog::girlNames() const
{
    return girlsEdit->names();
}

void SettingsDialog::loadNamesTab()
{
    setRosterNames(state.roster.maleNames, state.roster.femaleNames);
}

void SettingsDialog::saveNamesTab()
{
    state.roster.maleNames = boyNames();
    state.roster.femaleNames = girlNames();
}

void SettingsDialog::loadPeopleTab()
{
    const QSet<QString> &leaders = state.roster.leaderNames;
    const QSet<QString> &boarders = state.roster.boarderNames;
    leadersEdit->setNames(QStringList(leaders.cbegin(), leaders.cend()));
    boardersEdit->setNames(QStringList(boarders.cbegin(), boarders.cend()));
}

void SettingsDialog::savePeopleTab()
{
    const QStringList leaders = leadersEdit->names();
    const QStringList boarders = boardersEdit->names();
    state.roster.leaderNames = QSet<QString>(leaders.cbegin(), leaders.cend());
    state.roster.boarderNames = QSet<QString>(boarders.cbegin(), boarders.cend());
}

void SettingsDialog::loadGroupsTab()
{
    if (state.groupConfigs.size() != GroupCount)
        state.groupConfigs = defaultGroupConfigs();
    for (int i = 0; i < GroupCount; ++i) {
        const GroupConfig &config = state.groupConfigs.at(i);
        const GroupRow &row = groupRows.at(i);
        row.enabledBox->setCurrentIndex(config.enabled ? 0 : 1);
        // The boxes' ranges clamp stored values such as -1; the clamped value is what is saved.
        row.seatsBox->setValue(config.total);
        row.boysBox->setValue(config.males);
        row.girlsBox->setValue(config.females);
        row.seatsBox->setEnabled(config.enabled);
        row.boysBox->setEnabled(config.enabled);
        row.girlsBox->setEnabled(false);
    }
    balanceBox->setChecked(state.balanceByScores);
}

void SettingsDialog::saveGroupsTab()
{
    for (int i = 0; i < GroupCount; ++i) {
        const GroupRow &row = groupRows.at(i);
        GroupConfig &config = state.groupConfigs[i];
        config.enabled = row.enabledBox->currentData().toBool();
        config.total = row.seatsBox->value();
        config.males = row.boysBox->value();
        config.females = row.girlsBox->value();
    }
    state.enabledGroupCount = int(state.enabledGroups().size());
    state.balanceByScores = balanceBox->isChecked();
}

void SettingsDialog::loadStyleTab()
{
    const int index = styleBox->findData(state.currentStyle);
    styleBox->setCurrentIndex(index < 0 ? 0 : index);
    if (state.currentStyle == CustomStyle)
        customPathEdit->setText(QDir::toNativeSeparators(ConfigStore::readCustomPath(state.configPath)));
    updateCustomPathRow();
}

void SettingsDialog::saveStyleTab()
{
    state.currentStyle = styleBox->currentData().toString();
}

void SettingsDialog::saveScoresTab()
{
    // Only the pupils on the roster keep a score; a name taken off takes its score along.
    scoresTab->setRoster(state.roster.maleNames, state.roster.femaleNames);
    state.roster.scores = scoresTab->scores();
}

void SettingsDialog::showRosterInScores()
{
    scoresTab->setRoster(boyNames(), girlNames());
}

void SettingsDialog::saveToState()
{
    saveNamesTab();
    savePeopleTab();
    saveGroupsTab();
    saveStyleTab();
    saveScoresTab();
}

QString SettingsDialog::customStylePath() const
{
    // The box shows native separators; config.ini keeps the form it has always stored.
    return QDir::fromNativeSeparators(customPathEdit->text());
}

void SettingsDialog::updateCustomPathRow()
{
    const bool custom = styleBox->currentData().toString() == CustomStyle;
    customPathLabel->setVisible(custom);
    customPathEdit->setVisible(custom);
    browseButton->setVisible(custom);
}

void SettingsDialog::browseCustomStyle()
{
    // The file dialog belongs to the main window, not to this dialog.
    const QString path = Dialogs::instance().openFileName(parentWidget(), u"选择自定义样式文件"_s,
                                                          applicationDirectory(), u"Excel文件 (*.xlsx)"_s);
    if (!path.isEmpty())
        customPathEdit->setText(QDir::toNativeSeparators(path));
}

void SettingsDialog::importRoster()
{
    const QString path = Dialogs::instance().openFileName(
        this, u"从表格导入名单"_s, ImportFolder::last(state.configPath), u"表格文件 (*.xlsx *.csv)"_s);
    if (path.isEmpty())
        return;
    ImportFolder::remember(state.configPath, path);
    const SheetReadResult read = RosterImport::readClassList(path);
    if (!read.ok()) {
        Dialogs::instance().warning(this, u"错误"_s, read.error);
        return;
    }
    // The lists as the boxes show them now, edits included; nothing reaches the state before "保存".
    showRosterInScores();
    const RosterImport::RosterLists current = {boyNames(), girlNames(), leadersEdit->names(),
                                               boardersEdit->names(), scoresTab->scores()};
    RosterImportDialog preview(read.table, QFileInfo(path).fileName(),
                               current.maleNames + current.femaleNames, this);
    if (preview.exec() != QDialog::Accepted)
        return;
    const RosterImport::RosterLists lists =
        RosterImport::apply(current, preview.pupils(), preview.mode(), preview.mapping());
    setRosterNames(lists.maleNames, lists.femaleNames);
    leadersEdit->setNames(lists.leaderNames);
    boardersEdit->setNames(lists.boarderNames);
    scoresTab->setScores(lists.scores);
    showRosterInScores();
    Q_EMIT logMessage(u"名单已导入，按“保存”后生效"_s);
}

void SettingsDialog::spreadGroupsOverRoster()
{
    const int boys = int(boyNames().size());
    const int girls = int(girlNames().size());
    if (boys + girls == 0) {
        Dialogs::instance().warning(this, u"错误"_s, u"名单为空，请先在设置中添加人员或从表格导入"_s);
        return;
    }
    QList<GroupConfig> configs = state.groupConfigs;
    for (int i = 0; i < GroupCount; ++i) {
        const GroupRow &row = groupRows.at(i);
        configs[i] = {row.enabledBox->currentData().toBool(), row.seatsBox->value(), row.boysBox->value(),
                      row.girlsBox->value()};
    }
    // The fixed positions still name the persons by the numbers of the roster before this dialog.
    configs = GroupFit::spread(configs, boys, girls, state.fixedPositions, state.roster);
    for (int i = 0; i < GroupCount; ++i) {
        const GroupRow &row = groupRows.at(i);
        if (!configs.at(i).enabled)
            continue;
        // A class too large for the enabled groups at ten seats each also takes disabled ones.
        row.enabledBox->setCurrentIndex(row.enabledBox->findData(true));
        row.seatsBox->setValue(configs.at(i).total);
        row.boysBox->setValue(configs.at(i).males);
        // Set as well when neither box changed, which fires no signal.
        row.girlsBox->setValue(row.seatsBox->value() - row.boysBox->value());
    }
}

} // namespace Velmora
