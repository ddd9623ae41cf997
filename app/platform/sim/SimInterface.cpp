#include "platform/sim/SimInterface.h"

#include "sms/MBException.h"
#include "sms/SMS.h"

#include <QTimer>

namespace Ombrelay
{

template <class T, class Emit>
void TSimInterface::PostBatches(TMbnRequestId Id, const QList<T>& All, const char* CompleteOp, Emit EmitBatch)
{
    const int batch = qMax(1, S.ReadBatch);
    qsizetype at = 0;
    do {
        QList<T> part = All.mid(at, batch);
        at += part.size();
        const bool more = at < All.size();
        if (FModem.TakeFailure(CompleteOp)) {
            // A failed completion ends the read.
            Post([EmitBatch, Id] { EmitBatch(QList<T>(), false, Id, mrFailed); });
            return;
        }
        // Reading an empty store costs the device nothing: its answer comes in the same turn of
        // the event loop (still never inside the call), not one wake-up later.
        FModem.Post([EmitBatch, part, more, Id] { EmitBatch(part, more, Id, mrOk); }, All.isEmpty());
    } while (at < All.size());
}

template <class Action>
TMbnResult TSimInterface::PostDelete(TMbnRequestId& RequestId, Action Do)
{
    RequestId = FModem.NextRequestId();
    const TMbnRequestId id = RequestId;
    const bool fail = FModem.TakeFailure("SmsDeleteComplete");
    if (FModem.TakeLoss("SmsDelete")) {
        return mrOk;
    }
    Post([this, id, fail, Do] {
        TMbnResult status = mrFailed;
        if (!fail) {
            status = Do();
        }
        Q_EMIT FModem.SmsDeleteComplete(S.InterfaceID, id, status);
    });
    return mrOk;
}

TMbnResult TSimInterface::GetInterfaceCapability(TMbnInterfaceCaps& Caps)
{
    if (!Plugged) {
        return mrNotFound;
    }
    if (FModem.TakeFailure("GetInterfaceCapability")) {
        return mrFailed;
    }
    Caps = S.Caps;
    return mrOk;
}

TMbnResult TSimInterface::GetConnection(std::shared_ptr<IMbnConnection>& Connection)
{
    if (!Plugged) {
        return mrNotFound;
    }
    if (FModem.TakeFailure("GetConnection")) {
        return mrFailed;
    }
    Connection = std::shared_ptr<IMbnConnection>(shared_from_this(), static_cast<IMbnConnection*>(this));
    return mrOk;
}

TMbnResult TSimInterface::GetSignalStrength(quint32& SignalStrength)
{
    if (!Plugged) {
        return mrNotFound;
    }
    if (FModem.TakeFailure("GetSignalStrength")) {
        return mrFailed;
    }
    SignalStrength = Signal;
    return mrOk;
}

TMbnResult TSimInterface::GetSms(std::shared_ptr<IMbnSms>& Sms)
{
    if (!Plugged) {
        return mrNotFound;
    }
    if (FModem.TakeFailure("GetSms")) {
        return mrFailed;
    }
    if ((S.Caps.smsCaps & 0xF) == 0) {
        return mrNotSupported;
    }
    Sms = std::shared_ptr<IMbnSms>(shared_from_this(), static_cast<IMbnSms*>(this));
    return mrOk;
}

TMbnResult TSimInterface::GetByteCounters(quint64& Received, quint64& Transmitted)
{
    Received = Rx.load();
    Transmitted = Tx.load();
    return mrOk;
}

TMbnResult TSimInterface::GetRegistration(TMbnRegistration& Value)
{
    if (!Plugged) {
        return mrNotFound;
    }
    if (FModem.TakeFailure("GetRegistration")) {
        return mrFailed;
    }
    Value = Registration;
    if (!Ready()) {
        // Locked or off, the modem does not look for a network.
        Value = {TMbnRegisterState::rsNotRegistered, QString(), QString(), TMbnAccessTech::atUnknown};
    }
    return mrOk;
}

TMbnResult TSimInterface::Connect(const QString& ProfileName, TMbnRequestId& RequestId)
{
    if (!Plugged) {
        return mrNotFound;
    }
    if (FModem.TakeFailure("Connect")) {
        return mrFailed;
    }
    RequestId = FModem.NextRequestId();
    const TMbnRequestId id = RequestId;
    TMbnResult status = mrOk;
    if (FModem.TakeFailure("ConnectComplete")) {
        status = mrFailed;
    } else if (!HasProfile(ProfileName)) {
        status = mrNotFound;
    } else if (!Ready() || (Registration.State != TMbnRegisterState::rsHome &&
                            Registration.State != TMbnRegisterState::rsRoaming)) {
        // No network to attach to.
        status = mrNotRegistered;
    }
    const bool lose = FModem.TakeLoss("Connect");
    if (State == masActivated) {
        if (!lose) {
            Post([this, id] { Q_EMIT FModem.ConnectComplete(S.InterfaceID, id, mrOk); });
        }
        return mrOk;
    }
    SetState(masActivating);
    const quint64 attempt = ++ConnectAttempt;
    if (lose) {
        return mrOk;
    }
    auto complete = [this, id, status, ProfileName, attempt] {
        if (State != masActivating || attempt != ConnectAttempt) {
            // Dropped, disconnected or cancelled meanwhile.
            Q_EMIT FModem.ConnectComplete(S.InterfaceID, id, mrFailed);
            return;
        }
        if (MbnSucceeded(status)) {
            Profile = ProfileName;
            SetStateNow(masActivated);
        } else {
            SetStateNow(masDeactivated);
        }
        Q_EMIT FModem.ConnectComplete(S.InterfaceID, id, status);
    };
    if (S.ConnectDelayMs > 0) {
        // A slow network: the completion joins the queue only later, so other events go on meanwhile.
        QTimer::singleShot(S.ConnectDelayMs, &FModem, [this, complete] { Post(complete); });
    } else {
        Post(complete);
    }
    return mrOk;
}

TMbnResult TSimInterface::Disconnect(TMbnRequestId& RequestId)
{
    if (!Plugged) {
        return mrNotFound;
    }
    if (FModem.TakeFailure("Disconnect")) {
        return mrFailed;
    }
    RequestId = FModem.NextRequestId();
    const TMbnRequestId id = RequestId;
    const TMbnResult status = FModem.TakeFailure("DisconnectComplete") ? mrFailed : mrOk;
    const bool lose = FModem.TakeLoss("Disconnect");
    if (State == masDeactivated || State == masNone) {
        if (!lose) {
            Post([this, id] { Q_EMIT FModem.DisconnectComplete(S.InterfaceID, id, mrOk); });
        }
        return mrOk;
    }
    const quint32 before = State;
    SetState(masDeactivating);
    if (lose) {
        return mrOk;
    }
    Post([this, id, status, before] {
        // A failed disconnect leaves the connection as it was.
        SetStateNow(MbnSucceeded(status) ? masDeactivated : before);
        Q_EMIT FModem.DisconnectComplete(S.InterfaceID, id, status);
    });
    return mrOk;
}

TMbnResult TSimInterface::GetConnectionState(quint32& Value, QString& ProfileName)
{
    if (!Plugged) {
        return mrNotFound;
    }
    if (FModem.TakeFailure("GetConnectionState")) {
        return mrFailed;
    }
    Value = State;
    ProfileName = State == masActivated ? Profile : QString();
    return mrOk;
}

TMbnResult TSimInterface::GetIpAddresses(QStringList& IPv4, QStringList& IPv6)
{
    IPv4.clear();
    IPv6.clear();
    if (!Plugged) {
        return mrNotFound;
    }
    if (State == masActivated) {
        // Addresses of the ranges kept for documentation: nothing routes to them.
        IPv4 << QStringLiteral("192.0.2.10");
        IPv6 << QStringLiteral("2001:db8::10");
    }
    return mrOk;
}

TMbnResult TSimInterface::SmsRead(TMbnRequestId& RequestId)
{
    if (!Plugged) {
        return mrNotFound;
    }
    if (!Ready()) {
        // A locked SIM or a modem that is off keeps its store shut.
        return mrBusy;
    }
    if (FModem.TakeFailure("SmsRead")) {
        return mrFailed;
    }
    if (S.SmsFormat != TMbnSmsFormat::sfPdu) {
        return mrNotSupported;
    }
    RequestId = FModem.NextRequestId();
    if (FModem.TakeLoss("SmsRead")) {
        return mrOk;
    }
    // The read answers with what the store holds now; later arrivals wait for the next read.
    QList<TMbnSmsPdu> all;
    for (const auto& [index, pdu] : Store) {
        all << TMbnSmsPdu{index, pdu};
    }
    PostBatches<TMbnSmsPdu>(RequestId, all, "SmsReadComplete",
                            [this](const QList<TMbnSmsPdu>& Batch, bool More, TMbnRequestId Id, TMbnResult St) {
                                Q_EMIT FModem.SmsReadComplete(S.InterfaceID, Batch, More, Id, St);
                            });
    return mrOk;
}

TMbnResult TSimInterface::SmsSendPdu(const QString& PduData, quint32 Size, TMbnRequestId& RequestId)
{
    if (!Plugged) {
        return mrNotFound;
    }
    if (!Ready()) {
        // A locked SIM or a modem that is off keeps its store shut.
        return mrBusy;
    }
    if (FModem.TakeFailure("SmsSendPdu")) {
        return mrFailed;
    }
    if (S.SmsFormat != TMbnSmsFormat::sfPdu || !(S.Caps.smsCaps & mscPduSend)) {
        return mrNotSupported;
    }
    if (!IsPduText(PduData) || Size != quint32(PduData.size() / 2)) {
        return mrInvalidArgument;
    }
    RequestId = FModem.NextRequestId();
    const TMbnRequestId id = RequestId;
    const TMbnResult status = FModem.TakeFailure("SmsSendComplete") ? mrFailed : mrOk;
    if (FModem.TakeLoss("SmsSendPdu")) {
        return mrOk;
    }
    Post([this, id, status, PduData] {
        if (MbnSucceeded(status)) {
            Sent << PduData;
        }
        Q_EMIT FModem.SmsSendComplete(S.InterfaceID, id, status);
        if (MbnSucceeded(status) && !S.StatusReports.isEmpty()) {
            TSmsRecv part;
            try {
                part.DecodePdu(PduData);
            } catch (const EMBException&) {
                return;
            }
            // TP-SRR: the part asked for a report. The service centre answers a little later.
            const QByteArray octets = QByteArray::fromHex(PduData.toLatin1());
            const qsizetype first = 1 + qsizetype(quint8(octets.at(0)));
            const bool asked = first < octets.size() && (quint8(octets.at(first)) & 0x20) != 0;
            if (asked) {
                const int reference = part.MessageRef();
                Post([this, reference] {
                    try {
                        FModem.Report(S.InterfaceID, reference, S.StatusReports);
                    } catch (const EOmbrelayError& e) {
                        qWarning("Simulated modem: no status report: %s", qPrintable(e.Message()));
                    }
                });
            }
        }
    });
    return mrOk;
}

TMbnResult TSimInterface::SmsDelete(TMbnRequestId& RequestId)
{
    if (!Plugged) {
        return mrNotFound;
    }
    if (!Ready()) {
        // A locked SIM or a modem that is off keeps its store shut.
        return mrBusy;
    }
    if (FModem.TakeFailure("SmsDelete")) {
        return mrFailed;
    }
    return PostDelete(RequestId, [this] {
        Store.clear();
        Messages.clear();
        TSimChange change;
        change.InterfaceID = S.InterfaceID;
        FModem.TryRecord({change});
        return mrOk;
    });
}

TMbnResult TSimInterface::SmsDeleteIndex(quint32 Index, TMbnRequestId& RequestId)
{
    if (!Plugged) {
        return mrNotFound;
    }
    if (!Ready()) {
        // A locked SIM or a modem that is off keeps its store shut.
        return mrBusy;
    }
    if (FModem.TakeFailure("SmsDeleteIndex")) {
        return mrFailed;
    }
    if (S.SmsFormat != TMbnSmsFormat::sfPdu) {
        return mrNotSupported;
    }
    return PostDelete(RequestId, [this, Index] {
        if (!Store.erase(Index)) {
            return mrNotFound;
        }
        TSimChange change;
        change.Kind = TSimChange::RemovePdu;
        change.InterfaceID = S.InterfaceID;
        change.Index = Index;
        FModem.TryRecord({change});
        return mrOk;
    });
}

TMbnResult TSimInterface::SmsReadMessages(TMbnRequestId& RequestId)
{
    if (!Plugged) {
        return mrNotFound;
    }
    if (!Ready()) {
        // A locked SIM or a modem that is off keeps its store shut.
        return mrBusy;
    }
    if (FModem.TakeFailure("SmsReadMessages")) {
        return mrFailed;
    }
    if (S.SmsFormat != TMbnSmsFormat::sfMessage) {
        return mrNotSupported;
    }
    RequestId = FModem.NextRequestId();
    if (FModem.TakeLoss("SmsReadMessages")) {
        return mrOk;
    }
    PostBatches<TMbnSmsMessage>(RequestId, Messages, "SmsMessageReadComplete",
                                [this](const QList<TMbnSmsMessage>& Batch, bool More, TMbnRequestId Id, TMbnResult St) {
                                    Q_EMIT FModem.SmsMessageReadComplete(S.InterfaceID, Batch, More, Id, St);
                                });
    return mrOk;
}

TMbnResult TSimInterface::SmsSendMessage(const QString& Number, const QString& Text, TMbnRequestId& RequestId)
{
    if (!Plugged) {
        return mrNotFound;
    }
    if (!Ready()) {
        // A locked SIM or a modem that is off keeps its store shut.
        return mrBusy;
    }
    if (FModem.TakeFailure("SmsSendMessage")) {
        return mrFailed;
    }
    if (S.SmsFormat != TMbnSmsFormat::sfMessage || !(S.Caps.smsCaps & mscTextSend)) {
        return mrNotSupported;
    }
    if (Number.isEmpty() || Text.isEmpty()) {
        return mrInvalidArgument;
    }
    RequestId = FModem.NextRequestId();
    const TMbnRequestId id = RequestId;
    const TMbnResult status = FModem.TakeFailure("SmsSendComplete") ? mrFailed : mrOk;
    if (FModem.TakeLoss("SmsSendMessage")) {
        return mrOk;
    }
    Post([this, id, status, Number, Text] {
        if (MbnSucceeded(status)) {
            SentMessages << TSimSentMessage{Number, Text};
            // The stack splits the message itself; these are the PDUs that went out.
            TSmsSend send;
            send.SetTarget(Number);
            send.SetText(Text);
            Sent << send.EncodePdu();
        }
        Q_EMIT FModem.SmsSendComplete(S.InterfaceID, id, status);
    });
    return mrOk;
}

TMbnResult TSimInterface::SmsDeleteMessage(const QString& Key, TMbnRequestId& RequestId)
{
    if (!Plugged) {
        return mrNotFound;
    }
    if (!Ready()) {
        // A locked SIM or a modem that is off keeps its store shut.
        return mrBusy;
    }
    if (FModem.TakeFailure("SmsDeleteMessage")) {
        return mrFailed;
    }
    if (S.SmsFormat != TMbnSmsFormat::sfMessage) {
        return mrNotSupported;
    }
    return PostDelete(RequestId, [this, Key] {
        for (qsizetype i = 0; i < Messages.size(); ++i) {
            if (Messages[i].Key == Key) {
                Messages.removeAt(i);
                TSimChange change;
                change.Kind = TSimChange::RemoveMessage;
                change.InterfaceID = S.InterfaceID;
                change.Message.Key = Key;
                FModem.TryRecord({change});
                return mrOk;
            }
        }
        return mrNotFound;
    });
}

quint32 TSimInterface::AddPdu(const QString& Pdu)
{
    // The lowest free index, as a modem hands them out; a store without gaps (the usual case)
    // answers at once.
    quint32 index = 0;
    if (!Store.empty() && Store.rbegin()->first == quint32(Store.size() - 1)) {
        index = quint32(Store.size());
    } else {
        for (const auto& entry : Store) {
            if (entry.first != index) {
                break;
            }
            ++index;
        }
    }
    Store[index] = Pdu;
    return index;
}

void TSimInterface::AddMessage(TMbnSmsMessage Message)
{
    Message.Key = QStringLiteral("m%1").arg(++NextKey);
    Messages << Message;
}

bool TSimInterface::HasProfile(const QString& Name) const
{
    for (const QString& xml : S.Profiles) {
        // The stack finds a profile by its name element.
        const QString tag = QStringLiteral("<Name>%1</Name>").arg(Name.toHtmlEscaped());
        if (xml.contains(tag)) {
            return true;
        }
    }
    return false;
}

void TSimInterface::SetState(quint32 Value)
{
    State = Value;
    FModem.StateChanged();
    Post([this] { Q_EMIT FModem.ConnectStateChange(S.InterfaceID); });
}

void TSimInterface::SetStateNow(quint32 Value)
{
    State = Value;
    FModem.StateChanged();
    Q_EMIT FModem.ConnectStateChange(S.InterfaceID);
}

// Locked SIM and modem power

TMbnResult TSimInterface::GetLockState(TMbnLockState& Value)
{
    if (!Plugged) {
        return mrNotFound;
    }
    if (FModem.TakeFailure("GetLockState")) {
        return mrFailed;
    }
    Value.Lock = Lock;
    Value.AttemptsLeft = Lock == TMbnLock::lkSimPin ? PinAttempts : Lock == TMbnLock::lkSimPuk ? PukAttempts : -1;
    return mrOk;
}

TMbnResult TSimInterface::SendPin(const QString& Code, TMbnRequestId& RequestId)
{
    if (!Plugged) {
        return mrNotFound;
    }
    if (FModem.TakeFailure("SendPin")) {
        return mrFailed;
    }
    if (Lock != TMbnLock::lkSimPin) {
        // The SIM asks for something else (or nothing): the PIN is not even tried.
        return Lock == TMbnLock::lkNone ? mrInvalidArgument : mrBusy;
    }
    RequestId = FModem.NextRequestId();
    const TMbnRequestId id = RequestId;
    TMbnResult status = mrOk;
    if (Code == Pin) {
        Lock = TMbnLock::lkNone;
        PinAttempts = kPinAttempts;
    } else {
        status = kWrongCode;
        if (--PinAttempts <= 0) {
            Lock = TMbnLock::lkSimPuk;
            PinAttempts = 0;
        }
    }
    Post([this, id, status] {
        Q_EMIT FModem.DeviceStateChange(S.InterfaceID);
        Q_EMIT FModem.UnlockComplete(S.InterfaceID, id, status);
    });
    return mrOk;
}

TMbnResult TSimInterface::SendPuk(const QString& Code, const QString& NewPin, TMbnRequestId& RequestId)
{
    if (!Plugged) {
        return mrNotFound;
    }
    if (FModem.TakeFailure("SendPuk")) {
        return mrFailed;
    }
    if (Lock != TMbnLock::lkSimPuk) {
        return Lock == TMbnLock::lkNone ? mrInvalidArgument : mrBusy;
    }
    if (!IsSimCode(NewPin, 4, 8)) {
        return mrInvalidArgument;
    }
    RequestId = FModem.NextRequestId();
    const TMbnRequestId id = RequestId;
    TMbnResult status = mrOk;
    if (Code == Puk) {
        Lock = TMbnLock::lkNone;
        Pin = NewPin;
        PinAttempts = kPinAttempts;
        PukAttempts = kPukAttempts;
    } else {
        status = kWrongCode;
        if (--PukAttempts <= 0) {
            Lock = TMbnLock::lkBlocked;
            PukAttempts = 0;
        }
    }
    Post([this, id, status] {
        Q_EMIT FModem.DeviceStateChange(S.InterfaceID);
        Q_EMIT FModem.UnlockComplete(S.InterfaceID, id, status);
    });
    return mrOk;
}

TMbnResult TSimInterface::GetPowered(bool& On)
{
    if (!Plugged) {
        return mrNotFound;
    }
    On = Powered;
    return mrOk;
}

TMbnResult TSimInterface::SetPowered(bool On, TMbnRequestId& RequestId)
{
    if (!Plugged) {
        return mrNotFound;
    }
    if (FModem.TakeFailure("SetPowered")) {
        return mrFailed;
    }
    RequestId = FModem.NextRequestId();
    const TMbnRequestId id = RequestId;
    const TMbnResult status = FModem.TakeFailure("EnableComplete") ? mrFailed : mrOk;
    Post([this, id, status, On] {
        if (MbnSucceeded(status) && Powered != On) {
            SwitchPower(On);
            Q_EMIT FModem.DeviceStateChange(S.InterfaceID);
        }
        Q_EMIT FModem.EnableComplete(S.InterfaceID, id, status);
    });
    return mrOk;
}

void TSimInterface::SwitchPower(bool On)
{
    Powered = On;
    if (!On && State != masDeactivated) {
        // Switching off ends the connection.
        SetStateNow(masDeactivated);
    }
}

} // namespace Ombrelay
