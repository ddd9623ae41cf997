#pragma once

// Choosing and creating the backend of the platform port from the command line.

#include "platform/MbnPort.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace Ombrelay
{

struct TBackendOptions
{
    // "auto" (ModemManager whenever it answers, with or without a modem; else the simulated
    // modem until ModemManager appears), "sim" or "modemmanager".
    QString Backend = QStringLiteral("auto");
    QString SimScenario; // --sim-scenario FILE: the simulated modem's scenario (JSON)
    QString SimState;    // --sim-state FILE: where the simulated modem keeps its stored messages
    QString SimControl;  // --sim-control PATH: the local socket of its control channel
    // The setting "Remove messages from the modem once stored". Real modem stacks share the
    // modem's store with every other client, so leaving messages there is the user's choice.
    bool RemoveStoredMessages = true;
};

// Takes the backend options (--backend=NAME, --sim-scenario FILE, --sim-state FILE,
// --sim-control PATH; "--name value" or "--name=value") out of Arguments and leaves the rest.
// A missing value or an unknown backend raises EOmbrelayError.
TBackendOptions ParseBackendOptions(QStringList& Arguments);

// The names --backend accepts.
QStringList BackendNames();

// Creates the backend. For the simulated modem it reads the scenario and the state file and
// opens the control channel as the options say; a bad scenario, state file or control path
// raises EOmbrelayError with a readable text. Call it on the thread that will run the
// device layer (the GUI thread): completions come on that thread's event loop.
std::shared_ptr<IMbnInterfaceManager> CreateBackend(const QString& Name, const TBackendOptions& Options);
inline std::shared_ptr<IMbnInterfaceManager> CreateBackend(const TBackendOptions& Options)
{
    return CreateBackend(Options.Backend, Options);
}

} // namespace Ombrelay
