// Traffic history, data plans and the monitor log over a real database file, with the usage
// thread driven pass by pass and a set clock.

#include "base/DateTime.h"
#include "core/DataPlan.h"
#include "core/MonitorLog.h"
#include "core/RemoteUsage.h"
#include "core/Usage.h"
#include "core/UsageHistory.h"
#include "support/TempDatabase.h"

#include <QJsonObject>
#include <QTest>

using namespace Ombrelay;

namespace
{

// A modem's counters as the manager reports them, set by the test.
class TModemSource : public IUsageSource
{
public:
    QList<TInterfaceCounters> Counters;
    bool ReadCounters(QList<TInterfaceCounters>& List) override
    {
        List << Counters;
        return true;
    }
};

void SetNow(int Year, int Month, int Day, int Hour = 12)
{
    TDateTime date = 0;
    TDateTime time = 0;
    TryEncodeDate(Year, Month, Day, date);
    TryEncodeTime(Hour, 0, 0, 0, time);
    Clock::SetNow(date + time);
}

void AddUsage(TSQLiteDB& Db, const QString& Device, const char* Date, qint64 In, qint64 Out)
{
    TSQLiteLock lock(Db);
    TSQLiteQuery query(Db, Device.isEmpty() ? QStringLiteral("INSERT INTO USAGE VALUES (:D, :I, :O)")
                                            : QStringLiteral("INSERT INTO USAGEDEVICE VALUES (:D, :DEV, :I, :O)"));
    Db.SetParamByNameAsString(QStringLiteral("D"), QLatin1String(Date));
    if (!Device.isEmpty()) {
        Db.SetParamByNameAsString(QStringLiteral("DEV"), Device);
    }
    Db.SetParamByNameAsInt64(QStringLiteral("I"), In);
    Db.SetParamByNameAsInt64(QStringLiteral("O"), Out);
    Db.Exec();
}

QDate D(const char* Text)
{
    return QDate::fromString(QLatin1String(Text), Qt::ISODate);
}

} // namespace

class TestUsageHistory : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { Clock::SetNow(0); }

    void perModemRowsBesideTotals();
    void historyByDayAndMonth();
    void exportCsvAndJson();
    void billingPeriod_data();
    void billingPeriod();
    void planStatus();
    void alertsOncePerPeriod();
    void planStoredInItsOwnRows();
    void unitsSetting();
    void monitorLogKeepsNinetyDays();
    void pendingBytesForAnotherReader_data();
    void pendingBytesForAnotherReader();
    void remoteAnswerRejected_data();
    void remoteAnswerRejected();
};

