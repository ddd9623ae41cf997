// The real program under its own X server, on the simulated modem, driven from outside: through
// the modem's control channel, the keyboard (xdotool), the program's instance channel and its
// database file. The session bus (dbus-run-session) carries a mock notification service and a
// mock StatusNotifierItem watcher, so the program has a notification area and its balloons can
// be read back.

#include "support/ProgramUnderTest.h"

#include <QDBusInterface>
#include <QDBusReply>
#include <QDirIterator>
#include <QStandardPaths>

using namespace Ombrelay;

class TestEndToEnd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void receivedMessageStoredAndAnnounced();
    void messageSentFromDialog();
    void onlyChosenMessagesAreRead();
    void deleteTakesEveryPartOfALongMessage();
    void secondStartHandsOver();
    void hideSwitch_data();
    void hideSwitch();
    void noNotificationAreaStartsVisible();
    void optionsSurviveRestart();
    void modemComesAndGoes();
    void lockedSimAndModemSwitchedOff();
    void registrationReachesEveryView_data();
    void registrationReachesEveryView();
    void pukAndBlockedSimShown();

private:
    void StopWatcher();

    QString FDisplay;
    QProcess FXvfb;
    QProcess FNotifications;
    QProcess FWatcher;
    QTemporaryDir FLogs;
};

void TestEndToEnd::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        QSKIP("needs a private session bus: run under dbus-run-session");
    }
    for (const char* tool : {"Xvfb", "xwininfo", "xdotool", "sqlite3"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty()) {
            QSKIP(qPrintable(QStringLiteral("%1 is not installed (scripts/install-deps.sh)").arg(QLatin1String(tool))));
        }
    }
    QVERIFY2(StartXvfb(FXvfb, FDisplay, 60), "no X server could be started");
    QVERIFY(StartNotificationDaemon(FNotifications, FLogs.filePath(QStringLiteral("notifications.log"))));
    QVERIFY(StartTrayWatcher(FWatcher));
    QDir().mkpath(QStringLiteral(OMBRELAY_SCREENSHOTS));
}

void TestEndToEnd::StopWatcher()
{
    FWatcher.terminate();
    FWatcher.waitForFinished();
    WaitFor(
        [] {
            return !QDBusConnection::sessionBus().interface()->isServiceRegistered(
                QStringLiteral("org.kde.StatusNotifierWatcher"));
        },
        5000);
}

void TestEndToEnd::cleanupTestCase()
{
    EndProcesses({&FWatcher, &FNotifications, &FXvfb});
}

void TestEndToEnd::receivedMessageStoredAndAnnounced()
{
    QTemporaryDir home;
    TProgram program(FDisplay, home);
    QVERIFY(program.Start());
    QVERIFY(program.Viewable());
    QCOMPARE(program.Sim(QStringLiteral("deliver sim0 +4915112345 Hello from the network <b>not bold</b>")),
             QStringLiteral("ok 1"));
    QCOMPARE(program.Sim(QStringLiteral("stored sim0")), QStringLiteral("ok 1"));
    // The device is polled every ten seconds; then the message is stored and the device cleared.
    QVERIFY(WaitFor([&] { return program.Sql(QStringLiteral("SELECT COUNT(*) FROM INCOMING")) == QLatin1String("1"); },
                    20000));
    QVERIFY(WaitFor([&] { return program.Sim(QStringLiteral("stored sim0")) == QLatin1String("ok 0"); }, 5000));
    QCOMPARE(program.Sql(QStringLiteral("SELECT SEEN FROM INCOMING")), QStringLiteral("0"));
    // The balloon went through the desktop's notification service.
    QFile log(FLogs.filePath(QStringLiteral("notifications.log")));
    QVERIFY(WaitFor(
        [&] {
            return log.open(QIODevice::ReadOnly) &&
                   QString::fromUtf8(log.readAll()).contains(QStringLiteral("Message from +4915112345"));
        },
        5000));
    log.close();
    // The service reads markup in a body (so does the mock): the text reaches it escaped, to be
    // shown as written.
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QString notices = QString::fromUtf8(log.readAll());
    log.close();
    QVERIFY2(notices.contains(QStringLiteral("Hello from the network &lt;b&gt;not bold&lt;/b&gt;")),
             qPrintable(notices));
    QVERIFY(!notices.contains(QStringLiteral("<b>not bold</b>")));

    // A picture of every tab for the build's record.
    for (const char* tab : {"tsInfo", "tsConnProf", "tsUsage", "tsMessages"}) {
        QCOMPARE(program.Window(QStringLiteral("tab %1").arg(QLatin1String(tab))), QStringLiteral("ok"));
        QTest::qWait(300);
        const QString file = QStringLiteral(OMBRELAY_SCREENSHOTS "/main-%1.png").arg(QLatin1String(tab));
        QCOMPARE(program.Window(QStringLiteral("screenshot ") + file), QStringLiteral("ok"));
        QVERIFY(QFileInfo(file).size() > 0);
    }
    // And of the main dialogs, for the README.
    for (const char* dialog : {"about", "settings", "message"}) {
        const QString file = QStringLiteral(OMBRELAY_SCREENSHOTS "/dialog-%1.png").arg(QLatin1String(dialog));
        QCOMPARE(program.Window(QStringLiteral("dialog %1 %2").arg(QLatin1String(dialog), file)), QStringLiteral("ok"));
        QVERIFY(QFileInfo(file).size() > 0);
    }
    Run(QStringLiteral("import"),
        {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral(OMBRELAY_SCREENSHOTS "/display.png")},
        nullptr, program.Env());
    QCOMPARE(program.Stop(), 0);
}

