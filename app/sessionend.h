#pragma once

#include <QObject>

class QSocketNotifier;

namespace Velmora {

// Logging out, shutting down or closing the terminal sends SIGTERM, SIGHUP or SIGINT. By default
// they kill the program on the spot: whatever was typed since the last save is lost and the lock
// stays behind. While an object of this class lives, each of them instead emits endRequested()
// from the event loop, and the caller ends the program the way closing the window does.
//
// A signal handler may do next to nothing, so it only writes the signal's number into a socket
// pair that the event loop watches. The first signal also restores the default action: a second
// one ends a program that hangs in its shutdown.
class SessionEnd : public QObject
{
    Q_OBJECT

public:
    explicit SessionEnd(QObject *parent = nullptr);
    ~SessionEnd() override;

    // Whether a signal has arrived; it may have come while the event loop was not yet running.
    bool requested() const { return received != 0; }
    int signalNumber() const { return received; }

Q_SIGNALS:
    void endRequested();

private:
    void readSignal();

    QSocketNotifier *notifier = nullptr;
    int received = 0;
};

} // namespace Velmora
