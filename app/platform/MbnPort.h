#pragma once

// The platform port: everything the device layer asks of a modem stack, kept close to the shape of a
// mobile broadband API (an interface manager, interfaces with connection, signal and SMS facets, a
// profile manager that hands out profile XML). Calls return a result code at once; the outcome of
// a request comes later as a completion signal carrying its request id and a status. Backends
// deliver every completion and event from the event loop of the thread that owns the interface
// manager, never from inside the call that started the request.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

namespace Ombrelay
{

// Result of a port call or status of a completion: 0 or positive is success, negative a failure.
using TMbnResult = qint32;
using TMbnRequestId = quint32;

// The failure codes every backend uses. A backend may add its own negative codes below
// mrBackendBase and explain them through IMbnInterfaceManager::ErrorText.
enum TMbnResultCode : qint32
{
    mrOk = 0,
    mrFailed = -1,          // unspecified failure
    mrNotFound = -2,        // no interface, profile or message with that identifier
    mrNotSupported = -3,    // the interface lacks the facet or the operation
    mrInvalidArgument = -4, // e.g. a PDU that is not whole octets of hexadecimal text
    mrBusy = -5,            // the device is doing something that excludes this request
    mrStoreFull = -6,       // the device's message store has no room
    mrNotRegistered = -7,   // no network to connect to or to send through
    mrTimeout = -8,         // the stack gave up waiting for the device
    mrBackendBase = -1000,
};

inline bool MbnSucceeded(TMbnResult Result)
{
    return Result >= 0;
}
inline bool MbnFailed(TMbnResult Result)
{
    return Result < 0;
}

// A readable text for the common codes; "Unknown platform error (N)" for others.
QString MbnErrorText(TMbnResult Code);

// The activation state of a connection, as the stack reports it.
enum TMbnActivationState : quint32
{
    masNone = 0,
    masActivated = 1,
    masActivating = 2,
    masDeactivated = 3,
    masDeactivating = 4,
};

// Bits of the SMS capabilities. The PDU bits mean the interface speaks PDU mode, the text bits
// that it gives and takes whole messages (message mode).
enum TMbnSmsCaps : quint32
{
    mscPduReceive = 0x1,
    mscPduSend = 0x2,
    mscTextReceive = 0x4,
    mscTextSend = 0x8,
};

// Bit of the data and band classes that stands for the custom class named in the record.
constexpr quint32 kMbnCustomClass = 0x80000000u;

// The capability record of an interface.
struct TMbnInterfaceCaps
{
    quint32 cellularClass = 0; // 1 GSM, 2 CDMA
    quint32 voiceClass = 0;
    quint32 dataClass = 0;
    QString customDataClass;
    quint32 gsmBandClass = 0;
    quint32 cdmaBandClass = 0;
    QString customBandClass;
    quint32 smsCaps = 0;
    quint32 controlCaps = 0;
    QString deviceID;
    QString manufacturer;
    QString model;
    QString firmwareInfo;
};

// Where the modem stands with the network.
enum class TMbnRegisterState
{
    rsUnknown,
    rsNotRegistered, // not registered and not looking (e.g. radio off, no SIM)
    rsSearching,
    rsHome,
    rsRoaming,
    rsDenied, // the network refused the SIM
};

// The radio technology in use, the best of what the stack reports.
enum class TMbnAccessTech
{
    atUnknown,
    atGsm,  // GSM, GPRS, EDGE
    atUmts, // UMTS (WCDMA)
    atHspa, // HSDPA, HSUPA, HSPA, HSPA+
    atLte,
    at5GNr,
};

struct TMbnRegistration
{
    TMbnRegisterState State = TMbnRegisterState::rsUnknown;
    QString OperatorName;
    QString OperatorCode; // MCC and MNC, e.g. "26201"
    TMbnAccessTech AccessTech = TMbnAccessTech::atUnknown;
};

// What the SIM asks for before the modem may be used.
enum class TMbnLock
{
    lkNone,    // unlocked, or no lock set
    lkSimPin,  // the SIM's PIN
    lkSimPuk,  // the PUK and a new PIN, after too many wrong PINs
    lkBlocked, // too many wrong PUKs: only the operator can help
};

struct TMbnLockState
{
    TMbnLock Lock = TMbnLock::lkNone;
    int AttemptsLeft = -1; // for the code asked for; -1 when the stack does not say
};

// How an interface's SMS facet exchanges messages.
enum class TMbnSmsFormat
{
    sfPdu,     // PDUs as hexadecimal text, each with its storage index
    sfMessage, // whole messages (long ones already joined), each with a key
};

// One stored message in PDU mode: its index in the device's store and the PDU as hexadecimal
// text, two digits per octet, starting with the service-centre length octet.
struct TMbnSmsPdu
{
    quint32 Index = 0;
    QString PduData;
};

// One stored message in message mode.
struct TMbnSmsMessage
{
    QString Key;         // the stack's handle, used to delete it
    QString Number;      // sender
    QDateTime TimeStamp; // the service centre's time stamp, with its offset from UTC
    QString Text;        // the whole text, parts already joined
    // An 8-bit data message (WAP push, MMS notification, binary SMS) carries Data instead of Text.
    bool IsData = false;
    QByteArray Data = {};  // the whole data, parts already joined
    int MessageClass = -1; // 0..3 as the network sent it, -1 for none
    // Why the content could not be read; empty when it could. Such a message is handed out so
    // that the user hears of it, but it is not stored and so never deleted from the device.
    QString Unreadable = {};

