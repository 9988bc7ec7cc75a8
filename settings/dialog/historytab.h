#pragma once

#include "model.h"

#include <QWidget>

#include <functional>

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace Velmora {

class HistoryStore;

// The "历史记录" tab of the settings dialog. Like the fixed-position tab it acts at once: each
// change is written to history.json when it is made, since the dialog's "保存" also resets the
// grouping and the requirements, which a teacher who only turns the history off must not pay for.
class HistoryTab : public QWidget
{
    Q_OBJECT

public:
    using LogSink = std::function<void(const QString &)>;

    // `store` and `roster` must outlive the tab; `log` receives the lines of failed writes.
    HistoryTab(HistoryStore &store, const Roster &roster, LogSink log, QWidget *parent = nullptr);

    QCheckBox *avoidRepeatsBox = nullptr;
    QSpinBox *recentRoundsBox = nullptr;
    QTableWidget *roundsTable = nullptr;
    QLabel *missingNamesLabel = nullptr;
    QPushButton *removeButton = nullptr;
    QPushButton *clearButton = nullptr;

private Q_SLOTS:
    void removeSelectedRound();
    void clearRounds();
    void saveSettings();

private:
    void refresh();
    void report(const QString &line);

    HistoryStore &store;
    const Roster &roster;
    LogSink log;
};

} // namespace Velmora
