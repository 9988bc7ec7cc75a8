#include "singleinstance.h"

#include "dialogs.h"
#include "foreground.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QThread>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace Velmora {

namespace {

const QString requestPrefix = u".velmora.raise."_s;

QStringList pendingRequests(const QString &directory)
{
    return QDir(directory).entryList({requestPrefix + u'*'}, QDir::Files | QDir::Hidden | QDir::System);
}

} // namespace

SingleInstance::SingleInstance(const QString &dataDirectory, QObject *parent)
    : QObject(parent), directory(dataDirectory), lock(QDir(dataDirectory).filePath(lockFileName()))
{
    // The window lives for hours: age alone must never make its lock look abandoned.
    lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::lockFileName()
{
    return u".velmora.lock"_s;
}

QString SingleInstance::lockPath() const
{
    return QDir(directory).filePath(lockFileName());
}

SingleInstance::Start SingleInstance::start(std::chrono::milliseconds wait)
{
    clearNonLock();
    if (lock.tryLock(0))
        return Start::First;
    // A folder the program cannot write to (a read-only stick) cannot hold a lock; config.ini
    // cannot be saved there either, so a second window does no harm and refusing would. The same
    // goes for a folder in the lock's place that holds something: nobody can lock that.
    if (lock.error() != QLockFile::LockFailedError || QFileInfo(lockPath()).isDir())
        return Start::First;
    waitWhileFresh();
    if (takeOver(false))
        return Start::First;

    switch (askOwnerToRaise(wait)) {
    case Answer::Raised:
        return Start::Raised;
    case Answer::Freed:
        return Start::First;
    case Answer::Silent:
        break;
    }
    const int choice = Dialogs::instance().choose(
        nullptr, u"确认"_s,
        u"Velmora 似乎已在运行（%1）。如果确定没有其他窗口在使用此文件夹，可以继续打开。"_s.arg(
            ownerDescription()),
        {u"继续打开"_s, u"退出"_s});
    if (choice != 0)
        return Start::Declined;
    // Where the owner's file cannot be removed (Windows keeps it while the owner lives), the
    // teacher's answer still opens the window, without a lock.
    takeOver(true);
    return Start::First;
}

// The lock's name taken by something that is no lock: an empty folder is removed, and a file far
// larger than a lock would cost QLockFile a read of all of it. Both bear the program's own hidden
// name, so they are nothing a teacher made.
void SingleInstance::clearNonLock()
{
    const QFileInfo info(lockPath());
    if (info.isDir() && !info.isSymLink())
        QDir().rmdir(lockPath());
    else if (info.isFile() && info.size() > MaxLockSize)
        QFile::remove(lockPath());
}

// A start that created the lock a moment ago may not have locked it yet; removing it then would
// let two windows run.
void SingleInstance::waitWhileFresh() const
{
    constexpr qint64 settleMs = 500;
    const qint64 age = QFileInfo(lockPath()).lastModified().msecsTo(QDateTime::currentDateTime());
    if (age >= 0 && age < settleMs)
        QThread::msleep(static_cast<unsigned long>(settleMs - age));
}

bool SingleInstance::takeOver(bool force)
{
    // QLockFile removes the file only when nobody holds it; forced, it goes whoever does.
    const bool removed = force ? QFile::remove(lockPath()) : lock.removeStaleLockFile();
    return removed && lock.tryLock(0);
}

SingleInstance::Answer SingleInstance::askOwnerToRaise(std::chrono::milliseconds wait)
{
    allowForegroundHandover();
    const QString request =
        QDir(directory).filePath(requestPrefix + QString::number(QCoreApplication::applicationPid()));
    {
        // A folder that takes no request has no owner that could take one either.
        QFile file(request);
        if (!file.open(QIODevice::WriteOnly))
            return Answer::Silent;
    }
    const QDeadlineTimer deadline(wait);
    while (!deadline.hasExpired()) {
        if (!QFile::exists(request))
            return Answer::Raised;
        // The owner was closing when this start came: the folder is free now, and this start owns it.
        if (lock.tryLock(0)) {
            QFile::remove(request);
            return Answer::Freed;
        }
        QThread::msleep(40);
    }
    // Whoever deletes the request decides: if the owner got there first, it is already raising.
    return QFile::remove(request) ? Answer::Silent : Answer::Raised;
}

// "host，start time" as the lock names them; the time is when the lock was written.
QString SingleInstance::ownerDescription() const
{
    qint64 pid = 0;
    QString host;
    QString application;
    if (!lock.getLockInfo(&pid, &host, &application) || host.trimmed().isEmpty())
        host = u"未知的电脑"_s;
    const QDateTime since = QFileInfo(lockPath()).lastModified();
    if (!since.isValid())
        return host.left(64);
    return u"%1，%2 启动"_s.arg(host.left(64), since.toString(u"yyyy-MM-dd HH:mm"_s));
}

void SingleInstance::listen()
{
    if (watcher || poll || !lock.isLocked())
        return;
    watcher = new QFileSystemWatcher(this);
    const bool watched = watcher->addPath(directory);
    if (watched)
        connect(watcher, &QFileSystemWatcher::directoryChanged, this, &SingleInstance::takeRequests);
    // Without a watch (none left, a folder the system cannot watch) the folder is looked at often.
    // With one, still now and then: a watch is armed a moment after addPath returns on Windows, and
    // network and Wine drives may drop a change, so a request could otherwise wait for ever.
    poll = new QTimer(this);
    connect(poll, &QTimer::timeout, this, &SingleInstance::takeRequests);
    poll->start(watched ? 1000 : 500);
    // Requests dropped while the window was still being built raised no change signal.
    QTimer::singleShot(0, this, &SingleInstance::takeRequests);
}

void SingleInstance::takeRequests()
{
    bool taken = false;
    for (const QString &name : pendingRequests(directory))
        taken = QFile::remove(QDir(directory).filePath(name)) || taken;
    if (taken)
        Q_EMIT raiseRequested();
}

} // namespace Velmora