    // Delivery reports in message mode: a status report the stack holds. Number is then the
    // recipient of the part reported on and TimeStamp when the service centre took that part.
    bool IsStatusReport = false;
    int MessageRef = -1;      // the reference of the part reported on, 0..255
    int DeliveryStatus = -1;  // the status octet (TP-ST), 0..255
    QDateTime Discharge = {}; // the time of the outcome; invalid when not given
};

class IMbnConnection
{
public:
    virtual ~IMbnConnection() = default;
    // The identifier of the interface that owns this connection.
    virtual QString InterfaceID() const = 0;
    // Connects with the stored profile of that name; ConnectComplete follows.
    virtual TMbnResult Connect(const QString& ProfileName, TMbnRequestId& RequestId) = 0;
    // DisconnectComplete follows.
    virtual TMbnResult Disconnect(TMbnRequestId& RequestId) = 0;
    // State is a TMbnActivationState value (a stack may report others).
    virtual TMbnResult GetConnectionState(quint32& State, QString& ProfileName) = 0;

    // Connection: session details.
    // The addresses the network gave the connection while it is up, in text form; empty lists
    // when it is down or the stack does not say.
    virtual TMbnResult GetIpAddresses(QStringList& IPv4, QStringList& IPv6)
    {
        IPv4.clear();
        IPv6.clear();
        return mrNotSupported;
    }
};

class IMbnSms
{
public:
    virtual ~IMbnSms() = default;
    virtual TMbnSmsFormat Format() const = 0;

    // PDU mode. SmsRead asks for every stored message; they come in SmsReadComplete, possibly
    // over several completions (all but the last say that more follow).
    virtual TMbnResult SmsRead(TMbnRequestId& RequestId) = 0;
    // Size is the PDU's length in octets, that is the text length divided by two.
    // SmsSendComplete follows.
    virtual TMbnResult SmsSendPdu(const QString& PduData, quint32 Size, TMbnRequestId& RequestId) = 0;
    // Removes every stored message; SmsDeleteComplete follows.
    virtual TMbnResult SmsDelete(TMbnRequestId& RequestId) = 0;
    // Removes the message at one storage index; SmsDeleteComplete follows.
    virtual TMbnResult SmsDeleteIndex(quint32 Index, TMbnRequestId& RequestId) = 0;

