#include "platform/sim/SimModem.h"

#include "base/Errors.h"
#include "sms/SMS.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <tuple>

namespace Ombrelay
{

namespace
{

const char* const kOperations[] = {
    "GetInterfaces",
    "GetInterface",
    "GetInterfaceCapability",
    "GetConnection",
    "GetConnectionState",
    "GetSignalStrength",
    "GetSms",
    "GetConnectionProfiles",
    "CreateProfileManager",
    "Connect",
    "Disconnect",
    "SmsRead",
    "SmsSendPdu",
    "SmsDelete",
    "SmsDeleteIndex",
    "SmsReadMessages",
    "SmsSendMessage",
    "SmsDeleteMessage",
    "ConnectComplete",
    "DisconnectComplete",
    "SmsReadComplete",
    "SmsMessageReadComplete",
    "SmsSendComplete",
    "SmsDeleteComplete",
};

bool IsPduText(const QString& Text)
{
    if (Text.isEmpty() || Text.size() % 2 != 0) {
        return false;
    }
    for (QChar ch : Text) {
        char16_t c = ch.unicode();
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) {
            return false;
        }
    }
    return true;
}

} // namespace

// One simulated interface: the interface object with its connection and SMS facets.
class TSimInterface : public IMbnInterface,
                      public IMbnConnection,
                      public IMbnSms,
                      public std::enable_shared_from_this<TSimInterface>
{
public:
    TSimInterface(TSimModem& Modem, const TSimInterfaceScenario& Scenario)
        : FModem(Modem)
        , S(Scenario)
        , Signal(Scenario.Signal)
    {
    }

    // IMbnInterface
    QString InterfaceID() const override { return S.InterfaceID; }
    QString Backend() const override { return QStringLiteral("sim"); }
    TMbnResult GetInterfaceCapability(TMbnInterfaceCaps& Caps) override
    {
        if (FModem.TakeFailure("GetInterfaceCapability")) {
            return mrFailed;
        }
        Caps = S.Caps;
        return mrOk;
    }
    TMbnResult GetConnection(std::shared_ptr<IMbnConnection>& Connection) override
    {
        if (FModem.TakeFailure("GetConnection")) {
            return mrFailed;
        }
        Connection = std::shared_ptr<IMbnConnection>(shared_from_this(), static_cast<IMbnConnection*>(this));
        return mrOk;
    }
    TMbnResult GetSignalStrength(quint32& SignalStrength) override
    {
        if (FModem.TakeFailure("GetSignalStrength")) {
            return mrFailed;
        }
        SignalStrength = Signal;
        return mrOk;
    }
    TMbnResult GetSms(std::shared_ptr<IMbnSms>& Sms) override
    {
        if (FModem.TakeFailure("GetSms")) {
            return mrFailed;
        }
        if ((S.Caps.smsCaps & 0xF) == 0) {
            return mrNotSupported;
        }
        Sms = std::shared_ptr<IMbnSms>(shared_from_this(), static_cast<IMbnSms*>(this));
        return mrOk;
    }
    // Read on the usage thread: the counters are atomics, nothing else is touched.
    TMbnResult GetByteCounters(quint64& Received, quint64& Transmitted) override
    {
        Received = Rx.load();
        Transmitted = Tx.load();
        return mrOk;
    }

    // IMbnConnection
    TMbnResult Connect(const QString& ProfileName, TMbnRequestId& RequestId) override
    {
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
        }
        const bool lose = FModem.TakeLoss("Connect");
        if (State == masActivated) {
            if (!lose) {
                Post([this, id] { Q_EMIT FModem.ConnectComplete(S.InterfaceID, id, mrOk); });
            }
            return mrOk;
        }
        SetState(masActivating);
        if (lose) {
            return mrOk;
        }
        Post([this, id, status, ProfileName] {
            if (State != masActivating) {
                // Dropped or disconnected meanwhile.
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
        });
        return mrOk;
    }
    TMbnResult Disconnect(TMbnRequestId& RequestId) override
    {
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
    TMbnResult GetConnectionState(quint32& Value, QString& ProfileName) override
    {
        if (FModem.TakeFailure("GetConnectionState")) {
            return mrFailed;
        }
        Value = State;
        ProfileName = State == masActivated ? Profile : QString();
        return mrOk;
    }

    // IMbnSms
    TMbnSmsFormat Format() const override { return S.SmsFormat; }

    TMbnResult SmsRead(TMbnRequestId& RequestId) override
    {
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
    TMbnResult SmsSendPdu(const QString& PduData, quint32 Size, TMbnRequestId& RequestId) override
    {
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
        });
        return mrOk;
    }
    TMbnResult SmsDelete(TMbnRequestId& RequestId) override
    {
        if (FModem.TakeFailure("SmsDelete")) {
            return mrFailed;
        }
        return PostDelete(RequestId, [this] {
            Store.clear();
            Messages.clear();
            return mrOk;
        });
    }
    TMbnResult SmsDeleteIndex(quint32 Index, TMbnRequestId& RequestId) override
    {
        if (FModem.TakeFailure("SmsDeleteIndex")) {
            return mrFailed;
        }
        if (S.SmsFormat != TMbnSmsFormat::sfPdu) {
            return mrNotSupported;
        }
        return PostDelete(RequestId, [this, Index] { return Store.erase(Index) ? mrOk : mrNotFound; });
    }
    TMbnResult SmsReadMessages(TMbnRequestId& RequestId) override
    {
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
                                    [this](const QList<TMbnSmsMessage>& Batch, bool More, TMbnRequestId Id,
                                           TMbnResult St) {
                                        Q_EMIT FModem.SmsMessageReadComplete(S.InterfaceID, Batch, More, Id, St);
                                    });
        return mrOk;
    }
    TMbnResult SmsSendMessage(const QString& Number, const QString& Text, TMbnRequestId& RequestId) override
    {
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
    TMbnResult SmsDeleteMessage(const QString& Key, TMbnRequestId& RequestId) override
    {
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
                    return mrOk;
                }
            }
            return mrNotFound;
        });
    }

    // The device side.
    int StoredCount() const { return S.SmsFormat == TMbnSmsFormat::sfPdu ? int(Store.size()) : int(Messages.size()); }
    quint32 AddPdu(const QString& Pdu)
    {
        quint32 index = 0;
        while (Store.count(index)) {
            ++index;
        }
        Store[index] = Pdu;
        return index;
    }
    void AddMessage(TMbnSmsMessage Message)
    {
        Message.Key = QStringLiteral("m%1").arg(++NextKey);
        Messages << Message;
    }
    bool HasProfile(const QString& Name) const
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
    void SetState(quint32 Value)
    {
        State = Value;
        Post([this] { Q_EMIT FModem.ConnectStateChange(S.InterfaceID); });
    }
    void SetStateNow(quint32 Value)
    {
        State = Value;
        Q_EMIT FModem.ConnectStateChange(S.InterfaceID);
    }
    void Post(std::function<void()> Event) { FModem.Post(std::move(Event)); }

    template <class T, class Emit>
    void PostBatches(TMbnRequestId Id, const QList<T>& All, const char* CompleteOp, Emit EmitBatch)
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
            Post([EmitBatch, part, more, Id] { EmitBatch(part, more, Id, mrOk); });
        } while (at < All.size());
    }

    template <class Action>
    TMbnResult PostDelete(TMbnRequestId& RequestId, Action Do)
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
                FModem.TrySaveState();
            }
            Q_EMIT FModem.SmsDeleteComplete(S.InterfaceID, id, status);
        });
        return mrOk;
    }

    TSimModem& FModem;
    TSimInterfaceScenario S;
    quint32 Signal;
    quint32 State = masDeactivated;
    QString Profile;
    std::map<quint32, QString> Store;
    QList<TMbnSmsMessage> Messages;
    quint64 NextKey = 0;
    QStringList Sent;
    QList<TSimSentMessage> SentMessages;
    std::atomic<quint64> Rx{0};
    std::atomic<quint64> Tx{0};
};

