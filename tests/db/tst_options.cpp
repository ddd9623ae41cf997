// The settings: defaults, the eleven CONFIG rows, stored forms, the comma text, failed saves and
// the monitor snapshot shared with another thread.

#include "core/Options.h"
#include "support/TempDatabase.h"

#include <QTest>
#include <QThread>

#include <atomic>
#include <thread>

namespace Ombrelay
{

namespace
{
QStringList Rows(TDatabase& DB)
{
    TSQLiteLock lock(DB);
    TSQLiteQuery q(DB, QStringLiteral("SELECT NAME, typeof(VALUE), VALUE FROM CONFIG ORDER BY NAME"));
    QStringList rows;
    while (DB.Next()) {
        rows.append(DB.GetFieldAsString(0) + QLatin1Char('|') + DB.GetFieldAsString(1) + QLatin1Char('|') +
                    DB.GetFieldAsString(2));
    }
    return rows;
}

void Exec(TDatabase& DB, const QString& SQL)
{
    TSQLiteLock lock(DB);
    DB.ExecSQL(SQL);
}
} // namespace

class TestOptions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void defaultsOnEmptyTable()
    {
        TTempDatabase temp;
        TOptions options;
        // Before loading, every field is zero; the defaults exist only in LoadOptions.
        QVERIFY(!options.TrayWarning());
        QCOMPARE(options.MonitorInterval(), 0u);
        QVERIFY(options.MonitorSites().isEmpty());

        options.LoadOptions();
        QVERIFY(options.Loaded());
        QCOMPARE(options.InterfaceID(), QString());
        QCOMPARE(options.ProfileName(), QString());
        QCOMPARE(options.TargetPhone(), QString());
        QVERIFY(!options.AutoConnect());
        QVERIFY(options.TrayWarning());
        QVERIFY(!options.MonitorEnabled());
        QCOMPARE(options.MonitorInterval(), 60u);
        QCOMPARE(options.MonitorRedialThreshold(), 2u);
        QCOMPARE(options.MonitorRebootThreshold(), 5u);
        QCOMPARE(options.MonitorSites(), TOptions::DefaultMonitorSites());
        QCOMPARE(options.MonitorSites().size(), 3);
        QCOMPARE(options.SuppressTime(), 0.0);
        QVERIFY(options.RemoveStoredMessages());
        // Loading writes nothing.
        QVERIFY(Rows(temp.DB()).isEmpty());
        QVERIFY(!temp.DB().LockedByCurrentThread());
    }

    // Delivery reports are on unless the user turned them off; only "off" has a row, so that
    // turning them on again leaves the table as a database that never had the setting.
    void deliveryReportsSetting()
    {
        TTempDatabase temp;
        TOptions options;
        options.LoadOptions();
        QVERIFY(options.RequestDeliveryReports());
        options.SaveOptions();
        QVERIFY(!Rows(temp.DB()).join(QLatin1Char(' ')).contains(QLatin1String("sms.deliveryreports")));
        options.SetRequestDeliveryReports(false);
        options.SaveOptions();
        QVERIFY(Rows(temp.DB()).contains(QStringLiteral("sms.deliveryreports|integer|0")));
        TOptions off;
        off.LoadOptions();
        QVERIFY(!off.RequestDeliveryReports());
        off.SetRequestDeliveryReports(true);
        off.SaveOptions();
        QCOMPARE(Rows(temp.DB()).size(), 11);
        TOptions on;
        on.LoadOptions();
        QVERIFY(on.RequestDeliveryReports());
    }

