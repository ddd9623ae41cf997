// The connection side of the ModemManager backend: NetworkManager's profiles of gsm type, the
// activation and deactivation of a modem's connection, and the states of active connections.

#include "platform/modemmanager/MMInterface.h"
#include "platform/modemmanager/MMNames.h"
#include "platform/modemmanager/MMTables.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

namespace Ombrelay
{

using namespace MM;

namespace
{

// How long the end of a connection seen in a property change waits for the signal with its reason.
constexpr int kReasonGraceMs = 200;

class TMMProfileManager : public IMbnConnectionProfileManager
{
public:
    explicit TMMProfileManager(std::shared_ptr<TMMInterfaceManager> Manager)
        : FManager(std::move(Manager))
    {
    }
    TMbnResult GetConnectionProfiles(const QString& InterfaceID, QStringList& ProfileXml) override
    {
        std::shared_ptr<IMbnInterface> i;
        if (MbnFailed(FManager->GetInterface(InterfaceID, i))) {
            return mrNotFound;
        }
        const QList<TMMInterfaceManager::TNmProfile> profiles = FManager->ProfilesFor(InterfaceID);
        // The default is the autoconnect profile of highest priority, the first of equals.
        qsizetype best = -1;
        for (qsizetype n = 0; n < profiles.size(); ++n) {
            if (profiles[n].AutoConnect && (best < 0 || profiles[n].Priority > profiles[best].Priority)) {
                best = n;
            }
        }
        ProfileXml.clear();
        for (qsizetype n = 0; n < profiles.size(); ++n) {
            const TMMInterfaceManager::TNmProfile& p = profiles[n];
            const QString mode = !p.AutoConnect ? QStringLiteral("manual")
                                 : p.HomeOnly   ? QStringLiteral("auto-home")
                                                : QStringLiteral("auto");
            // The password is left out: NetworkManager keeps it and gives it only to administrators.
            const QString cred = p.UserName.isEmpty()
                                     ? QString()
                                     : QStringLiteral("<UserLogonCred><UserName>%1</UserName></UserLogonCred>")
                                           .arg(XmlEscape(p.UserName));
            ProfileXml << QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                                         "<MBNProfile xmlns=\"urn:ombrelay:networkmanager:profile\">"
                                         "<Name>%1</Name><IsDefault>%2</IsDefault>"
                                         "<ConnectionMode>%3</ConnectionMode>"
                                         "<Context><AccessString>%4</AccessString>%5</Context>"
                                         "</MBNProfile>")
                              .arg(XmlEscape(p.Id), n == best ? QStringLiteral("true") : QStringLiteral("false"), mode,
                                   XmlEscape(p.Apn), cred);
        }
        return mrOk;
    }

private:
    std::shared_ptr<TMMInterfaceManager> FManager;
};

} // namespace

