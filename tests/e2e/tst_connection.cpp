// The connection in the real program on the simulated modem: "Do not connect while roaming" for
// auto-connect, the online monitor's reconnect and a connect by hand; Cancel during a slow
// connect; a dropped connection announced through the desktop's notification service; the
// session rows of the device page. The session bus carries a mock notification service and a
// mock StatusNotifierItem watcher, so that the notifications can be read back.

#include "support/ProgramUnderTest.h"

#include <QDBusArgument>
#include <QDBusInterface>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QScopeGuard>
#include <QStandardPaths>

using namespace Ombrelay;

namespace
{

// One modem in PDU mode with one profile; Extra is spliced into its interface object.
QString WriteScenario(QTemporaryDir& Home, const QString& Extra)
{
    const QString file = Home.filePath(QStringLiteral("scenario.json"));
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return QString();
    }
    const QString profile =
        QStringLiteral("<?xml version=\\\"1.0\\\"?><MBNProfile><Name>Internet</Name><IsDefault>true</IsDefault>"
                       "<Context><AccessString>internet.example</AccessString></Context></MBNProfile>");
    f.write(QStringLiteral("{\"delayMs\": 20, \"interfaces\": [{\"id\": \"sim0\", \"profiles\": [\"%1\"]%2}]}")
                .arg(profile, Extra.isEmpty() ? QString() : QStringLiteral(", ") + Extra)
                .toUtf8());
    return file;
}

QString ReadFile(const QString& Name)
{
    QFile f(Name);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

} // namespace

class TestConnection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void roamingRuleHoldsForAutoConnectAndMonitor();
    void manualConnectWhileRoamingAsksFirst();
    void cancelDuringSlowConnect();
    void dropIsAnnouncedWithReasonAndSessionShown();
    void networkManagerDropIsAnnouncedWithItsReason();
    void networkManagerChangesReachTheWindow();
    void autoFallsBackThenTakesModemManager();

private:
    QString FDisplay;
    QProcess FXvfb;
    QProcess FNotifications;
    QProcess FWatcher;
    QTemporaryDir FLogs;
};

void TestConnection::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        QSKIP("needs a private session bus: run under dbus-run-session");
    }
    for (const char* tool : {"Xvfb", "sqlite3"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty()) {
            QSKIP(qPrintable(QStringLiteral("%1 is not installed (scripts/install-deps.sh)").arg(QLatin1String(tool))));
        }
    }
    QVERIFY2(StartXvfb(FXvfb, FDisplay, 160), "no X server could be started");
    QVERIFY(StartNotificationDaemon(FNotifications, FLogs.filePath(QStringLiteral("notifications.log"))));
    QVERIFY(StartTrayWatcher(FWatcher));
}

void TestConnection::cleanupTestCase()
{
    EndProcesses({&FWatcher, &FNotifications, &FXvfb});
}

void TestConnection::roamingRuleHoldsForAutoConnectAndMonitor()
{
    QTemporaryDir home;
    const QString scenario = WriteScenario(home, QStringLiteral("\"registration\": \"roaming\""));
    QVERIFY(!scenario.isEmpty());
    {
        TProgram first(FDisplay, home);
        QVERIFY(first.Start({QStringLiteral("--sim-scenario"), scenario}));
        QCOMPARE(first.Stop(), 0);
    }
    // Auto-connect on, the rule on, and a monitor whose only site never answers: every check
    // fails and asks for a reconnect.
    TProgram program(FDisplay, home);
    program.Sql(QStringLiteral("UPDATE CONFIG SET VALUE = 1 WHERE NAME = 'autoconnect'; "
                               "INSERT OR REPLACE INTO CONFIG (NAME, VALUE) VALUES ('connect.noroaming', 1); "
                               "UPDATE CONFIG SET VALUE = 1 WHERE NAME = 'monitor.enabled'; "
                               "UPDATE CONFIG SET VALUE = 10 WHERE NAME = 'monitor.interval'; "
                               "UPDATE CONFIG SET VALUE = 1 WHERE NAME = 'monitor.threshold.redial'; "
                               "UPDATE CONFIG SET VALUE = 0 WHERE NAME = 'monitor.threshold.reboot'; "
                               "UPDATE CONFIG SET VALUE = 'http://127.0.0.1:9/' WHERE NAME = 'monitor.sites'"));
    QCOMPARE(program.Sql(QStringLiteral("SELECT VALUE FROM CONFIG WHERE NAME = 'monitor.threshold.redial'")),
             QStringLiteral("1"));
    QVERIFY(program.Start({QStringLiteral("--sim-scenario"), scenario}));
    const QString reconnects =
        QStringLiteral("SELECT RESULT || ': ' || REASON FROM MONITORLOG WHERE KIND = 'reconnect' ORDER BY ID");
    // The start's auto-connect and the monitor's first reconnect were both left out, and said why.
    QVERIFY(WaitFor([&] { return program.Sql(reconnects).split(QLatin1Char('\n')).size() >= 2; }, 20000));
    const QStringList rows = program.Sql(reconnects).split(QLatin1Char('\n'));
    QVERIFY2(rows[0].startsWith(QLatin1String("nothing done: auto-connect left out: roaming")), qPrintable(rows[0]));
    QVERIFY2(rows[1].startsWith(QLatin1String("nothing done: roaming")), qPrintable(rows[1]));
    QCOMPARE(program.Sim(QStringLiteral("state sim0")), QStringLiteral("ok disconnected"));

    // Home again: the next reconnect goes ahead, so it was the roaming that held it back.
    QCOMPARE(program.Sim(QStringLiteral("register sim0 home")), QStringLiteral("ok"));
    QVERIFY(WaitFor([&] { return program.Sim(QStringLiteral("state sim0")) == QLatin1String("ok connected"); }, 30000));
    QVERIFY(program.Sql(reconnects).contains(QStringLiteral("connect: disconnected")));
    QCOMPARE(program.Stop(), 0);
}

