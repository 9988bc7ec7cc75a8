#include "classfixture.h"
#include "personneldialog.h"
#include "resultstable.h"

#include <QHeaderView>
#include <QLayout>
#include <QPushButton>
#include <QTableWidget>
#include <QTextEdit>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace Velmora;
using Velmora::Test::classState;

class ResultsTableTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void layout_data();
    void layout();
    void memberStyling_data();
    void memberStyling();
    void noEnabledGroup_emptiesRowsKeepsColumns();
    void personnelDialog_showsReportAndClosesOnButton();
};

static QStringList rowTexts(const QTableWidget &table, int row)
{
    QStringList texts;
    for (int column = 0; column < table.columnCount(); ++column) {
        const QTableWidgetItem *item = table.item(row, column);
        texts.append(item ? item->text() : u"<null>"_s);
    }
    return texts;
}

void ResultsTableTest::layout_data()
{
    QTest::addColumn<QString>("grouping");
    QTest::addColumn<QList<int>>("enabledIndices");
    QTest::addColumn<int>("largestTotal");
    QTest::addColumn<int>("columns");
    QTest::addColumn<QStringList>("lastRow"); // every cell, fillers included
    QTest::addColumn<int>("shownMembers");    // member columns not hidden: the most seats of a row

    const QStringList fillers(6, QString());
    QTest::newRow("totalsUpTo10_elevenColumnsWithFillers")
        << "B1|B2 G1 G2 G3" << QList<int>{0, 1} << 10 << 11
        << (QStringList{u"组 2"_s, u"B2"_s, u"G1"_s, u"G2"_s, u"G3"_s} + fillers) << 4;
    QTest::newRow("total12_thirteenColumns")
        << "B1|B2" << QList<int>{0, 1} << 12 << 13
        << (QStringList{u"组 2"_s, u"B2"_s} + QStringList(11, QString())) << 1;
    QTest::newRow("groups2And5_labelledByGroupNumber")
        << "B1|G1 G2 G3 G4" << QList<int>{1, 4} << 6 << 11
        << (QStringList{u"组 5"_s, u"G1"_s, u"G2"_s, u"G3"_s, u"G4"_s} + fillers) << 4;
    // Column s is seat s: an empty seat stays an empty cell where it is, and B2 stays under 成员3.
    QTest::newRow("emptySeat_laterSeatKeepsItsColumn")
        << "G1|B1 - B2" << QList<int>{0, 1} << 6 << 11
        << (QStringList{u"组 2"_s, u"B1"_s, QString(), u"B2"_s} + QStringList(7, QString())) << 3;
    QTest::newRow("groupLongerThanColumns_cutAtLastColumn")
        << "B1 B2 B3 B4 B5 B6 B7 B8 G1 G2 G3 G4" << QList<int>{3} << 6 << 11
        << QStringList{u"组 4"_s, u"B1"_s, u"B2"_s, u"B3"_s, u"B4"_s, u"B5"_s,
                       u"B6"_s,   u"B7"_s, u"B8"_s, u"G1"_s, u"G2"_s}
        << 10;
    QTest::newRow("groupingShorterThanEnabled_emptyRow")
        << "B1" << QList<int>{0, 1} << 6 << 11 << (QStringList{u"组 2"_s} + QStringList(10, QString())) << 1;
}

