// Usage accounting over a fake /sys/class/net tree, a registered counter source, a real
// database file and the program's clock.

#include "base/DateTime.h"
#include "core/DB.h"
#include "core/Usage.h"
#include "sqlite/SQLiteDB.h"
#include "support/TempDatabase.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <mutex>

using namespace Ombrelay;

namespace
{

// A fake sysfs network class folder: one sub-folder per interface with uevent, ifindex and
// statistics/{rx,tx}_bytes, as the kernel lays them out.
class TFakeSysfs
{
public:
    TFakeSysfs()
        : FRoot(FDir.path() + QStringLiteral("/class/net"))
    {
        QDir().mkpath(FRoot);
    }
    QString Root() const { return FRoot; }

    void Set(const QString& Name, int IfIndex, quint64 Rx, quint64 Tx, bool Wwan = true)
    {
        const QString dir = FRoot + QLatin1Char('/') + Name;
        QDir().mkpath(dir + QStringLiteral("/statistics"));
        Write(dir + QStringLiteral("/uevent"),
              Wwan ? QStringLiteral("DEVTYPE=wwan\nINTERFACE=%1\nIFINDEX=%2\n").arg(Name).arg(IfIndex)
                   : QStringLiteral("INTERFACE=%1\nIFINDEX=%2\n").arg(Name).arg(IfIndex));
        Write(dir + QStringLiteral("/ifindex"), QString::number(IfIndex) + QLatin1Char('\n'));
        Write(dir + QStringLiteral("/statistics/rx_bytes"), QString::number(Rx) + QLatin1Char('\n'));
        Write(dir + QStringLiteral("/statistics/tx_bytes"), QString::number(Tx) + QLatin1Char('\n'));
    }
    void Remove(const QString& Name) { QDir(FRoot + QLatin1Char('/') + Name).removeRecursively(); }
    void RemoveAll() { QDir(FRoot).removeRecursively(); }
    void Restore() { QDir().mkpath(FRoot); }

private:
    static void Write(const QString& Path, const QString& Text)
    {
        QFile f(Path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(Text.toUtf8());
    }

    QTemporaryDir FDir;
    QString FRoot;
};

// Counters that a device backend reports, as the simulated modem does.
class TTestSource : public IUsageSource
{
public:
    bool ReadCounters(QList<TInterfaceCounters>& List) override
    {
        std::lock_guard<std::mutex> lock(FMutex);
        if (Fail) {
            return false;
        }
        List.append(Counters);
        return true;
    }
    void Set(const QList<TInterfaceCounters>& Value)
    {
        std::lock_guard<std::mutex> lock(FMutex);
        Counters = Value;
    }
    bool Fail = false;

private:
    std::mutex FMutex;
    QList<TInterfaceCounters> Counters;
};

struct TRow
{
    QString Date;
    qint64 In;
    qint64 Out;
};

QList<TRow> Rows()
{
    QList<TRow> rows;
    TSQLiteLock lock(*Database);
    TSQLiteQuery query(*Database, QStringLiteral("SELECT DATE, INCOMING, OUTGOING FROM USAGE ORDER BY DATE"));
    while (Database->Next()) {
        rows.append({Database->GetFieldAsString(0), Database->GetFieldAsInt64(1), Database->GetFieldAsInt64(2)});
    }
    return rows;
}

TDateTime At(int Y, int M, int D, int H = 12, int N = 0, int S = 0)
{
    TDateTime date = 0;
    TDateTime time = 0;
    TryEncodeDate(Y, M, D, date);
    TryEncodeTime(H, N, S, 0, time);
    return date + time;
}

void Passes(TUsageThread& Thread, int N)
{
    for (int i = 0; i < N; ++i) {
        Thread.Pass();
    }
}

} // namespace

class TestUsage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void samples_data();
    void samples();
    void sixtiethSampleWritesTodaysRow();
    void flushFailureKeepsPendingBytes();
    void registeredSourceCounts();
    void destroyAfterFlushWritesTheRest();
    void destroyInWaitReturnsAtOnce();
    void todayAndMonth();
    void quietThreadSleepsYetCountsEveryByte();
    void formatByteSize_data();
    void formatByteSize();

private:
    std::unique_ptr<TTempDatabase> FDB;
};

