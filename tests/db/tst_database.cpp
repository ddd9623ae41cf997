// The application database: location and modes, schema on first and later starts, the added
// REBUILT columns, constraints and the CONFIG affinity.

#include "support/TempDatabase.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTest>

#include <sqlite3.h>
#include <sys/stat.h>

namespace Ombrelay
{

namespace
{
int Mode(const QString& Path)
{
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(Path).constData(), &st) != 0) {
        return -1;
    }
    return static_cast<int>(st.st_mode & 07777);
}

// Runs SQL on a file with the plain C library, outside the program's own layer.
void RawExec(const QString& File, const char* SQL)
{
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(File).constData(), &db), SQLITE_OK);
    char* error = nullptr;
    const int rc = sqlite3_exec(db, SQL, nullptr, nullptr, &error);
    const QByteArray text = error != nullptr ? QByteArray(error) : QByteArray();
    sqlite3_free(error);
    sqlite3_close(db);
    QVERIFY2(rc == SQLITE_OK, text.constData());
}

QStringList Column(TDatabase& DB, const QString& SQL)
{
    TSQLiteLock lock(DB);
    TSQLiteQuery q(DB, SQL);
    QStringList values;
    while (DB.Next()) {
        values.append(DB.GetFieldAsString(0));
    }
    return values;
}

const char* const kOriginalSchema =
    "CREATE TABLE CONFIG (\r\nNAME TEXT NOT NULL PRIMARY KEY,\r\nVALUE VARIANT)\r\n;"
    "CREATE TABLE INCOMING (\r\nID INTEGER NOT NULL PRIMARY KEY,\r\nDATE DATETIME NOT NULL,\r\n"
    "SEEN BOOLEAN NOT NULL CHECK (SEEN IN (0, 1)),\r\nPDU TEXT NOT NULL)\r\n;"
    "CREATE TABLE OUTGOING (\r\nID INTEGER NOT NULL PRIMARY KEY,\r\nDATE DATETIME NOT NULL,\r\n"
    "SENT BOOLEAN NOT NULL CHECK (SENT IN (0, 1)),\r\nPDU TEXT NOT NULL)\r\n;";
} // namespace