TMbnResult TMMInterface::Connect(const QString& ProfileName, TMbnRequestId& RequestId)
{
    if (!FManager.NetworkManagerAvailable()) {
        return FManager.MakeError(
            QStringLiteral("NetworkManager is not running: connections of a ModemManager modem are made through it"));
    }
    if (FConnectPending || FDisconnectPending) {
        return mrBusy;
    }
    QString profilePath;
    for (const TMMInterfaceManager::TNmProfile& p : FManager.ProfilesFor(FIdentifier)) {
        if (p.Id == ProfileName) {
            profilePath = p.Path;
            break;
        }
    }
    if (profilePath.isEmpty()) {
        return mrNotFound;
    }
    const TMbnRequestId id = FManager.NextRequestId();
    RequestId = id;
    FConnectPending = true;
    FConnectRequest = id;
    FConnectingProfile = ProfileName;
    const quint64 attempt = ++FConnectAttempt;
    QDBusMessage activate =
        QDBusMessage::createMethodCall(kNmService, kNmPath, kNmService, QStringLiteral("ActivateConnection"));
    activate << QVariant::fromValue(QDBusObjectPath(profilePath))
             << QVariant::fromValue(QDBusObjectPath(FNmDevice.isEmpty() ? QStringLiteral("/") : FNmDevice))
             << QVariant::fromValue(QDBusObjectPath(QStringLiteral("/")));
    Call(activate, [this, attempt](const QDBusMessage& Reply) {
        if (attempt != FConnectAttempt) {
            // Given up before NetworkManager named it: take down what it started.
            if (Reply.type() == QDBusMessage::ReplyMessage && !Reply.arguments().isEmpty()) {
                QDBusMessage deactivate = QDBusMessage::createMethodCall(kNmService, kNmPath, kNmService,
                                                                         QStringLiteral("DeactivateConnection"));
                deactivate << QVariant::fromValue(QDBusObjectPath(ToPath(Reply.arguments().at(0))));
                Call(deactivate, [](const QDBusMessage&) {});
            }
            return;
        }
        if (Reply.type() != QDBusMessage::ReplyMessage || Reply.arguments().isEmpty()) {
            // Refused at once: wrong profile for the device, device unavailable, no permission.
            FinishConnect(FManager.MakeError(Reply));
            return;
        }
        const QString active = ToPath(Reply.arguments().at(0));
        FActivePath = active;
        FActiveProfile = FConnectingProfile;
        // Its first state changes may have come before this reply, while its path was unknown.
        quint32 earlyState = 0;
        quint32 earlyReason = 0;
        if (FManager.TakeUnclaimedState(active, earlyState, earlyReason) && earlyReason != 0) {
            FLastReason = earlyReason;
        }
        // The state may already have moved on before this reply, without a signal we saw.
        QDBusMessage get = QDBusMessage::createMethodCall(kNmService, active, kProperties, QStringLiteral("Get"));
        get << kNmActive << QStringLiteral("State");
        Call(get, [this, active](const QDBusMessage& R) {
            if (active != FActivePath) {
                return;
            }
            if (R.type() != QDBusMessage::ReplyMessage || R.arguments().isEmpty()) {
                // Gone already: it ended before we could look.
                ActiveStateChanged(active, 4, FLastReason);
                return;
            }
            ActiveStateChanged(active, Unwrap(R.arguments().at(0)).toUInt(), FLastReason);
        });
    });
    if (FState != masActivating) {
        FState = masActivating;
        Emit([this] { Q_EMIT FManager.ConnectStateChange(FIdentifier); });
    }
    return mrOk;
}

TMbnResult TMMInterface::Disconnect(TMbnRequestId& RequestId)
{
    if (!FManager.NetworkManagerAvailable()) {
        return FManager.MakeError(
            QStringLiteral("NetworkManager is not running: connections of a ModemManager modem are made through it"));
    }
    if (FDisconnectPending) {
        return mrBusy;
    }
    const TMbnRequestId id = FManager.NextRequestId();
    RequestId = id;
    if (FConnectPending && FActivePath.isEmpty()) {
        // A connect given up before NetworkManager named its activation: it ends here, and the
        // activation is taken down when its reply comes.
        ++FConnectAttempt;
        FState = masDeactivated;
        FActiveProfile.clear();
        Emit([this, id] {
            FinishConnect(FManager.MakeError(QStringLiteral("The connect was cancelled")));
            Q_EMIT FManager.DisconnectComplete(FIdentifier, id, mrOk);
            Q_EMIT FManager.ConnectStateChange(FIdentifier);
        });
        return mrOk;
    }
    if (FActivePath.isEmpty()) {
        FState = masDeactivated;
        Emit([this, id] { Q_EMIT FManager.DisconnectComplete(FIdentifier, id, mrOk); });
        return mrOk;
    }
    FDisconnectPending = true;
    FDisconnectRequest = id;
    const QString active = FActivePath;
    QDBusMessage deactivate =
        QDBusMessage::createMethodCall(kNmService, kNmPath, kNmService, QStringLiteral("DeactivateConnection"));
    deactivate << QVariant::fromValue(QDBusObjectPath(active));
    Call(deactivate, [this, active](const QDBusMessage& Reply) {
        if (Reply.type() != QDBusMessage::ReplyMessage) {
            // Refused: the connection is still there, in the state it had.
            if (active == FActivePath && FState == masDeactivating) {
                FState = masActivated;
            }
            FinishDisconnect(FManager.MakeError(Reply));
            QDBusMessage get = QDBusMessage::createMethodCall(kNmService, active, kProperties, QStringLiteral("Get"));
            get << kNmActive << QStringLiteral("State");
            Call(get, [this, active](const QDBusMessage& R) {
                if (R.type() == QDBusMessage::ReplyMessage && !R.arguments().isEmpty()) {
                    ActiveStateChanged(active, Unwrap(R.arguments().at(0)).toUInt(), 0);
                }
            });
            return;
        }
        if (active != FActivePath) {
            return; // already seen to end
        }
        // The connection may be gone already without a state signal (its object removed).
        QDBusMessage get = QDBusMessage::createMethodCall(kNmService, active, kProperties, QStringLiteral("Get"));
        get << kNmActive << QStringLiteral("State");
        Call(get, [this, active](const QDBusMessage& R) {
            if (active != FActivePath) {
                return;
            }
            const quint32 state = R.type() == QDBusMessage::ReplyMessage && !R.arguments().isEmpty()
                                      ? Unwrap(R.arguments().at(0)).toUInt()
                                      : 4;
            ActiveStateChanged(active, state, 2);
        });
    });
    if (FState != masDeactivating) {
        FState = masDeactivating;
        Emit([this] { Q_EMIT FManager.ConnectStateChange(FIdentifier); });
    }
    return mrOk;
}