namespace
{

class TSimProfileManager : public IMbnConnectionProfileManager
{
public:
    explicit TSimProfileManager(TSimModem& Modem)
        : FModem(Modem)
    {
    }
    TMbnResult GetConnectionProfiles(const QString& InterfaceID, QStringList& ProfileXml) override
    {
        if (FModem.TakeFailure("GetConnectionProfiles")) {
            return mrFailed;
        }
        TSimInterface* i = FModem.Find(InterfaceID);
        if (!i) {
            return mrNotFound;
        }
        ProfileXml = i->S.Profiles;
        return mrOk;
    }

private:
    TSimModem& FModem;
};

} // namespace

TSimModem::TSimModem(const TSimScenario& Scenario, const QString& StateFile, QObject* Parent)
    : IMbnInterfaceManager(Parent)
    , FStateFile(StateFile)
    , FDelayMs(Scenario.DelayMs)
{
    for (const TSimInterfaceScenario& s : Scenario.Interfaces) {
        auto i = std::make_shared<TSimInterface>(*this, s);
        for (const QString& pdu : s.Pdus) {
            i->AddPdu(pdu);
        }
        for (const TMbnSmsMessage& m : s.Messages) {
            QDateTime ts = m.TimeStamp.isValid() ? m.TimeStamp : QDateTime::currentDateTime();
            if (s.SmsFormat == TMbnSmsFormat::sfMessage) {
                TMbnSmsMessage copy = m;
                copy.TimeStamp = ts;
                i->AddMessage(copy);
            } else {
                for (const QString& pdu : BuildDeliverPdus(m.Number, ts, m.Text)) {
                    i->AddPdu(pdu);
                }
            }
        }
        FInterfaces << i;
    }
    if (!FStateFile.isEmpty()) {
        LoadState();
    }
    FQueueTimer.setSingleShot(true);
    connect(&FQueueTimer, &QTimer::timeout, this, &TSimModem::RunNext);
    // Traffic while connected: a steady trickle, so that usage counting has something to count.
    FTrafficTimer.setInterval(1000);
    connect(&FTrafficTimer, &QTimer::timeout, this, [this] {
        for (const auto& i : FInterfaces) {
            if (i->State == masActivated) {
                i->Rx += 48 * 1024;
                i->Tx += 6 * 1024;
            }
        }
    });
    FTrafficTimer.start();
}

