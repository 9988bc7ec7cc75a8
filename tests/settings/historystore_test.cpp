#include "historystore.h"
#include "testenvironment.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
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

// `count` rounds of two pupils, the first with the given id, the others numbered on from 1.
QByteArray manyRounds(int count, qint64 firstId = 1)
{
    GroupHistory history;
    const QDateTime when(QDate(2025, 1, 1), QTime(8, 0));
    for (int i = 0; i < count; ++i)
        history.rounds.append({i + 1, when.addSecs(i), {{1, {u"甲"_s, u"丙"_s}}}});
    QByteArray json = HistoryStore::toJson(history);
    json.replace("\"id\": 1,", QByteArray("\"id\": " + QByteArray::number(firstId) + ","));
    return json;
}

// A file even root cannot replace: immutable on Linux, read-only on Windows.
bool makeReadOnly(const QString &path, bool readOnly)
{
#ifdef Q_OS_WIN
    return QFile::setPermissions(path, readOnly ? QFile::ReadOwner : QFile::ReadOwner | QFile::WriteOwner);
#else
    return QProcess::execute(u"chattr"_s, {readOnly ? u"+i"_s : u"-i"_s, path}) == 0;
#endif
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
    QTest::addColumn<QString>("setup");      // what stands at the path instead of, or besides, the text
    QTest::addColumn<int>("rounds");
    // How the line of the load starts; empty: no line. A file called damaged or too large is set aside.
    QTest::addColumn<QString>("loadLine");
    QTest::addColumn<QString>("saveLine"); // how the line of the next save starts
    QTest::addColumn<QString>("ids");      // the ids read back after that save

    const QByteArray sample = HistoryStore::toJson(sampleHistory());
    const QString damaged = u"历史记录文件已损坏"_s;
    QTest::newRow("missing_emptyWithoutLine")
        << QByteArray() << QString() << 0 << QString() << QString() << u"1"_s;
    QTest::newRow("written_readBackWhole")
        << sample << QString() << 2 << QString() << QString() << u"1 2 3"_s;
    QTest::newRow("notJson_setAside")
        << QByteArray("{\"version\": 1, \"rounds\": [") << QString() << 0 << damaged << QString() << u"1"_s;
    QTest::newRow("emptyFile_setAside") << QByteArray("") << QString() << 0 << damaged << QString() << u"1"_s;
    QTest::newRow("binaryJunk_setAside")
        << QByteArray("\x00\xFF\xFE{\x80\x01", 6) << QString() << 0 << damaged << QString() << u"1"_s;
    QTest::newRow("groupOutOfRange_setAside") << QByteArray(sample).replace("\"group\": 3", "\"group\": 11")
                                              << QString() << 0 << damaged << QString() << u"1"_s;
    // An id was only ever a handle: repeated or at the end of the int range, it is renumbered.
    QTest::newRow("repeatedId_renumbered") << QByteArray(sample).replace("\"id\": 2", "\"id\": 1")
                                           << QString() << 2 << QString() << QString() << u"1 2 3"_s;
    QTest::newRow("idIntMax_renumberedNoOverflow")
        << manyRounds(1, 2147483647) << QString() << 1 << QString() << QString() << u"1 2"_s;
    QStringList first200;
    for (int id = 1; id <= GroupHistory::MaxRounds; ++id)
        first200.append(QString::number(id));
    const QString bound = u"历史记录最多保留 200 次分组，已删除最早的 "_s;
    QTest::newRow("over200_oldestDroppedAtSave")
        << manyRounds(210) << QString() << 200 << QString() << bound + u"11 次"_s << first200.join(u' ');
    QTest::newRow("exactly200_oneDroppedAtSave")
        << manyRounds(200) << QString() << 200 << QString() << bound + u"1 次"_s << first200.join(u' ');
    QTest::newRow("over16MB_setAsideUnread")
        << QByteArray() << u"huge"_s << 0 << u"历史记录文件过大（超过 16 MB）"_s << QString() << u"1"_s;
    QTest::newRow("folderInPlace_ownLineKept")
        << QByteArray() << u"folder"_s << 0 << u"历史记录文件 "_s << QString() << QString();
#ifndef Q_OS_WIN
    QTest::newRow("unreadable_ownLineKept")
        << QByteArray() << u"loop"_s << 0 << u"历史记录文件 "_s << QString() << QString();
#endif
    QTest::newRow("readOnly_chineseLine")
        << sample << u"readonly"_s << 2 << QString() << u"历史记录保存失败：文件 "_s << QString();
}