void TestUsage::init()
{
    FDB = std::make_unique<TTempDatabase>();
    Clock::SetNow(At(2017, 3, 15));
}

void TestUsage::cleanup()
{
    FDB.reset();
    Clock::SetNow(0);
}

void TestUsage::samples_data()
{
    // Each step sets the tree, then one sample runs. "name:ifindex:rx:tx" is a wwan interface,
    // "!name:..." one of another type; interfaces not named are gone; FAIL makes the tree
    // unreadable for that sample. At the end one write runs.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<qint64>("in");
    QTest::addColumn<qint64>("out");

    QTest::newRow("growth counts from the first sample")
        << QStringList{"wwan0:4:1000:500", "wwan0:4:4000:2500"} << qint64(3000) << qint64(2000);
    QTest::newRow("no cellular interface writes nothing")
        << QStringList{"!eth0:2:10:10", "!eth0:2:9000:9000", ""} << qint64(0) << qint64(0);
    QTest::newRow("a tunnel or wired link is not counted")
        << QStringList{"wwan0:4:0:0 !tun0:9:0:0", "wwan0:4:10:20 !tun0:9:5000:5000"} << qint64(10) << qint64(20);
    QTest::newRow("a counter that drops counts on from its new value")
        << QStringList{"wwan0:4:1000:100", "wwan0:4:4000:400", "wwan0:4:100:10", "wwan0:4:900:90"} << qint64(3800)
        << qint64(380);
    QTest::newRow("failed first sample counts the next one whole")
        << QStringList{"FAIL", "wwan0:4:1000:500"} << qint64(1000) << qint64(500);
    QTest::newRow("failed sample in between catches up")
        << QStringList{"wwan0:4:1000:500", "FAIL", "wwan0:4:1500:700"} << qint64(500) << qint64(200);
    // A PPP-style reconnect: the interface goes, comes back under a new index at zero.
    QTest::newRow("re-created interface keeps what the old one grew")
        << QStringList{"wwan0:4:1000:100", "wwan0:4:3000:300", "", "wwan0:5:0:0", "wwan0:5:500:50"} << qint64(2500)
        << qint64(250);
    QTest::newRow("interface appearing later counts from zero")
        << QStringList{"", "wwan1:7:700:70", "wwan1:7:1000:100"} << qint64(1000) << qint64(100);
    QTest::newRow("two interfaces each count their own growth")
        << QStringList{"wwan0:4:100:10 wwan1:7:5000:500", "wwan0:4:300:30", "wwan0:4:400:40 wwan1:7:5100:510"}
        << qint64(400) << qint64(40);
}

void TestUsage::samples()
{
    QFETCH(QStringList, steps);
    QFETCH(qint64, in);
    QFETCH(qint64, out);

    TFakeSysfs sysfs;
    TUsageThread thread(sysfs.Root());
    QStringList present;
    for (const QString& step : steps) {
        sysfs.Restore();
        if (step == QLatin1String("FAIL")) {
            sysfs.RemoveAll();
            thread.Pass();
            continue;
        }
        QStringList now;
        for (const QString& item : step.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const bool wwan = !item.startsWith(QLatin1Char('!'));
            const QStringList f = item.mid(wwan ? 0 : 1).split(QLatin1Char(':'));
            sysfs.Set(f[0], f[1].toInt(), f[2].toULongLong(), f[3].toULongLong(), wwan);
            now.append(f[0]);
        }
        for (const QString& name : present) {
            if (!now.contains(name)) {
                sysfs.Remove(name);
            }
        }
        present = now;
        thread.Pass();
    }
    thread.Flush();
    const QList<TRow> rows = Rows();
    if (in == 0 && out == 0) {
        QVERIFY(rows.isEmpty());
        return;
    }
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].Date, QStringLiteral("2017-03-15"));
    QCOMPARE(rows[0].In, in);
    QCOMPARE(rows[0].Out, out);
}

