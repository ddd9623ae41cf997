// The module start-up and shut-down: globals set in order, cleared in reverse, the database
// closed last, a failing start undone.

#include "core/Common.h"
#include "core/Modules.h"
#include "core/Usage.h"
#include "support/TempDatabase.h"

#include <QFile>
#include <QTest>

namespace Ombrelay
{

class TestModules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startAndShutDown()
    {
        TTempDatabase temp(false);
        {
            TModules modules;
            QVERIFY(Database != nullptr);
            QVERIFY(Options != nullptr);
            QCOMPARE(Database->FileName(), temp.FilePath());
            // The usage thread samples from start-up on, independent of any window.
            QVERIFY(UsageThread != nullptr);
            QVERIFY(UsageThread->isRunning());
            // The program's markers exist while it runs.
            for (const QString& path : AppMutexPaths(QString::fromLatin1(ProgramName))) {
                QVERIFY2(QFile::exists(path), qPrintable(path));
            }
            // Options starts empty; the main window loads it.
            QVERIFY(!Options->Loaded());
            Options->LoadOptions();
            Options->SaveOptions();
            // A second start-up in the same process is a programming error.
            QVERIFY_THROWS_EXCEPTION(EAssertionFailed, TModules());
            QVERIFY(Database != nullptr);
        }
        QCOMPARE(Database, nullptr);
        QCOMPARE(Options, nullptr);
        QCOMPARE(UsageThread, nullptr);
        // A later start finds what the first one wrote.
        TModules again;
        TSQLiteLock lock(*Database);
        Database->FetchTable(QStringLiteral("SELECT COUNT(*) FROM CONFIG"));
        QCOMPARE(Database->ResultSet(1), QStringLiteral("11"));
    }

    void failedStartLeavesNothing()
    {
        TTempDatabase temp(false);
        QVERIFY(QDir().mkpath(temp.Folder()));
        QFile f(temp.FilePath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(1024, 'x'));
        f.close();
        QVERIFY_THROWS_EXCEPTION(ESQLiteException, TModules());
        QCOMPARE(Database, nullptr);
        QCOMPARE(Options, nullptr);
        QCOMPARE(UsageThread, nullptr);
    }
};

} // namespace Ombrelay

QTEST_GUILESS_MAIN(Ombrelay::TestModules)
#include "tst_modules.moc"
