#include "configfile.h"
#include "configstore.h"
#include "testenvironment.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace Velmora;

Q_DECLARE_METATYPE(Velmora::GroupConfig)

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
    void encodings_data();
    void encodings();
    void utf16_pairAcrossPiecesKept();
    void keptText_data();
    void keptText();
    void clamps_data();
    void clamps();
    void requirementBound_data();
    void requirementBound();
    void scores_data();
    void scores();

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
    QTest::newRow("garbagePerson_readsAsZero") << QStringList{u"x,1,3"_s} << FixedPositionMap{{0, {1, 3}}};
    QTest::newRow("garbageGroup_dropped") << QStringList{u"x,,3"_s} << FixedPositionMap{};
    QTest::newRow("groupBeyondTen_dropped") << QStringList{u"99,11,7"_s} << FixedPositionMap{};
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

// What a teacher's editor writes: every readable file loads with its names and is rewritten as
// plain UTF-8 after keeping the original; an unreadable one is never touched.
void ConfigStoreTest::encodings_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("note");
    QTest::addColumn<bool>("readable");

    const QString text = u"[Male]\nNames=张伟, 王强\n[Style]\nCurrent=样式2\n[Extra]\nKeep=保留\n"_s;
    const QByteArray utf8 = text.toUtf8();
    QByteArray utf16le("\xFF\xFE"), utf16be("\xFE\xFF");
    for (const QChar c : text) {
        const char low = char(c.unicode() & 0xFF), high = char(c.unicode() >> 8);
        utf16le.append(low).append(high);
        utf16be.append(high).append(low);
    }
    const QByteArray gbk =
        QByteArray::fromHex("5b4d616c655d0a4e616d65733dd5c5ceb02c20cdf5c7bf0a5b5374796c655d0a"
                            "43757272656e743dd1f9cabd320a5b45787472615d0a4b6565703db1a3c1f40a");
    QTest::newRow("utf8_untouched") << utf8 << QString() << true;
    QTest::newRow("utf8Bom_converted")
        << QByteArray("\xEF\xBB\xBF") + utf8 << u"配置文件编码为 UTF-8（带 BOM），已按 UTF-8 读取"_s << true;
    QTest::newRow("utf16le_converted")
        << utf16le << u"配置文件编码为 UTF-16 LE，已按 UTF-16 LE 读取"_s << true;
    QTest::newRow("utf16be_converted")
        << utf16be << u"配置文件编码为 UTF-16 BE，已按 UTF-16 BE 读取"_s << true;
    QTest::newRow("gbk_converted") << gbk << u"配置文件编码为 GBK，已按 GBK 读取"_s << true;
    QTest::newRow("undecodable_neverOverwritten")
        << QByteArray("[Male]\nNames=\x80\xFF\x80\n") << QString() << false;
}

void ConfigStoreTest::encodings()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, note);
    QFETCH(bool, readable);
    writeConfig(appDir, bytes);
    ClassState state;
    const QStringList lines = ConfigStore::loadConfiguration(state);
    QCOMPARE(lines.size(), note.isEmpty() ? 3 : 4);
    if (!note.isEmpty())
        QCOMPARE(lines.first(), note);
    QCOMPARE(state.roster.maleNames, readable ? QStringList({u"张伟"_s, u"王强"_s}) : QStringList());
    QCOMPARE(ConfigFile::encoding(state.configPath) == ConfigFile::Encoding::Undecodable, !readable);

    state.groupConfigs = defaultGroupConfigs();
    ConfigStore::loadGroupConfiguration(state);
    state.mustTogether = {{1, 2}};
    QVERIFY(ConfigStore::saveGroupConfiguration(state));

    QFile bak(state.configPath + u".bak"_s);
    QCOMPARE(bak.exists(), !note.isEmpty());
    if (bak.exists()) {
        QVERIFY(bak.open(QIODevice::ReadOnly));
        QCOMPARE(bak.readAll(), bytes);
    }
    // The settings went where the save says, readable by a plain QSettings as UTF-8.
    const QString target = readable ? state.configPath : ConfigFile::redirectedPath(state.configPath);
    QFile written(target);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QByteArray after = written.readAll();
    written.close(); // Windows refuses to replace a file that is open
    QVERIFY(!after.startsWith("\xEF\xBB\xBF"));
    QSettings raw(target, QSettings::IniFormat);
    QCOMPARE(raw.value(u"Constraints/MustTogether"_s).toString(), u"1,2"_s);
    if (readable) {
        QCOMPARE(raw.value(u"Male/Names"_s).toStringList(), QStringList({u"张伟"_s, u"王强"_s}));
        QCOMPARE(raw.value(u"Extra/Keep"_s).toString(), u"保留"_s);
        QCOMPARE(raw.status(), QSettings::NoError);
    } else {
        QFile original(state.configPath);
        QVERIFY(original.open(QIODevice::ReadOnly));
        QCOMPARE(original.readAll(), bytes);
    }
    // A second save keeps the first backup: it is the teacher's original.
    QVERIFY(ConfigStore::saveGroupConfiguration(state));
    if (bak.exists()) {
        bak.seek(0);
        QCOMPARE(bak.readAll(), bytes);
    }
}

