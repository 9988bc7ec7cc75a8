#pragma once

#include "model.h"

#include <QWidget>

class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace Velmora {

// The "固定位置" tab of the settings dialog. Unlike the other tabs it edits state.fixedPositions
// directly, so its changes survive "取消". Its message boxes belong to the window it sits in.
class FixedPositionTab : public QWidget
{
    Q_OBJECT

public:
    explicit FixedPositionTab(ClassState &state, QWidget *parent = nullptr);

    // Shows the current fixed positions; there is no save counterpart, edits apply at once.
    void load();

    QLineEdit *nameEdit = nullptr;
    QSpinBox *groupBox = nullptr;
    QSpinBox *seatBox = nullptr;
    QPushButton *addButton = nullptr;
    QPushButton *removeButton = nullptr;
    QPushButton *clearButton = nullptr;
    QTableWidget *table = nullptr;

public Q_SLOTS:
    void addPosition();
    void removeSelected();
    void clearAll();

private:
    ClassState &state;
};

} // namespace Velmora
