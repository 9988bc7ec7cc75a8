#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

class QFileSystemWatcher;
class QTimer;

namespace Velmora {

// One window per data folder. Two windows on one folder would each write config.ini on exit, and
// the later one would silently undo what was saved in the earlier one.
//
// The first start holds a QLockFile in the folder; a later start drops a small request file next
// to it and waits for the first to delete it, which is the acknowledgement. Everything goes
// through the folder because the Windows build has no QtNetwork (no QLocalServer), and files work
// the same on both platforms. QLockFile already knows a dead owner's lock for stale.
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
        // The folder is locked, but nobody took the request in time.
        Unreachable
    };
    Q_ENUM(Start)

    explicit SingleInstance(const QString &dataDirectory, QObject *parent = nullptr);
    ~SingleInstance() override;

    // Locks the folder, or asks its owner to come to the front, waiting at most `wait`.
    Start start(std::chrono::milliseconds wait = std::chrono::seconds(5));
    // Starts answering requests; each emits raiseRequested() once. Call when the window exists.
    void listen();

    static QString lockFileName();

Q_SIGNALS:
    void raiseRequested();

private:
    Start askOwnerToRaise(std::chrono::milliseconds wait);
    void takeRequests();

    QString directory;
    QLockFile lock;
    QFileSystemWatcher *watcher = nullptr;
    QTimer *poll = nullptr;
};

} // namespace Velmora
