#include "platform/modemmanager/MMInterface.h"

#include "platform/NetCounters.h"
#include "platform/modemmanager/MMNames.h"
#include "platform/modemmanager/MMTables.h"
#include "sms/SMS.h"

#include <QCryptographicHash>
#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QHash>

#include <exception>

namespace Ombrelay
{

using namespace MM;

namespace
{

// States of an SMS object: only a whole received message is read; one still RECEIVING lacks parts.
constexpr quint32 kSmsStateReceived = 3;
constexpr quint32 kSmsPduStatusReport = 3;
// MMSmsDeliveryState values are the status octets of TS 23.040 (0x00..0xFF); this one is
// ModemManager's own "unknown".
constexpr quint32 kDeliveryStateUnknown = 0x100;

// Sending may take as long as the network does; the bus's default of 25 s is too short for a
// long message over a slow link.
constexpr int kSendTimeoutMs = 180000;

// The Data property (ay): a byte array, or still marshalled when it came inside a map. False
// when it is something else.
bool ReadData(const QVariant& Value, QByteArray& Data)
{
    Data.clear();
    if (!Value.isValid()) {
        return true;
    }
    if (Value.metaType() == QMetaType::fromType<QByteArray>()) {
        Data = Value.toByteArray();
        return true;
    }
    if (Value.metaType() == QMetaType::fromType<QDBusArgument>()) {
        const QDBusArgument arg = Value.value<QDBusArgument>();
        if (arg.currentSignature() == QLatin1String("ay")) {
            arg >> Data;
            return true;
        }
    }
    return false;
}

// What a message is, independent of the path ModemManager gave it: a digest of sender, time
// stamp and content. The stamp enters as the instant in whole seconds where it can be read, so
// that another way of writing it after a restart gives the same digest.
QByteArray ContentDigest(const QVariantMap& Props)
{
    QByteArray data;
    ReadData(Props.value(QStringLiteral("Data")), data);
    const QString raw = Props.value(QStringLiteral("Timestamp")).toString();
    const QDateTime stamp = ParseTimeStamp(raw);
    const QString when = stamp.isValid() ? QString::number(stamp.toSecsSinceEpoch()) : raw;
    QCryptographicHash hash(QCryptographicHash::Sha1);
    for (const QString& field :
         {Props.value(QStringLiteral("Number")).toString(), when, Props.value(QStringLiteral("Text")).toString()}) {
        const QByteArray utf8 = field.toUtf8();
        // Each field with its length, so that no two messages' fields run into the same bytes.
        hash.addData(QByteArray::number(utf8.size()) + ':' + utf8);
    }
    hash.addData(QByteArray::number(data.size()) + ':' + data);
    if (Props.value(QStringLiteral("PduType")).toUInt() == kSmsPduStatusReport) {
        // Reports of one recipient differ in what they report on and what they say.
        for (const QString& name : {QStringLiteral("MessageReference"), QStringLiteral("DeliveryState"),
                                    QStringLiteral("DischargeTimestamp")}) {
            const QByteArray utf8 = Props.value(name).toString().toUtf8();
            hash.addData(QByteArray::number(utf8.size()) + ':' + utf8);
        }
    }
    return hash.result().toHex();
}

// A status report as the port hands it over: its fields, which the device layer stores as a
// status report rebuilt from them (the stack never shows the network's PDU).
TMbnSmsMessage ToReport(const QVariantMap& Props)
{
    TMbnSmsMessage m;
    m.IsStatusReport = true;
    m.Number = Props.value(QStringLiteral("Number")).toString();
    m.TimeStamp = ParseTimeStamp(Props.value(QStringLiteral("Timestamp")).toString());
    m.Discharge = ParseTimeStamp(Props.value(QStringLiteral("DischargeTimestamp")).toString());
    bool refOk = false;
    bool stateOk = false;
    const uint ref = Props.value(QStringLiteral("MessageReference")).toUInt(&refOk);
    const uint state = Props.value(QStringLiteral("DeliveryState")).toUInt(&stateOk);
    if (!refOk || ref > 0xFF) {
        m.Unreadable = QStringLiteral("a delivery report without the reference of the message it is about");
    } else if (!stateOk || state >= kDeliveryStateUnknown) {
        m.Unreadable = QStringLiteral("a delivery report whose outcome ModemManager did not read");
    } else {
        m.MessageRef = int(ref);
        m.DeliveryStatus = int(state);
    }
    return m;
}

// The message as the port hands it over; Unreadable says why when its content cannot be taken.
TMbnSmsMessage ToMessage(const QVariantMap& Props)
{
    TMbnSmsMessage m;
    m.Number = Props.value(QStringLiteral("Number")).toString();
    m.TimeStamp = ParseTimeStamp(Props.value(QStringLiteral("Timestamp")).toString());
    m.Text = Props.value(QStringLiteral("Text")).toString();
    const QVariant cls = Props.value(QStringLiteral("Class"));
    m.MessageClass = cls.isValid() && cls.toInt() >= 0 && cls.toInt() <= 3 ? cls.toInt() : -1;
    QByteArray data;
    if (!ReadData(Props.value(QStringLiteral("Data")), data)) {
        m.Unreadable = QStringLiteral("its data came in a form that is not understood");
        return m;
    }
    // A text-mode modem's messages carry their text as data too: text is the message when there
    // is any. Only a message without text is 8-bit data.
    if (m.Text.isEmpty() && !data.isEmpty()) {
        m.IsData = true;
        m.Data = data;
        if (data.size() > kMaxDeliverData) {
            m.Unreadable = QStringLiteral("its %1 octets of data are more than a message can carry").arg(data.size());
        }
    }
    return m;
}

} // namespace

void TMMInterface::Call(const QDBusMessage& Message, std::function<void(const QDBusMessage&)> Done, int TimeoutMs)
{
    auto* watcher = new QDBusPendingCallWatcher(FManager.Bus().asyncCall(Message, TimeoutMs), &FManager);
    std::weak_ptr<TMMInterface> self = weak_from_this();
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &FManager, [watcher, self, done = std::move(Done)] {
        watcher->deleteLater();
        if (self.expired()) {
            return;
        }
        const QDBusMessage reply = QDBusPendingReply<>(*watcher).reply();
        try {
            done(reply);
        } catch (const std::exception& e) {
            qWarning("modemmanager: %s", e.what());
        }
    });
}

