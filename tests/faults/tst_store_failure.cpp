// A message store that keeps failing (full disk, read-only file): the messages stay on the
// device, and the user is told once, in words that say so, rather than once per batch of
// every read.

#include "device/DeviceFixture.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

#include <csignal>

using namespace Ombrelay;

class TestStoreFailure : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void reportedOncePerFailure_data()
    {
        QTest::addColumn<bool>("MessageMode");
        QTest::newRow("pdu mode") << false;
        QTest::newRow("message mode") << true;
    }

    void reportedOncePerFailure()
    {
        QFETCH(bool, MessageMode);
        TSimScenario scenario = TestScenario({QStringLiteral("sim0")}, 2);
        if (MessageMode) {
            scenario.Interfaces.first().SmsFormat = TMbnSmsFormat::sfMessage;
        }
        TDeviceFixture f(scenario);
        f.Start();
        for (int i = 0; i < 7; ++i) {
            f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4917012"), QStringLiteral("m%1").arg(i));
        }
        const int onDevice = f.Modem->StoredCount(QStringLiteral("sim0"));
        auto failStores = [&](bool On) {
            TSQLiteLock lock(f.Db.DB());
            f.Db.DB().ExecSQL(On ? QStringLiteral("CREATE TEMP TRIGGER full BEFORE INSERT ON INCOMING "
                                                  "BEGIN SELECT RAISE(ABORT, 'database or disk is full'); END")
                                 : QStringLiteral("DROP TRIGGER full"));
        };
        failStores(true);
        // Four batches per read, three reads: every batch fails, one report.
        for (int n = 0; n < 3; ++n) {
            QVERIFY(f.Tick());
        }
        QCOMPARE(f.Errors.size(), 1);
        QVERIFY2(f.Errors.first().contains(QStringLiteral("stay on the device Ombrelay Simulated Modem")),
                 qPrintable(f.Errors.first()));
        QVERIFY2(f.Errors.first().contains(QStringLiteral("database or disk is full")), qPrintable(f.Errors.first()));
        QCOMPARE(f.Modem->StoredCount(QStringLiteral("sim0")), onDevice);
        QCOMPARE(f.Count("SELECT COUNT(*) FROM INCOMING"), 0);

        failStores(false);
        QVERIFY(f.Tick());
        QCOMPARE(f.IncomingTexts(), QStringList({"m0", "m1", "m2", "m3", "m4", "m5", "m6"}));
        QCOMPARE(f.Modem->StoredCount(QStringLiteral("sim0")), 0);
        QCOMPARE(f.Errors.size(), 1);

        // A new failure after stores succeeded again is news: reported again.
        failStores(true);
        f.Modem->Deliver(QStringLiteral("sim0"), QStringLiteral("+4917012"), QStringLiteral("later"));
        QVERIFY(f.Tick());
        QCOMPARE(f.Errors.size(), 2);
        QCOMPARE(f.Modem->StoredCount(QStringLiteral("sim0")), 1);
    }

    // The device's answer to a delivery is what its memory holds: a delivery whose state file
    // cannot be written is refused and leaves nothing behind that a restart would lose.
    void deliveryNotSavedIsRefused_data()
    {
        QTest::addColumn<bool>("MessageMode");
        QTest::addColumn<bool>("Raw");
        QTest::newRow("long message") << false << false;
        QTest::newRow("one pdu") << false << true;
        QTest::newRow("message mode") << true << false;
    }

    void deliveryNotSavedIsRefused()
    {
        QFETCH(bool, MessageMode);
        QFETCH(bool, Raw);
        QTemporaryDir dir;
        const QString state = dir.filePath(QStringLiteral("device.json"));
        TSimScenario scenario = TestScenario();
        if (MessageMode) {
            scenario.Interfaces.first().SmsFormat = TMbnSmsFormat::sfMessage;
        }
        const QString pdu =
            BuildDeliverPdus(QStringLiteral("+4917012"), QDateTime::currentDateTime(), QStringLiteral("one")).first();
        auto deliver = [&](TSimModem& Modem) {
            if (Raw) {
                Modem.DeliverPdu(QStringLiteral("sim0"), pdu);
            } else {
                Modem.Deliver(QStringLiteral("sim0"), QStringLiteral("+4917012"), QString(200, QLatin1Char('x')));
            }
        };
        {
            TSimModem modem(scenario, state);
            const int before = modem.StoredCount(QStringLiteral("sim0"));
            // Its state cannot grow: no file of the process may become larger (a full disk).
            struct rlimit limit
            {
            };
            QCOMPARE(::getrlimit(RLIMIT_FSIZE, &limit), 0);
            const struct rlimit full = {rlim_t(QFileInfo(state + QStringLiteral(".journal")).size()), limit.rlim_max};
            const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &full), 0);
            QVERIFY_THROWS_EXCEPTION(EOmbrelayError, deliver(modem));
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limit), 0);
            std::signal(SIGXFSZ, oldSignal);
            QCOMPARE(modem.StoredCount(QStringLiteral("sim0")), before);
            deliver(modem);
            QVERIFY(modem.StoredCount(QStringLiteral("sim0")) > before);
        }
        TSimModem restarted(scenario, state);
        TSimModem fresh(scenario);
        QCOMPARE(restarted.StoredCount(QStringLiteral("sim0")),
                 fresh.StoredCount(QStringLiteral("sim0")) + (MessageMode ? 1
                                                              : Raw       ? 1
                                                                          : 2));
    }
};

QTEST_GUILESS_MAIN(TestStoreFailure)
#include "tst_store_failure.moc"