class TestDatabase : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void firstStartCreatesFolderFileAndTables()
    {
        TTempDatabase temp(false);
        QVERIFY(!QFileInfo::exists(temp.Folder()));
        TDatabase& db = temp.Open();
        QCOMPARE(Database, &db);
        QCOMPARE(db.FileName(), temp.FilePath());
        QCOMPARE(TDatabase::GetLocation(), temp.FilePath());

        QCOMPARE(Column(db, QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY rowid")),
                 (QStringList{"CONFIG", "INCOMING", "OUTGOING", "USAGE", "USAGEDEVICE", "MONITORLOG"}));
        for (const char* table : {"CONFIG", "INCOMING", "OUTGOING", "USAGE"}) {
            QCOMPARE(Column(db, QStringLiteral("SELECT COUNT(*) FROM %1").arg(QLatin1String(table))), QStringList{"0"});
        }
        // The statement text is kept as written, lines ended by CR LF.
        QCOMPARE(Column(db, QStringLiteral("SELECT sql FROM sqlite_master WHERE name = 'USAGE'")),
                 QStringList{"CREATE TABLE USAGE (\r\nDATE DATE NOT NULL PRIMARY KEY,\r\nINCOMING BIGINT NOT NULL,\r\n"
                             "OUTGOING BIGINT NOT NULL)"});
        TSQLiteLock lock(db);
        QCOMPARE(db.Version(), 0);
        db.FetchTable(QStringLiteral("PRAGMA journal_mode"));
        QCOMPARE(db.ResultSet(1), QStringLiteral("wal"));
        // A message deleted from the modem must already be on disk, power cut or not.
        db.FetchTable(QStringLiteral("PRAGMA synchronous"));
        QCOMPARE(db.ResultSet(1), QStringLiteral("2"));
        db.FetchTable(QStringLiteral("PRAGMA foreign_keys"));
        QCOMPARE(db.ResultSet(1), QStringLiteral("1"));
        db.FetchTable(QStringLiteral("PRAGMA encoding"));
        QCOMPARE(db.ResultSet(1), QStringLiteral("UTF-16le"));
    }

    void privateModes()
    {
        TTempDatabase temp(false);
        {
            // Left wide open by someone else: narrowed on open.
            QVERIFY(QDir().mkpath(temp.Folder()));
            QVERIFY(::chmod(QFile::encodeName(temp.Folder()).constData(), 0755) == 0);
        }
        TDatabase& db = temp.Open();
        {
            TSQLiteLock lock(db);
            db.ExecSQL(
                QStringLiteral("INSERT INTO INCOMING (DATE, SEEN, PDU) VALUES ('2017-03-09 14:05:07', 0, '00')"));
        }
        QCOMPARE(Mode(temp.Folder()), 0700);
        QCOMPARE(Mode(temp.FilePath()), 0600);
        // The write-ahead companions hold the same private data.
        QVERIFY(QFileInfo::exists(temp.FilePath() + QStringLiteral("-wal")));
        QCOMPARE(Mode(temp.FilePath() + QStringLiteral("-wal")), 0600);
        QCOMPARE(Mode(temp.FilePath() + QStringLiteral("-shm")), 0600);

        // An existing file and companions with wider modes are narrowed at the next start.
        temp.Close();
        QVERIFY(::chmod(QFile::encodeName(temp.FilePath()).constData(), 0644) == 0);
        RawExec(temp.FilePath(), "PRAGMA user_version = 0");
        for (const char* suffix : {"-wal", "-shm"}) {
            const QString companion = temp.FilePath() + QLatin1String(suffix);
            if (QFileInfo::exists(companion)) {
                QVERIFY(::chmod(QFile::encodeName(companion).constData(), 0644) == 0);
            }
        }
        QVERIFY(::chmod(QFile::encodeName(temp.Folder()).constData(), 0777) == 0);
        temp.Open();
        QCOMPARE(Mode(temp.Folder()), 0700);
        QCOMPARE(Mode(temp.FilePath()), 0600);
        for (const char* suffix : {"-wal", "-shm"}) {
            const QString companion = temp.FilePath() + QLatin1String(suffix);
            if (QFileInfo::exists(companion)) {
                QCOMPARE(Mode(companion), 0600);
            }
        }
    }

    void secondStartKeepsTablesAndRows()
    {
        TTempDatabase temp;
        auto fill = [](TDatabase& Db) {
            TSQLiteLock lock(Db);
            Db.ExecSQL(QStringLiteral("INSERT INTO CONFIG VALUES ('k', 'v');"
                                      "INSERT INTO INCOMING (DATE, SEEN, PDU) VALUES ('2017-03-09 14:05:07', 1, 'AB');"
                                      "INSERT INTO OUTGOING (DATE, SENT, PDU, REBUILT) VALUES ('2017-03-09 14:05:08', "
                                      "0, 'CD', 1);"
                                      "INSERT INTO USAGE VALUES ('2017-03-09', 5000000000, 7)"));
        };
        fill(temp.DB());
        const QString schema = QStringLiteral("SELECT name || ':' || sql FROM sqlite_master ORDER BY name");
        const QStringList before = Column(temp.DB(), schema);
        temp.Open();
        QCOMPARE(Column(temp.DB(), schema), before);
        QCOMPARE(Column(temp.DB(), QStringLiteral("SELECT NAME || '=' || VALUE FROM CONFIG")), QStringList{"k=v"});
        QCOMPARE(Column(temp.DB(), QStringLiteral("SELECT DATE || SEEN || PDU || REBUILT FROM INCOMING")),
                 QStringList{"2017-03-09 14:05:071AB0"});
        QCOMPARE(Column(temp.DB(), QStringLiteral("SELECT PDU || REBUILT FROM OUTGOING")), QStringList{"CD1"});
        QCOMPARE(Column(temp.DB(), QStringLiteral("SELECT INCOMING FROM USAGE")), QStringList{"5000000000"});
    }

    void olderFileGetsRebuiltColumns()
    {
        // A file made with the original four tables and rows in them.
        TTempDatabase temp(false);
        QVERIFY(QDir().mkpath(temp.Folder()));
        RawExec(temp.FilePath(), kOriginalSchema);
        RawExec(temp.FilePath(),
                // USAGE lacks a column: it stays that way.
                "CREATE TABLE USAGE (DATE DATE NOT NULL PRIMARY KEY, INCOMING BIGINT NOT NULL);"
                "INSERT INTO INCOMING (DATE, SEEN, PDU) VALUES ('2017-03-09 14:05:07', 1, 'AB');"
                "INSERT INTO OUTGOING (DATE, SENT, PDU) VALUES ('2017-03-09 14:05:08', 1, 'CD');");
        TDatabase& db = temp.Open();
        QCOMPARE(Column(db, QStringLiteral("SELECT PDU || ':' || REBUILT FROM INCOMING")), QStringList{"AB:0"});
        QCOMPARE(Column(db, QStringLiteral("SELECT PDU || ':' || REBUILT FROM OUTGOING")), QStringList{"CD:0"});
        QCOMPARE(Column(db, QStringLiteral("SELECT COUNT(*) FROM pragma_table_info('USAGE')")), QStringList{"2"});
        {
            TSQLiteLock lock(db);
            TSQLiteQuery q(db,
                           QStringLiteral("INSERT INTO INCOMING (DATE, SEEN, PDU, REBUILT) VALUES (?, 0, 'EF', ?)"));
            db.SetParamAsDateTime(1, Clock::Now());
            db.SetParamAsInt(2, 2);
            try {
                db.Exec();
                QFAIL("REBUILT accepted 2");
            } catch (const ESQLiteException& e) {
                QCOMPARE(e.Code(), 19);
            }
            try {
                db.ExecSQL(QStringLiteral("UPDATE USAGE SET OUTGOING = 1"));
                QFAIL("a missing column was found");
            } catch (const ESQLiteException& e) {
                QCOMPARE(e.Code(), 1);
                QCOMPARE(e.Message(),
                         QStringLiteral("TDatabase: SQL error or missing database: no such column: OUTGOING"));
            }
        }
        // A third start finds the columns and changes nothing.
        const QString schema = QStringLiteral("SELECT sql FROM sqlite_master ORDER BY name");
        const QStringList before = Column(db, schema);
        temp.Open();
        QCOMPARE(Column(temp.DB(), schema), before);
    }

    // The modem of each row: rows of older programs name none and show in every inbox; the
    // version number says which layout the file has.
    void olderFileGetsModemColumnsAndVersion()
    {
        TTempDatabase temp(false);
        QVERIFY(QDir().mkpath(temp.Folder()));
        RawExec(temp.FilePath(), kOriginalSchema);
        RawExec(temp.FilePath(), "INSERT INTO INCOMING (DATE, SEEN, PDU) VALUES ('2017-03-09 14:05:07', 1, 'AB');"
                                 "INSERT INTO OUTGOING (DATE, SENT, PDU) VALUES ('2017-03-09 14:05:08', 1, 'CD');");
        TDatabase& db = temp.Open();
        QCOMPARE(Column(db, QStringLiteral("PRAGMA user_version")),
                 QStringList{QString::number(TDatabase::SchemaVersion)});
        QCOMPARE(Column(db,
                        QStringLiteral("SELECT PDU || ':' || (DEVICE IS NULL) || (DEVICEKEY IS NULL) FROM INCOMING")),
                 QStringList{"AB:11"});
        QCOMPARE(Column(db, QStringLiteral("SELECT PDU || ':' || (DEVICE IS NULL) FROM OUTGOING")),
                 QStringList{"CD:1"});
        // A program that knows none of the columns still writes rows, which name no modem.
        RawExec(temp.FilePath(), "INSERT INTO INCOMING (DATE, SEEN, PDU) VALUES ('2017-03-09 14:05:09', 0, 'EF')");
        QCOMPARE(Column(db, QStringLiteral("SELECT COUNT(*) FROM INCOMING WHERE DEVICE IS NULL")), QStringList{"2"});
    }

    // A file written by a newer program is refused at open, with its name, before anything is
    // written to it: not a byte changes and no journal appears.
    void newerFileIsRefusedUntouched_data()
    {
        QTest::addColumn<int>("version");
        QTest::newRow("next version") << TDatabase::SchemaVersion + 1;
        QTest::newRow("far ahead") << 1000;
    }
    void newerFileIsRefusedUntouched()
    {
        QFETCH(int, version);
        TTempDatabase temp(false);
        QVERIFY(QDir().mkpath(temp.Folder()));
        RawExec(temp.FilePath(), kOriginalSchema);
        RawExec(temp.FilePath(), qPrintable(QStringLiteral("INSERT INTO INCOMING (DATE, SEEN, PDU) VALUES "
                                                           "('2030-01-01 10:00:00', 0, 'AB'); PRAGMA user_version = %1")
                                                .arg(version)));
        QFile f(temp.FilePath());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray before = f.readAll();
        f.close();
        try {
            temp.Open();
            QFAIL("a file of a newer version was opened");
        } catch (const ESQLiteException& e) {
            QVERIFY2(e.Message().contains(temp.FilePath()), qPrintable(e.Message()));
            QVERIFY2(e.Message().contains(QStringLiteral("newer version")), qPrintable(e.Message()));
            QVERIFY2(e.Message().contains(QString::number(version)), qPrintable(e.Message()));
        }
        QCOMPARE(Database, nullptr);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
        QVERIFY(!QFileInfo::exists(temp.FilePath() + QStringLiteral("-wal")));
        // The same file at this program's version opens.
        RawExec(temp.FilePath(), qPrintable(QStringLiteral("PRAGMA user_version = %1").arg(TDatabase::SchemaVersion)));
        TDatabase& db = temp.Open();
        QCOMPARE(Column(db, QStringLiteral("SELECT PDU FROM INCOMING")), QStringList{"AB"});
    }

    void constraintsAndAffinity()
    {
        TTempDatabase temp;
        TDatabase& db = temp.DB();
        TSQLiteLock lock(db);
        {
            TSQLiteQuery q(db, QStringLiteral("INSERT INTO INCOMING (DATE, SEEN, PDU) VALUES (:DATE, :SEEN, :PDU)"));
            db.SetParamByNameAsDateTime(QStringLiteral("DATE"), Clock::Now());
            db.SetParamByNameAsInt64(QStringLiteral("SEEN"), 2);
            db.SetParamByNameAsString(QStringLiteral("PDU"), QStringLiteral("00"));
            try {
                db.Exec();
                QFAIL("SEEN accepted 2");
            } catch (const ESQLiteException& e) {
                QCOMPARE(e.Code(), 19);
                QVERIFY2(e.Message().startsWith(QStringLiteral("TDatabase: Abort due to constraint violation: ")),
                         qPrintable(e.Message()));
            }
        }
        {
            // Numeric affinity: a well-formed number given as text is stored as the number.
            TSQLiteQuery q(db, QStringLiteral("INSERT OR REPLACE INTO CONFIG (NAME, VALUE) VALUES (?, ?)"));
            const QList<QPair<QString, QString>> rows{{"a", "0123"}, {"b", "+123"}, {"c", "0123,0456"}, {"d", ""}};
            for (const auto& [name, value] : rows) {
                db.SetParamAsString(1, name);
                db.SetParamAsString(2, value);
                db.Exec();
            }
        }
        TSQLiteQuery q(db, QStringLiteral("SELECT typeof(VALUE), VALUE FROM CONFIG ORDER BY NAME"));
        QStringList got;
        while (db.Next()) {
            got.append(db.GetFieldAsString(0) + QLatin1Char(':') + db.GetFieldAsString(1));
        }
        QCOMPARE(got, (QStringList{"integer:123", "integer:123", "text:0123,0456", "text:"}));
    }

    // The structural check reads the whole file: a small one is checked at every open, a large one
    // once a day. Damage in a large file checked an hour ago waits for the next day's check.
    void largeFileCheckedOnceADay_data()
    {
        QTest::addColumn<bool>("large");
        // Hours since the last passed check; -1 never, -2 a time in the future (clock set back).
        QTest::addColumn<int>("checkedHoursAgo");
        QTest::addColumn<bool>("damaged");
        QTest::addColumn<bool>("opened");
        QTest::newRow("small, checked an hour ago: checked") << false << 1 << true << false;
        QTest::newRow("large, never checked: checked") << true << -1 << true << false;
        QTest::newRow("large, checked a day ago: checked") << true << 25 << true << false;
        QTest::newRow("large, time in the future: checked") << true << -2 << true << false;
        QTest::newRow("large, checked an hour ago: not yet") << true << 1 << true << true;
        QTest::newRow("large, never checked, intact: recorded") << true << -1 << false << true;
    }
    void largeFileCheckedOnceADay()
    {
        QFETCH(bool, large);
        QFETCH(int, checkedHoursAgo);
        QFETCH(bool, damaged);
        QFETCH(bool, opened);
        TTempDatabase temp;
        const QString file = temp.FilePath();
        temp.Close();
        if (checkedHoursAgo != -1) {
            const QDateTime at =
                QDateTime::currentDateTimeUtc().addSecs(checkedHoursAgo == -2 ? 3600 : -qint64(checkedHoursAgo) * 3600);
            RawExec(file,
                    qPrintable(QStringLiteral("INSERT INTO CONFIG (NAME, VALUE) VALUES ('database.checked', '%1')")
                                   .arg(at.toString(Qt::ISODate))));
        }
        // A few hundred pages of messages, the last of them damaged.
        RawExec(file,
                "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
                "INSERT INTO INCOMING (DATE, SEEN, PDU) SELECT '2030-01-01 10:00:00', 0, printf('%0300d', i) FROM n");
        QVERIFY(!QFileInfo::exists(file + QStringLiteral("-wal")));
        if (damaged) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.size() > 100 * 4096);
            QVERIFY(f.seek((f.size() / 4096 - 3) * 4096));
            f.write(QByteArray(4096, '\xA5'));
        }
        TDatabase::SetCheckEveryOpenBytes(large ? 64 * 1024 : TDatabase::DefaultCheckEveryOpenBytes);
        const auto restore =
            qScopeGuard([] { TDatabase::SetCheckEveryOpenBytes(TDatabase::DefaultCheckEveryOpenBytes); });
        try {
            TDatabase& db = temp.Open();
            QVERIFY2(opened, "a damaged file due for its check was opened");
            const QStringList checked =
                Column(db, QStringLiteral("SELECT VALUE FROM CONFIG WHERE NAME = 'database.checked'"));
            QCOMPARE(checked.size(), 1);
            const QDateTime at = QDateTime::fromString(checked.first(), Qt::ISODate);
            // A check that ran is recorded; one that did not leaves the last one's time.
            QCOMPARE(qAbs(at.secsTo(QDateTime::currentDateTimeUtc())) < 600, !damaged);
        } catch (const ESQLiteException& e) {
            QVERIFY2(!opened, qPrintable(e.Message()));
            QCOMPARE(e.Code(), SQLITE_CORRUPT);
        }
    }

    void unusableFileFailsWithoutHarm()
    {
        TTempDatabase temp(false);
        QVERIFY(QDir().mkpath(temp.Folder()));
        QFile f(temp.FilePath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(2048, '\x5a'));
        f.close();
        try {
            temp.Open();
            QFAIL("a file that is not a database was opened");
        } catch (const ESQLiteException& e) {
            QCOMPARE(e.Code(), 26);
            QCOMPARE(e.Message(), QStringLiteral("TDatabase: Unknown DB error (26): file is not a database"));
        }
        QCOMPARE(Database, nullptr);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray(2048, '\x5a'));
    }

    void locationFollowsXdg()
    {
        TTempDatabase temp(false);
        const QByteArray oldHome = qgetenv("HOME");
        const QString home = temp.DataHome() + QStringLiteral("/home");
        qputenv("HOME", QFile::encodeName(home));
        // No XDG_DATA_HOME, or a relative one: the default below the home folder.
        for (const char* xdg : {"", "relative/path"}) {
            if (*xdg == 0) {
                qunsetenv("XDG_DATA_HOME");
            } else {
                qputenv("XDG_DATA_HOME", xdg);
            }
            QCOMPARE(TDatabase::GetLocation(), home + QStringLiteral("/.local/share/Virelle/Ombrelay/Ombrelay.DB"));
        }
        QCOMPARE(Mode(home + QStringLiteral("/.local/share/Virelle/Ombrelay")), 0700);
        QVERIFY(!QFileInfo::exists(QStringLiteral("relative/path")));
        qputenv("HOME", oldHome);
        qputenv("XDG_DATA_HOME", QFile::encodeName(temp.DataHome() + QStringLiteral("/")));
        QCOMPARE(TDatabase::GetLocation(), temp.FilePath());
    }
};

} // namespace Ombrelay

QTEST_GUILESS_MAIN(Ombrelay::TestDatabase)
#include "tst_database.moc"
