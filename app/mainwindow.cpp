#include "mainwindow.h"

#include "aboutbox.h"
#include "chartfilecommands.h"
#include "configfile.h"
#include "configstore.h"
#include "dialogs.h"
#include "fixedpositiontable.h"
#include "generatecommand.h"
#include "generatelog.h"
#include "groupdetails.h"
#include "groupfit.h"
#include "historystore.h"
#include "historytab.h"
#include "lazyboldheader.h"
#include "personneldialog.h"
#include "personnelreport.h"
#include "requirementcheck.h"
#include "requirements.h"
#include "requirementtable.h"
#include "resultstable.h"
#include "resultstablewidget.h"
#include "seatadjuster.h"
#include "settingsdialog.h"
#include "settingssave.h"
#include "windowlayout.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTableWidget>
#include <QTextEdit>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

// The resources live in this static library; without an explicit init the linker may drop them.
static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace Velmora {

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent)
{
    initResources();
    setWindowTitle(u"Velmora"_s);
    // A 1366x768 screen with a taskbar leaves about 690 px below the title bar.
    setMinimumSize(1004, 560);

    buildLayout();

    appendLog(ConfigStore::loadConfiguration(state));
    if (ConfigFile::encoding(state.configPath) == ConfigFile::Encoding::Undecodable)
        Dialogs::instance().warning(
            this, u"错误"_s,
            u"配置文件 %1 无法识别编码，其中的设置未能读取。该文件不会被改动，本次的设置将保存到 %2"_s.arg(
                QDir::toNativeSeparators(state.configPath),
                QDir::toNativeSeparators(ConfigFile::redirectedPath(state.configPath))));
    state.groupConfigs = defaultGroupConfigs();
    QString requirementNotice;
    appendLog(ConfigStore::loadGroupConfiguration(state, &requirementNotice));
    if (!requirementNotice.isEmpty())
        Dialogs::instance().information(this, u"提示"_s, requirementNotice);
    refreshConstraintTable();
    history = std::make_unique<HistoryStore>();

    generation = new GenerateCommand(this);
    connectWidgets();
    buildMenuBar();
    addKeyboardShortcuts();
    restoreWindowLayout();
    appendLog(u"系统初始化完成"_s);
}

void MainWindow::finishStart()
{
    // The icon's decoder is an image plugin loaded for it alone, the headers' bold faces are needed
    // only once a section is highlighted, and the history is otherwise read by whatever needs it first.
    setWindowIcon(QIcon(u":/icons/app_icon.ico"_s));
    LazyBoldHeader::measureAllInBold(this);
    if (const QString problem = history->ensureLoaded(); !problem.isEmpty())
        appendLog(problem);
}

MainWindow::~MainWindow()
{
    // Closing always saves; there is no unsaved-changes question.
    saveGroupConfiguration();
    saveWindowLayout();
}