void TMMInterface::FinishConnect(TMbnResult Status)
{
    if (!FConnectPending) {
        return;
    }
    FConnectPending = false;
    if (MbnFailed(Status) && FActivePath.isEmpty()) {
        FState = masDeactivated;
        FActiveProfile.clear();
    }
    Q_EMIT FManager.ConnectComplete(FIdentifier, FConnectRequest, Status);
}

void TMMInterface::FinishDisconnect(TMbnResult Status)
{
    if (!FDisconnectPending) {
        return;
    }
    FDisconnectPending = false;
    Q_EMIT FManager.DisconnectComplete(FIdentifier, FDisconnectRequest, Status);
}

void TMMInterface::TakeActiveConnection(const QString& ActivePath, const QString& ProfileName, quint32 NmState)
{
    FActivePath = ActivePath;
    FActiveProfile = ProfileName;
    FState = MapNmActiveState(NmState);
    if (FState == masActivated) {
        ReadDeviceInterface();
    }
}

void TMMInterface::ActiveStateChanged(const QString& ActivePath, quint32 NmState, quint32 Reason)
{
    if (ActivePath != FActivePath || FActivePath.isEmpty()) {
        return;
    }
    if (Reason != 0) {
        FLastReason = Reason;
    }
    const quint32 state = MapNmActiveState(NmState);
    if (state == masNone) {
        return;
    }
    if (FDisconnectPending && (state == masActivated || state == masActivating)) {
        // A report from before our disconnect, arriving late: the connection is on its way down.
        return;
    }
    const bool changed = state != FState;
    // Up, and ended without our asking: the network, the device or another program ended it.
    const bool dropped = FState == masActivated && state == masDeactivated && !FDisconnectPending;
    const quint32 reason = FLastReason;
    FState = state;
    if (state == masActivated) {
        ReadDeviceInterface();
        FinishConnect(mrOk);
    } else if (state == masDeactivated) {
        FActivePath.clear();
        FActiveProfile.clear();
        FIPv4.clear();
        FIPv6.clear();
        if (FConnectPending) {
            // The activation failed: the user hears why, and the state shown is the real one.
            FinishConnect(FManager.MakeError(
                QStringLiteral("The connection could not be established: %1").arg(ActiveStateReasonText(FLastReason))));
        }
        FinishDisconnect(mrOk);
        FLastReason = 0;
    }
    if (changed) {
        Q_EMIT FManager.ConnectStateChange(FIdentifier);
    }
    if (dropped) {
        Q_EMIT FManager.ConnectionDropped(FIdentifier, reason == 0 ? QString() : ActiveStateReasonText(reason));
    }
}