    // Message mode. Reads come in SmsMessageReadComplete, sends and deletes complete as above.
    virtual TMbnResult SmsReadMessages(TMbnRequestId& RequestId) = 0;
    virtual TMbnResult SmsSendMessage(const QString& Number, const QString& Text, TMbnRequestId& RequestId) = 0;
    virtual TMbnResult SmsDeleteMessage(const QString& Key, TMbnRequestId& RequestId) = 0;
};

// USSD: where the interface's session with the network's service stands.
enum class TMbnUssdState : quint32
{
    usUnknown = 0,
    usIdle = 1,         // no session
    usActive = 2,       // a request is on its way to the network
    usUserResponse = 3, // the network asked a question (a menu) and waits for the answer
};

// USSD: codes such as "*100#" sent to the network's service, whose answers come back as text.
class IMbnUssd
{
public:
    virtual ~IMbnUssd() = default;
    // Opens a session with Command; UssdComplete follows with the network's answer.
    virtual TMbnResult UssdInitiate(const QString& Command, TMbnRequestId& RequestId) = 0;
    // Answers the network's question in the open session; UssdComplete follows.
    virtual TMbnResult UssdRespond(const QString& Response, TMbnRequestId& RequestId) = 0;
    // Ends the session; UssdComplete follows with no answer.
    virtual TMbnResult UssdCancel(TMbnRequestId& RequestId) = 0;
    virtual TMbnUssdState UssdState() const = 0;
};

class IMbnInterface
{
public:
    virtual ~IMbnInterface() = default;
    // Fixed for as long as the program runs.
    virtual QString InterfaceID() const = 0;
    // Which backend the interface comes from ("sim" for the simulated modem), so that a user is
    // never shown a simulated device as a real one.
    virtual QString Backend() const = 0;
    virtual TMbnResult GetInterfaceCapability(TMbnInterfaceCaps& Caps) = 0;
    virtual TMbnResult GetConnection(std::shared_ptr<IMbnConnection>& Connection) = 0;
    // The stack's coded value on its 0 to 31 scale (values above may occur and mean "unknown").
    virtual TMbnResult GetSignalStrength(quint32& SignalStrength) = 0;
    // The SMS facet; mrNotSupported when the interface has none.
    virtual TMbnResult GetSms(std::shared_ptr<IMbnSms>& Sms) = 0;
    // Bytes received and sent over this interface's data connection since the stack started.
    // Unlike every other call, this one may come from any thread (usage accounting samples it
    // from its own).
    virtual TMbnResult GetByteCounters(quint64& Received, quint64& Sent) = 0;
    // Registration, operator and radio technology; RegisterStateChange says when they change.
    virtual TMbnResult GetRegistration(TMbnRegistration& Registration)
    {
        Registration = {};
        return mrNotSupported;
    }

    // USSD
    // The USSD facet; mrNotSupported when the interface has none.
    virtual TMbnResult GetUssd(std::shared_ptr<IMbnUssd>& Ussd)
    {
        Ussd.reset();
        return mrNotSupported;
    }
    // Locked SIM and modem power. DeviceStateChange says when lock, attempts or power change.
    virtual TMbnResult GetLockState(TMbnLockState& Lock)
    {
        Lock = {};
        return mrNotSupported;
    }
    // UnlockComplete follows; a wrong code fails it, and GetLockState then gives what is left.
    virtual TMbnResult SendPin(const QString& Pin, TMbnRequestId& RequestId)
    {
        Q_UNUSED(Pin);
        Q_UNUSED(RequestId);
        return mrNotSupported;
    }
    virtual TMbnResult SendPuk(const QString& Puk, const QString& NewPin, TMbnRequestId& RequestId)
    {
        Q_UNUSED(Puk);
        Q_UNUSED(NewPin);
        Q_UNUSED(RequestId);
        return mrNotSupported;
    }
    // Whether the modem is switched on (enabled); a modem that is off reads and sends nothing.
    virtual TMbnResult GetPowered(bool& On)
    {
        On = true;
        return mrNotSupported;
    }
    // EnableComplete follows.
    virtual TMbnResult SetPowered(bool On, TMbnRequestId& RequestId)
    {
        Q_UNUSED(On);
        Q_UNUSED(RequestId);
        return mrNotSupported;
    }
};

class IMbnConnectionProfileManager
{
public:
    virtual ~IMbnConnectionProfileManager() = default;
    // The profiles stored for an interface, each as its profile XML, in the stack's order.
    virtual TMbnResult GetConnectionProfiles(const QString& InterfaceID, QStringList& ProfileXml) = 0;
};

// The root of a backend: finds interfaces and is the source of every completion and event.
class IMbnInterfaceManager : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~IMbnInterfaceManager() override = default;

