#include "configstore.h"
#include "testenvironment.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace Velmora;

namespace {

// Writes raw INI text, the way a teacher's existing file (or a hand edit) would look.
void writeConfig(const QString &dir, const QByteArray &text)
{
    QFile file(dir + u"/config.ini"_s);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

ClassState loaded()
{
    ClassState state;
    ConfigStore::loadConfiguration(state);
    state.groupConfigs = defaultGroupConfigs();
    ConfigStore::loadGroupConfiguration(state);
    return state;
}

} // namespace

class ConfigStoreTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { appDir = Test::freshApplicationDirectory(); }

    void missingFile_givesDefaultsAndThreeLines();
    void roundTrip_keepsEverything();
    void fixedPositionItems_data();
    void fixedPositionItems();
    void constraintItems_data();
    void constraintItems();
    void seatCounts_data();
    void seatCounts();
    void nameMaps_duplicateNamesKeepLastNumber();
    void leadersListedTwice_countOnce();
    void customPath_writtenOnlyForCustomStyle();
    void unknownKeys_survive();
    void unwritableFile_reportsFailure();

private:
    QString appDir;
};

void ConfigStoreTest::missingFile_givesDefaultsAndThreeLines()
{
    ClassState state;
    const QStringList lines = ConfigStore::loadConfiguration(state);
    QCOMPARE(lines, QStringList({u"加载了 0 名男生和 0 名女生"_s, u"加载了 0 名组长和 0 名外宿生"_s,
                                 u"当前样式: 样式1"_s}));
    QCOMPARE(state.configPath, appDir + u"/config.ini"_s);
    QCOMPARE(state.currentStyle, u"样式1"_s);

    state.groupConfigs = defaultGroupConfigs();
    ConfigStore::loadGroupConfiguration(state);
    QCOMPARE(state.groupConfigs.size(), 10);
    for (int i = 0; i < 10; ++i) {
        const GroupConfig &config = state.groupConfigs.at(i);
        QCOMPARE(config.enabled, i < 9);
        QCOMPARE(config.total, i < 9 ? 6 : 0);
        QCOMPARE(config.males, 2);
        QCOMPARE(config.females, 4);
    }
    QCOMPARE(state.enabledGroupCount, 9);
    QVERIFY(state.fixedPositions.isEmpty());
    QVERIFY(state.mustTogether.isEmpty());
    QVERIFY(state.mustSeparate.isEmpty());
    // Loading must not create the file; the first save does.
    QVERIFY(!QFile::exists(state.configPath));
}

void ConfigStoreTest::roundTrip_keepsEverything()
{
    ClassState state;
    ConfigStore::loadConfiguration(state);
    state.roster.maleNames = {u"张伟"_s, u" 王强 "_s};
    state.roster.femaleNames = {u"李娜"_s, u"刘丽"_s, u"陈敏"_s};
    state.roster.leaderNames = {u"张伟"_s, u"李娜"_s};
    state.roster.boarderNames = {u"陈敏"_s};
    state.currentStyle = u"样式2"_s;
    state.groupConfigs = defaultGroupConfigs();
    state.groupConfigs[9] = {true, 8, 3, 5};
    state.groupConfigs[0].enabled = false;
    state.fixedPositions.insert(4, qMakePair(2, 3));
    state.fixedPositions.insert(1, qMakePair(10, 6));
    state.mustTogether = {{1, 3}, {2, 4, 5}};
    state.mustSeparate = {{3, 5}};
    QVERIFY(ConfigStore::saveRosterAndStyle(state, u"/ignored.xlsx"_s));
    QVERIFY(ConfigStore::saveGroupConfiguration(state));

    const ClassState back = loaded();
    QCOMPARE(back.roster.maleNames, state.roster.maleNames);
    QCOMPARE(back.roster.femaleNames, state.roster.femaleNames);
    QCOMPARE(back.roster.leaderNames, state.roster.leaderNames);
    QCOMPARE(back.roster.boarderNames, state.roster.boarderNames);
    QCOMPARE(back.currentStyle, u"样式2"_s);
    QCOMPARE(back.groupConfigs.at(9).total, 8);
    QCOMPARE(back.groupConfigs.at(9).males, 3);
    QCOMPARE(back.groupConfigs.at(9).females, 5);
    QVERIFY(back.groupConfigs.at(9).enabled);
    QVERIFY(!back.groupConfigs.at(0).enabled);
    QCOMPARE(back.enabledGroupCount, 9);
    QCOMPARE(back.fixedPositions, state.fixedPositions);
    QCOMPARE(back.mustTogether, state.mustTogether);
    QCOMPARE(back.mustSeparate, state.mustSeparate);
    QCOMPARE(back.roster.nameToId.value(u"李娜"_s), 3);

    // The items are stored by number in the documented text form, in ascending PersonId order.
    QSettings raw(state.configPath, QSettings::IniFormat);
    QCOMPARE(raw.value(u"FixedPositions/List"_s).toStringList(), QStringList({u"1,10,6"_s, u"4,2,3"_s}));
    QCOMPARE(raw.value(u"Constraints/MustTogether"_s).toStringList(), QStringList({u"1,3"_s, u"2,4,5"_s}));
}

