// The main window's decisions without any widget: the controller over the simulated modem and
// a real database. Reconnect and restart requests of the monitor, the pending reconnect,
// auto-connect, start-up without a manager, and the shut-down order.

#include "base/DateTime.h"
#include "core/MBProfleItem.h"
#include "core/MainController.h"
#include "core/Monitor.h"
#include "core/MonitorLog.h"
#include "core/Options.h"
#include "device/DeviceFixture.h"

#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <chrono>
#include <thread>

using namespace Ombrelay;

namespace
{

// Raw activation states of the stack.
constexpr quint32 Activated = 1;
constexpr quint32 Activating = 2;
constexpr quint32 Deactivated = 3;
constexpr quint32 Deactivating = 4;

// A monitor whose web checks fail, for as many checks as it is allowed; then it idles.
class TFailingMonitor : public TMonitorThread
{
public:
    TFailingMonitor(quint32 RedialThreshold, quint32 RebootThreshold, int MaxChecks)
        : TMonitorThread([this] { return Settings(); }, 1)
        , FRedial(RedialThreshold)
        , FReboot(RebootThreshold)
        , FLimit(MaxChecks)
    {
    }
    ~TFailingMonitor() override { StopAndWait(); }

    std::atomic<int> Checks{0};

protected:
    bool CheckWebSites(const QStringList&) override
    {
        ++Checks;
        return false;
    }

private:
    TMonitorSettings Settings() const
    {
        TMonitorSettings s;
        s.Enabled = Checks.load() < FLimit;
        s.Interval = 10;
        s.RedialThreshold = FRedial;
        s.RebootThreshold = FReboot;
        s.Sites = {QStringLiteral("http://monitor.invalid/")};
        return s;
    }

    quint32 FRedial;
    quint32 FReboot;
    int FLimit;
};

// A monitor caught in a check that ends only when the monitor is stopped; at its end it reads
// what the database holds as the saved profile name.
class TSlowCheckMonitor : public TMonitorThread
{
public:
    TSlowCheckMonitor()
        : TMonitorThread(
              [] {
                  TMonitorSettings s;
                  s.Enabled = true;
                  s.Interval = 10;
                  s.Sites = {QStringLiteral("http://monitor.invalid/")};
                  return s;
              },
              1)
    {
    }
    ~TSlowCheckMonitor() override { StopAndWait(); }

