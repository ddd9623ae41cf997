#include "platform/sim/SimModem.h"

#include "base/Errors.h"
#include "platform/sim/SimInterface.h"
#include "sms/MBException.h"
#include "sms/SMS.h"

#include <algorithm>

namespace Ombrelay
{

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
        if (!i || !i->Plugged) {
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
    FTemplate =
        Scenario.Interfaces.isEmpty() ? TSimScenario::Default().Interfaces.first() : Scenario.Interfaces.first();
    FTemplate.Pdus.clear();
    FTemplate.Messages.clear();
    for (const TSimInterfaceScenario& s : Scenario.Interfaces) {
        auto i = std::make_shared<TSimInterface>(*this, s);
        i->Plugged = s.Plugged;
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
    if (FStateFile.IsSet()) {
        LoadState();
    }
    FQueueTimer.setSingleShot(true);
    connect(&FQueueTimer, &QTimer::timeout, this, &TSimModem::RunNext);
    // Traffic while connected: a steady trickle, so that usage counting has something to count.
    // The timer runs only while an interface is connected: an idle device wakes nobody.
    FTrafficTimer.setInterval(1000);
    connect(&FTrafficTimer, &QTimer::timeout, this, [this] {
        for (const auto& i : FInterfaces) {
            if (i->State == masActivated && i->Plugged) {
                i->Rx += 48 * 1024;
                i->Tx += 6 * 1024;
            }
        }
    });
    StateChanged();
}

void TSimModem::StateChanged()
{
    const bool connected =
        std::any_of(FInterfaces.cbegin(), FInterfaces.cend(), [](const auto& i) { return i->State == masActivated; });
    if (connected && !FTrafficTimer.isActive()) {
        FTrafficTimer.start();
    } else if (!connected && FTrafficTimer.isActive()) {
        FTrafficTimer.stop();
    }
}

TSimModem::~TSimModem() = default;

TMbnResult TSimModem::GetInterfaces(QList<std::shared_ptr<IMbnInterface>>& Interfaces)
{
    if (TakeFailure("GetInterfaces")) {
        return mrFailed;
    }
    Interfaces.clear();
    for (const auto& i : FInterfaces) {
        if (i->Plugged) {
            Interfaces << std::static_pointer_cast<IMbnInterface>(i);
        }
    }
    return mrOk;
}

TMbnResult TSimModem::GetInterface(const QString& InterfaceID, std::shared_ptr<IMbnInterface>& Interface)
{
    if (TakeFailure("GetInterface")) {
        return mrFailed;
    }
    for (const auto& i : FInterfaces) {
        if (i->S.InterfaceID == InterfaceID && i->Plugged) {
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

QStringList TSimModem::OperationNames()
{
    return TSimFaults::OperationNames();
}

void TSimModem::Fail(const QString& Operation, int Count)
{
    FFaults.Fail(Operation, Count);
}

void TSimModem::Lose(const QString& Operation, int Count)
{
    FFaults.Lose(Operation, Count);
}

bool TSimModem::TakeFailure(const char* Operation)
{
    return FFaults.TakeFailure(Operation);
}

bool TSimModem::TakeLoss(const char* Operation)
{
    return FFaults.TakeLoss(Operation);
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
        const quint64 nextKey = i->NextKey;
        i->AddMessage(TMbnSmsMessage{QString(), Number, ts, Text});
        TSimChange change;
        change.Kind = TSimChange::AddMessage;
        change.InterfaceID = InterfaceID;
        change.Message = i->Messages.constLast();
        change.NextKey = i->NextKey;
        try {
            Record({change});
        } catch (...) {
            i->Messages.removeLast();
            i->NextKey = nextKey;
            throw;
        }
        Post([this, InterfaceID] { Q_EMIT SmsNewMessage(InterfaceID); });
        return 1;
    }
    const QStringList pdus = BuildDeliverPdus(Number, ts, Text);
    if (i->StoredCount() + pdus.size() > i->S.Capacity) {
        throw EOmbrelayError(QStringLiteral("message store of %1 is full").arg(InterfaceID));
    }
    QList<TSimChange> changes;
    for (const QString& pdu : pdus) {
        TSimChange change;
        change.Kind = TSimChange::AddPdu;
        change.InterfaceID = InterfaceID;
        change.Index = i->AddPdu(pdu);
        change.Pdu = pdu;
        changes << change;
    }
    try {
        Record(changes);
    } catch (...) {
        for (const TSimChange& c : changes) {
            i->Store.erase(c.Index);
        }
        throw;
    }
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
    TSimChange change;
    change.Kind = TSimChange::AddPdu;
    change.InterfaceID = InterfaceID;
    change.Index = i->AddPdu(Pdu);
    change.Pdu = Pdu;
    try {
        Record({change});
    } catch (...) {
        i->Store.erase(change.Index);
        throw;
    }
    Post([this, InterfaceID] { Q_EMIT SmsNewMessage(InterfaceID); });
    return change.Index;
}

quint32 TSimModem::Report(const QString& InterfaceID, int MessageRef, const QString& Outcome)
{
    TSimInterface* i = Get(InterfaceID);
    const int status = SimReportStatus(Outcome);
    if (status < 0) {
        throw EOmbrelayError(QStringLiteral("unknown outcome %1 (delivered, failed or pending)").arg(Outcome));
    }
    for (qsizetype n = i->Sent.size() - 1; n >= 0; --n) {
        TSmsRecv part;
        try {
            part.DecodePdu(i->Sent[n]);
        } catch (const EMBException&) {
            continue;
        }
        if (part.MessageRef() != MessageRef) {
            continue;
        }
        const QDateTime now = QDateTime::currentDateTime();
        return DeliverPdu(InterfaceID, BuildStatusReportPdu(MessageRef, part.Sender(), now, now, status));
    }
    throw EOmbrelayError(
        QStringLiteral("no part sent through %1 with the message reference %2").arg(InterfaceID).arg(MessageRef));
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

void TSimModem::Drop(const QString& InterfaceID, const QString& Reason)
{
    TSimInterface* i = Get(InterfaceID);
    const bool wasUp = i->State == masActivated;
    if (i->State != masDeactivated) {
        i->SetState(masDeactivated);
    }
    if (wasUp) {
        const QString why = Reason.isEmpty() ? QStringLiteral("the network ended the connection") : Reason;
        Post([this, InterfaceID, why] { Q_EMIT ConnectionDropped(InterfaceID, why); });
    }
}

void TSimModem::SetConnectDelay(const QString& InterfaceID, int Ms)
{
    Get(InterfaceID)->S.ConnectDelayMs = Ms;
}

void TSimModem::Plug(const QString& InterfaceID)
{
    TSimInterface* i = Find(InterfaceID);
    if (!i) {
        if (InterfaceID.isEmpty() || InterfaceID.contains(QLatin1Char(' '))) {
            throw EOmbrelayError(QStringLiteral("an interface name is one word"));
        }
        TSimInterfaceScenario s = FTemplate;
        s.InterfaceID = InterfaceID;
        auto created = std::make_shared<TSimInterface>(*this, s);
        created->Plugged = false;
        FInterfaces << created;
        i = created.get();
    }
    if (i->Plugged) {
        throw EOmbrelayError(QStringLiteral("%1 is plugged in already").arg(InterfaceID));
    }
    i->Plugged = true;
    i->State = masDeactivated;
    i->Rx = 0;
    i->Tx = 0;
    Post([this, InterfaceID] { Q_EMIT InterfaceArrival(InterfaceID); });
}

void TSimModem::Unplug(const QString& InterfaceID)
{
    TSimInterface* i = Get(InterfaceID);
    if (!i->Plugged) {
        throw EOmbrelayError(QStringLiteral("%1 is not plugged in").arg(InterfaceID));
    }
    // Gone at once for the port; the announcement follows in order with the events already posted.
    i->Plugged = false;
    i->State = masDeactivated;
    i->Profile.clear();
    // A USSD session ends with the device; an answer on its way is dropped.
    i->UssdSession = TMbnUssdState::usIdle;
    ++i->UssdCancels;
    Post([this, InterfaceID] { Q_EMIT InterfaceRemoval(InterfaceID); });
}

void TSimModem::SetRegistration(const QString& InterfaceID, TMbnRegisterState State, const QString& Operator)
{
    TSimInterface* i = Get(InterfaceID);
    TMbnRegistration& r = i->Registration;
    r.State = State;
    if (State == TMbnRegisterState::rsHome || State == TMbnRegisterState::rsRoaming) {
        if (!Operator.isEmpty()) {
            r.OperatorName = Operator;
        } else if (r.OperatorName.isEmpty()) {
            r.OperatorName = QStringLiteral("Ombrelay Mobile");
        }
        r.OperatorCode = QStringLiteral("00101");
    } else {
        r.OperatorName.clear();
        r.OperatorCode.clear();
    }
    if (State != TMbnRegisterState::rsHome && State != TMbnRegisterState::rsRoaming && i->State != masDeactivated) {
        // Losing the network ends the connection.
        Drop(InterfaceID, QStringLiteral("the modem lost the network"));
    }
    Post([this, InterfaceID] { Q_EMIT RegisterStateChange(InterfaceID); });
}

void TSimModem::SetAccessTech(const QString& InterfaceID, TMbnAccessTech Tech)
{
    Get(InterfaceID)->Registration.AccessTech = Tech;
    Post([this, InterfaceID] { Q_EMIT RegisterStateChange(InterfaceID); });
}

void TSimModem::SetPin(const QString& InterfaceID, const QString& Pin, const QString& Puk)
{
    TSimInterface* i = Get(InterfaceID);
    if (!IsSimCode(Pin, 4, 8) || (!Puk.isEmpty() && !IsSimCode(Puk, 8, 8))) {
        throw EOmbrelayError(QStringLiteral("a PIN is 4 to 8 digits, a PUK 8 digits"));
    }
    i->Pin = Pin;
    if (!Puk.isEmpty()) {
        i->Puk = Puk;
    }
    i->Lock = TMbnLock::lkSimPin;
    i->PinAttempts = TSimInterface::kPinAttempts;
    i->PukAttempts = TSimInterface::kPukAttempts;
    if (i->State != masDeactivated) {
        i->SetState(masDeactivated);
    }
    Post([this, InterfaceID] {
        Q_EMIT DeviceStateChange(InterfaceID);
        Q_EMIT RegisterStateChange(InterfaceID);
    });
}

void TSimModem::SwitchPower(const QString& InterfaceID, bool On)
{
    TSimInterface* i = Get(InterfaceID);
    if (i->Powered == On) {
        return;
    }
    if (!On && i->State != masDeactivated) {
        i->SetState(masDeactivated);
    }
    i->Powered = On;
    Post([this, InterfaceID] {
        Q_EMIT DeviceStateChange(InterfaceID);
        Q_EMIT RegisterStateChange(InterfaceID);
    });
}

TMbnLockState TSimModem::LockState(const QString& InterfaceID) const
{
    TMbnLockState r;
    Get(InterfaceID)->GetLockState(r);
    return r;
}

bool TSimModem::IsPowered(const QString& InterfaceID) const
{
    return Get(InterfaceID)->Powered;
}

QString TSimModem::ErrorText(TMbnResult Code) const
{
    if (Code == TSimInterface::kWrongCode) {
        return QStringLiteral("The code is wrong");
    }
    return MbnErrorText(Code);
}

TMbnRegistration TSimModem::Registration(const QString& InterfaceID) const
{
    return Get(InterfaceID)->Registration;
}

bool TSimModem::IsPlugged(const QString& InterfaceID) const
{
    return Get(InterfaceID)->Plugged;
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

int TSimModem::DeviceStateListeners() const
{
    return receivers(SIGNAL(DeviceStateChange(QString))) + receivers(SIGNAL(UnlockComplete(QString, quint32, qint32))) +
           receivers(SIGNAL(EnableComplete(QString, quint32, qint32))) + receivers(SIGNAL(RadioStateChange()));
}

void TSimModem::SetReadBatch(int Value)
{
    for (const auto& i : FInterfaces) {
        i->S.ReadBatch = qMax(1, Value);
    }
}

void TSimModem::Post(std::function<void()> Event, bool Quick)
{
    if (FCompleteInsideCall) {
        Event();
        return;
    }
    FQueue.push_back(std::move(Event));
    if (!FQueueTimer.isActive()) {
        FQueueTimer.start(Quick && FQueue.size() == 1 ? 0 : FDelayMs);
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

void TSimModem::LoadState()
{
    if (!FStateFile.Exists()) {
        SaveState();
        return;
    }
    const TSimStoresById stores = FStateFile.Read();
    for (const auto& i : FInterfaces) {
        auto it = stores.find(i->S.InterfaceID);
        if (it != stores.end()) {
            i->RestoreStores(it->second);
        }
    }
    // A fresh snapshot: the journal starts empty, without the line a crash may have cut short.
    // When that fails the first change tries again, and raises.
    try {
        SaveState();
    } catch (const EOmbrelayError& e) {
        qWarning("%s", qUtf8Printable(e.Message()));
    }
}

void TSimModem::Record(const QList<TSimChange>& Changes)
{
    if (!FStateFile.IsSet()) {
        return;
    }
    if (!FStateFile.JournalOpen()) {
        // The stores already hold the changes.
        SaveState();
        return;
    }
    FStateFile.Append(Changes);
    if (FStateFile.CompactionDue()) {
        try {
            SaveState();
        } catch (const EOmbrelayError& e) {
            // The changes are in the journal; the snapshot is tried again after the next one.
            qWarning("%s", qUtf8Printable(e.Message()));
        }
    }
}

void TSimModem::TryRecord(const QList<TSimChange>& Changes)
{
    try {
        Record(Changes);
    } catch (const EOmbrelayError& e) {
        // The device goes on; only its memory across restarts is at risk.
        qWarning("%s", qUtf8Printable(e.Message()));
    }
}

void TSimModem::SaveState()
{
    if (!FStateFile.IsSet()) {
        return;
    }
    TSimStoresById stores;
    for (const auto& i : FInterfaces) {
        stores[i->S.InterfaceID] = i->Stores();
    }
    FStateFile.Write(stores);
}

} // namespace Ombrelay
