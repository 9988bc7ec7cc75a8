#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <chrono>

class QFileSystemWatcher;
class QTimer;

namespace Velmora {

// One window per data folder. Two windows on one folder would each write config.ini on exit, and
// the later one would silently undo what was saved in the earlier one.
//
// The first start holds a QLockFile in the folder; a later start drops a small request file next
// to it and waits for the first to delete it, which is the acknowledgement. Everything goes
// through the folder because the Windows build has no QtNetwork (no QLocalServer), and files work
// the same on both platforms.
//
// A lock only counts while a process holds it open: the owner keeps a lock on the file (flock on
// Linux, a share mode without delete on Windows), so a file that can be removed belongs to nobody,
// whatever host, process id or text it names. That is what a folder carried on a USB stick, a
// killed owner whose process id came back under Wine, or a power cut that emptied the file leave.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    enum class Start
    {
        // This process owns the folder (or cannot lock it at all, and then runs unguarded).
        First,
        // The first window took the request and comes to the front.
        Raised,
        // Someone holds the folder without answering, and the teacher chose not to open it.
        Declined
    };
    Q_ENUM(Start)

    explicit SingleInstance(const QString &dataDirectory, QObject *parent = nullptr);
    ~SingleInstance() override;

    // Locks the folder, or asks its owner to come to the front, waiting at most `wait` for an
    // owner that holds the lock; when none answers, asks the teacher whether to open anyway.
    Start start(std::chrono::milliseconds wait = std::chrono::seconds(5));
    // Starts answering requests; each emits raiseRequested() once. Call when the window exists.
    void listen();
    // Whether this process holds the folder's lock.
    bool isGuarding() const { return lock.isLocked(); }

    static QString lockFileName();
    // A lock this program writes is a few lines; anything larger is not one, and is never read.
    static constexpr qint64 MaxLockSize = 4096;

Q_SIGNALS:
    void raiseRequested();

private:
    enum class Answer
    {
        Raised,
        Freed,
        Silent
    };

    QString lockPath() const;
    void clearNonLock();
    void waitWhileFresh() const;
    bool takeOver(bool force);
    Answer askOwnerToRaise(std::chrono::milliseconds wait);
    QString ownerDescription() const;
    void takeRequests();

    QString directory;
    QLockFile lock;
    QFileSystemWatcher *watcher = nullptr;
    QTimer *poll = nullptr;
};

} // namespace Velmora
