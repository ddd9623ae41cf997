// The ModemManager backend's pure parts, without ModemManager or a bus daemon: the decoding of
// bus values, the signal scale, band names, time stamps, NetworkManager's states and reasons, and
// the capability record. Compound values are taken from the wire: each is sent over a private
// peer-to-peer connection and decoded from what QtDBus hands the receiving side, as it hands the
// backend ModemManager's properties.

#include "platform/modemmanager/MMDecode.h"
#include "platform/modemmanager/MMTables.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusServer>
#include <QDBusVariant>
#include <QDir>
#include <QTest>
#include <QTimeZone>

#include <memory>

using namespace Ombrelay;
using namespace Ombrelay::MM;

namespace
{

const QString kTestInterface = QStringLiteral("org.ombrelay.Test");
const QString kTestPath = QStringLiteral("/org/ombrelay/Test");

// "au" as a sender writes it.
QVariant UIntArray(const QList<quint32>& Values)
{
    return QVariant::fromValue(Values);
}

} // namespace

// One structure of "a(uu)", e.g. a supported mode combination (allowed, preferred).
struct TUIntPair
{
    quint32 First = 0;
    quint32 Second = 0;
};
using TPairs = QList<TUIntPair>;

// "(ub)", ModemManager's signal quality: a percentage and whether it is recent.
struct TQuality
{
    quint32 Percent = 0;
    bool Recent = false;
};

QDBusArgument& operator<<(QDBusArgument& Arg, const TUIntPair& Value)
{
    Arg.beginStructure();
    Arg << Value.First << Value.Second;
    Arg.endStructure();
    return Arg;
}
const QDBusArgument& operator>>(const QDBusArgument& Arg, TUIntPair& Value)
{
    Arg.beginStructure();
    Arg >> Value.First >> Value.Second;
    Arg.endStructure();
    return Arg;
}
QDBusArgument& operator<<(QDBusArgument& Arg, const TQuality& Value)
{
    Arg.beginStructure();
    Arg << Value.Percent << Value.Recent;
    Arg.endStructure();
    return Arg;
}
const QDBusArgument& operator>>(const QDBusArgument& Arg, TQuality& Value)
{
    Arg.beginStructure();
    Arg >> Value.Percent >> Value.Recent;
    Arg.endStructure();
    return Arg;
}

Q_DECLARE_METATYPE(TUIntPair)
Q_DECLARE_METATYPE(TQuality)

namespace
{

QVariant PairArray(const TPairs& Values)
{
    return QVariant::fromValue(Values);
}

QVariant Quality(quint32 Percent, bool Recent)
{
    return QVariant::fromValue(TQuality{Percent, Recent});
}

// "ao".
QVariant PathArray(const QStringList& Paths)
{
    QList<QDBusObjectPath> list;
    for (const QString& p : Paths) {
        list << QDBusObjectPath(p);
    }
    return QVariant::fromValue(list);
}

} // namespace

// Two ends of a peer-to-peer connection in this process. A value sent from one end arrives at
// the other in the form QtDBus gives received messages: compound values as QDBusArgument.
class TWire : public QObject
{
    Q_OBJECT

public:
    TWire()
        : FServer(QStringLiteral("unix:tmpdir=") + QDir::tempPath())
    {
        connect(&FServer, &QDBusServer::newConnection, this, [this](const QDBusConnection& Connection) {
            FReceiver = std::make_unique<QDBusConnection>(Connection);
            FReceiver->connect(QString(), kTestPath, kTestInterface, QStringLiteral("Value"), this,
                               SLOT(OnValue(QDBusMessage)));
        });
        FSender = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToPeer(FServer.address(), QStringLiteral("tst_mm_decode")));
    }
    ~TWire() override { QDBusConnection::disconnectFromPeer(QStringLiteral("tst_mm_decode")); }

    bool WaitConnected()
    {
        return FSender->isConnected() && QTest::qWaitFor([this] { return FReceiver != nullptr; }, 5000);
    }

    // Value as the single argument of a message (a method reply or a signal's argument).
    QVariant Argument(const QVariant& Value)
    {
        QDBusMessage m = QDBusMessage::createSignal(kTestPath, kTestInterface, QStringLiteral("Value"));
        m << Value;
        FReceived.reset();
        if (!FSender->send(m) || !QTest::qWaitFor([this] { return FReceived != nullptr; }, 5000)) {
            return QVariant();
        }
        return FReceived->arguments().value(0);
    }

    // Value as a property in an "a{sv}" map, the way property reads and changes carry it.
    QVariant Property(const QVariant& Value)
    {
        const QVariant map = Argument(QVariantMap{{QStringLiteral("P"), Value}});
        if (!map.canConvert<QDBusArgument>()) {
            return QVariant();
        }
        QVariantMap props;
        map.value<QDBusArgument>() >> props;
        return props.value(QStringLiteral("P"));
    }

