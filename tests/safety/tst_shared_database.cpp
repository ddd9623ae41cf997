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

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("Ombrelay.DB"));
    // Two connections, as two programs open the file.
    std::unique_ptr<TDatabase> first = TDatabase::Create(file);
    std::unique_ptr<TDatabase> second = TDatabase::Create(file);

    std::atomic<bool> holding{false};
    std::thread holder([&] {
        TSQLiteLock lock(*first);
        first->BeginTrans();
        first->ExecSQL(QStringLiteral("INSERT INTO USAGE (DATE, INCOMING, OUTGOING) VALUES ('2026-01-01', 1, 1)"));
        holding = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(HoldMs));
        first->CommitTrans();
    });
    while (!holding) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }

    QElapsedTimer timer;
    timer.start();
    QString error;
    try {
        TSQLiteLock lock(*second);
        if (InTransaction) {
            second->BeginTrans();
        }
        second->ExecSQL(QStringLiteral("INSERT INTO USAGE (DATE, INCOMING, OUTGOING) VALUES ('2026-01-02', 2, 2)"));
        if (InTransaction) {
            second->CommitTrans();
        }
    } catch (const ESQLiteException& e) {
        error = e.Message() + QStringLiteral(" code %1").arg(e.Code());
        TSQLiteLock lock(*second);
        if (second->InTransaction()) {
            second->RollbackTrans();
        }
    }
    const qint64 waited = timer.elapsed();
    holder.join();

    if (Succeeds) {
        QVERIFY2(error.isEmpty(), qPrintable(error));
        // It did wait for the other program's commit.
        QVERIFY2(waited >= HoldMs - 150, qPrintable(QString::number(waited)));
    } else {
        QVERIFY2(error.contains(QLatin1String("locked")), qPrintable(error));
        QVERIFY2(waited >= TDatabase::BusyTimeoutMs - 150, qPrintable(QString::number(waited)));
    }
    // Both programs read what was committed.
    for (TDatabase* db : {first.get(), second.get()}) {
        TSQLiteLock lock(*db);
        db->FetchTable(QStringLiteral("SELECT COUNT(*) FROM USAGE"));
        QCOMPARE(db->GetResultSet(1), Succeeds ? QStringLiteral("2") : QStringLiteral("1"));
    }
}

QTEST_GUILESS_MAIN(TestSharedDatabase)
#include "tst_shared_database.moc"
