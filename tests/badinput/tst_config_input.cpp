// Settings as a user may leave them after editing CONFIG by hand: counts beyond what the
// settings can hold give way to their defaults with a warning, instead of wrapping to another
// number that the next save would write back.

#include "core/DB.h"
#include "core/Options.h"
#include "support/TempDatabase.h"

#include <QTest>

namespace Ombrelay
{

class TestConfigInput : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void countsOutOfRange_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("sqlValue");
        QTest::addColumn<quint32>("expected");
        QTest::addColumn<bool>("warned");
        QTest::newRow("negative interval") << "monitor.interval"
                                           << "-5" << 60u << true;
        QTest::newRow("1e12 interval") << "monitor.interval"
                                       << "1e12" << 60u << true;
        QTest::newRow("2^32 redial") << "monitor.threshold.redial"
                                     << "4294967296" << 2u << true;
        QTest::newRow("huge negative reboot") << "monitor.threshold.reboot"
                                              << "-9223372036854775808" << 5u << true;
        QTest::newRow("largest count kept") << "monitor.threshold.reboot"
                                            << "4294967295" << 4294967295u << false;
        QTest::newRow("zero kept") << "monitor.threshold.redial"
                                   << "0" << 0u << false;
        QTest::newRow("text reads as 0") << "monitor.interval"
                                         << "'every minute'" << 0u << false;
        QTest::newRow("blob reads as 0") << "monitor.interval"
                                         << "X'3132'" << 0u << false;
    }

    void countsOutOfRange()
    {
        QFETCH(QString, name);
        QFETCH(QString, sqlValue);
        QFETCH(quint32, expected);
        QFETCH(bool, warned);
        TTempDatabase temp;
        {
            TSQLiteLock lock(temp.DB());
            temp.DB().ExecSQL(QStringLiteral("INSERT INTO CONFIG VALUES ('%1', %2)").arg(name, sqlValue));
        }
        TOptions options;
        options.LoadOptions();
        const TMonitorSettings monitor = options.MonitorSnapshot();
        const quint32 got = name == QLatin1String("monitor.interval")           ? monitor.Interval
                            : name == QLatin1String("monitor.threshold.redial") ? monitor.RedialThreshold
                                                                                : monitor.RebootThreshold;
        QCOMPARE(got, expected);
        QCOMPARE(options.LoadWarnings().size(), warned ? 1 : 0);
        if (warned) {
            QVERIFY2(options.LoadWarnings().first().startsWith(QStringLiteral("The setting %1 holds ").arg(name)),
                     qPrintable(options.LoadWarnings().first()));
        }
        // The next save writes the value in use, and a later load has nothing to say.
        options.SaveOptions();
        TOptions again;
        again.LoadOptions();
        QCOMPARE(again.MonitorSnapshot(), monitor);
        QVERIFY(again.LoadWarnings().isEmpty());
    }
};

} // namespace Ombrelay

QTEST_GUILESS_MAIN(Ombrelay::TestConfigInput)
#include "tst_config_input.moc"