void TMMInterface::ReadAddresses(const QString& ConfigPath, const QString& Interface, QStringList* Target)
{
    if (ConfigPath.isEmpty() || ConfigPath == QLatin1String("/")) {
        return;
    }
    QDBusMessage get = QDBusMessage::createMethodCall(kNmService, ConfigPath, kProperties, QStringLiteral("Get"));
    get << Interface << QStringLiteral("AddressData");
    Call(get, [Target](const QDBusMessage& R) {
        if (R.type() != QDBusMessage::ReplyMessage || R.arguments().isEmpty()) {
            return;
        }
        // aa{sv}: one dictionary per address, its "address" in text form.
        const QDBusArgument arg = Unwrap(R.arguments().at(0)).value<QDBusArgument>();
        QStringList addresses;
        arg.beginArray();
        while (!arg.atEnd()) {
            QVariantMap entry;
            arg >> entry;
            const QString address = entry.value(QStringLiteral("address")).toString();
            if (!address.isEmpty()) {
                addresses << address;
            }
        }
        arg.endArray();
        *Target = addresses;
    });
}

void TMMInterface::ReadDeviceInterface()
{
    if (FNmDevice.isEmpty()) {
        return;
    }
    QDBusMessage get = QDBusMessage::createMethodCall(kNmService, FNmDevice, kProperties, QStringLiteral("GetAll"));
    get << kNmDevice;
    Call(get, [this](const QDBusMessage& R) {
        if (R.type() != QDBusMessage::ReplyMessage || R.arguments().isEmpty()) {
            return;
        }
        QVariantMap props;
        R.arguments().at(0).value<QDBusArgument>() >> props;
        SetIpInterface(props.value(QStringLiteral("IpInterface")).toString());
        ReadAddresses(ToPath(props.value(QStringLiteral("Ip4Config"))),
                      QStringLiteral("org.freedesktop.NetworkManager.IP4Config"), &FIPv4);
        ReadAddresses(ToPath(props.value(QStringLiteral("Ip6Config"))),
                      QStringLiteral("org.freedesktop.NetworkManager.IP6Config"), &FIPv6);
    });
}

TMbnResult TMMInterfaceManager::CreateProfileManager(std::shared_ptr<IMbnConnectionProfileManager>& ProfileManager)
{
    ProfileManager = std::make_shared<TMMProfileManager>(shared_from_this());
    return mrOk;
}

