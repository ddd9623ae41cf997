// The root of the ModemManager backend: the first read of ModemManager's objects, the watch on
// both services, and the dispatch of ModemManager's signals to the modems.

#include "platform/modemmanager/MMBackend.h"
#include "platform/modemmanager/MMInterface.h"
#include "platform/modemmanager/MMNames.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QElapsedTimer>

#include <algorithm>

namespace Ombrelay
{

using namespace MM;

QDBusMessage TMMInterfaceManager::CallBounded(QDBusConnection& Bus, const QDBusMessage& Message, int TimeoutMs)
{
    QDBusPendingCall call = Bus.asyncCall(Message, std::max(1, TimeoutMs));
    call.waitForFinished();
    return QDBusPendingReply<>(call).reply();
}

TMMInterfaceManager::TMMInterfaceManager(const TMMBackendOptions& Options)
    : FOptions(Options)
    , FBus(QDBusConnection::systemBus())
{
    // ModemManager or NetworkManager may restart, or start after the program.
    FWatcher.setConnection(FBus);
    FWatcher.setWatchMode(QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration);
    FWatcher.addWatchedService(kMMService);
    FWatcher.addWatchedService(kNmService);
    connect(&FWatcher, &QDBusServiceWatcher::serviceRegistered, this, &TMMInterfaceManager::OnServiceRegistered);
    connect(&FWatcher, &QDBusServiceWatcher::serviceUnregistered, this, &TMMInterfaceManager::OnServiceUnregistered);
}

TMMInterfaceManager::~TMMInterfaceManager()
{
    FBus.disconnect(kMMService, QString(), kObjectManager, QStringLiteral("InterfacesAdded"), this,
                    SLOT(OnInterfacesAdded(QDBusMessage)));
    FBus.disconnect(kMMService, QString(), kObjectManager, QStringLiteral("InterfacesRemoved"), this,
                    SLOT(OnInterfacesRemoved(QDBusMessage)));
    FBus.disconnect(kMMService, QString(), kProperties, QStringLiteral("PropertiesChanged"), this,
                    SLOT(OnMMPropertiesChanged(QDBusMessage)));
    FBus.disconnect(kMMService, QString(), kMMMessaging, QStringLiteral("Added"), this,
                    SLOT(OnMessageAdded(QDBusMessage)));
    FBus.disconnect(kNmService, QString(), kProperties, QStringLiteral("PropertiesChanged"), this,
                    SLOT(OnNmPropertiesChanged(QDBusMessage)));
    FBus.disconnect(kNmService, QString(), kNmActive, QStringLiteral("StateChanged"), this,
                    SLOT(OnNmActiveStateChanged(QDBusMessage)));
    FBus.disconnect(kNmService, kNmSettingsPath, kNmSettings, QStringLiteral("NewConnection"), this,
                    SLOT(OnNmSettingsChanged(QDBusMessage)));
    FBus.disconnect(kNmService, kNmSettingsPath, kNmSettings, QStringLiteral("ConnectionRemoved"), this,
                    SLOT(OnNmSettingsChanged(QDBusMessage)));
    FBus.disconnect(kNmService, QString(), kNmConnection, QStringLiteral("Updated"), this,
                    SLOT(OnNmSettingsChanged(QDBusMessage)));
    FBus.disconnect(kNmService, kNmPath, kNmService, QStringLiteral("DeviceAdded"), this,
                    SLOT(OnNmDeviceAdded(QDBusMessage)));
}

std::shared_ptr<TMMInterfaceManager> TMMInterfaceManager::Create(const TMMBackendOptions& Options, bool RequireModem,
                                                                 QString* Reason)
{
    std::shared_ptr<TMMInterfaceManager> m(new TMMInterfaceManager(Options));
    if (!m->Load(RequireModem, Reason)) {
        return nullptr;
    }
    return m;
}

bool TMMInterfaceManager::Load(bool RequireModem, QString* Reason)
{
    auto fail = [Reason](const QString& Text) {
        if (Reason) {
            *Reason = Text;
        }
        return false;
    };
    if (!FBus.isConnected()) {
        return fail(QStringLiteral("The system bus is not available: %1").arg(FBus.lastError().message()));
    }
    QElapsedTimer timer;
    timer.start();
    // Subscribe first, so that nothing that changes between the read and the subscription is lost.
    FBus.connect(kMMService, QString(), kObjectManager, QStringLiteral("InterfacesAdded"), this,
                 SLOT(OnInterfacesAdded(QDBusMessage)));
    FBus.connect(kMMService, QString(), kObjectManager, QStringLiteral("InterfacesRemoved"), this,
                 SLOT(OnInterfacesRemoved(QDBusMessage)));
    FBus.connect(kMMService, QString(), kProperties, QStringLiteral("PropertiesChanged"), this,
                 SLOT(OnMMPropertiesChanged(QDBusMessage)));
    FBus.connect(kMMService, QString(), kMMMessaging, QStringLiteral("Added"), this,
                 SLOT(OnMessageAdded(QDBusMessage)));
    const QDBusMessage reply = CallBounded(FBus,
                                           QDBusMessage::createMethodCall(kMMService, kMMPath, kObjectManager,
                                                                          QStringLiteral("GetManagedObjects")),
                                           FOptions.StartTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return fail(QStringLiteral("ModemManager does not answer: %1").arg(reply.errorMessage()));
    }
    const QDBusArgument arg = reply.arguments().at(0).value<QDBusArgument>();
    arg.beginMap();
    while (!arg.atEnd()) {
        QDBusObjectPath path;
        arg.beginMapEntry();
        arg >> path;
        const TInterfaceMap interfaces = ReadInterfaceMap(arg);
        arg.endMapEntry();
        if (interfaces.contains(kMMModem)) {
            AddModem(path.path(), interfaces);
        }
    }
    arg.endMap();
    if (RequireModem && FInterfaces.isEmpty()) {
        return fail(QStringLiteral("ModemManager knows no modem"));
    }
    LoadNetworkManager(std::max(200, FOptions.StartTimeoutMs - int(timer.elapsed())));
    return true;
}

void TMMInterfaceManager::AddModem(const QString& Path, const TInterfaceMap& Interfaces)
{
    const QVariantMap modem = Interfaces.value(kMMModem);
    QString id = modem.value(QStringLiteral("DeviceIdentifier")).toString();
    if (id.isEmpty()) {
        id = Path; // not yet known; should not happen once the modem is exported
    }
    for (const auto& i : std::as_const(FInterfaces)) {
        if (i->InterfaceID() == id) {
            // The same device again (re-plugged, or ModemManager restarted): same identifier, new path.
            i->Bind(Path, Interfaces);
            return;
        }
    }
    auto i = std::make_shared<TMMInterface>(*this, id);
    i->Bind(Path, Interfaces);
    FInterfaces << i;
}

std::shared_ptr<TMMInterface> TMMInterfaceManager::FindByPath(const QString& Path) const
{
    if (Path.isEmpty()) {
        return nullptr;
    }
    for (const auto& i : FInterfaces) {
        if (i->Path() == Path) {
            return i;
        }
    }
    return nullptr;
}

TMbnResult TMMInterfaceManager::GetInterfaces(QList<std::shared_ptr<IMbnInterface>>& Interfaces)
{
    Interfaces.clear();
    for (const auto& i : std::as_const(FInterfaces)) {
        if (!i->Path().isEmpty()) {
            Interfaces << i;
        }
    }
    return mrOk;
}

TMbnResult TMMInterfaceManager::GetInterface(const QString& InterfaceID, std::shared_ptr<IMbnInterface>& Interface)
{
    for (const auto& i : std::as_const(FInterfaces)) {
        if (i->InterfaceID() == InterfaceID) {
            Interface = i;
            return mrOk;
        }
    }
    return mrNotFound;
}

TMbnResult TMMInterfaceManager::MakeError(const QString& Text)
{
    const TMbnResult code = FNextError;
    // Codes are reused after a while; a text is only ever asked for shortly after its failure.
    FNextError = FNextError <= mrBackendBase - 100000 ? mrBackendBase - 1 : FNextError - 1;
    FErrors.insert(code, Text);
    if (FErrors.size() > 1000) {
        FErrors.remove(code + 1000);
    }
    return code;
}

TMbnResult TMMInterfaceManager::MakeError(const QDBusMessage& Reply)
{
    if (Reply.type() == QDBusMessage::ReplyMessage) {
        return MakeError(QStringLiteral("an unexpected answer from the modem stack"));
    }
    QString text = Reply.errorMessage();
    if (text.isEmpty()) {
        text = Reply.errorName();
    }
    return MakeError(text);
}

QString TMMInterfaceManager::ErrorText(TMbnResult Code) const
{
    auto it = FErrors.constFind(Code);
    if (it != FErrors.cend()) {
        return *it;
    }
    return MbnErrorText(Code);
}

void TMMInterfaceManager::OnInterfacesAdded(const QDBusMessage& Message)
{
    if (Message.arguments().size() < 2) {
        return;
    }
    const QString path = ToPath(Message.arguments().at(0));
    const TInterfaceMap interfaces = ToInterfaceMap(Message.arguments().at(1));
    if (std::shared_ptr<TMMInterface> i = FindByPath(path)) {
        i->AddInterfaces(interfaces);
        return;
    }
    if (interfaces.contains(kMMModem)) {
        AddModem(path, interfaces);
        if (FNmAvailable) {
            ReloadDevices();
        }
        if (std::shared_ptr<TMMInterface> i = FindByPath(path)) {
            // Plugged in, found late, or back after a restart of ModemManager.
            Q_EMIT InterfaceArrival(i->InterfaceID());
        }
    }
}

void TMMInterfaceManager::OnInterfacesRemoved(const QDBusMessage& Message)
{
    if (Message.arguments().size() < 2) {
        return;
    }
    const QString path = ToPath(Message.arguments().at(0));
    std::shared_ptr<TMMInterface> i = FindByPath(path);
    if (!i) {
        return;
    }
    i->RemoveInterfaces(Message.arguments().at(1).toStringList());
    if (!i->HasModem()) {
        // The modem went away. Its item stays (the identifier may come back on another path);
        // until then calls on it fail with "not found".
        i->Unbind();
        Q_EMIT InterfaceRemoval(i->InterfaceID());
    }
}

void TMMInterfaceManager::OnMMPropertiesChanged(const QDBusMessage& Message)
{
    std::shared_ptr<TMMInterface> i = FindByPath(Message.path());
    if (!i || Message.arguments().size() < 2) {
        return;
    }
    const QString interface = Message.arguments().at(0).toString();
    QVariantMap changed;
    Message.arguments().at(1).value<QDBusArgument>() >> changed;
    i->UpdateProperties(interface, changed);
    if (interface == kMMModem) {
        if (changed.contains(QStringLiteral("SignalQuality"))) {
            Q_EMIT SignalStateChange(i->InterfaceID());
        }
        if (changed.contains(QStringLiteral("State")) || changed.contains(QStringLiteral("AccessTechnologies"))) {
            Q_EMIT RegisterStateChange(i->InterfaceID());
        }
        if (changed.contains(QStringLiteral("State")) || changed.contains(QStringLiteral("UnlockRequired")) ||
            changed.contains(QStringLiteral("UnlockRetries"))) {
            Q_EMIT DeviceStateChange(i->InterfaceID());
        }
    } else if (interface == kMM3gpp) {
        Q_EMIT RegisterStateChange(i->InterfaceID());
    } else if (interface == kMMUssd) {
        i->UssdPropertiesChanged(changed);
    }
}

void TMMInterfaceManager::OnMessageAdded(const QDBusMessage& Message)
{
    std::shared_ptr<TMMInterface> i = FindByPath(Message.path());
    if (!i || Message.arguments().size() < 2) {
        return;
    }
    // Only messages from the network; a message another client creates to send is none of ours.
    if (Message.arguments().at(1).toBool()) {
        Q_EMIT SmsNewMessage(i->InterfaceID());
    }
}

void TMMInterfaceManager::OnServiceRegistered(const QString& Service)
{
    if (Service == kNmService) {
        ReloadProfiles();
        ReloadDevices();
    }
    // A restarted ModemManager announces its modems with InterfacesAdded; each finds its item
    // again by its identifier.
}

void TMMInterfaceManager::OnServiceUnregistered(const QString& Service)
{
    if (Service == kMMService) {
        // Gone without saying so for each modem: the items stay, their calls fail until it is back.
        for (const auto& i : std::as_const(FInterfaces)) {
            if (!i->Path().isEmpty()) {
                i->Unbind();
                Q_EMIT InterfaceRemoval(i->InterfaceID());
            }
        }
    } else if (Service == kNmService) {
        FNmAvailable = false;
        // Nobody keeps mobile broadband switched off any more.
        SetWwanEnabled(true);
        for (const auto& i : std::as_const(FInterfaces)) {
            if (!i->FActivePath.isEmpty()) {
                i->ActiveStateChanged(i->FActivePath, 4, 0);
            }
            i->FNmDevice.clear();
        }
    }
}

} // namespace Ombrelay
