// Two programs on one database file (two sessions of one user, one home folder): a write of one
// waits for a short write of the other instead of failing with "database is locked", and a
// write lock that is held too long is still reported.

#include "core/DB.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

using namespace Ombrelay;

class TestSharedDatabase : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void secondWriterWaits_data();
    void secondWriterWaits();
};

void TestSharedDatabase::secondWriterWaits_data()
{
    QTest::addColumn<int>("HoldMs");
    QTest::addColumn<bool>("InTransaction");
    QTest::addColumn<bool>("Succeeds");

    QTest::newRow("single statement, lock held 0.5 s") << 500 << false << true;
    QTest::newRow("transaction, lock held 0.5 s") << 500 << true << true;
    QTest::newRow("lock held past the time-out") << TDatabase::BusyTimeoutMs + 1500 << false << false;
}

void TestSharedDatabase::secondWriterWaits()
{
    QFETCH(int, HoldMs);
    QFETCH(bool, InTransaction);
    QFETCH(bool, Succeeds);

    QTemporaryDir Dir;
    QVERIFY(Dir.isValid());
    const QString File = Dir.filePath(QStringLiteral("Ombrelay.DB"));
    // Two connections, as two programs open the file.
    std::unique_ptr<TDatabase> First = TDatabase::Create(File);
    std::unique_ptr<TDatabase> Second = TDatabase::Create(File);

    std::atomic<bool> Holding{false};
    std::thread Holder([&] {
        TSQLiteLock Lock(*First);
        First->BeginTrans();
        First->ExecSQL(QStringLiteral("INSERT INTO USAGE (DATE, INCOMING, OUTGOING) VALUES ('2026-01-01', 1, 1)"));
        Holding = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(HoldMs));
        First->CommitTrans();
    });
    while (!Holding) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }

    QElapsedTimer Timer;
    Timer.start();
    QString Error;
    try {
        TSQLiteLock Lock(*Second);
        if (InTransaction) {
            Second->BeginTrans();
        }
        Second->ExecSQL(QStringLiteral("INSERT INTO USAGE (DATE, INCOMING, OUTGOING) VALUES ('2026-01-02', 2, 2)"));
        if (InTransaction) {
            Second->CommitTrans();
        }
    } catch (const ESQLiteException& E) {
        Error = E.Message() + QStringLiteral(" code %1").arg(E.Code());
        TSQLiteLock Lock(*Second);
        if (Second->InTransaction()) {
            Second->RollbackTrans();
        }
    }
    const qint64 Waited = Timer.elapsed();
    Holder.join();

    if (Succeeds) {
        QVERIFY2(Error.isEmpty(), qPrintable(Error));
        // It did wait for the other program's commit.
        QVERIFY2(Waited >= HoldMs - 150, qPrintable(QString::number(Waited)));
    } else {
        QVERIFY2(Error.contains(QLatin1String("locked")), qPrintable(Error));
        QVERIFY2(Waited >= TDatabase::BusyTimeoutMs - 150, qPrintable(QString::number(Waited)));
    }
    // Both programs read what was committed.
    for (TDatabase* Db : {First.get(), Second.get()}) {
        TSQLiteLock Lock(*Db);
        Db->FetchTable(QStringLiteral("SELECT COUNT(*) FROM USAGE"));
        QCOMPARE(Db->GetResultSet(1), Succeeds ? QStringLiteral("2") : QStringLiteral("1"));
    }
}

QTEST_GUILESS_MAIN(TestSharedDatabase)
#include "tst_shared_database.moc"