void TestConnection::manualConnectWhileRoamingAsksFirst()
{
    QTemporaryDir home;
    const QString scenario = WriteScenario(home, QStringLiteral("\"registration\": \"roaming\""));
    {
        TProgram first(FDisplay, home);
        QVERIFY(first.Start({QStringLiteral("--sim-scenario"), scenario}));
        QCOMPARE(first.Stop(), 0);
    }
    TProgram program(FDisplay, home);
    program.Sql(QStringLiteral("INSERT OR REPLACE INTO CONFIG (NAME, VALUE) VALUES ('connect.noroaming', 1)"));
    QVERIFY(program.Start({QStringLiteral("--sim-scenario"), scenario}));
    // The question answered "No": nothing happens.
    QCOMPARE(program.Window(QStringLiteral("answer no")), QStringLiteral("ok"));
    QCOMPARE(program.Window(QStringLiteral("trigger acConnect")), QStringLiteral("ok"));
    QTest::qWait(500);
    QCOMPARE(program.Sim(QStringLiteral("state sim0")), QStringLiteral("ok disconnected"));
    // "Yes": the user's choice wins.
    QCOMPARE(program.Window(QStringLiteral("answer yes")), QStringLiteral("ok"));
    QCOMPARE(program.Window(QStringLiteral("trigger acConnect")), QStringLiteral("ok"));
    QVERIFY(WaitFor([&] { return program.Sim(QStringLiteral("state sim0")) == QLatin1String("ok connected"); }, 10000));
    QCOMPARE(program.Stop(), 0);
}

void TestConnection::cancelDuringSlowConnect()
{
    QTemporaryDir home;
    const QString scenario = WriteScenario(home, QString());
    TProgram program(FDisplay, home);
    QVERIFY(program.Start({QStringLiteral("--sim-scenario"), scenario}));
    // A network that takes ten minutes to answer.
    QCOMPARE(program.Sim(QStringLiteral("connect-delay sim0 600000")), QStringLiteral("ok"));
    QCOMPARE(program.Window(QStringLiteral("action acCancelConnect")), QStringLiteral("ok disabled hidden"));
    QCOMPARE(program.Window(QStringLiteral("trigger acConnect")), QStringLiteral("ok"));
    QVERIFY(WaitFor([&] { return program.Sim(QStringLiteral("state sim0")) == QLatin1String("ok connecting"); }, 5000));
    // Cancel stands where Connect was.
    QVERIFY(WaitFor(
        [&] { return program.Window(QStringLiteral("action acCancelConnect")) == QLatin1String("ok enabled shown"); },
        5000));
    QCOMPARE(program.Window(QStringLiteral("action acConnect")), QStringLiteral("ok disabled hidden"));
    QCOMPARE(program.Window(QStringLiteral("trigger acCancelConnect")), QStringLiteral("ok"));
    QVERIFY(
        WaitFor([&] { return program.Sim(QStringLiteral("state sim0")) == QLatin1String("ok disconnected"); }, 5000));
    QVERIFY(
        WaitFor([&] { return program.Window(QStringLiteral("action acConnect")) == QLatin1String("ok enabled shown"); },
                5000));
    QCOMPARE(program.Window(QStringLiteral("action acCancelConnect")), QStringLiteral("ok disabled hidden"));
    QVERIFY(program.Window(QStringLiteral("statusbar")).contains(QStringLiteral("\tDisconnected")));
    // Given up by the user: no error box about a failed connect.
    QCOMPARE(program.Window(QStringLiteral("errors")), QStringLiteral("ok 0"));
    // And the modem can be connected again at once.
    QCOMPARE(program.Sim(QStringLiteral("connect-delay sim0 0")), QStringLiteral("ok"));
    QCOMPARE(program.Window(QStringLiteral("trigger acConnect")), QStringLiteral("ok"));
    QVERIFY(WaitFor([&] { return program.Sim(QStringLiteral("state sim0")) == QLatin1String("ok connected"); }, 5000));
    QCOMPARE(program.Window(QStringLiteral("errors")), QStringLiteral("ok 0"));
    QCOMPARE(program.Stop(), 0);
}

