#include "singleinstance.h"
#include "testenvironment.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QThread>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;
using namespace Velmora;
using namespace std::chrono_literals;

namespace {

using Program = std::unique_ptr<QProcess>;

QString stagedProgram()
{
#ifdef Q_OS_WIN
    return QDir(Test::stageDirectory()).filePath(u"velmora.exe"_s);
#else
    return QDir(Test::stageDirectory()).filePath(u"velmora"_s);
#endif
}

// Each copy of the program keeps its data beside itself, so a copy per folder is a class per folder.
QString installCopy(const QString &folder)
{
    QDir().mkpath(folder);
    const QString target = QDir(folder).filePath(QFileInfo(stagedProgram()).fileName());
    if (!QFile::exists(target))
        QFile::copy(stagedProgram(), target);
    return target;
}

Program startProgram(const QString &folder)
{
    auto program = std::make_unique<QProcess>();
    program->setProcessChannelMode(QProcess::ForwardedChannels);
    program->start(installCopy(folder), {});
    program->waitForStarted(60000);
    return program;
}

qint64 lockOwner(const QString &folder)
{
    qint64 pid = 0;
    QString host;
    QString app;
    QLockFile(QDir(folder).filePath(SingleInstance::lockFileName())).getLockInfo(&pid, &host, &app);
    return pid;
}

// What a later start leaves behind shows in names, sizes and times.
QStringList snapshot(const QString &folder)
{
    QStringList entries;
    const auto infos = QDir(folder).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &info : infos)
        entries << u"%1 %2 %3"_s.arg(info.fileName())
                       .arg(info.size())
                       .arg(info.lastModified().toMSecsSinceEpoch());
    return entries;
}

} // namespace

class SingleInstanceTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void secondStart_data();
    void secondStart();
    void start_outcome_data();
    void start_outcome();

private:
    // The program holds the folder's lock and takes a raise request, as a later start would send.
    bool answers(const QString &folder, const QProcess &program);
};

void SingleInstanceTest::initTestCase()
{
    QVERIFY2(QFile::exists(stagedProgram()), qPrintable(stagedProgram()));
}

bool SingleInstanceTest::answers(const QString &folder, const QProcess &program)
{
    // Started, not merely spawned: the lock names this very process.
    const QDeadlineTimer deadline(60s);
    while (lockOwner(folder) != program.processId()) {
        if (deadline.hasExpired() || program.state() != QProcess::Running)
            return false;
        QTest::qWait(50);
    }
    SingleInstance probe(folder);
    return program.state() == QProcess::Running && probe.start(60s) == SingleInstance::Start::Raised;
}

// The real program started twice on the offscreen platform.
void SingleInstanceTest::secondStart_data()
{
    QTest::addColumn<bool>("sameFolder");
    QTest::addColumn<bool>("firstCrashes");
    QTest::addColumn<bool>("secondRuns");

    QTest::newRow("sameFolder_firstRaisedSecondExits") << true << false << false;
    QTest::newRow("crashLeftLock_staleLockIgnored") << true << true << true;
    QTest::newRow("twoFolders_bothRun") << false << false << true;
}

void SingleInstanceTest::secondStart()
{
    QFETCH(bool, sameFolder);
    QFETCH(bool, firstCrashes);
    QFETCH(bool, secondRuns);
    const QString root = Test::freshApplicationDirectory();
    const QString firstFolder = root + u"/一班"_s;
    const QString secondFolder = sameFolder ? firstFolder : root + u"/二班"_s;

    Program first = startProgram(firstFolder);
    QVERIFY(answers(firstFolder, *first));
    if (firstCrashes) {
        first->kill();
        QVERIFY(first->waitForFinished(30000));
        QVERIFY(QFile::exists(QDir(firstFolder).filePath(SingleInstance::lockFileName())));
    }
    const QStringList before = snapshot(secondFolder);

    Program second = startProgram(secondFolder);
    if (secondRuns) {
        QVERIFY(answers(secondFolder, *second));
    } else {
        QVERIFY(second->waitForFinished(60000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(snapshot(secondFolder), before);
    }
    if (!firstCrashes)
        QVERIFY(answers(firstFolder, *first));
}

// Without a window: who holds the folder decides.
void SingleInstanceTest::start_outcome_data()
{
    QTest::addColumn<QString>("holder");
    QTest::addColumn<SingleInstance::Start>("expected");

    QTest::newRow("freeFolder_first") << u"nobody"_s << SingleInstance::Start::First;
    QTest::newRow("heldNobodyAnswers_unreachable") << u"deaf"_s << SingleInstance::Start::Unreachable;
    QTest::newRow("ownerClosesWhileWaiting_first") << u"closing"_s << SingleInstance::Start::First;
#ifdef Q_OS_UNIX
    QTest::newRow("readOnlyFolder_runsUnguarded") << u"readonly"_s << SingleInstance::Start::First;
#endif
}

void SingleInstanceTest::start_outcome()
{
    QFETCH(QString, holder);
    QFETCH(SingleInstance::Start, expected);
    const QString folder = Test::freshApplicationDirectory();
    QLockFile deaf(QDir(folder).filePath(SingleInstance::lockFileName()));
    if (holder == u"deaf"_s || holder == u"closing"_s)
        QVERIFY(deaf.tryLock(0));
    std::unique_ptr<QThread> closing(QThread::create([&deaf] {
        QThread::msleep(200);
        deaf.unlock();
    }));
    if (holder == u"closing"_s)
        closing->start();
    if (holder == u"readonly"_s) {
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
        if (QFileInfo(folder).isWritable())
            QSKIP("this user writes into read-only folders");
    }
    const QStringList before = snapshot(folder);

    SingleInstance instance(folder);
    QCOMPARE(instance.start(holder == u"closing"_s ? 30s : 300ms), expected);
    closing->wait();
    if (expected != SingleInstance::Start::First)
        QCOMPARE(snapshot(folder), before);
    QCOMPARE(QDir(folder).entryList({u".velmora.raise.*"_s}, QDir::Files | QDir::Hidden), QStringList());
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "singleinstance_test.moc"
