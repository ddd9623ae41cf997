// The manager over the simulated modem: interfaces and their capability texts, profiles,
// connection state and signal, and the life of its subscriptions.

#include "DeviceFixture.h"
#include "core/MBProfleItem.h"
#include "core/Usage.h"

#include <QTest>

using namespace Ombrelay;

namespace
{

struct TStateEvent
{
    QString Id;
    TConnectionState State;
    bool operator==(const TStateEvent& O) const { return Id == O.Id && State == O.State; }
};

} // namespace

Q_DECLARE_METATYPE(TMbnInterfaceCaps)

class TestManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void capabilityTexts_data()
    {
        QTest::addColumn<TMbnInterfaceCaps>("caps");
        QTest::addColumn<QStringList>("texts"); // cellular, voice, data, band, sms, control, ToString
        auto caps = [](quint32 Cellular, quint32 Voice, quint32 Data, const QString& CustomData, quint32 Gsm,
                       quint32 Cdma, quint32 Sms, quint32 Control, const QString& Manufacturer, const QString& Model) {
            TMbnInterfaceCaps c;
            c.cellularClass = Cellular;
            c.voiceClass = Voice;
            c.dataClass = Data;
            c.customDataClass = CustomData;
            c.gsmBandClass = Gsm;
            c.cdmaBandClass = Cdma;
            c.customBandClass = QStringLiteral("Custom band");
            c.smsCaps = Sms;
            c.controlCaps = Control;
            c.manufacturer = Manufacturer;
            c.model = Model;
            return c;
        };
        QTest::newRow("names in table order, LTE before HSUPA")
            << caps(1, 3, 0x35, "", 0x3, 0x3, 0x3, 0x0C, "Maker", "M1")
            << QStringList{"GSM",     "Simultaneous voice and data",   "GPRS, UMTS, LTE, HSUPA",
                           "0, IMT",  "Receive PDU SMS, Send PDU SMS", "Mobile IP support,  Simple IP support",
                           "Maker M1"};
        QTest::newRow("empty custom data class keeps its separator")
            << caps(1, 1, 0x80000001, "", 0x80000000, 0, 0xC, 0x1, "Maker", "")
            << QStringList{"GSM",         "No voice calls support",          "GPRS, ",
                           "Custom band", "Receive text SMS, Send text SMS", "Manual selection allowed",
                           "Maker "};
        QTest::newRow("CDMA band names") << caps(2, 2, 0x10000, "", 0x3, 0x3, 0x1, 0xC0, "", "Only model")
                                         << QStringList{"CDMA",
                                                        "Voice and data not simultaneously",
                                                        "1xRTT",
                                                        "800MHz Cellular, 1900MHz",
                                                        "Receive PDU SMS",
                                                        "USSD, Multiple cellular classes",
                                                        " Only model"};
        QTest::newRow("unknown classes and unlisted bits give empty texts")
            << caps(0, 0, 0x40000000, "", 0x3, 0x3, 0, 0x100, "", "") << QStringList{"", "", "", "", "", "", " "};
        QTest::newRow("custom data class named")
            << caps(1, 4, 0x80000020, "5G", 0x100, 0, 0x2, 0x8, "A", "B")
            << QStringList{"GSM", "", "LTE, 5G", "EGSM900", "Send PDU SMS", " Simple IP support", "A B"};
    }
    void capabilityTexts()
    {
        QFETCH(TMbnInterfaceCaps, caps);
        QFETCH(QStringList, texts);
        TSimScenario s = TestScenario();
        s.Interfaces[0].Caps = caps;
        TDeviceFixture f(s);
        f.Start();
        TMBInterfaceItem* i = f.Item();
        QCOMPARE(QStringList({i->CellularClass(), i->VoiceClass(), i->DataClass(), i->BandClass(), i->SmsCaps(),
                              i->CtlCaps(), i->ToString()}),
                 texts);
        QCOMPARE(i->Backend(), QStringLiteral("sim"));
    }

    void getByIdIsExact()
    {
        TDeviceFixture f(TestScenario({"modem-A", "modem-B"}));
        TMBManager& m = f.Start();
        TMBInterfaceList* list = m.GetInterfaceList();
        QCOMPARE(list->Count(), 2);
        QCOMPARE(list->GetByID("modem-B"), list->Items(1));
        try {
            list->GetByID("MODEM-A");
            QFAIL("a differently cased identifier was found");
        } catch (const EMBException& e) {
            QCOMPARE(e.Message(), QStringLiteral("Interface not found: MODEM-A"));
        }
    }

    void profileXml_data()
    {
        QTest::addColumn<QString>("xml");
        // Name, IsDefault, ConnectionMode, HomeProviderName, Compression, AccessString,
        // AuthProtocol, Password, UserName, IgnorePassword
        QTest::addColumn<QStringList>("fields");
        const QString ns = QStringLiteral(" xmlns=\"urn:example:profile\"");
        QTest::newRow("no Context") << QStringLiteral("<P%1><Name>N</Name><IsDefault>TRUE</IsDefault>"
                                                      "<ConnectionMode>auto</ConnectionMode>"
                                                      "<HomeProviderName>Net</HomeProviderName></P>")
                                           .arg(ns)
                                    << QStringList{"N", "1", "auto", "Net", "", "", "", "", "", "0"};
        QTest::newRow("Context without UserLogonCred, default namespace")
            << QStringLiteral("<P%1><Name>N</Name><IsDefault>0</IsDefault><Context><Compression>ENABLE</Compression>"
                              "<AccessString> apn </AccessString><AuthProtocol>PAP</AuthProtocol></Context></P>")
                   .arg(ns)
            << QStringList{"N", "0", "", "", "ENABLE", " apn ", "PAP", "", "", "0"};
        QTest::newRow("full, no namespace, Boolean numbers")
            << QStringLiteral("<P><Name>Full</Name><IsDefault>1</IsDefault><Context><AccessString>a</AccessString>"
                              "<UserLogonCred><UserName>u</UserName><Password>p&amp;w</Password>"
                              "<IgnorePassword>7</IgnorePassword></UserLogonCred></Context></P>")
            << QStringList{"Full", "1", "", "", "", "a", "", "p&w", "u", "1"};
        QTest::newRow("Boolean words in any case")
            << QStringLiteral("<P><IsDefault>fAlSe</IsDefault><Context><UserLogonCred>"
                              "<IgnorePassword>True</IgnorePassword></UserLogonCred></Context></P>")
            << QStringList{"", "0", "", "", "", "", "", "", "", "1"};
        QTest::newRow("element differing in letter case is missing")
            << QStringLiteral("<P><name>x</name><Context><accessstring>apn</accessstring></Context></P>")
            << QStringList{"", "0", "", "", "", "", "", "", "", "0"};
        QTest::newRow("grandchild Context is not found")
            << QStringLiteral("<P><Name>G</Name><Wrap><Context><AccessString>apn</AccessString></Context></Wrap></P>")
            << QStringList{"G", "0", "", "", "", "", "", "", "", "0"};
        QTest::newRow("empty and unreadable values are empty or false")
            << QStringLiteral("<P><Name/><IsDefault>maybe</IsDefault><Context><UserLogonCred><IgnorePassword/>"
                              "</UserLogonCred></Context></P>")
            << QStringList{"", "0", "", "", "", "", "", "", "", "0"};
        QTest::newRow("child in another namespace is not the parent's")
            << QStringLiteral("<P%1 xmlns:o=\"urn:other\"><o:Name>other</o:Name><Name>mine</Name></P>").arg(ns)
            << QStringList{"mine", "0", "", "", "", "", "", "", "", "0"};
    }
    void profileXml()
    {
        QFETCH(QString, xml);
        QFETCH(QStringList, fields);
        TMBProfleItem p(xml);
        auto b = [](bool v) { return v ? QStringLiteral("1") : QStringLiteral("0"); };
        QCOMPARE(QStringList({p.Name(), b(p.IsDefault()), p.ConnectionMode(), p.HomeProviderName(), p.Compression(),
                              p.AccessString(), p.AuthProtocol(), p.Password(), p.UserName(), b(p.IgnorePassword())}),
                 fields);
    }

    // A broken profile is left out and reported; the other profiles and interfaces load, and
    // two profiles of the same name are both listed in the stack's order.
    void brokenProfileSkipped()
    {
        TSimScenario s = TestScenario({"one", "two"});
        s.Interfaces[0].Profiles = {SimProfileXml("Same", true, "a"), QStringLiteral("<MBNProfile><Name>cut"),
                                    SimProfileXml("Same", false, "b")};
        TDeviceFixture f(s);
        TMBManager& m = f.Start();
        const TMBProfleList& profiles = f.Item("one")->ProfileList();
        QCOMPARE(int(profiles.size()), 2);
        QCOMPARE(profiles[0]->AccessString(), QStringLiteral("a"));
        QCOMPARE(profiles[1]->AccessString(), QStringLiteral("b"));
        QCOMPARE(profiles[1]->Name(), QStringLiteral("Same"));
        QCOMPARE(m.GetLoadWarnings().size(), 1);
        QVERIFY2(m.GetLoadWarnings().first().startsWith("Profile 2 of "), qPrintable(m.GetLoadWarnings().first()));
        QCOMPARE(int(f.Item("two")->ProfileList().size()), 2);
    }

    void noInterfaces()
    {
        TDeviceFixture f;
        f.Modem->Fail("GetInterfaces", 1);
        TMBManager& m = f.Start();
        QCOMPARE(m.GetInterfaceList()->Count(), 0);
        QVERIFY(f.Tick());
        QVERIFY(f.Errors.isEmpty());
    }

    void stateMapping_data()
    {
        QTest::addColumn<quint32>("raw");
        QTest::addColumn<int>("queried");
        QTest::addColumn<bool>("announced");
        QTest::newRow("0: none") << 0u << int(csUnknown) << false;
        QTest::newRow("1: activated") << 1u << int(csConnected) << true;
        QTest::newRow("2: activating") << 2u << int(csConnecting) << true;
        QTest::newRow("3: deactivated") << 3u << int(csDisconnected) << true;
        QTest::newRow("4: deactivating") << 4u << int(csDisconnecting) << true;
        QTest::newRow("7: unlisted") << 7u << int(csUnknown) << false;
    }
    void stateMapping()
    {
        QFETCH(quint32, raw);
        QFETCH(int, queried);
        QFETCH(bool, announced);
        TDeviceFixture f;
        TMBManager& m = f.Start();
        QList<TStateEvent> events;
        m.SetConnectionStateNotify([&](const QString& Id, TConnectionState S) { events << TStateEvent{Id, S}; });
        f.Modem->SetActivationState("sim0", raw);
        QVERIFY(f.Settle());
        QCOMPARE(int(m.GetConnectionState("sim0")), queried);
        QCOMPARE(events.size(), announced ? 1 : 0);
        if (announced) {
            QCOMPARE(int(events.first().State), queried);
        }
    }

    void connectionStateQueries()
    {
        TDeviceFixture f;
        TMBManager& m = f.Start();
        QCOMPARE(m.GetConnectionState("sim0"), csDisconnected);
        f.Modem->Fail("GetConnection", 1);
        QCOMPARE(m.GetConnectionState("sim0"), csUnknown);
        QVERIFY_THROWS_EXCEPTION(EMBException, m.GetConnectionState("nope"));
        f.Modem->Fail("GetConnectionState", 1);
        QVERIFY_THROWS_EXCEPTION(EMBException, m.GetConnectionState("sim0"));
    }

    void connectAndDisconnect()
    {
        TDeviceFixture f;
        TMBManager& m = f.Start();
        QList<TConnectionState> states;
        m.SetConnectionStateNotify([&](const QString&, TConnectionState S) { states << S; });
        m.Connect("sim0", "Internet");
        QCOMPARE(m.GetConnectionState("sim0"), csConnecting);
        QVERIFY(f.Settle());
        QCOMPARE(f.Modem->StateName("sim0"), QStringLiteral("connected"));
        QCOMPARE(states.first(), csConnecting);
        QCOMPARE(states.last(), csConnected);
        states.clear();
        m.Disconnect("sim0");
        QVERIFY(f.Settle());
        QCOMPARE(states.first(), csDisconnecting);
        QCOMPARE(states.last(), csDisconnected);
        QVERIFY(f.Errors.isEmpty());
        // A refused call raises with a readable text.
        f.Modem->Fail("Connect", 1);
        try {
            m.Connect("sim0", "Internet");
            QFAIL("no error");
        } catch (const EMBException& e) {
            QCOMPARE(e.Message(), QStringLiteral("Connect: ") + MbnErrorText(mrFailed));
        }
    }

    // A completion that reports failure announces the connection's real state, and the failure
    // reaches the user.
    void failedCompletions()
    {
        TDeviceFixture f;
        TMBManager& m = f.Start();
        QList<TConnectionState> states;
        m.SetConnectionStateNotify([&](const QString&, TConnectionState S) { states << S; });
        f.Modem->Fail("ConnectComplete", 1);
        m.Connect("sim0", "Internet");
        QVERIFY(f.Settle());
        QVERIFY(!states.contains(csConnected));
        QCOMPARE(states.last(), csDisconnected);
        QCOMPARE(f.Errors.size(), 1);
        QVERIFY2(f.Errors.first().startsWith("Connect failed: "), qPrintable(f.Errors.first()));
        // An unknown profile fails the same way.
        states.clear();
        m.Connect("sim0", "No such profile");
        QVERIFY(f.Settle());
        QVERIFY(!states.contains(csConnected));
        QCOMPARE(f.Errors.size(), 2);

        m.Connect("sim0", "Internet");
        QVERIFY(f.Settle());
        states.clear();
        f.Modem->Fail("DisconnectComplete", 1);
        m.Disconnect("sim0");
        QVERIFY(f.Settle());
        QVERIFY(!states.contains(csDisconnected));
        QCOMPARE(states.last(), csConnected);
        QCOMPARE(f.Errors.size(), 3);
        QVERIFY(f.Errors.last().startsWith("Disconnect failed: "));
    }

    void signalPassedOnUnchangedForEveryInterface()
    {
        TDeviceFixture f(TestScenario({"a", "b"}));
        TMBManager& m = f.Start();
        QList<std::pair<QString, quint32>> events;
        m.SetConnectionSignalNotify([&](const QString& Id, quint32 S) { events.append({Id, S}); });
        f.Modem->SetSignal("b", 99);
        f.Modem->SetSignal("a", 31);
        QVERIFY(f.Settle());
        QCOMPARE(events.size(), 2);
        QCOMPARE(events[0], std::make_pair(QStringLiteral("b"), 99u));
        QCOMPARE(events[1], std::make_pair(QStringLiteral("a"), 31u));
        QCOMPARE(m.GetSignalStrength("b"), 99u);
        // A strength the device cannot read: the event is dropped, the query raises.
        f.Modem->Fail("GetSignalStrength", 1);
        f.Modem->SetSignal("a", 5);
        QVERIFY(f.Settle());
        QCOMPARE(events.size(), 2);
        f.Modem->Fail("GetSignalStrength", 1);
        QVERIFY_THROWS_EXCEPTION(EMBException, m.GetSignalStrength("a"));
    }

    void unassignedCallbacksConsumeEvents()
    {
        TDeviceFixture f;
        TMBManager& m = f.Start();
        int calls = 0;
        m.SetConnectionStateNotify([&](const QString&, TConnectionState) { ++calls; });
        m.SetConnectionSignalNotify([&](const QString&, quint32) { ++calls; });
        m.SetIncomingSmsNotify([&](TMBInterfaceItem*) { ++calls; });
        m.SetOutgoingSmsNotify([&](TMBInterfaceItem*) { ++calls; });
        // Setting an empty callback switches the notification off.
        m.SetConnectionStateNotify({});
        m.SetConnectionSignalNotify({});
        m.SetIncomingSmsNotify({});
        m.SetOutgoingSmsNotify({});
        f.Modem->SetSignal("sim0", 3);
        f.Modem->Deliver("sim0", "+4917012", "hi");
        m.Connect("sim0", "Internet");
        TSmsSend s;
        s.SetTarget("+4917012");
        s.SetText("out");
        m.SendSms("sim0", s.EncodePdu().first());
        QVERIFY(f.Tick());
        QCOMPARE(calls, 0);
        QVERIFY(f.Errors.isEmpty());
        QCOMPARE(f.Count("SELECT COUNT(*) FROM INCOMING"), 1);
        QCOMPARE(f.Count("SELECT COUNT(*) FROM OUTGOING WHERE SENT = 1"), 1);
    }

    // The modem's byte counters reach usage accounting while the manager lives.
    void usageCountsTheModemsTraffic()
    {
        TDeviceFixture f;
        QTemporaryDir noSysfs;
        TUsageThread usage(noSysfs.path());
        f.Start();
        usage.Pass(); // baseline
        f.Modem->AddTraffic("sim0", 5000, 700);
        usage.Pass();
        QCOMPARE(usage.PendingIn(), 5000u);
        QCOMPARE(usage.PendingOut(), 700u);
        f.Manager.reset();
        f.Modem->AddTraffic("sim0", 1, 1);
        usage.Pass();
        QCOMPARE(usage.PendingIn(), 5000u);
    }

    // The simulated modem's traffic flows only while it is connected; idle, its counters stand still.
    void trafficOnlyWhileConnected()
    {
        TDeviceFixture f;
        TMBManager& m = f.Start();
        std::shared_ptr<IMbnInterface> i;
        QCOMPARE(f.Modem->GetInterface(QStringLiteral("sim0"), i), TMbnResult(mrOk));
        auto received = [&i] {
            quint64 rx = 0;
            quint64 tx = 0;
            i->GetByteCounters(rx, tx);
            return rx;
        };
        const quint64 idle = received();
        QTest::qWait(1300);
        QCOMPARE(received(), idle);
        m.Connect("sim0", "Internet");
        QVERIFY(f.Settle());
        QTRY_VERIFY_WITH_TIMEOUT(received() > idle, 3000);
        m.Disconnect("sim0");
        QVERIFY(f.Settle());
        const quint64 after = received();
        QTest::qWait(1300);
        QCOMPARE(received(), after);
    }

    // Once the manager is gone, events the device still delivers reach nobody.
    void subscriptionsEndWithTheManager()
    {
        TDeviceFixture f;
        TMBManager& m = f.Start();
        int calls = 0;
        m.SetConnectionStateNotify([&](const QString&, TConnectionState) { ++calls; });
        m.SetConnectionSignalNotify([&](const QString&, quint32) { ++calls; });
        m.Connect("sim0", "Internet");
        f.Modem->SetSignal("sim0", 9);
        QVERIFY(f.Modem->PendingEvents() > 0);
        QCOMPARE(f.Modem->Listeners(), 8);
        f.Manager.reset();
        QCOMPARE(f.Modem->Listeners(), 0);
        QVERIFY(f.Settle());
        QCOMPARE(calls, 0);
        QCOMPARE(f.Modem->StateName("sim0"), QStringLiteral("connected"));
    }
};

QTEST_GUILESS_MAIN(TestManager)
#include "tst_manager.moc"
