#pragma once

// The broadband manager: the program's one gateway to the modems behind the platform port.

#include "platform/MbnPort.h"
#include "sms/MBException.h"

#include <QHash>
#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <exception>
#include <functional>
#include <memory>

namespace Ombrelay
{

class TMBInterfaceItem;
class TMBInterfaceList;
class TMBProfleItem;
struct TStoredReport;

enum TConnectionState
{
    csUnknown = 0,
    csConnecting = 1,
    csConnected = 2,
    csDisconnecting = 3,
    csDisconnected = 4,
};

// Callbacks of the manager's owner. An empty function counts as unassigned: that notification is off.
using TConnectionStateNotify = std::function<void(const QString& InterfaceID, TConnectionState State)>;
using TConnectionSignalNotify = std::function<void(const QString& InterfaceID, quint32 SignalStrength)>;
// Sender is the interface item whose inbox or outbox changed.
using TNotifyEvent = std::function<void(TMBInterfaceItem* Sender)>;
using TErrorNotify = std::function<void(const QString& Message)>;
// The interface list changed: Added names an interface now listed, Removed one no longer listed
// (the other is empty). A removed item is still alive during the call and destroyed right after:
// whoever holds it lets go of it here.
using TInterfacesChangedNotify = std::function<void(const QString& Added, const QString& Removed)>;

// The connection of an interface as it stands: since when it is up, what it carried since then
// and the addresses it got. Connected is false (and the rest empty) while it is not up.
struct TConnectionSession
{
    bool Connected = false;
    double Since = 0; // Clock time the connection was first seen up
    quint64 Received = 0;
    quint64 Sent = 0;
    QStringList IPv4;
    QStringList IPv6;
};

// The activation state of the stack mapped to the program's connection state; the state 0 and
// values outside 1..4 give csUnknown.
TConnectionState MapActivationState(quint32 State);

// The manager's interface. The owner holds it through a shared pointer; the manager lives as long
// as anyone holds it. Every operation runs on the thread that created the manager; failures raise
// EMBException with a readable text.
class IMBManager
{
public:
    virtual ~IMBManager() = default;

    // Connects the interface with the stored profile of that name; returns the request id. The
    // outcome arrives through the connection-state callback.
    virtual quint32 Connect(const QString& InterfaceID, const QString& ProfileName) = 0;
    virtual quint32 Disconnect(const QString& InterfaceID) = 0;
    // The manager's own list; it lives as long as the manager.
    virtual TMBInterfaceList* GetInterfaceList() = 0;
    virtual TConnectionState GetConnectionState(const QString& InterfaceID) = 0;
    // Starts one read of everything the device stores (the manager's timer calls it every 10 s).
    virtual void ReadSms(const QString& InterfaceID) = 0;
    // Submits one SMS-SUBMIT PDU given as hexadecimal text and records it in OUTGOING.
    virtual void SendSms(const QString& InterfaceID, const QString& Pdu) = 0;
    virtual void SetConnectionStateNotify(TConnectionStateNotify Notify) = 0;
    virtual quint32 GetSignalStrength(const QString& InterfaceID) = 0;
    virtual void SetConnectionSignalNotify(TConnectionSignalNotify Notify) = 0;
    virtual void SetIncomingSmsNotify(TNotifyEvent Notify) = 0;
    virtual void SetOutgoingSmsNotify(TNotifyEvent Notify) = 0;

    // Sends one whole message. On an interface in PDU mode this is SendSms for each of Pdus in
    // order (stopping at the first failure); on an interface in message mode it is one
    // whole-message send of Number and Text, recorded as the rows of Pdus (the SUBMIT PDUs of the
    // same message) marked rebuilt. The new-message dialog uses this for both modes.
    virtual void SendMessage(const QString& InterfaceID, const QString& Number, const QString& Text,
                             const QStringList& Pdus) = 0;
    // Problems met while the interfaces were enumerated that did not stop it (an interface or a
    // profile that could not be read and was left out), one readable line each, for the user.
    virtual QStringList GetLoadWarnings() const = 0;
    // An error inside an event handler or a timer tick, which has no caller to raise to; the
    // owner shows it the way it shows an error of its own actions.
    virtual void SetErrorNotify(TErrorNotify Notify) = 0;