void TMMInterfaceManager::LoadNetworkManager(int TimeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    auto left = [&] { return std::max(100, TimeoutMs - int(timer.elapsed())); };
    FBus.connect(kNmService, QString(), kProperties, QStringLiteral("PropertiesChanged"), this,
                 SLOT(OnNmPropertiesChanged(QDBusMessage)));
    FBus.connect(kNmService, QString(), kNmActive, QStringLiteral("StateChanged"), this,
                 SLOT(OnNmActiveStateChanged(QDBusMessage)));
    FBus.connect(kNmService, kNmSettingsPath, kNmSettings, QStringLiteral("NewConnection"), this,
                 SLOT(OnNmSettingsChanged(QDBusMessage)));
    FBus.connect(kNmService, kNmSettingsPath, kNmSettings, QStringLiteral("ConnectionRemoved"), this,
                 SLOT(OnNmSettingsChanged(QDBusMessage)));
    FBus.connect(kNmService, QString(), kNmConnection, QStringLiteral("Updated"), this,
                 SLOT(OnNmSettingsChanged(QDBusMessage)));
    FBus.connect(kNmService, kNmPath, kNmService, QStringLiteral("DeviceAdded"), this,
                 SLOT(OnNmDeviceAdded(QDBusMessage)));
    const QDBusMessage list = CallBounded(FBus,
                                          QDBusMessage::createMethodCall(kNmService, kNmSettingsPath, kNmSettings,
                                                                         QStringLiteral("ListConnections")),
                                          left());
    if (list.type() != QDBusMessage::ReplyMessage || list.arguments().isEmpty()) {
        FNmAvailable = false;
        return;
    }
    FNmAvailable = true;
    {
        QDBusMessage get = QDBusMessage::createMethodCall(kNmService, kNmPath, kProperties, QStringLiteral("Get"));
        get << kNmService << QStringLiteral("WwanEnabled");
        const QDBusMessage r = CallBounded(FBus, get, left());
        if (r.type() == QDBusMessage::ReplyMessage && !r.arguments().isEmpty()) {
            FWwanEnabled = Unwrap(r.arguments().at(0)).toBool();
        }
    }
    const QList<QString> paths = ToPathList(list.arguments().at(0));
    QList<QDBusPendingCall> calls;
    for (const QString& p : paths) {
        calls << FBus.asyncCall(QDBusMessage::createMethodCall(kNmService, p, kNmConnection,
                                                               QStringLiteral("GetSettings")),
                                left());
    }
    QList<QDBusMessage> replies;
    for (QDBusPendingCall& c : calls) {
        c.waitForFinished();
        replies << QDBusPendingReply<>(c).reply();
    }
    FProfiles = ReadProfiles(paths, replies);

    // The NetworkManager device of each modem: its Udi is the modem's object path.
    const QDBusMessage devices =
        CallBounded(FBus, QDBusMessage::createMethodCall(kNmService, kNmPath, kNmService, QStringLiteral("GetDevices")),
                    left());
    if (devices.type() != QDBusMessage::ReplyMessage || devices.arguments().isEmpty()) {
        return;
    }
    for (const QString& d : ToPathList(devices.arguments().at(0))) {
        if (timer.elapsed() >= TimeoutMs) {
            // The rest comes later, without holding up the start.
            ReloadDevices();
            return;
        }
        QDBusMessage get = QDBusMessage::createMethodCall(kNmService, d, kProperties, QStringLiteral("GetAll"));
        get << kNmDevice;
        const QDBusMessage r = CallBounded(FBus, get, left());
        if (r.type() != QDBusMessage::ReplyMessage || r.arguments().isEmpty()) {
            continue;
        }
        QVariantMap props;
        r.arguments().at(0).value<QDBusArgument>() >> props;
        const QString udi = props.value(QStringLiteral("Udi")).toString();
        std::shared_ptr<TMMInterface> modem = FindByPath(udi);
        if (!modem) {
            continue;
        }
        modem->FNmDevice = d;
        modem->SetIpInterface(props.value(QStringLiteral("IpInterface")).toString());
        // A connection already up when the program starts.
        const QString active = ToPath(props.value(QStringLiteral("ActiveConnection")));
        if (active.isEmpty() || active == QLatin1String("/")) {
            continue;
        }
        QDBusMessage getActive =
            QDBusMessage::createMethodCall(kNmService, active, kProperties, QStringLiteral("GetAll"));
        getActive << kNmActive;
        const QDBusMessage ra = CallBounded(FBus, getActive, left());
        if (ra.type() == QDBusMessage::ReplyMessage && !ra.arguments().isEmpty()) {
            QVariantMap a;
            ra.arguments().at(0).value<QDBusArgument>() >> a;
            modem->TakeActiveConnection(active, a.value(QStringLiteral("Id")).toString(),
                                        a.value(QStringLiteral("State")).toUInt());
        }
    }
}

QList<TMMInterfaceManager::TNmProfile> TMMInterfaceManager::ReadProfiles(const QList<QString>& Paths,
                                                                         const QList<QDBusMessage>& Replies)
{
    QList<TNmProfile> r;
    for (qsizetype n = 0; n < Paths.size() && n < Replies.size(); ++n) {
        const QDBusMessage& reply = Replies[n];
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            continue;
        }
        const TInterfaceMap settings = ToInterfaceMap(reply.arguments().at(0));
        const QVariantMap connection = settings.value(QStringLiteral("connection"));
        if (connection.value(QStringLiteral("type")).toString() != QLatin1String("gsm")) {
            continue;
        }
        const QVariantMap gsm = settings.value(QStringLiteral("gsm"));
        TNmProfile p;
        p.Path = Paths[n];
        p.Id = connection.value(QStringLiteral("id")).toString();
        p.AutoConnect = connection.value(QStringLiteral("autoconnect"), true).toBool();
        p.Priority = connection.value(QStringLiteral("autoconnect-priority"), 0).toInt();
        p.Apn = gsm.value(QStringLiteral("apn")).toString();
        p.UserName = gsm.value(QStringLiteral("username")).toString();
        p.DeviceId = gsm.value(QStringLiteral("device-id")).toString();
        p.HomeOnly = gsm.value(QStringLiteral("home-only"), false).toBool();
        r << p;
    }
    return r;
}