// Keys typed into the message list of the window.
static void TypeIntoMessages(TProgram& Program, const QStringList& Keys)
{
    const QString main = Program
                             .XDoTool({QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--name"),
                                       QStringLiteral("^Virelle Ombrelay$")})
                             .section(QLatin1Char('\n'), 0, 0);
    QVERIFY(!main.isEmpty());
    Program.XDoTool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), main});
    QCOMPARE(Program.Window(QStringLiteral("tab tsMessages")), QStringLiteral("ok"));
    QCOMPARE(Program.Window(QStringLiteral("focus lvMessages")), QStringLiteral("ok"));
    QTest::qWait(200);
    for (const QString& key : Keys) {
        Program.XDoTool({QStringLiteral("key"), key});
        QTest::qWait(100);
    }
}

// Delivers Count messages to sim0 and waits until the program has stored Total rows and
// emptied the device's store.
static bool DeliverAndStore(TProgram& Program, int Count, int Total, const QString& Prefix)
{
    for (int i = 0; i < Count; ++i) {
        const QString answer = Program.Sim(QStringLiteral("deliver sim0 +4930%1 %2 %1").arg(i).arg(Prefix));
        if (answer != QLatin1String("ok 1")) {
            qWarning("deliver: %s", qPrintable(answer));
            return false;
        }
    }
    Program.Window(QStringLiteral("poll"));
    return WaitFor(
        [&] {
            return Program.Sql(QStringLiteral("SELECT COUNT(*) FROM INCOMING")) == QString::number(Total) &&
                   Program.Sim(QStringLiteral("stored sim0")) == QLatin1String("ok 0");
        },
        20000);
}

