#include "historystore.h"
#include "testenvironment.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace Velmora;

namespace {

ClassState smallClass()
{
    ClassState state;
    state.roster.maleNames = {u"甲"_s, u"乙"_s};
    state.roster.femaleNames = {u"丙"_s, u"丁"_s};
    state.roster.rebuildNameMaps();
    state.groupConfigs = defaultGroupConfigs();
    return state;
}

GroupHistory sampleHistory()
{
    GroupHistory history;
    history.settings = {false, 5};
    const QDateTime when(QDate(2025, 10, 7), QTime(18, 0, 0));
    history.record({0, when, {{1, {u"甲"_s, u"丙"_s}}, {3, {u"乙"_s, u"丁"_s}}}});
    history.record({0, when.addDays(14), {{2, {u"甲"_s, u"已转学"_s}}}});
    return history;
}

} // namespace

class HistoryStoreTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void load_data();
    void load();
    void saves_data();
    void saves();
};

void HistoryStoreTest::load_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file
    QTest::addColumn<int>("rounds");
    QTest::addColumn<bool>("setAside");
    QTest::addColumn<int>("namesOffRoster");

    QTest::newRow("missing_emptyWithoutLine") << QByteArray() << 0 << false << 0;
    QTest::newRow("written_readBackWhole") << HistoryStore::toJson(sampleHistory()) << 2 << false << 1;
    QTest::newRow("notJson_setAside") << QByteArray("{\"version\": 1, \"rounds\": [") << 0 << true << 0;
    QTest::newRow("emptyFile_setAside") << QByteArray("") << 0 << true << 0;
    QByteArray twice = HistoryStore::toJson(sampleHistory());
    twice.replace("\"id\": 2", "\"id\": 1");
    QTest::newRow("repeatedId_setAside") << twice << 0 << true << 0;
    QByteArray badGroup = HistoryStore::toJson(sampleHistory());
    badGroup.replace("\"group\": 3", "\"group\": 11");
    QTest::newRow("groupOutOfRange_setAside") << badGroup << 0 << true << 0;
}

void HistoryStoreTest::load()
{
    QFETCH(QByteArray, content);
    QFETCH(int, rounds);
    QFETCH(bool, setAside);
    QFETCH(int, namesOffRoster);

    const QString dir = Test::freshApplicationDirectory();
    const QString path = HistoryStore::defaultPath();
    QCOMPARE(path, QDir(dir).filePath(u"history.json"_s));
    if (!content.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    HistoryStore store;
    const QString line = store.load();
    QCOMPARE(store.history().rounds.size(), rounds);
    QCOMPARE(int(store.history().namesNotOnRoster(smallClass().roster).size()), namesOffRoster);
    if (rounds > 0)
        QCOMPARE(store.history(), sampleHistory());

    const QStringList aside = QDir(dir).entryList({u"history.json.damaged-*"_s});
    QCOMPARE(aside.size(), setAside ? 1 : 0);
    QCOMPARE(line.isEmpty(), !setAside);
    if (!setAside)
        return;
    QVERIFY(line.contains(aside.first()));
    // The damaged bytes survive the next write, which starts a new file.
    ClassState state = smallClass();
    state.currentGrouping = SeatingPlan::fromMembers({{1, 3}});
    QCOMPARE(store.recordSaved(state, QDateTime::currentDateTime()), QString());
    QFile kept(QDir(dir).filePath(aside.first()));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), content);
    HistoryStore reread;
    QCOMPARE(reread.load(), QString());
    QCOMPARE(reread.history().rounds.size(), 1);
}

void HistoryStoreTest::saves_data()
{
    // s: save the grouping shown; a: adjust it by hand; n: a new generate; b: a blank chart;
    // d: delete the newest round in the settings.
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("expected"); // the rounds read back from the file, oldest first

    QTest::newRow("saveTwice_oneRound") << u"ss"_s << u"1:甲丙|乙丁"_s;
    QTest::newRow("adjustedThenSaved_roundUpdated") << u"sas"_s << u"1:乙丙|甲丁"_s;
    QTest::newRow("newGrouping_newRound") << u"sns"_s << u"1:甲丙|乙丁 2:甲丙|乙丁"_s;
    QTest::newRow("roundDeletedThenSaved_addedAgain") << u"sds"_s << u"1:甲丙|乙丁"_s;
    QTest::newRow("blankChart_notRecorded") << u"bs"_s << QString();
}

void HistoryStoreTest::saves()
{
    QFETCH(QString, script);
    QFETCH(QString, expected);

    Test::freshApplicationDirectory();
    ClassState state = smallClass();
    state.currentGrouping = SeatingPlan::fromMembers({{1, 3}, {2, 4}});
    HistoryStore store;
    QCOMPARE(store.load(), QString());
    QDateTime when(QDate(2025, 10, 7), QTime(8, 0));
    for (QChar step : script) {
        when = when.addSecs(60);
        if (step == u's')
            QCOMPARE(store.recordSaved(state, when), QString());
        else if (step == u'a')
            std::swap(state.currentGrouping.seatsAt(0)[0], state.currentGrouping.seatsAt(1)[0]);
        else if (step == u'n')
            store.startNewGrouping();
        else if (step == u'b')
            state.currentGrouping = SeatingPlan::blank(9, 6);
        else if (step == u'd')
            QCOMPARE(store.removeRound(store.history().rounds.constLast().id), QString());
    }

    HistoryStore reread;
    QCOMPARE(reread.load(), QString());
    QStringList rounds;
    for (const HistoryRound &round : reread.history().rounds) {
        QStringList groups;
        for (const HistoryGroup &group : round.groups)
            groups.append(group.names.join(QString()));
        rounds.append(u"%1:%2"_s.arg(round.id).arg(groups.join(u'|')));
    }
    QCOMPARE(rounds.join(u' '), expected);
}

QTEST_GUILESS_MAIN(HistoryStoreTest)
#include "historystore_test.moc"
