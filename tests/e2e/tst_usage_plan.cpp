// The real program on the simulated modem: traffic from the control channel across days (the
// program's clock set through the test commands) fills the history, the data plan's figures and
// its alerts, right at a billing-day boundary and across a month boundary.

#include "support/ProgramUnderTest.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

using namespace Ombrelay;

class TestUsagePlan : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void historyPlanAndAlertsAcrossDays();
    void ctlIncludesPendingBytes();

private:
    QString FDisplay;
    QProcess FXvfb;
};

void TestUsagePlan::initTestCase()
{
    for (const char* tool : {"Xvfb", "sqlite3"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty()) {
            QSKIP(qPrintable(QStringLiteral("%1 is not installed (scripts/install-deps.sh)").arg(QLatin1String(tool))));
        }
    }
    QVERIFY2(StartXvfb(FXvfb, FDisplay, 160), "no X server could be started");
    QDir().mkpath(QStringLiteral(OMBRELAY_SCREENSHOTS));
}

void TestUsagePlan::cleanupTestCase()
{
    EndProcesses({&FXvfb});
}

void TestUsagePlan::historyPlanAndAlertsAcrossDays()
{
    QTemporaryDir home;
    TProgram program(FDisplay, home);
    QVERIFY(program.Start());
    // The usage thread's first look at the modem's counters is its baseline: traffic before it
    // is not counted. It looks once a second.
    QTest::qWait(2000);
    const QString ok = QStringLiteral("ok");
    // A plan of 10000 bytes starting on the 31st: February, which has none, starts it on the 28th.
    QCOMPARE(program.Sql(QStringLiteral("INSERT OR REPLACE INTO CONFIG VALUES ('plan.sim0.limit', 10000), "
                                        "('plan.sim0.startday', 31), ('plan.sim0.alerts', '80,100,'); "
                                        "SELECT COUNT(*) FROM CONFIG WHERE NAME LIKE 'plan.sim0.%'")),
             QStringLiteral("3"));
    // Traffic on one day: counted by the usage thread within a second, then written.
    auto traffic = [&](const char* Day, int Rx, int Tx) {
        QCOMPARE(program.Window(QStringLiteral("clock %1T12:00:00").arg(QLatin1String(Day))), ok);
        const QString before = program.Sql(
            QStringLiteral("SELECT COALESCE(SUM(INCOMING + OUTGOING), 0) FROM USAGEDEVICE WHERE DEVICE = 'sim0'"));
        QCOMPARE(program.Sim(QStringLiteral("traffic sim0 %1 %2").arg(Rx).arg(Tx)), ok);
        QVERIFY(WaitFor(
            [&] {
                program.Window(QStringLiteral("usage-flush"));
                return program.Sql(QStringLiteral("SELECT COALESCE(SUM(INCOMING + OUTGOING), 0) FROM USAGEDEVICE "
                                                  "WHERE DEVICE = 'sim0'")) != before;
            },
            10000));
    };
    auto alerts = [&] { return program.Window(QStringLiteral("plan-alerts")); };

    traffic("2026-01-30", 1000, 1000);
    traffic("2026-01-31", 3000, 1000); // the period's first day: 4000 of 10000
    QCOMPARE(alerts(), QStringLiteral("ok 0"));
    traffic("2026-02-27", 3000, 1000); // its last day: 8000, the 80 % alert
    QCOMPARE(alerts(), QStringLiteral("ok 1\tData plan: 80 % used"));
    QCOMPARE(alerts(), QStringLiteral("ok 1\tData plan: 80 % used"));
    traffic("2026-02-27", 2000, 0); // 10000: the 100 % alert, and 80 % not again
    QCOMPARE(alerts(), QStringLiteral("ok 2\tData plan: 80 % used\tData plan: 100 % used"));
    traffic("2026-02-28", 9000, 1000); // a new period: both again, once each
    QCOMPARE(alerts(), QStringLiteral("ok 4\tData plan: 80 % used\tData plan: 100 % used\tData plan: 80 % used\t"
                                      "Data plan: 100 % used"));
    QCOMPARE(alerts().left(4), QStringLiteral("ok 4"));

    // The history by day, per modem and for all: each day where its traffic was counted.
    QCOMPARE(program.Sql(QStringLiteral("SELECT DATE, INCOMING, OUTGOING FROM USAGEDEVICE ORDER BY DATE")),
             QStringLiteral("2026-01-30|1000|1000\n2026-01-31|3000|1000\n2026-02-27|5000|1000\n2026-02-28|9000|1000"));
    QCOMPARE(program.Sql(QStringLiteral("SELECT DATE, INCOMING, OUTGOING FROM USAGE ORDER BY DATE")),
             QStringLiteral("2026-01-30|1000|1000\n2026-01-31|3000|1000\n2026-02-27|5000|1000\n2026-02-28|9000|1000"));

    // The usage tab on the boundary day: period Feb 28 to Mar 30 (31 days), 10000 used on its
    // first day, so nothing left and a forecast of 31 times that.
    QCOMPARE(program.Window(QStringLiteral("tab tsUsage")), ok);
    QCOMPARE(program.Window(QStringLiteral("select cmbDevice sim0")), ok);
    QVERIFY(
        WaitFor([&] { return program.Window(QStringLiteral("label lbPlan")).contains(QStringLiteral("2026-02-28")); },
                5000));
    const QString plan = program.Window(QStringLiteral("label lbPlan"));
    QVERIFY2(plan.contains(QStringLiteral("from 2026-02-28 to 2026-03-30")), qPrintable(plan));
    QVERIFY2(plan.contains(QStringLiteral("used 9.76 KiB (100 %)")), qPrintable(plan));
    QVERIFY2(plan.contains(QStringLiteral("left 0 bytes, 31 days left")), qPrintable(plan));
    QVERIFY2(plan.contains(QStringLiteral("forecast 302 KiB")), qPrintable(plan));

    // A day before the boundary the old period holds: Jan 31 to Feb 27, 10000 used in its 28 days.
    QCOMPARE(program.Window(QStringLiteral("clock 2026-02-27T23:00:00")), ok);
    QVERIFY(
        WaitFor([&] { return program.Window(QStringLiteral("label lbPlan")).contains(QStringLiteral("2026-01-31")); },
                5000));
    const QString before = program.Window(QStringLiteral("label lbPlan"));
    QVERIFY2(before.contains(QStringLiteral("used 9.76 KiB (100 %), left 0 bytes, 1 day left")), qPrintable(before));
    QVERIFY2(before.contains(QStringLiteral("forecast 9.76 KiB")), qPrintable(before));

    // Across the month boundary by month: January and February.
    QCOMPARE(program.Window(QStringLiteral("clock 2026-03-01T08:00:00")), ok);
    QCOMPARE(program.Window(QStringLiteral("select cmbPeriod By month")), ok);
    QTest::qWait(2500);
    QCOMPARE(program.Window(QStringLiteral("screenshot " OMBRELAY_SCREENSHOTS "/usage-history.png")), ok);
    int exit = -1;
    const QString json = Run(QStringLiteral(OMBRELAY_CTL),
                             {QStringLiteral("usage"), QStringLiteral("--months"), QStringLiteral("0"),
                              QStringLiteral("--json"), QStringLiteral("--device"), QStringLiteral("sim0")},
                             &exit, program.Env());
    QCOMPARE(exit, 0);
    // Every month from the first counted one to today (ombrelayctl reads the real clock).
    bool january = false;
    bool february = false;
    for (const QJsonValue& v : QJsonDocument::fromJson(json.toUtf8()).array()) {
        const QJsonObject o = v.toObject();
        if (o.value(QStringLiteral("date")).toString() == QLatin1String("2026-01")) {
            january = o.value(QStringLiteral("total")).toInteger() == 6000;
        }
        if (o.value(QStringLiteral("date")).toString() == QLatin1String("2026-02")) {
            february = o.value(QStringLiteral("total")).toInteger() == 16000;
        }
    }
    QVERIFY2(january && february, qPrintable(json));
    QCOMPARE(program.Stop(), 0);
}