void MainWindow::buildLayout()
{
    auto *central = new QWidget(this);
    auto *centralLayout = new QVBoxLayout(central);
    paneSplitter = new QSplitter(Qt::Vertical, central);
    paneSplitter->setObjectName(u"paneSplitter"_s);
    centralLayout->addWidget(paneSplitter);
    auto *upperPane = new QWidget(paneSplitter);
    auto *mainLayout = new QVBoxLayout(upperPane);
    mainLayout->setContentsMargins(0, 0, 0, 0);

    resultsSplitter = new QSplitter(Qt::Horizontal, upperPane);
    resultsSplitter->setObjectName(u"resultsSplitter"_s);
    // Each box joins its splitter while still empty: a splitter measures every child it is given,
    // and measuring the filled tables costs the start about a tenth of its time.
    auto *resultsBox = new QGroupBox(u"分组结果"_s, central);
    auto *logBox = new QGroupBox(u"系统日志"_s, central);
    resultsSplitter->addWidget(resultsBox);
    resultsSplitter->addWidget(logBox);
    auto *resultsLayout = new QVBoxLayout(resultsBox);
    auto *adjustableTable = new ResultsTableWidget(resultsBox);
    seatAdjuster = new SeatAdjuster(
        state, adjustableTable, [this](const QString &line) { appendLog(line); }, this);
    resultsTable = adjustableTable;
    resultsTable->setObjectName(u"resultsTable"_s);
    resultsLayout->addWidget(resultsTable);
    auto *logLayout = new QVBoxLayout(logBox);
    logView = new QTextEdit(logBox);
    logView->setObjectName(u"logView"_s);
    logView->setReadOnly(true);
    logLayout->addWidget(logView);
    resultsSplitter->setStretchFactor(0, 2);
    resultsSplitter->setStretchFactor(1, 1);
    mainLayout->addWidget(resultsSplitter);

    auto *buttonRow = new QHBoxLayout;
    generateButton = new QPushButton(u"生成分组"_s, central);
    checkPersonnelButton = new QPushButton(u"人员检查"_s, central);
    checkConstraintsButton = new QPushButton(u"要求检查"_s, central);
    resetButton = new QPushButton(u"重置"_s, central);
    generateButton->setObjectName(u"generateButton"_s);
    checkPersonnelButton->setObjectName(u"checkPersonnelButton"_s);
    checkConstraintsButton->setObjectName(u"checkConstraintsButton"_s);
    resetButton->setObjectName(u"resetButton"_s);
    for (QPushButton *button : {generateButton, checkPersonnelButton, checkConstraintsButton, resetButton})
        buttonRow->addWidget(button);
    mainLayout->addLayout(buttonRow);

    auto *constraintBox = new QGroupBox(u"要求条件管理"_s, central);
    paneSplitter->addWidget(constraintBox);
    auto *grid = new QGridLayout(constraintBox);
    constraintTypeCombo = new QComboBox(constraintBox);
    constraintTypeCombo->setObjectName(u"constraintTypeCombo"_s);
    constraintTypeCombo->addItems({u"必须同组"_s, u"不能同组"_s});
    constraintNamesEdit = new QLineEdit(constraintBox);
    constraintNamesEdit->setObjectName(u"constraintNamesEdit"_s);
    addConstraintButton = new QPushButton(u"添加要求"_s, constraintBox);
    addConstraintButton->setObjectName(u"addConstraintButton"_s);
    removeConstraintButton = new QPushButton(u"移除选中"_s, constraintBox);
    removeConstraintButton->setObjectName(u"removeConstraintButton"_s);
    constraintTable = new QTableWidget(constraintBox);
    constraintTable->setObjectName(u"constraintTable"_s);
    grid->addWidget(new QLabel(u"要求类型:"_s, constraintBox), 0, 0);
    grid->addWidget(constraintTypeCombo, 0, 1);
    grid->addWidget(addConstraintButton, 0, 2);
    grid->addWidget(new QLabel(u"姓名(多个用空格分隔):"_s, constraintBox), 1, 0);
    grid->addWidget(constraintNamesEdit, 1, 1);
    grid->addWidget(removeConstraintButton, 1, 2);
    grid->addWidget(constraintTable, 2, 0, 1, 3);
    paneSplitter->setStretchFactor(0, 3);
    paneSplitter->setStretchFactor(1, 2);
    // A pane dragged to nothing would hide the requirement table with no obvious way back.
    paneSplitter->setChildrenCollapsible(false);
    resultsSplitter->setChildrenCollapsible(false);

    setCentralWidget(central);

    LazyBoldHeader::install(resultsTable, Qt::Horizontal);
    LazyBoldHeader::install(constraintTable, Qt::Horizontal | Qt::Vertical);
    resultsTable->setColumnCount(7);
    resultsTable->setHorizontalHeaderLabels(
        {u"组号"_s, u"成员1"_s, u"成员2"_s, u"成员3"_s, u"成员4"_s, u"成员5"_s, u"成员6"_s});
    resultsTable->verticalHeader()->setVisible(false);
    resultsTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    resultsTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    resultsTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);

    constraintTable->setColumnCount(3);
    constraintTable->setHorizontalHeaderLabels({u"类型"_s, u"人员列表"_s, u"状态"_s});
    constraintTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    constraintTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    constraintTable->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    constraintTable->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    constraintTable->horizontalHeader()->setSectionResizeMode(2, QHeaderView::ResizeToContents);

    statusLabel = new QLabel(u"就绪"_s, this);
    statusLabel->setObjectName(u"statusLabel"_s);
    statusBar()->addWidget(statusLabel);
}

