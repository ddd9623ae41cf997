// Two programs on one database file (two sessions of one user, one home folder): a write of one
// waits for a short write of the other instead of failing with "database is locked", and a
// write lock that is held too long is still reported. Another process that opens the file
// while the program holds it (ombrelayctl, the sqlite3 shell) finds its write-ahead-log index in
// use instead of resetting it under the program.

#include "core/DB.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

using namespace Ombrelay;

namespace
{
// The byte of the index file that its owners hold read-locked (SQLite's unix VFS: 120 + 8).
constexpr off_t kDeadManSwitch = 128;
} // namespace

class TestSharedDatabase : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void secondWriterWaits_data();
    void secondWriterWaits();
    void otherProcessSeesTheIndexOwned();
    void twoStartsOnANewFile();
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

// SQLite's shared-memory index belongs to whoever holds a read lock on its "dead man switch"
// byte; a process that finds that byte unlocked truncates the index and rebuilds it while the
// program still writes through its mapping of it (SIGBUS, or a log that two processes index
// apart). POSIX locks are dropped when the process closes any descriptor of the file, so nothing
// of ours may open and close the companions of an open database.
void TestSharedDatabase::otherProcessSeesTheIndexOwned()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("Ombrelay.DB"));
    // The second start of the program, on a file already in write-ahead-log mode.
    TDatabase::Create(file).reset();
    std::unique_ptr<TDatabase> db = TDatabase::Create(file);
    {
        TSQLiteLock lock(*db);
        db->ExecSQL(QStringLiteral("INSERT INTO USAGE (DATE, INCOMING, OUTGOING) VALUES ('2026-01-01', 1, 1)"));
    }
    const QByteArray shm = QFile::encodeName(file) + "-shm";
    const pid_t child = ::fork();
    if (child == 0) {
        // What another process's connection asks before it takes the index over.
        const int fd = ::open(shm.constData(), O_RDWR | O_CLOEXEC);
        struct flock probe
        {
        };
        probe.l_type = F_WRLCK;
        probe.l_whence = SEEK_SET;
        probe.l_start = kDeadManSwitch;
        probe.l_len = 1;
        const bool owned = fd >= 0 && ::fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type == F_RDLCK;
        ::_exit(owned ? 0 : 1);
    }
    QVERIFY(child > 0);
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QVERIFY2(WEXITSTATUS(status) == 0, "the shared-memory index looks unowned to another process");
}

// Two programs starting at the same moment on a database neither has made yet (two sessions
// logging in at once): both open it, in write-ahead-log mode. The switch into that mode is
// where SQLite answers "database is locked" at once instead of waiting; a race, so it is run
// often enough to lose it.
void TestSharedDatabase::twoStartsOnANewFile()
{
    constexpr int kRounds = 25;
    for (int round = 0; round < kRounds; ++round) {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString file = dir.filePath(QStringLiteral("Ombrelay.DB"));
        std::unique_ptr<TDatabase> opened[2];
        QString errors[2];
        std::atomic<int> ready{0};
        std::atomic<bool> go{false};
        auto start = [&](int Which) {
            ++ready;
            while (!go) {
                std::this_thread::yield();
            }
            try {
                opened[Which] = TDatabase::Create(file);
            } catch (const std::exception& e) {
                errors[Which] = QString::fromUtf8(e.what());
            }
        };
        std::thread first(start, 0);
        std::thread second(start, 1);
        while (ready < 2) {
            std::this_thread::yield();
        }
        go = true;
        first.join();
        second.join();
        for (int n = 0; n < 2; ++n) {
            QVERIFY2(errors[n].isEmpty(), qPrintable(QStringLiteral("round %1: %2").arg(round).arg(errors[n])));
            TSQLiteLock lock(*opened[n]);
            opened[n]->FetchTable(QStringLiteral("PRAGMA journal_mode"));
            QCOMPARE(opened[n]->GetResultSet(1), QStringLiteral("wal"));
        }
    }
}

QTEST_GUILESS_MAIN(TestSharedDatabase)
#include "tst_shared_database.moc"