// A message becomes read when the user chooses it on screen, and no other: not those arriving
// while it is chosen (landing on its row), not those arriving while the window is in the tray.
void TestEndToEnd::onlyChosenMessagesAreRead()
{
    QTemporaryDir home;
    TProgram program(FDisplay, home);
    QVERIFY(program.Start());
    QVERIFY(DeliverAndStore(program, 3, 3, QStringLiteral("first")));
    const QString seen = QStringLiteral("SELECT ID FROM INCOMING WHERE SEEN = 1 ORDER BY ID");
    // Newest first: the keyboard starts on the top row (not choosing it); Down chooses the
    // second stored message, row id 2.
    TypeIntoMessages(program, {QStringLiteral("Home"), QStringLiteral("Down")});
    WaitFor([&] { return program.Sql(seen) == QLatin1String("2"); }, 5000);
    QCOMPARE(program.Sql(seen), QStringLiteral("2"));

    // 30 arrive on screen (one lands on the chosen row), then 10 while the window is hidden.
    QVERIFY(DeliverAndStore(program, 30, 33, QStringLiteral("burst")));
    QCOMPARE(program.Window(QStringLiteral("hide")), QStringLiteral("ok"));
    QCOMPARE(program.Window(QStringLiteral("visible")), QStringLiteral("ok no"));
    QVERIFY(DeliverAndStore(program, 10, 43, QStringLiteral("hidden")));
    QCOMPARE(program.Window(QStringLiteral("show")), QStringLiteral("ok"));
    QTest::qWait(500);
    QCOMPARE(program.Sql(seen), QStringLiteral("2"));
    QCOMPARE(program.Sql(QStringLiteral("SELECT COUNT(*) FROM INCOMING WHERE SEEN = 0")), QStringLiteral("42"));
    // The chosen message is still the chosen one: Up goes to its newer neighbour, row id 3.
    TypeIntoMessages(program, {QStringLiteral("Up")});
    WaitFor([&] { return program.Sql(seen) == QLatin1String("2\n3"); }, 5000);
    QCOMPARE(program.Sql(seen), QStringLiteral("2\n3"));
    QCOMPARE(program.Stop(), 0);
}

// Delete on a long message takes all of its rows out of the database and nothing else.
void TestEndToEnd::deleteTakesEveryPartOfALongMessage()
{
    QTemporaryDir home;
    TProgram program(FDisplay, home);
    QVERIFY(program.Start());
    QVERIFY(DeliverAndStore(program, 2, 2, QStringLiteral("short")));
    QCOMPARE(program.Sim(QStringLiteral("deliver sim0 +4917099999 ") + QString(400, QLatin1Char('L'))),
             QStringLiteral("ok 3"));
    program.Window(QStringLiteral("poll"));
    QVERIFY(WaitFor([&] { return program.Sql(QStringLiteral("SELECT COUNT(*) FROM INCOMING")) == QLatin1String("5"); },
                    20000));
    QVERIFY(DeliverAndStore(program, 1, 6, QStringLiteral("after")));
    // Newest first: the long message is the second row; Delete asks, Return answers yes.
    TypeIntoMessages(program, {QStringLiteral("Home"), QStringLiteral("Down"), QStringLiteral("Delete")});
    QTest::qWait(500);
    Run(QStringLiteral("import"),
        {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral(OMBRELAY_SCREENSHOTS "/delete-message.png")},
        nullptr, program.Env());
    program.XDoTool({QStringLiteral("key"), QStringLiteral("Return")});
    QVERIFY(WaitFor([&] { return program.Sql(QStringLiteral("SELECT COUNT(*) FROM INCOMING")) == QLatin1String("3"); },
                    5000));
    QCOMPARE(program.Sql(QStringLiteral("SELECT ID FROM INCOMING ORDER BY ID")), QStringLiteral("1\n2\n6"));
    QCOMPARE(program.Sim(QStringLiteral("stored sim0")), QStringLiteral("ok 0"));
    // The only box shown was the question.
    QVERIFY(program.Window(QStringLiteral("errors")).startsWith(QStringLiteral("ok 1\tDelete this message")));
    QCOMPARE(program.Stop(), 0);
}

