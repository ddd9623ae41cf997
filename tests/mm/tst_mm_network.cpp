// The NetworkManager side of the ModemManager backend: python3-dbusmock's NetworkManager
// template and a mocked ModemManager (one LTE/5G modem) on a private bus, driven through the
// device layer: profiles from gsm connections, connect and disconnect with their state
// sequence, a failed activation reported as a failure with its reason.

#include "BusFixture.h"
#include "backends/Backend.h"
#include "base/Errors.h"
#include "core/MBInterfaceItem.h"
#include "core/MBManager.h"
#include "core/MBProfleItem.h"
#include "platform/modemmanager/MMBackend.h"
#include "sms/MBException.h"
#include "sms/SMS.h"
#include "support/TempDatabase.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Ombrelay;

namespace
{

const QString kNm = QStringLiteral("org.freedesktop.NetworkManager");
const QString kModemId = QStringLiteral("mock-modem-1");
const QString kModemPath = QStringLiteral("/org/freedesktop/ModemManager1/Modem/7");

QStringList ActiveConnections()
{
    QDBusMessage m =
        QDBusMessage::createMethodCall(kNm, QStringLiteral("/org/freedesktop/NetworkManager"),
                                       QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    m << kNm << QStringLiteral("ActiveConnections");
    const QDBusMessage r = QDBusConnection::systemBus().call(m);
    QStringList paths;
    if (r.type() != QDBusMessage::ReplyMessage || r.arguments().isEmpty()) {
        return paths;
    }
    const QDBusArgument arg = r.arguments().at(0).value<QDBusVariant>().variant().value<QDBusArgument>();
    arg.beginArray();
    while (!arg.atEnd()) {
        QDBusObjectPath p;
        arg >> p;
        paths << p.path();
    }
    arg.endArray();
    return paths;
}

// Consecutive repeats removed: a state announced twice is one step of the sequence.
QList<TConnectionState> Steps(const QList<TConnectionState>& States)
{
    QList<TConnectionState> r;
    for (TConnectionState s : States) {
        if (r.isEmpty() || r.last() != s) {
            r << s;
        }
    }
    return r;
}

} // namespace

class TestNetworkManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void capabilitiesFromModesAndBands();
    void profilesFromGsmConnections();
    void connectAndDisconnectPassThroughStates();
    void failedActivationIsAFailureWithItsReason();
    void unknownProfileIsRefused();
    void byteCountersOfTheDevicesLink();
    void replugKeepsTheIdentifier();
    void profileAddedAtRunTimeAppears();
    void dropIsAnnouncedWithItsReason();
    void cancelWhileActivating();
    void wwanSwitchedOffSystemWide();
    void autoTakesModemManagerOnlyWithAModem();

private:
    bool Control(const QStringList& Arguments);

    TPrivateBus FBus;
    std::unique_ptr<QProcess> FMMMock;
    std::unique_ptr<QProcess> FNmMock;
    std::unique_ptr<TTempDatabase> FDb;
    QTemporaryDir FSysfs;
    std::shared_ptr<TMMInterfaceManager> FPort;
    std::shared_ptr<TMBManager> FManager;
    QList<TConnectionState> FStates;
    QStringList FErrors;
};

bool TestNetworkManager::Control(const QStringList& Arguments)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(QStringLiteral("/usr/bin/python3"), QStringList{QStringLiteral(OMBRELAY_NM_CONTROL)} + Arguments);
    return p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