void ResultsTableTest::layout()
{
    QFETCH(QString, grouping);
    QFETCH(QList<int>, enabledIndices);
    QFETCH(int, largestTotal);
    QFETCH(int, columns);
    QFETCH(QStringList, lastRow);
    QFETCH(int, shownMembers);

    ClassState state = classState(grouping);
    for (int i = 0; i < GroupCount; ++i) {
        state.groupConfigs[i].enabled = enabledIndices.contains(i);
        state.groupConfigs[i].total = 6;
    }
    // A disabled group's seats never widen the table.
    state.groupConfigs[9].total = 30;
    state.groupConfigs[enabledIndices.first()].total = largestTotal;

    QTableWidget table(3, 20);
    table.setItem(2, 15, new QTableWidgetItem(u"old"_s));
    refreshResultsTable(&table, state);

    QCOMPARE(table.rowCount(), int(enabledIndices.size()));
    QCOMPARE(table.columnCount(), columns);
    QCOMPARE(table.horizontalHeaderItem(0)->text(), u"组号"_s);
    for (int j = 1; j < columns; ++j)
        QCOMPARE(table.horizontalHeaderItem(j)->text(), u"成员%1"_s.arg(j));
    QCOMPARE(rowTexts(table, table.rowCount() - 1), lastRow);
    QCOMPARE(table.item(0, 0)->text(), u"组 %1"_s.arg(enabledIndices.first() + 1));
    for (int j = 0; j < columns; ++j)
        QCOMPARE(table.horizontalHeader()->sectionResizeMode(j), QHeaderView::Stretch);
    // Columns past every group's seats are hidden, not removed: the headers stay as they are.
    for (int j = 0; j < columns; ++j)
        QVERIFY2(table.isColumnHidden(j) == (j > shownMembers), qPrintable(u"column %1"_s.arg(j)));
}

void ResultsTableTest::memberStyling_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("leader");
    QTest::addColumn<bool>("boarder");
    QTest::addColumn<QColor>("background");

    QTest::newRow("plainBoy_blue") << "B1" << false << false << QColor(200, 230, 255);
    QTest::newRow("plainGirl_pink") << "G1" << false << false << QColor(255, 230, 255);
    QTest::newRow("leaderGirl_boldPink") << "G1" << true << false << QColor(255, 230, 255);
    QTest::newRow("boarderBoy_yellow") << "B1" << false << true << QColor(Qt::yellow);
    QTest::newRow("leaderBoarder_boldYellow") << "G1" << true << true << QColor(Qt::yellow);
}

void ResultsTableTest::memberStyling()
{
    QFETCH(QString, name);
    QFETCH(bool, leader);
    QFETCH(bool, boarder);
    QFETCH(QColor, background);

    ClassState state = classState(name);
    if (leader)
        state.roster.leaderNames.insert(name);
    if (boarder)
        state.roster.boarderNames.insert(name);
    QTableWidget table;
    refreshResultsTable(&table, state);

    const QTableWidgetItem *member = table.item(0, 1);
    QCOMPARE(member->background().color(), background);
    QCOMPARE(member->background().style(), Qt::SolidPattern);
    QCOMPARE(member->font().bold(), leader);
    // The label and the fillers keep the default look.
    for (int column : {0, 2}) {
        QCOMPARE(table.item(0, column)->background().style(), Qt::NoBrush);
        QVERIFY(!table.item(0, column)->font().bold());
    }
}

void ResultsTableTest::noEnabledGroup_emptiesRowsKeepsColumns()
{
    ClassState state = classState(u"B1|B2"_s);
    QTableWidget table;
    refreshResultsTable(&table, state);
    for (GroupConfig &config : state.groupConfigs)
        config.enabled = false;
    refreshResultsTable(&table, state);
    QCOMPARE(table.rowCount(), 0);
    QCOMPARE(table.columnCount(), 11);
    QCOMPARE(table.horizontalHeaderItem(10)->text(), u"成员10"_s);
}

void ResultsTableTest::personnelDialog_showsReportAndClosesOnButton()
{
    QWidget window;
    PersonnelDialog dialog(u"<h2>人员检查报告</h2>"_s, &window);
    QCOMPARE(dialog.parentWidget(), &window);
    QCOMPARE(dialog.windowTitle(), u"人员检查报告"_s);
    QCOMPARE(dialog.size(), QSize(350, 400));
    QVERIFY(dialog.reportView->isReadOnly());
    QCOMPARE(dialog.reportView->toPlainText(), u"人员检查报告"_s);
    QCOMPARE(dialog.closeButton->text(), u"关闭"_s);
    QLayout *layout = dialog.layout();
    QCOMPARE(layout->itemAt(0)->widget(), dialog.reportView);
    QCOMPARE(layout->itemAt(1)->widget(), dialog.closeButton);
    QCOMPARE(layout->itemAt(1)->alignment(), Qt::AlignRight);

    dialog.show();
    dialog.closeButton->click();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

QTEST_MAIN(ResultsTableTest)
#include "resultstable_test.moc"
