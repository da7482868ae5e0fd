// The handler may only do what is safe in a signal: it writes a byte to a socket, and the event
// loop reads it and ends itself.
#include "terminationsignals.h"

#include <csignal>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int s_sockets[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(s_sockets[0], &byte, 1);
}

} // namespace

namespace TerminationSignals {

void endEventLoopOnThem()
{
    if (s_sockets[0] != -1 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, s_sockets) != 0)
        return;
    ::fcntl(s_sockets[0], F_SETFL, O_NONBLOCK);
    auto *notifier =
        new QSocketNotifier(s_sockets[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(s_sockets[1], &byte, 1);
        QCoreApplication::exit(0);
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

} // namespace TerminationSignals
