// The access layer over a real database file: stored date forms, binding, column access,
// the lock precondition, errors and their messages, the registered collations and functions.

#include "TestDB.h"

#include <QFile>
#include <QTest>

namespace Ombrelay
{

namespace
{
TDateTime MakeDT(int Y, int M, int D, int H = 0, int N = 0, int S = 0, int Ms = 0)
{
    TDateTime date = 0;
    TDateTime time = 0;
    if (!TryEncodeDate(Y, M, D, date) || !TryEncodeTime(H, N, S, Ms, time)) {
        qFatal("bad test date");
    }
    return date + time;
}
} // namespace

class TestSQLiteDB : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir FDir{TestTempBase()};
    std::unique_ptr<TTestDB> FDB;
    int FFileNo = 0;

    QString NewFile() { return FDir.filePath(QStringLiteral("t%1.db").arg(++FFileNo)); }

    // A single value of the one-row table T read back as (type, text).
    QPair<QString, QString> StoredValue(const QString& Column)
    {
        TSQLiteLock lock(*FDB);
        TSQLiteQuery q(*FDB, QStringLiteral("SELECT typeof(%1), %1 FROM T").arg(Column));
        if (!FDB->Next()) {
            return {};
        }
        return {FDB->GetFieldAsString(0), FDB->GetFieldAsString(1)};
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(FDir.isValid());
        // The collations follow the user's locale; fix one so the order is known.
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void init()
    {
        TTestDB::InitSQL = QStringLiteral("CREATE TABLE IF NOT EXISTS T (ID INTEGER PRIMARY KEY, S, D, N, "
                                          "B BOOLEAN CHECK (B IN (0, 1)))");
        FDB = TTestDB::Make(NewFile(), true);
        TTestDB::InitSQL.clear();
    }

    void cleanup() { FDB.reset(); }

    void readsStoredDateForms_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<double>("expected");
        QTest::newRow("date-time") << QVariant(QStringLiteral("2017-03-09 14:05:07")) << MakeDT(2017, 3, 9, 14, 5, 7);
        QTest::newRow("date") << QVariant(QStringLiteral("2017-03-09")) << MakeDT(2017, 3, 9);
        QTest::newRow("8 characters") << QVariant(QStringLiteral("2017-3-9")) << 0.0;
        QTest::newRow("month 13") << QVariant(QStringLiteral("2017-13-01")) << 0.0;
        QTest::newRow("day 32") << QVariant(QStringLiteral("2017-01-32")) << 0.0;
        QTest::newRow("hour 24") << QVariant(QStringLiteral("2017-03-09 24:00:00")) << 0.0;
        QTest::newRow("letters") << QVariant(QStringLiteral("20x7-03-09")) << 0.0;
        QTest::newRow("signed field") << QVariant(QStringLiteral("2017-+3-09")) << 0.0;
        QTest::newRow("separators ignored")
            << QVariant(QStringLiteral("2017/03/09T14:05:07")) << MakeDT(2017, 3, 9, 14, 5, 7);
        QTest::newRow("NULL") << QVariant() << 0.0;
        QTest::newRow("zero date") << QVariant(QStringLiteral("1899-12-30 00:00:00")) << 0.0;
    }

    void readsStoredDateForms()
    {
        QFETCH(QVariant, stored);
        QFETCH(double, expected);
        TSQLiteLock lock(*FDB);
        {
            TSQLiteQuery q(*FDB, QStringLiteral("INSERT INTO T (D) VALUES (?)"));
            if (stored.isNull()) {
                FDB->ParamSetNull(1);
            } else {
                FDB->SetParamAsString(1, stored.toString());
            }
            FDB->Exec();
        }
        TSQLiteQuery q(*FDB, QStringLiteral("SELECT D FROM T"));
        QVERIFY(FDB->Next());
        QCOMPARE(FDB->GetFieldAsDateTime(0), expected);
        QCOMPARE(FDB->GetFieldByNameAsDateTime(QStringLiteral("d")), expected);
    }