void HistoryStoreTest::load()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, setup);
    QFETCH(int, rounds);
    QFETCH(QString, loadLine);
    QFETCH(QString, saveLine);
    QFETCH(QString, ids);

    const QString dir = Test::freshApplicationDirectory();
    const QString path = HistoryStore::defaultPath();
    QCOMPARE(path, QDir(dir).filePath(u"history.json"_s));
    if (setup == u"huge"_s)
        content = "{\"version\": 1, \"rounds\": [" + QByteArray(HistoryStore::MaxFileSize, ' ') + "]}";
    if (!content.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    if (setup == u"folder"_s)
        QVERIFY(QDir(dir).mkdir(u"history.json"_s));
    if (setup == u"loop"_s)
        QVERIFY(QFile::link(path, path));
    if (setup == u"readonly"_s && !makeReadOnly(path, true))
        QSKIP("no way to make a file read-only here");
    const auto undo = qScopeGuard([&] {
        if (setup == u"readonly"_s)
            makeReadOnly(path, false);
    });

    HistoryStore store;
    const QString line = store.load();
    QCOMPARE(store.history().rounds.size(), rounds);
    QVERIFY2(loadLine.isEmpty() ? line.isEmpty() : line.startsWith(loadLine), qPrintable(line));
    if (content == HistoryStore::toJson(sampleHistory()))
        QCOMPARE(store.history().rounds.constLast().groups, sampleHistory().rounds.constLast().groups);
    const bool setAside =
        loadLine.startsWith(u"历史记录文件已损坏"_s) || loadLine.startsWith(u"历史记录文件过大"_s);
    const QStringList aside = QDir(dir).entryList({u"history.json.damaged-*"_s});
    QCOMPARE(aside.size(), setAside ? 1 : 0);
    if (setAside)
        QVERIFY(line.contains(aside.first()));

    ClassState state = smallClass();
    state.currentGrouping = SeatingPlan::fromMembers({{1, 3}});
    const QString saved = store.recordSaved(state, QDateTime::currentDateTime());
    QVERIFY2(saveLine.isEmpty() ? saved.isEmpty() : saved.startsWith(saveLine), qPrintable(saved));
    // Whatever the teacher is told, it is told in Chinese; only the path and a unit may hold Latin
    // letters.
    for (QString told : {line, saved}) {
        told.remove(
            QRegularExpression(QRegularExpression::escape(QDir::toNativeSeparators(dir)) + u"[^，\\s]*"_s));
        QVERIFY2(!told.remove(u" MB"_s).contains(QRegularExpression(u"[A-Za-z]{2,}"_s)), qPrintable(told));
    }
    // The damaged bytes survive the write, which starts a new file; what could not be read stays.
    QFile kept(setAside ? QDir(dir).filePath(aside.first()) : path);
    if (setAside || setup == u"readonly"_s)
        QVERIFY(kept.open(QIODevice::ReadOnly) && kept.readAll() == content);
    QCOMPARE(QFileInfo(path).isDir(), setup == u"folder"_s);
    QCOMPARE(QFileInfo(path).isSymLink(), setup == u"loop"_s);
    if (ids.isNull())
        return;
    HistoryStore reread;
    QCOMPARE(reread.load(), QString());
    QStringList read;
    for (const HistoryRound &round : reread.history().rounds)
        read.append(QString::number(round.id));
    QCOMPARE(read.join(u' '), ids);
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