// A large file is decoded piece by piece; a character outside the BMP may straddle two pieces.
void ConfigStoreTest::utf16_pairAcrossPiecesKept()
{
    const QString rare = QString::fromUcs4(U"\U00020000");
    // The high surrogate is the last unit of the first MiB after the byte-order mark.
    const QString text =
        u"[Pad]\nP="_s + QString((1 << 19) - 9, u'x') + rare + u"\n[Male]\nNames=甲"_s + rare;
    QByteArray bytes("\xFF\xFE");
    bytes.append(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    writeConfig(appDir, bytes);
    ClassState state = loaded();
    QCOMPARE(state.roster.maleNames, QStringList{u"甲"_s + rare});
    QVERIFY(ConfigStore::saveGroupConfiguration(state));
    QSettings raw(state.configPath, QSettings::IniFormat);
    QVERIFY(raw.value(u"Pad/P"_s).toString().endsWith(u'x' + rare));
}

// What the program does not own survives a save as QSettings reads it, wherever it stood.
void ConfigStoreTest::keptText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");

    QTest::newRow("keyBeforeAnySection_kept")
        << QByteArray("Loose=1\n[Male]\nNames=A\n") << u"Loose"_s << u"1"_s;
    QTest::newRow("generalSection_kept") << QByteArray("[General]\nLoose=2\n") << u"Loose"_s << u"2"_s;
    QTest::newRow("foreignKeyInOwnSection_kept")
        << QByteArray("[Style]\nCurrent=样式2\nNote=x\n") << u"Style/Note"_s << u"x"_s;
    QTest::newRow("quotedValueOverLines_kept")
        << QByteArray("[Junk]\nA=\"a\n[Male]\nNames=B\"\n") << u"Junk/A"_s << u"a\n[Male]\nNames=B"_s;
    QTest::newRow("continuedLine_kept") << QByteArray("[Junk]\nA=a\\\nb\n") << u"Junk/A"_s << u"ab"_s;
    QTest::newRow("ownKeyOutsideSection_rewritten")
        << QByteArray("Male\\Names=A, B\n[Junk]\nx=1\n") << u"Male/Names"_s << u"C"_s;
    QTest::newRow("foreignKeyInScores_kept")
        << QByteArray("[Scores]\nList=A:1\nTerm=期中\n") << u"Scores/Term"_s << u"期中"_s;
    QTest::newRow("escapedOwnSection_rewritten")
        << QByteArray("[%4Dale]\nNames=A\n") << u"Male/Names"_s << u"C"_s;
}

void ConfigStoreTest::keptText()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, key);
    QFETCH(QString, value);
    writeConfig(appDir, text);
    ClassState state = loaded();
    state.roster.maleNames = {u"C"_s};
    QVERIFY(ConfigStore::saveRosterAndStyle(state, QString()));
    QSettings raw(state.configPath, QSettings::IniFormat);
    QCOMPARE(raw.value(key).toString(), value);
    QCOMPARE(raw.value(u"Male/Names"_s).toString(), u"C"_s);
}