TMbnResult TMMInterface::GetInterfaceCapability(TMbnInterfaceCaps& Caps)
{
    if (FPath.isEmpty()) {
        return mrNotFound;
    }
    Caps = MapCapabilities(FModem, FInterfaces);
    return mrOk;
}

TMbnResult TMMInterface::GetSignalStrength(quint32& SignalStrength)
{
    if (FPath.isEmpty()) {
        return mrNotFound;
    }
    SignalStrength = SignalCodeFromPercent(ToSignalPercent(FModem.value(QStringLiteral("SignalQuality"))));
    return mrOk;
}

TMbnResult TMMInterface::GetRegistration(TMbnRegistration& Registration)
{
    if (FPath.isEmpty()) {
        return mrNotFound;
    }
    Registration = MapRegistration(FModem, FInterfaces.value(kMM3gpp));
    return mrOk;
}

TMbnResult TMMInterface::GetSms(std::shared_ptr<IMbnSms>& Sms)
{
    if (!FInterfaces.contains(kMMMessaging)) {
        return mrNotSupported;
    }
    Sms = std::shared_ptr<IMbnSms>(shared_from_this(), static_cast<IMbnSms*>(this));
    return mrOk;
}

void TMMInterface::Bind(const QString& Path, const TInterfaceMap& Interfaces)
{
    FPath = Path;
    FInterfaces = Interfaces;
    FModem = Interfaces.value(kMMModem);
}

void TMMInterface::UpdateProperties(const QString& Interface, const QVariantMap& Changed)
{
    QVariantMap& props = FInterfaces[Interface];
    for (auto it = Changed.cbegin(); it != Changed.cend(); ++it) {
        props.insert(it.key(), it.value());
    }
    if (Interface == kMMModem) {
        FModem = props;
    }
}

void TMMInterface::AddInterfaces(const TInterfaceMap& Interfaces)
{
    for (auto it = Interfaces.cbegin(); it != Interfaces.cend(); ++it) {
        FInterfaces.insert(it.key(), it.value());
    }
    FModem = FInterfaces.value(kMMModem);
}

bool TMMInterface::HasModem() const
{
    return FInterfaces.contains(kMMModem);
}