void TestEndToEnd::messageSentFromDialog()
{
    QTemporaryDir home;
    TProgram program(FDisplay, home);
    QVERIFY(program.Start());
    const QString main = program
                             .XDoTool({QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--name"),
                                       QStringLiteral("^Virelle Ombrelay$")})
                             .section(QLatin1Char('\n'), 0, 0);
    QVERIFY(!main.isEmpty());
    program.XDoTool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), main});
    program.XDoTool({QStringLiteral("key"), QStringLiteral("ctrl+n")});
    const QString dialog = program
                               .XDoTool({QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--name"),
                                         QStringLiteral("^New Message")})
                               .section(QLatin1Char('\n'), 0, 0);
    QVERIFY(!dialog.isEmpty());
    program.XDoTool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), dialog});
    QTest::qWait(300);
    program.XDoTool(
        {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), QStringLiteral("+4917012345")});
    program.XDoTool({QStringLiteral("key"), QStringLiteral("Tab")});
    program.XDoTool(
        {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), QStringLiteral("Sent by hand")});
    Run(QStringLiteral("import"),
        {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral(OMBRELAY_SCREENSHOTS "/new-message.png")},
        nullptr, program.Env());
    program.XDoTool({QStringLiteral("key"), QStringLiteral("Return")});

    QVERIFY(WaitFor([&] { return program.Sim(QStringLiteral("sent sim0")).size() > 3; }, 10000));
    const QStringList sent = program.Sim(QStringLiteral("sent sim0")).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QCOMPARE(sent.size(), 2); // "ok" and one PDU
    QVERIFY(WaitFor(
        [&] {
            return program.Sql(QStringLiteral("SELECT COUNT(*) FROM OUTGOING WHERE SENT = 1")) == QLatin1String("1");
        },
        5000));
    QCOMPARE(program.Sql(QStringLiteral("SELECT PDU FROM OUTGOING")), sent.at(1));
    QCOMPARE(program.Stop(), 0);
    // The recipient joined the history, which was saved at the end. A lone number is quoted so
    // that the column's numeric affinity keeps it text, "+" and all.
    QCOMPARE(program.Sql(QStringLiteral("SELECT VALUE FROM CONFIG WHERE NAME = 'targetphone'")),
             QStringLiteral("\"+4917012345\""));
}

void TestEndToEnd::secondStartHandsOver()
{
    QTemporaryDir home;
    TProgram program(FDisplay, home);
    QVERIFY(program.Start());
    int exit = -2;
    QProcess second;
    second.setProcessEnvironment(program.Env());
    second.start(QStringLiteral(OMBRELAY_BINARY), {QStringLiteral("--backend=sim")});
    QVERIFY(second.waitForFinished(15000));
    exit = second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -1;
    QCOMPARE(exit, 0);
    QVERIFY(program.Running());
    QCOMPARE(program.Sim(QStringLiteral("interfaces")), QStringLiteral("ok sim0"));
    QCOMPARE(program.Stop(), 0);
}

void TestEndToEnd::hideSwitch_data()
{
    QTest::addColumn<QString>("hideSwitch");
    QTest::newRow("-HIDE") << "-HIDE";
    QTest::newRow("/hide") << "/hide";
}

void TestEndToEnd::hideSwitch()
{
    QFETCH(QString, hideSwitch);
    QTemporaryDir home;
    TProgram program(FDisplay, home);
    QVERIFY(program.Start({hideSwitch}));
    QTest::qWait(500);
    QCOMPARE(program.Window(QStringLiteral("visible")), QStringLiteral("ok no"));
    QVERIFY(!program.Viewable());
    // A second start pops up the tray menu on X11; the window stays in the notification area.
    int exit = -2;
    Run(QStringLiteral(OMBRELAY_BINARY), {}, &exit, program.Env());
    QCOMPARE(exit, 0);
    QTest::qWait(300);
    QCOMPARE(program.Window(QStringLiteral("visible")), QStringLiteral("ok no"));
    QCOMPARE(program.Stop(), 0);
}

void TestEndToEnd::noNotificationAreaStartsVisible()
{
    StopWatcher();
    QTemporaryDir home;
    TProgram program(FDisplay, home);
    const bool started = program.Start({QStringLiteral("-hide")});
    const bool visible = started && WaitFor([&] { return program.Viewable(); }, 5000);
    program.Stop();
    QVERIFY(StartTrayWatcher(FWatcher));
    QVERIFY(started);
    QVERIFY2(visible, "without a notification area the hide switch must not hide the only window");
}

