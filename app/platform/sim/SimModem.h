#pragma once

// The simulated modem: a backend of the platform port that behaves like a device. It answers
// every request later, from the event loop, after a small delay; reads come in batches; connect
// and disconnect pass through connecting and disconnecting; its message store has a capacity
// and, with a state file, outlives the program the way a modem's memory does.
//
// Beside the port it has a device-side face, used by the control channel and by tests: the
// network delivering messages, the signal changing, the connection dropping, traffic flowing,
// and failures injected per operation.

#include "platform/MbnPort.h"
#include "platform/sim/SimFaults.h"
#include "platform/sim/SimScenario.h"
#include "platform/sim/SimStateFile.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

namespace Ombrelay
{

class TSimInterface;

// A whole message the stack was asked to send in message mode.
struct TSimSentMessage
{
    QString Number;
    QString Text;
};

class TSimModem : public IMbnInterfaceManager
{
    Q_OBJECT

public:
    // With StateFile set, the stores are read from it when it exists (instead of the scenario's
    // initial messages) and every change is recorded in it before it is answered. A state file that
    // cannot be read raises EOmbrelayError and is left as it is.
    explicit TSimModem(const TSimScenario& Scenario = TSimScenario::Default(), const QString& StateFile = QString(),
                       QObject* Parent = nullptr);
    ~TSimModem() override;

    // The port.
    QString Name() const override { return QStringLiteral("sim"); }
    TMbnResult GetInterfaces(QList<std::shared_ptr<IMbnInterface>>& Interfaces) override;
    TMbnResult GetInterface(const QString& InterfaceID, std::shared_ptr<IMbnInterface>& Interface) override;
    TMbnResult CreateProfileManager(std::shared_ptr<IMbnConnectionProfileManager>& ProfileManager) override;
    QString ErrorText(TMbnResult Code) const override;

    // The device side. Calls naming an interface that does not exist raise EOmbrelayError.
    QStringList InterfaceIDs() const;
    // The network delivers a message: in PDU mode its SMS-DELIVER PDUs (several for a long text)
    // enter the store; in message mode the whole message does. Returns the number of entries
    // stored. Raises when the store has no room for all of them (then none is stored).
    int Deliver(const QString& InterfaceID, const QString& Number, const QString& Text,
                const QDateTime& TimeStamp = QDateTime());
    // One PDU enters the store as it stands (PDU mode only); returns its storage index.
    quint32 DeliverPdu(const QString& InterfaceID, const QString& Pdu);
    // The service centre reports on the most recent part sent with the message reference
    // MessageRef: a status report (SimReportStatus of Outcome) enters the store as a PDU (PDU
    // mode only). Returns its storage index; raises when no sent part has the reference.
    quint32 Report(const QString& InterfaceID, int MessageRef, const QString& Outcome);
    int StoredCount(const QString& InterfaceID) const;
    // Every PDU the device has sent, in order (in message mode, the SUBMIT PDUs it made of each message).
    QStringList SentPdus(const QString& InterfaceID) const;
    QList<TSimSentMessage> SentMessages(const QString& InterfaceID) const;
    void SetSignal(const QString& InterfaceID, quint32 Value);
    // "connected", "connecting", "disconnecting", "disconnected" or "unknown".
    QString StateName(const QString& InterfaceID) const;
    // The network drops the connection; a connection that was up is announced as dropped with
    // Reason (a default text when empty).
    void Drop(const QString& InterfaceID, const QString& Reason = QString());
    // How long the interface's connects stay connecting from now on (a slow network).
    void SetConnectDelay(const QString& InterfaceID, int Ms);
    // The device reports this raw activation state from now on (also values a stack should not
    // report, such as 0 or 7), and announces a state change.
    void SetActivationState(const QString& InterfaceID, quint32 State);
    void AddTraffic(const QString& InterfaceID, quint64 Rx, quint64 Tx);
    // The device is plugged in: the port lists it again and announces it. A name the modem
    // does not know yet becomes a new interface made like the scenario's first one, with an
    // empty store. Its byte counters start again at zero, as a device's do after power-on.
    // Raises when it is plugged in already.
    void Plug(const QString& InterfaceID);
    // The device is pulled out: a connection ends, the port forgets it and announces that. Its
    // store stays (on the SIM) and still takes deliveries. Raises when it is not plugged in.
    void Unplug(const QString& InterfaceID);
    bool IsPlugged(const QString& InterfaceID) const;
    // The network registration changes; Operator, when given, is the network's name (a network
    // of that name with the test code 00101). Searching, denied and not registered have no
    // operator. Announced as a registration change.
    void SetRegistration(const QString& InterfaceID, TMbnRegisterState State, const QString& Operator = QString());
    void SetAccessTech(const QString& InterfaceID, TMbnAccessTech Tech);
    TMbnRegistration Registration(const QString& InterfaceID) const;
    // USSD: the network's service answers Code (a code, or a menu choice in a session) with
    // Answer (see TSimUssdAnswer) from now on.
    void SetUssdAnswer(const QString& InterfaceID, const QString& Code, const QString& Answer, bool Menu);
    // The network speaks on its own: a notice, or with Request a question that opens a session
    // waiting for a response.
    void UssdFromNetwork(const QString& InterfaceID, const QString& Text, bool Request);
    // Locked SIM and modem power, device side. SetPin locks the SIM with Pin (and Puk for after
    // three wrong PINs): it asks for the PIN from now on, as after a power-on. SwitchPower turns
    // the modem on or off as another program would. Both are announced as a device state change.
    void SetPin(const QString& InterfaceID, const QString& Pin, const QString& Puk = QString());
    void SwitchPower(const QString& InterfaceID, bool On);
    TMbnLockState LockState(const QString& InterfaceID) const;
    bool IsPowered(const QString& InterfaceID) const;
    // An interface's activation state changed (called by the interface).
    void StateChanged();

