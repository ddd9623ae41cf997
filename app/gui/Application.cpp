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
    } catch (const std::exception& e) {
        ShowException(activeWindow(), e);
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
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(SignalSockets[0], &byte, 1);
}

void TApplication::HandleTerminationSignals(std::function<void()> OnSignal)
{
    FOnSignal = std::move(OnSignal);
    if (SignalSockets[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, SignalSockets) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(SignalSockets[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(SignalSockets[1], &byte, 1);
        if (FOnSignal) {
            FOnSignal();
        }
    });
    struct sigaction action = {};
    action.sa_handler = &TApplication::SignalHandler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        ::sigaction(signal, &action, nullptr);
    }
}

} // namespace Ombrelay
