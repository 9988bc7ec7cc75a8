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
struct HistoryRound;

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
    QLabel *actsAtOnceLabel = nullptr;
    QPushButton *removeButton = nullptr;
    QPushButton *clearButton = nullptr;

    // The first names of the round's first group, which tell two rounds of one lesson apart.
    static QString hint(const HistoryRound &round);
    // Every group of the round, one line each.
    static QString groupsText(const HistoryRound &round);

private Q_SLOTS:
    void removeSelectedRound();
    void clearRounds();
    void saveSettings();
    void showRound(int row);

private:
    void refresh();
    const HistoryRound *roundAt(int row);
    void report(const QString &line);

    HistoryStore &store;
    const Roster &roster;
    LogSink log;
};

} // namespace Velmora
