#pragma once

#include "model.h"
#include "namelistedit.h"

#include <QDialog>
#include <QList>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;

namespace Velmora {

class FixedPositionTab;
class ScoresTab;

// The "设置" dialog. It is built from the state each time it opens and takes tabs 1 to 4 and the
// scores over only through saveToState(); the fixed-position tab edits the state directly. "保存" emits
// saveRequested(): writing the file, renumbering and resetting are the owner's business, since
// they reach beyond the dialog.
class SettingsDialog : public QDialog
{
    Q_OBJECT

public:
    // `state` must outlive the dialog; `parent` is the main window, which also owns the file dialog.
    explicit SettingsDialog(ClassState &state, QWidget *parent = nullptr);

    // Takes tabs 1 to 4 and the scores over into the state.
    void saveToState();
    // What the custom-path line edit holds, for the roster and style save.
    QString customStylePath() const;

    // The roster lists as the boxes of the first tab hold them; whatever fills them (the loading,
    // an import) goes through here.
    void setRosterNames(const QStringList &boys, const QStringList &girls);
    QStringList boyNames() const;
    QStringList girlNames() const;

    struct GroupRow
    {
        QComboBox *enabledBox = nullptr;
        QSpinBox *seatsBox = nullptr;
        QSpinBox *boysBox = nullptr;
        QSpinBox *girlsBox = nullptr;
    };

    QTabWidget *tabs = nullptr;
    NameListEdit *boysEdit = nullptr;
    NameListEdit *girlsEdit = nullptr;
    QPushButton *importButton = nullptr;
    NameListEdit *leadersEdit = nullptr;
    NameListEdit *boardersEdit = nullptr;
    QList<GroupRow> groupRows;
    QCheckBox *balanceBox = nullptr;
    QPushButton *spreadButton = nullptr;
    QComboBox *styleBox = nullptr;
    QLabel *customPathLabel = nullptr;
    QLineEdit *customPathEdit = nullptr;
    QPushButton *browseButton = nullptr;
    FixedPositionTab *fixedPositionTab = nullptr;
    ScoresTab *scoresTab = nullptr;
    QPushButton *saveButton = nullptr;
    QPushButton *cancelButton = nullptr;

Q_SIGNALS:
    void saveRequested();
    // A line for the main window's log that ends a command done inside the dialog.
    void logMessage(const QString &text);

private Q_SLOTS:
    void browseCustomStyle();
    void importRoster();
    void showRosterInScores();
    void updateCustomPathRow();
    // Fills the enabled rows with the class, as the name lists now hold it, spread evenly.
    void spreadGroupsOverRoster();

private:
    QWidget *buildNamesTab();
    QWidget *buildPeopleTab();
    QWidget *buildGroupsTab();
    QWidget *buildStyleTab();
    void connectGroupRow(const GroupRow &row);

    void loadNamesTab();
    void saveNamesTab();
    void loadPeopleTab();
    void savePeopleTab();
    void loadGroupsTab();
    void saveGroupsTab();
    void loadStyleTab();
    void saveStyleTab();
    void saveScoresTab();

    ClassState &state;
};

} // namespace Velmora
