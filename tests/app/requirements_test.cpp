#include "mainwindow.h"
#include "scripteddialogs.h"
#include "testenvironment.h"

#include <QComboBox>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QTextEdit>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace Velmora;

namespace {

void writeClass(const QString &path)
{
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue(u"Male/Names"_s, QStringList{u"张伟"_s, u"王强"_s});
    settings.setValue(u"Female/Names"_s, QStringList{u"李娜"_s, u"赵敏"_s});
    settings.setValue(u"Constraints/MustTogether"_s, QStringList{u"1,3"_s, u"2,4"_s});
    settings.setValue(u"Constraints/MustSeparate"_s, QStringList{u"1,2"_s});
}

QStringList tableRows(const QTableWidget *table)
{
    QStringList rows;
    for (int row = 0; row < table->rowCount(); ++row)
        rows.append(table->item(row, 0)->text() + u'|' + table->item(row, 1)->text() + u'|' +
                    table->item(row, 2)->text());
    return rows;
}

QString lastLogLine(const MainWindow &window)
{
    return window.logView->toPlainText().split(u'\n').last();
}

const QRegularExpression stamped(u"^\\d\\d:\\d\\d:\\d\\d - (.*)$"_s);

} // namespace

class RequirementsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        writeClass(Test::freshApplicationDirectory() + u"/config.ini"_s);
        dialogs.clear();
    }

    void add_data();
    void add();
    void remove_data();
    void remove();
    void remove_nothingSelectedInforms();

private:
    Test::ScriptedDialogs dialogs;
};

void RequirementsTest::add_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<QString>("newRow");
    QTest::addColumn<int>("held"); // requirements held before the click; 0 leaves the loaded three

    QTest::newRow("extraSpaces_accepted")
        << 0 << u"  张伟   赵敏 "_s << QString() << u"必须同组|张伟, 赵敏|待验证"_s << 0;
    QTest::newRow("separate_appendedAtBottom")
        << 1 << u"王强 李娜 赵敏"_s << QString() << u"不能同组|王强, 李娜, 赵敏|待验证"_s << 0;
    QTest::newRow("asciiComma_refused")
        << 0 << u"张伟,赵敏"_s << u"姓名不能包含逗号或分号"_s << QString() << 0;
    QTest::newRow("fullWidthComma_invalidName")
        << 0 << u"张伟，赵敏"_s << u"以下姓名无效: 张伟，赵敏"_s << QString() << 0;
    QTest::newRow("empty_refused") << 0 << QString() << u"请输入至少一个姓名"_s << QString() << 0;
    QTest::newRow("single_refused") << 1 << u"王强"_s << u"要求需要至少两个有效姓名"_s << QString() << 0;
    QTest::newRow("unknownAmongKnown_refused")
        << 0 << u"张伟 路人 赵敏"_s << u"以下姓名无效: 路人"_s << QString() << 0;
    QTest::newRow("justBelowBound_accepted")
        << 1 << u"王强 李娜"_s << QString() << u"不能同组|王强, 李娜|待验证"_s << 499;
    QTest::newRow("atBound_refused") << 1 << u"王强 李娜"_s << u"要求条数过多（最多 500 条）"_s << QString()
                                     << 500;
}