private Q_SLOTS:
    void OnValue(const QDBusMessage& Message) { FReceived = std::make_unique<QDBusMessage>(Message); }

private:
    QDBusServer FServer;
    std::unique_ptr<QDBusConnection> FSender;
    std::unique_ptr<QDBusConnection> FReceiver;
    std::unique_ptr<QDBusMessage> FReceived;
};

class TestMMDecode : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qDBusRegisterMetaType<TInterfaceMap>();
        qDBusRegisterMetaType<TUIntPair>();
        qDBusRegisterMetaType<TPairs>();
        qDBusRegisterMetaType<TQuality>();
        FWire = std::make_unique<TWire>();
        QVERIFY2(FWire->WaitConnected(), "no peer-to-peer connection");
    }
    void cleanupTestCase() { FWire.reset(); }

    void uintLists_data()
    {
        QTest::addColumn<QList<quint32>>("values");
        QTest::newRow("empty") << QList<quint32>();
        QTest::newRow("one") << QList<quint32>{7};
        QTest::newRow("bands") << QList<quint32>{1, 33, 0, 4294967295u};
    }
    // "au" decodes the same whether it comes as a property, as an argument, or already converted.
    void uintLists()
    {
        QFETCH(QList<quint32>, values);
        QCOMPARE(ToUIntList(FWire->Property(UIntArray(values))), values);
        QCOMPARE(ToUIntList(FWire->Argument(UIntArray(values))), values);
        QCOMPARE(ToUIntList(QVariant::fromValue(values)), values);
    }

    void firstOfPairs_data()
    {
        QTest::addColumn<TPairs>("pairs");
        QTest::addColumn<QList<quint32>>("expected");
        QTest::newRow("empty") << TPairs() << QList<quint32>();
        // SupportedModes: (allowed, preferred) combinations.
        QTest::newRow("modes") << TPairs{{14, 8}, {6, 4}, {2, 0}} << QList<quint32>{14, 6, 2};
    }
    void firstOfPairs()
    {
        QFETCH(TPairs, pairs);
        QFETCH(QList<quint32>, expected);
        QCOMPARE(ToFirstOfPairs(FWire->Property(PairArray(pairs))), expected);
    }

    void signalQuality_data()
    {
        QTest::addColumn<quint32>("percent");
        QTest::addColumn<bool>("recent");
        QTest::newRow("none") << 0u << false;
        QTest::newRow("recent") << 67u << true;
        QTest::newRow("stale") << 100u << false;
    }
    void signalQuality()
    {
        QFETCH(quint32, percent);
        QFETCH(bool, recent);
        QCOMPARE(ToSignalPercent(FWire->Property(Quality(percent, recent))), percent);
    }

    // Values of the wrong shape decode to nothing rather than to a misread.
    void wrongShapes()
    {
        QCOMPARE(ToUIntList(QVariant(QStringLiteral("1,2"))), QList<quint32>());
        QCOMPARE(ToFirstOfPairs(QVariant::fromValue(QList<quint32>{1, 2})), QList<quint32>());
        QCOMPARE(ToSignalPercent(QVariant(42u)), 0u);
        QVERIFY(ToInterfaceMap(QVariant(42)).isEmpty());
        QVERIFY(ToPathList(QVariant(42)).isEmpty());
    }

    void paths()
    {
        const QStringList list = {QStringLiteral("/org/freedesktop/NetworkManager/Settings/1"),
                                  QStringLiteral("/org/freedesktop/NetworkManager/Settings/12")};
        QCOMPARE(ToPathList(FWire->Argument(PathArray(list))), list);
        QCOMPARE(ToPathList(FWire->Property(PathArray(list))), list);
        QCOMPARE(ToPathList(PathArray(list)), list);
        QCOMPARE(ToPathList(FWire->Argument(PathArray({}))), QStringList());

        const QString modem = QStringLiteral("/org/freedesktop/ModemManager1/Modem/0");
        QCOMPARE(ToPath(FWire->Argument(QVariant::fromValue(QDBusObjectPath(modem)))), modem);
        QCOMPARE(ToPath(FWire->Property(QVariant::fromValue(QDBusObjectPath(modem)))), modem);
        // NetworkManager's "no object".
        QCOMPARE(ToPath(FWire->Property(QVariant::fromValue(QDBusObjectPath(QStringLiteral("/"))))),
                 QStringLiteral("/"));
        QCOMPARE(ToPath(QVariant(modem)), modem);
    }

    // A property read ("Get") answers with a variant; Unwrap opens it and leaves other values be.
    void unwrap()
    {
        const QVariant got = FWire->Argument(QVariant::fromValue(QDBusVariant(QVariant(2u))));
        QVERIFY(got.canConvert<QDBusVariant>());
        QCOMPARE(Unwrap(got).toUInt(), 2u);
        const QVariant name = FWire->Argument(QVariant::fromValue(QDBusVariant(QStringLiteral("wwan0"))));
        QCOMPARE(Unwrap(name).toString(), QStringLiteral("wwan0"));
        QCOMPARE(Unwrap(QVariant(5u)).toUInt(), 5u);
    }

    // "a{sa{sv}}": the interfaces of an object with their properties, compound ones still
    // QDBusArgument for the next decoder.
    void interfaceMap()
    {
        TInterfaceMap sent;
        sent.insert(QStringLiteral("org.freedesktop.ModemManager1.Modem"),
                    {{QStringLiteral("DeviceIdentifier"), QStringLiteral("abc")},
                     {QStringLiteral("SupportedBands"), UIntArray({1, 33})}});
        sent.insert(QStringLiteral("org.freedesktop.ModemManager1.Modem.Messaging"), {});
        const TInterfaceMap got = ToInterfaceMap(FWire->Argument(QVariant::fromValue(sent)));
        QCOMPARE(got.keys(), sent.keys());
        const QVariantMap modem = got.value(QStringLiteral("org.freedesktop.ModemManager1.Modem"));
        QCOMPARE(modem.value(QStringLiteral("DeviceIdentifier")).toString(), QStringLiteral("abc"));
        QCOMPARE(ToUIntList(modem.value(QStringLiteral("SupportedBands"))), (QList<quint32>{1, 33}));
        QVERIFY(got.value(QStringLiteral("org.freedesktop.ModemManager1.Modem.Messaging")).isEmpty());
        QVERIFY(ToInterfaceMap(FWire->Argument(QVariant::fromValue(TInterfaceMap()))).isEmpty());
    }

    // The percentage is what ModemManager makes of the 0..31 code (rounded down); every code comes
    // back from it, and the ends map to the ends.
    void signalCodeFromPercent()
    {
        for (quint32 code = 0; code <= 31; ++code) {
            QCOMPARE(SignalCodeFromPercent(code * 100 / 31), code);
        }
        QCOMPARE(SignalCodeFromPercent(0), 0u);
        QCOMPARE(SignalCodeFromPercent(1), 1u);
        QCOMPARE(SignalCodeFromPercent(50), 16u);
        QCOMPARE(SignalCodeFromPercent(99), 31u);
        QCOMPARE(SignalCodeFromPercent(100), 31u);
        QVERIFY(SignalCodeFromPercent(101) > 31); // above the scale: "unknown" to the port
    }

    void bandNames_data()
    {
        QTest::addColumn<quint32>("band");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("cdma");
        QTest::newRow("egsm") << 1u << QStringLiteral("egsm") << false;
        QTest::newRow("utran-1") << 5u << QStringLiteral("utran-1") << false;
        QTest::newRow("utran-2 out of order") << 12u << QStringLiteral("utran-2") << false;
        QTest::newRow("last named low") << 20u << QStringLiteral("g810") << false;
        QTest::newRow("unknown 0") << 0u << QStringLiteral("band-0") << false;
        QTest::newRow("gap after low") << 21u << QStringLiteral("band-21") << false;
        QTest::newRow("eutran first") << 31u << QStringLiteral("eutran-1") << false;
        QTest::newRow("eutran last") << 115u << QStringLiteral("eutran-85") << false;
        QTest::newRow("after eutran") << 116u << QStringLiteral("band-116") << false;
        QTest::newRow("cdma first") << 128u << QStringLiteral("cdma-bc0") << true;
        QTest::newRow("cdma last") << 147u << QStringLiteral("cdma-bc19") << true;
        QTest::newRow("after cdma") << 148u << QStringLiteral("band-148") << false;
        QTest::newRow("utran high") << 210u << QStringLiteral("utran-10") << false;
        QTest::newRow("utran high last") << 232u << QStringLiteral("utran-32") << false;
        QTest::newRow("any") << 256u << QStringLiteral("any") << false;
        QTest::newRow("ngran first") << 301u << QStringLiteral("ngran-1") << false;
        QTest::newRow("ngran last") << 600u << QStringLiteral("ngran-300") << false;
        QTest::newRow("beyond") << 601u << QStringLiteral("band-601") << false;
    }
    void bandNames()
    {
        QFETCH(quint32, band);
        QFETCH(QString, name);
        QFETCH(bool, cdma);
        QCOMPARE(BandName(band), name);
        QCOMPARE(IsCdmaBand(band), cdma);
    }

    void timeStamps_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QDateTime>("utc");
        QTest::addColumn<int>("offset");
        const QDateTime t(QDate(2024, 5, 1), QTime(8, 0, 0), QTimeZone::utc());
        QTest::newRow("+HH:MM") << QStringLiteral("2024-05-01T10:00:00+02:00") << true << t << 7200;
        QTest::newRow("+HH") << QStringLiteral("2024-05-01T10:00:00+02") << true << t << 7200;
        QTest::newRow("+HHMM") << QStringLiteral("2024-05-01T13:30:00+0530") << true << t << 19800;
        QTest::newRow("-HH:MM") << QStringLiteral("2024-05-01T04:30:00-03:30") << true << t << -12600;
        QTest::newRow("Z") << QStringLiteral("2024-05-01T08:00:00Z") << true << t << 0;
        QTest::newRow("no offset is UTC") << QStringLiteral("2024-05-01T08:00:00") << true << t << 0;
        QTest::newRow("fraction") << QStringLiteral("2024-05-01T10:00:00.250+02:00") << true << t << 7200;
        QTest::newRow("spaces around") << QStringLiteral(" 2024-05-01T10:00:00+02 \n") << true << t << 7200;
        QTest::newRow("new year across offset")
            << QStringLiteral("2025-01-01T00:30:00+01:00") << true
            << QDateTime(QDate(2024, 12, 31), QTime(23, 30, 0), QTimeZone::utc()) << 3600;
        QTest::newRow("space for T") << QStringLiteral("2024-05-01 10:00:00+02:00") << false << QDateTime() << 0;
        QTest::newRow("empty") << QString() << false << QDateTime() << 0;
        QTest::newRow("date only") << QStringLiteral("2024-05-01") << false << QDateTime() << 0;
        QTest::newRow("month 13") << QStringLiteral("2024-13-01T10:00:00+02") << false << QDateTime() << 0;
        QTest::newRow("offset without digits") << QStringLiteral("2024-05-01T10:00:00+") << false << QDateTime() << 0;
        QTest::newRow("trailing text") << QStringLiteral("2024-05-01T10:00:00+02:00x") << false << QDateTime() << 0;
        // Text-mode modems: yy/MM/dd,hh:mm:ss and the offset in quarter hours.
        QTest::newRow("text mode +quarters") << QStringLiteral("24/05/01,10:00:00+08") << true << t << 7200;
        QTest::newRow("text mode -quarters") << QStringLiteral("24/05/01,04:30:00-14") << true << t << -12600;
        QTest::newRow("text mode 5:45") << QStringLiteral("24/05/01,13:45:00+23") << true << t << 20700;
        QTest::newRow("text mode one digit") << QStringLiteral("24/05/01,09:00:00+4") << true << t << 3600;
        QTest::newRow("text mode no offset") << QStringLiteral("24/05/01,08:00:00") << true << t << 0;
        QTest::newRow("text mode new year")
            << QStringLiteral("25/01/01,00:30:00+04") << true
            << QDateTime(QDate(2024, 12, 31), QTime(23, 30, 0), QTimeZone::utc()) << 3600;
        QTest::newRow("text mode month 13") << QStringLiteral("24/13/01,10:00:00+08") << false << QDateTime() << 0;
        QTest::newRow("text mode hour 25") << QStringLiteral("24/05/01,25:00:00+08") << false << QDateTime() << 0;
        QTest::newRow("text mode offset too far")
            << QStringLiteral("24/05/01,10:00:00+60") << false << QDateTime() << 0;
        QTest::newRow("text mode four-digit year")
            << QStringLiteral("2024/05/01,10:00:00+08") << false << QDateTime() << 0;
        QTest::newRow("text mode quoted") << QStringLiteral("\"24/05/01,10:00:00+08\"") << false << QDateTime() << 0;
    }
    void timeStamps()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(QDateTime, utc);
        QFETCH(int, offset);
        const QDateTime got = ParseTimeStamp(text);
        QCOMPARE(got.isValid(), valid);
        if (valid) {
            QCOMPARE(got.toUTC(), utc);
            // The service centre's offset is kept: the inbox shows the sender's local time.
            QCOMPARE(got.offsetFromUtc(), offset);
        }
    }

    void activeStates_data()
    {
        QTest::addColumn<quint32>("nm");
        QTest::addColumn<quint32>("port");
        QTest::newRow("unknown") << 0u << quint32(masNone);
        QTest::newRow("activating") << 1u << quint32(masActivating);
        QTest::newRow("activated") << 2u << quint32(masActivated);
        QTest::newRow("deactivating") << 3u << quint32(masDeactivating);
        QTest::newRow("deactivated") << 4u << quint32(masDeactivated);
        QTest::newRow("beyond") << 5u << quint32(masNone);
    }
    void activeStates()
    {
        QFETCH(quint32, nm);
        QFETCH(quint32, port);
        QCOMPARE(MapNmActiveState(nm), port);
    }

    // ModemManager's registration states and access technology bits in the port's terms;
    // the operator only while registered.
    void registration_data()
    {
        QTest::addColumn<QVariant>("State");
        QTest::addColumn<uint>("Tech");
        QTest::addColumn<int>("Expected");
        QTest::addColumn<int>("ExpectedTech");
        QTest::addColumn<bool>("Operator");
        using S = TMbnRegisterState;
        using T = TMbnAccessTech;
        QTest::newRow("idle") << QVariant(0u) << 0u << int(S::rsNotRegistered) << int(T::atUnknown) << false;
        QTest::newRow("home LTE") << QVariant(1u) << (1u << 14) << int(S::rsHome) << int(T::atLte) << true;
        QTest::newRow("searching") << QVariant(2u) << 0u << int(S::rsSearching) << int(T::atUnknown) << false;
        QTest::newRow("denied") << QVariant(3u) << 0u << int(S::rsDenied) << int(T::atUnknown) << false;
        QTest::newRow("unknown") << QVariant(4u) << 0u << int(S::rsUnknown) << int(T::atUnknown) << false;
        QTest::newRow("roaming HSPA+") << QVariant(5u) << (1u << 9) << int(S::rsRoaming) << int(T::atHspa) << true;
        QTest::newRow("home SMS only, EDGE") << QVariant(6u) << (1u << 4) << int(S::rsHome) << int(T::atGsm) << true;
        QTest::newRow("roaming SMS only, UMTS")
            << QVariant(7u) << (1u << 5) << int(S::rsRoaming) << int(T::atUmts) << true;
        QTest::newRow("emergency only") << QVariant(8u) << 0u << int(S::rsUnknown) << int(T::atUnknown) << false;
        QTest::newRow("5G beside LTE") << QVariant(1u) << ((1u << 14) | (1u << 15)) << int(S::rsHome) << int(T::at5GNr)
                                       << true;
        QTest::newRow("NB-IoT") << QVariant(1u) << (1u << 17) << int(S::rsHome) << int(T::atLte) << true;
        QTest::newRow("no 3GPP interface") << QVariant() << (1u << 1) << int(S::rsUnknown) << int(T::atGsm) << false;
    }
    void registration()
    {
        QFETCH(QVariant, State);
        QFETCH(uint, Tech);
        QFETCH(int, Expected);
        QFETCH(int, ExpectedTech);
        QFETCH(bool, Operator);
        QVariantMap modem{{QStringLiteral("AccessTechnologies"), Tech}};
        QVariantMap gpp{{QStringLiteral("OperatorName"), QStringLiteral("Far Net")},
                        {QStringLiteral("OperatorCode"), QStringLiteral("20801")}};
        if (State.isValid()) {
            gpp.insert(QStringLiteral("RegistrationState"), State);
        }
        const TMbnRegistration r = MapRegistration(modem, gpp);
        QCOMPARE(int(r.State), Expected);
        QCOMPARE(int(r.AccessTech), ExpectedTech);
        QCOMPARE(r.OperatorName, Operator ? QStringLiteral("Far Net") : QString());
        QCOMPARE(r.OperatorCode, Operator ? QStringLiteral("20801") : QString());
    }

    void reasons_data()
    {
        QTest::addColumn<quint32>("reason");
        QTest::addColumn<QString>("text");
        QTest::newRow("none given") << 1u << QStringLiteral("no reason given");
        QTest::newRow("user") << 2u << QStringLiteral("the connection was disconnected by the user");
        QTest::newRow("secrets") << 9u
                                 << QStringLiteral("no valid secrets (a PIN, user name or password) were available");
        QTest::newRow("device gone") << 14u << QStringLiteral("the device is no longer available");
        QTest::newRow("zero") << 0u << QStringLiteral("an unknown reason (0)");
        QTest::newRow("newer than us") << 15u << QStringLiteral("an unknown reason (15)");
    }
    void reasons()
    {
        QFETCH(quint32, reason);
        QFETCH(QString, text);
        QCOMPARE(ActiveStateReasonText(reason), text);
    }

    // Every reason NetworkManager defines has a text of its own.
    void reasonsAllNamed()
    {
        for (quint32 r = 1; r <= 14; ++r) {
            QVERIFY2(!ActiveStateReasonText(r).startsWith(QLatin1String("an unknown reason")),
                     qPrintable(QString::number(r)));
        }
    }

    void xmlEscape()
    {
        QCOMPARE(XmlEscape(QStringLiteral("<Name>a&b \"c\"</Name>")),
                 QStringLiteral("&lt;Name&gt;a&amp;b &quot;c&quot;&lt;/Name&gt;"));
        QCOMPARE(XmlEscape(QStringLiteral("internet.example")), QStringLiteral("internet.example"));
    }

    void capabilities_data()
    {
        QTest::addColumn<QList<quint32>>("capabilities");
        QTest::addColumn<TPairs>("modes");
        QTest::addColumn<QList<quint32>>("bands");
        QTest::addColumn<QStringList>("interfaces");
        QTest::addColumn<quint32>("cellularClass");
        QTest::addColumn<quint32>("voiceClass");
        QTest::addColumn<quint32>("dataClass");
        QTest::addColumn<QString>("customDataClass");
        QTest::addColumn<quint32>("gsmBandClass");
        QTest::addColumn<quint32>("cdmaBandClass");
        QTest::addColumn<QString>("customBandClass");
        QTest::addColumn<quint32>("smsCaps");
        QTest::addColumn<quint32>("controlCaps");

        const QString messaging = QStringLiteral("org.freedesktop.ModemManager1.Modem.Messaging");
        const QString gpp = QStringLiteral("org.freedesktop.ModemManager1.Modem.Modem3gpp");
        const QString ussd = QStringLiteral("org.freedesktop.ModemManager1.Modem.Modem3gpp.Ussd");
        const QString voice = QStringLiteral("org.freedesktop.ModemManager1.Modem.Voice");
        const quint32 text = mscTextReceive | mscTextSend;
        // GSM/UMTS + LTE (4 | 8), 2G/3G/4G (2 | 4 | 8) with 4G preferred.
        QTest::newRow("lte stick") << QList<quint32>{12} << TPairs{{14, 8}} << QList<quint32>{1, 0, 33}
                                   << QStringList{messaging, gpp, ussd} << 1u << 1u << quint32(0x1 | 0x4 | 0x20)
                                   << QString() << kMbnCustomClass << 0u << QStringLiteral("egsm, eutran-3") << text
                                   << quint32(0x1 | 0x40);
        QTest::newRow("5g with voice") << QList<quint32>{8 | 64} << TPairs{{8 | 16, 16}} << QList<quint32>{}
                                       << QStringList{voice, gpp} << 1u << 0u << quint32(0x20) + kMbnCustomClass
                                       << QStringLiteral("5G NR") << 0u << 0u << QString() << 0u << quint32(0x1);
        // CDMA/EV-DO alone: the same mode bits mean 1xRTT and EV-DO.
        QTest::newRow("cdma") << QList<quint32>{2} << TPairs{{2, 0}, {6, 4}} << QList<quint32>{128, 129}
                              << QStringList{messaging} << 2u << 1u << quint32(0x10000 | 0x20000) << QString() << 0u
                              << kMbnCustomClass << QStringLiteral("cdma-bc0, cdma-bc1") << text << 0u;
        QTest::newRow("multi-mode") << QList<quint32>{2, 4} << TPairs{{6, 0}} << QList<quint32>{1, 130}
                                    << QStringList{gpp} << 1u << 1u << quint32(0x1 | 0x4) << QString()
                                    << kMbnCustomClass << kMbnCustomClass << QStringLiteral("egsm, cdma-bc2") << 0u
                                    << quint32(0x1 | 0x80);
        QTest::newRow("says nothing") << QList<quint32>{} << TPairs{} << QList<quint32>{0} << QStringList{} << 0u << 1u
                                      << 0u << QString() << 0u << 0u << QString() << 0u << 0u;
    }
    void capabilities()
    {
        QFETCH(QList<quint32>, capabilities);
        QFETCH(TPairs, modes);
        QFETCH(QList<quint32>, bands);
        QFETCH(QStringList, interfaces);

        TInterfaceMap sent;
        const QString modemInterface = QStringLiteral("org.freedesktop.ModemManager1.Modem");
        sent.insert(modemInterface, {{QStringLiteral("SupportedCapabilities"), UIntArray(capabilities)},
                                     {QStringLiteral("SupportedModes"), PairArray(modes)},
                                     {QStringLiteral("SupportedBands"), UIntArray(bands)},
                                     {QStringLiteral("EquipmentIdentifier"), QStringLiteral("0123456789")},
                                     {QStringLiteral("Manufacturer"), QStringLiteral("Maker")},
                                     {QStringLiteral("Model"), QStringLiteral("Stick")},
                                     {QStringLiteral("Revision"), QStringLiteral("1.2")}});
        for (const QString& i : interfaces) {
            sent.insert(i, {});
        }
        const TInterfaceMap got = ToInterfaceMap(FWire->Argument(QVariant::fromValue(sent)));
        const TMbnInterfaceCaps caps = MapCapabilities(got.value(modemInterface), got);

        QTEST(caps.cellularClass, "cellularClass");
        QTEST(caps.voiceClass, "voiceClass");
        QTEST(caps.dataClass, "dataClass");
        QTEST(caps.customDataClass, "customDataClass");
        QTEST(caps.gsmBandClass, "gsmBandClass");
        QTEST(caps.cdmaBandClass, "cdmaBandClass");
        QTEST(caps.customBandClass, "customBandClass");
        QTEST(caps.smsCaps, "smsCaps");
        QTEST(caps.controlCaps, "controlCaps");
        QCOMPARE(caps.deviceID, QStringLiteral("0123456789"));
        QCOMPARE(caps.manufacturer, QStringLiteral("Maker"));
        QCOMPARE(caps.model, QStringLiteral("Stick"));
        QCOMPARE(caps.firmwareInfo, QStringLiteral("1.2"));
    }

private:
    std::unique_ptr<TWire> FWire;
};

QTEST_GUILESS_MAIN(TestMMDecode)
#include "tst_mm_decode.moc"
