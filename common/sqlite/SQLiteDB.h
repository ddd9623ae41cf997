#pragma once

#include "base/DateTime.h"
#include "base/Errors.h"

#include <QCollator>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;
struct sqlite3_context;
struct sqlite3_value;

namespace Ombrelay
{

// Every SQLite failure. The message names the connection's class, the code's text and SQLite's
// own message: "TDatabase: SQL error or missing database: no such table: X".
class ESQLiteException : public EOmbrelayError
{
public:
    ESQLiteException(const QString& Message, int Code)
        : EOmbrelayError(Message)
        , FCode(Code)
    {
    }
    // The primary SQLite result code (extended codes are never enabled).
    int Code() const noexcept { return FCode; }

private:
    int FCode;
};

// One SQLite connection, shared between threads under a re-entrant lock, with one prepared
// statement at a time (the current query).
//
// Usage: every sequence of calls that belongs together runs between Lock and Unlock on one
// thread (TSQLiteLock does this for a scope); OpenQuery, bind, Next/Exec, read, FreeQuery
// (TSQLiteQuery); BeginTrans, work, CommitTrans, RollbackTrans on failure (TSQLiteTransaction).
//
// A descendant supplies its pragmas and tables in InitializeDatabase. It is opened through
// Open<T>(...), which runs InitializeDatabase right after construction (a base constructor
// cannot reach the derived override); a descendant keeps its constructor protected and
// declares `friend class TSQLiteDB;`.
class TSQLiteDB
{
public:
    // Constructs T (a descendant) with Args and runs its InitializeDatabase. If that raises,
    // the object is destroyed (the connection closed) and the exception propagates.
    template <class T, class... Args>
    static std::unique_ptr<T> Open(Args&&... A)
    {
        std::unique_ptr<T> db(new T(std::forward<Args>(A)...));
        TSQLiteDB* base = db.get();
        base->Connect();
        base->InitializeDatabase();
        return db;
    }

    // Closes the connection. An open query is finalized first; nothing is raised.
    virtual ~TSQLiteDB();

    TSQLiteDB(const TSQLiteDB&) = delete;
    TSQLiteDB& operator=(const TSQLiteDB&) = delete;

    // The name used in error messages: the dynamic class name.
    virtual QString ClassName() const;

    // Locking. The lock is re-entrant: each Lock is matched by one Unlock on the same thread.
    void Lock();
    void Unlock();

    // Transactions (they do not nest).
    void BeginTrans();
    void CommitTrans();
    void RollbackTrans();

    // Whole statements (every statement of the text runs) and the fetched result table.
    void ExecSQL(const QString& SQL);
    void FetchTable(const QString& SQL);
    // Flat position in the last fetched table; row 0 holds the column names. NULL entries and
    // positions outside the table give the empty string.
    QString GetResultSet(int Index) const;
    QString ResultSet(int Index) const { return GetResultSet(Index); }

    int GetVersion();
    void SetVersion(int Value);
    int Version() { return GetVersion(); }
    int GetRowsAffected();
    int RowsAffected() { return GetRowsAffected(); }
    qint64 GetLastInsertRowId();
    qint64 LastInsertRowId() { return GetLastInsertRowId(); }

    // The current query.
    void OpenQuery(const QString& SQL);
    // One step: true for a row, false when the statement is done; any error raises.
    bool Next();
    // One step (row or done both pass) followed by a reset; the bindings stay.
    void Exec();
    void Reset();
    void FreeQuery();
    bool QueryOpen() const { return FPrepStmt != nullptr; }

    // Binding by 1-based index.
    void SetParamAsInt(int Index, int Value);
    void SetParamAsInt64(int Index, qint64 Value);
    void SetParamAsDouble(int Index, double Value);
    void SetParamAsBool(int Index, bool Value);
    void SetParamAsString(int Index, const QString& Value);
    void SetParamAsDate(int Index, TDateTime Value);
    void SetParamAsDateTime(int Index, TDateTime Value);
    void ParamSetNull(int Index);

