// The real program's online monitor against HTTP servers on loopback: a site that is down, one
// that never answers, one that answers 500 and one that answers with a permanent redirect. Every
// check is logged with its reason in words, and a failed check leads to the reconnect it should,
// as ombrelayctl monitor log shows them. The restart warning of a monitor that keeps failing:
// one dialog that later warnings reuse, Cancel that stops its restart, the log of each, with a
// mock login manager on a private system bus in place of the real one.

#include "support/HttpServer.h"
#include "support/ProgramUnderTest.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

using namespace Ombrelay;

class TestMonitorLog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void checksAndReconnectsLogged();
    void restartWarningReusedAndCancelled();

private:
    QString FDisplay;
    QProcess FXvfb;
};

void TestMonitorLog::initTestCase()
{
    for (const char* tool : {"Xvfb", "sqlite3"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty()) {
            QSKIP(qPrintable(QStringLiteral("%1 is not installed (scripts/install-deps.sh)").arg(QLatin1String(tool))));
        }
    }
    QVERIFY2(StartXvfb(FXvfb, FDisplay, 700), "no X server could be started");
}

void TestMonitorLog::cleanupTestCase()
{
    EndProcesses({&FXvfb});
}

namespace
{

// The monitor log as ombrelayctl prints it, one "kind|site|method|result|reason" line per entry.
QStringList MonitorLog(const TProgram& Program)
{
    int exit = -1;
    const QString json =
        Run(QStringLiteral(OMBRELAY_CTL), {QStringLiteral("monitor"), QStringLiteral("log"), QStringLiteral("--json")},
            &exit, Program.Env());
    QStringList lines;
    if (exit != 0) {
        return {QStringLiteral("ombrelayctl failed")};
    }
    for (const QJsonValue& v : QJsonDocument::fromJson(json.toUtf8()).array()) {
        const QJsonObject o = v.toObject();
        QStringList fields;
        for (const char* name : {"kind", "site", "method", "result", "reason"}) {
            fields << o.value(QLatin1String(name)).toString();
        }
        lines << fields.join(QLatin1Char('|'));
    }
    return lines;
}

// The monitor log entries of one kind, "result|reason" each, with their times.
QList<QPair<QDateTime, QString>> Entries(const TProgram& Program, const char* Kind)
{
    int exit = -1;
    const QString json =
        Run(QStringLiteral(OMBRELAY_CTL), {QStringLiteral("monitor"), QStringLiteral("log"), QStringLiteral("--json")},
            &exit, Program.Env());
    QList<QPair<QDateTime, QString>> entries;
    for (const QJsonValue& v : QJsonDocument::fromJson(json.toUtf8()).array()) {
        const QJsonObject o = v.toObject();
        if (o.value(QStringLiteral("kind")).toString() == QLatin1String(Kind)) {
            entries.append({QDateTime::fromString(o.value(QStringLiteral("time")).toString(),
                                                  QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                            o.value(QStringLiteral("result")).toString() + QLatin1Char('|') +
                                o.value(QStringLiteral("reason")).toString()});
        }
    }
    return entries;
}

// A bus of our own as the program's system bus, with python3-dbusmock's login manager on it
// writing every call to LogFile.
class TMockSystemBus
{
public:
    ~TMockSystemBus() { EndProcesses({&FLogind, &FBus}); }

    bool Start(const QString& LogFile)
    {
        FBus.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        if (!FBus.waitForStarted(10000) || !WaitFor([&] { return FBus.canReadLine(); }, 10000)) {
            return false;
        }
        FAddress = QString::fromUtf8(FBus.readLine()).trimmed();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), FAddress);
        FLogind.setProcessEnvironment(env);
        FLogind.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        FLogind.start(TestPython, {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--template"),
                                   QStringLiteral("logind"), QStringLiteral("-l"), LogFile});
        if (!FLogind.waitForStarted(10000)) {
            return false;
        }
        QDBusConnection bus = QDBusConnection::connectToBus(FAddress, QStringLiteral("mock-system"));
        const bool up = WaitFor(
            [&] {
                return bus.isConnected() &&
                       bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.login1"));
            },
            15000);
        QDBusConnection::disconnectFromBus(QStringLiteral("mock-system"));
        return up;
    }
    const QString& Address() const { return FAddress; }

private:
    QProcess FBus;
    QProcess FLogind;
    QString FAddress;
};

} // namespace