void TestConnection::dropIsAnnouncedWithReasonAndSessionShown()
{
    QTemporaryDir home;
    const QString scenario = WriteScenario(home, QString());
    TProgram program(FDisplay, home);
    QVERIFY(program.Start({QStringLiteral("--sim-scenario"), scenario}));
    const QString rows = QStringLiteral("rows lvNetwork");
    QVERIFY(!program.Window(rows).contains(QStringLiteral("Connected for")));
    QCOMPARE(program.Window(QStringLiteral("trigger acConnect")), QStringLiteral("ok"));
    QVERIFY(WaitFor([&] { return program.Sim(QStringLiteral("state sim0")) == QLatin1String("ok connected"); }, 5000));
    // The session: its addresses, its duration (ticking) and its bytes, counted from the connect.
    QVERIFY(WaitFor([&] { return program.Window(rows).contains(QStringLiteral("IPv4 address=192.0.2.10")); }, 5000));
    QVERIFY(program.Window(rows).contains(QStringLiteral("IPv6 address=2001:db8::10")));
    QVERIFY(WaitFor([&] { return program.Window(rows).contains(QStringLiteral("Connected for=0:00:02")); }, 5000));
    // The simulated link carries 48 KiB a second in and 6 KiB out while it is up.
    QVERIFY2(WaitFor([&] { return program.Window(rows).contains(QStringLiteral(" KiB sent")); }, 5000),
             qPrintable(program.Window(rows)));
    QVERIFY(program.Window(rows).contains(QStringLiteral("This session=")));

    // The network ends it: a notification with the reason; the session rows go.
    QCOMPARE(program.Sim(QStringLiteral("drop sim0 the operator ended the session")), QStringLiteral("ok"));
    const QString log = FLogs.filePath(QStringLiteral("notifications.log"));
    QVERIFY2(WaitFor([&] { return ReadFile(log).contains(QStringLiteral("Connection dropped")); }, 5000),
             qPrintable(ReadFile(log)));
    QVERIFY2(ReadFile(log).contains(QStringLiteral("the operator ended the session")), qPrintable(ReadFile(log)));
    QVERIFY(WaitFor([&] { return !program.Window(rows).contains(QStringLiteral("Connected for")); }, 5000));
    QTest::qWait(2500);

    // A disconnect the user asks for is no drop: no second notification.
    const int before = int(ReadFile(log).count(QStringLiteral("Connection dropped")));
    QCOMPARE(program.Window(QStringLiteral("trigger acConnect")), QStringLiteral("ok"));
    QVERIFY(WaitFor([&] { return program.Sim(QStringLiteral("state sim0")) == QLatin1String("ok connected"); }, 5000));
    QVERIFY(WaitFor(
        [&] { return program.Window(QStringLiteral("action acDisconnect")) == QLatin1String("ok enabled shown"); },
        5000));
    // A new session: its time starts again.
    const QString again = program.Window(rows);
    QVERIFY2(again.contains(QStringLiteral("Connected for=0:00:00")) ||
                 again.contains(QStringLiteral("Connected for=0:00:01")),
             qPrintable(again));
    QCOMPARE(program.Window(QStringLiteral("trigger acDisconnect")), QStringLiteral("ok"));
    QVERIFY(
        WaitFor([&] { return program.Sim(QStringLiteral("state sim0")) == QLatin1String("ok disconnected"); }, 5000));
    QTest::qWait(500);
    QCOMPARE(int(ReadFile(log).count(QStringLiteral("Connection dropped"))), before);
    QCOMPARE(program.Stop(), 0);
}