    virtual QString Name() const = 0;
    virtual TMbnResult GetInterfaces(QList<std::shared_ptr<IMbnInterface>>& Interfaces) = 0;
    virtual TMbnResult GetInterface(const QString& InterfaceID, std::shared_ptr<IMbnInterface>& Interface) = 0;
    virtual TMbnResult CreateProfileManager(std::shared_ptr<IMbnConnectionProfileManager>& ProfileManager) = 0;
    // A readable text for a result code of this backend.
    virtual QString ErrorText(TMbnResult Code) const { return MbnErrorText(Code); }
    // Whether other programs read the device's message store too (a system modem stack). Only
    // then may stored messages stay on the device: a store the program owns alone is always
    // cleared, or it fills and the device stops taking messages.
    virtual bool SharesMessageStore() const { return false; }
    // "Remove messages from the modem once stored"; holds from the next delete on. Ignored
    // where the store is not shared.
    virtual void SetRemoveStoredMessages(bool Value) { Q_UNUSED(Value); }
    // "Request delivery reports" for stacks that build the PDUs of whole messages themselves
    // (message mode); in PDU mode the program's own PDUs carry the request.
    virtual void SetRequestDeliveryReports(bool Value) { Q_UNUSED(Value); }
    // Who keeps the profiles' passwords when the backend cannot show them; empty when the
    // profile XML carries them.
    virtual QString PasswordKeeper() const { return {}; }
    // Locked SIM and modem power: whether mobile broadband is switched on system-wide (false
    // when the system's network service has it off); RadioStateChange says when it changes.
    virtual bool RadioEnabled() const { return true; }

Q_SIGNALS:
    // The signal strength of an interface changed; GetSignalStrength gives the new value.
    void SignalStateChange(const QString& InterfaceID);
    // Registration, operator or access technology changed; GetRegistration gives the new values.
    void RegisterStateChange(const QString& InterfaceID);
    void ConnectComplete(const QString& InterfaceID, quint32 RequestId, qint32 Status);
    void DisconnectComplete(const QString& InterfaceID, quint32 RequestId, qint32 Status);
    // The activation state changed on its own (e.g. the network dropped the connection).
    void ConnectStateChange(const QString& InterfaceID);
    // A batch of a PDU-mode read; MoreMsgs is true when further batches of the same request follow.
    void SmsReadComplete(const QString& InterfaceID, const QList<Ombrelay::TMbnSmsPdu>& Messages, bool MoreMsgs,
                         quint32 RequestId, qint32 Status);
    // A batch of a message-mode read.
    void SmsMessageReadComplete(const QString& InterfaceID, const QList<Ombrelay::TMbnSmsMessage>& Messages,
                                bool MoreMsgs, quint32 RequestId, qint32 Status);
    void SmsSendComplete(const QString& InterfaceID, quint32 RequestId, qint32 Status);
    void SmsDeleteComplete(const QString& InterfaceID, quint32 RequestId, qint32 Status);
    // A new message reached the store; the device layer finds messages by polling instead.
    void SmsNewMessage(const QString& InterfaceID);
    // An interface came (a modem plugged in, found late, or its stack started): GetInterfaces
    // lists it from now on. A modem that comes back after a removal is announced again.
    void InterfaceArrival(const QString& InterfaceID);
    // An interface went away (unplugged, its stack stopped): calls naming it fail from now on,
    // and completions of its requests still under way may or may not come.
    void InterfaceRemoval(const QString& InterfaceID);

    // USSD
    // The end of an initiate, respond or cancel: the network's answer (none for a cancel) and the
    // session's state after it (a TMbnUssdState value; usUserResponse: the answer asks a question).
    void UssdComplete(const QString& InterfaceID, quint32 RequestId, qint32 Status, const QString& Answer,
                      quint32 State);
    // The network spoke on its own: a notice, or a question (ExpectsResponse) to answer with UssdRespond.
    void UssdNetworkMessage(const QString& InterfaceID, const QString& Text, bool ExpectsResponse);
    // Connection: drops and profile changes.
    // A connection that was up ended without the program asking (the network or the stack ended
    // it); Reason says why in words, empty when the stack does not say. A ConnectStateChange
    // announces the new state as well.
    void ConnectionDropped(const QString& InterfaceID, const QString& Reason);
    // The stored profiles changed (added, removed or edited elsewhere): GetConnectionProfiles
    // gives the new ones.
    void ProfilesChanged();
    // Locked SIM and modem power.
    void DeviceStateChange(const QString& InterfaceID);
    void UnlockComplete(const QString& InterfaceID, quint32 RequestId, qint32 Status);
    void EnableComplete(const QString& InterfaceID, quint32 RequestId, qint32 Status);
    void RadioStateChange();
    // Delivery reports in message mode.
    // The network's message reference of the last part of a whole message sent with
    // SmsSendMessage (RequestId); it comes before that request's SmsSendComplete. The stack
    // submits the parts one after the other, so the earlier parts carry the references before it.
    void SmsSentReference(const QString& InterfaceID, quint32 RequestId, int LastReference);
};

} // namespace Ombrelay
