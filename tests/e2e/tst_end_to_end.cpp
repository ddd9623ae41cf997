// The real program under its own X server, on the simulated modem, driven from outside: through
// the modem's control channel, the keyboard (xdotool), the program's instance channel and its
// database file. The session bus (dbus-run-session) carries a mock notification service and a
// mock StatusNotifierItem watcher, so the program has a notification area and its balloons can
// be read back.

#include "support/ProgramUnderTest.h"

#include <QDBusInterface>
#include <QDBusReply>
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
    void secondStartHandsOver();
    void hideSwitch_data();
    void hideSwitch();
    void noNotificationAreaStartsVisible();
    void optionsSurviveRestart();

private:
    bool StartWatcher();
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
    for (const char* Tool : {"Xvfb", "xwininfo", "xdotool", "sqlite3"}) {
        if (QStandardPaths::findExecutable(QLatin1String(Tool)).isEmpty()) {
            QSKIP(qPrintable(QStringLiteral("%1 is not installed (scripts/install-deps.sh)").arg(QLatin1String(Tool))));
        }
    }
    QVERIFY2(StartXvfb(FXvfb, FDisplay, 60), "no X server could be started");
    QVERIFY(StartNotificationDaemon(FNotifications, FLogs.filePath(QStringLiteral("notifications.log"))));
    QVERIFY(StartWatcher());
    QDir().mkpath(QStringLiteral(OMBRELAY_SCREENSHOTS));
}

bool TestEndToEnd::StartWatcher()
{
    const QString Name = QStringLiteral("org.kde.StatusNotifierWatcher");
    FWatcher.start(TestPython, {QStringLiteral("-m"), QStringLiteral("dbusmock"), Name,
                                QStringLiteral("/StatusNotifierWatcher"), Name});
    if (!FWatcher.waitForStarted() ||
        !WaitFor([&] { return QDBusConnection::sessionBus().interface()->isServiceRegistered(Name); }, 10000)) {
        return false;
    }
    QDBusInterface Mock(Name, QStringLiteral("/StatusNotifierWatcher"), QStringLiteral("org.freedesktop.DBus.Mock"));
    QDBusReply<void> R1 =
        Mock.call(QStringLiteral("AddProperty"), Name, QStringLiteral("IsStatusNotifierHostRegistered"),
                  QVariant::fromValue(QDBusVariant(true)));
    QDBusReply<void> R2 = Mock.call(QStringLiteral("AddProperty"), Name, QStringLiteral("ProtocolVersion"),
                                    QVariant::fromValue(QDBusVariant(0)));
    QDBusReply<void> R3 = Mock.call(QStringLiteral("AddMethod"), Name, QStringLiteral("RegisterStatusNotifierItem"),
                                    QStringLiteral("s"), QString(), QString());
    return R1.isValid() && R2.isValid() && R3.isValid();
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
    QTemporaryDir Home;
    TProgram Program(FDisplay, Home);
    QVERIFY(Program.Start());
    QVERIFY(Program.Viewable());
    QCOMPARE(Program.Sim(QStringLiteral("deliver sim0 +4915112345 Hello from the network <b>not bold</b>")),
             QStringLiteral("ok 1"));
    QCOMPARE(Program.Sim(QStringLiteral("stored sim0")), QStringLiteral("ok 1"));
    // The device is polled every ten seconds; then the message is stored and the device cleared.
    QVERIFY(WaitFor([&] { return Program.Sql(QStringLiteral("SELECT COUNT(*) FROM INCOMING")) == QLatin1String("1"); },
                    20000));
    QVERIFY(WaitFor([&] { return Program.Sim(QStringLiteral("stored sim0")) == QLatin1String("ok 0"); }, 5000));
    QCOMPARE(Program.Sql(QStringLiteral("SELECT SEEN FROM INCOMING")), QStringLiteral("0"));
    // The balloon went through the desktop's notification service.
    QFile Log(FLogs.filePath(QStringLiteral("notifications.log")));
    QVERIFY(WaitFor(
        [&] {
            return Log.open(QIODevice::ReadOnly) &&
                   QString::fromUtf8(Log.readAll()).contains(QStringLiteral("1 New Message"));
        },
        5000));
    Log.close();

    // A picture of every tab for the build's record.
    for (const char* Tab : {"tsInfo", "tsConnProf", "tsUsage", "tsMessages"}) {
        QCOMPARE(Program.Window(QStringLiteral("tab %1").arg(QLatin1String(Tab))), QStringLiteral("ok"));
        QTest::qWait(300);
        const QString File = QStringLiteral(OMBRELAY_SCREENSHOTS "/main-%1.png").arg(QLatin1String(Tab));
        QCOMPARE(Program.Window(QStringLiteral("screenshot ") + File), QStringLiteral("ok"));
        QVERIFY(QFileInfo(File).size() > 0);
    }
    Run(QStringLiteral("import"),
        {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral(OMBRELAY_SCREENSHOTS "/display.png")},
        nullptr, Program.Env());
    QCOMPARE(Program.Stop(), 0);
}