void TestEndToEnd::optionsSurviveRestart()
{
    QTemporaryDir home;
    {
        TProgram first(FDisplay, home);
        QVERIFY(first.Start());
        QCOMPARE(first.Stop(), 0);
        // The eleven settings; the window's place and sizes have rows of their own.
        QCOMPARE(first.Sql(QStringLiteral("SELECT COUNT(*) FROM CONFIG WHERE NAME NOT LIKE 'window.%'")),
                 QStringLiteral("11"));
        first.Sql(QStringLiteral("UPDATE CONFIG SET VALUE = 300 WHERE NAME = 'monitor.interval'; "
                                 "UPDATE CONFIG SET VALUE = 1 WHERE NAME = 'autoconnect'; "
                                 "UPDATE CONFIG SET VALUE = 'Business' WHERE NAME = 'profile.name'; "
                                 "UPDATE CONFIG SET VALUE = '+4911,\"Anna B\"' WHERE NAME = 'targetphone'"));
    }
    TProgram second(FDisplay, home);
    QVERIFY(second.Start());
    // Auto-connect with the saved profile acted at start-up.
    QVERIFY(WaitFor([&] { return second.Sim(QStringLiteral("state sim0")) == QLatin1String("ok connected"); }, 10000));
    QCOMPARE(second.Stop(), 0);
    QCOMPARE(second.Sql(QStringLiteral("SELECT NAME || '=' || VALUE FROM CONFIG WHERE NAME IN "
                                       "('monitor.interval', 'autoconnect', 'profile.name', 'targetphone') "
                                       "ORDER BY NAME")),
             QStringLiteral(
                 "autoconnect=1\nmonitor.interval=300\nprofile.name=Business\ntargetphone=+4911,\"Anna B\""));
}

// The real program follows a modem pulled out and plugged in again, with its registration, and
// stores what reached the SIM meanwhile without a restart.
void TestEndToEnd::modemComesAndGoes()
{
    QTemporaryDir home;
    TProgram program(FDisplay, home);
    QVERIFY(program.Start());
    QVERIFY(program.Viewable());
    auto statusBar = [&] { return program.Window(QStringLiteral("statusbar")); };
    QVERIFY(WaitFor([&] { return statusBar().startsWith(QLatin1String("ok Simulated modem\tDisconnected\tHome")); },
                    10000));
    QCOMPARE(program.Sim(QStringLiteral("unplug sim0")), QStringLiteral("ok"));
    QVERIFY(WaitFor([&] { return statusBar().startsWith(QLatin1String("ok No modem found")); }, 10000));
    QCOMPARE(program.Sim(QStringLiteral("deliver sim0 +4915112345 kept on the SIM")), QStringLiteral("ok 1"));
    QCOMPARE(program.Sim(QStringLiteral("register sim0 roaming Far Away")), QStringLiteral("ok"));
    QCOMPARE(program.Sim(QStringLiteral("tech sim0 umts")), QStringLiteral("ok"));
    QCOMPARE(program.Sim(QStringLiteral("plug sim0")), QStringLiteral("ok"));
    QVERIFY(WaitFor([&] { return program.Sql(QStringLiteral("SELECT COUNT(*) FROM INCOMING")) == QLatin1String("1"); },
                    5000));
    QVERIFY(WaitFor(
        [&] { return statusBar() == QLatin1String("ok Simulated modem\tDisconnected\tRoaming: Far Away, UMTS"); },
        5000));
    QCOMPARE(program.Sim(QStringLiteral("register sim0 denied")), QStringLiteral("ok"));
    QVERIFY(WaitFor([&] { return statusBar().endsWith(QLatin1String("\tRegistration denied")); }, 5000));
    QCOMPARE(program.Window(QStringLiteral("errors")), QStringLiteral("ok 0"));
    QCOMPARE(program.Stop(), 0);
}

