#include "core/MBManager.h"

#include "base/DateTime.h"
#include "core/DB.h"
#include "core/MBInterfaceItem.h"
#include "core/MBProfleItem.h"
#include "core/SmsReports.h"
#include "core/SmsStore.h"
#include "core/UsageSource.h"

#include <QCoreApplication>
#include <QMutex>
#include <QPointer>

namespace Ombrelay
{

namespace
{

// Reports the byte counters of the manager's interfaces to usage accounting. The usage thread
// calls it; the port promises that GetByteCounters may be called from any thread. The list
// changes on the GUI thread as modems come and go, hence the lock.
class TPortUsageSource : public IUsageSource
{
public:
    bool ReadCounters(QList<TInterfaceCounters>& List) override
    {
        QList<std::pair<QString, std::shared_ptr<IMbnInterface>>> interfaces;
        {
            QMutexLocker lock(&FLock);
            interfaces = FInterfaces;
        }
        for (const auto& [key, i] : interfaces) {
            TInterfaceCounters c;
            if (MbnFailed(i->GetByteCounters(c.RxBytes, c.TxBytes))) {
                return false;
            }
            c.Key = key;
            c.Device = i->InterfaceID();
            List << c;
        }
        return true;
    }
    void Add(const std::shared_ptr<IMbnInterface>& Interface)
    {
        QString key = Interface->Backend() + QLatin1Char(':') + Interface->InterfaceID();
        // A modem plugged in again counts from zero: a key of its own, or usage accounting
        // would take the new counters for a fall of the old ones.
        const int seen = FArrivals[key]++;
        if (seen > 0) {
            key += QLatin1Char('#') + QString::number(seen);
        }
        QMutexLocker lock(&FLock);
        FInterfaces.append({key, Interface});
    }
    void Remove(const QString& InterfaceID)
    {
        QMutexLocker lock(&FLock);
        FInterfaces.removeIf([&](const auto& Entry) { return Entry.second->InterfaceID() == InterfaceID; });
    }

private:
    QMutex FLock;
    QList<std::pair<QString, std::shared_ptr<IMbnInterface>>> FInterfaces;
    QHash<QString, int> FArrivals; // GUI thread only
};

} // namespace

TConnectionState MapActivationState(quint32 State)
{
    switch (State) {
    case masActivated:
        return csConnected;
    case masActivating:
        return csConnecting;
    case masDeactivated:
        return csDisconnected;
    case masDeactivating:
        return csDisconnecting;
    default:
        return csUnknown;
    }
}

struct TMBManager::TUsageRegistration
{
    explicit TUsageRegistration(const QList<std::shared_ptr<IMbnInterface>>& Interfaces)
    {
        for (const auto& i : Interfaces) {
            Source.Add(i);
        }
        RegisterUsageSource(&Source);
    }
    ~TUsageRegistration() { UnregisterUsageSource(&Source); }
    TPortUsageSource Source;
};

TMBManager::TMBManager(std::shared_ptr<IMbnInterfaceManager> Port)
    : FPort(std::move(Port))
{
    if (!FPort) {
        throw EMBException(QStringLiteral("No modem backend"));
    }
    FTimer.setInterval(PollIntervalMs);
    connect(&FTimer, &QTimer::timeout, this, [this] {
        try {
            TimerTick();
        } catch (const std::exception& e) {
            ReportError(QString::fromUtf8(e.what()));
        }
    });
    FTimer.start();
    // Every error report, also those raised inside an event, reaches the owner's notify.
    connect(this, &TMBManager::ErrorOccurred, this, [this](const QString& Message) {
        if (FErrorNotify) {
            FErrorNotify(Message);
        }
    });
    Subscribe();
    SubscribeConnection();
    if (Database) {
        try {
            // Before the outboxes load: a send the last run never heard back about is shown
            // failed, with the reason, and can be sent again.
            TSmsOutgoingList::ResolveInterrupted();
        } catch (const std::exception&) {
            // A file that cannot be written keeps the rows as they are; they show as being sent.
        }
        try {
            TSmsReports::ContinueReferences(*Database);
        } catch (const std::exception&) {
            // An outbox that cannot be read leaves the references where they are.
        }
    }
    FInterfaceList = std::make_unique<TMBInterfaceList>();
    RefreshInterfaces();
    QList<std::shared_ptr<IMbnInterface>> interfaces;
    for (const auto& item : *FInterfaceList) {
        interfaces << item->MbnInterface();
    }
    FUsage = std::make_unique<TUsageRegistration>(interfaces);
    // A connection already up at the start counts from now.
    for (const auto& item : *FInterfaceList) {
        TrackSession(item->InterfaceID());
    }
    SubscribeDeviceState();
    for (const auto& i : interfaces) {
        DeviceListed(i->InterfaceID());
    }
}

TMBManager::~TMBManager()
{
    // End the subscriptions first: no event may reach a manager that is half gone.
    for (const QMetaObject::Connection& c : std::as_const(FSubscriptions)) {
        QObject::disconnect(c);
    }
    FSubscriptions.clear();
    QObject::disconnect(FNewMessageSubscription);
    FUsage.reset();
    FTimer.stop();
    FSmsReadRequestQueue.clear();
    FSmsSendRequestQueue.clear();
    FSmsSentRequestIdent.clear();
    FSmsDeleteRequests.clear();
    FInterfaceList.reset();
}

std::shared_ptr<IMBManager> CreateMBManager(std::shared_ptr<IMbnInterfaceManager> Port)
{
    return std::make_shared<TMBManager>(std::move(Port));
}

// Every handler catches: an exception must not leave a slot. What it caught reaches the user
// through ErrorOccurred; the handling of that one event ends there.
template <class F>
static auto Guarded(TMBManager* Self, F Handler)
{
    return [Self, Handler](auto&&... Args) {
        try {
            (Self->*Handler)(std::forward<decltype(Args)>(Args)...);
        } catch (const std::exception& e) {
            Q_EMIT Self->ErrorOccurred(QString::fromUtf8(e.what()));
        }
    };
}

void TMBManager::Subscribe()
{
    IMbnInterfaceManager* p = FPort.get();
    FSubscriptions << connect(p, &IMbnInterfaceManager::InterfaceArrival, this,
                              Guarded(this, &TMBManager::OnInterfaceArrival));
    FSubscriptions << connect(p, &IMbnInterfaceManager::InterfaceRemoval, this,
                              Guarded(this, &TMBManager::OnInterfaceRemoval));
    FSubscriptions << connect(p, &IMbnInterfaceManager::SignalStateChange, this,
                              Guarded(this, &TMBManager::OnSignalStateChange));
    FSubscriptions << connect(p, &IMbnInterfaceManager::ConnectComplete, this,
                              [this](const QString& Id, quint32 RequestId, qint32 Status) {
                                  Guarded(this, &TMBManager::OnConnectComplete)(Id, RequestId, Status, csConnected);
                              });
    FSubscriptions << connect(p, &IMbnInterfaceManager::DisconnectComplete, this,
                              [this](const QString& Id, quint32 RequestId, qint32 Status) {
                                  Guarded(this, &TMBManager::OnConnectComplete)(Id, RequestId, Status, csDisconnected);
                              });
    FSubscriptions << connect(p, &IMbnInterfaceManager::ConnectStateChange, this,
                              Guarded(this, &TMBManager::OnConnectStateChange));
    FSubscriptions << connect(p, &IMbnInterfaceManager::SmsReadComplete, this,
                              Guarded(this, &TMBManager::OnSmsReadComplete));
    FSubscriptions << connect(p, &IMbnInterfaceManager::SmsMessageReadComplete, this,
                              Guarded(this, &TMBManager::OnSmsMessageReadComplete));
    FSubscriptions << connect(p, &IMbnInterfaceManager::SmsSendComplete, this,
                              Guarded(this, &TMBManager::OnSmsSendComplete));
    FSubscriptions << connect(p, &IMbnInterfaceManager::SmsDeleteComplete, this,
                              Guarded(this, &TMBManager::OnSmsDeleteComplete));
    // Delivery reports in message mode.
    FSubscriptions << connect(p, &IMbnInterfaceManager::SmsSentReference, this,
                              Guarded(this, &TMBManager::OnSmsSentReference));
}

void TMBManager::SetReadOnNewMessage(bool Value)
{
    if (Value == FReadOnNewMessage) {
        return;
    }
    FReadOnNewMessage = Value;
    if (Value) {
        // A message that reached the device's store is read at once; the poll stays the safety net.
        FNewMessageSubscription = connect(FPort.get(), &IMbnInterfaceManager::SmsNewMessage, this,
                                          Guarded(this, &TMBManager::OnSmsNewMessage));
    } else {
        QObject::disconnect(FNewMessageSubscription);
        FReadAgain.clear();
    }
}

void TMBManager::RefreshInterfaces()
{
    FInterfaceList->Clear();
    QList<std::shared_ptr<IMbnInterface>> interfaces;
    if (MbnFailed(FPort->GetInterfaces(interfaces))) {
        return;
    }
    for (const auto& i : interfaces) {
        auto item = std::make_unique<TMBInterfaceItem>(*FPort, i);
        FLoadWarnings << item->ProfileErrors();
        FInterfaceList->Add(std::move(item));
    }
}

void TMBManager::Check(TMbnResult Result, const QString& What) const
{
    if (MbnFailed(Result)) {
        throw EMBException(QStringLiteral("%1: %2").arg(What, FPort->ErrorText(Result)));
    }
}

void TMBManager::ReportError(const QString& Message)
{
    Q_EMIT ErrorOccurred(Message);
}

std::shared_ptr<IMbnInterface> TMBManager::GetInterface(const QString& InterfaceID)
{
    std::shared_ptr<IMbnInterface> i;
    TMbnResult r = FPort->GetInterface(InterfaceID, i);
    if (r == mrNotFound) {
        throw EMBException(QStringLiteral("Interface not found: ") + InterfaceID);
    }
    Check(r, QStringLiteral("GetInterface"));
    return i;
}

std::shared_ptr<IMbnSms> TMBManager::GetSms(const std::shared_ptr<IMbnInterface>& Interface)
{
    std::shared_ptr<IMbnSms> sms;
    Check(Interface->GetSms(sms), QStringLiteral("SMS of %1").arg(Interface->InterfaceID()));
    return sms;
}

quint32 TMBManager::Connect(const QString& InterfaceID, const QString& ProfileName)
{
    std::shared_ptr<IMbnConnection> connection;
    Check(GetInterface(InterfaceID)->GetConnection(connection), QStringLiteral("GetConnection"));
    TMbnRequestId id = 0;
    Check(connection->Connect(ProfileName, id), QStringLiteral("Connect"));
    FConnectRequests.insert(InterfaceID, id);
    return id;
}

void TMBManager::CancelConnect(const QString& InterfaceID)
{
    const auto pending = FConnectRequests.constFind(InterfaceID);
    const bool known = pending != FConnectRequests.constEnd();
    if (known) {
        // Marked before the disconnect goes out: a stack may fail the connect inside that call.
        FCancelledConnects.insert(*pending);
    }
    try {
        Disconnect(InterfaceID);
    } catch (...) {
        if (known) {
            FCancelledConnects.remove(*pending);
        }
        throw;
    }
}

void TMBManager::SubscribeConnection()
{
    // The sessions follow the state in the handlers of its events (OnConnectComplete,
    // OnConnectStateChange), before anyone hears of the new state.
    IMbnInterfaceManager* p = FPort.get();
    FSubscriptions << connect(p, &IMbnInterfaceManager::ConnectionDropped, this,
                              Guarded(this, &TMBManager::OnConnectionDropped));
    FSubscriptions << connect(p, &IMbnInterfaceManager::ProfilesChanged, this,
                              Guarded(this, &TMBManager::OnProfilesChanged));
}

void TMBManager::TrackSession(const QString& InterfaceID)
{
    std::shared_ptr<IMbnInterface> i;
    std::shared_ptr<IMbnConnection> connection;
    quint32 state = 0;
    QString profile;
    if (MbnFailed(FPort->GetInterface(InterfaceID, i)) || MbnFailed(i->GetConnection(connection)) ||
        MbnFailed(connection->GetConnectionState(state, profile))) {
        return;
    }
    if (state != masActivated) {
        FSessions.remove(InterfaceID);
        return;
    }
    if (FSessions.contains(InterfaceID)) {
        return;
    }
    TSessionStart start;
    start.Since = Clock::Now();
    if (MbnFailed(i->GetByteCounters(start.Received, start.Sent))) {
        start.Received = 0;
        start.Sent = 0;
    }
    FSessions.insert(InterfaceID, start);
}

TConnectionSession TMBManager::GetSession(const QString& InterfaceID)
{
    TConnectionSession r;
    const auto it = FSessions.constFind(InterfaceID);
    std::shared_ptr<IMbnInterface> i;
    std::shared_ptr<IMbnConnection> connection;
    if (it == FSessions.constEnd() || MbnFailed(FPort->GetInterface(InterfaceID, i)) ||
        MbnFailed(i->GetConnection(connection))) {
        return r;
    }
    r.Connected = true;
    r.Since = it->Since;
    quint64 rx = 0;
    quint64 tx = 0;
    if (MbnSucceeded(i->GetByteCounters(rx, tx))) {
        // Counters that went back (a device that restarted) give no negative session.
        r.Received = rx >= it->Received ? rx - it->Received : 0;
        r.Sent = tx >= it->Sent ? tx - it->Sent : 0;
    }
    if (MbnFailed(connection->GetIpAddresses(r.IPv4, r.IPv6))) {
        r.IPv4.clear();
        r.IPv6.clear();
    }
    return r;
}

void TMBManager::SetConnectionDroppedNotify(std::function<void(const QString&, const QString&)> Notify)
{
    FDroppedNotify = std::move(Notify);
}

void TMBManager::SetProfilesChangedNotify(std::function<void(const QString&)> Notify)
{
    FProfilesChangedNotify = std::move(Notify);
}

void TMBManager::OnConnectionDropped(const QString& InterfaceID, const QString& Reason)
{
    if (Gone(InterfaceID)) {
        return;
    }
    FSessions.remove(InterfaceID);
    if (FDroppedNotify) {
        FDroppedNotify(InterfaceID, Reason);
    }
}

void TMBManager::OnProfilesChanged()
{
    QStringList failed;
    for (const auto& item : *FInterfaceList) {
        TMBProfleList old;
        try {
            old = item->ReloadProfiles(*FPort);
        } catch (const std::exception& e) {
            // The item keeps the profiles it had.
            failed << QString::fromUtf8(e.what());
            continue;
        }
        if (!item->ProfileErrors().isEmpty()) {
            failed << item->ProfileErrors();
        }
        if (FProfilesChangedNotify) {
            FProfilesChangedNotify(item->InterfaceID());
        }
        // The old profiles go only now, once the owner let go of them.
    }
    if (!failed.isEmpty()) {
        ReportError(failed.join(QLatin1Char('\n')));
    }
}

quint32 TMBManager::Disconnect(const QString& InterfaceID)
{
    std::shared_ptr<IMbnConnection> connection;
    Check(GetInterface(InterfaceID)->GetConnection(connection), QStringLiteral("GetConnection"));
    TMbnRequestId id = 0;
    Check(connection->Disconnect(id), QStringLiteral("Disconnect"));
    return id;
}

TMBInterfaceList* TMBManager::GetInterfaceList()
{
    return FInterfaceList.get();
}

TConnectionState TMBManager::GetConnectionState(const QString& InterfaceID)
{
    std::shared_ptr<IMbnInterface> i = GetInterface(InterfaceID);
    std::shared_ptr<IMbnConnection> connection;
    if (MbnFailed(i->GetConnection(connection))) {
        return csUnknown;
    }
    quint32 state = 0;
    QString profile;
    Check(connection->GetConnectionState(state, profile), QStringLiteral("GetConnectionState"));
    return MapActivationState(state);
}

void TMBManager::SetConnectionStateNotify(TConnectionStateNotify Notify)
{
    FConnectionStateNotify = std::move(Notify);
}

quint32 TMBManager::GetSignalStrength(const QString& InterfaceID)
{
    quint32 strength = 0;
    Check(GetInterface(InterfaceID)->GetSignalStrength(strength), QStringLiteral("GetSignalStrength"));
    return strength;
}

void TMBManager::SetConnectionSignalNotify(TConnectionSignalNotify Notify)
{
    FConnectionSignalNotify = std::move(Notify);
}

void TMBManager::SetIncomingSmsNotify(TNotifyEvent Notify)
{
    FIncomingSmsNotify = std::move(Notify);
}

void TMBManager::SetOutgoingSmsNotify(TNotifyEvent Notify)
{
    FOutgoingSmsNotify = std::move(Notify);
}

QStringList TMBManager::GetLoadWarnings() const
{
    return FLoadWarnings;
}

void TMBManager::SetErrorNotify(TErrorNotify Notify)
{
    FErrorNotify = std::move(Notify);
}

bool TMBManager::SharesMessageStore() const
{
    return FPort->SharesMessageStore();
}

void TMBManager::SetRemoveStoredMessages(bool Value)
{
    FRemoveStored = Value;
    FPort->SetRemoveStoredMessages(Value);
}

QString TMBManager::PasswordKeeper() const
{
    return FPort->PasswordKeeper();
}

void TMBManager::SetInterfacesChangedNotify(TInterfacesChangedNotify Notify)
{
    FInterfacesChangedNotify = std::move(Notify);
}

QString TMBManager::BackendName() const
{
    return FPort->Name();
}

TMbnRegistration TMBManager::GetRegistration(const QString& InterfaceID)
{
    TMbnRegistration r;
    std::shared_ptr<IMbnInterface> i;
    if (MbnFailed(FPort->GetInterface(InterfaceID, i)) || MbnFailed(i->GetRegistration(r))) {
        return {};
    }
    return r;
}

void TMBManager::SetRegistrationNotify(std::function<void(const QString&)> Notify)
{
    FRegistrationNotify = std::move(Notify);
    if (FRegistrationNotify && !FRegistrationSubscription) {
        FRegistrationSubscription =
            connect(FPort.get(), &IMbnInterfaceManager::RegisterStateChange, this, [this](const QString& Id) {
                if (FRegistrationNotify && !Gone(Id)) {
                    FRegistrationNotify(Id);
                }
            });
        FSubscriptions << FRegistrationSubscription;
    }
}

QString AccessTechText(TMbnAccessTech Tech)
{
    switch (Tech) {
    case TMbnAccessTech::atGsm:
        return QStringLiteral("GSM");
    case TMbnAccessTech::atUmts:
        return QStringLiteral("UMTS");
    case TMbnAccessTech::atHspa:
        return QStringLiteral("HSPA");
    case TMbnAccessTech::atLte:
        return QStringLiteral("LTE");
    case TMbnAccessTech::at5GNr:
        return QStringLiteral("5G NR");
    default:
        return QString();
    }
}

QString RegistrationText(const TMbnRegistration& R)
{
    auto network = [&R](const QString& Where) {
        QStringList parts;
        const QString name = R.OperatorName.isEmpty() ? R.OperatorCode : R.OperatorName;
        if (!name.isEmpty()) {
            parts << name;
        }
        if (!AccessTechText(R.AccessTech).isEmpty()) {
            parts << AccessTechText(R.AccessTech);
        }
        return parts.isEmpty() ? Where : Where + QStringLiteral(": ") + parts.join(QStringLiteral(", "));
    };
    switch (R.State) {
    case TMbnRegisterState::rsHome:
        return network(QCoreApplication::translate("Registration", "Home"));
    case TMbnRegisterState::rsRoaming:
        return network(QCoreApplication::translate("Registration", "Roaming"));
    case TMbnRegisterState::rsSearching:
        return QCoreApplication::translate("Registration", "Searching for a network");
    case TMbnRegisterState::rsDenied:
        return QCoreApplication::translate("Registration", "Registration denied");
    case TMbnRegisterState::rsNotRegistered:
        return QCoreApplication::translate("Registration", "Not registered");
    default:
        return QString();
    }
}

int SignalPercent(quint32 SignalStrength)
{
    if (SignalStrength > 31) {
        return -1;
    }
    return int((SignalStrength * 100 + 15) / 31);
}

bool TMBManager::Gone(const QString& InterfaceID) const
{
    // Events a backend had under way when the modem went may come before its removal does.
    std::shared_ptr<IMbnInterface> i;
    return !FInterfaceList->FindByID(InterfaceID) || FPort->GetInterface(InterfaceID, i) == mrNotFound;
}

void TMBManager::OnInterfaceArrival(const QString& InterfaceID)
{
    if (!FInterfaceList || FInterfaceList->FindByID(InterfaceID)) {
        return;
    }
    std::shared_ptr<IMbnInterface> i;
    if (MbnFailed(FPort->GetInterface(InterfaceID, i)) || !i) {
        // Gone again before its announcement came.
        return;
    }
    auto item = std::make_unique<TMBInterfaceItem>(*FPort, i);
    const QStringList warnings = item->ProfileErrors();
    FInterfaceList->Add(std::move(item));
    FUsage->Source.Add(i);
    DeviceListed(InterfaceID);
    if (FInterfacesChangedNotify) {
        FInterfacesChangedNotify(InterfaceID, QString());
    }
    if (!warnings.isEmpty()) {
        ReportError(warnings.join(QLatin1Char('\n')));
    }
    // What arrived while the modem was away is stored now, not at the next poll.
    ReadSms(InterfaceID);
}

void TMBManager::OnInterfaceRemoval(const QString& InterfaceID)
{
    std::unique_ptr<TMBInterfaceItem> item = FInterfaceList ? FInterfaceList->Take(InterfaceID) : nullptr;
    if (!item) {
        return;
    }
    FUsage->Source.Remove(InterfaceID);
    FSessions.remove(InterfaceID);
    FConnectRequests.remove(InterfaceID);
    // Its reads can no longer complete; a modem that comes back starts a fresh one.
    QList<quint32> reads;
    for (auto it = FSmsReadRequestQueue.cbegin(); it != FSmsReadRequestQueue.cend(); ++it) {
        if (it->InterfaceID == InterfaceID) {
            reads << it.key();
        }
    }
    for (quint32 id : reads) {
        FinishRead(id);
    }
    FStoreFailing.remove(InterfaceID);
    FDeleteFailing.remove(InterfaceID);
    FReady.remove(InterfaceID);
    FSeenOn.remove(InterfaceID);
    FSwitchingOn.remove(InterfaceID);
    if (FInterfacesChangedNotify) {
        FInterfacesChangedNotify(QString(), InterfaceID);
    }
}

void TMBManager::OnSignalStateChange(const QString& InterfaceID)
{
    if (!FConnectionSignalNotify || Gone(InterfaceID)) {
        // Nobody listens, or an event of a modem that has gone meanwhile.
        return;
    }
    std::shared_ptr<IMbnInterface> i = GetInterface(InterfaceID);
    quint32 strength = 0;
    if (MbnFailed(i->GetSignalStrength(strength))) {
        return;
    }
    // Passed on as the stack codes it, values above 31 included.
    FConnectionSignalNotify(InterfaceID, strength);
}

void TMBManager::OnConnectComplete(const QString& InterfaceID, quint32 RequestId, qint32 Status,
                                   TConnectionState Success)
{
    bool cancelled = false;
    if (Success == csConnected) {
        if (FConnectRequests.value(InterfaceID) == RequestId) {
            FConnectRequests.remove(InterfaceID);
        }
        cancelled = FCancelledConnects.remove(RequestId);
    }
    if (Gone(InterfaceID)) {
        // The modem went away while connecting; its removal says all there is to say.
        return;
    }
    TrackSession(InterfaceID);
    if (MbnSucceeded(Status)) {
        if (FConnectionStateNotify) {
            FConnectionStateNotify(InterfaceID, Success);
        }
        return;
    }
    // A failed connect or disconnect is not announced as its goal: the connection's own state
    // is, and the failure goes to the user.
    if (FConnectionStateNotify) {
        std::shared_ptr<IMbnInterface> i;
        std::shared_ptr<IMbnConnection> connection;
        quint32 state = 0;
        QString profile;
        if (MbnSucceeded(FPort->GetInterface(InterfaceID, i)) && MbnSucceeded(i->GetConnection(connection)) &&
            MbnSucceeded(connection->GetConnectionState(state, profile))) {
            const TConnectionState mapped = MapActivationState(state);
            if (mapped != csUnknown) {
                FConnectionStateNotify(InterfaceID, mapped);
            }
        }
    }
    if (cancelled) {
        // The user gave it up: its failure is what was asked for.
        return;
    }
    ReportError(QStringLiteral("%1 failed: %2")
                    .arg(Success == csConnected ? QStringLiteral("Connect") : QStringLiteral("Disconnect"),
                         FPort->ErrorText(Status)));
}

void TMBManager::OnConnectStateChange(const QString& InterfaceID)
{
    if (Gone(InterfaceID)) {
        return;
    }
    TrackSession(InterfaceID);
    if (!FConnectionStateNotify) {
        return;
    }
    std::shared_ptr<IMbnInterface> i = GetInterface(InterfaceID);
    std::shared_ptr<IMbnConnection> connection;
    quint32 state = 0;
    QString profile;
    if (MbnFailed(i->GetConnection(connection)) || MbnFailed(connection->GetConnectionState(state, profile))) {
        return;
    }
    const TConnectionState mapped = MapActivationState(state);
    if (mapped != csUnknown) {
        FConnectionStateNotify(InterfaceID, mapped);
    }
}

} // namespace Ombrelay
