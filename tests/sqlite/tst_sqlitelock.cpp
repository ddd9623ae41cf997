// One connection shared by threads under the re-entrant lock.

#include "TestDB.h"

#include <QSemaphore>
#include <QTest>
#include <QThread>

#include <atomic>
#include <thread>

namespace Ombrelay
{

class TestSQLiteLock : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir FDir{TestTempBase()};
    std::unique_ptr<TTestDB> FDB;

private Q_SLOTS:
    void init()
    {
        TTestDB::InitSQL = QStringLiteral("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL; "
                                          "CREATE TABLE IF NOT EXISTS T (ID INTEGER PRIMARY KEY, WHO INTEGER, "
                                          "SEQ INTEGER)");
        FDB = TTestDB::Make(FDir.filePath(QStringLiteral("lock.db")), true);
        TTestDB::InitSQL.clear();
    }

    void cleanup()
    {
        FDB.reset();
        QFile::remove(FDir.filePath(QStringLiteral("lock.db")));
    }

    void twoThreadsShareTheConnection()
    {
        // Each thread runs whole sequences (prepared insert, row id, read back) under the lock;
        // a sequence must never see the other thread's statement or row id.
        constexpr int kRounds = 200;
        std::atomic<int> failures{0};
        auto worker = [&](int Who) {
            for (int i = 0; i < kRounds; ++i) {
                try {
                    TSQLiteLock lock(*FDB);
                    qint64 id = 0;
                    {
                        TSQLiteQuery q(*FDB, QStringLiteral("INSERT INTO T (WHO, SEQ) VALUES (:WHO, :SEQ)"));
                        FDB->SetParamByNameAsInt64(QStringLiteral("WHO"), Who);
                        FDB->SetParamByNameAsInt64(QStringLiteral("SEQ"), i);
                        FDB->Exec();
                        id = FDB->LastInsertRowId();
                        if (FDB->RowsAffected() != 1) {
                            ++failures;
                        }
                    }
                    // Re-entrant: a nested helper takes the lock again.
                    TSQLiteLock inner(*FDB);
                    TSQLiteQuery q(*FDB, QStringLiteral("SELECT WHO, SEQ FROM T WHERE ID = ?"));
                    FDB->SetParamAsInt64(1, id);
                    if (!FDB->Next() || FDB->GetFieldByNameAsInt(QStringLiteral("who")) != Who ||
                        FDB->GetFieldByNameAsInt(QStringLiteral("seq")) != i) {
                        ++failures;
                    }
                } catch (...) {
                    ++failures;
                }
                if (i % 16 == 0) {
                    QThread::yieldCurrentThread();
                }
            }
        };
        // Standard threads: their join is an ordering that thread checkers can see.
        std::thread a(worker, 1);
        std::thread b(worker, 2);
        a.join();
        b.join();
        QCOMPARE(failures.load(), 0);

        TSQLiteLock lock(*FDB);
        TSQLiteQuery q(*FDB, QStringLiteral("SELECT WHO, COUNT(*), COUNT(DISTINCT SEQ) FROM T GROUP BY WHO"));
        for (int who = 1; who <= 2; ++who) {
            QVERIFY(FDB->Next());
            QCOMPARE(FDB->GetFieldAsInt(0), who);
            QCOMPARE(FDB->GetFieldAsInt(1), kRounds);
            QCOMPARE(FDB->GetFieldAsInt(2), kRounds);
        }
    }

    void lockHeldByAnotherThreadIsNotEnough()
    {
        // Another thread holds the lock: this thread's calls must still be refused, since the
        // shared statement would otherwise be used by two threads at once.
        QSemaphore held;
        QSemaphore release;
        std::thread holder([&] {
            TSQLiteLock lock(*FDB);
            held.release();
            release.acquire();
        });
        held.acquire();
        auto refused = [](auto&& Call) {
            try {
                Call();
            } catch (const EAssertionFailed&) {
                return true;
            }
            return false;
        };
        const bool openRefused = refused([&] { FDB->OpenQuery(QStringLiteral("SELECT 1")); });
        const bool execRefused = refused([&] { FDB->ExecSQL(QStringLiteral("INSERT INTO T (WHO) VALUES (9)")); });
        const bool beginRefused = refused([&] { FDB->BeginTrans(); });
        // Nor may this thread release the other thread's lock.
        const bool unlockRefused = refused([&] { FDB->Unlock(); });
        const bool lockedHere = FDB->LockedByCurrentThread();
        release.release();
        holder.join();
        QVERIFY(openRefused);
        QVERIFY(execRefused);
        QVERIFY(beginRefused);
        QVERIFY(unlockRefused);
        QVERIFY(!lockedHere);

        // Once free, this thread takes it and works; nothing was written by the refused calls.
        TSQLiteLock lock(*FDB);
        FDB->FetchTable(QStringLiteral("SELECT COUNT(*) FROM T"));
        QCOMPARE(FDB->ResultSet(1), QStringLiteral("0"));
        QVERIFY(!FDB->QueryOpen());
    }

    void lockBlocksOtherThreads()
    {
        // While this thread holds the lock, another thread's Lock waits.
        std::atomic<bool> entered{false};
        FDB->Lock();
        std::thread other([&] {
            TSQLiteLock lock(*FDB);
            entered = true;
        });
        QTest::qWait(100);
        const bool enteredEarly = entered.load();
        FDB->Unlock();
        other.join();
        QVERIFY(!enteredEarly);
        QVERIFY(entered.load());
    }
};

} // namespace Ombrelay

QTEST_GUILESS_MAIN(Ombrelay::TestSQLiteLock)
#include "tst_sqlitelock.moc"
