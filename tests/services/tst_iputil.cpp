// Name resolution and ICMP echo, against loopback and against test hosts in network
// namespaces that the test builds itself.

#include "iputil/IPUtil.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <arpa/inet.h>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <functional>
#include <thread>

using namespace Ombrelay;

namespace
{

TIPAddr V4(const char* Text)
{
    in_addr a{};
    ::inet_pton(AF_INET, Text, &a);
    return TIPAddr::Create(a.s_addr);
}

TIPAddr V6(const char* Text)
{
    in6_addr a{};
    ::inet_pton(AF_INET6, Text, &a);
    return TIPAddr::Create(a);
}

bool Run(const QStringList& Command, QString* Error = nullptr)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(Command.first(), Command.mid(1));
    const bool ok = p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (!ok && Error != nullptr) {
        *Error = Command.join(QLatin1Char(' ')) + QStringLiteral(": ") + QString::fromLocal8Bit(p.readAll());
    }
    return ok;
}

// Runs Work on a thread of its own that has entered the named network namespace (a thread's
// network namespace is its own, so the rest of the test process stays where it is).
bool InNamespace(const QString& Name, const std::function<void()>& Work)
{
    bool entered = false;
    std::thread worker([&] {
        const int fd =
            ::open(QFile::encodeName(QStringLiteral("/run/netns/") + Name).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            return;
        }
        entered = ::setns(fd, CLONE_NEWNET) == 0;
        ::close(fd);
        if (entered) {
            Work();
        }
    });
    worker.join();
    return entered;
}

} // namespace

class TestIPUtil : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void resolve_data();
    void resolve();
    void unknownNameClearsList();
    void echoLoopback_data();
    void echoLoopback();
    void echoInNamespace();
    void cleanupTestCase();

private:
    bool FNamespaces = false;
    QString FNoNamespaceReason;
    QString FSuffix;
};

void TestIPUtil::initTestCase()
{
    // Two namespaces joined by a veth pair: "a" (where the echoes start) 10.77.0.1 and fd77::1,
    // "b" (the test host) 10.77.0.2 and fd77::2. Host b ignores echo requests at 10.77.0.2's
    // IPv4 side only when asked (below) and routes 10.78.0.0/16 to a prohibit route, so that
    // an echo there gets an error report back.
    FSuffix = QString::number(::getpid());
    const QString a = QStringLiteral("ombsvc-a-") + FSuffix;
    const QString b = QStringLiteral("ombsvc-b-") + FSuffix;
    const QString va = QStringLiteral("osa") + FSuffix;
    const QString vb = QStringLiteral("osb") + FSuffix;
    QString error;
    const QList<QStringList> steps = {
        {"ip", "netns", "add", a},
        {"ip", "netns", "add", b},
        {"ip", "link", "add", va, "netns", a, "type", "veth", "peer", "name", vb, "netns", b},
        {"ip", "-n", a, "link", "set", "lo", "up"},
        {"ip", "-n", b, "link", "set", "lo", "up"},
        {"ip", "-n", a, "addr", "add", "10.77.0.1/24", "dev", va},
        {"ip", "-n", b, "addr", "add", "10.77.0.2/24", "dev", vb},
        {"ip", "-n", b, "addr", "add", "10.77.0.3/24", "dev", vb},
        {"ip", "-n", a, "addr", "add", "fd77::1/64", "dev", va, "nodad"},
        {"ip", "-n", b, "addr", "add", "fd77::2/64", "dev", vb, "nodad"},
        {"ip", "-n", a, "link", "set", va, "up"},
        {"ip", "-n", b, "link", "set", vb, "up"},
        {"ip", "-n", a, "route", "add", "10.78.0.0/16", "via", "10.77.0.2"},
        {"ip", "netns", "exec", b, "sysctl", "-qw", "net.ipv4.ip_forward=1"},
        {"ip", "-n", b, "route", "add", "prohibit", "10.78.0.0/16"},
        // Host b answers no IPv4 echo at all; its IPv6 side still does.
        {"ip", "netns", "exec", b, "sysctl", "-qw", "net.ipv4.icmp_echo_ignore_all=1"},
    };
    for (const QStringList& step : steps) {
        if (!Run(step, &error)) {
            FNoNamespaceReason = QStringLiteral("network namespaces are not available here: ") + error;
            return;
        }
    }
    FNamespaces = true;
}

void TestIPUtil::cleanupTestCase()
{
    Run({"ip", "netns", "del", QStringLiteral("ombsvc-a-") + FSuffix});
    Run({"ip", "netns", "del", QStringLiteral("ombsvc-b-") + FSuffix});
}