    // Binding by name, given without the colon: :DATE is bound with "DATE". Only colon-prefixed
    // parameters are reachable by name; the match is exact, letter case included.
    void SetParamByNameAsBool(const QString& ParamName, bool Value);
    void SetParamByNameAsInt(const QString& ParamName, int Value);
    void SetParamByNameAsInt64(const QString& ParamName, qint64 Value);
    void SetParamByNameAsDouble(const QString& ParamName, double Value);
    void SetParamByNameAsString(const QString& ParamName, const QString& Value);
    void SetParamByNameAsDate(const QString& ParamName, TDateTime Value);
    void SetParamByNameAsDateTime(const QString& ParamName, TDateTime Value);
    void ParamSetNullByName(const QString& ParamName);

    // Column access by 0-based index. SQLite's conversions apply (NULL reads as 0 or "").
    int GetFieldAsInt(int Index);
    qint64 GetFieldAsInt64(int Index);
    double GetFieldAsDouble(int Index);
    bool GetFieldAsBool(int Index);
    QString GetFieldAsString(int Index);
    bool GetFieldIsNull(int Index);
    // Zero for NULL or for text that is not a stored date or date-time.
    TDateTime GetFieldAsDateTime(int Index);

    // Column access by name: letter case ignored (locale-aware), the first matching column wins.
    bool GetFieldByNameAsBool(const QString& FieldName);
    TDateTime GetFieldByNameAsDateTime(const QString& FieldName);
    int GetFieldByNameAsInt(const QString& FieldName);
    qint64 GetFieldByNameAsInt64(const QString& FieldName);
    double GetFieldByNameAsDouble(const QString& FieldName);
    QString GetFieldByNameAsString(const QString& FieldName);
    bool GetFieldByNameIsNull(const QString& FieldName);

    // Read-only aliases under the property names.
    int FieldAsInt(int Index) { return GetFieldAsInt(Index); }
    qint64 FieldAsInt64(int Index) { return GetFieldAsInt64(Index); }
    double FieldAsDouble(int Index) { return GetFieldAsDouble(Index); }
    bool FieldAsBool(int Index) { return GetFieldAsBool(Index); }
    QString FieldAsString(int Index) { return GetFieldAsString(Index); }
    bool FieldIsNull(int Index) { return GetFieldIsNull(Index); }
    TDateTime FieldAsDateTime(int Index) { return GetFieldAsDateTime(Index); }
    bool FieldByNameAsBool(const QString& N) { return GetFieldByNameAsBool(N); }
    TDateTime FieldByNameAsDateTime(const QString& N) { return GetFieldByNameAsDateTime(N); }
    int FieldByNameAsInt(const QString& N) { return GetFieldByNameAsInt(N); }
    qint64 FieldByNameAsInt64(const QString& N) { return GetFieldByNameAsInt64(N); }
    QString FieldByNameAsString(const QString& N) { return GetFieldByNameAsString(N); }

    // Properties.
    const QString& FileName() const { return FFileName; }
    bool InTransaction() const { return FInTransaction; }
    const QStringList& Columns() const { return FColumns; }
    bool NullEmptyStrings() const { return FNullEmptyStrings; }
    void SetNullEmptyStrings(bool Value) { FNullEmptyStrings = Value; }
    bool NullZeroDateTime() const { return FNullZeroDateTime; }
    void SetNullZeroDateTime(bool Value) { FNullZeroDateTime = Value; }
    // Whether the calling thread holds the lock.
    bool LockedByCurrentThread() const;

    // The text of a SQLite result code; "Unknown DB error (N)" for codes without one.
    static QString ResultCodeText(int Code);
    // "yyyy-mm-dd", or "yyyy-mm-dd hh:nn:ss" with WithTime; fractions of a second are dropped.
    static QString DateToDBText(TDateTime Value, bool WithTime);
    // The 19- or 10-character stored forms back to a value; zero for anything else.
    static TDateTime DBTextToDateTime(const QString& Text);

protected:
    // Keeps the settings; Open<T> then connects and initializes.
    TSQLiteDB(const QString& FileName, bool NeedLock);

    // Pragmas and schema of a descendant. With NeedLock set, it takes the lock itself.
    virtual void InitializeDatabase() = 0;

    // The raw connection, for descendants that need a SQLite call this class does not wrap.
    sqlite3* Handle() const { return FDBHandle; }