void TestUsage::sixtiethSampleWritesTodaysRow()
{
    TFakeSysfs sysfs;
    TUsageThread thread(sysfs.Root());
    sysfs.Set(QStringLiteral("wwan0"), 4, 1000, 500);
    thread.Pass();
    sysfs.Set(QStringLiteral("wwan0"), 4, 4000, 2500);
    Passes(thread, 58);
    QVERIFY(Rows().isEmpty());
    thread.Pass(); // the 60th
    QCOMPARE(Rows().size(), 1);
    QCOMPARE(Rows()[0].In, qint64(3000));
    QCOMPARE(Rows()[0].Out, qint64(2000));
    QCOMPARE(thread.PendingIn(), 0u);

    // A second write on the same day adds to the same row.
    sysfs.Set(QStringLiteral("wwan0"), 4, 4100, 2600);
    Passes(thread, 60);
    QCOMPARE(Rows().size(), 1);
    QCOMPARE(Rows()[0].In, qint64(3100));
    QCOMPARE(Rows()[0].Out, qint64(2100));

    // Bytes of the last minute before midnight go to the day of the write.
    Clock::SetNow(At(2017, 3, 15, 23, 59, 30));
    sysfs.Set(QStringLiteral("wwan0"), 4, 4200, 2700);
    Passes(thread, 59);
    Clock::SetNow(At(2017, 3, 16, 0, 0, 30));
    thread.Pass();
    const QList<TRow> rows = Rows();
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[1].Date, QStringLiteral("2017-03-16"));
    QCOMPARE(rows[1].In, qint64(100));
    QCOMPARE(rows[1].Out, qint64(100));
}

void TestUsage::flushFailureKeepsPendingBytes()
{
    TFakeSysfs sysfs;
    TUsageThread thread(sysfs.Root());
    sysfs.Set(QStringLiteral("wwan0"), 4, 0, 0);
    thread.Pass();
    sysfs.Set(QStringLiteral("wwan0"), 4, 1000, 100);
    thread.Pass();
    {
        TSQLiteLock lock(*Database);
        Database->ExecSQL(QStringLiteral("ALTER TABLE USAGE RENAME TO USAGE_AWAY"));
    }
    thread.Flush();
    QVERIFY(!thread.LastFlushError().isEmpty());
    QCOMPARE(thread.PendingIn(), 1000u);
    QCOMPARE(thread.PendingOut(), 100u);
    {
        TSQLiteLock lock(*Database);
        Database->ExecSQL(QStringLiteral("ALTER TABLE USAGE_AWAY RENAME TO USAGE"));
    }
    // Sampling goes on and the next write stores both minutes.
    sysfs.Set(QStringLiteral("wwan0"), 4, 1500, 150);
    thread.Pass();
    thread.Flush();
    QVERIFY(thread.LastFlushError().isEmpty());
    QCOMPARE(Rows().size(), 1);
    QCOMPARE(Rows()[0].In, qint64(1500));
    QCOMPARE(Rows()[0].Out, qint64(150));
    QCOMPARE(thread.PendingIn(), 0u);
}

void TestUsage::registeredSourceCounts()
{
    TFakeSysfs sysfs;
    TTestSource modem;
    modem.Set({{QStringLiteral("sim0"), 800, 80}});
    RegisterUsageSource(&modem);
    TUsageThread thread(sysfs.Root());
    thread.Pass(); // baseline of what the modem reported before
    modem.Set({{QStringLiteral("sim0"), 1800, 180}});
    thread.Pass();
    QCOMPARE(thread.PendingIn(), 1000u);

    // A failed read skips the sample; the next one catches up.
    modem.Fail = true;
    thread.Pass();
    modem.Fail = false;
    modem.Set({{QStringLiteral("sim0"), 2000, 200}});
    thread.Pass();
    QCOMPARE(thread.PendingIn(), 1200u);
    QCOMPARE(thread.PendingOut(), 120u);

    // A source registered later starts from its first reading.
    TTestSource second;
    second.Set({{QStringLiteral("sim1"), 5000, 500}});
    RegisterUsageSource(&second);
    thread.Pass();
    second.Set({{QStringLiteral("sim1"), 5300, 530}});
    thread.Pass();
    QCOMPARE(thread.PendingIn(), 1500u);

    // Once unregistered, it is not read any more.
    UnregisterUsageSource(&second);
    second.Set({{QStringLiteral("sim1"), 9000, 900}});
    thread.Pass();
    QCOMPARE(thread.PendingIn(), 1500u);
    UnregisterUsageSource(&modem);
    thread.Flush();
    QCOMPARE(Rows()[0].In, qint64(1500));
    QCOMPARE(Rows()[0].Out, qint64(150));
}

