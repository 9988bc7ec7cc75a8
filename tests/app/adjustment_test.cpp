#include "desktop.h"
#include "mainwindow.h"
#include "resultstable.h"
#include "resultstablewidget.h"
#include "scripteddialogs.h"
#include "seatadjuster.h"
#include "seedsource.h"
#include "testenvironment.h"

#include <QAction>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeData>
#include <QProcess>
#include <QTableWidget>
#include <QTextEdit>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;
using namespace Velmora;

namespace {

// Boys B1..B8 are 1..8, girls G1..G8 are 9..16.
int idOf(const QString &name)
{
    return name.at(0) == u'B' ? name.mid(1).toInt() : 8 + name.mid(1).toInt();
}

// "B1 G1|B2 G2": the first groups by name; the remaining of the nine default groups stay empty.
Grouping groupingOf(const QString &text)
{
    Grouping grouping(9);
    const QStringList groups = text.split(u'|');
    for (int g = 0; g < groups.size(); ++g) {
        for (const QString &name : groups.at(g).split(u' ', Qt::SkipEmptyParts))
            grouping[g].append(idOf(name));
    }
    return grouping;
}

QStringList tableRows(const QTableWidget *table)
{
    QStringList rows;
    for (int row = 0; row < table->rowCount(); ++row) {
        QStringList cells;
        for (int column = 1; column < table->columnCount(); ++column) {
            if (!table->item(row, column)->text().isEmpty())
                cells.append(table->item(row, column)->text());
        }
        rows.append(cells.join(u' '));
    }
    return rows;
}

void dropOnto(QTableWidget *table, int fromRow, int fromColumn, int toRow, int toColumn)
{
    const std::unique_ptr<QMimeData> mime(ResultsTableWidget::seatMimeData(fromRow, fromColumn));
    const QPointF at = table->visualRect(table->model()->index(toRow, toColumn)).center();
    QDragEnterEvent enter(at.toPoint(), Qt::MoveAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(table->viewport(), &enter);
    QDropEvent drop(at, Qt::MoveAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(table->viewport(), &drop);
}

const QString start = u"B1 G1|B2 B3 B4 G2 G3 G4|G5"_s;

} // namespace

class AdjustmentTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup() { window.reset(); }

    void drop_data();
    void drop();
    void clickWithoutDrag_showsGroupDetails();
    void undoRedo_restoreTableAndGroupingExactly();
    void history_clearedWhenGroupingIsReplaced_data();
    void history_clearedWhenGroupingIsReplaced();
    void save_writesAdjustedSeats();

private:
    QStringList logLines() const { return window->logView->toPlainText().split(u'\n'); }
    void seatClass(const QString &grouping);

    Test::ScriptedDialogs dialogs;
    std::unique_ptr<MainWindow> window;
    QString appDir;
};

void AdjustmentTest::init()
{
    appDir = QDir(Test::freshApplicationDirectory()).absolutePath();
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    seatClass(start);
    dialogs.clear();
}

void AdjustmentTest::seatClass(const QString &grouping)
{
    Roster &roster = window->state.roster;
    for (int i = 1; i <= 8; ++i) {
        roster.maleNames.append(u"B%1"_s.arg(i));
        roster.femaleNames.append(u"G%1"_s.arg(i));
    }
    roster.rebuildNameMaps();
    window->state.mustTogether = {{idOf(u"B1"_s), idOf(u"G1"_s)}};
    window->state.mustSeparate = {{idOf(u"G1"_s), idOf(u"G5"_s)}};
    window->state.currentGrouping = groupingOf(grouping);
    refreshResultsTable(window->resultsTable, window->state);
}

// Table cells are (row, column); column k + 1 shows seat k. Group 2 is full at six persons.
void AdjustmentTest::drop_data()
{
    QTest::addColumn<QList<int>>("cells"); // from row, from column, to row, to column
    QTest::addColumn<QString>("grouping");
    QTest::addColumn<QStringList>("logged");
    QTest::addColumn<QStringList>("boxes");

    const QString red = u"注意: 有 %1 条要求未满足"_s;
    QTest::newRow("nameOnName_sameGroup_swaps") << QList<int>{0, 1, 0, 2} << u"G1 B1|B2 B3 B4 G2 G3 G4|G5"_s
                                                << QStringList{u"手动交换: B1 ↔ G1"_s} << QStringList();
    QTest::newRow("boyOnGirl_otherGroup_swapsAndWarnsTwice")
        << QList<int>{0, 1, 2, 1} << u"G5 G1|B2 B3 B4 G2 G3 G4|B1"_s
        << QStringList{u"手动交换: B1 ↔ G5"_s, red.arg(2)} << QStringList();
    QTest::newRow("emptyCell_groupWithRoom_movesToItsEnd")
        << QList<int>{0, 1, 2, 4} << u"G1|B2 B3 B4 G2 G3 G4|G5 B1"_s
        << QStringList{u"手动移动: B1 到组3"_s, red.arg(1)} << QStringList();
    QTest::newRow("emptyCell_fullGroup_refused") << QList<int>{0, 1, 1, 7} << start << QStringList()
                                                 << QStringList{u"warning: 错误 / 组2已满，无法移入 B1"_s};
    QTest::newRow("emptyCell_ownGroup_nothing")
        << QList<int>{0, 1, 0, 5} << start << QStringList() << QStringList();
    QTest::newRow("ontoColumn0_nothing") << QList<int>{0, 1, 2, 0} << start << QStringList() << QStringList();
    QTest::newRow("fromColumn0_nothing") << QList<int>{1, 0, 0, 1} << start << QStringList() << QStringList();
    QTest::newRow("sameCell_nothing") << QList<int>{1, 2, 1, 2} << start << QStringList() << QStringList();
    QTest::newRow("fromEmptyCell_nothing")
        << QList<int>{2, 3, 0, 1} << start << QStringList() << QStringList();
}

void AdjustmentTest::drop()
{
    QFETCH(QList<int>, cells);
    QFETCH(QString, grouping);
    QFETCH(QStringList, logged);
    QFETCH(QStringList, boxes);

    const QStringList before = logLines();
    dropOnto(window->resultsTable, cells[0], cells[1], cells[2], cells[3]);

    QCOMPARE(window->state.currentGrouping, groupingOf(grouping));
    QCOMPARE(tableRows(window->resultsTable).mid(0, 3), grouping.split(u'|'));
    QCOMPARE(logLines().mid(before.size()), logged);
    QCOMPARE(dialogs.transcript(), boxes);
    QCOMPARE(window->seatAdjuster->undoAction->isEnabled(), !logged.isEmpty());
}

void AdjustmentTest::clickWithoutDrag_showsGroupDetails()
{
    QTableWidget *table = window->resultsTable;
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                      table->visualItemRect(table->item(2, 1)).center());
    QCOMPARE(logLines().mid(logLines().size() - 2), (QStringList{u"组 3 详情:"_s, u"G5 "_s}));

