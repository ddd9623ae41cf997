// The access layer against the same loops written directly on the sqlite3 C API, in one run:
// a prepared INSERT re-run with Exec inside one transaction, and a SELECT stepped with Next and
// read by column name. Prints rows per second and the ratio of the layer to the plain loop.
//
//   bench_sqlite [ROWS] [ROUNDS]

#include "sqlite/SQLiteDB.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

using namespace Ombrelay;

namespace
{
constexpr double kGoal = 0.8;

const char* const kPragmas = "PRAGMA temp_store = 2; PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;"
                             "CREATE TABLE IF NOT EXISTS INCOMING (ID INTEGER NOT NULL PRIMARY KEY, "
                             "DATE DATETIME NOT NULL, SEEN BOOLEAN NOT NULL CHECK (SEEN IN (0, 1)), "
                             "PDU TEXT NOT NULL)";

class TBenchDB : public TSQLiteDB
{
public:
    static std::unique_ptr<TBenchDB> Make(const QString& FileName) { return Open<TBenchDB>(FileName); }
    QString ClassName() const override { return QStringLiteral("TBenchDB"); }

protected:
    explicit TBenchDB(const QString& FileName)
        : TSQLiteDB(FileName, true)
    {
    }
    void InitializeDatabase() override
    {
        TSQLiteLock lock(*this);
        ExecSQL(QString::fromLatin1(kPragmas));
    }

private:
    friend class TSQLiteDB;
};

struct TRow
{
    QString Date;
    int Seen;
    QString Pdu;
};

// Rows as the inbox stores them: a date-time text and a PDU of typical length.
std::vector<TRow> MakeRows(int Count)
{
    std::vector<TRow> rows;
    rows.reserve(Count);
    const QString pdu = QStringLiteral("07919471060040F3040B919471234567F800005210301241758004D4F29C0E");
    for (int i = 0; i < Count; ++i) {
        rows.push_back({QStringLiteral("2017-03-%1 14:05:%2")
                            .arg(1 + i % 28, 2, 10, QLatin1Char('0'))
                            .arg(i % 60, 2, 10, QLatin1Char('0')),
                        i % 2, pdu + QString::number(i, 16)});
    }
    return rows;
}

void Check(int Rc, sqlite3* Db)
{
    if (Rc != SQLITE_OK && Rc != SQLITE_ROW && Rc != SQLITE_DONE) {
        std::fprintf(stderr, "sqlite: %d %s\n", Rc, sqlite3_errmsg(Db));
        std::exit(2);
    }
}

sqlite3* RawOpen(const QString& FileName)
{
    sqlite3* db = nullptr;
    Check(sqlite3_open16(FileName.utf16(), &db), db);
    Check(sqlite3_exec(db, kPragmas, nullptr, nullptr, nullptr), db);
    return db;
}

void RawInsert(sqlite3* Db, const std::vector<TRow>& Rows)
{
    Check(sqlite3_exec(Db, "BEGIN", nullptr, nullptr, nullptr), Db);
    const QString sql = QStringLiteral("INSERT INTO INCOMING (DATE, SEEN, PDU) VALUES (?, ?, ?)");
    sqlite3_stmt* stmt = nullptr;
    Check(sqlite3_prepare16_v2(Db, sql.utf16(), static_cast<int>(sql.size() * 2), &stmt, nullptr), Db);
    for (const TRow& r : Rows) {
        Check(sqlite3_bind_text16(stmt, 1, r.Date.utf16(), static_cast<int>(r.Date.size() * 2), SQLITE_TRANSIENT), Db);
        Check(sqlite3_bind_int(stmt, 2, r.Seen), Db);
        Check(sqlite3_bind_text16(stmt, 3, r.Pdu.utf16(), static_cast<int>(r.Pdu.size() * 2), SQLITE_TRANSIENT), Db);
        Check(sqlite3_step(stmt), Db);
        Check(sqlite3_reset(stmt), Db);
    }
    sqlite3_finalize(stmt);
    Check(sqlite3_exec(Db, "COMMIT", nullptr, nullptr, nullptr), Db);
}

qint64 RawSelect(sqlite3* Db)
{
    const QString sql = QStringLiteral("SELECT * FROM INCOMING ORDER BY ID");
    sqlite3_stmt* stmt = nullptr;
    Check(sqlite3_prepare16_v2(Db, sql.utf16(), static_cast<int>(sql.size() * 2), &stmt, nullptr), Db);
    qint64 sum = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        const void* d = sqlite3_column_text16(stmt, 1);
        const QString date = QString::fromUtf16(static_cast<const char16_t*>(d), sqlite3_column_bytes16(stmt, 1) / 2);
        const void* p = sqlite3_column_text16(stmt, 3);
        const QString pdu = QString::fromUtf16(static_cast<const char16_t*>(p), sqlite3_column_bytes16(stmt, 3) / 2);
        const qint64 id = sqlite3_column_int64(stmt, 0);
        const bool seen = sqlite3_column_int(stmt, 2) != 0;
        sum += id + date.size() + pdu.size() + (seen ? 1 : 0);
    }
    sqlite3_finalize(stmt);
    return sum;
}

