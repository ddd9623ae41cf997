#include "platform/modemmanager/MMBackend.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTimeZone>
#include <QTimer>

#include <deque>
#include <exception>
#include <functional>
#include <mutex>

namespace Ombrelay
{

namespace
{

const QString kMMService = QStringLiteral("org.freedesktop.ModemManager1");
const QString kMMPath = QStringLiteral("/org/freedesktop/ModemManager1");
const QString kMMModem = QStringLiteral("org.freedesktop.ModemManager1.Modem");
const QString kMMMessaging = QStringLiteral("org.freedesktop.ModemManager1.Modem.Messaging");
const QString kMMVoice = QStringLiteral("org.freedesktop.ModemManager1.Modem.Voice");
const QString kMMUssd = QStringLiteral("org.freedesktop.ModemManager1.Modem.Modem3gpp.Ussd");
const QString kMM3gpp = QStringLiteral("org.freedesktop.ModemManager1.Modem.Modem3gpp");
const QString kMMSms = QStringLiteral("org.freedesktop.ModemManager1.Sms");
const QString kObjectManager = QStringLiteral("org.freedesktop.DBus.ObjectManager");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

const QString kNmService = QStringLiteral("org.freedesktop.NetworkManager");
const QString kNmPath = QStringLiteral("/org/freedesktop/NetworkManager");
const QString kNmSettingsPath = QStringLiteral("/org/freedesktop/NetworkManager/Settings");
const QString kNmSettings = QStringLiteral("org.freedesktop.NetworkManager.Settings");
const QString kNmConnection = QStringLiteral("org.freedesktop.NetworkManager.Settings.Connection");
const QString kNmDevice = QStringLiteral("org.freedesktop.NetworkManager.Device");
const QString kNmDeviceModem = QStringLiteral("org.freedesktop.NetworkManager.Device.Modem");
const QString kNmActive = QStringLiteral("org.freedesktop.NetworkManager.Connection.Active");

// ModemManager's capability bits.
constexpr quint32 kCapCdmaEvdo = 1u << 1;
constexpr quint32 kCapGsmUmts = 1u << 2;
constexpr quint32 kCapLte = 1u << 3;
constexpr quint32 kCap5gnr = 1u << 6;
constexpr quint32 kCapTds = 1u << 7;
constexpr quint32 kCap3gpp = kCapGsmUmts | kCapLte | kCap5gnr | kCapTds;
// ModemManager's mode bits.
constexpr quint32 kMode2g = 1u << 1;
constexpr quint32 kMode3g = 1u << 2;
constexpr quint32 kMode4g = 1u << 3;
constexpr quint32 kMode5g = 1u << 4;
// States of an SMS object: only a whole received message is read; one still RECEIVING lacks parts.
constexpr quint32 kSmsStateReceived = 3;
constexpr quint32 kSmsPduStatusReport = 3;

// The port's data classes and control caps that this backend can vouch for.
constexpr quint32 kDataGprs = 0x1;
constexpr quint32 kDataUmts = 0x4;
constexpr quint32 kDataLte = 0x20;
constexpr quint32 kData1xRtt = 0x10000;
constexpr quint32 kData1xEvdo = 0x20000;
constexpr quint32 kCtlRegManual = 0x1;
constexpr quint32 kCtlUssd = 0x40;
constexpr quint32 kCtlMultiCellular = 0x80;

// Sending may take as long as the network does; the bus's default of 25 s is too short for a
// long message over a slow link.
constexpr int kSendTimeoutMs = 180000;
// How long the end of a connection seen in a property change waits for the signal with its reason.
constexpr int kReasonGraceMs = 200;

using TInterfaceMap = QMap<QString, QVariantMap>;

TInterfaceMap ReadInterfaceMap(const QDBusArgument& Arg)
{
    TInterfaceMap r;
    Arg.beginMap();
    while (!Arg.atEnd()) {
        QString name;
        QVariantMap props;
        Arg.beginMapEntry();
        Arg >> name >> props;
        Arg.endMapEntry();
        r.insert(name, props);
    }
    Arg.endMap();
    return r;
}

TInterfaceMap ToInterfaceMap(const QVariant& Value)
{
    if (Value.canConvert<QDBusArgument>()) {
        return ReadInterfaceMap(Value.value<QDBusArgument>());
    }
    return {};
}

// Unsigned integers of an "au" value, however QtDBus handed it over.
QList<quint32> ToUIntList(const QVariant& Value)
{
    QList<quint32> r;
    if (Value.canConvert<QDBusArgument>()) {
        const QDBusArgument arg = Value.value<QDBusArgument>();
        arg.beginArray();
        while (!arg.atEnd()) {
            quint32 v = 0;
            arg >> v;
            r << v;
        }
        arg.endArray();
    } else if (Value.canConvert<QList<quint32>>()) {
        r = Value.value<QList<quint32>>();
    }
    return r;
}

// The first members of each structure of an "a(uu)" value.
QList<quint32> ToFirstOfPairs(const QVariant& Value)
{
    QList<quint32> r;
    if (!Value.canConvert<QDBusArgument>()) {
        return r;
    }
    const QDBusArgument arg = Value.value<QDBusArgument>();
    arg.beginArray();
    while (!arg.atEnd()) {
        quint32 a = 0;
        quint32 b = 0;
        arg.beginStructure();
        arg >> a >> b;
        arg.endStructure();
        r << a;
    }
    arg.endArray();
    return r;
}

// The signal quality "(ub)": a percentage and whether it is recent.
quint32 ToSignalPercent(const QVariant& Value)
{
    if (!Value.canConvert<QDBusArgument>()) {
        return 0;
    }
    const QDBusArgument arg = Value.value<QDBusArgument>();
    quint32 percent = 0;
    bool recent = false;
    arg.beginStructure();
    arg >> percent >> recent;
    arg.endStructure();
    return percent;
}

QList<QString> ToPathList(const QVariant& Value)
{
    QList<QString> r;
    if (Value.canConvert<QDBusArgument>()) {
        const QDBusArgument arg = Value.value<QDBusArgument>();
        arg.beginArray();
        while (!arg.atEnd()) {
            QDBusObjectPath p;
            arg >> p;
            r << p.path();
        }
        arg.endArray();
    } else if (Value.canConvert<QList<QDBusObjectPath>>()) {
        for (const QDBusObjectPath& p : Value.value<QList<QDBusObjectPath>>()) {
            r << p.path();
        }
    }
    return r;
}

QString ToPath(const QVariant& Value)
{
    if (Value.canConvert<QDBusObjectPath>()) {
        return Value.value<QDBusObjectPath>().path();
    }
    return Value.toString();
}

QVariant Unwrap(const QVariant& Value)
{
    if (Value.canConvert<QDBusVariant>()) {
        return Value.value<QDBusVariant>().variant();
    }
    return Value;
}

// ModemManager's band names, as its own tools print them.
QString BandName(quint32 Band)
{
    static const char* const kLow[] = {nullptr,   "egsm",    "dcs",     "pcs",     "g850",    "utran-1", "utran-3",
                                       "utran-4", "utran-6", "utran-5", "utran-8", "utran-9", "utran-2", "utran-7",
                                       "g450",    "g480",    "g750",    "g380",    "g410",    "g710",    "g810"};
    if (Band < std::size(kLow) && kLow[Band]) {
        return QLatin1String(kLow[Band]);
    }
    if (Band >= 31 && Band <= 115) {
        return QStringLiteral("eutran-%1").arg(Band - 30);
    }
    if (Band >= 128 && Band <= 147) {
        return QStringLiteral("cdma-bc%1").arg(Band - 128);
    }
    if (Band >= 210 && Band <= 232) {
        return QStringLiteral("utran-%1").arg(Band - 200);
    }
    if (Band == 256) {
        return QStringLiteral("any");
    }
    if (Band >= 301 && Band <= 600) {
        return QStringLiteral("ngran-%1").arg(Band - 300);
    }
    return QStringLiteral("band-%1").arg(Band);
}

bool IsCdmaBand(quint32 Band)
{
    return Band >= 128 && Band <= 147;
}

// ModemManager writes time stamps as ISO 8601 with the offset of the service centre's zone,
// which may be "+HH", "+HH:MM", "+HHMM" or "Z".
QDateTime ParseTimeStamp(const QString& Text)
{
    static const QRegularExpression re(
        QStringLiteral(R"(^(\d{4})-(\d\d)-(\d\d)T(\d\d):(\d\d):(\d\d)(?:\.\d+)?(Z|([+-])(\d\d)(?::?(\d\d))?)?$)"));
    const QRegularExpressionMatch m = re.match(Text.trimmed());
    if (!m.hasMatch()) {
        return QDateTime();
    }
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
    int offset = 0;
    if (!m.captured(8).isEmpty()) {
        offset = m.captured(9).toInt() * 3600 + m.captured(10).toInt() * 60;
        if (m.captured(8) == QLatin1String("-")) {
            offset = -offset;
        }
    }
    return QDateTime(date, time, QTimeZone(offset));
}

QString XmlEscape(const QString& Text)
{
    return Text.toHtmlEscaped();
}

// The reasons NetworkManager gives for an active connection that ended.
QString ActiveStateReasonText(quint32 Reason)
{
    switch (Reason) {
    case 1:
        return QStringLiteral("no reason given");
    case 2:
        return QStringLiteral("the connection was disconnected by the user");
    case 3:
        return QStringLiteral("the device was disconnected");
    case 4:
        return QStringLiteral("the service providing the connection stopped");
    case 5:
        return QStringLiteral("the IP configuration could not be obtained");
    case 6:
        return QStringLiteral("the connection attempt timed out");
    case 7:
        return QStringLiteral("the service failed to start in time");
    case 8:
        return QStringLiteral("the service failed to start");
    case 9:
        return QStringLiteral("no valid secrets (a PIN, user name or password) were available");
    case 10:
        return QStringLiteral("the secrets were wrong");
    case 11:
        return QStringLiteral("the connection was removed");
    case 12:
        return QStringLiteral("a connection it depends on failed");
    case 13:
        return QStringLiteral("the device could not be prepared for the connection");
    case 14:
        return QStringLiteral("the device is no longer available");
    default:
        return QStringLiteral("an unknown reason (%1)").arg(Reason);
    }
}

// NetworkManager's active-connection state mapped to the port's activation state.
quint32 MapNmActiveState(quint32 State)
{
    switch (State) {
    case 1:
        return masActivating;
    case 2:
        return masActivated;
    case 3:
        return masDeactivating;
    case 4:
        return masDeactivated;
    default:
        return masNone;
    }
}

} // namespace

// One modem as ModemManager shows it. It is the port's interface, its connection and its SMS
// facet at once; all three share one lifetime.
class TMMInterface : public IMbnInterface,
                     public IMbnConnection,
                     public IMbnSms,
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
    TMbnResult GetSignalStrength(quint32& SignalStrength) override
    {
        if (FPath.isEmpty()) {
            return mrNotFound;
        }
        // The percentage is q * 100 / 31 of the 0..31 code, rounded down; rounding up gives the code back.
        const quint32 q = ToSignalPercent(FModem.value(QStringLiteral("SignalQuality")));
        SignalStrength = (q * 31 + 99) / 100;
        return mrOk;
    }
    TMbnResult GetSms(std::shared_ptr<IMbnSms>& Sms) override
    {
        if (!FInterfaces.contains(kMMMessaging)) {
            return mrNotSupported;
        }
        Sms = std::shared_ptr<IMbnSms>(shared_from_this(), static_cast<IMbnSms*>(this));
        return mrOk;
    }
    TMbnResult GetByteCounters(quint64& Received, quint64& Sent) override;

