#pragma once

// The backend of "--backend=auto" when no modem stack runs at the start: the simulated modem
// stands in until the real stack appears, and then gives way to it.

#include "platform/MbnPort.h"

#include <QList>
#include <QMetaObject>

#include <functional>
#include <memory>

class QDBusConnection;
class QDBusServiceWatcher;

namespace Ombrelay
{

// Passes every call to the backend in use and every completion and event of that backend on.
// Switching announces the old backend's interfaces as removed and the new one's as arrived, so
// that the device layer above follows without a restart. The old backend is kept (events it
// still delivers reach nobody), since tools may hold on to it.
class TAutoBackend : public IMbnInterfaceManager
{
    Q_OBJECT

public:
    // Probe creates the real backend, or returns null while it is not there.
    using TProbe = std::function<std::shared_ptr<IMbnInterfaceManager>()>;

    TAutoBackend(std::shared_ptr<IMbnInterfaceManager> Fallback, TProbe Probe, QObject* Parent = nullptr);
    ~TAutoBackend() override;

    // Tries the probe whenever Service takes its name on Bus.
    void WatchService(const QDBusConnection& Bus, const QString& Service);
    // Tries the probe now; true when the real backend is in use (now or already).
    bool TryReal();
    // Uses Backend from now on.
    void SwitchTo(std::shared_ptr<IMbnInterfaceManager> Backend);
    const std::shared_ptr<IMbnInterfaceManager>& Current() const { return FCurrent; }

    QString Name() const override { return FCurrent->Name(); }
    TMbnResult GetInterfaces(QList<std::shared_ptr<IMbnInterface>>& Interfaces) override
    {
        return FCurrent->GetInterfaces(Interfaces);
    }
    TMbnResult GetInterface(const QString& InterfaceID, std::shared_ptr<IMbnInterface>& Interface) override
    {
        return FCurrent->GetInterface(InterfaceID, Interface);
    }
    TMbnResult CreateProfileManager(std::shared_ptr<IMbnConnectionProfileManager>& ProfileManager) override
    {
        return FCurrent->CreateProfileManager(ProfileManager);
    }
    QString ErrorText(TMbnResult Code) const override { return FCurrent->ErrorText(Code); }
    bool SharesMessageStore() const override { return FCurrent->SharesMessageStore(); }
    void SetRemoveStoredMessages(bool Value) override;
    QString PasswordKeeper() const override { return FCurrent->PasswordKeeper(); }

private:
    void Attach();
    void Detach();

    std::shared_ptr<IMbnInterfaceManager> FCurrent;
    QList<std::shared_ptr<IMbnInterfaceManager>> FRetired;
    TProbe FProbe;
    bool FReal = false;
    bool FRemoveStored = true;
    QList<QMetaObject::Connection> FForwards;
    QDBusServiceWatcher* FWatcher = nullptr;
};

} // namespace Ombrelay