void LayerInsert(TSQLiteDB& Db, const std::vector<TRow>& Rows)
{
    TSQLiteLock lock(Db);
    TSQLiteTransaction transaction(Db);
    {
        TSQLiteQuery query(Db, QStringLiteral("INSERT INTO INCOMING (DATE, SEEN, PDU) VALUES (?, ?, ?)"));
        for (const TRow& r : Rows) {
            Db.SetParamAsString(1, r.Date);
            Db.SetParamAsInt(2, r.Seen);
            Db.SetParamAsString(3, r.Pdu);
            Db.Exec();
        }
    }
    transaction.Commit();
}

qint64 LayerSelect(TSQLiteDB& Db)
{
    TSQLiteLock lock(Db);
    TSQLiteQuery query(Db, QStringLiteral("SELECT * FROM INCOMING ORDER BY ID"));
    qint64 sum = 0;
    // The message store's load: columns read by name, every row.
    while (Db.Next()) {
        const QString date = Db.GetFieldByNameAsString(QStringLiteral("DATE"));
        const QString pdu = Db.GetFieldByNameAsString(QStringLiteral("PDU"));
        const qint64 id = Db.GetFieldByNameAsInt64(QStringLiteral("ID"));
        const bool seen = Db.GetFieldByNameAsBool(QStringLiteral("SEEN"));
        sum += id + date.size() + pdu.size() + (seen ? 1 : 0);
    }
    return sum;
}

double Seconds(const std::function<void()>& Work)
{
    QElapsedTimer timer;
    timer.start();
    Work();
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

void Figure(const char* Name, int Rows, double LayerSeconds, double RawSeconds)
{
    const double value = Rows / LayerSeconds;
    const double baseline = Rows / RawSeconds;
    const double ratio = value / baseline;
    std::printf("FIGURE %s value=%.0f baseline=%.0f ratio=%.3f goal=%.2f %s\n", Name, value, baseline, ratio, kGoal,
                ratio >= kGoal ? "pass" : "short");
    std::fflush(stdout);
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rowCount = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    QTemporaryDir dir;
    if (!dir.isValid() || rowCount <= 0 || rounds <= 0) {
        std::fprintf(stderr, "usage: bench_sqlite [ROWS] [ROUNDS]\n");
        return 2;
    }
    const std::vector<TRow> rows = MakeRows(rowCount);

    // Rounds alternate between the two sides, each on a fresh file; the best time of each
    // side counts, so that a busy moment of the machine hurts neither more than the other.
    double bestLayerInsert = 1e100;
    double bestRawInsert = 1e100;
    double bestLayerSelect = 1e100;
    double bestRawSelect = 1e100;
    qint64 checkLayer = 0;
    qint64 checkRaw = 0;
    for (int round = 0; round < rounds; ++round) {
        const QString layerFile = dir.filePath(QStringLiteral("layer%1.db").arg(round));
        const QString rawFile = dir.filePath(QStringLiteral("raw%1.db").arg(round));
        auto layer = TBenchDB::Make(layerFile);
        sqlite3* raw = RawOpen(rawFile);
        const bool layerFirst = round % 2 == 0;
        auto insertLayer = [&] {
            bestLayerInsert = std::min(bestLayerInsert, Seconds([&] { LayerInsert(*layer, rows); }));
        };
        auto insertRaw = [&] { bestRawInsert = std::min(bestRawInsert, Seconds([&] { RawInsert(raw, rows); })); };
        auto selectLayer = [&] {
            bestLayerSelect = std::min(bestLayerSelect, Seconds([&] { checkLayer = LayerSelect(*layer); }));
        };
        auto selectRaw = [&] { bestRawSelect = std::min(bestRawSelect, Seconds([&] { checkRaw = RawSelect(raw); })); };
        if (layerFirst) {
            insertLayer();
            insertRaw();
        } else {
            insertRaw();
            insertLayer();
        }
        // A read pass is short, so each round reads several times, alternating.
        for (int pass = 0; pass < 4; ++pass) {
            if ((pass + round) % 2 == 0) {
                selectLayer();
                selectRaw();
            } else {
                selectRaw();
                selectLayer();
            }
        }
        sqlite3_close(raw);
        layer.reset();
        if (checkLayer != checkRaw) {
            std::fprintf(stderr, "the two loops read different data\n");
            return 1;
        }
    }
    std::fprintf(stderr, "sqlite: %d rows, best of %d rounds\n", rowCount, rounds);
    Figure("sqlite_insert_exec_rows_per_s", rowCount, bestLayerInsert, bestRawInsert);
    Figure("sqlite_select_next_by_name_rows_per_s", rowCount, bestLayerSelect, bestRawSelect);
    return 0;
}
