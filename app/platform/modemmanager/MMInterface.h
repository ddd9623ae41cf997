#pragma once

// A modem of the ModemManager backend. Its own side (capabilities, signal, messages, counters) is
// in MMInterface.cpp; its connection, made through NetworkManager, in MMNetworkManager.cpp.

#include "platform/MbnPort.h"
#include "platform/modemmanager/MMBackend.h"
#include "platform/modemmanager/MMDecode.h"

#include <QDBusMessage>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

namespace Ombrelay
{

// One modem as ModemManager shows it. It is the port's interface, its connection and its SMS
// facet at once; all three share one lifetime.
class TMMInterface : public IMbnInterface,
                     public IMbnConnection,
                     public IMbnSms,
                     public IMbnUssd,
                     public std::enable_shared_from_this<TMMInterface>
{
public:
    TMMInterface(TMMInterfaceManager& Manager, const QString& Identifier)
        : FManager(Manager)
        , FIdentifier(Identifier)
    {
    }

    // IMbnInterface
    QString InterfaceID() const override { return FIdentifier; }
    QString Backend() const override { return QStringLiteral("modemmanager"); }
    TMbnResult GetInterfaceCapability(TMbnInterfaceCaps& Caps) override;
    TMbnResult GetConnection(std::shared_ptr<IMbnConnection>& Connection) override
    {
        Connection = std::shared_ptr<IMbnConnection>(shared_from_this(), static_cast<IMbnConnection*>(this));
        return mrOk;
    }
    TMbnResult GetSignalStrength(quint32& SignalStrength) override;
    TMbnResult GetRegistration(TMbnRegistration& Registration) override;
    TMbnResult GetSms(std::shared_ptr<IMbnSms>& Sms) override;
    TMbnResult GetByteCounters(quint64& Received, quint64& Sent) override;
    TMbnResult GetUssd(std::shared_ptr<IMbnUssd>& Ussd) override;
    TMbnResult GetLockState(TMbnLockState& Lock) override;
    TMbnResult SendPin(const QString& Pin, TMbnRequestId& RequestId) override;
    TMbnResult SendPuk(const QString& Puk, const QString& NewPin, TMbnRequestId& RequestId) override;
    TMbnResult GetPowered(bool& On) override;
    TMbnResult SetPowered(bool On, TMbnRequestId& RequestId) override;

    // IMbnConnection
    TMbnResult Connect(const QString& ProfileName, TMbnRequestId& RequestId) override;
    TMbnResult Disconnect(TMbnRequestId& RequestId) override;
    TMbnResult GetConnectionState(quint32& State, QString& ProfileName) override
    {
        State = FState;
        ProfileName = FActiveProfile;
        return mrOk;
    }
    TMbnResult GetIpAddresses(QStringList& IPv4, QStringList& IPv6) override
    {
        IPv4 = FState == masActivated ? FIPv4 : QStringList();
        IPv6 = FState == masActivated ? FIPv6 : QStringList();
        return mrOk;
    }

    // IMbnSms
    TMbnSmsFormat Format() const override { return TMbnSmsFormat::sfMessage; }
    TMbnResult SmsRead(TMbnRequestId&) override { return mrNotSupported; }
    TMbnResult SmsSendPdu(const QString&, quint32, TMbnRequestId&) override { return mrNotSupported; }
    TMbnResult SmsDelete(TMbnRequestId& RequestId) override;
    TMbnResult SmsDeleteIndex(quint32, TMbnRequestId&) override { return mrNotSupported; }
    TMbnResult SmsReadMessages(TMbnRequestId& RequestId) override;
    TMbnResult SmsSendMessage(const QString& Number, const QString& Text, TMbnRequestId& RequestId) override;
    TMbnResult SmsDeleteMessage(const QString& Key, TMbnRequestId& RequestId) override;

    // IMbnUssd (MMUssd.cpp)
    TMbnResult UssdInitiate(const QString& Command, TMbnRequestId& RequestId) override;
    TMbnResult UssdRespond(const QString& Response, TMbnRequestId& RequestId) override;
    TMbnResult UssdCancel(TMbnRequestId& RequestId) override;
    TMbnUssdState UssdState() const override;
    // The Ussd interface's properties changed: the network's own notices and questions.
    void UssdPropertiesChanged(const QVariantMap& Changed);

    // The backend's side.
    void Bind(const QString& Path, const MM::TInterfaceMap& Interfaces);
    // The modem or ModemManager went away. The message paths it handed out go with it: a
    // restarted ModemManager numbers its messages from the start again, and so do the keys.
    void Unbind()
    {
        FPath.clear();
        FInterfaces.clear();
        ++FBinding;
        FHandles.clear();
        FPathKeys.clear();
        FOccurrences.clear();
    }
    const QString& Path() const { return FPath; }
    void UpdateProperties(const QString& Interface, const QVariantMap& Changed);
    void AddInterfaces(const MM::TInterfaceMap& Interfaces);
    void RemoveInterfaces(const QStringList& Names)
    {
        for (const QString& n : Names) {
            FInterfaces.remove(n);
        }
    }
    bool HasModem() const;

    // NetworkManager's side.
    QString FNmDevice;
    QString FActivePath;
    void SetIpInterface(const QString& Name)
    {
        std::lock_guard<std::mutex> lock(FCounterLock);
        FIpInterface = Name;
    }
    void ActiveStateChanged(const QString& ActivePath, quint32 NmState, quint32 Reason);
    void TakeActiveConnection(const QString& ActivePath, const QString& ProfileName, quint32 NmState);

private:
    void Emit(std::function<void()> F)
    {
        // Completions never come inside the call that started the request.
        QTimer::singleShot(0, &FManager, std::move(F));
    }
    void Call(const QDBusMessage& Message, std::function<void(const QDBusMessage&)> Done, int TimeoutMs = -1);
    TMbnResult SendUnlock(const QString& Method, const QVariantList& Codes, TMbnRequestId& RequestId);
    void FinishConnect(TMbnResult Status);
    void FinishDisconnect(TMbnResult Status);
    void ReadDeviceInterface();
    void QueueDelete(const QString& Key, std::function<void(TMbnResult)> Done);
    void PumpDeletes();
    // Initiate or Respond: the answer, then the session's state as the daemon has it after it.
    TMbnResult UssdCall(const QString& Method, const QString& Text, TMbnRequestId& RequestId);

    TMMInterfaceManager& FManager;
    QString FIdentifier;
    QString FPath;
    MM::TInterfaceMap FInterfaces;
    QVariantMap FModem;

    // A message's key is what it is (a digest of sender, time stamp and content) with the number
    // of its occurrence among identical ones: the same after either side restarts, where
    // ModemManager's object paths are not (a restarted daemon gives them to other messages).
    // The path stays the handle that deletes.
    QString KeyFor(const QString& Path, const QByteArray& Content);
    // Keys handed out by reads, each with its path: only these may be deleted, so that a message
    // still RECEIVING (whose parts are incomplete) is never removed.
    QHash<QString, QString> FHandles;
    // Counts the daemons seen: a read that began under an earlier one hands out nothing.
    quint64 FBinding = 0;
    // The key each path was given while this ModemManager runs, and per content how many keys
    // were given. Numbers are never given twice in one run: a path that vanished (deleted here
    // or by another client) takes its number with it, so a new identical message never takes
    // the key of one already stored.
    QHash<QString, QString> FPathKeys;
    QHash<QByteArray, int> FOccurrences;
    // Keys of messages the program has stored but left on the modem, when removing is off.
    QSet<QString> FKept;
    // Messages whose content could not be read, handed out once so that the user hears of each.
    QSet<QString> FUnreadableTold;
    std::deque<std::pair<QString, std::function<void(TMbnResult)>>> FDeletes;
    bool FDeleting = false;

    quint32 FState = masDeactivated;
    QString FActiveProfile;
    QString FConnectingProfile;
    bool FConnectPending = false;
    TMbnRequestId FConnectRequest = 0;
    bool FDisconnectPending = false;
    TMbnRequestId FDisconnectRequest = 0;
    quint32 FLastReason = 0;
    // Counts activations: the reply of one given up before NetworkManager named it finds a newer
    // count and takes the activation down.
    quint64 FConnectAttempt = 0;
    // The addresses of the device's IP configurations while the connection is up.
    QStringList FIPv4;
    QStringList FIPv6;
    void ReadAddresses(const QString& ConfigPath, const QString& Interface, QStringList* Target);

    // The usage thread reads the counters.
    std::mutex FCounterLock;
    QString FIpInterface;
    QString FCounterKey;
    quint64 FLastRx = 0;
    quint64 FLastTx = 0;
    quint64 FBaseRx = 0;
    quint64 FBaseTx = 0;
};

} // namespace Ombrelay