void MainWindow::connectWidgets()
{
    connect(addConstraintButton, &QPushButton::clicked, this, &MainWindow::addConstraint);
    connect(removeConstraintButton, &QPushButton::clicked, this, &MainWindow::removeConstraint);
    connect(generateButton, &QPushButton::clicked, this, &MainWindow::generateGroups);
    connect(checkPersonnelButton, &QPushButton::clicked, this, &MainWindow::checkPersonnel);
    connect(checkConstraintsButton, &QPushButton::clicked, this, &MainWindow::checkConstraints);
    connect(resetButton, &QPushButton::clicked, this, &MainWindow::resetAll);
    connect(resultsTable, &QTableWidget::cellClicked, this, &MainWindow::showGroupDetails);
    connect(generation, &GenerateCommand::finished, this, &MainWindow::showGenerated);
    connect(generation, &GenerateCommand::slow, this, [this] { statusLabel->setText(u"正在生成分组…"_s); });
}

void MainWindow::buildMenuBar()
{
    fileMenu = menuBar()->addMenu(u"文件"_s);
    fileMenu->setObjectName(u"fileMenu"_s);
    fileMenu->addAction(u"新建座位表"_s, this, &MainWindow::newFile);
    fileMenu->addAction(u"保存"_s, this, &MainWindow::saveFile);
    fileMenu->addAction(u"另存为"_s, this, &MainWindow::saveAs);
    fileMenu->addAction(u"导出 PDF…"_s, this, [this] { exportPdf(); });
    fileMenu->addSeparator();
    fileMenu->addAction(u"退出"_s, this, &QWidget::close);
    menuBar()->addAction(u"设置"_s, this, &MainWindow::showSettingsDialog);
    menuBar()->addAction(u"关于"_s, this, &MainWindow::showAboutDialog);
}

void MainWindow::logMessage(const QString &text)
{
    if (!statusLabel || !logView)
        return;
    const QString line = QDateTime::currentDateTime().toString(u"hh:mm:ss"_s) + u" - "_s + text;
    statusLabel->setText(line);
    logView->append(line);
}

void MainWindow::appendLog(const QString &text)
{
    if (logView)
        logView->append(text);
}

void MainWindow::appendLog(const QStringList &lines)
{
    for (const QString &line : lines)
        appendLog(line);
}

void MainWindow::refreshConstraintTable()
{
    RequirementTable::fill(constraintTable, state);
}

bool MainWindow::saveGroupConfiguration()
{
    const bool written = ConfigStore::saveGroupConfiguration(state);
    reportConfigWrite(written);
    return written;
}

void MainWindow::reportConfigWrite(bool written)
{
    if (!written) {
        reportConfigWriteFailure();
        return;
    }
    // The file that could not be read stays as it was; the teacher must learn where the settings are.
    if (ConfigFile::encoding(state.configPath) == ConfigFile::Encoding::Undecodable)
        Dialogs::instance().information(
            this, u"提示"_s,
            u"配置文件 %1 无法读取，设置已保存到 %2"_s.arg(
                QDir::toNativeSeparators(state.configPath),
                QDir::toNativeSeparators(ConfigFile::redirectedPath(state.configPath))));
}

void MainWindow::reportConfigWriteFailure()
{
    // A roster that silently fails to reach the disk is lost at the next start.
    Dialogs::instance().warning(this, u"错误"_s,
                                u"配置文件保存失败: %1"_s.arg(QDir::toNativeSeparators(state.configPath)));
}

