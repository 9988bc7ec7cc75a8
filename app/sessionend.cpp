#include "sessionend.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <csignal>
#include <unistd.h>

#include <sys/socket.h>
#endif

namespace Velmora {

#ifdef Q_OS_UNIX

namespace {

constexpr int endingSignals[] = {SIGTERM, SIGHUP, SIGINT};
// [0] is written by the handler, [1] read by the event loop.
int signalPipe[2] = {-1, -1};

void onSignal(int number)
{
    const unsigned char byte = static_cast<unsigned char>(number);
    // Nothing can be done about a full pipe inside a handler; one byte is all it takes anyway.
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[0], &byte, 1);
}

} // namespace

SessionEnd::SessionEnd(QObject *parent) : QObject(parent)
{
    if (signalPipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &SessionEnd::readSignal);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (int number : endingSignals)
        ::sigaction(number, &action, nullptr);
}

SessionEnd::~SessionEnd()
{
    if (!notifier)
        return;
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int number : endingSignals)
        ::sigaction(number, &action, nullptr);
    delete notifier;
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

void SessionEnd::readSignal()
{
    unsigned char byte = 0;
    if (::read(signalPipe[1], &byte, 1) != 1)
        return;
    const bool first = received == 0;
    received = byte;
    if (first)
        Q_EMIT endRequested();
}

#else

// Windows ends a session through the window system instead (QGuiApplication::commitDataRequest),
// and a program without a console gets no console events.
SessionEnd::SessionEnd(QObject *parent) : QObject(parent) {}
SessionEnd::~SessionEnd() = default;
void SessionEnd::readSignal() {}

#endif

} // namespace Velmora
