#pragma once

#include "model.h"
#include "seedsource.h"

#include <QMainWindow>

#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSplitter;
class QTableWidget;
class QTextEdit;

namespace Velmora {

class GenerateCommand;
struct GenerateOutcome;
class HistoryStore;
class SeatAdjuster;

// The one window of the program. It owns the whole state of a run and the widgets; every command
// is a slot, and the work behind a slot is done by units of the other layers that take the state
// as input and hand back a result or log lines.
class SettingsDialog;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // What the first paint does without, done right after it: the icon and the history.
    void finishStart();

    // "hh:mm:ss - text" into the status bar and the log panel; marks the end of a command.
    void logMessage(const QString &text);
    // A plain log line: appended to the log panel only, without time.
    void appendLog(const QString &text);
    void appendLog(const QStringList &lines);

    // Rebuilds the requirement table from both requirement lists, must-together first.
    void refreshConstraintTable();
    // Saves the group configuration, fixed positions and requirements; tells the user when the
    // file could not be written. Returns whether it was.
    bool saveGroupConfiguration();

    ClassState state;
    // Seeds of the grouping engine's runs; empty means std::random_device. Tests fix it so that a
    // generate can be reproduced.
    SeedSource seedSource;

    QTableWidget *resultsTable = nullptr;
    QTableWidget *constraintTable = nullptr;
    QTextEdit *logView = nullptr;
    QComboBox *constraintTypeCombo = nullptr;
    QLineEdit *constraintNamesEdit = nullptr;
    QLabel *statusLabel = nullptr;
    QMenu *fileMenu = nullptr;
    // Drag adjustments of the results table with their undo history.
    SeatAdjuster *seatAdjuster = nullptr;
    // The groupings saved as charts, which the next generate avoids repeating.
    std::unique_ptr<HistoryStore> history;
    // The generate running on its worker thread, if any.
    GenerateCommand *generation = nullptr;

    QPushButton *addConstraintButton = nullptr;
    QPushButton *removeConstraintButton = nullptr;
    QPushButton *generateButton = nullptr;
    QPushButton *checkPersonnelButton = nullptr;
    QPushButton *checkConstraintsButton = nullptr;
    QPushButton *resetButton = nullptr;
    // Results and log above the requirements, results beside the log: the teacher drags the panes
    // to what the screen has room for; state.ini remembers them.
    QSplitter *paneSplitter = nullptr;
    QSplitter *resultsSplitter = nullptr;

    // The order of these slots is part of the interface: they are invoked by name and index through
    // the meta-object system. Keep it.
public Q_SLOTS:
    void addConstraint();
    void removeConstraint();
    void generateGroups();
    void exportSeatingPlan();
    void checkPersonnel();
    void checkConstraints();
    void resetAll();
    void showGroupDetails(int row, int column);
    void showSettingsDialog();
    void showAboutDialog();
    void newFile();
    void saveFile();
    void saveAs();
    void addFixedPosition();
    void clearFixedPositions();
    void updateFixedPositionTable(QTableWidget *table = nullptr);

private:
    void buildLayout();
    void buildMenuBar();
    void connectWidgets();
    void applySettings(SettingsDialog &dialog);
    void reportConfigWrite(bool written);
    void reportConfigWriteFailure();
    // Not a slot: the window's slot table stays the one its callers know.
    void exportPdf();
    void recordSavedGrouping();
    // Before a generate: false when there is nobody to seat; offers the even spread when the
    // groups cannot seat the class as their numbers ask.
    bool prepareGroupsForRoster();
    void keepRequirementsAfterSettingsSave(const QList<Constraint> &together,
                                           const QList<Constraint> &separate, const QString &droppedLine);
    void addKeyboardShortcuts();
    void restoreWindowLayout();
    void saveWindowLayout() const;

    // The class and groups for which the teacher chose to keep the groups as they are.
    QString keptUnfittingGroups;

    void showGenerated(const GenerateOutcome &outcome);
    // What the status bar said before a generate that may end without a line of its own.
    QString statusBeforeGenerate;
    void replacePlan(const SeatingPlan &plan);
};

} // namespace Velmora
