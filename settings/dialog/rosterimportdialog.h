#pragma once

#include "rosterimport.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace Velmora {

// The preview of a class list: its first rows and one column choice per role, guessed from the
// headers. It closes with Accepted only once the chosen rows can all be taken, or the teacher has
// agreed to leave the refused ones out.
class RosterImportDialog : public QDialog
{
    Q_OBJECT

public:
    // `keptNames` are the names on the roster now, which adding must not repeat.
    RosterImportDialog(const SheetTable &table, const QString &fileName, const QStringList &keptNames,
                       QWidget *parent = nullptr);

    RosterImport::Mode mode() const { return chosenMode; }
    RosterImport::Mapping mapping() const;
    // The rows to take, valid after Accepted.
    QList<RosterImport::Pupil> pupils() const { return accepted; }

    QLabel *sheetLabel = nullptr; // only for a workbook
    QTableWidget *preview = nullptr;
    std::array<QComboBox *, RosterImport::RoleCount> roleBoxes = {};
    QLabel *summary = nullptr;
    QPushButton *replaceButton = nullptr;
    QPushButton *addButton = nullptr;
    QPushButton *cancelButton = nullptr;

private Q_SLOTS:
    void updateSummary();

private:
    void fillPreview();
    void finish(RosterImport::Mode mode);

    SheetTable table;
    RosterImport::Mapping guessed;
    QStringList keptNames;
    RosterImport::Mode chosenMode = RosterImport::Mode::Replace;
    QList<RosterImport::Pupil> accepted;
};

} // namespace Velmora