    void saveWritesTheElevenKeys()
    {
        TTempDatabase temp;
        TOptions options;
        options.LoadOptions();
        options.SetInterfaceID(QStringLiteral("{3F2504E0-4F89-11D3}"));
        options.SetProfileName(QStringLiteral("Home net"));
        options.SetTargetPhone(QStringLiteral("+4915112345678,0170 555"));
        options.SetAutoConnect(true);
        options.SetTrayWarning(false);
        options.SetSuppressTime(Clock::Now());
        options.SetRemoveStoredMessages(false);
        options.SetMonitorSettings({true, 30, 3, 4000000000u, {QStringLiteral("a b"), QStringLiteral("c")}});
        options.SaveOptions();

        QCOMPARE(Rows(temp.DB()), (QStringList{
                                      "autoconnect|integer|1",
                                      "interface.id|text|{3F2504E0-4F89-11D3}",
                                      "monitor.enabled|integer|1",
                                      "monitor.interval|integer|30",
                                      "monitor.sites|text|\"a b\",c",
                                      "monitor.threshold.reboot|integer|4000000000",
                                      "monitor.threshold.redial|integer|3",
                                      "profile.name|text|Home net",
                                      "sms.removestored|integer|0",
                                      "targetphone|text|+4915112345678,0170 555",
                                      "traywarning|integer|0",
                                  }));

        // Saved twice: still eleven rows.
        options.SaveOptions();
        QCOMPARE(Rows(temp.DB()).size(), 11);

        TOptions again;
        again.LoadOptions();
        QCOMPARE(again.InterfaceID(), options.InterfaceID());
        QCOMPARE(again.ProfileName(), options.ProfileName());
        QCOMPARE(again.TargetPhone(), options.TargetPhone());
        QVERIFY(again.AutoConnect());
        QVERIFY(!again.TrayWarning());
        QVERIFY(!again.RemoveStoredMessages());
        QCOMPARE(again.MonitorSnapshot(), options.MonitorSnapshot());
        // Never persisted.
        QCOMPARE(again.SuppressTime(), 0.0);
    }

    // The column's numeric affinity would turn a lone number into an integer: "+49..." lost its
    // plus and "0170..." its zero after one save.
    void numberLikeListsSurviveASave_data()
    {
        QTest::addColumn<QStringList>("history");
        QTest::addColumn<QStringList>("sites");
        QTest::newRow("plus number") << QStringList{"+4915112345678"} << QStringList{"+1"};
        QTest::newRow("leading zero") << QStringList{"0170555"} << QStringList{"007"};
        QTest::newRow("real-looking") << QStringList{"1.50"} << QStringList{"1e3"};
        QTest::newRow("two numbers") << QStringList{"+491", "0172"} << QStringList{"1", "2"};
        QTest::newRow("plain text") << QStringList{"Mum"} << QStringList{"https://example.org/"};
    }

    void numberLikeListsSurviveASave()
    {
        QFETCH(QStringList, history);
        QFETCH(QStringList, sites);
        TTempDatabase temp;
        TOptions options;
        options.LoadOptions();
        options.SetTargetPhone(ListToCommaText(history));
        options.SetMonitorSites(sites);
        options.SaveOptions();
        TOptions again;
        again.LoadOptions();
        QCOMPARE(CommaTextToList(again.TargetPhone()), history);
        QCOMPARE(again.MonitorSites(), sites);
    }

