#include "platform/sim/SimScenario.h"

#include "base/Errors.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QSet>

#include <algorithm>

namespace Ombrelay
{

namespace
{

[[noreturn]] void Fail(const QString& Origin, const QString& What)
{
    throw EOmbrelayError(QStringLiteral("Simulated modem scenario %1: %2").arg(Origin, What));
}

void CheckKeys(const QJsonObject& Object, const QStringList& Known, const QString& Origin, const QString& Where)
{
    for (auto it = Object.begin(); it != Object.end(); ++it) {
        if (!Known.contains(it.key())) {
            Fail(Origin, QStringLiteral("unknown key \"%1\" in %2").arg(it.key(), Where));
        }
    }
}

quint32 ReadUInt(const QJsonValue& Value, const QString& Origin, const QString& Name)
{
    if (Value.isDouble()) {
        double d = Value.toDouble();
        if (d < 0 || d > 4294967295.0 || d != double(quint64(d))) {
            Fail(Origin, QStringLiteral("\"%1\" must be a whole number from 0 to 4294967295").arg(Name));
        }
        return quint32(d);
    }
    if (Value.isString()) {
        bool ok = false;
        quint32 v = Value.toString().trimmed().toUInt(&ok, 0);
        if (ok) {
            return v;
        }
    }
    Fail(Origin, QStringLiteral("\"%1\" must be a whole number").arg(Name));
}

QString ReadString(const QJsonValue& Value, const QString& Origin, const QString& Name)
{
    if (!Value.isString()) {
        Fail(Origin, QStringLiteral("\"%1\" must be a string").arg(Name));
    }
    return Value.toString();
}

TMbnInterfaceCaps ReadCaps(const QJsonObject& O, const QString& Origin)
{
    static const QStringList known = {QStringLiteral("cellularClass"),   QStringLiteral("voiceClass"),
                                      QStringLiteral("dataClass"),       QStringLiteral("customDataClass"),
                                      QStringLiteral("gsmBandClass"),    QStringLiteral("cdmaBandClass"),
                                      QStringLiteral("customBandClass"), QStringLiteral("smsCaps"),
                                      QStringLiteral("controlCaps"),     QStringLiteral("deviceID"),
                                      QStringLiteral("manufacturer"),    QStringLiteral("model"),
                                      QStringLiteral("firmwareInfo")};
    CheckKeys(O, known, Origin, QStringLiteral("\"capabilities\""));
    TMbnInterfaceCaps c;
    auto u = [&](const char* key, quint32 def) {
        QString k = QLatin1String(key);
        return O.contains(k) ? ReadUInt(O.value(k), Origin, k) : def;
    };
    auto s = [&](const char* key) {
        QString k = QLatin1String(key);
        return O.contains(k) ? ReadString(O.value(k), Origin, k) : QString();
    };
    c.cellularClass = u("cellularClass", 1);
    c.voiceClass = u("voiceClass", 1);
    c.dataClass = u("dataClass", 0);
    c.customDataClass = s("customDataClass");
    c.gsmBandClass = u("gsmBandClass", 0);
    c.cdmaBandClass = u("cdmaBandClass", 0);
    c.customBandClass = s("customBandClass");
    c.smsCaps = u("smsCaps", mscPduReceive | mscPduSend);
    c.controlCaps = u("controlCaps", 0);
    c.deviceID = s("deviceID");
    c.manufacturer = s("manufacturer");
    c.model = s("model");
    c.firmwareInfo = s("firmwareInfo");
    return c;
}

TSimInterfaceScenario ReadInterface(const QJsonObject& O, const QString& Origin, int Number)
{
    static const QStringList known = {QStringLiteral("id"),
                                      QStringLiteral("capabilities"),
                                      QStringLiteral("profiles"),
                                      QStringLiteral("messages"),
                                      QStringLiteral("capacity"),
                                      QStringLiteral("smsMode"),
                                      QStringLiteral("readBatch"),
                                      QStringLiteral("signal"),
                                      QStringLiteral("plugged"),
                                      QStringLiteral("statusReports"),
                                      QStringLiteral("connectDelayMs"),
                                      QStringLiteral("registration"),
                                      QStringLiteral("pin"),
                                      QStringLiteral("enabled")};
    QString where = QStringLiteral("interface %1").arg(Number + 1);
    CheckKeys(O, known, Origin, where);
    TSimInterfaceScenario r;
    r.InterfaceID = O.contains(QStringLiteral("id"))
                        ? ReadString(O.value(QStringLiteral("id")), Origin, QStringLiteral("id"))
                        : QStringLiteral("sim%1").arg(Number);
    if (r.InterfaceID.isEmpty() || r.InterfaceID.contains(QLatin1Char(' '))) {
        Fail(Origin, QStringLiteral("%1: \"id\" must be a non-empty word without spaces").arg(where));
    }
    if (O.contains(QStringLiteral("capabilities"))) {
        if (!O.value(QStringLiteral("capabilities")).isObject()) {
            Fail(Origin, QStringLiteral("%1: \"capabilities\" must be an object").arg(where));
        }
        r.Caps = ReadCaps(O.value(QStringLiteral("capabilities")).toObject(), Origin);
    } else {
        r.Caps = TSimScenario::Default().Interfaces.first().Caps;
    }
    if (O.contains(QStringLiteral("smsMode"))) {
        QString mode = ReadString(O.value(QStringLiteral("smsMode")), Origin, QStringLiteral("smsMode"));
        if (mode == QLatin1String("pdu")) {
            r.SmsFormat = TMbnSmsFormat::sfPdu;
        } else if (mode == QLatin1String("message")) {
            r.SmsFormat = TMbnSmsFormat::sfMessage;
            // A stack in message mode announces text SMS, not PDUs, unless the scenario says otherwise.
            if (!O.value(QStringLiteral("capabilities")).toObject().contains(QStringLiteral("smsCaps"))) {
                r.Caps.smsCaps = mscTextReceive | mscTextSend;
            }
        } else {
            Fail(Origin, QStringLiteral("%1: \"smsMode\" must be \"pdu\" or \"message\"").arg(where));
        }
    }
    const QJsonValue profiles = O.value(QStringLiteral("profiles"));
    if (!profiles.isUndefined()) {
        if (!profiles.isArray()) {
            Fail(Origin, QStringLiteral("%1: \"profiles\" must be an array of profile XML texts").arg(where));
        }
        for (const QJsonValue& p : profiles.toArray()) {
            r.Profiles << ReadString(p, Origin, QStringLiteral("profiles"));
        }
    }
    const QJsonValue messages = O.value(QStringLiteral("messages"));
    if (!messages.isUndefined()) {
        if (!messages.isArray()) {
            Fail(Origin, QStringLiteral("%1: \"messages\" must be an array").arg(where));
        }
        for (const QJsonValue& m : messages.toArray()) {
            if (m.isString()) {
                if (!IsPduText(m.toString())) {
                    Fail(Origin, QStringLiteral("%1: message \"%2\" is not PDU text (whole octets in hexadecimal)")
                                     .arg(where, m.toString()));
                }
                r.Pdus << m.toString();
            } else if (m.isObject()) {
                QJsonObject mo = m.toObject();
                CheckKeys(mo, {QStringLiteral("number"), QStringLiteral("text"), QStringLiteral("time")}, Origin,
                          where + QStringLiteral(" messages"));
                TMbnSmsMessage msg;
                msg.Number = ReadString(mo.value(QStringLiteral("number")), Origin, QStringLiteral("number"));
                msg.Text = ReadString(mo.value(QStringLiteral("text")), Origin, QStringLiteral("text"));
                if (mo.contains(QStringLiteral("time"))) {
                    msg.TimeStamp = QDateTime::fromString(ReadString(mo.value(QStringLiteral("time")), Origin,
                                                                     QStringLiteral("time")),
                                                          Qt::ISODate);
                    if (!msg.TimeStamp.isValid()) {
                        Fail(Origin, QStringLiteral("%1: \"time\" must be an ISO 8601 date and time").arg(where));
                    }
                }
                r.Messages << msg;
            } else {
                Fail(Origin, QStringLiteral("%1: a message must be PDU text or an object").arg(where));
            }
        }
    }
    if (O.contains(QStringLiteral("capacity"))) {
        r.Capacity = int(ReadUInt(O.value(QStringLiteral("capacity")), Origin, QStringLiteral("capacity")));
        if (r.Capacity < 1 || r.Capacity > 100000) {
            Fail(Origin, QStringLiteral("%1: \"capacity\" must be from 1 to 100000").arg(where));
        }
    }
    if (O.contains(QStringLiteral("readBatch"))) {
        r.ReadBatch = int(ReadUInt(O.value(QStringLiteral("readBatch")), Origin, QStringLiteral("readBatch")));
        if (r.ReadBatch < 1) {
            Fail(Origin, QStringLiteral("%1: \"readBatch\" must be at least 1").arg(where));
        }
    }
    if (O.contains(QStringLiteral("signal"))) {
        r.Signal = ReadUInt(O.value(QStringLiteral("signal")), Origin, QStringLiteral("signal"));
    }
    if (O.contains(QStringLiteral("connectDelayMs"))) {
        const quint32 delay =
            ReadUInt(O.value(QStringLiteral("connectDelayMs")), Origin, QStringLiteral("connectDelayMs"));
        if (delay > kMaxConnectDelayMs) {
            Fail(Origin,
                 QStringLiteral("%1: \"connectDelayMs\" must be at most %2").arg(where).arg(kMaxConnectDelayMs));
        }
        r.ConnectDelayMs = int(delay);
    }
    if (O.contains(QStringLiteral("registration"))) {
        static const QList<std::pair<const char*, TMbnRegisterState>> states = {
            {"home", TMbnRegisterState::rsHome},
            {"roaming", TMbnRegisterState::rsRoaming},
            {"searching", TMbnRegisterState::rsSearching},
            {"denied", TMbnRegisterState::rsDenied},
            {"none", TMbnRegisterState::rsNotRegistered}};
        const QString name =
            ReadString(O.value(QStringLiteral("registration")), Origin, QStringLiteral("registration"));
        bool named = false;
        for (const auto& [word, state] : states) {
            if (name == QLatin1String(word)) {
                r.Registration = state;
                named = true;
            }
        }
        if (!named) {
            Fail(Origin, QStringLiteral("%1: \"registration\" must be \"home\", \"roaming\", \"searching\", "
                                        "\"denied\" or \"none\"")
                             .arg(where));
        }
    }
    if (O.contains(QStringLiteral("plugged"))) {
        if (!O.value(QStringLiteral("plugged")).isBool()) {
            Fail(Origin, QStringLiteral("%1: \"plugged\" must be true or false").arg(where));
        }
        r.Plugged = O.value(QStringLiteral("plugged")).toBool();
    }
    if (O.contains(QStringLiteral("pin"))) {
        r.Pin = ReadString(O.value(QStringLiteral("pin")), Origin, QStringLiteral("pin"));
        if (!IsSimCode(r.Pin, 4, 8)) {
            Fail(Origin, QStringLiteral("%1: \"pin\" must be 4 to 8 digits").arg(where));
        }
    }
    if (O.contains(QStringLiteral("enabled"))) {
        if (!O.value(QStringLiteral("enabled")).isBool()) {
            Fail(Origin, QStringLiteral("%1: \"enabled\" must be true or false").arg(where));
        }
        r.Enabled = O.value(QStringLiteral("enabled")).toBool();
    }
    if (O.contains(QStringLiteral("statusReports"))) {
        const QString reports =
            ReadString(O.value(QStringLiteral("statusReports")), Origin, QStringLiteral("statusReports"));
        if (reports != QLatin1String("none") && SimReportStatus(reports) < 0) {
            Fail(Origin, QStringLiteral("%1: \"statusReports\" must be \"delivered\", \"failed\", \"pending\" or "
                                        "\"none\"")
                             .arg(where));
        }
        r.StatusReports = reports == QLatin1String("none") ? QString() : reports;
    }
    if (r.Pdus.size() + r.Messages.size() > r.Capacity) {
        Fail(Origin, QStringLiteral("%1: more initial messages than \"capacity\"").arg(where));
    }
    return r;
}

} // namespace

bool IsSimCode(const QString& Code, int MinDigits, int MaxDigits)
{
    if (Code.size() < MinDigits || Code.size() > MaxDigits) {
        return false;
    }
    return std::all_of(Code.cbegin(), Code.cend(),
                       [](QChar C) { return C >= QLatin1Char('0') && C <= QLatin1Char('9'); });
}

int SimReportStatus(const QString& Outcome)
{
    if (Outcome == QLatin1String("delivered")) {
        return 0x00;
    }
    if (Outcome == QLatin1String("failed")) {
        return 0x46; // validity period expired
    }
    if (Outcome == QLatin1String("pending")) {
        return 0x21; // recipient busy
    }
    return -1;
}

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

QString SimProfileXml(const QString& Name, bool IsDefault, const QString& AccessString, const QString& UserName,
                      const QString& Password)
{
    auto esc = [](const QString& s) { return s.toHtmlEscaped(); };
    QString cred;
    if (!UserName.isEmpty() || !Password.isEmpty()) {
        cred = QStringLiteral("<UserLogonCred><UserName>%1</UserName><Password>%2</Password></UserLogonCred>")
                   .arg(esc(UserName), esc(Password));
    }
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                          "<MBNProfile xmlns=\"urn:ombrelay:sim:profile\">"
                          "<Name>%1</Name><IsDefault>%2</IsDefault>"
                          "<SubscriberID>262019999999999</SubscriberID>"
                          "<SimIccID>8949019999999999999</SimIccID>"
                          "<HomeProviderName>Simulated Network</HomeProviderName>"
                          "<ConnectionMode>manual</ConnectionMode>"
                          "<Context><AccessString>%3</AccessString>%4"
                          "<Compression>DISABLE</Compression><AuthProtocol>NONE</AuthProtocol></Context>"
                          "</MBNProfile>")
        .arg(esc(Name), IsDefault ? QStringLiteral("true") : QStringLiteral("false"), esc(AccessString), cred);
}

