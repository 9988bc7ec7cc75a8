#include "desktop.h"
#include "generatewait.h"
#include "hostcheck.h"
#include "mainwindow.h"
#include "resultstable.h"
#include "resultstablewidget.h"
#include "scripteddialogs.h"
#include "seatadjuster.h"
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

// Boys B1..B8 are 1..8, girls G1..G8 are 9..16; groups 1..3 start as "B1 G1|B2 B3 B4 G2 G3 G4|G5"
// with group 2 full, B1 and G1 must sit together, G1 and G5 apart.
class AdjustmentTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup() { window.reset(); }

    void drop_data();
    void drop();
    void scoresTicked_meansFollowDrop_data();
    void scoresTicked_meansFollowDrop();
    void undoRedo_restoreTableAndGroupingExactly();
    void history_clearedWhenGroupingIsReplaced_data();
    void history_clearedWhenGroupingIsReplaced();
    void save_writesAdjustedSeats();

private:
    QStringList logLines() const { return window->logView->toPlainText().split(u'\n'); }
    // The first three groups by name, in seat order; the table must show each seat in its own column.
    QString seating() const;
    void dropOnto(int fromRow, int fromColumn, int toRow, int toColumn);

    Test::ScriptedDialogs dialogs;
    std::unique_ptr<MainWindow> window;
    QString appDir;
};

const QString start = u"B1 G1|B2 B3 B4 G2 G3 G4|G5"_s;

void AdjustmentTest::init()
{
    appDir = QDir(Test::freshApplicationDirectory()).absolutePath();
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    ClassState &state = window->state;
    for (int i = 1; i <= 8; ++i) {
        state.roster.maleNames.append(u"B%1"_s.arg(i));
        state.roster.femaleNames.append(u"G%1"_s.arg(i));
    }
    state.roster.rebuildNameMaps();
    state.mustTogether = {{1, 9}};
    state.mustSeparate = {{9, 13}};
    state.currentGrouping = SeatingPlan::fromMembers(
        {{1, 9}, {2, 3, 4, 10, 11, 12}, {13}, {}, {}, {}, {}, {}, {}}, state.groupConfigs);
    refreshResultsTable(window->resultsTable, state);
    dialogs.clear();
}

QString AdjustmentTest::seating() const
{
    QStringList fromGrouping;
    QStringList fromTable;
    for (int row = 0; row < 3; ++row) {
        const SeatingPlan &plan = window->state.currentGrouping;
        QStringList names;
        for (int person : plan.membersAt(row))
            names.append(window->state.roster.nameOf(person));
        fromGrouping.append(names.join(u' '));
        names.clear();
        for (int column = 1; column < window->resultsTable->columnCount(); ++column) {
            const QString shown = window->resultsTable->item(row, column)->text();
            if (shown != window->state.roster.nameOf(plan.occupant(plan.refAt(row, column - 1))))
                names.append(u"<seat %1: %2>"_s.arg(column).arg(shown));
            else if (!shown.isEmpty())
                names.append(shown);
        }
        fromTable.append(names.join(u' '));
    }
    return fromGrouping == fromTable ? fromGrouping.join(u'|') : u"table differs: "_s + fromTable.join(u'|');
}

