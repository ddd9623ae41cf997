#include "core/MonitorLog.h"

#include "core/DB.h"
#include "sqlite/SQLiteDB.h"

#include <QJsonObject>

namespace Ombrelay
{

void AddMonitorLog(TSQLiteDB& Db, TMonitorLogEntry Entry)
{
    if (Entry.Time == 0) {
        Entry.Time = Clock::Now();
    }
    TSQLiteLock lock(Db);
    TSQLiteTransaction transaction(Db);
    {
        TSQLiteQuery query(Db, QStringLiteral("INSERT INTO MONITORLOG (TIME, KIND, SITE, METHOD, RESULT, REASON) "
                                              "VALUES (:TIME, :KIND, :SITE, :METHOD, :RESULT, :REASON)"));
        Db.SetParamByNameAsDateTime(QStringLiteral("TIME"), Entry.Time);
        Db.SetParamByNameAsString(QStringLiteral("KIND"), Entry.Kind);
        Db.SetParamByNameAsString(QStringLiteral("SITE"), Entry.Site);
        Db.SetParamByNameAsString(QStringLiteral("METHOD"), Entry.Method);
        Db.SetParamByNameAsString(QStringLiteral("RESULT"), Entry.Result);
        Db.SetParamByNameAsString(QStringLiteral("REASON"), Entry.Reason);
        Db.Exec();
    }
    {
        TSQLiteQuery query(Db, QStringLiteral("DELETE FROM MONITORLOG WHERE TIME < :OLDEST"));
        Db.SetParamByNameAsDateTime(QStringLiteral("OLDEST"), Entry.Time - MonitorLogKeepDays);
        Db.Exec();
    }
    transaction.Commit();
}

QList<TMonitorLogEntry> ReadMonitorLog(TSQLiteDB& Db, TDateTime Since, const QString& Kind)
{
    QList<TMonitorLogEntry> entries;
    TSQLiteLock lock(Db);
    QString sql =
        QStringLiteral("SELECT TIME, KIND, SITE, METHOD, RESULT, REASON FROM MONITORLOG WHERE TIME >= :SINCE");
    if (!Kind.isEmpty()) {
        sql += QStringLiteral(" AND KIND = :KIND");
    }
    sql += QStringLiteral(" ORDER BY TIME, ID");
    TSQLiteQuery query(Db, sql);
    // The stored text compares as a time: an empty lower bound takes every row.
    if (Since == 0) {
        Db.SetParamByNameAsString(QStringLiteral("SINCE"), QStringLiteral("0"));
    } else {
        Db.SetParamByNameAsDateTime(QStringLiteral("SINCE"), Since);
    }
    if (!Kind.isEmpty()) {
        Db.SetParamByNameAsString(QStringLiteral("KIND"), Kind);
    }
    while (Db.Next()) {
        TMonitorLogEntry e;
        e.Time = Db.GetFieldAsDateTime(0);
        e.Kind = Db.GetFieldAsString(1);
        e.Site = Db.GetFieldAsString(2);
        e.Method = Db.GetFieldAsString(3);
        e.Result = Db.GetFieldAsString(4);
        e.Reason = Db.GetFieldAsString(5);
        entries << e;
    }
    return entries;
}

QJsonArray MonitorLogJson(const QList<TMonitorLogEntry>& Entries)
{
    QJsonArray array;
    for (const TMonitorLogEntry& e : Entries) {
        array.append(QJsonObject{{QStringLiteral("time"), TSQLiteDB::DateToDBText(e.Time, true)},
                                 {QStringLiteral("kind"), e.Kind},
                                 {QStringLiteral("site"), e.Site},
                                 {QStringLiteral("method"), e.Method},
                                 {QStringLiteral("result"), e.Result},
                                 {QStringLiteral("reason"), e.Reason}});
    }
    return array;
}

void LogMonitorEvent(const TMonitorLogEntry& Entry)
{
    if (Database == nullptr) {
        return;
    }
    try {
        AddMonitorLog(*Database, Entry);
    } catch (const std::exception& e) {
        qWarning("Ombrelay: the monitor log could not be written: %s", e.what());
    }
}

} // namespace Ombrelay
