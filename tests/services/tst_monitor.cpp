// The online monitor against a real HTTP server on loopback and real ICMP echo.

#include "core/Monitor.h"
#include "core/Options.h"
#include "support/HttpServer.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QMutex>
#include <QMutexLocker>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

using namespace Ombrelay;

namespace
{

// Settings a test changes while the monitor reads them.
struct TSettingsBox
{
    QMutex Mutex;
    TMonitorSettings Value;

    void Set(const TMonitorSettings& S)
    {
        QMutexLocker lock(&Mutex);
        Value = S;
    }
    TMonitorThread::TSettingsSource Source()
    {
        return [this] {
            QMutexLocker lock(&Mutex);
            return Value;
        };
    }
};

// Reaches the two checks and counts how often the ICMP part runs.
class TTestMonitor : public TMonitorThread
{
public:
    using TMonitorThread::TMonitorThread;
    ~TTestMonitor() override { StopAndWait(); }

    bool Http(const QStringList& Sites) { return CheckWebSites(Sites); }
    bool Ping(const QStringList& Sites) { return PingWebSites(Sites); }
    std::atomic<int> PingCalls{0};

protected:
    bool PingWebSites(const QStringList& Sites) override
    {
        ++PingCalls;
        return TMonitorThread::PingWebSites(Sites);
    }
};

TMonitorSettings Settings(const QStringList& Sites, quint32 Interval = 60, quint32 Redial = 2, quint32 Reboot = 5,
                          bool Enabled = true)
{
    TMonitorSettings s;
    s.Enabled = Enabled;
    s.Interval = Interval;
    s.RedialThreshold = Redial;
    s.RebootThreshold = Reboot;
    s.Sites = Sites;
    return s;
}

QList<int> Messages(const QSignalSpy& Spy)
{
    QList<int> result;
    for (const QList<QVariant>& args : Spy) {
        result.append(args.at(0).toInt());
    }
    return result;
}

constexpr int D = WM_MONITOR_REDIAL;
constexpr int B = WM_MONITOR_REBOOT;

} // namespace

class TestMonitor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void statusCodes_data();
    void statusCodes();
    void failingSitesAreSkipped();
    void badEntriesFailOnlyThemselves();
    void silentServerTimesOut();
    void icmpPart();
    void httpFailureSkipsIcmp();
    void bothPartsRequired();
    void workedSequence();
    void thresholds_data();
    void thresholds();
    void disabledDoesNothing();
    void outOfRangeSettings_data();
    void outOfRangeSettings();
    void runningThreadPostsQueued();
    void destroyDuringHangingCheck();
    void settingsReplacedDuringChecks();
    void checksLoggedWithReason_data();
    void checksLoggedWithReason();
    void disabledSleepsUntilWoken();

private:
    std::unique_ptr<THttpServer> FServer;
};

void TestMonitor::initTestCase()
{
    FServer = std::make_unique<THttpServer>();
}

void TestMonitor::cleanupTestCase()
{
    FServer.reset();
}

void TestMonitor::statusCodes_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("reachable");
    for (int code : {200, 301, 302, 303, 304, 307, 308}) {
        QTest::addRow("%d", code) << code << true;
    }
    for (int code : {204, 305, 306, 404, 500, 503}) {
        QTest::addRow("%d", code) << code << false;
    }
}

void TestMonitor::statusCodes()
{
    QFETCH(int, status);
    QFETCH(bool, reachable);
    TSettingsBox box;
    TTestMonitor monitor(box.Source());
    FServer->ClearRequests();
    QCOMPARE(monitor.Http({FServer->Url(QStringLiteral("/status/%1").arg(status))}), reachable);
    // A HEAD request, and redirects are not followed.
    QCOMPARE(FServer->Requests(), QStringList{QStringLiteral("HEAD /status/%1 HTTP/1.1").arg(status)});
}