// A SIM that asks for its PIN reaches the status bar and the device view; the unlock dialog
// shows the attempts left after a wrong PIN and unlocks with the right one, after which what
// reached the SIM meanwhile is stored. A modem switched off elsewhere is shown off and stays so
// until Enable is pressed.
void TestEndToEnd::lockedSimAndModemSwitchedOff()
{
    QTemporaryDir home;
    TProgram program(FDisplay, home);
    QVERIFY(program.Start());
    auto statusBar = [&] { return program.Window(QStringLiteral("statusbar")); };
    auto device = [&] { return program.Window(QStringLiteral("device-state")); };
    QVERIFY(WaitFor([&] { return statusBar().endsWith(QLatin1String("\tHome: Ombrelay Mobile, LTE")); }, 10000));

    QCOMPARE(program.Sim(QStringLiteral("pin sim0 1234")), QStringLiteral("ok"));
    QVERIFY(WaitFor([&] { return statusBar().endsWith(QLatin1String("\tSIM PIN required")); }, 5000));
    QVERIFY2(device().contains(QLatin1String("State=SIM PIN required (3 attempt")), qPrintable(device()));
    QVERIFY(device().endsWith(QLatin1String("[unlock]")));
    QCOMPARE(program.Sim(QStringLiteral("deliver sim0 +4915112345 behind the PIN")), QStringLiteral("ok 1"));
    program.Window(QStringLiteral("poll"));

    QCOMPARE(program.Window(QStringLiteral("pin-dialog open")), QStringLiteral("ok"));
    QVERIFY(program.Window(QStringLiteral("pin-dialog state")).contains(QLatin1String("3 attempt")));
    QCOMPARE(program.Window(QStringLiteral("pin-dialog enter 12")), QStringLiteral("error A PIN is 4 to 8 digits."));
    QCOMPARE(program.Window(QStringLiteral("pin-dialog enter 0000")), QStringLiteral("ok"));
    QVERIFY(WaitFor(
        [&] {
            return program.Window(QStringLiteral("pin-dialog state")).contains(QLatin1String("| Wrong PIN. 2 attempt"));
        },
        5000));
    QCOMPARE(program.Sim(QStringLiteral("lock sim0")), QStringLiteral("ok pin 2"));
    QCOMPARE(program.Sql(QStringLiteral("SELECT COUNT(*) FROM INCOMING")), QStringLiteral("0"));
    QCOMPARE(program.Window(QStringLiteral("pin-dialog enter 1234")), QStringLiteral("ok"));
    QVERIFY(WaitFor([&] { return program.Window(QStringLiteral("pin-dialog state")) == QLatin1String("ok closed"); },
                    5000));
    QCOMPARE(program.Sim(QStringLiteral("lock sim0")), QStringLiteral("ok none -1"));
    QVERIFY(WaitFor([&] { return statusBar().endsWith(QLatin1String("\tHome: Ombrelay Mobile, LTE")); }, 5000));
    QVERIFY(WaitFor([&] { return program.Sql(QStringLiteral("SELECT COUNT(*) FROM INCOMING")) == QLatin1String("1"); },
                    5000));
    QVERIFY(!device().contains(QLatin1String("[unlock]")));

    // Switched off by another program: shown off, left off, switched on by Enable.
    QCOMPARE(program.Sim(QStringLiteral("enable sim0 off")), QStringLiteral("ok"));
    QVERIFY(WaitFor([&] { return statusBar().endsWith(QLatin1String("\tModem switched off")); }, 5000));
    QVERIFY(WaitFor([&] { return device().endsWith(QLatin1String("[enable]")); }, 5000));
    QTest::qWait(500);
    QCOMPARE(program.Sim(QStringLiteral("powered sim0")), QStringLiteral("ok off"));
    QCOMPARE(program.Window(QStringLiteral("switch-on")), QStringLiteral("ok"));
    QVERIFY(WaitFor([&] { return program.Sim(QStringLiteral("powered sim0")) == QLatin1String("ok on"); }, 5000));
    QVERIFY(WaitFor([&] { return statusBar().endsWith(QLatin1String("\tHome: Ombrelay Mobile, LTE")); }, 5000));
    QVERIFY(!device().contains(QLatin1String("[enable]")));
    QCOMPARE(program.Window(QStringLiteral("errors")), QStringLiteral("ok 0"));
    QCOMPARE(program.Stop(), 0);
}