// Hand-edited numbers outside what a group can hold; none may overflow further on.
void ConfigStoreTest::clamps_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<GroupConfig>("group3");
    QTest::addColumn<FixedPositionMap>("fixed");
    QTest::addColumn<QStringList>("warnings");

    const QByteArray six = "[GroupConfig_2]\ntotal=6\n";
    QTest::newRow("targetsInRange_silent")
        << six + "males=2\nfemales=4\n"
        << GroupConfig{true, 6, 2, 4} << FixedPositionMap{} << QStringList{};
    QTest::newRow("malesIntMax_clampedToSeats")
        << six + "males=2147483647\n"
        << GroupConfig{true, 6, 6, 4} << FixedPositionMap{}
        << QStringList{u"警告: 组3 男生人数 2147483647 超出范围，已按 6 处理"_s};
    QTest::newRow("femalesIntMin_clampedToZero")
        << six + "females=-2147483648\n"
        << GroupConfig{true, 6, 2, 0} << FixedPositionMap{}
        << QStringList{u"警告: 组3 女生人数 -2147483648 超出范围，已按 0 处理"_s};
    QTest::newRow("disabledGroup_keepsTargets")
        << QByteArray("[GroupConfig_2]\nenabled=false\ntotal=0\nmales=2\nfemales=4\n")
        << GroupConfig{false, 0, 2, 4} << FixedPositionMap{} << QStringList{};
    QTest::newRow("fixedInRange_kept")
        << six + "[FixedPositions]\nList=\"5,3,6\"\n"
        << GroupConfig{true, 6, 2, 4} << FixedPositionMap{{5, {3, 6}}} << QStringList{};
    QTest::newRow("fixedGroupIntMin_dropped")
        << six + "[FixedPositions]\nList=\"1,-2147483648,1\", \"2,3,1\"\n"
        << GroupConfig{true, 6, 2, 4} << FixedPositionMap{{2, {3, 1}}}
        << QStringList{u"警告: 固定位置 1,-2147483648,1 超出范围，已忽略"_s};
    // A seat past the group's count stays for the engine to refuse with its own line; the teacher
    // may raise the count again. Only what no group can have is dropped.
    QTest::newRow("fixedSeatBeyondGroup_keptForTheEngine")
        << six + "[FixedPositions]\nList=\"5,3,7\"\n"
        << GroupConfig{true, 6, 2, 4} << FixedPositionMap{{5, {3, 7}}} << QStringList{};
    QTest::newRow("fixedSeatBeyondAnyGroup_dropped")
        << six + "[FixedPositions]\nList=\"5,3,101\"\n"
        << GroupConfig{true, 6, 2, 4} << FixedPositionMap{}
        << QStringList{u"警告: 固定位置 5,3,101 超出范围，已忽略"_s};
    QTest::newRow("fixedSeatZero_dropped") << six + "[FixedPositions]\nList=\"5,3,0\"\n"
                                           << GroupConfig{true, 6, 2, 4} << FixedPositionMap{}
                                           << QStringList{u"警告: 固定位置 5,3,0 超出范围，已忽略"_s};
    QTest::newRow("fixedSeatHuge_dropped")
        << six + "[FixedPositions]\nList=\"5,3,99999999999\"\n"
        << GroupConfig{true, 6, 2, 4} << FixedPositionMap{}
        << QStringList{u"警告: 固定位置 5,3,99999999999 超出范围，已忽略"_s};
}

void ConfigStoreTest::clamps()
{
    QFETCH(QByteArray, text);
    QFETCH(GroupConfig, group3);
    QFETCH(FixedPositionMap, fixed);
    QFETCH(QStringList, warnings);
    writeConfig(appDir, text);
    ClassState state;
    ConfigStore::loadConfiguration(state);
    state.groupConfigs = defaultGroupConfigs();
    QCOMPARE(ConfigStore::loadGroupConfiguration(state), warnings);
    const GroupConfig &config = state.groupConfigs.at(2);
    QCOMPARE(config.enabled, group3.enabled);
    QCOMPARE(config.total, group3.total);
    QCOMPARE(config.males, group3.males);
    QCOMPARE(config.females, group3.females);
    QCOMPARE(state.fixedPositions, fixed);
}

// "[Constraints]" with `count` items of each kind, in the order the letters of `order` give:
// t for must-together, s for must-separate; each item names two persons.
QByteArray constraintsText(const QString &order, int together, int separate)
{
    QByteArray text = "[Constraints]\n";
    for (const QChar kind : order) {
        const bool isTogether = kind == u't';
        if ((isTogether ? together : separate) == 0)
            continue;
        QByteArrayList items;
        for (int i = 0; i < (isTogether ? together : separate); ++i)
            items.append('"' + QByteArray::number(isTogether ? i + 1 : i + 1001) + ',' +
                         QByteArray::number(i + 2) + '"');
        text += (isTogether ? "MustTogether=" : "MustSeparate=") + items.join(", ") + '\n';
    }
    return text;
}

