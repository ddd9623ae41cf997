#include "backends/AutoBackend.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QMetaMethod>

namespace Ombrelay
{

TAutoBackend::TAutoBackend(std::shared_ptr<IMbnInterfaceManager> Fallback, TProbe Probe, QObject* Parent)
    : IMbnInterfaceManager(Parent)
    , FCurrent(std::move(Fallback))
    , FProbe(std::move(Probe))
{
    Attach();
}

TAutoBackend::~TAutoBackend()
{
    Detach();
}

void TAutoBackend::Attach()
{
    // Every signal of the port, those added later included, is passed on as it stands.
    const QMetaObject& port = IMbnInterfaceManager::staticMetaObject;
    for (int m = port.methodOffset(); m < port.methodCount(); ++m) {
        const QMetaMethod signal = port.method(m);
        if (signal.methodType() == QMetaMethod::Signal) {
            FForwards << connect(FCurrent.get(), signal, this, signal);
        }
    }
}

void TAutoBackend::Detach()
{
    for (const QMetaObject::Connection& c : std::as_const(FForwards)) {
        disconnect(c);
    }
    FForwards.clear();
}

void TAutoBackend::WatchService(const QDBusConnection& Bus, const QString& Service)
{
    FWatcher = new QDBusServiceWatcher(Service, Bus, QDBusServiceWatcher::WatchForRegistration, this);
    connect(FWatcher, &QDBusServiceWatcher::serviceRegistered, this, [this] { TryReal(); });
}

bool TAutoBackend::TryReal()
{
    if (FReal) {
        return true;
    }
    std::shared_ptr<IMbnInterfaceManager> real = FProbe ? FProbe() : nullptr;
    if (!real) {
        return false;
    }
    SwitchTo(std::move(real));
    FReal = true;
    if (FWatcher) {
        // The real stack stays in use from now on, also across its restarts.
        FWatcher->deleteLater();
        FWatcher = nullptr;
    }
    return true;
}

void TAutoBackend::SwitchTo(std::shared_ptr<IMbnInterfaceManager> Backend)
{
    if (!Backend || Backend == FCurrent) {
        return;
    }
    QList<std::shared_ptr<IMbnInterface>> old;
    if (MbnFailed(FCurrent->GetInterfaces(old))) {
        old.clear();
    }
    Detach();
    FRetired << FCurrent;
    FCurrent = std::move(Backend);
    FCurrent->SetRemoveStoredMessages(FRemoveStored);
    Attach();
    // The new backend is in place before anyone hears of the change, so that whoever asks on
    // the removal already gets the new backend's answers.
    for (const auto& i : std::as_const(old)) {
        Q_EMIT InterfaceRemoval(i->InterfaceID());
    }
    QList<std::shared_ptr<IMbnInterface>> fresh;
    if (MbnSucceeded(FCurrent->GetInterfaces(fresh))) {
        for (const auto& i : std::as_const(fresh)) {
            Q_EMIT InterfaceArrival(i->InterfaceID());
        }
    }
}

void TAutoBackend::SetRemoveStoredMessages(bool Value)
{
    FRemoveStored = Value;
    FCurrent->SetRemoveStoredMessages(Value);
}

} // namespace Ombrelay