    // A press and a move past the drag distance hands the cell to the platform's drag; the
    // offscreen platform refuses it at once, which must leave everything as it was.
    const QPoint from = table->visualItemRect(table->item(0, 1)).center();
    QTest::mousePress(table->viewport(), Qt::LeftButton, {}, from);
    const QPoint away = from + QPoint(0, 3 * QApplication::startDragDistance());
    // The view arms the drag at the first move and starts it at the next.
    for (const QPoint &at : {from + QPoint(0, 1), away}) {
        QMouseEvent move(QEvent::MouseMove, at, table->viewport()->mapToGlobal(at), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(table->viewport(), &move);
    }
    QTest::mouseRelease(table->viewport(), Qt::LeftButton, {}, away);
    QCOMPARE(window->state.currentGrouping, groupingOf(start));
}

void AdjustmentTest::undoRedo_restoreTableAndGroupingExactly()
{
    const QStringList table = tableRows(window->resultsTable);
    const QList<QAction *> menu = window->resultsTable->actions();
    QCOMPARE(menu.size(), 2);
    QCOMPARE(menu.at(0)->text(), u"撤销"_s);
    QCOMPARE(menu.at(1)->text(), u"重做"_s);

    dropOnto(window->resultsTable, 0, 1, 2, 1);
    const Grouping adjusted = window->state.currentGrouping;
    QVERIFY(menu.at(0)->isEnabled());
    QVERIFY(!menu.at(1)->isEnabled());

    QTest::keyClick(window.get(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(window->state.currentGrouping, groupingOf(start));
    QCOMPARE(tableRows(window->resultsTable), table);
    QCOMPARE(logLines().last(), u"撤销: 手动交换: B1 ↔ G5"_s);
    QVERIFY(!menu.at(0)->isEnabled());
    QVERIFY(menu.at(1)->isEnabled());

    QTest::keyClick(window.get(), Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(window->state.currentGrouping, adjusted);
    QCOMPARE(logLines().mid(logLines().size() - 2),
             (QStringList{u"重做: 手动交换: B1 ↔ G5"_s, u"注意: 有 2 条要求未满足"_s}));
}

void AdjustmentTest::history_clearedWhenGroupingIsReplaced_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("generate") << u"generateGroups"_s;
    QTest::newRow("newFile") << u"newFile"_s;
    QTest::newRow("reset") << u"resetAll"_s;
}

void AdjustmentTest::history_clearedWhenGroupingIsReplaced()
{
    QFETCH(QString, command);

    window->seedSource = seedSequence(3);
    dropOnto(window->resultsTable, 0, 1, 0, 2);
    QCOMPARE(window->seatAdjuster->history().count(), 1);
    QVERIFY(QMetaObject::invokeMethod(window.get(), command.toLatin1().constData()));

    QCOMPARE(window->seatAdjuster->history().count(), 0);
    QVERIFY(!window->seatAdjuster->undoAction->isEnabled());
    const Grouping replaced = window->state.currentGrouping;
    QTest::keyClick(window.get(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(window->state.currentGrouping, replaced);
}

void AdjustmentTest::save_writesAdjustedSeats()
{
    QVERIFY(
        QFile::copy(Test::sourceDirectory() + u"/templates/座位样式1.xlsx"_s, appDir + u"/座位样式1.xlsx"_s));
    setFileOpener([](const QString &) {});
    dropOnto(window->resultsTable, 0, 1, 2, 1);
    window->saveFile();
    setFileOpener({});
    QCOMPARE(dialogs.transcript(), QStringList());

    const QStringList charts = QDir(appDir).entryList({u"*_座位表.xlsx"_s});
    QCOMPARE(charts.size(), 1);
    QProcess reader;
    reader.start(u"/usr/bin/python3"_s, {Test::sourceDirectory() + u"/tests/export/readchart.py"_s,
                                         window->state.templatePath, appDir + u"/"_s + charts.first()});
    QVERIFY(reader.waitForFinished(60000));
    QVERIFY2(reader.exitCode() == 0, reader.readAllStandardError().constData());
    QMap<QString, QString> seats;
    for (const QJsonValue &cell : QJsonDocument::fromJson(reader.readAllStandardOutput()).array())
        seats.insert(cell[u"marker"_s].toString(), cell[u"value"_s].toString());
    QCOMPARE(seats.value(u"1-1"_s), u"G5"_s);
    QCOMPARE(seats.value(u"3-1"_s), u"B1"_s);
}

QTEST_MAIN(AdjustmentTest)
#include "adjustment_test.moc"
