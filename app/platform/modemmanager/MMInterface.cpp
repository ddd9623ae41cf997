#include "platform/modemmanager/MMInterface.h"

#include "platform/NetCounters.h"
#include "platform/modemmanager/MMNames.h"
#include "platform/modemmanager/MMTables.h"
#include "sms/SMS.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
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

// What a message is, independent of the path ModemManager gave it: sender, time stamp and content.
QString ContentKey(const QVariantMap& Props)
{
    QByteArray data;
    ReadData(Props.value(QStringLiteral("Data")), data);
    return Props.value(QStringLiteral("Number")).toString() + QLatin1Char('\n') +
           Props.value(QStringLiteral("Timestamp")).toString() + QLatin1Char('\n') +
           Props.value(QStringLiteral("Text")).toString() + QLatin1Char('\n') + QString::fromLatin1(data.toHex());
}

// The message as the port hands it over; Unreadable says why when its content cannot be taken.
TMbnSmsMessage ToMessage(const QString& Path, const QVariantMap& Props)
{
    TMbnSmsMessage m;
    m.Key = Path;
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
                 QList<TMbnSmsMessage> Messages;
                 QList<QString> Order;
                 QHash<QString, TMbnSmsMessage> Found;
             };
             auto collect = std::make_shared<TCollect>();
             collect->Order = paths;
             auto finish = [this, id, collect] {
                 for (const QString& p : std::as_const(collect->Order)) {
                     auto it = collect->Found.constFind(p);
                     if (it != collect->Found.cend()) {
                         collect->Messages << *it;
                     }
                 }
                 Q_EMIT FManager.SmsMessageReadComplete(FIdentifier, collect->Messages, false, id, mrOk);
             };
             for (const QString& p : paths) {
                 ++collect->Pending;
                 QDBusMessage get =
                     QDBusMessage::createMethodCall(kMMService, p, kProperties, QStringLiteral("GetAll"));
                 get << kMMSms;
                 Call(get, [this, p, collect, finish](const QDBusMessage& R) {
                     if (R.type() == QDBusMessage::ReplyMessage && !R.arguments().isEmpty()) {
                         QVariantMap props;
                         R.arguments().at(0).value<QDBusArgument>() >> props;
                         const quint32 state = props.value(QStringLiteral("State")).toUInt();
                         const quint32 type = props.value(QStringLiteral("PduType")).toUInt();
                         const QString content = ContentKey(props);
                         // A message still RECEIVING has parts missing; a status report is no message.
                         if (state == kSmsStateReceived && type != kSmsPduStatusReport && !FKept.contains(content)) {
                             const TMbnSmsMessage m = ToMessage(p, props);
                             if (m.Unreadable.isEmpty()) {
                                 collect->Found.insert(p, m);
                                 FReadKeys.insert(p, content);
                             } else if (!FUnreadableTold.contains(content)) {
                                 // Told once, never deletable: it stays on the modem.
                                 FUnreadableTold.insert(content);
                                 collect->Found.insert(p, m);
                             }
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
                const TMbnResult status = R.type() == QDBusMessage::ReplyMessage ? mrOk : FManager.MakeError(R);
                Q_EMIT FManager.SmsSendComplete(FIdentifier, id, status);
                // The sent message would otherwise stay in ModemManager's list for as long as it runs;
                // the program keeps its own copy in the outbox.
                QDBusMessage del =
                    QDBusMessage::createMethodCall(kMMService, modem, kMMMessaging, QStringLiteral("Delete"));
                del << QVariant::fromValue(QDBusObjectPath(sms));
                Call(del, [](const QDBusMessage&) {});
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
    if (!FReadKeys.contains(Key)) {
        // Only a whole received message that a read handed out; never one still being received.
        return mrNotFound;
    }
    const TMbnRequestId id = FManager.NextRequestId();
    RequestId = id;
    if (!FManager.RemoveStoredMessages()) {
        FKept.insert(FReadKeys.value(Key));
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
    if (!FReadKeys.contains(key)) {
        // Its ModemManager went away since the read: the path may name another message now.
        done(mrNotFound);
        PumpDeletes();
        return;
    }
    FDeleting = true;
    QDBusMessage del = QDBusMessage::createMethodCall(kMMService, FPath, kMMMessaging, QStringLiteral("Delete"));
    del << QVariant::fromValue(QDBusObjectPath(key));
    Call(del, [this, key, done](const QDBusMessage& Reply) {
        TMbnResult status = mrOk;
        if (Reply.type() == QDBusMessage::ReplyMessage) {
            FReadKeys.remove(key);
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
    const QList<QString> keys = FReadKeys.keys();
    if (keys.isEmpty() || !FManager.RemoveStoredMessages()) {
        for (const QString& k : keys) {
            FKept.insert(FReadKeys.value(k));
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

} // namespace Ombrelay
