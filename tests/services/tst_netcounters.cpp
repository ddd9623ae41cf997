// The kernel's interface counters as usage accounting and the ModemManager backend read them, on a
// fake sysfs network class folder: counters and index, the interface type from uevent, the listing,
// and names that would lead out of the folder.

#include "platform/NetCounters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Ombrelay;

namespace
{

void Write(const QString& Path, const QByteArray& Content)
{
    QDir().mkpath(Path.left(Path.lastIndexOf(QLatin1Char('/'))));
    QFile f(Path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(Content);
}

} // namespace

class TestNetCounters : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        FDir = std::make_unique<QTemporaryDir>();
        QVERIFY(FDir->isValid());
        FRoot = FDir->path() + QStringLiteral("/class/net");
        QVERIFY(QDir().mkpath(FRoot));
    }

    void counters_data()
    {
        QTest::addColumn<QByteArray>("ifindex"); // empty: no file
        QTest::addColumn<QByteArray>("rx");      // "-": no file
        QTest::addColumn<QByteArray>("tx");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<bool>("hasIfIndex");
        QTest::addColumn<quint64>("expectedRx");
        QTest::addColumn<quint64>("expectedTx");
        QTest::newRow("as the kernel writes them") << QByteArray("4\n") << QByteArray("1000\n") << QByteArray("500\n")
                                                   << true << true << quint64(1000) << quint64(500);
        QTest::newRow("beyond 32 bits") << QByteArray("12\n") << QByteArray("18446744073709551615\n")
                                        << QByteArray("4294967296\n") << true << true
                                        << quint64(18446744073709551615ull) << quint64(4294967296ull);
        // The counters still count; only the key that tells a re-created link apart is weaker.
        QTest::newRow("no ifindex") << QByteArray() << QByteArray("7\n") << QByteArray("8\n") << true << false
                                    << quint64(7) << quint64(8);
        QTest::newRow("no rx") << QByteArray("4\n") << QByteArray("-") << QByteArray("8\n") << false << false
                               << quint64(0) << quint64(0);
        QTest::newRow("no tx") << QByteArray("4\n") << QByteArray("7\n") << QByteArray("-") << false << false
                               << quint64(0) << quint64(0);
        QTest::newRow("not a number") << QByteArray("4\n") << QByteArray("12a\n") << QByteArray("8\n") << false << false
                                      << quint64(0) << quint64(0);
        QTest::newRow("negative") << QByteArray("4\n") << QByteArray("-5\n") << QByteArray("8\n") << false << false
                                  << quint64(0) << quint64(0);
        QTest::newRow("empty file") << QByteArray("4\n") << QByteArray("") << QByteArray("8\n") << false << false
                                    << quint64(0) << quint64(0);
    }
    void counters()
    {
        QFETCH(QByteArray, ifindex);
        QFETCH(QByteArray, rx);
        QFETCH(QByteArray, tx);
        const QString dir = FRoot + QStringLiteral("/ppp0");
        QVERIFY(QDir().mkpath(dir + QStringLiteral("/statistics")));
        if (!ifindex.isEmpty()) {
            Write(dir + QStringLiteral("/ifindex"), ifindex);
        }
        if (rx != "-") {
            Write(dir + QStringLiteral("/statistics/rx_bytes"), rx);
        }
        if (tx != "-") {
            Write(dir + QStringLiteral("/statistics/tx_bytes"), tx);
        }
        TNetCounters c;
        c.RxBytes = 99; // a failed read leaves what the caller had
        QTEST(ReadNetCounters(FRoot, QStringLiteral("ppp0"), c), "ok");
        QFETCH(bool, ok);
        if (ok) {
            QTEST(c.HasIfIndex, "hasIfIndex");
            QTEST(c.RxBytes, "expectedRx");
            QTEST(c.TxBytes, "expectedTx");
            if (c.HasIfIndex) {
                QCOMPARE(c.IfIndex, ifindex.trimmed().toULongLong());
            }
        } else {
            QCOMPARE(c.RxBytes, quint64(99));
        }
        QVERIFY(!ReadNetCounters(FRoot, QStringLiteral("gone0"), c));
    }

    // An interface name comes from the modem stack; one that is not a plain entry of the folder
    // must not make the reader open files elsewhere, even where such files exist.
    void namesStayInside_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("empty") << QString();
        QTest::newRow("dot") << QStringLiteral(".");
        QTest::newRow("parent") << QStringLiteral("..");
        QTest::newRow("sibling") << QStringLiteral("../outside");
        QTest::newRow("nested") << QStringLiteral("wwan0/../../outside");
    }
    void namesStayInside()
    {
        QFETCH(QString, name);
        // Counter files where each name would lead without the check.
        for (const QString& d :
             {FRoot, FDir->path() + QStringLiteral("/class"), FDir->path() + QStringLiteral("/class/outside")}) {
            Write(d + QStringLiteral("/ifindex"), "1\n");
            Write(d + QStringLiteral("/uevent"), "DEVTYPE=wwan\n");
            Write(d + QStringLiteral("/statistics/rx_bytes"), "1\n");
            Write(d + QStringLiteral("/statistics/tx_bytes"), "1\n");
        }
        QVERIFY(QDir().mkpath(FRoot + QStringLiteral("/wwan0")));
        TNetCounters c;
        QVERIFY(!ReadNetCounters(FRoot, name, c));
        QVERIFY(!NetInterfaceHasDevType(FRoot, name, "wwan"));
    }

    void devType_data()
    {
        QTest::addColumn<QByteArray>("uevent"); // "-": no file
        QTest::addColumn<bool>("wwan");
        QTest::newRow("wwan first") << QByteArray("DEVTYPE=wwan\nINTERFACE=wwan0\nIFINDEX=4\n") << true;
        QTest::newRow("wwan last, no newline") << QByteArray("INTERFACE=wwan0\nIFINDEX=4\nDEVTYPE=wwan") << true;
        QTest::newRow("spaces around") << QByteArray("INTERFACE=wwan0\n  DEVTYPE=wwan \n") << true;
        QTest::newRow("no type (ppp, tunnels)") << QByteArray("INTERFACE=ppp0\nIFINDEX=9\n") << false;
        QTest::newRow("other type") << QByteArray("DEVTYPE=wlan\nINTERFACE=wlan0\n") << false;
        QTest::newRow("longer type") << QByteArray("DEVTYPE=wwan0\n") << false;
        QTest::newRow("in another key") << QByteArray("INTERFACE=DEVTYPE=wwan-x\n") << false;
        QTest::newRow("empty") << QByteArray("") << false;
        QTest::newRow("no uevent") << QByteArray("-") << false;
    }
    void devType()
    {
        QFETCH(QByteArray, uevent);
        QFETCH(bool, wwan);
        QVERIFY(QDir().mkpath(FRoot + QStringLiteral("/if0")));
        if (uevent != "-") {
            Write(FRoot + QStringLiteral("/if0/uevent"), uevent);
        }
        QCOMPARE(NetInterfaceHasDevType(FRoot, QStringLiteral("if0"), "wwan"), wwan);
    }

    void listing()
    {
        for (const char* name : {"lo", "wwan0", "ppp0", ".hidden"}) {
            QVERIFY(QDir().mkpath(FRoot + QLatin1Char('/') + QLatin1String(name)));
        }
        QList<TNetInterfaceEntry> entries;
        QVERIFY(ListNetInterfaces(FRoot, entries));
        QStringList names;
        for (const TNetInterfaceEntry& e : entries) {
            names << e.Name;
            QVERIFY(e.Inode != 0);
        }
        names.sort();
        QCOMPARE(names, (QStringList{QStringLiteral("lo"), QStringLiteral("ppp0"), QStringLiteral("wwan0")}));

        QList<TNetInterfaceEntry> none;
        QVERIFY(!ListNetInterfaces(FDir->path() + QStringLiteral("/missing"), none));
        QVERIFY(none.isEmpty());
    }

private:
    std::unique_ptr<QTemporaryDir> FDir;
    QString FRoot;
};

QTEST_GUILESS_MAIN(TestNetCounters)
#include "tst_netcounters.moc"
