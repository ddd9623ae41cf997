#include "sqlite/SQLiteDB.h"

#include <QThread>

#include <sqlite3.h>

#include <cmath>
#include <cstring>
#include <typeinfo>

namespace Ombrelay
{

namespace
{
const char* const kUnit = "SQLiteDB";

QStringView Utf16View(const void* Data, int Bytes)
{
    if (Data == nullptr || Bytes <= 0) {
        return {};
    }
    return QStringView(static_cast<const char16_t*>(Data), Bytes / 2);
}

// Up to the first zero character, as a C string would end.
QString FromUtf16Column(const void* Data, int Bytes)
{
    QStringView v = Utf16View(Data, Bytes);
    const qsizetype zero = v.indexOf(QChar(0));
    if (zero >= 0) {
        v = v.left(zero);
    }
    return v.toString();
}

int Sign(int Value)
{
    return Value < 0 ? -1 : (Value > 0 ? 1 : 0);
}

// Compares two keys in SQLite's UTF-16 form with a collator; a failure inside the comparison
// must not cross the C library, so it falls back to the plain code-unit order.
int CollateKeys(const QCollator& Collator, int Len1, const void* Key1, int Len2, const void* Key2) noexcept
{
    const QStringView a = Utf16View(Key1, Len1);
    const QStringView b = Utf16View(Key2, Len2);
    try {
        return Sign(Collator.compare(a, b));
    } catch (...) {
        return Sign(a.compare(b));
    }
}

// Parses an unsigned field of ASCII digits only; false for anything else (a sign, a space).
bool ParseDigits(QStringView Text, int& Value)
{
    if (Text.isEmpty()) {
        return false;
    }
    int v = 0;
    for (QChar c : Text) {
        if (c < u'0' || c > u'9') {
            return false;
        }
        v = v * 10 + (c.unicode() - u'0');
    }
    Value = v;
    return true;
}
} // namespace

TSQLiteDB::TSQLiteDB(const QString& FileName, bool NeedLock)
    : FNeedLock(NeedLock)
    , FFileName(FileName)
    , FLocale()
    , FCollator(FLocale)
    , FCollatorNoCase(FLocale)
{
    FCollator.setCaseSensitivity(Qt::CaseSensitive);
    FCollatorNoCase.setCaseSensitivity(Qt::CaseInsensitive);
    // A collator prepares itself on first use; do it here, before any thread can share it.
    FCollator.compare(QStringLiteral("a"), QStringLiteral("b"));
    FCollatorNoCase.compare(QStringLiteral("a"), QStringLiteral("b"));
}

void TSQLiteDB::Connect()
{
    // SQLite hands out a handle even when the open fails; the destructor closes it.
    const int rc = sqlite3_open16(FFileName.utf16(), &FDBHandle);
    CheckResult(rc);
    RegisterCallbacks();
}

TSQLiteDB::~TSQLiteDB()
{
    FreeResultSet();
    if (FPrepStmt != nullptr) {
        sqlite3_finalize(FPrepStmt);
        FPrepStmt = nullptr;
    }
    if (FDBHandle != nullptr) {
        sqlite3_close(FDBHandle);
        FDBHandle = nullptr;
    }
}

void TSQLiteDB::RegisterCallbacks()
{
    CheckResult(sqlite3_create_collation16(FDBHandle, u"USER", SQLITE_UTF16, this, &TSQLiteDB::CompareUser));
    CheckResult(
        sqlite3_create_collation16(FDBHandle, u"USERNOCASE", SQLITE_UTF16, this, &TSQLiteDB::CompareUserNoCase));
    const int flags = SQLITE_UTF16 | SQLITE_DETERMINISTIC;
    CheckResult(
        sqlite3_create_function16(FDBHandle, u"uupper", 1, flags, this, &TSQLiteDB::FuncUpper, nullptr, nullptr));
    CheckResult(
        sqlite3_create_function16(FDBHandle, u"ulower", 1, flags, this, &TSQLiteDB::FuncLower, nullptr, nullptr));
}

QString TSQLiteDB::ClassName() const
{
    return QStringLiteral("TSQLiteDB");
}

// ---- locking and transactions

void TSQLiteDB::Lock()
{
    FCriticalSection.lock();
    if (FOwnerDepth++ == 0) {
        FOwner.store(QThread::currentThreadId());
    }
    ++FLockCount;
}

void TSQLiteDB::Unlock()
{
    // Releasing a lock that this thread does not hold would corrupt the mutex.
    OMBRELAY_ASSERT(kUnit, LockedByCurrentThread());
    --FLockCount;
    if (--FOwnerDepth == 0) {
        FOwner.store(nullptr);
    }
    FCriticalSection.unlock();
}

bool TSQLiteDB::LockedByCurrentThread() const
{
    return FOwner.load() == QThread::currentThreadId();
}

void TSQLiteDB::BeginTrans()
{
    CheckLock();
    // The write lock up front: a deferred transaction that has read and then must wait for
    // another connection's write gets "database is locked" at once, without the busy time-out
    // (SQLite's guard against two readers both waiting to write).
    ExecSQL(QStringLiteral("BEGIN IMMEDIATE"));
    FInTransaction = true;
}

void TSQLiteDB::CommitTrans()
{
    CheckLock();
    ExecSQL(QStringLiteral("COMMIT"));
    FInTransaction = false;
}

void TSQLiteDB::RollbackTrans()
{
    CheckLock();
    ExecSQL(QStringLiteral("ROLLBACK"));
    FInTransaction = false;
}

// ---- whole statements and the result table

void TSQLiteDB::ExecSQL(const QString& SQL)
{
    CheckLock();
    char* error = nullptr;
    const int rc = sqlite3_exec(FDBHandle, SQL.toUtf8().constData(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        const bool hasText = error != nullptr;
        const QByteArray text(hasText ? error : "");
        sqlite3_free(error);
        RaiseError(rc, hasText ? text.constData() : nullptr);
    }
}

void TSQLiteDB::FetchTable(const QString& SQL)
{
    CheckLock();
    FreeResultSet();
    char* error = nullptr;
    int rows = 0;
    int columns = 0;
    const int rc = sqlite3_get_table(FDBHandle, SQL.toUtf8().constData(), &FResultSet, &rows, &columns, &error);
    if (rc != SQLITE_OK) {
        FreeResultSet();
        const QByteArray text(error != nullptr ? error : "");
        const bool hasText = error != nullptr;
        sqlite3_free(error);
        RaiseError(rc, hasText ? text.constData() : nullptr);
    }
    FResultEntries = (rows + 1) * columns;
}

void TSQLiteDB::FreeResultSet()
{
    if (FResultSet != nullptr) {
        sqlite3_free_table(FResultSet);
        FResultSet = nullptr;
    }
    FResultEntries = 0;
}

QString TSQLiteDB::GetResultSet(int Index) const
{
    if (FResultSet == nullptr || Index < 0 || Index >= FResultEntries || FResultSet[Index] == nullptr) {
        return {};
    }
    return QString::fromUtf8(FResultSet[Index]);
}

int TSQLiteDB::GetVersion()
{
    CheckLock();
    FetchTable(QStringLiteral("PRAGMA user_version"));
    return GetResultSet(1).toInt();
}

void TSQLiteDB::SetVersion(int Value)
{
    CheckLock();
    ExecSQL(QStringLiteral("PRAGMA user_version = %1").arg(Value));
}

int TSQLiteDB::GetRowsAffected()
{
    CheckLock();
    return sqlite3_changes(FDBHandle);
}

qint64 TSQLiteDB::GetLastInsertRowId()
{
    CheckLock();
    return sqlite3_last_insert_rowid(FDBHandle);
}

// ---- the current query

void TSQLiteDB::OpenQuery(const QString& SQL)
{
    CheckLock();
    // A second open would lose the first statement and mix the two column lists.
    OMBRELAY_ASSERT(kUnit, FPrepStmt == nullptr);
    sqlite3_stmt* stmt = nullptr;
    // The v2 preparation reports a failing step's own code (19 for a constraint) from the step.
    const int rc = sqlite3_prepare16_v2(FDBHandle, SQL.utf16(), static_cast<int>(SQL.size() * 2), &stmt, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt);
        CheckResult(rc);
    }
    if (stmt == nullptr) {
        // Only white space or a comment: nothing to run.
        RaiseError(SQLITE_MISUSE, "no statement in the text");
    }
    FPrepStmt = stmt;
    FColumns.clear();
    FColumnCache.clear();
    const int count = sqlite3_column_count(stmt);
    for (int i = 0; i < count; ++i) {
        const void* name = sqlite3_column_name16(stmt, i);
        FColumns.append(name != nullptr ? QString::fromUtf16(static_cast<const char16_t*>(name)) : QString());
    }
}

bool TSQLiteDB::Next()
{
    CheckLock();
    CheckStatement();
    const int rc = sqlite3_step(FPrepStmt);
    if (rc == SQLITE_ROW) {
        return true;
    }
    if (rc == SQLITE_DONE) {
        return false;
    }
    // A failing step is an error, never the end of the rows.
    RaiseError(rc, sqlite3_errmsg(FDBHandle));
    return false;
}

void TSQLiteDB::Exec()
{
    CheckLock();
    CheckStatement();
    CheckResult(sqlite3_step(FPrepStmt));
    CheckResult(sqlite3_reset(FPrepStmt));
}

void TSQLiteDB::Reset()
{
    CheckLock();
    CheckResult(sqlite3_reset(FPrepStmt));
}

void TSQLiteDB::FreeQuery()
{
    CheckLock();
    CheckStatement();
    // Finalizing always frees the statement; the code it returns repeats the last failed step,
    // which the step itself has already reported.
    sqlite3_finalize(FPrepStmt);
    FPrepStmt = nullptr;
    FColumns.clear();
    FColumnCache.clear();
}

// ---- binding

void TSQLiteDB::SetParamAsInt(int Index, int Value)
{
    CheckParamIndex(Index);
    CheckResult(sqlite3_bind_int(FPrepStmt, Index, Value));
}

void TSQLiteDB::SetParamAsInt64(int Index, qint64 Value)
{
    CheckParamIndex(Index);
    CheckResult(sqlite3_bind_int64(FPrepStmt, Index, Value));
}

void TSQLiteDB::SetParamAsDouble(int Index, double Value)
{
    CheckParamIndex(Index);
    CheckResult(sqlite3_bind_double(FPrepStmt, Index, Value));
}

void TSQLiteDB::SetParamAsBool(int Index, bool Value)
{
    SetParamAsInt(Index, Value ? 1 : 0);
}

void TSQLiteDB::SetParamAsString(int Index, const QString& Value)
{
    CheckParamIndex(Index);
    if (FNullEmptyStrings && Value.isEmpty()) {
        ParamSetNull(Index);
        return;
    }
    // utf16() of an empty string is a valid empty text, so it binds '' rather than NULL.
    CheckResult(
        sqlite3_bind_text16(FPrepStmt, Index, Value.utf16(), static_cast<int>(Value.size() * 2), SQLITE_TRANSIENT));
}

void TSQLiteDB::SetParamAsDate(int Index, TDateTime Value)
{
    CheckParamIndex(Index);
    if (FNullZeroDateTime && std::fabs(Value) <= 1e-12) {
        ParamSetNull(Index);
        return;
    }
    SetParamAsString(Index, DateToDBText(Value, false));
}

void TSQLiteDB::SetParamAsDateTime(int Index, TDateTime Value)
{
    CheckParamIndex(Index);
    if (FNullZeroDateTime && std::fabs(Value) <= 1e-12) {
        ParamSetNull(Index);
        return;
    }
    SetParamAsString(Index, DateToDBText(Value, true));
}

void TSQLiteDB::ParamSetNull(int Index)
{
    CheckParamIndex(Index);
    CheckResult(sqlite3_bind_null(FPrepStmt, Index));
}

int TSQLiteDB::ParamIndexByName(const QString& Name) const
{
    CheckStatement();
    const QByteArray name = (QLatin1Char(':') + Name).toUtf8();
    return sqlite3_bind_parameter_index(FPrepStmt, name.constData());
}

void TSQLiteDB::SetParamByNameAsBool(const QString& ParamName, bool Value)
{
    SetParamAsBool(ParamIndexByName(ParamName), Value);
}

void TSQLiteDB::SetParamByNameAsInt(const QString& ParamName, int Value)
{
    SetParamAsInt(ParamIndexByName(ParamName), Value);
}

void TSQLiteDB::SetParamByNameAsInt64(const QString& ParamName, qint64 Value)
{
    SetParamAsInt64(ParamIndexByName(ParamName), Value);
}

void TSQLiteDB::SetParamByNameAsDouble(const QString& ParamName, double Value)
{
    SetParamAsDouble(ParamIndexByName(ParamName), Value);
}

void TSQLiteDB::SetParamByNameAsString(const QString& ParamName, const QString& Value)
{
    SetParamAsString(ParamIndexByName(ParamName), Value);
}

void TSQLiteDB::SetParamByNameAsDate(const QString& ParamName, TDateTime Value)
{
    SetParamAsDate(ParamIndexByName(ParamName), Value);
}

void TSQLiteDB::SetParamByNameAsDateTime(const QString& ParamName, TDateTime Value)
{
    SetParamAsDateTime(ParamIndexByName(ParamName), Value);
}

void TSQLiteDB::ParamSetNullByName(const QString& ParamName)
{
    ParamSetNull(ParamIndexByName(ParamName));
}

// ---- column access

int TSQLiteDB::GetFieldAsInt(int Index)
{
    CheckColumnIndex(Index);
    return sqlite3_column_int(FPrepStmt, Index);
}

qint64 TSQLiteDB::GetFieldAsInt64(int Index)
{
    CheckColumnIndex(Index);
    return sqlite3_column_int64(FPrepStmt, Index);
}

double TSQLiteDB::GetFieldAsDouble(int Index)
{
    CheckColumnIndex(Index);
    return sqlite3_column_double(FPrepStmt, Index);
}

bool TSQLiteDB::GetFieldAsBool(int Index)
{
    return GetFieldAsInt(Index) != 0;
}

QString TSQLiteDB::GetFieldAsString(int Index)
{
    CheckColumnIndex(Index);
    const void* text = sqlite3_column_text16(FPrepStmt, Index);
    // The byte count must be asked after the text, once the conversion has happened.
    return FromUtf16Column(text, sqlite3_column_bytes16(FPrepStmt, Index));
}

bool TSQLiteDB::GetFieldIsNull(int Index)
{
    CheckColumnIndex(Index);
    return sqlite3_column_type(FPrepStmt, Index) == SQLITE_NULL;
}

TDateTime TSQLiteDB::GetFieldAsDateTime(int Index)
{
    if (GetFieldIsNull(Index)) {
        return 0.0;
    }
    return DBTextToDateTime(GetFieldAsString(Index));
}

int TSQLiteDB::ColumnIndexByName(const QString& Name)
{
    // Names repeat on every row; the same literal usually shares its data, so the pointer
    // comparison settles most look-ups. The caller's getter checks the lock and the index.
    for (const auto& [name, index] : FColumnCache) {
        if ((name.constData() == Name.constData() && name.size() == Name.size()) || name == Name) {
            return index;
        }
    }
    CheckLock();
    int found = -1;
    for (int i = 0; i < FColumns.size(); ++i) {
        if (FCollatorNoCase.compare(FColumns[i], Name) == 0) {
            found = i;
            break;
        }
    }
    FColumnCache.emplace_back(Name, found);
    return found;
}

bool TSQLiteDB::GetFieldByNameAsBool(const QString& FieldName)
{
    return GetFieldAsBool(ColumnIndexByName(FieldName));
}

TDateTime TSQLiteDB::GetFieldByNameAsDateTime(const QString& FieldName)
{
    return GetFieldAsDateTime(ColumnIndexByName(FieldName));
}

int TSQLiteDB::GetFieldByNameAsInt(const QString& FieldName)
{
    return GetFieldAsInt(ColumnIndexByName(FieldName));
}

qint64 TSQLiteDB::GetFieldByNameAsInt64(const QString& FieldName)
{
    return GetFieldAsInt64(ColumnIndexByName(FieldName));
}

double TSQLiteDB::GetFieldByNameAsDouble(const QString& FieldName)
{
    return GetFieldAsDouble(ColumnIndexByName(FieldName));
}

QString TSQLiteDB::GetFieldByNameAsString(const QString& FieldName)
{
    return GetFieldAsString(ColumnIndexByName(FieldName));
}

bool TSQLiteDB::GetFieldByNameIsNull(const QString& FieldName)
{
    return GetFieldIsNull(ColumnIndexByName(FieldName));
}

// ---- preconditions and errors

void TSQLiteDB::CheckLock() const
{
    // The calling thread itself must hold the lock; another thread holding it proves nothing.
    // Only the holder writes FOwner, so a relaxed read that finds this thread is exact.
    OMBRELAY_ASSERT(kUnit, !FNeedLock || (FOwner.load(std::memory_order_relaxed) == QThread::currentThreadId() &&
                                          FLockCount.load(std::memory_order_relaxed) > 0));
}

void TSQLiteDB::CheckStatement() const
{
    OMBRELAY_ASSERT(kUnit, FPrepStmt != nullptr);
}

void TSQLiteDB::CheckParamIndex(int Index) const
{
    CheckLock();
    CheckStatement();
    OMBRELAY_ASSERT(kUnit, Index >= 1 && Index <= sqlite3_bind_parameter_count(FPrepStmt));
}

void TSQLiteDB::CheckColumnIndex(int Index) const
{
    CheckLock();
    CheckStatement();
    // FColumns holds one name per result column of the current statement.
    OMBRELAY_ASSERT(kUnit, Index >= 0 && Index < FColumns.size());
}

void TSQLiteDB::CheckResult(int Code) const
{
    if (Code == SQLITE_OK || Code == SQLITE_ROW || Code == SQLITE_DONE) {
        return;
    }
    RaiseError(Code, FDBHandle != nullptr ? sqlite3_errmsg(FDBHandle) : nullptr);
}

void TSQLiteDB::RaiseError(int Code, const char* Message) const
{
    QString text = ClassName() + QStringLiteral(": ") + ResultCodeText(Code);
    if (Message != nullptr) {
        text += QStringLiteral(": ") + QString::fromUtf8(Message);
    }
    throw ESQLiteException(text, Code);
}

QString TSQLiteDB::ResultCodeText(int Code)
{
    switch (Code) {
    case 0:
        return QStringLiteral("Successful result");
    case 1:
        return QStringLiteral("SQL error or missing database");
    case 2:
        return QStringLiteral("An internal logic error in SQLite");
    case 3:
        return QStringLiteral("Access permission denied");
    case 4:
        return QStringLiteral("Callback routine requested an abort");
    case 5:
        return QStringLiteral("The database file is locked");
    case 6:
        return QStringLiteral("A table in the database is locked");
    case 7:
        return QStringLiteral("A malloc() failed");
    case 8:
        return QStringLiteral("Attempt to write a readonly database");
    case 9:
        return QStringLiteral("Operation terminated by sqlite_interrupt()");
    case 10:
        return QStringLiteral("Disk I/O error occurred");
    case 11:
        return QStringLiteral("The database disk image is malformed");
    case 12:
        return QStringLiteral("(Internal Only) Table or record not found");
    case 13:
        return QStringLiteral("Insertion failed because database is full");
    case 14:
        return QStringLiteral("Unable to open the database file");
    case 15:
        return QStringLiteral("Database lock protocol error");
    case 16:
        return QStringLiteral("(Internal Only) Database table is empty");
    case 17:
        return QStringLiteral("The database schema changed");
    case 18:
        return QStringLiteral("Too much data for one row of a table");
    case 19:
        return QStringLiteral("Abort due to constraint violation");
    case 20:
        return QStringLiteral("Data type mismatch");
    case 21:
        return QStringLiteral("Library used incorrectly");
    case 22:
        return QStringLiteral("Used OS features not supported on host");
    case 23:
        return QStringLiteral("Authorization denied");
    case 100:
        return QStringLiteral("sqlite_step() has another row ready");
    case 101:
        return QStringLiteral("sqlite_step() has finished executing");
    default:
        return QStringLiteral("Unknown DB error (%1)").arg(Code);
    }
}

// ---- stored date forms

QString TSQLiteDB::DateToDBText(TDateTime Value, bool WithTime)
{
    int year = 0;
    int month = 0;
    int day = 0;
    DecodeDate(Value, year, month, day);
    QString text = QStringLiteral("%1-%2-%3")
                       .arg(year, 4, 10, QLatin1Char('0'))
                       .arg(month, 2, 10, QLatin1Char('0'))
                       .arg(day, 2, 10, QLatin1Char('0'));
    if (WithTime) {
        int hour = 0;
        int minute = 0;
        int second = 0;
        int msec = 0;
        // Rounded to the millisecond, then the milliseconds are dropped.
        DecodeTime(Value, hour, minute, second, msec);
        text += QStringLiteral(" %1:%2:%3")
                    .arg(hour, 2, 10, QLatin1Char('0'))
                    .arg(minute, 2, 10, QLatin1Char('0'))
                    .arg(second, 2, 10, QLatin1Char('0'));
    }
    return text;
}

TDateTime TSQLiteDB::DBTextToDateTime(const QString& Text)
{
    // Positional: the separators are not looked at.
    if (Text.size() != 19 && Text.size() != 10) {
        return 0.0;
    }
    const QStringView t(Text);
    int year = 0;
    int month = 0;
    int day = 0;
    TDateTime date = 0.0;
    if (!ParseDigits(t.mid(0, 4), year) || !ParseDigits(t.mid(5, 2), month) || !ParseDigits(t.mid(8, 2), day) ||
        !TryEncodeDate(year, month, day, date)) {
        return 0.0;
    }
    if (Text.size() == 10) {
        return date;
    }
    int hour = 0;
    int minute = 0;
    int second = 0;
    TDateTime time = 0.0;
    if (!ParseDigits(t.mid(11, 2), hour) || !ParseDigits(t.mid(14, 2), minute) || !ParseDigits(t.mid(17, 2), second) ||
        !TryEncodeTime(hour, minute, second, 0, time)) {
        return 0.0;
    }
    // Days before 1899-12-30 are negative, but their time of day still counts forwards.
    return date < 0 ? date - time : date + time;
}

// ---- collations and functions

int TSQLiteDB::CompareUser(void* Self, int Len1, const void* Key1, int Len2, const void* Key2)
{
    return CollateKeys(static_cast<TSQLiteDB*>(Self)->FCollator, Len1, Key1, Len2, Key2);
}

int TSQLiteDB::CompareUserNoCase(void* Self, int Len1, const void* Key1, int Len2, const void* Key2)
{
    return CollateKeys(static_cast<TSQLiteDB*>(Self)->FCollatorNoCase, Len1, Key1, Len2, Key2);
}

namespace
{
void CaseFunction(sqlite3_context* Ctx, sqlite3_value** Argv, const QLocale& Locale, bool Upper) noexcept
{
    try {
        // NULL counts as the empty text, so the result is never NULL.
        const void* text = sqlite3_value_text16(Argv[0]);
        const QString in = FromUtf16Column(text, sqlite3_value_bytes16(Argv[0]));
        const QString out = Upper ? Locale.toUpper(in) : Locale.toLower(in);
        sqlite3_result_text16(Ctx, out.utf16(), static_cast<int>(out.size() * 2), SQLITE_TRANSIENT);
    } catch (const std::exception& e) {
        sqlite3_result_error(Ctx, e.what(), -1);
    } catch (...) {
        sqlite3_result_error(Ctx, "case conversion failed", -1);
    }
}
} // namespace

void TSQLiteDB::FuncUpper(sqlite3_context* Ctx, int /*Argc*/, sqlite3_value** Argv)
{
    CaseFunction(Ctx, Argv, static_cast<TSQLiteDB*>(sqlite3_user_data(Ctx))->FLocale, true);
}

void TSQLiteDB::FuncLower(sqlite3_context* Ctx, int /*Argc*/, sqlite3_value** Argv)
{
    CaseFunction(Ctx, Argv, static_cast<TSQLiteDB*>(sqlite3_user_data(Ctx))->FLocale, false);
}

} // namespace Ombrelay