TSimModem::~TSimModem() = default;

TMbnResult TSimModem::GetInterfaces(QList<std::shared_ptr<IMbnInterface>>& Interfaces)
{
    if (TakeFailure("GetInterfaces")) {
        return mrFailed;
    }
    Interfaces.clear();
    for (const auto& i : FInterfaces) {
        Interfaces << std::static_pointer_cast<IMbnInterface>(i);
    }
    return mrOk;
}

TMbnResult TSimModem::GetInterface(const QString& InterfaceID, std::shared_ptr<IMbnInterface>& Interface)
{
    if (TakeFailure("GetInterface")) {
        return mrFailed;
    }
    for (const auto& i : FInterfaces) {
        if (i->S.InterfaceID == InterfaceID) {
            Interface = i;
            return mrOk;
        }
    }
    return mrNotFound;
}

TMbnResult TSimModem::CreateProfileManager(std::shared_ptr<IMbnConnectionProfileManager>& ProfileManager)
{
    if (TakeFailure("CreateProfileManager")) {
        return mrFailed;
    }
    ProfileManager = std::make_shared<TSimProfileManager>(*this);
    return mrOk;
}

QStringList TSimModem::InterfaceIDs() const
{
    QStringList r;
    for (const auto& i : FInterfaces) {
        r << i->S.InterfaceID;
    }
    return r;
}

TSimInterface* TSimModem::Find(const QString& InterfaceID) const
{
    for (const auto& i : FInterfaces) {
        if (i->S.InterfaceID == InterfaceID) {
            return i.get();
        }
    }
    return nullptr;
}

TSimInterface* TSimModem::Get(const QString& InterfaceID) const
{
    TSimInterface* i = Find(InterfaceID);
    if (!i) {
        throw EOmbrelayError(QStringLiteral("no interface %1").arg(InterfaceID));
    }
    return i;
}

// A delivery the state file does not hold is refused whole: an error answer must not leave a
// message in the store that the next start of the program would not find.
template <class TBefore>
static void SaveOrUndo(TSimModem& Modem, TSimInterface* Interface, const TBefore& Before)
{
    try {
        Modem.SaveState();
    } catch (...) {
        std::tie(Interface->Store, Interface->Messages, Interface->NextKey) = Before;
        throw;
    }
}

