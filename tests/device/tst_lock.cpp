// A locked SIM and a modem switched off, on the simulated modem under the manager: the codes
// counting down to the PUK and to a blocked SIM, reads held back while the store is shut and made
// at once after the unlock (from an item read anew), and which modems "Switch modems on when
// found" switches on.

#include "DeviceFixture.h"
#include "platform/sim/SimControl.h"

#include <QTest>

using namespace Ombrelay;

namespace
{

TSimScenario Locked(const QString& Pin = QStringLiteral("1234"))
{
    TSimScenario s = TestScenario();
    s.Interfaces[0].Pin = Pin;
    return s;
}

TSimScenario Off()
{
    TSimScenario s = TestScenario();
    s.Interfaces[0].Enabled = false;
    return s;
}

} // namespace

class TestLock : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Wrong PINs count down; the third asks for the PUK; a right PUK sets the new PIN; ten wrong
    // PUKs block the SIM for good. Each step as the manager and the texts shown see it.
    void codesCountDownToPukAndBlock()
    {
        TDeviceFixture f(Locked());
        TMBManager& m = f.Start();
        QStringList outcomes;
        m.SetDeviceRequestNotify(
            [&](const QString&, quint32, const QString& Error) { outcomes << (Error.isEmpty() ? "ok" : Error); });
        auto text = [&] { return DeviceStateText(m.GetLockState("sim0"), m.IsPowered("sim0"), m.RadioEnabled()); };
        QCOMPARE(text(), QString("SIM PIN required"));
        QCOMPARE(m.GetLockState("sim0").AttemptsLeft, 3);
        for (int left : {2, 1}) {
            m.SendPin("sim0", "0000");
            QVERIFY(f.Settle());
            QCOMPARE(m.GetLockState("sim0").AttemptsLeft, left);
            QCOMPARE(m.GetLockState("sim0").Lock, TMbnLock::lkSimPin);
        }
        m.SendPin("sim0", "0000");
        QVERIFY(f.Settle());
        QCOMPARE(text(), QString("SIM PUK required"));
        QCOMPARE(m.GetLockState("sim0").AttemptsLeft, 10);
        QCOMPARE(outcomes, QStringList({"The code is wrong", "The code is wrong", "The code is wrong"}));
        // A PIN is no answer to a PUK lock: refused at once, nothing spent.
        QVERIFY_THROWS_EXCEPTION(EMBException, m.SendPin("sim0", "1234"));
        QCOMPARE(m.GetLockState("sim0").AttemptsLeft, 10);

        m.SendPuk("sim0", "12345678", "5678");
        QVERIFY(f.Settle());
        QCOMPARE(text(), QString());
        QCOMPARE(outcomes.last(), QString("ok"));

        // The new PIN holds from the next lock on; ten wrong PUKs block the SIM.
        TSimControl control(*f.Modem, QDir::tempPath() + QStringLiteral("/ombrelay-lock-%1").arg(getpid()));
        QCOMPARE(control.Execute("pin sim0 5678"), QString("ok"));
        QVERIFY(f.Settle());
        for (int i = 0; i < 3; ++i) {
            m.SendPin("sim0", "1234");
            QVERIFY(f.Settle());
        }
        QCOMPARE(control.Execute("lock sim0"), QString("ok puk 10"));
        for (int i = 0; i < 10; ++i) {
            m.SendPuk("sim0", "00000000", "1111");
            QVERIFY(f.Settle());
        }
        QCOMPARE(text(), QString("SIM blocked"));
        QVERIFY_THROWS_EXCEPTION(EMBException, m.SendPuk("sim0", "12345678", "1111"));
        QVERIFY(f.Errors.isEmpty());
    }

    // Locked, the store is shut: polls neither read nor report; the unlock reads the item anew
    // and stores what waited, without a poll.
    void unlockReadsAtOnce()
    {
        TDeviceFixture f(Locked());
        TMBManager& m = f.Start();
        QCOMPARE(f.Modem->Deliver("sim0", "+4911111", "behind the PIN"), 1);
        QVERIFY(f.Tick());
        QVERIFY(f.IncomingTexts().isEmpty());
        QCOMPARE(f.Modem->StoredCount("sim0"), 1);
        QCOMPARE(m.GetRegistration("sim0").State, TMbnRegisterState::rsNotRegistered);
        QList<std::pair<QString, QString>> changes;
        m.SetInterfacesChangedNotify([&](const QString& A, const QString& R) { changes << std::pair{A, R}; });
        TMBInterfaceItem* before = f.Item();
        Q_UNUSED(before);

        m.SendPin("sim0", "1234");
        QVERIFY(f.Settle());
        QCOMPARE(f.IncomingTexts(), QStringList{"behind the PIN"});
        QCOMPARE(changes, (QList<std::pair<QString, QString>>{{QString(), "sim0"}, {"sim0", QString()}}));
        QCOMPARE(m.GetInterfaceList()->Count(), 1);
        QCOMPARE(m.GetRegistration("sim0").State, TMbnRegisterState::rsHome);
        QVERIFY(f.Errors.isEmpty());
    }

    // The setting switches on a modem found off (at the start, or once set), never one that was
    // seen on and then switched off elsewhere; a locked modem waits for its unlock.
    void switchOnWhenFound()
    {
        {
            TDeviceFixture f(Off());
            TMBManager& m = f.Start();
            QCOMPARE(f.Modem->Deliver("sim0", "+4911111", "while off"), 1);
            QVERIFY(f.Tick());
            QVERIFY(!m.IsPowered("sim0"));
            QVERIFY(f.IncomingTexts().isEmpty());
            m.SetSwitchOnModems(true);
            QVERIFY(f.Settle());
            QVERIFY(f.Modem->IsPowered("sim0"));
            QCOMPARE(f.IncomingTexts(), QStringList{"while off"});

            // Switched off elsewhere after that: shown off and left off, even by later polls.
            f.Modem->SwitchPower("sim0", false);
            QVERIFY(f.Tick());
            QVERIFY(!f.Modem->IsPowered("sim0"));
            QCOMPARE(DeviceStateText(m.GetLockState("sim0"), m.IsPowered("sim0"), true), QString("Modem switched off"));
            // Enable, as the user asks for it.
            m.SwitchOn("sim0");
            QVERIFY(f.Settle());
            QVERIFY(f.Modem->IsPowered("sim0"));
            QVERIFY(f.Errors.isEmpty());
        }
        {
            // Locked and off: switched on only once unlocked.
            TSimScenario s = Locked();
            s.Interfaces[0].Enabled = false;
            TDeviceFixture f(s);
            TMBManager& m = f.Start();
            m.SetSwitchOnModems(true);
            QVERIFY(f.Settle());
            QVERIFY(!f.Modem->IsPowered("sim0"));
            m.SendPin("sim0", "1234");
            QVERIFY(f.Settle());
            QVERIFY(f.Modem->IsPowered("sim0"));
            QVERIFY(m.IsReady("sim0"));
        }
        {
            // Without the setting nothing is switched on.
            TDeviceFixture f(Off());
            TMBManager& m = f.Start();
            m.SetSwitchOnModems(false);
            QVERIFY(f.Tick());
            QVERIFY(!f.Modem->IsPowered("sim0"));
        }
    }

    // A failing switch-on of the setting's own is reported once; nothing waits for it.
    void failedSwitchOnReported()
    {
        TDeviceFixture f(Off());
        TMBManager& m = f.Start();
        f.Modem->Fail("EnableComplete", 1);
        m.SetSwitchOnModems(true);
        QVERIFY(f.Settle());
        QVERIFY(!f.Modem->IsPowered("sim0"));
        QCOMPARE(f.Errors.size(), 1);
        QVERIFY(f.Errors[0].startsWith("The modem could not be switched on"));
    }

    // Once the manager is gone, lock and power events reach nobody.
    void subscriptionsEndWithTheManager()
    {
        TDeviceFixture f(Locked());
        f.Start();
        QCOMPARE(f.Modem->DeviceStateListeners(), 4);
        f.Manager.reset();
        QCOMPARE(f.Modem->DeviceStateListeners(), 0);
        f.Modem->SetPin("sim0", "4321");
        QVERIFY(f.Settle());
    }
};

QTEST_GUILESS_MAIN(TestLock)
#include "tst_lock.moc"