    void storedValuesRead_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("sqlValue");
        QTest::addColumn<QString>("expected");
        QTest::newRow("NULL interval") << "monitor.interval"
                                       << "NULL"
                                       << "60";
        QTest::newRow("NULL tray hint") << "traywarning"
                                        << "NULL"
                                        << "true";
        QTest::newRow("NULL sites") << "monitor.sites"
                                    << "NULL"
                                    << "https://www.wikipedia.org/|https://www.debian.org/|https://www.kernel.org/";
        QTest::newRow("text interval") << "monitor.interval"
                                       << "'abc'"
                                       << "0";
        QTest::newRow("text bool") << "autoconnect"
                                   << "'yes'"
                                   << "false";
        QTest::newRow("any non-zero bool") << "autoconnect"
                                           << "7"
                                           << "true";
        QTest::newRow("one number history") << "targetphone"
                                            << "'0123'"
                                            << "123";
        QTest::newRow("two number history") << "targetphone"
                                            << "'0123,0456'"
                                            << "0123,0456";
        QTest::newRow("empty sites") << "monitor.sites"
                                     << "''"
                                     << "";
        QTest::newRow("unquoted sites") << "monitor.sites"
                                        << "'a b,c'"
                                        << "a|b|c";
        QTest::newRow("quoted sites") << "monitor.sites"
                                      << "'\"a b\",c'"
                                      << "a b|c";
    }

    void storedValuesRead()
    {
        QFETCH(QString, name);
        QFETCH(QString, sqlValue);
        QFETCH(QString, expected);
        TTempDatabase temp;
        Exec(temp.DB(), QStringLiteral("INSERT INTO CONFIG VALUES ('%1', %2)").arg(name, sqlValue));
        TOptions options;
        options.LoadOptions();
        QString got;
        if (name == QLatin1String("monitor.interval")) {
            got = QString::number(options.MonitorInterval());
        } else if (name == QLatin1String("traywarning")) {
            got = options.TrayWarning() ? QStringLiteral("true") : QStringLiteral("false");
        } else if (name == QLatin1String("autoconnect")) {
            got = options.AutoConnect() ? QStringLiteral("true") : QStringLiteral("false");
        } else if (name == QLatin1String("targetphone")) {
            got = options.TargetPhone();
        } else {
            got = options.MonitorSites().join(QLatin1Char('|'));
        }
        QCOMPARE(got, expected);
    }

    void commaText_data()
    {
        QTest::addColumn<QStringList>("list");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("writes");
        QTest::newRow("plain") << QStringList{"a", "b"} << "a,b" << true;
        QTest::newRow("space quoted") << QStringList{"a b", "c"} << "\"a b\",c" << true;
        QTest::newRow("comma quoted") << QStringList{"a,b"} << "\"a,b\"" << true;
        QTest::newRow("quote doubled") << QStringList{"say \"hi\""} << "\"say \"\"hi\"\"\"" << true;
        QTest::newRow("control quoted") << QStringList{"a\tb"} << "\"a\tb\"" << true;
        QTest::newRow("empty list") << QStringList{} << "" << true;
        QTest::newRow("one empty item") << QStringList{""} << "\"\"" << true;
        QTest::newRow("empty inside") << QStringList{"a", "", "b"} << "a,,b" << true;
        QTest::newRow("non-ASCII plain") << QStringList{"https://b\u00fccher.example/"}
                                         << "https://b\u00fccher.example/" << true;
        QTest::newRow("spaces split") << QStringList{"a", "b", "c"} << "a b,c" << false;
        QTest::newRow("blanks skipped") << QStringList{"a", "b"} << "  a ,\tb " << false;
        QTest::newRow("trailing comma") << QStringList{"a", ""} << "a," << false;
        QTest::newRow("unclosed quote") << QStringList{"a b"} << "\"a b" << false;
    }

    void commaText()
    {
        QFETCH(QStringList, list);
        QFETCH(QString, text);
        QFETCH(bool, writes);
        QCOMPARE(CommaTextToList(text), list);
        if (writes) {
            QCOMPARE(ListToCommaText(list), text);
        }
        // Whatever was read writes back to text that reads as the same list.
        QCOMPARE(CommaTextToList(ListToCommaText(list)), list);
    }

    void saveWithoutLoadKeepsStoredSettings()
    {
        TTempDatabase temp;
        Exec(temp.DB(), QStringLiteral("INSERT INTO CONFIG VALUES ('monitor.sites', 'https://example.org/')"));
        TOptions options;
        QVERIFY_THROWS_EXCEPTION(EOmbrelayError, options.SaveOptions());
        QCOMPARE(Rows(temp.DB()), QStringList{"monitor.sites|text|https://example.org/"});

        // A load that fails does not count as loaded either.
        Exec(temp.DB(), QStringLiteral("ALTER TABLE CONFIG RENAME TO CONFIG_AWAY"));
        QVERIFY_THROWS_EXCEPTION(ESQLiteException, options.LoadOptions());
        QVERIFY(!options.Loaded());
        QVERIFY(!temp.DB().InTransaction());
        QVERIFY(!temp.DB().LockedByCurrentThread());
        Exec(temp.DB(), QStringLiteral("ALTER TABLE CONFIG_AWAY RENAME TO CONFIG"));
        QVERIFY_THROWS_EXCEPTION(EOmbrelayError, options.SaveOptions());
        QCOMPARE(Rows(temp.DB()), QStringList{"monitor.sites|text|https://example.org/"});
    }

    void failedSaveLeavesPreviousRows_data()
    {
        QTest::addColumn<QString>("breakSql");
        QTest::addColumn<int>("code");
        // The process runs as root in CI, so a read-only file would still be written: the
        // connection is made read-only instead.
        QTest::newRow("read-only") << "PRAGMA query_only = ON" << 8;
        QTest::newRow("fails half way") << "CREATE TEMP TRIGGER STOP BEFORE INSERT ON CONFIG "
                                           "WHEN NEW.NAME = 'monitor.enabled' BEGIN SELECT RAISE(ABORT, 'stop'); END"
                                        << 19;
    }

    void failedSaveLeavesPreviousRows()
    {
        QFETCH(QString, breakSql);
        QFETCH(int, code);
        TTempDatabase temp;
        TOptions options;
        options.LoadOptions();
        options.SetProfileName(QStringLiteral("first"));
        options.SaveOptions();
        const QStringList before = Rows(temp.DB());
        QCOMPARE(before.size(), 11);

        Exec(temp.DB(), breakSql);
        options.SetProfileName(QStringLiteral("second"));
        options.SetInterfaceID(QStringLiteral("changed"));
        options.SetMonitorInterval(999);
        try {
            options.SaveOptions();
            QFAIL("the save did not fail");
        } catch (const ESQLiteException& e) {
            QCOMPARE(e.Code(), code);
            QVERIFY2(e.Message().startsWith(QStringLiteral("TDatabase: ")), qPrintable(e.Message()));
        }
        QVERIFY(!temp.DB().InTransaction());
        QVERIFY(!temp.DB().LockedByCurrentThread());
        QVERIFY(!temp.DB().QueryOpen());
        QCOMPARE(Rows(temp.DB()), before);
    }

    void monitorSnapshotIsConsistent()
    {
        // The settings dialog writes whole settings while the monitor thread reads them: a
        // snapshot is always one of the written settings, never a mix.
        TOptions options;
        const TMonitorSettings one{true, 10, 1, 2, {QStringLiteral("https://one.example/")}};
        const TMonitorSettings two{
            false, 20, 3, 4, {QStringLiteral("https://two.example/"), QStringLiteral("https://2.example/")}};
        options.SetMonitorSettings(one);
        std::atomic<bool> stop{false};
        std::atomic<int> mixed{0};
        std::thread reader([&] {
            while (!stop.load()) {
                const TMonitorSettings s = options.MonitorSnapshot();
                if (!(s == one) && !(s == two)) {
                    ++mixed;
                }
            }
        });
        for (int i = 0; i < 2000; ++i) {
            options.SetMonitorSettings(i % 2 ? one : two);
            if (i % 100 == 0) {
                // Single fields and in-place edits of the list go through the lock too.
                std::lock_guard lock(options.MonitorLock());
                options.MonitorSites() = (i % 2 ? one : two).Sites;
            }
        }
        stop = true;
        reader.join();
        QCOMPARE(mixed.load(), 0);
    }
};

} // namespace Ombrelay

QTEST_GUILESS_MAIN(Ombrelay::TestOptions)
#include "tst_options.moc"