void ConfigStoreTest::requirementBound_data()
{
    QTest::addColumn<QByteArray>("text");
    // What stands at config.ini.bak before: "", "file", "folder", "immutable" (a file nobody can move).
    QTest::addColumn<QString>("oldBackup");
    QTest::addColumn<int>("keptTogether");
    QTest::addColumn<int>("keptSeparate");
    QTest::addColumn<QString>("notice");

    const QString kept = u"要求条数过多：只保留了前 500 条，原文件已备份为 config.ini.bak"_s;
    QTest::newRow("atBound_allKeptNoCopy")
        << constraintsText(u"ts"_s, 300, 200) << QString() << 300 << 200 << QString();
    QTest::newRow("togetherFirstInFile_separateTailDropped")
        << constraintsText(u"ts"_s, 300, 300) << QString() << 300 << 200 << kept;
    QTest::newRow("togetherFirstAndPastBound_noSeparate")
        << constraintsText(u"ts"_s, 600, 50) << QString() << 500 << 0 << kept;
    // The program's own files list MustSeparate first, since QSettings sorts the keys.
    QTest::newRow("separateFirstInFile_separateKeptFirst")
        << constraintsText(u"st"_s, 600, 50) << QString() << 450 << 50 << kept;
    QTest::newRow("threeThousandSeparate_firstFiveHundredKept")
        << constraintsText(u"st"_s, 500, 3000) << QString() << 0 << 500 << kept;
    QTest::newRow("earlierBackup_movedAsideNotOverwritten")
        << constraintsText(u"ts"_s, 501, 0) << u"file"_s << 500 << 0 << kept;
    QTest::newRow("folderAtBackup_movedAside")
        << constraintsText(u"ts"_s, 501, 0) << u"folder"_s << 500 << 0 << kept;
#ifndef Q_OS_WIN
    QTest::newRow("backupBlocked_fileNeverWritten")
        << constraintsText(u"ts"_s, 501, 0) << u"immutable"_s << 500 << 0
        << u"要求条数过多：只保留了前 500 条。原文件无法备份为 config.ini.bak，因此不会被改动"_s;
#endif
    QByteArray gbk = constraintsText(u"ts"_s, 501, 0);
    gbk.prepend(QByteArray::fromHex("5b4d616c655d0a4e616d65733dd5c5ceb00a")); // [Male] Names=张伟 in GBK
    QTest::newRow("gbkPastBound_oneCopyOfTheOriginal") << gbk << QString() << 500 << 0 << kept;
}