void TestMonitor::failingSitesAreSkipped()
{
    TSettingsBox box;
    TTestMonitor monitor(box.Source());
    FServer->ClearRequests();
    QVERIFY(monitor.Http({FServer->Url("/status/404"), FServer->Url("/status/500"), FServer->Url("/status/304"),
                          FServer->Url("/status/200")}));
    // In list order, stopping at the first accepted answer.
    QCOMPARE(FServer->Requests(),
             (QStringList{"HEAD /status/404 HTTP/1.1", "HEAD /status/500 HTTP/1.1", "HEAD /status/304 HTTP/1.1"}));
    QVERIFY(!monitor.Http({}));
}

void TestMonitor::badEntriesFailOnlyThemselves()
{
    TSettingsBox box;
    TTestMonitor monitor(box.Source());
    const QStringList bad{QStringLiteral("not a url"),
                          QStringLiteral("http://"),
                          QString(),
                          QStringLiteral("file:///etc/hostname"),
                          QStringLiteral("http://no-such-host.invalid/"),
                          QStringLiteral("http://127.0.0.1:1/")};
    QVERIFY(!monitor.Http(bad));
    QVERIFY(!monitor.Ping(bad.mid(0, 5)));
    QVERIFY(monitor.Http(bad + QStringList{FServer->Url("/status/200")}));
    QVERIFY(monitor.Ping(bad.mid(0, 5) + QStringList{FServer->Url("/status/200")}));
}

void TestMonitor::silentServerTimesOut()
{
    TSettingsBox box;
    TTestMonitor monitor(box.Source());
    monitor.SetHttpTimeouts(500, 800);
    FServer->ClearRequests();
    QElapsedTimer timer;
    timer.start();
    // The silent site fails after its time-out and the next one is tried.
    QVERIFY(monitor.Http({FServer->Url("/hang"), FServer->Url("/status/200")}));
    QVERIFY(timer.elapsed() >= 700);
    QCOMPARE(FServer->Requests().size(), 2);
}

void TestMonitor::checksLoggedWithReason_data()
{
    QTest::addColumn<QString>("Path");
    QTest::addColumn<QString>("Result");
    QTest::addColumn<QString>("Reason");
    QTest::newRow("down") << QString() << "failed"
                          << "connection refused";
    QTest::newRow("slow") << "/hang"
                          << "failed"
                          << "timed out";
    QTest::newRow("500") << "/status/500"
                         << "failed"
                         << "HTTP status 500";
    QTest::newRow("308") << "/status/308"
                         << "ok"
                         << "HTTP status 308";
}

// Every check leaves one entry per site tried, with the reason in words, and failures lead to
// the reconnect and restart requests at the thresholds.
void TestMonitor::checksLoggedWithReason()
{
    QFETCH(QString, Path);
    QFETCH(QString, Result);
    QFETCH(QString, Reason);
    // A port that was just free: nobody listens there.
    QString url;
    if (Path.isEmpty()) {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        url = QStringLiteral("http://127.0.0.1:%1/").arg(probe.serverPort());
    } else {
        url = FServer->Url(Path);
    }
    TSettingsBox box;
    box.Set(Settings({url}, 10, 2, 3));
    TTestMonitor monitor(box.Source());
    monitor.SetHttpTimeouts(300, 500);
    QList<TMonitorLogEntry> log;
    monitor.SetLogSink([&log](const TMonitorLogEntry& E) { log << E; });
    QSignalSpy messages(&monitor, &TMonitorThread::MonitorMessage);
    QSignalSpy finished(&monitor, &TMonitorThread::CheckFinished);
    for (int tick = 0; tick < 30; ++tick) {
        monitor.Tick();
    }
    QCOMPARE(finished.count(), 3);
    const bool ok = Result == QLatin1String("ok");
    // The ICMP part follows only an HTTP success (and 127.0.0.1 answers echoes).
    QCOMPARE(log.size(), ok ? 6 : 3);
    for (int i = 0; i < log.size(); ++i) {
        const TMonitorLogEntry& e = log.at(i);
        QCOMPARE(e.Kind, QStringLiteral("check"));
        QCOMPARE(e.Site, url);
        QCOMPARE(e.Method, ok && i % 2 == 1 ? QStringLiteral("ICMP") : QStringLiteral("HTTP"));
        QCOMPARE(e.Result, Result);
        if (e.Method == QLatin1String("HTTP")) {
            QCOMPARE(e.Reason, Reason);
        }
    }
    QCOMPARE(finished.last().at(1).toString(), ok ? QString() : Reason);
    // Three failures: a reconnect at the second, the restart (threshold 3) at the third.
    QCOMPARE(Messages(messages), ok ? QList<int>{} : (QList<int>{D, B}));
}