    // The backend's settings that the owner shows and applies (see IMbnInterfaceManager).
    virtual bool SharesMessageStore() const = 0;
    virtual void SetRemoveStoredMessages(bool Value) = 0;
    virtual QString PasswordKeeper() const = 0;

    // Modems come and go while the program runs: the list follows the backend's announcements
    // at once, and a new interface's stored messages are read right away.
    virtual void SetInterfacesChangedNotify(TInterfacesChangedNotify Notify) { Q_UNUSED(Notify); }
    // The backend's name ("sim" for the simulated modem, "modemmanager"), so that the owner can
    // say which one it shows.
    virtual QString BackendName() const { return {}; }
    // Registration, operator and radio technology of the interface; all unknown where the
    // backend does not say. The notify hears of every change (interface identifier).
    virtual TMbnRegistration GetRegistration(const QString& InterfaceID)
    {
        Q_UNUSED(InterfaceID);
        return {};
    }
    virtual void SetRegistrationNotify(std::function<void(const QString& InterfaceID)> Notify) { Q_UNUSED(Notify); }
    // Whether a device's new-message event starts a read at once; the poll reads either way.
    virtual void SetReadOnNewMessage(bool Value) { Q_UNUSED(Value); }
    // Passed on to the backend (see IMbnInterfaceManager).
    virtual void SetRequestDeliveryReports(bool Value) { Q_UNUSED(Value); }

    // Connection: cancel, drops, session details and profile changes.
    // Gives up a connect under way: the connection is taken down, and the connect's failure that
    // follows is not reported as an error.
    virtual void CancelConnect(const QString& InterfaceID) { Disconnect(InterfaceID); }
    // Hears of connections that ended without being asked to (interface identifier, reason).
    virtual void SetConnectionDroppedNotify(std::function<void(const QString&, const QString&)> Notify)
    {
        Q_UNUSED(Notify);
    }
    virtual TConnectionSession GetSession(const QString& InterfaceID)
    {
        Q_UNUSED(InterfaceID);
        return {};
    }
    // Locked SIM and modem power. The lock and power of an interface (unlocked and on where the
    // backend does not say), and whether mobile broadband is on system-wide.
    virtual TMbnLockState GetLockState(const QString& InterfaceID)
    {
        Q_UNUSED(InterfaceID);
        return {};
    }
    // Hears of an interface whose profile list was read anew. The old profiles are destroyed right
    // after the call: whoever holds one lets go of it here.
    virtual void SetProfilesChangedNotify(std::function<void(const QString& InterfaceID)> Notify) { Q_UNUSED(Notify); }
    virtual bool IsPowered(const QString& InterfaceID)
    {
        Q_UNUSED(InterfaceID);
        return true;
    }
    virtual bool RadioEnabled() const { return true; }
    // Send a PIN, or a PUK with the new PIN, or switch the modem on; each returns its request id
    // and raises when the request cannot start. The outcome comes to the request notify.
    virtual quint32 SendPin(const QString& InterfaceID, const QString& Pin)
    {
        Q_UNUSED(InterfaceID);
        Q_UNUSED(Pin);
        throw EMBException(QStringLiteral("The modem cannot be unlocked here"));
    }
    virtual quint32 SendPuk(const QString& InterfaceID, const QString& Puk, const QString& NewPin)
    {
        Q_UNUSED(InterfaceID);
        Q_UNUSED(Puk);
        Q_UNUSED(NewPin);
        throw EMBException(QStringLiteral("The modem cannot be unlocked here"));
    }
    virtual quint32 SwitchOn(const QString& InterfaceID)
    {
        Q_UNUSED(InterfaceID);
        throw EMBException(QStringLiteral("The modem cannot be switched on here"));
    }
    // "Switch modems on when found": a modem listed while off (at the start, plugged in, or
    // once its SIM is unlocked) is switched on at once; one switched off later stays off.
    virtual void SetSwitchOnModems(bool Value) { Q_UNUSED(Value); }
    // Lock, attempts or power of an interface changed (InterfaceID), or mobile broadband as a
    // whole was switched on or off (InterfaceID empty).
    virtual void SetDeviceStateNotify(std::function<void(const QString& InterfaceID)> Notify) { Q_UNUSED(Notify); }
    // A PIN, PUK or switch-on request ended: Error is empty on success, else readable (it never
    // carries the code sent).
    using TDeviceRequestNotify =
        std::function<void(const QString& InterfaceID, quint32 RequestId, const QString& Error)>;
    virtual void SetDeviceRequestNotify(TDeviceRequestNotify Notify) { Q_UNUSED(Notify); }
};

// "SIM PIN required", "SIM PUK required", "SIM blocked", "Modem switched off", "Mobile broadband
// switched off"; empty when the modem is ready.
QString DeviceStateText(const TMbnLockState& Lock, bool Powered, bool RadioEnabled);

// "Home: Operator, LTE", "Roaming: ...", "Searching for a network", "Registration denied",
// "Not registered"; empty when unknown.
QString RegistrationText(const TMbnRegistration& Registration);
QString AccessTechText(TMbnAccessTech Tech);
// The signal on the stack's 0 to 31 scale as a percentage; -1 for unknown (above 31).
int SignalPercent(quint32 SignalStrength);

// The manager behind IMBManager, over one backend of the platform port.
class TMBManager : public QObject, public IMBManager
{
    Q_OBJECT

public:
    // A read whose completion has not come after this many seconds no longer blocks new reads.
    static constexpr int ReadTimeoutSeconds = 60;
    static constexpr int PollIntervalMs = 10000;

