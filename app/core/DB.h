#pragma once

#include "sqlite/SQLiteDB.h"

#include <memory>

namespace Ombrelay
{

// The application's one database: CONFIG (settings), INCOMING and OUTGOING (SMS PDUs, one row
// per segment), USAGE (daily traffic totals), USAGEDEVICE (the same per modem) and MONITORLOG (the
// online monitor's checks and requests), in $XDG_DATA_HOME/Virelle/Ombrelay/Ombrelay.DB.
// The lock precondition is enforced: every use runs between Lock and Unlock.
class TDatabase : public TSQLiteDB
{
public:
    // Opens or creates the file at GetLocation() and its schema. A file that is damaged or not a
    // database is refused before anything is written to it.
    static std::unique_ptr<TDatabase> Create();
    // Opens or creates the file at FileName (for tools and tests that name their own file).
    static std::unique_ptr<TDatabase> Create(const QString& FileName);

    // The full path of the database file. Creates its folder (0700) when missing and narrows an
    // existing one to 0700: the file holds private messages.
    static QString GetLocation();

    QString ClassName() const override { return QStringLiteral("TDatabase"); }

    // How long a statement waits for another connection's write lock before it fails with
    // "database is locked". Long enough for a short write of a second program on the same file,
    // short enough that a stuck one is reported while the window still responds.
    static constexpr int BusyTimeoutMs = 3000;

    // True when SQLite could open the file for reading only (no write permission, an immutable
    // file): it says so only when the first write fails.
    bool ReadOnly() const;

    // True while the file this connection opened is the one at FileName(): the same device and
    // inode, still linked. False once the file or its folder was deleted, moved or replaced while
    // the program runs: what is committed from then on goes to a file the next start never opens.
    bool IsStillAtPath() const;
    // True the first time it is called after IsStillAtPath() turned false, so that the user is
    // told once; IsStillAtPath() finding the file back at its path (moved back) arms it again.
    bool TakeMovedNotice();

    // The layout this program reads and writes, as PRAGMA user_version gives it. Columns added
    // with defaults leave it as it is: older programs read such a file as before. A file whose
    // number is higher was written by a newer program, whose rows may mean something this one
    // does not know, and is refused at open.
    static constexpr int SchemaVersion = 0;

    // The structural check at open reads the whole file: tens of milliseconds for a few thousand
    // messages, seconds for a million. Files up to this size are checked at every open; a larger
    // one at the first open after CheckIntervalHours have passed since its last passed check (the
    // CONFIG row "database.checked"). Between checks SQLite still reports a damaged page it meets.
    static constexpr qint64 DefaultCheckEveryOpenBytes = 64LL * 1024 * 1024;
    static constexpr int CheckIntervalHours = 24;
    // For tests: the size up to which every open checks.
    static void SetCheckEveryOpenBytes(qint64 Bytes);

protected:
    explicit TDatabase(const QString& FileName);
    void InitializeDatabase() override;

private:
    friend class TSQLiteDB;
    bool HasColumn(const QString& Table, const QString& Column);
    void AddColumns();
    void AddTables();
    // Raises ESQLiteException naming the file when a newer program wrote it.
    void CheckVersion();
    // Raises ESQLiteException (SQLITE_NOTADB or SQLITE_CORRUPT) when the file is not a database
    // or is damaged.
    void CheckIntact();
    // Whether this open runs the structural check (see DefaultCheckEveryOpenBytes).
    bool IntactCheckDue();
    // Records a passed check of a large file.
    void RecordIntactCheck();
    // The identity of the file at FileName() when it was opened.
    void RememberIdentity();

    bool FHasIdentity = false;
    quint64 FDevice = 0;
    quint64 FInode = 0;
    mutable bool FMovedNoticed = false;
    bool FCheckedLarge = false;
};

// The process-wide instance, set by the module start-up (Modules.h).
extern TDatabase* Database;

} // namespace Ombrelay