void TMMInterfaceManager::ReloadProfiles()
{
    // One reload at a time; changes during it ask for another.
    if (FProfilesLoading) {
        FProfilesStale = true;
        return;
    }
    FProfilesLoading = true;
    FProfilesStale = false;
    auto* watcher =
        new QDBusPendingCallWatcher(FBus.asyncCall(QDBusMessage::createMethodCall(kNmService, kNmSettingsPath,
                                                                                  kNmSettings,
                                                                                  QStringLiteral("ListConnections"))),
                                    this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        const QDBusMessage list = QDBusPendingReply<>(*watcher).reply();
        if (list.type() != QDBusMessage::ReplyMessage || list.arguments().isEmpty()) {
            FProfilesLoading = false;
            return;
        }
        FNmAvailable = true;
        const QList<QString> paths = ToPathList(list.arguments().at(0));
        auto replies = std::make_shared<QList<QDBusMessage>>(paths.size());
        auto pending = std::make_shared<qsizetype>(paths.size());
        auto done = [this, paths, replies] {
            QList<TNmProfile> profiles = ReadProfiles(paths, *replies);
            auto same = [](const TNmProfile& A, const TNmProfile& B) {
                return A.Path == B.Path && A.Id == B.Id && A.Apn == B.Apn && A.UserName == B.UserName &&
                       A.DeviceId == B.DeviceId && A.AutoConnect == B.AutoConnect && A.HomeOnly == B.HomeOnly &&
                       A.Priority == B.Priority;
            };
            const bool changed =
                !std::equal(profiles.cbegin(), profiles.cend(), FProfiles.cbegin(), FProfiles.cend(), same);
            FProfiles = std::move(profiles);
            FProfilesLoading = false;
            if (changed) {
                Q_EMIT ProfilesChanged();
            }
            if (FProfilesStale) {
                ReloadProfiles();
            }
        };
        if (paths.isEmpty()) {
            done();
            return;
        }
        for (qsizetype n = 0; n < paths.size(); ++n) {
            auto* w =
                new QDBusPendingCallWatcher(FBus.asyncCall(
                                                QDBusMessage::createMethodCall(kNmService, paths[n], kNmConnection,
                                                                               QStringLiteral("GetSettings"))),
                                            this);
            connect(w, &QDBusPendingCallWatcher::finished, this, [w, n, replies, pending, done] {
                w->deleteLater();
                (*replies)[n] = QDBusPendingReply<>(*w).reply();
                if (--*pending == 0) {
                    done();
                }
            });
        }
    });
}

QList<TMMInterfaceManager::TNmProfile> TMMInterfaceManager::ProfilesFor(const QString& InterfaceID) const
{
    QList<TNmProfile> r;
    for (const TNmProfile& p : FProfiles) {
        // A profile bound to another device's identifier is not offered for this one.
        if (p.DeviceId.isEmpty() || p.DeviceId == InterfaceID) {
            r << p;
        }
    }
    return r;
}

void TMMInterfaceManager::OnNmPropertiesChanged(const QDBusMessage& Message)
{
    if (Message.arguments().size() < 2) {
        return;
    }
    const QString interface = Message.arguments().at(0).toString();
    QVariantMap changed;
    Message.arguments().at(1).value<QDBusArgument>() >> changed;
    const QString path = Message.path();
    if (interface == kNmService && changed.contains(QStringLiteral("WwanEnabled"))) {
        // Mobile broadband switched on or off system-wide.
        SetWwanEnabled(changed.value(QStringLiteral("WwanEnabled")).toBool());
    }
    if (interface == kNmActive && changed.contains(QStringLiteral("State"))) {
        const quint32 state = changed.value(QStringLiteral("State")).toUInt();
        if (state == 4) {
            // The end of a connection: its StateChanged signal carries the reason, and may come
            // just after this, so it gets a moment to tell why.
            QTimer::singleShot(kReasonGraceMs, this, [this, path] {
                for (const auto& i : std::as_const(FInterfaces)) {
                    i->ActiveStateChanged(path, 4, 0);
                }
            });
            return;
        }
        for (const auto& i : std::as_const(FInterfaces)) {
            i->ActiveStateChanged(path, state, 0);
        }
    } else if (interface == kNmDevice && changed.contains(QStringLiteral("IpInterface"))) {
        for (const auto& i : std::as_const(FInterfaces)) {
            if (i->FNmDevice == path) {
                i->SetIpInterface(changed.value(QStringLiteral("IpInterface")).toString());
            }
        }
    } else if (interface == kNmService && changed.contains(QStringLiteral("ActiveConnections"))) {
        // An active connection that left NetworkManager's list has ended, signal or not.
        const QList<QString> active = ToPathList(changed.value(QStringLiteral("ActiveConnections")));
        for (const auto& i : std::as_const(FInterfaces)) {
            if (!i->FActivePath.isEmpty() && !active.contains(i->FActivePath)) {
                const QString gone = i->FActivePath;
                QTimer::singleShot(kReasonGraceMs, this, [i, gone] { i->ActiveStateChanged(gone, 4, 0); });
            }
        }
    }
}