TSimScenario TSimScenario::Default()
{
    TSimScenario s;
    TSimInterfaceScenario i;
    i.InterfaceID = QStringLiteral("sim0");
    i.Caps.cellularClass = 1;
    i.Caps.voiceClass = 2;
    i.Caps.dataClass = 0x3F;     // GPRS, EDGE, UMTS, HSDPA, HSUPA, LTE
    i.Caps.gsmBandClass = 0x1A4; // PCS1900, GSM850, UMTS2600, EGSM900
    i.Caps.smsCaps = mscPduReceive | mscPduSend;
    i.Caps.controlCaps = 0x41; // manual selection, USSD
    i.Caps.deviceID = QStringLiteral("359999000000001");
    i.Caps.manufacturer = QStringLiteral("Ombrelay");
    i.Caps.model = QStringLiteral("Simulated Modem");
    i.Caps.firmwareInfo = QStringLiteral("sim-1.0");
    i.Profiles << SimProfileXml(QStringLiteral("Internet"), true, QStringLiteral("internet"))
               << SimProfileXml(QStringLiteral("Business"), false, QStringLiteral("business.example"),
                                QStringLiteral("user"), QStringLiteral("secret"));
    s.Interfaces << i;
    return s;
}

TSimScenario TSimScenario::Parse(const QByteArray& Json, const QString& Origin)
{
    QJsonParseError error;
    QJsonDocument doc = QJsonDocument::fromJson(Json, &error);
    if (error.error != QJsonParseError::NoError) {
        Fail(Origin, QStringLiteral("not JSON (%1 at offset %2)").arg(error.errorString()).arg(error.offset));
    }
    if (!doc.isObject()) {
        Fail(Origin, QStringLiteral("the document must be an object"));
    }
    QJsonObject root = doc.object();
    CheckKeys(root, {QStringLiteral("delayMs"), QStringLiteral("interfaces")}, Origin, QStringLiteral("the document"));
    TSimScenario s;
    if (root.contains(QStringLiteral("delayMs"))) {
        s.DelayMs = int(ReadUInt(root.value(QStringLiteral("delayMs")), Origin, QStringLiteral("delayMs")));
        if (s.DelayMs > 60000) {
            Fail(Origin, QStringLiteral("\"delayMs\" must be at most 60000"));
        }
    }
    const QJsonValue ifaces = root.value(QStringLiteral("interfaces"));
    if (!ifaces.isArray()) {
        Fail(Origin, QStringLiteral("\"interfaces\" must be an array"));
    }
    QSet<QString> ids;
    int n = 0;
    for (const QJsonValue& v : ifaces.toArray()) {
        if (!v.isObject()) {
            Fail(Origin, QStringLiteral("interface %1 must be an object").arg(n + 1));
        }
        TSimInterfaceScenario i = ReadInterface(v.toObject(), Origin, n);
        if (ids.contains(i.InterfaceID)) {
            Fail(Origin, QStringLiteral("two interfaces have the id \"%1\"").arg(i.InterfaceID));
        }
        ids.insert(i.InterfaceID);
        s.Interfaces << i;
        ++n;
    }
    return s;
}

TSimScenario TSimScenario::Load(const QString& FileName)
{
    QFile f(FileName);
    if (!f.open(QIODevice::ReadOnly)) {
        Fail(FileName, QStringLiteral("cannot be read (%1)").arg(f.errorString()));
    }
    return Parse(f.readAll(), FileName);
}

} // namespace Ombrelay
