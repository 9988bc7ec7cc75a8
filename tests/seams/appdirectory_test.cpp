#include "appdirectory.h"
#include "testenvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;
using namespace Velmora;

namespace {
const QStringList templateNames{u"座位样式1.xlsx"_s, u"座位样式2.xlsx"_s};

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class AppDirectoryTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void layout_resolvesFolder_data();
    void layout_resolvesFolder();
    void startTwice_copiesOnceKeepsChangedRestoresMissing();
    void unusableFolders_reportedNotFatal_data();
    void unusableFolders_reportedNotFatal();

private:
    // A package's data folder: the two real templates, read-only as dpkg installs them for a user.
    QString makeShippedFolder()
    {
        const QString path = sandbox->filePath(u"usr/share/velmora"_s);
        QDir().mkpath(path);
        for (const QString &name : templateNames) {
            const QString target = path + u"/"_s + name;
            QFile::copy(Test::sourceDirectory() + u"/templates/"_s + name, target);
            QFile::setPermissions(target, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        }
        return path;
    }

    std::unique_ptr<QTemporaryDir> sandbox;
};

void AppDirectoryTest::init()
{
    sandbox = std::make_unique<QTemporaryDir>();
    QVERIFY(sandbox->isValid());
    // The test's own process: nothing after it needs the real HOME back.
    qputenv("HOME", QFile::encodeName(sandbox->filePath(u"home"_s)));
    qunsetenv("XDG_DATA_HOME");
}

void AppDirectoryTest::cleanup()
{
    setApplicationDirectoryOverride({});
    setDirectoryLayout(DirectoryLayout::Portable);
    sandbox.reset();
}

void AppDirectoryTest::layout_resolvesFolder_data()
{
    QTest::addColumn<bool>("installed");
    QTest::addColumn<QString>("xdgDataHome"); // relative to the sandbox when it starts with "@"
    QTest::addColumn<QString>("overridePath");
    QTest::addColumn<QString>("expected"); // "<exe>" is the executable's folder, "@" the sandbox

    QTest::newRow("portable_besideExecutable") << false << QString() << QString() << u"<exe>"_s;
    QTest::newRow("installed_xdgUnset_localShare")
        << true << QString() << QString() << u"@/home/.local/share/velmora"_s;
    QTest::newRow("installed_xdgSet_usesIt") << true << u"@/xdg"_s << QString() << u"@/xdg/velmora"_s;
    QTest::newRow("installed_xdgRelative_ignored")
        << true << u"data"_s << QString() << u"@/home/.local/share/velmora"_s;
    QTest::newRow("installed_testOverride_wins") << true << QString() << u"@/override"_s << u"@/override"_s;
}

void AppDirectoryTest::layout_resolvesFolder()
{
    QFETCH(bool, installed);
    QFETCH(QString, xdgDataHome);
    QFETCH(QString, overridePath);
    QFETCH(QString, expected);
    const auto resolve = [this](QString text) {
        text.replace(u"<exe>"_s, QCoreApplication::applicationDirPath());
        return text.replace(u"@"_s, sandbox->path());
    };

    // Windows takes the home folder from the user's profile, whatever HOME says; the installed
    // layout is the Linux package's in any case.
    if (expected.startsWith(u"@/home"_s) && QDir::homePath() != sandbox->filePath(u"home"_s))
        QSKIP("HOME does not decide the home folder on this platform");
    if (!xdgDataHome.isEmpty())
        qputenv("XDG_DATA_HOME", QFile::encodeName(resolve(xdgDataHome)));
    setApplicationDirectoryOverride(resolve(overridePath));
    setDirectoryLayout(installed ? DirectoryLayout::Installed : DirectoryLayout::Portable);

    const QString folder = applicationDirectory();
    QCOMPARE(folder, resolve(expected));
    // Whatever the layout, the folder asked for is usable at once: saving must not fail for want
    // of it. The test executable has no share/velmora, so only the folder itself is made here.
    if (installed && overridePath.isEmpty())
        QVERIFY(QFileInfo(folder).isDir());
}

void AppDirectoryTest::startTwice_copiesOnceKeepsChangedRestoresMissing()
{
    const QString shipped = makeShippedFolder();
    const QString data = sandbox->filePath(u"home/.local/share/velmora"_s);
    QString error;
    QVERIFY2(populateDataDirectory(data, shipped, &error), qPrintable(error));
    for (const QString &name : templateNames) {
        QCOMPARE(contents(data + u"/"_s + name), contents(shipped + u"/"_s + name));
        // The teacher edits the copy; the packaged file's read-only mode must not come along.
        QVERIFY(QFileInfo(data + u"/"_s + name).permissions() & QFile::WriteOwner);
    }

    const QByteArray edited = contents(Test::sourceDirectory() + u"/templates/座位样式2.xlsx"_s);
    {
        QFile first(data + u"/座位样式1.xlsx"_s);
        QVERIFY(first.open(QIODevice::WriteOnly | QIODevice::Truncate));
        first.write(edited);
    }
    QVERIFY(QFile::remove(data + u"/座位样式2.xlsx"_s));

    QVERIFY(populateDataDirectory(data, shipped));
    QCOMPARE(contents(data + u"/座位样式1.xlsx"_s), edited);
    QCOMPARE(contents(data + u"/座位样式2.xlsx"_s), contents(shipped + u"/座位样式2.xlsx"_s));
}

void AppDirectoryTest::unusableFolders_reportedNotFatal_data()
{
    QTest::addColumn<bool>("dataIsFile");
    QTest::addColumn<bool>("shippedMissing");

    QTest::newRow("dataFolderIsAFile") << true << false;
    QTest::newRow("shippedFolderMissing") << false << true;
}

void AppDirectoryTest::unusableFolders_reportedNotFatal()
{
    QFETCH(bool, dataIsFile);
    QFETCH(bool, shippedMissing);

    const QString shipped = shippedMissing ? sandbox->filePath(u"nowhere"_s) : makeShippedFolder();
    const QString data = sandbox->filePath(u"data"_s);
    if (dataIsFile) {
        QFile file(data);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

    QString error;
    QVERIFY(!populateDataDirectory(data, shipped, &error));
    QVERIFY(!error.isEmpty());
    // Without shipped templates the folder still comes into being, so config.ini can be saved.
    QCOMPARE(QFileInfo(data).isDir(), !dataIsFile);
}

QTEST_GUILESS_MAIN(AppDirectoryTest)
#include "appdirectory_test.moc"