    explicit TMBManager(std::shared_ptr<IMbnInterfaceManager> Port);
    ~TMBManager() override;

    quint32 Connect(const QString& InterfaceID, const QString& ProfileName) override;
    quint32 Disconnect(const QString& InterfaceID) override;
    TMBInterfaceList* GetInterfaceList() override;
    TConnectionState GetConnectionState(const QString& InterfaceID) override;
    void ReadSms(const QString& InterfaceID) override;
    void SendSms(const QString& InterfaceID, const QString& Pdu) override;
    void SetConnectionStateNotify(TConnectionStateNotify Notify) override;
    quint32 GetSignalStrength(const QString& InterfaceID) override;
    void SetConnectionSignalNotify(TConnectionSignalNotify Notify) override;
    void SetIncomingSmsNotify(TNotifyEvent Notify) override;
    void SetOutgoingSmsNotify(TNotifyEvent Notify) override;
    void SendMessage(const QString& InterfaceID, const QString& Number, const QString& Text,
                     const QStringList& Pdus) override;
    QStringList GetLoadWarnings() const override;
    void SetErrorNotify(TErrorNotify Notify) override;
    bool SharesMessageStore() const override;
    void SetRemoveStoredMessages(bool Value) override;
    QString PasswordKeeper() const override;
    void SetInterfacesChangedNotify(TInterfacesChangedNotify Notify) override;
    QString BackendName() const override;
    TMbnRegistration GetRegistration(const QString& InterfaceID) override;
    void SetRegistrationNotify(std::function<void(const QString& InterfaceID)> Notify) override;