    // IMbnConnection
    TMbnResult Connect(const QString& ProfileName, TMbnRequestId& RequestId) override;
    TMbnResult Disconnect(TMbnRequestId& RequestId) override;
    TMbnResult GetConnectionState(quint32& State, QString& ProfileName) override
    {
        State = FState;
        ProfileName = FActiveProfile;
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

    // The backend's side.
    void Bind(const QString& Path, const TInterfaceMap& Interfaces)
    {
        FPath = Path;
        FInterfaces = Interfaces;
        FModem = Interfaces.value(kMMModem);
    }
    void Unbind()
    {
        FPath.clear();
        FInterfaces.clear();
    }
    const QString& Path() const { return FPath; }
    void UpdateProperties(const QString& Interface, const QVariantMap& Changed)
    {
        QVariantMap& props = FInterfaces[Interface];
        for (auto it = Changed.cbegin(); it != Changed.cend(); ++it) {
            props.insert(it.key(), it.value());
        }
        if (Interface == kMMModem) {
            FModem = props;
        }
    }
    void AddInterfaces(const TInterfaceMap& Interfaces)
    {
        for (auto it = Interfaces.cbegin(); it != Interfaces.cend(); ++it) {
            FInterfaces.insert(it.key(), it.value());
        }
        FModem = FInterfaces.value(kMMModem);
    }
    void RemoveInterfaces(const QStringList& Names)
    {
        for (const QString& n : Names) {
            FInterfaces.remove(n);
        }
    }
    bool HasModem() const { return FInterfaces.contains(kMMModem); }

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
    void FinishConnect(TMbnResult Status);
    void FinishDisconnect(TMbnResult Status);
    void ReadDeviceInterface();
    void QueueDelete(const QString& Key, std::function<void(TMbnResult)> Done);
    void PumpDeletes();

    TMMInterfaceManager& FManager;
    QString FIdentifier;
    QString FPath;
    TInterfaceMap FInterfaces;
    QVariantMap FModem;

    // Keys handed out by reads: only these may be deleted, so that a message still RECEIVING
    // (whose parts are incomplete) is never removed.
    QSet<QString> FReadKeys;
    // Messages the program has stored but left on the modem, when removing is off.
    QSet<QString> FKept;
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

    // The usage thread reads the counters.
    std::mutex FCounterLock;
    QString FIpInterface;
    QString FCounterKey;
    quint64 FLastRx = 0;
    quint64 FLastTx = 0;
    quint64 FBaseRx = 0;
    quint64 FBaseTx = 0;
};

void TMMInterface::Call(const QDBusMessage& Message, std::function<void(const QDBusMessage&)> Done, int TimeoutMs)
{
    auto* watcher = new QDBusPendingCallWatcher(FManager.Bus().asyncCall(Message, TimeoutMs), &FManager);
    std::weak_ptr<TMMInterface> self = weak_from_this();
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &FManager, [watcher, self, Done = std::move(Done)] {
        watcher->deleteLater();
        if (self.expired()) {
            return;
        }
        const QDBusMessage reply = QDBusPendingReply<>(*watcher).reply();
        try {
            Done(reply);
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
    Caps = TMbnInterfaceCaps();
    quint32 caps = 0;
    for (quint32 c : ToUIntList(FModem.value(QStringLiteral("SupportedCapabilities")))) {
        caps |= c;
    }
    const bool gpp = (caps & kCap3gpp) != 0;
    const bool cdma = (caps & kCapCdmaEvdo) != 0;
    Caps.cellularClass = gpp ? 1 : (cdma ? 2 : 0);
    // Without a Voice interface the modem cannot place calls; with one, whether voice and data go
    // together is not said, so the class stays unknown.
    Caps.voiceClass = FInterfaces.contains(kMMVoice) ? 0 : 1;
    quint32 modes = 0;
    for (quint32 m : ToFirstOfPairs(FModem.value(QStringLiteral("SupportedModes")))) {
        modes |= m;
    }
    if (modes & kMode2g) {
        Caps.dataClass |= gpp ? kDataGprs : kData1xRtt;
    }
    if (modes & kMode3g) {
        Caps.dataClass |= gpp ? kDataUmts : kData1xEvdo;
    }
    if (modes & kMode4g) {
        Caps.dataClass |= kDataLte;
    }
    if (modes & kMode5g) {
        Caps.dataClass |= kMbnCustomClass;
        Caps.customDataClass = QStringLiteral("5G NR");
    }
    QStringList bands;
    bool cdmaBands = false;
    bool otherBands = false;
    for (quint32 b : ToUIntList(FModem.value(QStringLiteral("SupportedBands")))) {
        if (b == 0) {
            continue; // "unknown": the modem did not say
        }
        bands << BandName(b);
        (IsCdmaBand(b) ? cdmaBands : otherBands) = true;
    }
    if (!bands.isEmpty()) {
        Caps.customBandClass = bands.join(QStringLiteral(", "));
        if (otherBands || Caps.cellularClass == 1) {
            Caps.gsmBandClass = kMbnCustomClass;
        }
        if (cdmaBands || Caps.cellularClass == 2) {
            Caps.cdmaBandClass = kMbnCustomClass;
        }
    }
    if (FInterfaces.contains(kMMMessaging)) {
        Caps.smsCaps = mscTextReceive | mscTextSend;
    }
    if (gpp && FInterfaces.contains(kMM3gpp)) {
        Caps.controlCaps |= kCtlRegManual;
    }
    if (FInterfaces.contains(kMMUssd)) {
        Caps.controlCaps |= kCtlUssd;
    }
    if (gpp && cdma) {
        Caps.controlCaps |= kCtlMultiCellular;
    }
    Caps.deviceID = FModem.value(QStringLiteral("EquipmentIdentifier")).toString();
    Caps.manufacturer = FModem.value(QStringLiteral("Manufacturer")).toString();
    Caps.model = FModem.value(QStringLiteral("Model")).toString();
    Caps.firmwareInfo = FModem.value(QStringLiteral("Revision")).toString();
    return mrOk;
}

TMbnResult TMMInterface::GetByteCounters(quint64& Received, quint64& Sent)
{
    std::lock_guard<std::mutex> lock(FCounterLock);
    // The link's counters start again at zero when it is re-created (a new connection may bring a
    // new interface): what the old one counted is kept as a base, so the sum only grows.
    if (!FIpInterface.isEmpty() && !FIpInterface.contains(QLatin1Char('/'))) {
        const QString root = FManager.SysfsRoot() + QLatin1Char('/') + FIpInterface;
        auto read = [](const QString& File, quint64& Value) {
            QFile f(File);
            if (!f.open(QIODevice::ReadOnly)) {
                return false;
            }
            bool ok = false;
            Value = f.readAll().trimmed().toULongLong(&ok);
            return ok;
        };
        // A wwan-type interface is already counted by the usage thread's own sysfs source;
        // counting it here too would count every byte twice. Only other links (ppp, usb
        // ethernet) are this backend's to report.
        bool wwan = false;
        if (QFile f(root + QStringLiteral("/uevent")); f.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : f.readAll().split('\n')) {
                wwan = wwan || line.trimmed() == "DEVTYPE=wwan";
            }
        }
        if (wwan) {
            Received = FBaseRx + FLastRx;
            Sent = FBaseTx + FLastTx;
            return mrOk;
        }
        quint64 rx = 0;
        quint64 tx = 0;
        QString ifindex;
        if (QFile f(root + QStringLiteral("/ifindex")); f.open(QIODevice::ReadOnly)) {
            ifindex = QString::fromLatin1(f.readAll().trimmed());
        }
        if (read(root + QStringLiteral("/statistics/rx_bytes"), rx) &&
            read(root + QStringLiteral("/statistics/tx_bytes"), tx)) {
            const QString key = FIpInterface + QLatin1Char('#') + ifindex;
            if (key != FCounterKey || rx < FLastRx || tx < FLastTx) {
                FBaseRx += FLastRx;
                FBaseTx += FLastTx;
                FCounterKey = key;
            }
            FLastRx = rx;
            FLastTx = tx;
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
                 if (FKept.contains(p)) {
                     continue;
                 }
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
                         // A message still RECEIVING has parts missing; a status report is no message.
                         if (state == kSmsStateReceived && type != kSmsPduStatusReport) {
                             TMbnSmsMessage m;
                             m.Key = p;
                             m.Number = props.value(QStringLiteral("Number")).toString();
                             m.Text = props.value(QStringLiteral("Text")).toString();
                             m.TimeStamp = ParseTimeStamp(props.value(QStringLiteral("Timestamp")).toString());
                             collect->Found.insert(p, m);
                             FReadKeys.insert(p);
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
    FDeleting = true;
    // Plain variables rather than a structured binding: clang 14 cannot capture bindings.
    QString key = std::move(FDeletes.front().first);
    auto done = std::move(FDeletes.front().second);
    FDeletes.pop_front();
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
    const QList<QString> keys = FReadKeys.values();
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

TMbnResult TMMInterface::Connect(const QString& ProfileName, TMbnRequestId& RequestId)
{
    if (!FManager.NetworkManagerAvailable()) {
        return FManager.MakeError(
            QStringLiteral("NetworkManager is not running: connections of a ModemManager modem are made through it"));
    }
    if (FConnectPending || FDisconnectPending) {
        return mrBusy;
    }
    QString profilePath;
    for (const TMMInterfaceManager::TNmProfile& p : FManager.ProfilesFor(FIdentifier)) {
        if (p.Id == ProfileName) {
            profilePath = p.Path;
            break;
        }
    }
    if (profilePath.isEmpty()) {
        return mrNotFound;
    }
    const TMbnRequestId id = FManager.NextRequestId();
    RequestId = id;
    FConnectPending = true;
    FConnectRequest = id;
    FConnectingProfile = ProfileName;
    QDBusMessage activate =
        QDBusMessage::createMethodCall(kNmService, kNmPath, kNmService, QStringLiteral("ActivateConnection"));
    activate << QVariant::fromValue(QDBusObjectPath(profilePath))
             << QVariant::fromValue(QDBusObjectPath(FNmDevice.isEmpty() ? QStringLiteral("/") : FNmDevice))
             << QVariant::fromValue(QDBusObjectPath(QStringLiteral("/")));
    Call(activate, [this](const QDBusMessage& Reply) {
        if (Reply.type() != QDBusMessage::ReplyMessage || Reply.arguments().isEmpty()) {
            // Refused at once: wrong profile for the device, device unavailable, no permission.
            FinishConnect(FManager.MakeError(Reply));
            return;
        }
        const QString active = ToPath(Reply.arguments().at(0));
        FActivePath = active;
        FActiveProfile = FConnectingProfile;
        // Its first state changes may have come before this reply, while its path was unknown.
        quint32 earlyState = 0;
        quint32 earlyReason = 0;
        if (FManager.TakeUnclaimedState(active, earlyState, earlyReason) && earlyReason != 0) {
            FLastReason = earlyReason;
        }
        // The state may already have moved on before this reply, without a signal we saw.
        QDBusMessage get = QDBusMessage::createMethodCall(kNmService, active, kProperties, QStringLiteral("Get"));
        get << kNmActive << QStringLiteral("State");
        Call(get, [this, active](const QDBusMessage& R) {
            if (active != FActivePath) {
                return;
            }
            if (R.type() != QDBusMessage::ReplyMessage || R.arguments().isEmpty()) {
                // Gone already: it ended before we could look.
                ActiveStateChanged(active, 4, FLastReason);
                return;
            }
            ActiveStateChanged(active, Unwrap(R.arguments().at(0)).toUInt(), FLastReason);
        });
    });
    if (FState != masActivating) {
        FState = masActivating;
        Emit([this] { Q_EMIT FManager.ConnectStateChange(FIdentifier); });
    }
    return mrOk;
}

TMbnResult TMMInterface::Disconnect(TMbnRequestId& RequestId)
{
    if (!FManager.NetworkManagerAvailable()) {
        return FManager.MakeError(
            QStringLiteral("NetworkManager is not running: connections of a ModemManager modem are made through it"));
    }
    if (FDisconnectPending || (FConnectPending && FActivePath.isEmpty())) {
        // An activation whose connection NetworkManager has not named yet cannot be cancelled.
        return mrBusy;
    }
    const TMbnRequestId id = FManager.NextRequestId();
    RequestId = id;
    if (FActivePath.isEmpty()) {
        FState = masDeactivated;
        Emit([this, id] { Q_EMIT FManager.DisconnectComplete(FIdentifier, id, mrOk); });
        return mrOk;
    }
    FDisconnectPending = true;
    FDisconnectRequest = id;
    const QString active = FActivePath;
    QDBusMessage deactivate =
        QDBusMessage::createMethodCall(kNmService, kNmPath, kNmService, QStringLiteral("DeactivateConnection"));
    deactivate << QVariant::fromValue(QDBusObjectPath(active));
    Call(deactivate, [this, active](const QDBusMessage& Reply) {
        if (Reply.type() != QDBusMessage::ReplyMessage) {
            // Refused: the connection is still there, in the state it had.
            if (active == FActivePath && FState == masDeactivating) {
                FState = masActivated;
            }
            FinishDisconnect(FManager.MakeError(Reply));
            QDBusMessage get = QDBusMessage::createMethodCall(kNmService, active, kProperties, QStringLiteral("Get"));
            get << kNmActive << QStringLiteral("State");
            Call(get, [this, active](const QDBusMessage& R) {
                if (R.type() == QDBusMessage::ReplyMessage && !R.arguments().isEmpty()) {
                    ActiveStateChanged(active, Unwrap(R.arguments().at(0)).toUInt(), 0);
                }
            });
            return;
        }
        if (active != FActivePath) {
            return; // already seen to end
        }
        // The connection may be gone already without a state signal (its object removed).
        QDBusMessage get = QDBusMessage::createMethodCall(kNmService, active, kProperties, QStringLiteral("Get"));
        get << kNmActive << QStringLiteral("State");
        Call(get, [this, active](const QDBusMessage& R) {
            if (active != FActivePath) {
                return;
            }
            const quint32 state = R.type() == QDBusMessage::ReplyMessage && !R.arguments().isEmpty()
                                      ? Unwrap(R.arguments().at(0)).toUInt()
                                      : 4;
            ActiveStateChanged(active, state, 2);
        });
    });
    if (FState != masDeactivating) {
        FState = masDeactivating;
        Emit([this] { Q_EMIT FManager.ConnectStateChange(FIdentifier); });
    }
    return mrOk;
}

void TMMInterface::FinishConnect(TMbnResult Status)
{
    if (!FConnectPending) {
        return;
    }
    FConnectPending = false;
    if (MbnFailed(Status) && FActivePath.isEmpty()) {
        FState = masDeactivated;
        FActiveProfile.clear();
    }
    Q_EMIT FManager.ConnectComplete(FIdentifier, FConnectRequest, Status);
}

void TMMInterface::FinishDisconnect(TMbnResult Status)
{
    if (!FDisconnectPending) {
        return;
    }
    FDisconnectPending = false;
    Q_EMIT FManager.DisconnectComplete(FIdentifier, FDisconnectRequest, Status);
}

void TMMInterface::TakeActiveConnection(const QString& ActivePath, const QString& ProfileName, quint32 NmState)
{
    FActivePath = ActivePath;
    FActiveProfile = ProfileName;
    FState = MapNmActiveState(NmState);
    if (FState == masActivated) {
        ReadDeviceInterface();
    }
}

void TMMInterface::ActiveStateChanged(const QString& ActivePath, quint32 NmState, quint32 Reason)
{
    if (ActivePath != FActivePath || FActivePath.isEmpty()) {
        return;
    }
    if (Reason != 0) {
        FLastReason = Reason;
    }
    const quint32 state = MapNmActiveState(NmState);
    if (state == masNone) {
        return;
    }
    if (FDisconnectPending && (state == masActivated || state == masActivating)) {
        // A report from before our disconnect, arriving late: the connection is on its way down.
        return;
    }
    const bool changed = state != FState;
    FState = state;
    if (state == masActivated) {
        ReadDeviceInterface();
        FinishConnect(mrOk);
    } else if (state == masDeactivated) {
        FActivePath.clear();
        FActiveProfile.clear();
        if (FConnectPending) {
            // The activation failed: the user hears why, and the state shown is the real one.
            FinishConnect(FManager.MakeError(
                QStringLiteral("The connection could not be established: %1").arg(ActiveStateReasonText(FLastReason))));
        }
        FinishDisconnect(mrOk);
        FLastReason = 0;
    }
    if (changed) {
        Q_EMIT FManager.ConnectStateChange(FIdentifier);
    }
}

void TMMInterface::ReadDeviceInterface()
{
    if (FNmDevice.isEmpty()) {
        return;
    }
    QDBusMessage get = QDBusMessage::createMethodCall(kNmService, FNmDevice, kProperties, QStringLiteral("Get"));
    get << kNmDevice << QStringLiteral("IpInterface");
    Call(get, [this](const QDBusMessage& R) {
        if (R.type() == QDBusMessage::ReplyMessage && !R.arguments().isEmpty()) {
            SetIpInterface(Unwrap(R.arguments().at(0)).toString());
        }
    });
}

// ---------------------------------------------------------------------------------------------

namespace
{

class TMMProfileManager : public IMbnConnectionProfileManager
{
public:
    explicit TMMProfileManager(std::shared_ptr<TMMInterfaceManager> Manager)
        : FManager(std::move(Manager))
    {
    }
    TMbnResult GetConnectionProfiles(const QString& InterfaceID, QStringList& ProfileXml) override
    {
        std::shared_ptr<IMbnInterface> i;
        if (MbnFailed(FManager->GetInterface(InterfaceID, i))) {
            return mrNotFound;
        }
        const QList<TMMInterfaceManager::TNmProfile> profiles = FManager->ProfilesFor(InterfaceID);
        // The default is the autoconnect profile of highest priority, the first of equals.
        qsizetype best = -1;
        for (qsizetype n = 0; n < profiles.size(); ++n) {
            if (profiles[n].AutoConnect && (best < 0 || profiles[n].Priority > profiles[best].Priority)) {
                best = n;
            }
        }
        ProfileXml.clear();
        for (qsizetype n = 0; n < profiles.size(); ++n) {
            const TMMInterfaceManager::TNmProfile& p = profiles[n];
            const QString mode = !p.AutoConnect ? QStringLiteral("manual")
                                 : p.HomeOnly   ? QStringLiteral("auto-home")
                                                : QStringLiteral("auto");
            // The password is left out: NetworkManager keeps it and gives it only to administrators.
            const QString cred = p.UserName.isEmpty()
                                     ? QString()
                                     : QStringLiteral("<UserLogonCred><UserName>%1</UserName></UserLogonCred>")
                                           .arg(XmlEscape(p.UserName));
            ProfileXml << QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                                         "<MBNProfile xmlns=\"urn:ombrelay:networkmanager:profile\">"
                                         "<Name>%1</Name><IsDefault>%2</IsDefault>"
                                         "<ConnectionMode>%3</ConnectionMode>"
                                         "<Context><AccessString>%4</AccessString>%5</Context>"
                                         "</MBNProfile>")
                              .arg(XmlEscape(p.Id), n == best ? QStringLiteral("true") : QStringLiteral("false"), mode,
                                   XmlEscape(p.Apn), cred);
        }
        return mrOk;
    }

private:
    std::shared_ptr<TMMInterfaceManager> FManager;
};

// A bounded wait for one reply, used only while the backend is created.
QDBusMessage CallBounded(QDBusConnection& Bus, const QDBusMessage& Message, int TimeoutMs)
{
    QDBusPendingCall call = Bus.asyncCall(Message, std::max(1, TimeoutMs));
    call.waitForFinished();
    return QDBusPendingReply<>(call).reply();
}

} // namespace

TMMInterfaceManager::TMMInterfaceManager(const TMMBackendOptions& Options)
    : FOptions(Options)
    , FBus(QDBusConnection::systemBus())
{
    // ModemManager or NetworkManager may restart, or start after the program.
    FWatcher.setConnection(FBus);
    FWatcher.setWatchMode(QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration);
    FWatcher.addWatchedService(kMMService);
    FWatcher.addWatchedService(kNmService);
    connect(&FWatcher, &QDBusServiceWatcher::serviceRegistered, this, &TMMInterfaceManager::OnServiceRegistered);
    connect(&FWatcher, &QDBusServiceWatcher::serviceUnregistered, this, &TMMInterfaceManager::OnServiceUnregistered);
}

TMMInterfaceManager::~TMMInterfaceManager()
{
    FBus.disconnect(kMMService, QString(), kObjectManager, QStringLiteral("InterfacesAdded"), this,
                    SLOT(OnInterfacesAdded(QDBusMessage)));
    FBus.disconnect(kMMService, QString(), kObjectManager, QStringLiteral("InterfacesRemoved"), this,
                    SLOT(OnInterfacesRemoved(QDBusMessage)));
    FBus.disconnect(kMMService, QString(), kProperties, QStringLiteral("PropertiesChanged"), this,
                    SLOT(OnMMPropertiesChanged(QDBusMessage)));
    FBus.disconnect(kMMService, QString(), kMMMessaging, QStringLiteral("Added"), this,
                    SLOT(OnMessageAdded(QDBusMessage)));
    FBus.disconnect(kNmService, QString(), kProperties, QStringLiteral("PropertiesChanged"), this,
                    SLOT(OnNmPropertiesChanged(QDBusMessage)));
    FBus.disconnect(kNmService, QString(), kNmActive, QStringLiteral("StateChanged"), this,
                    SLOT(OnNmActiveStateChanged(QDBusMessage)));
    FBus.disconnect(kNmService, kNmSettingsPath, kNmSettings, QStringLiteral("NewConnection"), this,
                    SLOT(OnNmSettingsChanged(QDBusMessage)));
    FBus.disconnect(kNmService, kNmSettingsPath, kNmSettings, QStringLiteral("ConnectionRemoved"), this,
                    SLOT(OnNmSettingsChanged(QDBusMessage)));
    FBus.disconnect(kNmService, QString(), kNmConnection, QStringLiteral("Updated"), this,
                    SLOT(OnNmSettingsChanged(QDBusMessage)));
    FBus.disconnect(kNmService, kNmPath, kNmService, QStringLiteral("DeviceAdded"), this,
                    SLOT(OnNmDeviceAdded(QDBusMessage)));
}

std::shared_ptr<TMMInterfaceManager> TMMInterfaceManager::Create(const TMMBackendOptions& Options, bool RequireModem,
                                                                 QString* Reason)
{
    std::shared_ptr<TMMInterfaceManager> m(new TMMInterfaceManager(Options));
    if (!m->Load(RequireModem, Reason)) {
        return nullptr;
    }
    return m;
}

bool TMMInterfaceManager::Load(bool RequireModem, QString* Reason)
{
    auto fail = [Reason](const QString& Text) {
        if (Reason) {
            *Reason = Text;
        }
        return false;
    };
    if (!FBus.isConnected()) {
        return fail(QStringLiteral("The system bus is not available: %1").arg(FBus.lastError().message()));
    }
    QElapsedTimer timer;
    timer.start();
    // Subscribe first, so that nothing that changes between the read and the subscription is lost.
    FBus.connect(kMMService, QString(), kObjectManager, QStringLiteral("InterfacesAdded"), this,
                 SLOT(OnInterfacesAdded(QDBusMessage)));
    FBus.connect(kMMService, QString(), kObjectManager, QStringLiteral("InterfacesRemoved"), this,
                 SLOT(OnInterfacesRemoved(QDBusMessage)));
    FBus.connect(kMMService, QString(), kProperties, QStringLiteral("PropertiesChanged"), this,
                 SLOT(OnMMPropertiesChanged(QDBusMessage)));
    FBus.connect(kMMService, QString(), kMMMessaging, QStringLiteral("Added"), this,
                 SLOT(OnMessageAdded(QDBusMessage)));
    const QDBusMessage reply = CallBounded(FBus,
                                           QDBusMessage::createMethodCall(kMMService, kMMPath, kObjectManager,
                                                                          QStringLiteral("GetManagedObjects")),
                                           FOptions.StartTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return fail(QStringLiteral("ModemManager does not answer: %1").arg(reply.errorMessage()));
    }
    const QDBusArgument arg = reply.arguments().at(0).value<QDBusArgument>();
    arg.beginMap();
    while (!arg.atEnd()) {
        QDBusObjectPath path;
        arg.beginMapEntry();
        arg >> path;
        const TInterfaceMap interfaces = ReadInterfaceMap(arg);
        arg.endMapEntry();
        if (interfaces.contains(kMMModem)) {
            AddModem(path.path(), interfaces);
        }
    }
    arg.endMap();
    if (RequireModem && FInterfaces.isEmpty()) {
        return fail(QStringLiteral("ModemManager knows no modem"));
    }
    LoadNetworkManager(std::max(200, FOptions.StartTimeoutMs - int(timer.elapsed())));
    return true;
}

void TMMInterfaceManager::AddModem(const QString& Path, const TInterfaceMap& Interfaces)
{
    const QVariantMap modem = Interfaces.value(kMMModem);
    QString id = modem.value(QStringLiteral("DeviceIdentifier")).toString();
    if (id.isEmpty()) {
        id = Path; // not yet known; should not happen once the modem is exported
    }
    for (const auto& i : std::as_const(FInterfaces)) {
        if (i->InterfaceID() == id) {
            // The same device again (re-plugged, or ModemManager restarted): same identifier, new path.
            i->Bind(Path, Interfaces);
            return;
        }
    }
    auto i = std::make_shared<TMMInterface>(*this, id);
    i->Bind(Path, Interfaces);
    FInterfaces << i;
}

void TMMInterfaceManager::LoadNetworkManager(int TimeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    auto left = [&] { return std::max(100, TimeoutMs - int(timer.elapsed())); };
    FBus.connect(kNmService, QString(), kProperties, QStringLiteral("PropertiesChanged"), this,
                 SLOT(OnNmPropertiesChanged(QDBusMessage)));
    FBus.connect(kNmService, QString(), kNmActive, QStringLiteral("StateChanged"), this,
                 SLOT(OnNmActiveStateChanged(QDBusMessage)));
    FBus.connect(kNmService, kNmSettingsPath, kNmSettings, QStringLiteral("NewConnection"), this,
                 SLOT(OnNmSettingsChanged(QDBusMessage)));
    FBus.connect(kNmService, kNmSettingsPath, kNmSettings, QStringLiteral("ConnectionRemoved"), this,
                 SLOT(OnNmSettingsChanged(QDBusMessage)));
    FBus.connect(kNmService, QString(), kNmConnection, QStringLiteral("Updated"), this,
                 SLOT(OnNmSettingsChanged(QDBusMessage)));
    FBus.connect(kNmService, kNmPath, kNmService, QStringLiteral("DeviceAdded"), this,
                 SLOT(OnNmDeviceAdded(QDBusMessage)));
    const QDBusMessage list = CallBounded(FBus,
                                          QDBusMessage::createMethodCall(kNmService, kNmSettingsPath, kNmSettings,
                                                                         QStringLiteral("ListConnections")),
                                          left());
    if (list.type() != QDBusMessage::ReplyMessage || list.arguments().isEmpty()) {
        FNmAvailable = false;
        return;
    }
    FNmAvailable = true;
    const QList<QString> paths = ToPathList(list.arguments().at(0));
    QList<QDBusPendingCall> calls;
    for (const QString& p : paths) {
        calls << FBus.asyncCall(QDBusMessage::createMethodCall(kNmService, p, kNmConnection,
                                                               QStringLiteral("GetSettings")),
                                left());
    }
    QList<QDBusMessage> replies;
    for (QDBusPendingCall& c : calls) {
        c.waitForFinished();
        replies << QDBusPendingReply<>(c).reply();
    }
    FProfiles = ReadProfiles(paths, replies);

    // The NetworkManager device of each modem: its Udi is the modem's object path.
    const QDBusMessage devices =
        CallBounded(FBus, QDBusMessage::createMethodCall(kNmService, kNmPath, kNmService, QStringLiteral("GetDevices")),
                    left());
    if (devices.type() != QDBusMessage::ReplyMessage || devices.arguments().isEmpty()) {
        return;
    }
    for (const QString& d : ToPathList(devices.arguments().at(0))) {
        if (timer.elapsed() >= TimeoutMs) {
            // The rest comes later, without holding up the start.
            ReloadDevices();
            return;
        }
        QDBusMessage get = QDBusMessage::createMethodCall(kNmService, d, kProperties, QStringLiteral("GetAll"));
        get << kNmDevice;
        const QDBusMessage r = CallBounded(FBus, get, left());
        if (r.type() != QDBusMessage::ReplyMessage || r.arguments().isEmpty()) {
            continue;
        }
        QVariantMap props;
        r.arguments().at(0).value<QDBusArgument>() >> props;
        const QString udi = props.value(QStringLiteral("Udi")).toString();
        std::shared_ptr<TMMInterface> modem = FindByPath(udi);
        if (!modem) {
            continue;
        }
        modem->FNmDevice = d;
        modem->SetIpInterface(props.value(QStringLiteral("IpInterface")).toString());
        // A connection already up when the program starts.
        const QString active = ToPath(props.value(QStringLiteral("ActiveConnection")));
        if (active.isEmpty() || active == QLatin1String("/")) {
            continue;
        }
        QDBusMessage getActive =
            QDBusMessage::createMethodCall(kNmService, active, kProperties, QStringLiteral("GetAll"));
        getActive << kNmActive;
        const QDBusMessage ra = CallBounded(FBus, getActive, left());
        if (ra.type() == QDBusMessage::ReplyMessage && !ra.arguments().isEmpty()) {
            QVariantMap a;
            ra.arguments().at(0).value<QDBusArgument>() >> a;
            modem->TakeActiveConnection(active, a.value(QStringLiteral("Id")).toString(),
                                        a.value(QStringLiteral("State")).toUInt());
        }
    }
}

QList<TMMInterfaceManager::TNmProfile> TMMInterfaceManager::ReadProfiles(const QList<QString>& Paths,
                                                                         const QList<QDBusMessage>& Replies)
{
    QList<TNmProfile> r;
    for (qsizetype n = 0; n < Paths.size() && n < Replies.size(); ++n) {
        const QDBusMessage& reply = Replies[n];
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            continue;
        }
        const TInterfaceMap settings = ToInterfaceMap(reply.arguments().at(0));
        const QVariantMap connection = settings.value(QStringLiteral("connection"));
        if (connection.value(QStringLiteral("type")).toString() != QLatin1String("gsm")) {
            continue;
        }
        const QVariantMap gsm = settings.value(QStringLiteral("gsm"));
        TNmProfile p;
        p.Path = Paths[n];
        p.Id = connection.value(QStringLiteral("id")).toString();
        p.AutoConnect = connection.value(QStringLiteral("autoconnect"), true).toBool();
        p.Priority = connection.value(QStringLiteral("autoconnect-priority"), 0).toInt();
        p.Apn = gsm.value(QStringLiteral("apn")).toString();
        p.UserName = gsm.value(QStringLiteral("username")).toString();
        p.DeviceId = gsm.value(QStringLiteral("device-id")).toString();
        p.HomeOnly = gsm.value(QStringLiteral("home-only"), false).toBool();
        r << p;
    }
    return r;
}

void TMMInterfaceManager::ReloadProfiles()
{
    // One reload at a time; changes during it ask for another.
    if (FProfilesLoading) {
        FProfilesStale = true;
        return;
    }
    FProfilesLoading = true;
    FProfilesStale = false;
    auto* watcher =
        new QDBusPendingCallWatcher(FBus.asyncCall(QDBusMessage::createMethodCall(kNmService, kNmSettingsPath,
                                                                                  kNmSettings,
                                                                                  QStringLiteral("ListConnections"))),
                                    this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        const QDBusMessage list = QDBusPendingReply<>(*watcher).reply();
        if (list.type() != QDBusMessage::ReplyMessage || list.arguments().isEmpty()) {
            FProfilesLoading = false;
            return;
        }
        FNmAvailable = true;
        const QList<QString> paths = ToPathList(list.arguments().at(0));
        auto replies = std::make_shared<QList<QDBusMessage>>(paths.size());
        auto pending = std::make_shared<qsizetype>(paths.size());
        auto done = [this, paths, replies] {
            FProfiles = ReadProfiles(paths, *replies);
            FProfilesLoading = false;
            if (FProfilesStale) {
                ReloadProfiles();
            }
        };
        if (paths.isEmpty()) {
            done();
            return;
        }
        for (qsizetype n = 0; n < paths.size(); ++n) {
            auto* w =
                new QDBusPendingCallWatcher(FBus.asyncCall(
                                                QDBusMessage::createMethodCall(kNmService, paths[n], kNmConnection,
                                                                               QStringLiteral("GetSettings"))),
                                            this);
            connect(w, &QDBusPendingCallWatcher::finished, this, [w, n, replies, pending, done] {
                w->deleteLater();
                (*replies)[n] = QDBusPendingReply<>(*w).reply();
                if (--*pending == 0) {
                    done();
                }
            });
        }
    });
}

QList<TMMInterfaceManager::TNmProfile> TMMInterfaceManager::ProfilesFor(const QString& InterfaceID) const
{
    QList<TNmProfile> r;
    for (const TNmProfile& p : FProfiles) {
        // A profile bound to another device's identifier is not offered for this one.
        if (p.DeviceId.isEmpty() || p.DeviceId == InterfaceID) {
            r << p;
        }
    }
    return r;
}

std::shared_ptr<TMMInterface> TMMInterfaceManager::FindByPath(const QString& Path) const
{
    if (Path.isEmpty()) {
        return nullptr;
    }
    for (const auto& i : FInterfaces) {
        if (i->Path() == Path) {
            return i;
        }
    }
    return nullptr;
}

TMbnResult TMMInterfaceManager::GetInterfaces(QList<std::shared_ptr<IMbnInterface>>& Interfaces)
{
    Interfaces.clear();
    for (const auto& i : std::as_const(FInterfaces)) {
        if (!i->Path().isEmpty()) {
            Interfaces << i;
        }
    }
    return mrOk;
}

TMbnResult TMMInterfaceManager::GetInterface(const QString& InterfaceID, std::shared_ptr<IMbnInterface>& Interface)
{
    for (const auto& i : std::as_const(FInterfaces)) {
        if (i->InterfaceID() == InterfaceID) {
            Interface = i;
            return mrOk;
        }
    }
    return mrNotFound;
}

TMbnResult TMMInterfaceManager::CreateProfileManager(std::shared_ptr<IMbnConnectionProfileManager>& ProfileManager)
{
    ProfileManager = std::make_shared<TMMProfileManager>(shared_from_this());
    return mrOk;
}

TMbnResult TMMInterfaceManager::MakeError(const QString& Text)
{
    const TMbnResult code = FNextError;
    // Codes are reused after a while; a text is only ever asked for shortly after its failure.
    FNextError = FNextError <= mrBackendBase - 100000 ? mrBackendBase - 1 : FNextError - 1;
    FErrors.insert(code, Text);
    if (FErrors.size() > 1000) {
        FErrors.remove(code + 1000);
    }
    return code;
}

TMbnResult TMMInterfaceManager::MakeError(const QDBusMessage& Reply)
{
    if (Reply.type() == QDBusMessage::ReplyMessage) {
        return MakeError(QStringLiteral("an unexpected answer from the modem stack"));
    }
    QString text = Reply.errorMessage();
    if (text.isEmpty()) {
        text = Reply.errorName();
    }
    return MakeError(text);
}

QString TMMInterfaceManager::ErrorText(TMbnResult Code) const
{
    auto it = FErrors.constFind(Code);
    if (it != FErrors.cend()) {
        return *it;
    }
    return MbnErrorText(Code);
}

void TMMInterfaceManager::OnInterfacesAdded(const QDBusMessage& Message)
{
    if (Message.arguments().size() < 2) {
        return;
    }
    const QString path = ToPath(Message.arguments().at(0));
    const TInterfaceMap interfaces = ToInterfaceMap(Message.arguments().at(1));
    if (std::shared_ptr<TMMInterface> i = FindByPath(path)) {
        i->AddInterfaces(interfaces);
        return;
    }
    if (interfaces.contains(kMMModem)) {
        AddModem(path, interfaces);
        if (FNmAvailable) {
            ReloadDevices();
        }
    }
}

void TMMInterfaceManager::OnInterfacesRemoved(const QDBusMessage& Message)
{
    if (Message.arguments().size() < 2) {
        return;
    }
    const QString path = ToPath(Message.arguments().at(0));
    std::shared_ptr<TMMInterface> i = FindByPath(path);
    if (!i) {
        return;
    }
    i->RemoveInterfaces(Message.arguments().at(1).toStringList());
    if (!i->HasModem()) {
        // The modem went away. Its item stays (the identifier may come back on another path);
        // until then calls on it fail with "not found".
        i->Unbind();
    }
}

void TMMInterfaceManager::OnMMPropertiesChanged(const QDBusMessage& Message)
{
    std::shared_ptr<TMMInterface> i = FindByPath(Message.path());
    if (!i || Message.arguments().size() < 2) {
        return;
    }
    const QString interface = Message.arguments().at(0).toString();
    QVariantMap changed;
    Message.arguments().at(1).value<QDBusArgument>() >> changed;
    i->UpdateProperties(interface, changed);
    if (interface == kMMModem) {
        if (changed.contains(QStringLiteral("SignalQuality"))) {
            Q_EMIT SignalStateChange(i->InterfaceID());
        }
        if (changed.contains(QStringLiteral("State"))) {
            Q_EMIT RegisterStateChange(i->InterfaceID());
        }
    }
}

void TMMInterfaceManager::OnMessageAdded(const QDBusMessage& Message)
{
    std::shared_ptr<TMMInterface> i = FindByPath(Message.path());
    if (!i || Message.arguments().size() < 2) {
        return;
    }
    // Only messages from the network; a message another client creates to send is none of ours.
    if (Message.arguments().at(1).toBool()) {
        Q_EMIT SmsNewMessage(i->InterfaceID());
    }
}

void TMMInterfaceManager::OnNmPropertiesChanged(const QDBusMessage& Message)
{
    if (Message.arguments().size() < 2) {
        return;
    }
    const QString interface = Message.arguments().at(0).toString();
    QVariantMap changed;
    Message.arguments().at(1).value<QDBusArgument>() >> changed;
    const QString path = Message.path();
    if (interface == kNmActive && changed.contains(QStringLiteral("State"))) {
        const quint32 state = changed.value(QStringLiteral("State")).toUInt();
        if (state == 4) {
            // The end of a connection: its StateChanged signal carries the reason, and may come
            // just after this, so it gets a moment to tell why.
            QTimer::singleShot(kReasonGraceMs, this, [this, path] {
                for (const auto& i : std::as_const(FInterfaces)) {
                    i->ActiveStateChanged(path, 4, 0);
                }
            });
            return;
        }
        for (const auto& i : std::as_const(FInterfaces)) {
            i->ActiveStateChanged(path, state, 0);
        }
    } else if (interface == kNmDevice && changed.contains(QStringLiteral("IpInterface"))) {
        for (const auto& i : std::as_const(FInterfaces)) {
            if (i->FNmDevice == path) {
                i->SetIpInterface(changed.value(QStringLiteral("IpInterface")).toString());
            }
        }
    } else if (interface == kNmService && changed.contains(QStringLiteral("ActiveConnections"))) {
        // An active connection that left NetworkManager's list has ended, signal or not.
        const QList<QString> active = ToPathList(changed.value(QStringLiteral("ActiveConnections")));
        for (const auto& i : std::as_const(FInterfaces)) {
            if (!i->FActivePath.isEmpty() && !active.contains(i->FActivePath)) {
                const QString gone = i->FActivePath;
                QTimer::singleShot(kReasonGraceMs, this, [i, gone] { i->ActiveStateChanged(gone, 4, 0); });
            }
        }
    }
}

void TMMInterfaceManager::OnNmActiveStateChanged(const QDBusMessage& Message)
{
    if (Message.arguments().size() < 2) {
        return;
    }
    const quint32 state = Message.arguments().at(0).toUInt();
    const quint32 reason = Message.arguments().at(1).toUInt();
    bool claimed = false;
    for (const auto& i : std::as_const(FInterfaces)) {
        if (i->FActivePath == Message.path()) {
            claimed = true;
            i->ActiveStateChanged(Message.path(), state, reason);
        }
    }
    if (!claimed) {
        // Perhaps a connection of ours whose activation reply is still on its way.
        if (FUnclaimedStates.size() > 64) {
            FUnclaimedStates.clear();
        }
        FUnclaimedStates.insert(Message.path(), {state, reason});
    }
}

bool TMMInterfaceManager::TakeUnclaimedState(const QString& ActivePath, quint32& State, quint32& Reason)
{
    auto it = FUnclaimedStates.find(ActivePath);
    if (it == FUnclaimedStates.end()) {
        return false;
    }
    State = it->first;
    Reason = it->second;
    FUnclaimedStates.erase(it);
    return true;
}

void TMMInterfaceManager::OnNmSettingsChanged(const QDBusMessage& Message)
{
    Q_UNUSED(Message);
    ReloadProfiles();
}

void TMMInterfaceManager::OnNmDeviceAdded(const QDBusMessage& Message)
{
    Q_UNUSED(Message);
    ReloadDevices();
}

void TMMInterfaceManager::OnServiceRegistered(const QString& Service)
{
    if (Service == kNmService) {
        ReloadProfiles();
        ReloadDevices();
    }
    // A restarted ModemManager announces its modems with InterfacesAdded; each finds its item
    // again by its identifier.
}

void TMMInterfaceManager::OnServiceUnregistered(const QString& Service)
{
    if (Service == kMMService) {
        // Gone without saying so for each modem: the items stay, their calls fail until it is back.
        for (const auto& i : std::as_const(FInterfaces)) {
            i->Unbind();
        }
    } else if (Service == kNmService) {
        FNmAvailable = false;
        for (const auto& i : std::as_const(FInterfaces)) {
            if (!i->FActivePath.isEmpty()) {
                i->ActiveStateChanged(i->FActivePath, 4, 0);
            }
            i->FNmDevice.clear();
        }
    }
}

void TMMInterfaceManager::ReloadDevices()
{
    auto* watcher =
        new QDBusPendingCallWatcher(FBus.asyncCall(QDBusMessage::createMethodCall(kNmService, kNmPath, kNmService,
                                                                                  QStringLiteral("GetDevices"))),
                                    this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        const QDBusMessage devices = QDBusPendingReply<>(*watcher).reply();
        if (devices.type() != QDBusMessage::ReplyMessage || devices.arguments().isEmpty()) {
            return;
        }
        for (const QString& d : ToPathList(devices.arguments().at(0))) {
            QDBusMessage get = QDBusMessage::createMethodCall(kNmService, d, kProperties, QStringLiteral("GetAll"));
            get << kNmDevice;
            auto* w = new QDBusPendingCallWatcher(FBus.asyncCall(get), this);
            connect(w, &QDBusPendingCallWatcher::finished, this, [this, w, d] {
                w->deleteLater();
                const QDBusMessage r = QDBusPendingReply<>(*w).reply();
                if (r.type() != QDBusMessage::ReplyMessage || r.arguments().isEmpty()) {
                    return;
                }
                QVariantMap props;
                r.arguments().at(0).value<QDBusArgument>() >> props;
                if (std::shared_ptr<TMMInterface> modem = FindByPath(props.value(QStringLiteral("Udi")).toString())) {
                    modem->FNmDevice = d;
                    modem->SetIpInterface(props.value(QStringLiteral("IpInterface")).toString());
                }
            });
        }
    });
}

} // namespace Ombrelay
