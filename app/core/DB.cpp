#include "core/DB.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QThread>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace Ombrelay
{

TDatabase* Database = nullptr;

namespace
{
const QString kSubPath = QStringLiteral("Virelle/Ombrelay");
const QString kFileName = QStringLiteral("Ombrelay.DB");
constexpr mode_t kFolderMode = 0700;
constexpr mode_t kFileMode = 0600;

QString JoinPath(const QString& Base, const QString& Part)
{
    if (Base.isEmpty()) {
        return Part;
    }
    return Base.endsWith(QLatin1Char('/')) ? Base + Part : Base + QLatin1Char('/') + Part;
}

// The per-user data folder: $XDG_DATA_HOME when it is an absolute path, else ~/.local/share.
QString DataHome()
{
    const QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg)) {
        return xdg;
    }
    const QString home = qEnvironmentVariable("HOME", QDir::homePath());
    if (home.isEmpty()) {
        return {};
    }
    return JoinPath(home, QStringLiteral(".local/share"));
}

// Creates Path and its missing parents, each new one 0700. Failures are left for the open to
// report.
void MakeFolders(const QString& Path)
{
    const QStringList parts = Path.split(QLatin1Char('/'));
    QString current = Path.startsWith(QLatin1Char('/')) ? QStringLiteral("/") : QString();
    for (const QString& part : parts) {
        if (part.isEmpty()) {
            continue;
        }
        current = JoinPath(current, part);
        ::mkdir(QFile::encodeName(current).constData(), kFolderMode);
    }
}

// Gives an existing regular file mode 0600 by its path. Never by opening it: closing any
// descriptor of a file drops every POSIX lock the process holds on it, SQLite's included (another
// connection of this process, or the shared-memory index of the database's write-ahead log,
// which another process then finds unowned and truncates under us).
void NarrowMode(const QByteArray& Name)
{
    struct stat st
    {
    };
    if (::lstat(Name.constData(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 07777) != kFileMode) {
        ::chmod(Name.constData(), kFileMode);
    }
}

// Makes sure the file exists with mode 0600 before SQLite opens it; SQLite gives its journal,
// write-ahead log and shared-memory files the mode of the database file.
void PrepareFile(const QString& Path)
{
    const QByteArray name = QFile::encodeName(Path);
    const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, kFileMode);
    if (fd >= 0) {
        // New, so nobody holds a lock on it yet.
        ::fchmod(fd, kFileMode);
        ::close(fd);
        return;
    }
    // An existing file; failures are left for the open to report (a read-only file still opens
    // read-only).
    NarrowMode(name);
}

// Narrows companions that an earlier run may have left with a wider mode.
void NarrowCompanions(const QString& Path)
{
    for (const char* suffix : {"-wal", "-shm", "-journal"}) {
        NarrowMode(QFile::encodeName(Path) + suffix);
    }
}

// Into write-ahead-log mode. While another connection switches the same file at the same moment
// (two programs starting on a new database), SQLite answers "database is locked" at once,
// without its busy time-out; the switch is asked again for up to the 10 s that AddColumns waits
// for a second start. A file already in that mode answers at once.
void SwitchToWal(TSQLiteDB& DB)
{
    constexpr qint64 kWaitMs = 10000;
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        try {
            DB.ExecSQL(QStringLiteral("PRAGMA journal_mode = WAL"));
            return;
        } catch (const ESQLiteException& e) {
            if (e.Code() != SQLITE_BUSY || waited.elapsed() >= kWaitMs) {
                throw;
            }
        }
        QThread::msleep(20);
    }
}

QString Lines(std::initializer_list<const char*> Parts)
{
    QString text;
    for (const char* line : Parts) {
        text += QLatin1String(line) + QStringLiteral("\r\n");
    }
    return text;
}
} // namespace

QString TDatabase::GetLocation()
{
    const QString folder = JoinPath(DataHome(), kSubPath);
    MakeFolders(folder);
    ::chmod(QFile::encodeName(folder).constData(), kFolderMode);
    return JoinPath(folder, kFileName);
}

