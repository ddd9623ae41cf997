// The real program's online monitor against HTTP servers on loopback: a site that is down, one
// that never answers, one that answers 500 and one that answers with a permanent redirect. Every
// check is logged with its reason in words, and a failed check leads to the reconnect it should,
// as ombrelayctl monitor log shows them.

#include "support/HttpServer.h"
#include "support/ProgramUnderTest.h"

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

QTEST_MAIN(TestMonitorLog)
#include "tst_monitor_log.moc"
