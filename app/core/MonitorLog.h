#pragma once

#include "base/DateTime.h"

#include <QJsonArray>
#include <QList>
#include <QString>

namespace Ombrelay
{

class TSQLiteDB;

// What the online monitor did, one row of MONITORLOG each: every site it checked (kind "check",
// method "HTTP" or "ICMP", result "ok" or "failed" with the reason in words) and every decision
// that followed: "reconnect" (requested), "reconnect-result", "restart-warning", "suppressed"
// (a restart warning the user had put off) and "restart" (the restart asked of the system).
struct TMonitorLogEntry
{
    TDateTime Time = 0;
    QString Kind;
    QString Site;
    QString Method;
    QString Result;
    QString Reason;
};

namespace MonitorLogKind
{
inline const char* const Check = "check";
inline const char* const Reconnect = "reconnect";
inline const char* const ReconnectResult = "reconnect-result";
inline const char* const RestartWarning = "restart-warning";
inline const char* const Suppressed = "suppressed";
inline const char* const Restart = "restart";
} // namespace MonitorLogKind

// Entries are kept this long; older ones are removed as new ones are added.
inline constexpr int MonitorLogKeepDays = 90;

// Adds Entry (its time: now when 0) and removes entries older than MonitorLogKeepDays before it.
void AddMonitorLog(TSQLiteDB& Db, TMonitorLogEntry Entry);
// The entries from Since on (all when 0), of one kind when Kind is not empty, oldest first.
QList<TMonitorLogEntry> ReadMonitorLog(TSQLiteDB& Db, TDateTime Since = 0, const QString& Kind = QString());
// An array of {"time", "kind", "site", "method", "result", "reason"}, time as "yyyy-mm-dd hh:nn:ss".
QJsonArray MonitorLogJson(const QList<TMonitorLogEntry>& Entries);

// Adds Entry to the process-wide database, if there is one. Logging never stops the caller: a
// failure is written to the program's log and forgotten.
void LogMonitorEvent(const TMonitorLogEntry& Entry);

} // namespace Ombrelay
