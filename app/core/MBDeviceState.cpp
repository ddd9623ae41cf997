// The manager's side of locked SIMs and modems that are switched off: what it tells its owner,
// the unlock and switch-on requests, and the fresh read of a modem once it can be used.

#include "core/MBInterfaceItem.h"
#include "core/MBManager.h"

#include <QCoreApplication>

namespace Ombrelay
{

QString DeviceStateText(const TMbnLockState& Lock, bool Powered, bool RadioEnabled)
{
    switch (Lock.Lock) {
    case TMbnLock::lkSimPin:
        return QCoreApplication::translate("DeviceState", "SIM PIN required");
    case TMbnLock::lkSimPuk:
        return QCoreApplication::translate("DeviceState", "SIM PUK required");
    case TMbnLock::lkBlocked:
        return QCoreApplication::translate("DeviceState", "SIM blocked");
    case TMbnLock::lkNone:
        break;
    }
    if (!RadioEnabled) {
        return QCoreApplication::translate("DeviceState", "Mobile broadband switched off");
    }
    if (!Powered) {
        return QCoreApplication::translate("DeviceState", "Modem switched off");
    }
    return QString();
}

void TMBManager::SubscribeDeviceState()
{
    IMbnInterfaceManager* p = FPort.get();
    auto guarded = [this](auto Body) {
        return [this, Body](auto&&... Args) {
            try {
                Body(std::forward<decltype(Args)>(Args)...);
            } catch (const std::exception& e) {
                Q_EMIT ErrorOccurred(QString::fromUtf8(e.what()));
            }
        };
    };
    FSubscriptions << connect(p, &IMbnInterfaceManager::DeviceStateChange, this,
                              guarded([this](const QString& Id) { OnDeviceStateChange(Id); }));
    FSubscriptions << connect(p, &IMbnInterfaceManager::UnlockComplete, this,
                              guarded([this](const QString& Id, quint32 RequestId, qint32 Status) {
                                  OnDeviceRequestComplete(Id, RequestId, Status, true);
                              }));
    FSubscriptions << connect(p, &IMbnInterfaceManager::EnableComplete, this,
                              guarded([this](const QString& Id, quint32 RequestId, qint32 Status) {
                                  OnDeviceRequestComplete(Id, RequestId, Status, false);
                              }));
    FSubscriptions << connect(p, &IMbnInterfaceManager::RadioStateChange, this, guarded([this] {
                                  if (FDeviceStateNotify) {
                                      FDeviceStateNotify(QString());
                                  }
                              }));
}

TMbnLockState TMBManager::GetLockState(const QString& InterfaceID)
{
    TMbnLockState lock;
    std::shared_ptr<IMbnInterface> i;
    if (MbnFailed(FPort->GetInterface(InterfaceID, i)) || MbnFailed(i->GetLockState(lock))) {
        return {};
    }
    return lock;
}

bool TMBManager::IsPowered(const QString& InterfaceID)
{
    // Not known yet counts as on: nothing to show, nothing to switch.
    return Power(InterfaceID) != TPower::Off;
}

TMBManager::TPower TMBManager::Power(const QString& InterfaceID)
{
    bool on = true;
    std::shared_ptr<IMbnInterface> i;
    if (MbnFailed(FPort->GetInterface(InterfaceID, i))) {
        return TPower::Unknown;
    }
    const TMbnResult r = i->GetPowered(on);
    if (r == mrNotSupported) {
        return TPower::Always;
    }
    if (MbnFailed(r)) {
        return TPower::Unknown;
    }
    return on ? TPower::On : TPower::Off;
}

bool TMBManager::IsReady(const QString& InterfaceID)
{
    const TPower power = Power(InterfaceID);
    return GetLockState(InterfaceID).Lock == TMbnLock::lkNone && (power == TPower::On || power == TPower::Always);
}

quint32 TMBManager::SendPin(const QString& InterfaceID, const QString& Pin)
{
    TMbnRequestId id = 0;
    // The code is never part of a message: only the call's name and the stack's reason are.
    Check(GetInterface(InterfaceID)->SendPin(Pin, id), QCoreApplication::translate("DeviceState", "Sending the PIN"));
    return id;
}

quint32 TMBManager::SendPuk(const QString& InterfaceID, const QString& Puk, const QString& NewPin)
{
    TMbnRequestId id = 0;
    Check(GetInterface(InterfaceID)->SendPuk(Puk, NewPin, id),
          QCoreApplication::translate("DeviceState", "Sending the PUK"));
    return id;
}

quint32 TMBManager::SwitchOn(const QString& InterfaceID)
{
    TMbnRequestId id = 0;
    Check(GetInterface(InterfaceID)->SetPowered(true, id),
          QCoreApplication::translate("DeviceState", "Switching the modem on"));
    return id;
}

void TMBManager::SetSwitchOnModems(bool Value)
{
    FSwitchOnModems = Value;
    if (!Value || !FInterfaceList) {
        return;
    }
    QStringList ids;
    for (const auto& item : *FInterfaceList) {
        ids << item->InterfaceID();
    }
    for (const QString& id : ids) {
        MaybeSwitchOn(id);
    }
}

void TMBManager::DeviceListed(const QString& InterfaceID)
{
    const bool ready = IsReady(InterfaceID);
    FReady.insert(InterfaceID, ready);
    if (ready) {
        FSeenOn.insert(InterfaceID);
    }
    MaybeSwitchOn(InterfaceID);
}

void TMBManager::MaybeSwitchOn(const QString& InterfaceID)
{
    // Only a modem found off: one the user or another program switched off while it was listed
    // here stays off. A locked modem cannot be switched on until its SIM is unlocked.
    if (!FSwitchOnModems || FSeenOn.contains(InterfaceID) || FSwitchingOn.contains(InterfaceID) ||
        Power(InterfaceID) != TPower::Off || GetLockState(InterfaceID).Lock != TMbnLock::lkNone) {
        return;
    }
    std::shared_ptr<IMbnInterface> i;
    TMbnRequestId id = 0;
    if (MbnFailed(FPort->GetInterface(InterfaceID, i))) {
        return;
    }
    if (const TMbnResult r = i->SetPowered(true, id); MbnFailed(r)) {
        if (r != mrNotSupported) {
            ReportError(QCoreApplication::translate("DeviceState", "The modem could not be switched on: %1")
                            .arg(FPort->ErrorText(r)));
        }
        return;
    }
    FSwitchingOn.insert(InterfaceID);
}

void TMBManager::OnDeviceStateChange(const QString& InterfaceID)
{
    if (Gone(InterfaceID)) {
        return;
    }
    const TPower power = Power(InterfaceID);
    const bool unlocked = GetLockState(InterfaceID).Lock == TMbnLock::lkNone;
    const bool ready = unlocked && (power == TPower::On || power == TPower::Always);
    const bool wasReady = FReady.value(InterfaceID, true);
    FReady.insert(InterfaceID, ready);
    if (ready) {
        FSeenOn.insert(InterfaceID);
        FSwitchingOn.remove(InterfaceID);
    }
    if (ready && !wasReady) {
        // Unlocked or switched on: what the modem offers may have changed (a stack shows its
        // messaging only then), so it is read anew, and its messages at once.
        RereadInterface(InterfaceID);
        ReadSms(InterfaceID);
    } else if (unlocked && power == TPower::Off) {
        MaybeSwitchOn(InterfaceID);
    }
    if (FDeviceStateNotify && !Gone(InterfaceID)) {
        FDeviceStateNotify(InterfaceID);
    }
}

void TMBManager::OnDeviceRequestComplete(const QString& InterfaceID, quint32 RequestId, qint32 Status, bool Unlock)
{
    QString error;
    if (MbnFailed(Status)) {
        error = FPort->ErrorText(Status);
    }
    if (!Unlock && FSwitchingOn.remove(InterfaceID) && !error.isEmpty()) {
        // The setting's own request has nobody waiting for it.
        ReportError(QCoreApplication::translate("DeviceState", "The modem could not be switched on: %1").arg(error));
    }
    if (FDeviceRequestNotify) {
        FDeviceRequestNotify(InterfaceID, RequestId, error);
    }
}

void TMBManager::RereadInterface(const QString& InterfaceID)
{
    std::shared_ptr<IMbnInterface> i;
    if (!FInterfaceList || !FInterfaceList->FindByID(InterfaceID) || MbnFailed(FPort->GetInterface(InterfaceID, i))) {
        return;
    }
    // The new item is built first: when it cannot be read, the old one stays.
    std::unique_ptr<TMBInterfaceItem> fresh;
    try {
        fresh = std::make_unique<TMBInterfaceItem>(*FPort, i);
    } catch (const std::exception& e) {
        ReportError(QString::fromUtf8(e.what()));
        return;
    }
    std::unique_ptr<TMBInterfaceItem> old = FInterfaceList->Take(InterfaceID);
    if (FInterfacesChangedNotify) {
        FInterfacesChangedNotify(QString(), InterfaceID);
    }
    old.reset();
    const QStringList warnings = fresh->ProfileErrors();
    FInterfaceList->Add(std::move(fresh));
    if (FInterfacesChangedNotify) {
        FInterfacesChangedNotify(InterfaceID, QString());
    }
    if (!warnings.isEmpty()) {
        ReportError(warnings.join(QLatin1Char('\n')));
    }
}

} // namespace Ombrelay
