#include "configstore.h"
#include "testenvironment.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSettings>
#include <QThread>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace Velmora;

// A kill at any moment of the settings save leaves a file whose numbers still name the right
// pupils: 王强 and 李娜 on their seats, the requirement on 张伟 and 赵敏, the foreign keys kept.
class SettingsSaveKillTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void kill_leavesOldOrNewFile();
};

void SettingsSaveKillTest::kill_leavesOldOrNewFile()
{
    const QString appDir = Test::freshApplicationDirectory();
    const QString path = appDir + u"/config.ini"_s;
    {
        // A large foreign section makes each write long enough to be hit in the middle.
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QByteArray junk = "[Junk]\n";
        for (int i = 0; i < 60000; ++i)
            junk += "key" + QByteArray::number(i) + "=some value a teacher never wrote\n";
        file.write(junk);
    }
    QString child = QCoreApplication::applicationDirPath() + u"/settingssave_child"_s;
#ifdef Q_OS_WIN
    child += u".exe"_s;
#endif
    QRandomGenerator random(20251209);
    for (int round = 0; round < 20; ++round) {
        QProcess process;
        process.start(child, {path});
        QVERIFY2(process.waitForReadyRead(20000), qPrintable(process.errorString()));
        QThread::msleep(random.bounded(40));
        process.kill();
        QVERIFY(process.waitForFinished(10000));

        ClassState state;
        ConfigStore::loadConfiguration(state);
        state.groupConfigs = defaultGroupConfigs();
        ConfigStore::loadGroupConfiguration(state);
        const Roster &roster = state.roster;
        QVERIFY2(roster.maleNames.size() == 3 || roster.maleNames.size() == 4,
                 qPrintable(QString::number(round)));
        QCOMPARE(state.fixedPositions.size(), 2);
        for (auto it = state.fixedPositions.cbegin(); it != state.fixedPositions.cend(); ++it)
            QCOMPARE(roster.nameOf(it.key()), it.value() == qMakePair(1, 2) ? u"王强"_s : u"李娜"_s);
        QCOMPARE(state.mustTogether.size(), 1);
        QCOMPARE(roster.nameOf(state.mustTogether.first().value(0)), u"张伟"_s);
        QCOMPARE(roster.nameOf(state.mustTogether.first().value(1)), u"赵敏"_s);
        QSettings raw(path, QSettings::IniFormat);
        QCOMPARE(raw.value(u"Junk/key59999"_s).toString(), u"some value a teacher never wrote"_s);
    }
}

QTEST_GUILESS_MAIN(SettingsSaveKillTest)
#include "settingssave_kill_test.moc"