// --- Requirement panel --------------------------------------------------------------------------

void MainWindow::addConstraint()
{
    static_assert(ConfigStore::maxRequirements == 500, "the refusal names the bound");
    if (state.mustTogether.size() + state.mustSeparate.size() >= ConfigStore::maxRequirements) {
        Dialogs::instance().warning(this, u"输入错误"_s, u"要求条数过多（最多 500 条）"_s);
        return;
    }
    const Requirements::ParsedInput input = Requirements::parse(
        constraintNamesEdit->text(), constraintTypeCombo->currentText(), state.roster.nameToId);
    if (!input.accepted()) {
        Dialogs::instance().warning(this, u"输入错误"_s, input.error);
        return;
    }
    (input.kind == Requirements::Kind::MustTogether ? state.mustTogether : state.mustSeparate)
        .append(input.entry);
    RequirementTable::appendRow(constraintTable, input.kind, input.entry, state.roster);
    constraintNamesEdit->clear();
    logMessage(u"要求添加成功"_s);
}

void MainWindow::removeConstraint()
{
    if (!RequirementTable::removeSelected(constraintTable, state)) {
        Dialogs::instance().information(this, u"提示"_s, u"请先选择要移除的要求"_s);
        return;
    }
    logMessage(u"要求已移除"_s);
}

// --- Generate, results and checks ---------------------------------------------------------------

// The generate runs on a worker thread; while it runs the button reads "停止" and ends the search
// with the best plan found so far.
void MainWindow::generateGroups()
{
    if (generation->isRunning()) {
        generation->stop();
        return;
    }
    if (!prepareGroupsForRoster())
        return;
    generateButton->setText(u"停止"_s);
    statusBeforeGenerate = statusLabel->text();
    generation->start(state, seedSource, history->history());
}

void MainWindow::showGenerated(const GenerateOutcome &outcome)
{
    generateButton->setText(u"生成分组"_s);
    if (statusLabel->text() == u"正在生成分组…"_s)
        statusLabel->setText(statusBeforeGenerate);
    // A reset, a new chart or a settings save has replaced what this generate was for.
    if (outcome.discarded)
        return;
    try {
        if (outcome.failure)
            std::rethrow_exception(outcome.failure);
        // The roster or the groups changed while it ran: its plan numbers other persons and seats.
        if (!GenerateCommand::sameInputs(outcome.input, state)) {
            logMessage(u"生成期间名单或设置已改变，本次分组结果未采用，请重新生成分组"_s);
            return;
        }
        for (const QString &warning : outcome.report.warnings)
            Dialogs::instance().warning(this, u"错误"_s, warning);
        appendLog(generateLogLines(outcome.report, outcome.input));
        replacePlan(outcome.report.plan);
        refreshResultsTable(resultsTable, state);
        logMessage(u"分组生成完成"_s);
    } catch (const std::exception &error) {
        Dialogs::instance().critical(this, u"错误"_s, u"生成分组时发生错误: %1"_s.arg(exceptionText(error)));
    } catch (...) {
        Dialogs::instance().critical(this, u"错误"_s, u"生成分组时发生未知错误"_s);
    }
}

void MainWindow::replacePlan(const SeatingPlan &plan)
{
    state.currentGrouping = plan;
    seatAdjuster->clearHistory();
    history->startNewGrouping();
}

void MainWindow::checkPersonnel()
{
    if (state.currentGrouping.isEmpty()) {
        Dialogs::instance().warning(this, u"错误"_s, u"请先生成分组结果"_s);
        return;
    }
    PersonnelDialog dialog(PersonnelReport(state.currentGrouping.members(), state.roster).html(), this);
    dialog.exec();
}

void MainWindow::checkConstraints()
{
    // Without a grouping every requirement would be judged against nothing; refuse like the
    // personnel report does.
    if (state.currentGrouping.isEmpty()) {
        Dialogs::instance().warning(this, u"错误"_s, u"请先生成分组结果"_s);
        return;
    }
    appendLog(checkRequirements(state).lines);
    logMessage(u"要求检查完成"_s);
}