void TestUsage::destroyAfterFlushWritesTheRest()
{
    TFakeSysfs sysfs;
    sysfs.Set(QStringLiteral("wwan0"), 4, 1000, 100);
    auto thread = std::make_unique<TUsageThread>(sysfs.Root(), 5);
    thread->start();
    QTRY_VERIFY_WITH_TIMEOUT(thread->Count() >= TUsageThread::SamplesPerFlush, 30000);
    sysfs.Set(QStringLiteral("wwan0"), 4, 1400, 140);
    // Both files: the thread may sample between the writes of the two.
    QTRY_VERIFY_WITH_TIMEOUT(thread->PendingIn() == 400u && thread->PendingOut() == 40u, 30000);
    // Between two writes: destruction writes what is pending before it returns.
    thread.reset();
    const QList<TRow> rows = Rows();
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].In, qint64(400));
    QCOMPARE(rows[0].Out, qint64(40));
}

void TestUsage::destroyInWaitReturnsAtOnce()
{
    TFakeSysfs sysfs;
    sysfs.Set(QStringLiteral("wwan0"), 4, 1000, 100);
    auto thread = std::make_unique<TUsageThread>(sysfs.Root(), 60000);
    thread->start();
    QTest::qWait(50);
    QElapsedTimer timer;
    timer.start();
    thread.reset();
    QVERIFY(timer.elapsed() < 30000);
    QVERIFY(Rows().isEmpty());
}

void TestUsage::todayAndMonth()
{
    Clock::SetNow(At(2017, 3, 31, 18));
    TFakeSysfs sysfs;
    TUsageThread thread(sysfs.Root());
    quint64 in = 1;
    quint64 out = 1;
    thread.GetToday(in, out);
    QCOMPARE(in, 0u);
    QCOMPARE(out, 0u);

    sysfs.Set(QStringLiteral("wwan0"), 4, 0, 0);
    thread.Pass();
    sysfs.Set(QStringLiteral("wwan0"), 4, 7, 3);
    thread.Pass();
    // An empty table: the pending bytes alone.
    thread.GetToday(in, out);
    QCOMPARE(in, 7u);
    QCOMPARE(out, 3u);

    {
        TSQLiteLock lock(*Database);
        Database->ExecSQL(QStringLiteral("INSERT INTO USAGE VALUES ('2017-02-28', 1, 1),"
                                         "('2017-03-01', 100, 10), ('2017-03-15', 2000, 200),"
                                         "('2017-03-31', 30000, 3000), ('2017-04-01', 400000, 40000)"));
    }
    thread.GetToday(in, out);
    QCOMPARE(in, 30007u);
    QCOMPARE(out, 3003u);
    // Both ends of the month count, the neighbours do not.
    thread.GetMonth(in, out);
    QCOMPARE(in, 32107u);
    QCOMPARE(out, 3213u);

    // After a write the bytes are in the table and no longer pending: the same answer.
    thread.Flush();
    thread.GetMonth(in, out);
    QCOMPARE(in, 32107u);
    QCOMPARE(out, 3213u);
}