    // The poll timer's work: one read per interface whose previous read is no longer outstanding.
    void TimerTick();
    const std::shared_ptr<IMbnInterfaceManager>& Port() const { return FPort; }
    // Whether a device's new-message event starts a read at once (off: only the poll reads).
    bool ReadOnNewMessage() const { return FReadOnNewMessage; }
    void SetReadOnNewMessage(bool Value) override;
    void SetRequestDeliveryReports(bool Value) override { FPort->SetRequestDeliveryReports(Value); }
    void CancelConnect(const QString& InterfaceID) override;
    void SetConnectionDroppedNotify(std::function<void(const QString&, const QString&)> Notify) override;
    TConnectionSession GetSession(const QString& InterfaceID) override;
    void SetProfilesChangedNotify(std::function<void(const QString& InterfaceID)> Notify) override;
    // Locked SIM and modem power.
    TMbnLockState GetLockState(const QString& InterfaceID) override;
    bool IsPowered(const QString& InterfaceID) override;
    bool RadioEnabled() const override { return FPort->RadioEnabled(); }
    quint32 SendPin(const QString& InterfaceID, const QString& Pin) override;
    quint32 SendPuk(const QString& InterfaceID, const QString& Puk, const QString& NewPin) override;
    quint32 SwitchOn(const QString& InterfaceID) override;
    void SetSwitchOnModems(bool Value) override;
    void SetDeviceStateNotify(std::function<void(const QString& InterfaceID)> Notify) override
    {
        FDeviceStateNotify = std::move(Notify);
    }
    void SetDeviceRequestNotify(TDeviceRequestNotify Notify) override { FDeviceRequestNotify = std::move(Notify); }
    // Whether the interface can read and send now: its SIM unlocked and the modem on.
    bool IsReady(const QString& InterfaceID);

Q_SIGNALS:
    // An error inside an event handler or a timer tick, which has no caller to raise to; the
    // main window shows it the way it shows an error of its own actions.
    void ErrorOccurred(const QString& Message);

private:
    struct TReadRequest
    {
        QString InterfaceID;
        double Started = 0; // Clock time the read was issued
    };
    // What one read completion delivered, as the rows to store and the handles that delete the
    // messages from the device once those rows are committed.
    struct TReadBatch
    {
        QStringList Pdus;
        bool Rebuilt = false;   // PDUs built here from whole messages
        QList<quint32> Indexes; // PDU mode: storage indexes
        QStringList Keys;       // message mode: message keys
        // The device's key of each PDU's entry, in the order of Pdus; PDU mode derives it from
        // Indexes when left empty.
        QStringList PduKeys;
    };
    struct TSendRequest
    {
        QString InterfaceID;
        QList<qint64> RowIds; // OUTGOING rows this submission confirms
        bool Rebuilt = false; // rows of a whole-message send
    };

    void RefreshInterfaces();
    void Subscribe();
    std::shared_ptr<IMbnInterface> GetInterface(const QString& InterfaceID);
    std::shared_ptr<IMbnSms> GetSms(const std::shared_ptr<IMbnInterface>& Interface);
    bool ReadOutstanding(const QString& InterfaceID);
    bool DeleteOutstanding(const QString& InterfaceID);
    void ReadLater(const QString& InterfaceID);
    void Check(TMbnResult Result, const QString& What) const;
    void ReportError(const QString& Message);

