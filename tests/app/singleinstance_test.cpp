#include "scripteddialogs.h"
#include "singleinstance.h"
#include "testenvironment.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
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
    void lock_data();
    void lock();
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

// Without a window: whatever stands at the lock's place, held by a live owner or by nobody.
void SingleInstanceTest::lock_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("owner"); // "": none; "deaf" or "closes": holds the lock
    QTest::addColumn<int>("choice");    // the teacher's answer to the question; -1: never asked
    QTest::addColumn<SingleInstance::Start>("expected");
    QTest::addColumn<bool>("guarded");

    using S = SingleInstance::Start;
    // Nobody holds the file: taken over at once, whatever it says, without a question.
    QTest::newRow("noLock_first") << QString() << QString() << -1 << S::First << true;
    QTest::newRow("emptyFile_takenOver") << u"empty"_s << QString() << -1 << S::First << true;
    QTest::newRow("binaryJunk_takenOver") << u"junk"_s << QString() << -1 << S::First << true;
    QTest::newRow("hugeFile_takenOver") << u"huge"_s << QString() << -1 << S::First << true;
    QTest::newRow("emptyFolder_takenOver") << u"folder"_s << QString() << -1 << S::First << true;
    QTest::newRow("folderWithFiles_runsUnguarded") << u"fullFolder"_s << QString() << -1 << S::First << false;
    QTest::newRow("otherHost_takenOver") << u"otherHost"_s << QString() << -1 << S::First << true;
    QTest::newRow("deadPid_takenOver") << u"deadPid"_s << QString() << -1 << S::First << true;
    QTest::newRow("ownPidReused_takenOver") << u"ownPid"_s << QString() << -1 << S::First << true;
    // A live owner (secondStart has one that answers): it closes, or is asked about when it stays silent.
    QTest::newRow("ownerClosesWhileWaiting_first") << QString() << u"closes"_s << -1 << S::First << true;
    QTest::newRow("ownerDeaf_quitNothingLeft") << QString() << u"deaf"_s << 1 << S::Declined << false;
#ifdef Q_OS_WIN
    // Windows keeps a live owner's file; the teacher's answer opens the window without a lock.
    QTest::newRow("ownerDeaf_continueUnguarded") << QString() << u"deaf"_s << 0 << S::First << false;
#else
    QTest::newRow("ownerDeaf_continueTakesOver") << QString() << u"deaf"_s << 0 << S::First << true;
    // Nothing can be written: no lock, and a lock already there is asked about without a wait.
    QTest::newRow("readOnlyFolder_runsUnguarded") << u"readOnly"_s << QString() << -1 << S::First << false;
    QTest::newRow("readOnlyFolderWithLock_askedAtOnce")
        << u"readOnlyLocked"_s << QString() << 0 << S::First << false;
#endif
}

void SingleInstanceTest::lock()
{
    QFETCH(QString, setup);
    QFETCH(QString, owner);
    QFETCH(int, choice);
    QFETCH(SingleInstance::Start, expected);
    QFETCH(bool, guarded);
    const QString folder = Test::freshApplicationDirectory();
    const QString path = folder + u'/' + SingleInstance::lockFileName();
    const QByteArray self =
        QCoreApplication::applicationName().toUtf8() + '\n' + QSysInfo::machineHostName().toUtf8() + '\n';
    const QHash<QString, QByteArray> contents = {
        {u"empty"_s, ""},
        {u"readOnlyLocked"_s, ""},
        {u"junk"_s, QByteArray("\x00\xFF\x01\xFE\n\x80\n\x7F", 8)},
        {u"huge"_s, QByteArray(20 << 20, '7')},
        {u"otherHost"_s, "4242\nvelmora\nPC-办公室\n"},
        {u"deadPid"_s, "2147483646\n" + self},
        {u"ownPid"_s, QByteArray::number(QCoreApplication::applicationPid()) + '\n' + self}};
    if (contents.contains(setup)) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents.value(setup));
        // Older than any start that may still be writing it.
        QVERIFY(
            file.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
    } else if (setup == u"folder"_s || setup == u"fullFolder"_s) {
        QVERIFY(QDir(folder).mkpath(SingleInstance::lockFileName() +
                                    (setup == u"fullFolder"_s ? u"/x"_s : u""_s)));
    }
    const bool readOnly = setup.startsWith(u"readOnly"_s);
    if (readOnly && QProcess::execute(u"chattr"_s, {u"+i"_s, folder}) != 0)
        QSKIP("chattr is not available here");
    const auto undo = qScopeGuard([&] {
        if (readOnly)
            QProcess::execute(u"chattr"_s, {u"-i"_s, folder});
    });

    QLockFile held(path);
    QVERIFY(owner.isEmpty() || held.tryLock(0));
    std::unique_ptr<QThread> closing(QThread::create([&held] {
        QThread::msleep(200);
        held.unlock();
    }));
    if (owner == u"closes"_s)
        closing->start();
    const QStringList before = snapshot(folder);
    Test::ScriptedDialogs dialogs;
    if (choice >= 0)
        dialogs.queueChoice(choice);
    QElapsedTimer clock;
    clock.start();
    SingleInstance instance(folder);
    QCOMPARE(instance.start(owner == u"deaf"_s ? 300ms : 20s), expected);
    // Where nothing can answer, the wait is never paid.
    QVERIFY(!owner.isEmpty() || clock.elapsed() < 10000);
    closing->wait();

    QCOMPARE(instance.isGuarding(), guarded);
    QCOMPARE(dialogs.transcript().size(), choice >= 0 ? 1 : 0);
    if (choice >= 0)
        // Windows names the computer in capitals in the lock, whatever case the host name has.
        QVERIFY2(
            dialogs.calls.first().text.startsWith(
                u"Velmora 似乎已在运行（%1，"_s.arg(readOnly ? u"未知的电脑"_s : QSysInfo::machineHostName()),
                Qt::CaseInsensitive),
            qPrintable(dialogs.calls.first().text));
    QVERIFY(expected == SingleInstance::Start::First || snapshot(folder) == before);
    // No request is left behind for a later owner to answer, and a folder's content stays.
    QCOMPARE(QDir(folder).entryList({u".velmora.raise.*"_s}, QDir::Files | QDir::Hidden), QStringList());
    QCOMPARE(QFileInfo::exists(path + u"/x"_s), setup == u"fullFolder"_s);
}

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "singleinstance_test.moc"