void ConfigStoreTest::fixedPositionItems_data()
{
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<FixedPositionMap>("expected");

    QTest::newRow("wellFormed_isTaken") << QStringList{u"7,2,3"_s} << FixedPositionMap{{7, {2, 3}}};
    QTest::newRow("twoParts_isSkipped") << QStringList{u"5,2"_s} << FixedPositionMap{};
    QTest::newRow("fourParts_isSkipped") << QStringList{u"5,2,3,4"_s} << FixedPositionMap{};
    QTest::newRow("laterItem_replacesEarlier")
        << QStringList{u"5,1,1"_s, u"5,2,2"_s} << FixedPositionMap{{5, {2, 2}}};
    QTest::newRow("garbageNumbers_readAsZero") << QStringList{u"x,,3"_s} << FixedPositionMap{{0, {0, 3}}};
    QTest::newRow("outOfRange_takenAsItStands")
        << QStringList{u"99,11,7"_s} << FixedPositionMap{{99, {11, 7}}};
}

void ConfigStoreTest::fixedPositionItems()
{
    QFETCH(QStringList, items);
    QFETCH(FixedPositionMap, expected);
    {
        QSettings settings(appDir + u"/config.ini"_s, QSettings::IniFormat);
        settings.setValue(u"FixedPositions/List"_s, items);
    }
    QCOMPARE(loaded().fixedPositions, expected);
}

void ConfigStoreTest::constraintItems_data()
{
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QList<Constraint>>("expected");

    QTest::newRow("emptyPart_readsAsZero") << QStringList{u"3,,7"_s} << QList<Constraint>{{3, 0, 7}};
    QTest::newRow("singleNumber_isOneMember") << QStringList{u"4"_s} << QList<Constraint>{{4}};
    QTest::newRow("emptyItem_stillYieldsOneEntry") << QStringList{QString()} << QList<Constraint>{{0}};
    QTest::newRow("order_isKept") << QStringList{u"9,2"_s, u"1,5,3"_s}
                                  << QList<Constraint>{{9, 2}, {1, 5, 3}};
}

void ConfigStoreTest::constraintItems()
{
    QFETCH(QStringList, items);
    QFETCH(QList<Constraint>, expected);
    {
        QSettings settings(appDir + u"/config.ini"_s, QSettings::IniFormat);
        settings.setValue(u"Constraints/MustTogether"_s, items);
        settings.setValue(u"Constraints/MustSeparate"_s, items);
    }
    const ClassState state = loaded();
    QCOMPARE(state.mustTogether, expected);
    QCOMPARE(state.mustSeparate, expected);
}

// A hand-edited total sizes the engine's seat lists and the results table; out of range it
// aborted the allocation or ran for minutes.
void ConfigStoreTest::seatCounts_data()
{
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<int>("used");
    QTest::addColumn<QString>("warning");

    const QString line = u"警告: 组3 座位数 %1 超出范围，已按 %2 处理"_s;
    QTest::newRow("inRange_keptSilently") << QByteArray("6") << 6 << QString();
    QTest::newRow("upperBound_keptSilently") << QByteArray("100") << 100 << QString();
    QTest::newRow("notANumber_zeroSilently") << QByteArray("abc") << 0 << QString();
    QTest::newRow("justAbove_clamped") << QByteArray("101") << 100 << line.arg(u"101"_s).arg(100);
    QTest::newRow("intMax_clamped") << QByteArray("2147483647") << 100 << line.arg(u"2147483647"_s).arg(100);
    QTest::newRow("beyondInt_warningShowsWrittenValue")
        << QByteArray("9999999999") << 100 << line.arg(u"9999999999"_s).arg(100);
    QTest::newRow("wrapsToSmallInt_clamped")
        << QByteArray("4294967396") << 100 << line.arg(u"4294967396"_s).arg(100);
    QTest::newRow("beyondAnyInteger_clamped")
        << QByteArray("99999999999999999999") << 100 << line.arg(u"99999999999999999999"_s).arg(100);
    QTest::newRow("negative_zero") << QByteArray("-5") << 0 << line.arg(u"-5"_s).arg(0);
}