TMbnResult TMMInterface::GetByteCounters(quint64& Received, quint64& Sent)
{
    std::lock_guard<std::mutex> lock(FCounterLock);
    // The link's counters start again at zero when it is re-created (a new connection may bring a
    // new interface): what the old one counted is kept as a base, so the sum only grows.
    if (!FIpInterface.isEmpty() && !FIpInterface.contains(QLatin1Char('/'))) {
        // A wwan-type interface is already counted by the usage thread's own sysfs source;
        // counting it here too would count every byte twice. Only other links (ppp, usb
        // ethernet) are this backend's to report.
        if (NetInterfaceHasDevType(FManager.SysfsRoot(), FIpInterface, "wwan")) {
            Received = FBaseRx + FLastRx;
            Sent = FBaseTx + FLastTx;
            return mrOk;
        }
        TNetCounters c;
        if (ReadNetCounters(FManager.SysfsRoot(), FIpInterface, c)) {
            const QString key =
                FIpInterface + QLatin1Char('#') + (c.HasIfIndex ? QString::number(c.IfIndex) : QString());
            if (key != FCounterKey || c.RxBytes < FLastRx || c.TxBytes < FLastTx) {
                FBaseRx += FLastRx;
                FBaseTx += FLastTx;
                FCounterKey = key;
            }
            FLastRx = c.RxBytes;
            FLastTx = c.TxBytes;
        }
    }
    Received = FBaseRx + FLastRx;
    Sent = FBaseTx + FLastTx;
    return mrOk;
}

QString TMMInterface::KeyFor(const QString& Path, const QByteArray& Content)
{
    auto it = FPathKeys.constFind(Path);
    if (it != FPathKeys.cend()) {
        return *it;
    }
    const QString key = QStringLiteral("sms:%1#%2").arg(QString::fromLatin1(Content)).arg(FOccurrences[Content]++);
    FPathKeys.insert(Path, key);
    return key;
}

TMbnResult TMMInterface::SmsReadMessages(TMbnRequestId& RequestId)
{
    if (FPath.isEmpty()) {
        return mrNotFound;
    }
    if (!FInterfaces.contains(kMMMessaging)) {
        return mrNotSupported;
    }
    const TMbnRequestId id = FManager.NextRequestId();
    RequestId = id;
    const QString path = FPath;
    Call(QDBusMessage::createMethodCall(kMMService, path, kMMMessaging, QStringLiteral("List")),
         [this, id, path](const QDBusMessage& Reply) {
             if (Reply.type() != QDBusMessage::ReplyMessage || Reply.arguments().isEmpty()) {
                 const TMbnResult status = FManager.MakeError(Reply);
                 Q_EMIT FManager.SmsMessageReadComplete(FIdentifier, {}, false, id, status);
                 return;
             }
             const QList<QString> paths = ToPathList(Reply.arguments().at(0));
             struct TCollect
             {
                 int Pending = 0;
                 QList<QString> Order;
                 QHash<QString, std::pair<TMbnSmsMessage, QByteArray>> Found;
             };
             auto collect = std::make_shared<TCollect>();
             collect->Order = paths;
             auto finish = [this, id, generation = FBinding, collect] {
                 QList<TMbnSmsMessage> messages;
                 if (generation != FBinding) {
                     // The daemon went away meanwhile: its paths and the keys given to them are void.
                     Q_EMIT FManager.SmsMessageReadComplete(FIdentifier, messages, false, id, mrNotFound);
                     return;
                 }
                 // Keys are given in the order ModemManager lists its messages, that is as they came.
                 for (const QString& p : std::as_const(collect->Order)) {
                     auto it = collect->Found.constFind(p);
                     if (it == collect->Found.cend()) {
                         continue;
                     }
                     TMbnSmsMessage m = it->first;
                     m.Key = KeyFor(p, it->second);
                     if (FKept.contains(m.Key)) {
                         continue;
                     }
                     if (m.Unreadable.isEmpty()) {
                         FHandles.insert(m.Key, p);
                         messages << m;
                     } else if (!FUnreadableTold.contains(m.Key)) {
                         // Told once, never deletable: it stays on the modem.
                         FUnreadableTold.insert(m.Key);
                         messages << m;
                     }
                 }
                 // Paths no longer listed are gone; their numbers stay given (FOccurrences).
                 const QSet<QString> listed(collect->Order.cbegin(), collect->Order.cend());
                 for (auto it = FPathKeys.begin(); it != FPathKeys.end();) {
                     it = listed.contains(it.key()) ? std::next(it) : FPathKeys.erase(it);
                 }
                 Q_EMIT FManager.SmsMessageReadComplete(FIdentifier, messages, false, id, mrOk);
             };
             for (const QString& p : paths) {
                 ++collect->Pending;
                 QDBusMessage get =
                     QDBusMessage::createMethodCall(kMMService, p, kProperties, QStringLiteral("GetAll"));
                 get << kMMSms;
                 Call(get, [p, collect, finish](const QDBusMessage& R) {
                     if (R.type() == QDBusMessage::ReplyMessage && !R.arguments().isEmpty()) {
                         QVariantMap props;
                         R.arguments().at(0).value<QDBusArgument>() >> props;
                         const quint32 state = props.value(QStringLiteral("State")).toUInt();
                         const quint32 type = props.value(QStringLiteral("PduType")).toUInt();
                         // A message still RECEIVING has parts missing. A status report (received as
                         // +CDS or listed from the store) is handed out as one, to be stored as such.
                         if (state == kSmsStateReceived) {
                             collect->Found.insert(p, {type == kSmsPduStatusReport ? ToReport(props) : ToMessage(props),
                                                       ContentDigest(props)});
                         }
                     }
                     // A message deleted meanwhile simply is not part of this read.
                     if (--collect->Pending == 0) {
                         finish();
                     }
                 });
             }
             if (collect->Pending == 0) {
                 finish();
             }
         });
    return mrOk;
}