// Delivers the drop the platform would deliver at the end of a drag; the offscreen platform ends
// every real drag at once.
void AdjustmentTest::dropOnto(int fromRow, int fromColumn, int toRow, int toColumn)
{
    QTableWidget *table = window->resultsTable;
    const std::unique_ptr<QMimeData> mime(ResultsTableWidget::seatMimeData(fromRow, fromColumn));
    const QPoint at = table->visualRect(table->model()->index(toRow, toColumn)).center();
    QDragEnterEvent enter(at, Qt::MoveAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(table->viewport(), &enter);
    QDropEvent drop(at, Qt::MoveAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(table->viewport(), &drop);
    QCoreApplication::processEvents();
}

void AdjustmentTest::drop_data()
{
    QTest::addColumn<QList<int>>("cells"); // from row, from column, to row, to column
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("logged");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<FixedPositionMap>("fixed");

    QTest::newRow("nameOnName_sameGroup_swaps")
        << QList<int>{0, 1, 0, 2} << u"G1 B1|B2 B3 B4 G2 G3 G4|G5"_s << QStringList{u"手动交换: B1 ↔ G1"_s}
        << QStringList() << FixedPositionMap{};
    QTest::newRow("boyOnGirl_otherGroup_swapsAndCountsBothBroken")
        << QList<int>{0, 1, 2, 1} << u"G5 G1|B2 B3 B4 G2 G3 G4|B1"_s
        << QStringList{u"手动交换: B1 ↔ G5"_s, u"注意: 有 2 条要求未满足"_s} << QStringList()
        << FixedPositionMap{};
    // The seat left behind stays empty: G1 keeps seat 2.
    QTest::newRow("emptyCell_groupWithRoom_takesFirstFreeSeat")
        << QList<int>{0, 1, 2, 4} << u"G1|B2 B3 B4 G2 G3 G4|G5 B1"_s
        << QStringList{u"手动移动: B1 到组3"_s, u"注意: 有 1 条要求未满足"_s} << QStringList()
        << FixedPositionMap{};
    // Seats 2 to 6 of group 3 are fixed seats of pupils not seated now: nobody else may take them.
    QTest::newRow("emptyCell_onlyFixedSeatsFree_refused")
        << QList<int>{0, 1, 2, 4} << start << QStringList()
        << QStringList{u"warning: 错误 / 组3已满，无法移入 B1"_s}
        << FixedPositionMap{{5, {3, 2}}, {6, {3, 3}}, {7, {3, 4}}, {8, {3, 5}}, {14, {3, 6}}};
    QTest::newRow("ontoColumn0_nothing")
        << QList<int>{0, 1, 2, 0} << start << QStringList() << QStringList() << FixedPositionMap{};
    QTest::newRow("sameCell_nothing")
        << QList<int>{1, 2, 1, 2} << start << QStringList() << QStringList() << FixedPositionMap{};
}

void AdjustmentTest::drop()
{
    QFETCH(QList<int>, cells);
    QFETCH(QString, expected);
    QFETCH(QStringList, logged);
    QFETCH(QStringList, boxes);
    QFETCH(FixedPositionMap, fixed);

    window->state.fixedPositions = fixed;
    const int before = int(logLines().size());
    dropOnto(cells[0], cells[1], cells[2], cells[3]);

    QCOMPARE(seating(), expected);
    QCOMPARE(logLines().mid(before), logged);
    QCOMPARE(dialogs.transcript(), boxes);

    // A click without a drag still gives the details of the group.
    QTest::mouseClick(window->resultsTable->viewport(), Qt::LeftButton, {},
                      window->resultsTable->visualItemRect(window->resultsTable->item(1, 1)).center());
    QVERIFY(logLines().mid(before).contains(u"组 2 详情:"_s));
}

// B1 90, G1 80, B2 70 are 高分段, B3 60, B4 50, G2 40 中分段, G3 30, G4 20, G5 10 低分段; the
// others have no score. The column 平均分 and a group's details follow every hand adjustment.
void AdjustmentTest::scoresTicked_meansFollowDrop_data()
{
    QTest::addColumn<QList<int>>("cells"); // from row, from column, to row, to column (-1: 平均分)
    QTest::addColumn<QStringList>("means");
    QTest::addColumn<QString>("details"); // of group 1, after the drop

    QTest::newRow("swapAcrossGroups_bothMeansChange")
        << QList<int>{0, 1, 2, 1} << QStringList{u"45.00"_s, u"45.00"_s, u"90.00"_s}
        << u"平均分 45.00 分：高分段 1 人，中分段 0 人，低分段 1 人"_s;
    QTest::newRow("moveToGroupWithRoom_meansChange")
        << QList<int>{0, 1, 2, 4} << QStringList{u"80.00"_s, u"45.00"_s, u"50.00"_s}
        << u"平均分 80.00 分：高分段 1 人，中分段 0 人，低分段 0 人"_s;
    QTest::newRow("nameOntoMean_nothing")
        << QList<int>{0, 1, 2, -1} << QStringList{u"85.00"_s, u"45.00"_s, u"10.00"_s}
        << u"平均分 85.00 分：高分段 2 人，中分段 0 人，低分段 0 人"_s;
    // B5 sits in group 1 without a score: the mean is the others', and the details count him apart.
    QTest::newRow("unscoredB5_meanKept")
        << QList<int>{0, 1, 0, 2} << QStringList{u"85.00"_s, u"45.00"_s, u"10.00"_s}
        << u"平均分 85.00 分：高分段 2 人，中分段 0 人，低分段 0 人"_s;
}

void AdjustmentTest::scoresTicked_meansFollowDrop()
{
    QFETCH(QList<int>, cells);
    QFETCH(QStringList, means);
    QFETCH(QString, details);

    ClassState &state = window->state;
    const QList<int> points{90, 70, 60, 50, 0, 0, 0, 0, 80, 40, 30, 20, 10};
    for (int p = 1; p <= points.size(); ++p) {
        if (points.at(p - 1) > 0)
            state.roster.scores.insert(state.roster.nameOf(p), points.at(p - 1) * 100);
    }
    state.balanceByScores = true;
    const bool withB5 = QTest::currentDataTag() == QByteArray("unscoredB5_meanKept");
    if (withB5)
        state.currentGrouping = SeatingPlan::fromMembers(
            {{1, 9, 5}, {2, 3, 4, 10, 11, 12}, {13}, {}, {}, {}, {}, {}, {}}, state.groupConfigs);
    refreshResultsTable(window->resultsTable, state);
    QTableWidget *table = window->resultsTable;
    const int meanColumn = table->columnCount() - 1;
    QCOMPARE(table->horizontalHeaderItem(meanColumn)->text(), u"平均分"_s);
    QVERIFY(!table->isColumnHidden(meanColumn));
    const auto shownMeans = [&] {
        return QStringList{table->item(0, meanColumn)->text(), table->item(1, meanColumn)->text(),
                           table->item(2, meanColumn)->text()};
    };
    QCOMPARE(shownMeans(), (QStringList{u"85.00"_s, u"45.00"_s, u"10.00"_s}));

    dropOnto(cells[0], cells[1], cells[2], cells[3] < 0 ? meanColumn : cells[3]);
    QCOMPARE(shownMeans(), means);
    const int before = int(logLines().size());
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                      table->visualItemRect(table->item(0, 0)).center());
    const QStringList shown = logLines().mid(before);
    QVERIFY2(shown.join(u'\n').contains(details), qPrintable(shown.join(u'\n')));
    if (withB5)
        QVERIFY(shown.join(u'\n').contains(u"，没有成绩 1 人"_s));
}

void AdjustmentTest::undoRedo_restoreTableAndGroupingExactly()
{
    const QList<QAction *> menu = window->resultsTable->actions();
    auto enabled = [&] { return QList<bool>{menu.at(0)->isEnabled(), menu.at(1)->isEnabled()}; };
    QCOMPARE(menu.size(), 2);
    QCOMPARE(menu.at(0)->text() + menu.at(1)->text(), u"撤销重做"_s);
    QCOMPARE(enabled(), (QList<bool>{false, false}));

    const SeatingPlan original = window->state.currentGrouping;
    dropOnto(0, 1, 2, 1);
    const SeatingPlan adjusted = window->state.currentGrouping;
    QCOMPARE(enabled(), (QList<bool>{true, false}));

    QTest::keyClick(window.get(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(window->state.currentGrouping, original);
    QCOMPARE(seating(), start);
    QCOMPARE(logLines().last(), u"撤销: 手动交换: B1 ↔ G5"_s);
    QCOMPARE(enabled(), (QList<bool>{false, true}));

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

    dropOnto(0, 1, 0, 2);
    if (command == u"generateGroups"_s)
        QVERIFY(Test::generateAndWait(*window));
    else
        QVERIFY(QMetaObject::invokeMethod(window.get(), command.toLatin1().constData()));
    QCOMPARE(window->seatAdjuster->history().count(), 0);
    const SeatingPlan replaced = window->state.currentGrouping;
    QTest::keyClick(window.get(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(window->state.currentGrouping, replaced);
}

void AdjustmentTest::save_writesAdjustedSeats()
{
    QVERIFY(
        QFile::copy(Test::sourceDirectory() + u"/templates/座位样式1.xlsx"_s, appDir + u"/座位样式1.xlsx"_s));
    setFileOpener([](const QString &) {});
    dropOnto(0, 1, 2, 1);
    window->saveFile();
    setFileOpener({});
    QCOMPARE(dialogs.transcript(), QStringList());

    const QStringList charts = QDir(appDir).entryList({u"*_座位表.xlsx"_s});
    QCOMPARE(charts.size(), 1);
    if (!Test::hostProgramsRunHere()) {
        const QJsonArray run{u"python3"_s, QString(Test::sourceDirectory() + u"/tests/export/readchart.py"_s),
                             Test::keepForHost(window->state.templatePath),
                             Test::keepForHost(appDir + u"/"_s + charts.first())};
        const QJsonArray seats{QJsonObject{{u"marker"_s, u"1-1"_s}, {u"value"_s, u"G5"_s}},
                               QJsonObject{{u"marker"_s, u"3-1"_s}, {u"value"_s, u"B1"_s}}};
        Test::deferToHost({QJsonObject{
            {u"run"_s, run},
            {u"expect"_s, QJsonObject{{u"key"_s, u"marker"_s}, {u"items"_s, seats}, {u"partial"_s, true}}}}});
        return;
    }
    QProcess reader;
    reader.start(u"/usr/bin/python3"_s, {Test::sourceDirectory() + u"/tests/export/readchart.py"_s,
                                         window->state.templatePath, appDir + u"/"_s + charts.first()});
    QVERIFY(reader.waitForFinished(60000));
    QVERIFY2(reader.exitCode() == 0, reader.readAllStandardError().constData());
    QMap<QString, QString> seats;
    for (const QJsonValue &cell : QJsonDocument::fromJson(reader.readAllStandardOutput()).array())
        seats.insert(cell[u"marker"_s].toString(), cell[u"value"_s].toString());
    QCOMPARE(seats.value(u"1-1"_s) + u' ' + seats.value(u"3-1"_s), u"G5 B1"_s);
}

QTEST_MAIN(AdjustmentTest)
#include "adjustment_test.moc"