void TestMonitor::icmpPart()
{
    TSettingsBox box;
    TTestMonitor monitor(box.Source());
    QVERIFY(monitor.Ping({FServer->Url("/status/200")}));
    QVERIFY(monitor.Ping({QStringLiteral("http://localhost/")}));
    QVERIFY(!monitor.Ping({}));
    // Only IPv4 addresses are pinged: a site by IPv6 address fails this part.
    QVERIFY(!monitor.Ping({FServer->Url("/status/200", true)}));
}

void TestMonitor::httpFailureSkipsIcmp()
{
    TSettingsBox box;
    box.Set(Settings({FServer->Url("/status/500")}));
    TTestMonitor monitor(box.Source());
    monitor.Tick();
    QCOMPARE(monitor.ErrorCount(), 1u);
    QCOMPARE(monitor.PingCalls.load(), 0);

    box.Set(Settings({FServer->Url("/status/200")}));
    for (int i = 0; i < 60; ++i) {
        monitor.Tick();
    }
    QCOMPARE(monitor.PingCalls.load(), 1);
    QCOMPARE(monitor.ErrorCount(), 0u);
}

void TestMonitor::bothPartsRequired()
{
    // Reachable by HTTP over IPv6 only: the ICMP part has no IPv4 address to ping.
    TSettingsBox box;
    box.Set(Settings({FServer->Url("/status/200", true)}, 10, 0, 1));
    TTestMonitor monitor(box.Source());
    QSignalSpy spy(&monitor, &TMonitorThread::MonitorMessage);
    QVERIFY(monitor.Http({FServer->Url("/status/200", true)}));
    monitor.Tick();
    QCOMPARE(monitor.PingCalls.load(), 1);
    QCOMPARE(monitor.ErrorCount(), 1u);
    QCOMPARE(Messages(spy), QList<int>{B});
}

void TestMonitor::workedSequence()
{
    TSettingsBox box;
    box.Set(Settings({FServer->Url("/status/500")}));
    TTestMonitor monitor(box.Source());
    QSignalSpy spy(&monitor, &TMonitorThread::MonitorMessage);
    QList<int> posted;
    // Failures 1 to 10 with the defaults: a check at every 60th tick, the first at once.
    const QList<int> expected{0, D, 0, D, B, D, 0, D, 0, B};
    for (int failure = 1; failure <= 10; ++failure) {
        spy.clear();
        for (int tick = 0; tick < 60; ++tick) {
            monitor.Tick();
        }
        QCOMPARE(monitor.ErrorCount(), quint32(failure));
        posted.append(spy.isEmpty() ? 0 : spy.at(0).at(0).toInt());
        QVERIFY(spy.size() <= 1);
    }
    QCOMPARE(posted, expected);
    QCOMPARE(monitor.TimerCount(), 600u);

    // One success starts the sequence again.
    box.Set(Settings({FServer->Url("/status/200")}));
    for (int tick = 0; tick < 60; ++tick) {
        monitor.Tick();
    }
    QCOMPARE(monitor.ErrorCount(), 0u);
    box.Set(Settings({FServer->Url("/status/500")}));
    spy.clear();
    for (int tick = 0; tick < 120; ++tick) {
        monitor.Tick();
    }
    QCOMPARE(monitor.ErrorCount(), 2u);
    QCOMPARE(Messages(spy), QList<int>{D});
}