void TestNetworkManager::initTestCase()
{
    if (!QFile::exists(QStringLiteral("/usr/bin/python3"))) {
        QSKIP("/usr/bin/python3 is missing: the mock services need it");
    }
    if (QProcess::execute(QStringLiteral("/usr/bin/python3"),
                          {QStringLiteral("-c"), QStringLiteral("import dbusmock")}) != 0) {
        QSKIP("python3-dbusmock is not installed");
    }
    if (const QString error = FBus.Start(); !error.isEmpty()) {
        QSKIP(qPrintable(error));
    }
    InitSmsTables();
    FMMMock = StartChild(QStringLiteral("/usr/bin/python3"),
                         {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--template"),
                          QStringLiteral(OMBRELAY_MM_MOCK), QStringLiteral("-p"),
                          QStringLiteral("{\"id\": \"%1\"}").arg(kModemId)});
    FNmMock = StartChild(QStringLiteral("/usr/bin/python3"),
                         {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--template"),
                          QStringLiteral("networkmanager")});
    QVERIFY(FMMMock && FNmMock);
    QVERIFY(TPrivateBus::WaitForName(QStringLiteral("org.freedesktop.ModemManager1"), 20000));
    QVERIFY(TPrivateBus::WaitForName(kNm, 20000));
    QVERIFY(Control({QStringLiteral("setup"), kModemPath, kModemId}));

    TMMBackendOptions options;
    options.StartTimeoutMs = 5000;
    QVERIFY(FSysfs.isValid());
    options.SysfsRoot = FSysfs.path();
    QString reason;
    FPort = TMMInterfaceManager::Create(options, true, &reason);
    QVERIFY2(FPort, qPrintable(reason));
    QVERIFY(FPort->NetworkManagerAvailable());
    FDb = std::make_unique<TTempDatabase>();
}

void TestNetworkManager::cleanupTestCase()
{
    FManager.reset();
    FPort.reset();
    FDb.reset();
    StopChild(FNmMock);
    StopChild(FMMMock);
}

void TestNetworkManager::init()
{
    FStates.clear();
    FErrors.clear();
    FManager = std::make_shared<TMBManager>(FPort);
    connect(FManager.get(), &TMBManager::ErrorOccurred, this, [this](const QString& M) { FErrors << M; });
    FManager->SetConnectionStateNotify([this](const QString& Id, TConnectionState S) {
        if (Id == kModemId) {
            FStates << S;
        }
    });
}

void TestNetworkManager::cleanup()
{
    FManager.reset();
}

void TestNetworkManager::capabilitiesFromModesAndBands()
{
    TMBInterfaceItem* item = FManager->GetInterfaceList()->GetByID(kModemId);
    QVERIFY(item);
    QCOMPARE(item->Backend(), QStringLiteral("modemmanager"));
    QCOMPARE(item->CellularClass(), QStringLiteral("GSM"));
    QCOMPARE(item->DataClass(), QStringLiteral("GPRS, UMTS, LTE, 5G NR"));
    QCOMPARE(item->BandClass(), QStringLiteral("egsm, dcs, utran-1, eutran-3, eutran-7, ngran-78"));
    // No Voice interface: no voice calls. No Messaging interface: no SMS at all.
    QCOMPARE(item->VoiceClass(), QStringLiteral("No voice calls support"));
    QCOMPARE(item->SmsCaps(), QString());
    QVERIFY(!item->CanSendAndReceiveSms());
    QCOMPARE(item->Manufacturer(), QStringLiteral("Mock Devices"));
    QCOMPARE(item->DeviceID(), QStringLiteral("356938035643809"));
    // 58 % of the 0..31 scale is the code 18.
    QCOMPARE(FManager->GetSignalStrength(kModemId), 18u);
}

void TestNetworkManager::profilesFromGsmConnections()
{
    TMBInterfaceItem* item = FManager->GetInterfaceList()->GetByID(kModemId);
    QVERIFY(item);
    QStringList names;
    for (const auto& p : item->ProfileList()) {
        names << p->Name();
    }
    // Not the ethernet connection, not the gsm connection bound to another device.
    QCOMPARE(names,
             (QStringList{QStringLiteral("Mobile Internet"), QStringLiteral("Business"), QStringLiteral("Manual")}));
    QVERIFY(item->ProfileErrors().isEmpty());
    const TMBProfleItem& internet = *item->ProfileList()[0];
    const TMBProfleItem& business = *item->ProfileList()[1];
    const TMBProfleItem& manual = *item->ProfileList()[2];
    QCOMPARE(internet.AccessString(), QStringLiteral("internet.example"));
    QCOMPARE(internet.UserName(), QStringLiteral("web"));
    // NetworkManager keeps the password; none is made up.
    QCOMPARE(internet.Password(), QString());
    QCOMPARE(internet.ConnectionMode(), QStringLiteral("auto"));
    QCOMPARE(business.ConnectionMode(), QStringLiteral("auto-home"));
    QCOMPARE(manual.ConnectionMode(), QStringLiteral("manual"));
    // The autoconnect profile of highest priority among this modem's.
    QVERIFY(business.IsDefault());
    QVERIFY(!internet.IsDefault());
    QVERIFY(!manual.IsDefault());
}