TMbnResult TMMInterface::SmsSendMessage(const QString& Number, const QString& Text, TMbnRequestId& RequestId)
{
    if (FPath.isEmpty()) {
        return mrNotFound;
    }
    if (!FInterfaces.contains(kMMMessaging)) {
        return mrNotSupported;
    }
    if (Number.isEmpty()) {
        return mrInvalidArgument;
    }
    const TMbnRequestId id = FManager.NextRequestId();
    RequestId = id;
    const QString modem = FPath;
    QDBusMessage create = QDBusMessage::createMethodCall(kMMService, modem, kMMMessaging, QStringLiteral("Create"));
    QVariantMap props;
    props.insert(QStringLiteral("number"), Number);
    props.insert(QStringLiteral("text"), Text);
    if (FManager.RequestDeliveryReports()) {
        props.insert(QStringLiteral("delivery-report-request"), true);
    }
    create << props;
    Call(create, [this, id, modem](const QDBusMessage& Reply) {
        if (Reply.type() != QDBusMessage::ReplyMessage || Reply.arguments().isEmpty()) {
            Q_EMIT FManager.SmsSendComplete(FIdentifier, id, FManager.MakeError(Reply));
            return;
        }
        const QString sms = ToPath(Reply.arguments().at(0));
        Call(
            QDBusMessage::createMethodCall(kMMService, sms, kMMSms, QStringLiteral("Send")),
            [this, id, modem, sms](const QDBusMessage& R) {
                // The sent message would otherwise stay in ModemManager's list for as long as it runs;
                // the program keeps its own copy in the outbox. ModemManager never updates its
                // DeliveryState (a report comes as an object of its own), so nothing is lost by it.
                auto finish = [this, id, modem, sms](TMbnResult Status) {
                    Q_EMIT FManager.SmsSendComplete(FIdentifier, id, Status);
                    QDBusMessage del =
                        QDBusMessage::createMethodCall(kMMService, modem, kMMMessaging, QStringLiteral("Delete"));
                    del << QVariant::fromValue(QDBusObjectPath(sms));
                    Call(del, [](const QDBusMessage&) {});
                };
                if (R.type() != QDBusMessage::ReplyMessage) {
                    finish(FManager.MakeError(R));
                    return;
                }
                // The network's reference of the last part, which its status report will name.
                QDBusMessage get = QDBusMessage::createMethodCall(kMMService, sms, kProperties, QStringLiteral("Get"));
                get << kMMSms << QStringLiteral("MessageReference");
                Call(get, [this, id, finish](const QDBusMessage& G) {
                    if (G.type() == QDBusMessage::ReplyMessage && !G.arguments().isEmpty()) {
                        bool ok = false;
                        const uint ref = G.arguments().at(0).value<QDBusVariant>().variant().toUInt(&ok);
                        if (ok && ref <= 0xFF) {
                            Q_EMIT FManager.SmsSentReference(FIdentifier, id, int(ref));
                        }
                    }
                    // Sent either way: a reference not read only leaves its report unmatched.
                    finish(mrOk);
                });
            },
            kSendTimeoutMs);
    });
    return mrOk;
}