    // Whether the interface is no longer listed, or its backend says it has gone.
    bool Gone(const QString& InterfaceID) const;
    void OnInterfaceArrival(const QString& InterfaceID);
    void OnInterfaceRemoval(const QString& InterfaceID);
    void OnSignalStateChange(const QString& InterfaceID);
    void OnConnectComplete(const QString& InterfaceID, quint32 RequestId, qint32 Status, TConnectionState Success);
    void OnConnectStateChange(const QString& InterfaceID);
    void OnSmsReadComplete(const QString& InterfaceID, const QList<TMbnSmsPdu>& Messages, bool MoreMsgs,
                           quint32 RequestId, qint32 Status);
    void OnSmsMessageReadComplete(const QString& InterfaceID, const QList<TMbnSmsMessage>& Messages, bool MoreMsgs,
                                  quint32 RequestId, qint32 Status);
    void OnSmsSendComplete(const QString& InterfaceID, quint32 RequestId, qint32 Status);
    // The device says a message arrived: a read now, or once the read under way ends (it may
    // have been answered before the message arrived).
    void OnSmsNewMessage(const QString& InterfaceID);
    // Stores the status reports of a read batch and shows them in the outbox; the rest of the
    // batch (with its keys) is left for the inbox.
    void StoreReports(const QString& InterfaceID, TMBInterfaceItem* Item, TReadBatch& Batch);
    // Delivery reports in message mode: applies reports stored or matched now to the outbox and
    // announces the change; records the network's references of a whole message sent.
    void ShowReports(TMBInterfaceItem* Item, const QList<TStoredReport>& Reports);
    void OnSmsSentReference(const QString& InterfaceID, quint32 RequestId, int LastReference);
    // The rest of a read completion in either mode: a completion that came inside the read
    // request is kept until the request is recorded; a successful one with messages (Delivered)
    // has its batch built by Build and stored in one transaction, a store failure reported once,
    // what was committed deleted from the device, the new rows announced.
    void CompleteRead(const QString& InterfaceID, bool Delivered, bool MoreMsgs, quint32 RequestId, qint32 Status,
                      const std::function<TReadBatch()>& Build);
    // Called inside the handler of a failed store: the error to report, or none when this
    // interface's failure has been reported already and no store has succeeded since.
    std::exception_ptr StoreFailed(const QString& InterfaceID);
    // Ends a read: new reads of its interface may start.
    void FinishRead(quint32 RequestId);
    // Forgets the device keys of entries the device confirmed gone, now or when the read under
    // way on the interface ends.
    void ForgetKeys(const QString& InterfaceID, const QStringList& Keys);
    // Deletes from the device the messages whose rows are committed, by index or key.
    void DeleteStored(const QString& InterfaceID, const QList<quint32>& Indexes, const QStringList& Keys);
    void OnSmsDeleteComplete(const QString& InterfaceID, quint32 RequestId, qint32 Status);
    // The outcome of one delete, refused at once or completed: a failure is reported once per
    // interface until a delete there succeeds again.
    // Key names the entry deleted (its index in PDU mode); its rows forget it once it is gone.
    void DeleteDone(const QString& InterfaceID, qint32 Status, const QString& Key);
    // Records the parts of a message as OUTGOING rows that are being sent, before anything is
    // submitted; raises "not sent" when they cannot be written.
    QList<qint64> RecordOutgoing(const QString& InterfaceID, const QStringList& Pdus, bool Rebuilt);
    // Records the PDUs, then submits them in order, stopping at the first that is refused.
    void SubmitPdus(const QString& InterfaceID, IMbnSms& Sms, const QStringList& Pdus);
    // A submission of part Failed (0-based) of Rows was refused with Result: the rows say what
    // became of each part, and the error raised says it to the user.
    [[noreturn]] void SubmitRefused(const QString& InterfaceID, const QList<qint64>& Rows, int Failed,
                                    TMbnResult Result);
    void RecordSend(quint32 RequestId, const QString& InterfaceID, const QList<qint64>& Rows, bool Rebuilt);
    void HandleSendComplete(quint32 RequestId, qint32 Status);
    struct TUsageRegistration;
    // Locked SIM and modem power.
    void SubscribeDeviceState();
    // The modem's power as the backend knows it: Always where it cannot be switched, Unknown
    // while the stack is still finding out (initialising).
    enum class TPower
    {
        Unknown,
        Off,
        On,
        Always,
    };
    TPower Power(const QString& InterfaceID);
    // An interface was listed (at the start, plugged in, or read anew): its readiness is noted
    // and, with the setting, a modem found off is switched on.
    void DeviceListed(const QString& InterfaceID);
    void OnDeviceStateChange(const QString& InterfaceID);
    void OnDeviceRequestComplete(const QString& InterfaceID, quint32 RequestId, qint32 Status, bool Unlock);
    void MaybeSwitchOn(const QString& InterfaceID);
    // Reads the interface's capabilities and profiles again (they change once the SIM is
    // unlocked), announced as the old item leaving and the new one coming.
    void RereadInterface(const QString& InterfaceID);