void ConfigStoreTest::requirementBound()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, oldBackup);
    QFETCH(int, keptTogether);
    QFETCH(int, keptSeparate);
    QFETCH(QString, notice);
    writeConfig(appDir, text);
    const QString path = appDir + u"/config.ini"_s;
    const QString backup = path + u".bak"_s;
    if (oldBackup == u"file"_s || oldBackup == u"immutable"_s) {
        QFile earlier(backup);
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("an earlier original");
    } else if (oldBackup == u"folder"_s) {
        QVERIFY(QDir(appDir).mkdir(u"config.ini.bak"_s));
    }
    if (oldBackup == u"immutable"_s && QProcess::execute(u"chattr"_s, {u"+i"_s, backup}) != 0)
        QSKIP("chattr is not available here");
    const auto undo = qScopeGuard([&] {
        if (oldBackup == u"immutable"_s)
            QProcess::execute(u"chattr"_s, {u"-i"_s, backup});
    });

    ClassState state;
    ConfigStore::loadConfiguration(state);
    state.groupConfigs = defaultGroupConfigs();
    QString told;
    const QStringList lines = ConfigStore::loadGroupConfiguration(state, &told);
    QCOMPARE(told, notice);
    QCOMPARE(state.mustTogether.size(), keptTogether);
    QCOMPARE(state.mustSeparate.size(), keptSeparate);
    // The first of each kind in the file are the ones kept.
    if (keptTogether)
        QCOMPARE(state.mustTogether.first(), Constraint({1, 2}));
    if (keptSeparate)
        QCOMPARE(state.mustSeparate.first(), Constraint({1001, 2}));
    const int dropped = int(text.count('"') / 2 - keptTogether - keptSeparate);
    QCOMPARE(lines.filter(u"要求条数过多"_s),
             dropped ? QStringList{u"要求条数过多（最多 500 条），已忽略 %1 条"_s.arg(dropped)}
                     : QStringList());

    const bool written = ConfigStore::saveGroupConfiguration(state);
    const bool blocked = oldBackup == u"immutable"_s;
    QCOMPARE(written, !blocked);
    const auto bytesOf = [](const QString &name) {
        QFile file(name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    // Before the save the teacher's file was copied whole; nothing else was ever overwritten.
    if (!notice.isEmpty() && !blocked)
        QCOMPARE(bytesOf(backup), text);
    if (blocked)
        QCOMPARE(bytesOf(path), text);
    const QStringList aside = QDir(appDir).entryList({u"config.ini.bak-*"_s}, QDir::AllEntries);
    QCOMPARE(aside.size(), oldBackup == u"file"_s || oldBackup == u"folder"_s ? 1 : 0);
    if (oldBackup == u"file"_s)
        QCOMPARE(bytesOf(QDir(appDir).filePath(aside.first())), QByteArray("an earlier original"));
    if (notice.isEmpty())
        QVERIFY(!QFileInfo::exists(backup));
}

// The scores section as a hand edit or a broken tool may leave it; what loads is written back as read.
void ConfigStoreTest::scores_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("scores"); // "name=score" in name order
    QTest::addColumn<bool>("balance");
    QTest::addColumn<QStringList>("warnings");

    QByteArray many = "[Scores]\nList=";
    for (int i = 0; i <= ConfigStore::maxScores; ++i)
        many += (i ? ", " : "") + QByteArray::number(i) + ":1";
    QTest::newRow("noSection_noneAndOff")
        << QByteArray("[Male]\nNames=张伟\n") << QString() << false << QStringList();
    QTest::newRow("wellFormed_read") << QByteArray(
                                            "[Scores]\nBalance=true\nList=张伟:92.5, 李娜:88, 王强:0\n")
                                     << u"张伟=92.5 李娜=88 王强=0"_s << true << QStringList();
    QTest::newRow("colonInName_lastColonSplits")
        << QByteArray("[Scores]\nList=A:B:90\n") << u"A:B=90"_s << false << QStringList();
    QTest::newRow("badItems_oneLine")
        << QByteArray("[Scores]\nList=张伟:-1, 李娜:abc, 王强, :5, 刘洋：70, 赵敏:85.125, 陈新:1e400\n")
        << u"赵敏=85.13"_s << false << QStringList{u"警告: 6 个成绩无法读取，已忽略"_s};
    QTest::newRow("pastBound_firstKept")
        << many << QString() << false << QStringList{u"成绩条数过多（最多 10000 条），已忽略 1 条"_s};
}

void ConfigStoreTest::scores()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, scores);
    QFETCH(bool, balance);
    QFETCH(QStringList, warnings);
    writeConfig(appDir, text);
    ClassState state;
    QCOMPARE(ConfigStore::loadConfiguration(state).mid(3), warnings);
    state.groupConfigs = defaultGroupConfigs();
    ConfigStore::loadGroupConfiguration(state);
    QCOMPARE(state.balanceByScores, balance);
    if (QTest::currentDataTag() == QByteArray("pastBound_firstKept")) {
        QCOMPARE(state.roster.scores.size(), ConfigStore::maxScores);
        return;
    }
    QStringList shown;
    for (auto it = state.roster.scores.cbegin(); it != state.roster.scores.cend(); ++it)
        shown.append(it.key() + u'=' + QString::number(it.value() / 100.0));
    QCOMPARE(shown.join(u' '), scores);

    // Written back in one save and read again: the same values, and no section for a class without any.
    QVERIFY(ConfigStore::saveSettings(state, QString()));
    QSettings raw(state.configPath, QSettings::IniFormat);
    QCOMPARE(raw.childGroups().contains(u"Scores"_s), balance || !scores.isEmpty());
    const ClassState back = loaded();
    QCOMPARE(back.roster.scores, state.roster.scores);
    QCOMPARE(back.balanceByScores, balance);
}

QTEST_GUILESS_MAIN(ConfigStoreTest)
#include "configstore_test.moc"