namespace
{

// The active connections NetworkManager lists.
QStringList ActiveConnections()
{
    QDBusInterface nm(QStringLiteral("org.freedesktop.NetworkManager"),
                      QStringLiteral("/org/freedesktop/NetworkManager"),
                      QStringLiteral("org.freedesktop.DBus.Properties"), QDBusConnection::sessionBus());
    QDBusMessage r = nm.call(QStringLiteral("Get"), QStringLiteral("org.freedesktop.NetworkManager"),
                             QStringLiteral("ActiveConnections"));
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

} // namespace

namespace
{

// ModemManager and NetworkManager as python3-dbusmock plays them, on this test's bus, which the
// program takes for its system bus, with one modem and a connection of NetworkManager for it.
// Empty when both are there and set up, else what went wrong.
QString StartStackMocks(QProcess& Mm, QProcess& Nm)
{
    const QByteArray bus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", bus);
    Mm.start(TestPython,
             {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--template"),
              QStringLiteral(OMBRELAY_MM_MOCK), QStringLiteral("-p"), QStringLiteral("{\"id\": \"mock-modem-1\"}")});
    Nm.start(TestPython, {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--template"),
                          QStringLiteral("networkmanager")});
    for (const char* name : {"org.freedesktop.ModemManager1", "org.freedesktop.NetworkManager"}) {
        if (!WaitFor(
                [&] { return QDBusConnection::sessionBus().interface()->isServiceRegistered(QLatin1String(name)); },
                20000)) {
            return QLatin1String(name) + QStringLiteral(" did not come up");
        }
    }
    int exit = -1;
    Run(TestPython,
        {QStringLiteral(OMBRELAY_NM_CONTROL), QStringLiteral("setup"),
         QStringLiteral("/org/freedesktop/ModemManager1/Modem/7"), QStringLiteral("mock-modem-1")},
        &exit);
    return exit == 0 ? QString() : QStringLiteral("nm_control.py setup ended with %1").arg(exit);
}

bool NmControl(const QStringList& Arguments)
{
    int exit = -1;
    Run(TestPython, QStringList{QStringLiteral(OMBRELAY_NM_CONTROL)} + Arguments, &exit);
    return exit == 0;
}

} // namespace

void TestConnection::networkManagerDropIsAnnouncedWithItsReason()
{
    QProcess mm;
    QProcess nm;
    const auto end = qScopeGuard([&] { EndProcesses({&nm, &mm}); });
    const QString mocks = StartStackMocks(mm, nm);
    QVERIFY2(mocks.isEmpty(), qPrintable(mocks));

    QTemporaryDir home;
    TProgram program(FDisplay, home);
    QVERIFY(program.Launch({QStringLiteral("--backend=modemmanager")}));
    QVERIFY(WaitFor([&] { return program.Window(QStringLiteral("visible")).startsWith(QStringLiteral("ok")); }, 20000));
    const QStringList before = ActiveConnections();
    QVERIFY(WaitFor([&] { return program.Window(QStringLiteral("trigger acConnect")) == QLatin1String("ok"); }, 10000));
    QVERIFY(WaitFor([&] { return ActiveConnections().size() == before.size() + 1; }, 10000));
    QString active;
    for (const QString& p : ActiveConnections()) {
        if (!before.contains(p)) {
            active = p;
        }
    }
    auto state = [&](const QString& Value, const QString& Reason) {
        int code = -1;
        Run(TestPython, {QStringLiteral(OMBRELAY_NM_CONTROL), QStringLiteral("state"), active, Value, Reason}, &code);
        return code == 0;
    };
    QVERIFY(state(QStringLiteral("2"), QStringLiteral("0")));
    QVERIFY2(
        WaitFor([&] { return program.Window(QStringLiteral("statusbar")).contains(QStringLiteral("\tConnected")); },
                10000),
        qPrintable(program.Window(QStringLiteral("statusbar")) + QLatin1Char('|') +
                   program.Window(QStringLiteral("errors")) + QLatin1Char('|') + active));
    // NetworkManager ends it: the device was disconnected (reason 3).
    QVERIFY(state(QStringLiteral("4"), QStringLiteral("3")));
    const QString log = FLogs.filePath(QStringLiteral("notifications.log"));
    QVERIFY2(WaitFor([&] { return ReadFile(log).contains(QStringLiteral("the device was disconnected")); }, 10000),
             qPrintable(ReadFile(log)));
    QVERIFY(
        WaitFor([&] { return program.Window(QStringLiteral("statusbar")).contains(QStringLiteral("\tDisconnected")); },
                10000));
    QCOMPARE(program.Stop(), 0);
}

// NetworkManager's changes while the program runs: a connection added elsewhere is offered at
// once, and mobile broadband switched off system-wide is said in the status bar, the device
// page and the tray until it is switched on again.
void TestConnection::networkManagerChangesReachTheWindow()
{
    QProcess mm;
    QProcess nm;
    const auto end = qScopeGuard([&] { EndProcesses({&nm, &mm}); });
    const QString mocks = StartStackMocks(mm, nm);
    QVERIFY2(mocks.isEmpty(), qPrintable(mocks));
    QTemporaryDir home;
    TProgram program(FDisplay, home);
    QVERIFY(program.Launch({QStringLiteral("--backend=modemmanager")}));
    const QString profiles = QStringLiteral("items cmbProfiles");
    QVERIFY(WaitFor([&] { return program.Window(profiles).startsWith(QStringLiteral("ok ")); }, 20000));
    QVERIFY(!program.Window(profiles).contains(QStringLiteral("Travel")));
    QVERIFY(NmControl({QStringLiteral("add"), QStringLiteral("Travel"), QStringLiteral("travel.example")}));
    QVERIFY2(WaitFor([&] { return program.Window(profiles).contains(QStringLiteral("Travel")); }, 10000),
             qPrintable(program.Window(profiles)));

    auto statusBar = [&] { return program.Window(QStringLiteral("statusbar")); };
    QVERIFY(NmControl({QStringLiteral("wwan"), QStringLiteral("off")}));
    QVERIFY2(WaitFor([&] { return statusBar().endsWith(QLatin1String("\tMobile broadband switched off")); }, 10000),
             qPrintable(statusBar()));
    QVERIFY(
        program.Window(QStringLiteral("device-state")).contains(QStringLiteral("State=Mobile broadband switched off")));
    QVERIFY2(program.Window(QStringLiteral("tray")).contains(QStringLiteral("| Mobile broadband switched off |")),
             qPrintable(program.Window(QStringLiteral("tray"))));
    QVERIFY(NmControl({QStringLiteral("wwan"), QStringLiteral("on")}));
    QVERIFY(WaitFor([&] { return !statusBar().contains(QLatin1String("switched off")); }, 10000));
    QVERIFY(!program.Window(QStringLiteral("tray")).contains(QStringLiteral("switched off")));
    QCOMPARE(program.Window(QStringLiteral("errors")), QStringLiteral("ok 0"));
    QCOMPARE(program.Stop(), 0);
}

// "auto" with no ModemManager on the bus: the simulated modem, and the window says so; once
// ModemManager comes up the program takes its modem without a restart.
void TestConnection::autoFallsBackThenTakesModemManager()
{
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", qgetenv("DBUS_SESSION_BUS_ADDRESS"));
    QVERIFY(!QDBusConnection::sessionBus().interface()->isServiceRegistered(
        QStringLiteral("org.freedesktop.ModemManager1")));
    QTemporaryDir home;
    TProgram program(FDisplay, home);
    QVERIFY(program.Start({QStringLiteral("--backend=auto")}));
    auto statusBar = [&] { return program.Window(QStringLiteral("statusbar")); };
    QVERIFY2(WaitFor([&] { return statusBar().startsWith(QLatin1String("ok Simulated modem\t")); }, 10000),
             qPrintable(statusBar()));
    QVERIFY(program.Window(QStringLiteral("tooltip sbMainPanel0")).contains(QStringLiteral("simulated")));
    QVERIFY(program.Window(QStringLiteral("tray")).contains(QStringLiteral("(simulated)")));

    QProcess mm;
    QProcess nm;
    const auto end = qScopeGuard([&] { EndProcesses({&nm, &mm}); });
    const QString mocks = StartStackMocks(mm, nm);
    QVERIFY2(mocks.isEmpty(), qPrintable(mocks));
    const QString modems = QStringLiteral("items cmbInterfaces");
    QVERIFY2(WaitFor(
                 [&] {
                     return !program.Window(modems).contains(QStringLiteral("(simulated)")) &&
                            program.Window(modems) != QLatin1String("ok");
                 },
                 20000),
             qPrintable(program.Window(modems)));
    QVERIFY2(!statusBar().contains(QLatin1String("Simulated")), qPrintable(statusBar()));
    QVERIFY(!program.Window(QStringLiteral("tray")).contains(QStringLiteral("(simulated)")));
    QCOMPARE(program.Window(QStringLiteral("errors")), QStringLiteral("ok 0"));
    QCOMPARE(program.Stop(), 0);
}

QTEST_MAIN(TestConnection)
#include "tst_connection.moc"