void TestNetworkManager::connectAndDisconnectPassThroughStates()
{
    const QStringList before = ActiveConnections();
    FManager->Connect(kModemId, QStringLiteral("Mobile Internet"));
    QTRY_VERIFY_WITH_TIMEOUT(ActiveConnections().size() == before.size() + 1, 10000);
    QString active;
    for (const QString& p : ActiveConnections()) {
        if (!before.contains(p)) {
            active = p;
        }
    }
    QTRY_COMPARE_WITH_TIMEOUT(FManager->GetConnectionState(kModemId), csConnecting, 10000);
    QVERIFY(Control({QStringLiteral("state"), active, QStringLiteral("2"), QStringLiteral("0")}));
    QTRY_COMPARE_WITH_TIMEOUT(FManager->GetConnectionState(kModemId), csConnected, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!FStates.isEmpty() && FStates.last() == csConnected, 10000);

    FManager->Disconnect(kModemId);
    QTRY_COMPARE_WITH_TIMEOUT(FManager->GetConnectionState(kModemId), csDisconnected, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(FStates.last() == csDisconnected, 10000);
    QStringList seen;
    for (TConnectionState st : FStates) {
        seen << QString::number(int(st));
    }
    QVERIFY2(Steps(FStates) == (QList<TConnectionState>{csConnecting, csConnected, csDisconnecting, csDisconnected}),
             qPrintable(seen.join(QLatin1Char(' '))));
    QVERIFY(!ActiveConnections().contains(active));
    QVERIFY2(FErrors.isEmpty(), qPrintable(FErrors.join(QLatin1Char('\n'))));
}

void TestNetworkManager::failedActivationIsAFailureWithItsReason()
{
    const QStringList before = ActiveConnections();
    FManager->Connect(kModemId, QStringLiteral("Business"));
    QTRY_VERIFY_WITH_TIMEOUT(ActiveConnections().size() == before.size() + 1, 10000);
    QString active;
    for (const QString& p : ActiveConnections()) {
        if (!before.contains(p)) {
            active = p;
        }
    }
    QTRY_COMPARE_WITH_TIMEOUT(FManager->GetConnectionState(kModemId), csConnecting, 10000);
    // NetworkManager gives up: no secrets (a wrong or missing PIN or password).
    QVERIFY(Control({QStringLiteral("state"), active, QStringLiteral("4"), QStringLiteral("9")}));
    QTRY_COMPARE_WITH_TIMEOUT(FErrors.size(), 1, 10000);
    QVERIFY2(FErrors.first().startsWith(QLatin1String("Connect failed: ")), qPrintable(FErrors.first()));
    QVERIFY2(FErrors.first().contains(QLatin1String("no valid secrets")), qPrintable(FErrors.first()));
    // Never announced as connected; the state shown is the real one.
    QVERIFY(!FStates.contains(csConnected));
    QCOMPARE(FStates.last(), csDisconnected);
    QCOMPARE(FManager->GetConnectionState(kModemId), csDisconnected);
}

void TestNetworkManager::unknownProfileIsRefused()
{
    try {
        FManager->Connect(kModemId, QStringLiteral("Other modem"));
        QFAIL("a profile of another device was accepted");
    } catch (const EMBException& e) {
        QVERIFY(QString::fromUtf8(e.what()).startsWith(QLatin1String("Connect: ")));
    }
    QTest::qWait(300);
    QVERIFY(FStates.isEmpty());
}

namespace
{

// One interface of a sysfs tree: its index, its type line and its counters.
void WriteLink(const QString& Root, const QString& Name, int IfIndex, bool Wwan, quint64 Rx, quint64 Tx)
{
    QDir(Root).mkpath(Name + QStringLiteral("/statistics"));
    auto write = [&](const QString& File, const QByteArray& Text) {
        QFile f(Root + QLatin1Char('/') + Name + QLatin1Char('/') + File);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(Text);
    };
    write(QStringLiteral("ifindex"), QByteArray::number(IfIndex) + '\n');
    write(QStringLiteral("uevent"), "INTERFACE=" + Name.toLatin1() + (Wwan ? "\nDEVTYPE=wwan\n" : "\n"));
    write(QStringLiteral("statistics/rx_bytes"), QByteArray::number(Rx) + '\n');
    write(QStringLiteral("statistics/tx_bytes"), QByteArray::number(Tx) + '\n');
}

} // namespace

void TestNetworkManager::byteCountersOfTheDevicesLink()
{
    std::shared_ptr<IMbnInterface> modem;
    QCOMPARE(FPort->GetInterface(kModemId, modem), TMbnResult(mrOk));
    auto counters = [&modem] {
        quint64 rx = 0;
        quint64 tx = 0;
        return MbnSucceeded(modem->GetByteCounters(rx, tx)) ? std::make_pair(rx, tx) : std::make_pair(~0ull, ~0ull);
    };
    using TPair = std::pair<quint64, quint64>;
    const QString root = FSysfs.path();
    WriteLink(root, QStringLiteral("ppp0"), 7, false, 1000, 200);
    WriteLink(root, QStringLiteral("wwan0"), 9, true, 50000, 40000);
    QCOMPARE(counters(), TPair(0, 0));
    // The interface NetworkManager reports for the modem.
    QVERIFY(Control({QStringLiteral("ipiface"), QStringLiteral("ppp0")}));
    QTRY_COMPARE_WITH_TIMEOUT(counters(), TPair(1000, 200), 5000);
    WriteLink(root, QStringLiteral("ppp0"), 7, false, 1500, 300);
    QCOMPARE(counters(), TPair(1500, 300));
    // A new link of the same name starts at zero: what the old one counted is kept.
    WriteLink(root, QStringLiteral("ppp0"), 8, false, 100, 10);
    QCOMPARE(counters(), TPair(1600, 310));
    // A wwan-type link is counted by the usage thread's sysfs source already: not here again.
    QVERIFY(Control({QStringLiteral("ipiface"), QStringLiteral("wwan0")}));
    QTest::qWait(300);
    QCOMPARE(counters(), TPair(1600, 310));
    // The link gone: the counters stay where they were.
    QVERIFY(Control({QStringLiteral("ipiface"), QStringLiteral("ppp1")}));
    QTest::qWait(300);
    QCOMPARE(counters(), TPair(1600, 310));
}

// NetworkManager's WwanEnabled: mobile broadband switched off system-wide is announced and said
// in the text the status bar shows, and switched on again likewise.
void TestNetworkManager::wwanSwitchedOffSystemWide()
{
    QVERIFY(FPort->RadioEnabled());
    QSignalSpy changes(FPort.get(), &IMbnInterfaceManager::RadioStateChange);
    QVERIFY(Control({QStringLiteral("wwan"), QStringLiteral("off")}));
    QTRY_VERIFY_WITH_TIMEOUT(!FPort->RadioEnabled(), 5000);
    QCOMPARE(changes.size(), 1);
    QCOMPARE(DeviceStateText({}, true, FPort->RadioEnabled()), QStringLiteral("Mobile broadband switched off"));
    QVERIFY(Control({QStringLiteral("wwan"), QStringLiteral("on")}));
    QTRY_VERIFY_WITH_TIMEOUT(FPort->RadioEnabled(), 5000);
    QCOMPARE(changes.size(), 2);
    QCOMPARE(DeviceStateText({}, true, FPort->RadioEnabled()), QString());
}

void TestNetworkManager::replugKeepsTheIdentifier()
{
    std::shared_ptr<IMbnInterface> modem;
    QCOMPARE(FPort->GetInterface(kModemId, modem), TMbnResult(mrOk));
    QDBusMessage m =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.ModemManager1"),
                                       QStringLiteral("/org/freedesktop/ModemManager1"),
                                       QStringLiteral("org.freedesktop.DBus.Mock"), QStringLiteral("Replug"));
    m << kModemPath << QStringLiteral("/org/freedesktop/ModemManager1/Modem/8") << 90u;
    const QDBusMessage r = QDBusConnection::systemBus().call(m);
    QVERIFY2(r.type() == QDBusMessage::ReplyMessage, qPrintable(r.errorMessage()));
    // The same device under a new object path is the same interface, with the new object's values.
    auto strength = [&modem] {
        quint32 s = 0;
        return MbnSucceeded(modem->GetSignalStrength(s)) ? s : 1000u;
    };
    QTRY_COMPARE_WITH_TIMEOUT(strength(), 28u, 10000);
    QList<std::shared_ptr<IMbnInterface>> all;
    QCOMPARE(FPort->GetInterfaces(all), TMbnResult(mrOk));
    QCOMPARE(all.size(), 1);
    QCOMPARE(all.first()->InterfaceID(), kModemId);
    QCOMPARE(FManager->GetInterfaceList()->Count(), 1);
}

