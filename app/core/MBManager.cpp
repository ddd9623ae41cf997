#include "core/MBManager.h"

#include "base/DateTime.h"
#include "core/MBInterfaceItem.h"
#include "core/UsageSource.h"

#include <QPointer>

namespace Ombrelay
{

namespace
{

// Reports the byte counters of the manager's interfaces to usage accounting. The usage thread
// calls it; the port promises that GetByteCounters may be called from any thread, and the list
// of interfaces is fixed at construction.
class TPortUsageSource : public IUsageSource
{
public:
    explicit TPortUsageSource(QList<std::shared_ptr<IMbnInterface>> Interfaces)
        : FInterfaces(std::move(Interfaces))
    {
    }
    bool ReadCounters(QList<TInterfaceCounters>& List) override
    {
        for (const auto& i : FInterfaces) {
            TInterfaceCounters c;
            if (MbnFailed(i->GetByteCounters(c.RxBytes, c.TxBytes))) {
                return false;
            }
            c.Key = i->Backend() + QLatin1Char(':') + i->InterfaceID();
            c.Device = i->InterfaceID();
            List << c;
        }
        return true;
    }

private:
    QList<std::shared_ptr<IMbnInterface>> FInterfaces;
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
    explicit TUsageRegistration(QList<std::shared_ptr<IMbnInterface>> Interfaces)
        : Source(std::move(Interfaces))
    {
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
    FInterfaceList = std::make_unique<TMBInterfaceList>();
    RefreshInterfaces();
    QList<std::shared_ptr<IMbnInterface>> interfaces;
    for (const auto& item : *FInterfaceList) {
        interfaces << item->MbnInterface();
    }
    FUsage = std::make_unique<TUsageRegistration>(interfaces);
}

TMBManager::~TMBManager()
{
    // End the subscriptions first: no event may reach a manager that is half gone.
    for (const QMetaObject::Connection& c : std::as_const(FSubscriptions)) {
        QObject::disconnect(c);
    }
    FSubscriptions.clear();
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
    return id;
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

void TMBManager::OnSignalStateChange(const QString& InterfaceID)
{
    if (!FConnectionSignalNotify) {
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
    Q_UNUSED(RequestId);
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
    ReportError(QStringLiteral("%1 failed: %2")
                    .arg(Success == csConnected ? QStringLiteral("Connect") : QStringLiteral("Disconnect"),
                         FPort->ErrorText(Status)));
}

void TMBManager::OnConnectStateChange(const QString& InterfaceID)
{
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
