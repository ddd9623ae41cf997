// Modems that come and go while the program runs: the simulated modem plugged in and pulled out,
// the manager's list, its reads and usage accounting following at once, and the automatic
// backend giving way to a real stack that appears later.

#include "DeviceFixture.h"
#include "backends/AutoBackend.h"
#include "core/Usage.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Ombrelay;

namespace
{

// sim0 is plugged in at the start, sim1 only later.
TSimScenario TwoModemsOneAway()
{
    TSimScenario s = TestScenario({QStringLiteral("sim0"), QStringLiteral("sim1")});
    s.Interfaces[1].Plugged = false;
    return s;
}

QStringList Listed(TMBManager& M)
{
    QStringList r;
    for (const auto& item : *M.GetInterfaceList()) {
        r << item->InterfaceID();
    }
    return r;
}

struct TChange
{
    QString Added;
    QString Removed;
    bool operator==(const TChange& O) const { return Added == O.Added && Removed == O.Removed; }
};

} // namespace

class TestModems : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The list follows plugging in and pulling out; a modem's messages that arrived while it was
    // away are stored as soon as it is back, without waiting for a poll.
    void listFollowsPlugAndUnplug()
    {
        TDeviceFixture f(TwoModemsOneAway());
        TMBManager& m = f.Start();
        QList<TChange> changes;
        m.SetInterfacesChangedNotify([&](const QString& Added, const QString& Removed) {
            // The removed item is still there for whoever lets go of it now.
            if (!Removed.isEmpty()) {
                QVERIFY(!m.GetInterfaceList()->FindByID(Removed));
            }
            changes << TChange{Added, Removed};
        });
        QCOMPARE(Listed(m), QStringList{"sim0"});
        QCOMPARE(f.Modem->Deliver("sim1", "+4911111", "while away"), 1);

        f.Modem->Plug("sim1");
        QVERIFY(f.Settle());
        QCOMPARE(Listed(m), QStringList({"sim0", "sim1"}));
        QCOMPARE(f.IncomingTexts(), QStringList{"while away"});
        QCOMPARE(f.Modem->StoredCount("sim1"), 0);

        f.Modem->Unplug("sim0");
        QVERIFY(f.Settle());
        QCOMPARE(Listed(m), QStringList{"sim1"});
        std::shared_ptr<IMbnInterface> gone;
        QCOMPARE(f.Modem->GetInterface("sim0", gone), TMbnResult(mrNotFound));
        // Polls go on for what is listed.
        QVERIFY(f.Tick());

        f.Modem->Plug("sim0");
        QVERIFY(f.Settle());
        QCOMPARE(Listed(m), QStringList({"sim1", "sim0"}));
        QCOMPARE(changes, QList<TChange>({{"sim1", ""}, {"", "sim0"}, {"sim0", ""}}));
        QVERIFY2(f.Errors.isEmpty(), qPrintable(f.Errors.join('\n')));
    }

    // A name the modem does not know is a new device made like the scenario's first one;
    // plugging twice or pulling out what is not there is refused.
    void plugNewAndRefusals()
    {
        TDeviceFixture f;
        TMBManager& m = f.Start();
        f.Modem->Plug("stick2");
        QVERIFY(f.Settle());
        QCOMPARE(Listed(m), QStringList({"sim0", "stick2"}));
        QCOMPARE(f.Item("stick2")->Manufacturer(), f.Item("sim0")->Manufacturer());
        QCOMPARE(f.Item("stick2")->ProfileList().size(), f.Item("sim0")->ProfileList().size());
        QVERIFY_THROWS_EXCEPTION(EOmbrelayError, f.Modem->Plug("stick2"));
        f.Modem->Unplug("stick2");
        QVERIFY_THROWS_EXCEPTION(EOmbrelayError, f.Modem->Unplug("stick2"));
        QVERIFY_THROWS_EXCEPTION(EOmbrelayError, f.Modem->Unplug("nothing"));
        QVERIFY(f.Settle());
        QCOMPARE(Listed(m), QStringList{"sim0"});
    }

    // What the device still delivers for a modem pulled out in the middle of a request is no
    // error of the user's, and a read that can never complete does not hold up the next one
    // when the modem is back.
    void requestsOfAGoneModem()
    {
        TDeviceFixture f;
        TMBManager& m = f.Start();
        QList<TConnectionState> states;
        m.SetConnectionStateNotify([&](const QString&, TConnectionState State) { states << State; });
        m.Connect("sim0", "Internet");
        f.Modem->Lose("SmsRead", 1);
        m.ReadSms("sim0");
        f.Modem->SetSignal("sim0", 3);
        f.Modem->Unplug("sim0");
        QVERIFY(f.Settle());
        QVERIFY2(f.Errors.isEmpty(), qPrintable(f.Errors.join('\n')));
        QCOMPARE(m.GetInterfaceList()->Count(), 0);

        f.Modem->Deliver("sim0", "+4922222", "after the lost read");
        f.Modem->Plug("sim0");
        QVERIFY(f.Settle());
        QCOMPARE(f.IncomingTexts(), QStringList{"after the lost read"});
        // Back as a fresh device: disconnected, and a connect works again.
        QCOMPARE(m.GetConnectionState("sim0"), csDisconnected);
        states.clear();
        m.Connect("sim0", "Internet");
        QVERIFY(f.Settle());
        QCOMPARE(states.last(), csConnected);
        QVERIFY2(f.Errors.isEmpty(), qPrintable(f.Errors.join('\n')));
    }

    // Usage accounting counts a modem plugged in later, stops with one pulled out, and takes a
    // re-plugged modem's counters (which start again at zero) as new ones, not as a fall of the old.
    void usageFollowsModems()
    {
        TDeviceFixture f(TwoModemsOneAway());
        QTemporaryDir noSysfs;
        TUsageThread usage(noSysfs.path());
        f.Start();
        usage.Pass(); // baseline
        f.Modem->AddTraffic("sim0", 5000, 500);
        usage.Pass();
        QCOMPARE(usage.PendingIn(), 5000u);

        f.Modem->Plug("sim1");
        QVERIFY(f.Settle());
        f.Modem->AddTraffic("sim1", 300, 30);
        usage.Pass();
        QCOMPARE(usage.PendingIn(), 5300u);

        f.Modem->Unplug("sim0");
        QVERIFY(f.Settle());
        f.Modem->AddTraffic("sim0", 1, 1); // the device side counts on; the program sees nothing of it
        usage.Pass();
        QCOMPARE(usage.PendingIn(), 5300u);

        f.Modem->Plug("sim0");
        QVERIFY(f.Settle());
        f.Modem->AddTraffic("sim0", 6000, 600);
        usage.Pass();
        QCOMPARE(usage.PendingIn(), 11300u);
        QCOMPARE(usage.PendingOut(), 1130u);
    }

    // Registration reaches the owner as the network changes it, in words the status bar shows;
    // without a network there is nothing to connect to, and losing it ends a connection.
    void registrationFollowed_data()
    {
        QTest::addColumn<int>("State");
        QTest::addColumn<QString>("Operator");
        QTest::addColumn<int>("Tech");
        QTest::addColumn<QString>("Text");
        QTest::addColumn<bool>("CanConnect");
        using S = TMbnRegisterState;
        using T = TMbnAccessTech;
        QTest::newRow("home") << int(S::rsHome) << "" << int(T::atLte) << "Home: Ombrelay Mobile, LTE" << true;
        QTest::newRow("roaming") << int(S::rsRoaming) << "Vodafone DE" << int(T::atHspa) << "Roaming: Vodafone DE, HSPA"
                                 << true;
        QTest::newRow("roaming 5G") << int(S::rsRoaming) << "Orange F" << int(T::at5GNr) << "Roaming: Orange F, 5G NR"
                                    << true;
        QTest::newRow("home GSM") << int(S::rsHome) << "" << int(T::atGsm) << "Home: Ombrelay Mobile, GSM" << true;
        QTest::newRow("UMTS") << int(S::rsHome) << "" << int(T::atUmts) << "Home: Ombrelay Mobile, UMTS" << true;
        QTest::newRow("searching") << int(S::rsSearching) << "" << int(T::atLte) << "Searching for a network" << false;
        QTest::newRow("denied") << int(S::rsDenied) << "" << int(T::atLte) << "Registration denied" << false;
        QTest::newRow("not registered") << int(S::rsNotRegistered) << "" << int(T::atLte) << "Not registered" << false;
    }
    void registrationFollowed()
    {
        QFETCH(int, State);
        QFETCH(QString, Operator);
        QFETCH(int, Tech);
        QFETCH(QString, Text);
        QFETCH(bool, CanConnect);
        TDeviceFixture f;
        TMBManager& m = f.Start();
        QStringList heard;
        m.SetRegistrationNotify([&](const QString& Id) { heard << Id; });
        QList<TConnectionState> states;
        m.SetConnectionStateNotify([&](const QString&, TConnectionState S) { states << S; });
        m.Connect("sim0", "Internet");
        QVERIFY(f.Settle());
        QCOMPARE(states.last(), csConnected);

        f.Modem->SetAccessTech("sim0", TMbnAccessTech(Tech));
        f.Modem->SetRegistration("sim0", TMbnRegisterState(State), Operator);
        QVERIFY(f.Settle());
        QCOMPARE(heard, QStringList({"sim0", "sim0"}));
        const TMbnRegistration r = m.GetRegistration("sim0");
        QCOMPARE(RegistrationText(r), Text);
        QCOMPARE(r.OperatorCode.isEmpty(), !CanConnect);
        // Off the network the connection is gone, and a new one fails with its reason.
        QCOMPARE(states.last(), CanConnect ? csConnected : csDisconnected);
        if (!CanConnect) {
            m.Connect("sim0", "Internet");
            QVERIFY(f.Settle());
            QCOMPARE(states.last(), csDisconnected);
            QCOMPARE(f.Errors.size(), 1);
            QVERIFY2(f.Errors.first().contains(MbnErrorText(mrNotRegistered)), qPrintable(f.Errors.first()));
        }
    }

    // The signal as a percentage of the stack's 0 to 31 scale; values above it are unknown.
    void signalPercent_data()
    {
        QTest::addColumn<quint32>("Raw");
        QTest::addColumn<int>("Percent");
        QTest::newRow("none") << 0u << 0;
        QTest::newRow("one step") << 1u << 3;
        QTest::newRow("middle") << 15u << 48;
        QTest::newRow("full") << 31u << 100;
        QTest::newRow("unknown") << 99u << -1;
        QTest::newRow("just above") << 32u << -1;
    }
    void signalPercent()
    {
        QFETCH(quint32, Raw);
        QFETCH(int, Percent);
        QCOMPARE(SignalPercent(Raw), Percent);
    }

    // The scenario says which modems are away at the start; anything but true or false is refused.
    void scenarioPluggedKey_data()
    {
        QTest::addColumn<QByteArray>("Value");
        QTest::addColumn<int>("Listed"); // -1: refused
        QTest::newRow("absent") << QByteArray() << 1;
        QTest::newRow("true") << QByteArray("true") << 1;
        QTest::newRow("false") << QByteArray("false") << 0;
        QTest::newRow("number") << QByteArray("0") << -1;
        QTest::newRow("string") << QByteArray("\"no\"") << -1;
    }
    void scenarioPluggedKey()
    {
        QFETCH(QByteArray, Value);
        QFETCH(int, Listed);
        QByteArray json = R"({"interfaces": [{"id": "a")";
        if (!Value.isEmpty()) {
            json += R"(, "plugged": )" + Value;
        }
        json += "}]}";
        if (Listed < 0) {
            QVERIFY_THROWS_EXCEPTION(EOmbrelayError, TSimScenario::Parse(json));
            return;
        }
        TSimModem modem(TSimScenario::Parse(json));
        QList<std::shared_ptr<IMbnInterface>> interfaces;
        QCOMPARE(modem.GetInterfaces(interfaces), TMbnResult(mrOk));
        QCOMPARE(interfaces.size(), Listed);
        QCOMPARE(modem.IsPlugged("a"), Listed == 1);
    }

    // The automatic backend: the simulated modem until the real stack appears, then the real one,
    // with the change announced so that the manager's list follows without a restart.
    void autoBackendGivesWayToTheRealStack()
    {
        TDeviceFixture f;
        // The "real" stack stands in as a second simulated modem with other interfaces.
        auto real = std::make_shared<TSimModem>(TestScenario({QStringLiteral("usb-1"), QStringLiteral("usb-2")}));
        bool available = false;
        auto automatic = std::make_shared<TAutoBackend>(f.Modem, [&]() -> std::shared_ptr<IMbnInterfaceManager> {
            return available ? real : nullptr;
        });
        automatic->SetRemoveStoredMessages(false);
        TMBManager m(automatic);
        QList<TChange> changes;
        m.SetInterfacesChangedNotify([&](const QString& Added, const QString& Removed) {
            changes << TChange{Added, Removed};
        });
        QCOMPARE(Listed(m), QStringList{"sim0"});
        QVERIFY(!automatic->TryReal());
        QCOMPARE(automatic->Current(), std::static_pointer_cast<IMbnInterfaceManager>(f.Modem));

        real->Deliver("usb-2", "+4933333", "from the real stack");
        available = true;
        QVERIFY(automatic->TryReal());
        QVERIFY(f.Settle());
        QTRY_COMPARE(real->PendingEvents(), 0);
        QTRY_COMPARE(f.IncomingTexts(), QStringList{"from the real stack"});
        QCOMPARE(Listed(m), QStringList({"usb-1", "usb-2"}));
        QCOMPARE(changes, QList<TChange>({{"", "sim0"}, {"usb-1", ""}, {"usb-2", ""}}));

        // The old backend's events reach nobody; the new one's are passed on.
        QList<std::pair<QString, quint32>> signals;
        m.SetConnectionSignalNotify([&](const QString& Id, quint32 V) { signals << std::make_pair(Id, V); });
        f.Modem->SetSignal("sim0", 5);
        real->SetSignal("usb-1", 17);
        QVERIFY(f.Settle());
        QTRY_COMPARE(signals.size(), 1);
        QCOMPARE(signals.first(), std::make_pair(QStringLiteral("usb-1"), 17u));
        QVERIFY2(f.Errors.isEmpty(), qPrintable(f.Errors.join('\n')));
    }
};

QTEST_GUILESS_MAIN(TestModems)
#include "tst_modems.moc"