TMbnResult TMMInterface::SmsDeleteMessage(const QString& Key, TMbnRequestId& RequestId)
{
    if (FPath.isEmpty()) {
        return mrNotFound;
    }
    if (!FHandles.contains(Key)) {
        // Only a whole received message that a read handed out; never one still being received.
        return mrNotFound;
    }
    const TMbnRequestId id = FManager.NextRequestId();
    RequestId = id;
    if (!FManager.RemoveStoredMessages()) {
        FKept.insert(Key);
        Emit([this, id] { Q_EMIT FManager.SmsDeleteComplete(FIdentifier, id, mrOk); });
        return mrOk;
    }
    QueueDelete(Key, [this, id](TMbnResult Status) { Q_EMIT FManager.SmsDeleteComplete(FIdentifier, id, Status); });
    return mrOk;
}

void TMMInterface::QueueDelete(const QString& Key, std::function<void(TMbnResult)> Done)
{
    FDeletes.push_back({Key, std::move(Done)});
    PumpDeletes();
}

void TMMInterface::PumpDeletes()
{
    // One delete at a time: each one locks the modem's message storage, and ModemManager works
    // through concurrent ones only slowly.
    if (FDeleting || FDeletes.empty()) {
        return;
    }
    if (FPath.isEmpty()) {
        const TMbnResult gone = mrNotFound;
        auto pending = std::move(FDeletes);
        FDeletes.clear();
        for (auto& d : pending) {
            d.second(gone);
        }
        return;
    }
    // Plain variables rather than a structured binding: clang 14 cannot capture bindings.
    QString key = std::move(FDeletes.front().first);
    auto done = std::move(FDeletes.front().second);
    FDeletes.pop_front();
    const auto handle = FHandles.constFind(key);
    if (handle == FHandles.cend()) {
        // Its ModemManager went away since the read: the path may name another message now.
        done(mrNotFound);
        PumpDeletes();
        return;
    }
    FDeleting = true;
    QDBusMessage del = QDBusMessage::createMethodCall(kMMService, FPath, kMMMessaging, QStringLiteral("Delete"));
    del << QVariant::fromValue(QDBusObjectPath(*handle));
    Call(del, [this, key, done](const QDBusMessage& Reply) {
        TMbnResult status = mrOk;
        if (Reply.type() == QDBusMessage::ReplyMessage) {
            FHandles.remove(key);
        } else {
            status = FManager.MakeError(Reply);
        }
        FDeleting = false;
        done(status);
        PumpDeletes();
    });
}

TMbnResult TMMInterface::SmsDelete(TMbnRequestId& RequestId)
{
    // "Delete all" means every message this program has read; others (one still being received,
    // one another client created) are not ours to remove.
    if (FPath.isEmpty()) {
        return mrNotFound;
    }
    const TMbnRequestId id = FManager.NextRequestId();
    RequestId = id;
    const QList<QString> keys = FHandles.keys();
    if (keys.isEmpty() || !FManager.RemoveStoredMessages()) {
        for (const QString& k : keys) {
            FKept.insert(k);
        }
        Emit([this, id] { Q_EMIT FManager.SmsDeleteComplete(FIdentifier, id, mrOk); });
        return mrOk;
    }
    auto pending = std::make_shared<int>(int(keys.size()));
    auto status = std::make_shared<TMbnResult>(mrOk);
    for (const QString& key : keys) {
        QueueDelete(key, [this, id, pending, status](TMbnResult Status) {
            if (MbnFailed(Status) && *status == mrOk) {
                *status = Status;
            }
            if (--*pending == 0) {
                Q_EMIT FManager.SmsDeleteComplete(FIdentifier, id, *status);
            }
        });
    }
    return mrOk;
}

// Locked SIM and modem power

namespace
{

// MMModemLock and MMModemState values this backend acts on (any other lock, "none" = 1
// included, leaves the SIM usable).
constexpr quint32 kLockSimPin = 2;
constexpr quint32 kLockSimPuk = 4;
constexpr int kStateLocked = 2;
constexpr int kStateDisabled = 3;
constexpr int kStateEnabled = 6;
// Switching on may wait for the radio and the SIM.
constexpr int kEnableTimeoutMs = 120000;

// UnlockRetries (a{uu}): the attempts left per lock.
QHash<quint32, quint32> ReadRetries(const QVariant& Value)
{
    QHash<quint32, quint32> r;
    if (Value.metaType() != QMetaType::fromType<QDBusArgument>()) {
        return r;
    }
    const QDBusArgument arg = Value.value<QDBusArgument>();
    if (arg.currentSignature() != QLatin1String("a{uu}")) {
        return r;
    }
    arg.beginMap();
    while (!arg.atEnd()) {
        quint32 lock = 0;
        quint32 left = 0;
        arg.beginMapEntry();
        arg >> lock >> left;
        arg.endMapEntry();
        r.insert(lock, left);
    }
    arg.endMap();
    return r;
}

} // namespace