void TestMonitorLog::checksAndReconnectsLogged()
{
    THttpServer server;
    QString down;
    {
        // A port that was just free: nobody listens there.
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        down = QStringLiteral("http://127.0.0.1:%1/").arg(probe.serverPort());
    }
    const QString slow = server.Url(QStringLiteral("/hang"));
    const QString failing = server.Url(QStringLiteral("/status/500"));
    const QString moved = server.Url(QStringLiteral("/status/308"));

    QTemporaryDir home;
    TProgram program(FDisplay, home);
    // The first start makes the database; the settings go in while the program is not running
    // (it writes its own at the end).
    QVERIFY(program.Start());
    QCOMPARE(program.Stop(), 0);
    auto configure = [&](const QStringList& Sites, bool AutoConnect) {
        // A check every ten seconds, a reconnect after every failed one, never a restart.
        return program.Sql(QStringLiteral("INSERT OR REPLACE INTO CONFIG VALUES ('monitor.enabled', 1), "
                                          "('monitor.interval', 10), ('monitor.threshold.redial', 1), "
                                          "('monitor.threshold.reboot', 0), ('monitor.sites', '%1'), "
                                          "('autoconnect', %2); SELECT COUNT(*) FROM CONFIG WHERE NAME LIKE "
                                          "'monitor.%'")
                               .arg(Sites.join(QLatin1Char(',')))
                               .arg(AutoConnect ? 1 : 0));
    };
    const QString check = QStringLiteral("check|");

    // Connected at start; every site fails, the silent one only after the request's time-out: the
    // check fails without trying ICMP, and the reconnect takes the connection down and up again.
    QCOMPARE(configure({down, slow, failing}, true), QStringLiteral("5"));
    QVERIFY(program.Start());
    QVERIFY2(
        WaitFor([&] { return MonitorLog(program).join(QLatin1Char('\n')).contains(QLatin1String("reconnect-result")); },
                60000),
        qPrintable(MonitorLog(program).join(QLatin1Char('\n'))));
    QStringList log = MonitorLog(program);
    QCOMPARE(log.mid(0, 5), (QStringList{check + down + QStringLiteral("|HTTP|failed|connection refused"),
                                         check + slow + QStringLiteral("|HTTP|failed|timed out"),
                                         check + failing + QStringLiteral("|HTTP|failed|HTTP status 500"),
                                         QStringLiteral("reconnect|||disconnect and connect|connected"),
                                         QStringLiteral("reconnect-result|||ok|connected")}));
    QCOMPARE(program.Sim(QStringLiteral("state sim0")), QStringLiteral("ok connected"));
    QCOMPARE(program.Stop(), 0);

    // A redirect is an answer: after two failed sites the check passes on the third, the ICMP part
    // reaches the first site's host, and no reconnect follows. Two checks show it.
    const qsizetype before = MonitorLog(program).size();
    QCOMPARE(configure({down, failing, moved}, false), QStringLiteral("5"));
    QVERIFY(program.Start());
    const QStringList passed{check + down + QStringLiteral("|HTTP|failed|connection refused"),
                             check + failing + QStringLiteral("|HTTP|failed|HTTP status 500"),
                             check + moved + QStringLiteral("|HTTP|ok|HTTP status 308"),
                             check + down + QStringLiteral("|ICMP|ok|echo reply")};
    QVERIFY2(WaitFor([&] { return MonitorLog(program).size() >= before + 8; }, 60000),
             qPrintable(MonitorLog(program).join(QLatin1Char('\n'))));
    log = MonitorLog(program);
    QCOMPARE(log.mid(before), passed + passed);
    QCOMPARE(program.Sim(QStringLiteral("state sim0")), QStringLiteral("ok disconnected"));
    QCOMPARE(program.Stop(), 0);
}

