// The main window's decisions without any widget: the controller over the simulated modem and
// a real database. Reconnect and restart requests of the monitor, the pending reconnect,
// auto-connect, start-up without a manager, and the shut-down order.

#include "base/DateTime.h"
#include "core/MBProfleItem.h"
#include "core/MainController.h"
#include "core/Monitor.h"
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
        TMonitorSettings S;
        S.Enabled = Checks.load() < FLimit;
        S.Interval = 10;
        S.RedialThreshold = FRedial;
        S.RebootThreshold = FReboot;
        S.Sites = {QStringLiteral("http://monitor.invalid/")};
        return S;
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
                  TMonitorSettings S;
                  S.Enabled = true;
                  S.Interval = 10;
                  S.Sites = {QStringLiteral("http://monitor.invalid/")};
                  return S;
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
        for (int I = 0; I < 1000 && !Terminated(); ++I) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        TSQLiteLock Lock(*Database);
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
        TMBInterfaceItem* Item = Device.Item(Id);
        Controller->SetSelectedInterface(Item);
        Controller->SetSelectedProfile(Item->ProfileList().empty() ? nullptr : Item->ProfileList().front().get());
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
    TSimScenario Scenario = TestScenario();
    if (!Profile) {
        Scenario.Interfaces[0].Profiles.clear();
    }
    TControllerFixture F(Scenario);
    F.Device.Modem->SetActivationState(QStringLiteral("sim0"), Activation);
    TMainController& C = F.Open();
    F.Select(QStringLiteral("sim0"));
    QVERIFY(F.Device.Settle());
    F.Shown.clear();
    if (!Failing.isEmpty()) {
        F.Device.Modem->Fail(Failing, 1);
    }

    C.MonitorMessage(WM_MONITOR_REDIAL);
    QCOMPARE(C.PendingReconnect(), Pending);
    QVERIFY(F.Device.Settle());
    QCOMPARE(F.State(), After);
    QCOMPARE(F.Shown.contains(csDisconnected), WentDown);
    QCOMPARE(F.Errors.size(), Errors);
    QVERIFY(!C.PendingReconnect());

    // Nothing is left waiting: a disconnect asked for afterwards stays a disconnect.
    if (After == QLatin1String("connected")) {
        C.Disconnect();
        QVERIFY(F.Device.Settle());
        QCOMPARE(F.State(), QStringLiteral("disconnected"));
    }
}

void TestController::redialWithoutProfileLeavesNothingWaiting()
{
    // The first interface has no profile and is up; the second has profiles and is down.
    TSimScenario Scenario = TestScenario({QStringLiteral("simA"), QStringLiteral("simB")});
    Scenario.Interfaces[0].Profiles.clear();
    TControllerFixture F(Scenario);
    F.Device.Modem->SetActivationState(QStringLiteral("simA"), Activated);
    TMainController& C = F.Open();
    F.Select(QStringLiteral("simA"));
    QVERIFY(C.CanDisconnect());
    C.MonitorMessage(WM_MONITOR_REDIAL);
    QVERIFY(!C.PendingReconnect());

    // Choosing the other interface, which is down, connects nothing unasked.
    F.Select(QStringLiteral("simB"));
    QVERIFY(F.Device.Settle());
    QCOMPARE(F.State(QStringLiteral("simB")), QStringLiteral("disconnected"));
    QCOMPARE(F.State(QStringLiteral("simA")), QStringLiteral("connected"));
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
    TControllerFixture F;
    TMainController& C = F.Open();
    F.Select(QStringLiteral("sim0"));
    TDateTime Now = 0;
    QVERIFY(TryEncodeDate(2026, 3, 14, Now));
    Now += 10.0 / 24;
    Clock::SetNow(Now);
    F.Opts.SetSuppressTime(NeverSuppressed ? 0.0 : Now + SuppressMinutes / 1440);

    QSignalSpy Warnings(&C, &TMainController::RestartWarningWanted);
    C.MonitorMessage(WM_MONITOR_REBOOT);
    QCOMPARE(Warnings.count(), Wanted ? 1 : 0);
    if (Wanted) {
        QCOMPARE(Warnings.first().at(0).toInt(), 60);
        QCOMPARE(Warnings.first().at(1).toString(), QStringLiteral("Shutdown Warning"));
        QCOMPARE(Warnings.first().at(2).toString(),
                 QStringLiteral("Due to a connection failure this PC will be restarted"));
    }
    // A restart request never touches the connection.
    QVERIFY(F.Device.Settle());
    QCOMPARE(F.State(), QStringLiteral("disconnected"));
    QVERIFY(!C.PendingReconnect());
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
    TControllerFixture F;
    auto Monitor = std::make_unique<TFailingMonitor>(Redial, Reboot, 1);
    TFailingMonitor* Running = Monitor.get();
    F.Open(std::move(Monitor));
    F.Select(QStringLiteral("sim0"));
    QSignalSpy Asked(F.Controller.get(), &TMainController::RestartWarningWanted);
    // The monitor's message crosses to this thread through the event loop.
    QTRY_COMPARE(Running->Checks.load(), 1);
    QTest::qWait(50);
    QVERIFY(F.Device.Settle());
    QCOMPARE(F.State(), After);
    QCOMPARE(Asked.count(), Warnings);
    QVERIFY(F.Errors.isEmpty());
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
    TControllerFixture F;
    {
        TSQLiteLock Lock(F.Device.Db.DB());
        F.Device.Db.DB().ExecSQL(
            QStringLiteral("INSERT INTO CONFIG (NAME, VALUE) VALUES ('autoconnect', %1)").arg(Option ? 1 : 0));
    }
    F.Device.Modem->SetActivationState(QStringLiteral("sim0"), Activation);
    TMainController& C = F.Open();
    F.Select(QStringLiteral("sim0"));
    F.Shown.clear();
    C.AutoConnect();
    QVERIFY(F.Device.Settle());
    QCOMPARE(F.State(), After);
    QCOMPARE(F.Shown.contains(csConnecting), Issued);
    QVERIFY(F.Errors.isEmpty());
}

