#include "gui/Application.h"

#include "gui/GuiCommon.h"

#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>

#include <csignal>

namespace Ombrelay
{

TApplication::TApplication(int& Argc, char** Argv)
    : QApplication(Argc, Argv)
{
}

bool TApplication::notify(QObject* Receiver, QEvent* Event)
{
    try {
        return QApplication::notify(Receiver, Event);
    } catch (const std::exception& E) {
        ShowException(activeWindow(), E);
    } catch (...) {
        ShowUnknownException(activeWindow());
    }
    return false;
}

namespace
{

// The self-pipe: the handler only writes one byte, the event loop does the rest.
int SignalSockets[2] = {-1, -1};

} // namespace

void TApplication::SignalHandler(int)
{
    const char Byte = 1;
    [[maybe_unused]] const ssize_t Written = ::write(SignalSockets[0], &Byte, 1);
}

void TApplication::HandleTerminationSignals(std::function<void()> OnSignal)
{
    FOnSignal = std::move(OnSignal);
    if (SignalSockets[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, SignalSockets) != 0) {
        return;
    }
    auto* Notifier = new QSocketNotifier(SignalSockets[1], QSocketNotifier::Read, this);
    connect(Notifier, &QSocketNotifier::activated, this, [this] {
        char Byte = 0;
        [[maybe_unused]] const ssize_t Read = ::read(SignalSockets[1], &Byte, 1);
        if (FOnSignal) {
            FOnSignal();
        }
    });
    struct sigaction Action = {};
    Action.sa_handler = &TApplication::SignalHandler;
    sigemptyset(&Action.sa_mask);
    Action.sa_flags = SA_RESTART;
    for (int Signal : {SIGTERM, SIGINT, SIGHUP}) {
        ::sigaction(Signal, &Action, nullptr);
    }
}

} // namespace Ombrelay
