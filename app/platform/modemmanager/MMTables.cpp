#include "platform/modemmanager/MMTables.h"

#include "platform/modemmanager/MMNames.h"

#include <QRegularExpression>
#include <QStringList>
#include <QTimeZone>

#include <iterator>

namespace Ombrelay::MM
{

namespace
{

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

// The port's data classes and control caps that this backend can vouch for.
constexpr quint32 kDataGprs = 0x1;
constexpr quint32 kDataUmts = 0x4;
constexpr quint32 kDataLte = 0x20;
constexpr quint32 kData1xRtt = 0x10000;
constexpr quint32 kData1xEvdo = 0x20000;
constexpr quint32 kCtlRegManual = 0x1;
constexpr quint32 kCtlUssd = 0x40;
constexpr quint32 kCtlMultiCellular = 0x80;

} // namespace

quint32 SignalCodeFromPercent(quint32 Percent)
{
    // The percentage is q * 100 / 31 of the 0..31 code, rounded down; rounding up gives the code back.
    return (Percent * 31 + 99) / 100;
}

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
    static const QRegularExpression iso(
        QStringLiteral(R"(^(\d{4})-(\d\d)-(\d\d)T(\d\d):(\d\d):(\d\d)(?:\.\d+)?(Z|([+-])(\d\d)(?::?(\d\d))?)?$)"));
    // Text-mode modems hand the service centre's stamp over as the modem wrote it:
    // yy/MM/dd,hh:mm:ss and the offset in quarter hours.
    static const QRegularExpression text(
        QStringLiteral(R"(^(\d\d)/(\d\d)/(\d\d),(\d\d):(\d\d):(\d\d)(?:([+-])(\d{1,2}))?$)"));
    const QString trimmed = Text.trimmed();
    QRegularExpressionMatch m = iso.match(trimmed);
    if (m.hasMatch()) {
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
    m = text.match(trimmed);
    if (!m.hasMatch()) {
        return QDateTime();
    }
    // Two-digit years are this century's, as the PDU's stamp is read.
    const QDate date(2000 + m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
    int offset = m.captured(8).toInt() * 900;
    if (offset > 14 * 3600 || !date.isValid() || !time.isValid()) {
        return QDateTime();
    }
    if (m.captured(7) == QLatin1String("-")) {
        offset = -offset;
    }
    return QDateTime(date, time, QTimeZone(offset));
}

QString XmlEscape(const QString& Text)
{
    return Text.toHtmlEscaped();
}

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

TMbnInterfaceCaps MapCapabilities(const QVariantMap& Modem, const TInterfaceMap& Interfaces)
{
    TMbnInterfaceCaps caps;
    quint32 bits = 0;
    for (quint32 c : ToUIntList(Modem.value(QStringLiteral("SupportedCapabilities")))) {
        bits |= c;
    }
    const bool gpp = (bits & kCap3gpp) != 0;
    const bool cdma = (bits & kCapCdmaEvdo) != 0;
    caps.cellularClass = gpp ? 1 : (cdma ? 2 : 0);
    // Without a Voice interface the modem cannot place calls; with one, whether voice and data go
    // together is not said, so the class stays unknown.
    caps.voiceClass = Interfaces.contains(kMMVoice) ? 0 : 1;
    quint32 modes = 0;
    for (quint32 m : ToFirstOfPairs(Modem.value(QStringLiteral("SupportedModes")))) {
        modes |= m;
    }
    if (modes & kMode2g) {
        caps.dataClass |= gpp ? kDataGprs : kData1xRtt;
    }
    if (modes & kMode3g) {
        caps.dataClass |= gpp ? kDataUmts : kData1xEvdo;
    }
    if (modes & kMode4g) {
        caps.dataClass |= kDataLte;
    }
    if (modes & kMode5g) {
        caps.dataClass |= kMbnCustomClass;
        caps.customDataClass = QStringLiteral("5G NR");
    }
    QStringList bands;
    bool cdmaBands = false;
    bool otherBands = false;
    for (quint32 b : ToUIntList(Modem.value(QStringLiteral("SupportedBands")))) {
        if (b == 0) {
            continue; // "unknown": the modem did not say
        }
        bands << BandName(b);
        (IsCdmaBand(b) ? cdmaBands : otherBands) = true;
    }
    if (!bands.isEmpty()) {
        caps.customBandClass = bands.join(QStringLiteral(", "));
        if (otherBands || caps.cellularClass == 1) {
            caps.gsmBandClass = kMbnCustomClass;
        }
        if (cdmaBands || caps.cellularClass == 2) {
            caps.cdmaBandClass = kMbnCustomClass;
        }
    }
    if (Interfaces.contains(kMMMessaging)) {
        caps.smsCaps = mscTextReceive | mscTextSend;
    }
    if (gpp && Interfaces.contains(kMM3gpp)) {
        caps.controlCaps |= kCtlRegManual;
    }
    if (Interfaces.contains(kMMUssd)) {
        caps.controlCaps |= kCtlUssd;
    }
    if (gpp && cdma) {
        caps.controlCaps |= kCtlMultiCellular;
    }
    caps.deviceID = Modem.value(QStringLiteral("EquipmentIdentifier")).toString();
    caps.manufacturer = Modem.value(QStringLiteral("Manufacturer")).toString();
    caps.model = Modem.value(QStringLiteral("Model")).toString();
    caps.firmwareInfo = Modem.value(QStringLiteral("Revision")).toString();
    return caps;
}

TMbnRegistration MapRegistration(const QVariantMap& Modem, const QVariantMap& Modem3gpp)
{
    TMbnRegistration r;
    bool ok = false;
    const uint state = Modem3gpp.value(QStringLiteral("RegistrationState")).toUInt(&ok);
    switch (ok ? state : 4u) {
    case 0: // idle: not registered, not searching
        r.State = TMbnRegisterState::rsNotRegistered;
        break;
    case 1: // home
    case 6: // home, SMS only
    case 9: // home, CSFB not preferred
        r.State = TMbnRegisterState::rsHome;
        break;
    case 2:
        r.State = TMbnRegisterState::rsSearching;
        break;
    case 3:
        r.State = TMbnRegisterState::rsDenied;
        break;
    case 5:  // roaming
    case 7:  // roaming, SMS only
    case 10: // roaming, CSFB not preferred
        r.State = TMbnRegisterState::rsRoaming;
        break;
    default: // unknown, emergency only, attached for RLOS
        r.State = TMbnRegisterState::rsUnknown;
        break;
    }
    if (r.State == TMbnRegisterState::rsHome || r.State == TMbnRegisterState::rsRoaming) {
        r.OperatorName = Modem3gpp.value(QStringLiteral("OperatorName")).toString();
        r.OperatorCode = Modem3gpp.value(QStringLiteral("OperatorCode")).toString();
    }
    // MMModemAccessTechnology bits, best first.
    const uint tech = Modem.value(QStringLiteral("AccessTechnologies")).toUInt();
    if (tech & (1u << 15)) {
        r.AccessTech = TMbnAccessTech::at5GNr;
    } else if (tech & ((1u << 14) | (1u << 16) | (1u << 17))) { // LTE, LTE Cat-M, NB-IoT
        r.AccessTech = TMbnAccessTech::atLte;
    } else if (tech & ((1u << 6) | (1u << 7) | (1u << 8) | (1u << 9))) { // HSDPA, HSUPA, HSPA, HSPA+
        r.AccessTech = TMbnAccessTech::atHspa;
    } else if (tech & (1u << 5)) {
        r.AccessTech = TMbnAccessTech::atUmts;
    } else if (tech & ((1u << 1) | (1u << 2) | (1u << 3) | (1u << 4))) { // GSM, GSM compact, GPRS, EDGE
        r.AccessTech = TMbnAccessTech::atGsm;
    }
    return r;
}

} // namespace Ombrelay::MM