void TestMonitor::thresholds_data()
{
    QTest::addColumn<quint32>("redial");
    QTest::addColumn<quint32>("reboot");
    QTest::addColumn<QList<int>>("expected");
    QTest::newRow("both 0: counted, never posted") << 0u << 0u << QList<int>{0, 0, 0, 0, 0, 0};
    QTest::newRow("restart 1: only restarts") << 2u << 1u << QList<int>{B, B, B, B, B, B};
    QTest::newRow("redial only") << 3u << 0u << QList<int>{0, 0, D, 0, 0, D};
    QTest::newRow("restart wins when both divide") << 2u << 3u << QList<int>{0, D, B, D, 0, B};
}

void TestMonitor::thresholds()
{
    QFETCH(quint32, redial);
    QFETCH(quint32, reboot);
    QFETCH(QList<int>, expected);
    TSettingsBox box;
    box.Set(Settings({FServer->Url("/status/404")}, 10, redial, reboot));
    TTestMonitor monitor(box.Source());
    QSignalSpy spy(&monitor, &TMonitorThread::MonitorMessage);
    QList<int> posted;
    for (int failure = 1; failure <= expected.size(); ++failure) {
        spy.clear();
        for (int tick = 0; tick < 10; ++tick) {
            monitor.Tick();
        }
        posted.append(spy.isEmpty() ? 0 : spy.at(0).at(0).toInt());
    }
    QCOMPARE(posted, expected);
    QCOMPARE(monitor.ErrorCount(), quint32(expected.size()));
}

void TestMonitor::disabledDoesNothing()
{
    TSettingsBox box;
    box.Set(Settings({FServer->Url("/status/500")}, 10, 1, 1, false));
    TTestMonitor monitor(box.Source());
    QSignalSpy spy(&monitor, &TMonitorThread::MonitorMessage);
    FServer->ClearRequests();
    for (int tick = 0; tick < 25; ++tick) {
        monitor.Tick();
    }
    QCOMPARE(monitor.TimerCount(), 0u);
    QCOMPARE(monitor.ErrorCount(), 0u);
    QVERIFY(spy.isEmpty());
    QVERIFY(FServer->Requests().isEmpty());
    QCOMPARE(monitor.PingCalls.load(), 0);

    // Enabling later: the count goes on from where it stood, so the first tick checks.
    box.Set(Settings({FServer->Url("/status/500")}, 10, 1, 1, true));
    monitor.Tick();
    QCOMPARE(monitor.TimerCount(), 1u);
    QCOMPARE(Messages(spy), QList<int>{B});
}

void TestMonitor::outOfRangeSettings_data()
{
    QTest::addColumn<quint32>("interval");
    QTest::addColumn<quint32>("threshold");
    QTest::addColumn<quint32>("interval2");
    QTest::addColumn<quint32>("threshold2");
    QTest::newRow("interval 0") << 0u << 2u << 10u << 2u;
    QTest::newRow("interval below") << 9u << 0u << 10u << 0u;
    QTest::newRow("interval above") << 100000u << 100u << 3600u << 100u;
    QTest::newRow("threshold above") << 60u << 101u << 60u << 100u;
    QTest::newRow("negative as stored") << quint32(-1) << quint32(-5) << 3600u << 100u;
}

void TestMonitor::outOfRangeSettings()
{
    QFETCH(quint32, interval);
    QFETCH(quint32, threshold);
    QFETCH(quint32, interval2);
    QFETCH(quint32, threshold2);
    const TMonitorSettings clamped = TMonitorThread::Clamped(Settings({}, interval, threshold, threshold));
    QCOMPARE(clamped.Interval, interval2);
    QCOMPARE(clamped.RedialThreshold, threshold2);
    QCOMPARE(clamped.RebootThreshold, threshold2);

    // A stored interval of 0 checks every 10 ticks instead of dividing by zero.
    if (interval == 0) {
        TSettingsBox box;
        box.Set(Settings({FServer->Url("/status/500")}, 0, 1, 0));
        TTestMonitor monitor(box.Source());
        for (int tick = 0; tick < 21; ++tick) {
            monitor.Tick();
        }
        QCOMPARE(monitor.ErrorCount(), 3u);
    }
}