void ConfigStoreTest::seatCounts()
{
    QFETCH(QByteArray, written);
    QFETCH(int, used);
    QFETCH(QString, warning);
    // One file per row: QSettings caches a file by path and may miss a rewrite of equal size.
    ClassState state;
    state.configPath = appDir + u'/' + QString::fromLatin1(QTest::currentDataTag()) + u".ini";
    QFile file(state.configPath);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[GroupConfig_2]\ntotal=" + written + "\n");
    file.close();
    state.groupConfigs = defaultGroupConfigs();
    const QStringList lines = ConfigStore::loadGroupConfiguration(state);
    QCOMPARE(state.groupConfigs.at(2).total, used);
    QCOMPARE(lines, warning.isEmpty() ? QStringList() : QStringList{warning});
    QCOMPARE(state.groupConfigs.at(1).total, 6);
}

void ConfigStoreTest::nameMaps_duplicateNamesKeepLastNumber()
{
    ClassState state;
    state.roster.maleNames = {u"甲"_s, u"乙"_s, u"甲"_s};
    state.roster.femaleNames = {u"乙"_s, u"丙"_s};
    const QString line = ConfigStore::rebuildNameMaps(state);
    QCOMPARE(line, u"更新了姓名映射: 3 名男生, 2 名女生"_s);
    QCOMPARE(state.roster.nameToId.value(u"甲"_s), 3);
    // A name on both lists maps to the girl's number.
    QCOMPARE(state.roster.nameToId.value(u"乙"_s), 4);
    QCOMPARE(state.roster.idToName.size(), 5);
    QCOMPARE(state.roster.idToName.value(1), u"甲"_s);
    QCOMPARE(state.roster.gender(4), QLatin1Char('F'));
    QCOMPARE(state.roster.gender(3), QLatin1Char('M'));
    QCOMPARE(state.roster.gender(0), QLatin1Char('F'));
    QCOMPARE(state.roster.gender(-1), QLatin1Char('F'));
    QCOMPARE(state.roster.gender(6), QLatin1Char('F'));
}

void ConfigStoreTest::leadersListedTwice_countOnce()
{
    writeConfig(appDir, "[Leaders]\nNames=A, B, A\n[Boarders]\nNames=C, C\n");
    ClassState state;
    const QStringList lines = ConfigStore::loadConfiguration(state);
    QCOMPARE(lines.at(1), u"加载了 2 名组长和 1 名外宿生"_s);
}

void ConfigStoreTest::customPath_writtenOnlyForCustomStyle()
{
    ClassState state;
    ConfigStore::loadConfiguration(state);
    state.currentStyle = u"自定义"_s;
    QVERIFY(ConfigStore::saveRosterAndStyle(state, u"/tmp/mine.xlsx"_s));
    QCOMPARE(ConfigStore::readCustomPath(state.configPath), u"/tmp/mine.xlsx"_s);

    // Another style leaves the stored path alone, so switching back finds it again.
    state.currentStyle = u"样式2"_s;
    QVERIFY(ConfigStore::saveRosterAndStyle(state, u"/tmp/other.xlsx"_s));
    QCOMPARE(ConfigStore::readCustomPath(state.configPath), u"/tmp/mine.xlsx"_s);

    state.currentStyle = u"自定义"_s;
    QVERIFY(ConfigStore::saveRosterAndStyle(state, QString()));
    QCOMPARE(ConfigStore::readCustomPath(state.configPath), QString());
}

void ConfigStoreTest::unknownKeys_survive()
{
    writeConfig(appDir, "[Extra]\nKeep=yes\n");
    ClassState state = loaded();
    QVERIFY(ConfigStore::saveGroupConfiguration(state));
    QSettings raw(state.configPath, QSettings::IniFormat);
    QCOMPARE(raw.value(u"Extra/Keep"_s).toString(), u"yes"_s);
}

void ConfigStoreTest::unwritableFile_reportsFailure()
{
    // Tests run as root in CI, where permissions do not stop a write; a directory standing where
    // the file should be stops everyone.
    QVERIFY(QDir(appDir).mkdir(u"config.ini"_s));
    ClassState state = loaded();
    QVERIFY(!ConfigStore::saveGroupConfiguration(state));
    QVERIFY(!ConfigStore::saveRosterAndStyle(state, QString()));
}

QTEST_GUILESS_MAIN(ConfigStoreTest)
#include "configstore_test.moc"
