#pragma once

// Today's bytes of the running program for another program of the user (ombrelayctl usage):
// what is counted but not yet written to USAGE / USAGEDEVICE, taken together with what today's
// rows held at that moment. The request is the line "usage"; the answer one JSON line
// {"date", "database", "total": FIGURES, "devices": {ID: FIGURES}} where FIGURES is
// {"storedDownload", "storedUpload", "pendingDownload", "pendingUpload"} in bytes, and "devices"
// lists the modems with pending bytes.

#include "core/UsageHistory.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QString>

namespace Ombrelay
{

class TSQLiteDB;
class TUsageThread;

struct TRemoteUsageFigures
{
    quint64 StoredIn = 0;
    quint64 StoredOut = 0;
    quint64 PendingIn = 0;
    quint64 PendingOut = 0;

    bool operator==(const TRemoteUsageFigures&) const = default;
};

struct TRemoteUsage
{
    // The program's date: the row its pending bytes go to.
    QDate Date;
    // The database file the program writes.
    QString DatabaseFile;
    TRemoteUsageFigures Total;
    QHash<QString, TRemoteUsageFigures> Devices;

    static QString Request();
    static bool IsRequest(const QString& Line);

    // The running program's answer: a sample of the counters now, then the pending bytes of Thread
    // and today's rows of Db read under Db's lock, the lock a write moves bytes from pending to
    // the rows under, so that the two never count the same bytes.
    static QString Answer(TUsageThread& Thread, TSQLiteDB& Db);
    // The answer of the process-wide usage thread and database; an error line when there are none
    // or the database fails.
    static QString HandleRequest();
    // False when Line is not a usable answer.
    static bool Parse(const QString& Line, TRemoteUsage& Result);

    // Adds the pending bytes of Device (all when empty) to the entry of Entries that holds Date.
    // StoredIn and StoredOut are what the reader's own look at the database found in Date's row:
    // more than the program saw means the program wrote after it answered, and that write held
    // every byte that was pending then.
    void AddTo(QList<TUsageEntry>& Entries, TUsagePeriod Period, const QString& Device, quint64 StoredIn,
               quint64 StoredOut) const;
};

} // namespace Ombrelay
