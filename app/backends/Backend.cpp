#include "backends/Backend.h"

#include "backends/AutoBackend.h"
#include "base/Errors.h"
#include "platform/modemmanager/MMBackend.h"
#include "platform/sim/SimControl.h"
#include "platform/sim/SimModem.h"

#include <QDBusConnection>

namespace Ombrelay
{

QStringList BackendNames()
{
    return {QStringLiteral("auto"), QStringLiteral("sim"), QStringLiteral("modemmanager")};
}

TBackendOptions ParseBackendOptions(QStringList& Arguments)
{
    TBackendOptions r;
    struct TOption
    {
        const char* Name;
        QString* Value;
    };
    const TOption options[] = {{"--backend", &r.Backend},
                               {"--sim-scenario", &r.SimScenario},
                               {"--sim-state", &r.SimState},
                               {"--sim-control", &r.SimControl}};
    QStringList rest;
    for (qsizetype i = 0; i < Arguments.size(); ++i) {
        const QString& arg = Arguments[i];
        bool taken = false;
        for (const TOption& o : options) {
            const QString name = QLatin1String(o.Name);
            if (arg == name) {
                if (i + 1 >= Arguments.size() || Arguments[i + 1].isEmpty()) {
                    throw EOmbrelayError(QStringLiteral("%1 needs a value").arg(name));
                }
                *o.Value = Arguments[++i];
                taken = true;
            } else if (arg.startsWith(name + QLatin1Char('='))) {
                *o.Value = arg.mid(name.size() + 1);
                if (o.Value->isEmpty()) {
                    throw EOmbrelayError(QStringLiteral("%1 needs a value").arg(name));
                }
                taken = true;
            }
            if (taken) {
                break;
            }
        }
        if (!taken) {
            rest << arg;
        }
    }
    if (!BackendNames().contains(r.Backend)) {
        throw EOmbrelayError(QStringLiteral("Unknown backend \"%1\" (known: %2)")
                                 .arg(r.Backend, BackendNames().join(QStringLiteral(", "))));
    }
    Arguments = rest;
    return r;
}

std::shared_ptr<IMbnInterfaceManager> CreateBackend(const QString& Name, const TBackendOptions& Options)
{
    if (!BackendNames().contains(Name)) {
        throw EOmbrelayError(QStringLiteral("Unknown backend \"%1\"").arg(Name));
    }
    const bool automatic = Name == QLatin1String("auto");
    TMMBackendOptions mm;
    mm.StartTimeoutMs = automatic ? 1500 : 5000;
    mm.RemoveStoredMessages = Options.RemoveStoredMessages;
    if (Name != QLatin1String("sim")) {
        // ModemManager whenever it answers, also before any modem is plugged in: the window
        // then says that no modem is found, and a modem plugged in later comes up at once.
        // Asked for by name, its absence is an error.
        QString reason;
        if (auto backend = TMMInterfaceManager::Create(mm, false, &reason)) {
            return backend;
        }
        if (!automatic) {
            throw EOmbrelayError(QStringLiteral("The ModemManager backend is not available: %1").arg(reason));
        }
    }
    const TSimScenario scenario =
        Options.SimScenario.isEmpty() ? TSimScenario::Default() : TSimScenario::Load(Options.SimScenario);
    auto modem = std::make_shared<TSimModem>(scenario, Options.SimState);
    if (!Options.SimControl.isEmpty()) {
        // Owned by the modem: it lives and ends with it.
        new TSimControl(*modem, Options.SimControl, modem.get());
    }
    if (!automatic) {
        return modem;
    }
    // No modem stack yet: the simulated modem stands in, and ModemManager taking its name
    // later replaces it.
    mm.StartTimeoutMs = 3000;
    auto backend = std::make_shared<TAutoBackend>(modem, [mm]() -> std::shared_ptr<IMbnInterfaceManager> {
        return TMMInterfaceManager::Create(mm, false);
    });
    if (QDBusConnection::systemBus().isConnected()) {
        backend->WatchService(QDBusConnection::systemBus(), QStringLiteral("org.freedesktop.ModemManager1"));
    }
    return backend;
}

} // namespace Ombrelay
