#include "appdirectory.h"
#include "generatewait.h"
#include "mainwindow.h"
#include "scripteddialogs.h"
#include "testenvironment.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace Velmora;

// The program as the package installs it: this executable sits in bin/ beside share/velmora, and
// a teacher with an empty home folder starts it twice.
class InstalledLayoutTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void firstStartThenSave_everythingInUserDataFolder();

private:
    QTemporaryDir home;
};

void InstalledLayoutTest::initTestCase()
{
    QVERIFY(home.isValid());
    qputenv("HOME", QFile::encodeName(home.path()));
    // Windows takes the home folder from the user's profile, whatever HOME says; the installed
    // layout is the Linux package's in any case.
    if (QDir::homePath() != home.path())
        QSKIP("HOME does not decide the home folder on this platform");
    qunsetenv("XDG_DATA_HOME");
    setApplicationDirectoryOverride({});
    setDirectoryLayout(DirectoryLayout::Installed);
}

void InstalledLayoutTest::firstStartThenSave_everythingInUserDataFolder()
{
    const QString data = home.filePath(u".local/share/velmora"_s);
    const QDir bin(QCoreApplication::applicationDirPath());
    const QStringList binBefore = bin.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    QVERIFY(!QFileInfo::exists(data));

    {
        Test::ScriptedDialogs dialogs;
        MainWindow window;
        QCOMPARE(dialogs.transcript(), QStringList());
    }
    for (const QString &name : {u"座位样式1.xlsx"_s, u"座位样式2.xlsx"_s})
        QVERIFY2(QFileInfo::exists(data + u"/"_s + name), qPrintable(name));

    // The teacher's class, as the settings dialog would have stored it.
    QFile::remove(data + u"/config.ini"_s);
    QVERIFY(QFile::copy(Test::sourceDirectory() + u"/examples/sample-class/config.ini"_s,
                        data + u"/config.ini"_s));
    QFile::setPermissions(data + u"/config.ini"_s, QFile::ReadOwner | QFile::WriteOwner);
    {
        Test::ScriptedDialogs dialogs;
        MainWindow window;
        QVERIFY(Test::generateAndWait(window, true));
        QCOMPARE(window.state.currentGrouping.groupCount(), 9);
        window.state.mustSeparate.clear();
        window.saveFile();
        // The sample's groups seat fewer boys than it has; the question's safe answer keeps them.
        QCOMPARE(dialogs.transcript(),
                 QStringList{u"choice: 确认 / 分组设置与名单不符，是否按名单自动设置各组人数？"_s});
    }

    QCOMPARE(QDir(data).entryList({u"*_座位表.xlsx"_s}).size(), 1);
    // Closing saved the requirements (cleared above) to the teacher's config.ini.
    QSettings config(data + u"/config.ini"_s, QSettings::IniFormat);
    QVERIFY(!config.value(u"Male/Names"_s).toStringList().isEmpty());
    QCOMPARE(config.value(u"Constraints/MustSeparate"_s).toStringList(), QStringList());
    QCOMPARE(bin.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), binBefore);
}

QTEST_MAIN(InstalledLayoutTest)
#include "installedlayout_test.moc"