int TSimModem::Deliver(const QString& InterfaceID, const QString& Number, const QString& Text,
                       const QDateTime& TimeStamp)
{
    TSimInterface* i = Get(InterfaceID);
    if (Number.isEmpty()) {
        throw EOmbrelayError(QStringLiteral("no sender number"));
    }
    const QDateTime ts = TimeStamp.isValid() ? TimeStamp : QDateTime::currentDateTime();
    if (i->S.SmsFormat == TMbnSmsFormat::sfMessage) {
        if (i->StoredCount() + 1 > i->S.Capacity) {
            throw EOmbrelayError(QStringLiteral("message store of %1 is full").arg(InterfaceID));
        }
        const auto before = std::make_tuple(i->Store, i->Messages, i->NextKey);
        i->AddMessage(TMbnSmsMessage{QString(), Number, ts, Text});
        SaveOrUndo(*this, i, before);
        Post([this, InterfaceID] { Q_EMIT SmsNewMessage(InterfaceID); });
        return 1;
    }
    const QStringList pdus = BuildDeliverPdus(Number, ts, Text);
    if (i->StoredCount() + pdus.size() > i->S.Capacity) {
        throw EOmbrelayError(QStringLiteral("message store of %1 is full").arg(InterfaceID));
    }
    const auto before = std::make_tuple(i->Store, i->Messages, i->NextKey);
    for (const QString& pdu : pdus) {
        i->AddPdu(pdu);
    }
    SaveOrUndo(*this, i, before);
    Post([this, InterfaceID] { Q_EMIT SmsNewMessage(InterfaceID); });
    return int(pdus.size());
}

quint32 TSimModem::DeliverPdu(const QString& InterfaceID, const QString& Pdu)
{
    TSimInterface* i = Get(InterfaceID);
    if (i->S.SmsFormat != TMbnSmsFormat::sfPdu) {
        throw EOmbrelayError(QStringLiteral("%1 takes whole messages, not PDUs").arg(InterfaceID));
    }
    if (!IsPduText(Pdu)) {
        throw EOmbrelayError(QStringLiteral("not PDU text (whole octets in hexadecimal): %1").arg(Pdu));
    }
    if (i->StoredCount() + 1 > i->S.Capacity) {
        throw EOmbrelayError(QStringLiteral("message store of %1 is full").arg(InterfaceID));
    }
    const auto before = std::make_tuple(i->Store, i->Messages, i->NextKey);
    const quint32 index = i->AddPdu(Pdu);
    SaveOrUndo(*this, i, before);
    Post([this, InterfaceID] { Q_EMIT SmsNewMessage(InterfaceID); });
    return index;
}

int TSimModem::StoredCount(const QString& InterfaceID) const
{
    return Get(InterfaceID)->StoredCount();
}

QStringList TSimModem::SentPdus(const QString& InterfaceID) const
{
    return Get(InterfaceID)->Sent;
}

QList<TSimSentMessage> TSimModem::SentMessages(const QString& InterfaceID) const
{
    return Get(InterfaceID)->SentMessages;
}

void TSimModem::SetSignal(const QString& InterfaceID, quint32 Value)
{
    TSimInterface* i = Get(InterfaceID);
    i->Signal = Value;
    Post([this, InterfaceID] { Q_EMIT SignalStateChange(InterfaceID); });
}

QString TSimModem::StateName(const QString& InterfaceID) const
{
    switch (Get(InterfaceID)->State) {
    case masActivated:
        return QStringLiteral("connected");
    case masActivating:
        return QStringLiteral("connecting");
    case masDeactivating:
        return QStringLiteral("disconnecting");
    case masDeactivated:
        return QStringLiteral("disconnected");
    default:
        return QStringLiteral("unknown");
    }
}

void TSimModem::Drop(const QString& InterfaceID)
{
    TSimInterface* i = Get(InterfaceID);
    if (i->State != masDeactivated) {
        i->SetState(masDeactivated);
    }
}

void TSimModem::SetActivationState(const QString& InterfaceID, quint32 State)
{
    Get(InterfaceID)->SetState(State);
}

void TSimModem::AddTraffic(const QString& InterfaceID, quint64 Rx, quint64 Tx)
{
    TSimInterface* i = Get(InterfaceID);
    i->Rx += Rx;
    i->Tx += Tx;
}

QStringList TSimModem::OperationNames()
{
    QStringList r;
    for (const char* op : kOperations) {
        r << QLatin1String(op);
    }
    return r;
}