void MainWindow::showGroupDetails(int row, int column)
{
    Q_UNUSED(column);
    if (const std::optional<QString> details = groupDetailsText(state, row))
        appendLog(*details);
}

// --- Settings and fixed positions ---------------------------------------------------------------

void MainWindow::showSettingsDialog()
{
    SettingsDialog dialog(state, this);
    dialog.tabs->addTab(
        new HistoryTab(*history, state.roster, [this](const QString &line) { appendLog(line); }),
        u"历史记录"_s);
    connect(&dialog, &SettingsDialog::saveRequested, this, [this, &dialog] { applySettings(dialog); });
    connect(&dialog, &SettingsDialog::logMessage, this, &MainWindow::logMessage);
    dialog.exec();
}

void MainWindow::applySettings(SettingsDialog &dialog)
{
    const Roster previous = state.roster;
    dialog.saveToState();
    const SavedSettings saved = saveSettings(state, previous, dialog.customStylePath());
    reportConfigWrite(saved.written);
    appendLog(saved.mappingLine);
    dialog.accept();
    // The requirements were renumbered with the roster, exactly as the file now holds them.
    const QList<Constraint> together = state.mustTogether;
    const QList<Constraint> separate = state.mustSeparate;
    // The grouping names persons by their old numbers, so it may not stay.
    resetAll();
    // After the reset, which clears the panel: a fixed seat that vanished must not go unnoticed.
    appendLog(saved.droppedFixedPositions);
    keepRequirementsAfterSettingsSave(together, separate, saved.droppedRequirements);
}

void MainWindow::keepRequirementsAfterSettingsSave(const QList<Constraint> &together,
                                                   const QList<Constraint> &separate,
                                                   const QString &droppedLine)
{
    state.mustTogether = together;
    state.mustSeparate = separate;
    refreshConstraintTable();
    if (!droppedLine.isEmpty())
        appendLog(droppedLine);
}

void MainWindow::updateFixedPositionTable(QTableWidget *table)
{
    fillFixedPositionTable(table, state);
}

// --- Seating-chart files ------------------------------------------------------------------------

namespace {

ChartFileCommands chartFiles(MainWindow *window)
{
    return ChartFileCommands(window->state, Dialogs::instance(),
                             {[window](const QString &line) { window->appendLog(line); },
                              [window](const QString &line) { window->logMessage(line); }});
}

} // namespace

void MainWindow::exportSeatingPlan()
{
    chartFiles(this).exportSeatingPlan();
}

void MainWindow::newFile()
{
    generation->discard();
    replacePlan(ChartFileCommands::blankPlan());
    showBlankResultsTable(resultsTable, state.currentGrouping.groupCount());
    chartFiles(this).saveBlankChart();
}

void MainWindow::saveFile()
{
    if (chartFiles(this).saveFile())
        recordSavedGrouping();
}

void MainWindow::saveAs()
{
    if (chartFiles(this).saveAs())
        recordSavedGrouping();
}

void MainWindow::recordSavedGrouping()
{
    if (const QString problem = history->recordSaved(state, QDateTime::currentDateTime()); !problem.isEmpty())
        appendLog(problem);
}

void MainWindow::exportPdf()
{
    chartFiles(this).exportPdf();
}

// --- Shell commands -----------------------------------------------------------------------------

void MainWindow::resetAll()
{
    generation->discard();
    replacePlan({});
    state.mustTogether.clear();
    state.mustSeparate.clear();
    constraintTable->setRowCount(0);
    resultsTable->setRowCount(0);
    logView->clear();
    logMessage(u"系统已重置"_s);
}

void MainWindow::addFixedPosition()
{
    Dialogs::instance().information(this, u"提示"_s, u"固定位置功能已整合到设置对话框中"_s);
}