    std::shared_ptr<IMbnInterfaceManager> FPort;
    QTimer FTimer;
    TNotifyEvent FIncomingSmsNotify;
    TNotifyEvent FOutgoingSmsNotify;
    std::unique_ptr<TMBInterfaceList> FInterfaceList;
    TConnectionStateNotify FConnectionStateNotify;
    TConnectionSignalNotify FConnectionSignalNotify;
    QHash<quint32, TReadRequest> FSmsReadRequestQueue;
    QHash<quint32, QString> FSmsSendRequestQueue;
    QHash<quint32, TSendRequest> FSmsSentRequestIdent;
    // Send completions that arrived while a submission was still being recorded.
    QHash<quint32, qint32> FEarlySendCompletions;
    int FSending = 0;
    // The same for read completions that arrive inside the read request.
    QList<std::pair<quint32, std::function<void()>>> FEarlyReadCompletions;
    int FReading = 0;
    // Interfaces that announced a new message while a read was under way, or whose read waits
    // for deletes to complete.
    QSet<QString> FReadAgain;
    bool FReadOnNewMessage = false;
    QMetaObject::Connection FNewMessageSubscription;
    // Interfaces whose received messages cannot be stored at present (full disk, read-only file).
    QSet<QString> FStoreFailing;
    // A delete issued and not yet completed: the interface deleted from and the entry's key.
    struct TDeleteRequest
    {
        QString InterfaceID;
        QString Key;
        double Started = 0;
    };
    QHash<quint32, TDeleteRequest> FSmsDeleteRequests;
    // Delete completions that arrived inside the delete call.
    QHash<quint32, qint32> FEarlyDeleteCompletions;
    int FDeleting = 0;
    // Interfaces whose deletes fail at present, reported once.
    QSet<QString> FDeleteFailing;
    // Keys of entries whose deletes completed while a read of the interface was under way: that
    // read may still list them (the device answered it from before the delete), so its rows
    // keep recording them until it ends.
    QHash<QString, QStringList> FForgetAfterRead;
    // Whether a delete the device confirms removed the entry: with the option off the backend
    // keeps it, and its row keeps recording it.
    bool FRemoveStored = true;
    QList<QMetaObject::Connection> FSubscriptions;
    QStringList FLoadWarnings;
    TErrorNotify FErrorNotify;
    std::unique_ptr<TUsageRegistration> FUsage;
    TInterfacesChangedNotify FInterfacesChangedNotify;
    std::function<void(const QString&)> FRegistrationNotify;
    // Subscribed only once someone listens: nothing else here acts on registration.
    QMetaObject::Connection FRegistrationSubscription;

    // Connection: the connect under way per interface, connects given up by the user (their
    // failure is expected), and the sessions of the connections that are up.
    struct TSessionStart
    {
        double Since = 0;
        quint64 Received = 0;
        quint64 Sent = 0;
    };
    void SubscribeConnection();
    // Starts or ends the interface's session record after its state changed.
    void TrackSession(const QString& InterfaceID);
    void OnConnectionDropped(const QString& InterfaceID, const QString& Reason);
    void OnProfilesChanged();
    QHash<QString, quint32> FConnectRequests;
    QSet<quint32> FCancelledConnects;
    QHash<QString, TSessionStart> FSessions;
    std::function<void(const QString&, const QString&)> FDroppedNotify;
    std::function<void(const QString&)> FProfilesChangedNotify;
    // Locked SIM and modem power: the readiness last seen per interface, the interfaces seen
    // switched on (a modem switched off after that was switched off on purpose), those being
    // switched on by the setting.
    QHash<QString, bool> FReady;
    QSet<QString> FSeenOn;
    QSet<QString> FSwitchingOn;
    bool FSwitchOnModems = false;
    std::function<void(const QString&)> FDeviceStateNotify;
    TDeviceRequestNotify FDeviceRequestNotify;
};

// Creates the manager over a backend of the platform port.
std::shared_ptr<IMBManager> CreateMBManager(std::shared_ptr<IMbnInterfaceManager> Port);

} // namespace Ombrelay