// Every check fails and every failure warns of a restart (a check every ten seconds). The first
// warning opens the one-minute dialog; the next ones reuse it, still counting down, instead of
// opening another. Cancel closes it, and its minute passes without a restart; a later warning
// opens a new dialog, and that one, left alone, asks the login manager to restart when its count
// ends, so the quiet minute before was Cancel's doing. The log holds each warning and the one
// request.
void TestMonitorLog::restartWarningReusedAndCancelled()
{
    if (!QFileInfo::exists(QStringLiteral("/usr/lib/python3/dist-packages/dbusmock")) ||
        QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty()) {
        QSKIP("python3-dbusmock or dbus-daemon is not installed (scripts/install-deps.sh)");
    }
    QTemporaryDir home;
    const QString logindLog = home.filePath(QStringLiteral("logind.log"));
    TMockSystemBus system;
    QVERIFY2(system.Start(logindLog), "no private system bus with the mock login manager");
    auto restarts = [&] {
        QFile log(logindLog);
        return log.open(QIODevice::ReadOnly) ? log.readAll().count("Reboot") : -1;
    };
    QString down;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        down = QStringLiteral("http://127.0.0.1:%1/").arg(probe.serverPort());
    }

    TProgram program(FDisplay, home);
    program.SetEnv(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), system.Address());
    QVERIFY(program.Start());
    QCOMPARE(program.Stop(), 0);
    QCOMPARE(program.Sql(QStringLiteral("INSERT OR REPLACE INTO CONFIG VALUES ('monitor.enabled', 1), "
                                        "('monitor.interval', 10), ('monitor.threshold.redial', 0), "
                                        "('monitor.threshold.reboot', 1), ('monitor.sites', '%1'), "
                                        "('autoconnect', 0); SELECT COUNT(*) FROM CONFIG WHERE NAME LIKE 'monitor.%'")
                             .arg(down)),
             QStringLiteral("5"));
    QVERIFY(program.Start());
    auto countdown = [&] { return program.Window(QStringLiteral("countdown")).split(QLatin1Char('\t')); };

    QVERIFY2(WaitFor([&] { return countdown().value(0) == QLatin1String("ok 1"); }, 40000),
             qPrintable(countdown().join(QLatin1Char(' '))));
    QElapsedTimer sinceFirst;
    sinceFirst.start();
    QCOMPARE(countdown().value(1), QStringLiteral("Shutdown Warning"));
    const int firstLeft = countdown().value(2).toInt();
    QVERIFY2(firstLeft > 50 && firstLeft <= 60, qPrintable(countdown().value(2)));

    // The next warning (ten seconds on) finds the dialog open and reuses it: still one, and it
    // has counted on instead of starting its minute again.
    QVERIFY2(WaitFor([&] { return Entries(program, "restart-warning").size() >= 2; }, 30000),
             qPrintable(MonitorLog(program).join(QLatin1Char('\n'))));
    const QStringList reused = countdown();
    QCOMPARE(reused.value(0), QStringLiteral("ok 1"));
    QVERIFY2(reused.value(2).toInt() <= firstLeft - 5, qPrintable(reused.join(QLatin1Char(' '))));
    QCOMPARE(Entries(program, "restart-warning").first().second, QStringLiteral("shown|restart in 60 seconds"));

    QCOMPARE(program.Window(QStringLiteral("countdown cancel")), QStringLiteral("ok"));
    QVERIFY(WaitFor([&] { return countdown().value(0) == QLatin1String("ok 0"); }, 5000));
    // The cancelled dialog's minute passes (a new warning meanwhile opens a new dialog, whose
    // minute ends later): no restart is asked for.
    while (sinceFirst.elapsed() < 66000) {
        QCOMPARE(restarts(), 0);
        QVERIFY2(Entries(program, "restart").isEmpty(), qPrintable(MonitorLog(program).join(QLatin1Char('\n'))));
        QTest::qWait(1000);
    }
    QCOMPARE(countdown().value(0), QStringLiteral("ok 1"));

    // The new dialog, left alone, ends its count with the request to restart.
    QVERIFY2(WaitFor([&] { return restarts() == 1; }, 40000), qPrintable(MonitorLog(program).join(QLatin1Char('\n'))));
    QVERIFY(WaitFor([&] { return !Entries(program, "restart").isEmpty(); }, 5000));
    const auto requested = Entries(program, "restart");
    QCOMPARE(requested.size(), 1);
    QCOMPARE(requested.first().second, QStringLiteral("requested|count-down ended"));
    const auto warnings = Entries(program, "restart-warning");
    QVERIFY(warnings.size() >= 3);
    QVERIFY2(warnings.first().first.secsTo(requested.first().first) >= 66,
             qPrintable(MonitorLog(program).join(QLatin1Char('\n'))));
    QCOMPARE(program.Stop(), 0);
}

QTEST_MAIN(TestMonitorLog)
#include "tst_monitor_log.moc"