void TestEndToEnd::registrationReachesEveryView_data()
{
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QString>("statusBar");
    QTest::addColumn<QString>("deviceRows");
    QTest::addColumn<bool>("badge");
    const QString start = QStringLiteral("ok Simulated modem\tDisconnected\t");
    QTest::newRow("roaming, HSPA") << QStringList{QStringLiteral("register sim0 roaming Far Away"),
                                                  QStringLiteral("tech sim0 hspa")}
                                   << start + QStringLiteral("Roaming: Far Away, HSPA")
                                   << QStringLiteral("Network=Roaming; Operator=Far Away; Operator code=00101; "
                                                     "Access technology=HSPA")
                                   << true;
    QTest::newRow("home, 5G") << QStringList{QStringLiteral("tech sim0 5g")}
                              << start + QStringLiteral("Home: Ombrelay Mobile, 5G NR")
                              << QStringLiteral("Network=Home; Operator=Ombrelay Mobile; Operator code=00101; "
                                                "Access technology=5G NR")
                              << false;
    QTest::newRow("home, GSM") << QStringList{QStringLiteral("tech sim0 gsm")}
                               << start + QStringLiteral("Home: Ombrelay Mobile, GSM")
                               << QStringLiteral("Access technology=GSM") << false;
    QTest::newRow("searching") << QStringList{QStringLiteral("register sim0 searching")}
                               << start + QStringLiteral("Searching for a network")
                               << QStringLiteral("Network=Searching for a network; Operator=; Operator code=;")
                               << false;
    QTest::newRow("denied") << QStringList{QStringLiteral("register sim0 denied")}
                            << start + QStringLiteral("Registration denied")
                            << QStringLiteral("Network=Registration denied; Operator=;") << false;
    QTest::newRow("not registered") << QStringList{QStringLiteral("register sim0 none")}
                                    << start + QStringLiteral("Not registered")
                                    << QStringLiteral("Network=Not registered; Operator=;") << false;
}

// Each registration the network can give reaches the status bar, the device page and the tray
// (its tool tip, and the badge while roaming); the signal's raw value stays in the status bar's
// tool tip whatever the registration does.
void TestEndToEnd::registrationReachesEveryView()
{
    QFETCH(QStringList, commands);
    QFETCH(QString, statusBar);
    QFETCH(QString, deviceRows);
    QFETCH(bool, badge);
    QTemporaryDir home;
    TProgram program(FDisplay, home);
    QVERIFY(program.Start());
    QCOMPARE(program.Sim(QStringLiteral("signal sim0 12")), QStringLiteral("ok"));
    for (const QString& command : std::as_const(commands)) {
        QCOMPARE(program.Sim(command), QStringLiteral("ok"));
    }
    QVERIFY2(WaitFor([&] { return program.Window(QStringLiteral("statusbar")) == statusBar; }, 5000),
             qPrintable(program.Window(QStringLiteral("statusbar"))));
    const QString device = program.Window(QStringLiteral("device-state"));
    QVERIFY2(device.contains(deviceRows), qPrintable(device));
    QVERIFY2(device.contains(QLatin1String("Signal=39% (12 of 31)")), qPrintable(device));
    QCOMPARE(program.Window(QStringLiteral("tooltip sbMainPanel1")), QStringLiteral("ok Signal 39% (12 of 31)"));
    const QString tray = program.Window(QStringLiteral("tray"));
    QVERIFY2(tray.startsWith(badge ? QLatin1String("ok roaming ") : QLatin1String("ok home ")), qPrintable(tray));
    QVERIFY2(tray.contains(statusBar.section(QLatin1Char('\t'), 2)), qPrintable(tray));
    QCOMPARE(program.Window(QStringLiteral("errors")), QStringLiteral("ok 0"));
    QCOMPARE(program.Stop(), 0);
}