void TestNetworkManager::profileAddedAtRunTimeAppears()
{
    QStringList changed;
    FManager->SetProfilesChangedNotify([&](const QString& Id) { changed << Id; });
    auto names = [this] {
        QStringList r;
        for (const auto& p : FManager->GetInterfaceList()->GetByID(kModemId)->ProfileList()) {
            r << p->Name();
        }
        return r;
    };
    QVERIFY(!names().contains(QStringLiteral("Travel")));
    QVERIFY(Control({QStringLiteral("add"), QStringLiteral("Travel"), QStringLiteral("travel.example")}));
    QTRY_VERIFY_WITH_TIMEOUT(names().contains(QStringLiteral("Travel")), 10000);
    QCOMPARE(changed.last(), kModemId);
    const auto& list = FManager->GetInterfaceList()->GetByID(kModemId)->ProfileList();
    for (const auto& p : list) {
        if (p->Name() == QLatin1String("Travel")) {
            QCOMPARE(p->AccessString(), QStringLiteral("travel.example"));
        }
    }
    // The ones that were there are still there, in NetworkManager's order, the new one last.
    QCOMPARE(names(), (QStringList{QStringLiteral("Mobile Internet"), QStringLiteral("Business"),
                                   QStringLiteral("Manual"), QStringLiteral("Travel")}));
    QVERIFY2(FErrors.isEmpty(), qPrintable(FErrors.join(QLatin1Char('\n'))));
}