void MainWindow::clearFixedPositions()
{
    if (!Dialogs::instance().question(this, u"确认"_s, u"确定要清空所有固定位置吗?"_s))
        return;
    state.fixedPositions.clear();
    updateFixedPositionTable();
    logMessage(u"已清空所有固定位置"_s);
}

void MainWindow::showAboutDialog()
{
    showAboutBox(this);
}

// --- Before a generate --------------------------------------------------------------------------

bool MainWindow::prepareGroupsForRoster()
{
    const int boys = state.roster.maleCount();
    const int girls = state.roster.femaleCount();
    if (boys + girls == 0) {
        Dialogs::instance().warning(this, u"错误"_s, u"名单为空，请先在设置中添加人员或从表格导入"_s);
        return false;
    }
    const GroupFit::Fit fit = GroupFit::measure(state.groupConfigs, boys, girls);
    if (fit.fits())
        return true;
    appendLog(fit.hint());
    const QString asked = GroupFit::key(state.groupConfigs, boys, girls);
    if (asked == keptUnfittingGroups)
        return true;
    const int choice =
        Dialogs::instance().choose(this, u"确认"_s, u"分组设置与名单不符，是否按名单自动设置各组人数？"_s,
                                   {u"自动设置"_s, u"按现有设置生成"_s});
    if (choice != 0) {
        keptUnfittingGroups = asked;
        return true;
    }
    // Like any group edit outside the dialog, it reaches config.ini with the next save.
    const int enabledBefore = int(state.enabledGroups().size());
    state.groupConfigs =
        GroupFit::spread(state.groupConfigs, boys, girls, state.fixedPositions, state.roster);
    state.enabledGroupCount = int(state.enabledGroups().size());
    if (state.enabledGroupCount > enabledBefore)
        appendLog(
            u"每组最多 %1 个座位，已启用 %2 个小组"_s.arg(GroupFit::MaxSeats).arg(state.enabledGroupCount));
    appendLog(u"已按名单自动设置各组人数（可在“设置 → 分组设置”中查看）"_s);
    return true;
}

// --- Window ---------------------------------------------------------------------------------------

void MainWindow::addKeyboardShortcuts()
{
    // Found by their titles, which stay exactly as they were: the shortcut shows beside them.
    for (QAction *action : fileMenu->actions()) {
        if (action->text() == u"保存"_s)
            action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
        else if (action->text() == u"另存为"_s)
            action->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    }
    connect(constraintNamesEdit, &QLineEdit::returnPressed, this, &MainWindow::addConstraint);
}

namespace {

// Room for a title bar and borders, which are not known before the window is first shown.
const QMargins frameAllowance(8, 32, 8, 8);
const QSize preferredSize(1200, 760);

} // namespace

void MainWindow::restoreWindowLayout()
{
    const WindowLayout saved = WindowLayout::read(state.configPath);
    QScreen *screen = saved.geometry.isValid() ? QGuiApplication::screenAt(saved.geometry.center()) : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen)
        setGeometry(placeWindow(saved.geometry, screen->availableGeometry(), minimumSize(), preferredSize,
                                frameAllowance));
    if (saved.maximized)
        setWindowState(windowState() | Qt::WindowMaximized);
    if (const QList<int> sizes = usableSplitterSizes(saved.panes, paneSplitter->count()); !sizes.isEmpty())
        paneSplitter->setSizes(sizes);
    if (const QList<int> sizes = usableSplitterSizes(saved.results, resultsSplitter->count());
        !sizes.isEmpty())
        resultsSplitter->setSizes(sizes);
}

void MainWindow::saveWindowLayout() const
{
    // A window never shown has no size worth keeping.
    if (!windowHandle())
        return;
    WindowLayout layout;
    layout.maximized = isMaximized();
    layout.geometry = layout.maximized ? normalGeometry() : geometry();
    layout.panes = paneSplitter->sizes();
    layout.results = resultsSplitter->sizes();
    // Only the window's size is lost when the folder is read-only; config.ini reports its own failure.
    layout.write(state.configPath);
}

} // namespace Velmora