void TMMInterfaceManager::OnNmActiveStateChanged(const QDBusMessage& Message)
{
    if (Message.arguments().size() < 2) {
        return;
    }
    const quint32 state = Message.arguments().at(0).toUInt();
    const quint32 reason = Message.arguments().at(1).toUInt();
    bool claimed = false;
    for (const auto& i : std::as_const(FInterfaces)) {
        if (i->FActivePath == Message.path()) {
            claimed = true;
            i->ActiveStateChanged(Message.path(), state, reason);
        }
    }
    if (!claimed) {
        // Perhaps a connection of ours whose activation reply is still on its way.
        if (FUnclaimedStates.size() > 64) {
            FUnclaimedStates.clear();
        }
        FUnclaimedStates.insert(Message.path(), {state, reason});
    }
}

bool TMMInterfaceManager::TakeUnclaimedState(const QString& ActivePath, quint32& State, quint32& Reason)
{
    auto it = FUnclaimedStates.find(ActivePath);
    if (it == FUnclaimedStates.end()) {
        return false;
    }
    State = it->first;
    Reason = it->second;
    FUnclaimedStates.erase(it);
    return true;
}

void TMMInterfaceManager::OnNmSettingsChanged(const QDBusMessage& Message)
{
    Q_UNUSED(Message);
    ReloadProfiles();
}

void TMMInterfaceManager::OnNmDeviceAdded(const QDBusMessage& Message)
{
    Q_UNUSED(Message);
    ReloadDevices();
}

void TMMInterfaceManager::ReloadDevices()
{
    auto* watcher =
        new QDBusPendingCallWatcher(FBus.asyncCall(QDBusMessage::createMethodCall(kNmService, kNmPath, kNmService,
                                                                                  QStringLiteral("GetDevices"))),
                                    this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        const QDBusMessage devices = QDBusPendingReply<>(*watcher).reply();
        if (devices.type() != QDBusMessage::ReplyMessage || devices.arguments().isEmpty()) {
            return;
        }
        for (const QString& d : ToPathList(devices.arguments().at(0))) {
            QDBusMessage get = QDBusMessage::createMethodCall(kNmService, d, kProperties, QStringLiteral("GetAll"));
            get << kNmDevice;
            auto* w = new QDBusPendingCallWatcher(FBus.asyncCall(get), this);
            connect(w, &QDBusPendingCallWatcher::finished, this, [this, w, d] {
                w->deleteLater();
                const QDBusMessage r = QDBusPendingReply<>(*w).reply();
                if (r.type() != QDBusMessage::ReplyMessage || r.arguments().isEmpty()) {
                    return;
                }
                QVariantMap props;
                r.arguments().at(0).value<QDBusArgument>() >> props;
                if (std::shared_ptr<TMMInterface> modem = FindByPath(props.value(QStringLiteral("Udi")).toString())) {
                    modem->FNmDevice = d;
                    modem->SetIpInterface(props.value(QStringLiteral("IpInterface")).toString());
                }
            });
        }
    });
}

void TMMInterfaceManager::SetWwanEnabled(bool Value)
{
    if (Value != FWwanEnabled) {
        FWwanEnabled = Value;
        Q_EMIT RadioStateChange();
    }
}

} // namespace Ombrelay