void TSimModem::Fail(const QString& Operation, int Count)
{
    if (!OperationNames().contains(Operation, Qt::CaseInsensitive)) {
        throw EOmbrelayError(QStringLiteral("unknown operation %1").arg(Operation));
    }
    if (Count < 0) {
        throw EOmbrelayError(QStringLiteral("negative count"));
    }
    FFailures[Operation.toLower()] = Count;
}

void TSimModem::Lose(const QString& Operation, int Count)
{
    if (!OperationNames().contains(Operation, Qt::CaseInsensitive)) {
        throw EOmbrelayError(QStringLiteral("unknown operation %1").arg(Operation));
    }
    FLosses[Operation.toLower()] = Count;
}

bool TSimModem::TakeFailure(const char* Operation)
{
    auto it = FFailures.find(QString::fromLatin1(Operation).toLower());
    if (it == FFailures.end() || it.value() <= 0) {
        return false;
    }
    --it.value();
    return true;
}

bool TSimModem::TakeLoss(const char* Operation)
{
    auto it = FLosses.find(QString::fromLatin1(Operation).toLower());
    if (it == FLosses.end() || it.value() <= 0) {
        return false;
    }
    --it.value();
    return true;
}

int TSimModem::Listeners() const
{
    return receivers(SIGNAL(SignalStateChange(QString))) + receivers(SIGNAL(RegisterStateChange(QString))) +
           receivers(SIGNAL(ConnectComplete(QString, quint32, qint32))) +
           receivers(SIGNAL(DisconnectComplete(QString, quint32, qint32))) +
           receivers(SIGNAL(ConnectStateChange(QString))) +
           receivers(SIGNAL(SmsReadComplete(QString, QList<Ombrelay::TMbnSmsPdu>, bool, quint32, qint32))) +
           receivers(SIGNAL(SmsMessageReadComplete(QString, QList<Ombrelay::TMbnSmsMessage>, bool, quint32, qint32))) +
           receivers(SIGNAL(SmsSendComplete(QString, quint32, qint32))) +
           receivers(SIGNAL(SmsDeleteComplete(QString, quint32, qint32))) + receivers(SIGNAL(SmsNewMessage(QString)));
}

void TSimModem::SetReadBatch(int Value)
{
    for (const auto& i : FInterfaces) {
        i->S.ReadBatch = qMax(1, Value);
    }
}

void TSimModem::Post(std::function<void()> Event)
{
    if (FCompleteInsideCall) {
        Event();
        return;
    }
    FQueue.push_back(std::move(Event));
    if (!FQueueTimer.isActive()) {
        FQueueTimer.start(FDelayMs);
    }
}

void TSimModem::RunNext()
{
    if (FQueue.empty()) {
        return;
    }
    std::function<void()> event = std::move(FQueue.front());
    FQueue.pop_front();
    if (!FQueue.empty()) {
        FQueueTimer.start(FDelayMs);
    }
    event();
}