void TestController::startUpWithoutManager()
{
    TControllerFixture F;
    {
        TSQLiteLock Lock(F.Device.Db.DB());
        F.Device.Db.DB().ExecSQL(QStringLiteral("INSERT INTO CONFIG (NAME, VALUE) VALUES ('monitor.interval', 120)"));
    }
    auto C = std::make_unique<TMainController>();
    QSignalSpy Problems(C.get(), &TMainController::Problem);
    C->StartUp([]() -> std::shared_ptr<IMBManager> { throw EMBException(QStringLiteral("No modem stack answers")); });
    QCOMPARE(Problems.count(), 1);
    QCOMPARE(Problems.first().first().toString(), QStringLiteral("No modem stack answers"));
    QVERIFY(C->Manager() == nullptr);
    // The options are loaded all the same, so that the save at the end writes them back.
    QVERIFY(F.Opts.Loaded());
    QCOMPARE(F.Opts.MonitorInterval(), 120U);
    // Without a manager every request is a quiet no-op.
    C->MonitorMessage(WM_MONITOR_REDIAL);
    C->Connect();
    C->RefreshConnectionState();
    QVERIFY(!C->PendingReconnect());
    F.Opts.SetProfileName(QStringLiteral("Business"));
    C->ShutDown();
    TSQLiteLock Lock(F.Device.Db.DB());
    F.Device.Db.DB().FetchTable(QStringLiteral("SELECT VALUE FROM CONFIG WHERE NAME = 'profile.name'"));
    QCOMPARE(F.Device.Db.DB().GetResultSet(1), QStringLiteral("Business"));
}

void TestController::shutDownWaitsForTheCheckBeforeSaving()
{
    TControllerFixture F;
    auto Monitor = std::make_unique<TSlowCheckMonitor>();
    TSlowCheckMonitor* Running = Monitor.get();
    TMainController& C = F.Open(std::move(Monitor));
    QTRY_VERIFY(Running->InCheck.load());
    F.Opts.SetProfileName(QStringLiteral("Business"));
    // ShutDown frees the monitor, so what the check saw is taken from it just before.
    QString SeenAtEnd;
    QObject::connect(
        Running, &QThread::finished, Running, [&] { SeenAtEnd = Running->SavedAtEnd; }, Qt::DirectConnection);
    C.ShutDown();
    QCOMPARE(SeenAtEnd, QString());
    TSQLiteLock Lock(F.Device.Db.DB());
    F.Device.Db.DB().FetchTable(QStringLiteral("SELECT VALUE FROM CONFIG WHERE NAME = 'profile.name'"));
    QCOMPARE(F.Device.Db.DB().GetResultSet(1), QStringLiteral("Business"));
}

QTEST_MAIN(TestController)
#include "tst_controller.moc"