void TestNetworkManager::dropIsAnnouncedWithItsReason()
{
    QStringList drops;
    FManager->SetConnectionDroppedNotify(
        [&](const QString& Id, const QString& Reason) { drops << Id + QStringLiteral(": ") + Reason; });
    const QStringList before = ActiveConnections();
    FManager->Connect(kModemId, QStringLiteral("Mobile Internet"));
    QTRY_VERIFY_WITH_TIMEOUT(ActiveConnections().size() == before.size() + 1, 10000);
    QString active;
    for (const QString& p : ActiveConnections()) {
        if (!before.contains(p)) {
            active = p;
        }
    }
    QVERIFY(Control({QStringLiteral("addresses"), QStringLiteral("10.64.1.2"), QStringLiteral("2001:db8:64::2")}));
    QVERIFY(Control({QStringLiteral("state"), active, QStringLiteral("2"), QStringLiteral("0")}));
    QTRY_COMPARE_WITH_TIMEOUT(FManager->GetConnectionState(kModemId), csConnected, 10000);
    QVERIFY(FManager->GetSession(kModemId).Connected);
    // The session's addresses, from the device's IP configurations.
    QTRY_COMPARE_WITH_TIMEOUT(FManager->GetSession(kModemId).IPv4, QStringList{QStringLiteral("10.64.1.2")}, 10000);
    QCOMPARE(FManager->GetSession(kModemId).IPv6, QStringList{QStringLiteral("2001:db8:64::2")});
    QVERIFY(drops.isEmpty());
    // NetworkManager ends it: the device went away (reason 3).
    QVERIFY(Control({QStringLiteral("state"), active, QStringLiteral("4"), QStringLiteral("3")}));
    QTRY_COMPARE_WITH_TIMEOUT(drops.size(), 1, 10000);
    QCOMPARE(drops.first(), kModemId + QStringLiteral(": the device was disconnected"));
    QCOMPARE(FManager->GetConnectionState(kModemId), csDisconnected);
    QVERIFY(!FManager->GetSession(kModemId).Connected);
    // Not an error of anything the program asked for.
    QVERIFY2(FErrors.isEmpty(), qPrintable(FErrors.join(QLatin1Char('\n'))));
}