// Two modems and a link no modem claims: USAGE has all of it, USAGEDEVICE each modem's share,
// and today's pending bytes count in the history before they are written.
void TestUsageHistory::perModemRowsBesideTotals()
{
    TTempDatabase temp;
    SetNow(2026, 3, 31, 23);
    TModemSource modems;
    modems.Counters = {{QStringLiteral("sim:a"), 100, 10, QStringLiteral("a")},
                       {QStringLiteral("sim:b"), 1000, 100, QStringLiteral("b")},
                       {QStringLiteral("ppp0"), 0, 0}};
    RegisterUsageSource(&modems);
    TUsageThread thread(temp.DataHome() + QStringLiteral("/no-sysfs"));
    thread.Pass(); // baseline
    modems.Counters = {{QStringLiteral("sim:a"), 400, 40, QStringLiteral("a")},
                       {QStringLiteral("sim:b"), 3000, 300, QStringLiteral("b")},
                       {QStringLiteral("ppp0"), 7, 7}};
    thread.Pass();

    // Pending: in the history, not yet in the tables.
    QCOMPARE(thread.History(QStringLiteral("a"), TUsagePeriod::Day, D("2026-03-31"), D("2026-03-31")),
             (QList<TUsageEntry>{{D("2026-03-31"), 300, 30}}));
    QCOMPARE(QueryUsageHistory(temp.DB(), QStringLiteral("a"), TUsagePeriod::Day, D("2026-03-31"), D("2026-03-31")),
             (QList<TUsageEntry>{{D("2026-03-31"), 0, 0}}));

    thread.Flush();
    // A write from another thread meanwhile finds nothing left to write twice.
    thread.Flush();
    SetNow(2026, 4, 1, 0);
    modems.Counters[0] = {QStringLiteral("sim:a"), 500, 50, QStringLiteral("a")};
    thread.Pass();
    thread.Flush();

    const auto all = QueryUsageHistory(temp.DB(), QString(), TUsagePeriod::Day, D("2026-03-31"), D("2026-04-01"));
    QCOMPARE(all, (QList<TUsageEntry>{{D("2026-03-31"), 2307, 237}, {D("2026-04-01"), 100, 10}}));
    const auto a =
        QueryUsageHistory(temp.DB(), QStringLiteral("a"), TUsagePeriod::Day, D("2026-03-31"), D("2026-04-01"));
    QCOMPARE(a, (QList<TUsageEntry>{{D("2026-03-31"), 300, 30}, {D("2026-04-01"), 100, 10}}));
    const auto b =
        QueryUsageHistory(temp.DB(), QStringLiteral("b"), TUsagePeriod::Month, D("2026-03-31"), D("2026-04-01"));
    QCOMPARE(b, (QList<TUsageEntry>{{D("2026-03-01"), 2000, 200}, {D("2026-04-01"), 0, 0}}));
    QCOMPARE(UsageDevices(temp.DB()), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    UnregisterUsageSource(&modems);
}

void TestUsageHistory::historyByDayAndMonth()
{
    TTempDatabase temp;
    AddUsage(temp.DB(), QString(), "2025-12-31", 1, 2);
    AddUsage(temp.DB(), QString(), "2026-01-01", 10, 20);
    AddUsage(temp.DB(), QString(), "2026-01-31", 100, 200);
    AddUsage(temp.DB(), QString(), "2026-03-01", 1000, 2000);
    // Every day of the range, zero where nothing was counted, oldest first.
    const auto days = QueryUsageHistory(temp.DB(), QString(), TUsagePeriod::Day, D("2025-12-30"), D("2026-01-02"));
    QCOMPARE(days, (QList<TUsageEntry>{{D("2025-12-30"), 0, 0},
                                       {D("2025-12-31"), 1, 2},
                                       {D("2026-01-01"), 10, 20},
                                       {D("2026-01-02"), 0, 0}}));
    // Months across a year's end, the empty February included.
    const auto months = QueryUsageHistory(temp.DB(), QString(), TUsagePeriod::Month,
                                          FirstUsageDate(temp.DB(), QString()), D("2026-03-15"));
    QCOMPARE(months, (QList<TUsageEntry>{{D("2025-12-01"), 1, 2},
                                         {D("2026-01-01"), 110, 220},
                                         {D("2026-02-01"), 0, 0},
                                         {D("2026-03-01"), 1000, 2000}}));
    QVERIFY(QueryUsageHistory(temp.DB(), QString(), TUsagePeriod::Day, D("2026-01-02"), D("2026-01-01")).isEmpty());
    QVERIFY(!FirstUsageDate(temp.DB(), QStringLiteral("nobody")).isValid());
}

void TestUsageHistory::exportCsvAndJson()
{
    const QList<TUsageEntry> entries{{D("2026-01-01"), 5000000000, 1}, {D("2026-02-01"), 0, 0}};
    QCOMPARE(UsageHistoryCsv(entries, TUsagePeriod::Month),
             QStringLiteral("date,download,upload,total\n2026-01,5000000000,1,5000000001\n2026-02,0,0,0\n"));
    const QJsonArray json = UsageHistoryJson(entries, TUsagePeriod::Day);
    QCOMPARE(json.size(), 2);
    const QJsonObject first = json.at(0).toObject();
    QCOMPARE(first.value(QStringLiteral("date")).toString(), QStringLiteral("2026-01-01"));
    QCOMPARE(first.value(QStringLiteral("download")).toInteger(), 5000000000);
    QCOMPARE(first.value(QStringLiteral("upload")).toInteger(), 1);
    QCOMPARE(first.value(QStringLiteral("total")).toInteger(), 5000000001);
}

void TestUsageHistory::billingPeriod_data()
{
    QTest::addColumn<QDate>("Day");
    QTest::addColumn<int>("StartDay");
    QTest::addColumn<QDate>("Start");
    QTest::addColumn<QDate>("End");
    QTest::newRow("first of month") << D("2026-03-15") << 1 << D("2026-03-01") << D("2026-03-31");
    QTest::newRow("on the start day") << D("2026-03-15") << 15 << D("2026-03-15") << D("2026-04-14");
    QTest::newRow("day before start") << D("2026-03-14") << 15 << D("2026-02-15") << D("2026-03-14");
    QTest::newRow("31 in February") << D("2026-02-28") << 31 << D("2026-02-28") << D("2026-03-30");
    QTest::newRow("31 before February's end") << D("2026-02-27") << 31 << D("2026-01-31") << D("2026-02-27");
    QTest::newRow("30 in leap February") << D("2028-02-29") << 30 << D("2028-02-29") << D("2028-03-29");
    QTest::newRow("29 in March") << D("2026-03-29") << 29 << D("2026-03-29") << D("2026-04-28");
    QTest::newRow("31 in April") << D("2026-04-30") << 31 << D("2026-04-30") << D("2026-05-30");
    QTest::newRow("year's end") << D("2026-01-03") << 5 << D("2025-12-05") << D("2026-01-04");
}

void TestUsageHistory::billingPeriod()
{
    QFETCH(QDate, Day);
    QFETCH(int, StartDay);
    QFETCH(QDate, Start);
    QFETCH(QDate, End);
    const TBillingPeriod p = BillingPeriodOf(Day, StartDay);
    QCOMPARE(p.Start, Start);
    QCOMPARE(p.End, End);
    // The next period starts the day after this one ends.
    QCOMPARE(BillingPeriodOf(End.addDays(1), StartDay).Start, End.addDays(1));
}

void TestUsageHistory::planStatus()
{
    TDataPlan plan;
    plan.Limit = 10000;
    plan.StartDay = 15;
    // Day 5 of a 31-day period (Mar 15 to Apr 14) with 2000 used: 400 a day, 12400 at the end.
    TPlanStatus s = DataPlanStatus(plan, D("2026-03-19"), 2000);
    QCOMPARE(s.Period, (TBillingPeriod{D("2026-03-15"), D("2026-04-14")}));
    QCOMPARE(s.Left, 8000u);
    QCOMPARE(s.DaysLeft, 27);
    QCOMPARE(s.Forecast, 12400u);
    QCOMPARE(s.Percent, 20);
    // The first day of a period: the whole of the use is one day's pace.
    s = DataPlanStatus(plan, D("2026-04-15"), 100);
    QCOMPARE(s.DaysLeft, 30);
    QCOMPARE(s.Forecast, 3000u);
    // Over the limit: nothing left, the percentage past 100.
    s = DataPlanStatus(plan, D("2026-04-14"), 12000);
    QCOMPARE(s.Left, 0u);
    QCOMPARE(s.DaysLeft, 1);
    QCOMPARE(s.Forecast, 12000u);
    QCOMPARE(s.Percent, 120);
}

void TestUsageHistory::alertsOncePerPeriod()
{
    TTempDatabase temp;
    TDataPlan plan;
    plan.Limit = 1000;
    plan.StartDay = 31;
    const QString dev = QStringLiteral("sim0");
    auto due = [&](const char* Day, quint64 Used) {
        return TakeDueAlerts(temp.DB(), dev, plan, DataPlanStatus(plan, D(Day), Used));
    };
    QCOMPARE(due("2026-02-01", 799), QList<int>{});
    QCOMPARE(due("2026-02-02", 800), QList<int>{80});
    QCOMPARE(due("2026-02-03", 900), QList<int>{});
    // Both at once when the use jumps; each still once.
    plan.Alerts = {80, 90, 100};
    QCOMPARE(due("2026-02-27", 1000), (QList<int>{90, 100}));
    QCOMPARE(due("2026-02-27", 1500), QList<int>{});
    // February 28 starts the next period (no 31st): everything may come again, once.
    QCOMPARE(due("2026-02-28", 1000), (QList<int>{80, 90, 100}));
    QCOMPARE(due("2026-03-30", 1000), QList<int>{});
    // Another modem has its own records.
    QCOMPARE(TakeDueAlerts(temp.DB(), QStringLiteral("sim1"), plan, DataPlanStatus(plan, D("2026-03-30"), 850)),
             QList<int>{80});
    // Only the current period's records are kept.
    TSQLiteLock lock(temp.DB());
    temp.DB().FetchTable(QStringLiteral("SELECT COUNT(*) FROM CONFIG WHERE NAME LIKE 'plan.sim0.alert.%'"));
    QCOMPARE(temp.DB().GetResultSet(1), QStringLiteral("3"));
}

void TestUsageHistory::planStoredInItsOwnRows()
{
    TTempDatabase temp;
    QCOMPARE(LoadDataPlan(temp.DB(), QStringLiteral("sim0")), TDataPlan{});
    TDataPlan plan;
    plan.Limit = 5000000000;
    plan.StartDay = 29;
    plan.Alerts = {100, 50, 50};
    SaveDataPlan(temp.DB(), QStringLiteral("sim0"), plan);
    const TDataPlan back = LoadDataPlan(temp.DB(), QStringLiteral("sim0"));
    QCOMPARE(back.Limit, plan.Limit);
    QCOMPARE(back.StartDay, 29);
    QCOMPARE(back.Alerts, (QList<int>{50, 100}));
    // A single percentage stays a list, not a number.
    plan.Alerts = {90};
    SaveDataPlan(temp.DB(), QStringLiteral("sim0"), plan);
    QCOMPARE(LoadDataPlan(temp.DB(), QStringLiteral("sim0")).Alerts, QList<int>{90});
    // Hand-edited nonsense gives way to the allowed range.
    {
        TSQLiteLock lock(temp.DB());
        temp.DB().ExecSQL(QStringLiteral("UPDATE CONFIG SET VALUE = 45 WHERE NAME = 'plan.sim0.startday'"));
    }
    QCOMPARE(LoadDataPlan(temp.DB(), QStringLiteral("sim0")).StartDay, 31);
    QCOMPARE(LoadDataPlan(temp.DB(), QStringLiteral("sim1")), TDataPlan{});
}

void TestUsageHistory::unitsSetting()
{
    TTempDatabase temp;
    QCOMPARE(LoadByteUnits(temp.DB()), TByteUnits::Iec);
    SaveByteUnits(temp.DB(), TByteUnits::Si);
    QCOMPARE(LoadByteUnits(temp.DB()), TByteUnits::Si);
    SaveByteUnits(temp.DB(), TByteUnits::Iec);
    QCOMPARE(LoadByteUnits(temp.DB()), TByteUnits::Iec);
}

void TestUsageHistory::monitorLogKeepsNinetyDays()
{
    TTempDatabase temp;
    SetNow(2026, 1, 1);
    const TDateTime start = Clock::Now();
    AddMonitorLog(temp.DB(), {0, QStringLiteral("check"), QStringLiteral("http://a/"), QStringLiteral("HTTP"),
                              QStringLiteral("failed"), QStringLiteral("HTTP status 500")});
    AddMonitorLog(temp.DB(), {start + 1, QStringLiteral("reconnect"), {}, {}, QStringLiteral("connect"), {}});
    QCOMPARE(ReadMonitorLog(temp.DB()).size(), 2);
    QCOMPARE(ReadMonitorLog(temp.DB(), 0, QStringLiteral("reconnect")).size(), 1);
    QCOMPARE(ReadMonitorLog(temp.DB(), start + 0.5).size(), 1);
    // 90 days after the first entry it is still there; a day later it is gone.
    AddMonitorLog(temp.DB(), {start + 90, QStringLiteral("restart-warning"), {}, {}, QStringLiteral("shown"), {}});
    QCOMPARE(ReadMonitorLog(temp.DB()).size(), 3);
    AddMonitorLog(temp.DB(), {start + 90.6, QStringLiteral("suppressed"), {}, {}, QStringLiteral("no warning"), {}});
    const auto left = ReadMonitorLog(temp.DB());
    QCOMPARE(left.size(), 3);
    QCOMPARE(left.first().Kind, QStringLiteral("reconnect"));
    const QJsonObject json = MonitorLogJson(left).at(0).toObject();
    QCOMPARE(json.value(QStringLiteral("time")).toString(), QStringLiteral("2026-01-02 12:00:00"));
    QCOMPARE(json.value(QStringLiteral("kind")).toString(), QStringLiteral("reconnect"));
    QCOMPARE(json.value(QStringLiteral("result")).toString(), QStringLiteral("connect"));
}

void TestUsageHistory::pendingBytesForAnotherReader_data()
{
    QTest::addColumn<QString>("Device");
    QTest::addColumn<bool>("Month");
    QTest::addColumn<bool>("WriteBetween");
    QTest::addColumn<QList<TUsageEntry>>("Expected");
    const QList<TUsageEntry> dayAll{{D("2026-03-30"), 1000, 100}, {D("2026-03-31"), 800, 80}};
    QTest::newRow("by day") << QString() << false << false << dayAll;
    // The program wrote its pending bytes (and more counted since) after it answered: the reader's
    // own look at the row holds them, and adding them again would count them twice.
    QTest::newRow("write between") << QString() << false << true
                                   << QList<TUsageEntry>{{D("2026-03-30"), 1000, 100}, {D("2026-03-31"), 900, 90}};
    QTest::newRow("by month") << QString() << true << false << QList<TUsageEntry>{{D("2026-03-01"), 1800, 180}};
    QTest::newRow("by month, write between")
        << QString() << true << true << QList<TUsageEntry>{{D("2026-03-01"), 1900, 190}};
    QTest::newRow("one modem") << QStringLiteral("a") << false << false
                               << QList<TUsageEntry>{{D("2026-03-30"), 0, 0}, {D("2026-03-31"), 800, 80}};
    QTest::newRow("modem without pending bytes")
        << QStringLiteral("b") << false << false
        << QList<TUsageEntry>{{D("2026-03-30"), 0, 0}, {D("2026-03-31"), 7, 7}};
}

// What ombrelayctl usage does with the running program's answer: today's entry gets the bytes that
// were counted and not yet written, exactly once, however the program's write falls between its
// answer and the reader's look at the database.
void TestUsageHistory::pendingBytesForAnotherReader()
{
    QFETCH(QString, Device);
    QFETCH(bool, Month);
    QFETCH(bool, WriteBetween);
    QFETCH(QList<TUsageEntry>, Expected);
    TTempDatabase temp;
    SetNow(2026, 3, 31, 12);
    AddUsage(temp.DB(), QString(), "2026-03-30", 1000, 100);
    AddUsage(temp.DB(), QString(), "2026-03-31", 500, 50);
    AddUsage(temp.DB(), QStringLiteral("a"), "2026-03-31", 500, 50);
    AddUsage(temp.DB(), QStringLiteral("b"), "2026-03-31", 7, 7);
    TModemSource modems;
    modems.Counters = {{QStringLiteral("sim:a"), 0, 0, QStringLiteral("a")}};
    RegisterUsageSource(&modems);
    TUsageThread thread(temp.DataHome() + QStringLiteral("/no-sysfs"));
    thread.Pass(); // baseline
    // Not yet sampled either: the answer counts up to its own moment.
    modems.Counters = {{QStringLiteral("sim:a"), 300, 30, QStringLiteral("a")}};

    TRemoteUsage remote;
    QVERIFY(TRemoteUsage::IsRequest(TRemoteUsage::Request()));
    QVERIFY(TRemoteUsage::Parse(TRemoteUsage::Answer(thread, temp.DB()), remote));
    QCOMPARE(remote.Date, D("2026-03-31"));
    QCOMPARE(remote.DatabaseFile, temp.DB().FileName());
    QCOMPARE(remote.Total, (TRemoteUsageFigures{500, 50, 300, 30}));
    QCOMPARE(remote.Devices.keys(), QList<QString>{QStringLiteral("a")});
    QCOMPARE(remote.Devices.value(QStringLiteral("a")), (TRemoteUsageFigures{500, 50, 300, 30}));

    if (WriteBetween) {
        modems.Counters = {{QStringLiteral("sim:a"), 400, 40, QStringLiteral("a")}};
        thread.Pass();
        thread.Flush();
    }
    const TUsagePeriod period = Month ? TUsagePeriod::Month : TUsagePeriod::Day;
    QList<TUsageEntry> entries = QueryUsageHistory(temp.DB(), Device, period, D("2026-03-30"), D("2026-03-31"));
    quint64 in = 0;
    quint64 out = 0;
    QueryUsageSum(temp.DB(), Device, remote.Date, remote.Date, in, out);
    remote.AddTo(entries, period, Device, in, out);
    QCOMPARE(entries, Expected);
    UnregisterUsageSource(&modems);
}

void TestUsageHistory::remoteAnswerRejected_data()
{
    QTest::addColumn<QString>("Line");
    const QString figures =
        QStringLiteral("{\"storedDownload\":1,\"storedUpload\":2,\"pendingDownload\":3,\"pendingUpload\":4}");
    QTest::newRow("an older program") << QStringLiteral("error unknown command");
    QTest::newRow("no date") << QStringLiteral("{\"total\":%1}").arg(figures);
    QTest::newRow("bad date") << QStringLiteral("{\"date\":\"2026-02-30\",\"total\":%1}").arg(figures);
    QTest::newRow("no total") << QStringLiteral("{\"date\":\"2026-03-31\"}");
    QTest::newRow("negative") << QStringLiteral("{\"date\":\"2026-03-31\",\"total\":%1}")
                                     .arg(QString(figures).replace(QStringLiteral(":3"), QStringLiteral(":-3")));
    QTest::newRow("a text for a number") << QStringLiteral("{\"date\":\"2026-03-31\",\"total\":%1}")
                                                .arg(QString(figures).replace(QStringLiteral(":3"),
                                                                              QStringLiteral(":\"3\"")));
    QTest::newRow("a modem without figures")
        << QStringLiteral("{\"date\":\"2026-03-31\",\"total\":%1,\"devices\":{\"a\":{}}}").arg(figures);
}

// An answer that cannot be read is not used at all: the database alone answers.
void TestUsageHistory::remoteAnswerRejected()
{
    QFETCH(QString, Line);
    TRemoteUsage remote;
    QVERIFY(!TRemoteUsage::Parse(Line, remote));
}

QTEST_GUILESS_MAIN(TestUsageHistory)
#include "tst_usage_history.moc"