// A SIM past its PIN: the PUK asked for in the status bar, the device page and the unlock
// dialog, a right PUK with a new PIN unlocks it; ten wrong PUKs block it, and then nothing
// offers to unlock it any more.
void TestEndToEnd::pukAndBlockedSimShown()
{
    QTemporaryDir home;
    // Its standard error is kept, to look for the codes in it.
    TProgram program(FDisplay, home, false);
    QVERIFY(program.Start());
    auto statusBar = [&] { return program.Window(QStringLiteral("statusbar")); };
    auto device = [&] { return program.Window(QStringLiteral("device-state")); };
    auto dialog = [&] { return program.Window(QStringLiteral("pin-dialog state")); };
    QCOMPARE(program.Sim(QStringLiteral("pin sim0 1234")), QStringLiteral("ok"));
    QVERIFY(WaitFor([&] { return statusBar().endsWith(QLatin1String("\tSIM PIN required")); }, 5000));
    QCOMPARE(program.Window(QStringLiteral("pin-dialog open")), QStringLiteral("ok"));
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(program.Window(QStringLiteral("pin-dialog enter 86420")), QStringLiteral("ok"));
        QVERIFY(WaitFor([&] { return !dialog().contains(QLatin1String("Checking...")); }, 5000));
    }
    QVERIFY2(dialog().contains(QLatin1String("Enter the PUK and a new PIN. 10 attempts left. | Wrong PIN. The SIM now "
                                             "asks for its PUK.")),
             qPrintable(dialog()));
    QVERIFY(WaitFor([&] { return statusBar().endsWith(QLatin1String("\tSIM PUK required")); }, 5000));
    QVERIFY2(device().contains(QLatin1String("State=SIM PUK required (10 attempts left)")), qPrintable(device()));
    QVERIFY(device().endsWith(QLatin1String("[unlock]")));
    QCOMPARE(program.Window(QStringLiteral("tray")),
             QStringLiteral("ok home Ombrelay | Ombrelay Simulated Modem (simulated): Disconnected | SIM PUK "
                            "required | No unread messages"));

    // The right PUK with a new PIN: unlocked, and the new PIN is the one asked for next time.
    QCOMPARE(program.Window(QStringLiteral("pin-dialog enter-puk 12345678 73915")), QStringLiteral("ok"));
    QVERIFY(WaitFor([&] { return dialog() == QLatin1String("ok closed"); }, 5000));
    QVERIFY(WaitFor([&] { return statusBar().endsWith(QLatin1String("\tHome: Ombrelay Mobile, LTE")); }, 5000));
    QCOMPARE(program.Sim(QStringLiteral("lock sim0")), QStringLiteral("ok none -1"));

    // Locked again, three wrong PINs and ten wrong PUKs: blocked for good.
    QCOMPARE(program.Sim(QStringLiteral("pin sim0 73915")), QStringLiteral("ok"));
    QVERIFY(WaitFor([&] { return statusBar().endsWith(QLatin1String("\tSIM PIN required")); }, 5000));
    QCOMPARE(program.Window(QStringLiteral("pin-dialog open")), QStringLiteral("ok"));
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(program.Window(QStringLiteral("pin-dialog enter 86420")), QStringLiteral("ok"));
        QVERIFY(WaitFor([&] { return !dialog().contains(QLatin1String("Checking...")); }, 5000));
    }
    for (int i = 0; i < 10; ++i) {
        QCOMPARE(program.Window(QStringLiteral("pin-dialog enter-puk 00000000 97531")), QStringLiteral("ok"));
        QVERIFY(WaitFor([&] { return !dialog().contains(QLatin1String("Checking...")); }, 5000));
    }
    QVERIFY2(dialog().endsWith(QLatin1String("Only its operator can unblock it. | Wrong PUK. The SIM is blocked.")),
             qPrintable(dialog()));
    QVERIFY(WaitFor([&] { return statusBar().endsWith(QLatin1String("\tSIM blocked")); }, 5000));
    QVERIFY2(device().startsWith(QLatin1String("ok State=SIM blocked;")), qPrintable(device()));
    QVERIFY(!device().contains(QLatin1String("[unlock]")));
    QCOMPARE(program.Sim(QStringLiteral("lock sim0")), QStringLiteral("ok blocked -1"));
    // A wrong code is the SIM's answer, not a failure of the program.
    QCOMPARE(program.Window(QStringLiteral("errors")), QStringLiteral("ok 0"));
    QCOMPARE(program.Stop(), 0);
    // The codes went to the SIM only: none is in the program's files or in what it wrote out.
    QStringList kept{program.StdErr()};
    QDirIterator files(home.filePath(QStringLiteral("data")), QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile f(files.next());
        QVERIFY(f.open(QIODevice::ReadOnly));
        kept << QString::fromLatin1(f.readAll());
    }
    QVERIFY(kept.size() > 1);
    for (const QString& code : {QStringLiteral("86420"), QStringLiteral("73915"), QStringLiteral("97531")}) {
        for (const QString& text : std::as_const(kept)) {
            QVERIFY2(!text.contains(code), qPrintable(code));
        }
    }
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_end_to_end.moc"