    // Raises ESQLiteException for any code but 0, 100 and 101.
    void CheckResult(int Code) const;

private:
    // Opens FileName (created if missing) and registers the collations "USER", "USERNOCASE"
    // and the functions "uupper", "ulower". Runs once the object is complete, so that errors
    // name the descendant's class.
    void Connect();
    void CheckLock() const;
    void CheckStatement() const;
    void CheckParamIndex(int Index) const;
    void CheckColumnIndex(int Index) const;
    int ParamIndexByName(const QString& Name) const;
    int ColumnIndexByName(const QString& Name);
    void RaiseError(int Code, const char* Message) const;
    void FreeResultSet();
    void RegisterCallbacks();

    static int CompareUser(void* Self, int Len1, const void* Key1, int Len2, const void* Key2);
    static int CompareUserNoCase(void* Self, int Len1, const void* Key1, int Len2, const void* Key2);
    static void FuncUpper(sqlite3_context* Ctx, int Argc, sqlite3_value** Argv);
    static void FuncLower(sqlite3_context* Ctx, int Argc, sqlite3_value** Argv);

    char** FResultSet = nullptr;
    int FResultEntries = 0;
    sqlite3_stmt* FPrepStmt = nullptr;
    QStringList FColumns;
    // Names already looked up in the current query, so that a loop reading by name does not
    // run the locale-aware comparison on every row.
    std::vector<std::pair<QString, int>> FColumnCache;
    sqlite3* FDBHandle = nullptr;
    // Lock calls not yet matched, over all threads together.
    std::atomic<int> FLockCount{0};
    // A standard mutex rather than Qt's: thread checkers see its ordering, which they cannot
    // for a lock inside the Qt library.
    std::recursive_mutex FCriticalSection;
    // The thread that holds FCriticalSection (null when free) and its depth; written only by
    // the holder, so CheckLock can prove that the caller itself holds the lock.
    std::atomic<Qt::HANDLE> FOwner{nullptr};
    int FOwnerDepth = 0;
    bool FNeedLock;
    bool FInTransaction = false;
    QString FFileName;
    bool FNullEmptyStrings = false;
    bool FNullZeroDateTime = false;
    // The user's locale at open, for the collations, the case functions and the column lookup.
    QLocale FLocale;
    QCollator FCollator;
    QCollator FCollatorNoCase;
};

// Holds the lock for a scope.
class TSQLiteLock
{
public:
    explicit TSQLiteLock(TSQLiteDB& DB)
        : FDB(DB)
    {
        FDB.Lock();
    }
    ~TSQLiteLock() { FDB.Unlock(); }
    TSQLiteLock(const TSQLiteLock&) = delete;
    TSQLiteLock& operator=(const TSQLiteLock&) = delete;

private:
    TSQLiteDB& FDB;
};

// Opens the current query for a scope and frees it on every exit (never raising from there).
class TSQLiteQuery
{
public:
    TSQLiteQuery(TSQLiteDB& DB, const QString& SQL)
        : FDB(DB)
    {
        FDB.OpenQuery(SQL);
    }
    ~TSQLiteQuery()
    {
        try {
            if (FDB.QueryOpen()) {
                FDB.FreeQuery();
            }
        } catch (...) {
        }
    }
    TSQLiteQuery(const TSQLiteQuery&) = delete;
    TSQLiteQuery& operator=(const TSQLiteQuery&) = delete;

private:
    TSQLiteDB& FDB;
};

// A transaction for a scope: Commit ends it; leaving the scope without Commit rolls it back
// (the rollback never raises from the destructor).
class TSQLiteTransaction
{
public:
    explicit TSQLiteTransaction(TSQLiteDB& DB)
        : FDB(DB)
    {
        FDB.BeginTrans();
    }
    ~TSQLiteTransaction()
    {
        if (!FDone) {
            try {
                FDB.RollbackTrans();
            } catch (...) {
            }
        }
    }
    void Commit()
    {
        FDB.CommitTrans();
        FDone = true;
    }
    TSQLiteTransaction(const TSQLiteTransaction&) = delete;
    TSQLiteTransaction& operator=(const TSQLiteTransaction&) = delete;

private:
    TSQLiteDB& FDB;
    bool FDone = false;
};

} // namespace Ombrelay
