#pragma once

#include <QMap>
#include <QStringList>
#include <QWidget>

class QLabel;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;

namespace Velmora {

// The "成绩" tab of the settings dialog: one row per pupil of the roster as the name boxes hold it,
// with the score edited in place or pasted by name from a spreadsheet. Like the other tabs it reaches
// the state only through the dialog's save.
class ScoresTab : public QWidget
{
    Q_OBJECT

public:
    // More rows than any class would make the tab a wall of widgets; the rest keep their scores.
    static constexpr int MaxShownRows = 5000;

    explicit ScoresTab(QWidget *parent = nullptr);

    // Shows these pupils, boys first; scores of names no longer shown are kept until save.
    void setRoster(const QStringList &boys, const QStringList &girls);
    void setScores(const QMap<QString, int> &scores);
    // The scores of the pupils of the last setRoster, in hundredths.
    QMap<QString, int> scores() const;
    void pasteText(const QString &text);

    QTableWidget *table = nullptr;
    QPushButton *pasteButton = nullptr;
    QLabel *cutNote = nullptr;

Q_SIGNALS:
    void logMessage(const QString &text);

public Q_SLOTS:
    void pasteClipboard();

private Q_SLOTS:
    void takeEdit(QTableWidgetItem *item);

private:
    void showScores();

    QStringList names; // the pupils in roster order, shown or not
    QMap<QString, int> values;
    bool filling = false;
};

} // namespace Velmora
