#pragma once

#include <QApplication>

#include <functional>

namespace Ombrelay
{

// The application object: reports any error that escapes an event handler in a message box
// and goes on, instead of letting it unwind through Qt.
class TApplication : public QApplication
{
    Q_OBJECT

public:
    TApplication(int& Argc, char** Argv);
    bool notify(QObject* Receiver, QEvent* Event) override;

    // SIGTERM, SIGINT and SIGHUP (a session that logs out, a service manager, Ctrl+C) call
    // OnSignal on the event loop, so that the program ends the way its Exit action ends it.
    void HandleTerminationSignals(std::function<void()> OnSignal);

private:
    static void SignalHandler(int Signal);
    std::function<void()> FOnSignal;
};

} // namespace Ombrelay