std::unique_ptr<TDatabase> TDatabase::Create()
{
    return Create(GetLocation());
}

std::unique_ptr<TDatabase> TDatabase::Create(const QString& FileName)
{
    PrepareFile(FileName);
    NarrowCompanions(FileName);
    return TSQLiteDB::Open<TDatabase>(FileName);
}

TDatabase::TDatabase(const QString& FileName)
    : TSQLiteDB(FileName, true)
{
}

namespace
{
std::atomic<qint64> CheckEveryOpenBytes{TDatabase::DefaultCheckEveryOpenBytes};
const QString CheckedName = QStringLiteral("database.checked");
} // namespace

void TDatabase::SetCheckEveryOpenBytes(qint64 Bytes)
{
    CheckEveryOpenBytes.store(Bytes);
}

bool TDatabase::IntactCheckDue()
{
    if (QFileInfo(FileName()).size() <= CheckEveryOpenBytes.load()) {
        return true;
    }
    QDateTime last;
    try {
        TSQLiteLock lock(*this);
        {
            TSQLiteQuery tables(*this,
                                QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'CONFIG'"));
            if (!Next()) {
                return true;
            }
        }
        TSQLiteQuery query(*this, QStringLiteral("SELECT VALUE FROM CONFIG WHERE NAME = ?"));
        SetParamAsString(1, CheckedName);
        if (Next()) {
            last = QDateTime::fromString(GetFieldAsString(0), Qt::ISODate);
        }
    } catch (const ESQLiteException&) {
        // Whatever keeps the row from being read, the check itself says what is wrong.
        return true;
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    // A time in the future (a clock set back) proves nothing.
    return !last.isValid() || last > now || last.secsTo(now) >= qint64(CheckIntervalHours) * 3600;
}

void TDatabase::RecordIntactCheck()
{
    if (!FCheckedLarge || ReadOnly()) {
        return;
    }
    TSQLiteLock lock(*this);
    TSQLiteQuery query(*this, QStringLiteral("INSERT OR REPLACE INTO CONFIG (NAME, VALUE) VALUES (?, ?)"));
    SetParamAsString(1, CheckedName);
    SetParamAsString(2, QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
    Exec();
}

void TDatabase::CheckIntact()
{
    if (!IntactCheckDue()) {
        return;
    }
    FCheckedLarge = QFileInfo(FileName()).size() > CheckEveryOpenBytes.load();
    TSQLiteLock lock(*this);
    // The structural check without the index comparison: tens of milliseconds for a large
    // inbox. A file that is not a database fails here already, with its own error.
    TSQLiteQuery query(*this, QStringLiteral("PRAGMA quick_check(1)"));
    if (Next()) {
        const QString result = GetFieldAsString(0);
        if (result != QLatin1String("ok")) {
            throw ESQLiteException(
                //: %1 is the database class's name, %2 SQLite's first finding.
                QCoreApplication::translate("Database", "%1: The database disk image is malformed: %2")
                    .arg(ClassName(), result.simplified()),
                SQLITE_CORRUPT);
        }
    }
}

void TDatabase::InitializeDatabase()
{
    // Two programs on one file (two sessions of one user): a short write of the other one is
    // waited for instead of failing with "database is locked".
    sqlite3_busy_timeout(Handle(), BusyTimeoutMs);
    RememberIdentity();
    // Before anything is written: a damaged file is the user's only copy of their messages.
    CheckIntact();
    CheckVersion();
    TSQLiteLock lock(*this);
    ExecSQL(QStringLiteral("PRAGMA temp_store = 2"));
    ExecSQL(QStringLiteral("PRAGMA foreign_keys = ON"));
    SwitchToWal(*this);
    // FULL: a commit is on disk before the device is told to delete the message it holds.
    ExecSQL(QStringLiteral("PRAGMA synchronous = FULL"));

    ExecSQL(Lines({"CREATE TABLE IF NOT EXISTS CONFIG (", "NAME TEXT NOT NULL PRIMARY KEY,", "VALUE VARIANT)"}));
    ExecSQL(Lines({"CREATE TABLE IF NOT EXISTS INCOMING (", "ID INTEGER NOT NULL PRIMARY KEY,",
                   "DATE DATETIME NOT NULL,", "SEEN BOOLEAN NOT NULL CHECK (SEEN IN (0, 1)),", "PDU TEXT NOT NULL)"}));
    ExecSQL(Lines({"CREATE TABLE IF NOT EXISTS OUTGOING (", "ID INTEGER NOT NULL PRIMARY KEY,",
                   "DATE DATETIME NOT NULL,", "SENT BOOLEAN NOT NULL CHECK (SENT IN (0, 1)),", "PDU TEXT NOT NULL)"}));
    ExecSQL(Lines({"CREATE TABLE IF NOT EXISTS USAGE (", "DATE DATE NOT NULL PRIMARY KEY,", "INCOMING BIGINT NOT NULL,",
                   "OUTGOING BIGINT NOT NULL)"}));
    AddColumns();
    AddTables();
    RecordIntactCheck();
}

// Tables added after the first release; older programs never look at them.
// USAGEDEVICE: the daily totals of each modem (its interface identifier), beside USAGE's totals
// over every interface.
// MONITORLOG: what the online monitor checked and what it asked for, kept for 90 days.
void TDatabase::AddTables()
{
    // A file that can only be read keeps the tables it has; the views that need the new ones
    // report their absence when used.
    if (ReadOnly()) {
        return;
    }
    TSQLiteLock lock(*this);
    ExecSQL(Lines({"CREATE TABLE IF NOT EXISTS USAGEDEVICE (", "DATE DATE NOT NULL,", "DEVICE TEXT NOT NULL,",
                   "INCOMING BIGINT NOT NULL,", "OUTGOING BIGINT NOT NULL,", "PRIMARY KEY (DATE, DEVICE))"}));
    ExecSQL(
        Lines({"CREATE TABLE IF NOT EXISTS MONITORLOG (", "ID INTEGER NOT NULL PRIMARY KEY,", "TIME DATETIME NOT NULL,",
               "KIND TEXT NOT NULL,", "SITE TEXT,", "METHOD TEXT,", "RESULT TEXT,", "REASON TEXT)"}));
    ExecSQL(QStringLiteral("CREATE INDEX IF NOT EXISTS MONITORLOG_TIME ON MONITORLOG (TIME)"));
}

void TDatabase::CheckVersion()
{
    TSQLiteLock lock(*this);
    qint64 version = 0;
    {
        TSQLiteQuery query(*this, QStringLiteral("PRAGMA user_version"));
        if (Next()) {
            version = GetFieldAsInt64(0);
        }
    }
    // A newer program may have changed what rows mean: neither read half of it nor write to it.
    if (version > SchemaVersion) {
        throw ESQLiteException(QCoreApplication::translate("Database",
                                                           "The message database %1 was written by a newer version "
                                                           "of Ombrelay (database version %2, this version knows up "
                                                           "to %3), so it was not opened. Nothing was written to it. "
                                                           "Start the newer version again, or move the file elsewhere "
                                                           "to start this one with an empty database.")
                                   .arg(FileName())
                                   .arg(version)
                                   .arg(SchemaVersion),
                               SQLITE_CANTOPEN);
    }
}

bool TDatabase::HasColumn(const QString& Table, const QString& Column)
{
    TSQLiteLock lock(*this);
    TSQLiteQuery query(*this, QStringLiteral("PRAGMA table_info(%1)").arg(Table));
    while (Next()) {
        if (GetFieldByNameAsString(QStringLiteral("name")).compare(Column, Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

// Columns added after the first release, each defaulting so that older rows read as before and
// older programs, which know none of them, still read and write the tables.
// REBUILT: PDUs that the program rebuilt from whole messages (stacks that never hand out PDUs)
// are marked, so that none is ever presented as the network's own. Rows stored before the
// column existed were received or sent as PDUs and read 0.
// FAILED (OUTGOING): a part that the device refused or that was never submitted after an
// earlier part was refused. SENT = 0 with FAILED = 0 is a part being sent.
// DEVICE: the interface a row was received on or sent through; NULL for rows of older programs,
// which every interface shows.
// REASON (OUTGOING): why a part failed, in words; NULL for rows that did not fail and for rows
// marked failed by older programs. RETRIED (OUTGOING): the message of a failed part was sent
// again as a new message, whose rows carry on from there.
// DEVICEKEY (INCOMING): the device's index or key of the entry the row was stored from, while
// that entry may still be on the device (its delete not confirmed); NULL once it is gone. An
// entry read again with the same key and PDU is the same entry, not a second delivery.
// GROUPID: the row id of the first row of the message the row belongs to (a long message has
// one row per part), so that a page of messages is read without reading every row before it;
// NULL until the row was filed (rows of older programs are filed at the next start).
// PARTKEY: on the first row of a long message, what later parts are matched by (sender,
// reference, parts, minute of the first part).
// NETREF (OUTGOING): on rows rebuilt from a whole message that a stack split and sent itself, the
// network's message reference of that part, which its status report names; NULL when unknown.
// STAMP, SORTNUMBER, SORTTEXT: on the first row of a message, what the lists are sorted by: the
// network's time stamp in seconds since 1970 (the stored time when it carries none), the number
// and the start of the text, both case-folded. NULL until written (rows of older programs get
// them at the next start).
void TDatabase::AddColumns()
{
    struct TAdded
    {
        const char* Table;
        const char* Column;
        const char* Definition;
    };
    static const char* const kFlag = "BOOLEAN NOT NULL DEFAULT 0 CHECK (%2 IN (0, 1))";
    static const TAdded kColumns[] = {{"INCOMING", "REBUILT", kFlag},     {"OUTGOING", "REBUILT", kFlag},
                                      {"OUTGOING", "FAILED", kFlag},      {"INCOMING", "DEVICE", "TEXT"},
                                      {"OUTGOING", "DEVICE", "TEXT"},     {"INCOMING", "DEVICEKEY", "TEXT"},
                                      {"OUTGOING", "REASON", "TEXT"},     {"OUTGOING", "RETRIED", kFlag},
                                      {"INCOMING", "GROUPID", "INTEGER"}, {"INCOMING", "PARTKEY", "TEXT"},
                                      {"OUTGOING", "GROUPID", "INTEGER"}, {"OUTGOING", "PARTKEY", "TEXT"},
                                      {"OUTGOING", "NETREF", "INTEGER"},  {"INCOMING", "STAMP", "INTEGER"},
                                      {"INCOMING", "SORTNUMBER", "TEXT"}, {"INCOMING", "SORTTEXT", "TEXT"},
                                      {"OUTGOING", "STAMP", "INTEGER"},   {"OUTGOING", "SORTNUMBER", "TEXT"},
                                      {"OUTGOING", "SORTTEXT", "TEXT"}};
    TSQLiteLock lock(*this);
    bool missing = false;
    for (const TAdded& c : kColumns) {
        missing = missing || !HasColumn(QLatin1String(c.Table), QLatin1String(c.Column));
    }
    if (!missing) {
        return;
    }
    // IMMEDIATE, then look again: a second instance starting at the same moment waits for the
    // write lock instead of adding the column twice.
    sqlite3_busy_timeout(Handle(), 10000);
    try {
        ExecSQL(QStringLiteral("BEGIN IMMEDIATE"));
    } catch (...) {
        sqlite3_busy_timeout(Handle(), BusyTimeoutMs);
        throw;
    }
    sqlite3_busy_timeout(Handle(), BusyTimeoutMs);
    try {
        for (const TAdded& c : kColumns) {
            const QLatin1String column(c.Column);
            if (!HasColumn(QLatin1String(c.Table), column)) {
                ExecSQL(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 ")
                            .append(QLatin1String(c.Definition))
                            .arg(QLatin1String(c.Table), column));
            }
        }
        // Looked up by device and key at every read; only rows whose entry may still be on the
        // device are in it.
        ExecSQL(QStringLiteral("CREATE INDEX IF NOT EXISTS INCOMING_DEVICEKEY ON INCOMING (DEVICE, DEVICEKEY) "
                               "WHERE DEVICEKEY IS NOT NULL"));
        // The message lists: first rows of messages by device (with the status, so that the
        // unseen ones are counted from the index alone), the rows of a range of messages, the
        // first parts later parts may join, the rows not filed yet and those of older programs.
        for (const char* table : {"INCOMING", "OUTGOING"}) {
            const QLatin1String name(table);
            const QLatin1String status(name == QLatin1String("INCOMING") ? "SEEN" : "SENT");
            ExecSQL(QStringLiteral("CREATE INDEX IF NOT EXISTS %1_HEAD ON %1 (DEVICE, ID, %2) WHERE GROUPID = ID")
                        .arg(name, status));
            ExecSQL(QStringLiteral("CREATE INDEX IF NOT EXISTS %1_GROUP ON %1 (GROUPID)").arg(name));
            ExecSQL(QStringLiteral("CREATE INDEX IF NOT EXISTS %1_PARTKEY ON %1 (PARTKEY) WHERE PARTKEY IS NOT NULL")
                        .arg(name));
            ExecSQL(QStringLiteral("CREATE INDEX IF NOT EXISTS %1_UNGROUPED ON %1 (DEVICE, ID) WHERE GROUPID IS NULL")
                        .arg(name));
            // The lists in each order they can be sorted by, read from the index alone, and the
            // first rows still without their keys.
            for (const char* key : {"STAMP", "SORTNUMBER", "SORTTEXT"}) {
                ExecSQL(
                    QStringLiteral("CREATE INDEX IF NOT EXISTS %1_BY_%3 ON %1 (DEVICE, %3, ID, %2) WHERE GROUPID = ID")
                        .arg(name, status, QLatin1String(key)));
            }
            ExecSQL(
                QStringLiteral("CREATE INDEX IF NOT EXISTS %1_UNKEYED ON %1 (ID) WHERE GROUPID = ID AND STAMP IS NULL")
                    .arg(name));
        }
        ExecSQL(QStringLiteral("CREATE INDEX IF NOT EXISTS INCOMING_UNBOUND ON INCOMING (ID) WHERE DEVICE IS NULL"));
        ExecSQL(QStringLiteral("COMMIT"));
    } catch (...) {
        try {
            ExecSQL(QStringLiteral("ROLLBACK"));
        } catch (...) {
        }
        throw;
    }
}

void TDatabase::RememberIdentity()
{
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(FileName()).constData(), &st) == 0) {
        FHasIdentity = true;
        FDevice = quint64(st.st_dev);
        FInode = quint64(st.st_ino);
    }
}

bool TDatabase::IsStillAtPath() const
{
    if (!Handle()) {
        return false;
    }
    // SQLite compares its own open file with the path: this also catches a replacement that
    // came between the open and RememberIdentity.
    int moved = 0;
    if (sqlite3_file_control(Handle(), "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK && moved) {
        return false;
    }
    if (!FHasIdentity) {
        // An in-memory or temporary database has no path to leave.
        FMovedNoticed = false;
        return true;
    }
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(FileName()).constData(), &st) != 0) {
        return false;
    }
    // The inode alone may repeat on another file system (a folder mounted over the old one).
    if (quint64(st.st_dev) != FDevice || quint64(st.st_ino) != FInode || st.st_nlink == 0) {
        return false;
    }
    FMovedNoticed = false;
    return true;
}

bool TDatabase::TakeMovedNotice()
{
    if (FMovedNoticed) {
        return false;
    }
    FMovedNoticed = true;
    return true;
}

bool TDatabase::ReadOnly() const
{
    return Handle() && sqlite3_db_readonly(Handle(), "main") == 1;
}

} // namespace Ombrelay