void TestEndToEnd::messageSentFromDialog()
{
    QTemporaryDir Home;
    TProgram Program(FDisplay, Home);
    QVERIFY(Program.Start());
    const QString Main = Program
                             .XDoTool({QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--name"),
                                       QStringLiteral("^Virelle Ombrelay$")})
                             .section(QLatin1Char('\n'), 0, 0);
    QVERIFY(!Main.isEmpty());
    Program.XDoTool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), Main});
    Program.XDoTool({QStringLiteral("key"), QStringLiteral("ctrl+n")});
    const QString Dialog = Program
                               .XDoTool({QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--name"),
                                         QStringLiteral("^New Message")})
                               .section(QLatin1Char('\n'), 0, 0);
    QVERIFY(!Dialog.isEmpty());
    Program.XDoTool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), Dialog});
    QTest::qWait(300);
    Program.XDoTool(
        {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), QStringLiteral("+4917012345")});
    Program.XDoTool({QStringLiteral("key"), QStringLiteral("Tab")});
    Program.XDoTool(
        {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), QStringLiteral("Sent by hand")});
    Run(QStringLiteral("import"),
        {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral(OMBRELAY_SCREENSHOTS "/new-message.png")},
        nullptr, Program.Env());
    Program.XDoTool({QStringLiteral("key"), QStringLiteral("Return")});

    QVERIFY(WaitFor([&] { return Program.Sim(QStringLiteral("sent sim0")).size() > 3; }, 10000));
    const QStringList Sent = Program.Sim(QStringLiteral("sent sim0")).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QCOMPARE(Sent.size(), 2); // "ok" and one PDU
    QVERIFY(WaitFor(
        [&] {
            return Program.Sql(QStringLiteral("SELECT COUNT(*) FROM OUTGOING WHERE SENT = 1")) == QLatin1String("1");
        },
        5000));
    QCOMPARE(Program.Sql(QStringLiteral("SELECT PDU FROM OUTGOING")), Sent.at(1));
    QCOMPARE(Program.Stop(), 0);
    // The recipient joined the history, which was saved at the end. A lone number is quoted so
    // that the column's numeric affinity keeps it text, "+" and all.
    QCOMPARE(Program.Sql(QStringLiteral("SELECT VALUE FROM CONFIG WHERE NAME = 'targetphone'")),
             QStringLiteral("\"+4917012345\""));
}

void TestEndToEnd::secondStartHandsOver()
{
    QTemporaryDir Home;
    TProgram Program(FDisplay, Home);
    QVERIFY(Program.Start());
    int Exit = -2;
    QProcess Second;
    Second.setProcessEnvironment(Program.Env());
    Second.start(QStringLiteral(OMBRELAY_BINARY), {QStringLiteral("--backend=sim")});
    QVERIFY(Second.waitForFinished(15000));
    Exit = Second.exitStatus() == QProcess::NormalExit ? Second.exitCode() : -1;
    QCOMPARE(Exit, 0);
    QVERIFY(Program.Running());
    QCOMPARE(Program.Sim(QStringLiteral("interfaces")), QStringLiteral("ok sim0"));
    QCOMPARE(Program.Stop(), 0);
}

void TestEndToEnd::hideSwitch_data()
{
    QTest::addColumn<QString>("Switch");
    QTest::newRow("-HIDE") << "-HIDE";
    QTest::newRow("/hide") << "/hide";
}

void TestEndToEnd::hideSwitch()
{
    QFETCH(QString, Switch);
    QTemporaryDir Home;
    TProgram Program(FDisplay, Home);
    QVERIFY(Program.Start({Switch}));
    QTest::qWait(500);
    QCOMPARE(Program.Window(QStringLiteral("visible")), QStringLiteral("ok no"));
    QVERIFY(!Program.Viewable());
    // A second start pops up the tray menu on X11; the window stays in the notification area.
    int Exit = -2;
    Run(QStringLiteral(OMBRELAY_BINARY), {}, &Exit, Program.Env());
    QCOMPARE(Exit, 0);
    QTest::qWait(300);
    QCOMPARE(Program.Window(QStringLiteral("visible")), QStringLiteral("ok no"));
    QCOMPARE(Program.Stop(), 0);
}

void TestEndToEnd::noNotificationAreaStartsVisible()
{
    StopWatcher();
    QTemporaryDir Home;
    TProgram Program(FDisplay, Home);
    const bool Started = Program.Start({QStringLiteral("-hide")});
    const bool Visible = Started && WaitFor([&] { return Program.Viewable(); }, 5000);
    Program.Stop();
    QVERIFY(StartWatcher());
    QVERIFY(Started);
    QVERIFY2(Visible, "without a notification area the hide switch must not hide the only window");
}

void TestEndToEnd::optionsSurviveRestart()
{
    QTemporaryDir Home;
    {
        TProgram First(FDisplay, Home);
        QVERIFY(First.Start());
        QCOMPARE(First.Stop(), 0);
        QCOMPARE(First.Sql(QStringLiteral("SELECT COUNT(*) FROM CONFIG")), QStringLiteral("11"));
        First.Sql(QStringLiteral("UPDATE CONFIG SET VALUE = 300 WHERE NAME = 'monitor.interval'; "
                                 "UPDATE CONFIG SET VALUE = 1 WHERE NAME = 'autoconnect'; "
                                 "UPDATE CONFIG SET VALUE = 'Business' WHERE NAME = 'profile.name'; "
                                 "UPDATE CONFIG SET VALUE = '+4911,\"Anna B\"' WHERE NAME = 'targetphone'"));
    }
    TProgram Second(FDisplay, Home);
    QVERIFY(Second.Start());
    // Auto-connect with the saved profile acted at start-up.
    QVERIFY(WaitFor([&] { return Second.Sim(QStringLiteral("state sim0")) == QLatin1String("ok connected"); }, 10000));
    QCOMPARE(Second.Stop(), 0);
    QCOMPARE(Second.Sql(QStringLiteral("SELECT NAME || '=' || VALUE FROM CONFIG WHERE NAME IN "
                                       "('monitor.interval', 'autoconnect', 'profile.name', 'targetphone') "
                                       "ORDER BY NAME")),
             QStringLiteral(
                 "autoconnect=1\nmonitor.interval=300\nprofile.name=Business\ntargetphone=+4911,\"Anna B\""));
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_end_to_end.moc"
