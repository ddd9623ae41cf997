#pragma once

// One interface of the simulated modem with its connection and SMS facets. It answers through the
// modem: completions and events go into the modem's queue, failures come from its fault table.

#include "platform/MbnPort.h"
#include "platform/sim/SimModem.h"
#include "platform/sim/SimScenario.h"
#include "platform/sim/SimStateFile.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <map>
#include <memory>

namespace Ombrelay
{

// An answer of the simulated network's USSD service. Text is what the network says, as a modem
// would hand it over: plain, or "ucs2:HEX" / "gsm7:HEX" for a modem that gives UCS-2 or packed
// 7-bit octets in hexadecimal. A menu asks a question: the session waits for a response.
struct TSimUssdAnswer
{
    QString Text;
    bool Menu = false;
};

// The service every simulated network offers: "*100#" gives the balance with a menu, whose
// choices ("1", "2", "0") end the session.
QHash<QString, TSimUssdAnswer> DefaultUssdScript();

// One simulated interface: the interface object with its connection and SMS facets.
class TSimInterface : public IMbnInterface,
                      public IMbnConnection,
                      public IMbnSms,
                      public IMbnUssd,
                      public std::enable_shared_from_this<TSimInterface>
{
public:
    TSimInterface(TSimModem& Modem, const TSimInterfaceScenario& Scenario)
        : FModem(Modem)
        , S(Scenario)
        , Signal(Scenario.Signal)
        , Lock(Scenario.Pin.isEmpty() ? TMbnLock::lkNone : TMbnLock::lkSimPin)
        , Pin(Scenario.Pin)
        , Powered(Scenario.Enabled)
    {
        Registration.State = Scenario.Registration;
        if (Scenario.Registration != TMbnRegisterState::rsHome &&
            Scenario.Registration != TMbnRegisterState::rsRoaming) {
            Registration.OperatorName.clear();
            Registration.OperatorCode.clear();
        }
    }

    // IMbnInterface
    QString InterfaceID() const override { return S.InterfaceID; }
    QString Backend() const override { return QStringLiteral("sim"); }
    TMbnResult GetInterfaceCapability(TMbnInterfaceCaps& Caps) override;
    TMbnResult GetConnection(std::shared_ptr<IMbnConnection>& Connection) override;
    TMbnResult GetSignalStrength(quint32& SignalStrength) override;
    TMbnResult GetSms(std::shared_ptr<IMbnSms>& Sms) override;
    // Read on the usage thread: the counters are atomics, nothing else is touched.
    TMbnResult GetByteCounters(quint64& Received, quint64& Transmitted) override;
    TMbnResult GetRegistration(TMbnRegistration& Registration) override;
    TMbnResult GetUssd(std::shared_ptr<IMbnUssd>& Ussd) override;
    TMbnResult GetLockState(TMbnLockState& Value) override;
    TMbnResult SendPin(const QString& Code, TMbnRequestId& RequestId) override;
    TMbnResult SendPuk(const QString& Code, const QString& NewPin, TMbnRequestId& RequestId) override;
    TMbnResult GetPowered(bool& On) override;
    TMbnResult SetPowered(bool On, TMbnRequestId& RequestId) override;

    // IMbnConnection
    TMbnResult Connect(const QString& ProfileName, TMbnRequestId& RequestId) override;
    TMbnResult Disconnect(TMbnRequestId& RequestId) override;
    TMbnResult GetConnectionState(quint32& Value, QString& ProfileName) override;
    TMbnResult GetIpAddresses(QStringList& IPv4, QStringList& IPv6) override;

    // IMbnSms
    TMbnSmsFormat Format() const override { return S.SmsFormat; }

    TMbnResult SmsRead(TMbnRequestId& RequestId) override;
    TMbnResult SmsSendPdu(const QString& PduData, quint32 Size, TMbnRequestId& RequestId) override;
    TMbnResult SmsDelete(TMbnRequestId& RequestId) override;
    TMbnResult SmsDeleteIndex(quint32 Index, TMbnRequestId& RequestId) override;
    TMbnResult SmsReadMessages(TMbnRequestId& RequestId) override;
    TMbnResult SmsSendMessage(const QString& Number, const QString& Text, TMbnRequestId& RequestId) override;
    TMbnResult SmsDeleteMessage(const QString& Key, TMbnRequestId& RequestId) override;

    // IMbnUssd (SimUssd.cpp)
    TMbnResult UssdInitiate(const QString& Command, TMbnRequestId& RequestId) override;
    TMbnResult UssdRespond(const QString& Response, TMbnRequestId& RequestId) override;
    TMbnResult UssdCancel(TMbnRequestId& RequestId) override;
    TMbnUssdState UssdState() const override { return UssdSession; }

    // The device side.
    // The stores as they stand, and back again (a state that could not be saved is undone).
    TSimStores Stores() const { return {Store, Messages, NextKey}; }
    void RestoreStores(const TSimStores& Value)
    {
        Store = Value.Pdus;
        Messages = Value.Messages;
        NextKey = Value.NextKey;
    }
    int StoredCount() const { return S.SmsFormat == TMbnSmsFormat::sfPdu ? int(Store.size()) : int(Messages.size()); }
    quint32 AddPdu(const QString& Pdu);
    void AddMessage(TMbnSmsMessage Message);
    bool HasProfile(const QString& Name) const;
    void SetState(quint32 Value);
    void SetStateNow(quint32 Value);
    void Post(std::function<void()> Event) { FModem.Post(std::move(Event)); }

    template <class T, class Emit>
    void PostBatches(TMbnRequestId Id, const QList<T>& All, const char* CompleteOp, Emit EmitBatch);

    template <class Action>
    TMbnResult PostDelete(TMbnRequestId& RequestId, Action Do);

    TSimModem& FModem;
    TSimInterfaceScenario S;
    quint32 Signal;
    // Whether the device is there for the port; an unplugged one keeps its store (as a SIM does)
    // and takes deliveries from the device side, but the port neither lists nor serves it.
    bool Plugged = true;
    // Registered at home with a test network (MCC 001, MNC 01) on LTE until told otherwise.
    TMbnRegistration Registration{TMbnRegisterState::rsHome, QStringLiteral("Ombrelay Mobile"), QStringLiteral("00101"),
                                  TMbnAccessTech::atLte};
    // The SIM's lock: wrong PINs count down to the PUK, wrong PUKs to a blocked SIM.
    static constexpr int kPinAttempts = 3;
    static constexpr int kPukAttempts = 10;
    // The status of a wrong PIN or PUK (a backend's own code; the attempts left say the rest).
    static constexpr TMbnResult kWrongCode = mrBackendBase - 1;
    TMbnLock Lock = TMbnLock::lkNone;
    QString Pin;
    QString Puk = QStringLiteral("12345678");
    int PinAttempts = kPinAttempts;
    int PukAttempts = kPukAttempts;
    bool Powered = true;
    // Neither locked nor off: the modem registers, reads and sends.
    bool Ready() const { return Plugged && Lock == TMbnLock::lkNone && Powered; }
    void SwitchPower(bool On);
    quint32 State = masDeactivated;
    // Counts connects: a delayed completion of an earlier one (cancelled meanwhile) finds a newer
    // connect under way and leaves it alone.
    quint64 ConnectAttempt = 0;
    QString Profile;
    std::map<quint32, QString> Store;
    QList<TMbnSmsMessage> Messages;
    quint64 NextKey = 0;
    QStringList Sent;
    QList<TSimSentMessage> SentMessages;
    // The network's USSD service: what it answers to each code or menu choice.
    QHash<QString, TSimUssdAnswer> UssdScript = DefaultUssdScript();
    TMbnUssdState UssdSession = TMbnUssdState::usIdle;
    // Counts sessions ended by a cancel: an answer still on its way to one of them is dropped.
    quint64 UssdCancels = 0;
    std::atomic<quint64> Rx{0};
    std::atomic<quint64> Tx{0};
};

} // namespace Ombrelay
