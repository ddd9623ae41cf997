// ombrelayctl's usage and monitor commands, run as a program on a fixture database.

#include "base/DateTime.h"
#include "core/MonitorLog.h"
#include "support/TempDatabase.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

using namespace Ombrelay;

namespace
{

QString Ctl(const QStringList& Args, int& Exit)
{
    QProcess p;
    p.start(QStringLiteral(OMBRELAY_CTL), Args);
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished();
    }
    Exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

class TestCtlUsage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void usageAndMonitorLog();
    void badCommandLines_data();
    void badCommandLines();
};

void TestCtlUsage::usageAndMonitorLog()
{
    TTempDatabase temp;
    const QDate today = QDate::currentDate();
    {
        TSQLiteLock lock(temp.DB());
        temp.DB().ExecSQL(
            QStringLiteral("INSERT INTO USAGE VALUES ('%1', 5000000000, 20)").arg(today.toString(Qt::ISODate)));
        temp.DB().ExecSQL(
            QStringLiteral("INSERT INTO USAGE VALUES ('%1', 1, 2)").arg(today.addDays(-2).toString(Qt::ISODate)));
        temp.DB().ExecSQL(
            QStringLiteral("INSERT INTO USAGEDEVICE VALUES ('%1', 'sim0', 7, 8)").arg(today.toString(Qt::ISODate)));
    }
    TDateTime t = 0;
    TryEncodeDate(2026, 5, 1, t);
    AddMonitorLog(temp.DB(), {t + 0.5, QStringLiteral("check"), QStringLiteral("http://127.0.0.1:9/"),
                              QStringLiteral("HTTP"), QStringLiteral("failed"), QStringLiteral("HTTP status 500")});
    AddMonitorLog(temp.DB(), {t + 1.5, QStringLiteral("reconnect"), {}, {}, QStringLiteral("connect"), {}});
    const QString file = temp.DB().FileName();
    temp.Close();
    // Read-only: a file the user may not write is read all the same, and left as it was.
    QFile::setPermissions(file, QFile::ReadOwner);
    const QByteArray before = [&] {
        QFile f(file);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();

    int exit = -1;
    const QString json = Ctl({QStringLiteral("usage"), QStringLiteral("--days"), QStringLiteral("3"),
                              QStringLiteral("--json"), QStringLiteral("--database"), file},
                             exit);
    QCOMPARE(exit, 0);
    const QJsonArray days = QJsonDocument::fromJson(json.toUtf8()).array();
    QCOMPARE(days.size(), 3);
    QCOMPARE(days.at(0).toObject().value(QStringLiteral("date")).toString(), today.addDays(-2).toString(Qt::ISODate));
    QCOMPARE(days.at(0).toObject().value(QStringLiteral("total")).toInteger(), 3);
    QCOMPARE(days.at(1).toObject().value(QStringLiteral("total")).toInteger(), 0);
    QCOMPARE(days.at(2).toObject().value(QStringLiteral("download")).toInteger(), 5000000000);
    QCOMPARE(days.at(2).toObject().value(QStringLiteral("upload")).toInteger(), 20);

    const QString csv =
        Ctl({QStringLiteral("usage"), QStringLiteral("--months"), QStringLiteral("1"), QStringLiteral("--csv"),
             QStringLiteral("--device"), QStringLiteral("sim0"), QStringLiteral("--database"), file},
            exit);
    QCOMPARE(exit, 0);
    QCOMPARE(csv,
             QStringLiteral("date,download,upload,total\n%1,7,8,15\n").arg(today.toString(QStringLiteral("yyyy-MM"))));

    const QString log =
        Ctl({QStringLiteral("monitor"), QStringLiteral("log"), QStringLiteral("--since"),
             QStringLiteral("2026-05-01 13:00"), QStringLiteral("--json"), QStringLiteral("--database"), file},
            exit);
    QCOMPARE(exit, 0);
    const QJsonArray entries = QJsonDocument::fromJson(log.toUtf8()).array();
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries.at(0).toObject().value(QStringLiteral("kind")).toString(), QStringLiteral("reconnect"));
    QCOMPARE(entries.at(0).toObject().value(QStringLiteral("time")).toString(), QStringLiteral("2026-05-02 12:00:00"));
    const QString all =
        Ctl({QStringLiteral("monitor"), QStringLiteral("log"), QStringLiteral("--database"), file}, exit);
    QCOMPARE(exit, 0);
    QVERIFY2(all.contains(QStringLiteral("HTTP status 500")), qPrintable(all));

    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
}

void TestCtlUsage::badCommandLines_data()
{
    QTest::addColumn<QStringList>("Args");
    QTest::addColumn<int>("Exit");
    QTest::newRow("days and months") << QStringList{"usage", "--days", "3", "--months", "2"} << 2;
    QTest::newRow("csv and json") << QStringList{"usage", "--csv", "--json"} << 2;
    QTest::newRow("not a count") << QStringList{"usage", "--days", "x"} << 2;
    QTest::newRow("no days") << QStringList{"usage", "--days", "0"} << 2;
    QTest::newRow("monitor without log") << QStringList{"monitor"} << 2;
    QTest::newRow("bad time") << QStringList{"monitor", "log", "--since", "yesterday"} << 2;
    QTest::newRow("no database") << QStringList{"usage", "--database", "/nonexistent/Ombrelay.DB"} << 1;
    QTest::newRow("no database for the log")
        << QStringList{"monitor", "log", "--database", "/nonexistent/Ombrelay.DB"} << 1;
}

void TestCtlUsage::badCommandLines()
{
    QFETCH(QStringList, Args);
    QFETCH(int, Exit);
    int exit = -1;
    Ctl(Args, exit);
    QCOMPARE(exit, Exit);
    QVERIFY(!QFile::exists(QStringLiteral("/nonexistent/Ombrelay.DB")));
}

QTEST_GUILESS_MAIN(TestCtlUsage)
#include "tst_ctl_usage.moc"