namespace
{

// Today's download and upload as ombrelayctl usage --json gives them; -1 when it failed.
QPair<qint64, qint64> CtlToday(const QProcessEnvironment& Env, const QStringList& Extra = {}, QString* Errors = nullptr)
{
    QProcess p;
    p.setProcessEnvironment(Env);
    p.start(QStringLiteral(OMBRELAY_CTL), QStringList{QStringLiteral("usage"), QStringLiteral("--days"),
                                                      QStringLiteral("1"), QStringLiteral("--json")} +
                                              Extra);
    if (!p.waitForFinished(20000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        p.kill();
        return {-1, -1};
    }
    if (Errors) {
        *Errors = QString::fromUtf8(p.readAllStandardError());
    }
    const QJsonArray days = QJsonDocument::fromJson(p.readAllStandardOutput()).array();
    if (days.size() != 1) {
        return {-1, -1};
    }
    const QJsonObject today = days.first().toObject();
    return {today.value(QStringLiteral("download")).toInteger(), today.value(QStringLiteral("upload")).toInteger()};
}

} // namespace

// ombrelayctl usage asks the running program for the bytes it counted and has not written yet
// (it writes once a minute): today's entry holds them before the write, and the same after it.
void TestUsagePlan::ctlIncludesPendingBytes()
{
    QTemporaryDir home;
    TProgram program(FDisplay, home);
    QVERIFY(program.Start());
    const QString ok = QStringLiteral("ok");
    const QString todayRow =
        QStringLiteral("SELECT COALESCE(SUM(INCOMING), 0) || ' ' || COALESCE(SUM(OUTGOING), 0) FROM USAGE WHERE DATE = "
                       "DATE('now', 'localtime')");
    auto stored = [&] {
        const QStringList f = program.Sql(todayRow).split(QLatin1Char(' '));
        return QPair<qint64, qint64>{f.value(0).toLongLong(), f.value(1).toLongLong()};
    };
    // The usage thread's first look at the modem's counters is its baseline: traffic until some is
    // counted and written shows that it has looked.
    QVERIFY(WaitFor(
        [&] {
            program.Sim(QStringLiteral("traffic sim0 1 1"));
            program.Window(QStringLiteral("usage-flush"));
            return stored().first > 0;
        },
        10000));
    // The last of those may still be pending: ombrelayctl's question has it counted, and the write
    // stores it, so that what follows starts from nothing pending.
    QVERIFY(CtlToday(program.Env()).first > 0);
    QCOMPARE(program.Window(QStringLiteral("usage-flush")), ok);

    // The program's own minute may write between the traffic and the look at the file: then
    // the bytes were not pending, and the step is tried again.
    bool seenPending = false;
    for (int attempt = 0; attempt < 5 && !seenPending; ++attempt) {
        const QPair<qint64, qint64> before = stored();
        QCOMPARE(program.Sim(QStringLiteral("traffic sim0 5000 700")), ok);
        const QPair<qint64, qint64> shown = CtlToday(program.Env());
        const QPair<qint64, qint64> after = stored();
        if (after != before) {
            continue;
        }
        seenPending = true;
        QCOMPARE(shown, (QPair<qint64, qint64>{before.first + 5000, before.second + 700}));
        // Written now: the same figures, not counted twice.
        QCOMPARE(program.Window(QStringLiteral("usage-flush")), ok);
        QCOMPARE(stored(), shown);
        QCOMPARE(CtlToday(program.Env()), shown);
    }
    QVERIFY(seenPending);

    // Another database file (a copy) is read as it stands: the program's pending bytes belong to
    // its own file.
    QCOMPARE(program.Sim(QStringLiteral("traffic sim0 300 30")), ok);
    const QString copy = home.filePath(QStringLiteral("copy.db"));
    program.Sql(QStringLiteral(".backup '%1'").arg(copy));
    QVERIFY(QFile::exists(copy));
    const QStringList copied =
        Run(QStringLiteral("sqlite3"), {QStringLiteral("-batch"), copy, todayRow}).split(QLatin1Char(' '));
    const QPair<qint64, qint64> inCopy{copied.value(0).toLongLong(), copied.value(1).toLongLong()};
    QCOMPARE(CtlToday(program.Env(), {QStringLiteral("--database"), copy}), inCopy);

    // Without a running program the database alone answers, and says nothing about it.
    QCOMPARE(program.Stop(), 0);
    QString errors;
    QCOMPARE(CtlToday(program.Env(), {}, &errors), stored());
    QCOMPARE(errors, QString());
}

QTEST_MAIN(TestUsagePlan)
#include "tst_usage_plan.moc"