// The state file: {"interfaces": {"ID": {"pdus": [{"index": 0, "pdu": "..."}],
//                                        "messages": [{"key", "number", "time", "text"}], "nextKey": N}}}
void TSimModem::LoadState()
{
    QFile f(FStateFile);
    if (!f.exists()) {
        SaveState();
        return;
    }
    if (!f.open(QIODevice::ReadOnly)) {
        throw EOmbrelayError(
            QStringLiteral("Simulated modem state %1 cannot be read (%2)").arg(FStateFile, f.errorString()));
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &error);
    auto bad = [this](const QString& What) {
        return EOmbrelayError(QStringLiteral("Simulated modem state %1: %2").arg(FStateFile, What));
    };
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        throw bad(QStringLiteral("not a state file (%1)").arg(error.errorString()));
    }
    const QJsonObject ifaces = doc.object().value(QStringLiteral("interfaces")).toObject();
    // Check everything before anything is taken over.
    std::map<QString, std::map<quint32, QString>> pdus;
    std::map<QString, std::pair<QList<TMbnSmsMessage>, quint64>> messages;
    for (auto it = ifaces.begin(); it != ifaces.end(); ++it) {
        const QJsonObject o = it.value().toObject();
        auto& p = pdus[it.key()];
        for (const QJsonValue& v : o.value(QStringLiteral("pdus")).toArray()) {
            const QJsonObject e = v.toObject();
            const QString pdu = e.value(QStringLiteral("pdu")).toString();
            const double index = e.value(QStringLiteral("index")).toDouble(-1);
            if (!IsPduText(pdu) || index < 0 || index > 4294967295.0 || p.count(quint32(index))) {
                throw bad(QStringLiteral("a stored PDU of %1 is damaged").arg(it.key()));
            }
            p[quint32(index)] = pdu;
        }
        auto& m = messages[it.key()];
        for (const QJsonValue& v : o.value(QStringLiteral("messages")).toArray()) {
            const QJsonObject e = v.toObject();
            TMbnSmsMessage msg;
            msg.Key = e.value(QStringLiteral("key")).toString();
            msg.Number = e.value(QStringLiteral("number")).toString();
            msg.Text = e.value(QStringLiteral("text")).toString();
            msg.TimeStamp = QDateTime::fromString(e.value(QStringLiteral("time")).toString(), Qt::ISODate);
            if (msg.Key.isEmpty() || msg.Number.isEmpty() || !msg.TimeStamp.isValid()) {
                throw bad(QStringLiteral("a stored message of %1 is damaged").arg(it.key()));
            }
            m.first << msg;
        }
        m.second = quint64(o.value(QStringLiteral("nextKey")).toDouble(0));
    }
    for (const auto& i : FInterfaces) {
        if (!ifaces.contains(i->S.InterfaceID)) {
            continue;
        }
        i->Store = pdus[i->S.InterfaceID];
        i->Messages = messages[i->S.InterfaceID].first;
        i->NextKey = messages[i->S.InterfaceID].second;
    }
}

void TSimModem::TrySaveState()
{
    try {
        SaveState();
    } catch (const EOmbrelayError& e) {
        // The device goes on; only its memory across restarts is at risk.
        qWarning("%s", qUtf8Printable(e.Message()));
    }
}

void TSimModem::SaveState()
{
    if (FStateFile.isEmpty()) {
        return;
    }
    QJsonObject ifaces;
    for (const auto& i : FInterfaces) {
        QJsonArray pdus;
        for (const auto& [index, pdu] : i->Store) {
            pdus.append(QJsonObject{{QStringLiteral("index"), double(index)}, {QStringLiteral("pdu"), pdu}});
        }
        QJsonArray messages;
        for (const TMbnSmsMessage& m : i->Messages) {
            messages.append(QJsonObject{{QStringLiteral("key"), m.Key},
                                        {QStringLiteral("number"), m.Number},
                                        {QStringLiteral("time"), m.TimeStamp.toString(Qt::ISODate)},
                                        {QStringLiteral("text"), m.Text}});
        }
        ifaces.insert(i->S.InterfaceID, QJsonObject{{QStringLiteral("pdus"), pdus},
                                                    {QStringLiteral("messages"), messages},
                                                    {QStringLiteral("nextKey"), double(i->NextKey)}});
    }
    const QByteArray data = QJsonDocument(QJsonObject{{QStringLiteral("interfaces"), ifaces}}).toJson();
    // Written beside the file, flushed to the disk, then renamed over it: a crash leaves
    // either the old state or the new one, never half of one.
    const QByteArray path = QFile::encodeName(FStateFile);
    const QByteArray temp = path + ".tmp";
    int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        throw EOmbrelayError(QStringLiteral("Simulated modem state %1 cannot be written (%2)")
                                 .arg(FStateFile, QString::fromLocal8Bit(std::strerror(errno))));
    }
    qsizetype done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            const int e = errno;
            ::close(fd);
            ::unlink(temp.constData());
            throw EOmbrelayError(QStringLiteral("Simulated modem state %1 cannot be written (%2)")
                                     .arg(FStateFile, QString::fromLocal8Bit(std::strerror(e))));
        }
        done += n;
    }
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    if (!synced || ::rename(temp.constData(), path.constData()) != 0) {
        const int e = errno;
        ::unlink(temp.constData());
        throw EOmbrelayError(QStringLiteral("Simulated modem state %1 cannot be written (%2)")
                                 .arg(FStateFile, QString::fromLocal8Bit(std::strerror(e))));
    }
    const QByteArray dir = QFile::encodeName(QFileInfo(FStateFile).absolutePath());
    int dfd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

} // namespace Ombrelay