    // The next Count calls of Operation fail. Operation is a port call (SmsRead, Connect, ...)
    // or a completion (SmsReadComplete, ConnectComplete, ...), whose status then reports the
    // failure. Letter case is ignored. Raises for an unknown name.
    void Fail(const QString& Operation, int Count);
    // The next Count requests of a completing operation (e.g. SmsRead) are accepted but their
    // completion never comes, as with a device that hangs.
    void Lose(const QString& Operation, int Count);
    static QStringList OperationNames();

    // Messages per read completion, for every interface.
    void SetReadBatch(int Value);
    void SetDelay(int Ms) { FDelayMs = Ms; }
    int Delay() const { return FDelayMs; }
    // Delivers completions inside the call that starts them: breaks the port's promise on
    // purpose, to show that the device layer survives a stack that re-enters it.
    void SetCompleteInsideCall(bool Value) { FCompleteInsideCall = Value; }
    // Completions and events not yet delivered.
    int PendingEvents() const { return int(FQueue.size()); }
    // How many connections listen to the modem's completions and events (a stack would count
    // its subscribers the same way).
    int Listeners() const;
    // The same for the lock and power events and completions.
    int DeviceStateListeners() const;

    // Used by the interface objects.
    bool TakeFailure(const char* Operation);
    bool TakeLoss(const char* Operation);
    TMbnRequestId NextRequestId() { return ++FLastRequestId; }
    // Runs Event after the delay, in order with every other posted event. Quick: without the
    // delay when nothing else is waiting (from the event loop all the same).
    void Post(std::function<void()> Event, bool Quick = false);
    // Writes the stores to the state file whole; raises EOmbrelayError when it cannot.
    void SaveState();
    // Records changes already made to the stores in the state file, flushed before it returns;
    // raises EOmbrelayError when it cannot (the caller undoes them).
    void Record(const QList<TSimChange>& Changes);
    // The same from inside an event, where there is nobody to raise to: a warning instead.
    void TryRecord(const QList<TSimChange>& Changes);
    TSimInterface* Find(const QString& InterfaceID) const;
    TSimInterface* Get(const QString& InterfaceID) const; // raises when missing

private:
    void RunNext();
    void LoadState();

    QList<std::shared_ptr<TSimInterface>> FInterfaces;
    // What a new interface plugged in by name is made like.
    TSimInterfaceScenario FTemplate;
    TSimStateFile FStateFile;
    int FDelayMs;
    bool FCompleteInsideCall = false;
    TMbnRequestId FLastRequestId = 0;
    TSimFaults FFaults;
    std::deque<std::function<void()>> FQueue;
    QTimer FQueueTimer;
    QTimer FTrafficTimer;
};

} // namespace Ombrelay
