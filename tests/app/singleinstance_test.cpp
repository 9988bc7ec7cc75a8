#include "singleinstance.h"
#include "testenvironment.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QLockFile>
#include <QProcess>
#include <QThread>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;
using namespace Velmora;
using namespace std::chrono_literals;

namespace {

#ifdef Q_OS_WIN
const QString programName = u"velmora.exe"_s;
#else
const QString programName = u"velmora"_s;
#endif

// A copy of the program keeps its data beside itself: a copy per folder is a class per folder.
std::unique_ptr<QProcess> startCopy(const QString &folder)
{
    QDir().mkpath(folder);
    QFile::copy(QDir(Test::stageDirectory()).filePath(programName), QDir(folder).filePath(programName));
    auto program = std::make_unique<QProcess>();
    program->setProcessChannelMode(QProcess::ForwardedChannels);
    program->start(QDir(folder).filePath(programName), {});
    program->waitForStarted(60000);
    return program;
}

// Up and running: the folder's lock names this very process, and it takes a later start's request.
bool answers(const QString &folder, const QProcess &program)
{
    const QDeadlineTimer deadline(60s);
    qint64 owner = 0;
    QString host, app;
    while (!QLockFile(folder + u'/' + SingleInstance::lockFileName()).getLockInfo(&owner, &host, &app) ||
           owner != program.processId()) {
        if (deadline.hasExpired() || program.state() != QProcess::Running)
            return false;
        QTest::qWait(50);
    }
    return SingleInstance(folder).start(60s) == SingleInstance::Start::Raised;
}

QStringList snapshot(const QString &folder)
{
    QStringList entries;
    for (const QFileInfo &info :
         QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
        entries << info.fileName() + u' ' + info.lastModified().toString(Qt::ISODateWithMs);
    return entries;
}

} // namespace

class SingleInstanceTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void secondStart_data();
    void secondStart();
    void heldFolder_data();
    void heldFolder();
};

// The real program started twice on the offscreen platform.
void SingleInstanceTest::secondStart_data()
{
    QTest::addColumn<bool>("sameFolder");
    QTest::addColumn<bool>("firstCrashes");

    QTest::newRow("sameFolder_firstRaisedSecondExits") << true << false;
    QTest::newRow("crashLeftLock_staleLockIgnored") << true << true;
    QTest::newRow("twoFolders_bothRun") << false << false;
}

void SingleInstanceTest::secondStart()
{
    QFETCH(bool, sameFolder);
    QFETCH(bool, firstCrashes);
    const QString root = Test::freshApplicationDirectory();
    const QString folder = root + u"/一班"_s;
    const QString secondFolder = sameFolder ? folder : root + u"/二班"_s;

    auto first = startCopy(folder);
    QVERIFY(answers(folder, *first));
    if (firstCrashes) {
        first->kill();
        QVERIFY(first->waitForFinished(30000));
        QVERIFY(QFile::exists(folder + u'/' + SingleInstance::lockFileName()));
    }
    const QStringList before = snapshot(secondFolder);
    auto second = startCopy(secondFolder);
    if (sameFolder && !firstCrashes) {
        QVERIFY(second->waitForFinished(60000));
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(snapshot(secondFolder), before);
        QVERIFY(answers(folder, *first));
    } else {
        QVERIFY(answers(secondFolder, *second));
    }
}

// Without a window: a held folder whose owner never answers, or closes while a start waits.
void SingleInstanceTest::heldFolder_data()
{
    QTest::addColumn<bool>("ownerCloses");
    QTest::addColumn<SingleInstance::Start>("expected");

    QTest::newRow("ownerDeaf_unreachableNothingLeft") << false << SingleInstance::Start::Unreachable;
    QTest::newRow("ownerClosesWhileWaiting_first") << true << SingleInstance::Start::First;
}

void SingleInstanceTest::heldFolder()
{
    QFETCH(bool, ownerCloses);
    QFETCH(SingleInstance::Start, expected);
    const QString folder = Test::freshApplicationDirectory();
    QLockFile owner(folder + u'/' + SingleInstance::lockFileName());
    QVERIFY(owner.tryLock(0));
    const QStringList before = snapshot(folder);
    std::unique_ptr<QThread> closing(QThread::create([&owner] {
        QThread::msleep(200);
        owner.unlock();
    }));
    if (ownerCloses)
        closing->start();

    QCOMPARE(SingleInstance(folder).start(ownerCloses ? 30s : 300ms), expected);
    closing->wait();
    // Nothing is left behind: the deaf owner's lock as it was; after a close, not even a lock.
    QCOMPARE(snapshot(folder), ownerCloses ? QStringList() : before);
}

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "singleinstance_test.moc"
