#include "singleinstance.h"

#include "foreground.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
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
    // The window lives for hours: age alone must never make its lock look abandoned. Only a dead
    // owner (or a reused process id) does.
    lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::lockFileName()
{
    return u".velmora.lock"_s;
}

SingleInstance::Start SingleInstance::start(std::chrono::milliseconds wait)
{
    if (lock.tryLock(0))
        return Start::First;
    // A folder the program cannot write to (a read-only stick) cannot hold a lock; config.ini
    // cannot be saved there either, so a second window does no harm and refusing would.
    if (lock.error() != QLockFile::LockFailedError)
        return Start::First;
    return askOwnerToRaise(wait);
}

SingleInstance::Start SingleInstance::askOwnerToRaise(std::chrono::milliseconds wait)
{
    allowForegroundHandover();
    const QString request =
        QDir(directory).filePath(requestPrefix + QString::number(QCoreApplication::applicationPid()));
    {
        QFile file(request);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return Start::Unreachable;
    }
    const QDeadlineTimer deadline(wait);
    while (!deadline.hasExpired()) {
        if (!QFile::exists(request))
            return Start::Raised;
        // The owner was closing when this start came: the folder is free now, and this start owns it.
        if (lock.tryLock(0)) {
            QFile::remove(request);
            return Start::First;
        }
        QThread::msleep(40);
    }
    // Whoever deletes the request decides: if the owner got there first, it is already raising.
    return QFile::remove(request) ? Start::Unreachable : Start::Raised;
}

void SingleInstance::listen()
{
    if (watcher || poll || !lock.isLocked())
        return;
    watcher = new QFileSystemWatcher(this);
    if (watcher->addPath(directory)) {
        connect(watcher, &QFileSystemWatcher::directoryChanged, this, &SingleInstance::takeRequests);
    } else {
        // Out of watches (or a folder the system cannot watch): look now and then instead.
        poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, &SingleInstance::takeRequests);
        poll->start(500);
    }
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
