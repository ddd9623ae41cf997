#pragma once

#include <QDate>
#include <QJsonArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace Ombrelay
{

class TSQLiteDB;

// Byte counts shown to the user: 1000-based with SI names (kB, MB, GB) or 1024-based with IEC
// names (KiB, MiB, GiB). A 1024-based count is never labelled with an SI name.
enum class TByteUnits
{
    Iec,
    Si,
};

// At most three significant digits (truncated, never rounded up) and the unit that keeps the
// number below 1000: "532 bytes", "1.50 KiB", "12.3 MB", "0.97 KiB" for 1000 bytes in IEC units.
QString FormatByteSize(quint64 Value, TByteUnits Units);

// The setting, a CONFIG row of its own ("usage.units": "si" or "iec"; IEC when missing).
TByteUnits LoadByteUnits(TSQLiteDB& Db);
void SaveByteUnits(TSQLiteDB& Db, TByteUnits Units);

// One row of the traffic history: a day, or a month (Date is then its first day).
struct TUsageEntry
{
    QDate Date;
    quint64 In = 0;
    quint64 Out = 0;

    quint64 Total() const { return In + Out; }
    bool operator==(const TUsageEntry&) const = default;
};

enum class TUsagePeriod
{
    Day,
    Month,
};

// The traffic from From to To (both inclusive; for months, the months that hold them), one entry
// for every day or month in between, oldest first, zero where nothing was counted. Device empty:
// every interface (USAGE); otherwise the one modem (USAGEDEVICE). Runs under Db's lock.
QList<TUsageEntry> QueryUsageHistory(TSQLiteDB& Db, const QString& Device, TUsagePeriod Period, QDate From, QDate To);
// The first date with counted traffic (of Device, or of all when empty); invalid when none.
QDate FirstUsageDate(TSQLiteDB& Db, const QString& Device);
// The modems that have per-modem rows, sorted.
QStringList UsageDevices(TSQLiteDB& Db);
// The sum of Device's traffic (all when empty) from From to To, both inclusive.
void QueryUsageSum(TSQLiteDB& Db, const QString& Device, QDate From, QDate To, quint64& In, quint64& Out);

// The entry's label: "2026-12-10" for a day, "2026-12" for a month.
QString UsageDateText(const TUsageEntry& Entry, TUsagePeriod Period);
// "date,download,upload,total" and one line per entry, bytes as whole numbers.
QString UsageHistoryCsv(const QList<TUsageEntry>& Entries, TUsagePeriod Period);
// An array of {"date", "download", "upload", "total"}, bytes as numbers.
QJsonArray UsageHistoryJson(const QList<TUsageEntry>& Entries, TUsagePeriod Period);

} // namespace Ombrelay