    std::atomic<bool> InCheck{false};
    QString SavedAtEnd = QStringLiteral("(check never ended)");

protected:
    bool CheckWebSites(const QStringList&) override
    {
        InCheck = true;
        for (int i = 0; i < 1000 && !Terminated(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        TSQLiteLock lock(*Database);
        Database->FetchTable(QStringLiteral("SELECT VALUE FROM CONFIG WHERE NAME = 'profile.name'"));
        SavedAtEnd = Database->GetResultSet(1);
        return false;
    }
};

// The controller as the window drives it, over a device fixture.
class TControllerFixture
{
public:
    explicit TControllerFixture(const TSimScenario& Scenario = TestScenario())
        : Device(Scenario)
    {
        Options = &Opts;
    }
    ~TControllerFixture()
    {
        Controller.reset();
        Options = nullptr;
    }
    TControllerFixture(const TControllerFixture&) = delete;
    TControllerFixture& operator=(const TControllerFixture&) = delete;

    // The start-up steps of the window, with the monitor given (an idle one by default).
    TMainController& Open(std::unique_ptr<TMonitorThread> Monitor = nullptr)
    {
        Controller = std::make_unique<TMainController>();
        QObject::connect(Controller.get(), &TMainController::ErrorOccurred,
                         [this](const QString& Message) { Errors << Message; });
        QObject::connect(Controller.get(), &TMainController::Problem,
                         [this](const QString& Text) { Problems << Text; });
        QObject::connect(Controller.get(), &TMainController::ConnectionStateShown,
                         [this](TConnectionState State) { Shown << State; });
        Controller->CreateManager([this]() -> std::shared_ptr<IMBManager> {
            Device.Start();
            return Device.Manager;
        });
        Controller->StartMonitor(std::move(Monitor));
        Controller->LoadOptions();
        return *Controller;
    }

    // Selects an interface and its first profile (none when it has none), as the window does.
    void Select(const QString& Id)
    {
        TMBInterfaceItem* item = Device.Item(Id);
        Controller->SetSelectedInterface(item);
        Controller->SetSelectedProfile(item->ProfileList().empty() ? nullptr : item->ProfileList().front().get());
        Controller->RefreshConnectionState();
        Controller->RefreshSignal();
    }

    QString State(const QString& Id = QStringLiteral("sim0")) { return Device.Modem->StateName(Id); }

    TDeviceFixture Device;
    TOptions Opts;
    std::unique_ptr<TMainController> Controller;
    QStringList Errors;
    QStringList Problems;
    QList<TConnectionState> Shown;
};

} // namespace

class TestController : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void redial_data();
    void redial();
    void redialWithoutProfileLeavesNothingWaiting();
    void reconnectsLogged_data();
    void reconnectsLogged();
    void reboot_data();
    void reboot();
    void monitorThreadMessages_data();
    void monitorThreadMessages();
    void autoConnect_data();
    void autoConnect();
    void startUpWithoutManager();
    void shutDownWaitsForTheCheckBeforeSaving();
};

void TestController::init()
{
    Clock::SetNow(0);
}

void TestController::cleanup()
{
    Clock::SetNow(0);
}

void TestController::redial_data()
{
    QTest::addColumn<quint32>("Activation");
    QTest::addColumn<bool>("Profile");
    QTest::addColumn<QString>("Failing");
    QTest::addColumn<bool>("Pending");
    QTest::addColumn<QString>("After");
    QTest::addColumn<bool>("WentDown");
    QTest::addColumn<int>("Errors");
    QTest::newRow("connected: down, then up") << Activated << true << "" << true << "connected" << true << 0;
    QTest::newRow("disconnected: up at once") << Deactivated << true << "" << false << "connected" << false << 0;
    QTest::newRow("connecting: nothing") << Activating << true << "" << false << "connecting" << false << 0;
    QTest::newRow("disconnecting: nothing") << Deactivating << true << "" << false << "disconnecting" << false << 0;
    QTest::newRow("connected, no profile: nothing") << Activated << false << "" << false << "connected" << false << 0;
    QTest::newRow("disconnected, no profile: nothing")
        << Deactivated << false << "" << false << "disconnected" << false << 0;
    QTest::newRow("connect fails: reported")
        << Deactivated << true << "Connect" << false << "disconnected" << false << 1;
    QTest::newRow("disconnect fails: reported, nothing waits")
        << Activated << true << "Disconnect" << false << "connected" << false << 1;
}

void TestController::redial()
{
    QFETCH(quint32, Activation);
    QFETCH(bool, Profile);
    QFETCH(QString, Failing);
    QFETCH(bool, Pending);
    QFETCH(QString, After);
    QFETCH(bool, WentDown);
    QFETCH(int, Errors);
    TSimScenario scenario = TestScenario();
    if (!Profile) {
        scenario.Interfaces[0].Profiles.clear();
    }
    TControllerFixture f(scenario);
    f.Device.Modem->SetActivationState(QStringLiteral("sim0"), Activation);
    TMainController& c = f.Open();
    f.Select(QStringLiteral("sim0"));
    QVERIFY(f.Device.Settle());
    f.Shown.clear();
    if (!Failing.isEmpty()) {
        f.Device.Modem->Fail(Failing, 1);
    }

    c.MonitorMessage(WM_MONITOR_REDIAL);
    QCOMPARE(c.PendingReconnect(), Pending);
    QVERIFY(f.Device.Settle());
    QCOMPARE(f.State(), After);
    QCOMPARE(f.Shown.contains(csDisconnected), WentDown);
    QCOMPARE(f.Errors.size(), Errors);
    QVERIFY(!c.PendingReconnect());

    // Nothing is left waiting: a disconnect asked for afterwards stays a disconnect.
    if (After == QLatin1String("connected")) {
        c.Disconnect();
        QVERIFY(f.Device.Settle());
        QCOMPARE(f.State(), QStringLiteral("disconnected"));
    }
}

void TestController::reconnectsLogged_data()
{
    QTest::addColumn<quint32>("Activation");
    QTest::addColumn<QString>("Failing");
    QTest::addColumn<QStringList>("Log");
    QTest::newRow("connected: down and up")
        << Activated << "" << QStringList{"reconnect|disconnect and connect", "reconnect-result|ok"};
    QTest::newRow("disconnected: up") << Deactivated << "" << QStringList{"reconnect|connect", "reconnect-result|ok"};
    QTest::newRow("connect refused") << Deactivated << "Connect"
                                     << QStringList{"reconnect|connect", "reconnect-result|failed"};
    QTest::newRow("disconnect refused") << Activated << "Disconnect"
                                        << QStringList{"reconnect|disconnect and connect", "reconnect-result|failed"};
}

// Each reconnect request of the monitor and its outcome land in the monitor log.
void TestController::reconnectsLogged()
{
    QFETCH(quint32, Activation);
    QFETCH(QString, Failing);
    QFETCH(QStringList, Log);
    TControllerFixture f;
    f.Device.Modem->SetActivationState(QStringLiteral("sim0"), Activation);
    TMainController& c = f.Open();
    f.Select(QStringLiteral("sim0"));
    QVERIFY(f.Device.Settle());
    if (!Failing.isEmpty()) {
        f.Device.Modem->Fail(Failing, 1);
    }
    c.MonitorMessage(WM_MONITOR_REDIAL);
    QVERIFY(f.Device.Settle());
    QStringList log;
    for (const TMonitorLogEntry& e : ReadMonitorLog(*Database)) {
        log << e.Kind + QLatin1Char('|') + e.Result;
    }
    QCOMPARE(log, Log);
}

void TestController::redialWithoutProfileLeavesNothingWaiting()
{
    // The first interface has no profile and is up; the second has profiles and is down.
    TSimScenario scenario = TestScenario({QStringLiteral("simA"), QStringLiteral("simB")});
    scenario.Interfaces[0].Profiles.clear();
    TControllerFixture f(scenario);
    f.Device.Modem->SetActivationState(QStringLiteral("simA"), Activated);
    TMainController& c = f.Open();
    f.Select(QStringLiteral("simA"));
    QVERIFY(c.CanDisconnect());
    c.MonitorMessage(WM_MONITOR_REDIAL);
    QVERIFY(!c.PendingReconnect());

    // Choosing the other interface, which is down, connects nothing unasked.
    f.Select(QStringLiteral("simB"));
    QVERIFY(f.Device.Settle());
    QCOMPARE(f.State(QStringLiteral("simB")), QStringLiteral("disconnected"));
    QCOMPARE(f.State(QStringLiteral("simA")), QStringLiteral("connected"));
}

void TestController::reboot_data()
{
    QTest::addColumn<double>("SuppressMinutes"); // until when, relative to now
    QTest::addColumn<bool>("NeverSuppressed");
    QTest::addColumn<bool>("Wanted");
    QTest::newRow("never suppressed") << 0.0 << true << true;
    QTest::newRow("within the period") << 29.0 << false << false;
    QTest::newRow("at its very end") << 0.0 << false << false;
    QTest::newRow("after it") << -1.0 << false << true;
}

void TestController::reboot()
{
    QFETCH(double, SuppressMinutes);
    QFETCH(bool, NeverSuppressed);
    QFETCH(bool, Wanted);
    TControllerFixture f;
    TMainController& c = f.Open();
    f.Select(QStringLiteral("sim0"));
    TDateTime now = 0;
    QVERIFY(TryEncodeDate(2026, 3, 14, now));
    now += 10.0 / 24;
    Clock::SetNow(now);
    f.Opts.SetSuppressTime(NeverSuppressed ? 0.0 : now + SuppressMinutes / 1440);

    QSignalSpy warnings(&c, &TMainController::RestartWarningWanted);
    c.MonitorMessage(WM_MONITOR_REBOOT);
    QCOMPARE(warnings.count(), Wanted ? 1 : 0);
    if (Wanted) {
        QCOMPARE(warnings.first().at(0).toInt(), 60);
        QCOMPARE(warnings.first().at(1).toString(), QStringLiteral("Shutdown Warning"));
        QCOMPARE(warnings.first().at(2).toString(),
                 QStringLiteral("Due to a connection failure this PC will be restarted"));
    }
    // A restart request never touches the connection.
    QVERIFY(f.Device.Settle());
    QCOMPARE(f.State(), QStringLiteral("disconnected"));
    QVERIFY(!c.PendingReconnect());
}

void TestController::monitorThreadMessages_data()
{
    QTest::addColumn<quint32>("Redial");
    QTest::addColumn<quint32>("Reboot");
    QTest::addColumn<QString>("After");
    QTest::addColumn<int>("Warnings");
    QTest::newRow("redial connects") << 1U << 0U << "connected" << 0;
    QTest::newRow("reboot asks for the warning") << 0U << 1U << "disconnected" << 1;
    QTest::newRow("reboot wins over redial") << 1U << 1U << "disconnected" << 1;
}

void TestController::monitorThreadMessages()
{
    QFETCH(quint32, Redial);
    QFETCH(quint32, Reboot);
    QFETCH(QString, After);
    QFETCH(int, Warnings);
    TControllerFixture f;
    auto monitor = std::make_unique<TFailingMonitor>(Redial, Reboot, 1);
    TFailingMonitor* running = monitor.get();
    f.Open(std::move(monitor));
    f.Select(QStringLiteral("sim0"));
    QSignalSpy asked(f.Controller.get(), &TMainController::RestartWarningWanted);
    // The monitor's message crosses to this thread through the event loop.
    QTRY_COMPARE(running->Checks.load(), 1);
    QTest::qWait(50);
    QVERIFY(f.Device.Settle());
    QCOMPARE(f.State(), After);
    QCOMPARE(asked.count(), Warnings);
    QVERIFY(f.Errors.isEmpty());
}

void TestController::autoConnect_data()
{
    QTest::addColumn<bool>("Option");
    QTest::addColumn<quint32>("Activation");
    QTest::addColumn<QString>("After");
    QTest::addColumn<bool>("Issued");
    QTest::newRow("set, down: connects") << true << Deactivated << "connected" << true;
    QTest::newRow("set, up: nothing") << true << Activated << "connected" << false;
    QTest::newRow("not set: nothing") << false << Deactivated << "disconnected" << false;
}

void TestController::autoConnect()
{
    QFETCH(bool, Option);
    QFETCH(quint32, Activation);
    QFETCH(QString, After);
    QFETCH(bool, Issued);
    TControllerFixture f;
    {
        TSQLiteLock lock(f.Device.Db.DB());
        f.Device.Db.DB().ExecSQL(
            QStringLiteral("INSERT INTO CONFIG (NAME, VALUE) VALUES ('autoconnect', %1)").arg(Option ? 1 : 0));
    }
    f.Device.Modem->SetActivationState(QStringLiteral("sim0"), Activation);
    TMainController& c = f.Open();
    f.Select(QStringLiteral("sim0"));
    f.Shown.clear();
    c.AutoConnect();
    QVERIFY(f.Device.Settle());
    QCOMPARE(f.State(), After);
    QCOMPARE(f.Shown.contains(csConnecting), Issued);
    QVERIFY(f.Errors.isEmpty());
}

void TestController::startUpWithoutManager()
{
    TControllerFixture f;
    {
        TSQLiteLock lock(f.Device.Db.DB());
        f.Device.Db.DB().ExecSQL(QStringLiteral("INSERT INTO CONFIG (NAME, VALUE) VALUES ('monitor.interval', 120)"));
    }
    auto c = std::make_unique<TMainController>();
    QSignalSpy problems(c.get(), &TMainController::Problem);
    c->StartUp([]() -> std::shared_ptr<IMBManager> { throw EMBException(QStringLiteral("No modem stack answers")); });
    QCOMPARE(problems.count(), 1);
    QCOMPARE(problems.first().first().toString(), QStringLiteral("No modem stack answers"));
    QVERIFY(c->Manager() == nullptr);
    // The options are loaded all the same, so that the save at the end writes them back.
    QVERIFY(f.Opts.Loaded());
    QCOMPARE(f.Opts.MonitorInterval(), 120U);
    // Without a manager every request is a quiet no-op.
    c->MonitorMessage(WM_MONITOR_REDIAL);
    c->Connect();
    c->RefreshConnectionState();
    QVERIFY(!c->PendingReconnect());
    f.Opts.SetProfileName(QStringLiteral("Business"));
    c->ShutDown();
    TSQLiteLock lock(f.Device.Db.DB());
    f.Device.Db.DB().FetchTable(QStringLiteral("SELECT VALUE FROM CONFIG WHERE NAME = 'profile.name'"));
    QCOMPARE(f.Device.Db.DB().GetResultSet(1), QStringLiteral("Business"));
}

void TestController::shutDownWaitsForTheCheckBeforeSaving()
{
    TControllerFixture f;
    auto monitor = std::make_unique<TSlowCheckMonitor>();
    TSlowCheckMonitor* running = monitor.get();
    TMainController& c = f.Open(std::move(monitor));
    QTRY_VERIFY(running->InCheck.load());
    f.Opts.SetProfileName(QStringLiteral("Business"));
    // ShutDown frees the monitor, so what the check saw is taken from it just before.
    QString seenAtEnd;
    QObject::connect(
        running, &QThread::finished, running, [&] { seenAtEnd = running->SavedAtEnd; }, Qt::DirectConnection);
    c.ShutDown();
    QCOMPARE(seenAtEnd, QString());
    TSQLiteLock lock(f.Device.Db.DB());
    f.Device.Db.DB().FetchTable(QStringLiteral("SELECT VALUE FROM CONFIG WHERE NAME = 'profile.name'"));
    QCOMPARE(f.Device.Db.DB().GetResultSet(1), QStringLiteral("Business"));
}

QTEST_MAIN(TestController)
#include "tst_controller.moc"