TMbnResult TMMInterface::GetLockState(TMbnLockState& Lock)
{
    if (FPath.isEmpty()) {
        return mrNotFound;
    }
    Lock = {};
    const quint32 required = FModem.value(QStringLiteral("UnlockRequired")).toUInt();
    const QHash<quint32, quint32> retries = ReadRetries(FModem.value(QStringLiteral("UnlockRetries")));
    if (required == kLockSimPin) {
        Lock.Lock = TMbnLock::lkSimPin;
    } else if (required == kLockSimPuk) {
        Lock.Lock = TMbnLock::lkSimPuk;
    } else {
        // Unknown (0), none (1) and the locks this program does not unlock (PIN2, network
        // personalisation) leave the modem usable as far as it is concerned.
        return mrOk;
    }
    if (retries.contains(required)) {
        Lock.AttemptsLeft = int(retries.value(required));
        if (Lock.Lock == TMbnLock::lkSimPuk && Lock.AttemptsLeft == 0) {
            Lock.Lock = TMbnLock::lkBlocked;
        }
    }
    return mrOk;
}

TMbnResult TMMInterface::SendUnlock(const QString& Method, const QVariantList& Codes, TMbnRequestId& RequestId)
{
    if (FPath.isEmpty()) {
        return mrNotFound;
    }
    const QString sim = ToPath(FModem.value(QStringLiteral("Sim")));
    if (sim.isEmpty() || sim == QLatin1String("/")) {
        return FManager.MakeError(QStringLiteral("the modem has no SIM"));
    }
    const TMbnRequestId id = FManager.NextRequestId();
    RequestId = id;
    QDBusMessage call = QDBusMessage::createMethodCall(kMMService, sim, kMMSim, Method);
    call.setArguments(Codes);
    Call(call, [this, id](const QDBusMessage& Reply) {
        // ModemManager's error names the failure ("Incorrect password"), never the code sent.
        const TMbnResult status = Reply.type() == QDBusMessage::ReplyMessage ? mrOk : FManager.MakeError(Reply);
        Q_EMIT FManager.UnlockComplete(FIdentifier, id, status);
    });
    return mrOk;
}

TMbnResult TMMInterface::SendPin(const QString& Pin, TMbnRequestId& RequestId)
{
    return SendUnlock(QStringLiteral("SendPin"), {Pin}, RequestId);
}

TMbnResult TMMInterface::SendPuk(const QString& Puk, const QString& NewPin, TMbnRequestId& RequestId)
{
    return SendUnlock(QStringLiteral("SendPuk"), {Puk, NewPin}, RequestId);
}

TMbnResult TMMInterface::GetPowered(bool& On)
{
    if (FPath.isEmpty()) {
        return mrNotFound;
    }
    const int state = FModem.value(QStringLiteral("State")).toInt();
    if (state < kStateDisabled && state != kStateLocked) {
        // Failed (no SIM, say), unknown or still initialising: nothing to switch on yet.
        return mrBusy;
    }
    On = state >= kStateEnabled;
    return mrOk;
}

TMbnResult TMMInterface::SetPowered(bool On, TMbnRequestId& RequestId)
{
    if (FPath.isEmpty()) {
        return mrNotFound;
    }
    const TMbnRequestId id = FManager.NextRequestId();
    RequestId = id;
    QDBusMessage call = QDBusMessage::createMethodCall(kMMService, FPath, kMMModem, QStringLiteral("Enable"));
    call << On;
    Call(
        call,
        [this, id](const QDBusMessage& Reply) {
            const TMbnResult status = Reply.type() == QDBusMessage::ReplyMessage ? mrOk : FManager.MakeError(Reply);
            Q_EMIT FManager.EnableComplete(FIdentifier, id, status);
        },
        kEnableTimeoutMs);
    return mrOk;
}

} // namespace Ombrelay