void TestIPUtil::resolve_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("expected");

    QTest::newRow("localhost v4") << "localhost" << int(atIPv4) << "127.0.0.1";
    QTest::newRow("v4 literal") << "127.0.0.1" << int(atIPv4) << "127.0.0.1";
    QTest::newRow("v6 literal") << "::1" << int(atIPv6) << "::1";
    QTest::newRow("localhost v6") << "localhost" << int(atIPv6) << "::1";
}

void TestIPUtil::resolve()
{
    QFETCH(QString, host);
    QFETCH(int, type);
    QFETCH(QString, expected);

    TIPAddrList list;
    list.append(V4("10.1.2.3")); // old contents go
    const bool found = ResolveHost(host, TAddrType(type), list);
    if (!found && type == atIPv6 && host == QLatin1String("localhost")) {
        QSKIP("this system's hosts file gives localhost no IPv6 address (the literal ::1 row covers IPv6)");
    }
    QVERIFY(found);
    QVERIFY(!list.isEmpty());
    for (const TIPAddr& addr : list) {
        QCOMPARE(int(addr.Ver), type);
    }
    QCOMPARE(list.first().ToString(), expected);
    // One entry per address, not one per socket type.
    QCOMPARE(list.size(), 1);
}

void TestIPUtil::unknownNameClearsList()
{
    for (const TAddrType type : {atIPv4, atIPv6}) {
        TIPAddrList list;
        list.append(V4("10.1.2.3"));
        QVERIFY(!ResolveHost(QStringLiteral("no-such-host.invalid"), type, list));
        QVERIFY(list.isEmpty());
        // A v6 literal is not an IPv4 address, and the reverse.
        list.append(V4("10.1.2.3"));
        QVERIFY(!ResolveHost(type == atIPv4 ? QStringLiteral("::1") : QStringLiteral("127.0.0.1"), type, list));
        QVERIFY(list.isEmpty());
    }
}

void TestIPUtil::echoLoopback_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("127.0.0.1") << "127.0.0.1";
    QTest::newRow("::1") << "::1";
}

void TestIPUtil::echoLoopback()
{
    QFETCH(QString, address);
    const TIPAddr addr = address.contains(QLatin1Char(':')) ? V6("::1") : V4("127.0.0.1");
    QVERIFY(addr.SendEcho(1000));
    quint32 rtt = 12345;
    if (addr.Ver == atIPv4) {
        QVERIFY(EchoV4(addr.V4Addr, 1000, rtt));
    } else {
        QVERIFY(EchoV6(addr.V6Addr, 1000, rtt));
    }
    QVERIFY(rtt < 1000);
}

void TestIPUtil::echoInNamespace()
{
    if (!FNamespaces) {
        QSKIP(qPrintable(FNoNamespaceReason));
    }
    const QString a = QStringLiteral("ombsvc-a-") + FSuffix;
    struct TResult
    {
        bool Answered = false;
        bool Silent = true;
        qint64 SilentMs = 0;
        bool Prohibited = true;
        qint64 ProhibitedMs = 0;
        bool V6Answered = false;
        bool V6Silent = true;
    };

    // Both ways the echo can go out: with ping sockets allowed (the namespace's own setting),
    // and with them refused, where the raw socket takes over.
    for (const char* range : {"0 2147483647", "1 0"}) {
        QVERIFY(Run({"ip", "netns", "exec", a, "sysctl", "-qw",
                     QStringLiteral("net.ipv4.ping_group_range=%1").arg(QLatin1String(range))}));
        TResult r;
        QVERIFY(InNamespace(a, [&r] {
            QElapsedTimer t;
            // 10.77.0.3 is on host b too and b ignores every IPv4 echo: no reply, the time-out ends it.
            t.start();
            r.Silent = V4("10.77.0.3").SendEcho(800);
            r.SilentMs = t.elapsed();
            // Behind b's prohibit route: an error report arrives well before the time-out.
            t.restart();
            r.Prohibited = V4("10.78.1.1").SendEcho(5000);
            r.ProhibitedMs = t.elapsed();
            r.V6Answered = V6("fd77::2").SendEcho(2000);
            r.V6Silent = V6("fd77::99").SendEcho(300);
            r.Answered = V4("10.77.0.1").SendEcho(1000);
        }));
        QVERIFY2(!r.Silent, range);
        QVERIFY2(r.SilentMs >= 700, qPrintable(QString::number(r.SilentMs)));
        QVERIFY2(!r.Prohibited, range);
        QVERIFY2(r.ProhibitedMs < 4000, qPrintable(QString::number(r.ProhibitedMs)));
        QVERIFY2(r.V6Answered, range);
        QVERIFY2(!r.V6Silent, range);
        QVERIFY2(r.Answered, range);
    }
}

QTEST_GUILESS_MAIN(TestIPUtil)
#include "tst_iputil.moc"