    void writesStoredDateForms_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<bool>("withTime");
        QTest::addColumn<bool>("nullZero");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("text");
        const double late = MakeDT(2017, 3, 9, 14, 5, 7, 999);
        QTest::newRow("ms dropped") << late << true << false << "text"
                                    << "2017-03-09 14:05:07";
        QTest::newRow("date drops time") << late << false << false << "text"
                                         << "2017-03-09";
        QTest::newRow("half ms rounds up") << late + 0.6 / kMsPerDay << true << false << "text"
                                           << "2017-03-09 14:05:08";
        QTest::newRow("zero date-time kept") << 0.0 << true << false << "text"
                                             << "1899-12-30 00:00:00";
        QTest::newRow("zero date kept") << 0.0 << false << false << "text"
                                        << "1899-12-30";
        QTest::newRow("zero date-time NULL") << 0.0 << true << true << "null"
                                             << "";
        QTest::newRow("zero date NULL") << 0.0 << false << true << "null"
                                        << "";
        QTest::newRow("non-zero with NullZero") << MakeDT(2000, 1, 2) << false << true << "text"
                                                << "2000-01-02";
    }

    void writesStoredDateForms()
    {
        QFETCH(double, value);
        QFETCH(bool, withTime);
        QFETCH(bool, nullZero);
        QFETCH(QString, type);
        QFETCH(QString, text);
        FDB->SetNullZeroDateTime(nullZero);
        {
            TSQLiteLock lock(*FDB);
            TSQLiteQuery q(*FDB, QStringLiteral("INSERT INTO T (D) VALUES (:D)"));
            if (withTime) {
                FDB->SetParamByNameAsDateTime(QStringLiteral("D"), value);
            } else {
                FDB->SetParamByNameAsDate(QStringLiteral("D"), value);
            }
            FDB->Exec();
        }
        QCOMPARE(StoredValue(QStringLiteral("D")), qMakePair(type, text));
        if (type == QLatin1String("text")) {
            QCOMPARE(TSQLiteDB::DateToDBText(value, withTime), text);
        }
    }

    void storedFormsRoundTrip()
    {
        // Text order is time order, so BETWEEN and ORDER BY work on the stored text.
        const double a = MakeDT(2017, 3, 9, 9, 5, 7);
        const double b = MakeDT(2017, 3, 10, 0, 0, 0);
        const double c = MakeDT(2017, 12, 1, 23, 59, 59);
        TSQLiteLock lock(*FDB);
        {
            TSQLiteQuery q(*FDB, QStringLiteral("INSERT INTO T (D) VALUES (?)"));
            for (double v : {c, a, b}) {
                FDB->SetParamAsDateTime(1, v);
                FDB->Exec();
            }
        }
        TSQLiteQuery q(*FDB, QStringLiteral("SELECT D FROM T WHERE D BETWEEN ? AND ? ORDER BY D"));
        FDB->SetParamAsDate(1, a);
        FDB->SetParamAsDateTime(2, c);
        QList<double> got;
        while (FDB->Next()) {
            got.append(FDB->GetFieldAsDateTime(0));
        }
        QCOMPARE(got, (QList<double>{a, b, c}));
    }

    void emptyStrings_data()
    {
        QTest::addColumn<bool>("nullEmpty");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("type");
        QTest::newRow("empty kept") << false << QString() << "text";
        QTest::newRow("empty as NULL") << true << QString() << "null";
        QTest::newRow("non-empty with NullEmpty") << true << QStringLiteral("x") << "text";
    }

    void emptyStrings()
    {
        QFETCH(bool, nullEmpty);
        QFETCH(QString, value);
        QFETCH(QString, type);
        FDB->SetNullEmptyStrings(nullEmpty);
        {
            TSQLiteLock lock(*FDB);
            TSQLiteQuery q(*FDB, QStringLiteral("INSERT INTO T (S) VALUES (:S)"));
            FDB->SetParamByNameAsString(QStringLiteral("S"), value);
            FDB->Exec();
        }
        QCOMPARE(StoredValue(QStringLiteral("S")).first, type);
    }

    void textIsUtf16()
    {
        // Characters outside the BMP and a zero character inside the text.
        const QString text = QStringLiteral("h\u00e9llo \U0001F600 \u4e2d");
        const QString withZero = QStringLiteral("ab") + QChar(0) + QStringLiteral("cd");
        TSQLiteLock lock(*FDB);
        {
            TSQLiteQuery q(*FDB, QStringLiteral("INSERT INTO T (ID, S) VALUES (?, ?)"));
            FDB->SetParamAsInt(1, 1);
            FDB->SetParamAsString(2, text);
            FDB->Exec();
            FDB->SetParamAsInt(1, 2);
            FDB->SetParamAsString(2, withZero);
            FDB->Exec();
        }
        TSQLiteQuery q(*FDB, QStringLiteral("SELECT S, length(S) FROM T ORDER BY ID"));
        QVERIFY(FDB->Next());
        QCOMPARE(FDB->GetFieldAsString(0), text);
        QVERIFY(FDB->Next());
        // Stored whole, read up to the zero character.
        QCOMPARE(FDB->GetFieldAsInt(1), 2);
        QCOMPARE(FDB->GetFieldAsString(0), QStringLiteral("ab"));
    }

    void bindingPreconditions_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("ok");
        QTest::newRow("named") << "SELECT COUNT(*) FROM T WHERE S = :NAME"
                               << "NAME" << true;
        QTest::newRow("case matters") << "SELECT COUNT(*) FROM T WHERE S = :NAME"
                                      << "name" << false;
        QTest::newRow("unknown name") << "SELECT COUNT(*) FROM T WHERE S = :NAME"
                                      << "OTHER" << false;
        QTest::newRow("question mark") << "SELECT COUNT(*) FROM T WHERE S = ?"
                                       << "1" << false;
        QTest::newRow("colon given") << "SELECT COUNT(*) FROM T WHERE S = :NAME"
                                     << ":NAME" << false;
    }

    void bindingPreconditions()
    {
        QFETCH(QString, sql);
        QFETCH(QString, name);
        QFETCH(bool, ok);
        TSQLiteLock lock(*FDB);
        {
            TSQLiteQuery q(*FDB, QStringLiteral("INSERT INTO T (S) VALUES ('v')"));
            FDB->Exec();
        }
        TSQLiteQuery q(*FDB, sql);
        if (ok) {
            FDB->SetParamByNameAsString(name, QStringLiteral("v"));
            QVERIFY(FDB->Next());
            QCOMPARE(FDB->GetFieldAsInt(0), 1);
        } else {
            QVERIFY_THROWS_EXCEPTION(EAssertionFailed, FDB->SetParamByNameAsString(name, QStringLiteral("v")));
        }
        // Indexes are 1-based and bounded by the statement's parameter count.
        QVERIFY_THROWS_EXCEPTION(EAssertionFailed, FDB->SetParamAsInt(0, 1));
        QVERIFY_THROWS_EXCEPTION(EAssertionFailed, FDB->SetParamAsInt(2, 1));
    }

    void columnsByName()
    {
        TSQLiteLock lock(*FDB);
        {
            TSQLiteQuery q(*FDB, QStringLiteral("SELECT 1 AS ID, 2 AS id, 'x' AS \u00c4RA, NULL AS N"));
            QCOMPARE(FDB->Columns(), (QStringList{"ID", "id", "\u00c4RA", "N"}));
            QVERIFY(FDB->Next());
            // Case ignored; the first of two equal names wins, asked twice (the second from the cache).
            QCOMPARE(FDB->GetFieldByNameAsInt(QStringLiteral("id")), 1);
            QCOMPARE(FDB->GetFieldByNameAsInt(QStringLiteral("id")), 1);
            QCOMPARE(FDB->GetFieldByNameAsString(QStringLiteral("\u00e4ra")), QStringLiteral("x"));
            QVERIFY(FDB->GetFieldByNameIsNull(QStringLiteral("n")));
            QCOMPARE(FDB->GetFieldByNameAsInt64(QStringLiteral("N")), 0);
            QVERIFY_THROWS_EXCEPTION(EAssertionFailed, FDB->GetFieldByNameAsInt(QStringLiteral("IDX")));
            QVERIFY_THROWS_EXCEPTION(EAssertionFailed, FDB->GetFieldAsInt(4));
            QVERIFY_THROWS_EXCEPTION(EAssertionFailed, FDB->GetFieldAsInt(-1));
        }
        // A new query has its own columns: a name looked up before is looked up again.
        TSQLiteQuery q(*FDB, QStringLiteral("SELECT 7 AS X, 8 AS ID"));
        QVERIFY(FDB->Next());
        QCOMPARE(FDB->GetFieldByNameAsInt(QStringLiteral("id")), 8);
        QVERIFY_THROWS_EXCEPTION(EAssertionFailed, FDB->GetFieldByNameAsString(QStringLiteral("\u00e4ra")));
    }

    void queryCycle()
    {
        // Without a query, the query operations are precondition failures.
        TSQLiteLock lock(*FDB);
        QVERIFY(!FDB->QueryOpen());
        QVERIFY_THROWS_EXCEPTION(EAssertionFailed, FDB->Next());
        QVERIFY_THROWS_EXCEPTION(EAssertionFailed, FDB->Exec());
        QVERIFY_THROWS_EXCEPTION(EAssertionFailed, FDB->FreeQuery());
        QVERIFY_THROWS_EXCEPTION(EAssertionFailed, FDB->GetFieldAsString(0));

        // One prepared INSERT re-bound and re-run; each run reports its own row id.
        FDB->OpenQuery(QStringLiteral("INSERT INTO T (S, N) VALUES (?, ?)"));
        // A second open would lose the first statement.
        QVERIFY_THROWS_EXCEPTION(EAssertionFailed, FDB->OpenQuery(QStringLiteral("SELECT 1")));
        for (int i = 1; i <= 3; ++i) {
            FDB->SetParamAsString(1, QStringLiteral("row %1").arg(i));
            FDB->SetParamAsInt64(2, Q_INT64_C(1) << (30 + i));
            FDB->Exec();
            QCOMPARE(FDB->RowsAffected(), 1);
            QCOMPARE(FDB->LastInsertRowId(), i);
        }
        // The bindings stay: one more Exec repeats the last row.
        FDB->Exec();
        FDB->FreeQuery();
        QVERIFY(FDB->Columns().isEmpty());

        TSQLiteQuery q(*FDB, QStringLiteral("SELECT S, N, N / 2.0 AS H FROM T ORDER BY ID"));
        QStringList names;
        QList<qint64> numbers;
        while (FDB->Next()) {
            names.append(FDB->GetFieldAsString(0));
            numbers.append(FDB->GetFieldByNameAsInt64(QStringLiteral("n")));
            QCOMPARE(FDB->GetFieldByNameAsDouble(QStringLiteral("H")), numbers.last() / 2.0);
        }
        QCOMPARE(names, (QStringList{"row 1", "row 2", "row 3", "row 3"}));
        QCOMPARE(numbers.first(), Q_INT64_C(1) << 31);
    }

    void lockPrecondition()
    {
        const QString sql = QStringLiteral("SELECT 1");
        QVERIFY_THROWS_EXCEPTION(EAssertionFailed, FDB->OpenQuery(sql));
        QVERIFY_THROWS_EXCEPTION(EAssertionFailed, FDB->ExecSQL(sql));
        QVERIFY_THROWS_EXCEPTION(EAssertionFailed, FDB->LastInsertRowId());
        // Unlock without Lock would corrupt the mutex: refused.
        QVERIFY_THROWS_EXCEPTION(EAssertionFailed, FDB->Unlock());
        FDB->Lock();
        FDB->Lock();
        FDB->Unlock();
        // Still held once: the lock is re-entrant.
        FDB->OpenQuery(sql);
        QVERIFY(FDB->Next());
        FDB->FreeQuery();
        FDB->Unlock();
        QVERIFY(!FDB->LockedByCurrentThread());
        QVERIFY_THROWS_EXCEPTION(EAssertionFailed, FDB->OpenQuery(sql));
        // The failed precondition left no query behind.
        QVERIFY(!FDB->QueryOpen());

        // Without NeedLock nothing is enforced.
        auto free = TTestDB::Make(NewFile(), false);
        free->OpenQuery(sql);
        QVERIFY(free->Next());
        QCOMPARE(free->GetFieldAsInt(0), 1);
        free->FreeQuery();
    }

    void failingStepsRaise()
    {
        TSQLiteLock lock(*FDB);
        FDB->ExecSQL(QStringLiteral("INSERT INTO T (ID, B) VALUES (1, 0), (2, 1), (3, 0)"));

        // A constraint violation through Next is an error, not the end of the rows.
        FDB->OpenQuery(QStringLiteral("UPDATE T SET B = 2 WHERE ID = 1"));
        try {
            FDB->Next();
            QFAIL("Next reported a failing step as the end of the rows");
        } catch (const ESQLiteException& e) {
            QCOMPARE(e.Code(), 19);
            QVERIFY2(e.Message().startsWith(QStringLiteral("TTestDB: Abort due to constraint violation: ")),
                     qPrintable(e.Message()));
            QVERIFY(e.Message().contains(QStringLiteral("CHECK constraint failed")));
        }
        // The same through Exec; the statement can still be freed without a second error.
        try {
            FDB->Exec();
            QFAIL("Exec did not raise");
        } catch (const ESQLiteException& e) {
            QCOMPARE(e.Code(), 19);
        }
        FDB->FreeQuery();

        // An error after some rows: the rows come, then the error, never a silent end.
        TSQLiteQuery q(*FDB, QStringLiteral("SELECT CASE WHEN ID < 3 THEN ID ELSE abs(-9223372036854775807 - 1) END "
                                            "FROM T ORDER BY ID"));
        QVERIFY(FDB->Next());
        QVERIFY(FDB->Next());
        QVERIFY_THROWS_EXCEPTION(ESQLiteException, FDB->Next());
    }

    void errorMessages()
    {
        TSQLiteLock lock(*FDB);
        auto message = [](auto&& Call) -> QPair<int, QString> {
            try {
                Call();
            } catch (const ESQLiteException& e) {
                return {e.Code(), e.Message()};
            }
            return {0, QString()};
        };
        QCOMPARE(message([&] { FDB->ExecSQL(QStringLiteral("SELECT * FROM NOPE")); }),
                 qMakePair(1, QStringLiteral("TTestDB: SQL error or missing database: no such table: NOPE")));
        QCOMPARE(message([&] { FDB->OpenQuery(QStringLiteral("SELECT * FROM NOPE")); }),
                 qMakePair(1, QStringLiteral("TTestDB: SQL error or missing database: no such table: NOPE")));
        QVERIFY(!FDB->QueryOpen());
        QCOMPARE(message([&] { FDB->FetchTable(QStringLiteral("SELEC 1")); }).first, 1);
        QCOMPARE(FDB->GetResultSet(0), QString());

        // Transactions do not nest; the failed BEGIN leaves the state alone.
        FDB->BeginTrans();
        QVERIFY(FDB->InTransaction());
        QCOMPARE(message([&] { FDB->BeginTrans(); }).first, 1);
        QVERIFY(FDB->InTransaction());
        FDB->RollbackTrans();
        QVERIFY(!FDB->InTransaction());
    }

    void resultCodeTexts_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << 0 << "Successful result";
        QTest::newRow("1") << 1 << "SQL error or missing database";
        QTest::newRow("5") << 5 << "The database file is locked";
        QTest::newRow("14") << 14 << "Unable to open the database file";
        QTest::newRow("19") << 19 << "Abort due to constraint violation";
        QTest::newRow("23") << 23 << "Authorization denied";
        QTest::newRow("24") << 24 << "Unknown DB error (24)";
        QTest::newRow("26") << 26 << "Unknown DB error (26)";
        QTest::newRow("100") << 100 << "sqlite_step() has another row ready";
        QTest::newRow("101") << 101 << "sqlite_step() has finished executing";
        QTest::newRow("-1") << -1 << "Unknown DB error (-1)";
    }

    void resultCodeTexts()
    {
        QFETCH(int, code);
        QFETCH(QString, text);
        QCOMPARE(TSQLiteDB::ResultCodeText(code), text);
    }

    void openFailures()
    {
        // A file that is not a database: code 26 at the first statement of the initialization.
        const QString junk = NewFile();
        QFile f(junk);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
        f.close();
        TTestDB::InitSQL = QStringLiteral("PRAGMA journal_mode = WAL");
        try {
            TTestDB::Make(junk, true);
            QFAIL("opened a file that is not a database");
        } catch (const ESQLiteException& e) {
            QCOMPARE(e.Code(), 26);
            QCOMPARE(e.Message(), QStringLiteral("TTestDB: Unknown DB error (26): file is not a database"));
        }
        TTestDB::InitSQL.clear();
        // The junk is left as it was.
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray(4096, 'x'));

        // A missing folder: code 14 from the open itself.
        try {
            TTestDB::Make(FDir.filePath(QStringLiteral("no/such/folder/x.db")), true);
            QFAIL("opened a file in a missing folder");
        } catch (const ESQLiteException& e) {
            QCOMPARE(e.Code(), 14);
            QVERIFY2(e.Message().startsWith(QStringLiteral("TTestDB: Unable to open the database file")),
                     qPrintable(e.Message()));
        }
    }

    void versionAndEncoding()
    {
        const QString file = FDB->FileName();
        {
            TSQLiteLock lock(*FDB);
            QCOMPARE(FDB->Version(), 0);
            FDB->SetVersion(3);
            QCOMPARE(FDB->GetVersion(), 3);
            FDB->FetchTable(QStringLiteral("PRAGMA encoding"));
            QCOMPARE(FDB->ResultSet(1), QStringLiteral("UTF-16le"));
        }
        FDB.reset();
        FDB = TTestDB::Make(file, true);
        TSQLiteLock lock(*FDB);
        QCOMPARE(FDB->GetVersion(), 3);
    }

    void resultTable()
    {
        TSQLiteLock lock(*FDB);
        FDB->FetchTable(QStringLiteral("SELECT 1 AS A, NULL AS B UNION ALL SELECT 'x\u00e9', 2.5"));
        const QStringList expected{"A", "B", "1", "", "x\u00e9", "2.5"};
        for (int i = 0; i < expected.size(); ++i) {
            QCOMPARE(FDB->ResultSet(i), expected[i]);
        }
        // Outside the table: empty, never a read past it.
        QCOMPARE(FDB->ResultSet(6), QString());
        QCOMPARE(FDB->ResultSet(-1), QString());
    }

    void collationsAndCaseFunctions()
    {
        TSQLiteLock lock(*FDB);
        FDB->FetchTable(QStringLiteral("SELECT 'a' = 'A' COLLATE USERNOCASE, 'a' = 'A' COLLATE USER, "
                                       "typeof(uupper(NULL)), uupper(NULL), uupper('\u00e4bc'), ulower('\u00c4BC'), "
                                       "typeof(ulower(NULL))"));
        QCOMPARE(FDB->ResultSet(7), QStringLiteral("1"));
        QCOMPARE(FDB->ResultSet(8), QStringLiteral("0"));
        QCOMPARE(FDB->ResultSet(9), QStringLiteral("text"));
        QCOMPARE(FDB->ResultSet(10), QString());
        QCOMPARE(FDB->ResultSet(11), QStringLiteral("\u00c4BC"));
        QCOMPARE(FDB->ResultSet(12), QStringLiteral("\u00e4bc"));
        QCOMPARE(FDB->ResultSet(13), QStringLiteral("text"));

        // Locale order: the umlaut sorts beside its base letter, not after z as code points would.
        FDB->ExecSQL(QStringLiteral("INSERT INTO T (S) VALUES ('b'), ('z'), ('\u00e4'), ('a'), ('B')"));
        TSQLiteQuery q(*FDB, QStringLiteral("SELECT S FROM T ORDER BY S COLLATE USER"));
        QStringList order;
        while (FDB->Next()) {
            order.append(FDB->GetFieldAsString(0));
        }
        QCOMPARE(order, (QStringList{"a", "\u00e4", "b", "B", "z"}));
    }

    void destroyWithOpenQuery()
    {
        const QString file = FDB->FileName();
        FDB->Lock();
        FDB->ExecSQL(QStringLiteral("INSERT INTO T (S) VALUES ('kept')"));
        FDB->OpenQuery(QStringLiteral("SELECT S FROM T"));
        QVERIFY(FDB->Next());
        FDB->Unlock();
        // The open query is finalized and the connection closed; nothing is raised or lost.
        FDB.reset();
        FDB = TTestDB::Make(file, false);
        FDB->FetchTable(QStringLiteral("SELECT S FROM T"));
        QCOMPARE(FDB->ResultSet(1), QStringLiteral("kept"));
    }

    void transactionGuard()
    {
        TSQLiteLock lock(*FDB);
        try {
            TSQLiteTransaction t(*FDB);
            FDB->ExecSQL(QStringLiteral("INSERT INTO T (S) VALUES ('gone')"));
            FDB->ExecSQL(QStringLiteral("INSERT INTO T (B) VALUES (5)"));
            t.Commit();
            QFAIL("constraint not enforced");
        } catch (const ESQLiteException& e) {
            QCOMPARE(e.Code(), 19);
        }
        QVERIFY(!FDB->InTransaction());
        FDB->FetchTable(QStringLiteral("SELECT COUNT(*) FROM T"));
        QCOMPARE(FDB->ResultSet(1), QStringLiteral("0"));
        {
            TSQLiteTransaction t(*FDB);
            FDB->ExecSQL(QStringLiteral("INSERT INTO T (S) VALUES ('stays')"));
            t.Commit();
        }
        FDB->FetchTable(QStringLiteral("SELECT COUNT(*) FROM T"));
        QCOMPARE(FDB->ResultSet(1), QStringLiteral("1"));
    }
};

} // namespace Ombrelay

QTEST_GUILESS_MAIN(Ombrelay::TestSQLiteDB)
#include "tst_sqlitedb.moc"