void TestNetworkManager::cancelWhileActivating()
{
    QStringList drops;
    FManager->SetConnectionDroppedNotify([&](const QString& Id, const QString&) { drops << Id; });
    const QStringList before = ActiveConnections();
    FManager->Connect(kModemId, QStringLiteral("Mobile Internet"));
    QTRY_VERIFY_WITH_TIMEOUT(ActiveConnections().size() == before.size() + 1, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(FManager->GetConnectionState(kModemId), csConnecting, 10000);
    FManager->CancelConnect(kModemId);
    // The activation is taken down, the state returns to disconnected, and the connect's end is
    // no error: the user asked for it.
    QTRY_COMPARE_WITH_TIMEOUT(FManager->GetConnectionState(kModemId), csDisconnected, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(ActiveConnections().size(), before.size(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!FStates.isEmpty() && FStates.last() == csDisconnected, 10000);
    QTest::qWait(500);
    QVERIFY(!FStates.contains(csConnected));
    QVERIFY2(FErrors.isEmpty(), qPrintable(FErrors.join(QLatin1Char('\n'))));
    QVERIFY(drops.isEmpty());
}

void TestNetworkManager::autoTakesModemManagerOnlyWithAModem()
{
    FManager.reset();
    TBackendOptions options;
    QCOMPARE(CreateBackend(QStringLiteral("auto"), options)->Name(), QStringLiteral("modemmanager"));
    // Without ModemManager on the bus: "auto" is the simulated modem, and asking for
    // ModemManager by name is an error that says why.
    StopChild(FMMMock);
    QTRY_VERIFY_WITH_TIMEOUT(!QDBusConnection::systemBus().interface()->isServiceRegistered(
                                 QStringLiteral("org.freedesktop.ModemManager1")),
                             10000);
    const std::shared_ptr<IMbnInterfaceManager> automatic = CreateBackend(QStringLiteral("auto"), options);
    QCOMPARE(automatic->Name(), QStringLiteral("sim"));
    try {
        CreateBackend(QStringLiteral("modemmanager"), options);
        QFAIL("the ModemManager backend was created without ModemManager");
    } catch (const EOmbrelayError& e) {
        QVERIFY2(QString::fromUtf8(e.what()).contains(QLatin1String("ModemManager does not answer")), e.what());
    }

    // ModemManager starting later takes over from the simulated modem without a restart: the
    // list of the manager over "auto" follows.
    TMBManager manager(automatic);
    QStringList changes;
    manager.SetInterfacesChangedNotify([&](const QString& Added, const QString& Removed) {
        changes << (Added.isEmpty() ? QStringLiteral("-") + Removed : QStringLiteral("+") + Added);
    });
    QCOMPARE(manager.GetInterfaceList()->Count(), 1);
    QCOMPARE(manager.GetInterfaceList()->Items(0)->Backend(), QStringLiteral("sim"));
    FMMMock = StartChild(QStringLiteral("/usr/bin/python3"),
                         {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--template"),
                          QStringLiteral(OMBRELAY_MM_MOCK), QStringLiteral("-p"),
                          QStringLiteral("{\"id\": \"%1\"}").arg(kModemId)});
    QVERIFY(FMMMock);
    QTRY_COMPARE_WITH_TIMEOUT(automatic->Name(), QStringLiteral("modemmanager"), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(manager.GetInterfaceList()->FindByID(kModemId), 20000);
    QCOMPARE(manager.GetInterfaceList()->Count(), 1);
    QCOMPARE(manager.GetInterfaceList()->Items(0)->Backend(), QStringLiteral("modemmanager"));
    QCOMPARE(changes, QStringList({QStringLiteral("-sim0"), QStringLiteral("+") + kModemId}));
}

QTEST_GUILESS_MAIN(TestNetworkManager)
#include "tst_mm_network.moc"