void RequirementsTest::add()
{
    QFETCH(int, kind);
    QFETCH(QString, input);
    QFETCH(QString, warning);
    QFETCH(QString, newRow);
    QFETCH(int, held);

    MainWindow window;
    while (held > 0 && window.state.mustTogether.size() + window.state.mustSeparate.size() < held)
        window.state.mustSeparate.append({1, 2});
    window.refreshConstraintTable();
    const QStringList rowsBefore = tableRows(window.constraintTable);
    const int together = int(window.state.mustTogether.size());
    const int separate = int(window.state.mustSeparate.size());
    window.constraintTypeCombo->setCurrentIndex(kind);
    window.constraintNamesEdit->setText(input);
    const QString logBefore = window.logView->toPlainText();
    window.addConstraintButton->click();

    if (!warning.isEmpty()) {
        QCOMPARE(dialogs.transcript(), QStringList({u"warning: 输入错误 / "_s + warning}));
        QCOMPARE(dialogs.calls.at(0).parent, &window);
        QCOMPARE(tableRows(window.constraintTable), rowsBefore);
        QCOMPARE(window.constraintNamesEdit->text(), input);
        QCOMPARE(window.logView->toPlainText(), logBefore);
        QCOMPARE(window.state.mustTogether.size(), together);
        QCOMPARE(window.state.mustSeparate.size(), separate);
        return;
    }
    QVERIFY(dialogs.calls.isEmpty());
    QCOMPARE(tableRows(window.constraintTable), rowsBefore + QStringList{newRow});
    QCOMPARE(window.constraintNamesEdit->text(), QString());
    QCOMPARE(window.constraintTypeCombo->currentIndex(), kind);
    QCOMPARE(window.state.mustTogether.size(), together + (kind == 0 ? 1 : 0));
    QCOMPARE(window.state.mustSeparate.size(), separate + (kind == 1 ? 1 : 0));
    const QRegularExpressionMatch match = stamped.match(lastLogLine(window));
    QVERIFY(match.hasMatch());
    QCOMPARE(match.captured(1), u"要求添加成功"_s);
}

void RequirementsTest::remove_data()
{
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<QList<Constraint>>("together");
    QTest::addColumn<QList<Constraint>>("separate");
    QTest::addColumn<QStringList>("kinds");

    // After one more must-together entry the table reads together, together, separate, together.
    QTest::newRow("lastRow_thirdTogether")
        << QList<int>{3} << QList<Constraint>{{1, 3}, {2, 4}} << QList<Constraint>{{1, 2}}
        << QStringList{u"必须同组"_s, u"必须同组"_s, u"不能同组"_s};
    QTest::newRow("thirdRow_firstSeparate")
        << QList<int>{2} << QList<Constraint>{{1, 3}, {2, 4}, {1, 4}} << QList<Constraint>{}
        << QStringList{u"必须同组"_s, u"必须同组"_s, u"必须同组"_s};
    QTest::newRow("rowsZeroAndTwo_both") << QList<int>{0, 2} << QList<Constraint>{{2, 4}, {1, 4}}
                                         << QList<Constraint>{} << QStringList{u"必须同组"_s, u"必须同组"_s};
    QTest::newRow("rowsOneAndThree_firstTogetherLeft")
        << QList<int>{1, 3} << QList<Constraint>{{1, 3}} << QList<Constraint>{{1, 2}}
        << QStringList{u"必须同组"_s, u"不能同组"_s};
}

void RequirementsTest::remove()
{
    QFETCH(QList<int>, selected);
    QFETCH(QList<Constraint>, together);
    QFETCH(QList<Constraint>, separate);
    QFETCH(QStringList, kinds);

    MainWindow window;
    window.constraintTypeCombo->setCurrentIndex(0);
    window.constraintNamesEdit->setText(u"张伟 赵敏"_s);
    window.addConstraintButton->click();
    QCOMPARE(window.constraintTable->rowCount(), 4);

    QItemSelectionModel *selection = window.constraintTable->selectionModel();
    for (int row : selected)
        selection->select(window.constraintTable->model()->index(row, 0),
                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
    const int linesBefore = int(window.logView->toPlainText().split(u'\n').size());
    window.removeConstraintButton->click();

    QVERIFY(dialogs.calls.isEmpty());
    QCOMPARE(window.state.mustTogether, together);
    QCOMPARE(window.state.mustSeparate, separate);
    QStringList shown;
    for (int row = 0; row < window.constraintTable->rowCount(); ++row)
        shown.append(window.constraintTable->item(row, 0)->text());
    QCOMPARE(shown, kinds);
    const QStringList log = window.logView->toPlainText().split(u'\n');
    QCOMPARE(log.size(), linesBefore + 1);
    QCOMPARE(stamped.match(log.last()).captured(1), u"要求已移除"_s);
}

void RequirementsTest::remove_nothingSelectedInforms()
{
    MainWindow window;
    window.removeConstraintButton->click();
    QCOMPARE(dialogs.transcript(), QStringList({u"information: 提示 / 请先选择要移除的要求"_s}));
    QCOMPARE(window.state.mustTogether.size(), 2);
    QCOMPARE(window.constraintTable->rowCount(), 3);
}

QTEST_MAIN(RequirementsTest)
#include "requirements_test.moc"