void TestMonitor::runningThreadPostsQueued()
{
    TSettingsBox box;
    box.Set(Settings({QStringLiteral("no url at all"), FServer->Url("/status/500")}, 10, 0, 1));
    QObject window;
    QList<int> received;
    auto monitor = std::make_unique<TTestMonitor>(box.Source(), 5);
    connect(
        monitor.get(), &TMonitorThread::MonitorMessage, &window,
        [&](int Msg) {
            QCOMPARE(QThread::currentThread(), window.thread());
            received.append(Msg);
        },
        Qt::QueuedConnection);
    monitor->start();
    // Bad entries and failures never end the thread.
    QTRY_VERIFY_WITH_TIMEOUT(received.size() >= 3, 30000);
    QVERIFY(monitor->isRunning());
    QVERIFY(monitor->FatalError().isEmpty());
    QCOMPARE(received.first(), B);
    monitor.reset();
}

void TestMonitor::destroyDuringHangingCheck()
{
    TSettingsBox box;
    box.Set(Settings({FServer->Url("/hang")}, 10, 1, 1));
    auto monitor = std::make_unique<TTestMonitor>(box.Source(), 5);
    QSignalSpy spy(monitor.get(), &TMonitorThread::MonitorMessage);
    FServer->ClearRequests();
    monitor->start();
    QTRY_VERIFY_WITH_TIMEOUT(!FServer->Requests().isEmpty(), 10000);
    QElapsedTimer timer;
    timer.start();
    monitor.reset();
    // Far below the 20-second request time-out: the check ends when the thread is destroyed,
    // and a check cut short counts as nothing.
    QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(spy.size(), 0);
}

void TestMonitor::settingsReplacedDuringChecks()
{
    // The monitor reads the process-wide options while this thread replaces the site list, as
    // the settings exchange does.
    TOptions options;
    Options = &options;
    options.SetMonitorSettings(Settings({FServer->Url("/status/500")}, 10, 0, 1));
    // What the default source reads, with a short period.
    auto fast = std::make_unique<TTestMonitor>([] { return Options->MonitorSnapshot(); }, 2);
    std::atomic<int> posted{0};
    connect(
        fast.get(), &TMonitorThread::MonitorMessage, fast.get(), [&posted] { ++posted; }, Qt::DirectConnection);
    fast->start();
    QElapsedTimer timer;
    timer.start();
    int round = 0;
    while (timer.elapsed() < 1500) {
        QStringList sites;
        for (int i = 0; i <= round % 4; ++i) {
            sites.append(FServer->Url(QStringLiteral("/status/%1").arg(i % 2 == 0 ? 500 : 404)));
        }
        if (round % 2 == 0) {
            // Edited in place, as the settings dialog's exchange assigns the list's items.
            QMutexLocker lock(&options.MonitorLock());
            options.MonitorSites() = sites;
        } else {
            options.SetMonitorSites(sites);
        }
        ++round;
        QTest::qWait(1);
    }
    QTRY_VERIFY_WITH_TIMEOUT(posted.load() >= 2, 20000);
    fast.reset();
    Options = nullptr;
}

void TestMonitor::disabledSleepsUntilWoken()
{
    // Period 20 ms: disabled, the thread looks at its settings only every 1.2 s.
    TSettingsBox box;
    box.Set(Settings({FServer->Url("/status/200")}, 10, 1, 1, false));
    auto monitor = std::make_unique<TTestMonitor>(box.Source(), 20);
    FServer->ClearRequests();
    monitor->start();
    QTest::qWait(300);
    box.Set(Settings({FServer->Url("/status/200")}, 10, 1, 1, true));
    // Enabled meanwhile, but asleep: no tick has counted yet.
    QTest::qWait(300);
    QCOMPARE(monitor->TimerCount(), 0u);
    // Woken (as the settings dialog does), it counts at its full rate at once.
    monitor->Wake();
    QTRY_VERIFY_WITH_TIMEOUT(monitor->TimerCount() >= 10, 1000);
    QTRY_VERIFY_WITH_TIMEOUT(!FServer->Requests().isEmpty(), 10000);
    monitor.reset();
}

QTEST_GUILESS_MAIN(TestMonitor)
#include "tst_monitor.moc"