void TestUsage::quietThreadSleepsYetCountsEveryByte()
{
    // Period 20 ms: quiet after 60 samples (1.2 s), then one sample per 1.2 s.
    constexpr unsigned long kPeriod = 20;
    TFakeSysfs sysfs;
    sysfs.Set(QStringLiteral("wwan0"), 4, 1000, 100);
    auto thread = std::make_unique<TUsageThread>(sysfs.Root(), kPeriod);
    TUsageThread* const previous = UsageThread;
    UsageThread = thread.get();
    auto restore = qScopeGuard([previous] { UsageThread = previous; });
    thread->start();
    QTRY_VERIFY_WITH_TIMEOUT(thread->Count() >= TUsageThread::SamplesPerFlush + 2, 30000);
    // Asleep: at most one or two samples in 1.5 s, where an awake thread takes 75.
    quint32 before = thread->Count();
    QTest::qWait(1500);
    QVERIFY2(thread->Count() - before <= 2, qPrintable(QString::number(thread->Count() - before)));

    // Bytes that pass while it sleeps are there as soon as the figures are asked for.
    sysfs.Set(QStringLiteral("wwan0"), 4, 1700, 170);
    thread->SampleNow();
    quint64 in = 0;
    quint64 out = 0;
    thread->GetToday(in, out);
    QCOMPARE(in, 700u);
    QCOMPARE(out, 70u);
    // ...and growth wakes it up to its full rate again.
    before = thread->Count();
    QTRY_VERIFY_WITH_TIMEOUT(thread->Count() - before >= 20, 10000);

    // A source registered while it sleeps is read at once: what it reports then is its baseline,
    // and only what comes after counts.
    QTRY_VERIFY_WITH_TIMEOUT(thread->Count() >= before + TUsageThread::SamplesPerFlush + 2, 30000);
    TTestSource modem;
    modem.Set({{QStringLiteral("sim0"), 5000, 500}});
    before = thread->Count();
    RegisterUsageSource(&modem);
    QTRY_VERIFY_WITH_TIMEOUT(thread->Count() > before, 500);
    modem.Set({{QStringLiteral("sim0"), 5040, 504}});

    // Stopping takes a last sample and writes everything.
    thread.reset();
    UnregisterUsageSource(&modem);
    const QList<TRow> rows = Rows();
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].In, qint64(740));
    QCOMPARE(rows[0].Out, qint64(74));
}

void TestUsage::formatByteSize_data()
{
    QTest::addColumn<quint64>("value");
    QTest::addColumn<int>("units");
    QTest::addColumn<QString>("text");
    const int iec = int(TByteUnits::Iec);
    const int si = int(TByteUnits::Si);
    QTest::newRow("zero") << quint64(0) << iec << "0 bytes";
    QTest::newRow("bytes") << quint64(532) << iec << "532 bytes";
    QTest::newRow("999 bytes") << quint64(999) << iec << "999 bytes";
    QTest::newRow("1000 bytes") << quint64(1000) << iec << "0.97 KiB";
    QTest::newRow("1 KiB") << quint64(1024) << iec << "1.00 KiB";
    QTest::newRow("1.5 KiB") << quint64(1536) << iec << "1.50 KiB";
    QTest::newRow("truncated") << quint64(2047) << iec << "1.99 KiB";
    QTest::newRow("two digits") << quint64(12345) << iec << "12.0 KiB";
    QTest::newRow("three digits") << quint64(123456) << iec << "120 KiB";
    QTest::newRow("just below 1 MiB") << quint64(1048575) << iec << "0.99 MiB";
    QTest::newRow("MiB") << quint64(5) * 1024 * 1024 << iec << "5.00 MiB";
    QTest::newRow("GiB") << quint64(1536) * 1024 * 1024 << iec << "1.50 GiB";
    QTest::newRow("TiB") << (quint64(1) << 40) * 3 << iec << "3.00 TiB";
    QTest::newRow("largest") << ~quint64(0) << iec << "15.9 EiB";
    // 1000-based counts carry SI names; the same bytes read differently.
    QTest::newRow("si bytes") << quint64(999) << si << "999 bytes";
    QTest::newRow("si 1 kB") << quint64(1000) << si << "1.00 kB";
    QTest::newRow("si 1024") << quint64(1024) << si << "1.02 kB";
    QTest::newRow("si truncated") << quint64(1999) << si << "1.99 kB";
    QTest::newRow("si just below 1 MB") << quint64(999999) << si << "999 kB";
    QTest::newRow("si MB") << quint64(1000000) << si << "1.00 MB";
    QTest::newRow("si GB, not GiB") << quint64(1536) * 1024 * 1024 << si << "1.61 GB";
    QTest::newRow("si TB") << quint64(3000000000000) << si << "3.00 TB";
    QTest::newRow("si largest") << ~quint64(0) << si << "18.4 EB";
}

void TestUsage::formatByteSize()
{
    QFETCH(quint64, value);
    QFETCH(int, units);
    QFETCH(QString, text);
    QLocale::setDefault(QLocale::c());
    QCOMPARE(FormatByteSize(value, TByteUnits(units)), text);
    // The one-argument form follows the setting.
    SetByteUnits(TByteUnits(units));
    QCOMPARE(FormatByteSize(value), text);
    SetByteUnits(TByteUnits::Iec);
}

QTEST_GUILESS_MAIN(TestUsage)
#include "tst_usage.moc"
